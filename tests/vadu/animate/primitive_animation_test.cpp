#include "vadu/animate/primitive_animation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "animate_test_support.h"

namespace {

using animate_test::Journal;
using animate_test::TestObject;
using vadu::animate::PrimitiveAnimation;

// Root -> Body -> Arm, Root -> Leg.
class AnimationTree : public ::testing::Test {
protected:
    AnimationTree()
    {
        root.add("Body").add("Arm");
        root.add("Leg");
    }

    // The document into a fresh animation (the load must succeed).
    static PrimitiveAnimation loaded(const std::string& document)
    {
        PrimitiveAnimation animation;
        EXPECT_TRUE(animate_test::load(animation, "Animation", document)) << document;
        return animation;
    }

    Journal take()
    {
        Journal taken;
        taken.swap(journal);
        return taken;
    }

    Journal journal;
    TestObject root{"Root", journal};
};

// One number track on the root's "Alpha" whose value equals the time, over [0, length].
std::string ramp(double length)
{
    std::string keys = R"(<Key Time="0" Value="0" Linear="1"/>)";
    if (length > 0.0)
        keys += "<Key Time=\"" + animate_test::format_number(length) + "\" Value=\"" +
                animate_test::format_number(length) + "\"/>";
    return "<Animation><double><PrimitiveAnimation Target=\"\" Param=\"Alpha\"><Envelope><Keys>" + keys +
           "</Keys></Envelope></PrimitiveAnimation></double></Animation>";
}

TEST_F(AnimationTree, LoadsEveryKindAndDrivesItsTargets)
{
    PrimitiveAnimation animation = loaded(R"(
        <Animation Speed="2">
            <double>
                <PrimitiveAnimation Target="Body" Param="Alpha">
                    <Envelope><Keys><Key Time="0" Value="0" Linear="1"/><Key Time="2" Value="2"/></Keys></Envelope>
                </PrimitiveAnimation>
            </double>
            <MathVector3f>
                <PrimitiveAnimation Target="Body|Arm" Param="Position">
                    <EnvelopeTCB><Keys><Key Time="0" Value="0 0 0"/><Key Time="2" Value="4 2 0"/></Keys></EnvelopeTCB>
                </PrimitiveAnimation>
            </MathVector3f>
            <Animation>
                <WString>
                    <PrimitiveAnimation Target="" Param="Label">
                        <Envelope><Keys><Key Time="0" Value="one"/><Key Time="1" Value="two"/></Keys></Envelope>
                    </PrimitiveAnimation>
                </WString>
            </Animation>
            <FilesystemString>
                <PrimitiveAnimation Target="Body" Param="Picture">
                    <EnvelopeTCB><Keys><Key Time="0" Value="a.png"/><Key Time="1.5" Value="B.png"/></Keys></EnvelopeTCB>
                </PrimitiveAnimation>
            </FilesystemString>
            <Commands>
                <Command Target="Body|Arm"><Execute Time="0" Name="Wave"/><Execute Time="1" Name="Rest"/></Command>
            </Commands>
        </Animation>)");
    EXPECT_EQ(animation.get_speed(), 2.0);
    EXPECT_EQ(animation.get_length(), 2.0);
    EXPECT_EQ(animation.get_string_tracks().size(), 1u);
    EXPECT_FALSE(animation.is_bound());

    // Binding rewinds: every kind in its order, then the commands.
    EXPECT_TRUE(animation.bind(&root, false));
    EXPECT_TRUE(animation.is_bound());
    EXPECT_EQ(take(), (Journal{"Body.Alpha=0", "Arm.Position=(0 0 0)", "Root.Label=wide:one",
                               "Body.Picture=path:a.png", "Arm>Wave"}));

    animation.set_time(1.0);
    EXPECT_EQ(take(), (Journal{"Body.Alpha=1", "Arm.Position=(2 1 0)", "Root.Label=wide:one",
                               "Body.Picture=path:a.png", "Arm>Rest"}));
    animation.set_time(1.75);
    EXPECT_EQ(take(), (Journal{"Body.Alpha=1.75", "Arm.Position=(3.5 1.75 0)", "Root.Label=wide:two",
                               "Body.Picture=path:B.png"}));
}

TEST_F(AnimationTree, LengthFollowsTheSelectedEnvelopesAndFileOrder)
{
    const PrimitiveAnimation animation = loaded(R"(
        <Animation>
            <double>
                <PrimitiveAnimation Param="a">
                    <Envelope><Keys><Key Time="0"/><Key Time="5"/></Keys></Envelope>
                    <EnvelopeTCB><Keys><Key Time="0"/><Key Time="1.5"/></Keys></EnvelopeTCB>
                </PrimitiveAnimation>
                <PrimitiveAnimation Param="b">
                    <EnvelopeTCB><Keys><Key Time="0"/><Key Time="6"/></Keys></EnvelopeTCB>
                    <Envelope><Keys><Key Time="3"/><Key Time="1"/></Keys></Envelope>
                </PrimitiveAnimation>
            </double>
            <Commands><Command><Execute Time="2.5"/><Execute Time="1.75"/></Command></Commands>
        </Animation>)");
    ASSERT_EQ(animation.get_number_tracks().size(), 2u);
    EXPECT_TRUE(animation.get_number_tracks()[0].use_tcb);
    EXPECT_FALSE(animation.get_number_tracks()[1].use_tcb);
    // 1.5 (TCB chosen), 1 (last key written, not the latest), 1.75 (last entry written).
    EXPECT_DOUBLE_EQ(animation.get_length(), 1.75);

    EXPECT_EQ(loaded("<Animation/>").get_length(), 0.0);
}

TEST_F(AnimationTree, AdvanceClampsAndReturnsTheOvershoot)
{
    struct Case {
        double start, length, speed, dt;
        double time, cut;
    };
    const Case cases[] = {
        {0.9, 1.0, 1.0, 0.3, 1.0, 0.2},   {0.5, 1.0, -1.0, 0.7, 0.0, -0.2}, {0.2, 1.0, 2.0, 0.1, 0.4, 0.0},
        {0.5, 1.0, 1.0, -0.25, 0.25, 0.0}, {1.0, 1.0, 1.0, 0.0, 1.0, 0.0},  {0.25, 1.0, 0.0, 3.0, 0.25, 0.0},
        {0.0, 0.0, 1.0, 0.5, 0.0, 0.5},    {0.0, 0.0, 1.0, -0.5, 0.0, -0.5},
    };
    for (const Case& c : cases) {
        PrimitiveAnimation animation = loaded(ramp(c.length));
        ASSERT_EQ(animation.get_length(), c.length);
        ASSERT_TRUE(animation.bind(&root, false));
        animation.set_speed(static_cast<float>(c.speed));
        animation.set_time(c.start);
        take();
        EXPECT_NEAR(animation.advance(c.dt), c.cut, 1e-12) << "case from " << c.start << " by " << c.dt;
        EXPECT_NEAR(animation.get_time(), c.time, 1e-12) << "case from " << c.start << " by " << c.dt;
        EXPECT_EQ(take(), Journal{"Root.Alpha=" + animate_test::format_number(static_cast<float>(c.time))});
    }
}

TEST_F(AnimationTree, AdvanceLoopedWrapsAndCountsLoops)
{
    struct Case {
        double start, length, speed, dt;
        double time;
        uint32_t wraps;
    };
    const Case cases[] = {
        {1.5, 2.0, 1.0, 1.0, 0.5, 1},  {0.5, 2.0, 1.0, -3.6, 0.9, 2}, {0.25, 2.0, 1.0, 0.5, 0.75, 0},
        {0.0, 2.0, 2.0, 4.5, 1.0, 4},  {1.0, 2.0, -1.0, 1.5, 1.5, 1}, {0.5, 2.0, 1.0, 1.5, 0.0, 1},
    };
    for (const Case& c : cases) {
        PrimitiveAnimation animation = loaded(ramp(c.length));
        ASSERT_TRUE(animation.bind(&root, false));
        animation.set_speed(static_cast<float>(c.speed));
        animation.set_time(c.start);
        take();
        EXPECT_EQ(animation.advance_looped(c.dt), c.wraps) << "case from " << c.start << " by " << c.dt;
        EXPECT_NEAR(animation.get_time(), c.time, 1e-12) << "case from " << c.start << " by " << c.dt;
        EXPECT_EQ(take(), Journal{"Root.Alpha=" + animate_test::format_number(static_cast<float>(c.time))});
    }
}

TEST_F(AnimationTree, ZeroLengthLoopReportsOneLoopAndChangesNothing)
{
    PrimitiveAnimation animation = loaded(ramp(0.0));
    ASSERT_TRUE(animation.bind(&root, false));
    animation.set_time(0.3);
    take();
    for (double dt : {0.0, 1.0, -2.5, 1e9}) {
        EXPECT_EQ(animation.advance_looped(dt), 1u);
        EXPECT_EQ(animation.get_time(), 0.3);
    }
    EXPECT_TRUE(journal.empty());
}

TEST_F(AnimationTree, BrokenStepsLeaveTheTimeAlone)
{
    PrimitiveAnimation animation = loaded(ramp(2.0));
    ASSERT_TRUE(animation.bind(&root, false));
    animation.set_time(0.5);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();

    EXPECT_EQ(animation.advance(nan), 0.0);
    EXPECT_EQ(animation.advance_looped(nan), 0u);
    EXPECT_EQ(animation.advance_looped(infinity), 0u);
    EXPECT_EQ(animation.get_time(), 0.5);
    // An endless step forward simply runs the animation out.
    EXPECT_EQ(animation.advance(infinity), infinity);
    EXPECT_EQ(animation.get_time(), 2.0);
}

TEST_F(AnimationTree, PhaseAndSpeed)
{
    PrimitiveAnimation animation = loaded(ramp(2.0));
    ASSERT_TRUE(animation.bind(&root, false));
    take();
    animation.set_phase(0.25);
    EXPECT_EQ(animation.get_time(), 0.5);
    EXPECT_EQ(take(), Journal{"Root.Alpha=0.5"});

    animation.set_speed(0.5f);
    EXPECT_EQ(take(), Journal{});  // storing the speed evaluates nothing
    EXPECT_EQ(animation.advance(1.0), 0.0);
    EXPECT_EQ(animation.get_time(), 1.0);
}

TEST_F(AnimationTree, PathsResolveFromTheRootWithTheFlag)
{
    const std::string document = R"(
        <Animation>
            <double>
                <PrimitiveAnimation Target="Body|Arm" Param="A"><Envelope/></PrimitiveAnimation>
                <PrimitiveAnimation Target="Arm" Param="B"><Envelope/></PrimitiveAnimation>
                <PrimitiveAnimation Target="#AnyNode#" Param="C"><Envelope/></PrimitiveAnimation>
            </double>
        </Animation>)";
    PrimitiveAnimation flat = loaded(document);
    EXPECT_FALSE(flat.bind(&root, false));  // "Arm" is no child of the root
    EXPECT_EQ(take(), (Journal{"Arm.A=0", "Root.C=0"}));

    PrimitiveAnimation deep = loaded(document);
    EXPECT_TRUE(deep.bind(&root, true));
    EXPECT_EQ(take(), (Journal{"Arm.A=0", "Arm.B=0", "Root.C=0"}));
}

TEST_F(AnimationTree, SecondBindOnlyRewinds)
{
    PrimitiveAnimation animation = loaded(R"(
        <Animation>
            <double>
                <PrimitiveAnimation Target="Wing" Param="Alpha">
                    <Envelope><Keys><Key Time="0" Value="0" Linear="1"/><Key Time="2" Value="2"/></Keys></Envelope>
                </PrimitiveAnimation>
                <PrimitiveAnimation Target="Leg" Param="Alpha">
                    <Envelope><Keys><Key Time="0" Value="0" Linear="1"/><Key Time="2" Value="2"/></Keys></Envelope>
                </PrimitiveAnimation>
            </double>
        </Animation>)");
    EXPECT_FALSE(animation.bind(&root, false));
    root.add("Wing");
    animation.set_time(1.5);
    take();

    EXPECT_TRUE(animation.bind(&root, false));
    EXPECT_EQ(animation.get_time(), 0.0);
    EXPECT_EQ(take(), Journal{"Leg.Alpha=0"});  // Wing is not looked up again
}

TEST_F(AnimationTree, DestroyedTargetIsSkipped)
{
    PrimitiveAnimation animation = loaded(R"(
        <Animation>
            <MathVector3f>
                <PrimitiveAnimation Target="Body" Param="Scale">
                    <Envelope><Keys><Key Time="0" Value="1 1 1"/><Key Time="1" Value="2 2 2"/></Keys></Envelope>
                </PrimitiveAnimation>
                <PrimitiveAnimation Target="Leg" Param="Scale">
                    <Envelope><Keys><Key Time="0" Value="1 1 1"/><Key Time="1" Value="2 2 2"/></Keys></Envelope>
                </PrimitiveAnimation>
            </MathVector3f>
            <Commands><Command Target="Body|Arm"><Execute Time="0.5" Name="Go"/></Command></Commands>
        </Animation>)");
    ASSERT_TRUE(animation.bind(&root, false));
    root.remove("Body");
    take();
    animation.advance(2.0);
    EXPECT_EQ(take(), Journal{"Leg.Scale=(1 1 1)"});
}

TEST_F(AnimationTree, CopiesKeepTargetsUntilBound)
{
    PrimitiveAnimation source = loaded(ramp(2.0));
    ASSERT_TRUE(source.bind(&root, false));
    source.set_time(0.5);

    Journal other_journal;
    TestObject other("Other", other_journal);

    PrimitiveAnimation copy(source);
    EXPECT_FALSE(copy.is_bound());
    EXPECT_EQ(copy.get_time(), 0.5);
    EXPECT_EQ(copy.get_length(), 2.0);
    take();
    copy.set_time(1.0);
    EXPECT_EQ(take(), Journal{"Root.Alpha=1"});  // still the source's target

    EXPECT_TRUE(copy.bind(&other, false));
    EXPECT_EQ(other_journal, Journal{"Other.Alpha=0"});
    source.set_time(0.25);
    EXPECT_EQ(take(), Journal{"Root.Alpha=0.25"});

    // Assignment takes the bound flag too, so binding again only rewinds.
    PrimitiveAnimation assigned;
    assigned = source;
    EXPECT_TRUE(assigned.is_bound());
    other_journal.clear();
    EXPECT_TRUE(assigned.bind(&other, false));
    EXPECT_TRUE(other_journal.empty());
    EXPECT_EQ(take(), Journal{"Root.Alpha=0"});
}

TEST_F(AnimationTree, CommandsFireAcrossTheLoop)
{
    PrimitiveAnimation animation = loaded(R"(
        <Animation>
            <Commands>
                <Command Target="Leg">
                    <Execute Time="0.5" Name="Step"/>
                    <Execute Time="1.5" Name="Hop"/>
                    <Execute Time="2" Name="Land"/>
                </Command>
            </Commands>
        </Animation>)");
    ASSERT_EQ(animation.get_length(), 2.0);
    ASSERT_TRUE(animation.bind(&root, false));
    EXPECT_EQ(take(), Journal{});

    struct Step {
        double dt;
        uint32_t wraps;
        Journal fired;
    };
    const Step steps[] = {
        {1.0, 0, {"Leg>Step"}},
        {1.5, 1, {"Leg>Step", "Leg>Hop", "Leg>Land"}},  // 1 -> 2.5 wraps to 0.5
        {-1.0, 1, {"Leg>Hop"}},  // 0.5 -> -0.5 wraps back to 1.5: later, so taken as forward
        {0.25, 0, {}},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(animation.advance_looped(step.dt), step.wraps) << "by " << step.dt;
        EXPECT_EQ(take(), step.fired) << "by " << step.dt;
    }
}

TEST(PrimitiveAnimationXml, RefusesWhatItDoesNotKnow)
{
    const char* const documents[] = {
        R"(<animation/>)",
        R"(<Animation Loop="true"/>)",
        R"(<Animation Speed="fast"/>)",
        R"(<Animation><float/></Animation>)",
        R"(<Animation><double><Track/></double></Animation>)",
        R"(<Animation><double Target="a"/></Animation>)",
        R"(<Animation><double><PrimitiveAnimation Name="a"/></double></Animation>)",
        R"(<Animation><WString><PrimitiveAnimation><Keys/></PrimitiveAnimation></WString></Animation>)",
        R"(<Animation><MathVector3f><PrimitiveAnimation><Envelope><Keys><Key Value="1"/></Keys></Envelope>
           </PrimitiveAnimation></MathVector3f></Animation>)",
        R"(<Animation><Commands><Execute/></Commands></Animation>)",
        R"(<Animation><Animation Speed="x"/></Animation>)",
    };
    for (const char* document : documents) {
        PrimitiveAnimation animation;
        EXPECT_FALSE(animate_test::load(animation, "Animation", document)) << document;
    }
}

} // namespace
