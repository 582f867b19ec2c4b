#pragma once

// Device stand-ins for the render-list, sprite-batch and material tests: a hardware whose
// vertex buffers keep what they were given, and textures that only have an identity.

#include <memory>
#include <vector>

#include "vadu/exception.h"
#include "vadu/lib3d/hard/hardware.h"
#include "vadu/lib3d/hard/resources.h"

namespace render_fakes {

using namespace vadu::lib3d::hard;

struct BufferLog {
    int created = 0;
    int destroyed = 0;
};

class FakeVertexBuffer : public VertexBuffer {
public:
    FakeVertexBuffer(BufferLog& log, bool dynamic) : log_(log), dynamic(dynamic) { ++log_.created; }
    ~FakeVertexBuffer() override { ++log_.destroyed; }

    bool is_operational() const override { return true; }
    bool update(const FloatArray& p, const FloatArray& t) override
    {
        ++updates;
        positions = p;
        texture_coordinates = t;
        return !refuse;
    }
    bool update(const FloatArray&, const FloatArray&, const FloatArray&, const FloatArray&) override { return false; }
    bool update(const FloatArray&, const FloatArray&, const FloatArray&, const FloatArray&, const FloatArray&) override
    {
        return false;
    }
    bool update(const FloatArray&, const FloatArray&, const FloatArray&, const FurtherArrays&) override
    {
        return false;
    }
    bool render_morph(VertexBuffer&, IndexBuffer&, uint32_t, uint32_t, uint32_t, uint32_t) override { return true; }
    bool draw_morph(VertexBuffer&, uint32_t, uint32_t) override { return true; }
    bool render(IndexBuffer&, uint32_t, uint32_t, uint32_t, uint32_t) override { return true; }
    bool draw(uint32_t, uint32_t) override { return true; }

    BufferLog& log_;
    bool dynamic;
    bool refuse = false;
    int updates = 0;
    FloatArray positions;
    FloatArray texture_coordinates;
};

class FakeStageTexture : public StageTexture {
public:
    bool is_operational() const override { return true; }
    bool set(uint32_t) override { return true; }
};

// A device texture that is always current; locking gives nothing.
class FakeTexture : public Texture {
public:
    bool is_operational() const override { return true; }
    bool set(uint32_t) override { return true; }
    void* lock(uint32_t, int32_t&) override { return nullptr; }
    void unlock(uint32_t) override {}
    void set_point_sampling(bool) override {}
    void set_wrap(bool) override {}
    vadu::pictureformat::Format get_format() const override { return vadu::pictureformat::format_bgra; }
    uint32_t get_width() const override { return 1; }
    uint32_t get_height() const override { return 1; }
};

class FakeRenderTarget : public RenderTarget {
public:
    explicit FakeRenderTarget(const vadu::Atom& name) : RenderTarget(name) {}
    int get_width() const override { return 64; }
    int get_height() const override { return 64; }
    bool start_scene(double, double, double, double) override { return true; }
    bool is_operational() const override { return true; }
    bool set(uint32_t) override { return true; }
};

class FakeHardware : public Hardware {
public:
    int get_width() const override { return 800; }
    int get_height() const override { return 600; }
    bool start_scene(double, double, double, double) override { return true; }
    bool set_mode_internal(platform::WindowHandle, const Row&) override { return true; }
    vadu::String get_description() const override { return "Fake"; }
    vadu::String get_name() const override { return "Fake"; }
    void stop_mode() override {}
    bool is_operational() const override { return true; }
    void render(RenderList&, RenderTargetBase&) override {}
    std::unique_ptr<Texture> create_texture(int, vadu::pictureformat::Format, int, int) override
    {
        throw vadu::Gluck("FakeHardware::create_texture", "not faked");
    }
    std::unique_ptr<TextureCubic> create_texture_cubic(int, vadu::pictureformat::Format, int, int) override
    {
        throw vadu::Gluck("FakeHardware::create_texture_cubic", "not faked");
    }
    std::unique_ptr<VertexBuffer> create_vertex_buffer(bool dynamic) override
    {
        auto buffer = std::make_unique<FakeVertexBuffer>(buffers, dynamic);
        vertex_buffers.push_back(buffer.get());
        return buffer;
    }
    std::unique_ptr<IndexBuffer> create_index_buffer() override
    {
        throw vadu::Gluck("FakeHardware::create_index_buffer", "not faked");
    }
    std::unique_ptr<PointBuffer> create_point_buffer() override
    {
        throw vadu::Gluck("FakeHardware::create_point_buffer", "not faked");
    }
    std::unique_ptr<RenderTarget> create_render_target(const vadu::Atom&, int, int) override
    {
        throw vadu::Gluck("FakeHardware::create_render_target", "not faked");
    }
    RenderTarget* find_render_target(const vadu::Atom& name) override
    {
        for (auto& target : render_targets) {
            if (target->get_name_atom() == name)
                return target.get();
        }
        return nullptr;
    }
    bool start_frame() override { return true; }
    void finish_frame() override {}

    BufferLog buffers;
    // Every buffer made, in order; they belong to whoever asked for them.
    std::vector<FakeVertexBuffer*> vertex_buffers;
    std::vector<std::unique_ptr<FakeRenderTarget>> render_targets;
};

// The render-device manager with one fake hardware for the test's lifetime.
class ManagerWithHardware {
public:
    ManagerWithHardware() { Manager::add_hardware(&hardware); }
    ~ManagerWithHardware() { Manager::notify_remove_hardware(&hardware); }
    ManagerWithHardware(const ManagerWithHardware&) = delete;
    ManagerWithHardware& operator=(const ManagerWithHardware&) = delete;

    Manager::Creator creator;
    FakeHardware hardware;
};

} // namespace render_fakes
