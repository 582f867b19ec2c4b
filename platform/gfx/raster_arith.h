#pragma once

// The channel arithmetic the rasterizer's pixel stage shares: bytes of packed colours,
// one at a time and sixteen at a time in the compiler's portable vector types, and the
// span loops over packed colours. Every operation is integer and rounds exactly.

#include "platform/gfx/raster_internal.h"
#include "platform/vector_clones.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform::gfx::raster::detail {

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


constexpr uint32_t kWhite = 0xFFFFFFFFu;

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


// --- span loops over packed colours, byte by byte

using Bytes = uint8_t;

inline void modulate(uint32_t* __restrict out, const uint32_t* __restrict a, const uint32_t* __restrict b, int n)
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
inline void modulate_by(uint32_t* __restrict out, const uint32_t* __restrict a, uint32_t color, int n)
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

inline void modulate2x(uint32_t* __restrict out, const uint32_t* __restrict a, const uint32_t* __restrict b, int n)
{
    auto* o = reinterpret_cast<Bytes*>(out);
    auto* x = reinterpret_cast<const Bytes*>(a);
    auto* y = reinterpret_cast<const Bytes*>(b);
    for (int k = 0; k < 4 * n; ++k)
        o[k] = static_cast<Bytes>(op_modulate2x(x[k], y[k]));
}

inline void lerp(uint32_t* __restrict out, const uint32_t* __restrict f, const uint32_t* __restrict a,
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

inline void multiply_add(uint32_t* __restrict out, const uint32_t* __restrict a0, const uint32_t* __restrict a1,
                  const uint32_t* __restrict a2, int n)
{
    auto* o = reinterpret_cast<Bytes*>(out);
    auto* x = reinterpret_cast<const Bytes*>(a0);
    auto* y = reinterpret_cast<const Bytes*>(a1);
    auto* z = reinterpret_cast<const Bytes*>(a2);
    for (int k = 0; k < 4 * n; ++k)
        o[k] = static_cast<Bytes>(op_multiply_add(x[k], y[k], z[k]));
}

inline void complement(uint32_t* __restrict out, const uint32_t* __restrict a, int n)
{
    for (int k = 0; k < n; ++k)
        out[k] = ~a[k];
}

inline void replicate_alpha(uint32_t* __restrict out, const uint32_t* __restrict a, int n)
{
    for (int k = 0; k < n; ++k)
        out[k] = (a[k] >> 24) * 0x01010101u;
}

inline void merge_alpha(uint32_t* __restrict out, const uint32_t* __restrict rgb, const uint32_t* __restrict alpha, int n)
{
    for (int k = 0; k < n; ++k)
        out[k] = (rgb[k] & 0x00FFFFFFu) | (alpha[k] & 0xFF000000u);
}

inline void fill(uint32_t* out, uint32_t value, int n)
{
    for (int k = 0; k < n; ++k)
        out[k] = value;
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

// (a·(256 − f) + b·f) >> 8 in every 16-bit lane, as lerp_lanes does per channel.
[[gnu::always_inline]] inline simd::u16x8 lerp16(simd::u16x8 a, simd::u16x8 b, simd::u16x8 f)
{
    return (a * (256 - f) + b * f) >> 8;
}
[[gnu::always_inline]] inline simd::u16x16 lerp16(simd::u16x16 a, simd::u16x16 b, simd::u16x16 f)
{
    return (a * (256 - f) + b * f) >> 8;
}

// Fixed point 32.32 to 16.16, rounded.
inline int64_t to_16(int64_t value) { return (value + 32768) >> 16; }

// --- texture × constant colour, blended by its alpha

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

inline ModulateBlend modulate_blend_sink(uint32_t color, uint8_t* row, int n, uint32_t pad)
{
    ModulateBlend sink;
    for (int i = 0; i < 16; ++i)
        sink.color[i] = static_cast<uint16_t>(color >> (8 * (i % 4)) & 0xFFu);
    sink.pads = simd::pad_vector(pad);
    sink.row = row;
    sink.n = n;
    return sink;
}

} // namespace platform::gfx::raster::detail
