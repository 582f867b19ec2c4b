#pragma once

// A real device, 64 x 64, with the engine's node types registered: scenes loaded from
// files, walked into a render list and drawn through Hardware::render, for golden frames.

#include <memory>
#include <optional>

#include "platform/gfx/present.h"
#include "vadu/lib3d/hard/directx8/hardware_fixture.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/registry.h"

namespace node_test {

class SceneHardwareFixture : public directx8_test::HardwareFixture {
protected:
    static constexpr int side = 64;

    void SetUp() override
    {
        HardwareFixture::SetUp();
        platform::move_window(window, 0, 0, side, side);
        make_open_hardware();
        manager_ = std::make_unique<vadu::lib3d::hard::Manager::Creator>();
        vadu::lib3d::hard::Manager::add_hardware(hardware.get());
        node_types_.emplace();
    }

    void TearDown() override
    {
        scene_.reset();
        node_types_.reset();
        vadu::lib3d::hard::Manager::notify_remove_hardware(hardware.get());
        manager_.reset();
        HardwareFixture::TearDown();
    }

    // The list drawn into the back buffer, read back.
    platform::gfx::PresentedFrame draw_list()
    {
        EXPECT_TRUE(hardware->start_frame());
        hardware->render(list, *hardware);
        platform::gfx::PresentedFrame frame;
        platform::gfx::read_back_buffer(*device().back_buffer(), frame);
        hardware->finish_frame();
        return frame;
    }

    vadu::lib3d::hard::RenderList list;
    std::unique_ptr<vadu::lib3d::node::Node> scene_;

private:
    std::unique_ptr<vadu::lib3d::hard::Manager::Creator> manager_;
    std::optional<vadu::lib3d::node::NodeTypeRegistration> node_types_;
};

} // namespace node_test
