#include <gtest/gtest.h>

#include <cmath>

#include <box2d/b2_distance_joint.h>
#include <box2d/b2_world.h>

#include "model_test_support.h"
#include "physics/joint.h"

namespace {

using gameplay_test::AddShape;
using gameplay_test::TestShape;

class LinkGraphTest : public ::testing::Test {
protected:
    LinkGraphTest() { level.World()->GetWorld().SetGravity(b2Vec2(0.0f, 0.0f)); }

    gameplay::LinkGraph& graph() { return level.links; }
    float joint_length_pixels(const gameplay::Link& link)
    {
        auto* joint = static_cast<b2DistanceJoint*>(link.GetJoint()->GetJoint());
        return joint->GetLength() * level.World()->GetPixelsInMeter();
    }

    gameplay_fakes::FakeShell shell;
    gameplay_fakes::FakeLevel level;
};

TEST_F(LinkGraphTest, JointLengthIsTheDistanceClampedToTheLinkRange)
{
    struct Case {
        float distance;
        float length;
    };
    for (const Case c : {Case{100.0f, 85.0f}, Case{60.0f, 72.25f}, Case{80.0f, 80.0f}}) {
        TestShape* a = AddShape(level, 100.0f, 300.0f);
        TestShape* b = AddShape(level, 100.0f + c.distance, 300.0f);
        graph().CreateLink(a, b);
        const gameplay::Link& link = *graph().GetLinks().back();
        ASSERT_NE(link.GetJoint(), nullptr);
        ASSERT_NE(link.GetJoint()->GetJoint(), nullptr);
        EXPECT_NEAR(joint_length_pixels(link), c.length, 0.01f) << c.distance;
        EXPECT_FLOAT_EQ(link.GetJoint()->FrequencyHz, 7.5f);
        EXPECT_FLOAT_EQ(link.GetJoint()->DampingRatio, 0.5f);
    }
}

TEST_F(LinkGraphTest, LinksAreSymmetricAndTheLastOneRemovesTheEntry)
{
    TestShape* a = AddShape(level, 100.0f, 300.0f);
    TestShape* b = AddShape(level, 170.0f, 300.0f);
    TestShape* c = AddShape(level, 240.0f, 300.0f);
    graph().CreateLink(a, b);
    graph().CreateLink(b, c);
    EXPECT_TRUE(graph().AreLinked(a, b));
    EXPECT_TRUE(graph().AreLinked(b, a));
    EXPECT_FALSE(graph().AreLinked(a, c));
    EXPECT_FALSE(a->CanLinkTo(*b));
    EXPECT_TRUE(a->CanLinkTo(*c));

    graph().RemoveLink(b, a);
    EXPECT_FALSE(graph().AreLinked(a, b));
    EXPECT_FALSE(graph().AreLinked(b, a));
    EXPECT_EQ(graph().Neighbours(a), nullptr);
    EXPECT_EQ(graph().GetAdjacency().count(a), 0u);
    EXPECT_EQ(graph().GetLinks().size(), 1u);
    EXPECT_FALSE(graph().AddEdge(b, c));
}

TEST_F(LinkGraphTest, RemoveShapeLinksLeavesNoNeighbourPointingAtIt)
{
    TestShape* hub = AddShape(level, 300.0f, 300.0f);
    TestShape* spokes[] = {AddShape(level, 370.0f, 300.0f), AddShape(level, 230.0f, 300.0f),
                           AddShape(level, 300.0f, 370.0f)};
    for (TestShape* spoke : spokes)
        graph().CreateLink(hub, spoke);
    const size_t joints_before = level.World()->GetJoints().size();

    EXPECT_TRUE(hub->RemoveLinks());
    EXPECT_EQ(graph().GetAdjacency().size(), 0u);
    EXPECT_TRUE(graph().GetLinks().empty());
    EXPECT_EQ(level.World()->GetJoints().size(), joints_before - 3);
}

TEST_F(LinkGraphTest, TransferLinksMovesEveryNeighbour)
{
    TestShape* old_shape = AddShape(level, 300.0f, 300.0f);
    TestShape* n1 = AddShape(level, 370.0f, 300.0f);
    TestShape* n2 = AddShape(level, 230.0f, 300.0f);
    TestShape* new_shape = AddShape(level, 300.0f, 310.0f);
    graph().CreateLink(old_shape, n1);
    graph().CreateLink(n2, old_shape);

    graph().TransferLinks(old_shape, new_shape);
    EXPECT_EQ(graph().Neighbours(old_shape), nullptr);
    ASSERT_NE(graph().Neighbours(new_shape), nullptr);
    EXPECT_EQ(*graph().Neighbours(new_shape), (std::vector<gameplay::Shape*>{n1, n2}));
    EXPECT_TRUE(graph().AreLinked(n1, new_shape));
    for (const auto& link : graph().GetLinks()) {
        EXPECT_NE(link->GetA(), old_shape);
        EXPECT_NE(link->GetB(), old_shape);
        b2Joint* joint = link->GetJoint()->GetJoint();
        ASSERT_NE(joint, nullptr);
        EXPECT_TRUE(joint->GetBodyA() == new_shape->GetBody() || joint->GetBodyB() == new_shape->GetBody());
    }
    EXPECT_EQ(graph().GetLinks()[1]->GetA(), n2);
}

TEST_F(LinkGraphTest, LinkedShapesPushedApartSpringBack)
{
    TestShape* a = AddShape(level, 300.0f, 300.0f);
    TestShape* b = AddShape(level, 380.0f, 300.0f);
    graph().CreateLink(a, b);
    a->GetBody()->SetLinearVelocity(b2Vec2(-20.0f, 0.0f));
    b->GetBody()->SetLinearVelocity(b2Vec2(20.0f, 0.0f));
    float widest = 0.0f;
    for (int i = 0; i < 180; ++i) {
        level.World()->Step(1.0 / 60.0);
        widest = std::max(widest, b->GetPosition().x - a->GetPosition().x);
    }
    EXPECT_GT(widest, 85.0f);
    EXPECT_LT(b->GetPosition().x - a->GetPosition().x, 100.0f);
}

TEST_F(LinkGraphTest, ADeletedShapeLeavesNoDanglingNeighbour)
{
    TestShape* keep = AddShape(level, 100.0f, 300.0f);
    auto doomed = std::make_unique<TestShape>(level.World(), vadu::math::Vector2<float>{170.0f, 300.0f});
    graph().CreateLink(keep, doomed.get());
    doomed.reset();
    EXPECT_EQ(graph().Neighbours(keep), nullptr);
    EXPECT_TRUE(graph().GetLinks().empty());
}

TEST(LinkGraphTeardown, JointsReleasedBeforeTheWorldGoes)
{
    gameplay_fakes::FakeShell shell;
    auto world = std::make_unique<physics::World>();
    gameplay::LinkGraph graph;
    auto a = std::make_unique<TestShape>(world.get(), vadu::math::Vector2<float>{100.0f, 100.0f});
    auto b = std::make_unique<TestShape>(world.get(), vadu::math::Vector2<float>{170.0f, 100.0f});
    graph.CreateLink(a.get(), b.get());
    graph.ReleaseJoints();
    EXPECT_TRUE(world->GetJoints().empty());
    EXPECT_EQ(graph.GetLinks().front()->GetJoint(), nullptr);
    a.reset();
    b.reset();
    world.reset();
}

} // namespace
