#include "game/screen_definition.h"

#include "game/controls/loading.h"
#include "game/root.h"
#include "game/screen.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/node/loading_root.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/xml_reader.h"
#include "xml_helpers.h"

namespace game {

using vadu::lib3d::node::Camera;
using vadu::lib3d::node::Node;

namespace {

bool load_resource(const vadu::filesystem::String& path, vadu::xml::Object& target, const char* root_name)
{
    std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(path);
    if (!stream)
        return false;
    vadu::xml::StreamResource resource(stream.get(), path);
    vadu::xml::Root root(target, root_name);
    return resource.load(root);
}

} // namespace

std::unique_ptr<Screen> StaticResourceScreenReference::ConstructScreen(ServiceProvider& provider)
{
    Root* root = dynamic_cast<Root*>(&provider);
    ScreenDefinition definition(root ? root->GetBackendFactory() : ScreenBackendFactory());
    if (!load_resource(path_, definition, "Screen"))
        throw vadu::GluckBadResource("game::StaticResourceScreenReference::ConstructScreen", "load() failed", path_);
    return definition.CreateScreen(&provider);
}

ScreenDefinition::ScreenDefinition(const ScreenBackendFactory& backends) : backends_(backends) {}

ScreenDefinition::~ScreenDefinition()
{
    // Controls and the backend refer into the scene: they go before it.
    backend_.reset();
    controls_.clear();
    camera_.reset();
    scene_root_.reset();
}

bool ScreenDefinition::OnAttribute(vadu::xml::Provider&, const vadu::String& name, const vadu::String& value)
{
    if (!(name == "BackendClass"))
        return false;
    backend_class_ = value;
    return true;
}

bool ScreenDefinition::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (name == "Scene") {
        SceneLoader loader;
        if (!provider.ParseObject(loader))
            return false;
        // Controls bound to an earlier scene would dangle: a new scene drops them.
        controls_.clear();
        camera_ = loader.TakeCamera();
        scene_root_ = loader.TakeRoot();
        return true;
    }
    if (name == "Controls") {
        if (!scene_root_)
            throw vadu::Gluck("game::ScreenDefinition::OnNode", "Cannot load animations if a root screen node isn't defined");
        controls::ControlCollectionLoaderImpl loader(scene_root_.get());
        if (!provider.ParseObject(loader))
            return false;
        for (auto& control : loader.TakeControls())
            controls_.push_back(std::move(control));
        return true;
    }
    if (name == "Properties") {
        properties_ = std::make_unique<vadu::xml::PropertyList>();
        return provider.ParseObject(*properties_);
    }
    return false;
}

bool ScreenDefinition::OnEndNode(vadu::xml::Provider&)
{
    if (backend_class_.empty())
        return true;
    backend_ = backends_.CreateBackend(backend_class_);
    if (!backend_)
        throw vadu::Gluck("game::ScreenDefinition::OnEndNode",
                          vadu::String("Unable to create screen backend class named \"") + backend_class_ + "\"");
    return true;
}

std::unique_ptr<Screen> ScreenDefinition::CreateScreen(ServiceProvider* provider)
{
    if (!scene_root_)
        throw vadu::Gluck("game::ScreenDefinition::CreateScreen",
                          "Unable to construct screen without a root node. Maybe you've double-called CreateScreen?");
    auto screen = std::make_unique<Screen>(provider);
    screen->SetSceneRoot(std::move(scene_root_));
    screen->SetCamera(std::move(camera_));
    screen->SetProperties(std::move(properties_));
    for (auto& control : controls_)
        screen->AddControl(std::move(control));
    controls_.clear();
    if (backend_)
        screen->SetBackend(std::move(backend_));
    return screen;
}

CameraDefinition::~CameraDefinition() = default;

bool CameraDefinition::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (name == "Resource") {
        detail::PathElement element;
        if (!provider.ParseObject(element))
            return false;
        const vadu::filesystem::String path = detail::to_path(element.path);
        CameraDefinition nested(scene_root_);
        if (!load_resource(path, nested, "Camera"))
            throw vadu::GluckBadResource("game::CameraDefinition::OnNode", "load() failed", path);
        if (std::unique_ptr<Camera> camera = nested.TakeCamera())
            camera_ = std::move(camera);
        return true;
    }
    std::unique_ptr<Node> node(vadu::lib3d::node::create_node(scene_root_, vadu::Atom(name), vadu::Atom("Camera")));
    if (!node)
        return false;
    // Only a camera type can be the camera; any other node made here goes again.
    Camera* camera = dynamic_cast<Camera*>(node.get());
    if (!camera)
        return false;
    // The camera stays in the scene, which it draws from its root; whoever owns it deletes
    // it before the scene, and a deleted node leaves its parent.
    if (!provider.ParseObject(*camera))
        return false;
    node.release();
    camera_.reset(camera);
    return true;
}

SceneLoader::SceneLoader() : root_(std::make_unique<vadu::lib3d::node::LoadingRoot>(vadu::Atom())) {}

SceneLoader::~SceneLoader()
{
    camera_.reset();
    root_.reset();
}

bool SceneLoader::OnAttribute(vadu::xml::Provider&, const vadu::String& name, const vadu::String& value)
{
    if (!(name == "RootName"))
        return false;
    root_->set_name(vadu::Atom(value));
    return true;
}

bool SceneLoader::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (name == "Camera") {
        if (!root_)
            throw vadu::Gluck("game::SceneLoader::OnNode", "Scene root node doesn't exist when trying to create a camera");
        CameraDefinition definition(root_.get());
        if (!provider.ParseObject(definition))
            return false;
        if (std::unique_ptr<Camera> camera = definition.TakeCamera())
            camera_ = std::move(camera);
        return true;
    }
    if (name == "Resource") {
        detail::PathElement element;
        if (!provider.ParseObject(element))
            return false;
        pending_path_ = element.path;
        has_pending_ = true;
        TryLoadRoot();
        return true;
    }
    return false;
}

void SceneLoader::TryLoadRoot()
{
    if (!has_pending_)
        return;
    const vadu::filesystem::String path = detail::to_path(pending_path_);
    has_pending_ = false;
    pending_path_ = vadu::String();
    if (!load_resource(path, *root_, "Scene"))
        throw vadu::GluckBadResource("game::SceneLoader::tryLoadRoot", "load() failed", path);
}

} // namespace game
