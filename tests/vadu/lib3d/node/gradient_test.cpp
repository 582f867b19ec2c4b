#include <gtest/gtest.h>

#include "effects_test_support.h"

namespace effects_test {
namespace {

using vadu::lib3d::node::Gradient;

class GradientTest : public EffectsTest {
protected:
    ColourBuffer& buffer() { return *hardware.made.back(); }
};

TEST_F(GradientTest, EachDirectionGivesTheStartValueToItsEdge)
{
    const struct {
        const char* direction;
        // Which coordinate tells the edges apart, and the value at the start edge.
        bool across;
        float start_edge;
    } cases[] = {
        {"LEFT", true, 10.0f},
        {"RIGHT", true, 0.0f},
        {"UP", false, -20.0f},
        {"DOWN", false, 0.0f},
    };
    for (const auto& c : cases) {
        Gradient* gradient = load_scene<Gradient>(std::string(R"(<Gradient Name="G" Width="10" Height="20" Direction=")") +
                                                      c.direction + R"(" StartColor="1 0.5 0" EndColor="0 0 1"/>)",
                                                  "G");
        ASSERT_NE(gradient, nullptr) << c.direction;
        render();
        const std::vector<ColouredVertex> vertices = vertices_of(buffer());
        ASSERT_EQ(vertices.size(), 12u) << c.direction;
        for (const ColouredVertex& v : vertices) {
            const bool at_start = (c.across ? v.x : v.y) == c.start_edge;
            // The default transparencies: the start side clear, the end side opaque.
            const std::vector<float> expected = at_start ? std::vector<float>{1.0f, 0.5f, 0.0f, 0.0f}
                                                         : std::vector<float>{0.0f, 0.0f, 1.0f, 1.0f};
            EXPECT_EQ((std::vector<float>{v.r, v.g, v.b, v.a}), expected) << c.direction << " at " << v.x << " " << v.y;
        }
        EXPECT_EQ(buffer().normal_count, 0u);
        EXPECT_TRUE(buffer().texture_coordinates.empty());
    }
}

TEST_F(GradientTest, RecordIsAlwaysBlendedUntexturedAndLeavesTheChildrenOut)
{
    Gradient* gradient = load_scene<Gradient>(
        R"(<Gradient Name="G" Width="4" Height="2" AlignX="CENTER" AlignY="BOTTOM" Position="5 6 7"><Recorder Name="Child"/></Gradient>)",
        "G");
    ASSERT_NE(gradient, nullptr);
    render();
    ASSERT_EQ(list.records.size(), 1u);
    const hard::RenderRecord& record = list.records[0];
    EXPECT_EQ(record.transparency, static_cast<double>(0.001f));
    EXPECT_EQ(record.primitive_count, 4u);
    EXPECT_EQ(record.vertex_count, 12u);
    EXPECT_EQ(record.vertex_buffer, &buffer());
    EXPECT_EQ(record.stages[0].texture, nullptr);
    EXPECT_EQ(record.world[3], 5.0f);
    EXPECT_TRUE(journal.empty());
    float min_x = 1e9f, min_y = 1e9f;
    for (const ColouredVertex& v : vertices_of(buffer())) {
        min_x = std::min(min_x, v.x);
        min_y = std::min(min_y, v.y);
    }
    EXPECT_EQ(min_x, -2.0f);
    EXPECT_EQ(min_y, 0.0f);
}

TEST_F(GradientTest, ChangesAfterTheFirstDrawShow)
{
    Gradient* gradient = load_scene<Gradient>(R"(<Gradient Name="G" Width="10" Height="10"/>)", "G");
    ASSERT_NE(gradient, nullptr);
    render();
    const int first = buffer().updates;
    render();
    EXPECT_EQ(buffer().updates, first) << "an unchanged plane is not rebuilt";
    gradient->set_colors(Vector3{0.25f, 0.25f, 0.25f}, Vector3{0.75f, 0.75f, 0.75f});
    gradient->set_transparencies(0.0f, 0.5f);
    render();
    EXPECT_EQ(buffer().updates, first + 1);
    for (const ColouredVertex& v : vertices_of(buffer()))
        EXPECT_TRUE((v.r == 0.25f && v.a == 1.0f) || (v.r == 0.75f && v.a == 0.5f)) << v.r << " " << v.a;
}

TEST_F(GradientTest, WordsOutsideTheTablesFailTheScene)
{
    for (const char* attributes : {R"(Direction="left")", R"(Direction="SIDEWAYS")", R"(AlignX="middle")",
                                   R"(StartColor="1 1")"}) {
        write("bad.scene", std::string("<Scene><Gradient Name=\"G\" ") + attributes + "/></Scene>");
        EXPECT_THROW(load("bad.scene"), vadu::GluckBadResource) << attributes;
    }
}

TEST_F(GradientTest, RefusedBufferIsAnError)
{
    Gradient* gradient = load_scene<Gradient>(R"(<Gradient Name="G" Width="10" Height="10"/>)", "G");
    ASSERT_NE(gradient, nullptr);
    buffer().refuse = true;
    try {
        render();
        FAIL() << "no error";
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(scene_test::to_std(error.get_description()), "vb->update() failed");
        EXPECT_EQ(scene_test::to_std(error.get_function()), "vadu::lib3d::node::Gradient::rebuild_gradient_plane");
    }
}

TEST_F(GradientTest, CopiesDrawTheSamePlane)
{
    Gradient* gradient =
        load_scene<Gradient>(R"(<Gradient Name="G" Width="8" Height="4" Direction="DOWN" StartColor="1 0 0"/>)", "G");
    ASSERT_NE(gradient, nullptr);
    render();
    const std::vector<ColouredVertex> original = vertices_of(buffer());
    std::unique_ptr<Node> copy(gradient->clone());
    EXPECT_EQ(copy->get_type_name(), vadu::Atom("Gradient"));
    list.clear();
    copy->render_to_list(hardware, list);
    const std::vector<ColouredVertex> copied = vertices_of(buffer());
    ASSERT_EQ(copied.size(), original.size());
    for (size_t i = 0; i < copied.size(); ++i) {
        EXPECT_EQ(copied[i].y, original[i].y);
        EXPECT_EQ(copied[i].r, original[i].r);
    }
}

} // namespace
} // namespace effects_test
