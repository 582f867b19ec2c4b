// The pixel stage of the rasterizer: for a run of pixels of one row it interpolates,
// tests depth, samples the textures, runs the texture stages, tests alpha, blends and
// writes. Each step is a loop over a short array, plain where the compiler vectorises
// it by itself and in the compiler's portable vector types where byte shuffles are
// needed (blending, bilinear filtering). Colours are packed ARGB words (bytes B, G, R,
// A in memory); every channel operation is integer and rounds exactly, so white is an
// identity, opaque blending copies, and every path gives the same bits on any machine.

#include "platform/gfx/raster_internal.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform::gfx::raster::detail {
namespace {

using Word = uint32_t __attribute__((may_alias));

// Sixteen bytes at a time, in the compiler's portable vector types.
namespace simd {
using u8x16 = uint8_t __attribute__((vector_size(16)));
using u16x8 = uint16_t __attribute__((vector_size(16)));
using u32x4 = uint32_t __attribute__((vector_size(16)));

inline u8x16 load(const void* p)
{
    u8x16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store(void* p, u8x16 v) { std::memcpy(p, &v, sizeof v); }
// Bytes 0-7 (8-15) widened to 16 bits by interleaving them with zeros.
inline u16x8 low(u8x16 v)
{
    const u8x16 zero{};
    return reinterpret_cast<u16x8>(
        __builtin_shufflevector(v, zero, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23));
}
inline u16x8 high(u8x16 v)
{
    const u8x16 zero{};
    return reinterpret_cast<u16x8>(
        __builtin_shufflevector(v, zero, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31));
}
// The low bytes of sixteen 16-bit lanes (all below 256).
inline u8x16 pack(u16x8 a, u16x8 b)
{
    return __builtin_shufflevector(reinterpret_cast<u8x16>(a), reinterpret_cast<u8x16>(b), 0, 2, 4, 6, 8, 10, 12, 14,
                                   16, 18, 20, 22, 24, 26, 28, 30);
}
// Each pixel's alpha in all four of its channels.
inline u16x8 alphas(u16x8 v) { return __builtin_shufflevector(v, v, 3, 3, 3, 3, 7, 7, 7, 7); }
// t/255 rounded for t ≤ 255·255: (x + (x >> 8)) >> 8 with x = t + 128, which over that
// range is (x·257) >> 16, one multiply keeping the high half where the machine has it.
inline u16x8 div255(u16x8 t)
{
    t += 128;
#if defined(__SSE2__)
    return reinterpret_cast<u16x8>(_mm_mulhi_epu16(reinterpret_cast<__m128i>(t), _mm_set1_epi16(257)));
#else
    return (t + (t >> 8)) >> 8;
#endif
}
// Only helpers that are always inlined take and return these: no call between
// differently built code passes them.
#pragma GCC diagnostic ignored "-Wpsabi"
// Four pixels' channels as sixteen 16-bit lanes: one instruction each where the
// machine has 32-byte vectors (the wide functions are also built for those).
using u16x16 = uint16_t __attribute__((vector_size(32)));
[[gnu::always_inline]] inline u16x16 widen(u8x16 v) { return __builtin_convertvector(v, u16x16); }
[[gnu::always_inline]] inline u8x16 narrow(u16x16 v) { return __builtin_convertvector(v, u8x16); }
[[gnu::always_inline]] inline u16x16 widen(u32x4 v) { return widen(reinterpret_cast<u8x16>(v)); }
[[gnu::always_inline]] inline u16x16 alphas(u16x16 v)
{
    return __builtin_shufflevector(v, v, 3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15);
}
[[gnu::always_inline]] inline u16x16 div255(u16x16 t)
{
    t += 128;
    return (t + (t >> 8)) >> 8;
}
// Four 32-bit values, each in the four 16-bit lanes of its pixel (all below 65536).
[[gnu::always_inline]] inline u16x16 spread4(u32x4 w)
{
    const u16x8 h = reinterpret_cast<u16x8>(w);
    return __builtin_shufflevector(h, h, 0, 0, 0, 0, 2, 2, 2, 2, 4, 4, 4, 4, 6, 6, 6, 6);
}
inline u8x16 pad_vector(uint32_t pad)
{
    u8x16 v;
    for (int i = 0; i < 16; ++i)
        v[i] = static_cast<uint8_t>(pad >> (8 * (i % 4)));
    return v;
}
} // namespace simd

// Built twice where the compiler can: for machines with 32-byte vectors and for all.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define QUILLO_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define QUILLO_WIDE_VECTORS
#endif

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr int kTemps = 24;

// --- channel arithmetic (bytes; exact rounding)

// a·b/255, rounded.
inline uint32_t mul255(uint32_t a, uint32_t b)
{
    const uint32_t t = a * b + 128u;
    return (t + (t >> 8)) >> 8;
}

// t/255 rounded for t ≤ 255·255; larger values stay above 255.
inline uint32_t div255(uint32_t t)
{
    t += 128u;
    return (t + (t >> 8)) >> 8;
}

inline uint32_t channel(uint32_t color, int index) { return (color >> (8 * index)) & 0xFFu; }

template <typename F>
uint32_t per_channel(F f)
{
    uint32_t result = 0;
    for (int i = 0; i < 4; ++i)
        result |= (f(i) & 0xFFu) << (8 * i);
    return result;
}

inline uint32_t op_modulate(uint32_t a, uint32_t b) { return mul255(a, b); }
inline uint32_t op_modulate2x(uint32_t a, uint32_t b) { return std::min(255u, 2u * mul255(a, b)); }
inline uint32_t op_lerp(uint32_t f, uint32_t a, uint32_t b) { return div255(f * a + (255u - f) * b); }
inline uint32_t op_multiply_add(uint32_t a0, uint32_t a1, uint32_t a2) { return std::min(255u, a0 + mul255(a1, a2)); }

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

// Four 16-bit lanes (B, R, G, A) so that two channels share one multiply.
constexpr uint64_t kLaneMask = 0x00FF00FF00FF00FFull;
inline uint64_t spread(uint32_t c) { return (c & 0x00FF00FFu) | (static_cast<uint64_t>(c & 0xFF00FF00u) << 24); }
inline uint32_t gather(uint64_t x)
{
    return static_cast<uint32_t>(x & 0x00FF00FFu) | static_cast<uint32_t>((x >> 24) & 0xFF00FF00u);
}
inline uint64_t lerp_lanes(uint64_t a, uint64_t b, uint32_t f)
{
    return ((a * (256u - f) + b * f) >> 8) & kLaneMask;
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

// (a·(256 − f) + b·f) >> 8 in every 16-bit lane, as lerp_lanes does per channel.
inline simd::u16x8 lerp16(simd::u16x8 a, simd::u16x8 b, simd::u16x8 f) { return (a * (256 - f) + b * f) >> 8; }

// Textures decoded texel by texel: the four texels around each sample, their weights
// (0..255, repeated in the four 16-bit lanes of the pixel's word), and the filtered
// colours.
struct Quads {
    alignas(16) uint32_t c00[kChunk], c10[kChunk], c01[kChunk], c11[kChunk];
    alignas(16) uint64_t fx[kChunk], fy[kChunk];
    alignas(16) uint32_t result[kChunk];
};

inline uint64_t spread_weight(uint32_t w) { return w * 0x0001000100010001ull; }

// Filters entries [0, n) of the quads; entries up to the next multiple of four are
// filled with zeros first and computed too.
[[gnu::always_inline]] inline simd::u16x16 lerp16(simd::u16x16 a, simd::u16x16 b, simd::u16x16 f) { return (a * (256 - f) + b * f) >> 8; }

QUILLO_WIDE_VECTORS
void bilerp_span(Quads& q, int n)
{
    for (int k = n; k < ((n + 3) & ~3); ++k) {
        q.c00[k] = q.c10[k] = q.c01[k] = q.c11[k] = 0;
        q.fx[k] = q.fy[k] = 0;
    }
    for (int p = 0; p < n; p += 4) {
        const simd::u16x16 c00 = simd::widen(simd::load(q.c00 + p)), c10 = simd::widen(simd::load(q.c10 + p));
        const simd::u16x16 c01 = simd::widen(simd::load(q.c01 + p)), c11 = simd::widen(simd::load(q.c11 + p));
        simd::u16x16 fx, fy;
        std::memcpy(&fx, q.fx + p, 32);
        std::memcpy(&fy, q.fy + p, 32);
        simd::store(q.result + p, simd::narrow(lerp16(lerp16(c00, c10, fx), lerp16(c01, c11, fx), fy)));
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

QUILLO_WIDE_VECTORS
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
        bilerp_span(q, n);
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
inline int64_t to_16(int64_t value) { return (value + 32768) >> 16; }

void blend_levels(const Sampler& sampler, uint32_t* out, const uint32_t* spare, int n)
{
    const uint32_t f = sampler.mip_weight;
    const simd::u16x8 weight = simd::u16x8{} + static_cast<uint16_t>(f);
    int p = 0;
    for (; p + 4 <= n; p += 4) {
        const simd::u8x16 a = simd::load(out + p), b = simd::load(spare + p);
        simd::store(out + p, simd::pack(lerp16(simd::low(a), simd::low(b), weight),
                                        lerp16(simd::high(a), simd::high(b), weight)));
    }
    for (; p < n; ++p)
        out[p] = gather(lerp_lanes(spread(out[p]), spread(spare[p]), f));
}

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
        blend_levels(sampler, out, spare, n);
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
        blend_levels(sampler, out, spare, 1);
}

// --- span loops over packed colours, byte by byte

using Bytes = uint8_t;

void modulate(uint32_t* __restrict out, const uint32_t* __restrict a, const uint32_t* __restrict b, int n)
{
    auto* o = reinterpret_cast<Bytes*>(out);
    auto* x = reinterpret_cast<const Bytes*>(a);
    auto* y = reinterpret_cast<const Bytes*>(b);
    for (int k = 0; k < 4 * n; ++k) {
        const uint16_t t = static_cast<uint16_t>(x[k] * y[k] + 128);
        o[k] = static_cast<Bytes>((t + (t >> 8)) >> 8);
    }
}

// A run times one colour. With white colour channels only alpha changes (a·255/255
// is a), which is most of what sprites with a transparency ask for.
void modulate_by(uint32_t* __restrict out, const uint32_t* __restrict a, uint32_t color, int n)
{
    if ((color & 0x00FFFFFFu) == 0x00FFFFFFu) {
        const uint32_t alpha = color >> 24;
        for (int k = 0; k < n; ++k)
            out[k] = (a[k] & 0x00FFFFFFu) | mul255(a[k] >> 24, alpha) << 24;
        return;
    }
    alignas(16) Bytes c[16];
    for (int i = 0; i < 16; ++i)
        c[i] = static_cast<Bytes>(color >> (8 * (i % 4)));
    auto* o = reinterpret_cast<Bytes*>(out);
    auto* x = reinterpret_cast<const Bytes*>(a);
    const int whole = 4 * (n & ~3);
    for (int k = 0; k < whole; k += 16) {
        for (int i = 0; i < 16; ++i) {
            const uint16_t t = static_cast<uint16_t>(x[k + i] * c[i] + 128);
            o[k + i] = static_cast<Bytes>((t + (t >> 8)) >> 8);
        }
    }
    for (int k = whole; k < 4 * n; ++k)
        o[k] = static_cast<Bytes>(mul255(x[k], c[k % 4]));
}

void modulate2x(uint32_t* __restrict out, const uint32_t* __restrict a, const uint32_t* __restrict b, int n)
{
    auto* o = reinterpret_cast<Bytes*>(out);
    auto* x = reinterpret_cast<const Bytes*>(a);
    auto* y = reinterpret_cast<const Bytes*>(b);
    for (int k = 0; k < 4 * n; ++k)
        o[k] = static_cast<Bytes>(op_modulate2x(x[k], y[k]));
}

void lerp(uint32_t* __restrict out, const uint32_t* __restrict f, const uint32_t* __restrict a,
          const uint32_t* __restrict b, int n)
{
    auto* o = reinterpret_cast<Bytes*>(out);
    auto* w = reinterpret_cast<const Bytes*>(f);
    auto* x = reinterpret_cast<const Bytes*>(a);
    auto* y = reinterpret_cast<const Bytes*>(b);
    for (int k = 0; k < 4 * n; ++k) {
        const uint16_t t = static_cast<uint16_t>(w[k] * x[k] + (255 - w[k]) * y[k] + 128);
        o[k] = static_cast<Bytes>((t + (t >> 8)) >> 8);
    }
}

void multiply_add(uint32_t* __restrict out, const uint32_t* __restrict a0, const uint32_t* __restrict a1,
                  const uint32_t* __restrict a2, int n)
{
    auto* o = reinterpret_cast<Bytes*>(out);
    auto* x = reinterpret_cast<const Bytes*>(a0);
    auto* y = reinterpret_cast<const Bytes*>(a1);
    auto* z = reinterpret_cast<const Bytes*>(a2);
    for (int k = 0; k < 4 * n; ++k)
        o[k] = static_cast<Bytes>(op_multiply_add(x[k], y[k], z[k]));
}

void complement(uint32_t* __restrict out, const uint32_t* __restrict a, int n)
{
    for (int k = 0; k < n; ++k)
        out[k] = ~a[k];
}

void replicate_alpha(uint32_t* __restrict out, const uint32_t* __restrict a, int n)
{
    for (int k = 0; k < n; ++k)
        out[k] = (a[k] >> 24) * 0x01010101u;
}

void merge_alpha(uint32_t* __restrict out, const uint32_t* __restrict rgb, const uint32_t* __restrict alpha, int n)
{
    for (int k = 0; k < n; ++k)
        out[k] = (rgb[k] & 0x00FFFFFFu) | (alpha[k] & 0xFF000000u);
}

void fill(uint32_t* out, uint32_t value, int n)
{
    for (int k = 0; k < n; ++k)
        out[k] = value;
}

// --- tests

// Depth values of a run: given one by one, or computed from the first and the step
// (kept inside the viewport's range) when nothing stores them.
struct Ramp {
    float z0, dz, low, high;
};

inline float depth_at(const float* z, int k) { return z[k]; }
inline float depth_at(const Ramp& r, int k) { return std::clamp(r.z0 + r.dz * static_cast<float>(k), r.low, r.high); }

template <typename Source, typename Compare>
int test_depth(const Source& z, const float* __restrict stored, uint32_t* __restrict mask, int n, Compare compare)
{
    int pass = 0;
    for (int k = 0; k < n; ++k) {
        const int32_t m = compare(depth_at(z, k), stored[k]) ? -1 : 0;
        mask[k] = static_cast<uint32_t>(m);
        pass -= m;
    }
    return pass;
}

template <typename T>
bool passes(uint32_t func, T value, T reference)
{
    switch (func) {
    case compare::never: return false;
    case compare::less: return value < reference;
    case compare::equal: return value == reference;
    case compare::less_equal: return value <= reference;
    case compare::greater: return value > reference;
    case compare::not_equal: return value != reference;
    case compare::greater_equal: return value >= reference;
    default: return true;
    }
}

template <typename Source>
int depth_test(uint32_t func, const Source& z, const float* stored, uint32_t* mask, int n)
{
    switch (func) {
    case compare::never: return test_depth(z, stored, mask, n, [](float, float) { return false; });
    case compare::less: return test_depth(z, stored, mask, n, [](float a, float b) { return a < b; });
    case compare::equal: return test_depth(z, stored, mask, n, [](float a, float b) { return a == b; });
    case compare::less_equal: return test_depth(z, stored, mask, n, [](float a, float b) { return a <= b; });
    case compare::greater: return test_depth(z, stored, mask, n, [](float a, float b) { return a > b; });
    case compare::not_equal: return test_depth(z, stored, mask, n, [](float a, float b) { return a != b; });
    case compare::greater_equal: return test_depth(z, stored, mask, n, [](float a, float b) { return a >= b; });
    default: return test_depth(z, stored, mask, n, [](float, float) { return true; });
    }
}

int alpha_test(uint32_t func, uint32_t reference, const uint32_t* color, uint32_t* mask, int n)
{
    int pass = 0;
    for (int k = 0; k < n; ++k) {
        const bool m = mask[k] != 0 && passes(func, color[k] >> 24, reference);
        mask[k] = m ? 0xFFFFFFFFu : 0u;
        pass += m ? 1 : 0;
    }
    return pass;
}

// --- blending: result = source × source factor + destination × destination factor.
// The three blends the engine uses, over 32-bit pixels (bytes B, G, R, A); `out` may
// be `dst` itself. `pad` is ORed into every result (the unused byte of X8R8G8B8).

QUILLO_WIDE_VECTORS
void blend_src_alpha(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad)
{
    auto* s = reinterpret_cast<const Bytes*>(src);
    const simd::u8x16 pads = simd::pad_vector(pad);
    int p = 0;
    for (; p + 4 <= n; p += 4) {
        const simd::u16x16 sv = simd::widen(simd::load(s + 4 * p));
        const simd::u16x16 dv = simd::widen(simd::load(dst + 4 * p));
        const simd::u16x16 a = simd::alphas(sv);
        simd::store(out + 4 * p, simd::narrow(simd::div255(sv * a + dv * (255 - a))) | pads);
    }
    for (; p < n; ++p) {
        const uint32_t a = s[4 * p + 3];
        uint32_t word = 0;
        for (int c = 0; c < 4; ++c)
            word |= div255(s[4 * p + c] * a + dst[4 * p + c] * (255 - a)) << (8 * c);
        word |= pad;
        std::memcpy(out + 4 * p, &word, 4);
    }
}

// --- texture × constant colour, blended by its alpha: the stages and the blend of
// most sprites in one pass, with the arithmetic of modulate_by and blend_src_alpha.

// Colours (one channel in each 16-bit lane) times one colour, blended over pixels
// [p, p + 4) of a 32-bit row, only those below n.
struct ModulateBlend {
    simd::u16x16 color;
    simd::u8x16 pads;
    uint8_t* row;
    int n;
    [[gnu::always_inline]] void operator()(int p, simd::u16x16 source) const
    {
        const simd::u16x16 s = simd::div255(source * color);
        const simd::u16x16 a = simd::alphas(s);
        uint8_t* at = row + 4 * p;
        if (p + 4 <= n) {
            const simd::u16x16 d = simd::widen(simd::load(at));
            simd::store(at, simd::narrow(simd::div255(s * a + d * (255 - a))) | pads);
            return;
        }
        const size_t bytes = static_cast<size_t>(n - p) * 4;
        simd::u8x16 d{};
        std::memcpy(&d, at, bytes);
        const simd::u8x16 result = simd::narrow(simd::div255(s * a + simd::widen(d) * (255 - a))) | pads;
        std::memcpy(at, &result, bytes);
    }
};

ModulateBlend modulate_blend_sink(uint32_t color, uint8_t* row, int n, uint32_t pad)
{
    ModulateBlend sink;
    for (int i = 0; i < 16; ++i)
        sink.color[i] = static_cast<uint16_t>(color >> (8 * (i % 4)) & 0xFFu);
    sink.pads = simd::pad_vector(pad);
    sink.row = row;
    sink.n = n;
    return sink;
}

QUILLO_WIDE_VECTORS
void modulate_blend(const uint32_t* src, uint32_t color, uint8_t* row, int n, uint32_t pad)
{
    const ModulateBlend sink = modulate_blend_sink(color, row, n, pad);
    int p = 0;
    for (; p + 4 <= n; p += 4)
        sink(p, simd::widen(simd::load(src + p)));
    if (p < n) {
        simd::u8x16 v{};
        std::memcpy(&v, src + p, static_cast<size_t>(n - p) * 4);
        sink(p, simd::widen(v));
    }
}

QUILLO_WIDE_VECTORS
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
    modulate_blend(texels, color, row, n, pad);
}

void blend_add(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad)
{
    auto* s = reinterpret_cast<const Bytes*>(src);
    const simd::u8x16 pads = simd::pad_vector(pad);
    int p = 0;
    for (; p + 4 <= n; p += 4) {
        const simd::u8x16 sv = simd::load(s + 4 * p);
        const simd::u8x16 sum = sv + simd::load(dst + 4 * p);
        // A byte that wrapped is below the source: saturate it.
        simd::store(out + 4 * p, sum | reinterpret_cast<simd::u8x16>(sum < sv) | pads);
    }
    for (; p < n; ++p) {
        uint32_t word = 0;
        for (int c = 0; c < 4; ++c)
            word |= std::min(255u, static_cast<uint32_t>(s[4 * p + c]) + dst[4 * p + c]) << (8 * c);
        word |= pad;
        std::memcpy(out + 4 * p, &word, 4);
    }
}

void blend_add_src_alpha(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad)
{
    auto* s = reinterpret_cast<const Bytes*>(src);
    const simd::u8x16 pads = simd::pad_vector(pad);
    int p = 0;
    for (; p + 4 <= n; p += 4) {
        const simd::u8x16 sv = simd::load(s + 4 * p);
        const simd::u8x16 dv = simd::load(dst + 4 * p);
        const simd::u16x8 sl = simd::low(sv), sh = simd::high(sv);
        simd::u16x8 rl = simd::div255(sl * simd::alphas(sl)) + simd::low(dv);
        simd::u16x8 rh = simd::div255(sh * simd::alphas(sh)) + simd::high(dv);
        rl = rl > 255 ? 255 : rl;
        rh = rh > 255 ? 255 : rh;
        simd::store(out + 4 * p, simd::pack(rl, rh) | pads);
    }
    for (; p < n; ++p) {
        const uint32_t a = s[4 * p + 3];
        uint32_t word = 0;
        for (int c = 0; c < 4; ++c)
            word |= std::min(255u, dst[4 * p + c] + mul255(s[4 * p + c], a)) << (8 * c);
        word |= pad;
        std::memcpy(out + 4 * p, &word, 4);
    }
}

uint32_t blend_factor(uint32_t factor, uint32_t s, uint32_t d, int c, bool source)
{
    const uint32_t sa = channel(s, 3);
    const uint32_t da = channel(d, 3);
    switch (factor) {
    case blend::zero: return 0;
    case blend::one: return 255;
    case blend::src_color: return channel(s, c);
    case blend::inv_src_color: return 255 - channel(s, c);
    case blend::src_alpha: return sa;
    case blend::inv_src_alpha: return 255 - sa;
    case blend::dest_alpha: return da;
    case blend::inv_dest_alpha: return 255 - da;
    case blend::dest_color: return channel(d, c);
    case blend::inv_dest_color: return 255 - channel(d, c);
    case blend::src_alpha_saturated: return c == 3 ? 255 : std::min(sa, 255 - da);
    case blend::both_src_alpha: return source ? sa : 255 - sa;
    case blend::both_inv_src_alpha: return source ? 255 - sa : sa;
    default: return source ? 255 : 0;
    }
}

void blend_generic(const PixelState& state, uint32_t* out, const uint32_t* src, const uint32_t* dst, int n)
{
    for (int k = 0; k < n; ++k) {
        const uint32_t s = src[k];
        const uint32_t d = dst[k];
        out[k] = per_channel([&](int c) {
            const uint32_t x = channel(s, c) * blend_factor(state.src_blend, s, d, c, true);
            const uint32_t y = channel(d, c) * blend_factor(state.dest_blend, s, d, c, false);
            switch (state.blend_op) {
            case blend_op::subtract: return x > y ? div255(x - y) : 0u;
            case blend_op::reverse_subtract: return y > x ? div255(y - x) : 0u;
            case blend_op::minimum: return std::min(channel(s, c), channel(d, c));
            case blend_op::maximum: return std::max(channel(s, c), channel(d, c));
            default: return std::min(255u, div255(x + y));
            }
        });
    }
}

} // namespace

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

// --- the span shader

struct SpanShader::Scratch {
    alignas(64) float z[kChunk];
    alignas(64) uint32_t mask[kChunk]; // all ones where the pixel is still drawn
    alignas(64) uint32_t texture[max_texture_stages][kChunk];
    alignas(64) uint32_t diffuse[kChunk];
    alignas(64) uint32_t spare[kChunk];
    alignas(64) uint32_t destination[kChunk];
    alignas(64) uint32_t result[kChunk];
    alignas(64) uint32_t temps[kTemps][kChunk];
    // Multisampled targets: the coverage of each pixel (a bit per sample), and per
    // sample the depth, the colour, whether it is written, the target's value and the
    // blended result.
    alignas(64) uint32_t coverage[kChunk];
    alignas(64) float sample_z[kChunk * 4];
    alignas(64) uint32_t sample_color[kChunk * 4];
    alignas(64) uint32_t sample_mask[kChunk * 4];
    alignas(64) uint32_t sample_destination[kChunk * 4];
    alignas(64) uint32_t sample_out[kChunk * 4];
    int next_temp = 0;
};

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

namespace {

class Combiner {
public:
    Combiner(const PixelState& state, uint32_t (*temps)[kChunk], int n) : state_(state), temps_(temps), n_(n) {}

    Value run(Value diffuse, const Value* textures)
    {
        Value current = diffuse;
        for (uint32_t i = 0; i < state_.stage_count; ++i) {
            const Stage& stage = state_.stages[i];
            protected_ = current.pixels;
            Value color = evaluate(stage.color_op, stage.color_arg, current, diffuse, textures[i], stage);
            Value alpha = color;
            if (!same_operation(stage))
                alpha = evaluate(stage.alpha_op, stage.alpha_arg, current, diffuse, textures[i], stage);
            current = merge(color, alpha);
        }
        return current;
    }

private:
    static uint32_t used_arguments(uint32_t op)
    {
        switch (op) {
        case texture_op::select_arg1: return 0b010;
        case texture_op::select_arg2: return 0b100;
        case texture_op::lerp:
        case texture_op::multiply_add: return 0b111;
        default: return 0b110;
        }
    }

    static bool same_operation(const Stage& stage)
    {
        if (stage.color_op != stage.alpha_op)
            return false;
        const uint32_t used = used_arguments(stage.color_op);
        for (int i = 0; i < 3; ++i) {
            // Alpha replication changes nothing in the alpha channel.
            if ((used >> i & 1u) && (stage.color_arg[i] & ~0x20u) != (stage.alpha_arg[i] & ~0x20u))
                return false;
        }
        return true;
    }

    uint32_t* temp()
    {
        uint32_t* t = temps_[next_++ % kTemps];
        if (t == protected_)
            t = temps_[next_++ % kTemps];
        if (t == scaled_.out)
            scaled_ = {};
        return t;
    }

    const uint32_t* pixels(Value v)
    {
        if (v.varying())
            return v.pixels;
        uint32_t* t = temp();
        fill(t, v.color, n_);
        return t;
    }

    Value argument(uint32_t code, Value current, Value diffuse, Value texture, const Stage& stage)
    {
        Value v;
        switch (code & 0x0Fu) {
        case texture_arg::diffuse: v = diffuse; break;
        case texture_arg::current: v = current; break;
        case texture_arg::texture: v = texture; break;
        case texture_arg::texture_factor: v.color = state_.texture_factor; break;
        case texture_arg::constant: v.color = stage.constant; break;
        default: v.color = 0; break; // specular and temp hold black here
        }
        if (code & 0x20u) { // alpha replicate
            if (v.varying()) {
                uint32_t* t = temp();
                replicate_alpha(t, v.pixels, n_);
                v.pixels = t;
            } else {
                v.color = (v.color >> 24) * 0x01010101u;
            }
        }
        if (code & 0x10u) { // complement
            if (v.varying()) {
                uint32_t* t = temp();
                complement(t, v.pixels, n_);
                v.pixels = t;
            } else {
                v.color = ~v.color;
            }
        }
        return v;
    }

    Value evaluate(uint32_t op, const uint32_t* codes, Value current, Value diffuse, Value texture,
                   const Stage& stage)
    {
        Value a[3];
        const uint32_t used = used_arguments(op);
        for (int i = 0; i < 3; ++i) {
            if (used >> i & 1u)
                a[i] = argument(codes[i], current, diffuse, texture, stage);
        }
        switch (op) {
        case texture_op::select_arg1: return a[1];
        case texture_op::select_arg2: return a[2];
        case texture_op::modulate:
            if (!a[1].varying() && a[1].color == kWhite)
                return a[2];
            if (!a[2].varying() && a[2].color == kWhite)
                return a[1];
            if (a[1].varying() != a[2].varying()) {
                const Value& run = a[1].varying() ? a[1] : a[2];
                const uint32_t color = a[1].varying() ? a[2].color : a[1].color;
                Value result;
                uint32_t* out = temp();
                modulate_by(out, run.pixels, color, n_);
                scaled_ = {run.pixels, color, out};
                result.pixels = out;
                return result;
            }
            return binary(a[1], a[2], op_modulate, modulate);
        case texture_op::modulate_2x: return binary(a[1], a[2], op_modulate2x, modulate2x);
        case texture_op::lerp: return ternary(a[0], a[1], a[2], op_lerp, lerp);
        case texture_op::multiply_add: return ternary(a[0], a[1], a[2], op_multiply_add, multiply_add);
        case texture_op::blend_texture_alpha: {
            Value f;
            if (texture.varying()) {
                uint32_t* t = temp();
                replicate_alpha(t, texture.pixels, n_);
                f.pixels = t;
            } else {
                f.color = (texture.color >> 24) * 0x01010101u;
            }
            return ternary(f, a[1], a[2], op_lerp, lerp);
        }
        default: return current; // unknown operations leave the colour as it is
        }
    }

    template <typename Scalar, typename Span>
    Value binary(Value a, Value b, Scalar scalar, Span span)
    {
        Value result;
        if (!a.varying() && !b.varying()) {
            result.color = per_channel([&](int c) { return scalar(channel(a.color, c), channel(b.color, c)); });
            return result;
        }
        uint32_t* out = temp();
        span(out, pixels(a), pixels(b), n_);
        result.pixels = out;
        return result;
    }

    template <typename Scalar, typename Span>
    Value ternary(Value a, Value b, Value c, Scalar scalar, Span span)
    {
        Value result;
        if (!a.varying() && !b.varying() && !c.varying()) {
            result.color = per_channel(
                [&](int i) { return scalar(channel(a.color, i), channel(b.color, i), channel(c.color, i)); });
            return result;
        }
        const uint32_t* pa = pixels(a);
        const uint32_t* pb = pixels(b);
        const uint32_t* pc = pixels(c);
        uint32_t* out = temp();
        span(out, pa, pb, pc, n_);
        result.pixels = out;
        return result;
    }

    Value merge(Value color, Value alpha)
    {
        if (color == alpha)
            return color;
        Value result;
        if (!color.varying() && !alpha.varying()) {
            result.color = (color.color & 0x00FFFFFFu) | (alpha.color & 0xFF000000u);
            return result;
        }
        const uint32_t* pc = pixels(color);
        const uint32_t* pa = pixels(alpha);
        uint32_t* out = temp();
        merge_alpha(out, pc, pa, n_);
        result.pixels = out;
        return result;
    }

public:
    // The last run times one colour the stages made, while its result is unchanged.
    struct Scaled {
        const uint32_t* source = nullptr;
        uint32_t color = 0;
        const uint32_t* out = nullptr;
    };
    const Scaled& scaled() const { return scaled_; }

private:
    const PixelState& state_;
    uint32_t (*temps_)[kChunk];
    int n_;
    int next_ = 0;
    const uint32_t* protected_ = nullptr;
    Scaled scaled_;
};

// Reads destination pixels as colours; formats without alpha read as opaque.
void load_destination(const ColorView& view, const uint8_t* row, uint32_t* out, int n)
{
    switch (view.format) {
    case Format::a8r8g8b8: std::memcpy(out, row, static_cast<size_t>(n) * 4); break;
    case Format::x8r8g8b8: {
        const Word* p = reinterpret_cast<const Word*>(row);
        for (int k = 0; k < n; ++k)
            out[k] = p[k] | 0xFF000000u;
        break;
    }
    default: {
        const uint32_t bytes = bytes_per_pixel(view.format);
        for (int k = 0; k < n; ++k)
            out[k] = decode_color(view.format, row + static_cast<size_t>(k) * bytes);
        break;
    }
    }
}

void store(const ColorView& view, uint8_t* row, const uint32_t* color, const uint32_t* mask, int n)
{
    switch (view.format) {
    case Format::a8r8g8b8:
    case Format::x8r8g8b8: {
        const uint32_t pad = view.format == Format::x8r8g8b8 ? 0xFF000000u : 0u;
        Word* p = reinterpret_cast<Word*>(row);
        if (mask == nullptr) {
            for (int k = 0; k < n; ++k)
                p[k] = color[k] | pad;
        } else {
            for (int k = 0; k < n; ++k)
                p[k] = ((color[k] | pad) & mask[k]) | (p[k] & ~mask[k]);
        }
        break;
    }
    default: {
        const uint32_t bytes = bytes_per_pixel(view.format);
        for (int k = 0; k < n; ++k) {
            if (mask == nullptr || mask[k] != 0)
                encode_color(view.format, color[k], row + static_cast<size_t>(k) * bytes);
        }
        break;
    }
    }
}

} // namespace

namespace {

// One per thread, made on its first draw: a draw allocates nothing.
SpanShader::Scratch* thread_scratch()
{
    thread_local std::unique_ptr<SpanShader::Scratch> scratch;
    if (!scratch)
        scratch = std::make_unique<SpanShader::Scratch>();
    return scratch.get();
}

} // namespace

SpanShader::SpanShader(const PixelState& state) : state_(state), scratch_(thread_scratch()) {}

SpanShader::~SpanShader() = default;

void SpanShader::sources(const Triangle& triangle, Value& diffuse, Value* textures) const
{
    diffuse.color = triangle.diffuse;
    if (!triangle.constant_diffuse)
        diffuse.pixels = scratch_->diffuse;
    for (uint32_t i = 0; i < state_.stage_count; ++i) {
        textures[i].color = state_.stages[i].texture_color;
        if (state_.stages[i].varying)
            textures[i].pixels = scratch_->texture[i];
    }
}

void SpanShader::prepare(Triangle& triangle)
{
    // Run the stages over no pixels: the arrays they would touch tell whether any
    // per-pixel work remains.
    Scratch& s = *scratch_;
    Value diffuse;
    Value textures[max_texture_stages];
    sources(triangle, diffuse, textures);
    Combiner combiner(state_, s.temps, 0);
    const Value result = combiner.run(diffuse, textures);
    triangle.result = result.color;
    triangle.shortcut = Shortcut::stages;
    triangle.scaled = false;
    // A source as it is, or times one colour.
    const uint32_t* source = result.pixels;
    if (result.varying() && result.pixels == combiner.scaled().out) {
        source = combiner.scaled().source;
        triangle.result = combiner.scaled().color;
        triangle.scaled = true;
    }
    if (!result.varying()) {
        triangle.shortcut = Shortcut::result;
    } else if (source == s.diffuse) {
        triangle.shortcut = Shortcut::diffuse;
    } else {
        for (uint32_t i = 0; i < state_.stage_count; ++i) {
            if (source == s.texture[i])
                triangle.shortcut = texture_shortcut(i);
        }
    }
    if (triangle.shortcut == Shortcut::stages)
        triangle.scaled = false;
}

const uint32_t* SpanShader::colors(const Triangle& triangle, int y, int x, int n)
{
    const PixelState& st = state_;
    Scratch& s = *scratch_;
    const double row_y = y;
    // Sources: diffuse colour and the textures.
    if (triangle.affine) {
        const int64_t dx = x - triangle.ref_x;
        const int64_t dy = y - triangle.ref_y;
        if (!triangle.constant_diffuse
            && (triangle.shortcut == Shortcut::stages || triangle.shortcut == Shortcut::diffuse)) {
            auto* bytes = reinterpret_cast<uint8_t*>(s.diffuse);
            for (int c = 0; c < 4; ++c) {
                const FixedPlane& plane = triangle.color[c];
                int64_t value = to_16(plane.ref + dx * plane.dx + dy * plane.dy) + 32768;
                const int64_t step = to_16(plane.dx);
                const int order = c == 3 ? 3 : 2 - c; // attributes are R, G, B, A
                for (int k = 0; k < n; ++k) {
                    bytes[4 * k + order] = static_cast<uint8_t>(std::clamp<int64_t>(value >> 16, 0, 255));
                    value += step;
                }
            }
        }
        for (uint32_t i = 0; i < st.stage_count; ++i) {
            const Stage& stage = st.stages[i];
            const bool needed = triangle.shortcut == Shortcut::stages || triangle.shortcut == texture_shortcut(i);
            if (stage.varying && needed)
                sample_span(stage, triangle.samplers[i], dx, dy, s.texture[i], s.spare, n);
        }
    } else {
        for (int k = 0; k < n; ++k) {
            const double px = x + k;
            const double q = triangle.rhw.at(px, row_y);
            const double w = 1.0 / q;
            if (!triangle.constant_diffuse) {
                s.diffuse[k] = per_channel([&](int c) {
                    const int attribute = c == 3 ? 3 : 2 - c;
                    const double value = triangle.attributes[attribute].at(px, row_y) * w;
                    return static_cast<uint32_t>(std::clamp(std::lround(value), 0L, 255L));
                });
            }
            for (uint32_t i = 0; i < st.stage_count; ++i) {
                const Stage& stage = st.stages[i];
                if (!stage.varying)
                    continue;
                const Plane& pu = triangle.attributes[stage.slot];
                const Plane& pv = triangle.attributes[stage.slot + 1];
                const double u = pu.at(px, row_y) * w;
                const double v = pv.at(px, row_y) * w;
                // Derivatives of u = (u·q)/q, per pixel, in level-0 texels.
                const LevelView& top = stage.texture->levels[0];
                const double tw = top.width;
                const double th = top.height;
                const Sampler sampler = choose_sampler(stage, (pu.a - u * triangle.rhw.a) * w * tw,
                                                       (pv.a - v * triangle.rhw.a) * w * th,
                                                       (pu.b - u * triangle.rhw.b) * w * tw,
                                                       (pv.b - v * triangle.rhw.b) * w * th);
                sample_at(stage, sampler, u, v, s.texture[i] + k, s.spare);
            }
        }
    }

    const uint32_t* src = nullptr;
    if (triangle.scaled) {
        modulate_by(s.result,
                    triangle.shortcut == Shortcut::diffuse ? s.diffuse : s.texture[stage_of(triangle.shortcut)],
                    triangle.result, n);
        src = s.result;
    } else if (triangle.shortcut == Shortcut::diffuse && !triangle.constant_diffuse) {
        src = s.diffuse;
    } else if (is_texture(triangle.shortcut)) {
        src = s.texture[stage_of(triangle.shortcut)];
    } else {
        Value color;
        color.color = triangle.result;
        if (triangle.shortcut == Shortcut::stages) {
            Value diffuse;
            Value textures[max_texture_stages];
            sources(triangle, diffuse, textures);
            Combiner combiner(st, s.temps, n);
            color = combiner.run(diffuse, textures);
        } else if (triangle.shortcut == Shortcut::diffuse) {
            color.color = triangle.diffuse;
        }
        src = color.pixels;
        if (src == nullptr) {
            fill(s.result, color.color, n);
            src = s.result;
        }
    }
    return src;
}

namespace {

// An alpha test that no alpha fails.
bool alpha_test_passes_all(const PixelState& st)
{
    if (!st.alpha_test)
        return true;
    switch (st.alpha_func) {
    case compare::always: return true;
    case compare::greater_equal: return st.alpha_ref == 0;
    case compare::less_equal: return st.alpha_ref == 255;
    default: return false;
    }
}

} // namespace

void SpanShader::shade(const Triangle& triangle, int y, int x0, int x1)
{
    const PixelState& st = state_;
    Scratch& s = *scratch_;
    const double row_y = y;
    // A texture times one colour, blended by its alpha into a 32-bit target: sampled,
    // coloured and blended in one pass wherever every pixel of a run is drawn.
    const bool fused = triangle.affine && triangle.scaled && is_texture(triangle.shortcut) && st.has_color
                       && st.direct_write && st.blend_kind == BlendKind::alpha && alpha_test_passes_all(st);
    for (int x = x0; x < x1; x += kChunk) {
        const int n = std::min(kChunk, x1 - x);
        bool masked = false;

        // Depth, interpolated linearly in screen space and kept inside the viewport's range.
        const bool testing = st.depth_test && !triangle.skip_depth_test;
        const bool use_depth = st.has_depth && (testing || st.depth_write);
        float* stored = nullptr;
        if (use_depth) {
            stored = st.depth.depth + static_cast<size_t>(y) * st.depth.pitch + x;
            const float z0 = static_cast<float>(triangle.z.at(x, row_y));
            const float dz = static_cast<float>(triangle.z.a);
            if (st.depth_write) {
                for (int k = 0; k < n; ++k)
                    s.z[k] = std::clamp(z0 + dz * static_cast<float>(k), st.min_z, st.max_z);
            }
            if (testing) {
                const int pass = st.depth_write
                                     ? depth_test(st.depth_func, s.z, stored, s.mask, n)
                                     : depth_test(st.depth_func, Ramp{z0, dz, st.min_z, st.max_z}, stored, s.mask, n);
                if (pass == 0)
                    continue;
                masked = pass < n;
            }
        }

        if (fused && !masked) {
            if (st.has_depth && st.depth_write)
                std::memcpy(stored, s.z, static_cast<size_t>(n) * sizeof(float));
            const int i = stage_of(triangle.shortcut);
            uint8_t* row = st.color.pixels + static_cast<ptrdiff_t>(y) * st.color.pitch
                           + static_cast<ptrdiff_t>(x) * st.color_bytes;
            sample_modulate_blend(st.stages[i], triangle.samplers[i], x - triangle.ref_x, y - triangle.ref_y,
                                  triangle.result, row, st.color.format == Format::x8r8g8b8 ? 0xFF000000u : 0u,
                                  s.texture[i], s.spare, n);
            continue;
        }

        const uint32_t* src = colors(triangle, y, x, n);

        if (st.alpha_test) {
            if (!masked)
                fill(s.mask, 0xFFFFFFFFu, n);
            const int pass = alpha_test(st.alpha_func, st.alpha_ref, src, s.mask, n);
            if (pass == 0)
                continue;
            masked = pass < n;
        }

        if (st.has_depth && st.depth_write) {
            if (masked) {
                for (int k = 0; k < n; ++k)
                    stored[k] = s.mask[k] != 0 ? s.z[k] : stored[k];
            } else {
                std::memcpy(stored, s.z, static_cast<size_t>(n) * sizeof(float));
            }
        }

        if (!st.has_color || st.write_mask == 0)
            continue;
        uint8_t* row = st.color.pixels + static_cast<ptrdiff_t>(y) * st.color.pitch
                       + static_cast<ptrdiff_t>(x) * st.color_bytes;
        if (!masked && st.direct_write) {
            const uint32_t pad = st.color.format == Format::x8r8g8b8 ? 0xFF000000u : 0u;
            switch (st.blend_kind) {
            case BlendKind::alpha: blend_src_alpha(row, src, row, n, pad); break;
            case BlendKind::add: blend_add(row, src, row, n, pad); break;
            case BlendKind::add_alpha: blend_add_src_alpha(row, src, row, n, pad); break;
            default: {
                Word* p = reinterpret_cast<Word*>(row);
                for (int k = 0; k < n; ++k)
                    p[k] = src[k] | pad;
                break;
            }
            }
            continue;
        }
        const bool need_destination = st.blend || st.write_mask != 0xFFFFFFFFu;
        if (need_destination) {
            load_destination(st.color, row, s.destination, n);
            uint32_t* out = s.temps[0] == src ? s.temps[1] : s.temps[0];
            if (!st.blend) {
                std::memcpy(out, src, static_cast<size_t>(n) * 4);
            } else if (st.blend_kind == BlendKind::alpha) {
                blend_src_alpha(reinterpret_cast<uint8_t*>(out), src, reinterpret_cast<const uint8_t*>(s.destination),
                                n, 0);
            } else if (st.blend_kind == BlendKind::add) {
                blend_add(reinterpret_cast<uint8_t*>(out), src, reinterpret_cast<const uint8_t*>(s.destination), n, 0);
            } else if (st.blend_kind == BlendKind::add_alpha) {
                blend_add_src_alpha(reinterpret_cast<uint8_t*>(out), src,
                                    reinterpret_cast<const uint8_t*>(s.destination), n, 0);
            } else {
                blend_generic(st, out, src, s.destination, n);
            }
            if (st.write_mask != 0xFFFFFFFFu) {
                for (int k = 0; k < n; ++k)
                    out[k] = (out[k] & st.write_mask) | (s.destination[k] & ~st.write_mask);
            }
            src = out;
        }
        store(st.color, row, src, masked ? s.mask : nullptr, n);
    }
}

void SpanShader::shade_samples(const Triangle& triangle, int y, int x0, int x1, const int64_t (*spans)[2],
                               bool covered)
{
    const PixelState& st = state_;
    Scratch& s = *scratch_;
    const int samples = static_cast<int>(st.samples);
    for (int x = x0; x < x1; x += kChunk) {
        const int n = std::min(kChunk, x1 - x);
        const int count = n * samples;

        // Which samples the primitive covers: all ones where a sample is still drawn.
        fill(s.sample_mask, covered ? 0xFFFFFFFFu : 0u, count);
        for (int i = 0; i < samples && !covered; ++i) {
            if (!(st.sample_mask >> i & 1u))
                continue;
            const int64_t from = std::clamp<int64_t>(spans[i][0] - x, 0, n);
            const int64_t to = std::clamp<int64_t>(spans[i][1] - x, 0, n);
            for (int64_t k = from; k < to; ++k)
                s.sample_mask[k * samples + i] = 0xFFFFFFFFu;
        }

        // Depth at each sample's own position.
        const bool testing = st.depth_test && !triangle.skip_depth_test;
        const bool use_depth = st.has_depth && (testing || st.depth_write);
        float* stored = nullptr;
        if (use_depth) {
            stored = st.depth.depth + static_cast<size_t>(y) * st.depth.pitch + static_cast<size_t>(x) * samples;
            const float dz = static_cast<float>(triangle.z.a);
            for (int i = 0; i < samples; ++i) {
                const float z0 =
                    static_cast<float>(triangle.z.at(x + st.offset_x[i] / 256.0, y + st.offset_y[i] / 256.0));
                for (int k = 0; k < n; ++k)
                    s.sample_z[k * samples + i] = std::clamp(z0 + dz * static_cast<float>(k), st.min_z, st.max_z);
            }
            if (testing) {
                depth_test(st.depth_func, s.sample_z, stored, s.sample_out, count);
                for (int k = 0; k < count; ++k)
                    s.sample_mask[k] &= s.sample_out[k];
            }
        }
        uint32_t any = 0xFFFFFFFFu, every = 0xFFFFFFFFu;
        if (!covered || testing) {
            any = 0;
            for (int k = 0; k < count; ++k) {
                any |= s.sample_mask[k];
                every &= s.sample_mask[k];
            }
            if (any == 0)
                continue;
        }
        // One colour per pixel; the alpha test keeps or drops the whole pixel.
        const uint32_t* src = colors(triangle, y, x, n);
        if (st.alpha_test) {
            fill(s.mask, 0xFFFFFFFFu, n);
            if (alpha_test(st.alpha_func, st.alpha_ref, src, s.mask, n) == 0)
                continue;
            for (int k = 0; k < count; ++k)
                s.sample_mask[k] &= s.mask[k / samples];
            every = 0xFFFFFFFFu;
            for (int k = 0; k < count; ++k)
                every &= s.sample_mask[k];
        }
        const bool full = every != 0;

        if (st.has_depth && st.depth_write) {
            for (int k = 0; k < count; ++k)
                stored[k] = s.sample_mask[k] != 0 ? s.sample_z[k] : stored[k];
        }

        if (!st.has_color || st.write_mask == 0)
            continue;
        if (samples == 4) {
            for (int k = 0; k < n; ++k)
                s.sample_color[4 * k] = s.sample_color[4 * k + 1] = s.sample_color[4 * k + 2] =
                    s.sample_color[4 * k + 3] = src[k];
        } else {
            for (int k = 0; k < n; ++k)
                s.sample_color[2 * k] = s.sample_color[2 * k + 1] = src[k];
        }
        uint8_t* row = st.color.pixels + static_cast<ptrdiff_t>(y) * st.color.pitch
                       + static_cast<ptrdiff_t>(x) * samples * st.color_bytes;
        const uint32_t* out = s.sample_color;
        if (full && st.direct_write) {
            const uint32_t pad = st.color.format == Format::x8r8g8b8 ? 0xFF000000u : 0u;
            switch (st.blend_kind) {
            case BlendKind::alpha: blend_src_alpha(row, out, row, count, pad); break;
            case BlendKind::add: blend_add(row, out, row, count, pad); break;
            case BlendKind::add_alpha: blend_add_src_alpha(row, out, row, count, pad); break;
            default: {
                Word* p = reinterpret_cast<Word*>(row);
                for (int k = 0; k < count; ++k)
                    p[k] = out[k] | pad;
                break;
            }
            }
            continue;
        }
        if (st.blend || st.write_mask != 0xFFFFFFFFu) {
            uint32_t* destination = s.sample_destination;
            load_destination(st.color, row, destination, count);
            uint32_t* blended = s.sample_out;
            auto* bytes = reinterpret_cast<uint8_t*>(blended);
            const auto* under = reinterpret_cast<const uint8_t*>(destination);
            if (!st.blend)
                std::memcpy(blended, out, static_cast<size_t>(count) * 4);
            else if (st.blend_kind == BlendKind::alpha)
                blend_src_alpha(bytes, out, under, count, 0);
            else if (st.blend_kind == BlendKind::add)
                blend_add(bytes, out, under, count, 0);
            else if (st.blend_kind == BlendKind::add_alpha)
                blend_add_src_alpha(bytes, out, under, count, 0);
            else
                blend_generic(st, blended, out, destination, count);
            if (st.write_mask != 0xFFFFFFFFu) {
                for (int k = 0; k < count; ++k)
                    blended[k] = (blended[k] & st.write_mask) | (destination[k] & ~st.write_mask);
            }
            out = blended;
        }
        store(st.color, row, out, full ? nullptr : s.sample_mask, count);
    }
}

} // namespace platform::gfx::raster::detail
