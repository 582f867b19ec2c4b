#pragma once

#include "platform/dialog.h"

namespace platform::detail {

// The dialog_box of the SDL back end: a window of its own, in front of its owner, until
// the procedure ends the dialog; closing the window or pressing Escape cancels it.
// dialog_failed, with a line on stderr, when no window can be opened.
intptr_t run_sdl_dialog(const DialogTemplate& layout, WindowHandle owner, DialogProcedure procedure, intptr_t param);

} // namespace platform::detail
