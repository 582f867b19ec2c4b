#pragma once

// Shared by the menu screen tests: the shell's data world (game folder with a level list,
// a per-user folder, silent sound), a screen with a scene built in code, buttons, sliders
// and scrolls bound to its nodes, and a screen manager that records the exits it is asked
// for. Decorations files are not read: the menus get a bare background unless a test
// gives them one.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../shell_data_support.h"
#include "game/controls/button.h"
#include "game/controls/more_controls.h"
#include "game/screen.h"
#include "game/screen_manager.h"
#include "game/service_provider.h"
#include "sources/Screens/leaderboards_screen.h"
#include "sources/Screens/menu_screen.h"
#include "sources/Screens/store_manager.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/decorations.h"
#include "sources/gameplay/cheat_codes.h"
#include "vadu/animate/soul.h"
#include "vadu/dictionary.h"
#include "vadu/exception.h"
#include "vadu/font/text.h"
#include "vadu/input.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/sprite.h"

namespace menu_test {

inline std::string to_std(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

// Keeps every request instead of changing screens.
class RecordingScreenManager : public game::ScreenManager {
public:
    void ChangeScreen(const vadu::String& exit_name, bool purge) override
    {
        requests.push_back("change " + to_std(exit_name) + (purge ? " purge" : ""));
    }
    void ResetToScreen(const vadu::String& exit_name, bool purge) override
    {
        requests.push_back("reset " + to_std(exit_name) + (purge ? " purge" : ""));
    }
    void PushScreen(const vadu::String& exit_name) override { requests.push_back("push " + to_std(exit_name)); }
    std::vector<std::string> requests;
};

class MenuTest : public shell_data_test::ShellDataTest {
protected:
    void SetUp() override
    {
        ShellDataTest::SetUp();
        souls_ = std::make_unique<vadu::animate::Soul::Creator>();
        dictionary_ = std::make_unique<vadu::DictionaryHolder::Creator>();
        input_ = std::make_unique<vadu::input::Manager::Creator>();
        auto manager = std::make_unique<RecordingScreenManager>();
        screens = manager.get();
        provider = std::make_unique<game::ServiceProvider>();
        provider->Register<game::ScreenManager>(std::move(manager));
        SetUpScreen();
        ActionManager::ResetGlobal();
        MenuScreen::SetDecorationsLoader([](const vadu::filesystem::String&) { return nullptr; });
        MenuScreen::SetClickSound([this] { sounds.push_back("click"); });
        MenuScreen::SetMainTheme([this] { sounds.push_back("theme"); });
    }
    void TearDown() override
    {
        screen.reset();
        provider.reset();
        ActionManager::ResetGlobal();
        gameplay::CheatCodes::ResetForTests();
        MenuScreen::SetDecorationsLoader(nullptr);
        MenuScreen::SetClickSound(nullptr);
        MenuScreen::SetMainTheme(nullptr);
        StoreManager::ResetInstance();
        Leaderboards::ResetInstance();
        input_.reset();
        dictionary_.reset();
        souls_.reset();
        ShellDataTest::TearDown();
    }

    // A fresh screen with an empty scene.
    void SetUpScreen()
    {
        screen.reset();
        screen = std::make_unique<game::Screen>(provider.get());
        screen->SetSceneRoot(std::make_unique<vadu::lib3d::node::Node>(vadu::Atom("Scene"), nullptr));
        root = screen->GetSceneRoot();
    }

    // Attaches the backend and runs its set-up as the scheduler would a frame later.
    template <class T>
    T* attach(std::unique_ptr<T> backend)
    {
        T* raw = backend.get();
        screen->SetBackend(std::move(backend));
        raw->OnInitialized();
        return raw;
    }

    vadu::lib3d::node::Node* node(const char* name, vadu::lib3d::node::Node* parent = nullptr, float x = 0.0f,
                                  float y = 0.0f)
    {
        auto* made = new vadu::lib3d::node::Node(vadu::Atom(name), parent ? parent : root);
        made->set_position({x, y, 0.0f});
        return made;
    }
    vadu::lib3d::node::Sprite* sprite(const char* name, vadu::lib3d::node::Node* parent = nullptr)
    {
        return new vadu::lib3d::node::Sprite(vadu::Atom(name), parent ? parent : root);
    }
    vadu::lib3d::node::Text* text(const char* name, vadu::lib3d::node::Node* parent = nullptr)
    {
        return new vadu::lib3d::node::Text(vadu::Atom(name), parent ? parent : root);
    }
    vadu::lib3d::node::Node* find(const char* name) { return root->find_child(vadu::Atom(name), true); }

    // A button control over a node of the same name (made when missing).
    game::controls::Button* button(const char* name, const char* node_name = nullptr)
    {
        const char* bound = node_name ? node_name : name;
        if (!find(bound))
            node(bound);
        auto control = std::make_unique<game::controls::Button>();
        control->SetName(vadu::Atom(name));
        control->SetSceneRoot(root);
        control->GetButtonImpl()->SetNodeName(bound);
        auto* raw = control.get();
        screen->AddControl(std::move(control));
        return raw;
    }
    game::controls::Slider* slider(const char* name)
    {
        auto control = std::make_unique<game::controls::Slider>();
        control->SetName(vadu::Atom(name));
        control->SetSceneRoot(root);
        auto* raw = control.get();
        screen->AddControl(std::move(control));
        return raw;
    }
    // The hit area is the page.
    game::controls::Scroll* scroll(const char* name, float content_w, float content_h, float page_w, float page_h)
    {
        auto control = std::make_unique<game::controls::Scroll>();
        control->SetName(vadu::Atom(name));
        control->SetSceneRoot(root);
        control->GetScrollImpl()->SetRectangle(0.0f, 0.0f, page_w, page_h);
        control->GetScrollImpl()->SetContentSize(content_w, content_h);
        auto* raw = control.get();
        screen->AddControl(std::move(control));
        return raw;
    }
    static void click(game::controls::Control* control)
    {
        game::controls::as_button(control)->GetClickSignal().Emit(control);
    }
    game::controls::Control* control(const char* name) { return screen->FindControl(vadu::Atom(name)); }

    static std::string text_of(vadu::lib3d::node::Node* node)
    {
        auto* shown = dynamic_cast<vadu::lib3d::node::Text*>(node);
        if (!shown)
            return "<no text>";
        std::string out;
        const vadu::WString& shown_text = shown->get_text();
        for (size_t i = 0; i < shown_text.size(); ++i) {
            const char16_t c = shown_text.data()[i];
            out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        }
        return out;
    }
    static std::string gluck_of(const std::function<void()>& action)
    {
        try {
            action();
        } catch (const vadu::Gluck& error) {
            return to_std(error.get_description());
        }
        return "";
    }

    std::unique_ptr<vadu::animate::Soul::Creator> souls_;
    std::unique_ptr<vadu::DictionaryHolder::Creator> dictionary_;
    std::unique_ptr<vadu::input::Manager::Creator> input_;
    std::unique_ptr<game::ServiceProvider> provider;
    RecordingScreenManager* screens = nullptr;
    std::unique_ptr<game::Screen> screen;
    vadu::lib3d::node::Node* root = nullptr;
    std::vector<std::string> sounds;
};

} // namespace menu_test
