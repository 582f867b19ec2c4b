#include <gtest/gtest.h>

#include <cmath>

#include "effects_test_support.h"

namespace effects_test {
namespace {

using scene_test::vectors_near;
using vadu::lib3d::node::Billboard;
using vadu::lib3d::node::Light;
using vadu::lib3d::node::Plume2D;
using vadu::math::Matrix4;

// --- Billboard ---

class BillboardTest : public EffectsTest {};

TEST_F(BillboardTest, ChildrenFaceTheCameraUnderARotatedParent)
{
    Billboard* billboard = load_scene<Billboard>(
        R"(<Node Name="P" Rotation="0.3 1.1 0.7" Scale="2 2 2" Position="1 2 3">)"
        R"(<Billboard Name="B" Position="5 0 0" Rotation="0 0 1"><Recorder Name="C" Position="10 0 0"/></Billboard></Node>)",
        "B");
    ASSERT_NE(billboard, nullptr);
    // The camera turned a quarter turn about z and then some about x.
    list.camera_matrix = Matrix4::rotation(0.4f, 0.0f, 1.5707964f);
    list.camera_matrix[3] = 100.0f;
    render();
    const Vector3 centre = billboard->get_global_position();
    ASSERT_EQ(list.records.size(), 1u);
    const Matrix4& child = list.records[0].world;
    const Vector3 x_axis{list.camera_matrix[0], list.camera_matrix[4], list.camera_matrix[8]};
    EXPECT_TRUE(vectors_near(Vector3{child[3], child[7], child[11]},
                             Vector3{centre.x + 10 * x_axis.x, centre.y + 10 * x_axis.y, centre.z + 10 * x_axis.z}));
    for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10})
        EXPECT_NEAR(child[i], list.camera_matrix[i], 1e-6f) << i;
}

TEST_F(BillboardTest, RestrictedIsKeptAsAByte)
{
    Billboard* billboard = load_scene<Billboard>(R"(<Billboard Name="B" Restricted="true"/>)", "B");
    ASSERT_NE(billboard, nullptr);
    EXPECT_TRUE(billboard->is_restricted());
    double value = -1.0;
    for (const auto& [set, read] : {std::pair{0.5, 1.0}, std::pair{0.0, 0.0}, std::pair{-3.0, 1.0}}) {
        EXPECT_TRUE(billboard->change_attribute(vadu::Atom("Restricted"), set));
        EXPECT_TRUE(billboard->get_attribute(vadu::Atom("Restricted"), value));
        EXPECT_EQ(value, read) << set;
    }
    std::unique_ptr<Node> copy(billboard->clone());
    EXPECT_TRUE(dynamic_cast<Billboard&>(*copy).is_restricted());
}

// --- Light ---

class LightTest : public EffectsTest {
protected:
    Light* load_light(const std::string& attributes, const std::string& parent = "")
    {
        std::string text = R"(<Light Name="L" )" + attributes + R"(><Recorder Name="C"/></Light>)";
        if (!parent.empty())
            text = "<Node Name=\"P\" " + parent + ">" + text + "</Node>";
        return load_scene<Light>(text, "L");
    }
};

TEST_F(LightTest, IntensityDecidesWhetherALightCounts)
{
    const struct {
        const char* attributes;
        size_t lights;
        Vector3 ambient;
    } cases[] = {
        {R"(Ambient="0.5 0.5 0.5")", 0, {0, 0, 0}},
        {R"(Ambient="0.5 0.5 0.5" Intensity="0.009")", 0, {0, 0, 0}},
        {R"(Ambient="0.5 0.5 0.5" Intensity="0.011")", 0, {0.0055f, 0.0055f, 0.0055f}},
        {R"(Ambient="0.5 0.25 1" Intensity="2")", 0, {1, 0.5f, 2}},
        {R"(Type="DIRECTIONAL" Intensity="0.009")", 0, {0, 0, 0}},
        {R"(Type="DIRECTIONAL" Intensity="1")", 1, {0, 0, 0}},
        {R"(Type="POINT" Intensity="1" Ambient="1 1 1")", 1, {0, 0, 0}},
        {R"(Type="SPOT" Intensity="5" Ambient="1 1 1")", 0, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        ASSERT_NE(load_light(c.attributes), nullptr) << c.attributes;
        journal.clear();
        render();
        EXPECT_EQ(list.lights.size(), c.lights) << c.attributes;
        EXPECT_TRUE(vectors_near(list.ambient, c.ambient, 1e-6f)) << c.attributes;
        EXPECT_EQ(journal, std::vector<std::string>{"C"}) << c.attributes << ": the children are drawn in every case";
    }
    // Exactly 0.01 is not enough.
    Light* light = load_light(R"(Type="POINT")");
    ASSERT_NE(light, nullptr);
    light->set_intensity(0.01);
    render();
    EXPECT_TRUE(list.lights.empty());
}

TEST_F(LightTest, DirectionalLightTurnsWithItsNode)
{
    const struct {
        const char* parent;
        const char* rotation;
        Vector3 direction;
    } cases[] = {
        {"", "0 0 0", {0, 0, -1}},
        // The engine's quarter turn about y takes -z to +x (column vectors); the
        // transposed matrix would give -x.
        {"", "0 1.5707964 0", {1, 0, 0}},
        {"", "1.5707964 0 0", {0, 1, 0}},
        // Parent rotation, scale and translation: only the rotation counts.
        {R"(Rotation="0 1.5707964 0" Scale="3 3 3" Position="7 8 9")", "0 0 0", {1, 0, 0}},
    };
    for (const auto& c : cases) {
        const std::string attributes =
            std::string(R"(Type="DIRECTIONAL" Intensity="0.5" Diffuse="1 0.5 0.25" ShadowPriority="3" Rotation=")") +
            c.rotation + "\"";
        ASSERT_NE(load_light(attributes, c.parent), nullptr) << c.rotation;
        render();
        ASSERT_EQ(list.lights.size(), 1u) << c.rotation;
        const hard::LightEntry& light = list.lights[0];
        EXPECT_EQ(light.kind, 1);
        EXPECT_TRUE(vectors_near(light.direction, c.direction)) << c.parent << " / " << c.rotation;
        EXPECT_TRUE(vectors_near(light.diffuse, Vector3{1, 0.5f, 0.25f}));
        EXPECT_EQ(light.intensity, 0.5);
        EXPECT_EQ(light.shadow_priority, 3.0);
    }
}

TEST_F(LightTest, PointLightSitsAtItsGlobalPosition)
{
    Light* light = load_light(R"(Type="POINT" Intensity="2" Attenuation="QUADRATIC" Position="1 0 0")",
                              R"(Position="10 20 30" Rotation="0 0 1.5707964")");
    ASSERT_NE(light, nullptr);
    render();
    ASSERT_EQ(list.lights.size(), 1u);
    EXPECT_EQ(list.lights[0].kind, 0);
    EXPECT_EQ(list.lights[0].attenuation, 2);
    EXPECT_TRUE(vectors_near(list.lights[0].position, Vector3{10, 21, 30}));
}

TEST_F(LightTest, TypeAndAttenuationWordsAreExact)
{
    for (const char* attributes : {R"(Type="spot")", R"(Type="LAMP")", R"(Attenuation="linear")", R"(Diffuse="1")"}) {
        write("bad.scene", std::string("<Scene><Light Name=\"L\" ") + attributes + "/></Scene>");
        EXPECT_THROW(load("bad.scene"), vadu::GluckBadResource) << attributes;
    }
}

TEST_F(LightTest, IntensityIsKeptInSinglePrecisionAndCopied)
{
    Light* light = load_light(R"(Type="DIRECTIONAL" Falloff="2" Theta="0.5" Phi="0.75")");
    ASSERT_NE(light, nullptr);
    EXPECT_TRUE(light->change_attribute(vadu::Atom("Intensity"), 0.1));
    double value = 0.0;
    EXPECT_TRUE(light->get_attribute(vadu::Atom("Intensity"), value));
    EXPECT_EQ(value, static_cast<double>(0.1f));
    EXPECT_TRUE(light->change_attribute(vadu::Atom("Specular"), Vector3{0.5f, 0.5f, 0.5f}));
    std::unique_ptr<Node> copy(light->clone());
    const Light& copied = dynamic_cast<Light&>(*copy);
    EXPECT_EQ(copied.get_type(), Light::DIRECTIONAL);
    EXPECT_EQ(copied.get_intensity(), static_cast<double>(0.1f));
    EXPECT_DOUBLE_EQ(copied.get_phi(), 0.75);
    Vector3 specular;
    EXPECT_TRUE(copy->get_attribute(vadu::Atom("Specular"), specular));
    EXPECT_TRUE(vectors_near(specular, Vector3{0.5f, 0.5f, 0.5f}));
}

// --- Plume2D ---

class PlumeTest : public EffectsTest {
protected:
    ColourBuffer& buffer() { return *hardware.made.back(); }
};

TEST_F(PlumeTest, BandIsCentredOnThePointsInWorldSpace)
{
    Plume2D* plume = load_scene<Plume2D>(
        R"(<Node Name="P" Position="40 50 0"><Plume2D Name="Q" Width="10" Transparency="0.25" Color="1 0.5 0" Position="3 4 -6"><Recorder Name="C"/></Plume2D></Node>)",
        "Q");
    ASSERT_NE(plume, nullptr);
    plume->set_points({{0.0f, 0.0f}});
    render();
    EXPECT_TRUE(list.records.empty()) << "one point is no band";

    plume->set_points({{0.0f, 0.0f}, {100.0f, 0.0f}});
    render();
    ASSERT_EQ(list.records.size(), 1u);
    const hard::RenderRecord& record = list.records[0];
    EXPECT_EQ(record.primitive_count, 2u);
    EXPECT_EQ(record.vertex_count, 6u);
    EXPECT_EQ(record.transparency, static_cast<double>(0.001f));
    EXPECT_EQ(record.world[3], 0.0f);
    EXPECT_EQ(record.world[7], 0.0f);
    EXPECT_EQ(record.world[11], -6.0f);
    EXPECT_TRUE(journal.empty());
    const std::vector<ColouredVertex> vertices = vertices_of(buffer());
    ASSERT_EQ(vertices.size(), 6u);
    for (const ColouredVertex& v : vertices) {
        EXPECT_TRUE(v.x == 0.0f || v.x == 100.0f || std::fabs(v.x) < 1e-2f || std::fabs(v.x - 100.0f) < 1e-2f) << v.x;
        EXPECT_NEAR(std::fabs(v.y), 5.0f, 1e-5f);
        EXPECT_EQ(v.z, 0.0f);
        EXPECT_EQ((std::vector<float>{v.r, v.g, v.b, v.a}), (std::vector<float>{1.0f, 0.5f, 0.0f, 0.75f}));
    }
}

TEST_F(PlumeTest, EachSegmentStartsWithTheSideOfTheOneBefore)
{
    Plume2D* plume = load_scene<Plume2D>(R"(<Plume2D Name="Q" Width="2"/>)", "Q");
    ASSERT_NE(plume, nullptr);
    plume->set_points({{0.0f, 0.0f}, {10.0f, 0.0f}, {10.0f, 10.0f}});
    render();
    ASSERT_EQ(list.records.size(), 1u);
    EXPECT_EQ(list.records[0].vertex_count, 12u);
    const std::vector<ColouredVertex> v = vertices_of(buffer());
    ASSERT_EQ(v.size(), 12u);
    // The second segment goes up: its far end is split across x, its start across y.
    EXPECT_NEAR(std::fabs(v[7].x - 10.0f), 1.0f, 1e-2f);
    EXPECT_NEAR(v[7].y, 10.0f, 1e-2f);
    EXPECT_NEAR(v[6].x, 10.0f, 1e-2f);
    EXPECT_NEAR(std::fabs(v[6].y), 1.0f, 1e-2f);

    // New points show at the next draw.
    plume->set_points({{0.0f, 0.0f}, {0.0f, 20.0f}});
    render();
    const std::vector<ColouredVertex> moved = vertices_of(buffer());
    ASSERT_EQ(moved.size(), 6u);
    EXPECT_NEAR(moved[1].y, 20.0f, 1e-2f);
}

TEST_F(PlumeTest, RefusedBufferIsAnError)
{
    Plume2D* plume = load_scene<Plume2D>(R"(<Plume2D Name="Q" Width="2"/>)", "Q");
    ASSERT_NE(plume, nullptr);
    plume->set_points({{0.0f, 0.0f}, {10.0f, 0.0f}});
    buffer().refuse = true;
    EXPECT_THROW(render(), vadu::Gluck);
}

// --- the registry ---

TEST(EffectTypes, TakeTheirPlacesInTheEngineTypeTable)
{
    const char* const order[] = {"Billboard",  "Box",        "CameraParallel", "CameraPerspective", "Image",
                                 "Sprite",     "SpriteGrouper", "Light",        "ModelFixed",        "ModelMorph",
                                 "ModelSkeleton", "Node",     "Plane",          "Sphere",            "ParticlesEmitter",
                                 "Text",       "Animation2D", "Plume2D",        "Gradient",          "Trace"};
    size_t place = 0;
    for (const auto& entry : vadu::lib3d::node::get_engine_node_types()) {
        while (place < std::size(order) && std::string(order[place]) != entry.type_name)
            ++place;
        EXPECT_LT(place, std::size(order)) << entry.type_name << " is out of place";
    }
}

} // namespace
} // namespace effects_test
