#pragma once

#include <cmath>

namespace vadu::math {

template <typename T>
struct Vector2 {
    T x{};
    T y{};

    // The vector divided by its length; unchanged when the length is 0.
    Vector2 normalized() const
    {
        const T length = static_cast<T>(std::sqrt(x * x + y * y));
        if (length == T{})
            return *this;
        return Vector2{static_cast<T>(x / length), static_cast<T>(y / length)};
    }
};

struct Vector3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    // Components that differ by less than float epsilon count as equal, so a
    // value that only picked up rounding noise is not treated as a change.
    friend bool operator==(const Vector3& a, const Vector3& b)
    {
        constexpr float tolerance = 1.1920929e-7f;
        return std::fabs(a.x - b.x) < tolerance && std::fabs(a.y - b.y) < tolerance &&
               std::fabs(a.z - b.z) < tolerance;
    }
};

// 4x4 float matrix; element k is row k / 4, column k % 4.
struct Matrix4 {
    float m[16]{};

    float& operator[](int index) { return m[index]; }
    float operator[](int index) const { return m[index]; }

    static Matrix4 identity();

    // Euler angles in radians; the 3x3 block is Rz(z) * Ry(-y) * Rx(x) for
    // column vectors.
    static Matrix4 rotation(float x, float y, float z);

    // this = this * other; other may be this.
    Matrix4& operator*=(const Matrix4& other);

    // Row vector (x, y, z, 1) times the matrix: translation from elements
    // 12..14, no division. Only for matrices built for row vectors.
    static Vector3 transform_point(const Vector3& v, const Matrix4& matrix);

    // Matrix times column vector (x, y, z, 1), divided by the resulting w
    // (w = 0 gives non-finite coordinates).
    static Vector3 project_point(const Matrix4& matrix, const Vector3& v);
};

// Gauss-Jordan inverse with partial pivoting. A singular matrix (zero pivot,
// or a result that overflows) has no inverse: `try_inverse` then returns false
// and leaves *result untouched, and `inverse` returns the identity, so a node
// scaled to 0 does not spread NaN through the scene.
bool try_inverse(const Matrix4& matrix, Matrix4* result);
Matrix4 inverse(Matrix4 matrix);

} // namespace vadu::math
