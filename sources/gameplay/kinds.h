#pragma once

// The concrete shapes of the field: monsters of five colours and their power-up kinds, and
// the obstacles. Each kind carries its rules (groups, collection, removal, ice layers,
// bubbles), its body and, once it joins a scene (`SetRootNode`), its pictures and
// animations.

#include <memory>
#include <vector>

#include "game/node_ref.h"
#include "sources/gameplay/shape.h"
#include "sources/gameplay/shape_chain.h"
#include "vadu/weak_ptr.h"

namespace vadu::lib3d::node {
class Node;
}

namespace vadu::animate {
class PrimitiveAnimation;
}

namespace gameplay {

class Monster : public Shape {
public:
    // Colour 0 red, 1 yellow, 2 blue, 3 purple, 4 orange; another index has no colour word.
    Monster(physics::World* world, const vadu::Atom& name, int colour);
    // Deletes the overlays and the character animation; the node goes with the shape.
    ~Monster() override;

    // The character in the plain style.
    bool CreateSceneNode(vadu::lib3d::node::Node* root) override;
    // The character animation advances (looping), then the shape's update.
    void Update(float dt) override;
    // Builds the character sprite and its animation under the shape's root: plain monsters
    // under "CharactersLayer" with the shared atlas (orange under the root with its own),
    // the star style under the root with the colour's "monster" atlas. False, building
    // nothing, for a colour outside 0..4.
    bool LoadCharacter(bool starStyle);

    ShapeKind GetKind() const override { return ShapeKind::Monster; }
    vadu::String GetColorName() const override;
    float GetLinkInset() const override { return 10.0f; }
    int GetGroupSize() const override { return groupSize; }
    // Flood fill over same-colour collectable links; highlights the group when it reaches
    // the level's minChain.
    void UpdateGroup() override;
    bool RemoveLinks() override;
    void PlayDying() override;

    virtual float GetManaBonus() const { return 0.0f; }
    virtual void SetHighlighted(bool on);
    virtual void Collect(ShapeChain& chain);
    virtual bool IsFrozen() const { return false; }
    virtual bool IsBubble() const { return false; }

    // The first starred monster of the shape's group, or null.
    static Shape* FindFirstStarred(Shape& shape);

    int GetColour() const noexcept { return colour_; }
    // The character's playback speed: 1000 while highlighted, else 0.
    float GetHighlightSpeed() const noexcept { return highlight_speed_; }
    bool IsHighlighted() const noexcept { return highlight_speed_ != 0.0f; }
    int GetDyingRuns() const noexcept { return dying_runs_; }
    // The character's animation; null without visuals.
    vadu::animate::PrimitiveAnimation* GetAnimation() const noexcept { return animation_.get(); }
    // The live ice cubes or bubbles, in the order they were made.
    std::vector<vadu::lib3d::node::Node*> GetOverlays() const;

    int groupSize = 0;
    // Where the shape flies when its group becomes a starred monster (or a fish eats it).
    // A frozen monster outlives the collect that set it, and may die long after the star
    // has gone: the reference empties itself then, and the monster dies in place.
    vadu::lib3d::node::NodeRef mergeTarget;
    vadu::math::Vector3 mergeOffset{};

protected:
    // The chain item of this shape, appended to the current turn.
    void AppendItem(ShapeChain& chain);
    // Links go; a shape leaving over the top is reported.
    bool MonsterRemove();
    // `count` sprites of the picture under the layer at the character's position, each a
    // little smaller than the one before, at depth first_z + i x 0.05.
    void AddOverlays(const char* layer, const char* picture, int count, float first_z);
    // Puts every overlay where the character is drawn (the bubbles rise with it, and the
    // cubes stay on a frozen monster while it shakes).
    void KeepOverlaysOnCharacter();
    // Deletes the first overlay still alive.
    void DeleteFirstOverlay();
    void DeleteOverlays();

    int colour_;
    std::unique_ptr<vadu::animate::PrimitiveAnimation> animation_;
    std::vector<vadu::WeakPtr> overlays_;
    float highlight_speed_ = 0.0f;
    int dying_runs_ = 0;
    bool dying_played_ = false;
};

class StarredMonster : public Monster {
public:
    StarredMonster(physics::World* world, const vadu::Atom& name, int colour);

    // The character in the star style, then "monsters/monster_born.anim" (tag "born").
    bool CreateSceneNode(vadu::lib3d::node::Node* root) override;
    ShapeKind GetKind() const override { return ShapeKind::Starred; }
    bool IsKind(ShapeKind kind) const override { return kind == ShapeKind::Starred || kind == ShapeKind::Monster; }
    float GetLinkInset() const override { return 18.0f; }
    void SetHighlighted(bool) override {}
    void Collect(ShapeChain& chain) override;
    bool RemoveLinks() override;
    void PlayDying() override;

    bool IsCollected() const noexcept { return collected_; }

private:
    bool collected_ = false;
};

class FrozenMonster : public Monster {
public:
    FrozenMonster(physics::World* world, const vadu::Atom& name, int colour, int layers);

    // The character, then one ice cube per layer (at least one) under "FrozenLayer".
    bool CreateSceneNode(vadu::lib3d::node::Node* root) override;
    bool CanBeCollected() const override { return cubes_ < 2; }
    bool CanLinkTo(const Shape& other) const override;
    void RequestMelt() override { meltRequested = true; }
    bool IsFrozen() const override { return true; }
    bool IsInDanger() override { return false; }
    // One cube per request; the monster goes once fewer than two remain.
    bool RemoveLinks() override;

    int GetLayers() const noexcept { return layers_; }
    int GetCubes() const noexcept { return cubes_; }
    bool meltRequested = false;

private:
    int layers_;
    int cubes_;
};

class SoapBubble : public Monster {
public:
    // The body's gravity scale becomes -bubbleCount, so the monster rises.
    SoapBubble(physics::World* world, const vadu::Atom& name, int colour, float bubbleCount);

    // The character, then trunc(bubbleCount) bubbles (at least one) under "BubblesLayer".
    bool CreateSceneNode(vadu::lib3d::node::Node* root) override;
    bool IsBubble() const override { return true; }
    float GetBubbleCount() const noexcept { return bubble_count_; }
    int GetBubbles() const noexcept { return bubbles_; }

private:
    float bubble_count_;
    int bubbles_;
};

class Bottle : public Monster {
public:
    Bottle(physics::World* world, const vadu::Atom& name);
    ~Bottle() override;

    // The yellow character carrying the bottle sprite, which rocks with "shapes/bottle.anim".
    bool CreateSceneNode(vadu::lib3d::node::Node* root) override;
    void Update(float dt) override;
    ShapeKind GetKind() const override { return ShapeKind::Bottle; }
    bool IsKind(ShapeKind kind) const override { return kind == ShapeKind::Bottle || kind == ShapeKind::Monster; }
    float GetManaBonus() const override { return 15.0f; }
    void Collect(ShapeChain& chain) override;

    vadu::lib3d::node::Node* GetBottleNode() const;

private:
    vadu::WeakPtr bottle_node_;
    std::unique_ptr<vadu::animate::PrimitiveAnimation> bottle_animation_;
};

// Obstacles never leave, never die and never shake.
class Indestructible : public Shape {
public:
    Indestructible(physics::World* world, const vadu::Atom& name);

    // The sprite "data/shapes/indestructible".
    bool CreateSceneNode(vadu::lib3d::node::Node* root) override;
    void OnDangerChanged(bool) override {}
    ShapeKind GetKind() const override { return ShapeKind::Indestructible; }
    vadu::String GetColorName() const override { return "Gray"; }
    float GetLinkInset() const override { return 3.0f; }
    bool IsInDanger() override { return false; }
    bool RemoveLinks() override { return false; }
};

class Stone : public Shape {
public:
    Stone(physics::World* world, const vadu::Atom& name, int number);

    // The sprite "data/stones/stone<number>".
    bool CreateSceneNode(vadu::lib3d::node::Node* root) override;
    void OnDangerChanged(bool) override {}
    ShapeKind GetKind() const override { return ShapeKind::Stone; }
    vadu::String GetColorName() const override { return number_ <= 10 ? "Green" : "Gray"; }
    float GetLinkInset() const override { return 13.0f; }
    // Never two stones.
    bool CanLinkTo(const Shape& other) const override;
    void Update(float) override {}
    bool IsInDanger() override { return false; }
    bool RemoveLinks() override { return false; }

    int GetNumber() const noexcept { return number_; }

private:
    int number_;
};

class Rock : public Shape {
public:
    Rock(physics::World* world, const vadu::Atom& name);

    // The sprite "data/shapes/gray".
    bool CreateSceneNode(vadu::lib3d::node::Node* root) override;
    ShapeKind GetKind() const override { return ShapeKind::Rock; }
    vadu::String GetColorName() const override { return "Gray"; }
    float GetLinkInset() const override { return -5.0f; }
    bool RemoveLinks() override;
};

} // namespace gameplay
