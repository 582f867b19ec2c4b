#pragma once

// The sound hardware over the platform's sound device ("DSOUND.DLL"): static channels
// share one decoded buffer per hardware, type and name and each play a duplicate;
// "3D" static channels are virtual voices of which only the nearest twelve hold a
// buffer; stream channels refill a 5-second ring from a queue of data sources.

#include "platform/modules.h"
#include "platform/sound/dsound.h"
#include "vadu/math.h"
#include "vadu/noise/null.h"
#include "vadu/window.h"

#include <deque>
#include <list>
#include <map>
#include <tuple>

namespace vadu::noise {
class DataSource;
}

namespace vadu::noise::hard::directx8 {

class ChannelStatic;
class ChannelStream;

// Volume 0..1 as hundredths of a dB: 1000 * log10(v), from -10000 to 0, truncated.
int32_t to_directsound_volume(double volume);

class Hardware final : public hard::Hardware {
public:
    // Takes ownership of the device and the primary buffer; starts the primary and asks
    // it for the listener.
    Hardware(platform::sound::Device* device, platform::sound::Buffer* primary);
    // Stops the static channels and releases their sounds, releases the stream buffers,
    // then the primary buffer and the device. The channels are detached: they may
    // outlive the hardware and then only free themselves.
    ~Hardware() override;

    bool change_attribute(const Atom& name, double value) override;
    bool change_attribute(const Atom& name, const math::Vector3& value) override;
    bool change_attribute(const Atom& name, const animate::ThirdValueKind& value) override;
    using hard::Hardware::change_attribute;

    noise::Channel* create_static_channel(const Atom& type, const filesystem::String& name) override;
    noise::Channel* create_stream_channel(const Atom& type) override;
    String get_name() override { return "directx8"; }

    void update(double seconds);

    platform::sound::Device* get_device() const { return device_; }
    const std::list<ChannelStatic*>& get_3d_channels() const { return channels_3d_; }
    double get_global_volume() const { return global_volume_; }

private:
    friend class ChannelStatic;
    friend class ChannelStream;

    std::list<ChannelStatic*> channels_3d_;
    std::list<ChannelStatic*> static_channels_;
    std::list<ChannelStream*> stream_channels_;
    int32_t voice_limit_ = 12;
    math::Vector3 front_{0.0f, 0.0f, 1.0f};
    math::Vector3 up_{0.0f, 1.0f, 0.0f};
    math::Vector3 position_;
    math::Vector3 speed_;
    double global_volume_ = 1.0;
    platform::sound::Device* device_;
    platform::sound::Buffer* primary_;
    platform::sound::Listener* listener_ = nullptr;
};

// Loads the sound device and registers the hardware. Built most-derived, it builds
// the window (512 by 384, resizable), the log, the file system, the sound manager and
// the null hardware first. A failing step is logged and leaves only the null hardware;
// only a second creator throws (Gluck "Hardware already exists").
class Creator : public virtual WindowCreator,
                public virtual logs::Creator,
                public virtual filesystem::Creator,
                public virtual Manager::Creator,
                public virtual null::Creator {
public:
    Creator();
    ~Creator() override;
    Creator(const Creator&) = delete;
    Creator& operator=(const Creator&) = delete;

    // The hardware, or null when it did not start.
    static Hardware* get();
};

// Runs the hardware's update when it exists.
void update(double seconds);

// Common part of both channel kinds: volume, pan, loop, distances and 3D placement.
class ChannelBase : public noise::Channel {
public:
    bool change_attribute(const Atom& name, double value) override;
    bool change_attribute(const Atom& name, const math::Vector3& value) override;
    bool get_attribute(const Atom& name, double& value) override;
    using noise::Channel::change_attribute;
    using noise::Channel::get_attribute;

    bool has_buffer() const { return buffer_ != nullptr; }

protected:
    bool loop_ = true;
    double volume_ = 1.0;
    double min_distance_ = 1.0;
    double max_distance_ = 1000000.0;
    double pan_ = 0.0;
    math::Vector3 position_;
    math::Vector3 speed_;
    platform::sound::Buffer* buffer_ = nullptr;
    platform::sound::Buffer3D* buffer_3d_ = nullptr;
};

// One decoded sound shared by the static channels of a hardware, type and name.
struct ChannelStaticRep {
    using Key = std::tuple<Hardware*, Atom, filesystem::String>;

    // Decodes the sound into a new buffer. Throws GluckBadResource when no source opens;
    // a buffer that cannot be made or locked is logged.
    ChannelStaticRep(const Key& key);
    ~ChannelStaticRep();
    ChannelStaticRep(const ChannelStaticRep&) = delete;
    ChannelStaticRep& operator=(const ChannelStaticRep&) = delete;

    static ChannelStaticRep* acquire(Hardware* hardware, const Atom& type, const filesystem::String& name);
    static void release(ChannelStaticRep* rep);
    // Reps alive; 0 when the map does not exist.
    static size_t live_count();

    // A duplicate of the buffer; throws Gluck "DuplicateSoundBuffer() failed".
    platform::sound::Buffer* create_diplicate();

    Key key;
    platform::sound::WaveFormatExtensible format{};
    platform::sound::Buffer* buffer = nullptr;
    uint32_t size = 0;
    DataSource* source = nullptr;
    uint32_t use_count = 0;
};

class ChannelStatic final : public ChannelBase {
public:
    ChannelStatic(Hardware* hardware, const Atom& type, const filesystem::String& name);
    ~ChannelStatic() override;

    // "Loop" also reaches a playing buffer, so that an effect let go of while it loops
    // ends with its current pass.
    bool change_attribute(const Atom& name, double value) override;
    using ChannelBase::change_attribute;

    void play(DataSource* source) override;
    void stop() override;
    bool is_finished() override;

    // Priority, buffer status and the virtual play position of a voice without buffer.
    void update(double seconds, const math::Vector3& listener);
    void acquire_buffer();
    void release_buffer();
    // The hardware is going: give the sound back and forget it.
    void detach();

    double get_priority() const { return priority_; }
    uint32_t get_play_position() const { return play_position_; }

private:
    Hardware* hardware_;
    Atom type_;
    ChannelStaticRep* rep_;
    uint32_t play_position_ = 0;
    double priority_ = 0.0;
    bool finished_ = true;
};

class ChannelStream final : public ChannelBase {
public:
    // A ring of `seconds` at 22050 Hz. A buffer that cannot be made leaves the channel
    // silent for good.
    ChannelStream(Hardware* hardware, const Atom& type, double seconds);
    ~ChannelStream() override;

    void play(DataSource* source) override;
    void stop() override;
    bool is_finished() override { return !playing_; }

    // Refills the free part of the ring.
    void update();
    void detach();

    uint32_t get_buffer_size() const { return buffer_size_; }
    uint32_t get_refill_block() const { return refill_block_; }
    uint32_t get_fill_cursor() const { return fill_cursor_; }
    uint32_t get_silence_written() const { return silence_written_; }
    size_t get_queue_size() const { return queue_.size(); }

private:
    void fill(uint32_t offset, uint32_t bytes);

    Hardware* hardware_;
    std::deque<DataSource*> queue_;
    Atom type_;
    platform::sound::WaveFormatExtensible format_{};
    uint32_t buffer_size_ = 0;
    uint32_t refill_block_ = 0;
    uint32_t fill_cursor_ = 0;
    uint32_t silence_written_ = 0;
    bool playing_ = false;
};

} // namespace vadu::noise::hard::directx8
