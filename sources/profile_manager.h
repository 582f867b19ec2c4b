#pragma once

// Up to five player profiles and the current one, loaded from the per-user folder at
// start-up. Every write is a crash-safe replace; a damaged file is set aside (renamed to
// "<file>.damaged"), never overwritten.

#include <memory>
#include <vector>

#include "sources/player_profile.h"
#include "vadu/path.h"
#include "vadu/string.h"

// The per-user folder and the settings file that names the current profile.
namespace Settings {
// "%local_appdata%/" + "/Kembra Entertainment/Quillo Tovra", spelled as written.
vadu::filesystem::String GetUserDataFolder();
// Folder + "/settings.dat".
vadu::filesystem::String GetFilePath();
// Makes the per-user folder with this spelling unless it exists (in any case). Call it
// before anything else writes there: the engine's lower-cased paths then find it.
bool CreateUserDataFolder();
} // namespace Settings

// Folder + "/profile" + index + ".dat".
vadu::filesystem::String GetProfileFilePath(int index);

class ProfileManager {
public:
    static constexpr int MaxProfiles = 5;

    // With true: the instance, loading everything on first use. With false: deletes the
    // instance (without saving) and returns null.
    static ProfileManager* Instance(bool create = true);

    // Loads profile0.dat, profile1.dat, ... until one is missing, then the settings file.
    ProfileManager();
    ProfileManager(const ProfileManager&) = delete;
    ProfileManager& operator=(const ProfileManager&) = delete;

    // Writes the current profile (with the sound manager's switches), then the settings
    // file. False when a write failed (each failure is logged).
    bool Save();
    // The new profile's index, made current; -1 when five exist. Writes nothing.
    int CreateProfile(const vadu::String& name);
    // Removes the profile at that list position (out of range: nothing) when at least two
    // exist, and rewrites the files after it at their new indexes.
    void DeleteProfile(int index);
    bool HasName(const vadu::String& name) const;
    // The current profile's sound options into the sound manager.
    void ApplySoundSettings();

    int GetProfileCount() const { return static_cast<int>(profiles.size()); }
    PlayerProfile* GetProfile(int index) const;
    // The current profile's list position, or -1.
    int GetCurrentIndex() const;
    // Makes the profile at that position current (out of range: none).
    void SetCurrent(int index);

    std::vector<std::unique_ptr<PlayerProfile>> profiles;
    PlayerProfile* current = nullptr;

private:
    bool LoadProfile(int index);
    void LoadSettings();
};
