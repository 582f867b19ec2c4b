#include "game/input/pointing_device_input.h"

#include <algorithm>
#include <cmath>

namespace game::input {

using controls::Control;

namespace {

bool contains(const std::vector<Control*>& list, Control* control)
{
    return std::find(list.begin(), list.end(), control) != list.end();
}

void erase_all(std::vector<Control*>& list, Control* control)
{
    list.erase(std::remove(list.begin(), list.end(), control), list.end());
}

// Passed over by hit testing: disabled, or bound to a hidden node.
bool passed_over(Control* control)
{
    if (!control->IsEnabled())
        return true;
    controls::ControlImpl* impl = control->GetImpl();
    vadu::lib3d::node::Node* node = impl ? impl->GetNode() : nullptr;
    return node && !node->is_visible();
}

vadu::WeakPtr& most_recent()
{
    static vadu::WeakPtr pointer;
    return pointer;
}

} // namespace

HitTestingControlCollection::~HitTestingControlCollection()
{
    SetSource(nullptr);
}

void HitTestingControlCollection::SetSource(ControlContainer* source)
{
    entries_.clear();
    if (source_) {
        source_->GetControlAddedSignal().Disconnect(added_id_);
        source_->GetControlRemovedSignal().Disconnect(removed_id_);
    }
    source_ = source;
    if (source_) {
        added_id_ = source_->GetControlAddedSignal().Connect([this](Control* control) { OnControlAdded(control); });
        removed_id_ =
            source_->GetControlRemovedSignal().Connect([this](Control* control) { OnControlRemoved(control); });
    }
}

void HitTestingControlCollection::OnControlAdded(Control* control)
{
    if (entries_.empty() || !control || !control->GetImpl())
        return;
    auto tester = std::make_unique<controls::HitTester>();
    if (tester->Accept(*control->GetImpl()->GetHitArea()))
        entries_.emplace_back(control, std::move(tester));
}

void HitTestingControlCollection::OnControlRemoved(Control* control)
{
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [control](const auto& entry) { return entry.first == control; }),
                   entries_.end());
}

void HitTestingControlCollection::Build()
{
    entries_.clear();
    std::unique_ptr<ControlEnumerator> enumerator = source_->EnumerateControls();
    while (enumerator && enumerator->MoveNext()) {
        Control* control = enumerator->Current();
        if (!control || !control->GetImpl())
            continue;
        auto tester = std::make_unique<controls::HitTester>();
        if (tester->Accept(*control->GetImpl()->GetHitArea()))
            entries_.emplace_back(control, std::move(tester));
    }
}

std::vector<Control*> HitTestingControlCollection::HitTest(double x, double y)
{
    std::vector<Control*> result;
    if (!source_)
        return result;
    if (entries_.empty())
        Build();
    // The starting layer is that of the first entry taking part: a disabled or hidden
    // control listed first must not decide which layer is hit.
    bool have_layer = false;
    int32_t layer = 0;
    for (auto& [control, tester] : entries_) {
        if (passed_over(control))
            continue;
        if (!have_layer) {
            layer = control->GetLayer();
            have_layer = true;
        }
        if (control->GetLayer() < layer)
            continue;
        if (control->GetLayer() > layer) {
            result.clear();
            layer = control->GetLayer();
        }
        // Each test reads the control's current area.
        tester->Accept(*control->GetImpl()->GetHitArea());
        if (tester->Test(x, y))
            result.push_back(control);
    }
    return result;
}

PointingDeviceInputManagerImpl::PointingDeviceInputManagerImpl()
{
    const Point smallest{1.17549435e-38f, 1.17549435e-38f};
    last_[0] = smallest;
    last_[1] = smallest;
}

PointingDeviceInputManagerImpl::~PointingDeviceInputManagerImpl()
{
    cancelled_.clear();
    hovered_.clear();
    pressed_.clear();
    if (source_)
        source_->GetControlRemovedSignal().Disconnect(removed_id_);
    hit_testing_.SetSource(nullptr);
}

PointingDeviceInputManagerImpl* PointingDeviceInputManagerImpl::GetMostRecent()
{
    return static_cast<PointingDeviceInputManagerImpl*>(most_recent().get());
}

void PointingDeviceInputManagerImpl::SetMostRecent(PointingDeviceInputManagerImpl* manager)
{
    most_recent().assign(manager);
}

void PointingDeviceInputManagerImpl::SetSource(ControlContainer* source)
{
    if (source_ && source_ != source) {
        hovered_.clear();
        pressed_.clear();
        source_->GetControlRemovedSignal().Disconnect(removed_id_);
        source_ = nullptr;
    }
    if (source && source_ != source) {
        source_ = source;
        removed_id_ = source->GetControlRemovedSignal().Connect([this](Control* control) { OnControlRemoved(control); });
    }
    hit_testing_.SetSource(source);
}

void PointingDeviceInputManagerImpl::SetCamera(vadu::lib3d::node::Camera* camera)
{
    if (!camera) {
        unprojection_ = vadu::math::Matrix4::identity();
        return;
    }
    // Scene to device is projection × inverse(camera global), column style; its inverse
    // takes a device point back into the scene.
    const vadu::lib3d::node::Camera::Params& params = camera->setup();
    vadu::math::Matrix4 unprojection = params.camera_matrix;
    unprojection *= vadu::math::inverse(params.projection);
    unprojection_ = unprojection;
}

void PointingDeviceInputManagerImpl::OnControlRemoved(Control* control)
{
    erase_all(hovered_, control);
    erase_all(pressed_, control);
    cancelled_.remove(control);
}

bool PointingDeviceInputManagerImpl::IsExclusive(Control* control)
{
    static const vadu::Atom exclusive("ExclusiveHandler");
    return control->GetProperties().get_bool(exclusive);
}

void PointingDeviceInputManagerImpl::CancelPress(Control* control)
{
    cancelled_.push_back(control);
}

void PointingDeviceInputManagerImpl::on_event(vadu::input::Event& event)
{
    if (!enabled_)
        return;
    HandleEvent(event, vadu::input::Manager::get_value(event.device, "Axis_X"),
                vadu::input::Manager::get_value(event.device, "Axis_Y"));
}

Point PointingDeviceInputManagerImpl::Unproject(double axis_x, double axis_y) const
{
    const vadu::math::Vector3 projected = vadu::math::Matrix4::project_point(
        unprojection_, vadu::math::Vector3{static_cast<float>(axis_x), static_cast<float>(-axis_y), 0.0f});
    return Point{projected.x, projected.y};
}

Point PointingDeviceInputManagerImpl::UnprojectInto(vadu::lib3d::node::Node& node, double axis_x,
                                                    double axis_y) const
{
    const Point scene = Unproject(axis_x, axis_y);
    const vadu::math::Vector3 local = vadu::math::Matrix4::project_point(
        vadu::math::inverse(node.get_global_matrix(true)), vadu::math::Vector3{scene.x, scene.y, 0.0f});
    return Point{local.x, local.y};
}

void PointingDeviceInputManagerImpl::MovePointer(int device, const Point& point)
{
    last_[device] = point;
    const std::vector<Control*> pressed = pressed_;
    if (device != 0) {
        for (Control* control : pressed) {
            if (contains(pressed_, control))
                if (controls::ControlImpl* impl = control->GetImpl())
                    impl->OnSecondDrag(point);
        }
        return;
    }
    const std::vector<Control*> old_hovered = hovered_;
    hovered_ = hit_testing_.HitTest(point.x, point.y);
    for (Control* control : pressed) {
        if (contains(old_hovered, control) && !contains(hovered_, control) && contains(pressed_, control))
            if (controls::ControlImpl* impl = control->GetImpl())
                impl->OnLeave();
    }
    for (Control* control : pressed) {
        if (contains(hovered_, control) && !contains(old_hovered, control) && contains(pressed_, control))
            if (controls::ControlImpl* impl = control->GetImpl())
                impl->OnEnter();
    }
    for (Control* control : pressed) {
        if (contains(pressed_, control))
            if (controls::ControlImpl* impl = control->GetImpl())
                impl->OnDrag(point);
    }
}

void PointingDeviceInputManagerImpl::RefreshPointer()
{
    if (!enabled_)
        return;
    static const vadu::String mouse("Mouse");
    if (!vadu::input::Manager::find_device(mouse))
        return;
    RefreshPointerAt(vadu::input::Manager::get_value(mouse, "Axis_X"), vadu::input::Manager::get_value(mouse, "Axis_Y"));
}

void PointingDeviceInputManagerImpl::RefreshPointerAt(double axis_x, double axis_y)
{
    if (!enabled_)
        return;
    // Even where the pointer stood before: what lies under it may have changed meanwhile.
    MovePointer(0, Unproject(axis_x, axis_y));
    WorkOffCancelled();
}

void PointingDeviceInputManagerImpl::HandleEvent(vadu::input::Event& event, double axis_x, double axis_y)
{
    if (!enabled_)
        return;
    int device;
    if (event.device == "Mouse")
        device = 0;
    else if (event.device == "Mouse2")
        device = 1;
    else
        return;
    const Point last = last_[device];

    if (event.control == "Left Button" && event.kind == vadu::input::Event::pressed && !down_[device]) {
        pressed_ = hovered_;
        // A handler may remove controls from the screen, itself included, and so free
        // them: a control gone from the pressed list is not touched again, and whether
        // it ends the walk is read before its handler runs.
        const std::vector<Control*> pressed = pressed_;
        for (Control* control : pressed) {
            if (!contains(pressed_, control))
                continue;
            const bool exclusive = IsExclusive(control);
            if (controls::ControlImpl* impl = control->GetImpl()) {
                if (device == 0)
                    impl->OnPress(last);
                else
                    impl->OnSecondPress(last);
            }
            if (exclusive)
                break;
        }
        down_[device] = 1;
    } else if (event.control == "Left Button" && event.kind == vadu::input::Event::released && down_[device]) {
        const std::vector<Control*> pressed = pressed_;
        for (Control* control : pressed) {
            if (!contains(pressed_, control))
                continue;
            const bool exclusive = IsExclusive(control);
            if (controls::ControlImpl* impl = control->GetImpl()) {
                if (device == 0)
                    impl->OnRelease(last);
                else
                    impl->OnSecondRelease(last);
            }
            if (exclusive)
                break;
        }
        std::vector<Control*> clicked;
        for (Control* control : pressed_) {
            if (contains(hovered_, control))
                clicked.push_back(control);
        }
        pressed_.clear();
        if (device == 0) {
            for (Control* control : clicked) {
                // A click may change screens; a control removed meanwhile is skipped.
                if (!contains(hovered_, control))
                    continue;
                const bool exclusive = IsExclusive(control);
                if (controls::ControlImpl* impl = control->GetImpl()) {
                    const bool consumes = impl->ConsumesClick();
                    impl->OnClick(last);
                    if (consumes)
                        event.handled = 1;
                }
                if (exclusive)
                    break;
            }
        }
        down_[device] = 0;
    } else if (event.control == "Axis_X" || event.control == "Axis_Y") {
        const Point point = Unproject(axis_x, axis_y);
        if (std::fabs(point.x - last.x) <= 0.0001f && std::fabs(point.y - last.y) <= 0.0001f) {
            // Too small a move to count.
        } else {
            MovePointer(device, point);
        }
    }

    WorkOffCancelled();
}

void PointingDeviceInputManagerImpl::WorkOffCancelled()
{
    // Cancelled presses end with a release far away.
    while (!cancelled_.empty()) {
        Control* control = cancelled_.front();
        cancelled_.pop_front();
        if (controls::ControlImpl* impl = control->GetImpl())
            impl->OnRelease(Point{-1000.0f, -1000.0f});
        erase_all(pressed_, control);
    }
}

} // namespace game::input
