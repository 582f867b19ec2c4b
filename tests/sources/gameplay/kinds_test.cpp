#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <typeinfo>

#include <box2d/b2_body.h>

#include "sources/gameplay/kinds.h"
#include "sources/gameplay/shape_factory.h"
#include "support/fake_gameplay.h"

namespace {

using namespace gameplay;

class KindsTest : public ::testing::Test {
protected:
    template <typename T, typename... Args>
    T* Make(float x, float y, Args... args)
    {
        T* shape = level.Add(std::make_unique<T>(level.World(), vadu::Atom(), args...));
        shape->SetPosition({x, y});
        return shape;
    }

    gameplay_fakes::FakeShell shell;
    gameplay_fakes::FakeHud hud;
    gameplay_fakes::FakeLevel level;
};

struct FactoryCase {
    const char* asset;
    const std::type_info* type; // null: nothing made
};

TEST_F(KindsTest, FactoryMakesTheKindTheAssetNames)
{
    const FactoryCase cases[] = {
        {"data/levels/shapes/Normal/2", &typeid(Monster)},
        {"data\\levels-shapes/Starred/0", &typeid(StarredMonster)},
        {"a/b/c/IceCubePowerup/1", &typeid(FrozenMonster)},
        {"a/b/c/DoubleIceCubePowerup/1", &typeid(FrozenMonster)},
        {"a/b/c/SoapBubblePowerup/3", &typeid(SoapBubble)},
        {"a/b/c/DoubleSoapBubblePowerup/3", &typeid(SoapBubble)},
        {"a/b/c/LifePowerup/0", &typeid(Bottle)},
        {"a/b/c/Anything/4/land", &typeid(Stone)},
        {"a/b/c/Normal/4/indestructible", &typeid(Indestructible)},
        {"a/b/c/Normal/4/rock", &typeid(Rock)},
        {"a/b/c/Normal/4/land2", nullptr},
        {"a/b/c/normal/1", nullptr},
        {"a/b/c/Normal", nullptr},
        {"a/b/c/Whatever/1", nullptr},
        // A seventh part is no obstacle word: the kind word decides.
        {"a/b/c/Normal/1/rock/x", &typeid(Monster)},
    };
    for (const FactoryCase& c : cases) {
        ShapeItem item{vadu::String(c.asset), vadu::Atom("Item"), {120.0f, 340.0f}};
        std::unique_ptr<Shape> shape = ShapeFactory::Create(level.World(), item);
        if (c.type == nullptr) {
            EXPECT_EQ(shape, nullptr) << c.asset;
            continue;
        }
        ASSERT_NE(shape, nullptr) << c.asset;
        EXPECT_TRUE(typeid(*shape) == *c.type) << c.asset << " made " << typeid(*shape).name();
        EXPECT_FLOAT_EQ(shape->GetPosition().x, 120.0f);
        EXPECT_FLOAT_EQ(shape->GetPosition().y, 340.0f);
        EXPECT_EQ(shape->GetName(), vadu::Atom("Item"));
    }
}

TEST_F(KindsTest, FactoryPassesCountsAndNumbers)
{
    const auto make = [&](const char* asset) {
        return ShapeFactory::Create(level.World(), ShapeItem{vadu::String(asset), vadu::Atom(), {}});
    };
    EXPECT_EQ(dynamic_cast<FrozenMonster&>(*make("a/b/c/DoubleIceCubePowerup/1")).GetLayers(), 2);
    EXPECT_EQ(dynamic_cast<SoapBubble&>(*make("a/b/c/SoapBubblePowerup/1")).GetBubbleCount(), 1.0f);
    EXPECT_EQ(dynamic_cast<Stone&>(*make("a/b/c/X/11/land")).GetNumber(), 11);
    EXPECT_EQ(dynamic_cast<Monster&>(*make("a/b/c/Normal/3")).GetColour(), 3);
    // A number that does not convert gives colour 0.
    EXPECT_EQ(dynamic_cast<Monster&>(*make("a/b/c/Normal/blue")).GetColour(), 0);
}

struct KindRow {
    std::unique_ptr<Shape> shape;
    ShapeKind kind;
    bool monster;
    const char* colour;
    float inset;
    bool dynamic;
};

TEST_F(KindsTest, KindsTable)
{
    physics::World* w = level.World();
    const vadu::Atom n;
    KindRow rows[] = {
        {std::make_unique<Monster>(w, n, 0), ShapeKind::Monster, true, "Red", 10.0f, true},
        {std::make_unique<Monster>(w, n, 4), ShapeKind::Monster, true, "Orange", 10.0f, true},
        {std::make_unique<Monster>(w, n, 7), ShapeKind::Monster, true, "", 10.0f, true},
        {std::make_unique<StarredMonster>(w, n, 1), ShapeKind::Starred, true, "Yellow", 18.0f, true},
        {std::make_unique<FrozenMonster>(w, n, 2, 1), ShapeKind::Monster, true, "Blue", 10.0f, false},
        {std::make_unique<SoapBubble>(w, n, 3, 1.0f), ShapeKind::Monster, true, "Purple", 10.0f, true},
        {std::make_unique<Bottle>(w, n), ShapeKind::Bottle, true, "Yellow", 10.0f, true},
        {std::make_unique<Indestructible>(w, n), ShapeKind::Indestructible, false, "Gray", 3.0f, true},
        {std::make_unique<Rock>(w, n), ShapeKind::Rock, false, "Gray", -5.0f, true},
        {std::make_unique<Stone>(w, n, 10), ShapeKind::Stone, false, "Green", 13.0f, false},
        {std::make_unique<Stone>(w, n, 11), ShapeKind::Stone, false, "Gray", 13.0f, false},
    };
    for (const KindRow& row : rows) {
        const Shape& s = *row.shape;
        SCOPED_TRACE(typeid(s).name());
        EXPECT_EQ(s.GetKind(), row.kind);
        EXPECT_TRUE(s.IsKind(row.kind));
        EXPECT_EQ(s.IsKind(ShapeKind::Monster), row.monster);
        EXPECT_EQ(s.GetColorName(), row.colour);
        EXPECT_EQ(s.GetLinkInset(), row.inset);
        EXPECT_EQ(s.GetBody()->GetType() == b2_dynamicBody, row.dynamic);
    }
}

TEST_F(KindsTest, GroupOfMinChainHighlightsOneFewerDoesNot)
{
    level.settings.minChain = 3;
    Monster* a = Make<Monster>(100.0f, 300.0f, 0);
    Monster* b = Make<Monster>(170.0f, 300.0f, 0);
    Monster* c = Make<Monster>(240.0f, 300.0f, 0);
    Monster* other = Make<Monster>(310.0f, 300.0f, 2);
    level.links.CreateLink(a, b);
    a->UpdateGroup();
    EXPECT_EQ(a->GetGroupSize(), 2);
    EXPECT_FALSE(a->IsHighlighted());
    EXPECT_EQ(b->GetHighlightSpeed(), 0.0f);

    level.links.CreateLink(b, c);
    level.links.CreateLink(c, other);
    b->UpdateGroup();
    for (Monster* m : {a, b, c}) {
        EXPECT_EQ(m->GetGroupSize(), 3);
        EXPECT_EQ(m->GetHighlightSpeed(), 1000.0f);
    }
    EXPECT_EQ(other->GetGroupSize(), 0);
    EXPECT_FALSE(other->IsHighlighted());
}

TEST_F(KindsTest, FrozenWithTwoLayersSurvivesOneRemoval)
{
    FrozenMonster* frozen = Make<FrozenMonster>(100.0f, 300.0f, 0, 2);
    EXPECT_FALSE(frozen->CanBeCollected());
    frozen->Die();
    EXPECT_FALSE(frozen->IsDead());
    EXPECT_EQ(frozen->GetCubes(), 1);
    EXPECT_TRUE(frozen->CanBeCollected());
    frozen->Die();
    EXPECT_TRUE(frozen->IsDead());
}

TEST_F(KindsTest, MeltingFreesAFrozenMonsterAtOnce)
{
    FrozenMonster* frozen = Make<FrozenMonster>(100.0f, 300.0f, 0, 2);
    frozen->RequestMelt();
    frozen->Die();
    EXPECT_TRUE(frozen->IsDead());
}

TEST_F(KindsTest, FrozenAndStonesRefuseTheirOwnKind)
{
    FrozenMonster* f1 = Make<FrozenMonster>(100.0f, 300.0f, 0, 1);
    FrozenMonster* f2 = Make<FrozenMonster>(170.0f, 300.0f, 0, 1);
    Monster* m = Make<Monster>(240.0f, 300.0f, 0);
    Rock* rock = Make<Rock>(310.0f, 300.0f);
    Stone* s1 = Make<Stone>(380.0f, 300.0f, 1);
    Stone* s2 = Make<Stone>(450.0f, 300.0f, 2);
    EXPECT_FALSE(f1->CanLinkTo(*f2));
    EXPECT_TRUE(f1->CanLinkTo(*m));
    EXPECT_TRUE(f1->CanLinkTo(*rock));
    EXPECT_FALSE(s1->CanLinkTo(*s2));
    EXPECT_TRUE(s1->CanLinkTo(*m));
    level.links.CreateLink(f1, m);
    EXPECT_FALSE(f1->CanLinkTo(*m));
}

TEST_F(KindsTest, DoubleBubbleRises)
{
    SoapBubble* bubble = Make<SoapBubble>(100.0f, 300.0f, 0, 2.0f);
    EXPECT_EQ(bubble->GetBody()->GetGravityScale(), -2.0f);
    EXPECT_EQ(bubble->GetBubbles(), 2);
    EXPECT_TRUE(bubble->IsBubble());
    const float start = bubble->GetPosition().y;
    for (int i = 0; i < 30; ++i)
        level.World()->Step(1.0 / 60.0);
    EXPECT_GT(bubble->GetPosition().y, start);
}

TEST_F(KindsTest, ObstaclesNeverLeave)
{
    for (Shape* s : {static_cast<Shape*>(Make<Stone>(-500.0f, -500.0f, 1)),
                     static_cast<Shape*>(Make<Indestructible>(-500.0f, -500.0f))}) {
        s->Update(3.0f);
        s->Update(5.0f);
        s->Die();
        EXPECT_FALSE(s->IsDead());
    }
}

TEST_F(KindsTest, StarredCollectBranches)
{
    struct Case {
        const char* name;
        int goal;
        int collectedBefore;
        bool counting;
        bool reduced;
        bool collected;
    };
    const Case cases[] = {
        {"NoGoalCounting", 0, 3, true, true, true},
        {"BelowGoal", 5, 4, true, true, true},
        {"GoalReached", 5, 5, true, false, false},
        {"NotCounting", 0, 0, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        level.settings.starCountGoal = c.goal;
        hud.stars = c.collectedBefore;
        hud.countsStars = c.counting;
        shell.events.clear();
        StarredMonster* star = Make<StarredMonster>(100.0f, 300.0f, 2);
        const int before = level.chain.Current().count;
        star->Collect(level.chain);
        EXPECT_EQ(level.chain.Current().count, before + 1);
        EXPECT_EQ(level.chain.Current().items.back().colour, 2);
        EXPECT_EQ(hud.stars, c.collectedBefore + (c.reduced ? 1 : 0));
        EXPECT_EQ(star->IsCollected(), c.collected);
        EXPECT_TRUE(star->IsDead());
        // A collected star shows no dying; one past the goal merges or dies as usual.
        EXPECT_EQ(star->GetDyingRuns(), c.collected ? 0 : 1);
        const bool lost = std::find(shell.events.begin(), shell.events.end(), "StarLost") != shell.events.end();
        EXPECT_EQ(lost, !c.collected);
    }
}

TEST_F(KindsTest, LostStarOnANightLevelEndsTheGame)
{
    level.settings.backgroundType = 1;
    StarredMonster* star = Make<StarredMonster>(100.0f, 300.0f, 2);
    star->Die();
    EXPECT_EQ(level.gameOvers, 1);
    ASSERT_EQ(shell.sounds.size(), 1u);
    EXPECT_EQ(shell.sounds[0], SoundId::MonsterDied);
}

TEST_F(KindsTest, RemovalEventsAndBottleCollect)
{
    Monster* high = Make<Monster>(100.0f, 700.0f, 0);
    high->Die();
    Rock* rock = Make<Rock>(100.0f, 300.0f);
    rock->Die();
    EXPECT_EQ(shell.events, (std::vector<std::string>{"ShapeLeft", "RockLeft"}));

    Bottle* bottle = Make<Bottle>(100.0f, 300.0f);
    EXPECT_EQ(bottle->GetManaBonus(), 15.0f);
    bottle->Collect(level.chain);
    EXPECT_EQ(hud.flownBottles, 1);
    EXPECT_EQ(level.chain.Current().bottles, 1);
    EXPECT_TRUE(level.chain.Current().items.empty());
}

TEST_F(KindsTest, MergeOrDyingRunsOnce)
{
    Monster* m = Make<Monster>(100.0f, 300.0f, 0);
    m->PlayDying();
    m->PlayDying();
    m->Collect(level.chain);
    EXPECT_EQ(m->GetDyingRuns(), 1);
}

// Shapes made, linked, a group collected and the turn ended, all against the fakes.
TEST_F(KindsTest, ATurnAgainstTheFakes)
{
    Monster* a = Make<Monster>(100.0f, 300.0f, 1);
    Monster* b = Make<Monster>(170.0f, 300.0f, 1);
    StarredMonster* star = Make<StarredMonster>(240.0f, 300.0f, 1);
    ASSERT_TRUE(a->CanLinkTo(*b));
    level.links.CreateLink(a, b);
    a->UpdateGroup();
    level.links.CreateLink(b, star);
    b->UpdateGroup();
    EXPECT_EQ(Monster::FindFirstStarred(*a), star);

    std::vector<Shape*> group = ShapeList::Collect(*a);
    ASSERT_EQ(group.size(), 3u);
    level.CollectChain(group, a);
    for (Shape* s : group)
        dynamic_cast<Monster&>(*s).Collect(level.chain);
    level.chain.Current().x = 100.0f;
    level.chain.Current().y = 300.0f;
    level.chain.Append();
    EXPECT_EQ(level.chains.size(), 1u);
    EXPECT_EQ(level.steps, 1);
    EXPECT_EQ(level.chain.History().front().items.size(), 3u);
    EXPECT_TRUE(level.links.GetAdjacency().empty());
    for (Shape* s : group)
        EXPECT_TRUE(s->IsDead());
}

} // namespace
