#pragma once

// The wait of a windowed present for the display's refresh, when nothing else waits for
// it (SDL's software window paths have no vertical sync): presents are kept at least one
// refresh period apart, on the phase of the first, as a device with a presentation
// interval of one refresh does. A present that comes late is not held back and starts a
// new phase: the next waits a whole period from it, never rushing to catch up.

#include <chrono>
#include <cstdint>

namespace platform::gfx {

class PresentPacer {
public:
    using Clock = std::chrono::steady_clock;

    // Where the pacer reads the time and waits; tests give their own.
    class Timer {
    public:
        virtual ~Timer() = default;
        virtual Clock::time_point now() = 0;
        virtual void sleep_until(Clock::time_point when) = 0;
    };
    // The steady clock and a real sleep.
    static Timer& system_timer();

    explicit PresentPacer(Timer& timer = system_timer()) : timer_(&timer) {}

    // The display's refresh rate in Hz; 0 (unknown) and absurd rates count as 60.
    void set_refresh_rate(int hertz);
    Clock::duration period() const { return period_; }

    // Called as a frame is shown: waits until one period after the previous frame was
    // shown. The first frame does not wait.
    void wait();

private:
    Timer* timer_;
    Clock::duration period_ = std::chrono::nanoseconds(1'000'000'000 / 60);
    Clock::time_point last_{};
    bool started_ = false;
};

} // namespace platform::gfx
