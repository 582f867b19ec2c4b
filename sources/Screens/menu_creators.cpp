#include "sources/Screens/menu_creators.h"

#include "sources/Screens/credits_screen.h"
#include "sources/Screens/leaderboards_screen.h"
#include "sources/Screens/level_select_screen.h"
#include "sources/Screens/main_menu_screen.h"
#include "sources/Screens/simple_screens.h"
#include "sources/Screens/store_screen.h"

std::unique_ptr<game::ScreenBackend> MainMenuScreen_Create(QuilloTovraApplication*)
{
    // The host reaches the application through its instance pointer.
    return std::make_unique<MainMenuScreen>(MakeApplicationHost());
}

std::unique_ptr<game::ScreenBackend> StoreScreen_Create()
{
    return std::make_unique<StoreScreen>();
}

std::unique_ptr<game::ScreenBackend> ZenStoreScreen_Create()
{
    return std::make_unique<ZenStoreScreen>();
}

std::unique_ptr<game::ScreenBackend> LevelSelectScreen_Create()
{
    return std::make_unique<LevelSelectScreen>();
}

std::unique_ptr<game::ScreenBackend> LeaderboardsScreen_Create()
{
    return std::make_unique<LeaderboardsScreen>();
}

std::unique_ptr<game::ScreenBackend> CreditsScreen_Create()
{
    return std::make_unique<CreditsScreen>();
}

std::unique_ptr<game::ScreenBackend> LikeScreen_Create()
{
    return std::make_unique<LikeScreen>();
}

std::unique_ptr<game::ScreenBackend> GameCompleteScreen_Create()
{
    return std::make_unique<GameCompleteScreen>();
}
