#pragma once

// The per-user video settings file ("VideoSettings" element: "Adapter" with the
// hardware's name, then one attribute per column of its mode table with the selected
// value) and the default choice of a hardware.

#include "platform/window.h"
#include "vadu/lib3d/hard/hardware.h"
#include "vadu/path.h"
#include "vadu/string.h"
#include "vadu/xml_object.h"

namespace vadu::lib3d::hard {

class VideoSettings : public xml::ObjectANSI {
public:
    // The hardware that the file names, with its rows selected from the file; null for a
    // missing or malformed file, an unknown adapter, an attribute before "Adapter", an
    // unknown column or a value that no row offers. Rows selected before a failure stay.
    static Hardware* load(const filesystem::String& path);
    // Writes the hardware's name and its selected values to a native file (folders are
    // made). False when the hardware is null (nothing is written) or writing failed.
    static bool save(Hardware* hardware, const filesystem::String& path);
    // The first registered hardware that starts its selected mode on the window, or null.
    static Hardware* choose_default(platform::WindowHandle window);

    // The hardware the settings, the video-mode dialog and the application agree on.
    static Hardware* get_chosen_hardware() noexcept;
    static void set_chosen_hardware(Hardware* hardware) noexcept;

    explicit VideoSettings(Hardware* hardware) : hardware_(hardware) {}

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    void OnSaveAttributes(xml::Saver& saver) override;

    Hardware* get_hardware() const noexcept { return hardware_; }

private:
    Hardware* hardware_;
};

} // namespace vadu::lib3d::hard
