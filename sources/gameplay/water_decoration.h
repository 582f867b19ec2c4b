#pragma once

// The visible water: a scene whose surface follows the shared water level, four wave strips
// scrolling sideways at their own speeds and a bubbles node under the surface. It can also
// animate the level: a cycle of low, rising, high and falling, or one steady rise.

#include <vector>

#include "vadu/shared_ref.h"

namespace vadu::lib3d::node {
class Node;
}

namespace gameplay {

class BackgroundDescription;

class WaterDecoration {
public:
    static constexpr float SteadyRiseCeiling = 230.0f;
    static constexpr float BubblesMinimumLevel = 25.0f;

    WaterDecoration() = default;
    ~WaterDecoration();
    WaterDecoration(const WaterDecoration&) = delete;
    WaterDecoration& operator=(const WaterDecoration&) = delete;

    // Shares the description's water level and loads "/data/decorations/water.scene" under the
    // parent as "WaterNode"; a scene that fails to load raises as the scene loader does.
    void Load(const BackgroundDescription& background, vadu::lib3d::node::Node* parent);
    // Loads "/data/decorations/underwater.scene"; nothing moves afterwards.
    void LoadUnderwater(vadu::lib3d::node::Node* parent);
    // The water to the level, the bubbles below it (hidden while the level is low).
    void PlaceWater();
    void Update(float dt);
    // The level's water animation: how far it rises (above 1 to move at all), how long it
    // stays up and down in a cycle, and the length of a steady rise (a cycle when at most 1).
    void SetTimings(float raise, float upTime, float downTime, float transitionTime);

    vadu::lib3d::node::Node* GetRoot() const noexcept { return root_; }
    vadu::lib3d::node::Node* GetBubbles() const noexcept { return bubbles_; }
    const std::vector<vadu::lib3d::node::Node*>& GetWaves() const noexcept { return waves_; }
    float GetLevel() const;
    float GetTimer() const noexcept { return timer_; }

private:
    void SetLevel(float level);

    vadu::lib3d::node::Node* root_ = nullptr;
    vadu::lib3d::node::Node* bubbles_ = nullptr;
    std::vector<vadu::lib3d::node::Node*> waves_;
    SharedRef<float> level_;
    float base_level_ = 0.0f;
    float raise_ = 0.0f;
    float up_time_ = 0.0f;
    float down_time_ = 0.0f;
    float transition_time_ = 0.0f;
    float timer_ = 0.0f;
};

} // namespace gameplay
