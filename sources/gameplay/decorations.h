#pragma once

// The background of a level or a menu: the full-screen picture of its type (day, night,
// underwater), four drifting clouds by day, the islands, trees, sky islands, sun and moon,
// and the seaweed and corals of the sea floor, that the level file lists (tinted blue-grey
// at night, all but the moon), and the water.

#include <memory>
#include <utility>
#include <vector>

#include "sources/gameplay/level_settings.h"
#include "vadu/math.h"
#include "vadu/string.h"

namespace vadu::lib3d::node {
class Node;
class Sprite;
} // namespace vadu::lib3d::node

namespace gameplay {

class WaterDecoration;

class Decorations {
public:
    static constexpr float BackgroundDepth = 50.0f;
    static constexpr float FirstIslandDepth = 30.0f;
    static constexpr float FirstSkyDepth = 40.0f;

    Decorations();
    // Takes over a description already filled (the loader's).
    explicit Decorations(std::unique_ptr<BackgroundDescription> background);
    ~Decorations();
    Decorations(const Decorations&) = delete;
    Decorations& operator=(const Decorations&) = delete;

    // Builds everything from the description (copied: the water level is shared) under the
    // parent. The sprites belong to the scene.
    void Create(const BackgroundDescription& background, vadu::lib3d::node::Node* parent);
    // Builds from the description it owns.
    void Create(vadu::lib3d::node::Node* parent);
    // The water, then the clouds drifting left and wrapping at the left edge.
    void Update(float dt);

    // One sprite under the parent, at (x, y, depth), turned about z and scaled.
    vadu::lib3d::node::Sprite* AddSprite(const vadu::math::Vector2<float>& position, float depth,
                                         const vadu::String& texture, bool filter, float rotation,
                                         const vadu::math::Vector2<float>& scale);

    BackgroundDescription& GetBackground() noexcept { return *background_; }
    // Null when the level has no water.
    WaterDecoration* GetWater() const noexcept { return water_.get(); }
    const std::vector<std::pair<vadu::lib3d::node::Sprite*, float>>& GetClouds() const noexcept { return clouds_; }
    vadu::lib3d::node::Sprite* GetBackgroundSprite() const noexcept { return background_sprite_; }
    const vadu::math::Vector3& GetTint() const noexcept { return tint_; }

private:
    void CreateSymbol(const DecorationItem& item);

    std::unique_ptr<BackgroundDescription> background_;
    vadu::lib3d::node::Node* parent_ = nullptr;
    vadu::math::Vector3 tint_{1.0f, 1.0f, 1.0f};
    std::vector<std::pair<vadu::lib3d::node::Sprite*, float>> clouds_;
    std::unique_ptr<WaterDecoration> water_;
    vadu::lib3d::node::Sprite* background_sprite_ = nullptr;
    float island_depth_ = FirstIslandDepth;
    float sky_depth_ = FirstSkyDepth;
};

} // namespace gameplay
