#include "vadu/noise/data_source.h"
#include "vadu/noise/mp3/mp3_data_source.h"
#include "vadu/noise/module/module_data_source.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

namespace vadu::noise {

namespace {

// ---- openers, tried in order by create_data_source ----

DataSource* open_wav(const filesystem::String& name, String& why)
{
    auto source = std::make_unique<WavDataSource>(name);
    if (source->is_loaded())
        return source.release();
    if (!source->problem().empty())
        why += String("\"") + (name + ".wav").get_text() + "\": " + source->problem() + "; ";
    return nullptr;
}

DataSource* open_mp3(const filesystem::String& name, String& why)
{
    auto source = std::make_unique<Mp3DataSource>(name);
    if (!source->failed())
        return source.release();
    if (source->found())
        why += String("\"") + (name + ".mp3").get_text() + "\": no MPEG audio layer III frame this decoder plays; ";
    return nullptr;
}

DataSource* open_module(const filesystem::String& name, String& why)
{
    auto source = std::make_unique<ModuleDataSource>(name);
    if (source->is_loaded())
        return source.release();
    if (source->found())
        why += String("\"") + (name + ".xm").get_text() + "\": not an XM module this player plays; ";
    return nullptr;
}

using Opener = DataSource* (*)(const filesystem::String& name, String& why);
// A WAV of a name wins over an MP3 of the same name, an MP3 over a module.
constexpr Opener openers[] = {&open_wav, &open_mp3, &open_module};

// ---- the WAV cache ----

std::map<filesystem::String, WavData*>* wav_cache = nullptr;

constexpr uint32_t pcm_tag = 1;
constexpr uint32_t float_tag = 3;
constexpr uint32_t extensible_tag = 0xFFFE;
// The extensible form's sub-format for integer PCM.
constexpr uint8_t pcm_sub_format[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                        0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint32_t read_u32(const uint8_t* at)
{
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) | (static_cast<uint32_t>(at[2]) << 16) |
           (static_cast<uint32_t>(at[3]) << 24);
}

uint16_t read_u16(const uint8_t* at)
{
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

// ---- converters ----

template <int SourceBytes>
int32_t read_aligned(const uint8_t* at)
{
    if constexpr (SourceBytes == 1) {
        return static_cast<int32_t>(static_cast<uint32_t>(at[0] - 128) << 24);
    } else {
        uint32_t value = 0;
        for (int i = 0; i < SourceBytes; ++i)
            value |= static_cast<uint32_t>(at[i]) << (8 * i);
        return static_cast<int32_t>(value << (8 * (4 - SourceBytes)));
    }
}

template <int DestinationBytes>
void write_aligned(uint8_t* at, uint32_t value)
{
    if constexpr (DestinationBytes == 1) {
        at[0] = static_cast<uint8_t>((value >> 24) + 128);
    } else {
        for (int i = 0; i < DestinationBytes; ++i)
            at[i] = static_cast<uint8_t>(value >> (8 * (4 - DestinationBytes + i)));
    }
}

template <int SourceBytes, int DestinationBytes>
void convert(const uint8_t* source, uint32_t source_stride, uint8_t* destination, uint32_t destination_stride,
             uint32_t mask, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t value = static_cast<uint32_t>(read_aligned<SourceBytes>(source)) & mask;
        write_aligned<DestinationBytes>(destination, value);
        source += source_stride;
        destination += destination_stride;
    }
}

uint32_t top_bits_mask(uint32_t bits)
{
    bits = std::clamp<uint32_t>(bits, 1, 32);
    return bits == 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> bits);
}

} // namespace

const SampleConverter sample_converters[16] = {
    &convert<1, 1>, &convert<1, 2>, &convert<1, 3>, &convert<1, 4>, &convert<2, 1>, &convert<2, 2>,
    &convert<2, 3>, &convert<2, 4>, &convert<3, 1>, &convert<3, 2>, &convert<3, 3>, &convert<3, 4>,
    &convert<4, 1>, &convert<4, 2>, &convert<4, 3>, &convert<4, 4>,
};

void convert_samples(const void* source, uint32_t source_stride, uint32_t source_bits, uint32_t source_bytes,
                     void* destination, uint32_t destination_stride, uint32_t destination_bits,
                     uint32_t destination_bytes, uint32_t count)
{
    if (source_bytes < 1 || source_bytes > 4 || destination_bytes < 1 || destination_bytes > 4)
        return;
    const uint32_t mask = top_bits_mask(source_bits) & top_bits_mask(destination_bits);
    sample_converters[(source_bytes - 1) * 4 + destination_bytes - 1](
        static_cast<const uint8_t*>(source), source_stride, static_cast<uint8_t*>(destination), destination_stride,
        mask, count);
}

DataSource* create_data_source(const filesystem::String& name)
{
    return create_data_source(name, nullptr);
}

DataSource* create_data_source(const filesystem::String& name, String* why)
{
    String reasons;
    for (Opener open : openers) {
        if (DataSource* source = open(name, reasons))
            return source;
    }
    if (why) {
        if (reasons.empty())
            *why = "no .wav, .mp3 or .xm file of that name";
        else
            *why = String(reasons.data(), reasons.data() + reasons.size() - 2); // without the last "; "
    }
    return nullptr;
}

// ---- WavData ----

WavData::WavData(const filesystem::String& path) : path_(path)
{
    if (std::unique_ptr<Stream> stream = filesystem::open(path))
        read(*stream);
}

WavData::WavData() = default;

std::unique_ptr<WavData> WavData::read_stream(Stream& stream)
{
    std::unique_ptr<WavData> data(new WavData);
    data->read(stream);
    return data;
}

void WavData::read(Stream& stream_in)
{
    Stream* stream = &stream_in;
    // Says why the file is refused; a file that loads leaves it empty.
    auto refuse = [this](const char* why) { problem = why; };
    uint8_t header[36];
    if (stream->read(header, sizeof(header)) != sizeof(header))
        return refuse("the header is cut short (a WAV header has 36 bytes and more)");
    if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0)
        return refuse("a bad header: not a RIFF WAVE file");
    if (std::memcmp(header + 12, "fmt ", 4) != 0)
        return refuse("a bad header: the \"fmt \" chunk does not come first");
    const uint32_t format_size = read_u32(header + 16);
    const uint32_t format_tag = read_u16(header + 20);
    const uint32_t file_channels = read_u16(header + 22);
    const uint32_t file_rate = read_u32(header + 24);
    const uint32_t file_align = read_u16(header + 32);
    const uint32_t file_bits = read_u16(header + 34);
    if (format_size < 16)
        return refuse("a bad header: the \"fmt \" chunk is shorter than 16 bytes");
    // A chunk of odd size is followed by a pad byte.
    uint32_t format_rest = format_size - 16 + (format_size & 1);
    // Only integer PCM is read: float or compressed data taken as integers plays as loud
    // noise. The extensible form says which coding it holds in its sub-format.
    uint32_t coding = format_tag;
    if (format_tag == extensible_tag) {
        uint8_t extension[24];
        if (format_rest < sizeof(extension) || stream->read(extension, sizeof(extension)) != sizeof(extension))
            return refuse("a bad header: the extensible format's extension is cut short");
        format_rest -= sizeof(extension);
        if (read_u16(extension) < 22)
            return refuse("a bad header: the extensible format's extension is cut short");
        coding = read_u16(extension + 8);
        if (std::memcmp(extension + 10, pcm_sub_format + 2, sizeof(pcm_sub_format) - 2) != 0)
            coding = 0xFFFF;
    }
    if (coding == float_tag)
        return refuse("the samples are floating point; only integer PCM samples are played");
    if (coding != pcm_tag)
        return refuse("the samples are compressed; only integer PCM samples are played");
    if (stream->skip(format_rest) != format_rest)
        return refuse("a bad header: the file ends inside the \"fmt \" chunk");
    // Values the converters and the channels could not work with.
    if (file_channels == 0 || file_rate == 0 || file_bits == 0 || file_bits > 32 || file_align == 0 ||
        file_align % file_channels != 0 || file_align / file_channels > 4)
        return refuse("a bad header: channels, rate, bits or block size out of range");
    uint32_t skip = 0;
    uint32_t data_size = 0;
    for (;;) {
        if (stream->skip(skip) != skip)
            return refuse("no \"data\" chunk: the file ends first");
        uint8_t chunk[8];
        if (stream->read(chunk, sizeof(chunk)) != sizeof(chunk))
            return refuse("no \"data\" chunk: the file ends first");
        const uint32_t size = read_u32(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0) {
            data_size = size;
            break;
        }
        if (size > 0xFFFFFFFFu - 1)
            return refuse("no \"data\" chunk: the file ends first");
        skip = size + (size & 1);
    }
    // A declared size past the end of the file keeps what is there, in whole frames.
    const uint32_t total = stream->get_size();
    const uint32_t position = stream->get_position();
    const uint32_t left = total > position ? total - position : 0;
    data_size = std::min(data_size, left);
    data_size -= data_size % file_align;
    samples.resize(data_size);
    if (data_size > 0 && stream->read(samples.reserve(data_size), data_size) != data_size)
        return refuse("the samples cannot be read");
    bits_per_sample = file_bits;
    block_align = file_align;
    channels = file_channels;
    rate = file_rate;
    bytes_per_sample = file_align / file_channels;
    loaded = true;
}

WavData* WavData::acquire(const filesystem::String& name)
{
    const filesystem::String path = name + ".wav";
    if (!wav_cache)
        wav_cache = new std::map<filesystem::String, WavData*>;
    WavData*& entry = (*wav_cache)[path];
    if (!entry)
        entry = new WavData(path);
    ++entry->use_count;
    return entry;
}

void WavData::release(WavData* data)
{
    if (!data || --data->use_count > 0)
        return;
    if (wav_cache) {
        wav_cache->erase(data->path_);
        if (wav_cache->empty()) {
            delete wav_cache;
            wav_cache = nullptr;
        }
    }
    delete data;
}

size_t WavData::cached_count()
{
    return wav_cache ? wav_cache->size() : 0;
}

// ---- WavDataSource ----

WavDataSource::WavDataSource(const filesystem::String& name) : data_(WavData::acquire(name)) {}

WavDataSource::~WavDataSource()
{
    WavData::release(data_);
}

bool WavDataSource::has_channel(uint32_t id)
{
    if (data_->channels == 1)
        return id == layout::mono;
    if (data_->channels == 2)
        return id == layout::left || id == layout::right;
    return false;
}

uint32_t WavDataSource::decode(uint32_t frames)
{
    window_start_ = window_end_;
    const uint32_t length = get_length();
    if (window_end_ == length) {
        window_end_ = 0;
        return 0;
    }
    const uint32_t count = std::min(frames, length - window_end_);
    window_end_ += count;
    return count;
}

void WavDataSource::get_data(uint32_t id, void* destination, uint32_t stride, uint32_t bits)
{
    if (!data_->loaded || window_end_ <= window_start_)
        return;
    const uint32_t channel = data_->channels == 2 && layout::takes_second_channel(id) ? 1 : 0;
    const char* source =
        data_->samples.data() + static_cast<size_t>(data_->block_align) * window_start_ + data_->bytes_per_sample * channel;
    convert_samples(source, data_->block_align, data_->bits_per_sample, data_->bytes_per_sample, destination, stride,
                    bits, (bits + 7) / 8, window_end_ - window_start_);
}

} // namespace vadu::noise
