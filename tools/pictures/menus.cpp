// The menu screens' pictures: the menus' round buttons (a mark for each action), panels,
// slider parts, the rollout arrow and the logo's eye, the profile slots, the offers of the
// store and the zen store, the level map's buttons and dots, and the credits' picture.

#include <cmath>
#include <string>
#include <vector>

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

// The marks of the round buttons, one per action, drawn in white on a 48 x 48 face.
enum class Mark {
    ok, cancel, like, leaderboard, gift, achievements, store, credits, moregames, subscribe, sound, back,
    profile, minimise, fullscreen, cursor, quit, previous, next, new_player, delete_player, rate, share,
    friends, restore, website, more, extras, music
};

bool thick(float x, float y, float ax, float ay, float bx, float by, float width = 3.0f)
{
    return distance_to_segment(x, y, ax, ay, bx, by) < width;
}

bool ring(float x, float y, float cx, float cy, float radius, float width = 2.5f)
{
    return std::abs(std::hypot(x - cx, y - cy) - radius) < width;
}

bool disc(float x, float y, float cx, float cy, float radius)
{
    return std::hypot(x - cx, y - cy) < radius;
}

// A head and shoulders centred on cx.
bool person(float x, float y, float cx, float top, float scale = 1.0f)
{
    return disc(x, y, cx, top + 5.0f * scale, 5.0f * scale) ||
           (y > top + 12.0f * scale && y < top + 21.0f * scale &&
            std::hypot((x - cx) / (9.0f * scale), (y - (top + 21.0f * scale)) / (9.0f * scale)) < 1.0f);
}

bool mark_at(Mark mark, float x, float y)
{
    const float cx = x - 24.0f;
    const float cy = y - 24.0f;
    switch (mark) {
    case Mark::ok: // a tick
        return thick(x, y, 14.0f, 25.0f, 21.0f, 32.0f) || thick(x, y, 21.0f, 32.0f, 34.0f, 16.0f);
    case Mark::cancel: // a cross
        return thick(x, y, 16.0f, 16.0f, 32.0f, 32.0f) || thick(x, y, 32.0f, 16.0f, 16.0f, 32.0f);
    case Mark::like: // a heart
        return disc(x, y, 19.0f, 20.0f, 6.0f) || disc(x, y, 29.0f, 20.0f, 6.0f) ||
               inside_polygon({{13.5f, 22.0f}, {34.5f, 22.0f}, {24.0f, 35.0f}}, x, y);
    case Mark::leaderboard: // a podium of three steps
        return (x > 13.0f && x < 21.0f && y > 24.0f && y < 34.0f) || (x > 20.0f && x < 28.0f && y > 14.0f && y < 34.0f) ||
               (x > 27.0f && x < 35.0f && y > 20.0f && y < 34.0f);
    case Mark::gift: { // a box with its ribbon and bow
        const bool box = x > 14.0f && x < 34.0f && y > 21.0f && y < 35.0f;
        const bool ribbon = std::abs(cx) < 2.0f || (y > 24.5f && y < 27.5f);
        return (box && !ribbon) || ring(x, y, 20.0f, 17.0f, 3.0f, 1.5f) || ring(x, y, 28.0f, 17.0f, 3.0f, 1.5f);
    }
    case Mark::achievements: // a cup on a foot
        return (y > 13.0f && y < 24.0f && std::hypot(cx / 10.0f, (y - 13.0f) / 12.0f) < 1.0f) ||
               (std::abs(cx) < 2.0f && y >= 24.0f && y < 31.0f) || (std::abs(cx) < 7.0f && y >= 31.0f && y < 35.0f) ||
               ring(x, y, 14.0f, 17.0f, 3.5f, 1.3f) || ring(x, y, 34.0f, 17.0f, 3.5f, 1.3f);
    case Mark::store: // a bag with a handle
        return (inside_polygon({{15.0f, 20.0f}, {33.0f, 20.0f}, {35.0f, 35.0f}, {13.0f, 35.0f}}, x, y)) ||
               (ring(x, y, 24.0f, 20.0f, 5.5f, 1.5f) && y < 20.0f);
    case Mark::credits: // "i"
        return disc(x, y, 24.0f, 15.0f, 3.0f) || (std::abs(cx) < 2.5f && y > 20.0f && y < 35.0f);
    case Mark::moregames: { // four tiles
        const float fx = std::abs(cx);
        const float fy = std::abs(cy);
        return fx > 1.5f && fx < 10.0f && fy > 1.5f && fy < 10.0f;
    }
    case Mark::subscribe: { // an envelope
        const bool edge = (x > 13.0f && x < 35.0f && y > 16.0f && y < 32.0f) &&
                          !(x > 15.0f && x < 33.0f && y > 18.0f && y < 30.0f);
        return edge || thick(x, y, 14.0f, 17.0f, 24.0f, 25.0f, 1.5f) || thick(x, y, 34.0f, 17.0f, 24.0f, 25.0f, 1.5f);
    }
    case Mark::sound: // a speaker and its waves
        return inside_polygon({{12.0f, 20.0f}, {17.0f, 20.0f}, {24.0f, 14.0f}, {24.0f, 34.0f}, {17.0f, 28.0f}, {12.0f, 28.0f}}, x, y) ||
               ((ring(x, y, 24.0f, 24.0f, 6.0f, 1.3f) || ring(x, y, 24.0f, 24.0f, 10.5f, 1.3f)) && cx > 2.0f &&
                std::abs(cy) < cx * 1.2f);
    case Mark::back: // a bent arrow back to the left
        return inside_polygon({{12.0f, 20.0f}, {21.0f, 12.0f}, {21.0f, 28.0f}}, x, y) ||
               (ring(x, y, 24.0f, 27.0f, 7.0f, 2.5f) && cx > 0.0f) || (y > 17.5f && y < 22.5f && x > 20.0f && x < 25.0f) ||
               (y > 31.5f && y < 36.5f && x > 16.0f && x < 25.0f);
    case Mark::profile:
        return person(x, y, 24.0f, 13.0f);
    case Mark::minimise: // leaves full screen: a bar at the bottom
        return x > 14.0f && x < 34.0f && y > 29.0f && y < 34.0f;
    case Mark::fullscreen: { // four corners pushed outwards
        const float fx = std::abs(cx);
        const float fy = std::abs(cy);
        return (fx > 5.0f && fx < 12.0f && fy > 9.0f && fy < 12.0f) || (fy > 5.0f && fy < 12.0f && fx > 9.0f && fx < 12.0f);
    }
    case Mark::cursor: // an arrow pointer
        return inside_polygon({{17.0f, 12.0f}, {17.0f, 32.0f}, {21.5f, 28.0f}, {25.0f, 35.0f}, {28.0f, 33.5f}, {24.5f, 27.0f},
                               {31.0f, 26.5f}},
                              x, y);
    case Mark::quit: // the power sign
        return (ring(x, y, 24.0f, 25.0f, 9.0f, 1.8f) && !(cy < -3.0f && std::abs(cx) < 5.0f)) ||
               (std::abs(cx) < 1.8f && y > 12.0f && y < 25.0f);
    case Mark::previous:
        return thick(x, y, 28.0f, 14.0f, 19.0f, 24.0f, 3.2f) || thick(x, y, 19.0f, 24.0f, 28.0f, 34.0f, 3.2f);
    case Mark::next:
        return thick(x, y, 20.0f, 14.0f, 29.0f, 24.0f, 3.2f) || thick(x, y, 29.0f, 24.0f, 20.0f, 34.0f, 3.2f);
    case Mark::new_player:
        return person(x, y, 19.0f, 13.0f, 0.85f) || (std::abs(x - 34.5f) < 1.6f && std::abs(y - 31.0f) < 4.5f) ||
               (std::abs(y - 31.0f) < 1.6f && std::abs(x - 34.5f) < 4.5f);
    case Mark::delete_player:
        return person(x, y, 19.0f, 13.0f, 0.85f) || (std::abs(y - 31.0f) < 1.8f && std::abs(x - 34.5f) < 4.5f);
    case Mark::rate: { // a five-pointed star
        std::vector<Point> star;
        for (int i = 0; i < 10; ++i) {
            const float angle = -1.5707963f + static_cast<float>(i) * 0.62831853f;
            const float radius = i % 2 == 0 ? 12.0f : 5.0f;
            star.push_back({24.0f + radius * std::cos(angle), 25.0f + radius * std::sin(angle)});
        }
        return inside_polygon(star, x, y);
    }
    case Mark::share: // three dots, joined
        return disc(x, y, 31.0f, 15.0f, 4.0f) || disc(x, y, 16.0f, 24.0f, 4.0f) || disc(x, y, 31.0f, 33.0f, 4.0f) ||
               thick(x, y, 16.0f, 24.0f, 31.0f, 15.0f, 1.3f) || thick(x, y, 16.0f, 24.0f, 31.0f, 33.0f, 1.3f);
    case Mark::friends:
        return person(x, y, 18.0f, 15.0f, 0.8f) || person(x, y, 30.0f, 13.0f, 0.9f);
    case Mark::restore: // an arrow down into a tray
        return (std::abs(cx) < 2.0f && y > 11.0f && y < 22.0f) ||
               inside_polygon({{17.0f, 20.0f}, {31.0f, 20.0f}, {24.0f, 28.0f}}, x, y) ||
               (y > 32.0f && y < 35.0f && std::abs(cx) < 11.0f) || (std::abs(cx) > 8.0f && std::abs(cx) < 11.0f && y > 26.0f && y < 35.0f);
    case Mark::website: // a globe
        return ring(x, y, 24.0f, 24.0f, 11.0f, 1.4f) || (std::abs(std::hypot(cx / 5.0f, cy / 11.0f) - 1.0f) < 0.14f) ||
               (std::abs(cy) < 1.2f && std::abs(cx) < 11.0f) || (std::abs(cx) < 1.2f && std::abs(cy) < 11.0f);
    case Mark::more: // three dots in a row
        return disc(x, y, 15.0f, 28.0f, 3.2f) || disc(x, y, 24.0f, 28.0f, 3.2f) || disc(x, y, 33.0f, 28.0f, 3.2f);
    case Mark::extras: { // a cog
        const float d = std::hypot(cx, y - 27.0f);
        const float angle = std::atan2(y - 27.0f, cx);
        const float teeth = std::cos(angle * 8.0f) > 0.3f ? 10.0f : 8.0f;
        return d < teeth && d > 3.5f;
    }
    case Mark::music: // a quaver
        return std::hypot((x - 20.0f) / 5.0f, (y - 31.0f) / 3.8f) < 1.0f || (x > 23.0f && x < 26.0f && y > 13.0f && y < 31.0f) ||
               thick(x, y, 24.5f, 14.0f, 32.0f, 20.0f, 1.8f);
    }
    return false;
}

// A 48 x 48 round button: a dark rim, the fill darkening downwards and the white mark.
Colour round(float x, float y, const Colour& fill, Mark mark)
{
    const float d = std::hypot(x - 24.0f, y - 24.0f);
    if (d > 22.0f)
        return {};
    if (d > 19.5f)
        return rgb(24, 28, 36);
    if (mark_at(mark, x, y))
        return rgb(250, 250, 250);
    return mix(fill, rgb(0, 0, 0), (y - 4.0f) / 90.0f);
}

// The round buttons in rows of sixteen (see buttons.atlas), each with its own mark, then the
// play and Zen bars below.
struct RoundButton {
    Mark mark;
    Colour fill;
};

const RoundButton kRoundButtons[] = {
    {Mark::ok, rgb(64, 176, 88)},          {Mark::cancel, rgb(206, 78, 62)},      {Mark::like, rgb(220, 80, 120)},
    {Mark::leaderboard, rgb(230, 160, 40)}, {Mark::gift, rgb(150, 90, 190)},       {Mark::achievements, rgb(210, 170, 40)},
    {Mark::store, rgb(236, 140, 40)},      {Mark::credits, rgb(90, 110, 220)},    {Mark::moregames, rgb(60, 160, 200)},
    {Mark::subscribe, rgb(90, 150, 110)},  {Mark::sound, rgb(70, 130, 210)},      {Mark::back, rgb(110, 120, 140)},
    {Mark::profile, rgb(90, 110, 220)},    {Mark::minimise, rgb(100, 110, 130)},  {Mark::fullscreen, rgb(100, 110, 130)},
    {Mark::cursor, rgb(120, 130, 140)},    {Mark::quit, rgb(190, 60, 60)},        {Mark::previous, rgb(70, 130, 210)},
    {Mark::next, rgb(70, 130, 210)},       {Mark::new_player, rgb(64, 176, 88)},  {Mark::delete_player, rgb(206, 78, 62)},
    {Mark::rate, rgb(230, 170, 40)},       {Mark::share, rgb(60, 160, 200)},      {Mark::friends, rgb(90, 110, 220)},
    {Mark::restore, rgb(120, 130, 150)},   {Mark::website, rgb(60, 150, 160)},    {Mark::more, rgb(150, 90, 190)},
    {Mark::extras, rgb(200, 110, 60)},     {Mark::music, rgb(70, 130, 210)},
};
constexpr int kRoundCount = sizeof(kRoundButtons) / sizeof(kRoundButtons[0]);
constexpr int kRoundRows = (kRoundCount + 15) / 16;

Colour buttons(float x, float y)
{
    if (y < 48.0f * kRoundRows) {
        const int column = std::min(static_cast<int>(x / 48.0f), 15);
        const int row = static_cast<int>(y / 48.0f);
        const int index = row * 16 + column;
        if (index >= kRoundCount)
            return {};
        const RoundButton& button = kRoundButtons[index];
        return round(x - 48.0f * static_cast<float>(column), y - 48.0f * static_cast<float>(row), button.fill, button.mark);
    }
    // Two 192 x 64 bars below: play (green) and Zen (blue), and a grey Zen that is shut.
    const float by = y - 48.0f * kRoundRows;
    const int bar = std::min(static_cast<int>(x / 192.0f), 3);
    const Colour fills[] = {rgb(64, 176, 88), rgb(70, 110, 210), rgb(120, 120, 130), rgb(120, 120, 130)};
    return plate(x - 192.0f * static_cast<float>(bar), by, 192.0f, 64.0f, fills[bar], 20.0f);
}

// The rollout buttons' arrow: a chevron pointing up, turned over while the panel is open.
Colour arrow(float x, float y)
{
    if (thick(x, y, 3.0f, 10.0f, 10.0f, 3.0f, 2.2f) || thick(x, y, 10.0f, 3.0f, 17.0f, 10.0f, 2.2f))
        return rgb(250, 250, 250);
    if (thick(x, y, 3.0f, 10.0f, 10.0f, 3.0f, 3.4f) || thick(x, y, 10.0f, 3.0f, 17.0f, 10.0f, 3.4f))
        return rgb(24, 28, 36);
    return {};
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

// A mana drop of radius r whose round part is centred at (cx, cy).
bool drop(float x, float y, float cx, float cy, float r)
{
    return disc(x, y, cx, cy, r) || inside_polygon({{cx - r * 0.92f, cy - r * 0.4f}, {cx, cy - r * 2.3f}, {cx + r * 0.92f, cy - r * 0.4f}}, x, y);
}

// The offers: 1 tell your friends (a heart), 2 to 4 mana (one, two and three drops), 5 Zen
// and mana (an open circle with a drop), 6 endless mana (a loop), 7 the Zen mode (an open
// circle).
bool offer_mark(int k, float x, float y)
{
    switch (k) {
    case 0:
        return disc(x, y, 38.0f, 42.0f, 11.0f) || disc(x, y, 58.0f, 42.0f, 11.0f) ||
               inside_polygon({{27.5f, 46.0f}, {68.5f, 46.0f}, {48.0f, 70.0f}}, x, y);
    case 1:
        return drop(x, y, 48.0f, 56.0f, 14.0f);
    case 2:
        return drop(x, y, 36.0f, 58.0f, 11.0f) || drop(x, y, 60.0f, 58.0f, 11.0f);
    case 3:
        return drop(x, y, 30.0f, 62.0f, 9.0f) || drop(x, y, 48.0f, 50.0f, 9.0f) || drop(x, y, 66.0f, 62.0f, 9.0f);
    case 4:
        return (ring(x, y, 48.0f, 48.0f, 24.0f, 4.0f) && !(x > 56.0f && y < 40.0f)) || drop(x, y, 48.0f, 56.0f, 9.0f);
    case 5:
        return ring(x, y, 34.0f, 48.0f, 11.0f, 4.0f) || ring(x, y, 62.0f, 48.0f, 11.0f, 4.0f);
    default:
        return ring(x, y, 48.0f, 48.0f, 22.0f, 5.0f) && !(x > 54.0f && y < 42.0f);
    }
}

Colour purchase(float x, float y, int k)
{
    const Colour fills[] = {rgb(220, 80, 120), rgb(60, 110, 220), rgb(80, 130, 210), rgb(50, 90, 190),
                            rgb(140, 90, 190), rgb(60, 170, 90),  rgb(120, 100, 200)};
    const float d = std::hypot(x - 48.0f, y - 48.0f);
    if (d > 44.0f)
        return {};
    if (d > 40.0f)
        return rgb(30, 34, 48);
    if (offer_mark(k, x, y))
        return rgb(250, 250, 250);
    return mix(fills[k], rgb(0, 0, 0), y / 180.0f);
}

// The level map: locked plate, open plate, three type marks, a chain, a dot, the active dot.
// A plate reads from the top down: its number in the upper half (data/levelselect/
// levelmap.scene), the best score under it, then the type mark or, on a locked plate, the
// chain along the bottom edge, so that neither covers the number or the score.
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
        const float d = std::hypot(fx - 48.0f, y - 82.0f);
        return d < 8.0f ? marks[frame - 2] : Colour{};
    }
    case 5: {
        const float d1 = std::hypot(fx - 41.0f, y - 79.0f);
        const float d2 = std::hypot(fx - 55.0f, y - 79.0f);
        return (std::abs(d1 - 9.0f) < 2.5f || std::abs(d2 - 9.0f) < 2.5f) ? rgb(90, 90, 100) : Colour{};
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
    add("mainmenu/buttons.png", 768, 48 * kRoundRows + 64, buttons);
    add("mainmenu/arrow.png", 20, 14, arrow);
    add("mainmenu/logo_eye.png", 128, 64, eye);
    add("mainmenu/panel.png", 360, 300, [](float x, float y) { return plate(x, y, 360.0f, 300.0f, rgb(70, 60, 110), 20.0f); });
    add("mainmenu/panel_tall.png", 360, 380, [](float x, float y) { return plate(x, y, 360.0f, 380.0f, rgb(70, 60, 110), 20.0f); });
    add("mainmenu/rollout.png", 64, 240, [](float x, float y) { return plate(x, y, 64.0f, 240.0f, rgb(40, 50, 80), 16.0f); });
    add("mainmenu/track.png", 220, 12, [](float x, float y) { return plate(x, y, 220.0f, 12.0f, rgb(30, 30, 40), 5.0f); });
    add("mainmenu/head.png", 28, 28, [](float x, float y) {
        return std::hypot(x - 14.0f, y - 14.0f) < 12.0f ? rgb(240, 200, 80) : Colour{};
    });
    add("mainmenu/logo.png", 420, 110, [](float x, float y) { return plate(x, y, 420.0f, 110.0f, rgb(60, 150, 90), 30.0f); });
    add("profilemenu/button_profile_select.png", 240, 44, [](float x, float y) { return slot(x, y, false); });
    add("profilemenu/button_profile_unselect.png", 240, 44, [](float x, float y) { return slot(x, y, true); });
    for (int k = 1; k <= 7; ++k)
        add("store/purchase" + std::to_string(k) + ".png", 96, 96, [k](float x, float y) { return purchase(x, y, k - 1); });
    add("store/panel.png", 260, 160, [](float x, float y) { return plate(x, y, 260.0f, 160.0f, rgb(70, 60, 110), 18.0f); });
    add("levelselect/parts.png", 768, 96, level_parts);
    add("credits/picture.png", 128, 128, credits_picture);
}
