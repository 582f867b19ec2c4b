#pragma once

// The small menu screens: the social screen and the game-complete screen.

#include "sources/Screens/menu_screen.h"

namespace vadu::lib3d::node {
class Node;
}

// Rating and sharing buttons that only click, over the store's background, and a way back.
class LikeScreen : public MenuScreen {
public:
    LikeScreen();

protected:
    void Init() override;
    // Nothing advances here, actions included.
    void OnUpdate(double) override {}

private:
    // Connects the handler when the control exists and is a button; else nothing.
    void BindOptionalButton(const vadu::Atom& name, std::function<void()> handler);
};

// Shows its animation one frame after putting it at time 0; its full-screen button leaves
// through "Exit".
class GameCompleteScreen : public MenuScreen {
public:
    GameCompleteScreen();

    void OnExit();
    double GetTime() const noexcept { return time; }

protected:
    void Init() override;
    void OnUpdate(double dt) override;

private:
    double time = -0.001;
    vadu::lib3d::node::Node* animRoot = nullptr;
};
