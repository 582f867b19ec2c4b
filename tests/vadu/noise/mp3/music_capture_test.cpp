// The danger theme as the game asks for it: the music fader switches from a WAV theme to
// an MP3 one on the software-mixed device, and once the fade is over the device's output
// is the MP3's decoded samples, untouched.

#include "../sound_test_support.h"
#include "vadu/noise/mp3/mp3_data_source.h"
#include "vadu/noise/music_fader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace {

using namespace sound_test;
using namespace vadu::noise;
namespace ds = platform::sound;

constexpr uint32_t rate = 22050;
constexpr int steps_per_second = 50;
constexpr uint32_t frames_per_step = rate / steps_per_second;

// Every interleaved sample the decoder gives for a file.
std::vector<int16_t> decode_all(const vadu::filesystem::String& name)
{
    Mp3DataSource source(name);
    EXPECT_FALSE(source.failed());
    std::vector<int16_t> out;
    std::vector<int16_t> left(1152), right(1152);
    while (uint32_t frames = source.decode(1152)) {
        left.resize(frames);
        right.resize(frames);
        source.get_data(layout::left, left.data(), 2, 16);
        source.get_data(layout::right, right.data(), 2, 16);
        for (uint32_t i = 0; i < frames; ++i) {
            out.push_back(left[i]);
            out.push_back(right[i]);
        }
    }
    return out;
}

TEST(MusicCapture, DangerThemeAfterTheFadeIsTheDecodedMp3)
{
    test_support::TempFolder folder("danger");
    // A quiet square wave as the main theme, so that the change is visible.
    std::vector<int16_t> tone;
    for (uint32_t i = 0; i < rate; ++i) {
        const int16_t v = (i / 50) % 2 ? 3000 : -3000;
        tone.push_back(v);
        tone.push_back(v);
    }
    WavSpec spec;
    spec.data = pcm16(tone);
    write_file(folder.at("music/main_theme.wav"), wav_bytes(spec));
    std::filesystem::copy_file(std::string(QUILLO_MP3_FIXTURES) + "/lsf22.mp3", folder.at("music/danger_theme.mp3"));

    Rig rig(folder.root().string());
    const std::vector<int16_t> decoded = decode_all(path("music/danger_theme"));
    ASSERT_GT(decoded.size(), size_t{rate} * 2 * 3) << "the fixture is shorter than the test needs";

    MusicFader fader(2.0);
    auto step = [&] {
        fader.update(1.0 / steps_per_second);
        Rig::hardware()->update(1.0 / steps_per_second);
        ds::run_mixer(frames_per_step);
    };
    fader.set_track(path("music/main_theme"));
    for (int i = 0; i < steps_per_second; ++i)
        step();
    fader.set_track(path("music/danger_theme"));
    // The fade out and back in takes the fader's two seconds; a little more for the stream's
    // buffering.
    for (int i = 0; i < steps_per_second * 5 / 2; ++i)
        step();
    ASSERT_EQ(fader.get_current_track(), path("music/danger_theme"));
    ASSERT_EQ(fader.get_level(), 1.0);

    ds::set_recording(true);
    for (int i = 0; i < steps_per_second / 2; ++i)
        step();
    const std::vector<int16_t> heard = ds::take_recording();
    ds::set_recording(false);
    ASSERT_EQ(heard.size(), size_t{frames_per_step} * steps_per_second / 2 * 2);
    ASSERT_NE(*std::max_element(heard.begin(), heard.end()), 0) << "nothing plays after the fade";

    // The half second heard is one stretch of the decoded theme, sample for sample.
    const auto at = std::search(decoded.begin(), decoded.end(), heard.begin(), heard.end());
    ASSERT_NE(at, decoded.end()) << "the output is not the decoded theme";
    EXPECT_EQ((at - decoded.begin()) % 2, 0) << "left and right are swapped";
}

} // namespace
