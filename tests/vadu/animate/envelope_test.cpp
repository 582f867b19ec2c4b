#include "vadu/animate/envelope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "animate_test_support.h"
#include "vadu/converter.h"

namespace {

using vadu::animate::Behavior;
using vadu::animate::Envelope;
using vadu::animate::EnvelopeTCB;
using vadu::animate::Key;
using vadu::animate::KeyTCB;
using vadu::math::Vector3;

constexpr float tolerance = 1e-5f;

TEST(WrapTime, WrapsIntoTheRangeAndCountsPasses)
{
    struct Case {
        float t, first, last;
        float time;
        int32_t wraps;
    };
    const Case cases[] = {
        {5.0f, 0.0f, 2.0f, 1.0f, 2},     {0.5f, 0.0f, 2.0f, 0.5f, 0},   {2.0f, 0.0f, 2.0f, 0.0f, 1},
        {-0.5f, 0.0f, 2.0f, 1.5f, -1},   {-3.0f, 0.0f, 2.0f, 1.0f, -2}, {4.5f, 1.0f, 3.0f, 2.5f, 1},
        {0.0f, 1.0f, 3.0f, 2.0f, -1},    {7.0f, 1.0f, 1.0f, 1.0f, 0},   {-7.0f, 1.0f, 1.0f, 1.0f, 0},
    };
    for (const Case& c : cases) {
        const vadu::animate::WrappedTime wrapped = vadu::animate::wrap_time(c.t, c.first, c.last);
        EXPECT_NEAR(wrapped.time, c.time, tolerance) << c.t << " in [" << c.first << ", " << c.last << ")";
        EXPECT_EQ(wrapped.wraps, c.wraps) << c.t << " in [" << c.first << ", " << c.last << ")";
    }
}

TEST(WrapTime, SaturatesInsteadOfOverflowing)
{
    EXPECT_EQ(vadu::animate::wrap_time(1e30f, 0.0f, 1.0f).wraps, INT32_MAX);
    EXPECT_EQ(vadu::animate::wrap_time(-1e30f, 0.0f, 1.0f).wraps, INT32_MIN);
    EXPECT_EQ(vadu::animate::wrap_time(NAN, 0.0f, 1.0f).wraps, 0);
}

Key<float> key(float time, float value, float linear = 0.0f, float quadratic = 0.0f, float cubic = 0.0f)
{
    return Key<float>{time, value, linear, quadratic, cubic};
}

Envelope<float> envelope(std::vector<Key<float>> keys, Behavior pre = Behavior::CONSTANT,
                         Behavior post = Behavior::CONSTANT)
{
    Envelope<float> result;
    result.keys = std::move(keys);
    result.pre_behavior = pre;
    result.post_behavior = post;
    return result;
}

TEST(Envelope, WithoutKeysOrWithOneKeyIgnoresTime)
{
    const Envelope<float> none = envelope({}, Behavior::REPEAT, Behavior::OFFSET);
    const Envelope<float> one = envelope({key(3.0f, 7.0f, 1.0f)}, Behavior::LINEAR, Behavior::OFFSET);
    for (float t : {-5.0f, 3.0f, 3.5f, 100.0f}) {
        EXPECT_EQ(none.evaluate(t), 0.0f) << t;
        EXPECT_EQ(one.evaluate(t), 7.0f) << t;
    }
    EXPECT_TRUE(Envelope<vadu::WString>().evaluate(1.0f).empty());
    EXPECT_EQ(Envelope<Vector3>().evaluate(1.0f), Vector3{});
}

TEST(Envelope, OutOfRangeBehaviours)
{
    // A ramp of slope 5 from 0 at time 0 to 10 at time 2: in range the value is 5 t.
    const std::vector<Key<float>> ramp = {key(0.0f, 0.0f, 5.0f), key(2.0f, 10.0f, 5.0f)};
    struct Case {
        Behavior behavior;
        float time;
        float expected;
    };
    const Case cases[] = {
        {Behavior::CONSTANT, -1.0f, 0.0f},
        {Behavior::CONSTANT, 3.0f, 10.0f},
        {Behavior::LINEAR, -1.0f, -5.0f},  // first value + first slope x (t - first time)
        {Behavior::LINEAR, 3.0f, 15.0f},   // last value + last slope x (t - last time)
        {Behavior::REPEAT, 5.0f, 5.0f},    // at 1
        {Behavior::REPEAT, -0.5f, 7.5f},   // at 1.5
        {Behavior::OSCILLATE, 3.0f, 5.0f},  // one pass: mirrored 1 is 1
        {Behavior::OSCILLATE, 2.5f, 7.5f},  // one pass: 0.5 mirrored to 1.5
        {Behavior::OSCILLATE, 4.5f, 2.5f},  // two passes run forwards
        {Behavior::OSCILLATE, -0.5f, 2.5f}, // minus one pass is odd too: 1.5 mirrored to 0.5
        {Behavior::OFFSET, 2.5f, 12.5f},   // value at 0.5 plus one rise
        {Behavior::OFFSET, 4.5f, 22.5f},   // plus two rises
        {Behavior::OFFSET, -0.5f, -2.5f},  // value at 1.5 minus one rise
    };
    for (const Case& c : cases) {
        const Envelope<float> e = envelope(ramp, c.behavior, c.behavior);
        EXPECT_NEAR(e.evaluate(c.time), c.expected, tolerance)
            << "behaviour " << static_cast<int>(c.behavior) << " at " << c.time;
    }
    // The ends themselves are in range.
    EXPECT_NEAR(envelope(ramp, Behavior::OFFSET, Behavior::OFFSET).evaluate(2.0f), 10.0f, tolerance);
    EXPECT_NEAR(envelope(ramp, Behavior::OFFSET, Behavior::OFFSET).evaluate(0.0f), 0.0f, tolerance);
}

TEST(Envelope, KeysAtOneTimeWrapToThatTimeWithoutOffset)
{
    for (Behavior behavior : {Behavior::REPEAT, Behavior::OSCILLATE, Behavior::OFFSET}) {
        const Envelope<float> e = envelope({key(1.0f, 3.0f, 2.0f), key(1.0f, 8.0f)}, behavior, behavior);
        EXPECT_EQ(e.evaluate(5.0f), 3.0f) << static_cast<int>(behavior);
        EXPECT_EQ(e.evaluate(-5.0f), 3.0f) << static_cast<int>(behavior);
    }
}

// Oscillation mirrors a wrapped time t to (last - first) - t, which stays inside the keys
// only when the first key is at 0. Existing data was made against that, so it is kept:
// keys at 1 and 3 mirror 2 (wrapped from 4) to 0, before the first key, and the first
// segment's polynomial extrapolates there.
TEST(Envelope, OscillateMirrorsAgainstTheRangeLengthAsDataExpects)
{
    const Envelope<float> e =
        envelope({key(1.0f, 0.0f, 5.0f), key(3.0f, 10.0f, 5.0f)}, Behavior::OSCILLATE, Behavior::OSCILLATE);
    EXPECT_NEAR(e.evaluate(4.0f), -5.0f, tolerance);  // a mirror inside the keys would give 5
    EXPECT_NEAR(e.evaluate(3.5f), -2.5f, tolerance);  // 1.5 mirrored to 0.5
    EXPECT_NEAR(e.evaluate(5.5f), 2.5f, tolerance);   // two passes: 1.5, not mirrored
}

TEST(Envelope, PolynomialUsesOnlyTheSegmentStartKey)
{
    const Envelope<float> e = envelope({key(0.0f, 1.0f, 2.0f, 3.0f, 4.0f), key(3.0f, 100.0f, -1.0f), key(4.0f, 0.0f)});
    EXPECT_NEAR(e.evaluate(2.0f), 1.0f + 4.0f + 12.0f + 32.0f, tolerance);
    EXPECT_NEAR(e.evaluate(3.0f), 1.0f + 6.0f + 27.0f + 108.0f, 1e-3f);  // equal to key 1's time
    EXPECT_NEAR(e.evaluate(3.5f), 99.5f, tolerance);
}

TEST(Envelope, VectorsInterpolateComponentwise)
{
    Envelope<Vector3> e;
    e.keys = {Key<Vector3>{0.0f, {1.0f, 2.0f, 3.0f}, {1.0f, -2.0f, 0.5f}, {}, {}},
              Key<Vector3>{1.0f, {2.0f, 0.0f, 3.5f}, {}, {}, {}}};
    e.post_behavior = Behavior::OFFSET;
    const Vector3 inside = e.evaluate(0.5f);
    EXPECT_EQ(inside, (Vector3{1.5f, 1.0f, 3.25f}));
    const Vector3 after = e.evaluate(1.5f);  // value at 0.5 plus (last - first) once
    EXPECT_EQ(after, (Vector3{2.5f, -1.0f, 3.75f}));
}

TEST(Envelope, StringsStepAndNeverExtrapolate)
{
    Envelope<vadu::WString> e;
    e.keys = {Key<vadu::WString>{0.0f, u"a", {}, {}, {}}, Key<vadu::WString>{1.0f, u"b", {}, {}, {}},
              Key<vadu::WString>{2.0f, u"c", {}, {}, {}}};
    struct Case {
        Behavior behavior;
        float time;
        const char* expected;
    };
    const Case cases[] = {
        {Behavior::CONSTANT, 0.0f, "a"},  {Behavior::CONSTANT, 0.99f, "a"},
        {Behavior::CONSTANT, 1.0f, "a"},  // a key's own time still shows the one before
        {Behavior::CONSTANT, 1.5f, "b"},  {Behavior::CONSTANT, 2.0f, "b"},
        {Behavior::CONSTANT, 2.01f, "c"}, {Behavior::CONSTANT, -1.0f, "a"},
        {Behavior::LINEAR, 5.0f, "c"},    {Behavior::LINEAR, -5.0f, "a"},
        {Behavior::OFFSET, 3.5f, "b"},  // as REPEAT: 1.5
        {Behavior::REPEAT, 4.5f, "a"},    {Behavior::OSCILLATE, 2.5f, "b"},  // 0.5 mirrored to 1.5
    };
    for (const Case& c : cases) {
        e.pre_behavior = e.post_behavior = c.behavior;
        EXPECT_EQ(animate_test::ascii(e.evaluate(c.time)), c.expected)
            << "behaviour " << static_cast<int>(c.behavior) << " at " << c.time;
    }
}

KeyTCB<float> tcb(float time, float value, double tension = 0.0, double continuity = 0.0, double bias = 0.0)
{
    return KeyTCB<float>{time, value, tension, continuity, bias};
}

TEST(EnvelopeTCB, DerivativeIsTheSegmentSlopePerUnitOfItsParameter)
{
    struct Case {
        const char* what;
        std::vector<KeyTCB<float>> keys;
        Behavior behavior;
        float time;
        float expected;
    };
    const std::vector<KeyTCB<float>> two = {tcb(0.0f, 0.0f), tcb(2.0f, 10.0f)};
    const std::vector<KeyTCB<float>> peak = {tcb(0.0f, 0.0f), tcb(1.0f, 10.0f), tcb(2.0f, 0.0f)};
    const Case cases[] = {
        // A straight segment climbs its whole chord per unit of its parameter.
        {"straight, middle", two, Behavior::CONSTANT, 1.0f, 10.0f},
        {"straight, start", two, Behavior::CONSTANT, 0.0f, 10.0f},
        // Out_0 = 10, In_1 = 0: 1.5 x 10 - 0.25 x 10.
        {"towards a flat peak", peak, Behavior::CONSTANT, 0.5f, 12.5f},
        {"held before", two, Behavior::CONSTANT, -1.0f, 0.0f},
        {"held after", peak, Behavior::CONSTANT, 5.0f, 0.0f},
        // The end tangent per unit of time.
        {"linear after", two, Behavior::LINEAR, 3.0f, 5.0f},
        {"repeat wraps into the keys", two, Behavior::REPEAT, 2.5f, 10.0f},
        {"one key", {tcb(0.0f, 4.0f)}, Behavior::CONSTANT, 0.0f, 0.0f},
        {"no keys", {}, Behavior::CONSTANT, 0.5f, 0.0f},
    };
    for (const Case& c : cases) {
        EnvelopeTCB<float> e;
        e.keys = c.keys;
        e.pre_behavior = e.post_behavior = c.behavior;
        EXPECT_NEAR(e.derivative(c.time), c.expected, tolerance) << c.what;
    }
}

TEST(EnvelopeTCB, KochanekBartelsKeys)
{
    // Hermite weights at u = 0.25: 0.84375, 0.15625, 0.140625, -0.046875; at u = 0.5:
    // 0.5, 0.5, 0.125, -0.125.
    struct Case {
        const char* what;
        std::vector<KeyTCB<float>> keys;
        bool loop_keys;
        Behavior behavior;
        float time;
        float expected;
    };
    const std::vector<KeyTCB<float>> two = {tcb(0.0f, 0.0f), tcb(2.0f, 10.0f)};
    const std::vector<KeyTCB<float>> peak = {tcb(0.0f, 0.0f), tcb(1.0f, 10.0f), tcb(2.0f, 0.0f)};
    const std::vector<KeyTCB<float>> step = {tcb(0.0f, 0.0f), tcb(1.0f, 10.0f), tcb(3.0f, 10.0f)};
    const Case cases[] = {
        {"exact key times", step, false, Behavior::CONSTANT, 1.0f, 10.0f},
        {"exact last key", step, false, Behavior::CONSTANT, 3.0f, 10.0f},
        {"exact first key", peak, true, Behavior::CONSTANT, 0.0f, 0.0f},
        // Without neighbours both end tangents are the whole chord: a straight line.
        {"unhalved end tangents", two, false, Behavior::CONSTANT, 0.5f, 2.5f},
        // Out_0 = 10 (no previous key), In_1 = (10 + 0) / 2.
        {"halved inner tangent", step, false, Behavior::CONSTANT, 0.5f, 5.625f},
        // In_1 = (10 - 10) / 2 = 0.
        {"flat peak", peak, false, Behavior::CONSTANT, 0.5f, 6.25f},
        // Bias 1 on key 1: In_1 = 2 x 10 / 2.
        {"bias", {tcb(0.0f, 0.0f), tcb(1.0f, 10.0f, 0.0, 0.0, 1.0), tcb(3.0f, 10.0f)}, false, Behavior::CONSTANT,
         0.5f, 5.0f},
        // Tension 1 on key 0 flattens Out_0.
        {"tension", {tcb(0.0f, 0.0f, 1.0), tcb(2.0f, 10.0f)}, false, Behavior::CONSTANT, 0.5f, 1.09375f},
        // Continuity 0.5 on key 0: Out_0 = 0.5 x 10.
        {"continuity", {tcb(0.0f, 0.0f, 0.0, 0.5), tcb(2.0f, 10.0f)}, false, Behavior::CONSTANT, 0.5f, 1.796875f},
        // Looped ends: key 0 follows key 1 and key 2 leads to key 1, so both flatten.
        {"loop keys first segment", peak, true, Behavior::CONSTANT, 0.5f, 5.0f},
        {"loop keys last segment", peak, true, Behavior::CONSTANT, 1.5f, 5.0f},
        // Unlooped: In_2 = (0 - 10) unhalved.
        {"open last segment", peak, false, Behavior::CONSTANT, 1.5f, 6.25f},
        {"constant before", peak, false, Behavior::CONSTANT, -1.0f, 0.0f},
        {"constant after", step, false, Behavior::CONSTANT, 4.0f, 10.0f},
        {"linear before", two, false, Behavior::LINEAR, -1.0f, -5.0f},
        {"linear after", two, false, Behavior::LINEAR, 3.0f, 15.0f},
        {"linear after a fall", peak, false, Behavior::LINEAR, 3.0f, -10.0f},
        {"linear before, looped", peak, true, Behavior::LINEAR, -1.0f, 0.0f},
        {"repeat", two, false, Behavior::REPEAT, 2.5f, 2.5f},
        {"oscillate", two, false, Behavior::OSCILLATE, 2.5f, 7.5f},
        {"offset", two, false, Behavior::OFFSET, 2.5f, 12.5f},
        {"offset backwards", two, false, Behavior::OFFSET, -1.5f, -7.5f},
        {"offset at a key", step, false, Behavior::OFFSET, 4.0f, 20.0f},
    };
    for (const Case& c : cases) {
        EnvelopeTCB<float> e;
        e.keys = c.keys;
        e.loop_keys = c.loop_keys;
        e.pre_behavior = e.post_behavior = c.behavior;
        EXPECT_NEAR(e.evaluate(c.time), c.expected, tolerance) << c.what;
    }
}

TEST(EnvelopeTCB, DegenerateKeysStayFinite)
{
    EnvelopeTCB<float> e;
    EXPECT_EQ(e.evaluate(1.0f), 0.0f);
    e.keys = {tcb(4.0f, 6.0f, 0.3)};
    EXPECT_EQ(e.evaluate(-1.0f), 6.0f);

    // Two keys at one time have no slope to extrapolate along.
    e.keys = {tcb(1.0f, 5.0f), tcb(1.0f, 9.0f)};
    e.pre_behavior = e.post_behavior = Behavior::LINEAR;
    EXPECT_EQ(e.evaluate(0.0f), 5.0f);
    EXPECT_EQ(e.evaluate(2.0f), 9.0f);
    e.pre_behavior = e.post_behavior = Behavior::OSCILLATE;
    EXPECT_TRUE(std::isfinite(e.evaluate(7.0f)));
}

TEST(EnvelopeTCB, VectorsInterpolateComponentwise)
{
    EnvelopeTCB<Vector3> e;
    e.keys = {KeyTCB<Vector3>{0.0f, {0.0f, 0.0f, 0.0f}, 0.0, 0.0, 0.0},
              KeyTCB<Vector3>{2.0f, {10.0f, 20.0f, -4.0f}, 0.0, 0.0, 0.0}};
    EXPECT_EQ(e.evaluate(0.5f), (Vector3{2.5f, 5.0f, -1.0f}));
    EXPECT_EQ(e.evaluate(2.0f), (Vector3{10.0f, 20.0f, -4.0f}));
}

// --- XML ---

TEST(EnvelopeXml, BehaviourNamesMatchExactly)
{
    struct Case {
        const char* text;
        bool accepted;
        Behavior value;
    };
    const Case cases[] = {
        {"CONSTANT", true, Behavior::CONSTANT}, {"LINEAR", true, Behavior::LINEAR},
        {"REPEAT", true, Behavior::REPEAT},     {"OSCILLATE", true, Behavior::OSCILLATE},
        {"OFFSET", true, Behavior::OFFSET},     {"constant", false, Behavior::CONSTANT},
        {"REPEAT ", false, Behavior::CONSTANT}, {"", false, Behavior::CONSTANT},
        {"OFF", false, Behavior::CONSTANT},
    };
    for (const Case& c : cases) {
        Behavior value = Behavior::CONSTANT;
        EXPECT_EQ(vadu::converter::convert(vadu::String(c.text), &value), c.accepted) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(EnvelopeXml, LoadsNumberKeys)
{
    Envelope<float> e;
    ASSERT_TRUE(animate_test::load(e, "Envelope", R"(
        <Envelope PreBehave="LINEAR" PostBehave="REPEAT">
            <Keys>
                <Key Time="0" Value="1" Linear="2" Quadratic="3" Cubic="4"/>
                <Key Time="2" Value="5"/>
            </Keys>
            <Keys><Key Time="3" Value="-1"/></Keys>
        </Envelope>)"));
    EXPECT_EQ(e.pre_behavior, Behavior::LINEAR);
    EXPECT_EQ(e.post_behavior, Behavior::REPEAT);
    ASSERT_EQ(e.keys.size(), 3u);
    EXPECT_EQ(e.keys[1].linear, 0.0f);  // unread fields keep their defaults
    EXPECT_EQ(e.keys[2].value, -1.0f);
    EXPECT_NEAR(e.evaluate(1.0f), 10.0f, tolerance);
    EXPECT_NEAR(e.evaluate(-1.0f), -1.0f, tolerance);
}

TEST(EnvelopeXml, LoadsVectorTcbKeysWithLoopKeys)
{
    EnvelopeTCB<Vector3> e;
    ASSERT_TRUE(animate_test::load(e, "EnvelopeTCB", R"(
        <EnvelopeTCB LoopKeys="true" PostBehave="OFFSET">
            <Keys>
                <Key Time="0" Value="0 0 0" Tension="0.5" Continuity="-0.25" Bias="0.125"/>
                <Key Time="1" Value="1,2,3"/>
            </Keys>
        </EnvelopeTCB>)"));
    EXPECT_TRUE(e.loop_keys);
    EXPECT_EQ(e.post_behavior, Behavior::OFFSET);
    ASSERT_EQ(e.keys.size(), 2u);
    EXPECT_EQ(e.keys[0].tension, 0.5);
    EXPECT_EQ(e.keys[0].continuity, -0.25);
    EXPECT_EQ(e.keys[0].bias, 0.125);
    EXPECT_EQ(e.keys[1].value, (Vector3{1.0f, 2.0f, 3.0f}));
}

TEST(EnvelopeXml, WideStringKeysArriveDecoded)
{
    Envelope<vadu::WString> e;
    ASSERT_TRUE(animate_test::load(e, "EnvelopeTCB", R"(
        <EnvelopeTCB PostBehave="CONSTANT">
            <Keys><Key Time="0.5" Value="Grüße" Linear="x"/><Key Time="1" Value="€"/></Keys>
        </EnvelopeTCB>)"));
    ASSERT_EQ(e.keys.size(), 2u);
    EXPECT_EQ(e.keys[0].time, 0.5f);
    EXPECT_TRUE(e.keys[0].value == u"Grüße");
    EXPECT_TRUE(e.keys[0].linear == u"x");
    EXPECT_TRUE(e.evaluate(2.0f) == u"€");
}

TEST(EnvelopeXml, LoadsPathKeysNormalised)
{
    Envelope<vadu::filesystem::String> e;
    ASSERT_TRUE(animate_test::load(e, "Envelope", R"(
        <Envelope><Keys><Key Time="0" Value="Data\Images\Sky"/><Key Time="1" Value="data/x"/></Keys></Envelope>)"));
    ASSERT_EQ(e.keys.size(), 2u);
    EXPECT_EQ(animate_test::to_std(e.evaluate(0.5f).get_text()), "Data/Images/Sky");
}

TEST(EnvelopeXml, RefusesWhatItDoesNotKnow)
{
    const char* const documents[] = {
        R"(<Envelope PreBehave="constant"/>)",
        R"(<Envelope PostBehave="Repeat"/>)",
        R"(<Envelope LoopKeys="true"/>)",
        R"(<Envelope Speed="1"/>)",
        R"(<Envelope><Key Time="0"/></Envelope>)",
        R"(<Envelope><Keys><Key Time="0" Tension="1"/></Keys></Envelope>)",
        R"(<Envelope><Keys><Key Time="x"/></Keys></Envelope>)",
        R"(<Envelope><Keys Count="1"/></Envelope>)",
        R"(<Envelope><Keys><Keys/></Keys></Envelope>)",
    };
    for (const char* document : documents) {
        Envelope<float> e;
        EXPECT_FALSE(animate_test::load(e, "Envelope", document)) << document;
    }

    const char* const vector_documents[] = {
        R"(<EnvelopeTCB><Keys><Key Value="1 2"/></Keys></EnvelopeTCB>)",
        R"(<EnvelopeTCB><Keys><Key Linear="0 0 0"/></Keys></EnvelopeTCB>)",
        R"(<EnvelopeTCB LoopKeys="yes"/>)",
    };
    for (const char* document : vector_documents) {
        EnvelopeTCB<Vector3> e;
        EXPECT_FALSE(animate_test::load(e, "EnvelopeTCB", document)) << document;
    }

    Envelope<vadu::WString> wide;
    EXPECT_FALSE(animate_test::load(wide, "Envelope", R"(<Envelope><Keys><Key Tension="1"/></Keys></Envelope>)"));
    Envelope<vadu::WString> looped;
    EXPECT_FALSE(animate_test::load(looped, "EnvelopeTCB", R"(<EnvelopeTCB LoopKeys="true"/>)"));
}

} // namespace
