#pragma once

// The game's sound effects and music: thirteen effects on cached static channels, one
// music track at a time through the fader, the player's switches and volumes, and a pause
// counter that keeps the music silent while any pause reason holds.

#include <map>
#include <memory>
#include <vector>

#include "sources/gameplay/shell_services.h"
#include "vadu/noise/music_fader.h"
#include "vadu/noise/noise.h"
#include "vadu/string.h"

using gameplay::SoundId;

class SoundManager : public vadu::noise::MusicFader {
public:
    static constexpr double FadeSeconds = 2.0;
    static constexpr const char* MainTheme = "data/music/main_theme";
    static constexpr const char* DangerTheme = "data/music/danger_theme";

    // The instance, made on first use; needs a sound hardware (the null one will do).
    static SoundManager* Instance();
    // Deletes the instance (tests, and before the sound hardware goes away).
    static void Destroy();

    // What one gameplay step did, for PlayStepSounds.
    struct StepGroup {
        bool ice = false;
        bool bubble = false;
    };
    struct StepEvents {
        int collected = 0;
        int evolved = 0;
        int powerUps = 0;
        std::vector<StepGroup> groups;
    };

    SoundManager();
    ~SoundManager() override;

    // Restarts the effect's channel at soundVolume; nothing when soundOn is 0 or the id is
    // not one of the thirteen. A sound that cannot be opened is logged once and stays silent.
    void Play(SoundId id);
    // The track to play next; its volume is musicVolume unless the music is off or paused.
    void PlayMusic(const vadu::String& path);
    void PlayMainTheme() { PlayMusic(MainTheme); }
    void PlayDangerTheme() { PlayMusic(DangerTheme); }
    void SetMusicEnabled(bool on);
    // One more (or one fewer, never below 0) reason to keep the music silent.
    void Pause();
    void Resume();
    void PlayStepSounds(const StepEvents& step);

    std::map<vadu::String, std::unique_ptr<vadu::noise::Channel>> channels;
    uint8_t soundOn = 1;
    uint8_t musicOn = 1;
    int32_t pauseCount = 0;
    float soundVolume = 1.0f;
    float musicVolume = 1.0f;
    std::map<SoundId, vadu::String> sounds;

private:
    void RegisterSounds();
    double AudibleMusicVolume() const;
};

// SoundManager::Instance()->Play(id).
void PlaySound(SoundId id);
