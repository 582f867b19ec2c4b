// Frames to the screen. A back buffer the size of the window goes straight into the
// window's own surface and is shown from there: no texture, no renderer, one pass over
// the pixels, spread over the rasterizer's worker threads. Only a frame that must be
// stretched to the window takes SDL's software renderer: it is written, again by the
// workers, into a streaming texture locked in place, which the renderer scales.
//
// Handing the surface to the display server (SDL_UpdateWindowSurface, which waits until
// the server has copied it) is left to a thread of its own: the main thread goes on with
// the next frame meanwhile, and waits for that hand-over only when it writes the surface
// again, at the next present, or before the window goes (settle_window_presents).
//
// Into the window's surface go only the rows that draws changed since the last frame (the
// rasterizer keeps strips whose work did not change), and only those are handed over; a
// frame that changed nothing is not handed over at all. The whole frame goes when what the
// surface holds is not known, and after the window was exposed, shown again or resized.
//
// SDL's window surfaces have no vertical sync, so the present waits for the display's
// refresh itself (gfx/pacing.h), as the device's presentation interval asks.

#include "platform/sdl/sdl_present.h"

#include "platform/gfx/pacing.h"
#include "platform/gfx/present.h"
#include "platform/gfx/raster.h"

#include <SDL.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace platform::sdl {
namespace {

namespace raster = gfx::raster;
using gfx::Device;
using gfx::Format;
using gfx::PresentPacer;
using gfx::Result;
using gfx::Surface;
using gfx::ok;
namespace error = gfx::error;
namespace present_interval = gfx::present_interval;

struct WindowPresenter {
    // Only while frames are stretched.
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    PresentPacer pacer;
    bool rate_known = false;
    bool failure_logged = false;
    // What the window's surface holds: the back buffer (by its memory) last written into
    // it whole or in part; null when not known.
    const void* shown = nullptr;
    SDL_Surface* shown_surface = nullptr;
    std::vector<raster::RowRange> rows;
};

// Windows whose contents the display may have lost or not shown yet (exposed, shown
// again, resized): their next frame goes to them whole. Filled from SDL's event watch.
std::mutex exposed_mutex;
std::set<Uint32> exposed_windows;

int watch_exposures(void*, SDL_Event* event)
{
    if (event->type != SDL_WINDOWEVENT)
        return 1;
    switch (event->window.event) {
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_RESIZED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_MAXIMIZED:
    case SDL_WINDOWEVENT_RESTORED: {
        std::lock_guard lock(exposed_mutex);
        exposed_windows.insert(event->window.windowID);
        break;
    }
    default: break;
    }
    return 1;
}

bool take_exposed(Uint32 id)
{
    std::lock_guard lock(exposed_mutex);
    return exposed_windows.erase(id) > 0;
}

// The thread that shows window surfaces, one at a time.
class SurfaceShower {
public:
    ~SurfaceShower()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        // The process may end on the shower itself: Xlib exits from inside the hand-over
        // when the display server goes away, and the exit destroys this object there. A
        // thread cannot join itself; it is ending the process anyway.
        if (thread_.joinable()) {
            if (thread_.get_id() == std::this_thread::get_id())
                thread_.detach();
            else
                thread_.join();
        }
    }

    // Returns once no surface is being shown; the error of the last one shown, if any.
    std::string settle()
    {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return window_ == nullptr; });
        return std::exchange(error_, std::string{});
    }

    // The previous hand-over must be settled. `rects` empty: the whole surface.
    void show(SDL_Window* window, std::vector<SDL_Rect> rects = {})
    {
        if (!thread_.joinable())
            thread_ = std::thread([this] { run(); });
        {
            std::lock_guard lock(mutex_);
            window_ = window;
            rects_ = std::move(rects);
        }
        wake_.notify_all();
    }

private:
    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || window_ != nullptr; });
            if (stopping_)
                return;
            SDL_Window* window = window_;
            const std::vector<SDL_Rect> rects = std::move(rects_);
            lock.unlock();
            const bool shown = rects.empty() ? SDL_UpdateWindowSurface(window) == 0
                                             : SDL_UpdateWindowSurfaceRects(window, rects.data(),
                                                                            static_cast<int>(rects.size()))
                                                   == 0;
            const std::string error = shown ? std::string{} : SDL_GetError();
            lock.lock();
            if (!shown)
                error_ = error.empty() ? "unknown error" : error;
            window_ = nullptr;
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    SDL_Window* window_ = nullptr; // being shown
    std::vector<SDL_Rect> rects_;
    std::string error_;
    bool stopping_ = false;
    std::thread thread_;
};

SurfaceShower& shower()
{
    static SurfaceShower instance;
    return instance;
}

// By SDL window id: ids are never reused, addresses may be.
std::map<Uint32, WindowPresenter>& presenters()
{
    static std::map<Uint32, WindowPresenter> map;
    return map;
}

// The SDL back end destroys a window's renderer, and so its texture, with the window.
void forget_closed_windows()
{
    std::erase_if(presenters(), [](const auto& entry) { return SDL_GetWindowFromID(entry.first) == nullptr; });
}

Result fail(WindowPresenter& presenter, const char* what)
{
    if (!presenter.failure_logged) {
        presenter.failure_logged = true;
        std::fprintf(stderr, "quillo: cannot show frames in the window: %s (%s)\n", what, SDL_GetError());
    }
    return error::fail;
}

void drop_renderer(WindowPresenter& presenter)
{
    if (presenter.texture)
        SDL_DestroyTexture(presenter.texture);
    if (presenter.renderer)
        SDL_DestroyRenderer(presenter.renderer);
    presenter.texture = nullptr;
    presenter.renderer = nullptr;
    presenter.width = presenter.height = 0;
}

// QUILLO_VSYNC=0: windowed presents never wait for the refresh (to time frames).
bool refresh_wait_wanted()
{
    static const bool wanted = [] {
        const char* value = std::getenv("QUILLO_VSYNC");
        return !(value && std::string(value) == "0");
    }();
    return wanted;
}

// Pixels of the back buffer in the byte order of the window (B, G, R, X), a band of rows
// per task.
struct Conversion {
    const Surface* back_buffer = nullptr;
    const uint8_t* pixels = nullptr; // the back buffer's, or its resolved copy
    uint32_t pitch = 0;
    uint8_t* target = nullptr;
    int target_pitch = 0;
};

void convert_rows(void* context, uint32_t first, uint32_t last)
{
    const Conversion& job = *static_cast<const Conversion*>(context);
    const Surface& back_buffer = *job.back_buffer;
    const uint32_t width = back_buffer.width();
    const Format format = back_buffer.format();
    const uint32_t bytes = bytes_per_pixel(format);
    for (uint32_t y = first; y < last; ++y) {
        const uint8_t* source = job.pixels + size_t{y} * job.pitch;
        auto* target = reinterpret_cast<uint32_t*>(job.target + size_t{y} * job.target_pitch);
        if (format == Format::a8r8g8b8 || format == Format::x8r8g8b8) {
            // The window shows no transparency: the alpha byte is carried along unread.
            std::memcpy(target, source, size_t{width} * 4);
        } else {
            for (uint32_t x = 0; x < width; ++x)
                target[x] = decode_color(format, source + size_t{x} * bytes) | 0xFF000000u;
        }
    }
}

// Multisampled back buffers are averaged first (the rasterizer's resolve, itself banded).
// `rows` null: every row; else only those.
bool convert(const Surface& back_buffer, uint8_t* target, int target_pitch,
             const std::vector<raster::RowRange>* rows = nullptr)
{
    Conversion job;
    job.back_buffer = &back_buffer;
    job.pixels = back_buffer.pixels();
    job.pitch = back_buffer.pitch();
    job.target = target;
    job.target_pitch = target_pitch;
    const uint32_t width = back_buffer.width();
    const uint32_t height = back_buffer.height();
    if (back_buffer.samples() > 1) {
        const Format format = back_buffer.format();
        const uint32_t bytes = bytes_per_pixel(format);
        const raster::ColorView from{const_cast<uint8_t*>(back_buffer.pixels()),
                                     static_cast<int32_t>(back_buffer.pitch()), width, height, format,
                                     back_buffer.samples()};
        static thread_local std::vector<uint8_t> resolved;
        resolved.resize(size_t{width} * height * bytes);
        const raster::ColorView to{resolved.data(), static_cast<int32_t>(width * bytes), width, height, format};
        if (!raster::resolve(from, to))
            return false;
        job.pixels = resolved.data();
        job.pitch = width * bytes;
    }
    // A few strips per thread, so that a thread held up elsewhere delays little.
    const uint32_t tasks = std::min(height, std::max(1u, raster::thread_count() * 4));
    const uint32_t rows_per_task = (height + tasks - 1) / tasks;
    std::vector<raster::RowRange> ranges;
    uint64_t count = 0;
    for (const raster::RowRange& range : rows ? *rows : std::vector<raster::RowRange>{{0, height}}) {
        const uint32_t last = std::min(range.last, height);
        if (range.first < last) {
            ranges.push_back({range.first, last});
            count += last - range.first;
        }
    }
    // A thread more for every quarter million pixels: copying a few rows is not worth
    // waking threads for.
    const uint64_t pixels = count * width;
    raster::for_each_strip(ranges, rows_per_task, static_cast<uint32_t>(pixels / 262144), convert_rows, &job);
    return true;
}

void pace(Device& device, SDL_Window* window, WindowPresenter& presenter)
{
    if (!refresh_wait_wanted() || device.present_parameters().presentation_interval == present_interval::immediate)
        return;
    if (!presenter.rate_known) {
        presenter.rate_known = true;
        SDL_DisplayMode mode{};
        const int display = SDL_GetWindowDisplayIndex(window);
        presenter.pacer.set_refresh_rate(display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0
                                             ? mode.refresh_rate
                                             : 0);
    }
    presenter.pacer.wait();
}

// Only the rows the rasterizer changed since the surface last took this back buffer are
// written and shown; the whole frame when that is not known (the first frame, another
// back buffer or surface, samples to average, memory changed otherwise, a window the
// display may have lost).
Result present_to_surface(Device& device, SDL_Window* window, SDL_Surface* surface, WindowPresenter& presenter,
                          const Surface& back_buffer)
{
    const void* memory = back_buffer.pixels();
    const bool rows_known = raster::changed_rows(memory, presenter.rows);
    const bool exposed = take_exposed(SDL_GetWindowID(window));
    const bool whole = !rows_known || exposed || presenter.shown != memory || presenter.shown_surface != surface
                       || back_buffer.samples() > 1;
    presenter.shown = nullptr;
    if (!whole && presenter.rows.empty()) {
        presenter.shown = memory;
        presenter.shown_surface = surface;
        pace(device, window, presenter);
        return ok;
    }
    // The surface was settled before SDL handed it out (present_to_window).
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0)
        return fail(presenter, "the window's surface cannot be locked");
    const bool converted = convert(back_buffer, static_cast<uint8_t*>(surface->pixels), surface->pitch,
                                   whole ? nullptr : &presenter.rows);
    if (SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
    if (!converted)
        return fail(presenter, "the samples cannot be averaged");
    std::vector<SDL_Rect> rects;
    if (!whole) {
        for (const raster::RowRange& range : presenter.rows)
            rects.push_back({0, static_cast<int>(range.first), static_cast<int>(back_buffer.width()),
                             static_cast<int>(range.last - range.first)});
    }
    presenter.shown = memory;
    presenter.shown_surface = surface;
    pace(device, window, presenter);
    shower().show(window, std::move(rects));
    return ok;
}

Result present_stretched(Device& device, SDL_Window* window, WindowPresenter& presenter, const Surface& back_buffer)
{
    // The window's surface no longer holds what the last direct present wrote.
    presenter.shown = nullptr;
    presenter.shown_surface = nullptr;
    if (presenter.renderer == nullptr) {
        presenter.renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
        if (presenter.renderer == nullptr)
            return fail(presenter, "no renderer");
    }
    if (presenter.texture == nullptr || presenter.width != back_buffer.width()
        || presenter.height != back_buffer.height()) {
        if (presenter.texture)
            SDL_DestroyTexture(presenter.texture);
        presenter.texture = SDL_CreateTexture(presenter.renderer, SDL_PIXELFORMAT_ARGB8888,
                                              SDL_TEXTUREACCESS_STREAMING, static_cast<int>(back_buffer.width()),
                                              static_cast<int>(back_buffer.height()));
        if (presenter.texture == nullptr) {
            presenter.width = presenter.height = 0;
            return fail(presenter, "no texture");
        }
        SDL_SetTextureBlendMode(presenter.texture, SDL_BLENDMODE_NONE);
        presenter.width = back_buffer.width();
        presenter.height = back_buffer.height();
    }
    void* pixels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(presenter.texture, nullptr, &pixels, &pitch) != 0)
        return fail(presenter, "the texture cannot be locked");
    const bool converted = convert(back_buffer, static_cast<uint8_t*>(pixels), pitch);
    SDL_UnlockTexture(presenter.texture);
    if (!converted)
        return fail(presenter, "the samples cannot be averaged");
    if (SDL_RenderCopy(presenter.renderer, presenter.texture, nullptr, nullptr) != 0)
        return fail(presenter, "copy failed");
    pace(device, window, presenter);
    SDL_RenderPresent(presenter.renderer);
    return ok;
}

bool shown_as_is(const SDL_Surface* surface, const Surface& back_buffer)
{
    if (surface == nullptr || surface->w != static_cast<int>(back_buffer.width())
        || surface->h != static_cast<int>(back_buffer.height()))
        return false;
    const Uint32 format = surface->format->format;
    return format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888;
}

} // namespace

void settle_window_presents()
{
    shower().settle();
}

Result present_to_window(Device& device, const Surface& back_buffer)
{
    SDL_Window* window = native_window(device.window());
    if (window == nullptr || back_buffer.width() == 0 || back_buffer.height() == 0)
        return ok;
    // The previous frame's hand-over is over before anything of a window changes.
    const std::string unshown = shower().settle();
    forget_closed_windows();
    WindowPresenter& presenter = presenters()[SDL_GetWindowID(window)];
    if (!unshown.empty()) {
        SDL_SetError("%s", unshown.c_str());
        fail(presenter, "the window's surface cannot be shown");
    }

    // The window's surface in memory shared with the display server, not a texture of a
    // hardware renderer that SDL would otherwise put behind it (a copy more, and threads
    // of its own); SDL_FRAMEBUFFER_ACCELERATION in the environment still decides.
    static const bool hinted = SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
    (void)hinted;
    static const bool watching = (SDL_AddEventWatch(watch_exposures, nullptr), true);
    (void)watching;
    int width = 0;
    int height = 0;
    SDL_GetWindowSizeInPixels(window, &width, &height);
    if (width == static_cast<int>(back_buffer.width()) && height == static_cast<int>(back_buffer.height())) {
        SDL_Surface* surface = SDL_GetWindowSurface(window);
        if (shown_as_is(surface, back_buffer)) {
            if (presenter.renderer)
                drop_renderer(presenter);
            return present_to_surface(device, window, surface, presenter, back_buffer);
        }
    }
    return present_stretched(device, window, presenter, back_buffer);
}

} // namespace platform::sdl
