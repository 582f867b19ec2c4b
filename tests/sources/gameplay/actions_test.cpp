#include <cmath>

#include "gameplay_test_support.h"
#include "platform/random.h"
#include "sources/gameplay/actions.h"
#include "sources/gameplay/number_animation.h"
#include "vadu/animate/primitive_animation.h"
#include "vadu/exception.h"

namespace {

using gameplay_test::GameplayTest;
using gameplay_test::Probe;
using gameplay_test::RecordingNode;
using gameplay_test::to_std;
using vadu::math::Vector3;

struct ActionsTest : GameplayTest {
    ActionsTest() : root(std::make_unique<RecordingNode>("root", nullptr)), child(new RecordingNode("child", root.get())) {}

    // Runs the action as the manager does: Start, updates, and Finish when it ends.
    void run(BaseAnimation& action, std::initializer_list<float> steps)
    {
        if (!action.IsStarted()) {
            action.SetStarted(true);
            action.Start();
        }
        for (float dt : steps)
            action.Update(dt);
        if (action.IsFinished())
            action.Finish();
    }

    std::unique_ptr<RecordingNode> root;
    RecordingNode* child;
    const vadu::Atom tag{"tag"};
};

TEST_F(ActionsTest, FadeOutTweensTheSubtreeAndHidesItWithoutCallback)
{
    FadeAction fade(root.get(), 1.0f, 1);
    bool called = false;
    fade.SetOnFinished([&](BaseAnimation*) { called = true; });
    run(fade, {0.25f});
    EXPECT_DOUBLE_EQ(root->transparency, 0.25);
    EXPECT_DOUBLE_EQ(child->transparency, 0.25);
    run(fade, {0.75f});
    EXPECT_DOUBLE_EQ(root->transparency, 1.0);
    EXPECT_FALSE(root->is_visible());
    EXPECT_FALSE(child->is_visible());
    EXPECT_FALSE(called);
}

TEST_F(ActionsTest, FadeInShowsOnStartAndSelfOnlySparesTheChildren)
{
    root->set_visible(false);
    child->set_visible(false);
    FadeAction fade(root.get(), 1.0f, 0, true);
    run(fade, {0.0f});
    EXPECT_TRUE(root->is_visible());
    EXPECT_FALSE(child->is_visible());
    EXPECT_DOUBLE_EQ(root->transparency, 1.0);
    EXPECT_DOUBLE_EQ(child->transparency, -1.0);
    run(fade, {1.0f});
    EXPECT_DOUBLE_EQ(root->transparency, 0.0);
    EXPECT_TRUE(root->is_visible());
}

TEST_F(ActionsTest, TransformTweens)
{
    MoveAction move(root.get(), 2.0f, {0, 0, 0}, {10, -20, 4});
    run(move, {0.5f});
    EXPECT_EQ(root->get_position(), (Vector3{2.5f, -5.0f, 1.0f}));
    ScaleAction scale(root.get(), 1.0f, {1, 1, 1}, {3, 3, 1});
    run(scale, {0.5f});
    EXPECT_EQ(root->get_scale(), (Vector3{2, 2, 1}));
    RotateAction rotate(root.get(), 1.0f, 0.0f, 1.0f);
    run(rotate, {0.25f});
    EXPECT_EQ(root->get_rotation(), (Vector3{0, 0, 0.25f}));
    child->set_position({1, 2, 3});
    std::unique_ptr<MoveAction> by(MoveAction::By(child, 1.0f, {10, 0, -3}));
    run(*by, {1.0f});
    EXPECT_EQ(child->get_position(), (Vector3{11, 2, 0}));
}

TEST_F(ActionsTest, ZeroDurationTweenLandsOnItsEndAtOnce)
{
    MoveAction move(root.get(), 0.0f, {0, 0, 0}, {10, 0, 0});
    run(move, {0.016f});
    EXPECT_EQ(root->get_position(), (Vector3{10, 0, 0}));
    EXPECT_TRUE(move.IsFinished());
}

TEST_F(ActionsTest, SpecularBlinksEveryPeriod)
{
    SpecularAction specular(root.get(), 1.0f, 0.05f);
    struct Step {
        float dt;
        double level;
    };
    const Step steps[] = {{0.02f, 0.0}, {0.02f, 0.0}, {0.02f, 1.0}, {0.03f, 1.0}, {0.02f, 0.0}};
    for (const Step& step : steps) {
        specular.Update(step.dt);
        EXPECT_DOUBLE_EQ(root->specular, step.level) << specular.GetElapsed();
    }
}

TEST_F(ActionsTest, FollowClosesInOnAMovingNode)
{
    auto leader = std::make_unique<RecordingNode>("leader", nullptr);
    leader->set_position({100, 0, 0});
    FollowAction follow(root.get(), {0, 10, 0}, 1.0f, leader.get());
    run(follow, {0.5f});
    EXPECT_EQ(root->get_position(), (Vector3{50, 5, 0}));
    leader->set_position({200, 0, 0});
    run(follow, {0.5f});
    EXPECT_EQ(root->get_position(), (Vector3{200, 10, 0}));
    leader.reset();
    run(follow, {0.0f});
    EXPECT_EQ(root->get_position(), (Vector3{200, 10, 0}));
}

TEST_F(ActionsTest, ShakeStaysWithinItsSpreadAndWritesItsOutput)
{
    struct Case {
        const char* name;
        bool loop;
        bool linear;
    };
    const Case cases[] = {{"looping", true, false}, {"half sine", false, false}, {"linear decay", false, true}};
    const vadu::math::Vector2<float> center{40.0f, -10.0f};
    for (const Case& c : cases) {
        vadu::math::Vector2<float> output{};
        ShakeAction shake(root.get(), 1.0f, 5.0f, &center, &output, c.linear);
        shake.SetLoop(c.loop);
        for (int i = 0; i < 9; ++i) {
            shake.Update(0.1f);
            const float t = shake.GetElapsed();
            const float factor = c.loop ? 1.0f : c.linear ? 1.0f - t : std::sin(t * 3.1415f);
            const float reach = 5.0f * factor + 1e-4f;
            EXPECT_LE(std::fabs(root->get_position().x - center.x), reach) << c.name;
            EXPECT_LE(std::fabs(root->get_position().y - center.y), reach) << c.name;
            EXPECT_EQ(output.x, root->get_position().x) << c.name;
            EXPECT_EQ(output.y, root->get_position().y) << c.name;
        }
    }
}

TEST_F(ActionsTest, ShakeDrawsForYThenX)
{
    const vadu::math::Vector2<float> center{0.0f, 0.0f};
    vadu::math::Vector2<float> output{};
    ShakeAction shake(root.get(), 1.0f, 2.0f, &center, &output, false);
    shake.SetLoop(true);
    platform::seed_random(11);
    const float u = platform::random() / 32767.0f;
    const float v = platform::random() / 32767.0f;
    platform::seed_random(11);
    shake.Update(0.5f);
    EXPECT_FLOAT_EQ(output.y, -2.0f + u * 4.0f);
    EXPECT_FLOAT_EQ(output.x, -2.0f + v * 4.0f);
    // At the end of a one-shot the spread is gone.
    ShakeAction fading(root.get(), 1.0f, 2.0f, &center, &output, true);
    fading.Update(1.0f);
    EXPECT_EQ(output.x, 0.0f);
    EXPECT_EQ(output.y, 0.0f);
}

TEST_F(ActionsTest, SequenceStartsEachChildInTheFrameAfterThePreviousEnds)
{
    auto* first = new Probe(journal, "first", 0.2f);
    auto* second = new Probe(journal, "second", 0.2f);
    SequenceAction sequence(first, second);
    EXPECT_EQ(sequence.Front(), first);
    EXPECT_FLOAT_EQ(sequence.FrontDuration(), 0.2f);
    sequence.Update(0.15f);
    // Overshoots its end: the rest is not carried over.
    sequence.Update(0.15f);
    EXPECT_EQ(sequence.Front(), second);
    EXPECT_EQ(journal, (std::vector<std::string>{"first:start", "first:0.75", "first:1.00", "first:finish",
                                                 "first:deleted"}));
    journal.clear();
    sequence.Update(0.1f);
    EXPECT_EQ(journal, (std::vector<std::string>{"second:start", "second:0.50"}));
    sequence.Update(0.1f);
    EXPECT_TRUE(sequence.IsFinished());
    EXPECT_EQ(sequence.Front(), nullptr);
    EXPECT_EQ(sequence.GetTarget(), nullptr);
}

TEST_F(ActionsTest, GroupEndsWithItsLongestChildAndStopsUpdatingTheShorter)
{
    auto* shorter = new Probe(journal, "short", 0.1f);
    auto* longer = new Probe(journal, "long", 0.3f);
    GroupAction group(root.get(), shorter, longer);
    group.Update(0.1f);
    EXPECT_FALSE(group.IsFinished());
    journal.clear();
    group.Update(0.1f);
    EXPECT_EQ(journal, (std::vector<std::string>{"long:0.66"}));
    group.Update(0.1f);
    EXPECT_TRUE(group.IsFinished());
    // SetTime reaches the children's Apply directly.
    journal.clear();
    group.Apply(0.5f);
    EXPECT_EQ(journal, (std::vector<std::string>{"short:0.50", "long:0.50"}));
}

TEST_F(ActionsTest, GroupHandsItsTargetToNodeChildren)
{
    auto* move = new MoveAction(nullptr, 1.0f, {0, 0, 0}, {4, 0, 0});
    GroupAction group(root.get(), move);
    group.Update(0.5f);
    EXPECT_EQ(root->get_position(), (Vector3{2, 0, 0}));
}

TEST_F(ActionsTest, FloatTweenReadsAtStartAndCallsBack)
{
    float value = 10.0f;
    std::vector<float> seen;
    FloatTweenAction tween(&value, 20.0f, 1.0f, [&](float v) { seen.push_back(v); });
    tween.SetEasing(new EaseQuartIn);
    value = 12.0f;
    run(tween, {0.5f, 0.5f});
    EXPECT_EQ(seen, (std::vector<float>{12.0f + 8.0f * 0.0625f, 20.0f}));
    EXPECT_EQ(value, 20.0f);
}

TEST_F(ActionsTest, DelayRunsItsCallbackWhenItEnds)
{
    int calls = 0;
    auto* delay = new DelayAction(0.5f);
    delay->SetOnFinished([&](BaseAnimation*) { ++calls; });
    EXPECT_EQ(delay->GetTarget(), delay);
    manager().RunAction(delay->GetTarget(), delay, tag);
    manager().RunAction(root.get(), new DelayAction(0.5f), tag);
    manager().Update(0.4f);
    EXPECT_EQ(calls, 0);
    manager().Update(0.1f);
    EXPECT_EQ(calls, 1);
}

// --- Counting -------------------------------------------------------------------------

TEST_F(ActionsTest, CountsHandTruncatedValues)
{
    struct Case {
        int start;
        int end;
        float t;
        int expected;
    };
    const Case cases[] = {{0, 10, 0.5f, 5}, {10, 0, 0.45f, 6}, {0, 10, 1.0f, 10}, {0, 7, 0.99f, 6}};
    for (const Case& c : cases) {
        int seen = -1;
        NumberAnimation count(c.start, c.end, 1.0f, [&](int* value) { seen = *value; });
        count.SetTime(c.t);
        EXPECT_EQ(seen, c.expected) << c.start << " to " << c.end << " at " << c.t;
    }
    float seen = 0.0f;
    FloatNumberAnimation count(25.0f, 15.0f, 1.0f, [&](float* value) { seen = *value; });
    count.SetTime(0.5f);
    EXPECT_EQ(seen, 20.0f);
}

TEST_F(ActionsTest, CountsUnderOneTagRunSideBySideAndFinishThroughTheirOwnCallback)
{
    std::vector<int> finished;
    int step_calls = 0;
    bool base_called = false;
    auto* a = new NumberAnimation(0, 10, 0.5f, [&](int*) { ++step_calls; });
    auto* b = new NumberAnimation(100, 50, 0.5f);
    a->SetOnFinish([&](int* value) { finished.push_back(*value); });
    a->SetOnFinished([&](BaseAnimation*) { base_called = true; });
    b->SetOnStep([&](int*) { ++step_calls; });
    b->SetOnFinish([&](int* value) { finished.push_back(*value); });
    manager().RunAction(a->GetTarget(), a, tag);
    manager().RunAction(b->GetTarget(), b, tag);
    manager().Update(0.25f);
    EXPECT_EQ(step_calls, 2);
    manager().Update(0.25f);
    EXPECT_EQ(finished, (std::vector<int>{10, 50}));
    EXPECT_FALSE(base_called);
}

TEST_F(ActionsTest, CountStartsFromItsCellAndNeedsNoStepCallback)
{
    NumberAnimation count(3, 13, 1.0f);
    run(count, {0.5f});
    EXPECT_EQ(count.GetValue(), 8);
}

// --- Shared animations and playback ---------------------------------------------------

const char* const kFadeAnimation = R"(<Animation><double>
    <PrimitiveAnimation Target="" Param="Transparency">
        <Envelope><Keys><Key Time="0" Value="0" Linear="1"/><Key Time="1" Value="1"/></Keys></Envelope>
    </PrimitiveAnimation></double></Animation>)";

TEST_F(ActionsTest, AnAnimationFileIsReadOnceAndEveryCallerGetsItsOwnCopy)
{
    write("data/fx/fade.anim", kFadeAnimation);
    auto first = SharedAnimations::Instance().Load("fx/fade.anim");
    remove("data/fx/fade.anim");
    auto second = SharedAnimations::Instance().Load("fx/fade.anim");
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(second->get_length(), 1.0);
    EXPECT_EQ(SharedAnimations::Instance().GetCachedCount(), 1u);
    // Exactly as given: another spelling is another file, and this one is gone.
    EXPECT_THROW(SharedAnimations::Instance().Load("fx/FADE.anim"), vadu::GluckBadResource);
}

TEST_F(ActionsTest, AMissingOrBrokenAnimationFileRaisesAndCachesNothing)
{
    write("data/broken.anim", "<Animation><double>");
    for (const char* name : {"missing.anim", "broken.anim"}) {
        try {
            SharedAnimations::Instance().Load(name);
            FAIL() << name << " loaded";
        } catch (const vadu::GluckBadResource& error) {
            EXPECT_EQ(to_std(error.get_function()), "SharedAnimations::Load");
            EXPECT_EQ(to_std(error.get_description()), "Failed to load animation's resource");
            EXPECT_EQ(to_std(error.get_resource().get_text()), std::string("data/") + name);
        }
    }
    EXPECT_EQ(SharedAnimations::Instance().GetCachedCount(), 0u);
    // Mended later, the file is tried again.
    write("data/broken.anim", kFadeAnimation);
    EXPECT_NO_THROW(SharedAnimations::Instance().Load("broken.anim"));
}

TEST_F(ActionsTest, AnimationActionPlaysOnItsNodeUntilTheEnd)
{
    write("data/fade.anim", kFadeAnimation);
    auto* play = new AnimationAction(root.get(), "fade.anim");
    manager().RunAction(root.get(), play, tag);
    manager().Update(0.5f);
    EXPECT_NEAR(root->transparency, 0.5, 1e-6);
    manager().Update(0.5f);
    EXPECT_NEAR(root->transparency, 1.0, 1e-6);
    EXPECT_EQ(manager().GetTargetCount(), 0u);
}

TEST_F(ActionsTest, AnimationActionOnADestroyedNodeFinishesInTheNextSweep)
{
    write("data/fade.anim", kFadeAnimation);
    auto* node = new RecordingNode("gone", nullptr);
    auto* play = new AnimationAction(node, "fade.anim");
    play->SetLoop(true);
    bool called = false;
    play->SetOnFinished([&](BaseAnimation*) { called = true; });
    manager().RunAction(node, play, tag);
    manager().Update(0.5f);
    EXPECT_FALSE(called);
    delete node;
    manager().Update(0.5f);
    EXPECT_TRUE(called);
}

TEST_F(ActionsTest, AnActionOwningItsNodeDestroysItWithItself)
{
    auto* clone = new RecordingNode("clone", root.get());
    EXPECT_EQ(root->get_child_count(), 2u);
    auto* move = new MoveAction(clone, 0.1f, {0, 0, 0}, {1, 0, 0});
    move->SetOwnsTarget(true);
    manager().RunAction(clone, move, tag);
    manager().Update(0.1f);
    EXPECT_EQ(root->get_child_count(), 1u);
}

} // namespace
