// The music fader over a fake stream channel at 60 updates a second.

#include "sound_test_support.h"
#include "support/log_capture.h"
#include "vadu/noise/data_source.h"
#include "vadu/noise/music_fader.h"

#include <gtest/gtest.h>

namespace {

using namespace sound_test;
using namespace vadu::noise;

struct Stream : Channel {
    ~Stream() override { stop(); }
    bool change_attribute(const vadu::Atom& name, double value) override
    {
        if (name == atoms::Volume)
            volume = value;
        else if (name == atoms::Loop)
            loop = value;
        else
            return false;
        return true;
    }
    using Channel::change_attribute;
    void play(DataSource* source) override
    {
        if (!source)
            return;
        playing = source->get_frequency();
        ++plays;
        delete source;
    }
    void stop() override
    {
        playing = 0;
        ++stops;
    }
    bool is_finished() override { return playing == 0; }

    double volume = -1, loop = -1;
    uint32_t playing = 0; // the rate of the track playing: which file it was
    int plays = 0, stops = 0;
};

struct StreamHardware : hard::Hardware {
    Channel* create_static_channel(const vadu::Atom&, const vadu::filesystem::String&) override { return nullptr; }
    Channel* create_stream_channel(const vadu::Atom&) override { return stream = new Stream; }
    vadu::String get_name() override { return "streams"; }
    Stream* stream = nullptr;
};

class Fader : public ::testing::Test {
protected:
    Fader() : folder_("fader"), files_(folder_files(folder_.root().string()))
    {
        for (const auto& [name, rate] : {std::pair{"one", 11025u}, std::pair{"two", 22050u}}) {
            WavSpec spec;
            spec.rate = rate;
            spec.data = pcm16({1, 2, 3, 4});
            write_file(folder_.at(std::string(name) + ".wav"), wav_bytes(spec));
        }
        fader_ = std::make_unique<MusicFader>(2.0);
        stream_ = hardware_.stream;
    }

    // Updates at 60 a second until the channel plays `rate`; the number taken.
    int updates_until_playing(uint32_t rate, int limit = 600)
    {
        for (int i = 1; i <= limit; ++i) {
            fader_->update(1.0 / 60);
            if (stream_->playing == rate)
                return i;
        }
        return -1;
    }

    test_support::TempFolder folder_;
    vadu::logs::Creator log_{"fader"};
    vadu::filesystem::Creator files_;
    HardwareRegistry::Creator registry_;
    StreamHardware hardware_;
    std::unique_ptr<MusicFader> fader_;
    Stream* stream_ = nullptr;
};

TEST_F(Fader, StartsLoopingAndSilentUntilATrackIsSet)
{
    EXPECT_EQ(stream_->loop, 1.0);
    fader_->update(1.0 / 60);
    EXPECT_EQ(stream_->volume, 1.0);
    EXPECT_EQ(stream_->plays, 0);
    fader_->set_track(path("one"));
    fader_->update(1.0 / 60); // nothing plays: the channel is finished at once
    EXPECT_EQ(stream_->playing, 11025u);
    EXPECT_EQ(stream_->volume, 1.0);
}

TEST_F(Fader, ChangeCompletesWhereTheLevelFirstDropsBelowZero)
{
    fader_->set_track(path("one"));
    fader_->update(1.0 / 60);
    fader_->set_track(path("two"));
    // 120 updates of 1/60 s reach 0 give or take rounding; the change comes at 120 or 121.
    const int taken = updates_until_playing(22050);
    EXPECT_GE(taken, 120);
    EXPECT_LE(taken, 121);
    EXPECT_EQ(stream_->volume, 1.0);
    EXPECT_EQ(stream_->plays, 2);
}

TEST_F(Fader, TrackWantedAgainFadesBackWithoutRestart)
{
    fader_->set_track(path("one"));
    fader_->update(1.0 / 60);
    fader_->set_track(path("two"));
    for (int i = 0; i < 60; ++i)
        fader_->update(1.0 / 60);
    EXPECT_NEAR(fader_->get_level(), 0.5, 1e-9);
    fader_->set_track(path("one"));
    for (int i = 0; i < 30; ++i)
        fader_->update(1.0 / 60);
    EXPECT_NEAR(stream_->volume, 0.75, 1e-9);
    for (int i = 0; i < 60; ++i)
        fader_->update(1.0 / 60);
    EXPECT_EQ(stream_->volume, 1.0);
    EXPECT_EQ(stream_->plays, 1);
}

TEST_F(Fader, EmptyOrMissingTrackSilences)
{
    for (const char* next : {"", "missing"}) {
        SCOPED_TRACE(next);
        fader_->set_track(path("one"));
        updates_until_playing(11025);
        fader_->set_track(path(next));
        EXPECT_NE(updates_until_playing(0), -1);
        // Steady afterwards: nothing starts again.
        const int plays = stream_->plays;
        for (int i = 0; i < 200; ++i)
            fader_->update(1.0 / 60);
        EXPECT_EQ(stream_->plays, plays);
        EXPECT_EQ(stream_->playing, 0u);
        EXPECT_STREQ(fader_->get_current_track().c_str(), next);
    }
}

// A track that does not play is logged once, naming the file and why: missing, a WAV with
// float or compressed samples or a broken header, an MP3 or XM that is not one.
TEST_F(Fader, ATrackThatDoesNotPlayIsLoggedOnceWithTheReason)
{
    WavSpec floats;
    floats.format_tag = 3;
    floats.bits = 32;
    floats.data = std::string(64, '\x3F');
    write_file(folder_.at("floats.wav"), wav_bytes(floats));
    WavSpec packed;
    packed.format_tag = 2;
    packed.bits = 4;
    packed.block_align = 4;
    packed.data = std::string(64, '\x11');
    write_file(folder_.at("packed.wav"), wav_bytes(packed));
    WavSpec header;
    header.riff = "RIFX";
    header.data = pcm16({1, 2, 3, 4});
    write_file(folder_.at("header.wav"), wav_bytes(header));
    write_file(folder_.at("noise.mp3"), std::string(300, '\x5A'));
    write_file(folder_.at("noise.xm"), std::string(300, '\x5A'));
    struct Case {
        const char* track;
        const char* reason;
    } const cases[] = {
        {"missing", "Music \"missing\" cannot be played: no .wav, .mp3 or .xm file of that name\n"},
        {"floats", "Music \"floats\" cannot be played: \"floats.wav\": the samples are floating point"},
        {"packed", "Music \"packed\" cannot be played: \"packed.wav\": the samples are compressed"},
        {"header", "Music \"header\" cannot be played: \"header.wav\": a bad header"},
        {"noise", "Music \"noise\" cannot be played: \"noise.mp3\": no MPEG audio"},
        {"noise", "\"noise.xm\": not an XM module"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.track);
        test_support::LogCapture log;
        fader_->set_track(path("one"));
        updates_until_playing(11025);
        fader_->set_track(path(c.track));
        for (int i = 0; i < 300; ++i)
            fader_->update(1.0 / 60);
        EXPECT_EQ(stream_->playing, 0u);
        EXPECT_EQ(log.count(c.reason), 1u) << log.text();
        EXPECT_EQ(log.count("cannot be played"), 1u) << log.text();
    }
}

TEST_F(Fader, VolumeReachesTheChannelAtTheNextUpdate)
{
    fader_->set_track(path("one"));
    fader_->update(1.0 / 60);
    fader_->set_volume(0.0);
    EXPECT_EQ(stream_->volume, 1.0);
    fader_->update(1.0 / 60);
    EXPECT_EQ(stream_->volume, 0.0);
    EXPECT_EQ(stream_->playing, 11025u); // silent, not stopped
}

} // namespace
