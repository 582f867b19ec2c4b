#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sources/gameplay/perishable.h"

namespace {

// A timer whose danger and link removal the test scripts.
class ScriptedPerishable : public gameplay::Perishable {
public:
    bool IsInDanger() override { return danger; }
    bool RemoveLinks() override
    {
        journal.push_back("remove");
        return refusals-- <= 0;
    }
    void OnDangerChanged(bool in_danger) override { journal.push_back(in_danger ? "danger" : "safe"); }
    void PlayDying() override { journal.push_back("dying"); }

    bool danger = false;
    int refusals = 0;
    std::vector<std::string> journal;
};

struct Step {
    bool danger;
    float dt;
};

struct DangerCase {
    const char* name;
    std::vector<Step> steps;
    int refusals;
    std::vector<std::string> journal;
    bool dead;
};

class DangerTimer : public ::testing::TestWithParam<DangerCase> {};

TEST_P(DangerTimer, FollowsTheScript)
{
    const DangerCase& c = GetParam();
    ScriptedPerishable shape;
    shape.refusals = c.refusals;
    for (const Step& step : c.steps) {
        shape.danger = step.danger;
        shape.UpdateDanger(step.dt);
    }
    EXPECT_EQ(shape.journal, c.journal);
    EXPECT_EQ(shape.IsDead(), c.dead);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DangerTimer,
    ::testing::Values(
        DangerCase{"OneSecondThenSafe", {{true, 0.5f}, {true, 0.5f}, {false, 0.1f}}, 0, {"danger", "safe"}, false},
        DangerCase{"ExactlyTheDelayIsNotEnough", {{true, 0.6f}, {true, 0.6f}}, 0, {"danger"}, false},
        DangerCase{"PastTheDelayDiesOnce",
                   {{true, 0.6f}, {true, 0.6f}, {true, 0.01f}, {true, 1.0f}, {true, 1.0f}},
                   0,
                   {"danger", "remove", "dying"},
                   true},
        DangerCase{"ARefusedRemovalRetries",
                   {{true, 1.3f}, {true, 0.1f}},
                   1,
                   {"danger", "remove", "remove", "dying"},
                   true},
        DangerCase{"SafeAgainStartsFromZero",
                   {{true, 1.0f}, {false, 0.1f}, {true, 1.0f}},
                   0,
                   {"danger", "safe", "danger"},
                   false}),
    [](const ::testing::TestParamInfo<DangerCase>& info) { return std::string(info.param.name); });

TEST(DangerTimer, SafeResetsTheDangerTime)
{
    ScriptedPerishable shape;
    shape.danger = true;
    shape.UpdateDanger(1.0f);
    EXPECT_FLOAT_EQ(shape.GetDangerTime(), 1.0f);
    shape.danger = false;
    shape.UpdateDanger(0.1f);
    EXPECT_EQ(shape.GetDangerTime(), 0.0f);
    EXPECT_FALSE(shape.WasInDanger());
}

TEST(DangerTimer, DieTwiceDiesOnce)
{
    ScriptedPerishable shape;
    shape.Die();
    shape.Die();
    EXPECT_TRUE(shape.IsDead());
    EXPECT_EQ(shape.journal, (std::vector<std::string>{"remove", "dying"}));
}

TEST(DangerTimer, DieWithRefusedRemovalStaysAlive)
{
    ScriptedPerishable shape;
    shape.refusals = 1;
    shape.Die();
    EXPECT_FALSE(shape.IsDead());
    shape.Die();
    EXPECT_TRUE(shape.IsDead());
}

} // namespace
