// The in-level screen's own pictures: the pause and bottle buttons, the pause menu's
// buttons, the dimming layer, the pause panel and the yes/no dialog.

#include <cmath>

#include "canvas.h"

namespace {

using namespace pictures;

enum Symbol { PauseBars, Play, Bag, Map, Circle, House, Tick, No };

bool symbol_at(Symbol symbol, float x, float y)
{
    const float cx = x - 24.0f;
    const float cy = y - 24.0f;
    switch (symbol) {
    case PauseBars:
        return y >= 14.0f && y <= 34.0f && ((x >= 15.0f && x <= 21.0f) || (x >= 27.0f && x <= 33.0f));
    case Play:
        return inside_polygon({{18.0f, 13.0f}, {18.0f, 35.0f}, {35.0f, 24.0f}}, x, y);
    case Bag: // the store
        return inside_polygon({{15.0f, 20.0f}, {33.0f, 20.0f}, {35.0f, 35.0f}, {13.0f, 35.0f}}, x, y) ||
               (std::abs(std::hypot(cx, y - 20.0f) - 5.5f) < 1.5f && y < 20.0f);
    case Map: { // the level map: two rows of three tiles
        const float column = std::abs(cx) < 4.0f ? cx : std::abs(cx) - 8.0f;
        const float row = std::abs(cy) - 5.0f;
        return std::abs(column) < 3.0f && std::abs(row) < 3.5f;
    }
    case No:
        return distance_to_segment(x, y, 15.0f, 15.0f, 33.0f, 33.0f) <= 3.5f ||
               distance_to_segment(x, y, 33.0f, 15.0f, 15.0f, 33.0f) <= 3.5f;
    case Circle: {
        const float d = std::hypot(cx, cy);
        return d >= 8.0f && d <= 13.0f && !(cx > 0.0f && cy < 0.0f && cx > -cy * 0.2f);
    }
    case House:
        return inside_polygon({{12.0f, 25.0f}, {24.0f, 13.0f}, {36.0f, 25.0f}}, x, y) ||
               (x >= 16.0f && x <= 32.0f && y >= 25.0f && y <= 35.0f);
    case Tick:
        return distance_to_segment(x, y, 14.0f, 25.0f, 21.0f, 32.0f) <= 3.5f ||
               distance_to_segment(x, y, 21.0f, 32.0f, 35.0f, 16.0f) <= 3.5f;
    }
    return false;
}

// One 48 x 48 round button with a white symbol.
Colour round_button(float x, float y, const Colour& fill, Symbol symbol)
{
    const float d = std::hypot(x - 24.0f, y - 24.0f);
    if (d > 22.0f)
        return {};
    if (d > 19.5f)
        return rgb(24, 28, 36);
    if (symbol_at(symbol, x, y))
        return rgb(250, 250, 250);
    return mix(fill, rgb(0, 0, 0), (y - 4.0f) / 90.0f);
}

// Eight frames in a row: pause, resume, store, exit, restart, menu, yes, no.
Colour buttons(float x, float y)
{
    static const Colour fills[] = {rgb(80, 120, 200), rgb(64, 176, 88),  rgb(90, 110, 220), rgb(206, 78, 62),
                                   rgb(230, 160, 40), rgb(150, 90, 190), rgb(64, 176, 88),  rgb(206, 78, 62)};
    static const Symbol symbols[] = {PauseBars, Play, Bag, Map, Circle, House, Tick, No};
    const int frame = std::min(static_cast<int>(x / 48.0f), 7);
    return round_button(x - 48.0f * static_cast<float>(frame), y, fills[frame], symbols[frame]);
}

// Stretched over the field while paused.
Colour dim(float, float)
{
    return rgb(8, 12, 24, 0.55f);
}

// A rounded panel with a lighter rim.
Colour panel(float x, float y, float width, float height)
{
    const float d = rounded_rectangle(x, y, 2.0f, 2.0f, width - 2.0f, height - 2.0f, 18.0f);
    if (d > 0.0f)
        return {};
    if (d > -4.0f)
        return rgb(240, 226, 180);
    return mix(rgb(70, 60, 110), rgb(40, 34, 70), y / height);
}

} // namespace

QUILLO_PICTURES(level_pictures)
{
    add("level/buttons.png", 384, 48, buttons);
    add("level/dim.png", 16, 16, dim);
    add("level/options_panel.png", 240, 400, [](float x, float y) { return panel(x, y, 240.0f, 400.0f); });
    add("level/dialog.png", 360, 160, [](float x, float y) { return panel(x, y, 360.0f, 160.0f); });
}
