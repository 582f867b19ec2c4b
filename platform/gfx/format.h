#pragma once

// Bit layouts of the colour formats, shared by the device's clears, the box filter
// and (later) the rasterizer.

#include "platform/gfx/types.h"

#include <cstdint>

namespace platform::gfx {

struct BitField {
    uint32_t shift = 0;
    uint32_t bits = 0; // 0: the channel is absent
};

struct PixelLayout {
    Format format;
    uint32_t bytes;
    BitField a, r, g, b;
    uint32_t pad; // bits that are neither channel, written as ones
};

// Null for formats that are not colour formats.
const PixelLayout* pixel_layout(Format format);

uint32_t read_pixel_word(const uint8_t* pixel, uint32_t bytes);
void write_pixel_word(uint8_t* pixel, uint32_t bytes, uint32_t word);

// Each channel of four pixel words averaged (rounded half up) in its own bit width.
uint32_t box_average(const PixelLayout& layout, const uint32_t words[4]);

} // namespace platform::gfx
