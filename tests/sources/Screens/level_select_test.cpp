// The level map: pages of 24, dots and arrows, locks, totals, page memory and the unlock
// code.

#include <gtest/gtest.h>

#include <string>

#include "menu_test_support.h"
#include "sources/Screens/level_select_screen.h"
#include "sources/gameplay/balance.h"
#include "sources/globals.h"

namespace {

using menu_test::MenuTest;

// A Standard list with these numbers; levels 1 to 3 start open, the others locked.
std::string level_list(const std::vector<int>& numbers, int zenLevels = 2)
{
    std::string text = "<Levels>";
    for (int n : numbers)
        text += "<Level Number=\"" + std::to_string(n) + "\" FileName=\"level" + std::to_string(n) +
                "\" Type=\"Day\" Free=\"true\"/>";
    for (int z = 0; z < zenLevels; ++z)
        text += "<ZenLevel FileName=\"zen" + std::to_string(z) + "\" Type=\"Day\"/>";
    return text + "</Levels>";
}

std::vector<int> one_to(int last)
{
    std::vector<int> numbers;
    for (int n = 1; n <= last; ++n)
        numbers.push_back(n);
    return numbers;
}

class LevelMapTest : public MenuTest {
protected:
    void SetUp() override
    {
        MenuTest::SetUp();
        WriteGameFile("data/default.camera", R"(<Camera><CameraParallel Width="960" Height="640"/></Camera>)");
    }
    // The map's scene and controls over a profile of that level list.
    LevelSelectScreen* open(const std::vector<int>& numbers, int mode = 0)
    {
        WriteGameFile("data/levels/levels.list", level_list(numbers));
        if (!ProfileManager::Instance()->current)
            ProfileManager::Instance()->CreateProfile("Ann");
        player = ProfileManager::Instance()->current;
        GameMode = mode;
        button("storeButton");
        button("ButtonBack");
        button("ButtonLeft");
        button("ButtonRight");
        find("ButtonLeft")->set_position({0.0f, 30.0f, 2.0f});
        vadu::lib3d::node::Node* holder = node("Holder");
        vadu::lib3d::node::Node* levelButton = node("LevelButton", holder);
        node("ButtonChain", levelButton);
        text("ButtonNumber", levelButton);
        text("ButtonScore", levelButton)->set_visible(false);
        node("LevelType", levelButton);
        button("LevelButton");
        node("ButtonsRoot", holder, 100.0f, 500.0f);
        node("ButtonsOffset", holder, 150.0f, 120.0f);
        text("ScoreLabel", holder);
        node("Dot", nullptr, 0.0f, 40.0f)->set_position({0.0f, 40.0f, 3.0f});
        node("DotActive");
        node("MoreLevels");
        node("MoreLevelsPicture");
        game::controls::Scroll* area = scroll("scroll", 960.0f, 640.0f, 960.0f, 640.0f);
        area->GetScrollImpl()->SetPageSize(960.0f, 640.0f);
        return map = attach(std::make_unique<LevelSelectScreen>());
    }
    game::controls::Button* level_button(int number)
    {
        return dynamic_cast<game::controls::Button*>(control(("LevelButton" + std::to_string(number)).c_str()));
    }
    vadu::lib3d::node::Node* level_node(int number) { return find(("LevelButton" + std::to_string(number)).c_str()); }

    LevelSelectScreen* map = nullptr;
    PlayerProfile* player = nullptr;
};

TEST(LevelMapLayout, NumbersSitOnPagesOfSixColumnsAndFourRows)
{
    struct Case {
        int number, page, row, column;
    };
    for (const Case& c : {Case{1, 0, 0, 0}, Case{6, 0, 0, 5}, Case{7, 0, 1, 0}, Case{24, 0, 3, 5}, Case{25, 1, 0, 0},
                          Case{50, 2, 0, 1}}) {
        const level_map::Slot slot = level_map::SlotOf(c.number);
        EXPECT_EQ(slot.page, c.page) << c.number;
        EXPECT_EQ(slot.row, c.row) << c.number;
        EXPECT_EQ(slot.column, c.column) << c.number;
        EXPECT_EQ(level_map::NumberAt(c.page, c.row, c.column), c.number);
    }
    struct Pages {
        int levels, pages;
    };
    for (const Pages& c : {Pages{0, 1}, Pages{1, 1}, Pages{24, 1}, Pages{25, 2}, Pages{72, 3}, Pages{73, 4}})
        EXPECT_EQ(level_map::PageCount(c.levels), c.pages) << c.levels;
}

TEST(LevelMapLayout, StartPageIsThePageOfTheHighestOpenUnplayedLevel)
{
    struct Case {
        const char* name;
        int completed; // levels 1..completed have a score
        int open;      // levels 1..open are unlocked
        int total;
        int page;
    };
    for (const Case& c : {Case{"31 open, 1 to 30 done", 30, 31, 40, 1}, Case{"everything done", 40, 40, 40, 0},
                          Case{"a fresh start", 0, 3, 40, 0}, Case{"no levels", 0, 0, 0, 0},
                          Case{"25 open, 1 to 24 done", 24, 25, 25, 1}}) {
        std::vector<gameplay::LevelProfile> levels;
        for (int n = 1; n <= c.total; ++n) {
            gameplay::LevelProfile level;
            level.number = n;
            level.locked = n > c.open;
            level.bestScore = n <= c.completed ? 10 : 0;
            levels.push_back(level);
        }
        EXPECT_EQ(level_map::StartPage(levels), c.page) << c.name;
    }
}

TEST_F(LevelMapTest, OnePageOfTwentyFourHasNoDots)
{
    open(one_to(24));
    EXPECT_EQ(map->GetPageCount(), 1);
    EXPECT_FALSE(find("Dot")->is_visible());
    EXPECT_FALSE(find("DotActive")->is_visible());
    EXPECT_EQ(map->GetButtons().size(), 24u);
    EXPECT_EQ(level_node(24)->get_position(), (vadu::math::Vector3{5 * 150.0f, -3 * 120.0f, 0.0f}));
    EXPECT_FALSE(find("LevelButton")->is_visible());
    EXPECT_FALSE(control("LevelButton")->IsEnabled());
    EXPECT_EQ(sounds, (std::vector<std::string>{"theme"}));
}

TEST_F(LevelMapTest, LevelTwentyFiveOpensTheSecondPage)
{
    open(one_to(25));
    EXPECT_EQ(map->GetPageCount(), 2);
    EXPECT_EQ(level_node(25)->get_position(), (vadu::math::Vector3{960.0f, 0.0f, 0.0f}));
    EXPECT_EQ(level_node(25)->get_parent(), find("ButtonsRoot"));
    EXPECT_EQ(text_of(level_node(25)->find_child("ButtonNumber", false)), "25");
}

TEST_F(LevelMapTest, ThreePagesCentreTheirDotsAndPutTheArrowsBeyondThem)
{
    open(one_to(60));
    ASSERT_EQ(map->GetDots().size(), 3u);
    const float xs[] = {420.0f, 480.0f, 540.0f};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_FLOAT_EQ(map->GetDots()[i]->get_position().x, xs[i]) << i;
        EXPECT_FLOAT_EQ(map->GetDots()[i]->get_position().y, 40.0f) << i;
        EXPECT_FLOAT_EQ(map->GetDots()[i]->get_position().z, 3.0f) << i;
    }
    EXPECT_EQ(find("ButtonLeft")->get_position(), (vadu::math::Vector3{320.0f, 30.0f, 2.0f}));
    EXPECT_FLOAT_EQ(find("ButtonRight")->get_position().x, 640.0f);
    // A dot takes the map to its page.
    click(control("Dot2"));
    EXPECT_EQ(map->GetScroll()->GetPage().first, 2);
    EXPECT_EQ(LevelMapPageStandard, 2);
}

TEST_F(LevelMapTest, GapsLeaveEmptySlotsAndNumbersPastThePagesAreNotShown)
{
    open({1, 2, 4, 30});
    EXPECT_EQ(map->GetPageCount(), 1);
    EXPECT_EQ(level_node(3), nullptr);
    EXPECT_EQ(level_node(30), nullptr);
    EXPECT_EQ(level_node(4)->get_position().x, 3 * 150.0f);
    EXPECT_EQ(map->GetButtons().size(), 3u);
}

TEST_F(LevelMapTest, LocksScoresAndTotals)
{
    WriteGameFile("data/levels/levels.list", level_list(one_to(5)));
    ProfileManager::Instance()->CreateProfile("Ann");
    PlayerProfile* ann = ProfileManager::Instance()->current;
    ann->levels.levels[0].bestScore = 1500;
    ann->levels.levels[1].bestScore = 250;
    ann->totalScoreStandard = 100000;
    open(one_to(5));
    EXPECT_EQ(ann->totalScoreStandard, 100000) << "never lowered";
    EXPECT_EQ(text_of(find("ScoreLabel")), "1,750");

    EXPECT_TRUE(level_node(1)->find_child("ButtonScore", false)->is_visible());
    EXPECT_EQ(text_of(level_node(1)->find_child("ButtonScore", false)), "1,500");
    EXPECT_FALSE(level_node(3)->find_child("ButtonScore", false)->is_visible());
    EXPECT_TRUE(level_node(4)->find_child("ButtonChain", false)->is_visible());
    EXPECT_FALSE(level_node(4)->find_child("LevelType", false)->is_visible());
    EXPECT_FALSE(level_node(2)->find_child("ButtonChain", false)->is_visible());
    EXPECT_FALSE(level_button(4)->IsEnabled());
    EXPECT_TRUE(level_button(3)->IsEnabled());

    click(level_button(4));
    EXPECT_TRUE(screens->requests.empty());
    EXPECT_EQ(CurrentLevel, nullptr);
    click(level_button(2));
    EXPECT_EQ(CurrentLevel, &ann->levels.levels[1]);
    EXPECT_EQ(screens->requests, (std::vector<std::string>{"change Game"}));

    ann->totalScoreStandard = 10;
    SetUpScreen();
    open(one_to(5));
    EXPECT_EQ(ann->totalScoreStandard, 1750) << "raised to the sum";
}

TEST_F(LevelMapTest, EachModeRemembersItsPageAndTheArrowsStopAtTheEnds)
{
    LevelMapPageStandard = 1;
    LevelMapPageZen = 0;
    open(one_to(60));
    EXPECT_EQ(map->GetScroll()->GetPage().first, 1);
    EXPECT_EQ(find("DotActive")->get_position().x, 480.0f);
    click(control("ButtonRight"));
    click(control("ButtonRight"));
    EXPECT_EQ(map->GetScroll()->GetPage().first, 2);
    EXPECT_EQ(LevelMapPageStandard, 2);
    click(control("ButtonLeft"));
    click(control("ButtonLeft"));
    click(control("ButtonLeft"));
    EXPECT_EQ(map->GetScroll()->GetPage().first, 0);
    EXPECT_EQ(LevelMapPageStandard, 0);
    EXPECT_EQ(LevelMapPageZen, 0);
    click(control("storeButton"));
    click(control("ButtonBack"));
    EXPECT_EQ(screens->requests, (std::vector<std::string>{"push Store", "reset Menu"}));
}

TEST_F(LevelMapTest, TheUnlockCodeOpensEveryLevelTheSameWayEachRun)
{
    WriteGameFile("data/levels/levels.list", level_list(one_to(5)));
    ProfileManager::Instance()->CreateProfile("Ann");
    PlayerProfile* ann = ProfileManager::Instance()->current;
    ann->levels.levels[0].bestScore = 777;
    open(one_to(5));
    for (char c : std::string("vastrepod")) {
        vadu::input::Event event("Keyboard", std::u16string(1, c).c_str(), 0.0);
        gameplay::CheatCodes::Instance().OnInput(event);
    }
    EXPECT_EQ(gameplay::Balance::Instance().ZenPrice, 777);
    for (int n = 1; n <= 5; ++n) {
        EXPECT_TRUE(level_button(n)->IsEnabled()) << n;
        EXPECT_FALSE(level_node(n)->find_child("ButtonChain", false)->is_visible()) << n;
        EXPECT_EQ(ann->levels.levels[static_cast<size_t>(n - 1)].locked, 0) << n;
    }
    EXPECT_EQ(ann->levels.levels[0].bestScore, 777);
    EXPECT_EQ(ann->levels.levels[4].bestScore, 100);
    // Scores that were 0 stay hidden until the map is built again.
    EXPECT_FALSE(level_node(5)->find_child("ButtonScore", false)->is_visible());
}

} // namespace
