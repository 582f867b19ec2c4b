#include "sources/demo_screen.h"

#include "game/screen.h"
#include "game/screen_manager.h"
#include "vadu/lib3d/node/node.h"

DemoScreen::~DemoScreen()
{
    for (Connection* connection : {&play_, &back_}) {
        if (connection->button)
            connection->button->GetClickSignal().Disconnect(connection->id);
    }
}

void DemoScreen::Update(double seconds)
{
    if (world_)
        world_->Update(seconds);
}

void DemoScreen::OnInitialized()
{
    initialized_ = true;
    game::ScreenSite* site = GetSite();
    vadu::lib3d::node::Node* root = site ? site->GetSceneRoot() : nullptr;
    if (root && root->find_child(vadu::Atom("BallA"), true))
        world_ = std::make_unique<DemoWorld>(root);
    Connect("Play", play_, true);
    Connect("Back", back_, false);
}

void DemoScreen::Connect(const char* name, Connection& connection, bool push)
{
    game::ScreenSite* site = GetSite();
    if (!site)
        return;
    game::controls::ButtonImpl* button = game::controls::as_button(site->GetScreen()->FindControl(name));
    if (!button)
        return;
    game::ServiceProvider* provider = site->GetServiceProvider();
    connection.button = button;
    connection.id = button->GetClickSignal().Connect([provider, push](game::controls::Control*) {
        auto* manager = provider ? provider->Get<game::ScreenManager>() : nullptr;
        if (!manager)
            return;
        if (push)
            manager->PushScreen("Next");
        else
            manager->ChangeScreen("#Pop", false);
    });
}

void DemoScreen::OnActivate()
{
    ++activations_;
}

void DemoScreen::OnDeactivate()
{
    ++deactivations_;
}
