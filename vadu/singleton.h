#pragma once

// One lazily made instance of T per program, for the registries that live until the end
// of the run (the physics factories and their creators). Main thread only: the instance
// is made without a lock.

#include <memory>

namespace vadu {

template <class T>
class Singleton {
public:
    // The instance, made with T's default constructor on the first call.
    static T& Instance()
    {
        if (!instance_)
            instance_ = std::make_unique<T>();
        return *instance_;
    }
    // The instance, or null while none was made.
    static T* Get() noexcept { return instance_.get(); }
    static bool Exists() noexcept { return instance_ != nullptr; }
    // Destroys the instance; the next Instance() makes a fresh one. For tests, which need
    // the state a program starts with.
    static void Destroy() noexcept { instance_.reset(); }

private:
    static inline std::unique_ptr<T> instance_;
};

} // namespace vadu
