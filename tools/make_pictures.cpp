// Draws the demo's pictures (simple shapes, gradients and outlines) into a data folder,
// so that the repository holds this program instead of binary pictures.
//
//   make_pictures <data folder>
//
// writes demo/bg.png, demo/ball.png, demo/ui.png and cursor/arrow.png below the folder.
// The output depends on nothing but this file: every run writes the same bytes.

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Straight (not premultiplied) colour, 0..1.
struct Colour {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;
};

constexpr Colour rgb(int r, int g, int b, float a = 1.0f)
{
    return {r / 255.0f, g / 255.0f, b / 255.0f, a};
}

Colour mix(const Colour& from, const Colour& to, float t)
{
    t = std::clamp(t, 0.0f, 1.0f);
    return {from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t, from.b + (to.b - from.b) * t,
            from.a + (to.a - from.a) * t};
}

// Source over destination, straight colours.
Colour over(const Colour& top, const Colour& bottom)
{
    const float a = top.a + bottom.a * (1.0f - top.a);
    if (a <= 0.0f)
        return {};
    auto channel = [&](float t, float b) { return (t * top.a + b * bottom.a * (1.0f - top.a)) / a; };
    return {channel(top.r, bottom.r), channel(top.g, bottom.g), channel(top.b, bottom.b), a};
}

// The colour of the picture at a point, in pixels from the top-left corner.
using Shader = std::function<Colour(float x, float y)>;

// Each pixel averages 4 × 4 samples (premultiplied), which smooths the shapes' edges.
bool write_picture(const fs::path& path, uint32_t width, uint32_t height, const Shader& shader)
{
    constexpr int samples = 4;
    std::vector<uint8_t> rgba(size_t{width} * height * 4);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const Colour c = shader(static_cast<float>(x) + (sx + 0.5f) / samples,
                                            static_cast<float>(y) + (sy + 0.5f) / samples);
                    r += c.r * c.a;
                    g += c.g * c.a;
                    b += c.b * c.a;
                    a += c.a;
                }
            }
            uint8_t* out = &rgba[(size_t{y} * width + x) * 4];
            auto byte = [](float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
            if (a > 0.0f) {
                out[0] = byte(r / a);
                out[1] = byte(g / a);
                out[2] = byte(b / a);
            }
            out[3] = byte(a / (samples * samples));
        }
    }

    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr)) {
        std::fprintf(stderr, "make_pictures: cannot write %s: %s\n", path.c_str(), image.message);
        return false;
    }
    return true;
}

float distance_to_segment(float px, float py, float ax, float ay, float bx, float by)
{
    const float dx = bx - ax;
    const float dy = by - ay;
    const float length = dx * dx + dy * dy;
    const float t = length > 0.0f ? std::clamp(((px - ax) * dx + (py - ay) * dy) / length, 0.0f, 1.0f) : 0.0f;
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

struct Point {
    float x, y;
};

// Even-odd rule.
bool inside_polygon(const std::vector<Point>& polygon, float x, float y)
{
    bool inside = false;
    for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const Point& a = polygon[i];
        const Point& b = polygon[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x)
            inside = !inside;
    }
    return inside;
}

float distance_to_outline(const std::vector<Point>& polygon, float x, float y)
{
    float nearest = INFINITY;
    for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++)
        nearest = std::min(nearest, distance_to_segment(x, y, polygon[j].x, polygon[j].y, polygon[i].x, polygon[i].y));
    return nearest;
}

// Signed distance to a rounded rectangle: negative inside.
float rounded_rectangle(float x, float y, float left, float top, float right, float bottom, float radius)
{
    const float cx = (left + right) * 0.5f;
    const float cy = (top + bottom) * 0.5f;
    const float qx = std::abs(x - cx) - ((right - left) * 0.5f - radius);
    const float qy = std::abs(y - cy) - ((bottom - top) * 0.5f - radius);
    return std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) - radius;
}

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

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pictures <data folder>\n");
        return 2;
    }
    const fs::path data(argv[1]);
    bool ok = true;
    ok = write_picture(data / "demo" / "bg.png", 256, 256, background) && ok;
    ok = write_picture(data / "demo" / "ball.png", 64, 64, ball) && ok;
    ok = write_picture(data / "demo" / "ui.png", 128, 64, ui) && ok;
    ok = write_picture(data / "cursor" / "arrow.png", 32, 32, arrow) && ok;
    ok = write_picture(data / "fonts" / "pixel.png", 128, 32, pixel_font) && ok;
    return ok ? 0 : 1;
}
