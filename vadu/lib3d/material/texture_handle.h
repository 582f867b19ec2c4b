#pragma once

// What sprite and image nodes hold: a picture texture, or a frame of an atlas.

#include <cstdint>
#include <memory>

#include "vadu/atom.h"
#include "vadu/lib3d/material/atlas.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/path.h"

namespace vadu::lib3d::material {

class TextureHandle {
public:
    // A picture texture for the path.
    TextureHandle(const filesystem::String& picture_path, bool wrap);
    // A frame of the atlas, resolved once the atlas has loaded.
    TextureHandle(const filesystem::String& atlas_path, const Atom& frame_name);
    TextureHandle(const filesystem::String& atlas_path, int32_t frame_index);
    // Holds the same textures; the frame is resolved again.
    TextureHandle(const TextureHandle& other);
    TextureHandle& operator=(const TextureHandle&) = delete;
    ~TextureHandle();

    // The atlas frame, or null while the atlas is loading (or for a picture texture).
    // A frame the atlas lacks is logged once and stays null; it never throws.
    const AtlasFrame* get_frame();
    // Resolved at once when the atlas has loaded, else kept for later.
    void set_frame_by_name(const Atom& name);
    void set_frame_by_index(int32_t index);

    // The file that failed to load, so that this handle will never be ready: the picture,
    // or the atlas file, its picture, or the atlas lacking the frame. Null while nothing
    // failed (loads still running included).
    const filesystem::String* get_failed_file();

    // The picture (and for an atlas, the frame) is there with a size that is not 0, so
    // it can be measured and drawn.
    bool is_ready();
    // Of the picture, else of the frame, else 0.
    int32_t get_width();
    int32_t get_height();
    // Texture coordinates 0..1 into the frame's rectangle of the atlas picture; unchanged
    // without a resolved frame or while the picture's size is unknown.
    float map_u(float u);
    float map_v(float v);

    // The texture for the stage: the atlas picture (the wrap flag stays), else the
    // picture texture with its wrap flag; nothing when neither is there.
    void apply(hard::Hardware& hardware, hard::TextureStage& stage);

    TextureSimple* get_texture() const noexcept { return texture_.get(); }
    TextureAtlas* get_atlas() const noexcept { return atlas_.get(); }
    const Atom& get_pending_name() const noexcept { return pending_name_; }
    int32_t get_pending_index() const noexcept { return pending_index_; }

private:
    std::unique_ptr<TextureSimple> texture_;
    std::unique_ptr<TextureAtlas> atlas_;
    const AtlasFrame* frame_ = nullptr;
    Atom pending_name_;
    int32_t pending_index_ = -1;
    // The pending frame does not exist in the loaded atlas; it has been logged.
    bool frame_missing_ = false;
};

} // namespace vadu::lib3d::material
