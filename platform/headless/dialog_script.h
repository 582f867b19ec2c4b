#pragma once

// The user of the headless back end's dialogs. Calling any of these before the first
// window exists makes the process headless.
//
// A headless dialog_box runs the procedure's wm::INITDIALOG, then the script on the
// open dialog; a dialog that is still open afterwards is cancelled (as a user closing
// it), so a dialog never waits.

#include <functional>

#include "platform/dialog.h"

namespace platform::headless {

// Acts on every following dialog (click, choose, read the controls). Empty: dialogs
// are cancelled at once.
using DialogScript = std::function<void(Dialog& dialog)>;
void set_dialog_script(DialogScript script);
// Dialogs shown since the start or the last reset_dialogs.
int dialogs_shown();
// No script, count 0.
void reset_dialogs();

} // namespace platform::headless

namespace platform::detail {

// The headless dialog_box.
intptr_t run_headless_dialog(const DialogTemplate& layout, WindowHandle owner, DialogProcedure procedure,
                             intptr_t param);

} // namespace platform::detail
