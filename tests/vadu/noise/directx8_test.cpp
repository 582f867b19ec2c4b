// The hardware over the software-mixed device: start-up failures, volume and pan,
// static channels on the hand-run mixer, the 3D voice limit, the stream ring and what
// happens to channels that outlive their hardware.

#include "platform/modules.h"
#include "sound_test_support.h"
#include "vadu/exception.h"
#include "vadu/noise/data_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

namespace {

using namespace sound_test;
using namespace vadu::noise;
using vadu::noise::hard::directx8::ChannelStaticRep;
using vadu::noise::hard::directx8::ChannelStream;
using vadu::noise::hard::directx8::to_directsound_volume;
namespace ds = platform::sound;

TEST(DirectSoundVolume, Conversion)
{
    const std::pair<double, int32_t> cases[] = {{1.0, 0}, {0.5, -301}, {0.1, -1000}, {0.0, -10000}, {-1.0, -10000}};
    for (const auto& [volume, expected] : cases)
        EXPECT_EQ(to_directsound_volume(volume), expected) << volume;
}

class SoundRig : public ::testing::Test {
protected:
    SoundRig() : folder_("sound") {}
    ~SoundRig() override { platform::clear_module_failures(); }

    std::unique_ptr<Rig> make() { return std::make_unique<Rig>(folder_.root().string()); }
    void write_wav(const char* name, const WavSpec& spec) { write_file(folder_.at(name), wav_bytes(spec)); }

    test_support::TempFolder folder_;
};

TEST_F(SoundRig, EachStartUpFailureLogsItsLineAndLeavesTheNullHardware)
{
    struct Case {
        const char* name;
        std::function<void()> arrange;
        const char* line;
    };
    const Case cases[] = {
        {"library", [] { platform::set_module_failure("DSOUND.DLL", platform::ModuleFailure::library_missing); },
         "DirectSound is lower than 8\n"},
        {"entry point",
         [] { platform::set_module_failure("DSOUND.DLL", platform::ModuleFailure::entry_point_missing); },
         "DirectSound is lower than 8\n"},
        {"device", [] { ds::script_failure(ds::Call::create_device); }, "Failed to create DirectSound instance\n"},
        {"cooperative level", [] { ds::script_failure(ds::Call::set_cooperative_level); },
         "Failed to SetCooperativeLevel\n"},
        {"primary buffer", [] { ds::script_failure(ds::Call::create_primary_buffer); },
         "Failed to CreateSoundBuffer\n"},
        {"format", [] { ds::script_failure(ds::Call::set_format); }, "Failed to primary_buffer->SetFormat\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::clear_module_failures();
        ds::reset_hooks();
        c.arrange();
        {
            std::unique_ptr<Rig> rig = make();
            EXPECT_EQ(Rig::hardware(), nullptr);
            EXPECT_EQ(Manager::get_hardware()->get_name(), "null");
            EXPECT_NE(rig->log_text().find(c.line), std::string::npos) << rig->log_text();
        }
        EXPECT_EQ(ds::live_object_count(), 0u);
        EXPECT_EQ(platform::module_load_count("DSOUND.DLL"), 0);
    }
}

// A stereo sound at the output rate, so the mix copies its samples one to one.
std::vector<int16_t> ramp(uint32_t frames)
{
    std::vector<int16_t> samples;
    for (uint32_t i = 0; i < frames; ++i) {
        samples.push_back(static_cast<int16_t>(i * 13 - 9000));
        samples.push_back(static_cast<int16_t>(12000 - i * 7));
    }
    return samples;
}

TEST_F(SoundRig, StartsAndRegistersAfterTheNullHardware)
{
    auto rig = make();
    ASSERT_NE(Rig::hardware(), nullptr);
    EXPECT_EQ(Manager::get_hardware()->get_name(), "directx8");
    EXPECT_EQ(HardwareRegistry::get_hardwares().size(), 2u);
    EXPECT_EQ(HardwareRegistry::get_hardwares().front()->get_name(), "null");
    EXPECT_TRUE(Rig::hardware()->change_attribute(atoms::GlobalVolume, 2.0));
    EXPECT_EQ(Rig::hardware()->get_global_volume(), 1.0);
    EXPECT_TRUE(Rig::hardware()->change_attribute(atoms::Environment, vadu::animate::ThirdValueKind{}));
    EXPECT_FALSE(Rig::hardware()->change_attribute(atoms::Volume, 0.5));
}

TEST_F(SoundRig, StaticSoundIsCapturedExactlyAndScaledByVolume)
{
    const uint32_t frames = 1500;
    const std::vector<int16_t> source = ramp(frames);
    WavSpec spec;
    spec.data = pcm16(source);
    write_wav("ramp.wav", spec);
    auto rig = make();
    std::unique_ptr<Channel> channel(Rig::hardware()->create_static_channel(atoms::Type2D, path("ramp")));
    channel->change_attribute(atoms::Loop, 0.0);
    for (const double volume : {1.0, 0.5}) {
        SCOPED_TRACE(volume);
        channel->change_attribute(atoms::Volume, volume);
        ds::set_recording(true);
        channel->play(nullptr);
        EXPECT_FALSE(channel->is_finished());
        ds::run_mixer(2048);
        const std::vector<int16_t> out = ds::take_recording();
        ds::set_recording(false);
        ASSERT_EQ(out.size(), 4096u);
        const auto gain = static_cast<int64_t>(std::lround(65536 * std::pow(10.0, -301 / 2000.0)));
        for (size_t i = 0; i < source.size(); ++i) {
            const int64_t expected = volume == 1.0 ? source[i] : (source[i] * gain) >> 16;
            ASSERT_EQ(out[i], expected) << i;
        }
        for (size_t i = source.size(); i < out.size(); ++i)
            ASSERT_EQ(out[i], 0) << i;
        // Played to its end without loop: finished, and the buffer goes back.
        EXPECT_TRUE(channel->is_finished());
    }
}

TEST_F(SoundRig, SurroundSoundFromAStereoFileFoldsBackToStereo)
{
    WavSpec spec;
    spec.data = pcm16({1000, 3000});
    write_wav("wide.wav", spec);
    auto rig = make();
    std::unique_ptr<Channel> channel(Rig::hardware()->create_static_channel(atoms::Surround, path("wide")));
    ds::set_recording(true);
    channel->play(nullptr);
    const std::vector<int16_t> out = (ds::run_mixer(1), ds::take_recording());
    // Front left, centre and back left come from the left channel, front right and back
    // right from the right one; the low-frequency channel is dropped.
    const auto side = [](int v) { return (v * 46341) >> 16; };
    EXPECT_EQ(out[0], 1000 + side(1000) + side(1000));
    EXPECT_EQ(out[1], 3000 + side(1000) + side(3000));
}

TEST_F(SoundRig, ListenerTurnsOnlyAtTheNextUpdate)
{
    WavSpec spec;
    spec.channels = 1;
    spec.data = pcm16(std::vector<int16_t>(4000, 8000));
    write_wav("side.wav", spec);
    auto rig = make();
    auto* hardware = Rig::hardware();
    std::unique_ptr<Channel> voice(hardware->create_static_channel(atoms::Type3D, path("side")));
    voice->change_attribute(atoms::Position, vadu::math::Vector3{1.0f, 0.0f, 0.0f});
    voice->play(nullptr);
    hardware->update(0.0);
    ds::set_recording(true);
    ds::run_mixer(1);
    std::vector<int16_t> out = ds::take_recording();
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 8000);
    // Facing backwards puts the voice on the left, once the update passes it on.
    EXPECT_TRUE(hardware->change_attribute(atoms::Front, vadu::math::Vector3{0.0f, 0.0f, -1.0f}));
    ds::run_mixer(1);
    out = ds::take_recording();
    EXPECT_EQ(out[1], 8000);
    hardware->update(0.0);
    ds::run_mixer(1);
    out = ds::take_recording();
    EXPECT_EQ(out[0], 8000);
    EXPECT_EQ(out[1], 0);
}

TEST_F(SoundRig, PanGoesToTheDeviceAsHundredthsOfADecibel)
{
    WavSpec spec;
    spec.data = pcm16(std::vector<int16_t>(2000, 10000));
    write_wav("flat.wav", spec);
    auto rig = make();
    std::unique_ptr<Channel> channel(Rig::hardware()->create_static_channel(atoms::Type2D, path("flat")));
    const std::pair<double, double> cases[] = {{0.5, std::pow(10.0, -5000 / 2000.0)}, {-1.0, 0.0}};
    for (const auto& [pan, other_side] : cases) {
        SCOPED_TRACE(pan);
        EXPECT_TRUE(channel->change_attribute(atoms::Pan, pan));
        ds::set_recording(true);
        channel->play(nullptr);
        ds::run_mixer(512);
        const std::vector<int16_t> out = ds::take_recording();
        const int16_t strong = pan > 0 ? out[1] : out[0];
        const int16_t weak = pan > 0 ? out[0] : out[1];
        EXPECT_EQ(strong, 10000);
        EXPECT_NEAR(weak, 10000 * other_side, 1.0);
    }
}

TEST_F(SoundRig, ChannelsOfOneNameShareTheSoundUntilTheLastGoes)
{
    WavSpec spec;
    spec.data = pcm16(ramp(100));
    write_wav("shared.wav", spec);
    auto rig = make();
    auto first = std::unique_ptr<Channel>(Rig::hardware()->create_static_channel(atoms::Type2D, path("shared")));
    auto second = std::unique_ptr<Channel>(Rig::hardware()->create_static_channel(atoms::Type2D, path("shared")));
    auto other = std::unique_ptr<Channel>(Rig::hardware()->create_static_channel(atoms::Type3D, path("shared")));
    EXPECT_EQ(ChannelStaticRep::live_count(), 2u);
    first.reset();
    other.reset();
    EXPECT_EQ(ChannelStaticRep::live_count(), 1u);
    second.reset();
    EXPECT_EQ(ChannelStaticRep::live_count(), 0u);
    EXPECT_EQ(WavData::cached_count(), 0u);
}

TEST_F(SoundRig, StaticSoundFailures)
{
    WavSpec spec;
    spec.data = pcm16(ramp(100));
    write_wav("good.wav", spec);
    WavSpec floats = spec;
    floats.format_tag = 3;
    floats.bits = 32;
    floats.data = std::string(800, '\x3F');
    write_wav("float.wav", floats);
    auto rig = make();
    auto* hardware = Rig::hardware();
    WavSpec cut = spec;
    cut.fmt = "junk";
    write_wav("cut.wav", cut);
    // A missing file, a WAV that is not integer PCM (it would play as loud noise) and one
    // with a broken header: each says why.
    const std::pair<const char*, const char*> cases[] = {
        {"missing", "no .wav, .mp3 or .xm file of that name"},
        {"float", "\"float.wav\": the samples are floating point; only integer PCM samples are played"},
        {"cut", "\"cut.wav\": a bad header"},
    };
    for (const auto& [name, why] : cases) {
        SCOPED_TRACE(name);
        try {
            hardware->create_static_channel(atoms::Type2D, path(name));
            FAIL();
        } catch (const vadu::GluckBadResource& error) {
            const std::string description = error.get_description().c_str();
            EXPECT_EQ(description.rfind(std::string("Could not create DataSource for static channel: ") + why, 0), 0u)
                << description;
            EXPECT_STREQ(error.get_resource().c_str(), name);
        }
    }
    // No buffer for the sound: logged, and its channel stays silent instead of throwing.
    ds::script_failure(ds::Call::create_secondary_buffer);
    std::unique_ptr<Channel> silent(hardware->create_static_channel(atoms::Type2D, path("good")));
    EXPECT_NE(rig->log_text().find("CreateSoundBuffer() failed. sound: good\n"), std::string::npos);
    silent->play(nullptr);
    EXPECT_TRUE(silent->is_finished());
    // A failed duplicate of an existing buffer still throws.
    std::unique_ptr<Channel> loud(hardware->create_static_channel(atoms::Type3D, path("good")));
    ds::script_failure(ds::Call::duplicate_sound_buffer);
    loud->play(nullptr);
    try {
        hardware->update(0.0);
        FAIL();
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(error.get_description(), "DuplicateSoundBuffer() failed");
    }
    // A lock that fails leaves the buffer as it is, logged.
    ds::script_failure(ds::Call::lock);
    std::unique_ptr<Channel> unlocked(hardware->create_static_channel(atoms::Surround, path("good")));
    EXPECT_NE(rig->log_text().find("buffer->Lock() failed. sound: good\n"), std::string::npos);
}

TEST_F(SoundRig, ThirteenVoicesShareTwelveBuffersByDistance)
{
    WavSpec spec;
    spec.channels = 1;
    spec.data = pcm16(std::vector<int16_t>(22050, 1000));
    write_wav("hum.wav", spec);
    auto rig = make();
    auto* hardware = Rig::hardware();
    std::vector<std::unique_ptr<Channel>> voices;
    for (int i = 0; i < 13; ++i) {
        voices.emplace_back(hardware->create_static_channel(atoms::Type3D, path("hum")));
        voices.back()->change_attribute(atoms::Position, vadu::math::Vector3{0.0f, 0.0f, 2.0f + i});
        voices.back()->play(nullptr);
    }
    auto* farthest = static_cast<hard::directx8::ChannelStatic*>(voices.back().get());
    hardware->update(0.0);
    EXPECT_FALSE(farthest->has_buffer());
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(static_cast<hard::directx8::ChannelStatic*>(voices[i].get())->has_buffer()) << i;
    // Without a buffer the voice still moves on by the clock.
    hardware->update(0.25);
    EXPECT_EQ(farthest->get_play_position(), 5512u * 2);
    voices.front()->stop();
    hardware->update(0.0);
    EXPECT_TRUE(farthest->has_buffer());
    EXPECT_EQ(hardware->get_3d_channels().size(), 12u);
}

TEST_F(SoundRig, VirtualVoiceLoopsOrFinishes)
{
    WavSpec spec;
    spec.channels = 1;
    spec.data = pcm16(std::vector<int16_t>(2205, 1000)); // 0.1 s
    write_wav("tick.wav", spec);
    auto rig = make();
    auto* hardware = Rig::hardware();
    for (const bool loop : {true, false}) {
        SCOPED_TRACE(loop);
        hard::directx8::ChannelStatic voice(hardware, atoms::Type3D, path("tick"));
        voice.change_attribute(atoms::Loop, loop ? 1.0 : 0.0);
        voice.play(nullptr);
        voice.update(0.15, vadu::math::Vector3{});
        EXPECT_EQ(voice.is_finished(), !loop);
        if (loop) {
            EXPECT_EQ(voice.get_play_position(), (3307u * 2) % 4410u);
        }
    }
}

// A source of constant frames, counted.
struct Tone : DataSource {
    Tone(uint32_t frames, int16_t value) : length(frames), value(value) {}
    bool has_channel(uint32_t) override { return true; }
    uint32_t get_frequency() override { return 22050; }
    uint32_t get_length() override { return length; }
    uint32_t decode(uint32_t frames) override
    {
        start = end;
        if (end == length) {
            end = 0;
            return 0;
        }
        end += std::min(frames, length - end);
        return end - start;
    }
    void get_data(uint32_t, void* destination, uint32_t stride, uint32_t) override
    {
        auto* at = static_cast<uint8_t*>(destination);
        for (uint32_t i = start; i < end; ++i, at += stride)
            std::memcpy(at, &value, 2);
    }
    void rewind() override { start = end = 0; }

    uint32_t length, start = 0, end = 0;
    int16_t value;
};

TEST_F(SoundRig, StreamRingRefillsOnlyTheFreePartInQuarters)
{
    auto rig = make();
    std::unique_ptr<Channel> channel(Rig::hardware()->create_stream_channel(atoms::Type2D));
    auto* stream = static_cast<ChannelStream*>(channel.get());
    const uint32_t size = stream->get_buffer_size();
    EXPECT_EQ(size, 110250u * 4);
    EXPECT_EQ(stream->get_refill_block(), size / 4);
    channel->change_attribute(atoms::Loop, 0.0);
    channel->play(new Tone(22050 * 12, 500));
    ds::set_recording(true);
    uint64_t mixed = 0;
    uint32_t fill = stream->get_fill_cursor();
    // 40 updates a second for 30 s, the mixer in blocks of 512 frames.
    for (int step = 0; step < 1200 && !channel->is_finished(); ++step) {
        const uint64_t target = (step + 1) * 22050ull / 40;
        while (mixed + 512 <= target) {
            ds::run_mixer(512);
            mixed += 512;
        }
        const auto write = static_cast<uint32_t>((mixed * 4) % size);
        const uint32_t play = (write + size - 512 * 4) % size;
        Rig::hardware()->update(0.025);
        const uint32_t next = stream->get_fill_cursor();
        if (next != fill) {
            const uint32_t written = (next + size - fill) % size;
            EXPECT_GE(written, size / 4) << step;
            // Nothing between the play and the write cursor was written.
            if (mixed >= 512) {
                const uint32_t from_play = (play + size - fill) % size;
                EXPECT_LE(written, from_play) << step;
            }
        }
        fill = next;
    }
    // The whole tone plays; once a whole ring of silence is written after it, the
    // stream stops by itself.
    EXPECT_TRUE(channel->is_finished());
    EXPECT_GE(mixed, 22050ull * 12);
    EXPECT_LE(mixed, 22050ull * 14);
    const std::vector<int16_t> out = ds::take_recording();
    ASSERT_GE(out.size(), 22050u * 12 * 2);
    EXPECT_EQ(std::count(out.begin(), out.begin() + 22050 * 12 * 2, int16_t{500}), 22050 * 12 * 2);
    EXPECT_EQ(stream->get_queue_size(), 0u);
}

TEST_F(SoundRig, LoopingStreamRewindsWithASilentTail)
{
    auto rig = make();
    std::unique_ptr<Channel> channel(Rig::hardware()->create_stream_channel(atoms::Type2D));
    channel->play(new Tone(22050 * 7, 700));
    ds::set_recording(true);
    for (int step = 0; step < 40 * 12; ++step) {
        if (step % 2 == 0)
            ds::run_mixer(1024);
        else
            ds::run_mixer(1024 + 80);
        Rig::hardware()->update(0.025);
    }
    const std::vector<int16_t> out = ds::take_recording();
    // Tone, then silence, then the tone again: never stopped.
    size_t first_silence = 0;
    while (first_silence < out.size() && out[first_silence] == 700)
        ++first_silence;
    EXPECT_EQ(first_silence, 22050u * 7 * 2);
    size_t again = first_silence;
    while (again < out.size() && out[again] == 0)
        ++again;
    ASSERT_LT(again, out.size());
    EXPECT_EQ(out[again], 700);
    // At most a refill block of silence (1.25 s) and an update's worth.
    EXPECT_LE(again - first_silence, (22050u * 5 / 4 + 1500) * 2);
    EXPECT_FALSE(channel->is_finished());
}

TEST_F(SoundRig, LoopingEffectLetGoEndsWithItsPass)
{
    WavSpec spec;
    spec.data = pcm16(ramp(1000));
    write_wav("loop.wav", spec);
    auto rig = make();
    Channel* immortal = Manager::create_immortal_static_channel(atoms::Type2D, path("loop"));
    immortal->change_attribute(atoms::Loop, 1.0);
    immortal->play(nullptr);
    ds::run_mixer(2500); // two and a half passes
    delete immortal;
    EXPECT_EQ(Manager::kept_channel_count(), 1u);
    ds::run_mixer(400);
    Manager::update(0.0);
    EXPECT_EQ(Manager::kept_channel_count(), 1u);
    ds::run_mixer(200);
    Manager::update(0.0);
    EXPECT_EQ(Manager::kept_channel_count(), 0u);
}

TEST_F(SoundRig, ChannelsOutliveTheirHardware)
{
    WavSpec spec;
    spec.data = pcm16(ramp(100));
    write_wav("click.wav", spec);
    std::unique_ptr<Channel> kept_static;
    std::unique_ptr<Channel> kept_stream;
    {
        auto rig = make();
        kept_static.reset(Rig::hardware()->create_static_channel(atoms::Type2D, path("click")));
        kept_static->change_attribute(atoms::Loop, 1.0);
        kept_static->play(nullptr);
        kept_stream.reset(Rig::hardware()->create_stream_channel(atoms::Type2D));
        kept_stream->play(new Tone(1000, 1));
        // An immortal channel still playing when the hardware goes.
        std::unique_ptr<Channel> immortal(Manager::create_immortal_static_channel(atoms::Type2D, path("click")));
        immortal->play(nullptr);
    }
    EXPECT_TRUE(kept_static->is_finished());
    kept_static->play(nullptr);
    kept_static.reset();
    kept_stream.reset();
    EXPECT_EQ(ChannelStaticRep::live_count(), 0u);
    EXPECT_EQ(ds::live_object_count(), 0u);
}

} // namespace
