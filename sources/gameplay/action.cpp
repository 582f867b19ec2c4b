#include "sources/gameplay/action.h"

#include <cmath>

#include "vadu/lib3d/node/node.h"

float EaseSineIn::operator()(float t) const
{
    return 1.0f - std::cos(kEasingPi * t / 2.0f);
}

float EaseSineOut::operator()(float t) const
{
    return std::sin(kEasingPi * t / 2.0f);
}

float EaseSineInOut::operator()(float t) const
{
    return (1.0f - std::cos(kEasingPi * t)) * 0.5f;
}

float EaseQuartIn::operator()(float t) const
{
    return t * t * t * t;
}

float EaseQuartOut::operator()(float t) const
{
    const float u = 1.0f - t;
    return 1.0f - u * u * u * u;
}

float EaseQuartInOut::operator()(float t) const
{
    if (t < 0.5f)
        return 8.0f * t * t * t * t;
    const float u = 1.0f - t;
    return 1.0f - 8.0f * u * u * u * u;
}

// --- BaseAnimation ----------------------------------------------------------------------

BaseAnimation::BaseAnimation(float duration) : duration_(duration), easing_(std::make_unique<Easing>()) {}

BaseAnimation::~BaseAnimation() = default;

float BaseAnimation::Progress() const
{
    // 0 / 0 would hand NaN to every tween: an action without duration is simply over.
    if (!(duration_ > 0.0f))
        return 1.0f;
    return elapsed_ / duration_;
}

void BaseAnimation::SetTime(float t)
{
    elapsed_ = t;
    Apply(EasedProgress());
}

void BaseAnimation::Finish()
{
    CallOnFinished();
}

void BaseAnimation::CallOnFinished()
{
    if (has_callback_ && on_finished_)
        on_finished_(this);
}

void BaseAnimation::Update(float dt)
{
    elapsed_ += dt;
    if (elapsed_ > duration_) {
        if (loop_)
            elapsed_ -= duration_;
        else
            elapsed_ = duration_;
    }
    Apply(EasedProgress());
}

bool BaseAnimation::IsFinished() const
{
    return !loop_ && elapsed_ >= duration_;
}

void BaseAnimation::SetOnFinished(Callback callback)
{
    on_finished_ = std::move(callback);
    has_callback_ = static_cast<bool>(on_finished_);
}

void BaseAnimation::SetEasing(Easing* easing)
{
    if (easing)
        easing_.reset(easing);
}

// --- NodeAction -------------------------------------------------------------------------

NodeAction::NodeAction(vadu::lib3d::node::Node* target, float duration, bool owns_target)
    : BaseAnimation(duration), owns_target_(owns_target)
{
    target_.assign(target);
}

NodeAction::~NodeAction()
{
    if (owns_target_) {
        vadu::lib3d::node::Node* node = GetNode();
        target_.assign(nullptr);
        delete node;
    }
}

void* NodeAction::GetTarget()
{
    return GetNode();
}

vadu::lib3d::node::Node* NodeAction::GetNode() const
{
    return static_cast<vadu::lib3d::node::Node*>(target_.get());
}

bool NodeAction::IsFinished() const
{
    return GetNode() == nullptr || BaseAnimation::IsFinished();
}

void NodeAction::SetTarget(vadu::lib3d::node::Node* target)
{
    target_.assign(target);
}
