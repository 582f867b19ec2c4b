#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "game/game_definition.h"
#include "game/root.h"

#include "vadu/input_windows.h"
#include "vadu/lib3d/app/application.h"
#include "vadu/lib3d/hard/directx8/creator.h"
#include "vadu/lib3d/node/loading_root.h"
#include "vadu/noise/directx8.h"
#include "vadu/noise/noise.h"
#include "vadu/noise/null.h"
#include "vadu/window.h"

namespace gameplay {
class ResourcePreloader;
}

// Registers the engine's scene-node types for as long as it lives. It sits among the
// application's creators, so the types come after the sound devices and before the text
// library, and go again after the text library has shut down.
class EngineNodeTypes {
public:
    EngineNodeTypes();
    virtual ~EngineNodeTypes();
    EngineNodeTypes(const EngineNodeTypes&) = delete;
    EngineNodeTypes& operator=(const EngineNodeTypes&) = delete;
};

// The game's application object; one exists, built by the entry point. It is the
// most-derived object, so it builds the engine's creators itself, in this order: the
// sound hardware registry, log, file system (the game's resource configuration), loader,
// souls, dictionary, sound manager, render devices and their back end, the window (512 by
// 512, not resizable), the input devices, the null and the sound device's hardware, the
// node types, then the text library; they go in the reverse order.
class QuilloTovraApplication : public virtual vadu::noise::HardwareRegistry::Creator,
                               public virtual vadu::logs::Creator,
                               public virtual vadu::filesystem::Creator,
                               public virtual vadu::resource::ActiveMultithreaded::Creator,
                               public virtual vadu::animate::Soul::Creator,
                               public virtual vadu::DictionaryHolder::Creator,
                               public virtual vadu::noise::Manager::Creator,
                               public virtual vadu::lib3d::hard::Manager::Creator,
                               public virtual vadu::lib3d::hard::directx8::Creator,
                               public virtual vadu::WindowCreator,
                               public virtual vadu::input::hard::windows::Creator,
                               public virtual vadu::noise::hard::null::Creator,
                               public virtual vadu::noise::hard::directx8::Creator,
                               public virtual EngineNodeTypes,
                               public virtual TrueText::TextLibrary::Creator,
                               public vadu::lib3d::Application {
public:
    // The one per-user folder (settings, profiles, video settings, crash dumps), under
    // the XDG data folder.
    static constexpr const char* UserFolderName = "Kembra Entertainment/Quillo Tovra";

    // The application while one exists, else null.
    static QuilloTovraApplication* Instance() noexcept { return instance_; }

    // The title is the window's text until the localized one is set. Throws vadu::Gluck
    // when no video mode starts.
    QuilloTovraApplication(const vadu::String& title, const vadu::String& command_line);
    ~QuilloTovraApplication() override;

    // Profiles and sound, the screen backends, the game description (root "Game"), the
    // framework root with the flow's first screen, the cursor and the loading scene.
    // Throws vadu::GluckBadResource with the failing path.
    void Initialize(const vadu::filesystem::String& path);

    bool Update(double seconds) override;
    // Nothing while loads are pending; else the current screen, then the drawn cursor when
    // the game draws its own.
    bool Render() override;
    void OnDeactivate() override;
    void OnActivate() override;
    // Asks the player (yes/no, localized) unless a quit was agreed already; true lets the
    // window close.
    bool OnCloseRequest() override;

    // 0: the game draws its own cursor; 1: the system cursor shows.
    void ApplyDisplaySettings(uint8_t cursor_type);

    // Tells the player in a report box that progress cannot be saved, and why: the
    // localized "save_failed" phrase with its "%s" replaced by the reason (an English
    // text while the phrases are not loaded yet).
    void TellUnsaved(const vadu::String& reason);

    // The player agreed to quit (the main menu's exit): the next update asks the window to
    // close, and the close goes through without a question.
    void Quit() noexcept { running = 0; }

    game::Root* GetRoot() const noexcept { return root.get(); }
    game::GameDefinition* GetGameDefinition() const noexcept { return gameDefinition.get(); }
    vadu::lib3d::node::LoadingRoot& GetLoadingRoot() noexcept { return loadingRoot; }
    gameplay::ResourcePreloader* GetPreloader() const noexcept { return preloader.get(); }

    // Tests: each start-up and shutdown step names itself here, in order.
    using Trace = std::function<void(const char* step)>;
    static void SetTraceForTests(Trace trace);
    // Names a step to the test's trace, when one is set.
    static void TraceStep(const char* step);

    std::unique_ptr<game::GameDefinition> gameDefinition;
    std::unique_ptr<game::Root> root;
    vadu::lib3d::node::LoadingRoot loadingRoot;
    double totalTime = 0.0;
    uint8_t running = 1;
    uint8_t quitPromptOpen = 0;
    uint8_t cursorType = 0;
    uint8_t active = 1;
    std::unique_ptr<gameplay::ResourcePreloader> preloader;

private:
    void SetCursorNodeVisible(bool visible);

    static QuilloTovraApplication* instance_;
    bool profilesLoaded_ = false;
};
