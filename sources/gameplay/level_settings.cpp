#include "sources/gameplay/level_settings.h"

namespace gameplay {

LevelSettings::LevelSettings()
{
    waterLevel.AddRef(new float(-50.0f));
}

LevelSettings::LevelSettings(const LevelSettings& other)
{
    *this = other;
}

LevelSettings::~LevelSettings()
{
    waterLevel.Release();
}

void LevelSettings::ShareWater(const LevelSettings& other)
{
    if (waterLevel.get() == other.waterLevel.get())
        return;
    // Count the source's line before giving up ours, in case ours is the last owner.
    float* shared = other.waterLevel.get();
    SharedRef<float> keep;
    keep.AddRef(shared);
    waterLevel.Release();
    waterLevel.AddRef(shared);
    keep.Release();
}

LevelSettings& LevelSettings::operator=(const LevelSettings& other)
{
    if (this == &other)
        return *this;
    ShareWater(other);
    waterLevelRaise = other.waterLevelRaise;
    waterUpTime = other.waterUpTime;
    waterDownTime = other.waterDownTime;
    waterUpTransitionTime = other.waterUpTransitionTime;
    maxShapeCount = other.maxShapeCount;
    linearDumping = other.linearDumping;
    initialDropCount = other.initialDropCount;
    parallelStarCount = other.parallelStarCount;
    starCountGoal = other.starCountGoal;
    levelEnergy = other.levelEnergy;
    probabilityBonusColor = other.probabilityBonusColor;
    probabilitySoapBubblePowerup = other.probabilitySoapBubblePowerup;
    probabilityRock = other.probabilityRock;
    probabilityFishSpawn = other.probabilityFishSpawn;
    threeColors = other.threeColors;
    disableLightning = other.disableLightning;
    disableAchievements = other.disableAchievements;
    probabilityBonusColorGrowSpeed = other.probabilityBonusColorGrowSpeed;
    probabilityRockGrowSpeed = other.probabilityRockGrowSpeed;
    gravityPointX = other.gravityPointX;
    gravityPointY = other.gravityPointY;
    gravityPointStrength = other.gravityPointStrength;
    backgroundType = other.backgroundType;
    gravity = other.gravity;
    playArea = other.playArea;
    minChain = other.minChain;
    starChain = other.starChain;
    manaCeiling = other.manaCeiling;
    return *this;
}

void BackgroundDescription::ShareWater(const LevelSettings& settings)
{
    if (waterLevel.get() == settings.waterLevel.get())
        return;
    waterLevel.Release();
    waterLevel.AddRef(settings.waterLevel.get());
}

} // namespace gameplay
