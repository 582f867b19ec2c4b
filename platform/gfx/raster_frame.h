#pragma once

// The rasterizer's recording: draws and clears kept as items of a frame until the flush,
// which runs them over strips of rows; shared by the recording of items and the flush
// that draws them (and leaves kept strips as they are). Not for users of the rasterizer.

#include "platform/gfx/raster_draw.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace platform::gfx::raster::detail {

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

inline uint64_t mix(uint64_t a, uint64_t b)
{
    Hash h;
    h.word(a);
    h.word(b);
    return h.value();
}

inline uint64_t pointer_word(const void* p)
{
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p));
}

// The structures hashed as bytes are made of 4-byte words only, without padding.
static_assert(sizeof(Viewport) == 24 && sizeof(Matrix) == 64 && alignof(Light) == 4 && sizeof(Light) % 4 == 0
              && alignof(Material) == 4 && sizeof(Material) % 4 == 0);
// A transformed vertex: four doubles and a float, then its attributes.
static_assert(offsetof(ClipVertex, attributes) == 36);

constexpr double kParallelPixels = 16384.0;
constexpr double kPixelsPerThread = 65536.0;

// Bytes of memory a view spans, whatever the sign of its pitch.
struct Span {
    uintptr_t begin = 0;
    uintptr_t end = 0;
    bool overlaps(const Span& other) const { return begin < other.end && other.begin < end; }
    bool operator==(const Span&) const = default;
};

inline Span span_of(const void* memory, int64_t pitch, uint64_t height, uint64_t row_bytes)
{
    const auto base = reinterpret_cast<uintptr_t>(memory);
    if (memory == nullptr || height == 0)
        return {};
    const int64_t last = pitch * static_cast<int64_t>(height - 1);
    return {base + static_cast<uintptr_t>(std::min<int64_t>(last, 0)),
            base + static_cast<uintptr_t>(std::max<int64_t>(last, 0)) + row_bytes};
}

// A draw or clear kept for the flush, with everything it reads but the memory of its

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
    DrawSetup setup;
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

// The recording of this process.
Frame& recorded();

// Adds the item just filled (Frame::next) to the recording, first drawing the recorded work
// that the item reads or writes when it must come first.
void commit(Frame& frame);
// Draws all recorded work.
void flush_locked(Frame& frame);
// Draws the first `k` recorded items and keeps the rest.
void flush_prefix(Frame& frame, size_t k);
// How many recorded items must be drawn before `span` is read or written by anything else.
size_t touching_prefix(const Frame& frame, const Span& span);

// The spans of memory of an item's targets join its writes.
void add_targets(Item& item);
void hash_draw(const Frame& frame, Item& item);
void hash_clear(Item& item);
uint64_t hash_op(const Op& op, const std::vector<ClipVertex>& processed, uint32_t first, int attributes);
// Clears rows of targets now.
void clear_part(const Targets& targets, const Rect& area, uint32_t flags, uint32_t argb, float z);

// Rows of the strips the threads share out.
constexpr int64_t kStripRows = 32;

} // namespace platform::gfx::raster::detail
