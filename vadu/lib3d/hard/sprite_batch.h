#pragma once

// The sprites of one texture in a render list. Sprites that share every drawing parameter
// form a group; at render time the batch writes all its sprites into one vertex buffer
// per hardware and appends one record per group.

#include <cstddef>
#include <list>

#include "vadu/lib3d/hard/hardware.h"
#include "vadu/lib3d/hard/hardware_dependent.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/hard/resources.h"

namespace vadu::lib3d::hard {

class RenderSpriteBatch : public HardwareDependentObject<Manager, VertexBuffer> {
public:
    // Takes the first sprite and registers with the hardware manager, which must exist.
    RenderSpriteBatch(RenderList& list, const SpriteItem& first);
    ~RenderSpriteBatch() override;

    // A dynamic vertex buffer per hardware.
    void on_add_hardware(Hardware* hardware) override;

    // Into the group of sprites alike in every drawing parameter, before its first sprite;
    // or at the end as a group of its own.
    void add(const SpriteItem& item);
    // Forgets the sprites; the buffers stay.
    void clear();
    bool empty() const noexcept { return sprites_.empty(); }

    // Two triangles per sprite, snapped to pixel centres. Throws Gluck when the buffer
    // refuses the data.
    void PrepareVB(VertexBuffer& buffer);
    // Fills the hardware's buffer and appends a record per group; nothing without sprites.
    // Throws Gluck "Data not found" for a hardware the batch has no buffer for.
    void render(Hardware& hardware, RenderList& list);

    struct Group {
        std::list<const SpriteItem*>::iterator first;
        size_t count;
    };
    const std::list<const SpriteItem*>& get_sprites() const noexcept { return sprites_; }
    const std::list<Group>& get_groups() const noexcept { return groups_; }
    const StageTexture* get_texture() const noexcept { return texture_; }

private:
    RenderList& list_;
    std::list<const SpriteItem*> sprites_;
    const StageTexture* texture_;
    std::list<Group> groups_;
};

} // namespace vadu::lib3d::hard
