#include "vadu/lib3d/hard/directx8/textures.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "vadu/exception.h"
#include "vadu/log.h"

namespace vadu::lib3d::hard::directx8 {

namespace gfx = platform::gfx;

namespace {

constexpr uint32_t largest_padded_size = 1u << 31;

// The requested size at a level below the top, at least one pixel.
uint32_t size_at_level(uint32_t size, uint32_t level)
{
    return level >= 32 ? 1 : std::max(1u, size >> level);
}

} // namespace

uint32_t padded_size(uint32_t size)
{
    if (size <= 1)
        return 1;
    if (size >= largest_padded_size)
        return largest_padded_size;
    return std::bit_ceil(size);
}

TextureBase texture_base_init(int32_t format, uint32_t width, uint32_t height)
{
    TextureBase base;
    base.format = format;
    base.width = width;
    base.height = height;
    base.padded_width = padded_size(width);
    base.padded_height = padded_size(height);
    base.horizontal_scale = static_cast<float>(width) / static_cast<float>(base.padded_width);
    base.vertical_scale = static_cast<float>(height) / static_cast<float>(base.padded_height);
    if (base.padded_width != width || base.padded_height != height)
        logs::log() << "WARNING: used non power-of-two texture!\n";
    return base;
}

uint32_t skipped_levels(uint32_t padded_width, uint32_t padded_height, uint32_t max_size)
{
    const uint32_t larger = std::max(padded_width, padded_height);
    if (max_size == 0 || larger <= max_size)
        return 0;
    const uint32_t skipped = larger / max_size / 2;
    // Both sides are powers of two: the smaller one can be halved this often.
    const auto room = static_cast<uint32_t>(std::countr_zero(std::min(padded_width, padded_height)));
    return std::min(skipped, room);
}

void replicate_edges(uint8_t* pixels, int32_t pitch, uint32_t pixel_bytes, uint32_t width, uint32_t height,
                     uint32_t requested_width, uint32_t requested_height)
{
    if (!pixels || pixel_bytes == 0 || requested_width == 0 || requested_height == 0)
        return;
    const uint32_t filled_width = std::min(requested_width, width);
    const uint32_t filled_height = std::min(requested_height, height);
    const auto row_at = [pixels, pitch](uint32_t y) { return pixels + static_cast<ptrdiff_t>(y) * pitch; };
    for (uint32_t y = 0; y < filled_height; ++y) {
        uint8_t* row = row_at(y);
        const uint8_t* last = row + size_t{filled_width - 1} * pixel_bytes;
        for (uint32_t x = filled_width; x < width; ++x)
            std::memcpy(row + size_t{x} * pixel_bytes, last, pixel_bytes);
    }
    const size_t row_bytes = size_t{width} * pixel_bytes;
    for (uint32_t y = filled_height; y < height; ++y)
        std::memcpy(row_at(y), row_at(y - 1), row_bytes);
}

// --- texture ----------------------------------------------------------------------------

Texture::Texture(ResourceOwner& owner, uint32_t /*levels*/, int32_t format, gfx::Format device_format, uint32_t width,
                 uint32_t height, uint32_t max_size)
    : ResourceRegistration(owner), base_(texture_base_init(format, width, height)), device_format_(device_format)
{
    skipped_ = skipped_levels(base_.padded_width, base_.padded_height, max_size);
    gfx::Device* target = device();
    if (!target || width == 0 || height == 0
        || gfx::failed(target->create_texture(base_.padded_width >> skipped_, base_.padded_height >> skipped_, 0, 0,
                                              device_format, gfx::Pool::managed, &texture_, nullptr))) {
        texture_ = nullptr;
        throw Gluck("vadu::lib3d::hard::directx8::Texture::Texture", "create_internal_texture() failed");
    }
}

Texture::~Texture()
{
    release_object(texture_);
}

bool Texture::set(uint32_t stage)
{
    gfx::Device* target = device();
    if (!target || !texture_)
        return false;
    gfx::Matrix scale;
    scale.m[0][0] = base_.horizontal_scale;
    scale.m[1][1] = base_.vertical_scale;
    target->set_transform(gfx::texture_transform(stage), scale);
    target->set_texture_stage_state(stage, gfx::TextureStageState::texture_transform_flags,
                                    gfx::texture_transform_flags::count2);
    // Unless point sampling was asked for, the filters stay as the drawing set them from
    // the record's filter byte: forcing them here would undo that byte for every texture.
    if (point_sampling_) {
        target->set_sampler_state(stage, gfx::SamplerState::mag_filter, gfx::texture_filter::point);
        target->set_sampler_state(stage, gfx::SamplerState::min_filter, gfx::texture_filter::point);
        target->set_sampler_state(stage, gfx::SamplerState::mip_filter, gfx::texture_filter::point);
    }
    return gfx::succeeded(target->set_texture(stage, texture_));
}

void* Texture::lock(uint32_t level, int32_t& pitch)
{
    if (level < skipped_)
        return nullptr;
    if (!hardware_operational())
        logs::log() << "Texture is locked in non-operational state\n";
    const uint32_t stored = level - skipped_;
    if (!texture_ || stored >= texture_->get_level_count())
        return nullptr;
    gfx::LockedRect rect;
    if (gfx::failed(texture_->lock_rect(stored, &rect, nullptr, gfx::lock_flags::no_system_lock)))
        throw Gluck("vadu::lib3d::hard::directx8::Texture::lock", "texture->LockRect() failed");
    pitch = rect.pitch;
    locked_.push_back({level, static_cast<uint8_t*>(rect.bits), rect.pitch});
    return rect.bits;
}

void Texture::unlock(uint32_t level)
{
    const auto found = std::find_if(locked_.begin(), locked_.end(),
                                    [level](const Locked& locked) { return locked.level == level; });
    if (found == locked_.end() || !texture_)
        return;
    const Locked locked = *found;
    locked_.erase(found);
    const uint32_t stored = level - skipped_;
    gfx::SurfaceDesc desc;
    if (gfx::succeeded(texture_->get_level_desc(stored, &desc)))
        replicate_edges(locked.pixels, locked.pitch, gfx::bytes_per_pixel(device_format_), desc.width, desc.height,
                        size_at_level(base_.width, level), size_at_level(base_.height, level));
    texture_->unlock_rect(stored);
    gfx::filter_texture(texture_, stored);
    operational_ = true;
}

void Texture::on_device_lost() {}

void Texture::drop()
{
    locked_.clear();
    release_object(texture_);
    operational_ = false;
}

// --- cube texture -----------------------------------------------------------------------

TextureCubic::TextureCubic(ResourceOwner& owner, uint32_t levels, int32_t format, gfx::Format device_format,
                           uint32_t width, uint32_t height)
    : ResourceRegistration(owner)
{
    constexpr const char* function = "vadu::lib3d::hard::directx8::TextureCubic::TextureCubic";
    if (width != height)
        throw Gluck(function, "Non-square textures are unsupported");
    base_ = texture_base_init(format, width, height);
    gfx::Device* target = device();
    if (!target || width == 0)
        throw Gluck(function, "create_internal_texture() failed");
    gfx::Result result = gfx::error::invalid_call;
    if (levels != 1)
        result = target->create_cube_texture(width, levels, 0, device_format, gfx::Pool::managed, &texture_, nullptr);
    if (gfx::failed(result))
        result = target->create_cube_texture(width, 1, gfx::usage::auto_gen_mipmap, device_format, gfx::Pool::managed,
                                             &texture_, nullptr);
    if (gfx::failed(result))
        result = target->create_cube_texture(width, 1, 0, device_format, gfx::Pool::managed, &texture_, nullptr);
    if (gfx::failed(result)) {
        texture_ = nullptr;
        throw Gluck(function, "create_internal_texture() failed");
    }
    level_count_ = texture_->get_level_count();
}

TextureCubic::~TextureCubic()
{
    release_object(texture_);
}

bool TextureCubic::set(uint32_t stage)
{
    gfx::Device* target = device();
    if (!target || !texture_)
        return false;
    return gfx::succeeded(target->set_texture(stage, texture_));
}

void* TextureCubic::lock(uint32_t level, uint32_t face, int32_t& pitch)
{
    constexpr const char* function = "vadu::lib3d::hard::directx8::TextureCubic::lock";
    if (!texture_)
        return nullptr;
    gfx::Surface* surface = nullptr;
    if (face > 5 || gfx::failed(texture_->get_cube_map_surface(static_cast<gfx::CubeFace>(face), level, &surface)))
        throw Gluck(function, "texture->GetCubeMapSurface() failed");
    gfx::LockedRect rect;
    if (gfx::failed(surface->lock_rect(&rect, nullptr, gfx::lock_flags::no_system_lock))) {
        surface->release();
        throw Gluck(function, "cube_face_surface->LockRect() failed");
    }
    surface->release();
    pitch = rect.pitch;
    return rect.bits;
}

void TextureCubic::unlock(uint32_t level, uint32_t face)
{
    if (!texture_)
        return;
    gfx::Surface* surface = nullptr;
    if (face > 5 || gfx::failed(texture_->get_cube_map_surface(static_cast<gfx::CubeFace>(face), level, &surface)))
        throw Gluck("vadu::lib3d::hard::directx8::TextureCubic::unlock", "texture->GetCubeMapSurface() failed");
    surface->unlock_rect();
    surface->release();
    operational_ = true;
}

void TextureCubic::on_device_lost() {}

void TextureCubic::drop()
{
    release_object(texture_);
    operational_ = false;
}

// --- render target ----------------------------------------------------------------------

RenderTarget::RenderTarget(ResourceOwner& owner, const Atom& name, uint32_t width, uint32_t height)
    : hard::RenderTarget(name), ResourceRegistration(owner), base_(texture_base_init(1, width, height))
{
}

RenderTarget::~RenderTarget()
{
    if (ResourceOwner* owner = get_owner())
        owner->forget_render_target(this);
    release_object(texture_);
}

bool RenderTarget::start_scene(double left, double right, double top, double bottom)
{
    constexpr const char* function = "vadu::lib3d::hard::directx8::RenderTarget::start_scene";
    if (!hardware_operational())
        return false;
    gfx::Device& target = *device();
    if (!texture_) {
        drop();
        if (gfx::failed(target.create_texture(base_.padded_width, base_.padded_height, 1, gfx::usage::render_target,
                                              gfx::Format::x8r8g8b8, gfx::Pool::default_pool, &texture_, nullptr))) {
            texture_ = nullptr;
            throw Gluck(function, "hardware->get_device()->CreateTexture() failed");
        }
    }
    gfx::Surface* surface = nullptr;
    if (gfx::failed(texture_->get_surface_level(0, &surface)))
        throw Gluck(function, "texture->GetSurfaceLevel() failed");
    target.set_render_target(0, surface);
    surface->release();
    if (gfx::failed(target.begin_scene()))
        return false;
    get_owner()->set_scene_viewport(left, right, top, bottom, base_.padded_width, base_.padded_height);
    return true;
}

bool RenderTarget::set(uint32_t stage)
{
    gfx::Device* target = device();
    return target && gfx::succeeded(target->set_texture(stage, texture_));
}

void RenderTarget::on_device_lost()
{
    drop();
}

void RenderTarget::drop()
{
    release_object(texture_);
}

} // namespace vadu::lib3d::hard::directx8
