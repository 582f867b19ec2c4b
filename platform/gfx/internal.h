#pragma once

// Shared between the layer's source files; not for users of the layer.

#include "platform/gfx/hooks.h"

#include <algorithm>

namespace platform::gfx::detail {

// ok, or the scripted failure of this call.
Result scripted(Call call);

// Null for an adapter number out of range.
const AdapterConfig* adapter_config(uint32_t adapter);

void object_created();
void object_destroyed();
void device_created(Device* device);
void device_destroyed(Device* device);
const PresentHandler& present_handler();

template <typename T>
bool contains(const std::vector<T>& values, const T& value)
{
    return std::find(values.begin(), values.end(), value) != values.end();
}

// The checks behind the factory's queries, without scripted failures.
bool supports_device_type(const AdapterConfig& adapter, Format display, Format back_buffer, bool windowed);
bool supports_multisample(const AdapterConfig& adapter, Format format, uint32_t type);
bool depth_matches(const AdapterConfig& adapter, Format render_target, Format depth);

// Largest side of any surface, to keep a bad size from asking for gigabytes.
constexpr uint32_t max_surface_side = 16384;

} // namespace platform::gfx::detail
