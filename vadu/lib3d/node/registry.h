#pragma once

// Node types by name: scene files name the type of each node by its element name, and
// game code builds nodes by name too.

#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "vadu/atom.h"
#include "vadu/path.h"

namespace vadu::lib3d::node {

class Node;

// Makes a node of one type, appended to the parent's children when a parent is given.
using NodeCreator = Node* (*)(Node* parent, const Atom& name);

// The creator of a node type T: new T(name, parent).
template <class T>
Node* create_node_of_type(Node* parent, const Atom& name)
{
    return new T(name, parent);
}

// Sets (or replaces) the creator of the type. Throws vadu::Gluck for a null creator.
void register_node_type(const Atom& type_name, NodeCreator creator);
// Removes the type; the registry goes away with its last type.
void unregister_node_type(const Atom& type_name);
// A new node of the registered type, or null when the type is not registered.
Node* create_node(Node* parent, const Atom& type_name, const Atom& name);

// A new plain Node under the parent, filled from the scene file: a root element "Scene"
// applies to the node itself, a root element named by a registered type becomes its only
// child. When the file cannot be opened or loaded the node is deleted again and
// vadu::GluckBadResource "error parsing resource" is raised with the path.
Node* create_from_resource(const Atom& name, Node* parent, const filesystem::String& path);

// One engine node type: its name (also its element name in scenes) and its creator.
struct NodeTypeEntry {
    const char* type_name;
    NodeCreator creator;
};

// The engine's node types that the scene graph makes, in the order the application
// registers them: all but the text node, which lives above the scene graph and which the
// application shell puts in its place among these.
std::span<const NodeTypeEntry> get_engine_node_types();

// Registers every type of the table, in its order.
void register_node_types(std::span<const NodeTypeEntry> types);
// Unregisters every type of the table, last first.
void unregister_node_types(std::span<const NodeTypeEntry> types);

// The types of a table registered for as long as the object lives, and unregistered, last
// first, when it goes: the engine's own unless told others, or only those of the table
// whose names `wanted` accepts.
class NodeTypeRegistration {
public:
    explicit NodeTypeRegistration(std::span<const NodeTypeEntry> types = get_engine_node_types());
    NodeTypeRegistration(std::span<const NodeTypeEntry> types, const std::function<bool(std::string_view)>& wanted);
    ~NodeTypeRegistration();
    NodeTypeRegistration(const NodeTypeRegistration&) = delete;
    NodeTypeRegistration& operator=(const NodeTypeRegistration&) = delete;

private:
    std::vector<NodeTypeEntry> types_;
};

} // namespace vadu::lib3d::node
