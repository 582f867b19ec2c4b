// The software-mixed sound device on its own: how buffers are mixed into the output,
// what it refuses, its clock-driven null output and its WAV capture.

#include "platform/clock.h"
#include "platform/sound/dsound.h"
#include "platform/sound/hooks.h"
#include "platform/window.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

namespace ds = platform::sound;

struct Released {
    void operator()(ds::Object* object) const { object->release(); }
};
template <class T>
using Ref = std::unique_ptr<T, Released>;

class Mixer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ds::reset_hooks();
        ds::set_manual_mixing(true);
        ds::Device* device = nullptr;
        ASSERT_EQ(ds::direct_sound_create8(nullptr, &device, nullptr), ds::ok);
        device_.reset(device);
        ds::set_recording(true);
    }
    void TearDown() override
    {
        device_.reset();
        ds::reset_hooks();
        EXPECT_EQ(ds::live_object_count(), 0u);
    }

    // A playing buffer over the samples (interleaved, channels each frame).
    Ref<ds::Buffer> buffer(const std::vector<int16_t>& samples, uint16_t channels, uint32_t rate, uint32_t flags,
                           bool play = true)
    {
        ds::WaveFormatExtensible format;
        format.format = {ds::format_pcm, channels, rate, rate * channels * 2u, static_cast<uint16_t>(channels * 2), 16, 0};
        if (channels == 6) {
            format.format.format_tag = ds::format_extensible;
            format.format.cb_size = 22;
            format.valid_bits_per_sample = 16;
            format.channel_mask = 0x3F;
            std::memcpy(format.sub_format, ds::subformat_pcm, 16);
        }
        ds::BufferDesc desc;
        desc.flags = flags;
        desc.buffer_bytes = static_cast<uint32_t>(samples.size() * 2);
        desc.format = &format.format;
        ds::Buffer* made = nullptr;
        EXPECT_EQ(device_->create_sound_buffer(&desc, &made, nullptr), ds::ok);
        Ref<ds::Buffer> result(made);
        void* part = nullptr;
        uint32_t bytes = 0;
        EXPECT_EQ(made->lock(0, desc.buffer_bytes, &part, &bytes, nullptr, nullptr, 0), ds::ok);
        std::memcpy(part, samples.data(), bytes);
        made->unlock(part, bytes, nullptr, 0);
        if (play)
            made->play(0, 0, 0);
        return result;
    }

    std::vector<int16_t> mix(uint32_t frames)
    {
        ds::run_mixer(frames);
        return ds::take_recording();
    }

    Ref<ds::Device> device_;
};

constexpr uint32_t all_controls = ds::flags::control_volume | ds::flags::control_pan | ds::flags::control_frequency;

std::vector<int16_t> sine(double amplitude, double period, size_t frames, double phase = 0)
{
    std::vector<int16_t> out;
    for (size_t i = 0; i < frames; ++i) {
        const auto value = static_cast<int16_t>(std::lround(amplitude * std::sin(phase + 6.283185307 * i / period)));
        out.push_back(value);
        out.push_back(value);
    }
    return out;
}

// Several effects that start together add up past full scale: the output keeps under
// full scale instead of clipping (or wrapping), and follows the sum's shape.
TEST_F(Mixer, EffectsStartedTogetherStayBelowFullScale)
{
    struct Case {
        const char* name;
        std::vector<std::vector<int16_t>> effects;
    };
    const Case cases[] = {
        {"three constant", {std::vector<int16_t>(4000, 30000), std::vector<int16_t>(4000, 30000),
                            std::vector<int16_t>(4000, 30000)}},
        {"three negative", {std::vector<int16_t>(4000, -30000), std::vector<int16_t>(4000, -30000),
                            std::vector<int16_t>(4000, -30000)}},
        {"five tones", {sine(16000, 50, 2000), sine(16000, 50, 2000, 0.3), sine(12000, 73, 2000),
                        sine(16000, 31, 2000), sine(14000, 50, 2000, 0.1)}},
        {"thirteen tones", [] {
             std::vector<std::vector<int16_t>> many;
             for (int i = 0; i < 13; ++i)
                 many.push_back(sine(12000, 40 + 7 * i, 2000, i));
             return many;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Ref<ds::Buffer>> playing;
        for (const auto& effect : c.effects)
            playing.push_back(buffer(effect, 2, 22050, all_controls));
        const std::vector<int16_t> out = mix(2000);
        std::vector<int64_t> sum(out.size(), 0);
        for (const auto& effect : c.effects)
            for (size_t i = 0; i < out.size(); ++i)
                sum[i] += effect[i];
        int clipped = 0, loudest = 0;
        for (size_t i = 0; i < out.size(); ++i) {
            clipped += out[i] >= 32767 || out[i] <= -32767;
            loudest = std::max(loudest, std::abs(int{out[i]}));
            // Never the other sign (wrapped), never louder than the sum.
            EXPECT_TRUE(out[i] == 0 || (out[i] > 0) == (sum[i] > 0)) << i;
            EXPECT_LE(std::abs(int{out[i]}), std::abs(sum[i])) << i;
        }
        EXPECT_EQ(clipped, 0);
        EXPECT_GT(loudest, 28000);
        // The gain moves slowly: the output is the sum scaled, not flattened at the top.
        double product = 0, out_energy = 0, sum_energy = 0;
        for (size_t i = 0; i < out.size(); ++i) {
            product += double(out[i]) * double(sum[i]);
            out_energy += double(out[i]) * out[i];
            sum_energy += double(sum[i]) * double(sum[i]);
        }
        EXPECT_GT(product / std::sqrt(out_energy * sum_energy), 0.97);
        // Once they are over, a sound plays exactly again, even one at full scale.
        playing.clear();
        mix(22050);
        auto alone = buffer(sine(32767, 50, 100), 2, 22050, all_controls);
        EXPECT_EQ(mix(100), sine(32767, 50, 100));
    }
}

TEST_F(Mixer, ResamplesLinearlyByTheBufferFrequency)
{
    std::vector<int16_t> samples;
    for (int i = 0; i < 64; ++i)
        samples.push_back(static_cast<int16_t>(i * 100));
    auto slow = buffer(samples, 1, 11025, all_controls);
    std::vector<int16_t> out = mix(8);
    // Each source frame covers two output frames; the second lies halfway.
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[2], 50);
    EXPECT_EQ(out[4], 100);
    EXPECT_EQ(out[5], 100); // mono to both sides
    slow->set_current_position(0);
    ASSERT_EQ(slow->set_frequency(44100), ds::ok);
    out = mix(4);
    EXPECT_EQ(out[2], 200);
    EXPECT_EQ(out[6], 600);
    EXPECT_EQ(slow->set_frequency(99), ds::error::invalid_param);
    EXPECT_EQ(slow->set_frequency(200001), ds::error::invalid_param);
}

TEST_F(Mixer, SixChannelsFoldDownToStereo)
{
    auto surround = buffer({1000, 2000, 4000, 8000, 100, 200}, 6, 22050, ds::flags::control_volume);
    const std::vector<int16_t> out = mix(1);
    EXPECT_EQ(out[0], 1000 + ((4000 * 46341) >> 16) + ((100 * 46341) >> 16));
    EXPECT_EQ(out[1], 2000 + ((4000 * 46341) >> 16) + ((200 * 46341) >> 16));
}

TEST_F(Mixer, ThreeDimensionalGainAndSide)
{
    auto voice = buffer(std::vector<int16_t>(64, 8000), 1, 22050, ds::flags::control_3d | ds::flags::control_volume);
    void* out = nullptr;
    ASSERT_EQ(voice->query_interface(ds::Interface::buffer_3d, &out), ds::ok);
    Ref<ds::Buffer3D> placed(static_cast<ds::Buffer3D*>(out));
    struct Case {
        float x, z;
        int16_t left, right;
    };
    // Straight ahead at 4 min distances: a quarter on both sides; to the right at 2:
    // half, all of it on the right.
    const Case cases[] = {{0, 4, 2000, 2000}, {2, 0, 0, 4000}, {-1, 0, 8000, 0}};
    for (const Case& c : cases) {
        placed->set_position(c.x, 0, c.z, ds::apply_immediate);
        voice->set_current_position(0);
        const std::vector<int16_t> mixed = mix(1);
        EXPECT_EQ(mixed[0], c.left) << c.x;
        EXPECT_EQ(mixed[1], c.right) << c.x;
    }
    // Deferred until committed on the listener.
    placed->set_position(0, 0, 8, ds::apply_deferred);
    voice->set_current_position(0);
    EXPECT_EQ(mix(1)[0], 8000);
}

TEST_F(Mixer, RefusesWhatTheDeviceCannotPlay)
{
    EXPECT_TRUE(ds::failed(device_->set_cooperative_level(nullptr, ds::cooperative_priority)));
    ds::WaveFormat format{ds::format_pcm, 2, 22050, 88200, 4, 16, 0};
    ds::BufferDesc desc;
    desc.buffer_bytes = 400;
    desc.format = &format;
    ds::Buffer* made = nullptr;
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"8 bits", [&] { format = {ds::format_pcm, 1, 22050, 22050, 1, 8, 0}; }},
        {"3 channels", [&] { format = {ds::format_pcm, 3, 22050, 132300, 6, 16, 0}; }},
        {"no size", [&] { desc.buffer_bytes = 0; }},
        {"3D stereo", [&] { desc.flags = ds::flags::control_3d; }},
        {"descriptor size", [&] { desc.size = 20; }},
    };
    for (const auto& [name, change] : cases) {
        SCOPED_TRACE(name);
        format = {ds::format_pcm, 2, 22050, 88200, 4, 16, 0};
        desc = ds::BufferDesc{};
        desc.buffer_bytes = 400;
        desc.format = &format;
        change();
        EXPECT_TRUE(ds::failed(device_->create_sound_buffer(&desc, &made, nullptr)));
        EXPECT_EQ(made, nullptr);
    }
}

TEST_F(Mixer, ScriptedFailuresCountDown)
{
    ds::script_failure(ds::Call::lock, {1, 1, ds::error::fail});
    auto first = buffer(std::vector<int16_t>(8, 1), 2, 22050, all_controls, false);
    void* part = nullptr;
    uint32_t bytes = 0;
    EXPECT_EQ(first->lock(0, 16, &part, &bytes, nullptr, nullptr, 0), ds::error::fail);
    EXPECT_EQ(first->lock(0, 16, &part, &bytes, nullptr, nullptr, 0), ds::ok);
}

TEST_F(Mixer, OneShotEndsAndClearsItsStatus)
{
    auto shot = buffer(std::vector<int16_t>(200, 5), 2, 22050, all_controls);
    uint32_t status = 0;
    shot->get_status(&status);
    EXPECT_EQ(status & ds::status_playing, ds::status_playing);
    mix(99);
    shot->get_status(&status);
    EXPECT_EQ(status & ds::status_playing, ds::status_playing);
    const std::vector<int16_t> out = mix(2);
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(out[2], 0);
    shot->get_status(&status);
    EXPECT_EQ(status, 0u);
}

// A clock the test moves.
struct SteppedClock : platform::TickSource {
    bool query_performance_counter(int64_t* ticks) override
    {
        *ticks = now;
        return true;
    }
    bool query_performance_frequency(int64_t* per_second) override
    {
        *per_second = 1000000;
        return true;
    }
    uint32_t get_tick_count() override { return static_cast<uint32_t>(now / 1000); }
    int64_t now = 0;
};

TEST(SoundOutput, NullOutputFollowsThePlatformClockAndCaptureWritesAWav)
{
    test_support::TempFolder folder("capture");
    for (const bool capture : {false, true}) {
        SCOPED_TRACE(capture);
        ds::reset_hooks();
        SteppedClock clock;
        platform::set_tick_source(&clock);
        // The suite runs headless, where the mixer's time is the fixed frame step's.
        platform::set_fixed_step(true);
        const std::string file = folder.at("out.wav");
        if (capture)
            ::setenv("QUILLO_AUDIO_CAPTURE", file.c_str(), 1);
        ds::Device* made = nullptr;
        ASSERT_EQ(ds::direct_sound_create8(nullptr, &made, nullptr), ds::ok);
        Ref<ds::Device> device(made);
        EXPECT_EQ(ds::output_kind(), capture ? ds::OutputKind::capture : ds::OutputKind::null);
        ds::WaveFormat format{ds::format_pcm, 2, 22050, 88200, 4, 16, 0};
        ds::BufferDesc desc;
        desc.flags = all_controls;
        desc.buffer_bytes = 22050 * 4 * 4;
        desc.format = &format;
        ds::Buffer* raw = nullptr;
        ASSERT_EQ(device->create_sound_buffer(&desc, &raw, nullptr), ds::ok);
        Ref<ds::Buffer> buffer(raw);
        void* part = nullptr;
        uint32_t bytes = 0;
        buffer->lock(0, desc.buffer_bytes, &part, &bytes, nullptr, nullptr, 0);
        std::fill_n(static_cast<int16_t*>(part), bytes / 2, int16_t{1234});
        buffer->unlock(part, bytes, nullptr, 0);
        buffer->play(0, 0, ds::play_looping);
        // While the fixed step is off no time passes.
        platform::set_fixed_step(false);
        clock.now = 700000;
        buffer->play(0, 0, ds::play_looping);
        platform::set_fixed_step(true);
        uint32_t status = 0;
        buffer->get_status(&status); // the clock counts from this call
        clock.now = 2200000; // 1.5 s later: the mixer catches up in blocks of 512 frames
        uint32_t play = 0, write = 0;
        buffer->get_current_position(&play, &write);
        EXPECT_EQ(write, (33075u + 512 - 33075u % 512) * 4 % desc.buffer_bytes);
        EXPECT_EQ(play, write - 512 * 4);
        if (capture) {
            // Readable while the run goes on: the sizes of the first second are in.
            std::ifstream in(file, std::ios::binary);
            const std::string bytes_now((std::istreambuf_iterator<char>(in)), {});
            ASSERT_GE(bytes_now.size(), 44u);
            uint32_t data_size = 0;
            std::memcpy(&data_size, bytes_now.data() + 40, 4);
            EXPECT_GE(data_size, 22050u * 4);
        }
        buffer.reset();
        device.reset();
        platform::set_fixed_step(false);
        platform::set_tick_source(nullptr);
        ::unsetenv("QUILLO_AUDIO_CAPTURE");
        if (capture) {
            std::ifstream in(file, std::ios::binary);
            const std::string all((std::istreambuf_iterator<char>(in)), {});
            ASSERT_EQ(all.size(), 44u + 33280u * 4);
            EXPECT_EQ(all.substr(0, 4), "RIFF");
            EXPECT_EQ(all.substr(8, 8), "WAVEfmt ");
            uint32_t data_size = 0;
            std::memcpy(&data_size, all.data() + 40, 4);
            EXPECT_EQ(data_size, 33280u * 4);
            int16_t sample = 0;
            std::memcpy(&sample, all.data() + 44 + 1000, 2);
            EXPECT_EQ(sample, 1234);
        }
    }
    ds::reset_hooks();
}

TEST(SoundOutput, UnwritableCaptureFallsBackToTheNullOutput)
{
    ds::reset_hooks();
    ::setenv("QUILLO_AUDIO_CAPTURE", "/nonexistent-folder/out.wav", 1);
    ds::Device* made = nullptr;
    ASSERT_EQ(ds::direct_sound_create8(nullptr, &made, nullptr), ds::ok);
    EXPECT_EQ(ds::output_kind(), ds::OutputKind::null);
    made->release();
    ::unsetenv("QUILLO_AUDIO_CAPTURE");
}

} // namespace
