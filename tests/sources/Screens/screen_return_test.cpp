// The real screens, headless: a screen that comes back from one it pushed takes the
// pointer where it is, not where it last saw it.

#include <gtest/gtest.h>

#include "../shell_app_support.h"
#include "game/controls/control.h"
#include "sources/Screens/level_select_screen.h"
#include "sources/Screens/loading_screen.h"
#include "sources/Screens/main_menu_screen.h"
#include "sources/Screens/splash_screen.h"
#include "sources/Screens/store_screen.h"
#include "sources/profile_manager.h"

namespace {

constexpr double Step = 1.0 / 60.0;

class ScreenReturn : public shell_test::ShellAppTest {
protected:
    // Updates only, but the loading picture moves on once drawn.
    void step() override
    {
        pump_messages();
        app_->Update(Step);
        if (current_backend<LoadingScreen>())
            app_->Render();
    }

    // The client point at the middle of a control's node, once the control takes clicks.
    platform::Point where(const char* name)
    {
        game::Screen* screen = current_screen();
        EXPECT_NE(screen, nullptr);
        if (!screen)
            return {};
        game::controls::Control* control = screen->FindControl(vadu::Atom(name));
        EXPECT_NE(control, nullptr) << name;
        if (!control)
            return {};
        EXPECT_TRUE(run_until([control] { return control->IsEnabled(); }, 180)) << name << " stays disabled";
        vadu::lib3d::node::Node* node = control->GetImpl() ? control->GetImpl()->GetNode() : nullptr;
        EXPECT_NE(node, nullptr) << name;
        if (!node)
            return {};
        // The cameras are 960 x 640 and centred on their position.
        vadu::math::Vector3 at = node->get_global_position();
        if (vadu::lib3d::node::Camera* camera = screen->GetCamera()) {
            const vadu::math::Vector3 centre = camera->get_global_position();
            at.x -= centre.x;
            at.y -= centre.y;
        }
        return {static_cast<int32_t>(at.x + 480.0f), static_cast<int32_t>(320.0f - at.y)};
    }

    // Press and release where the pointer already is: no move comes with them.
    void click_in_place(platform::Point at)
    {
        const platform::WindowHandle window = app_->get_window().window;
        platform::headless::push_mouse_button(window, 0, true, at.x, at.y);
        platform::headless::push_mouse_button(window, 0, false, at.x, at.y);
    }
};

// On the level map the store button pushes the zen store, whose Back button sits where the
// map's own Back button is. Back clicked twice without moving the pointer leaves the store,
// then the map; it does not open the store again.
TEST_F(ScreenReturn, BackClickedTwiceInPlaceGoesBackTwice)
{
    start_game();
    ProfileManager::Instance()->CreateProfile("Ann");
    platform::FitWindowSizeToDesktop(app_->get_window(), 960, 640);
    ASSERT_TRUE(reach<SplashScreen>());
    int frame_number = 0;
    ASSERT_TRUE(run_until([&] {
        // Clicks count from the splash's first second on.
        if (++frame_number % 70 == 0 && current_backend<SplashScreen>())
            click(480, 320);
        return current_backend<MainMenuScreen>() != nullptr;
    }));
    frames(5);
    const platform::Point play = where("playButton");
    click(play.x, play.y);
    ASSERT_TRUE(reach<LevelSelectScreen>());
    frames(5);
    const platform::Point map_back = where("ButtonBack");
    const platform::Point store = where("storeButton");
    click(store.x, store.y);
    ASSERT_TRUE(reach<ZenStoreScreen>());
    frames(5);
    const platform::Point store_back = where("ButtonBack");
    ASSERT_EQ(store_back.x, map_back.x);
    ASSERT_EQ(store_back.y, map_back.y);
    click(store_back.x, store_back.y);
    ASSERT_TRUE(reach<LevelSelectScreen>());
    frames(5);

    click_in_place(store_back);
    bool store_again = false;
    ASSERT_TRUE(run_until([&] {
        store_again = store_again || current_backend<ZenStoreScreen>() != nullptr;
        return current_backend<MainMenuScreen>() != nullptr || store_again;
    }, 300));
    EXPECT_FALSE(store_again) << "the map's store button took the click";
    EXPECT_NE(current_backend<MainMenuScreen>(), nullptr);
}

} // namespace
