#include "sources/gameplay/actions.h"

#include <cfloat>
#include <cmath>

#include "platform/random.h"
#include "sources/gameplay/shared_animations.h"
#include "vadu/animate/primitive_animation.h"
#include "vadu/atom.h"
#include "vadu/lib3d/node/node.h"

using vadu::lib3d::node::Node;
using vadu::math::Vector3;

namespace {

Vector3 Lerp(const Vector3& start, const Vector3& end, float p)
{
    return {start.x + (end.x - start.x) * p, start.y + (end.y - start.y) * p, start.z + (end.z - start.z) * p};
}

// Vectors are written only when they change, so an idle tween leaves the transform clean.
void WritePosition(Node& node, const Vector3& position)
{
    if (!(node.get_position() == position))
        node.set_position(position);
}

void WriteScale(Node& node, const Vector3& scale)
{
    if (!(node.get_scale() == scale))
        node.set_scale(scale);
}

void WriteRotation(Node& node, const Vector3& rotation)
{
    if (!(node.get_rotation() == rotation))
        node.set_rotation(rotation);
}

template <class Visit>
void ForSubtree(Node& node, bool self_only, const Visit& visit)
{
    visit(node);
    if (self_only)
        return;
    for (Node* child : node.get_children())
        ForSubtree(*child, false, visit);
}

const vadu::Atom& TransparencyName()
{
    static const vadu::Atom name("Transparency");
    return name;
}

} // namespace

// --- Fade -------------------------------------------------------------------------------

FadeAction::FadeAction(Node* target, float duration, int direction, bool self_only)
    : NodeAction(target, duration), direction_(direction), self_only_(self_only)
{
}

void FadeAction::Apply(float p)
{
    Node* node = GetNode();
    if (!node)
        return;
    const double value = direction_ == 1 ? p : 1.0 - p;
    ForSubtree(*node, self_only_, [value](Node& each) { each.change_attribute(TransparencyName(), value); });
}

void FadeAction::Start()
{
    if (Node* node = GetNode())
        ForSubtree(*node, self_only_, [](Node& each) { each.set_visible(true); });
}

void FadeAction::Finish()
{
    if (direction_ != 1)
        return;
    if (Node* node = GetNode())
        ForSubtree(*node, self_only_, [](Node& each) { each.set_visible(false); });
}

// --- Transform tweens -------------------------------------------------------------------

MoveAction::MoveAction(Node* target, float duration, const Vector3& start, const Vector3& end)
    : NodeAction(target, duration), start_(start), end_(end)
{
}

MoveAction* MoveAction::By(Node* target, float duration, const Vector3& delta)
{
    const Vector3 start = target ? target->get_position() : Vector3{};
    return new MoveAction(target, duration, start, {start.x + delta.x, start.y + delta.y, start.z + delta.z});
}

void MoveAction::Apply(float p)
{
    if (Node* node = GetNode())
        WritePosition(*node, Lerp(start_, end_, p));
}

ScaleAction::ScaleAction(Node* target, float duration, const Vector3& start, const Vector3& end)
    : NodeAction(target, duration), start_(start), end_(end)
{
}

void ScaleAction::Apply(float p)
{
    if (Node* node = GetNode())
        WriteScale(*node, Lerp(start_, end_, p));
}

RotateAction::RotateAction(Node* target, float duration, float start, float end)
    : NodeAction(target, duration), start_(start), end_(end)
{
}

void RotateAction::Apply(float p)
{
    if (Node* node = GetNode())
        WriteRotation(*node, {0.0f, 0.0f, start_ + (end_ - start_) * p});
}

SpecularAction::SpecularAction(Node* target, float duration, float period)
    : NodeAction(target, duration), period_(period)
{
}

void SpecularAction::Apply(float p)
{
    Node* node = GetNode();
    if (!node || !(period_ > 0.0f))
        return;
    static const vadu::Atom specular("SpecularLevel");
    const long n = static_cast<long>(std::trunc(duration_ * p / period_));
    node->change_attribute(specular, static_cast<double>(n % 2));
}

FollowAction::FollowAction(Node* target, const Vector3& offset, float duration, Node* followed)
    : NodeAction(target, duration), offset_(offset)
{
    followed_.assign(followed);
    if (followed) {
        const Vector3& position = followed->get_position();
        destination_ = {position.x + offset.x, position.y + offset.y, position.z + offset.z};
    }
}

void FollowAction::Apply(float p)
{
    Node* node = GetNode();
    if (!node)
        return;
    if (auto* followed = static_cast<Node*>(followed_.get())) {
        const Vector3& position = followed->get_position();
        destination_ = {position.x + offset_.x, position.y + offset_.y, position.z + offset_.z};
    }
    WritePosition(*node, Lerp(node->get_position(), destination_, p));
}

// --- Shake ------------------------------------------------------------------------------

ShakeAction::ShakeAction(Node* target, float duration, float magnitude, const vadu::math::Vector2<float>* center,
                         vadu::math::Vector2<float>* output, bool linear_decay)
    : NodeAction(target, duration), magnitude_(magnitude), center_(center), output_(output),
      linear_decay_(linear_decay)
{
}

void ShakeAction::Apply(float)
{
    Node* node = GetNode();
    if (!node || !center_)
        return;
    float factor = 1.0f;
    if (!loop_) {
        if (!(duration_ > 0.0f))
            factor = 0.0f;
        else if (linear_decay_)
            factor = 1.0f - elapsed_ / duration_;
        else
            factor = std::sin(elapsed_ * 3.1415f / duration_);
    }
    const float r = factor * magnitude_;
    const vadu::math::Vector2<float> c = *center_;
    // The y draw comes first: replays depend on the order of the draws.
    const float u = static_cast<float>(platform::random()) / static_cast<float>(platform::random_max);
    const float v = static_cast<float>(platform::random()) / static_cast<float>(platform::random_max);
    const float x = (c.x - r) + v * 2.0f * r;
    const float y = (c.y - r) + u * 2.0f * r;
    WritePosition(*node, {x, y, node->get_position().z});
    if (output_)
        *output_ = {x, y};
}

// --- Group ------------------------------------------------------------------------------

GroupAction::GroupAction(Node* target, BaseAnimation* first, BaseAnimation* second, bool owns_target)
    : NodeAction(target, 1.0f, owns_target)
{
    Add(first);
    Add(second);
}

GroupAction::~GroupAction()
{
    for (BaseAnimation* child : children_)
        delete child;
}

void GroupAction::Add(BaseAnimation* child)
{
    if (!child)
        return;
    children_.push_back(child);
    Node* node = GetNode();
    if (node && child->NeedsTarget())
        static_cast<NodeAction*>(child)->SetTarget(node);
}

void GroupAction::SetTarget(Node* target)
{
    NodeAction::SetTarget(target);
    for (BaseAnimation* child : children_) {
        if (target && child->NeedsTarget())
            static_cast<NodeAction*>(child)->SetTarget(target);
    }
}

void GroupAction::Apply(float p)
{
    for (BaseAnimation* child : children_)
        child->Apply(p);
}

void GroupAction::Update(float dt)
{
    for (BaseAnimation* child : children_) {
        if (!child->IsFinished())
            child->Update(dt);
    }
}

bool GroupAction::IsFinished() const
{
    for (BaseAnimation* child : children_) {
        if (!child->IsFinished())
            return false;
    }
    return true;
}

// --- Sequence ---------------------------------------------------------------------------

SequenceAction::SequenceAction(BaseAnimation* a, BaseAnimation* b, BaseAnimation* c, BaseAnimation* d)
{
    Add(a);
    Add(b);
    Add(c);
    Add(d);
}

SequenceAction::~SequenceAction()
{
    for (BaseAnimation* child : children_)
        delete child;
}

void SequenceAction::Add(BaseAnimation* child)
{
    if (child)
        children_.push_back(child);
}

void* SequenceAction::GetTarget()
{
    return children_.empty() ? nullptr : children_.front()->GetTarget();
}

void SequenceAction::Update(float dt)
{
    if (children_.empty())
        return;
    BaseAnimation* front = children_.front();
    if (start_front_)
        front->Start();
    front->Update(dt);
    if (front->IsFinished()) {
        // Out of the list before its callback runs; time past its end is not carried on.
        children_.pop_front();
        front->Finish();
        delete front;
        start_front_ = true;
    } else {
        start_front_ = false;
    }
}

bool SequenceAction::IsFinished() const
{
    return children_.empty();
}

BaseAnimation* SequenceAction::Front() const
{
    return children_.empty() ? nullptr : children_.front();
}

float SequenceAction::FrontDuration() const
{
    return children_.empty() ? 0.0f : children_.front()->GetDuration();
}

// --- Animation playback -----------------------------------------------------------------

AnimationAction::AnimationAction(Node* target, const vadu::String& name, bool owns_target)
    : NodeAction(target, 1.0f, owns_target), animation_(SharedAnimations::Instance().Load(name))
{
    if (target)
        animation_->bind(target, true);
}

AnimationAction::AnimationAction(const vadu::animate::PrimitiveAnimation& prototype)
    : NodeAction(nullptr), animation_(std::make_unique<vadu::animate::PrimitiveAnimation>(prototype))
{
}

AnimationAction::AnimationAction(const vadu::String& name)
    : NodeAction(nullptr), animation_(SharedAnimations::Instance().Load(name))
{
}

AnimationAction::~AnimationAction() = default;

void AnimationAction::SetTarget(Node* target)
{
    NodeAction::SetTarget(target);
    if (target)
        animation_->bind(target, true);
}

void AnimationAction::Update(float dt)
{
    if (!GetNode())
        return;
    if (loop_)
        animation_->advance_looped(dt);
    else
        animation_->advance(dt);
}

bool AnimationAction::IsFinished() const
{
    if (!GetNode())
        return true;
    return std::fabs(animation_->get_time() - animation_->get_length()) < DBL_EPSILON;
}

// --- Float tween ------------------------------------------------------------------------

FloatTweenAction::FloatTweenAction(float* value, float target, float duration, std::function<void(float)> callback)
    : BaseAnimation(duration), value_(value), target_(target), callback_(std::move(callback))
{
}

void FloatTweenAction::Start()
{
    if (value_)
        start_ = *value_;
}

void FloatTweenAction::Apply(float p)
{
    if (!value_)
        return;
    *value_ = start_ + (target_ - start_) * p;
    if (callback_)
        callback_(*value_);
}
