#pragma once

// A panel that slides open and shut when its button is clicked, fading with the slide while
// an arrow on the button turns half a turn. It runs its two actions itself; the owner calls
// Update every frame.

#include <memory>

#include "game/signal.h"
#include "vadu/atom.h"
#include "vadu/math.h"

class BaseAnimation;

namespace game {
class ScreenSite;
namespace controls {
class ButtonImpl;
class Control;
} // namespace controls
} // namespace game

namespace vadu::lib3d::node {
class Node;
}

class RolloutControl {
public:
    // Throws vadu::Gluck "Unable to find key " + name when the button control is missing.
    RolloutControl(game::ScreenSite* site, const vadu::Atom& buttonName, const vadu::Atom& panelName,
                   const vadu::math::Vector3& closedPosition, const vadu::math::Vector3& openPosition);
    ~RolloutControl();
    RolloutControl(const RolloutControl&) = delete;
    RolloutControl& operator=(const RolloutControl&) = delete;

    // Switches at once; the slide and the arrow follow from where they are now.
    void Toggle();
    void Update(float dt);

    bool IsOpen() const noexcept { return isOpen; }
    vadu::lib3d::node::Node* GetPanel() const { return panel; }
    vadu::lib3d::node::Node* GetArrow() const { return arrow; }
    bool IsSliding() const noexcept { return slideAction != nullptr; }
    bool IsTurning() const noexcept { return arrowAction != nullptr; }

    static constexpr float kDuration = 0.25f;
    // Written out: the arrow stops a hair short of a half turn.
    static constexpr float kOpenAngle = 3.1415f;

private:
    game::ScreenSite* site = nullptr;
    vadu::lib3d::node::Node* panel = nullptr;
    vadu::lib3d::node::Node* buttonNode = nullptr;
    vadu::lib3d::node::Node* arrow = nullptr;
    vadu::math::Vector3 closedPosition;
    vadu::math::Vector3 openPosition;
    std::unique_ptr<BaseAnimation> slideAction;
    std::unique_ptr<BaseAnimation> arrowAction;
    bool isOpen = false;
    game::controls::ButtonImpl* button = nullptr;
    Signal<void(game::controls::Control*)>::Id connection = 0;
};
