#pragma once

// What the gameplay's golden-frame suites share: the program's data folder served as the
// engine's files with the picture loader and souls, the in-level screen as its windows see
// it, the in-level screen's camera, and the test that every picture has arrived.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "game/screen.h"
#include "vadu/animate/soul.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/material/atlas.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/resource_loader.h"
#include "vadu/time.h"

namespace golden_scene {

// Files from the program's data folder, the background picture loader, the souls.
struct ProgramData : vadu::resource::ActiveMultithreaded::Creator, vadu::animate::Soul::Creator {
    ProgramData()
        : vadu::filesystem::Creator([] {
              return std::make_unique<vadu::filesystem::PathFileSystem>(
                  vadu::filesystem::String((std::string(QUILLO_PROGRAM_DATA_PARENT) + "/").c_str(), false),
                  std::make_unique<vadu::filesystem::NativeFileSystem>());
          })
    {
    }
};

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

} // namespace golden_scene
