#pragma once

// A stand-in for the hardware that owns the resource objects: a headless window, the
// graphics device on it, the resource list and a few switches; plus a captured log.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/device.h"
#include "platform/gfx/hooks.h"
#include "platform/window.h"
#include "vadu/lib3d/hard/directx8/resource.h"
#include "vadu/log.h"
#include "support/log_capture.h"

namespace directx8_test {

namespace gfx = platform::gfx;
using namespace vadu::lib3d::hard::directx8;

struct SceneViewport {
    double left, right, top, bottom;
    uint32_t width, height;
};

class TestOwner : public ResourceOwner {
public:
    TestOwner()
    {
        platform::register_window_class("directx8 test window", platform::default_window_procedure);
        window_ = platform::create_window("directx8 test window", "directx8", 0, 0, 0, 320, 240);
        factory_ = gfx::create_factory(gfx::sdk_version);
        if (!window_ || !factory_) {
            ADD_FAILURE() << "no window or device factory";
            return;
        }
        parameters_.back_buffer_format = gfx::Format::x8r8g8b8;
        parameters_.back_buffer_count = 1;
        parameters_.swap_effect = gfx::swap_effect::discard;
        parameters_.device_window = window_;
        parameters_.windowed = true;
        parameters_.enable_auto_depth_stencil = true;
        parameters_.auto_depth_stencil_format = gfx::Format::d24x8;
        gfx::PresentParameters parameters = parameters_;
        if (gfx::failed(factory_->create_device(0, gfx::DeviceType::hal, window_,
                                                gfx::create_flags::hardware_vertex_processing, &parameters,
                                                &device_)))
            ADD_FAILURE() << "no device";
        operational = device_ != nullptr;
    }

    ~TestOwner()
    {
        if (device_)
            device_->release();
        if (factory_)
            factory_->release();
        if (window_)
            platform::destroy_window(window_);
    }

    TestOwner(const TestOwner&) = delete;
    TestOwner& operator=(const TestOwner&) = delete;

    gfx::Device* get_device() const override { return device_; }
    bool is_operational() const override { return operational; }
    ResourceList& get_resource_list() override { return resources_; }
    bool has_lights() const override { return lights; }
    bool has_hardware_vertex_shaders() const override { return hardware_vertex_shaders; }
    void set_scene_viewport(double left, double right, double top, double bottom, uint32_t width,
                            uint32_t height) override
    {
        viewports.push_back({left, right, top, bottom, width, height});
    }
    void forget_render_target(RenderTarget* target) override { forgotten.push_back(target); }

    gfx::Device& device() { return *device_; }

    // What the hardware does when its device is lost: unbind, then the loss hooks.
    void lose_resources()
    {
        operational = false;
        for (uint32_t stage = 0; stage < 8; ++stage)
            device_->set_texture(stage, nullptr);
        device_->set_stream_source(0, nullptr, 0, 0);
        device_->set_stream_source(1, nullptr, 0, 0);
        device_->set_indices(nullptr);
        resources_.lose_all();
    }

    // The device's reset after a loss; fails while a default-pool object is still held.
    gfx::Result reset()
    {
        gfx::PresentParameters parameters = parameters_;
        const gfx::Result result = device_->reset(&parameters);
        operational = gfx::succeeded(result);
        return result;
    }

    bool operational = false;
    bool lights = true;
    bool hardware_vertex_shaders = true;
    std::vector<SceneViewport> viewports;
    std::vector<RenderTarget*> forgotten;

private:
    platform::WindowHandle window_ = nullptr;
    gfx::Factory* factory_ = nullptr;
    gfx::Device* device_ = nullptr;
    gfx::PresentParameters parameters_;
    ResourceList resources_;
};

using test_support::LogCapture;

// Every test starts from the default device configuration, with no scripted failures,
// and checks that no object of the device layer outlives it.
class ResourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gfx::reset_hooks();
        // The tests read what the device was asked to draw.
        gfx::set_draw_log(true);
        objects_before_ = gfx::live_object_count();
        owner = std::make_unique<TestOwner>();
        ASSERT_TRUE(owner->get_device());
    }

    void TearDown() override
    {
        owner.reset();
        EXPECT_EQ(gfx::live_object_count(), objects_before_) << "device objects leaked";
        gfx::reset_hooks();
    }

    gfx::Device& device() { return owner->device(); }

    LogCapture log;
    std::unique_ptr<TestOwner> owner;

private:
    uint32_t objects_before_ = 0;
};

// Runs the statement and checks that it throws vadu::Gluck with these texts.
#define EXPECT_GLUCK(statement, function_text, description_text)                                             \
    do {                                                                                                     \
        try {                                                                                                \
            statement;                                                                                       \
            ADD_FAILURE() << "no Gluck from " #statement;                                                    \
        } catch (const vadu::Gluck& gluck) {                                                                 \
            EXPECT_EQ(std::string(gluck.get_function().data(), gluck.get_function().size()), function_text); \
            EXPECT_EQ(std::string(gluck.get_description().data(), gluck.get_description().size()),          \
                      description_text);                                                                     \
        }                                                                                                    \
    } while (false)

} // namespace directx8_test
