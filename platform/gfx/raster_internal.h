#pragma once

// Shared by the rasterizer's geometry stage (raster_geometry.cpp, with its set-up in
// raster_setup.cpp) and its pixel stage (raster_span.cpp, raster_sampling.cpp,
// raster_combine.cpp); not for users of the rasterizer.

#include "platform/gfx/raster.h"

#include <cstdint>

namespace platform::gfx::raster::detail {

// Pixels shaded together; the span loops work on arrays of this many entries.
constexpr int kChunk = 128;
// Diffuse RGBA, then u and v of each stage that samples a texture.
constexpr int kColorAttributes = 4;
constexpr int kMaxAttributes = kColorAttributes + 2 * static_cast<int>(max_texture_stages);

// A value over the screen: c at (ox, oy), changing by a per pixel in x and b in y.
struct Plane {
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;
    double ox = 0.0;
    double oy = 0.0;
    double at(double x, double y) const { return c + a * (x - ox) + b * (y - oy); }
};

// A plane in integers (units chosen by its user), relative to the triangle's
// reference pixel, so that rows start with a few integer multiplies.
struct FixedPlane {
    int64_t ref = 0;
    int64_t dx = 0;
    int64_t dy = 0;
};

enum class Filter { point, linear };
enum class Fetch { argb, xrgb, other };

struct Level {
    const uint8_t* pixels = nullptr;
    int32_t pitch = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bytes = 4; // per pixel
};

// How one stage samples its texture for the pixels of a triangle (or one pixel).
struct Sampler {
    Filter filter = Filter::point;
    Level level[2];
    uint32_t mip_weight = 0; // weight of level[1] in 1/256; 0: level[0] alone
    // Affine triangles: u and v of each level in texels × 2^32.
    FixedPlane u[2];
    FixedPlane v[2];
};

// Per draw: what one texture stage does.
struct Stage {
    uint32_t color_op = 0;
    uint32_t color_arg[3] = {}; // arg0, arg1, arg2
    uint32_t alpha_op = 0;
    uint32_t alpha_arg[3] = {};
    uint32_t constant = 0;
    // The texture as the stage sees it: sampled per pixel when `varying`, else the
    // single colour `texture_color`.
    const TextureView* texture = nullptr;
    bool varying = false;
    uint32_t texture_color = 0xFFFFFFFFu;
    Fetch fetch = Fetch::argb;
    Format format = Format::unknown;
    uint32_t address_u = 1;
    uint32_t address_v = 1;
    uint32_t border = 0;
    bool wrap_pow2 = false; // wrap in both directions over power-of-two levels
    uint32_t min_filter = 1;
    uint32_t mag_filter = 1;
    uint32_t mip_filter = 0;
    int slot = -1; // attribute index of u; v follows
};

// How colours meet the target: a copy, one of the three blends the engine uses, or
// any other combination of blend states.
enum class BlendKind { copy, alpha, add, add_alpha, generic };

// Per draw: everything the pixel stage needs besides the triangle.
struct PixelState {
    uint32_t stage_count = 0;
    Stage stages[max_texture_stages];
    uint32_t texture_factor = 0xFFFFFFFFu;

    bool depth_test = false;
    bool depth_write = false;
    // Every depth in [min_z, max_z] passes against the whole surface: only triangles
    // whose depths may fall outside that range (not numbers) are tested.
    bool depth_passes = false;
    uint32_t depth_func = 8;
    float min_z = 0.0f;
    float max_z = 1.0f;

    bool alpha_test = false;
    uint32_t alpha_func = 8;
    uint32_t alpha_ref = 0;

    bool blend = false;
    uint32_t src_blend = 2;
    uint32_t dest_blend = 1;
    uint32_t blend_op = 1;
    uint32_t write_mask = 0xFFFFFFFFu; // colour channels written, as an ARGB mask

    ColorView color;
    DepthView depth;
    bool has_color = false;
    bool has_depth = false;
    uint32_t color_bytes = 4; // per sample of the colour target
    // Samples per pixel of both targets (1, 2 or 4), where they lie in 1/256 pixel, and
    // which of them are written.
    uint32_t samples = 1;
    int32_t offset_x[4] = {};
    int32_t offset_y[4] = {};
    uint32_t sample_mask = 1;
    BlendKind blend_kind = BlendKind::copy;
    // 32-bit target, all channels written, no generic blend: runs go straight to it.
    bool direct_write = false;
};

// What the texture stages of a triangle reduce to when no per-pixel work is left in them.
// The textures follow one another: stage n's texture is `texture0` + n.
enum class Shortcut : int {
    stages = -1, // none: the stages run for every pixel
    result = 0,  // one colour, the triangle's `result`
    diffuse = 1, // the diffuse colour
    texture0 = 2,
};
constexpr Shortcut texture_shortcut(uint32_t stage)
{
    return static_cast<Shortcut>(static_cast<int>(Shortcut::texture0) + static_cast<int>(stage));
}
constexpr bool is_texture(Shortcut shortcut)
{
    return shortcut >= Shortcut::texture0;
}
// The stage whose texture a texture shortcut is.
constexpr int stage_of(Shortcut shortcut)
{
    return static_cast<int>(shortcut) - static_cast<int>(Shortcut::texture0);
}

// Per triangle (or quad), in screen space (pixel units, sample points at integers).
struct Triangle {
    bool affine = true;
    // The depth test is left out (PixelState::depth_passes, and the depths are numbers).
    bool skip_depth_test = false;
    Plane z;
    Plane rhw; // perspective only
    // Affine: the attributes themselves; perspective: attribute × rhw.
    Plane attributes[kMaxAttributes];
    bool constant_diffuse = false;
    uint32_t diffuse = 0xFFFFFFFFu;
    // Affine: the reference pixel of the fixed planes, the diffuse channels (R, G, B,
    // A; 0..255 × 2^32) and the sampling chosen for the whole triangle.
    int64_t ref_x = 0;
    int64_t ref_y = 0;
    FixedPlane color[4];
    Sampler samplers[max_texture_stages];
    Shortcut shortcut = Shortcut::stages;
    uint32_t result = 0;
    // With the diffuse or a texture shortcut: that source times the colour `result` (a
    // texture or diffuse colour times a constant, as sprites with a transparency come).
    bool scaled = false;
};

// Plane values in fixed point are kept within these bounds (absurd coordinates are
// cut), so that a row start ref + dx·x + dy·y stays inside 64 bits.
constexpr double kFixedValueLimit = 1152921504606846976.0; // 2^60
constexpr double kFixedStepLimit = 17592186044416.0;       // 2^44

struct Value;

// Shades pixels [x0, x1) of row y. Owns the scratch arrays of the span loops.
class SpanShader {
public:
    explicit SpanShader(const PixelState& state);
    SpanShader(const SpanShader&) = delete;
    SpanShader& operator=(const SpanShader&) = delete;
    ~SpanShader();

    // Fills the triangle's shortcut once its sources are known.
    void prepare(Triangle& triangle);
    void shade(const Triangle& triangle, int y, int x0, int x1);
    // Multisampled targets: pixels [x0, x1) of row y, sample s covering [spans[s][0],
    // spans[s][1]); `covered`: every sample of these pixels is covered and written.
    void shade_samples(const Triangle& triangle, int y, int x0, int x1, const int64_t (*spans)[2], bool covered);

    // The span loops' arrays, one set per thread.
    struct Scratch;

private:
    void sources(const Triangle& triangle, Value& diffuse, Value* textures) const;
    // The shaded colours of pixels [x, x + n) of row y.
    const uint32_t* colors(const Triangle& triangle, int y, int x, int n);
    const PixelState& state_;
    Scratch* scratch_;
};

// The drawing threads QUILLO_RENDER_THREADS asks for: a whole number from 1 to 256, else
// one per processor, with a line on stderr for a value that is not such a number.
uint32_t configured_threads();

// The worker threads that draw bands of rows. One pool serves every draw; a draw
// hands it numbered tasks and takes part itself until all are done.
class RenderPool {
public:
    static RenderPool& instance();
    RenderPool(const RenderPool&) = delete;
    RenderPool& operator=(const RenderPool&) = delete;
    ~RenderPool();

    // Threads drawing, the caller's included (1: no workers).
    uint32_t threads() const;
    void set_threads(uint32_t count);
    // Runs task(context, i) for i in [0, tasks), spread over the threads (the caller's and
    // at most `helpers` workers: small work wakes few); returns when every task has
    // returned. Calls from several threads take turns.
    void run(uint32_t tasks, void (*task)(void*, uint32_t), void* context, uint32_t helpers = UINT32_MAX);

private:
    RenderPool();
    struct State;
    // The state of this process: after a fork the parent's is left behind whole (its
    // locks and condition variables may be held by threads the child does not have).
    State& own_state();
    State* state_;
};

// Chooses level(s) and filter for a stage from the texel footprint of one pixel
// (derivatives of u and v in level-0 texels per pixel).
Sampler choose_sampler(const Stage& stage, double dudx, double dvdx, double dudy, double dvdy);

} // namespace platform::gfx::raster::detail
