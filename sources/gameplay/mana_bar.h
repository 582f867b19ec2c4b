#pragma once

// The HUD's mana bar: the level's mana (0 to 100) as a counting label and a slider that
// turns red and blinks at 15 or less, and the player's stock of mana points, which the
// player pours into the level's mana. It owns no nodes: it looks up six named nodes of the
// HUD scene once and changes their text, scale, frame, colour and actions.

#include <memory>

#include "vadu/atom.h"
#include "vadu/lib3d/node/node.h"

namespace vadu::lib3d::node {
class Sprite;
class Text;
} // namespace vadu::lib3d::node

namespace gameplay {

class LevelSettings;

class ManaBar {
public:
    // At or above this the points are shown as infinite and never spent.
    static constexpr int InfinitePoints = 100000;
    // Mana at or below this is low.
    static constexpr float DangerLevel = 15.0f;

    // A level without energy gets a hidden, inert bar; otherwise the bar shows the
    // player's points at once. A missing node is logged once; what needs it is skipped.
    ManaBar(const LevelSettings* settings, vadu::lib3d::node::Node* hudRoot);
    ~ManaBar();
    ManaBar(const ManaBar&) = delete;
    ManaBar& operator=(const ManaBar&) = delete;

    // Observer of the level's mana: counts the label and the slider to the new value,
    // switches the low-mana warning and highlights a drop.
    void Update(float mana);
    // Step of the mana count.
    void SetShownMana(float value);
    // Draws a points value on the points label and sizes the plate behind it.
    void ShowPoints(int points);
    // Shows the player's current points, ending any points count.
    void ResetPoints();
    // Pours points into the level's mana: the label counts down while the profile holds
    // the new stock at once; infinite points add mana without being spent.
    void UsePoints(int amount);
    // A collected bottle flies from its place on the field into the bar.
    void FlyBottle(vadu::lib3d::node::Node* source);

    bool IsEnabled() const noexcept { return enabled_; }
    bool IsDanger() const noexcept { return danger_; }
    float GetShownMana() const noexcept { return shown_mana_; }

private:
    // Logs the first missing node of the bar; false when the node is missing.
    bool Require(const void* node, const char* name) const;
    void WarningOn();
    void WarningOff();

    const LevelSettings* settings_;
    vadu::lib3d::node::Sprite* bar_ = nullptr;
    vadu::lib3d::node::Sprite* slider_ = nullptr;
    vadu::lib3d::node::Sprite* bottle_ = nullptr;
    vadu::lib3d::node::Text* label_ = nullptr;
    vadu::lib3d::node::Text* points_label_ = nullptr;
    vadu::lib3d::node::Sprite* points_bar_ = nullptr;
    float shown_mana_ = 0.0f;
    bool enabled_ = false;
    bool danger_ = false;
    mutable bool missing_logged_ = false;
    // Counts still running after the bar is gone find this expired.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace gameplay
