// What every picture set of make_pictures shares: straight colours, shading helpers and
// the list of pictures to write. A set is one .cpp file in this folder that lists its
// pictures with QUILLO_PICTURES; main.cpp writes them all.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pictures {

struct Colour {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;
};

constexpr Colour rgb(int r, int g, int b, float a = 1.0f)
{
    return {r / 255.0f, g / 255.0f, b / 255.0f, a};
}

inline Colour mix(const Colour& from, const Colour& to, float t)
{
    t = std::clamp(t, 0.0f, 1.0f);
    return {from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t, from.b + (to.b - from.b) * t,
            from.a + (to.a - from.a) * t};
}

// Source over destination, straight colours.
inline Colour over(const Colour& top, const Colour& bottom)
{
    const float a = top.a + bottom.a * (1.0f - top.a);
    if (a <= 0.0f)
        return {};
    auto channel = [&](float t, float b) { return (t * top.a + b * bottom.a * (1.0f - top.a)) / a; };
    return {channel(top.r, bottom.r), channel(top.g, bottom.g), channel(top.b, bottom.b), a};
}

// The colour of the picture at a point, in pixels from the top-left corner.
using Shader = std::function<Colour(float x, float y)>;

inline float distance_to_segment(float px, float py, float ax, float ay, float bx, float by)
{
    const float dx = bx - ax;
    const float dy = by - ay;
    const float length = dx * dx + dy * dy;
    const float t = length > 0.0f ? std::clamp(((px - ax) * dx + (py - ay) * dy) / length, 0.0f, 1.0f) : 0.0f;
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

struct Point {
    float x, y;
};

// Even-odd rule.
inline bool inside_polygon(const std::vector<Point>& polygon, float x, float y)
{
    bool inside = false;
    for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const Point& a = polygon[i];
        const Point& b = polygon[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x)
            inside = !inside;
    }
    return inside;
}

inline float distance_to_outline(const std::vector<Point>& polygon, float x, float y)
{
    float nearest = INFINITY;
    for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++)
        nearest = std::min(nearest, distance_to_segment(x, y, polygon[j].x, polygon[j].y, polygon[i].x, polygon[i].y));
    return nearest;
}

// Signed distance to a rounded rectangle: negative inside.
inline float rounded_rectangle(float x, float y, float left, float top, float right, float bottom, float radius)
{
    const float cx = (left + right) * 0.5f;
    const float cy = (top + bottom) * 0.5f;
    const float qx = std::abs(x - cx) - ((right - left) * 0.5f - radius);
    const float qy = std::abs(y - cy) - ((bottom - top) * 0.5f - radius);
    return std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) - radius;
}

// One picture: its path below the data folder, its size and its shader.
struct Picture {
    std::string path;
    uint32_t width;
    uint32_t height;
    Shader shader;
};

// Every set's pictures, in the order the sets registered.
std::vector<Picture>& all_pictures();

inline void add(std::string path, uint32_t width, uint32_t height, Shader shader)
{
    all_pictures().push_back({std::move(path), width, height, std::move(shader)});
}

struct SetRegistrar {
    explicit SetRegistrar(void (*list)()) { list(); }
};

} // namespace pictures

// QUILLO_PICTURES(name) { pictures::add("folder/file.png", w, h, shader); ... }
#define QUILLO_PICTURES(name)                                                   \
    static void name();                                                         \
    static const ::pictures::SetRegistrar name##_registrar{&name};              \
    static void name()
