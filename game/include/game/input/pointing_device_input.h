#pragma once

// The road from a tap to a control: mouse events become pointer events in scene
// coordinates, the controls under the pointer are found by hit testing, and the controls'
// pointer operations are called. "Mouse" is the primary device, "Mouse2" the second.

#include <list>
#include <memory>
#include <utility>
#include <vector>

#include "game/control_container.h"
#include "game/controls/control.h"
#include "vadu/input.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/math.h"
#include "vadu/weak_ptr.h"

namespace game::input {

// The controls of a source with a hit tester each, built lazily. Only the highest layer
// present among the enabled, visible controls is ever hit.
class HitTestingControlCollection {
public:
    HitTestingControlCollection() = default;
    HitTestingControlCollection(const HitTestingControlCollection&) = delete;
    HitTestingControlCollection& operator=(const HitTestingControlCollection&) = delete;
    ~HitTestingControlCollection();

    void SetSource(ControlContainer* source);
    // The enabled, visible controls of the highest layer present that contain the point,
    // in list order.
    std::vector<controls::Control*> HitTest(double x, double y);
    size_t GetEntryCount() const noexcept { return entries_.size(); }

private:
    void Build();
    void OnControlAdded(controls::Control* control);
    void OnControlRemoved(controls::Control* control);

    ControlContainer* source_ = nullptr;
    ControlContainer::ControlSignal::Id added_id_ = 0;
    ControlContainer::ControlSignal::Id removed_id_ = 0;
    std::vector<std::pair<controls::Control*, std::unique_ptr<controls::HitTester>>> entries_;
};

class PointingDeviceInputManager {
public:
    virtual ~PointingDeviceInputManager() = default;
    // The control's press is cancelled (a release at (-1000, -1000)) after the next event.
    virtual void CancelPress(controls::Control* control) = 0;
};

class PointingDeviceInputManagerImpl : public PointingDeviceInputManager,
                                       public vadu::input::Listener,
                                       public vadu::Trackable {
public:
    // Joins the engine's listeners, disabled.
    PointingDeviceInputManagerImpl();
    ~PointingDeviceInputManagerImpl() override;

    void SetSource(ControlContainer* source);
    // The unprojection becomes the inverse of the camera's projection and global matrix;
    // the identity without a camera.
    void SetCamera(vadu::lib3d::node::Camera* camera);
    void SetEnabled(bool enabled) noexcept { enabled_ = enabled ? 1 : 0; }
    bool IsEnabled() const noexcept { return enabled_ != 0; }

    void on_event(vadu::input::Event& event) override;
    // The same with the device's axes given (tests drive "Mouse2" this way).
    void HandleEvent(vadu::input::Event& event, double axis_x, double axis_y);
    void CancelPress(controls::Control* control) override;
    // Sees the primary pointer where the "Mouse" device now has it, as a move there would,
    // even when it has not moved: a screen that comes back after being covered missed the
    // moves made meanwhile. Nothing while disabled or without a "Mouse" device.
    void RefreshPointer();
    // The same at the given axes (-1 to 1).
    void RefreshPointerAt(double axis_x, double axis_y);

    // The pointer at the device's axes (-1 to 1 across the camera's view, further where the
    // frame shows more of the scene) in scene coordinates, where the controls are hit.
    Point Unproject(double axis_x, double axis_y) const;
    // The same point in the node's own coordinates, for a screen that hit-tests what it
    // draws under that node itself.
    Point UnprojectInto(vadu::lib3d::node::Node& node, double axis_x, double axis_y) const;

    const std::vector<controls::Control*>& GetHovered() const noexcept { return hovered_; }
    const std::vector<controls::Control*>& GetPressed() const noexcept { return pressed_; }
    const Point& GetLastPosition(int device) const noexcept { return last_[device]; }
    const vadu::math::Matrix4& GetUnprojection() const noexcept { return unprojection_; }
    HitTestingControlCollection& GetHitTesting() noexcept { return hit_testing_; }

    // The manager of the screen built last; empty once that screen is gone.
    static PointingDeviceInputManagerImpl* GetMostRecent();
    static void SetMostRecent(PointingDeviceInputManagerImpl* manager);

private:
    // A move of the device's pointer that counts: hover, enter, leave and drags.
    void MovePointer(int device, const Point& point);
    void WorkOffCancelled();
    void OnControlRemoved(controls::Control* control);
    static bool IsExclusive(controls::Control* control);

    ControlContainer* source_ = nullptr;
    ControlContainer::ControlSignal::Id removed_id_ = 0;
    HitTestingControlCollection hit_testing_;
    vadu::math::Matrix4 unprojection_ = vadu::math::Matrix4::identity();
    std::vector<controls::Control*> hovered_;
    std::vector<controls::Control*> pressed_;
    std::list<controls::Control*> cancelled_;
    Point last_[2];
    uint8_t down_[2] = {0, 0};
    uint8_t enabled_ = 0;
};

} // namespace game::input
