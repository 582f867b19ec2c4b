// The built-in solids lit by a light node, drawn through the scene graph, the hardware and
// the device's rasterizer, compared byte for byte with the pictures in golden/ (see
// golden/README.md for how to regenerate them after an intended change).

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/gfx/present.h"
#include "support/golden.h"
#include "support/temp_folder.h"
#include "vadu/filesystem.h"
#include "scene_hardware_fixture.h"
#include "vadu/lib3d/hard/directx8/hardware_fixture.h"
#include "vadu/lib3d/material/texture_test_support.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/registry.h"

namespace solids_golden_test {
namespace {

namespace fs = std::filesystem;
namespace gfx = platform::gfx;
namespace hard = vadu::lib3d::hard;
using vadu::lib3d::node::Node;
using vadu::math::Matrix4;


// A dim ambient light, and a white directional light turned so that it comes from the
// upper left and in front.
const char* const lights = R"(<Light Name="A" Type="AMBIENT" Ambient="0.3 0.3 0.3" Intensity="1"/>
    <Light Name="L" Type="DIRECTIONAL" Diffuse="1 1 1" Intensity="1" Rotation="-2.5 -0.6 0"/>)";

class SolidsGoldenTest : public node_test::SceneHardwareFixture {
protected:
    // The scene (children of the root "Scene") loaded from a file.
    void load(const std::string& children)
    {
        texture_test::write_text(folder_.root() / "solids.scene", "<Scene>" + children + "</Scene>");
        scene_.reset(vadu::lib3d::node::create_from_resource("Scene", nullptr,
                                                             vadu::filesystem::String("solids.scene", true)));
        ASSERT_NE(scene_, nullptr);
        scene_->set_cached_global_matrix(Matrix4::identity());
    }

    // A list as the scenes' parallel cameras fill it: one unit to one pixel, the origin in
    // the middle, looking along −z and showing depths from 100 down to −100 (the scenes
    // keep to z below 0, where the device's depth range starts); a dark grey background.
    // The scene is walked into it.
    void render_scene()
    {
        list.clear();
        list.viewport[0] = -1;
        list.viewport[1] = 1;
        list.viewport[2] = 1;
        list.viewport[3] = -1;
        list.projection = vadu::lib3d::node::ortho_projection(-side / 2, side / 2, -side / 2, side / 2, -100, 100);
        list.camera_matrix = Matrix4::identity();
        list.camera_value = 1.0;
        list.camera_vector = {0.2f, 0.2f, 0.2f};
        scene_->mark_transform_changed();
        scene_->render_to_list(*hardware, list);
    }

    gfx::PresentedFrame draw_frame() { return draw_list(); }

    static fs::path golden_folder() { return fs::path(__FILE__).parent_path() / "golden"; }

    test_support::TempFolder folder_{"QuilloSolidsGolden"};
    // Souls and the file system over the folder.
    texture_test::Engine engine_{folder_.root().string()};
};

TEST_F(SolidsGoldenTest, GoldenLitSphere)
{
    // The default tessellation, its whole mesh under one orange material.
    load(std::string(lights) + R"(<Sphere Name="S" Scale="26 26 26" Position="0 0 -50">
        <Shaders><Shader TrianglesCount="224" VertexCount="151"><Material Diffuse="1 0.6 0.2"/></Shader></Shaders>
        </Sphere>)");
    render_scene();
    ASSERT_EQ(list.records.size(), 1u);
    ASSERT_EQ(list.lights.size(), 1u) << "the ambient light sums into the list";
    golden::expect_frame(draw_frame(), golden_folder(), "lit_sphere");
}

TEST_F(SolidsGoldenTest, GoldenLitBox)
{
    // Turned so that three faces show, each lit differently.
    load(std::string(lights) + R"(<Box Name="S" Scale="16 16 16" Rotation="0.5 0.7 0" Position="0 0 -50">
        <Shader><Material Diffuse="0.3 0.7 1"/></Shader>
        </Box>)");
    render_scene();
    ASSERT_EQ(list.records.size(), 1u);
    golden::expect_frame(draw_frame(), golden_folder(), "lit_box");
}

TEST_F(SolidsGoldenTest, PlaneLooksTheSameFromBothSidesAndAfterItsBufferIsDropped)
{
    // A centred square seen from the front and, turned half round about y, from the back:
    // the mirror image of a symmetric square, lit the same by a light along the view.
    const char* const frontal = R"(<Light Name="L" Type="DIRECTIONAL" Diffuse="1 1 1" Intensity="1"/>)";
    const auto plane = [&](const char* rotation) {
        return std::string(frontal) + R"(<Node Name="Turn" Position="0 0 -50" Rotation=")" + rotation +
               R"("><Plane Name="P" Scale="40 40 1" Position="-20 -20 0"><Shader><Material Diffuse="0.4 0.9 0.6"/></Shader></Plane></Node>)";
    };
    load(plane("0 0 0"));
    render_scene();
    const gfx::PresentedFrame front = draw_frame();
    const uint32_t background = directx8_test::pixel(*device().back_buffer(), 2, 2);
    const uint32_t centre = directx8_test::pixel(*device().back_buffer(), side / 2, side / 2);
    EXPECT_NE(centre, background);

    load(plane("0 3.14159265 0"));
    render_scene();
    const gfx::PresentedFrame back = draw_frame();
    EXPECT_EQ(directx8_test::pixel(*device().back_buffer(), side / 2, side / 2), centre);
    EXPECT_EQ(back.pixels, front.pixels);

    // A change of mode drops every device buffer; the plane fills its own again.
    hardware->stop_mode();
    ASSERT_TRUE(open());
    render_scene();
    const gfx::PresentedFrame reopened = draw_frame();
    EXPECT_EQ(reopened.pixels, back.pixels);
}

} // namespace
} // namespace solids_golden_test
