// The playing field's shapes: the monsters of five colours in their plain and starred
// styles, the ice cube and soap bubble overlays, the mana bottle, the obstacles (rock,
// block, twelve stones) and the links between shapes. The frame layouts match the atlas
// files in data/monsters/ and data/shapes/.

#include "canvas.h"

namespace {

using namespace pictures;

struct MonsterColour {
    const char* word;
    Colour body;
};

const MonsterColour monster_colours[] = {
    {"red", rgb(222, 62, 58)},    {"yellow", rgb(242, 200, 48)}, {"blue", rgb(58, 124, 232)},
    {"purple", rgb(152, 82, 204)}, {"orange", rgb(246, 142, 38)},
};

// The rows of the shared plain atlas, in the order of its name.
const int shared_rows[] = {2, 3, 0, 1}; // blue, purple, red, yellow

Colour darker(const Colour& colour, float amount)
{
    return mix(colour, rgb(0, 0, 0, colour.a), amount);
}

Colour lighter(const Colour& colour, float amount)
{
    return mix(colour, rgb(255, 255, 255, colour.a), amount);
}

// A five-pointed star around (cx, cy).
bool inside_star(float x, float y, float cx, float cy, float outer, float inner)
{
    std::vector<Point> points;
    for (int i = 0; i < 10; ++i) {
        const float angle = -1.5707963f + i * 0.62831853f;
        const float r = i % 2 == 0 ? outer : inner;
        points.push_back({cx + r * std::cos(angle), cy + r * std::sin(angle)});
    }
    return inside_polygon(points, x, y);
}

// One monster frame of side `side`, its top-left corner at the origin. Frame 0 rests,
// 1 squashes and looks left, 2 closes its eyes and opens its mouth, 3 stretches and looks
// right; the starred style wears a golden star.
Colour monster(float x, float y, float side, const Colour& body, int frame, bool starred)
{
    const float c = side * 0.5f;
    const float radius = side * 0.45f;
    const float squash[] = {1.0f, 0.92f, 1.0f, 1.06f};
    const float sy = squash[frame];
    const float sx = 1.0f / sy;
    // Squashed frames keep their feet on the frame's lower edge.
    const float base = c + radius;
    const float dx = (x - c) / sx;
    const float dy = (y - base) / sy + radius;
    const float d = std::hypot(dx, dy);
    if (d > radius)
        return {};
    const float outline = 2.5f;
    if (d > radius - outline)
        return darker(body, 0.65f);
    const float light = std::hypot(dx + radius * 0.3f, dy + radius * 0.35f) / (radius * 1.7f);
    Colour colour = mix(lighter(body, 0.35f), darker(body, 0.3f), light);

    // Eyes, relative to the body's centre.
    const float look[] = {0.0f, -2.0f, 0.0f, 2.0f};
    for (const float side_sign : {-1.0f, 1.0f}) {
        const float ex = side_sign * radius * 0.36f;
        const float ey = -radius * 0.18f;
        const float eye = std::hypot(dx - ex, dy - ey);
        const float eye_radius = radius * 0.22f;
        if (frame == 2) {
            // Closed: a dark arc.
            if (eye < eye_radius && eye > eye_radius - 2.0f && dy > ey)
                return rgb(30, 20, 20);
            continue;
        }
        if (eye < eye_radius) {
            if (eye > eye_radius - 1.5f)
                return rgb(30, 20, 20);
            const float pupil = std::hypot(dx - ex - look[frame], dy - ey - 1.0f);
            if (pupil < eye_radius * 0.45f)
                return rgb(20, 16, 24);
            return rgb(250, 250, 250);
        }
    }
    // The mouth: a smile, open in frame 2.
    const float mouth = std::hypot(dx, dy - radius * 0.05f);
    if (dy > radius * 0.2f && mouth < radius * 0.55f) {
        if (frame == 2 && mouth < radius * 0.5f && dy < radius * 0.48f)
            return rgb(110, 24, 30);
        if (mouth > radius * 0.5f)
            return rgb(40, 20, 20);
    }
    if (starred && inside_star(dx, dy, 0.0f, -radius * 0.62f, radius * 0.28f, radius * 0.12f))
        return rgb(255, 222, 60);
    return colour;
}

// The shared plain atlas: blue, purple, red and yellow rows of four 72 x 72 frames.
Colour normal_bpry(float x, float y)
{
    const int column = static_cast<int>(x / 72.0f);
    const int row = static_cast<int>(y / 72.0f);
    return monster(x - column * 72.0f, y - row * 72.0f, 72.0f, monster_colours[shared_rows[row]].body, column,
                   false);
}

Colour normal_orange(float x, float y)
{
    const int column = static_cast<int>(x / 72.0f);
    return monster(x - column * 72.0f, y, 72.0f, monster_colours[4].body, column, false);
}

Shader starred_atlas(const Colour& body)
{
    return [body](float x, float y) {
        const int column = static_cast<int>(x / 80.0f);
        return monster(x - column * 80.0f, y, 80.0f, body, column, true);
    };
}

// A translucent cube of ice, a little larger than a monster.
Colour ice_cube(float x, float y)
{
    const float d = rounded_rectangle(x, y, 2.0f, 2.0f, 86.0f, 86.0f, 14.0f);
    if (d > 0.0f)
        return {};
    if (d > -2.5f)
        return rgb(220, 246, 255, 0.95f);
    // A glint along the upper left edge.
    if (d > -9.0f && x + y < 70.0f)
        return rgb(245, 252, 255, 0.45f);
    return mix(rgb(170, 220, 250, 0.12f), rgb(110, 170, 230, 0.25f), (x + y) / 176.0f);
}

// A soap bubble: a thin iridescent ring, clear inside, with a highlight.
Colour bubble(float x, float y)
{
    const float d = std::hypot(x - 48.0f, y - 48.0f);
    if (d > 46.0f)
        return {};
    const float glint = std::hypot(x - 32.0f, y - 30.0f);
    if (glint < 7.0f)
        return rgb(255, 255, 255, 0.85f);
    const float ring = std::clamp((d - 36.0f) / 10.0f, 0.0f, 1.0f);
    const Colour tint = mix(rgb(150, 210, 255), rgb(230, 150, 240), (x - y + 96.0f) / 192.0f);
    return Colour{tint.r, tint.g, tint.b, 0.08f + 0.6f * ring * ring};
}

// A small mana bottle, carried low on the monster's belly: a round flask of blue liquid
// with a cork, in the lower part of a picture as large as the monster.
Colour bottle(float x, float y)
{
    x -= 24.0f;
    y -= 38.0f;
    const float cork = rounded_rectangle(x, y, 9.0f, 1.0f, 15.0f, 7.0f, 1.5f);
    if (cork < 0.0f)
        return cork > -1.2f ? rgb(90, 56, 30) : rgb(176, 124, 74);
    const float neck = rounded_rectangle(x, y, 9.5f, 6.0f, 14.5f, 15.0f, 1.0f);
    const float flask = std::hypot(x - 12.0f, y - 23.0f) - 10.5f;
    const float glass = std::min(neck, flask);
    if (glass > 0.0f)
        return {};
    if (glass > -1.5f)
        return rgb(30, 50, 90);
    if (y > 18.0f)
        return mix(rgb(90, 190, 255), rgb(30, 90, 210), (y - 18.0f) / 16.0f);
    return rgb(210, 236, 250, 0.55f);
}

// A lumpy grey rock.
Colour rock(float x, float y)
{
    const float angle = std::atan2(y - 38.0f, x - 38.0f);
    const float edge = 34.0f + 2.5f * std::sin(angle * 5.0f) + 1.5f * std::cos(angle * 3.0f);
    const float d = std::hypot(x - 38.0f, y - 38.0f);
    if (d > edge)
        return {};
    if (d > edge - 2.5f)
        return rgb(48, 50, 54);
    const float light = std::hypot(x - 28.0f, y - 26.0f) / 60.0f;
    Colour colour = mix(rgb(176, 178, 182), rgb(96, 98, 104), light);
    // Two cracks.
    if (distance_to_segment(x, y, 30.0f, 44.0f, 44.0f, 52.0f) < 1.0f ||
        distance_to_segment(x, y, 44.0f, 24.0f, 50.0f, 36.0f) < 1.0f)
        colour = rgb(70, 72, 78);
    return colour;
}

// A riveted steel block.
Colour indestructible(float x, float y)
{
    const float d = rounded_rectangle(x, y, 2.0f, 2.0f, 70.0f, 70.0f, 6.0f);
    if (d > 0.0f)
        return {};
    if (d > -2.5f)
        return rgb(36, 40, 46);
    for (const Point rivet : {Point{12, 12}, Point{60, 12}, Point{12, 60}, Point{60, 60}}) {
        const float r = std::hypot(x - rivet.x, y - rivet.y);
        if (r < 4.0f)
            return r > 3.0f ? rgb(50, 54, 60) : rgb(200, 206, 214);
    }
    if (d > -8.0f)
        return rgb(120, 128, 140);
    return mix(rgb(160, 168, 180), rgb(104, 110, 124), (x + y) / 144.0f);
}

// Stones 1 to 10 are mossy green, 11 and 12 grey; each number has its own outline.
Shader stone(int number)
{
    return [number](float x, float y) {
        const bool green = number <= 10;
        const float angle = std::atan2(y - 38.0f, x - 38.0f);
        const float edge = 33.0f + 3.0f * std::sin(angle * (3 + number % 4) + number);
        const float d = std::hypot(x - 38.0f, y - 38.0f);
        if (d > edge)
            return Colour{};
        if (d > edge - 2.5f)
            return green ? rgb(28, 60, 30) : rgb(44, 46, 50);
        const Colour light = green ? rgb(120, 190, 96) : rgb(170, 172, 176);
        const Colour dark = green ? rgb(54, 110, 52) : rgb(100, 102, 108);
        Colour colour = mix(light, dark, std::hypot(x - 28.0f, y - 26.0f) / 62.0f);
        // Moss or speckles.
        const float spot_x = 38.0f + 12.0f * std::cos(number * 1.3f);
        const float spot_y = 40.0f + 10.0f * std::sin(number * 0.7f);
        const float spot = std::hypot(x - spot_x, y - spot_y);
        if (spot < 6.0f)
            colour = green ? rgb(160, 214, 110) : rgb(130, 132, 138);
        return colour;
    };
}

// Seven link bands, one per frame row: a rounded strip with a brighter middle line.
const Colour link_colours[] = {rgb(222, 62, 58),  rgb(242, 200, 48), rgb(58, 124, 232), rgb(152, 82, 204),
                               rgb(246, 142, 38), rgb(150, 152, 158), rgb(96, 176, 80)};

Colour links(float x, float y)
{
    const int row = static_cast<int>(y / 16.0f);
    if (row > 6 || x > 65.0f)
        return {};
    const float local = y - row * 16.0f;
    const float d = std::abs(local - 7.0f);
    if (d > 6.0f)
        return {};
    const Colour& colour = link_colours[row];
    if (d > 4.5f)
        return darker(colour, 0.5f);
    return mix(lighter(colour, 0.5f), colour, d / 4.5f);
}

} // namespace

QUILLO_PICTURES(shape_pictures)
{
    add("monsters/normal_bpry.png", 288, 288, normal_bpry);
    add("monsters/normal_orange.png", 288, 72, normal_orange);
    for (const MonsterColour& colour : monster_colours)
        add(std::string("monsters/monster_") + colour.word + ".png", 320, 80, starred_atlas(colour.body));
    add("shapes/ice_cube.png", 88, 88, ice_cube);
    add("shapes/bubble.png", 96, 96, bubble);
    add("shapes/bottle.png", 72, 72, bottle);
    add("shapes/gray.png", 76, 76, rock);
    add("shapes/indestructible.png", 72, 72, indestructible);
    for (int number = 1; number <= 12; ++number)
        add("stones/stone" + std::to_string(number) + ".png", 76, 76, stone(number));
    add("shapes/links.png", 72, 112, links);
}
