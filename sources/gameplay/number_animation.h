#pragma once

// Counts a number from one value to another over time, handing each intermediate value to
// a callback (the HUD's score and mana labels). The count keeps its own cell, which is also
// its target, so counts never replace each other in the action manager.

#include <cmath>
#include <functional>
#include <memory>

#include "sources/gameplay/action.h"

template <class T>
class CountingAnimation : public BaseAnimation {
public:
    using StepCallback = std::function<void(T*)>;

    CountingAnimation(T start, T end, float duration, StepCallback on_step = {})
        : BaseAnimation(duration), cell_(std::make_unique<T>(start)), start_(start), end_(end),
          on_step_(std::move(on_step))
    {
    }

    void* GetTarget() override { return cell_.get(); }
    // Counts on from wherever the cell stands now.
    void Start() override { start_ = *cell_; }
    void Apply(float t) override
    {
        if constexpr (std::is_integral_v<T>)
            *cell_ = start_ + static_cast<T>(std::trunc(static_cast<float>(end_ - start_) * t));
        else
            *cell_ = start_ + (end_ - start_) * t;
        // A count built without a step callback only keeps its cell.
        if (on_step_)
            on_step_(cell_.get());
    }
    // The finish callback replaces the completion callback.
    void Finish() override
    {
        if (on_finish_)
            on_finish_(cell_.get());
    }

    void SetOnStep(StepCallback callback) { on_step_ = std::move(callback); }
    void SetOnFinish(StepCallback callback) { on_finish_ = std::move(callback); }
    T GetValue() const { return *cell_; }

private:
    std::unique_ptr<T> cell_;
    T start_;
    T end_;
    StepCallback on_step_;
    StepCallback on_finish_;
};

using NumberAnimation = CountingAnimation<int>;
using FloatNumberAnimation = CountingAnimation<float>;
