#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "game/controls/button.h"
#include "game/screen.h"
#include "game/screen_manager.h"
#include "game/service_provider.h"
#include "hud_test_support.h"
#include "sources/gameplay/finish_window.h"
#include "vadu/input.h"

namespace {

using gameplay::FinishWindow;
using hud_test::RecordingText;
using vadu::lib3d::node::Node;
using vadu::math::Vector3;

// The framework's screen manager, noting the requests instead of building screens.
class RecordingScreenManager : public game::ScreenManager {
public:
    void ChangeScreen(const vadu::String& exit, bool purge) override
    {
        requests.push_back(std::string("change ") + exit.c_str() + (purge ? " purge" : ""));
    }
    void PushScreen(const vadu::String& exit) override { requests.push_back(std::string("push ") + exit.c_str()); }
    std::vector<std::string> requests;
};

// A shell with a level list: levels 1 and 2, the first followed by the second.
class ListShell : public gameplay_fakes::FakeShell {
public:
    ListShell()
    {
        levels[0].number = 1;
        levels[1].number = 2;
    }
    gameplay::LevelProfile* NextLevel(const gameplay::LevelProfile& level) override
    {
        return &level == &levels[0] ? &levels[1] : nullptr;
    }
    bool AllLevelsCompleted() const override { return allCompleted; }
    int GetLevelScore(const gameplay::LevelProfile& level) const override { return level.bestScore; }

    gameplay::LevelProfile levels[2];
    bool allCompleted = false;
};

class RecordedLevel : public gameplay_fakes::FakeLevel {
public:
    gameplay::LevelProfile* Record() override { return record; }
    gameplay::LevelProfile* record = nullptr;
};

class FinishWindowTest : public hud_test::HudTest {
protected:
    FinishWindowTest() : screen(std::make_unique<game::Screen>(&provider))
    {
        auto recording = std::make_unique<RecordingScreenManager>();
        manager_ = recording.get();
        provider.Register<game::ScreenManager>(std::move(recording));
        auto scene = std::make_unique<Node>("Scene", nullptr);
        for (const char* window : {"FinishWindow", "GameoverWindow"}) {
            Node* node = new Node(window, scene.get());
            node->set_position(Vector3{0.0f, 700.0f, 60.0f});
            node->set_visible(false);
            const std::string prefix = window == std::string("FinishWindow") ? "Finish" : "Gameover";
            for (const char* label : {"Turns", "MaxCombo", "Earned", "TotalScore"})
                new RecordingText((prefix + label).c_str(), node);
        }
        screen->SetSceneRoot(std::move(scene));
        for (const char* name : {"FinishButtonBack", "FinishButtonStore", "FinishButtonContinue",
                                 "GameoverButtonBack", "GameoverButtonStore", "GameoverButtonRestart"}) {
            auto button = std::make_unique<game::controls::Button>();
            button->SetName(name);
            screen->AddControl(std::move(button));
        }
        level.record = &shell.levels[0];
    }
    ~FinishWindowTest() override { screen.reset(); }

    void click(const char* name)
    {
        game::controls::Control* control = screen->FindControl(name);
        ASSERT_NE(control, nullptr) << name;
        game::controls::as_button(control)->GetClickSignal().Emit(control);
    }
    std::string label(const char* name)
    {
        auto* text = static_cast<RecordingText*>(screen->GetSceneRoot()->find_child(name, true));
        return text ? text->text() : "(missing)";
    }
    Node* node(const char* name) { return screen->GetSceneRoot()->find_child(name, true); }
    // Advances the window's slide as the in-level screen does, in frames of 1/60 s.
    void slide(FinishWindow& window, float seconds)
    {
        for (float t = 0.0f; t < seconds - 1e-4f; t += 1.0f / 60.0f)
            window.Update(1.0f / 60.0f);
    }

    ListShell shell;
    vadu::input::Manager::Creator input_;
    game::ServiceProvider provider;
    RecordingScreenManager* manager_ = nullptr;
    std::unique_ptr<game::Screen> screen;
    RecordedLevel level;
};

TEST_F(FinishWindowTest, TheFinishWindowSlidesInWithTheLevelsFigures)
{
    FinishWindow window(*screen);
    for (int i = 0; i < 7; ++i)
        level.chain.Append();
    shell.levels[0].bestScore = 2500000;
    window.OpenFinish(1234567, level);
    Node* finish = node("FinishWindow");
    EXPECT_TRUE(finish->is_visible());
    EXPECT_FALSE(node("GameoverWindow")->is_visible());
    EXPECT_TRUE(window.IsFinish());
    EXPECT_EQ(label("FinishTurns"), "7");
    EXPECT_EQ(label("FinishMaxCombo"), std::to_string(level.chain.BestCombo()));
    EXPECT_EQ(label("FinishEarned"), "1,234,567");
    EXPECT_EQ(label("FinishTotalScore"), "2,500,000");

    slide(window, 0.25f);
    EXPECT_GT(finish->get_position().y, 0.0f);
    EXPECT_LT(finish->get_position().y, 700.0f * 0.25f) << "eases out: most of the way in the first half";
    slide(window, 0.3f);
    EXPECT_EQ(finish->get_position(), (Vector3{0.0f, 0.0f, 60.0f}));
    EXPECT_EQ(window.GetSlide(), nullptr);
    EXPECT_TRUE(manager_->requests.empty());
}

TEST_F(FinishWindowTest, TheGameoverWindowShowsItsOwnLabels)
{
    FinishWindow window(*screen);
    level.chain.Append();
    window.OpenGameover(-1500, level);
    EXPECT_FALSE(window.IsFinish());
    EXPECT_TRUE(node("GameoverWindow")->is_visible());
    EXPECT_FALSE(node("FinishWindow")->is_visible());
    EXPECT_EQ(label("GameoverTurns"), "1");
    EXPECT_EQ(label("GameoverMaxCombo"), std::to_string(level.chain.BestCombo()));
    EXPECT_EQ(label("GameoverEarned"), "-1,500");
    EXPECT_EQ(label("GameoverTotalScore"), "") << "the game-over window has no total";
}

TEST_F(FinishWindowTest, ButtonsSlideTheWindowOutAndThenChangeTheScreen)
{
    const struct {
        bool finish;
        const char* button;
        gameplay::LevelProfile* record;
        bool allCompleted;
        float endX;
        std::vector<std::string> requests;
        int currentLevel; // index into the shell's levels, -1 for none
    } cases[] = {
        {true, "FinishButtonBack", &shell.levels[0], false, -960.0f, {"change Menu"}, -1},
        {true, "FinishButtonContinue", &shell.levels[0], false, 960.0f, {"change Restart"}, 1},
        {true, "FinishButtonContinue", &shell.levels[1], false, 960.0f, {"change Menu"}, -1},
        {true, "FinishButtonBack", &shell.levels[1], true, -960.0f, {"change GameComplete"}, -1},
        {true, "FinishButtonContinue", &shell.levels[0], true, 960.0f, {"change GameComplete"}, -1},
        {false, "GameoverButtonRestart", &shell.levels[0], false, -960.0f, {"change Restart"}, -1},
        // Back from a lost level never asks for the game-complete screen.
        {false, "GameoverButtonBack", &shell.levels[0], true, -960.0f, {"change Menu"}, -1},
    };
    for (const auto& c : cases) {
        manager_->requests.clear();
        shell.sounds.clear();
        shell.SetGameComplete(false);
        shell.SetCurrentLevel(nullptr);
        shell.allCompleted = c.allCompleted;
        level.record = c.record;
        FinishWindow window(*screen);
        if (c.finish)
            window.OpenFinish(100, level);
        else
            window.OpenGameover(100, level);
        slide(window, 0.6f);
        click(c.button);
        EXPECT_EQ(shell.sounds, (std::vector<gameplay::SoundId>{gameplay::SoundId::ButtonClick})) << c.button;
        slide(window, 0.25f);
        EXPECT_TRUE(manager_->requests.empty()) << c.button;
        slide(window, 0.3f);
        EXPECT_EQ(manager_->requests, c.requests) << c.button;
        EXPECT_FLOAT_EQ(window.GetWindow()->get_position().x, c.endX) << c.button;
        EXPECT_EQ(shell.CurrentLevel(), c.currentLevel < 0 ? nullptr : &shell.levels[c.currentLevel]) << c.button;
        EXPECT_EQ(shell.IsGameComplete(), c.requests.front() == "change GameComplete") << c.button;
    }
}

TEST_F(FinishWindowTest, TheGameCompleteScreenShowsOnce)
{
    shell.allCompleted = true;
    level.record = &shell.levels[1];
    for (const char* expected : {"change GameComplete", "change Menu"}) {
        manager_->requests.clear();
        FinishWindow window(*screen);
        window.OpenFinish(100, level);
        click("FinishButtonContinue");
        slide(window, 0.6f);
        EXPECT_EQ(manager_->requests, (std::vector<std::string>{expected}));
    }
}

TEST_F(FinishWindowTest, TwoQuickBacksChangeTheScreenOnceFromTheSecondSlide)
{
    FinishWindow window(*screen);
    window.OpenFinish(100, level);
    slide(window, 0.6f);
    click("FinishButtonBack");
    slide(window, 0.3f);
    click("FinishButtonBack");
    // The first slide would have ended by now; only the second one's end counts.
    slide(window, 0.3f);
    EXPECT_TRUE(manager_->requests.empty());
    slide(window, 0.25f);
    EXPECT_EQ(manager_->requests, (std::vector<std::string>{"change Menu"}));
    slide(window, 1.0f);
    EXPECT_EQ(manager_->requests.size(), 1u);
}

TEST_F(FinishWindowTest, TheStorePushesTheStoreAndTheWindowStays)
{
    FinishWindow window(*screen);
    window.OpenGameover(100, level);
    slide(window, 0.6f);
    click("GameoverButtonStore");
    slide(window, 1.0f);
    EXPECT_EQ(manager_->requests, (std::vector<std::string>{"push Store"}));
    EXPECT_EQ(node("GameoverWindow")->get_position(), (Vector3{0.0f, 0.0f, 60.0f}));
}

TEST_F(FinishWindowTest, TheButtonsAreLetGoWhateverGoesFirst)
{
    {
        FinishWindow window(*screen);
        for (const auto& control : screen->GetControlList())
            EXPECT_EQ(game::controls::as_button(control.get())->GetClickSignal().Size(), 1u);
    }
    for (const auto& control : screen->GetControlList())
        EXPECT_TRUE(game::controls::as_button(control.get())->GetClickSignal().Empty());
    click("FinishButtonBack");
    EXPECT_TRUE(manager_->requests.empty());

    // The buttons go first: the window neither touches them nor minds.
    auto window = std::make_unique<FinishWindow>(*screen);
    while (!screen->GetControlList().empty())
        screen->RemoveControl(screen->GetControlList().front().get());
    window.reset();

    // A screen without some of the buttons: the others still work.
    screen = std::make_unique<game::Screen>(&provider);
    screen->SetSceneRoot(std::make_unique<Node>("Scene", nullptr));
    auto back = std::make_unique<game::controls::Button>();
    back->SetName("GameoverButtonBack");
    screen->AddControl(std::move(back));
    FinishWindow partial(*screen);
    click("GameoverButtonBack");
    EXPECT_EQ(manager_->requests, (std::vector<std::string>{"change Menu"})) << "no window: on at once";
}

} // namespace
