#include "platform/random.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

// The first values of the classic generator from seed 1.
const std::vector<int> kSeedOne = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};

std::vector<int> draw(size_t count)
{
    std::vector<int> values;
    for (size_t i = 0; i < count; ++i)
        values.push_back(platform::random());
    return values;
}

TEST(Random, FreshThreadStartsFromSeedOne)
{
    std::vector<int> values;
    std::thread([&values] { values = draw(kSeedOne.size()); }).join();
    EXPECT_EQ(values, kSeedOne);
}

TEST(Random, SeedingReplaysTheSequence)
{
    platform::seed_random(1);
    EXPECT_EQ(draw(kSeedOne.size()), kSeedOne);

    platform::seed_random(12345);
    const std::vector<int> first = draw(50);
    platform::seed_random(12345);
    EXPECT_EQ(draw(50), first);
    platform::seed_random(12346);
    EXPECT_NE(draw(50), first);
}

TEST(Random, CoversTheWholeRange)
{
    EXPECT_EQ(platform::random_max, 32767);
    platform::seed_random(7);
    int lowest = platform::random_max;
    int highest = 0;
    long long sum = 0;
    constexpr int kDraws = 200000;
    for (int i = 0; i < kDraws; ++i) {
        const int value = platform::random();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, platform::random_max);
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
        sum += value;
    }
    EXPECT_LT(lowest, 10);
    EXPECT_GT(highest, platform::random_max - 10);
    EXPECT_NEAR(static_cast<double>(sum) / kDraws, platform::random_max / 2.0, 200.0);
}

TEST(Random, ThreadsDoNotDisturbEachOther)
{
    std::vector<int> a;
    std::vector<int> b;
    std::thread first([&a] {
        platform::seed_random(99);
        a = draw(1000);
    });
    std::thread second([&b] {
        platform::seed_random(99);
        b = draw(1000);
    });
    first.join();
    second.join();
    EXPECT_EQ(a, b);
}

} // namespace
