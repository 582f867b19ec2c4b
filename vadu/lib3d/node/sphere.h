#pragma once

// A unit sphere built on the processor from rings of latitude, coloured by a list of
// materials each of which covers its own range of the triangles. Its children are not
// drawn.

#include <cstdint>

#include "vadu/lib3d/material/material.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/primitive_object.h"

namespace vadu::lib3d::node {

class Sphere : public Node {
public:
    static constexpr int32_t default_tessellation = 8;
    static constexpr int32_t min_tessellation = 2;
    static constexpr int32_t max_tessellation = 32;

    Sphere(const Atom& name, Node* parent);
    // Copies the node, the materials and the tessellation; the buffers start empty.
    Sphere(const Sphere& other);
    ~Sphere() override;

    // "Sphere".
    Atom get_type_name() const override;
    Node* clone() const override;
    // Rebuilds the mesh when the device's buffers are not operational, then one record per
    // material that is not (nearly) invisible. Each material covers its "TrianglesCount"
    // triangles and "VertexCount" vertices after those of the materials before it, the
    // skipped ones included; a material without counts draws nothing.
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;

    // "Tesselation" (an integer, clamped when the mesh is built).
    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    // "Shaders" is the material list; other children are nodes.
    bool OnNode(xml::Provider& provider, const String& name) override;

    // The mesh of a tessellation clamped to 2..32: with n = 2t segments around, n vertices
    // at each pole (one per segment, for its texture coordinate), then t − 1 rings of n + 1
    // vertices from north to south, the first vertex of each ring repeated at its end for
    // the texture seam; 2n(t − 1) triangles.
    static PrimitiveMesh build_mesh(int32_t tessellation);
    // Clamps and stores the tessellation and fills every device's buffers. Throws
    // vadu::Gluck "vb->update() failed" when a buffer refuses the mesh.
    void create(int32_t tessellation);

    int32_t get_tessellation() const noexcept { return tessellation_; }
    material::ShaderLoader& get_shaders() noexcept { return shaders_; }

private:
    PrimitiveObjects objects_;
    material::ShaderLoader shaders_;
    int32_t tessellation_ = default_tessellation;
};

} // namespace vadu::lib3d::node
