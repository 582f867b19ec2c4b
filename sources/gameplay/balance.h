#pragma once

// Six tuning numbers read once from "data/balance.xml": mana costs of taps, two achievement
// score thresholds and the zen mode's price. A file that does not parse keeps the defaults.

#include <cstdint>

#include "vadu/path.h"

namespace gameplay {

class Balance {
public:
    // Made on first use, loading "data/balance.xml".
    static const Balance& Instance();
    // Forgets the instance so the next Instance() reads the file again (tests).
    static void ResetForTests();

    // Defaults, then the file's values where it parses.
    explicit Balance(const vadu::filesystem::String& path);

    int32_t ManaPerMonsterTap = 2;
    int32_t ManaPerMonsterTapInRedZone = 1;
    int32_t ManaPerFishTap = 5;
    int32_t MoneybagsScore = 50000;
    int32_t EpicfailScore = 15000;
    int32_t ZenPrice = 500000;
};

} // namespace gameplay
