#pragma once

// The sound layer's interfaces: channels (a playing sound), hardwares (what makes
// channels), the hardware registry, and the manager that keeps immortal channels
// playing after their owners let go. Main thread only.

#include "vadu/animate/animatable.h"
#include "vadu/atom.h"
#include "vadu/filesystem.h"
#include "vadu/hardware_manager.h"
#include "vadu/log.h"
#include "vadu/path.h"
#include "vadu/string.h"
#include "vadu/weak_ptr.h"

#include <list>

namespace vadu::noise {

// Attribute and type names of the sound layer.
namespace atoms {
extern const Atom Volume;
extern const Atom Pitch;
extern const Atom Pan;
extern const Atom Loop;
extern const Atom Position;
extern const Atom Speed;
extern const Atom MinDistance;
extern const Atom MaxDistance;
extern const Atom GlobalVolume;
extern const Atom Environment;
extern const Atom Up;
extern const Atom Front;
extern const Atom Type2D;
extern const Atom Type3D;
extern const Atom Surround;
} // namespace atoms

class DataSource;

// A playing sound. The attribute operations are the animatable ones; names a channel
// does not know answer false.
class Channel : public Trackable, public animate::Animatable {
public:
    ~Channel() override = default;
    // A stream channel takes ownership of the source and queues it; a static channel
    // ignores it (callers pass null) and restarts its sound.
    virtual void play(DataSource* source) = 0;
    virtual void stop() = 0;
    // True when nothing is playing.
    virtual bool is_finished() = 0;
};

namespace hard {

// Makes channels. Registers with HardwareManager<Hardware> while it exists.
class Hardware : public Trackable, public animate::Animatable {
public:
    Hardware();
    ~Hardware() override;
    Hardware(const Hardware&) = delete;
    Hardware& operator=(const Hardware&) = delete;

    // A channel over one whole, pre-decoded sound; the caller owns it.
    virtual Channel* create_static_channel(const Atom& type, const filesystem::String& name) = 0;
    // A channel that streams the sources given to play; the caller owns it.
    virtual Channel* create_stream_channel(const Atom& type) = 0;
    virtual String get_name() = 0;
};

} // namespace hard

using HardwareRegistry = HardwareManager<hard::Hardware>;

class Manager {
public:
    // Owns the immortal-channel list for its lifetime. The file system and the log come
    // from the most-derived object.
    class Creator : public virtual logs::Creator, public virtual filesystem::Creator {
    public:
        // Throws Gluck "immortal_channels already exists" when the list exists.
        Creator();
        // Deletes every kept channel, then the list.
        ~Creator() override;
        Creator(const Creator&) = delete;
        Creator& operator=(const Creator&) = delete;
    };

    Manager() = delete;

    // The most recently registered hardware; throws Gluck "get_hardwares().empty()".
    static hard::Hardware* get_hardware();
    // A static channel of the current hardware wrapped so that it plays on to its end
    // after the caller deletes it. Throws Gluck "get_hardwares().empty()" without a
    // hardware; failures of the hardware pass through.
    static Channel* create_immortal_static_channel(const Atom& type, const filesystem::String& name);
    // Deletes the kept channels that have finished; the time is not used.
    static void update(double seconds);
    static void remove_finished_channels();
    // Takes ownership; deletes the channel at once when the manager is gone.
    static void keep_channel(Channel* channel);
    // Kept channels; 0 without a manager.
    static size_t kept_channel_count();
};

// Wraps a hardware channel: every operation forwards to it. Deleting the wrapper lets a
// channel that still plays finish its current pass in the manager's care.
class ImmortalChannel : public Channel {
public:
    explicit ImmortalChannel(Channel* channel) : channel_(channel) {}
    ~ImmortalChannel() override;
    ImmortalChannel(const ImmortalChannel&) = delete;
    ImmortalChannel& operator=(const ImmortalChannel&) = delete;

    bool change_attribute(const Atom& name, double value) override { return channel_->change_attribute(name, value); }
    bool change_attribute(const Atom& name, const math::Vector3& value) override
    {
        return channel_->change_attribute(name, value);
    }
    bool change_attribute(const Atom& name, const animate::ThirdValueKind& value) override
    {
        return channel_->change_attribute(name, value);
    }
    bool change_attribute(const Atom& name, const filesystem::String& value) override
    {
        return channel_->change_attribute(name, value);
    }
    bool change_attribute(const Atom& name, const WString& value) override
    {
        return channel_->change_attribute(name, value);
    }
    bool get_attribute(const Atom& name, double& value) override { return channel_->get_attribute(name, value); }
    bool get_attribute(const Atom& name, math::Vector3& value) override { return channel_->get_attribute(name, value); }
    bool get_attribute(const Atom& name, animate::ThirdValueKind& value) override
    {
        return channel_->get_attribute(name, value);
    }
    bool get_attribute(const Atom& name, filesystem::String& value) override
    {
        return channel_->get_attribute(name, value);
    }
    bool get_attribute(const Atom& name, WString& value) override { return channel_->get_attribute(name, value); }
    bool play_sequence(const Atom& name) override { return channel_->play_sequence(name); }
    void play(DataSource* source) override { channel_->play(source); }
    void stop() override { channel_->stop(); }
    bool is_finished() override { return channel_->is_finished(); }

private:
    Channel* channel_;
};

} // namespace vadu::noise
