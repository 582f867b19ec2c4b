#pragma once

// The silent hardware: always there, so the game has sound channels even when no
// device starts. Its channels accept everything, play nothing and are always finished.

#include "vadu/noise/noise.h"

namespace vadu::noise::hard::null {

class Hardware final : public hard::Hardware {
public:
    Channel* create_static_channel(const Atom& type, const filesystem::String& name) override;
    Channel* create_stream_channel(const Atom& type) override;
    String get_name() override { return "null"; }
};

class Channel final : public noise::Channel {
public:
    // Takes ownership of the source and deletes it.
    void play(DataSource* source) override;
    void stop() override {}
    bool is_finished() override { return true; }
};

// Makes the null hardware; throws Gluck "hardware already exists" when it exists.
class Creator : public virtual logs::Creator,
                public virtual filesystem::Creator,
                public virtual Manager::Creator {
public:
    Creator();
    ~Creator() override;
    Creator(const Creator&) = delete;
    Creator& operator=(const Creator&) = delete;

    // The null hardware, or null without a creator.
    static Hardware* get();
};

} // namespace vadu::noise::hard::null
