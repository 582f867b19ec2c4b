#pragma once

// The credits: a long "Credits" node scrolled in one timed pass (a pause, a gentle start,
// a steady run, a gentle stop) that a left-button press stops where it is.

#include "sources/Screens/menu_screen.h"
#include "vadu/input.h"

namespace game::controls {
class ScrollImpl;
}

// The pass over a scroll distance d at horizontal scale s.
struct CreditsTiming {
    float distance = 0.0f; // d
    float run = 0.0f;      // d / (200 s): 200 pixels a second per unit of scale
    float ramp = 0.0f;     // run / 5
    float rampDistance = 0.0f; // 500 s
    static CreditsTiming For(float distance, float scale);
};

class CreditsScreen : public MenuScreen, public vadu::input::Listener {
public:
    static constexpr float kPause = 1.0f;

    CreditsScreen();
    // Empties the global ActionManager before the listener leaves the input list.
    ~CreditsScreen() override;

    void SetOffset(float value);
    void on_event(vadu::input::Event& event) override;

    float GetOffset() const noexcept { return offset; }
    const CreditsTiming& GetTiming() const noexcept { return timing; }

protected:
    void Init() override;

private:
    game::controls::ScrollImpl* scroll = nullptr;
    float offset = 0.0f;
    CreditsTiming timing;
};
