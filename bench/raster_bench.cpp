// Fill-rate benchmark of the software rasterizer. One scene of N textured,
// alpha-blended, rotated and scaled 64×64 sprites at 1024×768 is drawn
//   - by the rasterizer directly, point-sampled, bilinear (one level, as both peers
//     filter) and trilinear (linear between the levels of a mip chain), on one thread
//     and on all of them;
//   - through the engine's path, a render list of sprites drawn by Hardware::render
//     on the graphics device, with the sprites' filter byte off and on, likewise;
//   - by SDL2's software SDL_RenderGeometry (one thread; it samples the nearest texel);
//   - by SDL2's OpenGL renderer on Mesa's llvmpipe (all cores: LP_NUM_THREADS), nearest
//     and linear (one level: SDL makes no mip chain), in a window of a virtual display of
//     the bench's own (Xvfb), each frame waited for with glFinish; skipped, with a line
//     saying so, without Xvfb or Mesa;
//   - and, as a demo-like frame through Hardware::render with filtering, presented, on all
//     cores without multisampling and with 2 and 4 samples per pixel.
// Rates are in megapixels of sprite area per second of wall time (best frame of each,
// after an untimed one). "All cores" are the processors the process may run on (taskset
// narrows them). The one-thread cases, SDL's included, run on one processor: the fastest
// of those allowed at a trial frame (a loaded or slower core would otherwise decide the
// figure from run to run), their pictures' memory first touched there; the two sides
// take turns, twice each, so that a change of the machine's pace shows in both.
// The engine's path draws every frame in full (set_keep_unchanged(false)): the scene is
// the same each frame, and unchanged strips would otherwise not be drawn at all.
//
// Usage: raster_bench [sprites] [frames]      (defaults 2000 and 10)

#define SDL_MAIN_HANDLED
#include "support/figures.h"
#include "support/virtual_display.h"

#include "platform/gfx/device.h"
#include "platform/gfx/hooks.h"
#include "platform/gfx/present.h"
#include "platform/gfx/raster.h"
#include "platform/window.h"
#include "vadu/hardware_manager.h"
#include "vadu/lib3d/hard/directx8/creator.h"
#include "vadu/lib3d/hard/directx8/hardware.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/hard/resources.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sched.h>
#include <time.h>

namespace {

namespace gfx = platform::gfx;
namespace raster = platform::gfx::raster;

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr int kSprite = 64;

struct Sprite {
    float x, y;   // centre, SDL pixel coordinates (pixel centres at +0.5)
    float angle;  // radians
    float scale;
};

// XYZ | DIFFUSE | TEX1, as the engine's sprite batches.
struct Vertex {
    float x, y, z;
    uint32_t color;
    float u, v;
};

// A soft disc with a colour pattern: alpha falls to 0 towards the rim.
std::vector<uint32_t> sprite_texels(int size)
{
    std::vector<uint32_t> texels(static_cast<size_t>(size) * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double dx = (x + 0.5) / size - 0.5;
            const double dy = (y + 0.5) / size - 0.5;
            const double r = std::sqrt(dx * dx + dy * dy) * 2.0;
            const uint32_t a = static_cast<uint32_t>(std::clamp(1.2 - r, 0.0, 1.0) * 255.0);
            const uint32_t red = static_cast<uint32_t>(128 + 127 * std::sin(x * 0.3));
            const uint32_t green = static_cast<uint32_t>(128 + 127 * std::cos(y * 0.25));
            const uint32_t blue = static_cast<uint32_t>((x ^ y) * 4 & 0xFF);
            texels[static_cast<size_t>(y) * size + x] = a << 24 | red << 16 | green << 8 | blue;
        }
    }
    return texels;
}

// The sprite as a blended SDL texture of `renderer`; null when SDL refuses it.
SDL_Texture* sprite_texture(SDL_Renderer* renderer)
{
    SDL_Texture* texture =
        SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, kSprite, kSprite);
    if (texture == nullptr)
        return nullptr;
    const std::vector<uint32_t> texels = sprite_texels(kSprite);
    SDL_UpdateTexture(texture, nullptr, texels.data(), kSprite * 4);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
    return texture;
}

// The full mip chain by 2×2 averages.
std::vector<std::vector<uint32_t>> mip_chain(std::vector<uint32_t> top, int size)
{
    std::vector<std::vector<uint32_t>> levels{std::move(top)};
    while (size > 1) {
        const int half = size / 2;
        const std::vector<uint32_t>& above = levels.back();
        std::vector<uint32_t> level(static_cast<size_t>(half) * half);
        for (int y = 0; y < half; ++y)
            for (int x = 0; x < half; ++x) {
                uint32_t result = 0;
                for (int c = 0; c < 32; c += 8) {
                    uint32_t sum = 0;
                    for (int k = 0; k < 4; ++k)
                        sum += (above[static_cast<size_t>(2 * y + k / 2) * size + 2 * x + k % 2] >> c) & 0xFF;
                    result |= ((sum + 2) / 4) << c;
                }
                level[static_cast<size_t>(y) * half + x] = result;
            }
        levels.push_back(std::move(level));
        size = half;
    }
    return levels;
}

std::vector<Sprite> make_scene(int count, bool rotated)
{
    std::mt19937 random(12345);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<Sprite> sprites;
    for (int i = 0; i < count; ++i) {
        Sprite s;
        s.scale = rotated ? 0.5f + unit(random) : 1.0f;
        s.angle = rotated ? unit(random) * 6.2831853f : 0.0f;
        // Keep every sprite wholly on the screen.
        const float reach = kSprite * s.scale * 0.71f + 1.0f;
        s.x = reach + unit(random) * (kWidth - 2 * reach);
        s.y = reach + unit(random) * (kHeight - 2 * reach);
        if (!rotated) {
            s.x = std::floor(s.x);
            s.y = std::floor(s.y);
        }
        sprites.push_back(s);
    }
    return sprites;
}

double scene_pixels(const std::vector<Sprite>& sprites)
{
    double total = 0.0;
    for (const Sprite& s : sprites)
        total += (kSprite * s.scale) * (kSprite * s.scale);
    return total;
}

// Corners in SDL coordinates: top-left, top-right, bottom-left, bottom-right.
void corners(const Sprite& s, float (&x)[4], float (&y)[4])
{
    const float c = std::cos(s.angle), n = std::sin(s.angle);
    const float h = kSprite * s.scale * 0.5f;
    const float dx[4] = {-h, h, -h, h};
    const float dy[4] = {-h, -h, h, h};
    for (int k = 0; k < 4; ++k) {
        x[k] = s.x + dx[k] * c - dy[k] * n;
        y[k] = s.y + dx[k] * n + dy[k] * c;
    }
}

const float kU[4] = {0, 1, 0, 1};
const float kV[4] = {0, 0, 1, 1};

double wall_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The best of `frames` timed frames, after an untimed one (first touches, caches).
double best_seconds(int frames, const std::function<void()>& prepare, const std::function<void()>& draw)
{
    prepare();
    draw();
    double best = 1e30;
    for (int i = 0; i < frames; ++i) {
        prepare();
        const double start = wall_seconds();
        draw();
        best = std::min(best, wall_seconds() - start);
    }
    return best;
}

enum class Filter {
    point,     // the nearest texel of the top level
    bilinear,  // 2×2 texels of the top level, as the peers filter
    trilinear, // bilinear in the two nearest levels of the mip chain, then between them
};

class OurRenderer {
public:
    explicit OurRenderer(Filter filter)
        : pixels_(static_cast<size_t>(kWidth) * kHeight), depth_(static_cast<size_t>(kWidth) * kHeight),
          levels_(mip_chain(sprite_texels(kSprite), kSprite))
    {
        const bool mipmapped = filter == Filter::trilinear;
        const bool linear = filter != Filter::point;
        texture_.format = gfx::Format::a8r8g8b8;
        texture_.level_count = mipmapped ? static_cast<uint32_t>(levels_.size()) : 1;
        for (size_t i = 0; i < levels_.size(); ++i) {
            const uint32_t side = static_cast<uint32_t>(kSprite >> i);
            texture_.levels[i] = {reinterpret_cast<const uint8_t*>(levels_[i].data()),
                                  static_cast<int32_t>(side * 4), side, side};
        }
        white_.format = gfx::Format::a8r8g8b8;
        white_.level_count = 1;
        white_.levels[0] = {reinterpret_cast<const uint8_t*>(&white_texel_), 4, 1, 1};

        // The engine's blended pass with driver class 1 stages.
        raster::RasterState& s = state_;
        s.viewport = {0, 0, kWidth, kHeight, 0.0f, 1.0f};
        s.projection.m[0][0] = 2.0f / kWidth;
        s.projection.m[1][1] = -2.0f / kHeight;
        s.projection.m[3][0] = -1.0f;
        s.projection.m[3][1] = 1.0f;
        s[gfx::RenderState::lighting] = 0;
        s[gfx::RenderState::cull_mode] = gfx::cull::counter_clockwise;
        s[gfx::RenderState::zenable] = 1;
        s[gfx::RenderState::zfunc] = gfx::compare::less_equal;
        s[gfx::RenderState::zwrite_enable] = 0;
        s[gfx::RenderState::alpha_blend_enable] = 1;
        s[gfx::RenderState::src_blend] = gfx::blend::src_alpha;
        s[gfx::RenderState::dest_blend] = gfx::blend::inv_src_alpha;
        s[gfx::RenderState::texture_factor] = 0xFFFFFFFFu;
        for (uint32_t i = 0; i < 3; ++i) {
            using gfx::TextureStageState;
            const uint32_t arg1 = i == 2 ? gfx::texture_arg::texture_factor : gfx::texture_arg::texture;
            s.stage(i, TextureStageState::color_op) = gfx::texture_op::modulate;
            s.stage(i, TextureStageState::alpha_op) = gfx::texture_op::modulate;
            s.stage(i, TextureStageState::color_arg1) = arg1;
            s.stage(i, TextureStageState::alpha_arg1) = arg1;
            s.stage(i, TextureStageState::color_arg2) = gfx::texture_arg::current;
            s.stage(i, TextureStageState::alpha_arg2) = gfx::texture_arg::current;
            const uint32_t sampling = linear ? gfx::texture_filter::linear : gfx::texture_filter::point;
            s.sampler(i, gfx::SamplerState::min_filter) = sampling;
            s.sampler(i, gfx::SamplerState::mag_filter) = sampling;
            s.sampler(i, gfx::SamplerState::mip_filter) = mipmapped ? sampling : gfx::texture_filter::none;
        }
        s.textures[0] = &texture_;
        s.textures[1] = &white_;
        s.textures[2] = &white_;
    }

    void set_scene(const std::vector<Sprite>& sprites)
    {
        vertices_.clear();
        indices_.clear();
        for (const Sprite& sprite : sprites) {
            float x[4], y[4];
            corners(sprite, x, y);
            const uint32_t base = static_cast<uint32_t>(vertices_.size());
            for (int k = 0; k < 4; ++k) // our pixel centres are integers: half a pixel left and up
                vertices_.push_back({x[k] - 0.5f, y[k] - 0.5f, 0.5f, 0xFFFFFFFFu, kU[k], kV[k]});
            for (uint32_t k : {0u, 1u, 2u, 1u, 3u, 2u})
                indices_.push_back(base + k);
        }
    }

    void clear()
    {
        raster::clear(targets(), {0, 0, kWidth, kHeight}, gfx::clear_flags::target | gfx::clear_flags::zbuffer,
                      0xFF203040u, 1.0f);
    }

    void draw()
    {
        raster::VertexData data{reinterpret_cast<const uint8_t*>(vertices_.data()), vertices_.size() * sizeof(Vertex),
                                sizeof(Vertex), 0x142};
        raster::IndexData index{reinterpret_cast<const uint8_t*>(indices_.data()), indices_.size() * 4, true};
        raster::draw(targets(), state_, gfx::PrimitiveType::triangle_list, data, index, 0, 0,
                     static_cast<uint32_t>(indices_.size() / 3));
    }

    const std::vector<uint32_t>& pixels() const { return pixels_; }

private:
    raster::Targets targets()
    {
        raster::Targets t;
        t.color = {reinterpret_cast<uint8_t*>(pixels_.data()), kWidth * 4, kWidth, kHeight, gfx::Format::x8r8g8b8};
        t.depth = {depth_.data(), kWidth, kWidth, kHeight};
        // As the device keeps it: every frame clears all of the depth and the sprites
        // write none.
        t.depth.uniform = true;
        t.depth.uniform_value = 1.0f;
        return t;
    }

    std::vector<uint32_t> pixels_;
    std::vector<float> depth_;
    std::vector<std::vector<uint32_t>> levels_;
    uint32_t white_texel_ = 0xFFFFFFFFu;
    raster::TextureView texture_;
    raster::TextureView white_;
    raster::RasterState state_;
    std::vector<Vertex> vertices_;
    std::vector<uint32_t> indices_;
};

class SdlRenderer {
public:
    SdlRenderer()
    {
        surface_ = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, SDL_PIXELFORMAT_ARGB8888);
        renderer_ = surface_ != nullptr ? SDL_CreateSoftwareRenderer(surface_) : nullptr;
        if (renderer_ == nullptr)
            return;
        texture_ = sprite_texture(renderer_);
    }
    ~SdlRenderer()
    {
        if (texture_ != nullptr)
            SDL_DestroyTexture(texture_);
        if (renderer_ != nullptr)
            SDL_DestroyRenderer(renderer_);
        if (surface_ != nullptr)
            SDL_FreeSurface(surface_);
    }
    bool ok() const { return texture_ != nullptr; }

    void set_scene(const std::vector<Sprite>& sprites)
    {
        vertices_.clear();
        indices_.clear();
        for (const Sprite& sprite : sprites) {
            float x[4], y[4];
            corners(sprite, x, y);
            const int base = static_cast<int>(vertices_.size());
            for (int k = 0; k < 4; ++k) {
                SDL_Vertex v;
                v.position = {x[k], y[k]};
                v.color = {255, 255, 255, 255};
                v.tex_coord = {kU[k], kV[k]};
                vertices_.push_back(v);
            }
            for (int k : {0, 1, 2, 1, 3, 2})
                indices_.push_back(base + k);
        }
    }

    void clear()
    {
        SDL_SetRenderDrawColor(renderer_, 0x20, 0x30, 0x40, 0xFF);
        SDL_RenderClear(renderer_);
        SDL_RenderFlush(renderer_);
    }

    void draw()
    {
        SDL_RenderGeometry(renderer_, texture_, vertices_.data(), static_cast<int>(vertices_.size()), indices_.data(),
                           static_cast<int>(indices_.size()));
        SDL_RenderFlush(renderer_);
    }

    const uint32_t* pixels() const { return static_cast<const uint32_t*>(surface_->pixels); }
    int pitch_words() const { return surface_->pitch / 4; }

private:
    SDL_Surface* surface_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    std::vector<SDL_Vertex> vertices_;
    std::vector<int> indices_;
};

// The same sprites through SDL's OpenGL renderer: on Mesa's llvmpipe under Xvfb.
class LlvmpipeRenderer {
public:
    explicit LlvmpipeRenderer(uint32_t threads)
    {
        // Mesa's software rasterizer whatever else the machine has, on the threads given.
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        setenv("GALLIUM_DRIVER", "llvmpipe", 1);
        setenv("LP_NUM_THREADS", std::to_string(threads).c_str(), 1);
        SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            why_ = SDL_GetError();
            return;
        }
        video_ = true;
        window_ = SDL_CreateWindow("raster bench", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
        renderer_ = window_ ? SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED) : nullptr;
        SDL_RendererInfo info{};
        if (renderer_ == nullptr || SDL_GetRendererInfo(renderer_, &info) != 0 || std::string(info.name) != "opengl") {
            why_ = renderer_ ? "SDL chose no OpenGL renderer" : SDL_GetError();
            return;
        }
        using GetString = const unsigned char* (*)(unsigned);
        auto get_string = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
        finish_ = reinterpret_cast<void (*)()>(SDL_GL_GetProcAddress("glFinish"));
        const unsigned char* name = get_string ? get_string(0x1F01 /* GL_RENDERER */) : nullptr;
        name_ = name ? reinterpret_cast<const char*>(name) : "";
        if (name_.find("llvmpipe") == std::string::npos || finish_ == nullptr) {
            why_ = "the OpenGL renderer is \"" + name_ + "\", not llvmpipe";
            return;
        }
        texture_ = sprite_texture(renderer_);
        if (texture_ == nullptr)
            why_ = SDL_GetError();
    }
    ~LlvmpipeRenderer()
    {
        if (texture_ != nullptr)
            SDL_DestroyTexture(texture_);
        if (renderer_ != nullptr)
            SDL_DestroyRenderer(renderer_);
        if (window_ != nullptr)
            SDL_DestroyWindow(window_);
        if (video_)
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    bool ok() const { return texture_ != nullptr; }
    const std::string& why() const { return why_; }
    const std::string& name() const { return name_; }

    void set_scene(const std::vector<Sprite>& sprites, bool linear)
    {
        SDL_SetTextureScaleMode(texture_, linear ? SDL_ScaleModeLinear : SDL_ScaleModeNearest);
        vertices_.clear();
        indices_.clear();
        for (const Sprite& sprite : sprites) {
            float x[4], y[4];
            corners(sprite, x, y);
            const int base = static_cast<int>(vertices_.size());
            for (int k = 0; k < 4; ++k)
                vertices_.push_back(SDL_Vertex{{x[k], y[k]}, {255, 255, 255, 255}, {kU[k], kV[k]}});
            for (int k : {0, 1, 2, 1, 3, 2})
                indices_.push_back(base + k);
        }
    }

    void clear()
    {
        SDL_SetRenderDrawColor(renderer_, 0x20, 0x30, 0x40, 0xFF);
        SDL_RenderClear(renderer_);
        SDL_RenderFlush(renderer_);
        finish_();
    }

    // Drawn when glFinish returns: llvmpipe's threads have written every pixel.
    void draw()
    {
        SDL_RenderGeometry(renderer_, texture_, vertices_.data(), static_cast<int>(vertices_.size()), indices_.data(),
                           static_cast<int>(indices_.size()));
        SDL_RenderFlush(renderer_);
        finish_();
    }

private:
    bool video_ = false;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    void (*finish_)() = nullptr;
    std::string name_;
    std::string why_;
    std::vector<SDL_Vertex> vertices_;
    std::vector<int> indices_;
};

namespace hard = vadu::lib3d::hard;
using RenderDevices = vadu::HardwareManager<hard::Hardware>;

// The engine's path: a headless window of the target's size, the device back end over
// the graphics device, the sprite texture with its mip chain, and a render list that
// gets the scene's sprites every frame as the scene graph hands them over.
class EngineRenderer {
public:
    // `antialiasing` is the video mode's column: "None", "2xSamples (Medium)" or
    // "4xSamples (High)".
    explicit EngineRenderer(const char* antialiasing = "None")
    {
        platform::register_window_class("raster bench", platform::default_window_procedure);
        window_ = platform::create_window("raster bench", "raster bench", 0, 0, 0, kWidth, kHeight);
        factory_ = gfx::create_factory(gfx::sdk_version);
        if (!window_ || !factory_)
            return;
        gfx::Caps caps;
        factory_->get_device_caps(0, gfx::DeviceType::hal, &caps);
        hardware_ = std::make_unique<hard::directx8::Hardware>(factory_, 0, hard::directx8::read_capability_rows(caps));
        if (!hardware_->set_mode_internal(window_, {"No (Window mode)", "0", "0", antialiasing}))
            return;
        gfx::Surface* back_buffer = gfx::live_devices().empty() ? nullptr : gfx::live_devices().back()->back_buffer();
        samples_ = back_buffer ? back_buffer->samples() : 0;
        manager_ = std::make_unique<RenderDevices::Creator>();
        RenderDevices::add_hardware(hardware_.get());
        texture_ = hardware_->create_texture(0, vadu::pictureformat::format_bgra, kSprite, kSprite);
        int32_t pitch = 0;
        auto* bits = static_cast<uint8_t*>(texture_->lock(0, pitch));
        if (!bits)
            return;
        const std::vector<uint32_t> texels = sprite_texels(kSprite);
        for (int y = 0; y < kSprite; ++y)
            std::memcpy(bits + static_cast<ptrdiff_t>(y) * pitch, &texels[static_cast<size_t>(y) * kSprite], kSprite * 4);
        texture_->unlock(0);
        ok_ = true;
    }

    ~EngineRenderer()
    {
        list_.reset();
        texture_.reset();
        if (hardware_)
            RenderDevices::notify_remove_hardware(hardware_.get());
        manager_.reset();
        hardware_.reset();
        if (factory_)
            factory_->release();
        if (window_)
            platform::destroy_window(window_);
    }

    bool ok() const { return ok_; }
    // Samples per pixel of the back buffer.
    uint32_t samples() const { return samples_; }

    // List units are pixels, y up, as a parallel camera over the window gives them.
    void set_scene(const std::vector<Sprite>& sprites, bool filter)
    {
        // A batch draws its sprites in reverse order of addition: they are added last
        // first, so that both paths draw the scene in the same order.
        items_.assign(sprites.size(), hard::SpriteItem{});
        for (size_t i = 0; i < sprites.size(); ++i) {
            float x[4], y[4];
            corners(sprites[sprites.size() - 1 - i], x, y);
            hard::SpriteItem& item = items_[i];
            for (int k = 0; k < 4; ++k) {
                item.corners[k][0] = x[k] - 0.5f;
                item.corners[k][1] = static_cast<float>(kHeight) - (y[k] - 0.5f);
                item.uv[k][0] = kU[k];
                item.uv[k][1] = kV[k];
            }
            item.depth = 0.0f;
            item.filter = filter ? 1 : 0;
            item.stage.texture = texture_.get();
            item.stage.alpha = 1;
        }
    }

    void draw()
    {
        if (!list_)
            list_ = std::make_unique<hard::RenderList>();
        // Each frame the list starts empty and the camera fills its block again.
        hard::RenderList& list = *list_;
        list.clear();
        list.viewport[0] = -1;
        list.viewport[1] = 1;
        list.viewport[2] = 1;
        list.viewport[3] = -1;
        list.projection = vadu::math::Matrix4::identity();
        list.projection.m[0] = 2.0f / kWidth;
        list.projection.m[3] = -1.0f;
        list.projection.m[5] = 2.0f / kHeight;
        list.projection.m[7] = -1.0f;
        list.projection.m[10] = 0.005f;
        list.camera_matrix = vadu::math::Matrix4::identity();
        list.camera_matrix.m[11] = -100.0f;
        list.camera_value = 1.0;
        list.camera_vector = {0.125f, 0.1875f, 0.25f};
        for (const hard::SpriteItem& item : items_)
            list.add_sprite(item);
        if (!hardware_->start_frame())
            return;
        hardware_->render(list, *hardware_);
        // Draws are recorded and drawn in strips at the present: the drawing is timed here.
        gfx::raster::flush();
    }

    // Presents, outside the timed part.
    void finish() { hardware_->finish_frame(); }

    // The picture drawn last, as presented.
    std::vector<uint32_t> pixels() const
    {
        const gfx::PresentedFrame& frame = gfx::last_presented_frame();
        std::vector<uint32_t> words(frame.pixels.size() / 4);
        std::memcpy(words.data(), frame.pixels.data(), words.size() * 4);
        return words;
    }

private:
    platform::WindowHandle window_ = nullptr;
    gfx::Factory* factory_ = nullptr;
    std::unique_ptr<hard::directx8::Hardware> hardware_;
    std::unique_ptr<RenderDevices::Creator> manager_;
    std::unique_ptr<hard::Texture> texture_;
    std::unique_ptr<hard::RenderList> list_;
    std::vector<hard::SpriteItem> items_;
    uint32_t samples_ = 0;
    bool ok_ = false;
};

// Mean difference per colour channel (0..255) between two pictures of the target's size.
double mean_difference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    if (a.size() != b.size() || a.empty())
        return 255.0;
    double total = 0.0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int c = 0; c < 24; c += 8)
            total += std::abs(static_cast<int>((a[i] >> c) & 0xFF) - static_cast<int>((b[i] >> c) & 0xFF));
    return total / (3.0 * static_cast<double>(a.size()));
}

// Mean difference per colour channel (0..255) between the two pictures.
double mean_difference(const std::vector<uint32_t>& ours, const SdlRenderer& sdl)
{
    double total = 0.0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t a = ours[static_cast<size_t>(y) * kWidth + x];
            const uint32_t b = sdl.pixels()[static_cast<size_t>(y) * sdl.pitch_words() + x];
            for (int c = 0; c < 24; c += 8)
                total += std::abs(static_cast<int>((a >> c) & 0xFF) - static_cast<int>((b >> c) & 0xFF));
        }
    return total / (3.0 * kWidth * kHeight);
}

// The processors the calling thread may run on.
std::vector<int> allowed_processors()
{
    std::vector<int> cpus;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
            if (CPU_ISSET(cpu, &set))
                cpus.push_back(cpu);
    return cpus;
}

// Keeps the calling thread on `cpus`; threads it starts later (the rasterizer's workers,
// llvmpipe's) start with the same set.
bool run_on(const std::vector<int>& cpus)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    for (const int cpu : cpus)
        CPU_SET(cpu, &set);
    return !cpus.empty() && sched_setaffinity(0, sizeof set, &set) == 0;
}

// Where the one-thread cases run: the processor that drew a trial frame fastest.
struct Placement {
    int cpu = -1; // none chosen
    size_t tried = 0;
    double fastest = 0.0;
    double slowest = 0.0;
};

// Tries the first 64 of `cpus` in turn with a frame of `renderer` on one thread; the
// calling thread is left on the last one tried.
Placement fastest_processor(const std::vector<int>& cpus, OurRenderer& renderer)
{
    Placement placement;
    for (size_t i = 0; i < cpus.size() && i < 64; ++i) {
        if (!run_on({cpus[i]}))
            continue;
        const double seconds = best_seconds(1, [&] { renderer.clear(); }, [&] { renderer.draw(); });
        ++placement.tried;
        if (placement.cpu < 0 || seconds < placement.fastest) {
            placement.cpu = cpus[i];
            placement.fastest = seconds;
        }
        placement.slowest = std::max(placement.slowest, seconds);
    }
    return placement;
}

// A rate, and how it compares with a peer's time for the same scene (none when
// `peer_seconds` is 0).
void print_rate(const char* what, double megapixels, double seconds, double peer_seconds = 0.0,
                const char* peer = "")
{
    std::printf("  %-38s %8.1f MP/s  %7.2f ms per frame", what, megapixels / seconds, seconds * 1e3);
    if (peer_seconds > 0.0)
        std::printf("  %6.2f x %s", peer_seconds / seconds, peer);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QUILLO_HEADLESS", "1", 1);
    const int sprites = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const int frames = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const uint32_t all = bench_support::usable_processors();
    const std::vector<int> cpus = allowed_processors();

    const std::vector<Sprite> rotated = make_scene(sprites, true);
    const std::vector<Sprite> aligned = make_scene(sprites, false);
    const double rotated_mp = scene_pixels(rotated) / 1e6;
    const double aligned_mp = scene_pixels(aligned) / 1e6;

    std::printf("scene: %d sprites of %dx%d, %dx%d target, best of %d frames, wall time; all cores = %u threads\n",
                sprites, kSprite, kSprite, kWidth, kHeight, frames, all);
    std::printf("rotated and scaled: %.2f megapixels per frame; axis-aligned unscaled: %.2f\n", rotated_mp,
                aligned_mp);

    // --- one thread, on one processor, both sides.
    raster::set_thread_count(1);
    Placement placement;
    {
        OurRenderer trial(Filter::point);
        trial.set_scene(rotated);
        placement = fastest_processor(cpus, trial);
    }
    const std::vector<int> one_core = placement.cpu >= 0 ? std::vector<int>{placement.cpu} : cpus;
    run_on(one_core);
    if (placement.cpu >= 0)
        std::printf("one-thread cases on processor %d, the fastest of %zu at a trial frame of points (%.2f ms; the "
                    "slowest %.2f ms)\n",
                    placement.cpu, placement.tried, placement.fastest * 1e3, placement.slowest * 1e3);

    SdlRenderer sdl;
    if (!sdl.ok()) {
        std::printf("SDL software renderer unavailable: %s\n", SDL_GetError());
        return 1;
    }
    sdl.set_scene(rotated);
    OurRenderer point(Filter::point);
    point.set_scene(rotated);
    OurRenderer bilinear(Filter::bilinear);
    bilinear.set_scene(rotated);
    OurRenderer trilinear(Filter::trilinear);
    trilinear.set_scene(rotated);
    OurRenderer point_aligned(Filter::point);
    point_aligned.set_scene(aligned);

    // The two sides take turns: a slower spell of the machine shows in both.
    double sdl_turns[2] = {};
    double point_turns[2] = {};
    for (int turn = 0; turn < 2; ++turn) {
        sdl_turns[turn] = best_seconds(frames, [&] { sdl.clear(); }, [&] { sdl.draw(); });
        point_turns[turn] = best_seconds(frames, [&] { point.clear(); }, [&] { point.draw(); });
    }
    const double sdl_rotated = std::min(sdl_turns[0], sdl_turns[1]);
    const double point_one = std::min(point_turns[0], point_turns[1]);
    const double bilinear_one = best_seconds(frames, [&] { bilinear.clear(); }, [&] { bilinear.draw(); });
    const double trilinear_one = best_seconds(frames, [&] { trilinear.clear(); }, [&] { trilinear.draw(); });
    const double aligned_one = best_seconds(frames, [&] { point_aligned.clear(); }, [&] { point_aligned.draw(); });

    // --- all cores.
    run_on(cpus);
    // llvmpipe, in a display of the bench's own.
    double llvmpipe_point = 0.0;
    double llvmpipe_linear = 0.0;
    std::string llvmpipe_missing;
    {
        bench_support::VirtualDisplay display("1280x1024x24");
        if (!display.running()) {
            llvmpipe_missing = display.why();
        } else {
            LlvmpipeRenderer gl(all);
            if (!gl.ok()) {
                llvmpipe_missing = gl.why() + "; scripts/install-deps.sh installs Mesa";
            } else {
                std::printf("llvmpipe: %s, %u threads\n", gl.name().c_str(), all);
                gl.set_scene(rotated, false);
                llvmpipe_point = best_seconds(frames, [&] { gl.clear(); }, [&] { gl.draw(); });
                gl.set_scene(rotated, true);
                llvmpipe_linear = best_seconds(frames, [&] { gl.clear(); }, [&] { gl.draw(); });
            }
        }
    }
    // Workers start at the next draw, on all the processors allowed.
    raster::set_thread_count(all);
    const double point_all = best_seconds(frames, [&] { point.clear(); }, [&] { point.draw(); });
    const double bilinear_all = best_seconds(frames, [&] { bilinear.clear(); }, [&] { bilinear.draw(); });
    const double trilinear_all = best_seconds(frames, [&] { trilinear.clear(); }, [&] { trilinear.draw(); });
    const double aligned_all = best_seconds(frames, [&] { point_aligned.clear(); }, [&] { point_aligned.draw(); });

    std::printf("\nrotated and scaled sprites, one thread:\n");
    print_rate("SDL software (nearest texel)", rotated_mp, sdl_rotated);
    print_rate("rasterizer, point", rotated_mp, point_one, sdl_rotated, "SDL");
    std::printf("    turns of SDL and the rasterizer, point: %.2f / %.2f ms, then %.2f / %.2f ms\n",
                sdl_turns[0] * 1e3, point_turns[0] * 1e3, sdl_turns[1] * 1e3, point_turns[1] * 1e3);
    print_rate("rasterizer, bilinear", rotated_mp, bilinear_one, sdl_rotated, "SDL");
    print_rate("rasterizer, trilinear (mip chain)", rotated_mp, trilinear_one, sdl_rotated, "SDL");

    std::printf("\nrotated and scaled sprites, all cores:\n");
    if (llvmpipe_point > 0.0) {
        print_rate("llvmpipe via SDL OpenGL, nearest", rotated_mp, llvmpipe_point);
        print_rate("llvmpipe via SDL OpenGL, linear", rotated_mp, llvmpipe_linear);
        print_rate("rasterizer, point", rotated_mp, point_all, llvmpipe_point, "llvmpipe nearest");
        print_rate("rasterizer, bilinear", rotated_mp, bilinear_all, llvmpipe_linear, "llvmpipe linear");
    } else {
        std::printf("  llvmpipe: not measured (%s)\n", llvmpipe_missing.c_str());
        print_rate("rasterizer, point", rotated_mp, point_all);
        print_rate("rasterizer, bilinear", rotated_mp, bilinear_all);
    }
    print_rate("rasterizer, trilinear (mip chain)", rotated_mp, trilinear_all);

    std::printf("\naxis-aligned unscaled sprites, point:\n");
    print_rate("rasterizer, one thread", aligned_mp, aligned_one, sdl_rotated, "SDL's rotated");
    print_rate("rasterizer, all cores", aligned_mp, aligned_all, sdl_rotated, "SDL's rotated");

    // The engine's path, every frame drawn in full.
    const bool keeping = raster::keeps_unchanged();
    raster::set_keep_unchanged(false);
    std::printf("\nrotated and scaled sprites through Hardware::render (its filter: linear min, mag and mip):\n");
    {
        EngineRenderer engine;
        if (!engine.ok()) {
            std::printf("  the engine's path could not start a device\n");
        } else {
            for (const uint32_t threads : {1u, all}) {
                run_on(threads == 1 ? one_core : cpus);
                raster::set_thread_count(threads);
                for (const bool filter : {false, true}) {
                    engine.set_scene(rotated, filter);
                    char label[64];
                    std::snprintf(label, sizeof label, "%s, %s", filter ? "filtered" : "point",
                                  threads == 1 ? "one thread" : "all cores");
                    print_rate(label, rotated_mp,
                               best_seconds(frames, [&] { engine.finish(); }, [&] { engine.draw(); }), sdl_rotated,
                               "SDL");
                }
            }
            run_on(cpus);
            engine.set_scene(rotated, false);
            engine.draw();
            engine.finish();
            raster::set_thread_count(1);
            point.clear();
            point.draw();
            std::printf("  mean difference of the engine's point-sampled picture and the rasterizer's: %.2f of 255\n",
                        mean_difference(engine.pixels(), point.pixels()));
        }
    }

    raster::set_thread_count(1);
    point.clear();
    point.draw();
    std::printf("  mean difference of the point-sampled picture and SDL's: %.2f of 255 per channel\n",
                mean_difference(point.pixels(), sdl));

    // The demo-like frame (the engine's path, filtered sprites) with each antialiasing
    // mode, presenting included: presenting is where the samples are averaged.
    {
        // The bench measures the modes whether or not the adapter offers them.
        for (const uint32_t samples : {gfx::multisample::samples_2, gfx::multisample::samples_4}) {
            for (gfx::Format format : {gfx::Format::x8r8g8b8, gfx::Format::a8r8g8b8, gfx::Format::d24x8,
                                       gfx::Format::d24s8, gfx::Format::d16, gfx::Format::d32}) {
                auto& multisample = gfx::configuration().adapters[0].multisample;
                if (std::find(multisample.begin(), multisample.end(), std::pair{format, samples}) == multisample.end())
                    multisample.emplace_back(format, samples);
            }
        }
        raster::set_thread_count(all);
        std::printf("\ndemo-like frame through Hardware::render, filtered, all cores, presenting included:\n");
        double unsampled = 0.0;
        for (const char* mode : {"None", "2xSamples (Medium)", "4xSamples (High)"}) {
            EngineRenderer engine(mode);
            if (!engine.ok()) {
                std::printf("  %s: the engine's path could not start a device\n", mode);
                continue;
            }
            engine.set_scene(rotated, true);
            const double seconds = best_seconds(frames, [] {}, [&] {
                engine.draw();
                engine.finish();
            });
            if (unsampled == 0.0)
                unsampled = seconds;
            std::printf("  %-38s %8.1f MP/s  %7.2f ms per frame  %6.2f x the unsampled frame (%u samples)\n", mode,
                        rotated_mp / seconds, seconds * 1e3, seconds / unsampled, engine.samples());
        }
        gfx::reset_hooks();
    }
    raster::set_keep_unchanged(keeping);
    raster::set_thread_count(0);

    std::printf("\n");
    using bench_support::print_figure;
    const std::string cores = std::to_string(all) + " threads";
    if (llvmpipe_point > 0.0) {
        const double point_ratio = llvmpipe_point / point_all;
        const double linear_ratio = llvmpipe_linear / bilinear_all;
        print_figure("sprites point " + cores + " / llvmpipe nearest " + cores, point_ratio, "x", ">= 1.5 x",
                     point_ratio >= 1.5);
        print_figure("sprites bilinear " + cores + " / llvmpipe linear " + cores, linear_ratio, "x", ">= 1.5 x",
                     linear_ratio >= 1.5);
    } else {
        bench_support::print_skipped("sprites point " + cores + " / llvmpipe nearest", llvmpipe_missing);
        bench_support::print_skipped("sprites bilinear " + cores + " / llvmpipe linear", llvmpipe_missing);
    }
    const double one_thread = sdl_rotated / point_one;
    print_figure("sprites point 1 thread / SDL software", one_thread, "x", ">= 10 x", one_thread >= 10.0);
    const double speedup = point_one / point_all;
    print_figure("sprites point speed-up 1 -> " + cores, speedup, "x", ">= 5 x", speedup >= 5.0);
    return 0;
}
