#include "game/controls/loading.h"

#include "game/controls/button.h"
#include "game/controls/more_controls.h"
#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/xml_reader.h"
#include "xml_helpers.h"

namespace game::controls {

namespace {

template <class T>
class StandardCreator : public ControlCreator {
public:
    explicit StandardCreator(const char* type) : type_(type) {}
    vadu::Atom GetTypeName() const override { return type_; }
    std::unique_ptr<Control> Create(const vadu::Atom& name, vadu::lib3d::node::Node* scene_root) const override
    {
        auto control = std::make_unique<T>();
        control->SetSceneRoot(scene_root);
        if (ControlImpl* impl = control->GetImpl())
            impl->BindNode();
        control->SetName(name);
        return control;
    }

private:
    vadu::Atom type_;
};

std::vector<std::unique_ptr<ControlCreator>>& registry()
{
    static std::vector<std::unique_ptr<ControlCreator>> creators;
    return creators;
}

const bool standard_controls_registered = (RegisterStandardControls(), true);

} // namespace

void RegisterStandardControls()
{
    auto& creators = registry();
    creators.clear();
    creators.push_back(std::make_unique<StandardCreator<Button>>("Button"));
    creators.push_back(std::make_unique<StandardCreator<Scroll>>("Scroll"));
    creators.push_back(std::make_unique<StandardCreator<Slider>>("Slider"));
    creators.push_back(std::make_unique<StandardCreator<MoveButton>>("MoveButton"));
    creators.push_back(std::make_unique<StandardCreator<TagButton>>("TagButton"));
    creators.push_back(std::make_unique<StandardCreator<MouseEventForward>>("MouseEventForward"));
    creators.push_back(std::make_unique<StandardCreator<PanArea>>("PanArea"));
}

bool IsRegistered(const vadu::Atom& type)
{
    (void)standard_controls_registered;
    for (const auto& creator : registry()) {
        if (creator->GetTypeName() == type)
            return true;
    }
    return false;
}

std::unique_ptr<Control> CreateControl(const vadu::Atom& type, const vadu::Atom& name,
                                       vadu::lib3d::node::Node* scene_root)
{
    for (const auto& creator : registry()) {
        if (creator->GetTypeName() == type)
            return creator->Create(name, scene_root);
    }
    return nullptr;
}

std::vector<vadu::Atom> GetRegisteredTypes()
{
    std::vector<vadu::Atom> types;
    for (const auto& creator : registry())
        types.push_back(creator->GetTypeName());
    return types;
}

ControlCollectionLoaderImpl::ControlCollectionLoaderImpl(vadu::lib3d::node::Node* scene_root) : scene_root_(scene_root)
{
}

ControlCollectionLoaderImpl::~ControlCollectionLoaderImpl() = default;

bool ControlCollectionLoaderImpl::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (name == "Resource") {
        detail::PathElement element;
        if (!provider.ParseObject(element))
            return false;
        const vadu::filesystem::String path = detail::to_path(element.path);
        // A controls file that names itself, directly or through others, would recurse
        // without end; no real nesting goes this deep.
        static int nesting = 0;
        if (nesting >= 16)
            throw vadu::GluckBadResource("game::controls::ControlCollectionLoaderImpl::OnNode", "load() failed", path);
        struct Nested {
            Nested() { ++nesting; }
            ~Nested() { --nesting; }
        } nested_guard;
        std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(path);
        ControlCollectionLoaderImpl nested(scene_root_);
        vadu::xml::StreamResource resource(stream.get(), path);
        vadu::xml::Root root(nested, "Controls");
        if (!resource.load(root))
            throw vadu::GluckBadResource("game::controls::ControlCollectionLoaderImpl::OnNode", "load() failed", path);
        for (auto& control : nested.TakeControls())
            controls_.push_back(std::move(control));
        return true;
    }
    const vadu::Atom type(name);
    if (!IsRegistered(type))
        return false;
    ControlLoader loader(type, scene_root_);
    if (!provider.ParseObject(loader))
        return false;
    if (std::unique_ptr<Control> control = loader.TakeControl())
        controls_.push_back(std::move(control));
    return true;
}

ControlLoader::ControlLoader(const vadu::Atom& type, vadu::lib3d::node::Node* scene_root)
    : type_(type), scene_root_(scene_root)
{
    if (!scene_root)
        throw vadu::Gluck("game::controls::ControlLoader::ControlLoader", "Root node undefined while creating control loader");
}

ControlLoader::~ControlLoader() = default;

bool ControlLoader::OnAttribute(vadu::xml::Provider&, const vadu::String& attribute, const vadu::String& value)
{
    if (control_)
        return false;
    if (attribute == "Name") {
        name_ = value;
        return true;
    }
    if (attribute == "Node") {
        node_ = value;
        return true;
    }
    if (attribute == "Link") {
        bool link = false;
        if (!vadu::converter::convert(value, &link))
            return false;
        link_ = link;
        return true;
    }
    return false;
}

bool ControlLoader::MakeControl()
{
    if (control_)
        return true;
    control_ = CreateControl(type_, vadu::Atom(name_), scene_root_);
    if (!control_)
        return false;
    ControlImpl* impl = control_->GetImpl();
    if (!impl)
        return true;
    if (link_)
        impl->SetLinked(true);
    impl->SetNodeName(node_);
    return true;
}

bool ControlLoader::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (!MakeControl())
        return false;
    ControlImpl* impl = control_->GetImpl();
    return impl && impl->OnNode(provider, name);
}

bool ControlLoader::OnEndNode(vadu::xml::Provider&)
{
    return MakeControl();
}

} // namespace game::controls
