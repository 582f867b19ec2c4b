#include "platform/clock.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

namespace {

class FixedStepClock : public ::testing::Test {
protected:
    ~FixedStepClock() override
    {
        platform::set_fixed_step(false);
        platform::set_tick_source(nullptr);
        ::unsetenv("QUILLO_FIXED_STEP");
    }

    static int64_t counter()
    {
        int64_t ticks = 0;
        EXPECT_TRUE(platform::query_performance_counter(&ticks));
        return ticks;
    }
};

TEST_F(FixedStepClock, MovesByWholeFramesOnlyAndStartsAfreshEachTimeItIsTurnedOn)
{
    platform::advance_fixed_step(); // off: nothing to move
    platform::set_fixed_step(true);
    int64_t frequency = 0;
    ASSERT_TRUE(platform::query_performance_frequency(&frequency));
    EXPECT_EQ(frequency, platform::fixed_step_frequency);
    EXPECT_EQ(counter(), frequency) << "one second in, so that no reading is zero";
    EXPECT_EQ(platform::get_tick_count(), 1000u);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(counter(), frequency);

    for (int frame = 0; frame < 60; ++frame)
        platform::advance_fixed_step();
    EXPECT_EQ(counter(), 2 * frequency) << "sixty frames are exactly a second";
    EXPECT_EQ(platform::get_tick_count(), 2000u);

    platform::set_fixed_step(true);
    EXPECT_EQ(counter(), frequency);
    platform::set_fixed_step(false);
    EXPECT_FALSE(platform::is_fixed_step());
    EXPECT_GT(counter(), 2 * frequency) << "the wall clock's nanoseconds again";
}

TEST_F(FixedStepClock, AnInstalledSourceStillComesFirst)
{
    struct Source : platform::TickSource {
        bool query_performance_counter(int64_t* ticks) override
        {
            *ticks = 7;
            return true;
        }
        bool query_performance_frequency(int64_t* per_second) override
        {
            *per_second = 1000;
            return true;
        }
        uint32_t get_tick_count() override { return 7; }
    } source;
    platform::set_fixed_step(true);
    platform::set_tick_source(&source);
    EXPECT_EQ(counter(), 7);
    platform::set_tick_source(nullptr);
    EXPECT_EQ(counter(), platform::fixed_step_frequency);
}

TEST_F(FixedStepClock, WantedHeadlessUnlessTheSettingIsZero)
{
    const struct {
        const char* setting; // null: unset
        bool headless;
        bool wanted;
    } cases[] = {{nullptr, true, true}, {"1", true, true}, {"yes", true, true}, {"0", true, false},
                 {nullptr, false, false}, {"1", false, false}};
    for (const auto& c : cases) {
        if (c.setting)
            ::setenv("QUILLO_FIXED_STEP", c.setting, 1);
        else
            ::unsetenv("QUILLO_FIXED_STEP");
        EXPECT_EQ(platform::fixed_step_wanted(c.headless), c.wanted)
            << (c.setting ? c.setting : "unset") << ", headless " << c.headless;
    }
}

} // namespace
