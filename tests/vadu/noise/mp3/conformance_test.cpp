// Our decoder against the reference library on lame-made fixtures, and on damaged streams.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

#include "vadu/noise/mp3/mp3_test_support.h"

namespace {

const char* const conformance_fixtures[] = {"js128", "ms",     "st48",  "mono32", "dual",  "crc",   "nores",
                                            "vbr",   "short",  "loud",  "quiet",  "lsf22", "lsf24", "lsf16"};

struct Comparison {
    int largest_difference = 0;
    double psnr = 0.0;
    bool clipped = false;  // either side sits at full scale somewhere they differ
};

Comparison compare(const std::vector<int16_t>& ours, const std::vector<int16_t>& reference)
{
    Comparison c;
    double error = 0.0;
    const size_t n = std::min(ours.size(), reference.size());
    for (size_t i = 0; i < n; ++i) {
        int d = std::abs(int(ours[i]) - int(reference[i]));
        if (d > 2 && (std::abs(int(ours[i])) >= 32767 || std::abs(int(reference[i])) >= 32767))
            c.clipped = true;
        c.largest_difference = std::max(c.largest_difference, d);
        error += double(d) * d;
    }
    c.psnr = error == 0.0 ? 200.0 : 10.0 * std::log10(32767.0 * 32767.0 / (error / double(n)));
    return c;
}

TEST(Mp3Conformance, MatchesTheReferenceOnEveryFixture)
{
    for (const char* name : conformance_fixtures) {
        const std::vector<uint8_t> bytes = mp3_test::read_file(mp3_test::fixture_path(name));
        ASSERT_FALSE(bytes.empty()) << name;
        const mp3_test::Pcm ours = mp3_test::decode_ours(bytes);
        const mp3_test::Pcm reference = mp3_test::decode_reference(bytes);
        ASSERT_TRUE(ours.opened) << name;
        ASSERT_TRUE(reference.opened) << name;
        EXPECT_EQ(ours.channels, reference.channels) << name;
        EXPECT_EQ(ours.rate, reference.rate) << name;
        ASSERT_EQ(ours.samples.size(), reference.samples.size()) << name;
        const Comparison c = compare(ours.samples, reference.samples);
        if (c.clipped)
            EXPECT_GE(c.psnr, 90.0) << name;
        else
            EXPECT_LE(c.largest_difference, 2) << name << " (PSNR " << c.psnr << " dB)";
    }
}

TEST(Mp3Conformance, FixturesExerciseEveryHuffmanTree)
{
    std::array<uint32_t, 34> uses{};
    for (const char* name : conformance_fixtures) {
        const mp3_test::Pcm ours = mp3_test::decode_ours(mp3_test::read_file(mp3_test::fixture_path(name)));
        for (size_t i = 0; i < uses.size(); ++i)
            uses[i] += ours.table_uses[i];
    }
    std::ostringstream report;
    for (size_t i = 0; i < uses.size(); ++i)
        report << (i < 32 ? "table " + std::to_string(i) : i == 32 ? std::string("count-1 A") : std::string("count-1 B"))
               << ": " << uses[i] << (i % 6 == 5 ? "\n" : ", ");
    std::cout << "Huffman tables used by the fixtures:\n" << report.str() << "\n";

    auto family = [&](int first, int last) {
        uint32_t sum = 0;
        for (int i = first; i <= last; ++i)
            sum += uses[i];
        return sum;
    };
    for (int table : {1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15})
        EXPECT_GT(uses[table], 0u) << "table " << table << " never decoded a value";
    EXPECT_GT(family(16, 23), 0u) << "the tree of tables 16-23 never decoded a value";
    EXPECT_GT(family(24, 31), 0u) << "the tree of tables 24-31 never decoded a value";
    EXPECT_GT(uses[32], 0u) << "count-1 table A never used";
    EXPECT_GT(uses[33], 0u) << "count-1 table B never used";
}

TEST(Mp3Conformance, FullScaleInputSaturates)
{
    const mp3_test::Pcm ours = mp3_test::decode_ours(mp3_test::read_file(mp3_test::fixture_path("loud")));
    ASSERT_TRUE(ours.opened);
    EXPECT_NE(std::find(ours.samples.begin(), ours.samples.end(), int16_t(32767)), ours.samples.end());
    EXPECT_NE(std::find(ours.samples.begin(), ours.samples.end(), int16_t(-32768)), ours.samples.end());
}

TEST(Mp3Conformance, SingleChannelStreamGivesOneChannel)
{
    const mp3_test::Pcm ours = mp3_test::decode_ours(mp3_test::read_file(mp3_test::fixture_path("lsf24")));
    ASSERT_TRUE(ours.opened);
    EXPECT_EQ(ours.channels, 1);
    for (size_t frame_samples : ours.frame_sizes)
        EXPECT_TRUE(frame_samples == 0 || frame_samples == 576) << frame_samples;
}

TEST(Mp3Conformance, InfoFramePlaysAsSilenceAfterTheTag)
{
    const mp3_test::Pcm ours = mp3_test::decode_ours(mp3_test::read_file(mp3_test::fixture_path("tagged")));
    ASSERT_TRUE(ours.opened);
    ASSERT_GT(ours.frame_sizes.size(), 10u);
    ASSERT_EQ(ours.frame_sizes[0], 2304u);
    for (size_t i = 0; i < 2304; ++i)
        ASSERT_EQ(ours.samples[i], 0) << i;
    int loudest = 0;
    for (int16_t s : ours.samples)
        loudest = std::max(loudest, std::abs(int(s)));
    EXPECT_GT(loudest, 1000);
}

// Offsets of the frames, found by reading the headers.
std::vector<size_t> frame_offsets(const std::vector<uint8_t>& bytes)
{
    using namespace vadu::noise::mp3;
    std::vector<size_t> offsets;
    vadu::filesystem::MemoryStream stream(bytes);
    BitReader reader(&stream);
    Header header;
    while (header.read(reader))
        offsets.push_back(stream.get_position() - header.frame_size - 4);
    return offsets;
}

TEST(Mp3Conformance, StreamCutAtAFrameStartsWhereItsMainDataIsWhole)
{
    const std::vector<uint8_t> bytes = mp3_test::read_file(mp3_test::fixture_path("js128"));
    const mp3_test::Pcm full = mp3_test::decode_ours(bytes);
    const std::vector<size_t> offsets = frame_offsets(bytes);
    ASSERT_GT(offsets.size(), 40u);

    bool some_cut_skipped_a_frame = false;
    for (size_t cut : {7u, 20u, 33u}) {
        std::vector<uint8_t> tail(bytes.begin() + static_cast<long>(offsets[cut]), bytes.end());
        const mp3_test::Pcm cut_pcm = mp3_test::decode_ours(tail);
        ASSERT_TRUE(cut_pcm.opened);
        ASSERT_EQ(cut_pcm.frame_sizes.size(), offsets.size() - cut);
        size_t first = 0;
        while (first < cut_pcm.frame_sizes.size() && cut_pcm.frame_sizes[first] == 0)
            ++first;
        some_cut_skipped_a_frame |= first > 0;
        // Every frame from the first one decoded gives samples; the first differs only by
        // the state (overlap, filter history) the cut removed.
        ASSERT_LT(first + 1, cut_pcm.frame_sizes.size());
        const size_t per_frame = 2304;
        const size_t from = (first + 1) * per_frame;
        const size_t full_from = (cut + first + 1) * per_frame;
        ASSERT_EQ(cut_pcm.samples.size(), (cut_pcm.frame_sizes.size() - first) * per_frame);
        std::vector<int16_t> expected(full.samples.begin() + static_cast<long>(full_from), full.samples.end());
        std::vector<int16_t> got(cut_pcm.samples.begin() + static_cast<long>(from - first * per_frame),
                                 cut_pcm.samples.end());
        EXPECT_EQ(got, expected) << "cut at frame " << cut;
    }
    EXPECT_TRUE(some_cut_skipped_a_frame);
}

TEST(Mp3Conformance, DamagedStreamsEndCleanly)
{
    const std::vector<uint8_t> original = mp3_test::read_file(mp3_test::fixture_path("short"));
    const std::vector<size_t> offsets = frame_offsets(original);
    ASSERT_GT(offsets.size(), 30u);
    std::mt19937 random(7);
    auto random_bytes = [&](size_t n) {
        std::vector<uint8_t> bytes(n);
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(random());
        return bytes;
    };

    std::vector<std::pair<std::string, std::vector<uint8_t>>> cases;
    for (size_t cut : {size_t(5), original.size() / 3, original.size() - 7})
        cases.emplace_back("truncated at " + std::to_string(cut),
                           std::vector<uint8_t>(original.begin(), original.begin() + static_cast<long>(cut)));
    {
        std::vector<uint8_t> spliced = original;
        std::vector<uint8_t> junk = random_bytes(3000);
        spliced.insert(spliced.begin() + static_cast<long>(offsets[12] + 100), junk.begin(), junk.end());
        cases.emplace_back("garbage spliced into a frame", spliced);
    }
    {
        // Random side information in every frame: tables 4 and 14, huge big-values counts,
        // switched windows of block type 0, region counts past the bands.
        std::vector<uint8_t> scrambled = original;
        for (size_t offset : offsets)
            for (size_t i = offset + 4; i < offset + 36 && i < scrambled.size(); ++i)
                scrambled[i] = static_cast<uint8_t>(random());
        cases.emplace_back("scrambled side information", scrambled);
    }
    {
        std::vector<uint8_t> random_body = original;
        for (size_t offset : offsets)
            for (size_t i = offset + 4; i < offset + 400 && i < random_body.size(); ++i)
                random_body[i] = static_cast<uint8_t>(random());
        cases.emplace_back("random frame bodies behind valid headers", random_body);
    }
    for (int seed = 0; seed < 4; ++seed) {
        std::vector<uint8_t> noise = random_bytes(20000);
        noise[0] = 0xFF;
        noise[1] = 0xFB;
        noise[2] = 0x90;
        cases.emplace_back("random bytes after a header " + std::to_string(seed), noise);
    }

    for (const auto& [what, bytes] : cases) {
        const mp3_test::Pcm pcm = mp3_test::decode_ours(bytes);
        // Nothing decodes beyond one frame's worth per frame read.
        for (size_t frame_samples : pcm.frame_sizes)
            EXPECT_LE(frame_samples, 2304u) << what;
        EXPECT_LE(pcm.frame_sizes.size(), bytes.size() / 48 + 1) << what;
    }
}

} // namespace
