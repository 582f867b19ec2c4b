#pragma once

// Shared by the rasterizer's geometry (vertices, clipping, scan conversion), its per-draw
// set-up and its recording of draws; not for users of the rasterizer.

#include "platform/gfx/raster_internal.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

namespace platform::gfx::raster::detail {

// Screen positions are snapped to 1/256 pixel.
constexpr int kSubpixelBits = 8;
constexpr int64_t kSubpixel = int64_t{1} << kSubpixelBits;
// Triangles are clipped to this many pixels around the viewport's centre, which keeps
// the fixed-point edge arithmetic far from overflow.
constexpr double kGuardPixels = 8192.0;
constexpr double kMinimumW = 1e-6;
// Largest viewport or target coordinate drawn.
constexpr int64_t kMaxCoordinate = 32768;
constexpr uint32_t kMaxClipVertices = 16;

namespace rs {
constexpr uint32_t number(RenderState state)
{
    return static_cast<uint32_t>(state);
}
constexpr uint32_t zenable = number(RenderState::zenable);
constexpr uint32_t zwrite = number(RenderState::zwrite_enable);
constexpr uint32_t alpha_test = number(RenderState::alpha_test_enable);
constexpr uint32_t src_blend = number(RenderState::src_blend);
constexpr uint32_t dest_blend = number(RenderState::dest_blend);
constexpr uint32_t cull = number(RenderState::cull_mode);
constexpr uint32_t zfunc = number(RenderState::zfunc);
constexpr uint32_t alpha_ref = number(RenderState::alpha_ref);
constexpr uint32_t alpha_func = number(RenderState::alpha_func);
constexpr uint32_t alpha_blend = number(RenderState::alpha_blend_enable);
constexpr uint32_t texture_factor = number(RenderState::texture_factor);
constexpr uint32_t lighting = number(RenderState::lighting);
constexpr uint32_t ambient = number(RenderState::ambient);
constexpr uint32_t color_vertex = number(RenderState::color_vertex);
constexpr uint32_t normalize_normals = number(RenderState::normalize_normals);
constexpr uint32_t diffuse_source = number(RenderState::diffuse_material_source);
constexpr uint32_t ambient_source = number(RenderState::ambient_material_source);
constexpr uint32_t emissive_source = number(RenderState::emissive_material_source);
constexpr uint32_t point_size = number(RenderState::point_size);
constexpr uint32_t point_sprite = number(RenderState::point_sprite_enable);
constexpr uint32_t multisample_antialias = number(RenderState::multisample_antialias);
constexpr uint32_t multisample_mask = number(RenderState::multisample_mask);
constexpr uint32_t point_size_max = number(RenderState::point_size_max);
constexpr uint32_t color_write = number(RenderState::color_write_enable);
constexpr uint32_t blend_op = number(RenderState::blend_op);
} // namespace rs

inline uint32_t stage_state(const RasterState& state, uint32_t stage, TextureStageState which)
{
    return state.stage_states[stage][static_cast<uint32_t>(which)];
}

inline uint32_t sampler_state(const RasterState& state, uint32_t stage, SamplerState which)
{
    return state.sampler_states[stage][static_cast<uint32_t>(which)];
}

inline float word_float(uint32_t word) { return std::bit_cast<float>(word); }

struct Color4 {
    double r = 0, g = 0, b = 0, a = 0;
};

inline Color4 from_value(const ColorValue& c) { return {c.r, c.g, c.b, c.a}; }

inline Color4 from_word(uint32_t argb)
{
    return {((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
            (argb >> 24) / 255.0};
}

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline double length(Vec3 a) { return std::sqrt(dot(a, a)); }

using Matrix4d = std::array<std::array<double, 4>, 4>;

inline Matrix4d to_double(const Matrix& m)
{
    Matrix4d r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r[i][j] = m.m[i][j];
    return r;
}

inline Matrix4d product(const Matrix4d& a, const Matrix4d& b)
{
    Matrix4d r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j] + a[i][3] * b[3][j];
    return r;
}

struct Layout {
    bool ok = false;
    uint32_t size = 0;
    int normal = -1;
    int psize = -1;
    int diffuse = -1;
    int specular = -1;
    uint32_t sets = 0;
    uint32_t set_offset[8] = {};
    uint32_t set_floats[8] = {};
};

Layout parse_layout(uint32_t fvf);


inline float read_float(const uint8_t* p)
{
    float value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

inline uint32_t read_word(const uint8_t* p)
{
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

struct ClipVertex {
    double x = 0, y = 0, z = 0, w = 1;
    float size = 1.0f; // point size
    float attributes[kMaxAttributes] = {};
};

struct ScreenVertex {
    int64_t X = 0, Y = 0; // snapped, in 1/256 pixel
    double x = 0, y = 0;  // the same in pixels
    double z = 0;
    double rhw = 1;
    float attributes[kMaxAttributes] = {};
};


// ceil(n / d) for d > 0.
inline int64_t ceil_div(int64_t n, int64_t d)
{
    const int64_t q = n / d;
    return q + ((n % d) > 0 ? 1 : 0);
}

inline int64_t floor_div(int64_t n, int64_t d)
{
    const int64_t q = n / d;
    return q - ((n % d) < 0 ? 1 : 0);
}

inline bool valid_samples(uint32_t samples)
{
    return samples == 1 || samples == 2 || samples == 4;
}

// Per draw, worked out once when it is recorded: what its pixels need (the texture stages,
// the tests, the blend, the targets), the rectangle it may draw in, and how its vertices
// are transformed and lit.
struct DrawSetup {
    PixelState pixel;
    bool drawable = false;
    // Values of a transformed vertex that the pixels read: diffuse, then the coordinates
    // of the stages that sample a texture.
    int attribute_count = kColorAttributes;
    int scissor_x0 = 0, scissor_y0 = 0, scissor_x1 = 0, scissor_y1 = 0;
    Viewport viewport;
    float point_size_max = 64.0f;

    Matrix4d wvp{};
    Matrix4d world{};
    Matrix4d normal_matrix{};
    bool lighting = false;
    double guard_x = 1.0, guard_y = 1.0;
    uint32_t cull = cull::counter_clockwise;
    bool point_sprites = false;
};

// Works out `setup` for a draw of `state` into `targets`. The textures of the state must
// stay where they are as long as the set-up is used.
void setup_draw(DrawSetup& setup, const Targets& targets, const RasterState& state);
// Reads again the colours of the one-texel textures, whose memory recorded work may have
// changed since the set-up.
void reread_texture_colors(DrawSetup& setup);

// Transforms (and lights) the vertices [first, first + count) of the data into `processed`.
void process_vertices(const DrawSetup& setup, const RasterState& state, const Layout& layout,
                      const VertexData& vertices, uint32_t first, uint32_t count, std::vector<ClipVertex>& processed);

// One primitive of a draw, in drawing order, with the rows it may touch.
struct Op {
    enum Kind : uint8_t { triangle, quad, point };
    Kind kind = triangle;
    uint32_t v[4] = {};
    int64_t y0 = 0;
    int64_t y1 = 0;
    // Its kind and its corners as transformed: what its pixels depend on besides the draw.
    uint64_t hash = 0;
};

// The transformed vertices of a draw: vertex number `first` + i is `vertices[i]`.
struct Processed {
    const DrawSetup& setup;
    const std::vector<ClipVertex>& vertices;
    uint32_t first = 0;
};

// A superset of the rows the corners can cover, or every row when one of them needs
// clipping (or is no number).
void primitive_rows(const Processed& draw, const uint32_t* corners, int count, int64_t& y0, int64_t& y1);

// Whether the quad p, s, q, r (screen order) made of the triangles (p, q, r) and (q, p, s)
// can be drawn in one pass with the same picture: no clipping, no perspective, convex, and
// the second triangle on the first one's planes.
bool forms_quad(const Processed& draw, uint32_t p, uint32_t s, uint32_t q, uint32_t r);

// Draws the primitives over rows [y0, y1) only. Everything else about a primitive (its
// planes, its reference pixel, its sampling) is worked out as for the whole target, so
// that drawing in bands gives the very same pixels.
void draw_ops(const Processed& draw, const std::vector<Op>& ops, int64_t y0, int64_t y1);

} // namespace platform::gfx::raster::detail
