// The demo's sound over the program's real data, headless, with a stepped clock and the device's
// WAV capture: the main theme from the start, a click where the player clicks, silence
// while the window is inactive, the loudest effect over the music, every effect started
// in one frame (more than a big collect starts), all below full scale, and the same
// bytes on every run.

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
#include <cmath>
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

const char* const effect_names[] = {
    "data/sounds/button_click",      "data/sounds/achievement_unlock", "data/sounds/bubble_pop",
    "data/sounds/group_removed",     "data/sounds/ice_meltdown",       "data/sounds/level_complete",
    "data/sounds/level_lost",        "data/sounds/lightning_strike",   "data/sounds/monster_collected",
    "data/sounds/monster_evolved",   "data/sounds/monster_died",       "data/sounds/power_up",
    "data/sounds/remove_failed",
};

// Samples at full scale: what the ear hears as distortion.
int clipped_in(const std::vector<int16_t>& samples, size_t from, size_t to)
{
    int clipped = 0;
    for (size_t i = from; i < to && i < samples.size(); ++i)
        clipped += samples[i] >= 32767 || samples[i] <= -32767;
    return clipped;
}

double rms(const std::vector<int16_t>& samples, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(std::max<size_t>(to - from, 1)));
}

class SoundCapture : public game_test::ProgramFolderTest {
protected:
    struct Script {
        bool click = true;
        bool loud = true;
        bool crowd = true;
    };

    // Eight seconds: a left click at 1 s, inactive from 2 s to 3.5 s, the loudest
    // effect at 5 s, all thirteen effects at 6 s. Returns the capture file's bytes.
    std::string run(const Script& script, const std::string& file)
    {
        FrameClock clock;
        platform::set_tick_source(&clock);
        ::setenv("QUILLO_AUDIO_CAPTURE", file.c_str(), 1);
        {
            DemoApplication app(private_name("sound").c_str(), "-nofullscreen");
            std::vector<std::unique_ptr<vadu::noise::Channel>> crowd;
            for (int frame = 0; frame < frames_per_second * 8; ++frame) {
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
                if (frame == 180 && script.crowd) {
                    for (const char* name : effect_names) {
                        crowd.emplace_back(vadu::noise::Manager::create_immortal_static_channel(
                            vadu::noise::atoms::Type2D, vadu::filesystem::String(name, true)));
                        crowd.back()->change_attribute(vadu::noise::atoms::Loop, 0.0);
                        crowd.back()->play(nullptr);
                    }
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
    const std::string quiet = run({false, false, false}, folder_.at("quiet.wav"));
    ASSERT_GT(first.size(), 44u + at_second(7.9) * 2);
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

    // The loudest effect over the music: exactly their sum, and below full scale.
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
            if (mix[at + i] != int{music[at + i]} + int{effect_samples[i]})
                return false;
        }
        return true;
    };
    size_t start = at_second(5.0);
    while (start < at_second(5.2) && !mixed_in_at(start, 400))
        start += 2;
    ASSERT_LT(start, at_second(5.2)) << "the effect does not start near 5 s";
    for (size_t i = 0; i < effect_count; ++i)
        ASSERT_EQ(mix[start + i], int{music[start + i]} + int{effect_samples[i]}) << "sample " << i;
    EXPECT_EQ(clipped_in(mix, start, start + effect_count), 0);

    // Every effect at once over the music: loud, but nothing at full scale; the mix
    // follows the effects, not flattened into a square at the top.
    const size_t crowd = at_second(6.0), crowd_end = at_second(7.5);
    EXPECT_EQ(clipped_in(mix, crowd, crowd_end), 0);
    int loudest_crowd = 0;
    for (size_t i = crowd; i < crowd_end; ++i)
        loudest_crowd = std::max(loudest_crowd, std::abs(int{mix[i]}));
    EXPECT_GT(loudest_crowd, 30000);
    EXPECT_GT(rms(mix, crowd, crowd + at_second(0.3)), 2 * rms(music, crowd, crowd + at_second(0.3)));
    // After them the music alone plays exactly again.
    EXPECT_TRUE(std::equal(mix.begin() + static_cast<long>(at_second(7.6)), mix.end(),
                           music.begin() + static_cast<long>(at_second(7.6))));
}

} // namespace
