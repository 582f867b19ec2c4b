#include "platform/gfx/pacing.h"

#include <thread>

namespace platform::gfx {

PresentPacer::Timer& PresentPacer::system_timer()
{
    struct SystemTimer final : Timer {
        Clock::time_point now() override { return Clock::now(); }
        void sleep_until(Clock::time_point when) override { std::this_thread::sleep_until(when); }
    };
    static SystemTimer timer;
    return timer;
}

void PresentPacer::set_refresh_rate(int hertz)
{
    // Xvfb and some drivers report 0; a rate past any real display is no rate either.
    if (hertz <= 0 || hertz > 1000)
        hertz = 60;
    period_ = std::chrono::nanoseconds(1'000'000'000 / hertz);
}

void PresentPacer::wait()
{
    const Clock::time_point now = timer_->now();
    if (!started_) {
        started_ = true;
        last_ = now;
        return;
    }
    const Clock::time_point due = last_ + period_;
    if (now < due) {
        timer_->sleep_until(due);
        last_ = due;
    } else {
        last_ = now;
    }
}

} // namespace platform::gfx
