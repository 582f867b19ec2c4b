#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "hud_test_support.h"
#include "sources/gameplay/monsters_bar.h"
#include "sources/gameplay/node_helpers.h"
#include "sources/gameplay/trail_curve.h"
#include "vadu/lib3d/node/emitter.h"

namespace {

using gameplay::MonstersBar;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;
using vadu::math::Vector3;

class MonstersBarTest : public hud_test::HudTest {
protected:
    MonstersBarTest() { build(); }

    std::unique_ptr<MonstersBar> make(int goal)
    {
        settings.starCountGoal = goal;
        return std::make_unique<MonstersBar>(root.get(), &settings);
    }
    // A monster on the field, as big as the given sprite.
    Sprite* monster(const Vector3& at, int width = 64, int height = 64)
    {
        auto* node = new Sprite("Monster", &field);
        node->set_position(at);
        node->set_width(static_cast<float>(width));
        node->set_height(static_cast<float>(height));
        return node;
    }

    gameplay::LevelSettings settings;
    Node field{"Field", nullptr};
};

TEST_F(MonstersBarTest, WithoutAGoalTheBarIsHiddenAndCountsNothing)
{
    auto bar = make(0);
    EXPECT_FALSE(monstersBar->is_visible());
    EXPECT_FALSE(bar->IsEnabled());
    bar->ReduceMonster(monster({0.0f, 0.0f, 0.0f}), 2);
    EXPECT_EQ(bar->Collected(), 0);
    EXPECT_TRUE(bar->Colours().empty());
    EXPECT_EQ(placeholder->get_child_count(), 0u);
    EXPECT_EQ(bar->TrailPrototype(), nullptr);
}

TEST_F(MonstersBarTest, SlotsLieAlongTheCurveOffsetAndTurnedInTurn)
{
    shell.scale = 2.0f;
    placeholder->set_position(Vector3{5.0f, 7.0f, 0.3f});
    auto bar = make(3);
    ASSERT_EQ(bar->Slots().size(), 3u);
    EXPECT_EQ(bar->Slots()[0], placeholder);
    EXPECT_TRUE(placeholder->is_filter_texture());
    const gameplay::TrailCurve curve;
    const struct {
        float t;
        float offset;
        float rotation;
    } cases[] = {{0.0f, 15.0f, 0.0f}, {0.5f, -10.0f, 1.0f}, {1.0f, 15.0f, 2.0f}};
    for (size_t i = 0; i < 3; ++i) {
        Sprite* slot = bar->Slots()[i];
        EXPECT_EQ(slot->get_parent(), monstersBar) << i;
        const auto p = curve.PointAt(cases[i].t);
        const auto n = curve.NormalAt(cases[i].t);
        const Vector3 expected{(p.x - cases[i].offset * n.x) * 2.0f + 5.0f,
                               -(p.y - cases[i].offset * n.y) * 2.0f + 7.0f, 0.3f};
        EXPECT_TRUE(hud_test::Near(slot->get_position(), expected)) << i;
        EXPECT_EQ(slot->get_rotation(), (Vector3{0.0f, 0.0f, cases[i].rotation})) << i;
    }
    // Slot 0 sits 15 pixels off the curve's first point, against its normal.
    EXPECT_TRUE(hud_test::Near(placeholder->get_position(),
                               Vector3{(43.0f - 15.0f * 13.0f / std::hypot(13.0f, 19.0f)) * 2.0f + 5.0f,
                                       -(27.0f + 15.0f * 19.0f / std::hypot(13.0f, 19.0f)) * 2.0f + 7.0f, 0.3f}));
}

TEST_F(MonstersBarTest, ASingleSlotSitsAtTheStartOfTheCurve)
{
    auto bar = make(1);
    ASSERT_EQ(bar->Slots().size(), 1u);
    const Vector3 at = placeholder->get_position();
    EXPECT_TRUE(std::isfinite(at.x) && std::isfinite(at.y));
    const gameplay::TrailCurve curve;
    const auto n = curve.NormalAt(0.0f);
    EXPECT_TRUE(hud_test::Near(at, Vector3{43.0f - 15.0f * n.x, -(27.0f - 15.0f * n.y), 0.0f}));
}

TEST_F(MonstersBarTest, CollectedMonstersFlyIntoTheirSlotsWithATrailAndArePlayedThere)
{
    auto bar = make(3);
    ASSERT_NE(bar->TrailPrototype(), nullptr);
    auto* prototype = gameplay::AsEmitter(bar->TrailPrototype()->find_child("Monster Trail", false));
    ASSERT_NE(prototype, nullptr);
    EXPECT_TRUE(prototype->is_paused());

    const int colours[] = {2, 0, 4, 1};
    for (int colour : colours)
        bar->ReduceMonster(monster({300.0f, -200.0f, 5.0f}), colour);
    // The fourth has no slot left.
    EXPECT_EQ(bar->Collected(), 3);
    EXPECT_EQ(bar->Colours(), (std::vector<int>{2, 0, 4}));

    for (size_t i = 0; i < 3; ++i) {
        Sprite* slot = bar->Slots()[i];
        ASSERT_EQ(slot->get_child_count(), 1u) << i;
        Node* flying = slot->get_children().front();
        EXPECT_EQ(flying->get_name(), vadu::Atom("Monster"));
        EXPECT_TRUE(hud_test::Near(flying->get_global_position(),
                                   Vector3{300.0f, -200.0f, slot->get_global_z() - 0.1f}, 1e-3f))
            << i;
        ASSERT_EQ(flying->get_child_count(), 1u);
        Node* trail = flying->get_children().front();
        EXPECT_NEAR(trail->get_global_z(), flying->get_global_z() + 1.0f, 1e-4f) << "the trail is behind";
        auto* emitter = gameplay::AsEmitter(trail->find_child("Monster Trail", false));
        ASSERT_NE(emitter, nullptr);
        EXPECT_FALSE(emitter->is_paused());
        EXPECT_NE(manager().FindAction(flying, "move"), nullptr);
    }
    run(1.05f);
    for (size_t i = 0; i < 3; ++i) {
        Node* flying = bar->Slots()[i]->get_children().front();
        EXPECT_TRUE(hud_test::Near(flying->get_position(), Vector3{0.0f, 0.0f, -0.1f})) << i;
        EXPECT_NEAR(flying->get_scale().x, 0.55f, 1e-4f) << i;
    }
    run(1.0f);
    EXPECT_EQ(bar->Slots()[2]->get_child_count(), 1u) << "the monster stays in its slot";

    // The sparks come during the flight only: once they have faded, the emitter is gone
    // and nothing glows on the monster in its slot.
    Node* trail = bar->Slots()[0]->get_children().front()->get_children().front();
    auto* emitter = gameplay::AsEmitter(trail->find_child("Monster Trail", false));
    ASSERT_NE(emitter, nullptr);
    for (int i = 0; i < 60; ++i)
        vadu::animate::Soul::update_all(1.0 / 60.0);
    EXPECT_GT(emitter->get_live_count(), 0u);
    for (int i = 0; i < 60; ++i)
        vadu::animate::Soul::update_all(1.0 / 60.0);
    EXPECT_EQ(trail->find_child("Monster Trail", false), nullptr);
}

TEST_F(MonstersBarTest, ASlotNearTheScreensEdgeStopsTheFlightShort)
{
    // One slot, turned 0: the destination is the overhang past the 960 x 640 screen.
    const gameplay::TrailCurve curve;
    const auto p = curve.PointAt(0.0f);
    const auto n = curve.NormalAt(0.0f);
    const struct {
        float x;
        float y;
        int width;
        int height;
        Vector3 destination;
    } cases[] = {
        {950.0f, 0.0f, 100, 50, {-30.0f, 0.0f, -0.1f}},
        {100.0f, 630.0f, 40, 40, {0.0f, -6.0f, -0.1f}},
        {958.0f, 639.0f, 10, 10, {-2.0f, -3.0f, -0.1f}},
        {0.0f, 0.0f, 100, 100, {0.0f, 0.0f, -0.1f}},
    };
    for (const auto& c : cases) {
        build();
        // The slot lands on (x, y): the base is set back by the slot's place on the curve.
        placeholder->set_position(Vector3{c.x - (p.x - 15.0f * n.x), c.y + (p.y - 15.0f * n.y), 0.0f});
        auto bar = make(1);
        ASSERT_TRUE(hud_test::Near(placeholder->get_global_position(), Vector3{c.x, c.y, 0.0f}, 1e-3f));
        bar->ReduceMonster(monster({0.0f, 0.0f, 0.0f}, c.width, c.height), 0);
        run(1.05f);
        Node* flying = placeholder->get_children().front();
        EXPECT_TRUE(hud_test::Near(flying->get_position(), c.destination, 1e-3f)) << c.x << ", " << c.y;
        manager().Clear();
    }
}

} // namespace
