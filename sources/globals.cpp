#include "sources/globals.h"

#include "vadu/view_fit.h"

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
    // The screens are laid out for this window: a frame of another shape shows them
    // unstretched.
    vadu::view::set_layout_size(width, height);
}

void ResetGlobalsForTests()
{
    GameMode = gameplay::Standard;
    CurrentLevel = nullptr;
    LevelMapPageStandard = 0;
    LevelMapPageZen = 0;
    gameWindowSize = {960.0f, 640.0f};
    vadu::view::set_layout_size(0.0, 0.0);
}
