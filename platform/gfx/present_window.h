#pragma once

// The one door from the graphics layer to the SDL back end of the window layer, which
// alone knows the SDL window behind a window handle.

#include "platform/window.h"

struct SDL_Window;

namespace platform::sdl {

// The SDL window of a window of the SDL back end; null for an unknown window and when
// the headless back end serves the process. Window thread only.
SDL_Window* native_window(WindowHandle window);

} // namespace platform::sdl
