#pragma once

#include <memory>

#include "game/root.h"

#include "vadu/input_windows.h"
#include "vadu/lib3d/app/application.h"
#include "vadu/lib3d/hard/directx8/creator.h"
#include "vadu/noise/directx8.h"
#include "vadu/noise/noise.h"
#include "vadu/noise/null.h"
#include "vadu/window.h"

class DemoSound;

// The game's application object. It is the most-derived object, so it builds the
// engine's creators itself, in this order: log, file system, loader, souls, dictionary,
// render devices and their back end (before the shell's constructor needs them), the
// window (512 by 512, not resizable), the input devices, then the text library. The
// sound creators take their places among them: the sound hardware registry first, the
// sound manager after the dictionary holder, the null and the sound device's hardware
// after the input devices.
class QuilloTovraApplication : public virtual vadu::noise::HardwareRegistry::Creator,
                               public virtual vadu::logs::Creator,
                               public virtual vadu::filesystem::Creator,
                               public virtual vadu::resource::ActiveMultithreaded::Creator,
                               public virtual vadu::animate::Soul::Creator,
                               public virtual vadu::DictionaryHolder::Creator,
                               public virtual vadu::noise::Manager::Creator,
                               public virtual vadu::lib3d::hard::Manager::Creator,
                               public virtual vadu::lib3d::hard::directx8::Creator,
                               public virtual vadu::WindowCreator,
                               public virtual vadu::input::hard::windows::Creator,
                               public virtual vadu::noise::hard::null::Creator,
                               public virtual vadu::noise::hard::directx8::Creator,
                               public virtual TrueText::TextLibrary::Creator,
                               public vadu::lib3d::Application {
public:
    // The name is the window title and the per-user folder name. Throws vadu::Gluck when
    // no video mode starts, vadu::Gluck or vadu::GluckBadResource when the game
    // description, a screen or the cursor scene is missing or broken.
    QuilloTovraApplication(const vadu::String& name, const vadu::String& command_line);
    ~QuilloTovraApplication() override;

    // The player agreed to quit: the next update asks for the window to close.
    void Quit();

    bool Update(double seconds) override;
    // Draws the frame: the current screen, then the cursor scene over it unless the
    // system cursor shows, then presents it.
    bool Render() override;

    // The current screen's scene and camera (at start the demo's first screen).
    vadu::lib3d::node::Node& get_demo_root();
    vadu::lib3d::node::Camera* get_demo_camera();
    // The game framework: screens, flow and services.
    game::Root* get_game_root() const noexcept { return root_.get(); }

private:
    bool running_ = true;
    // Goes before the device manager, which its screens' textures need.
    std::unique_ptr<game::Root> root_;
    // Music and clicks until the game's sound manager replaces them.
    std::unique_ptr<DemoSound> demo_sound_;
};
