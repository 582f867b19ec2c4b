#include "vadu/animate/command_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "animate_test_support.h"

namespace {

using animate_test::Journal;
using animate_test::TestObject;

// A door below the root with sequences at 0, 1 and 2.
class CommandTrack : public ::testing::Test {
protected:
    CommandTrack()
    {
        root.add("Hall").add("Door");
        EXPECT_TRUE(animate_test::load(commands, "Commands", R"(
            <Commands>
                <Command Target="Hall|Door">
                    <Execute Time="0" Name="Open"/>
                    <Execute Time="1" Name="Swing"/>
                    <Execute Time="2" Name="Close"/>
                </Command>
            </Commands>)"));
    }

    // The sequences started by moving to t.
    Journal move_to(double t)
    {
        journal.clear();
        commands.set_time(t);
        return journal;
    }

    Journal journal;
    TestObject root{"Root", journal};
    vadu::animate::CommandList commands;
};

TEST_F(CommandTrack, FiresWhatEachMovePasses)
{
    ASSERT_TRUE(commands.bind(&root, false));
    EXPECT_EQ(commands.get_length(), 2.0);

    struct Step {
        double time;
        Journal fired;
    };
    const Step steps[] = {
        {0.0, {"Door>Open"}},  // the first rewind fires what lies in (-1, 0]
        {1.5, {"Door>Swing"}},
        {2.0, {"Door>Close"}},
        {2.0, {}},                          // no move, nothing
        {0.5, {"Door>Open"}},               // backward: a wrap of the loop
        {1.0, {"Door>Swing"}},              // an entry at the new time fires
        {1.5, {}},                          // one at the old time does not
        {0.0, {"Door>Open", "Door>Close"}}, // backward: after 1.5 and up to 0, in file order
        {5.0, {"Door>Swing", "Door>Close"}},
        {-0.5, {}},                          // backward to before every entry, nothing after 5
    };
    for (const Step& step : steps)
        EXPECT_EQ(move_to(step.time), step.fired) << "to " << step.time;
}

TEST_F(CommandTrack, UnfoundTargetStaysInert)
{
    vadu::animate::CommandList other;
    ASSERT_TRUE(animate_test::load(other, "Commands", R"(
        <Commands>
            <Command Target="Door"><Execute Time="0" Name="Open"/></Command>
            <Command Target="Hall"><Execute Time="0" Name="Light"/></Command>
        </Commands>)"));
    // Door is a grandchild: without recursion it is not found, but the others still bind.
    EXPECT_FALSE(other.bind(&root, false));
    journal.clear();
    other.set_time(0.0);
    other.set_time(3.0);
    other.set_time(0.0);
    EXPECT_EQ(journal, (Journal{"Hall>Light", "Hall>Light"}));
}

TEST_F(CommandTrack, DestroyedTargetStopsFiring)
{
    ASSERT_TRUE(commands.bind(&root, false));
    EXPECT_EQ(move_to(0.0), Journal{"Door>Open"});
    root.child("Hall").remove("Door");
    EXPECT_EQ(move_to(2.0), Journal{});
    EXPECT_EQ(commands.commands[0].last_time, 2.0);
}

TEST(CommandList, LengthIsTheLastEntryInFileOrder)
{
    vadu::animate::CommandList commands;
    ASSERT_TRUE(animate_test::load(commands, "Commands", R"(
        <Commands>
            <Command Target="a"><Execute Time="3" Name="x"/><Execute Time="1.5" Name="y"/></Command>
            <Command Target="b"/>
            <Command/>
        </Commands>)"));
    ASSERT_EQ(commands.commands.size(), 3u);
    EXPECT_EQ(commands.commands[0].last_execute_time(), 1.5);
    EXPECT_EQ(commands.commands[1].last_execute_time(), 0.0);
    EXPECT_EQ(commands.get_length(), 1.5);
    EXPECT_EQ(commands.commands[0].executes[1].name, vadu::Atom("y"));
    EXPECT_EQ(commands.commands[2].last_time, -1.0);
}

TEST(CommandList, RefusesWhatItDoesNotKnow)
{
    const char* const documents[] = {
        R"(<Commands Target="a"/>)",
        R"(<Commands><Execute Time="1"/></Commands>)",
        R"(<Commands><Command Name="a"/></Commands>)",
        R"(<Commands><Command><Execute Time="1" Param="x"/></Command></Commands>)",
        R"(<Commands><Command><Execute Time="soon"/></Command></Commands>)",
        R"(<Commands><Command><Command/></Command></Commands>)",
    };
    for (const char* document : documents) {
        vadu::animate::CommandList commands;
        EXPECT_FALSE(animate_test::load(commands, "Commands", document)) << document;
    }
}

} // namespace
