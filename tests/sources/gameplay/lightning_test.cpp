// The lightning power-up over a fake level: which shapes a blast strikes, how the bolts run
// hop by hop along the links, when they strike, and that the level's input always comes
// back.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "gameplay_test_support.h"
#include "sources/gameplay/kinds.h"
#include "sources/gameplay/lightning.h"
#include "sources/gameplay/shape_factory.h"
#include "support/fake_gameplay.h"
#include "vadu/lib3d/node/sprite.h"

namespace {

using gameplay::Bomb;
using gameplay::LightningElement;
using gameplay::Monster;
using gameplay::Shape;
using gameplay::ShapeKind;
using gameplay_fakes::FakeLevel;
using gameplay_fakes::FakeShell;
using vadu::lib3d::node::Node;

// Half a second, struck at 0.35 s.
const char* const BoltAnimation = R"(<Animation><double>
    <PrimitiveAnimation Target="" Param="Transparency">
        <Envelope><Keys><Key Time="0" Value="0" Linear="1"/><Key Time="0.5" Value="1"/></Keys></Envelope>
    </PrimitiveAnimation></double></Animation>)";

// A level whose chain collection takes the monsters away, as the running level does.
class CollectingLevel : public FakeLevel {
public:
    void CollectChain(std::vector<Shape*>& collected, Shape* tapped) override
    {
        FakeLevel::CollectChain(collected, tapped);
        tappedShapes.push_back(tapped);
        for (Shape* shape : collected) {
            if (auto* monster = dynamic_cast<Monster*>(shape))
                monster->Collect(chain);
        }
    }

    std::vector<Shape*> tappedShapes;
};

class LightningTest : public gameplay_test::GameplayTest {
protected:
    LightningTest() { write("data/shapes/lightning.anim", BoltAnimation); }

    template <typename T, typename... Args>
    T* add(float x, float y, Args... args)
    {
        T* shape = level.Add(std::make_unique<T>(level.World(), vadu::Atom(), args...));
        shape->SetPosition({x, y});
        return shape;
    }
    Monster* monster(float x, float y, int colour = 0) { return add<Monster>(x, y, colour); }
    Bomb* bomb(float x, float y, int colour = 0) { return add<Bomb>(x, y, colour); }
    void link(Shape* a, Shape* b) { level.links.CreateLink(a, b); }

    // The bolts alive under the scene root.
    std::vector<LightningElement*> bolts()
    {
        std::vector<LightningElement*> found;
        for (Node* child : root.get_children()) {
            for (const auto& [tag, action] : manager().ActionsOf(child)) {
                if (auto* element = dynamic_cast<LightningElement*>(action))
                    found.push_back(element);
            }
        }
        return found;
    }

    // Steps the actions until the level's input is back; the frames it took.
    int run_until_input(float dt = 0.01f, int limit = 1000)
    {
        for (int frame = 1; frame <= limit; ++frame) {
            manager().Update(dt);
            if (level.inputEnabled)
                return frame;
        }
        return -1;
    }

    FakeShell shell;
    CollectingLevel level;
    Node root{"Root", nullptr};

    void SetUp() override { level.sceneRoot = &root; }
};

TEST_F(LightningTest, ABombWithNothingToStrikeGivesInputBackAtTheNextUpdate)
{
    Bomb* lone = bomb(100, 100);
    gameplay::StartLightning(level, level.chain, *lone);
    EXPECT_FALSE(level.inputEnabled);
    EXPECT_TRUE(lone->IsExploded());
    EXPECT_EQ(run_until_input(), 1);
    EXPECT_TRUE(bolts().empty());
    // The turn is recorded with its explosion, and the level takes its step.
    ASSERT_EQ(level.chain.History().size(), 1u);
    EXPECT_EQ(level.chain.History().front().bombs, 1);
    EXPECT_EQ(level.steps, 1);
}

TEST_F(LightningTest, InputStaysOffWhenTheLevelEndedDuringTheChain)
{
    Bomb* lone = bomb(100, 100);
    gameplay::StartLightning(level, level.chain, *lone);
    level.ended = true;
    manager().Update(0.01f);
    EXPECT_FALSE(level.inputEnabled);
    EXPECT_EQ(level.chain.History().size(), 1u);
}

TEST_F(LightningTest, AGroupLinkedToTheBombIsCollectedAsOneChainWhenItsBoltPassesTheStrikePoint)
{
    Bomb* b = bomb(100, 100);
    Monster* m1 = monster(170, 100);
    Monster* m2 = monster(240, 100);
    Monster* m3 = monster(310, 100);
    link(b, m1);
    link(m1, m2);
    link(m2, m3);
    gameplay::StartLightning(level, level.chain, *b);

    LightningElement* first = nullptr;
    for (int frame = 0; frame < 200 && level.chains.empty(); ++frame) {
        const std::vector<LightningElement*> live = bolts();
        if (first == nullptr && !live.empty())
            first = live.front();
        const float before = first != nullptr ? first->GetElapsed() / first->GetDuration() : 0.0f;
        manager().Update(0.01f);
        if (!level.chains.empty()) {
            ASSERT_NE(first, nullptr);
            EXPECT_LE(before, LightningElement::StrikePoint);
            EXPECT_GT(first->GetElapsed() / first->GetDuration(), LightningElement::StrikePoint);
            EXPECT_TRUE(first->HasStruck());
            EXPECT_EQ(first->GetTargetShape(), m1);
        }
    }
    ASSERT_EQ(level.chains.size(), 1u);
    const std::vector<Shape*>& chain = level.chains.front();
    for (Shape* member : {static_cast<Shape*>(m1), static_cast<Shape*>(m2), static_cast<Shape*>(m3)})
        EXPECT_NE(std::find(chain.begin(), chain.end(), member), chain.end());
    EXPECT_EQ(level.tappedShapes.front(), nullptr);
    EXPECT_GT(run_until_input(), 0);
    // The later bolts found their monsters already collected: still one chain.
    EXPECT_EQ(level.chains.size(), 1u);
    EXPECT_TRUE(m2->IsDead() && m3->IsDead());
}

TEST_F(LightningTest, TwoBombsLinkedThroughAGroupBothExplodeAndEveryShapeIsStruckOnce)
{
    Bomb* b1 = bomb(100, 100);
    Monster* m1 = monster(170, 100);
    Monster* m2 = monster(240, 100);
    Bomb* b2 = bomb(310, 100);
    Monster* beyond = monster(380, 100, 2);
    link(b1, m1);
    link(m1, m2);
    link(m2, b2);
    link(b2, beyond);

    std::set<Shape*> strike;
    b1->CollectBlast(level.chain, strike);
    EXPECT_TRUE(b1->IsExploded());
    EXPECT_TRUE(b2->IsExploded());
    EXPECT_EQ(level.chain.Current().bombs, 2);
    EXPECT_EQ(strike, (std::set<Shape*>{b1, m1, m2, b2, beyond}));

    level.chain.Current().bombs = 0;
    gameplay::StartLightning(level, level.chain, *b1);
    std::multiset<Shape*> targets;
    std::set<LightningElement*> seen;
    for (int frame = 0; frame < 300 && !level.inputEnabled; ++frame) {
        manager().Update(0.01f);
        for (LightningElement* element : bolts()) {
            if (seen.insert(element).second)
                targets.insert(element->GetTargetShape());
        }
        if (level.inputEnabled)
            break;
    }
    EXPECT_TRUE(level.inputEnabled);
    EXPECT_EQ(targets, (std::multiset<Shape*>{b1, m1, m2, b2, beyond}));
}

TEST_F(LightningTest, StonesAndObstaclesAreNeverStruck)
{
    Bomb* b = bomb(100, 100);
    Monster* m = monster(170, 100);
    auto* stone = add<gameplay::Stone>(170, 170, 3);
    auto* block = add<gameplay::Indestructible>(170, 30);
    auto* rock = add<gameplay::Rock>(240, 100);
    link(b, m);
    link(m, stone);
    link(m, block);
    link(b, stone);
    link(m, rock);

    std::set<Shape*> strike;
    b->CollectBlast(level.chain, strike);
    EXPECT_EQ(strike.count(stone), 0u);
    EXPECT_EQ(strike.count(block), 0u);
    // A rock is no obstacle: it goes with the blast.
    EXPECT_EQ(strike.count(rock), 1u);

    gameplay::StartLightning(level, level.chain, *b);
    EXPECT_GT(run_until_input(), 0);
    EXPECT_FALSE(stone->IsDead());
    EXPECT_FALSE(block->IsDead());
    EXPECT_TRUE(rock->IsDead());
}

TEST_F(LightningTest, EachStepStartsItsBoltsAfterThePreviousStepHasRunItsTime)
{
    Bomb* b = bomb(100, 100);
    Monster* m1 = monster(170, 100);
    Monster* m2 = monster(240, 100);
    Monster* m3 = monster(310, 100);
    link(b, m1);
    link(m1, m2);
    link(m2, m3);
    gameplay::StartLightning(level, level.chain, *b);

    // When a bolt to each monster first appears.
    std::map<Shape*, float> appeared;
    float clock = 0.0f;
    for (int frame = 0; frame < 300 && appeared.count(m3) == 0; ++frame) {
        manager().Update(0.01f);
        clock += 0.01f;
        for (LightningElement* element : bolts())
            appeared.emplace(element->GetTargetShape(), clock);
    }
    ASSERT_EQ(appeared.count(m1) + appeared.count(m3), 2u);
    EXPECT_GE(appeared[m3] - appeared[m1], 0.08f - 1e-4f);
    EXPECT_GT(run_until_input(), 0);
}

TEST_F(LightningTest, ABoltIsStretchedFromItsSourceTowardItsTarget)
{
    Bomb* b = bomb(100, 100);
    Monster* m = monster(100 + 69, 100 + 92);  // 115 away
    link(b, m);
    gameplay::StartLightning(level, level.chain, *b);
    manager().Update(0.01f);
    std::vector<LightningElement*> live = bolts();
    ASSERT_EQ(live.size(), 1u);
    EXPECT_FLOAT_EQ(live[0]->GetLengthFactor(), 1.0f);
    manager().Update(0.2f);
    Node* bolt = live[0]->GetNode();
    ASSERT_NE(bolt, nullptr);
    EXPECT_EQ(bolt->get_name(), vadu::Atom("Lightning Element"));
    EXPECT_EQ(bolt->get_parent(), &root);
    const vadu::math::Vector3 position = bolt->get_position();
    EXPECT_EQ(position, (vadu::math::Vector3{100.0f, 100.0f, 9.0f}));
    // Fully grown, the far end lies on the target: the picture runs along +x from its anchor.
    const float angle = bolt->get_rotation().z;
    const float length = 115.0f * bolt->get_scale().x;
    EXPECT_NEAR(position.x + length * std::cos(angle), 169.0f, 1e-3f);
    EXPECT_NEAR(position.y + length * std::sin(angle), 192.0f, 1e-3f);
    EXPECT_FLOAT_EQ(bolt->get_scale().y, 0.7f);
    // Going down and to the left turns the other way.
    Monster* below = monster(10, 40);
    vadu::lib3d::node::Sprite other("Other", &root);
    auto* element = new LightningElement(&other, b, b->GetPosition(), below, below->GetPosition(), nullptr,
                                         level.chain);
    element->SetTime(0.5f);
    EXPECT_NEAR(100.0f + 115.0f * element->GetLengthFactor() * std::cos(other.get_rotation().z), 10.0f, 1e-3f);
    EXPECT_NEAR(100.0f + 115.0f * element->GetLengthFactor() * std::sin(other.get_rotation().z), 40.0f, 1e-3f);
    element->SetOwnsTarget(false);
    delete element;
}

TEST_F(LightningTest, ABoltThatCannotBeTimedStrikesAtItsFirstUpdate)
{
    struct Case {
        const char* name;
        const char* animation;
    };
    const Case cases[] = {
        {"no length", "<Animation/>"},
        {"no speed", R"(<Animation Speed="0"><double><PrimitiveAnimation Target="" Param="Transparency">
            <Envelope><Keys><Key Time="0" Value="0"/><Key Time="0.5" Value="1"/></Keys></Envelope>
            </PrimitiveAnimation></double></Animation>)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SharedAnimations::Reset();
        write("data/shapes/lightning.anim", c.animation);
        CollectingLevel fresh;
        fresh.sceneRoot = &root;
        auto* b = fresh.Add(std::make_unique<Bomb>(fresh.World(), vadu::Atom(), 0));
        auto* m = fresh.Add(std::make_unique<Monster>(fresh.World(), vadu::Atom(), 0));
        b->SetPosition({100, 100});
        m->SetPosition({170, 100});
        fresh.links.CreateLink(b, m);
        gameplay::StartLightning(fresh, fresh.chain, *b);
        int frames = 0;
        while (!fresh.inputEnabled && frames < 200) {
            manager().Update(0.01f);
            ++frames;
        }
        EXPECT_TRUE(fresh.inputEnabled);
        EXPECT_EQ(fresh.chains.size(), 1u);
        manager().Clear();
    }
}

TEST_F(LightningTest, BoltsStoppedBeforeTheirStrikeStillLetTheChainEnd)
{
    Bomb* b = bomb(100, 100);
    Monster* m = monster(170, 100);
    link(b, m);
    gameplay::StartLightning(level, level.chain, *b);
    manager().Update(0.01f);
    ASSERT_FALSE(bolts().empty());
    manager().StopActionsByTag(vadu::Atom("Lightning Element"));
    EXPECT_GT(run_until_input(), 0);
    // The monster's bolt never struck; the bolt of the next hop still did.
    EXPECT_TRUE(level.chains.empty());
    EXPECT_FALSE(m->IsDead());
    EXPECT_TRUE(b->IsDead());
    // Played out, the bolts take their pictures with them.
    for (int frame = 0; frame < 100; ++frame)
        manager().Update(0.01f);
    EXPECT_EQ(root.get_child_count(), 0u);
}

TEST_F(LightningTest, ABombTakesTheShapesPlaceAndLinks)
{
    Monster* old = monster(200, 150, 3);
    Monster* left = monster(130, 150, 3);
    Monster* right = monster(270, 150, 1);
    link(old, left);
    link(old, right);

    Bomb* b = level.Add(std::make_unique<Bomb>(*old));
    EXPECT_TRUE(old->IsDead());
    EXPECT_EQ(b->GetPosition().x, 200.0f);
    EXPECT_EQ(b->GetPosition().y, 150.0f);
    EXPECT_EQ(b->GetColour(), 3);
    EXPECT_EQ(b->GetKind(), ShapeKind::Bomb);
    EXPECT_TRUE(b->IsKind(ShapeKind::Monster));
    EXPECT_TRUE(level.links.AreLinked(b, left));
    EXPECT_TRUE(level.links.AreLinked(b, right));
    EXPECT_FALSE(level.links.AreLinked(old, left));
    // Its group was counted again: the bomb and the same-coloured neighbour.
    EXPECT_EQ(b->GetGroupSize(), 2);
}

TEST_F(LightningTest, TheFactoryMakesABombOfTheNumberedColour)
{
    gameplay::ShapeItem item;
    item.asset = "Level/Shapes/Items/LightningPowerup/2";
    item.position = {50.0f, 60.0f};
    std::unique_ptr<Shape> made = gameplay::ShapeFactory::Create(level.World(), item);
    auto* b = dynamic_cast<Bomb*>(made.get());
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetColour(), 2);
    EXPECT_EQ(b->GetKind(), ShapeKind::Bomb);
    EXPECT_FALSE(b->IsExploded());
    EXPECT_EQ(b->GetPosition().x, 50.0f);
}

} // namespace
