// The program's entry run in-process and headless: the window placed on a first start and
// for a player who chose a window, the localized title, the exit's shortcut, the report
// boxes with their return values, and a second copy that only raises the first.

#include "sources/win_main.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "game/screen.h"
#include "level_players.h"
#include "shell_app_support.h"
#include "support/temp_folder.h"
#include "sources/Screens/main_menu_screen.h"
#include "sources/Screens/splash_screen.h"
#include "sources/gameplay/game_screen.h"
#include "sources/gameplay/level_profile.h"
#include "sources/globals.h"
#include "sources/profile_manager.h"

namespace {

namespace fs = std::filesystem;
using shell_test::ShellAppTest;

class Entry : public ShellAppTest {
protected:
    void SetUp() override
    {
        ShellAppTest::SetUp();
        // The run closes itself after a few frames and answers its own question yes.
        platform::headless::set_frame_limit(3);
    }

    // Runs the entry without the lock (as headless runs do) and looks at the window just
    // before the main loop.
    int32_t run(const char* command_line, const std::function<void(QuilloTovraApplication&)>& before_loop = {})
    {
        QuilloTovraApplication::SetTraceForTests([&](const char* step) {
            steps.emplace_back(step);
            if (std::string(step) == "main loop" && before_loop)
                before_loop(*QuilloTovraApplication::Instance());
        });
        WinMainOptions options;
        options.singleInstance = false;
        const int32_t result = WinMain(command_line, options);
        QuilloTovraApplication::SetTraceForTests(nullptr);
        return result;
    }

    std::vector<std::string> steps;
};

TEST_F(Entry, AFirstStartIsFullScreenAndAPlayerWhoChoseAWindowGetsItCentred)
{
    platform::headless::set_desktop_size({1024, 768});
    bool checked = false;
    EXPECT_EQ(run("", [&](QuilloTovraApplication& app) {
                  checked = true;
                  const vadu::Window& window = app.get_window();
                  EXPECT_TRUE(window.full_screen);
                  EXPECT_EQ(platform::get_client_rect(window.window).right, 1024);
                  EXPECT_EQ(platform::get_client_rect(window.window).bottom, 768);
                  EXPECT_EQ(platform::get_window_text_w(window.window), u"Quillo Tovra");
                  // The player of this run chooses a window; it is saved at the end.
                  ProfileManager* profiles = ProfileManager::Instance();
                  ASSERT_GE(profiles->CreateProfile("Windowed"), 0);
                  profiles->current->fullscreen = 0;
              }),
              ExitNormal);
    EXPECT_TRUE(checked);
    EXPECT_TRUE(fs::exists(shell_test::user_folder() / "settings.dat"));
    EXPECT_TRUE(fs::exists(shell_test::user_folder() / "profile0.dat"));
    // Only the shortcut was handed to the shell; the installation's program never runs.
    const std::vector<std::string> opened = platform::recorded_shell_opens();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(fs::path(opened[0]).filename(), "play.url");

    checked = false;
    platform::headless::reset();
    platform::headless::set_frame_limit(3);
    platform::headless::set_desktop_size({1024, 768});
    EXPECT_EQ(run("", [&](QuilloTovraApplication& app) {
                  checked = true;
                  const vadu::Window& window = app.get_window();
                  EXPECT_FALSE(window.full_screen);
                  const platform::Rect client = platform::get_client_rect(window.window);
                  EXPECT_EQ(client.right, 960);
                  EXPECT_EQ(client.bottom, 640);
                  const platform::Rect outer = platform::get_window_rect(window.window);
                  EXPECT_EQ(outer.left, 1024 / 2 - window.window_width / 2);
                  EXPECT_EQ(outer.top, 768 / 2 - window.window_height / 2);
              }),
              ExitNormal);
    EXPECT_TRUE(checked);
}

TEST_F(Entry, StartUpErrorsAreReportedUnlessTheStarterStartedTheGame)
{
    struct Case {
        const char* what;
        bool bad_resource;
        const char* command_line;
        int32_t result;
        const char* caption; // null: no box
        const char* text;
    };
    const Case cases[] = {
        {"bad resource", true, "", ExitBadResource, "catch( const GluckBadResource & gluck )",
         "In: QuilloTovraApplication::Initialize\nDescription: Failed to load\nResource: data/loading/loading.scene\n"},
        {"bad resource, starter", true, "Starter", ExitBadResource, nullptr, nullptr},
        {"engine error", false, "settings", ExitGluck, "catch( const Gluck & gluck )",
         "In: vadu::WindowCreator::WindowCreator\nDescription: Could not create mwin window\n"},
        {"engine error, starter", false, "Starter", ExitGluck, nullptr, nullptr},
    };
    const fs::path program = copy_program_folder();
    fs::remove(program / "data/loading/loading.scene");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::headless::reset();
        platform::headless::set_frame_limit(3);
        platform::clear_recorded_shell_opens();
        if (!c.bad_resource)
            platform::headless::fail_next_window_creation();
        EXPECT_EQ(run(c.command_line), c.result);
        const auto boxes = platform::headless::message_box_records();
        if (!c.caption) {
            EXPECT_TRUE(boxes.empty());
        } else {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].kind, platform::headless::MessageBoxRecord::Kind::ok);
            EXPECT_EQ(std::string(boxes[0].caption.begin(), boxes[0].caption.end()), c.caption);
            EXPECT_EQ(std::string(boxes[0].text.begin(), boxes[0].text.end()), c.text);
        }
        // The exit's shell call is left out after a report.
        EXPECT_TRUE(platform::recorded_shell_opens().empty());
        EXPECT_EQ(QuilloTovraApplication::Instance(), nullptr);
    }
}

// The lock of the save folder this run uses, under the test's own key.
std::string this_runs_lock(const std::string& key)
{
    return OneCopyKey(key, std::string(Settings::GetUserDataFolder().get_text().c_str()));
}

TEST_F(Entry, ASecondCopyRaisesTheFirstAndBuildsNothing)
{
    const std::string key = "entry test/" + std::to_string(::getpid());
    std::atomic<int> raised{0};
    platform::InstanceLock first;
    ASSERT_EQ(first.acquire(this_runs_lock(key), [&raised] { ++raised; }), platform::InstanceLock::Result::acquired);

    QuilloTovraApplication::SetTraceForTests([this](const char* step) { steps.emplace_back(step); });
    WinMainOptions options;
    options.instanceKey = key;
    EXPECT_EQ(WinMain("", options), ExitDuplicate);
    QuilloTovraApplication::SetTraceForTests(nullptr);
    EXPECT_TRUE(steps.empty());
    for (int i = 0; i < 500 && raised.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(raised.load(), 1);
    EXPECT_FALSE(fs::exists(shell_test::user_folder()));
}

TEST_F(Entry, TheRunningCopyComesToTheFrontWhenASecondOneStarts)
{
    const std::string key = "entry raise test/" + std::to_string(::getpid());
    bool asked = false;
    QuilloTovraApplication::SetTraceForTests([&](const char* step) {
        if (std::string(step) != "main loop")
            return;
        // The second start, while the first runs.
        platform::InstanceLock second;
        asked = second.acquire(this_runs_lock(key), nullptr) == platform::InstanceLock::Result::held_elsewhere;
        // The raise reaches the window thread between frames.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    });
    platform::headless::set_frame_limit(20);
    WinMainOptions options;
    options.instanceKey = key;
    EXPECT_EQ(WinMain("", options), ExitNormal);
    QuilloTovraApplication::SetTraceForTests(nullptr);
    EXPECT_TRUE(asked);
    EXPECT_EQ(platform::headless::windows_raised(), 1);
}

// A copy that saves elsewhere (its own XDG_DATA_HOME) does not stop this one: it starts,
// plays and ends normally, and nobody is asked to come to the front.
TEST_F(Entry, ACopyOverAnotherSaveFolderDoesNotStopThisOne)
{
    const std::string key = "entry other folder test/" + std::to_string(::getpid());
    std::atomic<int> raised{0};
    platform::InstanceLock other;
    const std::string elsewhere = std::string(Settings::GetUserDataFolder().get_text().c_str()) + "-elsewhere";
    ASSERT_EQ(other.acquire(OneCopyKey(key, elsewhere), [&raised] { ++raised; }),
              platform::InstanceLock::Result::acquired);

    bool looped = false;
    QuilloTovraApplication::SetTraceForTests([&](const char* step) { looped |= std::string(step) == "main loop"; });
    WinMainOptions options;
    options.instanceKey = key;
    EXPECT_EQ(WinMain("", options), ExitNormal);
    QuilloTovraApplication::SetTraceForTests(nullptr);
    EXPECT_TRUE(looped);
    EXPECT_EQ(raised.load(), 0);
}

// The desktop's termination signals end the run as a close the player agreed to: the
// normal exit with the profile saved, on every screen, in a level, and when the quit
// question is open at that moment (answered "no" here, which no longer keeps the game).
TEST_F(Entry, TerminationSignalsEndTheRunAsAnAgreedClose)
{
    enum class Screen { splash, menu, level };
    struct Case {
        const char* what;
        Screen screen;
        int signal;
        bool during_question;
    };
    const Case cases[] = {
        {"SIGTERM on the splash", Screen::splash, SIGTERM, false},
        {"SIGINT in the main menu", Screen::menu, SIGINT, false},
        {"SIGHUP in a level", Screen::level, SIGHUP, false},
        {"SIGTERM in a level, the quit question open", Screen::level, SIGTERM, true},
        {"SIGINT in the main menu, the quit question open", Screen::menu, SIGINT, true},
    };
    const fs::path copy = copy_program_folder();
    const fs::path original_flow = fs::path(QUILLO_PROGRAM_FOLDER) / "data" / "flow.xml";
    const level_players::ListedLevel listed =
        level_players::ReadList(fs::path(QUILLO_PROGRAM_FOLDER) / "data" / "levels" / "levels.list").at(0);
    gameplay::LevelProfile level;
    level.number = listed.number;
    level.mode = listed.mode;
    level.fileName = listed.fileName.c_str();
    level.locked = 0;
    level.type = listed.type.c_str();

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::headless::reset();
        // Nothing ends the run but the signal: no frame limit, every question answered no.
        platform::headless::set_frame_limit(0);
        platform::headless::set_message_box_answer(false);
        fs::remove_all(shell_test::user_folder());
        fs::copy_file(original_flow, copy / "data" / "flow.xml", fs::copy_options::overwrite_existing);
        const char* start = c.screen == Screen::splash ? "Splash" : c.screen == Screen::menu ? "MainMenu" : "Game";
        start_flow_at(copy, start);
        ::CurrentLevel = &level;

        int frames_on_screen = 0;
        bool signalled = false;
        QuilloTovraApplication::SetTraceForTests([&](const char* step) {
            const std::string name(step);
            QuilloTovraApplication* app = QuilloTovraApplication::Instance();
            if (name == "main loop") {
                // The player whose profile the close must save.
                ASSERT_GE(ProfileManager::Instance()->CreateProfile("Signalled"), 0);
            } else if (name == "frame" && !signalled && app && app->root) {
                game::Screen* screen = app->root->GetScreenManager()->GetCurrentScreen();
                game::ScreenBackend* backend = screen ? screen->GetBackend() : nullptr;
                const bool there = c.screen == Screen::splash ? dynamic_cast<SplashScreen*>(backend) != nullptr
                                   : c.screen == Screen::menu ? dynamic_cast<MainMenuScreen*>(backend) != nullptr
                                                              : dynamic_cast<gameplay::GameScreen*>(backend) != nullptr;
                if (!there || ++frames_on_screen < 5)
                    return;
                if (c.during_question) {
                    // The desktop's close brings up the question; the signal comes while it is open.
                    platform::headless::while_next_question_open([&] {
                        signalled = true;
                        std::raise(c.signal);
                    });
                    platform::post_message(app->get_window().window, platform::wm::CLOSE, 0, 0);
                    frames_on_screen = -1000000;
                } else {
                    signalled = true;
                    std::raise(c.signal);
                }
            }
        });
        WinMainOptions options;
        options.singleInstance = false;
        EXPECT_EQ(WinMain("", options), ExitNormal);
        QuilloTovraApplication::SetTraceForTests(nullptr);
        ::CurrentLevel = nullptr;
        EXPECT_TRUE(signalled);
        EXPECT_EQ(platform::headless::message_boxes_shown(), c.during_question ? 1 : 0);
        EXPECT_TRUE(fs::exists(shell_test::user_folder() / "profile0.dat"));
        EXPECT_TRUE(fs::exists(shell_test::user_folder() / "settings.dat"));
    }
}

TEST(OneCopy, TheKeyNamesTheSaveFolderHoweverItIsSpelled)
{
    test_support::TempFolder folder("quillo-one-copy");
    ASSERT_FALSE(folder.root().empty());
    const std::string saves = folder.at("data/Kembra Entertainment/Quillo Tovra");
    fs::create_directories(saves);
    fs::create_directory_symlink(folder.at("data"), folder.at("link"));
    const std::string same = OneCopyKey("k", saves);
    for (const std::string& spelling : {saves + "/", saves + "//", folder.at("data/Kembra Entertainment/../Kembra Entertainment/Quillo Tovra"),
                                        folder.at("link/Kembra Entertainment/Quillo Tovra")}) {
        SCOPED_TRACE(spelling);
        EXPECT_EQ(OneCopyKey("k", spelling), same);
    }
    // A folder not made yet (a first start) is named as written.
    EXPECT_EQ(OneCopyKey("k", folder.at("new") + "/"), "k|" + folder.at("new"));
    for (const std::string& other : {folder.at("data/Kembra Entertainment"), folder.at("data2/Kembra Entertainment/Quillo Tovra"),
                                     std::string("/")}) {
        SCOPED_TRACE(other);
        EXPECT_NE(OneCopyKey("k", other), same);
    }
    EXPECT_NE(OneCopyKey("other key", saves), same);
}

TEST(ReportText, NamesTheFunctionTheDescriptionAndTheResource)
{
    const vadu::GluckBadResource bad("QuilloTovraApplication::Initialize", "Parse failed",
                                     vadu::filesystem::String("data/loading/loading.scene", true));
    EXPECT_EQ(std::string(BuildReportText(bad).c_str()),
              "In: QuilloTovraApplication::Initialize\nDescription: Parse failed\nResource: "
              "data/loading/loading.scene\n");
    const vadu::Gluck gluck("f", "d");
    EXPECT_EQ(std::string(BuildReportText(gluck).c_str()), "In: f\nDescription: d\n");
}

} // namespace
