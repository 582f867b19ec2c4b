// The demo as a program, headless: the clock runs in frame time and every frame step
// loads what the background loader brought, so the snapshots of a run are the same every
// time. Frames 1, 60 and 120 are compared byte for byte with golden/demo_frame_*.png
// (regenerate with QUILLO_UPDATE_GOLDEN=1, see golden/README.md).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "support/golden.h"
#include "support/temp_folder.h"

namespace headless_run_test_file {

namespace fs = std::filesystem;

std::string quoted(const std::string& text)
{
    return test_support::shell_quoted(text);
}

TEST(HeadlessRun, TheDemoDrawsItsGoldenFramesEveryRun)
{
    test_support::TempFolder folder("quillo-headless-run");
    ASSERT_FALSE(folder.root().empty());
    const std::string snapshots = folder.at("frames");
    // A home of its own: no saved video settings choose another mode.
    const std::string command = "env -u QUILLO_FIXED_STEP -u QUILLO_SNAPSHOT_EVERY QUILLO_HEADLESS=1 QUILLO_FRAMES=120"
                                " QUILLO_SNAPSHOTS=" + quoted(snapshots) + " XDG_DATA_HOME=" + quoted(folder.at("home")) +
                                " " + quoted(QUILLO_DEMO_PROGRAM) + " " + quoted(QUILLO_PROGRAM_FOLDER) + " > " +
                                quoted(folder.at("output.txt")) + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    for (const int number : {1, 60, 120}) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%05d.png", number);
        platform::gfx::PresentedFrame frame;
        ASSERT_TRUE(golden::read_png(fs::path(snapshots) / name, frame)) << name;
        std::snprintf(name, sizeof name, "demo_frame_%03d", number);
        golden::expect_frame(frame, fs::path(__FILE__).parent_path() / "golden", name);
    }
}

// The game itself as `make run` starts it, headless: its automatic close asks the quit
// question and answers it yes, the run ends with status 0 and the settings are written
// into the one per-user folder.
TEST(HeadlessRun, TheGameClosesItselfWithStatusZeroAndKeepsItsSettings)
{
    test_support::TempFolder folder("quillo-game-run");
    ASSERT_FALSE(folder.root().empty());
    const std::string command = "env QUILLO_HEADLESS=1 QUILLO_FRAMES=20 XDG_DATA_HOME=" + quoted(folder.at("home")) +
                                " " + quoted(std::string(QUILLO_PROGRAM_FOLDER) + "/quillo") + " > " +
                                quoted(folder.at("output.txt")) + " 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << command;
    EXPECT_EQ(WEXITSTATUS(status), 0) << command;
    EXPECT_TRUE(fs::exists(fs::path(folder.at("home")) / "Kembra Entertainment" / "Quillo Tovra" / "settings.dat"));
    // One per-user folder, spelled as the game spells it.
    std::vector<std::string> top;
    for (const auto& entry : fs::directory_iterator(folder.at("home")))
        top.push_back(entry.path().filename().string());
    EXPECT_EQ(top, std::vector<std::string>{"Kembra Entertainment"});
}

} // namespace headless_run_test_file
