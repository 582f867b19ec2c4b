#pragma once

// A fish crossing the field, straight along the water or leaping in an arc; shapes that come
// near its mouth are eaten: they ride in the mouth and die. The level makes fish at the end
// of a step, updates them every frame and deletes those that have left the screen.

#include <memory>

#include "vadu/math.h"

namespace vadu::animate {
class PrimitiveAnimation;
}
namespace vadu::lib3d::node {
class Node;
class Sprite;
} // namespace vadu::lib3d::node

namespace gameplay {

class RunningLevel;

class Fish {
public:
    enum Kind { Straight = 0, Arc = 1 };

    static constexpr float EatDistance = 80.0f;
    static constexpr float NearDistance = 120.0f;

    // Draws its height, direction and speed (and an arc's offsets) from platform::random, so
    // a seed replays the same fish. The sprite "Fish" goes under the parent.
    Fish(RunningLevel& level, vadu::lib3d::node::Node* parent, int kind);
    // Deletes the sprite with its animation.
    ~Fish();
    Fish(const Fish&) = delete;
    Fish& operator=(const Fish&) = delete;

    void Update(float dt);
    bool IsOffScreen() const;

    vadu::lib3d::node::Sprite* GetNode() const noexcept { return node_; }
    int GetKind() const noexcept { return kind_; }
    float GetSpeed() const noexcept { return speed_; }
    float GetArcX() const noexcept { return arc_x_; }
    float GetArcY() const noexcept { return arc_y_; }
    // Where the mouth sat at the last update, relative to the node.
    const vadu::math::Vector2<float>& GetMouth() const noexcept { return mouth_; }

private:
    void Eat();

    RunningLevel& level_;
    vadu::lib3d::node::Sprite* node_ = nullptr;
    std::unique_ptr<vadu::animate::PrimitiveAnimation> animation_;
    float speed_ = 0.0f;
    float arc_x_ = 0.0f;
    float arc_y_ = 0.0f;
    int kind_;
    vadu::math::Vector2<float> mouth_{};
};

} // namespace gameplay
