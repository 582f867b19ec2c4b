// The splash and the loading screen in the game's flow, over the program's data, with a
// stepped clock: the logos' cross-fades, skipping by a click, the exit to the loading
// picture, which moves on only after it was drawn; golden frames of both screens
// (golden/README.md; regenerate with QUILLO_UPDATE_GOLDEN=1).

#include "sources/Screens/loading_screen.h"
#include "sources/Screens/splash_screen.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "../shell_app_support.h"
#include "game/controls/button.h"
#include "sources/gameplay/actions.h"
#include "sources/resource_configuration.h"
#include "support/golden.h"
#include "vadu/exception.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/node/sprite.h"

namespace splash_screen_test_file {

namespace fs = std::filesystem;
using vadu::lib3d::node::Sprite;

class Splash : public shell_test::ShellAppTest {
protected:
    // Messages and the update, without drawing.
    void step(double seconds)
    {
        platform::Message message;
        while (platform::peek_message(&message)) {
            if (!platform::get_message(&message))
                break;
            platform::translate_message(message);
            platform::dispatch_message(message);
        }
        app_->Update(seconds);
        clock_ += seconds;
    }

    void run_until(double time)
    {
        while (clock_ < time - 1e-6)
            step(0.1);
    }

    // The copies of the prototype, in showing order.
    std::vector<Sprite*> pictures() const
    {
        std::vector<Sprite*> found;
        game::Screen* screen = current_screen();
        if (!screen || !screen->GetSceneRoot())
            return found;
        bool prototype = true;
        for (auto* child : screen->GetSceneRoot()->get_children()) {
            auto* sprite = dynamic_cast<Sprite*>(child);
            if (!sprite || !(sprite->get_name() == vadu::Atom("logo_prototype")))
                continue;
            if (!prototype)
                found.push_back(sprite);
            prototype = false;
        }
        return found;
    }

    bool on_loading_screen() const { return current_backend<LoadingScreen>() != nullptr; }

    void begin()
    {
        start_game();
        step(0.0); // the splash sets itself up through the scheduler
        clock_ = 0.0;
        ASSERT_NE(current_backend<SplashScreen>(), nullptr);
        ASSERT_EQ(pictures().size(), 2u);
    }

    double clock_ = 0.0;
};

TEST_F(Splash, TwoLogosCrossFadeThenTheLoadingPictureFollows)
{
    begin();
    SplashScreen* splash = current_backend<SplashScreen>();
    EXPECT_EQ(splash->publisherPictureCount, 0);
    // Only the game's logos: no publisher pictures and no third logo are shipped.
    const std::vector<Sprite*> logos = pictures();
    EXPECT_EQ(logos[0]->get_width(), logos[1]->get_width());

    struct Moment {
        double time;
        double first_low, first_high;   // transparency of the first logo
        double second_low, second_high; // and of the second
    };
    const Moment moments[] = {
        {0.5, 0.3, 0.7, 1.0, 1.0},  // the first fades in
        {2.0, 0.0, 0.0, 1.0, 1.0},  // and holds
        {3.5, 0.2, 0.8, 0.2, 0.8},  // the cross-fade
        {5.0, 1.0, 1.0, 0.0, 0.0},  // the second holds
    };
    for (const Moment& m : moments) {
        run_until(m.time);
        SCOPED_TRACE(m.time);
        EXPECT_GE(logos[0]->get_transparency(), m.first_low - 1e-6);
        EXPECT_LE(logos[0]->get_transparency(), m.first_high + 1e-6);
        EXPECT_GE(logos[1]->get_transparency(), m.second_low - 1e-6);
        EXPECT_LE(logos[1]->get_transparency(), m.second_high + 1e-6);
    }
    // The last picture fades out during 6 to 7 s.
    run_until(6.5);
    EXPECT_GT(logos[1]->get_transparency(), 0.2);
    EXPECT_LT(logos[1]->get_transparency(), 0.8);
    EXPECT_FALSE(on_loading_screen());
    // The exit at 3N + 1 = 7 s (a few frames later: steps do not carry time over).
    run_until(7.6);
    EXPECT_TRUE(on_loading_screen());
}

TEST_F(Splash, AClickSkipsToTheNextFullyShownPictureOnceTheFirstLogoIsIn)
{
    struct Case {
        const char* what;
        double click;
        // Right after the click: the transparencies, or -1 for "still fading".
        double first;
        double second;
        bool leaves;
    };
    const Case cases[] = {
        {"too early", 0.5, -1.0, 1.0, false},
        {"first logo's hold", 2.0, 1.0, 0.0, false},
        {"during the cross-fade", 3.5, 1.0, 0.0, false},
        {"last logo's hold", 5.0, 1.0, 1.0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        begin();
        run_until(c.click);
        // Off the centre: the pointer input starts there and would see no move.
        click(300, 200);
        step(0.1); // the click reaches the screen in this update
        const std::vector<Sprite*> logos = pictures();
        if (c.first < 0.0) {
            EXPECT_GT(logos[0]->get_transparency(), 0.05);
            EXPECT_LT(logos[0]->get_transparency(), 0.95);
        } else {
            EXPECT_NEAR(logos[0]->get_transparency(), c.first, 1e-6);
        }
        EXPECT_NEAR(logos[1]->get_transparency(), c.second, 1e-6);
        SplashScreen* splash = current_backend<SplashScreen>();
        ASSERT_NE(splash, nullptr);
        if (c.leaves) {
            // The sequence has ended; a click now must not reach it.
            EXPECT_EQ(splash->sequence, nullptr);
            splash->OnSkip();
            step(0.1);
            EXPECT_TRUE(on_loading_screen());
        } else {
            EXPECT_NE(splash->sequence, nullptr);
            step(0.1);
            EXPECT_FALSE(on_loading_screen());
        }
        app_.reset();
        ActionManager::ResetGlobal();
    }
}

TEST_F(Splash, APublishersPictureFillsANarrowDesktopAndCannotBeSkipped)
{
    struct Case {
        platform::Size desktop;
        bool widened; // the publisher's picture set to 1025 pixels
    };
    const Case cases[] = {{{1024, 768}, true}, {{1280, 1024}, true}, {{1920, 1080}, false}};
    const fs::path program = copy_program_folder();
    fs::create_directories(program / "fsdata");
    // Only its presence counts here; the picture itself need not load.
    std::ofstream(program / "fsdata/splash1.jpg") << "not a picture";
    vadu::PlatformInfo::install(new GamePlatformInfo());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.desktop.width) + "x" + std::to_string(c.desktop.height));
        platform::headless::set_desktop_size(c.desktop);
        start_game();
        step(0.0);
        clock_ = 0.0;
        SplashScreen* splash = current_backend<SplashScreen>();
        ASSERT_NE(splash, nullptr);
        EXPECT_EQ(splash->publisherPictureCount, 1);
        const std::vector<Sprite*> shown = pictures();
        ASSERT_EQ(shown.size(), 3u);
        const int logo_width = shown[1]->get_width();
        // Otherwise it keeps the prototype's (unset) width: its picture's, none here.
        EXPECT_EQ(shown[0]->get_width() == 1025, c.widened);
        EXPECT_EQ(shown[2]->get_width(), logo_width);
        // Skipping starts when the first logo is in, at 3 s per publisher picture + 1 s.
        run_until(2.0);
        click(300, 200);
        step(0.1);
        EXPECT_NEAR(shown[0]->get_transparency(), 0.0, 1e-6);
        EXPECT_NEAR(shown[1]->get_transparency(), 1.0, 1e-6);
        run_until(4.5);
        click(300, 200);
        step(0.1);
        EXPECT_NEAR(shown[1]->get_transparency(), 1.0, 1e-6);
        EXPECT_NEAR(shown[2]->get_transparency(), 0.0, 1e-6);
        app_.reset();
        ActionManager::ResetGlobal();
    }
}

TEST_F(Splash, WithoutItsButtonTheSplashStops)
{
    start_game();
    game::Screen screen(app_->root.get());
    auto scene = std::make_unique<vadu::lib3d::node::Node>(vadu::Atom("Splash"), nullptr);
    auto* prototype = new Sprite(vadu::Atom("logo_prototype"), scene.get());
    prototype->set_transparency(1.0f);
    screen.SetSceneRoot(std::move(scene));
    screen.SetBackend(SplashScreen_Create());
    try {
        screen.GetBackend()->OnInitialized();
        ADD_FAILURE() << "no error";
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(std::string(error.get_function().c_str()), "SplashScreen::OnInitialized");
        EXPECT_EQ(std::string(error.get_description().c_str()), "Unable to find key Btn");
    }
}

// Records the exits asked for instead of changing screens.
class RecordingScreenManager : public game::ScreenManager {
public:
    void ChangeScreen(const vadu::String& exit_name, bool purge) override
    {
        changes.push_back(std::string(exit_name.c_str()) + (purge ? " (purge)" : ""));
    }
    std::vector<std::string> changes;
};

TEST_F(Splash, TheLoadingScreenMovesOnOnlyAfterItWasDrawnAndOnlyOnce)
{
    QuilloTovraApplication& app = start();
    game::ServiceProvider services;
    auto recording = std::make_unique<RecordingScreenManager>();
    RecordingScreenManager* manager = recording.get();
    services.Register<game::ScreenManager>(std::move(recording));
    game::Screen screen(&services);
    screen.SetBackend(LoadingScreen_Create());
    auto* loading = static_cast<LoadingScreen*>(screen.GetBackend());
    vadu::lib3d::hard::RenderList list;

    // Updates alone never move on.
    for (int i = 0; i < 5; ++i)
        loading->Update(0.5);
    EXPECT_TRUE(manager->changes.empty());
    loading->Render(*app.get_hardware(), list);
    EXPECT_EQ(loading->armed, 1);
    EXPECT_TRUE(manager->changes.empty());
    for (int i = 0; i < 3; ++i)
        loading->Render(*app.get_hardware(), list);
    EXPECT_EQ(manager->changes, std::vector<std::string>{"Continue"});
    EXPECT_EQ(loading->sent, 1);
}

TEST_F(Splash, GoldenFramesOfTheSplashAndTheLoadingPicture)
{
    begin();
    // The game's own window size, as the entry gives it on this desktop.
    platform::FitWindowSizeToDesktop(app_->get_window(), 960, 640);
    const fs::path golden_folder = fs::path(__FILE__).parent_path().parent_path() / "golden";
    struct Shot {
        double time;
        const char* name;
    };
    const Shot shots[] = {{2.0, "splash_logo"}, {3.5, "splash_crossfade"}, {7.6, "loading_screen"}};
    for (const Shot& shot : shots) {
        run_until(shot.time);
        // The first frame after a size change resets the device and shows nothing.
        const uint64_t before = frames_presented();
        for (int attempt = 0; attempt < 3 && frames_presented() == before; ++attempt)
            ASSERT_TRUE(app_->Render());
        const platform::gfx::PresentedFrame& frame = platform::gfx::last_presented_frame();
        ASSERT_EQ(frame.width, 960u);
        ASSERT_EQ(frame.height, 640u);
        golden::expect_frame(frame, golden_folder, shot.name);
    }
    EXPECT_TRUE(on_loading_screen());
}

} // namespace splash_screen_test_file
