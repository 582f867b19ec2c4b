// The frame cycle, scenes, device loss and the world-matrix stack.

#include <gtest/gtest.h>

#include <string>

#include "hardware_fixture.h"
#include "vadu/lib3d/hard/directx8/buffers.h"
#include "vadu/lib3d/hard/directx8/hardware_detail.h"
#include "vadu/lib3d/hard/directx8/textures.h"

namespace directx8_test {
namespace frame_test_file {

namespace dx = vadu::lib3d::hard::directx8;

using FrameTest = HardwareFixture;

const vadu::lib3d::hard::FloatArray triangle = {0, 0, 0, 1, 0, 0, 0, 1, 0};
const vadu::lib3d::hard::FloatArray triangle_uv = {0, 0, 1, 0, 0, 1};

TEST_F(FrameTest, AFrameSynchronisesThenScenesDrawIntoTheBackBuffer)
{
    make_open_hardware();
    ASSERT_TRUE(hardware->start_frame());
    // One small triangle into a 2×2 target.
    ASSERT_EQ(device().draw_calls().size(), 1u);
    EXPECT_EQ(device().draw_calls()[0].kind, gfx::DrawKind::user_primitive);
    EXPECT_EQ(device().draw_calls()[0].fvf, gfx::fvf::xyz);
    EXPECT_NE(device().state().render_target, device().back_buffer());
    EXPECT_FALSE(device().in_scene());

    ASSERT_TRUE(hardware->start_scene(-1, 1, 1, -1));
    EXPECT_EQ(device().state().render_target, device().back_buffer());
    EXPECT_NE(device().state().depth_stencil, nullptr);
    EXPECT_TRUE(device().in_scene());
    device().end_scene();

    const uint64_t presents = device().present_count();
    hardware->finish_frame();
    EXPECT_EQ(device().present_count(), presents + 1);
    EXPECT_EQ(log.count("Present returned BAD status"), 0u);
}

TEST_F(FrameTest, APresentFailureIsOnlyLogged)
{
    make_open_hardware();
    ASSERT_TRUE(hardware->start_frame());
    gfx::script_failure(gfx::Call::present, {0, 1});
    hardware->finish_frame();
    EXPECT_EQ(log.count("Present returned BAD status\n"), 1u);
    EXPECT_TRUE(hardware->start_frame());
}

struct ViewportCase {
    double left, right, top, bottom;
    gfx::Viewport expected;
};

TEST_F(FrameTest, TheSceneViewportComesFromTheMinusOneToOneRectangle)
{
    make_open_hardware(); // 320 × 240
    const ViewportCase cases[] = {
        {-1, 1, 1, -1, {0, 0, 320, 240, 0.0f, 1.0f}},
        {-1, 0, 1, 0, {0, 0, 160, 120, 0.0f, 1.0f}},   // upper left quarter (y up)
        {0, 1, 0, -1, {160, 120, 160, 120, 0.0f, 1.0f}}, // lower right quarter
        {-0.5, 0.5, 0.5, -0.5, {80, 60, 160, 120, 0.0f, 1.0f}},
        {-1, 0.999, 1, -0.999, {0, 0, 319, 239, 0.0f, 1.0f}}, // truncated toward zero
    };
    for (const ViewportCase& c : cases) {
        ASSERT_TRUE(hardware->start_scene(c.left, c.right, c.top, c.bottom));
        gfx::Viewport viewport;
        device().get_viewport(&viewport);
        EXPECT_EQ(viewport.x, c.expected.x) << c.left;
        EXPECT_EQ(viewport.y, c.expected.y) << c.top;
        EXPECT_EQ(viewport.width, c.expected.width) << c.right;
        EXPECT_EQ(viewport.height, c.expected.height) << c.bottom;
        device().end_scene();
    }
    const gfx::DeviceState& state = device().state();
    EXPECT_EQ(render_state(state, gfx::RenderState::zenable), gfx::zbuffer_type::enabled);
    EXPECT_EQ(render_state(state, gfx::RenderState::normalize_normals), 1u);
    EXPECT_EQ(render_state(state, gfx::RenderState::stencil_enable), 0u);
    EXPECT_EQ(render_state(state, gfx::RenderState::dither_enable), 0u);
    EXPECT_EQ(render_state(state, gfx::RenderState::point_sprite_enable), 1u);
    EXPECT_EQ(render_state(state, gfx::RenderState::alpha_blend_enable), 1u);
    EXPECT_EQ(render_state(state, gfx::RenderState::specular_enable), 0u);
    gfx::Matrix world;
    device().get_transform(gfx::TransformState::world, &world);
    EXPECT_EQ(world, gfx::Matrix{});
}

TEST_F(FrameTest, ARefusedSceneIsLoggedAndDrawsNothing)
{
    make_open_hardware();
    gfx::script_failure(gfx::Call::begin_scene, {0, 1});
    EXPECT_FALSE(hardware->start_scene(-1, 1, 1, -1));
    EXPECT_FALSE(device().in_scene());
    EXPECT_EQ(log.count("BeginScene() failed\n"), 1u);
}

// A minimised window is not asked about: the loss must not be noticed yet.
TEST_F(FrameTest, AMinimisedWindowSkipsTheFrameBeforeAskingTheDevice)
{
    make_open_hardware();
    platform::show_window(window, platform::sw::MINIMIZE);
    gfx::lose_devices();
    EXPECT_FALSE(hardware->start_frame());
    EXPECT_EQ(log.count("Hardware::start_frame() : Cannot render in minimized mode\n"), 1u);
    EXPECT_EQ(log.count("D3DERR_DEVICELOST"), 0u);
    EXPECT_TRUE(hardware->is_operational());
}

// Frames keep being asked for while the window is minimised: the log hears of it once a
// spell, and the restored window draws again.
TEST_F(FrameTest, AMinimisedSpellIsLoggedOnceAndARestoreDrawsAgain)
{
    make_open_hardware();
    const std::string line = "Hardware::start_frame() : Cannot render in minimized mode\n";
    for (int spell = 1; spell <= 2; ++spell) {
        platform::show_window(window, platform::sw::MINIMIZE);
        for (int frame = 0; frame < 50; ++frame)
            EXPECT_FALSE(hardware->start_frame());
        EXPECT_EQ(log.count(line), static_cast<size_t>(spell)) << "spell " << spell;
        platform::show_window(window, platform::sw::RESTORE);
        ASSERT_TRUE(hardware->start_frame()) << "spell " << spell;
        ASSERT_TRUE(hardware->start_scene(-1, 1, 1, -1));
        device().end_scene();
        const uint64_t presents = device().present_count();
        hardware->finish_frame();
        EXPECT_EQ(device().present_count(), presents + 1);
    }
}

TEST_F(FrameTest, ALostDeviceReleasesDefaultPoolResourcesAndAResetRestores)
{
    make_open_hardware();
    auto dynamic = hardware->create_vertex_buffer(true);
    auto managed = hardware->create_vertex_buffer(false);
    auto texture = hardware->create_texture(1, vadu::pictureformat::format_bgra, 4, 4);
    auto target = hardware->create_render_target(vadu::Atom("target"), 8, 8);
    ASSERT_TRUE(dynamic->update(triangle, triangle_uv));
    ASSERT_TRUE(managed->update(triangle, triangle_uv));
    ASSERT_TRUE(target->start_scene(-1, 1, 1, -1));
    device().end_scene();
    auto& dynamic_buffer = dynamic_cast<dx::VertexBuffer&>(*dynamic);
    auto& managed_buffer = dynamic_cast<dx::VertexBuffer&>(*managed);
    auto& target_texture = dynamic_cast<dx::RenderTarget&>(*target);
    ASSERT_NE(target_texture.get_device_texture(), nullptr);
    ASSERT_TRUE(hardware->start_frame());

    gfx::lose_devices();
    EXPECT_FALSE(hardware->start_frame());
    EXPECT_EQ(log.count("Hardware::start_frame() : D3DERR_DEVICELOST\nHardware::lose_resources()\n"), 1u);
    EXPECT_FALSE(hardware->is_operational());
    EXPECT_EQ(hardware->get_default_texture(), nullptr);
    EXPECT_EQ(dynamic_buffer.get_device_buffer(), nullptr);
    EXPECT_EQ(target_texture.get_device_texture(), nullptr);
    EXPECT_NE(managed_buffer.get_device_buffer(), nullptr);
    EXPECT_NE(dynamic_cast<dx::Texture&>(*texture).get_device_texture(), nullptr);
    // Still lost: nothing more is released, the frame is skipped again.
    EXPECT_FALSE(hardware->start_frame());
    EXPECT_EQ(log.count("Hardware::lose_resources()\n"), 1u);

    gfx::make_devices_resettable();
    EXPECT_FALSE(hardware->start_frame()); // the frame that resets draws nothing
    EXPECT_EQ(log.count("Hardware::start_frame() : D3DERR_DEVICENOTRESET\n"), 1u);
    EXPECT_EQ(log.count("Hardware::restore_resources()\n"), 2u);
    EXPECT_TRUE(hardware->is_operational());
    EXPECT_EQ(hardware->get_blend_mode(), -1);
    EXPECT_EQ(device().cooperative_level(), gfx::CooperativeLevel::operational);
    EXPECT_TRUE(hardware->start_frame());
    ASSERT_TRUE(dynamic->update(triangle, triangle_uv));
    EXPECT_NE(dynamic_buffer.get_device_buffer(), nullptr);
}

TEST_F(FrameTest, AFailedResetIsLoggedAndTriedAgainNextFrame)
{
    make_open_hardware();
    gfx::lose_devices();
    gfx::make_devices_resettable();
    gfx::script_failure(gfx::Call::reset, {0, 1});
    EXPECT_FALSE(hardware->start_frame());
    EXPECT_EQ(log.count("Hardware::start_frame(): device->Reset() failed hr="), 1u);
    EXPECT_FALSE(hardware->is_operational());
    EXPECT_FALSE(hardware->start_frame());
    EXPECT_TRUE(hardware->is_operational());
    EXPECT_TRUE(hardware->start_frame());
}

TEST_F(FrameTest, ANewClientSizeResetsTheDeviceToIt)
{
    make_open_hardware();
    platform::move_window(window, 0, 0, 400, 300);
    EXPECT_FALSE(hardware->start_frame());
    EXPECT_EQ(log.count("Hardware::start_frame() : window size changed\n"), 1u);
    EXPECT_EQ(hardware->get_width(), 400);
    EXPECT_EQ(hardware->get_height(), 300);
    EXPECT_EQ(device().back_buffer()->width(), 400u);
    EXPECT_EQ(device().back_buffer()->height(), 300u);
    EXPECT_TRUE(hardware->start_frame());
}

TEST_F(FrameTest, AnOpenDeviceWithoutItsResourcesIsAnError)
{
    make_open_hardware();
    hardware->lose_resources();
    EXPECT_GLUCK(hardware->start_frame(), "vadu::lib3d::hard::directx8::Hardware::start_frame",
                 "DirectGraphics 9 reported the device is no more operational");
}

vadu::math::Matrix4 translation(float x, float y, float z)
{
    vadu::math::Matrix4 m = vadu::math::Matrix4::identity();
    m.m[3] = x;
    m.m[7] = y;
    m.m[11] = z;
    return m;
}

vadu::math::Matrix4 scale(float s)
{
    vadu::math::Matrix4 m = vadu::math::Matrix4::identity();
    m.m[0] = m.m[5] = m.m[10] = s;
    return m;
}

gfx::Matrix device_world(gfx::Device& device)
{
    gfx::Matrix world;
    device.get_transform(gfx::TransformState::world, &world);
    return world;
}

TEST_F(FrameTest, TheWorldStackComposesParentsWithChildren)
{
    make_open_hardware();
    EXPECT_EQ(hardware->get_world_depth(), 0);
    EXPECT_EQ(hardware->get_world_matrix().m[0], 1.0f);

    hardware->push_world_matrix(translation(1, 2, 3));
    EXPECT_EQ(device_world(device()), dx::detail::to_device(translation(1, 2, 3)));
    hardware->push_multiplied_world_matrix(scale(2));
    // The child's scale applies first, then the parent's translation.
    const vadu::math::Vector3 point = vadu::math::Matrix4::project_point(hardware->get_world_matrix(), {1, 0, 0});
    EXPECT_FLOAT_EQ(point.x, 3.0f);
    EXPECT_FLOAT_EQ(point.y, 2.0f);
    EXPECT_EQ(hardware->get_world_depth(), 2);
    EXPECT_EQ(device_world(device()), dx::detail::to_device(hardware->get_world_matrix()));

    // After a pop the device still holds the child; the next multiply starts from the
    // parent again.
    hardware->pop_world_matrix();
    hardware->push_multiplied_world_matrix(translation(0, 0, 1));
    EXPECT_EQ(hardware->get_world_matrix().m[11], 4.0f);
    EXPECT_EQ(hardware->get_world_matrix().m[0], 1.0f);
    // A scene resets the device's world; the stack's top is applied again.
    ASSERT_TRUE(hardware->start_scene(-1, 1, 1, -1));
    hardware->push_multiplied_world_matrix(translation(1, 0, 0));
    EXPECT_EQ(hardware->get_world_matrix().m[3], 2.0f);
    EXPECT_EQ(hardware->get_world_matrix().m[11], 4.0f);
    device().end_scene();
}

TEST_F(FrameTest, TheWorldStackIsBounded)
{
    make_hardware(); // no device needed
    for (int i = 1; i < Hardware::world_stack_size; ++i)
        hardware->push_multiplied_world_matrix(translation(1, 0, 0));
    EXPECT_EQ(hardware->get_world_depth(), 1023);
    EXPECT_EQ(hardware->get_world_matrix().m[3], 1023.0f);
    EXPECT_GLUCK(hardware->push_world_matrix(translation(0, 0, 0)),
                 "vadu::lib3d::hard::directx8::Hardware::push_world_matrix", "World matrix stack overflow");
    EXPECT_GLUCK(hardware->push_multiplied_world_matrix(translation(0, 0, 0)),
                 "vadu::lib3d::hard::directx8::Hardware::push_multiplied_world_matrix",
                 "World matrix stack overflow");
    EXPECT_EQ(hardware->get_world_depth(), 1023);
    EXPECT_EQ(hardware->get_world_matrix().m[3], 1023.0f);

    for (int i = 0; i < 1023; ++i)
        hardware->pop_world_matrix();
    EXPECT_GLUCK(hardware->pop_world_matrix(), "vadu::lib3d::hard::directx8::Hardware::pop_world_matrix",
                 "World matrix stack underflow");
    EXPECT_EQ(hardware->get_world_depth(), 0);
    EXPECT_EQ(hardware->get_world_matrix().m[3], 0.0f);
}

} // namespace
} // namespace directx8_test
