// Reading an XM file in file order. Every short read or skip, and every count past the
// format's limits, leaves the module not loaded rather than half-filled with garbage; only
// a file that ends inside its sample data keeps the samples cut to the bytes present.

#include "vadu/noise/module/module.h"

#include "vadu/noise/data_source.h"
#include "vadu/path.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace vadu::noise::module {

namespace {

constexpr uint32_t max_patterns = 256;
constexpr uint32_t max_instruments = 128;
constexpr uint32_t max_samples = 16;
constexpr uint32_t max_channels = 64;
constexpr uint32_t max_rows = 256;
constexpr uint32_t max_points = 12;
// 22.10 positions must fit in 32 signed bits, with room for the value past the end.
constexpr int32_t max_frames = (1 << 21) - 2;

// A module opened as a replacement sample looks for no replacements of its own.
thread_local int replacement_depth = 0;

class Reader {
public:
    explicit Reader(Stream& stream) : stream_(stream) {}

    bool bytes(void* out, uint32_t count) { return stream_.read(out, count) == count; }
    bool skip(uint32_t count) { return count == 0 || stream_.skip(count) == count; }
    bool u8(uint8_t& value) { return bytes(&value, 1); }
    bool u16(uint16_t& value)
    {
        uint8_t b[2];
        if (!bytes(b, 2))
            return false;
        value = static_cast<uint16_t>(b[0] | (b[1] << 8));
        return true;
    }
    bool u32(uint32_t& value)
    {
        uint8_t b[4];
        if (!bytes(b, 4))
            return false;
        value = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
        return true;
    }
    bool text(std::string& out, uint32_t count)
    {
        out.assign(count, '\0');
        return bytes(out.data(), count);
    }
    uint32_t left()
    {
        uint32_t size = stream_.get_size(), position = stream_.get_position();
        return position < size ? size - position : 0;
    }

private:
    Stream& stream_;
};

std::string trimmed(std::string text)
{
    text.resize(std::strlen(text.c_str()));
    auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && space(text.back()))
        text.pop_back();
    size_t first = 0;
    while (first < text.size() && space(text[first]))
        ++first;
    return text.substr(first);
}

bool read_pattern(Reader& in, uint32_t channels, Pattern& pattern)
{
    uint32_t header_length;
    uint8_t packing;
    uint16_t rows, packed_size;
    if (!in.u32(header_length) || !in.u8(packing) || !in.u16(rows) || !in.u16(packed_size))
        return false;
    if (rows > max_rows)
        return false;
    // A rowless pattern would leave the row advance nowhere to stand.
    pattern.assign(std::max<uint32_t>(rows, 1), Row(channels));
    if (packed_size == 0)
        return true;
    for (uint32_t r = 0; r < rows; ++r) {
        for (Cell& cell : pattern[r]) {
            uint8_t b;
            if (!in.u8(b))
                return false;
            uint8_t* fields[5] = {&cell.note, &cell.instrument, &cell.volume, &cell.effect, &cell.parameter};
            if (b & 0x80) {
                for (int i = 0; i < 5; ++i)
                    if ((b & (1 << i)) && !in.u8(*fields[i]))
                        return false;
            } else {
                cell.note = b;
                for (int i = 1; i < 5; ++i)
                    if (!in.u8(*fields[i]))
                        return false;
            }
        }
    }
    return true;
}

// Takes the sample's data from a replacement sound; false when there is none.
bool load_replacement(Sample& sample)
{
    if (replacement_depth > 0)
        return false;
    std::string text = "samples/" + sample.instrument_name + "_" + sample.name;
    filesystem::String path(text.c_str(), true);
    ++replacement_depth;
    std::unique_ptr<DataSource> source(create_data_source(path));
    --replacement_depth;
    if (!source)
        return false;
    uint32_t frames = static_cast<uint32_t>(sample.is_16_bit() ? sample.length / 2 : sample.length);
    if (!sample.is_16_bit()) {
        sample.length *= 2;
        sample.loop_start *= 2;
        sample.loop_length *= 2;
        sample.type |= 0x10;
        sample.data.assign(static_cast<size_t>((sample.length + 1) / 2 + 1), 0);
    }
    ++replacement_depth;
    uint32_t decoded = std::min(source->decode(frames), frames);
    if (decoded > 0)
        source->get_data(layout::mono, sample.data.data(), 2, 16);
    --replacement_depth;
    // A shorter replacement leaves the rest silent; the guard repeats the last frame.
    sample.data[frames] = frames > 0 ? sample.data[frames - 1] : 0;
    return true;
}

bool load_sample_data(Reader& in, Sample& sample)
{
    if (sample.length <= 0) {
        sample.length = sample.loop_start = sample.loop_length = 0;
        return true;
    }
    uint32_t stored = static_cast<uint32_t>(sample.length);
    if (stored > in.left()) {
        // The file ends inside this sample: it keeps the whole values present, like a WAV
        // file's short data, and the module plays on. With none it stays silent.
        stored = in.left();
        const uint32_t kept = sample.is_16_bit() ? stored & ~1u : stored;
        if (kept == 0) {
            sample.length = sample.loop_start = sample.loop_length = 0;
            sample.type &= static_cast<uint8_t>(~3);
            return in.skip(stored);
        }
        sample.length = static_cast<int32_t>(kept);
    }
    sample.data.assign(static_cast<size_t>((sample.length + 1) / 2 + 1), 0);
    if (load_replacement(sample)) {
        if (!in.skip(stored))
            return false;
    } else if (sample.is_16_bit()) {
        const uint32_t count = stored / 2;
        int16_t value = 0;
        for (uint32_t i = 0; i < count; ++i) {
            uint16_t delta;
            if (!in.u16(delta))
                return false;
            value = static_cast<int16_t>(static_cast<uint16_t>(value) + delta);
            sample.data[i] = value;
        }
        if (!in.skip(stored & 1))
            return false;
        sample.data[count] = count > 0 ? sample.data[count - 1] : 0;
    } else {
        auto* bytes = reinterpret_cast<int8_t*>(sample.data.data());
        int8_t value = 0;
        for (uint32_t i = 0; i < stored; ++i) {
            uint8_t delta;
            if (!in.u8(delta))
                return false;
            value = static_cast<int8_t>(static_cast<uint8_t>(value) + delta);
            bytes[i] = value;
        }
        bytes[stored] = bytes[stored - 1];
    }
    if (sample.is_16_bit()) {
        sample.length /= 2;
        sample.loop_start /= 2;
        sample.loop_length /= 2;
    }
    // Bounds: a cut length, loops inside the data, degenerate loops play as none.
    if (sample.length > max_frames) {
        const size_t width = sample.is_16_bit() ? 1 : 0;
        sample.length = max_frames;
        if (width)
            sample.data[static_cast<size_t>(max_frames)] = sample.data[static_cast<size_t>(max_frames) - 1];
        else {
            auto* bytes = reinterpret_cast<int8_t*>(sample.data.data());
            bytes[max_frames] = bytes[max_frames - 1];
        }
    }
    if (sample.type & 3) {
        if (sample.loop_start < 0 || sample.loop_start >= sample.length || sample.loop_length <= 0) {
            sample.type &= static_cast<uint8_t>(~3);
            sample.loop_start = sample.loop_length = 0;
        } else if (sample.loop_length > sample.length - sample.loop_start) {
            sample.loop_length = sample.length - sample.loop_start;
        }
    } else {
        sample.loop_start = sample.loop_length = 0;
    }
    return true;
}

bool read_envelope_points(const uint8_t* raw, uint32_t count, Envelope& envelope)
{
    std::vector<std::pair<int32_t, int32_t>> points;
    for (uint32_t i = 0; i < std::min(count, max_points); ++i) {
        int32_t x = raw[i * 4] | (raw[i * 4 + 1] << 8);
        int32_t y = raw[i * 4 + 2] | (raw[i * 4 + 3] << 8);
        points.emplace_back(x, y);
    }
    envelope.set_points(std::move(points));
    return true;
}

} // namespace

void Envelope::set_flags(uint8_t type)
{
    on = (type & 1) != 0;
    sustain_on = on && (type & 2) != 0;
    loop_on = on && (type & 4) != 0;
}

void Envelope::clamp_indices()
{
    const int32_t last = points.empty() ? 0 : static_cast<int32_t>(points.size()) - 1;
    sustain = std::clamp(sustain, 0, last);
    loop_start = std::clamp(loop_start, 0, last);
    loop_end = std::clamp(loop_end, 0, last);
    // The loop walk needs rising x values; one that does not rise is not followed.
    for (size_t i = 1; i < points.size(); ++i)
        if (points[i].first <= points[i - 1].first) {
            loop_on = false;
            sustain_on = sustain_on && static_cast<size_t>(sustain) < i;
            break;
        }
}

std::unique_ptr<Module> Module::load(Stream& stream, const OutputFormat& format, bool option)
{
    std::unique_ptr<Module> module(new Module);
    module->format = format;
    module->option = option;
    try {
        module->loaded = module->read(stream);
    } catch (const std::bad_alloc&) {
        module->loaded = false;
    }
    if (!module->loaded) {
        module->voices.clear();
        module->patterns.clear();
        module->instruments.clear();
    }
    return module;
}

Module::~Module() = default;

bool Module::read(Stream& stream)
{
    Reader in(stream);
    char id[17];
    if (!in.bytes(id, 17))
        return false;
    if (std::memcmp(id, "Extended Module: ", 17) != 0 && std::memcmp(id, "Advanced Module: ", 17) != 0)
        return false;
    uint8_t separator;
    uint32_t header_size;
    uint16_t channels, pattern_count, instrument_count, flags;
    if (!in.text(module_name, 20) || !in.u8(separator) || !in.text(tracker_name, 20) || !in.u16(version) ||
        !in.u32(header_size) || !in.u16(song_length) || !in.u16(restart_position) || !in.u16(channels) ||
        !in.u16(pattern_count) || !in.u16(instrument_count) || !in.u16(flags) || !in.u16(default_speed) ||
        !in.u16(default_bpm))
        return false;
    uint8_t order_bytes[256];
    if (!in.bytes(order_bytes, 256))
        return false;
    if (channels > max_channels || pattern_count > max_patterns || instrument_count > max_instruments)
        return false;
    for (int i = 0; i < 256; ++i)
        order[i] = order_bytes[i];
    linear = flags != 0;
    // The format's own defaults stand in for zeros (a zero BPM would divide by zero).
    if (default_speed == 0)
        default_speed = 6;
    if (default_bpm == 0)
        default_bpm = 125;
    song_length = std::min<uint16_t>(song_length, 256);

    for (uint32_t c = 0; c < channels; ++c)
        voices.push_back(std::make_unique<Voice>(this, static_cast<int>(c)));
    patterns.resize(pattern_count);
    for (Pattern& pattern : patterns)
        if (!read_pattern(in, channels, pattern))
            return false;
    for (uint32_t i = 0; i < instrument_count; ++i)
        if (!load_instrument(stream))
            return false;

    global_volume = 128;
    speed = default_speed;
    bpm = default_bpm;
    order_position = next_order_position = 0;
    current_pattern = order[0];
    pattern_delay = ticks_left = samples_left = 0;
    row = -1;
    return true;
}

bool Module::load_instrument(Stream& stream)
{
    Reader in(stream);
    auto instrument = std::make_unique<Instrument>();
    uint32_t size;
    uint8_t type;
    uint16_t sample_count;
    if (!in.u32(size) || !in.text(instrument->name, 22) || !in.u8(type) || !in.u16(sample_count))
        return false;
    instrument->name = trimmed(instrument->name);
    uint32_t consumed = 29;
    if (sample_count == 0) {
        if (size > consumed && !in.skip(size - consumed))
            return false;
        instruments.push_back(std::move(instrument));
        return true;
    }
    if (sample_count > max_samples)
        return false;
    uint32_t sample_header_size;
    uint8_t points[2][48];
    uint8_t counts[2], volume_indices[3], panning_indices[3], types[2], vibrato[4];
    if (!in.u32(sample_header_size) || !in.bytes(instrument->map, 96) || !in.bytes(points[0], 48) ||
        !in.bytes(points[1], 48) || !in.bytes(counts, 2) || !in.bytes(volume_indices, 3) ||
        !in.bytes(panning_indices, 3) || !in.bytes(types, 2) || !in.bytes(vibrato, 4) || !in.u16(instrument->fadeout))
        return false;
    consumed = 241;
    if (size > consumed && !in.skip(size - consumed))
        return false;
    Envelope* envelopes[2] = {&instrument->volume_envelope, &instrument->panning_envelope};
    const uint8_t* indices[2] = {volume_indices, panning_indices};
    for (int e = 0; e < 2; ++e) {
        read_envelope_points(points[e], counts[e], *envelopes[e]);
        envelopes[e]->set_sustain(indices[e][0]);
        envelopes[e]->set_loop_start(indices[e][1]);
        envelopes[e]->set_loop_end(indices[e][2]);
        envelopes[e]->set_flags(types[e]);
        envelopes[e]->clamp_indices();
    }
    instrument->vibrato_type = vibrato[0];
    instrument->vibrato_sweep = vibrato[1];
    instrument->vibrato_depth = vibrato[2];
    instrument->vibrato_rate = vibrato[3];

    for (uint32_t s = 0; s < sample_count; ++s) {
        auto sample = std::make_unique<Sample>();
        uint32_t length, loop_start, loop_length;
        uint8_t fields[6];
        if (!in.u32(length) || !in.u32(loop_start) || !in.u32(loop_length) || !in.bytes(fields, 6) ||
            !in.text(sample->name, 22))
            return false;
        if (length > 0x7FFFFFFF)
            return false;
        sample->length = static_cast<int32_t>(length);
        sample->loop_start = static_cast<int32_t>(std::min<uint32_t>(loop_start, 0x7FFFFFFF));
        sample->loop_length = static_cast<int32_t>(std::min<uint32_t>(loop_length, 0x7FFFFFFF));
        sample->volume = fields[0];
        sample->finetune = static_cast<int8_t>(fields[1]);
        sample->type = fields[2];
        sample->panning = fields[3];
        sample->relative_note = static_cast<int8_t>(fields[4]);
        sample->name = trimmed(sample->name);
        sample->instrument_name = instrument->name;
        instrument->samples.push_back(std::move(sample));
    }
    for (auto& sample : instrument->samples)
        if (!load_sample_data(in, *sample))
            return false;
    instruments.push_back(std::move(instrument));
    return true;
}

} // namespace vadu::noise::module
