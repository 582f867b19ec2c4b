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

class SceneHardwareFixture : public directx8_test::ManagedHardwareFixture {
protected:
    static constexpr int side = 64;

    SceneHardwareFixture() : ManagedHardwareFixture(side, side) {}

    void SetUp() override
    {
        ManagedHardwareFixture::SetUp();
        node_types_.emplace();
    }

    void TearDown() override
    {
        scene_.reset();
        node_types_.reset();
        ManagedHardwareFixture::TearDown();
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
    std::optional<vadu::lib3d::node::NodeTypeRegistration> node_types_;
};

} // namespace node_test
