#include <box2d/b2_circle_shape.h>
#include <box2d/b2_distance_joint.h>
#include <box2d/b2_fixture.h>
#include <box2d/b2_mouse_joint.h>
#include <box2d/b2_polygon_shape.h>
#include <box2d/b2_world.h>

#include <functional>

#include "physics_test_support.h"

namespace {

using physics_test::PhysicsTest;
using physics_test::to_std;

// One body element of a world, for the checks below.
physics::Node& only_node(physics::World& world)
{
    EXPECT_EQ(world.GetNodes().size(), 1u);
    return *world.GetNodes().front();
}

struct LoadCase {
    const char* name;
    const char* text;
    std::function<void(physics::World&)> check;
};

class WorldFileLoadTest : public PhysicsTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(WorldFileLoadTest, Loads)
{
    std::unique_ptr<physics::World> world = load(GetParam().text);
    ASSERT_NE(world, nullptr);
    GetParam().check(*world);
}

const LoadCase load_cases[] = {
    {"EmptyWorldHasTheDefaults", "<World/>",
     [](physics::World& world) {
         EXPECT_EQ(world.GetWorld().GetGravity(), b2Vec2(0.0f, -1.0f));
         EXPECT_EQ(world.GetPixelsInMeter(), 30.0f);
         EXPECT_EQ(world.GetVelocityIterations(), 8);
         EXPECT_EQ(world.GetPositionIterations(), 3);
         EXPECT_TRUE(world.GetNodes().empty());
         EXPECT_FALSE(world.AttractionEnabled);
         EXPECT_EQ(world.AttractionStrength, 0.0f);
     }},
    {"RootAttributes", R"(<World Gravity="0 -9.8" PixelsInMeter="10" VelocityIterations="4" PositionIterations="2"/>)",
     [](physics::World& world) {
         EXPECT_EQ(world.GetWorld().GetGravity(), b2Vec2(0.0f, -9.8f));
         EXPECT_EQ(world.GetPixelsInMeter(), 10.0f);
         EXPECT_EQ(world.GetVelocityIterations(), 4);
         EXPECT_EQ(world.GetPositionIterations(), 2);
     }},
    {"CircleInMetresWithoutFixtureElement",
     R"(<World><Circle Name="ball" SceneNode="sprite" Radius="30"><Position Value="300 150"/></Circle></World>)",
     [](physics::World& world) {
         physics::Node& node = only_node(world);
         EXPECT_EQ(to_std(node.GetName().get_name()), "ball");
         EXPECT_EQ(to_std(node.GetSceneNodeName().get_name()), "sprite");
         EXPECT_FALSE(node.IsAttached());
         EXPECT_EQ(node.GetSize().x, 60.0f);
         EXPECT_EQ(node.GetSize().y, 60.0f);
         b2Body* body = node.GetBody();
         EXPECT_EQ(body->GetType(), b2_staticBody);
         EXPECT_FLOAT_EQ(body->GetPosition().x, 10.0f);
         EXPECT_FLOAT_EQ(body->GetPosition().y, 5.0f);
         EXPECT_EQ(body->GetUserData().pointer, reinterpret_cast<uintptr_t>(&node));
         b2Fixture* fixture = body->GetFixtureList();
         ASSERT_NE(fixture, nullptr);
         EXPECT_EQ(fixture->GetNext(), nullptr);
         EXPECT_FLOAT_EQ(fixture->GetShape()->m_radius, 1.0f);
         // Without a "Fixture" element: density 1, friction 0.
         EXPECT_EQ(fixture->GetDensity(), 1.0f);
         EXPECT_EQ(fixture->GetFriction(), 0.0f);
         EXPECT_EQ(fixture->GetFilterData().categoryBits, 0x0001);
         EXPECT_EQ(fixture->GetFilterData().maskBits, 0xFFFF);
     }},
    {"FixtureElementDefaultsAndTheLaterOneWins",
     R"(<World><Box Size="60 30">
          <Fixture><Density Value="3"/><Restitution Value="0.5"/><Group Value="-2"/></Fixture>
          <Fixture><Restitution Value="0.25"/><IsSensor Value="true"/></Fixture>
        </Box></World>)",
     [](physics::World& world) {
         b2Fixture* fixture = only_node(world).GetBody()->GetFixtureList();
         // Inside a "Fixture" element: density 0, friction 0.2.
         EXPECT_EQ(fixture->GetDensity(), 0.0f);
         EXPECT_FLOAT_EQ(fixture->GetFriction(), 0.2f);
         EXPECT_EQ(fixture->GetRestitution(), 0.25f);
         EXPECT_TRUE(fixture->IsSensor());
         EXPECT_EQ(fixture->GetFilterData().groupIndex, 0);
         const auto* box = static_cast<const b2PolygonShape*>(fixture->GetShape());
         ASSERT_EQ(box->m_count, 4);
         EXPECT_FLOAT_EQ(box->m_vertices[2].x, 1.0f);
         EXPECT_FLOAT_EQ(box->m_vertices[2].y, 0.5f);
     }},
    {"BodyProperties",
     R"(<World><Circle Radius="15" Attached="true">
          <BodyType Value="DynamicBody"/><Rotation Value="0.5"/><LinearVelocity Value="30 -60"/>
          <AngularVelocity Value="2"/><LinearDamping Value="0.1"/><AngularDamping Value="0.2"/>
          <AllowSleep Value="false"/><FixedRotation Value="true"/><Bullet Value="true"/>
          <GravityScale Value="0.5"/><GravityScale Value="2"/>
        </Circle></World>)",
     [](physics::World& world) {
         physics::Node& node = only_node(world);
         EXPECT_TRUE(node.IsAttached());
         b2Body* body = node.GetBody();
         EXPECT_EQ(body->GetType(), b2_dynamicBody);
         EXPECT_FLOAT_EQ(body->GetAngle(), 0.5f);
         EXPECT_FLOAT_EQ(body->GetLinearVelocity().x, 1.0f);
         EXPECT_FLOAT_EQ(body->GetLinearVelocity().y, -2.0f);
         EXPECT_FLOAT_EQ(body->GetAngularVelocity(), 2.0f);
         EXPECT_FLOAT_EQ(body->GetLinearDamping(), 0.1f);
         EXPECT_FLOAT_EQ(body->GetAngularDamping(), 0.2f);
         EXPECT_FALSE(body->IsSleepingAllowed());
         EXPECT_TRUE(body->IsFixedRotation());
         EXPECT_TRUE(body->IsBullet());
         EXPECT_EQ(body->GetGravityScale(), 2.0f);
     }},
    {"MassMakesTheBodyDynamic", R"(<World><Circle Radius="30"><Mass Value="2"/></Circle></World>)",
     [](physics::World& world) {
         b2Body* body = only_node(world).GetBody();
         EXPECT_EQ(body->GetType(), b2_dynamicBody);
         EXPECT_FLOAT_EQ(body->GetMass(), 2.0f);
         EXPECT_EQ(body->GetInertia(), 0.0f);
     }},
    {"PlainNodeHasNoFixture", R"(<World><Node Name="anchor"><Position Value="30 60"/></Node></World>)",
     [](physics::World& world) {
         b2Body* body = only_node(world).GetBody();
         ASSERT_NE(body, nullptr);
         EXPECT_EQ(body->GetFixtureList(), nullptr);
         EXPECT_FLOAT_EQ(body->GetPosition().y, 2.0f);
     }},
    {"DistanceJointElementAndItsGenericTwin",
     R"(<World><Circle Name="a" Radius="10"/><Circle Name="b" Radius="10"><Position Value="90 0"/></Circle>
          <DistanceJoint Name="rod"><BodyA Value="a"/><BodyB Value="b"/><Length Value="60"/></DistanceJoint>
          <Joint Type="Distance" Name="twin"><BodyA Value="a"/><BodyB Value="b"/><Length Value="60"/></Joint>
        </World>)",
     [](physics::World& world) {
         ASSERT_EQ(world.GetJoints().size(), 2u);
         for (physics::Joint* joint : world.GetJoints()) {
             auto* distance = dynamic_cast<physics::DistanceJoint*>(joint);
             ASSERT_NE(distance, nullptr);
             ASSERT_NE(joint->GetJoint(), nullptr);
             auto* box2d = static_cast<b2DistanceJoint*>(joint->GetJoint());
             EXPECT_FLOAT_EQ(box2d->GetLength(), 2.0f);
             // Frequency 0: a rod, held at its length.
             EXPECT_FLOAT_EQ(box2d->GetMinLength(), 2.0f);
             EXPECT_FLOAT_EQ(box2d->GetMaxLength(), 2.0f);
             // Bodies joined this way still collide unless the file says otherwise.
             EXPECT_TRUE(box2d->GetCollideConnected());
         }
         EXPECT_EQ(to_std(world.GetJoints()[1]->GetName().get_name()), "twin");
     }},
    {"GenericMouseJointDefaults",
     R"(<World><Node Name="ground"/><Circle Name="ball" Radius="10"><Mass Value="1"/></Circle>
          <Joint Type="Mouse"><BodyA Value="ground"/><BodyB Value="ball"/><CollideConnected Value="false"/></Joint>
        </World>)",
     [](physics::World& world) {
         ASSERT_EQ(world.GetJoints().size(), 1u);
         auto* mouse = dynamic_cast<physics::MouseJoint*>(world.GetJoints()[0]);
         ASSERT_NE(mouse, nullptr);
         EXPECT_EQ(mouse->FrequencyHz, 5.0f);
         EXPECT_EQ(mouse->DampingRatio, 0.7f);
         auto* box2d = static_cast<b2MouseJoint*>(mouse->GetJoint());
         // 5 Hz on a 1 kg body: k = m·(2π·5)², d = 2·m·0.7·(2π·5).
         const float omega = 2.0f * b2_pi * 5.0f;
         EXPECT_NEAR(box2d->GetStiffness(), omega * omega, 1e-2f);
         EXPECT_NEAR(box2d->GetDamping(), 2.0f * 0.7f * omega, 1e-3f);
         EXPECT_FALSE(box2d->GetCollideConnected());
     }},
};

void PrintTo(const LoadCase& c, std::ostream* os)
{
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(WorldFile, WorldFileLoadTest, ::testing::ValuesIn(load_cases),
                         [](const auto& info) { return std::string(info.param.name); });

struct FailCase {
    const char* name;
    const char* text;
};

class WorldFileFailureTest : public PhysicsTest, public ::testing::WithParamInterface<FailCase> {};

TEST_P(WorldFileFailureTest, EndsInTheOneLoadError)
{
    try {
        load(GetParam().text);
        FAIL() << "the world loaded";
    } catch (const vadu::GluckBadResource& error) {
        EXPECT_EQ(to_std(error.get_function()), "physics::World::CreateFromResource");
        EXPECT_EQ(to_std(error.get_description()), "Failed to load physics world from resource");
        EXPECT_EQ(to_std(error.get_resource().get_text()), "test.world");
    }
}

const FailCase fail_cases[] = {
    {"PrismaticIsInTheTableButNotSupported", R"(<World><Joint Type="Prismatic"/></World>)"},
    {"Weld", R"(<World><Joint Type="Weld"/></World>)"},
    {"KindOutsideTheTable", R"(<World><Joint Type="Motor"/></World>)"},
    {"GenericJointWithoutType", R"(<World><Circle Name="a" Radius="1"/><Circle Name="b" Radius="1"/>
        <Joint><BodyA Value="a"/><BodyB Value="b"/></Joint></World>)"},
    {"BodyIsNotAnElement", R"(<World><Body/></World>)"},
    {"NamesAreCaseSensitive", R"(<World><circle Radius="3"/></World>)"},
    {"JointNamingNoBody", R"(<World><DistanceJoint><BodyA Value="a"/><BodyB Value="b"/></DistanceJoint>
        <Circle Name="a" Radius="1"/></World>)"},
    {"JointJoiningABodyToItself", R"(<World><Circle Name="a" Radius="1"/>
        <DistanceJoint><BodyA Value="a"/><BodyB Value="a"/></DistanceJoint></World>)"},
    {"UnknownBodyType", R"(<World><Circle Radius="3"><BodyType Value="Dynamic"/></Circle></World>)"},
    {"UnknownAttribute", R"(<World><Box Size="1 1" Colour="red"/></World>)"},
    {"RadiusOnABox", R"(<World><Box Size="1 1" Radius="3"/></World>)"},
    {"ChildInsideAProperty", R"(<World><Circle Radius="3"><Position Value="1 1"><X/></Position></Circle></World>)"},
    {"PropertyWithAnotherAttribute", R"(<World><Circle Radius="3"><Mass Kilograms="1"/></Circle></World>)"},
    {"ValueThatDoesNotConvert", R"(<World><Circle Radius="3"><Mass Value="heavy"/></Circle></World>)"},
    {"VectorWithOneNumber", R"(<World><Circle Radius="3"><Position Value="1"/></Circle></World>)"},
    {"NotANumber", R"(<World><Circle Radius="3"><Position Value="nan 0"/></Circle></World>)"},
    {"CircleWithoutRadius", R"(<World><Circle/></World>)"},
    {"BoxWithoutSize", R"(<World><Box Width="10"/></World>)"},
    {"ZeroPixelsInMeter", R"(<World PixelsInMeter="0"/>)"},
    {"IterationsThatWouldStallTheFrame", R"(<World VelocityIterations="2000000000"/>)"},
    {"FarOutOfTheWorld", R"(<World PixelsInMeter="1e-30"><Circle Radius="3"/></World>)"},
    {"OtherRoot", R"(<Level/>)"},
    {"NotWellFormed", R"(<World><Circle Radius="3"></World>)"},
    {"Empty", ""},
};

void PrintTo(const FailCase& c, std::ostream* os)
{
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(WorldFile, WorldFileFailureTest, ::testing::ValuesIn(fail_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PhysicsTest, MissingFileEndsInTheLoadError)
{
    try {
        physics::World::CreateFromResource(vadu::filesystem::String("nowhere.world", false));
        FAIL() << "the world loaded";
    } catch (const vadu::GluckBadResource& error) {
        EXPECT_EQ(to_std(error.get_resource().get_text()), "nowhere.world");
    }
}

TEST_F(PhysicsTest, FindNodeReturnsTheFirstOfTwoNamesakes)
{
    auto world = load(R"(<World><Circle Name="twin" Radius="1"/><Box Name="twin" Size="3 3"/></World>)");
    ASSERT_EQ(world->GetNodes().size(), 2u);
    EXPECT_EQ(world->FindNode("twin"), world->GetNodes()[0]);
    EXPECT_EQ(world->FindNode("none"), nullptr);
}

// --- Factories ------------------------------------------------------------------------------

class FactoryTest : public PhysicsTest {
protected:
    FactoryTest() { physics::ResetFactories(); }
    ~FactoryTest() override { physics::ResetFactories(); }
};

TEST_F(FactoryTest, MadeOnFirstUseWithTheBuiltInKinds)
{
    EXPECT_FALSE(vadu::Singleton<physics::NodeFactory>::Exists());
    EXPECT_FALSE(vadu::Singleton<physics::Creator<physics::Node>>::Exists());
    physics::World world;
    physics::Node* circle = physics::CreateNode("Circle", &world);
    EXPECT_NE(dynamic_cast<physics::Circle*>(circle), nullptr);
    EXPECT_TRUE(vadu::Singleton<physics::NodeFactory>::Exists());
    EXPECT_TRUE(vadu::Singleton<physics::Creator<physics::Node>>::Exists());
    EXPECT_NE(dynamic_cast<physics::Box*>(physics::CreateNode("Box", &world)), nullptr);
    EXPECT_EQ(physics::CreateNode("circle", &world), nullptr);
    EXPECT_EQ(physics::CreateNode("Joint", &world), nullptr);
    EXPECT_EQ(physics::CreateJoint("Joint", &world), nullptr);
    EXPECT_NE(dynamic_cast<physics::RevoluteJoint*>(physics::CreateJoint("RevoluteJoint", &world)), nullptr);
    EXPECT_EQ(world.GetNodes().size(), 2u);
    EXPECT_EQ(world.GetJoints().size(), 1u);
}

TEST_F(FactoryTest, RegisteringANameAgainReplacesIt)
{
    physics::World world;
    physics::CreateNode("Node", &world);
    physics::Registrator<physics::Box, physics::Node> replace("Circle");
    EXPECT_NE(dynamic_cast<physics::Box*>(physics::CreateNode("Circle", &world)), nullptr);
}

} // namespace
