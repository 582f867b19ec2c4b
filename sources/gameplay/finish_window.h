#pragma once

// The two windows that end a level: the finish window after a win and the game-over
// window after a loss. Each slides in with the level's turns, best combo and score, and
// offers back to the menu, the store, and continue (next level) or restart. The in-level
// screen owns one and advances its slide every frame, also while paused.

#include <memory>
#include <utility>
#include <vector>

#include "game/signal.h"
#include "vadu/atom.h"

class MoveAction;

namespace game {
class ScreenManager;
class ScreenSite;
namespace controls {
class Control;
}
} // namespace game
namespace vadu::lib3d::node {
class Node;
}

namespace gameplay {

class RunningLevel;

class FinishWindow {
public:
    // Seconds a slide takes, in and out.
    static constexpr float SlideTime = 0.5f;

    // Connects the six buttons found among the screen's controls; a missing one is skipped.
    explicit FinishWindow(game::ScreenSite& site);
    // Disconnects from every button still there.
    ~FinishWindow();
    FinishWindow(const FinishWindow&) = delete;
    FinishWindow& operator=(const FinishWindow&) = delete;

    void OpenFinish(int earned, RunningLevel& level);
    void OpenGameover(int earned, RunningLevel& level);
    // Advances the slide; a slide that ends runs its completion and goes.
    void Update(float dt);

    void OnBack();
    void OnStore();
    void OnContinue();
    void OnRestart();

    // Once per player, when every level is completed: the game-complete screen.
    bool TryGameComplete();

    bool IsFinish() const noexcept { return is_finish_; }
    vadu::lib3d::node::Node* GetWindow() const noexcept { return window_; }
    MoveAction* GetSlide() const noexcept { return slide_.get(); }

private:
    struct Connection {
        vadu::Atom name;
        game::controls::Control* control;
        Signal<void(game::controls::Control*)>::Id id;
    };

    void Open(bool finish, int earned, RunningLevel& level);
    // Replaces the slide (the old one unfinished) with one to (x, 0, z).
    void SlideTo(float x, bool easeOut, void (FinishWindow::*done)());
    // Slides out, or leads on at once when no window is shown.
    void SlideOut(float x, void (FinishWindow::*done)());
    static float LayoutWidth();
    game::ScreenManager* Manager();
    void OnBackDone();
    void OnRestartDone();
    void OnContinueDone();
    void ChangeScreen(const char* exit);

    game::ScreenSite& site_;
    RunningLevel* level_ = nullptr;
    std::unique_ptr<MoveAction> slide_;
    vadu::lib3d::node::Node* window_ = nullptr;
    bool is_finish_ = false;
    std::vector<Connection> connections_;
    // Clicks that arrive after the window is gone find this expired.
    std::shared_ptr<FinishWindow*> self_;
};

} // namespace gameplay
