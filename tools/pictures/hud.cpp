// The level HUD's pictures: the mana bar's atlas, the monsters bar with its slot, the
// level-end window with its buttons, and the spark of the monsters' trail.

#include "canvas.h"

namespace {

using namespace pictures;

const Colour outline = rgb(20, 28, 52);

// A rounded bar with a dark rim, filled top-to-bottom from light to dark.
Colour bar(float x, float y, float left, float top, float right, float bottom, const Colour& light, const Colour& dark)
{
    const float d = rounded_rectangle(x, y, left, top, right, bottom, (bottom - top) * 0.5f);
    if (d > 0.0f)
        return {};
    if (d > -1.5f)
        return outline;
    return mix(light, dark, (y - top) / (bottom - top));
}

// The bottle icon: a round flask with a neck and a cork, full of blue mana.
Colour bottle(float x, float y)
{
    const float body = std::hypot(x - 14.0f, y - 24.0f) - 11.0f;
    const float neck = rounded_rectangle(x, y, 10.0f, 5.0f, 18.0f, 16.0f, 2.0f);
    const float d = std::min(body, neck);
    if (d > 0.0f)
        return {};
    if (d > -1.5f)
        return outline;
    if (y < 9.0f)
        return rgb(150, 100, 60);
    return y > 18.0f ? mix(rgb(110, 190, 255), rgb(30, 80, 200), (y - 18.0f) / 17.0f) : rgb(220, 235, 245, 0.8f);
}

// 256 x 64: the frame (0, 0, 200, 36), the fills (0, 40) and (0, 52), each 192 x 12, the
// bottle (204, 0, 28, 36) and the points plate (200, 40, 25, 24); see data/game/mana.atlas.
Colour mana(float x, float y)
{
    if (y < 36.0f && x < 200.0f) {
        const float d = rounded_rectangle(x, y, 0.5f, 0.5f, 199.5f, 35.5f, 17.0f);
        if (d > 0.0f)
            return {};
        if (d > -2.5f)
            return outline;
        return mix(rgb(60, 70, 110, 0.85f), rgb(20, 24, 48, 0.85f), y / 36.0f);
    }
    if (y >= 40.0f && y < 52.0f && x < 192.0f)
        return bar(x, y, 0.5f, 40.5f, 191.5f, 51.5f, rgb(130, 210, 255), rgb(30, 90, 220));
    if (y >= 52.0f && x < 192.0f)
        return bar(x, y, 0.5f, 52.5f, 191.5f, 63.5f, rgb(255, 150, 130), rgb(200, 30, 30));
    if (x >= 204.0f && x < 232.0f && y < 36.0f)
        return bottle(x - 204.0f, y);
    if (x >= 200.0f && x < 225.0f && y >= 40.0f) {
        // Stretched sideways to fit the points: no rounded corners to distort.
        if (y < 41.5f || y > 62.5f)
            return outline;
        return mix(rgb(90, 70, 150, 0.9f), rgb(50, 36, 100, 0.9f), (y - 40.0f) / 24.0f);
    }
    return {};
}

// 420 x 80: a soft, translucent ribbon behind the slots' curve.
Colour monsters_bar(float x, float y)
{
    const float d = rounded_rectangle(x, y, 8.0f, 6.0f, 412.0f, 74.0f, 30.0f);
    if (d > 0.0f)
        return {};
    if (d > -2.0f)
        return rgb(20, 28, 52, 0.8f);
    return mix(rgb(70, 90, 140, 0.55f), rgb(30, 40, 80, 0.55f), y / 80.0f);
}

// 40 x 40: a slot, a ring around a clear middle where a collected monster shows.
Colour slot(float x, float y)
{
    const float r = std::hypot(x - 20.0f, y - 20.0f);
    if (r > 18.0f)
        return {};
    if (r > 15.0f)
        return rgb(230, 220, 160);
    if (r > 13.0f)
        return rgb(20, 28, 52, 0.5f);
    return {};
}

// 480 x 360: the level-end window's panel.
Colour window(float x, float y)
{
    const float d = rounded_rectangle(x, y, 2.0f, 2.0f, 478.0f, 358.0f, 28.0f);
    if (d > 0.0f)
        return {};
    if (d > -4.0f)
        return outline;
    Colour colour = mix(rgb(70, 110, 190, 0.95f), rgb(30, 50, 110, 0.95f), y / 360.0f);
    // A lighter band behind the title.
    if (y > 20.0f && y < 76.0f)
        colour = over(rgb(255, 255, 255, 0.12f), colour);
    return colour;
}

// One 64 x 64 button face: a round button with a white symbol.
Colour button_face(float x, float y, int kind)
{
    const float r = std::hypot(x - 32.0f, y - 32.0f);
    if (r > 29.0f)
        return {};
    if (r > 26.0f)
        return outline;
    bool symbol = false;
    switch (kind) {
    case 0: // back: an arrow to the left
        symbol = inside_polygon({{16.0f, 32.0f}, {30.0f, 19.0f}, {30.0f, 27.0f}, {46.0f, 27.0f}, {46.0f, 37.0f},
                                 {30.0f, 37.0f}, {30.0f, 45.0f}},
                                x, y);
        break;
    case 1: // store: a basket
        symbol = inside_polygon({{17.0f, 27.0f}, {47.0f, 27.0f}, {43.0f, 45.0f}, {21.0f, 45.0f}}, x, y) ||
                 (distance_to_segment(x, y, 24.0f, 27.0f, 32.0f, 16.0f) < 2.0f) ||
                 (distance_to_segment(x, y, 40.0f, 27.0f, 32.0f, 16.0f) < 2.0f);
        break;
    case 2: // continue: a triangle to the right
        symbol = inside_polygon({{24.0f, 18.0f}, {24.0f, 46.0f}, {46.0f, 32.0f}}, x, y);
        break;
    default: // restart: a ring with a head
        symbol = (std::abs(r - 12.0f) < 3.0f && !(x > 32.0f && y < 32.0f)) ||
                 inside_polygon({{32.0f, 14.0f}, {40.0f, 20.0f}, {32.0f, 26.0f}}, x, y);
        break;
    }
    if (symbol)
        return rgb(250, 250, 250);
    static const Colour fills[] = {rgb(206, 78, 62), rgb(236, 170, 40), rgb(64, 176, 88), rgb(70, 130, 210)};
    return mix(fills[kind], rgb(0, 0, 0), (y - 3.0f) / 140.0f);
}

Colour buttons(float x, float y)
{
    const int kind = std::min(3, static_cast<int>(x / 64.0f));
    return button_face(x - 64.0f * static_cast<float>(kind), y, kind);
}

// 16 x 16: a soft white dot; the particle system tints it.
Colour trail_spark(float x, float y)
{
    const float r = std::hypot(x - 8.0f, y - 8.0f) / 8.0f;
    return rgb(255, 255, 255, std::clamp(1.0f - r, 0.0f, 1.0f));
}

} // namespace

QUILLO_PICTURES(hud_pictures)
{
    add("game/mana.png", 256, 64, mana);
    add("game/monsters_bar.png", 420, 80, monsters_bar);
    add("game/slot.png", 40, 40, slot);
    add("game/window.png", 480, 360, window);
    add("game/buttons.png", 256, 64, buttons);
    add("game/trail_spark.png", 16, 16, trail_spark);
}
