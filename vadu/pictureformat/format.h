#pragma once

#include <cstdint>

namespace vadu::pictureformat {

// Pixel layout of decoded rows, byte by byte in memory (16-bit words little-endian).
// The hardware maps its texture formats onto these values, so they never change.
enum Format : int32_t {
    format_bgra = 0,        // B, G, R, A (Direct3D A8R8G8B8 / X8R8G8B8)
    format_rgba = 1,        // R, G, B, A
    format_bgr = 2,         // B, G, R (Direct3D R8G8B8)
    format_bgr_key = 3,     // B, G, R; all zero is transparent, opaque black becomes 0, 0, 1
    format_rgb = 4,         // R, G, B
    format_r5g6b5 = 5,      // red in the high bits
    format_a1r5g5b5 = 6,    // bit 15 set for a visible pixel
    format_a4r4g4b4 = 7,
    format_r5g6b5_key = 8,  // 0 is transparent, an opaque pixel that would be 0 becomes 1
};

// The number of known formats; values at or above it are not formats.
inline constexpr int32_t format_count = 9;

// Bytes per pixel; 0 for a value that is not a format.
uint32_t get_pixel_size(Format format);

// True for the formats that keep transparency (alpha or a colour key).
bool has_alpha(Format format);

// Writes count pixels of a format_bgra row in the given format. A value that is not a
// format writes nothing.
void convert_row(Format format, const uint8_t* source, uint8_t* destination, uint32_t count);

} // namespace vadu::pictureformat
