#include "vadu/time.h"

#include "platform/clock.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// A machine whose counter, frequency and millisecond count are chosen by the test.
class FakeTickSource final : public platform::TickSource {
public:
    bool counter_ok = true;
    int64_t counter = 0;
    bool frequency_ok = true;
    int64_t frequency = 0;
    uint32_t milliseconds = 0;

    bool query_performance_counter(int64_t* ticks) override
    {
        if (counter_ok)
            *ticks = counter;
        return counter_ok;
    }
    bool query_performance_frequency(int64_t* per_second) override
    {
        if (frequency_ok)
            *per_second = frequency;
        return frequency_ok;
    }
    uint32_t get_tick_count() override { return milliseconds; }
};

class TimeTest : public ::testing::Test {
protected:
    void SetUp() override { platform::set_tick_source(&source_); }
    void TearDown() override { platform::set_tick_source(nullptr); }

    FakeTickSource source_;
};

TEST_F(TimeTest, TicksAndPeriodFollowTheAvailableCounter)
{
    struct Case {
        const char* name;
        bool counter_ok;
        bool frequency_ok;
        int64_t frequency;
        uint32_t milliseconds;
        int64_t expected_ticks;
        double expected_period;
    };
    const Case cases[] = {
        {"high resolution", true, true, 4'000'000, 5, 123'456'789, 1.0 / 4'000'000},
        {"frequency call fails", true, false, 0, 5, 5, 0.001},
        {"frequency is zero", true, true, 0, 5, 5, 0.001},
        {"frequency is negative", true, true, -10, 5, 5, 0.001},
        {"counter call fails", false, true, 4'000'000, 5, 5, 0.001},
        // Milliseconds are widened without sign.
        {"millisecond count at its top", false, false, 0, 0xFFFF'FFFFu, 0xFFFF'FFFFll, 0.001},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        source_.counter_ok = c.counter_ok;
        source_.counter = 123'456'789;
        source_.frequency_ok = c.frequency_ok;
        source_.frequency = c.frequency;
        source_.milliseconds = c.milliseconds;
        EXPECT_EQ(vadu::time::get_ticks(), c.expected_ticks);
        EXPECT_DOUBLE_EQ(vadu::time::get_tick_period(), c.expected_period);
    }
}

TEST_F(TimeTest, WithoutHighResolutionCounterElapsedTimeIsInSeconds)
{
    source_.frequency_ok = false;
    source_.milliseconds = 1000;
    const int64_t earlier = vadu::time::get_ticks();
    source_.milliseconds = 3500;
    const int64_t later = vadu::time::get_ticks();
    EXPECT_DOUBLE_EQ(static_cast<double>(later - earlier) * vadu::time::get_tick_period(), 2.5);
}

TEST_F(TimeTest, PeriodIsAskedAnewAtEachUse)
{
    source_.frequency = 500;
    EXPECT_DOUBLE_EQ(vadu::time::get_tick_period(), 0.002);
    source_.frequency = 2'000'000;
    EXPECT_DOUBLE_EQ(vadu::time::get_tick_period(), 0.5e-6);
}

TEST(Time, SystemClockMeasuresSleep)
{
    const int64_t earlier = vadu::time::get_ticks();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const int64_t later = vadu::time::get_ticks();
    const double seconds = static_cast<double>(later - earlier) * vadu::time::get_tick_period();
    EXPECT_GE(seconds, 0.005);
    EXPECT_LT(seconds, 5.0);
}

} // namespace
