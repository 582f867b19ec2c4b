// The engine demo's effect pictures: the explosion strip of its flip-book, the spark of
// its particle effect, the ribbon of its trace, the gem of its sprite group and the panel
// its lights shade.

#include "canvas.h"

namespace {

using namespace pictures;

constexpr float pi = 3.14159265f;

// Eight 64 × 64 frames side by side: a flash that swells into a fireball, cools to smoke
// and fades out.
Colour boom(float x, float y)
{
    const int frame = std::clamp(static_cast<int>(x / 64.0f), 0, 7);
    const float t = static_cast<float>(frame) / 7.0f;
    const float cx = frame * 64.0f + 32.0f;
    const float d = std::hypot(x - cx, y - 32.0f);
    const float angle = std::atan2(y - 32.0f, x - cx);
    // A ragged rim: the radius wobbles with the angle, more as the ball grows.
    const float radius = (6.0f + 22.0f * std::sqrt(t)) * (1.0f + (0.06f + 0.1f * t) * std::sin(angle * 7.0f + t * 5.0f));
    if (d > radius)
        return {};
    const float inner = d / radius;
    const Colour hot = mix(rgb(255, 255, 235), rgb(255, 206, 64), t * 1.6f);
    const Colour rim = mix(rgb(250, 120, 30), rgb(90, 80, 80), (t - 0.3f) * 1.6f);
    Colour colour = mix(hot, rim, inner * (0.6f + t));
    colour.a = std::clamp((1.0f - t * t * 0.9f) * (1.0f - std::max(0.0f, inner - 0.8f) * 5.0f), 0.0f, 1.0f);
    return colour;
}

// Four 16 × 16 frames side by side: a white-hot point with four rays, the rays turning
// a little from frame to frame so that a spark twinkles.
Colour spark(float x, float y)
{
    const int frame = std::clamp(static_cast<int>(x / 16.0f), 0, 3);
    const float dx = x - (frame * 16.0f + 8.0f);
    const float dy = y - 8.0f;
    const float d = std::hypot(dx, dy);
    const float turn = frame * pi / 8.0f;
    const float angle = std::atan2(dy, dx) + turn;
    const float rays = std::pow(std::fabs(std::cos(angle * 2.0f)), 12.0f);
    const float glow = std::max(0.0f, 1.0f - d / 7.5f);
    const float a = std::clamp(glow * glow + rays * std::max(0.0f, 1.0f - d / 8.0f), 0.0f, 1.0f);
    if (a <= 0.0f)
        return {};
    Colour colour = mix(rgb(255, 255, 255), rgb(255, 200, 90), d / 6.0f);
    colour.a = a;
    return colour;
}

// The trace's ribbon: bands of colour along it, faded out at both edges across it.
Colour ribbon(float x, float y)
{
    const float across = std::fabs(y - 8.0f) / 8.0f;
    const float along = x / 64.0f;
    Colour colour = mix(rgb(80, 220, 255), rgb(250, 90, 220), 0.5f + 0.5f * std::sin(along * 2.0f * pi));
    colour = mix(rgb(255, 255, 255), colour, across * 2.0f);
    colour.a = std::clamp(1.0f - across * across, 0.0f, 1.0f);
    return colour;
}

// A faceted green gem, transparent around it.
Colour gem(float x, float y)
{
    const std::vector<Point> outline{{16.0f, 2.0f}, {29.0f, 12.0f}, {16.0f, 30.0f}, {3.0f, 12.0f}};
    if (!inside_polygon(outline, x, y))
        return {};
    if (distance_to_outline(outline, x, y) < 1.2f)
        return rgb(10, 60, 30);
    const bool crown = y < 12.0f;
    const bool left = x < 16.0f;
    const Colour facet = crown ? (left ? rgb(170, 255, 190) : rgb(90, 220, 130)) : (left ? rgb(40, 170, 80) : rgb(20, 120, 60));
    const float shine = std::max(0.0f, 1.0f - std::hypot(x - 11.0f, y - 8.0f) / 4.0f);
    return mix(facet, rgb(255, 255, 255), shine);
}

// The lit panel: four light stone tiles with dark grout and a bevelled frame, so that
// the light's colour and angle read clearly on it.
Colour panel(float x, float y)
{
    const float edge = std::min(std::min(x, 128.0f - x), std::min(y, 128.0f - y));
    if (edge < 6.0f)
        return mix(rgb(120, 110, 100), rgb(230, 220, 205), edge / 6.0f);
    const float tx = std::fmod(x - 6.0f, 58.0f);
    const float ty = std::fmod(y - 6.0f, 58.0f);
    if (tx > 56.0f || ty > 56.0f)
        return rgb(60, 56, 52);
    const float grain = 0.5f + 0.5f * std::sin(x * 0.7f + std::sin(y * 0.3f) * 3.0f);
    return mix(rgb(235, 230, 220), rgb(200, 192, 180), grain * 0.6f);
}

} // namespace

QUILLO_PICTURES(effect_pictures)
{
    add("demo/boom.png", 512, 64, boom);
    add("demo/spark.png", 64, 16, spark);
    add("demo/ribbon.png", 64, 16, ribbon);
    add("demo/gem.png", 32, 32, gem);
    add("demo/panel.png", 128, 128, panel);
}
