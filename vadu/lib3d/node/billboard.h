#pragma once

// A grouping node that turns its subtree to face the viewer: each frame its global matrix
// takes the camera's orientation and keeps only its own global position.

#include <cstdint>

#include "vadu/lib3d/node/node.h"

namespace vadu::lib3d::node {

class Billboard : public Node {
public:
    Billboard(const Atom& name, Node* parent);
    Billboard(const Billboard& other);
    ~Billboard() override;

    using Node::change_attribute;
    using Node::get_attribute;
    // "Restricted": 0 for exactly 0.0, 1 otherwise.
    bool change_attribute(const Atom& name, double value) override;
    bool get_attribute(const Atom& name, double& value) override;

    // "Billboard".
    Atom get_type_name() const override;
    Node* clone() const override;
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;

    // Kept for the scene files that set it; the drawing does not depend on it.
    bool is_restricted() const noexcept { return restricted_ != 0; }

private:
    uint8_t restricted_ = 0;
};

} // namespace vadu::lib3d::node
