#include "sources/gameplay/trail_curve.h"

#include <cmath>

namespace gameplay {

using Vec2 = vadu::math::Vector2<float>;

namespace {

Vec2 Sub(const Vec2& a, const Vec2& b) { return {a.x - b.x, a.y - b.y}; }
Vec2 Add(const Vec2& a, const Vec2& b) { return {a.x + b.x, a.y + b.y}; }
Vec2 Lerp(const Vec2& a, const Vec2& b, float f) { return {a.x + f * (b.x - a.x), a.y + f * (b.y - a.y)}; }
Vec2 Perp(const Vec2& d) { return {d.y, -d.x}; }

} // namespace

TrailCurve::TrailCurve()
    : points_{{43, 27},   {62, 40},   {79, 48},   {99, 51},   {118, 51},  {140, 49},
              {162, 44},  {183, 37},  {202, 31},  {227, 24},  {246, 22},  {265, 26},
              {283, 36},  {302, 46},  {320, 53},  {339, 53},  {355, 45},  {371, 31}}
{
    const size_t n = points_.size();
    lengths_.assign(n, 0.0f);
    float total = 0.0f;
    for (size_t i = 0; i + 1 < n; ++i) {
        const Vec2 d = Sub(points_[i + 1], points_[i]);
        lengths_[i + 1] = std::sqrt(d.x * d.x + d.y * d.y);
        total += lengths_[i + 1];
    }
    for (size_t i = 1; i < n; ++i)
        lengths_[i] = lengths_[i] / total + lengths_[i - 1];

    normals_.resize(n);
    normals_[0] = Perp(Sub(points_[1], points_[0])).normalized();
    for (size_t i = 1; i + 1 < n; ++i) {
        const Vec2 before = Perp(Sub(points_[i], points_[i - 1])).normalized();
        const Vec2 after = Perp(Sub(points_[i + 1], points_[i])).normalized();
        normals_[i] = Add(before, after).normalized();
    }
    normals_[n - 1] = Perp(Sub(points_[n - 1], points_[n - 2])).normalized();
}

bool TrailCurve::Locate(float t, size_t& end, float& fraction) const
{
    for (size_t i = 1; i < lengths_.size(); ++i) {
        if (t <= lengths_[i]) {
            end = i;
            fraction = (t - lengths_[i - 1]) / (lengths_[i] - lengths_[i - 1]);
            return true;
        }
    }
    return false;
}

Vec2 TrailCurve::PointAt(float t) const
{
    size_t end = 0;
    float f = 0.0f;
    if (!Locate(t, end, f))
        return points_.back();
    return Lerp(points_[end - 1], points_[end], f);
}

Vec2 TrailCurve::NormalAt(float t) const
{
    size_t end = 0;
    float f = 0.0f;
    if (!Locate(t, end, f))
        return normals_.back();
    return Lerp(normals_[end - 1], normals_[end], f).normalized();
}

} // namespace gameplay
