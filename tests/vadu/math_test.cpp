#include "vadu/math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using vadu::math::Matrix4;
using vadu::math::Vector2;
using vadu::math::Vector3;

Matrix4 from_rows(std::initializer_list<float> elements)
{
    Matrix4 result;
    int i = 0;
    for (float e : elements)
        result.m[i++] = e;
    return result;
}

// Column-vector convention: translation in elements 3, 7, 11.
Matrix4 translation(float x, float y, float z)
{
    Matrix4 t = Matrix4::identity();
    t.m[3] = x;
    t.m[7] = y;
    t.m[11] = z;
    return t;
}

Matrix4 scaling(float x, float y, float z)
{
    Matrix4 s = Matrix4::identity();
    s.m[0] = x;
    s.m[5] = y;
    s.m[10] = z;
    return s;
}

float fcos(double angle) { return static_cast<float>(std::cos(angle)); }
float fsin(double angle) { return static_cast<float>(std::sin(angle)); }

void expect_near_matrix(const Matrix4& actual, const Matrix4& expected, float tolerance)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(actual.m[i], expected.m[i], tolerance) << "element " << i;
}

TEST(MathMatrix, IdentityHasOnesOnTheDiagonalOnly)
{
    const Matrix4 id = Matrix4::identity();
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(id.m[i], (i % 5 == 0) ? 1.0f : 0.0f) << "element " << i;
    EXPECT_EQ(Matrix4{}.m[15], 0.0f);
}

TEST(MathMatrix, RotationOfZeroAnglesIsExactlyIdentity)
{
    const Matrix4 r = Matrix4::rotation(0.0f, 0.0f, 0.0f);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(r.m[i], Matrix4::identity().m[i]) << "element " << i;
}

// Single-axis rotations reduce the element formulas to plain sines and cosines
// of the angle, rounded from double; the results must match bit for bit.
TEST(MathMatrix, RotationAboutOneAxisHasExactElements)
{
    const float a = 0.7f;
    const float c = fcos(a);
    const float s = fsin(a);

    const Matrix4 rx = Matrix4::rotation(a, 0.0f, 0.0f);
    EXPECT_EQ(rx.m[5], c);
    EXPECT_EQ(rx.m[6], -s);
    EXPECT_EQ(rx.m[9], s);
    EXPECT_EQ(rx.m[10], c);
    EXPECT_EQ(rx.m[0], 1.0f);

    const Matrix4 ry = Matrix4::rotation(0.0f, a, 0.0f);
    EXPECT_EQ(ry.m[0], c);
    EXPECT_EQ(ry.m[2], -s);
    EXPECT_EQ(ry.m[8], s);
    EXPECT_EQ(ry.m[10], c);
    EXPECT_EQ(ry.m[5], 1.0f);

    const Matrix4 rz = Matrix4::rotation(0.0f, 0.0f, a);
    EXPECT_EQ(rz.m[0], c);
    EXPECT_EQ(rz.m[1], -s);
    EXPECT_EQ(rz.m[4], s);
    EXPECT_EQ(rz.m[5], c);
    EXPECT_EQ(rz.m[10], 1.0f);

    for (const Matrix4* r : {&rx, &ry, &rz}) {
        for (int i : {3, 7, 11, 12, 13, 14})
            EXPECT_EQ(r->m[i], 0.0f) << "element " << i;
        EXPECT_EQ(r->m[15], 1.0f);
    }
}

// The combined rotation is Rz(z) * Ry(-y) * Rx(x); build that product from
// textbook single-axis matrices and compare.
TEST(MathMatrix, RotationComposesAxesInZYXOrderWithYNegated)
{
    struct Angles {
        float x, y, z;
    };
    const Angles cases[] = {{0.3f, -1.1f, 2.0f}, {-2.5f, 0.4f, -0.9f}, {3.0f, 3.0f, 3.0f}};
    for (const Angles& a : cases) {
        const Matrix4 rx = from_rows({1, 0, 0, 0, 0, fcos(a.x), -fsin(a.x), 0, 0, fsin(a.x), fcos(a.x), 0, 0, 0, 0, 1});
        const Matrix4 ry = from_rows({fcos(-a.y), 0, fsin(-a.y), 0, 0, 1, 0, 0, -fsin(-a.y), 0, fcos(-a.y), 0, 0, 0, 0, 1});
        const Matrix4 rz = from_rows({fcos(a.z), -fsin(a.z), 0, 0, fsin(a.z), fcos(a.z), 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
        Matrix4 expected = rz;
        expected *= ry;
        expected *= rx;
        SCOPED_TRACE(testing::Message() << a.x << ", " << a.y << ", " << a.z);
        expect_near_matrix(Matrix4::rotation(a.x, a.y, a.z), expected, 1e-6f);
    }
}

TEST(MathMatrix, RotationTurnsColumnVectorsCounterClockwise)
{
    const float quarter = static_cast<float>(M_PI / 2);
    const Vector3 p = Matrix4::project_point(Matrix4::rotation(0.0f, 0.0f, quarter), Vector3{1, 0, 0});
    EXPECT_NEAR(p.x, 0.0f, 1e-7f);
    EXPECT_NEAR(p.y, 1.0f, 1e-7f);
    EXPECT_NEAR(p.z, 0.0f, 1e-7f);
}

TEST(MathMatrix, ProductIsRowByColumnInOperandOrder)
{
    // translate * scale: the scale acts first on a column vector, so the
    // translation stays unscaled.
    Matrix4 ts = translation(1, 2, 3);
    ts *= scaling(2, 4, 8);
    const Matrix4 expected_ts = from_rows({2, 0, 0, 1, 0, 4, 0, 2, 0, 0, 8, 3, 0, 0, 0, 1});
    expect_near_matrix(ts, expected_ts, 0.0f);

    Matrix4 st = scaling(2, 4, 8);
    st *= translation(1, 2, 3);
    const Matrix4 expected_st = from_rows({2, 0, 0, 2, 0, 4, 0, 8, 0, 0, 8, 24, 0, 0, 0, 1});
    expect_near_matrix(st, expected_st, 0.0f);
}

TEST(MathMatrix, ProductWithItselfUsesTheOriginalValues)
{
    Matrix4 a = from_rows({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    a *= a;
    const Matrix4 expected = from_rows({90, 100, 110, 120, 202, 228, 254, 280,
                                        314, 356, 398, 440, 426, 484, 542, 600});
    expect_near_matrix(a, expected, 0.0f);
}

TEST(MathInverse, ProductWithInverseIsIdentity)
{
    Matrix4 rotated_scaled = translation(4, -2, 7);
    rotated_scaled *= Matrix4::rotation(0.4f, -1.2f, 2.2f);
    rotated_scaled *= scaling(0.5f, 3.0f, 1.5f);

    Matrix4 projective = from_rows({2, 0, 1, 0, 0, 3, 0, 1, 1, 0, 1, 0, 0, 0.5f, 0, 2});

    for (const Matrix4& m : {rotated_scaled, projective}) {
        Matrix4 product = m;
        product *= vadu::math::inverse(m);
        expect_near_matrix(product, Matrix4::identity(), 1e-5f);
        Matrix4 reverse = vadu::math::inverse(m);
        reverse *= m;
        expect_near_matrix(reverse, Matrix4::identity(), 1e-5f);
    }
}

TEST(MathInverse, ZeroFirstPivotIsFoundThroughARowSwap)
{
    // Swaps x and y and translates; its first diagonal element is 0.
    const Matrix4 m = from_rows({0, 1, 0, 5, 1, 0, 0, -3, 0, 0, 1, 2, 0, 0, 0, 1});
    const Matrix4 expected = from_rows({0, 1, 0, 3, 1, 0, 0, -5, 0, 0, 1, -2, 0, 0, 0, 1});
    Matrix4 result;
    ASSERT_TRUE(vadu::math::try_inverse(m, &result));
    expect_near_matrix(result, expected, 0.0f);
}

TEST(MathInverse, SingularMatrixGivesIdentityAndLeavesTryResultUntouched)
{
    Matrix4 flattened = translation(3, 4, 5);
    flattened *= scaling(0, 1, 1);  // a node scaled to 0 at the start of a pop-in
    Matrix4 tiny = scaling(1e-39f, 1, 1);  // the pivot's reciprocal overflows
    const Matrix4 zero{};

    for (const Matrix4& m : {flattened, tiny, zero}) {
        Matrix4 result = translation(9, 9, 9);
        EXPECT_FALSE(vadu::math::try_inverse(m, &result));
        expect_near_matrix(result, translation(9, 9, 9), 0.0f);
        expect_near_matrix(vadu::math::inverse(m), Matrix4::identity(), 0.0f);
    }
}

TEST(MathPoints, TransformPointTreatsThePointAsARowVector)
{
    const Matrix4 m = from_rows({1, 2, 3, 90, 4, 5, 6, 91, 7, 8, 9, 92, 10, 11, 12, 93});
    const Vector3 origin = Matrix4::transform_point(Vector3{0, 0, 0}, m);
    EXPECT_EQ(origin.x, 10.0f);
    EXPECT_EQ(origin.y, 11.0f);
    EXPECT_EQ(origin.z, 12.0f);

    const Vector3 p = Matrix4::transform_point(Vector3{1, 2, 3}, m);
    EXPECT_EQ(p.x, 1 + 8 + 21 + 10.0f);
    EXPECT_EQ(p.y, 2 + 10 + 24 + 11.0f);
    EXPECT_EQ(p.z, 3 + 12 + 27 + 12.0f);
}

TEST(MathPoints, ProjectPointTreatsThePointAsAColumnVectorAndDividesByW)
{
    const Vector3 moved = Matrix4::project_point(translation(1, 2, 3), Vector3{10, 20, 30});
    EXPECT_EQ(moved.x, 11.0f);
    EXPECT_EQ(moved.y, 22.0f);
    EXPECT_EQ(moved.z, 33.0f);

    // w = 0.5 * z + 1 = 4 for z = 6.
    const Matrix4 perspective = from_rows({1, 0, 0, 2, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0.5f, 1});
    const Vector3 p = Matrix4::project_point(perspective, Vector3{6, 8, 6});
    EXPECT_EQ(p.x, 2.0f);
    EXPECT_EQ(p.y, 2.0f);
    EXPECT_EQ(p.z, 1.5f);
}

TEST(MathPoints, ProjectPointWithZeroWIsNotFinite)
{
    const Matrix4 m = from_rows({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0});
    const Vector3 p = Matrix4::project_point(m, Vector3{1, 1, 0});
    EXPECT_FALSE(std::isfinite(p.x));
    EXPECT_FALSE(std::isfinite(p.y));
}

TEST(MathVector, Vector3EqualityToleratesRoundingNoiseOnly)
{
    const float eps = std::numeric_limits<float>::epsilon();
    EXPECT_TRUE((Vector3{1, 2, 3} == Vector3{1, 2, 3}));
    EXPECT_TRUE((Vector3{0, 0, 0} == Vector3{eps / 2, -eps / 2, 0}));
    EXPECT_FALSE((Vector3{0, 0, 0} == Vector3{0, 0, eps}));
    EXPECT_TRUE((Vector3{0, 0, 0} != Vector3{0, 2 * eps, 0}));
}

TEST(MathVector, NormalizedHasUnitLengthAndKeepsZero)
{
    const Vector2<float> n = Vector2<float>{3, -4}.normalized();
    EXPECT_FLOAT_EQ(n.x, 0.6f);
    EXPECT_FLOAT_EQ(n.y, -0.8f);
    const Vector2<float> zero = Vector2<float>{}.normalized();
    EXPECT_EQ(zero.x, 0.0f);
    EXPECT_EQ(zero.y, 0.0f);
}

} // namespace
