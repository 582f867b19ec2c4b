// Saving and deleting profiles with every write step failing, or the process ending there
// in a forked child: each file afterwards holds its old content or its new one, the
// settings never name a profile that is not on disk, and no profile is ever lost.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>

#include "shell_data_support.h"
#include "sources/Screens/store_manager.h"
#include "sources/Screens/store_screen.h"

namespace {

using namespace shell_data_test;

using Disk = std::map<std::string, std::optional<Bytes>>;

class ProfileCrashTest : public ShellDataTest {
protected:
    // The named files of the per-user folder; nothing for a missing one.
    Disk Snapshot(const std::vector<std::string>& names) const
    {
        Disk disk;
        for (const std::string& name : names) {
            const fs::path path = UserFolder() / name;
            disk[name] = fs::exists(path) ? std::optional<Bytes>(ReadBytes(path)) : std::nullopt;
        }
        return disk;
    }

    void Restore(const Disk& disk) const
    {
        fs::remove_all(UserFolder());
        for (const auto& [name, bytes] : disk)
            if (bytes)
                WriteBytes(UserFolder() / name, *bytes);
    }

    // Runs the operation in a child with the fault armed; the child's exit status.
    int RunInChild(const std::function<void()>& operation, platform::WriteStep step, platform::WriteFault fault,
                   int skip)
    {
        const pid_t child = ::fork();
        if (child == 0) {
            platform::set_write_fault(step, fault, skip);
            operation();
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Every step, both faults, and the fault striking at each of the operation's writes.
    void CheckEveryFault(const std::vector<std::string>& files, const std::function<void()>& arrange,
                         const std::function<void()>& operation,
                         const std::function<void(const Disk&)>& checkConsistent)
    {
        fs::remove_all(UserFolder());
        arrange();
        const Disk before = Snapshot(files);
        ASSERT_EQ(RunInChild(operation, platform::WriteStep::create, platform::WriteFault::none, 0), 0);
        const Disk after = Snapshot(files);
        ASSERT_NE(before, after);

        for (platform::WriteStep step : platform::all_write_steps) {
            for (platform::WriteFault fault : {platform::WriteFault::fail, platform::WriteFault::kill}) {
                for (int skip = 0; skip < 4; ++skip) {
                    SCOPED_TRACE(std::string(platform::write_step_name(step)) +
                                 (fault == platform::WriteFault::kill ? " killed" : " failed") + " at write " +
                                 std::to_string(skip));
                    Restore(before);
                    const int status = RunInChild(operation, step, fault, skip);
                    EXPECT_TRUE(status == 0 || status == 77) << status;
                    const Disk now = Snapshot(files);
                    for (const std::string& name : files)
                        EXPECT_TRUE(now.at(name) == before.at(name) || now.at(name) == after.at(name)) << name;
                    checkConsistent(now);
                }
            }
        }
    }

    std::vector<std::string> LoadedNames()
    {
        std::vector<std::string> names;
        ProfileManager* manager = ProfileManager::Instance();
        for (const auto& profile : manager->profiles)
            names.emplace_back(profile->name.c_str(), profile->name.size());
        ProfileManager::Instance(false);
        return names;
    }
};

// A new player is written as soon as its name is confirmed, with the settings naming it;
// the other players' files are not touched.
TEST_F(ProfileCrashTest, MakingAPlayerWritesItAndTheSettings)
{
    const std::vector<std::string> files = {"profile0.dat", "profile1.dat", "settings.dat"};
    auto arrange = [] {
        ProfileManager* manager = ProfileManager::Instance();
        manager->CreateProfile("Ann");
        manager->current->points = 7;
        ASSERT_TRUE(manager->Save());
        ProfileManager::Instance(false);
    };
    auto operation = [] {
        ProfileManager* manager = ProfileManager::Instance();
        manager->profiles[0]->points = 8;
        manager->CreateProfile("Bob");
    };
    CheckEveryFault(files, arrange, operation, [&](const Disk& disk) {
        // The settings name profile 1 only once its file is there.
        if (disk.at("settings.dat") == Bytes{1, 0, 0, 0}) {
            EXPECT_TRUE(disk.at("profile1.dat").has_value());
        }
        const std::vector<std::string> names = LoadedNames();
        ASSERT_FALSE(names.empty());
        EXPECT_EQ(names[0], "Ann");
        if (disk.at("profile1.dat")) {
            EXPECT_EQ(names, (std::vector<std::string>{"Ann", "Bob"}));
        }
    });
}

// A purchase is written when it is granted: the player's file holds it or not, and nothing
// held before is lost.
TEST_F(ProfileCrashTest, APurchaseIsWrittenWhenGranted)
{
    WriteGameFile("data/store/store.xml", R"(<Store><Purchase Identifier="like"/>
        <Purchase Identifier="big" Points="20000" ZenUnlock="true"/></Store>)");
    const std::vector<std::string> files = {"profile0.dat", "settings.dat"};
    auto arrange = [] {
        ProfileManager* manager = ProfileManager::Instance();
        manager->CreateProfile("Ann");
        manager->current->points = 7;
        manager->current->levels.levels[0].bestScore = 900;
        ASSERT_TRUE(manager->Save());
        ProfileManager::Instance(false);
    };
    auto operation = [] {
        ProfileManager::Instance();
        StoreScreen::ApplyPurchase("big");
    };
    CheckEveryFault(files, arrange, operation, [&](const Disk&) {
        ProfileManager* manager = ProfileManager::Instance();
        ASSERT_EQ(manager->GetProfileCount(), 1);
        const PlayerProfile& ann = *manager->current;
        EXPECT_EQ(ann.name, "Ann");
        EXPECT_EQ(ann.levels.levels[0].bestScore, 900);
        EXPECT_TRUE((ann.points == 7 && !ann.zenUnlocked) || (ann.points == 20007 && ann.zenUnlocked)) << ann.points;
        ProfileManager::Instance(false);
    });
    // Without a fault the child ends right after the purchase, with no save at exit: the
    // purchase is kept all the same.
    fs::remove_all(UserFolder());
    arrange();
    ASSERT_EQ(RunInChild(operation, platform::WriteStep::create, platform::WriteFault::none, 0), 0);
    ProfileManager* manager = ProfileManager::Instance();
    EXPECT_EQ(manager->current->points, 20007);
    EXPECT_TRUE(manager->current->zenUnlocked);
    StoreManager::ResetInstance();
}

TEST_F(ProfileCrashTest, DeletingAProfileLosesNoOther)
{
    const std::vector<std::string> files = {"profile0.dat", "profile1.dat", "profile2.dat", "settings.dat"};
    auto arrange = [] {
        ProfileManager* manager = ProfileManager::Instance();
        for (const char* name : {"Ann", "Bob", "Cid"}) {
            manager->CreateProfile(name);
            ASSERT_TRUE(manager->Save());
        }
        ProfileManager::Instance(false);
    };
    auto operation = [] {
        ProfileManager* manager = ProfileManager::Instance();
        manager->DeleteProfile(0);
        manager->Save();
    };
    CheckEveryFault(files, arrange, operation, [&](const Disk&) {
        const std::vector<std::string> names = LoadedNames();
        for (const char* kept : {"Bob", "Cid"})
            EXPECT_NE(std::find(names.begin(), names.end(), kept), names.end()) << kept;
    });
}

} // namespace
