#pragma once

#include "vadu/atom.h"
#include "vadu/math.h"
#include "vadu/path.h"
#include "vadu/string.h"

namespace vadu::animate {

// The third value kind of the attribute interface. No engine class reads or writes it;
// it only keeps the slot so that the kinds after it stay in their order.
struct ThirdValueKind {};

// Attributes by name for animations and scripts: nodes, materials, textures and sound
// channels answer the names they know. Every operation returns false (or null) for a
// name the object does not know, so derived classes hand unknown names to their base.
class Animatable {
public:
    Animatable() = default;
    Animatable(const Animatable&) = default;
    Animatable& operator=(const Animatable&) = default;
    virtual ~Animatable() = default;

    virtual bool change_attribute(const Atom& /*name*/, double /*value*/) { return false; }
    virtual bool change_attribute(const Atom& /*name*/, const math::Vector3& /*value*/) { return false; }
    virtual bool change_attribute(const Atom& /*name*/, const ThirdValueKind& /*value*/) { return false; }
    virtual bool change_attribute(const Atom& /*name*/, const filesystem::String& /*value*/) { return false; }
    virtual bool change_attribute(const Atom& /*name*/, const WString& /*value*/) { return false; }

    virtual bool get_attribute(const Atom& /*name*/, double& /*value*/) { return false; }
    virtual bool get_attribute(const Atom& /*name*/, math::Vector3& /*value*/) { return false; }
    virtual bool get_attribute(const Atom& /*name*/, ThirdValueKind& /*value*/) { return false; }
    virtual bool get_attribute(const Atom& /*name*/, filesystem::String& /*value*/) { return false; }
    virtual bool get_attribute(const Atom& /*name*/, WString& /*value*/) { return false; }

    virtual bool play_sequence(const Atom& /*name*/) { return false; }

    // The inner object of that name (a child node, a material's texture), or null.
    virtual Animatable* find_object(const Atom& /*name*/, bool /*recursive*/) { return nullptr; }
};

} // namespace vadu::animate
