#pragma once

// The parts of the rasterizer's pixel stage that one another use: sampling, the texture
// stages' combining and blending, and the span shader that runs them.

#include "platform/gfx/raster_internal.h"
#include "platform/gfx/raster_kernels.h"

#include <cstdint>

namespace platform::gfx::raster::detail {

// A stage operand: one colour for the whole run, or one per pixel.
struct Value {
    const uint32_t* pixels = nullptr;
    uint32_t color = 0;
    bool varying() const { return pixels != nullptr; }
    bool operator==(const Value& other) const
    {
        return varying() ? pixels == other.pixels : !other.varying() && color == other.color;
    }
};

// Spare arrays of the stages' intermediate results.
constexpr int kTemps = 24;

// The last run of the stages times one colour, while its result is unchanged: `out`
// holds `source` times `color`.
struct ScaledRun {
    const uint32_t* source = nullptr;
    uint32_t color = 0;
    const uint32_t* out = nullptr;
};

// --- sampling

// Samples n pixels of a row of an affine triangle, `dx` and `dy` from its reference pixel.
// `spare`: room for n colours.
void sample_span(const Stage& stage, const Sampler& sampler, int64_t dx, int64_t dy, uint32_t* out,
                 uint32_t* spare, int n);
// One pixel of a perspective triangle, at texel coordinates u, v (0..1 over the texture).
void sample_at(const Stage& stage, const Sampler& sampler, double u, double v, uint32_t* out, uint32_t* spare);
// Samples n pixels as sample_span does, times `color`, blended by their alpha over a 32-bit
// row. `texels` and `spare`: room for n colours.
void sample_modulate_blend(const Stage& stage, const Sampler& sampler, int64_t dx, int64_t dy, uint32_t color,
                           uint8_t* row, uint32_t pad, uint32_t* texels, uint32_t* spare, int n);

// --- combining

// Runs the texture stages over n pixels (none: only which arrays they would read and
// write is found) from the diffuse colour and each stage's texture; `scaled`, when given,
// receives the last run that was a source times one colour.
Value combine_stages(const PixelState& state, uint32_t (*temps)[kChunk], int n, Value diffuse, const Value* textures,
                     ScaledRun* scaled = nullptr);

// The blends the engine uses, over 32-bit pixels (see Kernels).
inline void blend_src_alpha(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad)
{
    kernels().blend_src_alpha(out, src, dst, n, pad);
}
inline void blend_add(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad)
{
    kernels().blend_add(out, src, dst, n, pad);
}
inline void blend_add_src_alpha(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad)
{
    kernels().blend_add_src_alpha(out, src, dst, n, pad);
}
// Any blend states, over colours as ARGB words.
void blend_generic(const PixelState& state, uint32_t* out, const uint32_t* src, const uint32_t* dst, int n);

// Pixels of a row of the colour target as ARGB words, and back (where `mask` is set, or
// everywhere without one), with the write mask applied.
void load_destination(const ColorView& view, const uint8_t* row, uint32_t* out, int n);
void store(const ColorView& view, uint8_t* row, const uint32_t* color, const uint32_t* mask, int n);

} // namespace platform::gfx::raster::detail
