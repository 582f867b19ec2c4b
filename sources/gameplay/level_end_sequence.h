#pragma once

// What plays between the end of a level and its window. Win: a pause, "WinLabel", 200
// points for every starred monster still in play (each with its floating "200"), a pause,
// then the remaining monsters collected group by group. Lose: a pause, "LoseLabel", a
// pause. When the sequence is over the level reports its result.

#include "sources/gameplay/actions.h"

namespace gameplay {

class Level;

class LevelEndSequence : public SequenceAction {
public:
    explicit LevelEndSequence(Level& level) : level_(level) {}
    // The level's end handler instead of a completion callback.
    void Finish() override;

private:
    Level& level_;
};

// Pays for the k-th live starred monster of the level.
class BonusStep : public BaseAnimation {
public:
    static constexpr float Duration = 0.5f;
    static constexpr int Bonus = 200;

    BonusStep(Level& level, int index) : BaseAnimation(Duration), level_(level), index_(index) {}
    void* GetTarget() override { return this; }
    void Apply(float) override {}
    void Start() override;

private:
    Level& level_;
    int index_;
};

// Collects the group of the highest normal monster.
class CollectStep : public BaseAnimation {
public:
    static constexpr float Duration = 0.07f;

    explicit CollectStep(Level& level) : BaseAnimation(Duration), level_(level) {}
    void* GetTarget() override { return this; }
    void Apply(float) override {}
    void Start() override;

private:
    Level& level_;
};

// Built for Level::StartFinish and Level::StartGameOver, which run them.
LevelEndSequence* WinLabelAnimation(Level& level);
LevelEndSequence* LoseLabelAnimation(Level& level);

} // namespace gameplay
