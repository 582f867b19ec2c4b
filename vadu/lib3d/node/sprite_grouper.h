#pragma once

// Many small sprites that share one picture drawn in one call: the grouper gathers the
// quads of its "Sprite" children into a vertex buffer of its own and hands the list a
// single record with the first sprite's picture and colour. The sprites are placed by
// their own transforms only; the grouper's transform is not applied to them.

#include <cstdint>
#include <vector>

#include "vadu/lib3d/hard/hardware.h"
#include "vadu/lib3d/hard/hardware_dependent.h"
#include "vadu/lib3d/hard/resources.h"
#include "vadu/lib3d/node/node.h"

namespace vadu::lib3d::node {

class Sprite;

class SpriteGrouper : public Node, public HardwareDependentObject<hard::Manager, hard::VertexBuffer> {
public:
    SpriteGrouper(const Atom& name, Node* parent);
    ~SpriteGrouper() override;

    void on_add_hardware(hard::Hardware* hardware) override;

    // "SpriteGrouper".
    Atom get_type_name() const override;
    // A plain node with copies of the children: the copy does not group.
    Node* clone() const override;
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;

    // Six vertices per sprite child, in child order. Throws vadu::Gluck "vb->update() failed".
    void FillVB(hard::VertexBuffer& buffer);

    // The children whose type name is exactly "Sprite", in order.
    std::vector<Sprite*> sprite_children() const;

private:
    void register_once();
    bool registered_ = false;
};

} // namespace vadu::lib3d::node
