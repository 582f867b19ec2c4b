#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework_test_support.h"
#include "game/debug_view.h"
#include "game/input/pointing_device_input.h"
#include "game/flow.h"
#include "game/root.h"
#include "game/screen.h"
#include "game/screen_backend.h"
#include "game/screen_manager.h"
#include "vadu/exception.h"
#include "vadu/xml_reader.h"

namespace {

using namespace framework_test;

// Notes its life in a shared journal; screens are told apart by their scene root's name.
class SpyBackend : public game::ScreenBackend {
public:
    explicit SpyBackend(std::vector<std::string>& journal) : journal_(journal) { journal_.push_back("made"); }
    ~SpyBackend() override { journal_.push_back("gone " + Name()); }
    void Update(double) override {}
    void OnInitialized() override { journal_.push_back("initialized " + Name()); }
    void OnActivate() override { journal_.push_back("activate " + Name()); }
    void OnDeactivate() override { journal_.push_back("deactivate " + Name()); }

private:
    std::string Name()
    {
        game::ScreenSite* site = GetSite();
        return site && site->GetSceneRoot() ? to_std(site->GetSceneRoot()->get_name().get_name()) : "?";
    }
    std::vector<std::string>& journal_;
};

class ScreenManagerTest : public FrameworkTest {
protected:
    ScreenManagerTest()
    {
        for (const char* name : {"A", "B", "C", "D"}) {
            write(std::string("screens/") + name + ".xml",
                  std::string(R"(<Screen BackendClass="Spy"><Scene RootName=")") + name + R"("/></Screen>)");
        }
        write("screens/bare.xml", R"(<Screen><Scene RootName="Bare"/></Screen>)");
        write("flow.xml", R"(<Flow Start="A">
            <Entry Name="A"><Screen><Resource Path="screens/A.xml"/></Screen>
              <Exit Name="Next" Entry="B"/><Exit Name="Purge" Entry="D"/><Exit Name="Bare" Entry="Bare"/></Entry>
            <Entry Name="B"><Screen><Resource Path="screens/B.xml"/></Screen><Exit Name="Next" Entry="C"/></Entry>
            <Entry Name="C"><Screen><Resource Path="screens/C.xml"/></Screen><Exit Name="Next" Entry="D"/></Entry>
            <Entry Name="D"><Screen><Resource Path="screens/D.xml"/></Screen></Entry>
            <Entry Name="Bare"><Screen><Resource Path="screens/bare.xml"/></Screen></Entry>
          </Flow>)");
        Build();
    }

    // A fresh root over the flow, at A with an empty stack.
    void Build()
    {
        root.reset();
        root = std::make_unique<game::Root>(nullptr);
        root->Register<game::DebugService>(std::make_unique<game::DebugService>());
        root->GetBackendFactory().RegisterBackendCreator("Spy", [this] { return std::make_unique<SpyBackend>(journal); });
        auto flow = std::make_unique<game::flow::Manager>();
        auto stream = vadu::filesystem::open(path("flow.xml"));
        vadu::xml::StreamResource resource(stream.get());
        vadu::xml::Root element(*flow, "Flow");
        EXPECT_TRUE(resource.load(element));
        root->SetFlowManager(std::move(flow));
        manager = root->GetScreenManager();
    }

    std::string current() const
    {
        game::Screen* screen = manager->GetCurrentScreen();
        return screen ? to_std(screen->GetSceneRoot()->get_name().get_name()) : "none";
    }

    std::vector<std::string> journal;
    std::unique_ptr<game::Root> root;
    game::ScreenManager* manager = nullptr;
};

TEST_F(ScreenManagerTest, FirstScreenIsBuiltAtOnceAndInitializedAtTheFirstUpdate)
{
    EXPECT_EQ(current(), "A");
    EXPECT_EQ(journal, (std::vector<std::string>{"made"}));
    root->Update(0.0);
    root->Update(0.0);
    EXPECT_EQ(journal, (std::vector<std::string>{"made", "initialized A"}));
    ASSERT_NE(manager->GetDebugView(), nullptr);
    EXPECT_EQ(to_std(manager->GetDebugView()->GetCurrentEntryName()), "A");
    const std::vector<vadu::String> exits = manager->GetDebugView()->DescribeCurrentEntry();
    ASSERT_EQ(exits.size(), 3u);
    EXPECT_EQ(to_std(exits[0]), "Next");
    EXPECT_EQ(to_std(exits[2]), "Bare");

    std::vector<std::string> recorded;
    manager->GetDebugView()->GetEntrySignal().Connect([&](const vadu::String& name) { recorded.push_back(to_std(name)); });
    manager->GetDebugView()->TakeExit("Next");
    root->Update(0.0);
    EXPECT_EQ(recorded, (std::vector<std::string>{"B"}));
    EXPECT_EQ(current(), "B");
}

TEST_F(ScreenManagerTest, ChangeBeforeTheFirstAdvanceNeverReachesTheDestroyedBackend)
{
    manager->ChangeScreen("Next", false);
    root->Update(0.0);
    EXPECT_EQ(current(), "B");
    // A's pending initialisation went with A: only B's ran.
    EXPECT_EQ(journal, (std::vector<std::string>{"made", "made", "gone A", "initialized B"}));
}

TEST_F(ScreenManagerTest, PushThenPopGivesBackTheSameScreen)
{
    root->Update(0.0);
    game::Screen* first = manager->GetCurrentScreen();
    manager->PushScreen("Next");
    EXPECT_EQ(current(), "A"); // posted, not done
    root->Update(0.0);
    EXPECT_EQ(current(), "B");
    EXPECT_EQ(manager->GetStackSize(), 1u);
    EXPECT_FALSE(first->GetInputManager()->IsEnabled());
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "deactivate A"), 1);
    journal.clear();
    manager->ChangeScreen("#Pop", false);
    root->Update(0.0);
    EXPECT_EQ(manager->GetCurrentScreen(), first);
    EXPECT_TRUE(first->GetInputManager()->IsEnabled());
    EXPECT_EQ(to_std(manager->GetCurrentEntry()->GetName()), "A");
    EXPECT_EQ(journal, (std::vector<std::string>{"gone B", "activate A"}));
}

// The pointer device: its axes, -1 to 1, are read when a covered screen comes back.
class FakeMouse : public vadu::input::hard::Hardware {
public:
    vadu::String get_name() const override { return "Mouse"; }
    vadu::Atom get_name_atom() const override { return vadu::Atom("Mouse"); }
    double get_value(const vadu::String& control) const override
    {
        return control == "Axis_X" ? x : control == "Axis_Y" ? y : 0.0;
    }
    int32_t get_control_kind(const vadu::String&) const override { return axis; }
    double x = 0.0;
    double y = 0.0;
};

TEST_F(ScreenManagerTest, AScreenThatComesBackSeesThePointerWhereItIsNow)
{
    FakeMouse mouse;
    root->Update(0.0);
    game::Screen* first = manager->GetCurrentScreen();
    mouse.x = 0.5;
    mouse.y = 0.25;
    manager->PushScreen("Next");
    root->Update(0.0);
    // Moved while the screen was covered (no camera: the axes are the scene's, y up).
    mouse.x = -0.75;
    mouse.y = 0.5;
    manager->ChangeScreen("#Pop", false);
    root->Update(0.0);
    ASSERT_EQ(manager->GetCurrentScreen(), first);
    EXPECT_FLOAT_EQ(first->GetInputManager()->GetLastPosition(0).x, -0.75f);
    EXPECT_FLOAT_EQ(first->GetInputManager()->GetLastPosition(0).y, -0.5f);
}

// A screen changed to or pushed sees the pointer where it rests, before any move: a press
// that follows at once finds what lies under it.
TEST_F(ScreenManagerTest, ANewScreenSeesThePointerWhereItRests)
{
    for (const bool push : {false, true}) {
        SCOPED_TRACE(push ? "pushed" : "changed to");
        Build();
        FakeMouse mouse;
        root->Update(0.0);
        mouse.x = 0.5;
        mouse.y = -0.25;
        if (push)
            manager->PushScreen("Next");
        else
            manager->ChangeScreen("Next", false);
        root->Update(0.0);
        ASSERT_EQ(current(), "B");
        game::input::PointingDeviceInputManagerImpl* input = manager->GetCurrentScreen()->GetInputManager();
        EXPECT_FLOAT_EQ(input->GetLastPosition(0).x, 0.5f);
        EXPECT_FLOAT_EQ(input->GetLastPosition(0).y, 0.25f);
    }
}

TEST_F(ScreenManagerTest, PopOnAnEmptyStackIsRefused)
{
    root->Update(0.0);
    game::Screen* first = manager->GetCurrentScreen();
    manager->PushScreen("#Pop");
    root->Update(0.0);
    EXPECT_EQ(manager->GetCurrentScreen(), first);
    EXPECT_TRUE(fired("Cannot pop an empty screen stack"));
}

TEST_F(ScreenManagerTest, ResetDestroysTheStackedScreensTopFirst)
{
    root->Update(0.0);
    manager->PushScreen("Next");
    root->Update(0.0);
    manager->PushScreen("Next");
    root->Update(0.0);
    manager->PushScreen("Next");
    root->Update(0.0);
    EXPECT_EQ(current(), "D");
    EXPECT_EQ(manager->GetStackSize(), 3u);
    // D has no exits; the flow's current entry is D, so reset through a fresh exit name
    // from A's point of view is not possible: restart D instead, then reset to itself.
    journal.clear();
    manager->DoReset(manager->GetCurrentEntry()->GetScreenReference(), false);
    EXPECT_EQ(manager->GetStackSize(), 0u);
    EXPECT_EQ(journal, (std::vector<std::string>{"gone C", "gone B", "gone A", "made", "gone D"}));
}

TEST_F(ScreenManagerTest, PurgeDestroysTheOldScreenBeforeBuildingTheNewOne)
{
    root->Update(0.0);
    journal.clear();
    manager->ChangeScreen("Purge", true);
    root->Update(0.0);
    EXPECT_EQ(journal, (std::vector<std::string>{"gone A", "made", "initialized D"}));
    EXPECT_TRUE(root->Get<game::ApplicationService>()->IsPurged());
    // Screens built after a purge start with their input off.
    EXPECT_FALSE(manager->GetCurrentScreen()->GetInputManager()->IsEnabled());
}

TEST_F(ScreenManagerTest, WithoutPurgeBothScreensExistDuringTheBuild)
{
    root->Update(0.0);
    journal.clear();
    manager->ChangeScreen("Next", false);
    root->Update(0.0);
    EXPECT_EQ(journal, (std::vector<std::string>{"made", "gone A", "initialized B"}));
    EXPECT_TRUE(manager->GetCurrentScreen()->GetInputManager()->IsEnabled());
}

TEST_F(ScreenManagerTest, UnknownExitChangesNothing)
{
    root->Update(0.0);
    game::Screen* first = manager->GetCurrentScreen();
    manager->ChangeScreen("Nowhere", false);
    root->Update(0.0);
    EXPECT_EQ(manager->GetCurrentScreen(), first);
    EXPECT_EQ(to_std(manager->GetCurrentEntry()->GetName()), "A");
    EXPECT_TRUE(fired("Things went wrong at flow manager"));
}

// Requests made in one frame take effect in the order they were made, each on the stack
// that the ones before it leave; the screen shown and the flow's entry agree, and no
// covered screen is lost. Afterwards every covered screen comes back, top first.
TEST_F(ScreenManagerTest, RequestsOfOneFrameTakeEffectInTheOrderTheyWereMade)
{
    struct Case {
        const char* label;
        std::vector<std::string> before; // one frame each
        std::vector<std::string> requests; // all in one frame
        const char* shown;
        std::vector<std::string> popped; // the screens that come back, one pop each
        bool first_kept; // A is the very screen built at the start
    };
    const Case cases[] = {
        {"push, pop", {}, {"push Next", "pop"}, "A", {}, true},
        {"push, pop, pop", {}, {"push Next", "pop", "pop"}, "A", {}, true},
        {"push, push", {}, {"push Next", "push Next"}, "C", {"B", "A"}, true},
        {"push, push, pop", {}, {"push Next", "push Next", "pop"}, "B", {"A"}, true},
        {"pop, push", {"push Next"}, {"pop", "push Next"}, "B", {"A"}, true},
        {"change, change", {}, {"change Next", "change Next"}, "C", {}, false},
        {"push, change", {}, {"push Next", "change Next"}, "C", {"A"}, true},
        {"push, reset", {}, {"push Next", "reset Next"}, "C", {}, false},
        {"reset, push", {"push Next"}, {"reset Next", "push Next"}, "D", {"C"}, false},
        {"pop, pop", {"push Next", "push Next"}, {"pop", "pop"}, "A", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        root.reset();
        journal.clear();
        Build();
        diagnostics.clear();
        root->Update(0.0);
        game::Screen* first = manager->GetCurrentScreen();
        const auto ask = [this](const std::string& request) {
            const size_t blank = request.find(' ');
            const std::string kind = request.substr(0, blank);
            const std::string exit = blank == std::string::npos ? "" : request.substr(blank + 1);
            if (kind == "push")
                manager->PushScreen(exit.c_str());
            else if (kind == "pop")
                manager->ChangeScreen("#Pop", false);
            else if (kind == "change")
                manager->ChangeScreen(exit.c_str(), false);
            else
                manager->ResetToScreen(exit.c_str(), false);
        };
        for (const std::string& request : c.before) {
            ask(request);
            root->Update(0.0);
        }
        for (const std::string& request : c.requests)
            ask(request);
        root->Update(0.0);
        EXPECT_EQ(current(), c.shown);
        ASSERT_NE(manager->GetCurrentEntry(), nullptr);
        EXPECT_EQ(to_std(manager->GetCurrentEntry()->GetName()), c.shown);
        EXPECT_EQ(manager->GetStackSize(), c.popped.size());
        EXPECT_EQ(manager->GetCurrentScreen() == first, c.first_kept && std::string(c.shown) == "A");
        EXPECT_TRUE(manager->GetCurrentScreen()->GetInputManager()->IsEnabled());
        // Each built screen was initialised before anything replaced it.
        EXPECT_EQ(std::count(journal.begin(), journal.end(), "made"),
                  std::count_if(journal.begin(), journal.end(),
                                [](const std::string& line) { return line.rfind("initialized ", 0) == 0; }));
        std::vector<std::string> popped;
        for (size_t i = 0; i < c.popped.size(); ++i) {
            manager->ChangeScreen("#Pop", false);
            root->Update(0.0);
            popped.push_back(current());
            EXPECT_TRUE(manager->GetCurrentScreen()->GetInputManager()->IsEnabled());
            if (popped.back() == "A")
                EXPECT_EQ(manager->GetCurrentScreen() == first, c.first_kept);
        }
        EXPECT_EQ(popped, c.popped);
        // The stack is empty now: one more pop is refused and the screen stays.
        game::Screen* last = manager->GetCurrentScreen();
        manager->ChangeScreen("#Pop", false);
        root->Update(0.0);
        EXPECT_EQ(manager->GetCurrentScreen(), last);
        EXPECT_TRUE(fired("Cannot pop an empty screen stack"));
    }
}

TEST_F(ScreenManagerTest, ScreenWithoutBackendAndRestart)
{
    root->Update(0.0);
    manager->ChangeScreen("Bare", false);
    root->Update(0.0);
    EXPECT_EQ(current(), "Bare");
    EXPECT_EQ(manager->GetCurrentScreen()->GetBackend(), nullptr);
    game::Screen* before = manager->GetCurrentScreen();
    manager->RestartScreen();
    root->Update(0.0);
    EXPECT_NE(manager->GetCurrentScreen(), before);
    EXPECT_EQ(current(), "Bare");
}

TEST_F(ScreenManagerTest, WithoutADebugServiceTheFirstScreenStillStarts)
{
    diagnostics.clear();
    game::Root bare(nullptr);
    bare.GetBackendFactory().RegisterBackendCreator("Spy", [this] { return std::make_unique<SpyBackend>(journal); });
    auto flow = std::make_unique<game::flow::Manager>();
    auto stream = vadu::filesystem::open(path("flow.xml"));
    vadu::xml::StreamResource resource(stream.get());
    vadu::xml::Root element(*flow, "Flow");
    ASSERT_TRUE(resource.load(element));
    bare.SetFlowManager(std::move(flow));
    ASSERT_NE(bare.GetScreenManager()->GetCurrentScreen(), nullptr);
    EXPECT_EQ(bare.GetScreenManager()->GetDebugView(), nullptr);
    EXPECT_TRUE(fired("Debug service isn't registered in the service provider"));
    EXPECT_TRUE(fired("this->application"));
}

TEST_F(ScreenManagerTest, ClosingWithAPushedScreenIsClean)
{
    root->Update(0.0);
    manager->PushScreen("Next");
    root->Update(0.0);
    root.reset();
    EXPECT_EQ(journal.back(), "gone A");
}

TEST_F(ScreenManagerTest, UnregisteredBackendFailsTheBuild)
{
    write("screens/B.xml", R"(<Screen BackendClass="Missing"><Scene RootName="B"/></Screen>)");
    manager->ChangeScreen("Next", false);
    try {
        root->Update(0.0);
        FAIL() << "built";
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(to_std(error.get_description()), "Unable to create screen backend class named \"Missing\"");
    }
    EXPECT_EQ(current(), "A");
}

} // namespace
