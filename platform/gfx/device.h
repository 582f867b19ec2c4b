#pragma once

// The graphics device the renderer draws through: a factory with adapters, display
// modes, capabilities and format checks; a device with render, texture-stage and
// sampler states, transforms, lights, a material, a viewport, streams and bound
// textures; and the resources it creates (vertex and index buffers, textures with mip
// chains, cube textures, surfaces). The factory is reached at run time through the
// module table: "D3D9.DLL" / "Direct3DCreate9" resolves to create_factory.
//
// Objects are reference counted: every object returned through an out pointer (and
// every factory or device) carries one reference for the caller, which release()
// gives back. A resource keeps its device alive; a surface of a texture shares the
// texture's count. Bindings on the device (textures, streams, indices, targets) keep
// their objects alive without showing in the count.
//
// Pixels live in memory in the declared format's layout, rows `pitch` bytes apart.
// Depth surfaces hold one float per pixel (and a stencil byte when the format has
// stencil bits) and cannot be locked.
//
// Device loss: a device can be made LOST and then NOT-RESET by the test hooks
// (gfx/hooks.h). reset() fails while any default-pool resource still has references
// held by the caller (the implicit back buffer and depth surface included); managed
// resources survive a reset. For tests, drawing can log each call (see DrawCall, and
// set_draw_log in gfx/hooks.h).
//
// Main thread only.

#include "platform/gfx/types.h"

#include <array>
#include <cstdint>
#include <map>
#include <vector>

namespace platform::gfx {

class Device;
enum class Call;

// Reference-counted base of every object of the layer.
class Object {
public:
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    // Both return the caller-held count afterwards.
    virtual uint32_t add_ref();
    virtual uint32_t release();

    // Layer-internal references (bindings, child objects): they keep the object alive
    // without showing in the caller's count.
    void hold();
    void unhold();
    uint32_t held_by_caller() const { return refs_; }

protected:
    Object();
    virtual ~Object();
    // The caller's count has reached 0 (the object may stay alive while held).
    virtual void on_caller_released() {}

private:
    void destroy_if_unused();

    uint32_t refs_ = 1;
    uint32_t holds_ = 0;
};

// Something the device created: it remembers its pool, usage and device.
class Resource : public Object {
public:
    Device* device() const { return device_; }
    Pool pool() const { return pool_; }
    uint32_t usage() const { return usage_; }
    virtual ResourceType type() const = 0;

protected:
    Resource(Device* device, Pool pool, uint32_t usage);
    ~Resource() override;

private:
    friend class Device;
    Device* device_;
    Pool pool_;
    uint32_t usage_;
};

class BaseTexture;

// A 2D array of pixels: a texture level, a cube face level, a render target, the back
// buffer or a depth-stencil surface. A surface of a texture forwards its reference
// count to the texture.
class Surface : public Resource {
public:
    ResourceType type() const override { return ResourceType::surface; }
    SurfaceDesc desc() const;
    Format format() const { return format_; }
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    uint32_t pitch() const { return pitch_; }
    // The texture that owns this surface, or null.
    BaseTexture* container() const { return container_; }

    // rect null: the whole surface; a rect must lie inside the surface and not be empty.
    Result lock_rect(LockedRect* locked, const Rect* rect, uint32_t flags);
    Result unlock_rect();
    bool is_locked() const { return locked_; }

    // Storage, for the device and tests: colour pixels in the format's layout...
    // (writable access counts as a change of the contents)
    uint8_t* pixels()
    {
        changing();
        return pixels_.data();
    }
    const uint8_t* pixels() const
    {
        settle();
        return pixels_.data();
    }
    // ...or, for depth formats, one float per pixel and the stencil bytes.
    float* depth()
    {
        changing();
        return depth_.data();
    }
    const float* depth() const
    {
        settle();
        return depth_.data();
    }
    // A number that changes whenever the contents do (by a lock, writable access, or a
    // draw or clear recorded on the surface: note_drawn), never the same for two contents.
    uint64_t content_version() const { return version_; }
    void note_drawn();
    // The same memory as it stands, with draws recorded on it still to come: for
    // recording more of them.
    uint8_t* recorded_pixels() { return pixels_.data(); }
    float* recorded_depth() { return depth_.data(); }
    uint8_t* stencil() { return stencil_.data(); }
    // Values stored per pixel: 2 or 4 for a surface of that multisample type (colour
    // samples side by side within the pitch, depth samples side by side in the rows;
    // stencil stays one byte per pixel), else 1. Other sample counts store one.
    uint32_t samples() const { return samples_; }
    // Whether every depth value is one and the same (true until a draw writes depth or
    // part of the surface is cleared to another value): kept by the device, so that
    // draws that would pass everywhere read no depth.
    bool uniform_depth(float* value) const
    {
        *value = uniform_value_;
        return uniform_depth_;
    }
    void set_uniform_depth(bool uniform, float value = 1.0f)
    {
        uniform_depth_ = uniform;
        uniform_value_ = value;
    }

    uint32_t add_ref() override;
    uint32_t release() override;
    ~Surface() override;

private:
    friend class Device;
    friend class BaseTexture;
    // Draws what the rasterizer has recorded on this surface, before its memory is
    // read, changed or freed.
    void settle() const;
    // Before the memory is changed or freed by anything but the rasterizer: settles, and
    // tells the rasterizer that what it knows of the contents no longer holds.
    void changing();
    Surface(Device* device, Pool pool, uint32_t usage, Format format, uint32_t width, uint32_t height,
            uint32_t multisample_type, bool lockable, BaseTexture* container);

    Format format_;
    uint32_t width_;
    uint32_t height_;
    uint32_t pitch_;
    uint32_t multisample_type_;
    uint32_t samples_;
    uint64_t version_ = 0;
    bool uniform_depth_ = true; // depth surfaces start at 1
    float uniform_value_ = 1.0f;
    bool lockable_;
    bool locked_ = false;
    BaseTexture* container_;
    std::vector<uint8_t> pixels_;
    std::vector<float> depth_;
    std::vector<uint8_t> stencil_;
};

class BaseTexture : public Resource {
public:
    Format format() const { return format_; }
    uint32_t level_count() const { return level_count_; }
    // Faces per level: 1 for textures, 6 for cube textures.
    virtual uint32_t face_count() const = 0;
    // Null when out of range; no reference is added.
    Surface* level_surface(uint32_t face, uint32_t level) const;

protected:
    BaseTexture(Device* device, Pool pool, uint32_t usage, Format format, uint32_t levels);
    ~BaseTexture() override;
    void add_levels(uint32_t width, uint32_t height, uint32_t faces, bool lockable);

private:
    Format format_;
    uint32_t level_count_;
    std::vector<Surface*> surfaces_; // face-major; owned
};

class Texture : public BaseTexture {
public:
    ResourceType type() const override { return ResourceType::texture; }
    uint32_t face_count() const override { return 1; }
    uint32_t get_level_count() const { return level_count(); }
    Result get_level_desc(uint32_t level, SurfaceDesc* desc) const;
    // Adds a reference (to the texture).
    Result get_surface_level(uint32_t level, Surface** surface);
    Result lock_rect(uint32_t level, LockedRect* locked, const Rect* rect, uint32_t flags);
    Result unlock_rect(uint32_t level);

private:
    friend class Device;
    Texture(Device* device, Pool pool, uint32_t usage, Format format, uint32_t width, uint32_t height,
            uint32_t levels);
};

class CubeTexture : public BaseTexture {
public:
    ResourceType type() const override { return ResourceType::cube_texture; }
    uint32_t face_count() const override { return 6; }
    uint32_t get_level_count() const { return level_count(); }
    Result get_level_desc(uint32_t level, SurfaceDesc* desc) const;
    // Adds a reference (to the cube texture).
    Result get_cube_map_surface(CubeFace face, uint32_t level, Surface** surface);
    Result lock_rect(CubeFace face, uint32_t level, LockedRect* locked, const Rect* rect, uint32_t flags);
    Result unlock_rect(CubeFace face, uint32_t level);

private:
    friend class Device;
    CubeTexture(Device* device, Pool pool, uint32_t usage, Format format, uint32_t edge, uint32_t levels);
};

// Rebuilds every level below `from_level` (each face of a cube texture) from the one
// above it with a 2×2 box average per channel of the format. invalid_call for a level
// out of range or while a level is locked.
Result filter_texture(BaseTexture* texture, uint32_t from_level);

// Vertex and index buffers. Locks may nest; size 0 locks from offset to the end.
class Buffer : public Resource {
public:
    BufferDesc desc() const;
    uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }
    Result lock(uint32_t offset, uint32_t size, void** data, uint32_t flags);
    Result unlock();
    bool is_locked() const { return locks_ > 0; }
    const uint8_t* data() const { return bytes_.data(); }

protected:
    Buffer(Device* device, Pool pool, uint32_t usage, uint32_t size);

private:
    std::vector<uint8_t> bytes_;
    uint32_t locks_ = 0;
};

class VertexBuffer : public Buffer {
public:
    ResourceType type() const override { return ResourceType::vertex_buffer; }
    uint32_t fvf() const { return fvf_; }

private:
    friend class Device;
    VertexBuffer(Device* device, Pool pool, uint32_t usage, uint32_t size, uint32_t fvf);
    uint32_t fvf_;
};

class IndexBuffer : public Buffer {
public:
    ResourceType type() const override { return ResourceType::index_buffer; }
    Format format() const { return format_; }

private:
    friend class Device;
    IndexBuffer(Device* device, Pool pool, uint32_t usage, uint32_t size, Format format);
    Format format_;
};

enum class CooperativeLevel { operational, lost, not_reset };

constexpr uint32_t max_streams = 16;

struct StreamSource {
    VertexBuffer* buffer = nullptr;
    uint32_t offset = 0;
    uint32_t stride = 0;
};

struct LightSlot {
    Light light;
    bool enabled = false;
};

// Everything a draw depends on, as set through the device.
struct DeviceState {
    std::array<uint32_t, render_state_count> render_states{};
    std::array<std::array<uint32_t, texture_stage_state_count>, max_texture_stages> stage_states{};
    std::array<std::array<uint32_t, sampler_state_count>, max_samplers> sampler_states{};
    std::map<uint32_t, Matrix> transforms; // by TransformState value; identity when absent
    std::map<uint32_t, LightSlot> lights;
    Material material;
    Viewport viewport;
    uint32_t fvf = 0;
    std::array<StreamSource, max_streams> streams{};
    IndexBuffer* indices = nullptr;
    std::array<BaseTexture*, max_samplers> textures{};
    Surface* render_target = nullptr;
    Surface* depth_stencil = nullptr;
};

enum class DrawKind { primitive, indexed_primitive, user_primitive };

// One recorded draw, with the state it was drawn with.
struct DrawCall {
    DrawKind kind = DrawKind::primitive;
    PrimitiveType type = PrimitiveType::triangle_list;
    uint32_t start_vertex = 0;   // primitive
    int32_t base_vertex = 0;     // indexed
    uint32_t min_index = 0;      // indexed
    uint32_t vertex_count = 0;   // indexed: the vertex range used
    uint32_t start_index = 0;    // indexed
    uint32_t primitive_count = 0;
    uint32_t fvf = 0;
    uint32_t stride = 0;                // stream 0 or the user data's
    std::vector<uint8_t> user_vertices; // user_primitive: a copy of the data
};

class Factory;

class Device : public Object {
public:
    // --- frame and device state
    CooperativeLevel cooperative_level() const { return level_; }
    // ok, error::device_lost or error::device_not_reset.
    Result test_cooperative_level() const;
    // Rebuilds the back buffer and depth surface and sets every state to its default.
    // Fails while default-pool resources are still referenced by the caller; the
    // parameters are completed (sizes, count) as they were applied.
    Result reset(PresentParameters* parameters);
    Result begin_scene();
    Result end_scene();
    bool in_scene() const { return in_scene_; }
    // Hands the back buffer to the present handler (hooks.h). Outside a scene only.
    Result present();
    uint64_t present_count() const { return presents_; }
    // count 0 / rects null: the whole viewport; otherwise each rect clipped to it.
    Result clear(uint32_t count, const Rect* rects, uint32_t flags, uint32_t argb, float z, uint32_t stencil);
    uint32_t get_available_texture_mem() const;
    const PresentParameters& present_parameters() const { return parameters_; }
    WindowHandle window() const { return parameters_.device_window; }
    uint32_t creation_flags() const { return creation_flags_; }

    // --- fixed-function state
    Result set_viewport(const Viewport& viewport);
    Result get_viewport(Viewport* viewport) const;
    Result set_transform(TransformState state, const Matrix& matrix);
    Result get_transform(TransformState state, Matrix* matrix) const;
    // The slot becomes matrix × current.
    Result multiply_transform(TransformState state, const Matrix& matrix);
    Result set_render_state(RenderState state, uint32_t value);
    Result get_render_state(RenderState state, uint32_t* value) const;
    Result set_texture_stage_state(uint32_t stage, TextureStageState state, uint32_t value);
    Result get_texture_stage_state(uint32_t stage, TextureStageState state, uint32_t* value) const;
    Result set_sampler_state(uint32_t sampler, SamplerState state, uint32_t value);
    Result get_sampler_state(uint32_t sampler, SamplerState state, uint32_t* value) const;
    Result set_light(uint32_t index, const Light& light);
    Result get_light(uint32_t index, Light* light) const;
    // Enabling a light that was never set gives it the default white directional light.
    Result light_enable(uint32_t index, bool enable);
    Result set_material(const Material& material);
    Result set_fvf(uint32_t vertex_format);
    Result set_stream_source(uint32_t stream, VertexBuffer* buffer, uint32_t offset, uint32_t stride);
    Result set_indices(IndexBuffer* indices);
    Result set_texture(uint32_t sampler, BaseTexture* texture);
    const DeviceState& state() const { return state_; }

    // --- drawing (recorded; inside a scene, with a vertex format and valid ranges)
    Result draw_primitive(PrimitiveType type, uint32_t start_vertex, uint32_t primitive_count);
    Result draw_indexed_primitive(PrimitiveType type, int32_t base_vertex, uint32_t min_index,
                                  uint32_t vertex_count, uint32_t start_index, uint32_t primitive_count);
    // Unbinds stream 0 afterwards.
    Result draw_primitive_up(PrimitiveType type, uint32_t primitive_count, const void* vertices,
                             uint32_t stride);
    // Draws since the last present, while the draw log is on (gfx/hooks.h).
    const std::vector<DrawCall>& draw_calls() const { return draws_; }

    // --- targets (index 0 only)
    Result get_render_target(uint32_t index, Surface** surface);
    Result set_render_target(uint32_t index, Surface* surface); // also resets the viewport
    Result get_depth_stencil_surface(Surface** surface);         // not_found when none
    Result set_depth_stencil_surface(Surface* surface);           // null unbinds
    Surface* back_buffer() const { return back_buffer_; }          // no reference added

    // --- resources (shared_handle must be null)
    Result create_render_target(uint32_t width, uint32_t height, Format format, uint32_t multisample_type,
                                uint32_t multisample_quality, bool lockable, Surface** surface,
                                void* shared_handle);
    Result create_vertex_buffer(uint32_t length, uint32_t usage, uint32_t fvf, Pool pool, VertexBuffer** buffer,
                                void* shared_handle);
    Result create_index_buffer(uint32_t length, uint32_t usage, Format format, Pool pool, IndexBuffer** buffer,
                               void* shared_handle);
    // levels 0: the full chain down to 1×1.
    Result create_texture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, Format format,
                          Pool pool, Texture** texture, void* shared_handle);
    Result create_cube_texture(uint32_t edge, uint32_t levels, uint32_t usage, Format format, Pool pool,
                               CubeTexture** texture, void* shared_handle);

    // --- test hooks (see also hooks.h)
    void simulate_lost();      // → lost
    void simulate_resettable(); // lost → not_reset
    // Default-pool resources the caller still holds (implicit surfaces included).
    uint32_t default_resources_held() const;

private:
    friend class Factory;
    friend class Resource;
    Device(Factory* factory, uint32_t adapter, uint32_t flags);
    ~Device() override;
    void on_caller_released() override;
    Result apply_parameters(PresentParameters* parameters);
    void reset_state();
    void bind(Object* object);
    void unbind(Object* object);
    void drop_bindings();
    Result check_draw_state(uint32_t stream0_vertices_needed) const;
    // Empties the record of draws, keeping the vertex copies' buffers for reuse.
    void forget_draws();
    const Caps& caps() const;

    Factory* factory_;
    uint32_t adapter_;
    uint32_t creation_flags_;
    PresentParameters parameters_;
    CooperativeLevel level_ = CooperativeLevel::operational;
    bool in_scene_ = false;
    uint64_t presents_ = 0;
    DeviceState state_;
    Surface* back_buffer_ = nullptr;
    Surface* auto_depth_ = nullptr;
    std::vector<Resource*> resources_;
    std::vector<DrawCall> draws_;
    std::vector<std::vector<uint8_t>> spare_vertices_;
};

// The entry object: adapters and what they support, and device creation. Adapters,
// modes, capabilities and supported formats come from the configuration in hooks.h,
// read at each call.
class Factory : public Object {
public:
    uint32_t get_adapter_count() const;
    Result get_adapter_identifier(uint32_t adapter, uint32_t flags, AdapterIdentifier* identifier) const;
    // format unknown: every mode; otherwise the modes of that format.
    uint32_t get_adapter_mode_count(uint32_t adapter, Format format) const;
    Result enum_adapter_modes(uint32_t adapter, Format format, uint32_t mode, DisplayMode* display_mode) const;
    Result get_adapter_display_mode(uint32_t adapter, DisplayMode* display_mode) const;
    // Windowed: the display format must be the current mode's.
    Result check_device_type(uint32_t adapter, DeviceType type, Format display_format, Format back_buffer_format,
                             bool windowed) const;
    Result check_device_format(uint32_t adapter, DeviceType type, Format adapter_format, uint32_t usage,
                               ResourceType resource_type, Format format) const;
    Result check_device_multisample_type(uint32_t adapter, DeviceType type, Format format, bool windowed,
                                         uint32_t multisample_type, uint32_t* quality_levels) const;
    Result check_depth_stencil_match(uint32_t adapter, DeviceType type, Format adapter_format,
                                     Format render_target_format, Format depth_stencil_format) const;
    Result get_device_caps(uint32_t adapter, DeviceType type, Caps* caps) const;
    // Windowed only; exactly one vertex-processing flag, and hardware or mixed
    // processing only on an adapter with hardware transform and lighting.
    Result create_device(uint32_t adapter, DeviceType type, WindowHandle focus_window, uint32_t flags,
                         PresentParameters* parameters, Device** device);

private:
    friend Factory* create_factory(uint32_t version);
    Factory() = default;
    Result check_adapter(uint32_t adapter, DeviceType type) const;
    // The scripted result of `call` first, then the adapter check.
    Result check_adapter(Call call, uint32_t adapter, DeviceType type) const;
};

// The entry point: null for another SDK version or when scripted to fail.
Factory* create_factory(uint32_t version);
using CreateFactoryProc = Factory* (*)(uint32_t version);

} // namespace platform::gfx
