#pragma once

// The store: six offers of the catalogue, granted to the current player at once (the first
// opens the social screen instead), and the zen store's two offers.

#include <string>

#include "sources/Screens/menu_screen.h"
#include "sources/Screens/store_manager.h"

namespace vadu::lib3d::node {
class Node;
}

// The "store_bought" phrase with its "%s" replaced by an offer's text on one line (its line
// breaks and tabs, escaped or not, become single spaces).
std::u16string BoughtMessage(const std::u16string& phrase, const vadu::WString& offerText);

// The uniform scale that fits a text of that width into maxWidth: 1 when it fits.
float FitScale(float textWidth, float maxWidth);

class StoreScreen : public MenuScreen {
public:
    static constexpr int kOffers = 6;

    StoreScreen();

    // The seventh character of "Button1".."Button6" picks the offer.
    void OnBuy(const vadu::Atom& name);
    // Grants the purchase with that identifier (or the first) to the current player.
    static void ApplyPurchase(const vadu::String& identifier);
    // Opens the zen mode when asked and adds the points to the current player, then saves
    // the player at once; false when there is no current player.
    static bool Grant(bool zenUnlock, int32_t points);
    void OnBack();

protected:
    StoreScreen(const char* path) : MenuScreen(path) {}
    void Init() override;
    // No per-frame work, not even the actions.
    void OnUpdate(double) override {}

    // Picture, price (shrunk to its "MaxWidth") and text of one offer button; false, with
    // the button hidden and disabled, when the catalogue has no such record.
    bool ShowOffer(const vadu::Atom& name, const char* picture, size_t record);
    // Shows "PurchaseMessage", when the scene has one, saying what was just bought.
    void ShowBought(const Purchase& purchase);
    // Logs the first missing record only.
    void ReportMissing(size_t record);

    bool flag = false;

private:
    bool reported = false;
};

class ZenStoreScreen : public StoreScreen {
public:
    static constexpr size_t kZenUnlockRecord = 6;
    static constexpr size_t kEndlessManaRecord = 5;

    ZenStoreScreen();

    void OnZenUnlock();
    void OnEndlessMana();

protected:
    void Init() override;
    void SetupPurchaseButton(const vadu::Atom& name, const char* picture, size_t record, std::function<void()> handler);
};
