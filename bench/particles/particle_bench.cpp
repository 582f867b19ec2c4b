// Particle benchmark: 5,000 live 16×16 additive particles at 1024×768.
//   - the engine: the emitter's update (events on every particle), its vertex-buffer fill
//     and the draw of its record through Hardware::render on the graphics device;
//   - SDL2's software renderer: the same number of 16×16 quads through
//     SDL_RenderGeometry, additive, drawing only (no update, no buffer fill).
// Times are milliseconds per frame (best and mean of the timed frames).
//
// Usage: particle_bench [particles] [frames]      (defaults 5000 and 30)

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include "../support/figures.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/device.h"
#include "platform/gfx/present.h"
#include "platform/gfx/raster.h"
#include "platform/random.h"
#include "platform/window.h"
#include "vadu/animate/soul.h"
#include "vadu/filesystem.h"
#include "vadu/hardware_manager.h"
#include "vadu/lib3d/hard/directx8/creator.h"
#include "vadu/lib3d/hard/directx8/hardware.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/node/emitter.h"
#include "vadu/lib3d/particles/particles.h"
#include "vadu/xml_reader.h"

namespace {

namespace gfx = platform::gfx;
namespace hard = vadu::lib3d::hard;
using RenderDevices = vadu::HardwareManager<hard::Hardware>;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr int kSide = 16;

// A soft white spot: alpha and brightness fall towards the rim.
std::vector<uint32_t> spot_texels()
{
    std::vector<uint32_t> texels(kSide * kSide);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const float dx = (x + 0.5f) / kSide * 2 - 1;
            const float dy = (y + 0.5f) / kSide * 2 - 1;
            const float k = std::max(0.0f, 1.0f - (dx * dx + dy * dy));
            const auto c = static_cast<uint32_t>(k * 255);
            texels[static_cast<size_t>(y) * kSide + x] = c << 24 | c << 16 | c << 8 | c;
        }
    }
    return texels;
}

struct Timing {
    double best = 1e9;
    double mean = 0;
};

Timing time_frames(int frames, const std::function<void()>& frame, const std::function<void()>& after = {})
{
    Timing timing;
    frame(); // warm-up
    if (after)
        after();
    for (int i = 0; i < frames; ++i) {
        const auto start = Clock::now();
        frame();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (after)
            after();
        timing.best = std::min(timing.best, ms);
        timing.mean += ms / frames;
    }
    return timing;
}

std::string system_text(int count)
{
    const std::string n = std::to_string(count);
    return "<ParticleSystem MaxParticles=\"" + n + "\" EmissionCount=\"" + n +
           "\" BlendMode=\"BM_ADD\" Texture=\"spot\">"
           "<StartOrigin Base=\"8 8 0\" RandomMax=\"1008 752 0\"/>"
           "<StartSize Base=\"16 16\"/>"
           "<StartColor Base=\"0 0 0\" RandomMin=\"0.2 0.1 0\" RandomMax=\"1 0.6 0.3\"/>"
           "<GravityEvent Value=\"0 -20 0\"/>"
           "<TorqueEvent Value=\"0\"/>"
           "<AlphaEvent Time=\"0\" Value=\"1\"/><AlphaEvent Time=\"100\" Value=\"0.5\"/>"
           "</ParticleSystem>";
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5000;
    const int frames = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;
    platform::seed_random(1);

    // --- the engine ---
    vadu::animate::Soul::Creator souls;
    platform::register_window_class("particle bench", platform::default_window_procedure);
    platform::WindowHandle window = platform::create_window("particle bench", "particle bench", 0, 0, 0, kWidth, kHeight);
    gfx::Factory* factory = gfx::create_factory(gfx::sdk_version);
    if (!window || !factory) {
        std::fprintf(stderr, "no graphics device\n");
        return 1;
    }
    gfx::Caps caps;
    factory->get_device_caps(0, gfx::DeviceType::hal, &caps);
    auto hardware =
        std::make_unique<hard::directx8::Hardware>(factory, 0, hard::directx8::read_capability_rows(caps));
    if (!hardware->set_mode_internal(window, {"No (Window mode)", "0", "0", "None"})) {
        std::fprintf(stderr, "no video mode\n");
        return 1;
    }
    double engine_best = 0;
    double engine_mean = 0;
    {
        RenderDevices::Creator manager;
        RenderDevices::add_hardware(hardware.get());
        std::unique_ptr<hard::Texture> texture =
            hardware->create_texture(1, vadu::pictureformat::format_bgra, kSide, kSide);
        int32_t pitch = 0;
        auto* bits = static_cast<uint8_t*>(texture->lock(0, pitch));
        const std::vector<uint32_t> texels = spot_texels();
        for (int y = 0; y < kSide; ++y)
            std::memcpy(bits + static_cast<ptrdiff_t>(y) * pitch, &texels[static_cast<size_t>(y) * kSide], kSide * 4);
        texture->unlock(0);

        const std::string text = system_text(count);
        vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(text.begin(), text.end()));
        auto* system = new vadu::lib3d::particles::ParticleSystem();
        vadu::xml::Root root(*system, "ParticleSystem");
        if (!vadu::xml::StreamResource(&stream).load(root)) {
            std::fprintf(stderr, "the particle system did not load\n");
            return 1;
        }
        auto emitter = std::make_unique<vadu::lib3d::node::Emitter>("E", nullptr);
        emitter->set_cached_global_matrix(vadu::math::Matrix4::identity());
        emitter->set_particle_system(system);
        system->release();
        emitter->update(0.0);

        hard::RenderList list;
        // Where the engine's frame goes, summed over the timed frames.
        double update_ms = 0.0, fill_ms = 0.0, draw_ms = 0.0;
        const auto since = [](Clock::time_point start) {
            return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        };
        const auto frame = [&] {
            auto start = Clock::now();
            emitter->update(1.0 / 60.0);
            update_ms += since(start);
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
            list.camera_vector = {0.05f, 0.05f, 0.1f};
            // The emitter's own record, with the bench's texture in place of a picture file.
            start = Clock::now();
            emitter->update_buffer(list);
            fill_ms += since(start);
            hard::RenderRecord record;
            record.transparency = 0.001f;
            record.world = emitter->get_cached_global_matrix();
            record.vertex_buffer = emitter->get_buffer(*hardware);
            record.primitive_count = 2 * emitter->get_live_count();
            record.vertex_count = 6 * emitter->get_live_count();
            record.stages[1].texture = texture.get();
            record.stages[1].wrap = 0;
            record.stages[1].alpha = 1;
            record.blend_mode = hard::BM_ADD;
            list.add_record(record);
            start = Clock::now();
            if (hardware->start_frame()) {
                hardware->render(list, *hardware);
                // Draws are recorded and drawn in strips at the present: the drawing is timed here.
                platform::gfx::raster::flush();
            }
            draw_ms += since(start);
        };
        const Timing engine = time_frames(frames, frame, [&] { hardware->finish_frame(); });
        if (emitter->get_live_count() != static_cast<uint32_t>(count)) {
            std::fprintf(stderr, "only %u particles live\n", emitter->get_live_count());
            return 1;
        }
        engine_best = engine.best;
        engine_mean = engine.mean;
        std::printf("engine: update + buffer fill + draw of %d particles: best %.2f ms, mean %.2f ms\n", count,
                    engine.best, engine.mean);
        // The warm-up frame is in the sums too.
        std::printf("  mean per frame: update %.2f ms, buffer fill %.2f ms, draw %.2f ms\n", update_ms / (frames + 1),
                    fill_ms / (frames + 1), draw_ms / (frames + 1));
        emitter.reset();
        texture.reset();
        RenderDevices::notify_remove_hardware(hardware.get());
    }
    hardware.reset();
    factory->release();
    platform::destroy_window(window);

    // --- SDL2, software ---
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, SDL_PIXELFORMAT_ARGB8888);
    SDL_Renderer* renderer = surface ? SDL_CreateSoftwareRenderer(surface) : nullptr;
    SDL_Texture* sdl_texture =
        renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, kSide, kSide)
                 : nullptr;
    if (!sdl_texture) {
        std::fprintf(stderr, "SDL software renderer unavailable: %s\n", SDL_GetError());
        return 1;
    }
    const std::vector<uint32_t> texels = spot_texels();
    SDL_UpdateTexture(sdl_texture, nullptr, texels.data(), kSide * 4);
    SDL_SetTextureBlendMode(sdl_texture, SDL_BLENDMODE_ADD);
    std::vector<SDL_Vertex> vertices;
    std::vector<int> indices;
    for (int i = 0; i < count; ++i) {
        const float x = static_cast<float>(platform::random() % (kWidth - kSide));
        const float y = static_cast<float>(platform::random() % (kHeight - kSide));
        const SDL_Color colour{static_cast<Uint8>(50 + platform::random() % 200), static_cast<Uint8>(platform::random() % 150),
                               40, 255};
        const int base = static_cast<int>(vertices.size());
        const float corners[4][4] = {{0, 0, 0, 0}, {kSide, 0, 1, 0}, {0, kSide, 0, 1}, {kSide, kSide, 1, 1}};
        for (const auto& c : corners)
            vertices.push_back(SDL_Vertex{{x + c[0], y + c[1]}, colour, {c[2], c[3]}});
        for (int k : {0, 1, 2, 1, 3, 2})
            indices.push_back(base + k);
    }
    const Timing sdl = time_frames(
        frames,
        [&] {
            SDL_RenderGeometry(renderer, sdl_texture, vertices.data(), static_cast<int>(vertices.size()),
                               indices.data(), static_cast<int>(indices.size()));
            SDL_RenderFlush(renderer);
        },
        [&] {
            SDL_SetRenderDrawColor(renderer, 12, 12, 25, 255);
            SDL_RenderClear(renderer);
            SDL_RenderFlush(renderer);
        });
    std::printf("SDL2 software SDL_RenderGeometry, draw only of %d quads: best %.2f ms, mean %.2f ms\n", count,
                sdl.best, sdl.mean);
    std::printf("ratio (SDL draw / engine frame), best: %.2fx, mean: %.2fx\n", sdl.best / engine_best,
                sdl.mean / engine_mean);
    SDL_DestroyTexture(sdl_texture);
    SDL_DestroyRenderer(renderer);
    SDL_FreeSurface(surface);
    const double ratio = sdl.mean / engine_mean;
    bench_support::print_figure(std::to_string(count) + " additive particles, SDL draw / engine frame (means)", ratio,
                                "x", ">= 5 x", ratio >= 5.0);
    return 0;
}
