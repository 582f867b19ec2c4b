// The achievements screen: pages of eight with dots and arrows, where each entry sits,
// plain and "_off" pictures, and the way back to the main menu.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "menu_test_support.h"
#include "sources/Screens/achievements_screen.h"
#include "sources/achievements.h"
#include "sources/profile_manager.h"

namespace {

using menu_test::MenuTest;

// An achievement with no condition of its own: the screen only reads the shared fields.
class ListedAchievement : public AchievementBase {
public:
    void OnLevelStep(gameplay::RunningLevel&, const gameplay::ShapeChain&) override {}
};

class AchievementsScreenTest : public MenuTest {
protected:
    static constexpr float kX0 = -300.0f;
    static constexpr float kY0 = 150.0f;
    static constexpr float kZ0 = -30.0f;
    static constexpr float kDx = 300.0f;
    static constexpr float kDy = -100.0f;
    static constexpr float kBlock = 60.0f;

    void SetUp() override
    {
        MenuTest::SetUp();
        WriteGameFile("data/default.camera", R"(<Camera><CameraParallel Width="960" Height="640"/></Camera>)");
    }

    // The screen's scene over that list (the current profile's collection when null).
    AchievementsScreen* open(const std::vector<const AchievementBase*>* list)
    {
        button("ButtonBack");
        button("ButtonLeft");
        button("ButtonRight");
        node("Dot")->set_position({0.0f, -280.0f, 3.0f});
        node("DotActive");
        node("AchievementOffset", nullptr, kDx, kDy);
        node("AchievementBlockOffset", nullptr, kBlock, 0.0f);
        node("TextSize", nullptr, 200.0f, 60.0f);
        vadu::lib3d::node::Node* holder = node("Holder");
        vadu::lib3d::node::Node* entry = node("Achievement", holder);
        entry->set_position({kX0, kY0, kZ0});
        // A bare node: these tests run without a picture loader, so the screen only
        // records which picture it would show.
        node("Picture", entry);
        text("Title", entry);
        text("Description", entry);
        game::controls::Scroll* area = scroll("scroll", 960.0f, 640.0f, 960.0f, 640.0f);
        area->GetScrollImpl()->SetPageSize(960.0f, 640.0f);
        AchievementsScreen::EntrySource source;
        if (list)
            source = [list] { return *list; };
        return shown = attach(std::make_unique<AchievementsScreen>(source));
    }

    std::vector<const AchievementBase*> made(int count)
    {
        std::vector<const AchievementBase*> list;
        for (int i = 0; i < count; ++i) {
            auto each = std::make_unique<ListedAchievement>();
            each->textureSrc = vadu::String(("medal" + std::to_string(i)).c_str());
            each->achieved = i % 2 == 1;
            list.push_back(each.get());
            owned.push_back(std::move(each));
        }
        return list;
    }

    std::vector<std::unique_ptr<AchievementBase>> owned;
    AchievementsScreen* shown = nullptr;
};

TEST(AchievementsLayout, EightToAPageInTwoColumnsOfFour)
{
    struct Pages {
        int entries, pages;
    };
    for (const Pages& c : {Pages{0, 1}, Pages{1, 1}, Pages{8, 1}, Pages{9, 2}, Pages{32, 4}, Pages{33, 5}})
        EXPECT_EQ(achievements_screen::PageCount(c.entries), c.pages) << c.entries;

    struct Place {
        int i;
        float x, y;
    };
    const vadu::math::Vector3 first{10.0f, 20.0f, 5.0f};
    // dx 100, dy -30, page gap 7.
    for (const Place& c : {Place{0, 10.0f, 20.0f}, Place{3, 10.0f, -70.0f}, Place{4, 110.0f, 20.0f},
                           Place{7, 110.0f, -70.0f}, Place{8, 217.0f, 20.0f}, Place{9, 217.0f, -10.0f},
                           Place{31, 731.0f, -70.0f}}) {
        const vadu::math::Vector3 at = achievements_screen::EntryPosition(c.i, first, 100.0f, -30.0f, 7.0f);
        EXPECT_FLOAT_EQ(at.x, c.x) << c.i;
        EXPECT_FLOAT_EQ(at.y, c.y) << c.i;
        EXPECT_FLOAT_EQ(at.z, 5.0f) << c.i;
    }
}

TEST(AchievementsLayout, LongTextsShrinkUniformlyToTheirLimit)
{
    struct Case {
        float measure, limit, scale;
    };
    for (const Case& c : {Case{150.0f, 300.0f, 1.0f}, Case{300.0f, 300.0f, 1.0f}, Case{600.0f, 300.0f, 0.5f},
                          Case{90.0f, 60.0f, 60.0f / 90.0f}, Case{500.0f, 0.0f, 1.0f}})
        EXPECT_FLOAT_EQ(achievements_screen::FitScale(c.measure, c.limit), c.scale) << c.measure << " in " << c.limit;
}

TEST_F(AchievementsScreenTest, TheProfilesThirtyTwoMakeFourPagesWithDotsAndArrows)
{
    ProfileManager::Instance()->CreateProfile("Ann");
    open(nullptr);
    EXPECT_EQ(shown->GetPageCount(), 4);
    ASSERT_EQ(shown->GetDots().size(), 4u);
    EXPECT_EQ(shown->GetEntries().size(), 32u);
    // Centred 60 apart on a 960 screen; the arrows 100 beyond the outer dots.
    const float xs[] = {390.0f, 450.0f, 510.0f, 570.0f};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(shown->GetDots()[i]->get_position().x, xs[i]) << i;
        EXPECT_FLOAT_EQ(shown->GetDots()[i]->get_position().y, -280.0f) << i;
        EXPECT_TRUE(shown->GetDots()[i]->is_visible()) << i;
    }
    EXPECT_FLOAT_EQ(find("ButtonLeft")->get_position().x, 290.0f);
    EXPECT_FLOAT_EQ(find("ButtonRight")->get_position().x, 670.0f);
    EXPECT_TRUE(find("DotActive")->is_visible());

    // Entry 9 is on page 1, column 0, row 1.
    const vadu::math::Vector3 at = shown->GetEntries()[9].node->get_position();
    EXPECT_FLOAT_EQ(at.x, kX0 + 2.0f * kDx + kBlock);
    EXPECT_FLOAT_EQ(at.y, kY0 + kDy);
    EXPECT_FLOAT_EQ(at.z, kZ0);

    // The arrows stop at either end.
    game::controls::ScrollImpl* area = shown->GetScroll();
    click(control("ButtonLeft"));
    EXPECT_EQ(area->GetPage().first, 0);
    for (int i = 0; i < 5; ++i)
        click(control("ButtonRight"));
    EXPECT_EQ(area->GetPage().first, 3);
    click(control("ButtonLeft"));
    EXPECT_EQ(area->GetPage().first, 2);
}

TEST_F(AchievementsScreenTest, EightOrFewerMakeOnePageWithoutDots)
{
    for (int count : {8, 0}) {
        SCOPED_TRACE(count);
        SetUpScreen();
        const std::vector<const AchievementBase*> list = made(count);
        open(&list);
        EXPECT_EQ(shown->GetPageCount(), 1);
        EXPECT_TRUE(shown->GetDots().empty());
        EXPECT_FALSE(find("Dot")->is_visible());
        EXPECT_FALSE(find("DotActive")->is_visible());
        EXPECT_EQ(shown->GetEntries().size(), static_cast<size_t>(count));
        click(control("ButtonRight"));
        EXPECT_EQ(shown->GetScroll()->GetPage().first, 0);
    }
}

TEST_F(AchievementsScreenTest, LockedEntriesShowTheOffPicture)
{
    const std::vector<const AchievementBase*> list = made(3);
    open(&list);
    ASSERT_EQ(shown->GetEntries().size(), 3u);
    const char* expected[] = {"data/achievements/screen/medal0_off", "data/achievements/screen/medal1",
                              "data/achievements/screen/medal2_off"};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(menu_test::to_std(shown->GetEntries()[i].picture), expected[i]) << i;
    // The template itself stays where the scene has it.
    EXPECT_FLOAT_EQ(find("Achievement")->get_position().x, kX0);
}

TEST_F(AchievementsScreenTest, BackLeavesForAnEmptyStackedMainMenu)
{
    const std::vector<const AchievementBase*> list = made(9);
    open(&list);
    click(control("ButtonBack"));
    EXPECT_EQ(screens->requests, (std::vector<std::string>{"reset Menu"}));
    EXPECT_EQ(sounds, (std::vector<std::string>{"click"}));
}

} // namespace
