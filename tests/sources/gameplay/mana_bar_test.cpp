#include <gtest/gtest.h>

#include <memory>

#include "hud_test_support.h"
#include "sources/gameplay/mana_bar.h"

namespace {

using gameplay::ManaBar;
using vadu::lib3d::node::Node;
using vadu::math::Vector3;

class ManaBarTest : public hud_test::HudTest {
protected:
    std::unique_ptr<ManaBar> make(const std::vector<std::string>& without = {})
    {
        build(without);
        return std::make_unique<ManaBar>(&level.settings, root.get());
    }
    // Shows the mana at once, as if it had been counted there.
    void settle(ManaBar& bar, float mana)
    {
        bar.Update(mana);
        run(0.6f);
        manager().Clear();
        warnings.clear();
        shell.events.clear();
    }
    bool runs(Node* node, const char* tag) { return manager().FindAction(node, vadu::Atom(tag)) != nullptr; }

    hud_test::WarningLevel level{warnings};
};

TEST_F(ManaBarTest, CountsTheLabelAndTheSliderToTheCappedValue)
{
    auto bar = make();
    settle(*bar, 40.0f);
    EXPECT_EQ(manaLabel->text(), "40/100");
    bar->Update(150.0f);
    run(0.25f);
    EXPECT_GT(bar->GetShownMana(), 40.0f);
    EXPECT_LT(bar->GetShownMana(), 100.0f);
    run(0.3f);
    EXPECT_EQ(manaLabel->text(), "100/100");
    EXPECT_EQ(slider->get_scale(), (Vector3{1.0f, 1.0f, 1.0f}));

    // The label shows whole points, cut toward zero.
    bar->SetShownMana(37.9f);
    EXPECT_EQ(manaLabel->text(), "37/100");
    EXPECT_NEAR(slider->get_scale().x, 0.379f, 1e-6f);
}

TEST_F(ManaBarTest, TwoCountsAtOnceEndOnTheSecondValue)
{
    auto bar = make();
    settle(*bar, 50.0f);
    bar->Update(80.0f);
    run(0.2f);
    bar->Update(60.0f);
    run(0.6f);
    EXPECT_EQ(manaLabel->text(), "60/100");
    EXPECT_FLOAT_EQ(bar->GetShownMana(), 60.0f);
}

TEST_F(ManaBarTest, FifteenOrLessTurnsTheWarningOnAndMoreTurnsItOff)
{
    auto bar = make();
    settle(*bar, 16.0f);
    bar->Update(15.0f);
    EXPECT_TRUE(bar->IsDanger());
    EXPECT_EQ(warnings, (std::vector<std::string>{"CheckManaDanger"}));
    EXPECT_EQ(shell.events, (std::vector<std::string>{"PlayDangerTheme"}));
    EXPECT_EQ(slider->frames, (std::vector<std::string>{"mana_fill_danger"}));
    EXPECT_EQ(manaLabel->colour, (Vector3{1.0f, 0.3f, 0.3f}));
    EXPECT_TRUE(runs(slider, "DangerAnimation"));
    EXPECT_TRUE(runs(manaLabel, "LabelDangerAnimation"));
    // A further drop keeps the warning as it is.
    run(0.6f);
    bar->Update(10.0f);
    EXPECT_EQ(warnings.size(), 1u);
    run(0.6f);
    EXPECT_TRUE(runs(slider, "DangerAnimation")) << "the blinking loops";

    bar->Update(15.5f);
    EXPECT_FALSE(bar->IsDanger());
    EXPECT_EQ(warnings, (std::vector<std::string>{"CheckManaDanger", "OnManaNotDanger"}));
    EXPECT_EQ(shell.events, (std::vector<std::string>{"PlayDangerTheme", "PlayMainTheme"}));
    EXPECT_EQ(slider->frames.back(), "mana_fill");
    EXPECT_EQ(manaLabel->colour, (Vector3{1.0f, 1.0f, 1.0f}));
    EXPECT_EQ(manaLabel->get_scale(), (Vector3{1.0f, 1.0f, 1.0f}));
    EXPECT_EQ(slider->get_transparency(), 0.0);
    EXPECT_FALSE(runs(slider, "DangerAnimation"));
    EXPECT_FALSE(runs(manaLabel, "LabelDangerAnimation"));
}

TEST_F(ManaBarTest, OnlyADropIsHighlighted)
{
    const struct {
        float from;
        float to;
        bool highlight;
    } cases[] = {{50.0f, 30.0f, true}, {30.0f, 50.0f, false}, {50.0f, 50.0f, false}, {120.0f, 100.0f, false}};
    for (const auto& c : cases) {
        auto bar = make();
        settle(*bar, c.from);
        bar->Update(c.to);
        EXPECT_EQ(runs(slider, "Highlight"), c.highlight) << c.from << " -> " << c.to;
        manager().Clear();
    }
}

TEST_F(ManaBarTest, SpendingPointsCountsTheLabelDownWhileTheStockChangesAtOnce)
{
    shell.SetPoints(25);
    auto bar = make();
    EXPECT_EQ(pointsLabel->text(), "25");
    // Without a font the label has no width: the plate keeps its half.
    EXPECT_EQ(pointsBar->get_scale(), (Vector3{0.5f, 1.0f, 1.0f}));
    bar->UsePoints(10);
    EXPECT_EQ(shell.GetPoints(), 15);
    EXPECT_EQ(level.manaAdded, (std::vector<float>{10.0f}));
    EXPECT_EQ(pointsLabel->text(), "25");
    run(0.2f);
    EXPECT_EQ(pointsLabel->text(), "20");
    run(0.25f);
    EXPECT_EQ(pointsLabel->text(), "15");

    // A reset ends a running count and shows the stock.
    bar->UsePoints(5);
    run(0.1f);
    bar->ResetPoints();
    EXPECT_EQ(pointsLabel->text(), "10");
    run(0.5f);
    EXPECT_EQ(pointsLabel->text(), "10");
}

TEST_F(ManaBarTest, InfinitePointsShowATurnedEightAndAreNeverSpent)
{
    shell.SetPoints(100000);
    auto bar = make();
    EXPECT_EQ(pointsLabel->text(), "8");
    EXPECT_EQ(pointsLabel->get_rotation(), (Vector3{0.0f, 0.0f, 1.57075f}));
    EXPECT_EQ(pointsLabel->get_scale(), (Vector3{1.0f, 1.35f, 1.0f}));
    bar->UsePoints(10);
    EXPECT_EQ(shell.GetPoints(), 100000);
    EXPECT_EQ(level.manaAdded, (std::vector<float>{10.0f}));
    EXPECT_EQ(manager().GetTargetCount(), 0u);

    bar->ShowPoints(99999);
    EXPECT_EQ(pointsLabel->text(), "99999");
    EXPECT_EQ(pointsLabel->get_rotation(), (Vector3{0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(pointsLabel->get_scale(), (Vector3{1.0f, 1.0f, 1.0f}));
}

TEST_F(ManaBarTest, ALevelWithoutEnergyHidesAnInertBar)
{
    level.settings.levelEnergy = 0;
    shell.SetPoints(25);
    auto bar = make();
    EXPECT_FALSE(manaBar->is_visible());
    EXPECT_FALSE(bar->IsEnabled());
    pointsLabel->set_text_utf8("untouched", false);
    bar->Update(10.0f);
    bar->ShowPoints(5);
    bar->ResetPoints();
    bar->UsePoints(10);
    bar->FlyBottle(bottle);
    run(1.0f);
    EXPECT_EQ(pointsLabel->text(), "untouched");
    EXPECT_TRUE(manaLabel->text().empty());
    EXPECT_FALSE(bar->IsDanger());
    EXPECT_EQ(shell.GetPoints(), 25);
    EXPECT_TRUE(level.manaAdded.empty());
    EXPECT_EQ(manaBar->get_child_count(), 5u);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(ManaBarTest, MissingNodesAreLoggedOnceAndWhatNeedsThemIsSkipped)
{
    auto bar = make({"ManaLabel", "ManaPointsBar"});
    const std::string logged = log_.text();
    EXPECT_NE(logged.find("ManaBar: the HUD scene has no node \"ManaLabel\""), std::string::npos) << logged;
    EXPECT_EQ(logged.find("ManaBar:", logged.find("ManaBar:") + 1), std::string::npos) << logged;
    bar->Update(10.0f);
    run(0.6f);
    EXPECT_TRUE(bar->IsDanger());
    EXPECT_NEAR(slider->get_scale().x, 0.1f, 1e-6f);
    bar->Update(50.0f);
    bar->UsePoints(0);
    run(0.6f);
    EXPECT_FALSE(bar->IsDanger());
    EXPECT_EQ(log_.text(), logged);

    // Without the slider the bar shows no mana at all.
    manager().Clear();
    auto bare = make({"ManaBarSlider"});
    bare->Update(10.0f);
    run(0.6f);
    EXPECT_EQ(manaLabel->text(), "");
    EXPECT_FALSE(bare->IsDanger());
}

TEST_F(ManaBarTest, AFlyingBottleLandsInTheBarAndGoes)
{
    shell.scale = 2.0f;
    auto bar = make();
    manaBar->set_position(Vector3{-400.0f, 300.0f, 0.0f});
    Node field("Field", nullptr);
    auto* source = new vadu::lib3d::node::Sprite("Bottle", &field);
    source->set_position(Vector3{100.0f, -50.0f, 7.0f});
    bar->FlyBottle(source);

    ASSERT_EQ(manaBar->get_child_count(), 6u);
    Node* clone = manaBar->get_children().back();
    EXPECT_EQ(clone->get_name(), vadu::Atom("Bottle"));
    EXPECT_TRUE(hud_test::Near(clone->get_global_position(), Vector3{100.0f, -50.0f, 2.5f}));
    EXPECT_TRUE(runs(bottle, "bottle"));
    run(1.05f);
    EXPECT_TRUE(hud_test::Near(clone->get_position(), Vector3{280.0f, -70.0f, -0.1f}));
    run(2.0f);
    EXPECT_EQ(manaBar->get_child_count(), 5u);
    EXPECT_EQ(field.get_child_count(), 1u);
}

} // namespace
