// Finding and sizing frames: header fields, refusals, skipped leading bytes, false syncs.

#include <gtest/gtest.h>

#include "vadu/noise/mp3/mp3_test_support.h"

namespace {

using namespace vadu::noise::mp3;

// A stream of one header with zeros for its frame body (enough for any size).
std::vector<uint8_t> header_bytes(int version, int bitrate_index, int rate_index, int padding, int layer_bits = 1,
                                  int mode = 1)
{
    uint32_t h = 0xFFF00000u | (uint32_t(version) << 19) | (uint32_t(layer_bits) << 17) | (1u << 16) |
                 (uint32_t(bitrate_index) << 12) | (uint32_t(rate_index) << 10) | (uint32_t(padding) << 9) |
                 (uint32_t(mode) << 6);
    std::vector<uint8_t> bytes = {uint8_t(h >> 24), uint8_t(h >> 16), uint8_t(h >> 8), uint8_t(h)};
    bytes.resize(2000, 0);
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
    };
    for (const Case& c : cases) {
        vadu::filesystem::MemoryStream stream(c.bytes);
        BitReader reader(&stream);
        Header header;
        EXPECT_FALSE(header.read(reader)) << c.what;
    }
}

TEST(Mp3FrameReader, RefusesMpeg25AndLayerIIFiles)
{
    // Only 11 sync bits: never found as a first header.
    EXPECT_FALSE(mp3_test::decode_ours(mp3_test::read_file(mp3_test::fixture_path("mpeg25"))).opened);

    std::vector<uint8_t> bytes = mp3_test::read_file(mp3_test::fixture_path("js128"));
    ASSERT_GT(bytes.size(), 4u);
    bytes[1] = (bytes[1] & ~0x06) | 0x04;  // layer bits 10: layer II
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

// Byte offsets of every frame, by walking the headers' sizes.
std::vector<size_t> frame_offsets(const std::vector<uint8_t>& bytes)
{
    std::vector<size_t> offsets;
    vadu::filesystem::MemoryStream stream(bytes);
    BitReader reader(&stream);
    Header header;
    while (true) {
        uint32_t before = stream.get_position();
        if (!header.read(reader))
            break;
        offsets.push_back(stream.get_position() - header.frame_size - 4);
        (void)before;
    }
    return offsets;
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

} // namespace
