#include "sources/Screens/loading_screen.h"

#include "game/screen.h"
#include "game/screen_manager.h"
#include "game/service_provider.h"

void LoadingScreen::Render(vadu::lib3d::hard::Hardware&, vadu::lib3d::hard::RenderList&)
{
    if (!armed) {
        armed = 1;
        return;
    }
    if (sent)
        return;
    sent = 1;
    game::ScreenSite* site = GetSite();
    game::ServiceProvider* services = site ? site->GetServiceProvider() : nullptr;
    if (game::ScreenManager* manager = services ? services->Get<game::ScreenManager>() : nullptr)
        manager->ChangeScreen("Continue", false);
}

std::unique_ptr<game::ScreenBackend> LoadingScreen_Create()
{
    return std::make_unique<LoadingScreen>();
}
