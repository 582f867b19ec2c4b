#pragma once

// The HUD's monsters bar: one slot per starred monster the level asks for, laid along the
// trail curve. Each collected starred monster flies from the field into the next slot,
// trailed by particles, and keeps playing its own animation there.

#include <memory>
#include <vector>

#include "sources/gameplay/trail_curve.h"
#include "vadu/lib3d/node/node.h"

namespace vadu::lib3d::node {
class Sprite;
} // namespace vadu::lib3d::node
namespace vadu::animate {
class PrimitiveAnimation;
} // namespace vadu::animate

namespace gameplay {

class LevelSettings;
class StarredMonster;

class MonstersBar {
public:
    // Where the monsters' trail comes from; its emitter "Monster Trail" sits under the root.
    static constexpr const char* TrailScene = "data/monsters/trail.scene";

    // A level without a goal hides the bar, which then ignores every collection.
    MonstersBar(vadu::lib3d::node::Node* hudRoot, const LevelSettings* settings);
    ~MonstersBar();
    MonstersBar(const MonstersBar&) = delete;
    MonstersBar& operator=(const MonstersBar&) = delete;

    // A starred monster was collected: it fills the next slot.
    void ReduceMonster(StarredMonster& monster);
    // The same for a monster's scene node and colour. The animation the monster played (a
    // monster keeps its own; without one, the node's) plays on in the slot, looping. A
    // collection past the last slot is ignored.
    void ReduceMonster(vadu::lib3d::node::Node* monsterNode, int colour,
                       const vadu::animate::PrimitiveAnimation* animation = nullptr);

    bool IsEnabled() const noexcept { return enabled_; }
    int Collected() const noexcept { return collected_; }
    // The colours of the monsters counted, in the order they came.
    const std::vector<int>& Colours() const noexcept { return colours_; }
    const std::vector<vadu::lib3d::node::Sprite*>& Slots() const noexcept { return slots_; }
    vadu::lib3d::node::Node* TrailPrototype() const noexcept { return trail_.get(); }

private:
    void LayOut();
    void LoadTrail();

    vadu::lib3d::node::Sprite* bar_ = nullptr;
    std::vector<vadu::lib3d::node::Sprite*> slots_;
    int collected_ = 0;
    bool enabled_ = false;
    std::unique_ptr<vadu::lib3d::node::Node> trail_;
    TrailCurve curve_;
    float base_x_ = 0.0f;
    float base_y_ = 0.0f;
    std::vector<int> colours_;
};

} // namespace gameplay
