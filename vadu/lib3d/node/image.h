#pragma once

// A whole picture as a double-sided rectangle with a vertex buffer of its own, aligned to
// the node's origin by named alignments. Unlike sprites, images are not batched: each
// adds one render record.

#include <cstdint>
#include <memory>

#include "vadu/lib3d/hard/resources.h"
#include "vadu/lib3d/hard/hardware.h"
#include "vadu/lib3d/hard/hardware_dependent.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/lib3d/node/bounds.h"
#include "vadu/lib3d/node/node.h"

namespace vadu::lib3d::node {

// The alignment words of images, 2D animations and gradients; y points up.
enum Alignment : int32_t {
    ALIGN_CENTER = 0,
    ALIGN_LEFT = 1,
    ALIGN_RIGHT = 2,
    ALIGN_TOP = 3,
    ALIGN_BOTTOM = 4,
};

// "CENTER", "LEFT", "RIGHT", "TOP", "BOTTOM", matched exactly (case counts); false for
// any other word, leaving *value alone.
bool alignment_from_word(const String& word, int32_t* value);
// The word of a value; null for a value outside the table.
const char* alignment_word(int32_t value);
// Where the lower-left corner of a w × h rectangle goes: x 0 for LEFT, −w for RIGHT, −w/2
// otherwise; y −h for TOP, 0 for BOTTOM, −h/2 otherwise.
math::Vector2<float> alignment_offset(int32_t align_x, int32_t align_y, float w, float h);

class Image;

// The picture and geometry of an image: one vertex buffer per render device.
class ImageImpl : public HardwareDependentObject<hard::Manager, hard::VertexBuffer> {
public:
    // Registers with the render-device manager when one exists.
    explicit ImageImpl(Image& owner);
    // Copies alignments, size, transparency, colour, alpha-test values and the picture.
    ImageImpl(Image& owner, const ImageImpl& other);
    ~ImageImpl() override;

    void on_add_hardware(hard::Hardware* hardware) override;

    // "Src" from a scene file: the picture name and a texture for the lower-cased path.
    void read_picture(const String& name);
    void OnSaveAttributes(xml::Saver& saver);

    // Twelve vertices, the rectangle from both sides. Throws vadu::Gluck
    // "vb->update() failed" when the buffer refuses them.
    void fill_vb(hard::VertexBuffer& buffer);
    // The record for the hardware's buffer once the picture has loaded; the children are
    // the image's business.
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list);
    bool query_bounds(BoundsQuery& query);

    // A new picture; the one on screen stays until the new one is built.
    void change_picture(const filesystem::String& path);

    // The picture is read and has a device texture (for the hardware, or for any when null).
    bool is_picture_loaded(const hard::Hardware* hardware) const;
    int32_t get_picture_width() const;
    int32_t get_picture_height() const;

    material::TextureSimple* get_texture() const noexcept { return texture_.get(); }
    material::TextureSimple* get_previous_texture() const noexcept { return previous_.get(); }
    const String& get_picture_name() const noexcept { return picture_name_; }
    int32_t align_x = ALIGN_LEFT;
    int32_t align_y = ALIGN_TOP;
    // −1: the picture's size.
    int32_t width = -1;
    int32_t height = -1;
    double transparency = 0.0;
    math::Vector3 colour{1.0f, 1.0f, 1.0f};
    uint8_t alpha_test = 0;
    float alpha_reference = 1.0f;

    bool is_filled() const noexcept { return filled_ != 0; }
    bool is_dirty() const noexcept { return dirty_ != 0; }
    // Left, bottom, width, height of the rectangle last built.
    const float* get_rect() const noexcept { return rect_; }

private:
    void register_once();
    // The size the rectangle gets: the field, or the picture's when negative.
    float effective_width() const;
    float effective_height() const;

    Image& owner_;
    std::unique_ptr<material::TextureSimple> texture_;
    std::unique_ptr<material::TextureSimple> previous_;
    String picture_name_;
    uint8_t filled_ = 0;
    uint8_t dirty_ = 0;
    float rect_[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    bool registered_ = false;
};

class Image : public Node, public BoundsSource {
public:
    Image(const Atom& name, Node* parent);
    Image(const Image& other);
    ~Image() override;

    using Node::change_attribute;
    using Node::get_attribute;
    // "Transparency"; others as the node.
    bool change_attribute(const Atom& name, double value) override;
    // "Color"; others as the node.
    bool change_attribute(const Atom& name, const math::Vector3& value) override;
    // "Src": a new picture, drawn once it has loaded.
    bool change_attribute(const Atom& name, const filesystem::String& value) override;
    bool get_attribute(const Atom& name, double& value) override;
    bool get_attribute(const Atom& name, math::Vector3& value) override;

    // "Image".
    Atom get_type_name() const override;
    Node* clone() const override;
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;
    void accept(NodeVisitor& visitor) override;

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    // The image's values that differ from the defaults, then the node's.
    void OnSaveAttributes(xml::Saver& saver) override;

    bool query_bounds(BoundsQuery& query) override;

    ImageImpl& get_impl() noexcept { return *impl_; }

private:
    std::unique_ptr<ImageImpl> impl_;
};

} // namespace vadu::lib3d::node
