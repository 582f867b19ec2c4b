#pragma once

// A sound device shaped after what the engine's sound layer was written against: a
// device that makes a primary buffer (the output format) and secondary buffers (the
// sounds), duplicates that share samples, a 3D interface per buffer and a listener on
// the primary buffer. Everything is mixed in software into 22050 Hz stereo 16-bit:
//
//   - in a windowed run through SDL audio (its callback mixes);
//   - in a headless run into nothing, driven by the platform clock;
//   - into a WAV file when QUILLO_AUDIO_CAPTURE names one (read at device creation),
//     driven by the platform clock, in any run.
//
// A headless run that wants the fixed frame step (platform/clock.h) mixes by it alone:
// no time passes for the mixer while it is off, so the capture follows game time.
//
// Reached through the module table as "DSOUND.DLL" / "DirectSoundCreate8". Every call
// takes the mixer's lock, so any thread may call; a clock-driven output first mixes
// the frames that are due. Objects carry one reference for their creator; release()
// drops it and frees the object at zero.

#include "platform/window.h"

#include <cstdint>

namespace platform::sound {

using Result = int32_t;
constexpr Result ok = 0;
constexpr bool succeeded(Result result) { return result >= 0; }
constexpr bool failed(Result result) { return result < 0; }

namespace error {
constexpr Result fail = static_cast<Result>(0x80004005u);
constexpr Result no_interface = static_cast<Result>(0x80004002u);
constexpr Result out_of_memory = static_cast<Result>(0x8007000Eu);
constexpr Result invalid_param = static_cast<Result>(0x80070057u);
constexpr Result bad_format = static_cast<Result>(0x88780064u);
constexpr Result invalid_call = static_cast<Result>(0x88780032u);
constexpr Result no_driver = static_cast<Result>(0x88780078u);
constexpr Result control_unavailable = static_cast<Result>(0x8878001Eu);
} // namespace error

constexpr uint16_t format_pcm = 1;
constexpr uint16_t format_extensible = 0xFFFE;

// The 18-byte wave format record (cb_size extra bytes follow it).
#pragma pack(push, 1)
struct WaveFormat {
    uint16_t format_tag = 0;
    uint16_t channels = 0;
    uint32_t samples_per_sec = 0;
    uint32_t avg_bytes_per_sec = 0;
    uint16_t block_align = 0;
    uint16_t bits_per_sample = 0;
    uint16_t cb_size = 0;
};

// The 40-byte extensible record (cb_size 22).
struct WaveFormatExtensible {
    WaveFormat format;
    uint16_t valid_bits_per_sample = 0;
    uint32_t channel_mask = 0;
    uint8_t sub_format[16] = {};
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == 18);
static_assert(sizeof(WaveFormatExtensible) == 40);

// The PCM sub-format of an extensible record.
extern const uint8_t subformat_pcm[16];

namespace flags {
constexpr uint32_t primary_buffer = 0x1;
constexpr uint32_t static_buffer = 0x2;
constexpr uint32_t control_3d = 0x10;
constexpr uint32_t control_frequency = 0x20;
constexpr uint32_t control_pan = 0x40;
constexpr uint32_t control_volume = 0x80;
constexpr uint32_t global_focus = 0x8000;
constexpr uint32_t get_current_position2 = 0x10000;
constexpr uint32_t loc_defer = 0x40000;
} // namespace flags

// The size the descriptor's `size` field must hold (the original record's size).
constexpr uint32_t buffer_desc_size = 36;

struct BufferDesc {
    uint32_t size = buffer_desc_size;
    uint32_t flags = 0;
    uint32_t buffer_bytes = 0;
    uint32_t reserved = 0;
    const WaveFormat* format = nullptr; // an extensible record starts with a WaveFormat
    uint8_t algorithm_3d[16] = {};
};

constexpr uint32_t play_looping = 1;
constexpr uint32_t status_playing = 1;
constexpr uint32_t status_looping = 4;
constexpr uint32_t apply_immediate = 0;
constexpr uint32_t apply_deferred = 1;
constexpr uint32_t cooperative_priority = 2;
constexpr uint32_t frequency_min = 100;
constexpr uint32_t frequency_max = 200000;
constexpr int32_t volume_min = -10000;
constexpr int32_t pan_left = -10000;
constexpr int32_t pan_right = 10000;

enum class Interface { buffer_3d, listener };

class Object {
public:
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    uint32_t add_ref();
    uint32_t release();

protected:
    Object();
    virtual ~Object();

private:
    uint32_t references_ = 1;
};

class Buffer : public Object {
public:
    // buffer_3d on a secondary buffer made with the 3D flag; listener on a primary.
    virtual Result query_interface(Interface which, void** out) = 0;
    virtual Result get_status(uint32_t* status) = 0;
    virtual Result get_current_position(uint32_t* play, uint32_t* write) = 0;
    virtual Result set_format(const WaveFormat* format) = 0;
    virtual Result set_volume(int32_t volume) = 0;
    virtual Result set_pan(int32_t pan) = 0;
    virtual Result set_frequency(uint32_t frequency) = 0;
    virtual Result set_current_position(uint32_t position) = 0;
    virtual Result play(uint32_t reserved, uint32_t priority, uint32_t play_flags) = 0;
    virtual Result stop() = 0;
    // A region past the end goes on at the start in the second part. From a successful
    // lock to its unlock the calling thread holds the mixer's lock, so nothing mixes
    // half-written samples; unlock on the same thread, and soon.
    virtual Result lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2,
                        uint32_t* bytes2, uint32_t lock_flags) = 0;
    virtual Result unlock(void* part1, uint32_t bytes1, void* part2, uint32_t bytes2) = 0;
};

class Buffer3D : public Object {
public:
    virtual Result set_position(float x, float y, float z, uint32_t apply) = 0;
    virtual Result set_velocity(float x, float y, float z, uint32_t apply) = 0;
    virtual Result set_min_distance(float distance, uint32_t apply) = 0;
    virtual Result set_max_distance(float distance, uint32_t apply) = 0;
};

class Listener : public Object {
public:
    virtual Result set_position(float x, float y, float z, uint32_t apply) = 0;
    virtual Result set_velocity(float x, float y, float z, uint32_t apply) = 0;
    virtual Result set_orientation(float front_x, float front_y, float front_z, float up_x, float up_y,
                                   float up_z, uint32_t apply) = 0;
    virtual Result commit_deferred_settings() = 0;
};

class Device : public Object {
public:
    // A null window is refused.
    virtual Result set_cooperative_level(WindowHandle window, uint32_t level) = 0;
    // The primary buffer (flags primary, no size, no format) or a secondary buffer of
    // 16-bit PCM with 1, 2 or 6 channels.
    virtual Result create_sound_buffer(const BufferDesc* desc, Buffer** out, void* outer) = 0;
    // Shares the samples; own cursor, volume, pan, frequency and status.
    virtual Result duplicate_sound_buffer(Buffer* original, Buffer** out) = 0;
};

// The entry point: default device only (guid null), no aggregation.
Result direct_sound_create8(const void* guid, Device** out, void* outer);
using CreateProc = Result (*)(const void* guid, Device** out, void* outer);

} // namespace platform::sound
