#include "sources/sound_manager.h"

#include "sources/shell_files.h"
#include "vadu/exception.h"

namespace {

SoundManager* instance = nullptr;

} // namespace

SoundManager* SoundManager::Instance()
{
    if (!instance)
        instance = new SoundManager();
    return instance;
}

void SoundManager::Destroy()
{
    delete instance;
    instance = nullptr;
}

SoundManager::SoundManager() : vadu::noise::MusicFader(FadeSeconds)
{
    RegisterSounds();
}

SoundManager::~SoundManager() = default;

void SoundManager::RegisterSounds()
{
    sounds[SoundId::ButtonClick] = "data/sounds/button_click";
    sounds[SoundId::AchievementUnlock] = "data/sounds/achievement_unlock";
    sounds[SoundId::BubblePop] = "data/sounds/bubble_pop";
    sounds[SoundId::GroupRemoved] = "data/sounds/group_removed";
    sounds[SoundId::IceMeltdown] = "data/sounds/ice_meltdown";
    sounds[SoundId::LevelComplete] = "data/sounds/level_complete";
    sounds[SoundId::LevelLost] = "data/sounds/level_lost";
    sounds[SoundId::LightningStrike] = "data/sounds/lightning_strike";
    sounds[SoundId::MonsterCollected] = "data/sounds/monster_collected";
    sounds[SoundId::MonsterEvolved] = "data/sounds/monster_evolved";
    sounds[SoundId::MonsterDied] = "data/sounds/monster_died";
    sounds[SoundId::PowerUp] = "data/sounds/power_up";
    sounds[SoundId::RemoveFailed] = "data/sounds/remove_failed";
}

void SoundManager::Play(SoundId id)
{
    if (!soundOn)
        return;
    const auto sound = sounds.find(id);
    // An id outside the table has no file: asking the hardware for "" would only fail.
    if (sound == sounds.end())
        return;
    const vadu::String& path = sound->second;
    auto channel = channels.find(path);
    if (channel == channels.end()) {
        std::unique_ptr<vadu::noise::Channel> made;
        try {
            made.reset(vadu::noise::Manager::create_immortal_static_channel(vadu::noise::atoms::Type2D,
                                                                            vadu::filesystem::String(path, true)));
        } catch (const vadu::Gluck& gluck) {
            // A missing or broken effect is not worth ending the game for: it stays
            // silent, and the empty entry keeps this line from repeating.
            LogLine("Sound \"" + path + "\" cannot be played: " + gluck.get_description());
        }
        channel = channels.emplace(path, std::move(made)).first;
    }
    if (!channel->second)
        return;
    channel->second->change_attribute(vadu::noise::atoms::Loop, 0.0);
    channel->second->change_attribute(vadu::noise::atoms::Volume, static_cast<double>(soundVolume));
    channel->second->play(nullptr);
}

double SoundManager::AudibleMusicVolume() const
{
    return musicOn && pauseCount == 0 ? static_cast<double>(musicVolume) : 0.0;
}

void SoundManager::PlayMusic(const vadu::String& path)
{
    set_track(vadu::filesystem::String(path, true));
    // A track asked for while paused (a level starting behind the quit question, say)
    // must stay silent until the pause ends.
    set_volume(AudibleMusicVolume());
}

void SoundManager::SetMusicEnabled(bool on)
{
    musicOn = on ? 1 : 0;
    set_volume(AudibleMusicVolume());
}

void SoundManager::Pause()
{
    ++pauseCount;
    SetMusicEnabled(musicOn != 0);
}

void SoundManager::Resume()
{
    if (pauseCount > 0)
        --pauseCount;
    SetMusicEnabled(musicOn != 0);
}

void SoundManager::PlayStepSounds(const StepEvents& step)
{
    if (step.collected != 0)
        Play(SoundId::MonsterCollected);
    if (step.evolved != 0)
        Play(SoundId::MonsterEvolved);
    if (step.powerUps != 0)
        Play(SoundId::PowerUp);
    bool bubble = false;
    bool ice = false;
    for (const StepGroup& group : step.groups) {
        bubble = bubble || group.bubble;
        ice = ice || group.ice;
        if (bubble && ice)
            break;
    }
    if (bubble) {
        Play(SoundId::BubblePop);
        if (ice)
            Play(SoundId::IceMeltdown);
    } else if (ice) {
        Play(SoundId::IceMeltdown);
    } else {
        Play(SoundId::GroupRemoved);
    }
}

void PlaySound(SoundId id)
{
    SoundManager::Instance()->Play(id);
}
