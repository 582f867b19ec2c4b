#pragma once

// A reference to a scene node that empties itself when the node dies, and node casts by
// type name.

#include "vadu/atom.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/weak_ptr.h"

namespace vadu::lib3d::node {

class NodeRef {
public:
    NodeRef() = default;
    explicit NodeRef(Node* node) { reset(node); }
    NodeRef(const NodeRef& other) : pointer_(other.pointer_) {}
    NodeRef& operator=(const NodeRef& other)
    {
        pointer_ = other.pointer_;
        return *this;
    }

    void reset(Node* node = nullptr) { pointer_.assign(node); }
    // Null once the node is destroyed.
    Node* get() const noexcept { return static_cast<Node*>(pointer_.get()); }
    Node* operator->() const noexcept { return get(); }
    explicit operator bool() const noexcept { return get() != nullptr; }

private:
    WeakPtr pointer_;
};

// The node as T when its type name is the given one (and it really is a T); else null.
template <class T>
T* cast_by_type_name(Node* node, const Atom& type_name)
{
    if (!node || !(node->get_type_name() == type_name))
        return nullptr;
    return dynamic_cast<T*>(node);
}

inline Sprite* sprite_cast(Node* node)
{
    static const Atom sprite("Sprite");
    return cast_by_type_name<Sprite>(node, sprite);
}

} // namespace vadu::lib3d::node
