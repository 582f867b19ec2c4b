// The rasterizer's span shader: for a run of pixels of one row it interpolates,
// tests depth, samples the textures, runs the texture stages, tests alpha, blends and
// writes. Each step is a loop over a short array, plain where the compiler vectorises
// it by itself and in the compiler's portable vector types where byte shuffles are
// needed (blending, bilinear filtering). Colours are packed ARGB words (bytes B, G, R,
// A in memory); every channel operation is integer and rounds exactly, so white is an
// identity, opaque blending copies, and every path gives the same bits on any machine.

#include "platform/gfx/raster_arith.h"
#include "platform/gfx/raster_pixels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace platform::gfx::raster::detail {

namespace {

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

} // namespace

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
    ScaledRun scaled;
    const Value result = combine_stages(state_, s.temps, 0, diffuse, textures, &scaled);
    triangle.result = result.color;
    triangle.shortcut = Shortcut::stages;
    triangle.scaled = false;
    // A source as it is, or times one colour.
    const uint32_t* source = result.pixels;
    if (result.varying() && result.pixels == scaled.out) {
        source = scaled.source;
        triangle.result = scaled.color;
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
            color = combine_stages(st, s.temps, n, diffuse, textures);
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