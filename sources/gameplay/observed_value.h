#pragma once

// A value that tells its listeners when it changes (mana, score, collected stars).

#include <utility>

#include "game/signal.h"

namespace gameplay {

template <typename T>
class ObservedValue {
public:
    ObservedValue() = default;
    explicit ObservedValue(T value) : value_(std::move(value)) {}

    const T& Get() const noexcept { return value_; }
    operator const T&() const noexcept { return value_; }

    // Emits only when the value really changes.
    void Set(const T& value)
    {
        if (value_ == value)
            return;
        value_ = value;
        Changed.Emit(value_);
    }

    Signal<void(const T&)> Changed;

private:
    T value_{};
};

} // namespace gameplay
