// Frames of the field's mechanics drawn headless from the program's assembled data folder
// (the pictures tools/make_pictures draws) at fixed seeds and times, compared byte for byte
// with golden/*.png (regenerate with QUILLO_UPDATE_GOLDEN=1 after an intended change, and
// look at every picture first).

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "physics/world.h"
#include "platform/gfx/present.h"
#include "platform/random.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/decorations.h"
#include "sources/gameplay/fish.h"
#include "sources/gameplay/kinds.h"
#include "sources/gameplay/lightning.h"
#include "sources/gameplay/shared_animations.h"
#include "sources/gameplay/water_decoration.h"
#include "support/fake_gameplay.h"
#include "support/golden.h"
#include "golden_scene_support.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/lib3d/material/texture_handle.h"
#include "vadu/lib3d/material/texture_test_support.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/lib3d/node/loading_root.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/lib3d/node/sprite.h"

namespace field_mechanics_golden_test_file {

namespace fs = std::filesystem;
namespace gfx = platform::gfx;
namespace hard = vadu::lib3d::hard;
namespace node = vadu::lib3d::node;
using gameplay::Decorations;
using gameplay::DecorationItem;
using gameplay::Monster;
using gameplay_fakes::FakeLevel;
using gameplay_fakes::FakeShell;

constexpr float Frame = 1.0f / 60.0f;

fs::path golden_folder()
{
    return fs::path(__FILE__).parent_path() / "golden";
}

// Every sprite below the node has its picture.
bool pictures_ready(node::Node& each)
{
    if (auto* sprite = dynamic_cast<node::Sprite*>(&each)) {
        vadu::lib3d::material::TextureHandle* texture = sprite->get_texture();
        if (texture != nullptr && !texture->is_ready())
            return false;
    }
    for (node::Node* child : each.get_children()) {
        if (!pictures_ready(*child))
            return false;
    }
    return true;
}

DecorationItem item(const char* name, float x, float y, float scale = 1.0f)
{
    DecorationItem made;
    made.asset_name = name;
    made.x = x;
    made.y = y;
    made.scaleX = scale;
    made.scaleY = scale;
    return made;
}

class FieldMechanicsGolden : public golden_scene::HardwareScene {
protected:
    FieldMechanicsGolden() : HardwareScene(960, 640) {}

    void SetUp() override
    {
        HardwareScene::SetUp();
        engine_ = std::make_unique<texture_test::Engine>(QUILLO_PROGRAM_DATA_PARENT);
        nodeTypes_.emplace(node::get_engine_node_types(),
                           [](std::string_view type) { return type == "Node" || type == "Sprite"; });
        ActionManager::ResetGlobal();
        SharedAnimations::Reset();

        scene_ = std::make_unique<node::LoadingRoot>(vadu::Atom("Root"));
        camera_ = new node::CameraParallel(vadu::Atom("Camera"), scene_.get());
        camera_->change_attribute(vadu::Atom("Width"), 960.0);
        camera_->change_attribute(vadu::Atom("Height"), 640.0);
        camera_->change_attribute(vadu::Atom("NearPlane"), -100.0);
        camera_->change_attribute(vadu::Atom("FarPlane"), 100.0);
        camera_->build_projection();
        // The camera looks at the field's middle (play-area pixels, y up, the origin at the
        // lower-left corner) along +z, as the game's cameras do: a larger z is farther.
        camera_->set_position({480.0f, 320.0f, 0.0f});
        camera_->set_scale({1.0f, 1.0f, -1.0f});
        field_ = new node::Node(vadu::Atom("FieldLayer"), scene_.get());
        level_.sceneRoot = field_;
        level_.links.SetScene(level_.World(), field_);
    }

    void TearDown() override
    {
        ActionManager::ResetGlobal();
        SharedAnimations::Reset();
        decorations_.reset();
        level_.links.ReleaseJoints();
        level_.shapes.clear();
        level_.owned.clear();
        scene_.reset();
        nodeTypes_.reset();
        engine_.reset();
        HardwareScene::TearDown();
    }

    Decorations& decorate(int type, float water, std::vector<DecorationItem> items)
    {
        level_.settings.SetWaterLevel(water);
        gameplay::BackgroundDescription description;
        description.ShareWater(level_.settings);
        description.backgroundType = type;
        description.items = std::move(items);
        decorations_ = std::make_unique<Decorations>();
        decorations_->Create(description, field_);
        return *decorations_;
    }

    Monster* monster(float x, float y, int colour)
    {
        Monster* made = level_.Add(std::make_unique<Monster>(level_.World(), vadu::Atom("Monster"), colour));
        made->SetPosition({x, y});
        made->SetRootNode(field_);
        made->Update(0.0f);
        return made;
    }

    // Loads every picture the scene asks for.
    void load_pictures()
    {
        golden_scene::pump_pictures([this] { return pictures_ready(*scene_); });
    }

    gfx::PresentedFrame draw()
    {
        load_pictures();
        hard::RenderList list;
        list.flag = 1;
        return DrawFrame(*camera_, list);
    }

    static void expect_golden(const gfx::PresentedFrame& frame, const std::string& name)
    {
        golden::expect_frame(frame, golden_folder(), name);
    }

    FakeShell shell_;
    FakeLevel level_;
    std::unique_ptr<Decorations> decorations_;
    std::unique_ptr<node::LoadingRoot> scene_;
    node::CameraParallel* camera_ = nullptr;
    node::Node* field_ = nullptr;

private:
    std::unique_ptr<texture_test::Engine> engine_;
    std::optional<node::NodeTypeRegistration> nodeTypes_;
};

const std::vector<DecorationItem> land_and_sky = {
    item("Decorations/Land/IslandSymbol1", 180.0f, 150.0f),  item("Decorations/Land/TreeSymbol2", 210.0f, 215.0f),
    item("Decorations/Land/IslandSymbol3", 760.0f, 140.0f),  item("Decorations/Land/TreeSymbol1", 790.0f, 200.0f),
    item("Decorations/Sky/SkyIslandSymbol1", 520.0f, 470.0f), item("Decorations/Sky/SkyIslandSymbol2", 300.0f, 520.0f, 0.7f),
    item("Decorations/Sky/Sun", 850.0f, 560.0f),              item("Decorations/Sky/Moon", 110.0f, 560.0f)};

TEST_F(FieldMechanicsGolden, GoldenDayAndNightFieldsWithWater)
{
    struct Case {
        int type;
        const char* name;
    };
    for (const Case& c : {Case{0, "decorations_day"}, Case{1, "decorations_night"}}) {
        SCOPED_TRACE(c.name);
        platform::seed_random(7);
        Decorations& decorations = decorate(c.type, 120.0f, land_and_sky);
        ASSERT_NE(decorations.GetWater(), nullptr);
        load_pictures();
        // A second and a half of drifting clouds and scrolling waves.
        for (int frame = 0; frame < 90; ++frame)
            decorations.Update(Frame);
        expect_golden(draw(), c.name);
        decorations_.reset();
        field_->delete_children();
    }
}

TEST_F(FieldMechanicsGolden, GoldenUnderwaterBackground)
{
    platform::seed_random(7);
    Decorations& decorations = decorate(2, 0.0f, {});
    ASSERT_NE(decorations.GetWater(), nullptr);
    decorations.Update(1.0f);
    expect_golden(draw(), "decorations_underwater");
}

TEST_F(FieldMechanicsGolden, GoldenLightningChainHalfwayThroughItsBolts)
{
    platform::seed_random(3);
    decorate(0, -50.0f, {item("Decorations/Land/IslandSymbol2", 480.0f, 90.0f)});
    auto* bomb = level_.Add(std::make_unique<gameplay::Bomb>(level_.World(), vadu::Atom("Shape"), 2));
    bomb->SetPosition({330.0f, 300.0f});
    bomb->SetRootNode(field_);
    bomb->Update(0.0f);
    Monster* a = monster(400.0f, 300.0f, 2);
    Monster* b = monster(470.0f, 310.0f, 2);
    Monster* c = monster(440.0f, 375.0f, 2);
    Monster* d = monster(540.0f, 290.0f, 0);
    // The bomb's badge sits just in front of its monster, pulsing, while the bomb shakes.
    node::Node* badge = bomb->GetSceneNode() != nullptr ? bomb->GetSceneNode()->find_child(vadu::Atom("Bomb"), false)
                                                       : nullptr;
    ASSERT_NE(badge, nullptr);
    EXPECT_EQ(badge->get_position(), (vadu::math::Vector3{0.0f, 0.0f, -0.5f}));
    EXPECT_TRUE(dynamic_cast<node::Sprite&>(*badge).is_filter_texture());
    EXPECT_NE(ActionManager::Global().FindAction(badge, vadu::Atom("Bomb Animation")), nullptr);
    EXPECT_NE(ActionManager::Global().FindAction(bomb->GetSceneNode(), vadu::Atom("BombShake")), nullptr);
    level_.links.CreateLink(bomb, a);
    level_.links.CreateLink(a, b);
    level_.links.CreateLink(b, c);
    level_.links.CreateLink(b, d);
    load_pictures();
    gameplay::StartLightning(level_, level_.chain, *bomb);
    for (int frame = 0; frame < 14; ++frame) {
        for (gameplay::Shape* shape : level_.shapes)
            shape->Update(Frame);
        ActionManager::Global().Update(Frame);
    }
    EXPECT_FALSE(level_.inputEnabled);
    expect_golden(draw(), "lightning_chain");
}

TEST_F(FieldMechanicsGolden, GoldenArcFishCarryingAMonster)
{
    platform::seed_random(5);
    decorate(0, 120.0f, {});
    // The first seed that sends an arc fish to the right.
    std::unique_ptr<gameplay::Fish> fish;
    for (unsigned seed = 1; !fish || fish->GetSpeed() <= 0.0f; ++seed) {
        platform::seed_random(seed);
        fish = std::make_unique<gameplay::Fish>(level_, field_, gameplay::Fish::Arc);
    }
    while (fish->GetNode()->get_position().x < 380.0f)
        fish->Update(Frame);
    const vadu::math::Vector3& at = fish->GetNode()->get_position();
    Monster* eaten = monster(at.x + fish->GetMouth().x + 20.0f, at.y + fish->GetMouth().y + 10.0f, 1);
    monster(at.x + 260.0f, 330.0f, 3);
    load_pictures();
    for (int frame = 0; frame < 20; ++frame) {
        fish->Update(Frame);
        ActionManager::Global().Update(Frame);
    }
    EXPECT_TRUE(eaten->IsDead());
    EXPECT_EQ(eaten->mergeTarget.get(), fish->GetNode());
    expect_golden(draw(), "fish_arc");
}

} // namespace field_mechanics_golden_test_file
