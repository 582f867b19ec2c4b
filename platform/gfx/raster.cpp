// The geometry stage of the rasterizer: vertex fetch, transform and lighting,
// clipping, culling, triangle setup and the scan conversion that hands rows of
// pixels to the span shader (raster_pixels.cpp).

#include "platform/gfx/raster.h"

#include "platform/gfx/raster_internal.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::gfx::raster {

using namespace detail;

namespace {

constexpr uint32_t float_word(float value)
{
    return std::bit_cast<uint32_t>(value);
}

} // namespace

RasterState::RasterState()
{
    // The device's defaults.
    const struct {
        RenderState state;
        uint32_t value;
    } defaults[] = {
        {RenderState::zenable, zbuffer_type::enabled},
        {RenderState::zwrite_enable, 1},
        {RenderState::src_blend, blend::one},
        {RenderState::dest_blend, blend::zero},
        {RenderState::cull_mode, cull::counter_clockwise},
        {RenderState::zfunc, compare::less_equal},
        {RenderState::alpha_func, compare::always},
        {RenderState::texture_factor, 0xFFFFFFFFu},
        {RenderState::lighting, 1},
        {RenderState::color_vertex, 1},
        {RenderState::diffuse_material_source, material_source::color1},
        {RenderState::specular_material_source, material_source::color2},
        {RenderState::ambient_material_source, material_source::material},
        {RenderState::emissive_material_source, material_source::material},
        {RenderState::point_size, float_word(1.0f)},
        {RenderState::multisample_antialias, 1},
        {RenderState::multisample_mask, 0xFFFFFFFFu},
        {RenderState::point_size_max, float_word(64.0f)},
        {RenderState::color_write_enable, 0xF}, // every channel
        {RenderState::blend_op, blend_op::add},
    };
    for (const auto& entry : defaults)
        (*this)[entry.state] = entry.value;
    for (uint32_t i = 0; i < max_texture_stages; ++i) {
        auto& stage = stage_states[i];
        stage[static_cast<uint32_t>(TextureStageState::color_op)] =
            i == 0 ? texture_op::modulate : texture_op::disable;
        stage[static_cast<uint32_t>(TextureStageState::color_arg1)] = texture_arg::texture;
        stage[static_cast<uint32_t>(TextureStageState::color_arg2)] = texture_arg::current;
        stage[static_cast<uint32_t>(TextureStageState::alpha_op)] =
            i == 0 ? texture_op::select_arg1 : texture_op::disable;
        stage[static_cast<uint32_t>(TextureStageState::alpha_arg1)] = texture_arg::texture;
        stage[static_cast<uint32_t>(TextureStageState::alpha_arg2)] = texture_arg::current;
        stage[static_cast<uint32_t>(TextureStageState::texcoord_index)] = i;
        stage[static_cast<uint32_t>(TextureStageState::color_arg0)] = texture_arg::current;
        stage[static_cast<uint32_t>(TextureStageState::alpha_arg0)] = texture_arg::current;
        stage[static_cast<uint32_t>(TextureStageState::result_arg)] = texture_arg::current;
        auto& sampler = sampler_states[i];
        sampler[static_cast<uint32_t>(SamplerState::address_u)] = texture_address::wrap;
        sampler[static_cast<uint32_t>(SamplerState::address_v)] = texture_address::wrap;
        sampler[static_cast<uint32_t>(SamplerState::address_w)] = texture_address::wrap;
        sampler[static_cast<uint32_t>(SamplerState::mag_filter)] = texture_filter::point;
        sampler[static_cast<uint32_t>(SamplerState::min_filter)] = texture_filter::point;
        sampler[static_cast<uint32_t>(SamplerState::mip_filter)] = texture_filter::none;
        sampler[static_cast<uint32_t>(SamplerState::max_anisotropy)] = 1;
    }
}

namespace {

// The standard patterns, in sixteenths of a pixel from the centre, y down.
constexpr SampleOffset kCentre[1] = {{0, 0}};
constexpr SampleOffset kTwoSamples[2] = {{4, 4}, {-4, -4}};
constexpr SampleOffset kFourSamples[4] = {{-2, -6}, {6, -2}, {-6, 2}, {2, 6}};

bool valid_samples(uint32_t samples)
{
    return samples == 1 || samples == 2 || samples == 4;
}

bool depth_passes(uint32_t func, float value, float reference)
{
    switch (func) {
    case compare::less: return value < reference;
    case compare::less_equal: return value <= reference;
    case compare::greater: return value > reference;
    case compare::greater_equal: return value >= reference;
    default: return false;
    }
}

} // namespace

const SampleOffset* sample_offsets(uint32_t samples)
{
    return samples == 4 ? kFourSamples : samples == 2 ? kTwoSamples : kCentre;
}

namespace {

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

uint32_t stage_state(const RasterState& state, uint32_t stage, TextureStageState which)
{
    return state.stage_states[stage][static_cast<uint32_t>(which)];
}

uint32_t sampler_state(const RasterState& state, uint32_t stage, SamplerState which)
{
    return state.sampler_states[stage][static_cast<uint32_t>(which)];
}

float word_float(uint32_t word) { return std::bit_cast<float>(word); }

struct Color4 {
    double r = 0, g = 0, b = 0, a = 0;
};

Color4 from_value(const ColorValue& c) { return {c.r, c.g, c.b, c.a}; }

Color4 from_word(uint32_t argb)
{
    return {((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
            (argb >> 24) / 255.0};
}

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double length(Vec3 a) { return std::sqrt(dot(a, a)); }

using Matrix4d = std::array<std::array<double, 4>, 4>;

Matrix4d to_double(const Matrix& m)
{
    Matrix4d r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r[i][j] = m.m[i][j];
    return r;
}

Matrix4d product(const Matrix4d& a, const Matrix4d& b)
{
    Matrix4d r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j] + a[i][3] * b[3][j];
    return r;
}

// Vertex layout of a flexible vertex format (untransformed positions only).
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

Layout parse_layout(uint32_t fvf)
{
    Layout layout;
    if ((fvf & fvf::position_mask) != fvf::xyz)
        return layout;
    uint32_t offset = 12;
    if (fvf & fvf::normal) {
        layout.normal = static_cast<int>(offset);
        offset += 12;
    }
    if (fvf & fvf::psize) {
        layout.psize = static_cast<int>(offset);
        offset += 4;
    }
    if (fvf & fvf::diffuse) {
        layout.diffuse = static_cast<int>(offset);
        offset += 4;
    }
    if (fvf & fvf::specular) {
        layout.specular = static_cast<int>(offset);
        offset += 4;
    }
    layout.sets = (fvf & fvf::tex_count_mask) >> fvf::tex_count_shift;
    if (layout.sets > 8)
        return layout;
    for (uint32_t i = 0; i < layout.sets; ++i) {
        static constexpr uint32_t kFloats[4] = {2, 3, 4, 1};
        layout.set_offset[i] = offset;
        layout.set_floats[i] = kFloats[(fvf >> (16 + 2 * i)) & 3u];
        offset += 4 * layout.set_floats[i];
    }
    layout.size = offset;
    layout.ok = true;
    return layout;
}

float read_float(const uint8_t* p)
{
    float value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

uint32_t read_word(const uint8_t* p)
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

// A polygon's snapped bounds, and its first corner with the smallest y.
struct PolygonBounds {
    int top;
    int64_t min_x, min_y, max_x, max_y;
};

PolygonBounds polygon_bounds(const ScreenVertex* const* v, int count)
{
    PolygonBounds b{0, v[0]->X, v[0]->Y, v[0]->X, v[0]->Y};
    for (int i = 1; i < count; ++i) {
        if (v[i]->Y < b.min_y) {
            b.min_y = v[i]->Y;
            b.top = i;
        }
        b.max_y = std::max(b.max_y, v[i]->Y);
        b.min_x = std::min(b.min_x, v[i]->X);
        b.max_x = std::max(b.max_x, v[i]->X);
    }
    return b;
}

// ceil(n / d) for d > 0.
int64_t ceil_div(int64_t n, int64_t d)
{
    const int64_t q = n / d;
    return q + ((n % d) > 0 ? 1 : 0);
}

int64_t floor_div(int64_t n, int64_t d)
{
    const int64_t q = n / d;
    return q - ((n % d) < 0 ? 1 : 0);
}

// The first pixel column at or right of an edge, row by row, in exact integer steps:
// for the edge (X0, Y0)-(X1, Y1) and the row sampled at y = j, x is the smallest
// integer with x ≥ X0 + (j − Y0)·(X1 − X0)/(Y1 − Y0) (all in 1/256 pixel).
class EdgeStepper {
public:
    EdgeStepper() = default;
    EdgeStepper(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t row)
    {
        const int64_t dx = x1 - x0;
        const int64_t dy = y1 - y0;
        denominator_ = kSubpixel * dy;
        const int64_t numerator = x0 * dy + (row * kSubpixel - y0) * dx;
        x_ = ceil_div(numerator, denominator_);
        remainder_ = x_ * denominator_ - numerator;
        const int64_t increment = kSubpixel * dx;
        step_ = floor_div(increment, denominator_);
        step_remainder_ = increment - step_ * denominator_;
    }
    int64_t x() const { return x_; }
    void next()
    {
        x_ += step_;
        remainder_ -= step_remainder_;
        if (remainder_ < 0) {
            remainder_ += denominator_;
            ++x_;
        }
    }

private:
    int64_t denominator_ = 1;
    int64_t x_ = 0;
    int64_t remainder_ = 0;
    int64_t step_ = 0;
    int64_t step_remainder_ = 0;
};

Plane make_plane(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, double va, double vb, double vc,
                 double det)
{
    Plane p;
    const double d1 = vb - va;
    const double d2 = vc - va;
    p.a = (d1 * (c.y - a.y) - d2 * (b.y - a.y)) / det;
    p.b = (d2 * (b.x - a.x) - d1 * (c.x - a.x)) / det;
    p.c = va;
    p.ox = a.x;
    p.oy = a.y;
    return p;
}

class Drawer {
public:
    // `processed` holds the transformed vertices: filled by `process`, or shared read-only
    // with the drawer that filled it (`share`).
    Drawer(const Targets& targets, const RasterState& state, const Layout& layout, const VertexData& vertices,
           std::vector<ClipVertex>& processed)
        : state_(state), layout_(layout), vertices_(vertices), shader_(pixel_), processed_(processed)
    {
        setup_pixels(targets);
        setup_vertices();
    }

    bool drawable() const { return drawable_; }
    // Values of a transformed vertex that the pixels read: diffuse, then the coordinates
    // of the stages that sample a texture.
    int attribute_count() const { return attribute_count_; }

    // Transforms the vertices [first, first + count) of the data.
    void process(uint32_t first, uint32_t count)
    {
        first_ = first;
        if (processed_.size() < count)
            processed_.resize(count);
        for (uint32_t i = 0; i < count; ++i)
            process_vertex(vertices_.bytes + static_cast<size_t>(first + i) * vertices_.stride, processed_[i]);
    }

    // The first vertex of `processed`: set by `process`, or given to a drawer that
    // draws from vertices another one transformed.
    uint32_t first() const { return first_; }
    void set_first(uint32_t first) { first_ = first; }

    // Only rows [y0, y1) are drawn. Everything else about a primitive (its planes, its
    // reference pixel, its sampling) is worked out as for the whole target, so that
    // drawing in bands gives the very same pixels.
    void set_band(int64_t y0, int64_t y1)
    {
        band_y0_ = y0;
        band_y1_ = y1;
    }

    int64_t scissor_top() const { return scissor_y0_; }
    int64_t scissor_bottom() const { return scissor_y1_; }
    int64_t scissor_width() const { return scissor_x1_ - scissor_x0_; }

    // A superset of the rows the vertices can cover, or every row when one of them needs
    // clipping (or is no number).
    void rows(const uint32_t* indices, int count, int64_t& y0, int64_t& y1) const
    {
        int64_t low = INT64_MAX, high = INT64_MIN;
        for (int i = 0; i < count; ++i) {
            const ClipVertex& v = processed_[indices[i] - first_];
            if (!finite(v) || outcode(v) != 0) {
                y0 = INT64_MIN;
                y1 = INT64_MAX;
                return;
            }
            const ScreenVertex screen = to_screen(v);
            low = std::min(low, screen.Y);
            high = std::max(high, screen.Y);
        }
        y0 = floor_div(low, kSubpixel) - 1;
        y1 = ceil_div(high, kSubpixel) + 1;
    }

    void triangle(uint32_t a, uint32_t b, uint32_t c)
    {
        draw_triangle(processed_[a - first_], processed_[b - first_], processed_[c - first_]);
    }

    void point(uint32_t index) { draw_point(processed_[index - first_]); }

    // Draws the quad p, s, q, r (screen order) made of the triangles (p, q, r) and
    // (q, p, s) in one pass when that is the same picture: no clipping, no
    // perspective, convex, and the second triangle on the first one's planes. False
    // when the triangles must be drawn one by one (`draw` false: the answer alone;
    // `checked`: an earlier call with these corners said yes, only drawing is left).
    bool quad(uint32_t p, uint32_t s, uint32_t q, uint32_t r, bool draw = true, bool checked = false)
    {
        const ClipVertex* c[4] = {&processed_[p - first_], &processed_[s - first_], &processed_[q - first_],
                                  &processed_[r - first_]};
        const double tolerance = 1e-6 * std::abs(c[0]->w);
        for (const ClipVertex* v : c) {
            if (!checked && (!finite(*v) || outcode(*v) != 0 || !(std::abs(v->w - c[0]->w) <= tolerance)))
                return false;
        }
        const ScreenVertex sv[4] = {to_screen(*c[0]), to_screen(*c[1]), to_screen(*c[2]), to_screen(*c[3])};
        const ScreenVertex &P = sv[0], &S = sv[1], &Q = sv[2], &R = sv[3];
        const int64_t first = area2(P, Q, R);
        const int64_t second = area2(Q, P, S);
        if (!checked && (first == 0 || second == 0 || (first > 0) != (second > 0)))
            return false;
        if (culled(first))
            return true;
        if (checked) {
            const ScreenVertex* order[4] = {&P, &S, &Q, &R};
            rasterize(order, 4, first, P, Q, R, first, true);
            return true;
        }
        for (int i = 0; i < 4; ++i) {
            const int64_t turn = area2(sv[i], sv[(i + 1) % 4], sv[(i + 2) % 4]);
            if (turn != 0 && (turn > 0) != (first > 0))
                return false;
        }
        // Snapping moves corners by up to 1/512 pixel, so the fourth corner may miss the
        // plane by what the attribute changes over such a distance.
        const double det = static_cast<double>(first) / (kSubpixel * kSubpixel);
        auto on_plane = [&](double p, double q, double r, double value, double slack) {
            const Plane plane = make_plane(P, Q, R, p, q, r, det);
            const double limit = (std::abs(plane.a) + std::abs(plane.b)) / 256.0 + slack;
            return std::abs(plane.at(S.x, S.y) - value) <= limit;
        };
        if (!on_plane(P.z, Q.z, R.z, S.z, 1e-7))
            return false;
        for (int i = 0; i < attribute_count_; ++i) {
            if (!on_plane(P.attributes[i], Q.attributes[i], R.attributes[i], S.attributes[i],
                          i < kColorAttributes ? 0.01 : 1e-6))
                return false;
        }
        // Without `draw` only the answer is wanted.
        if (draw) {
            const ScreenVertex* order[4] = {&P, &S, &Q, &R};
            rasterize(order, 4, first, P, Q, R, first, true);
        }
        return true;
    }


private:
    // --- per draw

    void setup_pixels(const Targets& targets)
    {
        const RasterState& s = state_;
        const Viewport& vp = s.viewport;
        PixelState& p = pixel_;

        const ColorView& color = targets.color;
        const uint32_t bytes = bytes_per_pixel(color.format);
        p.has_color = color.pixels != nullptr && is_color_format(color.format) && color.width > 0
                      && color.height > 0 && valid_samples(color.samples)
                      && std::abs(static_cast<int64_t>(color.pitch)) >= int64_t{color.width} * color.samples * bytes;
        if (p.has_color && bytes == 4
            && ((reinterpret_cast<uintptr_t>(color.pixels) & 3u) != 0 || (color.pitch & 3) != 0))
            p.has_color = false;
        p.color = color;
        p.color_bytes = bytes;
        const bool depth_enabled = s.render_states[rs::zenable] != 0;
        const DepthView& depth = targets.depth;
        p.samples = p.has_color ? color.samples : valid_samples(depth.samples) ? depth.samples : 1;
        p.has_depth = depth_enabled && depth.depth != nullptr && depth.width > 0 && depth.height > 0
                      && depth.samples == p.samples && depth.pitch >= int64_t{depth.width} * depth.samples;
        // Without antialiasing every sample takes the pixel centre's coverage and depth.
        const bool antialias = s.render_states[rs::multisample_antialias] != 0;
        for (uint32_t i = 0; i < p.samples; ++i) {
            p.offset_x[i] = antialias ? sample_offsets(p.samples)[i].x * static_cast<int32_t>(kSubpixel / 16) : 0;
            p.offset_y[i] = antialias ? sample_offsets(p.samples)[i].y * static_cast<int32_t>(kSubpixel / 16) : 0;
        }
        p.sample_mask = p.samples == 1 ? 1u : s.render_states[rs::multisample_mask] & ((1u << p.samples) - 1u);
        p.depth = targets.depth;
        p.depth_test = p.has_depth;
        p.depth_write = p.has_depth && s.render_states[rs::zwrite] != 0;
        p.depth_func = s.render_states[rs::zfunc];
        p.min_z = std::min(vp.min_z, vp.max_z);
        p.max_z = std::max(vp.min_z, vp.max_z);
        if (!(p.min_z >= 0.0f))
            p.min_z = 0.0f;
        if (!(p.max_z <= 1.0f))
            p.max_z = 1.0f;
        // Depths are kept inside [min_z, max_z]; when both ends pass against a surface
        // of one value (the ordered tests are monotonic), every depth does.
        if (p.depth_test && !p.depth_write) {
            const uint32_t f = p.depth_func;
            const bool ordered = f == compare::less || f == compare::less_equal || f == compare::greater
                                 || f == compare::greater_equal;
            p.depth_passes = f == compare::always
                             || (ordered && depth.uniform && depth_passes(f, p.min_z, depth.uniform_value)
                                 && depth_passes(f, p.max_z, depth.uniform_value));
        }

        p.alpha_test = s.render_states[rs::alpha_test] != 0;
        p.alpha_func = s.render_states[rs::alpha_func];
        p.alpha_ref = s.render_states[rs::alpha_ref] & 0xFFu;
        p.blend = s.render_states[rs::alpha_blend] != 0;
        p.src_blend = s.render_states[rs::src_blend];
        p.dest_blend = s.render_states[rs::dest_blend];
        p.blend_op = s.render_states[rs::blend_op];
        const uint32_t write = s.render_states[rs::color_write];
        p.write_mask = ((write & 1u) ? 0x00FF0000u : 0u) | ((write & 2u) ? 0x0000FF00u : 0u)
                       | ((write & 4u) ? 0x000000FFu : 0u) | ((write & 8u) ? 0xFF000000u : 0u);
        p.texture_factor = s.render_states[rs::texture_factor];
        p.blend_kind = !p.blend ? BlendKind::copy : BlendKind::generic;
        if (p.blend && p.blend_op == blend_op::add) {
            if (p.src_blend == blend::src_alpha && p.dest_blend == blend::inv_src_alpha)
                p.blend_kind = BlendKind::alpha;
            else if (p.src_blend == blend::one && p.dest_blend == blend::one)
                p.blend_kind = BlendKind::add;
            else if (p.src_blend == blend::src_alpha && p.dest_blend == blend::one)
                p.blend_kind = BlendKind::add_alpha;
        }
        p.direct_write = (color.format == Format::a8r8g8b8 || color.format == Format::x8r8g8b8)
                         && p.write_mask == 0xFFFFFFFFu && p.blend_kind != BlendKind::generic;

        // The scissor: viewport within the targets.
        int64_t x0 = vp.x;
        int64_t y0 = vp.y;
        int64_t x1 = int64_t{vp.x} + vp.width;
        int64_t y1 = int64_t{vp.y} + vp.height;
        if (p.has_color) {
            x1 = std::min<int64_t>(x1, color.width);
            y1 = std::min<int64_t>(y1, color.height);
        }
        if (p.has_depth) {
            x1 = std::min<int64_t>(x1, targets.depth.width);
            y1 = std::min<int64_t>(y1, targets.depth.height);
        }
        scissor_x0_ = static_cast<int>(std::min<int64_t>(x0, kMaxCoordinate));
        scissor_y0_ = static_cast<int>(std::min<int64_t>(y0, kMaxCoordinate));
        scissor_x1_ = static_cast<int>(std::clamp<int64_t>(x1, 0, kMaxCoordinate));
        scissor_y1_ = static_cast<int>(std::clamp<int64_t>(y1, 0, kMaxCoordinate));
        // Viewports beyond the largest surface are refused: they would take the fixed-point
        // arithmetic out of its range.
        drawable_ = (p.has_color || p.has_depth) && vp.width > 0 && vp.height > 0
                    && int64_t{vp.x} + vp.width <= kMaxCoordinate && int64_t{vp.y} + vp.height <= kMaxCoordinate
                    && scissor_x0_ < scissor_x1_ && scissor_y0_ < scissor_y1_;

        // Texture stages, up to the first disabled one.
        int next_slot = kColorAttributes;
        p.stage_count = 0;
        for (uint32_t i = 0; i < max_texture_stages; ++i) {
            if (stage_state(s, i, TextureStageState::color_op) == texture_op::disable)
                break;
            Stage& stage = p.stages[i];
            stage.color_op = stage_state(s, i, TextureStageState::color_op);
            stage.color_arg[0] = stage_state(s, i, TextureStageState::color_arg0);
            stage.color_arg[1] = stage_state(s, i, TextureStageState::color_arg1);
            stage.color_arg[2] = stage_state(s, i, TextureStageState::color_arg2);
            stage.alpha_op = stage_state(s, i, TextureStageState::alpha_op);
            stage.alpha_arg[0] = stage_state(s, i, TextureStageState::alpha_arg0);
            stage.alpha_arg[1] = stage_state(s, i, TextureStageState::alpha_arg1);
            stage.alpha_arg[2] = stage_state(s, i, TextureStageState::alpha_arg2);
            stage.constant = stage_state(s, i, TextureStageState::constant);
            setup_texture(i, stage);
            if (stage.varying) {
                stage.slot = next_slot;
                next_slot += 2;
            }
            ++p.stage_count;
        }
        attribute_count_ = next_slot;
    }

    static bool reads_texture(uint32_t op, const uint32_t* args)
    {
        if (op == texture_op::blend_texture_alpha)
            return true;
        const bool uses0 = op == texture_op::lerp || op == texture_op::multiply_add;
        const bool uses1 = op != texture_op::select_arg2;
        const bool uses2 = op != texture_op::select_arg1;
        auto is_texture = [](uint32_t arg) { return (arg & 0x0Fu) == texture_arg::texture; };
        return (uses0 && is_texture(args[0])) || (uses1 && is_texture(args[1])) || (uses2 && is_texture(args[2]));
    }

    static bool valid_view(const TextureView* view)
    {
        if (view == nullptr || !is_color_format(view->format) || view->level_count == 0
            || view->level_count > max_levels)
            return false;
        const int64_t bytes = bytes_per_pixel(view->format);
        for (uint32_t i = 0; i < view->level_count; ++i) {
            const LevelView& level = view->levels[i];
            if (level.pixels == nullptr || level.width == 0 || level.height == 0
                || std::abs(static_cast<int64_t>(level.pitch)) < level.width * bytes)
                return false;
        }
        return true;
    }

    void setup_texture(uint32_t index, Stage& stage)
    {
        const RasterState& s = state_;
        stage.varying = false;
        stage.texture_color = 0xFFFFFFFFu;
        const bool used = reads_texture(stage.color_op, stage.color_arg)
                          || (stage.alpha_op != texture_op::disable && reads_texture(stage.alpha_op, stage.alpha_arg));
        const TextureView* view = s.textures[index];
        if (!used || !valid_view(view))
            return;
        stage.texture = view;
        stage.format = view->format;
        stage.address_u = sampler_state(s, index, SamplerState::address_u);
        stage.address_v = sampler_state(s, index, SamplerState::address_v);
        stage.border = sampler_state(s, index, SamplerState::border_color);
        stage.min_filter = sampler_state(s, index, SamplerState::min_filter);
        stage.mag_filter = sampler_state(s, index, SamplerState::mag_filter);
        stage.mip_filter = sampler_state(s, index, SamplerState::mip_filter);
        const LevelView& top = view->levels[0];
        const bool border = stage.address_u == texture_address::border || stage.address_v == texture_address::border;
        if (top.width == 1 && top.height == 1 && !border) {
            stage.texture_color = decode_color(view->format, top.pixels);
            return;
        }
        stage.varying = true;
        bool aligned = bytes_per_pixel(view->format) == 4;
        bool pow2 = true;
        for (uint32_t i = 0; i < view->level_count; ++i) {
            const LevelView& level = view->levels[i];
            aligned = aligned && (reinterpret_cast<uintptr_t>(level.pixels) & 3u) == 0 && (level.pitch & 3) == 0;
            pow2 = pow2 && std::has_single_bit(level.width) && std::has_single_bit(level.height)
                   && level.width <= 65536 && level.height <= 65536;
        }
        stage.fetch = !aligned                            ? Fetch::other
                      : view->format == Format::a8r8g8b8 ? Fetch::argb
                      : view->format == Format::x8r8g8b8 ? Fetch::xrgb
                                                         : Fetch::other;
        stage.wrap_pow2 =
            pow2 && stage.address_u == texture_address::wrap && stage.address_v == texture_address::wrap;
    }

    void setup_vertices()
    {
        const RasterState& s = state_;
        wvp_ = product(product(to_double(s.world), to_double(s.view)), to_double(s.projection));
        world_ = to_double(s.world);
        lighting_ = s.render_states[rs::lighting] != 0;
        if (lighting_) {
            // Normals go through the inverse transpose of the world's 3×3 part.
            const Matrix4d& m = world_;
            const double a = m[0][0], b = m[0][1], c = m[0][2];
            const double d = m[1][0], e = m[1][1], f = m[1][2];
            const double g = m[2][0], h = m[2][1], i = m[2][2];
            const double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
            normal_matrix_ = {};
            if (det != 0.0 && std::isfinite(det)) {
                // Rows of the inverse transpose = cofactors / det.
                normal_matrix_[0] = {(e * i - f * h) / det, -(d * i - f * g) / det, (d * h - e * g) / det, 0};
                normal_matrix_[1] = {-(b * i - c * h) / det, (a * i - c * g) / det, -(a * h - b * g) / det, 0};
                normal_matrix_[2] = {(b * f - c * e) / det, -(a * f - c * d) / det, (a * e - b * d) / det, 0};
            }
        }
        const Viewport& vp = s.viewport;
        guard_x_ = std::max(1.0, kGuardPixels / std::max(1.0, vp.width * 0.5));
        guard_y_ = std::max(1.0, kGuardPixels / std::max(1.0, vp.height * 0.5));
        cull_ = s.render_states[rs::cull];
        point_sprites_ = s.render_states[rs::point_sprite] != 0;
    }

    // --- vertices

    Color4 vertex_color(const uint8_t* v, int offset, const Color4& fallback) const
    {
        return offset >= 0 ? from_word(read_word(v + offset)) : fallback;
    }

    Color4 material_color(uint32_t source, const uint8_t* v, const ColorValue& material) const
    {
        if (state_.render_states[rs::color_vertex] != 0) {
            if (source == material_source::color1 && layout_.diffuse >= 0)
                return from_word(read_word(v + layout_.diffuse));
            if (source == material_source::color2 && layout_.specular >= 0)
                return from_word(read_word(v + layout_.specular));
        }
        return from_value(material);
    }

    Color4 light_vertex(const uint8_t* v, const Vec3& position) const
    {
        const RasterState& s = state_;
        const Color4 md = material_color(s.render_states[rs::diffuse_source], v, s.material.diffuse);
        const Color4 ma = material_color(s.render_states[rs::ambient_source], v, s.material.ambient);
        const Color4 me = material_color(s.render_states[rs::emissive_source], v, s.material.emissive);
        const Color4 ga = from_word(s.render_states[rs::ambient]);

        Vec3 normal;
        if (layout_.normal >= 0) {
            const Vec3 n{read_float(v + layout_.normal), read_float(v + layout_.normal + 4),
                         read_float(v + layout_.normal + 8)};
            const auto& m = normal_matrix_;
            normal = {n.x * m[0][0] + n.y * m[1][0] + n.z * m[2][0], n.x * m[0][1] + n.y * m[1][1] + n.z * m[2][1],
                      n.x * m[0][2] + n.y * m[1][2] + n.z * m[2][2]};
            if (s.render_states[rs::normalize_normals] != 0) {
                const double len = length(normal);
                if (len > 0.0)
                    normal = {normal.x / len, normal.y / len, normal.z / len};
            }
        }

        Color4 c{me.r + ga.r * ma.r, me.g + ga.g * ma.g, me.b + ga.b * ma.b, md.a};
        for (uint32_t i = 0; i < std::min(s.light_count, max_active_lights); ++i) {
            const Light& light = s.lights[i];
            double attenuation = 1.0;
            Vec3 to_light;
            if (light.type == LightType::directional) {
                const Vec3 d{light.direction.x, light.direction.y, light.direction.z};
                const double len = length(d);
                if (len > 0.0)
                    to_light = {-d.x / len, -d.y / len, -d.z / len};
            } else {
                // Point lights (spot lights are lit as point lights).
                const Vec3 offset = Vec3{light.position.x, light.position.y, light.position.z} - position;
                const double distance = length(offset);
                if (distance > light.range)
                    continue;
                if (distance > 0.0)
                    to_light = {offset.x / distance, offset.y / distance, offset.z / distance};
                const double denominator = light.attenuation0 + light.attenuation1 * distance
                                           + light.attenuation2 * distance * distance;
                attenuation = denominator > 0.0 ? 1.0 / denominator : 1.0;
            }
            const double lambert = std::max(0.0, dot(normal, to_light));
            c.r += attenuation * (ma.r * light.ambient.r + md.r * light.diffuse.r * lambert);
            c.g += attenuation * (ma.g * light.ambient.g + md.g * light.diffuse.g * lambert);
            c.b += attenuation * (ma.b * light.ambient.b + md.b * light.diffuse.b * lambert);
        }
        return c;
    }

    void process_vertex(const uint8_t* v, ClipVertex& out) const
    {
        const double px = read_float(v), py = read_float(v + 4), pz = read_float(v + 8);
        const auto& m = wvp_;
        out.x = px * m[0][0] + py * m[1][0] + pz * m[2][0] + m[3][0];
        out.y = px * m[0][1] + py * m[1][1] + pz * m[2][1] + m[3][1];
        out.z = px * m[0][2] + py * m[1][2] + pz * m[2][2] + m[3][2];
        out.w = px * m[0][3] + py * m[1][3] + pz * m[2][3] + m[3][3];
        out.size = layout_.psize >= 0 ? read_float(v + layout_.psize) : word_float(state_.render_states[rs::point_size]);

        Color4 c;
        if (lighting_) {
            const auto& w = world_;
            const Vec3 position{px * w[0][0] + py * w[1][0] + pz * w[2][0] + w[3][0],
                                px * w[0][1] + py * w[1][1] + pz * w[2][1] + w[3][1],
                                px * w[0][2] + py * w[1][2] + pz * w[2][2] + w[3][2]};
            c = light_vertex(v, position);
        } else {
            c = vertex_color(v, layout_.diffuse, Color4{1, 1, 1, 1});
        }
        const double channels[4] = {c.r, c.g, c.b, c.a};
        for (int i = 0; i < 4; ++i)
            out.attributes[i] = static_cast<float>(std::clamp(channels[i], 0.0, 1.0) * 255.0);

        for (uint32_t i = 0; i < pixel_.stage_count; ++i) {
            const Stage& stage = pixel_.stages[i];
            if (!stage.varying)
                continue;
            const uint32_t set = stage_state(state_, i, TextureStageState::texcoord_index) & 7u;
            double t[4] = {0, 0, 0, 0};
            if (set < layout_.sets) {
                const uint32_t floats = layout_.set_floats[set];
                for (uint32_t k = 0; k < floats; ++k)
                    t[k] = read_float(v + layout_.set_offset[set] + 4 * k);
                // The first missing component is 1.
                if (floats < 4)
                    t[floats] = 1.0;
            }
            const uint32_t flags = stage_state(state_, i, TextureStageState::texture_transform_flags) & 0xFFu;
            double u = t[0], w = t[1];
            if (flags >= 1 && flags <= 4) {
                const Matrix& tm = state_.texture_transforms[i];
                u = t[0] * tm.m[0][0] + t[1] * tm.m[1][0] + t[2] * tm.m[2][0] + t[3] * tm.m[3][0];
                w = t[0] * tm.m[0][1] + t[1] * tm.m[1][1] + t[2] * tm.m[2][1] + t[3] * tm.m[3][1];
            }
            out.attributes[stage.slot] = static_cast<float>(u);
            out.attributes[stage.slot + 1] = static_cast<float>(w);
        }
    }

    // --- clipping

    // Signed distances to the clip planes; inside is ≥ 0.
    void distances(const ClipVertex& v, double* d) const
    {
        d[0] = v.z;
        d[1] = v.w - v.z;
        d[2] = v.x + guard_x_ * v.w;
        d[3] = guard_x_ * v.w - v.x;
        d[4] = v.y + guard_y_ * v.w;
        d[5] = guard_y_ * v.w - v.y;
        d[6] = v.w - kMinimumW;
    }

    static constexpr int kPlanes = 7;

    uint32_t outcode(const ClipVertex& v) const
    {
        double d[kPlanes];
        distances(v, d);
        uint32_t code = 0;
        for (int i = 0; i < kPlanes; ++i)
            code |= (d[i] < 0.0 ? 1u : 0u) << i;
        return code;
    }

    ClipVertex interpolate(const ClipVertex& inside, const ClipVertex& outside, double t) const
    {
        ClipVertex r;
        r.x = inside.x + t * (outside.x - inside.x);
        r.y = inside.y + t * (outside.y - inside.y);
        r.z = inside.z + t * (outside.z - inside.z);
        r.w = inside.w + t * (outside.w - inside.w);
        for (int i = 0; i < attribute_count_; ++i)
            r.attributes[i] = static_cast<float>(inside.attributes[i]
                                                 + t * (outside.attributes[i] - inside.attributes[i]));
        return r;
    }

    // Clips the polygon against every plane in `code`; returns the vertex count.
    uint32_t clip(ClipVertex* polygon, uint32_t count, uint32_t code) const
    {
        ClipVertex buffer[kMaxClipVertices];
        ClipVertex* in = polygon;
        ClipVertex* out = buffer;
        for (int plane = 0; plane < kPlanes && count >= 3; ++plane) {
            if (!(code >> plane & 1u))
                continue;
            uint32_t produced = 0;
            for (uint32_t i = 0; i < count; ++i) {
                const ClipVertex& a = in[i];
                const ClipVertex& b = in[(i + 1) % count];
                double da[kPlanes], db[kPlanes];
                distances(a, da);
                distances(b, db);
                const bool a_in = da[plane] >= 0.0;
                const bool b_in = db[plane] >= 0.0;
                if (a_in)
                    out[produced++] = a;
                if (a_in != b_in && produced < kMaxClipVertices) {
                    // Always from the inside vertex, so that a shared edge clips the same
                    // way for both of its triangles.
                    if (a_in)
                        out[produced++] = interpolate(a, b, da[plane] / (da[plane] - db[plane]));
                    else
                        out[produced++] = interpolate(b, a, db[plane] / (db[plane] - da[plane]));
                }
                if (produced >= kMaxClipVertices - 1)
                    break;
            }
            count = produced;
            std::swap(in, out);
        }
        if (in != polygon)
            std::copy(in, in + count, polygon);
        return count;
    }

    ScreenVertex to_screen(const ClipVertex& v) const
    {
        const Viewport& vp = state_.viewport;
        ScreenVertex s;
        s.rhw = 1.0 / v.w;
        const double x = vp.x + (1.0 + v.x * s.rhw) * vp.width * 0.5;
        const double y = vp.y + (1.0 - v.y * s.rhw) * vp.height * 0.5;
        s.z = vp.min_z + v.z * s.rhw * (static_cast<double>(vp.max_z) - vp.min_z);
        s.X = std::llround(x * kSubpixel);
        s.Y = std::llround(y * kSubpixel);
        s.x = static_cast<double>(s.X) / kSubpixel;
        s.y = static_cast<double>(s.Y) / kSubpixel;
        std::copy(v.attributes, v.attributes + attribute_count_, s.attributes);
        return s;
    }

    static int64_t area2(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c)
    {
        return (b.X - a.X) * (c.Y - a.Y) - (c.X - a.X) * (b.Y - a.Y);
    }

    bool culled(int64_t area) const
    {
        // Positive area: clockwise on the screen (y down).
        if (area == 0)
            return true;
        if (cull_ == cull::counter_clockwise)
            return area < 0;
        if (cull_ == cull::clockwise)
            return area > 0;
        return false;
    }

    static bool finite(const ClipVertex& v)
    {
        return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
    }

    void draw_triangle(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c)
    {
        // Positions that are not numbers draw nothing.
        if (!finite(a) || !finite(b) || !finite(c))
            return;
        const uint32_t ca = outcode(a), cb = outcode(b), cc = outcode(c);
        if (ca & cb & cc)
            return;
        // Perspective correction only where w really varies.
        const double tolerance = 1e-6 * std::abs(a.w);
        const bool affine = std::abs(b.w - a.w) <= tolerance && std::abs(c.w - a.w) <= tolerance;
        if ((ca | cb | cc) == 0) {
            const ScreenVertex s[3] = {to_screen(a), to_screen(b), to_screen(c)};
            const int64_t area = area2(s[0], s[1], s[2]);
            if (!culled(area))
                rasterize(s[0], s[1], s[2], area, affine);
            return;
        }
        ClipVertex polygon[kMaxClipVertices] = {a, b, c};
        const uint32_t count = clip(polygon, 3, ca | cb | cc);
        if (count < 3)
            return;
        ScreenVertex s[kMaxClipVertices];
        for (uint32_t i = 0; i < count; ++i)
            s[i] = to_screen(polygon[i]);
        int64_t area = 0;
        for (uint32_t i = 1; i + 1 < count; ++i)
            area += area2(s[0], s[i], s[i + 1]);
        if (culled(area))
            return;
        for (uint32_t i = 1; i + 1 < count; ++i) {
            const int64_t part = area2(s[0], s[i], s[i + 1]);
            // Slivers that snapping flipped or flattened add nothing.
            if ((part > 0) == (area > 0) && part != 0)
                rasterize(s[0], s[i], s[i + 1], part, affine);
        }
    }

    void draw_point(const ClipVertex& v)
    {
        if (!finite(v) || !(v.w > kMinimumW) || v.z < 0.0 || v.z > v.w || std::abs(v.x) > guard_x_ * v.w
            || std::abs(v.y) > guard_y_ * v.w)
            return;
        const float limit = word_float(state_.render_states[rs::point_size_max]);
        double size = std::isfinite(v.size) ? v.size : 1.0;
        size = std::clamp(size, 1.0, std::isfinite(limit) ? std::clamp<double>(limit, 1.0, 64.0) : 64.0);
        const ScreenVertex centre = to_screen(v);
        ScreenVertex corners[4];
        for (int i = 0; i < 4; ++i) {
            ScreenVertex& s = corners[i];
            s = centre;
            const double x = centre.x + (i & 1 ? 0.5 : -0.5) * size;
            const double y = centre.y + (i & 2 ? 0.5 : -0.5) * size;
            s.X = std::llround(x * kSubpixel);
            s.Y = std::llround(y * kSubpixel);
            s.x = static_cast<double>(s.X) / kSubpixel;
            s.y = static_cast<double>(s.Y) / kSubpixel;
            if (point_sprites_) {
                for (uint32_t k = 0; k < pixel_.stage_count; ++k) {
                    const Stage& stage = pixel_.stages[k];
                    if (stage.varying) {
                        s.attributes[stage.slot] = i & 1 ? 1.0f : 0.0f;
                        s.attributes[stage.slot + 1] = i & 2 ? 1.0f : 0.0f;
                    }
                }
            }
        }
        // Corners 0 1 / 2 3: both triangles clockwise on the screen.
        rasterize(corners[0], corners[1], corners[2], area2(corners[0], corners[1], corners[2]), true);
        rasterize(corners[1], corners[3], corners[2], area2(corners[1], corners[3], corners[2]), true);
    }

    // --- triangles and quads

    // A corner of a polygon, in 1/256 pixel.
    struct Corner {
        int64_t X = 0, Y = 0;
    };

    // Walks one side of a convex polygon from its top vertex downwards.
    class Chain {
    public:
        Chain() = default;
        Chain(const Corner* vertices, int count, int direction, int top, int64_t row)
            : vertices_(vertices), count_(count), direction_(direction), current_(top)
        {
            seek(row);
        }
        int64_t x(int64_t row)
        {
            if (row * kSubpixel >= end_y_)
                seek(row);
            return stepper_.x();
        }
        void next() { stepper_.next(); }

    private:
        // Moves to the edge that spans the row (there is one: the row lies above the
        // polygon's lowest vertex).
        void seek(int64_t row)
        {
            for (int i = 0; i < count_; ++i) {
                const int next = (current_ + direction_ + count_) % count_;
                const Corner& a = vertices_[current_];
                const Corner& b = vertices_[next];
                if (b.Y > row * kSubpixel) {
                    stepper_ = EdgeStepper(a.X, a.Y, b.X, b.Y, row);
                    end_y_ = b.Y;
                    return;
                }
                current_ = next;
            }
            end_y_ = INT64_MAX;
        }

        const Corner* vertices_ = nullptr;
        int count_ = 0;
        int direction_ = 1;
        int current_ = 0;
        EdgeStepper stepper_;
        int64_t end_y_ = 0;
    };

    // Scan-converts a convex polygon given in screen order (clockwise when `area` > 0)
    // with the attribute planes of the triangle (a, b, c), whose doubled area is
    // `plane_area`.
    void rasterize(const ScreenVertex* const* v, int count, int64_t area, const ScreenVertex& a,
                   const ScreenVertex& b, const ScreenVertex& c, int64_t plane_area, bool affine)
    {
        if (area == 0 || plane_area == 0)
            return;
        if (pixel_.samples > 1) {
            rasterize_samples(v, count, area, a, b, c, plane_area, affine);
            return;
        }
        const auto [top, min_x, min_y, max_x, max_y] = polygon_bounds(v, count);
        const int64_t first_row = std::max<int64_t>(ceil_div(min_y, kSubpixel), scissor_y0_);
        const int64_t end_row = std::min<int64_t>(ceil_div(max_y, kSubpixel), scissor_y1_);
        if (first_row >= end_row)
            return;
        // Covered columns lie in [ceil(min x), ceil(max x)).
        if (ceil_div(max_x, kSubpixel) <= scissor_x0_ || ceil_div(min_x, kSubpixel) >= scissor_x1_)
            return;
        // The band's rows; the set-up below still starts at the first row of the target.
        const int64_t band_first = std::max(first_row, band_y0_);
        const int64_t band_end = std::min(end_row, band_y1_);
        if (band_first >= band_end)
            return;

        setup_triangle(a, b, c, static_cast<double>(plane_area) / (kSubpixel * kSubpixel), affine,
                       floor_div(min_x, kSubpixel), first_row);

        Corner corners[kMaxClipVertices];
        for (int i = 0; i < count; ++i)
            corners[i] = {v[i]->X, v[i]->Y};
        // Going forward from the top of a clockwise polygon walks its right side.
        Chain right(corners, count, area > 0 ? 1 : -1, top, band_first);
        Chain left(corners, count, area > 0 ? -1 : 1, top, band_first);
        auto span = [&](int64_t row, int64_t& x0, int64_t& x1) {
            x0 = std::max<int64_t>(left.x(row), scissor_x0_);
            x1 = std::min<int64_t>(right.x(row), scissor_x1_);
            left.next();
            right.next();
        };
        // Rows are a pitch apart in memory, out of reach of the hardware's prefetching:
        // asking for the pixels a few rows ahead hides most of the wait for them.
        constexpr int64_t kAhead = 3;
        int64_t spans[kAhead + 1][2];
        int64_t ahead = band_first;
        for (; ahead < std::min(band_end, band_first + kAhead); ++ahead) {
            int64_t* extent = spans[ahead % (kAhead + 1)];
            span(ahead, extent[0], extent[1]);
            prefetch(ahead, extent[0], extent[1]);
        }
        for (int64_t row = band_first; row < band_end; ++row) {
            if (ahead < band_end) {
                int64_t* extent = spans[ahead % (kAhead + 1)];
                span(ahead, extent[0], extent[1]);
                prefetch(ahead, extent[0], extent[1]);
                ++ahead;
            }
            const int64_t* extent = spans[row % (kAhead + 1)];
            if (extent[0] < extent[1])
                shader_.shade(triangle_, static_cast<int>(row), static_cast<int>(extent[0]),
                              static_cast<int>(extent[1]));
        }
    }

    // rasterize() for multisampled targets: sample i of pixel (x, y) lies at (x, y) +
    // its offset, so it is covered when (x, y) lies in the polygon moved by minus the
    // offset; each sample walks its own moved polygon with the same exact steps.
    void rasterize_samples(const ScreenVertex* const* v, int count, int64_t area, const ScreenVertex& a,
                           const ScreenVertex& b, const ScreenVertex& c, int64_t plane_area, bool affine)
    {
        const int samples = static_cast<int>(pixel_.samples);
        const auto [top, min_x, min_y, max_x, max_y] = polygon_bounds(v, count);
        struct SampleWalk {
            Corner corners[kMaxClipVertices];
            int64_t first = 0, end = 0; // rows with this sample's coverage, cut to the scissor
            int64_t start = 0;          // the first of them in the band
            Chain left, right;
        };
        SampleWalk walks[4];
        int64_t first_row = INT64_MAX, end_row = INT64_MIN, low_x = INT64_MAX, high_x = INT64_MIN;
        for (int i = 0; i < samples; ++i) {
            SampleWalk& w = walks[i];
            const int64_t ox = pixel_.offset_x[i], oy = pixel_.offset_y[i];
            for (int k = 0; k < count; ++k)
                w.corners[k] = {v[k]->X - ox, v[k]->Y - oy};
            w.first = std::max<int64_t>(ceil_div(min_y - oy, kSubpixel), scissor_y0_);
            w.end = std::min<int64_t>(ceil_div(max_y - oy, kSubpixel), scissor_y1_);
            first_row = std::min(first_row, w.first);
            end_row = std::max(end_row, w.end);
            low_x = std::min(low_x, ceil_div(min_x - ox, kSubpixel));
            high_x = std::max(high_x, ceil_div(max_x - ox, kSubpixel));
        }
        if (first_row >= end_row || high_x <= scissor_x0_ || low_x >= scissor_x1_)
            return;
        const int64_t band_first = std::max(first_row, band_y0_);
        const int64_t band_end = std::min(end_row, band_y1_);
        if (band_first >= band_end)
            return;

        setup_triangle(a, b, c, static_cast<double>(plane_area) / (kSubpixel * kSubpixel), affine,
                       floor_div(min_x, kSubpixel), first_row);
        for (int i = 0; i < samples; ++i) {
            SampleWalk& w = walks[i];
            w.start = std::max(w.first, band_first);
            if (w.start < w.end) {
                w.right = Chain(w.corners, count, area > 0 ? 1 : -1, top, w.start);
                w.left = Chain(w.corners, count, area > 0 ? -1 : 1, top, w.start);
            }
        }
        for (int64_t row = band_first; row < band_end; ++row) {
            int64_t spans[4][2];
            int64_t x0 = INT64_MAX, x1 = INT64_MIN;
            for (int i = 0; i < samples; ++i) {
                SampleWalk& w = walks[i];
                spans[i][0] = spans[i][1] = 0;
                if (row < w.start || row >= w.end)
                    continue;
                spans[i][0] = std::max<int64_t>(w.left.x(row), scissor_x0_);
                spans[i][1] = std::min<int64_t>(w.right.x(row), scissor_x1_);
                w.left.next();
                w.right.next();
                if (spans[i][0] < spans[i][1]) {
                    x0 = std::min(x0, spans[i][0]);
                    x1 = std::max(x1, spans[i][1]);
                }
            }
            if (x0 >= x1)
                continue;
            // Between the edges every sample is covered: that part skips the coverage.
            int64_t inner0 = x0, inner1 = x1;
            for (int i = 0; i < samples; ++i) {
                inner0 = std::max(inner0, spans[i][0]);
                inner1 = std::min(inner1, spans[i][1]);
            }
            if (inner0 >= inner1 || (pixel_.sample_mask + 1u) >> samples == 0)
                inner0 = inner1 = x1;
            const int y = static_cast<int>(row);
            if (x0 < inner0)
                shader_.shade_samples(triangle_, y, static_cast<int>(x0), static_cast<int>(inner0), spans, false);
            if (inner0 < inner1)
                shader_.shade_samples(triangle_, y, static_cast<int>(inner0), static_cast<int>(inner1), spans, true);
            if (inner1 < x1)
                shader_.shade_samples(triangle_, y, static_cast<int>(inner1), static_cast<int>(x1), spans, false);
        }
    }

    void prefetch(int64_t row, int64_t x0, int64_t x1) const
    {
        if (x0 >= x1)
            return;
        constexpr int64_t kLine = 64;
        if (pixel_.has_color) {
            const uint8_t* base = pixel_.color.pixels + row * pixel_.color.pitch;
            for (int64_t b = x0 * pixel_.color_bytes; b < x1 * pixel_.color_bytes; b += kLine)
                __builtin_prefetch(base + b, 1);
            __builtin_prefetch(base + x1 * pixel_.color_bytes - 1, 1);
        }
        if (pixel_.has_depth) {
            const float* base = pixel_.depth.depth + row * pixel_.depth.pitch;
            for (int64_t i = x0; i < x1; i += kLine / 4)
                __builtin_prefetch(base + i, 0);
            __builtin_prefetch(base + x1 - 1, 0);
        }
    }

    void rasterize(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, int64_t area, bool affine)
    {
        const ScreenVertex* v[3] = {&a, &b, &c};
        rasterize(v, 3, area, a, b, c, area, affine);
    }

    static FixedPlane fixed_plane(const Plane& plane, double scale, int64_t x, int64_t y)
    {
        auto fixed = [](double value, double limit) {
            return std::isfinite(value) ? std::llround(std::clamp(value, -limit, limit)) : 0;
        };
        FixedPlane f;
        f.ref = fixed(plane.at(static_cast<double>(x), static_cast<double>(y)) * scale, kFixedValueLimit);
        f.dx = fixed(plane.a * scale, kFixedStepLimit);
        f.dy = fixed(plane.b * scale, kFixedStepLimit);
        return f;
    }

    void setup_triangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, double det, bool affine,
                        int64_t ref_x, int64_t ref_y)
    {
        Triangle& t = triangle_;
        t.affine = affine;
        t.z = make_plane(a, b, c, a.z, b.z, c.z, det);
        t.skip_depth_test = pixel_.depth_passes && std::isfinite(t.z.a) && std::isfinite(t.z.b)
                            && std::isfinite(t.z.c);
        if (!affine)
            t.rhw = make_plane(a, b, c, a.rhw, b.rhw, c.rhw, det);
        for (int i = 0; i < attribute_count_; ++i) {
            double va = a.attributes[i], vb = b.attributes[i], vc = c.attributes[i];
            if (!affine) {
                va *= a.rhw;
                vb *= b.rhw;
                vc *= c.rhw;
            }
            t.attributes[i] = make_plane(a, b, c, va, vb, vc, det);
        }

        // One colour for the whole triangle when its corners agree.
        uint32_t words[3];
        const ScreenVertex* corners[3] = {&a, &b, &c};
        for (int k = 0; k < 3; ++k) {
            const float* at = corners[k]->attributes;
            auto byte = [](float value) { return static_cast<uint32_t>(std::clamp(std::lround(value), 0L, 255L)); };
            words[k] = (byte(at[3]) << 24) | (byte(at[0]) << 16) | (byte(at[1]) << 8) | byte(at[2]);
        }
        t.constant_diffuse = words[0] == words[1] && words[0] == words[2];
        t.diffuse = words[0];

        if (affine) {
            constexpr double kScale = 4294967296.0; // 2^32
            t.ref_x = ref_x;
            t.ref_y = ref_y;
            if (!t.constant_diffuse) {
                for (int i = 0; i < 4; ++i)
                    t.color[i] = fixed_plane(t.attributes[i], kScale, ref_x, ref_y);
            }
            for (uint32_t i = 0; i < pixel_.stage_count; ++i) {
                const Stage& stage = pixel_.stages[i];
                if (!stage.varying)
                    continue;
                const Plane& pu = t.attributes[stage.slot];
                const Plane& pv = t.attributes[stage.slot + 1];
                const double w = stage.texture->levels[0].width;
                const double h = stage.texture->levels[0].height;
                Sampler& sampler = t.samplers[i];
                sampler = choose_sampler(stage, pu.a * w, pv.a * h, pu.b * w, pv.b * h);
                for (int k = 0; k < (sampler.mip_weight != 0 ? 2 : 1); ++k) {
                    sampler.u[k] = fixed_plane(pu, sampler.level[k].width * kScale, ref_x, ref_y);
                    sampler.v[k] = fixed_plane(pv, sampler.level[k].height * kScale, ref_x, ref_y);
                }
            }
        }
        shader_.prepare(t);
    }

    const RasterState& state_;
    const Layout& layout_;
    const VertexData& vertices_;
    PixelState pixel_;
    SpanShader shader_;
    Triangle triangle_;
    bool drawable_ = false;
    int attribute_count_ = kColorAttributes;
    int scissor_x0_ = 0, scissor_y0_ = 0, scissor_x1_ = 0, scissor_y1_ = 0;

    Matrix4d wvp_{};
    Matrix4d world_{};
    Matrix4d normal_matrix_{};
    bool lighting_ = false;
    double guard_x_ = 1.0, guard_y_ = 1.0;
    uint32_t cull_ = cull::counter_clockwise;
    bool point_sprites_ = false;

    uint32_t first_ = 0;
    std::vector<ClipVertex>& processed_;
    int64_t band_y0_ = INT64_MIN;
    int64_t band_y1_ = INT64_MAX;
};

// When triangle u runs backwards along an edge p → q of triangle t = (p, q, r), so
// that u = (q, p, s), gives the quad's corners p, s, q, r in screen order.
bool shared_edge(const uint32_t* t, const uint32_t* u, uint32_t* corners)
{
    for (int e = 0; e < 3; ++e) {
        const uint32_t p = t[e], q = t[(e + 1) % 3], r = t[(e + 2) % 3];
        for (int f = 0; f < 3; ++f) {
            if (u[f] == q && u[(f + 1) % 3] == p) {
                const uint32_t s = u[(f + 2) % 3];
                if (s == p || s == q || s == r)
                    return false;
                corners[0] = p;
                corners[1] = s;
                corners[2] = q;
                corners[3] = r;
                return true;
            }
        }
    }
    return false;
}

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

// A 64-bit hash of words, for telling apart the work of two flushes: a strip is left as
// it is when its work hashes as the work that drew it last.
class Hash {
public:
    void word(uint64_t w) { h_ = std::rotl(h_ + w * kPrime2, 31) * kPrime1; }
    void bytes(const void* data, size_t size)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        for (; size >= 8; p += 8, size -= 8) {
            uint64_t w;
            std::memcpy(&w, p, 8);
            word(w);
        }
        if (size > 0) {
            uint64_t w = 0;
            std::memcpy(&w, p, size);
            word(w ^ (uint64_t{size} << 56));
        }
    }
    // Never 0, which stands for "not known".
    uint64_t value() const
    {
        uint64_t h = h_;
        h ^= h >> 33;
        h *= kPrime2;
        h ^= h >> 29;
        h *= kPrime3;
        h ^= h >> 32;
        return h | 1u;
    }

private:
    static constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
    static constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
    static constexpr uint64_t kPrime3 = 0x165667B19E3779F9ull;
    uint64_t h_ = 0x27D4EB2F165667C5ull;
};

uint64_t mix(uint64_t a, uint64_t b)
{
    Hash h;
    h.word(a);
    h.word(b);
    return h.value();
}

uint64_t pointer_word(const void* p)
{
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p));
}

// The structures hashed as bytes are made of 4-byte words only, without padding.
static_assert(sizeof(Viewport) == 24 && sizeof(Matrix) == 64 && alignof(Light) == 4 && sizeof(Light) % 4 == 0
              && alignof(Material) == 4 && sizeof(Material) % 4 == 0);
// A transformed vertex: four doubles and a float, then its attributes.
static_assert(offsetof(ClipVertex, attributes) == 36);

// What recording a draw keeps between calls on its thread, so that it allocates
// nothing once the buffers have grown to the largest draw seen.
struct DrawScratch {
    std::vector<uint32_t> order;
};

void run_ops(Drawer& drawer, const std::vector<Op>& ops, int64_t y0, int64_t y1)
{
    drawer.set_band(y0, y1);
    for (const Op& op : ops) {
        if (op.y1 <= y0 || op.y0 >= y1)
            continue;
        switch (op.kind) {
        case Op::triangle: drawer.triangle(op.v[0], op.v[1], op.v[2]); break;
        case Op::quad: drawer.quad(op.v[0], op.v[1], op.v[2], op.v[3], true, true); break;
        case Op::point: drawer.point(op.v[0]); break;
        }
    }
}

// Below this many pixels (a rough guess from the primitives' heights) one thread draws;
// above, a thread more for every so many.
constexpr double kParallelPixels = 16384.0;
constexpr double kPixelsPerThread = 65536.0;

// Bytes of memory a view spans, whatever the sign of its pitch.
struct Span {
    uintptr_t begin = 0;
    uintptr_t end = 0;
    bool overlaps(const Span& other) const { return begin < other.end && other.begin < end; }
    bool operator==(const Span&) const = default;
};

Span span_of(const void* memory, int64_t pitch, uint64_t height, uint64_t row_bytes)
{
    const auto base = reinterpret_cast<uintptr_t>(memory);
    if (memory == nullptr || height == 0)
        return {};
    const int64_t last = pitch * static_cast<int64_t>(height - 1);
    return {base + static_cast<uintptr_t>(std::min<int64_t>(last, 0)),
            base + static_cast<uintptr_t>(std::max<int64_t>(last, 0)) + row_bytes};
}

// A draw or clear kept for the flush, with everything it reads but the memory of its
// targets and textures.
struct Item {
    enum Kind : uint8_t { draw, clear };
    Kind kind = draw;
    Targets targets;
    // The rows it may touch, and a rough count of its pixels.
    int64_t y0 = 0;
    int64_t y1 = 0;
    double pixels = 0.0;
    std::vector<Span> reads;
    std::vector<Span> writes;
    // Draws: the state (its textures point at `views`), the vertices as transformed and
    // the primitives in drawing order.
    RasterState state;
    std::array<TextureView, max_texture_stages> views{};
    Layout layout;
    VertexData vertices;
    std::vector<ClipVertex> processed;
    uint32_t first = 0;
    std::vector<Op> ops;
    // Clears.
    Rect area{};
    uint32_t flags = 0;
    uint32_t argb = 0;
    float z = 0.0f;
    // What it does whatever the rows (its targets, state, textures' contents; a clear's
    // area and values), and whether that is known: its targets are kept and its textures'
    // contents have versions.
    uint64_t hash = 0;
    bool known = false;
    // At the flush: its colour and depth targets among the kept ones (-1: none, or not kept),
    // and the group of kept targets that work of the flush ties together (-1: none).
    int kept[2] = {-1, -1};
    int group = -1;
};

// What the rasterizer knows of a kept target's contents, per strip of kKeepRows rows.
struct KeptTarget {
    Span span;
    int64_t pitch = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    // The work that drew what each strip holds (0: not known), and the same after the
    // flush under way.
    std::vector<uint64_t> drawn;
    std::vector<uint64_t> next;
    // Strips changed since changed_rows was last asked; `tracked`: it was asked, and
    // nothing has changed the memory unseen since.
    std::vector<uint8_t> changed;
    bool tracked = false;
};

// The recorded work, in order. Items are kept between frames so that their buffers
// are reused.
struct Frame {
    std::mutex mutex;
    std::vector<std::unique_ptr<Item>> items;
    size_t count = 0;
    std::vector<Span> reads;
    std::vector<Span> writes;
    std::atomic<bool> pending{false};
    std::vector<KeptTarget> kept;
    // The flush's scratch: per strip, whether anything in it is drawn, whether everything
    // is (work of unknown result), and for each group of kept targets whether its work is
    // (strip-major, one entry per kept target); the work of one draw per strip.
    std::vector<uint8_t> dirty;
    std::vector<uint8_t> forced;
    std::vector<uint8_t> group_dirty;
    std::vector<int> group_of;
    std::vector<uint64_t> strip_work;
    std::vector<uint8_t> strip_touched;
    std::vector<std::pair<int64_t, int64_t>> bands;
    int64_t first_strip = 0;
    // In a child made by fork: the parent's recording.
    Frame* parent = nullptr;

    Frame() = default;
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    Item& next()
    {
        if (count == items.size())
            items.push_back(std::make_unique<Item>());
        Item& item = *items[count];
        item.reads.clear();
        item.writes.clear();
        return item;
    }
};

// Never destroyed: surfaces may be freed (and settle) while the program ends. A child
// made by fork starts a recording of its own: the parent's lock may be held by a
// thread the child does not have (a crash while drawing), and its items are the
// parent's to draw.
Frame& recorded()
{
    static Frame* frame = new Frame;
    static pid_t owner = getpid();
    if (owner != getpid()) {
        Frame* fresh = new Frame;
        fresh->parent = frame; // left as it is, on purpose
        frame = fresh;
        owner = getpid();
    }
    return *frame;
}

void add_targets(Item& item)
{
    const ColorView& color = item.targets.color;
    if (color.pixels != nullptr)
        item.writes.push_back(span_of(color.pixels, color.pitch, color.height,
                                      uint64_t{color.width} * color.samples * bytes_per_pixel(color.format)));
    const DepthView& depth = item.targets.depth;
    if (depth.depth != nullptr)
        item.writes.push_back(span_of(depth.depth, int64_t{depth.pitch} * 4, depth.height,
                                      uint64_t{depth.width} * depth.samples * 4));
}

void hash_targets(Hash& h, const Targets& targets)
{
    const ColorView& c = targets.color;
    h.word(pointer_word(c.pixels));
    h.word(static_cast<uint64_t>(static_cast<int64_t>(c.pitch)));
    h.word(uint64_t{c.width} << 32 | c.height);
    h.word(uint64_t{static_cast<uint32_t>(c.format)} << 32 | c.samples);
    const DepthView& d = targets.depth;
    h.word(pointer_word(d.depth));
    h.word(d.pitch);
    h.word(uint64_t{d.width} << 32 | d.height);
    h.word(uint64_t{d.samples} << 32 | (d.uniform ? 1u : 0u));
    h.word(std::bit_cast<uint32_t>(d.uniform_value));
}

// Whether the item's targets are kept (a target it has no view of counts as kept).
bool targets_kept(const Targets& targets)
{
    return (targets.color.pixels == nullptr || targets.color.kept)
           && (targets.depth.depth == nullptr || targets.depth.kept);
}

// The contents of a texture level: for one the rasterizer draws (a kept target whose every
// strip it knows), what drew it, so that a render target drawn again alike reads as
// unchanged; else its version (0: not known).
uint64_t level_contents(const Frame& frame, const LevelView& level, Format format)
{
    const Span span = span_of(level.pixels, level.pitch, level.height, uint64_t{level.width} * bytes_per_pixel(format));
    for (const KeptTarget& kept : frame.kept) {
        if (!(kept.span == span) || kept.height != level.height || kept.drawn.empty())
            continue;
        Hash h;
        for (const uint64_t drawn : kept.drawn) {
            if (drawn == 0)
                return level.version;
            h.word(drawn);
        }
        return h.value();
    }
    return level.version;
}

// The item's hash from everything a draw's pixels depend on besides its primitives.
void hash_draw(const Frame& frame, Item& item)
{
    Hash h;
    h.word(Item::draw);
    hash_targets(h, item.targets);
    bool known = targets_kept(item.targets);
    const RasterState& s = item.state;
    h.bytes(&s.viewport, sizeof s.viewport);
    h.bytes(&s.world, sizeof s.world);
    h.bytes(&s.view, sizeof s.view);
    h.bytes(&s.projection, sizeof s.projection);
    h.bytes(s.texture_transforms.data(), sizeof s.texture_transforms);
    h.bytes(s.render_states.data(), sizeof s.render_states);
    h.bytes(s.stage_states.data(), sizeof s.stage_states);
    h.bytes(s.sampler_states.data(), sizeof s.sampler_states);
    const uint32_t lights = std::min(s.light_count, max_active_lights);
    h.word(lights);
    h.bytes(s.lights.data(), sizeof(Light) * lights);
    h.bytes(&s.material, sizeof s.material);
    for (const TextureView* view : s.textures) {
        if (view == nullptr) {
            h.word(0);
            continue;
        }
        h.word(uint64_t{static_cast<uint32_t>(view->format)} << 32 | view->level_count);
        for (uint32_t i = 0; i < std::min(view->level_count, max_levels); ++i) {
            const LevelView& level = view->levels[i];
            h.word(pointer_word(level.pixels));
            h.word(static_cast<uint64_t>(static_cast<int64_t>(level.pitch)));
            h.word(uint64_t{level.width} << 32 | level.height);
            const uint64_t contents = level_contents(frame, level, view->format);
            h.word(contents);
            known = known && contents != 0;
        }
    }
    const Layout& l = item.layout;
    h.word(uint64_t{l.ok} << 32 | l.size);
    h.word(static_cast<uint64_t>(static_cast<uint32_t>(l.normal)) << 32 | static_cast<uint32_t>(l.psize));
    h.word(static_cast<uint64_t>(static_cast<uint32_t>(l.diffuse)) << 32 | static_cast<uint32_t>(l.specular));
    h.word(l.sets);
    for (uint32_t i = 0; i < 8; ++i)
        h.word(uint64_t{l.set_offset[i]} << 32 | l.set_floats[i]);
    h.word(uint64_t{item.vertices.stride} << 32 | item.vertices.fvf);
    item.hash = h.value();
    item.known = known;
}

void hash_clear(Item& item)
{
    Hash h;
    h.word(Item::clear);
    hash_targets(h, item.targets);
    h.word(static_cast<uint64_t>(static_cast<uint32_t>(item.area.left)) << 32
           | static_cast<uint32_t>(item.area.top));
    h.word(static_cast<uint64_t>(static_cast<uint32_t>(item.area.right)) << 32
           | static_cast<uint32_t>(item.area.bottom));
    h.word(uint64_t{item.flags} << 32 | item.argb);
    h.word(std::bit_cast<uint32_t>(item.z));
    item.hash = h.value();
    item.known = targets_kept(item.targets);
}

uint64_t hash_op(const Op& op, const std::vector<ClipVertex>& processed, uint32_t first, int attributes)
{
    Hash h;
    const int corners = op.kind == Op::quad ? 4 : op.kind == Op::triangle ? 3 : 1;
    h.word(uint64_t{op.kind} << 32 | static_cast<uint32_t>(corners));
    for (int i = 0; i < corners; ++i) {
        const ClipVertex& v = processed[op.v[i] - first];
        h.bytes(&v, offsetof(ClipVertex, attributes));
        h.bytes(v.attributes, sizeof(float) * static_cast<size_t>(attributes));
    }
    return h.value();
}

void clear_part(const Targets& targets, const Rect& area, uint32_t flags, uint32_t argb, float z);

void run_item(Item& item, int64_t y0, int64_t y1)
{
    if (item.kind == Item::clear) {
        Rect part = item.area;
        part.top = static_cast<int32_t>(std::max<int64_t>(part.top, y0));
        part.bottom = static_cast<int32_t>(std::min<int64_t>(part.bottom, y1));
        if (part.top < part.bottom)
            clear_part(item.targets, part, item.flags, item.argb, item.z);
        return;
    }
    Drawer drawer(item.targets, item.state, item.layout, item.vertices, item.processed);
    drawer.set_first(item.first);
    run_ops(drawer, item.ops, y0, y1);
}

constexpr int64_t kKeepRows = 8;

// A band of rows per task. Within it an item draws the strips where its group of targets
// changes (or where work of unknown result lands); without a plan (frame.forced empty),
// everywhere.
void run_band(void* context, uint32_t band)
{
    Frame& frame = *static_cast<Frame*>(context);
    const auto [y0, y1] = frame.bands[band];
    const size_t groups = frame.kept.size();
    for (size_t i = 0; i < frame.count; ++i) {
        Item& item = *frame.items[i];
        if (item.y0 >= y1 || item.y1 <= y0)
            continue;
        if (frame.forced.empty()) {
            run_item(item, y0, y1);
            continue;
        }
        auto drawn_in = [&](int64_t strip) {
            const size_t s = static_cast<size_t>(strip - frame.first_strip);
            return frame.forced[s] || item.group < 0 || frame.group_dirty[s * groups + static_cast<size_t>(item.group)];
        };
        const int64_t from = std::max(y0, item.y0);
        const int64_t to = std::min(y1, item.y1);
        int64_t start = -1;
        for (int64_t strip = floor_div(from, kKeepRows); strip * kKeepRows < to; ++strip) {
            const int64_t row0 = std::max(from, strip * kKeepRows);
            const int64_t row1 = std::min(to, (strip + 1) * kKeepRows);
            if (drawn_in(strip)) {
                if (start < 0)
                    start = row0;
            } else if (start >= 0) {
                run_item(item, start, row0);
                start = -1;
            }
            if (row1 == to && start >= 0)
                run_item(item, start, to);
        }
    }
}

// Rows per strip: small enough that the threads share out a frame evenly, large
// enough that setting up each draw again per strip stays cheap.
constexpr int64_t kStripRows = 32;
constexpr int64_t kSmallStripRows = 16;
// The strips whose work is compared with the work that drew them: rows [16 k, 16 k + 16)
// of a kept target (kKeepRows).
static_assert(kStripRows % kKeepRows == 0 && kSmallStripRows % kKeepRows == 0);

// -1: not read yet from QUILLO_KEEP_STRIPS.
std::atomic<int> keep_setting{-1};

Span color_span(const ColorView& color)
{
    return span_of(color.pixels, color.pitch, color.height,
                   uint64_t{color.width} * color.samples * bytes_per_pixel(color.format));
}

Span depth_span(const DepthView& depth)
{
    return span_of(depth.depth, int64_t{depth.pitch} * 4, depth.height, uint64_t{depth.width} * depth.samples * 4);
}

// What is known of kept targets overlapping the span is dropped (the entries stay, empty,
// so that the indices of the others do not move during a flush).
void forget_locked(Frame& frame, const Span& span)
{
    for (KeptTarget& kept : frame.kept) {
        if (kept.span.overlaps(span)) {
            kept.span = {};
            kept.drawn.clear();
            kept.next.clear();
            kept.changed.clear();
            kept.tracked = false;
        }
    }
}

// The entry of a kept target, made (nothing known) when it has none or had another shape.
int kept_entry(Frame& frame, const Span& span, int64_t pitch, uint32_t width, uint32_t height)
{
    for (size_t i = 0; i < frame.kept.size(); ++i) {
        const KeptTarget& kept = frame.kept[i];
        if (kept.span == span && kept.pitch == pitch && kept.width == width && kept.height == height)
            return static_cast<int>(i);
    }
    forget_locked(frame, span);
    size_t index = 0;
    while (index < frame.kept.size() && frame.kept[index].span.end != 0)
        ++index;
    if (index == frame.kept.size())
        frame.kept.emplace_back();
    KeptTarget& kept = frame.kept[index];
    const size_t strips = static_cast<size_t>(ceil_div(height, kKeepRows));
    kept.span = span;
    kept.pitch = pitch;
    kept.width = width;
    kept.height = height;
    kept.drawn.assign(strips, 0);
    kept.next.assign(strips, 0);
    kept.changed.assign(strips, 0);
    kept.tracked = false;
    return static_cast<int>(index);
}

// Works out, strip by strip, what the recorded work leaves in each kept target, and marks
// the strips to draw: those where that differs from what they hold, and those that work
// of unknown result (targets not kept, textures without versions) touches.
void plan_strips(Frame& frame, int64_t first, int64_t last)
{
    const size_t n = static_cast<size_t>(last - first);
    frame.first_strip = first;
    frame.dirty.assign(n, 0);
    frame.forced.assign(n, 0);
    frame.strip_work.resize(n);
    frame.strip_touched.assign(n, 0);
    for (size_t i = 0; i < frame.count; ++i) {
        Item& item = *frame.items[i];
        item.kept[0] = item.kept[1] = -1;
        const ColorView& color = item.targets.color;
        if (color.pixels != nullptr && color.kept)
            item.kept[0] = kept_entry(frame, color_span(color), color.pitch, color.width, color.height);
        const DepthView& depth = item.targets.depth;
        if (depth.depth != nullptr && depth.kept)
            item.kept[1] = kept_entry(frame, depth_span(depth), depth.pitch, depth.width, depth.height);
    }
    for (KeptTarget& kept : frame.kept)
        kept.next = kept.drawn;

    // Strip s of the flush is strip first + s of every target; targets shorter than the
    // flush have fewer.
    auto entry = [&](int index, int64_t s) -> uint64_t* {
        if (index < 0)
            return nullptr;
        KeptTarget& kept = frame.kept[static_cast<size_t>(index)];
        const int64_t strip = first + s;
        return strip < static_cast<int64_t>(kept.next.size()) ? &kept.next[static_cast<size_t>(strip)] : nullptr;
    };
    static std::atomic<uint64_t> unknown_work{0};
    for (size_t i = 0; i < frame.count; ++i) {
        Item& item = *frame.items[i];
        const int64_t s0 = floor_div(item.y0, kKeepRows) - first;
        const int64_t s1 = ceil_div(item.y1, kKeepRows) - first;
        if (!item.known) {
            // Drawn wherever it lands, and what the strips then hold is known to no later flush.
            const uint64_t unique = mix(item.hash, unknown_work.fetch_add(1, std::memory_order_relaxed) + 1);
            for (int64_t s = s0; s < s1; ++s) {
                frame.forced[static_cast<size_t>(s)] = 1;
                for (int t = 0; t < 2; ++t) {
                    if (uint64_t* value = entry(item.kept[t], s))
                        *value = mix(*value, unique);
                }
            }
            continue;
        }
        if (item.kind == Item::clear) {
            for (int t = 0; t < 2; ++t) {
                if (item.kept[t] < 0)
                    continue;
                const KeptTarget& kept = frame.kept[static_cast<size_t>(item.kept[t])];
                const bool all_columns = item.area.left <= 0 && item.area.right >= static_cast<int64_t>(kept.width);
                for (int64_t s = s0; s < s1; ++s) {
                    uint64_t* value = entry(item.kept[t], s);
                    if (value == nullptr)
                        continue;
                    const int64_t row0 = (first + s) * kKeepRows;
                    const int64_t row1 = std::min<int64_t>(row0 + kKeepRows, kept.height);
                    // A clear of the whole strip leaves it as it leaves it whatever it held.
                    const bool whole = all_columns && item.area.top <= row0 && item.area.bottom >= row1;
                    *value = whole ? item.hash : mix(*value, item.hash);
                }
            }
            continue;
        }
        // A draw changes the strips its primitives touch, by its state and those primitives.
        for (const Op& op : item.ops) {
            const int64_t r0 = std::max(op.y0, item.y0);
            const int64_t r1 = std::min(op.y1, item.y1);
            if (r0 >= r1)
                continue;
            for (int64_t s = floor_div(r0, kKeepRows) - first; s < ceil_div(r1, kKeepRows) - first; ++s) {
                const size_t k = static_cast<size_t>(s);
                frame.strip_work[k] = mix(frame.strip_touched[k] ? frame.strip_work[k] : item.hash, op.hash);
                frame.strip_touched[k] = 1;
            }
        }
        for (int64_t s = s0; s < s1; ++s) {
            const size_t k = static_cast<size_t>(s);
            if (!frame.strip_touched[k])
                continue;
            frame.strip_touched[k] = 0;
            uint64_t* color = entry(item.kept[0], s);
            uint64_t* depth = entry(item.kept[1], s);
            // What the draw leaves in either target depends on what both held.
            const uint64_t value = mix(mix(color ? *color : 0, depth ? *depth : 0), frame.strip_work[k]);
            if (color)
                *color = value;
            if (depth)
                *depth = value;
        }
    }
    // Targets that one item writes together are drawn together: a strip is drawn for all of
    // them or none (the work on one depends on what the other holds).
    const size_t groups = frame.kept.size();
    std::vector<int>& group = frame.group_of;
    group.resize(groups);
    for (size_t g = 0; g < groups; ++g)
        group[g] = static_cast<int>(g);
    auto root = [&](int g) {
        while (group[static_cast<size_t>(g)] != g)
            g = group[static_cast<size_t>(g)] = group[static_cast<size_t>(group[static_cast<size_t>(g)])];
        return g;
    };
    for (size_t i = 0; i < frame.count; ++i) {
        const Item& item = *frame.items[i];
        if (item.kept[0] >= 0 && item.kept[1] >= 0)
            group[static_cast<size_t>(root(item.kept[0]))] = root(item.kept[1]);
    }
    for (size_t i = 0; i < frame.count; ++i) {
        Item& item = *frame.items[i];
        item.group = item.kept[0] >= 0 ? root(item.kept[0]) : item.kept[1] >= 0 ? root(item.kept[1]) : -1;
    }
    frame.group_dirty.assign(n * groups, 0);
    for (size_t g = 0; g < groups; ++g) {
        const KeptTarget& kept = frame.kept[g];
        const size_t r = static_cast<size_t>(root(static_cast<int>(g)));
        for (size_t s = 0; s < n; ++s) {
            const size_t strip = static_cast<size_t>(first) + s;
            if (strip < kept.next.size() && kept.next[strip] != kept.drawn[strip])
                frame.group_dirty[s * groups + r] = 1;
        }
    }
    for (size_t s = 0; s < n; ++s) {
        frame.dirty[s] = frame.forced[s];
        for (size_t g = 0; g < groups && !frame.dirty[s]; ++g)
            frame.dirty[s] = frame.group_dirty[s * groups + g];
    }
}

// After the drawing: the strips hold what the flush's work left.
void settle_kept(Frame& frame)
{
    for (KeptTarget& kept : frame.kept) {
        for (size_t s = 0; s < kept.next.size(); ++s) {
            if (kept.next[s] != kept.drawn[s]) {
                kept.changed[s] = 1;
                kept.drawn[s] = kept.next[s];
            }
        }
    }
    // Work on targets that are not kept may have changed kept memory unseen.
    for (size_t i = 0; i < frame.count; ++i) {
        const Item& item = *frame.items[i];
        if (item.targets.color.pixels != nullptr && !item.targets.color.kept)
            forget_locked(frame, color_span(item.targets.color));
        if (item.targets.depth.depth != nullptr && !item.targets.depth.kept)
            forget_locked(frame, depth_span(item.targets.depth));
    }
}

void flush_locked(Frame& frame)
{
    if (frame.count == 0)
        return;
    int64_t top = INT64_MAX, bottom = INT64_MIN;
    double pixels = 0.0;
    for (size_t i = 0; i < frame.count; ++i) {
        const Item& item = *frame.items[i];
        top = std::min(top, item.y0);
        bottom = std::max(bottom, item.y1);
        pixels += item.pixels;
    }
    const bool keep = keeps_unchanged();
    // The rows to draw, in bands of whole strips.
    frame.bands.clear();
    int64_t rows = 0;
    if (keep) {
        const int64_t first = floor_div(top, kKeepRows);
        const int64_t last = ceil_div(bottom, kKeepRows);
        plan_strips(frame, first, last);
        for (int64_t s = first; s < last; ++s) {
            if (!frame.dirty[static_cast<size_t>(s - first)])
                continue;
            const int64_t y0 = std::max(top, s * kKeepRows);
            const int64_t y1 = std::min(bottom, (s + 1) * kKeepRows);
            if (!frame.bands.empty() && frame.bands.back().second == y0)
                frame.bands.back().second = y1;
            else
                frame.bands.emplace_back(y0, y1);
            rows += y1 - y0;
        }
    } else {
        frame.forced.clear();
        frame.bands.emplace_back(top, bottom);
        rows = bottom - top;
    }
    if (rows > 0) {
        const int64_t threads = detail::RenderPool::instance().threads();
        const double share = static_cast<double>(rows) / static_cast<double>(std::max<int64_t>(1, bottom - top));
        if (threads <= 1 || pixels * share < kParallelPixels || rows < 2 * kSmallStripRows) {
            if (!keep) {
                for (size_t i = 0; i < frame.count; ++i)
                    run_item(*frame.items[i], INT64_MIN, INT64_MAX);
            } else {
                for (uint32_t band = 0; band < frame.bands.size(); ++band)
                    run_band(&frame, band);
            }
        } else {
            // Strips of 32 rows when there are four or more for each thread, else of 16:
            // enough strips that threads finishing early find more to take.
            const int64_t strip = rows >= 4 * threads * kStripRows ? kStripRows : kSmallStripRows;
            const std::vector<std::pair<int64_t, int64_t>> bands = std::move(frame.bands);
            frame.bands.clear();
            for (const auto& [y0, y1] : bands) {
                for (int64_t y = y0; y < y1; y += strip)
                    frame.bands.emplace_back(y, std::min(y1, y + strip));
            }
            const auto helpers = static_cast<uint32_t>(std::min(pixels * share / kPixelsPerThread, 4096.0));
            detail::RenderPool::instance().run(static_cast<uint32_t>(frame.bands.size()), run_band, &frame,
                                               std::max(1u, helpers));
        }
    }
    if (keep) {
        settle_kept(frame);
    } else {
        // Nothing is known any more of what the kept targets hold.
        for (const Span& span : frame.writes)
            forget_locked(frame, span);
    }
    frame.count = 0;
    frame.reads.clear();
    frame.writes.clear();
    frame.pending.store(false, std::memory_order_release);
}

void add_spans(std::vector<Span>& to, const std::vector<Span>& from)
{
    for (const Span& span : from) {
        if (std::find(to.begin(), to.end(), span) == to.end())
            to.push_back(span);
    }
}

// Draws the first `k` recorded items; the others stay recorded, in their order. Work that
// must come first (a render target's, before a draw reads it) is drawn alone, and the
// frame's other work stays together: a strip drawn in two flushes would hold what the
// first left when the next frame's first flush asks what it holds.
void flush_prefix(Frame& frame, size_t k)
{
    if (k == 0)
        return;
    const size_t count = frame.count;
    if (k >= count) {
        flush_locked(frame);
        return;
    }
    frame.count = k;
    flush_locked(frame);
    std::rotate(frame.items.begin(), frame.items.begin() + static_cast<ptrdiff_t>(k),
                frame.items.begin() + static_cast<ptrdiff_t>(count));
    frame.count = count - k;
    for (size_t i = 0; i < frame.count; ++i) {
        add_spans(frame.reads, frame.items[i]->reads);
        add_spans(frame.writes, frame.items[i]->writes);
    }
    frame.pending.store(true, std::memory_order_release);
}

// The number of recorded items up to the last one that reads or writes the span.
size_t touching_prefix(const Frame& frame, const Span& span)
{
    size_t prefix = 0;
    for (size_t i = 0; i < frame.count; ++i) {
        const Item& item = *frame.items[i];
        for (const Span& read : item.reads)
            prefix = read.overlaps(span) ? i + 1 : prefix;
        for (const Span& write : item.writes)
            prefix = write.overlaps(span) ? i + 1 : prefix;
    }
    return prefix;
}

// Adds the item last made by Frame::next, drawing the recorded work first up to the last
// item that writes what the new one reads, reads what it writes, or writes memory it
// writes in another shape (so that strips of rows would not line up).
void commit(Frame& frame)
{
    Item& item = *frame.items[frame.count];
    size_t prefix = 0;
    for (size_t i = 0; i < frame.count; ++i) {
        const Item& other = *frame.items[i];
        bool conflict = false;
        for (const Span& read : item.reads) {
            for (const Span& write : other.writes)
                conflict = conflict || read.overlaps(write);
        }
        for (const Span& write : item.writes) {
            for (const Span& read : other.reads)
                conflict = conflict || write.overlaps(read);
            for (const Span& written : other.writes)
                conflict = conflict || (write.overlaps(written) && !(write == written));
        }
        if (conflict)
            prefix = i + 1;
    }
    if (prefix > 0) {
        // The item, not yet counted, follows the work left recorded.
        const size_t index = frame.count;
        flush_prefix(frame, prefix);
        std::swap(frame.items[frame.count], frame.items[index]);
    }
    add_spans(frame.reads, item.reads);
    add_spans(frame.writes, item.writes);
    ++frame.count;
    frame.pending.store(true, std::memory_order_release);
}

bool record_draw_locked(Frame& frame, const Targets& targets, const RasterState& state, PrimitiveType type,
                        const VertexData& vertices, const IndexData& indices, int32_t base_vertex, uint32_t first,
                        uint32_t count);

} // namespace

namespace {

bool record_draw_locked(Frame& frame, const Targets& targets, const RasterState& state, PrimitiveType type,
                        const VertexData& vertices, const IndexData& indices, int32_t base_vertex, uint32_t first,
                        uint32_t count)
{
    const Layout layout = parse_layout(vertices.fvf);
    if (!layout.ok || vertices.bytes == nullptr || vertices.stride < layout.size || vertices.size < layout.size)
        return false;
    const uint64_t vertex_count = (vertices.size - layout.size) / vertices.stride + 1;
    const uint32_t needed = primitive_vertex_count(type, count);
    if (needed == 0)
        return count == 0;

    thread_local DrawScratch scratch;
    // The vertex numbers the draw reads, in order.
    std::vector<uint32_t>& order = scratch.order;
    order.resize(needed);
    bool any_invalid = false;
    if (indices.bytes != nullptr) {
        const size_t size = indices.wide ? 4 : 2;
        if ((uint64_t{first} + needed) * size > indices.size)
            return false;
        for (uint32_t i = 0; i < needed; ++i) {
            const uint8_t* p = indices.bytes + (size_t{first} + i) * size;
            uint32_t index;
            if (indices.wide) {
                std::memcpy(&index, p, 4);
            } else {
                uint16_t narrow;
                std::memcpy(&narrow, p, 2);
                index = narrow;
            }
            const int64_t vertex = int64_t{base_vertex} + index;
            if (vertex < 0 || static_cast<uint64_t>(vertex) >= vertex_count) {
                order[i] = UINT32_MAX;
                any_invalid = true;
            } else {
                order[i] = static_cast<uint32_t>(vertex);
            }
        }
    } else {
        if (uint64_t{first} + needed > vertex_count)
            return false;
        for (uint32_t i = 0; i < needed; ++i)
            order[i] = first + i;
    }

    if (type == PrimitiveType::line_list || type == PrimitiveType::line_strip)
        return true;

    Item& item = frame.next();
    item.kind = Item::draw;
    item.targets = targets;
    item.state = state;
    for (uint32_t i = 0; i < max_texture_stages; ++i) {
        if (state.textures[i] != nullptr) {
            item.views[i] = *state.textures[i];
            item.state.textures[i] = &item.views[i];
        }
    }
    item.layout = layout;
    Drawer drawer(item.targets, item.state, item.layout, vertices, item.processed);
    if (!drawer.drawable())
        return true;
    uint32_t low = UINT32_MAX, high = 0;
    for (uint32_t v : order) {
        if (v != UINT32_MAX) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    }
    if (low > high)
        return true;
    drawer.process(low, high - low + 1);

    // The primitives in drawing order. Whether two triangles make one quad is decided
    // here once, as it decides which triangle comes next.
    std::vector<Op>& ops = item.ops;
    ops.clear();
    auto add = [&](Op::Kind kind, std::initializer_list<uint32_t> corners) {
        Op op;
        op.kind = kind;
        std::copy(corners.begin(), corners.end(), op.v);
        drawer.rows(op.v, static_cast<int>(corners.size()), op.y0, op.y1);
        if (kind == Op::point) {
            op.y0 = INT64_MIN;
            op.y1 = INT64_MAX;
        }
        op.hash = hash_op(op, item.processed, drawer.first(), drawer.attribute_count());
        ops.push_back(op);
    };
    auto valid = [&](uint32_t a, uint32_t b, uint32_t c) {
        return !any_invalid || (a != UINT32_MAX && b != UINT32_MAX && c != UINT32_MAX);
    };
    switch (type) {
    case PrimitiveType::point_list:
        for (uint32_t v : order) {
            if (v != UINT32_MAX)
                add(Op::point, {v});
        }
        break;
    case PrimitiveType::triangle_list:
        // Lists without indices repeat the corners two triangles of a quad share (as
        // sprite batches and particles come): a corner whose bytes are those of one of
        // the previous triangle's is read as that vertex, which transforms alike, so that
        // the pair is seen as a quad.
        if (indices.bytes == nullptr) {
            for (uint32_t i = 1; i < count; ++i) {
                const uint32_t* t = &order[3 * size_t{i - 1}];
                uint32_t* u = &order[3 * size_t{i}];
                for (int k = 0; k < 3; ++k) {
                    const uint8_t* corner = vertices.bytes + size_t{u[k]} * vertices.stride;
                    for (int e = 0; e < 3; ++e) {
                        if (std::memcmp(corner, vertices.bytes + size_t{t[e]} * vertices.stride, layout.size) == 0) {
                            u[k] = t[e];
                            break;
                        }
                    }
                }
            }
        }
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t* t = &order[3 * size_t{i}];
            if (!valid(t[0], t[1], t[2]))
                continue;
            // Two triangles of one quad, as sprites come, are drawn together.
            if (i + 1 < count) {
                const uint32_t* u = t + 3;
                uint32_t corners[4];
                if (valid(u[0], u[1], u[2]) && shared_edge(t, u, corners)
                    && drawer.quad(corners[0], corners[1], corners[2], corners[3], false)) {
                    add(Op::quad, {corners[0], corners[1], corners[2], corners[3]});
                    ++i;
                    continue;
                }
            }
            add(Op::triangle, {t[0], t[1], t[2]});
        }
        break;
    case PrimitiveType::triangle_strip:
        for (uint32_t i = 0; i < count; ++i) {
            // Every second triangle is turned back so that all keep the first one's winding.
            const uint32_t a = order[i + (i & 1)], b = order[i + 1 - (i & 1)], c = order[i + 2];
            if (valid(a, b, c))
                add(Op::triangle, {a, b, c});
        }
        break;
    case PrimitiveType::triangle_fan:
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t a = order[0], b = order[i + 1], c = order[i + 2];
            if (valid(a, b, c))
                add(Op::triangle, {a, b, c});
        }
        break;
    default: break;
    }

    if (ops.empty())
        return true;

    // Vertices are not read again: the transformed ones are kept.
    item.vertices = {nullptr, 0, vertices.stride, vertices.fvf};
    item.first = drawer.first();
    int64_t low_row = INT64_MAX, high_row = INT64_MIN;
    for (const Op& op : ops) {
        low_row = std::min(low_row, op.y0);
        high_row = std::max(high_row, op.y1);
    }
    const int64_t top = drawer.scissor_top();
    const int64_t bottom = drawer.scissor_bottom();
    item.y0 = std::max(low_row, top);
    item.y1 = std::min(high_row, bottom);
    if (item.y0 >= item.y1)
        return true;
    item.pixels = 0.0;
    for (const Op& op : ops) {
        const double rows = static_cast<double>(std::min(op.y1, bottom) - std::max(op.y0, top));
        if (rows > 0)
            item.pixels += rows * std::min<double>(rows, static_cast<double>(drawer.scissor_width()));
    }
    add_targets(item);
    for (uint32_t i = 0; i < max_texture_stages; ++i) {
        const TextureView* view = item.state.textures[i];
        if (view == nullptr)
            continue;
        for (uint32_t level = 0; level < std::min(view->level_count, max_levels); ++level) {
            const LevelView& l = view->levels[level];
            item.reads.push_back(
                span_of(l.pixels, l.pitch, l.height, uint64_t{l.width} * std::max(1u, bytes_per_pixel(view->format))));
        }
    }
    commit(frame);
    // After the commit, which draws first the recorded work on what the item reads: the
    // contents of its textures are then known.
    hash_draw(frame, item);
    return true;
}

} // namespace

bool record_draw(const Targets& targets, const RasterState& state, PrimitiveType type, const VertexData& vertices,
                 const IndexData& indices, int32_t base_vertex, uint32_t first, uint32_t count)
{
    Frame& frame = recorded();
    std::lock_guard lock(frame.mutex);
    return record_draw_locked(frame, targets, state, type, vertices, indices, base_vertex, first, count);
}

bool draw(const Targets& targets, const RasterState& state, PrimitiveType type, const VertexData& vertices,
          const IndexData& indices, int32_t base_vertex, uint32_t first, uint32_t count)
{
    Frame& frame = recorded();
    std::lock_guard lock(frame.mutex);
    const bool drawn = record_draw_locked(frame, targets, state, type, vertices, indices, base_vertex, first, count);
    flush_locked(frame);
    return drawn;
}

void flush()
{
    Frame& frame = recorded();
    if (!frame.pending.load(std::memory_order_acquire))
        return;
    std::lock_guard lock(frame.mutex);
    flush_locked(frame);
}

void settle(const void* memory, size_t size)
{
    Frame& frame = recorded();
    if (!frame.pending.load(std::memory_order_acquire) || memory == nullptr)
        return;
    std::lock_guard lock(frame.mutex);
    const auto begin = reinterpret_cast<uintptr_t>(memory);
    flush_prefix(frame, touching_prefix(frame, Span{begin, begin + std::max<size_t>(size, 1)}));
}

bool keeps_unchanged()
{
    int setting = keep_setting.load(std::memory_order_relaxed);
    if (setting < 0) {
        const char* value = std::getenv("QUILLO_KEEP_STRIPS");
        setting = value != nullptr && std::strcmp(value, "0") == 0 ? 0 : 1;
        int unread = -1;
        keep_setting.compare_exchange_strong(unread, setting, std::memory_order_relaxed);
        setting = keep_setting.load(std::memory_order_relaxed);
    }
    return setting == 1;
}

void set_keep_unchanged(bool keep)
{
    Frame& frame = recorded();
    std::lock_guard lock(frame.mutex);
    flush_locked(frame);
    keep_setting.store(keep ? 1 : 0, std::memory_order_relaxed);
    if (!keep) {
        for (KeptTarget& kept : frame.kept)
            kept = KeptTarget{};
    }
}

void forget(const void* memory, size_t size)
{
    if (memory == nullptr)
        return;
    Frame& frame = recorded();
    std::lock_guard lock(frame.mutex);
    const auto begin = reinterpret_cast<uintptr_t>(memory);
    const Span span{begin, begin + std::max<size_t>(size, 1)};
    flush_prefix(frame, touching_prefix(frame, span));
    forget_locked(frame, span);
}

bool changed_rows(const void* memory, std::vector<RowRange>& rows)
{
    rows.clear();
    Frame& frame = recorded();
    std::lock_guard lock(frame.mutex);
    flush_locked(frame);
    const auto begin = reinterpret_cast<uintptr_t>(memory);
    for (KeptTarget& kept : frame.kept) {
        if (kept.span.end == 0 || begin < kept.span.begin || begin >= kept.span.end)
            continue;
        const bool known = kept.tracked;
        kept.tracked = true;
        for (size_t s = 0; s < kept.changed.size(); ++s) {
            if (!kept.changed[s])
                continue;
            kept.changed[s] = 0;
            const auto y0 = static_cast<uint32_t>(s * kKeepRows);
            const auto y1 = static_cast<uint32_t>(std::min<int64_t>((s + 1) * kKeepRows, kept.height));
            if (!rows.empty() && rows.back().last == y0)
                rows.back().last = y1;
            else
                rows.push_back({y0, y1});
        }
        if (!known)
            rows.clear();
        return known;
    }
    return false;
}

namespace {

void clear_part(const Targets& targets, const Rect& area, uint32_t flags, uint32_t argb, float z)
{
    auto cut = [&](uint32_t width, uint32_t height, int32_t& x0, int32_t& y0, int32_t& x1, int32_t& y1) {
        x0 = std::max<int32_t>(area.left, 0);
        y0 = std::max<int32_t>(area.top, 0);
        x1 = static_cast<int32_t>(std::min<int64_t>(area.right, width));
        y1 = static_cast<int32_t>(std::min<int64_t>(area.bottom, height));
        return x0 < x1 && y0 < y1;
    };
    int32_t x0, y0, x1, y1;
    const ColorView& color = targets.color;
    if ((flags & clear_flags::target) && color.pixels != nullptr && is_color_format(color.format)
        && valid_samples(color.samples) && cut(color.width, color.height, x0, y0, x1, y1)) {
        const uint32_t bytes = bytes_per_pixel(color.format);
        // Each pixel's samples lie side by side: a row of samples is cleared as a row.
        x0 *= static_cast<int32_t>(color.samples);
        x1 *= static_cast<int32_t>(color.samples);
        uint8_t pixel[4] = {};
        encode_color(color.format, argb, pixel);
        for (int32_t y = y0; y < y1; ++y) {
            uint8_t* row = color.pixels + static_cast<ptrdiff_t>(y) * color.pitch + static_cast<ptrdiff_t>(x0) * bytes;
            if (bytes == 4) {
                uint32_t word;
                std::memcpy(&word, pixel, 4);
                for (int32_t x = x0; x < x1; ++x, row += 4)
                    std::memcpy(row, &word, 4);
            } else {
                for (int32_t x = x0; x < x1; ++x, row += bytes)
                    std::memcpy(row, pixel, bytes);
            }
        }
    }
    const DepthView& depth = targets.depth;
    if ((flags & clear_flags::zbuffer) && depth.depth != nullptr && valid_samples(depth.samples)
        && cut(depth.width, depth.height, x0, y0, x1, y1)) {
        const size_t samples = depth.samples;
        for (int32_t y = y0; y < y1; ++y)
            std::fill(depth.depth + static_cast<size_t>(y) * depth.pitch + x0 * samples,
                      depth.depth + static_cast<size_t>(y) * depth.pitch + x1 * samples, z);
    }
}

} // namespace

void record_clear(const Targets& targets, const Rect& area, uint32_t flags, uint32_t argb, float z)
{
    Frame& frame = recorded();
    std::lock_guard lock(frame.mutex);
    Item& item = frame.next();
    item.kind = Item::clear;
    item.targets = {};
    int64_t height = 0, width = 0;
    if ((flags & clear_flags::target) && targets.color.pixels != nullptr) {
        item.targets.color = targets.color;
        height = std::max<int64_t>(height, targets.color.height);
        width = std::max<int64_t>(width, targets.color.width);
    }
    if ((flags & clear_flags::zbuffer) && targets.depth.depth != nullptr) {
        item.targets.depth = targets.depth;
        height = std::max<int64_t>(height, targets.depth.height);
        width = std::max<int64_t>(width, targets.depth.width);
    }
    item.area = area;
    item.flags = flags;
    item.argb = argb;
    item.z = z;
    item.y0 = std::max<int64_t>(area.top, 0);
    item.y1 = std::min<int64_t>(area.bottom, height);
    const int64_t columns = std::min<int64_t>(area.right, width) - std::max<int64_t>(area.left, 0);
    if (item.y0 >= item.y1 || columns <= 0)
        return;
    // Clearing costs a fraction of drawing a pixel.
    const int64_t samples = std::max(targets.color.samples, targets.depth.samples);
    item.pixels = static_cast<double>((item.y1 - item.y0) * columns * samples) / 16.0;
    add_targets(item);
    hash_clear(item);
    commit(frame);
}

void clear(const Targets& targets, const Rect& area, uint32_t flags, uint32_t argb, float z)
{
    record_clear(targets, area, flags, argb, z);
    flush();
}

namespace {

struct StripCall {
    void (*rows)(void*, uint32_t, uint32_t);
    void* context;
    uint32_t strip_rows;
    uint32_t height;
};

void run_call_strip(void* context, uint32_t strip)
{
    const StripCall& call = *static_cast<const StripCall*>(context);
    const uint32_t y0 = strip * call.strip_rows;
    call.rows(call.context, y0, std::min(call.height, y0 + call.strip_rows));
}

} // namespace

void for_each_strip(uint32_t height, uint32_t strip_rows, void (*rows)(void* context, uint32_t y0, uint32_t y1),
                    void* context)
{
    if (height == 0)
        return;
    if (strip_rows == 0)
        strip_rows = static_cast<uint32_t>(kStripRows);
    StripCall call{rows, context, strip_rows, height};
    detail::RenderPool::instance().run((height + strip_rows - 1) / strip_rows, run_call_strip, &call);
}

namespace {

struct ResolveJob {
    const ColorView* from;
    const ColorView* to;
};

// The average of n 32-bit samples, channel by channel, rounded.
template <uint32_t N>
uint32_t average_words(const uint8_t* p)
{
    uint64_t sum = 0;
    for (uint32_t i = 0; i < N; ++i) {
        uint32_t word;
        std::memcpy(&word, p + 4 * i, 4);
        // Channels in 16-bit lanes: B, R, G, A.
        sum += (word & 0x00FF00FFu) | (static_cast<uint64_t>(word & 0xFF00FF00u) << 24);
    }
    constexpr int shift = N == 4 ? 2 : 1;
    sum = ((sum + (N / 2) * 0x0001000100010001ull) >> shift) & 0x00FF00FF00FF00FFull;
    return static_cast<uint32_t>(sum & 0x00FF00FFu) | static_cast<uint32_t>((sum >> 24) & 0xFF00FF00u);
}

void resolve_rows(const ColorView& from, const ColorView& to, uint32_t y0, uint32_t y1)
{
    const uint32_t samples = from.samples;
    const uint32_t bytes = bytes_per_pixel(from.format);
    for (uint32_t y = y0; y < y1; ++y) {
        const uint8_t* in = from.pixels + static_cast<ptrdiff_t>(y) * from.pitch;
        uint8_t* out = to.pixels + static_cast<ptrdiff_t>(y) * to.pitch;
        if (bytes == 4 && samples == 4) {
            for (uint32_t x = 0; x < from.width; ++x) {
                const uint32_t word = average_words<4>(in + 16 * x);
                std::memcpy(out + 4 * x, &word, 4);
            }
        } else if (bytes == 4 && samples == 2) {
            for (uint32_t x = 0; x < from.width; ++x) {
                const uint32_t word = average_words<2>(in + 8 * x);
                std::memcpy(out + 4 * x, &word, 4);
            }
        } else {
            for (uint32_t x = 0; x < from.width; ++x) {
                uint32_t sums[4] = {};
                for (uint32_t i = 0; i < samples; ++i) {
                    const uint32_t argb = decode_color(from.format, in + (size_t{x} * samples + i) * bytes);
                    for (int c = 0; c < 4; ++c)
                        sums[c] += (argb >> (8 * c)) & 0xFFu;
                }
                uint32_t argb = 0;
                for (int c = 0; c < 4; ++c)
                    argb |= ((sums[c] + samples / 2) / samples) << (8 * c);
                encode_color(from.format, argb, out + size_t{x} * bytes);
            }
        }
    }
}

void resolve_strip(void* context, uint32_t y0, uint32_t y1)
{
    const ResolveJob& job = *static_cast<const ResolveJob*>(context);
    resolve_rows(*job.from, *job.to, y0, y1);
}

} // namespace

bool resolve(const ColorView& from, const ColorView& to)
{
    const uint32_t bytes = bytes_per_pixel(from.format);
    if (from.pixels == nullptr || to.pixels == nullptr || !is_color_format(from.format) || to.format != from.format
        || !valid_samples(from.samples) || to.samples != 1 || from.width != to.width || from.height != to.height
        || std::abs(static_cast<int64_t>(from.pitch)) < int64_t{from.width} * from.samples * bytes
        || std::abs(static_cast<int64_t>(to.pitch)) < int64_t{to.width} * bytes)
        return false;
    flush();
    if (from.samples == 1) {
        for (uint32_t y = 0; y < from.height; ++y)
            std::memcpy(to.pixels + static_cast<ptrdiff_t>(y) * to.pitch,
                        from.pixels + static_cast<ptrdiff_t>(y) * from.pitch, size_t{from.width} * bytes);
        return true;
    }
    // Large pictures are shared out in strips of rows, as draws are.
    if (RenderPool::instance().threads() <= 1 || uint64_t{from.width} * from.height < 65536) {
        resolve_rows(from, to, 0, from.height);
        return true;
    }
    ResolveJob job{&from, &to};
    for_each_strip(from.height, 0, resolve_strip, &job);
    return true;
}

} // namespace platform::gfx::raster
