#include "platform/gfx/raster.h"

#include "gfx_test_support.h"
#include "platform/gfx/present.h"
#include "platform/gfx/raster_internal.h"
#include "platform/processors.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

namespace gfx = platform::gfx;
namespace raster = platform::gfx::raster;

using gfx::RenderState;
using gfx::SamplerState;
using gfx::TextureStageState;

// XYZ | DIFFUSE | TEX1
struct Vertex {
    float x, y, z;
    uint32_t color;
    float u, v;
};
constexpr uint32_t kFvf = 0x142;

// XYZ | NORMAL | TEX1
struct LitVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};
constexpr uint32_t kLitFvf = 0x112;

class Canvas {
public:
    Canvas(uint32_t width, uint32_t height, uint32_t fill = 0xFF000000u,
           gfx::Format format = gfx::Format::a8r8g8b8, uint32_t samples = 1)
        : width(width), height(height), format(format), samples(samples),
          pixels(size_t{width} * height * samples, fill), depth(size_t{width} * height * samples, 1.0f)
    {
    }

    raster::Targets targets(bool with_depth = true)
    {
        raster::Targets t;
        t.color = {reinterpret_cast<uint8_t*>(pixels.data()), static_cast<int32_t>(width * 4 * samples), width, height,
                   format, samples};
        if (with_depth)
            t.depth = {depth.data(), width * samples, width, height, samples};
        return t;
    }

    uint32_t at(uint32_t x, uint32_t y) const { return pixels[size_t{y} * width + x]; }
    float z_at(uint32_t x, uint32_t y) const { return depth[size_t{y} * width + x]; }
    uint32_t sample(uint32_t x, uint32_t y, uint32_t i) const { return pixels[(size_t{y} * width + x) * samples + i]; }
    float sample_z(uint32_t x, uint32_t y, uint32_t i) const { return depth[(size_t{y} * width + x) * samples + i]; }

    // Rows of the picture as hex words, for readable failures.
    std::string dump() const
    {
        std::string text;
        char buffer[16];
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                std::snprintf(buffer, sizeof buffer, "%08X ", at(x, y));
                text += buffer;
            }
            text += '\n';
        }
        return text;
    }

    uint32_t width;
    uint32_t height;
    gfx::Format format;
    uint32_t samples;
    std::vector<uint32_t> pixels;
    std::vector<float> depth;
};

// Vertex positions in pixels (y down) land on the same screen positions.
raster::RasterState screen_state(uint32_t width, uint32_t height)
{
    raster::RasterState s;
    s.viewport = {0, 0, width, height, 0.0f, 1.0f};
    s.projection.m[0][0] = 2.0f / static_cast<float>(width);
    s.projection.m[1][1] = -2.0f / static_cast<float>(height);
    s.projection.m[3][0] = -1.0f;
    s.projection.m[3][1] = 1.0f;
    s[RenderState::lighting] = 0;
    s[RenderState::cull_mode] = gfx::cull::none;
    s[RenderState::zenable] = 0;
    // Alpha too is texture × diffuse, as the engine sets it.
    s.stage(0, TextureStageState::alpha_op) = gfx::texture_op::modulate;
    return s;
}

// Two clockwise triangles.
std::vector<Vertex> quad(float x0, float y0, float x1, float y1, float z = 0.5f, uint32_t color = 0xFFFFFFFFu,
                         float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1)
{
    const Vertex a{x0, y0, z, color, u0, v0};
    const Vertex b{x1, y0, z, color, u1, v0};
    const Vertex c{x0, y1, z, color, u0, v1};
    const Vertex d{x1, y1, z, color, u1, v1};
    return {a, b, c, b, d, c};
}

template <typename V>
bool draw_list(Canvas& canvas, const raster::RasterState& state, const std::vector<V>& vertices,
               uint32_t fvf = kFvf, bool with_depth = true)
{
    raster::VertexData data;
    data.bytes = reinterpret_cast<const uint8_t*>(vertices.data());
    data.size = vertices.size() * sizeof(V);
    data.stride = sizeof(V);
    data.fvf = fvf;
    return raster::draw(canvas.targets(with_depth), state, gfx::PrimitiveType::triangle_list, data, {}, 0, 0,
                        static_cast<uint32_t>(vertices.size() / 3));
}

// A texture with its mip chain in A8R8G8B8.
struct SampledTexture {
    SampledTexture(uint32_t width, uint32_t height, std::vector<std::vector<uint32_t>> level_pixels)
        : levels(std::move(level_pixels))
    {
        view.format = gfx::Format::a8r8g8b8;
        view.level_count = static_cast<uint32_t>(levels.size());
        for (size_t i = 0; i < levels.size(); ++i) {
            const uint32_t w = std::max(1u, width >> i);
            const uint32_t h = std::max(1u, height >> i);
            view.levels[i] = {reinterpret_cast<const uint8_t*>(levels[i].data()), static_cast<int32_t>(w * 4), w, h};
        }
    }
    std::vector<std::vector<uint32_t>> levels;
    raster::TextureView view;
};

// Distinct, opaque texel values.
std::vector<uint32_t> pattern(uint32_t width, uint32_t height)
{
    std::vector<uint32_t> texels;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            texels.push_back(0xFF000000u | (x * 29u + 7u) << 16 | (y * 31u + 3u) << 8 | ((x * 13u + y * 17u) & 0xFFu));
    return texels;
}

void use_texture(raster::RasterState& s, const SampledTexture& texture, uint32_t filter = gfx::texture_filter::point,
                 uint32_t stage = 0)
{
    s.textures[stage] = &texture.view;
    s.sampler(stage, SamplerState::min_filter) = filter;
    s.sampler(stage, SamplerState::mag_filter) = filter;
}

TEST(GfxRaster, OneToOneQuadIsTexelExact)
{
    const SampledTexture texture(8, 8, {pattern(8, 8)});
    for (uint32_t filter : {gfx::texture_filter::point, gfx::texture_filter::linear}) {
        SCOPED_TRACE(filter);
        Canvas canvas(16, 12, 0xFF102030u);
        raster::RasterState s = screen_state(16, 12);
        use_texture(s, texture, filter);
        // The corners sit half a pixel before the pixel centres 3..10 and 2..9.
        ASSERT_TRUE(draw_list(canvas, s, quad(2.5f, 1.5f, 10.5f, 9.5f)));
        for (uint32_t y = 0; y < 12; ++y) {
            for (uint32_t x = 0; x < 16; ++x) {
                const bool inside = x >= 3 && x < 11 && y >= 2 && y < 10;
                const uint32_t expected = inside ? texture.levels[0][(y - 2) * 8 + (x - 3)] : 0xFF102030u;
                ASSERT_EQ(canvas.at(x, y), expected) << x << "," << y << "\n" << canvas.dump();
            }
        }
    }
}

TEST(GfxRaster, BlendModesOverKnownColours)
{
    struct Case {
        const char* name;
        bool enable;
        uint32_t source, dest;
        gfx::Format format;
        uint32_t expected;
    };
    // Source 0x80FF4020 (alpha 128) over 0xFF204060.
    const Case cases[] = {
        {"off", false, gfx::blend::one, gfx::blend::zero, gfx::Format::a8r8g8b8, 0x80FF4020u},
        {"alpha", true, gfx::blend::src_alpha, gfx::blend::inv_src_alpha, gfx::Format::a8r8g8b8, 0xBF904040u},
        {"add", true, gfx::blend::one, gfx::blend::one, gfx::Format::a8r8g8b8, 0xFFFF8080u},
        {"add alpha", true, gfx::blend::src_alpha, gfx::blend::one, gfx::Format::a8r8g8b8, 0xFFA06070u},
        // Without destination alpha the target reads as opaque and stays opaque.
        {"alpha, no target alpha", true, gfx::blend::src_alpha, gfx::blend::inv_src_alpha, gfx::Format::x8r8g8b8,
         0xFF904040u},
        {"zero, inverse source colour", true, gfx::blend::zero, gfx::blend::inv_src_color, gfx::Format::a8r8g8b8,
         0x7F003054u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Seven pixels a row: runs of four and single pixels take different loops.
        Canvas canvas(7, 3, 0xFF204060u, c.format);
        raster::RasterState s = screen_state(7, 3);
        s[RenderState::alpha_blend_enable] = c.enable ? 1 : 0;
        s[RenderState::src_blend] = c.source;
        s[RenderState::dest_blend] = c.dest;
        ASSERT_TRUE(draw_list(canvas, s, quad(-0.5f, -0.5f, 6.5f, 2.5f, 0.5f, 0x80FF4020u)));
        for (uint32_t p : canvas.pixels)
            ASSERT_EQ(p, c.expected) << std::hex << p;
    }
}

TEST(GfxRaster, AlphaTestKeepsColourAndDepthOfFailingPixels)
{
    // Alternate columns of alpha 255 and 254.
    std::vector<uint32_t> texels(16);
    for (uint32_t i = 0; i < 16; ++i)
        texels[i] = (i % 2 == 0 ? 0xFF000000u : 0xFE000000u) | 0x00C08040u;
    const SampledTexture texture(4, 4, {texels});
    Canvas canvas(4, 4, 0xFF000000u);
    raster::RasterState s = screen_state(4, 4);
    use_texture(s, texture);
    s[RenderState::zenable] = 1;
    s[RenderState::alpha_test_enable] = 1;
    s[RenderState::alpha_func] = gfx::compare::equal;
    s[RenderState::alpha_ref] = 255;
    ASSERT_TRUE(draw_list(canvas, s, quad(-0.5f, -0.5f, 3.5f, 3.5f, 0.25f)));
    for (uint32_t y = 0; y < 4; ++y) {
        for (uint32_t x = 0; x < 4; ++x) {
            EXPECT_EQ(canvas.at(x, y), x % 2 == 0 ? 0xFFC08040u : 0xFF000000u) << x << "," << y;
            EXPECT_EQ(canvas.z_at(x, y), x % 2 == 0 ? 0.25f : 1.0f) << x << "," << y;
        }
    }
}

TEST(GfxRaster, DepthTestAndWrites)
{
    struct Case {
        const char* name;
        uint32_t func;
        bool write;
        float second_z;
        uint32_t expected_color;
        float expected_z;
    };
    // A red quad at z 0.5 first, then a green one.
    const Case cases[] = {
        {"less, behind", gfx::compare::less, true, 0.7f, 0xFFFF0000u, 0.5f},
        {"less, in front", gfx::compare::less, true, 0.3f, 0xFF00FF00u, 0.3f},
        {"less, equal", gfx::compare::less, true, 0.5f, 0xFFFF0000u, 0.5f},
        {"less-equal, equal", gfx::compare::less_equal, true, 0.5f, 0xFF00FF00u, 0.5f},
        {"always, behind", gfx::compare::always, true, 0.9f, 0xFF00FF00u, 0.9f},
        {"in front without writes", gfx::compare::less_equal, false, 0.2f, 0xFF00FF00u, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas canvas(4, 4);
        raster::RasterState s = screen_state(4, 4);
        s[RenderState::zenable] = 1;
        s[RenderState::zfunc] = gfx::compare::less;
        ASSERT_TRUE(draw_list(canvas, s, quad(-0.5f, -0.5f, 3.5f, 3.5f, 0.5f, 0xFFFF0000u)));
        s[RenderState::zfunc] = c.func;
        s[RenderState::zwrite_enable] = c.write ? 1 : 0;
        ASSERT_TRUE(draw_list(canvas, s, quad(-0.5f, -0.5f, 3.5f, 3.5f, c.second_z, 0xFF00FF00u)));
        EXPECT_EQ(canvas.at(1, 2), c.expected_color);
        EXPECT_FLOAT_EQ(canvas.z_at(1, 2), c.expected_z);
    }
}

TEST(GfxRaster, DepthIsInterpolatedAcrossTheTriangle)
{
    Canvas canvas(9, 1);
    raster::RasterState s = screen_state(9, 1);
    s[RenderState::zenable] = 1;
    // z runs from 0 at x = 0 to 1 at x = 8.
    const std::vector<Vertex> vertices = {{0, -4, 0, 0xFFFFFFFFu, 0, 0},
                                          {8, -4, 1, 0xFFFFFFFFu, 0, 0},
                                          {0, 4, 0, 0xFFFFFFFFu, 0, 0}, {8, -4, 1, 0xFFFFFFFFu, 0, 0},
                                          {8, 4, 1, 0xFFFFFFFFu, 0, 0}, {0, 4, 0, 0xFFFFFFFFu, 0, 0}};
    ASSERT_TRUE(draw_list(canvas, s, vertices));
    for (uint32_t x = 0; x < 8; ++x)
        EXPECT_NEAR(canvas.z_at(x, 0), x / 8.0f, 1e-6f) << x;
    EXPECT_EQ(canvas.z_at(8, 0), 1.0f); // the right edge is not drawn
}

TEST(GfxRaster, ViewportCutsTheDrawing)
{
    Canvas canvas(10, 8, 0xFF000000u);
    raster::RasterState s = screen_state(10, 8);
    // The projection maps the whole target; the viewport keeps 3..6 × 2..4.
    s.viewport = {3, 2, 4, 3, 0.0f, 1.0f};
    s.projection.m[0][0] = 2.0f / 4.0f;
    s.projection.m[1][1] = -2.0f / 3.0f;
    // A quad far larger than the guard band, reaching well past every side.
    ASSERT_TRUE(draw_list(canvas, s, quad(-1e6f, -1e6f, 1e6f, 1e6f, 0.5f, 0xFF00FF00u)));
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 10; ++x) {
            const bool inside = x >= 3 && x < 7 && y >= 2 && y < 5;
            ASSERT_EQ(canvas.at(x, y), inside ? 0xFF00FF00u : 0xFF000000u) << x << "," << y << "\n"
                                                                           << canvas.dump();
        }
}

TEST(GfxRaster, NearAndFarPlanesClip)
{
    Canvas canvas(8, 2, 0xFF000000u);
    raster::RasterState s = screen_state(8, 2);
    // Depth runs from -1 at x = -0.5 to 2 at x = 5.5: half a unit per pixel, so pixels
    // 0..5 have z = -0.75, -0.25, 0.25, 0.75, 1.25, 1.75.
    std::vector<Vertex> vertices = quad(-0.5f, -0.5f, 5.5f, 1.5f, 0.0f, 0xFFFFFFFFu);
    for (Vertex& v : vertices)
        v.z = v.x == -0.5f ? -1.0f : 2.0f;
    ASSERT_TRUE(draw_list(canvas, s, vertices));
    for (uint32_t x = 0; x < 8; ++x) {
        const bool drawn = x == 2 || x == 3;
        EXPECT_EQ(canvas.at(x, 0), drawn ? 0xFFFFFFFFu : 0xFF000000u) << x << "\n" << canvas.dump();
        EXPECT_EQ(canvas.at(x, 1), canvas.at(x, 0)) << x;
    }
}

TEST(GfxRaster, CullingByScreenWinding)
{
    const Vertex a{-0.5f, -0.5f, 0.5f, 0xFFFFFFFFu, 0, 0};
    const Vertex b{3.5f, -0.5f, 0.5f, 0xFFFFFFFFu, 0, 0};
    const Vertex c{-0.5f, 3.5f, 0.5f, 0xFFFFFFFFu, 0, 0};
    const std::vector<Vertex> clockwise = {a, b, c};        // right, then down-left: clockwise with y down
    const std::vector<Vertex> counter_clockwise = {a, c, b};
    struct Case {
        uint32_t mode;
        bool clockwise_drawn;
        bool counter_clockwise_drawn;
    };
    const Case cases[] = {{gfx::cull::counter_clockwise, true, false},
                          {gfx::cull::clockwise, false, true},
                          {gfx::cull::none, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        raster::RasterState s = screen_state(4, 4);
        s[RenderState::cull_mode] = c.mode;
        Canvas first(4, 4, 0);
        Canvas second(4, 4, 0);
        ASSERT_TRUE(draw_list(first, s, clockwise));
        ASSERT_TRUE(draw_list(second, s, counter_clockwise));
        EXPECT_EQ(first.at(0, 0) != 0, c.clockwise_drawn);
        EXPECT_EQ(second.at(0, 0) != 0, c.counter_clockwise_drawn);
    }
}

// Triangles sharing edges cover every pixel of their union exactly once: additive
// blending of 1 leaves no 2 and no holes.
TEST(GfxRaster, SharedEdgesCoverEachPixelOnce)
{
    const uint32_t size = 32;
    Canvas canvas(size, size, 0);
    raster::RasterState s = screen_state(size, size);
    s[RenderState::alpha_blend_enable] = 1;
    s[RenderState::src_blend] = gfx::blend::one;
    s[RenderState::dest_blend] = gfx::blend::one;
    // A fan around an off-grid centre whose rim lies on integer and fractional points,
    // then a strip of a grid that is exactly pixel aligned.
    std::vector<Vertex> vertices;
    const float cx = 15.3f, cy = 16.7f;
    const int spokes = 17;
    auto rim = [&](int i) {
        const double angle = 2.0 * std::numbers::pi * i / spokes;
        const double radius = i % 3 == 0 ? 12.0 : 13.37;
        return Vertex{static_cast<float>(cx + radius * std::cos(angle)), static_cast<float>(cy + radius * std::sin(angle)),
                      0.5f, 0x01010101u, 0, 0};
    };
    for (int i = 0; i < spokes; ++i) {
        vertices.push_back({cx, cy, 0.5f, 0x01010101u, 0, 0});
        vertices.push_back(rim(i));
        vertices.push_back(rim(i + 1));
    }
    ASSERT_TRUE(draw_list(canvas, s, vertices));
    uint32_t covered = 0;
    for (uint32_t p : canvas.pixels) {
        ASSERT_TRUE(p == 0 || p == 0x01010101u) << std::hex << p << "\n" << canvas.dump();
        covered += p != 0;
    }
    double area = 0.0;
    for (int i = 0; i < spokes; ++i) {
        const Vertex p = rim(i), q = rim(i + 1);
        area += 0.5 * ((p.x - cx) * (q.y - cy) - (q.x - cx) * (p.y - cy));
    }
    EXPECT_NEAR(covered, area, 0.05 * area);

    Canvas grid(8, 8, 0);
    std::vector<Vertex> cells;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const std::vector<Vertex> q = quad(x * 2.0f, y * 2.0f, x * 2.0f + 2.0f, y * 2.0f + 2.0f, 0.5f, 0x01010101u);
            cells.insert(cells.end(), q.begin(), q.end());
        }
    ASSERT_TRUE(draw_list(grid, s, cells));
    for (uint32_t p : grid.pixels)
        ASSERT_EQ(p, 0x01010101u) << "\n" << grid.dump();
}

// One constant coordinate over the whole quad samples the same point everywhere.
uint32_t sample_at(const SampledTexture& texture, float u, float v, uint32_t filter, uint32_t address)
{
    Canvas canvas(2, 2);
    raster::RasterState s = screen_state(2, 2);
    use_texture(s, texture, filter);
    s.sampler(0, SamplerState::address_u) = address;
    s.sampler(0, SamplerState::address_v) = address;
    EXPECT_TRUE(draw_list(canvas, s, quad(-0.5f, -0.5f, 1.5f, 1.5f, 0.5f, 0xFFFFFFFFu, u, v, u, v)));
    return canvas.at(1, 1);
}

TEST(GfxRaster, LinearFilteringOfTwoByTwo)
{
    const uint32_t a = 0xFF000000u, b = 0xFFFF0000u, c = 0x0000FF00u, d = 0x804080FFu;
    const SampledTexture texture(2, 2, {{a, b, c, d}});
    // Each channel is lerp(x, y, f) = (x·(256 − f) + y·f) >> 8, first along u.
    auto mix = [](uint32_t x, uint32_t y, uint32_t f) {
        uint32_t r = 0;
        for (int i = 0; i < 32; i += 8)
            r |= ((((x >> i) & 0xFF) * (256 - f) + ((y >> i) & 0xFF) * f) >> 8) << i;
        return r;
    };
    struct Case {
        float u, v;
        uint32_t address;
        uint32_t expected;
    };
    const Case cases[] = {
        {0.25f, 0.25f, gfx::texture_address::wrap, a},                            // texel centre
        {0.75f, 0.75f, gfx::texture_address::wrap, d},
        {0.5f, 0.25f, gfx::texture_address::wrap, mix(a, b, 128)},                 // between a and b
        {0.5f, 0.5f, gfx::texture_address::wrap, mix(mix(a, b, 128), mix(c, d, 128), 128)},
        {0.375f, 0.25f, gfx::texture_address::wrap, mix(a, b, 64)},               // a quarter towards b
        {0.0f, 0.25f, gfx::texture_address::wrap, mix(b, a, 128)},                 // wraps to the right column
        {0.25f, 0.0f, gfx::texture_address::wrap, mix(c, a, 128)},                 // wraps to the bottom row
        {0.0f, 0.25f, gfx::texture_address::clamp, a},
        {1.0f, 1.0f, gfx::texture_address::clamp, d},
        {-0.25f, 0.25f, gfx::texture_address::mirror, a},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.u) + "," + std::to_string(k.v) + " address " + std::to_string(k.address));
        EXPECT_EQ(sample_at(texture, k.u, k.v, gfx::texture_filter::linear, k.address), k.expected);
    }
}

TEST(GfxRaster, AddressingRepeatsOrClampsTheTexture)
{
    const SampledTexture texture(4, 4, {pattern(4, 4)});
    struct Case {
        uint32_t address;
        uint32_t (*texel_x)(uint32_t);
    };
    const Case cases[] = {
        {gfx::texture_address::wrap, [](uint32_t x) { return x % 4; }},
        {gfx::texture_address::clamp, [](uint32_t x) { return std::min(x, 3u); }},
        {gfx::texture_address::mirror, [](uint32_t x) { return x % 8 < 4 ? x % 8 : 7 - x % 8; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        for (uint32_t filter : {gfx::texture_filter::point, gfx::texture_filter::linear}) {
            Canvas canvas(12, 4);
            raster::RasterState s = screen_state(12, 4);
            use_texture(s, texture, filter);
            s.sampler(0, SamplerState::address_u) = c.address;
            // u from 0 to 3: three copies side by side, one texel per pixel.
            ASSERT_TRUE(draw_list(canvas, s, quad(-0.5f, -0.5f, 11.5f, 3.5f, 0.5f, 0xFFFFFFFFu, 0, 0, 3, 1)));
            for (uint32_t y = 0; y < 4; ++y)
                for (uint32_t x = 0; x < 12; ++x)
                    ASSERT_EQ(canvas.at(x, y), texture.levels[0][y * 4 + c.texel_x(x)]) << x << "," << y;
        }
    }
}

TEST(GfxRaster, MipLevelFollowsTheScale)
{
    // Level colours: red, green, blue, white.
    const SampledTexture texture(8, 8, {std::vector<uint32_t>(64, 0xFFFF0000u), std::vector<uint32_t>(16, 0xFF00FF00u),
                                 std::vector<uint32_t>(4, 0xFF0000FFu), std::vector<uint32_t>(1, 0xFFFFFFFFu)});
    struct Case {
        float pixels; // the texture's size on the screen
        uint32_t mip;
        uint32_t expected;
    };
    const Case cases[] = {
        {16, gfx::texture_filter::point, 0xFFFF0000u}, // magnified
        {8, gfx::texture_filter::point, 0xFFFF0000u},
        {4, gfx::texture_filter::point, 0xFF00FF00u},
        {2, gfx::texture_filter::point, 0xFF0000FFu},
        {1, gfx::texture_filter::point, 0xFFFFFFFFu},
        {2, gfx::texture_filter::none, 0xFFFF0000u},     // no mipmapping
        {4, gfx::texture_filter::linear, 0xFF00FF00u},   // exactly level 1
        {1, gfx::texture_filter::linear, 0xFFFFFFFFu},   // past the smallest level
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.pixels) + " mip " + std::to_string(c.mip));
        Canvas canvas(16, 16);
        raster::RasterState s = screen_state(16, 16);
        use_texture(s, texture, gfx::texture_filter::point);
        s.sampler(0, SamplerState::mip_filter) = c.mip;
        ASSERT_TRUE(draw_list(canvas, s, quad(-0.5f, -0.5f, c.pixels - 0.5f, c.pixels - 0.5f)));
        EXPECT_EQ(canvas.at(0, 0), c.expected);
    }
    // Between levels 1 and 2 (three pixels for eight texels), linear mipmapping mixes them.
    Canvas canvas(16, 16);
    raster::RasterState s = screen_state(16, 16);
    use_texture(s, texture, gfx::texture_filter::point);
    s.sampler(0, SamplerState::mip_filter) = gfx::texture_filter::linear;
    ASSERT_TRUE(draw_list(canvas, s, quad(-0.5f, -0.5f, 2.5f, 2.5f)));
    const uint32_t mixed = canvas.at(0, 0);
    EXPECT_EQ(mixed >> 24, 0xFFu);
    EXPECT_EQ((mixed >> 16) & 0xFF, 0u);
    EXPECT_GT((mixed >> 8) & 0xFF, 0x10u);
    EXPECT_GT(mixed & 0xFF, 0x10u);
}

TEST(GfxRaster, TextureStagesCombine)
{
    const SampledTexture texture(2, 2, {std::vector<uint32_t>(4, 0xFF8040C0u)});
    const SampledTexture white(1, 1, {{0xFFFFFFFFu}});
    struct Case {
        const char* name;
        void (*configure)(raster::RasterState&);
        uint32_t expected;
    };
    const Case cases[] = {
        {"texture × diffuse", [](raster::RasterState&) {}, 0x80402060u},
        {"texture colour and alpha",
         [](raster::RasterState& s) { s.stage(0, TextureStageState::alpha_op) = gfx::texture_op::select_arg1; },
         0xFF402060u},
        {"select diffuse",
         [](raster::RasterState& s) {
             s.stage(0, TextureStageState::color_op) = gfx::texture_op::select_arg2;
             s.stage(0, TextureStageState::alpha_op) = gfx::texture_op::select_arg2;
         },
         0x80808080u},
        {"texture factor in a second stage",
         [](raster::RasterState& s) {
             s.stage(1, TextureStageState::color_op) = gfx::texture_op::modulate;
             s.stage(1, TextureStageState::color_arg1) = gfx::texture_arg::texture_factor;
             s.stage(1, TextureStageState::alpha_op) = gfx::texture_op::modulate;
             s.stage(1, TextureStageState::alpha_arg1) = gfx::texture_arg::texture_factor;
             s[RenderState::texture_factor] = 0x80FF8000u;
         },
         0x40401000u},
        {"texture × a factor of white colour changes alpha alone",
         [](raster::RasterState& s) {
             s.stage(0, TextureStageState::color_arg2) = gfx::texture_arg::texture_factor;
             s.stage(0, TextureStageState::alpha_arg2) = gfx::texture_arg::texture_factor;
             s[RenderState::texture_factor] = 0x60FFFFFFu;
         },
         0x608040C0u},
        {"texture × a factor of any colour",
         [](raster::RasterState& s) {
             s.stage(0, TextureStageState::color_arg2) = gfx::texture_arg::texture_factor;
             s.stage(0, TextureStageState::alpha_arg2) = gfx::texture_arg::texture_factor;
             s[RenderState::texture_factor] = 0xC0FF4080u;
         },
         0xC0801060u},
        {"lerp by a constant towards a white texture",
         [](raster::RasterState& s) {
             s.stage(1, TextureStageState::color_op) = gfx::texture_op::lerp;
             s.stage(1, TextureStageState::color_arg0) = gfx::texture_arg::constant;
             s.stage(1, TextureStageState::color_arg1) = gfx::texture_arg::texture;
             s.stage(1, TextureStageState::constant) = 0x40404040u;
         },
         0x80705888u}, // (0x40·255 + 0xBF·c) / 255 for c of 0x402060; alpha passes
        {"complement and alpha replicate",
         [](raster::RasterState& s) {
             s.stage(0, TextureStageState::color_op) = gfx::texture_op::select_arg1;
             s.stage(0, TextureStageState::color_arg1) = gfx::texture_arg::diffuse | 0x10u | 0x20u;
         },
         0x807F7F7Fu},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas canvas(2, 2);
        raster::RasterState s = screen_state(2, 2);
        use_texture(s, texture);
        s.textures[1] = &white.view;
        c.configure(s);
        ASSERT_TRUE(draw_list(canvas, s, quad(-0.5f, -0.5f, 1.5f, 1.5f, 0.5f, 0x80808080u)));
        EXPECT_EQ(canvas.at(1, 0), c.expected) << std::hex << canvas.at(1, 0);
    }
}

// Sprites come as a texture times one colour blended by its alpha. The general blend
// with both factors from the source alpha does the same arithmetic, and a texture whose
// rows are not word-aligned is read texel by texel: neither may change the picture.
TEST(GfxRaster, TextureTimesAColourBlendsAsTheGeneralBlendDoes)
{
    // Source alpha for the source, its inverse for the destination.
    constexpr uint32_t kBothSourceAlpha = 12;
    constexpr uint32_t kWidth = 150, kHeight = 44;

    // Texels of every alpha; an X8R8G8B8 texture keeps junk in its unused byte, and a
    // padded texture has rows longer than its texels.
    struct Texture {
        const char* name;
        uint32_t width, height, pitch_words, levels;
        gfx::Format format;
    };
    const Texture textures[] = {
        {"8x8 with mipmaps", 8, 8, 8, 4, gfx::Format::a8r8g8b8},
        {"6x5", 6, 5, 6, 1, gfx::Format::a8r8g8b8},
        {"5x3 with padded rows", 5, 3, 7, 1, gfx::Format::a8r8g8b8},
        {"4x4 without alpha", 4, 4, 4, 1, gfx::Format::x8r8g8b8},
    };
    struct Geometry {
        const char* name;
        float cx, cy, half_w, half_h, angle, u0, v0, u1, v1;
    };
    const Geometry geometries[] = {
        {"magnified and rotated", 75, 22, 70, 30, 0.3f, 0, 0, 1, 1},
        {"tiled past the edges", 70, 20, 60, 18, -0.2f, -0.7f, -0.4f, 2.3f, 1.6f},
        {"minified", 40, 20, 2.5f, 2, 0.1f, 0, 0, 3, 2},
        {"on texel centres", 18.f, 20.f, 6.f, 5.f, 0, 0, 0, 1, 1},
    };
    const uint32_t colours[] = {0x80FFFFFFu, 0xC0FF8040u, 0xFF204060u, 0x00FFFFFFu};
    const uint32_t addresses[] = {gfx::texture_address::wrap, gfx::texture_address::clamp,
                                  gfx::texture_address::mirror, gfx::texture_address::border};
    struct Filter {
        uint32_t filter, mip;
    };
    const Filter filters[] = {{gfx::texture_filter::linear, gfx::texture_filter::none},
                              {gfx::texture_filter::point, gfx::texture_filter::none},
                              {gfx::texture_filter::linear, gfx::texture_filter::linear}};

    for (const Texture& t : textures) {
        std::vector<std::vector<uint32_t>> levels;
        std::vector<std::vector<uint8_t>> unaligned_levels;
        raster::TextureView view, unaligned;
        view.format = unaligned.format = t.format;
        view.level_count = unaligned.level_count = t.levels;
        for (uint32_t i = 0; i < t.levels; ++i) {
            const uint32_t w = std::max(1u, t.width >> i), h = std::max(1u, t.height >> i);
            const uint32_t pitch = i == 0 ? t.pitch_words : w;
            std::vector<uint32_t> texels(size_t{pitch} * h);
            for (uint32_t k = 0; k < texels.size(); ++k)
                texels[k] = (k * 2654435761u + i * 40503u) ^ (k << 21);
            std::vector<uint8_t> bytes(texels.size() * 4 + 1);
            std::memcpy(bytes.data() + 1, texels.data(), texels.size() * 4);
            levels.push_back(std::move(texels));
            unaligned_levels.push_back(std::move(bytes));
            view.levels[i] = {reinterpret_cast<const uint8_t*>(levels.back().data()), static_cast<int32_t>(pitch * 4),
                              w, h};
            unaligned.levels[i] = {unaligned_levels.back().data() + 1, static_cast<int32_t>(pitch * 4), w, h};
        }
        for (const Geometry& g : geometries) {
            const float c = std::cos(g.angle), n = std::sin(g.angle);
            auto corner = [&](float x, float y, float u, float v) {
                return Vertex{g.cx + x * c - y * n, g.cy + x * n + y * c, 0.5f, 0, u, v};
            };
            const Vertex a = corner(-g.half_w, -g.half_h, g.u0, g.v0), b = corner(g.half_w, -g.half_h, g.u1, g.v0);
            const Vertex d = corner(-g.half_w, g.half_h, g.u0, g.v1), e = corner(g.half_w, g.half_h, g.u1, g.v1);
            for (uint32_t colour : colours) {
                std::vector<Vertex> vertices{a, b, d, b, e, d};
                for (Vertex& v : vertices)
                    v.color = colour;
                for (uint32_t address : addresses) {
                    for (const Filter& f : filters) {
                        for (gfx::Format target : {gfx::Format::a8r8g8b8, gfx::Format::x8r8g8b8}) {
                            SCOPED_TRACE(std::string(t.name) + ", " + g.name + ", colour " + std::to_string(colour)
                                         + ", address " + std::to_string(address) + ", filter "
                                         + std::to_string(f.filter) + "/" + std::to_string(f.mip) + ", target "
                                         + std::to_string(static_cast<int>(target)));
                            raster::RasterState s = screen_state(kWidth, kHeight);
                            s.textures[0] = &view;
                            s.sampler(0, SamplerState::min_filter) = f.filter;
                            s.sampler(0, SamplerState::mag_filter) = f.filter;
                            s.sampler(0, SamplerState::mip_filter) = f.mip;
                            s.sampler(0, SamplerState::address_u) = address;
                            s.sampler(0, SamplerState::address_v) = address;
                            s.sampler(0, SamplerState::border_color) = 0x80FF0080u;
                            s[RenderState::alpha_blend_enable] = 1;
                            s[RenderState::dest_blend] = gfx::blend::inv_src_alpha;
                            Canvas one_pass(kWidth, kHeight, 0, target);
                            for (size_t k = 0; k < one_pass.pixels.size(); ++k)
                                one_pass.pixels[k] = static_cast<uint32_t>(k * 0x9E3779B1u);
                            Canvas staged = one_pass, texel_by_texel = one_pass;
                            const std::vector<uint32_t> before = one_pass.pixels;
                            s[RenderState::src_blend] = gfx::blend::src_alpha;
                            ASSERT_TRUE(draw_list(one_pass, s, vertices));
                            s.textures[0] = &unaligned;
                            ASSERT_TRUE(draw_list(texel_by_texel, s, vertices));
                            s.textures[0] = &view;
                            s[RenderState::src_blend] = kBothSourceAlpha;
                            ASSERT_TRUE(draw_list(staged, s, vertices));
                            if (colour >> 24 != 0) {
                                ASSERT_NE(one_pass.pixels, before);
                            }
                            ASSERT_EQ(one_pass.pixels, staged.pixels);
                            ASSERT_EQ(one_pass.pixels, texel_by_texel.pixels);
                        }
                    }
                }
            }
        }
    }
}

// An alpha test that every alpha passes leaves the blended sprite as it is; one that
// some fail keeps the target under those pixels.
TEST(GfxRaster, AlphaTestsOfBlendedSprites)
{
    std::vector<uint32_t> texels = pattern(8, 8);
    for (uint32_t k = 0; k < texels.size(); ++k)
        texels[k] = (texels[k] & 0x00FFFFFFu) | (k * 4u) << 24;
    const SampledTexture translucent(8, 8, {texels});
    struct Case {
        const char* name;
        uint32_t func, reference;
        bool passes_all;
    };
    const Case cases[] = {
        {"always", gfx::compare::always, 0x80, true},
        {"at least zero", gfx::compare::greater_equal, 0, true},
        {"at most 255", gfx::compare::less_equal, 255, true},
        {"at least 0x80", gfx::compare::greater_equal, 0x80, false},
        {"above 0x20", gfx::compare::greater, 0x20, false},
    };
    constexpr uint32_t kBackground = 0x00336699u;
    auto draw = [&](const Case* c) {
        Canvas canvas(40, 20, kBackground);
        raster::RasterState s = screen_state(40, 20);
        use_texture(s, translucent, gfx::texture_filter::linear);
        s[RenderState::alpha_blend_enable] = 1;
        s[RenderState::src_blend] = gfx::blend::src_alpha;
        s[RenderState::dest_blend] = gfx::blend::inv_src_alpha;
        if (c != nullptr) {
            s[RenderState::alpha_test_enable] = 1;
            s[RenderState::alpha_func] = c->func;
            s[RenderState::alpha_ref] = c->reference;
        }
        EXPECT_TRUE(draw_list(canvas, s, quad(1.3f, 0.6f, 37.7f, 18.2f, 0.5f, 0xA0FF8040u)));
        return canvas.pixels;
    };
    const std::vector<uint32_t> untested = draw(nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint32_t> tested = draw(&c);
        if (c.passes_all) {
            EXPECT_EQ(tested, untested);
            continue;
        }
        // Pixels drawn are as without the test; the others keep the background (whose
        // alpha of zero no blend keeps).
        size_t kept = 0;
        for (size_t k = 0; k < tested.size(); ++k) {
            if (tested[k] == kBackground && untested[k] != kBackground)
                ++kept;
            else
                ASSERT_EQ(tested[k], untested[k]) << k;
        }
        EXPECT_GT(kept, 0u);
    }
}

TEST(GfxRaster, ColoursAreInterpolatedBetweenVertices)
{
    Canvas canvas(9, 1);
    raster::RasterState s = screen_state(9, 1);
    // Black at x = 0, white at x = 8: 255/8 per pixel, rounded.
    std::vector<Vertex> vertices = quad(0.0f, -1.0f, 8.0f, 1.0f);
    for (Vertex& v : vertices)
        v.color = v.x == 0.0f ? 0xFF000000u : 0xFFFFFFFFu;
    ASSERT_TRUE(draw_list(canvas, s, vertices));
    for (uint32_t x = 0; x < 8; ++x) {
        const uint32_t level = static_cast<uint32_t>(std::lround(x * 255.0 / 8.0));
        EXPECT_EQ(canvas.at(x, 0), 0xFF000000u | level * 0x010101u) << x;
    }
}

TEST(GfxRaster, TextureTransformScalesCoordinates)
{
    const SampledTexture texture(4, 4, {pattern(4, 4)});
    Canvas canvas(4, 4);
    raster::RasterState s = screen_state(4, 4);
    use_texture(s, texture);
    s.stage(0, TextureStageState::texture_transform_flags) = gfx::texture_transform_flags::count2;
    s.texture_transforms[0].m[0][0] = 0.5f;
    s.texture_transforms[0].m[1][1] = 0.5f;
    // uv 0..1 over 4 pixels becomes 0..0.5: the top-left 2×2 texels, each twice.
    ASSERT_TRUE(draw_list(canvas, s, quad(-0.5f, -0.5f, 3.5f, 3.5f)));
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 4; ++x)
            EXPECT_EQ(canvas.at(x, y), texture.levels[0][(y / 2) * 4 + x / 2]) << x << "," << y;
}

TEST(GfxRaster, PerspectiveCorrectCoordinates)
{
    // A quad whose right side is twice as far (w = 2) as its left side (w = 1): in clip
    // space the vertices carry w, so the screen spans x 0..8 while u runs 0..1 along
    // the quad. At screen x the perspective-correct u is x / (16 − x).
    std::vector<uint32_t> texels(64);
    for (uint32_t i = 0; i < 64; ++i)
        texels[i] = 0xFF000000u | i;
    const SampledTexture texture(64, 1, {texels});
    Canvas canvas(9, 1);
    raster::RasterState s = screen_state(9, 1);
    use_texture(s, texture);
    s.projection = gfx::Matrix{}; // clip space = vertex position; w from a fourth row
    // w = 1 + z: vertices at z 0 (left) and z 1 (right).
    s.projection.m[2][3] = 1.0f;
    s.projection.m[2][2] = 0.0f;
    s.viewport = {0, 0, 8, 1, 0.0f, 1.0f};
    // Screen x = (1 + x/w)·4: left edge x = -1 at w 1 → 0; right edge x = 2 at w 2 → 8.
    const std::vector<Vertex> vertices = {{-1, 1, 0, 0xFFFFFFFFu, 0, 0}, {2, 2, 1, 0xFFFFFFFFu, 1, 0},
                                          {-1, -1, 0, 0xFFFFFFFFu, 0, 1}, {2, 2, 1, 0xFFFFFFFFu, 1, 0},
                                          {2, -2, 1, 0xFFFFFFFFu, 1, 1}, {-1, -1, 0, 0xFFFFFFFFu, 0, 1}};
    ASSERT_TRUE(draw_list(canvas, s, vertices));
    for (uint32_t x = 1; x < 8; ++x) {
        const double u = x / (16.0 - x);
        EXPECT_EQ(canvas.at(x, 0) & 0xFF, static_cast<uint32_t>(u * 64)) << x;
    }
}

TEST(GfxRaster, DirectionalLightFollowsTheNormal)
{
    struct Case {
        float nx, ny, nz;
        uint32_t expected;
    };
    // Material diffuse (1, 0.6, 0.2), global ambient 0x40 × material ambient (1, 1, 1);
    // the light shines along +z, so a normal along -z faces it.
    const Case cases[] = {
        {0, 0, -1, 0xFFFFD973u},        // 0x40 + (255, 153, 51)
        {0, -0.6f, -0.8f, 0xFFFFBA69u}, // lit at 0.8: 0x40 + (204, 122.4, 40.8)
        {1, 0, 0, 0xFF404040u},         // edge on: ambient only
        {0, 0, 1, 0xFF404040u},         // facing away
        {0, 0, -3, 0xFFFFD973u},        // normalised before use
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.nx) + "," + std::to_string(c.ny) + "," + std::to_string(c.nz));
        Canvas canvas(2, 2);
        raster::RasterState s = screen_state(2, 2);
        s[RenderState::lighting] = 1;
        s[RenderState::normalize_normals] = 1;
        s[RenderState::ambient] = 0xFF404040u;
        s.material.diffuse = {1.0f, 0.6f, 0.2f, 1.0f};
        s.material.ambient = {1.0f, 1.0f, 1.0f, 0.0f};
        gfx::Light light;
        light.type = gfx::LightType::directional;
        light.diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
        light.direction = {0.0f, 0.0f, 1.0f};
        s.lights[0] = light;
        s.light_count = 1;
        std::vector<LitVertex> vertices;
        for (const Vertex& v : quad(-0.5f, -0.5f, 1.5f, 1.5f))
            vertices.push_back({v.x, v.y, v.z, c.nx, c.ny, c.nz, v.u, v.v});
        ASSERT_TRUE(draw_list(canvas, s, vertices, kLitFvf));
        EXPECT_EQ(canvas.at(0, 0), c.expected) << std::hex << canvas.at(0, 0);
    }
}

TEST(GfxRaster, PointLightFallsOffAndStopsAtItsRange)
{
    raster::RasterState s = screen_state(2, 1);
    s[RenderState::lighting] = 1;
    s.material.diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    gfx::Light light;
    light.type = gfx::LightType::point;
    light.diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    light.position = {0.0f, 0.0f, -2.0f};
    light.range = 10.0f;
    light.attenuation0 = 0.0f;
    light.attenuation1 = 0.5f; // 1 / (0.5 · 2) = 1 at the vertex below the light
    s.lights[0] = light;
    s.light_count = 1;
    auto lit = [&](const raster::RasterState& state) {
        std::vector<LitVertex> vertices;
        // A tiny quad at the origin, normals towards the light.
        for (const Vertex& v : quad(-0.01f, -0.01f, 0.01f, 0.01f, 0.0f))
            vertices.push_back({v.x, v.y, v.z, 0, 0, -1, 0, 0});
        // Moved onto pixel (0, 0) by the viewport instead of the positions.
        raster::RasterState moved = state;
        moved.viewport = {0, 0, 2, 1, 0.0f, 1.0f};
        moved.projection = gfx::Matrix{};
        moved.projection.m[0][0] = 100.0f;
        moved.projection.m[1][1] = 100.0f;
        moved.projection.m[2][2] = 0.0f;
        moved.projection.m[3][0] = -0.5f;
        Canvas c(2, 1, 0xFF000000u);
        EXPECT_TRUE(draw_list(c, moved, vertices, kLitFvf));
        return c.at(0, 0);
    };
    EXPECT_EQ(lit(s), 0xFFFFFFFFu);
    s.lights[0].attenuation1 = 2.0f / 3.0f; // three quarters as bright
    EXPECT_EQ(lit(s), 0xFFBFBFBFu);
    s.lights[0].range = 1.5f; // out of reach
    EXPECT_EQ(lit(s), 0xFF000000u);
}

TEST(GfxRaster, IndexedStripsAndFans)
{
    // Four vertices of a square, drawn three ways; every way covers it once.
    const std::vector<Vertex> vertices = {{-0.5f, -0.5f, 0.5f, 0x01010101u, 0, 0},
                                          {3.5f, -0.5f, 0.5f, 0x01010101u, 0, 0},
                                          {3.5f, 3.5f, 0.5f, 0x01010101u, 0, 0},
                                          {-0.5f, 3.5f, 0.5f, 0x01010101u, 0, 0}};
    raster::VertexData data{reinterpret_cast<const uint8_t*>(vertices.data()), vertices.size() * sizeof(Vertex),
                            sizeof(Vertex), kFvf};
    struct Case {
        gfx::PrimitiveType type;
        std::vector<uint16_t> indices;
        uint32_t count;
    };
    const Case cases[] = {{gfx::PrimitiveType::triangle_list, {0, 1, 3, 1, 2, 3}, 2},
                          {gfx::PrimitiveType::triangle_strip, {0, 1, 3, 2}, 2},
                          {gfx::PrimitiveType::triangle_fan, {0, 1, 2, 3}, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        Canvas canvas(4, 4, 0);
        raster::RasterState s = screen_state(4, 4);
        s[RenderState::cull_mode] = gfx::cull::counter_clockwise;
        s[RenderState::alpha_blend_enable] = 1;
        s[RenderState::src_blend] = gfx::blend::one;
        s[RenderState::dest_blend] = gfx::blend::one;
        raster::IndexData indices{reinterpret_cast<const uint8_t*>(c.indices.data()), c.indices.size() * 2, false};
        ASSERT_TRUE(raster::draw(canvas.targets(), s, c.type, data, indices, 0, 0, c.count));
        for (uint32_t p : canvas.pixels)
            ASSERT_EQ(p, 0x01010101u) << "\n" << canvas.dump();
    }
}

// Sprite batches and particles come as lists without indices, each quad's shared corners
// repeated; they must be drawn as the same quad given with indices (one pass over both
// triangles), rotated, scaled, filtered and blended as sprites are.
TEST(GfxRaster, QuadsWithoutIndicesDrawAsTheSameQuadsWithIndices)
{
    const uint32_t size = 48;
    const SampledTexture texture(8, 8, {pattern(8, 8)});
    struct Case {
        float angle, scale, cx, cy;
        uint32_t color, filter;
    };
    const Case cases[] = {
        {0.3f, 17.0f, 20.3f, 22.6f, 0xC0FFFFFFu, gfx::texture_filter::linear},
        {1.1f, 9.5f, 31.7f, 14.2f, 0xFF80C040u, gfx::texture_filter::linear},
        {2.7f, 21.0f, 23.9f, 25.1f, 0x7FFFFFFFu, gfx::texture_filter::point},
        {-0.8f, 13.3f, 12.4f, 33.8f, 0xFFFFFFFFu, gfx::texture_filter::linear},
        {0.05f, 30.0f, 24.0f, 24.0f, 0x40FF2020u, gfx::texture_filter::linear},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.angle);
        // Corners of a rotated square with texture coordinates 0..1.
        Vertex corner[4];
        const float du[4] = {-1, 1, -1, 1}, dv[4] = {-1, -1, 1, 1};
        for (int i = 0; i < 4; ++i) {
            const float x = du[i] * c.scale, y = dv[i] * c.scale;
            corner[i] = {c.cx + x * std::cos(c.angle) - y * std::sin(c.angle),
                         c.cy + x * std::sin(c.angle) + y * std::cos(c.angle),
                         0.5f,
                         c.color,
                         (du[i] + 1) / 2,
                         (dv[i] + 1) / 2};
        }
        raster::RasterState s = screen_state(size, size);
        use_texture(s, texture, c.filter);
        s[RenderState::alpha_blend_enable] = 1;
        s[RenderState::src_blend] = gfx::blend::src_alpha;
        s[RenderState::dest_blend] = gfx::blend::inv_src_alpha;

        Canvas repeated(size, size, 0xFF204060u);
        const std::vector<Vertex> list = {corner[0], corner[1], corner[2], corner[1], corner[3], corner[2]};
        ASSERT_TRUE(draw_list(repeated, s, list));

        Canvas indexed(size, size, 0xFF204060u);
        const std::vector<Vertex> four(corner, corner + 4);
        const std::vector<uint16_t> order = {0, 1, 2, 1, 3, 2};
        raster::VertexData data{reinterpret_cast<const uint8_t*>(four.data()), four.size() * sizeof(Vertex),
                                sizeof(Vertex), kFvf};
        raster::IndexData indices{reinterpret_cast<const uint8_t*>(order.data()), order.size() * 2, false};
        ASSERT_TRUE(raster::draw(indexed.targets(), s, gfx::PrimitiveType::triangle_list, data, indices, 0, 0, 2));

        EXPECT_NE(indexed.at(static_cast<uint32_t>(c.cx), static_cast<uint32_t>(c.cy)), 0xFF204060u);
        EXPECT_EQ(repeated.pixels, indexed.pixels) << "without indices:\n"
                                                   << repeated.dump() << "with indices:\n"
                                                   << indexed.dump();
    }
}

TEST(GfxRaster, BadInputDrawsNothing)
{
    const std::vector<Vertex> vertices = quad(-0.5f, -0.5f, 3.5f, 3.5f);
    raster::VertexData data{reinterpret_cast<const uint8_t*>(vertices.data()), vertices.size() * sizeof(Vertex),
                            sizeof(Vertex), kFvf};
    raster::RasterState s = screen_state(4, 4);
    Canvas canvas(4, 4, 0);
    const auto list = gfx::PrimitiveType::triangle_list;

    raster::VertexData pretransformed = data;
    pretransformed.fvf = 0x144; // positions already on the screen
    EXPECT_FALSE(raster::draw(canvas.targets(), s, list, pretransformed, {}, 0, 0, 2));
    raster::VertexData narrow = data;
    narrow.stride = 12;
    EXPECT_FALSE(raster::draw(canvas.targets(), s, list, narrow, {}, 0, 0, 2));
    EXPECT_FALSE(raster::draw(canvas.targets(), s, list, data, {}, 0, 1, 2)); // past the last vertex

    const std::vector<uint16_t> short_indices = {0, 1, 2};
    raster::IndexData few{reinterpret_cast<const uint8_t*>(short_indices.data()), 6, false};
    EXPECT_FALSE(raster::draw(canvas.targets(), s, list, data, few, 0, 0, 2));
    for (uint32_t p : canvas.pixels)
        ASSERT_EQ(p, 0u);

    // A triangle naming a vertex that does not exist is skipped; the others are drawn.
    const std::vector<uint32_t> indices = {0, 1, 2, 3, 4, 99};
    raster::IndexData wide{reinterpret_cast<const uint8_t*>(indices.data()), indices.size() * 4, true};
    EXPECT_TRUE(raster::draw(canvas.targets(), s, list, data, wide, 0, 0, 2));
    EXPECT_NE(canvas.at(0, 0), 0u);
    EXPECT_EQ(canvas.at(3, 3), 0u);
    EXPECT_TRUE(raster::draw(canvas.targets(), s, list, data, wide, -5, 0, 2)); // every vertex before the data

    // A corner that is not a number drops its triangle; one absurdly far is clipped.
    for (float bad : {NAN, INFINITY, -INFINITY}) {
        Canvas fresh(4, 4, 0);
        std::vector<Vertex> broken = quad(-0.5f, -0.5f, 3.5f, 3.5f);
        broken[0].x = bad; // in the first triangle only
        ASSERT_TRUE(draw_list(fresh, s, broken));
        EXPECT_EQ(fresh.at(0, 0), 0u);
        EXPECT_EQ(fresh.at(3, 3), 0xFFFFFFFFu);
    }
    Canvas far(4, 4, 0);
    std::vector<Vertex> stretched = quad(-0.5f, -0.5f, 3.5f, 3.5f);
    stretched[1].x = stretched[3].x = stretched[4].x = 3e38f;
    ASSERT_TRUE(draw_list(far, s, stretched));
    for (uint32_t p : far.pixels)
        EXPECT_EQ(p, 0xFFFFFFFFu);
}

TEST(GfxRaster, PointSpritesCoverASquare)
{
    // XYZ | PSIZE | TEX1
    struct PointVertex {
        float x, y, z, size, u, v;
    };
    const std::vector<uint32_t> texels = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFFFFFFu};
    const SampledTexture texture(2, 2, {texels});
    const std::vector<PointVertex> points = {{4.0f, 4.0f, 0.5f, 4.0f, 0, 0}};
    Canvas canvas(8, 8, 0);
    raster::RasterState s = screen_state(8, 8);
    s[RenderState::point_sprite_enable] = 1;
    use_texture(s, texture);
    raster::VertexData data{reinterpret_cast<const uint8_t*>(points.data()), sizeof(PointVertex),
                            sizeof(PointVertex), 0x122};
    ASSERT_TRUE(raster::draw(canvas.targets(), s, gfx::PrimitiveType::point_list, data, {}, 0, 0, 1));
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 6 && y >= 2 && y < 6;
            const uint32_t expected = inside ? texels[((y - 2) / 2) * 2 + (x - 2) / 2] : 0u;
            ASSERT_EQ(canvas.at(x, y), expected) << x << "," << y << "\n" << canvas.dump();
        }
}

TEST(GfxRaster, OtherTargetFormats)
{
    // A 16-bit target stores the colour in its own layout and blends with it.
    std::vector<uint16_t> pixels(4, 0x001F); // blue in R5G6B5
    raster::Targets targets;
    targets.color = {reinterpret_cast<uint8_t*>(pixels.data()), 4, 2, 2, gfx::Format::r5g6b5};
    raster::RasterState s = screen_state(2, 2);
    s[RenderState::alpha_blend_enable] = 1;
    s[RenderState::src_blend] = gfx::blend::one;
    s[RenderState::dest_blend] = gfx::blend::one;
    const std::vector<Vertex> vertices = quad(-0.5f, -0.5f, 1.5f, 1.5f, 0.5f, 0xFFFF0000u);
    raster::VertexData data{reinterpret_cast<const uint8_t*>(vertices.data()), vertices.size() * sizeof(Vertex),
                            sizeof(Vertex), kFvf};
    ASSERT_TRUE(raster::draw(targets, s, gfx::PrimitiveType::triangle_list, data, {}, 0, 0, 2));
    for (uint16_t p : pixels)
        EXPECT_EQ(p, 0xF81Fu); // red + blue
}

TEST(GfxRaster, TexturesOfEveryColourFormat)
{
    const gfx::Format formats[] = {gfx::Format::x8r8g8b8, gfx::Format::r8g8b8, gfx::Format::r5g6b5,
                                   gfx::Format::x1r5g5b5, gfx::Format::a1r5g5b5, gfx::Format::a4r4g4b4};
    const std::vector<uint32_t> colours = pattern(4, 4);
    for (gfx::Format format : formats) {
        SCOPED_TRACE(static_cast<int>(format));
        const uint32_t bytes = gfx::bytes_per_pixel(format);
        std::vector<uint8_t> texels(16 * bytes);
        std::vector<uint32_t> expected(16);
        for (size_t i = 0; i < 16; ++i) {
            gfx::encode_color(format, colours[i], texels.data() + i * bytes);
            expected[i] = gfx::decode_color(format, texels.data() + i * bytes);
        }
        raster::TextureView view;
        view.format = format;
        view.level_count = 1;
        view.levels[0] = {texels.data(), static_cast<int32_t>(4 * bytes), 4, 4};
        for (uint32_t filter : {gfx::texture_filter::point, gfx::texture_filter::linear}) {
            Canvas canvas(4, 4);
            raster::RasterState s = screen_state(4, 4);
            s.textures[0] = &view;
            s.sampler(0, SamplerState::min_filter) = filter;
            s.sampler(0, SamplerState::mag_filter) = filter;
            ASSERT_TRUE(draw_list(canvas, s, quad(-0.5f, -0.5f, 3.5f, 3.5f)));
            for (uint32_t i = 0; i < 16; ++i)
                ASSERT_EQ(canvas.at(i % 4, i / 4), expected[i]) << i;
        }
    }
}

TEST(GfxRaster, ClearFillsTheRectangleWithinTheTargets)
{
    Canvas canvas(6, 4, 0);
    raster::clear(canvas.targets(), {4, -3, 100, 2}, gfx::clear_flags::target | gfx::clear_flags::zbuffer,
                  0x11223344u, 0.25f);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 6; ++x) {
            const bool inside = x >= 4 && y < 2;
            EXPECT_EQ(canvas.at(x, y), inside ? 0x11223344u : 0u);
            EXPECT_EQ(canvas.z_at(x, y), inside ? 0.25f : 1.0f);
        }
    raster::clear(canvas.targets(), {0, 0, 6, 4}, gfx::clear_flags::zbuffer, 0xFFFFFFFFu, 0.5f);
    EXPECT_EQ(canvas.at(0, 0), 0u);
    EXPECT_EQ(canvas.z_at(0, 0), 0.5f);
}

// The device's draw calls land in its back buffer and depth surface.
// A busy frame: many turned, scaled, blended and filtered sprites over depth, a
// perspective quad cut by the near plane, shaded strips and point sprites, inside an
// inset viewport. Drawn with `threads` threads.
Canvas busy_frame(uint32_t threads, uint32_t samples = 1)
{
    raster::set_thread_count(threads);
    constexpr uint32_t width = 301, height = 233;
    Canvas canvas(width, height, 0xFF203040u, gfx::Format::a8r8g8b8, samples);
    std::vector<uint32_t> top = pattern(32, 32);
    for (size_t i = 0; i < top.size(); ++i)
        top[i] = (top[i] & 0x00FFFFFFu) | static_cast<uint32_t>((i * 37) & 0xFF) << 24;
    const SampledTexture texture(32, 32, {top, pattern(16, 16), pattern(8, 8), pattern(4, 4), pattern(2, 2), pattern(1, 1)});

    raster::RasterState s = screen_state(width, height);
    s.viewport = {7, 5, width - 12, height - 9, 0.0f, 1.0f};
    s.projection.m[0][0] = 2.0f / static_cast<float>(width - 12);
    s.projection.m[1][1] = -2.0f / static_cast<float>(height - 9);
    use_texture(s, texture, gfx::texture_filter::linear);
    s.sampler(0, SamplerState::mip_filter) = gfx::texture_filter::linear;
    s[RenderState::zenable] = 1;
    s[RenderState::alpha_blend_enable] = 1;
    s[RenderState::src_blend] = gfx::blend::src_alpha;
    s[RenderState::dest_blend] = gfx::blend::inv_src_alpha;

    std::vector<Vertex> sprites;
    for (int i = 0; i < 150; ++i) {
        const float cx = static_cast<float>((i * 73) % 320) - 10.0f;
        const float cy = static_cast<float>((i * 41) % 250) - 10.0f;
        const float angle = static_cast<float>(i) * 0.37f;
        const float half = 6.0f + static_cast<float>(i % 9) * 5.5f;
        const float c = std::cos(angle) * half, d = std::sin(angle) * half;
        const float z = static_cast<float>(i % 13) / 13.0f;
        const uint32_t color = 0xFF000000u | static_cast<uint32_t>(i * 0x010203) | 0x808080u;
        const Vertex a{cx - c + d, cy - d - c, z, color, 0, 0};
        const Vertex b{cx + c + d, cy + d - c, z, color, 1, 0};
        const Vertex e{cx - c - d, cy - d + c, z, color, 0, 1};
        const Vertex f{cx + c - d, cy + d + c, z, color, 1, 1};
        sprites.insert(sprites.end(), {a, b, e, b, f, e});
    }
    // A shaded triangle the quads' pairing leaves alone.
    sprites.insert(sprites.end(), {{0, 0, 0.2f, 0xFFFF0000u, 0, 0}, {290, 40, 0.4f, 0xFF00FF00u, 3, 0},
                                   {60, 220, 0.9f, 0x800000FFu, 0, 3}});
    EXPECT_TRUE(draw_list(canvas, s, sprites));

    // A point-sampled, wrapped strip.
    use_texture(s, texture, gfx::texture_filter::point);
    std::vector<Vertex> strip;
    for (int i = 0; i < 12; ++i)
        strip.push_back({static_cast<float>(i * 27), i % 2 ? 200.0f : 150.0f + i, 0.3f, 0xFFFFFFFFu,
                         static_cast<float>(i) * 0.7f, static_cast<float>(i % 2) * 2.5f});
    raster::VertexData data{reinterpret_cast<const uint8_t*>(strip.data()), strip.size() * sizeof(Vertex),
                            sizeof(Vertex), kFvf};
    EXPECT_TRUE(raster::draw(canvas.targets(), s, gfx::PrimitiveType::triangle_strip, data, {}, 0, 0, 10));

    // Point sprites.
    struct PointVertex {
        float x, y, z, size, u, v;
    };
    std::vector<PointVertex> points;
    for (int i = 0; i < 40; ++i)
        points.push_back({static_cast<float>((i * 61) % 290), static_cast<float>((i * 29) % 220), 0.1f,
                          static_cast<float>(2 + i % 20), 0, 0});
    s[RenderState::point_sprite_enable] = 1;
    raster::VertexData point_data{reinterpret_cast<const uint8_t*>(points.data()), points.size() * sizeof(PointVertex),
                                  sizeof(PointVertex), 0x122};
    EXPECT_TRUE(raster::draw(canvas.targets(), s, gfx::PrimitiveType::point_list, point_data, {}, 0, 0, 40));
    s[RenderState::point_sprite_enable] = 0;

    // A perspective quad reaching behind the near plane: clipped, w varying.
    use_texture(s, texture, gfx::texture_filter::linear);
    s.viewport = {0, 0, width, height, 0.0f, 1.0f};
    s.projection = gfx::Matrix{};
    s.projection.m[2][3] = 1.0f;
    s.projection.m[2][2] = 0.5f;
    s.projection.m[3][2] = -0.2f;
    const std::vector<Vertex> deep = {{-1.5f, 0.8f, -0.5f, 0xFFFFFFFFu, 0, 0}, {2, 2, 1.5f, 0xFFFFFFFFu, 4, 0},
                                      {-1.5f, -0.8f, -0.5f, 0xFFFFFFFFu, 0, 4}, {2, 2, 1.5f, 0xFFFFFFFFu, 4, 0},
                                      {2, -2, 1.5f, 0xFFFFFFFFu, 4, 4}, {-1.5f, -0.8f, -0.5f, 0xFFFFFFFFu, 0, 4}};
    EXPECT_TRUE(draw_list(canvas, s, deep));
    raster::set_thread_count(0);
    return canvas;
}

TEST(GfxRaster, BandsOfAnyNumberOfThreadsDrawTheOneThreadPicture)
{
    for (const uint32_t samples : {1u, 2u, 4u}) {
        const Canvas alone = busy_frame(1, samples);
        // The scene must really draw: most of the frame changed.
        size_t changed = 0;
        for (uint32_t pixel : alone.pixels)
            changed += pixel != 0xFF203040u;
        ASSERT_GT(changed, alone.pixels.size() / 2) << samples << " samples";
        for (const uint32_t threads : {2u, 3u, 8u, 13u}) {
            const Canvas shared = busy_frame(threads, samples);
            size_t differing = 0;
            for (size_t i = 0; i < alone.pixels.size(); ++i)
                differing += alone.pixels[i] != shared.pixels[i];
            EXPECT_EQ(differing, 0u) << threads << " threads, " << samples << " samples";
            EXPECT_EQ(std::memcmp(alone.depth.data(), shared.depth.data(), alone.depth.size() * sizeof(float)), 0)
                << threads << " threads, " << samples << " samples";
        }
    }
}

// A frame of several draws recorded together: overlapping blended sprites, a clear in
// the middle, a picture drawn into a second target and then sampled from it, a texture
// changed between two draws that sample it, and the second target drawn again after
// it was sampled. Drawn with `threads` threads, each draw at once or all recorded
// until the end. Returns the main target and the second one.
std::pair<Canvas, Canvas> layered_frame(uint32_t threads, uint32_t samples, bool recorded)
{
    raster::set_thread_count(threads);
    constexpr uint32_t width = 263, height = 197;
    Canvas canvas(width, height, 0xFF102030u, gfx::Format::a8r8g8b8, samples);
    Canvas side(64, 64, 0x00000000u);
    SampledTexture texture(16, 16, {pattern(16, 16)});
    for (size_t i = 0; i < texture.levels[0].size(); ++i)
        texture.levels[0][i] = (texture.levels[0][i] & 0x00FFFFFFu) | static_cast<uint32_t>((i * 53) & 0xFF) << 24;
    // The second target as a texture.
    raster::TextureView side_view;
    side_view.format = gfx::Format::a8r8g8b8;
    side_view.level_count = 1;
    side_view.levels[0] = {reinterpret_cast<const uint8_t*>(side.pixels.data()), 64 * 4, 64, 64};

    auto submit = [&](Canvas& target, const raster::RasterState& state, const std::vector<Vertex>& vertices) {
        const raster::VertexData data{reinterpret_cast<const uint8_t*>(vertices.data()),
                                      vertices.size() * sizeof(Vertex), sizeof(Vertex), kFvf};
        const auto count = static_cast<uint32_t>(vertices.size() / 3);
        return recorded ? raster::record_draw(target.targets(), state, gfx::PrimitiveType::triangle_list, data, {},
                                              0, 0, count)
                        : raster::draw(target.targets(), state, gfx::PrimitiveType::triangle_list, data, {}, 0, 0,
                                       count);
    };
    auto clear = [&](Canvas& target, const platform::Rect& area, uint32_t flags, uint32_t argb, float z) {
        if (recorded)
            raster::record_clear(target.targets(), area, flags, argb, z);
        else
            raster::clear(target.targets(), area, flags, argb, z);
    };
    auto sprites = [](int count, int seed, float range_x, float range_y) {
        std::vector<Vertex> list;
        for (int i = 0; i < count; ++i) {
            const float cx = static_cast<float>((i * 73 + seed * 17) % static_cast<int>(range_x));
            const float cy = static_cast<float>((i * 41 + seed * 29) % static_cast<int>(range_y));
            const float angle = static_cast<float>(i + seed) * 0.43f;
            const float half = 5.0f + static_cast<float>((i + seed) % 7) * 6.0f;
            const float c = std::cos(angle) * half, d = std::sin(angle) * half;
            const float z = static_cast<float>((i * 7 + seed) % 11) / 11.0f;
            const uint32_t color = 0xC0000000u | static_cast<uint32_t>(i * 0x030507 + seed * 0x0F0000) | 0x606060u;
            const Vertex a{cx - c + d, cy - d - c, z, color, 0, 0};
            const Vertex b{cx + c + d, cy + d - c, z, color, 1, 0};
            const Vertex e{cx - c - d, cy - d + c, z, color, 0, 1};
            const Vertex f{cx + c - d, cy + d + c, z, color, 1, 1};
            list.insert(list.end(), {a, b, e, b, f, e});
        }
        return list;
    };

    raster::RasterState s = screen_state(width, height);
    use_texture(s, texture, gfx::texture_filter::linear);
    s[RenderState::zenable] = 1;
    s[RenderState::alpha_blend_enable] = 1;
    s[RenderState::src_blend] = gfx::blend::src_alpha;
    s[RenderState::dest_blend] = gfx::blend::inv_src_alpha;
    raster::RasterState to_side = screen_state(64, 64);
    to_side[RenderState::zenable] = 0;
    use_texture(to_side, texture, gfx::texture_filter::point);

    clear(canvas, {0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height)},
          gfx::clear_flags::target | gfx::clear_flags::zbuffer, 0xFF203040u, 1.0f);
    EXPECT_TRUE(submit(canvas, s, sprites(60, 1, width, height)));
    // A clear of a middle part, colour and depth, between the draws.
    clear(canvas, {40, 50, 200, 120}, gfx::clear_flags::target | gfx::clear_flags::zbuffer, 0xFF405060u, 0.6f);
    EXPECT_TRUE(submit(side, to_side, quad(4, 4, 60, 60, 0.5f, 0xFFFFFFFFu, 0, 0, 3, 3)));
    EXPECT_TRUE(submit(canvas, s, sprites(40, 2, width, height)));
    // Sampling what was just drawn into the second target.
    raster::RasterState from_side = s;
    from_side.textures[0] = &side_view;
    EXPECT_TRUE(submit(canvas, from_side, quad(20, 30, 180, 170, 0.4f, 0xE0FFFFFFu)));
    // The texture changes between two draws that sample it: the earlier one keeps the old texels.
    raster::settle(texture.levels[0].data(), texture.levels[0].size() * 4);
    for (uint32_t& texel : texture.levels[0])
        texel = ~texel | 0x80000000u;
    EXPECT_TRUE(submit(canvas, s, sprites(40, 3, width, height)));
    // The second target is drawn again once sampled, and sampled once more.
    EXPECT_TRUE(submit(side, to_side, quad(0, 20, 50, 64, 0.5f, 0xFF80FF80u)));
    EXPECT_TRUE(submit(canvas, from_side, quad(100, 10, 250, 190, 0.2f, 0x90FFFFFFu)));
    raster::flush();
    raster::set_thread_count(0);
    return {std::move(canvas), std::move(side)};
}

TEST(GfxRaster, RecordedFramesOfAnyNumberOfThreadsDrawTheOneThreadPicture)
{
    for (const uint32_t samples : {1u, 4u}) {
        const auto [alone, alone_side] = layered_frame(1, samples, false);
        size_t changed = 0;
        for (uint32_t pixel : alone.pixels)
            changed += pixel != 0xFF203040u && pixel != 0xFF405060u;
        ASSERT_GT(changed, alone.pixels.size() / 2) << samples << " samples";
        for (const uint32_t threads : {1u, 2u, 3u, 8u, 13u}) {
            for (const bool recorded : {false, true}) {
                const auto [shared, shared_side] = layered_frame(threads, samples, recorded);
                size_t differing = 0;
                for (size_t i = 0; i < alone.pixels.size(); ++i)
                    differing += alone.pixels[i] != shared.pixels[i];
                EXPECT_EQ(differing, 0u) << threads << " threads, " << samples << " samples, recorded " << recorded;
                EXPECT_EQ(std::memcmp(alone.depth.data(), shared.depth.data(), alone.depth.size() * sizeof(float)), 0)
                    << threads << " threads, " << samples << " samples, recorded " << recorded;
                EXPECT_EQ(alone_side.pixels, shared_side.pixels)
                    << threads << " threads, " << samples << " samples, recorded " << recorded;
            }
        }
    }
}

// A child made by fork while the parent's workers wait (a shell open, the crash question)
// exits at once, or draws the same picture on threads of its own and exits, without
// waiting on the locks and condition variables it copied from the parent.
// A run takes at most the workers it asks for besides the calling thread, runs every task
// once, and runs after runs of other sizes (each wakes the workers it takes).
TEST(GfxRaster, APoolRunTakesTheWorkersItAsksFor)
{
    raster::set_thread_count(4);
    auto& pool = raster::detail::RenderPool::instance();
    struct Record {
        std::mutex mutex;
        std::set<std::thread::id> threads;
        std::vector<int> done;
    };
    for (int round = 0; round < 300; ++round) {
        const uint32_t helpers = static_cast<uint32_t>(round % 4);
        Record record;
        record.done.assign(32, 0);
        pool.run(
            32,
            [](void* context, uint32_t task) {
                auto& r = *static_cast<Record*>(context);
                std::lock_guard lock(r.mutex);
                r.threads.insert(std::this_thread::get_id());
                ++r.done[task];
            },
            &record, helpers);
        ASSERT_LE(record.threads.size(), helpers + 1) << "round " << round;
        ASSERT_TRUE(std::all_of(record.done.begin(), record.done.end(), [](int n) { return n == 1; }))
            << "round " << round;
    }
    raster::set_thread_count(0);
}

TEST(GfxRaster, AForkedChildDrawsTheSamePictureAndExits)
{
    const Canvas parent = busy_frame(4);
    for (const bool draws : {false, true}) {
        raster::set_thread_count(4);
        Canvas scratch(64, 64, 0u, gfx::Format::a8r8g8b8);
        raster::clear(scratch.targets(), {0, 0, 64, 64}, gfx::clear_flags::target, 0xFF000000u, 1.0f);
        usleep(100000); // the workers now wait for the next frame
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const bool same = !draws || busy_frame(4).pixels == parent.pixels;
            std::exit(same ? 0 : 1); // runs the destructors, as a real exit does
        }
        int status = -1;
        for (int i = 0; i < 200; ++i) {
            if (waitpid(child, &status, WNOHANG) == child)
                break;
            usleep(50000);
        }
        if (!WIFEXITED(status)) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            ADD_FAILURE() << "the child did not end; it drew: " << draws;
            continue;
        }
        EXPECT_EQ(WEXITSTATUS(status), 0) << draws;
    }
    raster::set_thread_count(0);
}

// Sample i of pixel (x, y) lies at (x, y) + offset / 16 and is covered by the same
// rule as a pixel centre: left and top edges in, right and bottom edges out.
TEST(GfxRaster, SamplesAreCoveredAndDepthTestedAtTheirOwnPositions)
{
    for (const uint32_t samples : {2u, 4u}) {
        const raster::SampleOffset* offsets = raster::sample_offsets(samples);
        // Edges through pixel (1, 1) at every odd sixteenth (never on a sample), and on
        // the samples themselves.
        for (int left = -8; left <= 8; ++left) {
            for (int top : {-7, -2, 2, 7}) {
                Canvas canvas(3, 3, 0xFF000000u, gfx::Format::a8r8g8b8, samples);
                raster::RasterState s = screen_state(3, 3);
                const float x0 = 1.0f + static_cast<float>(left) / 16.0f;
                const float y0 = 1.0f + static_cast<float>(top) / 16.0f;
                ASSERT_TRUE(draw_list(canvas, s, quad(x0, y0, 2.75f, 2.75f, 0.5f, 0xFFFF0000u), kFvf, false));
                for (uint32_t i = 0; i < samples; ++i) {
                    const bool inside = offsets[i].x >= left && offsets[i].y >= top;
                    EXPECT_EQ(canvas.sample(1, 1, i), inside ? 0xFFFF0000u : 0xFF000000u)
                        << samples << " samples, sample " << i << ", edges at " << left << "/16, " << top << "/16";
                }
            }
        }

        // Depth rising across x: each sample stores (and is tested with) the depth at
        // its own position, so a second quad at the pixel centre's depth passes only
        // where the sample lies right of the centre.
        Canvas canvas(8, 2, 0xFF000000u, gfx::Format::a8r8g8b8, samples);
        raster::RasterState s = screen_state(8, 2);
        s[RenderState::zenable] = 1;
        std::vector<Vertex> ramp = quad(-0.5f, -0.5f, 7.5f, 1.5f);
        for (Vertex& v : ramp)
            v.z = (v.x + 0.5f) / 8.0f;
        ASSERT_TRUE(draw_list(canvas, s, ramp));
        const float centre = 4.5f / 8.0f;
        for (uint32_t i = 0; i < samples; ++i)
            EXPECT_NEAR(canvas.sample_z(4, 0, i), centre + offsets[i].x / 16.0f / 8.0f, 1e-6f) << i;
        s[RenderState::zfunc] = gfx::compare::greater;
        ASSERT_TRUE(draw_list(canvas, s, quad(3.5f, -0.5f, 4.5f, 1.5f, centre, 0xFF00FF00u)));
        for (uint32_t i = 0; i < samples; ++i)
            EXPECT_EQ(canvas.sample(4, 0, i), offsets[i].x < 0 ? 0xFF00FF00u : 0xFFFFFFFFu) << i;

        // Antialiasing off: every sample takes the centre's coverage. The mask keeps
        // samples from being written.
        Canvas plain(3, 3, 0xFF000000u, gfx::Format::a8r8g8b8, samples);
        raster::RasterState off = screen_state(3, 3);
        off[RenderState::multisample_antialias] = 0;
        off[RenderState::multisample_mask] = 0xFFFFFFFEu;
        ASSERT_TRUE(draw_list(plain, off, quad(0.9375f, 0.9375f, 2.75f, 2.75f, 0.5f, 0xFFFF0000u), kFvf, false));
        for (uint32_t i = 0; i < samples; ++i)
            EXPECT_EQ(plain.sample(1, 1, i), i == 0 ? 0xFF000000u : 0xFFFF0000u) << i;
    }
}

TEST(GfxRaster, ResolveAveragesTheSamples)
{
    struct Case {
        gfx::Format format;
        uint32_t samples;
        std::vector<uint32_t> values; // the samples of one pixel, as ARGB
        uint32_t average;
    };
    const Case cases[] = {
        {gfx::Format::a8r8g8b8, 4, {0xFFFF0000u, 0xFFFF0000u, 0x00000000u, 0x000000FFu}, 0x80800040u},
        {gfx::Format::a8r8g8b8, 2, {0xFF102030u, 0x01112233u}, 0x80112132u},
        {gfx::Format::x8r8g8b8, 4, {0xFFFFFFFFu, 0xFF000000u, 0xFF000000u, 0xFF000000u}, 0xFF404040u},
        {gfx::Format::r5g6b5, 2, {0xFFFF0000u, 0xFF0000FFu}, 0xFF840084u},
    };
    for (const Case& c : cases) {
        const uint32_t bytes = gfx::bytes_per_pixel(c.format);
        std::vector<uint8_t> samples(c.samples * bytes * 2), pixels(bytes * 2);
        for (uint32_t i = 0; i < c.samples; ++i) {
            gfx::encode_color(c.format, c.values[i], &samples[i * bytes]);
            gfx::encode_color(c.format, 0xFF000000u, &samples[(c.samples + i) * bytes]);
        }
        const raster::ColorView from{samples.data(), static_cast<int32_t>(samples.size()), 2, 1, c.format, c.samples};
        raster::ColorView to{pixels.data(), static_cast<int32_t>(pixels.size()), 2, 1, c.format};
        ASSERT_TRUE(raster::resolve(from, to));
        EXPECT_EQ(gfx::decode_color(c.format, pixels.data()), c.average) << c.samples;
        EXPECT_EQ(gfx::decode_color(c.format, pixels.data() + bytes), 0xFF000000u);
        to.format = gfx::Format::a1r5g5b5;
        EXPECT_FALSE(raster::resolve(from, to));
    }
}

class GfxRasterDevice : public gfx_test::DeviceTest {
protected:
    uint32_t back_buffer_pixel(uint32_t x, uint32_t y) const
    {
        const gfx::Surface* surface = device->back_buffer();
        uint32_t pixel;
        std::memcpy(&pixel, surface->pixels() + size_t{y} * surface->pitch() + size_t{x} * 4, 4);
        return pixel;
    }

    void screen_space()
    {
        gfx::Matrix projection;
        projection.m[0][0] = 2.0f / 640.0f;
        projection.m[1][1] = -2.0f / 480.0f;
        projection.m[3][0] = -1.0f;
        projection.m[3][1] = 1.0f;
        ASSERT_EQ(device->set_transform(gfx::TransformState::projection, projection), gfx::ok);
        ASSERT_EQ(device->set_render_state(RenderState::lighting, 0), gfx::ok);
        ASSERT_EQ(device->set_fvf(kFvf), gfx::ok);
    }
};

TEST_F(GfxRasterDevice, DrawCallsPaintTheBackBuffer)
{
    screen_space();
    gfx::Texture* texture = nullptr;
    ASSERT_EQ(device->create_texture(2, 2, 1, 0, gfx::Format::a8r8g8b8, gfx::Pool::managed, &texture, nullptr),
              gfx::ok);
    gfx::LockedRect locked;
    ASSERT_EQ(texture->lock_rect(0, &locked, nullptr, 0), gfx::ok);
    const uint32_t texels[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    for (int y = 0; y < 2; ++y)
        std::memcpy(static_cast<uint8_t*>(locked.bits) + y * locked.pitch, texels + 2 * y, 8);
    ASSERT_EQ(texture->unlock_rect(0), gfx::ok);
    ASSERT_EQ(device->set_texture(0, texture), gfx::ok);
    ASSERT_EQ(device->clear(0, nullptr, gfx::clear_flags::target | gfx::clear_flags::zbuffer, 0xFF000000u, 1.0f, 0),
              gfx::ok);
    ASSERT_EQ(device->begin_scene(), gfx::ok);

    // A user-pointer quad, one texel per pixel at (10, 20).
    const std::vector<Vertex> up = quad(9.5f, 19.5f, 11.5f, 21.5f, 0.5f);
    ASSERT_EQ(device->draw_primitive_up(gfx::PrimitiveType::triangle_list, 2, up.data(), sizeof(Vertex)), gfx::ok);

    // The same from vertex and index buffers at (100, 50), behind the depth of the first.
    const std::vector<Vertex> corners = {{99.5f, 49.5f, 0.25f, 0xFFFFFFFFu, 0, 0}, {101.5f, 49.5f, 0.25f, 0xFFFFFFFFu, 1, 0},
                                         {99.5f, 51.5f, 0.25f, 0xFFFFFFFFu, 0, 1}, {101.5f, 51.5f, 0.25f, 0xFFFFFFFFu, 1, 1}};
    const uint16_t order[6] = {0, 1, 2, 1, 3, 2};
    gfx::VertexBuffer* vb = nullptr;
    gfx::IndexBuffer* ib = nullptr;
    ASSERT_EQ(device->create_vertex_buffer(sizeof(Vertex) * 4, gfx::usage::write_only, kFvf, gfx::Pool::managed, &vb,
                                           nullptr),
              gfx::ok);
    ASSERT_EQ(device->create_index_buffer(12, gfx::usage::write_only, gfx::Format::index16, gfx::Pool::managed, &ib,
                                          nullptr),
              gfx::ok);
    void* data = nullptr;
    ASSERT_EQ(vb->lock(0, 0, &data, 0), gfx::ok);
    std::memcpy(data, corners.data(), sizeof(Vertex) * 4);
    ASSERT_EQ(vb->unlock(), gfx::ok);
    ASSERT_EQ(ib->lock(0, 0, &data, 0), gfx::ok);
    std::memcpy(data, order, sizeof order);
    ASSERT_EQ(ib->unlock(), gfx::ok);
    ASSERT_EQ(device->set_stream_source(0, vb, 0, sizeof(Vertex)), gfx::ok);
    ASSERT_EQ(device->set_indices(ib), gfx::ok);
    ASSERT_EQ(device->draw_indexed_primitive(gfx::PrimitiveType::triangle_list, 0, 0, 4, 0, 2), gfx::ok);
    // Drawn again further away: the depth test keeps the first.
    ASSERT_EQ(device->set_texture(0, nullptr), gfx::ok);
    ASSERT_EQ(device->set_transform(gfx::world_transform(0), [] {
        gfx::Matrix m;
        m.m[3][2] = 0.5f;
        return m;
    }()), gfx::ok);
    ASSERT_EQ(device->draw_primitive(gfx::PrimitiveType::triangle_list, 0, 1), gfx::ok);
    ASSERT_EQ(device->end_scene(), gfx::ok);

    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(back_buffer_pixel(10 + i % 2, 20 + i / 2), texels[i]) << i;
        EXPECT_EQ(back_buffer_pixel(100 + i % 2, 50 + i / 2), texels[i]) << i;
    }
    EXPECT_EQ(back_buffer_pixel(12, 20), 0xFF000000u);
    EXPECT_EQ(back_buffer_pixel(99, 50), 0xFF000000u);
    ASSERT_EQ(device->set_indices(nullptr), gfx::ok);
    ASSERT_EQ(device->set_stream_source(0, nullptr, 0, 0), gfx::ok);
    vb->release();
    ib->release();
    texture->release();
}

// The device keeps a frame's draws until the frame is read: what a draw showed is what
// its texture and vertices held when it was made, though the texture is locked and
// changed, the vertex buffer rewritten and the texture released before the frame is
// read back.
TEST_F(GfxRasterDevice, DrawsShowTheirTexturesAndVerticesAsTheyWereWhenMade)
{
    screen_space();
    gfx::Texture* texture = nullptr;
    ASSERT_EQ(device->create_texture(1, 2, 1, 0, gfx::Format::a8r8g8b8, gfx::Pool::managed, &texture, nullptr),
              gfx::ok);
    auto fill = [&](uint32_t top, uint32_t bottom) {
        gfx::LockedRect locked;
        ASSERT_EQ(texture->lock_rect(0, &locked, nullptr, 0), gfx::ok);
        std::memcpy(locked.bits, &top, 4);
        std::memcpy(static_cast<uint8_t*>(locked.bits) + locked.pitch, &bottom, 4);
        ASSERT_EQ(texture->unlock_rect(0), gfx::ok);
    };
    gfx::VertexBuffer* vb = nullptr;
    ASSERT_EQ(device->create_vertex_buffer(sizeof(Vertex) * 6, gfx::usage::write_only, kFvf, gfx::Pool::managed, &vb,
                                           nullptr),
              gfx::ok);
    auto vertices = [&](float x0, float y0, float x1, float y1) {
        const std::vector<Vertex> corners = quad(x0, y0, x1, y1);
        void* data = nullptr;
        ASSERT_EQ(vb->lock(0, 0, &data, 0), gfx::ok);
        std::memcpy(data, corners.data(), sizeof(Vertex) * 6);
        ASSERT_EQ(vb->unlock(), gfx::ok);
    };
    ASSERT_EQ(device->clear(0, nullptr, gfx::clear_flags::target, 0xFF000000u, 1.0f, 0), gfx::ok);
    ASSERT_EQ(device->begin_scene(), gfx::ok);
    ASSERT_EQ(device->set_texture(0, texture), gfx::ok);
    ASSERT_EQ(device->set_stream_source(0, vb, 0, sizeof(Vertex)), gfx::ok);
    // Three quads of 200 × 200 pixels (enough to be shared among threads), overlapping
    // in x from 150 to 200: each texel covers 100 rows.
    fill(0xFFFF0000u, 0xFF00FF00u);
    vertices(-0.5f, 9.5f, 199.5f, 209.5f);
    ASSERT_EQ(device->draw_primitive(gfx::PrimitiveType::triangle_list, 0, 2), gfx::ok);
    fill(0xFF0000FFu, 0xFFFFFF00u);
    vertices(149.5f, 9.5f, 349.5f, 209.5f);
    ASSERT_EQ(device->draw_primitive(gfx::PrimitiveType::triangle_list, 0, 2), gfx::ok);
    ASSERT_EQ(device->clear(1, std::array{platform::Rect{0, 0, 20, 480}}.data(), gfx::clear_flags::target, 0xFF808080u,
                            1.0f, 0),
              gfx::ok);
    fill(0xFF00FFFFu, 0xFFFF00FFu);
    vertices(299.5f, 9.5f, 499.5f, 209.5f);
    ASSERT_EQ(device->draw_primitive(gfx::PrimitiveType::triangle_list, 0, 2), gfx::ok);
    ASSERT_EQ(device->set_texture(0, nullptr), gfx::ok);
    ASSERT_EQ(device->set_stream_source(0, nullptr, 0, 0), gfx::ok);
    texture->release();
    vb->release();
    ASSERT_EQ(device->end_scene(), gfx::ok);

    const struct {
        uint32_t x, y, expected;
    } cases[] = {
        {10, 50, 0xFF808080u},  {10, 150, 0xFF808080u}, {100, 50, 0xFFFF0000u}, {100, 150, 0xFF00FF00u},
        {175, 50, 0xFF0000FFu}, {175, 150, 0xFFFFFF00u}, {250, 50, 0xFF0000FFu}, {320, 50, 0xFF00FFFFu},
        {320, 150, 0xFFFF00FFu}, {498, 208, 0xFFFF00FFu}, {505, 50, 0xFF000000u}, {100, 5, 0xFF000000u},
    };
    for (const auto& c : cases)
        EXPECT_EQ(back_buffer_pixel(c.x, c.y), c.expected) << c.x << ", " << c.y;
}

// Draws that write no depth skip reading it while the device knows the depth surface
// holds one value; clears of part of it and draws that write depth end that.
TEST_F(GfxRasterDevice, DepthTestsFollowPartialClearsAndDepthWrites)
{
    screen_space();
    ASSERT_EQ(device->set_render_state(RenderState::zwrite_enable, 0), gfx::ok);
    const auto clear_depth = [&](const platform::Rect* rect, float z) {
        ASSERT_EQ(device->clear(rect ? 1 : 0, rect, gfx::clear_flags::zbuffer, 0, z, 0), gfx::ok);
    };
    const auto draw = [&](float x0, float x1, float z, uint32_t color) {
        const std::vector<Vertex> quad_vertices = quad(x0, 9.5f, x1, 11.5f, z, color);
        ASSERT_EQ(device->draw_primitive_up(gfx::PrimitiveType::triangle_list, 2, quad_vertices.data(), sizeof(Vertex)),
                  gfx::ok);
    };
    ASSERT_EQ(device->clear(0, nullptr, gfx::clear_flags::target, 0xFF000000u, 1.0f, 0), gfx::ok);
    ASSERT_EQ(device->begin_scene(), gfx::ok);
    clear_depth(nullptr, 1.0f);
    draw(-0.5f, 9.5f, 0.5f, 0xFF0000FFu); // passes everywhere
    const platform::Rect left{0, 0, 5, 480};
    clear_depth(&left, 0.25f);
    draw(-0.5f, 9.5f, 0.5f, 0xFF00FF00u); // hidden left of x = 5
    clear_depth(nullptr, 1.0f);
    ASSERT_EQ(device->set_render_state(RenderState::zwrite_enable, 1), gfx::ok);
    draw(19.5f, 24.5f, 0.25f, 0xFF000000u); // writes depth at x 20..24
    ASSERT_EQ(device->set_render_state(RenderState::zwrite_enable, 0), gfx::ok);
    draw(19.5f, 29.5f, 0.5f, 0xFFFF0000u); // hidden where it was written
    ASSERT_EQ(device->end_scene(), gfx::ok);
    EXPECT_EQ(back_buffer_pixel(2, 10), 0xFF0000FFu);
    EXPECT_EQ(back_buffer_pixel(7, 10), 0xFF00FF00u);
    EXPECT_EQ(back_buffer_pixel(22, 10), 0xFF000000u);
    EXPECT_EQ(back_buffer_pixel(27, 10), 0xFFFF0000u);
}

// A frame whose strips of rows hold what the same draws drew last time keeps them: the
// frames are byte for byte those of drawing everything, whatever changes between frames
// (a quad that moves, a texture's texels rewritten in place, a render target drawn
// anew, the back buffer written outside the draws, draws that pile up without a clear),
// and where nothing changed no row is drawn again.
TEST_F(GfxRasterDevice, KeptStripsGiveTheFramesOfDrawingEverything)
{
    screen_space();
    const gfx::Surface* back_buffer = device->back_buffer();
    const uint32_t width = back_buffer->width();
    const uint32_t height = back_buffer->height();
    struct Scene {
        gfx::Texture* texture = nullptr; // 2 x 2, under the whole frame
        gfx::Texture* target = nullptr;  // 64 x 64 render target, shown at (300, 300)
    };
    enum class Change { none, moving_quad, texels, target, back_buffer_written, piling_up };
    const auto fill = [](gfx::Texture* texture, uint32_t seed) {
        gfx::LockedRect locked;
        ASSERT_EQ(texture->lock_rect(0, &locked, nullptr, 0), gfx::ok);
        for (uint32_t y = 0; y < 2; ++y) {
            const uint32_t row[2] = {0xFF000000u | (seed * 0x10203u + y * 0x400000u), 0xFF00FF00u ^ (seed << 4)};
            std::memcpy(static_cast<uint8_t*>(locked.bits) + y * locked.pitch, row, 8);
        }
        ASSERT_EQ(texture->unlock_rect(0), gfx::ok);
    };
    const auto draw = [&](const std::vector<Vertex>& vertices) {
        ASSERT_EQ(device->draw_primitive_up(gfx::PrimitiveType::triangle_list, 2, vertices.data(), sizeof(Vertex)),
                  gfx::ok);
    };
    gfx::Surface* back = nullptr;
    gfx::Surface* depth = nullptr;
    ASSERT_EQ(device->get_render_target(0, &back), gfx::ok);
    ASSERT_EQ(device->get_depth_stencil_surface(&depth), gfx::ok);
    // One frame: the render target drawn, then the back buffer cleared and the textured
    // background (but when draws pile up), the render target's picture and a translucent
    // quad.
    // The quads' alpha is their vertices' times their texture's.
    ASSERT_EQ(device->set_texture_stage_state(0, TextureStageState::alpha_op, gfx::texture_op::modulate), gfx::ok);
    const auto frame = [&](Scene& scene, Change change, int number) {
        ASSERT_EQ(device->set_render_state(RenderState::alpha_blend_enable, 0), gfx::ok);
        ASSERT_EQ(device->set_render_state(RenderState::src_blend, gfx::blend::src_alpha), gfx::ok);
        ASSERT_EQ(device->set_render_state(RenderState::dest_blend, gfx::blend::inv_src_alpha), gfx::ok);
        gfx::Surface* target_surface = nullptr;
        ASSERT_EQ(scene.target->get_surface_level(0, &target_surface), gfx::ok);
        ASSERT_EQ(device->set_render_target(0, target_surface), gfx::ok);
        ASSERT_EQ(device->set_depth_stencil_surface(nullptr), gfx::ok);
        ASSERT_EQ(device->begin_scene(), gfx::ok);
        ASSERT_EQ(device->clear(0, nullptr, gfx::clear_flags::target, 0xFF102030u, 1.0f, 0), gfx::ok);
        ASSERT_EQ(device->set_texture(0, nullptr), gfx::ok);
        const uint32_t shade = change == Change::target && number >= 2 ? 0xFFFF8000u : 0xFF0080FFu;
        draw(quad(7.5f, 7.5f, 40.5f, 40.5f, 0.5f, shade));
        ASSERT_EQ(device->end_scene(), gfx::ok);
        target_surface->release();
        ASSERT_EQ(device->set_render_target(0, back), gfx::ok);
        ASSERT_EQ(device->set_depth_stencil_surface(depth), gfx::ok);
        ASSERT_EQ(device->begin_scene(), gfx::ok);
        if (change != Change::piling_up || number == 0)
            ASSERT_EQ(device->clear(0, nullptr, gfx::clear_flags::target | gfx::clear_flags::zbuffer, 0xFF000000u,
                                    1.0f, 0),
                      gfx::ok);
        ASSERT_EQ(device->set_render_state(RenderState::alpha_blend_enable, 0), gfx::ok);
        ASSERT_EQ(device->set_texture(0, scene.texture), gfx::ok);
        if (change != Change::piling_up || number == 0)
            draw(quad(-0.5f, -0.5f, width - 0.5f, height - 0.5f, 0.9f));
        ASSERT_EQ(device->set_texture(0, scene.target), gfx::ok);
        draw(quad(299.5f, 299.5f, 363.5f, 363.5f, 0.5f));
        ASSERT_EQ(device->set_texture(0, nullptr), gfx::ok);
        ASSERT_EQ(device->set_render_state(RenderState::alpha_blend_enable, 1), gfx::ok);
        const float x = change == Change::moving_quad ? 100.5f + 3.0f * number : 100.5f;
        draw(quad(x, 200.5f, x + 20.0f, 220.5f, 0.4f, 0x60FFFFFFu));
        ASSERT_EQ(device->end_scene(), gfx::ok);
    };
    const auto between = [&](Scene& scene, Change change, int number) {
        if (change == Change::texels && number == 2)
            fill(scene.texture, 7);
        if (change == Change::back_buffer_written && number == 2)
            std::memset(device->back_buffer()->pixels() + 100 * back_buffer->pitch(), 0x55, back_buffer->pitch());
    };
    struct Run {
        std::vector<std::vector<uint8_t>> frames;
        std::vector<std::vector<raster::RowRange>> changed; // per frame from the second on
    };
    const auto play = [&](Change change, bool keep) {
        raster::set_keep_unchanged(keep);
        Scene scene;
        EXPECT_EQ(device->create_texture(2, 2, 1, 0, gfx::Format::a8r8g8b8, gfx::Pool::managed, &scene.texture,
                                         nullptr),
                  gfx::ok);
        EXPECT_EQ(device->create_texture(64, 64, 1, gfx::usage::render_target, gfx::Format::a8r8g8b8,
                                         gfx::Pool::default_pool, &scene.target, nullptr),
                  gfx::ok);
        fill(scene.texture, 1);
        Run run;
        std::vector<raster::RowRange> rows;
        for (int number = 0; number < 5; ++number) {
            between(scene, change, number);
            frame(scene, change, number);
            const uint8_t* pixels = std::as_const(*back_buffer).pixels();
            run.frames.emplace_back(pixels, pixels + size_t{back_buffer->pitch()} * height);
            const bool known = raster::changed_rows(pixels, rows);
            if (number > 0) {
                // Memory written outside the draws leaves what it holds unknown to the rasterizer.
                EXPECT_EQ(known, keep && !(change == Change::back_buffer_written && number == 2)) << number;
                run.changed.push_back(rows);
            }
        }
        scene.texture->release();
        scene.target->release();
        return run;
    };
    const struct {
        Change change;
        const char* name;
        // Rows that may change from the second frame on, as far as it is known ([0, 0): none).
        uint32_t first_row, last_row;
    } cases[] = {
        {Change::none, "nothing changes", 0, 0},
        {Change::moving_quad, "a quad moves", 192, 224},
        {Change::texels, "a texture's texels are rewritten in place", 0, height},
        {Change::target, "a render target is drawn anew", 288, 368},
        {Change::back_buffer_written, "the back buffer is written outside the draws", 0, 0},
        // Nothing tells that the background covers what the last frame left.
        {Change::piling_up, "draws pile up without a clear", 0, height},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Run kept = play(c.change, true);
        const Run drawn = play(c.change, false);
        ASSERT_EQ(kept.frames.size(), drawn.frames.size());
        for (size_t i = 0; i < kept.frames.size(); ++i)
            EXPECT_TRUE(kept.frames[i] == drawn.frames[i]) << "frame " << i;
        for (size_t i = 0; i < kept.changed.size(); ++i) {
            for (const raster::RowRange& range : kept.changed[i]) {
                EXPECT_GE(range.first, c.first_row) << "frame " << i + 1;
                EXPECT_LE(range.last, c.last_row) << "frame " << i + 1;
            }
        }
    }
    raster::set_keep_unchanged(true);
    back->release();
    depth->release();
}

// A back buffer of 4 samples: clears and draws reach every sample, and the frame read
// from it is their average.
TEST_F(GfxRasterDevice, AMultisampledBackBufferIsAveragedWhenRead)
{
    ASSERT_EQ(device->release(), 0u);
    device = nullptr;
    // The rasterizer draws 4 samples though the default adapter only offers 2.
    for (const gfx::Format format : {gfx::Format::x8r8g8b8, gfx::Format::d24x8})
        gfx::configuration().adapters[0].multisample.emplace_back(format, 4u);
    gfx::PresentParameters parameters = windowed_parameters();
    parameters.multisample_type = gfx::multisample::samples_4;
    ASSERT_EQ(factory->create_device(0, gfx::DeviceType::hal, window, gfx::create_flags::hardware_vertex_processing,
                                     &parameters, &device),
              gfx::ok);
    ASSERT_EQ(device->back_buffer()->samples(), 4u);
    screen_space();
    ASSERT_EQ(device->clear(0, nullptr, gfx::clear_flags::target | gfx::clear_flags::zbuffer, 0xFF000000u, 1.0f, 0),
              gfx::ok);
    ASSERT_EQ(device->begin_scene(), gfx::ok);
    // Its left edge at x = 10: pixel 10's samples right of its centre are covered.
    const std::vector<Vertex> quad_vertices = quad(10.0f, 9.5f, 20.5f, 11.5f, 0.5f, 0xFFFFFFFFu);
    ASSERT_EQ(device->draw_primitive_up(gfx::PrimitiveType::triangle_list, 2, quad_vertices.data(), sizeof(Vertex)),
              gfx::ok);
    ASSERT_EQ(device->end_scene(), gfx::ok);
    gfx::PresentedFrame frame;
    gfx::read_back_buffer(*device->back_buffer(), frame);
    const auto pixel = [&](uint32_t x, uint32_t y) {
        uint32_t value;
        std::memcpy(&value, &frame.pixels[(size_t{y} * frame.width + x) * 4], 4);
        return value;
    };
    EXPECT_EQ(pixel(9, 10), 0xFF000000u);
    EXPECT_EQ(pixel(10, 10), 0xFF808080u); // two of the four samples
    EXPECT_EQ(pixel(15, 10), 0xFFFFFFFFu);
    EXPECT_EQ(pixel(15, 12), 0xFF000000u);
}

} // namespace

// QUILLO_RENDER_THREADS: a count from 1 to 256 is taken; anything else draws with one
// thread per processor the game may use and says so on stderr, naming the value and the count used.
TEST(GfxRasterEnvironment, ABadThreadCountSaysWhatIsUsedInstead)
{
    const uint32_t processors = std::min(platform::usable_processors(), 256u);
    const std::string fallback = "drawing with " + std::to_string(processors) + " (one per processor it may use)\n";
    struct Case {
        const char* value; // null: unset
        uint32_t expected; // 0: one per processor
        bool said;
    } const cases[] = {{nullptr, 0, false}, {"3", 3, false}, {"256", 256, false}, {"0", 0, true},
                       {"257", 0, true},    {"two", 0, true}, {"4 ", 0, true},    {"-2", 0, true}};
    for (const Case& c : cases) {
        const std::string label = c.value ? c.value : "(unset)";
        if (c.value)
            setenv("QUILLO_RENDER_THREADS", c.value, 1);
        else
            unsetenv("QUILLO_RENDER_THREADS");
        testing::internal::CaptureStderr();
        const uint32_t threads = raster::detail::configured_threads();
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(threads, c.expected ? c.expected : processors) << label;
        if (c.said)
            EXPECT_EQ(said, "quillo: QUILLO_RENDER_THREADS=\"" + label + "\" is not a thread count from 1 to 256; " +
                                fallback)
                << label;
        else
            EXPECT_EQ(said, "") << label;
    }
    unsetenv("QUILLO_RENDER_THREADS");
}
