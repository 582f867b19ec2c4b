#pragma once

// The backend of the screen one level is played in ("GameScreen"). It owns the running
// level, the pause menu's slide, a yes/no confirmation dialog and the level-end windows. Its
// buttons pause, resume, open the store, restart, leave and pour the mana bottle; every
// frame it drives the slides and, unless paused, the level. When the level's end sequence
// is over it saves the player's progress and opens the finish or game-over window.

#include <memory>

#include "game/screen_backend.h"
#include "game/signal.h"
#include "vadu/atom.h"
#include "vadu/string.h"

namespace game {
class Screen;
namespace controls {
class Control;
}
} // namespace game

class BaseAnimation;

namespace gameplay {

class FinishWindow;
class Level;
struct LevelProfile;
class ResourcePreloader;

class GameScreen : public game::ScreenBackend {
public:
    using Handler = void (GameScreen::*)();

    static constexpr float PauseFade = 0.05f;
    static constexpr float OptionsSlide = 0.25f;
    static constexpr float OptionsFade = 0.01f;
    static constexpr float OptionsHiddenX = -600.0f;
    static constexpr int BottleStep = 15;

    GameScreen();
    ~GameScreen() override;

    void Update(double seconds) override;
    void OnActivate() override;
    void OnInitialized() override;

    // Enters or leaves the pause with the menu's slide.
    void SetPaused(bool paused);
    void Pause() { SetPaused(true); }
    void Resume() { SetPaused(false); }
    void OpenStore();
    void ConfirmExit();
    void ConfirmRestart();
    void ConfirmMainMenu();
    void OnDialogYes();
    void OnDialogNo();
    void OnClickBottle();
    // The level's end sequence is over.
    void OnLevelEnd(int score, bool won);

    // The button's click calls the handler; raises "Unable to find key " + name without one.
    unsigned BindButton(const vadu::Atom& name, Handler handler);
    void SetPauseMenuEnabled(bool enabled);
    void SetDialogButtonsEnabled(bool enabled);
    void ShowYesNoDialog(const vadu::String& exit, const vadu::Atom& phrase);

    // Takes the level this screen runs and hears its end.
    void AdoptLevel(std::unique_ptr<Level> level);

    // What the bottle pours for these points and mana; 0 pours nothing.
    static int BottleAmount(int points, float mana, bool manaInUse, float manaCeiling);

    Level* GetLevel() const noexcept { return level_.get(); }
    FinishWindow* GetFinishWindow() const noexcept { return windows_.get(); }
    bool IsPaused() const noexcept { return paused_; }
    const vadu::String& GetPendingExit() const noexcept { return pending_exit_; }
    BaseAnimation* GetPauseAction() const noexcept { return pause_action_.get(); }

    // The level a screen plays when none was chosen (the first standard level).
    static LevelProfile* FallbackLevel();

private:
    void SetControlEnabled(const char* name, bool enabled);
    void ChangeScreen(const vadu::String& exit, bool push);
    bool HasBottle() const;

    std::unique_ptr<ResourcePreloader> preloader_;
    std::unique_ptr<Level> level_;
    std::unique_ptr<BaseAnimation> pause_action_;
    vadu::String pending_exit_;
    bool paused_ = false;
    bool raised_pause_ = false;
    std::unique_ptr<FinishWindow> windows_;
    std::shared_ptr<GameScreen*> self_;
};

// The creator registered for "GameScreen".
std::unique_ptr<game::ScreenBackend> GameScreen_Create();

// The phrase of that name in the "default" chapter and section, from the text service.
vadu::WString GetLocalizedText(const vadu::Atom& phrase);

// The in-level screen while a level is in play, else null.
extern GameScreen* currentGameScreen;
// Set when the pause menu has slid in; cleared when a pause begins.
extern bool pauseMenuShown;

} // namespace gameplay
