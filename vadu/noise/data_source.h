#pragma once

// Decoders that deliver a sound as frames of samples, the shared cache of decoded WAV
// files, and the sample-width converters the channels copy through.

#include "vadu/filesystem.h"
#include "vadu/path.h"
#include "vadu/string.h"

#include <cstdint>
#include <memory>

namespace vadu::noise {

// Output channel-layout ids for has_channel and get_data.
namespace layout {
constexpr uint32_t mono = 0;
constexpr uint32_t left = 1;
constexpr uint32_t right = 2;
constexpr uint32_t front_left = 3;
constexpr uint32_t front_right = 4;
constexpr uint32_t back_left = 5;
constexpr uint32_t back_right = 6;
constexpr uint32_t low_frequency = 7;
constexpr uint32_t centre = 8;
// Ids 2, 4 and 6 take the second channel of a two-channel source; all others the first.
constexpr bool takes_second_channel(uint32_t id) { return id == right || id == front_right || id == back_right; }
} // namespace layout

class DataSource {
public:
    virtual ~DataSource() = default;
    virtual bool has_channel(uint32_t id) = 0;
    virtual uint32_t get_frequency() = 0;
    // Frames; 0 when not known.
    virtual uint32_t get_length() = 0;
    // Decodes up to n frames into the source's window; 0 at the end.
    virtual uint32_t decode(uint32_t frames) = 0;
    // Copies one channel of the window, one sample per frame.
    virtual void get_data(uint32_t id, void* destination, uint32_t stride, uint32_t bits) = 0;
    virtual void rewind() = 0;
};

// Opens a sound named without extension: a ".wav" file, then ".mp3", then ".xm"; the
// first that opens wins. Owned by the caller; null when none opens.
DataSource* create_data_source(const filesystem::String& name);
// The same; when none opens, `why` (when given) says why: each file of the name that is
// there and why it was refused, or that there is none.
DataSource* create_data_source(const filesystem::String& name, String* why);

// The decoded contents of one WAV file, shared through a cache keyed by path.
class WavData {
public:
    // The cached entry of name + ".wav", read on first use; one more use.
    static WavData* acquire(const filesystem::String& name);
    // One use less; the last deletes the entry (and the cache when it is empty).
    static void release(WavData* data);
    // Entries in the cache; 0 when it does not exist.
    static size_t cached_count();
    // Reads a WAV file's bytes outside the cache; `loaded` tells whether it was whole.
    static std::unique_ptr<WavData> read_stream(Stream& stream);

    uint32_t bytes_per_sample = 0;
    uint32_t bits_per_sample = 0;
    uint32_t block_align = 0;
    uint32_t channels = 0;
    uint32_t rate = 0;
    BasicString<char> samples;
    bool loaded = false;
    // Why a file that is there was not loaded ("the samples are floating point", ...);
    // empty when it loaded or is not there.
    String problem;
    uint32_t use_count = 0;

private:
    WavData();
    explicit WavData(const filesystem::String& path);
    void read(Stream& stream);
    filesystem::String path_;
};

class WavDataSource : public DataSource {
public:
    explicit WavDataSource(const filesystem::String& name);
    ~WavDataSource() override;
    WavDataSource(const WavDataSource&) = delete;
    WavDataSource& operator=(const WavDataSource&) = delete;

    bool is_loaded() const { return data_->loaded; }
    const String& problem() const { return data_->problem; }

    bool has_channel(uint32_t id) override;
    uint32_t get_frequency() override { return data_->rate; }
    uint32_t get_length() override { return data_->block_align ? data_->samples.size() / data_->block_align : 0; }
    uint32_t decode(uint32_t frames) override;
    void get_data(uint32_t id, void* destination, uint32_t stride, uint32_t bits) override;
    void rewind() override { window_start_ = window_end_ = 0; }

private:
    WavData* data_;
    uint32_t window_start_ = 0;
    uint32_t window_end_ = 0;
};

// Converts count samples of 1 to 4 bytes into samples of 1 to 4 bytes (8-bit samples are
// unsigned), keeping the top min(source bits, destination bits) bits.
void convert_samples(const void* source, uint32_t source_stride, uint32_t source_bits, uint32_t source_bytes,
                     void* destination, uint32_t destination_stride, uint32_t destination_bits,
                     uint32_t destination_bytes, uint32_t count);

using SampleConverter = void (*)(const uint8_t* source, uint32_t source_stride, uint8_t* destination,
                                 uint32_t destination_stride, uint32_t mask, uint32_t count);
// Index: (source bytes - 1) * 4 + destination bytes - 1.
extern const SampleConverter sample_converters[16];

} // namespace vadu::noise
