#pragma once

// What shapes, lightning, fish, tutorials, the chain history and the shell's achievements
// use of the running level and its HUD. The level and its HUD implement these and register
// under them in the InstanceRegistry while they run.

#include <vector>

#include "vadu/math.h"
#include "vadu/string.h"

namespace physics {
class World;
}
namespace vadu::lib3d::node {
class Node;
}

namespace gameplay {

class LevelSettings;
class LinkGraph;
class Shape;
class ShapeChain;
class ShapeList;
class StarredMonster;
struct LevelProfile;

class RunningHud {
public:
    virtual ~RunningHud() = default;

    virtual void ShowCombo(int combo, const vadu::math::Vector2<float>& position) = 0;
    virtual void ShowBonusText(const vadu::math::Vector2<float>& position, const vadu::String& text) = 0;
    // The mana bar's bottle is enabled.
    virtual bool HasBottle() const = 0;
    virtual void FlyBottle(vadu::lib3d::node::Node* node) = 0;
    virtual void UsePoints(int amount) = 0;
    virtual void ResetPoints() = 0;
    virtual void ReduceMonster(StarredMonster& monster) = 0;
    virtual int StarsCollected() const = 0;
    // Whether the monsters bar counts collected stars.
    virtual bool CountsStars() const = 0;
    // The colours of the stars counted, in order.
    virtual const std::vector<int>& StarColours() const = 0;
};

class RunningLevel {
public:
    virtual ~RunningLevel() = default;

    virtual LevelSettings& Settings() = 0;
    // The level-list record; null in tests.
    virtual LevelProfile* Record() = 0;
    virtual physics::World* World() = 0;
    virtual vadu::lib3d::node::Node* SceneRoot() = 0;
    virtual ShapeList& Shapes() = 0;
    virtual ShapeChain& Chain() = 0;
    virtual LinkGraph& Links() = 0;
    virtual RunningHud* Hud() = 0;
    virtual float Mana() const = 0;
    virtual int Score() const = 0;
    virtual float LevelTime() const = 0;
    virtual bool IsInputEnabled() const = 0;
    virtual void SetInputEnabled(bool enabled) = 0;
    virtual bool IsEnded() const = 0;
    virtual bool IsLost() const = 0;
    virtual void AddMana(float amount) = 0;
    virtual void StartGameOver() = 0;
    virtual void CheckManaDanger() = 0;
    virtual void OnManaNotDanger() = 0;
    virtual void CollectChain(std::vector<Shape*>& chain, Shape* tapped) = 0;
    // The level's turn step, run by ShapeChain::Append.
    virtual void NextStep(ShapeChain& chain) = 0;
};

} // namespace gameplay
