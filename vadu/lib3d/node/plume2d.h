#pragma once

// A flat, untextured band of constant width along a polyline of world points: a smoke or
// speed trail behind a moving object. The owner supplies the points; the node's own
// transform moves nothing but the depth, and its children are not drawn.

#include <cstdint>
#include <vector>

#include "vadu/lib3d/node/coloured_buffers.h"
#include "vadu/lib3d/node/node.h"

namespace vadu::lib3d::node {

class Plume2D : public Node {
public:
    Plume2D(const Atom& name, Node* parent);
    Plume2D(const Plume2D& other);
    ~Plume2D() override;

    // "Plume2D".
    Atom get_type_name() const override;
    Node* clone() const override;
    // One record at the node's global depth once there are two points.
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;

    // Fills every device's buffer (nothing with fewer than two points); vadu::Gluck
    // "vb->update() failed" when one refuses.
    void rebuildPlume();

    // The trail in world x and y, in order; the band follows at the next draw.
    void set_points(std::vector<math::Vector2<float>> points);
    const std::vector<math::Vector2<float>>& get_points() const noexcept { return points_; }

    void set_width(float width) { width_ = width; }
    void set_transparency(float transparency) { transparency_ = transparency; }
    void set_color(const math::Vector3& colour) { colour_ = colour; }

private:
    ColouredBuffers buffers_;
    float transparency_ = 0.0f;
    math::Vector3 colour_{1.0f, 1.0f, 1.0f};
    uint8_t built_ = 0;
    float width_ = 0.0f;
    std::vector<math::Vector2<float>> points_;
};

} // namespace vadu::lib3d::node
