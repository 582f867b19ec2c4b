#pragma once

// The six planes that bound what a camera sees, in camera space (the camera looks along
// +z). Cameras rebuild it with their projection; the render list tests bounding spheres
// against it.

namespace vadu::lib3d {

class view_frustum {
public:
    // Every normal points into the frustum: a point c is inside when n·c − d > 0.
    struct plane {
        float normal[3];
        float point[3]; // the given normal times the distance
        float distance;

        // Normal (0, 0, 1), everything else 0.
        void reset();
        // The normal is normalised; the point keeps the normal as given.
        void set(float nx, float ny, float nz, float d);
        // 0 inside, 1 crossing, 2 outside.
        int test_sphere(float x, float y, float z, float radius) const;
    };

    enum { NEAR = 0, FAR = 1, X_MIN = 2, X_MAX = 3, Y_MAX = 4, Y_MIN = 5, PLANE_COUNT = 6 };

    // Neutral planes.
    view_frustum();

    void reset();
    // Inside: near < z < far, x0 < x < x1, −b < y < −a.
    void build_orthographic(float near, float far, float x0, float x1, float a, float b);
    // Field-of-view angles in radians; the side planes pass through the origin.
    void build_perspective(float near, float far, float horizontal, float vertical);
    // The largest per-plane result (0 inside, 1 crossing, 2 outside); stops at the first
    // plane that rejects the sphere.
    int test_sphere(float x, float y, float z, float radius) const;

    plane planes[PLANE_COUNT];
};

static_assert(sizeof(view_frustum) == 42 * sizeof(float), "the camera copies the planes as 42 floats");

} // namespace vadu::lib3d
