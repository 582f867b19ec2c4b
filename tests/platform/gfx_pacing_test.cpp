#include "platform/gfx/pacing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace gfx_pacing_test_file {

using platform::gfx::PresentPacer;
using Clock = PresentPacer::Clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// Time that moves only when the frame works or the pacer sleeps.
class FakeTimer : public PresentPacer::Timer {
public:
    Clock::time_point now() override { return time; }
    void sleep_until(Clock::time_point when) override
    {
        sleeps.push_back(when - time);
        if (when > time)
            time = when;
    }
    void work(Clock::duration taken) { time += taken; }

    Clock::time_point time = Clock::time_point{} + std::chrono::hours(1);
    std::vector<Clock::duration> sleeps;
};

const nanoseconds kSixtieth{1'000'000'000 / 60};

TEST(PresentPacer, QuickFramesAreShownOnePeriodApartOnTheFirstFramesPhase)
{
    FakeTimer timer;
    PresentPacer pacer(timer);
    pacer.set_refresh_rate(60);
    const Clock::time_point first = timer.time;
    pacer.wait();
    EXPECT_TRUE(timer.sleeps.empty()) << "the first frame is shown at once";
    std::vector<Clock::time_point> shown;
    for (int frame = 1; frame <= 120; ++frame) {
        timer.work(milliseconds(frame % 2 ? 2 : 9)); // uneven work, all of it under a period
        pacer.wait();
        shown.push_back(timer.time);
    }
    for (size_t i = 0; i < shown.size(); ++i)
        ASSERT_EQ(shown[i], first + kSixtieth * static_cast<int>(i + 1)) << "frame " << i + 1;
    EXPECT_EQ(timer.sleeps.size(), 120u);
    // Two seconds of frames: what a menu doing little costs is two seconds of sleep, less the work.
    EXPECT_EQ(shown.back() - first, kSixtieth * 120);
}

TEST(PresentPacer, ALateFrameIsNotHeldBackAndTheNextWaitsAWholePeriodFromIt)
{
    FakeTimer timer;
    PresentPacer pacer(timer);
    pacer.set_refresh_rate(60);
    pacer.wait();
    timer.work(milliseconds(40)); // more than two periods
    const Clock::time_point late = timer.time;
    pacer.wait();
    EXPECT_TRUE(timer.sleeps.empty()) << "a late frame is shown at once";
    EXPECT_EQ(timer.time, late);
    timer.work(milliseconds(1));
    pacer.wait();
    EXPECT_EQ(timer.time, late + kSixtieth) << "no rush to catch up with the refreshes missed";
    // A frame a little late after a sleep (the sleep overslept) keeps the new phase.
    timer.work(kSixtieth + microseconds(100));
    pacer.wait();
    EXPECT_EQ(timer.time, late + 2 * kSixtieth + microseconds(100));
}

TEST(PresentPacer, TheDisplaysRateSetsThePeriodAndAnUnknownRateIsSixtyHertz)
{
    struct Case {
        int hertz;
        nanoseconds period;
    };
    const Case cases[] = {
        {60, kSixtieth},
        {75, nanoseconds(13'333'333)},
        {144, nanoseconds(6'944'444)},
        {0, kSixtieth},      // Xvfb reports none
        {-1, kSixtieth},
        {100000, kSixtieth}, // no display refreshes that fast
    };
    for (const Case& c : cases) {
        FakeTimer timer;
        PresentPacer pacer(timer);
        pacer.set_refresh_rate(c.hertz);
        EXPECT_EQ(pacer.period(), c.period) << c.hertz << " Hz";
        pacer.wait();
        const Clock::time_point first = timer.time;
        pacer.wait();
        EXPECT_EQ(timer.time - first, c.period) << c.hertz << " Hz";
    }
}

} // namespace gfx_pacing_test_file
