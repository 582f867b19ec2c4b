#include "vadu/lib3d/node/bounds.h"

#include "vadu/lib3d/node/node.h"

namespace vadu::lib3d::node {

bool query_node_bounds(Node& node, BoundsQuery& query)
{
    auto* source = dynamic_cast<BoundsSource*>(&node);
    return source ? source->query_bounds(query) : false;
}

} // namespace vadu::lib3d::node
