#include "sources/profile_manager.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "sources/shell_files.h"
#include "sources/sound_manager.h"
#include "vadu/filesystem.h"

namespace {

ProfileManager* instance = nullptr;

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
    for (int index = 0; index < MaxProfiles; ++index)
        if (!LoadProfile(index))
            break;
    if (!profiles.empty())
        LoadSettings();
}

bool ProfileManager::LoadProfile(int index)
{
    const vadu::filesystem::String path = GetProfileFilePath(index);
    // The file is read whole, up to one byte past the largest a profile may be, and then
    // parsed in memory: field by field from the disk costs a seek or two per field.
    std::vector<uint8_t> bytes;
    {
        vadu::filesystem::File file;
        if (!file.open(path, vadu::filesystem::File::read_mode))
            return false;
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
        // that the files after it still load next time: what was read before the
        // achievements when only they are damaged, else a new profile.
        if (result == PlayerProfile::ReadResult::Damaged)
            profile = std::make_unique<PlayerProfile>(index);
        if (SetAside(path, why))
            profile->SaveToFile();
    }
    profiles.push_back(std::move(profile));
    return true;
}

void ProfileManager::LoadSettings()
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
    // An index outside the list (or -1) still needs a current player: the window
    // placement and display settings read one.
    current = (index >= 0 && index < GetProfileCount()) ? profiles[index].get() : profiles.front().get();
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
    const int32_t index = GetCurrentIndex();
    const uint8_t bytes[4] = {uint8_t(index), uint8_t(index >> 8), uint8_t(index >> 16), uint8_t(index >> 24)};
    std::string error;
    if (!platform::write_file_atomically(Native(Settings::GetFilePath()), bytes, sizeof(bytes), &error)) {
        LogLine(vadu::String("Settings not saved: ") + error.c_str());
        saved = false;
    }
    return saved;
}

int ProfileManager::CreateProfile(const vadu::String& name)
{
    if (GetProfileCount() >= MaxProfiles)
        return -1;
    const int index = GetProfileCount();
    auto profile = std::make_unique<PlayerProfile>(index);
    profile->name = name;
    current = profile.get();
    profiles.push_back(std::move(profile));
    return index;
}

void ProfileManager::DeleteProfile(int index)
{
    const int count = GetProfileCount();
    if (count < 2 || index < 0 || index >= count)
        return;
    const bool wasCurrent = profiles[index].get() == current;
    profiles.erase(profiles.begin() + index);
    if (wasCurrent)
        current = profiles.front().get();

    // Each remaining profile replaces its file at its new index; only when all of them are
    // written does the surplus last file go. A crash between leaves one profile twice,
    // never one lost.
    bool written = true;
    for (int position = 0; position < GetProfileCount(); ++position) {
        profiles[position]->SetFileIndex(position);
        written = profiles[position]->SaveToFile() && written;
    }
    if (!written)
        return;
    std::string error;
    if (!platform::delete_file_durably(Native(GetProfileFilePath(count - 1)), &error))
        LogLine(vadu::String("Profile file not deleted: ") + error.c_str());
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
