// The game as a program, headless, up to its main menu: on a first start the menu opens
// with the create window and "Player" typed. The frame is compared byte for byte with
// golden/menus_first_start.png (regenerate with QUILLO_UPDATE_GOLDEN=1).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/golden.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

std::string quoted(const std::string& text)
{
    std::string result = "'";
    for (char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

TEST(MenusGolden, AFirstStartShowsTheMainMenuAskingForAName)
{
    test_support::TempFolder folder("quillo-menus-run");
    ASSERT_FALSE(folder.root().empty());
    const std::string snapshots = folder.at("frames");
    // The splash takes 7 s (420 frames at the fixed step); the loading picture a few more.
    // A 960 x 640 desktop keeps the full-screen frames small.
    const std::string command = "env -u QUILLO_FIXED_STEP QUILLO_HEADLESS=1 QUILLO_DESKTOP=960x640 QUILLO_FRAMES=480"
                                " QUILLO_SNAPSHOT_EVERY=480 QUILLO_SNAPSHOTS=" + quoted(snapshots) +
                                " XDG_DATA_HOME=" + quoted(folder.at("home")) + " " +
                                quoted(std::string(QUILLO_PROGRAM_FOLDER) + "/quillo") + " > " +
                                quoted(folder.at("output.txt")) + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    platform::gfx::PresentedFrame frame;
    ASSERT_TRUE(golden::read_png(fs::path(snapshots) / "frame-00480.png", frame));
    golden::expect_frame(frame, fs::path(__FILE__).parent_path().parent_path() / "golden", "menus_first_start");
}

} // namespace
