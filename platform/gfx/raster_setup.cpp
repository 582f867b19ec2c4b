// Per-draw set-up of the rasterizer: the device's default states, and what a draw's
// pixels need, worked out once from its states and targets when it is recorded (texture
// stages and their sampling, the tests, the blend, the scissor) along with how its
// vertices are transformed.

#include "platform/gfx/raster.h"

#include "platform/gfx/raster_draw.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace platform::gfx::raster {

using namespace detail;

namespace {

constexpr uint32_t float_word(float value)
{
    return std::bit_cast<uint32_t>(value);
}

} // namespace

RasterState::RasterState()
{
    // The device's defaults.
    const struct {
        RenderState state;
        uint32_t value;
    } defaults[] = {
        {RenderState::zenable, zbuffer_type::enabled},
        {RenderState::zwrite_enable, 1},
        {RenderState::src_blend, blend::one},
        {RenderState::dest_blend, blend::zero},
        {RenderState::cull_mode, cull::counter_clockwise},
        {RenderState::zfunc, compare::less_equal},
        {RenderState::alpha_func, compare::always},
        {RenderState::texture_factor, 0xFFFFFFFFu},
        {RenderState::lighting, 1},
        {RenderState::color_vertex, 1},
        {RenderState::diffuse_material_source, material_source::color1},
        {RenderState::specular_material_source, material_source::color2},
        {RenderState::ambient_material_source, material_source::material},
        {RenderState::emissive_material_source, material_source::material},
        {RenderState::point_size, float_word(1.0f)},
        {RenderState::multisample_antialias, 1},
        {RenderState::multisample_mask, 0xFFFFFFFFu},
        {RenderState::point_size_max, float_word(64.0f)},
        {RenderState::color_write_enable, 0xF}, // every channel
        {RenderState::blend_op, blend_op::add},
    };
    for (const auto& entry : defaults)
        (*this)[entry.state] = entry.value;
    for (uint32_t i = 0; i < max_texture_stages; ++i) {
        auto& stage = stage_states[i];
        stage[static_cast<uint32_t>(TextureStageState::color_op)] =
            i == 0 ? texture_op::modulate : texture_op::disable;
        stage[static_cast<uint32_t>(TextureStageState::color_arg1)] = texture_arg::texture;
        stage[static_cast<uint32_t>(TextureStageState::color_arg2)] = texture_arg::current;
        stage[static_cast<uint32_t>(TextureStageState::alpha_op)] =
            i == 0 ? texture_op::select_arg1 : texture_op::disable;
        stage[static_cast<uint32_t>(TextureStageState::alpha_arg1)] = texture_arg::texture;
        stage[static_cast<uint32_t>(TextureStageState::alpha_arg2)] = texture_arg::current;
        stage[static_cast<uint32_t>(TextureStageState::texcoord_index)] = i;
        stage[static_cast<uint32_t>(TextureStageState::color_arg0)] = texture_arg::current;
        stage[static_cast<uint32_t>(TextureStageState::alpha_arg0)] = texture_arg::current;
        stage[static_cast<uint32_t>(TextureStageState::result_arg)] = texture_arg::current;
        auto& sampler = sampler_states[i];
        sampler[static_cast<uint32_t>(SamplerState::address_u)] = texture_address::wrap;
        sampler[static_cast<uint32_t>(SamplerState::address_v)] = texture_address::wrap;
        sampler[static_cast<uint32_t>(SamplerState::address_w)] = texture_address::wrap;
        sampler[static_cast<uint32_t>(SamplerState::mag_filter)] = texture_filter::point;
        sampler[static_cast<uint32_t>(SamplerState::min_filter)] = texture_filter::point;
        sampler[static_cast<uint32_t>(SamplerState::mip_filter)] = texture_filter::none;
        sampler[static_cast<uint32_t>(SamplerState::max_anisotropy)] = 1;
    }
}

namespace {

// The standard patterns, in sixteenths of a pixel from the centre, y down.
constexpr SampleOffset kCentre[1] = {{0, 0}};
constexpr SampleOffset kTwoSamples[2] = {{4, 4}, {-4, -4}};
constexpr SampleOffset kFourSamples[4] = {{-2, -6}, {6, -2}, {-6, 2}, {2, 6}};

bool depth_passes(uint32_t func, float value, float reference)
{
    switch (func) {
    case compare::less: return value < reference;
    case compare::less_equal: return value <= reference;
    case compare::greater: return value > reference;
    case compare::greater_equal: return value >= reference;
    default: return false;
    }
}

} // namespace

const SampleOffset* sample_offsets(uint32_t samples)
{
    return samples == 4 ? kFourSamples : samples == 2 ? kTwoSamples : kCentre;
}

namespace detail {

namespace {

void setup_texture(const RasterState& state, uint32_t index, Stage& stage);

void setup_pixels(DrawSetup& d, const RasterState& state, const Targets& targets)
{
    const RasterState& s = state;
    const Viewport& vp = s.viewport;
    PixelState& p = d.pixel;

    const ColorView& color = targets.color;
    const uint32_t bytes = bytes_per_pixel(color.format);
    p.has_color = color.pixels != nullptr && is_color_format(color.format) && color.width > 0
                  && color.height > 0 && valid_samples(color.samples)
                  && std::abs(static_cast<int64_t>(color.pitch)) >= int64_t{color.width} * color.samples * bytes;
    if (p.has_color && bytes == 4
        && ((reinterpret_cast<uintptr_t>(color.pixels) & 3u) != 0 || (color.pitch & 3) != 0))
        p.has_color = false;
    p.color = color;
    p.color_bytes = bytes;
    const bool depth_enabled = s.render_states[rs::zenable] != 0;
    const DepthView& depth = targets.depth;
    p.samples = p.has_color ? color.samples : valid_samples(depth.samples) ? depth.samples : 1;
    p.has_depth = depth_enabled && depth.depth != nullptr && depth.width > 0 && depth.height > 0
                  && depth.samples == p.samples && depth.pitch >= int64_t{depth.width} * depth.samples;
    // Without antialiasing every sample takes the pixel centre's coverage and depth.
    const bool antialias = s.render_states[rs::multisample_antialias] != 0;
    for (uint32_t i = 0; i < p.samples; ++i) {
        p.offset_x[i] = antialias ? sample_offsets(p.samples)[i].x * static_cast<int32_t>(kSubpixel / 16) : 0;
        p.offset_y[i] = antialias ? sample_offsets(p.samples)[i].y * static_cast<int32_t>(kSubpixel / 16) : 0;
    }
    p.sample_mask = p.samples == 1 ? 1u : s.render_states[rs::multisample_mask] & ((1u << p.samples) - 1u);
    p.depth = targets.depth;
    p.depth_test = p.has_depth;
    p.depth_write = p.has_depth && s.render_states[rs::zwrite] != 0;
    p.depth_func = s.render_states[rs::zfunc];
    p.min_z = std::min(vp.min_z, vp.max_z);
    p.max_z = std::max(vp.min_z, vp.max_z);
    if (!(p.min_z >= 0.0f))
        p.min_z = 0.0f;
    if (!(p.max_z <= 1.0f))
        p.max_z = 1.0f;
    // Depths are kept inside [min_z, max_z]; when both ends pass against a surface
    // of one value (the ordered tests are monotonic), every depth does.
    if (p.depth_test && !p.depth_write) {
        const uint32_t f = p.depth_func;
        const bool ordered = f == compare::less || f == compare::less_equal || f == compare::greater
                             || f == compare::greater_equal;
        p.depth_passes = f == compare::always
                         || (ordered && depth.uniform && depth_passes(f, p.min_z, depth.uniform_value)
                             && depth_passes(f, p.max_z, depth.uniform_value));
    }

    p.alpha_test = s.render_states[rs::alpha_test] != 0;
    p.alpha_func = s.render_states[rs::alpha_func];
    p.alpha_ref = s.render_states[rs::alpha_ref] & 0xFFu;
    p.blend = s.render_states[rs::alpha_blend] != 0;
    p.src_blend = s.render_states[rs::src_blend];
    p.dest_blend = s.render_states[rs::dest_blend];
    p.blend_op = s.render_states[rs::blend_op];
    const uint32_t write = s.render_states[rs::color_write];
    p.write_mask = ((write & 1u) ? 0x00FF0000u : 0u) | ((write & 2u) ? 0x0000FF00u : 0u)
                   | ((write & 4u) ? 0x000000FFu : 0u) | ((write & 8u) ? 0xFF000000u : 0u);
    p.texture_factor = s.render_states[rs::texture_factor];
    p.blend_kind = !p.blend ? BlendKind::copy : BlendKind::generic;
    if (p.blend && p.blend_op == blend_op::add) {
        if (p.src_blend == blend::src_alpha && p.dest_blend == blend::inv_src_alpha)
            p.blend_kind = BlendKind::alpha;
        else if (p.src_blend == blend::one && p.dest_blend == blend::one)
            p.blend_kind = BlendKind::add;
        else if (p.src_blend == blend::src_alpha && p.dest_blend == blend::one)
            p.blend_kind = BlendKind::add_alpha;
    }
    p.direct_write = (color.format == Format::a8r8g8b8 || color.format == Format::x8r8g8b8)
                     && p.write_mask == 0xFFFFFFFFu && p.blend_kind != BlendKind::generic;

    // The scissor: viewport within the targets.
    int64_t x0 = vp.x;
    int64_t y0 = vp.y;
    int64_t x1 = int64_t{vp.x} + vp.width;
    int64_t y1 = int64_t{vp.y} + vp.height;
    if (p.has_color) {
        x1 = std::min<int64_t>(x1, color.width);
        y1 = std::min<int64_t>(y1, color.height);
    }
    if (p.has_depth) {
        x1 = std::min<int64_t>(x1, targets.depth.width);
        y1 = std::min<int64_t>(y1, targets.depth.height);
    }
    d.scissor_x0 = static_cast<int>(std::min<int64_t>(x0, kMaxCoordinate));
    d.scissor_y0 = static_cast<int>(std::min<int64_t>(y0, kMaxCoordinate));
    d.scissor_x1 = static_cast<int>(std::clamp<int64_t>(x1, 0, kMaxCoordinate));
    d.scissor_y1 = static_cast<int>(std::clamp<int64_t>(y1, 0, kMaxCoordinate));
    // Viewports beyond the largest surface are refused: they would take the fixed-point
    // arithmetic out of its range.
    d.drawable = (p.has_color || p.has_depth) && vp.width > 0 && vp.height > 0
                && int64_t{vp.x} + vp.width <= kMaxCoordinate && int64_t{vp.y} + vp.height <= kMaxCoordinate
                && d.scissor_x0 < d.scissor_x1 && d.scissor_y0 < d.scissor_y1;

    // Texture stages, up to the first disabled one.
    int next_slot = kColorAttributes;
    p.stage_count = 0;
    for (uint32_t i = 0; i < max_texture_stages; ++i) {
        if (stage_state(s, i, TextureStageState::color_op) == texture_op::disable)
            break;
        Stage& stage = p.stages[i];
        stage.color_op = stage_state(s, i, TextureStageState::color_op);
        stage.color_arg[0] = stage_state(s, i, TextureStageState::color_arg0);
        stage.color_arg[1] = stage_state(s, i, TextureStageState::color_arg1);
        stage.color_arg[2] = stage_state(s, i, TextureStageState::color_arg2);
        stage.alpha_op = stage_state(s, i, TextureStageState::alpha_op);
        stage.alpha_arg[0] = stage_state(s, i, TextureStageState::alpha_arg0);
        stage.alpha_arg[1] = stage_state(s, i, TextureStageState::alpha_arg1);
        stage.alpha_arg[2] = stage_state(s, i, TextureStageState::alpha_arg2);
        stage.constant = stage_state(s, i, TextureStageState::constant);
        setup_texture(state, i, stage);
        if (stage.varying) {
            stage.slot = next_slot;
            next_slot += 2;
        }
        ++p.stage_count;
    }
    d.attribute_count = next_slot;
}

bool reads_texture(uint32_t op, const uint32_t* args)
{
    if (op == texture_op::blend_texture_alpha)
        return true;
    const bool uses0 = op == texture_op::lerp || op == texture_op::multiply_add;
    const bool uses1 = op != texture_op::select_arg2;
    const bool uses2 = op != texture_op::select_arg1;
    auto is_texture = [](uint32_t arg) { return (arg & 0x0Fu) == texture_arg::texture; };
    return (uses0 && is_texture(args[0])) || (uses1 && is_texture(args[1])) || (uses2 && is_texture(args[2]));
}

bool valid_view(const TextureView* view)
{
    if (view == nullptr || !is_color_format(view->format) || view->level_count == 0
        || view->level_count > max_levels)
        return false;
    const int64_t bytes = bytes_per_pixel(view->format);
    for (uint32_t i = 0; i < view->level_count; ++i) {
        const LevelView& level = view->levels[i];
        if (level.pixels == nullptr || level.width == 0 || level.height == 0
            || std::abs(static_cast<int64_t>(level.pitch)) < level.width * bytes)
            return false;
    }
    return true;
}

void setup_texture(const RasterState& state, uint32_t index, Stage& stage)
{
    const RasterState& s = state;
    stage.varying = false;
    stage.texture_color = 0xFFFFFFFFu;
    const bool used = reads_texture(stage.color_op, stage.color_arg)
                      || (stage.alpha_op != texture_op::disable && reads_texture(stage.alpha_op, stage.alpha_arg));
    const TextureView* view = s.textures[index];
    if (!used || !valid_view(view))
        return;
    stage.texture = view;
    stage.format = view->format;
    stage.address_u = sampler_state(s, index, SamplerState::address_u);
    stage.address_v = sampler_state(s, index, SamplerState::address_v);
    stage.border = sampler_state(s, index, SamplerState::border_color);
    stage.min_filter = sampler_state(s, index, SamplerState::min_filter);
    stage.mag_filter = sampler_state(s, index, SamplerState::mag_filter);
    stage.mip_filter = sampler_state(s, index, SamplerState::mip_filter);
    const LevelView& top = view->levels[0];
    const bool border = stage.address_u == texture_address::border || stage.address_v == texture_address::border;
    if (top.width == 1 && top.height == 1 && !border) {
        stage.texture_color = decode_color(view->format, top.pixels);
        return;
    }
    stage.varying = true;
    bool aligned = bytes_per_pixel(view->format) == 4;
    bool pow2 = true;
    for (uint32_t i = 0; i < view->level_count; ++i) {
        const LevelView& level = view->levels[i];
        aligned = aligned && (reinterpret_cast<uintptr_t>(level.pixels) & 3u) == 0 && (level.pitch & 3) == 0;
        pow2 = pow2 && std::has_single_bit(level.width) && std::has_single_bit(level.height)
               && level.width <= 65536 && level.height <= 65536;
    }
    stage.fetch = !aligned                            ? Fetch::other
                  : view->format == Format::a8r8g8b8 ? Fetch::argb
                  : view->format == Format::x8r8g8b8 ? Fetch::xrgb
                                                     : Fetch::other;
    stage.wrap_pow2 =
        pow2 && stage.address_u == texture_address::wrap && stage.address_v == texture_address::wrap;
}

void setup_vertices(DrawSetup& out, const RasterState& state)
{
    const RasterState& s = state;
    out.wvp = product(product(to_double(s.world), to_double(s.view)), to_double(s.projection));
    out.world = to_double(s.world);
    out.lighting = s.render_states[rs::lighting] != 0;
    if (out.lighting) {
        // Normals go through the inverse transpose of the world's 3×3 part.
        const Matrix4d& m = out.world;
        const double a = m[0][0], b = m[0][1], c = m[0][2];
        const double d = m[1][0], e = m[1][1], f = m[1][2];
        const double g = m[2][0], h = m[2][1], i = m[2][2];
        const double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
        out.normal_matrix = {};
        if (det != 0.0 && std::isfinite(det)) {
            // Rows of the inverse transpose = cofactors / det.
            out.normal_matrix[0] = {(e * i - f * h) / det, -(d * i - f * g) / det, (d * h - e * g) / det, 0};
            out.normal_matrix[1] = {-(b * i - c * h) / det, (a * i - c * g) / det, -(a * h - b * g) / det, 0};
            out.normal_matrix[2] = {(b * f - c * e) / det, -(a * f - c * d) / det, (a * e - b * d) / det, 0};
        }
    }
    const Viewport& vp = s.viewport;
    out.guard_x = std::max(1.0, kGuardPixels / std::max(1.0, vp.width * 0.5));
    out.guard_y = std::max(1.0, kGuardPixels / std::max(1.0, vp.height * 0.5));
    out.cull = s.render_states[rs::cull];
    out.point_sprites = s.render_states[rs::point_sprite] != 0;
}

} // namespace

void setup_draw(DrawSetup& d, const Targets& targets, const RasterState& state)
{
    d = DrawSetup{};
    setup_pixels(d, state, targets);
    setup_vertices(d, state);
    d.viewport = state.viewport;
    d.point_size_max = word_float(state.render_states[rs::point_size_max]);
}

void reread_texture_colors(DrawSetup& d)
{
    for (uint32_t i = 0; i < d.pixel.stage_count; ++i) {
        Stage& stage = d.pixel.stages[i];
        if (stage.texture != nullptr && !stage.varying)
            stage.texture_color = decode_color(stage.format, stage.texture->levels[0].pixels);
    }
}

} // namespace detail

} // namespace platform::gfx::raster
