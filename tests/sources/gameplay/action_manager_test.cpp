#include <algorithm>
#include <cmath>

#include "gameplay_test_support.h"
#include "sources/gameplay/actions.h"

namespace {

using gameplay_test::GameplayTest;
using gameplay_test::Probe;
using gameplay_test::RecordingNode;
using Journal = std::vector<std::string>;

// --- The base update --------------------------------------------------------------------

TEST_F(GameplayTest, UpdateAppliesProgressAndFinishesByTime)
{
    struct Case {
        const char* name;
        float duration;
        bool loop;
        std::vector<float> steps;
        std::vector<float> applied;
        bool finished;
    };
    const Case cases[] = {
        {"ends exactly on 1", 0.5f, false, {0.3f, 0.3f}, {0.6f, 1.0f}, true},
        {"looping wraps once", 1.0f, true, {0.75f, 0.75f}, {0.75f, 0.5f}, false},
        {"looping on its end applies 1, then wraps", 1.0f, true, {1.0f, 0.25f}, {1.0f, 0.25f}, false},
        {"a long step wraps only once", 1.0f, true, {2.5f}, {1.5f}, false},
        {"no duration is over at once", 0.0f, false, {0.016f}, {1.0f}, true},
        {"no duration, no time", 0.0f, false, {0.0f}, {1.0f}, true},
    };
    for (const Case& c : cases) {
        Probe probe(journal, "p", c.duration);
        probe.SetLoop(c.loop);
        for (float dt : c.steps)
            probe.Update(dt);
        ASSERT_EQ(probe.progress.size(), c.applied.size()) << c.name;
        for (size_t i = 0; i < c.applied.size(); ++i) {
            EXPECT_FALSE(std::isnan(probe.progress[i])) << c.name;
            EXPECT_NEAR(probe.progress[i], c.applied[i], 1e-6f) << c.name;
        }
        EXPECT_EQ(probe.IsFinished(), c.finished) << c.name;
    }
}

TEST_F(GameplayTest, EasingsTable)
{
    struct Case {
        std::unique_ptr<Easing> easing;
        float t;
        float expected;
    };
    Case cases[] = {
        {std::make_unique<Easing>(), 0.3f, 0.3f},
        {std::make_unique<EaseSineIn>(), 1.0f, 1.0f},
        {std::make_unique<EaseSineIn>(), 0.5f, 1.0f - std::cos(3.1415925f / 4.0f)},
        {std::make_unique<EaseSineOut>(), 0.5f, std::sin(3.1415925f / 4.0f)},
        {std::make_unique<EaseSineInOut>(), 0.5f, 0.5f},
        {std::make_unique<EaseQuartIn>(), 0.5f, 0.0625f},
        {std::make_unique<EaseQuartOut>(), 0.5f, 0.9375f},
        {std::make_unique<EaseQuartInOut>(), 0.5f, 0.5f},
        {std::make_unique<EaseQuartInOut>(), 0.25f, 0.03125f},
        {std::make_unique<EaseQuartInOut>(), 0.75f, 0.96875f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR((*c.easing)(c.t), c.expected, 1e-6f) << typeid(*c.easing).name() << " at " << c.t;
}

// --- The manager ------------------------------------------------------------------------

struct ManagerTest : GameplayTest {
    // A probe whose completion callback notes itself.
    Probe* probe(const std::string& name, float duration = 1.0f)
    {
        auto* action = new Probe(journal, name, duration);
        action->SetOnFinished([this, name](BaseAnimation*) { journal.push_back(name + ":callback"); });
        return action;
    }
    int node_a = 0;
    int node_b = 0;
    const vadu::Atom tag{"tag"};
    const vadu::Atom other{"other"};
};

TEST_F(ManagerTest, ActionStartsNextUpdateAndEndsWithCallbackInTheFrameItEnds)
{
    manager().RunAction(&node_a, probe("a", 0.5f), tag);
    EXPECT_TRUE(journal.empty());
    manager().Update(0.3f);
    EXPECT_EQ(journal, (Journal{"a:start", "a:0.60"}));
    journal.clear();
    manager().Update(0.3f);
    EXPECT_EQ(journal, (Journal{"a:1.00", "a:finish", "a:callback", "a:deleted"}));
    EXPECT_EQ(manager().GetTargetCount(), 0u);
}

TEST_F(ManagerTest, SameTagReplacesWithoutCallbackAndTheSameActionStays)
{
    Probe* first = probe("first");
    manager().RunAction(&node_a, first, tag);
    manager().RunAction(&node_a, probe("kept"), other);
    manager().RunAction(&node_a, first, tag);
    EXPECT_TRUE(journal.empty());
    manager().RunAction(&node_a, probe("second"), tag);
    EXPECT_EQ(journal, (Journal{"first:deleted"}));
    journal.clear();
    manager().Update(0.25f);
    // The replacement keeps the place of the one it replaced.
    EXPECT_EQ(journal, (Journal{"second:start", "second:0.25", "kept:start", "kept:0.25"}));
}

TEST_F(ManagerTest, StopActionTakesTheFirstMatchAndStopActionsByTagAll)
{
    manager().RunAction(&node_a, probe("a1"), tag);
    manager().RunAction(&node_a, probe("a2"), other);
    manager().RunAction(&node_b, probe("b1"), tag);
    manager().StopAction(&node_a, tag);
    EXPECT_EQ(journal, (Journal{"a1:deleted"}));
    ASSERT_EQ(manager().ActionsOf(&node_a).size(), 1u);
    manager().StopAction(&node_a, tag);
    EXPECT_EQ(journal.size(), 1u);
    manager().RunAction(&node_a, probe("a3"), tag);
    journal.clear();
    manager().StopActionsByTag(tag);
    EXPECT_EQ(journal, (Journal{"a3:deleted", "b1:deleted"}));
    EXPECT_EQ(manager().GetTargetCount(), 1u);
    EXPECT_EQ(manager().FindAction(&node_a, other) != nullptr, true);
}

TEST_F(ManagerTest, FinishActionsOfRunsTheCallbacksOfUnfinishedActions)
{
    manager().RunAction(&node_a, probe("a1"), tag);
    manager().RunAction(&node_a, probe("a2"), other);
    manager().RunAction(&node_b, probe("b"), tag);
    manager().Update(0.1f);
    journal.clear();
    manager().FinishActionsOf(&node_a);
    EXPECT_EQ(journal, (Journal{"a1:finish", "a1:callback", "a2:finish", "a2:callback", "a1:deleted", "a2:deleted"}));
    EXPECT_TRUE(manager().ActionsOf(&node_a).empty());
    EXPECT_EQ(manager().GetTargetCount(), 1u);
}

TEST_F(ManagerTest, ClearAndTheDestructorDeleteWithoutFinishing)
{
    manager().RunAction(&node_a, probe("a"), tag);
    manager().Clear();
    EXPECT_EQ(journal, (Journal{"a:deleted"}));
    manager().RunAction(&node_b, probe("b"), tag);
    ActionManager::ResetGlobal();
    EXPECT_EQ(journal, (Journal{"a:deleted", "b:deleted"}));
}

TEST_F(ManagerTest, TargetsAreVisitedInTheOrderTheyWereFirstAdded)
{
    // Addresses that fall as the targets are added: pointer order would reverse them.
    int targets[8];
    for (int i = 7; i >= 0; --i)
        manager().RunAction(&targets[i], new Probe(journal, std::to_string(i)), tag);
    manager().Update(0.1f);
    Journal starts;
    for (const std::string& line : journal) {
        if (line.ends_with(":start"))
            starts.push_back(line.substr(0, 1));
    }
    EXPECT_EQ(starts, (Journal{"7", "6", "5", "4", "3", "2", "1", "0"}));
}

TEST_F(ManagerTest, DestroyingTheTargetNodeFinishesTheActionInTheNextSweep)
{
    auto* node = new RecordingNode("node", nullptr);
    bool called = false;
    auto* move = new MoveAction(node, 5.0f, {0, 0, 0}, {10, 0, 0});
    move->SetOnFinished([&](BaseAnimation*) { called = true; });
    manager().RunAction(node, move, tag);
    manager().Update(0.1f);
    delete node;
    manager().Update(0.1f);
    EXPECT_TRUE(called);
    EXPECT_EQ(manager().GetTargetCount(), 0u);
}

// --- Callbacks that call back into the manager (run under ASan) ---------------------------

TEST_F(ManagerTest, CallbacksDuringTheSweepMayRunStopAndFinish)
{
    Probe* ending = probe("ending", 0.1f);
    ending->SetOnFinished([this](BaseAnimation*) {
        journal.push_back("ending:callback");
        // A new action on the same target, a stop of a later entry, a finish of another target.
        manager().RunAction(&node_a, probe("new"), vadu::Atom("new"));
        manager().StopAction(&node_a, other);
        manager().FinishActionsOf(&node_b);
        manager().StopAction(&node_a, tag);
    });
    manager().RunAction(&node_a, ending, tag);
    manager().RunAction(&node_a, probe("later", 0.1f), other);
    manager().RunAction(&node_b, probe("b"), tag);
    manager().Update(0.1f);
    // "later" also ended this frame but was stopped before the sweep reached it: no callback.
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "later:callback"), 0);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "b:callback"), 1);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "new:start"), 0);
    journal.clear();
    manager().Update(0.1f);
    EXPECT_EQ(journal, (Journal{"new:start", "new:0.10"}));
}

TEST_F(ManagerTest, ACallbackMayClearEverythingOrFinishItsOwnTarget)
{
    Probe* a = probe("a", 0.1f);
    a->SetOnFinished([this](BaseAnimation*) {
        manager().FinishActionsOf(&node_a);
        manager().Clear();
    });
    manager().RunAction(&node_a, a, tag);
    manager().RunAction(&node_a, probe("a2", 0.1f), other);
    manager().RunAction(&node_b, probe("b", 0.1f), tag);
    manager().Update(0.2f);
    // a2 was finished by the callback's FinishActionsOf, b dropped by Clear.
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "a2:callback"), 1);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "b:callback"), 0);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "b:deleted"), 1);
    EXPECT_EQ(manager().GetTargetCount(), 0u);
}

TEST_F(ManagerTest, ACallbackMayDestroyANodeThatOtherActionsTarget)
{
    auto* doomed = new RecordingNode("doomed", nullptr);
    // An action owning its node: deleting it deletes the node, whose owner finishes its actions.
    auto* owner = new MoveAction(doomed, 0.1f, {0, 0, 0}, {1, 0, 0});
    owner->SetOwnsTarget(true);
    auto* follower = new MoveAction(doomed, 5.0f, {0, 0, 0}, {5, 0, 0});
    bool follower_done = false;
    follower->SetOnFinished([&](BaseAnimation*) { follower_done = true; });
    Probe* trigger = probe("trigger", 0.1f);
    trigger->SetOnFinished([&](BaseAnimation*) { manager().StopAction(doomed, tag); });
    manager().RunAction(&node_a, trigger, tag);
    manager().RunAction(doomed, owner, tag);
    manager().RunAction(doomed, follower, other);
    manager().Update(0.05f);
    EXPECT_FALSE(follower_done);
    manager().Update(0.05f);
    manager().Update(0.05f);
    EXPECT_TRUE(follower_done);
    EXPECT_EQ(manager().GetTargetCount(), 0u);
}

TEST_F(ManagerTest, ACallbackDuringFinishActionsOfMayFinishTheSameTargetAgain)
{
    Probe* a = probe("a");
    a->SetOnFinished([this](BaseAnimation*) {
        journal.push_back("a:callback");
        manager().FinishActionsOf(&node_a);
        manager().RunAction(&node_a, probe("late"), vadu::Atom("late"));
    });
    manager().RunAction(&node_a, a, tag);
    manager().RunAction(&node_a, probe("b"), other);
    manager().FinishActionsOf(&node_a);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "b:callback"), 1);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "late:callback"), 1);
    EXPECT_TRUE(manager().ActionsOf(&node_a).empty());
}

} // namespace
