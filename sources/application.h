#pragma once

#include <memory>

#include "vadu/input_windows.h"
#include "vadu/lib3d/app/application.h"
#include "vadu/lib3d/hard/directx8/creator.h"
#include "vadu/window.h"

// The game's application object. It is the most-derived object, so it builds the
// engine's creators itself, in this order: log, file system, loader, souls, dictionary,
// render devices and their back end (before the shell's constructor needs them), the
// window (512 by 512, not resizable), then the input devices.
class QuilloTovraApplication : public virtual vadu::logs::Creator,
                               public virtual vadu::filesystem::Creator,
                               public virtual vadu::resource::ActiveMultithreaded::Creator,
                               public virtual vadu::animate::Soul::Creator,
                               public virtual vadu::DictionaryHolder::Creator,
                               public virtual vadu::lib3d::hard::Manager::Creator,
                               public virtual vadu::lib3d::hard::directx8::Creator,
                               public virtual vadu::WindowCreator,
                               public virtual vadu::input::hard::windows::Creator,
                               public vadu::lib3d::Application {
public:
    // The name is the window title and the per-user folder name. Throws vadu::Gluck when
    // no video mode starts, vadu::GluckBadResource when the demo or cursor scene is
    // missing or broken.
    QuilloTovraApplication(const vadu::String& name, const vadu::String& command_line);
    ~QuilloTovraApplication() override;

    // The player agreed to quit: the next update asks for the window to close.
    void Quit();

    bool Update(double seconds) override;
    // Draws the frame: the demo scene, then the cursor scene over it unless the system
    // cursor shows, then presents it.
    bool Render() override;

    // The demo scene (until the screen manager replaces it) and its camera.
    vadu::lib3d::node::LoadingRoot& get_demo_root() noexcept { return *demo_root_; }
    vadu::lib3d::node::Camera* get_demo_camera() const noexcept { return demo_camera_; }

private:
    bool running_ = true;
    // Stands in for the game's screens, which do not exist yet: the screen manager will
    // own the scenes and replace this.
    std::unique_ptr<vadu::lib3d::node::LoadingRoot> demo_root_;
    vadu::lib3d::node::Camera* demo_camera_ = nullptr;
};
