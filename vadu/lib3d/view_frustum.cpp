#include "vadu/lib3d/view_frustum.h"

#include <cmath>

namespace vadu::lib3d {

void view_frustum::plane::reset()
{
    normal[0] = 0.0f;
    normal[1] = 0.0f;
    normal[2] = 1.0f;
    point[0] = point[1] = point[2] = 0.0f;
    distance = 0.0f;
}

void view_frustum::plane::set(float nx, float ny, float nz, float d)
{
    distance = d;
    const float length = std::sqrt(nx * nx + ny * ny + nz * nz);
    const float scale = length > 0.0f ? 1.0f / length : 1.0f;
    normal[0] = nx * scale;
    normal[1] = ny * scale;
    normal[2] = nz * scale;
    point[0] = nx * d;
    point[1] = ny * d;
    point[2] = nz * d;
}

int view_frustum::plane::test_sphere(float x, float y, float z, float radius) const
{
    // Single precision throughout: the dot product rounded to float, then the difference.
    const float dot = normal[0] * x + normal[1] * y + normal[2] * z;
    const float s = dot - distance;
    if (s > radius)
        return 0;
    if (s < -radius)
        return 2;
    return 1;
}

view_frustum::view_frustum()
{
    reset();
}

void view_frustum::reset()
{
    for (plane& p : planes)
        p.reset();
}

void view_frustum::build_orthographic(float near, float far, float x0, float x1, float a, float b)
{
    reset();
    planes[NEAR].set(0.0f, 0.0f, 1.0f, near);
    planes[FAR].set(0.0f, 0.0f, -1.0f, -far);
    planes[X_MIN].set(1.0f, 0.0f, 0.0f, x0);
    planes[X_MAX].set(-1.0f, 0.0f, 0.0f, -x1);
    planes[Y_MAX].set(0.0f, -1.0f, 0.0f, a);
    planes[Y_MIN].set(0.0f, 1.0f, 0.0f, -b);
}

void view_frustum::build_perspective(float near, float far, float horizontal, float vertical)
{
    reset();
    const float ch = static_cast<float>(std::cos(static_cast<double>(horizontal) / 2.0));
    const float sh = static_cast<float>(std::sin(static_cast<double>(horizontal) / 2.0));
    const float cv = static_cast<float>(std::cos(static_cast<double>(vertical) / 2.0));
    const float sv = static_cast<float>(std::sin(static_cast<double>(vertical) / 2.0));
    planes[NEAR].set(0.0f, 0.0f, 1.0f, near);
    planes[FAR].set(0.0f, 0.0f, -1.0f, -far);
    planes[X_MIN].set(ch, 0.0f, sh, 0.0f);
    planes[X_MAX].set(-ch, 0.0f, sh, 0.0f);
    planes[Y_MAX].set(0.0f, -cv, sv, 0.0f);
    planes[Y_MIN].set(0.0f, cv, sv, 0.0f);
}

int view_frustum::test_sphere(float x, float y, float z, float radius) const
{
    int result = 0;
    for (const plane& p : planes) {
        const int here = p.test_sphere(x, y, z, radius);
        if (here > result)
            result = here;
        if (result == 2)
            break;
    }
    return result;
}

} // namespace vadu::lib3d
