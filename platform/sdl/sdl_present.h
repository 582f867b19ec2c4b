#pragma once

// The SDL back end's side of showing frames: the handler that shows a device's presented
// back buffer in the SDL window of the device's window, which the back end registers with
// the graphics layer when it starts (gfx::set_window_present).

#include "platform/gfx/present.h"
#include "platform/window.h"

struct SDL_Window;

namespace platform::sdl {

// The SDL window of a window of the SDL back end; null for an unknown window and when
// the headless back end serves the process. Window thread only.
SDL_Window* native_window(WindowHandle window);

// Shows the frame in the SDL window of the device's window, stretched to the window;
// nothing for a window without one.
gfx::Result present_to_window(gfx::Device& device, const gfx::Surface& back_buffer);

// Waits until no frame is being handed to the display: before a window is destroyed or
// SDL closes. Window thread only.
void settle_window_presents();

} // namespace platform::sdl
