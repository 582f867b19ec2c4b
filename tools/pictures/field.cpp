// The field's pictures: the lightning bolt, the bomb badge and the fish; the day, night and
// underwater backgrounds with their clouds, islands, trees, sky islands, sun and moon, and
// the sea floor's seaweed and corals; and the water strips, the deep water and the bubbles.

#include "canvas.h"

namespace {

using namespace pictures;

constexpr float Tau = 6.2831853f;

// A repeatable value in [0, 1) for a lattice point.
float hash(int x, int y, int salt)
{
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
                 static_cast<uint32_t>(salt) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return static_cast<float>(h & 0xFFFFFFu) / 16777216.0f;
}

// A soft edge: 1 inside (negative distance), 0 outside, over `width` pixels.
float coverage(float distance, float width = 1.0f)
{
    return std::clamp(0.5f - distance / width, 0.0f, 1.0f);
}

// --- Lightning: three 115 x 32 frames of one bolt, stacked; the bolt runs left to right.

Colour bolt(float x, float y)
{
    const int frame = std::min(static_cast<int>(y / 32.0f), 2);
    const float local_y = y - frame * 32.0f;
    if (x > 115.0f)
        return {};
    // A zigzag through eight points, shifted per frame; both ends at the middle.
    float nearest = INFINITY;
    float previous_x = 0.0f;
    float previous_y = 16.0f;
    for (int i = 1; i <= 8; ++i) {
        const float px = 115.0f * i / 8.0f;
        const float py = i == 8 ? 16.0f : 16.0f + (hash(i, frame, 7) - 0.5f) * 18.0f;
        nearest = std::min(nearest, distance_to_segment(x, local_y, previous_x, previous_y, px, py));
        previous_x = px;
        previous_y = py;
    }
    if (nearest < 1.6f)
        return rgb(255, 255, 255);
    const float glow = std::clamp(1.0f - (nearest - 1.6f) / 6.0f, 0.0f, 1.0f);
    return rgb(120, 200, 255, glow * glow);
}

// --- Bomb: a yellow lightning badge with a dark outline, drawn over its monster.

Colour bomb(float x, float y)
{
    static const std::vector<Point> shape{{36, 6}, {18, 34}, {30, 34}, {24, 58}, {46, 26}, {34, 26}, {42, 6}};
    const bool inside = inside_polygon(shape, x, y);
    const float edge = distance_to_outline(shape, x, y);
    if (inside)
        return edge < 2.0f ? rgb(90, 50, 0) : mix(rgb(255, 250, 160), rgb(255, 190, 20), y / 60.0f);
    return edge < 2.0f ? rgb(90, 50, 0, coverage(edge - 1.5f)) : Colour{};
}

// --- Fish: two 128 x 96 frames side by side, facing left, the mouth low at the front.

Colour fish(float x, float y)
{
    const int frame = x < 128.0f ? 0 : 1;
    const float fx = x - frame * 128.0f;
    // The body leans nose-down toward the mouth at about (31, 75).
    const float angle = 0.45f;
    const float cx = 68.0f;
    const float cy = 56.0f;
    const float u = (fx - cx) * std::cos(angle) - (y - cy) * std::sin(angle);
    const float v = (fx - cx) * std::sin(angle) + (y - cy) * std::cos(angle);
    const float body = std::hypot(u / 44.0f, v / 22.0f) - 1.0f;
    // The tail flaps between frames.
    const float flap = frame == 0 ? -8.0f : 8.0f;
    const std::vector<Point> tail{{104.0f, 38.0f}, {126.0f, 18.0f + flap}, {124.0f, 50.0f + flap}};
    Colour colour{};
    if (inside_polygon(tail, fx, y))
        colour = rgb(230, 110, 40);
    if (body < 0.0f) {
        const float shade = std::clamp((v + 22.0f) / 44.0f, 0.0f, 1.0f);
        colour = mix(rgb(255, 170, 70), rgb(200, 80, 30), shade);
        if (std::fabs(u + 10.0f) < 2.0f && v < 12.0f)
            colour = rgb(170, 60, 20);
        if (std::hypot(fx - 44.0f, y - 52.0f) < 5.5f)
            colour = std::hypot(fx - 43.0f, y - 51.0f) < 3.0f ? rgb(10, 10, 20) : rgb(255, 255, 255);
        if (std::hypot(fx - 31.0f, y - 75.0f) < 4.0f)
            colour = rgb(90, 20, 20);
        if (body > -0.06f)
            colour = rgb(110, 40, 10);
    }
    return colour;
}

// --- Backgrounds: drawn for the wide game screen (1136 wide) and for the 768 rows a 5:4
// desktop shows of the 960-wide view, with a margin on every side, so that a screen's edges
// always fall inside the picture: no edge of it, and none of the
// smoothing across an edge, ever reaches the screen. The 960 x 640 field sits in the
// middle, BackgroundMarginX and BackgroundMarginY in from the corner.

constexpr uint32_t BackgroundWidth = 1152;
constexpr uint32_t BackgroundHeight = 800;
constexpr float BackgroundMarginX = (BackgroundWidth - 960) / 2.0f;
constexpr float BackgroundMarginY = (BackgroundHeight - 640) / 2.0f;

// A background's shader over the whole picture, from one written for the field's own
// 960 x 640 coordinates (which it keeps drawing beyond them).
Shader field_background(Colour (*field)(float, float))
{
    return [field](float x, float y) { return field(x - BackgroundMarginX, y - BackgroundMarginY); };
}

Colour day(float x, float y)
{
    const float t = y / 640.0f;
    Colour colour = mix(rgb(80, 150, 230), rgb(200, 232, 255), t);
    // Far hills along the bottom.
    const float hill = 540.0f + 26.0f * std::sin(x * Tau / 480.0f) + 14.0f * std::sin(x * Tau / 190.0f + 1.0f);
    if (y > hill)
        colour = mix(rgb(120, 180, 120), rgb(80, 140, 90), (y - hill) / 100.0f);
    return colour;
}

Colour night(float x, float y)
{
    Colour colour = mix(rgb(8, 12, 40), rgb(40, 50, 100), y / 640.0f);
    // Stars: one chance per 8 x 8 cell.
    const int cx = static_cast<int>(std::floor(x / 8.0f));
    const int cy = static_cast<int>(std::floor(y / 8.0f));
    if (hash(cx, cy, 3) < 0.05f && y < 500.0f) {
        const float sx = cx * 8.0f + 2.0f + hash(cx, cy, 4) * 4.0f;
        const float sy = cy * 8.0f + 2.0f + hash(cx, cy, 5) * 4.0f;
        const float d = std::hypot(x - sx, y - sy);
        colour = over(rgb(255, 255, 230, coverage(d - 0.8f)), colour);
    }
    const float hill = 550.0f + 22.0f * std::sin(x * Tau / 480.0f) + 12.0f * std::sin(x * Tau / 190.0f + 1.0f);
    if (y > hill)
        colour = rgb(16, 26, 36);
    return colour;
}

Colour underwater(float x, float y)
{
    Colour colour = mix(rgb(40, 150, 180), rgb(8, 40, 80), y / 640.0f);
    // Slanted light rays from the surface.
    const float ray = std::sin((x + y * 0.35f) * Tau / 160.0f) * std::sin((x - y * 0.2f) * Tau / 410.0f);
    if (ray > 0.55f)
        colour = mix(colour, rgb(150, 220, 230), (ray - 0.55f) * (1.0f - y / 640.0f));
    // Sand and weeds at the bottom.
    const float sand = 600.0f + 10.0f * std::sin(x * Tau / 300.0f);
    if (y > sand)
        colour = mix(rgb(190, 170, 110), rgb(140, 120, 80), (y - sand) / 40.0f);
    return colour;
}

// --- Clouds: 160 x 80, puffs of white.

Colour cloud(float x, float y, int variant)
{
    float d = INFINITY;
    for (int i = 0; i < 5; ++i) {
        const float px = 30.0f + i * 25.0f + (hash(i, variant, 11) - 0.5f) * 10.0f;
        const float py = 48.0f - (i == 1 || i == 3 ? 14.0f : 4.0f) * (0.6f + hash(i, variant, 12));
        const float r = 18.0f + hash(i, variant, 13) * 10.0f;
        d = std::min(d, std::hypot(x - px, y - py) - r);
    }
    d = std::max(d, y - 66.0f);
    const float a = coverage(d, 2.0f);
    return a > 0.0f ? rgb(255, 255, 255, a * 0.92f) : Colour{};
}

// --- Islands: 220 x 110, grass on an earth mound rising from the water or the land. Its
// foot sinks away: the earth thins out into nothing along a curve that rises toward the
// sides, so on land it melts into the hills behind it instead of stopping at a straight
// edge, and in water the waves cover what is left.

Colour island(float x, float y, int variant)
{
    const float width = 90.0f + variant * 8.0f;
    const float top = 30.0f + 12.0f * std::sin(x * Tau / (150.0f + variant * 30.0f) + variant);
    const float dx = (x - 110.0f) / width;
    if (std::fabs(dx) > 1.0f)
        return {};
    const float surface = top + 40.0f * dx * dx;
    if (y < surface)
        return {};
    // The foot: fully there down to `solid`, gone by `gone`, both rising toward the sides.
    const float gone = 106.0f - 26.0f * dx * dx;
    const float solid = gone - 30.0f;
    const float fade = std::clamp((gone - y) / (gone - solid), 0.0f, 1.0f);
    Colour colour = y < surface + 8.0f ? rgb(90, 180, 70)
                                       : mix(rgb(150, 110, 60), rgb(100, 70, 40), (y - surface) / 80.0f);
    colour.a *= fade * fade * (3.0f - 2.0f * fade);
    return colour;
}

// --- Trees: 90 x 150, a trunk under a round crown.

Colour tree(float x, float y, int variant)
{
    Colour colour{};
    if (std::fabs(x - 45.0f) < 6.0f && y > 70.0f)
        colour = rgb(110, 70, 35);
    float d = std::hypot(x - 45.0f, y - 55.0f) - 38.0f;
    for (int i = 0; i < variant; ++i)
        d = std::min(d, std::hypot(x - 45.0f - (i - 1) * 18.0f, y - 30.0f) - 22.0f);
    if (d < 0.0f) {
        const float light = std::hypot(x - 35.0f, y - 35.0f) / 60.0f;
        colour = mix(rgb(100, 190, 80), rgb(30, 110, 40), light);
        if (d > -2.0f)
            colour = rgb(25, 80, 30);
    }
    return colour;
}

// --- Sky islands: 160 x 120, a floating rock with grass on top.

Colour sky_island(float x, float y, int variant)
{
    const float dx = (x - 80.0f) / 70.0f;
    if (std::fabs(dx) > 1.0f || y < 30.0f)
        return {};
    const float bottom = 40.0f + (70.0f + variant * 6.0f) * (1.0f - dx * dx);
    if (y > bottom)
        return {};
    if (y < 40.0f)
        return rgb(100, 190, 80);
    return mix(rgb(170, 150, 130), rgb(110, 95, 85), (y - 40.0f) / 70.0f);
}

// --- Seaweed: 80 x 160, a tuft of blades swaying up from the sand, rooted at the bottom
// middle. The variant sets how many blades grow and how far they sway.

Colour seaweed(float x, float y, int variant)
{
    Colour colour{};
    const int blades = 2 + variant;
    for (int i = 0; i < blades; ++i) {
        const float root = 40.0f + (static_cast<float>(i) - (blades - 1) * 0.5f) * 9.0f;
        const float height = 90.0f + 60.0f * hash(i, variant, 31);
        const float rise = (160.0f - y) / height; // 0 at the root, 1 at the tip
        if (rise < 0.0f || rise > 1.0f)
            continue;
        const float sway = (6.0f + 4.0f * variant) * std::sin(rise * 3.2f + hash(i, variant, 32) * Tau);
        const float centre = root + sway * rise + (root - 40.0f) * rise * 0.8f;
        const float half = 5.5f * (1.0f - rise * rise) + 0.5f;
        const float a = coverage(std::fabs(x - centre) - half);
        if (a > 0.0f) {
            Colour blade = mix(rgb(60, 150, 80), rgb(30, 90, 60), 1.0f - rise);
            if (std::fabs(x - centre) < 1.0f)
                blade = mix(blade, rgb(120, 200, 110), 0.5f);
            blade.a = a;
            colour = over(blade, colour);
        }
    }
    return colour;
}

// --- Corals: 140 x 100, a branching fan standing on the sand, rooted at the bottom middle.
// The variant picks the colour and how the branches spread.

Colour coral(float x, float y, int variant)
{
    static const Colour tips[] = {rgb(255, 140, 120), rgb(250, 190, 90), rgb(210, 120, 200)};
    static const Colour bases[] = {rgb(200, 80, 80), rgb(210, 130, 50), rgb(150, 70, 160)};
    float nearest = INFINITY;
    float along = 0.0f;
    // Branches from the root, each splitting once near its middle.
    const int branches = 4 + variant;
    for (int i = 0; i < branches; ++i) {
        const float spread = (static_cast<float>(i) / (branches - 1) - 0.5f) * 2.2f;
        const float length = 48.0f + 30.0f * hash(i, variant, 41);
        const float ex = 70.0f + std::sin(spread) * length;
        const float ey = 96.0f - std::cos(spread) * length;
        const float mx = (70.0f + ex) * 0.5f;
        const float my = (96.0f + ey) * 0.5f;
        const float twig = (hash(i, variant, 42) - 0.5f) * 40.0f;
        const float parts[][4] = {{70.0f, 96.0f, mx, my}, {mx, my, ex, ey}, {mx, my, ex + twig, ey + 14.0f}};
        for (const auto& part : parts) {
            const float d = distance_to_segment(x, y, part[0], part[1], part[2], part[3]);
            if (d < nearest) {
                nearest = d;
                along = (96.0f - y) / 90.0f;
            }
        }
    }
    const float thickness = 5.0f - 3.0f * std::clamp(along, 0.0f, 1.0f);
    const float a = coverage(nearest - thickness);
    if (a <= 0.0f)
        return {};
    Colour colour = mix(bases[variant - 1], tips[variant - 1], along);
    colour.a = a;
    return colour;
}

Colour sun(float x, float y)
{
    const float d = std::hypot(x - 64.0f, y - 64.0f);
    if (d < 36.0f)
        return mix(rgb(255, 250, 200), rgb(255, 220, 80), d / 36.0f);
    return rgb(255, 230, 120, std::clamp(1.0f - (d - 36.0f) / 26.0f, 0.0f, 1.0f) * 0.5f);
}

Colour moon(float x, float y)
{
    const float d = std::hypot(x - 48.0f, y - 48.0f) - 36.0f;
    const float bite = std::hypot(x - 64.0f, y - 38.0f) - 30.0f;
    const float shape = std::max(d, -bite);
    const float a = coverage(shape, 1.5f);
    return a > 0.0f ? rgb(245, 245, 220, a) : Colour{};
}

// --- Water: 256 x 96 strips whose crest repeats across the width, so they tile.

Colour water(float x, float y, int variant)
{
    const float k = static_cast<float>(variant + 1);
    const float crest = 22.0f + 7.0f * std::sin(x * Tau * k / 256.0f) + 3.0f * std::sin(x * Tau * 2.0f / 256.0f + k);
    if (y < crest - 1.0f)
        return {};
    static const Colour tops[] = {rgb(90, 170, 230), rgb(70, 140, 210), rgb(50, 110, 190)};
    static const Colour depths[] = {rgb(30, 90, 170), rgb(25, 75, 150), rgb(20, 60, 130)};
    const float alphas[] = {0.75f, 0.8f, 0.85f};
    Colour colour = mix(tops[variant], depths[variant], (y - crest) / 70.0f);
    if (y < crest + 3.0f)
        colour = mix(rgb(230, 245, 255), colour, (y - crest + 1.0f) / 4.0f);
    colour.a = alphas[variant] * coverage(crest - y);
    return colour;
}

Colour deep_water(float, float)
{
    return rgb(20, 60, 130, 0.85f);
}

// 128 x 64: a few rising bubbles.
Colour bubbles(float x, float y)
{
    Colour colour{};
    for (int i = 0; i < 9; ++i) {
        const float px = 8.0f + hash(i, 0, 21) * 112.0f;
        const float py = 8.0f + hash(i, 0, 22) * 48.0f;
        const float r = 2.0f + hash(i, 0, 23) * 5.0f;
        const float d = std::fabs(std::hypot(x - px, y - py) - r);
        colour = over(rgb(220, 240, 255, coverage(d - 0.7f) * 0.8f), colour);
    }
    return colour;
}

} // namespace

QUILLO_PICTURES(field_pictures)
{
    add("shapes/lightning.png", 128, 96, bolt);
    add("shapes/bomb.png", 64, 64, bomb);
    add("shapes/fish.png", 256, 96, fish);
    add("decorations/main_bg.png", BackgroundWidth, BackgroundHeight, field_background(day));
    add("decorations/main_bg_night.png", BackgroundWidth, BackgroundHeight, field_background(night));
    add("decorations/main_bg_underwater.png", BackgroundWidth, BackgroundHeight, field_background(underwater));
    for (int i = 1; i <= 4; ++i)
        add("decorations/cloud" + std::to_string(i) + ".png", 160, 80, [i](float x, float y) { return cloud(x, y, i); });
    for (int i = 1; i <= 3; ++i) {
        add("decorations/island" + std::to_string(i) + ".png", 220, 110,
            [i](float x, float y) { return island(x, y, i); });
        add("decorations/tree" + std::to_string(i) + ".png", 90, 150, [i](float x, float y) { return tree(x, y, i); });
        add("decorations/water" + std::to_string(i) + ".png", 256, 96,
            [i](float x, float y) { return water(x, y, i - 1); });
    }
    for (int i = 1; i <= 3; ++i) {
        add("decorations/seaweed" + std::to_string(i) + ".png", 80, 160,
            [i](float x, float y) { return seaweed(x, y, i); });
        add("decorations/coral" + std::to_string(i) + ".png", 140, 100, [i](float x, float y) { return coral(x, y, i); });
    }
    for (int i = 1; i <= 2; ++i)
        add("decorations/sky_island" + std::to_string(i) + ".png", 160, 120,
            [i](float x, float y) { return sky_island(x, y, i); });
    add("decorations/sun.png", 128, 128, sun);
    add("decorations/moon.png", 96, 96, moon);
    add("decorations/water_deep.png", 8, 8, deep_water);
    add("decorations/bubbles.png", 128, 64, bubbles);
}
