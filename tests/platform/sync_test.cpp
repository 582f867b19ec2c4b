#include "platform/clock.h"
#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(Event, SetBeforeWaitIsKeptAndConsumedOnce)
{
    platform::Event event;
    event.set();
    event.set(); // not a counter: two sets release one wait
    EXPECT_TRUE(event.wait_for(0));
    EXPECT_FALSE(event.wait_for(10));
}

TEST(Event, UnsignalledWaitTimesOut)
{
    platform::Event event;
    EXPECT_FALSE(event.wait_for(10));
}

TEST(Event, ReleasesWaiterOnAnotherThreadAndResets)
{
    platform::Event request;
    platform::Event reply;
    std::atomic<int> served{0};
    std::thread worker([&] {
        for (int i = 0; i < 2; ++i) {
            request.wait();
            served.fetch_add(1);
            reply.set();
        }
    });
    for (int i = 1; i <= 2; ++i) {
        request.set();
        ASSERT_TRUE(reply.wait_for(5000));
        EXPECT_EQ(served.load(), i);
    }
    worker.join();
    EXPECT_FALSE(reply.wait_for(0));
}

TEST(Clock, SystemCounterIsMonotonicNanoseconds)
{
    int64_t frequency = 0;
    ASSERT_TRUE(platform::query_performance_frequency(&frequency));
    EXPECT_EQ(frequency, 1'000'000'000);

    int64_t first = 0;
    int64_t second = 0;
    ASSERT_TRUE(platform::query_performance_counter(&first));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(platform::query_performance_counter(&second));
    EXPECT_GE(second - first, 2'000'000);

    // Both readings come from the same monotonic clock.
    const uint32_t ms = platform::get_tick_count();
    const uint32_t counter_ms = static_cast<uint32_t>(second / 1'000'000);
    EXPECT_LT(static_cast<uint32_t>(ms - counter_ms), 1000u);
}

class FixedTickSource final : public platform::TickSource {
public:
    bool query_performance_counter(int64_t* ticks) override
    {
        *ticks = 42;
        return true;
    }
    bool query_performance_frequency(int64_t* per_second) override
    {
        *per_second = 1000;
        return true;
    }
    uint32_t get_tick_count() override { return 7; }
};

TEST(Clock, InstalledSourceAnswersUntilReset)
{
    FixedTickSource source;
    platform::set_tick_source(&source);
    int64_t ticks = 0;
    int64_t frequency = 0;
    EXPECT_TRUE(platform::query_performance_counter(&ticks));
    EXPECT_TRUE(platform::query_performance_frequency(&frequency));
    EXPECT_EQ(ticks, 42);
    EXPECT_EQ(frequency, 1000);
    EXPECT_EQ(platform::get_tick_count(), 7u);

    platform::set_tick_source(nullptr);
    EXPECT_TRUE(platform::query_performance_frequency(&frequency));
    EXPECT_EQ(frequency, 1'000'000'000);
}

} // namespace
