// A small playing field drawn headless through the hardware and compared byte for byte
// with tests/sources/golden/field_shapes.png (see tests/sources/golden/README.md;
// regenerate with QUILLO_UPDATE_GOLDEN=1): two linked groups of two colours, the larger one
// highlighted, a frozen monster in two ice cubes, a soap bubble, a bottle, a stone, a rock
// and a block, after a fixed number of steps over the program's data and generated pictures.

#include <gtest/gtest.h>

#include "golden_scene_support.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <box2d/b2_world.h>

#include "physics/world.h"
#include "platform/gfx/present.h"
#include "support/golden.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/lib3d/node/loading_root.h"
#include "visuals_test_support.h"

namespace shapes_golden_test_file {

using namespace gameplay;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;
namespace gfx = platform::gfx;
namespace hard = vadu::lib3d::hard;

constexpr int kWidth = 480;
constexpr int kHeight = 320;

class ShapesGolden : public golden_scene::HardwareScene {
protected:
    ShapesGolden() : HardwareScene(kWidth, kHeight) {}

    void SetUp() override
    {
        HardwareScene::SetUp();
        field_.emplace(QUILLO_PROGRAM_DATA_PARENT, [this] {
            auto root = std::make_unique<vadu::lib3d::node::LoadingRoot>(vadu::Atom("Scene"));
            // The view shows the field's x 0..480 and y 0..320. The planes are swapped and
            // the camera sits below the field, so that a smaller z is nearer: links (11)
            // under the monsters (10), ice, bubbles, bottles and stars (9.5 to 9.85) over
            // them.
            camera_ = new vadu::lib3d::node::CameraParallel(vadu::Atom("Camera"), root.get());
            camera_->change_attribute(vadu::Atom("Width"), static_cast<double>(kWidth));
            camera_->change_attribute(vadu::Atom("Height"), static_cast<double>(kHeight));
            camera_->change_attribute(vadu::Atom("NearPlane"), 100.0);
            camera_->change_attribute(vadu::Atom("FarPlane"), -100.0);
            camera_->set_position({kWidth / 2.0f, kHeight / 2.0f, -50.0f});
            return std::unique_ptr<Node>(std::move(root));
        });
    }

    void TearDown() override
    {
        field_.reset();
        HardwareScene::TearDown();
    }

    // Frame steps of the field: the world (which updates the shapes), the actions, the
    // links.
    void Step(int count)
    {
        for (int i = 0; i < count; ++i) {
            field_->level->World()->Step(1.0 / 60.0);
            field_->Actions().Update(1.0f / 60.0f);
            field_->level->links.UpdatePlacements();
        }
    }

    // Runs the picture passes until `ready`.
    static void Pump(const std::function<bool()>& ready) { golden_scene::pump_pictures(ready); }

    // Back to front: the links, the monsters, then the other shapes.
    void PreloadBackToFront()
    {
        Preload("data/shapes/links.atlas", "Red");
        Preload("data/monsters/normal_bpry.atlas", "red0");
        for (const char* picture : {"data/stones/stone3", "data/shapes/gray", "data/shapes/indestructible",
                                    "data/shapes/bottle", "data/shapes/ice_cube", "data/shapes/bubble"})
            Preload(picture);
    }

    std::optional<gameplay_test::FieldFixture> field_;
    vadu::lib3d::node::CameraParallel* camera_ = nullptr;
};

TEST_F(ShapesGolden, GoldenFieldOfEveryKind)
{
    gameplay_test::FieldFixture& f = *field_;
    // Nothing falls: the picture shows the shapes where they were put, springing a little
    // on their links.
    f.level->World()->GetWorld().SetGravity(b2Vec2(0.0f, 0.0f));
    f.level->settings.minChain = 3;
    LinkGraph& links = f.level->links;
    PreloadBackToFront();

    auto* red1 = f.Place<Monster>(60, 250, 0);
    auto* red2 = f.Place<Monster>(135, 250, 0);
    auto* red3 = f.Place<Monster>(98, 185, 0);
    links.CreateLink(red1, red2);
    red1->UpdateGroup();
    links.CreateLink(red2, red3);
    red2->UpdateGroup();
    auto* blue1 = f.Place<Monster>(60, 80, 2);
    auto* blue2 = f.Place<Monster>(138, 80, 2);
    links.CreateLink(blue1, blue2);
    blue1->UpdateGroup();
    ASSERT_TRUE(red3->IsHighlighted());
    ASSERT_FALSE(blue2->IsHighlighted());

    f.Place<FrozenMonster>(250, 250, 1, 2);
    f.Place<SoapBubble>(360, 250, 3, 1.0f);
    f.Place<Bottle>(250, 140);
    auto* stone = f.Place<Stone>(360, 140, 3);
    auto* rock = f.Place<Rock>(430, 60);
    links.CreateLink(stone, rock);
    f.Place<Indestructible>(250, 50);

    Pump([&f] { return golden_scene::pictures_ready(*f.root); });
    Step(20);
    golden::expect_frame(DrawFrame(*camera_), golden_scene::golden_folder(), "field_shapes");
}

} // namespace shapes_golden_test_file
