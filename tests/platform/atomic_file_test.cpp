// The crash-safe writer: whatever step fails or is cut short by the process ending there,
// the target holds its old content or the new one, never anything else.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/files.h"
#include "platform/memory_folder.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

class AtomicFile : public ::testing::Test {
protected:
    void TearDown() override { platform::clear_write_fault(); }
    test_support::TempFolder temp_{"quillo-atomic"};
};

TEST_F(AtomicFile, EveryStepFailedOrKilledLeavesTheOldOrTheNewContent)
{
    const std::string oldText = "old content";
    const std::string newText = "the new content, longer than the old";
    const fs::path target = temp_.root() / "settings.dat";
    for (platform::WriteStep step : platform::all_write_steps) {
        for (platform::WriteFault fault : {platform::WriteFault::fail, platform::WriteFault::kill}) {
            SCOPED_TRACE(std::string(platform::write_step_name(step)) +
                         (fault == platform::WriteFault::kill ? " killed" : " failed"));
            Write(target, oldText);
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                platform::set_write_fault(step, fault);
                const bool written = platform::write_file_atomically(target.string(), newText.data(), newText.size());
                ::_exit(written ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status));
            const std::string after = Read(target);
            EXPECT_TRUE(after == oldText || after == newText) << after;
            if (fault == platform::WriteFault::kill) {
                EXPECT_EQ(WEXITSTATUS(status), 77);
            } else {
                // Reported, and nothing left behind but the target.
                EXPECT_EQ(WEXITSTATUS(status), 1);
                EXPECT_FALSE(fs::exists(target.string() + ".tmp"));
            }
            // Before the rename the old content must stand; from it on, the new.
            const bool renamed = step == platform::WriteStep::sync_folder;
            EXPECT_EQ(after, renamed ? newText : oldText);
            // A temporary left by a crash does not stop the next write.
            EXPECT_TRUE(platform::write_file_atomically(target.string(), newText.data(), newText.size()));
            EXPECT_EQ(Read(target), newText);
        }
    }
}

TEST_F(AtomicFile, AFailureNamesTheStepAndTheFile)
{
    const fs::path target = temp_.root() / "profile0.dat";
    Write(target, "old");
    platform::set_write_fault(platform::WriteStep::sync, platform::WriteFault::fail);
    std::string error;
    EXPECT_FALSE(platform::write_file_atomically(target.string(), "new", 3, &error));
    EXPECT_NE(error.find("sync"), std::string::npos) << error;
    EXPECT_NE(error.find("profile0.dat"), std::string::npos) << error;
    EXPECT_EQ(Read(target), "old");

    // A folder where the file should be cannot be replaced.
    platform::clear_write_fault();
    fs::create_directories(temp_.root() / "taken");
    EXPECT_FALSE(platform::write_file_atomically((temp_.root() / "taken").string(), "x", 1, &error));
    EXPECT_TRUE(fs::is_directory(temp_.root() / "taken"));
}

TEST_F(AtomicFile, MissingFoldersAreMadeWithTheGivenSpellingAndFoundIgnoringCase)
{
    const fs::path target = temp_.root() / "Kembra Entertainment" / "Quillo Tovra" / "settings.dat";
    ASSERT_TRUE(platform::write_file_atomically(target.string(), "1234", 4));
    EXPECT_EQ(Read(target), "1234");
    // A lower-cased path leads to the same folder; no second spelling appears.
    const fs::path lower = temp_.root() / "kembra entertainment" / "quillo tovra" / "profile0.dat";
    ASSERT_TRUE(platform::write_file_atomically(lower.string(), "p", 1));
    EXPECT_EQ(Read(temp_.root() / "Kembra Entertainment" / "Quillo Tovra" / "profile0.dat"), "p");
    EXPECT_FALSE(fs::exists(temp_.root() / "kembra entertainment"));
}

// A folder made for a file is only an entry of its parent until the parent is synced.
TEST_F(AtomicFile, EveryFolderMadeOnTheWayIsSyncedInItsParent)
{
    const std::string root = temp_.root().string();
    const std::string game = root + "/Kembra Entertainment";
    const std::string user = game + "/Quillo Tovra";
    const struct {
        const char* what;
        std::vector<std::string> existing;
        std::vector<std::string> synced;
    } cases[] = {
        {"every folder new", {}, {root, game, user}},
        {"the first one there", {game}, {game, user}},
        {"all of them there", {game, user}, {user}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(game);
        for (const std::string& folder : c.existing)
            fs::create_directory(folder);
        std::vector<std::string> journal;
        platform::record_folder_syncs(&journal);
        const bool written = platform::write_file_atomically(user + "/profile0.dat", "p", 1);
        platform::record_folder_syncs(nullptr);
        ASSERT_TRUE(written);
        EXPECT_EQ(Read(user + "/profile0.dat"), "p");
        // The new folders' parents in the order made, then the file's own folder.
        EXPECT_EQ(journal, c.synced);
    }

    // Made without a file, as the per-user folder is.
    fs::remove_all(game);
    std::vector<std::string> journal;
    platform::record_folder_syncs(&journal);
    EXPECT_TRUE(platform::create_folders_durably(user));
    platform::record_folder_syncs(nullptr);
    EXPECT_TRUE(fs::is_directory(user));
    EXPECT_EQ(journal, (std::vector<std::string>{root, game}));
    // A file where a folder should be.
    Write(user + "/profile0.dat", "p");
    std::string error;
    EXPECT_FALSE(platform::create_folders_durably(user + "/profile0.dat/below", &error));
    EXPECT_NE(error.find("profile0.dat"), std::string::npos) << error;
}

TEST_F(AtomicFile, SettingAsideNeverOverwritesAnEarlierCopy)
{
    const fs::path file = temp_.root() / "profile1.dat";
    std::string kept[3];
    for (int round = 0; round < 3; ++round) {
        Write(file, "damaged " + std::to_string(round));
        kept[round] = platform::set_file_aside(file.string(), ".damaged");
        EXPECT_FALSE(fs::exists(file));
    }
    EXPECT_EQ(kept[0], file.string() + ".damaged");
    EXPECT_EQ(kept[1], file.string() + ".damaged.1");
    EXPECT_EQ(kept[2], file.string() + ".damaged.2");
    for (int round = 0; round < 3; ++round)
        EXPECT_EQ(Read(kept[round]), "damaged " + std::to_string(round));

    std::string error;
    EXPECT_EQ(platform::set_file_aside((temp_.root() / "missing").string(), ".damaged", &error), "");
    EXPECT_FALSE(error.empty());
}

TEST_F(AtomicFile, DurableDeleteRemovesAndAcceptsAMissingFile)
{
    const fs::path file = temp_.root() / "profile2.dat";
    Write(file, "x");
    EXPECT_TRUE(platform::delete_file_durably(file.string()));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(platform::delete_file_durably(file.string()));

    Write(file, "x");
    platform::set_write_fault(platform::WriteStep::rename, platform::WriteFault::fail);
    EXPECT_FALSE(platform::delete_file_durably(file.string()));
    EXPECT_TRUE(fs::exists(file));
}

// A memory folder: the files below it are written, read, set aside and deleted in memory,
// names matching ignoring case; nothing reaches the disk, and paths elsewhere still do.
TEST_F(AtomicFile, AMemoryFolderKeepsItsFilesOffTheDisk)
{
    const std::string folder = (temp_.root() / "Memory").string();
    platform::MemoryFolder memory;
    memory.folder = folder;
    platform::set_memory_folder(&memory);
    const auto read = [](const std::string& path) -> std::string {
        FILE* file = platform::open_file(path, "rb");
        if (!file)
            return "(none)";
        std::string text;
        char buffer[64];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
            text.append(buffer, got);
        std::fclose(file);
        return text;
    };
    EXPECT_TRUE(platform::create_folders_durably(folder + "/Sub"));
    ASSERT_TRUE(platform::write_file_atomically(folder + "/Sub/Profile0.dat", "abc", 3));
    EXPECT_EQ(read(folder + "/sub/profile0.dat"), "abc");
    ASSERT_TRUE(platform::write_file_atomically(folder + "/Sub/empty.dat", "", 0));
    EXPECT_EQ(read(folder + "/Sub/empty.dat"), "");
    EXPECT_EQ(platform::open_file(folder + "/Sub/Profile0.dat", "wb"), nullptr) << "written only whole";

    EXPECT_EQ(platform::set_file_aside(folder + "/Sub/Profile0.dat", ".damaged"), folder + "/Sub/Profile0.dat.damaged");
    ASSERT_TRUE(platform::write_file_atomically(folder + "/Sub/Profile0.dat", "x", 1));
    EXPECT_EQ(platform::set_file_aside(folder + "/Sub/Profile0.dat", ".damaged"),
              folder + "/Sub/Profile0.dat.damaged.1");
    EXPECT_EQ(read(folder + "/Sub/Profile0.dat.damaged"), "abc");
    EXPECT_EQ(read(folder + "/Sub/Profile0.dat"), "(none)");
    EXPECT_TRUE(platform::delete_file_durably(folder + "/Sub/Profile0.dat.damaged.1"));
    EXPECT_EQ(read(folder + "/Sub/Profile0.dat.damaged.1"), "(none)");

    // Beside the memory folder, the disk as before.
    ASSERT_TRUE(platform::write_file_atomically((temp_.root() / "disk.dat").string(), "d", 1));
    platform::set_memory_folder(nullptr);
    EXPECT_FALSE(fs::exists(folder)) << "the memory folder reached the disk";
    EXPECT_EQ(Read(temp_.root() / "disk.dat"), "d");
}

} // namespace
