#pragma once

// MP3 sounds and music as a data source: frames read and decoded on demand.

#include <cstdint>
#include <memory>
#include <vector>

#include "vadu/noise/data_source.h"
#include "vadu/noise/mp3/frame_reader.h"
#include "vadu/noise/mp3/layer3.h"
#include "vadu/noise/mp3/synthesis.h"

namespace vadu::noise {

class Mp3DataSource : public DataSource {
public:
    // Sample frames dropped once at open: the encoder's delay (576) and the decoder's (529).
    static constexpr uint32_t start_delay = 1105;

    // Opens name + ".mp3"; failed() tells whether it is a stream this decoder plays.
    explicit Mp3DataSource(const filesystem::String& name);
    // The same over a stream already open.
    explicit Mp3DataSource(std::unique_ptr<Stream> stream);
    ~Mp3DataSource() override;
    Mp3DataSource(const Mp3DataSource&) = delete;
    Mp3DataSource& operator=(const Mp3DataSource&) = delete;

    bool failed() const { return failed_; }
    // Whether a stream was there to read.
    bool found() const { return stream_ != nullptr; }
    uint32_t channels() const { return channels_; }

    bool has_channel(uint32_t id) override { return id == layout::left || id == layout::right; }
    uint32_t get_frequency() override { return rate_; }
    uint32_t get_length() override;
    uint32_t decode(uint32_t frames) override;
    void get_data(uint32_t id, void* destination, uint32_t stride, uint32_t bits) override;
    void rewind() override;

private:
    void open();

    mp3::Header header_;
    std::unique_ptr<Stream> stream_;
    std::unique_ptr<mp3::BitReader> reader_;
    std::unique_ptr<mp3::SynthesisFilter> filters_[2];
    std::unique_ptr<mp3::OutputBuffer> output_;
    std::unique_ptr<mp3::LayerIIIDecoder> decoder_;
    bool failed_ = true;
    bool ended_ = false;
    uint32_t rate_ = 0;
    uint32_t channels_ = 0;
    uint32_t bits_ = 16;
    uint32_t decoded_ = 0;
    // Audio frames in the stream by the encoder's info frame; 0 when it gives none.
    uint32_t info_frames_ = 0;
    std::vector<int16_t> samples_;
};

} // namespace vadu::noise
