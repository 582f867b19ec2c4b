#pragma once

// Chains of names that address an object below a scene object ("Body|Arm|Shaders"), and
// the reference that tracks and command lists keep to the object such a chain found.

#include <vector>

#include "vadu/animate/animatable.h"
#include "vadu/atom.h"
#include "vadu/string.h"
#include "vadu/weak_ptr.h"

namespace vadu::animate {

// One atom per name, in order.
using NodePath = std::vector<Atom>;

// The object the path names, starting at `start`: an empty path names the start itself;
// the first name is asked of the start with the recursive flag, every further name of
// the object found so far without it. Null when any name is not found (or start is null).
Animatable* find_by_path(Animatable* start, const NodePath& path, bool recursive);

// A non-owning reference to the object a path found, which empties itself when that
// object goes away. Objects that are Trackable are watched directly. An inner object that
// is not (a material, a shader list) is watched through the nearest Trackable on the way
// to it, since the object that exposes it owns it: when that owner dies, the reference
// empties. Only a chain with no Trackable at all is held as a plain pointer.
class TargetRef {
public:
    TargetRef() = default;
    TargetRef(const TargetRef&) = default;
    TargetRef& operator=(const TargetRef&) = default;

    // Looks the path up (see find_by_path) and points here at the result; empties the
    // reference and returns false when nothing is found.
    bool bind(Animatable* start, const NodePath& path, bool recursive);
    void reset() noexcept;

    // The object, or null when there is none or it has been destroyed.
    Animatable* get() const noexcept { return anchored_ && !anchor_.get() ? nullptr : object_; }

private:
    Animatable* object_ = nullptr;
    WeakPtr anchor_;
    bool anchored_ = false;
};

} // namespace vadu::animate

namespace vadu::converter {

// Splits the text at every "|" into names: empty pieces between separators are kept as
// the empty atom, a trailing "|" adds none, and empty text gives an empty path. The path
// is cleared first. Always succeeds.
bool convert(const String& text, animate::NodePath* path);

} // namespace vadu::converter
