#pragma once

// Reading a "Controls" element: control types by element name, control files spliced in
// place by "Resource", and one control per type element.

#include <memory>
#include <vector>

#include "game/controls/control.h"
#include "vadu/atom.h"
#include "vadu/xml_object.h"

namespace game::controls {

// Makes one type of control.
class ControlCreator {
public:
    virtual ~ControlCreator() = default;
    virtual vadu::Atom GetTypeName() const = 0;
    // The control with its scene root, bound, and named.
    virtual std::unique_ptr<Control> Create(const vadu::Atom& name, vadu::lib3d::node::Node* scene_root) const = 0;
};

// Empties the registry and registers the standard types; run once at program start.
void RegisterStandardControls();
bool IsRegistered(const vadu::Atom& type);
// Null for a type not registered.
std::unique_ptr<Control> CreateControl(const vadu::Atom& type, const vadu::Atom& name,
                                       vadu::lib3d::node::Node* scene_root);
// The registered type names, in lookup order.
std::vector<vadu::Atom> GetRegisteredTypes();

class ControlCollectionLoaderImpl : public vadu::xml::ObjectANSI {
public:
    explicit ControlCollectionLoaderImpl(vadu::lib3d::node::Node* scene_root);
    ~ControlCollectionLoaderImpl() override;

    // "Resource Path" (a "Controls" file) or a registered type name.
    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;

    // The controls loaded so far, in order; the caller takes them.
    std::vector<std::unique_ptr<Control>> TakeControls() { return std::move(controls_); }

private:
    vadu::lib3d::node::Node* scene_root_;
    std::vector<std::unique_ptr<Control>> controls_;
};

// One control element: "Name", "Node" and "Link", then the implementation's children.
class ControlLoader : public vadu::xml::ObjectANSI {
public:
    // Throws vadu::Gluck without a scene root.
    ControlLoader(const vadu::Atom& type, vadu::lib3d::node::Node* scene_root);
    ~ControlLoader() override;

    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override;
    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;
    // An element without children gets its control here.
    bool OnEndNode(vadu::xml::Provider& provider) override;

    std::unique_ptr<Control> TakeControl() { return std::move(control_); }

private:
    bool MakeControl();

    std::unique_ptr<Control> control_;
    vadu::Atom type_;
    vadu::String name_;
    vadu::String node_;
    bool link_ = false;
    vadu::lib3d::node::Node* scene_root_;
};

} // namespace game::controls
