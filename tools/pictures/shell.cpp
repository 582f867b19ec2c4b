// The game shell's pictures: the two logos of the splash screen and the loading picture.

#include "canvas.h"

namespace {

using namespace pictures;

constexpr float logo_width = 384.0f;
constexpr float logo_height = 192.0f;

// Soft edges: full inside, fading over a pixel at the border of a shape.
float coverage(float signed_distance)
{
    return std::clamp(0.5f - signed_distance, 0.0f, 1.0f);
}

Colour with_alpha(Colour colour, float alpha)
{
    colour.a *= alpha;
    return colour;
}

// The studio's mark: a gold diamond holding a dark rhombus, between two bars, on black.
Colour studio_logo(float x, float y)
{
    Colour colour = rgb(0, 0, 0);
    const float cx = logo_width * 0.5f;
    const float cy = logo_height * 0.5f;
    const float diamond = (std::abs(x - cx) + std::abs(y - cy)) / 1.41421f - 58.0f;
    const float inner = (std::abs(x - cx) * 1.6f + std::abs(y - cy)) / 1.41421f - 30.0f;
    const Colour gold = mix(rgb(255, 214, 110), rgb(196, 120, 30), (y - (cy - 80.0f)) / 160.0f);
    colour = over(with_alpha(gold, coverage(diamond)), colour);
    colour = over(with_alpha(rgb(20, 24, 48), coverage(inner)), colour);
    for (const float bar_x : {cx - 140.0f, cx + 140.0f}) {
        const float bar = rounded_rectangle(x, y, bar_x - 40.0f, cy - 4.0f, bar_x + 40.0f, cy + 4.0f, 4.0f);
        colour = over(with_alpha(gold, coverage(bar)), colour);
    }
    return colour;
}

// The game's mark: four monsters of four colours linked in a row, on a deep blue sky.
Colour game_logo(float x, float y)
{
    Colour colour = mix(rgb(18, 30, 78), rgb(40, 90, 150), y / logo_height);
    const Colour body[] = {rgb(230, 70, 70), rgb(250, 200, 60), rgb(80, 190, 90), rgb(90, 140, 240)};
    const float spacing = 76.0f;
    const float first = logo_width * 0.5f - spacing * 1.5f;
    const float cy = logo_height * 0.5f;
    // The links first, under the bodies.
    const float link = distance_to_segment(x, y, first, cy, first + spacing * 3.0f, cy) - 5.0f;
    colour = over(with_alpha(rgb(235, 235, 250), coverage(link)), colour);
    for (int i = 0; i < 4; ++i) {
        const float mx = first + spacing * static_cast<float>(i);
        const float my = cy + (i % 2 == 0 ? -10.0f : 10.0f);
        const float d = std::hypot(x - mx, y - my);
        const float shade = std::hypot(x - (mx - 9.0f), y - (my - 11.0f)) / 52.0f;
        colour = over(with_alpha(rgb(20, 20, 36), coverage(d - 31.0f)), colour);
        colour = over(with_alpha(mix(mix(body[i], rgb(255, 255, 255), 0.35f), body[i], shade), coverage(d - 28.0f)),
                      colour);
        // Two eyes each.
        for (const float ex : {mx - 9.0f, mx + 9.0f}) {
            const float eye = std::hypot(x - ex, y - (my - 5.0f));
            colour = over(with_alpha(rgb(255, 255, 255), coverage(eye - 7.0f)), colour);
            colour = over(with_alpha(rgb(16, 16, 24), coverage(std::hypot(x - ex, y - (my - 3.0f)) - 3.0f)), colour);
        }
    }
    return colour;
}

// The loading picture, drawn at the game screen's own size (the scene shows it over the
// whole screen, one picture pixel to one screen pixel): a dusk sky with a ring of eight
// dots, brightest at the top.
constexpr float loading_width = 960.0f;
constexpr float loading_height = 640.0f;

Colour loading(float x, float y)
{
    Colour colour = mix(rgb(16, 22, 60), rgb(70, 48, 110), y / loading_height);
    const float cx = loading_width * 0.5f;
    const float cy = loading_height * 0.5f;
    for (int i = 0; i < 8; ++i) {
        const float angle = static_cast<float>(i) * 3.14159265f / 4.0f;
        const float dx = cx + std::sin(angle) * 112.0f;
        const float dy = cy - std::cos(angle) * 112.0f;
        const float d = std::hypot(x - dx, y - dy) - 24.0f;
        const Colour dot = mix(rgb(255, 240, 180), rgb(120, 110, 170), static_cast<float>(i) / 7.0f);
        colour = over(with_alpha(dot, coverage(d)), colour);
    }
    return colour;
}

} // namespace

QUILLO_PICTURES(shell_pictures)
{
    add("splash/logo1.png", static_cast<uint32_t>(logo_width), static_cast<uint32_t>(logo_height), studio_logo);
    add("splash/logo2.png", static_cast<uint32_t>(logo_width), static_cast<uint32_t>(logo_height), game_logo);
    add("loading/loading.png", static_cast<uint32_t>(loading_width), static_cast<uint32_t>(loading_height), loading);
}
