// The engine demo's pictures: its background, ball and buttons, the pointer and the
// pixel font.

#include "canvas.h"

namespace {

using namespace pictures;

// A sky over a ground, with a sun at the upper right: which way is up shows at a glance.
Colour background(float x, float y)
{
    const float horizon = 176.0f;
    Colour colour = y < horizon ? mix(rgb(22, 34, 86), rgb(96, 150, 200), y / horizon)
                                : mix(rgb(70, 140, 70), rgb(36, 84, 40), (y - horizon) / (256.0f - horizon));
    const float sun = std::hypot(x - 196.0f, y - 56.0f);
    colour = over(mix(rgb(255, 236, 150), rgb(255, 236, 150, 0.0f), (sun - 22.0f) / 2.0f), colour);
    // A thin frame shows where the picture ends.
    const float edge = std::min(std::min(x, 256.0f - x), std::min(y, 256.0f - y));
    if (edge < 3.0f)
        colour = rgb(12, 18, 40);
    return colour;
}

// A shaded disc with a dark outline, transparent around it.
Colour ball(float x, float y)
{
    const float radius = 29.0f;
    const float d = std::hypot(x - 32.0f, y - 32.0f);
    if (d > radius)
        return {};
    const float light = std::hypot(x - 24.0f, y - 22.0f) / (radius * 1.6f);
    Colour colour = mix(rgb(255, 226, 130), rgb(214, 90, 24), light);
    if (d > radius - 2.5f)
        colour = rgb(70, 30, 8);
    return colour;
}

// One 64 × 64 button face: a rounded square with an outline and a white symbol.
Colour button(float x, float y, const Colour& fill, bool play)
{
    const float d = rounded_rectangle(x, y, 4.0f, 4.0f, 60.0f, 60.0f, 12.0f);
    if (d > 0.0f)
        return {};
    if (d > -3.0f)
        return rgb(24, 28, 32);
    const bool symbol = play ? inside_polygon({{24.0f, 18.0f}, {24.0f, 46.0f}, {46.0f, 32.0f}}, x, y)
                             : (y >= 19.0f && y <= 45.0f && ((x >= 21.0f && x <= 29.0f) || (x >= 35.0f && x <= 43.0f)));
    return symbol ? rgb(250, 250, 250) : mix(fill, rgb(0, 0, 0), (y - 4.0f) / 160.0f);
}

// Two frames side by side: "play" (green) and "pause" (red).
Colour ui(float x, float y)
{
    return x < 64.0f ? button(x, y, rgb(64, 176, 88), true) : button(x - 64.0f, y, rgb(206, 78, 62), false);
}

// The pointer: its tip is the top-left pixel.
Colour arrow(float x, float y)
{
    static const std::vector<Point> shape{{0.5f, 0.5f},   {0.5f, 23.0f},  {6.0f, 17.5f},  {10.5f, 27.0f},
                                          {14.5f, 25.0f}, {10.0f, 16.0f}, {17.5f, 16.0f}};
    const bool inside = inside_polygon(shape, x, y);
    const float edge = distance_to_outline(shape, x, y);
    if (edge < 1.0f)
        return rgb(0, 0, 0);
    return inside ? rgb(255, 255, 255) : Colour{};
}

// The demo's pixel font: 8 x 8 cells, 16 to a row, each glyph 7 pixels high at its cell's
// top-left; data/fonts/pixel.font names the same rectangles. Digits, capitals, a few marks.
struct PixelGlyph {
    int x;
    int y;
    int width;
    const char* rows; // 7 rows of `width` pixels, '#' lit
};

const PixelGlyph pixel_glyphs[] = {
    {0, 0, 5, ".###.#...##..###.#.###..##...#.###."},
    {8, 0, 5, "..#...##....#....#....#....#...###."},
    {16, 0, 5, ".###.#...#....#...#...#...#...#####"},
    {24, 0, 5, "####.....#....#.###.....#....#####."},
    {32, 0, 5, "...#...##..#.#.#..#.#####...#....#."},
    {40, 0, 5, "######....####.....#....##...#.###."},
    {48, 0, 5, ".###.#....#....####.#...##...#.###."},
    {56, 0, 5, "#####....#...#...#...#....#....#..."},
    {64, 0, 5, ".###.#...##...#.###.#...##...#.###."},
    {72, 0, 5, ".###.#...##...#.####....#....#.###."},
    {80, 0, 5, ".###.#...##...#######...##...##...#"},
    {88, 0, 5, "####.#...##...#####.#...##...#####."},
    {96, 0, 5, ".###.#...##....#....#....#...#.###."},
    {104, 0, 5, "####.#...##...##...##...##...#####."},
    {112, 0, 5, "######....#....####.#....#....#####"},
    {120, 0, 5, "######....#....####.#....#....#...."},
    {0, 8, 5, ".###.#...##....#.####...##...#.####"},
    {8, 8, 5, "#...##...##...#######...##...##...#"},
    {16, 8, 3, "###.#..#..#..#..#.###"},
    {24, 8, 5, "..###...#....#....#....#.#..#..##.."},
    {32, 8, 5, "#...##..#.#.#..##...#.#..#..#.#...#"},
    {40, 8, 5, "#....#....#....#....#....#....#####"},
    {48, 8, 5, "#...###.###.#.##.#.##...##...##...#"},
    {56, 8, 5, "#...##...###..##.#.##..###...##...#"},
    {64, 8, 5, ".###.#...##...##...##...##...#.###."},
    {72, 8, 5, "####.#...##...#####.#....#....#...."},
    {80, 8, 5, ".###.#...##...##...##.#.##..#..##.#"},
    {88, 8, 5, "####.#...##...#####.#.#..#..#.#...#"},
    {96, 8, 5, ".#####....#.....###.....#....#####."},
    {104, 8, 5, "#####..#....#....#....#....#....#.."},
    {112, 8, 5, "#...##...##...##...##...##...#.###."},
    {120, 8, 5, "#...##...##...##...##...#.#.#...#.."},
    {0, 16, 5, "#...##...##...##.#.##.#.##.#.#.#.#."},
    {8, 16, 5, "#...##...#.#.#...#...#.#.#...##...#"},
    {16, 16, 5, "#...##...#.#.#...#....#....#....#.."},
    {24, 16, 5, "#####....#...#...#...#...#....#####"},
    {32, 16, 3, "....................."},
    {40, 16, 1, "#####.#"},
    {48, 16, 1, "......#"},
    {56, 16, 2, "...........##."},
    {64, 16, 1, "..#..#."},
    {72, 16, 4, "............####............"},
    {80, 16, 5, ".......#....#..#####..#....#......."},
    {88, 16, 5, "....#....#...#...#...#...#....#...."},
    {96, 16, 5, ".###.#...#....#...#...#.........#.."},
};

Colour pixel_font(float x, float y)
{
    const int px = static_cast<int>(x);
    const int py = static_cast<int>(y);
    for (const PixelGlyph& glyph : pixel_glyphs) {
        const int gx = px - glyph.x;
        const int gy = py - glyph.y;
        if (gx >= 0 && gx < glyph.width && gy >= 0 && gy < 7)
            return glyph.rows[gy * glyph.width + gx] == '#' ? rgb(255, 255, 255) : Colour{};
    }
    return Colour{};
}

} // namespace

QUILLO_PICTURES(demo_pictures)
{
    add("demo/bg.png", 256, 256, background);
    add("demo/ball.png", 64, 64, ball);
    add("demo/ui.png", 128, 64, ui);
    add("cursor/arrow.png", 32, 32, arrow);
    add("fonts/pixel.png", 128, 32, pixel_font);
}
