#include "game/controls/button.h"

#include <cmath>

#include "vadu/exception.h"

namespace game::controls {

namespace {
const vadu::Atom& normal_state()
{
    static const vadu::Atom atom("normal");
    return atom;
}
const vadu::Atom& up_state()
{
    static const vadu::Atom atom("up");
    return atom;
}
const vadu::Atom& disable_state()
{
    static const vadu::Atom atom("disable");
    return atom;
}
} // namespace

ButtonImpl::ButtonImpl(Control& owner) : ControlImpl(owner), states_(std::make_unique<ControlStatesImpl>()) {}

ButtonImpl::~ButtonImpl()
{
    states_->ReleaseStates();
}

bool ButtonImpl::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (name == "States")
        return provider.ParseObject(*states_);
    return ControlImpl::OnNode(provider, name);
}

void ButtonImpl::Update(double seconds)
{
    if (vadu::animate::PrimitiveAnimation* animation = states_->GetCurrentAnimation()) {
        if (std::fabs(animation->get_time() - animation->get_length()) >= 2.220446049250313e-16)
            animation->advance(seconds);
    }
    ControlImpl::Update(seconds);
}

ControlStatesImpl* ButtonImpl::GetStates()
{
    return states_.get();
}

void ButtonImpl::OnNodeNameChanged()
{
    BindNode();
    vadu::lib3d::node::Node* root = owner_.GetSceneRoot();
    vadu::lib3d::node::Node* node = root ? root->find_child(vadu::Atom(node_name_), true) : nullptr;
    if (!node)
        throw vadu::Gluck("game::controls::ButtonImpl::OnNodeNameChanged",
                          vadu::String("Failed to find node \"") + node_name_ + "\"");
    states_->SetAnimationRoot(node);
}

void ButtonImpl::SetEnabled(bool enabled)
{
    states_->SwitchState(enabled ? normal_state() : disable_state());
    owner_.SetEnabledFlag(enabled);
}

void ButtonImpl::OnPress(const input::Point&)
{
    if (IsEnabled())
        states_->SwitchState(up_state());
    press_.Emit();
}

void ButtonImpl::OnRelease(const input::Point&)
{
    if (IsEnabled())
        states_->SwitchState(normal_state());
    release_.Emit();
}

void ButtonImpl::OnEnter()
{
    if (IsEnabled())
        states_->SwitchState(up_state());
}

void ButtonImpl::OnLeave()
{
    if (IsEnabled())
        states_->SwitchState(normal_state());
}

void ButtonImpl::OnClick(const input::Point& point)
{
    const bool inside = click_rect_[0] <= point.x && point.x <= click_rect_[0] + click_rect_[2] &&
                        click_rect_[1] <= point.y && point.y <= click_rect_[1] + click_rect_[3];
    if (!inside || !IsEnabled())
        return;
    Control* owner = &owner_;
    if (!Fire(click_at_, owner, point))
        return;
    click_.Emit(owner);
}

Button::Button() : impl_(std::make_unique<ButtonImpl>(*this)) {}

Button::~Button() = default;

vadu::Atom Button::GetTypeName() const
{
    static const vadu::Atom type("Button");
    return type;
}

ButtonImpl* as_button(Control* control)
{
    static const vadu::Atom type("Button");
    if (!control || !(control->GetTypeName() == type))
        return nullptr;
    Button* button = dynamic_cast<Button*>(control);
    return button ? button->GetButtonImpl() : nullptr;
}

} // namespace game::controls
