#pragma once

// Music and click sounds of the demo, until the game's sound manager replaces them: the
// main theme through a music fader from the start, a click on each left click, a switch
// to the danger theme and back on each right click, and no music while the window is
// inactive.

#include <memory>

#include "vadu/noise/music_fader.h"
#include "vadu/noise/noise.h"
#include "vadu/window.h"

class DemoSound : public vadu::WindowCreator::MessageHandler {
public:
    // Needs the sound manager and a hardware (the null one at least).
    explicit DemoSound(vadu::WindowCreator& window);
    ~DemoSound() override;

    // The fader's step, with the frame's time rounded to float as the game's sound
    // manager will.
    void update(double seconds);

    // Handles nothing: it only listens.
    int32_t OnWindowMessage(uint32_t message, uintptr_t wparam, intptr_t lparam) override;

    vadu::noise::MusicFader& get_fader() { return fader_; }
    bool is_danger_theme() const { return danger_; }

private:
    void set_inactive(bool inactive);

    vadu::noise::MusicFader fader_;
    // A static "2D" channel that stays with the demo; replayed on every click.
    std::unique_ptr<vadu::noise::Channel> click_;
    bool danger_ = false;
    bool inactive_ = false;
};
