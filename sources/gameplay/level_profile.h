#pragma once

// One level of the level list together with one player's progress on it. The shell's
// LevelManager owns the records (one list per player profile); gameplay keeps plain
// pointers to them.

#include "vadu/string.h"

namespace gameplay {

enum LevelMode : int {
    Standard = 0,
    Zen = 1,
};

struct LevelProfile {
    // The level's number within its mode.
    int number = 0;
    // A LevelMode.
    int mode = Standard;
    // The level file's name, without folder and extension.
    vadu::String fileName;
    // 1 while the player cannot choose the level; only ever goes from 1 to 0.
    unsigned char locked = 1;
    // From the list's "Free"; nothing depends on it.
    unsigned char free = 0;
    // The best score so far, 0 before the first completion; never decreases.
    int bestScore = 0;
    // The scenery type as the list writes it ("Day", "Night", "Underwater").
    vadu::String type;
};

} // namespace gameplay
