#include <gtest/gtest.h>

#include <cmath>

#include "sources/gameplay/trail_curve.h"

namespace {

using gameplay::TrailCurve;
using Vec2 = vadu::math::Vector2<float>;

Vec2 unit(float x, float y)
{
    const float length = std::hypot(x, y);
    return {x / length, y / length};
}

TEST(TrailCurve, LengthsRunFromZeroToOneAlongTheEighteenPoints)
{
    const TrailCurve curve;
    ASSERT_EQ(curve.Points().size(), 18u);
    ASSERT_EQ(curve.Lengths().size(), 18u);
    EXPECT_EQ(curve.Lengths().front(), 0.0f);
    EXPECT_NEAR(curve.Lengths().back(), 1.0f, 1e-6f);
    for (size_t i = 1; i < curve.Lengths().size(); ++i)
        EXPECT_LT(curve.Lengths()[i - 1], curve.Lengths()[i]) << i;
    // The first segment's share of the whole length: (19, 13) of about 344.4 pixels.
    float total = 0.0f;
    const auto& p = curve.Points();
    for (size_t i = 1; i < p.size(); ++i)
        total += std::hypot(p[i].x - p[i - 1].x, p[i].y - p[i - 1].y);
    EXPECT_NEAR(curve.Lengths()[1], std::hypot(19.0f, 13.0f) / total, 1e-6f);
}

TEST(TrailCurve, PointsAtTheEndsAndBeyond)
{
    const TrailCurve curve;
    const float first = curve.Lengths()[1];
    const struct {
        float t;
        Vec2 point;
    } cases[] = {
        {0.0f, {43.0f, 27.0f}},
        {1.0f, {371.0f, 31.0f}},
        {1.5f, {371.0f, 31.0f}},
        // Before the start the first segment is extended backwards.
        {-first, {43.0f - 19.0f, 27.0f - 13.0f}},
        {first * 0.5f, {52.5f, 33.5f}},
    };
    for (const auto& c : cases) {
        const Vec2 point = curve.PointAt(c.t);
        EXPECT_NEAR(point.x, c.point.x, 1e-3f) << c.t;
        EXPECT_NEAR(point.y, c.point.y, 1e-3f) << c.t;
    }
}

TEST(TrailCurve, TheMiddleLiesOnTheSegmentThatEnclosesIt)
{
    const TrailCurve curve;
    size_t end = 1;
    while (curve.Lengths()[end] < 0.5f)
        ++end;
    const Vec2 a = curve.Points()[end - 1];
    const Vec2 b = curve.Points()[end];
    const Vec2 p = curve.PointAt(0.5f);
    const float f = (0.5f - curve.Lengths()[end - 1]) / (curve.Lengths()[end] - curve.Lengths()[end - 1]);
    EXPECT_NEAR(p.x, a.x + f * (b.x - a.x), 1e-4f);
    EXPECT_NEAR(p.y, a.y + f * (b.y - a.y), 1e-4f);
    // On the line through the segment, between its ends.
    EXPECT_NEAR((b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x), 0.0f, 1e-3f);
    EXPECT_GE(p.x, std::min(a.x, b.x));
    EXPECT_LE(p.x, std::max(a.x, b.x));
}

TEST(TrailCurve, NormalsAreSmoothedUnitPerpendiculars)
{
    const TrailCurve curve;
    const auto& n = curve.Normals();
    // perp(d) = (d.y, -d.x): the first segment (19, 13) gives (13, -19).
    const Vec2 first = unit(13.0f, -19.0f);
    EXPECT_NEAR(n[0].x, first.x, 1e-6f);
    EXPECT_NEAR(n[0].y, first.y, 1e-6f);
    // Point 1 sits between (19, 13) and (17, 8): the normalised sum of both normals.
    const Vec2 before = unit(13.0f, -19.0f);
    const Vec2 after = unit(8.0f, -17.0f);
    const Vec2 inner = unit(before.x + after.x, before.y + after.y);
    EXPECT_NEAR(n[1].x, inner.x, 1e-6f);
    EXPECT_NEAR(n[1].y, inner.y, 1e-6f);
    // The last segment (16, -14) gives (-14, -16).
    const Vec2 last = unit(-14.0f, -16.0f);
    EXPECT_NEAR(n[17].x, last.x, 1e-6f);
    EXPECT_NEAR(n[17].y, last.y, 1e-6f);

    const struct {
        float t;
        Vec2 normal;
    } cases[] = {
        {0.0f, n[0]},
        {curve.Lengths()[1], n[1]},
        {1.0f, n[17]},
        {2.0f, n[17]},
        {curve.Lengths()[1] * 0.5f, unit(n[0].x + n[1].x, n[0].y + n[1].y)},
    };
    for (const auto& c : cases) {
        const Vec2 normal = curve.NormalAt(c.t);
        EXPECT_NEAR(normal.x, c.normal.x, 1e-5f) << c.t;
        EXPECT_NEAR(normal.y, c.normal.y, 1e-5f) << c.t;
        EXPECT_NEAR(std::hypot(normal.x, normal.y), 1.0f, 1e-5f) << c.t;
    }
}

} // namespace
