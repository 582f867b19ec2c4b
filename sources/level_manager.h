#pragma once

// The level list of "data/levels/levels.list" with one player's progress on it. Every
// player profile owns one; records stay at their addresses once loaded.

#include <vector>

#include "sources/gameplay/level_profile.h"
#include "vadu/path.h"

using gameplay::LevelMode;
using gameplay::LevelProfile;

class LevelManager {
public:
    static constexpr const char* ListPath = "data/levels/levels.list";

    // Replaces the records with the list file's (through the engine's file system). A
    // missing or unparsable file, or a level without "Number" or "FileName", raises
    // vadu::GluckBadResource with the file's path.
    void Load();
    void Load(const vadu::filesystem::String& path);

    // The first record with that number and mode; raises vadu::Gluck
    // "Unable to find level with number=N and mode=Standard|Zen" when there is none.
    LevelProfile& GetLevelProfile(int number, int mode);
    LevelProfile& GetLevelProfile(int number) { return GetLevelProfile(number, gameplay::Standard); }
    bool HasLevel(int number, int mode) const;
    // The level numbered one higher in the level's mode, when a Standard level of that
    // number exists; else null.
    LevelProfile* GetNextLevel(const LevelProfile& level);
    // A first completion of a Standard level unlocks the next locked level after it;
    // the best score only rises.
    void RecordResult(LevelProfile& level, int score);
    // No Standard level without a score (an empty list counts as completed).
    bool AllLevelsCompleted() const;

    std::vector<LevelProfile> levels;
};
