#pragma once

// What holds a screen's controls, as the pointer input and the loaders see it.

#include <memory>
#include <vector>

#include "game/signal.h"
#include "vadu/atom.h"

namespace game {

namespace controls {
class Control;
}

class ControlEnumerator {
public:
    virtual ~ControlEnumerator() = default;
    // The first call moves to the first control; the result says whether it stands on one.
    virtual bool MoveNext() = 0;
    // Null before the first MoveNext and past the end.
    virtual controls::Control* Current() = 0;
};

class ControlContainer {
public:
    using ControlSignal = Signal<void(controls::Control*)>;

    virtual ~ControlContainer() = default;
    virtual controls::Control* FindControl(const vadu::Atom& name) = 0;
    virtual std::unique_ptr<ControlEnumerator> EnumerateControls() = 0;
    // Takes ownership.
    virtual void AddControl(std::unique_ptr<controls::Control> control) = 0;
    // Gives ownership back; null when the control is not held.
    virtual std::unique_ptr<controls::Control> RemoveControl(controls::Control* control) = 0;

    ControlSignal& GetControlAddedSignal() noexcept { return control_added_; }
    ControlSignal& GetControlRemovedSignal() noexcept { return control_removed_; }

protected:
    ControlSignal control_added_;
    ControlSignal control_removed_;
};

} // namespace game
