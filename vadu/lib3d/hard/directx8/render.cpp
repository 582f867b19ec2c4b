// The draw of a render list: lights, clear, the opaque pass, then the blended pass.

#include <algorithm>
#include <cmath>

#include "vadu/lib3d/hard/directx8/buffers.h"
#include "vadu/lib3d/hard/directx8/hardware.h"
#include "vadu/lib3d/hard/directx8/hardware_detail.h"

namespace vadu::lib3d::hard::directx8 {

namespace gfx = platform::gfx;
using gfx::RenderState;
using gfx::TextureStageState;

namespace {

constexpr uint32_t max_lights = 8;

// Colour and alpha of the stage = arg1 × arg2.
void modulate(gfx::Device& device, uint32_t stage, uint32_t arg1, uint32_t arg2)
{
    device.set_texture_stage_state(stage, TextureStageState::color_op, gfx::texture_op::modulate);
    device.set_texture_stage_state(stage, TextureStageState::color_arg1, arg1);
    device.set_texture_stage_state(stage, TextureStageState::color_arg2, arg2);
    device.set_texture_stage_state(stage, TextureStageState::alpha_op, gfx::texture_op::modulate);
    device.set_texture_stage_state(stage, TextureStageState::alpha_arg1, arg1);
    device.set_texture_stage_state(stage, TextureStageState::alpha_arg2, arg2);
}

gfx::ColorValue colour(const math::Vector3& rgb, float alpha)
{
    return gfx::ColorValue{rgb.x, rgb.y, rgb.z, alpha};
}

// What the ambient lights of the frame added up to.
bool has_ambient(const RenderList& list)
{
    return list.ambient.x > 0.0f || list.ambient.y > 0.0f || list.ambient.z > 0.0f;
}

// The stage-1 blend weight of a specular power: (1 − power) × 255, truncated, low byte.
uint32_t lerp_weight(float power)
{
    const double scaled = std::trunc((1.0 - static_cast<double>(power)) * 255.0);
    const double bounded = std::clamp(scaled, -2147483648.0, 2147483647.0);
    return static_cast<uint32_t>(static_cast<int32_t>(bounded)) & 0xFFu;
}

} // namespace

void Hardware::render(RenderList& list, RenderTargetBase& target)
{
    struct CurrentList {
        const RenderList*& slot;
        ~CurrentList() { slot = nullptr; }
    } current{current_list_};
    current_list_ = &list;

    list.render_sprite_batches(*this);
    list.render(*this);
    if (!device_ || !is_operational())
        return;
    gfx::Device& device = *device_;

    set_lights(list);
    if (!target.start_scene(list.viewport[0], list.viewport[1], list.viewport[2], list.viewport[3]))
        return;
    try {
        clear_target(list, target);
        device.set_transform(gfx::TransformState::projection, detail::to_device(list.projection));
        device.set_transform(gfx::TransformState::view, detail::to_device(list.view));

        device.set_render_state(RenderState::ambient,
                                detail::pack_colour(list.ambient.x, list.ambient.y, list.ambient.z, 1.0));
        device.set_render_state(RenderState::cull_mode, gfx::cull::counter_clockwise);
        device.set_render_state(RenderState::zfunc, gfx::compare::less);
        device.set_render_state(RenderState::zwrite_enable, 1);
        device.set_render_state(RenderState::alpha_func, gfx::compare::equal);
        device.set_render_state(RenderState::alpha_ref, 255);
        device.set_render_state(RenderState::alpha_test_enable, 1);
        device.set_fvf(vertex_format::normal_texture);
        set_record_stages();

        const size_t count = list.sorted_items.size();
        const size_t opaque = std::min<size_t>(list.opaque_count, count);
        for (size_t i = 0; i < opaque; ++i) {
            const SortItem& item = list.sorted_items[i];
            if (item.index >= list.records.size())
                continue;
            const RenderRecord& record = list.records[item.index];
            set_sampler_filters(record.filter != 0);
            set_world(record.world);
            prepare_material(record.diffuse, record.transparency, true);
            draw_record(record);
        }

        device.set_render_state(RenderState::alpha_test_enable, 0);
        device.set_render_state(RenderState::zfunc, gfx::compare::less_equal);
        device.set_render_state(RenderState::zwrite_enable, 0);
        bool after_point = false;
        for (size_t i = opaque; i < count; ++i) {
            const SortItem& item = list.sorted_items[i];
            if (item.kind == SortItem::POINT) {
                if (item.index >= list.point_items.size())
                    continue;
                if (!after_point) {
                    set_point_stages();
                    device.set_render_state(RenderState::cull_mode, gfx::cull::none);
                }
                after_point = true;
                const PointItem& point = list.point_items[item.index];
                set_sampler_filters(true);
                set_world(point.world);
                prepare_material(point.diffuse, point.transparency, false);
                draw_point(point);
            } else {
                if (item.index >= list.records.size())
                    continue;
                if (after_point) {
                    set_record_stages();
                    device.set_render_state(RenderState::cull_mode, gfx::cull::counter_clockwise);
                }
                after_point = false;
                const RenderRecord& record = list.records[item.index];
                set_sampler_filters(record.filter != 0);
                set_world(record.world);
                prepare_material(record.diffuse, record.transparency, false);
                draw_record(record);
            }
        }
    } catch (...) {
        device.end_scene();
        throw;
    }
    device.end_scene();
}

void Hardware::set_lights(const RenderList& list)
{
    gfx::Device& device = *device_;
    const uint32_t count = static_cast<uint32_t>(std::min<size_t>(list.lights.size(), max_lights));
    // An ambient light alone lights the frame too.
    device.set_render_state(RenderState::lighting, count > 0 || has_ambient(list) ? 1 : 0);
    if (count == 0) {
        for (uint32_t i = 0; i < max_lights; ++i)
            device.light_enable(i, false);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const LightEntry& entry = list.lights[i];
        gfx::Light light;
        if (entry.kind == 0) {
            light.type = gfx::LightType::point;
            light.position = gfx::Vector{entry.position.x, entry.position.y, entry.position.z};
            light.range = entry.range * 6.0f;
            const auto intensity = static_cast<float>(entry.intensity);
            if (intensity != 0.0f) {
                light.diffuse = colour(entry.diffuse, 0.0f);
                light.attenuation0 = entry.coefficients[0] / intensity;
                light.attenuation1 = entry.coefficients[1] / intensity;
                light.attenuation2 = entry.coefficients[2] / intensity;
            } else {
                // A light faded out to nothing: no colour, rather than dividing by 0.
                light.attenuation0 = entry.coefficients[0];
                light.attenuation1 = entry.coefficients[1];
                light.attenuation2 = entry.coefficients[2];
            }
        } else {
            light.type = gfx::LightType::directional;
            const auto intensity = static_cast<float>(entry.intensity);
            light.diffuse = gfx::ColorValue{entry.diffuse.x * intensity, entry.diffuse.y * intensity,
                                            entry.diffuse.z * intensity, 0.0f};
            // In world space, as the point light's position and the records' world
            // matrices are: the device's world space is the scene's.
            light.direction = gfx::Vector{entry.direction.x, entry.direction.y, entry.direction.z};
        }
        device.set_light(i, light);
        device.light_enable(i, true);
    }
    for (uint32_t i = count; i < max_lights; ++i)
        device.light_enable(i, false);
}

void Hardware::clear_target(const RenderList& list, const RenderTargetBase& target)
{
    // The first list of a frame clears the colour; later ones (the cursor pass) draw
    // over the picture and clear depth only.
    const bool first = std::find(cleared_targets_.begin(), cleared_targets_.end(), &target) == cleared_targets_.end();
    if ((list.flag & 0xFFu) && first) {
        cleared_targets_.push_back(&target);
        const uint32_t argb = list.camera_value != 0.0
            ? detail::pack_colour(list.camera_vector.x, list.camera_vector.y, list.camera_vector.z, 1.0)
            : 0xFF000000u;
        device_->clear(0, nullptr, gfx::clear_flags::target | gfx::clear_flags::zbuffer, argb, 1.0f, 0);
    } else {
        device_->clear(0, nullptr, gfx::clear_flags::zbuffer, 0, 1.0f, 0);
    }
}

void Hardware::set_blend_mode(uint32_t mode)
{
    if (blend_mode_ >= 0 && static_cast<uint32_t>(blend_mode_) == mode)
        return;
    blend_mode_ = static_cast<int32_t>(mode);
    uint32_t source = 0;
    uint32_t destination = 0;
    switch (mode) {
    case BM_ALPHA:
        source = gfx::blend::src_alpha;
        destination = gfx::blend::inv_src_alpha;
        break;
    case BM_ADD:
        source = gfx::blend::one;
        destination = gfx::blend::one;
        break;
    case BM_ADD_ALPHA:
        source = gfx::blend::src_alpha;
        destination = gfx::blend::one;
        break;
    default: return;
    }
    device_->set_render_state(RenderState::src_blend, source);
    device_->set_render_state(RenderState::dest_blend, destination);
}

void Hardware::set_record_stages()
{
    gfx::Device& device = *device_;
    using gfx::texture_arg::current;
    using gfx::texture_arg::texture;
    using gfx::texture_arg::texture_factor;
    modulate(device, 0, texture, current);
    if (capabilities_.driver_class == 0) {
        modulate(device, 1, texture_factor, current);
    } else {
        modulate(device, 1, texture, current);
        modulate(device, 2, texture_factor, current);
    }
    if (blend_mode_ != 0)
        set_blend_mode(BM_ALPHA);
}

void Hardware::set_point_stages()
{
    gfx::Device& device = *device_;
    modulate(device, 0, gfx::texture_arg::texture, gfx::texture_arg::current);
    modulate(device, 1, gfx::texture_arg::texture_factor, gfx::texture_arg::current);
    if (blend_mode_ != 0)
        set_blend_mode(BM_ALPHA);
}

void Hardware::set_sampler_filters(bool linear)
{
    const uint32_t filter = linear ? gfx::texture_filter::linear : gfx::texture_filter::none;
    for (uint32_t sampler = 0; sampler < 2; ++sampler) {
        device_->set_sampler_state(sampler, gfx::SamplerState::min_filter, filter);
        device_->set_sampler_state(sampler, gfx::SamplerState::mag_filter, filter);
        device_->set_sampler_state(sampler, gfx::SamplerState::mip_filter, filter);
    }
}

void Hardware::set_world(const math::Matrix4& world)
{
    device_->set_transform(gfx::TransformState::world, detail::to_device(world));
    applied_depth_ = -1;
}

void Hardware::prepare_material(const math::Vector3& diffuse, double transparency, bool opaque)
{
    const auto f = static_cast<float>(1.0 - transparency);
    const float red = diffuse.x * f * 0.5f;
    const float green = diffuse.y * f * 0.5f;
    const float blue = diffuse.z * f * 0.5f;
    gfx::Material material;
    material.diffuse = gfx::ColorValue{red, green, blue, opaque ? f : f * 0.5f};
    material.ambient = gfx::ColorValue{red, green, blue, 0.0f};
    device_->set_material(material);
    last_material_ = material;
}

void Hardware::apply_texture(uint32_t stage, StageTexture* texture)
{
    if (texture)
        texture->set(stage);
    else
        device_->set_texture(stage, get_default_texture());
}

void Hardware::draw_record(const RenderRecord& record)
{
    if (capabilities_.driver_class == 0)
        draw_record_class0(record);
    else
        draw_record_class1(record);

    if (!record.vertex_buffer)
        return;
    if (record.index_buffer)
        record.vertex_buffer->render(*record.index_buffer, record.first_primitive, record.primitive_count,
                                     record.first_vertex, record.vertex_count);
    else
        record.vertex_buffer->draw(record.first_vertex, record.primitive_count);
}

void Hardware::draw_record_class0(const RenderRecord& record)
{
    if (record.stages[0].texture) {
        record.stages[0].texture->set(0);
    } else {
        apply_texture(0, record.stages[1].texture);
        gfx::Material material = last_material_;
        material.diffuse.r = material.diffuse.g = material.diffuse.b = 0.0f;
        material.emissive = gfx::ColorValue{record.emissive.x * 0.5f, record.emissive.y * 0.5f,
                                            record.emissive.z * 0.5f, 0.0f};
        device_->set_material(material);
    }
    // Every record gives its own blend mode, a textured one too.
    set_blend_mode(record.blend_mode);
}

void Hardware::draw_record_class1(const RenderRecord& record)
{
    gfx::Device& device = *device_;
    device.set_texture_stage_state(1, TextureStageState::texcoord_index, 0);
    device.set_render_state(RenderState::texture_factor,
                            detail::pack_colour(record.emissive.x, record.emissive.y, record.emissive.z,
                                                1.0 - record.transparency));
    apply_texture(0, record.stages[0].texture);
    apply_texture(1, record.stages[1].texture);
    device.set_texture(2, get_default_texture());
    set_blend_mode(record.blend_mode);

    const auto power = static_cast<float>(record.specular_power);
    if (power >= 0.001f) {
        const uint32_t weight = lerp_weight(power);
        device.set_texture_stage_state(1, TextureStageState::constant, weight * 0x01010101u);
        device.set_texture_stage_state(1, TextureStageState::color_arg0, gfx::texture_arg::constant);
        device.set_texture_stage_state(1, TextureStageState::color_op, gfx::texture_op::lerp);
    } else {
        device.set_texture_stage_state(1, TextureStageState::color_op, gfx::texture_op::modulate);
    }
}

void Hardware::draw_point(const PointItem& item)
{
    if (item.stages[0].texture) {
        item.stages[0].texture->set(0);
    } else {
        apply_texture(0, item.stages[1].texture);
        gfx::Material material = last_material_;
        material.diffuse.r = material.diffuse.g = material.diffuse.b = 0.0f;
        material.emissive = colour(item.emissive, 0.0f);
        device_->set_material(material);
        // Source alpha over inverse source alpha, through the cache so that the next
        // record's own mode is sent.
        set_blend_mode(BM_ALPHA);
    }
    if (item.point_buffer)
        item.point_buffer->draw(item.first_point, item.point_count);
}

} // namespace vadu::lib3d::hard::directx8
