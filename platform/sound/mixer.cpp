#include "platform/clock.h"
#include "platform/sound/dsound.h"
#include "platform/sound/hooks.h"
#include "platform/window.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::sound {

const uint8_t subformat_pcm[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                   0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

namespace {

constexpr uint32_t output_rate = 22050;
constexpr uint32_t block_frames = 512;
constexpr uint32_t lock_entire_buffer = 2;
constexpr uint32_t max_buffer_bytes = 0x0FFFFFFF;
constexpr int32_t unity = 1 << 16;
// 0.707 in 16.16, for the centre and back channels of a 5.1 downmix.
constexpr int64_t downmix_side = 46341;
// The output limiter: several effects that start together (a big collect over the music)
// add up past full scale, and clipped samples are heard as distortion. Where the sum
// leaves the 16-bit range the gain falls to bring it to the ceiling, a little under full
// scale, starting up to attack_frames ahead of the peak within the mixed block, and comes
// back over a few tenths of a second (a 1/2^release_shift step per frame). A mix that
// fits passes unchanged, a single full-scale sound too.
constexpr int64_t limiter_ceiling = 32000;
constexpr int32_t attack_frames = 64;
constexpr int release_shift = 12;

std::recursive_mutex mixer_lock;
std::atomic<uint32_t> live_objects{0};

struct Hooks {
    std::array<FailurePlan, 8> plans{};
    std::array<bool, 8> planned{};
    bool manual = false;
    bool recording = false;
    std::vector<int16_t> recorded;
};
Hooks hooks;

bool should_fail(Call call, Result* result)
{
    const auto index = static_cast<size_t>(call);
    if (!hooks.planned[index])
        return false;
    FailurePlan& plan = hooks.plans[index];
    if (plan.after > 0) {
        --plan.after;
        return false;
    }
    if (plan.times == 0)
        return false;
    if (plan.times > 0)
        --plan.times;
    *result = plan.result;
    return true;
}

// 10^(hundredths of a dB / 2000) in 16.16; -10000 and below are silence.
double db_gain(int32_t hundredths)
{
    if (hundredths <= volume_min)
        return 0.0;
    return std::pow(10.0, hundredths / 2000.0);
}

int32_t to_fixed(double gain)
{
    return static_cast<int32_t>(std::lround(gain * unity));
}

int32_t saturate_add(int32_t sum, int64_t value)
{
    const int64_t total = static_cast<int64_t>(sum) + value;
    return static_cast<int32_t>(std::clamp<int64_t>(total, INT32_MIN, INT32_MAX));
}

struct Vector {
    float x = 0, y = 0, z = 0;
};

Vector cross(const Vector& a, const Vector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

struct ListenerState {
    Vector position, velocity;
    Vector front{0, 0, 1}, up{0, 1, 0};
};

struct Placement {
    Vector position, velocity;
    float min_distance = 1.0f;
    float max_distance = 1e9f;
};

class DeviceImpl;
class BufferImpl;

// A WAV file that grows as the mixer writes; sizes are rewritten every second and at
// the end, so a killed run leaves a readable file.
class Capture {
public:
    bool open(const char* path)
    {
        file_ = std::fopen(path, "wb");
        if (!file_)
            return false;
        write_header();
        return true;
    }
    ~Capture()
    {
        if (file_) {
            write_header();
            std::fclose(file_);
        }
    }
    void write(const int16_t* samples, uint32_t frames)
    {
        if (!file_)
            return;
        std::vector<uint8_t> bytes(frames * 4);
        for (uint32_t i = 0; i < frames * 2; ++i) {
            const auto value = static_cast<uint16_t>(samples[i]);
            bytes[i * 2] = static_cast<uint8_t>(value & 0xFF);
            bytes[i * 2 + 1] = static_cast<uint8_t>(value >> 8);
        }
        std::fwrite(bytes.data(), 1, bytes.size(), file_);
        frames_ += frames;
        since_header_ += frames;
        if (since_header_ >= output_rate) {
            since_header_ = 0;
            write_header();
        }
    }

private:
    void write_header()
    {
        const uint32_t data = frames_ * 4;
        uint8_t header[44];
        auto put32 = [&](int at, uint32_t v) {
            for (int i = 0; i < 4; ++i)
                header[at + i] = static_cast<uint8_t>(v >> (8 * i));
        };
        auto put16 = [&](int at, uint16_t v) {
            header[at] = static_cast<uint8_t>(v);
            header[at + 1] = static_cast<uint8_t>(v >> 8);
        };
        std::memcpy(header, "RIFF", 4);
        put32(4, 36 + data);
        std::memcpy(header + 8, "WAVEfmt ", 8);
        put32(16, 16);
        put16(20, 1);
        put16(22, 2);
        put32(24, output_rate);
        put32(28, output_rate * 4);
        put16(32, 4);
        put16(34, 16);
        std::memcpy(header + 36, "data", 4);
        put32(40, data);
        const long end = std::ftell(file_);
        std::fseek(file_, 0, SEEK_SET);
        std::fwrite(header, 1, sizeof(header), file_);
        std::fseek(file_, end < 44 ? 44 : end, SEEK_SET);
        std::fflush(file_);
    }

    std::FILE* file_ = nullptr;
    uint32_t frames_ = 0;
    uint32_t since_header_ = 0;
};

DeviceImpl* live_device = nullptr;

class DeviceImpl final : public Device {
public:
    DeviceImpl() = default;
    ~DeviceImpl() override;

    // Chooses and opens the output; false when SDL audio cannot be opened.
    bool start();

    Result set_cooperative_level(WindowHandle window, uint32_t level) override;
    Result create_sound_buffer(const BufferDesc* desc, Buffer** out, void* outer) override;
    Result duplicate_sound_buffer(Buffer* original, Buffer** out) override;

    // Mixes the frames the clock says are due (clock-driven outputs only).
    void catch_up();
    void mix(int16_t* out, uint32_t frames);
    void pause_sdl(bool paused);

    std::vector<BufferImpl*> buffers; // secondary buffers, oldest first
    BufferImpl* primary = nullptr;
    ListenerState listener, pending_listener;
    int32_t primary_volume = 0;
    bool primary_playing = false;
    OutputKind output = OutputKind::none;
    bool clock_driven = false;
    // A headless run's clock is the fixed frame step once the application turns it on;
    // until then (and after it is off again) no time passes for the mixer.
    bool follow_fixed_step = false;
    bool clock_valid = false;
    int64_t clock_start = 0;
    int64_t clock_frequency = 0;
    uint64_t frames_at_start = 0;
    uint64_t frames_mixed = 0;
    // The limiter's gain in 16.16, unity while nothing is limited.
    int32_t limiter_gain = unity;
    SDL_AudioDeviceID sdl_device = 0;
    std::unique_ptr<Capture> capture;
};

class BufferImpl final : public Buffer {
public:
    BufferImpl(DeviceImpl* device, bool is_primary) : device_(device), primary_(is_primary)
    {
        device_->add_ref();
    }
    ~BufferImpl() override;

    Result query_interface(Interface which, void** out) override;
    Result get_status(uint32_t* status) override;
    Result get_current_position(uint32_t* play, uint32_t* write) override;
    Result set_format(const WaveFormat* format) override;
    Result set_volume(int32_t volume) override;
    Result set_pan(int32_t pan) override;
    Result set_frequency(uint32_t frequency) override;
    Result set_current_position(uint32_t position) override;
    Result play(uint32_t reserved, uint32_t priority, uint32_t play_flags) override;
    Result stop() override;
    Result lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2, uint32_t* bytes2,
                uint32_t lock_flags) override;
    Result unlock(void* part1, uint32_t bytes1, void* part2, uint32_t bytes2) override;

    void mix_into(int32_t* sums, uint32_t frames);

    DeviceImpl* device_;
    bool primary_;
    WaveFormatExtensible format_{};
    uint32_t flags_ = 0;
    std::shared_ptr<std::vector<uint8_t>> samples_;
    uint32_t frequency_ = 0;
    int32_t volume_ = 0;
    int32_t pan_ = 0;
    bool playing_ = false;
    bool looping_ = false;
    uint64_t position_ = 0; // frames in 48.16 fixed point
    // Frames read since the buffer started or moved: the play cursor never trails the
    // write cursor by more, so a buffer that just started reads as not yet played.
    uint64_t frames_read_ = 0;
    // Successful locks not yet unlocked; each holds the mixer's lock.
    uint32_t locks_held_ = 0;
    Placement placement_, pending_placement_;

    uint32_t align() const { return format_.format.block_align; }
    uint32_t size() const { return samples_ ? static_cast<uint32_t>(samples_->size()) : 0; }
    uint32_t frame_count() const { return align() ? size() / align() : 0; }
};

class Buffer3DImpl final : public Buffer3D {
public:
    explicit Buffer3DImpl(BufferImpl* buffer) : buffer_(buffer) { buffer_->add_ref(); }
    ~Buffer3DImpl() override { buffer_->release(); }

    Result set_position(float x, float y, float z, uint32_t apply) override
    {
        return set(apply, [&](Placement& p) { p.position = {x, y, z}; });
    }
    Result set_velocity(float x, float y, float z, uint32_t apply) override
    {
        return set(apply, [&](Placement& p) { p.velocity = {x, y, z}; });
    }
    Result set_min_distance(float distance, uint32_t apply) override
    {
        if (!(distance > 0.0f))
            return error::invalid_param;
        return set(apply, [&](Placement& p) { p.min_distance = distance; });
    }
    Result set_max_distance(float distance, uint32_t apply) override
    {
        if (!(distance > 0.0f))
            return error::invalid_param;
        return set(apply, [&](Placement& p) { p.max_distance = distance; });
    }

private:
    template <class Change>
    Result set(uint32_t apply, Change change)
    {
        std::lock_guard guard(mixer_lock);
        buffer_->device_->catch_up();
        change(buffer_->pending_placement_);
        if (apply == apply_immediate)
            change(buffer_->placement_);
        return ok;
    }

    BufferImpl* buffer_;
};

class ListenerImpl final : public Listener {
public:
    explicit ListenerImpl(BufferImpl* primary) : primary_(primary) { primary_->add_ref(); }
    ~ListenerImpl() override { primary_->release(); }

    Result set_position(float x, float y, float z, uint32_t apply) override
    {
        return set(apply, [&](ListenerState& l) { l.position = {x, y, z}; });
    }
    Result set_velocity(float x, float y, float z, uint32_t apply) override
    {
        return set(apply, [&](ListenerState& l) { l.velocity = {x, y, z}; });
    }
    Result set_orientation(float fx, float fy, float fz, float ux, float uy, float uz, uint32_t apply) override
    {
        return set(apply, [&](ListenerState& l) {
            l.front = {fx, fy, fz};
            l.up = {ux, uy, uz};
        });
    }
    Result commit_deferred_settings() override
    {
        std::lock_guard guard(mixer_lock);
        DeviceImpl* device = primary_->device_;
        device->catch_up();
        device->listener = device->pending_listener;
        for (BufferImpl* buffer : device->buffers)
            buffer->placement_ = buffer->pending_placement_;
        return ok;
    }

private:
    template <class Change>
    Result set(uint32_t apply, Change change)
    {
        std::lock_guard guard(mixer_lock);
        DeviceImpl* device = primary_->device_;
        device->catch_up();
        change(device->pending_listener);
        if (apply == apply_immediate)
            change(device->listener);
        return ok;
    }

    BufferImpl* primary_;
};

// ---- device ----

void sdl_callback(void* /*user*/, Uint8* stream, int length)
{
    std::lock_guard guard(mixer_lock);
    auto* out = reinterpret_cast<int16_t*>(stream);
    const auto frames = static_cast<uint32_t>(length / 4);
    if (live_device && live_device->output == OutputKind::sdl)
        live_device->mix(out, frames);
    else
        std::memset(stream, 0, static_cast<size_t>(length));
}

bool DeviceImpl::start()
{
    const char* capture_path = std::getenv("QUILLO_AUDIO_CAPTURE");
    if (capture_path && *capture_path) {
        capture = std::make_unique<Capture>();
        if (capture->open(capture_path)) {
            output = OutputKind::capture;
        } else {
            std::fprintf(stderr, "sound: cannot write the audio capture %s; playing silently\n", capture_path);
            capture.reset();
            output = OutputKind::null;
        }
    } else if (hooks.manual || is_headless()) {
        output = hooks.manual ? OutputKind::none : OutputKind::null;
    } else {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            static std::once_flag reported;
            std::call_once(reported, [] { std::fprintf(stderr, "sound: no audio: %s\n", SDL_GetError()); });
            return false;
        }
        SDL_AudioSpec wanted{};
        wanted.freq = static_cast<int>(output_rate);
        wanted.format = AUDIO_S16SYS;
        wanted.channels = 2;
        wanted.samples = block_frames;
        wanted.callback = sdl_callback;
        SDL_AudioSpec obtained{};
        sdl_device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
        if (sdl_device == 0) {
            static std::once_flag reported;
            std::call_once(reported, [] { std::fprintf(stderr, "sound: no audio device: %s\n", SDL_GetError()); });
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
        output = OutputKind::sdl;
    }
    clock_driven = !hooks.manual && (output == OutputKind::null || output == OutputKind::capture);
    follow_fixed_step = clock_driven && fixed_step_wanted(is_headless());
    return true;
}

DeviceImpl::~DeviceImpl()
{
    // Closing waits for a running callback, which takes the mixer's lock: never hold it here.
    if (sdl_device) {
        SDL_CloseAudioDevice(sdl_device);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    std::lock_guard guard(mixer_lock);
    if (live_device == this)
        live_device = nullptr;
}

void DeviceImpl::pause_sdl(bool paused)
{
    if (sdl_device)
        SDL_PauseAudioDevice(sdl_device, paused ? 1 : 0);
}

void DeviceImpl::catch_up()
{
    if (output == OutputKind::sdl && sdl_device && SDL_GetAudioDeviceStatus(sdl_device) == SDL_AUDIO_STOPPED &&
        primary_playing) {
        // The device went away: keep the buffers moving by the clock.
        std::fprintf(stderr, "sound: the audio device was removed; playing silently\n");
        output = OutputKind::null;
        clock_driven = true;
        clock_valid = false;
    }
    if (!clock_driven)
        return;
    if (follow_fixed_step && !is_fixed_step()) {
        clock_valid = false;
        return;
    }
    int64_t now = 0;
    int64_t frequency = 0;
    if (!query_performance_frequency(&frequency) || frequency <= 0 || !query_performance_counter(&now))
        return;
    // A new clock (another source, another rate, a jump back) counts from here on.
    if (!clock_valid || frequency != clock_frequency || now < clock_start) {
        clock_valid = true;
        clock_start = now;
        clock_frequency = frequency;
        frames_at_start = frames_mixed;
        return;
    }
    const auto due = frames_at_start +
                     static_cast<uint64_t>(static_cast<__int128>(now - clock_start) * output_rate / clock_frequency);
    std::vector<int16_t> block(block_frames * 2);
    while (frames_mixed < due)
        mix(block.data(), block_frames);
}

void DeviceImpl::mix(int16_t* out, uint32_t frames)
{
    std::vector<int32_t> sums(static_cast<size_t>(frames) * 2, 0);
    const std::vector<BufferImpl*> playing = buffers;
    for (BufferImpl* buffer : playing) {
        if (buffer->playing_)
            buffer->mix_into(sums.data(), frames);
    }
    const int32_t gain = to_fixed(db_gain(primary_volume));
    std::vector<int64_t> values(sums.size());
    for (size_t i = 0; i < sums.size(); ++i)
        values[i] = (static_cast<int64_t>(sums[i]) * gain) >> 16;
    // The gain each frame may have at most, eased backwards so that it falls ahead of a peak.
    std::vector<int32_t> allowed(frames, unity);
    for (uint32_t i = 0; i < frames; ++i) {
        const int64_t left = values[i * 2], right = values[i * 2 + 1];
        if (std::max(left, right) > INT16_MAX || std::min(left, right) < INT16_MIN)
            allowed[i] = static_cast<int32_t>((limiter_ceiling << 16) / std::max(std::abs(left), std::abs(right)));
    }
    for (uint32_t i = frames; i-- > 1;)
        allowed[i - 1] = std::min(allowed[i - 1], allowed[i] + unity / attack_frames);
    for (uint32_t i = 0; i < frames; ++i) {
        if (limiter_gain < unity)
            limiter_gain += std::max(1, (unity - limiter_gain) >> release_shift);
        limiter_gain = std::min(limiter_gain, allowed[i]);
        for (uint32_t c = 0; c < 2; ++c) {
            const int64_t value = (values[i * 2 + c] * limiter_gain) >> 16;
            out[i * 2 + c] = static_cast<int16_t>(std::clamp<int64_t>(value, INT16_MIN, INT16_MAX));
        }
    }
    frames_mixed += frames;
    if (capture)
        capture->write(out, frames);
    if (hooks.recording)
        hooks.recorded.insert(hooks.recorded.end(), out, out + sums.size());
}

bool valid_secondary_format(const WaveFormat* format)
{
    if (!format || format->bits_per_sample != 16)
        return false;
    if (format->format_tag == format_extensible) {
        const auto* extensible = reinterpret_cast<const WaveFormatExtensible*>(format);
        if (format->cb_size < 22 || std::memcmp(extensible->sub_format, subformat_pcm, 16) != 0)
            return false;
    } else if (format->format_tag != format_pcm) {
        return false;
    }
    const uint16_t channels = format->channels;
    if (channels != 1 && channels != 2 && channels != 6)
        return false;
    return format->block_align == channels * 2 && format->samples_per_sec >= frequency_min &&
           format->samples_per_sec <= frequency_max;
}

Result DeviceImpl::set_cooperative_level(WindowHandle window, uint32_t level)
{
    std::lock_guard guard(mixer_lock);
    catch_up();
    Result result = ok;
    if (should_fail(Call::set_cooperative_level, &result))
        return result;
    if (!window || level < 1 || level > 3)
        return error::invalid_param;
    return ok;
}

Result DeviceImpl::create_sound_buffer(const BufferDesc* desc, Buffer** out, void* outer)
{
    std::lock_guard guard(mixer_lock);
    catch_up();
    if (!out)
        return error::invalid_param;
    *out = nullptr;
    if (!desc || desc->size != buffer_desc_size || outer)
        return error::invalid_param;
    Result result = ok;
    if (desc->flags & flags::primary_buffer) {
        if (should_fail(Call::create_primary_buffer, &result))
            return result;
        if (desc->buffer_bytes != 0 || desc->format)
            return error::invalid_param;
        if (primary) {
            primary->add_ref();
            *out = primary;
            return ok;
        }
        auto* buffer = new BufferImpl(this, true);
        buffer->flags_ = desc->flags;
        buffer->format_.format = {format_pcm, 2, output_rate, output_rate * 4, 4, 16, 0};
        primary = buffer;
        *out = buffer;
        return ok;
    }
    if (should_fail(Call::create_secondary_buffer, &result))
        return result;
    if (!valid_secondary_format(desc->format) || desc->buffer_bytes < 4 || desc->buffer_bytes > max_buffer_bytes)
        return error::invalid_param;
    if ((desc->flags & flags::control_3d) && (desc->format->channels != 1 || (desc->flags & flags::control_pan)))
        return error::invalid_param;
    auto* buffer = new BufferImpl(this, false);
    buffer->flags_ = desc->flags;
    std::memcpy(&buffer->format_.format, desc->format, sizeof(WaveFormat));
    if (desc->format->format_tag == format_extensible)
        std::memcpy(static_cast<void*>(&buffer->format_), static_cast<const void*>(desc->format), sizeof(WaveFormatExtensible));
    buffer->frequency_ = desc->format->samples_per_sec;
    buffer->samples_ = std::make_shared<std::vector<uint8_t>>(desc->buffer_bytes, 0);
    buffers.push_back(buffer);
    *out = buffer;
    return ok;
}

Result DeviceImpl::duplicate_sound_buffer(Buffer* original, Buffer** out)
{
    std::lock_guard guard(mixer_lock);
    catch_up();
    if (!out)
        return error::invalid_param;
    *out = nullptr;
    auto* source = static_cast<BufferImpl*>(original);
    if (!source || source->primary_ || source->device_ != this)
        return error::invalid_param;
    Result result = ok;
    if (should_fail(Call::duplicate_sound_buffer, &result))
        return result;
    auto* buffer = new BufferImpl(this, false);
    buffer->flags_ = source->flags_;
    buffer->format_ = source->format_;
    buffer->samples_ = source->samples_;
    buffer->frequency_ = source->format_.format.samples_per_sec;
    buffers.push_back(buffer);
    *out = buffer;
    return ok;
}

// ---- buffers ----

BufferImpl::~BufferImpl()
{
    {
        std::lock_guard guard(mixer_lock);
        if (primary_) {
            if (device_->primary == this)
                device_->primary = nullptr;
        } else {
            std::erase(device_->buffers, this);
        }
    }
    device_->release();
}

Result BufferImpl::query_interface(Interface which, void** out)
{
    std::lock_guard guard(mixer_lock);
    device_->catch_up();
    if (!out)
        return error::invalid_param;
    *out = nullptr;
    Result result = ok;
    if (should_fail(Call::query_interface, &result))
        return result;
    if (which == Interface::listener && primary_ && (flags_ & flags::control_3d)) {
        *out = static_cast<Listener*>(new ListenerImpl(this));
        return ok;
    }
    if (which == Interface::buffer_3d && !primary_ && (flags_ & flags::control_3d)) {
        *out = static_cast<Buffer3D*>(new Buffer3DImpl(this));
        return ok;
    }
    return error::no_interface;
}

Result BufferImpl::get_status(uint32_t* status)
{
    std::lock_guard guard(mixer_lock);
    device_->catch_up();
    if (!status)
        return error::invalid_param;
    const bool playing = primary_ ? device_->primary_playing : playing_;
    *status = playing ? (status_playing | (looping_ ? status_looping : 0)) : 0;
    return ok;
}

Result BufferImpl::get_current_position(uint32_t* play, uint32_t* write)
{
    std::lock_guard guard(mixer_lock);
    device_->catch_up();
    uint32_t write_cursor = 0;
    uint32_t play_cursor = 0;
    if (!primary_ && size() > 0) {
        write_cursor = static_cast<uint32_t>(position_ >> 16) * align();
        play_cursor = write_cursor;
        if (playing_) {
            const uint64_t lead_frames =
                std::min<uint64_t>(static_cast<uint64_t>(block_frames) * frequency_ / output_rate, frames_read_);
            const uint64_t lead = (lead_frames * align()) % size();
            play_cursor = static_cast<uint32_t>((write_cursor + size() - lead) % size());
        }
    }
    if (play)
        *play = play_cursor;
    if (write)
        *write = write_cursor;
    return ok;
}

Result BufferImpl::set_format(const WaveFormat* format)
{
    std::lock_guard guard(mixer_lock);
    device_->catch_up();
    if (!primary_)
        return error::invalid_call;
    Result result = ok;
    if (should_fail(Call::set_format, &result))
        return result;
    if (!format || format->format_tag != format_pcm || (format->channels != 1 && format->channels != 2) ||
        (format->bits_per_sample != 8 && format->bits_per_sample != 16) ||
        format->block_align != format->channels * format->bits_per_sample / 8 ||
        format->samples_per_sec < frequency_min || format->samples_per_sec > frequency_max)
        return error::bad_format;
    // The mixer's own output format stays; the request only has to be a sane one.
    return ok;
}

Result BufferImpl::set_volume(int32_t volume)
{
    std::lock_guard guard(mixer_lock);
    device_->catch_up();
    if (volume < volume_min || volume > 0)
        return error::invalid_param;
    if (primary_) {
        device_->primary_volume = volume;
        return ok;
    }
    if (!(flags_ & flags::control_volume))
        return error::control_unavailable;
    volume_ = volume;
    return ok;
}

Result BufferImpl::set_pan(int32_t pan)
{
    std::lock_guard guard(mixer_lock);
    device_->catch_up();
    if (pan < pan_left || pan > pan_right)
        return error::invalid_param;
    if (primary_ || !(flags_ & flags::control_pan))
        return error::control_unavailable;
    pan_ = pan;
    return ok;
}

Result BufferImpl::set_frequency(uint32_t frequency)
{
    std::lock_guard guard(mixer_lock);
    device_->catch_up();
    if (primary_ || !(flags_ & flags::control_frequency))
        return error::control_unavailable;
    if (frequency == 0)
        frequency = format_.format.samples_per_sec;
    if (frequency < frequency_min || frequency > frequency_max)
        return error::invalid_param;
    frequency_ = frequency;
    return ok;
}

Result BufferImpl::set_current_position(uint32_t position)
{
    std::lock_guard guard(mixer_lock);
    device_->catch_up();
    if (primary_)
        return error::invalid_call;
    if (position >= size())
        return error::invalid_param;
    position_ = static_cast<uint64_t>(position / align()) << 16;
    frames_read_ = 0;
    return ok;
}

Result BufferImpl::play(uint32_t reserved, uint32_t /*priority*/, uint32_t play_flags)
{
    bool resume_sdl = false;
    {
        std::lock_guard guard(mixer_lock);
        device_->catch_up();
        if (reserved != 0)
            return error::invalid_param;
        if (primary_) {
            if (!(play_flags & play_looping))
                return error::invalid_param;
            device_->primary_playing = true;
            resume_sdl = true;
        } else {
            if (!playing_)
                frames_read_ = 0;
            playing_ = true;
            looping_ = (play_flags & play_looping) != 0;
        }
    }
    // Outside the lock: SDL waits for a running callback, which takes it.
    if (resume_sdl)
        device_->pause_sdl(false);
    return ok;
}

Result BufferImpl::stop()
{
    bool pause = false;
    {
        std::lock_guard guard(mixer_lock);
        device_->catch_up();
        if (primary_) {
            device_->primary_playing = false;
            pause = true;
        } else {
            playing_ = false;
        }
    }
    if (pause)
        device_->pause_sdl(true);
    return ok;
}

Result BufferImpl::lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2,
                        uint32_t* bytes2, uint32_t lock_flags)
{
    std::lock_guard guard(mixer_lock);
    device_->catch_up();
    if (!part1 || !bytes1 || primary_)
        return error::invalid_param;
    *part1 = nullptr;
    *bytes1 = 0;
    if (part2)
        *part2 = nullptr;
    if (bytes2)
        *bytes2 = 0;
    Result result = ok;
    if (should_fail(Call::lock, &result))
        return result;
    if (lock_flags & lock_entire_buffer) {
        offset = 0;
        bytes = size();
    }
    if (offset >= size() || bytes == 0 || bytes > size())
        return error::invalid_param;
    const uint32_t first = std::min(bytes, size() - offset);
    // The mixer stays out until unlock: the caller writes while holding its lock.
    mixer_lock.lock();
    ++locks_held_;
    *part1 = samples_->data() + offset;
    *bytes1 = first;
    if (first < bytes && part2 && bytes2) {
        *part2 = samples_->data();
        *bytes2 = bytes - first;
    }
    return ok;
}

Result BufferImpl::unlock(void* /*part1*/, uint32_t /*bytes1*/, void* /*part2*/, uint32_t /*bytes2*/)
{
    std::lock_guard guard(mixer_lock);
    if (primary_ || locks_held_ == 0)
        return error::invalid_call;
    --locks_held_;
    mixer_lock.unlock();
    return ok;
}

void BufferImpl::mix_into(int32_t* sums, uint32_t frames)
{
    const uint32_t total = frame_count();
    if (total == 0) {
        playing_ = false;
        return;
    }
    const uint32_t channels = format_.format.channels;
    double left_gain = db_gain(volume_);
    double right_gain = left_gain;
    if ((flags_ & flags::control_3d) && channels == 1) {
        // Rolloff 1 between the distances; pan from the side the source lies on.
        const ListenerState& listener = device_->listener;
        const Vector d{placement_.position.x - listener.position.x, placement_.position.y - listener.position.y,
                       placement_.position.z - listener.position.z};
        const double distance = std::sqrt(double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z);
        const double min_distance = placement_.min_distance;
        const double max_distance = std::max<double>(placement_.max_distance, min_distance);
        const double gain = min_distance / std::clamp(distance, min_distance, max_distance);
        const Vector right = cross(listener.up, listener.front);
        const double right_length = std::sqrt(double(right.x) * right.x + double(right.y) * right.y +
                                              double(right.z) * right.z);
        double side = 0.0;
        if (distance > 0.0 && right_length > 0.0)
            side = std::clamp((d.x * right.x + d.y * right.y + d.z * right.z) / (distance * right_length), -1.0, 1.0);
        left_gain *= gain * std::min(1.0, 1.0 - side);
        right_gain *= gain * std::min(1.0, 1.0 + side);
    } else if (pan_ > 0) {
        left_gain *= db_gain(-pan_);
    } else if (pan_ < 0) {
        right_gain *= db_gain(pan_);
    }
    const int64_t left = to_fixed(left_gain);
    const int64_t right = to_fixed(right_gain);
    const uint64_t step = (static_cast<uint64_t>(frequency_) << 16) / output_rate;
    const auto* data = reinterpret_cast<const uint8_t*>(samples_->data());
    const uint32_t stride = align();
    auto sample = [&](uint32_t frame, uint32_t channel) -> int32_t {
        const uint8_t* at = data + static_cast<size_t>(frame) * stride + channel * 2;
        return static_cast<int16_t>(static_cast<uint16_t>(at[0] | (at[1] << 8)));
    };
    auto value = [&](uint32_t frame, uint32_t next, int64_t fraction, uint32_t channel) -> int64_t {
        const int64_t a = sample(frame, channel);
        const int64_t b = sample(next, channel);
        return a + (((b - a) * fraction) >> 16);
    };
    for (uint32_t i = 0; i < frames; ++i) {
        const auto frame = static_cast<uint32_t>(position_ >> 16);
        const int64_t fraction = static_cast<int64_t>(position_ & 0xFFFF);
        uint32_t next = frame + 1;
        if (next >= total)
            next = looping_ ? 0 : frame;
        int64_t l = 0;
        int64_t r = 0;
        if (channels == 1) {
            l = r = value(frame, next, fraction, 0);
        } else if (channels == 2) {
            l = value(frame, next, fraction, 0);
            r = value(frame, next, fraction, 1);
        } else {
            const int64_t centre = (value(frame, next, fraction, 2) * downmix_side) >> 16;
            l = value(frame, next, fraction, 0) + centre + ((value(frame, next, fraction, 4) * downmix_side) >> 16);
            r = value(frame, next, fraction, 1) + centre + ((value(frame, next, fraction, 5) * downmix_side) >> 16);
        }
        sums[i * 2] = saturate_add(sums[i * 2], (l * left) >> 16);
        sums[i * 2 + 1] = saturate_add(sums[i * 2 + 1], (r * right) >> 16);
        const uint64_t before = position_ >> 16;
        position_ += step;
        frames_read_ += (position_ >> 16) - before;
        if ((position_ >> 16) >= total) {
            if (looping_) {
                position_ -= static_cast<uint64_t>(total) << 16;
            } else {
                playing_ = false;
                position_ = 0;
                return;
            }
        }
    }
}

} // namespace

// ---- objects ----

Object::Object()
{
    ++live_objects;
}

Object::~Object()
{
    --live_objects;
}

uint32_t Object::add_ref()
{
    std::lock_guard guard(mixer_lock);
    return ++references_;
}

uint32_t Object::release()
{
    {
        std::lock_guard guard(mixer_lock);
        if (references_ == 0)
            return 0;
        if (--references_ > 0)
            return references_;
    }
    delete this;
    return 0;
}

Result direct_sound_create8(const void* guid, Device** out, void* outer)
{
    if (!out)
        return error::invalid_param;
    *out = nullptr;
    if (guid || outer)
        return error::invalid_param;
    {
        std::lock_guard guard(mixer_lock);
        Result result = ok;
        if (should_fail(Call::create_device, &result))
            return result;
    }
    auto* device = new DeviceImpl;
    // SDL's open may wait for its own threads: not under the mixer's lock.
    if (!device->start()) {
        device->release();
        return error::no_driver;
    }
    std::lock_guard guard(mixer_lock);
    live_device = device;
    *out = device;
    return ok;
}

// ---- hooks ----

void script_failure(Call call, FailurePlan plan)
{
    std::lock_guard guard(mixer_lock);
    hooks.plans[static_cast<size_t>(call)] = plan;
    hooks.planned[static_cast<size_t>(call)] = true;
}

void clear_failures()
{
    std::lock_guard guard(mixer_lock);
    hooks.planned.fill(false);
}

void set_manual_mixing(bool manual)
{
    std::lock_guard guard(mixer_lock);
    hooks.manual = manual;
}

bool run_mixer(uint32_t frames)
{
    std::lock_guard guard(mixer_lock);
    if (!live_device)
        return false;
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    live_device->mix(out.data(), frames);
    return true;
}

void set_recording(bool recording)
{
    std::lock_guard guard(mixer_lock);
    hooks.recording = recording;
}

std::vector<int16_t> take_recording()
{
    std::lock_guard guard(mixer_lock);
    std::vector<int16_t> result;
    result.swap(hooks.recorded);
    return result;
}

OutputKind output_kind()
{
    std::lock_guard guard(mixer_lock);
    return live_device ? live_device->output : OutputKind::none;
}

uint32_t live_object_count()
{
    return live_objects.load();
}

void reset_hooks()
{
    std::lock_guard guard(mixer_lock);
    hooks.planned.fill(false);
    hooks.manual = false;
    hooks.recording = false;
    hooks.recorded.clear();
}

} // namespace platform::sound
