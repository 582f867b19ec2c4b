#pragma once

// Up to five player profiles and the current one, loaded from the per-user folder at
// start-up. Every write is a crash-safe replace; a damaged file is set aside (renamed to
// "<file>.damaged"), never overwritten.

#include <functional>
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

    // Loads every one of profile0.dat ... profile4.dat there is, then the settings file.
    // Profiles after a missing file move down to close the gap; a file that is there but
    // cannot be read is skipped, logged, and never written over.
    ProfileManager();
    ProfileManager(const ProfileManager&) = delete;
    ProfileManager& operator=(const ProfileManager&) = delete;

    // Writes the current profile (with the sound manager's switches), then the settings
    // file. False when a write failed (each failure is logged).
    bool Save();
    // The new profile's index, made current and saved at once (with the settings), so
    // that no player made is lost; -1 when five exist or no file is free for it.
    int CreateProfile(const vadu::String& name);
    // Removes the profile at that list position (out of range: nothing) when at least two
    // exist, and moves the files after it down to their new indexes.
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

    // Told, once per run of the game, why progress could not be saved (the first failed
    // write: its file and the system's reason). Installing one starts a new run.
    using UnsavedNotice = std::function<void(const vadu::String& reason)>;
    static void SetUnsavedNotice(UnsavedNotice notice);
    // Logs a write that failed and tells the notice of it when it is the run's first.
    static void ReportUnsaved(const vadu::String& reason);

    std::vector<std::unique_ptr<PlayerProfile>> profiles;
    PlayerProfile* current = nullptr;

private:
    enum class Found { loaded, missing, unreadable };
    Found LoadProfile(int index);
    void LoadSettings(const std::vector<int>& loadedFrom, bool moved);
    bool WriteSettings();
    bool IsHeld(int fileIndex) const;
    // Puts the profiles, in list order, in the lowest files not held by one that was not
    // loaded; each moved profile is written at its new place before any file it left (or
    // any of `left`) is deleted. A crash between leaves a profile twice, never none.
    bool PlaceFiles(std::vector<vadu::filesystem::String> left);

    // Files that are there but could not be read: never written over.
    std::vector<int> held;
};
