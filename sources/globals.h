#pragma once

// The shell's shared state: the game mode, the level being played and the level map's
// pages (written by the menus, read by gameplay), and the window size of the game
// description (set by the application when it reads the description).

#include "sources/gameplay/level_profile.h"
#include "vadu/math.h"

// 0 Standard, 1 Zen (gameplay::LevelMode).
extern int GameMode;
// The level being played: a record of the current profile's level list, or null.
extern gameplay::LevelProfile* CurrentLevel;
extern int LevelMapPageStandard;
extern int LevelMapPageZen;

// The game description's "Window" size; 960 x 640 until the application sets it.
vadu::math::Vector2<float> GetGameWindowSize();
void SetGameWindowSize(float width, float height);

// Back to the start values (tests).
void ResetGlobalsForTests();
