#include "platform/gfx/device.h"
#include "platform/gfx/format.h"
#include "platform/gfx/internal.h"
#include "platform/gfx/raster.h"

#include <algorithm>
#include <atomic>

namespace platform::gfx {

// --- reference counting -----------------------------------------------------------------

Object::Object()
{
    detail::object_created();
}

Object::~Object()
{
    detail::object_destroyed();
}

uint32_t Object::add_ref()
{
    return ++refs_;
}

uint32_t Object::release()
{
    if (refs_ == 0)
        return 0; // over-release; the layer's own holds keep the object valid
    if (--refs_ > 0)
        return refs_;
    // Held across the hook so that work done there cannot destroy the object under it.
    ++holds_;
    on_caller_released();
    --holds_;
    destroy_if_unused();
    return 0;
}

void Object::hold()
{
    ++holds_;
}

void Object::unhold()
{
    if (holds_ > 0)
        --holds_;
    destroy_if_unused();
}

void Object::destroy_if_unused()
{
    if (refs_ == 0 && holds_ == 0)
        delete this;
}

Resource::Resource(Device* device, Pool pool, uint32_t usage) : device_(device), pool_(pool), usage_(usage)
{
    device_->hold();
    device_->resources_.push_back(this);
}

Resource::~Resource()
{
    std::erase(device_->resources_, this);
    device_->unhold();
}

// --- surfaces ---------------------------------------------------------------------------

Surface::Surface(Device* device, Pool pool, uint32_t usage, Format format, uint32_t width, uint32_t height,
                 uint32_t multisample_type, bool lockable, BaseTexture* container)
    : Resource(device, pool, usage), format_(format), width_(width), height_(height), pitch_(0),
      multisample_type_(multisample_type),
      samples_(multisample_type == multisample::samples_2 || multisample_type == multisample::samples_4
                   ? multisample_type
                   : 1),
      lockable_(lockable), container_(container)
{
    const size_t pixels = static_cast<size_t>(width) * height;
    if (is_depth_format(format)) {
        depth_.assign(pixels * samples_, 1.0f);
        if (has_stencil(format))
            stencil_.assign(pixels, 0);
        lockable_ = false;
    } else {
        // Rows start on 4-byte boundaries, as display memory does; callers must honour
        // the pitch.
        pitch_ = (width * samples_ * bytes_per_pixel(format) + 3u) & ~3u;
        pixels_.assign(static_cast<size_t>(pitch_) * height, 0);
    }
    changing();
}

SurfaceDesc Surface::desc() const
{
    SurfaceDesc result;
    result.format = format_;
    result.type = ResourceType::surface;
    result.usage = usage();
    result.pool = pool();
    result.multisample_type = multisample_type_;
    result.width = width_;
    result.height = height_;
    return result;
}

void Surface::settle() const
{
    raster::settle(pixels_.data(), pixels_.size());
    raster::settle(depth_.data(), depth_.size() * sizeof(float));
}

namespace {

// Contents versions, unique across surfaces: a surface made where another was freed
// never passes for it.
uint64_t next_content_version()
{
    static std::atomic<uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

} // namespace

void Surface::changing()
{
    raster::forget(pixels_.data(), pixels_.size());
    raster::forget(depth_.data(), depth_.size() * sizeof(float));
    version_ = next_content_version();
}

void Surface::note_drawn()
{
    version_ = next_content_version();
}

Surface::~Surface()
{
    changing();
}

Result Surface::lock_rect(LockedRect* locked, const Rect* rect, uint32_t)
{
    if (locked == nullptr || !lockable_ || locked_)
        return error::invalid_call;
    Rect area{0, 0, static_cast<int32_t>(width_), static_cast<int32_t>(height_)};
    if (rect != nullptr) {
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom
            || rect->right > area.right || rect->bottom > area.bottom)
            return error::invalid_call;
        area = *rect;
    }
    if (const Result result = detail::scripted(Call::lock); failed(result))
        return result;
    changing();
    locked->pitch = static_cast<int32_t>(pitch_);
    locked->bits = pixels_.data() + static_cast<size_t>(area.top) * pitch_
        + static_cast<size_t>(area.left) * bytes_per_pixel(format_);
    locked_ = true;
    return ok;
}

Result Surface::unlock_rect()
{
    if (!locked_)
        return error::invalid_call;
    locked_ = false;
    // Writes through the lock may come until here.
    version_ = next_content_version();
    return ok;
}

uint32_t Surface::add_ref()
{
    return container_ ? container_->add_ref() : Resource::add_ref();
}

uint32_t Surface::release()
{
    return container_ ? container_->release() : Resource::release();
}

// --- textures ---------------------------------------------------------------------------

BaseTexture::BaseTexture(Device* device, Pool pool, uint32_t usage, Format format, uint32_t levels)
    : Resource(device, pool, usage), format_(format), level_count_(levels)
{
}

BaseTexture::~BaseTexture()
{
    for (Surface* surface : surfaces_)
        delete surface;
}

void BaseTexture::add_levels(uint32_t width, uint32_t height, uint32_t faces, bool lockable)
{
    surfaces_.reserve(static_cast<size_t>(faces) * level_count_);
    for (uint32_t face = 0; face < faces; ++face) {
        for (uint32_t level = 0; level < level_count_; ++level) {
            surfaces_.push_back(new Surface(device(), pool(), usage(), format_, std::max(1u, width >> level),
                                            std::max(1u, height >> level), multisample::none, lockable, this));
        }
    }
}

Surface* BaseTexture::level_surface(uint32_t face, uint32_t level) const
{
    if (face >= face_count() || level >= level_count_)
        return nullptr;
    const size_t index = static_cast<size_t>(face) * level_count_ + level;
    return index < surfaces_.size() ? surfaces_[index] : nullptr;
}

namespace {

bool texture_lockable(Pool pool, uint32_t usage)
{
    return (pool == Pool::managed || (usage & usage::dynamic)) && !(usage & usage::render_target);
}

Result describe(const Surface* surface, SurfaceDesc* desc)
{
    if (surface == nullptr || desc == nullptr)
        return error::invalid_call;
    *desc = surface->desc();
    return ok;
}

Result hand_out(Surface* surface, Surface** out)
{
    if (out == nullptr)
        return error::invalid_call;
    *out = surface;
    if (surface == nullptr)
        return error::invalid_call;
    surface->add_ref();
    return ok;
}

} // namespace

Texture::Texture(Device* device, Pool pool, uint32_t usage, Format format, uint32_t width, uint32_t height,
                 uint32_t levels)
    : BaseTexture(device, pool, usage, format, levels)
{
    add_levels(width, height, 1, texture_lockable(pool, usage));
}

Result Texture::get_level_desc(uint32_t level, SurfaceDesc* desc) const
{
    return describe(level_surface(0, level), desc);
}

Result Texture::get_surface_level(uint32_t level, Surface** surface)
{
    return hand_out(level_surface(0, level), surface);
}

Result Texture::lock_rect(uint32_t level, LockedRect* locked, const Rect* rect, uint32_t flags)
{
    Surface* surface = level_surface(0, level);
    return surface ? surface->lock_rect(locked, rect, flags) : error::invalid_call;
}

Result Texture::unlock_rect(uint32_t level)
{
    Surface* surface = level_surface(0, level);
    return surface ? surface->unlock_rect() : error::invalid_call;
}

CubeTexture::CubeTexture(Device* device, Pool pool, uint32_t usage, Format format, uint32_t edge, uint32_t levels)
    : BaseTexture(device, pool, usage, format, levels)
{
    add_levels(edge, edge, 6, texture_lockable(pool, usage));
}

Result CubeTexture::get_level_desc(uint32_t level, SurfaceDesc* desc) const
{
    return describe(level_surface(0, level), desc);
}

Result CubeTexture::get_cube_map_surface(CubeFace face, uint32_t level, Surface** surface)
{
    return hand_out(level_surface(static_cast<uint32_t>(face), level), surface);
}

Result CubeTexture::lock_rect(CubeFace face, uint32_t level, LockedRect* locked, const Rect* rect, uint32_t flags)
{
    Surface* surface = level_surface(static_cast<uint32_t>(face), level);
    return surface ? surface->lock_rect(locked, rect, flags) : error::invalid_call;
}

Result CubeTexture::unlock_rect(CubeFace face, uint32_t level)
{
    Surface* surface = level_surface(static_cast<uint32_t>(face), level);
    return surface ? surface->unlock_rect() : error::invalid_call;
}

namespace {

// Each destination pixel is the average of the 2×2 source block above it; a source
// side of 1 repeats its single row or column.
void box_filter_level(const Surface& source, Surface& target, const PixelLayout& layout)
{
    const uint8_t* from = source.pixels();
    uint8_t* to = target.pixels();
    const uint32_t bytes = layout.bytes;
    for (uint32_t y = 0; y < target.height(); ++y) {
        const uint32_t y0 = std::min(2 * y, source.height() - 1);
        const uint32_t y1 = std::min(2 * y + 1, source.height() - 1);
        for (uint32_t x = 0; x < target.width(); ++x) {
            const uint32_t x0 = std::min(2 * x, source.width() - 1);
            const uint32_t x1 = std::min(2 * x + 1, source.width() - 1);
            const uint32_t words[4] = {
                read_pixel_word(from + static_cast<size_t>(y0) * source.pitch() + x0 * bytes, bytes),
                read_pixel_word(from + static_cast<size_t>(y0) * source.pitch() + x1 * bytes, bytes),
                read_pixel_word(from + static_cast<size_t>(y1) * source.pitch() + x0 * bytes, bytes),
                read_pixel_word(from + static_cast<size_t>(y1) * source.pitch() + x1 * bytes, bytes),
            };
            write_pixel_word(to + static_cast<size_t>(y) * target.pitch() + x * bytes, bytes,
                             box_average(layout, words));
        }
    }
}

} // namespace

Result filter_texture(BaseTexture* texture, uint32_t from_level)
{
    if (texture == nullptr || from_level >= texture->level_count())
        return error::invalid_call;
    const PixelLayout* layout = pixel_layout(texture->format());
    if (layout == nullptr)
        return error::invalid_call;
    for (uint32_t face = 0; face < texture->face_count(); ++face) {
        for (uint32_t level = 0; level < texture->level_count(); ++level) {
            if (texture->level_surface(face, level)->is_locked())
                return error::invalid_call;
        }
    }
    for (uint32_t face = 0; face < texture->face_count(); ++face) {
        for (uint32_t level = from_level + 1; level < texture->level_count(); ++level)
            box_filter_level(*texture->level_surface(face, level - 1), *texture->level_surface(face, level), *layout);
    }
    return ok;
}

// --- buffers ----------------------------------------------------------------------------

Buffer::Buffer(Device* device, Pool pool, uint32_t usage, uint32_t size)
    : Resource(device, pool, usage), bytes_(size, 0)
{
}

BufferDesc Buffer::desc() const
{
    BufferDesc result;
    result.type = type();
    result.usage = usage();
    result.pool = pool();
    result.size = size();
    if (const auto* vertices = dynamic_cast<const VertexBuffer*>(this))
        result.fvf = vertices->fvf();
    if (const auto* indices = dynamic_cast<const IndexBuffer*>(this))
        result.format = indices->format();
    return result;
}

Result Buffer::lock(uint32_t offset, uint32_t size, void** data, uint32_t)
{
    if (data == nullptr)
        return error::invalid_call;
    *data = nullptr;
    const uint64_t total = bytes_.size();
    if (offset > total || (size != 0 && uint64_t{offset} + size > total))
        return error::invalid_call;
    if (const Result result = detail::scripted(Call::lock); failed(result))
        return result;
    *data = bytes_.data() + offset;
    ++locks_;
    return ok;
}

Result Buffer::unlock()
{
    if (locks_ == 0)
        return error::invalid_call;
    --locks_;
    return ok;
}

VertexBuffer::VertexBuffer(Device* device, Pool pool, uint32_t usage, uint32_t size, uint32_t fvf)
    : Buffer(device, pool, usage, size), fvf_(fvf)
{
}

IndexBuffer::IndexBuffer(Device* device, Pool pool, uint32_t usage, uint32_t size, Format format)
    : Buffer(device, pool, usage, size), format_(format)
{
}

} // namespace platform::gfx
