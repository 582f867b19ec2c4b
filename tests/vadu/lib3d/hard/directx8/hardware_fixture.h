#pragma once

// A headless window, the device layer's factory and a directx8::Hardware built over
// it, with the engine log captured; plus probes that stand in for device resources
// and note the device's state at the moment they draw.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/device.h"
#include "platform/gfx/hooks.h"
#include "platform/modules.h"
#include "platform/window.h"
#include "test_owner.h"
#include "vadu/lib3d/hard/directx8/creator.h"
#include "vadu/lib3d/hard/directx8/hardware.h"
#include "vadu/lib3d/hard/render_list.h"

namespace directx8_test {

namespace hard = vadu::lib3d::hard;
using vadu::lib3d::hard::directx8::Hardware;
using vadu::lib3d::hard::directx8::read_capability_rows;

// An adapter that gets the oldest path: no shaders, two textures, no transform and
// lighting of its own.
inline gfx::Caps old_card_caps()
{
    gfx::Caps caps = gfx::default_caps();
    caps.pixel_shader_version = 0xFFFF0000u;
    caps.vertex_shader_version = 0xFFFE0000u;
    caps.max_simultaneous_textures = 2;
    caps.dev_caps &= ~gfx::caps_flags::dev::hw_transform_and_light;
    caps.texture_op_caps &= ~gfx::caps_flags::texture_op::multiply_add;
    return caps;
}

class HardwareFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        gfx::reset_hooks();
        // The tests read what the device was asked to draw.
        gfx::set_draw_log(true);
        platform::clear_module_failures();
        objects_before_ = gfx::live_object_count();
        platform::register_window_class("directx8 hardware test", platform::default_window_procedure);
        window = platform::create_window("directx8 hardware test", "hardware", 0, 0, 0, 320, 240);
        ASSERT_TRUE(window);
        factory = gfx::create_factory(gfx::sdk_version);
        ASSERT_TRUE(factory);
    }

    void TearDown() override
    {
        hardware.reset();
        if (factory)
            factory->release();
        if (window)
            platform::destroy_window(window);
        EXPECT_EQ(gfx::live_object_count(), objects_before_) << "device objects leaked";
        gfx::reset_hooks();
    }

    gfx::AdapterConfig& adapter(size_t index = 0) { return gfx::configuration().adapters[index]; }

    Hardware& make_hardware()
    {
        hardware = std::make_unique<Hardware>(factory, 0, read_capability_rows(adapter().caps));
        return *hardware;
    }

    // Opens the windowed row with the given antialiasing.
    bool open(const char* antialiasing = "None")
    {
        return hardware->set_mode_internal(window, {"No (Window mode)", "0", "0", antialiasing});
    }

    Hardware& make_open_hardware()
    {
        make_hardware();
        EXPECT_TRUE(open());
        return *hardware;
    }

    gfx::Device& device() { return *hardware->get_device(); }

    LogCapture log;
    platform::WindowHandle window = nullptr;
    gfx::Factory* factory = nullptr;
    std::unique_ptr<Hardware> hardware;

private:
    uint32_t objects_before_ = 0;
};

// The hardware opened in a window of the given client size, known to the device manager
// while the test runs: what scenes are drawn through.
class ManagedHardwareFixture : public HardwareFixture {
protected:
    ManagedHardwareFixture(int width, int height) : width_(width), height_(height) {}

    void SetUp() override
    {
        HardwareFixture::SetUp();
        platform::move_window(window, 0, 0, width_, height_);
        make_open_hardware();
        manager_ = std::make_unique<hard::Manager::Creator>();
        hard::Manager::add_hardware(hardware.get());
    }

    void TearDown() override
    {
        hard::Manager::notify_remove_hardware(hardware.get());
        manager_.reset();
        HardwareFixture::TearDown();
    }

    // A test may change the frame's size between a TearDown and the next SetUp.
    int width_;
    int height_;

private:
    std::unique_ptr<hard::Manager::Creator> manager_;
};

// One draw as a probe saw it.
struct Drawn {
    gfx::DeviceState state;
    uint32_t first = 0;
    uint32_t count = 0;
    bool indexed = false;
};

// A vertex buffer that draws nothing and notes the device state of every draw.
class ProbeBuffer : public hard::VertexBuffer {
public:
    ProbeBuffer(Hardware& hardware, std::vector<Drawn>& drawn) : hardware_(hardware), drawn_(drawn) {}

    bool is_operational() const override { return true; }
    bool update(const hard::FloatArray&, const hard::FloatArray&) override { return true; }
    bool update(const hard::FloatArray&, const hard::FloatArray&, const hard::FloatArray&,
                const hard::FloatArray&) override
    {
        return true;
    }
    bool update(const hard::FloatArray&, const hard::FloatArray&, const hard::FloatArray&, const hard::FloatArray&,
                const hard::FloatArray&) override
    {
        return true;
    }
    bool update(const hard::FloatArray&, const hard::FloatArray&, const hard::FloatArray&,
                const FurtherArrays&) override
    {
        return true;
    }
    bool render_morph(hard::VertexBuffer&, hard::IndexBuffer&, uint32_t, uint32_t, uint32_t, uint32_t) override
    {
        return true;
    }
    bool draw_morph(hard::VertexBuffer&, uint32_t, uint32_t) override { return true; }
    bool render(hard::IndexBuffer&, uint32_t start_index, uint32_t primitive_count, uint32_t, uint32_t) override
    {
        note(start_index, primitive_count, true);
        return true;
    }
    bool draw(uint32_t first_vertex, uint32_t primitive_count) override
    {
        note(first_vertex, primitive_count, false);
        return true;
    }

private:
    void note(uint32_t first, uint32_t count, bool indexed)
    {
        drawn_.push_back(Drawn{hardware_.get_device()->state(), first, count, indexed});
    }

    Hardware& hardware_;
    std::vector<Drawn>& drawn_;
};

// Point drawing, noted the same way.
class ProbePoints : public hard::PointBuffer {
public:
    ProbePoints(Hardware& hardware, std::vector<Drawn>& drawn) : hardware_(hardware), drawn_(drawn) {}

    bool is_operational() const override { return true; }
    bool update(const hard::FloatArray&, const hard::FloatArray&, const hard::FloatArray&) override { return true; }
    bool draw(uint32_t first, uint32_t count) override
    {
        drawn_.push_back(Drawn{hardware_.get_device()->state(), first, count, false});
        return true;
    }

private:
    Hardware& hardware_;
    std::vector<Drawn>& drawn_;
};

// A stage texture that notes the stages it is applied to.
class ProbeTexture : public hard::StageTexture {
public:
    bool is_operational() const override { return true; }
    bool set(uint32_t stage) override
    {
        stages.push_back(stage);
        return true;
    }
    std::vector<uint32_t> stages;
};

inline uint32_t render_state(const gfx::DeviceState& state, gfx::RenderState which)
{
    return state.render_states[static_cast<uint32_t>(which)];
}

inline uint32_t stage_state(const gfx::DeviceState& state, uint32_t stage, gfx::TextureStageState which)
{
    return state.stage_states[stage][static_cast<uint32_t>(which)];
}

inline uint32_t sampler_state(const gfx::DeviceState& state, uint32_t sampler, gfx::SamplerState which)
{
    return state.sampler_states[sampler][static_cast<uint32_t>(which)];
}

// The colour of a back-buffer pixel (alpha bits included).
inline uint32_t pixel(const gfx::Surface& surface, uint32_t x, uint32_t y)
{
    const uint8_t* at = surface.pixels() + size_t{y} * surface.pitch() + size_t{x} * gfx::bytes_per_pixel(surface.format());
    return gfx::decode_color(surface.format(), at);
}

} // namespace directx8_test
