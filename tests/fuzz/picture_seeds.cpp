// Writes the fuzz seed corpus for picture_fuzz: the pictures the decoder tests use.
// Usage: picture_seeds <folder>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "vadu/pictureformat/picture_samples.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    using samples::Bytes;
    const samples::Picture colour = samples::pattern(7, 5, 1, true);
    const samples::Picture few = samples::few_colours(12, 9, 7, 2);

    Bytes frames = samples::bmp(samples::pattern(4, 4, 1), 24);
    const Bytes level = samples::bmp(samples::pattern(2, 2, 2), 24);
    frames.insert(frames.end(), level.begin(), level.end());

    std::vector<samples::PvrBlock> blocks;
    for (uint32_t i = 0; i < 16; ++i)
        blocks.push_back({0x1B2C3D4Eu * (i + 1), samples::pvr_opaque(i, 31 - i, i % 16, 3 * i % 32, i, 31, i % 2 != 0)});

    const std::vector<std::pair<const char*, Bytes>> seeds = {
        {"bmp24.bmp", samples::bmp(colour, 24)},
        {"bmp32.bmp", samples::bmp(colour, 32)},
        {"bmp16.bmp", samples::bmp16(colour)},
        {"frames.bmp", frames},
        {"plain.ppm", samples::ppm(colour)},
        {"comments.ppm", samples::ppm(colour, 200, true)},
        {"runs.gif", samples::gif(few)},
        {"screen.gif", samples::gif(few, 8, 20)},
        {"placed.gif", samples::gif_placed(few, 20, 15, 3, 4, true)},
        // Pictures that once stalled the decoders; `make fuzz` runs with a time bound.
        {"flood.gif", samples::gif_flood(4, 4, 20000)},
        {"scans.jpg", samples::jpeg_with_scans(samples::jpeg(samples::pattern(16, 16, 5), 70, false, true), 3000)},
        {"gap.bmp", samples::bmp(colour, 24, 7)},
        {"rgba.png", samples::png(colour, samples::PngKind::rgba8)},
        {"interlaced.png", samples::png(colour, samples::PngKind::rgb8, true)},
        {"grey1.png", samples::png(colour, samples::PngKind::grey1)},
        {"palette.png", samples::png(few, samples::PngKind::palette_trns)},
        {"deep.png", samples::png(colour, samples::PngKind::rgba16)},
        {"colour.jpg", samples::jpeg(samples::pattern(17, 9, 3), 80)},
        {"grey.jpg", samples::jpeg(samples::pattern(8, 8, 4), 60, true)},
        {"progressive.jpg", samples::jpeg(samples::pattern(16, 16, 5), 70, false, true)},
        {"four.pvr", samples::pvr(16, 16, 25, blocks, 4, 4)},
        {"two.pvr", samples::pvr(32, 8, 24, std::vector<samples::PvrBlock>(blocks.begin(), blocks.begin() + 8), 4, 2)},
    };
    for (const auto& [name, bytes] : seeds)
        samples::write_file(folder + "/" + name, bytes);
    return 0;
}
