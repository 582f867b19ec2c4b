// The scripted play-through in the game itself: the game's application over a copy of the
// program's folder whose flow starts at "Game", so the in-level screen is the one the game
// builds (data/screens/game.screen: GameScreen with its scene, HUD, controls and windows,
// the shell's services), headless in the application's 512 × 512 test window (the game's
// 3:2 view shown unstretched in it, black beyond its pictures above and below) and stepped by
// 1/60 s, with the level file chosen as the current level. Seeded, once a second the script may
// tap the group a patient player would (play_script.h). Frames are compared byte for byte with
// golden/play_*.png (regenerate with QUILLO_UPDATE_GOLDEN=1): the field filling, a collect
// with its floating score, the won level's end sequence, the finish window; the lost
// level's game-over window. The bodies' positions at frame 600 hash the same in every run.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "../shell_app_support.h"
#include "platform/gfx/present.h"
#include "platform/random.h"
#include "play_script.h"
#include "sources/gameplay/finish_window.h"
#include "sources/gameplay/game_screen.h"
#include "sources/gameplay/level.h"
#include "sources/gameplay/level_profile.h"
#include "sources/globals.h"
#include "support/golden.h"

namespace level_play_golden_test_file {

namespace fs = std::filesystem;
using gameplay::GameScreen;

constexpr double Step = 1.0 / 60.0;
// Drawn before each checked frame, so that its particles were born where the game puts them.
constexpr int DrawnBeforeCheck = 10;

fs::path golden_folder()
{
    return fs::path(__FILE__).parent_path() / "golden";
}

class LevelPlay : public shell_test::ShellAppTest {
protected:
    void TearDown() override
    {
        ::CurrentLevel = nullptr;
        ShellAppTest::TearDown();
    }

    // The game started on the level of the text, seeded, up to its first frame in play.
    void StartGame(const std::string& levelText)
    {
        const fs::path copy = copy_program_folder();
        std::ofstream(copy / "data" / "levels" / "playtest.xml", std::ios::binary) << levelText;
        start_flow_at(copy, "Game");
        ASSERT_FALSE(HasFatalFailure());

        record_.number = 1;
        record_.fileName = "playtest";
        record_.locked = 0;
        record_.type = "Day";
        start_game();
        ::CurrentLevel = &record_;
        platform::seed_random(2024);
        for (int i = 0; i < 10 && level() == nullptr; ++i)
            frame(Step);
        ASSERT_NE(level(), nullptr);
        frame_ = 0;
    }

    GameScreen* screen() const { return current_backend<GameScreen>(); }
    gameplay::Level* level() const { return screen() ? screen()->GetLevel() : nullptr; }
    bool WindowIn() const
    {
        return screen() && screen()->GetFinishWindow() && screen()->GetFinishWindow()->GetWindow() != nullptr;
    }

    // Frames of 1/60 s; before every 60th the script taps its target, if it has one. Only
    // the last `drawn` frames are drawn: under the sanitizers drawing is most of the time a
    // frame takes, and the play (bodies, taps, score) does not depend on it. Particles do a
    // little (an emitter that moves with its parent is placed where it was last drawn), so
    // the frames just before a check are drawn as in the game.
    void Play(int frames, int drawn = 0)
    {
        for (int i = 0; i < frames; ++i) {
            ++frame_;
            gameplay::Level* running = level();
            ASSERT_NE(running, nullptr);
            if (frame_ % 60 == 0 && running->IsInputEnabled()) {
                if (gameplay::Shape* target = play_script::Choose(*running)) {
                    running->Tap(target->GetPosition());
                    ++taps_;
                }
            }
            pump_messages();
            app_->Update(Step);
            drawn_ = i >= frames - drawn;
            if (drawn_)
                app_->Render();
            if (frame_ == 600) {
                hash_at_600_ = play_script::BodyHash(*level());
                shapes_at_600_ = level()->shapes.size();
            }
            if (won_at_ < 0 && level()->IsEnded())
                won_at_ = frame_;
        }
    }

    // Draws the frame the last update left, unless it is drawn, and compares it.
    void Check(const char* name)
    {
        SCOPED_TRACE(name);
        if (!drawn_)
            app_->Render();
        golden::expect_frame(platform::gfx::last_presented_frame(), golden_folder(), name);
    }

    gameplay::LevelProfile record_;
    int frame_ = 0;
    int taps_ = 0;
    int won_at_ = -1;
    bool drawn_ = false;
    uint64_t hash_at_600_ = 0;
    size_t shapes_at_600_ = 0;
};

TEST_F(LevelPlay, GoldenFramesOfAWonLevelInTheGamesScreen)
{
    StartGame(play_script::Winnable());
    Play(45, DrawnBeforeCheck);
    Check("play_filling");
    // The script waits for a group worth a star or a full field: the first collect.
    for (int i = 0; i < 1200 && taps_ == 0; ++i)
        Play(1);
    ASSERT_EQ(taps_, 1);
    Play(15, DrawnBeforeCheck);
    EXPECT_GT(level()->Score(), 0);
    Check("play_collect");
    for (int i = 0; i < 1200 && won_at_ < 0; ++i)
        Play(1);
    // Four stars take longer than ten seconds: the bodies hashed at frame 600 are in play.
    ASSERT_GT(won_at_, 600);
    ASSERT_FALSE(level()->IsLost());
    Play(70, DrawnBeforeCheck);
    Check("play_won");
    for (int i = 0; i < 1200 && !WindowIn(); ++i)
        Play(1);
    ASSERT_TRUE(WindowIn());
    EXPECT_TRUE(screen()->GetFinishWindow()->IsFinish());
    Play(40, DrawnBeforeCheck);
    Check("play_finish_window");

    EXPECT_GT(shapes_at_600_, 0u);
    // Recorded from a run; a change here means the physics or the script moved.
    EXPECT_EQ(hash_at_600_, 11954387560811107069ull);
}

TEST_F(LevelPlay, GoldenGameoverWindowOfALostLevelInTheGamesScreen)
{
    StartGame(play_script::Losing());
    for (int i = 0; i < 900 && !WindowIn(); ++i)
        Play(1);
    ASSERT_TRUE(WindowIn()) << taps_ << " taps, mana " << level()->Mana() << ", ended " << level()->IsEnded();
    EXPECT_TRUE(level()->IsLost());
    EXPECT_FALSE(screen()->GetFinishWindow()->IsFinish());
    EXPECT_EQ(taps_, 4);
    Play(40, DrawnBeforeCheck);
    Check("play_gameover_window");
}

} // namespace level_play_golden_test_file
