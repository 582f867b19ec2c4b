#pragma once

// The demo's screen backend until the game shell brings its own: a "Play" button pushes
// the flow's exit "Next", a "Back" button goes back to the covered screen.

#include <cstdint>
#include <memory>

#include "game/controls/button.h"
#include "game/screen_backend.h"
#include "sources/demo_world.h"

class DemoScreen : public game::ScreenBackend {
public:
    DemoScreen() = default;
    // Leaves the buttons' click signals (the screen destroys its backend before them).
    ~DemoScreen() override;

    void Update(double seconds) override;
    // Connects to the screen's "Play" and "Back" buttons, whichever it has, and starts
    // the physics world where the scene has its balls.
    void OnInitialized() override;
    void OnActivate() override;
    void OnDeactivate() override;

    int GetActivations() const noexcept { return activations_; }
    int GetDeactivations() const noexcept { return deactivations_; }
    bool IsInitialized() const noexcept { return initialized_; }

private:
    struct Connection {
        game::controls::ButtonImpl* button = nullptr;
        uint32_t id = 0;
    };
    void Connect(const char* name, Connection& connection, bool push);

    // The falling balls, on the screen whose scene has them.
    std::unique_ptr<DemoWorld> world_;
    Connection play_;
    Connection back_;
    int activations_ = 0;
    int deactivations_ = 0;
    bool initialized_ = false;
};
