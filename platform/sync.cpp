#include "platform/sync.h"

#include <chrono>

namespace platform {

void Event::set()
{
    // Notified under the lock: the released waiter may destroy the event as
    // soon as it returns, so set() must be done with it by then.
    std::lock_guard<std::mutex> guard(mutex_);
    state_ = true;
    signalled_.notify_one();
}

void Event::wait()
{
    std::unique_lock<std::mutex> guard(mutex_);
    signalled_.wait(guard, [this] { return state_; });
    state_ = false;
}

bool Event::wait_for(uint32_t milliseconds)
{
    std::unique_lock<std::mutex> guard(mutex_);
    if (!signalled_.wait_for(guard, std::chrono::milliseconds(milliseconds), [this] { return state_; }))
        return false;
    state_ = false;
    return true;
}

} // namespace platform
