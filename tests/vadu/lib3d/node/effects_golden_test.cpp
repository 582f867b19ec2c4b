// The effect node types drawn through the hardware and the device's rasterizer, compared
// byte for byte with the pictures in golden/ (see tests/sources/golden/README.md for how
// to regenerate them after an intended change).

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/present.h"
#include "support/golden.h"
#include "vadu/animate/soul.h"
#include "vadu/lib3d/hard/directx8/hardware_fixture.h"
#include "platform/random.h"
#include "support/temp_folder.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/lib3d/material/texture_test_support.h"
#include "vadu/lib3d/material/texture_sequence.h"
#include "vadu/lib3d/node/animation2d.h"
#include "vadu/lib3d/node/billboard.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/lib3d/node/loading_root.h"
#include "vadu/lib3d/node/emitter.h"
#include "vadu/lib3d/node/gradient.h"
#include "vadu/lib3d/node/plume2d.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/lib3d/node/sprite_grouper.h"
#include "vadu/lib3d/node/trace.h"

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

class EffectsGoldenTest : public directx8_test::ManagedHardwareFixture {
protected:
    EffectsGoldenTest() : ManagedHardwareFixture(side, side) {}

    void SetUp() override
    {
        ManagedHardwareFixture::SetUp();
        start_list();
    }

    void TearDown() override
    {
        nodes_.clear();
        ManagedHardwareFixture::TearDown();
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

    // Every picture, strip and frame asked for so far read and on the device.
    static void load_pictures()
    {
        namespace material = vadu::lib3d::material;
        int32_t pending = 0;
        ASSERT_TRUE(texture_test::pump_until(
            [&] {
                const int64_t now = vadu::time::get_ticks();
                pending = material::load_texture_simple_reps(now, 10.0) +
                          material::load_texture_sequence_frames(now, 10.0) +
                          material::load_texture_sequence_frame_reps(now, 10.0);
            },
            [&] { return pending == 0; }));
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

// Sparks born in world space already carry their emitter's depth: an emitter well in
// front of z 0 (as the HUD's is) shows through a camera that sees the depths the game's
// does (data/screens/game.camera: standing at z 100, seeing down to z -100), at the
// emitter's place and sorted at its depth.
TEST_F(EffectsGoldenTest, WorldSpaceSparksAwayFromDepthZeroShowThroughTheGamesCamera)
{
    texture_test::write_png(folder_.root() / "dot.png", texture_test::gradient(8, 8, 255, 255), true);
    texture_test::write_text(folder_.root() / "dot.particles", R"(<ParticleSystem Name="Dot" MaxParticles="8"
        EmissionRate="0" EmissionCount="1" ParticlesLifetime="5" BlendMode="BM_ADD" Texture="dot"
        ParentedToEmitter="false">
      <StartSize Base="6 6"/>
      <StartColor Base="1 1 1"/>
      <AlphaEvent Time="0" Value="1"/>
    </ParticleSystem>)");
    vadu::lib3d::node::LoadingRoot root(vadu::Atom("Root"));
    auto* camera = new vadu::lib3d::node::CameraParallel(vadu::Atom("Camera"), &root);
    camera->set_position({0.0f, 0.0f, 100.0f});
    camera->change_attribute(vadu::Atom("Width"), static_cast<double>(side));
    camera->change_attribute(vadu::Atom("Height"), static_cast<double>(side));
    camera->change_attribute(vadu::Atom("NearPlane"), -200.0);
    camera->change_attribute(vadu::Atom("FarPlane"), 200.0);

    for (const float depth : {0.0f, 60.0f, -60.0f}) {
        SCOPED_TRACE(depth);
        auto* hud = new Node("Hud", &root);
        hud->set_position(Vector3{0.0f, 0.0f, depth});
        auto* emitter = new Emitter("Trail", hud);
        emitter->set_position(Vector3{10.0f, -8.0f, 0.5f});
        ParticleSystem* system = ParticleSystem::load_file(vadu::filesystem::String("dot.particles", true), "test");
        emitter->set_particle_system(system);
        system->release();
        hud->get_global_matrix(true);
        emitter->update(0.05);
        ASSERT_GE(emitter->get_live_count(), 1u);
        EXPECT_FLOAT_EQ(emitter->get_particles()[0].start[vadu::lib3d::particles::POS_Z], depth + 0.5f);

        start_list();
        camera->prepare_render(*hardware, list);
        load_pictures();
        start_list();
        camera->prepare_render(*hardware, list);
        ASSERT_EQ(list.records.size(), 1u);
        // The record sorts at the emitter's depth; its vertices stand at the same depth.
        EXPECT_FLOAT_EQ(list.records[0].world[11], depth + 0.5f);
        const gfx::PresentedFrame frame = draw_frame();
        // The spark is a 6 x 6 square around (10, -8), pixel (42, 40) from the top left; its
        // picture is all blue.
        const auto brightness = [&](int x, int y) {
            return frame.pixels[(static_cast<size_t>(y) * frame.width + static_cast<size_t>(x)) * 4];
        };
        EXPECT_GT(brightness(42, 40), 200) << "the spark is not drawn where its emitter is";
        EXPECT_LT(brightness(42, 30), 100) << "nothing is drawn away from it";
        delete hud;
    }
}

TEST_F(EffectsGoldenTest, GoldenFlipbookAtThreeFrames)
{
    // Four 12 x 12 frames side by side, each a different colour with a growing bar.
    texture_test::Picture strip(48, 12);
    const uint8_t colours[4][3] = {{240, 60, 40}, {250, 200, 40}, {60, 200, 90}, {70, 120, 250}};
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 48; ++x) {
            const int frame = x / 12;
            uint8_t* p = strip.at(x, y);
            const bool bar = y >= 9 && x % 12 < 3 * (frame + 1);
            p[0] = bar ? 255 : colours[frame][0];
            p[1] = bar ? 255 : colours[frame][1];
            p[2] = bar ? 255 : colours[frame][2];
            p[3] = 255;
        }
    }
    texture_test::write_png(folder_.root() / "boom.png", strip, true);
    texture_test::write_text(folder_.root() / "boom.scene", R"(<Scene>
        <Animation2D Name="Boom" Start="Play" AlignX="LEFT" AlignY="BOTTOM" Position="8 8 0" Scale="4 4 1">
          <SpanSequence Name="Play" Image="boom" FramesInFile="4" FrameTime="0.25" LoopType="FORWARD"/>
        </Animation2D></Scene>)");
    vadu::lib3d::node::register_node_type("Animation2D",
                                          &vadu::lib3d::node::create_node_of_type<vadu::lib3d::node::Animation2D>);
    std::unique_ptr<Node> scene(vadu::lib3d::node::create_from_resource(
        "Scene", nullptr, vadu::filesystem::String("boom.scene", true)));
    vadu::lib3d::node::unregister_node_type("Animation2D");
    ASSERT_NE(scene, nullptr);
    auto* boom = dynamic_cast<vadu::lib3d::node::Animation2D*>(scene->find_child("Boom", true));
    ASSERT_NE(boom, nullptr);
    load_pictures();
    for (const int frame : {0, 1, 3}) {
        boom->change_attribute(vadu::Atom("Frame"), static_cast<double>(frame));
        scene->set_cached_global_matrix(Matrix4::identity());
        scene->mark_transform_changed();
        start_list();
        scene->render_to_list(*hardware, list);
        ASSERT_EQ(list.records.size(), 1u) << frame;
        EXPECT_EQ(list.records[0].primitive_count, 4u);
        expect_golden(draw_frame(), "flipbook_frame_" + std::to_string(frame));
    }
}

TEST_F(EffectsGoldenTest, GoldenSpriteGroupOfThreeInOneRecord)
{
    texture_test::write_png(folder_.root() / "tile.png", texture_test::gradient(16, 16, 120, 255), true);
    // The grouper is moved; its sprites keep their own places all the same.
    auto& group = make<vadu::lib3d::node::SpriteGrouper>(30, 30);
    new Node("Plain", &group);
    const float places[3][2] = {{12, 12}, {32, 40}, {50, 18}};
    for (int i = 0; i < 3; ++i) {
        auto* sprite = new vadu::lib3d::node::Sprite("S", &group);
        sprite->set_texture("tile", false);
        sprite->set_position(Vector3{places[i][0], places[i][1], 0.0f});
        sprite->set_rotation(Vector3{0.0f, 0.0f, 0.3f * static_cast<float>(i)});
        // Hidden or not, a grouped sprite is drawn.
        if (i == 1)
            sprite->set_visible(false);
    }
    group.render_to_list(*hardware, list);
    load_pictures();
    start_list();
    group.render_to_list(*hardware, list);
    ASSERT_EQ(list.records.size(), 1u);
    EXPECT_EQ(list.records[0].primitive_count, 6u);
    EXPECT_EQ(list.records[0].vertex_count, 18u);
    expect_golden(draw_frame(), "sprite_group");
}

TEST_F(EffectsGoldenTest, GoldenTraceAlongACurve)
{
    texture_test::write_png(folder_.root() / "stripe.png", texture_test::gradient(16, 16, 250, 255), true);
    texture_test::write_text(folder_.root() / "trace.scene", R"(<Scene>
        <Trace Name="Swoosh" Position="6 10 0" Scale="0.2 0.2 1">
          <Shader Name="ribbon"><Diffuse Image="stripe"/></Shader>
          <EnvelopeTCB><Keys>
            <Key Time="0" Value="0 0 0"/><Key Time="0.5" Value="120 180 0"/><Key Time="1" Value="250 40 0"/>
          </Keys></EnvelopeTCB>
        </Trace></Scene>)");
    vadu::lib3d::node::register_node_type("Trace", &vadu::lib3d::node::create_node_of_type<vadu::lib3d::node::Trace>);
    std::unique_ptr<Node> scene(vadu::lib3d::node::create_from_resource(
        "Scene", nullptr, vadu::filesystem::String("trace.scene", true)));
    vadu::lib3d::node::unregister_node_type("Trace");
    ASSERT_NE(scene, nullptr);
    scene->set_cached_global_matrix(Matrix4::identity());
    scene->render_to_list(*hardware, list);
    load_pictures();
    start_list();
    scene->mark_transform_changed();
    scene->render_to_list(*hardware, list);
    ASSERT_EQ(list.records.size(), 1u);
    expect_golden(draw_frame(), "trace_curve");
}

// A plain white flip-book quad, whose vertices carry normals (the front face's +z, towards
// the camera), lit by the lights given; the view is zoomed to 8 pixels a unit, the quad
// covers pixels 16 to 48 both ways.
class LitQuadTest : public EffectsGoldenTest {
protected:
    void SetUp() override
    {
        EffectsGoldenTest::SetUp();
        texture_test::Picture white(4, 4);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x) {
                uint8_t* p = white.at(x, y);
                p[0] = p[1] = p[2] = p[3] = 255;
            }
        }
        texture_test::write_png(folder_.root() / "white.png", white, true);
        // Those not registered yet, and only while the test runs.
        std::vector<std::string_view> missing;
        for (const char* type : {"Node", "Animation2D", "Light", "Gradient"}) {
            std::unique_ptr<Node> probe(vadu::lib3d::node::create_node(nullptr, type, "probe"));
            if (!probe)
                missing.push_back(type);
        }
        registered_.emplace(vadu::lib3d::node::get_engine_node_types(), [&missing](std::string_view type) {
            return std::find(missing.begin(), missing.end(), type) != missing.end();
        });
    }

    void TearDown() override
    {
        registered_.reset();
        EffectsGoldenTest::TearDown();
    }

    // The quad and the scene text after it, walked and drawn; `lights` entries reach the
    // device.
    gfx::PresentedFrame draw_lit(const std::string& after_quad, size_t lights)
    {
        texture_test::write_text(folder_.root() / "lit.scene", R"(<Scene>
            <Animation2D Name="Quad" Start="Still"><SpanSequence Name="Still" Image="white" FramesInFile="1"/></Animation2D>)" +
                                                                   after_quad + "</Scene>");
        std::unique_ptr<Node> scene(vadu::lib3d::node::create_from_resource(
            "Scene", nullptr, vadu::filesystem::String("lit.scene", true)));
        EXPECT_NE(scene, nullptr) << after_quad;
        if (!scene)
            return {};
        load_pictures();
        start_list();
        list.projection.m[0] = 2.0f / 8.0f;
        list.projection.m[3] = 0.0f;
        list.projection.m[5] = 2.0f / 8.0f;
        list.projection.m[7] = 0.0f;
        scene->set_cached_global_matrix(Matrix4::identity());
        scene->mark_transform_changed();
        scene->render_to_list(*hardware, list);
        EXPECT_EQ(list.lights.size(), lights) << after_quad;
        return draw_frame();
    }

    // Red, green and blue of a pixel.
    static std::array<int, 3> rgb_at(const gfx::PresentedFrame& frame, uint32_t x, uint32_t y)
    {
        const uint8_t* p = &frame.pixels[(size_t{y} * frame.width + x) * 4];
        return {p[2], p[1], p[0]};
    }

private:
    std::optional<vadu::lib3d::node::NodeTypeRegistration> registered_;
};

TEST_F(LitQuadTest, GoldenLitQuadUnderAmbientDirectionalAndPointLight)
{
    const struct {
        const char* lights;
        const char* golden;
        size_t device_lights;
    } cases[] = {
        // A dim blue ambient light alone shades the quad and nothing else: the gradient
        // strip below it has no normals and keeps its own colours.
        {R"(<Light Name="A" Type="AMBIENT" Ambient="0.3 0.4 0.9" Intensity="1"/>)", "lit_quad_ambient", 0},
        // The same ambient light under a warm directional light turned at a slant: the
        // face gets both.
        {R"(<Light Name="A" Type="AMBIENT" Ambient="0.15 0.2 0.45" Intensity="2"/>
            <Light Name="D" Type="DIRECTIONAL" Diffuse="1 0.6 0.2" Intensity="0.8" Rotation="0.6 0.5 0"/>)",
         "lit_quad_ambient_directional", 1},
        // Off the quad's centre, just in front of it: the near corner is lit the most.
        {R"(<Light Name="P" Type="POINT" Diffuse="0.3 1 0.5" Intensity="1" Position="-1 -1 1.5"/>)", "lit_quad_point",
         1},
    };
    const std::string strip =
        R"(<Gradient Name="Strip" Width="6" Height="1" Position="-3 -3 0" StartColor="1 0.2 0" EndColor="1 1 0"
                     StartTransparency="0" EndTransparency="0"/>)";
    for (const auto& c : cases)
        expect_golden(draw_lit(strip + c.lights, c.device_lights), c.golden);
}

// The device's lights are in the space of the records' world matrices: a directional light
// reaches the quad's front face only when it points at it (along −z), however its node is
// turned, and a point light lights the face only from in front of it, wherever it is moved.
TEST_F(LitQuadTest, TurnedAndMovedLightsLightTheFaceTheyReach)
{
    const struct {
        const char* light;
        bool lit;
    } cases[] = {
        {R"(<Light Name="L" Type="DIRECTIONAL" Diffuse="1 1 1" Intensity="1"/>)", true},
        {R"(<Light Name="L" Type="DIRECTIONAL" Diffuse="1 1 1" Intensity="1" Rotation="3.1415927 0 0"/>)", false},
        {R"(<Light Name="L" Type="DIRECTIONAL" Diffuse="1 1 1" Intensity="1" Rotation="0 3.1415927 0"/>)", false},
        // A half turn of the parent about y, undone by the light's own half turn.
        {R"(<Node Name="T" Rotation="0 3.1415927 0">
              <Light Name="L" Type="DIRECTIONAL" Diffuse="1 1 1" Intensity="1" Rotation="0 3.1415927 0"/></Node>)",
         true},
        {R"(<Node Name="T" Rotation="0 3.1415927 0">
              <Light Name="L" Type="DIRECTIONAL" Diffuse="1 1 1" Intensity="1"/></Node>)",
         false},
        {R"(<Light Name="L" Type="POINT" Diffuse="1 1 1" Intensity="1" Position="0 0 1"/>)", true},
        {R"(<Light Name="L" Type="POINT" Diffuse="1 1 1" Intensity="1" Position="0 0 -1"/>)", false},
        // Moved by its parent from behind the face to the front.
        {R"(<Node Name="T" Position="0.5 0 2"><Light Name="L" Type="POINT" Diffuse="1 1 1" Intensity="1"
              Position="0 0 -1"/></Node>)",
         true},
        {R"(<Node Name="T" Position="0 0 -2"><Light Name="L" Type="POINT" Diffuse="1 1 1" Intensity="1"
              Position="0 0 1"/></Node>)",
         false},
    };
    for (const auto& c : cases) {
        const gfx::PresentedFrame frame = draw_lit(c.light, 1);
        ASSERT_EQ(frame.width, static_cast<uint32_t>(side)) << c.light;
        // No ambient light: an unlit face is black, a lit one bright.
        const std::array<int, 3> centre = rgb_at(frame, 32, 32);
        if (c.lit)
            EXPECT_GT(centre[0], 40) << c.light;
        else
            EXPECT_EQ(centre, (std::array<int, 3>{0, 0, 0})) << c.light;
    }
}

} // namespace
} // namespace effects_golden_test
