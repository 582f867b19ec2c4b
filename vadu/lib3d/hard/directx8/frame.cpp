// The frame cycle, scenes, and the device's resources across a lost device.

#include <cmath>
#include <cstring>
#include <limits>

#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/lib3d/hard/directx8/hardware.h"
#include "vadu/lib3d/hard/directx8/hardware_detail.h"

namespace vadu::lib3d::hard::directx8 {

namespace gfx = platform::gfx;

namespace {

// Truncation toward zero that stays defined for any double.
int64_t truncated(double value)
{
    constexpr double limit = 1e15;
    if (std::isnan(value))
        return 0;
    if (value > limit)
        return static_cast<int64_t>(limit);
    if (value < -limit)
        return static_cast<int64_t>(-limit);
    return static_cast<int64_t>(value);
}

// A viewport side: negative sizes and positions become 0, beyond 32 bits the maximum.
uint32_t viewport_value(int64_t value)
{
    if (value < 0)
        return 0;
    if (value > std::numeric_limits<uint32_t>::max())
        return std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(value);
}

template <class T>
void release(T*& object)
{
    if (object) {
        object->release();
        object = nullptr;
    }
}

// A 1×1 managed texture holding one colour in the format's layout; null when the
// device cannot make it.
gfx::Texture* make_default_texture(gfx::Device& device, gfx::Format format, uint32_t argb)
{
    gfx::Texture* texture = nullptr;
    if (gfx::failed(device.create_texture(1, 1, 1, 0, format, gfx::Pool::managed, &texture, nullptr)))
        return nullptr;
    gfx::LockedRect locked;
    if (gfx::succeeded(texture->lock_rect(0, &locked, nullptr, 0))) {
        // Written in the format's own layout: a 16-bit format holds two bytes, not four.
        gfx::encode_color(format, argb, static_cast<uint8_t*>(locked.bits));
        texture->unlock_rect(0);
    }
    return texture;
}

} // namespace

int Hardware::get_width() const
{
    return client_rect_.right - client_rect_.left;
}

int Hardware::get_height() const
{
    return client_rect_.bottom - client_rect_.top;
}

gfx::Texture* Hardware::get_default_texture() const noexcept
{
    return default_textures_ ? default_textures_->white : nullptr;
}

bool Hardware::start_scene(double left, double right, double top, double bottom)
{
    if (!device_ || !frame_sync_)
        return false;
    if (frame_sync_->back_buffer)
        device_->set_render_target(0, frame_sync_->back_buffer);
    device_->set_depth_stencil_surface(frame_sync_->depth);
    if (gfx::failed(device_->begin_scene())) {
        detail::write_log("BeginScene() failed\n");
        return false;
    }
    set_scene_viewport(left, right, top, bottom, static_cast<uint32_t>(std::max(0, get_width())),
                       static_cast<uint32_t>(std::max(0, get_height())));
    return true;
}

void Hardware::set_scene_viewport(double left, double right, double top, double bottom, uint32_t width,
                                  uint32_t height)
{
    if (!device_)
        return;
    const double w = width;
    const double h = height;
    const int64_t x0 = truncated(w * (left + 1.0) * 0.5);
    const int64_t x1 = truncated(w * (right + 1.0) * 0.5);
    const int64_t y0 = truncated(h - h * (top + 1.0) * 0.5);
    const int64_t y1 = truncated(h - h * (bottom + 1.0) * 0.5);
    viewport_ = gfx::Viewport{viewport_value(x0), viewport_value(y0), viewport_value(x1 - x0), viewport_value(y1 - y0),
                              0.0f, 1.0f};
    device_->set_viewport(viewport_);

    const gfx::Matrix identity;
    device_->set_transform(gfx::TransformState::projection, identity);
    device_->set_transform(gfx::TransformState::view, identity);
    device_->set_transform(gfx::TransformState::world, identity);
    applied_depth_ = -1;
    device_->set_render_state(gfx::RenderState::normalize_normals, 1);
    device_->set_render_state(gfx::RenderState::zenable, gfx::zbuffer_type::enabled);
    device_->set_render_state(gfx::RenderState::stencil_enable, 0);
    device_->set_render_state(gfx::RenderState::dither_enable, 0);
    device_->set_render_state(gfx::RenderState::point_sprite_enable, 1);
}

bool Hardware::start_frame()
{
    cleared_targets_.clear();
    if (!device_)
        return false;
    const platform::Rect client = platform::get_client_rect(window_);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width == 0 || height == 0) {
        // Once per minimised spell: the frames keep coming while it lasts.
        if (!minimised_reported_)
            detail::write_log("Hardware::start_frame() : Cannot render in minimized mode\n");
        minimised_reported_ = true;
        return false;
    }
    minimised_reported_ = false;

    const gfx::Result level = device_->test_cooperative_level();
    if (level == gfx::error::device_lost) {
        detail::write_log("Hardware::start_frame() : D3DERR_DEVICELOST\n");
        if (is_operational())
            lose_resources();
        blend_mode_ = -1;
        return false;
    }
    if (level == gfx::error::device_not_reset) {
        detail::write_log("Hardware::start_frame() : D3DERR_DEVICENOTRESET\n");
        return reset_device();
    }
    if (width != get_width() || height != get_height()) {
        detail::write_log("Hardware::start_frame() : window size changed\n");
        return reset_device();
    }

    if (!is_operational())
        throw Gluck("vadu::lib3d::hard::directx8::Hardware::start_frame",
                    "DirectGraphics 9 reported the device is no more operational");
    synchronise_frame();
    report_texture_memory();
    return true;
}

// Always false: the frame that resets draws nothing.
bool Hardware::reset_device()
{
    if (is_operational())
        lose_resources();
    present_parameters_.back_buffer_count = 1;
    if (present_parameters_.windowed) {
        present_parameters_.back_buffer_width = 0;
        present_parameters_.back_buffer_height = 0;
    }
    blend_mode_ = -1;
    const gfx::Result result = device_->reset(&present_parameters_);
    if (gfx::failed(result)) {
        String line("Hardware::start_frame(): device->Reset() failed hr=");
        line.append_number(result);
        line += "\n";
        detail::write_log(line);
        return false;
    }
    // The back buffer now has the window's size, whatever made the reset necessary.
    client_rect_ = platform::get_client_rect(window_);
    restore_resources();
    return false;
}

void Hardware::synchronise_frame()
{
    FrameSync& sync = *frame_sync_;
    if (!sync.small[0] || !sync.small[1])
        return;
    sync.toggle = !sync.toggle;
    gfx::Surface* drawn = sync.small[sync.toggle ? 1 : 0];
    gfx::Surface* waited = sync.small[sync.toggle ? 0 : 1];
    device_->set_render_target(0, drawn);
    device_->set_depth_stencil_surface(nullptr);
    if (gfx::succeeded(device_->begin_scene())) {
        static const float triangle[9] = {0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.0f, 1.0f};
        device_->set_fvf(gfx::fvf::xyz);
        device_->draw_primitive_up(gfx::PrimitiveType::triangle_list, 1, triangle, 12);
        device_->end_scene();
    }
    gfx::LockedRect locked;
    if (gfx::succeeded(waited->lock_rect(&locked, nullptr, gfx::lock_flags::no_system_lock)))
        waited->unlock_rect();
}

void Hardware::report_texture_memory()
{
    if (!device_)
        return;
    const uint32_t available = device_->get_available_texture_mem();
    if (available == reported_texture_memory_)
        return;
    reported_texture_memory_ = available;
    char number[32];
    converter::print_double(number, static_cast<double>(available) / 1024.0 / 1024.0);
    detail::write_log(String("Device (Video+AGP) Memory Available: ") + number + "Mb\n");
}

void Hardware::finish_frame()
{
    cleared_targets_.clear();
    if (!device_)
        return;
    if (device_->present() != gfx::ok)
        detail::write_log("Present returned BAD status\n");
}

void Hardware::lose_resources()
{
    detail::write_log("Hardware::lose_resources()\n");
    destroy_frame_resources();
    if (device_) {
        for (uint32_t stage = 0; stage < 8; ++stage)
            device_->set_texture(stage, nullptr);
        device_->set_stream_source(0, nullptr, 0, 0);
        device_->set_stream_source(1, nullptr, 0, 0);
        device_->set_indices(nullptr);
    }
    // Render targets are resources too: they hear of the loss through the list.
    resources_.lose_all();
}

void Hardware::destroy_frame_resources()
{
    if (frame_sync_) {
        FrameSync& sync = *frame_sync_;
        if (device_) {
            if (sync.back_buffer)
                device_->set_render_target(0, sync.back_buffer);
            device_->set_depth_stencil_surface(sync.depth);
        }
        release(sync.back_buffer);
        release(sync.depth);
        release(sync.small[0]);
        release(sync.small[1]);
        frame_sync_.reset();
    }
    if (default_textures_) {
        release(default_textures_->transparent);
        release(default_textures_->flat);
        release(default_textures_->white);
        default_textures_.reset();
    }
}

void Hardware::restore_resources()
{
    detail::write_log("Hardware::restore_resources()\n");
    if (!device_)
        return;
    destroy_frame_resources();

    auto sync = std::make_unique<FrameSync>();
    device_->get_render_target(0, &sync->back_buffer);
    device_->get_depth_stencil_surface(&sync->depth);
    if (mode_.render_target_format != gfx::Format::unknown) {
        for (gfx::Surface*& surface : sync->small) {
            if (gfx::failed(device_->create_render_target(2, 2, mode_.render_target_format, gfx::multisample::none, 0,
                                                          true, &surface, nullptr)))
                surface = nullptr;
        }
        // Both or none.
        if (!sync->small[0] || !sync->small[1]) {
            release(sync->small[0]);
            release(sync->small[1]);
        }
    }
    frame_sync_ = std::move(sync);

    auto textures = std::make_unique<DefaultTextures>();
    textures->transparent = make_default_texture(*device_, gfx::Format::a8r8g8b8, 0x00000000u);
    textures->flat = make_default_texture(*device_, mode_.texture_formats[0], 0xFF7F7FFFu);
    textures->white = make_default_texture(*device_, gfx::Format::a8r8g8b8, 0xFFFFFFFFu);
    default_textures_ = std::move(textures);

    for (uint32_t sampler = 0; sampler < 2; ++sampler) {
        device_->set_sampler_state(sampler, gfx::SamplerState::min_filter, gfx::texture_filter::linear);
        device_->set_sampler_state(sampler, gfx::SamplerState::mag_filter, gfx::texture_filter::linear);
        device_->set_sampler_state(sampler, gfx::SamplerState::mip_filter, gfx::texture_filter::linear);
    }
    device_->set_render_state(gfx::RenderState::alpha_blend_enable, 1);
    device_->set_render_state(gfx::RenderState::specular_enable, 0);
}

} // namespace vadu::lib3d::hard::directx8
