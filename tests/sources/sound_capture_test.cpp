// The demo's sound over the program's real data, headless, with a stepped clock and the device's
// WAV capture: the main theme from the start, a click where the player clicks, silence
// while the window is inactive, an effect loud enough to clip that saturates instead of
// wrapping, and the same bytes on every run.

#include "fixtures/demo_application.h"

#include "platform/clock.h"
#include "platform/sound/hooks.h"
#include "program_folder.h"
#include "support/temp_folder.h"
#include "vadu/filesystem.h"
#include "vadu/noise/data_source.h"
#include "vadu/noise/noise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int frames_per_second = 30;
constexpr int output_rate = 22050;

// One tick per frame: the device mixes exactly a frame's worth at each step.
struct FrameClock : platform::TickSource {
    bool query_performance_counter(int64_t* ticks) override
    {
        *ticks = frame;
        return true;
    }
    bool query_performance_frequency(int64_t* per_second) override
    {
        *per_second = frames_per_second;
        return true;
    }
    uint32_t get_tick_count() override { return static_cast<uint32_t>(frame * 1000 / frames_per_second); }
    int64_t frame = 0;
};

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// Interleaved samples after the 44-byte header the capture writes.
std::vector<int16_t> samples_of(const std::string& wav)
{
    std::vector<int16_t> out((wav.size() - 44) / 2);
    std::memcpy(out.data(), wav.data() + 44, out.size() * 2);
    return out;
}

size_t at_second(double seconds)
{
    return static_cast<size_t>(seconds * output_rate) * 2;
}

class SoundCapture : public game_test::ProgramFolderTest {
protected:
    struct Script {
        bool click = true;
        bool loud = true;
    };

    // Seven seconds: a left click at 1 s, inactive from 2 s to 3.5 s, the loudest
    // effect at 5 s. Returns the capture file's bytes.
    std::string run(const Script& script, const std::string& file)
    {
        FrameClock clock;
        platform::set_tick_source(&clock);
        ::setenv("QUILLO_AUDIO_CAPTURE", file.c_str(), 1);
        {
            DemoApplication app(private_name("sound").c_str(), "-nofullscreen");
            for (int frame = 0; frame < frames_per_second * 7; ++frame) {
                if (frame == 30 && script.click) {
                    app.handle_message(platform::wm::LBUTTONDOWN, 0, 0);
                    app.handle_message(platform::wm::LBUTTONUP, 0, 0);
                }
                if (frame == 60)
                    app.handle_message(platform::wm::ACTIVATE, platform::WA_INACTIVE, 0);
                if (frame == 105)
                    app.handle_message(platform::wm::ACTIVATE, platform::WA_ACTIVE, 0);
                if (frame == 150 && script.loud) {
                    std::unique_ptr<vadu::noise::Channel> loud(vadu::noise::Manager::create_immortal_static_channel(
                        vadu::noise::atoms::Type2D, vadu::filesystem::String("data/sounds/lightning_strike", true)));
                    loud->change_attribute(vadu::noise::atoms::Loop, 0.0);
                    loud->play(nullptr);
                }
                ++clock.frame;
                app.Update(1.0 / frames_per_second);
            }
        }
        ::unsetenv("QUILLO_AUDIO_CAPTURE");
        platform::set_tick_source(nullptr);
        return read_file(file);
    }

    test_support::TempFolder folder_{"capture"};
};

TEST_F(SoundCapture, MusicClicksSilenceAndALoudPassage)
{
    const std::string first = run({}, folder_.at("first.wav"));
    const std::string second = run({}, folder_.at("second.wav"));
    const std::string quiet = run({false, false}, folder_.at("quiet.wav"));
    ASSERT_GT(first.size(), 44u + at_second(6.9) * 2);
    EXPECT_TRUE(first == second) << "the capture differs between two runs";

    const std::vector<int16_t> mix = samples_of(first);
    const std::vector<int16_t> music = samples_of(quiet);
    ASSERT_EQ(mix.size(), music.size());
    auto loudest = [](const std::vector<int16_t>& s, size_t from, size_t to) {
        int peak = 0;
        for (size_t i = from; i < to && i < s.size(); ++i)
            peak = std::max(peak, std::abs(int{s[i]}));
        return peak;
    };
    // The theme plays from the first frame on.
    EXPECT_GT(loudest(music, at_second(0.1), at_second(1.0)), 1000);
    // The click is the only difference around 1 s, and nothing differs before it.
    auto first_difference = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            if (mix[i] != music[i])
                return i;
        }
        return to;
    };
    const size_t click = first_difference(0, at_second(2.0));
    EXPECT_GE(click, at_second(1.0));
    EXPECT_LT(click, at_second(1.1));
    EXPECT_EQ(first_difference(click + at_second(0.2), at_second(5.0)), at_second(5.0));
    // Nothing at all while the window is inactive (the fader's volume reaches the
    // channel at the next frame).
    EXPECT_EQ(loudest(mix, at_second(2.1), at_second(3.5)), 0);
    EXPECT_GT(loudest(mix, at_second(3.6), at_second(4.9)), 1000);

    // The loud effect: exactly music plus effect, saturated where it clips.
    const std::string effect_bytes =
        read_file(std::string(QUILLO_PROGRAM_FOLDER) + "/data/sounds/lightning_strike.wav");
    vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(effect_bytes.begin(), effect_bytes.end()));
    const auto effect = vadu::noise::WavData::read_stream(stream);
    ASSERT_TRUE(effect->loaded);
    ASSERT_EQ(effect->rate, 22050u);
    ASSERT_EQ(effect->channels, 2u);
    const auto* effect_samples = reinterpret_cast<const int16_t*>(effect->samples.data());
    const size_t effect_count = effect->samples.size() / 2;
    auto mixed_in_at = [&](size_t at, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            if (mix[at + i] != std::clamp(int{music[at + i]} + int{effect_samples[i]}, -32768, 32767))
                return false;
        }
        return true;
    };
    size_t start = at_second(5.0);
    while (start < at_second(5.2) && !mixed_in_at(start, 400))
        start += 2;
    ASSERT_LT(start, at_second(5.2)) << "the effect does not start near 5 s";
    int clipped = 0;
    for (size_t i = 0; i < effect_count; ++i) {
        const int sum = int{music[start + i]} + int{effect_samples[i]};
        const int expected = std::clamp(sum, -32768, 32767);
        ASSERT_EQ(mix[start + i], expected) << "sample " << i;
        clipped += expected != sum;
    }
    EXPECT_GT(clipped, 0) << "the passage was not loud enough to clip";
}

} // namespace
