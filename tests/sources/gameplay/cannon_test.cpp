#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include <box2d/b2_body.h>

#include "platform/random.h"
#include "sources/gameplay/cannon.h"
#include "sources/gameplay/kinds.h"
#include "support/fake_gameplay.h"

namespace {

using gameplay::Cannon;
using gameplay::CannonItem;
using gameplay::CannonSet;
using gameplay::PlayArea;

class CannonTest : public ::testing::Test {
protected:
    CannonTest() { platform::seed_random(7); }

    std::unique_ptr<Cannon> MakeCannon(float weight, PlayArea from = {100, 600, 10, 10}, PlayArea to = {100, 100, 10, 10})
    {
        CannonItem item;
        item.weight = weight;
        item.rectangle = from;
        item.destination = to;
        return std::make_unique<Cannon>(item, level.World(), &level.settings);
    }

    gameplay_fakes::FakeShell shell;
    gameplay_fakes::FakeLevel level;
};

TEST_F(CannonTest, WeightsOneAndThreeFireAboutOneInFour)
{
    std::vector<std::unique_ptr<Cannon>> cannons;
    cannons.push_back(MakeCannon(1.0f));
    cannons.push_back(MakeCannon(3.0f));
    CannonSet set(&level.settings, std::move(cannons));
    EXPECT_FLOAT_EQ(set.GetTotalWeight(), 4.0f);

    // The running sum decides: r up to 1 is the first, above it the second; past the
    // total (rounding) the last.
    EXPECT_EQ(set.Choose(0.0f), 0u);
    EXPECT_EQ(set.Choose(1.0f), 0u);
    EXPECT_EQ(set.Choose(1.01f), 1u);
    EXPECT_EQ(set.Choose(5.0f), 1u);

    int first = 0;
    constexpr int draws = 4000;
    for (int i = 0; i < draws; ++i) {
        const float r = set.GetTotalWeight() * static_cast<float>(platform::random()) / platform::random_max;
        if (set.Choose(r) == 0)
            ++first;
    }
    EXPECT_NEAR(static_cast<double>(first) / draws, 0.25, 0.03);
}

TEST_F(CannonTest, KindRollsFollowTheChances)
{
    level.settings.probabilitySoapBubblePowerup = 0.1f;
    level.settings.probabilityRock = 0.2f;
    struct Case {
        float roll;
        Cannon::Kind kind;
    } cases[] = {{0.0f, Cannon::Kind::SoapBubble}, {0.09f, Cannon::Kind::SoapBubble}, {0.1f, Cannon::Kind::Rock},
                 {0.25f, Cannon::Kind::Rock},     {0.3f, Cannon::Kind::Monster},     {0.99f, Cannon::Kind::Monster}};
    for (const Case& c : cases)
        EXPECT_EQ(Cannon::ChooseKind(level.settings, c.roll), c.kind) << c.roll;
}

TEST_F(CannonTest, ThreeColoursGiveOnlyColoursZeroToTwo)
{
    level.settings.threeColors = true;
    level.settings.probabilityBonusColor = 0.0f;
    std::vector<std::unique_ptr<Cannon>> cannons;
    cannons.push_back(MakeCannon(1.0f));
    CannonSet set(&level.settings, std::move(cannons));
    std::set<int> colours;
    for (int i = 0; i < 60; ++i) {
        set.Cool(1.0f);
        std::unique_ptr<gameplay::Shape> shape = set.Fire(nullptr);
        ASSERT_NE(shape, nullptr);
        auto* monster = dynamic_cast<gameplay::Monster*>(shape.get());
        ASSERT_NE(monster, nullptr);
        colours.insert(monster->GetColour());
    }
    EXPECT_EQ(colours, (std::set<int>{0, 1, 2}));
}

TEST_F(CannonTest, CooldownHoldsShotsForAnEighthOfASecond)
{
    std::vector<std::unique_ptr<Cannon>> cannons;
    cannons.push_back(MakeCannon(1.0f));
    CannonSet set(&level.settings, std::move(cannons));
    EXPECT_NE(set.Fire(nullptr), nullptr);
    EXPECT_EQ(set.Fire(nullptr), nullptr);
    set.Cool(0.1f);
    EXPECT_EQ(set.Fire(nullptr), nullptr);
    set.Cool(0.025f);
    EXPECT_NE(set.Fire(nullptr), nullptr);

    CannonSet empty(&level.settings, {});
    EXPECT_EQ(empty.Fire(nullptr), nullptr);
}

TEST_F(CannonTest, RandomPointDrawsYBeforeX)
{
    platform::seed_random(99);
    const float r1 = static_cast<float>(platform::random()) / platform::random_max;
    const float r2 = static_cast<float>(platform::random()) / platform::random_max;
    platform::seed_random(99);
    const auto point = Cannon::RandomPoint({10.0f, 20.0f, 100.0f, 1000.0f});
    EXPECT_FLOAT_EQ(point.x, 10.0f + 100.0f * r2);
    EXPECT_FLOAT_EQ(point.y, 20.0f + 1000.0f * r1);
}

TEST_F(CannonTest, LaunchesTowardTheDestinationAtTheScaledSpeed)
{
    shell.scale = 0.5f;
    const auto velocity = Cannon::LaunchVelocity({0.0f, 0.0f}, {30.0f, -40.0f}, 400.0f);
    EXPECT_FLOAT_EQ(velocity.x, 240.0f);
    EXPECT_FLOAT_EQ(velocity.y, -320.0f);
    // Coinciding points give no direction and no NaN.
    const auto still = Cannon::LaunchVelocity({5.0f, 5.0f}, {5.0f, 5.0f}, 400.0f);
    EXPECT_EQ(still.x, 0.0f);
    EXPECT_EQ(still.y, 0.0f);

    // A real shot: straight down from a one-point rectangle to another.
    auto cannon = MakeCannon(1.0f, {200, 600, 0, 0}, {200, 100, 0, 0});
    std::unique_ptr<gameplay::Shape> shape = cannon->Fire(nullptr);
    EXPECT_FLOAT_EQ(shape->GetPosition().x, 200.0f);
    EXPECT_FLOAT_EQ(shape->GetPosition().y, 600.0f);
    const b2Vec2 v = shape->GetBody()->GetLinearVelocity();
    const float metre = level.World()->GetPixelsInMeter();
    EXPECT_NEAR(v.x * metre, 0.0f, 1e-3);
    EXPECT_NEAR(v.y * metre, -Cannon::LaunchSpeed * 0.5f, 1e-2);
}

} // namespace
