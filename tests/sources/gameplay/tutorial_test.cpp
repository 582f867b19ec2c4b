// Tutorial scripts and their conditions, from small script files over a fake level, a
// fake shell and a framework screen whose pointer input is driven in scene coordinates.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "game/controls/button.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/tutorial.h"
#include "sources/gameplay/tutorial_condition.h"
#include "sources/gameplay/tutorial_nodes.h"
#include "tutorial_test_support.h"
#include "vadu/exception.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/xml_document.h"

namespace gameplay_test {
namespace {

using gameplay::ShapeChain;
using gameplay::Tutorial;
using gameplay::TutorialCondition;
using gameplay::TutorialHint;

// --- Conditions --------------------------------------------------------------------------

std::unique_ptr<TutorialCondition> condition_from(const std::string& element)
{
    const vadu::xml::parser::Document document(element.data(), element.size());
    return Tutorial::ReadCondition(document.get_root());
}

// What a condition may read: the current turn, the finished turns and the level.
struct Turn {
    int count = 0;
    int created = 0;
    int bombs = 0;
    std::vector<int> colours{};
    int finishedTurns = 0;
    float mana = 50.0f;
    int levelEnergy = 100;
    bool ended = false;
};

class TutorialConditionTest : public ::testing::Test {
protected:
    bool check(TutorialCondition& condition, const Turn& turn)
    {
        gameplay_fakes::FakeLevel level;
        for (int i = 0; i < turn.finishedTurns; ++i)
            level.chain.Append();
        ShapeChain::Record& record = level.chain.Current();
        record.count = turn.count;
        record.created = turn.created;
        record.bombs = turn.bombs;
        for (int colour : turn.colours)
            record.items.push_back(ShapeChain::Item{gameplay::ShapeKind::Monster, colour});
        level.mana = turn.mana;
        level.settings.levelEnergy = turn.levelEnergy;
        level.ended = turn.ended;
        return condition.Check(level.chain);
    }

    test_support::LogCapture log_;
};

TEST_F(TutorialConditionTest, EachKindHoldsOnlyOnTheTurnsItNames)
{
    struct Case {
        const char* element;
        Turn turn;
        bool holds;
    };
    const Case cases[] = {
        {R"(<A Value="StartLevel"/>)", {}, true},
        {R"(<A Value="StartLevel"/>)", {.finishedTurns = 1}, false},
        {R"(<A Value="FinishLevel"/>)", {}, false},
        {R"(<A Value="FinishLevel"/>)", {.ended = true}, true},
        {R"(<A Value="PreviousHintHide"/>)", {}, true},
        {R"(<A Value="Any"/>)", {.finishedTurns = 3}, true},
        {R"(<A Value="CollectMonster"/>)", {.count = 1, .colours = {4}}, true},
        {R"(<A Value="CollectMonster"/>)", {.count = 0, .colours = {4}}, false},
        {R"(<A Value="CollectMonster" Color="2"/>)", {.count = 1, .colours = {2, 1}}, true},
        {R"(<A Value="CollectMonster" Color="2"/>)", {.count = 1, .colours = {1, 2}}, false},
        {R"(<A Value="CollectMonster" Color="2"/>)", {.count = 0, .colours = {2}}, false},
        {R"(<A Value="CollectMonster" Color="red"/>)", {.count = 1, .colours = {3}}, true},
        {R"(<A Value="CreateMonster"/>)", {.created = 1}, true},
        {R"(<A Value="CreateMonster"/>)", {.count = 2}, false},
        {R"(<A Value="ShapesCollectedForMonster"/>)", {.colours = {0, 1, 2, 3, 4}}, true},
        {R"(<A Value="ShapesCollectedForMonster"/>)", {.colours = {0, 1, 2, 3}}, false},
        {R"(<A Value="ShapesCollectedForMonster"/>)", {.bombs = 1, .colours = {0, 1, 2, 3, 4}}, false},
        {R"(<A Value="ManaDanger"/>)", {.mana = 15.0f}, true},
        {R"(<A Value="ManaDanger"/>)", {.mana = 15.5f}, false},
        {R"(<A Value="ManaDanger"/>)", {.mana = 0.0f, .levelEnergy = 0}, false},
        {R"(<A Value="OnClickBottle"/>)", {.count = 1, .created = 1, .ended = true}, false},
        {R"(<A Value="ManaNotDanger"/>)", {.mana = 90.0f}, false},
        {R"(<A Value="startLevel"/>)", {}, false},
        {R"(<A/>)", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.element);
        std::unique_ptr<TutorialCondition> condition = condition_from(c.element);
        ASSERT_NE(condition, nullptr);
        EXPECT_EQ(check(*condition, c.turn), c.holds);
    }
}

TEST_F(TutorialConditionTest, NamesAreTheValueTextAndUnknownKindsAreNamedEvents)
{
    for (const char* value : {"OnClickBottle", "ManaNotDanger", "startLevel", "Any", "AfterStepsCount"}) {
        SCOPED_TRACE(value);
        std::unique_ptr<TutorialCondition> condition =
            condition_from(std::string("<A Value=\"") + value + "\" StepsCount=\"2\"/>");
        EXPECT_EQ(condition->name, vadu::Atom(value));
    }
    EXPECT_NE(dynamic_cast<gameplay::NamedEventCondition*>(condition_from(R"(<A Value="startLevel"/>)").get()),
              nullptr);
    EXPECT_NE(dynamic_cast<gameplay::NamedEventCondition*>(condition_from(R"(<A Value="OnClickBottle"/>)").get()),
              nullptr);
}

TEST_F(TutorialConditionTest, AfterStepsCountCountsItsOwnTestsAndNeverStartsOver)
{
    struct Case {
        const char* element;
        std::vector<bool> results;
        bool logs;
    };
    const Case cases[] = {
        {R"(<A Value="AfterStepsCount" StepsCount="3"/>)", {false, false, true, true, true}, false},
        {R"(<A Value="AfterStepsCount" StepsCount="0"/>)", {true, true}, false},
        {R"(<A Value="AfterStepsCount"/>)", {true}, true},
        {R"(<A Value="AfterStepsCount" StepsCount="three"/>)", {true}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.element);
        const size_t logged = log_.text().size();
        std::unique_ptr<TutorialCondition> condition = condition_from(c.element);
        EXPECT_EQ(log_.text().size() > logged, c.logs);
        std::vector<bool> results;
        for (size_t i = 0; i < c.results.size(); ++i)
            results.push_back(check(*condition, {}));
        EXPECT_EQ(results, c.results);
    }
}

TEST_F(TutorialConditionTest, LevelConditionsDoNotHoldWithoutARunningLevel)
{
    ShapeChain chain(nullptr);
    EXPECT_FALSE(condition_from(R"(<A Value="ManaDanger"/>)")->Check(chain));
    EXPECT_FALSE(condition_from(R"(<A Value="FinishLevel"/>)")->Check(chain));
}

// --- Scripts -----------------------------------------------------------------------------

// A bubble of 200 x 100 whose lower-left corner is at the scene's origin.
const char* const FrameScene =
    R"(<Scene><Node Name="Inner"><TutorialNode Name="Frame" TextId="hint"><MinimumSize Value="200 100"/></TutorialNode></Node></Scene>)";

class TutorialScriptTest : public TutorialFixture {
protected:
    TutorialScriptTest()
    {
        write("data/tutorials/a.scene", FrameScene);
        write("data/tutorials/b.scene", FrameScene);
        write("data/tutorials/c.scene", FrameScene);
        write("data/tutorials/plain.scene", R"(<Scene><Sprite Name="Frame"/></Scene>)");
        screen.GetInputManager()->SetEnabled(true);
    }
    ~TutorialScriptTest() override { tutorial.reset(); }

    Tutorial& load(const std::string& hints)
    {
        write("data/tutorials/t.tutorial", "<Tutorial>" + hints + "</Tutorial>");
        tutorial = Tutorial::Load("t", root.get(), screen);
        EXPECT_NE(tutorial, nullptr);
        return *tutorial;
    }

    TutorialHint& hint(size_t index)
    {
        auto it = tutorial->hints.begin();
        std::advance(it, index);
        return **it;
    }
    bool visible(size_t index) { return hint(index).Scene()->is_visible(); }
    size_t position() { return static_cast<size_t>(std::distance(tutorial->hints.begin(), tutorial->current)); }

    // Frames of the level: the actions run and the clock advances while a hint is current.
    void run(float seconds, float step = 0.05f)
    {
        for (float t = 0.0f; t < seconds - 1e-4f; t += step) {
            manager().Update(step);
            if (tutorial && tutorial->CurrentHint())
                tutorial->clock += step;
        }
    }
    void event() { tutorial->OnEvent(level.chain); }

    // A left click at a scene point; true when the pointer input marked the event taken.
    bool click(float x, float y)
    {
        game::input::PointingDeviceInputManagerImpl* input = screen.GetInputManager();
        // Away first: a move too small to count would keep what was hovered before.
        vadu::input::Event away("Mouse", "Axis_X", true, 0.0);
        input->HandleEvent(away, -9999.0, 9999.0);
        vadu::input::Event move("Mouse", "Axis_X", true, 0.0);
        input->HandleEvent(move, x, -y);
        vadu::input::Event press("Mouse", "Left Button", true, 0.0);
        input->HandleEvent(press, 0.0, 0.0);
        vadu::input::Event release("Mouse", "Left Button", false, 0.0);
        input->HandleEvent(release, 0.0, 0.0);
        return release.handled != 0;
    }

    gameplay_fakes::FakeShell shell;
    gameplay_fakes::FakeLevel level;
    game::Screen screen{nullptr};
    std::unique_ptr<Node> root = std::make_unique<Node>("Root", nullptr);
    std::unique_ptr<Tutorial> tutorial;
};

TEST_F(TutorialScriptTest, AScriptWithoutHintsFinishesOnItsFirstEvent)
{
    for (const char* body : {"", "<Note/><Other Scene=\"data/tutorials/a.scene\"/>"}) {
        SCOPED_TRACE(body);
        Tutorial& script = load(body);
        EXPECT_TRUE(script.hints.empty());
        EXPECT_FALSE(script.finished);
        event();
        EXPECT_TRUE(script.finished);
        EXPECT_EQ(script.CurrentHint(), nullptr);
    }
}

TEST_F(TutorialScriptTest, LoadingReadsTheHintsInOrderHiddenUnderTheParentWithTheirSettings)
{
    Tutorial& script = load(R"(<Hint Scene="DATA/Tutorials/A.scene" MinimumTime="2.5" FastAppear="True"
                                     DisableGameActions="1" DisableOnEndlessMana="TRUE">
                                 <ShowAction Value="StartLevel"/><ShowAction Value="Any"/>
                                 <HideAction Value="CreateMonster"/></Hint>
                               <Hint Scene="data/tutorials/b.scene" FastAppear="yes" MinimumTime=""/>)");
    ASSERT_EQ(script.hints.size(), 2u);
    EXPECT_EQ(script.CurrentHint(), &hint(0));
    EXPECT_EQ(hint(0).Scene()->get_parent(), root.get());
    EXPECT_FALSE(visible(0));
    EXPECT_FALSE(visible(1));
    EXPECT_FLOAT_EQ(hint(0).minimumTime, 2.5f);
    EXPECT_TRUE(hint(0).fastAppear);
    EXPECT_TRUE(hint(0).disableGameActions);
    EXPECT_TRUE(hint(0).disableOnEndlessMana);
    EXPECT_EQ(hint(0).showCondition->name, vadu::Atom("StartLevel"));
    EXPECT_EQ(hint(0).hideCondition->name, vadu::Atom("CreateMonster"));
    // A word the bool converter does not know keeps the default, and says so.
    EXPECT_FALSE(hint(1).fastAppear);
    EXPECT_NE(logged_.text().find("yes"), std::string::npos);
    EXPECT_FLOAT_EQ(hint(1).minimumTime, 0.0f);
    EXPECT_EQ(hint(1).showCondition, nullptr);
    EXPECT_EQ(hint(1).hideCondition, nullptr);
    EXPECT_TRUE(hint(1).notShownYet);
}

TEST_F(TutorialScriptTest, MissingBrokenAndUnparsableFiles)
{
    EXPECT_EQ(Tutorial::Load("nothing_here", root.get(), screen), nullptr);
    EXPECT_EQ(logged_.text(), "");

    write("data/tutorials/bad.tutorial", R"(<Tutorial><Hint Scene="data/tutorials/missing.scene"/></Tutorial>)");
    try {
        Tutorial::Load("bad", root.get(), screen);
        FAIL() << "a hint scene that does not load must raise";
    } catch (const vadu::GluckBadResource& error) {
        EXPECT_EQ(to_std(error.get_description()), "error parsing resource");
    }
    // The half-built script went with its button.
    EXPECT_TRUE(screen.GetControlList().empty());

    write("data/tutorials/torn.tutorial", "<Tutorial><Hint");
    EXPECT_EQ(Tutorial::Load("torn", root.get(), screen), nullptr);
    EXPECT_NE(logged_.text().find("torn.tutorial"), std::string::npos);
}

TEST_F(TutorialScriptTest, PreviousHintHideShowsTheNextHintAsThePreviousPasses)
{
    Tutorial& script = load(R"(<Hint Scene="data/tutorials/a.scene"><ShowAction Value="StartLevel"/><HideAction Value="Any"/></Hint>
                               <Hint Scene="data/tutorials/b.scene"><ShowAction Value="PreviousHintHide"/><HideAction Value="CreateMonster"/></Hint>)");
    event();
    EXPECT_TRUE(script.hintShowing);
    EXPECT_FALSE(hint(0).notShownYet);
    run(0.6f);
    EXPECT_TRUE(visible(0));

    level.chain.Append();
    event();
    EXPECT_EQ(position(), 1u);
    EXPECT_FALSE(hint(1).notShownYet);
    EXPECT_TRUE(script.hintShowing);
    EXPECT_FLOAT_EQ(hint(1).shownAt, script.clock);
    // The previous one fades out first, then the next one fades in.
    run(0.3f);
    EXPECT_TRUE(visible(0));
    EXPECT_FALSE(visible(1));
    run(1.0f);
    EXPECT_FALSE(visible(0));
    EXPECT_TRUE(visible(1));

    level.chain.Current().created = 1;
    event();
    EXPECT_EQ(script.CurrentHint(), nullptr);
    EXPECT_FALSE(script.hintShowing);
    run(0.6f);
    EXPECT_FALSE(visible(1));
    event();
    EXPECT_TRUE(script.finished);
}

TEST_F(TutorialScriptTest, FastAppearShowsTheNextHintAtOnceWhileThePreviousFades)
{
    load(R"(<Hint Scene="data/tutorials/a.scene"><ShowAction Value="Any"/><HideAction Value="CreateMonster"/></Hint>
            <Hint Scene="data/tutorials/b.scene" FastAppear="true"><ShowAction Value="PreviousHintHide"/></Hint>)");
    event();
    run(0.6f);
    level.chain.Current().created = 1;
    event();
    EXPECT_TRUE(visible(1));
    EXPECT_TRUE(visible(0));
    run(0.6f);
    EXPECT_FALSE(visible(0));
    EXPECT_TRUE(visible(1));
}

TEST_F(TutorialScriptTest, AClickOnTheBubbleHidesTheHintAndTheNextEventStillPassesIt)
{
    Tutorial& script = load(R"(<Hint Scene="data/tutorials/a.scene"><ShowAction Value="Any"/><HideAction Value="CreateMonster"/></Hint>
                               <Hint Scene="data/tutorials/b.scene"><ShowAction Value="CollectMonster"/></Hint>)");
    game::controls::Button* button = script.GetButton();
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->IsEnabled());
    EXPECT_FALSE(click(100.0f, 50.0f));

    event();
    run(0.6f);
    EXPECT_TRUE(button->IsEnabled());
    EXPECT_TRUE(click(100.0f, 50.0f));
    EXPECT_FALSE(script.hintShowing);
    EXPECT_FALSE(button->IsEnabled());
    run(0.6f);
    EXPECT_FALSE(visible(0));
    EXPECT_EQ(position(), 0u);

    // Its show condition still holds, but it was shown once.
    event();
    run(0.6f);
    EXPECT_FALSE(visible(0));
    EXPECT_EQ(position(), 0u);

    level.chain.Current().created = 1;
    event();
    EXPECT_EQ(position(), 1u);
    run(0.6f);
    EXPECT_FALSE(visible(0));
    EXPECT_FALSE(visible(1));
}

TEST_F(TutorialScriptTest, TheClickCatcherLiesOverTheBubbleWhereverTheSceneIs)
{
    write("data/tutorials/a.scene", R"(<Scene><TutorialNode Name="Frame" Position="300 200 0"><MinimumSize Value="200 100"/>
                                         <Alignment Value="0.5 0.5"/></TutorialNode></Scene>)");
    root->set_position({-50.0f, 20.0f, 0.0f});
    Tutorial& script = load(R"(<Hint Scene="data/tutorials/a.scene"><ShowAction Value="Any"/></Hint>)");
    event();
    const auto& rectangle = script.GetButton()->GetButtonImpl()->GetRectangle();
    EXPECT_EQ(rectangle, (std::array<float, 4>{150.0f, 170.0f, 200.0f, 100.0f}));
    EXPECT_FALSE(click(149.0f, 220.0f));
    EXPECT_FALSE(click(250.0f, 271.0f));
    EXPECT_TRUE(script.hintShowing);
    EXPECT_TRUE(click(349.0f, 269.0f));
    EXPECT_FALSE(script.hintShowing);
}

TEST_F(TutorialScriptTest, AHintWithoutAFrameShowsAndTheButtonKeepsItsRectangle)
{
    Tutorial& script = load(R"(<Hint Scene="data/tutorials/plain.scene"><ShowAction Value="Any"/><HideAction Value="CreateMonster"/></Hint>
                               <Hint Scene="data/tutorials/a.scene"><ShowAction Value="Any"/><HideAction Value="CreateMonster"/></Hint>
                               <Hint Scene="data/tutorials/plain.scene"><ShowAction Value="Any"/></Hint>)");
    game::controls::ButtonImpl* button = script.GetButton()->GetButtonImpl();
    event();
    EXPECT_TRUE(script.hintShowing);
    EXPECT_EQ(button->GetRectangle(), (std::array<float, 4>{}));
    run(0.6f);
    EXPECT_TRUE(visible(0));

    level.chain.Current().created = 1;
    event();
    EXPECT_EQ(button->GetRectangle(), (std::array<float, 4>{0.0f, 0.0f, 200.0f, 100.0f}));
    event();
    EXPECT_EQ(position(), 2u);
    EXPECT_TRUE(script.hintShowing);
    EXPECT_EQ(button->GetRectangle(), (std::array<float, 4>{0.0f, 0.0f, 200.0f, 100.0f}));
}

TEST_F(TutorialScriptTest, MinimumTimeHoldsTurnEventsButNotNamedEvents)
{
    Tutorial& script = load(R"(<Hint Scene="data/tutorials/a.scene" MinimumTime="3"><ShowAction Value="Any"/><HideAction Value="Any"/></Hint>
                               <Hint Scene="data/tutorials/b.scene" MinimumTime="3"><ShowAction Value="Go"/><HideAction Value="Leave"/></Hint>)");
    event();
    script.clock = 2.9f;
    event();
    EXPECT_EQ(position(), 0u);
    script.clock = 3.0f;
    event();
    EXPECT_EQ(position(), 1u);

    script.OnNamedEvent(vadu::Atom("Leave"));
    EXPECT_TRUE(hint(1).notShownYet);
    script.OnNamedEvent(vadu::Atom("Go"));
    EXPECT_FALSE(hint(1).notShownYet);
    script.OnNamedEvent(vadu::Atom("Leave"));
    EXPECT_EQ(script.CurrentHint(), nullptr);
    script.OnNamedEvent(vadu::Atom("Go"));
    EXPECT_TRUE(script.finished);
}

TEST_F(TutorialScriptTest, DisableOnEndlessManaSkipsTheHintOnlyForEndlessMana)
{
    struct Case {
        int points;
        const char* attribute;
        bool shown;
    };
    const Case cases[] = {
        {100000, R"(DisableOnEndlessMana="true")", false},
        {99999, R"(DisableOnEndlessMana="true")", true},
        {100000, "", true},
        {100000, R"(DisableOnEndlessMana="false")", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.points) + " " + c.attribute);
        shell.SetPoints(c.points);
        Tutorial& script = load(std::string(R"(<Hint Scene="data/tutorials/a.scene" )") + c.attribute +
                                R"(><ShowAction Value="Any"/><HideAction Value="CreateMonster"/></Hint>
                                   <Hint Scene="data/tutorials/b.scene"><ShowAction Value="Any"/></Hint>)");
        event();
        run(0.6f);
        EXPECT_EQ(visible(0), c.shown);
        EXPECT_EQ(script.hintShowing, c.shown);
        EXPECT_EQ(script.GetButton()->IsEnabled(), c.shown);
        EXPECT_EQ(position(), c.shown ? 0u : 1u);
        if (!c.shown) {
            event();
            run(0.6f);
            EXPECT_TRUE(visible(1));
        }
    }
}

TEST_F(TutorialScriptTest, AHintWithoutAShowActionBlocksTheScriptUntilAbort)
{
    Tutorial& script = load(R"(<Hint Scene="data/tutorials/a.scene"><HideAction Value="Any"/></Hint>
                               <Hint Scene="data/tutorials/b.scene"><ShowAction Value="Any"/></Hint>)");
    for (int i = 0; i < 3; ++i) {
        event();
        script.OnNamedEvent(vadu::Atom("Any"));
    }
    run(0.6f);
    EXPECT_EQ(position(), 0u);
    EXPECT_FALSE(visible(0));
    EXPECT_FALSE(visible(1));
    EXPECT_FALSE(script.finished);
    script.Abort();
    EXPECT_TRUE(script.finished);
    EXPECT_EQ(script.CurrentHint(), nullptr);
}

TEST_F(TutorialScriptTest, AbortHidesAShownHint)
{
    Tutorial& script = load(R"(<Hint Scene="data/tutorials/a.scene" DisableGameActions="true"><ShowAction Value="Any"/></Hint>)");
    EXPECT_FALSE(script.DisablesGameActions());
    event();
    run(0.6f);
    EXPECT_TRUE(script.DisablesGameActions());
    script.Abort();
    EXPECT_FALSE(script.hintShowing);
    EXPECT_FALSE(script.DisablesGameActions());
    EXPECT_FALSE(script.GetButton()->IsEnabled());
    run(0.6f);
    EXPECT_FALSE(visible(0));
}

TEST_F(TutorialScriptTest, AHintHiddenBeforeItsFadeInStartedStaysHidden)
{
    Tutorial& script = load(R"(<Hint Scene="data/tutorials/a.scene"><ShowAction Value="Any"/></Hint>)");
    event();
    script.HideHint(hint(0));
    run(0.6f);
    EXPECT_FALSE(visible(0));
}

TEST_F(TutorialScriptTest, AClickAfterTheScriptWasReplacedReachesNothing)
{
    load(R"(<Hint Scene="data/tutorials/a.scene"><ShowAction Value="Any"/></Hint>)");
    event();
    run(0.6f);
    EXPECT_EQ(screen.GetControlList().size(), 1u);
    // The level replaces its script.
    load(R"(<Hint Scene="data/tutorials/b.scene"><ShowAction Value="CreateMonster"/></Hint>)");
    EXPECT_EQ(screen.GetControlList().size(), 1u);
    EXPECT_FALSE(click(100.0f, 50.0f));
    tutorial.reset();
    EXPECT_TRUE(screen.GetControlList().empty());
    EXPECT_FALSE(click(100.0f, 50.0f));
}

TEST_F(TutorialScriptTest, AScriptOutlivingItsParentDoesNotDeleteTheScenesTwice)
{
    load(R"(<Hint Scene="data/tutorials/a.scene"><ShowAction Value="Any"/></Hint>)");
    event();
    root.reset();
    EXPECT_EQ(hint(0).Scene(), nullptr);
    event();
    run(0.6f);
    tutorial->Abort();
}

} // namespace
} // namespace gameplay_test
