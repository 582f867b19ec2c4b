#pragma once

// The software rasterizer behind the graphics device: fixed-function transform and
// lighting, clipping, culling, the texture stages, samplers, alpha test, depth test
// and blending, drawing into plain views of pixel memory. It knows nothing of device
// objects: the device hands it a snapshot of its state and views of its surfaces.
//
// Screen space follows the device's rules: y points down, pixel (i, j) is sampled at
// the integer point (i, j), edges follow the top-left fill rule, so a quad whose
// corners lie at half-integer coordinates maps texels to pixels one to one.
// Results depend only on the inputs (no randomness, and the same pixels whatever the
// number of threads), so pictures can be compared exactly.
//
// Draws and clears can be recorded and drawn together later (record_draw,
// record_clear, flush): the pool of worker threads (one per processor the process may
// use, or QUILLO_RENDER_THREADS; 1 draws on the calling thread only) then takes strips of rows,
// each strip running every recorded item over its rows in the order they were
// recorded, so the picture is the one a single thread draws. Recording keeps what a
// draw depends on at that moment (states, transforms, the transformed vertices); the
// memory of its targets and textures is read and written at the flush, which comes
// before anything else reads or changes that memory (settle).
//
// Multisampled targets hold 2 or 4 samples per pixel, side by side in memory, at the
// standard sample positions of those counts. Coverage and depth are decided per
// sample, the colour is shaded once per pixel (at its centre) and blended into each
// covered sample; resolve() averages the samples into a one-sample picture.

#include "platform/gfx/types.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::gfx::raster {

// A colour surface: rows `pitch` bytes apart, pixels in the format's layout; each
// pixel is `samples` values of the format side by side (1, 2 or 4).
//
// `kept`: nothing but the rasterizer changes the memory, or whatever else does says so
// first (forget). A strip of rows of kept targets whose recorded work is the same as the
// work that drew what those rows hold is then left as it is at the flush.
struct ColorView {
    uint8_t* pixels = nullptr;
    int32_t pitch = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    Format format = Format::unknown;
    uint32_t samples = 1;
    bool kept = false;
};

// A depth surface: `samples` floats per pixel, rows `pitch` floats apart.
struct DepthView {
    float* depth = nullptr;
    uint32_t pitch = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t samples = 1;
    // Set when every value in the view is `uniform_value` (as after clearing all of it):
    // a draw that writes no depth and whose every depth passes against that value
    // reads none.
    bool uniform = false;
    float uniform_value = 1.0f;
    bool kept = false; // as for ColorView
};

// Where a draw or clear lands; a null colour or depth view is simply not touched.
// A draw takes its sample count from the colour view (the depth view's without one);
// a depth view of another count is not used.
struct Targets {
    ColorView color;
    DepthView depth;
};

constexpr uint32_t max_levels = 16;

struct LevelView {
    const uint8_t* pixels = nullptr;
    int32_t pitch = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    // A number that no other contents of these pixels ever had: it changes whenever they
    // change. 0, unknown: a draw that samples the level is drawn at every flush.
    uint64_t version = 0;
};

// A bound texture: its mip chain, largest level first.
struct TextureView {
    Format format = Format::unknown;
    uint32_t level_count = 0;
    std::array<LevelView, max_levels> levels{};
};

constexpr uint32_t max_active_lights = 8;

// Everything a draw reads, indexed like the device's states. The constructor gives
// the device's defaults (first stage modulates texture and diffuse, later stages
// off, wrap addressing, point filtering, depth test LESSEQUAL with writes, culling of
// counter-clockwise triangles, lighting on with a black material, no blending).
struct RasterState {
    RasterState();

    Viewport viewport;
    Matrix world;
    Matrix view;
    Matrix projection;
    std::array<Matrix, max_texture_stages> texture_transforms{};
    std::array<uint32_t, render_state_count> render_states{};
    std::array<std::array<uint32_t, texture_stage_state_count>, max_texture_stages> stage_states{};
    std::array<std::array<uint32_t, sampler_state_count>, max_texture_stages> sampler_states{};
    // The enabled lights, in index order; only the first `light_count` are used.
    std::array<Light, max_active_lights> lights{};
    uint32_t light_count = 0;
    Material material;
    // Per stage; null draws as opaque white.
    std::array<const TextureView*, max_texture_stages> textures{};

    uint32_t& operator[](RenderState state) { return render_states[static_cast<uint32_t>(state)]; }
    uint32_t operator[](RenderState state) const { return render_states[static_cast<uint32_t>(state)]; }
    uint32_t& stage(uint32_t index, TextureStageState state)
    {
        return stage_states[index][static_cast<uint32_t>(state)];
    }
    uint32_t& sampler(uint32_t index, SamplerState state)
    {
        return sampler_states[index][static_cast<uint32_t>(state)];
    }
};

// Vertices in the flexible vertex format `fvf`, `stride` bytes apart, `size` bytes
// readable from `bytes`. Only untransformed positions (xyz) are drawn.
struct VertexData {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    uint32_t stride = 0;
    uint32_t fvf = 0;
};

// 16- or 32-bit indices; `bytes` null draws without indices.
struct IndexData {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    bool wide = false;
};

// Draws `count` primitives of `type` now (work recorded before it is drawn first). Without indices vertex `first + n` is read;
// with indices, index `first + n` names vertex `base_vertex + index`. Triangle lists,
// strips and fans are drawn; point lists draw square point sprites (size from the
// vertex or the point-size state); lines draw nothing. Primitives that name vertices
// outside the data are skipped. False, with nothing drawn, when the vertex format,
// stride or ranges are unusable.
bool draw(const Targets& targets, const RasterState& state, PrimitiveType type, const VertexData& vertices,
          const IndexData& indices, int32_t base_vertex, uint32_t first, uint32_t count);

// As draw, but recorded for the next flush; the views' memory must stay alive and
// unchanged (but by recorded work) until then. Work recorded earlier that this draw's
// textures read back, or that reads what it writes, is drawn first.
bool record_draw(const Targets& targets, const RasterState& state, PrimitiveType type, const VertexData& vertices,
                 const IndexData& indices, int32_t base_vertex, uint32_t first, uint32_t count);

// As clear, but recorded for the next flush.
void record_clear(const Targets& targets, const Rect& area, uint32_t flags, uint32_t argb, float z);

// Draws all recorded work, from whatever thread recorded it. Strips of rows of kept
// targets whose work is the one that drew them last are left as they are (unless
// set_keep_unchanged(false)).
void flush();

// Whether flushes leave unchanged strips as they are (default: yes; QUILLO_KEEP_STRIPS=0 in
// the environment: no). Either way the pictures are the same; off, every strip is drawn.
bool keeps_unchanged();
void set_keep_unchanged(bool keep);

// The `size` bytes at `memory`, part of a kept target, are about to be changed or freed by
// something else than the rasterizer: what it knows of their contents is dropped (the work
// recorded on them is drawn first).
void forget(const void* memory, size_t size);

// Rows [first, last) of a picture.
struct RowRange {
    uint32_t first = 0;
    uint32_t last = 0;
};

// The rows of the kept colour target at `memory` that flushes have changed since the last
// call for it (recorded work is drawn first), merged and in order, into `rows`. False when
// that is not known: the first call, or its memory was forgotten or drawn into as not kept
// since; then every row may have changed.
bool changed_rows(const void* memory, std::vector<RowRange>& rows);

// Draws the recorded work up to the last of it that reads or writes the `size` bytes at
// `memory` (the rest stays recorded): called before that memory is read, changed or freed
// by anything but the rasterizer.
void settle(const void* memory, size_t size);

// Runs rows(context, y0, y1) over [0, height) cut into strips of `strip_rows` rows
// (0: the rasterizer's own choice), the drawing threads taking strips as they come
// free; returns when every strip is done. For row-by-row work on whole pictures, such
// as converting a frame for the screen.
void for_each_strip(uint32_t height, uint32_t strip_rows, void (*rows)(void* context, uint32_t y0, uint32_t y1),
                    void* context);

// As for_each_strip, over the rows of each of `ranges` in turn (rows past a range's end are
// not visited), cut into strips of `strip_rows` rows (0: the rasterizer's own choice), and
// with at most `helpers` threads besides the calling one: for work too small to be worth
// waking every thread.
void for_each_strip(const std::vector<RowRange>& ranges, uint32_t strip_rows, uint32_t helpers,
                    void (*rows)(void* context, uint32_t y0, uint32_t y1), void* context);

// The threads that draw (the caller's included), and a new number of them (0: one per
// processor the process may use, platform::usable_processors). The pictures do not depend on it.
uint32_t thread_count();
void set_thread_count(uint32_t count);

// Fills the rectangle [left, right) × [top, bottom), cut to each target, with the
// colour (clear_flags::target) and the depth value (clear_flags::zbuffer); every
// sample of a pixel alike. Work recorded before it is drawn first.
void clear(const Targets& targets, const Rect& area, uint32_t flags, uint32_t argb, float z);

// Where the samples of a pixel lie, in sixteenths of a pixel from its centre (y
// down), for 2 and 4 samples; one sample lies at the centre.
struct SampleOffset {
    int x;
    int y;
};
const SampleOffset* sample_offsets(uint32_t samples);

// Averages each pixel's samples (per channel, rounded) into `to` (recorded work first), a view of one sample
// per pixel of the same format and size; false, with nothing written, when the views
// do not fit together.
bool resolve(const ColorView& from, const ColorView& to);

} // namespace platform::gfx::raster
