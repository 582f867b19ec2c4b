// The game-complete screen over the game's own data: its message grows in once, and the
// first click leaves it.

#include <gtest/gtest.h>

#include "../shell_app_support.h"
#include "game/flow.h"
#include "sources/Screens/simple_screens.h"
#include "vadu/lib3d/node/node.h"

namespace {

constexpr double Step = 1.0 / 60.0;

class GameCompleteData : public shell_test::ShellAppTest {
protected:
    // Updates only: nothing here is looked at in a picture.
    void step() override
    {
        pump_messages();
        app_->Update(Step);
    }
};

// The message scales from 0.2 to 1 over its first second on screen and then stays at
// full size: it does not start over.
TEST_F(GameCompleteData, TheMessageGrowsInOneSecondAndThenStays)
{
    start_game();
    game::ScreenManager* manager = app_->root->GetScreenManager();
    game::flow::EntryDefinition* entry = manager->GetFlowManager()->FindEntry("GameComplete");
    ASSERT_NE(entry, nullptr);
    manager->DoChange(entry->GetScreenReference(), false);
    ASSERT_NE(current_backend<GameCompleteScreen>(), nullptr);
    vadu::lib3d::node::Node* message = current_screen()->GetSceneRoot()->find_child(vadu::Atom("AnimRoot"), true);
    ASSERT_NE(message, nullptr);
    ASSERT_TRUE(run_until([message] { return message->is_visible(); }, 600));
    // The frame that shows it moved its animation by one step already.
    struct Sample {
        int frames; // since it was shown, that frame included
        float scale;
    };
    const Sample samples[] = {{15, 0.4f}, {30, 0.6f}, {45, 0.8f}, {60, 1.0f}, {90, 1.0f}, {150, 1.0f}, {300, 1.0f}};
    int shown = 1;
    for (const Sample& sample : samples) {
        frames(sample.frames - shown);
        shown = sample.frames;
        EXPECT_NEAR(message->get_scale().x, sample.scale, 0.001f) << "after " << sample.frames << " frames";
        EXPECT_NEAR(message->get_scale().y, sample.scale, 0.001f) << "after " << sample.frames << " frames";
    }
    EXPECT_NE(current_backend<GameCompleteScreen>(), nullptr);
}

// The player reaches the screen through a button of the level's finish window and clicks
// again without moving the pointer: that first click is taken. The button is the whole
// screen: a click in a corner, after a move, leaves as well. (The walk of the menus leaves
// it for the main menu the same way.)
TEST_F(GameCompleteData, TheFirstClickAnywhereLeavesTheScreen)
{
    struct Case {
        const char* what;
        bool moved; // the pointer moves once the screen is up
        int32_t x;
        int32_t y;
    };
    const Case cases[] = {{"where the pointer rested", false, 360, 440}, {"in a corner", true, 12, 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A game of its own for each case.
        platform::headless::reset();
        platform::headless::set_frame_limit(0);
        platform::headless::set_desktop_size({960, 640});
        start_game();
        // The game's own window, which its screen fills to the corners.
        platform::FitWindowSizeToDesktop(app_->get_window(), 960, 640);
        const platform::WindowHandle window = app_->get_window().window;
        platform::headless::push_mouse_move(window, 360, 440);
        frames(2);
        game::ScreenManager* manager = app_->root->GetScreenManager();
        game::flow::EntryDefinition* entry = manager->GetFlowManager()->FindEntry("GameComplete");
        ASSERT_NE(entry, nullptr);
        manager->DoChange(entry->GetScreenReference(), false);
        ASSERT_NE(current_backend<GameCompleteScreen>(), nullptr);
        // Its button is bound once the screen is set up, a frame later.
        frames(3);
        if (c.moved) {
            platform::headless::push_mouse_move(window, c.x, c.y);
            frames(1);
        }
        platform::headless::push_mouse_button(window, 0, true, c.x, c.y);
        platform::headless::push_mouse_button(window, 0, false, c.x, c.y);
        // The screen was put in place directly, not through the flow: what follows it does
        // not matter here, only that the click leaves it.
        EXPECT_TRUE(run_until([this] { return current_backend<GameCompleteScreen>() == nullptr; }, 5));
        app_.reset();
        ActionManager::ResetGlobal();
        ResetGlobalsForTests();
    }
}

} // namespace
