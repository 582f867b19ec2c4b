#include "platform/gfx/raster_device.h"

#include <algorithm>
#include <array>

namespace platform::gfx {
namespace {

Matrix transform(const DeviceState& state, TransformState which)
{
    const auto found = state.transforms.find(static_cast<uint32_t>(which));
    return found != state.transforms.end() ? found->second : Matrix{};
}

// Only plain textures are sampled; a cube texture on a stage reads as no texture.
bool view_of(const BaseTexture* texture, raster::TextureView& view)
{
    if (texture == nullptr || texture->type() != ResourceType::texture)
        return false;
    view.format = texture->format();
    view.level_count = std::min(texture->level_count(), raster::max_levels);
    for (uint32_t i = 0; i < view.level_count; ++i) {
        Surface* level = texture->level_surface(0, i);
        if (level == nullptr)
            return false;
        view.levels[i] = {level->recorded_pixels(), static_cast<int32_t>(level->pitch()), level->width(), level->height(),
                          level->content_version()};
    }
    return true;
}

} // namespace

void raster_draw(const DeviceState& state, PrimitiveType type, const raster::VertexData& vertices,
                 const raster::IndexData& indices, int32_t base_vertex, uint32_t first, uint32_t count)
{
    raster::RasterState s;
    s.viewport = state.viewport;
    s.world = transform(state, TransformState::world);
    s.view = transform(state, TransformState::view);
    s.projection = transform(state, TransformState::projection);
    for (uint32_t i = 0; i < max_texture_stages; ++i)
        s.texture_transforms[i] = transform(state, texture_transform(i));
    s.render_states = state.render_states;
    s.stage_states = state.stage_states;
    for (uint32_t i = 0; i < max_texture_stages; ++i)
        s.sampler_states[i] = state.sampler_states[i];
    for (const auto& [index, slot] : state.lights) {
        if (slot.enabled && s.light_count < raster::max_active_lights)
            s.lights[s.light_count++] = slot.light;
    }
    s.material = state.material;
    std::array<raster::TextureView, max_texture_stages> views;
    for (uint32_t i = 0; i < max_texture_stages; ++i) {
        if (view_of(state.textures[i], views[i]))
            s.textures[i] = &views[i];
    }

    raster::Targets targets;
    if (Surface* color = state.render_target) {
        targets.color = {color->recorded_pixels(), static_cast<int32_t>(color->pitch()), color->width(), color->height(),
                         color->format(), color->samples(), true};
    }
    // Depth surfaces hold one float per sample, rows back to back.
    Surface* depth = state.depth_stencil;
    if (depth) {
        targets.depth = {depth->recorded_depth(), depth->width() * depth->samples(), depth->width(), depth->height(),
                         depth->samples()};
        targets.depth.uniform = depth->uniform_depth(&targets.depth.uniform_value);
        targets.depth.kept = true;
    }
    // Surfaces change only through the device, which tells the rasterizer (Surface::changing).
    raster::record_draw(targets, s, type, vertices, indices, base_vertex, first, count);
    if (Surface* color = state.render_target)
        color->note_drawn();
    if (depth && s[RenderState::zenable] != 0 && s[RenderState::zwrite_enable] != 0)
        depth->set_uniform_depth(false);
}

} // namespace platform::gfx
