// The credits' timed pass and the leaderboards' merged tables.

#include <gtest/gtest.h>

#include <cmath>

#include "menu_test_support.h"
#include "sources/Screens/credits_screen.h"
#include "sources/Screens/leaderboards_screen.h"

namespace {

using menu_test::MenuTest;

class CreditsTest : public MenuTest {
protected:
    void SetUp() override
    {
        MenuTest::SetUp();
        WriteGameFile("data/default.camera", R"(<Camera><CameraParallel Width="960" Height="640"/></Camera>)");
        button("ButtonBack");
        node("Credits");
    }
    void press(bool down)
    {
        vadu::input::Event event("Mouse", "Left Button", down, 0.0);
        credits->on_event(event);
    }
    // Frames of dt until the total time; the offset at the end.
    float run(float seconds, float dt = 0.5f)
    {
        for (float t = 0.0f; t < seconds - 1e-4f; t += dt)
            credits->Update(dt);
        return credits->GetOffset();
    }
    CreditsScreen* credits = nullptr;
};

TEST_F(CreditsTest, ThePassPausesRampsRunsAndRampsBackToTheTop)
{
    game::controls::Scroll* area = scroll("scroll", 960.0f, 2640.0f, 960.0f, 640.0f);
    credits = attach(std::make_unique<CreditsScreen>());
    const CreditsTiming& timing = credits->GetTiming();
    EXPECT_FLOAT_EQ(timing.distance, 2000.0f);
    EXPECT_FLOAT_EQ(timing.run, 10.0f);
    EXPECT_FLOAT_EQ(timing.ramp, 2.0f);
    EXPECT_FLOAT_EQ(timing.rampDistance, 500.0f);

    EXPECT_FLOAT_EQ(run(1.0f), 2000.0f);
    EXPECT_NEAR(run(2.0f), 1500.0f, 0.01f);
    EXPECT_NEAR(run(5.0f), 1000.0f, 0.01f);
    EXPECT_NEAR(run(5.0f), 500.0f, 0.01f);
    EXPECT_NEAR(run(2.0f), 0.0f, 0.01f);
    EXPECT_NEAR(area->GetScrollImpl()->GetValue().y, 0.0f, 0.01f);
}

TEST_F(CreditsTest, ALeftPressStopsThePassAndAReleaseDoesNot)
{
    scroll("scroll", 960.0f, 2640.0f, 960.0f, 640.0f);
    credits = attach(std::make_unique<CreditsScreen>());
    run(2.0f);
    press(false);
    const float moving = run(0.5f);
    EXPECT_LT(moving, 2000.0f);
    press(true);
    EXPECT_FLOAT_EQ(run(3.0f), moving);
}

TEST_F(CreditsTest, ContentNoLongerThanThePageStaysAtTheTop)
{
    game::controls::Scroll* area = scroll("scroll", 960.0f, 600.0f, 960.0f, 640.0f);
    credits = attach(std::make_unique<CreditsScreen>());
    EXPECT_EQ(credits->GetTiming().run, 0.0f);
    EXPECT_EQ(run(5.0f), 0.0f);
    EXPECT_FALSE(std::isnan(area->GetScrollImpl()->GetValue().y));
    EXPECT_EQ(area->GetScrollImpl()->GetValue().y, 0.0f);
}

TEST_F(CreditsTest, BackGoesToAnEmptyStackedMainMenu)
{
    scroll("scroll", 960.0f, 2640.0f, 960.0f, 640.0f);
    credits = attach(std::make_unique<CreditsScreen>());
    click(control("ButtonBack"));
    EXPECT_EQ(screens->requests, (std::vector<std::string>{"reset Menu"}));
    EXPECT_EQ(sounds, (std::vector<std::string>{"click"}));
}

class LeaderboardsTest : public MenuTest {
protected:
    void SetUp() override
    {
        MenuTest::SetUp();
        button("ButtonBack");
        vadu::lib3d::node::Node* row = node("Score", nullptr, 10.0f, 300.0f);
        text("Name", row);
        text("Value", row);
        node("ScoreOffset", nullptr, 400.0f, 40.0f);
    }
    // The rows of one table, top first: "1. Name=value".
    std::vector<std::string> table(int mode)
    {
        std::vector<std::string> rows;
        for (int k = 0; k < 6; ++k) {
            for (vadu::lib3d::node::Node* child : root->get_children()) {
                if (child->get_name() != vadu::Atom("Score"))
                    continue;
                const auto at = child->get_position();
                if (std::fabs(at.x - (10.0f + 400.0f * mode)) < 0.01f && std::fabs(at.y - (300.0f - 40.0f * k)) < 0.01f)
                    rows.push_back(text_of(child->find_child("Name", false)) + "=" +
                                   text_of(child->find_child("Value", false)));
            }
        }
        return rows;
    }
    void profile(const char* name, int standardBest, int zenBest)
    {
        ProfileManager* profiles = ProfileManager::Instance();
        profiles->CreateProfile(name);
        for (LevelProfile& level : profiles->current->levels.levels) {
            if (level.number == 1)
                level.bestScore = level.mode == 0 ? standardBest : zenBest;
        }
    }
};

TEST_F(LeaderboardsTest, ProfilesMergeBelowTiesInListOrderAndPushTheSixthRowOut)
{
    WriteGameFile("data/leaderboards/leaderboards.xml", R"(<Boards>
      <StandardMode>
        <Record Name="Cat" Score="3000"/><Record Name="Ace" Score="9000"/><Record Name="Bee" Score="5000"/>
        <Record Name="Dan" Score="3000"/><Record Name="Eve" Score="2000"/><Record Name="Fox" Score="1000"/>
        <Record Name="Gus" Score="500"/>
      </StandardMode>
      <ZenMode><Record Name="Zed" Score="1234567"/></ZenMode>
      <StandardMode><Record Name="Ignored" Score="99999"/></StandardMode>
    </Boards>)");
    profile("Ann", 3000, 0);
    profile("Bob", 3000, 2000000);
    profile("Cyd", 900, 0);
    ProfileManager::Instance()->SetCurrent(1);
    PlayerProfile* current = ProfileManager::Instance()->current;
    attach(std::make_unique<LeaderboardsScreen>());

    EXPECT_EQ(table(0), (std::vector<std::string>{"1. Ace=9,000", "2. Bee=5,000", "3. Cat=3,000", "4. Dan=3,000",
                                                  "5. Ann=3,000", "6. Bob=3,000"}));
    // A short section: the rows after it are numbered and empty.
    EXPECT_EQ(table(1), (std::vector<std::string>{"1. Bob=2,000,000", "2. Zed=1,234,567", "3. =", "4. =", "5. =",
                                                  "6. ="}));
    EXPECT_EQ(ProfileManager::Instance()->current, current);
    EXPECT_EQ(root->find_child(vadu::Atom("Score"), false)->get_parent(), root);
    size_t rows = 0;
    for (vadu::lib3d::node::Node* child : root->get_children())
        rows += child->get_name() == vadu::Atom("Score") ? 1 : 0;
    EXPECT_EQ(rows, 12u) << "the template left the scene";
    click(control("ButtonBack"));
    EXPECT_EQ(screens->requests, (std::vector<std::string>{"reset Menu"}));
}

TEST_F(LeaderboardsTest, AMissingFileGivesNumberedEmptyRowsAndALogLine)
{
    attach(std::make_unique<LeaderboardsScreen>());
    EXPECT_EQ(table(0), (std::vector<std::string>{"1. =", "2. =", "3. =", "4. =", "5. =", "6. ="}));
    EXPECT_NE(LogText().find("Leaderboards: no StandardMode"), std::string::npos);
}

} // namespace
