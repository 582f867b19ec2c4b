#include "vadu/lib3d/view_frustum.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using vadu::lib3d::view_frustum;

void expect_plane(const view_frustum::plane& p, float nx, float ny, float nz, float d)
{
    EXPECT_FLOAT_EQ(p.normal[0], nx);
    EXPECT_FLOAT_EQ(p.normal[1], ny);
    EXPECT_FLOAT_EQ(p.normal[2], nz);
    EXPECT_FLOAT_EQ(p.distance, d);
}

struct SphereCase {
    const char* what;
    float x, y, z, radius;
    int expected;
};

TEST(ViewFrustum, StartsNeutralAndBuildersRewriteEveryPlane)
{
    view_frustum frustum;
    for (const auto& p : frustum.planes) {
        expect_plane(p, 0, 0, 1, 0);
        EXPECT_EQ(p.point[0], 0.0f);
        EXPECT_EQ(p.point[1], 0.0f);
        EXPECT_EQ(p.point[2], 0.0f);
    }

    frustum.build_orthographic(1, 3, -1, 1, -2, 2);
    expect_plane(frustum.planes[view_frustum::NEAR], 0, 0, 1, 1);
    expect_plane(frustum.planes[view_frustum::FAR], 0, 0, -1, -3);
    expect_plane(frustum.planes[view_frustum::X_MIN], 1, 0, 0, -1);
    expect_plane(frustum.planes[view_frustum::X_MAX], -1, 0, 0, -1);
    expect_plane(frustum.planes[view_frustum::Y_MAX], 0, -1, 0, -2);
    expect_plane(frustum.planes[view_frustum::Y_MIN], 0, 1, 0, -2);

    // A perspective build after an orthographic one leaves nothing of the old planes.
    frustum.build_perspective(1, 3, 1.2f, 0.9f);
    const float ch = static_cast<float>(std::cos(0.6)), sh = static_cast<float>(std::sin(0.6));
    const float cv = static_cast<float>(std::cos(0.45)), sv = static_cast<float>(std::sin(0.45));
    expect_plane(frustum.planes[view_frustum::NEAR], 0, 0, 1, 1);
    expect_plane(frustum.planes[view_frustum::FAR], 0, 0, -1, -3);
    expect_plane(frustum.planes[view_frustum::X_MIN], ch, 0, sh, 0);
    expect_plane(frustum.planes[view_frustum::X_MAX], -ch, 0, sh, 0);
    expect_plane(frustum.planes[view_frustum::Y_MAX], 0, -cv, sv, 0);
    expect_plane(frustum.planes[view_frustum::Y_MIN], 0, cv, sv, 0);
    EXPECT_EQ(frustum.planes[view_frustum::X_MIN].point[0], 0.0f);

    frustum.reset();
    for (const auto& p : frustum.planes)
        expect_plane(p, 0, 0, 1, 0);
}

TEST(ViewFrustum, PlaneNormalisesItsNormalButKeepsTheGivenPoint)
{
    view_frustum::plane p;
    p.set(0, 3, 4, 2);
    expect_plane(p, 0, 0.6f, 0.8f, 2);
    EXPECT_FLOAT_EQ(p.point[0], 0);
    EXPECT_FLOAT_EQ(p.point[1], 6);
    EXPECT_FLOAT_EQ(p.point[2], 8);
}

TEST(ViewFrustum, OrthographicBoxClassifiesSpheres)
{
    // Width 2, height 2, from z = 1 to z = 3, as a parallel camera builds it.
    view_frustum frustum;
    frustum.build_orthographic(1, 3, -1, 1, -1, 1);
    const SphereCase cases[] = {
        {"point at the centre", 0, 0, 2, 0, 0},
        {"small sphere at the centre", 0, 0, 2, 0.5f, 0},
        {"touching near and the sides from inside", 0, 0, 2, 1, 1},
        {"centre on the near plane", 0, 0, 1, 0.25f, 1},
        {"exactly one radius beyond near", 0, 0, 0, 1, 1},
        {"beyond near", 0, 0, -1, 1, 2},
        {"beyond far", 0, 0, 3.5f, 0.4f, 2},
        {"beyond x minimum", -2.5f, 0, 2, 1, 2},
        {"beyond x maximum", 2.5f, 0, 2, 1, 2},
        {"above y maximum", 0, 1.5f, 2, 0.4f, 2},
        {"below y minimum", 0, -1.5f, 2, 0.4f, 2},
        {"straddling a corner", 1, 1, 2, 0.1f, 1},
        {"enclosing the whole box", 0, 0, 2, 10, 1},
    };
    for (const SphereCase& c : cases)
        EXPECT_EQ(frustum.test_sphere(c.x, c.y, c.z, c.radius), c.expected) << c.what;
}

TEST(ViewFrustum, PerspectiveClassifiesSpheres)
{
    // Right angles both ways: the sides are the planes |x| = z and |y| = z.
    view_frustum frustum;
    const float right_angle = static_cast<float>(std::acos(0.0));
    frustum.build_perspective(1, 10, right_angle, right_angle);
    const SphereCase cases[] = {
        {"on the axis", 0, 0, 2, 0, 0},
        {"near the x side, inside", 1.9f, 0, 2, 0, 0},
        {"wider than the cone is there", 0, 0, 2, 1.5f, 1},
        {"centred on the x maximum side", 2, 0, 2, 0.1f, 1},
        {"right of the cone", 2.5f, 0, 2, 0, 2},
        {"left of the cone", -2.5f, 0, 2, 0, 2},
        {"above the cone", 0, 2.5f, 2, 0, 2},
        {"below the cone", 0, -2.5f, 2, 0, 2},
        {"behind the camera", 0, 0, -2, 0.5f, 2},
        {"beyond far", 0, 0, 12, 1, 2},
    };
    for (const SphereCase& c : cases)
        EXPECT_EQ(frustum.test_sphere(c.x, c.y, c.z, c.radius), c.expected) << c.what;
}

TEST(ViewFrustum, OutsideOnePlaneWinsOverCrossingOthers)
{
    view_frustum frustum;
    frustum.build_orthographic(1, 3, -1, 1, -1, 1);
    // Crosses the near plane, then lies wholly beyond a later plane.
    EXPECT_EQ(frustum.test_sphere(1.5f, 0, 1, 0.4f), 2);
    EXPECT_EQ(frustum.test_sphere(0, -1.5f, 1, 0.4f), 2);
    // Lies beyond the first plane and crosses later ones.
    EXPECT_EQ(frustum.test_sphere(1, 1, 0.5f, 0.4f), 2);
}

} // namespace
