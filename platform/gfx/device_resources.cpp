// The graphics device's creation of resources: render targets, vertex and index buffers,
// textures and cube textures, each checked against what the adapter allows.

#include "platform/gfx/device.h"
#include "platform/gfx/format.h"
#include "platform/gfx/internal.h"

#include <algorithm>
#include <bit>
#include <new>

namespace platform::gfx {
namespace {

constexpr uint32_t kMaxBufferBytes = 256u << 20;

bool valid_pool(Pool pool)
{
    return pool == Pool::default_pool || pool == Pool::managed;
}

uint32_t full_chain(uint32_t width, uint32_t height)
{
    return static_cast<uint32_t>(std::bit_width(std::max(width, height)));
}

} // namespace

namespace {

template <typename T>
Result finish_creation(T* object, T** out)
{
    *out = object;
    return ok;
}

} // namespace

Result Device::create_render_target(uint32_t width, uint32_t height, Format format, uint32_t multisample_type,
                                    uint32_t multisample_quality, bool lockable, Surface** surface,
                                    void* shared_handle)
{
    if (const Result result = detail::scripted(Call::create_render_target); failed(result))
        return result;
    if (surface == nullptr)
        return error::invalid_call;
    *surface = nullptr;
    const AdapterConfig* config = detail::adapter_config(adapter_);
    if (shared_handle != nullptr || config == nullptr || width == 0 || height == 0
        || width > detail::max_surface_side || height > detail::max_surface_side
        || !detail::contains(config->render_target_formats, format) || multisample_quality != 0
        || !detail::supports_multisample(*config, format, multisample_type)
        || (lockable && multisample_type != multisample::none))
        return error::invalid_call;
    try {
        return finish_creation(new Surface(this, Pool::default_pool, usage::render_target, format, width, height,
                                           multisample_type, lockable, nullptr),
                               surface);
    } catch (const std::bad_alloc&) {
        return error::out_of_video_memory;
    }
}

Result Device::create_vertex_buffer(uint32_t length, uint32_t usage, uint32_t fvf, Pool pool, VertexBuffer** buffer,
                                    void* shared_handle)
{
    if (const Result result = detail::scripted(Call::create_vertex_buffer); failed(result))
        return result;
    if (buffer == nullptr)
        return error::invalid_call;
    *buffer = nullptr;
    const uint32_t allowed = usage::write_only | usage::software_processing | usage::do_not_clip | usage::points
        | usage::dynamic;
    if (shared_handle != nullptr || length == 0 || length > kMaxBufferBytes || (usage & ~allowed)
        || !valid_pool(pool) || (pool == Pool::managed && (usage & usage::dynamic)))
        return error::invalid_call;
    if (fvf != 0 && (fvf_stride(fvf) == 0 || length < fvf_stride(fvf)))
        return error::invalid_call;
    try {
        return finish_creation(new VertexBuffer(this, pool, usage, length, fvf), buffer);
    } catch (const std::bad_alloc&) {
        return error::out_of_video_memory;
    }
}

Result Device::create_index_buffer(uint32_t length, uint32_t usage, Format format, Pool pool, IndexBuffer** buffer,
                                   void* shared_handle)
{
    if (const Result result = detail::scripted(Call::create_index_buffer); failed(result))
        return result;
    if (buffer == nullptr)
        return error::invalid_call;
    *buffer = nullptr;
    const uint32_t allowed = usage::write_only | usage::software_processing | usage::dynamic;
    const bool format_ok = format == Format::index16
        || (format == Format::index32 && caps().max_vertex_index > 0xFFFF);
    if (shared_handle != nullptr || length == 0 || length > kMaxBufferBytes || (usage & ~allowed) || !format_ok
        || !valid_pool(pool) || (pool == Pool::managed && (usage & usage::dynamic)))
        return error::invalid_call;
    try {
        return finish_creation(new IndexBuffer(this, pool, usage, length, format), buffer);
    } catch (const std::bad_alloc&) {
        return error::out_of_video_memory;
    }
}

namespace {

// The checks textures and cube textures share; the resolved level count on success.
Result check_texture(const AdapterConfig* config, uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                     Format format, Pool pool, bool cube, void* shared_handle, uint32_t* resolved_levels)
{
    if (config == nullptr || shared_handle != nullptr || width == 0 || height == 0
        || width > config->caps.max_texture_width || height > config->caps.max_texture_height || !valid_pool(pool))
        return error::invalid_call;
    const uint32_t allowed = usage::render_target | usage::dynamic | usage::auto_gen_mipmap;
    if ((usage & ~allowed) || ((usage & usage::render_target) && pool != Pool::default_pool)
        || ((usage & usage::dynamic) && pool == Pool::managed)
        || ((usage & usage::render_target) && (usage & usage::dynamic)))
        return error::invalid_call;
    const std::vector<Format>& formats = cube ? config->cube_texture_formats : config->texture_formats;
    if (!detail::contains(formats, format)
        || ((usage & usage::render_target) && !detail::contains(config->render_target_formats, format)))
        return error::invalid_call;
    if (cube && !(config->caps.texture_caps & caps_flags::texture::cube_map))
        return error::invalid_call;
    const uint32_t full = full_chain(width, height);
    if (levels > full)
        return error::invalid_call;
    if (usage & usage::auto_gen_mipmap) {
        // The chain below level 0 is the device's own; callers see one level.
        if (levels > 1)
            return error::invalid_call;
        levels = 1;
    }
    *resolved_levels = levels == 0 ? full : levels;
    return ok;
}

} // namespace

Result Device::create_texture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, Format format,
                              Pool pool, Texture** texture, void* shared_handle)
{
    if (const Result result = detail::scripted(Call::create_texture); failed(result))
        return result;
    if (texture == nullptr)
        return error::invalid_call;
    *texture = nullptr;
    uint32_t resolved = 0;
    if (const Result result = check_texture(detail::adapter_config(adapter_), width, height, levels, usage, format,
                                            pool, false, shared_handle, &resolved);
        failed(result))
        return result;
    try {
        return finish_creation(new Texture(this, pool, usage, format, width, height, resolved), texture);
    } catch (const std::bad_alloc&) {
        return error::out_of_video_memory;
    }
}

Result Device::create_cube_texture(uint32_t edge, uint32_t levels, uint32_t usage, Format format, Pool pool,
                                   CubeTexture** texture, void* shared_handle)
{
    if (const Result result = detail::scripted(Call::create_cube_texture); failed(result))
        return result;
    if (texture == nullptr)
        return error::invalid_call;
    *texture = nullptr;
    uint32_t resolved = 0;
    if (const Result result = check_texture(detail::adapter_config(adapter_), edge, edge, levels, usage, format, pool,
                                            true, shared_handle, &resolved);
        failed(result))
        return result;
    try {
        return finish_creation(new CubeTexture(this, pool, usage, format, edge, resolved), texture);
    } catch (const std::bad_alloc&) {
        return error::out_of_video_memory;
    }
}

} // namespace platform::gfx
