// The decoding stages lame never exercises (intensity stereo, mixed blocks) and the
// transforms, against hand-computed values or their definitions in double precision.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "vadu/noise/mp3/layer3.h"
#include "vadu/noise/mp3/synthesis.h"
#include "vadu/noise/mp3/tables.h"

namespace {

using namespace vadu::noise::mp3;
const double pi = 3.14159265358979323846;

std::vector<float> random_values(int n, unsigned seed, float scale = 1.0f)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-scale, scale);
    std::vector<float> out(n);
    for (float& v : out)
        v = value(random);
    return out;
}

TEST(Mp3Stages, InverseMdctsMatchTheirDefinitions)
{
    for (unsigned seed = 1; seed <= 3; ++seed) {
        std::vector<float> in = random_values(18, seed);
        float out[36];
        layer3::imdct36(in.data(), out);
        for (int i = 0; i < 36; ++i) {
            double expected = 0.0;
            for (int k = 0; k < 18; ++k)
                expected += in[k] * std::cos(pi / 72 * (2 * i + 1 + 18) * (2 * k + 1));
            EXPECT_NEAR(out[i], expected, 1e-4) << "36-point, output " << i;
        }
        float out12[12];
        layer3::imdct12(in.data(), out12);
        for (int i = 0; i < 12; ++i) {
            double expected = 0.0;
            for (int k = 0; k < 6; ++k)
                expected += in[k] * std::cos(pi / 24 * (2 * i + 1 + 6) * (2 * k + 1));
            EXPECT_NEAR(out12[i], expected, 1e-5) << "12-point, output " << i;
        }
    }
}

// The synthesis as the standard writes it: a 1024-value FIFO, matrixing, windowing.
TEST(Mp3Stages, SynthesisMatchesItsDefinition)
{
    const float* d = synthesis_window();
    std::vector<double> fifo(1024, 0.0);
    SynthesisFilter filter(0);
    for (int slot = 0; slot < 40; ++slot) {
        std::vector<float> s = random_values(32, 100 + slot, 0.05f);
        for (int i = 1023; i >= 64; --i)
            fifo[i] = fifo[i - 64];
        for (int i = 0; i < 64; ++i) {
            double v = 0.0;
            for (int k = 0; k < 32; ++k)
                v += std::cos((16 + i) * (2 * k + 1) * pi / 64) * s[k];
            fifo[i] = v;
        }
        double u[512];
        for (int i = 0; i < 8; ++i)
            for (int j = 0; j < 32; ++j) {
                u[i * 64 + j] = fifo[i * 128 + j];
                u[i * 64 + 32 + j] = fifo[i * 128 + 96 + j];
            }
        int16_t ours[32];
        filter.input_all(s.data());
        filter.compute(ours);
        for (int j = 0; j < 32; ++j) {
            double sum = 0.0;
            for (int i = 0; i < 16; ++i)
                sum += u[j + 32 * i] * d[j + 32 * i];
            double expected = std::trunc(std::clamp(sum * 32768.0, -32768.0, 32767.0));
            EXPECT_NEAR(ours[j], expected, 1.0) << "slot " << slot << " sample " << j;
        }
    }
}

TEST(Mp3Stages, SynthesisSaturatesInsteadOfWrapping)
{
    SynthesisFilter filter(0);
    int16_t out[32];
    bool high = false, low = false;
    for (int slot = 0; slot < 32; ++slot) {
        float s[32] = {};
        s[0] = slot % 2 ? 40.0f : -40.0f;
        filter.input_all(s);
        filter.compute(out);
        for (int16_t v : out) {
            high |= v == 32767;
            low |= v == -32768;
        }
    }
    EXPECT_TRUE(high);
    EXPECT_TRUE(low);
}

GranuleInfo long_granule()
{
    GranuleInfo gi;
    gi.big_values = 288;
    return gi;
}

TEST(Mp3Stages, Mpeg1IntensityUsesTangentRatiosAndPositionSevenMeansNone)
{
    // 44.1 kHz long bands: the right channel holds data in band 0 only, so bands 1.. are
    // intensity-coded with the positions below.
    const int rate_table = 3;
    const uint16_t* edges = long_band_edges[rate_table];
    ScaleFactors sf;
    const int positions[] = {0, 3, 6, 7, 2};
    for (int i = 0; i < 5; ++i)
        sf.l[1 + i] = static_cast<uint8_t>(positions[i]);
    float xr[2][576] = {};
    for (int i = 0; i < 576; ++i)
        xr[0][i] = 1.0f + i % 7;
    xr[1][1] = 0.5f;
    int nonzero[2] = {576, 4};
    layer3::StereoSetting setting;
    setting.mpeg1 = true;
    setting.mode_extension = 1;
    setting.rate_table = rate_table;
    layer3::process_stereo(setting, long_granule(), sf, xr, nonzero);

    struct Expect {
        int band;
        double left, right;  // factors of the left input
    } expected[] = {
        {1, 0.0, 1.0},                                           // tan 0 = 0
        {2, 0.5, 0.5},                                           // tan(pi/4) = 1
        {3, 1.0, 0.0},                                           // tan(pi/2): all left
        {4, 1.0, 0.0},                                           // position 7: untouched, right stays 0
        {5, std::tan(pi / 6) / (1 + std::tan(pi / 6)), 1 / (1 + std::tan(pi / 6))},
    };
    for (const Expect& e : expected) {
        for (int i = edges[e.band]; i < edges[e.band + 1]; ++i) {
            float input = 1.0f + i % 7;
            EXPECT_NEAR(xr[0][i], input * e.left, 1e-5) << "band " << e.band << " line " << i;
            EXPECT_NEAR(xr[1][i], input * e.right, 1e-5) << "band " << e.band << " line " << i;
        }
    }
    // Band 0 holds right-channel data: left as it was.
    EXPECT_FLOAT_EQ(xr[0][0], 1.0f);
    EXPECT_FLOAT_EQ(xr[1][1], 0.5f);
}

TEST(Mp3Stages, LowerRateIntensityUsesPowersOfTwo)
{
    const int rate_table = 0;  // 22.05 kHz
    const uint16_t* edges = long_band_edges[rate_table];
    ScaleFactors sf;
    for (int b = 0; b < 23; ++b)
        sf.l_max[b] = 7;  // three-bit fields: 7 means no intensity
    const int positions[] = {0, 1, 2, 3, 7};
    for (int i = 0; i < 5; ++i)
        sf.l[1 + i] = static_cast<uint8_t>(positions[i]);
    for (int scale = 0; scale < 2; ++scale) {
        float xr[2][576] = {};
        for (int i = 0; i < 576; ++i)
            xr[0][i] = 2.0f;
        xr[1][0] = 1.0f;
        int nonzero[2] = {576, 2};
        layer3::StereoSetting setting;
        setting.mpeg1 = false;
        setting.mode_extension = 1;
        setting.rate_table = rate_table;
        setting.intensity_scale = scale;
        layer3::process_stereo(setting, long_granule(), sf, xr, nonzero);
        const double io = scale == 0 ? std::pow(2.0, -0.25) : std::sqrt(0.5);
        struct Expect {
            int band;
            double left, right;
        } expected[] = {{1, 1.0, 1.0}, {2, io, 1.0}, {3, 1.0, io}, {4, io * io, 1.0}, {5, 1.0, 0.0}};
        for (const Expect& e : expected) {
            int i = edges[e.band];
            EXPECT_NEAR(xr[0][i], 2.0 * e.left, 1e-5) << "scale " << scale << " band " << e.band;
            EXPECT_NEAR(xr[1][i], 2.0 * e.right, 1e-5) << "scale " << scale << " band " << e.band;
        }
    }
}

TEST(Mp3Stages, MidSideGivesSumAndDifferenceOverRootTwo)
{
    float xr[2][576] = {};
    xr[0][5] = 3.0f;
    xr[1][5] = 1.0f;
    int nonzero[2] = {8, 8};
    layer3::StereoSetting setting;
    setting.mode_extension = 2;
    layer3::process_stereo(setting, long_granule(), ScaleFactors{}, xr, nonzero);
    EXPECT_NEAR(xr[0][5], 4.0 / std::sqrt(2.0), 1e-6);
    EXPECT_NEAR(xr[1][5], 2.0 / std::sqrt(2.0), 1e-6);
}

GranuleInfo mixed_granule()
{
    GranuleInfo gi;
    gi.window_switching = 1;
    gi.block_type = 2;
    gi.mixed_block = 1;
    return gi;
}

TEST(Mp3Stages, MixedBlocksKeepTheirLongPartAndOneAliasBoundary)
{
    const GranuleInfo gi = mixed_granule();
    std::vector<float> input = random_values(576, 9);
    std::vector<float> xr = input;
    float scratch[576];
    layer3::reorder(gi, 3, xr.data(), scratch);
    for (int i = 0; i < 36; ++i)
        ASSERT_EQ(xr[i], input[i]) << "long part moved at " << i;
    // The short part is regrouped: short band 3, window 1, first line goes to 3 * 12 + 1.
    EXPECT_EQ(xr[3 * 12 + 1], input[36 + 4]);

    std::vector<float> before = xr;
    layer3::alias_reduce(gi, xr.data(), 32);
    const ComputedTables& t = computed_tables();
    for (int i = 0; i < 8; ++i) {
        EXPECT_NEAR(xr[17 - i], before[17 - i] * t.cs[i] - before[18 + i] * t.ca[i], 1e-6);
        EXPECT_NEAR(xr[18 + i], before[18 + i] * t.cs[i] + before[17 - i] * t.ca[i], 1e-6);
    }
    for (int i = 26; i < 576; ++i)
        ASSERT_EQ(xr[i], before[i]) << "butterfly beyond the first boundary at " << i;

    // Subbands 0 and 1 take the long transform, the rest three short ones.
    float overlap[576] = {};
    float out[18][32];
    layer3::hybrid(gi, xr.data(), overlap, out, 32);
    float z[36];
    layer3::imdct36(xr.data() + 18, z);
    for (int i = 0; i < 18; ++i) {
        float expected = z[i] * t.window36[0][i] * ((i & 1) ? -1.0f : 1.0f);  // subband 1 is odd
        EXPECT_NEAR(out[i][1], expected, 1e-4) << i;
    }
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(out[i][2], 0.0f) << "short blocks start 6 samples in";
}

TEST(Mp3Stages, PureShortBlocksHaveNoAliasButterflies)
{
    GranuleInfo gi = mixed_granule();
    gi.mixed_block = 0;
    std::vector<float> xr = random_values(576, 11);
    std::vector<float> before = xr;
    layer3::alias_reduce(gi, xr.data(), 32);
    EXPECT_EQ(xr, before);
}

TEST(Mp3Stages, LongBlocksButterflyEveryBoundary)
{
    GranuleInfo gi = long_granule();
    std::vector<float> xr(576, 0.0f);
    for (int sb = 1; sb < 32; ++sb)
        xr[18 * sb] = 1.0f;  // first line of each upper subband
    layer3::alias_reduce(gi, xr.data(), 32);
    const ComputedTables& t = computed_tables();
    for (int sb = 1; sb < 32; ++sb) {
        EXPECT_NEAR(xr[18 * sb], t.cs[0], 1e-6) << sb;
        EXPECT_NEAR(xr[18 * sb - 1], -t.ca[0], 1e-6) << sb;
    }
}

TEST(Mp3Stages, OutputBufferInterleavesAndKeepsTheSurplus)
{
    OutputBuffer out(2);
    int16_t left[8], right[8];
    for (int i = 0; i < 8; ++i) {
        left[i] = static_cast<int16_t>(i);
        right[i] = static_cast<int16_t>(100 + i);
    }
    int16_t first[10] = {};
    EXPECT_EQ(out.start(first, 10), 0u);
    out.append(0, left, 8);
    out.append(1, right, 8);
    out.end_frame();
    EXPECT_TRUE(out.full());
    EXPECT_EQ(out.written(), 10u);
    const int16_t expected_first[10] = {0, 100, 1, 101, 2, 102, 3, 103, 4, 104};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(first[i], expected_first[i]) << i;

    // The surplus opens the next request, even a smaller one, and keeps its order.
    int16_t second[4] = {};
    EXPECT_EQ(out.start(second, 4), 4u);
    const int16_t expected_second[4] = {5, 105, 6, 106};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(second[i], expected_second[i]) << i;
    int16_t third[6] = {};
    EXPECT_EQ(out.start(third, 6), 2u);
    EXPECT_EQ(third[0], 7);
    EXPECT_EQ(third[1], 107);
}

} // namespace
