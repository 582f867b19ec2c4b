#pragma once

#include "vadu/math.h"

namespace game::input {

using Point = vadu::math::Vector2<float>;

// Pointer events as the controls receive them; points are in scene coordinates. Every
// operation does nothing here.
class PointingDeviceHandler {
public:
    virtual ~PointingDeviceHandler() = default;
    // The primary button went up over a control that it had pressed.
    virtual void OnClick(const Point& point);
    virtual void OnPress(const Point& point);
    // The primary button went up after pressing the control, wherever the pointer is.
    virtual void OnRelease(const Point& point);
    virtual void OnDrag(const Point& point);
    virtual void OnSecondPress(const Point& point);
    virtual void OnSecondRelease(const Point& point);
    virtual void OnSecondDrag(const Point& point);
    // The pointer came back over, or left, a pressed control.
    virtual void OnEnter();
    virtual void OnLeave();
};

} // namespace game::input
