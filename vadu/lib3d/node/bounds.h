#pragma once

// Screen bounds of scene nodes, asked for by the framework (hit areas, layout). Only the
// node types that have a rectangle answer; the others leave the query alone.

#include <cstdint>

namespace vadu::lib3d::node {

class Node;

struct BoundsRect {
    float min_x = 0.0f;
    float min_y = 0.0f;
    float max_x = 0.0f;
    float max_y = 0.0f;
    uint8_t empty = 1;
};

// The asking side. The node calls begin first and returns its result at once when it is
// false; otherwise it fills the rectangle and returns what finish returns.
class BoundsQuery {
public:
    BoundsQuery() = default;
    BoundsQuery(const BoundsQuery&) = default;
    BoundsQuery& operator=(const BoundsQuery&) = default;
    virtual ~BoundsQuery() = default;

    virtual bool begin() = 0;
    virtual BoundsRect& rect() = 0;
    virtual bool finish() = 0;
};

// Implemented by the node types that answer a bounds query.
class BoundsSource {
public:
    virtual bool query_bounds(BoundsQuery& query) = 0;

protected:
    BoundsSource() = default;
    BoundsSource(const BoundsSource&) = default;
    BoundsSource& operator=(const BoundsSource&) = default;
    ~BoundsSource() = default;
};

// The node's answer; false, with the query untouched, for a node type that has none.
bool query_node_bounds(Node& node, BoundsQuery& query);

} // namespace vadu::lib3d::node
