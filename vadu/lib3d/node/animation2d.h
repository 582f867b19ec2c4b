#pragma once

// A flip-book: a double-sided rectangle showing the current frame of a texture sequence,
// placed by the image's alignment words. The game starts its named sequences through
// play_sequence; the frames advance with the sequence's own clock.

#include <cstdint>

#include "vadu/lib3d/hard/hardware.h"
#include "vadu/lib3d/hard/hardware_dependent.h"
#include "vadu/lib3d/hard/resources.h"
#include "vadu/lib3d/material/texture_sequence.h"
#include "vadu/lib3d/node/node.h"

namespace vadu::lib3d::node {

class Animation2D : public Node, public HardwareDependentObject<hard::Manager, hard::VertexBuffer> {
public:
    Animation2D(const Atom& name, Node* parent);
    // Alignments, the sequences with their play state, transparency and colour; the quad is
    // rebuilt at the next draw.
    Animation2D(const Animation2D& other);
    ~Animation2D() override;

    void on_add_hardware(hard::Hardware* hardware) override;

    using Node::change_attribute;
    using Node::get_attribute;
    // "Transparency"; "Percent" and "Frame" go to the sequence; others as the node.
    bool change_attribute(const Atom& name, double value) override;
    // "Color"; others as the node.
    bool change_attribute(const Atom& name, const math::Vector3& value) override;
    bool get_attribute(const Atom& name, double& value) override;
    bool get_attribute(const Atom& name, math::Vector3& value) override;

    // Starts the named sequence from its beginning; false when there is none.
    bool play_sequence(const Atom& name) override;
    // With keep_running, a sequence that is already current goes on undisturbed.
    bool play_sequence(const Atom& name, bool keep_running);
    // The current sequence's name; empty when none plays.
    Atom get_current_sequence_name() const;

    // "Animation2D".
    Atom get_type_name() const override;
    Node* clone() const override;
    void accept(NodeVisitor& visitor) override;
    // Nothing at all (not even the children) until the sequence has a current frame.
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    // "Sequence" and "SpanSequence" go to the sequence; a "Pause" is refused with a log line
    // (a sequence holds a frame through a "Frame" time instead); other children are nodes.
    bool OnNode(xml::Provider& provider, const String& name) override;
    bool OnEndNode(xml::Provider& provider) override;

    // Twelve vertices for the current frame's size into every device's buffer; nothing
    // without a current frame. Throws vadu::Gluck "it->second->update() failed".
    void fill_vb();

    material::TextureSequence& get_sequence() noexcept { return sequence_; }
    int32_t align_x = 0;
    int32_t align_y = 0;
    double get_transparency() const noexcept { return transparency_; }
    const math::Vector3& get_colour() const noexcept { return colour_; }
    // Left, bottom, width, height of the rectangle last built.
    const float* get_rect() const noexcept { return rect_; }

private:
    // The current frame's width and height: the sequence's own size when it has one, else
    // the frame picture's once it is read; false without a frame to show.
    bool current_frame_size(float& width, float& height) const;
    void register_once();

    material::TextureSequence sequence_;
    double transparency_ = 0.0;
    math::Vector3 colour_{1.0f, 1.0f, 1.0f};
    uint8_t geometry_dirty_ = 1;
    float rect_[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    bool registered_ = false;
};

} // namespace vadu::lib3d::node
