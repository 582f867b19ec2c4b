#pragma once

// What the gameplay's golden-frame suites share: a headless hardware that draws what a
// camera sees and reads the frame back, pictures loaded in a fixed order, the in-level
// screen's scene over the program's data, the in-level screen as its windows see it, its
// camera, and the test that every picture has arrived.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "game/screen.h"
#include "game/text_service.h"
#include "platform/gfx/present.h"
#include "platform/random.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/shared_animations.h"
#include "sources/gameplay/tutorial_nodes.h"
#include "text/TextLibrary.h"
#include "vadu/dictionary.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/app/application.h"
#include "vadu/lib3d/hard/directx8/hardware_fixture.h"
#include "vadu/lib3d/material/atlas.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/lib3d/material/texture_handle.h"
#include "vadu/lib3d/material/texture_test_support.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/lib3d/node/loading_root.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/time.h"

namespace golden_scene {

// The golden pictures of the gameplay's scenes, beside the screens' (tests/sources/golden).
inline std::filesystem::path golden_folder()
{
    return std::filesystem::path(__FILE__).parent_path().parent_path() / "golden";
}

// The screen as the windows see it: its scene, no controls, no services.
class SceneSite : public game::ScreenSite {
public:
    explicit SceneSite(vadu::lib3d::node::Node* root = nullptr) : root_(root) {}
    void SetRoot(vadu::lib3d::node::Node* root) { root_ = root; }
    game::Screen* GetScreen() override { return nullptr; }
    vadu::lib3d::node::Node* GetSceneRoot() override { return root_; }
    vadu::xml::PropertyList* GetProperties() override { return nullptr; }
    game::ServiceProvider* GetServiceProvider() override { return nullptr; }
    void SetInputEnabled(bool) override {}

private:
    vadu::lib3d::node::Node* root_;
};

// The in-level screen's camera (data/screens/game.camera) under the parent: x -480..480,
// y -320..320, z -100..100, standing at z -100 and looking along +z (a larger z farther).
inline vadu::lib3d::node::CameraParallel* make_game_camera(vadu::lib3d::node::Node* parent)
{
    auto* camera = new vadu::lib3d::node::CameraParallel(vadu::Atom("Camera"), parent);
    camera->set_position({0.0f, 0.0f, -100.0f});
    camera->set_scale({1.0f, 1.0f, -1.0f});
    camera->change_attribute(vadu::Atom("Width"), 960.0);
    camera->change_attribute(vadu::Atom("Height"), 640.0);
    camera->change_attribute(vadu::Atom("NearPlane"), -200.0);
    camera->change_attribute(vadu::Atom("FarPlane"), 200.0);
    return camera;
}

// Every visible sprite below the node has its picture (or atlas frame) on hand.
inline bool pictures_ready(vadu::lib3d::node::Node& node)
{
    if (auto* sprite = dynamic_cast<vadu::lib3d::node::Sprite*>(&node)) {
        if (sprite->is_visible() && (sprite->get_texture() == nullptr || !sprite->get_texture()->is_ready()))
            return false;
    }
    for (vadu::lib3d::node::Node* child : node.get_children()) {
        if (!pictures_ready(*child))
            return false;
    }
    return true;
}

// Runs the picture and atlas loading passes until `ready` holds; fails the test after 10 s.
inline void pump_pictures(const std::function<bool()>& ready)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!ready()) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the pictures did not load";
        const int64_t now = vadu::time::get_ticks();
        vadu::lib3d::material::load_texture_atlas_reps(now, 10.0);
        vadu::lib3d::material::load_texture_simple_reps(now, 10.0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// A headless hardware whose frames have the given size, the pictures the test loaded
// ahead, and what a camera sees drawn and read back.
class HardwareScene : public directx8_test::ManagedHardwareFixture {
protected:
    HardwareScene(int width, int height) : ManagedHardwareFixture(width, height) {}

    void TearDown() override
    {
        preloaded_.clear();
        ManagedHardwareFixture::TearDown();
    }

    // Sprites are drawn batched by picture in the order the pictures reached the device:
    // loading them one by one, back to front, fixes that order. A picture, or an atlas with
    // the frame to show.
    void Preload(const char* picture)
    {
        preloaded_.push_back(std::make_unique<vadu::lib3d::material::TextureHandle>(
            vadu::filesystem::String(picture, true), false));
        pump_pictures([this] { return preloaded_.back()->is_ready(); });
    }
    void Preload(const char* atlas, const char* frame)
    {
        preloaded_.push_back(std::make_unique<vadu::lib3d::material::TextureHandle>(
            vadu::filesystem::String(atlas, true), vadu::Atom(frame)));
        pump_pictures([this] { return preloaded_.back()->is_ready(); });
    }

    // What the camera sees drawn into the list, which the caller may have set up (a list
    // flagged to clear the target clears it), and read back. `adjust` changes the list once
    // the camera has filled it.
    platform::gfx::PresentedFrame DrawFrame(vadu::lib3d::node::Camera& camera, vadu::lib3d::hard::RenderList& list,
                                            const std::function<void(vadu::lib3d::hard::RenderList&)>& adjust = nullptr)
    {
        EXPECT_TRUE(hardware->start_frame());
        camera.prepare_render(*hardware, list);
        if (adjust)
            adjust(list);
        hardware->render(list, *hardware);
        platform::gfx::PresentedFrame frame;
        platform::gfx::read_back_buffer(*device().back_buffer(), frame);
        hardware->finish_frame();
        EXPECT_EQ(frame.width, static_cast<uint32_t>(width_));
        EXPECT_EQ(frame.height, static_cast<uint32_t>(height_));
        return frame;
    }
    platform::gfx::PresentedFrame DrawFrame(vadu::lib3d::node::Camera& camera)
    {
        vadu::lib3d::hard::RenderList list;
        return DrawFrame(camera, list);
    }

    void ReleasePictures() { preloaded_.clear(); }

private:
    std::vector<std::unique_ptr<vadu::lib3d::material::TextureHandle>> preloaded_;
};

// The in-level screen's scene (data/screens/game.scene) under its camera, on the whole
// 960 x 640 screen drawn every other pixel, over the program's data, with the engine's
// node types (and the tutorial's, when asked), the fonts, the phrases, fresh actions and
// animations, and the random numbers seeded.
class GameScene : public HardwareScene {
protected:
    enum class Hints { Without, With };

    explicit GameScene(unsigned seed, Hints hints = Hints::Without)
        : HardwareScene(480, 320), seed_(seed), hints_(hints)
    {
    }

    void SetUp() override
    {
        HardwareScene::SetUp();
        services_ = std::make_unique<texture_test::Engine>(QUILLO_PROGRAM_DATA_PARENT);
        nodeTypes_.emplace(vadu::lib3d::Application::get_engine_node_types());
        if (hints_ == Hints::With) {
            gameplay::RegisterTutorialNodes();
            gameplay::TutorialFrameSkin::Reset();
        }
        ActionManager::ResetGlobal();
        SharedAnimations::Reset();
        platform::seed_random(seed_);

        auto phrases = vadu::filesystem::open(vadu::filesystem::String("data/strings.xml", true));
        ASSERT_TRUE(phrases && phrases_.Load(*phrases));

        root_ = std::make_unique<vadu::lib3d::node::LoadingRoot>(vadu::Atom("Scene"));
        camera_ = make_game_camera(root_.get());
        scene_ = vadu::lib3d::node::create_from_resource(vadu::Atom("Game"), root_.get(),
                                                         vadu::filesystem::String("data/screens/game.scene", true));
    }

    void TearDown() override
    {
        ActionManager::ResetGlobal();
        root_.reset();
        if (hints_ == Hints::With) {
            gameplay::TutorialFrameSkin::Reset();
            gameplay::UnregisterTutorialNodes();
        }
        ReleasePictures();
        nodeTypes_.reset();
        services_.reset();
        HardwareScene::TearDown();
    }

    // The scene drawn once every picture in it has arrived.
    platform::gfx::PresentedFrame Draw()
    {
        pump_pictures([this] { return pictures_ready(*scene_); });
        return DrawFrame(*camera_);
    }

    vadu::lib3d::node::Node* scene_ = nullptr;
    vadu::lib3d::node::CameraParallel* camera_ = nullptr;

private:
    const unsigned seed_;
    const Hints hints_;
    std::unique_ptr<texture_test::Engine> services_;
    std::optional<vadu::lib3d::node::NodeTypeRegistration> nodeTypes_;
    TrueText::TextLibrary::Creator library_;
    vadu::DictionaryHolder::Creator dictionary_;
    game::TextServiceImpl phrases_;
    std::unique_ptr<vadu::lib3d::node::LoadingRoot> root_;
};

} // namespace golden_scene
