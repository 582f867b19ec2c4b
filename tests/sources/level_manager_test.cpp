// The level list: reading "levels.list", look-ups, unlocking on a first completion and
// the best scores.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "shell_data_support.h"
#include "sources/level_manager.h"
#include "vadu/exception.h"

namespace {

using namespace shell_data_test;

using LevelListTest = ShellDataTest;

TEST_F(LevelListTest, ReadsEveryChildInOrderWithItsModeAndOpensTheFirstLevels)
{
    WriteGameFile("data/levels/levels.list", R"(<Anything>
      <Level Number="1" FileName="level01" Type="Day" Free="true"/>
      <Level Number="4" FileName="level04" Type="Underwater"/>
      <ZenLevel FileName="zen01" Type="Night"/>
      <Zenith Number="7" FileName="zenith" Type="Day"/>
      <zenLevel Number="5" FileName="lower" Type="Day"/>
      <ZenLevel FileName="zen02" Type="Day"/>
    </Anything>)");
    LevelManager list;
    list.Load();
    struct Expected {
        int number;
        int mode;
        const char* file;
        int locked;
        int free;
        const char* type;
    } const expected[] = {
        {1, gameplay::Standard, "level01", 0, 1, "Day"},
        {4, gameplay::Standard, "level04", 1, 0, "Underwater"},
        {1, gameplay::Zen, "zen01", 0, 0, "Night"},
        // Any name beginning with the three letters counts; lower case does not.
        {7, gameplay::Zen, "zenith", 0, 0, "Day"},
        {5, gameplay::Standard, "lower", 1, 0, "Day"},
        {8, gameplay::Zen, "zen02", 0, 0, "Day"},
    };
    ASSERT_EQ(list.levels.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].file);
        const LevelProfile& level = list.levels[i];
        EXPECT_EQ(level.number, expected[i].number);
        EXPECT_EQ(level.mode, expected[i].mode);
        EXPECT_EQ(level.fileName, expected[i].file);
        EXPECT_EQ(level.locked, expected[i].locked);
        EXPECT_EQ(level.free, expected[i].free);
        EXPECT_EQ(level.type, expected[i].type);
        EXPECT_EQ(level.bestScore, 0);
    }
}

TEST_F(LevelListTest, AFirstCompletionOpensTheNextLockedLevel)
{
    struct Case {
        const char* what;
        const char* list;
        std::vector<int> openBefore; // Standard numbers opened before the result
        int completed;
        int score;
        int preset;                  // the completed level's best score before
        std::vector<int> locked;     // Standard numbers locked afterwards
    } const cases[] = {
        {"level 3 opens level 4", FiveLevels, {}, 3, 100, 0, {5}},
        {"a second completion opens nothing", FiveLevels, {}, 3, 100, 50, {4, 5}},
        {"open levels are skipped", FiveLevels, {}, 1, 100, 0, {5}},
        {"a gap stops the search",
         R"(<L><Level Number="1" FileName="a"/><Level Number="2" FileName="b"/><Level Number="4" FileName="d"/></L>)",
         {}, 2, 100, 0, {4}},
        {"the last level opens nothing", FiveLevels, {4, 5}, 5, 100, 0, {}},
        {"a score of 0 still counts as the first completion", FiveLevels, {}, 3, 0, 0, {5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteGameFile("data/levels/levels.list", c.list);
        LevelManager list;
        list.Load();
        for (int number : c.openBefore)
            list.GetLevelProfile(number).locked = 0;
        LevelProfile& level = list.GetLevelProfile(c.completed);
        level.bestScore = c.preset;
        list.RecordResult(level, c.score);
        std::vector<int> locked;
        for (const LevelProfile& record : list.levels)
            if (record.mode == gameplay::Standard && record.locked)
                locked.push_back(record.number);
        EXPECT_EQ(locked, c.locked);
    }
}

TEST_F(LevelListTest, BestScoresOnlyRiseAndZenUnlocksNothing)
{
    LevelManager list;
    list.Load();
    LevelProfile& zen = list.GetLevelProfile(1, gameplay::Zen);
    list.RecordResult(zen, 10);
    EXPECT_EQ(zen.bestScore, 10);
    EXPECT_EQ(list.GetLevelProfile(4).locked, 1);
    EXPECT_EQ(list.GetLevelProfile(2, gameplay::Zen).locked, 0);

    LevelProfile& first = list.GetLevelProfile(1);
    list.RecordResult(first, 500);
    list.RecordResult(first, 300);
    EXPECT_EQ(first.bestScore, 500);
    list.RecordResult(first, 900);
    EXPECT_EQ(first.bestScore, 900);

}

TEST_F(LevelListTest, NextLevelsAndCompletion)
{
    LevelManager list;
    list.Load();
    EXPECT_EQ(list.GetNextLevel(list.GetLevelProfile(2)), &list.GetLevelProfile(3));
    EXPECT_EQ(list.GetNextLevel(list.GetLevelProfile(5)), nullptr);
    EXPECT_EQ(list.GetNextLevel(list.GetLevelProfile(1, gameplay::Zen)), &list.GetLevelProfile(2, gameplay::Zen));
    EXPECT_TRUE(list.HasLevel(2, gameplay::Zen));
    EXPECT_FALSE(list.HasLevel(3, gameplay::Zen));

    EXPECT_FALSE(list.AllLevelsCompleted());
    for (int number = 1; number <= 5; ++number)
        list.RecordResult(list.GetLevelProfile(number), 1);
    // Zen levels do not count.
    EXPECT_TRUE(list.AllLevelsCompleted());
    list.levels.clear();
    EXPECT_TRUE(list.AllLevelsCompleted());
}

TEST_F(LevelListTest, ErrorsNameTheLevelOrTheFile)
{
    LevelManager list;
    list.Load();
    try {
        list.GetLevelProfile(9, gameplay::Zen);
        FAIL() << "no error";
    } catch (const vadu::Gluck& gluck) {
        EXPECT_EQ(gluck.get_function(), "LevelManager::GetLevelProfile");
        EXPECT_EQ(gluck.get_description(), "Unable to find level with number=9 and mode=Zen");
    }
    try {
        list.GetLevelProfile(6);
        FAIL() << "no error";
    } catch (const vadu::Gluck& gluck) {
        EXPECT_EQ(gluck.get_description(), "Unable to find level with number=6 and mode=Standard");
    }

    struct Case {
        const char* what;
        const char* text; // null: no file
    } const broken[] = {
        {"no file", nullptr},
        {"not XML", "<Levels><Level"},
        {"a Standard level without a number", R"(<L><Level FileName="a"/></L>)"},
        {"a number that is not one", R"(<L><Level Number="two" FileName="a"/></L>)"},
        {"a level without a file", R"(<L><Level Number="1"/></L>)"},
    };
    for (const Case& c : broken) {
        SCOPED_TRACE(c.what);
        fs::remove(game_ / "data/levels/levels.list");
        if (c.text)
            WriteGameFile("data/levels/levels.list", c.text);
        try {
            list.Load();
            FAIL() << "no error";
        } catch (const vadu::GluckBadResource& gluck) {
            EXPECT_EQ(gluck.get_resource().get_text(), "data/levels/levels.list");
        }
    }
}

// The shipped list marks free exactly the Standard levels a new player finds open: the
// first three.
TEST_F(LevelListTest, TheShippedListMarksFreeTheStandardLevelsOpenAtFirst)
{
    std::ifstream in(std::filesystem::path(QUILLO_PROGRAM_FOLDER) / "data" / "levels" / "levels.list",
                     std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    ASSERT_FALSE(text.str().empty());
    WriteGameFile("data/levels/levels.list", text.str());
    LevelManager list;
    list.Load();
    int open = 0;
    for (const LevelProfile& level : list.levels) {
        if (level.mode != gameplay::Standard)
            continue;
        SCOPED_TRACE(level.fileName.c_str());
        EXPECT_EQ(level.free != 0, level.locked == 0);
        open += level.locked == 0 ? 1 : 0;
    }
    EXPECT_EQ(open, 3);
}

} // namespace
