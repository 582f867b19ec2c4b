// A small playing field drawn headless through the hardware and compared byte for byte
// with tests/sources/golden/field_shapes.png (see tests/sources/golden/README.md;
// regenerate with QUILLO_UPDATE_GOLDEN=1): two linked groups of two colours, the larger one
// highlighted, a frozen monster in two ice cubes, a soap bubble, a bottle, a stone, a rock
// and a block, after a fixed number of steps over the program's data and generated pictures.

#include <gtest/gtest.h>

#include "golden_scene_support.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <box2d/b2_world.h>

#include "physics/world.h"
#include "platform/gfx/present.h"
#include "support/golden.h"
#include "vadu/lib3d/hard/directx8/hardware_fixture.h"
#include "vadu/lib3d/material/atlas.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/lib3d/material/texture_handle.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/lib3d/node/loading_root.h"
#include "vadu/time.h"
#include "visuals_test_support.h"

namespace shapes_golden_test_file {

using namespace gameplay;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;
namespace gfx = platform::gfx;
namespace hard = vadu::lib3d::hard;

constexpr int kWidth = 480;
constexpr int kHeight = 320;

class ShapesGolden : public directx8_test::HardwareFixture {
protected:
    void SetUp() override
    {
        HardwareFixture::SetUp();
        platform::move_window(window, 0, 0, kWidth, kHeight);
        make_open_hardware();
        manager_ = std::make_unique<hard::Manager::Creator>();
        hard::Manager::add_hardware(hardware.get());
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
        preloaded_.clear();
        hard::Manager::notify_remove_hardware(hardware.get());
        manager_.reset();
        HardwareFixture::TearDown();
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

    // Sprites are drawn batched by picture, in the order the pictures reached the device;
    // loading them one by one, back to front, makes that order fixed (the background
    // loader's timing would not).
    void PreloadBackToFront()
    {
        namespace material = vadu::lib3d::material;
        const char* const atlases[][2] = {{"data/shapes/links.atlas", "Red"},
                                          {"data/monsters/normal_bpry.atlas", "red0"}};
        for (const auto& atlas : atlases) {
            preloaded_.push_back(std::make_unique<material::TextureHandle>(vadu::filesystem::String(atlas[0], true),
                                                                           vadu::Atom(atlas[1])));
            Pump([this] { return preloaded_.back()->is_ready(); });
        }
        for (const char* picture : {"data/stones/stone3", "data/shapes/gray", "data/shapes/indestructible",
                                    "data/shapes/bottle", "data/shapes/ice_cube", "data/shapes/bubble"}) {
            preloaded_.push_back(
                std::make_unique<material::TextureHandle>(vadu::filesystem::String(picture, true), false));
            Pump([this] { return preloaded_.back()->is_ready(); });
        }
    }

    gfx::PresentedFrame Draw()
    {
        hard::RenderList list;
        EXPECT_TRUE(hardware->start_frame());
        camera_->prepare_render(*hardware, list);
        hardware->render(list, *hardware);
        gfx::PresentedFrame frame;
        gfx::read_back_buffer(*device().back_buffer(), frame);
        hardware->finish_frame();
        return frame;
    }

    std::optional<gameplay_test::FieldFixture> field_;
    std::vector<std::unique_ptr<vadu::lib3d::material::TextureHandle>> preloaded_;
    vadu::lib3d::node::CameraParallel* camera_ = nullptr;

private:
    std::unique_ptr<hard::Manager::Creator> manager_;
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
    const gfx::PresentedFrame frame = Draw();
    ASSERT_EQ(frame.width, static_cast<uint32_t>(kWidth));
    ASSERT_EQ(frame.height, static_cast<uint32_t>(kHeight));
    golden::expect_frame(frame, std::filesystem::path(__FILE__).parent_path().parent_path() / "golden",
                         "field_shapes");
}

} // namespace shapes_golden_test_file
