#pragma once

// An untextured rectangle whose vertex colours run from a start colour and transparency
// to an end colour and transparency, for fades and backdrops. Its children are not drawn.

#include <cstdint>

#include "vadu/lib3d/node/coloured_buffers.h"
#include "vadu/lib3d/node/node.h"

namespace vadu::lib3d::node {

class Gradient : public Node {
public:
    // Which edge gets the start value: LEFT the right edge (the colour runs leftwards),
    // RIGHT the left edge, UP the bottom edge, DOWN the top edge.
    enum Direction : int32_t { LEFT = 0, RIGHT = 1, UP = 2, DOWN = 3 };

    Gradient(const Atom& name, Node* parent);
    Gradient(const Gradient& other);
    ~Gradient() override;

    // "Gradient".
    Atom get_type_name() const override;
    Node* clone() const override;
    // One record of its own buffer; the children are never walked.
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;

    // Every attribute read marks the plane for rebuilding, so values that arrive after
    // the first draw show.
    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;

    // Fills every device's buffer; vadu::Gluck "vb->update() failed" when one refuses.
    void rebuild_gradient_plane();

    void set_colors(const math::Vector3& start, const math::Vector3& end);
    void set_transparencies(float start, float end);
    void set_size(float width, float height);
    void set_direction(int32_t direction);

    bool needs_rebuild() const noexcept { return rebuild_ != 0; }
    int32_t get_direction() const noexcept { return direction_; }

private:
    ColouredBuffers buffers_;
    uint8_t rebuild_ = 0;
    math::Vector3 start_color_{1.0f, 1.0f, 1.0f};
    math::Vector3 end_color_{0.0f, 0.0f, 0.0f};
    float start_transparency_ = 1.0f;
    float end_transparency_ = 0.0f;
    float width_ = 0.0f;
    float height_ = 0.0f;
    int32_t align_x_;
    int32_t align_y_;
    int32_t direction_ = LEFT;
};

} // namespace vadu::lib3d::node
