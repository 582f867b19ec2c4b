#pragma once

// Fixtures shared by the graphics device tests: a headless 640×480 window, a factory
// and a device, and a leak check when the test ends.

#include "platform/gfx/device.h"
#include "platform/gfx/hooks.h"
#include "platform/window.h"

#include <gtest/gtest.h>

namespace gfx_test {

using namespace platform::gfx;

inline platform::MessageResult quiet_procedure(platform::WindowHandle window, uint32_t message, uintptr_t wparam,
                                               intptr_t lparam)
{
    return platform::default_window_procedure(window, message, wparam, lparam);
}

class FactoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_hooks();
        objects_before = live_object_count();
        ASSERT_TRUE(platform::register_window_class("gfx test window", quiet_procedure));
        // No frame styles: the client area is the whole window.
        window = platform::create_window("gfx test window", "gfx", 0, 0, 0, 640, 480);
        ASSERT_NE(window, nullptr);
        factory = create_factory(sdk_version);
        ASSERT_NE(factory, nullptr);
    }

    void TearDown() override
    {
        if (factory)
            factory->release();
        EXPECT_EQ(live_object_count(), objects_before) << "objects of the device layer leaked";
        reset_hooks();
        platform::destroy_window(window);
    }

    PresentParameters windowed_parameters(Format back_buffer = Format::x8r8g8b8, Format depth = Format::d24x8) const
    {
        PresentParameters parameters;
        parameters.back_buffer_format = back_buffer;
        parameters.back_buffer_count = 1;
        parameters.swap_effect = swap_effect::discard;
        parameters.device_window = window;
        parameters.windowed = true;
        parameters.enable_auto_depth_stencil = depth != Format::unknown;
        parameters.auto_depth_stencil_format = depth;
        return parameters;
    }

    platform::WindowHandle window = nullptr;
    Factory* factory = nullptr;
    uint32_t objects_before = 0;
};

class DeviceTest : public FactoryTest {
protected:
    void SetUp() override
    {
        FactoryTest::SetUp();
        PresentParameters parameters = windowed_parameters();
        ASSERT_EQ(factory->create_device(0, DeviceType::hal, window, create_flags::hardware_vertex_processing,
                                         &parameters, &device),
                  ok);
    }

    void TearDown() override
    {
        if (device) {
            EXPECT_EQ(device->release(), 0u);
        }
        FactoryTest::TearDown();
    }

    Device* device = nullptr;
};

} // namespace gfx_test
