#pragma once

// The base of every monster, obstacle and power-up: a circle body in the level's world
// with the danger timer. Kinds: 0 normal (also frozen monsters and soap bubbles),
// 1 starred, 2 stone, 3 indestructible, 4 rock, 5 lightning power-up, 6 bottle.

#include <memory>
#include <vector>

#include "physics/node.h"
#include "sources/gameplay/perishable.h"
#include "vadu/atom.h"
#include "vadu/math.h"
#include "vadu/string.h"

namespace physics {
class World;
}

namespace gameplay {

class LevelSettings;

class Shape : public physics::Circle, public Perishable {
public:
    // Seconds a new shape stays young (never in danger).
    static constexpr float YoungAge = 3.0f;
    // A circle of trunc(35 x layout scale) pixels, static until the kind sets its mass.
    Shape(physics::World* world, const vadu::Atom& name);
    ~Shape() override;

    // Position, danger timer, age.
    void Update(float dt) override;
    // The centre is the body origin; moving it is not the shape's business.
    void SetCenter(const vadu::math::Vector2<float>&) override {}
    vadu::math::Vector2<float> GetCenter() const override { return {}; }

    // Called right after the shape got a new link.
    virtual void UpdateGroup() {}
    // Whether the shape counts toward a new starred monster.
    virtual bool CanBeCollected() const { return true; }
    // True when the two are not linked yet.
    virtual bool CanLinkTo(const Shape& other) const;
    // Called on every shape when the level is won.
    virtual void RequestMelt() {}
    virtual int GetKind() const = 0;
    virtual bool IsKind(int kind) const { return GetKind() == kind; }
    virtual int GetGroupSize() const { return 0; }
    // The frame name, in the links atlas, of a link drawn from this shape.
    virtual vadu::String GetColorName() const = 0;
    // Pixels of a link hidden under the shape at each end.
    virtual float GetLinkInset() const = 0;

    // Never while young; otherwise out of the running level's play area (with the
    // wide-screen margins, and the top margin when the level has energy) or under water.
    bool IsInDanger() override;
    // Drops every link of the shape through the global link graph.
    bool RemoveLinks() override;

    const vadu::math::Vector2<float>& GetBasePoint() const noexcept { return base_point_; }
    float GetAge() const noexcept { return age_; }
    bool IsYoung() const noexcept { return young_; }
    // The danger shake's position, used by links while the shape is shaking.
    vadu::math::Vector2<float> shakeOffset{};
    bool IsShaking() const { return WasInDanger(); }

protected:
    vadu::math::Vector2<float> base_point_{};
    float age_ = 0.0f;
    bool young_ = true;
};

// One shape of a level file: its asset name ("a/b/c/Kind/number[/obstacle]"), name and
// position in play-area pixels.
struct ShapeItem {
    vadu::String asset;
    vadu::Atom name;
    vadu::math::Vector2<float> position{};
};

// The level's live shapes, in the order they were added.
class ShapeList : public std::vector<Shape*> {
public:
    // The shape first, then every shape reachable from it through the global link graph,
    // in the order the fill meets them.
    static std::vector<Shape*> Collect(Shape& shape);
};

} // namespace gameplay
