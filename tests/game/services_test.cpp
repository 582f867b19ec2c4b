#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework_test_support.h"
#include "game/scheduler.h"
#include "game/screen_backend.h"
#include "game/service_provider.h"
#include "vadu/exception.h"

namespace {

using namespace framework_test;

TEST(Scheduler, RunsDueCallsLastPostedFirstAndNestedPostsAtOnce)
{
    game::SchedulerService scheduler;
    std::vector<std::string> ran;
    scheduler.Schedule([&] { ran.push_back("A"); });
    scheduler.Schedule([&] {
        ran.push_back("B");
        scheduler.Schedule([&] { ran.push_back("B's child"); });
    });
    scheduler.Schedule([&] { ran.push_back("C"); });
    scheduler.Advance(0.0);
    EXPECT_EQ(ran, (std::vector<std::string>{"C", "B", "B's child", "A"}));
    EXPECT_EQ(scheduler.GetPendingCount(), 0u);
}

TEST(Scheduler, DelayedCallRunsWhenItsDelayIsUsedUp)
{
    struct Case {
        std::vector<double> advances;
        int expected_runs;
    };
    const Case cases[] = {
        {{0.2, 0.2}, 0},       // 0.1 still waits
        {{0.2, 0.2, 0.2}, 1},  // -0.1: due
        {{0.5}, 1},            // exactly 0 is due
    };
    for (const Case& c : cases) {
        game::SchedulerService scheduler;
        int runs = 0;
        scheduler.ScheduleAfter(0.5, [&] { ++runs; });
        for (double dt : c.advances)
            scheduler.Advance(dt);
        EXPECT_EQ(runs, c.expected_runs) << c.advances.size() << " advances";
    }
}

TEST(Scheduler, WaitingCallsAreStoredBackReversed)
{
    game::SchedulerService scheduler;
    std::vector<std::string> ran;
    scheduler.ScheduleAfter(1.0, [&] { ran.push_back("X"); });
    scheduler.ScheduleAfter(1.0, [&] { ran.push_back("Y"); });
    scheduler.Advance(0.5); // both wait: stored as Y, X
    scheduler.Advance(0.5); // taken from the back: X first
    EXPECT_EQ(ran, (std::vector<std::string>{"X", "Y"}));
}

TEST(Scheduler, CallsPostedAfterAFailingCallStayPending)
{
    game::SchedulerService scheduler;
    int runs = 0;
    scheduler.Schedule([&] { ++runs; });
    scheduler.ScheduleAfter(5.0, [&] { ++runs; });
    scheduler.Schedule([] { throw vadu::Gluck("test", "screen build failed"); });
    EXPECT_THROW(scheduler.Advance(0.0), vadu::Gluck);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(scheduler.GetPendingCount(), 2u);
    scheduler.Advance(0.0);
    EXPECT_EQ(runs, 1);
}

struct Counted : game::Service {
    explicit Counted(int* deaths) : deaths(deaths) {}
    ~Counted() override { ++*deaths; }
    int* deaths;
};
struct Other : game::Service {};

using Provider = FrameworkTest;

TEST_F(Provider, FirstRegistrationWinsAndTheRefusedOneIsDeleted)
{
    int deaths = 0;
    {
        game::ServiceProvider provider;
        auto first = std::make_unique<Counted>(&deaths);
        Counted* kept = first.get();
        EXPECT_TRUE(provider.Register<Counted>(std::move(first)));
        EXPECT_FALSE(provider.Register<Counted>(std::make_unique<Counted>(&deaths)));
        EXPECT_EQ(deaths, 1);
        EXPECT_EQ(provider.Get<Counted>(), kept);
        EXPECT_TRUE(diagnostics.empty());

        EXPECT_EQ(provider.Get<Other>(), nullptr);
        EXPECT_TRUE(fired("Couldn't find requested service"));
    }
    EXPECT_EQ(deaths, 2);
}

struct Backend : game::ScreenBackend {
    void Update(double) override {}
    void OnInitialized() override {}
};

TEST(BackendFactory, DuplicateNameRaisesAndKeepsTheFirstCreator)
{
    game::ScreenBackendFactory factory;
    int made = 0;
    factory.RegisterBackendCreator("GameScreen", [&] {
        ++made;
        return std::make_unique<Backend>();
    });
    try {
        factory.RegisterBackendCreator("GameScreen", [] { return nullptr; });
        FAIL() << "no error";
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(to_std(error.get_description()),
                  "Tried to register more than one backend creator with the name \"GameScreen\"");
        EXPECT_EQ(to_std(error.get_function()), "game::ScreenBackendFactory::RegisterBackendCreator");
    }
    EXPECT_NE(factory.CreateBackend("GameScreen"), nullptr);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(factory.CreateBackend("gamescreen"), nullptr);
    EXPECT_EQ(made, 1);
}

} // namespace
