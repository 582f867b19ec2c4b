#include "vadu/animate/node_path.h"

namespace vadu::animate {

namespace {

// Resolves the path and also reports the last Trackable met on the way (the start
// included), which outlives nothing that it exposes.
Animatable* resolve(Animatable* start, const NodePath& path, bool recursive, Trackable** anchor)
{
    Animatable* current = start;
    Trackable* watched = dynamic_cast<Trackable*>(start);
    bool first = true;
    for (const Atom& name : path) {
        if (!current)
            break;
        current = current->find_object(name, first ? recursive : false);
        first = false;
        if (Trackable* trackable = dynamic_cast<Trackable*>(current))
            watched = trackable;
    }
    if (anchor)
        *anchor = current ? watched : nullptr;
    return current;
}

} // namespace

Animatable* find_by_path(Animatable* start, const NodePath& path, bool recursive)
{
    return resolve(start, path, recursive, nullptr);
}

bool TargetRef::bind(Animatable* start, const NodePath& path, bool recursive)
{
    Trackable* anchor = nullptr;
    object_ = resolve(start, path, recursive, &anchor);
    anchored_ = anchor != nullptr;
    anchor_.assign(anchor);
    return object_ != nullptr;
}

void TargetRef::reset() noexcept
{
    object_ = nullptr;
    anchored_ = false;
    anchor_.reset();
}

} // namespace vadu::animate

namespace vadu::converter {

bool convert(const String& text, animate::NodePath* path)
{
    path->clear();
    const char* const begin = text.data();
    const size_t size = text.size();
    size_t position = 0;
    while (position < size) {
        size_t separator = text.find('|', position);
        if (separator == String::npos || separator > size)
            separator = size;
        path->emplace_back(begin + position, begin + separator);
        position = separator + 1;
    }
    return true;
}

} // namespace vadu::converter
