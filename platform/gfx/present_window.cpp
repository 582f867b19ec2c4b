// Frames to the screen: each SDL window gets, at its first present, a software
// renderer and a streaming texture the size of the back buffer; every present uploads
// the back buffer and copies it over the whole window.

#include "platform/gfx/present.h"
#include "platform/gfx/present_window.h"

#include <SDL.h>

#include <cstdio>
#include <map>

namespace platform::gfx {
namespace {

struct WindowPresenter {
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    bool failure_logged = false;
};

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

} // namespace

Result present_to_window(Device& device, const Surface& back_buffer)
{
    SDL_Window* window = sdl::native_window(device.window());
    if (window == nullptr || back_buffer.width() == 0 || back_buffer.height() == 0)
        return ok;
    forget_closed_windows();
    WindowPresenter& presenter = presenters()[SDL_GetWindowID(window)];

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
        // The window shows no transparency: the alpha bytes are only carried along.
        SDL_SetTextureBlendMode(presenter.texture, SDL_BLENDMODE_NONE);
        presenter.width = back_buffer.width();
        presenter.height = back_buffer.height();
    }

    // ARGB8888 is the 32-bit formats' byte order; other formats are converted, and
    // samples averaged.
    const void* pixels = back_buffer.pixels();
    int pitch = static_cast<int>(back_buffer.pitch());
    static PresentedFrame converted;
    if ((back_buffer.format() != Format::a8r8g8b8 && back_buffer.format() != Format::x8r8g8b8)
        || back_buffer.samples() > 1) {
        read_back_buffer(back_buffer, converted);
        pixels = converted.pixels.data();
        pitch = static_cast<int>(converted.width * 4);
    }
    if (SDL_UpdateTexture(presenter.texture, nullptr, pixels, pitch) != 0)
        return fail(presenter, "texture upload failed");
    if (SDL_RenderCopy(presenter.renderer, presenter.texture, nullptr, nullptr) != 0)
        return fail(presenter, "copy failed");
    SDL_RenderPresent(presenter.renderer);
    return ok;
}

} // namespace platform::gfx
