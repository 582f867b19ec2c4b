#pragma once

// Screen resources ("Screen"): the backend class, the scene with its camera, the controls
// and a property list, read afresh every time the screen is built.

#include <memory>
#include <vector>

#include "game/controls/control.h"
#include "game/flow.h"
#include "game/screen_backend.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/path.h"
#include "vadu/property_list.h"
#include "vadu/xml_object.h"

namespace game {

class StaticResourceScreenReference : public ScreenReference {
public:
    explicit StaticResourceScreenReference(const vadu::filesystem::String& path) : path_(path) {}
    // Throws vadu::GluckBadResource "load() failed" when the resource does not load, and
    // whatever building the screen raises.
    std::unique_ptr<Screen> ConstructScreen(ServiceProvider& provider) override;
    const vadu::filesystem::String& GetPath() const noexcept { return path_; }

private:
    vadu::filesystem::String path_;
};

class ScreenDefinition : public vadu::xml::ObjectANSI {
public:
    explicit ScreenDefinition(const ScreenBackendFactory& backends);
    ~ScreenDefinition() override;

    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override;
    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;
    // Makes the backend; throws vadu::Gluck for a class never registered.
    bool OnEndNode(vadu::xml::Provider& provider) override;

    // Hands everything to a new screen; a second call throws vadu::Gluck.
    std::unique_ptr<Screen> CreateScreen(ServiceProvider* provider);

private:
    std::unique_ptr<vadu::lib3d::node::Node> scene_root_;
    std::unique_ptr<vadu::lib3d::node::Camera> camera_;
    std::unique_ptr<vadu::xml::PropertyList> properties_;
    std::unique_ptr<ScreenBackend> backend_;
    std::vector<std::unique_ptr<controls::Control>> controls_;
    ScreenBackendFactory backends_;
    vadu::String backend_class_;
};

// "Camera": a "Resource" to a camera file, or one node-type element named "Camera".
class CameraDefinition : public vadu::xml::ObjectANSI {
public:
    explicit CameraDefinition(vadu::lib3d::node::Node* scene_root) : scene_root_(scene_root) {}
    ~CameraDefinition() override;
    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;
    std::unique_ptr<vadu::lib3d::node::Camera> TakeCamera() { return std::move(camera_); }

private:
    std::unique_ptr<vadu::lib3d::node::Camera> camera_;
    vadu::lib3d::node::Node* scene_root_;
};

// "Scene": "RootName", a camera and the scene file.
class SceneLoader : public vadu::xml::ObjectANSI {
public:
    SceneLoader();
    ~SceneLoader() override;
    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override;
    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;

    std::unique_ptr<vadu::lib3d::node::Node> TakeRoot() { return std::move(root_); }
    std::unique_ptr<vadu::lib3d::node::Camera> TakeCamera() { return std::move(camera_); }

private:
    void TryLoadRoot();

    vadu::String pending_path_;
    bool has_pending_ = false;
    std::unique_ptr<vadu::lib3d::node::Node> root_;
    std::unique_ptr<vadu::lib3d::node::Camera> camera_;
};

} // namespace game
