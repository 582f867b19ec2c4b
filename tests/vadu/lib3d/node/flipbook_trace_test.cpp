// The flip-book (Animation2D) and the ribbon along a curve (Trace) over a render device
// whose buffers keep what they were given: geometry, sequences and their failures.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "effects_test_support.h"
#include "vadu/lib3d/material/texture_test_support.h"
#include "vadu/lib3d/node/animation2d.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/lib3d/node/trace.h"

namespace effects_test {
namespace {

using vadu::Atom;
using vadu::lib3d::node::Animation2D;
using vadu::lib3d::node::Trace;

// Two named sequences with sizes of their own, so that no picture has to load for the
// geometry: "Idle" 40 x 20 and "Boom" 64 x 32.
constexpr const char* flipbook = R"(<Animation2D Name="A" Start="Idle">
    <Sequence Name="Idle" Image="fx/idle" FrameStart="0" FrameEnd="1" Width="40" Height="20" LoopType="FORWARD"/>
    <Sequence Name="Boom" Image="fx/boom" FrameStart="0" FrameEnd="3" Width="64" Height="32"/>
    <Node Name="Child"/>
  </Animation2D>)";

// Sequences load their frame pictures as they are read, so this fixture has the engine's
// picture loader (the scene fixture has none).
class FlipbookTest : public ::testing::Test {
protected:
    FlipbookTest()
    {
        hard::Manager::add_hardware(&hardware);
        vadu::lib3d::node::register_node_type("Animation2D",
                                              &vadu::lib3d::node::create_node_of_type<Animation2D>);
        vadu::lib3d::node::register_node_type("Node", &vadu::lib3d::node::create_node_of_type<Node>);
        vadu::lib3d::node::register_node_type("Recorder",
                                              &vadu::lib3d::node::create_node_of_type<scene_test::RecordingNode>);
        scene_test::RecordingNode::journal = &journal;
    }
    ~FlipbookTest() override
    {
        scene.reset();
        scene_test::RecordingNode::journal = nullptr;
        for (const char* type : {"Animation2D", "Node", "Recorder"})
            vadu::lib3d::node::unregister_node_type(type);
        hard::Manager::notify_remove_hardware(&hardware);
    }

    std::unique_ptr<Node> load(const std::string& children)
    {
        texture_test::write_text(folder_.root() / "effects.scene", "<Scene>" + children + "</Scene>");
        return std::unique_ptr<Node>(vadu::lib3d::node::create_from_resource(
            "Loaded", nullptr, vadu::filesystem::String("effects.scene", true)));
    }

    template <class T>
    T* load_scene(const std::string& children, const char* name)
    {
        scene = load(children);
        if (!scene)
            return nullptr;
        scene->set_cached_global_matrix(vadu::math::Matrix4::identity());
        return dynamic_cast<T*>(scene->find_child(name, true));
    }

    void render()
    {
        list.clear();
        scene->render_to_list(hardware, list);
    }

    test_support::TempFolder folder_{"QuilloFlipbook"};
    texture_test::Engine engine_{folder_.root().string()};
    test_support::LogCapture log_;
    hard::Manager::Creator manager_;
    ColourHardware hardware;
    hard::RenderList list;
    std::unique_ptr<Node> scene;
    std::vector<std::string> journal;
};

TEST_F(FlipbookTest, CentredQuadOfTheCurrentFrameFromBothSides)
{
    auto* animation = load_scene<Animation2D>(flipbook, "A");
    ASSERT_NE(animation, nullptr);
    EXPECT_EQ(animation->get_current_sequence_name(), Atom("Idle"));
    render();
    ASSERT_EQ(hardware.made.size(), 1u);
    const ColourBuffer& buffer = *hardware.made[0];
    ASSERT_EQ(buffer.positions.size(), 36u);
    EXPECT_EQ(buffer.normal_count, 36u);
    // A new flip-book is centred on its origin.
    const float* rect = animation->get_rect();
    EXPECT_EQ(rect[0], -20.0f);
    EXPECT_EQ(rect[1], -10.0f);
    EXPECT_EQ(rect[2], 40.0f);
    EXPECT_EQ(rect[3], 20.0f);
    // The back faces repeat the front ones wound the other way.
    EXPECT_EQ(buffer.positions[0], -20.0f);
    EXPECT_EQ(buffer.positions[18 + 3 * 1], buffer.positions[3 * 2]);
}

TEST_F(FlipbookTest, PlaySequenceRestartsUnlessAskedToKeepTheRunningOne)
{
    auto* animation = load_scene<Animation2D>(flipbook, "A");
    ASSERT_NE(animation, nullptr);
    vadu::lib3d::material::TextureSequence& sequence = animation->get_sequence();
    sequence.update(0.4);
    EXPECT_GT(sequence.get_time(), 0.0);
    EXPECT_TRUE(animation->play_sequence(Atom("Idle"), true));
    EXPECT_GT(sequence.get_time(), 0.0) << "the running sequence was restarted";
    EXPECT_TRUE(animation->play_sequence(Atom("Idle")));
    EXPECT_EQ(sequence.get_time(), 0.0);
    EXPECT_FALSE(animation->play_sequence(Atom("Missing")));
    EXPECT_EQ(animation->get_current_sequence_name(), Atom("Idle"));
    // A sequence of another size rebuilds the quad at the next draw.
    render();
    EXPECT_TRUE(animation->play_sequence(Atom("Boom")));
    render();
    EXPECT_EQ(animation->get_rect()[2], 64.0f);
    EXPECT_EQ(animation->get_rect()[3], 32.0f);
}

TEST_F(FlipbookTest, NothingAtAllUntilASequencePlays)
{
    // Without "Start" no frame is current: neither the quad nor the children are walked.
    std::string text = flipbook;
    text.replace(text.find(" Start=\"Idle\""), 13, "");
    text.replace(text.find("<Node Name=\"Child\"/>"), 20, "<Recorder Name=\"Child\"/>");
    auto* animation = load_scene<Animation2D>(text, "A");
    ASSERT_NE(animation, nullptr);
    render();
    EXPECT_TRUE(journal.empty());
    EXPECT_TRUE(hardware.made.empty() || hardware.made[0]->positions.empty());
    animation->play_sequence(Atom("Boom"));
    render();
    EXPECT_FALSE(journal.empty()) << "the children are walked once a frame shows";
}

TEST_F(FlipbookTest, SceneErrorsAndCopies)
{
    struct Case {
        const char* what;
        std::string scene;
        bool loads;
    };
    const Case cases[] = {
        {"a pause is no sequence", R"(<Animation2D Name="A"><Pause Time="1"/></Animation2D>)", false},
        {"an unknown alignment", R"(<Animation2D Name="A" AlignX="MIDDLE"/>)", false},
        {"right and top", R"(<Animation2D Name="A" AlignX="RIGHT" AlignY="TOP" Transparency="0.5" Color="1 0 0"/>)",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool loaded = false;
        try {
            loaded = load(c.scene) != nullptr;
        } catch (const vadu::Gluck&) {
            // A scene that fails to parse is reported through the exception.
        }
        EXPECT_EQ(loaded, c.loads);
    }
    EXPECT_NE(log_.text().find("\"Pause\" is not a frame sequence"), std::string::npos) << log_.text();

    auto* animation = load_scene<Animation2D>(flipbook, "A");
    ASSERT_NE(animation, nullptr);
    animation->change_attribute(Atom("Transparency"), 0.25);
    animation->change_attribute(Atom("Color"), Vector3{0.5f, 0.5f, 1.0f});
    std::unique_ptr<Node> copy(animation->clone());
    auto* twin = dynamic_cast<Animation2D*>(copy.get());
    ASSERT_NE(twin, nullptr);
    EXPECT_EQ(twin->get_transparency(), 0.25);
    EXPECT_EQ(twin->get_colour(), (Vector3{0.5f, 0.5f, 1.0f}));
    EXPECT_EQ(twin->get_sequence().get_definitions().size(), 2u);
    EXPECT_TRUE(twin->play_sequence(Atom("Boom")));
}

TEST_F(FlipbookTest, RefusedBufferIsAnError)
{
    auto* animation = load_scene<Animation2D>(flipbook, "A");
    ASSERT_NE(animation, nullptr);
    render();
    hardware.made[0]->refuse = true;
    animation->play_sequence(Atom("Boom"));
    try {
        render();
        FAIL() << "no error";
    } catch (const vadu::Gluck& gluck) {
        EXPECT_EQ(std::string(gluck.get_description().data(), gluck.get_description().size()),
                  "it->second->update() failed");
    }
}

class TraceTest : public EffectsTest {
protected:
    Trace* trace(const std::string& keys, const char* extra = "")
    {
        return load_scene<Trace>(std::string(R"(<Trace Name="T">
            <Shader Name="ribbon"><Material Diffuse="1 1 1"/></Shader>
            <EnvelopeTCB )") + extra + "><Keys>" + keys + "</Keys></EnvelopeTCB></Trace>",
                                 "T");
    }
};

TEST_F(TraceTest, StraightCurveGivesARibbonSixtyFourWideAlongIt)
{
    Trace* t = trace(R"(<Key Time="0" Value="0 0 0"/><Key Time="1" Value="100 0 0"/>)");
    ASSERT_NE(t, nullptr);
    render();
    ASSERT_EQ(list.records.size(), 1u);
    const hard::RenderRecord& record = list.records[0];
    const hard::FloatArray& p = t->get_positions();
    const hard::FloatArray& uv = t->get_texture_coordinates();
    const size_t vertices = p.size() / 3;
    EXPECT_EQ(record.primitive_count * 3, vertices);
    float low = 1e9f, high = -1e9f, right = 0.0f;
    for (size_t i = 0; i < vertices; ++i) {
        low = std::min(low, p[i * 3 + 1]);
        high = std::max(high, p[i * 3 + 1]);
        right = std::max(right, p[i * 3]);
    }
    EXPECT_FLOAT_EQ(low, -32.0f);
    EXPECT_FLOAT_EQ(high, 32.0f);
    EXPECT_FLOAT_EQ(right, 100.0f);
    EXPECT_FLOAT_EQ(*std::max_element(uv.begin(), uv.end()), 1.0f); // v
    float u_end = 0.0f;
    for (size_t i = 0; i < vertices; ++i)
        u_end = std::max(u_end, uv[i * 2]);
    EXPECT_NEAR(u_end, 0.5f, 1e-5f);
    // The material is found by its name, for animations.
    EXPECT_EQ(t->find_object(Atom("ribbon"), true), &t->get_material());
}

TEST_F(TraceTest, SamplesNeverJumpMoreThanFiveUnits)
{
    Trace* t = trace(R"(<Key Time="0" Value="0 0 0"/><Key Time="0.5" Value="80 -40 0"/>
                        <Key Time="1" Value="0 120 0"/>)");
    ASSERT_NE(t, nullptr);
    std::vector<Vector3> points, directions;
    t->sample(points, directions);
    ASSERT_GE(points.size(), 2u);
    for (size_t i = 1; i < points.size(); ++i) {
        EXPECT_LE(std::fabs(points[i].x - points[i - 1].x), 5.0f) << i;
        EXPECT_LE(std::fabs(points[i].y - points[i - 1].y), 5.0f) << i;
    }
    for (const Vector3& d : directions)
        EXPECT_NEAR(std::hypot(d.x, d.y), 1.0f, 1e-4f);
}

TEST_F(TraceTest, DegenerateCurvesEndAndDrawNothingVisible)
{
    // One key: zero length and zero width.
    Trace* single = trace(R"(<Key Time="0" Value="10 10 0"/>)");
    ASSERT_NE(single, nullptr);
    render();
    const hard::FloatArray& p = single->get_positions();
    for (size_t i = 0; i < p.size(); i += 3) {
        EXPECT_EQ(p[i], 10.0f);
        EXPECT_EQ(p[i + 1], 10.0f);
    }
    // Keys out of order make the curve jump; sampling still ends, and says so once.
    Trace* jumping = trace(R"(<Key Time="0" Value="0 0 0"/><Key Time="0.6" Value="500 0 0"/>
                              <Key Time="0.3" Value="-500 0 0"/><Key Time="1" Value="0 0 0"/>)");
    ASSERT_NE(jumping, nullptr);
    render();
    render();
    const std::string text = log_.text();
    const size_t first = text.find("the curve jumps");
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_EQ(text.find("the curve jumps", first + 1), std::string::npos);
}

} // namespace
} // namespace effects_test
