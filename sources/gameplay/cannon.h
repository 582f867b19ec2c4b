#pragma once

// Cannons bring new shapes into a running level: the set picks a cannon by weight, at most
// once every 0.125 s, and the cannon rolls a soap bubble, a rock or a monster by the level's
// current chances and launches it toward a random point of its destination.

#include <memory>
#include <vector>

#include "sources/gameplay/level_settings.h"
#include "vadu/atom.h"
#include "vadu/math.h"

namespace physics {
class World;
}
namespace vadu::lib3d::node {
class Node;
}

namespace gameplay {

class Shape;

// One cannon as read from a level file; rectangles in play-area pixels (left, bottom).
struct CannonItem {
    vadu::Atom name;
    float weight = 0.0f;
    PlayArea rectangle;
    PlayArea destination;
};

class Cannon {
public:
    enum class Kind { SoapBubble, Rock, Monster };

    static constexpr float LaunchSpeed = 800.0f;

    // The world and the settings are the level's; the cannon reads the chances on every shot.
    Cannon(const CannonItem& item, physics::World* world, const LevelSettings* settings);

    // Makes, places, shows and launches a new shape.
    std::unique_ptr<Shape> Fire(vadu::lib3d::node::Node* sceneRoot);

    // A point of the rectangle: the first draw goes to y, the second to x.
    static vadu::math::Vector2<float> RandomPoint(const PlayArea& rectangle);
    // What a kind roll makes under the settings' chances.
    static Kind ChooseKind(const LevelSettings& settings, float roll);
    // Speed x the unit vector from `from` to `to`, in pixels per second; zero when they coincide.
    static vadu::math::Vector2<float> LaunchVelocity(const vadu::math::Vector2<float>& from,
                                                     const vadu::math::Vector2<float>& to, float speed);

    const CannonItem& Item() const noexcept { return item_; }

private:
    CannonItem item_;
    physics::World* world_;
    const LevelSettings* settings_;
};

class CannonSet {
public:
    static constexpr float Cooldown = 0.125f;
    static constexpr int FirstStepCounter = 20;

    CannonSet(const LevelSettings* settings, std::vector<std::unique_ptr<Cannon>> cannons);

    // Null while cooling down or without cannons.
    std::unique_ptr<Shape> Fire(vadu::lib3d::node::Node* sceneRoot);
    // The frame's time off the cooldown, not below 0.
    void Cool(float dt);
    // The cannon a weighted draw r (0..total weight) picks: the first whose running sum
    // reaches r, else the last.
    size_t Choose(float r) const;

    float GetTotalWeight() const noexcept { return total_weight_; }
    float GetCooldown() const noexcept { return cooldown_; }
    const std::vector<std::unique_ptr<Cannon>>& GetCannons() const noexcept { return cannons_; }

    // Lowered by the level each step; reset here when it runs out.
    int stepCounter = FirstStepCounter;

private:
    const LevelSettings* settings_;
    std::vector<std::unique_ptr<Cannon>> cannons_;
    float total_weight_ = 0.0f;
    float cooldown_ = 0.0f;
};

} // namespace gameplay
