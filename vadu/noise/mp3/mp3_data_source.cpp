#include "vadu/noise/mp3/mp3_data_source.h"

#include <algorithm>

namespace vadu::noise {

Mp3DataSource::Mp3DataSource(const filesystem::String& name) : stream_(filesystem::open(name + ".mp3"))
{
    open();
}

Mp3DataSource::Mp3DataSource(std::unique_ptr<Stream> stream) : stream_(std::move(stream))
{
    open();
}

Mp3DataSource::~Mp3DataSource() = default;

void Mp3DataSource::open()
{
    if (!stream_)
        return;
    reader_ = std::make_unique<mp3::BitReader>(stream_.get());
    if (!header_.read(*reader_))
        return;
    info_frames_ = mp3::info_frame_count(header_, *reader_);
    const bool single = header_.mode == 3;
    filters_[0] = std::make_unique<mp3::SynthesisFilter>(0, 32768.0f);
    if (!single)
        filters_[1] = std::make_unique<mp3::SynthesisFilter>(1, 32768.0f);
    rate_ = static_cast<uint32_t>(header_.sample_rate());
    channels_ = single ? 1 : 2;
    bits_ = 16;
    output_ = std::make_unique<mp3::OutputBuffer>(static_cast<int>(channels_), 16384);
    decoder_ = std::make_unique<mp3::LayerIIIDecoder>(*reader_, header_, filters_[0].get(), filters_[1].get());
    failed_ = false;
    decode(start_delay);
}

uint32_t Mp3DataSource::get_length()
{
    if (failed_)
        return 0;
    // The encoder counted the frames: exact where the size-based guess is not (a variable
    // bitrate guessed from the last frame read is far off, and a static sound made from it
    // would be cut short). A count more than the file's bytes could hold is not believed.
    const int32_t smallest_frame = static_cast<int32_t>(
        144LL * mp3::bitrate_of(header_.version, 3, 1) / header_.sample_rate() / (header_.version == 0 ? 2 : 1));
    if (info_frames_ > 0 && smallest_frame > 0 &&
        info_frames_ <= stream_->get_size() / static_cast<uint32_t>(smallest_frame)) {
        const uint64_t samples_per_frame = header_.version == 1 ? 1152 : 576;
        return static_cast<uint32_t>(std::min<uint64_t>(info_frames_ * samples_per_frame, UINT32_MAX));
    }
    const int32_t frame_bytes = header_.whole_frame_size(false);
    if (frame_bytes <= 0)
        return 0;
    static const float milliseconds[3] = {26.1224f, 24.0f, 36.0f};
    const float frames = static_cast<float>(stream_->get_size() / static_cast<uint32_t>(frame_bytes));
    const float length = frames * milliseconds[header_.rate_index % 3] / 1000.0f * static_cast<float>(rate_);
    return static_cast<uint32_t>(length);
}

uint32_t Mp3DataSource::decode(uint32_t frames)
{
    decoded_ = 0;
    if (failed_ || frames == 0)
        return 0;
    samples_.resize(static_cast<size_t>(channels_) * frames);
    const uint32_t wanted = channels_ * frames;
    output_->start(samples_.data(), wanted);
    while (!output_->full() && !ended_) {
        decoder_->decode_frame(*output_);
        if (!header_.read(*reader_))
            ended_ = true;
    }
    decoded_ = output_->written() / channels_;
    return decoded_;
}

void Mp3DataSource::get_data(uint32_t id, void* destination, uint32_t stride, uint32_t bits)
{
    if (failed_ || decoded_ == 0)
        return;
    const uint32_t channel = channels_ == 2 && layout::takes_second_channel(id) ? 1 : 0;
    convert_samples(samples_.data() + channel, 2 * channels_, 16, 2, destination, stride, bits, (bits + 7) / 8,
                    decoded_);
}

void Mp3DataSource::rewind()
{
    if (failed_)
        return;
    stream_->set_position(0);
    ended_ = false;
    // Start again at the first frame: decoding the frame last read once more first would
    // repeat 26 ms at every loop of the music. Overlap and filter state carry over.
    output_->clear();
    reader_->skip_tag();
    if (!header_.read(*reader_))
        ended_ = true;
}

} // namespace vadu::noise
