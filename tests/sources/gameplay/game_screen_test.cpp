#include "level_test_support.h"

#include "game/controls/button.h"
#include "game/screen.h"
#include "game/screen_manager.h"
#include "game/service_provider.h"
#include "sources/gameplay/game_screen.h"
#include "vadu/exception.h"

namespace gameplay_test {
namespace {

using gameplay::GameScreen;

class RecordingManager : public game::ScreenManager {
public:
    void ChangeScreen(const vadu::String& exit, bool purge) override
    {
        requests.push_back(std::string("change ") + exit.c_str() + (purge ? " purge" : ""));
    }
    void PushScreen(const vadu::String& exit) override { requests.push_back(std::string("push ") + exit.c_str()); }
    std::vector<std::string> requests;
};

constexpr const char* AllButtons[] = {"PauseButton", "ReturnBTN",   "ManaBTN",  "ExitButton", "RestartButton",
                                      "MainMenuBTN", "ManaButton", "dialogYes", "dialogNo"};

class GameScreenTest : public LevelTest {
protected:
    GameScreenTest() : screen(std::make_unique<game::Screen>(&provider))
    {
        auto recording = std::make_unique<RecordingManager>();
        manager = recording.get();
        provider.Register<game::ScreenManager>(std::move(recording));
        auto scene = std::make_unique<Node>("Scene", nullptr);
        auto* pause = new Node("Pause", scene.get());
        pause->set_visible(false);
        auto* options = new Node("Options", scene.get());
        options->set_position({-600.0f, 0.0f, 52.0f});
        options->set_visible(false);
        auto* dialog = new Node("YesNoDialog", scene.get());
        dialog->set_visible(false);
        screen->SetSceneRoot(std::move(scene));
        for (const char* name : AllButtons) {
            auto button = std::make_unique<game::controls::Button>();
            button->SetName(name);
            screen->AddControl(std::move(button));
        }
        backend = std::make_unique<GameScreen>();
        backend->SetSite(screen.get());
        backend->AdoptLevel(std::move(level));
        level_ = backend->GetLevel();
        adopted = level_;
    }
    ~GameScreenTest() override
    {
        backend.reset();
        screen.reset();
    }

    bool Enabled(const char* name) { return screen->FindControl(vadu::Atom(name))->IsEnabled(); }
    Node* Find(const char* name) { return screen->GetSceneRoot()->find_child(vadu::Atom(name), true); }
    void Frames(float seconds)
    {
        for (float t = 0.0f; t < seconds; t += 1.0f / 60.0f)
            backend->Update(1.0 / 60.0);
    }
    int PauseCount() const { return shell.GetPauseCount(); }

    game::ServiceProvider provider;
    RecordingManager* manager = nullptr;
    std::unique_ptr<game::Screen> screen;
    std::unique_ptr<GameScreen> backend;
    gameplay::Level* level_ = nullptr;
};

TEST_F(GameScreenTest, BindingNeedsTheButton)
{
    EXPECT_NO_THROW(backend->BindButton(vadu::Atom("PauseButton"), &GameScreen::Pause));
    game::controls::Control* pause = screen->FindControl(vadu::Atom("PauseButton"));
    game::controls::as_button(pause)->GetClickSignal().Emit(pause);
    EXPECT_TRUE(backend->IsPaused());
    try {
        backend->BindButton(vadu::Atom("NoSuchButton"), &GameScreen::Pause);
        ADD_FAILURE() << "no exception";
    } catch (const vadu::Gluck& gluck) {
        EXPECT_EQ(to_std(gluck.get_function()), "GameScreen::BindButton");
        EXPECT_EQ(to_std(gluck.get_description()), "Unable to find key NoSuchButton");
    }
}

TEST_F(GameScreenTest, PausingTwiceChangesNothingTheSecondTime)
{
    backend->SetPaused(true);
    backend->SetPaused(true);
    EXPECT_EQ(PauseCount(), 1);
    EXPECT_EQ(std::count(shell.sounds.begin(), shell.sounds.end(), gameplay::SoundId::ButtonClick), 1);
    EXPECT_FALSE(level_->IsInputEnabled());
    EXPECT_FALSE(Enabled("PauseButton"));
    for (const char* name : {"ReturnBTN", "ManaBTN", "ExitButton", "RestartButton", "MainMenuBTN"})
        EXPECT_TRUE(Enabled(name)) << name;

    // The level stands still while paused; the menu slides in.
    const float time = level_->LevelTime();
    Frames(0.5f);
    EXPECT_EQ(level_->LevelTime(), time);
    EXPECT_TRUE(gameplay::pauseMenuShown);
    EXPECT_FLOAT_EQ(Find("Options")->get_position().x, 0.0f);
    EXPECT_TRUE(Find("Pause")->is_visible());
}

TEST_F(GameScreenTest, ResumingMidSlideReplacesItAndGivesTheInputBack)
{
    backend->SetPaused(true);
    Frames(0.1f);
    backend->SetPaused(false);
    EXPECT_FALSE(gameplay::pauseMenuShown);
    EXPECT_EQ(PauseCount(), 0);
    EXPECT_FALSE(level_->IsInputEnabled());
    Frames(0.5f);
    EXPECT_FALSE(gameplay::pauseMenuShown);
    EXPECT_TRUE(level_->IsInputEnabled());
    EXPECT_FLOAT_EQ(Find("Options")->get_position().x, -600.0f);
    EXPECT_FALSE(Find("Pause")->is_visible());
    EXPECT_TRUE(Enabled("PauseButton"));
    EXPECT_FALSE(Enabled("ReturnBTN"));
    // Unpaused, the level runs again.
    const float time = level_->LevelTime();
    Frames(0.1f);
    EXPECT_GT(level_->LevelTime(), time);
}

TEST_F(GameScreenTest, OnlyAPauseThisScreenRaisedIsTakenBack)
{
    shell.RaisePause();  // someone else's
    backend.reset();
    EXPECT_EQ(PauseCount(), 1);

    backend = std::make_unique<GameScreen>();
    backend->SetSite(screen.get());
    backend->SetPaused(true);
    EXPECT_EQ(PauseCount(), 2);
    backend.reset();
    EXPECT_EQ(PauseCount(), 1);
}

TEST_F(GameScreenTest, BottlePoursByPointsAndMana)
{
    struct Case {
        int points;
        float mana;
        bool manaInUse;
        int amount;
    } cases[] = {
        {10, 50.0f, true, 10}, {40, 90.0f, true, 10}, {40, 50.0f, true, 15},  {40, 85.9f, true, 15},
        {40, 86.0f, true, 14}, {40, 95.0f, true, 0},  {40, 99.0f, true, 0},   {40, 95.0f, false, 5},
        {14, 20.0f, true, 14}, {15, 20.0f, true, 15},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GameScreen::BottleAmount(c.points, c.mana, c.manaInUse, 100.0f), c.amount)
            << c.points << " points at " << c.mana;
}

TEST_F(GameScreenTest, BottleClicksPourOpenTheStoreOrDoNothing)
{
    shell.SetPoints(40);
    level_->ManaValue().Set(50.0f);
    backend->OnClickBottle();
    EXPECT_EQ(hud.usedPoints, std::vector<int>{15});

    shell.SetPoints(0);
    backend->OnClickBottle();
    EXPECT_EQ(manager->requests, std::vector<std::string>{"push Store"});
    EXPECT_FALSE(level_->IsInputEnabled());

    shell.SetPoints(40);
    level_->StartGameOver();
    backend->OnClickBottle();
    EXPECT_EQ(hud.usedPoints.size(), 1u);
}

TEST_F(GameScreenTest, ComingBackFromTheStoreWithEndlessPoints)
{
    level_->ManaValue().Set(30.0f);
    backend->OpenStore();
    EXPECT_FALSE(level_->IsInputEnabled());
    shell.SetPoints(100000);
    backend->OnActivate();
    EXPECT_TRUE(level_->IsInputEnabled());
    EXPECT_FLOAT_EQ(level_->Mana(), 100.0f);
    EXPECT_EQ(hud.pointResets, 1);
}

TEST_F(GameScreenTest, TheDialogAsksAndAnswers)
{
    struct Case {
        void (GameScreen::*confirm)();
        const char* exit;
    } cases[] = {{&GameScreen::ConfirmExit, "Menu"},
                 {&GameScreen::ConfirmRestart, "Restart"},
                 {&GameScreen::ConfirmMainMenu, "MainMenu"}};
    for (const Case& c : cases) {
        manager->requests.clear();
        backend->SetPaused(true);
        (backend.get()->*c.confirm)();
        EXPECT_EQ(to_std(backend->GetPendingExit()), c.exit);
        EXPECT_TRUE(Find("YesNoDialog")->is_visible());
        EXPECT_TRUE(Enabled("dialogYes"));
        EXPECT_FALSE(Enabled("ReturnBTN"));
        backend->OnDialogNo();
        EXPECT_FALSE(Find("YesNoDialog")->is_visible());
        EXPECT_FALSE(Enabled("dialogYes"));
        EXPECT_TRUE(Enabled("ReturnBTN"));
        (backend.get()->*c.confirm)();
        backend->OnDialogYes();
        EXPECT_EQ(manager->requests, std::vector<std::string>{std::string("change ") + c.exit});
        backend->OnDialogNo();
        backend->SetPaused(false);
    }
}

TEST_F(GameScreenTest, TheLevelsEndDisablesTheButtonsAndLetsTheScreenGo)
{
    gameplay::currentGameScreen = backend.get();
    auto row = Row(4, 100.0f);
    Link(row);
    level_->StartGameOver();
    Frames(3.0f);
    EXPECT_EQ(gameplay::currentGameScreen, nullptr);
    EXPECT_FALSE(Enabled("PauseButton"));
    EXPECT_FALSE(Enabled("ManaButton"));
    EXPECT_NE(std::find(shell.events.begin(), shell.events.end(), "PlayMainTheme"), shell.events.end());
    // The screen goes with its level, links and a running bonus text; then its scene.
    level_->AddScore(10);
    backend.reset();
    screen.reset();
}

} // namespace
} // namespace gameplay_test
