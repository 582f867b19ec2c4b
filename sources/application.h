#pragma once

#include "vadu/input_windows.h"
#include "vadu/window.h"

// The game's application object. It is the most-derived object, so it builds the
// engine's creators itself; the game's window is 512 by 512 and not resizable.
class QuilloTovraApplication : public vadu::Application, public virtual vadu::input::hard::windows::Creator {
public:
    explicit QuilloTovraApplication(const vadu::String& title);
    ~QuilloTovraApplication() override;

    // The player agreed to quit: the next update asks for the window to close.
    void Quit();

    bool Update(double seconds) override;
    bool Render() override;

private:
    bool running_ = true;
};
