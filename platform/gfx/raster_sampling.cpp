// The rasterizer's sampling: texel access and addressing, point and bilinear sampling of
// runs of pixels, the blend between two mip levels, the choice of levels and filter for a
// triangle, and the fused sampling, modulation and blend of most sprites.

#include "platform/gfx/raster_arith.h"
#include "platform/gfx/raster_kernels.h"
#include "platform/gfx/raster_pixels.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace platform::gfx::raster::detail {

// --- texel access

template <Fetch K>
inline uint32_t texel(const Level& level, int x, int y, Format format)
{
    const uint8_t* row = level.pixels + static_cast<ptrdiff_t>(y) * level.pitch;
    if constexpr (K == Fetch::argb)
        return reinterpret_cast<const Word*>(row)[x];
    else if constexpr (K == Fetch::xrgb)
        return reinterpret_cast<const Word*>(row)[x] | 0xFF000000u;
    else
        return decode_color(format, row + static_cast<ptrdiff_t>(x) * level.bytes);
}

// Texel index for a coordinate outside the level; -1 selects the border colour.
inline int64_t address(int64_t i, int64_t size, uint32_t mode)
{
    if (i >= 0 && i < size)
        return i;
    switch (mode) {
    case texture_address::mirror: {
        int64_t m = i % (2 * size);
        if (m < 0)
            m += 2 * size;
        return m < size ? m : 2 * size - 1 - m;
    }
    case texture_address::clamp:
        return i < 0 ? 0 : size - 1;
    case texture_address::border:
        return -1;
    case texture_address::mirror_once: {
        const int64_t m = i < 0 ? -i - 1 : i;
        return std::min(m, size - 1);
    }
    default: { // wrap
        int64_t m = i % size;
        return m < 0 ? m + size : m;
    }
    }
}

template <Fetch K>
inline uint32_t texel_addressed(const Stage& stage, const Level& level, int64_t x, int64_t y)
{
    x = address(x, level.width, stage.address_u);
    y = address(y, level.height, stage.address_v);
    if (x < 0 || y < 0)
        return stage.border;
    return texel<K>(level, static_cast<int>(x), static_cast<int>(y), stage.format);
}

// Coordinates are texel units of the level in 16.16 fixed point; a point sample takes
// the texel the coordinate lies in, a linear one the four around it (texel centres
// at +0.5).
template <Fetch K, bool Pow2>
void sample_point(const Stage& stage, const Level& level, int64_t u, int64_t v, int64_t du, int64_t dv,
                  uint32_t* __restrict out, int n)
{
    if constexpr (Pow2) {
        const int wm = level.width - 1;
        const int hm = level.height - 1;
        if (K != Fetch::other && level.pitch == level.width * 4 && !(du == 65536 && dv == 0)) {
            // Rows back to back: the texel index is (y << shift) | x. The coordinates only
            // matter modulo the level's size, so 32 bits of them suffice.
            const Word* texels = reinterpret_cast<const Word*>(level.pixels);
            const int shift = std::countr_zero(static_cast<uint32_t>(level.width));
            uint32_t uu = static_cast<uint32_t>(u), vv = static_cast<uint32_t>(v);
            const uint32_t duu = static_cast<uint32_t>(du), dvv = static_cast<uint32_t>(dv);
            const uint32_t pad = K == Fetch::xrgb ? 0xFF000000u : 0u;
            const uint32_t xm = static_cast<uint32_t>(wm), ym = static_cast<uint32_t>(hm);
            for (int k = 0; k < n; ++k) {
                out[k] = texels[((vv >> 16) & ym) << shift | ((uu >> 16) & xm)] | pad;
                uu += duu;
                vv += dvv;
            }
            return;
        }
        if (du == 65536 && dv == 0 && K != Fetch::other) {
            // Unscaled and axis-aligned: runs of one texel row.
            const Word* row = reinterpret_cast<const Word*>(
                level.pixels + static_cast<ptrdiff_t>(static_cast<int>(v >> 16) & hm) * level.pitch);
            int x = static_cast<int>(u >> 16) & wm;
            int k = 0;
            while (k < n) {
                const int run = std::min(n - k, level.width - x);
                for (int i = 0; i < run; ++i)
                    out[k + i] = row[x + i] | (K == Fetch::xrgb ? 0xFF000000u : 0u);
                k += run;
                x = 0;
            }
            return;
        }
        for (int k = 0; k < n; ++k) {
            out[k] = texel<K>(level, static_cast<int>(u >> 16) & wm, static_cast<int>(v >> 16) & hm, stage.format);
            u += du;
            v += dv;
        }
    } else {
        for (int k = 0; k < n; ++k) {
            out[k] = texel_addressed<K>(stage, level, u >> 16, v >> 16);
            u += du;
            v += dv;
        }
    }
}





// A bilinear run over one level of a 32-bit texture: pixel k's footprint has its
// top-left texel at (u + k·du, v + k·dv), 16.16, the half texel to the centres taken off.
struct LinearRun {
    const Stage* stage = nullptr;
    const Level* level = nullptr;
    int64_t u = 0, v = 0, du = 0, dv = 0;
    uint32_t pad = 0; // ORed into every texel (X8R8G8B8); not into the border colour
    // Pixels [inside_from, inside_to) have all four texels inside the level, where every
    // address mode leaves the coordinates as they are. Coordinates move linearly along
    // the run, so those pixels are one stretch and its ends tell.
    int inside_from = 0;
    int inside_to = 0;
};

LinearRun linear_run(const Stage& stage, const Level& level, int64_t u, int64_t v, int64_t du, int64_t dv, int n,
                     uint32_t pad)
{
    LinearRun r;
    r.stage = &stage;
    r.level = &level;
    r.u = u;
    r.v = v;
    r.du = du;
    r.dv = dv;
    r.pad = pad;
    // Inside, the coordinates fit 32 bits unsigned.
    if (level.width < 2 || level.height < 2 || level.width > 65536 || level.height > 65536)
        return r;
    const int64_t last_x = level.width - 2, last_y = level.height - 2;
    auto inside = [&](int k) {
        const int64_t x = (u + k * du) >> 16, y = (v + k * dv) >> 16;
        return x >= 0 && x <= last_x && y >= 0 && y <= last_y;
    };
    int from = 0;
    while (from < n && !inside(from))
        ++from;
    int to = n;
    while (to > from && !inside(to - 1))
        --to;
    r.inside_from = from;
    r.inside_to = to;
    return r;
}

// Pixel k's four texels and weights, one at a time, through the address modes.
inline void linear_footprint(const LinearRun& r, int k, uint32_t (&c)[4], uint32_t& fx, uint32_t& fy)
{
    const Level& level = *r.level;
    const int64_t u = r.u + k * r.du, v = r.v + k * r.dv;
    fx = static_cast<uint32_t>(u >> 8) & 0xFFu;
    fy = static_cast<uint32_t>(v >> 8) & 0xFFu;
    if (k >= r.inside_from && k < r.inside_to) {
        const uint8_t* row = level.pixels + static_cast<ptrdiff_t>(v >> 16) * level.pitch + (u >> 16) * 4;
        std::memcpy(&c[0], row, 4);
        std::memcpy(&c[1], row + 4, 4);
        std::memcpy(&c[2], row + level.pitch, 4);
        std::memcpy(&c[3], row + level.pitch + 4, 4);
        for (uint32_t& t : c)
            t |= r.pad;
        return;
    }
    const Stage& stage = *r.stage;
    if (stage.wrap_pow2) {
        const int64_t wm = level.width - 1, hm = level.height - 1;
        const int64_t x0 = (u >> 16) & wm, y0 = (v >> 16) & hm;
        const int64_t x1 = (x0 + 1) & wm, y1 = (y0 + 1) & hm;
        c[0] = texel<Fetch::argb>(level, static_cast<int>(x0), static_cast<int>(y0), stage.format) | r.pad;
        c[1] = texel<Fetch::argb>(level, static_cast<int>(x1), static_cast<int>(y0), stage.format) | r.pad;
        c[2] = texel<Fetch::argb>(level, static_cast<int>(x0), static_cast<int>(y1), stage.format) | r.pad;
        c[3] = texel<Fetch::argb>(level, static_cast<int>(x1), static_cast<int>(y1), stage.format) | r.pad;
        return;
    }
    const int64_t x0 = u >> 16, y0 = v >> 16;
    const int64_t xs[2] = {address(x0, level.width, stage.address_u), address(x0 + 1, level.width, stage.address_u)};
    const int64_t ys[2] = {address(y0, level.height, stage.address_v),
                           address(y0 + 1, level.height, stage.address_v)};
    for (int i = 0; i < 4; ++i) {
        const int64_t x = xs[i & 1], y = ys[i >> 1];
        c[i] = x < 0 || y < 0 ? stage.border
                              : texel<Fetch::argb>(level, static_cast<int>(x), static_cast<int>(y), stage.format) | r.pad;
    }
}

// Filters pixels [0, n) of a run four at a time, handing each four's colours (one
// channel in each 16-bit lane) to `sink` with the index of the first; past n the
// texels are zeros. Inside the level a pixel's two texel pairs are two 8-byte loads.
template <typename Sink>
[[gnu::always_inline]] inline void linear_fours(const LinearRun& r, int n, Sink& sink)
{
    const Level& level = *r.level;
    const ptrdiff_t pitch = level.pitch;
    const simd::u8x16 pads = simd::pad_vector(r.pad);
    const uint32_t du = static_cast<uint32_t>(r.du), dv = static_cast<uint32_t>(r.dv);
    const simd::u32x4 ramp_u = simd::u32x4{0, 1, 2, 3} * du, ramp_v = simd::u32x4{0, 1, 2, 3} * dv;
    for (int p = 0; p < n; p += 4) {
        simd::u32x4 c00, c10, c01, c11, fx, fy;
        if (p >= r.inside_from && p + 4 <= r.inside_to) {
            uint32_t uu = static_cast<uint32_t>(r.u + p * r.du), vv = static_cast<uint32_t>(r.v + p * r.dv);
            fx = ((simd::u32x4{} + uu + ramp_u) >> 8) & 0xFFu;
            fy = ((simd::u32x4{} + vv + ramp_v) >> 8) & 0xFFu;
            alignas(16) uint32_t top[8], bottom[8];
            for (int j = 0; j < 4; ++j) {
                const uint8_t* at = level.pixels + static_cast<ptrdiff_t>(vv >> 16) * pitch + (uu >> 16) * 4;
                std::memcpy(top + 2 * j, at, 8);
                std::memcpy(bottom + 2 * j, at + pitch, 8);
                uu += du;
                vv += dv;
            }
            simd::u32x4 t01, t23, b01, b23;
            std::memcpy(&t01, top, 16);
            std::memcpy(&t23, top + 4, 16);
            std::memcpy(&b01, bottom, 16);
            std::memcpy(&b23, bottom + 4, 16);
            const simd::u32x4 pad = reinterpret_cast<simd::u32x4>(pads);
            c00 = __builtin_shufflevector(t01, t23, 0, 2, 4, 6) | pad;
            c10 = __builtin_shufflevector(t01, t23, 1, 3, 5, 7) | pad;
            c01 = __builtin_shufflevector(b01, b23, 0, 2, 4, 6) | pad;
            c11 = __builtin_shufflevector(b01, b23, 1, 3, 5, 7) | pad;
        } else {
            alignas(16) uint32_t c[4][4] = {}, wx[4] = {}, wy[4] = {};
            for (int j = 0; j < 4 && p + j < n; ++j) {
                uint32_t t[4];
                linear_footprint(r, p + j, t, wx[j], wy[j]);
                for (int i = 0; i < 4; ++i)
                    c[i][j] = t[i];
            }
            std::memcpy(&c00, c[0], 16);
            std::memcpy(&c10, c[1], 16);
            std::memcpy(&c01, c[2], 16);
            std::memcpy(&c11, c[3], 16);
            std::memcpy(&fx, wx, 16);
            std::memcpy(&fy, wy, 16);
        }
        const simd::u16x16 wx = simd::spread4(fx), wy = simd::spread4(fy);
        const simd::u16x16 top = lerp16(simd::widen(c00), simd::widen(c10), wx);
        const simd::u16x16 bottom = lerp16(simd::widen(c01), simd::widen(c11), wx);
        sink(p, lerp16(top, bottom, wy));
    }
}

// Pixels [p, p + 4) of an array from four colours, only those below n.
struct ToArray {
    uint32_t* out;
    int n;
    [[gnu::always_inline]] void operator()(int p, simd::u16x16 color) const
    {
        const simd::u8x16 bytes = simd::narrow(color);
        if (p + 4 <= n)
            simd::store(out + p, bytes);
        else
            std::memcpy(out + p, &bytes, static_cast<size_t>(n - p) * 4);
    }
};

QUILLO_VECTOR_CLONES
void linear_span(const LinearRun& r, uint32_t* out, int n)
{
    ToArray sink{out, n};
    linear_fours(r, n, sink);
}

template <Fetch K, bool Pow2>
void sample_linear(const Stage& stage, const Level& level, int64_t u, int64_t v, int64_t du, int64_t dv,
                   uint32_t* __restrict out, int n)
{
    u -= 32768;
    v -= 32768;
    if constexpr (K != Fetch::other) {
        linear_span(linear_run(stage, level, u, v, du, dv, n, K == Fetch::xrgb ? 0xFF000000u : 0u), out, n);
    } else {
        Quads q;
        if constexpr (Pow2) {
            const uint32_t wm = static_cast<uint32_t>(level.width - 1);
            const uint32_t hm = static_cast<uint32_t>(level.height - 1);
            // Coordinates only matter modulo the level's size: 32 bits of them suffice.
            uint32_t uu = static_cast<uint32_t>(u), vv = static_cast<uint32_t>(v);
            const uint32_t duu = static_cast<uint32_t>(du), dvv = static_cast<uint32_t>(dv);
            for (int k = 0; k < n; ++k) {
                const uint32_t x0 = (uu >> 16) & wm, y0 = (vv >> 16) & hm;
                const uint32_t x1 = (x0 + 1) & wm, y1 = (y0 + 1) & hm;
                const uint8_t* row0 = level.pixels + static_cast<ptrdiff_t>(y0) * level.pitch;
                const uint8_t* row1 = level.pixels + static_cast<ptrdiff_t>(y1) * level.pitch;
                q.c00[k] = decode_color(stage.format, row0 + x0 * level.bytes);
                q.c10[k] = decode_color(stage.format, row0 + x1 * level.bytes);
                q.c01[k] = decode_color(stage.format, row1 + x0 * level.bytes);
                q.c11[k] = decode_color(stage.format, row1 + x1 * level.bytes);
                q.fx[k] = spread_weight((uu >> 8) & 0xFFu);
                q.fy[k] = spread_weight((vv >> 8) & 0xFFu);
                uu += duu;
                vv += dvv;
            }
        } else {
            for (int k = 0; k < n; ++k) {
                const int64_t x0 = u >> 16;
                const int64_t y0 = v >> 16;
                q.c00[k] = texel_addressed<K>(stage, level, x0, y0);
                q.c10[k] = texel_addressed<K>(stage, level, x0 + 1, y0);
                q.c01[k] = texel_addressed<K>(stage, level, x0, y0 + 1);
                q.c11[k] = texel_addressed<K>(stage, level, x0 + 1, y0 + 1);
                q.fx[k] = spread_weight(static_cast<uint32_t>(u >> 8) & 0xFFu);
                q.fy[k] = spread_weight(static_cast<uint32_t>(v >> 8) & 0xFFu);
                u += du;
                v += dv;
            }
        }
        kernels().bilerp_span(q, n);
        std::memcpy(out, q.result, static_cast<size_t>(n) * sizeof(uint32_t));
    }
}

template <Fetch K>
void sample_level_as(const Stage& stage, Filter filter, const Level& level, int64_t u, int64_t v, int64_t du,
                     int64_t dv, uint32_t* out, int n)
{
    // A linear sample that stays on texel centres is a point sample.
    if (filter == Filter::linear && ((u - 32768) & 0xFFFF) == 0 && ((v - 32768) & 0xFFFF) == 0
        && (du & 0xFFFF) == 0 && (dv & 0xFFFF) == 0)
        filter = Filter::point;
    if (filter == Filter::point) {
        if (stage.wrap_pow2)
            sample_point<K, true>(stage, level, u, v, du, dv, out, n);
        else
            sample_point<K, false>(stage, level, u, v, du, dv, out, n);
    } else {
        if (stage.wrap_pow2)
            sample_linear<K, true>(stage, level, u, v, du, dv, out, n);
        else
            sample_linear<K, false>(stage, level, u, v, du, dv, out, n);
    }
}

void sample_level(const Stage& stage, Filter filter, const Level& level, int64_t u, int64_t v, int64_t du,
                  int64_t dv, uint32_t* out, int n)
{
    switch (stage.fetch) {
    case Fetch::argb: sample_level_as<Fetch::argb>(stage, filter, level, u, v, du, dv, out, n); break;
    case Fetch::xrgb: sample_level_as<Fetch::xrgb>(stage, filter, level, u, v, du, dv, out, n); break;
    case Fetch::other: sample_level_as<Fetch::other>(stage, filter, level, u, v, du, dv, out, n); break;
    }
}

inline int64_t to_fixed(double texels)
{
    // Far outside any texture; keeps the conversion defined for absurd coordinates.
    constexpr double kLimit = 1e11;
    return std::llround(std::clamp(texels, -kLimit, kLimit) * 65536.0);
}

// 16.16 from a value in 1/2^32, rounded.


// Samples n pixels of a row of an affine triangle; (dx, dy) is the first pixel's
// offset from the triangle's reference pixel.
void sample_span(const Stage& stage, const Sampler& sampler, int64_t dx, int64_t dy, uint32_t* out,
                 uint32_t* spare, int n)
{
    const int levels = sampler.mip_weight != 0 ? 2 : 1;
    for (int i = 0; i < levels; ++i) {
        const FixedPlane& pu = sampler.u[i];
        const FixedPlane& pv = sampler.v[i];
        sample_level(stage, sampler.filter, sampler.level[i], to_16(pu.ref + dx * pu.dx + dy * pu.dy),
                     to_16(pv.ref + dx * pv.dx + dy * pv.dy), to_16(pu.dx), to_16(pv.dx), i == 0 ? out : spare, n);
    }
    if (levels == 2)
        kernels().blend_levels(sampler.mip_weight, out, spare, n);
}

// One sample at normalised (u, v).
void sample_at(const Stage& stage, const Sampler& sampler, double u, double v, uint32_t* out, uint32_t* spare)
{
    const int levels = sampler.mip_weight != 0 ? 2 : 1;
    for (int i = 0; i < levels; ++i) {
        const Level& level = sampler.level[i];
        sample_level(stage, sampler.filter, level, to_fixed(u * level.width), to_fixed(v * level.height), 0, 0,
                     i == 0 ? out : spare, 1);
    }
    if (levels == 2)
        kernels().blend_levels(sampler.mip_weight, out, spare, 1);
}

// --- texture × constant colour, blended by its alpha: the stages and the blend of
// most sprites in one pass, with the arithmetic of modulate_by and blend_src_alpha.




QUILLO_VECTOR_CLONES
void linear_modulate_blend(const LinearRun& r, uint32_t color, uint8_t* row, int n, uint32_t pad)
{
    const ModulateBlend sink = modulate_blend_sink(color, row, n, pad);
    linear_fours(r, n, sink);
}

// Samples n pixels of a row of an affine triangle as sample_span does, times `color`,
// blended by their alpha over a 32-bit row. `texels` and `spare`: room for n colours.
void sample_modulate_blend(const Stage& stage, const Sampler& sampler, int64_t dx, int64_t dy, uint32_t color,
                           uint8_t* row, uint32_t pad, uint32_t* texels, uint32_t* spare, int n)
{
    if (sampler.mip_weight == 0 && sampler.filter == Filter::linear && stage.fetch != Fetch::other) {
        const FixedPlane& pu = sampler.u[0];
        const FixedPlane& pv = sampler.v[0];
        const int64_t u = to_16(pu.ref + dx * pu.dx + dy * pu.dy), v = to_16(pv.ref + dx * pv.dx + dy * pv.dy);
        const int64_t du = to_16(pu.dx), dv = to_16(pv.dx);
        // On texel centres sample_level takes a point sample.
        if (!(((u - 32768) & 0xFFFF) == 0 && ((v - 32768) & 0xFFFF) == 0 && (du & 0xFFFF) == 0
              && (dv & 0xFFFF) == 0)) {
            const uint32_t texel_pad = stage.fetch == Fetch::xrgb ? 0xFF000000u : 0u;
            linear_modulate_blend(linear_run(stage, sampler.level[0], u - 32768, v - 32768, du, dv, n, texel_pad),
                                  color, row, n, pad);
            return;
        }
    }
    sample_span(stage, sampler, dx, dy, texels, spare, n);
    kernels().modulate_blend(texels, color, row, n, pad);
}

// --- sampler choice

Sampler choose_sampler(const Stage& stage, double dudx, double dvdx, double dudy, double dvdy)
{
    Sampler sampler;
    const TextureView& view = *stage.texture;
    const double rho2 = std::max(dudx * dudx + dvdx * dvdx, dudy * dudy + dvdy * dvdy);
    uint32_t filter = stage.mag_filter;
    int level = 0;
    uint32_t weight = 0;
    if (rho2 > 1.0 && std::isfinite(rho2)) {
        filter = stage.min_filter;
        const double lambda = 0.5 * std::log2(rho2);
        const int last = static_cast<int>(view.level_count) - 1;
        if (stage.mip_filter == texture_filter::point) {
            level = static_cast<int>(std::min<double>(last, std::floor(lambda + 0.5)));
        } else if (stage.mip_filter != texture_filter::none) {
            const double base = std::floor(lambda);
            if (base >= last) {
                level = last;
            } else {
                level = static_cast<int>(base);
                weight = std::min(255u, static_cast<uint32_t>((lambda - base) * 256.0));
            }
        }
    }
    sampler.filter = filter == texture_filter::none || filter == texture_filter::point ? Filter::point : Filter::linear;
    auto make_level = [&](int index) {
        const LevelView& source = view.levels[static_cast<size_t>(index)];
        Level result;
        result.pixels = source.pixels;
        result.pitch = source.pitch;
        result.width = static_cast<int32_t>(source.width);
        result.height = static_cast<int32_t>(source.height);
        result.bytes = static_cast<int32_t>(bytes_per_pixel(view.format));
        return result;
    };
    sampler.level[0] = make_level(level);
    if (weight != 0) {
        sampler.level[1] = make_level(level + 1);
        sampler.mip_weight = weight;
    }
    return sampler;
}
} // namespace platform::gfx::raster::detail
