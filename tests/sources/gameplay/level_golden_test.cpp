// A running level over the in-level scene (data/screens/game.scene), drawn headless through
// the hardware and compared byte for byte with the golden pictures level_*.png (see
// tests/sources/golden/README.md; regenerate with QUILLO_UPDATE_GOLDEN=1). A seeded script
// taps the first group of minChain or more once a second, at 1/60 s a frame: the field
// filling, a collect with its floating score, the win label, the finish window; a second
// level is lost on mana and shows the game-over window.

#include <gtest/gtest.h>

#include "golden_scene_support.h"
#include "level_files.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "game/screen.h"
#include "game/text_service.h"
#include "platform/gfx/present.h"
#include "platform/random.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/cheat_codes.h"
#include "sources/gameplay/finish_window.h"
#include "sources/gameplay/level.h"
#include "sources/gameplay/level_loader.h"
#include "sources/gameplay/shared_animations.h"
#include "support/fake_gameplay.h"
#include "support/golden.h"
#include "text/TextLibrary.h"
#include "vadu/animate/soul.h"
#include "vadu/dictionary.h"
#include "vadu/filesystem.h"
#include "vadu/font/text.h"
#include "vadu/input.h"
#include "vadu/lib3d/hard/directx8/hardware_fixture.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/lib3d/material/texture_handle.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/lib3d/node/loading_root.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/resource_loader.h"
#include "vadu/time.h"

namespace level_golden_test_file {

using gameplay::FinishWindow;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;

namespace gfx = platform::gfx;
namespace hard = vadu::lib3d::hard;
namespace material = vadu::lib3d::material;

// Half the layout's size: the whole 960 x 640 screen, every other pixel.
constexpr int kWidth = 480;
constexpr int kHeight = 320;
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



class LevelGolden : public directx8_test::HardwareFixture {
protected:
    void SetUp() override
    {
        HardwareFixture::SetUp();
        platform::move_window(window, 0, 0, kWidth, kHeight);
        make_open_hardware();
        devices_ = std::make_unique<hard::Manager::Creator>();
        hard::Manager::add_hardware(hardware.get());
        services_ = std::make_unique<golden_scene::ProgramData>();
        for (const auto& entry : vadu::lib3d::node::get_engine_node_types())
            vadu::lib3d::node::register_node_type(entry.type_name, entry.creator);
        vadu::lib3d::node::register_node_type("Text", &vadu::lib3d::node::create_node_of_type<vadu::lib3d::node::Text>);
        ActionManager::ResetGlobal();
        SharedAnimations::Reset();
        platform::seed_random(25);

        auto phrases = vadu::filesystem::open(vadu::filesystem::String("data/strings.xml", true));
        ASSERT_TRUE(phrases && phrases_.Load(*phrases));

        root_ = std::make_unique<vadu::lib3d::node::LoadingRoot>(vadu::Atom("Scene"));
        camera_ = golden_scene::make_game_camera(root_.get());
        scene_ = vadu::lib3d::node::create_from_resource(vadu::Atom("Game"), root_.get(),
                                                         vadu::filesystem::String("data/screens/game.scene", true));
    }

    void TearDown() override
    {
        window_.reset();
        level_.reset();
        gameplay::CheatCodes::ResetForTests();
        ActionManager::ResetGlobal();
        root_.reset();
        preloaded_.clear();
        vadu::lib3d::node::unregister_node_type("Text");
        for (const auto& entry : vadu::lib3d::node::get_engine_node_types())
            vadu::lib3d::node::unregister_node_type(entry.type_name);
        services_.reset();
        hard::Manager::notify_remove_hardware(hardware.get());
        devices_.reset();
        HardwareFixture::TearDown();
    }

    static void Pump(const std::function<bool()>& ready) { golden_scene::pump_pictures(ready); }

    // Sprites are drawn batched by picture in the order the pictures reached the device:
    // loading the level's pictures one by one, back to front, fixes that order.
    void PreloadBackToFront()
    {
        for (const char* picture : {"data/decorations/main_bg", "data/decorations/island1", "data/decorations/tree2",
                                    "data/decorations/sun", "data/decorations/sky_island1", "data/game/monsters_bar",
                                    "data/game/slot", "data/game/window"}) {
            preloaded_.push_back(
                std::make_unique<material::TextureHandle>(vadu::filesystem::String(picture, true), false));
            Pump([this] { return preloaded_.back()->is_ready(); });
        }
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

    void Check(const std::string& name)
    {
        Pump([this] { return golden_scene::pictures_ready(*scene_); });
        hard::RenderList list;
        ASSERT_TRUE(hardware->start_frame());
        camera_->prepare_render(*hardware, list);
        hardware->render(list, *hardware);
        gfx::PresentedFrame frame;
        gfx::read_back_buffer(*device().back_buffer(), frame);
        hardware->finish_frame();
        ASSERT_EQ(frame.width, static_cast<uint32_t>(kWidth));
        ASSERT_EQ(frame.height, static_cast<uint32_t>(kHeight));
        golden::expect_frame(frame, std::filesystem::path(__FILE__).parent_path().parent_path() / "golden", name);
    }

    gameplay_fakes::FakeShell shell_;
    vadu::input::Manager::Creator input_;
    std::unique_ptr<gameplay::Level> level_;
    golden_scene::SceneSite site_;
    std::unique_ptr<FinishWindow> window_;
    bool ended_ = false;
    int frame_ = 0;
    Node* scene_ = nullptr;
    vadu::lib3d::node::CameraParallel* camera_ = nullptr;

private:
    std::unique_ptr<hard::Manager::Creator> devices_;
    std::unique_ptr<golden_scene::ProgramData> services_;
    TrueText::TextLibrary::Creator library_;
    vadu::DictionaryHolder::Creator dictionary_;
    game::TextServiceImpl phrases_;
    std::unique_ptr<vadu::lib3d::node::LoadingRoot> root_;
    std::vector<std::unique_ptr<material::TextureHandle>> preloaded_;
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
