// Format selection, opening the device for a video mode, and closing it.

#include <span>
#include <utility>
#include <vector>

#include "vadu/converter.h"
#include "vadu/lib3d/hard/directx8/hardware.h"
#include "vadu/lib3d/hard/directx8/hardware_detail.h"

namespace vadu::lib3d::hard::directx8 {

namespace gfx = platform::gfx;
using gfx::Format;

namespace {

struct FormatPair {
    Format colour;
    Format display;
};

constexpr FormatPair pairs_16_bit[] = {
    {Format::r5g6b5, Format::r5g6b5},
    {Format::x1r5g5b5, Format::x1r5g5b5},
    {Format::a1r5g5b5, Format::x1r5g5b5},
};
constexpr FormatPair pairs_32_bit[] = {
    {Format::a8r8g8b8, Format::x8r8g8b8},
    {Format::x8r8g8b8, Format::x8r8g8b8},
};

constexpr Format render_target_candidates[] = {
    Format::a2b10g10r10, Format::x8r8g8b8, Format::r8g8b8,   Format::a8r8g8b8,
    Format::r5g6b5,      Format::x1r5g5b5, Format::a1r5g5b5,
};
constexpr Format depth_candidates[] = {
    Format::d24x8, Format::d16, Format::d16_lockable, Format::d24s8, Format::d24x4s4, Format::d15s1,
};

// Texture formats by picture format, best first: [prefer small][picture format].
constexpr Format A4 = Format::a4r4g4b4;
constexpr Format A8 = Format::a8r8g8b8;
constexpr Format A1 = Format::a1r5g5b5;
constexpr Format X8 = Format::x8r8g8b8;
constexpr Format R8 = Format::r8g8b8;
constexpr Format R5 = Format::r5g6b5;
constexpr Format X1 = Format::x1r5g5b5;

struct Preference {
    Format formats[7];
    size_t count;
};

constexpr Preference alpha_large{{A8, A4, A1}, 3};
constexpr Preference alpha_small{{A4, A8, A1}, 3};
constexpr Preference colour_large{{R8, X8, A8, R5, X1, A1, A4}, 7};
constexpr Preference colour_small{{R5, A1, X1, A4, R8, X8, A8}, 7};
constexpr Preference sixteen_large{{R5, X1, A1, R8, X8, A8, A4}, 7};
constexpr Preference sixteen_small{{R5, X1, A1, A4, R8, X8, A8}, 7};
constexpr Preference one_bit_large{{A1, A8, A4}, 3};
constexpr Preference one_bit_small{{A1, A4, A8}, 3};
constexpr Preference four_bit{{A4, A8, A1}, 3};

const Preference& preference(size_t picture_format, bool prefer_small)
{
    switch (picture_format) {
    case 0:
    case 1: return prefer_small ? alpha_small : alpha_large;
    case 2:
    case 3:
    case 4: return prefer_small ? colour_small : colour_large;
    case 5:
    case 8: return prefer_small ? sixteen_small : sixteen_large;
    case 6: return prefer_small ? one_bit_small : one_bit_large;
    default: return four_bit;
    }
}

const char* text(bool value)
{
    return value ? "true" : "false";
}

String decimal(long long value)
{
    String result;
    result.append_number(value);
    return result;
}

// The row's value in the named column; empty when the row is too short.
String column_value(const Hardware& hardware, const Hardware::Row& row, const char* name)
{
    const std::vector<String>& names = hardware.get_attribute_names();
    for (size_t i = 0; i < names.size() && i < row.size(); ++i) {
        if (names[i] == name)
            return row[i];
    }
    return String();
}

} // namespace

const char* format_name(Format format)
{
    switch (format) {
    case Format::unknown: return "D3DFMT_UNKNOWN";
    case Format::a2b10g10r10: return "D3DFMT_A2B10G10R10";
    case Format::a8r8g8b8: return "D3DFMT_A8R8G8B8";
    case Format::x8r8g8b8: return "D3DFMT_X8R8G8B8";
    case Format::r8g8b8: return "D3DFMT_R8G8B8";
    case Format::a1r5g5b5: return "D3DFMT_A1R5G5B5";
    case Format::x1r5g5b5: return "D3DFMT_X1R5G5B5";
    case Format::r5g6b5: return "D3DFMT_R5G6B5";
    case Format::a4r4g4b4: return "D3DFMT_A4R4G4B4";
    case Format::d24s8: return "D3DFMT_D24S8";
    case Format::d32: return "D3DFMT_D32";
    case Format::d24x8: return "D3DFMT_D24X8";
    case Format::d16: return "D3DFMT_D16";
    case Format::d24x4s4: return "D3DFMT_D24X4S4";
    case Format::d16_lockable: return "D3DFMT_D16_LOCKABLE";
    case Format::d15s1: return "D3DFMT_D15S1";
    default: return "";
    }
}

bool Hardware::select_formats(ModeParameters& mode) const
{
    if (!factory_)
        return false;
    const gfx::DeviceType hal = gfx::DeviceType::hal;
    mode.colour_format = Format::unknown;
    mode.render_target_format = Format::unknown;
    mode.z_buffer_format = Format::unknown;

    // 1. Back buffer and display.
    std::vector<FormatPair> pairs;
    const bool wide_first = capabilities_.driver_class != 0;
    const std::span<const FormatPair> wide(pairs_32_bit);
    const std::span<const FormatPair> narrow(pairs_16_bit);
    for (const std::span<const FormatPair> group : {wide_first ? wide : narrow, wide_first ? narrow : wide})
        pairs.insert(pairs.end(), group.begin(), group.end());
    if (!mode.is_full_screen) {
        gfx::DisplayMode display;
        if (gfx::failed(factory_->get_adapter_display_mode(adapter_, &display)))
            return false;
        mode.display_format = display.format;
        for (const FormatPair& pair : pairs) {
            if (gfx::succeeded(factory_->check_device_type(adapter_, hal, mode.display_format, pair.colour, true))) {
                mode.colour_format = pair.colour;
                break;
            }
        }
    } else {
        for (const FormatPair& pair : pairs) {
            if (gfx::succeeded(factory_->check_device_type(adapter_, hal, pair.display, pair.colour, false))) {
                mode.colour_format = pair.colour;
                mode.display_format = pair.display;
                break;
            }
        }
    }
    if (mode.colour_format == Format::unknown)
        return false;

    // 2. A render-target format with a depth format that suits it and the back buffer.
    const auto matches = [&](Format target, Format depth) {
        return gfx::succeeded(factory_->check_depth_stencil_match(adapter_, hal, mode.display_format, target, depth));
    };
    for (Format candidate : render_target_candidates) {
        if (gfx::failed(factory_->check_device_format(adapter_, hal, mode.display_format, gfx::usage::render_target,
                                                      gfx::ResourceType::texture, candidate)))
            continue;
        for (Format depth : depth_candidates) {
            if (matches(mode.colour_format, depth) && matches(candidate, depth)) {
                mode.render_target_format = candidate;
                mode.z_buffer_format = depth;
                break;
            }
        }
        if (mode.render_target_format != Format::unknown)
            break;
    }

    // 3. Without one, a depth format for the back buffer alone.
    if (mode.render_target_format == Format::unknown) {
        for (Format depth : depth_candidates) {
            if (matches(mode.colour_format, depth)) {
                mode.z_buffer_format = depth;
                break;
            }
        }
        if (mode.z_buffer_format == Format::unknown)
            return false;
    }

    // 4. Texture formats.
    for (size_t i = 0; i < mode.texture_formats.size(); ++i) {
        const Preference& wanted = preference(i, capabilities_.prefer_small_formats);
        mode.texture_formats[i] = Format::unknown;
        mode.cube_texture_formats[i] = Format::unknown;
        for (size_t k = 0; k < wanted.count; ++k) {
            if (gfx::succeeded(factory_->check_device_format(adapter_, hal, mode.display_format, 0,
                                                             gfx::ResourceType::texture, wanted.formats[k]))) {
                mode.texture_formats[i] = wanted.formats[k];
                break;
            }
        }
        if (mode.texture_formats[i] == Format::unknown)
            return false;
        for (size_t k = 0; k < wanted.count; ++k) {
            if (gfx::succeeded(factory_->check_device_format(adapter_, hal, mode.display_format, 0,
                                                             gfx::ResourceType::cube_texture, wanted.formats[k]))) {
                mode.cube_texture_formats[i] = wanted.formats[k];
                break;
            }
        }
    }
    return true;
}

bool Hardware::set_mode_internal(platform::WindowHandle window, const Row& row)
{
    // A new mode replaces the open one: its device goes first, so that the new present
    // parameters take effect.
    stop_mode();
    mode_.is_full_screen = false;

    int32_t width = 0;
    int32_t height = 0;
    if (!converter::convert(column_value(*this, row, "ResolutionX"), &width)
        || !converter::convert(column_value(*this, row, "ResolutionY"), &height)) {
        detail::write_log("Hardware::set_mode_internal() bad resolution\n");
        return false;
    }
    mode_.resolution_x = width;
    mode_.resolution_y = height;

    const String antialiasing = column_value(*this, row, "Antialiasing");
    uint32_t samples = gfx::multisample::none;
    if (antialiasing == "2xSamples (Medium)")
        samples = gfx::multisample::samples_2;
    else if (antialiasing == "4xSamples (High)")
        samples = gfx::multisample::samples_4;

    // The formats first: the multisample check must see the formats this mode uses.
    const bool selected = select_formats(mode_);
    if (selected && samples != gfx::multisample::none) {
        for (Format format : {mode_.colour_format, mode_.z_buffer_format}) {
            if (gfx::failed(factory_->check_device_multisample_type(adapter_, gfx::DeviceType::hal, format, true,
                                                                    samples, nullptr)))
                samples = gfx::multisample::none;
        }
    }
    mode_.multisample_type = selected ? samples : gfx::multisample::none;

    String report("color_format: ");
    report += format_name(mode_.colour_format);
    report += "\ndisplay_format: ";
    report += format_name(mode_.display_format);
    report += "\nformat_for_texture:\n";
    for (size_t i = 0; i < mode_.texture_formats.size(); ++i)
        report += decimal(static_cast<long long>(i)) + ": " + format_name(mode_.texture_formats[i]) + "\n";
    report += "format_for_cubic_texture:\n";
    for (size_t i = 0; i < mode_.cube_texture_formats.size(); ++i)
        report += decimal(static_cast<long long>(i)) + ": " + format_name(mode_.cube_texture_formats[i]) + "\n";
    report += "is_fullscreen: ";
    report += text(mode_.is_full_screen);
    report += "\nrender_target_format: ";
    report += format_name(mode_.render_target_format);
    report += "\nresolution_x: " + decimal(mode_.resolution_x);
    report += "\nresolution_y: " + decimal(mode_.resolution_y);
    report += "\nz_buffer_format: ";
    report += format_name(mode_.z_buffer_format);
    report += "\n";
    detail::write_log(report);
    if (!selected)
        return false;
    detail::write_log("Hardware::set_mode_internal() dependent parameters are ok\n");

    // Always windowed: a full-screen picture is the shell's borderless window.
    present_parameters_ = gfx::PresentParameters{};
    present_parameters_.back_buffer_format = mode_.colour_format;
    present_parameters_.back_buffer_count = 1;
    present_parameters_.multisample_type = mode_.multisample_type;
    present_parameters_.multisample_quality = 0;
    present_parameters_.swap_effect = gfx::swap_effect::discard;
    present_parameters_.device_window = window;
    present_parameters_.enable_auto_depth_stencil = true;
    present_parameters_.auto_depth_stencil_format = mode_.z_buffer_format;
    present_parameters_.flags = 0;
    present_parameters_.windowed = true;
    present_parameters_.back_buffer_width = 0;
    present_parameters_.back_buffer_height = 0;
    present_parameters_.presentation_interval = gfx::present_interval::default_interval;

    window_ = window;
    saved_style_ = platform::get_window_style(window);
    client_rect_ = platform::get_client_rect(window);

    Capabilities& caps = capabilities_;
    if (caps.try_hardware_vertex_processing) {
        detail::write_log("Hardware::set_mode_internal() try_hardware_vp\n");
        gfx::PresentParameters parameters = present_parameters_;
        const uint32_t flags = caps.hardware_vertex_shaders ? gfx::create_flags::hardware_vertex_processing
                                                            : gfx::create_flags::mixed_vertex_processing;
        if (gfx::succeeded(factory_->create_device(adapter_, gfx::DeviceType::hal, window, flags, &parameters,
                                                   &device_)))
            present_parameters_ = parameters;
        else
            device_ = nullptr;
    }
    if (!device_) {
        detail::write_log("Hardware::set_mode_internal() try_software_vp\n");
        caps.try_hardware_vertex_processing = false;
        caps.hardware_vertex_shaders = false;
        gfx::PresentParameters parameters = present_parameters_;
        if (gfx::failed(factory_->create_device(adapter_, gfx::DeviceType::hal, window,
                                                gfx::create_flags::software_vertex_processing, &parameters,
                                                &device_))) {
            device_ = nullptr;
            window_ = nullptr;
            detail::write_log("Hardware::set_mode_internal() CreateDevice failed\n");
            return false;
        }
        present_parameters_ = parameters;
    }

    blend_mode_ = -1;
    applied_depth_ = -1;
    reported_texture_memory_ = 0;
    report_texture_memory();
    restore_resources();
    report_texture_memory();
    detail::write_log("Mode set\n");
    return true;
}

void Hardware::stop_mode()
{
    if (!device_)
        return;
    detail::write_log("Hardware::stop_mode()\n");
    lose_resources();
    // Managed resources would keep the device alive; the mode is over for them too.
    resources_.drop_all();
    release_device();
    platform::set_window_style(window_, saved_style_);
    window_ = nullptr;
}

void Hardware::release_device()
{
    if (device_)
        std::exchange(device_, nullptr)->release();
    cleared_targets_.clear();
    blend_mode_ = -1;
    applied_depth_ = -1;
}

} // namespace vadu::lib3d::hard::directx8
