#pragma once

// Test hooks of the sound device: scripted failures of single calls, a mixer run by
// hand, and the mixed output. Any thread.

#include "platform/sound/dsound.h"

#include <cstdint>
#include <vector>

namespace platform::sound {

enum class Call {
    create_device,
    set_cooperative_level,
    create_primary_buffer,
    create_secondary_buffer,
    set_format,
    lock,
    duplicate_sound_buffer,
    query_interface,
};

// The call succeeds `after` more times, then fails `times` times (negative: for good)
// with `result`. A later plan for the same call replaces the earlier one.
struct FailurePlan {
    int after = 0;
    int times = 1;
    Result result = error::fail;
};
void script_failure(Call call, FailurePlan plan = {});
void clear_failures();

enum class OutputKind { none, sdl, null, capture };

// Manual: devices created from now on neither open SDL nor follow the clock; only
// run_mixer mixes (a capture named in the environment is still written).
void set_manual_mixing(bool manual);
// Mixes `frames` output frames on the live device; false when there is none.
bool run_mixer(uint32_t frames);
// While recording, every mixed frame is kept (interleaved left, right).
void set_recording(bool recording);
std::vector<int16_t> take_recording();
// The live device's output, none without one.
OutputKind output_kind();

// Devices, buffers, 3D buffers and listeners not yet freed.
uint32_t live_object_count();

// No failures, clock-driven mixing, not recording.
void reset_hooks();

} // namespace platform::sound
