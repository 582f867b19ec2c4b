#pragma once

// A unit square in the xy plane from (0, 0) to (1, 1), made of two triangles facing +z
// and two facing −z, so that it shows lit from either side; coloured by one material of
// its own. Its children are not drawn.

#include "vadu/lib3d/hard/hardware.h"
#include "vadu/lib3d/hard/hardware_dependent.h"
#include "vadu/lib3d/hard/resources.h"
#include "vadu/lib3d/material/material.h"
#include "vadu/lib3d/node/node.h"

namespace vadu::lib3d::node {

// One vertex buffer per render device.
class PlaneBuffers : public HardwareDependentObject<hard::Manager, hard::VertexBuffer> {
public:
    PlaneBuffers();
    // A copy starts with buffers of its own.
    PlaneBuffers(const PlaneBuffers&);
    PlaneBuffers& operator=(const PlaneBuffers&) = delete;
    ~PlaneBuffers() override;

    void on_add_hardware(hard::Hardware* hardware) override;
    // The device's buffer; null while no device manager exists, vadu::Gluck "Data not
    // found" for a device the manager does not know.
    hard::VertexBuffer* buffer_for(hard::Hardware& hardware);

private:
    void register_once();

    bool registered_ = false;
};

class Plane : public Node {
public:
    static constexpr uint32_t triangle_count = 4;
    static constexpr uint32_t vertex_count = 12;

    Plane(const Atom& name, Node* parent);
    // Copies the node and the material; the buffers start empty.
    Plane(const Plane& other);
    ~Plane() override;

    // "Plane".
    Atom get_type_name() const override;
    Node* clone() const override;
    // Fills the device's buffer the first time and whenever it has lost its data (device
    // loss, a change of mode), then one record of the four triangles.
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;

    // "Shader" is the material; other children are nodes.
    bool OnNode(xml::Provider& provider, const String& name) override;

    // The 12 vertices (positions and normals; no colours or texture coordinates) into the
    // buffer. Throws vadu::Gluck "vb->update() failed" when it refuses them.
    static void fillVb(hard::VertexBuffer& buffer);

    bool is_filled() const noexcept { return filled_; }
    material::Material& get_material() noexcept { return material_; }

private:
    PlaneBuffers buffers_;
    bool filled_ = false;
    material::Material material_;
};

} // namespace vadu::lib3d::node
