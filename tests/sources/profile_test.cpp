// Player profiles and the settings file: the exact file format, short and damaged files,
// the manager's loading, creating, deleting and saving.

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>

#include "shell_data_support.h"
#include "sources/achievement_kinds.h"

namespace {

using namespace shell_data_test;

// A profile with every field away from its new-profile value, and its file, byte by byte.
void FillSample(PlayerProfile& profile)
{
    profile.name = "Ann";
    profile.gameCompleteShown = 1;
    profile.soundVolume = 0.5f;
    profile.musicVolume = 0.25f;
    profile.cursorType = 1;
    profile.soundOn = 0;
    profile.musicOn = 1;
    profile.totalScoreStandard = 1000;
    profile.totalScoreZen = 2;
    profile.points = 100000;
    profile.manaDangerHints = 3;
    profile.extraCounter = 4;
    profile.bombHintShown = 1;
    profile.zenUnlocked = 1;
    profile.extraFlag1 = 1;
    profile.extraFlag2 = 0;
    profile.extraFlag3 = 1;
    profile.extraValue = -1;
    profile.levels.levels[0].bestScore = 1500;
    profile.levels.levels[3].locked = 0;
    profile.fullscreen = 0;
    profile.achievements.Find<AchievementTitanic>()->achieved = true;
    profile.achievements.Find<AchievementNerd>()->achieved = true;
}

const Bytes SampleFields = {
    0x02, 0x00, 0x00, 0x00, 'v',  '3',                   // version
    0x03, 0x00, 0x00, 0x00, 'A',  'n',  'n',             // name
    0x01,                                                // game complete shown
    0x00, 0x00, 0x00, 0x3F,                              // sound volume 0.5
    0x00, 0x00, 0x80, 0x3E,                              // music volume 0.25
    0x01, 0x00, 0x01,                                    // cursor, sound on, music on
    0xE8, 0x03, 0x00, 0x00,                              // Standard total 1000
    0x02, 0x00, 0x00, 0x00,                              // Zen total 2
    0xA0, 0x86, 0x01, 0x00,                              // points 100000
    0x03, 0x00, 0x00, 0x00,                              // mana danger hints
    0x04, 0x00, 0x00, 0x00,                              // extra counter
    0x01, 0x00, 0x00, 0x00,                              // bomb hint shown
    0x01, 0x01, 0x00, 0x01,                              // Zen unlocked, three flags
    0xFF, 0xFF, 0xFF, 0xFF,                              // extra value -1
    0x07, 0x00, 0x00, 0x00,                              // seven levels
    0x00, 0xDC, 0x05, 0x00, 0x00,                        // 1: open, 1500
    0x00, 0x00, 0x00, 0x00, 0x00,                        // 2
    0x00, 0x00, 0x00, 0x00, 0x00,                        // 3
    0x00, 0x00, 0x00, 0x00, 0x00,                        // 4: opened
    0x01, 0x00, 0x00, 0x00, 0x00,                        // 5: locked
    0x00, 0x00, 0x00, 0x00, 0x00,                        // Zen 1
    0x00, 0x00, 0x00, 0x00, 0x00,                        // Zen 2
    0x00,                                                // fullscreen off
};

// The achievements block: every kind by name in type-id order, its achieved byte and its
// data tag; Titanic and Nerd achieved.
Bytes WithAchievements(Bytes bytes)
{
    const char* const names[] = {
        "MonsterFinger", "NarrowEscape", "FeedTheFish", "Rainbow", "MassDiving", "Overboard", "ShortNight",
        "QuickDiver", "HomelessMonsters", "GlobalWarming", "LetemFly", "Moneybags", "ChainMaster",
        "ChainLightnings", "5050", "BlackJack", "EpicFail", "Aesthete", "Kaleidoscope", "MonsterMafia",
        "ColorManiac", "Zebra", "Caviar", "WhoWantstoBeaBillionaire", "IceBaby", "Titanic", "RustyAnchor",
        "ScrapMetal", "Charmed", "HungryFish", "Nerd", "ComeThroughUnscathed"};
    PutU32(bytes, 32);
    for (const std::string name : names) {
        PutString(bytes, name);
        bytes.push_back(name == "Titanic" || name == "Nerd" ? 1 : 0);
        PutU32(bytes, name == "GlobalWarming" ? 100 : name == "LetemFly" ? 200 : 0);
    }
    return bytes;
}

const Bytes SampleFile = WithAchievements(SampleFields);

// The sample file from its start up to (not including) the level count.
Bytes SampleHead()
{
    return Bytes(SampleFile.begin(), SampleFile.begin() + 57);
}

// A whole new profile's file with that name.
Bytes ProfileBytes(const std::string& name)
{
    PlayerProfile profile(0);
    profile.name = vadu::String(name.c_str());
    ProfileMemoryStream stream;
    profile.Write(stream);
    return stream.bytes();
}

// The version and the name only, as a file cut short right after the name.
Bytes NameOnly(const std::string& version, const std::string& name)
{
    Bytes bytes;
    PutString(bytes, version);
    PutString(bytes, name);
    return bytes;
}

// The sample file up to (not including) the byte at that offset.
Bytes SampleUpTo(size_t end)
{
    return Bytes(SampleFile.begin(), SampleFile.begin() + static_cast<std::ptrdiff_t>(end));
}

using ProfileTest = ShellDataTest;

TEST_F(ProfileTest, WritesTheExactFileFormatAndReadsItBack)
{
    PlayerProfile profile(0);
    FillSample(profile);
    ASSERT_TRUE(profile.SaveToFile());
    EXPECT_EQ(ReadBytes(ProfileFile(0)), SampleFile);

    ProfileManager* manager = ProfileManager::Instance();
    ASSERT_EQ(manager->GetProfileCount(), 1);
    const PlayerProfile& loaded = *manager->current;
    ProfileMemoryStream again;
    loaded.Write(again);
    EXPECT_EQ(again.bytes(), SampleFile);
    EXPECT_EQ(loaded.levels.levels[3].locked, 0);
    EXPECT_EQ(loaded.levels.levels[4].locked, 1);

    // A copy goes through the same format and keeps the file.
    const PlayerProfile copy(loaded);
    ProfileMemoryStream copied;
    copy.Write(copied);
    EXPECT_EQ(copied.bytes(), SampleFile);
    EXPECT_EQ(copy.filePath, loaded.filePath);
}

using Result = PlayerProfile::ReadResult;

struct ReadCase {
    const char* what;
    std::function<Bytes()> bytes;
    Result result;
    std::function<void(const PlayerProfile&)> check;
};

TEST_F(ProfileTest, ShortLongAndDamagedFilesReadAsTheFormatAllows)
{
    const ReadCase cases[] = {
        {"another version that ends after the name: the rest keeps new-profile values",
         [] { return NameOnly("v2", "Bo"); }, Result::Intact,
         [](const PlayerProfile& p) {
             EXPECT_EQ(p.name, "Bo");
             EXPECT_EQ(p.soundVolume, 1.0f);
             EXPECT_EQ(p.fullscreen, 1);
             EXPECT_EQ(p.levels.levels[3].locked, 1);
         }},
        {"this version cut short after the name: the name stands, the file is damaged",
         [] { return NameOnly("v3", "Bo"); }, Result::PartlyDamaged,
         [](const PlayerProfile& p) {
             EXPECT_EQ(p.name, "Bo");
             EXPECT_EQ(p.soundVolume, 1.0f);
             EXPECT_EQ(p.levels.levels[3].locked, 1);
         }},
        {"cut short inside a field: the fields before it stand",
         [] { return SampleUpTo(16); }, Result::PartlyDamaged,
         [](const PlayerProfile& p) {
             EXPECT_EQ(p.gameCompleteShown, 1);
             EXPECT_EQ(p.soundVolume, 1.0f);
         }},
        {"cut short before the level count: every field before it stands",
         [] { return SampleHead(); }, Result::PartlyDamaged,
         [](const PlayerProfile& p) {
             EXPECT_EQ(p.points, 100000);
             EXPECT_EQ(p.extraValue, -1);
             EXPECT_EQ(p.levels.levels[0].bestScore, 0);
             EXPECT_EQ(p.fullscreen, 1);
         }},
        {"cut short before the fullscreen byte: the levels stand",
         [] { return SampleUpTo(SampleFields.size() - 1); }, Result::PartlyDamaged,
         [](const PlayerProfile& p) {
             EXPECT_EQ(p.levels.levels[0].bestScore, 1500);
             EXPECT_EQ(p.levels.levels[3].locked, 0);
             EXPECT_EQ(p.fullscreen, 1);
         }},
        {"cut short before the achievements", [] { return SampleFields; }, Result::PartlyDamaged,
         [](const PlayerProfile& p) {
             EXPECT_EQ(p.fullscreen, 0);
             EXPECT_FALSE(p.achievements.Find<AchievementTitanic>()->achieved);
         }},
        {"cut short inside the achievements: every other field stands",
         [] { return SampleUpTo(SampleFile.size() - 3); }, Result::PartlyDamaged,
         [](const PlayerProfile& p) {
             EXPECT_EQ(p.points, 100000);
             EXPECT_EQ(p.fullscreen, 0);
             EXPECT_FALSE(p.achievements.Find<AchievementTitanic>()->achieved);
         }},
        {"a name of length 0", [] { return ProfileBytes(""); }, Result::Intact,
         [](const PlayerProfile& p) { EXPECT_EQ(p.name, ""); }},
        {"more level entries than the list: the extra ones are skipped",
         [] {
             Bytes b = SampleHead();
             PutU32(b, 9);
             for (int i = 0; i < 9; ++i) {
                 b.push_back(0);
                 PutU32(b, 100 + i);
             }
             b.push_back(0); // fullscreen
             PutU32(b, 0);   // no achievements
             return b;
         },
         Result::Intact,
         [](const PlayerProfile& p) {
             EXPECT_EQ(p.levels.levels[6].bestScore, 106);
             EXPECT_EQ(p.fullscreen, 0);
         }},
        {"fewer level entries than the list: the rest keep the list's values",
         [] {
             Bytes b = SampleHead();
             PutU32(b, 1);
             b.push_back(0);
             PutU32(b, 77);
             b.push_back(0); // fullscreen
             PutU32(b, 0);   // no achievements
             return b;
         },
         Result::Intact,
         [](const PlayerProfile& p) {
             EXPECT_EQ(p.levels.levels[0].bestScore, 77);
             EXPECT_EQ(p.levels.levels[4].locked, 1);
             EXPECT_EQ(p.fullscreen, 0);
         }},
        {"ends before the name", [] {
             Bytes b;
             PutString(b, "v3");
             return b;
         }, Result::Damaged, nullptr},
        {"ends inside the version's count", [] { return Bytes{2, 0}; }, Result::Damaged, nullptr},
        {"a name count past the end", [] {
             Bytes b;
             PutString(b, "v3");
             PutU32(b, 100);
             b.insert(b.end(), {'A', 'n', 'n'});
             return b;
         }, Result::Damaged, nullptr},
        {"a version count of 4 GiB", [] { return Bytes{0xFF, 0xFF, 0xFF, 0xFF, 'v'}; }, Result::Damaged, nullptr},
        {"a level count past the end: the fields before it stand, the levels keep the list's",
         [] {
             Bytes b = SampleHead();
             PutU32(b, 1000);
             b.insert(b.end(), 20, 0);
             return b;
         },
         Result::PartlyDamaged,
         [](const PlayerProfile& p) {
             EXPECT_EQ(p.name, "Ann");
             EXPECT_EQ(p.points, 100000);
             EXPECT_EQ(p.levels.levels[0].bestScore, 0);
             EXPECT_EQ(p.levels.levels[4].locked, 1);
         }},
        {"an achievement name's length past the end: the fields before stand, the achievements start afresh",
         [] {
             Bytes b = SampleFields;
             PutU32(b, 2);
             PutString(b, "Nerd");
             b.push_back(1);
             PutU32(b, 0);
             PutU32(b, 50);
             b.push_back('Z');
             return b;
         },
         Result::PartlyDamaged,
         [](const PlayerProfile& p) {
             EXPECT_EQ(p.name, "Ann");
             EXPECT_EQ(p.points, 100000);
             EXPECT_EQ(p.levels.levels[0].bestScore, 1500);
             EXPECT_EQ(p.fullscreen, 0);
             EXPECT_FALSE(p.achievements.Find<AchievementNerd>()->achieved);
         }},
        {"a level count of 4 G entries", [] {
             Bytes b = SampleHead();
             PutU32(b, 0xFFFFFFFF);
             return b;
         }, Result::PartlyDamaged, [](const PlayerProfile& p) { EXPECT_EQ(p.name, "Ann"); }},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        PlayerProfile profile(0);
        ProfileMemoryStream stream(c.bytes());
        vadu::String why;
        EXPECT_EQ(profile.Read(stream, &why), c.result);
        EXPECT_EQ(why.empty(), c.result == Result::Intact) << why.c_str();
        if (c.check)
            c.check(profile);
    }
}

TEST_F(ProfileTest, AFileStreamReadsAsTheMemoryStreamDoes)
{
    WriteBytes(ProfileFile(0), SampleFile);
    ProfileFileStream stream(GetProfileFilePath(0), vadu::filesystem::File::read_mode);
    ASSERT_TRUE(stream.is_open());
    EXPECT_EQ(stream.left(), SampleFile.size());
    PlayerProfile profile(0);
    EXPECT_EQ(profile.Read(stream), Result::Intact);
    EXPECT_EQ(stream.left(), 0u);
    ProfileMemoryStream written;
    profile.Write(written);
    EXPECT_EQ(written.bytes(), SampleFile);
    uint8_t byte = 0;
    EXPECT_FALSE(stream.ReadU8(byte));
    EXPECT_EQ(stream.skip(1), 0u);
}

TEST_F(ProfileTest, FirstStartHasNoProfileAndSavesOnlyTheSettings)
{
    ProfileManager* manager = ProfileManager::Instance();
    EXPECT_EQ(manager->GetProfileCount(), 0);
    EXPECT_EQ(manager->current, nullptr);
    EXPECT_TRUE(manager->Save());
    EXPECT_EQ(ReadBytes(SettingsFile()), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_FALSE(fs::exists(ProfileFile(0)));
    // One per-user folder, spelled as the game spells it.
    EXPECT_EQ(std::distance(fs::directory_iterator(user_), fs::directory_iterator()), 1);
    EXPECT_TRUE(fs::is_directory(UserFolder()));
}

std::vector<std::string> NamesOnDisk(const std::vector<fs::path>& files)
{
    std::vector<std::string> names;
    for (const fs::path& file : files) {
        PlayerProfile read(0);
        ProfileMemoryStream stream(ReadBytes(file));
        EXPECT_EQ(read.Read(stream), PlayerProfile::ReadResult::Intact) << file;
        names.emplace_back(read.name.c_str(), read.name.size());
    }
    return names;
}

std::vector<std::string> LoadedNames(const ProfileManager& manager)
{
    std::vector<std::string> names;
    for (const auto& profile : manager.profiles)
        names.emplace_back(profile->name.c_str(), profile->name.size());
    return names;
}

// Every profile file there is loads; the ones after a missing file move down to close the
// gap, the settings still name the same player, and a player made next takes a free file.
TEST_F(ProfileTest, EveryProfileFileLoadsAndAGapIsClosed)
{
    WriteBytes(ProfileFile(1), ProfileBytes("B"));
    WriteBytes(ProfileFile(3), ProfileBytes("D"));
    WriteBytes(SettingsFile(), Bytes{3, 0, 0, 0});
    ProfileManager* manager = ProfileManager::Instance();
    EXPECT_EQ(LoadedNames(*manager), (std::vector<std::string>{"B", "D"}));
    EXPECT_EQ(manager->current->name, "D");
    EXPECT_EQ(NamesOnDisk({ProfileFile(0), ProfileFile(1)}), (std::vector<std::string>{"B", "D"}));
    EXPECT_FALSE(fs::exists(ProfileFile(2)));
    EXPECT_FALSE(fs::exists(ProfileFile(3)));
    EXPECT_EQ(ReadBytes(SettingsFile()), (Bytes{1, 0, 0, 0}));
    const std::string log = LogText();
    EXPECT_NE(log.find("profile0.dat\" is missing"), std::string::npos) << log;
    EXPECT_NE(log.find("profile2.dat\" is missing"), std::string::npos) << log;

    manager->CreateProfile("E");
    ProfileManager::Instance(false);
    manager = ProfileManager::Instance();
    EXPECT_EQ(LoadedNames(*manager), (std::vector<std::string>{"B", "D", "E"}));
    EXPECT_EQ(manager->current->name, "E");
}

// A profile file that is there but cannot be read is skipped and logged, and no save,
// creation or deletion ever writes over it.
TEST_F(ProfileTest, AProfileFileThatCannotBeReadIsNeverWrittenOver)
{
    WriteBytes(ProfileFile(0), ProfileBytes("A"));
    fs::create_directories(ProfileFile(1)); // opens as no file
    WriteBytes(ProfileFile(1) / "keep", Bytes{7});
    WriteBytes(ProfileFile(2), ProfileBytes("C"));
    ProfileManager* manager = ProfileManager::Instance();
    EXPECT_EQ(LoadedNames(*manager), (std::vector<std::string>{"A", "C"}));
    EXPECT_NE(LogText().find("profile1.dat\" skipped"), std::string::npos) << LogText();

    manager->CreateProfile("D");
    manager->DeleteProfile(0);
    ASSERT_TRUE(manager->Save());
    EXPECT_EQ(ReadBytes(ProfileFile(1) / "keep"), Bytes{7});
    EXPECT_EQ(NamesOnDisk({ProfileFile(0), ProfileFile(2)}), (std::vector<std::string>{"C", "D"}));
    EXPECT_FALSE(fs::exists(ProfileFile(3)));
    ProfileManager::Instance(false);
    EXPECT_EQ(LoadedNames(*ProfileManager::Instance()), (std::vector<std::string>{"C", "D"}));
}

TEST_F(ProfileTest, TheSettingsChooseTheCurrentProfileAndABadIndexGivesTheFirst)
{
    struct Case {
        const char* what;
        std::optional<Bytes> settings;
        int current;
        bool setAside;
    } const cases[] = {
        {"no settings file", std::nullopt, 0, false},
        {"index 1", Bytes{1, 0, 0, 0}, 1, false},
        {"index -1 with profiles", Bytes{0xFF, 0xFF, 0xFF, 0xFF}, 0, false},
        {"index past the list", Bytes{5, 0, 0, 0}, 0, false},
        {"shorter than 4 bytes", Bytes{1, 0}, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(UserFolder());
        WriteBytes(ProfileFile(0), ProfileBytes("A"));
        WriteBytes(ProfileFile(1), ProfileBytes("B"));
        if (c.settings)
            WriteBytes(SettingsFile(), *c.settings);
        ProfileManager* manager = ProfileManager::Instance();
        EXPECT_EQ(manager->GetCurrentIndex(), c.current);
        EXPECT_EQ(fs::exists(SettingsFile().string() + ".damaged"), c.setAside);
        if (c.setAside) {
            EXPECT_NE(LogText().find("settings.dat"), std::string::npos) << LogText();
        }
        ProfileManager::Instance(false);
    }
}

TEST_F(ProfileTest, ADamagedProfileIsSetAsideAndTheOnesAfterItStillLoad)
{
    WriteBytes(ProfileFile(0), ProfileBytes("A"));
    Bytes damaged;
    PutString(damaged, "v3");
    PutU32(damaged, 999);
    WriteBytes(ProfileFile(1), damaged);
    WriteBytes(ProfileFile(2), ProfileBytes("C"));

    ProfileManager* manager = ProfileManager::Instance();
    ASSERT_EQ(manager->GetProfileCount(), 3);
    EXPECT_EQ(manager->profiles[0]->name, "A");
    EXPECT_EQ(manager->profiles[1]->name, "Player");
    EXPECT_EQ(manager->profiles[2]->name, "C");
    // The damaged bytes are kept; a new profile stands in the slot on disk.
    EXPECT_EQ(ReadBytes(ProfileFile(1).string() + ".damaged"), damaged);
    ProfileMemoryStream fresh(ReadBytes(ProfileFile(1)));
    PlayerProfile check(1);
    EXPECT_EQ(check.Read(fresh), PlayerProfile::ReadResult::Intact);
    EXPECT_EQ(check.name, "Player");
    // One line says which file, why, and where it was kept.
    const std::string log = LogText();
    EXPECT_NE(log.find("profile1.dat"), std::string::npos) << log;
    EXPECT_NE(log.find("runs past the end"), std::string::npos) << log;
    EXPECT_NE(log.find("profile1.dat.damaged"), std::string::npos) << log;

    // A second damaged copy does not replace the first one kept.
    ProfileManager::Instance(false);
    WriteBytes(ProfileFile(1), Bytes{1});
    ProfileManager::Instance();
    EXPECT_EQ(ReadBytes(ProfileFile(1).string() + ".damaged"), damaged);
    EXPECT_EQ(ReadBytes(ProfileFile(1).string() + ".damaged.1"), Bytes{1});
}

TEST_F(ProfileTest, DamageIsSetAsideAndWhatCanStillBeTrustedIsKept)
{
    // A profile of the largest size allowed: the sample's head, as many level entries as
    // fill it up, the fullscreen byte and an empty achievements block.
    const auto largest = [] {
        Bytes b = SampleHead();
        const uint32_t entries = (PlayerProfile::MaxFileBytes - static_cast<uint32_t>(b.size()) - 9) / 5;
        PutU32(b, entries);
        for (uint32_t i = 0; i < entries; ++i) {
            b.push_back(0);
            PutU32(b, 100 + i);
        }
        b.push_back(0);
        PutU32(b, 0);
        return b;
    };
    struct Case {
        const char* what;
        std::function<Bytes()> bytes;
        bool setAside;
        std::string why;
        std::function<void(const PlayerProfile&)> check;
    } const cases[] = {
        {"damage inside the achievements block keeps every other field",
         [] {
             Bytes b = SampleFields;
             PutU32(b, 2);
             PutString(b, "Nerd");
             b.push_back(1);
             PutU32(b, 0);
             PutU32(b, 50);
             b.push_back('Z');
             return b;
         },
         true, "achievement name's length 50 runs past the end",
         [](const PlayerProfile& p) {
             EXPECT_EQ(p.name, "Ann");
             EXPECT_EQ(p.points, 100000);
             EXPECT_EQ(p.soundVolume, 0.5f);
             EXPECT_EQ(p.levels.levels[0].bestScore, 1500);
             EXPECT_EQ(p.levels.levels[3].locked, 0);
             EXPECT_EQ(p.fullscreen, 0);
             EXPECT_FALSE(p.achievements.Find<AchievementNerd>()->achieved);
         }},
        {"cut short right after the name: the name stands", [] { return NameOnly("v3", "Bo"); }, true,
         "the file ends before the end of the options and scores",
         [](const PlayerProfile& p) {
             EXPECT_EQ(p.name, "Bo");
             EXPECT_EQ(p.points, 0);
             EXPECT_EQ(p.levels.levels[3].locked, 1);
         }},
        {"cut short inside the level progress: the name, options and scores stand",
         [] { return SampleUpTo(SampleHead().size() + 4 + 12); }, true, "the level count 7 runs past the end",
         [](const PlayerProfile& p) {
             EXPECT_EQ(p.name, "Ann");
             EXPECT_EQ(p.points, 100000);
             EXPECT_EQ(p.zenUnlocked, 1);
             EXPECT_EQ(p.levels.levels[0].bestScore, 0);
             EXPECT_EQ(p.fullscreen, 1);
         }},
        {"a profile of the largest size loads", largest, false, "",
         [](const PlayerProfile& p) {
             EXPECT_EQ(p.name, "Ann");
             EXPECT_EQ(p.levels.levels[6].bestScore, 106);
             EXPECT_EQ(p.fullscreen, 0);
         }},
        {"one byte more is damage",
         [&] {
             Bytes b = largest();
             b.push_back(0);
             return b;
         },
         true, vadu::format("larger than %u bytes", PlayerProfile::MaxFileBytes).c_str(),
         [](const PlayerProfile& p) {
             EXPECT_EQ(p.name, "Player");
             EXPECT_EQ(p.points, 0);
             EXPECT_EQ(p.levels.levels[0].bestScore, 0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(UserFolder());
        log_->take();
        const Bytes bytes = c.bytes();
        WriteBytes(ProfileFile(0), bytes);
        ProfileManager* manager = ProfileManager::Instance();
        ASSERT_EQ(manager->GetProfileCount(), 1);
        c.check(*manager->current);
        EXPECT_EQ(fs::exists(ProfileFile(0).string() + ".damaged"), c.setAside);
        if (c.setAside) {
            // The bytes are kept; what the game kept stands in the slot, whole.
            EXPECT_EQ(ReadBytes(ProfileFile(0).string() + ".damaged"), bytes);
            PlayerProfile onDisk(0);
            ProfileMemoryStream stream(ReadBytes(ProfileFile(0)));
            EXPECT_EQ(onDisk.Read(stream), Result::Intact);
            c.check(onDisk);
            EXPECT_NE(LogText().find(c.why), std::string::npos) << LogText();
        } else {
            EXPECT_EQ(ReadBytes(ProfileFile(0)), bytes);
        }
        ProfileManager::Instance(false);
    }
}

TEST_F(ProfileTest, VolumesOutOfRangeOrNotNumbersReadSafelyAndAreNotSavedAgain)
{
    const struct {
        float stored;
        float read;
    } values[] = {{std::nanf(""), 1.0f}, {INFINITY, 1.0f}, {-INFINITY, 1.0f}, {-1.0f, 0.0f},
                  {2.0f, 1.0f},          {3e38f, 1.0f},    {-3e38f, 0.0f},    {0.0f, 0.0f}};
    // Where the sound and the music volume stand in the file.
    for (const size_t offset : {size_t{14}, size_t{18}}) {
        for (const auto value : values) {
            SCOPED_TRACE(std::to_string(offset) + ": " + std::to_string(value.stored));
            fs::remove_all(UserFolder());
            Bytes bytes = SampleFile;
            std::memcpy(bytes.data() + offset, &value.stored, sizeof value.stored);
            WriteBytes(ProfileFile(0), bytes);
            ProfileManager* manager = ProfileManager::Instance();
            const PlayerProfile& profile = *manager->current;
            EXPECT_EQ(offset == 14 ? profile.soundVolume : profile.musicVolume, value.read);
            // The other one and the fields after them are read as they are.
            EXPECT_EQ(offset == 14 ? profile.musicVolume : profile.soundVolume, offset == 14 ? 0.25f : 0.5f);
            EXPECT_EQ(profile.points, 100000);
            EXPECT_EQ(profile.fullscreen, 0);
            manager->ApplySoundSettings();
            EXPECT_EQ(SoundManager::Instance()->soundVolume, offset == 14 ? value.read : 0.5f);
            ASSERT_TRUE(manager->Save());
            const Bytes saved = ReadBytes(ProfileFile(0));
            ASSERT_GT(saved.size(), offset + 4);
            float written = 0.0f;
            std::memcpy(&written, saved.data() + offset, sizeof written);
            EXPECT_EQ(written, value.read);
            ProfileManager::Instance(false);
        }
    }
}

TEST_F(ProfileTest, CreateMakesTheNewProfileCurrentUpToFiveAndWritesEachAtOnce)
{
    ProfileManager* manager = ProfileManager::Instance();
    for (int i = 0; i < ProfileManager::MaxProfiles; ++i) {
        EXPECT_EQ(manager->CreateProfile(vadu::format("P%d", i)), i);
        EXPECT_EQ(manager->GetCurrentIndex(), i);
        // On disk before anything else runs, and named current by the settings.
        EXPECT_EQ(NamesOnDisk({ProfileFile(i)}), (std::vector<std::string>{"P" + std::to_string(i)}));
        EXPECT_EQ(ReadBytes(SettingsFile()), (Bytes{uint8_t(i), 0, 0, 0}));
    }
    EXPECT_EQ(manager->CreateProfile("Sixth"), -1);
    EXPECT_EQ(manager->GetProfileCount(), 5);
    EXPECT_EQ(manager->current->name, "P4");
    EXPECT_FALSE(fs::exists(ProfileFile(5)));
    EXPECT_TRUE(manager->HasName("P2"));
    EXPECT_FALSE(manager->HasName("p2"));

    // The first one chosen again, then the game ends: all five come back.
    manager->SetCurrent(0);
    ASSERT_TRUE(manager->Save());
    ProfileManager::Instance(false);
    manager = ProfileManager::Instance();
    EXPECT_EQ(LoadedNames(*manager), (std::vector<std::string>{"P0", "P1", "P2", "P3", "P4"}));
    EXPECT_EQ(manager->GetCurrentIndex(), 0);
}

TEST_F(ProfileTest, DeleteRewritesTheFilesAfterTheRemovedOneAndDropsTheLast)
{
    struct Case {
        const char* what;
        int count;
        int current;
        int remove;
        std::vector<std::string> onDisk;
        std::string currentAfter;
    } const cases[] = {
        {"the middle one of three", 3, 2, 1, {"A", "C"}, "C"},
        {"the current one", 3, 0, 0, {"B", "C"}, "B"},
        {"the last one", 3, 1, 2, {"A", "B"}, "B"},
        {"index -1 removes nothing", 3, 1, -1, {"A", "B", "C"}, "B"},
        {"an index past the list removes nothing", 3, 1, 3, {"A", "B", "C"}, "B"},
        {"the only profile stays", 1, 0, 0, {"A"}, "A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(UserFolder());
        for (int i = 0; i < c.count; ++i)
            WriteBytes(ProfileFile(i), ProfileBytes(std::string(1, char('A' + i))));
        ProfileManager* manager = ProfileManager::Instance();
        manager->SetCurrent(c.current);
        manager->DeleteProfile(c.remove);
        ASSERT_EQ(manager->GetProfileCount(), static_cast<int>(c.onDisk.size()));
        EXPECT_EQ(manager->current->name, c.currentAfter.c_str());
        for (size_t i = 0; i < c.onDisk.size(); ++i) {
            PlayerProfile read(0);
            ProfileMemoryStream stream(ReadBytes(ProfileFile(static_cast<int>(i))));
            EXPECT_EQ(read.Read(stream), PlayerProfile::ReadResult::Intact);
            EXPECT_EQ(read.name, c.onDisk[i].c_str());
            EXPECT_EQ(manager->profiles[i]->filePath, GetProfileFilePath(static_cast<int>(i)));
        }
        EXPECT_FALSE(fs::exists(ProfileFile(static_cast<int>(c.onDisk.size()))));
        ProfileManager::Instance(false);
    }
}

TEST_F(ProfileTest, SaveTakesTheSoundSwitchesAndApplyPushesTheProfilesOptions)
{
    WriteBytes(ProfileFile(0), ProfileBytes("A"));
    ProfileManager* manager = ProfileManager::Instance();
    manager->current->soundVolume = 0.3f;
    manager->current->soundOn = 0;
    manager->current->musicOn = 1;
    SoundManager* sound = SoundManager::Instance();
    sound->musicVolume = 0.6f;

    manager->ApplySoundSettings();
    EXPECT_FLOAT_EQ(sound->soundVolume, 0.3f);
    EXPECT_EQ(sound->soundOn, 0);
    EXPECT_EQ(sound->musicOn, 1);
    EXPECT_FLOAT_EQ(static_cast<float>(sound->get_volume()), 0.6f);
    sound->Pause();
    manager->ApplySoundSettings();
    EXPECT_EQ(sound->get_volume(), 0.0);

    sound->soundOn = 1;
    sound->musicOn = 0;
    ASSERT_TRUE(manager->Save());
    ProfileManager::Instance(false);
    manager = ProfileManager::Instance();
    EXPECT_EQ(manager->current->soundOn, 1);
    EXPECT_EQ(manager->current->musicOn, 0);
    EXPECT_FLOAT_EQ(manager->current->soundVolume, 0.3f);
    EXPECT_EQ(ReadBytes(SettingsFile()), (Bytes{0, 0, 0, 0}));
}

TEST_F(ProfileTest, AFailedWriteIsLoggedAndReported)
{
    ProfileManager* manager = ProfileManager::Instance();
    platform::set_write_fault(platform::WriteStep::write, platform::WriteFault::fail);
    manager->CreateProfile("A");
    EXPECT_FALSE(manager->Save());
    EXPECT_NE(LogText().find("Profile not saved"), std::string::npos) << LogText();
    EXPECT_FALSE(fs::exists(ProfileFile(0)));
}

// The player hears once a run that progress cannot be saved: which file and the system's
// reason. Every failure is still logged.
TEST_F(ProfileTest, TheFirstFailedWriteOfARunIsToldWithItsFileAndReason)
{
    std::vector<std::string> told;
    ProfileManager::SetUnsavedNotice(
        [&](const vadu::String& reason) { told.emplace_back(reason.c_str(), reason.size()); });
    ProfileManager* manager = ProfileManager::Instance();
    manager->CreateProfile("A");
    EXPECT_TRUE(told.empty());

    platform::set_write_fault(platform::WriteStep::write, platform::WriteFault::fail, 0);
    EXPECT_FALSE(manager->Save());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("profile0.dat"), std::string::npos) << told[0];
    EXPECT_NE(told[0].find(std::strerror(EIO)), std::string::npos) << told[0];

    platform::set_write_fault(platform::WriteStep::rename, platform::WriteFault::fail, 1);
    EXPECT_FALSE(manager->Save());
    EXPECT_EQ(told.size(), 1u);
    EXPECT_NE(LogText().find("Settings not saved"), std::string::npos) << LogText();

    // A new run tells again.
    platform::set_write_fault(platform::WriteStep::rename, platform::WriteFault::fail, 1);
    ProfileManager::SetUnsavedNotice(
        [&](const vadu::String& reason) { told.emplace_back(reason.c_str(), reason.size()); });
    EXPECT_FALSE(manager->Save());
    ASSERT_EQ(told.size(), 2u);
    EXPECT_NE(told[1].find("settings.dat"), std::string::npos) << told[1];
    ProfileManager::SetUnsavedNotice(nullptr);
}

TEST_F(ProfileTest, ZenOpensWhenBoughtOrWhenTheStandardTotalReachesItsPrice)
{
    PlayerProfile profile(0);
    EXPECT_FALSE(profile.IsZenUnlocked());
    profile.totalScoreStandard = gameplay::Balance::Instance().ZenPrice - 1;
    EXPECT_FALSE(profile.IsZenUnlocked());
    profile.totalScoreStandard += 1;
    EXPECT_TRUE(profile.IsZenUnlocked());
    profile.totalScoreStandard = 0;
    profile.zenUnlocked = 1;
    EXPECT_TRUE(profile.IsZenUnlocked());
}

} // namespace

namespace {

using namespace shell_data_test;

TEST_F(ShellDataTest, ThePerUserFolderIsMadeOnceWithTheGamesSpelling)
{
    ASSERT_TRUE(Settings::CreateUserDataFolder());
    EXPECT_TRUE(fs::is_directory(UserFolder()));
    EXPECT_TRUE(Settings::CreateUserDataFolder());
    EXPECT_EQ(std::distance(fs::directory_iterator(user_), fs::directory_iterator()), 1);

    // A folder an older run made in lower case is used as it is.
    fs::remove_all(user_ / "Kembra Entertainment");
    fs::create_directories(user_ / "kembra entertainment" / "quillo tovra");
    EXPECT_TRUE(Settings::CreateUserDataFolder());
    EXPECT_EQ(std::distance(fs::directory_iterator(user_), fs::directory_iterator()), 1);
    ProfileManager::Instance()->CreateProfile("Ann");
    ASSERT_TRUE(ProfileManager::Instance()->Save());
    EXPECT_TRUE(fs::exists(user_ / "kembra entertainment" / "quillo tovra" / "profile0.dat"));
}

} // namespace
