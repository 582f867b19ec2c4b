#pragma once

// Plays one music track at a time on a looping "2D" stream channel and changes tracks
// by fading the old one out; the new one starts at full level.

#include "vadu/noise/noise.h"

#include <memory>

namespace vadu::noise {

class MusicFader {
public:
    // A fade takes fade_seconds. Throws what Manager::get_hardware throws.
    explicit MusicFader(double fade_seconds);
    virtual ~MusicFader();
    MusicFader(const MusicFader&) = delete;
    MusicFader& operator=(const MusicFader&) = delete;

    // The track (a path without extension) to play; takes effect at the next update.
    void set_track(const filesystem::String& track);
    // Music volume 0..1; reaches the channel at the next update.
    void set_volume(double volume);
    void update(double seconds);

    const filesystem::String& get_current_track() const { return current_; }
    double get_level() const { return level_; }
    double get_volume() const { return volume_; }

private:
    std::unique_ptr<Channel> channel_;
    filesystem::String current_;
    filesystem::String wanted_;
    double fade_speed_;
    double volume_ = 1.0;
    double level_ = 1.0;
};

} // namespace vadu::noise
