#include "sources/demo_screen.h"

#include "game/screen.h"
#include "game/screen_manager.h"

DemoScreen::~DemoScreen()
{
    for (Connection* connection : {&play_, &back_}) {
        if (connection->button)
            connection->button->GetClickSignal().Disconnect(connection->id);
    }
}

void DemoScreen::Update(double) {}

void DemoScreen::OnInitialized()
{
    initialized_ = true;
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
