// Achievements: loading the file, which kinds take part in a level, the broadcasts, every
// kind's rule at its boundary, the profile block and the keyboard codes.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "shell_data_support.h"
#include "sources/achievement_kinds.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/cheat_codes.h"
#include "sources/gameplay/kinds.h"
#include "support/fake_gameplay.h"
#include "vadu/exception.h"
#include "vadu/animate/soul.h"
#include "vadu/input.h"
#include "vadu/lib3d/node/node.h"

namespace {

using namespace shell_data_test;
using gameplay::ShapeChain;

// The running level with a level-list record, telling the collection of its steps the way
// the real level does: while the finished turn is still the current one.
class TestLevel : public gameplay_fakes::FakeLevel {
public:
    gameplay::LevelProfile* Record() override { return &record; }
    void NextStep(ShapeChain& chain) override
    {
        FakeLevel::NextStep(chain);
        if (collection != nullptr)
            collection->OnLevelStep(*this, chain);
    }

    gameplay::LevelProfile record;
    AchievementCollection* collection = nullptr;
};

std::string Element(const std::string& name, const std::string& inner = "")
{
    return "<Achievement Name=\"" + name + "\" Index=\"3\"><Title Value=\"T " + name +
           "\"/><Description>D</Description>" + inner + "<Texture Src=\"" + name + ".png\" Frame=\"\"/></Achievement>";
}

class AchievementsTest : public ShellDataTest {
protected:
    void SetUp() override
    {
        ShellDataTest::SetUp();
        WriteFile("");
    }
    void TearDown() override
    {
        collection_.reset();
        ShellDataTest::TearDown();
    }

    // The achievements file with these elements (besides nothing else).
    void WriteFile(const std::string& elements)
    {
        WriteGameFile("data/achievements/achievements.xml", "<Root>" + elements + "</Root>");
    }

    AchievementCollection& Build()
    {
        collection_ = std::make_unique<AchievementCollection>();
        return *collection_;
    }

    AchievementBase& Named(const std::string& name)
    {
        for (int i = 0; i < collection_->Count(); ++i) {
            if (collection_->GetByIndex(i)->name == vadu::String(name.c_str()))
                return *collection_->GetByIndex(i);
        }
        ADD_FAILURE() << "no achievement " << name;
        return *collection_->GetByIndex(0);
    }

    std::unique_ptr<AchievementCollection> collection_;
};

const char* const KindNames[] = {
    "MonsterFinger", "NarrowEscape", "FeedTheFish", "Rainbow", "MassDiving", "Overboard", "ShortNight",
    "QuickDiver", "HomelessMonsters", "GlobalWarming", "LetemFly", "Moneybags", "ChainMaster",
    "ChainLightnings", "5050", "BlackJack", "EpicFail", "Aesthete", "Kaleidoscope", "MonsterMafia",
    "ColorManiac", "Zebra", "Caviar", "WhoWantstoBeaBillionaire", "IceBaby", "Titanic", "RustyAnchor",
    "ScrapMetal", "Charmed", "HungryFish", "Nerd", "ComeThroughUnscathed"};

TEST_F(AchievementsTest, ThirtyTwoKindsInOrderWithTheirIdsNamesAndTags)
{
    AchievementCollection& collection = Build();
    ASSERT_EQ(collection.Count(), 32);
    for (int i = 0; i < 32; ++i) {
        ASSERT_NE(collection.GetByIndex(i), nullptr);
        // Kinds without an element keep their own name, so profile entries still match.
        EXPECT_EQ(collection.GetByIndex(i)->name, vadu::String(KindNames[i])) << i;
        EXPECT_EQ(collection.FindByType(i), collection.GetByIndex(i));
        const uint32_t tag = i == 9 ? 100 : i == 10 ? 200 : 0;
        EXPECT_EQ(collection.GetByIndex(i)->GetDataTag(), tag) << KindNames[i];
    }
    EXPECT_EQ(AchievementCollection::TypeId<AchievementMonsterFinger>(), 0);
    EXPECT_EQ(AchievementCollection::TypeId<AchievementComeThroughUnscathed>(), 31);
    EXPECT_EQ(collection.GetByIndex(32), nullptr);
    EXPECT_EQ(collection.GetByIndex(-1), nullptr);
    EXPECT_NE(dynamic_cast<AchievementMonsterFinger*>(collection.GetByIndex(0)), nullptr);
    // An id without an achievement answers null and adds nothing.
    EXPECT_EQ(collection.FindByType(77), nullptr);
    EXPECT_EQ(collection.Count(), 32);
    EXPECT_NE(LogText().find("no \"Achievement\" element named MonsterFinger"), std::string::npos);
}

TEST_F(AchievementsTest, LoadsTheFirstElementOfANameWithItsTextsAndFilters)
{
    WriteFile(Element("Titanic", "<LevelType Value=\"Night\"/><LevelMode Value=\"Zen\"/>"
                                 "<ExcludeLevel FileName=\"level03\"/><ExcludeLevel FileName=\"zen02\"/>") +
              Element("Titanic", "<LevelType Value=\"Day\"/>"));
    AchievementCollection& collection = Build();
    const AchievementBase& titanic = Named("Titanic");
    EXPECT_EQ(titanic.index, 3);
    EXPECT_EQ(titanic.title, vadu::WString(u"T Titanic"));
    EXPECT_EQ(titanic.description, vadu::WString(u"D"));
    EXPECT_EQ(titanic.textureSrc, vadu::String("Titanic.png"));
    EXPECT_TRUE(titanic.textureFrame.empty());
    EXPECT_EQ(titanic.levelType, LevelTypeNight);
    EXPECT_EQ(titanic.levelMode, gameplay::Zen);
    ASSERT_EQ(titanic.excludedLevels.size(), 2u);
    EXPECT_EQ(titanic.excludedLevels[1], vadu::String("zen02"));
    EXPECT_EQ(Named("Nerd").levelType, -1);
    EXPECT_EQ(collection.Count(), 32);
}

TEST_F(AchievementsTest, BadValuesInTheFileStopTheBuildWithTheirMessage)
{
    struct Case {
        const char* what;
        std::string element;
        const char* message;
    };
    const Case cases[] = {
        {"level type compared exactly", Element("Nerd", "<LevelType Value=\"night\"/>"),
         "Unknown level type \"night\" in achievement Nerd"},
        {"level mode", Element("Zebra", "<LevelMode Value=\"Endless\"/>"),
         "Unknown level mode \"Endless\" in achievement Zebra"},
        {"empty excluded level", Element("Caviar", "<ExcludeLevel FileName=\"\"/>"),
         "Unknown level name \"\" in achievement Caviar"},
        {"description without text",
         "<Achievement Name=\"Titanic\"><Title Value=\"x\"/><Description></Description></Achievement>",
         "No data in"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(c.element);
        try {
            Build();
            ADD_FAILURE() << "no error";
        } catch (const vadu::Gluck& error) {
            const std::string text = error.get_description().c_str();
            EXPECT_NE(text.find(c.message), std::string::npos) << text;
        }
    }
}

TEST_F(AchievementsTest, TakingPartFollowsTheLevelSwitchTypeModeAndExclusions)
{
    WriteFile(Element("ShortNight", "<LevelType Value=\"Night\"/>") +
              Element("ComeThroughUnscathed", "<LevelMode Value=\"Zen\"/>") +
              Element("Charmed", "<ExcludeLevel FileName=\"level02\"/>"));
    struct Case {
        const char* what;
        bool disabled;
        int background;
        int mode;
        const char* file;
        bool shortNight, unscathed, charmed, titanic;
    };
    const Case cases[] = {
        {"day standard level", false, 0, gameplay::Standard, "level01", false, false, true, true},
        {"night level", false, 1, gameplay::Standard, "level01", true, false, true, true},
        {"zen level with water", false, 0, gameplay::Zen, "zen01", false, true, true, true},
        {"excluded file", false, 0, gameplay::Standard, "level02", false, false, false, true},
        {"achievements switched off", true, 1, gameplay::Zen, "zen01", false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gameplay_fakes::FakeShell shell;
        TestLevel level;
        level.settings.disableAchievements = c.disabled;
        level.settings.backgroundType = c.background;
        level.settings.SetWaterLevel(100.0f);
        level.record.mode = c.mode;
        level.record.fileName = c.file;
        AchievementCollection& collection = Build();
        collection.OnLevelStart(level);
        EXPECT_EQ(Named("ShortNight").active, c.shortNight);
        EXPECT_EQ(Named("ComeThroughUnscathed").active, c.unscathed);
        EXPECT_EQ(Named("Charmed").active, c.charmed);
        EXPECT_EQ(Named("Titanic").active, c.titanic);
        // Twenty idle seconds reach only a kind that takes part.
        collection.OnShapesUpdated(level, 20.0f);
        EXPECT_EQ(Named("Charmed").achieved, c.charmed);
    }
}

TEST_F(AchievementsTest, BroadcastsSkipAchievedAndInactiveKinds)
{
    gameplay_fakes::FakeShell shell;
    TestLevel level;
    AchievementCollection& collection = Build();
    auto* charmed = collection.Find<AchievementCharmed>();
    collection.OnLevelStart(level);
    charmed->active = false;
    collection.OnShapesUpdated(level, 25.0f);
    EXPECT_FALSE(charmed->achieved);
    EXPECT_FLOAT_EQ(charmed->idleTime, 0.0f);

    charmed->active = true;
    charmed->achieved = true;
    collection.OnShapesUpdated(level, 25.0f);
    EXPECT_FLOAT_EQ(charmed->idleTime, 0.0f);
    EXPECT_TRUE(shell.sounds.empty());
    // An achieved kind sits out the next level.
    collection.OnLevelStart(level);
    EXPECT_FALSE(charmed->active);
}

// One turn ends: the current record gets these values, then the chain appends it.
void Turn(TestLevel& level, int count, std::vector<ShapeChain::Item> items = {}, int bombs = 0)
{
    ShapeChain::Record& current = level.chain.Current();
    current.count = count;
    current.items = std::move(items);
    current.bombs = bombs;
    level.chain.Append();
}

ShapeChain::Item Starred(int colour)
{
    ShapeChain::Item item;
    item.kind = gameplay::ShapeKind::Starred;
    item.colour = colour;
    return item;
}

ShapeChain::Item Frozen()
{
    ShapeChain::Item item;
    item.kind = gameplay::ShapeKind::Monster;
    item.frozen = true;
    return item;
}

std::vector<ShapeChain::Item> Repeat(const ShapeChain::Item& item, int n)
{
    return std::vector<ShapeChain::Item>(static_cast<size_t>(n), item);
}

struct World {
    gameplay_fakes::FakeShell& shell;
    gameplay_fakes::FakeHud& hud;
    TestLevel& level;
    AchievementCollection& collection;

    void Start() { collection.OnLevelStart(level); }
    void Goal(std::vector<int> bar)
    {
        level.settings.starCountGoal = static_cast<int>(bar.size());
        hud.starColours = bar;
        hud.stars = static_cast<int>(bar.size());
    }
    template <typename T>
    T* Add(float y, int colour = 0)
    {
        std::unique_ptr<T> shape;
        if constexpr (std::is_same_v<T, gameplay::Rock>)
            shape = std::make_unique<T>(level.World(), vadu::Atom("s"));
        else
            shape = std::make_unique<T>(level.World(), vadu::Atom("s"), colour);
        shape->SetPosition({100.0f, y});
        return level.Add(std::move(shape));
    }
};

struct KindCase {
    const char* what;
    const char* kind;
    std::function<void(World&)> play;
    bool unlocks;
};

void Idle(World& w, std::initializer_list<float> frames)
{
    for (float dt : frames)
        w.collection.OnShapesUpdated(w.level, dt);
}

void Sink(World& w, int n, float y)
{
    for (int i = 0; i < n; ++i)
        w.collection.StarLost(w.level, *w.Add<gameplay::StarredMonster>(y));
}

const KindCase KindCases[] = {
    {"combo 2 then 3", "MonsterFinger", [](World& w) { w.Start(); Turn(w.level, 2); Turn(w.level, 3); }, true},
    {"a turn of none breaks the combo", "MonsterFinger",
     [](World& w) { w.Start(); Turn(w.level, 4); Turn(w.level, 0); Turn(w.level, 3); }, false},
    {"mana at exactly 15", "NarrowEscape",
     [](World& w) { w.Goal({1}); w.level.mana = 15.0f; w.Start(); Turn(w.level, 1); }, true},
    {"mana 15 without a mana bar", "NarrowEscape",
     [](World& w) { w.Goal({1}); w.level.settings.levelEnergy = 0; w.level.mana = 15.0f; w.Start(); Turn(w.level, 1); },
     false},
    {"ten starred monsters eaten", "FeedTheFish",
     [](World& w) { w.Start(); for (int i = 0; i < 10; ++i) w.collection.FishReached(*w.Add<gameplay::StarredMonster>(50)); },
     true},
    {"nine eaten", "FeedTheFish",
     [](World& w) { w.Start(); for (int i = 0; i < 9; ++i) w.collection.FishReached(*w.Add<gameplay::StarredMonster>(50)); },
     false},
    {"five colours in a combo of five", "Rainbow",
     [](World& w) { w.Start(); Turn(w.level, 2, {Starred(0), Starred(1)}); Turn(w.level, 1, {Starred(2)});
                    Turn(w.level, 2, {Starred(3), Starred(4)}); }, true},
    {"four colours", "Rainbow",
     [](World& w) { w.Start(); Turn(w.level, 2, {Starred(0), Starred(1)}); Turn(w.level, 3, {Starred(2), Starred(3), Starred(3)}); },
     false},
    {"tenth star drowned", "MassDiving", [](World& w) { w.level.settings.SetWaterLevel(100); w.Start(); Sink(w, 10, 100); }, true},
    {"no water: sits out", "MassDiving", [](World& w) { w.level.settings.SetWaterLevel(0); w.Start(); Sink(w, 10, -5); }, false},
    {"a lonely star drowned", "Overboard", [](World& w) { w.level.settings.SetWaterLevel(100); w.Start(); Sink(w, 1, 99); }, true},
    {"a star above the water", "Overboard", [](World& w) { w.level.settings.SetWaterLevel(100); w.Start(); Sink(w, 1, 101); }, false},
    {"night goal in 59.9 s", "ShortNight",
     [](World& w) { w.level.settings.backgroundType = 1; w.Goal({1}); w.level.levelTime = 59.9f; w.Start(); w.collection.OnLevelEnd(w.level); },
     true},
    {"night goal at 60.0 s", "ShortNight",
     [](World& w) { w.level.settings.backgroundType = 1; w.Goal({1}); w.level.levelTime = 60.0f; w.Start(); w.collection.OnLevelEnd(w.level); },
     false},
    {"underwater goal in 30 s", "QuickDiver",
     [](World& w) { w.level.settings.backgroundType = 2; w.Goal({1}); w.level.levelTime = 30.0f; w.Start(); w.collection.OnLevelEnd(w.level); },
     true},
    {"ten stars left on the field", "HomelessMonsters",
     [](World& w) { for (int i = 0; i < 10; ++i) w.Add<gameplay::StarredMonster>(300); w.Start(); w.collection.OnLevelEnd(w.level); },
     true},
    {"60 frozen in a won level, then 40", "GlobalWarming",
     [](World& w) { w.Goal({1}); w.Start(); Turn(w.level, 0, Repeat(Frozen(), 60)); w.collection.OnLevelEnd(w.level);
                    w.Start(); Turn(w.level, 0, Repeat(Frozen(), 40)); }, true},
    {"60 frozen in a lost level are dropped", "GlobalWarming",
     [](World& w) { w.Start(); Turn(w.level, 0, Repeat(Frozen(), 60)); w.collection.OnLevelEnd(w.level);
                    w.Start(); Turn(w.level, 0, Repeat(Frozen(), 40)); }, false},
    {"150 shapes over the top", "LetemFly",
     [](World& w) { w.Start(); for (int i = 0; i < 150; ++i) w.collection.ShapeLeft(w.level, *w.Add<gameplay::Monster>(700)); },
     true},
    {"shapes leaving below the top", "LetemFly",
     [](World& w) { w.Start(); for (int i = 0; i < 150; ++i) w.collection.ShapeLeft(w.level, *w.Add<gameplay::Monster>(640)); },
     false},
    {"score 50000", "Moneybags", [](World& w) { w.level.score = 50000; w.Start(); Turn(w.level, 0); }, true},
    {"fifteen of one colour", "ChainMaster", [](World& w) { w.Start(); Turn(w.level, 0, Repeat(Starred(2), 15)); }, true},
    {"fourteen of one colour", "ChainMaster",
     [](World& w) { w.Start(); auto items = Repeat(Starred(2), 14); items.push_back(Starred(-1)); Turn(w.level, 0, items); },
     false},
    {"three lightnings", "ChainLightnings", [](World& w) { w.Start(); Turn(w.level, 0, {}, 3); }, true},
    {"two lightnings", "ChainLightnings", [](World& w) { w.Start(); Turn(w.level, 0, {}, 2); }, false},
    {"3,3,4,4,4", "5050", [](World& w) { w.Goal({3, 3, 4, 4, 4}); w.Start(); w.collection.OnLevelEnd(w.level); }, true},
    {"3,4,3", "5050", [](World& w) { w.Goal({3, 4, 3}); w.Start(); w.collection.OnLevelEnd(w.level); }, false},
    {"level 21 at 21000", "BlackJack",
     [](World& w) { w.level.record.number = 21; w.level.score = 21000; w.Start(); Turn(w.level, 0); }, true},
    {"level 20 at 21000", "BlackJack",
     [](World& w) { w.level.record.number = 20; w.level.score = 21000; w.Start(); Turn(w.level, 0); }, false},
    {"no stars at 15000", "EpicFail", [](World& w) { w.level.score = 15000; w.Start(); w.collection.OnLevelEnd(w.level); }, true},
    {"one star at 15000", "EpicFail",
     [](World& w) { w.level.score = 15000; w.hud.stars = 1; w.Start(); w.collection.OnLevelEnd(w.level); }, false},
    {"three equal in a row", "Aesthete", [](World& w) { w.Goal({1, 2, 2, 2}); w.Start(); Turn(w.level, 0); }, true},
    {"five colours", "Kaleidoscope", [](World& w) { w.Goal({0, 1, 2, 3, 4, 4}); w.Start(); Turn(w.level, 0); }, true},
    {"four colours", "Kaleidoscope", [](World& w) { w.Goal({0, 1, 2, 3}); w.Start(); Turn(w.level, 0); }, false},
    {"three starred in one chain", "MonsterMafia",
     [](World& w) { w.Start(); std::vector<gameplay::Shape*> chain{w.Add<gameplay::StarredMonster>(1), w.Add<gameplay::Monster>(1),
                    w.Add<gameplay::StarredMonster>(1), w.Add<gameplay::StarredMonster>(1)};
                    w.collection.ChainCollected(chain); }, true},
    {"one colour five times", "ColorManiac", [](World& w) { w.Goal({1, 1, 2, 1, 1, 1}); w.Start(); Turn(w.level, 0); }, true},
    {"1,2,1,2,1", "Zebra", [](World& w) { w.Goal({1, 2, 1, 2, 1}); w.Start(); w.collection.OnLevelEnd(w.level); }, true},
    {"1,2,2", "Zebra", [](World& w) { w.Goal({1, 2, 2}); w.Start(); w.collection.OnLevelEnd(w.level); }, false},
    {"six in an underwater chain", "Caviar", [](World& w) { w.Start(); w.collection.UnderwaterChainCollected(6); }, true},
    {"five in an underwater chain", "Caviar", [](World& w) { w.Start(); w.collection.UnderwaterChainCollected(5); }, false},
    {"a million over the zen bests", "WhoWantstoBeaBillionaire",
     [](World& w) { gameplay::LevelProfile zen; zen.mode = gameplay::Zen; zen.bestScore = 990000;
                    static std::vector<gameplay::LevelProfile> records; records = {zen};
                    w.collection.levelRecords = &records; w.level.score = 10000; w.Start(); Turn(w.level, 0); }, true},
    {"20000 with no frozen collected", "IceBaby", [](World& w) { w.Start(); Turn(w.level, 1); w.level.score = 20000; Turn(w.level, 1); }, true},
    {"20000 after a frozen one", "IceBaby",
     [](World& w) { w.Start(); Turn(w.level, 0, {Frozen()}); w.level.score = 20000; Turn(w.level, 1); }, false},
    {"a frozen monster in the turn", "Titanic", [](World& w) { w.Start(); Turn(w.level, 0, {Frozen()}); }, true},
    {"a rock sunk", "RustyAnchor",
     [](World& w) { w.level.settings.SetWaterLevel(100); w.Start(); w.collection.RockLeft(w.level, *w.Add<gameplay::Rock>(100)); }, true},
    {"three rocks in one turn", "ScrapMetal",
     [](World& w) { w.level.settings.SetWaterLevel(100); w.Start();
                    for (int i = 0; i < 3; ++i) w.collection.RockLeft(w.level, *w.Add<gameplay::Rock>(10)); }, true},
    {"three rocks over two turns", "ScrapMetal",
     [](World& w) { w.level.settings.SetWaterLevel(100); w.Start();
                    for (int i = 0; i < 2; ++i) w.collection.RockLeft(w.level, *w.Add<gameplay::Rock>(10));
                    Turn(w.level, 0); w.collection.RockLeft(w.level, *w.Add<gameplay::Rock>(10)); }, false},
    {"exactly 20 idle seconds", "Charmed", [](World& w) { w.Start(); Idle(w, {10.0f, 10.0f}); }, true},
    {"a turn restarts the wait", "Charmed", [](World& w) { w.Start(); Idle(w, {15.0f}); Turn(w.level, 0); Idle(w, {15.0f}); }, false},
    {"collected while near a fish", "HungryFish",
     [](World& w) { w.Start(); auto* m = w.Add<gameplay::StarredMonster>(1); w.collection.OnLevelFrame();
                    w.collection.FishNear(*m); w.collection.StarCollected(w.level, *m); }, true},
    {"the near list is emptied every frame", "HungryFish",
     [](World& w) { w.Start(); auto* m = w.Add<gameplay::StarredMonster>(1); w.collection.FishNear(*m);
                    w.collection.OnLevelFrame(); w.collection.StarCollected(w.level, *m); }, false},
    {"the same level won twice", "Nerd",
     [](World& w) { w.level.record.number = 4; w.Start(); w.collection.OnLevelEnd(w.level); w.Start(); w.collection.OnLevelEnd(w.level); },
     true},
    {"a lost level in between does not count", "Nerd",
     [](World& w) { w.level.record.number = 4; w.Start(); w.collection.OnLevelEnd(w.level);
                    w.level.record.number = 5; w.Start(); w.collection.OnLevelEnd(w.level);
                    w.level.record.number = 4; w.level.lost = true; w.Start(); w.collection.OnLevelEnd(w.level); }, false},
    {"20000 in a zen level with water", "ComeThroughUnscathed",
     [](World& w) { w.level.record.mode = gameplay::Zen; w.level.settings.SetWaterLevel(100); w.level.score = 20000; w.Start(); Turn(w.level, 0); },
     true},
    {"a star drowned first", "ComeThroughUnscathed",
     [](World& w) { w.level.record.mode = gameplay::Zen; w.level.settings.SetWaterLevel(100); w.Start(); Sink(w, 1, 50);
                    w.level.score = 20000; Turn(w.level, 0); }, false},
};

TEST_F(AchievementsTest, EveryKindUnlocksAtItsBoundary)
{
    for (const KindCase& c : KindCases) {
        SCOPED_TRACE(std::string(c.kind) + ": " + c.what);
        gameplay_fakes::FakeShell shell;
        gameplay_fakes::FakeHud hud;
        TestLevel level;
        level.record.number = 1;
        AchievementCollection& collection = Build();
        level.collection = &collection;
        World world{shell, hud, level, collection};
        c.play(world);
        EXPECT_EQ(Named(c.kind).achieved, c.unlocks);
        if (c.unlocks) {
            EXPECT_NE(std::find(shell.sounds.begin(), shell.sounds.end(), gameplay::SoundId::AchievementUnlock),
                      shell.sounds.end());
        }
    }
}

TEST_F(AchievementsTest, TheProfileBlockRoundTripsByNameAndStopsWhereItMust)
{
    {
        AchievementCollection& written = Build();
        Named("Titanic").achieved = true;
        Named("Nerd").achieved = true;
        ProfileMemoryStream stream;
        written.Write(stream);
        AchievementCollection read;
        EXPECT_TRUE(read.Read(stream));
        for (int i = 0; i < 32; ++i) {
            const bool expected = i == 25 || i == 30;
            EXPECT_EQ(read.GetByIndex(i)->achieved, expected) << KindNames[i];
        }
        EXPECT_EQ(stream.left(), 0u);
    }
    struct Case {
        const char* what;
        std::function<Bytes()> block;
        std::vector<std::string> achieved;
        bool intact;
    };
    const auto entry = [](Bytes& b, const std::string& name, uint8_t achieved, uint32_t tag) {
        PutString(b, name);
        b.push_back(achieved);
        PutU32(b, tag);
    };
    const Case cases[] = {
        {"count 0", [] { Bytes b; PutU32(b, 0); return b; }, {}, true},
        {"matched by name in any order",
         [&] { Bytes b; PutU32(b, 2); entry(b, "Zebra", 1, 0); entry(b, "MonsterFinger", 1, 0); return b; },
         {"Zebra", "MonsterFinger"}, true},
        {"a wrong tag keeps the byte, then stops",
         [&] { Bytes b; PutU32(b, 2); entry(b, "GlobalWarming", 1, 0); entry(b, "Zebra", 1, 0); return b; },
         {"GlobalWarming"}, true},
        {"an unknown name stops",
         [&] { Bytes b; PutU32(b, 3); entry(b, "LetemFly", 1, 200); entry(b, "Old", 1, 0); entry(b, "Zebra", 1, 0); return b; },
         {"LetemFly"}, true},
        {"a name length past the end is damage",
         [&] { Bytes b; PutU32(b, 2); entry(b, "Nerd", 1, 0); PutU32(b, 1000); b.push_back('Z'); return b; },
         {"Nerd"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AchievementCollection& collection = Build();
        ProfileMemoryStream stream(c.block());
        vadu::String why;
        EXPECT_EQ(collection.Read(stream, &why), c.intact);
        EXPECT_EQ(why.empty(), c.intact);
        for (int i = 0; i < 32; ++i) {
            const bool expected = std::find(c.achieved.begin(), c.achieved.end(), KindNames[i]) != c.achieved.end();
            EXPECT_EQ(collection.GetByIndex(i)->achieved, expected) << KindNames[i];
        }
    }
}

TEST_F(AchievementsTest, PopupsStackByTheScaleFadeForThreeAndAHalfSecondsAndThenStartOver)
{
    using vadu::lib3d::node::Node;
    const struct {
        float scale;
        float second, third;
    } cases[] = {{1.0f, -100.0f, -200.0f}, {0.75f, -75.0f, -150.0f}, {1.337f, -133.0f, -266.0f}};
    vadu::animate::Soul::Creator souls;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        gameplay_fakes::FakeShell shell;
        shell.scale = c.scale;
        ActionManager::ResetGlobal();
        Node root(vadu::Atom("Level"), nullptr);
        AchievementStackView view;
        Node* items[4];
        for (Node*& item : items)
            item = new Node(vadu::Atom("Popup"), &root);
        for (int i = 0; i < 3; ++i)
            view.Show(items[i]);
        EXPECT_EQ(items[0]->get_position().y, 0.0f);
        EXPECT_EQ(items[1]->get_position().y, c.second);
        EXPECT_EQ(items[2]->get_position().y, c.third);
        EXPECT_EQ(items[1]->get_position().x, 0.0f);

        // 0.1 s in, 3.0 s held, 0.5 s out, played in frames of 1/20 s.
        const auto play = [](float seconds) {
            for (int frame = 0; frame < static_cast<int>(seconds * 20.0f + 0.5f); ++frame)
                ActionManager::Global().Update(0.05f);
        };
        play(3.5f);
        EXPECT_EQ(view.shownCount, 3);
        play(0.4f);
        EXPECT_EQ(view.shownCount, 0);
        // With all finished, the next one sits where the first did.
        view.Show(items[3]);
        EXPECT_EQ(items[3]->get_position().y, 0.0f);
        ActionManager::ResetGlobal();
    }
}

TEST_F(AchievementsTest, ALevelGoingAwayStopsItsPopupsBeforeTheirViewIsDeleted)
{
    using vadu::lib3d::node::Node;
    vadu::animate::Soul::Creator souls;
    gameplay_fakes::FakeShell shell;
    ActionManager::ResetGlobal();
    AchievementCollection& collection = Build();
    auto root = std::make_unique<Node>(vadu::Atom("Level"), nullptr);
    collection.SetLevel(root.get());
    ASSERT_NE(collection.GetStackView(), nullptr);
    EXPECT_EQ(collection.GetByIndex(7)->popupParent, root.get());
    collection.GetStackView()->Show(new Node(vadu::Atom("Popup"), root.get()));
    ActionManager::Global().Update(0.0f);

    collection.SetLevel(nullptr);
    EXPECT_EQ(collection.GetStackView(), nullptr);
    EXPECT_EQ(collection.GetByIndex(7)->popupParent, nullptr);
    // Finishing the sequence now would call back into the deleted view.
    ActionManager::Global().Update(10.0f);
    root.reset();
    ActionManager::ResetGlobal();

    // Between levels an unlock plays its sound and shows nothing.
    collection.GetByIndex(3)->Unlock();
    EXPECT_TRUE(collection.GetByIndex(3)->achieved);
    EXPECT_EQ(shell.sounds.size(), 1u);
}

TEST_F(AchievementsTest, TypedCodesUnlockEveryTimeAndDieWithTheirCollection)
{
    vadu::input::Manager::Creator input;
    gameplay::CheatCodes::ResetForTests();
    gameplay_fakes::FakeShell shell;
    const auto type = [](const std::u16string& text) {
        for (char16_t c : text) {
            vadu::input::Event event(vadu::String("Keyboard"), vadu::WString(&c, &c + 1), 0.0);
            gameplay::CheatCodes::Instance().OnInput(event);
        }
    };
    AchievementCollection& collection = Build();
    type(u"PlekoTitanic");
    EXPECT_TRUE(collection.Find<AchievementTitanic>()->achieved);
    type(u"plekotitanic");
    EXPECT_EQ(std::count(shell.sounds.begin(), shell.sounds.end(), gameplay::SoundId::AchievementUnlock), 2);

    collection_.reset();
    type(u"plekotitanic");
    EXPECT_EQ(shell.sounds.size(), 2u);

    // Every profile loaded builds a collection: the codes of those gone leave the list,
    // however many came and went, and the game's own two codes stay.
    Build();
    const size_t withOne = gameplay::CheatCodes::Instance().Matchers().size();
    for (int i = 0; i < 20; ++i) {
        collection_.reset();
        Build();
    }
    EXPECT_EQ(gameplay::CheatCodes::Instance().Matchers().size(), withOne);
    collection_.reset();
    type(u"x");
    EXPECT_EQ(gameplay::CheatCodes::Instance().Matchers().size(), 2u);
    gameplay::CheatCodes::ResetForTests();
}

} // namespace
