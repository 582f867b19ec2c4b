// The start-up settings and the video-mode dialog of the rendering application.

#include <memory>
#include <string>

#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/log.h"
#include "vadu/xml_reader.h"
#include "vadu/lib3d/app/application.h"
#include "vadu/lib3d/app/video_settings.h"

namespace vadu::lib3d {

namespace {

// Valid while the dialog is open.
struct DialogState {
    platform::Dialog* dialog = nullptr;
    // The attributes that have controls, in column order: attribute i owns pair i.
    std::vector<String> shown;
};

DialogState dialog_state;

std::string to_std(const String& text)
{
    return std::string(text.data(), text.size());
}

String to_narrow(const WString& text)
{
    String narrow;
    converter::convert(text, &narrow);
    return narrow;
}

int label_of(size_t pair)
{
    return Application::first_attribute_label_id + static_cast<int>(pair);
}

int combo_of(size_t pair)
{
    return Application::first_attribute_combo_id + static_cast<int>(pair);
}

// Selects the hardware's current value of the column in the combo box.
void select_current_value(hard::Hardware& hardware, int combo, const String& column)
{
    platform::Dialog& dialog = *dialog_state.dialog;
    const int index = dialog.combo_find_exact(combo, -1, to_std(hardware.get_attribute_value(column)));
    dialog.combo_set_selection(combo, index);
}

} // namespace

// --- start-up settings ----------------------------------------------------------------

Application::StarterSettings::StarterSettings()
    : dictionary_(u"dictionary", &filter_), filter_(u"filter", &hide_), hide_(u"hide", nullptr)
{
}

bool Application::StarterSettings::Member::OnAttribute(xml::Provider&, const WString& name, const WString& value)
{
    values[to_narrow(name)] = to_narrow(value);
    return true;
}

bool Application::StarterSettings::OnNode(xml::Provider& provider, const WString& name)
{
    for (Member* member = &dictionary_; member; member = member->next) {
        if (member->name == name)
            return provider.ParseObject(*member);
    }
    return false;
}

String Application::StarterSettings::lookup(const String& key) const
{
    const auto found = dictionary_.values.find(key);
    return found == dictionary_.values.end() ? key : found->second;
}

void Application::StarterSettings::clear()
{
    dictionary_.values.clear();
    filter_.values.clear();
    hide_.values.clear();
}

Application::StarterSettings& Application::get_starter_settings()
{
    static StarterSettings settings;
    return settings;
}

std::vector<String> Application::split_values(const String& text, const String& separator)
{
    std::vector<String> pieces;
    if (separator.empty())
        return pieces;
    size_t start = 0;
    for (;;) {
        const size_t found = text.find(separator, start);
        if (found == String::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, found - start));
        start = found + separator.size();
    }
}

// --- the dialog ---------------------------------------------------------------------------

platform::DialogTemplate Application::get_videomode_dialog_layout()
{
    using platform::ControlKind;
    platform::DialogTemplate layout;
    layout.caption = "Video mode";
    layout.controls.push_back({static_cast<int>(platform::dialog_ok), ControlKind::button, "OK", true});
    layout.controls.push_back({static_cast<int>(platform::dialog_cancel), ControlKind::button, "Cancel", true});
    layout.controls.push_back({adapter_label_id, ControlKind::label, "Adapter", true});
    layout.controls.push_back({adapter_combo_id, ControlKind::combo_box, "", true});
    for (int pair = 0; pair < attribute_control_pairs; ++pair) {
        layout.controls.push_back({first_attribute_label_id + pair, ControlKind::label, "", false});
        layout.controls.push_back({first_attribute_combo_id + pair, ControlKind::combo_box, "", false});
    }
    return layout;
}

intptr_t Application::videomode_dialog_proc(platform::Dialog& dialog, uint32_t message, uintptr_t wparam,
                                            intptr_t /*lparam*/)
{
    switch (message) {
    case platform::wm::INITDIALOG: {
        const StarterSettings& settings = get_starter_settings();
        dialog_state = DialogState();
        dialog_state.dialog = &dialog;
        dialog.set_caption(to_std(settings.lookup("DialogCaption")));
        dialog.set_text(static_cast<int>(platform::dialog_ok), to_std(settings.lookup("btnOK")));
        dialog.set_text(static_cast<int>(platform::dialog_cancel), to_std(settings.lookup("btnCancel")));
        dialog.combo_reset(adapter_combo_id);
        for (hard::Hardware* hardware : hard::Manager::get_hardwares())
            dialog.combo_add_string(adapter_combo_id, to_std(hardware->get_name()));
        dialog.combo_set_selection(adapter_combo_id, 0);
        fill_videomode_dialog(adapter_combo_id);
        return 1;
    }
    case platform::wm::COMMAND: {
        const int id = static_cast<int>(wparam & 0xFFFF);
        const uint32_t code = static_cast<uint32_t>((wparam >> 16) & 0xFFFF);
        if (id == platform::dialog_ok || id == platform::dialog_cancel) {
            dialog.end(id);
            return 1;
        }
        if (code == platform::cbn::SELCHANGE) {
            dialog_state.dialog = &dialog;
            fill_videomode_dialog(id);
            return 1;
        }
        return 0;
    }
    default:
        return 0;
    }
}

void Application::fill_videomode_dialog(int control)
{
    platform::Dialog* dialog = dialog_state.dialog;
    if (!dialog)
        return;
    if (control == adapter_combo_id) {
        const std::vector<hard::Hardware*>& hardwares = hard::Manager::get_hardwares();
        const int selection = dialog->combo_get_selection(adapter_combo_id);
        if (selection >= 0 && static_cast<size_t>(selection) < hardwares.size())
            hard::VideoSettings::set_chosen_hardware(hardwares[static_cast<size_t>(selection)]);
        hard::Hardware* chosen = hard::VideoSettings::get_chosen_hardware();
        if (!chosen) {
            refresh_adapter_controls({});
            return;
        }
        refresh_adapter_controls(chosen->get_attribute_names());
        for (size_t i = 0; i < dialog_state.shown.size(); ++i)
            fill_combo_box(combo_of(i), chosen->get_column_values(dialog_state.shown[i]));
        if (!dialog_state.shown.empty()) {
            select_current_value(*chosen, combo_of(0), dialog_state.shown[0]);
            fill_videomode_dialog(combo_of(0));
        }
        return;
    }

    const int index = control - first_attribute_combo_id;
    if (index < 0 || static_cast<size_t>(index) >= dialog_state.shown.size())
        return;
    hard::Hardware* chosen = hard::VideoSettings::get_chosen_hardware();
    if (!chosen)
        return;
    const auto i = static_cast<size_t>(index);
    const int selection = dialog->combo_get_selection(control);
    if (selection >= 0) {
        const std::vector<String> values = chosen->get_column_values(dialog_state.shown[i]);
        if (static_cast<size_t>(selection) < values.size())
            chosen->select_row(dialog_state.shown[i], values[static_cast<size_t>(selection)]);
    }
    // One change cascades down to the last attribute.
    if (i + 1 < dialog_state.shown.size()) {
        const String& next = dialog_state.shown[i + 1];
        fill_combo_box(combo_of(i + 1), chosen->get_column_values(next));
        select_current_value(*chosen, combo_of(i + 1), next);
        fill_videomode_dialog(combo_of(i + 1));
    }
}

void Application::refresh_adapter_controls(const std::vector<String>& attribute_names)
{
    platform::Dialog* dialog = dialog_state.dialog;
    if (!dialog)
        return;
    StarterSettings& settings = get_starter_settings();
    dialog_state.shown.clear();
    dialog->set_text(adapter_label_id, to_std(settings.lookup("Adapter")));
    size_t pair = 0;
    for (const String& name : attribute_names) {
        const auto hidden = settings.hide().find(name);
        if (hidden != settings.hide().end() && !(hidden->second == name))
            continue;
        // The dialog has six pairs; further attributes keep their selected values.
        if (pair == static_cast<size_t>(attribute_control_pairs))
            break;
        dialog->show_control(label_of(pair), true);
        dialog->show_control(combo_of(pair), true);
        dialog->set_text(label_of(pair), to_std(settings.lookup(name)));
        dialog_state.shown.push_back(name);
        ++pair;
    }
    for (; pair < static_cast<size_t>(attribute_control_pairs); ++pair) {
        dialog->show_control(label_of(pair), false);
        dialog->show_control(combo_of(pair), false);
    }
}

void Application::fill_combo_box(int combo, const std::vector<String>& values)
{
    platform::Dialog* dialog = dialog_state.dialog;
    if (!dialog)
        return;
    dialog->combo_reset(combo);
    for (const String& value : values)
        dialog->combo_add_string(combo, to_std(value));
    dialog->enable_control(combo, values.size() > 1);
}

void Application::run_settings_dialog()
{
    StarterSettings& settings = get_starter_settings();
    bool loaded = false;
    try {
        std::unique_ptr<Stream> stream = filesystem::open(filesystem::String("starter.ini", false));
        xml::StreamResource resource(stream.get(), filesystem::String("starter.ini", false));
        xml::Root root(settings, "Starter");
        loaded = resource.load(root);
    } catch (const Gluck&) {
        loaded = false;
    }
    if (!loaded) {
        try {
            logs::log() << "Starter.ini not found\n";
        } catch (const Gluck&) {
        }
    }

    const std::vector<hard::Hardware*>& hardwares = hard::Manager::get_hardwares();
    if (!hardwares.empty()) {
        hard::Hardware* first = hardwares.front();
        for (const auto& [name, values] : settings.filter())
            first->filter_rows(name, split_values(values, "|"));
        for (const auto& [name, values] : settings.hide())
            first->filter_rows(name, split_values(values, "|"));
    }

    const intptr_t result = platform::dialog_box(get_videomode_dialog_layout(), get_window().window,
                                                 &Application::videomode_dialog_proc, 0);
    dialog_state = DialogState();
    if (result == platform::dialog_ok) {
        hardware_ = hard::VideoSettings::get_chosen_hardware();
        hard::VideoSettings::save(hardware_, video_settings_path_);
    } else {
        hardware_ = hard::VideoSettings::load(video_settings_path_);
        hard::VideoSettings::set_chosen_hardware(hardware_);
    }
}

} // namespace vadu::lib3d
