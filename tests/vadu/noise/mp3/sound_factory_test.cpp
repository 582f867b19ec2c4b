// MP3 files through the sound factory and the hardware: found by name after WAV, played
// whole as a static "2D" effect, streamed as music.

#include <gtest/gtest.h>

#include <memory>

#include "platform/modules.h"
#include "vadu/noise/directx8.h"
#include "vadu/noise/data_source.h"
#include "vadu/noise/mp3/mp3_data_source.h"
#include "vadu/noise/mp3/mp3_test_support.h"
#include "vadu/noise/sound_test_support.h"

namespace {

using namespace sound_test;
namespace ds = platform::sound;

class Mp3Sounds : public ::testing::Test {
protected:
    Mp3Sounds() : folder_("mp3-sound") {}
    ~Mp3Sounds() override { platform::clear_module_failures(); }

    std::vector<uint8_t> install(const std::string& fixture, const std::string& as)
    {
        std::vector<uint8_t> bytes = mp3_test::read_file(mp3_test::fixture_path(fixture));
        write_file(folder_.at(as + ".mp3"), std::string(bytes.begin(), bytes.end()));
        return bytes;
    }

    test_support::TempFolder folder_;
};

TEST_F(Mp3Sounds, FactoryOpensTheMp3WhenNoWavHasTheName)
{
    install("lsf22", "music/danger");
    vadu::logs::Creator log;
    vadu::filesystem::Creator files(folder_files(folder_.root().string()));
    std::unique_ptr<vadu::noise::DataSource> source(vadu::noise::create_data_source(path("music/danger")));
    ASSERT_NE(source, nullptr);
    EXPECT_NE(dynamic_cast<vadu::noise::Mp3DataSource*>(source.get()), nullptr);
    EXPECT_EQ(source->get_frequency(), 22050u);
    EXPECT_GT(source->decode(1000), 0u);
    // A file that is not an MP3 this decoder plays is no source at all.
    install("mpeg25", "music/low");
    EXPECT_EQ(vadu::noise::create_data_source(path("music/low")), nullptr);
}

TEST_F(Mp3Sounds, StaticEffectPlaysAndLogsWhenTheEstimateRunsPastTheEnd)
{
    install("short", "click");
    auto rig = std::make_unique<Rig>(folder_.root().string());
    ASSERT_NE(Rig::hardware(), nullptr);
    std::unique_ptr<vadu::noise::Channel> channel(
        Rig::hardware()->create_static_channel(vadu::noise::atoms::Type2D, path("click")));
    // The length is an estimate from the file size; what decodes is a little less.
    EXPECT_NE(rig->log_text().find("SoundSource failed to decode promissed number of samples: click\n"),
              std::string::npos)
        << rig->log_text();
    channel->change_attribute(vadu::noise::atoms::Loop, 0.0);
    ds::set_recording(true);
    channel->play(nullptr);
    ds::run_mixer(44100);
    const std::vector<int16_t> out = ds::take_recording();
    ds::set_recording(false);
    int loudest = 0;
    for (int16_t s : out)
        loudest = std::max(loudest, std::abs(int(s)));
    EXPECT_GT(loudest, 1000);
}

TEST_F(Mp3Sounds, StreamedMusicReachesTheMixerAsDecoded)
{
    // 22.05 kHz stereo: the mixer's own format, so nothing is resampled on the way.
    install("lsf22", "danger");
    auto rig = std::make_unique<Rig>(folder_.root().string());
    ASSERT_NE(Rig::hardware(), nullptr);
    std::vector<int16_t> expected;
    {
        vadu::noise::Mp3DataSource source(path("danger"));
        ASSERT_FALSE(source.failed());
        std::vector<int16_t> left(4096), right(4096);
        while (uint32_t n = source.decode(4096)) {
            source.get_data(vadu::noise::layout::left, left.data(), 2, 16);
            source.get_data(vadu::noise::layout::right, right.data(), 2, 16);
            for (uint32_t i = 0; i < n; ++i) {
                expected.push_back(left[i]);
                expected.push_back(right[i]);
            }
        }
    }
    ASSERT_GT(expected.size(), 22050u * 2);

    std::unique_ptr<vadu::noise::Channel> channel(Rig::hardware()->create_stream_channel(vadu::noise::atoms::Type2D));
    channel->change_attribute(vadu::noise::atoms::Loop, 0.0);
    channel->play(vadu::noise::create_data_source(path("danger")));
    ds::set_recording(true);
    uint64_t mixed = 0;
    for (int step = 0; step < 800 && !channel->is_finished(); ++step) {
        const uint64_t target = (step + 1) * 22050ull / 40;
        while (mixed + 512 <= target) {
            ds::run_mixer(512);
            mixed += 512;
        }
        Rig::hardware()->update(0.025);
    }
    const std::vector<int16_t> out = ds::take_recording();
    ds::set_recording(false);
    EXPECT_TRUE(channel->is_finished());
    ASSERT_GE(out.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
}

} // namespace
