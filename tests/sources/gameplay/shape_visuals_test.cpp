// The shapes' and links' pictures in a small field over the shipped data: what each kind
// builds when it joins the scene, the highlight, the shakes, dying on a copy that outlives
// the shape, and the link bands between (shaking) shapes.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <box2d/b2_body.h>

#include "sources/gameplay/actions.h"
#include "vadu/animate/primitive_animation.h"
#include "visuals_test_support.h"

namespace {

using namespace gameplay;
using gameplay_test::picture_of;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;

constexpr float kPi = 3.14159265f;

class ShapeVisualsTest : public ::testing::Test {
protected:
    ShapeVisualsTest() : field(QUILLO_DATA_SOURCE "/..") {}

    // Advances the global actions in steps of 0.1 s.
    void Run(float seconds)
    {
        const long steps = std::lround(seconds / 0.1f);
        for (long i = 0; i < steps; ++i)
            field.Actions().Update(0.1f);
    }

    static bool Alive(const vadu::WeakPtr& watch) { return watch.get() != nullptr; }

    gameplay_test::FieldFixture field;
};

struct KindCase {
    const char* what;
    std::function<Shape*(gameplay_test::FieldFixture&)> make;
    const char* parent;
    float z;
    const char* picture;
    const char* overlay_layer; // null: none
    size_t overlays;
};

TEST_F(ShapeVisualsTest, EachKindBuildsItsPictureWhereTheFieldWantsIt)
{
    using F = gameplay_test::FieldFixture;
    const KindCase cases[] = {
        {"red monster", [](F& f) { return f.Place<Monster>(100, 200, 0); }, "CharactersLayer", 10.0f,
         "data/monsters/normal_bpry.atlas", nullptr, 0},
        {"orange monster", [](F& f) { return f.Place<Monster>(100, 200, 4); }, "Scene", 10.0f,
         "data/monsters/normal_orange.atlas", nullptr, 0},
        {"starred blue", [](F& f) { return f.Place<StarredMonster>(100, 200, 2); }, "Scene", 9.5f,
         "data/monsters/monster_blue.atlas", nullptr, 0},
        {"frozen twice", [](F& f) { return f.Place<FrozenMonster>(100, 200, 3, 2); }, "CharactersLayer", 10.0f,
         "data/monsters/normal_bpry.atlas", "FrozenLayer", 2},
        {"frozen without layers", [](F& f) { return f.Place<FrozenMonster>(100, 200, 3, 0); }, "CharactersLayer",
         10.0f, "data/monsters/normal_bpry.atlas", "FrozenLayer", 1},
        {"double bubble", [](F& f) { return f.Place<SoapBubble>(100, 200, 1, 2.0f); }, "CharactersLayer", 10.0f,
         "data/monsters/normal_bpry.atlas", "BubblesLayer", 2},
        {"bottle", [](F& f) { return f.Place<Bottle>(100, 200); }, "CharactersLayer", 10.0f,
         "data/monsters/normal_bpry.atlas", nullptr, 0},
        {"stone 3", [](F& f) { return f.Place<Stone>(100, 200, 3); }, "Scene", 10.0f, "data/stones/stone3", nullptr,
         0},
        {"rock", [](F& f) { return f.Place<Rock>(100, 200); }, "Scene", 10.0f, "data/shapes/gray", nullptr, 0},
        {"block", [](F& f) { return f.Place<Indestructible>(100, 200); }, "Scene", 10.0f,
         "data/shapes/indestructible", nullptr, 0},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.what);
        Shape* shape = c.make(field);
        Node* node = shape->GetNode();
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(shape->GetSceneNode(), node);
        EXPECT_EQ(node->get_name(), vadu::Atom("Shape"));
        ASSERT_NE(node->get_parent(), nullptr);
        EXPECT_EQ(node->get_parent()->get_name(), vadu::Atom(c.parent));
        EXPECT_FLOAT_EQ(node->get_position().x, 100.0f);
        EXPECT_FLOAT_EQ(node->get_position().y, 200.0f);
        EXPECT_FLOAT_EQ(node->get_position().z, c.z);
        auto* sprite = dynamic_cast<Sprite*>(node);
        ASSERT_NE(sprite, nullptr);
        EXPECT_NE(picture_of(*sprite).find(c.picture), std::string::npos) << picture_of(*sprite);

        auto* monster = dynamic_cast<Monster*>(shape);
        const std::vector<Node*> overlays = monster ? monster->GetOverlays() : std::vector<Node*>{};
        ASSERT_EQ(overlays.size(), c.overlays);
        for (size_t i = 0; i < overlays.size(); ++i) {
            EXPECT_EQ(overlays[i]->get_parent()->get_name(), vadu::Atom(c.overlay_layer));
            EXPECT_FLOAT_EQ(overlays[i]->get_position().x, 100.0f);
            EXPECT_FLOAT_EQ(overlays[i]->get_scale().x, 1.0f - 0.1f * static_cast<float>(i));
        }
        if (monster != nullptr) {
            ASSERT_NE(monster->GetAnimation(), nullptr);
            EXPECT_FALSE(monster->GetAnimation()->get_string_tracks().empty());
        }
    }
}

TEST_F(ShapeVisualsTest, OverlaysStackInFrontOrBehindAsEachKindPutsThem)
{
    auto* frozen = field.Place<FrozenMonster>(100, 200, 0, 2);
    auto* bubble = field.Place<SoapBubble>(300, 200, 0, 2.0f);
    const std::vector<Node*> cubes = frozen->GetOverlays();
    const std::vector<Node*> bubbles = bubble->GetOverlays();
    ASSERT_EQ(cubes.size(), 2u);
    ASSERT_EQ(bubbles.size(), 2u);
    EXPECT_FLOAT_EQ(cubes[0]->get_position().z, 9.8f);
    EXPECT_FLOAT_EQ(cubes[1]->get_position().z, 9.85f);
    EXPECT_FLOAT_EQ(bubbles[0]->get_position().z, 9.5f);
    EXPECT_FLOAT_EQ(bubbles[1]->get_position().z, 9.55f);
    // Ice holds the monster in place; bubbles lift it.
    EXPECT_EQ(frozen->GetBody()->GetType(), b2_staticBody);
    EXPECT_EQ(bubble->GetBody()->GetType(), b2_dynamicBody);
    EXPECT_FLOAT_EQ(bubble->GetBody()->GetGravityScale(), -2.0f);

    // The bubbles go where the monster goes.
    bubble->SetPosition({320.0f, 260.0f});
    bubble->Update(0.01f);
    for (Node* overlay : bubble->GetOverlays()) {
        EXPECT_FLOAT_EQ(overlay->get_global_position().x, 320.0f);
        EXPECT_FLOAT_EQ(overlay->get_global_position().y, 260.0f);
    }
    EXPECT_FLOAT_EQ(bubble->GetOverlays()[1]->get_position().z, 9.55f);
}

TEST_F(ShapeVisualsTest, RemovalRequestsMeltTheIceCubeByCube)
{
    auto* frozen = field.Place<FrozenMonster>(100, 200, 0, 2);
    const vadu::WeakPtr outer = [&] {
        vadu::WeakPtr watch;
        watch.assign(frozen->GetOverlays()[0]);
        return watch;
    }();
    EXPECT_FALSE(frozen->RemoveLinks());
    EXPECT_FALSE(Alive(outer));
    ASSERT_EQ(frozen->GetOverlays().size(), 1u);
    EXPECT_FLOAT_EQ(frozen->GetOverlays()[0]->get_scale().x, 0.9f);
    EXPECT_TRUE(frozen->RemoveLinks());
    EXPECT_EQ(frozen->GetOverlays().size(), 1u);

    auto* melting = field.Place<FrozenMonster>(300, 200, 0, 2);
    melting->RequestMelt();
    EXPECT_TRUE(melting->RemoveLinks());
    EXPECT_TRUE(melting->GetOverlays().empty());
    EXPECT_EQ(field.Layer("FrozenLayer")->get_child_count(), 1u);
}

TEST_F(ShapeVisualsTest, TheBottleRocksOnItsMonsterAndTheStarIsBorn)
{
    auto* bottle = field.Place<Bottle>(100, 200);
    Node* flask = bottle->GetBottleNode();
    ASSERT_NE(flask, nullptr);
    EXPECT_EQ(flask->get_parent(), bottle->GetNode());
    EXPECT_FLOAT_EQ(flask->get_position().z, -0.2f);
    bottle->Update(0.6f);
    EXPECT_NEAR(flask->get_rotation().z, 0.2f, 1e-4f);

    auto* star = field.Place<StarredMonster>(300, 200, 0);
    ASSERT_NE(field.Actions().FindAction(star->GetNode(), "born"), nullptr);
    field.Actions().Update(0.1f);
    EXPECT_LT(star->GetNode()->get_scale().x, 1.0f);
    Run(0.5f);
    EXPECT_EQ(field.Actions().FindAction(star->GetNode(), "born"), nullptr);
    EXPECT_FLOAT_EQ(star->GetNode()->get_scale().x, 1.0f);
    // A star is never highlighted: it plays all the time.
    star->Update(0.2f);
    EXPECT_EQ(gameplay_test::text_of(
                  dynamic_cast<Sprite*>(star->GetNode())->get_texture()->get_pending_name().get_name()),
              "star1");
}

TEST_F(ShapeVisualsTest, OnlyAGroupBigEnoughPlaysItsCharacter)
{
    auto* a = field.Place<Monster>(100, 200, 0);
    auto* b = field.Place<Monster>(170, 200, 0);
    auto* alone = field.Place<Monster>(400, 200, 2);
    field.level->links.CreateLink(a, b);
    a->UpdateGroup();
    alone->UpdateGroup();
    for (Monster* monster : {a, b, alone})
        monster->Update(0.2f);
    // Keys every 150 ms: 200 ms into the highlight shows the second frame.
    const auto frame = [](Monster* monster) {
        return gameplay_test::text_of(
            dynamic_cast<Sprite*>(monster->GetNode())->get_texture()->get_pending_name().get_name());
    };
    EXPECT_EQ(frame(a), "red1");
    EXPECT_EQ(frame(b), "red1");
    EXPECT_EQ(frame(alone), "blue0");
    EXPECT_DOUBLE_EQ(a->GetAnimation()->get_speed(), 1000.0);
    EXPECT_DOUBLE_EQ(alone->GetAnimation()->get_speed(), 0.0);

    field.level->links.RemoveLink(a, b);
    a->UpdateGroup();
    a->Update(0.2f);
    EXPECT_EQ(frame(a), "red1") << "stopped where it was";
}

TEST_F(ShapeVisualsTest, AMonsterWithoutAColourHasNoPictureAndStillWorks)
{
    auto* odd = field.Place<Monster>(100, 200, 7);
    auto* odd_frozen = field.Place<FrozenMonster>(200, 200, 9, 2);
    EXPECT_EQ(odd->GetNode(), nullptr);
    EXPECT_EQ(odd->GetAnimation(), nullptr);
    EXPECT_EQ(odd_frozen->GetNode(), nullptr);
    EXPECT_TRUE(odd_frozen->GetOverlays().empty());
    for (const char* layer : {"CharactersLayer", "FrozenLayer"})
        EXPECT_EQ(field.Layer(layer)->get_child_count(), 0u) << layer;
    odd->SetHighlighted(true);
    odd->Update(0.1f);
    odd->HintShake(true);
    EXPECT_FALSE(odd->hintShaking);
    odd->Die();
    EXPECT_TRUE(odd->IsDead());
    EXPECT_EQ(odd->GetDyingClone(), nullptr);
}

struct ShakeCase {
    bool strong;
    float duration;
    float magnitude;
};

TEST_F(ShapeVisualsTest, HintShakesRunOnceAroundTheBasePoint)
{
    for (const ShakeCase c : {ShakeCase{true, 1.0f, 3.0f}, ShakeCase{false, 1.5f, 2.0f}}) {
        SCOPED_TRACE(c.strong ? "strong" : "mild");
        auto* shape = field.Place<Monster>(100, 200, 1);
        shape->Update(0.0f);
        shape->HintShake(c.strong);
        EXPECT_TRUE(shape->hintShaking);
        BaseAnimation* shake = field.Actions().FindAction(shape->GetNode(), "shake");
        ASSERT_NE(shake, nullptr);
        EXPECT_FLOAT_EQ(shake->GetDuration(), c.duration);
        shape->HintShake(!c.strong);
        EXPECT_EQ(field.Actions().FindAction(shape->GetNode(), "shake"), shake) << "a second hint waits";
        for (int i = 0; i < 5; ++i) {
            field.Actions().Update(0.1f);
            EXPECT_LE(std::fabs(shape->shakeOffset.x - 100.0f), c.magnitude);
            EXPECT_LE(std::fabs(shape->shakeOffset.y - 200.0f), c.magnitude);
        }
        Run(c.duration);
        EXPECT_FALSE(shape->hintShaking);
        EXPECT_EQ(field.Actions().FindAction(shape->GetNode(), "shake"), nullptr);
    }
}

TEST_F(ShapeVisualsTest, TheDangerShakeLoopsUntilTheShapeIsBackInside)
{
    // Above the field's top margin (640 - 75).
    auto* shape = field.Place<Monster>(100, 600, 0);
    shape->Update(Shape::YoungAge + 0.1f);
    shape->Update(0.01f);
    ASSERT_TRUE(shape->IsShaking());
    BaseAnimation* shake = field.Actions().FindAction(shape->GetNode(), "shake");
    ASSERT_NE(shake, nullptr);
    EXPECT_TRUE(shake->IsLooping());
    Run(2.5f);
    EXPECT_EQ(field.Actions().FindAction(shape->GetNode(), "shake"), shake);

    shape->SetPosition({100.0f, 300.0f});
    shape->Update(0.01f);
    EXPECT_FALSE(shape->IsShaking());
    EXPECT_FALSE(shape->hintShaking);
    EXPECT_EQ(field.Actions().FindAction(shape->GetNode(), "shake"), nullptr);
}

struct DyingCase {
    const char* what;
    std::function<Shape*(gameplay_test::FieldFixture&)> make;
    float length; // of the animation the copy plays
};

TEST_F(ShapeVisualsTest, ADeadShapeDeletedInTheNextUpdateLeavesItsCopyPlayingToTheEnd)
{
    using F = gameplay_test::FieldFixture;
    const DyingCase cases[] = {
        {"monster", [](F& f) { return f.Place<Monster>(100, 200, 0); }, 0.5f},
        {"rock", [](F& f) { return f.Place<Rock>(100, 200); }, 0.5f},
        {"bottle", [](F& f) { return f.Place<Bottle>(100, 200); }, 0.5f},
        {"merging monster",
         [](F& f) {
             auto* monster = f.Place<Monster>(100, 200, 2);
             auto* star = new Node(vadu::Atom("Star"), f.root.get());
             star->set_position({300.0f, 260.0f, 9.5f});
             monster->mergeTarget.reset(star);
             monster->mergeOffset = {10.0f, 0.0f, 0.0f};
             return monster;
         },
         0.45f},
    };
    for (const DyingCase& c : cases) {
        SCOPED_TRACE(c.what);
        Shape* shape = c.make(field);
        Node* node = shape->GetNode();
        Node* parent = node->get_parent();
        vadu::WeakPtr own;
        own.assign(node);
        const size_t siblings = parent->get_child_count();

        shape->Die();
        ASSERT_TRUE(shape->IsDead());
        Node* clone = shape->GetDyingClone();
        ASSERT_NE(clone, nullptr);
        EXPECT_NE(clone, node);
        EXPECT_EQ(clone->get_parent(), parent);
        EXPECT_TRUE(clone->is_visible());
        EXPECT_FALSE(node->is_visible()) << "only the copy is seen";
        vadu::WeakPtr copy;
        copy.assign(clone);
        const vadu::math::Vector3 start = clone->get_position();

        field.Actions().Update(0.1f);
        field.Delete(shape);
        EXPECT_FALSE(Alive(own));
        ASSERT_TRUE(Alive(copy));

        Run(c.length - 0.2f);
        ASSERT_TRUE(Alive(copy)) << "cut off before its end";
        if (std::string(c.what) == "merging monster") {
            EXPECT_GT(clone->get_position().x, start.x + 100.0f);
            EXPECT_LT(clone->get_scale().x, 1.0f);
        } else {
            EXPECT_GT(clone->get_scale().x, 1.0f);
        }
        Run(0.2f);
        EXPECT_FALSE(Alive(copy)) << "the copy goes when its animation ends";
        EXPECT_EQ(parent->get_child_count(), siblings - 1);
    }
}

TEST_F(ShapeVisualsTest, MergeOrDyingPlaysOnceAndACollectedStarNotAtAll)
{
    auto* monster = field.Place<Monster>(100, 200, 0);
    monster->PlayDying();
    Node* first = monster->GetDyingClone();
    monster->PlayDying();
    EXPECT_EQ(monster->GetDyingClone(), first);
    EXPECT_EQ(field.Layer("CharactersLayer")->get_child_count(), 2u);

    auto* star = field.Place<StarredMonster>(300, 200, 0);
    star->Collect(field.level->chain);
    EXPECT_TRUE(star->IsCollected());
    EXPECT_TRUE(star->IsDead());
    EXPECT_EQ(star->GetDyingClone(), nullptr);
}

struct BandCase {
    const char* what;
    std::function<Shape*(gameplay_test::FieldFixture&, float, float)> make_a;
    float dx, dy; // B relative to A, a red monster
    float angle;
    float insets;
    const char* frame;
};

TEST_F(ShapeVisualsTest, ALinkBandLiesBetweenItsShapesInTheColourOfTheFirst)
{
    using F = gameplay_test::FieldFixture;
    const auto red = [](F& f, float x, float y) -> Shape* { return f.Place<Monster>(x, y, 0); };
    const BandCase cases[] = {
        {"to the right", red, 100, 0, -kPi, 20, "Red"},
        {"to the left", red, -100, 0, 0, 20, "Red"},
        {"above", red, 0, 100, -kPi / 2, 20, "Red"},
        {"below", red, 0, -100, kPi / 2, 20, "Red"},
        {"yellow", [](F& f, float x, float y) -> Shape* { return f.Place<Monster>(x, y, 1); }, 60, 80, 0, 20,
         "Yellow"},
        {"green stone", [](F& f, float x, float y) -> Shape* { return f.Place<Stone>(x, y, 3); }, 100, 0, -kPi, 23,
         "Green"},
        {"rock", [](F& f, float x, float y) -> Shape* { return f.Place<Rock>(x, y); }, 100, 0, -kPi, 5, "Gray"},
        // No direction to turn to: the band lies flat instead of taking a NaN angle.
        {"on one spot", red, 0, 0, 0, 20, "Red"},
    };
    for (const BandCase& c : cases) {
        SCOPED_TRACE(c.what);
        Shape* a = c.make_a(field, 300, 300);
        Shape* b = field.Place<Monster>(300 + c.dx, 300 + c.dy, 0);
        field.level->links.CreateLink(a, b);
        const Link& link = *field.level->links.GetLinks().back();
        Sprite* band = link.GetNode();
        ASSERT_NE(band, nullptr);
        EXPECT_EQ(band->get_name(), vadu::Atom("Link"));
        EXPECT_EQ(band->get_parent(), field.Layer("LinksLayer"));
        EXPECT_EQ(gameplay_test::text_of(band->get_texture()->get_pending_name().get_name()), c.frame);
        EXPECT_NE(picture_of(*band).find("data/shapes/links.atlas"), std::string::npos);
        EXPECT_FLOAT_EQ(band->get_position().x, 300 + c.dx / 2);
        EXPECT_FLOAT_EQ(band->get_position().y, 300 + c.dy / 2);
        EXPECT_FLOAT_EQ(band->get_position().z, 11.0f);
        if (std::string(c.what) != "yellow")
            EXPECT_NEAR(band->get_rotation().z, c.angle, 1e-5f);
        else
            EXPECT_NEAR(band->get_rotation().z, -std::acos(-0.6f), 1e-5f);
        EXPECT_NEAR(band->get_scale().x, (std::hypot(c.dx, c.dy) - c.insets) / 65.0f, 1e-5f);
        EXPECT_FLOAT_EQ(band->get_scale().y, 1.3f);
        field.level->links.RemoveShapeLinks(a);
    }
}

TEST_F(ShapeVisualsTest, ALinkFollowsTheShakeOfItsShape)
{
    auto* a = field.Place<Monster>(200, 600, 0);
    auto* b = field.Place<Monster>(300, 600, 0);
    field.level->links.CreateLink(a, b);
    a->Update(Shape::YoungAge + 0.1f);
    a->Update(0.01f);
    ASSERT_TRUE(a->IsShaking());
    field.Actions().Update(0.1f);
    // The body puts the node back; the band still goes to where the shake is.
    a->PostStep();
    ASSERT_FALSE(a->shakeOffset.x == 200.0f && a->shakeOffset.y == 600.0f);
    field.level->links.UpdatePlacements();
    const Sprite* band = field.level->links.GetLinks().front()->GetNode();
    EXPECT_FLOAT_EQ(band->get_position().x, (a->shakeOffset.x + 300.0f) / 2);
    EXPECT_FLOAT_EQ(band->get_position().y, (a->shakeOffset.y + 600.0f) / 2);

    a->SetPosition({200.0f, 300.0f});
    a->Update(0.01f);
    ASSERT_FALSE(a->IsShaking());
    field.level->links.UpdatePlacements();
    EXPECT_FLOAT_EQ(band->get_position().x, 250.0f);
    EXPECT_FLOAT_EQ(band->get_position().y, 450.0f);
}

TEST_F(ShapeVisualsTest, RemovedLinksFadeOutOnCopiesThatGoByThemselves)
{
    auto* hub = field.Place<Monster>(300, 300, 0);
    for (const auto& at : {std::pair{370.0f, 300.0f}, std::pair{230.0f, 300.0f}, std::pair{300.0f, 370.0f}})
        field.level->links.CreateLink(hub, field.Place<Monster>(at.first, at.second, 0));
    Node* layer = field.Layer("LinksLayer");
    ASSERT_EQ(layer->get_child_count(), 3u);

    field.level->links.RemoveShapeLinks(hub);
    EXPECT_TRUE(field.level->links.GetLinks().empty());
    ASSERT_EQ(layer->get_child_count(), 3u) << "three copies in place of the three bands";
    for (Node* copy : layer->get_children()) {
        EXPECT_NE(field.Actions().FindAction(copy, "dying"), nullptr);
        EXPECT_FLOAT_EQ(copy->get_position().z, 11.0f);
    }
    Run(0.5f);
    EXPECT_EQ(layer->get_child_count(), 0u);
}

TEST_F(ShapeVisualsTest, TheSceneMayGoBeforeItsShapes)
{
    auto* a = field.Place<FrozenMonster>(100, 200, 0, 2);
    auto* b = field.Place<Monster>(170, 200, 0);
    field.level->links.CreateLink(a, b);
    b->HintShake(true);
    b->Die();
    field.root.reset();
    EXPECT_EQ(a->GetNode(), nullptr);
    EXPECT_TRUE(a->GetOverlays().empty());
    EXPECT_EQ(b->GetDyingClone(), nullptr);
    field.level->links.UpdatePlacements();
    field.Actions().Update(0.1f);
    field.level.reset();
}

} // namespace
