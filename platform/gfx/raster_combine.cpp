// The rasterizer's combining: the texture stages run over runs of pixels, the blends of
// shaded colours with the target, and the reading and writing of target pixels.

#include "platform/gfx/raster_arith.h"
#include "platform/gfx/raster_kernels.h"
#include "platform/gfx/raster_pixels.h"

#include <algorithm>
#include <cstring>

namespace platform::gfx::raster::detail {

// --- blending: result = source × source factor + destination × destination factor.
// The three blends the engine uses, over 32-bit pixels (bytes B, G, R, A); `out` may
// be `dst` itself. `pad` is ORed into every result (the unused byte of X8R8G8B8).





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

} // namespace

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


Value combine_stages(const PixelState& state, uint32_t (*temps)[kChunk], int n, Value diffuse, const Value* textures,
                     ScaledRun* scaled)
{
    Combiner combiner(state, temps, n);
    const Value result = combiner.run(diffuse, textures);
    if (scaled != nullptr)
        *scaled = {combiner.scaled().source, combiner.scaled().color, combiner.scaled().out};
    return result;
}

} // namespace platform::gfx::raster::detail
