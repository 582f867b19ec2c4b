// The rollout panel: slide, fade and arrow turn, run by the control itself.

#include <gtest/gtest.h>

#include "menu_test_support.h"
#include "sources/Screens/rollout_control.h"
#include "vadu/exception.h"

namespace {

using menu_test::MenuTest;
using vadu::math::Vector3;

class RolloutTest : public MenuTest {
protected:
    void SetUp() override
    {
        MenuTest::SetUp();
        toggle = button("optionsRolloutButton", "OptionsButtonNode");
        panel = node("OptionsPanel", nullptr, 10.0f, 20.0f);
    }
    game::controls::Button* toggle = nullptr;
    vadu::lib3d::node::Node* panel = nullptr;
    const Vector3 closed{100.0f, 20.0f, 0.0f};
    const Vector3 open{100.0f, 220.0f, 0.0f};
};

TEST_F(RolloutTest, ClickSlidesOpenTurnsTheArrowAndASecondClickSlidesShut)
{
    vadu::lib3d::node::Node* arrow = node("Arrow", root->find_child(vadu::Atom("OptionsButtonNode"), true));
    node("SecondChild", root->find_child(vadu::Atom("OptionsButtonNode"), true));
    RolloutControl rollout(screen.get(), "optionsRolloutButton", "OptionsPanel", closed, open);
    EXPECT_EQ(panel->get_position(), closed);
    EXPECT_EQ(rollout.GetArrow(), arrow);
    EXPECT_FALSE(rollout.IsOpen());

    click(toggle);
    EXPECT_TRUE(rollout.IsOpen());
    rollout.Update(0.125f);
    // EaseSineOut at one half: sin(π/4) of the way.
    EXPECT_NEAR(panel->get_position().y, 20.0f + 200.0f * 0.70710677f, 0.01f);
    rollout.Update(0.2f);
    EXPECT_EQ(panel->get_position(), open);
    EXPECT_FLOAT_EQ(arrow->get_rotation().z, 3.1415f);
    EXPECT_FALSE(rollout.IsSliding());
    EXPECT_FALSE(rollout.IsTurning());
    EXPECT_TRUE(panel->is_visible());

    click(toggle);
    rollout.Update(0.3f);
    EXPECT_NEAR(panel->get_position().y, closed.y, 1e-3f);
    EXPECT_NEAR(arrow->get_rotation().z, 0.0f, 1e-5f);
}

TEST_F(RolloutTest, ADoubleClickMidWayReturnsFromWhereThePanelIs)
{
    RolloutControl rollout(screen.get(), "optionsRolloutButton", "OptionsPanel", closed, open);
    click(toggle);
    rollout.Update(0.1f);
    const float midway = panel->get_position().y;
    ASSERT_GT(midway, 20.0f);
    ASSERT_LT(midway, 220.0f);

    click(toggle);
    EXPECT_FALSE(rollout.IsOpen());
    // The first frame of the way back starts where the panel stood: no jump.
    rollout.Update(0.001f);
    EXPECT_NEAR(panel->get_position().y, midway, 0.01f);
    rollout.Update(0.3f);
    EXPECT_NEAR(panel->get_position().y, closed.y, 1e-3f);
}

TEST_F(RolloutTest, AButtonWithoutChildrenHasNoArrowAndTheMissingButtonIsRefused)
{
    RolloutControl rollout(screen.get(), "optionsRolloutButton", "OptionsPanel", closed, open);
    EXPECT_EQ(rollout.GetArrow(), nullptr);
    click(toggle);
    EXPECT_FALSE(rollout.IsTurning());
    rollout.Update(0.25f);
    EXPECT_EQ(panel->get_position(), open);

    try {
        RolloutControl missing(screen.get(), "otherRolloutButton", "OptionsPanel", closed, open);
        FAIL() << "a missing button was accepted";
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(menu_test::to_std(error.get_description()), "Unable to find key otherRolloutButton");
    }
}

} // namespace
