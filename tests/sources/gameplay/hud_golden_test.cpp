// The level HUD over the in-level scene (data/screens/game.scene) drawn headless through
// the hardware and compared byte for byte with the golden pictures hud_*.png (see
// tests/sources/golden/README.md; regenerate with QUILLO_UPDATE_GOLDEN=1): the start of a
// level, the middle of one with the low-mana warning and a starred monster in its slot,
// and the two level-end windows slid in. Over the program's data and generated pictures,
// in fixed frame steps.

#include <gtest/gtest.h>

#include "golden_scene_support.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "game/screen.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/finish_window.h"
#include "sources/gameplay/level_hud.h"
#include "sources/gameplay/mana_bar.h"
#include "sources/gameplay/monsters_bar.h"
#include "sources/gameplay/shared_animations.h"
#include "support/fake_gameplay.h"
#include "support/golden.h"
#include "vadu/animate/soul.h"
#include "vadu/lib3d/node/sprite.h"

namespace hud_golden_test_file {

using gameplay::FinishWindow;
using gameplay::LevelHud;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;


constexpr float kStep = 1.0f / 60.0f;

class HudGolden : public golden_scene::GameScene {
protected:
    HudGolden() : GameScene(25) {}

    void SetUp() override
    {
        GameScene::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        // A field picture stands in for the level's layers, so the HUD is seen over it.
        auto* field = new Sprite(vadu::Atom("FieldStandIn"), scene_);
        field->set_texture("data/demo/bg", false);
        field->set_width(960.0f);
        field->set_height(640.0f);
        field->set_position({0.0f, 0.0f, 80.0f});
        level_.sceneRoot = scene_;
        level_.settings.starCountGoal = 3;
        shell_.SetPoints(250);
        PreloadBackToFront();
    }

    void TearDown() override
    {
        hud_.reset();
        GameScene::TearDown();
    }

    static void Pump(const std::function<bool()>& ready) { golden_scene::pump_pictures(ready); }

    // Back to front: the field, the HUD's bar and slots, the monsters, the mana, the
    // windows and their buttons.
    void PreloadBackToFront()
    {
        for (const char* picture : {"data/demo/bg", "data/game/monsters_bar", "data/game/slot"})
            Preload(picture);
        Preload("data/monsters/monster_red.atlas", "star0");
        Preload("data/game/mana.atlas", "mana_frame");
        Preload("data/game/window");
        Preload("data/game/buttons.atlas", "back");
    }

    // The level starts: a new HUD, bound to the level's score and mana as the level does.
    void StartLevel()
    {
        hud_ = LevelHud::Create(scene_, &level_.settings);
        hud_->GetManaBar().Update(level_.mana);
        Run(0.6f);
    }

    void Run(float seconds)
    {
        for (float t = 0.0f; t < seconds - 1e-4f; t += kStep) {
            ActionManager::Global().Update(kStep);
            vadu::animate::Soul::update_all(kStep);
        }
    }

    void Check(const std::string& name) { golden::expect_frame(Draw(), golden_scene::golden_folder(), name); }

    gameplay_fakes::FakeShell shell_;
    gameplay_fakes::FakeLevel level_;
    std::unique_ptr<LevelHud> hud_;
};

TEST_F(HudGolden, GoldenHudAtTheStartOfALevel)
{
    level_.mana = 100.0f;
    StartLevel();
    Check("hud_start");
}

TEST_F(HudGolden, GoldenHudMidLevelWithTheWarningAndAStarredMonster)
{
    level_.mana = 60.0f;
    StartLevel();
    hud_->OnScoreChanged(12345);
    hud_->GetManaBar().Update(12.0f);
    ASSERT_TRUE(hud_->GetManaBar().IsDanger());
    // A starred monster collected in the middle of the field.
    auto* monster = new Sprite(vadu::Atom("Starred"), scene_);
    monster->set_atlas_texture("data/monsters/monster_red.atlas", vadu::Atom("star0"));
    monster->set_position({40.0f, -60.0f, 0.0f});
    Pump([&] { return monster->get_texture()->is_ready(); });
    hud_->GetMonstersBar().ReduceMonster(monster, 0);
    monster->set_visible(false);
    Run(1.3f);
    // A chain at play-area (380, 280) and (460, 320): its score stands 60 left of and 20
    // below the screen's middle.
    hud_->ShowAddedScore(std::vector<vadu::math::Vector2<float>>{{380.0f, 280.0f}, {460.0f, 320.0f}}, 250);
    Run(0.3f);
    ASSERT_EQ(hud_->GetMonstersBar().Collected(), 1);
    Check("hud_mid_level");
}

TEST_F(HudGolden, GoldenFinishWindowSlidIn)
{
    level_.mana = 80.0f;
    StartLevel();
    for (int i = 0; i < 23; ++i)
        level_.chain.Append();
    golden_scene::SceneSite site(scene_);
    FinishWindow window(site);
    window.OpenFinish(1234567, level_);
    for (int i = 0; i < 40; ++i)
        window.Update(kStep);
    Run(0.1f);
    Check("hud_finish_window");
}

TEST_F(HudGolden, GoldenGameoverWindowSlidIn)
{
    level_.mana = 0.0f;
    StartLevel();
    for (int i = 0; i < 9; ++i)
        level_.chain.Append();
    golden_scene::SceneSite site(scene_);
    FinishWindow window(site);
    window.OpenGameover(4321, level_);
    for (int i = 0; i < 40; ++i)
        window.Update(kStep);
    Run(0.1f);
    Check("hud_gameover_window");
}

} // namespace hud_golden_test_file
