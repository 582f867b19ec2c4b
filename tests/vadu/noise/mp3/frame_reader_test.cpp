// Finding and sizing frames: header fields, refusals, skipped leading bytes, false syncs.

#include <gtest/gtest.h>

#include <random>

#include "vadu/noise/mp3/mp3_test_support.h"

namespace {

using namespace vadu::noise::mp3;

// Two frames of one header with zeros for their bodies, then zeros; a header that
// announces no frame size gets 2000 zeros.
std::vector<uint8_t> header_bytes(int version, int bitrate_index, int rate_index, int padding, int layer_bits = 1,
                                  int mode = 1)
{
    uint32_t h = 0xFFF00000u | (uint32_t(version) << 19) | (uint32_t(layer_bits) << 17) | (1u << 16) |
                 (uint32_t(bitrate_index) << 12) | (uint32_t(rate_index) << 10) | (uint32_t(padding) << 9) |
                 (uint32_t(mode) << 6);
    Header fields;
    fields.version = version;
    fields.layer = (4 - layer_bits) % 4;
    fields.bitrate_index = bitrate_index;
    fields.rate_index = rate_index;
    fields.padding = padding;
    const int32_t size = fields.whole_frame_size();
    std::vector<uint8_t> bytes;
    for (int frame = 0; frame < 2; ++frame) {
        bytes.insert(bytes.end(), {uint8_t(h >> 24), uint8_t(h >> 16), uint8_t(h >> 8), uint8_t(h)});
        bytes.resize(bytes.size() - 4 + static_cast<size_t>(size > 4 ? size : 2000), 0);
    }
    bytes.resize(bytes.size() + 100, 0);
    return bytes;
}

struct SizeCase {
    const char* what;
    int version, bitrate_index, rate_index, padding;
    int whole_size;
};

TEST(Mp3FrameReader, FrameSizesFollowBitrateRateAndPadding)
{
    const SizeCase cases[] = {
        {"128 kbit/s 44.1 kHz", 1, 9, 0, 0, 417},  {"128 kbit/s 44.1 kHz padded", 1, 9, 0, 1, 418},
        {"320 kbit/s 32 kHz", 1, 14, 2, 0, 1440},  {"320 kbit/s 32 kHz padded", 1, 14, 2, 1, 1441},
        {"MPEG-2 64 kbit/s 22.05 kHz", 0, 8, 0, 0, 208}, {"MPEG-2 64 kbit/s 22.05 kHz padded", 0, 8, 0, 1, 209},
    };
    for (const SizeCase& c : cases) {
        vadu::filesystem::MemoryStream stream(header_bytes(c.version, c.bitrate_index, c.rate_index, c.padding));
        BitReader reader(&stream);
        Header header;
        ASSERT_TRUE(header.read(reader)) << c.what;
        EXPECT_EQ(header.frame_size + 4, c.whole_size) << c.what;
        EXPECT_EQ(header.main_data_size, c.whole_size - 4 - header.side_info_size()) << c.what;
        EXPECT_EQ(stream.get_position(), static_cast<uint32_t>(c.whole_size)) << c.what;
    }
}

TEST(Mp3FrameReader, RefusesHeadersItCannotDecode)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"reserved rate index", header_bytes(1, 9, 3, 0)},
        {"free-format bitrate", header_bytes(1, 0, 0, 0)},
        {"bitrate index 15", header_bytes(1, 15, 0, 0)},
        {"layer II", header_bytes(1, 9, 0, 0, 2)},
        {"layer I", header_bytes(1, 9, 0, 0, 3)},
        {"no sync at all", std::vector<uint8_t>(3000, 0x55)},
        {"shorter than a header", {0xFF, 0xFB}},
        {"a frame followed by no header", [] {
             std::vector<uint8_t> bytes = header_bytes(1, 9, 0, 0);
             bytes[417] = 0;
             return bytes;
         }()},
        {"a frame followed by a header of another rate", [] {
             std::vector<uint8_t> bytes = header_bytes(1, 9, 0, 0);
             bytes[417 + 2] |= 0x04;
             return bytes;
         }()},
        {"a frame that runs past the end", [] {
             std::vector<uint8_t> bytes = header_bytes(1, 9, 0, 0);
             bytes.resize(300);
             return bytes;
         }()},
    };
    for (const Case& c : cases) {
        vadu::filesystem::MemoryStream stream(c.bytes);
        BitReader reader(&stream);
        Header header;
        EXPECT_FALSE(header.read(reader)) << c.what;
    }
}

// Byte offsets of every frame, by walking the headers' sizes.
std::vector<size_t> frame_offsets(const std::vector<uint8_t>& bytes)
{
    std::vector<size_t> offsets;
    vadu::filesystem::MemoryStream stream(bytes);
    BitReader reader(&stream);
    Header header;
    while (header.read(reader))
        offsets.push_back(stream.get_position() - header.frame_size - 4);
    return offsets;
}

TEST(Mp3FrameReader, RefusesMpeg25AndLayerIIFiles)
{
    // Only 11 sync bits: never found as a first header.
    EXPECT_FALSE(mp3_test::decode_ours(mp3_test::read_file(mp3_test::fixture_path("mpeg25"))).opened);

    std::vector<uint8_t> bytes = mp3_test::read_file(mp3_test::fixture_path("js128"));
    for (size_t offset : frame_offsets(bytes))
        bytes[offset + 1] = (bytes[offset + 1] & ~0x06) | 0x04;  // layer bits 10: layer II
    EXPECT_FALSE(mp3_test::decode_ours(bytes).opened);
}

TEST(Mp3FrameReader, FrameBodyLargerThanTheBufferFails)
{
    vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(4000, 0));
    BitReader reader(&stream);
    EXPECT_FALSE(reader.read_frame(BitReader::capacity + 1));
    stream.set_position(0);
    EXPECT_TRUE(reader.read_frame(BitReader::capacity));
    stream.set_position(3990);
    EXPECT_FALSE(reader.read_frame(100));  // short read
}

TEST(Mp3FrameReader, GetBitsReadsMostSignificantFirstAcrossWords)
{
    std::vector<uint8_t> body = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x0F};
    vadu::filesystem::MemoryStream stream(body);
    BitReader reader(&stream);
    ASSERT_TRUE(reader.read_frame(static_cast<uint32_t>(body.size())));
    EXPECT_EQ(reader.get_bits(4), 0x1u);
    EXPECT_EQ(reader.get_bits(8), 0x23u);
    EXPECT_EQ(reader.get_bits(24), 0x456789u);    // crosses the first word's end
    EXPECT_EQ(reader.get_bits(32), 0xABCDEF00u);  // a whole word, unaligned
    EXPECT_EQ(reader.get_bits(1), 0x1u);
    EXPECT_EQ(reader.get_bits(3), 0x7u);
    EXPECT_EQ(reader.get_bits(8), 0u);  // past the frame: zeros
}

TEST(Mp3FrameReader, SkipsLeadingBytesAndFalseSyncs)
{
    const std::vector<uint8_t> original = mp3_test::read_file(mp3_test::fixture_path("js128"));
    const mp3_test::Pcm expected = mp3_test::decode_ours(original);
    const std::vector<size_t> offsets = frame_offsets(original);
    ASSERT_GT(offsets.size(), 20u);

    auto insert_at = [&](size_t at, std::vector<uint8_t> junk) {
        std::vector<uint8_t> bytes = original;
        bytes.insert(bytes.begin() + static_cast<long>(at), junk.begin(), junk.end());
        return bytes;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"leading junk without sync", insert_at(0, std::vector<uint8_t>(333, 0x42))},
        {"leading tag", insert_at(0, {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 6, 0xFF, 0xFE, 'a', 0, 'b', 0})},
        {"false sync with another rate", insert_at(offsets[10], {0xFF, 0xFB, 0x94, 0x44, 0x00, 0x00})},
        {"false sync of layer II", insert_at(offsets[10], {0xFF, 0xFD, 0x90, 0x44, 0x00, 0x00})},
        {"false sync with another channel count", insert_at(offsets[10], {0xFF, 0xFB, 0x90, 0xC4, 0x00})},
    };
    for (const Case& c : cases) {
        mp3_test::Pcm pcm = mp3_test::decode_ours(c.bytes);
        ASSERT_TRUE(pcm.opened) << c.what;
        EXPECT_EQ(pcm.samples, expected.samples) << c.what;
    }
}

TEST(Mp3FrameReader, AStreamCutAnywhereLocksOntoItsRealFrames)
{
    // A cut lands inside frame data, where twelve sync bits turn up by chance: a header
    // taken on them alone would refuse the stream or hold it to a false pattern (silence).
    for (const auto& [name, cuts] : {std::pair{"js128", 40}, std::pair{"vbr", 15}, std::pair{"lsf22", 15}}) {
        const std::vector<uint8_t> bytes = mp3_test::read_file(mp3_test::fixture_path(name));
        const mp3_test::Pcm full = mp3_test::decode_ours(bytes);
        ASSERT_TRUE(full.opened) << name;
        // The last frames decode exactly as in the whole stream once the cut's missing
        // state (reservoir, overlap, filter history) has passed.
        const size_t tail = 10 * 1152 * static_cast<size_t>(full.channels);
        std::mt19937 random(11);
        for (int i = 0; i < cuts; ++i) {
            const size_t cut = bytes.size() / 2 + random() % (bytes.size() / 4);
            SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(cut));
            const mp3_test::Pcm pcm = mp3_test::decode_ours(std::vector<uint8_t>(bytes.begin() + static_cast<long>(cut), bytes.end()));
            ASSERT_TRUE(pcm.opened);
            ASSERT_GT(pcm.samples.size(), tail);
            EXPECT_TRUE(std::equal(pcm.samples.end() - static_cast<long>(tail), pcm.samples.end(),
                                   full.samples.end() - static_cast<long>(tail)));
        }
    }
}

// A stream over bytes in memory that counts its seeks.
class CountingStream : public vadu::Stream {
public:
    explicit CountingStream(std::vector<uint8_t> bytes) : inner_(std::move(bytes)) {}
    uint32_t read(void* buffer, uint32_t count) override { return inner_.read(buffer, count); }
    uint32_t skip(uint32_t count) override { return inner_.skip(count); }
    bool is_good() override { return true; }
    uint32_t get_size() override { return inner_.get_size(); }
    uint32_t get_position() override { return inner_.get_position(); }
    void set_position(uint32_t position) override
    {
        ++seeks;
        inner_.set_position(position);
    }
    size_t seeks = 0;

private:
    vadu::filesystem::MemoryStream inner_;
};

TEST(Mp3FrameReader, JunkIsScannedWithoutASeekPerByte)
{
    const std::vector<uint8_t> original = mp3_test::read_file(mp3_test::fixture_path("js128"));
    const mp3_test::Pcm expected = mp3_test::decode_ours(original);
    const std::vector<size_t> offsets = frame_offsets(original);
    ASSERT_GT(offsets.size(), 20u);
    // A megabyte of bytes that hold no sync, before the stream and between two frames.
    std::mt19937 random(5);
    std::vector<uint8_t> junk(1 << 20);
    for (uint8_t& b : junk)
        b = static_cast<uint8_t>(random() % 255);
    struct Case {
        const char* what;
        size_t at;
    } cases[] = {{"before the first frame", 0}, {"between two frames", offsets[10]}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = original;
        bytes.insert(bytes.begin() + static_cast<long>(c.at), junk.begin(), junk.end());
        CountingStream stream(bytes);
        BitReader reader(&stream);
        Header header;
        size_t frames = 0;
        while (header.read(reader))
            ++frames;
        EXPECT_EQ(frames, offsets.size());
        EXPECT_LT(stream.seeks, 2000u);
        EXPECT_EQ(mp3_test::decode_ours(bytes).samples, expected.samples);
    }
}

} // namespace
