#include "vadu/noise/mp3/frame_reader.h"

#include <cstring>

namespace vadu::noise::mp3 {
namespace {

const int32_t sample_rates[8] = {22050, 24000, 16000, 0, 44100, 48000, 32000, 0};

// kbit/s by (version * 3 + layer) and bitrate index; slot 0 (MPEG-2, reserved layer) is empty.
const int16_t bitrates[7][16] = {
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}};

// Sync, version bit and rate index: what every later header must repeat.
constexpr uint32_t fixed_mask = 0xFFF80C00u;
constexpr uint32_t layer_mask = 0x00060000u;
constexpr uint32_t layer_three_bits = 0x00020000u;

bool is_single_channel(uint32_t header) { return ((header >> 6) & 3) == 3; }

// Bytes scanned per read while looking for a sync: a seek per block, not per byte.
constexpr uint32_t scan_block = 4096;

uint32_t big_endian(const uint8_t* at)
{
    return (uint32_t(at[0]) << 24) | (uint32_t(at[1]) << 16) | (uint32_t(at[2]) << 8) | at[3];
}

// Size of the whole frame a header announces; 0 for a bitrate or rate without one.
int32_t announced_size(uint32_t header)
{
    const int version = (header >> 19) & 1;
    const int rate = sample_rate_of(version, (header >> 10) & 3);
    const int bits = bitrate_of(version, (4 - static_cast<int>((header >> 17) & 3)) % 4, (header >> 12) & 15);
    if (rate == 0 || bits == 0)
        return 0;
    const int32_t size = static_cast<int32_t>(144LL * bits / rate) / (version == 0 ? 2 : 1);
    return size + static_cast<int32_t>((header >> 9) & 1);
}

} // namespace

int32_t sample_rate_of(int version, int rate_index)
{
    if (version < 0 || version > 1 || rate_index < 0 || rate_index > 3)
        return 0;
    return sample_rates[version * 4 + rate_index];
}

int32_t bitrate_of(int version, int layer, int bitrate_index)
{
    int slot = version * 3 + layer;
    if (version < 0 || version > 1 || layer < 1 || layer > 3 || bitrate_index < 0 || bitrate_index > 15)
        return 0;
    return bitrates[slot][bitrate_index] * 1000;
}

void BitReader::set_first(uint32_t header)
{
    fixed_pattern_ = header & fixed_mask;
    first_single_channel_ = is_single_channel(header);
}

bool BitReader::follows(uint32_t candidate, uint32_t pattern, bool single_channel) const
{
    // Another layer here is a false sync inside data, not a frame to decode; so is a
    // bitrate that gives no frame size.
    return (candidate & fixed_mask) == pattern && is_single_channel(candidate) == single_channel &&
           (candidate & layer_mask) == layer_three_bits && announced_size(candidate) > 4;
}

bool BitReader::acceptable(uint32_t candidate, bool first, uint32_t at)
{
    if (!first)
        return follows(candidate, fixed_pattern_, first_single_channel_);
    // Twelve sync bits alone are found in frame data, so a stream cut anywhere would often
    // lock onto a false header and refuse every real frame after it. The first header is
    // taken only when the frame it announces is followed by another like it (or by the
    // end of the stream).
    if ((candidate & 0xFFF00000u) != 0xFFF00000u || ((candidate >> 10) & 3) == 3 ||
        !follows(candidate, candidate & fixed_mask, is_single_channel(candidate)))
        return false;
    const uint32_t size = stream_->get_size();
    const uint32_t next = at + static_cast<uint32_t>(announced_size(candidate));
    if (next > size || next - at - 4 > capacity)
        return false;
    if (size - next < 4)
        return true;
    uint8_t bytes[4];
    stream_->set_position(next);
    return stream_->read(bytes, 4) == 4 &&
           follows(big_endian(bytes), candidate & fixed_mask, is_single_channel(candidate));
}

bool BitReader::find_header(bool first, uint32_t& value)
{
    // The common case: the header stands where the last frame ended.
    uint32_t start = stream_->get_position();
    uint8_t bytes[scan_block];
    if (stream_->read(bytes, 4) != 4)
        return false;
    uint32_t candidate = big_endian(bytes);
    if (acceptable(candidate, first, start)) {
        if (first)
            stream_->set_position(start + 4); // back from the look at the next header
        value = candidate;
        ++frame_count_;
        return true;
    }
    // Otherwise scan on a block at a time, one byte further each step.
    ++start;
    for (;;) {
        stream_->set_position(start);
        const uint32_t got = stream_->read(bytes, scan_block);
        for (uint32_t i = 0; i + 4 <= got; ++i) {
            candidate = big_endian(bytes + i);
            if (acceptable(candidate, first, start + i)) {
                stream_->set_position(start + i + 4);
                value = candidate;
                ++frame_count_;
                return true;
            }
        }
        if (got < scan_block)
            return false;
        start += got - 3;
    }
}

void BitReader::skip_tag()
{
    uint32_t start = stream_->get_position();
    uint8_t tag[10];
    if (stream_->read(tag, 10) != 10 || std::memcmp(tag, "ID3", 3) != 0 || ((tag[6] | tag[7] | tag[8] | tag[9]) & 0x80)) {
        stream_->set_position(start);
        return;
    }
    // Sizes are 7 bits a byte; a footer adds another 10 bytes.
    uint32_t size = (uint32_t(tag[6]) << 21) | (uint32_t(tag[7]) << 14) | (uint32_t(tag[8]) << 7) | tag[9];
    uint32_t end = start + 10 + size + ((tag[5] & 0x10) ? 10 : 0);
    stream_->set_position(end);
    if (stream_->get_position() != end)
        stream_->set_position(start);
}

bool BitReader::read_frame(uint32_t count)
{
    bit_position_ = 0;
    size_ = 0;
    if (count > capacity)
        return false;
    if (stream_->read(buffer_, count) != count)
        return false;
    std::memset(buffer_ + count, 0, sizeof(buffer_) - count);
    size_ = count;
    return true;
}

uint32_t BitReader::get_bits(int n)
{
    if (n <= 0 || n > 32)
        return 0;
    uint32_t byte = bit_position_ >> 3;
    uint64_t window = 0;
    for (int i = 0; i < 8; ++i) {
        uint32_t at = byte + i;
        window = (window << 8) | (at < size_ ? buffer_[at] : 0);
    }
    window <<= (bit_position_ & 7);
    bit_position_ += n;
    return static_cast<uint32_t>(window >> (64 - n));
}

int32_t Header::sample_rate() const { return sample_rate_of(version, rate_index); }

int32_t Header::bitrate() const { return bitrate_of(version, layer, bitrate_index); }

int32_t Header::side_info_size() const
{
    if (version == 1)
        return mode == 3 ? 17 : 32;
    return mode == 3 ? 9 : 17;
}

int32_t Header::whole_frame_size(bool with_padding) const
{
    int32_t rate = sample_rate();
    int32_t bits = bitrate();
    if (rate == 0 || bits == 0)
        return 0;
    int32_t size = static_cast<int32_t>(144LL * bits / rate);
    if (version == 0)
        size /= 2;
    return size + (with_padding ? padding : 0);
}

bool Header::read(BitReader& reader)
{
    uint32_t value = 0;
    if (!first_header_seen)
        reader.skip_tag();
    if (!reader.find_header(!first_header_seen, value))
        return false;
    if (!first_header_seen) {
        version = (value >> 19) & 1;
        rate_index = (value >> 10) & 3;
        if (rate_index == 3)
            return false;
        // Layers I and II would be noise through this decoder: not a stream it plays.
        if (((value >> 17) & 3) != 1)
            return false;
        reader.set_first(value);
        first_header_seen = true;
    }
    mode = (value >> 6) & 3;
    layer = (4 - static_cast<int32_t>((value >> 17) & 3)) % 4;
    protection = (value >> 16) & 1;
    bitrate_index = (value >> 12) & 15;
    padding = (value >> 9) & 1;
    mode_extension = (value >> 4) & 3;

    int32_t size = whole_frame_size();
    if (size <= 4)
        return false;
    main_data_size = size - side_info_size() - (protection == 0 ? 2 : 0) - 4;
    frame_size = size - 4;
    if (!reader.read_frame(static_cast<uint32_t>(frame_size)))
        return false;
    crc = protection == 0 ? reader.get_bits(16) : 0;
    return true;
}

uint32_t info_frame_count(const Header& header, const BitReader& reader)
{
    const uint32_t at = (header.protection == 0 ? 2u : 0u) + static_cast<uint32_t>(header.side_info_size());
    if (at + 12 > reader.frame_size())
        return 0;
    const uint8_t* tag = reader.frame_bytes() + at;
    if (std::memcmp(tag, "Xing", 4) != 0 && std::memcmp(tag, "Info", 4) != 0)
        return 0;
    // Flag bit 0: the frame count follows the flags.
    return (big_endian(tag + 4) & 1) ? big_endian(tag + 8) : 0;
}

} // namespace vadu::noise::mp3
