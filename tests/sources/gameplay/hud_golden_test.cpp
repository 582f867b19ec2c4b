// The level HUD over the in-level scene (data/screens/game.scene) drawn headless through
// the hardware and compared byte for byte with the golden pictures hud_*.png (see
// tests/sources/golden/README.md; regenerate with QUILLO_UPDATE_GOLDEN=1): the start of a
// level, the middle of one with the low-mana warning and a starred monster in its slot,
// and the two level-end windows slid in. Over the program's data and generated pictures,
// in fixed frame steps.

#include <gtest/gtest.h>

#include "golden_scene_support.h"

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
#include "sources/gameplay/finish_window.h"
#include "sources/gameplay/level_hud.h"
#include "sources/gameplay/mana_bar.h"
#include "sources/gameplay/monsters_bar.h"
#include "sources/gameplay/shared_animations.h"
#include "support/fake_gameplay.h"
#include "support/golden.h"
#include "text/TextLibrary.h"
#include "vadu/animate/soul.h"
#include "vadu/dictionary.h"
#include "vadu/filesystem.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/hard/directx8/hardware_fixture.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/lib3d/material/texture_handle.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/lib3d/node/loading_root.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/resource_loader.h"
#include "vadu/time.h"

namespace hud_golden_test_file {

using gameplay::FinishWindow;
using gameplay::LevelHud;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;

namespace gfx = platform::gfx;
namespace hard = vadu::lib3d::hard;
namespace material = vadu::lib3d::material;

// Half the layout's size: the whole 960 x 640 screen, every other pixel.
constexpr int kWidth = 480;
constexpr int kHeight = 320;
constexpr float kStep = 1.0f / 60.0f;

class HudGolden : public directx8_test::HardwareFixture {
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
    // loading them one by one, back to front, fixes that order.
    void PreloadBackToFront()
    {
        for (const char* picture : {"data/demo/bg", "data/game/monsters_bar", "data/game/slot"}) {
            preloaded_.push_back(
                std::make_unique<material::TextureHandle>(vadu::filesystem::String(picture, true), false));
            Pump([this] { return preloaded_.back()->is_ready(); });
        }
        const char* const atlases[][2] = {{"data/monsters/monster_red.atlas", "star0"},
                                          {"data/game/mana.atlas", "mana_frame"}};
        for (const auto& atlas : atlases) {
            preloaded_.push_back(std::make_unique<material::TextureHandle>(vadu::filesystem::String(atlas[0], true),
                                                                           vadu::Atom(atlas[1])));
            Pump([this] { return preloaded_.back()->is_ready(); });
        }
        preloaded_.push_back(
            std::make_unique<material::TextureHandle>(vadu::filesystem::String("data/game/window", true), false));
        Pump([this] { return preloaded_.back()->is_ready(); });
        preloaded_.push_back(std::make_unique<material::TextureHandle>(
            vadu::filesystem::String("data/game/buttons.atlas", true), vadu::Atom("back")));
        Pump([this] { return preloaded_.back()->is_ready(); });
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
    gameplay_fakes::FakeLevel level_;
    std::unique_ptr<LevelHud> hud_;
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
