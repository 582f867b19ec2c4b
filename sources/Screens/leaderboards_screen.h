#pragma once

// Two top-six tables, Standard and Zen, from a fixed table of names and scores with the
// local players' totals merged in.

#include <array>
#include <cstdint>
#include <vector>

#include "sources/Screens/menu_screen.h"
#include "vadu/path.h"
#include "vadu/string.h"

struct LeaderboardEntry {
    vadu::String name;
    int32_t score = 0;
};

class Leaderboards {
public:
    static constexpr const char* kFile = "data/leaderboards/leaderboards.xml";
    static constexpr int kRows = 6;

    // Reads the file once; a missing or broken file or section leaves the table empty
    // (logged).
    explicit Leaderboards(const vadu::filesystem::String& path = vadu::filesystem::String(kFile, true));
    static Leaderboards& Instance();
    static void ResetInstance();

    // Before the first entry scoring strictly lower, else at the end: equal scores keep
    // their order of arrival.
    static void Insert(std::vector<LeaderboardEntry>& entries, LeaderboardEntry entry);
    // Like Insert, but an entry that nothing scores below is left out.
    static void InsertAboveLower(std::vector<LeaderboardEntry>& entries, LeaderboardEntry entry);

    // Index 0 Standard, 1 Zen; each sorted by descending score.
    std::array<std::vector<LeaderboardEntry>, 2> modes;
};

class LeaderboardsScreen : public MenuScreen {
public:
    LeaderboardsScreen();

protected:
    void Init() override;
    // Nothing advances here.
    void OnUpdate(double) override {}
};
