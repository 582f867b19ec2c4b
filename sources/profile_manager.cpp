#include "sources/profile_manager.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "sources/shell_files.h"
#include "sources/sound_manager.h"
#include "vadu/filesystem.h"

namespace {

ProfileManager* instance = nullptr;
ProfileManager::UnsavedNotice unsavedNotice;
bool unsavedTold = false;

std::string Native(const vadu::filesystem::String& path)
{
    return std::string(path.c_str(), path.size());
}

// Renames a damaged file out of the way and says so in one log line.
bool SetAside(const vadu::filesystem::String& path, const vadu::String& why)
{
    std::string error;
    const std::string kept = platform::set_file_aside(Native(path), ".damaged", &error);
    if (kept.empty()) {
        LogLine("Damaged file \"" + path.get_text() + "\" (" + why + ") could not be set aside: " + error.c_str());
        return false;
    }
    LogLine("Damaged file \"" + path.get_text() + "\" (" + why + ") was set aside as \"" + kept.c_str() +
            "\"; a new one takes its place");
    return true;
}

} // namespace

namespace Settings {

vadu::filesystem::String GetUserDataFolder()
{
    return vadu::filesystem::String(vadu::String("%local_appdata%/") + "/Kembra Entertainment/Quillo Tovra", false);
}

vadu::filesystem::String GetFilePath()
{
    return GetUserDataFolder() + "/settings.dat";
}

bool CreateUserDataFolder()
{
    // An existing folder is found whatever its case; a missing one is made, piece by
    // piece, with the spelling given, each piece durably.
    std::string error;
    if (platform::create_folders_durably(Native(GetUserDataFolder()), &error))
        return true;
    LogLine(vadu::String("Per-user folder not made: ") + error.c_str());
    return false;
}

} // namespace Settings

vadu::filesystem::String GetProfileFilePath(int index)
{
    return Settings::GetUserDataFolder() + vadu::format("/profile%d.dat", index);
}

ProfileManager* ProfileManager::Instance(bool create)
{
    if (!create) {
        delete instance;
        instance = nullptr;
        return nullptr;
    }
    if (!instance)
        instance = new ProfileManager();
    return instance;
}

ProfileManager::ProfileManager()
{
    // The file index each loaded profile was read from.
    std::vector<int> loadedFrom;
    for (int index = 0; index < MaxProfiles; ++index) {
        const Found found = LoadProfile(index);
        if (found == Found::loaded)
            loadedFrom.push_back(index);
        else if (found == Found::unreadable)
            held.push_back(index);
    }
    // A missing file before one that loaded is a gap the later profiles close.
    bool moved = false;
    for (int index = 0; !loadedFrom.empty() && index < loadedFrom.back(); ++index) {
        if (IsHeld(index) || std::find(loadedFrom.begin(), loadedFrom.end(), index) != loadedFrom.end())
            continue;
        moved = true;
        LogLine("Profile file \"" + GetProfileFilePath(index).get_text() +
                "\" is missing; the profiles after it move down a place");
    }
    if (moved)
        PlaceFiles({});
    if (!profiles.empty())
        LoadSettings(loadedFrom, moved);
    if (moved)
        WriteSettings();
}

ProfileManager::Found ProfileManager::LoadProfile(int index)
{
    const vadu::filesystem::String path = GetProfileFilePath(index);
    // The file is read whole, up to one byte past the largest a profile may be, and then
    // parsed in memory: field by field from the disk costs a seek or two per field.
    std::vector<uint8_t> bytes;
    {
        vadu::filesystem::File file;
        if (!file.open(path, vadu::filesystem::File::read_mode)) {
            const int error = errno;
            if (error == ENOENT || error == ENOTDIR)
                return Found::missing;
            LogLine("Profile file \"" + path.get_text() + "\" skipped: it cannot be read (" + std::strerror(error) +
                    "); it is left as it is");
            return Found::unreadable;
        }
        uint8_t chunk[64 * 1024];
        while (bytes.size() <= PlayerProfile::MaxFileBytes) {
            const size_t wanted = std::min(sizeof(chunk), PlayerProfile::MaxFileBytes + size_t{1} - bytes.size());
            const uint32_t got = file.read(chunk, static_cast<uint32_t>(wanted));
            if (got == 0)
                break;
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
    }
    auto profile = std::make_unique<PlayerProfile>(index);
    vadu::String why;
    PlayerProfile::ReadResult result = PlayerProfile::ReadResult::Damaged;
    if (bytes.size() > PlayerProfile::MaxFileBytes) {
        why = vadu::format("larger than %u bytes", PlayerProfile::MaxFileBytes);
    } else {
        ProfileMemoryStream stream(std::move(bytes));
        result = profile->Read(stream, &why);
    }
    if (result != PlayerProfile::ReadResult::Intact) {
        // A damaged profile is kept aside and a sound one takes the slot on disk at once, so
        // that the files after it still load next time: what was read before the damage
        // when the name was, else a new profile.
        if (result == PlayerProfile::ReadResult::Damaged)
            profile = std::make_unique<PlayerProfile>(index);
        if (SetAside(path, why))
            profile->SaveToFile();
    }
    profiles.push_back(std::move(profile));
    return Found::loaded;
}

void ProfileManager::LoadSettings(const std::vector<int>& loadedFrom, bool moved)
{
    int32_t index = 0;
    const vadu::filesystem::String path = Settings::GetFilePath();
    vadu::filesystem::File file;
    if (file.open(path, vadu::filesystem::File::read_mode)) {
        uint8_t bytes[4];
        if (file.read(bytes, 4) == 4) {
            index = static_cast<int32_t>(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                                         uint32_t(bytes[3]) << 24);
        } else {
            file.close();
            SetAside(path, "shorter than 4 bytes");
        }
    }
    if (moved) {
        // The index was written while the profiles stood in their files in order: it names
        // the file the current one was read from.
        const auto from = std::find(loadedFrom.begin(), loadedFrom.end(), index);
        index = from == loadedFrom.end() ? -1 : static_cast<int32_t>(from - loadedFrom.begin());
    }
    // An index outside the list (or -1) still needs a current player: the window
    // placement and display settings read one.
    current = (index >= 0 && index < GetProfileCount()) ? profiles[index].get() : profiles.front().get();
}

bool ProfileManager::WriteSettings()
{
    const int32_t index = GetCurrentIndex();
    const uint8_t bytes[4] = {uint8_t(index), uint8_t(index >> 8), uint8_t(index >> 16), uint8_t(index >> 24)};
    std::string error;
    if (platform::write_file_atomically(Native(Settings::GetFilePath()), bytes, sizeof(bytes), &error))
        return true;
    ReportUnsaved(vadu::String("Settings not saved: ") + error.c_str());
    return false;
}

bool ProfileManager::Save()
{
    bool saved = true;
    // The profile first: the settings must never name a profile that is not on disk.
    if (current) {
        SoundManager* sound = SoundManager::Instance();
        current->soundOn = sound->soundOn;
        current->musicOn = sound->musicOn;
        saved = current->SaveToFile();
    }
    return WriteSettings() && saved;
}

bool ProfileManager::IsHeld(int fileIndex) const
{
    return std::find(held.begin(), held.end(), fileIndex) != held.end();
}

int ProfileManager::CreateProfile(const vadu::String& name)
{
    if (GetProfileCount() >= MaxProfiles)
        return -1;
    // The lowest file that no profile uses and no unread file holds.
    int slot = 0;
    const auto used = [&](int fileIndex) {
        const vadu::filesystem::String path = GetProfileFilePath(fileIndex);
        return IsHeld(fileIndex) ||
               std::any_of(profiles.begin(), profiles.end(),
                           [&](const std::unique_ptr<PlayerProfile>& profile) { return profile->filePath == path; });
    };
    while (slot < MaxProfiles && used(slot))
        ++slot;
    if (slot == MaxProfiles) {
        LogLine("No profile made: every profile file is taken, some by files that cannot be read");
        return -1;
    }
    const int index = GetProfileCount();
    auto profile = std::make_unique<PlayerProfile>(slot);
    profile->name = name;
    current = profile.get();
    profiles.push_back(std::move(profile));
    Save();
    return index;
}

void ProfileManager::DeleteProfile(int index)
{
    const int count = GetProfileCount();
    if (count < 2 || index < 0 || index >= count)
        return;
    const bool wasCurrent = profiles[index].get() == current;
    const vadu::filesystem::String removed = profiles[index]->filePath;
    profiles.erase(profiles.begin() + index);
    if (wasCurrent)
        current = profiles.front().get();
    PlaceFiles({removed});
}

bool ProfileManager::PlaceFiles(std::vector<vadu::filesystem::String> left)
{
    bool written = true;
    int slot = 0;
    for (const std::unique_ptr<PlayerProfile>& profile : profiles) {
        while (IsHeld(slot))
            ++slot;
        const vadu::filesystem::String path = GetProfileFilePath(slot++);
        if (profile->filePath == path)
            continue;
        left.push_back(profile->filePath);
        profile->filePath = path;
        written = profile->SaveToFile() && written;
    }
    if (!written)
        return false;
    for (const vadu::filesystem::String& file : left) {
        const bool kept = std::any_of(profiles.begin(), profiles.end(),
                                      [&](const std::unique_ptr<PlayerProfile>& profile) {
                                          return profile->filePath == file;
                                      });
        if (kept)
            continue;
        std::string error;
        if (!platform::delete_file_durably(Native(file), &error)) {
            ReportUnsaved(vadu::String("Profile file not deleted: ") + error.c_str());
            written = false;
        }
    }
    return written;
}

bool ProfileManager::HasName(const vadu::String& name) const
{
    return std::any_of(profiles.begin(), profiles.end(),
                       [&](const std::unique_ptr<PlayerProfile>& profile) { return profile->name == name; });
}

void ProfileManager::ApplySoundSettings()
{
    if (profiles.empty() || !current)
        return;
    SoundManager* sound = SoundManager::Instance();
    sound->soundVolume = current->soundVolume;
    sound->soundOn = current->soundOn;
    sound->musicOn = current->musicOn;
    sound->set_volume(sound->musicOn && sound->pauseCount == 0 ? sound->musicVolume : 0.0);
}

PlayerProfile* ProfileManager::GetProfile(int index) const
{
    return index >= 0 && index < GetProfileCount() ? profiles[index].get() : nullptr;
}

int ProfileManager::GetCurrentIndex() const
{
    for (int position = 0; position < GetProfileCount(); ++position)
        if (profiles[position].get() == current)
            return position;
    return -1;
}

void ProfileManager::SetCurrent(int index)
{
    current = GetProfile(index);
}

void ProfileManager::SetUnsavedNotice(UnsavedNotice notice)
{
    unsavedNotice = std::move(notice);
    unsavedTold = false;
}

void ProfileManager::ReportUnsaved(const vadu::String& reason)
{
    LogLine(reason);
    if (unsavedTold || !unsavedNotice)
        return;
    unsavedTold = true;
    unsavedNotice(reason);
}
