// The menu screens' pictures: the main menu's buttons, panels, slider parts and the logo's
// eye, the profile slots, the store's six offers, the level map's buttons and dots, and the
// credits' picture.

#include <cmath>
#include <string>

#include "canvas.h"

namespace {

using namespace pictures;

// A rounded plate with a darker rim, shaded top to bottom.
Colour plate(float x, float y, float width, float height, const Colour& fill, float radius)
{
    const float d = rounded_rectangle(x, y, 1.0f, 1.0f, width - 1.0f, height - 1.0f, radius);
    if (d > 0.0f)
        return {};
    if (d > -3.0f)
        return rgb(30, 34, 48);
    return mix(mix(fill, rgb(255, 255, 255), 0.25f), fill, y / height);
}

// A 48 x 48 round button; the mark is a small light ring or bar by kind.
Colour round(float x, float y, const Colour& fill, int mark)
{
    const float cx = x - 24.0f;
    const float cy = y - 24.0f;
    const float d = std::hypot(cx, cy);
    if (d > 22.0f)
        return {};
    if (d > 19.5f)
        return rgb(24, 28, 36);
    bool on = false;
    switch (mark % 4) {
    case 0:
        on = d > 7.0f && d < 11.0f;
        break;
    case 1:
        on = std::abs(cx) < 10.0f && std::abs(cy) < 3.0f;
        break;
    case 2:
        on = inside_polygon({{18.0f, 14.0f}, {18.0f, 34.0f}, {33.0f, 24.0f}}, x, y);
        break;
    case 3:
        on = distance_to_segment(x, y, 16.0f, 16.0f, 32.0f, 32.0f) < 3.0f ||
             distance_to_segment(x, y, 32.0f, 16.0f, 16.0f, 32.0f) < 3.0f;
        break;
    }
    if (on)
        return rgb(250, 250, 250);
    return mix(fill, rgb(0, 0, 0), (y - 4.0f) / 90.0f);
}

// Sixteen round buttons in a row (see buttons.atlas), then two wide bars.
const Colour kFills[] = {rgb(64, 176, 88),  rgb(206, 78, 62),  rgb(90, 110, 220), rgb(230, 160, 40),
                         rgb(150, 90, 190), rgb(60, 160, 200), rgb(200, 90, 140), rgb(120, 130, 140),
                         rgb(64, 176, 88),  rgb(206, 78, 62),  rgb(90, 110, 220), rgb(230, 160, 40),
                         rgb(150, 90, 190), rgb(60, 160, 200), rgb(200, 90, 140), rgb(110, 110, 110)};

Colour buttons(float x, float y)
{
    if (y < 48.0f) {
        const int frame = std::min(static_cast<int>(x / 48.0f), 15);
        return round(x - 48.0f * static_cast<float>(frame), y, kFills[frame], frame);
    }
    // Two 192 x 64 bars below: play (green) and Zen (blue), and a grey Zen that is shut.
    const float by = y - 48.0f;
    const int bar = std::min(static_cast<int>(x / 192.0f), 3);
    const Colour fills[] = {rgb(64, 176, 88), rgb(70, 110, 210), rgb(120, 120, 130), rgb(120, 120, 130)};
    return plate(x - 192.0f * static_cast<float>(bar), by, 192.0f, 64.0f, fills[bar], 20.0f);
}

Colour eye(float x, float y)
{
    // Two 64 x 64 frames: open and half shut.
    const int frame = x < 64.0f ? 0 : 1;
    const float cx = x - (frame == 0 ? 32.0f : 96.0f);
    const float cy = y - 32.0f;
    const float lid = frame == 0 ? 1.0f : 0.4f;
    const float e = (cx * cx) / (28.0f * 28.0f) + (cy * cy) / (20.0f * 20.0f * lid * lid);
    if (e > 1.0f)
        return {};
    if (e > 0.8f)
        return rgb(30, 30, 40);
    const float pupil = std::hypot(cx, cy);
    if (pupil < 7.0f * lid)
        return rgb(20, 20, 30);
    if (pupil < 12.0f * lid)
        return rgb(60, 140, 90);
    return rgb(250, 250, 245);
}

Colour slot(float x, float y, bool selected)
{
    return plate(x, y, 240.0f, 44.0f, selected ? rgb(90, 130, 210) : rgb(240, 200, 80), 12.0f);
}

Colour purchase(float x, float y, int k)
{
    const Colour fills[] = {rgb(60, 110, 220), rgb(230, 170, 40), rgb(80, 180, 200),
                            rgb(200, 80, 80),  rgb(140, 90, 190), rgb(60, 170, 90)};
    const float d = std::hypot(x - 48.0f, y - 48.0f);
    if (d > 44.0f)
        return {};
    if (d > 40.0f)
        return rgb(30, 34, 48);
    const float ring = 12.0f + 4.0f * static_cast<float>(k);
    if (std::abs(d - ring) < 3.0f)
        return rgb(250, 250, 250);
    return mix(fills[k], rgb(0, 0, 0), y / 180.0f);
}

// The level map: locked plate, open plate, three type marks, a chain, a dot, the active dot.
Colour level_parts(float x, float y)
{
    const int frame = std::min(static_cast<int>(x / 96.0f), 7);
    const float fx = x - 96.0f * static_cast<float>(frame);
    switch (frame) {
    case 0:
        return plate(fx, y, 96.0f, 96.0f, rgb(120, 120, 130), 16.0f);
    case 1:
        return plate(fx, y, 96.0f, 96.0f, rgb(240, 200, 80), 16.0f);
    case 2:
    case 3:
    case 4: {
        const Colour marks[] = {rgb(250, 210, 60), rgb(60, 70, 150), rgb(40, 140, 200)};
        const float d = std::hypot(fx - 48.0f, y - 78.0f);
        return d < 10.0f ? marks[frame - 2] : Colour{};
    }
    case 5: {
        const float d1 = std::hypot(fx - 40.0f, y - 48.0f);
        const float d2 = std::hypot(fx - 56.0f, y - 48.0f);
        return (std::abs(d1 - 12.0f) < 3.0f || std::abs(d2 - 12.0f) < 3.0f) ? rgb(90, 90, 100) : Colour{};
    }
    case 6:
        return std::hypot(fx - 48.0f, y - 48.0f) < 9.0f ? rgb(255, 255, 255, 0.7f) : Colour{};
    default:
        return std::hypot(fx - 48.0f, y - 48.0f) < 12.0f ? rgb(250, 200, 60) : Colour{};
    }
}

Colour credits_picture(float x, float y)
{
    const float d = std::hypot(x - 64.0f, y - 64.0f);
    if (d > 60.0f)
        return {};
    return mix(rgb(250, 210, 80), rgb(220, 110, 50), d / 60.0f);
}

} // namespace

QUILLO_PICTURES(menus_pictures)
{
    add("mainmenu/buttons.png", 768, 112, buttons);
    add("mainmenu/logo_eye.png", 128, 64, eye);
    add("mainmenu/panel.png", 360, 300, [](float x, float y) { return plate(x, y, 360.0f, 300.0f, rgb(70, 60, 110), 20.0f); });
    add("mainmenu/rollout.png", 64, 240, [](float x, float y) { return plate(x, y, 64.0f, 240.0f, rgb(40, 50, 80), 16.0f); });
    add("mainmenu/track.png", 220, 12, [](float x, float y) { return plate(x, y, 220.0f, 12.0f, rgb(30, 30, 40), 5.0f); });
    add("mainmenu/head.png", 28, 28, [](float x, float y) {
        return std::hypot(x - 14.0f, y - 14.0f) < 12.0f ? rgb(240, 200, 80) : Colour{};
    });
    add("mainmenu/logo.png", 420, 110, [](float x, float y) { return plate(x, y, 420.0f, 110.0f, rgb(60, 150, 90), 30.0f); });
    add("profilemenu/button_profile_select.png", 240, 44, [](float x, float y) { return slot(x, y, false); });
    add("profilemenu/button_profile_unselect.png", 240, 44, [](float x, float y) { return slot(x, y, true); });
    for (int k = 1; k <= 6; ++k)
        add("store/purchase" + std::to_string(k) + ".png", 96, 96, [k](float x, float y) { return purchase(x, y, k - 1); });
    add("store/panel.png", 260, 160, [](float x, float y) { return plate(x, y, 260.0f, 160.0f, rgb(70, 60, 110), 18.0f); });
    add("levelselect/parts.png", 768, 96, level_parts);
    add("credits/picture.png", 128, 128, credits_picture);
}
