// The loader over writer-made bytes, good and bad.

#include "../sound_test_support.h"
#include "module_fixtures.h"

#include <gtest/gtest.h>
#include <xmp.h>

#include <algorithm>
#include <cstring>
#include <tuple>

namespace {

using namespace module_test;

// A header that announces `patterns` patterns and no instruments, then raw pattern bytes.
std::vector<uint8_t> with_raw_patterns(uint16_t channels, uint16_t patterns, const std::vector<uint8_t>& raw)
{
    xm_writer::Module m;
    m.channels = channels;
    m.pattern_override = patterns;
    std::vector<uint8_t> bytes = xm_writer::write(m);
    bytes.insert(bytes.end(), raw.begin(), raw.end());
    return bytes;
}

std::vector<uint8_t> pattern_bytes(uint16_t rows, const std::vector<uint8_t>& packed, int declared = -1)
{
    xm_writer::ByteWriter out;
    out.u32(9);
    out.u8(0);
    out.u16(rows);
    out.u16(declared >= 0 ? static_cast<uint32_t>(declared) : static_cast<uint32_t>(packed.size()));
    out.append(packed);
    return out.bytes;
}

TEST(ModuleLoader, BothIdentificationTextsLoadAlikeAndOthersDoNot)
{
    xm_writer::Module m = rows_module({"C-4 01 .. ..."});
    auto extended = load_bytes(xm_writer::write(m));
    m.id = "Advanced Module: ";
    auto advanced = load_bytes(xm_writer::write(m));
    m.id = "Extended Module! ";
    auto bad = load_bytes(xm_writer::write(m));
    ASSERT_TRUE(extended->is_loaded());
    ASSERT_TRUE(advanced->is_loaded());
    EXPECT_FALSE(bad->is_loaded());
    EXPECT_TRUE(bad->voices.empty());
    EXPECT_EQ(advanced->instruments.size(), extended->instruments.size());
    EXPECT_EQ(advanced->instruments[0]->samples[0]->data, extended->instruments[0]->samples[0]->data);
    std::vector<int16_t> buffer(64);
    EXPECT_EQ(bad->render(buffer.data(), 32), 0u);
}

TEST(ModuleLoader, PackedCells)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> pattern; // then pattern 2: one full cell, note 5
        uint32_t rows;
        uint8_t first[5];
    };
    const Case cases[] = {
        {"0x80 is an empty cell of one byte", pattern_bytes(1, {0x80}), 1, {0, 0, 255, 0, 0}},
        {"0x98 reads the effect and parameter only", pattern_bytes(1, {0x98, 0x0F, 0x03}), 1, {0, 0, 255, 15, 3}},
        {"an unpacked cell is five bytes", pattern_bytes(1, {49, 1, 0x30, 0x0A, 0x21}), 1, {49, 1, 0x30, 10, 0x21}},
        {"packed size 0: empty rows and no data", pattern_bytes(4, {}), 4, {0, 0, 255, 0, 0}},
        {"0 rows become one empty row", pattern_bytes(0, {}), 1, {0, 0, 255, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> raw = c.pattern;
        const std::vector<uint8_t> second = pattern_bytes(1, {5, 0, 0, 0, 0});
        raw.insert(raw.end(), second.begin(), second.end());
        auto module = load_bytes(with_raw_patterns(1, 2, raw));
        ASSERT_TRUE(module->is_loaded());
        ASSERT_EQ(module->patterns[0].size(), c.rows);
        const auto& cell = module->patterns[0][0][0];
        EXPECT_EQ(cell.note, c.first[0]);
        EXPECT_EQ(cell.instrument, c.first[1]);
        EXPECT_EQ(cell.volume, c.first[2]);
        EXPECT_EQ(cell.effect, c.first[3]);
        EXPECT_EQ(cell.parameter, c.first[4]);
        EXPECT_EQ(module->patterns[1][0][0].note, 5);
    }
}

TEST(ModuleLoader, AnInstrumentWithoutSamplesConsumesExactlyItsHeaderSize)
{
    for (uint32_t size : {29u, 40u, 300u, 4u}) {
        SCOPED_TRACE(size);
        xm_writer::Module m = rows_module({"C-4 02 .. ..."});
        xm_writer::Instrument empty;
        empty.name = "empty";
        empty.header_size = size;
        m.instruments.insert(m.instruments.begin(), empty);
        auto module = load_bytes(xm_writer::write(m));
        ASSERT_TRUE(module->is_loaded());
        ASSERT_EQ(module->instruments.size(), 2u);
        EXPECT_EQ(module->instruments[0]->name, "empty");
        EXPECT_EQ(module->instruments[1]->name, "lead");
        EXPECT_EQ(module->instruments[1]->samples[0]->length, 2048);
    }
}

TEST(ModuleLoader, DeltaCodedSamplesWithTheGuardValue)
{
    struct Case {
        bool sixteen;
        std::vector<int16_t> frames;
    };
    const Case cases[] = {{true, {1, -2, 300, -32768, 32767, 7}}, {false, {1, -2, 127, -128, 0, 99}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sixteen ? "16-bit" : "8-bit");
        xm_writer::Module m = rows_module({"C-4 01 .. ..."});
        auto& s = m.instruments[0].samples[0];
        s.sixteen_bit = c.sixteen;
        s.frames = c.frames;
        s.loop = 0;
        s.loop_length = 0;
        auto module = load_bytes(xm_writer::write(m));
        ASSERT_TRUE(module->is_loaded());
        const auto& sample = *module->instruments[0]->samples[0];
        ASSERT_EQ(sample.length, static_cast<int32_t>(c.frames.size()));
        for (size_t i = 0; i <= c.frames.size(); ++i) {
            const int32_t want = c.frames[std::min(i, c.frames.size() - 1)];
            const int32_t got = c.sixteen ? sample.data[i] : reinterpret_cast<const int8_t*>(sample.data.data())[i];
            EXPECT_EQ(got, want) << "frame " << i;
        }
    }
}

TEST(ModuleLoader, EnvelopesAndLoopsAreBroughtInsideTheirData)
{
    xm_writer::Module m = rows_module({"C-4 01 .. ..."});
    auto& instrument = m.instruments[0];
    for (int i = 0; i < 6; ++i)
        instrument.volume.points.emplace_back(i * 4, 64 - i * 8);
    instrument.volume.sustain = 20;
    instrument.volume.type = 3;
    instrument.panning.points = {{0, 32}, {4, 40}};
    instrument.panning.count_override = 30; // more than the 12 the header holds
    instrument.samples[0].loop_start = 1000;
    instrument.samples[0].loop_length = 5000; // past the data
    xm_writer::Sample second = instrument.samples[0];
    second.loop_start = 2048; // at the end: no loop
    instrument.samples.push_back(second);
    auto module = load_bytes(xm_writer::write(m));
    ASSERT_TRUE(module->is_loaded());
    const auto& loaded = *module->instruments[0];
    EXPECT_EQ(loaded.volume_envelope.sustain, 5);
    EXPECT_EQ(loaded.panning_envelope.points.size(), 12u);
    EXPECT_EQ(loaded.samples[0]->loop_start + loaded.samples[0]->loop_length, 2048);
    EXPECT_EQ(loaded.samples[1]->type & 3, 0);
}

TEST(ModuleLoader, TruncatedOrOverLimitFilesAreNotLoaded)
{
    xm_writer::Module m = rows_module({"C-4 01 .. ...", "... .. .. ..."});
    m.instruments[0].samples[0].frames.resize(64);
    m.instruments[0].samples[0].loop_length = 64;
    const std::vector<uint8_t> whole = xm_writer::write(m);
    ASSERT_TRUE(load_bytes(whole)->is_loaded());
    // Cut anywhere before the sample data (the last 128 bytes), nothing loads.
    for (size_t size = 0; size < whole.size() - 128; ++size)
        ASSERT_FALSE(load_bytes(std::vector<uint8_t>(whole.begin(), whole.begin() + size))->is_loaded()) << size;

    struct Case {
        const char* name;
        void (*change)(xm_writer::Module&);
    };
    const Case cases[] = {
        {"65 channels", [](xm_writer::Module& b) { b.channel_override = 65; }},
        {"257 patterns", [](xm_writer::Module& b) { b.pattern_override = 257; }},
        {"129 instruments", [](xm_writer::Module& b) { b.instrument_override = 129; }},
        {"257 rows", [](xm_writer::Module& b) { b.patterns[0].rows = 257; }},
        {"17 samples", [](xm_writer::Module& b) { b.instruments[0].samples.resize(17, b.instruments[0].samples[0]); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        xm_writer::Module changed = m;
        c.change(changed);
        EXPECT_FALSE(load_bytes(xm_writer::write(changed))->is_loaded());
    }
}

// The frames a sample holds, guard value included, in its own width.
std::vector<int32_t> sample_values(const vadu::noise::module::Sample& sample)
{
    std::vector<int32_t> values;
    for (int32_t i = 0; sample.length > 0 && i <= sample.length; ++i)
        values.push_back(sample.is_16_bit() ? sample.data[i] : reinterpret_cast<const int8_t*>(sample.data.data())[i]);
    return values;
}

// What the reference player makes of the same bytes: the frames of each sample, or
// nothing when it refuses the file.
std::vector<int> reference_sample_lengths(const std::vector<uint8_t>& bytes)
{
    std::vector<int> lengths;
    xmp_context context = xmp_create_context();
    if (xmp_load_module_from_memory(context, bytes.data(), static_cast<long>(bytes.size())) == 0) {
        xmp_module_info info;
        xmp_get_module_info(context, &info);
        for (int i = 0; i < info.mod->smp; ++i)
            lengths.push_back(info.mod->xxs[i].len);
        xmp_release_module(context);
    }
    xmp_free_context(context);
    return lengths;
}

TEST(ModuleLoader, AFileEndingInsideItsLastSamplesKeepsTheBytesPresent)
{
    // Sample a: 16-bit, 64 frames looped from 16 to the end (128 bytes); then sample b:
    // 8-bit, 64 frames (64 bytes): the file's last 192 bytes.
    xm_writer::Module m = rows_module({"C-4 01 .. ...", "... .. .. ..."});
    auto& a = m.instruments[0].samples[0];
    a.frames = xm_writer::waveform("sine", 64, 64, true);
    a.loop_start = 16;
    a.loop_length = 48;
    xm_writer::Sample b;
    b.name = "b";
    b.frames = xm_writer::waveform("saw", 64, 64, false);
    m.instruments[0].samples.push_back(b);
    const std::vector<int16_t> a_frames = m.instruments[0].samples[0].frames, b_frames = b.frames;
    const std::vector<uint8_t> whole = xm_writer::write(m);

    struct Case {
        size_t cut; // bytes missing at the end
        int32_t a_frames, a_loop_length, b_frames;
    };
    const Case cases[] = {
        {0, 64, 48, 64},  {10, 64, 48, 54}, {63, 64, 48, 1},  {64, 64, 48, 0},
        {100, 46, 30, 0}, {101, 45, 29, 0}, {180, 6, 0, 0},   {191, 0, 0, 0}, {192, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cut);
        const std::vector<uint8_t> bytes(whole.begin(), whole.end() - static_cast<long>(c.cut));
        auto module = load_bytes(bytes);
        ASSERT_TRUE(module->is_loaded());
        const auto& got_a = *module->instruments[0]->samples[0];
        const auto& got_b = *module->instruments[0]->samples[1];
        EXPECT_EQ(got_a.length, c.a_frames);
        EXPECT_EQ(got_a.loop_length, c.a_loop_length);
        EXPECT_EQ(got_a.type & 3, c.a_loop_length > 0 ? 1 : 0);
        EXPECT_EQ(got_b.length, c.b_frames);
        // The values present are the file's; the guard repeats the last one kept.
        for (const auto& [got, frames, count] :
             {std::tuple{&got_a, &a_frames, c.a_frames}, std::tuple{&got_b, &b_frames, c.b_frames}}) {
            std::vector<int32_t> want(frames->begin(), frames->begin() + count);
            if (count > 0)
                want.push_back(want.back());
            EXPECT_EQ(sample_values(*got), want);
        }
        // The module still plays.
        std::vector<int16_t> buffer(2 * 2000);
        EXPECT_EQ(module->render(buffer.data(), 2000), 2000u);
        EXPECT_EQ(std::any_of(buffer.begin(), buffer.end(), [](int16_t v) { return v != 0; }), c.a_frames > 0);
    }
    // The reference player cuts an 8-bit last sample the same way.
    const std::vector<uint8_t> cut(whole.begin(), whole.end() - 10);
    EXPECT_EQ(reference_sample_lengths(cut), (std::vector<int>{64, 54}));
}

TEST(ModuleLoader, ZeroSpeedAndBpmTakeTheFormatDefaults)
{
    xm_writer::Module m = rows_module({"C-4 01 .. ..."});
    m.speed = 0;
    m.bpm = 0;
    auto module = load_bytes(xm_writer::write(m));
    std::vector<int16_t> buffer(2 * 4000);
    EXPECT_EQ(module->render(buffer.data(), 4000), 2646u);
}

class ModuleReplacement : public ::testing::Test {
protected:
    ModuleReplacement() : folder_("xm"), files_(sound_test::folder_files(folder_.root().string())) {}

    test_support::TempFolder folder_;
    vadu::logs::Creator log_;
    vadu::filesystem::Creator files_;
};

TEST_F(ModuleReplacement, AShorterWavReplacesAnEightBitSampleAsSixteenBits)
{
    sound_test::WavSpec spec;
    spec.channels = 1;
    spec.data = sound_test::pcm16({1000, -1000, 2000, -2000});
    sound_test::write_file(folder_.at("samples/lead_sine.wav"), sound_test::wav_bytes(spec));

    xm_writer::Module m = rows_module({"C-4 01 .. ..."});
    m.instruments[0] = plain_instrument(false);
    m.instruments[0].name = "Lead";
    m.instruments[0].samples[0].name = " Sine ";
    m.instruments[0].samples[0].frames.resize(8);
    m.instruments[0].samples[0].loop_start = 2;
    m.instruments[0].samples[0].loop_length = 4;
    m.instruments.push_back(m.instruments[0]);
    m.instruments[1].name = "other"; // no replacement: its own data must follow intact
    auto module = load_bytes(xm_writer::write(m));
    ASSERT_TRUE(module->is_loaded());
    const auto& sample = *module->instruments[0]->samples[0];
    EXPECT_TRUE(sample.is_16_bit());
    EXPECT_EQ(sample.length, 8);
    EXPECT_EQ(sample.loop_start, 2);
    EXPECT_EQ(sample.loop_length, 4);
    EXPECT_EQ(std::vector<int16_t>(sample.data.begin(), sample.data.begin() + 9),
              (std::vector<int16_t>{1000, -1000, 2000, -2000, 0, 0, 0, 0, 0}));
    const auto& other = *module->instruments[1]->samples[0];
    EXPECT_FALSE(other.is_16_bit());
    EXPECT_EQ(other.length, 8);
}

} // namespace
