// A running level over the in-level scene (data/screens/game.scene), drawn headless through
// the hardware and compared byte for byte with the golden pictures level_*.png (see
// tests/sources/golden/README.md; regenerate with QUILLO_UPDATE_GOLDEN=1). A seeded script
// taps the first group of minChain or more once a second, at 1/60 s a frame: the field
// filling, a collect with its floating score, the win label, the finish window; a second
// level is lost on mana and shows the game-over window.

#include <gtest/gtest.h>

#include "golden_scene_support.h"
#include "level_files.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "game/screen.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/cheat_codes.h"
#include "sources/gameplay/finish_window.h"
#include "sources/gameplay/level.h"
#include "sources/gameplay/level_loader.h"
#include "sources/gameplay/shared_animations.h"
#include "support/fake_gameplay.h"
#include "support/golden.h"
#include "vadu/animate/soul.h"
#include "vadu/input.h"
#include "vadu/lib3d/node/sprite.h"

namespace level_golden_test_file {

using gameplay::FinishWindow;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;


constexpr float kStep = 1.0f / 60.0f;

using gameplay::ShapeKind;
using level_files::Shape;

// The test levels, with an island on their land.
std::string Fixture(const std::string& shapes, const std::string& properties)
{
    return level_files::Fixture(shapes, properties, R"(
        <Layer Name="LandDecorations"><Items><Item Name="Island"><Position><X>160</X><Y>560</Y></Position>
            <asset_name>decorations/symbols/IslandSymbol1</asset_name></Item></Items></Layer>
        )");
}

class LevelGolden : public golden_scene::GameScene {
protected:
    LevelGolden() : GameScene(25) {}

    void TearDown() override
    {
        window_.reset();
        level_.reset();
        gameplay::CheatCodes::ResetForTests();
        GameScene::TearDown();
    }

    // Back to front: the field's decorations, the HUD's bar and slots, the windows.
    void PreloadBackToFront()
    {
        for (const char* picture : {"data/decorations/main_bg", "data/decorations/island1", "data/decorations/tree2",
                                    "data/decorations/sun", "data/decorations/sky_island1", "data/game/monsters_bar",
                                    "data/game/slot", "data/game/window"})
            Preload(picture);
    }

    // The level of the text, started over the scene with its real HUD.
    void StartLevel(const std::string& text)
    {
        {
            gameplay::LevelLoader loader(text.data(), text.size());
            level_ = loader.CreateLevel();
        }
        level_->endHandler = [this](int score, bool won) {
            ended_ = true;
            window_ = std::make_unique<FinishWindow>(site_);
            if (won)
                window_->OpenFinish(score, *level_);
            else
                window_->OpenGameover(score, *level_);
        };
        site_.SetRoot(scene_);
        level_->Start(scene_, nullptr);
        PreloadBackToFront();
    }

    // Frames of 1/60 s; every 60th frame taps the first group of minChain or more.
    void Play(int frames)
    {
        for (int i = 0; i < frames; ++i) {
            ++frame_;
            if (frame_ % 60 == 0 && level_->IsInputEnabled()) {
                for (gameplay::Shape* shape : level_->shapes) {
                    if (!shape->IsDead() && shape->IsKind(ShapeKind::Monster) &&
                        static_cast<int>(gameplay::ShapeList::Collect(*shape).size()) >= level_->settings.minChain) {
                        level_->Tap(shape->GetPosition());
                        break;
                    }
                }
            }
            level_->Update(kStep);
            vadu::animate::Soul::update_all(kStep);
            if (window_)
                window_->Update(kStep);
        }
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
    vadu::input::Manager::Creator input_;
    std::unique_ptr<gameplay::Level> level_;
    golden_scene::SceneSite site_;
    std::unique_ptr<FinishWindow> window_;
    bool ended_ = false;
    int frame_ = 0;
};

TEST_F(LevelGolden, GoldenFramesOfAWonLevel)
{
    StartLevel(Fixture(Shape("S1", "Starred", 0, 200, 40) + Shape("N1", "Normal", 0, 265, 40) +
                           Shape("S2", "Starred", 2, 700, 40) + Shape("N2", "Normal", 2, 765, 40),
                       R"(<Property Name="maxShapeCount"><string>20</string></Property>
        <Property Name="starCountGoal"><string>2</string></Property>
        <Property Name="threeColors"><string>1</string></Property>)"));
    Play(45);
    Check("level_filling");
    Play(20);
    Check("level_collect");
    Play(120);
    ASSERT_TRUE(level_->IsEnded());
    ASSERT_FALSE(level_->IsLost());
    Check("level_win_label");
    for (int i = 0; i < 900 && !window_; ++i)
        Play(1);
    ASSERT_TRUE(ended_);
    Play(40);
    Check("level_finish_window");
}

TEST_F(LevelGolden, GoldenGameoverWindowOfALostLevel)
{
    StartLevel(Fixture(Shape("A1", "Normal", 0, 100, 40) + Shape("A2", "Normal", 0, 165, 40) +
                           Shape("B1", "Normal", 1, 330, 40) + Shape("B2", "Normal", 1, 395, 40),
                       R"(<Property Name="maxShapeCount"><string>0</string></Property>
        <Property Name="starCountGoal"><string>5</string></Property>
        <Property Name="levelEnergy"><string>2</string></Property>)"));
    for (int i = 0; i < 900 && !window_; ++i)
        Play(1);
    ASSERT_TRUE(ended_);
    ASSERT_TRUE(level_->IsLost());
    Play(40);
    Check("level_gameover_window");
}

} // namespace
