// Our player against an independent one (libxmp, tests only), on the same bytes: note
// onsets, loudness per row and the pitch of sustained notes. Effects where we knowingly
// differ from the format are covered by the hand-computed tests instead.

#include "module_fixtures.h"

#include <gtest/gtest.h>
#include <xmp.h>

#include <cmath>

namespace {

using namespace module_test;

struct Rendering {
    std::vector<int16_t> ours, reference; // stereo frames
};

Rendering render_both(const xm_writer::Module& description)
{
    const std::vector<uint8_t> bytes = xm_writer::write(description);
    Rendering out;
    auto module = load_bytes(bytes);
    EXPECT_TRUE(module->is_loaded());
    std::vector<int16_t> block(2 * 4096);
    for (;;) {
        std::fill(block.begin(), block.end(), 0);
        const uint32_t got = module->render(block.data(), 4096);
        out.ours.insert(out.ours.end(), block.begin(), block.begin() + 2 * got);
        if (got < 4096)
            break;
    }
    xmp_context context = xmp_create_context();
    EXPECT_EQ(xmp_load_module_from_memory(context, bytes.data(), static_cast<long>(bytes.size())), 0);
    EXPECT_EQ(xmp_start_player(context, 22050, 0), 0);
    xmp_set_player(context, XMP_PLAYER_INTERP, XMP_INTERP_LINEAR);
    xmp_set_player(context, XMP_PLAYER_MIX, 100);
    out.reference.assign(out.ours.size(), 0);
    xmp_play_buffer(context, out.reference.data(), static_cast<int>(out.reference.size() * 2), 0);
    xmp_end_player(context);
    xmp_release_module(context);
    xmp_free_context(context);
    return out;
}

double rms(const std::vector<int16_t>& frames, size_t first, size_t count)
{
    double sum = 0;
    for (size_t i = first; i < first + count && 2 * i + 1 < frames.size(); ++i) {
        const double m = (frames[2 * i] + frames[2 * i + 1]) / 2.0;
        sum += m * m;
    }
    return std::sqrt(sum / std::max<size_t>(count, 1));
}

// First frame whose mono level passes a threshold.
size_t onset(const std::vector<int16_t>& frames, size_t from, double threshold)
{
    for (size_t i = from; 2 * i + 1 < frames.size(); ++i)
        if (std::abs((frames[2 * i] + frames[2 * i + 1]) / 2.0) > threshold)
            return i;
    return SIZE_MAX;
}

// Frequency from the first and last rising zero crossings, interpolated between frames.
double frequency(const std::vector<int16_t>& frames, size_t first, size_t count)
{
    double start = -1, end = -1;
    int cycles = -1;
    for (size_t i = first + 1; i < first + count && 2 * i + 1 < frames.size(); ++i) {
        const double a = frames[2 * i - 2] + frames[2 * i - 1], b = frames[2 * i] + frames[2 * i + 1];
        if (a < 0 && b >= 0) {
            const double at = i - 1 + (-a) / (b - a);
            if (start < 0)
                start = at;
            end = at;
            ++cycles;
        }
    }
    return cycles > 0 ? cycles * 22050.0 / (end - start) : 0;
}

xm_writer::Module centred(std::vector<std::string> rows, bool linear = true)
{
    xm_writer::Module m = rows_module(rows, linear);
    auto& sample = m.instruments[0].samples[0];
    sample.frames = xm_writer::waveform("sine", 2048, 32, true);
    sample.panning = 128;
    return m;
}

double fitted_gain()
{
    const Rendering plain = render_both(centred({"C-4 01 .. ...", "... .. .. ...", "... .. .. ..."}));
    return rms(plain.reference, 2646, 2646) / rms(plain.ours, 2646, 2646);
}

TEST(ModuleReference, RowLoudnessAndOnsetsPerEffect)
{
    const double gain = fitted_gain();
    ASSERT_GT(gain, 0.1);
    struct Case {
        const char* name;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"plain notes", {"C-4 01 .. ...", "... .. .. ...", "E-4 01 .. ...", "... .. .. ..."}},
        {"volume column", {"C-4 01 20 ...", "... .. 10 ...", "... .. 40 ..."}},
        {"C: set volume", {"C-4 01 .. C20", "... .. .. C08", "... .. .. C40"}},
        {"A: volume slide", {"C-4 01 .. A04", "... .. .. A00", "... .. .. A40", "... .. .. ..."}},
        {"EA and EB", {"C-4 01 20 EA8", "... .. .. EB4", "... .. .. ..."}},
        {"G: global volume", {"C-4 01 .. G20", "... .. .. G40", "... .. .. ..."}},
        {"H: global volume slide", {"C-4 01 .. H04", "... .. .. H10", "... .. .. ..."}},
        {"1 and 2: portamento", {"C-4 01 .. 108", "... .. .. 208", "... .. .. ..."}},
        {"3: tone portamento", {"C-4 01 .. ...", "G-4 01 .. 308", "... .. .. 300", "... .. .. ..."}},
        {"E1 and E2", {"C-4 01 .. E14", "... .. .. E28", "... .. .. ..."}},
        {"9: sample offset", {"C-4 01 .. 904", "... .. .. ...", "C-4 01 .. 902"}},
        {"F: speed and BPM", {"C-4 01 .. F03", "... .. .. F60", "C-4 01 .. ...", "... .. .. ..."}},
        {"ED: note delay", {"... .. .. ...", "E-4 01 .. ED3", "... .. .. ..."}},
        {"D: pattern break", {"C-4 01 .. ...", "... .. .. D00", "E-4 01 .. ..."}},
        {"EE: pattern delay", {"C-4 01 .. EE1", "E-4 01 .. ...", "... .. .. ..."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        xm_writer::Module m = centred(c.rows);
        const Rendering r = render_both(m);
        ASSERT_FALSE(r.ours.empty());
        const size_t frames = r.ours.size() / 2;
        // Onsets: the first sound, and each later note, within one tick.
        const size_t ours_on = onset(r.ours, 0, 200), ref_on = onset(r.reference, 0, 200 * gain);
        EXPECT_LE(std::abs(static_cast<long>(ours_on) - static_cast<long>(ref_on)), 441);
        for (size_t row = 0; row * 2646 < frames; ++row) {
            const size_t count = std::min<size_t>(2646, frames - row * 2646);
            const double a = rms(r.ours, row * 2646, count) * gain, b = rms(r.reference, row * 2646, count);
            if (a < 50 && b < 50)
                continue; // both silent
            EXPECT_NEAR(20 * std::log10(std::max(a, 1.0) / std::max(b, 1.0)), 0.0, 1.5) << "row-length block " << row;
        }
    }
}

TEST(ModuleReference, SustainedNotesHaveTheReferencePitch)
{
    struct Case {
        const char* note;
        bool linear;
        int8_t finetune, relative;
    };
    const Case cases[] = {
        {"C-4", true, 0, 0},   {"C-5", true, 0, 0},   {"A-3", true, 0, 0},    {"C-4", true, 64, 0},
        {"C-4", true, -48, 5}, {"C-4", false, 0, 0}, {"G-5", false, 0, 0},   {"C-4", false, 80, 0},
        {"D-3", false, 0, 2},
    }; // Amiga finetunes between multiples of 16 take q / 15 of a step: hand-computed tests only
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.note) + (c.linear ? " linear " : " amiga ") + std::to_string(c.finetune));
        xm_writer::Module m = centred({std::string(c.note) + " 01 .. F1F"}, c.linear);
        m.instruments[0].samples[0].finetune = c.finetune;
        m.instruments[0].samples[0].relative_note = c.relative;
        const Rendering r = render_both(m);
        const double ours = frequency(r.ours, 2000, 11000), reference = frequency(r.reference, 2000, 11000);
        ASSERT_GT(reference, 0);
        EXPECT_NEAR(ours / reference, 1.0, 0.005) << ours << " Hz against " << reference << " Hz";
    }
}

} // namespace
