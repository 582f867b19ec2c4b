// The game's application over the program's data: what it builds and in which order, the
// start-up errors with their paths, the frame's time limits, nothing moving or drawn while
// loads are pending, the quit question, focus changes and the cursor settings.

#include "sources/application.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "shell_app_support.h"
#include "sources/profile_manager.h"
#include "sources/Screens/splash_screen.h"
#include "sources/sound_manager.h"
#include "support/log_capture.h"
#include "vadu/lib3d/node/registry.h"

namespace {

namespace fs = std::filesystem;
using shell_test::ShellAppTest;

std::string text_of(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

class GameApplication : public ShellAppTest {};

TEST_F(GameApplication, BuildsAndInitializesInOrderAndTearsDownInReverse)
{
    std::vector<std::string> steps;
    QuilloTovraApplication::SetTraceForTests([&steps](const char* step) { steps.emplace_back(step); });
    {
        QuilloTovraApplication& app = start();
        EXPECT_EQ(QuilloTovraApplication::Instance(), &app);
        const platform::WindowHandle window = app.get_window().window;
        const platform::Rect client = platform::get_client_rect(window);
        EXPECT_EQ(client.right, 512);
        EXPECT_EQ(client.bottom, 512);
        EXPECT_EQ(platform::get_window_style(window),
                  platform::ws::CAPTION | platform::ws::SYSMENU | platform::ws::MINIMIZEBOX);
        // The engine keeps the per-user folder's name; the window shows the title.
        EXPECT_EQ(platform::get_window_text(window), "Quillo Tovra");
        EXPECT_EQ(text_of(app.get_name()), "Kembra Entertainment/Quillo Tovra");
        EXPECT_EQ(app.totalTime, 0.0);
        EXPECT_EQ(app.running, 1);
        EXPECT_EQ(app.active, 1);
        EXPECT_EQ(app.cursorType, 0);
        EXPECT_FALSE(app.is_cursor_visible());
        EXPECT_EQ(app.root, nullptr);

        app.Initialize(vadu::filesystem::String("data/quillo.game", true));
        ASSERT_NE(app.gameDefinition, nullptr);
        EXPECT_EQ(app.gameDefinition->GetWindowWidth(), 960u);
        EXPECT_EQ(app.gameDefinition->GetWindowHeight(), 640u);
        EXPECT_NE(app.preloader, nullptr);
        // Every screen class.
        EXPECT_EQ(app.root->GetBackendFactory().size(), 12u);
        EXPECT_GT(app.loadingRoot.get_child_count(), 0u);
        EXPECT_NE(app.get_cursor_node(), nullptr);
        // The flow starts at the splash.
        EXPECT_NE(current_backend<SplashScreen>(), nullptr);
        // No profile yet: the drawn cursor.
        EXPECT_EQ(app.cursorType, 0);
        app_.reset();
        EXPECT_EQ(QuilloTovraApplication::Instance(), nullptr);
    }
    const std::vector<std::string> expected = {
        "node types",  "application", "profiles", "tutorial nodes", "sound",
        "preloader",   "backends",    "description", "root",        "cursor",
        "loading scene", "balance",   "display settings", "profiles saved", "application gone",
        "node types gone",
    };
    EXPECT_EQ(steps, expected);
    // The engine's node types went with it; the settings were written.
    EXPECT_EQ(vadu::lib3d::node::create_node(nullptr, vadu::Atom("Sprite"), vadu::Atom("probe")), nullptr);
    EXPECT_TRUE(fs::exists(shell_test::user_folder() / "settings.dat"));
}

TEST_F(GameApplication, StartUpErrorsNameTheFailingFile)
{
    struct Case {
        const char* what;
        const char* file;      // relative to the program folder; null: leave the data alone
        const char* content;   // null: delete the file
        const char* description_path;
        const char* message;
        const char* resource;
    };
    const Case cases[] = {
        {"missing description", nullptr, nullptr, "data/missing.game", "Failed to load root game resource",
         "data/missing.game"},
        {"description of another kind", "data/other.game", "<Flow Start=\"Splash\"/>", "data/other.game",
         "Failed to load root game resource", "data/other.game"},
        {"missing loading scene", "data/loading/loading.scene", nullptr, "data/quillo.game", "Failed to load",
         "data/loading/loading.scene"},
        {"broken loading scene", "data/loading/loading.scene", "<Scene><Nonsense/></Scene>", "data/quillo.game",
         "Parse failed", "data/loading/loading.scene"},
    };
    const fs::path program = copy_program_folder();
    const std::string loading_scene = [&] {
        std::ifstream in(program / "data/loading/loading.scene");
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            std::ofstream(program / "data/loading/loading.scene") << loading_scene;
        }
        if (c.file && c.content)
            std::ofstream(program / c.file) << c.content;
        else if (c.file)
            fs::remove(program / c.file);

        QuilloTovraApplication& app = start();
        try {
            app.Initialize(vadu::filesystem::String(c.description_path, true));
            ADD_FAILURE() << "no error";
        } catch (const vadu::GluckBadResource& error) {
            EXPECT_EQ(text_of(error.get_function()), "QuilloTovraApplication::Initialize");
            EXPECT_EQ(text_of(error.get_description()), c.message);
            EXPECT_EQ(text_of(error.get_resource().get_text()), c.resource);
        }
        app_.reset();
    }
}

TEST_F(GameApplication, AFrameIsLimitedForTheGameButNotForTheClockOrTheSound)
{
    QuilloTovraApplication& app = start_game();
    app.Update(0.0); // the splash is set up through the scheduler
    SplashScreen* splash = current_backend<SplashScreen>();
    ASSERT_NE(splash, nullptr);
    ASSERT_NE(splash->sequence, nullptr);
    const double splash_before = splash->elapsed;
    // A change of track shows how far the music's fade moved (2 s for a whole fade).
    SoundManager* sound = SoundManager::Instance();
    ASSERT_DOUBLE_EQ(sound->get_level(), 1.0);
    sound->PlayDangerTheme();

    app.Update(0.25);
    EXPECT_DOUBLE_EQ(app.totalTime, 0.25);
    EXPECT_NEAR(sound->get_level(), 1.0 - 0.25 / SoundManager::FadeSeconds, 1e-6);
    EXPECT_DOUBLE_EQ(splash->elapsed - splash_before, 0.1);

    app.Update(0.05);
    EXPECT_DOUBLE_EQ(app.totalTime, 0.3);
    EXPECT_DOUBLE_EQ(splash->elapsed - splash_before, 0.15);
}

TEST_F(GameApplication, NothingMovesAndNothingIsDrawnWhileLoadsArePending)
{
    QuilloTovraApplication& app = start_game();
    frame(0.0);
    SplashScreen* splash = current_backend<SplashScreen>();
    ASSERT_NE(splash, nullptr);
    const uint64_t frames = frames_presented();
    ASSERT_GT(frames, 0u);
    const double elapsed = splash->elapsed;

    app.enter_loading_state();
    EXPECT_TRUE(app.Render());
    EXPECT_EQ(frames_presented(), frames);
    app.Update(0.1);
    EXPECT_EQ(splash->elapsed, elapsed);
    EXPECT_DOUBLE_EQ(app.totalTime, 0.1);

    // The frame step found nothing pending any more: the game moves and draws again.
    ASSERT_EQ(app.get_pending_maximum(), 0);
    frame(0.1);
    EXPECT_GT(splash->elapsed, elapsed);
    EXPECT_EQ(frames_presented(), frames + 1);
}

TEST_F(GameApplication, TheQuitQuestionIsDrawnOnceThenAskedWithLocalizedButtons)
{
    struct Case {
        const char* what;
        bool fail_box;
        bool answer;
        bool closes;
    };
    const Case cases[] = {
        {"yes", false, true, true},
        {"no", false, false, false},
        // Without a box the player could never leave.
        {"no box", true, false, true},
    };
    QuilloTovraApplication& app = start_game();
    frame(0.0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::headless::reset();
        platform::headless::set_frame_limit(0);
        platform::headless::set_desktop_size({960, 640});
        platform::headless::fail_message_boxes(c.fail_box);
        platform::headless::push_message_box_answer(c.answer);
        const uint64_t frames = frames_presented();
        EXPECT_EQ(app.OnCloseRequest(), c.closes);
        EXPECT_EQ(frames_presented(), frames + 1);
        EXPECT_EQ(app.quitPromptOpen, 0);
        EXPECT_FALSE(app.is_cursor_visible());
        const auto records = platform::headless::message_box_records();
        if (c.fail_box) {
            EXPECT_TRUE(records.empty());
            continue;
        }
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].kind, platform::headless::MessageBoxRecord::Kind::question);
        EXPECT_EQ(records[0].text, u"Do you really want to quit the game?");
        EXPECT_EQ(records[0].caption, u"");
        EXPECT_EQ(records[0].yes_label, u"Yes");
        EXPECT_EQ(records[0].no_label, u"No");
    }

    // Once the player agreed through the menu, the close goes through unasked.
    platform::headless::reset();
    app.Quit();
    EXPECT_FALSE(app.Update(0.1));
    EXPECT_TRUE(app.OnCloseRequest());
    EXPECT_TRUE(platform::headless::message_box_records().empty());
}

// A save that fails is told to the player in the game's report box, once a run, with the
// file and the system's reason; the game plays on.
TEST_F(GameApplication, AFailedSaveIsToldOnceInTheReportBox)
{
    QuilloTovraApplication& app = start_game();
    frame(0.0);
    platform::headless::reset();
    platform::headless::set_frame_limit(0);
    platform::set_write_fault(platform::WriteStep::write, platform::WriteFault::fail);
    EXPECT_FALSE(ProfileManager::Instance()->Save());
    EXPECT_FALSE(ProfileManager::Instance()->Save());
    platform::clear_write_fault();
    const auto records = platform::headless::message_box_records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].kind, platform::headless::MessageBoxRecord::Kind::ok);
    EXPECT_EQ(records[0].caption, u"Quillo Tovra");
    const std::u16string& text = records[0].text;
    EXPECT_EQ(text.rfind(u"Your progress cannot be saved: ", 0), 0u);
    EXPECT_NE(text.find(u"settings.dat"), std::u16string::npos);
    EXPECT_NE(text.find(u"Input/output error"), std::u16string::npos);
    EXPECT_TRUE(app.Update(0.1));
}

// Minimised after losing the focus in full screen, the window is drawn nothing however many
// frames are asked of it, and the log says so once a spell; restored and active again, it
// shows the game's picture again.
TEST_F(GameApplication, AMinimisedSpellDrawsNothingAndARestoreDrawsAgain)
{
    QuilloTovraApplication& app = start_game();
    vadu::Window& window = app.get_window();
    platform::FitWindowSizeToDesktop(window, 960, 640);
    platform::ToggleFullscreen(window);
    test_support::LogCapture log;
    ASSERT_TRUE(run_until([&] { return app.get_pending_maximum() == 0 && frames_presented() > 0; }, 600));
    const platform::Rect client = platform::get_client_rect(window.window);
    ASSERT_GT(client.right, 0);
    for (size_t spell = 1; spell <= 2; ++spell) {
        SCOPED_TRACE("spell " + std::to_string(spell));
        platform::headless::push_activate(window.window, false);
        frames(1);
        ASSERT_EQ(platform::get_client_rect(window.window).right, 0) << "not minimised";
        const uint64_t before = frames_presented();
        frames(60);
        EXPECT_EQ(frames_presented(), before);
        EXPECT_EQ(log.count("Hardware::start_frame() : Cannot render in minimized mode\n"), spell);

        platform::headless::push_size(window.window, client.right, client.bottom);
        platform::headless::push_activate(window.window, true);
        frames(3);
        EXPECT_GE(frames_presented(), before + 2);
        const platform::gfx::PresentedFrame& frame = platform::gfx::last_presented_frame();
        EXPECT_EQ(frame.width, static_cast<uint32_t>(client.right));
        EXPECT_EQ(frame.height, static_cast<uint32_t>(client.bottom));
    }
}

TEST_F(GameApplication, LosingFocusInFullScreenMinimisesUnlessTheQuestionIsOpen)
{
    struct Case {
        bool full_screen;
        bool question_open;
        bool minimised;
    };
    const Case cases[] = {{false, false, false}, {true, false, true}, {true, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.full_screen) + " " + std::to_string(c.question_open));
        QuilloTovraApplication& app = start_game();
        vadu::Window& window = app.get_window();
        platform::FitWindowSizeToDesktop(window, 960, 640);
        if (c.full_screen)
            platform::ToggleFullscreen(window);
        app.quitPromptOpen = c.question_open ? 1 : 0;
        SoundManager* sound = SoundManager::Instance();
        const int paused = sound->pauseCount;

        app.OnDeactivate();
        EXPECT_EQ(app.active, 0);
        EXPECT_EQ(sound->pauseCount, paused + 1);
        EXPECT_TRUE(app.is_cursor_visible());
        // The drawn cursor hides while the system one shows.
        EXPECT_FALSE(app.get_cursor_node()->is_visible());
        EXPECT_EQ(platform::get_client_rect(window.window).right == 0, c.minimised);

        app.OnActivate();
        app.OnActivate(); // never below no pause at all
        EXPECT_EQ(app.active, 1);
        EXPECT_EQ(sound->pauseCount, 0);
        EXPECT_TRUE(app.get_cursor_node()->is_visible());
        EXPECT_FALSE(app.is_cursor_visible());
        app_.reset();
    }
}

TEST_F(GameApplication, DisplaySettingsChooseBetweenTheDrawnAndTheSystemCursor)
{
    QuilloTovraApplication& app = start_game();
    app.ApplyDisplaySettings(1);
    EXPECT_EQ(app.cursorType, 1);
    EXPECT_TRUE(app.is_cursor_visible());
    EXPECT_FALSE(app.get_cursor_node()->is_visible());
    app.ApplyDisplaySettings(0);
    EXPECT_FALSE(app.is_cursor_visible());
    EXPECT_TRUE(app.get_cursor_node()->is_visible());
}

} // namespace
