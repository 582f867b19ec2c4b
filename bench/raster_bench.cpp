// Fill-rate benchmark of the software rasterizer. It draws one scene of N textured,
// alpha-blended, rotated and scaled 64×64 sprites at 1024×768 through our pipeline
// and through SDL2's software renderer, and prints both rates in megapixels per
// second (sprite area drawn per second of the drawing thread's processor time, so
// that other work on the machine does not count), their ratio, and our rate for the
// same sprites axis-aligned and unscaled.
//
// Usage: raster_bench [sprites] [frames]      (defaults 2000 and 10; best frame counts)

#define SDL_MAIN_HANDLED
#include "platform/gfx/raster.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <time.h>
#include <vector>

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

// Processor time of this thread: other work on a busy machine does not count.
double thread_seconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double best_seconds(int frames, const std::function<void()>& prepare, const std::function<void()>& draw)
{
    double best = 1e30;
    for (int i = 0; i < frames; ++i) {
        prepare();
        const double start = thread_seconds();
        draw();
        best = std::min(best, thread_seconds() - start);
    }
    return best;
}

class OurRenderer {
public:
    OurRenderer(bool linear)
        : pixels_(static_cast<size_t>(kWidth) * kHeight), depth_(static_cast<size_t>(kWidth) * kHeight),
          levels_(mip_chain(sprite_texels(kSprite), kSprite))
    {
        texture_.format = gfx::Format::a8r8g8b8;
        texture_.level_count = linear ? static_cast<uint32_t>(levels_.size()) : 1;
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
            const uint32_t filter = linear ? gfx::texture_filter::linear : gfx::texture_filter::point;
            s.sampler(i, gfx::SamplerState::min_filter) = filter;
            s.sampler(i, gfx::SamplerState::mag_filter) = filter;
            s.sampler(i, gfx::SamplerState::mip_filter) = linear ? filter : gfx::texture_filter::none;
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
        const std::vector<uint32_t> texels = sprite_texels(kSprite);
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, kSprite, kSprite);
        if (texture_ == nullptr)
            return;
        SDL_UpdateTexture(texture_, nullptr, texels.data(), kSprite * 4);
        SDL_SetTextureBlendMode(texture_, SDL_BLENDMODE_BLEND);
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

} // namespace

int main(int argc, char** argv)
{
    const int sprites = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const int frames = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;

    const std::vector<Sprite> rotated = make_scene(sprites, true);
    const std::vector<Sprite> aligned = make_scene(sprites, false);
    const double rotated_mp = scene_pixels(rotated) / 1e6;
    const double aligned_mp = scene_pixels(aligned) / 1e6;

    std::printf("scene: %d sprites of %dx%d, %dx%d target, best of %d frames\n", sprites, kSprite, kSprite, kWidth,
                kHeight, frames);
    std::printf("rotated and scaled: %.2f megapixels per frame; axis-aligned unscaled: %.2f\n", rotated_mp,
                aligned_mp);

    OurRenderer ours(false);
    ours.set_scene(rotated);
    const double ours_rotated = best_seconds(frames, [&] { ours.clear(); }, [&] { ours.draw(); });

    OurRenderer ours_linear(true);
    ours_linear.set_scene(rotated);
    const double ours_linear_rotated =
        best_seconds(frames, [&] { ours_linear.clear(); }, [&] { ours_linear.draw(); });

    OurRenderer ours_aligned(false);
    ours_aligned.set_scene(aligned);
    const double ours_aligned_time = best_seconds(frames, [&] { ours_aligned.clear(); }, [&] { ours_aligned.draw(); });

    SdlRenderer sdl;
    if (!sdl.ok()) {
        std::printf("SDL software renderer unavailable: %s\n", SDL_GetError());
        return 1;
    }
    sdl.set_scene(rotated);
    const double sdl_rotated = best_seconds(frames, [&] { sdl.clear(); }, [&] { sdl.draw(); });
    ours.clear();
    ours.draw();

    const double ours_rate = rotated_mp / ours_rotated;
    const double sdl_rate = rotated_mp / sdl_rotated;
    std::printf("\nrotated and scaled, point sampling (same scene both ways):\n");
    std::printf("  ours:            %8.1f MP/s  (%.2f ms per frame)\n", ours_rate, ours_rotated * 1e3);
    std::printf("  SDL software:    %8.1f MP/s  (%.2f ms per frame)\n", sdl_rate, sdl_rotated * 1e3);
    std::printf("  ratio:           %8.2f x\n", ours_rate / sdl_rate);
    std::printf("  mean difference of the two pictures: %.2f of 255 per channel\n", mean_difference(ours.pixels(), sdl));
    std::printf("rotated and scaled, bilinear with trilinear mipmaps (ours only):\n");
    std::printf("  ours:            %8.1f MP/s  (%.2f ms per frame)\n", rotated_mp / ours_linear_rotated,
                ours_linear_rotated * 1e3);
    std::printf("axis-aligned unscaled (ours only):\n");
    std::printf("  ours:            %8.1f MP/s  (%.2f ms per frame)\n", aligned_mp / ours_aligned_time,
                ours_aligned_time * 1e3);
    return 0;
}
