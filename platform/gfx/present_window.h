#pragma once

// The doors between the graphics layer and the SDL back end of the window layer, which
// alone knows the SDL window behind a window handle.

#include "platform/window.h"

struct SDL_Window;

namespace platform::sdl {

// The SDL window of a window of the SDL back end; null for an unknown window and when
// the headless back end serves the process. Window thread only.
SDL_Window* native_window(WindowHandle window);

} // namespace platform::sdl

namespace platform::gfx {

// Waits until no frame is being handed to the display: the SDL back end calls it before
// it destroys a window or closes SDL. Window thread only.
void settle_window_presents();

} // namespace platform::gfx
