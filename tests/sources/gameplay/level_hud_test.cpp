#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>

#include "game/text_service.h"
#include "hud_test_support.h"
#include "sources/gameplay/instance_registry.h"
#include "sources/gameplay/level_hud.h"
#include "sources/gameplay/mana_bar.h"
#include "sources/gameplay/monsters_bar.h"
#include "sources/gameplay/node_helpers.h"
#include "vadu/filesystem.h"

namespace {

using gameplay::LevelHud;
using hud_test::RecordingText;
using vadu::lib3d::node::Node;
using vadu::math::Vector3;

class LevelHudTest : public hud_test::HudTest {
protected:
    LevelHudTest() { build(); }

    std::unique_ptr<LevelHud> make() { return LevelHud::Create(root.get(), &level.settings); }

    hud_test::WarningLevel level{warnings};
};

TEST_F(LevelHudTest, NodeHelpersTakeANodeOnlyAsItsOwnType)
{
    EXPECT_EQ(gameplay::FindText(root.get(), "score_label"), scoreLabel);
    EXPECT_EQ(gameplay::FindSprite(root.get(), "ManaBarSlider"), slider);
    // A sprite is no text and a text no sprite; missing names and roots give nothing.
    EXPECT_EQ(gameplay::FindText(root.get(), "ManaBar"), nullptr);
    EXPECT_EQ(gameplay::FindSprite(root.get(), "ManaLabel"), nullptr);
    EXPECT_EQ(gameplay::FindText(root.get(), "Nothing"), nullptr);
    EXPECT_EQ(gameplay::FindText(nullptr, "score_label"), nullptr);
    EXPECT_EQ(gameplay::AsEmitter(root.get()), nullptr);

    EXPECT_EQ(gameplay::SetChildText(root.get(), "ManaLabel", "Grüße"), manaLabel);
    EXPECT_EQ(manaLabel->get_text(), vadu::WString(u"Grüße"));
    EXPECT_EQ(gameplay::SetChildText(root.get(), "ManaBar", "x"), nullptr);
    EXPECT_EQ(gameplay::SetChildSprite(root.get(), "ManaBarSlider", "mana_fill"), slider);
    EXPECT_EQ(gameplay::SetChildSprite(root.get(), "ManaLabel", "mana_fill"), nullptr);
}

TEST_F(LevelHudTest, IsTheRunningHudWhileItLivesAndANewOneTakesOver)
{
    auto first = make();
    EXPECT_EQ(gameplay::InstanceRegistry::Get<gameplay::RunningHud>(), first.get());
    EXPECT_EQ(gameplay::InstanceRegistry::Get<LevelHud>(), first.get());
    auto second = make();
    first.reset();
    EXPECT_EQ(gameplay::InstanceRegistry::Get<gameplay::RunningHud>(), second.get());
    EXPECT_EQ(gameplay::InstanceRegistry::Get<LevelHud>(), second.get());
    second.reset();
    EXPECT_EQ(gameplay::InstanceRegistry::Get<gameplay::RunningHud>(), nullptr);
}

TEST_F(LevelHudTest, TheChainScoreGrowsWithTheScoreUpToItsCap)
{
    const struct {
        int score;
        float scale;
    } cases[] = {{0, 0.7f}, {149, 0.998f}, {150, 1.075f}, {1000, 1.5f}, {2600, 2.3f}, {3000, 2.3f}};
    for (const auto& c : cases)
        EXPECT_NEAR(LevelHud::AddedScoreScale(c.score), c.scale, 1e-5f) << c.score;
}

TEST_F(LevelHudTest, TheScoreCountsUpWithThousandsSeparators)
{
    auto hud = make();
    hud->OnScoreChanged(1234567);
    run(0.25f);
    const int halfway = hud->GetShownScore();
    EXPECT_GT(halfway, 0);
    EXPECT_LT(halfway, 1234567);
    run(0.3f);
    EXPECT_EQ(hud->GetShownScore(), 1234567);
    EXPECT_EQ(scoreLabel->text(), "1,234,567");
    EXPECT_EQ(manager().GetTargetCount(), 0u);

    // A change while a count runs: both counts run out and the newest value stays.
    hud->OnScoreChanged(1234600);
    run(0.2f);
    hud->OnScoreChanged(1235000);
    run(0.6f);
    EXPECT_EQ(scoreLabel->text(), "1,235,000");
}

TEST_F(LevelHudTest, AScoreEqualToTheShownOneNeverTouchesTheLabel)
{
    auto hud = make();
    scoreLabel->set_text_utf8("untouched", false);
    hud->OnScoreChanged(0);
    for (int i = 0; i < 40; ++i) {
        run(1.0f / 60.0f);
        ASSERT_EQ(scoreLabel->text(), "untouched") << i;
    }
    hud->OnScoreChanged(500);
    run(0.6f);
    scoreLabel->set_text_utf8("untouched", false);
    hud->OnScoreChanged(500);
    run(0.6f);
    EXPECT_EQ(scoreLabel->text(), "untouched");
}

TEST_F(LevelHudTest, ChainScoresFloatFromTheChainsMiddleAndVanishOnTheirOwn)
{
    auto hud = make();
    hud->ShowAddedScore(std::vector<vadu::math::Vector2<float>>{{100.0f, 200.0f}, {140.0f, 260.0f}}, 100);
    run(0.3f);
    hud->ShowAddedScore(std::vector<vadu::math::Vector2<float>>{{-50.0f, 10.0f}}, 200);
    run(0.3f);
    hud->ShowAddedScore(std::vector<vadu::math::Vector2<float>>{{0.0f, 0.0f}, {30.0f, 0.0f}, {60.0f, 30.0f}}, 3000);

    auto texts = copies(addedScore);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_FALSE(addedScore->is_visible());
    const struct {
        const char* text;
        float scale;
        Vector3 start;
    } expected[] = {
        {"+100", 0.9f, {120.0f, 230.0f, 1.0f}},
        {"+200", 1.1f, {-50.0f, 10.0f, 1.0f}},
        {"+3000", 2.3f, {30.0f, 10.0f, 1.0f}},
    };
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(texts[i]->is_visible()) << i;
        EXPECT_EQ(hud_test::narrow(texts[i]->get_text()), expected[i].text);
        EXPECT_NEAR(texts[i]->get_position().x, expected[i].start.x, 1e-4f) << i;
        EXPECT_EQ(texts[i]->get_position().z, 1.0f) << i;
    }
    EXPECT_NEAR(texts[2]->get_scale().x, 2.3f, 1e-5f);
    EXPECT_NEAR(texts[2]->get_position().y, 10.0f, 1e-4f);
    // The first has risen 0.6 s of its 0.8 s, steadily.
    EXPECT_NEAR(texts[0]->get_position().y, 245.0f, 0.5f);

    // Each goes 1.0 s after it came (0.8 s up, 0.2 s fading), however the others stand.
    run(0.45f);
    EXPECT_EQ(copies(addedScore).size(), 2u);
    run(0.3f);
    EXPECT_EQ(copies(addedScore).size(), 1u);
    run(0.3f);
    EXPECT_TRUE(copies(addedScore).empty());
    EXPECT_EQ(addedScore->get_parent(), root.get());
}

TEST_F(LevelHudTest, AComboReadsThePhraseAndRisesFromTheGivenPoint)
{
    vadu::DictionaryHolder::Creator holder;
    game::TextServiceImpl phrases;
    write("phrases.xml", R"(<Chapter Name="default"><Section Name="default">
        <Phrase Name="combo" Value="Combo"/></Section></Chapter>)");
    auto stream = vadu::filesystem::open(vadu::filesystem::String("phrases.xml", true));
    ASSERT_TRUE(stream && phrases.Load(*stream));

    auto hud = make();
    hud->ShowCombo(3, {200.0f, -100.0f});
    auto texts = copies(bonusLabel);
    ASSERT_EQ(texts.size(), 1u);
    RecordingText* combo = static_cast<RecordingText*>(texts[0]);
    EXPECT_EQ(combo->text(), "Combo x3");
    EXPECT_EQ(combo->get_params().alignment, vadu::lib3d::node::CENTER);
    EXPECT_TRUE(combo->is_visible());
    EXPECT_TRUE(hud_test::Near(combo->get_global_position(), Vector3{200.0f, -100.0f, 1.0f}));
    // It waits half a second, then rises 80 pixels in 2.5 s, slowly at first, and goes
    // with its animation after 3 s.
    run(0.5f);
    EXPECT_NEAR(combo->get_position().y, -100.0f, 1e-3f);
    run(1.25f);
    EXPECT_GT(combo->get_position().y, -100.0f);
    EXPECT_LT(combo->get_position().y, -70.0f);
    run(1.2f);
    ASSERT_EQ(copies(bonusLabel).size(), 1u);
    EXPECT_GT(combo->get_position().y, -25.0f);
    run(0.2f);
    EXPECT_TRUE(copies(bonusLabel).empty());
}

TEST_F(LevelHudTest, ABonusTextIsAScaledCentredCopyThatGoesAfterTwoSeconds)
{
    auto hud = make();
    hud->ShowBonusText({10.0f, 20.0f}, "Lightning!");
    auto texts = copies(bonusLabel);
    ASSERT_EQ(texts.size(), 1u);
    RecordingText* bonus = static_cast<RecordingText*>(texts[0]);
    EXPECT_EQ(bonus->text(), "Lightning!");
    EXPECT_EQ(bonus->get_params().max_width, 400);
    EXPECT_EQ(bonus->get_params().alignment, vadu::lib3d::node::CENTER);
    EXPECT_EQ(bonus->get_scale(), (Vector3{0.6f, 0.6f, 1.0f}));
    EXPECT_EQ(bonus->get_position(), (Vector3{10.0f, 20.0f, 1.0f}));
    run(1.85f);
    EXPECT_NEAR(bonus->get_position().y, 40.0f, 1e-3f);
    run(0.5f);
    EXPECT_TRUE(copies(bonusLabel).empty());
}

TEST_F(LevelHudTest, TheEndLabelsAreHeldWeaklyAndTheBarsAreForwarded)
{
    auto hud = make();
    ASSERT_NE(hud->GetWinLabel(), nullptr);
    EXPECT_NE(hud->GetShuffleLabel(), nullptr);
    EXPECT_NE(hud->GetLogLabel(), nullptr);
    delete hud->GetWinLabel();
    EXPECT_EQ(hud->GetWinLabel(), nullptr);
    EXPECT_NE(hud->GetLoseLabel(), nullptr);

    EXPECT_TRUE(hud->HasBottle());
    EXPECT_FALSE(hud->CountsStars());
    shell.SetPoints(30);
    hud->UsePoints(5);
    EXPECT_EQ(shell.GetPoints(), 25);
    EXPECT_EQ(level.manaAdded, (std::vector<float>{5.0f}));
}

} // namespace
