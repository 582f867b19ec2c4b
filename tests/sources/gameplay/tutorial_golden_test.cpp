// The first level's first hint over a small field, drawn headless through the hardware
// from the program's data (script, scene, skin, font, phrases and generated pictures) and
// compared byte for byte with golden/tutorial_hint.png and, half faded out after a click
// on the bubble, golden/tutorial_hint_fading.png (see tests/sources/golden/README.md;
// regenerate with QUILLO_UPDATE_GOLDEN=1).

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>

#include <box2d/b2_world.h>

#include "game/controls/button.h"
#include "game/screen.h"
#include "game/text_service.h"
#include "physics/world.h"
#include "platform/gfx/present.h"
#include "sources/gameplay/tutorial.h"
#include "sources/gameplay/tutorial_nodes.h"
#include "support/golden.h"
#include "text/TextLibrary.h"
#include "vadu/dictionary.h"
#include "vadu/font/text.h"
#include "vadu/input.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/lib3d/node/loading_root.h"
#include "vadu/lib3d/node/registry.h"
#include "golden_scene_support.h"
#include "visuals_test_support.h"

#ifdef QUILLO_PROGRAM_DATA_PARENT

namespace tutorial_golden_test_file {

using namespace gameplay;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;

namespace gfx = platform::gfx;
namespace hard = vadu::lib3d::hard;

// The game's 960 x 640 view at half size.
constexpr int kWidth = 480;
constexpr int kHeight = 320;

bool pictures_ready(Node& node)
{
    if (!node.is_visible())
        return true;
    if (auto* sprite = dynamic_cast<Sprite*>(&node)) {
        if (sprite->get_texture() == nullptr || !sprite->get_texture()->is_ready())
            return false;
    }
    for (Node* child : node.get_children()) {
        if (!pictures_ready(*child))
            return false;
    }
    return true;
}

class TutorialGolden : public golden_scene::HardwareScene {
protected:
    TutorialGolden() : HardwareScene(kWidth, kHeight) {}

    void SetUp() override
    {
        HardwareScene::SetUp();
        field_.emplace(QUILLO_PROGRAM_DATA_PARENT, [this] {
            auto root = std::make_unique<vadu::lib3d::node::LoadingRoot>(vadu::Atom("Scene"));
            // The in-level screen's camera: the hints (z -50) lie in front of the field.
            camera_ = golden_scene::make_game_camera(root.get());
            return std::unique_ptr<Node>(std::move(root));
        });
        nodeTypes_.emplace();
        RegisterTutorialNodes();
        TutorialFrameSkin::Reset();
        std::unique_ptr<vadu::Stream> strings = vadu::filesystem::open(vadu::filesystem::String("data/strings.xml", true));
        ASSERT_NE(strings, nullptr);
        ASSERT_TRUE(phrases_.Load(*strings));
        screen_.emplace(nullptr);
    }

    void TearDown() override
    {
        tutorial_.reset();
        screen_.reset();
        field_.reset();
        TutorialFrameSkin::Reset();
        UnregisterTutorialNodes();
        nodeTypes_.reset();
        HardwareScene::TearDown();
    }

    // Frame steps: the world, the actions, the links, and the script's clock while it has
    // a current hint (as the level keeps it).
    void Step(int count)
    {
        for (int i = 0; i < count; ++i) {
            field_->level->World()->Step(1.0 / 60.0);
            field_->Actions().Update(1.0f / 60.0f);
            field_->level->links.UpdatePlacements();
            if (tutorial_ && tutorial_->CurrentHint())
                tutorial_->clock += 1.0f / 60.0f;
        }
    }

    void LoadPictures()
    {
        golden_scene::pump_pictures([this] { return pictures_ready(*field_->root); });
    }

    gfx::PresentedFrame Draw()
    {
        hard::RenderList list;
        list.clear();
        // The frame's only list clears the target.
        list.flag = 1;
        return DrawFrame(*camera_, list, [](hard::RenderList& filled) {
            // A sky behind the field, so the spotlight's shade shows.
            filled.camera_value = 1.0;
            filled.camera_vector = {0.35f, 0.55f, 0.8f};
        });
    }

    std::optional<gameplay_test::FieldFixture> field_;
    vadu::lib3d::node::CameraParallel* camera_ = nullptr;
    TrueText::TextLibrary::Creator library_;
    vadu::DictionaryHolder::Creator dictionary_;
    game::TextServiceImpl phrases_;
    vadu::input::Manager::Creator input_;
    std::optional<game::Screen> screen_;
    std::unique_ptr<Tutorial> tutorial_;

private:
    std::optional<vadu::lib3d::node::NodeTypeRegistration> nodeTypes_;
};

TEST_F(TutorialGolden, GoldenHintWithTextArrowAndSpotlightThenHalfFaded)
{
    gameplay_test::FieldFixture& f = *field_;
    f.level->World()->GetWorld().SetGravity(b2Vec2(0.0f, 0.0f));
    // The first hint's spotlight lies on the group at the bottom of the field.
    f.Place<Monster>(-70, -280, 0);
    f.Place<Monster>(0, -280, 0);
    f.Place<Monster>(70, -280, 0);
    f.Place<Monster>(160, -200, 2);
    f.Place<Monster>(-300, -200, 1);
    f.Place<Monster>(320, 120, 3);

    tutorial_ = Tutorial::Load("level01", f.root.get(), *screen_);
    ASSERT_NE(tutorial_, nullptr);
    tutorial_->OnEvent(f.level->chain);
    ASSERT_TRUE(tutorial_->hintShowing);
    Step(1);
    LoadPictures();
    Step(40);
    // The first frame asks for the device pictures, which the second one shows.
    Draw();
    golden::expect_frame(Draw(), golden_scene::golden_folder(), "tutorial_hint");

    // A click on the bubble: it fades out over half a second.
    tutorial_->GetButton()->GetButtonImpl()->GetClickSignal().Emit(tutorial_->GetButton());
    EXPECT_FALSE(tutorial_->hintShowing);
    Step(15);
    EXPECT_TRUE(tutorial_->CurrentHint()->Scene()->is_visible());
    golden::expect_frame(Draw(), golden_scene::golden_folder(), "tutorial_hint_fading");
}

} // namespace tutorial_golden_test_file

#endif
