#include <gtest/gtest.h>

#include "sources/gameplay/level_settings.h"

namespace {

using gameplay::BackgroundDescription;
using gameplay::LevelSettings;

TEST(LevelSettings, DefaultsAreKnown)
{
    const LevelSettings s;
    EXPECT_EQ(s.maxShapeCount, 30);
    EXPECT_EQ(s.levelEnergy, 100);
    EXPECT_EQ(s.gravity, 10.0f);
    EXPECT_EQ(s.minChain, 2);
    EXPECT_EQ(s.starChain, 5);
    EXPECT_EQ(s.GetWaterLevel(), -50.0f);
    EXPECT_EQ(s.probabilityFishSpawn, 8.0f);
    EXPECT_EQ(s.manaCeiling, 100);
    // Fields nothing used to set start at zero.
    EXPECT_EQ(s.waterUpTime, 0.0f);
    EXPECT_EQ(s.waterDownTime, 0.0f);
    EXPECT_EQ(s.initialDropCount, 0);
    EXPECT_EQ(s.parallelStarCount, 0);
    EXPECT_EQ(s.starCountGoal, 0);
    EXPECT_EQ(s.linearDumping, 0);
    EXPECT_EQ(s.backgroundType, 0);
    EXPECT_FALSE(s.threeColors);
    EXPECT_EQ(s.playArea.width, 960.0f);
    EXPECT_EQ(s.playArea.height, 640.0f);
}

TEST(LevelSettings, CopiesShareTheWaterLine)
{
    LevelSettings original;
    original.maxShapeCount = 12;
    original.waterUpTime = 3.5f;
    LevelSettings assigned;
    assigned = original;
    const LevelSettings constructed(original);

    EXPECT_EQ(assigned.maxShapeCount, 12);
    EXPECT_EQ(constructed.waterUpTime, 3.5f);
    assigned.SetWaterLevel(120.0f);
    EXPECT_EQ(original.GetWaterLevel(), 120.0f);
    EXPECT_EQ(constructed.GetWaterLevel(), 120.0f);
    original.SetWaterLevel(7.0f);
    EXPECT_EQ(assigned.GetWaterLevel(), 7.0f);
}

TEST(LevelSettings, TheLineOutlivesTheSettingsThatMadeIt)
{
    BackgroundDescription background;
    {
        LevelSettings settings;
        LevelSettings copy = settings;
        copy = settings;
        background.ShareWater(settings);
        settings.SetWaterLevel(33.0f);
    }
    EXPECT_EQ(*background.waterLevel.get(), 33.0f);
}

} // namespace
