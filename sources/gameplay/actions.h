#pragma once

// The concrete actions: tweens of a node's transform and attributes, shakes, groups,
// sequences, animation playback, delays and tweens of a plain float.

#include <functional>
#include <list>
#include <memory>
#include <vector>

#include "sources/gameplay/action.h"
#include "vadu/math.h"
#include "vadu/string.h"
#include "vadu/weak_ptr.h"

namespace vadu::animate {
class PrimitiveAnimation;
}

// Tweens "Transparency" (direction 1 fades out, 0 fades in) over the node and, unless
// self only, its descendants. Its completion callback never runs.
class FadeAction : public NodeAction {
public:
    FadeAction(vadu::lib3d::node::Node* target, float duration, int direction, bool self_only = false);

    void Apply(float p) override;
    void Start() override;
    void Finish() override;

private:
    int direction_;
    bool self_only_;
};

class MoveAction : public NodeAction {
public:
    MoveAction(vadu::lib3d::node::Node* target, float duration, const vadu::math::Vector3& start,
               const vadu::math::Vector3& end);
    // From the node's current position to that plus delta.
    static MoveAction* By(vadu::lib3d::node::Node* target, float duration, const vadu::math::Vector3& delta);

    void Apply(float p) override;

private:
    vadu::math::Vector3 start_;
    vadu::math::Vector3 end_;
};

class ScaleAction : public NodeAction {
public:
    ScaleAction(vadu::lib3d::node::Node* target, float duration, const vadu::math::Vector3& start,
                const vadu::math::Vector3& end);
    void Apply(float p) override;

private:
    vadu::math::Vector3 start_;
    vadu::math::Vector3 end_;
};

// About the z axis only.
class RotateAction : public NodeAction {
public:
    RotateAction(vadu::lib3d::node::Node* target, float duration, float start, float end);
    void Apply(float p) override;

private:
    float start_;
    float end_;
};

// Blinks "SpecularLevel" between 0 and 1 every period seconds.
class SpecularAction : public NodeAction {
public:
    SpecularAction(vadu::lib3d::node::Node* target, float duration, float period);
    void Apply(float p) override;

private:
    float period_;
};

// Closes in on another node's position plus an offset, reaching it at the end.
class FollowAction : public NodeAction {
public:
    FollowAction(vadu::lib3d::node::Node* target, const vadu::math::Vector3& offset, float duration,
                 vadu::lib3d::node::Node* followed);
    void Apply(float p) override;

private:
    vadu::math::Vector3 offset_;
    vadu::math::Vector3 destination_;
    vadu::WeakPtr followed_;
};

// Puts the node at random points around a centre, within a spread that stays full while
// looping, else rises and falls as a half sine or, with linear decay, shrinks to 0. The
// point also goes to the output. Both vectors belong to the caller and must outlive the
// action.
class ShakeAction : public NodeAction {
public:
    ShakeAction(vadu::lib3d::node::Node* target, float duration, float magnitude,
                const vadu::math::Vector2<float>* center, vadu::math::Vector2<float>* output, bool linear_decay);
    void Apply(float p) override;

private:
    float magnitude_;
    const vadu::math::Vector2<float>* center_;
    vadu::math::Vector2<float>* output_;
    bool linear_decay_;
};

// Children that run together on the group's target; finished when all of them are.
class GroupAction : public NodeAction {
public:
    GroupAction(vadu::lib3d::node::Node* target, BaseAnimation* first = nullptr, BaseAnimation* second = nullptr,
                bool owns_target = false);
    ~GroupAction() override;

    void Add(BaseAnimation* child);
    void Apply(float p) override;
    void Update(float dt) override;
    bool IsFinished() const override;
    void SetTarget(vadu::lib3d::node::Node* target) override;

private:
    std::vector<BaseAnimation*> children_;
};

// Children that run one after another; each starts in the frame after the previous ends.
class SequenceAction : public BaseAnimation {
public:
    SequenceAction() = default;
    SequenceAction(BaseAnimation* a, BaseAnimation* b, BaseAnimation* c = nullptr, BaseAnimation* d = nullptr);
    ~SequenceAction() override;

    void Add(BaseAnimation* child);
    void* GetTarget() override;
    void Apply(float) override {}
    void Update(float dt) override;
    bool IsFinished() const override;

    // The child running now (null when all are done) and its duration (0 then).
    BaseAnimation* Front() const;
    float FrontDuration() const;

private:
    std::list<BaseAnimation*> children_;
    bool start_front_ = true;
};

// Plays an animation on a node; finished at the animation's end or when the node goes.
class AnimationAction : public NodeAction {
public:
    // Loaded through the shared animations ("data/" + name).
    AnimationAction(vadu::lib3d::node::Node* target, const vadu::String& name, bool owns_target = false);
    // A copy of the prototype, without a target.
    explicit AnimationAction(const vadu::animate::PrimitiveAnimation& prototype);
    explicit AnimationAction(const vadu::String& name);
    ~AnimationAction() override;

    void Apply(float) override {}
    void Update(float dt) override;
    bool IsFinished() const override;
    void SetTarget(vadu::lib3d::node::Node* target) override;

    vadu::animate::PrimitiveAnimation& GetAnimation() const { return *animation_; }

private:
    std::unique_ptr<vadu::animate::PrimitiveAnimation> animation_;
};

// Waits out its duration, then runs its completion callback.
class DelayAction : public BaseAnimation {
public:
    explicit DelayAction(float duration) : BaseAnimation(duration) {}
    void* GetTarget() override { return this; }
    void Apply(float) override {}
};

// Tweens a float from its value at Start to the target value, calling back each update.
class FloatTweenAction : public BaseAnimation {
public:
    FloatTweenAction(float* value, float target, float duration, std::function<void(float)> callback);

    void* GetTarget() override { return value_; }
    void Start() override;
    void Apply(float p) override;

private:
    float* value_;
    float start_ = 0.0f;
    float target_;
    std::function<void(float)> callback_;
};
