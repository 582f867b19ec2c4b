#include "platform/headless/dialog_script.h"

#include <cstdio>

#include "platform/window_backend.h"

#include <utility>

namespace platform {
namespace {

// Window thread only, like the dialogs themselves.
struct DialogState {
    headless::DialogScript script;
    int shown = 0;
};

DialogState& dialog_state()
{
    static DialogState instance;
    return instance;
}

} // namespace

namespace headless {

void set_dialog_script(DialogScript script)
{
    detail::choose_headless();
    dialog_state().script = std::move(script);
}

int dialogs_shown()
{
    return dialog_state().shown;
}

void reset_dialogs()
{
    detail::choose_headless();
    dialog_state() = DialogState();
}

} // namespace headless

namespace detail {

intptr_t run_headless_dialog(const DialogTemplate& layout, WindowHandle /*owner*/, DialogProcedure procedure,
                             intptr_t param)
{
    Dialog dialog(layout, procedure);
    auto& state = dialog_state();
    ++state.shown;
    dialog.send(wm::INITDIALOG, 0, param);
    // A copy: the script may replace itself while it runs.
    const headless::DialogScript script = state.script;
    if (!dialog.has_ended() && !script)
        // Nobody can answer: say so, so that a headless run does not look as if it did nothing.
        std::fprintf(stderr, "No dialog can be shown without a display: \"%s\" counts as cancelled\n",
                     dialog.get_caption().c_str());
    if (!dialog.has_ended() && script)
        script(dialog);
    if (!dialog.has_ended())
        dialog.end(dialog_cancel);
    return dialog.get_result();
}

} // namespace detail
} // namespace platform
