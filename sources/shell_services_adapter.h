#pragma once

// Gameplay's door to the shell, over the real layout sizes, sound manager, profiles and
// level list, and the current player's achievements.

#include "sources/gameplay/shell_services.h"

class ShellServicesAdapter : public gameplay::ShellServices {
public:
    float GetScale() const override;
    vadu::math::Vector2<float> GetFieldSize() const override;
    vadu::math::Vector2<float> GetScreenSize() const override;
    float GetExtraHeight() const override;
    float GetBackgroundCoefficient() const override;
    float GetFieldOffsetX() const override;
    float GetWideMargin() const override;
    float GetWideExtra() const override;

    void Play(gameplay::SoundId id) override;
    void PlayStepSounds(const gameplay::ShapeChain& chain) override;
    void PlayMusic(const vadu::String& path) override;
    void PlayMainTheme() override;
    void PlayDangerTheme() override;
    void RaisePause() override;
    void LowerPause() override;

    // The current profile's values; 0 / false and no change when there is none.
    int GetPoints() const override;
    void SetPoints(int points) override;
    int GetManaDangerHints() const override;
    void SetManaDangerHints(int count) override;
    int GetBombHints() const override;
    void SetBombHints(int count) override;
    bool IsGameComplete() const override;
    void SetGameComplete(bool complete) override;
    int GetLevelScore(const gameplay::LevelProfile& level) const override;
    void SaveProfiles() override;

    gameplay::LevelProfile* CurrentLevel() override;
    void SetCurrentLevel(gameplay::LevelProfile* level) override;
    // Recorded when won, and always in Zen.
    void RecordResult(gameplay::LevelProfile& level, int score, bool won) override;
    gameplay::LevelProfile* NextLevel(const gameplay::LevelProfile& level) override;
    bool AllLevelsCompleted() const override;

    // Achievement events, over the current profile's collection and the running level;
    // nothing without either.
    void SetLevel(gameplay::LevelProfile* level) override;
    void OnLevelStart() override;
    void OnLevelStep(const gameplay::ShapeChain& chain) override;
    void OnLevelEnd(int score, bool won) override;
    // The elapsed time is the level clock's advance since the last update.
    void OnShapesUpdated() override;
    void OnLevelFrame() override;
    void FishReached(gameplay::Shape& shape) override;
    void FishNear(gameplay::Shape& shape) override;
    // Carries only the size: the chain's shapes do not reach the shell this way.
    void ChainCollected(const std::vector<gameplay::Shape*>& chain) override;
    void UnderwaterChainCollected(int size) override;
    void StarCollected(gameplay::StarredMonster& monster) override;
    void StarLost(gameplay::StarredMonster& monster) override;
    void ShapeLeft(gameplay::Shape& shape) override;
    void RockLeft(gameplay::Shape& shape) override;

private:
    float lastLevelTime_ = 0.0f;
};

// Makes the adapter the installed ShellServices (once; later calls keep it).
void InstallShellServices();
// Back to gameplay's default services (tests, shutdown).
void UninstallShellServices();
