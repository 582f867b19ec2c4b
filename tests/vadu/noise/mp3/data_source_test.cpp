// MP3 files as data sources: opened by name, delayed by the codec's start, measured,
// delivered per channel, rewound.

#include <gtest/gtest.h>

#include <memory>

#include "vadu/noise/mp3/mp3_data_source.h"
#include "vadu/noise/mp3/mp3_test_support.h"
#include "vadu/noise/sound_test_support.h"

namespace {

using vadu::noise::Mp3DataSource;
using sound_test::path;

class Mp3Files : public ::testing::Test {
protected:
    Mp3Files() : folder_("mp3"), files_(sound_test::folder_files(folder_.root().string())) {}

    // Copies a fixture into the folder as music/<name>.mp3 and returns its bytes.
    std::vector<uint8_t> install(const std::string& fixture)
    {
        std::vector<uint8_t> bytes = mp3_test::read_file(mp3_test::fixture_path(fixture));
        sound_test::write_file(folder_.at("music/" + fixture + ".mp3"), std::string(bytes.begin(), bytes.end()));
        return bytes;
    }
    static vadu::filesystem::String music(const std::string& name) { return path(("music/" + name).c_str()); }

    // Everything the source gives from where it stands, interleaved as the stream's channels.
    static std::vector<int16_t> drain(vadu::noise::DataSource& source, uint32_t channels, uint32_t chunk = 1000)
    {
        std::vector<int16_t> out;
        std::vector<int16_t> left(chunk), right(chunk);
        for (int guard = 0; guard < 100000; ++guard) {
            uint32_t n = source.decode(chunk);
            if (n == 0)
                break;
            source.get_data(vadu::noise::layout::left, left.data(), 2, 16);
            source.get_data(vadu::noise::layout::right, right.data(), 2, 16);
            for (uint32_t i = 0; i < n; ++i) {
                out.push_back(left[i]);
                if (channels == 2)
                    out.push_back(right[i]);
            }
        }
        return out;
    }

    test_support::TempFolder folder_;
    vadu::logs::Creator log_;
    vadu::filesystem::Creator files_;
};

TEST_F(Mp3Files, OutputMatchesTheReferenceAfterTheCodecDelay)
{
    for (const char* name : {"js128", "lsf24", "vbr"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> bytes = install(name);
        const mp3_test::Pcm reference = mp3_test::decode_reference(bytes);
        Mp3DataSource source(music(name));
        ASSERT_FALSE(source.failed());
        EXPECT_EQ(source.get_frequency(), static_cast<uint32_t>(reference.rate));
        ASSERT_EQ(source.channels(), static_cast<uint32_t>(reference.channels));
        // Odd-sized requests cross frame boundaries and use the overflow store.
        const std::vector<int16_t> got = drain(source, source.channels(), 777);
        const size_t skip = Mp3DataSource::start_delay * source.channels();
        ASSERT_EQ(got.size() + skip, reference.samples.size());
        int largest = 0;
        for (size_t i = 0; i < got.size(); ++i)
            largest = std::max(largest, std::abs(int(got[i]) - int(reference.samples[skip + i])));
        EXPECT_LE(largest, 2);
        // At the end it stays at the end.
        EXPECT_EQ(source.decode(100), 0u);
    }
}

TEST_F(Mp3Files, MonoStreamGivesItsChannelForEveryId)
{
    install("lsf24");
    Mp3DataSource source(music("lsf24"));
    ASSERT_FALSE(source.failed());
    EXPECT_TRUE(source.has_channel(vadu::noise::layout::left));
    EXPECT_TRUE(source.has_channel(vadu::noise::layout::right));
    ASSERT_EQ(source.decode(3000), 3000u);
    std::vector<int16_t> first(3000), other(3000);
    source.get_data(vadu::noise::layout::left, first.data(), 2, 16);
    for (uint32_t id : {0u, 2u, 6u, 8u}) {
        source.get_data(id, other.data(), 2, 16);
        EXPECT_EQ(other, first) << id;
    }
}

TEST_F(Mp3Files, LengthEstimateIsCloseForConstantBitrates)
{
    for (const char* name : {"js128", "mono32", "lsf22", "lsf24"}) {
        SCOPED_TRACE(name);
        const mp3_test::Pcm reference = mp3_test::decode_reference(install(name));
        Mp3DataSource source(music(name));
        ASSERT_FALSE(source.failed());
        const double actual = double(reference.samples.size()) / reference.channels;
        EXPECT_NEAR(source.get_length(), actual, actual * 0.02);
    }
}

TEST_F(Mp3Files, LengthComesFromTheEncodersFrameCount)
{
    // "vbrinfo" is a variable bitrate with a "Xing" frame, "tagged" a constant one with an
    // "Info" frame. The count leaves out the info frame, which plays as silence, so what
    // decodes is the counted frames and less than one more.
    for (const char* name : {"vbrinfo", "tagged"}) {
        SCOPED_TRACE(name);
        install(name);
        Mp3DataSource source(music(name));
        ASSERT_FALSE(source.failed());
        const uint32_t length = source.get_length();
        const size_t decoded = drain(source, 2).size() / 2;
        EXPECT_EQ(length % 1152, 0u);
        EXPECT_LE(length, decoded);
        EXPECT_GT(length + 1152, decoded);
    }
    // A count more frames than the file could hold is not believed: the size-based
    // estimate stands, as for a file without one.
    std::vector<uint8_t> bytes = install("vbrinfo");
    const size_t tag = std::string(bytes.begin(), bytes.end()).find("Xing");
    ASSERT_NE(tag, std::string::npos);
    std::vector<uint8_t> no_count = bytes;
    no_count[tag + 7] &= ~1;
    sound_test::write_file(folder_.at("music/no_count.mp3"), std::string(no_count.begin(), no_count.end()));
    for (int i = 8; i < 12; ++i)
        bytes[tag + i] = 0x7F;
    sound_test::write_file(folder_.at("music/huge_count.mp3"), std::string(bytes.begin(), bytes.end()));
    Mp3DataSource estimated(music("no_count"));
    Mp3DataSource huge(music("huge_count"));
    EXPECT_GT(estimated.get_length(), 0u);
    EXPECT_EQ(huge.get_length(), estimated.get_length());
}

TEST_F(Mp3Files, RewindStartsAtTheFirstFrameWithoutRepeatingOne)
{
    const std::vector<uint8_t> bytes = install("js128");
    const mp3_test::Pcm raw = mp3_test::decode_ours(bytes);
    Mp3DataSource source(music("js128"));
    ASSERT_FALSE(source.failed());
    drain(source, 2);
    for (int loop = 0; loop < 2; ++loop) {
        SCOPED_TRACE(loop);
        source.rewind();
        const std::vector<int16_t> again = drain(source, 2, 1152);
        // The whole file again, from frame 0 and not delayed a second time; the first frame
        // still carries the previous loop's overlap, the rest are exact.
        ASSERT_EQ(again.size(), raw.samples.size());
        EXPECT_TRUE(std::equal(again.begin() + 2304, again.end(), raw.samples.begin() + 2304));
    }
}

TEST_F(Mp3Files, RewindOfATaggedFileSkipsTheTagAgain)
{
    install("tagged");
    Mp3DataSource source(music("tagged"));
    ASSERT_FALSE(source.failed());
    const std::vector<int16_t> first = drain(source, 2);
    source.rewind();
    const std::vector<int16_t> second = drain(source, 2);
    EXPECT_EQ(second.size(), first.size() + Mp3DataSource::start_delay * 2);
    int loudest = 0;
    for (int16_t s : first)
        loudest = std::max(loudest, std::abs(int(s)));
    EXPECT_GT(loudest, 1000);
}

TEST_F(Mp3Files, StreamsItCannotPlayFail)
{
    install("mpeg25");
    std::vector<uint8_t> bytes = install("js128");
    // Layer II throughout: every header that follows a frame of it says layer II too.
    for (size_t at = 0; at + 4 <= bytes.size(); ++at)
        if (bytes[at] == 0xFF && (bytes[at + 1] & 0xFE) == 0xFA)
            bytes[at + 1] = (bytes[at + 1] & ~0x06) | 0x04;
    sound_test::write_file(folder_.at("music/layer2.mp3"), std::string(bytes.begin(), bytes.end()));
    sound_test::write_file(folder_.at("music/empty.mp3"), "");
    for (const char* name : {"mpeg25", "layer2", "empty", "missing"}) {
        Mp3DataSource source(music(name));
        EXPECT_TRUE(source.failed()) << name;
        EXPECT_EQ(source.decode(100), 0u) << name;
        EXPECT_EQ(source.get_length(), 0u) << name;
    }
}

} // namespace
