#include "vadu/lib3d/node/loading_root.h"

namespace vadu::lib3d::node {

LoadingRoot::LoadingRoot(const Atom& name) : Node(name, nullptr) {}

LoadingRoot::~LoadingRoot()
{
    delete_children();
    cameras_.clear();
    cameras_.shrink_to_fit();
}

Atom LoadingRoot::get_type_name() const
{
    static const Atom type("LoadingRoot");
    return type;
}

void LoadingRoot::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    set_cached_global_matrix(math::Matrix4::identity());
    Node::render_to_list(hardware, list);
}

Node* LoadingRoot::get_root()
{
    return this;
}

void LoadingRoot::accept(NodeVisitor& visitor)
{
    visitor.visit_loading_root(*this);
}

} // namespace vadu::lib3d::node
