#include "sources/application.h"

#include "platform/headless/script.h"

#include <gtest/gtest.h>

namespace {

class GameApplication : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::headless::reset();
        platform::headless::set_frame_limit(0);
    }
    void TearDown() override { platform::headless::reset(); }
};

TEST_F(GameApplication, BuildsItsOwnFixedSizeWindow)
{
    QuilloTovraApplication application("Quillo Tovra");
    const platform::WindowHandle window = application.get_window().window;
    const platform::Rect client = platform::get_client_rect(window);
    EXPECT_EQ(client.right, 512);
    EXPECT_EQ(client.bottom, 512);
    EXPECT_EQ(platform::get_window_style(window),
              platform::ws::CAPTION | platform::ws::SYSMENU | platform::ws::MINIMIZEBOX);
    EXPECT_EQ(platform::get_window_text(window), "Quillo Tovra");
}

TEST_F(GameApplication, UpdatesUntilToldToQuit)
{
    QuilloTovraApplication application("Quillo Tovra");
    EXPECT_TRUE(application.Update(0.1));
    application.Quit();
    EXPECT_FALSE(application.Update(0.1));
}

TEST_F(GameApplication, QuitEndsTheMainLoopAtTheNextFrame)
{
    QuilloTovraApplication application("Quillo Tovra");
    application.PostToWindowThread([&application] { application.Quit(); });
    application.run_main_loop(); // no automatic close: only the quit can end it
    EXPECT_EQ(platform::headless::idle_turns(), 1);
    EXPECT_FALSE(platform::is_window(application.get_window().window));
}

} // namespace
