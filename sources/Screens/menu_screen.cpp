#include "sources/Screens/menu_screen.h"

#include "game/screen.h"
#include "game/screen_manager.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/decorations.h"
#include "sources/gameplay/level_loader.h"
#include "sources/sound_manager.h"
#include "vadu/exception.h"
#include "vadu/lib3d/node/node.h"

namespace {

std::unique_ptr<gameplay::Decorations> load_decorations(const vadu::filesystem::String& path)
{
    return gameplay::LevelLoader::LoadDecorationsOnly(path);
}

MenuScreen::DecorationsLoader& loader_slot()
{
    static MenuScreen::DecorationsLoader loader;
    return loader;
}

MenuScreen::ClickSound& click_slot()
{
    static MenuScreen::ClickSound sound;
    return sound;
}

MenuScreen::ClickSound& theme_slot()
{
    static MenuScreen::ClickSound music;
    return music;
}

} // namespace

MenuScreen::MenuScreen(const char* path) : decorationsPath(path, true) {}

MenuScreen::~MenuScreen()
{
    // The screen destroys its backend before its controls: the buttons are still there.
    for (const auto& [button, id] : connections)
        button->GetClickSignal().Disconnect(id);
}

void MenuScreen::SetDecorationsLoader(DecorationsLoader loader)
{
    loader_slot() = std::move(loader);
}

void MenuScreen::SetClickSound(ClickSound sound)
{
    click_slot() = std::move(sound);
}

void MenuScreen::PlayClick()
{
    if (click_slot())
        click_slot()();
    else
        PlaySound(gameplay::SoundId::ButtonClick);
}

void MenuScreen::SetMainTheme(ClickSound music)
{
    theme_slot() = std::move(music);
}

void MenuScreen::PlayMainTheme()
{
    if (theme_slot())
        theme_slot()();
    else
        SoundManager::Instance()->PlayMainTheme();
}

void MenuScreen::Update(double dt)
{
    if (!initialized)
        return;
    if (decorations)
        decorations->Update(static_cast<float>(dt));
    OnUpdate(dt);
}

void MenuScreen::OnUpdate(double dt)
{
    ActionManager::Global().Update(static_cast<float>(dt));
}

void MenuScreen::OnInitialized()
{
    decorations = loader_slot() ? loader_slot()(decorationsPath) : load_decorations(decorationsPath);
    vadu::lib3d::node::Node* parent = GetDecorationsParent();
    if (decorations && parent)
        decorations->Create(parent);
    initialized = true;
    Init();
}

vadu::lib3d::node::Node* MenuScreen::GetDecorationsParent() const
{
    vadu::lib3d::node::Node* parent = FindTopNode("DecorationsRoot");
    return parent ? parent : GetSceneRoot();
}

game::controls::Button* MenuScreen::GetButton(const vadu::Atom& name)
{
    game::ScreenSite* site = GetSite();
    game::controls::Control* control = site && site->GetScreen() ? site->GetScreen()->FindControl(name) : nullptr;
    auto* button = dynamic_cast<game::controls::Button*>(control);
    if (!button || control->GetTypeName() != vadu::Atom("Button"))
        throw vadu::Gluck("MenuScreen::GetButton", "Unable to find key " + name.get_name());
    return button;
}

game::controls::Slider* MenuScreen::GetSlider(const vadu::Atom& name)
{
    game::ScreenSite* site = GetSite();
    game::controls::Control* control = site && site->GetScreen() ? site->GetScreen()->FindControl(name) : nullptr;
    auto* slider = dynamic_cast<game::controls::Slider*>(control);
    if (!slider || control->GetTypeName() != vadu::Atom("Slider"))
        throw vadu::Gluck("MenuScreen::GetSlider", "Unable to find key " + name.get_name());
    return slider;
}

void MenuScreen::BindButton(const vadu::Atom& name, std::function<void()> handler)
{
    Connect(GetButton(name)->GetButtonImpl(), [handler = std::move(handler)](game::controls::Control*) { handler(); });
}

void MenuScreen::Connect(game::controls::ButtonImpl* button, std::function<void(game::controls::Control*)> handler)
{
    if (!button)
        return;
    connections.emplace_back(button, button->GetClickSignal().Connect(std::move(handler)));
}

vadu::lib3d::node::Node* MenuScreen::GetSceneRoot() const
{
    game::ScreenSite* site = GetSite();
    return site ? site->GetSceneRoot() : nullptr;
}

vadu::lib3d::node::Node* MenuScreen::FindNode(const vadu::Atom& name) const
{
    vadu::lib3d::node::Node* root = GetSceneRoot();
    return root ? root->find_child(name, true) : nullptr;
}

vadu::lib3d::node::Node* MenuScreen::FindTopNode(const vadu::Atom& name) const
{
    vadu::lib3d::node::Node* root = GetSceneRoot();
    if (!root)
        return nullptr;
    if (root->get_name() == name)
        return root;
    return root->find_child(name, false);
}

namespace {

game::ScreenManager* screen_manager(game::ScreenSite* site)
{
    game::ServiceProvider* provider = site ? site->GetServiceProvider() : nullptr;
    return provider ? provider->Get<game::ScreenManager>() : nullptr;
}

} // namespace

void MenuScreen::ChangeScreen(const char* exit)
{
    if (game::ScreenManager* manager = screen_manager(GetSite()))
        manager->ChangeScreen(exit, false);
}

void MenuScreen::PushScreen(const char* exit)
{
    if (game::ScreenManager* manager = screen_manager(GetSite()))
        manager->PushScreen(exit);
}

void MenuScreen::BackToMenu()
{
    PlayClick();
    if (game::ScreenManager* manager = screen_manager(GetSite()))
        manager->ResetToScreen("Menu", false);
}
