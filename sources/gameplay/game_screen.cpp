#include "sources/gameplay/game_screen.h"

#include <cmath>
#include <vector>

#include "game/controls/button.h"
#include "game/screen.h"
#include "game/screen_manager.h"
#include "game/service_provider.h"
#include "game/text_service.h"
#include "sources/gameplay/actions.h"
#include "sources/gameplay/finish_window.h"
#include "sources/gameplay/level.h"
#include "sources/gameplay/level_hud.h"
#include "sources/gameplay/level_loader.h"
#include "sources/gameplay/level_profile.h"
#include "sources/gameplay/node_helpers.h"
#include "sources/gameplay/resource_preloader.h"
#include "sources/gameplay/shell_services.h"
#include "sources/gameplay/tutorial.h"
#include "vadu/dictionary.h"
#include "vadu/exception.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/node/node.h"

namespace gameplay {

GameScreen* currentGameScreen = nullptr;
bool pauseMenuShown = false;

namespace {

constexpr const char* PauseMenuButtons[] = {"ReturnBTN", "ManaBTN", "ExitButton", "RestartButton", "MainMenuBTN"};
constexpr const char* DialogButtons[] = {"dialogNo", "dialogYes"};

vadu::lib3d::node::Node* FindNode(game::ScreenSite* site, const char* name)
{
    vadu::lib3d::node::Node* root = site != nullptr ? site->GetSceneRoot() : nullptr;
    return root != nullptr ? root->find_child(vadu::Atom(name), true) : nullptr;
}

void ShowNode(vadu::lib3d::node::Node* node, bool visible)
{
    if (node != nullptr && node->is_visible() != visible)
        node->set_visible(visible);
}

} // namespace

vadu::WString GetLocalizedText(const vadu::Atom& phrase)
{
    static const vadu::Atom name("default");
    if (currentGameScreen != nullptr && currentGameScreen->GetSite() != nullptr) {
        if (game::ServiceProvider* provider = currentGameScreen->GetSite()->GetServiceProvider()) {
            if (auto* text = provider->Get<game::TextService>())
                return text->GetPhrase(name, name, phrase);
        }
    }
    return vadu::lookup_text(phrase.get_name());
}

std::unique_ptr<game::ScreenBackend> GameScreen_Create()
{
    return std::make_unique<GameScreen>();
}

LevelProfile* GameScreen::FallbackLevel()
{
    static LevelProfile first = [] {
        LevelProfile level;
        level.number = 1;
        level.mode = Standard;
        level.fileName = "level01";
        level.locked = 0;
        level.type = "Day";
        return level;
    }();
    return &first;
}

GameScreen::GameScreen() : self_(std::make_shared<GameScreen*>(this)) {}

GameScreen::~GameScreen()
{
    *self_ = nullptr;
    if (currentGameScreen == this)
        currentGameScreen = nullptr;
    // Only a pause this screen raised is taken back.
    if (raised_pause_)
        ShellServices::Get().LowerPause();
    windows_.reset();
    pending_exit_.clear();
    pause_action_.reset();
    level_.reset();
    preloader_.reset();
}

unsigned GameScreen::BindButton(const vadu::Atom& name, Handler handler)
{
    game::Screen* screen = GetSite() != nullptr ? GetSite()->GetScreen() : nullptr;
    game::controls::Control* control = screen != nullptr ? screen->FindControl(name) : nullptr;
    game::controls::ButtonImpl* button = control != nullptr ? game::controls::as_button(control) : nullptr;
    if (button == nullptr)
        throw vadu::Gluck("GameScreen::BindButton", vadu::String("Unable to find key ") + name.get_name());
    std::weak_ptr<GameScreen*> self = self_;
    return button->GetClickSignal().Connect([self, handler](game::controls::Control*) {
        if (auto alive = self.lock(); alive && *alive != nullptr)
            ((*alive)->*handler)();
    });
}

void GameScreen::SetControlEnabled(const char* name, bool enabled)
{
    game::Screen* screen = GetSite() != nullptr ? GetSite()->GetScreen() : nullptr;
    if (screen == nullptr)
        return;
    if (game::controls::Control* control = screen->FindControl(vadu::Atom(name)))
        control->SetEnabled(enabled);
}

void GameScreen::SetPauseMenuEnabled(bool enabled)
{
    for (const char* name : PauseMenuButtons)
        SetControlEnabled(name, enabled);
}

void GameScreen::SetDialogButtonsEnabled(bool enabled)
{
    for (const char* name : DialogButtons)
        SetControlEnabled(name, enabled);
}

bool GameScreen::HasBottle() const
{
    return level_ != nullptr && level_->Hud() != nullptr && level_->Hud()->HasBottle();
}

void GameScreen::OnInitialized()
{
    currentGameScreen = this;
    ShellServices::Get().PlayMainTheme();

    BindButton(vadu::Atom("dialogYes"), &GameScreen::OnDialogYes);
    BindButton(vadu::Atom("dialogNo"), &GameScreen::OnDialogNo);
    BindButton(vadu::Atom("PauseButton"), &GameScreen::Pause);
    BindButton(vadu::Atom("ReturnBTN"), &GameScreen::Resume);
    BindButton(vadu::Atom("ManaButton"), &GameScreen::OnClickBottle);
    BindButton(vadu::Atom("ManaBTN"), &GameScreen::OpenStore);
    BindButton(vadu::Atom("ExitButton"), &GameScreen::ConfirmExit);
    BindButton(vadu::Atom("RestartButton"), &GameScreen::ConfirmRestart);
    BindButton(vadu::Atom("MainMenuBTN"), &GameScreen::ConfirmMainMenu);

    windows_ = std::make_unique<FinishWindow>(*GetSite());
    SetPauseMenuEnabled(false);
    SetDialogButtonsEnabled(false);
    preloader_ = std::make_unique<ResourcePreloader>(1);

    LevelProfile* record = ShellServices::Get().CurrentLevel();
    if (record == nullptr)
        record = FallbackLevel();
    AdoptLevel(LoadLevel(record));
    level_->Start(GetSite()->GetSceneRoot(), GetSite()->GetScreen());
    if (!HasBottle())
        SetControlEnabled("ManaButton", false);
}

void GameScreen::AdoptLevel(std::unique_ptr<Level> level)
{
    level_ = std::move(level);
    if (!level_)
        return;
    std::weak_ptr<GameScreen*> self = self_;
    level_->endHandler = [self](int score, bool won) {
        if (auto alive = self.lock(); alive && *alive != nullptr)
            (*alive)->OnLevelEnd(score, won);
    };
}

void GameScreen::Update(double seconds)
{
    const auto dt = static_cast<float>(seconds);
    if (pause_action_) {
        if (!pause_action_->IsStarted()) {
            pause_action_->SetStarted(true);
            pause_action_->Start();
        }
        pause_action_->Update(dt);
        if (pause_action_ && pause_action_->IsFinished()) {
            std::unique_ptr<BaseAnimation> done = std::move(pause_action_);
            done->Finish();
        }
    }
    if (windows_)
        windows_->Update(dt);
    if (!paused_ && level_)
        level_->Update(dt);
}

void GameScreen::SetPaused(bool paused)
{
    if (paused == paused_)
        return;
    paused_ = paused;
    ShellServices& shell = ShellServices::Get();
    shell.Play(SoundId::ButtonClick);
    SetControlEnabled("PauseButton", !paused);
    if (HasBottle())
        SetControlEnabled("ManaButton", !paused);
    SetPauseMenuEnabled(paused);
    if (paused && level_)
        level_->SetInputEnabled(false);

    vadu::lib3d::node::Node* dim = FindNode(GetSite(), "Pause");
    vadu::lib3d::node::Node* options = FindNode(GetSite(), "Options");
    auto* sequence = new SequenceAction();
    BaseAnimation* a = dim != nullptr ? new FadeAction(dim, PauseFade, paused ? 0 : 1) : nullptr;
    BaseAnimation* b = nullptr;
    BaseAnimation* c = nullptr;
    if (options != nullptr) {
        const vadu::math::Vector3 from = options->get_position();
        const float x = (paused ? 0.0f : OptionsHiddenX) * shell.GetScale();
        auto* move = new MoveAction(options, OptionsSlide, from, {x, from.y, from.z});
        if (paused)
            move->SetEasing(new EaseSineOut());
        else
            move->SetEasing(new EaseSineIn());
        b = move;
        c = new FadeAction(options, OptionsFade, paused ? 0 : 1, true);
    }
    if (paused) {
        sequence->Add(a);
        sequence->Add(c);
        sequence->Add(b);
        pauseMenuShown = false;
        sequence->SetOnFinished([](BaseAnimation*) { pauseMenuShown = true; });
    } else {
        sequence->Add(b);
        sequence->Add(c);
        sequence->Add(a);
        std::weak_ptr<GameScreen*> self = self_;
        sequence->SetOnFinished([self](BaseAnimation*) {
            auto alive = self.lock();
            if (!alive || *alive == nullptr)
                return;
            Level* level = (*alive)->level_.get();
            if (level != nullptr && !level->IsEnded())
                level->SetInputEnabled(true);
        });
    }
    pause_action_.reset(sequence);

    if (paused) {
        shell.RaisePause();
        raised_pause_ = true;
    } else {
        shell.LowerPause();
        raised_pause_ = false;
    }
}

void GameScreen::ChangeScreen(const vadu::String& exit, bool push)
{
    game::ServiceProvider* provider = GetSite() != nullptr ? GetSite()->GetServiceProvider() : nullptr;
    game::ScreenManager* manager = provider != nullptr ? provider->Get<game::ScreenManager>() : nullptr;
    if (manager == nullptr)
        return;
    if (push)
        manager->PushScreen(exit);
    else
        manager->ChangeScreen(exit, false);
}

void GameScreen::OpenStore()
{
    ShellServices::Get().Play(SoundId::ButtonClick);
    if (level_)
        level_->SetInputEnabled(false);
    ChangeScreen("Store", true);
}

void GameScreen::ConfirmExit()
{
    ShellServices::Get().Play(SoundId::ButtonClick);
    ShowYesNoDialog("Menu", vadu::Atom("level_quit"));
}

void GameScreen::ConfirmRestart()
{
    ShellServices::Get().Play(SoundId::ButtonClick);
    ShowYesNoDialog("Restart", vadu::Atom("level_restart"));
}

void GameScreen::ConfirmMainMenu()
{
    ShellServices::Get().Play(SoundId::ButtonClick);
    ShowYesNoDialog("MainMenu", vadu::Atom("level_quit"));
}

void GameScreen::ShowYesNoDialog(const vadu::String& exit, const vadu::Atom& phrase)
{
    pending_exit_ = exit;
    SetPauseMenuEnabled(false);
    if (vadu::lib3d::node::Text* text = AsText(FindNode(GetSite(), "DialogText")))
        text->set_text(GetLocalizedText(phrase), false);
    ShowNode(FindNode(GetSite(), "YesNoDialog"), true);
    SetDialogButtonsEnabled(true);
}

void GameScreen::OnDialogYes()
{
    ChangeScreen(pending_exit_, false);
}

void GameScreen::OnDialogNo()
{
    ShowNode(FindNode(GetSite(), "YesNoDialog"), false);
    SetPauseMenuEnabled(true);
    SetDialogButtonsEnabled(false);
}

int GameScreen::BottleAmount(int points, float mana, bool manaInUse, float manaCeiling)
{
    if (manaInUse && mana >= manaCeiling - 5.0f)
        return 0;
    if (points < BottleStep)
        return points;
    const int whole = static_cast<int>(std::trunc(mana));
    return whole > 85 ? 100 - whole : BottleStep;
}

void GameScreen::OnClickBottle()
{
    if (!level_ || level_->IsEnded())
        return;
    const int points = ShellServices::Get().GetPoints();
    if (points == 0) {
        OpenStore();
        return;
    }
    if (Tutorial* tutorial = level_->GetTutorial())
        tutorial->OnNamedEvent(vadu::Atom("OnClickBottle"));
    const LevelSettings& settings = level_->settings;
    const int amount = BottleAmount(points, level_->Mana(), settings.levelEnergy != 0,
                                    static_cast<float>(settings.manaCeiling));
    if (amount > 0 && level_->Hud() != nullptr)
        level_->Hud()->UsePoints(amount);
}

void GameScreen::OnActivate()
{
    if (!level_)
        return;
    if (HasBottle())
        level_->Hud()->ResetPoints();
    if (level_->IsEnded())
        return;
    if (Tutorial* tutorial = level_->GetTutorial()) {
        if (tutorial->hintShowing && tutorial->CurrentHint() != nullptr)
            tutorial->HideHint(*tutorial->CurrentHint());
    }
    if (!paused_)
        level_->SetInputEnabled(true);
    if (ShellServices::Get().GetPoints() > 99999 && level_->Mana() != 100.0f)
        level_->SetMana(100.0f);
}

void GameScreen::OnLevelEnd(int score, bool won)
{
    if (currentGameScreen == this)
        currentGameScreen = nullptr;
    ShellServices& shell = ShellServices::Get();
    shell.SaveProfiles();
    SetControlEnabled("PauseButton", false);
    SetControlEnabled("ManaButton", false);
    shell.PlayMainTheme();
    if (windows_ && level_) {
        if (won)
            windows_->OpenFinish(score, *level_);
        else
            windows_->OpenGameover(score, *level_);
    }
}

} // namespace gameplay
