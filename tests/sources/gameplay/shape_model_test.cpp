#include <gtest/gtest.h>

#include <string>

#include "model_test_support.h"

namespace {

using gameplay_test::AddShape;
using gameplay_test::TestShape;

struct BoundsCase {
    const char* name;
    float x, y;
    bool old;
    float water;
    int energy;
    float margin, extra;
    bool danger;
};

class ShapeBounds : public ::testing::TestWithParam<BoundsCase> {};

TEST_P(ShapeBounds, DangerFollowsThePlayArea)
{
    const BoundsCase& c = GetParam();
    gameplay_fakes::FakeShell shell;
    shell.wideMargin = c.margin;
    shell.wideExtra = c.extra;
    gameplay_fakes::FakeLevel level;
    level.settings.SetWaterLevel(c.water);
    level.settings.levelEnergy = c.energy;
    TestShape* shape = AddShape(level, 480.0f, 300.0f);
    if (c.old)
        shape->Update(3.0f);
    shape->SetPosition({c.x, c.y});
    EXPECT_EQ(shape->IsInDanger(), c.danger);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShapeBounds,
    ::testing::Values(BoundsCase{"YoungNeverInDanger", -100.0f, 300.0f, false, -50.0f, 100, 0, 0, false},
                      BoundsCase{"Inside", 480.0f, 300.0f, true, -50.0f, 100, 0, 0, false},
                      BoundsCase{"UnderWater", 480.0f, 50.0f, true, 100.0f, 100, 0, 0, true},
                      BoundsCase{"BelowTheArea", 480.0f, -1.0f, true, -50.0f, 100, 0, 0, true},
                      BoundsCase{"LeftOfTheArea", -1.0f, 300.0f, true, -50.0f, 100, 0, 0, true},
                      BoundsCase{"LeftWithinTheWideMargin", -10.0f, 300.0f, true, -50.0f, 100, 20, 0, false},
                      BoundsCase{"RightOfTheArea", 961.0f, 300.0f, true, -50.0f, 100, 0, 0, true},
                      BoundsCase{"RightWithinTheWideExtra", 970.0f, 300.0f, true, -50.0f, 100, 0, 20, false},
                      BoundsCase{"UnderTheTopMargin", 480.0f, 566.0f, true, -50.0f, 100, 0, 0, true},
                      BoundsCase{"NoTopMarginWithoutEnergy", 480.0f, 600.0f, true, -50.0f, 0, 0, 0, false},
                      BoundsCase{"AboveTheTopWithoutEnergy", 480.0f, 641.0f, true, -50.0f, 0, 0, 0, true}),
    [](const ::testing::TestParamInfo<BoundsCase>& info) { return std::string(info.param.name); });

TEST(ShapeModel, AShapeLeftOutsideDiesAfterTheDelayAndLosesItsLinks)
{
    gameplay_fakes::FakeShell shell;
    gameplay_fakes::FakeLevel level;
    TestShape* shape = AddShape(level, 480.0f, 300.0f);
    TestShape* other = AddShape(level, 550.0f, 300.0f);
    level.links.CreateLink(shape, other);
    shape->Update(3.0f);
    shape->SetPosition({-200.0f, 300.0f});
    shape->Update(1.0f);
    EXPECT_TRUE(shape->IsShaking());
    EXPECT_FALSE(shape->IsDead());
    shape->Update(0.5f);
    EXPECT_TRUE(shape->IsDead());
    EXPECT_FALSE(level.links.AreLinked(shape, other));
}

TEST(ShapeModel, RadiusFollowsTheLayoutScale)
{
    gameplay_fakes::FakeShell shell;
    shell.scale = 1.5f;
    gameplay_fakes::FakeLevel level;
    EXPECT_EQ(AddShape(level, 0.0f, 0.0f)->GetRadius(), 52.0f);
}

TEST(ShapeChain, ComboCountsStarsOfConsecutiveTurns)
{
    gameplay_fakes::FakeShell shell;
    gameplay_fakes::FakeHud hud;
    gameplay_fakes::FakeLevel level;
    gameplay::ShapeChain& chain = level.chain;
    for (int count : {5, 0, 2}) {
        chain.Current().count = count;
        chain.Append();
    }
    EXPECT_EQ(level.steps, 3);
    hud.combos.clear();
    ASSERT_EQ(chain.History().size(), 3u);
    EXPECT_EQ(chain.History().front().count, 2);

    chain.Current().count = 3;
    chain.Current().x = 12.0f;
    chain.Current().y = 34.0f;
    chain.Append();
    ASSERT_EQ(hud.combos.size(), 1u);
    EXPECT_EQ(hud.combos[0].combo, 5);
    EXPECT_EQ(hud.combos[0].position.x, 12.0f);
    EXPECT_EQ(hud.combos[0].position.y, 34.0f);
    EXPECT_EQ(chain.StepNumber(), 4);
    EXPECT_EQ(chain.Current().count, 0);
    EXPECT_EQ(level.steps, 4);

    chain.Append();
    EXPECT_EQ(hud.combos.size(), 1u);
    EXPECT_EQ(chain.History().front().count, 0);
    EXPECT_EQ(chain.BestCombo(), 5);
    chain.Current().count = 1;
    chain.Append();
    EXPECT_EQ(chain.BestCombo(), 5);
    EXPECT_EQ(level.steps, 6);
}

TEST(ShapeChain, NoHudShowsNothingButStillSteps)
{
    gameplay_fakes::FakeShell shell;
    gameplay_fakes::FakeLevel level;
    level.chain.Current().count = 4;
    level.chain.Append();
    EXPECT_EQ(level.steps, 1);
    EXPECT_EQ(level.chain.BestCombo(), 4);
}

} // namespace
