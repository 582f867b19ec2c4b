#pragma once

// When a tutorial hint shows or goes: one condition per "ShowAction" or "HideAction" of a
// tutorial script, tested against the level's turn history on every turn event, or fired
// by name through a named event. The level-reading kinds find the running level through
// the instance registry.

#include "vadu/atom.h"

namespace gameplay {

class ShapeChain;

class TutorialCondition {
public:
    virtual ~TutorialCondition() = default;
    virtual bool Check(const ShapeChain& history) = 0;

    // The "Value" text of the element; what named events are matched against.
    vadu::Atom name;
};

// No turn has been completed yet.
class StartLevelCondition : public TutorialCondition {
public:
    bool Check(const ShapeChain& history) override;
};

// The running level has ended.
class FinishLevelCondition : public TutorialCondition {
public:
    bool Check(const ShapeChain& history) override;
};

// "PreviousHintHide" and "Any".
class AlwaysCondition : public TutorialCondition {
public:
    bool Check(const ShapeChain&) override { return true; }
};

// A starred monster was collected in the turn; with a colour, the turn's first collected
// shape has that colour.
class CollectMonsterCondition : public TutorialCondition {
public:
    explicit CollectMonsterCondition(int colour = -1) : colour(colour) {}
    bool Check(const ShapeChain& history) override;

    // -1: any colour.
    int colour;
};

// The level created a starred monster in the turn.
class CreateMonsterCondition : public TutorialCondition {
public:
    bool Check(const ShapeChain& history) override;
};

// Five or more shapes went in the turn without a bomb.
class ShapesCollectedForMonsterCondition : public TutorialCondition {
public:
    bool Check(const ShapeChain& history) override;
};

// Counts its own tests; holds from the stepsCount-th on. The count never starts over.
class AfterStepsCountCondition : public TutorialCondition {
public:
    explicit AfterStepsCountCondition(int stepsCount) : stepsCount(stepsCount) {}
    bool Check(const ShapeChain& history) override;

    int counter = 0;
    int stepsCount;
};

// The running level uses mana and has 15 or less of it.
class ManaDangerCondition : public TutorialCondition {
public:
    static constexpr float Threshold = 15.0f;
    bool Check(const ShapeChain& history) override;
};

// Never holds on a turn; only the named event of its name passes it.
class NamedEventCondition : public TutorialCondition {
public:
    bool Check(const ShapeChain&) override { return false; }
};

} // namespace gameplay
