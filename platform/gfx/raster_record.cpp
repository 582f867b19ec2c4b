// The rasterizer's recording of draws and clears: each draw's primitives in drawing order
// with their vertices transformed and its pixel set-up worked out once, what the work reads
// and writes, and what it does whatever the rows (for strips that can be left as they are).

#include "platform/gfx/raster.h"

#include "platform/gfx/raster_frame.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace platform::gfx::raster {

using namespace detail;

namespace detail {

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

} // namespace detail

namespace {

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

// What recording a draw keeps between calls on its thread, so that it allocates
// nothing once the buffers have grown to the largest draw seen.
struct DrawScratch {
    std::vector<uint32_t> order;
};

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
    DrawSetup& setup = item.setup;
    setup_draw(setup, item.targets, item.state);
    if (!setup.drawable)
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
    process_vertices(setup, item.state, item.layout, vertices, low, high - low + 1, item.processed);
    const Processed drawn{setup, item.processed, low};

    // The primitives in drawing order. Whether two triangles make one quad is decided
    // here once, as it decides which triangle comes next.
    std::vector<Op>& ops = item.ops;
    ops.clear();
    auto add = [&](Op::Kind kind, std::initializer_list<uint32_t> corners) {
        Op op;
        op.kind = kind;
        std::copy(corners.begin(), corners.end(), op.v);
        primitive_rows(drawn, op.v, static_cast<int>(corners.size()), op.y0, op.y1);
        if (kind == Op::point) {
            op.y0 = INT64_MIN;
            op.y1 = INT64_MAX;
        }
        op.hash = hash_op(op, item.processed, low, setup.attribute_count);
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
                    && forms_quad(drawn, corners[0], corners[1], corners[2], corners[3])) {
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
    item.first = low;
    int64_t low_row = INT64_MAX, high_row = INT64_MIN;
    for (const Op& op : ops) {
        low_row = std::min(low_row, op.y0);
        high_row = std::max(high_row, op.y1);
    }
    const int64_t top = setup.scissor_y0;
    const int64_t bottom = setup.scissor_y1;
    item.y0 = std::max(low_row, top);
    item.y1 = std::min(high_row, bottom);
    if (item.y0 >= item.y1)
        return true;
    item.pixels = 0.0;
    for (const Op& op : ops) {
        const double rows = static_cast<double>(std::min(op.y1, bottom) - std::max(op.y0, top));
        if (rows > 0)
            item.pixels += rows * std::min<double>(rows, static_cast<double>(setup.scissor_x1 - setup.scissor_x0));
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
    // What the flush draws with is known once the work that writes the textures is drawn.
    reread_texture_colors(setup);
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

namespace detail {

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

} // namespace detail

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

} // namespace platform::gfx::raster
