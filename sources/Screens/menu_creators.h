#pragma once

// The creators of the menu screens' backends, registered by class name with the screen
// backend factory: "MainMenuScreen", "StoreScreen", "ZenStoreScreen", "LevelSelectScreen",
// "LeaderboardsScreen", "AchievementsScreen", "CreditsScreen", "LikeScreen",
// "GameCompleteScreen".

#include <memory>

#include "game/screen_backend.h"

class QuilloTovraApplication;

// The main menu works the application's window, cursor and quit question.
std::unique_ptr<game::ScreenBackend> MainMenuScreen_Create(QuilloTovraApplication* application);
std::unique_ptr<game::ScreenBackend> StoreScreen_Create();
std::unique_ptr<game::ScreenBackend> ZenStoreScreen_Create();
std::unique_ptr<game::ScreenBackend> LevelSelectScreen_Create();
std::unique_ptr<game::ScreenBackend> LeaderboardsScreen_Create();
std::unique_ptr<game::ScreenBackend> AchievementsScreen_Create();
std::unique_ptr<game::ScreenBackend> CreditsScreen_Create();
std::unique_ptr<game::ScreenBackend> LikeScreen_Create();
std::unique_ptr<game::ScreenBackend> GameCompleteScreen_Create();
