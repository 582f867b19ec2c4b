// The rasterizer's flush: the recorded frame cut into strips of rows that the drawing
// threads share out, each strip running every recorded item over its rows in order; the
// strips of kept targets whose work is the one that drew them last are left as they are.

#include "platform/gfx/raster.h"

#include "platform/gfx/raster_frame.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace platform::gfx::raster {

using namespace detail;

namespace detail {

// Never destroyed: surfaces may be freed (and settle) while the program ends. A child
// made by fork starts a recording of its own: the parent's lock may be held by a
// thread the child does not have (a crash while drawing), and its items are the
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

namespace {

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
    draw_ops(Processed{item.setup, item.processed, item.first}, item.ops, y0, y1);
}

} // namespace

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

// Rows per strip (kStripRows): small enough that the threads share out a frame evenly.
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

} // namespace detail

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

struct RangeStrips {
    void (*rows)(void*, uint32_t, uint32_t);
    void* context;
    std::vector<RowRange> strips;
};

void run_range_strip(void* context, uint32_t strip)
{
    const RangeStrips& call = *static_cast<const RangeStrips*>(context);
    call.rows(call.context, call.strips[strip].first, call.strips[strip].last);
}

} // namespace

void for_each_strip(const std::vector<RowRange>& ranges, uint32_t strip_rows, uint32_t helpers,
                    void (*rows)(void* context, uint32_t y0, uint32_t y1), void* context)
{
    if (strip_rows == 0)
        strip_rows = static_cast<uint32_t>(kStripRows);
    RangeStrips call{rows, context, {}};
    for (const RowRange& range : ranges) {
        for (uint32_t y = range.first; y < range.last; y += std::min(strip_rows, range.last - y))
            call.strips.push_back({y, y + std::min(strip_rows, range.last - y)});
    }
    if (call.strips.empty())
        return;
    detail::RenderPool::instance().run(static_cast<uint32_t>(call.strips.size()), run_range_strip, &call, helpers);
}

} // namespace platform::gfx::raster
