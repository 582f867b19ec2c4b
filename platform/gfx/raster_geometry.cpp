// The rasterizer's geometry stage: clipping, culling, triangle and point set-up and the
// scan conversion that hands rows of pixels to the span shader.

#include "platform/gfx/raster_draw.h"

#include <algorithm>
#include <cmath>

namespace platform::gfx::raster::detail {

namespace {

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

// The corners of one draw's primitives as its transformed vertices place them.
class Corners {
public:
    explicit Corners(const Processed& draw)
        : setup_(draw.setup), pixel_(draw.setup.pixel), processed_(draw.vertices), first_(draw.first)
    {
    }

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

    // See forms_quad.
    bool is_quad(uint32_t p, uint32_t s, uint32_t q, uint32_t r) const
    {
        const ClipVertex* c[4] = {&processed_[p - first_], &processed_[s - first_], &processed_[q - first_],
                                  &processed_[r - first_]};
        const double tolerance = 1e-6 * std::abs(c[0]->w);
        for (const ClipVertex* v : c) {
            if (!finite(*v) || outcode(*v) != 0 || !(std::abs(v->w - c[0]->w) <= tolerance))
                return false;
        }
        const ScreenVertex sv[4] = {to_screen(*c[0]), to_screen(*c[1]), to_screen(*c[2]), to_screen(*c[3])};
        const ScreenVertex &P = sv[0], &S = sv[1], &Q = sv[2], &R = sv[3];
        const int64_t first = area2(P, Q, R);
        const int64_t second = area2(Q, P, S);
        if (first == 0 || second == 0 || (first > 0) != (second > 0))
            return false;
        if (culled(first))
            return true;
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
        for (int i = 0; i < setup_.attribute_count; ++i) {
            if (!on_plane(P.attributes[i], Q.attributes[i], R.attributes[i], S.attributes[i],
                          i < kColorAttributes ? 0.01 : 1e-6))
                return false;
        }
        return true;
    }

protected:
    // --- clipping

    // Signed distances to the clip planes; inside is ≥ 0.
    void distances(const ClipVertex& v, double* d) const
    {
        d[0] = v.z;
        d[1] = v.w - v.z;
        d[2] = v.x + setup_.guard_x * v.w;
        d[3] = setup_.guard_x * v.w - v.x;
        d[4] = v.y + setup_.guard_y * v.w;
        d[5] = setup_.guard_y * v.w - v.y;
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
        for (int i = 0; i < setup_.attribute_count; ++i)
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
        const Viewport& vp = setup_.viewport;
        ScreenVertex s;
        s.rhw = 1.0 / v.w;
        const double x = vp.x + (1.0 + v.x * s.rhw) * vp.width * 0.5;
        const double y = vp.y + (1.0 - v.y * s.rhw) * vp.height * 0.5;
        s.z = vp.min_z + v.z * s.rhw * (static_cast<double>(vp.max_z) - vp.min_z);
        s.X = std::llround(x * kSubpixel);
        s.Y = std::llround(y * kSubpixel);
        s.x = static_cast<double>(s.X) / kSubpixel;
        s.y = static_cast<double>(s.Y) / kSubpixel;
        std::copy(v.attributes, v.attributes + setup_.attribute_count, s.attributes);
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
        if (setup_.cull == cull::counter_clockwise)
            return area < 0;
        if (setup_.cull == cull::clockwise)
            return area > 0;
        return false;
    }

    static bool finite(const ClipVertex& v)
    {
        return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
    }

    const DrawSetup& setup_;
    const PixelState& pixel_;
    const std::vector<ClipVertex>& processed_;
    uint32_t first_ = 0;
};

// Draws the primitives of one draw from its transformed vertices.
class Drawer : private Corners {
public:
    explicit Drawer(const Processed& draw) : Corners(draw), shader_(pixel_) {}

    // Only rows [y0, y1) are drawn.
    void set_band(int64_t y0, int64_t y1)
    {
        band_y0_ = y0;
        band_y1_ = y1;
    }

    void triangle(uint32_t a, uint32_t b, uint32_t c)
    {
        draw_triangle(processed_[a - first_], processed_[b - first_], processed_[c - first_]);
    }

    void point(uint32_t index) { draw_point(processed_[index - first_]); }

    // Draws in one pass the quad p, s, q, r that is_quad accepted.
    void quad(uint32_t p, uint32_t s, uint32_t q, uint32_t r)
    {
        const ScreenVertex P = to_screen(processed_[p - first_]);
        const ScreenVertex S = to_screen(processed_[s - first_]);
        const ScreenVertex Q = to_screen(processed_[q - first_]);
        const ScreenVertex R = to_screen(processed_[r - first_]);
        const int64_t first = area2(P, Q, R);
        if (culled(first))
            return;
        const ScreenVertex* order[4] = {&P, &S, &Q, &R};
        rasterize(order, 4, first, P, Q, R, first, true);
    }

private:
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
        if (!finite(v) || !(v.w > kMinimumW) || v.z < 0.0 || v.z > v.w || std::abs(v.x) > setup_.guard_x * v.w
            || std::abs(v.y) > setup_.guard_y * v.w)
            return;
        const float limit = setup_.point_size_max;
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
            if (setup_.point_sprites) {
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
        const int64_t first_row = std::max<int64_t>(ceil_div(min_y, kSubpixel), setup_.scissor_y0);
        const int64_t end_row = std::min<int64_t>(ceil_div(max_y, kSubpixel), setup_.scissor_y1);
        if (first_row >= end_row)
            return;
        // Covered columns lie in [ceil(min x), ceil(max x)).
        if (ceil_div(max_x, kSubpixel) <= setup_.scissor_x0 || ceil_div(min_x, kSubpixel) >= setup_.scissor_x1)
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
            x0 = std::max<int64_t>(left.x(row), setup_.scissor_x0);
            x1 = std::min<int64_t>(right.x(row), setup_.scissor_x1);
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
            w.first = std::max<int64_t>(ceil_div(min_y - oy, kSubpixel), setup_.scissor_y0);
            w.end = std::min<int64_t>(ceil_div(max_y - oy, kSubpixel), setup_.scissor_y1);
            first_row = std::min(first_row, w.first);
            end_row = std::max(end_row, w.end);
            low_x = std::min(low_x, ceil_div(min_x - ox, kSubpixel));
            high_x = std::max(high_x, ceil_div(max_x - ox, kSubpixel));
        }
        if (first_row >= end_row || high_x <= setup_.scissor_x0 || low_x >= setup_.scissor_x1)
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
                spans[i][0] = std::max<int64_t>(w.left.x(row), setup_.scissor_x0);
                spans[i][1] = std::min<int64_t>(w.right.x(row), setup_.scissor_x1);
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
        for (int i = 0; i < setup_.attribute_count; ++i) {
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

    SpanShader shader_;
    Triangle triangle_;
    int64_t band_y0_ = INT64_MIN;
    int64_t band_y1_ = INT64_MAX;
};

} // namespace

void primitive_rows(const Processed& draw, const uint32_t* corners, int count, int64_t& y0, int64_t& y1)
{
    Corners(draw).rows(corners, count, y0, y1);
}

bool forms_quad(const Processed& draw, uint32_t p, uint32_t s, uint32_t q, uint32_t r)
{
    return Corners(draw).is_quad(p, s, q, r);
}

void draw_ops(const Processed& draw, const std::vector<Op>& ops, int64_t y0, int64_t y1)
{
    Drawer drawer(draw);
    drawer.set_band(y0, y1);
    for (const Op& op : ops) {
        if (op.y1 <= y0 || op.y0 >= y1)
            continue;
        switch (op.kind) {
        case Op::triangle: drawer.triangle(op.v[0], op.v[1], op.v[2]); break;
        case Op::quad: drawer.quad(op.v[0], op.v[1], op.v[2], op.v[3]); break;
        case Op::point: drawer.point(op.v[0]); break;
        }
    }
}

} // namespace platform::gfx::raster::detail
