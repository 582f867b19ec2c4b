// Renders one generated module (8 channels, 16-bit looped samples, envelopes) with our
// player and with libxmp at 22050 Hz stereo 16-bit, linear interpolation, best of 5 runs
// each in CPU time, and prints both realtime factors and their ratio, then the summary line:
// ours against libxmp measured in the same run (target >= 0.5 x).

#include <xmp.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "../support/figures.h"
#include "vadu/filesystem.h"
#include "vadu/noise/module/module.h"
#include "xm_writer.h"

namespace {

double cpu_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

std::vector<uint8_t> bench_module()
{
    std::string text = "channels 8\nspeed 6\nbpm 125\ntable linear\n";
    const char* waves[] = {"sine", "square", "saw", "triangle"};
    for (int i = 0; i < 4; ++i) {
        text += "instrument i" + std::to_string(i) + " fadeout=600\n";
        text += std::string("sample s wave=") + waves[i] + " length=4096 period=" + std::to_string(32 + 16 * i) +
                " bits=16 loop=" + (i % 2 ? "pingpong" : "forward") + " loopstart=1024 looplength=3072\n";
        text += "volenv 0:64 6:48 20:40 40:0 sustain=2\npanenv 0:24 16:40 32:24 loop=0-2\n";
    }
    const char* notes[] = {"C-4", "E-4", "G-4", "C-5", "D-4", "F-4", "A-4", "B-3"};
    text += "pattern 64\n";
    for (int row = 0; row < 64; ++row) {
        text += "row ";
        for (int c = 0; c < 8; ++c) {
            if (c)
                text += " | ";
            if ((row + c) % 8 == 0)
                text += std::string(notes[(row / 8 + c) % 8]) + " 0" + std::to_string(1 + c % 4) + " 30 ...";
            else if ((row + c) % 8 == 6)
                text += "=== .. .. ...";
            else
                text += "... .. .. 401";
        }
        text += "\n";
    }
    text += "order 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n"; // about 3 minutes
    return xm_writer::write(xm_writer::parse(text));
}

double run_ours(const std::vector<uint8_t>& bytes, size_t& frames)
{
    vadu::filesystem::MemoryStream stream(bytes);
    auto module = vadu::noise::module::Module::load(stream, {}, true);
    std::vector<int16_t> buffer(2 * 4096);
    frames = 0;
    const double start = cpu_seconds();
    for (;;) {
        std::fill(buffer.begin(), buffer.end(), 0);
        const uint32_t got = module->render(buffer.data(), 4096);
        frames += got;
        if (got < 4096)
            break;
    }
    return cpu_seconds() - start;
}

double run_reference(const std::vector<uint8_t>& bytes, size_t frames)
{
    xmp_context context = xmp_create_context();
    xmp_load_module_from_memory(context, bytes.data(), static_cast<long>(bytes.size()));
    xmp_start_player(context, 22050, 0);
    xmp_set_player(context, XMP_PLAYER_INTERP, XMP_INTERP_LINEAR);
    xmp_set_player(context, XMP_PLAYER_MIX, 100);
    std::vector<int16_t> buffer(2 * 4096);
    const double start = cpu_seconds();
    for (size_t done = 0; done < frames; done += 4096)
        xmp_play_buffer(context, buffer.data(), static_cast<int>(buffer.size() * 2), 0);
    const double seconds = cpu_seconds() - start;
    xmp_end_player(context);
    xmp_release_module(context);
    xmp_free_context(context);
    return seconds;
}

} // namespace

int main()
{
    const std::vector<uint8_t> bytes = bench_module();
    size_t frames = 0;
    double ours = 1e9, reference = 1e9;
    for (int run = 0; run < 5; ++run) {
        ours = std::min(ours, run_ours(bytes, frames));
        reference = std::min(reference, run_reference(bytes, frames));
    }
    const double audio = double(frames) / 22050.0;
    std::printf("xm_bench: %.1f s of 8-channel music at 22050 Hz\n", audio);
    std::printf("  ours:   %.0fx realtime\n", audio / ours);
    std::printf("  libxmp: %.0fx realtime\n", audio / reference);
    const double ratio = ours > 0 ? reference / ours : 0.0;
    std::printf("  ratio (ours / libxmp): %.2f\n", ratio);
    bench_support::print_figure("xm playback, ours / libxmp", ratio, "x", ">= 0.5 x", ratio >= 0.5);
    return 0;
}
