// Model nodes read from a scene, loaded by the passes and drawn lit through the hardware
// and the device's rasterizer, compared byte for byte with the pictures in golden/.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "model_writer.h"
#include "platform/gfx/present.h"
#include "support/golden.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "vadu/lib3d/hard/directx8/hardware_fixture.h"
#include "vadu/lib3d/node/scene_hardware_fixture.h"
#include "vadu/lib3d/material/texture_test_support.h"
#include "vadu/lib3d/model/model.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/time.h"

namespace model_golden_test {
namespace {

namespace fs = std::filesystem;
namespace gfx = platform::gfx;
namespace hard = vadu::lib3d::hard;
using vadu::lib3d::node::Node;
using vadu::math::Matrix4;


class ModelGoldenTest : public node_test::SceneHardwareFixture {
protected:
    void SetUp() override
    {
        SceneHardwareFixture::SetUp();
        model_writer::write_file(folder_.root() / "ball.model", model_writer::sphere(12, 24));
        model_writer::write_file(folder_.root() / "round.model", model_writer::lobed_sphere(12, 24, 0.0f, 5));
        model_writer::write_file(folder_.root() / "star.model", model_writer::lobed_sphere(12, 24, 0.45f, 5));
    }

    // The scene with a white directional light from the upper left front, loaded and its
    // models on the device.
    void load_scene(const std::string& model)
    {
        std::ofstream(folder_.root() / "models.scene") << R"(<Scene>
            <Light Name="Sun" Type="DIRECTIONAL" Diffuse="1 1 1" Intensity="1" Rotation="-2.5 -0.6 0"/>)"
                                                         << model << "</Scene>";
        scene_.reset(vadu::lib3d::node::create_from_resource("Scene", nullptr,
                                                             vadu::filesystem::String("models.scene", true)));
        ASSERT_NE(scene_, nullptr);
        int32_t pending = 0;
        ASSERT_TRUE(texture_test::pump_until(
            [&] {
                const int64_t now = vadu::time::get_ticks();
                pending = vadu::lib3d::model::load_models(now, 10.0);
                pending += vadu::lib3d::model::load_models_in_hardware(now, 10.0);
            },
            [&] { return pending == 0; }));
    }

    // A parallel view of the unit sphere's surroundings (1.4 units to each side), the
    // camera in front, a dark grey background; the scene walked into the list and drawn.
    gfx::PresentedFrame draw_frame()
    {
        list.clear();
        list.viewport[0] = -1;
        list.viewport[1] = 1;
        list.viewport[2] = 1;
        list.viewport[3] = -1;
        list.projection = Matrix4::identity();
        list.projection.m[0] = 1.0f / 1.4f;
        list.projection.m[5] = 1.0f / 1.4f;
        list.projection.m[10] = 0.005f;
        list.camera_matrix = Matrix4::identity();
        list.camera_matrix.m[11] = -100.0f;
        list.camera_value = 1.0;
        list.camera_vector = {0.2f, 0.2f, 0.2f};
        scene_->set_cached_global_matrix(Matrix4::identity());
        scene_->mark_transform_changed();
        scene_->render_to_list(*hardware, list);
        return draw_list();
    }

    static fs::path golden_folder() { return fs::path(__FILE__).parent_path() / "golden"; }

    test_support::TempFolder folder_{"QuilloModelGolden"};
    texture_test::Engine engine_{folder_.root().string()};
    test_support::LogCapture log_;
};

TEST_F(ModelGoldenTest, GoldenLitFileModel)
{
    load_scene(R"(<ModelFixed Name="Ball" Source="ball.model" Rotation="0.4 0.3 0"><Shaders>
        <Shader TrianglesCount="576" VertexCount="325"><Material Diffuse="0.3 0.7 1"/></Shader>
        </Shaders></ModelFixed>)");
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(list.records.size(), 0u);
    golden::expect_frame(draw_frame(), golden_folder(), "model_file_lit");
    EXPECT_EQ(list.records.size(), 1u);
}

TEST_F(ModelGoldenTest, GoldenLitMorphHalfWay)
{
    load_scene(R"(<ModelMorph Name="Blob" Source="round.model" Source2="star.model" MorphWeight="0.5"
        Rotation="1.2 0 0"><Shaders><Shader TrianglesCount="576"><Material Diffuse="1 0.6 0.3"/></Shader>
        </Shaders></ModelMorph>)");
    ASSERT_FALSE(HasFatalFailure());
    golden::expect_frame(draw_frame(), golden_folder(), "model_morph_half");
    EXPECT_EQ(list.records.size(), 1u);
}

// The indexed sphere through the nodes that build its vertices on the processor: a morph
// between the sphere and itself, and a skeleton without skinning arrays, show exactly what
// the fixed model shows.
TEST_F(ModelGoldenTest, AnIndexedModelLooksAlikeThroughEveryModelNode)
{
    const std::string shaders = R"(<Shaders><Shader TrianglesCount="576" VertexCount="325">
        <Material Diffuse="0.3 0.7 1"/></Shader></Shaders>)";
    load_scene(R"(<ModelFixed Name="Ball" Source="ball.model" Rotation="0.4 0.3 0">)" + shaders + "</ModelFixed>");
    ASSERT_FALSE(HasFatalFailure());
    const gfx::PresentedFrame fixed = draw_frame();
    // The sphere covers the middle of the picture in its own blue; the corner is the grey
    // background (pixels are B, G, R, A).
    const size_t middle = (size_t{fixed.height} / 2 * fixed.width + fixed.width / 2) * 4;
    ASSERT_GT(fixed.pixels.size(), middle + 2);
    EXPECT_GT(int{fixed.pixels[middle]}, int{fixed.pixels[0]} + 20);
    EXPECT_GT(int{fixed.pixels[middle]}, int{fixed.pixels[middle + 2]} + 20);
    const struct {
        const char* kind;
        std::string scene;
    } cases[] = {
        {"morph", R"(<ModelMorph Name="Ball" Source="ball.model" Source2="ball.model" MorphWeight="0.5"
            Rotation="0.4 0.3 0">)" + shaders + "</ModelMorph>"},
        {"skeleton", R"(<ModelSkeleton Name="Ball" Source="ball.model" Rotation="0.4 0.3 0">)" + shaders +
                         "</ModelSkeleton>"},
    };
    for (const auto& c : cases) {
        load_scene(c.scene);
        ASSERT_FALSE(HasFatalFailure());
        const gfx::PresentedFrame frame = draw_frame();
        EXPECT_EQ(list.records.size(), 1u) << c.kind;
        EXPECT_TRUE(frame.pixels == fixed.pixels) << c.kind << " differs from the fixed model";
    }
}

} // namespace
} // namespace model_golden_test
