#include "platform/dialog.h"

#include "platform/codepage.h"
#include "platform/headless/dialog_script.h"
#include "platform/sdl/sdl_dialog.h"

namespace platform {
namespace {

bool equal_ignoring_case(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (char_lower(a[i]) != char_lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

intptr_t dialog_box(const DialogTemplate& layout, WindowHandle owner, DialogProcedure procedure, intptr_t param)
{
    if (!procedure)
        return dialog_failed;
    if (!is_headless())
        return detail::run_sdl_dialog(layout, owner, procedure, param);
    return detail::run_headless_dialog(layout, owner, procedure, param);
}

Dialog::Dialog(const DialogTemplate& layout, DialogProcedure procedure)
    : procedure_(procedure), caption_(layout.caption)
{
    for (const ControlTemplate& control : layout.controls) {
        Control& made = controls_[control.id];
        made.kind = control.kind;
        made.text = control.text;
        made.visible = control.visible;
    }
}

Dialog::Control* Dialog::find(int id)
{
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : &it->second;
}

const Dialog::Control* Dialog::find(int id) const
{
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : &it->second;
}

Dialog::Control* Dialog::find_combo(int id)
{
    Control* control = find(id);
    return control && control->kind == ControlKind::combo_box ? control : nullptr;
}

const Dialog::Control* Dialog::find_combo(int id) const
{
    const Control* control = find(id);
    return control && control->kind == ControlKind::combo_box ? control : nullptr;
}

bool Dialog::has_control(int id) const
{
    return find(id) != nullptr;
}

bool Dialog::set_text(int id, const std::string& text)
{
    Control* control = find(id);
    if (!control)
        return false;
    control->text = text;
    return true;
}

std::string Dialog::get_text(int id) const
{
    const Control* control = find(id);
    return control ? control->text : std::string();
}

bool Dialog::show_control(int id, bool shown)
{
    Control* control = find(id);
    if (!control)
        return false;
    control->visible = shown;
    return true;
}

bool Dialog::is_visible(int id) const
{
    const Control* control = find(id);
    return control && control->visible;
}

bool Dialog::enable_control(int id, bool enabled)
{
    Control* control = find(id);
    if (!control)
        return false;
    control->enabled = enabled;
    return true;
}

bool Dialog::is_enabled(int id) const
{
    const Control* control = find(id);
    return control && control->enabled;
}

bool Dialog::combo_reset(int id)
{
    Control* combo = find_combo(id);
    if (!combo)
        return false;
    combo->items.clear();
    combo->selection = combo_error;
    return true;
}

int Dialog::combo_add_string(int id, const std::string& text)
{
    Control* combo = find_combo(id);
    if (!combo)
        return combo_error;
    combo->items.push_back(text);
    return static_cast<int>(combo->items.size() - 1);
}

int Dialog::combo_get_count(int id) const
{
    const Control* combo = find_combo(id);
    return combo ? static_cast<int>(combo->items.size()) : combo_error;
}

std::string Dialog::combo_get_item(int id, int index) const
{
    const Control* combo = find_combo(id);
    if (!combo || index < 0 || static_cast<size_t>(index) >= combo->items.size())
        return std::string();
    return combo->items[static_cast<size_t>(index)];
}

int Dialog::combo_get_selection(int id) const
{
    const Control* combo = find_combo(id);
    return combo ? combo->selection : combo_error;
}

int Dialog::combo_set_selection(int id, int index)
{
    Control* combo = find_combo(id);
    if (!combo)
        return combo_error;
    if (index < 0 || static_cast<size_t>(index) >= combo->items.size()) {
        combo->selection = combo_error;
        return combo_error;
    }
    combo->selection = index;
    return index;
}

int Dialog::combo_find_exact(int id, int start, const std::string& text) const
{
    const Control* combo = find_combo(id);
    if (!combo || combo->items.empty())
        return combo_error;
    const size_t count = combo->items.size();
    const size_t first = start < 0 || static_cast<size_t>(start) >= count ? 0 : static_cast<size_t>(start) + 1;
    for (size_t step = 0; step < count; ++step) {
        const size_t index = (first + step) % count;
        if (equal_ignoring_case(combo->items[index], text))
            return static_cast<int>(index);
    }
    return combo_error;
}

void Dialog::end(intptr_t result)
{
    if (ended_)
        return;
    ended_ = true;
    result_ = result;
}

bool Dialog::click(int id)
{
    const Control* control = find(id);
    if (ended_ || !control || control->kind != ControlKind::button || !control->visible || !control->enabled)
        return false;
    send(wm::COMMAND, make_wparam(static_cast<uint32_t>(id), bn::CLICKED), 0);
    return true;
}

bool Dialog::choose(int id, int index)
{
    Control* combo = find_combo(id);
    if (ended_ || !combo || !combo->visible || !combo->enabled)
        return false;
    if (combo_set_selection(id, index) == combo_error)
        return false;
    send(wm::COMMAND, make_wparam(static_cast<uint32_t>(id), cbn::SELCHANGE), 0);
    return true;
}

bool Dialog::choose(int id, const std::string& text)
{
    const Control* combo = find_combo(id);
    if (!combo)
        return false;
    for (size_t index = 0; index < combo->items.size(); ++index) {
        if (combo->items[index] == text)
            return choose(id, static_cast<int>(index));
    }
    return false;
}

intptr_t Dialog::send(uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    return procedure_ ? procedure_(*this, message, wparam, lparam) : 0;
}

} // namespace platform
