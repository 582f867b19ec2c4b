#pragma once

// The common base of the game shell's menu screens: a drifting background of decorations
// read from the screen's decorations file, a fixed order of set-up (the decorations, then
// the screen's own Init), look-ups of named controls that test the control's type, and the
// click-then-leave pattern of the menu buttons.

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "game/controls/button.h"
#include "game/controls/more_controls.h"
#include "game/screen_backend.h"
#include "vadu/atom.h"
#include "vadu/path.h"

namespace gameplay {
class Decorations;
}
namespace vadu::lib3d::node {
class Node;
}

class MenuScreen : public game::ScreenBackend {
public:
    // Reads a decorations file into a background; a null result leaves the screen bare.
    using DecorationsLoader = std::function<std::unique_ptr<gameplay::Decorations>(const vadu::filesystem::String&)>;
    // The click sound of every menu button.
    using ClickSound = std::function<void()>;

    ~MenuScreen() override;

    // The decorations drift, then the screen's own per-frame work; nothing before
    // OnInitialized has run.
    void Update(double dt) override;
    // Loads the decorations, builds them under "DecorationsRoot" (the scene root or one of
    // its direct children; else the root) and calls Init.
    void OnInitialized() override;

    // Throw vadu::Gluck "Unable to find key " + name when the control is missing or of
    // another type.
    game::controls::Button* GetButton(const vadu::Atom& name);
    game::controls::Slider* GetSlider(const vadu::Atom& name);

    // "DecorationsRoot" when it is the scene root or one of its direct children, else the
    // scene root.
    vadu::lib3d::node::Node* GetDecorationsParent() const;

    const vadu::filesystem::String& GetDecorationsPath() const noexcept { return decorationsPath; }
    gameplay::Decorations* GetDecorations() const noexcept { return decorations.get(); }

    // Replaces how decorations files are read and how the click sounds (tests); an empty
    // function brings the game's own back.
    static void SetDecorationsLoader(DecorationsLoader loader);
    static void SetClickSound(ClickSound sound);
    static void SetMainTheme(ClickSound music);
    static void PlayClick();
    static void PlayMainTheme();

protected:
    explicit MenuScreen(const char* path);

    virtual void Init() = 0;
    // The common body runs the global ActionManager.
    virtual void OnUpdate(double dt);

    // Connects a handler to the click of a button found with GetButton; the connection is
    // dropped with the screen.
    void BindButton(const vadu::Atom& name, std::function<void()> handler);
    // The same for a button found some other way.
    void Connect(game::controls::ButtonImpl* button, std::function<void(game::controls::Control*)> handler);

    vadu::lib3d::node::Node* GetSceneRoot() const;
    // Recursive search from the scene root; null when absent.
    vadu::lib3d::node::Node* FindNode(const vadu::Atom& name) const;
    // The scene root itself or one of its direct children.
    vadu::lib3d::node::Node* FindTopNode(const vadu::Atom& name) const;

    // Flow exits through the screen manager.
    void ChangeScreen(const char* exit);
    void PushScreen(const char* exit);
    // Click, then back to the main menu with an empty stack: a main menu stacked below
    // a pushed screen is destroyed instead of left listening to the keyboard.
    void BackToMenu();

    vadu::filesystem::String decorationsPath;
    std::unique_ptr<gameplay::Decorations> decorations;

private:
    // The dots of a paged scroll find their nodes and bind their buttons as the screen does.
    friend class PageDots;

    std::vector<std::pair<game::controls::ButtonImpl*, uint32_t>> connections;
    bool initialized = false;
};
