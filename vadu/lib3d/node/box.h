#pragma once

// A cube from −1 to 1 with a flat normal and the full texture on each face, drawn whole
// once for every material of its list that is not (nearly) invisible. Its children are
// not drawn.

#include "vadu/lib3d/material/material.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/primitive_object.h"

namespace vadu::lib3d::node {

class Box : public Node {
public:
    Box(const Atom& name, Node* parent);
    // Copies the node and the materials; the buffers start empty.
    Box(const Box& other);
    ~Box() override;

    // "Box".
    Atom get_type_name() const override;
    Node* clone() const override;
    // Rebuilds the mesh when the device's buffers are not operational, then one record of
    // all 12 triangles per material.
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;

    // "Shaders" is the material list; each "Shader" child is one more material appended
    // to it. Other children are nodes.
    bool OnNode(xml::Provider& provider, const String& name) override;

    // 24 vertices, four per face in the order −z, −x, +z, +x, +y, −y, with the texture
    // coordinates (1, 1), (1, 0), (0, 0), (0, 1) around each face; two triangles a face.
    static PrimitiveMesh build_mesh();
    // Fills every device's buffers. Throws vadu::Gluck "vb->update() failed" when a buffer
    // refuses the mesh.
    void create();

    material::ShaderLoader& get_shaders() noexcept { return shaders_; }

private:
    PrimitiveObjects objects_;
    material::ShaderLoader shaders_;
};

} // namespace vadu::lib3d::node
