// The game played through its real screens, headless, where pieces built apart meet: a
// first start in full screen on a desktop larger than the game's window, pictures missing
// or damaged at run time, a paused level left while an achievement popup and a tutorial
// hint are still on screen (the music, the pause counter and the global actions
// afterwards), and a window minimised and restored.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>

#include "game/controls/control.h"
#include "shell_app_support.h"
#include "sources/Screens/level_select_screen.h"
#include "sources/Screens/loading_screen.h"
#include "sources/Screens/main_menu_screen.h"
#include "sources/Screens/splash_screen.h"
#include "sources/achievements.h"
#include "sources/gameplay/action.h"
#include "sources/gameplay/game_screen.h"
#include "sources/gameplay/level.h"
#include "sources/gameplay/tutorial.h"
#include "sources/profile_manager.h"
#include "sources/sound_manager.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/log.h"

namespace {

namespace fs = std::filesystem;
using shell_test::ShellAppTest;

constexpr double Step = 1.0 / 60.0;

class Joins : public ShellAppTest {
protected:
    // While false, steps draw one frame in eight: large frames take long in software, and
    // the screens only need to be drawn now and then to place their buttons.
    bool drawing_ = true;
    int undrawn_ = 0;

    void step() override
    {
        if (drawing_ || ++undrawn_ % 8 == 0) {
            frame(Step);
            return;
        }
        pump_messages();
        app_->Update(Step);
    }

    // The splash skipped with clicks, on to the main menu, set up.
    void to_main_menu()
    {
        ASSERT_TRUE(reach<SplashScreen>());
        int frame_number = 0;
        ASSERT_TRUE(run_until([&] {
            // The first click counts from the first second on; off the centre, where the
            // pointer starts and a click would come without a move.
            if (++frame_number >= 65 && frame_number % 15 == 5 && current_backend<SplashScreen>())
                click_client(0.25 + 0.01 * (frame_number % 2), 0.25);
            return current_backend<MainMenuScreen>() != nullptr;
        }));
        // Its set-up runs a frame later.
        frames(5);
    }

    // A click at a point of the client area given as fractions of its size.
    void click_client(double fx, double fy)
    {
        const platform::Rect client = platform::get_client_rect(app_->get_window().window);
        click(static_cast<int32_t>(fx * client.right), static_cast<int32_t>(fy * client.bottom));
    }

    // Where the window draws a scene point of the main menu's camera: the game's 960 × 640
    // view scaled alike both ways to fit the client area, centred.
    std::pair<double, double> drawn_at(double x, double y)
    {
        const platform::Rect client = platform::get_client_rect(app_->get_window().window);
        const double scale = std::min(client.right / 960.0, client.bottom / 640.0);
        return {client.right / 2.0 + x * scale, client.bottom / 2.0 - y * scale};
    }

    // A click on the middle of a control's node, wherever the window shows the game's
    // 960 × 640 view.
    void click_control(const char* name)
    {
        game::Screen* screen = current_screen();
        ASSERT_NE(screen, nullptr);
        game::controls::Control* control = screen->FindControl(vadu::Atom(name));
        ASSERT_NE(control, nullptr) << name;
        // Buttons come on once the windows over them have gone.
        ASSERT_TRUE(run_until([control] { return control->IsEnabled(); }, 180)) << name << " stays disabled";
        vadu::lib3d::node::Node* node = control->GetImpl() ? control->GetImpl()->GetNode() : nullptr;
        ASSERT_NE(node, nullptr) << name;
        // The cameras are centred on their position; the level map's sits at its lower left.
        vadu::math::Vector3 at = node->get_global_position();
        if (vadu::lib3d::node::Camera* camera = screen->GetCamera()) {
            const vadu::math::Vector3 centre = camera->get_global_position();
            at.x -= centre.x;
            at.y -= centre.y;
        }
        const auto [x, y] = drawn_at(at.x, at.y);
        click(static_cast<int32_t>(x), static_cast<int32_t>(y));
    }

    void key(int virtual_key)
    {
        const platform::WindowHandle window = app_->get_window().window;
        platform::headless::push_key(window, virtual_key, true);
        platform::headless::push_key(window, virtual_key, false);
    }

    void type(const char* text)
    {
        for (const char* c = text; *c; ++c)
            platform::headless::push_char(app_->get_window().window, static_cast<unsigned char>(*c));
    }

    // The first player, "Player", made at the name entry; the select window closed.
    void create_player()
    {
        key(platform::vk::RETURN);
        ASSERT_TRUE(run_until([] { return ProfileManager::Instance()->GetProfileCount() == 1; }, 60));
        frames(2);
        click_control("profileSelectClose");
        frames(2);
    }

    // A first start with no player yet, on a desktop of this size: full screen, as the
    // entry places it.
    QuilloTovraApplication& start_full_screen(platform::Size desktop, const char* description)
    {
        platform::headless::reset();
        platform::headless::set_frame_limit(0);
        platform::headless::set_desktop_size(desktop);
        platform::gfx::reset_presentation();
        std::error_code ignored;
        fs::remove_all(shell_test::user_folder().parent_path(), ignored);

        QuilloTovraApplication& app = start("");
        app.Initialize(vadu::filesystem::String(description, true));
        vadu::Window& window = app.get_window();
        platform::FitWindowSizeToDesktop(window, 960, 640);
        platform::ToggleFullscreen(window);
        return app;
    }

    void create_player_and_open_the_level_map()
    {
        create_player();
        click_control("playButton");
        ASSERT_TRUE(reach<LevelSelectScreen>());
        frames(5);
    }
};

// A first start is full screen. On a desktop larger than the game's 960 × 640 window every
// frame comes out at the desktop's size, from the first one on, and a click lands where the
// button is drawn.
TEST_F(Joins, AFirstStartInFullScreenOnALargerDesktopDrawsAndHitsAtTheDesktopsSize)
{
    struct Case {
        int32_t width;
        int32_t height;
        const char* description;
    };
    const Case cases[] = {
        // Desktops kept small for the software rasterizer's sake: a wide one and a 4:3 one.
        {1280, 800, "data/quillo_wide.game"},
        {1024, 768, "data/quillo.game"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        QuilloTovraApplication& app = start_full_screen({c.width, c.height}, c.description);
        ASSERT_TRUE(app.get_window().full_screen);

        uint64_t seen = 0;
        auto check_frame = [&] {
            const platform::gfx::PresentedFrame& presented = platform::gfx::last_presented_frame();
            if (presented.number != seen) {
                seen = presented.number;
                if (presented.width != static_cast<uint32_t>(c.width) ||
                    presented.height != static_cast<uint32_t>(c.height))
                    ADD_FAILURE() << "frame " << presented.number << " is " << presented.width << "x"
                                  << presented.height;
            }
        };
        for (int i = 0; i < 10; ++i) {
            frame(Step);
            check_frame();
        }
        EXPECT_GT(seen, 0u);
        to_main_menu();
        check_frame();
        create_player_and_open_the_level_map();
        check_frame();
        app_.reset();
        ResetGlobalsForTests();
        ActionManager::ResetGlobal();
    }
}

// A full-screen desktop of another shape than the game's 3:2 window shows the screens at
// one scale both ways, centred, with more of the scene at the sides: a round button stays
// round, and a click at the middle of where it is drawn presses it.
TEST_F(Joins, InFullScreenOnADesktopOfAnotherShapeTheMenuKeepsItsShapeAndClicksLandOnTheDrawnButton)
{
    struct Case {
        int32_t width;
        int32_t height;
        const char* description;
    };
    const Case cases[] = {
        {1280, 800, "data/quillo.game"},
        {1920, 1080, "data/quillo_wide.game"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        QuilloTovraApplication& app = start_full_screen({c.width, c.height}, c.description);
        ASSERT_TRUE(app.get_window().full_screen);
        drawing_ = false;
        to_main_menu();
        create_player();
        drawing_ = true;

        // The profile button's disc, 48 × 48 in the scene, drawn alone: the frame with it less
        // the frame without it, nothing else moving in between.
        vadu::lib3d::node::Node* window = current_screen()->GetSceneRoot()->find_child(vadu::Atom("SelectWindow"), true);
        vadu::lib3d::node::Node* button =
            current_screen()->GetSceneRoot()->find_child(vadu::Atom("ProfileButton"), true);
        ASSERT_NE(window, nullptr);
        ASSERT_NE(button, nullptr);
        ASSERT_FALSE(window->is_visible());
        // Its label is measured apart from the disc: the label stays hidden in both frames.
        if (vadu::lib3d::node::Node* label = button->find_child(vadu::Atom("Label"), true))
            label->set_visible(false);
        button->set_visible(false);
        app.Render();
        const std::vector<uint8_t> without = platform::gfx::last_presented_frame().pixels;
        button->set_visible(true);
        app.Render();
        const platform::gfx::PresentedFrame& with = platform::gfx::last_presented_frame();
        ASSERT_EQ(with.width, static_cast<uint32_t>(c.width));
        ASSERT_EQ(with.height, static_cast<uint32_t>(c.height));
        ASSERT_EQ(with.pixels.size(), without.size());
        int32_t left = c.width, right = -1, top = c.height, bottom = -1;
        for (int32_t y = 0; y < c.height; ++y) {
            for (int32_t x = 0; x < c.width; ++x) {
                const size_t at = (static_cast<size_t>(y) * c.width + x) * 4;
                if (std::equal(without.begin() + at, without.begin() + at + 4, with.pixels.begin() + at))
                    continue;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
        ASSERT_GE(right, left) << "the button is not drawn";
        const int32_t drawn_width = right - left + 1;
        const int32_t drawn_height = bottom - top + 1;
        EXPECT_NEAR(drawn_width, drawn_height, 1) << "the button is drawn stretched";
        // Its picture is a disc 44 pixels across in a 48 × 48 frame; the edge's smoothing
        // adds a pixel or two.
        const double scale = std::min(c.width / 960.0, c.height / 640.0);
        EXPECT_NEAR(drawn_height, 44.0 * scale, 3.0);
        // Where the view, centred, puts the button's middle.
        const vadu::math::Vector3 at = button->get_global_position();
        const auto [x, y] = drawn_at(at.x, at.y);
        EXPECT_NEAR((left + right + 1) / 2.0, x, 2.0);
        EXPECT_NEAR((top + bottom + 1) / 2.0, y, 2.0);

        click((left + right + 1) / 2, (top + bottom + 1) / 2);
        EXPECT_TRUE(run_until([window] { return window->is_visible(); }, 30)) << "the click missed the button";
        app_.reset();
        ResetGlobalsForTests();
        ActionManager::ResetGlobal();
    }
}

// Decorations that are missing or damaged (a picture missing, one damaged, an atlas that
// does not parse): each is named in the engine log (the missing one as missing), the loads
// end, and the game goes on to its main menu.
TEST_F(Joins, MissingOrDamagedDecorationsAreLoggedAndTheGameGoesOn)
{
    const fs::path program = copy_program_folder();
    fs::remove(program / "data/mainmenu/logo.png");
    std::ofstream(program / "data/mainmenu/logo_eye.atlas", std::ios::trunc) << "<Atlas TextureSrc=";
    std::ofstream(program / "data/splash/logo1.png", std::ios::trunc) << "not a picture at all";

    QuilloTovraApplication& app = start_game();
    const fs::path log_path = temp_.root() / "engine.log";
    std::FILE* log_file = std::fopen(log_path.string().c_str(), "w");
    ASSERT_NE(log_file, nullptr);
    vadu::logs::set_log(std::make_unique<vadu::logs::Stream>(log_file));

    to_main_menu();
    run_until([&] { return app.get_pending_maximum() == 0; }, 1000);
    // Nothing waits for the broken files: frames are drawn and the screens update.
    EXPECT_EQ(app.get_pending_maximum(), 0);
    const uint64_t before = frames_presented();
    frames(5);
    EXPECT_EQ(frames_presented(), before + 5);

    vadu::logs::log().flush();
    vadu::logs::set_log(std::make_unique<vadu::logs::Stream>());
    std::fclose(log_file);
    std::ifstream in(log_path);
    const std::string log((std::istreambuf_iterator<char>(in)), {});
    for (const char* line : {"Failed to load \"data/splash/logo1\"", "Failed to load \"data/mainmenu/logo_eye.atlas\"",
                             "data/mainmenu/logo: no picture file is there"})
        EXPECT_NE(log.find(line), std::string::npos) << "no line with '" << line << "' in the log:\n" << log;
}

// The buttons' picture or atlas damaged: the main menu would show no button and take no
// click. The game ends instead, as for any bad resource, naming the file.
TEST_F(Joins, ADamagedButtonPictureOrAtlasEndsTheGameNamingTheFile)
{
    struct Case {
        const char* file;
        bool cut; // the file cut off after its first 40 bytes, else replaced by broken XML
        const char* named;
    } const cases[] = {
        {"data/mainmenu/buttons.png", true, "data/mainmenu/buttons"},
        {"data/mainmenu/buttons.atlas", false, "data/mainmenu/buttons.atlas"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::error_code ignored;
        fs::remove_all(temp_.root() / "program", ignored);
        const fs::path program = copy_program_folder();
        start_flow_at(program, "MainMenu");
        const fs::path path = program / c.file;
        std::string bytes = "<Atlas TextureSrc=";
        if (c.cut) {
            std::ifstream in(path, std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
            bytes.resize(40);
        }
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;

        start_game();
        bool ended = false;
        try {
            frames(200);
        } catch (const vadu::GluckBadResource& failure) {
            ended = true;
            EXPECT_EQ(std::string(failure.get_resource().get_text().c_str()), c.named);
            EXPECT_NE(std::string(failure.get_description().c_str()).find("did not load"), std::string::npos)
                << failure.get_description().c_str();
        }
        EXPECT_TRUE(ended) << "the main menu ran without its buttons";
        app_.reset();
        ResetGlobalsForTests();
        ActionManager::ResetGlobal();
    }
}

// A paused level left through its pause menu while an achievement popup fades and a
// tutorial hint is shown: the pause counter is back at 0 and the main theme audible, no
// action of the level's nodes is left in the global manager, and clicks where the hint's
// button was reach nothing of the dead level.
TEST_F(Joins, LeavingAPausedLevelLeavesNoPauseNoSilenceAndNoActionsOfTheDeadLevel)
{
    QuilloTovraApplication& app = start_game();
    to_main_menu();
    create_player_and_open_the_level_map();
    click_control("LevelButton1");
    ASSERT_TRUE(reach<gameplay::GameScreen>());
    ASSERT_TRUE(run_until([this] {
        auto* screen = current_backend<gameplay::GameScreen>();
        return screen->GetLevel() != nullptr && screen->GetLevel()->GetTutorial() != nullptr &&
               screen->GetLevel()->GetTutorial()->hintShowing;
    }, 600));
    gameplay::GameScreen* game = current_backend<gameplay::GameScreen>();
    gameplay::Level* level = game->GetLevel();
    vadu::lib3d::node::Node* scene = level->SceneRoot();
    const size_t children_before = scene->get_child_count();

    type("plekotitanic");
    frames(3);
    ASSERT_GT(scene->get_child_count(), children_before) << "no popup";
    const void* popup = scene->get_children().back();
    const vadu::Atom popup_tag(AchievementStackView::AnimationTag);
    ASSERT_NE(ActionManager::Global().FindAction(popup, popup_tag), nullptr);
    const void* hint = level->GetTutorial()->CurrentHint()->Scene();

    click_control("PauseButton");
    frames(20);
    SoundManager* sound = SoundManager::Instance();
    EXPECT_EQ(sound->pauseCount, 1);
    // The player switches away while the pause menu shows (a full-screen window is
    // minimised then) and comes back to the restored window.
    const platform::WindowHandle window = app.get_window().window;
    const platform::Rect client = platform::get_client_rect(window);
    platform::headless::push_activate(window, false);
    frames(2);
    EXPECT_EQ(sound->pauseCount, 2);
    platform::headless::push_size(window, client.right, client.bottom);
    platform::headless::push_activate(window, true);
    frames(2);
    EXPECT_EQ(sound->pauseCount, 1);
    EXPECT_EQ(sound->get_volume(), 0.0);
    click_control("ExitButton");
    frames(2);
    click_control("dialogYes");
    ASSERT_TRUE(reach<LevelSelectScreen>());

    EXPECT_EQ(sound->pauseCount, 0);
    EXPECT_GT(sound->get_volume(), 0.0);
    EXPECT_EQ(ActionManager::Global().FindAction(popup, popup_tag), nullptr);
    EXPECT_TRUE(ActionManager::Global().ActionsOf(hint).empty());
    // Where the hint's bubble and the popup were: the level map's frames go on.
    for (double fy : {0.3, 0.5, 0.7}) {
        click_client(0.5, fy);
        frames(5);
    }
    EXPECT_NE(current_backend<LevelSelectScreen>(), nullptr);
    // Once set up, the map runs its own actions and the main theme plays on.
    frames(30);
    EXPECT_GT(sound->get_volume(), 0.0);
}

// The window minimised by its button reports both the minimise and the lost focus; once
// it is restored and active again the music plays.
TEST_F(Joins, AWindowMinimisedByItsButtonAndRestoredHasItsMusicBack)
{
    QuilloTovraApplication& app = start_game();
    to_main_menu();
    SoundManager* sound = SoundManager::Instance();
    ASSERT_EQ(sound->pauseCount, 0);
    const platform::WindowHandle window = app.get_window().window;
    const platform::Rect client = platform::get_client_rect(window);
    platform::headless::push_minimize(window);
    platform::headless::push_activate(window, false);
    frames(2);
    EXPECT_EQ(sound->pauseCount, 1);
    EXPECT_EQ(sound->get_volume(), 0.0);
    platform::headless::push_size(window, client.right, client.bottom);
    platform::headless::push_activate(window, true);
    frames(2);
    EXPECT_EQ(sound->pauseCount, 0);
    EXPECT_GT(sound->get_volume(), 0.0);
}

} // namespace
