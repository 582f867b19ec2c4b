#include "sources/application.h"

#include "platform/headless/script.h"
#include "program_folder.h"
#include "vadu/lib3d/node/registry.h"

#include <gtest/gtest.h>

namespace {

// The application needs its data (the demo and cursor scenes), so it runs over the
// program's folder.
class GameApplication : public game_test::ProgramFolderTest {};

TEST_F(GameApplication, BuildsItsOwnFixedSizeWindow)
{
    QuilloTovraApplication application("Quillo Tovra", "");
    const platform::WindowHandle window = application.get_window().window;
    const platform::Rect client = platform::get_client_rect(window);
    EXPECT_EQ(client.right, 512);
    EXPECT_EQ(client.bottom, 512);
    EXPECT_EQ(platform::get_window_style(window),
              platform::ws::CAPTION | platform::ws::SYSMENU | platform::ws::MINIMIZEBOX);
    EXPECT_EQ(platform::get_window_text(window), "Quillo Tovra");
}

TEST_F(GameApplication, StartsAVideoModeThroughTheDeviceBackEndAndKnowsTheNodeTypes)
{
    {
        QuilloTovraApplication application("Quillo Tovra", "-nofullscreen");
        vadu::lib3d::hard::Hardware* hardware = application.get_hardware();
        ASSERT_NE(hardware, nullptr);
        EXPECT_TRUE(hardware->is_operational());
        EXPECT_EQ(hardware->get_attribute_value("Fullscreen"), vadu::String("No (Window mode)"));
        EXPECT_TRUE(application.Render());

        vadu::lib3d::node::Node* node =
            vadu::lib3d::node::create_node(nullptr, vadu::Atom("Node"), vadu::Atom("probe"));
        ASSERT_NE(node, nullptr);
        delete node;
    }
    EXPECT_EQ(vadu::lib3d::node::create_node(nullptr, vadu::Atom("Node"), vadu::Atom("probe")), nullptr);
}

TEST_F(GameApplication, UpdatesUntilToldToQuit)
{
    QuilloTovraApplication application("Quillo Tovra", "");
    EXPECT_TRUE(application.Update(0.1));
    application.Quit();
    EXPECT_FALSE(application.Update(0.1));
}

TEST_F(GameApplication, QuitEndsTheMainLoopAtTheNextFrame)
{
    QuilloTovraApplication application("Quillo Tovra", "");
    application.PostToWindowThread([&application] { application.Quit(); });
    application.run_main_loop(); // no automatic close: only the quit can end it
    EXPECT_EQ(platform::headless::idle_turns(), 1);
    EXPECT_FALSE(platform::is_window(application.get_window().window));
}

} // namespace
