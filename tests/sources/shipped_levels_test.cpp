// Every level of data/levels/levels.list played in the game itself: the application over a
// copy of the program's folder whose flow starts at "Game", so the level runs in the in-level
// screen the game builds, headless and stepped by 1/60 s without drawing. Three scripted
// players (level_players.h): the greedy one must win a Standard level within its bound and keep
// a Zen level going for a while; the idle one must lose, unless the level is of a kind that
// waiting cannot lose (the reason is given below and printed); the random one, over a few
// fixed seeds, must leave the game sound however odd its taps (in the sanitizer build a fault
// that only such play reaches fails the case). Each case prints its figures: taps and seconds,
// the lowest mana.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

#include "level_players.h"
#include "platform/random.h"
#include "shell_app_support.h"
#include "sources/gameplay/game_screen.h"
#include "sources/gameplay/level.h"
#include "sources/gameplay/level_profile.h"
#include "sources/gameplay/tutorial.h"
#include "sources/globals.h"

namespace shipped_levels_test_file {

namespace fs = std::filesystem;
using level_players::Figures;
using level_players::ListedLevel;
using level_players::Player;

// Level time the greedy player has to win a Standard level in, and to keep a Zen level going.
constexpr double GreedyBound = 75.0;
constexpr double ZenBound = 45.0;
// A Zen level lasts at least this long under the greedy player.
constexpr double ZenFewestSeconds = 30.0;
// Level time the idle player is watched for: until he loses, or for a while on a level he
// cannot lose.
constexpr double IdleBound = 40.0;
constexpr double ShortIdleBound = 20.0;
// Level time the random player taps for, and the seeds of its games: each seeds both the
// level's own random numbers and the player's draws. Seeds 9 and 20 once led level15 to a
// frozen monster dying into a starred monster already deleted; about three seconds a case
// under the sanitizers on two cores.
constexpr double RandomBound = 30.0;
constexpr unsigned RandomSeeds[] = {1, 9, 20};
// Below this many taps a Standard level is no puzzle, unless it teaches the game.
constexpr int FewestTaps = 5;
const std::set<std::string> TutorialLevels = {"level01"};

// Why the idle player cannot lose the level, or empty when he must. Mana is spent by taps
// alone, and the cannons keep the field full of groups, so waiting loses only a night level
// whose water rises: there a drowned shape ends the level.
std::string WhyWaitingCannotLose(gameplay::Level& level)
{
    const gameplay::LevelSettings& settings = level.settings;
    if (settings.backgroundType == 1 && settings.waterLevelRaise > 0.0f)
        return {};
    if (settings.backgroundType == 1)
        return "no water rises on this night level and the field holds its shapes inside it, so no shape is ever "
               "in danger; mana is spent by taps alone";
    return "a day or underwater level is lost only when mana runs out, which taps alone spend, or when no group "
           "is left, and the cannons keep the field full of groups";
}

std::vector<ListedLevel> Listed()
{
    return level_players::ReadList(fs::path(QUILLO_PROGRAM_FOLDER) / "data" / "levels" / "levels.list");
}

std::string Describe(const Figures& figures)
{
    char text[200];
    std::snprintf(text, sizeof text, "%s after %d taps, %.1f s, lowest mana %s, score %d, %d stars made",
                  figures.ended ? (figures.won ? "won" : "lost") : "still in play", figures.taps, figures.seconds,
                  figures.hasMana ? std::to_string(static_cast<int>(figures.lowestMana)).c_str() : "-",
                  figures.score, figures.starsMade);
    return text;
}

// The game on one listed level, played by the scripted players.
class LevelGame : public shell_test::ShellAppTest {
protected:
    void TearDown() override
    {
        ::CurrentLevel = nullptr;
        ShellAppTest::TearDown();
    }

    // The game started on the level, seeded, up to its first frame in play.
    void StartLevel(const ListedLevel& listed, unsigned seed = 2024)
    {
        const fs::path copy = copy_program_folder();
        start_flow_at(copy, "Game");
        ASSERT_FALSE(HasFatalFailure());

        record_.number = listed.number;
        record_.mode = listed.mode;
        record_.fileName = listed.fileName.c_str();
        record_.locked = 0;
        record_.type = listed.type.c_str();
        start_game();
        ::CurrentLevel = &record_;
        platform::seed_random(seed);
        for (int i = 0; i < 10 && level() == nullptr; ++i)
            step();
        ASSERT_NE(level(), nullptr);
    }

    // The level's frames are updated, not drawn: the players look at the level only.
    void step() override
    {
        pump_messages();
        app_->Update(level_players::FrameSeconds);
    }

    gameplay::Level* level() const
    {
        auto* screen = current_backend<gameplay::GameScreen>();
        return screen ? screen->GetLevel() : nullptr;
    }

    Figures Play(Player player, double bound, unsigned seed = 0)
    {
        return level_players::Play(player, [this] { return level(); }, [this] { step(); }, bound, seed);
    }

    gameplay::LevelProfile record_;
};

class ShippedLevel : public LevelGame, public ::testing::WithParamInterface<ListedLevel> {
protected:
    void StartLevel() { LevelGame::StartLevel(GetParam()); }
    bool Zen() const { return GetParam().mode == 1; }
};

TEST_P(ShippedLevel, GreedyPlayerWins)
{
    StartLevel();
    const Figures figures = Play(Player::Greedy, Zen() ? ZenBound : GreedyBound);
    std::printf("%s %s greedy: %s\n", GetParam().fileName.c_str(), GetParam().type.c_str(), Describe(figures).c_str());
    RecordProperty("figures", Describe(figures));
    EXPECT_EQ(figures.unexplainedEarlyDeaths, 0);
    if (Zen()) {
        // A Zen level has no goal: it goes on while moves and mana last, and its score counts
        // however it ends.
        EXPECT_GE(figures.seconds, ZenFewestSeconds) << Describe(figures);
        EXPECT_GT(figures.score, 0);
        return;
    }
    EXPECT_TRUE(figures.won) << Describe(figures);
    if (TutorialLevels.count(GetParam().fileName) == 0) {
        EXPECT_GE(figures.taps, FewestTaps) << Describe(figures);
    }
}

TEST_P(ShippedLevel, IdlePlayerLoses)
{
    StartLevel();
    const std::string why = WhyWaitingCannotLose(*level());
    const Figures figures = Play(Player::Idle, why.empty() ? IdleBound : ShortIdleBound);
    std::printf("%s %s idle: %s\n", GetParam().fileName.c_str(), GetParam().type.c_str(), Describe(figures).c_str());
    RecordProperty("figures", Describe(figures));
    EXPECT_EQ(figures.unexplainedEarlyDeaths, 0);
    if (!why.empty()) {
        std::printf("%s cannot be lost by waiting: %s\n", GetParam().fileName.c_str(), why.c_str());
        EXPECT_FALSE(figures.ended) << Describe(figures);
        return;
    }
    EXPECT_TRUE(figures.ended && !figures.won) << Describe(figures);
}

class RandomlyTappedLevel : public LevelGame,
                            public ::testing::WithParamInterface<std::tuple<ListedLevel, unsigned>> {};

TEST_P(RandomlyTappedLevel, StaysSound)
{
    const auto& [listed, seed] = GetParam();
    StartLevel(listed, seed);
    ASSERT_FALSE(HasFatalFailure());
    const Figures figures = Play(Player::Random, RandomBound, seed);
    std::printf("%s %s random (seed %u): %s\n", listed.fileName.c_str(), listed.type.c_str(), seed,
                Describe(figures).c_str());
    RecordProperty("figures", Describe(figures));
    EXPECT_GT(figures.taps, 0);
    EXPECT_FALSE(figures.scoreFell) << Describe(figures);
    EXPECT_EQ(figures.unexplainedEarlyDeaths, 0) << Describe(figures);
    if (figures.hasMana) {
        EXPECT_GE(figures.lowestMana, 0.0f);
    }
}

// The levels a new player finds open teach the game: while he looks and learns, no shape is
// taken by the water. Tides that drown the field come later in the list.
class OpenAtFirstLevel : public ShippedLevel {};

TEST_P(OpenAtFirstLevel, AnIdleFieldLosesNoShapeToTheWater)
{
    StartLevel();
    int drowned = 0;
    for (int frame = 0; frame < static_cast<int>(IdleBound / level_players::FrameSeconds); ++frame) {
        gameplay::Level* running = level();
        ASSERT_NE(running, nullptr);
        // Shapes under the water line and away from a fish's mouth (a fish takes what it eats).
        std::set<const gameplay::Shape*> underwater;
        for (const gameplay::Shape* shape : running->shapes) {
            bool nearFish = false;
            for (const auto& fish : running->GetFish()) {
                const auto at = fish->GetNode()->get_position();
                nearFish = nearFish || level_players::Near(shape->GetPosition(),
                                                           {at.x + fish->GetMouth().x, at.y + fish->GetMouth().y},
                                                           level_players::FishReach);
            }
            if (!nearFish && shape->GetPosition().y < running->settings.GetWaterLevel())
                underwater.insert(shape);
        }
        step();
        running = level();
        ASSERT_NE(running, nullptr);
        const std::set<const gameplay::Shape*> after(running->shapes.begin(), running->shapes.end());
        for (const gameplay::Shape* shape : underwater)
            drowned += after.count(shape) == 0 ? 1 : 0;
    }
    std::printf("%s: %d shapes drowned in %.0f s without a tap\n", GetParam().fileName.c_str(), drowned, IdleBound);
    EXPECT_EQ(drowned, 0);
}

// A level that teaches lets the player read each of its hints: played through by the greedy
// player, every hint of the level's own tutorial shows for a while before the level ends
// (the greedy player taps once a second, and the first hint goes with the first tap).
class TutorialLevel : public ShippedLevel {};

TEST_P(TutorialLevel, EveryHintIsShownWhileTheLevelIsInPlay)
{
    constexpr double ReadingSeconds = 0.5;
    StartLevel();
    const gameplay::Tutorial* own = level()->GetTutorial();
    ASSERT_NE(own, nullptr);
    std::vector<const gameplay::TutorialHint*> hints;
    for (const auto& hint : own->hints)
        hints.push_back(hint.get());
    std::vector<double> shown(hints.size(), 0.0);
    const Figures figures = level_players::Play(
        Player::Greedy, [this] { return level(); },
        [&] {
            step();
            const gameplay::Level* running = level();
            // Another tutorial (the lightning's, low mana's) replaces the level's own for good.
            if (running == nullptr || running->IsEnded() || running->GetTutorial() != own || !own->hintShowing)
                return;
            const auto at = std::find(hints.begin(), hints.end(), own->CurrentHint());
            if (at != hints.end())
                shown[at - hints.begin()] += level_players::FrameSeconds;
        },
        GreedyBound);
    std::printf("%s: %s\n", GetParam().fileName.c_str(), Describe(figures).c_str());
    EXPECT_TRUE(figures.won) << Describe(figures);
    for (size_t i = 0; i < hints.size(); ++i)
        EXPECT_GE(shown[i], ReadingSeconds) << "hint " << i + 1 << " of " << hints.size() << " shown for " << shown[i] << " s";
}

std::vector<ListedLevel> Teaching()
{
    std::vector<ListedLevel> teaching;
    for (const ListedLevel& listed : Listed()) {
        if (TutorialLevels.count(listed.fileName) != 0)
            teaching.push_back(listed);
    }
    return teaching;
}

std::vector<ListedLevel> OpenAtFirst()
{
    std::vector<ListedLevel> open;
    for (const ListedLevel& listed : Listed()) {
        if (listed.mode == 0 && listed.number <= 3)
            open.push_back(listed);
    }
    return open;
}

std::string FileCaseName(const std::string& fileName)
{
    std::string name = fileName;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return name;
}

std::string CaseName(const ::testing::TestParamInfo<ListedLevel>& info)
{
    return FileCaseName(info.param.fileName);
}

std::string SeededCaseName(const ::testing::TestParamInfo<std::tuple<ListedLevel, unsigned>>& info)
{
    return FileCaseName(std::get<0>(info.param).fileName) + "_seed" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedLevel, ::testing::ValuesIn(Listed()), CaseName);
INSTANTIATE_TEST_SUITE_P(Shipped, RandomlyTappedLevel,
                         ::testing::Combine(::testing::ValuesIn(Listed()), ::testing::ValuesIn(RandomSeeds)),
                         SeededCaseName);

INSTANTIATE_TEST_SUITE_P(Shipped, OpenAtFirstLevel, ::testing::ValuesIn(OpenAtFirst()), CaseName);
INSTANTIATE_TEST_SUITE_P(Shipped, TutorialLevel, ::testing::ValuesIn(Teaching()), CaseName);

} // namespace shipped_levels_test_file
