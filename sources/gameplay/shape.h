#pragma once

// The base of every monster, obstacle and power-up: a circle body in the level's world
// with the danger timer.

#include <memory>
#include <vector>

#include "physics/node.h"
#include "sources/gameplay/perishable.h"
#include "sources/gameplay/shape_kind.h"
#include "vadu/atom.h"
#include "vadu/math.h"
#include "vadu/string.h"
#include "vadu/weak_ptr.h"

class BaseAnimation;

namespace vadu::lib3d::node {
class Node;
}

namespace physics {
class World;
}

namespace gameplay {

class LevelSettings;

class Shape : public physics::Circle, public Perishable {
public:
    // Seconds a new shape stays young (never in danger).
    static constexpr float YoungAge = 3.0f;
    // Seconds and amplitudes of the hint shakes and of the danger shake.
    static constexpr float StrongHintDuration = 1.0f;
    static constexpr float StrongHintMagnitude = 3.0f;
    static constexpr float MildHintDuration = 1.5f;
    static constexpr float MildHintMagnitude = 2.0f;
    static constexpr float DangerShakeDuration = 1.0f;
    static constexpr float DangerShakeMagnitude = 3.0f;

    // A circle of trunc(35 x layout scale) pixels, static until the kind sets its mass.
    Shape(physics::World* world, const vadu::Atom& name);
    // Finishes the node's actions, then deletes the node (when the scene still has it).
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
    virtual ShapeKind GetKind() const = 0;
    virtual bool IsKind(ShapeKind kind) const { return GetKind() == kind; }
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
    // The danger shake: a looping shake of the node around the base point while in danger.
    void OnDangerChanged(bool in_danger) override;
    // Plays "monsters/dying.anim" on a copy of the node put beside it, so that the level
    // may delete the shape while the copy plays to its end.
    void PlayDying() override;

    // A one-shot shake that draws the eye: 1.0 s at 3.0 when strong, else 1.5 s at 2.0;
    // nothing while another hint shake runs.
    void HintShake(bool strong);
    bool hintShaking = false;

    // The shape's own scene node (built by the kind when it joins the scene); null when it
    // has none or the scene deleted it.
    vadu::lib3d::node::Node* GetNode() const;
    // The copy that plays the dying animation; null before dying and once it has ended.
    vadu::lib3d::node::Node* GetDyingClone() const;
    // Where links drawn to this shape end: the shake position while shaking, else the
    // node's position (the body's without a node).
    vadu::math::Vector3 GetDisplayPosition() const;
    // The direct child of the root with that name, else the root itself.
    static vadu::lib3d::node::Node* FindLayer(vadu::lib3d::node::Node* root, const char* name);

    const vadu::math::Vector2<float>& GetBasePoint() const noexcept { return base_point_; }
    float GetAge() const noexcept { return age_; }
    bool IsYoung() const noexcept { return young_; }
    // The danger shake's position, used by links while the shape is shaking.
    vadu::math::Vector2<float> shakeOffset{};
    bool IsShaking() const { return WasInDanger(); }

protected:
    // Takes the node as the shape's own (deleting the previous one) and lets it follow the
    // body; placed at the shape's position at depth z.
    void TakeNode(vadu::lib3d::node::Node* node, float z);
    // A sprite of a whole picture under the parent, taken as the shape's node.
    void MakePictureNode(vadu::lib3d::node::Node* parent, const char* picture, float z);
    // Copies the node beside itself and hides the original; null without a node.
    vadu::lib3d::node::Node* CloneForDying();
    // The clone plays what the action does to it; the action owns it.
    void RunDying(vadu::lib3d::node::Node* clone, BaseAnimation* action);

    vadu::math::Vector2<float> base_point_{};
    float age_ = 0.0f;
    bool young_ = true;
    vadu::WeakPtr node_;
    vadu::WeakPtr dying_clone_;
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
    // The group a tap on the shape collects: the shape first, then the monsters of its colour
    // reached through links from monster to monster, in the order the fill meets them. A shape
    // without a colour (an obstacle) is a group of one. Defined with the monster kinds.
    static std::vector<Shape*> Collect(Shape& shape);
};

} // namespace gameplay
