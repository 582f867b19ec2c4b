#pragma once

// The per-level settings the level loader fills and the running level copies, and the part
// of a level file the decorations draw. The water line is one shared value: the settings,
// their copies and the background description all see the same line.

#include <vector>

#include "vadu/math.h"
#include "vadu/shared_ref.h"
#include "vadu/string.h"

namespace gameplay {

struct PlayArea {
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
};

class LevelSettings {
public:
    // Field and screen size of the default shell.
    static constexpr float DefaultWidth = 960.0f;
    static constexpr float DefaultHeight = 640.0f;

    LevelSettings();
    LevelSettings(const LevelSettings& other);
    // Copies every field; the water line is shared with the source, not copied.
    LevelSettings& operator=(const LevelSettings& other);
    ~LevelSettings();

    float GetWaterLevel() const { return *waterLevel.get(); }
    void SetWaterLevel(float level) { *waterLevel.get() = level; }

    SharedRef<float> waterLevel;
    float waterLevelRaise = 0.0f;
    float waterUpTime = 0.0f;
    float waterDownTime = 0.0f;
    float waterUpTransitionTime = 0.0f;
    int maxShapeCount = 30;
    int linearDumping = 0;
    int initialDropCount = 0;
    int parallelStarCount = 0;
    int starCountGoal = 0;
    int levelEnergy = 100;
    float probabilityBonusColor = 0.0f;
    float probabilitySoapBubblePowerup = 0.0f;
    float probabilityRock = 0.0f;
    // A number of steps, not a fraction; the loader always overwrites it.
    float probabilityFishSpawn = 8.0f;
    bool threeColors = false;
    bool disableLightning = false;
    bool disableAchievements = false;
    float probabilityBonusColorGrowSpeed = 0.0f;
    float probabilityRockGrowSpeed = 0.0f;
    float gravityPointX = 0.0f;
    float gravityPointY = 0.0f;
    // 0: no attraction point.
    float gravityPointStrength = 0.0f;
    // 0 day, 1 night, 2 underwater.
    int backgroundType = 0;
    float gravity = 10.0f;
    PlayArea playArea{0.0f, 0.0f, DefaultWidth, DefaultHeight};
    int minChain = 2;
    int starChain = 5;
    // Not read from the level file.
    int manaCeiling = 100;

private:
    void ShareWater(const LevelSettings& other);
};

struct DecorationItem {
    float x = 0.0f;
    float y = 0.0f;
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    // The negated "Rotation" of the file.
    float rotation = 0.0f;
    vadu::String asset_name;
};

class BackgroundDescription {
public:
    BackgroundDescription() = default;
    BackgroundDescription(const BackgroundDescription&) = delete;
    BackgroundDescription& operator=(const BackgroundDescription&) = delete;
    ~BackgroundDescription() { waterLevel.Release(); }

    // Shares the settings' water line (releasing a line held before).
    void ShareWater(const LevelSettings& settings);

    SharedRef<float> waterLevel;
    int backgroundType = 0;
    std::vector<DecorationItem> items;
};

} // namespace gameplay
