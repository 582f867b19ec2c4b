// The achievements that ask for a kind of level can be earned in the shipped levels: for each,
// the levels of data/levels/levels.list are loaded in turn (with the game's achievements file,
// so each achievement's own level filters apply) and the achievement's own code is driven on
// them with what the level brings — its number, scenery, water, rocks, starred and frozen
// monsters, fish, and where its shapes go when nobody taps — until one level earns it. The
// rule of each achievement is its code's; the test only supplies the events a player's game
// on that level would raise.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "level_players.h"
#include "shell_data_support.h"
#include "sources/achievement_kinds.h"
#include "sources/achievements.h"
#include "sources/gameplay/cheat_codes.h"
#include "sources/gameplay/kinds.h"
#include "sources/gameplay/level.h"
#include "sources/gameplay/level_loader.h"
#include "sources/gameplay/level_profile.h"
#include "support/fake_gameplay.h"
#include "vadu/input.h"

namespace level_achievements_test_file {

namespace fs = std::filesystem;
using gameplay::ShapeKind;
using level_players::ListedLevel;

// Passes what a level raises on to the achievements, as the game's shell does.
class ForwardingShell : public gameplay_fakes::FakeShell {
public:
    void StarLost(gameplay::StarredMonster& monster) override
    {
        if (collection && level)
            collection->StarLost(*level, monster);
    }
    void ShapeLeft(gameplay::Shape& shape) override
    {
        if (collection && level)
            collection->ShapeLeft(*level, shape);
    }
    void RockLeft(gameplay::Shape& rock) override
    {
        if (collection && level)
            collection->RockLeft(*level, rock);
    }
    void UnderwaterChainCollected(int size) override
    {
        if (collection)
            collection->UnderwaterChainCollected(size);
    }
    void ChainCollected(const std::vector<gameplay::Shape*>& chain) override
    {
        if (collection)
            collection->ChainCollected(chain);
    }

    AchievementCollection* collection = nullptr;
    gameplay::RunningLevel* level = nullptr;
};

fs::path ProgramData()
{
    return fs::path(QUILLO_PROGRAM_FOLDER) / "data";
}

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class LevelAchievements : public shell_data_test::ShellDataTest {
protected:
    void SetUp() override
    {
        ShellDataTest::SetUp();
        for (const char* file : {"main.world", "achievements/achievements.xml", "levels/levels.list"})
            WriteGameFile(std::string("data/") + file, ReadText(ProgramData() / file));
        for (const ListedLevel& listed : level_players::ReadList(ProgramData() / "levels" / "levels.list"))
            WriteGameFile("data/levels/" + listed.fileName + ".xml",
                          ReadText(ProgramData() / "levels" / (listed.fileName + ".xml")));
    }
    void TearDown() override
    {
        shell_.collection = nullptr;
        shell_.level = nullptr;
        level_.reset();
        collection_.reset();
        gameplay::CheatCodes::ResetForTests();
        ShellDataTest::TearDown();
    }

    // The level loaded from its file as the game loads it, its achievements started on it.
    gameplay::Level& Start(const ListedLevel& listed)
    {
        shell_.collection = nullptr;
        shell_.level = nullptr;
        level_.reset();
        collection_.reset();
        gameplay::CheatCodes::ResetForTests();
        hud_.stars = 0;
        record_.number = listed.number;
        record_.mode = listed.mode;
        record_.fileName = listed.fileName.c_str();
        record_.type = listed.type.c_str();
        {
            gameplay::LevelLoader loader(gameplay::LevelLoader::PathOf(record_.fileName));
            level_ = loader.CreateLevel();
        }
        level_->SetRecord(&record_);
        level_->makeHud = false;
        collection_ = std::make_unique<AchievementCollection>();
        shell_.collection = collection_.get();
        shell_.level = level_.get();
        collection_->OnLevelStart(*level_);
        return *level_;
    }

    template <class K>
    bool Achieved()
    {
        return collection_->Find<K>()->achieved;
    }

    // The first listed level on which `earn` earns the achievement K; empty when none does.
    template <class K>
    std::string EarnedIn(const std::function<void(gameplay::Level&)>& earn)
    {
        for (const ListedLevel& listed : level_players::ReadList(ProgramData() / "levels" / "levels.list")) {
            gameplay::Level& level = Start(listed);
            earn(level);
            if (Achieved<K>())
                return listed.fileName;
        }
        return {};
    }

    // Starred monsters the level brings: those in place, else those its goal asks to make.
    static int StarredInPlace(gameplay::Level& level)
    {
        int count = 0;
        for (gameplay::Shape* shape : level.shapes)
            count += shape->GetKind() == ShapeKind::Starred ? 1 : 0;
        return count;
    }
    static bool BringsStars(gameplay::Level& level)
    {
        return StarredInPlace(level) > 0 ||
               (level.settings.starCountGoal > 0 && level.settings.starChain <= level.settings.maxShapeCount);
    }
    // Rocks come from the cannons or are in place.
    static bool BringsRocks(gameplay::Level& level)
    {
        bool placed = false;
        for (gameplay::Shape* shape : level.shapes)
            placed = placed || shape->GetKind() == ShapeKind::Rock;
        return placed || (level.settings.probabilityRock > 0.0f && level.settings.maxShapeCount > 0);
    }
    // A shape of the level at its water line, just under it.
    template <class S, class... Args>
    S& UnderWater(gameplay::Level& level, Args... args)
    {
        auto* shape = new S(level.World(), vadu::Atom(), args...);
        shape->SetPosition({480.0f, level.settings.GetWaterLevel() - 1.0f});
        level.shapes.push_back(shape);
        return *shape;
    }
    // Stars the goal asks for, taken off the field as the player brings them home.
    static void BringStarsHome(gameplay::Level& level, gameplay_fakes::FakeHud& hud)
    {
        int left = level.settings.starCountGoal;
        for (auto it = level.shapes.begin(); it != level.shapes.end() && left > 0;) {
            if ((*it)->GetKind() == ShapeKind::Starred) {
                it = level.shapes.erase(it);
                --left;
            } else {
                ++it;
            }
        }
        hud.stars = level.settings.starCountGoal;
    }

    vadu::input::Manager::Creator input_;
    ForwardingShell shell_;
    gameplay_fakes::FakeHud hud_;
    gameplay::LevelProfile record_;
    std::unique_ptr<gameplay::Level> level_;
    std::unique_ptr<AchievementCollection> collection_;
};

TEST_F(LevelAchievements, ALevelWhoseNumberAndScoreEarnBlackJack)
{
    const std::string level = EarnedIn<AchievementBlackJack>([this](gameplay::Level& running) {
        running.AddScore(1000000);
        collection_->OnLevelStep(running, running.Chain());
    });
    EXPECT_FALSE(level.empty()) << "no level earns BlackJack, however high its score";
    std::printf("BlackJack: %s\n", level.c_str());
}

TEST_F(LevelAchievements, ANightAndAnUnderwaterLevelWonQuicklyEarnShortNightAndQuickDiver)
{
    const auto winAtOnce = [this](gameplay::Level& running) {
        if (running.settings.starCountGoal == 0 || !BringsStars(running))
            return;
        BringStarsHome(running, hud_);
        collection_->OnLevelEnd(running);
    };
    const std::string night = EarnedIn<AchievementShortNight>(winAtOnce);
    const std::string underwater = EarnedIn<AchievementQuickDiver>(winAtOnce);
    EXPECT_FALSE(night.empty());
    EXPECT_FALSE(underwater.empty());
    std::printf("ShortNight: %s, QuickDiver: %s\n", night.c_str(), underwater.c_str());
}

TEST_F(LevelAchievements, ALevelEndingWithTenStarredMonstersOnTheFieldEarnsHomelessMonsters)
{
    // A Standard level ends when its goal is brought home; a Zen level has none and ends when
    // moves or mana run out.
    const std::string level = EarnedIn<AchievementHomelessMonsters>([this](gameplay::Level& running) {
        BringStarsHome(running, hud_);
        collection_->OnLevelEnd(running);
    });
    EXPECT_FALSE(level.empty()) << "no level ends with ten starred monsters still in place";
    std::printf("HomelessMonsters: %s\n", level.c_str());
}

TEST_F(LevelAchievements, RocksSinkInALevelWithWaterForRustyAnchorAndScrapMetal)
{
    const auto sink = [this](int rocks) {
        return [this, rocks](gameplay::Level& running) {
            if (!BringsRocks(running))
                return;
            for (int i = 0; i < rocks; ++i)
                collection_->RockLeft(running, UnderWater<gameplay::Rock>(running));
        };
    };
    const std::string anchor = EarnedIn<AchievementRustyAnchor>(sink(1));
    const std::string scrap = EarnedIn<AchievementScrapMetal>(sink(3));
    EXPECT_FALSE(anchor.empty());
    EXPECT_FALSE(scrap.empty());
    std::printf("RustyAnchor: %s, ScrapMetal: %s\n", anchor.c_str(), scrap.c_str());
}

TEST_F(LevelAchievements, StarredMonstersDrownInALevelWithWaterForOverboardAndMassDiving)
{
    const auto drown = [this](int stars) {
        return [this, stars](gameplay::Level& running) {
            if (!BringsStars(running))
                return;
            for (int i = 0; i < stars; ++i)
                collection_->StarLost(running, UnderWater<gameplay::StarredMonster>(running, 0));
        };
    };
    const std::string overboard = EarnedIn<AchievementOverboard>(drown(1));
    const std::string diving = EarnedIn<AchievementMassDiving>(drown(10));
    EXPECT_FALSE(overboard.empty());
    EXPECT_FALSE(diving.empty());
    std::printf("Overboard: %s, MassDiving: %s\n", overboard.c_str(), diving.c_str());
}

TEST_F(LevelAchievements, ShapesFlyAwayOverTheTopForLetemFly)
{
    // Left alone for up to twenty seconds, the level's shapes go where its gravity takes them; those
    // that leave over the top count toward the 150 asked for over the won levels together.
    // Counted as if the earlier levels had brought all but the last ten: ten more must fly.
    constexpr int Flown = 10;
    int flown = 0;
    const std::string level = EarnedIn<AchievementLetemFly>([this, &flown](gameplay::Level& running) {
        auto* fly = collection_->Find<AchievementLetemFly>();
        fly->total = 150 - Flown;
        running.Start(nullptr, nullptr);
        for (int frame = 0; frame < 20 * 60 && !fly->achieved; ++frame)
            running.Update(1.0f / 60.0f);
        flown = fly->levelCount;
    });
    ASSERT_FALSE(level.empty()) << "no level lets its shapes fly away";
    EXPECT_EQ(flown, Flown);
    std::printf("LetemFly: %s, %d shapes flown away within 20 s\n", level.c_str(), flown);
}

TEST_F(LevelAchievements, FrozenMonstersInPlaceForTitanic)
{
    const std::string level = EarnedIn<AchievementTitanic>([this](gameplay::Level& running) {
        for (gameplay::Shape* shape : running.shapes) {
            if (auto* monster = dynamic_cast<gameplay::Monster*>(shape))
                monster->Collect(running.Chain());
        }
        collection_->OnLevelStep(running, running.Chain());
    });
    EXPECT_FALSE(level.empty()) << "no level places frozen monsters";
    std::printf("Titanic: %s\n", level.c_str());
}

TEST_F(LevelAchievements, ZenLevelsForCaviarBillionaireAndComeThroughUnscathed)
{
    const std::string caviar = EarnedIn<AchievementCaviar>([](gameplay::Level& running) {
        std::vector<gameplay::Shape*> chain;
        for (int i = 0; i < 6; ++i) {
            auto* monster = new gameplay::Monster(running.World(), vadu::Atom(), 0);
            monster->SetPosition({100.0f + 70.0f * static_cast<float>(i), 300.0f});
            running.shapes.push_back(monster);
            chain.push_back(monster);
        }
        running.CollectChain(chain, chain.front());
    });
    const auto score = [this](gameplay::Level& running) {
        running.AddScore(1000000);
        collection_->OnLevelStep(running, running.Chain());
    };
    const std::string billionaire = EarnedIn<AchievementBillionaire>(score);
    const std::string unscathed = EarnedIn<AchievementComeThroughUnscathed>(score);
    EXPECT_FALSE(caviar.empty());
    EXPECT_FALSE(billionaire.empty());
    EXPECT_FALSE(unscathed.empty());
    std::printf("Caviar: %s, WhoWantstoBeaBillionaire: %s, ComeThroughUnscathed: %s\n", caviar.c_str(),
                billionaire.c_str(), unscathed.c_str());
}

TEST_F(LevelAchievements, FishComeToALevelWithStarsForFeedTheFish)
{
    // A fish comes on the first step of a level that has fish at all.
    const std::string level = EarnedIn<AchievementFeedTheFish>([this](gameplay::Level& running) {
        if (running.GetFishCountdown() < 0 || !BringsStars(running))
            return;
        for (int i = 0; i < 10; ++i)
            collection_->FishReached(UnderWater<gameplay::StarredMonster>(running, 0));
    });
    EXPECT_FALSE(level.empty());
    std::printf("FeedTheFish: %s\n", level.c_str());
}

} // namespace level_achievements_test_file
