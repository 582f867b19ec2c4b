#pragma once

// Tiny pictures and the files that hold them, written independently of the decoders:
// BMP, PPM, GIF and PVR byte by byte, PNG and JPEG through libpng and libjpeg. Shared
// by the decoder tests and the fuzz seed writer.

#include <cstdint>
#include <string>
#include <vector>

namespace samples {

using Bytes = std::vector<uint8_t>;

// Pixels as B, G, R, A bytes, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    Bytes bgra;

    const uint8_t* at(int x, int y) const { return bgra.data() + (static_cast<size_t>(y) * width + x) * 4; }
    uint8_t* at(int x, int y) { return bgra.data() + (static_cast<size_t>(y) * width + x) * 4; }
};

// A picture where neighbouring pixels differ in every channel; alpha is 255 unless
// with_alpha. Distinct seeds give distinct pictures.
Picture pattern(int width, int height, int seed, bool with_alpha = false);
// Only `colours` different opaque colours (for palettes).
Picture few_colours(int width, int height, int colours, int seed);
// The same colour channel in B, G and R (grey pictures).
Picture grey(int width, int height, int seed);

// The rows a bottom-first decoder hands out, concatenated: last row first.
Bytes bottom_first(const Picture& picture);
Bytes top_first(const Picture& picture);

// "BM" with the 54-byte header; 24 or 32 bits per pixel, rows bottom first, padded.
// `gap` filler bytes between the header and the pixels, named by the data offset.
Bytes bmp(const Picture& picture, int bits, int gap = 0);
// 16-bit X1R5G5B5 BMP from the colours' top 5 bits.
Bytes bmp16(const Picture& picture);
// The colours a 16-bit picture decodes to: top 5 bits, repeated into the low bits.
Picture widen5(const Picture& picture);

// "P6" with the given maximum value (samples scaled from 0-255), an optional comment
// in every gap and the given whitespace before the data.
Bytes ppm(const Picture& picture, int max_value = 255, bool comments = false);

// GIF89a with a global palette of the picture's colours (at most 256), a graphic
// control extension before the image, LZW data in sub-blocks.
Bytes gif(const Picture& picture, int logical_width = 0, int logical_height = 0);
// The same with the image at (left, top) of the logical screen, optionally interlaced.
Bytes gif_placed(const Picture& picture, int screen_width, int screen_height, int left, int top, bool interlaced);
// LZW codes for the indices (with the GIF code width rules), packed least bit first.
Bytes lzw(const std::vector<uint8_t>& indices, int minimum_code_size);
// A small GIF whose LZW data expands to thousands of screens: every pixel is palette
// entry 0, the colour (9, 8, 7); `repeats` adds 4091 pixels each.
Bytes gif_flood(int screen_width, int screen_height, int repeats);
// Screen and image fields of a GIF's headers.
struct GifLayout {
    int screen_width = 0;
    int screen_height = 0;
    int left = 0;
    int top = 0;
    int image_width = 0;
    int image_height = 0;
    bool interlaced = false;
};
// A GIF around raw LZW bytes (for hand-made streams) with the given RGB triples as
// global palette (padded with black to a power of two).
Bytes gif_file(const GifLayout& layout, const std::vector<uint8_t>& palette_rgb, int minimum_code_size,
               const Bytes& lzw_data);
// The image covers the whole screen.
Bytes gif_around(int width, int height, const std::vector<uint8_t>& palette_rgb, int minimum_code_size,
                 const Bytes& lzw_data);

enum class PngKind { rgb8, rgba8, grey8, grey1, grey_alpha8, palette, palette_trns, rgb16, rgba16 };
// PNG through libpng; `interlaced` writes Adam7.
Bytes png(const Picture& picture, PngKind kind, bool interlaced = false);
// What the PNG decoder must hand out for that kind (grey levels, palette
// transparency, 16-bit high bytes): the picture it was made from, as PNG keeps it.
Picture png_reference(const Picture& picture, PngKind kind);

// JPEG through libjpeg (colour, or grey from the green channel), baseline or progressive.
Bytes jpeg(const Picture& picture, int quality, bool grey = false, bool progressive = false);
// A progressive file with its last scan repeated until it has `scans` scans.
Bytes jpeg_with_scans(const Bytes& progressive, int scans);
// The same file decoded by plain libjpeg into B, G, R, 255 pixels.
Picture jpeg_reference(const Bytes& file);

// PVR file around PVRTC blocks given in block-grid order (row by row); they are
// stored twiddled. type: 25 (or 13) 4 bits per pixel, 24 2 bits per pixel.
struct PvrBlock {
    uint32_t modulation = 0;
    uint32_t colours = 0;
};
Bytes pvr(int width, int height, int type, const std::vector<PvrBlock>& grid, int columns, int rows);
// The same with the blocks given in stored order.
Bytes pvr_stored(int width, int height, int type, const std::vector<PvrBlock>& stored);
// An opaque PVRTC colour word with colour A = (r5, g5, b4) and colour B = (r5, g5, b5).
uint32_t pvr_opaque(int ra, int ga, int ba4, int rb, int gb, int bb, bool mode_flag = false);

// Whole file from disk-like text (for writing seeds).
void write_file(const std::string& path, const Bytes& bytes);

} // namespace samples
