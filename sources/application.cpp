#include "sources/application.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "game/screen.h"
#include "game/screen_manager.h"
#include "game/text_service.h"
#include "platform/codepage.h"
#include "platform/random.h"
#include "platform/termination.h"
#include "platform/window.h"
#include "sources/Screens/loading_screen.h"
#include "sources/Screens/menu_creators.h"
#include "sources/Screens/splash_screen.h"
#include "sources/gameplay/balance.h"
#include "sources/gameplay/cheat_codes.h"
#include "sources/gameplay/game_screen.h"
#include "sources/gameplay/resource_preloader.h"
#include "sources/gameplay/tutorial_nodes.h"
#include "sources/globals.h"
#include "sources/profile_manager.h"
#include "sources/resource_configuration.h"
#include "sources/shell_services_adapter.h"
#include "sources/sound_manager.h"
#include "sources/walk.h"
#include "vadu/dictionary.h"
#include "vadu/exception.h"
#include "vadu/input.h"
#include "vadu/time.h"
#include "vadu/xml_reader.h"

QuilloTovraApplication* QuilloTovraApplication::instance_ = nullptr;

namespace {

QuilloTovraApplication::Trace& trace_hook()
{
    static QuilloTovraApplication::Trace hook;
    return hook;
}

void trace(const char* step)
{
    if (trace_hook())
        trace_hook()(step);
}

constexpr char initialize_function[] = "QuilloTovraApplication::Initialize";

// Parses a whole resource into an object under the root element's name; false when the
// file does not parse.
bool parse_into(vadu::Stream& stream, const vadu::filesystem::String& path, vadu::xml::Object& target,
                const char* root_name)
{
    vadu::xml::StreamResource resource(&stream, path);
    vadu::xml::Root bound(target, root_name);
    return resource.load(bound);
}

} // namespace

EngineNodeTypes::EngineNodeTypes()
{
    vadu::lib3d::Application::register_engine_node_types();
    trace("node types");
}

EngineNodeTypes::~EngineNodeTypes()
{
    vadu::lib3d::Application::unregister_engine_node_types();
    trace("node types gone");
}

void QuilloTovraApplication::SetTraceForTests(Trace trace)
{
    trace_hook() = std::move(trace);
}

void QuilloTovraApplication::TraceStep(const char* step)
{
    trace(step);
}

QuilloTovraApplication::QuilloTovraApplication(const vadu::String& title, const vadu::String& command_line)
    : vadu::logs::Creator("QuilloTovra"),
      vadu::filesystem::Creator([] { return ResourceConfiguration::Configure(); }),
      vadu::resource::ActiveMultithreaded::Creator(),
      vadu::animate::Soul::Creator(),
      vadu::DictionaryHolder::Creator(),
      vadu::noise::Manager::Creator(),
      vadu::lib3d::hard::Manager::Creator(),
      vadu::lib3d::hard::directx8::Creator(),
      vadu::WindowCreator(512, 512, false),
      vadu::input::hard::windows::Creator(true, true),
      vadu::noise::hard::null::Creator(),
      vadu::noise::hard::directx8::Creator(),
      EngineNodeTypes(),
      TrueText::TextLibrary::Creator(),
      // The engine keeps its per-user files under this name; the window shows the title.
      vadu::lib3d::Application(UserFolderName, command_line, false),
      loadingRoot(vadu::Atom("LoadingRoot"))
{
    platform::set_window_text(get_window().window, title.c_str());
    instance_ = this;
    set_cursor_visible(cursorType != 0);
    trace("application");
}

QuilloTovraApplication::~QuilloTovraApplication()
{
    if (profilesLoaded_) {
        // The sound switches go into the profile, so the sound manager is still there.
        ProfileManager::Instance()->Save();
        ProfileManager::Instance(false);
        trace("profiles saved");
    }
    ProfileManager::SetUnsavedNotice(nullptr);
    UninstallShellServices();
    preloader.reset();
    loadingRoot.delete_children();
    // The screens' textures and channels go while the device and sound managers exist.
    root.reset();
    gameDefinition.reset();
    // Its channels belong to the sound hardware, which goes with the creators.
    SoundManager::Destroy();
    // It listens to the input manager, which goes with the creators too.
    gameplay::CheatCodes::Destroy();
    if (instance_ == this)
        instance_ = nullptr;
    trace("application gone");
}

void QuilloTovraApplication::Initialize(const vadu::filesystem::String& path)
{
    // 1. Every player profile and the settings file; the current player's sound options.
    // A write that fails from here on is told to the player, once.
    ProfileManager::SetUnsavedNotice([this](const vadu::String& reason) { TellUnsaved(reason); });
    ProfileManager::Instance()->ApplySoundSettings();
    profilesLoaded_ = true;
    InstallShellServices();
    trace("profiles");

    // 2. The node types of tutorial hints.
    gameplay::RegisterTutorialNodes();
    trace("tutorial nodes");

    // 3. The game's sound and the menu music.
    SoundManager::Instance()->PlayMusic(SoundManager::MainTheme);
    trace("sound");

    // 4. The same seed the original clock gave; headless runs step a fixed clock.
    platform::seed_random(static_cast<unsigned>(vadu::time::get_ticks()));
    std::srand(static_cast<unsigned>(vadu::time::get_ticks()));

    // 5. The shell's shared pictures stay loaded.
    preloader = std::make_unique<gameplay::ResourcePreloader>(0);
    trace("preloader");

    // 6. The description.
    std::unique_ptr<vadu::Stream> description = vadu::filesystem::open(path);
    auto definition = std::make_unique<game::GameDefinition>();

    // 7. The screen backends, by class name.
    game::ScreenBackendFactory& backends = definition->GetBackendFactory();
    backends.RegisterBackendCreator("SplashScreen", &SplashScreen_Create);
    backends.RegisterBackendCreator("MainMenuScreen", [this] { return MainMenuScreen_Create(this); });
    backends.RegisterBackendCreator("StoreScreen", &StoreScreen_Create);
    backends.RegisterBackendCreator("ZenStoreScreen", &ZenStoreScreen_Create);
    backends.RegisterBackendCreator("GameScreen", &gameplay::GameScreen_Create);
    backends.RegisterBackendCreator("LevelSelectScreen", &LevelSelectScreen_Create);
    backends.RegisterBackendCreator("LeaderboardsScreen", &LeaderboardsScreen_Create);
    backends.RegisterBackendCreator("AchievementsScreen", &AchievementsScreen_Create);
    backends.RegisterBackendCreator("CreditsScreen", &CreditsScreen_Create);
    backends.RegisterBackendCreator("LikeScreen", &LikeScreen_Create);
    backends.RegisterBackendCreator("LoadingScreen", &LoadingScreen_Create);
    backends.RegisterBackendCreator("GameCompleteScreen", &GameCompleteScreen_Create);
    trace("backends");

    // 8. The description itself.
    if (!description || !parse_into(*description, path, *definition, "Game"))
        throw vadu::GluckBadResource(initialize_function, "Failed to load root game resource", path);
    trace("description");

    // 9. The framework's root, which builds the flow's first screen.
    gameDefinition = std::move(definition);
    SetGameWindowSize(static_cast<float>(gameDefinition->GetWindowWidth()),
                      static_cast<float>(gameDefinition->GetWindowHeight()));
    root.reset();
    root = gameDefinition->CreateRoot(this);
    trace("root");

    // 10. The cursor.
    change_cursor(gameDefinition->GetCursorPath(), true);
    trace("cursor");

    // 11. The loading scene.
    const vadu::filesystem::String loading_path("data/loading/loading.scene", true);
    std::unique_ptr<vadu::Stream> loading = vadu::filesystem::open(loading_path);
    if (!loading)
        throw vadu::GluckBadResource(initialize_function, "Failed to load", loading_path);
    loadingRoot.delete_children();
    if (!parse_into(*loading, loading_path, loadingRoot, "Scene"))
        throw vadu::GluckBadResource(initialize_function, "Parse failed", loading_path);
    trace("loading scene");

    // 12. The gameplay's tuning numbers.
    gameplay::Balance::Instance();
    trace("balance");

    // 13. The current player's cursor.
    ProfileManager* profiles = ProfileManager::Instance();
    if (profiles->GetProfileCount() > 0 && profiles->current)
        ApplyDisplaySettings(profiles->current->cursorType);
    trace("display settings");
}

bool QuilloTovraApplication::Update(double seconds)
{
    if (!running)
        return false;
    trace("frame");
    totalTime += seconds;
    // Sound moves on by the whole frame, also where the game's step is limited.
    vadu::noise::Manager::update(seconds);
    vadu::noise::hard::directx8::update(seconds);
    SoundManager::Instance()->update(static_cast<float>(seconds));
    const bool game_frame = get_pending_maximum() == 0;
    if (game_frame) {
        seconds = std::min(seconds, 0.1);
        vadu::input::Manager::dispatch();
        if (root)
            root->Update(seconds);
    }
    const bool result = vadu::lib3d::Application::Update(seconds);
    if (Walk* walk = Walk::Active())
        walk->OnFrame(*this, game_frame);
    return result;
}

bool QuilloTovraApplication::Render()
{
    struct WalkNote {
        ~WalkNote()
        {
            if (Walk* walk = Walk::Active())
                walk->OnRendered();
        }
    } note;
    // Half-loaded screens are not shown.
    if (get_pending_maximum() != 0)
        return true;
    vadu::lib3d::hard::Hardware* hardware = get_hardware();
    if (!hardware || !hardware->start_frame())
        return true;
    game::ScreenManager* screens = root ? root->GetScreenManager() : nullptr;
    if (game::Screen* screen = screens ? screens->GetCurrentScreen() : nullptr)
        screen->Render(*hardware, root->GetFpsDisplay());
    if (cursorType == 0)
        render_scene(*hardware);
    hardware->finish_frame();
    return true;
}

void QuilloTovraApplication::SetCursorNodeVisible(bool visible)
{
    vadu::lib3d::node::Node* cursor = get_cursor_node();
    if (cursor && cursor->is_visible() != visible)
        cursor->set_visible(visible);
}

void QuilloTovraApplication::OnDeactivate()
{
    // Minimising by the window's button reports the minimise and the lost focus, each
    // ending here; the window's inactivity is one reason to keep the music silent, or a
    // single activation would never bring it back.
    const bool was_active = active != 0;
    active = 0;
    if (game::ScreenManager* screens = root ? root->GetScreenManager() : nullptr) {
        game::Screen* screen = screens->GetCurrentScreen();
        if (auto* level = screen ? dynamic_cast<gameplay::GameScreen*>(screen->GetBackend()) : nullptr)
            level->Pause();
    }
    SoundManager* sound = SoundManager::Instance();
    if (was_active)
        sound->Pause();
    sound->SetMusicEnabled(sound->musicOn != 0);
    SetCursorNodeVisible(cursorType != 0);
    const vadu::Window& window = get_window();
    if (window.full_screen && !quitPromptOpen)
        platform::show_window(window.window, platform::sw::MINIMIZE);
    set_cursor_visible(true);
    Update(0.0);
}

void QuilloTovraApplication::OnActivate()
{
    const bool was_active = active != 0;
    active = 1;
    SoundManager* sound = SoundManager::Instance();
    if (!was_active)
        sound->Resume();
    sound->SetMusicEnabled(sound->musicOn != 0);
    SetCursorNodeVisible(true);
    set_cursor_visible(cursorType != 0);
}

bool QuilloTovraApplication::OnCloseRequest()
{
    // The desktop ending the game (a termination signal) is a close already agreed to.
    if (!running || platform::end_requested())
        return true;
    set_cursor_visible(true);
    SetCursorNodeVisible(cursorType != 0);
    // The current frame stays on screen behind the question.
    Render();
    quitPromptOpen = 1;
    vadu::WString question;
    game::TextService* text = root ? root->Get<game::TextService>() : nullptr;
    if (text)
        question = text->GetPhrase(vadu::Atom("default"), vadu::Atom("default"), vadu::Atom("game_quit"));
    else
        question = vadu::lookup_text("game_quit");
    const vadu::WString yes = vadu::lookup_text("yes");
    const vadu::WString no = vadu::lookup_text("no");
    const platform::MessageBoxAnswer answer =
        platform::message_box_question(question.c_str(), u"", yes.c_str(), no.c_str());
    quitPromptOpen = 0;
    SetCursorNodeVisible(true);
    set_cursor_visible(cursorType != 0);
    if (platform::end_requested())
        return true; // ended by the desktop while it asked
    if (answer == platform::MessageBoxAnswer::failed) {
        // Without a box the player could never leave: the close goes through.
        vadu::logs::log() << "The quit question could not be shown; closing\n";
        return true;
    }
    return answer == platform::MessageBoxAnswer::yes;
}

void QuilloTovraApplication::TellUnsaved(const vadu::String& reason)
{
    std::u16string text = u"Your progress cannot be saved: %s";
    if (game::TextService* texts = root ? root->Get<game::TextService>() : nullptr) {
        const vadu::WString& phrase =
            texts->GetPhrase(vadu::Atom("default"), vadu::Atom("default"), vadu::Atom("save_failed"));
        const std::u16string localized(phrase.data(), phrase.size());
        if (localized.find(u"%s") != std::u16string::npos)
            text = localized;
    }
    // The report box takes the engine's narrow text, as the reason already is.
    std::string narrow(text.size(), '\0');
    platform::wide_to_multibyte(text.data(), static_cast<int>(text.size()), narrow.data(),
                                static_cast<int>(narrow.size()));
    const size_t slot = narrow.find("%s");
    narrow.replace(slot, 2, reason.c_str(), reason.size());
    if (!platform::message_box_ok(narrow.c_str(), "Quillo Tovra"))
        vadu::logs::log() << "The box saying that progress cannot be saved could not be shown\n";
}

void QuilloTovraApplication::ApplyDisplaySettings(uint8_t cursor_type)
{
    cursorType = cursor_type;
    SetCursorNodeVisible(cursor_type == 0);
    set_cursor_visible(cursor_type != 0);
}
