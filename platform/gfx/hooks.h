#pragma once

// What the graphics device layer reports and how it fails, for tests and for the
// layer that shows frames: the adapter configuration (read live by every factory),
// scripted failures of single calls, device-loss switches and the present handler.
// Main thread only.

#include "platform/gfx/device.h"

#include <functional>
#include <utility>
#include <vector>

namespace platform::gfx {

struct AdapterConfig {
    std::string description = "Software Rasterizer";
    Caps caps = default_caps();
    DisplayMode display_mode{1024, 768, 60, Format::x8r8g8b8};
    // Full-screen modes; duplicates are allowed (callers sort and unique them).
    std::vector<DisplayMode> modes;
    // The adapter drives the desktop, as a display adapter drives its screen: the display
    // mode has the desktop's size (display_mode's refresh rate and format), and that mode
    // is reported after the listed ones unless one of them is it. Off: display_mode and
    // the list exactly. A desktop of unknown size changes nothing.
    bool follows_desktop = true;
    // (display, back buffer) pairs that check_device_type accepts.
    std::vector<std::pair<Format, Format>> device_types;
    std::vector<Format> texture_formats;
    std::vector<Format> cube_texture_formats;
    std::vector<Format> render_target_formats;
    std::vector<Format> depth_formats;
    // (render target, depth) pairs that do not match although both are supported.
    std::vector<std::pair<Format, Format>> depth_mismatches;
    // (format, sample count) pairs that multisample.
    std::vector<std::pair<Format, uint32_t>> multisample;
    uint32_t texture_memory = 256u << 20; // bytes, before default-pool resources

    // Modes 800×600, 1024×768, 1280×720, 1920×1080 (X8R8G8B8); the five back-buffer
    // pairs; the seven texture formats (also for cubes); X8R8G8B8, A8R8G8B8, R5G6B5,
    // X1R5G5B5, A1R5G5B5 as targets; D24X8, D24S8, D16, D16_LOCKABLE, D32 for depth;
    // 2 samples for every target and depth format (4 are drawn too, when listed).
    AdapterConfig();
};

struct Configuration {
    std::vector<AdapterConfig> adapters{AdapterConfig{}};
};

// The live configuration; edit it in place.
Configuration& configuration();

enum class Call {
    create_factory,
    get_device_caps,
    get_adapter_identifier,
    get_adapter_display_mode,
    enum_adapter_modes,
    check_device_type,
    check_device_format,
    check_depth_stencil_match,
    check_device_multisample_type,
    create_device,
    reset,
    begin_scene,
    present,
    create_vertex_buffer,
    create_index_buffer,
    create_texture,
    create_cube_texture,
    create_render_target,
    lock, // buffer, surface and texture locks
};

// The call succeeds `after` more times, then fails `times` times (negative: for
// good) with `result`. A later plan for the same call replaces the earlier one.
struct FailurePlan {
    int after = 0;
    int times = 1;
    Result result = error::invalid_call;
};
void script_failure(Call call, FailurePlan plan = {});
void clear_failures();

// Every live device becomes lost / every lost device becomes ready for reset.
void lose_devices();
void make_devices_resettable();
// The devices created and not yet destroyed, oldest first.
std::vector<Device*> live_devices();
// Objects of the layer not yet destroyed (factories, devices, resources).
uint32_t live_object_count();

// Called by Device::present with the back buffer; its result is present's result.
// None set: the platform's own handler (gfx/present.h).
using PresentHandler = std::function<Result(Device& device, const Surface& back_buffer)>;
void set_present_handler(PresentHandler handler);

// Whether devices log their draws since the last present (Device::draw_calls), for tests
// to read; off unless a test turns it on.
void set_draw_log(bool on);
bool draw_log();

// Back to the default configuration, no failures, the platform's present handler, no
// draw log.
void reset_hooks();

} // namespace platform::gfx
