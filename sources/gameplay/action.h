#pragma once

// Timed actions: a duration advanced by each frame's time, applied as eased progress, and a
// completion callback when they end. The concrete kinds live in actions.h.

#include <functional>
#include <memory>

#include "vadu/weak_ptr.h"

namespace vadu::lib3d::node {
class Node;
}

// Maps progress (normally 0..1) to the value an action applies. Linear.
class Easing {
public:
    virtual ~Easing() = default;
    virtual float operator()(float t) const { return t; }
};

// The single-precision π of the easings.
inline constexpr float kEasingPi = 3.1415925f;

class EaseSineIn : public Easing {
public:
    float operator()(float t) const override;
};
class EaseSineOut : public Easing {
public:
    float operator()(float t) const override;
};
class EaseSineInOut : public Easing {
public:
    float operator()(float t) const override;
};
class EaseQuartIn : public Easing {
public:
    float operator()(float t) const override;
};
class EaseQuartOut : public Easing {
public:
    float operator()(float t) const override;
};
class EaseQuartInOut : public Easing {
public:
    float operator()(float t) const override;
};

class BaseAnimation {
public:
    using Callback = std::function<void(BaseAnimation*)>;

    explicit BaseAnimation(float duration = 1.0f);
    BaseAnimation(const BaseAnimation&) = delete;
    BaseAnimation& operator=(const BaseAnimation&) = delete;
    virtual ~BaseAnimation();

    // What the action works on: its scene node, or an address of its own for actions
    // without one, so that such actions never replace each other under one tag.
    virtual void* GetTarget() = 0;
    // Jumps to time t and applies it.
    virtual void SetTime(float t);
    virtual float GetElapsed() const { return elapsed_; }
    // Shows the state at eased progress p.
    virtual void Apply(float p) = 0;
    // End of life: runs the completion callback.
    virtual void Finish();
    // Once, before the first Update, by whoever runs the action.
    virtual void Start() {}
    // Adds dt; a looping action wraps once, any other stops at its duration.
    virtual void Update(float dt);
    virtual bool IsFinished() const;
    // Whether a container may hand the action its own target.
    virtual bool NeedsTarget() const { return false; }

    void SetOnFinished(Callback callback);
    // Takes ownership; a null easing is ignored (an action always has one).
    void SetEasing(Easing* easing);
    void SetEasing(std::unique_ptr<Easing> easing) { SetEasing(easing.release()); }
    const Easing& GetEasing() const { return *easing_; }

    bool IsLooping() const noexcept { return loop_; }
    void SetLoop(bool loop) noexcept { loop_ = loop; }
    float GetDuration() const noexcept { return duration_; }
    void SetDuration(float duration) noexcept { duration_ = duration; }
    bool IsStarted() const noexcept { return started_; }
    void SetStarted(bool started) noexcept { started_ = started; }

protected:
    // elapsed / duration; 1 for an action without duration, which is over at once.
    float Progress() const;
    // The eased progress at the current time.
    float EasedProgress() const { return (*easing_)(Progress()); }
    void CallOnFinished();

    bool loop_ = false;
    float elapsed_ = 0.0f;
    float duration_;
    bool started_ = false;

private:
    Callback on_finished_;
    bool has_callback_ = false;
    std::unique_ptr<Easing> easing_;
};

// An action on one scene node, which it follows weakly: a destroyed node ends it.
class NodeAction : public BaseAnimation {
public:
    NodeAction(vadu::lib3d::node::Node* target, float duration = 1.0f, bool owns_target = false);
    // Destroys the target too when the action owns it.
    ~NodeAction() override;

    void* GetTarget() override;
    bool IsFinished() const override;
    bool NeedsTarget() const override { return true; }
    virtual void SetTarget(vadu::lib3d::node::Node* target);

    // The node, or null once it is gone.
    vadu::lib3d::node::Node* GetNode() const;
    bool OwnsTarget() const noexcept { return owns_target_; }
    void SetOwnsTarget(bool owns) noexcept { owns_target_ = owns; }

private:
    vadu::WeakPtr target_;
    bool owns_target_;
};
