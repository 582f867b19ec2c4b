#pragma once

// One player's progress and options, stored in "profile<N>.dat" in the per-user folder.

#include <cstdint>

#include "sources/achievements.h"
#include "sources/level_manager.h"
#include "sources/profile_stream.h"
#include "vadu/path.h"
#include "vadu/string.h"

class PlayerProfile {
public:
    // A new profile's values; the levels fresh from the level list (which must load).
    PlayerProfile();
    // A new profile whose file is the one of that index.
    explicit PlayerProfile(int fileIndex);
    // Copies every stored field through a memory stream, and the file path.
    PlayerProfile(const PlayerProfile& other);
    PlayerProfile& operator=(const PlayerProfile& other);

    // A profile file larger than this is damaged: a real one holds a few kilobytes.
    static constexpr uint32_t MaxFileBytes = 1u << 20;
    // A new profile's volumes, also taken for volumes that are not numbers.
    static constexpr float DefaultVolume = 1.0f;

    enum class ReadResult {
        Intact,
        // Damage after the name (the file cut short, a count past its end, a damaged
        // achievements block): every field read before the damage stands, the ones
        // after it keep a new profile's values, and the achievements start afresh when
        // the damage is among them.
        PartlyDamaged,
        // Damage before the name is read: nothing read can be trusted.
        Damaged,
    };

    // The file format, field by field.
    void Write(ProfileStream& stream) const;
    // Reads the fields in file order; *why (when given) says what was damaged. A file of
    // the version written here must hold every field; a file of another version that ends
    // between fields keeps the rest at their current values. A volume that is not a
    // finite number reads as DefaultVolume, one out of 0..1 as the nearer end.
    ReadResult Read(ProfileStream& stream, vadu::String* why = nullptr);
    // Writes the whole profile to filePath in one crash-safe replace; false (logged) when
    // it could not be written.
    bool SaveToFile() const;
    void SetFileIndex(int index);
    // Zen bought, or a Standard total at the balance's "ZenPrice".
    bool IsZenUnlocked() const;

    vadu::String name = "Player";
    vadu::filesystem::String filePath;
    int32_t totalScoreStandard = 0;
    int32_t totalScoreZen = 0;
    int32_t points = 0;
    int32_t manaDangerHints = 0;
    int32_t extraCounter = 0;
    int32_t bombHintShown = 0;
    uint8_t extraFlag1 = 0;
    uint8_t extraFlag2 = 0;
    uint8_t extraFlag3 = 0;
    int32_t extraValue = 0;
    uint8_t zenUnlocked = 0;
    uint8_t gameCompleteShown = 0;
    uint8_t soundOn = 1;
    uint8_t musicOn = 1;
    float musicVolume = DefaultVolume;
    float soundVolume = DefaultVolume;
    uint8_t fullscreen = 1;
    uint8_t cursorType = 0;
    LevelManager levels;
    // Saved last in the file.
    AchievementCollection achievements;
};
