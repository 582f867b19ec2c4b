#pragma once

// The textured quad most of the screen is made of: a picture, an atlas frame, a tiled
// picture or a fragment of one, placed by an anchor, tinted and faded. Each frame it hands
// one sprite item to the render list, which batches sprites by texture.

#include <array>
#include <cstdint>
#include <memory>

#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/material/texture_handle.h"
#include "vadu/lib3d/node/bounds.h"
#include "vadu/lib3d/node/node.h"

namespace vadu::lib3d::node {

class Sprite : public Node, public BoundsSource {
public:
    Sprite(const Atom& name, Node* parent);
    // All values, with copies of both textures in the same roles; the quad is rebuilt.
    Sprite(const Sprite& other);
    ~Sprite() override;

    using Node::change_attribute;
    using Node::get_attribute;
    // "Transparency", "SpecularLevel", and "FrameIndex" (the value read back from "%g" text
    // and truncated selects the atlas frame); others as the node.
    bool change_attribute(const Atom& name, double value) override;
    // "Src": a new picture; the picture on screen stays until the new one is ready.
    bool change_attribute(const Atom& name, const filesystem::String& value) override;
    // "Frame": the atlas frame of that name.
    bool change_attribute(const Atom& name, const WString& value) override;

    // "Sprite".
    Atom get_type_name() const override;
    Node* clone() const override;
    // Hands the quad to the list when a picture is ready and the sprite is not (nearly)
    // transparent; the children are walked in every case.
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    // Builds the texture from "Src", or "Atlas" and "Frame", then binds the animation.
    bool OnEndNode(xml::Provider& provider) override;

    // The two opposite corners of the quad through the global matrix; NaN and empty
    // without a size.
    bool query_bounds(BoundsQuery& query) override;

    void set_anchor(float x, float y);
    // Switches automatic filtering off.
    void set_filter_texture(bool filter);
    void set_transparency(float transparency) { transparency_ = transparency; }
    void set_color(float red, float green, float blue) { colour_ = math::Vector3{red, green, blue}; }
    // Rounded to whole pixels; 0 takes the picture's size.
    void set_width(float width);
    void set_height(float height);
    // x, y, width, height as fractions of the sprite (pixels when the fragment is absolute).
    void set_fragment(float x, float y, float width, float height);
    void set_frame(const Atom& frame_name);
    // Each replaces the current picture at once (the path is lower-cased).
    void set_texture(const String& path, bool wrap);
    void set_atlas_texture(const String& atlas_path, const Atom& frame_name);
    void set_atlas_texture_index(const String& atlas_path, int32_t frame_index);

    // The set size, else the ready picture's, else 0.
    int32_t get_width();
    int32_t get_height();
    // Where the anchor puts the lower-left corner: (−anchor x · width, −anchor y · height).
    math::Vector2<float> get_anchor_offset();
    // Left, bottom, width, height of the quad around the global position; rotation and
    // scale are not applied.
    std::array<float, 4> get_global_rect();

    double get_transparency() const noexcept { return transparency_; }
    double get_specular_level() const noexcept { return specular_level_; }
    const math::Vector3& get_colour() const noexcept { return colour_; }
    const math::Vector2<float>& get_anchor() const noexcept { return anchor_; }
    bool is_filter_texture() const noexcept { return filter_ != 0; }
    bool is_auto_filter() const noexcept { return auto_filter_ != 0; }
    material::TextureHandle* get_texture() const noexcept { return texture_.get(); }
    material::TextureHandle* get_previous_texture() const noexcept { return previous_.get(); }
    // What the last render handed to the list.
    const hard::SpriteItem& get_item() const noexcept { return item_; }
    // Rebuilds the quad through the cached global matrix once the picture is ready (for
    // owners that draw the quad themselves); whether the item holds a quad.
    bool update_quad();

private:
    // A texture that has never been on screen is simply replaced; one that has stays as
    // the previous texture until its successor is ready.
    void replace_texture_keeping_shown(std::unique_ptr<material::TextureHandle> texture);
    void replace_texture(std::unique_ptr<material::TextureHandle> texture);
    void select_frame_index(int32_t index);
    void build_quad();
    void compute_uv();

    std::unique_ptr<material::TextureHandle> texture_;
    std::unique_ptr<material::TextureHandle> previous_;
    math::Vector2<float> anchor_{0.5f, 0.5f};
    float fragment_[4];
    uint8_t absolute_fragment_ = 0;
    uint8_t geometry_dirty_ = 1;
    uint8_t uv_dirty_ = 1;
    uint8_t auto_filter_ = 1;
    uint8_t filter_ = 0;
    double transparency_ = 0.0;
    double specular_level_ = 0.0;
    math::Vector3 colour_{1.0f, 1.0f, 1.0f};
    int32_t width_ = 0;
    int32_t height_ = 0;
    math::Vector2<float> tile_{1.0f, 1.0f};
    math::Vector2<float> tile_offset_{0.0f, 0.0f};
    hard::SpriteItem item_;
    // Texture coordinates of the corners before any mirroring.
    float uv_[4][2] = {};
    // The item holds a quad built from the texture drawn.
    bool quad_built_ = false;
    String atlas_path_;
    String frame_name_;
    String picture_path_;
    uint8_t wrap_ = 0;
};

} // namespace vadu::lib3d::node
