#include "platform/gfx/hooks.h"
#include "platform/gfx/internal.h"
#include "platform/gfx/present.h"
#include "platform/window.h"

#include <algorithm>
#include <array>

namespace platform::gfx {
namespace {

constexpr size_t kCallCount = static_cast<size_t>(Call::lock) + 1;

struct HookState {
    Configuration configuration;
    std::array<FailurePlan, kCallCount> plans{};
    std::array<bool, kCallCount> planned{};
    PresentHandler present;
    bool draw_log = false;
    std::vector<Device*> devices;
    uint32_t objects = 0;
};

HookState& hook_state()
{
    static HookState state;
    return state;
}

} // namespace

AdapterConfig::AdapterConfig()
{
    for (const auto& [width, height] : {std::pair<uint32_t, uint32_t>{800, 600}, {1024, 768}, {1280, 720}, {1920, 1080}})
        modes.push_back(DisplayMode{width, height, 60, Format::x8r8g8b8});
    device_types = {
        {Format::r5g6b5, Format::r5g6b5},     {Format::x1r5g5b5, Format::x1r5g5b5},
        {Format::x1r5g5b5, Format::a1r5g5b5}, {Format::x8r8g8b8, Format::a8r8g8b8},
        {Format::x8r8g8b8, Format::x8r8g8b8},
    };
    texture_formats = {Format::a8r8g8b8, Format::a4r4g4b4, Format::a1r5g5b5, Format::r8g8b8,
                       Format::x8r8g8b8, Format::r5g6b5,   Format::x1r5g5b5};
    cube_texture_formats = texture_formats;
    render_target_formats = {Format::x8r8g8b8, Format::a8r8g8b8, Format::r5g6b5, Format::x1r5g5b5,
                             Format::a1r5g5b5};
    depth_formats = {Format::d24x8, Format::d24s8, Format::d16, Format::d16_lockable, Format::d32};
    // The rasterizer draws 2 and 4 samples per pixel into any target and depth format,
    // but only 2 are offered: a busy frame on 4 samples takes well over twice the time
    // of the same frame on one, on all cores, and 2 samples stay below that.
    for (Format format : render_target_formats)
        multisample.emplace_back(format, multisample::samples_2);
    for (Format format : depth_formats)
        multisample.emplace_back(format, multisample::samples_2);
}

Configuration& configuration()
{
    return hook_state().configuration;
}

void script_failure(Call call, FailurePlan plan)
{
    HookState& state = hook_state();
    state.plans[static_cast<size_t>(call)] = plan;
    state.planned[static_cast<size_t>(call)] = plan.times != 0;
}

void clear_failures()
{
    HookState& state = hook_state();
    state.planned.fill(false);
}

void lose_devices()
{
    for (Device* device : hook_state().devices)
        device->simulate_lost();
}

void make_devices_resettable()
{
    for (Device* device : hook_state().devices)
        device->simulate_resettable();
}

std::vector<Device*> live_devices()
{
    return hook_state().devices;
}

uint32_t live_object_count()
{
    return hook_state().objects;
}

void set_present_handler(PresentHandler handler)
{
    hook_state().present = std::move(handler);
}

void set_draw_log(bool on)
{
    hook_state().draw_log = on;
}

bool draw_log()
{
    return hook_state().draw_log;
}

void reset_hooks()
{
    HookState& state = hook_state();
    state.configuration = Configuration{};
    state.planned.fill(false);
    state.present = nullptr;
    state.draw_log = false;
}

namespace detail {

Result scripted(Call call)
{
    HookState& state = hook_state();
    const size_t index = static_cast<size_t>(call);
    if (!state.planned[index])
        return ok;
    FailurePlan& plan = state.plans[index];
    if (plan.after > 0) {
        --plan.after;
        return ok;
    }
    if (plan.times > 0 && --plan.times == 0)
        state.planned[index] = false;
    return plan.result;
}

const AdapterConfig* adapter_config(uint32_t adapter)
{
    const auto& adapters = hook_state().configuration.adapters;
    return adapter < adapters.size() ? &adapters[adapter] : nullptr;
}

void object_created()
{
    ++hook_state().objects;
}

void object_destroyed()
{
    --hook_state().objects;
}

void device_created(Device* device)
{
    hook_state().devices.push_back(device);
}

void device_destroyed(Device* device)
{
    std::erase(hook_state().devices, device);
}

const PresentHandler& present_handler()
{
    // None set: the platform's own, to the window or headless (gfx/present.h).
    static const PresentHandler platform_default = present_default;
    return hook_state().present ? hook_state().present : platform_default;
}

bool supports_device_type(const AdapterConfig& adapter, Format display, Format back_buffer, bool windowed)
{
    if (windowed && display != adapter.display_mode.format)
        return false;
    return contains(adapter.device_types, std::pair{display, back_buffer});
}

bool supports_multisample(const AdapterConfig& adapter, Format format, uint32_t type)
{
    return type == multisample::none || contains(adapter.multisample, std::pair{format, type});
}

bool depth_matches(const AdapterConfig& adapter, Format render_target, Format depth)
{
    return contains(adapter.depth_formats, depth) && !contains(adapter.depth_mismatches, std::pair{render_target, depth});
}

} // namespace detail

// --- factory -------------------------------------------------------------------------

namespace {

bool is_display_format(const AdapterConfig& adapter, Format format)
{
    for (const auto& [display, back_buffer] : adapter.device_types) {
        if (display == format)
            return true;
    }
    return false;
}

// A format that can be drawn into: a render-target format or a back-buffer format.
bool is_target_format(const AdapterConfig& adapter, Format format)
{
    if (detail::contains(adapter.render_target_formats, format))
        return true;
    for (const auto& [display, back_buffer] : adapter.device_types) {
        if (back_buffer == format)
            return true;
    }
    return false;
}

} // namespace

Factory* create_factory(uint32_t version)
{
    if (version != sdk_version || failed(detail::scripted(Call::create_factory)))
        return nullptr;
    return new Factory();
}

Result Factory::check_adapter(uint32_t adapter, DeviceType type) const
{
    if (detail::adapter_config(adapter) == nullptr)
        return error::invalid_call;
    return type == DeviceType::hal ? ok : error::not_available;
}

Result Factory::check_adapter(Call call, uint32_t adapter, DeviceType type) const
{
    if (const Result result = detail::scripted(call); failed(result))
        return result;
    return check_adapter(adapter, type);
}

uint32_t Factory::get_adapter_count() const
{
    return static_cast<uint32_t>(configuration().adapters.size());
}

Result Factory::get_adapter_identifier(uint32_t adapter, uint32_t, AdapterIdentifier* identifier) const
{
    if (const Result result = detail::scripted(Call::get_adapter_identifier); failed(result))
        return result;
    const AdapterConfig* config = detail::adapter_config(adapter);
    if (config == nullptr || identifier == nullptr)
        return error::invalid_call;
    identifier->description = config->description;
    return ok;
}

namespace {

// The mode the adapter's screen is in.
DisplayMode current_display_mode(const AdapterConfig& config)
{
    DisplayMode mode = config.display_mode;
    if (!config.follows_desktop)
        return mode;
    const Size desktop = get_desktop_size();
    if (desktop.width > 0 && desktop.height > 0) {
        mode.width = static_cast<uint32_t>(desktop.width);
        mode.height = static_cast<uint32_t>(desktop.height);
    }
    return mode;
}

// The listed modes, and the current one when the list lacks it.
std::vector<DisplayMode> reported_modes(const AdapterConfig& config)
{
    std::vector<DisplayMode> modes = config.modes;
    if (!config.follows_desktop)
        return modes;
    const DisplayMode current = current_display_mode(config);
    const bool listed = std::any_of(modes.begin(), modes.end(), [&](const DisplayMode& mode) {
        return mode.width == current.width && mode.height == current.height && mode.format == current.format;
    });
    if (!listed)
        modes.push_back(current);
    return modes;
}

} // namespace

uint32_t Factory::get_adapter_mode_count(uint32_t adapter, Format format) const
{
    const AdapterConfig* config = detail::adapter_config(adapter);
    if (config == nullptr)
        return 0;
    uint32_t count = 0;
    for (const DisplayMode& mode : reported_modes(*config)) {
        if (format == Format::unknown || mode.format == format)
            ++count;
    }
    return count;
}

Result Factory::enum_adapter_modes(uint32_t adapter, Format format, uint32_t mode, DisplayMode* display_mode) const
{
    if (const Result result = detail::scripted(Call::enum_adapter_modes); failed(result))
        return result;
    const AdapterConfig* config = detail::adapter_config(adapter);
    if (config == nullptr || display_mode == nullptr)
        return error::invalid_call;
    uint32_t index = 0;
    for (const DisplayMode& candidate : reported_modes(*config)) {
        if (format != Format::unknown && candidate.format != format)
            continue;
        if (index++ == mode) {
            *display_mode = candidate;
            return ok;
        }
    }
    return error::invalid_call;
}

Result Factory::get_adapter_display_mode(uint32_t adapter, DisplayMode* display_mode) const
{
    if (const Result result = detail::scripted(Call::get_adapter_display_mode); failed(result))
        return result;
    const AdapterConfig* config = detail::adapter_config(adapter);
    if (config == nullptr || display_mode == nullptr)
        return error::invalid_call;
    *display_mode = current_display_mode(*config);
    return ok;
}

Result Factory::check_device_type(uint32_t adapter, DeviceType type, Format display_format,
                                  Format back_buffer_format, bool windowed) const
{
    if (const Result result = check_adapter(Call::check_device_type, adapter, type); failed(result))
        return result;
    const AdapterConfig& config = *detail::adapter_config(adapter);
    return detail::supports_device_type(config, display_format, back_buffer_format, windowed) ? ok
                                                                                              : error::not_available;
}

Result Factory::check_device_format(uint32_t adapter, DeviceType type, Format adapter_format, uint32_t usage,
                                    ResourceType resource_type, Format format) const
{
    if (const Result result = check_adapter(Call::check_device_format, adapter, type); failed(result))
        return result;
    const AdapterConfig& config = *detail::adapter_config(adapter);
    if (!is_display_format(config, adapter_format))
        return error::invalid_call;

    using detail::contains;
    bool supported = false;
    if (usage & usage::depth_stencil) {
        supported = resource_type == ResourceType::surface && contains(config.depth_formats, format);
    } else if (usage & usage::render_target) {
        const bool target = contains(config.render_target_formats, format);
        if (resource_type == ResourceType::surface || resource_type == ResourceType::texture)
            supported = target;
        else if (resource_type == ResourceType::cube_texture)
            supported = target && contains(config.cube_texture_formats, format);
    } else {
        switch (resource_type) {
        case ResourceType::texture: supported = contains(config.texture_formats, format); break;
        case ResourceType::cube_texture: supported = contains(config.cube_texture_formats, format); break;
        case ResourceType::surface:
            supported = contains(config.texture_formats, format) || contains(config.render_target_formats, format);
            break;
        case ResourceType::index_buffer:
            supported = format == Format::index16
                || (format == Format::index32 && config.caps.max_vertex_index > 0xFFFF);
            break;
        case ResourceType::vertex_buffer: supported = true; break;
        default: break;
        }
    }
    return supported ? ok : error::not_available;
}

Result Factory::check_device_multisample_type(uint32_t adapter, DeviceType type, Format format, bool,
                                              uint32_t multisample_type, uint32_t* quality_levels) const
{
    if (const Result result = check_adapter(Call::check_device_multisample_type, adapter, type); failed(result))
        return result;
    if (multisample_type > multisample::max_samples)
        return error::invalid_call;
    if (!detail::supports_multisample(*detail::adapter_config(adapter), format, multisample_type))
        return error::not_available;
    if (quality_levels != nullptr)
        *quality_levels = 1;
    return ok;
}

Result Factory::check_depth_stencil_match(uint32_t adapter, DeviceType type, Format adapter_format,
                                          Format render_target_format, Format depth_stencil_format) const
{
    if (const Result result = check_adapter(Call::check_depth_stencil_match, adapter, type); failed(result))
        return result;
    const AdapterConfig& config = *detail::adapter_config(adapter);
    if (!is_display_format(config, adapter_format))
        return error::invalid_call;
    return is_target_format(config, render_target_format) && detail::depth_matches(config, render_target_format, depth_stencil_format) ? ok
                                                                                              : error::not_available;
}

Result Factory::get_device_caps(uint32_t adapter, DeviceType type, Caps* caps) const
{
    if (const Result result = check_adapter(Call::get_device_caps, adapter, type); failed(result))
        return result;
    if (caps == nullptr)
        return error::invalid_call;
    *caps = detail::adapter_config(adapter)->caps;
    caps->adapter_ordinal = adapter;
    caps->device_type = type;
    return ok;
}

} // namespace platform::gfx
