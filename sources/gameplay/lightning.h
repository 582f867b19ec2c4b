#pragma once

// The lightning power-up and its chain of bolts. A bomb in a tapped group sets off a blast:
// it picks every shape to strike (whole groups of normal monsters, single other shapes, and
// further bombs reached that way), then bolts run along the links from shape to shape, one
// hop every 0.04 s. A bolt strikes its target 70% into its animation: a normal monster's
// linked group is collected as a chain, any other shape dies. Level input stays off until
// every bolt has struck.

#include <set>
#include <vector>

#include "sources/gameplay/actions.h"
#include "sources/gameplay/kinds.h"

namespace vadu::animate {
class PrimitiveAnimation;
}

namespace gameplay {

class RunningLevel;

class Bomb : public Monster {
public:
    // From the shape factory ("LightningPowerup").
    Bomb(physics::World* world, const vadu::Atom& name, int colour);
    // Takes the place of a shape (the level's lightning bonus): same world, name, colour and
    // position; the links pass to the bomb and the old shape dies.
    explicit Bomb(Shape& replaced);
    ~Bomb() override;

    ShapeKind GetKind() const override { return ShapeKind::Bomb; }
    bool IsKind(ShapeKind kind) const override { return kind == ShapeKind::Bomb || kind == ShapeKind::Monster; }

    // The monster visuals, then the bomb picture with its animation and a steady shake.
    bool CreateSceneNode(vadu::lib3d::node::Node* root) override;

    // Adds every shape the blast strikes to the set; bombs reached through struck groups
    // blow up with it. Each explosion is counted in the chain's current turn.
    void CollectBlast(ShapeChain& chain, std::set<Shape*>& strike);

    bool IsExploded() const noexcept { return exploded_; }

private:
    bool exploded_ = false;
    vadu::math::Vector2<float> shake_position_{};
};

// Starts chain lightning from the bomb under the global action manager ("Lightning"); the
// bolts are drawn under the bomb's scene root.
void StartLightning(RunningLevel& level, ShapeChain& chain, Bomb& bomb);

class LightningChainAction;

// One hop: on start, one bolt from the source to each target; over after 0.04 s.
class LightningStepAction : public BaseAnimation {
public:
    static constexpr float Duration = 0.04f;

    LightningStepAction(Shape* source, const std::vector<Shape*>& targets, vadu::lib3d::node::Node* sceneRoot,
                        LightningChainAction& chainAction, ShapeChain& chain);

    void* GetTarget() override { return this; }
    void Start() override;
    void Apply(float) override {}

    size_t GetTargetCount() const noexcept { return targets_.size(); }

private:
    struct Target {
        vadu::WeakPtr shape;
        vadu::math::Vector2<float> position{};
    };

    vadu::WeakPtr source_;
    vadu::math::Vector2<float> source_position_{};
    std::vector<Target> targets_;
    vadu::WeakPtr scene_root_;
    LightningChainAction& chain_action_;
    ShapeChain& chain_;
};

// The steps of one blast and a final pause; over as soon as every bolt has struck. On its
// end the turn is recorded and the level's input comes back unless the level has ended.
class LightningChainAction : public SequenceAction, public vadu::Trackable {
public:
    static constexpr float FinalPause = 0.5f;

    LightningChainAction(vadu::lib3d::node::Node* sceneRoot, ShapeChain& chain, Bomb& bomb,
                         std::set<Shape*>& strike);

    void Update(float dt) override;
    bool IsFinished() const override;
    void Finish() override;
    void* GetTarget() override { return this; }

    int GetPending() const noexcept { return pending_; }
    void AddPending(int count) noexcept { pending_ += count; }
    // One bolt has struck.
    void Struck() noexcept { --pending_; }
    size_t GetStepCount() const noexcept { return steps_; }

private:
    void Propagate(Shape& from, std::set<Shape*>& strike);

    ShapeChain& chain_;
    vadu::WeakPtr scene_root_;
    int pending_ = 0;
    size_t steps_ = 0;
    bool finished_ = false;
};

// One bolt on its own sprite, stretched from the source to the target and played through
// "shapes/lightning.anim"; it strikes once its progress passes 0.7 and lives on to the end
// of its animation, after the chain.
class LightningElement : public NodeAction {
public:
    static constexpr float StrikePoint = 0.7f;

    LightningElement(vadu::lib3d::node::Node* bolt, Shape* source, const vadu::math::Vector2<float>& sourcePosition,
                     Shape* target, const vadu::math::Vector2<float>& targetPosition,
                     LightningChainAction* chainAction, ShapeChain& chain);
    ~LightningElement() override;

    void Apply(float p) override;
    void Update(float dt) override;

    bool HasStruck() const noexcept { return struck_; }
    float GetLengthFactor() const noexcept { return length_factor_; }
    // Null once the target is gone.
    Shape* GetTargetShape() const;

private:
    void Strike();

    vadu::WeakPtr target_;
    vadu::math::Vector2<float> target_position_;
    vadu::WeakPtr source_;
    vadu::math::Vector2<float> source_position_;
    float length_factor_ = 0.0f;
    std::unique_ptr<vadu::animate::PrimitiveAnimation> animation_;
    float last_progress_ = 0.0f;
    // The chain normally ends after the last strike; a chain stopped early is let go.
    vadu::WeakPtr chain_action_;
    ShapeChain& chain_;
    bool struck_ = false;
};

} // namespace gameplay
