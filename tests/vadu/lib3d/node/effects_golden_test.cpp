// The effect node types drawn through the hardware and the device's rasterizer, compared
// byte for byte with the pictures in golden/ (see tests/sources/golden/README.md for how
// to regenerate them after an intended change).

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/present.h"
#include "support/golden.h"
#include "vadu/animate/soul.h"
#include "vadu/lib3d/hard/directx8/hardware_fixture.h"
#include "platform/random.h"
#include "support/temp_folder.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/lib3d/material/texture_test_support.h"
#include "vadu/lib3d/node/billboard.h"
#include "vadu/lib3d/node/emitter.h"
#include "vadu/lib3d/node/gradient.h"
#include "vadu/lib3d/node/plume2d.h"

namespace effects_golden_test {
namespace {

namespace fs = std::filesystem;
namespace gfx = platform::gfx;
namespace hard = vadu::lib3d::hard;
using vadu::lib3d::node::Billboard;
using vadu::lib3d::node::Emitter;
using vadu::lib3d::particles::ParticleSystem;
using vadu::lib3d::node::Gradient;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Plume2D;
using vadu::math::Matrix4;
using vadu::math::Vector3;

constexpr int side = 64;

fs::path golden_folder()
{
    return fs::path(__FILE__).parent_path() / "golden";
}

class EffectsGoldenTest : public directx8_test::HardwareFixture {
protected:
    void SetUp() override
    {
        HardwareFixture::SetUp();
        platform::move_window(window, 0, 0, side, side);
        make_open_hardware();
        manager_ = std::make_unique<hard::Manager::Creator>();
        hard::Manager::add_hardware(hardware.get());
        start_list();
    }

    void TearDown() override
    {
        nodes_.clear();
        hard::Manager::notify_remove_hardware(hardware.get());
        manager_.reset();
        HardwareFixture::TearDown();
    }

    // An empty list with one unit to one pixel, y up, the origin in the lower left corner,
    // the camera 100 units in front of z = 0, and a dark grey background.
    void start_list()
    {
        list.clear();
        list.viewport[0] = -1;
        list.viewport[1] = 1;
        list.viewport[2] = 1;
        list.viewport[3] = -1;
        list.projection = Matrix4::identity();
        list.projection.m[0] = 2.0f / side;
        list.projection.m[3] = -1.0f;
        list.projection.m[5] = 2.0f / side;
        list.projection.m[7] = -1.0f;
        list.projection.m[10] = 0.005f;
        list.camera_matrix = Matrix4::identity();
        list.camera_matrix.m[11] = -100.0f;
        list.camera_value = 1.0;
        list.camera_vector = {0.2f, 0.2f, 0.2f};

    }

    template <class T>
    T& make(float x, float y)
    {
        nodes_.push_back(std::make_unique<T>("N", nullptr));
        T& node = static_cast<T&>(*nodes_.back());
        node.set_position(Vector3{x, y, 0.0f});
        node.set_cached_global_matrix(node.get_global_matrix(true));
        return node;
    }

    gfx::PresentedFrame draw_frame()
    {
        EXPECT_TRUE(hardware->start_frame());
        hardware->render(list, *hardware);
        gfx::PresentedFrame frame;
        gfx::read_back_buffer(*device().back_buffer(), frame);
        hardware->finish_frame();
        return frame;
    }

    static void expect_golden(const gfx::PresentedFrame& frame, const std::string& name)
    {
        golden::expect_frame(frame, golden_folder(), name);
    }

    test_support::TempFolder folder_{"QuilloEffectsGolden"};
    // Souls, the file system over the folder and the picture loader.
    texture_test::Engine engine_{folder_.root().string()};
    hard::RenderList list;

private:
    std::unique_ptr<hard::Manager::Creator> manager_;
    std::vector<std::unique_ptr<Node>> nodes_;
};

TEST_F(EffectsGoldenTest, GoldenGradientsInTheirFourDirections)
{
    // LEFT lower left, RIGHT lower right, UP upper left, DOWN upper right: red fading into
    // half-transparent blue.
    const float places[4][2] = {{2, 2}, {34, 2}, {2, 34}, {34, 34}};
    for (int32_t direction = Gradient::LEFT; direction <= Gradient::DOWN; ++direction) {
        Gradient& gradient = make<Gradient>(places[direction][0], places[direction][1] + 28);
        gradient.set_size(28, 28);
        gradient.set_colors(Vector3{1.0f, 0.0f, 0.0f}, Vector3{0.0f, 0.0f, 1.0f});
        gradient.set_transparencies(0.0f, 0.5f);
        gradient.set_direction(direction);
        gradient.render_to_list(*hardware, list);
    }
    expect_golden(draw_frame(), "gradient_directions");
}

TEST_F(EffectsGoldenTest, GoldenPlumeBandAlongABentTrail)
{
    Plume2D& plume = make<Plume2D>(0, 0);
    plume.set_width(6.0f);
    plume.set_color(Vector3{1.0f, 0.9f, 0.2f});
    plume.set_transparency(0.25f);
    plume.set_points({{6, 8}, {24, 30}, {40, 20}, {58, 56}});
    plume.render_to_list(*hardware, list);
    expect_golden(draw_frame(), "plume_band");
}

TEST_F(EffectsGoldenTest, GoldenBillboardUnderARotatedParentFacesTheCamera)
{
    Node& parent = make<Node>(32, 32);
    parent.set_rotation(Vector3{0.0f, 0.0f, 0.8f});
    parent.set_cached_global_matrix(parent.get_global_matrix(true));
    auto* billboard = new Billboard("B", &parent);
    billboard->set_position(Vector3{10.0f, 0.0f, 0.0f});
    auto* face = new Gradient("F", billboard);
    face->set_size(20, 12);
    face->set_colors(Vector3{0.2f, 1.0f, 0.2f}, Vector3{0.0f, 0.3f, 0.0f});
    face->set_transparencies(0.0f, 0.0f);
    face->set_position(Vector3{-10.0f, 6.0f, 0.0f});
    // A turned sibling beside it, for comparison.
    auto* turned = new Gradient("T", &parent);
    turned->set_size(16, 4);
    turned->set_colors(Vector3{1.0f, 1.0f, 1.0f}, Vector3{1.0f, 1.0f, 1.0f});
    turned->set_transparencies(0.0f, 0.0f);
    turned->set_position(Vector3{-24.0f, 2.0f, 0.0f});
    parent.render_to_list(*hardware, list);
    ASSERT_EQ(list.records.size(), 2u);
    expect_golden(draw_frame(), "billboard_rotated_parent");
}

TEST_F(EffectsGoldenTest, GoldenParticleEffectAtThreeTimes)
{
    // Four 8 × 8 frames in a 16 × 16 picture.
    texture_test::write_png(folder_.root() / "spark.png", texture_test::gradient(16, 16, 200, 255), true);
    texture_test::write_text(folder_.root() / "spark.particles", R"(<ParticleSystem Name="Spark" MaxParticles="60"
        EmissionRate="0.05" EmissionCount="2" ParticlesLifetime="1.2" BlendMode="BM_ADD" Texture="spark"
        Frames="4" FrameSize="8 8" FrameDelay="0.2">
      <StartOrigin RandomMin="-3 -3 0" RandomMax="3 3 0"/>
      <StartSize Base="5 5" RandomMax="3 3" Homogeneous="true"/>
      <StartColor Base="0 0 0" RandomMin="0.6 0.5 0" RandomMax="1 1 0.3"/>
      <VelocityEvent Value="0 0 0" RandomMin="-25 5 0" RandomMax="25 35 0"/>
      <GravityEvent Value="0 -30 0"/>
      <TorqueEvent Value="180"/>
      <ColorEvent Time="0.6" Value="1 0.2 0"/>
      <AlphaEvent Time="0" Value="1"/><AlphaEvent Time="1.2" Value="0"/>
    </ParticleSystem>)");
    platform::seed_random(11);
    Emitter& emitter = make<Emitter>(32, 24);
    ParticleSystem* system = ParticleSystem::load_file(vadu::filesystem::String("spark.particles", true), "test");
    emitter.set_particle_system(system);
    system->release();

    const double step = 1.0 / 20.0;
    double age = 0.0;
    bool texture_loaded = false;
    for (const double snapshot : {0.25, 0.6, 1.5}) {
        while (age < snapshot - 1e-9) {
            emitter.update(step);
            age += step;
        }
        start_list();
        emitter.render_to_list(*hardware, list);
        if (!texture_loaded) {
            // The first request starts the picture's load.
            EXPECT_TRUE(list.records.empty());
            int32_t pending = 0;
            ASSERT_TRUE(texture_test::pump_until(
                [&] { pending = vadu::lib3d::material::load_texture_simple_reps(vadu::time::get_ticks(), 10.0); },
                [&] { return pending == 0; }));
            texture_loaded = true;
            emitter.render_to_list(*hardware, list);
        }
        ASSERT_EQ(list.records.size(), 1u) << snapshot;
        const hard::RenderRecord& record = list.records[0];
        EXPECT_EQ(record.blend_mode, static_cast<uint32_t>(hard::BM_ADD));
        EXPECT_EQ(record.vertex_count, 6 * emitter.get_live_count());
        EXPECT_EQ(record.stages[1].wrap, 0);
        EXPECT_EQ(record.stages[1].alpha, 1);
        EXPECT_EQ(record.world[3], 32.0f);
        char name[32];
        std::snprintf(name, sizeof name, "particles_%03d", static_cast<int>(snapshot * 100 + 0.5));
        expect_golden(draw_frame(), name);
    }
}

} // namespace
} // namespace effects_golden_test
