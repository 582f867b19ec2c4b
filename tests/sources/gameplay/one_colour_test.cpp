// A tap collects a linked group of one colour: the group itself, the tap on it, the starred
// monsters it makes, the lightning that strikes groups, the idle check and the level's last
// collecting steps all follow the same rule.

#include "level_test_support.h"

#include <algorithm>
#include <functional>
#include <set>

#include "sources/gameplay/balance.h"
#include "sources/gameplay/idle_timer.h"
#include "sources/gameplay/level_end_sequence.h"
#include "sources/gameplay/lightning.h"

namespace gameplay_test {
namespace {

using gameplay::Shape;
using gameplay::ShapeKind;
using gameplay::SoundId;

constexpr int Red = 0;
constexpr int Yellow = 1;
constexpr int Blue = 2;

class OneColourTest : public LevelTest {
protected:
    template <typename T, typename... Args>
    T* Add(float x, float y, Args... args)
    {
        auto* shape = new T(level->World(), vadu::Atom(), args...);
        shape->SetPosition({x, y});
        level->shapes.push_back(shape);
        return shape;
    }
    // A field for the tables: shapes along a row 70 pixels apart, each linked to the one
    // before it unless the letter after it says otherwise. Letters: r, y, b plain monsters of
    // those colours, R a red starred monster, F a red frozen monster (two cubes), S a stone,
    // K a rock, Y a bottle (yellow). A '|' starts a new row, unlinked to the one before.
    // Further links (by index in the field) follow the rows' own, so a group may branch.
    std::vector<Shape*> Field(const std::string& layout, const std::vector<std::pair<int, int>>& links = {})
    {
        std::vector<Shape*> shapes;
        Shape* previous = nullptr;
        float x = 100.0f;
        float y = 100.0f;
        for (char letter : layout) {
            if (letter == '|') {
                previous = nullptr;
                x = 100.0f;
                y += 150.0f;
                continue;
            }
            Shape* shape = nullptr;
            switch (letter) {
            case 'r': shape = Add<gameplay::Monster>(x, y, Red); break;
            case 'y': shape = Add<gameplay::Monster>(x, y, Yellow); break;
            case 'b': shape = Add<gameplay::Monster>(x, y, Blue); break;
            case 'R': shape = Add<gameplay::StarredMonster>(x, y, Red); break;
            case 'F': shape = Add<gameplay::FrozenMonster>(x, y, Red, 2); break;
            case 'S': shape = Add<gameplay::Stone>(x, y, 3); break;
            case 'K': shape = Add<gameplay::Rock>(x, y); break;
            case 'Y': shape = Add<gameplay::Bottle>(x, y); break;
            default: ADD_FAILURE() << "no shape for '" << letter << "'"; continue;
            }
            if (previous != nullptr)
                level->Links().CreateLink(previous, shape);
            previous = shape;
            shapes.push_back(shape);
            x += 70.0f;
        }
        for (const auto& [a, b] : links)
            level->Links().CreateLink(shapes[a], shapes[b]);
        for (Shape* shape : shapes)
            shape->UpdateGroup();
        return shapes;
    }
    void Fresh()
    {
        level.reset();
        level = std::make_unique<gameplay::Level>();
        level->makeHud = false;
        level->settings.maxShapeCount = 0;
        level->SetInputEnabled(true);
        level->ManaValue().Set(50.0f);
        shell.sounds.clear();
        shell.events.clear();
        hud.stars = 0;
    }
    // The indices of the given shapes in the field.
    static std::vector<int> Indices(const std::vector<Shape*>& field, const std::vector<Shape*>& shapes)
    {
        std::vector<int> found;
        for (Shape* shape : shapes)
            found.push_back(static_cast<int>(std::find(field.begin(), field.end(), shape) - field.begin()));
        return found;
    }
};

TEST_F(OneColourTest, AGroupIsTheShapeThenItsColourReachedThroughMonsters)
{
    struct Case {
        const char* what;
        const char* layout;
        int tapped;
        std::vector<int> group;  // in fill order, the tapped shape first
        std::vector<std::pair<int, int>> links = {};
    } cases[] = {
        {"a red and a blue linked pair", "rb", 0, {0}},
        {"a run of red is reached link by link", "rrr", 2, {2, 1, 0}},
        {"red beyond a blue is not reached", "rrbr", 0, {0, 1}},
        {"a stone does not carry the colour on", "rSr", 0, {0}},
        {"a monster linked to a stone", "rS", 0, {0}},
        {"a stone is a group of one", "rSr", 1, {1}},
        {"a rock is a group of one", "rK", 1, {1}},
        {"starred and frozen monsters of the colour belong", "rRF", 0, {0, 1, 2}},
        {"a starred monster gathers its colour", "rRr", 1, {1, 0, 2}},
        {"a bottle is yellow", "yYb", 1, {1, 0}},
        // Depth first: each link is followed to its end before the next link of the shape
        // that reached it.
        {"a run tapped inside goes to one end before the other", "rrrr", 2, {2, 1, 0, 3}},
        {"a branch is followed to its end before the next", "rrrr|rr", 1, {1, 0, 2, 3, 4, 5}, {{1, 4}}},
        {"a loop is met once", "rrrr", 0, {0, 1, 2, 3}, {{3, 0}}},
        {"a branch through another colour is not", "rrrr|br", 1, {1, 0, 2, 3}, {{1, 4}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        const std::vector<Shape*> field = Field(c.layout, c.links);
        EXPECT_EQ(Indices(field, gameplay::ShapeList::Collect(*field[c.tapped])), c.group);
        // The highlight counts the same group.
        EXPECT_EQ(field[c.tapped]->GetGroupSize(), field[c.tapped]->IsKind(ShapeKind::Monster) ? static_cast<int>(c.group.size()) : 0);
    }
}

TEST_F(OneColourTest, ATapCollectsOnlyItsColourAndRefusesTheRestForFree)
{
    struct Case {
        const char* what;
        const char* layout;
        int tapped;
        std::vector<int> collected;  // empty: the tap is refused
        int score;
    } cases[] = {
        {"a red and a blue linked pair is refused", "rb", 0, {}, 0},
        {"a monster linked to a stone is refused", "rS", 0, {}, 0},
        {"two reds bridged by a stone are refused", "rSr", 0, {}, 0},
        {"a red pair keeps its blue and its stone", "brrS", 1, {1, 2}, 50},
        {"four reds and a stone are four", "rrrrS", 0, {0, 1, 2, 3}, 100},
    };
    const float price = static_cast<float>(gameplay::Balance::Instance().ManaPerMonsterTap);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        const std::vector<Shape*> field = Field(c.layout);
        level->Tap(field[c.tapped]->GetPosition());
        const bool refused = c.collected.empty();
        for (size_t i = 0; i < field.size(); ++i) {
            const bool taken = std::find(c.collected.begin(), c.collected.end(), static_cast<int>(i)) != c.collected.end();
            EXPECT_EQ(field[i]->IsDead(), taken) << "shape " << i;
        }
        EXPECT_EQ(level->Score(), c.score);
        EXPECT_EQ(level->Chain().StepNumber(), refused ? 0 : 1);
        EXPECT_FLOAT_EQ(level->Mana(), refused ? 50.0f : 50.0f - price);
        if (refused) {
            ASSERT_EQ(shell.sounds.size(), 1u);
            EXPECT_EQ(shell.sounds[0], SoundId::RemoveFailed);
        } else {
            EXPECT_EQ(std::count(shell.sounds.begin(), shell.sounds.end(), SoundId::RemoveFailed), 0);
            EXPECT_EQ(level->Chain().History().front().items.size(), c.collected.size());
        }
    }
}

TEST_F(OneColourTest, StonesNeverCountTowardAStarredMonster)
{
    struct Case {
        const char* what;
        const char* layout;
        bool made;
    } cases[] = {
        {"five reds make one", "rrrrr", true},
        {"four reds and a stone do not", "rrrrS", false},
        {"four reds around a stone do not", "rrSrr", false},
        {"four reds and a blue do not", "rrrrb", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        level->settings.starChain = 5;
        const std::vector<Shape*> field = Field(c.layout);
        const size_t before = level->shapes.size();
        level->Tap(field[0]->GetPosition());
        EXPECT_EQ(level->shapes.size(), before + (c.made ? 1u : 0u));
        EXPECT_EQ(level->Chain().History().front().created, c.made ? 1 : 0);
        for (Shape* shape : field) {
            if (!shape->IsKind(ShapeKind::Monster)) {
                EXPECT_FALSE(shape->IsDead());
            }
        }
    }
}

TEST_F(OneColourTest, TheStarredMonsterOfAGroupIsOfItsColour)
{
    struct Case {
        const char* what;
        const char* layout;
        int starred;  // index, -1 for none
        int from = 0;
    } cases[] = {
        {"a red starred monster beside red", "rR", 1},
        {"a red starred monster beyond a blue", "bR", -1},
        {"a red starred monster beyond a stone", "rSR", -1},
        {"further along the colour", "rrR", 2},
        {"the first the group reaches, depth first", "RrrR", 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        const std::vector<Shape*> field = Field(c.layout);
        EXPECT_EQ(gameplay::Monster::FindFirstStarred(*field[c.from]), c.starred < 0 ? nullptr : field[c.starred]);
    }
}

// A tap collects its group in the group's order: the turn lists the monsters so, and when the
// monsters bar has one slot left the starred monster the group reaches first takes it; the
// other is lost.
TEST_F(OneColourTest, ATapCollectsItsGroupInItsDepthFirstOrder)
{
    const std::vector<Shape*> field = Field("RrrR");
    level->settings.starCountGoal = 1;
    level->Tap(field[2]->GetPosition());
    ASSERT_EQ(level->Chain().StepNumber(), 1);
    std::vector<float> collected;
    for (const gameplay::ShapeChain::Item& item : level->Chain().History().front().items)
        collected.push_back(item.x);
    const auto x = [&](int i) { return field[i]->GetPosition().x; };
    EXPECT_EQ(collected, (std::vector<float>{x(2), x(1), x(0), x(3)}));
    EXPECT_EQ(hud.stars, 1);
    EXPECT_TRUE(static_cast<gameplay::StarredMonster*>(field[0])->IsCollected());
    EXPECT_FALSE(static_cast<gameplay::StarredMonster*>(field[3])->IsCollected());
    EXPECT_EQ(std::count(shell.events.begin(), shell.events.end(), "StarLost"), 1);
}

// Whenever the idle check calls a field stuck, no tap on it collects; whenever it lets the
// level go on, some tap does.
TEST_F(OneColourTest, TheIdleCheckAndTheTapAgree)
{
    struct Case {
        const char* what;
        const char* layout;
        bool stuck;
    } cases[] = {
        {"a red and a blue linked pair", "rb", true},
        {"monsters linked only through stones", "rSb|ySr", true},
        {"alternating colours", "rbrbr", true},
        {"a red pair", "brrb", false},
        {"a pair behind a stone", "Sbb", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        const std::vector<Shape*> field = Field(c.layout);
        float timer = gameplay::IdleStuckTime;
        gameplay::UpdateIdleHint(timer, *level, 0.01f);
        EXPECT_EQ(level->IsEnded(), c.stuck);

        // Every shape tapped in turn, on the field as it was: the same answer.
        bool collects = false;
        for (size_t i = 0; i < field.size(); ++i) {
            Fresh();
            const std::vector<Shape*> again = Field(c.layout);
            level->Tap(again[i]->GetPosition());
            collects = collects || level->Chain().StepNumber() != 0;
        }
        EXPECT_EQ(collects, !c.stuck);
    }
}

TEST_F(OneColourTest, LightningStrikesGroupsOfOneColour)
{
    // A yellow bomb beside a red pair that touches a blue and a stone.
    const std::vector<Shape*> field = Field("rr");
    auto* bomb = Add<gameplay::Bomb>(100.0f, 250.0f, Yellow);
    Shape* blue = Add<gameplay::Monster>(240.0f, 100.0f, Blue);
    Shape* stone = Add<gameplay::Stone>(170.0f, 170.0f, 3);
    level->Links().CreateLink(bomb, field[0]);
    level->Links().CreateLink(field[1], blue);
    level->Links().CreateLink(field[1], stone);

    std::set<Shape*> strike;
    bomb->CollectBlast(level->Chain(), strike);
    EXPECT_EQ(strike, (std::set<Shape*>{field[0], field[1]}));
}

TEST_F(OneColourTest, TheLevelsLastCollectsTakeOneColourAtATime)
{
    // The highest monster is the red on top; its blue and its stone stay.
    Shape* top = Add<gameplay::Monster>(300.0f, 400.0f, Red);
    Shape* red = Add<gameplay::Monster>(370.0f, 380.0f, Red);
    Shape* blue = Add<gameplay::Monster>(230.0f, 380.0f, Blue);
    Shape* stone = Add<gameplay::Stone>(300.0f, 330.0f, 3);
    level->Links().CreateLink(top, red);
    level->Links().CreateLink(top, blue);
    level->Links().CreateLink(top, stone);

    gameplay::CollectStep step(*level);
    step.Start();
    EXPECT_TRUE(top->IsDead());
    EXPECT_TRUE(red->IsDead());
    EXPECT_FALSE(blue->IsDead());
    EXPECT_FALSE(stone->IsDead());
    EXPECT_EQ(shell.events.back(), "ChainCollected 2");
}

} // namespace
} // namespace gameplay_test
