#pragma once

// A screen that only shows its picture and then moves on through "Continue", but only
// once its picture has been drawn, so it stays on screen while the next, slower screen is
// built.

#include <cstdint>
#include <memory>

#include "game/screen_backend.h"

class LoadingScreen : public game::ScreenBackend {
public:
    void Update(double) override {}
    // The first call arms the screen; the second asks for "Continue", once.
    void Render(vadu::lib3d::hard::Hardware& hardware, vadu::lib3d::hard::RenderList& list) override;
    void OnInitialized() override {}

    uint8_t sent = 0;
    uint8_t armed = 0;
};

std::unique_ptr<game::ScreenBackend> LoadingScreen_Create();
