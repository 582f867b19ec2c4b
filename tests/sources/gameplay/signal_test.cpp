#include "game/signal.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

TEST(SignalTest, NumbersAreHandedOutInOrderAndNeverReused)
{
    Signal<void()> signal;
    EXPECT_EQ(signal.Connect([] {}), 0u);
    EXPECT_EQ(signal.Connect([] {}), 1u);
    EXPECT_TRUE(signal.Disconnect(0));
    EXPECT_EQ(signal.Connect([] {}), 2u);
    EXPECT_EQ(signal.Size(), 2u);
}

TEST(SignalTest, DisconnectTellsWhetherAnEntryWasRemoved)
{
    Signal<void()> signal;
    const auto id = signal.Connect([] {});
    EXPECT_FALSE(signal.Disconnect(id + 1));
    EXPECT_TRUE(signal.Disconnect(id));
    EXPECT_FALSE(signal.Disconnect(id));
    EXPECT_TRUE(signal.Empty());
}

TEST(SignalTest, ListenersRunInConnectionOrderWithTheArguments)
{
    Signal<void(int, const std::string&)> signal;
    std::vector<std::string> calls;
    signal.Connect([&](int value, const std::string& name) { calls.push_back("A" + name + std::to_string(value)); });
    const auto b = signal.Connect([&](int value, const std::string&) { calls.push_back("B" + std::to_string(value)); });
    signal.Connect([&](int, const std::string& name) { calls.push_back("C" + name); });

    signal.Emit(7, "x");
    EXPECT_EQ(calls, (std::vector<std::string>{"Ax7", "B7", "Cx"}));

    calls.clear();
    signal.Disconnect(b);
    signal.Emit(1, "y");
    EXPECT_EQ(calls, (std::vector<std::string>{"Ay1", "Cy"}));
}

TEST(SignalTest, ACallableKeepsItsOwnStateAcrossEmissions)
{
    // Emission must call the stored callable, not a copy of it.
    Signal<int()> signal;
    std::vector<int> seen;
    signal.Connect([&seen, count = 0]() mutable { seen.push_back(++count); return count; });
    signal.Emit();
    signal.Emit();
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

// Listeners that change the signal while it calls them.
struct ReentrantSignalTest : ::testing::Test {
    Signal<void()> signal;
    std::vector<std::string> calls;
};

TEST_F(ReentrantSignalTest, AListenerDisconnectingItselfRunsToTheEnd)
{
    Signal<void()>::Id self = 0;
    // The capture is large enough to live on the heap: a freed callable would show under ASan.
    std::string padding(64, 'p');
    self = signal.Connect([this, &self, padding] {
        signal.Disconnect(self);
        calls.push_back("self" + std::to_string(padding.size()));
    });
    signal.Connect([this] { calls.push_back("next"); });
    signal.Emit();
    signal.Emit();
    EXPECT_EQ(calls, (std::vector<std::string>{"self64", "next", "next"}));
}

TEST_F(ReentrantSignalTest, ALaterListenerDisconnectedDuringTheEmissionIsSkipped)
{
    Signal<void()>::Id later = 0;
    signal.Connect([this, &later] { calls.push_back("first"); signal.Disconnect(later); });
    later = signal.Connect([this] { calls.push_back("later"); });
    signal.Connect([this] { calls.push_back("last"); });
    signal.Emit();
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "last"}));
}

TEST_F(ReentrantSignalTest, AListenerConnectedDuringTheEmissionWaitsForTheNext)
{
    bool connected = false;
    signal.Connect([this, &connected] {
        calls.push_back("first");
        if (!connected) {
            connected = true;
            // Enough new entries to make the vector reallocate under the emission.
            for (int i = 0; i < 16; ++i)
                signal.Connect([this] { calls.push_back("new"); });
        }
    });
    signal.Emit();
    EXPECT_EQ(calls, (std::vector<std::string>{"first"}));
    calls.clear();
    signal.Emit();
    EXPECT_EQ(calls.size(), 17u);
}

TEST_F(ReentrantSignalTest, AListenerMayEmitAgain)
{
    int depth = 0;
    signal.Connect([this, &depth] {
        calls.push_back("depth" + std::to_string(depth));
        if (depth++ == 0)
            signal.Emit();
    });
    signal.Emit();
    EXPECT_EQ(calls, (std::vector<std::string>{"depth0", "depth1"}));
}

TEST(SignalOwnerTest, DestroyingTheSignalDuringAnEmissionStopsIt)
{
    // A click that closes the window owning the button.
    auto owner = std::make_unique<Signal<void()>>();
    std::vector<std::string> calls;
    owner->Connect([&] { calls.push_back("close"); owner.reset(); });
    owner->Connect([&] { calls.push_back("after"); });
    owner->Emit();
    EXPECT_EQ(calls, (std::vector<std::string>{"close"}));
    EXPECT_EQ(owner, nullptr);
}

TEST(SignalOwnerTest, MovingKeepsTheConnectionsAndTheirNumbers)
{
    Signal<void()> first;
    int calls = 0;
    const auto id = first.Connect([&] { ++calls; });
    Signal<void()> second(std::move(first));
    second.Emit();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(second.Disconnect(id));
    EXPECT_EQ(second.Connect([] {}), id + 1);
}

} // namespace
