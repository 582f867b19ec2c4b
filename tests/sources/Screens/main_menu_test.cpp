// The main menu: groups, the no-profile start, the name entry, the profile panel, the sound
// window, Zen, full screen, cursor and quitting.

#include <gtest/gtest.h>

#include <map>

#include "game/text_service.h"
#include "menu_test_support.h"
#include "sources/Screens/main_menu_screen.h"
#include "sources/sound_manager.h"
#include "vadu/resource_loader.h"

namespace {

using menu_test::MenuTest;
using menu_test::to_std;

class FakeHost : public MainMenuHost {
public:
    bool IsFullscreen() override { return fullscreen; }
    void ToggleFullscreen() override { fullscreen = !fullscreen; }
    uint8_t GetCursorType() override { return cursor; }
    void SetCursorType(uint8_t type) override { cursor = type; }
    bool AskQuit() override
    {
        ++questions;
        return answer;
    }
    void Quit() override { quit = true; }
    void OpenWebsite() override { ++websites; }
    vadu::math::Vector2<float> GetPointerAxes() override { return pointer; }

    bool fullscreen = true;
    uint8_t cursor = 0;
    bool answer = false;
    bool quit = false;
    int questions = 0;
    int websites = 0;
    vadu::math::Vector2<float> pointer{0.0f, 0.0f};
};

class Phrases : public game::TextService {
public:
    bool Load(vadu::Stream&) override { return true; }
    const vadu::WString& GetPhrase(const vadu::Atom&, const vadu::Atom&, const vadu::Atom& phrase) override
    {
        static const vadu::WString welcome(u"Hello, %s! (%s)");
        static const vadu::WString remove(u"Delete %s?");
        static const vadu::WString none(u"");
        if (phrase == vadu::Atom("welcome"))
            return welcome;
        if (phrase == vadu::Atom("delete_player"))
            return remove;
        return none;
    }
};

class RussianPlatform : public vadu::PlatformInfo {
public:
    vadu::String get_locale() override { return "ru"; }
};

class MainMenuTest : public MenuTest {
protected:
    void SetUp() override
    {
        MenuTest::SetUp();
        WriteGameFile("data/default.camera", R"(<Camera><CameraParallel Width="960" Height="640"/></Camera>)");
        provider->Register<game::TextService>(std::make_unique<Phrases>());
        MainMenuScreen::FirstInit() = true;
    }
    void TearDown() override
    {
        vadu::PlatformInfo::install(nullptr);
        MenuTest::TearDown();
    }

    MainMenuScreen* open()
    {
        for (const char* name :
             {"playButton", "zenButton", "facebookButton", "leaderboardButton", "giftButton", "achievementsButton",
              "storeButton", "creditsButton", "moregamesButton", "subscribeButton", "fullscreenButton",
              "cursorTypeButton", "profileButton", "profileSelectClose", "createProfileButton", "deleteProfileButton",
              "profile0", "profile1", "profile2", "profile3", "profile4", "createProfileOk", "createProfileCancel",
              "dialogYes", "dialogNo", "soundButton", "soundOptionsOk", "soundOptionsCancel", "closeButton",
              "MPCButton"})
            button(name);
        button("otherRolloutButton");
        button("optionsRolloutButton");
        node("OtherRolloutContent", nullptr, 100.0f, 0.0f);
        node("OtherRolloutOffset", nullptr, 0.0f, -200.0f);
        node("OptionsRolloutContent", nullptr, 700.0f, 0.0f);
        node("OptionsRolloutOffset", nullptr, 0.0f, -200.0f);
        slider("soundSlider");
        slider("musicSlider");
        vadu::lib3d::node::Node* window = node("SoundWindow");
        window->set_visible(false);
        node("SoundHead", window, 10.0f, 5.0f);
        node("SoundHeadEnd", window, 210.0f, 5.0f);
        node("MusicHead", window, 10.0f, 50.0f);
        node("MusicHeadEnd", window, 110.0f, 50.0f);
        text("NameInput");
        node("UnlockMessage");
        text("Welcome");
        vadu::lib3d::node::Node* menu = node("ProfileMenu");
        for (const char* name : {"SelectWindow", "CreateWindow"})
            node(name, menu)->set_visible(false);
        vadu::lib3d::node::Node* dialog = node("YesNoDialog");
        dialog->set_visible(false);
        text("Text", dialog);
        for (int i = 0; i < 5; ++i)
            text("Name", node(("Profile" + std::to_string(i)).c_str()));
        for (const char* name : {"CreateProfile", "DeleteProfile", "CreateProfileOk", "CreateProfileCancel",
                                 "NameWarning"})
            node(name)->set_visible(false);
        auto made = std::make_unique<FakeHost>();
        host = made.get();
        return menu_screen = attach(std::make_unique<MainMenuScreen>(std::move(made)));
    }
    bool visible(const char* name) { return find(name)->is_visible(); }
    bool enabled(const char* name) { return control(name)->IsEnabled(); }
    void type(const std::u16string& characters)
    {
        for (char16_t c : characters) {
            vadu::input::Event event("Keyboard", vadu::WString(&c, &c + 1), 0.0);
            menu_screen->OnKey(event);
        }
    }
    void key(const char* name, bool pressed)
    {
        vadu::input::Event event("Keyboard", name, pressed, 0.0);
        menu_screen->OnKey(event);
    }
    PlayerProfile* profile(const char* name)
    {
        ProfileManager::Instance()->CreateProfile(name);
        return ProfileManager::Instance()->current;
    }
    std::string slot_name(int i)
    {
        return text_of(find(("Profile" + std::to_string(i)).c_str())->find_child("Name", true));
    }

    MainMenuScreen* menu_screen = nullptr;
    FakeHost* host = nullptr;
};

TEST_F(MainMenuTest, AFirstStartAsksForANameAndEnterCreatesThePlayer)
{
    SoundManager::Instance()->soundVolume = 0.25f;
    open();
    EXPECT_TRUE(visible("SelectWindow"));
    EXPECT_TRUE(visible("CreateWindow"));
    EXPECT_EQ(menu_screen->GetNameBuffer(), u"Player");
    EXPECT_EQ(text_of(find("NameInput")), "Player");
    EXPECT_EQ(menu_screen->GetActiveGroup(), MainMenuScreen::CreateGroup);
    EXPECT_TRUE(enabled("createProfileOk"));
    for (const char* name : {"playButton", "profile0", "dialogYes", "soundOptionsOk", "soundSlider"})
        EXPECT_FALSE(enabled(name)) << name;
    EXPECT_TRUE(visible("CreateProfileOk"));
    EXPECT_FALSE(visible("CreateProfileCancel")) << "no way out without a profile";
    EXPECT_FLOAT_EQ(SoundManager::Instance()->soundVolume, 0.25f) << "no sound settings applied";

    key("Enter", false);
    ASSERT_EQ(ProfileManager::Instance()->GetProfileCount(), 1);
    EXPECT_EQ(to_std(ProfileManager::Instance()->current->name), "Player");
    EXPECT_FALSE(visible("CreateWindow"));
    EXPECT_EQ(menu_screen->GetActiveGroup(), MainMenuScreen::SelectGroup);
    EXPECT_EQ(text_of(find("Welcome")), "Hello, Player! (%s)");
    EXPECT_EQ(slot_name(0), "Player");
}

// The name offered at a first start counts as typed: typing goes on after it, up to the
// eight characters, and Backspace takes it back letter by letter, so what is typed into
// the emptied box is the name exactly.
TEST_F(MainMenuTest, TheOfferedNameIsTypedTextThatTypingExtends)
{
    open();
    ASSERT_EQ(menu_screen->GetNameBuffer(), u"Player");
    type(u"Nell");
    EXPECT_EQ(menu_screen->GetNameBuffer(), u"PlayerNe");
    EXPECT_EQ(text_of(find("NameInput")), "PlayerNe");
    for (int i = 0; i < 8; ++i)
        key("BackSpace", true);
    EXPECT_EQ(menu_screen->GetNameBuffer(), u"");
    EXPECT_FALSE(visible("CreateProfileOk"));
    type(u"Nell");
    EXPECT_EQ(menu_screen->GetNameBuffer(), u"Nell");
    EXPECT_EQ(text_of(find("NameInput")), "Nell");
    key("Enter", false);
    ASSERT_EQ(ProfileManager::Instance()->GetProfileCount(), 1);
    EXPECT_EQ(to_std(ProfileManager::Instance()->current->name), "Nell");
}

TEST_F(MainMenuTest, TheNameEntryTakesEightValidCharacters)
{
    profile("Ann");
    open();
    click(control("profileButton"));
    click(control("createProfileButton"));
    ASSERT_EQ(menu_screen->GetActiveGroup(), MainMenuScreen::CreateGroup);
    struct Step {
        const char* what;
        std::function<void()> act;
        std::u16string buffer;
        bool ok;
    };
    const std::vector<Step> steps = {
        {"backspace on empty", [&] { key("BackSpace", true); }, u"", false},
        {"letters and digits", [&] { type(u"Bo9"); }, u"Bo9", true},
        {"space, underscore, accent", [&] { type(u" _\u00e9-"); }, u"Bo9", true},
        {"a key press alone", [&] { key("X", true); }, u"Bo9", true},
        {"Cyrillic outside ru", [&] { type(u"\u0416"); }, u"Bo9", true},
        {"up to eight", [&] { type(u"abcdefg"); }, u"Bo9abcde", true},
        {"backspace", [&] { key("BackSpace", true); }, u"Bo9abcd", true},
        {"backspace released", [&] { key("BackSpace", false); }, u"Bo9abcd", true},
        {"a taken name", [&] {
             for (int i = 0; i < 7; ++i)
                 key("BackSpace", true);
             type(u"Ann");
         },
         u"Ann", false},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(menu_screen->GetNameBuffer(), step.buffer) << step.what;
        EXPECT_EQ(visible("CreateProfileOk"), step.ok) << step.what;
    }
    EXPECT_TRUE(visible("NameWarning"));
    EXPECT_TRUE(visible("CreateProfileCancel"));
    key("Enter", true);
    EXPECT_EQ(ProfileManager::Instance()->GetProfileCount(), 1) << "Enter with OK hidden creates nothing";
}

TEST_F(MainMenuTest, CyrillicNamesOnlyUnderRussianAndTheyRoundTrip)
{
    EXPECT_FALSE(profile_names::IsValidName(u"\u0418\u0432\u0430\u043d", false));
    EXPECT_TRUE(profile_names::IsValidName(u"\u0418\u0432\u0430\u043d", true));
    EXPECT_FALSE(profile_names::IsValidName(u"\u0451", true)) << "small io is outside the range";
    EXPECT_FALSE(profile_names::IsValidName(u"", true));

    vadu::PlatformInfo::install(new RussianPlatform);
    profile("Ann");
    open();
    click(control("profileButton"));
    click(control("createProfileButton"));
    type(u"\u0418\u0432\u0430\u043d7\u0451");
    EXPECT_EQ(menu_screen->GetNameBuffer(), u"\u0418\u0432\u0430\u043d7");
    key("Enter", true);
    PlayerProfile* created = ProfileManager::Instance()->current;
    ASSERT_NE(to_std(created->name), "Ann");
    // The bytes a 1251 system stores.
    EXPECT_EQ(to_std(created->name), "\xC8\xE2\xE0\xED" "7");
    EXPECT_EQ(profile_names::ToWide(created->name, true), u"\u0418\u0432\u0430\u043d7");
    EXPECT_EQ(slot_name(1), "????7");
}

TEST_F(MainMenuTest, TheSelectWindowListsSwitchesAndDeletesProfiles)
{
    profile("Ann");
    profile("Bob");
    profile("Cyd");
    ProfileManager::Instance()->SetCurrent(1);
    open();
    EXPECT_EQ(menu_screen->GetActiveGroup(), MainMenuScreen::MenuGroup);
    EXPECT_EQ(text_of(find("Welcome")), "Hello, Bob! (%s)");
    click(control("profileButton"));
    EXPECT_EQ(menu_screen->GetActiveGroup(), MainMenuScreen::SelectGroup);
    EXPECT_EQ((std::vector<std::string>{slot_name(0), slot_name(1), slot_name(2), slot_name(3), slot_name(4)}),
              (std::vector<std::string>{"Ann", "Bob", "Cyd", "", ""}));
    EXPECT_TRUE(visible("CreateProfile"));
    EXPECT_TRUE(visible("DeleteProfile"));
    for (int slot = 0; slot < 5; ++slot)
        EXPECT_EQ(std::string(MainMenuScreen::SlotPicture(slot, 1)),
                  slot == 1 ? "data/profilemenu/button_profile_unselect" : "data/profilemenu/button_profile_select");

    click(control("profile4"));
    EXPECT_EQ(ProfileManager::Instance()->GetCurrentIndex(), 1) << "an empty slot selects nothing";
    click(control("profile2"));
    EXPECT_EQ(ProfileManager::Instance()->GetCurrentIndex(), 2);

    click(control("deleteProfileButton"));
    EXPECT_EQ(menu_screen->GetActiveGroup(), MainMenuScreen::DialogGroup);
    EXPECT_EQ(text_of(find("YesNoDialog")->find_child("Text", true)), "Delete Cyd?");
    click(control("dialogNo"));
    EXPECT_EQ(ProfileManager::Instance()->GetProfileCount(), 3);
    click(control("deleteProfileButton"));
    click(control("dialogYes"));
    EXPECT_EQ(ProfileManager::Instance()->GetProfileCount(), 2);
    EXPECT_EQ(slot_name(2), "");
    EXPECT_EQ(menu_screen->GetActiveGroup(), MainMenuScreen::SelectGroup);

    // With no current profile the dialog deletes nothing.
    ProfileManager::Instance()->SetCurrent(-1);
    menu_screen->ConfirmDeleteProfile();
    EXPECT_EQ(ProfileManager::Instance()->GetProfileCount(), 2);
    click(control("profileSelectClose"));
    EXPECT_EQ(menu_screen->GetActiveGroup(), MainMenuScreen::MenuGroup);
}

TEST_F(MainMenuTest, SoundWindowCancelRestoresHeadsAndVolumesAfterSeveralMoves)
{
    PlayerProfile* ann = profile("Ann");
    ann->soundVolume = 0.5f;
    ann->musicVolume = 0.2f;
    open();
    menu_screen->Update(0.2);
    EXPECT_NEAR(find("SoundHead")->get_position().x, 110.0f, 1e-3f);
    EXPECT_NEAR(find("MusicHead")->get_position().x, 30.0f, 1e-3f);

    click(control("soundButton"));
    EXPECT_TRUE(visible("SoundWindow"));
    EXPECT_TRUE(enabled("soundSlider"));
    EXPECT_FALSE(enabled("playButton"));
    auto* sound = dynamic_cast<game::controls::Slider*>(control("soundSlider"));
    auto* music = dynamic_cast<game::controls::Slider*>(control("musicSlider"));
    for (float v : {0.9f, 0.1f, 1.0f}) {
        sound->value_changed.Emit(sound, v);
        music->value_changed.Emit(music, v);
        menu_screen->Update(0.2);
    }
    EXPECT_FLOAT_EQ(ann->soundVolume, 1.0f);
    EXPECT_FLOAT_EQ(SoundManager::Instance()->musicVolume, 1.0f);
    EXPECT_NEAR(find("SoundHead")->get_position().x, 210.0f, 1e-3f);

    click(control("soundOptionsCancel"));
    menu_screen->Update(0.2);
    EXPECT_FALSE(visible("SoundWindow"));
    EXPECT_EQ(menu_screen->GetActiveGroup(), MainMenuScreen::MenuGroup);
    EXPECT_FLOAT_EQ(ann->soundVolume, 0.5f);
    EXPECT_FLOAT_EQ(ann->musicVolume, 0.2f);
    EXPECT_FLOAT_EQ(SoundManager::Instance()->soundVolume, 0.5f);
    EXPECT_NEAR(SoundManager::Instance()->get_volume(), 0.2, 1e-6);
    EXPECT_NEAR(find("SoundHead")->get_position().x, 110.0f, 1e-3f);
    EXPECT_NEAR(find("MusicHead")->get_position().x, 30.0f, 1e-3f);
}

TEST_F(MainMenuTest, PlayZenAndThePushedScreens)
{
    PlayerProfile* ann = profile("Ann");
    open();
    EXPECT_TRUE(visible("UnlockMessage"));
    click(control("zenButton"));
    EXPECT_TRUE(screens->requests.empty()) << "a locked Zen only clicks";
    EXPECT_EQ(sounds.back(), "click");
    for (const char* name : {"facebookButton", "leaderboardButton", "achievementsButton", "storeButton",
                             "creditsButton", "giftButton"})
        click(control(name));
    EXPECT_EQ(screens->requests, (std::vector<std::string>{"push Like", "push Leaderboards", "push Achievements",
                                                           "push Store", "push Credits"}));
    ann->zenUnlocked = 1;
    menu_screen->OnActivate();
    EXPECT_FALSE(visible("UnlockMessage"));
    click(control("zenButton"));
    EXPECT_EQ(GameMode, 1);
    click(control("playButton"));
    EXPECT_EQ(GameMode, 0);
    EXPECT_EQ(screens->requests.back(), "change Game");
}

TEST_F(MainMenuTest, WindowSwitchesAreStoredAndQuittingNeedsAYes)
{
    PlayerProfile* ann = profile("Ann");
    ann->fullscreen = 1;
    ann->cursorType = 0;
    open();
    const size_t clicks = sounds.size();
    click(control("fullscreenButton"));
    EXPECT_FALSE(host->fullscreen);
    EXPECT_EQ(ann->fullscreen, 0);
    click(control("cursorTypeButton"));
    EXPECT_EQ(host->cursor, 1);
    EXPECT_EQ(ann->cursorType, 1);
    EXPECT_EQ(sounds.size(), clicks) << "these switches do not click";

    // The profile's state comes back when the menu is shown again.
    ann->fullscreen = 1;
    ann->cursorType = 0;
    menu_screen->OnActivate();
    EXPECT_TRUE(host->fullscreen);
    EXPECT_EQ(host->cursor, 0);

    click(control("closeButton"));
    EXPECT_EQ(host->questions, 1);
    EXPECT_FALSE(host->quit);
    host->answer = true;
    click(control("closeButton"));
    EXPECT_TRUE(host->quit);
    click(control("MPCButton"));
    EXPECT_EQ(host->websites, 1);
}

// The logo sits off-centre (left 720, bottom 480, 120 x 80 in the 960 x 640 window), so a
// pointer read with its y axis the wrong way up lands far below it. Pointer positions are
// chosen so that the axes are exact binary fractions and the edges are hit exactly.
TEST_F(MainMenuTest, ThePublisherLogoLightsOnlyStrictlyInsideIt)
{
    // The two pictures are only loaded, never drawn: their bytes do not matter. The
    // loader reads through the same game folder as the rest.
    struct Loader : public virtual vadu::filesystem::Creator, public vadu::resource::ActiveMultithreaded::Creator {
        explicit Loader(vadu::filesystem::Factory factory) : vadu::filesystem::Creator(std::move(factory)) {}
    };
    const std::string game_root = game_.string() + "/";
    Loader loader([game_root] {
        return std::make_unique<vadu::filesystem::PathFileSystem>(
            vadu::filesystem::String(game_root.c_str(), false), std::make_unique<vadu::filesystem::NativeFileSystem>());
    });
    WriteGameFile("fsdata/logo_a.png", "lit");
    WriteGameFile("fsdata/logo_na.png", "unlit");
    auto* logo = sprite("MPCButton");
    logo->set_anchor(0.0f, 0.0f);
    logo->set_position({720.0f, 480.0f, 0.0f});
    logo->set_width(120.0f);
    logo->set_height(80.0f);
    profile("Ann");
    open();
    // Pixels from the left and from the bottom, as the scene counts them.
    auto point_at = [&](float x, float y) {
        host->pointer = {x / 480.0f - 1.0f, 1.0f - y / 320.0f};
        vadu::input::Event moved("Mouse", "Axis_X", false, 0.0);
        menu_screen->OnKey(moved);
        return menu_screen->IsPublisherHovered();
    };
    struct Case {
        const char* what;
        float x;
        float y;
        bool inside;
    };
    const Case cases[] = {
        {"the centre", 780.0f, 520.0f, true},
        {"the same point read upside down", 780.0f, 120.0f, false},
        {"just inside the left edge", 721.0f, 520.0f, true},
        {"the left edge", 720.0f, 520.0f, false},
        {"the right edge", 840.0f, 520.0f, false},
        {"just inside the top", 780.0f, 559.0f, true},
        {"the bottom edge", 780.0f, 480.0f, false},
        {"the top edge", 780.0f, 560.0f, false},
        {"the window's centre", 480.0f, 320.0f, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // From the other state, so that each case has to switch the picture.
        ASSERT_EQ(point_at(c.inside ? 480.0f : 780.0f, c.inside ? 320.0f : 520.0f), !c.inside);
        EXPECT_EQ(point_at(c.x, c.y), c.inside);
    }
    // The pictures go before their loader does.
    screen.reset();
}

TEST_F(MainMenuTest, TheFirstSetUpWithAProfilePicksTheLevelMapPages)
{
    PlayerProfile* ann = profile("Ann");
    for (LevelProfile& level : ann->levels.levels)
        level.bestScore = level.mode == 0 && level.number <= 2 ? 10 : 0;
    LevelMapPageZen = 3;
    LevelMapPageStandard = 5;
    open();
    EXPECT_EQ(LevelMapPageStandard, 0);
    EXPECT_EQ(LevelMapPageZen, 0);
    EXPECT_FALSE(MainMenuScreen::FirstInit());
    EXPECT_EQ(ann->totalScoreStandard, 20);
}

TEST_F(MainMenuTest, TheRolloutPanelsStartShut)
{
    profile("Ann");
    open();
    EXPECT_EQ(find("OtherRolloutContent")->get_position(), (vadu::math::Vector3{100.0f, -200.0f, 0.0f}));
    click(control("otherRolloutButton"));
    menu_screen->Update(0.3);
    EXPECT_NEAR(find("OtherRolloutContent")->get_position().y, 0.0f, 1e-3f);
}

} // namespace
