// The game's sound manager over a recording hardware (and the silent one): one cached
// channel per effect, switches, volumes, the pause counter and the step sounds; and the
// gameplay's door to the shell.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "shell_data_support.h"
#include "sources/gameplay/shape_chain.h"
#include "vadu/exception.h"

namespace {

using namespace shell_data_test;
using vadu::noise::atoms::Loop;
using vadu::noise::atoms::Volume;

class RecordingChannel : public vadu::noise::Channel {
public:
    RecordingChannel(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)) {}
    bool change_attribute(const vadu::Atom& name, double value) override
    {
        log_.push_back(name_ + " " + std::string(name.get_name().c_str()) + "=" + std::to_string(value).substr(0, 4));
        return true;
    }
    void play(vadu::noise::DataSource* source) override
    {
        EXPECT_EQ(source, nullptr);
        log_.push_back(name_ + " play");
    }
    void stop() override {}
    bool is_finished() override { return true; }

private:
    std::vector<std::string>& log_;
    std::string name_;
};

// Makes recording channels; refuses the names it is told to.
class RecordingHardware : public vadu::noise::hard::Hardware {
public:
    vadu::noise::Channel* create_static_channel(const vadu::Atom&, const vadu::filesystem::String& name) override
    {
        const std::string text(name.c_str(), name.size());
        if (text == refused)
            throw vadu::GluckBadResource("RecordingHardware", "Could not create DataSource for static channel", name);
        log.push_back("make " + text);
        return new RecordingChannel(log, text.substr(text.rfind('/') + 1));
    }
    vadu::noise::Channel* create_stream_channel(const vadu::Atom&) override
    {
        return new RecordingChannel(music, "music");
    }
    vadu::String get_name() override { return "recording"; }

    std::vector<std::string> log;
    std::vector<std::string> music;
    std::string refused;
};

class SoundManagerTest : public ShellDataTest {
protected:
    void SetUp() override
    {
        ShellDataTest::SetUp();
        hardware_ = std::make_unique<RecordingHardware>();
    }
    void TearDown() override
    {
        SoundManager::Destroy();
        hardware_.reset();
        ShellDataTest::TearDown();
    }
    std::vector<std::string> TakeLog()
    {
        std::vector<std::string> log = std::move(hardware_->log);
        hardware_->log.clear();
        return log;
    }
    std::unique_ptr<RecordingHardware> hardware_;
};

TEST_F(SoundManagerTest, EachEffectHasOneChannelThatRestarts)
{
    SoundManager* sound = SoundManager::Instance();
    sound->soundVolume = 0.5f;
    PlaySound(SoundId::ButtonClick);
    PlaySound(SoundId::ButtonClick);
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"make data/sounds/button_click", "button_click Loop=0.00",
                                                   "button_click Volume=0.50", "button_click play",
                                                   "button_click Loop=0.00", "button_click Volume=0.50",
                                                   "button_click play"}));
    EXPECT_EQ(sound->channels.size(), 1u);
    EXPECT_EQ(sound->sounds.size(), 13u);
    EXPECT_EQ(sound->sounds.at(SoundId::RemoveFailed), "data/sounds/remove_failed");

    // Switched off: nothing is made or played.
    sound->soundOn = 0;
    PlaySound(SoundId::PowerUp);
    EXPECT_TRUE(TakeLog().empty());
    EXPECT_EQ(sound->channels.size(), 1u);

    // An id outside the table is ignored, and adds nothing.
    sound->soundOn = 1;
    sound->Play(static_cast<SoundId>(13));
    EXPECT_TRUE(TakeLog().empty());
    EXPECT_EQ(sound->sounds.size(), 13u);
}

TEST_F(SoundManagerTest, AnEffectThatCannotBeOpenedIsLoggedOnceAndStaysSilent)
{
    hardware_->refused = "data/sounds/bubble_pop";
    SoundManager* sound = SoundManager::Instance();
    EXPECT_NO_THROW(sound->Play(SoundId::BubblePop));
    EXPECT_NO_THROW(sound->Play(SoundId::BubblePop));
    const std::string log = LogText();
    const size_t first = log.find("data/sounds/bubble_pop");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find("data/sounds/bubble_pop", first + 1), std::string::npos) << log;
    // The other effects still play.
    sound->Play(SoundId::IceMeltdown);
    EXPECT_EQ(TakeLog().back(), "ice_meltdown play");
}

TEST_F(SoundManagerTest, MusicIsSilentWhileOffOrPaused)
{
    SoundManager* sound = SoundManager::Instance();
    sound->musicVolume = 0.8f;
    struct Step {
        const char* what;
        std::function<void()> action;
        double volume;
        int pauseCount;
    } const steps[] = {
        {"the main theme", [&] { sound->PlayMainTheme(); }, 0.8, 0},
        {"paused twice", [&] { sound->Pause(); sound->Pause(); }, 0.0, 2},
        {"resumed once", [&] { sound->Resume(); }, 0.0, 1},
        {"a track asked for while paused stays silent", [&] { sound->PlayDangerTheme(); }, 0.0, 1},
        {"resumed again", [&] { sound->Resume(); }, 0.8, 0},
        {"resumed at 0 stays at 0", [&] { sound->Resume(); }, 0.8, 0},
        {"music off", [&] { sound->SetMusicEnabled(false); }, 0.0, 0},
        {"a track while off", [&] { sound->PlayMainTheme(); }, 0.0, 0},
        {"music on", [&] { sound->SetMusicEnabled(true); }, 0.8, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.action();
        EXPECT_FLOAT_EQ(static_cast<float>(sound->get_volume()), static_cast<float>(step.volume));
        EXPECT_EQ(sound->pauseCount, step.pauseCount);
    }
}

TEST_F(SoundManagerTest, StepSoundsFollowTheStepsEvents)
{
    using Events = SoundManager::StepEvents;
    struct Case {
        const char* what;
        Events step;
        std::vector<std::string> played;
    } const cases[] = {
        {"nothing at all still removes a group", Events{}, {"group_removed"}},
        {"collected, evolved and a power-up", Events{1, 2, 3, {{false, false}}},
         {"monster_collected", "monster_evolved", "power_up", "group_removed"}},
        {"a bubble", Events{0, 0, 0, {{false, false}, {false, true}}}, {"bubble_pop"}},
        {"ice", Events{0, 0, 0, {{true, false}}}, {"ice_meltdown"}},
        {"a bubble and ice in different groups", Events{0, 0, 0, {{true, false}, {false, true}}},
         {"bubble_pop", "ice_meltdown"}},
    };
    SoundManager* sound = SoundManager::Instance();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TakeLog();
        sound->PlayStepSounds(c.step);
        std::vector<std::string> played;
        for (const std::string& line : TakeLog())
            if (line.size() > 5 && line.compare(line.size() - 5, 5, " play") == 0)
                played.push_back(line.substr(0, line.size() - 5));
        EXPECT_EQ(played, c.played);
    }
}

TEST_F(ShellDataTest, TheSoundManagerRunsOnTheSilentHardware)
{
    SoundManager* sound = SoundManager::Instance();
    for (int id = 0; id < 13; ++id)
        sound->Play(static_cast<SoundId>(id));
    EXPECT_EQ(sound->channels.size(), 13u);
    sound->PlayMainTheme();
    sound->update(0.25);
    EXPECT_EQ(sound->get_current_track().get_text(), "data/music/main_theme");
    SoundManager::Destroy();
}

TEST_F(SoundManagerTest, TheAdapterServesGameplayFromTheShell)
{
    WriteGameFile("data/default.camera", R"(<Camera><CameraParallel Width="1136" Height="640"/></Camera>)");
    InstallShellServices();
    gameplay::ShellServices& shell = gameplay::ShellServices::Get();
    EXPECT_NE(dynamic_cast<ShellServicesAdapter*>(&shell), nullptr);
    EXPECT_FLOAT_EQ(shell.GetScale(), 1136.0f / 960.0f);
    EXPECT_EQ(shell.GetScreenSize().x, 1136.0f);

    // No player yet: nothing to read or change.
    EXPECT_EQ(shell.GetPoints(), 0);
    shell.SetPoints(5);
    EXPECT_FALSE(shell.AllLevelsCompleted());

    ProfileManager::Instance()->CreateProfile("Ann");
    PlayerProfile& player = *ProfileManager::Instance()->current;
    shell.SetPoints(40);
    shell.SetBombHints(1);
    shell.SetGameComplete(true);
    EXPECT_EQ(player.points, 40);
    EXPECT_EQ(player.bombHintShown, 1);
    EXPECT_EQ(player.gameCompleteShown, 1);

    // Lost Standard levels record nothing; won ones and Zen ones do.
    LevelProfile& third = player.levels.GetLevelProfile(3);
    shell.SetCurrentLevel(&third);
    EXPECT_EQ(CurrentLevel, &third);
    shell.RecordResult(third, 300, false);
    EXPECT_EQ(third.bestScore, 0);
    shell.RecordResult(third, 300, true);
    EXPECT_EQ(shell.GetLevelScore(third), 300);
    EXPECT_EQ(player.levels.GetLevelProfile(4).locked, 0);
    EXPECT_EQ(shell.NextLevel(third), &player.levels.GetLevelProfile(4));
    LevelProfile& zen = player.levels.GetLevelProfile(1, gameplay::Zen);
    shell.RecordResult(zen, 70, false);
    EXPECT_EQ(zen.bestScore, 70);

    // The step's sounds come from the chain's current turn.
    gameplay::ShapeChain chain(nullptr);
    chain.Current().count = 1;
    chain.Current().items.push_back({});
    chain.Current().items.back().frozen = true;
    TakeLog();
    shell.PlayStepSounds(chain);
    std::vector<std::string> log = TakeLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "monster_collected play"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "ice_meltdown play"), log.end());

    shell.RaisePause();
    EXPECT_EQ(SoundManager::Instance()->pauseCount, 1);
    shell.LowerPause();
    shell.LowerPause();
    EXPECT_EQ(SoundManager::Instance()->pauseCount, 0);

    UninstallShellServices();
    EXPECT_EQ(dynamic_cast<ShellServicesAdapter*>(&gameplay::ShellServices::Get()), nullptr);
}

} // namespace
