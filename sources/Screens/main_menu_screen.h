#pragma once

// The main menu: play in Standard or Zen mode, the pushed screens, the sound window with its
// sliders, full screen and cursor switches, the publisher's page, quitting, two sliding
// panels, and the player profiles with the name entry.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sources/Screens/menu_screen.h"
#include "sources/Screens/rollout_control.h"
#include "vadu/input.h"
#include "vadu/math.h"

class PlayerProfile;

namespace vadu::lib3d::node {
class Node;
class Sprite;
class Text;
} // namespace vadu::lib3d::node

// What the main menu asks of the application and its window.
class MainMenuHost {
public:
    virtual ~MainMenuHost() = default;
    virtual bool IsFullscreen() = 0;
    virtual void ToggleFullscreen() = 0;
    virtual uint8_t GetCursorType() = 0;
    // 0: the game draws its cursor; 1: the system cursor shows.
    virtual void SetCursorType(uint8_t type) = 0;
    // The quit question; true when the player agrees.
    virtual bool AskQuit() = 0;
    virtual void Quit() = 0;
    // "%app_path%/website.url" through the shell's "open".
    virtual void OpenWebsite() = 0;
    // The pointer's axes of the "Mouse" device, -1..1 with y -1 at the top.
    virtual vadu::math::Vector2<float> GetPointerAxes() = 0;
};

// The host over the game's application (null application: nothing happens).
std::unique_ptr<MainMenuHost> MakeApplicationHost();

namespace profile_names {
// A name may hold A-Z, a-z and 0-9, and under the locale "ru" also U+0410 to U+044F.
bool IsValidName(const std::u16string& text, bool russian);
// Profiles keep narrow names: Windows-1251 under "ru" (the 1252 page has no Cyrillic),
// else the engine's 1252.
vadu::String ToNarrow(const std::u16string& text, bool russian);
std::u16string ToWide(const vadu::String& text, bool russian);
// Whether the system locale is "ru".
bool IsRussianLocale();
} // namespace profile_names

class MainMenuScreen : public MenuScreen, public vadu::input::Listener {
public:
    enum Group { MenuGroup = 0, SelectGroup = 1, CreateGroup = 2, DialogGroup = 3, SoundGroup = 4 };
    static constexpr size_t kMaxNameLength = 8;

    explicit MainMenuScreen(std::unique_ptr<MainMenuHost> host = nullptr);
    // Empties the global ActionManager before anything else goes.
    ~MainMenuScreen() override;

    void OnActivate() override;
    void on_event(vadu::input::Event& event) override { OnKey(event); }

    void EnableGroup(int group);
    int GetActiveGroup() const noexcept { return activeGroup; }
    const std::u16string& GetNameBuffer() const noexcept { return nameBuffer; }

    // Handlers.
    void OnPlay();
    void OnZen();
    void ToggleFullscreen();
    void ToggleCursorType();
    void OnClose();
    void OnWebsite();
    void OpenSoundWindow();
    void CloseSoundWindow();
    void CancelSoundWindow();
    void SetMusicVolume(float volume);
    void SetSoundVolume(float volume);
    void OpenSelectWindow();
    void CloseSelectWindow();
    void SelectProfile(int index);
    void OpenCreateWindow();
    void CloseCreateWindow();
    void OnCreateProfileOk();
    void AskDeleteProfile();
    void ConfirmDeleteProfile();
    void CloseDialog();
    void UpdateWelcome();
    void UpdateProfileList();
    void UpdateNameState();
    void OnKey(vadu::input::Event& event);

    // The picture of profile slot i when the current profile sits at position current.
    static const char* SlotPicture(int slot, int current);
    // Page of the highest open Standard level not yet completed; Zen starts at page 0.
    static void SetLevelMapStartPage();
    // Cleared after the first set-up that finds a profile.
    static bool& FirstInit();

    RolloutControl* GetOptionsRollout() const noexcept { return optionsRollout.get(); }
    RolloutControl* GetOtherRollout() const noexcept { return otherRollout.get(); }
    // The pointer is over the publisher's logo (its lit picture is shown).
    bool IsPublisherHovered() const noexcept { return mpcHover != 0; }

protected:
    void Init() override;
    void OnUpdate(double dt) override;

private:
    void Bind(const vadu::Atom& name, int group, std::function<void()> handler, bool click);
    void BindSlider(const vadu::Atom& name, std::function<void(float)> handler);
    void OnSliderScale(game::controls::Control* slider, float scale);
    void ShowName();
    void UpdatePointer();
    void Show(const vadu::Atom& name, bool visible, bool topOnly = false);
    std::unique_ptr<RolloutControl> MakeRollout(const char* button, const char* content, const char* offset);
    PlayerProfile* Current() const;

    std::unique_ptr<MainMenuHost> host;
    std::unique_ptr<RolloutControl> optionsRollout;
    std::unique_ptr<RolloutControl> otherRollout;
    vadu::lib3d::node::Node* soundHead = nullptr;
    vadu::lib3d::node::Node* musicHead = nullptr;
    vadu::lib3d::node::Sprite* mpcButton = nullptr;
    uint8_t mpcHover = 0;
    vadu::math::Vector3 soundHeadStart;
    vadu::math::Vector3 musicHeadStart;
    vadu::math::Vector3 soundHeadEnd;
    vadu::math::Vector3 musicHeadEnd;
    vadu::lib3d::node::Sprite* fullscreenSprite = nullptr;
    vadu::lib3d::node::Text* nameInput = nullptr;
    std::vector<std::pair<game::controls::Control*, int>> buttonGroups;
    std::vector<std::pair<game::controls::Slider*, std::vector<uint32_t>>> sliderConnections;
    int activeGroup = MenuGroup;
    float savedSoundVolume = 1.0f;
    float savedMusicVolume = 1.0f;
    std::u16string nameBuffer;
};
