// Reading WAV files, the WAV cache, the WAV source's window and the sample converters.

#include "sound_test_support.h"
#include "vadu/noise/data_source.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace sound_test;
using vadu::noise::WavData;

struct WavCase {
    const char* name;
    WavSpec spec;
    bool loaded;
    uint32_t rate, channels, frames;
};

std::string frames_of(uint32_t frames, uint32_t bytes_per_frame)
{
    std::string data;
    for (uint32_t i = 0; i < frames * bytes_per_frame; ++i)
        data += static_cast<char>(i * 7 + 1);
    return data;
}

WavSpec spec_with(std::function<void(WavSpec&)> change)
{
    WavSpec spec;
    spec.data = frames_of(10, 4);
    change(spec);
    return spec;
}

// The extensible format chunk's tail: its size (22), valid bits, speaker mask and the
// sub-format's 16 bytes, whose first two are the plain format tag it stands for.
std::string extensible(uint16_t sub_tag, bool standard_guid = true)
{
    std::string out;
    put16(out, 22);
    put16(out, 16);
    put32(out, 3);
    put16(out, sub_tag);
    out += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    if (!standard_guid)
        out[out.size() - 1] = 0x72;
    return out;
}

WavSpec tagged(uint32_t tag, uint32_t bits, std::string extension = {})
{
    return spec_with([&](WavSpec& s) {
        s.format_tag = tag;
        s.bits = bits;
        s.block_align = 2 * ((bits + 7) / 8);
        s.data = frames_of(10, s.block_align);
        s.extension = extension;
        s.format_extra = static_cast<uint32_t>(extension.size());
    });
}

TEST(WavReading, BuiltFilesLoadOrNot)
{
    const WavCase cases[] = {
        {"16-bit stereo", spec_with([](WavSpec&) {}), true, 22050, 2, 10},
        {"8-bit mono", spec_with([](WavSpec& s) {
             s.channels = 1;
             s.bits = 8;
             s.rate = 11025;
             s.data = frames_of(7, 1);
         }),
         true, 11025, 1, 7},
        {"18-byte fmt chunk", spec_with([](WavSpec& s) { s.format_extra = 2; }), true, 22050, 2, 10},
        {"odd LIST chunk, padded, before data",
         spec_with([](WavSpec& s) { s.chunks_before_data = chunk("LIST", "abc", true); }), true, 22050, 2, 10},
        {"truncated data keeps its whole frames", spec_with([](WavSpec& s) {
             s.declared_data = 40;
             s.data = frames_of(10, 4).substr(0, 23);
         }),
         true, 22050, 2, 5},
        {"bad RIFF tag", spec_with([](WavSpec& s) { s.riff = "RIFX"; }), false, 0, 0, 0},
        {"bad WAVE tag", spec_with([](WavSpec& s) { s.wave = "AVI "; }), false, 0, 0, 0},
        {"bad fmt tag", spec_with([](WavSpec& s) { s.fmt = "fmtx"; }), false, 0, 0, 0},
        {"zero channels", spec_with([](WavSpec& s) {
             s.channels = 0;
             s.block_align = 4;
         }),
         false, 0, 0, 0},
        {"block align 0", spec_with([](WavSpec& s) { s.block_align = 0xFFFF0000u; }), false, 0, 0, 0},
        {"rate 0", spec_with([](WavSpec& s) { s.rate = 0; }), false, 0, 0, 0},
        {"33 bits", spec_with([](WavSpec& s) {
             s.bits = 33;
             s.block_align = 8;
         }),
         false, 0, 0, 0},
        {"align not a multiple of channels", spec_with([](WavSpec& s) { s.block_align = 3; }), false, 0, 0, 0},
        {"align over 4 bytes a sample", spec_with([](WavSpec& s) { s.block_align = 10; }), false, 0, 0, 0},
        // Only integer PCM plays: other codings read as integers are loud noise.
        {"32-bit integer PCM", tagged(1, 32), true, 22050, 2, 10},
        {"extensible PCM, 24 bits", tagged(0xFFFE, 24, extensible(1)), true, 22050, 2, 10},
        {"extensible PCM with a longer chunk", tagged(0xFFFE, 16, extensible(1) + "xy"), true, 22050, 2, 10},
        {"32-bit float", tagged(3, 32), false, 0, 0, 0},
        {"IMA ADPCM", tagged(0x11, 4), false, 0, 0, 0},
        {"A-law", tagged(6, 8), false, 0, 0, 0},
        {"tag 0", tagged(0, 16), false, 0, 0, 0},
        {"extensible float", tagged(0xFFFE, 32, extensible(3)), false, 0, 0, 0},
        {"extensible with another GUID tail", tagged(0xFFFE, 16, extensible(1, false)), false, 0, 0, 0},
        {"extensible cut short", tagged(0xFFFE, 16, extensible(1).substr(0, 8)), false, 0, 0, 0},
    };
    for (const WavCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = wav_bytes(c.spec);
        if (c.spec.block_align == 0xFFFF0000u) {
            // A block align field of 0 (the builder would compute one).
            bytes[32] = 0;
            bytes[33] = 0;
        }
        vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
        const std::unique_ptr<WavData> data = WavData::read_stream(stream);
        EXPECT_EQ(data->loaded, c.loaded);
        if (!c.loaded)
            continue;
        EXPECT_EQ(data->rate, c.rate);
        EXPECT_EQ(data->channels, c.channels);
        EXPECT_EQ(data->samples.size() / data->block_align, c.frames);
    }
}

TEST(WavReading, StopsAtAMissingDataChunk)
{
    WavSpec spec;
    std::string bytes = wav_bytes(spec);
    bytes.resize(36 + 4); // the chunk walk finds only half a chunk header
    vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    EXPECT_FALSE(WavData::read_stream(stream)->loaded);
}

class WavFiles : public ::testing::Test {
protected:
    WavFiles() : folder_("wav"), files_(folder_files(folder_.root().string())) {}

    void write(const char* name, const std::string& bytes) { write_file(folder_.at(name), bytes); }

    test_support::TempFolder folder_;
    vadu::logs::Creator log_;
    vadu::filesystem::Creator files_;
};

TEST_F(WavFiles, DecodeEndsOnceThenRestarts)
{
    WavSpec spec;
    spec.data = pcm16({1, -1, 2, -2, 3, -3});
    write("three.wav", wav_bytes(spec));
    vadu::noise::WavDataSource source(path("three"));
    ASSERT_TRUE(source.is_loaded());
    EXPECT_EQ(source.get_length(), 3u);
    EXPECT_EQ(source.decode(2), 2u);
    EXPECT_EQ(source.decode(2), 1u);
    EXPECT_EQ(source.decode(2), 0u);
    EXPECT_EQ(source.decode(5), 3u);
    int16_t right[3] = {};
    source.get_data(vadu::noise::layout::right, right, 2, 16);
    EXPECT_EQ(right[0], -1);
    EXPECT_EQ(right[2], -3);
}

TEST_F(WavFiles, ChannelLayoutIdsPickTheChannel)
{
    WavSpec stereo;
    stereo.data = pcm16({100, 200});
    write("stereo.wav", wav_bytes(stereo));
    WavSpec mono;
    mono.channels = 1;
    mono.data = pcm16({300});
    write("mono.wav", wav_bytes(mono));
    vadu::noise::WavDataSource two(path("stereo"));
    vadu::noise::WavDataSource one(path("mono"));
    two.decode(1);
    one.decode(1);
    for (uint32_t id = 0; id <= 8; ++id) {
        SCOPED_TRACE(id);
        int16_t a = 0, b = 0;
        two.get_data(id, &a, 2, 16);
        one.get_data(id, &b, 2, 16);
        EXPECT_EQ(a, (id == 2 || id == 4 || id == 6) ? 200 : 100);
        EXPECT_EQ(b, 300);
    }
    EXPECT_TRUE(one.has_channel(0));
    EXPECT_FALSE(one.has_channel(1));
    EXPECT_TRUE(two.has_channel(2));
    EXPECT_FALSE(two.has_channel(0));
}

TEST_F(WavFiles, CacheIsSharedAndFreedWithTheLastSource)
{
    WavSpec spec;
    spec.data = pcm16({5, 6});
    write("shared.wav", wav_bytes(spec));
    {
        auto first = std::make_unique<vadu::noise::WavDataSource>(path("shared"));
        vadu::noise::WavDataSource second(path("shared"));
        EXPECT_EQ(WavData::cached_count(), 1u);
        first.reset();
        EXPECT_EQ(WavData::cached_count(), 1u);
        EXPECT_TRUE(second.is_loaded());
    }
    EXPECT_EQ(WavData::cached_count(), 0u);
    // A name that does not open leaves nothing in the cache.
    EXPECT_EQ(vadu::noise::create_data_source(path("missing")), nullptr);
    EXPECT_EQ(WavData::cached_count(), 0u);
}

TEST_F(WavFiles, WavWinsOverMp3OfTheSameName)
{
    WavSpec spec;
    spec.rate = 12345;
    spec.data = pcm16({1, 2});
    write("music/both.wav", wav_bytes(spec));
    write("music/both.mp3", std::string("\xFF\xFB\x90\x00", 4) + std::string(400, '\0'));
    std::unique_ptr<vadu::noise::DataSource> source(vadu::noise::create_data_source(path("music/both")));
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->get_frequency(), 12345u);
}

TEST(SampleConversion, WidthsAndSigns)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> source;
        uint32_t source_bits, source_bytes, destination_bits, destination_bytes;
        std::vector<uint8_t> expected;
    };
    const Case cases[] = {
        {"8-bit 128 is 0", {128}, 8, 1, 16, 2, {0x00, 0x00}},
        {"8-bit 255", {255}, 8, 1, 16, 2, {0x00, 0x7F}},
        {"8-bit 0", {0}, 8, 1, 16, 2, {0x00, 0x80}},
        {"16 to 8 bits", {0x34, 0x12}, 16, 2, 8, 1, {0x92}},
        {"16 to 16 bits", {0x34, 0x12}, 16, 2, 16, 2, {0x34, 0x12}},
        {"24 to 16 bits", {0x56, 0x34, 0x12}, 24, 3, 16, 2, {0x34, 0x12}},
        {"32 to 16 bits", {0x78, 0x56, 0x34, 0x92}, 32, 4, 16, 2, {0x34, 0x92}},
        {"16 to 32 bits", {0x34, 0x12}, 16, 2, 32, 4, {0, 0, 0x34, 0x12}},
        {"12 valid bits keep their top", {0xFF, 0x7F}, 12, 2, 16, 2, {0xF0, 0x7F}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> out(c.destination_bytes, 0xEE);
        vadu::noise::convert_samples(c.source.data(), c.source_bytes, c.source_bits, c.source_bytes, out.data(),
                                     c.destination_bytes, c.destination_bits, c.destination_bytes, 1);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(SampleConversion, StridesLeaveTheOtherBytesAlone)
{
    const int16_t source[3] = {0x0102, 0x0304, 0x0506};
    int16_t destination[6] = {9, 9, 9, 9, 9, 9};
    vadu::noise::convert_samples(source, 2, 16, 2, destination, 4, 16, 2, 3);
    EXPECT_EQ(destination[0], 0x0102);
    EXPECT_EQ(destination[1], 9);
    EXPECT_EQ(destination[4], 0x0506);
    EXPECT_EQ(destination[5], 9);
}

} // namespace
