#pragma once

// The one door from gameplay to the game shell: layout sizes, sound and music, the current
// player, the level list and achievement events. The default serves a 960x640 field at
// scale 1, silently, with one in-memory player; the shell installs its own adapter.

#include <memory>
#include <vector>

#include "sources/gameplay/level_profile.h"
#include "vadu/math.h"
#include "vadu/string.h"

namespace gameplay {

class Shape;
class ShapeChain;
class StarredMonster;

enum class SoundId {
    ButtonClick = 0,
    AchievementUnlock = 1,
    BubblePop = 2,
    GroupRemoved = 3,
    IceMeltdown = 4,
    LevelComplete = 5,
    LevelLost = 6,
    LightningStrike = 7,
    MonsterCollected = 8,
    MonsterEvolved = 9,
    MonsterDied = 10,
    PowerUp = 11,
    RemoveFailed = 12,
};


class ShellServices {
public:
    virtual ~ShellServices() = default;

    // The installed services; the default ones when none were installed.
    static ShellServices& Get();
    // Not owned; null goes back to the default.
    static void Install(ShellServices* services);
    // Back to a fresh default (tests).
    static void ResetForTests();

    // Sizes.
    virtual float GetScale() const = 0;
    virtual vadu::math::Vector2<float> GetFieldSize() const = 0;
    virtual vadu::math::Vector2<float> GetScreenSize() const = 0;
    virtual float GetExtraHeight() const = 0;
    virtual float GetBackgroundCoefficient() const = 0;
    virtual float GetFieldOffsetX() const = 0;
    // The wide-screen margins of the field's left (m) and right (e) bounds.
    virtual float GetWideMargin() const = 0;
    virtual float GetWideExtra() const = 0;

    // Sound.
    virtual void Play(SoundId id) = 0;
    virtual void PlayStepSounds(const ShapeChain& chain) = 0;
    virtual void PlayMusic(const vadu::String& path) = 0;
    virtual void PlayMainTheme() = 0;
    virtual void PlayDangerTheme() = 0;
    virtual void RaisePause() = 0;
    // Never below 0.
    virtual void LowerPause() = 0;

    // The current player.
    virtual int GetPoints() const = 0;
    virtual void SetPoints(int points) = 0;
    virtual int GetManaDangerHints() const = 0;
    virtual void SetManaDangerHints(int count) = 0;
    virtual int GetBombHints() const = 0;
    virtual void SetBombHints(int count) = 0;
    virtual bool IsGameComplete() const = 0;
    virtual void SetGameComplete(bool complete) = 0;
    virtual int GetLevelScore(const LevelProfile& level) const = 0;
    virtual void SaveProfiles() = 0;

    // The level list.
    virtual LevelProfile* CurrentLevel() = 0;
    virtual void SetCurrentLevel(LevelProfile* level) = 0;
    virtual void RecordResult(LevelProfile& level, int score, bool won) = 0;
    virtual LevelProfile* NextLevel(const LevelProfile& level) = 0;
    virtual bool AllLevelsCompleted() const = 0;

    // Achievement events.
    virtual void SetLevel(LevelProfile* level) = 0;
    virtual void OnLevelStart() = 0;
    virtual void OnLevelStep(const ShapeChain& chain) = 0;
    virtual void OnLevelEnd(int score, bool won) = 0;
    virtual void OnShapesUpdated() = 0;
    virtual void OnLevelFrame() = 0;
    virtual void FishReached(Shape& shape) = 0;
    virtual void FishNear(Shape& shape) = 0;
    // The shapes of a collected chain, in the order they were collected.
    virtual void ChainCollected(const std::vector<Shape*>& chain) = 0;
    virtual void UnderwaterChainCollected(int size) = 0;
    virtual void StarCollected(StarredMonster& monster) = 0;
    virtual void StarLost(StarredMonster& monster) = 0;
    virtual void ShapeLeft(Shape& shape) = 0;
    virtual void RockLeft(Shape& shape) = 0;
};

// What the program uses until the shell's adapter is installed.
class DefaultShellServices : public ShellServices {
public:
    float GetScale() const override { return 1.0f; }
    vadu::math::Vector2<float> GetFieldSize() const override { return {960.0f, 640.0f}; }
    vadu::math::Vector2<float> GetScreenSize() const override { return {960.0f, 640.0f}; }
    float GetExtraHeight() const override { return 0.0f; }
    float GetBackgroundCoefficient() const override { return 1.0f; }
    float GetFieldOffsetX() const override { return 0.0f; }
    float GetWideMargin() const override { return 0.0f; }
    float GetWideExtra() const override { return 0.0f; }

    void Play(SoundId) override {}
    void PlayStepSounds(const ShapeChain&) override {}
    void PlayMusic(const vadu::String&) override {}
    void PlayMainTheme() override {}
    void PlayDangerTheme() override {}
    void RaisePause() override { ++pause_; }
    void LowerPause() override
    {
        if (pause_ > 0)
            --pause_;
    }
    int GetPauseCount() const noexcept { return pause_; }

    int GetPoints() const override { return points_; }
    void SetPoints(int points) override { points_ = points; }
    int GetManaDangerHints() const override { return mana_danger_hints_; }
    void SetManaDangerHints(int count) override { mana_danger_hints_ = count; }
    int GetBombHints() const override { return bomb_hints_; }
    void SetBombHints(int count) override { bomb_hints_ = count; }
    bool IsGameComplete() const override { return game_complete_; }
    void SetGameComplete(bool complete) override { game_complete_ = complete; }
    int GetLevelScore(const LevelProfile& level) const override { return level.bestScore; }
    void SaveProfiles() override {}

    LevelProfile* CurrentLevel() override { return current_; }
    void SetCurrentLevel(LevelProfile* level) override { current_ = level; }
    void RecordResult(LevelProfile& level, int score, bool won) override
    {
        if (won && score > level.bestScore)
            level.bestScore = score;
    }
    LevelProfile* NextLevel(const LevelProfile&) override { return nullptr; }
    bool AllLevelsCompleted() const override { return false; }

    void SetLevel(LevelProfile*) override {}
    void OnLevelStart() override {}
    void OnLevelStep(const ShapeChain&) override {}
    void OnLevelEnd(int, bool) override {}
    void OnShapesUpdated() override {}
    void OnLevelFrame() override {}
    void FishReached(Shape&) override {}
    void FishNear(Shape&) override {}
    void ChainCollected(const std::vector<Shape*>&) override {}
    void UnderwaterChainCollected(int) override {}
    void StarCollected(StarredMonster&) override {}
    void StarLost(StarredMonster&) override {}
    void ShapeLeft(Shape&) override {}
    void RockLeft(Shape&) override {}

private:
    int pause_ = 0;
    int points_ = 0;
    int mana_danger_hints_ = 0;
    int bomb_hints_ = 0;
    bool game_complete_ = false;
    LevelProfile* current_ = nullptr;
};

} // namespace gameplay
