// Fish over a fake level: where they start, how they swim and leap, which shapes they eat,
// which achievement events they raise, and when they have left the screen.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "gameplay_test_support.h"
#include "platform/random.h"
#include "sources/gameplay/fish.h"
#include "sources/gameplay/kinds.h"
#include "support/fake_gameplay.h"
#include "vadu/lib3d/node/sprite.h"

namespace {

using gameplay::Fish;
using gameplay::Monster;
using gameplay::Shape;
using gameplay_fakes::FakeLevel;
using gameplay_fakes::FakeShell;
using vadu::lib3d::node::Node;

const char* const FishAnimation = R"(<Animation><double>
    <PrimitiveAnimation Target="" Param="FrameIndex">
        <Envelope><Keys><Key Time="0" Value="0" Linear="1"/><Key Time="0.5" Value="1.99"/></Keys></Envelope>
    </PrimitiveAnimation></double></Animation>)";

class FishTest : public gameplay_test::GameplayTest {
protected:
    FishTest()
    {
        write("data/shapes/fish.anim", FishAnimation);
        level.sceneRoot = &root;
    }

    // The first fish from seed 1 on that swims the wanted way.
    std::unique_ptr<Fish> make_fish(int kind, bool right)
    {
        for (unsigned seed = 1; seed < 100; ++seed) {
            platform::seed_random(seed);
            auto fish = std::make_unique<Fish>(level, &root, kind);
            if ((fish->GetSpeed() > 0.0f) == right)
                return fish;
        }
        ADD_FAILURE() << "no fish swims that way";
        return nullptr;
    }

    Monster* monster_at(float x, float y, int colour = 0)
    {
        Monster* monster = level.Add(std::make_unique<Monster>(level.World(), vadu::Atom(), colour));
        monster->SetPosition({x, y});
        return monster;
    }

    // Where the mouth is after the fish's last update.
    static vadu::math::Vector2<float> mouth_of(const Fish& fish)
    {
        const vadu::math::Vector3& p = fish.GetNode()->get_position();
        return {p.x + fish.GetMouth().x, p.y + fish.GetMouth().y};
    }

    int count(const std::string& event) const
    {
        int n = 0;
        for (const std::string& each : shell.events)
            n += each == event;
        return n;
    }

    FakeShell shell;
    FakeLevel level;
    Node root{"Root", nullptr};
};

TEST_F(FishTest, StartsWithinItsKindsRangesAndReplaysFromTheSeed)
{
    struct Case {
        int kind;
        float scale;
        float margin;
        float extra;
    };
    const Case cases[] = {{Fish::Straight, 1.0f, 0.0f, 0.0f}, {Fish::Straight, 2.0f, 30.0f, 50.0f},
                          {Fish::Arc, 1.0f, 0.0f, 0.0f}, {Fish::Arc, 1.5f, 30.0f, 50.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.kind) + " at scale " + std::to_string(c.scale));
        shell.scale = c.scale;
        shell.wideMargin = c.margin;
        shell.wideExtra = c.extra;
        const float s = c.scale;
        int right = 0;
        for (unsigned seed = 1; seed <= 60; ++seed) {
            platform::seed_random(seed);
            Fish fish(level, &root, c.kind);
            const vadu::math::Vector3& p = fish.GetNode()->get_position();
            const float speed = fish.GetSpeed();
            right += speed > 0.0f;
            EXPECT_GE(p.y, 150.0f * s);
            EXPECT_LE(p.y, 450.0f * s);
            EXPECT_EQ(p.z, 20.0f);
            EXPECT_EQ(fish.GetNode()->get_scale().x, speed > 0.0f ? -1.0f : 1.0f);
            EXPECT_EQ(fish.GetNode()->get_name(), vadu::Atom("Fish"));
            EXPECT_EQ(fish.GetNode()->get_parent(), &root);
            if (c.kind == Fish::Straight) {
                EXPECT_GE(std::fabs(speed), 80.0f * s);
                EXPECT_LE(std::fabs(speed), 100.0f * s);
                EXPECT_EQ(p.x, speed <= 0.0f ? s * (960.0f - c.extra - c.margin + 1060.0f) : s * (-100.0f - c.margin));
            } else {
                EXPECT_GE(std::fabs(speed), 150.0f * s);
                EXPECT_LE(std::fabs(speed), 200.0f * s);
                EXPECT_GE(fish.GetArcX(), -100.0f * s);
                EXPECT_LE(fish.GetArcX(), 100.0f * s);
                EXPECT_GE(fish.GetArcY(), -200.0f * s);
                EXPECT_LE(fish.GetArcY(), 20.0f * s);
                EXPECT_EQ(p.x, speed <= 0.0f ? 1160.0f * s : -200.0f * s);
            }
            platform::seed_random(seed);
            Fish again(level, &root, c.kind);
            EXPECT_EQ(again.GetSpeed(), speed);
            EXPECT_EQ(again.GetNode()->get_position(), p);
        }
        // Both ways occur.
        EXPECT_GT(right, 5);
        EXPECT_LT(right, 55);
    }
}

TEST_F(FishTest, AnArcFishFollowsItsParabolaAndTurnsAlongItsSlope)
{
    for (const float scale : {1.0f, 2.0f}) {
        for (const bool right : {true, false}) {
            SCOPED_TRACE(std::to_string(scale) + (right ? " right" : " left"));
            shell.scale = scale;
            std::unique_ptr<Fish> fish = make_fish(Fish::Arc, right);
            ASSERT_TRUE(fish);
            Node& node = *fish->GetNode();
            float x = node.get_position().x;
            for (int frame = 0; frame < 40; ++frame) {
                fish->Update(0.1f);
                const float u = x / scale + 0.1f * fish->GetSpeed();
                const float v = u + fish->GetArcX();
                EXPECT_FLOAT_EQ(node.get_position().x, scale * u);
                EXPECT_NEAR(node.get_position().y, scale * (2.0f * v - 0.002f * v * v + fish->GetArcY()), 1e-2f);
                EXPECT_FLOAT_EQ(node.get_rotation().z, std::atan(2.0f - 0.004f * v));
                // The mouth turns with the fish.
                const float a = (right ? 33.0f : -33.0f) * scale;
                const float b = -27.0f * scale;
                const float angle = node.get_rotation().z;
                EXPECT_NEAR(fish->GetMouth().x, a * std::cos(angle) - b * std::sin(angle), 1e-3f);
                EXPECT_NEAR(fish->GetMouth().y, a * std::sin(angle) + b * std::cos(angle), 1e-3f);
                x = node.get_position().x;
            }
        }
    }
}

TEST_F(FishTest, AStraightFishSwimsLevelAtItsSpeed)
{
    std::unique_ptr<Fish> fish = make_fish(Fish::Straight, true);
    ASSERT_TRUE(fish);
    const vadu::math::Vector3 start = fish->GetNode()->get_position();
    fish->Update(0.5f);
    EXPECT_FLOAT_EQ(fish->GetNode()->get_position().x, start.x + 0.5f * fish->GetSpeed());
    EXPECT_EQ(fish->GetNode()->get_position().y, start.y);
    EXPECT_EQ(fish->GetNode()->get_rotation().z, 0.0f);
    EXPECT_EQ(fish->GetMouth().x, 33.0f);
    EXPECT_EQ(fish->GetMouth().y, -27.0f);
}

TEST_F(FishTest, AMonsterAtTheMouthIsEatenOnceAndRidesInTheMouth)
{
    std::unique_ptr<Fish> fish = make_fish(Fish::Straight, false);
    ASSERT_TRUE(fish);
    fish->Update(0.0f);
    const vadu::math::Vector2<float> mouth = mouth_of(*fish);
    Monster* eaten = monster_at(mouth.x + 10.0f, mouth.y);
    Monster* far = monster_at(mouth.x + 300.0f, mouth.y);
    for (int frame = 0; frame < 10; ++frame)
        fish->Update(0.0f);
    EXPECT_TRUE(eaten->IsDead());
    EXPECT_EQ(eaten->GetDyingRuns(), 1);
    EXPECT_EQ(eaten->mergeTarget.get(), fish->GetNode());
    EXPECT_EQ(eaten->mergeOffset, (vadu::math::Vector3{-33.0f, -27.0f, -1.5f}));
    EXPECT_FALSE(far->IsDead());
    EXPECT_EQ(count("FishReached"), 1);
}

TEST_F(FishTest, ReachedAndNearAreRaisedByDistanceFromTheMouth)
{
    struct Case {
        float scale;
        float distance;
        const char* event;  // null: none
    };
    // Eaten below 80 x scale; near below 120 pixels whatever the scale.
    const Case cases[] = {{1.0f, 79.0f, "FishReached"}, {1.0f, 81.0f, "FishNear"}, {1.0f, 119.0f, "FishNear"},
                          {1.0f, 121.0f, nullptr},      {2.0f, 159.0f, "FishReached"}, {2.0f, 161.0f, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.scale) + " at " + std::to_string(c.distance));
        shell.scale = c.scale;
        shell.events.clear();
        std::unique_ptr<Fish> fish = make_fish(Fish::Straight, true);
        ASSERT_TRUE(fish);
        fish->Update(0.0f);
        const vadu::math::Vector2<float> mouth = mouth_of(*fish);
        Monster* shape = monster_at(mouth.x, mouth.y + c.distance);
        fish->Update(0.0f);
        if (c.event == nullptr) {
            EXPECT_TRUE(shell.events.empty());
        } else {
            ASSERT_EQ(shell.events.size(), 1u);
            EXPECT_EQ(shell.events[0], c.event);
        }
        EXPECT_EQ(shape->IsDead(), c.event != nullptr && std::string(c.event) == "FishReached");
        level.shapes.clear();
    }
}

TEST_F(FishTest, FrozenDeadAndEndedLevelsAreLeftAlone)
{
    struct Case {
        const char* name;
        bool frozen;
        bool diedBefore;
        bool ended;
    };
    const Case cases[] = {{"frozen monster", true, false, false},
                          {"shape that died earlier this frame", false, true, false},
                          {"level ended", false, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        shell.events.clear();
        level.ended = c.ended;
        std::unique_ptr<Fish> fish = make_fish(Fish::Straight, true);
        ASSERT_TRUE(fish);
        fish->Update(0.0f);
        const vadu::math::Vector2<float> mouth = mouth_of(*fish);
        Monster* shape = nullptr;
        if (c.frozen) {
            shape = level.Add(std::make_unique<gameplay::FrozenMonster>(level.World(), vadu::Atom(), 1, 1));
            shape->SetPosition(mouth);
        } else {
            shape = monster_at(mouth.x, mouth.y);
        }
        if (c.diedBefore)
            shape->Die();
        const int runs = shape->GetDyingRuns();
        fish->Update(0.0f);
        EXPECT_EQ(shape->GetDyingRuns(), runs);
        EXPECT_EQ(shape->mergeTarget.get(), nullptr);
        EXPECT_EQ(count("FishReached"), 0);
        EXPECT_EQ(shape->IsDead(), c.diedBefore);
        level.shapes.clear();
        level.ended = false;
    }
}

TEST_F(FishTest, IsOffScreenPastEitherEdge)
{
    shell.wideMargin = 30.0f;
    shell.wideExtra = 50.0f;
    struct Case {
        bool right;
        float x;
        bool off;
    };
    // Left: below -100 - 30; right: beyond 960 - 50 - 30 + 1060.
    const Case cases[] = {{false, -129.0f, false}, {false, -131.0f, true}, {true, 1939.0f, false}, {true, 1941.0f, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x));
        std::unique_ptr<Fish> fish = make_fish(Fish::Straight, c.right);
        ASSERT_TRUE(fish);
        fish->GetNode()->set_position({c.x, 300.0f, 20.0f});
        EXPECT_EQ(fish->IsOffScreen(), c.off);
    }
}

} // namespace
