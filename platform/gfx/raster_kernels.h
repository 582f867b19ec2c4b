#pragma once

// The vector kernels of the rasterizer's pixel stage, one set per clone the program is
// built in (platform/vector_clones.h), and beside them a plain version of each, channel
// by channel, that every clone must equal bit for bit. Drawing uses the widest set the
// processor runs. Colours are packed ARGB words (bytes B, G, R, A in memory).

#include <cstdint>
#include <vector>

namespace platform::gfx::raster::detail {

// Pixels a kernel works on at most per call (as the span shader's chunks).
constexpr int kKernelRun = 128;

// Bilinear filtering of a run: per pixel the four texels around the sample, the weights
// towards the right and lower ones (0..255, repeated in the pixel's four 16-bit lanes)
// and the filtered colour. Room is left up to the next multiple of four.
struct Quads {
    alignas(16) uint32_t c00[kKernelRun], c10[kKernelRun], c01[kKernelRun], c11[kKernelRun];
    alignas(16) uint64_t fx[kKernelRun], fy[kKernelRun];
    alignas(16) uint32_t result[kKernelRun];
};

// A weight of a bilinear quad in all four lanes.
inline uint64_t spread_weight(uint32_t w)
{
    return w * 0x0001000100010001ull;
}

struct Kernels {
    const char* name;
    // Blends over n 32-bit pixels; `out` may be `dst` itself; `pad` is ORed into every
    // result (the unused byte of X8R8G8B8). Source × its alpha + destination × (1 − alpha):
    void (*blend_src_alpha)(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad);
    // Source + destination, each channel at most 255:
    void (*blend_add)(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad);
    // Source × its alpha + destination, at most 255:
    void (*blend_add_src_alpha)(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad);
    // The source times `color`, blended by the product's alpha over the row as
    // blend_src_alpha does.
    void (*modulate_blend)(const uint32_t* src, uint32_t color, uint8_t* row, int n, uint32_t pad);
    // Fills q.result[0, n) from the quads; entries up to the next multiple of four are
    // set to zero first and computed too.
    void (*bilerp_span)(Quads& q, int n);
    // out = out × (256 − weight) + spare × weight, in 1/256, channel by channel.
    void (*blend_levels)(uint32_t weight, uint32_t* out, const uint32_t* spare, int n);
};

// The sets this processor runs, the one built for every processor first.
const std::vector<const Kernels*>& runnable_kernels();
// The set drawing uses: the last of those.
const Kernels& kernels();
// The plain versions.
const Kernels& reference_kernels();

} // namespace platform::gfx::raster::detail
