#include "vadu/lib3d/node/registry.h"

#include <map>
#include <memory>

#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/node/animation2d.h"
#include "vadu/lib3d/node/billboard.h"
#include "vadu/lib3d/node/box.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/lib3d/node/emitter.h"
#include "vadu/lib3d/node/gradient.h"
#include "vadu/lib3d/node/image.h"
#include "vadu/lib3d/node/light.h"
#include "vadu/lib3d/node/model_nodes.h"
#include "vadu/lib3d/node/model_skeleton.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/plane.h"
#include "vadu/lib3d/node/plume2d.h"
#include "vadu/lib3d/node/sphere.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/lib3d/node/sprite_grouper.h"
#include "vadu/lib3d/node/trace.h"
#include "vadu/log.h"
#include "vadu/xml_reader.h"

namespace vadu::lib3d::node {

namespace {

using Registry = std::map<Atom, NodeCreator>;

// Exists only while a type is registered.
std::unique_ptr<Registry>& registry()
{
    static std::unique_ptr<Registry> instance;
    return instance;
}

// In registration order; the text node comes after the particle emitter.
const NodeTypeEntry engine_node_types[] = {
    {"Billboard", &create_node_of_type<Billboard>},
    {"Box", &create_node_of_type<Box>},
    {"CameraParallel", &create_node_of_type<CameraParallel>},
    {"CameraPerspective", &create_node_of_type<CameraPerspective>},
    {"Image", &create_node_of_type<Image>},
    {"Sprite", &create_node_of_type<Sprite>},
    {"SpriteGrouper", &create_node_of_type<SpriteGrouper>},
    {"Light", &create_node_of_type<Light>},
    {"ModelFixed", &create_node_of_type<ModelFixed>},
    {"ModelMorph", &create_node_of_type<ModelMorph>},
    {"ModelSkeleton", &create_node_of_type<ModelSkeleton>},
    {"Node", &create_node_of_type<Node>},
    {"Plane", &create_node_of_type<Plane>},
    {"Sphere", &create_node_of_type<Sphere>},
    {"ParticlesEmitter", &create_node_of_type<Emitter>},
    {"Animation2D", &create_node_of_type<Animation2D>},
    {"Plume2D", &create_node_of_type<Plume2D>},
    {"Gradient", &create_node_of_type<Gradient>},
    {"Trace", &create_node_of_type<Trace>},
};

} // namespace

void register_node_type(const Atom& type_name, NodeCreator creator)
{
    if (!creator)
        throw Gluck("vadu::lib3d::node::register_node_type", "null creator for \"" + type_name.get_name() + "\"");
    if (!registry())
        registry() = std::make_unique<Registry>();
    (*registry())[type_name] = creator;
}

void unregister_node_type(const Atom& type_name)
{
    if (!registry())
        return;
    registry()->erase(type_name);
    if (registry()->empty())
        registry().reset();
}

Node* create_node(Node* parent, const Atom& type_name, const Atom& name)
{
    if (!registry())
        return nullptr;
    const auto found = registry()->find(type_name);
    if (found == registry()->end())
        return nullptr;
    return found->second(parent, name);
}

Node* create_from_resource(const Atom& name, Node* parent, const filesystem::String& path)
{
    static const char function[] = "vadu::lib3d::node::create_from_resource";
    Node* node = new Node(name, parent);
    bool loaded = false;
    try {
        std::unique_ptr<Stream> stream = filesystem::open(path);
        if (stream) {
            // The root element reaches the node as a child element: "Scene" is the node
            // itself, a type name becomes its one child.
            xml::StreamResource resource(stream.get(), path);
            loaded = resource.load(*node);
        }
    } catch (const Gluck& error) {
        delete node;
        // The description of what went wrong inside would otherwise be lost.
        try {
            logs::log() << "Failed to load \"" << path.get_text() << "\": " << error.get_description() << " ("
                        << error.get_function() << ")\n";
        } catch (const Gluck&) {
        }
        throw GluckBadResource(function, "error parsing resource", path);
    } catch (...) {
        delete node;
        throw;
    }
    if (!loaded) {
        delete node;
        throw GluckBadResource(function, "error parsing resource", path);
    }
    return node;
}

std::span<const NodeTypeEntry> get_engine_node_types()
{
    return engine_node_types;
}

void register_node_types(std::span<const NodeTypeEntry> types)
{
    for (const NodeTypeEntry& entry : types)
        register_node_type(Atom(entry.type_name), entry.creator);
}

void unregister_node_types(std::span<const NodeTypeEntry> types)
{
    for (auto entry = types.rbegin(); entry != types.rend(); ++entry)
        unregister_node_type(Atom(entry->type_name));
}

NodeTypeRegistration::NodeTypeRegistration(std::span<const NodeTypeEntry> types) : types_(types.begin(), types.end())
{
    register_node_types(types_);
}

NodeTypeRegistration::NodeTypeRegistration(std::span<const NodeTypeEntry> types,
                                           const std::function<bool(std::string_view)>& wanted)
{
    for (const NodeTypeEntry& entry : types) {
        if (wanted(entry.type_name))
            types_.push_back(entry);
    }
    register_node_types(types_);
}

NodeTypeRegistration::~NodeTypeRegistration()
{
    unregister_node_types(types_);
}

} // namespace vadu::lib3d::node
