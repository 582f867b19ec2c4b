#include "sources/globals.h"

int GameMode = gameplay::Standard;
gameplay::LevelProfile* CurrentLevel = nullptr;
int LevelMapPageStandard = 0;
int LevelMapPageZen = 0;

namespace {
vadu::math::Vector2<float> gameWindowSize{960.0f, 640.0f};
} // namespace

vadu::math::Vector2<float> GetGameWindowSize()
{
    return gameWindowSize;
}

void SetGameWindowSize(float width, float height)
{
    gameWindowSize = {width, height};
}

void ResetGlobalsForTests()
{
    GameMode = gameplay::Standard;
    CurrentLevel = nullptr;
    LevelMapPageStandard = 0;
    LevelMapPageZen = 0;
    gameWindowSize = {960.0f, 640.0f};
}
