#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

// Auto-reset event: set() releases one waiter (or the next wait() to come), after
// which the event is unsignalled again.
class Event {
public:
    Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    // Waits without time-out.
    void wait();
    // Waits at most the given milliseconds; true when the event was signalled.
    bool wait_for(uint32_t milliseconds);

private:
    std::mutex mutex_;
    std::condition_variable signalled_;
    bool state_ = false;
};

} // namespace platform
