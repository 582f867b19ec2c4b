#include "sources/Screens/simple_screens.h"

#include "game/screen.h"
#include "vadu/animate/primitive_animation.h"
#include "vadu/lib3d/node/node.h"

LikeScreen::LikeScreen() : MenuScreen("data/decorations/store.xml") {}

void LikeScreen::Init()
{
    BindOptionalButton("ButtonRate", [] { PlayClick(); });
    BindButton("ButtonTwitter", [] { PlayClick(); });
    BindButton("ButtonBack", [this] {
        PlayClick();
        PushScreen("#Pop");
    });
    BindOptionalButton("ButtonFacebook", [] { PlayClick(); });
}

void LikeScreen::BindOptionalButton(const vadu::Atom& name, std::function<void()> handler)
{
    game::ScreenSite* site = GetSite();
    game::controls::Control* control = site && site->GetScreen() ? site->GetScreen()->FindControl(name) : nullptr;
    if (!control || control->GetTypeName() != vadu::Atom("Button"))
        return;
    Connect(game::controls::as_button(control),
            [handler = std::move(handler)](game::controls::Control*) { handler(); });
}

GameCompleteScreen::GameCompleteScreen() : MenuScreen("data/gamecomplete/decorations.xml") {}

void GameCompleteScreen::Init()
{
    BindButton("FullscreenButton", [this] { OnExit(); });
    animRoot = FindNode("AnimRoot");
}

void GameCompleteScreen::OnExit()
{
    ChangeScreen("Exit");
}

void GameCompleteScreen::OnUpdate(double dt)
{
    if (animRoot) {
        if (time < 0.0) {
            if (vadu::animate::PrimitiveAnimation* animation = animRoot->get_animation())
                animation->set_time(0.0);
        } else if (!animRoot->is_visible()) {
            animRoot->set_visible(true);
        }
    }
    time += dt;
}
