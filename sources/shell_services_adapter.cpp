#include "sources/shell_services_adapter.h"

#include <memory>

#include "sources/achievements.h"
#include "sources/game_sizes.h"
#include "sources/gameplay/instance_registry.h"
#include "sources/gameplay/kinds.h"
#include "sources/gameplay/running_level.h"
#include "sources/gameplay/shape_chain.h"
#include "sources/globals.h"
#include "sources/profile_manager.h"
#include "sources/sound_manager.h"

namespace {

std::unique_ptr<ShellServicesAdapter>& adapter()
{
    static std::unique_ptr<ShellServicesAdapter> installed;
    return installed;
}

PlayerProfile* Player()
{
    return ProfileManager::Instance()->current;
}

} // namespace

float ShellServicesAdapter::GetScale() const { return GameSizes::Instance()->scale; }

vadu::math::Vector2<float> ShellServicesAdapter::GetFieldSize() const
{
    const GameSizes* sizes = GameSizes::Instance();
    return {sizes->fieldWidth, sizes->fieldHeight};
}

vadu::math::Vector2<float> ShellServicesAdapter::GetScreenSize() const
{
    const GameSizes* sizes = GameSizes::Instance();
    return {sizes->screenWidth, sizes->screenHeight};
}

float ShellServicesAdapter::GetExtraHeight() const { return GameSizes::Instance()->extraHeight; }
float ShellServicesAdapter::GetBackgroundCoefficient() const { return GameSizes::Instance()->backgroundCoefficient; }
float ShellServicesAdapter::GetFieldOffsetX() const { return GameSizes::Instance()->GetFieldOffsetX(); }
float ShellServicesAdapter::GetWideMargin() const { return GameSizes::Instance()->GetWideMargin(); }
float ShellServicesAdapter::GetWideExtra() const { return GameSizes::Instance()->GetWideExtra(); }

void ShellServicesAdapter::Play(gameplay::SoundId id) { SoundManager::Instance()->Play(id); }

void ShellServicesAdapter::PlayStepSounds(const gameplay::ShapeChain& chain)
{
    const gameplay::ShapeChain::Record& record = chain.Current();
    SoundManager::StepEvents step;
    step.collected = record.count;
    step.evolved = record.created;
    step.powerUps = record.bottles;
    for (const gameplay::ShapeChain::Item& item : record.items)
        step.groups.push_back({item.frozen, item.bubble});
    SoundManager::Instance()->PlayStepSounds(step);
}

void ShellServicesAdapter::PlayMusic(const vadu::String& path) { SoundManager::Instance()->PlayMusic(path); }
void ShellServicesAdapter::PlayMainTheme() { SoundManager::Instance()->PlayMainTheme(); }
void ShellServicesAdapter::PlayDangerTheme() { SoundManager::Instance()->PlayDangerTheme(); }
void ShellServicesAdapter::RaisePause() { SoundManager::Instance()->Pause(); }
void ShellServicesAdapter::LowerPause() { SoundManager::Instance()->Resume(); }

int ShellServicesAdapter::GetPoints() const
{
    const PlayerProfile* player = Player();
    return player ? player->points : 0;
}

void ShellServicesAdapter::SetPoints(int points)
{
    if (PlayerProfile* player = Player())
        player->points = points;
}

int ShellServicesAdapter::GetManaDangerHints() const
{
    const PlayerProfile* player = Player();
    return player ? player->manaDangerHints : 0;
}

void ShellServicesAdapter::SetManaDangerHints(int count)
{
    if (PlayerProfile* player = Player())
        player->manaDangerHints = count;
}

int ShellServicesAdapter::GetBombHints() const
{
    const PlayerProfile* player = Player();
    return player ? player->bombHintShown : 0;
}

void ShellServicesAdapter::SetBombHints(int count)
{
    if (PlayerProfile* player = Player())
        player->bombHintShown = count;
}

bool ShellServicesAdapter::IsGameComplete() const
{
    const PlayerProfile* player = Player();
    return player && player->gameCompleteShown != 0;
}

void ShellServicesAdapter::SetGameComplete(bool complete)
{
    if (PlayerProfile* player = Player())
        player->gameCompleteShown = complete ? 1 : 0;
}

int ShellServicesAdapter::GetLevelScore(const gameplay::LevelProfile& level) const { return level.bestScore; }

void ShellServicesAdapter::SaveProfiles() { ProfileManager::Instance()->Save(); }

gameplay::LevelProfile* ShellServicesAdapter::CurrentLevel() { return ::CurrentLevel; }
void ShellServicesAdapter::SetCurrentLevel(gameplay::LevelProfile* level) { ::CurrentLevel = level; }

void ShellServicesAdapter::RecordResult(gameplay::LevelProfile& level, int score, bool won)
{
    if (!won && level.mode != gameplay::Zen)
        return;
    if (PlayerProfile* player = Player())
        player->levels.RecordResult(level, score);
}

gameplay::LevelProfile* ShellServicesAdapter::NextLevel(const gameplay::LevelProfile& level)
{
    PlayerProfile* player = Player();
    return player ? player->levels.GetNextLevel(level) : nullptr;
}

bool ShellServicesAdapter::AllLevelsCompleted() const
{
    const PlayerProfile* player = Player();
    return player && player->levels.AllLevelsCompleted();
}

namespace {

AchievementCollection* Achievements()
{
    ProfileManager* manager = ProfileManager::Instance();
    return manager != nullptr && manager->current != nullptr ? &manager->current->achievements : nullptr;
}

gameplay::RunningLevel* RunningLevelNow()
{
    return gameplay::InstanceRegistry::Get<gameplay::RunningLevel>();
}

} // namespace

void ShellServicesAdapter::SetLevel(gameplay::LevelProfile* level)
{
    AchievementCollection* achievements = Achievements();
    if (achievements == nullptr)
        return;
    gameplay::RunningLevel* running = level != nullptr ? RunningLevelNow() : nullptr;
    achievements->SetLevel(running != nullptr ? running->SceneRoot() : nullptr);
}

void ShellServicesAdapter::OnLevelStart()
{
    AchievementCollection* achievements = Achievements();
    gameplay::RunningLevel* running = RunningLevelNow();
    if (achievements == nullptr || running == nullptr)
        return;
    // A level without a list record still shows its popups.
    if (achievements->GetStackView() == nullptr)
        achievements->SetLevel(running->SceneRoot());
    lastLevelTime_ = 0.0f;
    achievements->OnLevelStart(*running);
}

void ShellServicesAdapter::OnLevelStep(const gameplay::ShapeChain& chain)
{
    AchievementCollection* achievements = Achievements();
    gameplay::RunningLevel* running = RunningLevelNow();
    if (achievements != nullptr && running != nullptr)
        achievements->OnLevelStep(*running, chain);
}

void ShellServicesAdapter::OnLevelEnd(int, bool)
{
    AchievementCollection* achievements = Achievements();
    gameplay::RunningLevel* running = RunningLevelNow();
    if (achievements != nullptr && running != nullptr)
        achievements->OnLevelEnd(*running);
}

void ShellServicesAdapter::OnShapesUpdated()
{
    AchievementCollection* achievements = Achievements();
    gameplay::RunningLevel* running = RunningLevelNow();
    if (achievements == nullptr || running == nullptr)
        return;
    const float now = running->LevelTime();
    const float dt = now > lastLevelTime_ ? now - lastLevelTime_ : 0.0f;
    lastLevelTime_ = now;
    achievements->OnShapesUpdated(*running, dt);
}

void ShellServicesAdapter::OnLevelFrame()
{
    if (AchievementCollection* achievements = Achievements())
        achievements->OnLevelFrame();
}

void ShellServicesAdapter::FishReached(gameplay::Shape& shape)
{
    if (AchievementCollection* achievements = Achievements())
        achievements->FishReached(shape);
}

void ShellServicesAdapter::FishNear(gameplay::Shape& shape)
{
    if (AchievementCollection* achievements = Achievements())
        achievements->FishNear(shape);
}

void ShellServicesAdapter::ChainCollected(const std::vector<gameplay::Shape*>& chain)
{
    if (AchievementCollection* achievements = Achievements())
        achievements->ChainCollected(chain);
}

void ShellServicesAdapter::UnderwaterChainCollected(int size)
{
    if (AchievementCollection* achievements = Achievements())
        achievements->UnderwaterChainCollected(size);
}

void ShellServicesAdapter::StarCollected(gameplay::StarredMonster& monster)
{
    AchievementCollection* achievements = Achievements();
    gameplay::RunningLevel* running = RunningLevelNow();
    if (achievements != nullptr && running != nullptr)
        achievements->StarCollected(*running, monster);
}

void ShellServicesAdapter::StarLost(gameplay::StarredMonster& monster)
{
    AchievementCollection* achievements = Achievements();
    gameplay::RunningLevel* running = RunningLevelNow();
    if (achievements != nullptr && running != nullptr)
        achievements->StarLost(*running, monster);
}

void ShellServicesAdapter::ShapeLeft(gameplay::Shape& shape)
{
    AchievementCollection* achievements = Achievements();
    gameplay::RunningLevel* running = RunningLevelNow();
    if (achievements != nullptr && running != nullptr)
        achievements->ShapeLeft(*running, shape);
}

void ShellServicesAdapter::RockLeft(gameplay::Shape& shape)
{
    AchievementCollection* achievements = Achievements();
    gameplay::RunningLevel* running = RunningLevelNow();
    if (achievements != nullptr && running != nullptr)
        achievements->RockLeft(*running, shape);
}

void InstallShellServices()
{
    if (!adapter())
        adapter() = std::make_unique<ShellServicesAdapter>();
    gameplay::ShellServices::Install(adapter().get());
}

void UninstallShellServices()
{
    gameplay::ShellServices::Install(nullptr);
    adapter().reset();
}
