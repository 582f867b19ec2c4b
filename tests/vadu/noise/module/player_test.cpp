// The player against hand-computed periods, volumes, positions and frame counts.

#include "module_fixtures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using namespace module_test;
using vadu::noise::module::Envelope;
using vadu::noise::module::EnvelopeCursor;
using vadu::noise::module::Voice;

TEST(ModulePeriods, MiddleCPlaysAt8363HzWithBothTablesAndOctavesDouble)
{
    struct Case {
        const char* note;
        bool linear;
        int32_t period;
        uint32_t hertz;
    };
    const Case cases[] = {
        {"C-4", true, 4608, 8363}, {"C-5", true, 3840, 16726}, {"C-3", true, 5376, 4181},
        {"C-4", false, 1712, 8363}, {"C-5", false, 856, 16726}, {"C-3", false, 3424, 4181},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.note) + (c.linear ? " linear" : " amiga"));
        Player player(rows_module({std::string(c.note) + " 01 .. ..."}, c.linear));
        ASSERT_TRUE(player.module->is_loaded());
        ASSERT_TRUE(player.to_tick(0));
        EXPECT_EQ(player.voice().period, c.period);
        EXPECT_EQ(player.voice().step, static_cast<int32_t>(uint64_t(c.hertz) * 1024 / 22050));
    }
}

TEST(ModulePeriods, AmigaFinetuneTakesFifteenthsOfTheStepAndNotesStayInTheTables)
{
    vadu::noise::module::Sample sample;
    xm_writer::Module description = rows_module({"C-4 01 .. ..."}, false);
    auto module = load_bytes(xm_writer::write(description));
    // finetune 32: i = 8 + 8 + 2, q = 2: A[18] + 2 * (A[19] - A[18]) / 15, >> 4.
    sample.finetune = 32;
    const int32_t a = 844 * 32, b = 838 * 32;
    EXPECT_EQ(module->note_period(49, sample), (a + 2 * (b - a) / 15) >> 4);
    sample.finetune = -128;
    sample.relative_note = -100;
    EXPECT_GT(module->note_period(1, sample), 0);
    sample.relative_note = 100;
    EXPECT_GT(module->note_period(96, sample), 0);
    module->linear = true;
    EXPECT_GT(module->note_period(96, sample), 0);
    EXPECT_EQ(module->period_step(768 * 40), 0); // shifted past 32 bits
}

TEST(ModuleTiming, TicksRowsSpeedBpmAndPatternDelay)
{
    struct Case {
        const char* name;
        std::vector<std::string> rows;
        uint32_t frames;
    };
    const Case cases[] = {
        {"one row at speed 6", {"C-4 01 .. ..."}, 2646},
        {"F1F: speed 31", {"C-4 01 .. F1F"}, 441 * 31},
        {"F20: BPM 32", {"C-4 01 .. F20"}, 6 * (22050 * 5 / 64)},
        {"F00 changes nothing", {"C-4 01 .. F00"}, 2646},
        {"EE2 triples a row", {"C-4 01 .. EE2", "... .. .. ..."}, 3 * 2646 + 2646},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto module = load_bytes(xm_writer::write(rows_module(c.rows)));
        std::vector<int16_t> buffer(2 * 40000);
        EXPECT_EQ(module->render(buffer.data(), 40000), c.frames);
        EXPECT_EQ(module->render(buffer.data(), 40000), 0u);
    }
}

// Orders: pattern p plays notes 128 p periods below C-4, row r sets the volume r + 1, so
// each row shows where it stands.
struct OrderCase {
    const char* name;
    std::vector<uint8_t> order;
    std::vector<std::vector<std::string>> effects; // per pattern, per row
    std::vector<std::pair<int, int>> visits;       // (pattern, row) in play order
};

TEST(ModuleOrder, BreaksJumpsAnd254)
{
    const std::vector<std::string> plain = {"...", "...", "..."};
    const char* notes[] = {"C-4", "D-4", "E-4"};
    const OrderCase cases[] = {
        {"order entries 254 are passed over", {0, 254, 254, 1}, {plain, plain}, {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}}},
        {"D00 goes to row 0 of the next order", {0, 1}, {{"D00", "...", "..."}, plain}, {{0, 0}, {1, 0}, {1, 1}, {1, 2}}},
        {"D02 goes to row 2 of the next order", {0, 1}, {{"D02", "...", "..."}, plain}, {{0, 0}, {1, 2}}},
        {"B02 jumps to order 2", {0, 1, 1}, {{"...", "B02", "..."}, plain}, {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {1, 2}}},
        {"B past the song ends it", {0}, {{"B09", "...", "..."}}, {{0, 0}}},
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(c.name);
        xm_writer::Module m = rows_module({"..."});
        m.patterns.clear();
        for (size_t p = 0; p < c.effects.size(); ++p) {
            std::vector<std::string> rows;
            for (size_t r = 0; r < c.effects[p].size(); ++r)
                rows.push_back(std::string(notes[p]) + " 01 0" + std::to_string(r + 1) + " " + c.effects[p][r]);
            m.patterns.push_back(rows_module(rows).patterns[0]);
        }
        m.order = c.order;
        auto module = load_bytes(xm_writer::write(m));
        ASSERT_TRUE(module->is_loaded());
        std::vector<std::pair<int, int>> seen;
        std::vector<int16_t> buffer(2 * 2646);
        while (module->render(buffer.data(), 2646) == 2646)
            seen.emplace_back((4608 - module->voices[0]->period) / 128, module->voices[0]->volume - 1);
        EXPECT_EQ(seen, c.visits);
    }
}

TEST(ModuleOrder, SongEndReturnsTheShortCountThenZeroAndRewindsToTheRestart)
{
    xm_writer::Module m = rows_module({"C-4 01 .. ..."});
    m.patterns.push_back(rows_module({"D-4 01 .. ..."}).patterns[0]);
    m.order = {0, 1};
    m.restart = 1;
    auto module = load_bytes(xm_writer::write(m));
    std::vector<int16_t> buffer(2 * 6000);
    EXPECT_EQ(module->render(buffer.data(), 5000), 5000u);
    EXPECT_EQ(module->render(buffer.data(), 1000), 292u);
    EXPECT_EQ(module->render(buffer.data(), 1000), 0u);
    module->rewind();
    EXPECT_EQ(module->render(buffer.data(), 6000), 2646u);
    EXPECT_EQ(module->voices[0]->period, 4480);

    m.restart = 7; // past the song: from the start
    module = load_bytes(xm_writer::write(m));
    module->render(buffer.data(), 6000);
    module->rewind();
    EXPECT_EQ(module->render(buffer.data(), 6000), 5292u);
}

// Per tick: the voice's period, volume or working volume after ticks 0, 1, 2, 3.
struct TickCase {
    const char* name;
    std::vector<std::string> rows;
    int32_t Voice::*field;
    std::vector<int32_t> values; // from tick `first`
    uint32_t first = 0;
};

TEST(ModuleEffects, PerTickAgainstHandComputedValues)
{
    const TickCase cases[] = {
        {"1: portamento up from the second tick", {"C-4 01 .. 104"}, &Voice::period, {4608, 4592, 4576, 4560}},
        {"2: portamento down", {"C-4 01 .. 204"}, &Voice::period, {4608, 4624, 4640, 4656}},
        {"1 with 0 takes the memory", {"C-4 01 .. 104", "... .. .. 100"}, &Voice::period, {4528, 4528, 4512}, 5},
        {"3: glides to the target without passing it", {"C-4 01 .. ...", "D-4 01 .. 310"}, &Voice::period, {4544, 4480, 4480}, 6},
        {"5: tone portamento with the stored speed and a slide", {"C-4 01 20 ...", "D-4 .. .. 340", "D-4 .. .. 502"}, &Voice::period, {4480}, 12},
        {"0: arpeggio quirk", {"C-4 01 .. 047"}, &Voice::period, {4672, 4720, 4608, 4608}},
        {"4: vibrato changes the period itself", {"C-4 01 .. 448"}, &Voice::period, {4608, 4611, 4616}},
        {"E1: fine portamento up", {"C-4 01 .. E12"}, &Voice::period, {4600, 4600}},
        {"E2: fine portamento down", {"C-4 01 .. E22"}, &Voice::period, {4616, 4616}},
        {"A: slide up", {"C-4 01 20 A20"}, &Voice::volume, {32, 34, 36}},
        {"A: slide down, clamped at 0", {"C-4 01 01 A08"}, &Voice::volume, {1, 0, 0}},
        {"7: tremolo changes the volume", {"C-4 01 20 748"}, &Voice::volume, {32, 35, 40}},
        {"EA: fine volume up", {"C-4 01 20 EA3"}, &Voice::volume, {35, 35}},
        {"EB: fine volume down", {"C-4 01 20 EB3"}, &Voice::volume, {29, 29}},
        {"C: set volume, at most 64", {"C-4 01 .. C50"}, &Voice::volume, {64}},
        {"volume column sets the volume", {"C-4 01 2A ..."}, &Voice::volume, {42}},
        {"EC: cut heard one tick after it is made", {"C-4 01 .. EC2"}, &Voice::working_volume, {64, 64, 64, 0}},
        {"T: tremor with the low nibble", {"C-4 01 .. T12"}, &Voice::working_volume, {64, 64, 0, 0}},
        {"8: pan", {"C-4 01 .. 840"}, &Voice::right_gain, {0x40}},
        {"P: pan slide from the second tick", {"C-4 01 .. 8F0 | ... .. .. ...", "... .. .. P20"}, &Voice::right_gain, {0xF0, 0xF2}, 6},
        {"ED: note delay holds the step until the delay ends", {"C-4 01 .. ED2"}, &Voice::step, {0, 0, 388}},
    };
    for (const TickCase& c : cases) {
        SCOPED_TRACE(c.name);
        Player player(rows_module(c.rows));
        ASSERT_TRUE(player.module->is_loaded());
        for (size_t i = 0; i < c.values.size(); ++i) {
            ASSERT_TRUE(player.to_tick(c.first + static_cast<uint32_t>(i)));
            EXPECT_EQ(player.voice().*c.field, c.values[i]) << "tick " << c.first + i;
        }
    }
}

TEST(ModuleEffects, GlobalVolumeSetAndSlide)
{
    Player player(rows_module({"C-4 01 .. G20", "... .. .. H02"}));
    ASSERT_TRUE(player.to_tick(0));
    EXPECT_EQ(player.module->global_volume, 64);
    ASSERT_TRUE(player.to_tick(7));
    EXPECT_EQ(player.module->global_volume, 60);
    Player loud(rows_module({"C-4 01 .. G7F", "... .. .. HF0"}));
    ASSERT_TRUE(loud.to_tick(11));
    EXPECT_EQ(loud.module->global_volume, 128);
}

// Retrigger, multi-retrigger and tone portamento show in the sample position: one frame
// after a restart it is one step.
TEST(ModuleEffects, RestartsShowInThePosition)
{
    struct Case {
        const char* name;
        std::vector<std::string> rows;
        std::vector<bool> restarted; // ticks 0..5
    };
    const Case cases[] = {
        {"E9: every lo + 1 ticks, counted from the note's own tick", {"C-4 01 .. E92"}, {true, false, true, false, false, true}},
        {"R: every P AND 15 ticks", {"C-4 01 .. R02"}, {true, true, false, true, false, true}},
        {"R with a volume nibble still retriggers", {"C-4 01 .. R83"}, {true, false, true, false, false, true}},
        {"plain note", {"C-4 01 .. ..."}, {true, false, false, false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Player player(rows_module(c.rows));
        for (uint32_t t = 0; t < c.restarted.size(); ++t) {
            ASSERT_TRUE(player.to_tick(t));
            EXPECT_EQ(player.voice().position == player.voice().step, c.restarted[t]) << "tick " << t;
        }
    }

    Player glide(rows_module({"C-4 01 .. ...", "D-4 01 .. 310"}));
    ASSERT_TRUE(glide.to_tick(6));
    EXPECT_GT(glide.voice().position, 6 * 441 * 300); // the old note goes on
}

TEST(ModuleEffects, SampleOffsetLandsOnItsFrameOrIsIgnoredPastTheEnd)
{
    Player near(rows_module({"C-4 01 .. 904"}));
    ASSERT_TRUE(near.to_tick(0));
    EXPECT_EQ(near.voice().position, 4 * 256 * 1024 + near.voice().step);
    Player past(rows_module({"C-4 01 .. 980"}));
    ASSERT_TRUE(past.to_tick(0));
    EXPECT_EQ(past.voice().position, past.voice().step);
}

TEST(ModuleKeyOff, WithoutAVolumeEnvelopeTheVoiceFallsSilentAtOnce)
{
    Player player(rows_module({"C-4 01 .. ...", "=== .. .. ..."}));
    ASSERT_TRUE(player.to_tick(5));
    EXPECT_NE(player.voice().end, 0);
    ASSERT_TRUE(player.to_tick(6));
    EXPECT_EQ(player.voice().end, 0);
    Player effect(rows_module({"C-4 01 .. ...", "... .. .. K00"}));
    ASSERT_TRUE(effect.to_tick(6));
    EXPECT_EQ(effect.voice().end, 0);
}

TEST(ModuleKeyOff, WithASustainedEnvelopeItLeavesTheSustainAndFades)
{
    xm_writer::Module m = rows_module({"C-4 01 .. F14", "=== .. .. ..."});
    m.instruments[0].volume.points = {{0, 64}, {10, 32}, {20, 0}};
    m.instruments[0].volume.sustain = 1;
    m.instruments[0].volume.type = 3;
    m.instruments[0].fadeout = 4096;
    Player player(m);
    ASSERT_TRUE(player.to_tick(19)); // held at the sustain point
    EXPECT_EQ(player.voice().volume_cursor.position, 10);
    EXPECT_EQ(player.voice().working_volume, 32);
    ASSERT_TRUE(player.to_tick(20));
    EXPECT_EQ(player.voice().volume_cursor.position, 11);
    EXPECT_EQ(player.voice().fade, 61440);
    EXPECT_EQ(player.voice().working_volume, 29 * 61440 >> 16);
    ASSERT_TRUE(player.to_tick(21));
    EXPECT_EQ(player.voice().fade, 57344);
    EXPECT_NE(player.voice().end, 0);
}

TEST(ModuleEnvelope, CursorHoldsLoopsEndsAndReadsSigned)
{
    Envelope envelope;
    envelope.points = {{0, 0}, {4, 40}, {8, 0}, {12, 20}};
    envelope.on = true;

    struct Case {
        const char* name;
        bool sustain, loop;
        bool release_at_6;
        std::vector<int32_t> values; // after advances 1..16
    };
    const Case cases[] = {
        {"plain, holding the last value", false, false, false, {0, 10, 20, 30, 40, 30, 20, 10, 0, 5, 10, 15, 20, 20, 20, 20}},
        {"sustain at point 1 until released", true, false, true, {0, 10, 20, 30, 40, 40, 30, 20, 10, 0, 5, 10, 15, 20, 20, 20}},
        {"loop from point 1 to 2", false, true, false, {0, 10, 20, 30, 40, 30, 20, 10, 40, 30, 20, 10, 40, 30, 20, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        envelope.sustain_on = c.sustain;
        envelope.sustain = 1;
        envelope.loop_on = c.loop;
        envelope.loop_start = 1;
        envelope.loop_end = 2;
        EnvelopeCursor cursor;
        cursor.reset(&envelope);
        std::vector<int32_t> seen;
        for (int i = 0; i < 16; ++i) {
            if (c.release_at_6 && i == 6)
                cursor.release();
            cursor.advance();
            seen.push_back(cursor.value());
        }
        EXPECT_EQ(seen, c.values);
    }

    Envelope negative;
    negative.points = {{0, 0xFFF0}, {2, 0xFFF0}};
    EnvelopeCursor cursor;
    cursor.reset(&negative);
    cursor.advance();
    EXPECT_EQ(cursor.value(), -16);

    Envelope stuck; // x values that do not rise must not walk forever
    stuck.points = {{5, 1}, {5, 2}, {5, 3}};
    stuck.loop_on = true;
    stuck.loop_end = 2;
    cursor.reset(&stuck);
    for (int i = 0; i < 10; ++i)
        cursor.advance();
    SUCCEED();
}

// The mixer on a hand-made voice: one stretch, known values.
struct MixRig {
    explicit MixRig(std::vector<int16_t> values) : data(std::move(values)), module(load_bytes(xm_writer::write(rows_module({"... .. .. ..."})))), voice(module.get(), 0)
    {
        voice.data = data.data();
        voice.type = 0x10;
        voice.end = static_cast<int32_t>(data.size() - 1) * 1024;
        voice.step = 512;
        voice.out_left = voice.out_right = voice.out_mono = 1024;
    }
    std::vector<int16_t> data;
    std::unique_ptr<Module> module;
    Voice voice;
};

TEST(ModuleMixer, InterpolatesExactlyAndSaturatesInEveryForm)
{
    struct Case {
        const char* name;
        bool wide_in;
        uint32_t bits, channels;
        int32_t volume;
        std::vector<int32_t> expected; // first output values
    };
    const Case cases[] = {
        {"16 to 16 stereo", true, 16, 2, 1024, {0, 0, 512, 512, 1024, 1024}},
        {"16 to 16 mono", true, 16, 1, 1024, {0, 512, 1024}},
        {"16 to 8 stereo", true, 8, 2, 65536, {0, 0, 127, 127, 127, 127}},
        {"8 to 16 mono", false, 16, 1, 4, {0, 1, 2}},
        {"8 to 8 mono", false, 8, 1, 1024, {0, 1, 2}},
        {"16 to 16 saturates", true, 16, 2, 65536, {0, 0, 32767, 32767, 32767, 32767}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int16_t> values;
        if (c.wide_in) {
            values = {0, 1024, 2048, 2048};
        } else { // bytes 0, 2, 4, 4 packed into the word buffer
            values = {static_cast<int16_t>(0 | (2 << 8)), static_cast<int16_t>(4 | (4 << 8))};
        }
        MixRig rig(values);
        rig.voice.type = c.wide_in ? 0x10 : 0;
        rig.voice.end = (c.wide_in ? 3 : 3) * 1024;
        rig.voice.out_left = rig.voice.out_right = rig.voice.out_mono = c.volume;
        vadu::noise::module::OutputFormat format{22050, c.channels, c.bits};
        std::vector<uint8_t> buffer(64, 0);
        rig.voice.mix(buffer.data(), 3, format);
        for (size_t i = 0; i < c.expected.size(); ++i) {
            const int32_t got = c.bits == 16 ? reinterpret_cast<int16_t*>(buffer.data())[i]
                                             : static_cast<int8_t>(buffer[i]);
            EXPECT_EQ(got, c.expected[i]) << "value " << i;
        }
    }
}

TEST(ModuleMixer, SilentVoicesStayPutAndPingPongReverses)
{
    MixRig rig({0, 100, 200, 300, 300});
    rig.voice.out_left = rig.voice.out_right = 0;
    std::vector<int16_t> buffer(64, 0);
    vadu::noise::module::OutputFormat format;
    rig.voice.mix(reinterpret_cast<uint8_t*>(buffer.data()), 16, format);
    EXPECT_EQ(rig.voice.position, 0);

    rig.voice.out_left = rig.voice.out_right = 1024;
    rig.voice.type = 0x12;
    rig.voice.loop_start = 1024;
    rig.voice.end = 4 * 1024;
    rig.voice.step = 768;
    rig.voice.mix(reinterpret_cast<uint8_t*>(buffer.data()), 8, format);
    EXPECT_LT(rig.voice.step, 0);
    EXPECT_GE(rig.voice.position, rig.voice.loop_start);
    EXPECT_LT(rig.voice.position, rig.voice.end);

    Player player(rows_module({"C-4 01 00 ..."})); // volume 0
    ASSERT_TRUE(player.to_tick(5));
    EXPECT_EQ(player.voice().position, 0);
}

TEST(ModuleMixer, LoudVoicesSaturateInsteadOfWrapping)
{
    xm_writer::Module m = rows_module({"C-4 01 .. ... | C-4 01 .. ... | C-4 01 .. ... | C-4 01 .. ... | C-4 01 .. ... | C-4 01 .. ..."});
    m.instruments[0].samples[0].frames.assign(2048, 32000);
    auto module = load_bytes(xm_writer::write(m));
    std::vector<int16_t> buffer(2 * 441, 0);
    ASSERT_EQ(module->render(buffer.data(), 441), 441u);
    EXPECT_EQ(buffer[100], 32767);
    EXPECT_EQ(buffer[101], 32767);
}

} // namespace
