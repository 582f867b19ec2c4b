#pragma once

// Texture atlases: one picture holding many named rectangles, described by an XML file
// ("Atlas" with "TextureSrc" and "Frame" children). Atlases are shared per path through
// a global cache and loaded by their own pass of the frame step.

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "vadu/atom.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/path.h"
#include "vadu/xml_object.h"

namespace vadu::lib3d::material {

// A rectangle of the atlas picture, in pixels from its top-left corner.
struct AtlasFrame {
    Atom name;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// The atlas file as read: the picture path and the frames in file order.
class AtlasDefinition : public xml::ObjectANSI {
public:
    AtlasDefinition();

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    // "Frame" children; throws Gluck "Atlas width and height should be greater then 0"
    // for a frame without a width or height.
    bool OnNode(xml::Provider& provider, const String& name) override;

    filesystem::String texture_source;
    std::vector<AtlasFrame> frames;
};

// One atlas, shared by every handle on it.
class TextureAtlasRep {
public:
    // Empty and not loaded; the atlas pass loads it.
    explicit TextureAtlasRep(const filesystem::String& path);
    ~TextureAtlasRep();
    TextureAtlasRep(const TextureAtlasRep&) = delete;
    TextureAtlasRep& operator=(const TextureAtlasRep&) = delete;

    // Reads the atlas file and starts loading its picture (wrap off). Throws
    // GluckBadResource "Failed to load atlas definition resource" for a file that is
    // missing or not a valid atlas, and passes on the frame errors of the definition.
    void load();

    // Throws Gluck "Frame index N is out of range".
    const AtlasFrame& GetFrame(int32_t index) const;
    // The first frame of that name; throws Gluck "Can't found frame \"name\"".
    const AtlasFrame& GetFrame(const Atom& name) const;

    // The picture's size; 0 while it is being read or when there are no frames.
    int32_t get_width() const;
    int32_t get_height() const;
    // The picture has been read with a size (see TextureSimpleRep::has_picture).
    bool has_picture() const;
    // The picture's device texture and alpha flag into the stage; the wrap flag stays.
    void apply(hard::Hardware& hardware, hard::TextureStage& stage);

    bool is_loaded() const noexcept { return loaded_; }
    bool has_failed() const noexcept { return failed_; }
    void set_failed() noexcept { failed_ = true; }
    const filesystem::String& get_path() const noexcept { return path_; }
    const std::vector<AtlasFrame>& get_frames() const noexcept { return frames_; }
    TextureSimple* get_picture() const noexcept { return picture_.get(); }

    int32_t get_reference_count() const noexcept { return references_; }
    int32_t add_reference() noexcept { return ++references_; }
    int32_t drop_reference() noexcept { return --references_; }

private:
    filesystem::String path_;
    bool loaded_ = false;
    bool failed_ = false;
    std::unique_ptr<TextureSimple> picture_;
    std::vector<AtlasFrame> frames_;
    int32_t references_ = 0;
};

using TextureAtlasCache = std::map<filesystem::String, std::unique_ptr<TextureAtlasRep>>;

// The rep of the path, made when missing; its count is raised.
TextureAtlasRep* find_or_create_atlas_rep(const filesystem::String& path);
// The last release deletes the rep (frames and picture), the last rep the cache.
void release_atlas_rep(TextureAtlasRep* rep);
// Null while no atlas exists.
const TextureAtlasCache* get_texture_atlas_cache();

// The atlas pass of the frame step; see load_texture_simple_reps.
int32_t load_texture_atlas_reps(int64_t start_ticks, double budget);

// Holds one atlas of the cache for a texture handle.
class TextureAtlas {
public:
    explicit TextureAtlas(const filesystem::String& path);
    TextureAtlas(const TextureAtlas& other);
    TextureAtlas& operator=(const TextureAtlas&) = delete;
    ~TextureAtlas();

    TextureAtlasRep& get_rep() const noexcept { return *rep_; }

private:
    TextureAtlasRep* rep_;
};

} // namespace vadu::lib3d::material
