// A running level over the in-level screen's own scene (data/screens/game.scene) and camera,
// with the program's data and its real HUD: where the things a player looks at stand on the
// screen. The field's layers sit at the scene's lower-left corner while the HUD, the hints
// and the camera have their origin in the middle, so every test here measures through the
// camera: a tap on a fish, the floating "+N" and combo texts, the pieces of level 1's
// hints, the shapes of every kind, the HUD's own pieces and the monsters bar's slot.

#include <gtest/gtest.h>

#include <box2d/b2_world.h>

#include "golden_scene_support.h"
#include "support/golden.h"
#include "level_files.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "game/screen.h"
#include "game/text_service.h"
#include "platform/gfx/present.h"
#include "platform/random.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/actions.h"
#include "sources/gameplay/balance.h"
#include "sources/gameplay/cheat_codes.h"
#include "sources/gameplay/fish.h"
#include "physics/world.h"
#include "sources/gameplay/kinds.h"
#include "sources/gameplay/level.h"
#include "sources/gameplay/level_hud.h"
#include "sources/gameplay/level_loader.h"
#include "sources/gameplay/level_profile.h"
#include "sources/gameplay/mana_bar.h"
#include "sources/gameplay/monsters_bar.h"
#include "sources/gameplay/node_helpers.h"
#include "sources/gameplay/shared_animations.h"
#include "sources/gameplay/tutorial.h"
#include "sources/gameplay/tutorial_nodes.h"
#include "support/fake_gameplay.h"
#include "vadu/animate/soul.h"
#include "vadu/filesystem.h"
#include "vadu/font/text.h"
#include "vadu/input.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/lib3d/node/sprite.h"

namespace {

using gameplay::Level;
using gameplay::Shape;
using gameplay::ShapeKind;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;
using vadu::lib3d::node::Text;
using vadu::math::Vector2;
using vadu::math::Vector3;

namespace gfx = platform::gfx;
namespace hard = vadu::lib3d::hard;

// The whole 960 x 640 screen, every other pixel.
constexpr int kWidth = 480;
constexpr int kHeight = 320;
constexpr float kStep = 1.0f / 60.0f;

std::string ShippedLevel(const std::string& name)
{
    std::ifstream in(std::filesystem::path(QUILLO_DATA_SOURCE) / "levels" / (name + ".xml"), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class LevelOnScreen : public golden_scene::GameScene {
protected:
    LevelOnScreen() : GameScene(7, Hints::With) {}

    void SetUp() override
    {
        GameScene::SetUp();
        screen_.emplace(nullptr);
    }

    void TearDown() override
    {
        level_.reset();
        screen_.reset();
        gameplay::CheatCodes::ResetForTests();
        GameScene::TearDown();
    }

    // The level of the text started over the scene with its real HUD; with a file name the
    // level also loads that level's tutorial.
    void StartLevel(const std::string& text, const std::string& fileName = "")
    {
        {
            gameplay::LevelLoader loader(text.data(), text.size());
            level_ = loader.CreateLevel();
        }
        if (!fileName.empty()) {
            record_.fileName = fileName.c_str();
            level_->SetRecord(&record_);
        }
        level_->Start(scene_, &*screen_);
    }

    void Run(float seconds)
    {
        for (float t = 0.0f; t < seconds - 1e-4f; t += kStep) {
            level_->Update(kStep);
            vadu::animate::Soul::update_all(kStep);
        }
    }

    // A monster of the level in the scene, at a play-area point.
    template <typename T>
    T* Add(float x, float y, int colour)
    {
        auto* shape = new T(level_->World(), vadu::Atom("Added"), colour);
        shape->SetPosition({x, y});
        shape->SetRootNode(scene_);
        level_->shapes.push_back(shape);
        return shape;
    }
    void Link(const std::vector<Shape*>& chain)
    {
        for (size_t i = 1; i < chain.size(); ++i) {
            level_->Links().CreateLink(chain[i - 1], chain[i]);
            chain[i - 1]->UpdateGroup();
        }
    }

    // Where a global scene point shows in the frame: pixels from the top-left corner,
    // through the camera's place and view (960 x 640 units on 480 x 320 pixels).
    Vector2<float> OnScreen(const Vector3& global) const
    {
        const Vector3 eye = camera_->get_global_position();
        const float sx = kWidth / static_cast<float>(camera_->get_width());
        const float sy = kHeight / static_cast<float>(camera_->get_height());
        return {(global.x - eye.x + static_cast<float>(camera_->get_width()) * 0.5f) * sx,
                (static_cast<float>(camera_->get_height()) * 0.5f - (global.y - eye.y)) * sy};
    }
    // Where a play-area point shows: the field's corner is the screen's lower-left one.
    static Vector2<float> FieldOnScreen(const Vector2<float>& point)
    {
        return {point.x * kWidth / 960.0f, kHeight - point.y * kHeight / 640.0f};
    }

    // The visible copies of a template label (the template itself stays hidden).
    std::vector<Text*> Copies(const char* name) const
    {
        std::vector<Text*> found;
        Node* hud = scene_->find_child(vadu::Atom("Hud"), false);
        for (Node* child : hud->get_children()) {
            if (child->get_name() == vadu::Atom(name) && child->is_visible())
                found.push_back(static_cast<Text*>(child));
        }
        return found;
    }

    // The box (left, top, right, bottom, in pixels) of the pixels two frames differ in;
    // left > right when they are the same.
    static std::array<int, 4> Difference(const gfx::PresentedFrame& a, const gfx::PresentedFrame& b)
    {
        std::array<int, 4> box{static_cast<int>(a.width), static_cast<int>(a.height), -1, -1};
        for (uint32_t y = 0; y < a.height; ++y) {
            for (uint32_t x = 0; x < a.width; ++x) {
                const size_t at = (static_cast<size_t>(y) * a.width + x) * 4;
                if (std::equal(&a.pixels[at], &a.pixels[at] + 3, &b.pixels[at]))
                    continue;
                box[0] = std::min(box[0], static_cast<int>(x));
                box[1] = std::min(box[1], static_cast<int>(y));
                box[2] = std::max(box[2], static_cast<int>(x));
                box[3] = std::max(box[3], static_cast<int>(y));
            }
        }
        return box;
    }

    // How far a pixel's colour differs between two frames, over its three channels.
    static int Change(const gfx::PresentedFrame& a, const gfx::PresentedFrame& b, size_t pixel)
    {
        int difference = 0;
        for (size_t channel = 0; channel < 3; ++channel)
            difference += std::abs(a.pixels[pixel * 4 + channel] - b.pixels[pixel * 4 + channel]);
        return difference;
    }

    // How many of the covered picture's own pixels the piece shows over: where the covered
    // picture shows plainly (the frames without the piece, with and without it), the frame
    // with the piece differs from the one without. What shows through the soft edge of a
    // picture in front only tints it, so an opaque piece must change the colour outright;
    // a glass piece (an ice cube) can only tint, and behind an opaque picture it would
    // change nothing at all.
    int ShownOver(Node& piece, Node& covered, bool glass)
    {
        constexpr int Outright = 120;
        constexpr int Tint = 12;
        const gfx::PresentedFrame with = Draw();
        piece.set_visible(false);
        const gfx::PresentedFrame withoutPiece = Draw();
        covered.set_visible(false);
        const gfx::PresentedFrame withoutBoth = Draw();
        covered.set_visible(true);
        piece.set_visible(true);
        int shown = 0;
        for (size_t pixel = 0; pixel < static_cast<size_t>(with.width) * with.height; ++pixel) {
            if (Change(withoutPiece, withoutBoth, pixel) > Outright &&
                Change(with, withoutPiece, pixel) > (glass ? Tint : Outright))
                ++shown;
        }
        return shown;
    }

    // Puts the node's picture half over the other's, keeping its depth: the bodies of
    // overlapping shapes push each other apart, the pictures are what is measured.
    static void Overlap(Node& node, Node& other)
    {
        const Vector3 at = other.get_global_position();
        node.set_global_position({at.x + 30.0f, at.y, node.get_global_position().z});
    }

    Shape* ShapeOfKind(ShapeKind kind, int skip = 0) const
    {
        for (Shape* shape : level_->shapes) {
            if (shape->GetKind() == kind && skip-- == 0)
                return shape;
        }
        return nullptr;
    }

    gameplay_fakes::FakeShell shell_;
    vadu::input::Manager::Creator input_;
    std::unique_ptr<Level> level_;
    gameplay::LevelProfile record_;
    std::optional<game::Screen> screen_;
};

const char* const NoSpawns = R"(<Property Name="maxShapeCount"><string>0</string></Property>
    <Property Name="starCountGoal"><string>3</string></Property>)";

// A fish is caught where it swims on the screen; a tap where the fish's scene coordinates
// would be, read as play-area pixels, is empty sky and costs nothing.
TEST_F(LevelOnScreen, AFishIsTappedWhereItIsDrawn)
{
    StartLevel(level_files::Fixture("", std::string(NoSpawns) +
                                            R"(<Property Name="probabilityFishSpawn"><string>4</string></Property>)"));
    level_->NextStep(level_->Chain());
    ASSERT_EQ(level_->GetFish().size(), 1u);
    Sprite* fish = level_->GetFish().front()->GetNode();
    // Held still in the field's upper middle, where it is drawn.
    fish->set_position({600.0f, 420.0f, fish->get_position().z});
    golden_scene::pump_pictures([this] { return golden_scene::pictures_ready(*scene_); });
    ASSERT_GT(fish->get_width(), 40);
    const float mana = level_->Mana();
    const Vector3 drawn = fish->get_global_position();
    ASSERT_NEAR(OnScreen(drawn).x, FieldOnScreen({600.0f, 420.0f}).x, 0.5f);
    ASSERT_NEAR(OnScreen(drawn).y, FieldOnScreen({600.0f, 420.0f}).y, 0.5f);

    // Where the fish's scene coordinates point to in the field: nothing there.
    level_->Tap({drawn.x, drawn.y});
    EXPECT_EQ(level_->GetFish().size(), 1u);
    EXPECT_EQ(level_->Mana(), mana);

    // On the fish, a little off its middle: caught, and the tap costs its mana.
    level_->Tap({610.0f, 415.0f});
    EXPECT_TRUE(level_->GetFish().empty());
    EXPECT_EQ(level_->Mana(), mana - static_cast<float>(gameplay::Balance::Instance().ManaPerFishTap));
}

// The "+N" of a chain floats up from the middle of the chain and the combo label from the
// tapped shape, wherever the chain lies on the field, the right-hand side included.
TEST_F(LevelOnScreen, TheChainsScoreAndTheComboStandAtTheChain)
{
    StartLevel(level_files::Fixture("", R"(<Property Name="maxShapeCount"><string>0</string></Property>
        <Property Name="starCountGoal"><string>10</string></Property>
        <Property Name="disableLightning"><string>1</string></Property>)"));
    level_->World()->GetWorld().SetGravity(b2Vec2(0.0f, 0.0f));
    struct Case {
        Vector2<float> first;
    } cases[] = {{{140.0f, 200.0f}}, {{800.0f, 150.0f}}, {{560.0f, 520.0f}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first.x);
        // Two starred monsters and a plain one of one colour: a combo of 2.
        std::vector<Shape*> chain{Add<gameplay::StarredMonster>(c.first.x, c.first.y, 1),
                                  Add<gameplay::StarredMonster>(c.first.x + 60.0f, c.first.y, 1),
                                  Add<gameplay::Monster>(c.first.x + 30.0f, c.first.y + 50.0f, 1)};
        Link(chain);
        const Vector2<float> middle{c.first.x + 30.0f, c.first.y + 50.0f / 3.0f};
        level_->Tap(chain[0]->GetPosition());

        std::vector<Text*> score = Copies("added_score");
        ASSERT_EQ(score.size(), 1u);
        const Vector2<float> at = OnScreen(score[0]->get_global_position());
        EXPECT_NEAR(at.x, FieldOnScreen(middle).x, 1.0f);
        EXPECT_NEAR(at.y, FieldOnScreen(middle).y, 1.0f);
        // In front of every shape (a larger z is farther), behind the HUD's bars.
        EXPECT_LT(score[0]->get_global_position().z, chain[2]->GetNode()->get_global_position().z);
        EXPECT_LT(score[0]->get_global_position().z, chain[0]->GetNode()->get_global_position().z);

        // Drawn there: the pixels it adds lie around that point.
        const gfx::PresentedFrame with = Draw();
        score[0]->set_visible(false);
        const gfx::PresentedFrame without = Draw();
        score[0]->set_visible(true);
        const std::array<int, 4> box = Difference(with, without);
        ASSERT_LE(box[0], box[2]) << "the score's text is not on the screen";
        EXPECT_NEAR((box[0] + box[2]) * 0.5f, at.x, 4.0f);
        EXPECT_NEAR((box[1] + box[3]) * 0.5f, at.y, 4.0f);

        // The combo stands at the tap, under the chain's score where that would cover it:
        // both read, through their rise.
        std::vector<Text*> combo = Copies("BonusLabel");
        ASSERT_EQ(combo.size(), 1u);
        const Vector2<float> comboAt = OnScreen(combo[0]->get_global_position());
        EXPECT_NEAR(comboAt.x, FieldOnScreen(c.first).x, 1.0f);
        EXPECT_GE(comboAt.y, FieldOnScreen(c.first).y - 1.0f);
        EXPECT_LT(combo[0]->get_global_position().z, chain[0]->GetNode()->get_global_position().z);
        for (const float seconds : {0.0f, 0.3f, 0.5f}) {
            SCOPED_TRACE(seconds);
            Run(seconds);
            const gfx::PresentedFrame both = Draw();
            combo[0]->set_visible(false);
            const gfx::PresentedFrame scoreOnly = Draw();
            score[0]->set_visible(false);
            const gfx::PresentedFrame neither = Draw();
            combo[0]->set_visible(true);
            score[0]->set_visible(true);
            const std::array<int, 4> scoreBox = Difference(scoreOnly, neither);
            const std::array<int, 4> comboBox = Difference(both, scoreOnly);
            ASSERT_LE(comboBox[0], comboBox[2]) << "the combo is not on the screen";
            const bool apart = scoreBox[2] < comboBox[0] || comboBox[2] < scoreBox[0] ||
                               scoreBox[3] < comboBox[1] || comboBox[3] < scoreBox[1];
            EXPECT_TRUE(apart) << "score " << scoreBox[0] << "," << scoreBox[1] << "-" << scoreBox[2] << ","
                               << scoreBox[3] << " combo " << comboBox[0] << "," << comboBox[1] << "-"
                               << comboBox[2] << "," << comboBox[3];
        }

        // Both go with their actions.
        Run(2.4f);
        EXPECT_TRUE(Copies("added_score").empty());
        EXPECT_TRUE(Copies("BonusLabel").empty());
    }
}

// Every kind of shape is drawn where its body is, under the HUD: starred monsters, orange
// ones and the obstacles build their pictures straight under the scene's root.
TEST_F(LevelOnScreen, EveryShapeIsDrawnWhereItIsAndBehindTheHud)
{
    const std::string obstacle = R"(<Item Name="Rock"><Position><X>300</X><Y>340</Y></Position>
        <asset_name>shapes/obstacles/fixture/Normal/0/rock</asset_name></Item>)";
    StartLevel(level_files::Fixture(level_files::Shape("Star", "Starred", 0, 200, 100) +
                                        level_files::Shape("Red", "Normal", 0, 265, 100) +
                                        level_files::Shape("Orange", "Normal", 4, 480, 200) + obstacle +
                                        level_files::Shape("Blue", "Normal", 2, 800, 560),
                                    R"(<Property Name="maxShapeCount"><string>12</string></Property>
        <Property Name="starCountGoal"><string>3</string></Property>)"));
    Run(2.0f);
    // One made while playing.
    std::vector<Shape*> group{level_->shapes[0], level_->shapes[1]};
    level_->CreateStarredMonster(level_->shapes[1], group);
    Node* hud = scene_->find_child(vadu::Atom("Hud"), false);
    ASSERT_NE(hud, nullptr);
    Run(0.1f);
    ASSERT_GE(level_->shapes.size(), 8u);
    std::map<ShapeKind, int> kinds;
    for (Shape* shape : level_->shapes) {
        Node* node = shape->GetNode();
        ASSERT_NE(node, nullptr);
        SCOPED_TRACE(typeid(*shape).name());
        ++kinds[shape->GetKind()];
        const Vector2<float> at = OnScreen(node->get_global_position());
        const Vector2<float> body = FieldOnScreen(shape->GetPosition());
        EXPECT_NEAR(at.x, body.x, 1.0f);
        EXPECT_NEAR(at.y, body.y, 1.0f);
        EXPECT_GT(node->get_global_position().z, hud->get_global_position().z);
    }
    EXPECT_GE(kinds[ShapeKind::Starred], 2) << "the starred monsters";
    EXPECT_GE(kinds[ShapeKind::Rock], 1) << "the rock";
}

// The points beside the bottle, however many a purchase brings, stay clear of the monsters
// bar's ribbon.
TEST_F(LevelOnScreen, ThePointsStayClearOfTheMonstersBar)
{
    StartLevel(level_files::Fixture("", NoSpawns));
    golden_scene::pump_pictures([this] { return golden_scene::pictures_ready(*scene_); });
    auto* plate = gameplay::FindSprite(scene_, vadu::Atom("ManaPointsBar"));
    auto* bar = gameplay::FindSprite(scene_, vadu::Atom("MonstersBar"));
    ASSERT_TRUE(plate && bar);
    // The ribbon's rounded ends start 8 pixels into the picture.
    const float ribbon = bar->get_global_rect()[0] + 8.0f;
    for (const int points : {0, 10000, 50000, 88888, 99999, 150000}) {
        SCOPED_TRACE(points);
        shell_.SetPoints(points);
        level_->GetLevelHud()->GetManaBar().ResetPoints();
        const float right = plate->get_global_rect()[0] + plate->get_global_rect()[2] * plate->get_scale().x;
        EXPECT_LT(right, ribbon);
    }
}

// A collected starred monster keeps playing its own animation in its slot of the bar.
TEST_F(LevelOnScreen, ACollectedStarredMonsterAnimatesInItsSlot)
{
    StartLevel(level_files::Fixture(level_files::Shape("Star", "Starred", 3, 400, 40) +
                                        level_files::Shape("Mate", "Normal", 3, 465, 40),
                                    NoSpawns));
    Run(0.5f);
    level_->Tap(level_->shapes[0]->GetPosition());
    const gameplay::MonstersBar& bar = level_->GetLevelHud()->GetMonstersBar();
    ASSERT_EQ(bar.Collected(), 1);
    ASSERT_EQ(bar.Slots()[0]->get_child_count(), 1u);
    auto* flying = gameplay::AsSprite(bar.Slots()[0]->get_children().front());
    ASSERT_NE(flying, nullptr);
    auto* playing = dynamic_cast<AnimationAction*>(
        ActionManager::Global().FindAction(flying, vadu::Atom("atlasAnimation")));
    ASSERT_NE(playing, nullptr) << "no animation plays in the slot";
    EXPECT_EQ(playing->GetNode(), flying);
    // Its frames change on the screen: the quad's picture moves through the atlas.
    Run(1.2f);
    Draw();
    std::vector<float> seen;
    for (int i = 0; i < 8; ++i) {
        Run(0.075f);
        Draw();
        const float u = flying->get_item().uv[0][0];
        if (std::find(seen.begin(), seen.end(), u) == seen.end())
            seen.push_back(u);
    }
    EXPECT_GE(seen.size(), 3u) << "the monster stands still in its slot";
}

// A frozen monster of two cubes keeps one through the collect that makes a starred monster of
// its group, and with it the star it was to fly into. The star may be collected and gone long
// before the frozen monster's own end: the monster then dies where it stands.
TEST_F(LevelOnScreen, AFrozenMonsterWhoseStarIsGoneDiesWhereItStands)
{
    StartLevel(level_files::Fixture("", R"(<Property Name="maxShapeCount"><string>0</string></Property>
        <Property Name="starCountGoal"><string>10</string></Property>
        <Property Name="disableLightning"><string>1</string></Property>)"));
    level_->World()->GetWorld().SetGravity(b2Vec2(0.0f, 0.0f));
    level_->settings.starChain = 3;
    auto* frozen = new gameplay::FrozenMonster(level_->World(), vadu::Atom("Frozen"), 0, 2);
    frozen->SetPosition({500.0f, 300.0f});
    frozen->SetRootNode(scene_);
    level_->shapes.push_back(frozen);
    const std::vector<Shape*> group{Add<gameplay::Monster>(200.0f, 300.0f, 0), Add<gameplay::Monster>(300.0f, 300.0f, 0),
                                    Add<gameplay::Monster>(400.0f, 300.0f, 0), frozen};
    Link(group);
    level_->Tap(group[0]->GetPosition());
    ASSERT_FALSE(frozen->IsDead());
    ASSERT_EQ(frozen->GetCubes(), 1);
    Shape* star = level_->shapes.back();
    ASSERT_EQ(star->GetKind(), ShapeKind::Starred);
    Run(kStep);

    // The star goes with a mate of its own, far from the frozen monster.
    const std::vector<Shape*> pair{star, Add<gameplay::Monster>(140.0f, 300.0f, 0)};
    Link(pair);
    level_->Tap(star->GetPosition());
    ASSERT_TRUE(star->IsDead());
    Run(1.0f);
    ASSERT_EQ(std::count(level_->shapes.begin(), level_->shapes.end(), star), 0);

    // Collected at last, the frozen monster plays its own dying on the spot.
    const std::vector<Shape*> last{frozen, Add<gameplay::Monster>(560.0f, 300.0f, 0)};
    Link(last);
    const Vector3 place = frozen->GetNode()->get_position();
    level_->Tap(last[1]->GetPosition());
    ASSERT_TRUE(frozen->IsDead());
    Node* clone = frozen->GetDyingClone();
    ASSERT_NE(clone, nullptr);
    vadu::WeakPtr copy;
    copy.assign(clone);
    Run(0.3f);
    ASSERT_NE(copy.get(), nullptr);
    EXPECT_NEAR(clone->get_position().x, place.x, 1.0f);
    EXPECT_NEAR(clone->get_position().y, place.y, 1.0f);
    EXPECT_GT(clone->get_scale().x, 1.0f) << "the dying picture grows; a merging one shrinks";
    Run(1.0f);
    EXPECT_EQ(copy.get(), nullptr) << "the copy goes when its animation ends";
}

// Level 1 teaches the tap on the group that waits at the bottom of the field: its first
// hint's spotlight lies on that group and the bubble's arrow points at it. The first group
// collected, however soon, brings the second hint, whose arrow points at the monsters bar's
// slot.
TEST_F(LevelOnScreen, LevelOnesHintsPointAtTheGroupAndThenAtTheBar)
{
    StartLevel(ShippedLevel("level01"), "level01");
    // The first frame links the group.
    Run(kStep);
    gameplay::Tutorial* tutorial = level_->GetTutorial();
    ASSERT_NE(tutorial, nullptr);
    ASSERT_EQ(tutorial->hints.size(), 2u);
    gameplay::TutorialHint* first = tutorial->hints.front().get();
    gameplay::TutorialHint* second = tutorial->hints.back().get();
    ASSERT_EQ(tutorial->CurrentHint(), first);
    EXPECT_TRUE(tutorial->hintShowing);

    // The group: the three monsters of one colour placed at the bottom, the lowest shapes.
    Shape* lowest = nullptr;
    for (Shape* shape : level_->shapes) {
        if (lowest == nullptr || shape->GetPosition().y < lowest->GetPosition().y)
            lowest = shape;
    }
    ASSERT_NE(lowest, nullptr);
    const std::vector<Shape*> group = gameplay::ShapeList::Collect(*lowest);
    ASSERT_EQ(group.size(), 3u);

    auto* spot = dynamic_cast<gameplay::TutorialCircle*>(first->Scene()->find_child(vadu::Atom("Spot"), true));
    ASSERT_NE(spot, nullptr);
    const Vector2<float> centre = OnScreen(spot->get_global_position());
    // The spotlight's half sizes on the screen.
    const float rx = spot->width * 0.25f;
    const float ry = spot->height * 0.25f;
    for (Shape* shape : group) {
        const Vector2<float> at = FieldOnScreen(shape->GetPosition());
        EXPECT_LT(std::hypot((at.x - centre.x) / rx, (at.y - centre.y) / ry), 1.0f)
            << "a shape of the group lies out of the spotlight: " << at.x << ", " << at.y;
    }
    // The arrow's tip (the bubble's origin) touches the spotlight's upper edge, and the
    // bubble lies on the screen.
    auto* bubble = dynamic_cast<gameplay::TutorialNode*>(first->Scene()->find_child(vadu::Atom("Frame"), true));
    ASSERT_NE(bubble, nullptr);
    const Vector2<float> tip = OnScreen(bubble->get_global_position());
    EXPECT_NEAR(tip.x, centre.x, rx * 0.5f);
    EXPECT_NEAR(tip.y, centre.y - ry, 6.0f);
    const Vector2<float> corner = OnScreen(bubble->CornerLB()->get_global_position());
    EXPECT_GE(corner.x, 0.0f);
    EXPECT_LE(corner.x + bubble->GetWidth() * 0.5f, kWidth);
    EXPECT_LE(corner.y, kHeight);
    EXPECT_GE(corner.y - bubble->GetHeight() * 0.5f, 0.0f);

    // A pair of another colour collected within the first second passes the first hint.
    level_->World()->GetWorld().SetGravity(b2Vec2(0.0f, 0.0f));
    std::vector<Shape*> pair{Add<gameplay::Monster>(150.0f, 300.0f, 2), Add<gameplay::Monster>(210.0f, 300.0f, 2)};
    Link(pair);
    Run(0.5f);
    level_->Tap(pair[0]->GetPosition());
    ASSERT_LT(level_->LevelTime(), 1.0f);
    EXPECT_FALSE(level_->IsEnded());
    EXPECT_EQ(tutorial->CurrentHint(), second);
    EXPECT_TRUE(tutorial->hintShowing);
    EXPECT_FALSE(second->notShownYet);

    // Its arrow points up at the slot the level asks a starred monster for.
    const gameplay::MonstersBar& bar = level_->GetLevelHud()->GetMonstersBar();
    ASSERT_EQ(bar.Slots().size(), 1u);
    auto* next = dynamic_cast<gameplay::TutorialNode*>(second->Scene()->find_child(vadu::Atom("Frame"), true));
    ASSERT_NE(next, nullptr);
    const Vector2<float> slot = OnScreen(bar.Slots()[0]->get_global_position());
    const Vector2<float> up = OnScreen(next->get_global_position());
    EXPECT_NEAR(up.x, slot.x, 5.0f);
    EXPECT_GT(up.y, slot.y);
    EXPECT_LT(up.y, slot.y + 20.0f);
    // The bubble hangs below it, on the screen.
    const Vector2<float> below = OnScreen(next->CornerLB()->get_global_position());
    EXPECT_GT(below.y - next->GetHeight() * 0.5f, up.y);
    EXPECT_GE(below.x, 0.0f);
    EXPECT_LE(below.x + next->GetWidth() * 0.5f, kWidth);
    EXPECT_LE(below.y, kHeight);
}

// Every piece the player must see lies in front of what it covers: frames of the real scene
// with the piece and with it hidden differ over the covered picture's middle.
TEST_F(LevelOnScreen, EveryPieceShowsInFrontOfWhatItCovers)
{
    using gameplay::Monster;
    const std::string still = R"(<Property Name="maxShapeCount"><string>0</string></Property>
        <Property Name="starCountGoal"><string>5</string></Property>
        <Property Name="disableLightning"><string>1</string></Property>)";
    struct Cover {
        Node* piece = nullptr;
        Node* covered = nullptr;
    };
    struct Case {
        const char* what;
        std::string shapes;
        std::function<Cover()> play;
        bool glass = false;
    };
    const auto node = [](Shape* shape) { return shape != nullptr ? shape->GetNode() : nullptr; };
    const Case cases[] = {
        {"a lightning bolt over the monster it strikes",
         level_files::Shape("Power", "LightningPowerup", 0, 300, 300) + level_files::Shape("A", "Normal", 0, 365, 300) +
             level_files::Shape("B", "Normal", 0, 430, 300),
         [&] {
             Run(kStep);
             level_->Tap(level_->shapes[0]->GetPosition());
             Run(0.1f);
             Node* layer = scene_->find_child(vadu::Atom("CharactersLayer"), false);
             Node* bolt = layer != nullptr ? layer->find_child(vadu::Atom("Lightning Element"), false) : nullptr;
             return Cover{bolt, node(level_->shapes[1])};
         }},
        {"a lightning power-up's bolt picture over its monster", level_files::Shape("Power", "LightningPowerup", 2, 300, 300),
         [&] {
             Run(kStep);
             Node* own = node(ShapeOfKind(ShapeKind::Bomb));
             return Cover{own != nullptr ? own->find_child(vadu::Atom("Bomb"), false) : nullptr, own};
         }},
        {"a starred monster over a plain monster it overlaps",
         level_files::Shape("Star", "Starred", 1, 300, 300) + level_files::Shape("Plain", "Normal", 2, 335, 300),
         [&] {
             // Born, the star has its full size; the bodies have moved apart by then.
             Run(0.6f);
             Overlap(*node(ShapeOfKind(ShapeKind::Monster)), *node(ShapeOfKind(ShapeKind::Starred)));
             return Cover{node(ShapeOfKind(ShapeKind::Starred)), node(ShapeOfKind(ShapeKind::Monster))};
         }},
        {"a soap bubble over the monster it holds", level_files::Shape("Bubble", "SoapBubblePowerup", 0, 300, 300),
         [&] {
             Run(kStep);
             auto* monster = dynamic_cast<Monster*>(level_->shapes[0]);
             return Cover{monster->GetOverlays().front(), monster->GetNode()};
         }},
        {"an ice cube over its frozen monster", level_files::Shape("Frozen", "IceCubePowerup", 0, 300, 300),
         [&] {
             Run(kStep);
             auto* monster = dynamic_cast<Monster*>(level_->shapes[0]);
             return Cover{monster->GetOverlays().front(), monster->GetNode()};
         },
         true},
        {"the bottle picture over its resting monster", level_files::Shape("Carrier", "LifePowerup", 1, 300, 300),
         [&] {
             Run(kStep);
             auto* bottle = dynamic_cast<gameplay::Bottle*>(level_->shapes[0]);
             return Cover{bottle->GetBottleNode(), bottle->GetNode()};
         }},
        {"the flying mana bottle over a monster it passes",
         level_files::Shape("Carrier", "LifePowerup", 1, 300, 300) + level_files::Shape("A", "Normal", 1, 365, 300) +
             level_files::Shape("Blue", "Normal", 2, 300, 400),
         [&] {
             Run(kStep);
             Shape* blue = level_->shapes[2];
             level_->Tap(level_->shapes[0]->GetPosition());
             Run(kStep);
             // The flying copy is the one child of the bar that the scene did not bring.
             Node* bar = scene_->find_child(vadu::Atom("ManaBar"), true);
             Node* flying = nullptr;
             for (Node* child : bar->get_children()) {
                 if (child->get_name() == vadu::Atom("Carrier"))
                     flying = child;
             }
             // Over the blue monster, away from the collected ones it leaves.
             if (flying != nullptr)
                 Overlap(*flying, *node(blue));
             return Cover{flying, node(blue)};
         }},
        {"the starred monster flown home over its slot",
         level_files::Shape("Star", "Starred", 3, 400, 40) + level_files::Shape("Mate", "Normal", 3, 465, 40),
         [&] {
             Run(0.5f);
             level_->Tap(level_->shapes[0]->GetPosition());
             Run(1.2f);
             Sprite* slot = level_->GetLevelHud()->GetMonstersBar().Slots()[0];
             return Cover{slot->get_child_count() == 1 ? slot->get_children().front() : nullptr, slot};
         }},
        {"the win's bonus label over the starred monster it pays for", level_files::Shape("Star", "Starred", 1, 200, 200),
         [&] {
             Run(kStep);
             level_->StartFinish();
             for (int i = 0; i < 600 && Copies("BonusLabel").empty(); ++i)
                 Run(kStep);
             Run(0.3f);
             const std::vector<Text*> labels = Copies("BonusLabel");
             if (labels.size() != 1)
                 return Cover{};
             EXPECT_EQ(labels[0]->get_text(), vadu::WString(u"+200"));
             return Cover{labels[0], node(ShapeOfKind(ShapeKind::Starred))};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        StartLevel(level_files::Fixture(c.shapes, still));
        level_->World()->GetWorld().SetGravity(b2Vec2(0.0f, 0.0f));
        const Cover cover = c.play();
        ASSERT_NE(cover.piece, nullptr);
        ASSERT_NE(cover.covered, nullptr);
        EXPECT_GE(ShownOver(*cover.piece, *cover.covered, c.glass), 8);
    }
}

} // namespace

namespace {

// A question box's Yes and No (each a button with its label under it) stand in the middle
// of the room its question leaves below: as far below the question as above the box's
// bottom edge, with their labels well inside the box. Both boxes of the game are measured
// on the screen, each piece by the pixels it changes.
TEST_F(LevelOnScreen, QuestionBoxesCentreTheirYesAndNoBelowTheQuestion)
{
    struct Box {
        const char* scene;
        const char* question;
        const char* buttons[2];
    } const boxes[] = {
        {"data/screens/game.scene", "DialogText", {"dialogYes", "dialogNo"}},
        {"data/mainmenu/mainmenu.scene", "Text", {"DialogYes", "DialogNo"}},
    };
    Node* parent = scene_->get_parent();
    for (const Box& box : boxes) {
        SCOPED_TRACE(box.scene);
        // The box's scene alone in the frame.
        for (Node* child : parent->get_children()) {
            if (child != camera_)
                child->set_visible(false);
        }
        Node* scene = vadu::lib3d::node::create_from_resource(vadu::Atom("Box"), parent,
                                                              vadu::filesystem::String(box.scene, true));
        ASSERT_NE(scene, nullptr);
        for (Node* child : scene->get_children())
            child->set_visible(false);
        Node* dialog = scene->find_child(vadu::Atom("YesNoDialog"), true);
        ASSERT_NE(dialog, nullptr);
        dialog->set_visible(true);
        auto* question = dynamic_cast<Text*>(dialog->find_child(vadu::Atom(box.question), false));
        ASSERT_NE(question, nullptr);
        question->set_text(vadu::WString(u"Leave this level?"), false);

        // The pixels a node changes when it is shown.
        const auto shown = [&](Node* node) {
            golden_scene::pump_pictures([&] { return golden_scene::pictures_ready(*scene); });
            node->set_visible(false);
            const gfx::PresentedFrame without = Draw();
            node->set_visible(true);
            return Difference(without, Draw());
        };
        Node* picture = dialog->find_child(vadu::Atom("DialogPanel"), false);
        ASSERT_NE(picture, nullptr);
        const std::array<int, 4> panel = shown(picture);
        const std::array<int, 4> asked = shown(question);
        for (const char* name : box.buttons) {
            SCOPED_TRACE(name);
            Node* button = dialog->find_child(vadu::Atom(name), false);
            ASSERT_NE(button, nullptr);
            Node* label = button->find_child(vadu::Atom("Label"), false);
            ASSERT_NE(label, nullptr);
            const std::array<int, 4> block = shown(button);
            const std::array<int, 4> under = shown(label);
            ASSERT_LE(block[1], block[3]);
            ASSERT_LE(under[1], under[3]);
            const int above = block[1] - asked[3] - 1;
            const int below = panel[3] - block[3] - 1;
            EXPECT_NEAR(above, below, 2) << "rows between the question and the button: " << above
                                         << ", between the label and the box's bottom edge: " << below;
            // Eight rows of the half-size frame: sixteen pixels of the game.
            EXPECT_GE(panel[3] - under[3] - 1, 8) << "the label sits on the box's bottom edge";
            EXPECT_GT(under[0], panel[0]);
            EXPECT_LT(under[2], panel[2]);
        }
        scene->set_visible(false);
    }
}

} // namespace
