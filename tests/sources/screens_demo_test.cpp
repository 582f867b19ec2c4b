// The demo application on the framework, over the program's real data: the first screen
// is built at start, a click on "Play" pushes the second screen in the same frame, a click
// on "Back" brings the same first screen back, and both screens have golden frames
// (golden/README.md; regenerate with QUILLO_UPDATE_GOLDEN=1).

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "game/screen.h"
#include "game/screen_manager.h"
#include "platform/gfx/present.h"
#include "platform/window.h"
#include "program_folder.h"
#include "fixtures/demo_application.h"
#include "fixtures/demo_screen.h"
#include "fixtures/game_root.h"
#include "support/golden.h"
#include "vadu/lib3d/node/sprite.h"

namespace screens_demo_test_file {

namespace fs = std::filesystem;

std::string scene_name(game::Screen* screen)
{
    if (!screen || !screen->GetSceneRoot())
        return "none";
    const vadu::String name = screen->GetSceneRoot()->get_name().get_name();
    return std::string(name.data(), name.size());
}

DemoScreen* backend_of(game::Screen* screen)
{
    return screen ? dynamic_cast<DemoScreen*>(screen->GetBackend()) : nullptr;
}

// Every sprite of the tree has its picture.
bool pictures_ready(vadu::lib3d::node::Node& node)
{
    if (auto* sprite = dynamic_cast<vadu::lib3d::node::Sprite*>(&node)) {
        if (!sprite->get_texture() || !sprite->get_texture()->is_ready())
            return false;
    }
    for (vadu::lib3d::node::Node* child : node.get_children()) {
        if (!pictures_ready(*child))
            return false;
    }
    return true;
}

class ScreensDemo : public game_test::ProgramFolderTest {
protected:
    void TearDown() override
    {
        app_.reset();
        ProgramFolderTest::TearDown();
    }

    DemoApplication& start()
    {
        app_ = std::make_unique<DemoApplication>(name_.c_str(), "-nofullscreen");
        return *app_;
    }

    // One pass of the main loop: the window's messages, then the frame step.
    void frame(double seconds)
    {
        platform::Message message;
        while (platform::peek_message(&message)) {
            if (!platform::get_message(&message))
                break;
            platform::translate_message(message);
            platform::dispatch_message(message);
        }
        app_->Update(seconds);
    }

    void click(int32_t x, int32_t y)
    {
        const platform::WindowHandle window = app_->get_window().window;
        platform::headless::push_mouse_move(window, x, y);
        platform::headless::push_mouse_button(window, 0, true, x, y);
        platform::headless::push_mouse_button(window, 0, false, x, y);
    }

    game::Screen* current() { return get_current_screen(*app_->get_game_root()); }

    void load_pictures()
    {
        for (int step = 0; step < 5000; ++step) {
            if (pictures_ready(*current()->GetSceneRoot()))
                return;
            app_->Update(0.0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        FAIL() << "the screen's pictures did not load";
    }

    std::string name_ = private_name("screens");
    std::unique_ptr<DemoApplication> app_;
};

// The "Play" sprite stands at (-300, -210) and "Back" at (-300, 210) of an 800 × 600 view
// on the 512 × 512 window.
constexpr int32_t play_x = 64, play_y = 435;
constexpr int32_t back_x = 64, back_y = 77;

TEST_F(ScreensDemo, PlayPushesTheSecondScreenAndBackBringsTheFirstOneBack)
{
    start();
    game::Screen* first = current();
    EXPECT_EQ(scene_name(first), "Menu");
    frame(0.016);
    ASSERT_NE(backend_of(first), nullptr);
    EXPECT_TRUE(backend_of(first)->IsInitialized());

    click(play_x, play_y);
    frame(0.016);
    game::Screen* second = current();
    EXPECT_EQ(scene_name(second), "Second");
    EXPECT_EQ(app_->get_game_root()->GetScreenManager()->GetStackSize(), 1u);
    EXPECT_FALSE(first->GetInputManager()->IsEnabled());
    EXPECT_EQ(backend_of(first)->GetDeactivations(), 1);
    EXPECT_TRUE(backend_of(second)->IsInitialized());

    click(back_x, back_y);
    frame(0.016);
    EXPECT_EQ(current(), first);
    EXPECT_TRUE(first->GetInputManager()->IsEnabled());
    EXPECT_EQ(backend_of(first)->GetActivations(), 1);
    EXPECT_EQ(backend_of(first)->GetDeactivations(), 1);
}

TEST_F(ScreensDemo, ClosingOnTheSecondScreenIsClean)
{
    start();
    frame(0.016);
    click(play_x, play_y);
    frame(0.016);
    ASSERT_EQ(scene_name(current()), "Second");
    app_.reset();
}

TEST_F(ScreensDemo, APurgeShowsTheLoadingStateUntilNothingIsPending)
{
    start();
    load_pictures();
    frame(0.0);
    app_->get_game_root()->Get<game::ApplicationService>()->NotifyPurge();
    EXPECT_TRUE(app_->is_loading_shown());
    frame(0.0);
    EXPECT_FALSE(app_->is_loading_shown());
}

TEST_F(ScreensDemo, GoldenFramesOfBothScreens)
{
    const auto started = std::chrono::steady_clock::now();
    start();
    frame(0.0);
    ASSERT_TRUE(app_->Render());
    const double first_frame = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    RecordProperty("start_to_first_frame_seconds", std::to_string(first_frame));
    std::printf("start to first frame: %.3f s\n", first_frame);

    load_pictures();
    frame(0.0);
    ASSERT_TRUE(app_->Render());
    golden::expect_frame(platform::gfx::last_presented_frame(), fs::path(__FILE__).parent_path() / "golden",
                         "screens_menu");

    click(play_x, play_y);
    frame(0.0);
    ASSERT_EQ(scene_name(current()), "Second");
    load_pictures();
    frame(0.0);
    ASSERT_TRUE(app_->Render());
    golden::expect_frame(platform::gfx::last_presented_frame(), fs::path(__FILE__).parent_path() / "golden",
                         "screens_second");
}

} // namespace screens_demo_test_file
