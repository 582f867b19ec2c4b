#include <box2d/b2_circle_shape.h>
#include <box2d/b2_fixture.h>
#include <box2d/b2_polygon_shape.h>
#include <box2d/b2_world.h>

#include <cmath>

#include "physics_test_support.h"

namespace {

using physics_test::make_ball;
using physics_test::PhysicsTest;
using physics_test::to_std;
using vadu::lib3d::node::Node;

// A world and a scene whose root holds a sprite-like node named "ball".
class BodyTest : public PhysicsTest {
protected:
    BodyTest() : root_(std::make_unique<Node>("root", nullptr)), ball_node_(new Node("ball", root_.get())) {}

    std::unique_ptr<Node> root_;
    Node* ball_node_;
};

TEST_F(BodyTest, PostStepPutsTheSceneNodeOnWholePixelsAndKeepsTheFraction)
{
    auto world = load(R"(<World PixelsInMeter="10"><Circle Radius="5" SceneNode="ball"/></World>)");
    physics::Node& node = *world->GetNodes().front();
    node.SetRootNode(root_.get());
    ASSERT_EQ(node.GetSceneNode(), ball_node_);
    node.GetBody()->SetTransform(b2Vec2(10.75f, -3.95f), 0.0f);
    node.PostStep();
    EXPECT_EQ(ball_node_->get_position().x, 107.0f);
    EXPECT_EQ(ball_node_->get_position().y, -39.0f);
    EXPECT_FLOAT_EQ(node.GetPosition().x, 107.5f);
    EXPECT_FLOAT_EQ(node.GetPosition().y, -39.5f);
}

TEST_F(BodyTest, StepCarriesTheSceneNodeAlong)
{
    auto world = load(R"(<World><Circle Radius="30" SceneNode="ball"><Position Value="300 150"/>
        <Rotation Value="0.25"/></Circle></World>)");
    physics::Node& node = *world->GetNodes().front();
    node.SetRootNode(root_.get());
    world->Step(1.0 / 60.0);
    EXPECT_EQ(ball_node_->get_position().x, 300.0f);
    EXPECT_EQ(ball_node_->get_position().y, 150.0f);
    EXPECT_NEAR(ball_node_->get_rotation().z, 0.25f, 1e-6f);
}

TEST_F(BodyTest, MissingSceneNodeIsAnError)
{
    auto world = load(R"(<World><Circle Radius="30" SceneNode="nobody"/><Circle Radius="30"/></World>)");
    try {
        world->GetNodes()[0]->SetRootNode(root_.get());
        FAIL() << "bound to nothing";
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(to_std(error.get_function()), "physics::Node::SetRootNode");
        EXPECT_EQ(to_std(error.get_description()), "Node \"nobody\" cannot be found");
    }
    // No name, no scene node, no error.
    world->GetNodes()[1]->SetRootNode(root_.get());
    EXPECT_EQ(world->GetNodes()[1]->GetSceneNode(), nullptr);
}

TEST_F(BodyTest, AttachedSceneNodeDrivesTheBody)
{
    auto world = load(R"(<World><Circle Radius="30" SceneNode="ball" Attached="true"/></World>)");
    physics::Node& node = *world->GetNodes().front();
    node.SetRootNode(root_.get());
    ball_node_->set_position({90.0f, -60.0f, 0.5f});
    ball_node_->set_rotation({0.0f, 0.0f, 1.0f});
    world->Step(1.0 / 60.0);
    EXPECT_FLOAT_EQ(node.GetBody()->GetPosition().x, 3.0f);
    EXPECT_FLOAT_EQ(node.GetBody()->GetPosition().y, -2.0f);
    EXPECT_FLOAT_EQ(node.GetBody()->GetAngle(), 1.0f);
    // The scene node leads: the step leaves it where it was put.
    EXPECT_EQ(ball_node_->get_position().x, 90.0f);
    EXPECT_EQ(ball_node_->get_position().z, 0.5f);
}

TEST_F(BodyTest, SetMassZeroIsStaticAndACentredMassFallsWithoutTurning)
{
    physics::World world;
    world.GetWorld().SetGravity(b2Vec2(0.0f, -10.0f));
    physics::Circle* still = make_ball(world, 0.0f, 0.0f, 35.0f, 0.0f);
    physics::Circle* falling = make_ball(world, 300.0f, 0.0f, 35.0f, 2.0f);
    EXPECT_EQ(still->GetBody()->GetType(), b2_staticBody);
    EXPECT_EQ(falling->GetBody()->GetType(), b2_dynamicBody);
    EXPECT_EQ(falling->GetBody()->GetMass(), 2.0f);
    // A spin and a push off-centre would turn anything with rotational inertia.
    falling->GetBody()->ApplyLinearImpulse(b2Vec2(1.0f, 0.0f), b2Vec2(10.0f, 1.0f), true);
    for (int i = 0; i < 60; ++i)
        world.Step(1.0 / 60.0);
    EXPECT_LT(falling->GetPosition().y, -100.0f);
    EXPECT_EQ(falling->GetBody()->GetAngle(), 0.0f);
    EXPECT_EQ(still->GetPosition().y, 0.0f);
}

TEST_F(BodyTest, SetPositionMovesBodyAndSceneNodeAtOnce)
{
    physics::World world;
    physics::Circle* ball = make_ball(world, 0.0f, 0.0f);
    ball->SetSceneNode(ball_node_, false);
    ball->SetPosition({150.5f, -30.0f});
    EXPECT_FLOAT_EQ(ball->GetBody()->GetPosition().x, 150.5f / 30.0f);
    EXPECT_EQ(ball_node_->get_position().x, 150.0f);
    EXPECT_NEAR(ball->GetPosition().x, 150.5f, 1e-4f);
}

TEST_F(BodyTest, BoxSetCenterRebuildsTheFixtureKeepingItsSettings)
{
    auto world = load(R"(<World><Box Size="60 30"><Fixture><Friction Value="0.7"/></Fixture></Box></World>)");
    physics::Node& box = *world->GetNodes().front();
    EXPECT_EQ(box.GetCenter().x, 0.0f);
    box.SetCenter({30.0f, -15.0f});
    EXPECT_FLOAT_EQ(box.GetCenter().x, 30.0f);
    EXPECT_FLOAT_EQ(box.GetCenter().y, -15.0f);
    b2Fixture* fixture = box.GetBody()->GetFixtureList();
    EXPECT_EQ(fixture->GetNext(), nullptr);
    EXPECT_FLOAT_EQ(fixture->GetFriction(), 0.7f);
    // The broad phase knows the moved box: a pick at its new centre hits it.
    world->Step(1.0 / 60.0);
    EXPECT_EQ(world->Pick({30.0f, -15.0f}), &box);
    EXPECT_EQ(box.GetSize().x, 60.0f);
}

TEST_F(BodyTest, BoxSetCenterKeepsTheMassItWasGiven)
{
    // A mass from the file, and one from the body's density (a dynamic body without "Mass").
    struct Case {
        const char* text;
        float mass;
    };
    const Case cases[] = {
        {R"(<World><Box Size="60 30"><Mass Value="2.5"/></Box></World>)", 2.5f},
        {R"(<World><Box Size="60 30"><BodyType Value="DynamicBody"/></Box></World>)", 2.0f},
    };
    for (const Case& c : cases) {
        auto world = load(c.text);
        b2Body* body = world->GetNodes().front()->GetBody();
        ASSERT_FLOAT_EQ(body->GetMass(), c.mass) << c.text;
        const float inertia = body->GetInertia();
        const b2Vec2 centre = body->GetLocalCenter();
        world->GetNodes().front()->SetCenter({30.0f, -15.0f});
        EXPECT_FLOAT_EQ(body->GetMass(), c.mass) << c.text;
        EXPECT_FLOAT_EQ(body->GetInertia(), inertia) << c.text;
        EXPECT_EQ(body->GetLocalCenter(), centre) << c.text;
        EXPECT_EQ(body->GetType(), b2_dynamicBody) << c.text;
    }
}

TEST_F(BodyTest, PickFindsTheBodyAtItsOriginAndNothingInEmptySpace)
{
    physics::World world;
    EXPECT_EQ(world.Pick({0.0f, 0.0f}), nullptr);
    physics::Circle* ball = make_ball(world, 120.0f, 90.0f);
    EXPECT_EQ(world.Pick({120.0f, 90.0f}), ball);
    EXPECT_EQ(world.Pick({500.0f, 90.0f}), nullptr);
    // The broad phase decides alone: a corner of the circle's box, outside the circle, hits.
    EXPECT_EQ(world.Pick({120.0f + 33.0f, 90.0f + 33.0f}), ball);
}

TEST_F(BodyTest, ContactsAreRecordedPerPoint)
{
    physics::World world;
    world.GetWorld().SetGravity(b2Vec2(0.0f, -10.0f));
    auto* floor = new physics::Box(&world);
    {
        b2BodyDef definition;
        auto shape = std::make_unique<b2PolygonShape>();
        shape->SetAsBox(10.0f, 0.5f);
        floor->Build(definition, std::make_unique<b2FixtureDef>(), std::move(shape));
    }
    physics::Circle* ball = make_ball(world, 0.0f, 50.0f, 30.0f, 1.0f);
    for (int i = 0; i < 120; ++i)
        world.Step(1.0 / 60.0);
    ASSERT_FALSE(ball->GetContacts().empty());
    const physics::Contact& contact = ball->GetContacts().front();
    EXPECT_TRUE(contact.touching);
    EXPECT_EQ(contact.other, floor);
    EXPECT_NEAR(contact.point.y, 15.0f, 1.0f);
    EXPECT_NEAR(std::fabs(contact.normal.y), 1.0f, 1e-4f);
}

// --- Attraction -------------------------------------------------------------------------

TEST_F(BodyTest, AttractionPullsDynamicBodiesByTheFormula)
{
    physics::World world;
    world.GetWorld().SetGravity(b2Vec2(0.0f, 0.0f));
    physics::Circle* pulled = make_ball(world, 0.0f, 0.0f, 35.0f, 0.5f);
    physics::Circle* at_point = make_ball(world, 600.0f, 300.0f, 35.0f, 0.5f);
    physics::Circle* fixed = make_ball(world, 300.0f, 0.0f, 35.0f, 0.0f);
    world.AttractionEnabled = true;
    world.AttractionPoint = {600.0f, 300.0f};
    world.AttractionStrength = 4.0f;
    const float dt = 1.0f / 60.0f;
    world.Step(dt);
    // force = strength · ((dt · (P − pos)) / 20) / mass / PixelsInMeter; velocity = force / mass · dt.
    const float fx = 4.0f * ((dt * 600.0f) / 20.0f) / 0.5f / 30.0f;
    const float fy = 4.0f * ((dt * 300.0f) / 20.0f) / 0.5f / 30.0f;
    EXPECT_NEAR(pulled->GetBody()->GetLinearVelocity().x, fx / 0.5f * dt, 1e-5f);
    EXPECT_NEAR(pulled->GetBody()->GetLinearVelocity().y, fy / 0.5f * dt, 1e-5f);
    EXPECT_EQ(at_point->GetBody()->GetLinearVelocity(), b2Vec2(0.0f, 0.0f));
    EXPECT_EQ(fixed->GetBody()->GetLinearVelocity(), b2Vec2(0.0f, 0.0f));
}

TEST_F(BodyTest, AttractionWakesASleepingBody)
{
    physics::World world;
    world.GetWorld().SetGravity(b2Vec2(0.0f, 0.0f));
    physics::Circle* ball = make_ball(world, 0.0f, 0.0f, 35.0f, 0.5f);
    ball->GetBody()->SetAwake(false);
    world.AttractionEnabled = true;
    world.AttractionPoint = {300.0f, 0.0f};
    world.AttractionStrength = 1.0f;
    world.Step(1.0 / 60.0);
    EXPECT_TRUE(ball->GetBody()->IsAwake());
    EXPECT_GT(ball->GetBody()->GetLinearVelocity().x, 0.0f);
}

// A node that adds another node during its update: the same pass updates the newcomer.
class SpawningNode : public physics::Node {
public:
    SpawningNode(physics::World* world, int* updates, bool spawn) : Node(world), updates_(updates), spawn_(spawn) {}
    void Update(float) override
    {
        ++*updates_;
        if (spawn_) {
            spawn_ = false;
            new SpawningNode(GetWorld(), updates_, false);
        }
    }

private:
    int* updates_;
    bool spawn_;
};

TEST_F(BodyTest, NodesAddedDuringTheUpdatePassAreUpdatedInIt)
{
    physics::World world;
    int updates = 0;
    new SpawningNode(&world, &updates, true);
    world.Step(1.0 / 60.0);
    EXPECT_EQ(world.GetNodes().size(), 2u);
    EXPECT_EQ(updates, 2);
}

} // namespace
