#pragma once

// The gently waving line the monsters bar lays its slots along: eighteen fixed points,
// parametrised by arc length (0 the first point, 1 the last) with a smoothed unit normal
// at every position.

#include <vector>

#include "vadu/math.h"

namespace gameplay {

class TrailCurve {
public:
    TrailCurve();

    // Below 0 the first segment is extended; above 1 gives the last point.
    vadu::math::Vector2<float> PointAt(float t) const;
    vadu::math::Vector2<float> NormalAt(float t) const;

    const std::vector<vadu::math::Vector2<float>>& Points() const noexcept { return points_; }
    const std::vector<vadu::math::Vector2<float>>& Normals() const noexcept { return normals_; }
    // Fraction of the whole length up to each point.
    const std::vector<float>& Lengths() const noexcept { return lengths_; }

private:
    // The segment holding t: index of its end point and the fraction along it; false
    // when t lies past the last point.
    bool Locate(float t, size_t& end, float& fraction) const;

    std::vector<vadu::math::Vector2<float>> points_;
    std::vector<vadu::math::Vector2<float>> normals_;
    std::vector<float> lengths_;
};

} // namespace gameplay
