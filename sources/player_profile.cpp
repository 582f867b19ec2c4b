#include "sources/player_profile.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/atomic_file.h"
#include "sources/gameplay/balance.h"
#include "sources/profile_manager.h"
#include "sources/shell_files.h"

namespace {

const char* const Version = "v3";

// A string whose count fits in what is left; false (with the reason) when it does not.
bool ReadCountedString(ProfileStream& stream, vadu::String& text, const char* what, vadu::String* why)
{
    uint32_t count = 0;
    if (!stream.ReadU32(count)) {
        if (why)
            *why = vadu::String("the file ends before the ") + what;
        return false;
    }
    if (count > stream.left()) {
        if (why)
            *why = vadu::format("the %s's length %u runs past the end of the file", what, count);
        return false;
    }
    std::string bytes(count, '\0');
    if (count > 0)
        stream.read(bytes.data(), count);
    text = vadu::String(bytes.data(), bytes.data() + bytes.size());
    return true;
}

} // namespace

PlayerProfile::PlayerProfile()
{
    levels.Load();
    achievements.levelRecords = &levels.levels;
}

PlayerProfile::PlayerProfile(int fileIndex) : PlayerProfile()
{
    SetFileIndex(fileIndex);
}

PlayerProfile::PlayerProfile(const PlayerProfile& other)
{
    achievements.levelRecords = &levels.levels;
    *this = other;
}

PlayerProfile& PlayerProfile::operator=(const PlayerProfile& other)
{
    if (this == &other)
        return *this;
    // The list's records first, so that level entries the file format carries land on
    // the same records; every stored field then comes through the file format itself.
    levels = other.levels;
    filePath = other.filePath;
    ProfileMemoryStream stream;
    other.Write(stream);
    Read(stream);
    return *this;
}

void PlayerProfile::Write(ProfileStream& stream) const
{
    stream.WriteString(Version);
    stream.WriteString(name);
    stream.WriteU8(gameCompleteShown);
    stream.WriteF32(soundVolume);
    stream.WriteF32(musicVolume);
    stream.WriteU8(cursorType);
    stream.WriteU8(soundOn);
    stream.WriteU8(musicOn);
    stream.WriteI32(totalScoreStandard);
    stream.WriteI32(totalScoreZen);
    stream.WriteI32(points);
    stream.WriteI32(manaDangerHints);
    stream.WriteI32(extraCounter);
    stream.WriteI32(bombHintShown);
    stream.WriteU8(zenUnlocked);
    stream.WriteU8(extraFlag1);
    stream.WriteU8(extraFlag2);
    stream.WriteU8(extraFlag3);
    stream.WriteI32(extraValue);
    stream.WriteU32(static_cast<uint32_t>(levels.levels.size()));
    for (const LevelProfile& level : levels.levels) {
        stream.WriteU8(level.locked);
        stream.WriteI32(level.bestScore);
    }
    stream.WriteU8(fullscreen);
    achievements.Write(stream);
}

PlayerProfile::ReadResult PlayerProfile::Read(ProfileStream& stream, vadu::String* why)
{
    vadu::String version;
    if (!ReadCountedString(stream, version, "version", why))
        return ReadResult::Damaged;
    if (!ReadCountedString(stream, name, "name", why))
        return ReadResult::Damaged;

    // The version this game writes promises every field, so a file of it that ends early
    // was cut short: what it holds stands, and the file is damaged. A file of another
    // version may simply be shorter; its missing fields keep their values.
    const bool whole = version == Version;
    const auto endsBefore = [&](const char* what) {
        if (!whole)
            return ReadResult::Intact;
        if (why)
            *why = vadu::String("the file ends before the ") + what;
        return ReadResult::PartlyDamaged;
    };

    const bool fields = stream.ReadU8(gameCompleteShown) && stream.ReadF32(soundVolume) &&
                        stream.ReadF32(musicVolume) && stream.ReadU8(cursorType) && stream.ReadU8(soundOn) &&
                        stream.ReadU8(musicOn) && stream.ReadI32(totalScoreStandard) &&
                        stream.ReadI32(totalScoreZen) && stream.ReadI32(points) && stream.ReadI32(manaDangerHints) &&
                        stream.ReadI32(extraCounter) && stream.ReadI32(bombHintShown) && stream.ReadU8(zenUnlocked) &&
                        stream.ReadU8(extraFlag1) && stream.ReadU8(extraFlag2) && stream.ReadU8(extraFlag3) &&
                        stream.ReadI32(extraValue);
    // A volume that is not a number would silence the game, and one out of range would be
    // handed to the sound as it is; neither is saved again as it was.
    soundVolume = std::isfinite(soundVolume) ? std::clamp(soundVolume, 0.0f, 1.0f) : DefaultVolume;
    musicVolume = std::isfinite(musicVolume) ? std::clamp(musicVolume, 0.0f, 1.0f) : DefaultVolume;
    if (!fields)
        return endsBefore("end of the options and scores");

    uint32_t count = 0;
    if (!stream.ReadU32(count))
        return endsBefore("level progress");
    if (static_cast<uint64_t>(count) * 5 > stream.left()) {
        // The fields before the count stand; the levels keep the list's values.
        if (why)
            *why = vadu::format("the level count %u runs past the end of the file", count);
        return ReadResult::PartlyDamaged;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t locked = 0;
        int32_t best = 0;
        stream.ReadU8(locked);
        stream.ReadI32(best);
        // Entries beyond the list are read and dropped, keeping the stream in step.
        if (i < levels.levels.size()) {
            levels.levels[i].locked = locked;
            levels.levels[i].bestScore = best;
        }
    }
    if (!stream.ReadU8(fullscreen))
        return endsBefore("fullscreen option");
    if (achievements.Read(stream, why, whole))
        return ReadResult::Intact;
    // The block is the last item: what came before it stands.
    achievements.ForgetAchieved();
    return ReadResult::PartlyDamaged;
}

bool PlayerProfile::SaveToFile() const
{
    ProfileMemoryStream stream;
    Write(stream);
    std::string error;
    const std::string path(filePath.c_str(), filePath.size());
    if (platform::write_file_atomically(path, stream.bytes().data(), stream.bytes().size(), &error))
        return true;
    ProfileManager::ReportUnsaved(vadu::String("Profile not saved: ") + error.c_str());
    return false;
}

void PlayerProfile::SetFileIndex(int index)
{
    filePath = GetProfileFilePath(index);
}

bool PlayerProfile::IsZenUnlocked() const
{
    return zenUnlocked != 0 || totalScoreStandard >= gameplay::Balance::Instance().ZenPrice;
}
