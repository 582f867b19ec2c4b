#include "game/game_definition.h"

#include "game/screen.h"
#include "game/text_service.h"
#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/xml_reader.h"
#include "xml_helpers.h"

namespace game {

namespace {

class WindowElement : public vadu::xml::ObjectANSI {
public:
    bool OnAttribute(vadu::xml::Provider&, const vadu::String& name, const vadu::String& value) override
    {
        if (name == "Width")
            return vadu::converter::convert(value, &width);
        if (name == "Height")
            return vadu::converter::convert(value, &height);
        return false;
    }
    uint32_t width = 0;
    uint32_t height = 0;
};

class DebugElement : public detail::ResourceHolder {
public:
    bool OnAttribute(vadu::xml::Provider&, const vadu::String& name, const vadu::String& value) override
    {
        if (!(name == "Activate"))
            return false;
        return vadu::converter::convert(value, &activate);
    }
    bool activate = false;
};

} // namespace

GameDefinition::GameDefinition()
    : loading_root_(std::make_unique<vadu::lib3d::node::LoadingRoot>(vadu::Atom("Loading::Root")))
{
}

GameDefinition::~GameDefinition() = default;

bool GameDefinition::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (name == "Window") {
        WindowElement element;
        if (!provider.ParseObject(element))
            return false;
        if (element.width == 0 || element.height == 0)
            throw vadu::Gluck("game::GameDefinition::OnNode",
                              "Screen node in game properties should specify both width and height");
        width_ = element.width;
        height_ = element.height;
        return true;
    }
    if (name == "ScreenFlow") {
        detail::ResourceHolder holder;
        if (!provider.ParseObject(holder))
            return false;
        if (!holder.has_path)
            return true;
        const vadu::filesystem::String path = detail::to_path(holder.path);
        auto manager = std::make_unique<flow::Manager>();
        std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(path);
        vadu::xml::StreamResource resource(stream.get(), path);
        vadu::xml::Root root(*manager, "Flow");
        if (!resource.load(root))
            throw vadu::GluckBadResource("game::flow::FlowDefinition::OnNode", "load() failed", path);
        flow_ = std::move(manager);
        return true;
    }
    if (name == "Strings") {
        detail::ResourceHolder holder;
        if (!provider.ParseObject(holder))
            return false;
        if (!holder.has_path)
            return true;
        const vadu::filesystem::String path = detail::to_path(holder.path);
        auto service = std::make_unique<TextServiceImpl>();
        std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(path);
        if (!stream || !service->Load(*stream))
            throw vadu::GluckBadResource("game::StringsDefinition::OnNode", "Text service couldn't parse resource", path);
        services_.Register<TextService>(std::move(service));
        return true;
    }
    if (name == "Cursor") {
        detail::ResourceHolder holder;
        if (!provider.ParseObject(holder))
            return false;
        cursor_path_ = detail::to_path(holder.path);
        return true;
    }
    if (name == "Debug") {
        DebugElement element;
        if (!provider.ParseObject(element))
            return false;
        debug_ = element.activate;
        debug_path_ = detail::to_path(element.path);
        return true;
    }
    return false;
}

void GameDefinition::Load(const vadu::filesystem::String& path)
{
    std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(path);
    vadu::xml::StreamResource resource(stream.get(), path);
    vadu::xml::Root root(*this, "Game");
    if (!resource.load(root))
        throw vadu::GluckBadResource("game::GameDefinition::Load", "load() failed", path);
}

std::unique_ptr<Root> GameDefinition::CreateRoot(vadu::lib3d::Application* application)
{
    auto root = std::make_unique<Root>(application);
    for (auto& [id, service] : services_.ReleaseAll())
        root->Adopt(id, std::unique_ptr<Service>(service));
    root->Register<DebugService>(std::make_unique<DebugService>());
    root->GetBackendFactory() = backends_;
    root->GetSelectorFactory() = selectors_;
    root->GetTriggerFactory() = triggers_;
    if (flow_)
        root->SetFlowManager(std::move(flow_));
    if (debug_) {
        const vadu::filesystem::String& path = debug_path_;
        std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(path);
        if (!stream)
            throw vadu::GluckBadResource("game::GameDefinition::CreateRoot", "Failed to load", path);
        vadu::xml::StreamResource resource(stream.get(), path);
        vadu::xml::Root scene(*loading_root_, "Scene");
        if (!resource.load(scene))
            throw vadu::GluckBadResource("game::GameDefinition::CreateRoot", "Parse failed", path);
        vadu::lib3d::node::Camera* camera = nullptr;
        for (vadu::lib3d::node::Camera* candidate : loading_root_->get_cameras()) {
            if (candidate->get_name() == vadu::Atom("Camera")) {
                camera = candidate;
                break;
            }
        }
        vadu::lib3d::node::Node* text = loading_root_->find_child(vadu::Atom("FPS"), true);
        auto display = std::make_unique<FpsDisplay>(text, camera);
        // The display outlives this description: the debug scene goes with it, and the
        // description keeps a fresh, empty root.
        display->TakeScene(std::move(loading_root_));
        loading_root_ = std::make_unique<vadu::lib3d::node::LoadingRoot>(vadu::Atom("Loading::Root"));
        root->SetFpsDisplay(std::move(display));
    }
    return root;
}

} // namespace game
