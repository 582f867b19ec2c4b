#pragma once

// The level's history of turns, newest first: it counts the combo of starred monsters
// collected in consecutive turns, keeps the best combo and shows the combo label.

#include <deque>
#include <memory>
#include <vector>

#include "sources/gameplay/shape_kind.h"

namespace gameplay {

class RunningLevel;

class ShapeChain {
public:
    struct Item {
        ShapeKind kind = ShapeKind::Monster;
        int colour = -1;
        float x = 0.0f;
        float y = 0.0f;
        bool frozen = false;
        bool bubble = false;
    };

    struct Record {
        // Starred monsters collected in the turn.
        int count = 0;
        // Starred monsters the level created in the turn.
        int created = 0;
        int bottles = 0;
        // Lightning power-ups set off in the turn.
        int bombs = 0;
        // The last tap position, written by the level.
        float x = 0.0f;
        float y = 0.0f;
        std::vector<Item> items;
    };

    explicit ShapeChain(RunningLevel* owner) : owner_(owner) {}

    // Ends the current turn: combo, best combo, label, the level's step, then history.
    void Append();

    Record& Current() noexcept { return current_; }
    const Record& Current() const noexcept { return current_; }
    const std::deque<Record>& History() const noexcept { return history_; }
    int StepNumber() const noexcept { return static_cast<int>(history_.size()); }
    int BestCombo() const noexcept { return best_combo_; }
    // The combo the current turn would make now.
    int Combo() const;

private:
    RunningLevel* owner_;
    std::deque<Record> history_;
    Record current_;
    int best_combo_ = 0;
};

} // namespace gameplay
