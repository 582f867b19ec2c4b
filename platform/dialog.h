#pragma once

// Modal dialogs with numbered controls: buttons, static labels and drop-down combo
// boxes. A dialog procedure sets the controls up on wm::INITDIALOG and hears the user
// through wm::COMMAND (low word of wparam: the control id, high word: the
// notification code), the way the engine's dialog code expects.
//
// The SDL back end shows a dialog in a window of its own (platform/sdl/sdl_dialog.h);
// the headless back end lets a script stand in for the user (see
// platform/headless/dialog_script.h), and without a script cancels the dialog, saying so
// on stderr. dialog_box answers -1 when no dialog can be created.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/window.h"

namespace platform {

// What dialog_box returns for the OK and Cancel buttons (they carry these ids too).
constexpr intptr_t dialog_ok = 1;
constexpr intptr_t dialog_cancel = 2;
// dialog_box's result when no dialog could be shown.
constexpr intptr_t dialog_failed = -1;

// Notification codes (high word of wm::COMMAND's wparam).
namespace bn {
constexpr uint32_t CLICKED = 0;
} // namespace bn
namespace cbn {
constexpr uint32_t SELCHANGE = 1;
} // namespace cbn

// What the combo-box operations answer for "no entry" and for a control that is not a
// combo box.
constexpr int combo_error = -1;

constexpr uintptr_t make_wparam(uint32_t low, uint32_t high)
{
    return static_cast<uintptr_t>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}

enum class ControlKind { button, label, combo_box };

struct ControlTemplate {
    int id = 0;
    ControlKind kind = ControlKind::label;
    std::string text;
    bool visible = true;
};

// The layout of a dialog: its caption and its controls. Texts are 1252.
struct DialogTemplate {
    std::string caption;
    std::vector<ControlTemplate> controls;
};

class Dialog;

// The result of wm::INITDIALOG and wm::COMMAND is non-zero when the message was handled.
using DialogProcedure = intptr_t (*)(Dialog& dialog, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Shows the dialog modally over the owner (which may be null): the procedure gets
// wm::INITDIALOG with `param` as lparam, then the user's actions, until it calls
// Dialog::end. Returns the value given to end, or dialog_failed when no dialog can be
// shown (a null procedure, or a back end without dialogs).
intptr_t dialog_box(const DialogTemplate& layout, WindowHandle owner, DialogProcedure procedure, intptr_t param);

// An open dialog: the state of its controls, changed by the procedure and by the user.
// Operations on an id that no control has change nothing and answer false, "" or
// combo_error.
class Dialog {
public:
    Dialog(const DialogTemplate& layout, DialogProcedure procedure);
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // --- what the procedure does ---

    void set_caption(const std::string& text) { caption_ = text; }
    const std::string& get_caption() const noexcept { return caption_; }

    bool has_control(int id) const;
    bool set_text(int id, const std::string& text);
    std::string get_text(int id) const;
    bool show_control(int id, bool shown);
    bool is_visible(int id) const;
    bool enable_control(int id, bool enabled);
    bool is_enabled(int id) const;

    // Empties the list and clears the selection.
    bool combo_reset(int id);
    // Appends; the index of the new entry.
    int combo_add_string(int id, const std::string& text);
    int combo_get_count(int id) const;
    std::string combo_get_item(int id, int index) const;
    // The selected index, or combo_error when nothing is selected.
    int combo_get_selection(int id) const;
    // Selects the entry and returns its index; an index outside the list clears the
    // selection and returns combo_error.
    int combo_set_selection(int id, int index);
    // The first entry after `start` (-1: from the first) whose whole text equals the text,
    // ignoring case, searching on from the top past the end of the list; combo_error when
    // none does.
    int combo_find_exact(int id, int start, const std::string& text) const;

    // Closes the dialog: dialog_box returns the result once the current message is done.
    void end(intptr_t result);
    bool has_ended() const noexcept { return ended_; }
    intptr_t get_result() const noexcept { return result_; }

    // --- what the user does ---

    // Presses a visible, enabled button: wm::COMMAND with bn::CLICKED. False for any
    // other control or after the dialog ended.
    bool click(int id);
    // Picks an entry of a visible, enabled combo box: selects it, then wm::COMMAND with
    // cbn::SELCHANGE. False when that cannot be done.
    bool choose(int id, int index);
    // The entry whose text equals `text` exactly, picked as above.
    bool choose(int id, const std::string& text);

    // Calls the procedure.
    intptr_t send(uint32_t message, uintptr_t wparam, intptr_t lparam);

private:
    struct Control {
        ControlKind kind = ControlKind::label;
        std::string text;
        bool visible = true;
        bool enabled = true;
        std::vector<std::string> items;
        int selection = combo_error;
    };

    Control* find(int id);
    const Control* find(int id) const;
    Control* find_combo(int id);
    const Control* find_combo(int id) const;

    DialogProcedure procedure_;
    std::string caption_;
    std::map<int, Control> controls_;
    bool ended_ = false;
    intptr_t result_ = 0;
};

} // namespace platform
