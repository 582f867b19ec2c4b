#pragma once

// The first screen: full-screen pictures one after another with cross-fades (up to two
// publisher pictures, then the game's logos); a click skips ahead once the publisher
// pictures are over. After the last fade-out the screen leaves through "Exit".

#include <memory>

#include "game/controls/button.h"
#include "game/screen_backend.h"
#include "game/signal.h"

class SequenceAction;

class SplashScreen : public game::ScreenBackend {
public:
    // Takes the sequence (empty), which the screen fills and runs.
    SplashScreen(SequenceAction* sequence, double time);
    // Drops every action of the global action manager, unfinished.
    ~SplashScreen() override;

    // The global action manager by the frame's time (as a float), then the clock.
    void Update(double seconds) override;
    // Clones "logo_prototype" per picture, builds and runs the sequence, binds
    // "ScreenButton". Throws vadu::Gluck "Unable to find key Btn" without that button.
    void OnInitialized() override;
    // Finishes the step that runs and every fade after it, so the next picture shows
    // fully; nothing before 3 s per publisher picture + 1 s.
    void OnSkip();

    // The whole animation while it runs; null once it has finished.
    SequenceAction* sequence = nullptr;
    game::controls::Control* skipButton = nullptr;
    double elapsed = 0.0;
    int publisherPictureCount = 0;

private:
    // The sequence until the action manager takes it.
    std::unique_ptr<SequenceAction> unstarted_;
    game::controls::ButtonImpl* button_ = nullptr;
    Signal<void(game::controls::Control*)>::Id connection_ = 0;
};

// A splash with a new, empty sequence and a clock at 0.
std::unique_ptr<game::ScreenBackend> SplashScreen_Create();
