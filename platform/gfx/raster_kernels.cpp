// The vector kernels of the rasterizer's pixel stage, built once per clone, and their
// plain references channel by channel.

#include "platform/gfx/raster_kernels.h"

#include "platform/gfx/raster_arith.h"

#include <algorithm>
#include <cstring>

namespace platform::gfx::raster::detail {

namespace {

// The kernels' bodies, built into each clone.
namespace body {

using Bytes = uint8_t;

[[gnu::always_inline]] inline void blend_src_alpha(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad)
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

[[gnu::always_inline]] inline void blend_add(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad)
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

[[gnu::always_inline]] inline void blend_add_src_alpha(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad)
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

[[gnu::always_inline]] inline void modulate_blend(const uint32_t* src, uint32_t color, uint8_t* row, int n, uint32_t pad)
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

// Filters entries [0, n) of the quads; entries up to the next multiple of four are
// filled with zeros first and computed too.

[[gnu::always_inline]] inline void bilerp_span(Quads& q, int n)
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

[[gnu::always_inline]] inline void blend_levels(uint32_t f, uint32_t* out, const uint32_t* spare, int n)
{
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

} // namespace body

// --- the plain versions

uint32_t channel_of(uint32_t color, int c)
{
    return (color >> (8 * c)) & 0xFFu;
}

// t / 255 rounded to the nearest, halves up.
uint32_t rounded_255(uint32_t t)
{
    return (2 * t + 255) / 510;
}

uint32_t read_pixel(const uint8_t* p)
{
    uint32_t word;
    std::memcpy(&word, p, 4);
    return word;
}

void write_pixel(uint8_t* p, uint32_t word)
{
    std::memcpy(p, &word, 4);
}

template <typename F>
void blend_plain(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad, F channel)
{
    for (int k = 0; k < n; ++k) {
        const uint32_t s = src[k], d = read_pixel(dst + 4 * k);
        uint32_t word = 0;
        for (int c = 0; c < 4; ++c)
            word |= channel(channel_of(s, c), channel_of(d, c), channel_of(s, 3)) << (8 * c);
        write_pixel(out + 4 * k, word | pad);
    }
}

void plain_blend_src_alpha(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad)
{
    blend_plain(out, src, dst, n, pad,
                [](uint32_t s, uint32_t d, uint32_t a) { return rounded_255(s * a + d * (255 - a)); });
}

void plain_blend_add(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad)
{
    blend_plain(out, src, dst, n, pad, [](uint32_t s, uint32_t d, uint32_t) { return std::min(255u, s + d); });
}

void plain_blend_add_src_alpha(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad)
{
    blend_plain(out, src, dst, n, pad,
                [](uint32_t s, uint32_t d, uint32_t a) { return std::min(255u, rounded_255(s * a) + d); });
}

void plain_modulate_blend(const uint32_t* src, uint32_t color, uint8_t* row, int n, uint32_t pad)
{
    for (int k = 0; k < n; ++k) {
        uint32_t product = 0;
        for (int c = 0; c < 4; ++c)
            product |= rounded_255(channel_of(src[k], c) * channel_of(color, c)) << (8 * c);
        plain_blend_src_alpha(row + 4 * k, &product, row + 4 * k, 1, pad);
    }
}

uint32_t mix_256(uint32_t a, uint32_t b, uint32_t f)
{
    return (a * (256 - f) + b * f) >> 8;
}

void plain_bilerp_span(Quads& q, int n)
{
    for (int k = n; k < ((n + 3) & ~3); ++k) {
        q.c00[k] = q.c10[k] = q.c01[k] = q.c11[k] = 0;
        q.fx[k] = q.fy[k] = 0;
    }
    for (int k = 0; k < ((n + 3) & ~3); ++k) {
        const uint32_t fx = q.fx[k] & 0xFFFFu, fy = q.fy[k] & 0xFFFFu;
        uint32_t word = 0;
        for (int c = 0; c < 4; ++c) {
            const uint32_t top = mix_256(channel_of(q.c00[k], c), channel_of(q.c10[k], c), fx);
            const uint32_t bottom = mix_256(channel_of(q.c01[k], c), channel_of(q.c11[k], c), fx);
            word |= mix_256(top, bottom, fy) << (8 * c);
        }
        q.result[k] = word;
    }
}

void plain_blend_levels(uint32_t weight, uint32_t* out, const uint32_t* spare, int n)
{
    for (int k = 0; k < n; ++k) {
        uint32_t word = 0;
        for (int c = 0; c < 4; ++c)
            word |= mix_256(channel_of(out[k], c), channel_of(spare[k], c), weight) << (8 * c);
        out[k] = word;
    }
}

const Kernels kPlain = {"plain",           plain_blend_src_alpha, plain_blend_add, plain_blend_add_src_alpha,
                        plain_modulate_blend, plain_bilerp_span,  plain_blend_levels};

// One set of kernels built with `TARGET`.
#define QUILLO_RASTER_KERNELS(SET, TARGET, NAME)                                                                     \
    namespace SET {                                                                                                  \
    TARGET void blend_src_alpha(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad)          \
    {                                                                                                                \
        body::blend_src_alpha(out, src, dst, n, pad);                                                                \
    }                                                                                                                \
    TARGET void blend_add(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad)                \
    {                                                                                                                \
        body::blend_add(out, src, dst, n, pad);                                                                      \
    }                                                                                                                \
    TARGET void blend_add_src_alpha(uint8_t* out, const uint32_t* src, const uint8_t* dst, int n, uint32_t pad)      \
    {                                                                                                                \
        body::blend_add_src_alpha(out, src, dst, n, pad);                                                            \
    }                                                                                                                \
    TARGET void modulate_blend(const uint32_t* src, uint32_t color, uint8_t* row, int n, uint32_t pad)               \
    {                                                                                                                \
        body::modulate_blend(src, color, row, n, pad);                                                               \
    }                                                                                                                \
    TARGET void bilerp_span(Quads& q, int n)                                                                         \
    {                                                                                                                \
        body::bilerp_span(q, n);                                                                                     \
    }                                                                                                                \
    TARGET void blend_levels(uint32_t weight, uint32_t* out, const uint32_t* spare, int n)                           \
    {                                                                                                                \
        body::blend_levels(weight, out, spare, n);                                                                   \
    }                                                                                                                \
    const Kernels kernels = {NAME, blend_src_alpha, blend_add, blend_add_src_alpha, modulate_blend, bilerp_span, \
                             blend_levels};                                                                          \
    }

QUILLO_RASTER_KERNELS(every_processor, , "default")
#if QUILLO_HAS_VECTOR_CLONES
QUILLO_RASTER_KERNELS(wide, QUILLO_VECTOR_WIDE, "x86-64-v3")
#endif

} // namespace

const std::vector<const Kernels*>& runnable_kernels()
{
    static const std::vector<const Kernels*> sets = [] {
        std::vector<const Kernels*> runnable{&every_processor::kernels};
#if QUILLO_HAS_VECTOR_CLONES
        if (QUILLO_RUNS_VECTOR_WIDE())
            runnable.push_back(&wide::kernels);
#endif
        return runnable;
    }();
    return sets;
}

const Kernels& kernels()
{
    static const Kernels& chosen = *runnable_kernels().back();
    return chosen;
}

const Kernels& reference_kernels()
{
    return kPlain;
}

} // namespace platform::gfx::raster::detail
