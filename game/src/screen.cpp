#include "game/screen.h"

#include <algorithm>
#include <cmath>

#include "game/root.h"
#include "game/screen_backend.h"
#include "vadu/converter.h"
#include "vadu/lib3d/hard/hardware.h"

namespace game {

namespace {

class ListEnumerator : public ControlEnumerator {
public:
    explicit ListEnumerator(const std::vector<std::unique_ptr<controls::Control>>& list) : list_(list) {}
    bool MoveNext() override
    {
        if (!started_) {
            started_ = true;
            position_ = 0;
        } else if (position_ < list_.size()) {
            ++position_;
        }
        return position_ < list_.size();
    }
    controls::Control* Current() override
    {
        return started_ && position_ < list_.size() ? list_[position_].get() : nullptr;
    }

private:
    const std::vector<std::unique_ptr<controls::Control>>& list_;
    bool started_ = false;
    size_t position_ = 0;
};

} // namespace

Screen::Screen(ServiceProvider* provider)
    : input_(std::make_unique<input::PointingDeviceInputManagerImpl>()), provider_(provider)
{
    input::PointingDeviceInputManagerImpl::SetMostRecent(input_.get());
    ApplicationService* application = provider ? provider->Get<ApplicationService>() : nullptr;
    if (application) {
        input::PointingDeviceInputManagerImpl* manager = input_.get();
        input_connection_ =
            application->GetInputEnableSignal().Connect([manager](bool enabled) { manager->SetEnabled(enabled); });
        input_connected_ = true;
    }
    input_->SetSource(this);
    if (!application || !application->IsPurged())
        input_->SetEnabled(true);
}

Screen::~Screen()
{
    if (input_connected_ && provider_) {
        if (ApplicationService* application = provider_->Get<ApplicationService>())
            application->GetInputEnableSignal().Disconnect(input_connection_);
    }
    // The backend may still hold controls (connections to buttons): it goes first.
    backend_.reset();
    controls_.clear();
    properties_.reset();
    camera_.reset();
    scene_root_.reset();
    input_.reset();
}

controls::Control* Screen::FindControl(const vadu::Atom& name)
{
    for (const auto& control : controls_) {
        if (control->GetName() == name)
            return control.get();
    }
    return nullptr;
}

std::unique_ptr<ControlEnumerator> Screen::EnumerateControls()
{
    return std::make_unique<ListEnumerator>(controls_);
}

void Screen::AddControl(std::unique_ptr<controls::Control> control)
{
    if (!control)
        return;
    controls::Control* added = control.get();
    controls_.push_back(std::move(control));
    control_added_.Emit(added);
}

std::unique_ptr<controls::Control> Screen::RemoveControl(controls::Control* control)
{
    const auto found = std::find_if(controls_.begin(), controls_.end(),
                                    [control](const auto& held) { return held.get() == control; });
    if (found == controls_.end())
        return nullptr;
    std::unique_ptr<controls::Control> removed = std::move(*found);
    controls_.erase(found);
    control_removed_.Emit(removed.get());
    return removed;
}

void Screen::SetInputEnabled(bool enabled)
{
    if (input_)
        input_->SetEnabled(enabled);
}

void Screen::SetSceneRoot(std::unique_ptr<vadu::lib3d::node::Node> root)
{
    if (root.get() != scene_root_.get())
        scene_root_ = std::move(root);
}

void Screen::SetCamera(std::unique_ptr<vadu::lib3d::node::Camera> camera)
{
    if (camera.get() != camera_.get())
        camera_ = std::move(camera);
    input_->SetCamera(camera_.get());
}

void Screen::SetProperties(std::unique_ptr<vadu::xml::PropertyList> properties)
{
    if (properties.get() != properties_.get())
        properties_ = std::move(properties);
}

void Screen::SetBackend(std::unique_ptr<ScreenBackend> backend)
{
    backend_ = std::move(backend);
    if (backend_)
        backend_->SetSite(this);
}

bool Screen::Update(double seconds)
{
    // A control's update may not add or remove controls; walk by index all the same.
    for (size_t i = 0; i < controls_.size(); ++i) {
        if (controls::ControlImpl* impl = controls_[i]->GetImpl())
            impl->Update(seconds);
    }
    if (backend_)
        backend_->Update(seconds);
    return true;
}

void Screen::Render(vadu::lib3d::hard::Hardware& hardware, FpsDisplay* fps)
{
    list_.clear();
    // The screen's list is the frame's first: it clears the target.
    list_.flag = 1;
    if (camera_)
        camera_->prepare_render(hardware, list_);
    if (backend_)
        backend_->Render(hardware, list_);
    if (fps)
        fps->Render(hardware, list_);
    hardware.render(list_, hardware);
}

FpsDisplay::~FpsDisplay()
{
    text_ = nullptr;
    camera_ = nullptr;
    scene_.reset();
}

void FpsDisplay::Render(vadu::lib3d::hard::Hardware& hardware, vadu::lib3d::hard::RenderList& list)
{
    ++frames_;
    if (std::fabs(accumulated_ - 1.0) < 0.01 || accumulated_ > 1.01) {
        char digits[24];
        vadu::converter::print_int(digits, frames_);
        shown_ = vadu::String(digits);
        if (text_) {
            vadu::WString wide;
            wide.append_narrow(shown_);
            static const vadu::Atom text_attribute("Text");
            text_->change_attribute(text_attribute, wide);
        }
        accumulated_ = 0.0;
        frames_ = 0;
    }
    if (text_) {
        if (vadu::lib3d::node::Node* root = text_->get_root())
            root->render_to_list(hardware, list);
    }
    (void)camera_;
}

} // namespace game
