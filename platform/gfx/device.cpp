#include "platform/gfx/device.h"
#include "platform/gfx/format.h"
#include "platform/gfx/internal.h"
#include "platform/gfx/raster_device.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

namespace platform::gfx {
namespace {

uint32_t float_bits(float value)
{
    return std::bit_cast<uint32_t>(value);
}

bool valid_transform(TransformState state)
{
    const uint32_t value = static_cast<uint32_t>(state);
    return state == TransformState::view || state == TransformState::projection || (value >= 16 && value < 24)
        || (value >= 256 && value < 512);
}

bool valid_primitive(PrimitiveType type)
{
    const uint32_t value = static_cast<uint32_t>(type);
    return value >= 1 && value <= 6;
}

// The object whose lifetime a binding must extend: a texture's surface lives as long
// as its texture.
Object* lifetime_owner(Object* object)
{
    if (auto* surface = dynamic_cast<Surface*>(object); surface && surface->container())
        return surface->container();
    return object;
}

// Bytes a resource occupies; the surfaces of a texture count with the texture.
size_t resource_bytes(const Resource* resource)
{
    if (const auto* buffer = dynamic_cast<const Buffer*>(resource))
        return buffer->size();
    if (const auto* surface = dynamic_cast<const Surface*>(resource)) {
        if (surface->container())
            return 0;
        const size_t pixels = size_t{surface->width()} * surface->height();
        return surface->pitch() ? size_t{surface->pitch()} * surface->height() : pixels * 4 * surface->samples();
    }
    if (const auto* texture = dynamic_cast<const BaseTexture*>(resource)) {
        size_t bytes = 0;
        for (uint32_t face = 0; face < texture->face_count(); ++face) {
            for (uint32_t level = 0; level < texture->level_count(); ++level) {
                const Surface* surface = texture->level_surface(face, level);
                bytes += size_t{surface->pitch()} * surface->height();
            }
        }
        return bytes;
    }
    return 0;
}

} // namespace

// --- creation -------------------------------------------------------------------------

Result Factory::create_device(uint32_t adapter, DeviceType type, WindowHandle focus_window, uint32_t flags,
                              PresentParameters* parameters, Device** device)
{
    if (const Result result = detail::scripted(Call::create_device); failed(result))
        return result;
    if (device == nullptr || parameters == nullptr)
        return error::invalid_call;
    *device = nullptr;
    if (const Result result = check_adapter(adapter, type); failed(result))
        return result;
    const uint32_t processing = flags
        & (create_flags::software_vertex_processing | create_flags::hardware_vertex_processing
           | create_flags::mixed_vertex_processing);
    if (std::popcount(processing) != 1)
        return error::invalid_call;
    const Caps& caps = detail::adapter_config(adapter)->caps;
    if (processing != create_flags::software_vertex_processing
        && !(caps.dev_caps & caps_flags::dev::hw_transform_and_light))
        return error::not_available;
    if (!parameters->windowed)
        return error::not_available;
    if (parameters->device_window == nullptr && focus_window == nullptr)
        return error::invalid_call;

    Device* created = nullptr;
    try {
        created = new Device(this, adapter, flags);
        created->parameters_.device_window = parameters->device_window ? parameters->device_window : focus_window;
        if (const Result result = created->apply_parameters(parameters); failed(result)) {
            created->release();
            return result;
        }
    } catch (const std::bad_alloc&) {
        if (created)
            created->release();
        return error::out_of_memory;
    }
    *device = created;
    return ok;
}

Device::Device(Factory* factory, uint32_t adapter, uint32_t flags)
    : factory_(factory), adapter_(adapter), creation_flags_(flags)
{
    factory_->hold();
    detail::device_created(this);
}

Device::~Device()
{
    detail::device_destroyed(this);
    factory_->unhold();
}

void Device::on_caller_released()
{
    drop_bindings();
    if (back_buffer_)
        std::exchange(back_buffer_, nullptr)->unhold();
    if (auto_depth_)
        std::exchange(auto_depth_, nullptr)->unhold();
}

const Caps& Device::caps() const
{
    static const Caps fallback = default_caps();
    const AdapterConfig* config = detail::adapter_config(adapter_);
    return config ? config->caps : fallback;
}

// Validates the parameters against the adapter, then replaces the implicit surfaces
// and every state. Nothing changes when validation fails.
Result Device::apply_parameters(PresentParameters* parameters)
{
    const AdapterConfig* config = detail::adapter_config(adapter_);
    if (config == nullptr || parameters == nullptr || !parameters->windowed)
        return error::invalid_call;
    PresentParameters applied = *parameters;
    if (applied.device_window == nullptr)
        applied.device_window = parameters_.device_window;
    if (applied.back_buffer_count == 0)
        applied.back_buffer_count = 1;
    if (applied.back_buffer_format == Format::unknown)
        applied.back_buffer_format = config->display_mode.format;
    if (applied.back_buffer_count > 3 || applied.swap_effect < swap_effect::discard
        || applied.swap_effect > swap_effect::copy)
        return error::invalid_call;
    if (!detail::supports_device_type(*config, config->display_mode.format, applied.back_buffer_format, true))
        return error::invalid_call;
    if (applied.multisample_type != multisample::none) {
        if (applied.swap_effect != swap_effect::discard || applied.multisample_quality != 0
            || (applied.flags & present_flags::lockable_back_buffer)
            || !detail::supports_multisample(*config, applied.back_buffer_format, applied.multisample_type))
            return error::invalid_call;
    }
    if (applied.enable_auto_depth_stencil) {
        const Format depth = applied.auto_depth_stencil_format;
        if (!detail::depth_matches(*config, applied.back_buffer_format, depth)
            || !detail::supports_multisample(*config, depth, applied.multisample_type))
            return error::invalid_call;
    }
    if (applied.back_buffer_width == 0 || applied.back_buffer_height == 0) {
        // A minimised window has no client area; the buffer keeps one pixel.
        const Rect client = get_client_rect(applied.device_window);
        if (applied.back_buffer_width == 0)
            applied.back_buffer_width = static_cast<uint32_t>(std::max(1, client.right - client.left));
        if (applied.back_buffer_height == 0)
            applied.back_buffer_height = static_cast<uint32_t>(std::max(1, client.bottom - client.top));
    }
    if (applied.back_buffer_width > detail::max_surface_side || applied.back_buffer_height > detail::max_surface_side)
        return error::invalid_call;

    auto* back_buffer = new Surface(this, Pool::default_pool, usage::render_target, applied.back_buffer_format,
                                    applied.back_buffer_width, applied.back_buffer_height, applied.multisample_type,
                                    (applied.flags & present_flags::lockable_back_buffer) != 0, nullptr);
    Surface* depth = nullptr;
    try {
        if (applied.enable_auto_depth_stencil) {
            depth = new Surface(this, Pool::default_pool, usage::depth_stencil, applied.auto_depth_stencil_format,
                                applied.back_buffer_width, applied.back_buffer_height, applied.multisample_type,
                                false, nullptr);
        }
    } catch (...) {
        back_buffer->release();
        throw;
    }
    // The device keeps the implicit surfaces; callers see a count of 0 until they ask.
    back_buffer->hold();
    back_buffer->release();
    if (depth) {
        depth->hold();
        depth->release();
    }

    drop_bindings();
    if (back_buffer_)
        back_buffer_->unhold();
    if (auto_depth_)
        auto_depth_->unhold();
    back_buffer_ = back_buffer;
    auto_depth_ = depth;
    parameters_ = applied;
    *parameters = applied;
    reset_state();
    return ok;
}

void Device::reset_state()
{
    DeviceState& s = state_;
    s.render_states.fill(0);
    auto rs = [&s](RenderState state, uint32_t value) { s.render_states[static_cast<uint32_t>(state)] = value; };
    rs(RenderState::zenable, auto_depth_ ? zbuffer_type::enabled : zbuffer_type::disabled);
    rs(RenderState::fill_mode, 3); // solid
    rs(RenderState::shade_mode, 2); // Gouraud
    rs(RenderState::zwrite_enable, 1);
    rs(RenderState::last_pixel, 1);
    rs(RenderState::src_blend, blend::one);
    rs(RenderState::dest_blend, blend::zero);
    rs(RenderState::cull_mode, cull::counter_clockwise);
    rs(RenderState::zfunc, compare::less_equal);
    rs(RenderState::alpha_func, compare::always);
    rs(RenderState::fog_end, float_bits(1.0f));
    rs(RenderState::fog_density, float_bits(1.0f));
    for (RenderState state : {RenderState::stencil_fail, RenderState::stencil_zfail, RenderState::stencil_pass,
                              RenderState::ccw_stencil_fail, RenderState::ccw_stencil_zfail,
                              RenderState::ccw_stencil_pass})
        rs(state, 1); // keep
    rs(RenderState::stencil_func, compare::always);
    rs(RenderState::ccw_stencil_func, compare::always);
    rs(RenderState::stencil_mask, 0xFFFFFFFFu);
    rs(RenderState::stencil_write_mask, 0xFFFFFFFFu);
    rs(RenderState::texture_factor, 0xFFFFFFFFu);
    rs(RenderState::clipping, 1);
    rs(RenderState::lighting, 1);
    rs(RenderState::color_vertex, 1);
    rs(RenderState::local_viewer, 1);
    rs(RenderState::diffuse_material_source, material_source::color1);
    rs(RenderState::specular_material_source, material_source::color2);
    rs(RenderState::point_size, float_bits(1.0f));
    rs(RenderState::point_size_min, float_bits(1.0f));
    rs(RenderState::point_scale_a, float_bits(1.0f));
    rs(RenderState::multisample_antialias, 1);
    rs(RenderState::multisample_mask, 0xFFFFFFFFu);
    rs(RenderState::point_size_max, float_bits(caps().max_point_size));
    rs(RenderState::color_write_enable, 0xF);
    for (RenderState state :
         {RenderState::color_write_enable1, RenderState::color_write_enable2, RenderState::color_write_enable3})
        rs(state, 0xF);
    rs(RenderState::blend_op, blend_op::add);
    rs(RenderState::position_degree, 3); // cubic
    rs(RenderState::normal_degree, 1);   // linear
    rs(RenderState::min_tessellation_level, float_bits(1.0f));
    rs(RenderState::max_tessellation_level, float_bits(1.0f));
    rs(RenderState::adaptive_tessellation_z, float_bits(1.0f));
    rs(RenderState::blend_factor, 0xFFFFFFFFu);
    rs(RenderState::src_blend_alpha, blend::one);
    rs(RenderState::dest_blend_alpha, blend::zero);
    rs(RenderState::blend_op_alpha, blend_op::add);

    for (uint32_t stage = 0; stage < max_texture_stages; ++stage) {
        auto& st = s.stage_states[stage];
        st.fill(0);
        auto set = [&st](TextureStageState state, uint32_t value) { st[static_cast<uint32_t>(state)] = value; };
        set(TextureStageState::color_op, stage == 0 ? texture_op::modulate : texture_op::disable);
        set(TextureStageState::color_arg1, texture_arg::texture);
        set(TextureStageState::color_arg2, texture_arg::current);
        set(TextureStageState::alpha_op, stage == 0 ? texture_op::select_arg1 : texture_op::disable);
        set(TextureStageState::alpha_arg1, texture_arg::texture);
        set(TextureStageState::alpha_arg2, texture_arg::current);
        set(TextureStageState::texcoord_index, stage);
        set(TextureStageState::color_arg0, texture_arg::current);
        set(TextureStageState::alpha_arg0, texture_arg::current);
        set(TextureStageState::result_arg, texture_arg::current);
    }
    for (auto& sampler : s.sampler_states) {
        sampler.fill(0);
        auto set = [&sampler](SamplerState state, uint32_t value) { sampler[static_cast<uint32_t>(state)] = value; };
        set(SamplerState::address_u, texture_address::wrap);
        set(SamplerState::address_v, texture_address::wrap);
        set(SamplerState::address_w, texture_address::wrap);
        set(SamplerState::mag_filter, texture_filter::point);
        set(SamplerState::min_filter, texture_filter::point);
        set(SamplerState::mip_filter, texture_filter::none);
        set(SamplerState::max_anisotropy, 1);
    }
    s.transforms.clear();
    s.lights.clear();
    s.material = Material{};
    s.fvf = 0;

    s.render_target = back_buffer_;
    bind(back_buffer_);
    s.depth_stencil = auto_depth_;
    if (auto_depth_)
        bind(auto_depth_);
    s.viewport = Viewport{0, 0, back_buffer_->width(), back_buffer_->height(), 0.0f, 1.0f};
}

void Device::bind(Object* object)
{
    if (object)
        lifetime_owner(object)->hold();
}

void Device::unbind(Object* object)
{
    if (object)
        lifetime_owner(object)->unhold();
}

void Device::drop_bindings()
{
    DeviceState& s = state_;
    for (StreamSource& stream : s.streams)
        unbind(std::exchange(stream, StreamSource{}).buffer);
    unbind(std::exchange(s.indices, nullptr));
    for (BaseTexture*& texture : s.textures)
        unbind(std::exchange(texture, nullptr));
    unbind(std::exchange(s.render_target, nullptr));
    unbind(std::exchange(s.depth_stencil, nullptr));
}

// --- frame ----------------------------------------------------------------------------

Result Device::test_cooperative_level() const
{
    switch (level_) {
    case CooperativeLevel::lost: return error::device_lost;
    case CooperativeLevel::not_reset: return error::device_not_reset;
    case CooperativeLevel::operational: break;
    }
    return ok;
}

uint32_t Device::default_resources_held() const
{
    uint32_t count = 0;
    for (const Resource* resource : resources_) {
        if (resource->pool() != Pool::default_pool || resource->held_by_caller() == 0)
            continue;
        if (const auto* surface = dynamic_cast<const Surface*>(resource); surface && surface->container())
            continue;
        ++count;
    }
    return count;
}

Result Device::reset(PresentParameters* parameters)
{
    if (level_ == CooperativeLevel::lost)
        return error::device_lost;
    Result result = detail::scripted(Call::reset);
    // Default-pool resources would not survive; their owners must release them first.
    if (succeeded(result) && (parameters == nullptr || default_resources_held() > 0))
        result = error::invalid_call;
    if (succeeded(result)) {
        try {
            result = apply_parameters(parameters);
        } catch (const std::bad_alloc&) {
            result = error::out_of_memory;
        }
    }
    if (failed(result)) {
        level_ = CooperativeLevel::not_reset;
        return result;
    }
    level_ = CooperativeLevel::operational;
    in_scene_ = false;
    forget_draws();
    return ok;
}

void Device::forget_draws()
{
    for (DrawCall& call : draws_) {
        if (call.user_vertices.capacity() != 0) {
            call.user_vertices.clear();
            spare_vertices_.push_back(std::move(call.user_vertices));
        }
    }
    draws_.clear();
}

Result Device::begin_scene()
{
    if (in_scene_)
        return error::invalid_call;
    if (const Result result = detail::scripted(Call::begin_scene); failed(result))
        return result;
    in_scene_ = true;
    return ok;
}

Result Device::end_scene()
{
    if (!in_scene_)
        return error::invalid_call;
    in_scene_ = false;
    return ok;
}

Result Device::present()
{
    // The frame's recorded draws are drawn here, all together.
    raster::flush();
    if (in_scene_)
        return error::invalid_call;
    if (const Result result = detail::scripted(Call::present); failed(result))
        return result;
    if (level_ != CooperativeLevel::operational)
        return error::device_lost;
    Result result = ok;
    if (const PresentHandler& handler = detail::present_handler())
        result = handler(*this, *back_buffer_);
    ++presents_;
    forget_draws();
    return result;
}

Result Device::clear(uint32_t count, const Rect* rects, uint32_t flags, uint32_t argb, float z, uint32_t stencil)
{
    const uint32_t known = clear_flags::target | clear_flags::zbuffer | clear_flags::stencil;
    if (flags == 0 || (flags & ~known) || (count > 0) != (rects != nullptr) || !(z >= 0.0f && z <= 1.0f))
        return error::invalid_call;
    Surface* target = state_.render_target;
    Surface* depth = state_.depth_stencil;
    if ((flags & clear_flags::zbuffer) && depth == nullptr)
        return error::invalid_call;
    if ((flags & clear_flags::stencil) && (depth == nullptr || !has_stencil(depth->format())))
        return error::invalid_call;

    const Viewport& vp = state_.viewport;
    const Rect whole{static_cast<int32_t>(vp.x), static_cast<int32_t>(vp.y), static_cast<int32_t>(vp.x + vp.width),
                     static_cast<int32_t>(vp.y + vp.height)};
    auto fill = [&](Rect area) {
        area.left = std::max(area.left, whole.left);
        area.top = std::max(area.top, whole.top);
        area.right = std::min(area.right, whole.right);
        area.bottom = std::min(area.bottom, whole.bottom);
        // Colour and depth as the rasterizer clears them: every sample of a pixel alike.
        raster::Targets targets;
        if ((flags & clear_flags::target) && target) {
            targets.color = {target->recorded_pixels(), static_cast<int32_t>(target->pitch()), target->width(),
                             target->height(), target->format(), target->samples(), true};
            target->note_drawn();
        }
        if ((flags & clear_flags::zbuffer) && depth) {
            targets.depth = {depth->recorded_depth(), depth->width() * depth->samples(), depth->width(),
                             depth->height(), depth->samples()};
            targets.depth.kept = true;
            float value = 0.0f;
            const bool uniform = depth->uniform_depth(&value);
            const bool whole_surface = area.left <= 0 && area.top <= 0
                                       && area.right >= static_cast<int32_t>(depth->width())
                                       && area.bottom >= static_cast<int32_t>(depth->height());
            const bool empty = area.left >= area.right || area.top >= area.bottom
                               || area.left >= static_cast<int32_t>(depth->width())
                               || area.top >= static_cast<int32_t>(depth->height()) || area.right <= 0
                               || area.bottom <= 0;
            if (whole_surface)
                depth->set_uniform_depth(true, z);
            else if (!empty && !(uniform && value == z))
                depth->set_uniform_depth(false);
        }
        raster::record_clear(targets, area, flags & (clear_flags::target | clear_flags::zbuffer), argb, z);
        if ((flags & clear_flags::stencil) && depth) {
            const int32_t right = std::min(area.right, static_cast<int32_t>(depth->width()));
            const int32_t bottom = std::min(area.bottom, static_cast<int32_t>(depth->height()));
            for (int32_t y = area.top; y < bottom; ++y) {
                for (int32_t x = area.left; x < right; ++x)
                    depth->stencil()[static_cast<size_t>(y) * depth->width() + x] = static_cast<uint8_t>(stencil);
            }
        }
    };
    if (count == 0) {
        fill(whole);
    } else {
        for (uint32_t i = 0; i < count; ++i)
            fill(rects[i]);
    }
    return ok;
}

uint32_t Device::get_available_texture_mem() const
{
    const AdapterConfig* config = detail::adapter_config(adapter_);
    const uint64_t total = config ? config->texture_memory : 0;
    uint64_t used = 0;
    for (const Resource* resource : resources_) {
        if (resource->pool() == Pool::default_pool)
            used += resource_bytes(resource);
    }
    return static_cast<uint32_t>(used >= total ? 0 : total - used);
}

// --- fixed-function state ---------------------------------------------------------------

Result Device::set_viewport(const Viewport& viewport)
{
    const Surface* target = state_.render_target;
    if (uint64_t{viewport.x} + viewport.width > target->width()
        || uint64_t{viewport.y} + viewport.height > target->height() || !(viewport.min_z >= 0.0f)
        || !(viewport.max_z <= 1.0f) || viewport.min_z > viewport.max_z)
        return error::invalid_call;
    state_.viewport = viewport;
    return ok;
}

Result Device::get_viewport(Viewport* viewport) const
{
    if (viewport == nullptr)
        return error::invalid_call;
    *viewport = state_.viewport;
    return ok;
}

Result Device::set_transform(TransformState state, const Matrix& matrix)
{
    if (!valid_transform(state))
        return error::invalid_call;
    state_.transforms[static_cast<uint32_t>(state)] = matrix;
    return ok;
}

Result Device::get_transform(TransformState state, Matrix* matrix) const
{
    if (!valid_transform(state) || matrix == nullptr)
        return error::invalid_call;
    const auto found = state_.transforms.find(static_cast<uint32_t>(state));
    *matrix = found == state_.transforms.end() ? Matrix{} : found->second;
    return ok;
}

Result Device::multiply_transform(TransformState state, const Matrix& matrix)
{
    Matrix current;
    if (const Result result = get_transform(state, &current); failed(result))
        return result;
    state_.transforms[static_cast<uint32_t>(state)] = multiply(matrix, current);
    return ok;
}

namespace {

// The stored value of a state number, or null when it is out of range. Stage and sampler
// states start at 1.
template <class Row>
auto* state_slot(Row& row, uint32_t index, uint32_t first)
{
    return index < first || index >= row.size() ? nullptr : &row[index];
}

template <class Table>
auto* unit_state_slot(Table& table, uint32_t unit, uint32_t index)
{
    return unit < table.size() ? state_slot(table[unit], index, 1) : nullptr;
}

Result store_state(uint32_t* slot, uint32_t value)
{
    if (slot == nullptr)
        return error::invalid_call;
    *slot = value;
    return ok;
}

Result load_state(const uint32_t* slot, uint32_t* value)
{
    if (slot == nullptr || value == nullptr)
        return error::invalid_call;
    *value = *slot;
    return ok;
}

} // namespace

Result Device::set_render_state(RenderState state, uint32_t value)
{
    return store_state(state_slot(state_.render_states, static_cast<uint32_t>(state), 0), value);
}

Result Device::get_render_state(RenderState state, uint32_t* value) const
{
    return load_state(state_slot(state_.render_states, static_cast<uint32_t>(state), 0), value);
}

Result Device::set_texture_stage_state(uint32_t stage, TextureStageState state, uint32_t value)
{
    return store_state(unit_state_slot(state_.stage_states, stage, static_cast<uint32_t>(state)), value);
}

Result Device::get_texture_stage_state(uint32_t stage, TextureStageState state, uint32_t* value) const
{
    return load_state(unit_state_slot(state_.stage_states, stage, static_cast<uint32_t>(state)), value);
}

Result Device::set_sampler_state(uint32_t sampler, SamplerState state, uint32_t value)
{
    return store_state(unit_state_slot(state_.sampler_states, sampler, static_cast<uint32_t>(state)), value);
}

Result Device::get_sampler_state(uint32_t sampler, SamplerState state, uint32_t* value) const
{
    return load_state(unit_state_slot(state_.sampler_states, sampler, static_cast<uint32_t>(state)), value);
}

Result Device::set_light(uint32_t index, const Light& light)
{
    const bool has_direction = light.direction.x != 0.0f || light.direction.y != 0.0f || light.direction.z != 0.0f;
    switch (light.type) {
    case LightType::directional:
        if (!has_direction)
            return error::invalid_call;
        break;
    case LightType::spot:
        if (!has_direction)
            return error::invalid_call;
        [[fallthrough]];
    case LightType::point:
        if (!(light.range >= 0.0f) || !std::isfinite(light.range))
            return error::invalid_call;
        break;
    default: return error::invalid_call;
    }
    state_.lights[index].light = light;
    return ok;
}

Result Device::get_light(uint32_t index, Light* light) const
{
    const auto found = state_.lights.find(index);
    if (light == nullptr || found == state_.lights.end())
        return error::invalid_call;
    *light = found->second.light;
    return ok;
}

Result Device::light_enable(uint32_t index, bool enable)
{
    auto [slot, created] = state_.lights.try_emplace(index);
    if (created) {
        slot->second.light.type = LightType::directional;
        slot->second.light.diffuse = ColorValue{1.0f, 1.0f, 1.0f, 0.0f};
        slot->second.light.direction = Vector{0.0f, 0.0f, 1.0f};
    }
    slot->second.enabled = enable;
    return ok;
}

Result Device::set_material(const Material& material)
{
    state_.material = material;
    return ok;
}

Result Device::set_fvf(uint32_t vertex_format)
{
    state_.fvf = vertex_format;
    return ok;
}

Result Device::set_stream_source(uint32_t stream, VertexBuffer* buffer, uint32_t offset, uint32_t stride)
{
    if (stream >= max_streams || (offset & 3u) || (buffer && buffer->device() != this))
        return error::invalid_call;
    bind(buffer);
    unbind(std::exchange(state_.streams[stream], StreamSource{buffer, offset, stride}).buffer);
    return ok;
}

Result Device::set_indices(IndexBuffer* indices)
{
    if (indices && indices->device() != this)
        return error::invalid_call;
    bind(indices);
    unbind(std::exchange(state_.indices, indices));
    return ok;
}

Result Device::set_texture(uint32_t sampler, BaseTexture* texture)
{
    if (sampler >= max_samplers || (texture && texture->device() != this))
        return error::invalid_call;
    bind(texture);
    unbind(std::exchange(state_.textures[sampler], texture));
    return ok;
}

// --- drawing ----------------------------------------------------------------------------

Result Device::check_draw_state(uint32_t stream0_vertices_needed) const
{
    if (!in_scene_ || state_.fvf == 0 || fvf_stride(state_.fvf) == 0)
        return error::invalid_call;
    const StreamSource& stream = state_.streams[0];
    if (stream.buffer == nullptr || stream.stride == 0 || stream.buffer->is_locked())
        return error::invalid_call;
    const uint64_t end = uint64_t{stream.offset} + uint64_t{stream0_vertices_needed} * stream.stride;
    return end <= stream.buffer->size() ? ok : error::invalid_call;
}

Result Device::draw_primitive(PrimitiveType type, uint32_t start_vertex, uint32_t primitive_count)
{
    if (!valid_primitive(type) || primitive_count == 0 || primitive_count > caps().max_primitive_count)
        return error::invalid_call;
    const uint64_t needed = uint64_t{start_vertex} + primitive_vertex_count(type, primitive_count);
    if (needed > UINT32_MAX)
        return error::invalid_call;
    if (const Result result = check_draw_state(static_cast<uint32_t>(needed)); failed(result))
        return result;
    if (draw_log()) {
        DrawCall call;
        call.kind = DrawKind::primitive;
        call.type = type;
        call.start_vertex = start_vertex;
        call.primitive_count = primitive_count;
        call.fvf = state_.fvf;
        call.stride = state_.streams[0].stride;
        draws_.push_back(std::move(call));
    }
    const StreamSource& stream = state_.streams[0];
    raster_draw(state_, type, {stream.buffer->data() + stream.offset, stream.buffer->size() - stream.offset,
                               stream.stride, state_.fvf},
                {}, 0, start_vertex, primitive_count);
    return ok;
}

Result Device::draw_indexed_primitive(PrimitiveType type, int32_t base_vertex, uint32_t min_index,
                                      uint32_t vertex_count, uint32_t start_index, uint32_t primitive_count)
{
    if (!valid_primitive(type) || primitive_count == 0 || primitive_count > caps().max_primitive_count
        || vertex_count == 0)
        return error::invalid_call;
    const int64_t first = int64_t{base_vertex} + min_index;
    const int64_t last = first + vertex_count;
    if (first < 0 || last > UINT32_MAX)
        return error::invalid_call;
    if (const Result result = check_draw_state(static_cast<uint32_t>(last)); failed(result))
        return result;
    const IndexBuffer* indices = state_.indices;
    if (indices == nullptr || indices->is_locked())
        return error::invalid_call;
    const uint32_t index_bytes = bytes_per_pixel(indices->format());
    const uint64_t count = primitive_vertex_count(type, primitive_count);
    if ((uint64_t{start_index} + count) * index_bytes > indices->size())
        return error::invalid_call;
    // Every index must fall in the vertex range the caller declared.
    for (uint64_t i = start_index; i < start_index + count; ++i) {
        const uint32_t index = read_pixel_word(indices->data() + i * index_bytes, index_bytes);
        if (index < min_index || index - min_index >= vertex_count)
            return error::invalid_call;
    }
    if (draw_log()) {
        DrawCall call;
        call.kind = DrawKind::indexed_primitive;
        call.type = type;
        call.base_vertex = base_vertex;
        call.min_index = min_index;
        call.vertex_count = vertex_count;
        call.start_index = start_index;
        call.primitive_count = primitive_count;
        call.fvf = state_.fvf;
        call.stride = state_.streams[0].stride;
        draws_.push_back(std::move(call));
    }
    const StreamSource& stream = state_.streams[0];
    raster_draw(state_, type, {stream.buffer->data() + stream.offset, stream.buffer->size() - stream.offset,
                               stream.stride, state_.fvf},
                {indices->data(), indices->size(), indices->format() == Format::index32}, base_vertex, start_index,
                primitive_count);
    return ok;
}

Result Device::draw_primitive_up(PrimitiveType type, uint32_t primitive_count, const void* vertices, uint32_t stride)
{
    if (!valid_primitive(type) || primitive_count == 0 || primitive_count > caps().max_primitive_count
        || vertices == nullptr || stride == 0 || !in_scene_ || state_.fvf == 0 || fvf_stride(state_.fvf) == 0)
        return error::invalid_call;
    const size_t bytes = size_t{primitive_vertex_count(type, primitive_count)} * stride;
    const auto* data = static_cast<const uint8_t*>(vertices);
    if (draw_log()) {
        DrawCall call;
        call.kind = DrawKind::user_primitive;
        call.type = type;
        call.primitive_count = primitive_count;
        call.fvf = state_.fvf;
        call.stride = stride;
        // The copy goes into a buffer an earlier frame's record left, so that drawing does
        // not allocate once the buffers have grown.
        if (!spare_vertices_.empty()) {
            call.user_vertices = std::move(spare_vertices_.back());
            spare_vertices_.pop_back();
        }
        call.user_vertices.assign(data, data + bytes);
        draws_.push_back(std::move(call));
    }
    raster_draw(state_, type, {data, bytes, stride, state_.fvf}, {}, 0, 0, primitive_count);
    unbind(std::exchange(state_.streams[0], StreamSource{}).buffer);
    return ok;
}

// --- targets ----------------------------------------------------------------------------

Result Device::get_render_target(uint32_t index, Surface** surface)
{
    if (surface == nullptr)
        return error::invalid_call;
    *surface = nullptr;
    if (index != 0 || state_.render_target == nullptr)
        return index != 0 ? error::invalid_call : error::not_found;
    *surface = state_.render_target;
    (*surface)->add_ref();
    return ok;
}

Result Device::set_render_target(uint32_t index, Surface* surface)
{
    if (index != 0 || surface == nullptr || surface->device() != this || !(surface->usage() & usage::render_target))
        return error::invalid_call;
    bind(surface);
    unbind(std::exchange(state_.render_target, surface));
    state_.viewport = Viewport{0, 0, surface->width(), surface->height(), 0.0f, 1.0f};
    return ok;
}

Result Device::get_depth_stencil_surface(Surface** surface)
{
    if (surface == nullptr)
        return error::invalid_call;
    *surface = state_.depth_stencil;
    if (*surface == nullptr)
        return error::not_found;
    (*surface)->add_ref();
    return ok;
}

Result Device::set_depth_stencil_surface(Surface* surface)
{
    if (surface && (surface->device() != this || !(surface->usage() & usage::depth_stencil)))
        return error::invalid_call;
    bind(surface);
    unbind(std::exchange(state_.depth_stencil, surface));
    return ok;
}

// --- test hooks -------------------------------------------------------------------------

void Device::simulate_lost()
{
    level_ = CooperativeLevel::lost;
}

void Device::simulate_resettable()
{
    if (level_ == CooperativeLevel::lost)
        level_ = CooperativeLevel::not_reset;
}

} // namespace platform::gfx
