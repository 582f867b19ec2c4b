// The menus as the player sees them, frame for frame: the game as a program up to its first
// main menu, and the real screens driven in-process through the headless window (clicks
// on the controls' nodes, typed characters), each frame compared byte for byte with
// golden/<name>.png (regenerate with QUILLO_UPDATE_GOLDEN=1). Headless runs step a fixed
// clock and wait for their pictures, so the frames repeat exactly.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "../shell_app_support.h"
#include "game/controls/control.h"
#include "sources/Screens/achievements_screen.h"
#include "sources/Screens/credits_screen.h"
#include "sources/Screens/leaderboards_screen.h"
#include "sources/Screens/level_select_screen.h"
#include "sources/Screens/loading_screen.h"
#include "sources/Screens/main_menu_screen.h"
#include "sources/Screens/splash_screen.h"
#include "sources/Screens/store_screen.h"
#include "sources/achievements.h"
#include "sources/gameplay/game_screen.h"
#include "sources/gameplay/level.h"
#include "sources/profile_manager.h"
#include "support/golden.h"
#include "support/temp_folder.h"
#include "vadu/font/text.h"

namespace menus_golden_test_file {

namespace fs = std::filesystem;

std::string quoted(const std::string& text)
{
    return test_support::shell_quoted(text);
}

fs::path golden_folder()
{
    return fs::path(__FILE__).parent_path().parent_path() / "golden";
}

// The picture reaches every edge of the screen: the outer columns and rows look like
// their neighbours one step inwards (no black line where the background stops short).
// A few pixels may differ where the edge of a hill or a drifting cloud crosses.
void expect_edges_drawn(const platform::gfx::PresentedFrame& frame)
{
    const auto differs = [&frame](uint32_t x, uint32_t y, uint32_t nx, uint32_t ny) {
        const uint8_t* a = &frame.pixels[(size_t{y} * frame.width + x) * 4];
        const uint8_t* b = &frame.pixels[(size_t{ny} * frame.width + nx) * 4];
        for (int c = 0; c < 3; ++c) {
            if (std::abs(int{a[c]} - int{b[c]}) > 3)
                return true;
        }
        return false;
    };
    int left = 0, right = 0, top = 0, bottom = 0;
    for (uint32_t y = 0; y < frame.height; ++y) {
        left += differs(0, y, 1, y);
        right += differs(frame.width - 1, y, frame.width - 2, y);
    }
    for (uint32_t x = 0; x < frame.width; ++x) {
        top += differs(x, 0, x, 1);
        bottom += differs(x, frame.height - 1, x, frame.height - 2);
    }
    EXPECT_LE(left, 24) << "pixels of the left edge unlike their neighbours";
    EXPECT_LE(right, 24) << "pixels of the right edge unlike their neighbours";
    EXPECT_LE(top, 24) << "pixels of the top edge unlike their neighbours";
    EXPECT_LE(bottom, 24) << "pixels of the bottom edge unlike their neighbours";
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
    expect_edges_drawn(frame);
    golden::expect_frame(frame, golden_folder(), "menus_first_start");
}

constexpr double Step = 1.0 / 60.0;

// The real screens in-process, in the game's own 960 x 640 window. Frames are updated
// without drawing (the software rasterizer is slow), except the loading picture, which
// moves on only once drawn, and the frames compared.
class MenuScreensGolden : public shell_test::ShellAppTest {
protected:
    void step() override
    {
        pump_messages();
        app_->Update(Step);
        if (current_backend<LoadingScreen>())
            app_->Render();
    }

    // A first start, the splash clicked away, "Player" taken with Enter and the profile
    // panel closed: the main menu with its welcome line.
    void to_main_menu_with_a_player()
    {
        start_game();
        platform::FitWindowSizeToDesktop(app_->get_window(), 960, 640);
        ASSERT_TRUE(reach<SplashScreen>());
        int frame_number = 0;
        ASSERT_TRUE(run_until([&] {
            // Clicks count from the splash's first second on.
            if (++frame_number % 70 == 0 && current_backend<SplashScreen>())
                click(480, 320);
            return current_backend<MainMenuScreen>() != nullptr;
        }));
        // Its set-up runs a frame later.
        frames(5);
        const platform::WindowHandle window = app_->get_window().window;
        platform::headless::push_key(window, platform::vk::RETURN, true);
        platform::headless::push_key(window, platform::vk::RETURN, false);
        ASSERT_TRUE(run_until([] { return ProfileManager::Instance()->GetProfileCount() == 1; }, 60));
        frames(2);
        click_control("profileSelectClose");
        ASSERT_TRUE(run_until([this] {
            return current_backend<MainMenuScreen>()->GetActiveGroup() == MainMenuScreen::MenuGroup;
        }, 10));
    }

    // Opens a rollout panel, then clicks one of its buttons once it has slid open.
    void click_in_rollout(const char* rollout, const char* name)
    {
        click_control(rollout);
        frames(30);
        click_control(name);
    }

    // Drawn now (the first frame after a size change shows nothing) and compared. A menu's
    // picture also reaches every edge of the screen.
    void expect_frame(const char* name, bool menu = true)
    {
        SCOPED_TRACE(name);
        const uint64_t before = frames_presented();
        for (int attempt = 0; attempt < 3 && frames_presented() == before; ++attempt)
            ASSERT_TRUE(app_->Render());
        const platform::gfx::PresentedFrame& frame = platform::gfx::last_presented_frame();
        ASSERT_EQ(frame.width, 960u);
        ASSERT_EQ(frame.height, 640u);
        if (menu)
            expect_edges_drawn(frame);
        golden::expect_frame(frame, golden_folder(), name);
    }

};

// Each screen reached as a player reaches it, then shown after a fixed number of frames:
// the main menu welcoming "Player", the level map, the store saying what was just bought,
// the credits 2.5 s in (1 s still, then scrolling), the leaderboards' records (the player's
// zero beats none), and the achievements screen's first page with three of its eight
// achieved.
TEST_F(MenuScreensGolden, TheMenuScreensFrameForFrame)
{
    to_main_menu_with_a_player();
    frames(60);
    expect_frame("menus_welcome");

    click_control("playButton");
    ASSERT_TRUE(reach<LevelSelectScreen>());
    frames(60);
    expect_frame("menus_level_map");
    click_control("ButtonBack");
    ASSERT_TRUE(reach<MainMenuScreen>());
    frames(5);

    click_in_rollout("optionsRolloutButton", "storeButton");
    ASSERT_TRUE(reach<StoreScreen>());
    frames(60);
    // The second offer bought: the store says so under the offers.
    click_control("Button2");
    frames(5);
    auto* bought = dynamic_cast<vadu::lib3d::node::Text*>(
        current_screen()->GetSceneRoot()->find_child(vadu::Atom("PurchaseMessage"), true));
    ASSERT_NE(bought, nullptr);
    EXPECT_TRUE(bought->is_visible());
    EXPECT_TRUE(bought->get_text() == vadu::WString(u"Bought: A handful of mana"));
    expect_frame("menus_store");
    click_control("ButtonBack");
    ASSERT_TRUE(reach<MainMenuScreen>());
    frames(5);

    click_control("creditsButton");
    ASSERT_TRUE(reach<CreditsScreen>());
    frames(150);
    expect_frame("menus_credits");
    click_control("ButtonBack");
    ASSERT_TRUE(reach<MainMenuScreen>());
    frames(5);

    click_in_rollout("otherRolloutButton", "leaderboardButton");
    ASSERT_TRUE(reach<LeaderboardsScreen>());
    frames(60);
    expect_frame("menus_leaderboards");
    click_control("ButtonBack");
    ASSERT_TRUE(reach<MainMenuScreen>());
    frames(5);

    AchievementCollection* achievements = AchievementCollection::Current();
    ASSERT_NE(achievements, nullptr);
    for (int index : {0, 3, 6})
        achievements->GetByIndex(index)->achieved = true;
    click_in_rollout("otherRolloutButton", "achievementsButton");
    ASSERT_TRUE(reach<AchievementsScreen>());
    frames(60);
    expect_frame("achievements_screen");
    click_control("ButtonBack");
    ASSERT_TRUE(reach<MainMenuScreen>());
}

// Two codes typed in a running level: both kinds unlock, the second popup sits one step
// below the first, both fully faded in.
TEST_F(MenuScreensGolden, TwoAchievementPopupsStackInARunningLevel)
{
    to_main_menu_with_a_player();
    click_control("playButton");
    ASSERT_TRUE(reach<LevelSelectScreen>());
    frames(5);
    click_control("LevelButton1");
    ASSERT_TRUE(reach<gameplay::GameScreen>());
    ASSERT_TRUE(run_until([this] { return current_backend<gameplay::GameScreen>()->GetLevel() != nullptr; }));
    frames(60);
    type("plekotitanic");
    type("plekocharmed");
    frames(30);
    AchievementCollection* achievements = AchievementCollection::Current();
    ASSERT_NE(achievements, nullptr);
    ASSERT_NE(achievements->GetStackView(), nullptr);
    EXPECT_EQ(achievements->GetStackView()->shownCount, 2);
    // Monsters cross the edges of a level: no look at the edges here.
    expect_frame("achievements_popups", false);
}

} // namespace
