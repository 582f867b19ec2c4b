#pragma once

// Finding MPEG audio frames in a stream and reading their bits.

#include <cstdint>

#include "vadu/stream.h"

namespace vadu::noise::mp3 {

// Holds one frame's bytes (after the 4-byte header) and hands them out bit by bit.
class BitReader {
public:
    static constexpr uint32_t capacity = 1732;

    // The stream stays owned by the caller.
    explicit BitReader(vadu::Stream* stream) : stream_(stream) {}

    // Looks for the next header from the stream position, one byte further at a time
    // (read a block at a time). Every header is layer III with a bitrate that sizes a
    // frame. The first one needs 12 sync bits and a valid rate, and the frame it announces
    // must be followed by a header like it or by the end of the stream; later ones must
    // match the first one's sync, version, rate and single-channel-ness. value gets the
    // 32-bit header; the stream stands after it.
    bool find_header(bool first, uint32_t& value);
    // Steps over an ID3v2 tag at the stream position: its text may hold bytes that look
    // like a frame header (a UTF-16 byte-order mark does).
    void skip_tag();
    // Reads count bytes of the frame body; false on a short read or when too large.
    bool read_frame(uint32_t count);
    // n from 1 to 32, most significant first; zeros past the frame's end.
    uint32_t get_bits(int n);

    // Remembered from the first header to recognise the later ones.
    void set_first(uint32_t header);

    const uint8_t* frame_bytes() const { return buffer_; }
    uint32_t frame_size() const { return size_; }
    uint32_t bit_position() const { return bit_position_; }
    uint32_t frame_count() const { return frame_count_; }
    vadu::Stream* stream() const { return stream_; }

private:
    bool follows(uint32_t candidate, uint32_t pattern, bool single_channel) const;
    // Whether the 4 bytes at stream offset `at` are the header looked for; may move the
    // stream position.
    bool acceptable(uint32_t candidate, bool first, uint32_t at);

    vadu::Stream* stream_;
    uint8_t buffer_[capacity + 8] = {};
    uint32_t bit_position_ = 0;
    uint32_t size_ = 0;
    uint32_t fixed_pattern_ = 0;
    bool first_single_channel_ = false;
    uint32_t frame_count_ = 0;
};

// The fields of one frame header, and the sizes that follow from them.
struct Header {
    int32_t version = 0;         // 1 MPEG-1, 0 MPEG-2
    int32_t mode = 0;            // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
    int32_t rate_index = 0;
    int32_t layer = 0;           // 1, 2, 3; 0 reserved
    int32_t protection = 1;      // 1: no CRC
    int32_t bitrate_index = 0;
    int32_t padding = 0;
    int32_t mode_extension = 0;
    bool first_header_seen = false;
    uint32_t crc = 0;
    int32_t frame_size = 0;      // bytes after the header
    int32_t main_data_size = 0;  // bytes after header, CRC and side information

    // Finds the next header, takes its fields and reads its frame into the reader. A first
    // header that is not layer III or has a reserved rate refuses the stream.
    bool read(BitReader& reader);

    // Frame size in bytes, header included, for the current fields; 0 when none is valid.
    int32_t whole_frame_size(bool with_padding = true) const;
    int32_t sample_rate() const;
    int32_t bitrate() const;
    int32_t channels() const { return mode == 3 ? 1 : 2; }
    int32_t side_info_size() const;
};

// The number of audio frames an encoder's info frame gives (a "Xing" or "Info" tag after
// the side information of the frame just read); 0 when the frame has none.
uint32_t info_frame_count(const Header& header, const BitReader& reader);

int32_t sample_rate_of(int version, int rate_index);
int32_t bitrate_of(int version, int layer, int bitrate_index);

} // namespace vadu::noise::mp3
