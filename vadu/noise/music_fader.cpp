#include "vadu/noise/music_fader.h"

#include "vadu/exception.h"
#include "vadu/log.h"
#include "vadu/noise/data_source.h"

#include <algorithm>

namespace vadu::noise {

MusicFader::MusicFader(double fade_seconds)
    : channel_(Manager::get_hardware()->create_stream_channel(atoms::Type2D)), fade_speed_(1.0 / fade_seconds)
{
    channel_->change_attribute(atoms::Loop, 1.0);
}

MusicFader::~MusicFader() = default;

void MusicFader::set_track(const filesystem::String& track)
{
    wanted_ = track;
}

void MusicFader::set_volume(double volume)
{
    volume_ = volume;
}

void MusicFader::update(double seconds)
{
    if (wanted_ == current_) {
        level_ = std::clamp(level_ + fade_speed_ * seconds, 0.0, 1.0);
        channel_->change_attribute(atoms::Volume, level_ * volume_);
        return;
    }
    level_ -= fade_speed_ * seconds;
    channel_->change_attribute(atoms::Volume, level_ * volume_);
    if (level_ < 0.0 || channel_->is_finished()) {
        channel_->stop();
        current_ = wanted_;
        if (!current_.empty()) {
            level_ = 1.0;
            channel_->change_attribute(atoms::Volume, volume_);
            // A track that no file provides leaves the channel silent, and says why once.
            String why;
            if (DataSource* source = create_data_source(current_, &why)) {
                channel_->play(source);
            } else {
                try {
                    logs::log() << "Music \"" << current_.get_text() << "\" cannot be played: " << why << "\n";
                } catch (const Gluck&) {
                    // No log: the silence is all there is.
                }
            }
        }
    }
}

} // namespace vadu::noise
