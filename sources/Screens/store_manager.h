#pragma once

// The store's catalogue as read from "data/store/store.xml": what each purchase costs (as
// display text), how many points it gives and whether it opens Zen mode. Purchases are
// granted at once by the store screens; there is no payment step.

#include <cstdint>
#include <vector>

#include "vadu/filesystem.h"
#include "vadu/string.h"

struct Purchase {
    int32_t points = 0;
    vadu::String identifier;
    vadu::WString price;
    vadu::WString text;
    bool zenUnlock = false;
};

class StoreManager {
public:
    static constexpr const char* kCatalogue = "data/store/store.xml";

    // Reads the catalogue; a missing or broken file gives an empty one (logged).
    explicit StoreManager(const vadu::filesystem::String& path = vadu::filesystem::String(kCatalogue, true));

    // The global instance, made on first use.
    static StoreManager& Instance();
    // Forgets the instance; the next Instance() reads the catalogue again. For tests.
    static void ResetInstance();

    // The first purchase with exactly that identifier, else the first purchase; null only
    // when the catalogue is empty.
    const Purchase* FindPurchase(const vadu::String& identifier) const;
    // Null past the end.
    const Purchase* GetPurchase(size_t index) const { return index < purchases.size() ? &purchases[index] : nullptr; }

    std::vector<Purchase> purchases;
    // Nothing sets it; the store screens only carry it along.
    bool flag = false;
};

// a + b held to the int range: repeated purchases must not wrap the points around.
int32_t SaturatingAdd(int32_t a, int32_t b);
