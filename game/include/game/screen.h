#pragma once

// One running screen: a scene with its camera, the controls bound to it, the pointer input
// that drives them, a property list and the backend of game code.

#include <memory>
#include <vector>

#include "game/control_container.h"
#include "game/controls/control.h"
#include "game/input/pointing_device_input.h"
#include "game/signal.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/property_list.h"

namespace vadu::lib3d::hard {
class Hardware;
}

namespace game {

class Root;
class Screen;
class ScreenBackend;
class ServiceProvider;
class FpsDisplay;

// What a backend sees of its screen.
class ScreenSite {
public:
    virtual ~ScreenSite() = default;
    virtual Screen* GetScreen() = 0;
    virtual vadu::lib3d::node::Node* GetSceneRoot() = 0;
    virtual vadu::xml::PropertyList* GetProperties() = 0;
    virtual ServiceProvider* GetServiceProvider() = 0;
    virtual void SetInputEnabled(bool enabled) = 0;
};

class Screen : public ControlContainer, public ScreenSite {
public:
    // Makes the input manager (disabled) and publishes it as the most recent one.
    explicit Screen(ServiceProvider* provider);
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;
    // The backend goes first, while the controls it may still hold exist.
    ~Screen() override;

    controls::Control* FindControl(const vadu::Atom& name) override;
    std::unique_ptr<ControlEnumerator> EnumerateControls() override;
    void AddControl(std::unique_ptr<controls::Control> control) override;
    std::unique_ptr<controls::Control> RemoveControl(controls::Control* control) override;
    const std::vector<std::unique_ptr<controls::Control>>& GetControlList() const noexcept { return controls_; }

    Screen* GetScreen() override { return this; }
    vadu::lib3d::node::Node* GetSceneRoot() override { return scene_root_.get(); }
    vadu::xml::PropertyList* GetProperties() override { return properties_.get(); }
    ServiceProvider* GetServiceProvider() override { return provider_; }
    void SetInputEnabled(bool enabled) override;

    void SetSceneRoot(std::unique_ptr<vadu::lib3d::node::Node> root);
    // Also gives the camera to the pointer input.
    void SetCamera(std::unique_ptr<vadu::lib3d::node::Camera> camera);
    void SetProperties(std::unique_ptr<vadu::xml::PropertyList> properties);
    // Takes the backend and attaches it (its OnInitialized is posted).
    void SetBackend(std::unique_ptr<ScreenBackend> backend);

    vadu::lib3d::node::Camera* GetCamera() const noexcept { return camera_.get(); }
    ScreenBackend* GetBackend() const noexcept { return backend_.get(); }
    input::PointingDeviceInputManagerImpl* GetInputManager() const noexcept { return input_.get(); }

    // The controls, then the backend. Returns true.
    bool Update(double seconds);
    // Clears the list, puts the camera's scene in it, the backend's part, the frame-rate
    // display, then the hardware draws the list.
    void Render(vadu::lib3d::hard::Hardware& hardware, FpsDisplay* fps);

private:
    std::unique_ptr<input::PointingDeviceInputManagerImpl> input_;
    std::unique_ptr<vadu::lib3d::node::Node> scene_root_;
    std::unique_ptr<vadu::lib3d::node::Camera> camera_;
    std::unique_ptr<vadu::xml::PropertyList> properties_;
    std::unique_ptr<ScreenBackend> backend_;
    std::vector<std::unique_ptr<controls::Control>> controls_;
    ServiceProvider* provider_;
    vadu::lib3d::hard::RenderList list_;
    Signal<void(bool)>::Id input_connection_ = 0;
    bool input_connected_ = false;
};

// The frame rate, counted per second and shown in the debug scene's text "FPS".
class FpsDisplay {
public:
    FpsDisplay() = default;
    FpsDisplay(vadu::lib3d::node::Node* text, vadu::lib3d::node::Camera* camera) : text_(text), camera_(camera) {}
    ~FpsDisplay();
    // Keeps the debug scene that holds the text and the camera alive with the display.
    void TakeScene(std::unique_ptr<vadu::lib3d::node::Node> scene) { scene_ = std::move(scene); }

    void AddTime(double seconds) { accumulated_ += seconds; }
    // Counts a frame; once a second has gathered, publishes the count and starts over.
    // Draws the debug scene through its camera into the list.
    void Render(vadu::lib3d::hard::Hardware& hardware, vadu::lib3d::hard::RenderList& list);

    double GetAccumulated() const noexcept { return accumulated_; }
    int32_t GetFrameCount() const noexcept { return frames_; }
    // The text last published.
    const vadu::String& GetShownText() const noexcept { return shown_; }

private:
    double accumulated_ = 0.0;
    int32_t frames_ = 0;
    vadu::lib3d::node::Node* text_ = nullptr;
    vadu::lib3d::node::Camera* camera_ = nullptr;
    vadu::String shown_;
    std::unique_ptr<vadu::lib3d::node::Node> scene_;
};

} // namespace game
