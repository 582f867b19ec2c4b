#pragma once

// A flat ribbon along a curve: a TCB envelope of points sampled over 0..1 so that samples
// lie at most 5 units apart in each coordinate, drawn 64 units wide in the xy plane and
// textured along its length by a material. Rebuilt every frame, so an animated curve or
// material shows at once.

#include <cstdint>
#include <vector>

#include "vadu/animate/envelope.h"
#include "vadu/lib3d/material/material.h"
#include "vadu/lib3d/node/coloured_buffers.h"
#include "vadu/lib3d/node/node.h"

namespace vadu::lib3d::node {

class Trace : public Node {
public:
    // Half the ribbon's width, and the length over which u runs from 0 to 1.
    static constexpr float half_width = 32.0f;
    static constexpr float texture_length = 200.0f;
    // The largest jump between two samples in any coordinate.
    static constexpr float largest_jump = 5.0f;
    // A curve that jumps (keys out of order) cannot be sampled that finely: the step never
    // gets smaller than this, and no curve takes more samples than the cap.
    static constexpr float smallest_step = 1.0f / 65536.0f;
    static constexpr int sample_cap = 20000;

    Trace(const Atom& name, Node* parent);
    ~Trace() override;

    // "Trace".
    Atom get_type_name() const override;
    // A plain node with copies of the children: the copy is no ribbon.
    Node* clone() const override;
    // The material by its name; otherwise as the node.
    animate::Animatable* find_object(const Atom& name, bool recursive) override;
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;

    // "Shader" is the material, "EnvelopeTCB" the curve; other children are nodes.
    bool OnNode(xml::Provider& provider, const String& name) override;

    // The samples over 0..1: points and unit directions (a zero direction stays zero).
    void sample(std::vector<math::Vector3>& points, std::vector<math::Vector3>& directions) const;
    // Rebuilds the ribbon into every device's buffer; its triangle count. Throws
    // vadu::Gluck "it->second->update() failed".
    uint32_t update_buffer();

    animate::EnvelopeTCB<math::Vector3>& get_curve() noexcept { return curve_; }
    material::Material& get_material() noexcept { return material_; }
    // The arrays last handed to the buffers (three position floats, four colour floats and
    // two texture coordinates per vertex).
    const hard::FloatArray& get_positions() const noexcept { return positions_; }
    const hard::FloatArray& get_texture_coordinates() const noexcept { return uvs_; }

private:
    ColouredBuffers buffers_;
    material::Material material_;
    animate::EnvelopeTCB<math::Vector3> curve_;
    hard::FloatArray positions_;
    hard::FloatArray colours_;
    hard::FloatArray uvs_;
    mutable bool warned_ = false;
};

} // namespace vadu::lib3d::node
