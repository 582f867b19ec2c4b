#pragma once

// Material texture objects and the shared, reference-counted picture representations
// (reps) behind them. A rep is kept once per picture path in a global cache; it owns one
// device texture per hardware and is filled by the loading passes of the frame step,
// within their time budget, once the picture loader has read the file in the background.

#include <cstdint>
#include <map>
#include <memory>

#include "vadu/animate/animatable.h"
#include "vadu/atom.h"
#include "vadu/exception.h"
#include "vadu/lib3d/hard/hardware.h"
#include "vadu/lib3d/hard/hardware_dependent.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/hard/resources.h"
#include "vadu/path.h"
#include "vadu/pictureformat/picture_loader.h"
#include "vadu/xml_object.h"

namespace vadu::lib3d::material {

class TextureSimpleRep;
class TextureReflectionRep;

// What a material slot (or a sprite) shows. Animations reach its "Wrap" flag by name.
class Texture : public animate::Animatable {
public:
    explicit Texture(const Atom& slot = Atom(), bool wrap = true);
    Texture(const Texture& other) = default;
    Texture& operator=(const Texture&) = delete;
    ~Texture() override;

    using Animatable::change_attribute;
    using Animatable::get_attribute;
    // "Wrap": on above 0.5.
    bool change_attribute(const Atom& name, double value) override;
    // "Wrap": 1.0 or 0.0.
    bool get_attribute(const Atom& name, double& value) override;

    // A new object of the same kind sharing the same rep.
    virtual std::unique_ptr<Texture> clone() const;
    // Fills the stage for the hardware. The base writes only the wrap flag.
    virtual void apply(hard::Hardware& hardware, hard::TextureStage& stage);

    const Atom& get_slot() const noexcept { return slot_; }
    bool get_wrap() const noexcept { return wrap_; }
    void set_wrap(bool wrap) noexcept { wrap_ = wrap; }

protected:
    Atom slot_;
    bool wrap_;
};

// How a simple texture is made: the picture path (named without its extension) and the
// wrap flag. Read from XML ("Image", "Wrap"); also the key of the simple-texture cache,
// where only the path counts.
class TextureSimpleLoader : public xml::ObjectANSI {
public:
    // An empty lower-casing path, wrap on.
    TextureSimpleLoader();
    TextureSimpleLoader(const filesystem::String& path, bool wrap);

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;

    filesystem::String path;
    bool wrap = true;
    // A device texture of one hardware that the new rep adopts instead of reading the
    // picture (the rep owns it from then on; it is deleted when the path has a rep
    // already). Null from XML.
    hard::Hardware* ready_hardware = nullptr;
    hard::Texture* ready_texture = nullptr;
};

// One picture as device textures, shared by every texture object of its path.
class TextureSimpleRep : public HardwareDependentObject<hard::Manager, hard::Texture> {
public:
    // Starts reading the picture (or adopts the loader's ready texture) and registers
    // with the hardware manager when one exists.
    explicit TextureSimpleRep(const TextureSimpleLoader& loader);
    ~TextureSimpleRep() override;

    // A new hardware needs its texture: the rep loads again.
    void on_add_hardware(hard::Hardware* hardware) override;

    // One step of loading: returns while the picture is still being read; then fills the
    // texture of every operational hardware that lacks valid contents. Throws
    // GluckBadResource "pl is not valid" when no readable picture was found.
    void load();
    // The device texture and alpha flag into the stage; a texture whose contents are
    // gone leaves the stage empty and makes the rep load again. Throws Gluck "Data not
    // found" for a hardware the rep has no entry for.
    void apply(hard::Hardware& hardware, hard::TextureStage& stage);

    // 0 while the picture is being read (mark: and have the rep load again).
    int32_t get_width(bool mark);
    int32_t get_height(bool mark);
    // The picture has been read and has a size; it is or can be on the device.
    bool has_picture() const noexcept { return !stream_ && !failed_ && width_ > 0 && height_ > 0; }

    bool is_loaded() const noexcept { return loaded_; }
    // A failed rep shows nothing until the next request for its path starts it again
    // (`retry`): the picture may have appeared or been mended since.
    bool has_failed() const noexcept { return failed_; }
    void set_failed() noexcept;
    void retry();
    bool has_alpha() const noexcept { return has_alpha_; }
    const TextureSimpleLoader& get_loader() const noexcept { return loader_; }
    const filesystem::String& get_path() const noexcept { return loader_.path; }
    // The number of texture objects that hold the rep; counted by the cache.
    int32_t get_reference_count() const noexcept { return references_; }
    int32_t add_reference() noexcept { return ++references_; }
    int32_t drop_reference() noexcept { return --references_; }

private:
    TextureSimpleLoader loader_;
    bool loaded_ = true;
    bool failed_ = false;
    std::unique_ptr<pictureformat::PictureLoader> stream_;
    bool has_alpha_ = false;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t references_ = 0;
    bool registered_ = false;
};

// A cube map: six square faces stacked vertically in one picture.
class TextureReflectionRep : public HardwareDependentObject<hard::Manager, hard::TextureCubic> {
public:
    explicit TextureReflectionRep(const TextureSimpleLoader& loader);
    ~TextureReflectionRep() override;

    void on_add_hardware(hard::Hardware* hardware) override;

    // As the simple rep's; also throws Gluck "pl->get_height() is not multiply of 6".
    void load();
    void apply(hard::Hardware& hardware, hard::TextureStage& stage);

    bool is_loaded() const noexcept { return loaded_; }
    bool has_failed() const noexcept { return failed_; }
    void set_failed() noexcept;
    void retry();
    const filesystem::String& get_path() const noexcept { return loader_.path; }
    int32_t get_width() const noexcept { return width_; }
    int32_t get_height() const noexcept { return height_; }
    int32_t get_reference_count() const noexcept { return references_; }
    int32_t add_reference() noexcept { return ++references_; }
    int32_t drop_reference() noexcept { return --references_; }

private:
    TextureSimpleLoader loader_;
    bool loaded_ = false;
    bool failed_ = false;
    std::unique_ptr<pictureformat::PictureLoader> stream_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t references_ = 0;
    bool registered_ = false;
};

using TextureSimpleCache = std::map<filesystem::String, std::unique_ptr<TextureSimpleRep>>;
using TextureReflectionCache = std::map<filesystem::String, std::unique_ptr<TextureReflectionRep>>;

// The rep of the loader's path, made when missing; its count is raised.
TextureSimpleRep* find_or_create_texture_rep(const TextureSimpleLoader& loader);
// Lowers the count; the last release deletes the rep, and the last rep the cache.
void release_texture_rep(TextureSimpleRep* rep);
// Null while no simple rep exists.
const TextureSimpleCache* get_texture_simple_cache();

TextureReflectionRep* find_or_create_reflection_rep(const TextureSimpleLoader& loader);
void release_reflection_rep(TextureReflectionRep* rep);
const TextureReflectionCache* get_texture_reflection_cache();

// The picture size of a rep; see TextureSimpleRep::get_width.
int32_t texture_width(TextureSimpleRep& rep, bool mark);
int32_t texture_height(TextureSimpleRep& rep, bool mark);

// Loading passes of the frame step. Each walks its cache and loads the reps that need
// it until `budget` seconds have passed since `start_ticks` (vadu::time ticks), and
// returns how many reps still wait. A rep whose load throws is logged once and left
// failed; the exception does not leave the pass.
int32_t load_texture_simple_reps(int64_t start_ticks, double budget);
int32_t load_texture_reflection_reps(int64_t start_ticks, double budget);

// A picture texture: the simple rep of its path.
class TextureSimple : public Texture {
public:
    TextureSimple(const Atom& slot, const TextureSimpleLoader& loader);
    // Shares the rep.
    TextureSimple(const TextureSimple& other);
    ~TextureSimple() override;

    using Texture::change_attribute;
    using Texture::get_attribute;
    // "Image": another path takes that path's rep; the same path changes nothing.
    bool change_attribute(const Atom& name, const filesystem::String& value) override;
    bool get_attribute(const Atom& name, filesystem::String& value) override;

    std::unique_ptr<Texture> clone() const override;
    // The wrap flag, then the rep's texture and alpha flag.
    void apply(hard::Hardware& hardware, hard::TextureStage& stage) override;

    TextureSimpleRep* get_rep() const noexcept { return rep_; }

private:
    TextureSimpleRep* rep_ = nullptr;
};

// The render target a hardware made under a name.
class TextureRenderTarget : public Texture {
public:
    TextureRenderTarget(const Atom& slot, const Atom& target_name, bool wrap);

    std::unique_ptr<Texture> clone() const override;
    // Only the texture: the target, or null; the flags stay as they are.
    void apply(hard::Hardware& hardware, hard::TextureStage& stage) override;

    const Atom& get_target_name() const noexcept { return target_name_; }

private:
    Atom target_name_;
};

// A cube map texture: the reflection rep of its path.
class TextureReflection : public Texture {
public:
    TextureReflection(const Atom& slot, const TextureSimpleLoader& loader);
    TextureReflection(const TextureReflection& other);
    ~TextureReflection() override;

    std::unique_ptr<Texture> clone() const override;
    // The wrap flag and the cube texture.
    void apply(hard::Hardware& hardware, hard::TextureStage& stage) override;

    TextureReflectionRep* get_rep() const noexcept { return rep_; }

private:
    TextureReflectionRep* rep_ = nullptr;
};

} // namespace vadu::lib3d::material
