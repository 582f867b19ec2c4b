#include "vadu/math.h"

#include <cmath>
#include <utility>

namespace vadu::math {

Matrix4 Matrix4::identity()
{
    Matrix4 result;
    result.m[0] = result.m[5] = result.m[10] = result.m[15] = 1.0f;
    return result;
}

Matrix4 Matrix4::rotation(float x, float y, float z)
{
    const float cx = static_cast<float>(std::cos(static_cast<double>(x)));
    const float sx = static_cast<float>(std::sin(static_cast<double>(x)));
    const float cy = static_cast<float>(std::cos(static_cast<double>(y)));
    const float sy = static_cast<float>(std::sin(static_cast<double>(y)));
    const float cz = static_cast<float>(std::cos(static_cast<double>(z)));
    const float sz = static_cast<float>(std::sin(static_cast<double>(z)));

    Matrix4 r = identity();
    r.m[0] = cy * cz;
    r.m[1] = -cz * sx * sy - cx * sz;
    r.m[2] = sx * sz - cx * cz * sy;
    r.m[4] = cy * sz;
    r.m[5] = cx * cz - sx * sy * sz;
    r.m[6] = -cz * sx - cx * sy * sz;
    r.m[8] = sy;
    r.m[9] = sx * cy;
    r.m[10] = cx * cy;
    return r;
}

Matrix4& Matrix4::operator*=(const Matrix4& other)
{
    const Matrix4 a = *this;
    const Matrix4 b = other;
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            m[row * 4 + column] = a.m[row * 4 + 0] * b.m[0 * 4 + column] +
                                  a.m[row * 4 + 1] * b.m[1 * 4 + column] +
                                  a.m[row * 4 + 2] * b.m[2 * 4 + column] +
                                  a.m[row * 4 + 3] * b.m[3 * 4 + column];
        }
    }
    return *this;
}

Vector3 Matrix4::transform_point(const Vector3& v, const Matrix4& matrix)
{
    const float* m = matrix.m;
    return Vector3{m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12],
                   m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13],
                   m[2] * v.x + m[6] * v.y + m[10] * v.z + m[14]};
}

Vector3 Matrix4::project_point(const Matrix4& matrix, const Vector3& v)
{
    const float* m = matrix.m;
    const float w = m[12] * v.x + m[13] * v.y + m[14] * v.z + m[15];
    const float x = m[0] * v.x + m[1] * v.y + m[2] * v.z + m[3];
    const float y = m[4] * v.x + m[5] * v.y + m[6] * v.z + m[7];
    const float z = m[8] * v.x + m[9] * v.y + m[10] * v.z + m[11];
    return Vector3{x / w, y / w, z / w};
}

bool try_inverse(const Matrix4& matrix, Matrix4* result)
{
    Matrix4 work = matrix;
    Matrix4 inv = Matrix4::identity();
    float* a = work.m;
    float* b = inv.m;

    for (int c = 0; c < 4; ++c) {
        int pivot_row = c;
        for (int r = c + 1; r < 4; ++r) {
            if (std::fabs(a[r * 4 + c]) > std::fabs(a[pivot_row * 4 + c]))
                pivot_row = r;
        }
        if (pivot_row != c) {
            for (int j = 0; j < 4; ++j) {
                std::swap(a[c * 4 + j], a[pivot_row * 4 + j]);
                std::swap(b[c * 4 + j], b[pivot_row * 4 + j]);
            }
        }

        const float pivot = a[c * 4 + c];
        if (pivot == 0.0f)
            return false;
        const float scale = 1.0f / pivot;
        for (int j = 0; j < 4; ++j) {
            a[c * 4 + j] *= scale;
            b[c * 4 + j] *= scale;
        }

        for (int r = 0; r < 4; ++r) {
            if (r == c)
                continue;
            const float factor = a[r * 4 + c];
            for (int j = 0; j < 4; ++j) {
                a[r * 4 + j] -= a[c * 4 + j] * factor;
                b[r * 4 + j] -= b[c * 4 + j] * factor;
            }
        }
    }

    // A pivot that is tiny but not zero overflows instead; that matrix is just
    // as singular for every caller.
    for (float element : inv.m) {
        if (!std::isfinite(element))
            return false;
    }
    *result = inv;
    return true;
}

Matrix4 inverse(Matrix4 matrix)
{
    Matrix4 result = Matrix4::identity();
    try_inverse(matrix, &result);
    return result;
}

} // namespace vadu::math
