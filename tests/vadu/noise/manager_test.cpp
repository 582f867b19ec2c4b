// The sound manager's immortal channels, the hardware registry's choice, the creators'
// double-creation errors and the null hardware.

#include "sound_test_support.h"
#include "vadu/exception.h"
#include "vadu/noise/data_source.h"

#include <gtest/gtest.h>

namespace {

using namespace vadu::noise;

// A hardware channel whose end the test decides; counts deletes and loop changes.
struct FakeChannel : Channel {
    explicit FakeChannel(int* deletes) : deletes_(deletes) {}
    ~FakeChannel() override { ++*deletes_; }
    bool change_attribute(const vadu::Atom& name, double value) override
    {
        if (name == atoms::Loop) {
            loop = value;
            return true;
        }
        return false;
    }
    using Channel::change_attribute;
    void play(DataSource* source) override { delete source; }
    void stop() override { finished = true; }
    bool is_finished() override { return finished; }

    bool finished = false;
    double loop = 1.0;
    int* deletes_;
};

struct FakeHardware : hard::Hardware {
    Channel* create_static_channel(const vadu::Atom&, const vadu::filesystem::String&) override
    {
        last = new FakeChannel(&deletes);
        return last;
    }
    Channel* create_stream_channel(const vadu::Atom&) override { return new FakeChannel(&deletes); }
    vadu::String get_name() override { return "fake"; }

    int deletes = 0;
    FakeChannel* last = nullptr;
};

struct ManagerStack : HardwareRegistry::Creator, Manager::Creator {
    ManagerStack() : vadu::logs::Creator("noise") {}
};

TEST(ImmortalChannels, PlayingChannelIsKeptUntilItFinishes)
{
    ManagerStack stack;
    FakeHardware hardware;
    Channel* immortal = Manager::create_immortal_static_channel(atoms::Type2D, sound_test::path("click"));
    FakeChannel* inner = hardware.last;
    delete immortal;
    EXPECT_EQ(hardware.deletes, 0);
    EXPECT_EQ(inner->loop, 0.0);
    EXPECT_EQ(Manager::kept_channel_count(), 1u);
    Manager::update(0.1);
    EXPECT_EQ(hardware.deletes, 0);
    inner->finished = true;
    Manager::update(0.1);
    EXPECT_EQ(hardware.deletes, 1);
    EXPECT_EQ(Manager::kept_channel_count(), 0u);
}

TEST(ImmortalChannels, FinishedChannelIsDeletedAtOnce)
{
    ManagerStack stack;
    FakeHardware hardware;
    Channel* immortal = Manager::create_immortal_static_channel(atoms::Type2D, sound_test::path("click"));
    hardware.last->finished = true;
    delete immortal;
    EXPECT_EQ(hardware.deletes, 1);
    EXPECT_EQ(Manager::kept_channel_count(), 0u);
}

TEST(ImmortalChannels, KeptChannelsGoWithTheManager)
{
    int deletes = 0;
    {
        ManagerStack stack;
        delete new ImmortalChannel(new FakeChannel(&deletes));
        EXPECT_EQ(Manager::kept_channel_count(), 1u);
        EXPECT_EQ(deletes, 0);
    }
    EXPECT_EQ(deletes, 1);
    // Without a manager a handed-over channel is deleted at once.
    Manager::keep_channel(new FakeChannel(&deletes));
    EXPECT_EQ(deletes, 2);
}

TEST(ImmortalChannels, ForwardsAttributesAndUnknownNamesAnswerFalse)
{
    ManagerStack stack;
    FakeHardware hardware;
    std::unique_ptr<Channel> immortal(Manager::create_immortal_static_channel(atoms::Type2D, sound_test::path("a")));
    EXPECT_TRUE(immortal->change_attribute(atoms::Loop, 0.5));
    EXPECT_EQ(hardware.last->loop, 0.5);
    EXPECT_FALSE(immortal->change_attribute(atoms::Pitch, 2.0));
    double value = 0;
    EXPECT_FALSE(immortal->get_attribute(atoms::Pitch, value));
    hardware.last->finished = true;
}

TEST(SoundManager, HardwareChoiceAndItsErrors)
{
    ManagerStack stack;
    try {
        Manager::get_hardware();
        FAIL();
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(error.get_description(), "get_hardwares().empty()");
        EXPECT_EQ(error.get_function(), "vadu::noise::Manager::get_hardware");
    }
    try {
        Manager::create_immortal_static_channel(atoms::Type2D, sound_test::path("a"));
        FAIL();
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(error.get_function(), "vadu::noise::Manager::create_immortal_static_channel");
    }
    FakeHardware first;
    {
        FakeHardware second;
        EXPECT_EQ(Manager::get_hardware(), &second);
    }
    EXPECT_EQ(Manager::get_hardware(), &first);
}

struct NullStack : HardwareRegistry::Creator, hard::null::Creator {
    NullStack() : vadu::logs::Creator("noise") {}
};

TEST(SoundCreators, SecondCreatorsThrowTheirMessages)
{
    NullStack stack;
    try {
        Manager::Creator second;
        FAIL();
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(error.get_description(), "immortal_channels already exists");
        EXPECT_EQ(error.get_function(), "vadu::noise::Manager::Creator::Creator");
    }
    EXPECT_EQ(Manager::get_hardware()->get_name(), "null");
}

TEST(NullHardware, ChannelsPlayNothingAndAreAlwaysFinished)
{
    NullStack stack;
    hard::Hardware* hardware = Manager::get_hardware();
    std::unique_ptr<Channel> stream(hardware->create_stream_channel(atoms::Type2D));
    // The source is deleted (the sanitizer's leak check watches this).
    stream->play(new vadu::noise::WavDataSource(sound_test::path("nothing")));
    stream->play(nullptr);
    EXPECT_TRUE(stream->is_finished());
    EXPECT_FALSE(stream->change_attribute(atoms::Volume, 0.5));
    // An immortal channel over the null hardware is gone as soon as its owner lets go.
    delete Manager::create_immortal_static_channel(atoms::Type2D, sound_test::path("click"));
    EXPECT_EQ(Manager::kept_channel_count(), 0u);
}

} // namespace
