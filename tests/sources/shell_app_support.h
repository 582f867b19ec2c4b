#pragma once

// The game's application over the program's folder (or a copy of it that a test breaks),
// headless on a 960 × 640 desktop, with the per-user folder emptied before each test.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "game/controls/control.h"
#include "game/screen.h"
#include "game/screen_manager.h"
#include "platform/folders.h"
#include "platform/gfx/present.h"
#include "platform/headless/script.h"
#include "platform/system.h"
#include "program_folder.h"
#include "sources/application.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/balance.h"
#include "sources/globals.h"
#include "support/temp_folder.h"
#include "vadu/lib3d/node/camera.h"

namespace shell_test {

namespace fs = std::filesystem;

// Where the game keeps the players' files (the tests' main points XDG_DATA_HOME at a
// temporary folder).
inline fs::path user_folder()
{
    const char* home = std::getenv("XDG_DATA_HOME");
    return fs::path(home ? home : "") / "Kembra Entertainment" / "Quillo Tovra";
}

class ShellAppTest : public game_test::ProgramFolderTest {
protected:
    void SetUp() override
    {
        ProgramFolderTest::SetUp();
        std::error_code ignored;
        fs::remove_all(user_folder().parent_path(), ignored);
        platform::headless::set_desktop_size({960, 640});
        platform::clear_recorded_shell_opens();
        platform::gfx::reset_presentation();
    }

    void TearDown() override
    {
        app_.reset();
        QuilloTovraApplication::SetTraceForTests(nullptr);
        ActionManager::ResetGlobal();
        ResetGlobalsForTests();
        platform::clear_recorded_shell_opens();
        ProgramFolderTest::TearDown();
    }

    QuilloTovraApplication& start(const char* command_line = "-nofullscreen")
    {
        app_ = std::make_unique<QuilloTovraApplication>("Quillo Tovra", command_line);
        return *app_;
    }

    // Built and initialized with the narrow description.
    QuilloTovraApplication& start_game()
    {
        start().Initialize(vadu::filesystem::String("data/quillo.game", true));
        return *app_;
    }

    // The program's folder copied into a temporary one, which the application then uses.
    fs::path copy_program_folder()
    {
        const fs::path copy = temp_.root() / "program";
        fs::create_directories(copy);
        fs::copy(fs::path(QUILLO_PROGRAM_FOLDER) / "data", copy / "data", fs::copy_options::recursive);
        fs::copy_file(fs::path(QUILLO_PROGRAM_FOLDER) / "starter.ini", copy / "starter.ini");
        platform::set_folder_override(platform::folder_key_module_file, (copy / "quillo").string());
        return copy;
    }

    // The copied program's flow starts at `screen` instead of the splash.
    static void start_flow_at(const fs::path& copy, const std::string& screen)
    {
        const fs::path file = copy / "data" / "flow.xml";
        std::stringstream flow;
        flow << std::ifstream(file, std::ios::binary).rdbuf();
        std::string text = flow.str();
        const std::string start = "<Flow Start=\"Splash\">";
        const size_t at = text.find(start);
        ASSERT_NE(at, std::string::npos) << file;
        text.replace(at, start.size(), "<Flow Start=\"" + screen + "\">");
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    }

    game::Screen* current_screen() const
    {
        game::ScreenManager* manager = app_ && app_->root ? app_->root->GetScreenManager() : nullptr;
        return manager ? manager->GetCurrentScreen() : nullptr;
    }

    template <class Backend>
    Backend* current_backend() const
    {
        game::Screen* screen = current_screen();
        return screen ? dynamic_cast<Backend*>(screen->GetBackend()) : nullptr;
    }

    // The window's messages, as the main loop takes them.
    static void pump_messages()
    {
        platform::Message message;
        while (platform::peek_message(&message)) {
            if (!platform::get_message(&message))
                break;
            platform::translate_message(message);
            platform::dispatch_message(message);
        }
    }

    // One pass of the main loop: the window's messages, the update, the frame.
    void frame(double seconds)
    {
        pump_messages();
        app_->Update(seconds);
        app_->Render();
    }

    // One game frame of 1/60 s; a suite may skip drawing the frames it does not look at.
    virtual void step() { frame(1.0 / 60.0); }

    // Steps until the condition holds; false when it never did.
    bool run_until(const std::function<bool()>& done, int max_frames = 1200)
    {
        for (int i = 0; i < max_frames; ++i) {
            if (done())
                return true;
            step();
        }
        return done();
    }

    void frames(int count)
    {
        for (int i = 0; i < count; ++i)
            step();
    }

    template <class Backend>
    bool reach()
    {
        return run_until([this] { return current_backend<Backend>() != nullptr; });
    }

    void click(int32_t x, int32_t y)
    {
        const platform::WindowHandle window = app_->get_window().window;
        platform::headless::push_mouse_move(window, x, y);
        platform::headless::push_mouse_button(window, 0, true, x, y);
        platform::headless::push_mouse_button(window, 0, false, x, y);
    }

    // A click at the middle of a control's node, once the control takes clicks, in a window
    // that shows the game's 960 x 640 view one to one.
    void click_control(const char* name)
    {
        game::Screen* screen = current_screen();
        ASSERT_NE(screen, nullptr);
        game::controls::Control* control = screen->FindControl(vadu::Atom(name));
        ASSERT_NE(control, nullptr) << name;
        ASSERT_TRUE(run_until([control] { return control->IsEnabled(); }, 180)) << name << " stays disabled";
        vadu::lib3d::node::Node* node = control->GetImpl() ? control->GetImpl()->GetNode() : nullptr;
        ASSERT_NE(node, nullptr) << name;
        // The cameras are 960 x 640 and centred on their position.
        vadu::math::Vector3 at = node->get_global_position();
        if (vadu::lib3d::node::Camera* camera = screen->GetCamera()) {
            const vadu::math::Vector3 centre = camera->get_global_position();
            at.x -= centre.x;
            at.y -= centre.y;
        }
        click(static_cast<int32_t>(at.x + 480.0f), static_cast<int32_t>(320.0f - at.y));
    }

    void type(const char* text)
    {
        for (const char* c = text; *c; ++c)
            platform::headless::push_char(app_->get_window().window, static_cast<unsigned char>(*c));
    }

    static uint64_t frames_presented() { return platform::gfx::last_presented_frame().number; }

    test_support::TempFolder temp_{"quillo-shell"};
    std::unique_ptr<QuilloTovraApplication> app_;
};

} // namespace shell_test
