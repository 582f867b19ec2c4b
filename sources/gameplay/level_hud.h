#pragma once

// The level's heads-up display: the score that counts up after every chain, the floating
// texts of a chain's score, a combo and a lightning bonus, and the labels the level and its
// end sequences show. It owns the mana bar and the monsters bar. Every node comes from the
// level's scene; the HUD only makes copies of its template labels, which their actions
// delete. While it lives it is the running HUD of the InstanceRegistry.

#include <memory>
#include <vector>

#include "game/node_ref.h"
#include "sources/gameplay/running_level.h"
#include "vadu/lib3d/node/node.h"

namespace vadu::lib3d::node {
class Text;
} // namespace vadu::lib3d::node

namespace gameplay {

class LevelSettings;
class ManaBar;
class MonstersBar;
class Shape;

class LevelHud : public RunningHud {
public:
    LevelHud(vadu::lib3d::node::Node* hudRoot, const LevelSettings* settings);
    ~LevelHud() override;
    LevelHud(const LevelHud&) = delete;
    LevelHud& operator=(const LevelHud&) = delete;

    // The HUD for a level that starts; the level keeps it and replaces it on its next start.
    static std::unique_ptr<LevelHud> Create(vadu::lib3d::node::Node* hudRoot, const LevelSettings* settings);

    // The scale of a chain's floating score: grows with the score, at most 2.3.
    static float AddedScoreScale(int score);

    // Observer of the level's score: counts the score label up to it.
    void OnScoreChanged(int score);
    // Step of the score count; the label is written only when the value changes.
    void SetShownScore(int value);
    // The chain's score floats up from the middle of the chain (positions in play-area
    // pixels), in front of the field.
    void ShowAddedScore(const std::vector<Shape*>& chain, int score);
    void ShowAddedScore(const std::vector<vadu::math::Vector2<float>>& positions, int score);

    // RunningHud. The combo stands at a play-area point, the bonus text at a point in the
    // scene's global coordinates (the level converts it).
    void ShowCombo(int combo, const vadu::math::Vector2<float>& position) override;
    void ShowBonusText(const vadu::math::Vector2<float>& position, const vadu::String& text) override;
    bool HasBottle() const override;
    void FlyBottle(vadu::lib3d::node::Node* node) override;
    void UsePoints(int amount) override;
    void ResetPoints() override;
    void ReduceMonster(StarredMonster& monster) override;
    int StarsCollected() const override;
    bool CountsStars() const override;
    const std::vector<int>& StarColours() const override;

    ManaBar& GetManaBar() const noexcept { return *mana_; }
    MonstersBar& GetMonstersBar() const noexcept { return *monsters_; }
    int GetShownScore() const noexcept { return shown_score_; }
    vadu::lib3d::node::Text* GetScoreLabel() const noexcept { return score_label_; }
    // The end sequences own these two and may delete them: null once gone.
    vadu::lib3d::node::Node* GetWinLabel() const noexcept { return win_label_.get(); }
    vadu::lib3d::node::Node* GetLoseLabel() const noexcept { return lose_label_.get(); }
    vadu::lib3d::node::Node* GetShuffleLabel() const noexcept { return shuffle_label_; }
    vadu::lib3d::node::Node* GetLogLabel() const noexcept { return log_label_; }

private:
    // A visible copy of a template label beside it; null without the template.
    vadu::lib3d::node::Text* CopyTemplate(const vadu::Atom& name);
    // The height at which a combo shown at the point stands clear of the chains' scores.
    float ClearOfChainScores(const vadu::math::Vector3& at) const;

    vadu::lib3d::node::Node* root_;
    std::unique_ptr<ManaBar> mana_;
    std::unique_ptr<MonstersBar> monsters_;
    vadu::lib3d::node::Text* score_label_ = nullptr;
    vadu::lib3d::node::Text* added_score_ = nullptr;
    int shown_score_ = 0;
    vadu::lib3d::node::NodeRef win_label_;
    vadu::lib3d::node::NodeRef lose_label_;
    vadu::lib3d::node::Node* shuffle_label_ = nullptr;
    vadu::lib3d::node::Node* log_label_ = nullptr;
    const LevelSettings* settings_;
    // Score counts still running after the HUD is gone find this expired.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace gameplay
