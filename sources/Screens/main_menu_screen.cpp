#include "sources/Screens/main_menu_screen.h"

#include <cmath>
#include <cstdio>

#include "game/screen.h"
#include "game/text_service.h"
#include "platform/codepage.h"
#include "platform/system.h"
#include "platform/window.h"
#include "sources/application.h"
#include "sources/game_sizes.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/actions.h"
#include "sources/gameplay/cheat_codes.h"
#include "sources/globals.h"
#include "sources/Screens/level_select_screen.h"
#include "sources/profile_manager.h"
#include "sources/sound_manager.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/log.h"
#include "vadu/path.h"
#include "vadu/stream.h"

using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;
using vadu::math::Vector3;

namespace {

class ApplicationHost : public MainMenuHost {
public:
    bool IsFullscreen() override
    {
        QuilloTovraApplication* app = QuilloTovraApplication::Instance();
        return app && app->get_window().full_screen;
    }
    void ToggleFullscreen() override
    {
        if (QuilloTovraApplication* app = QuilloTovraApplication::Instance())
            platform::ToggleFullscreen(app->get_window());
    }
    uint8_t GetCursorType() override
    {
        QuilloTovraApplication* app = QuilloTovraApplication::Instance();
        return app ? app->cursorType : 0;
    }
    void SetCursorType(uint8_t type) override
    {
        if (QuilloTovraApplication* app = QuilloTovraApplication::Instance()) {
            app->cursorType = type;
            app->ApplyDisplaySettings(type);
        }
    }
    bool AskQuit() override
    {
        QuilloTovraApplication* app = QuilloTovraApplication::Instance();
        return app && app->OnCloseRequest();
    }
    void Quit() override
    {
        if (QuilloTovraApplication* app = QuilloTovraApplication::Instance())
            app->Quit();
    }
    void OpenWebsite() override
    {
        const vadu::filesystem::String path("%app_path%/website.url", false);
        std::string detail;
        if (platform::shell_open(path.c_str(), &detail) == platform::ShellOpenResult::failed)
            vadu::logs::log() << "MainMenuScreen: could not open the website: " << detail.c_str() << "\n";
    }
    vadu::math::Vector2<float> GetPointerAxes() override
    {
        return {static_cast<float>(vadu::input::Manager::get_value("Mouse", "Axis_X")),
                static_cast<float>(vadu::input::Manager::get_value("Mouse", "Axis_Y"))};
    }
};

vadu::WString to_wstring(const std::u16string& text)
{
    return vadu::WString(text.data(), text.data() + text.size());
}

std::u16string to_u16(const vadu::WString& text)
{
    return std::u16string(text.data(), text.size());
}

// The phrase with its first "%s" replaced; false when it has none.
bool fill_phrase(std::u16string& phrase, const std::u16string& value)
{
    const size_t at = phrase.find(u"%s");
    if (at == std::u16string::npos)
        return false;
    phrase.replace(at, 2, value);
    return true;
}

std::u16string phrase(game::ScreenSite* site, const char* name)
{
    game::ServiceProvider* provider = site ? site->GetServiceProvider() : nullptr;
    game::TextService* text = provider ? provider->Get<game::TextService>() : nullptr;
    if (!text)
        return u"";
    return to_u16(text->GetPhrase("default", "default", name));
}

void set_text(Node* node, const std::u16string& text)
{
    if (auto* shown = dynamic_cast<vadu::lib3d::node::Text*>(node))
        shown->set_text(to_wstring(text), false);
}

bool file_exists(const char* path)
{
    try {
        std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(vadu::filesystem::String(path, true));
        return stream && stream->is_good();
    } catch (const vadu::Gluck&) {
        return false;
    }
}

// A name ending in ".atlas" is an atlas shown at its first frame; any other a picture.
void set_named_texture(Sprite& sprite, const vadu::String& name)
{
    const std::string text(name.data(), name.size());
    if (text.size() >= 6 && text.compare(text.size() - 6, 6, ".atlas") == 0)
        sprite.set_atlas_texture_index(name, 0);
    else
        sprite.set_texture(name, false);
}

} // namespace

std::unique_ptr<MainMenuHost> MakeApplicationHost()
{
    return std::make_unique<ApplicationHost>();
}

namespace profile_names {

bool IsValidName(const std::u16string& text, bool russian)
{
    if (text.empty())
        return false;
    for (char16_t c : text) {
        const bool latin = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
        const bool cyrillic = russian && c >= 0x0410 && c <= 0x044F;
        if (!latin && !cyrillic)
            return false;
    }
    return true;
}

// Under "ru" the bytes are those of Windows-1251, the code page a Russian system would
// store the same name in; elsewhere the engine's own 1252.
vadu::String ToNarrow(const std::u16string& text, bool russian)
{
    std::string out(text.size(), '?');
    if (!text.empty()) {
        const int length = static_cast<int>(text.size());
        if (russian)
            platform::wide_to_multibyte_1251(text.data(), length, out.data(), length);
        else
            platform::wide_to_multibyte(text.data(), length, out.data(), length);
    }
    return vadu::String(out.c_str());
}

std::u16string ToWide(const vadu::String& text, bool russian)
{
    std::u16string out(text.size(), u'?');
    if (text.size() != 0) {
        const int length = static_cast<int>(text.size());
        if (russian)
            platform::multibyte_to_wide_1251(text.data(), length, out.data(), length);
        else
            platform::multibyte_to_wide(text.data(), length, out.data(), length);
    }
    return out;
}

bool IsRussianLocale()
{
    return vadu::PlatformInfo::instance().get_locale() == "ru";
}

} // namespace profile_names

MainMenuScreen::MainMenuScreen(std::unique_ptr<MainMenuHost> host_)
    : MenuScreen("data/decorations/mainmenu.xml"), host(host_ ? std::move(host_) : MakeApplicationHost())
{
}

MainMenuScreen::~MainMenuScreen()
{
    ActionManager::Global().Clear();
    for (auto& [slider, ids] : sliderConnections) {
        slider->value_changed.Disconnect(ids[0]);
        slider->pressed.Disconnect(ids[1]);
        slider->released.Disconnect(ids[2]);
    }
}

bool& MainMenuScreen::FirstInit()
{
    static bool first = true;
    return first;
}

PlayerProfile* MainMenuScreen::Current() const
{
    ProfileManager* profiles = ProfileManager::Instance();
    return profiles ? profiles->current : nullptr;
}

void MainMenuScreen::Bind(const vadu::Atom& name, int group, std::function<void()> handler, bool click)
{
    game::controls::Button* button = GetButton(name);
    Connect(button->GetButtonImpl(), [handler = std::move(handler), click](game::controls::Control*) {
        if (click)
            PlayClick();
        handler();
    });
    buttonGroups.emplace_back(button, group);
}

void MainMenuScreen::BindSlider(const vadu::Atom& name, std::function<void(float)> handler)
{
    game::controls::Slider* slider = GetSlider(name);
    std::vector<uint32_t> ids;
    ids.push_back(slider->value_changed.Connect([handler = std::move(handler)](game::controls::Control*, float value) {
        handler(value);
    }));
    ids.push_back(slider->pressed.Connect([this](game::controls::Control* control) { OnSliderScale(control, 1.1f); }));
    ids.push_back(slider->released.Connect([this](game::controls::Control* control) { OnSliderScale(control, 1.0f); }));
    sliderConnections.emplace_back(slider, std::move(ids));
    buttonGroups.emplace_back(slider, SoundGroup);
}

void MainMenuScreen::Init()
{
    PlayMainTheme();
    auto none = [] {};
    Bind("playButton", MenuGroup, [this] { OnPlay(); }, true);
    Bind("zenButton", MenuGroup, [this] { OnZen(); }, true);
    Bind("otherRolloutButton", MenuGroup, none, true);
    Bind("optionsRolloutButton", MenuGroup, none, true);
    Bind("facebookButton", MenuGroup, [this] { PushScreen("Like"); }, true);
    Bind("leaderboardButton", MenuGroup, [this] { PushScreen("Leaderboards"); }, true);
    Bind("giftButton", MenuGroup, none, true);
    Bind("achievementsButton", MenuGroup, [this] { PushScreen("Achievements"); }, true);
    Bind("storeButton", MenuGroup, [this] { PushScreen("Store"); }, true);
    Bind("creditsButton", MenuGroup, [this] { PushScreen("Credits"); }, true);
    Bind("moregamesButton", MenuGroup, none, true);
    Bind("subscribeButton", MenuGroup, none, true);
    Bind("fullscreenButton", MenuGroup, [this] { ToggleFullscreen(); }, false);
    Bind("cursorTypeButton", MenuGroup, [this] { ToggleCursorType(); }, false);
    Bind("profileButton", MenuGroup, [this] { OpenSelectWindow(); }, false);
    Bind("profileSelectClose", SelectGroup, [this] { CloseSelectWindow(); }, false);
    Bind("createProfileButton", SelectGroup, [this] { OpenCreateWindow(); }, false);
    Bind("deleteProfileButton", SelectGroup, [this] { AskDeleteProfile(); }, false);
    for (int i = 0; i < 5; ++i) {
        char name[16];
        std::snprintf(name, sizeof(name), "profile%d", i);
        Bind(name, SelectGroup, [this, i] { SelectProfile(i); }, false);
    }
    Bind("createProfileOk", CreateGroup, [this] { OnCreateProfileOk(); }, false);
    Bind("createProfileCancel", CreateGroup, [this] { CloseCreateWindow(); }, false);
    Bind("dialogYes", DialogGroup, [this] { ConfirmDeleteProfile(); }, false);
    Bind("dialogNo", DialogGroup, [this] { CloseDialog(); }, false);
    Bind("soundButton", MenuGroup, [this] { OpenSoundWindow(); }, false);
    Bind("soundOptionsOk", SoundGroup, [this] { CloseSoundWindow(); }, false);
    Bind("soundOptionsCancel", SoundGroup, [this] { CancelSoundWindow(); }, false);
    BindSlider("soundSlider", [this](float v) { SetSoundVolume(v); });
    BindSlider("musicSlider", [this](float v) { SetMusicVolume(v); });

    soundHead = FindNode("SoundHead");
    musicHead = FindNode("MusicHead");
    if (soundHead)
        soundHeadStart = soundHead->get_position();
    if (musicHead)
        musicHeadStart = musicHead->get_position();
    if (Node* end = FindNode("SoundHeadEnd"))
        soundHeadEnd = end->get_position();
    if (Node* end = FindNode("MusicHeadEnd"))
        musicHeadEnd = end->get_position();
    nameInput = dynamic_cast<vadu::lib3d::node::Text*>(FindNode("NameInput"));

    ProfileManager* profiles = ProfileManager::Instance();
    PlayerProfile* player = Current();
    const bool hasProfile = profiles->GetProfileCount() > 0 && player;
    if (hasProfile) {
        SetMusicVolume(player->musicVolume);
        SetSoundVolume(player->soundVolume);
    }
    UpdateWelcome();
    Bind("closeButton", MenuGroup, [this] { OnClose(); }, false);
    EnableGroup(MenuGroup);
    gameplay::CheatCodes::Instance();
    if (hasProfile) {
        int64_t sum = 0;
        for (const LevelProfile& level : player->levels.levels) {
            if (level.mode == gameplay::Standard)
                sum += level.bestScore;
        }
        if (player->totalScoreStandard < sum)
            player->totalScoreStandard = sum > INT32_MAX ? INT32_MAX : static_cast<int32_t>(sum);
    }
    Bind("MPCButton", MenuGroup, [this] { OnWebsite(); }, false);

    if (Node* node = FindNode("FullscreenButton"); node && hasProfile) {
        fullscreenSprite = dynamic_cast<Sprite*>(node);
        if (fullscreenSprite)
            fullscreenSprite->set_frame(player->fullscreen ? "button_fullscreen_on" : "button_fullscreen_off");
    }
    if (Node* close = FindNode("CloseButton")) {
        GameSizes* sizes = GameSizes::Instance();
        if (sizes->screenWidth <= GetGameWindowSize().x) {
            Vector3 at = close->get_position();
            const float moved = at.x + sizes->screenWidth - sizes->fieldWidth - sizes->GetFieldOffsetX();
            if (moved != at.x) {
                at.x = moved;
                close->set_position(at);
            }
        }
    }
    otherRollout = MakeRollout("otherRolloutButton", "OtherRolloutContent", "OtherRolloutOffset");
    optionsRollout = MakeRollout("optionsRolloutButton", "OptionsRolloutContent", "OptionsRolloutOffset");

    Node* eye = FindNode("EYE");
    if (auto* eyeSprite = dynamic_cast<Sprite*>(eye))
        set_named_texture(*eyeSprite, "data/mainmenu/logo_eye.atlas");
    if (file_exists("fsdata/logo_a.png") && file_exists("fsdata/logo_na.png")) {
        if (auto* s = dynamic_cast<Sprite*>(FindNode("MPCButtonS")))
            s->set_texture("fsdata/logo_na", false);
        if (auto* h = dynamic_cast<Sprite*>(FindNode("MPCButtonH")))
            h->set_texture("fsdata/logo_a", false);
        mpcButton = dynamic_cast<Sprite*>(FindNode("MPCButton"));
        if (mpcButton)
            mpcButton->set_texture("fsdata/logo_na", false);
    }
    if (eye) {
        auto* action = new AnimationAction(eye, "/mainmenu/logo_eye.anim");
        action->SetLoop(true);
        ActionManager::Global().RunAction(eye, action, "EYE Animation");
    }
    OnActivate();

    if (!hasProfile) {
        OpenSelectWindow();
        OpenCreateWindow();
        nameBuffer = u"Player";
        ShowName();
        UpdateNameState();
    } else if (FirstInit()) {
        SetLevelMapStartPage();
        FirstInit() = false;
    }
}

std::unique_ptr<RolloutControl> MainMenuScreen::MakeRollout(const char* button, const char* content,
                                                            const char* offset)
{
    Node* contentNode = FindNode(content);
    Node* offsetNode = FindNode(offset);
    const Vector3 p = contentNode ? contentNode->get_position() : Vector3{};
    const Vector3 o = offsetNode ? offsetNode->get_position() : Vector3{};
    return std::make_unique<RolloutControl>(GetSite(), button, content, Vector3{p.x + o.x, p.y + o.y, p.z + o.z}, p);
}

void MainMenuScreen::OnActivate()
{
    ProfileManager* profiles = ProfileManager::Instance();
    PlayerProfile* player = Current();
    if (!profiles || profiles->GetProfileCount() == 0 || !player)
        return;
    SoundManager* sound = SoundManager::Instance();
    sound->soundOn = player->soundOn;
    sound->musicOn = player->musicOn;
    sound->set_volume(sound->musicOn && sound->pauseCount == 0 ? sound->musicVolume : 0.0);
    SetMusicVolume(player->musicVolume);
    SetSoundVolume(player->soundVolume);
    const bool zen = player->IsZenUnlocked();
    if (auto* zenButton = dynamic_cast<Sprite*>(FindNode("ZenButton")))
        zenButton->set_frame(zen ? "button_zen" : "button_zen_off");
    Show("UnlockMessage", !zen, true);
    if (host->IsFullscreen() != (player->fullscreen != 0))
        ToggleFullscreen();
    if (host->GetCursorType() != player->cursorType)
        ToggleCursorType();
}

void MainMenuScreen::OnUpdate(double dt)
{
    if (otherRollout)
        otherRollout->Update(static_cast<float>(dt));
    if (optionsRollout)
        optionsRollout->Update(static_cast<float>(dt));
    ActionManager::Global().Update(static_cast<float>(dt));
}

void MainMenuScreen::EnableGroup(int group)
{
    for (auto& [control, owner] : buttonGroups)
        control->SetEnabled(owner == group);
    activeGroup = group;
}

void MainMenuScreen::Show(const vadu::Atom& name, bool visible, bool topOnly)
{
    Node* node = topOnly ? FindTopNode(name) : FindNode(name);
    if (node && node->is_visible() != visible)
        node->set_visible(visible);
}

void MainMenuScreen::OnPlay()
{
    GameMode = gameplay::Standard;
    ChangeScreen("Game");
}

void MainMenuScreen::OnZen()
{
    PlayerProfile* player = Current();
    if (!player || !player->IsZenUnlocked())
        return;
    GameMode = gameplay::Zen;
    ChangeScreen("Game");
}

void MainMenuScreen::ToggleFullscreen()
{
    host->ToggleFullscreen();
    const bool on = host->IsFullscreen();
    if (fullscreenSprite)
        fullscreenSprite->set_frame(on ? "button_fullscreen_on" : "button_fullscreen_off");
    if (PlayerProfile* player = Current())
        player->fullscreen = on ? 1 : 0;
}

void MainMenuScreen::ToggleCursorType()
{
    const uint8_t type = host->GetCursorType() ? 0 : 1;
    host->SetCursorType(type);
    if (PlayerProfile* player = Current())
        player->cursorType = type;
}

void MainMenuScreen::OnClose()
{
    if (host->AskQuit())
        host->Quit();
}

void MainMenuScreen::OnWebsite()
{
    host->OpenWebsite();
}

void MainMenuScreen::OpenSoundWindow()
{
    Show("SoundWindow", true);
    EnableGroup(SoundGroup);
    if (PlayerProfile* player = Current()) {
        savedSoundVolume = player->soundVolume;
        savedMusicVolume = player->musicVolume;
    }
}

void MainMenuScreen::CloseSoundWindow()
{
    Show("SoundWindow", false);
    EnableGroup(MenuGroup);
}

void MainMenuScreen::CancelSoundWindow()
{
    CloseSoundWindow();
    SetMusicVolume(savedMusicVolume);
    SetSoundVolume(savedSoundVolume);
}

void MainMenuScreen::SetMusicVolume(float volume)
{
    if (musicHead) {
        const Vector3 target{musicHeadStart.x + (musicHeadEnd.x - musicHeadStart.x) * volume, musicHeadStart.y,
                             musicHeadStart.z};
        ActionManager::Global().RunAction(musicHead, new MoveAction(musicHead, 0.1f, musicHead->get_position(), target),
                                          "SliderHeadMove");
    }
    SoundManager* sound = SoundManager::Instance();
    sound->musicVolume = volume;
    sound->set_volume(volume);
    if (PlayerProfile* player = Current())
        player->musicVolume = volume;
}

void MainMenuScreen::SetSoundVolume(float volume)
{
    if (soundHead) {
        const Vector3 target{soundHeadStart.x + (soundHeadEnd.x - soundHeadStart.x) * volume, soundHeadStart.y,
                             soundHeadStart.z};
        ActionManager::Global().RunAction(soundHead, new MoveAction(soundHead, 0.1f, soundHead->get_position(), target),
                                          "SliderHeadMove");
    }
    SoundManager::Instance()->soundVolume = volume;
    if (PlayerProfile* player = Current())
        player->soundVolume = volume;
}

void MainMenuScreen::OnSliderScale(game::controls::Control* slider, float scale)
{
    PlayClick();
    Node* node = slider ? FindNode(vadu::Atom(slider->GetNodeName())) : nullptr;
    if (!node)
        return;
    ActionManager::Global().RunAction(node, new ScaleAction(node, 0.1f, node->get_scale(), {scale, scale, 1.0f}),
                                      "SliderHeadScale");
}

const char* MainMenuScreen::SlotPicture(int slot, int current)
{
    return slot == current ? "data/profilemenu/button_profile_unselect" : "data/profilemenu/button_profile_select";
}

void MainMenuScreen::SetLevelMapStartPage()
{
    PlayerProfile* player = ProfileManager::Instance()->current;
    LevelMapPageStandard = player ? level_map::StartPage(player->levels.levels) : 0;
    LevelMapPageZen = 0;
}

void MainMenuScreen::OpenSelectWindow()
{
    PlayClick();
    Show("SelectWindow", true);
    EnableGroup(SelectGroup);
    UpdateProfileList();
}

void MainMenuScreen::CloseSelectWindow()
{
    Show("SelectWindow", false);
    EnableGroup(MenuGroup);
    OnActivate();
}

void MainMenuScreen::SelectProfile(int index)
{
    PlayClick();
    ProfileManager* profiles = ProfileManager::Instance();
    if (profiles->GetProfileCount() > index)
        profiles->SetCurrent(index);
    UpdateProfileList();
}

void MainMenuScreen::OpenCreateWindow()
{
    PlayClick();
    Show("CreateWindow", true);
    EnableGroup(CreateGroup);
}

void MainMenuScreen::CloseCreateWindow()
{
    nameBuffer.clear();
    ShowName();
    Show("CreateWindow", false);
    Show("CreateProfileOk", false);
    Show("NameWarning", false);
    EnableGroup(SelectGroup);
}

void MainMenuScreen::OnCreateProfileOk()
{
    ProfileManager::Instance()->CreateProfile(profile_names::ToNarrow(nameBuffer, profile_names::IsRussianLocale()));
    CloseCreateWindow();
    UpdateProfileList();
}

void MainMenuScreen::AskDeleteProfile()
{
    ProfileManager* profiles = ProfileManager::Instance();
    if (profiles->GetProfileCount() <= 1)
        return;
    Show("YesNoDialog", true);
    std::u16string text = phrase(GetSite(), "delete_player");
    if (PlayerProfile* player = Current())
        fill_phrase(text, profile_names::ToWide(player->name, profile_names::IsRussianLocale()));
    if (Node* dialog = FindNode("YesNoDialog"))
        set_text(dialog->find_child("Text", true), text);
    EnableGroup(DialogGroup);
}

void MainMenuScreen::ConfirmDeleteProfile()
{
    ProfileManager* profiles = ProfileManager::Instance();
    profiles->DeleteProfile(profiles->GetCurrentIndex());
    UpdateProfileList();
    CloseDialog();
}

void MainMenuScreen::CloseDialog()
{
    Show("YesNoDialog", false);
    EnableGroup(SelectGroup);
}

void MainMenuScreen::UpdateWelcome()
{
    ProfileManager* profiles = ProfileManager::Instance();
    PlayerProfile* player = Current();
    if (profiles->GetProfileCount() == 0 || !player)
        return;
    std::u16string text = phrase(GetSite(), "welcome");
    if (fill_phrase(text, profile_names::ToWide(player->name, profile_names::IsRussianLocale())))
        set_text(FindNode("Welcome"), text);
}

void MainMenuScreen::UpdateProfileList()
{
    UpdateWelcome();
    ProfileManager* profiles = ProfileManager::Instance();
    const int current = profiles->GetCurrentIndex();
    const int count = profiles->GetProfileCount();
    Show("CreateProfile", count < ProfileManager::MaxProfiles);
    Show("DeleteProfile", count > 1);
    const bool russian = profile_names::IsRussianLocale();
    for (int i = 0; i < 5; ++i) {
        char name[16];
        std::snprintf(name, sizeof(name), "Profile%d", i);
        Node* slot = FindNode(name);
        if (!slot)
            continue;
        slot->change_attribute("Src", vadu::filesystem::String(SlotPicture(i, current), true));
        const std::u16string shown = i < count ? profile_names::ToWide(profiles->GetProfile(i)->name, russian) : u"";
        set_text(slot->find_child("Name", true), shown);
    }
}

void MainMenuScreen::ShowName()
{
    if (nameInput)
        nameInput->set_text(to_wstring(nameBuffer), false);
}

void MainMenuScreen::UpdateNameState()
{
    ProfileManager* profiles = ProfileManager::Instance();
    const bool russian = profile_names::IsRussianLocale();
    const bool taken = profiles->HasName(profile_names::ToNarrow(nameBuffer, russian));
    Show("CreateProfileOk", profile_names::IsValidName(nameBuffer, russian) && !taken);
    Show("CreateProfileCancel", profiles->GetProfileCount() > 0);
    Show("NameWarning", taken);
}

void MainMenuScreen::OnKey(vadu::input::Event& event)
{
    if (activeGroup == CreateGroup && event.device == "Keyboard") {
        if (event.control == "BackSpace") {
            if (event.kind == vadu::input::Event::pressed && !nameBuffer.empty()) {
                nameBuffer.pop_back();
                ShowName();
            }
        } else if (event.control == "Enter") {
            Node* ok = FindNode("CreateProfileOk");
            if (ok && ok->is_visible())
                OnCreateProfileOk();
        } else if (nameBuffer.size() < kMaxNameLength && event.kind == vadu::input::Event::character) {
            const std::u16string typed(event.text.data(), event.text.size());
            if (profile_names::IsValidName(typed, profile_names::IsRussianLocale())) {
                nameBuffer += typed;
                if (nameBuffer.size() > kMaxNameLength)
                    nameBuffer.resize(kMaxNameLength);
                ShowName();
            }
        }
        UpdateNameState();
    }
    if (event.device == "Mouse")
        UpdatePointer();
}

void MainMenuScreen::UpdatePointer()
{
    if (!mpcButton)
        return;
    const vadu::math::Vector2<float> window = GetGameWindowSize();
    GameSizes* sizes = GameSizes::Instance();
    const float shift = sizes->screenWidth <= window.x ? sizes->GetFieldOffsetX() : 0.0f;
    const vadu::math::Vector2<float> axes = host->GetPointerAxes();
    const float x = (axes.x + 1.0f) * window.x * 0.5f - shift;
    const float y = (1.0f - axes.y) * window.y * 0.5f;
    const auto rect = mpcButton->get_global_rect();
    const float half_w = rect[2] * 0.5f;
    const float half_h = rect[3] * 0.5f;
    const bool inside = std::fabs(x - (rect[0] + half_w)) < half_w && std::fabs(y - (rect[1] + half_h)) < half_h;
    if (inside && !mpcHover) {
        mpcButton->set_texture("fsdata/logo_a", false);
        mpcHover = 1;
    } else if (!inside && mpcHover) {
        mpcButton->set_texture("fsdata/logo_na", false);
        mpcHover = 0;
    }
}
