#pragma once

// Symbol atlases: the glyphs of a fixed set of characters of a TrueType font, packed
// once per render device into a texture (and a second one of outlined glyphs when the
// font has an outline), so that often-changing text is drawn as quads. Described by a
// ".symdict" document: root "SymbolAtlas", children "Font" (Name) and "Dictionary" (Value).

#include <cstdint>
#include <memory>

#include "text/AtlasLayouter.h"
#include "text/TextSprite.h"
#include "vadu/font/font.h"
#include "vadu/lib3d/hard/hardware.h"
#include "vadu/lib3d/hard/hardware_dependent.h"
#include "vadu/lib3d/hard/resources.h"

namespace vadu::lib3d::node::text {

struct SymbolAtlasTextures {
    std::unique_ptr<hard::Texture> main;
    std::unique_ptr<hard::Texture> outline;
};

class SymbolAtlasRep : public HardwareDependentObject<hard::Manager, SymbolAtlasTextures> {
public:
    struct Size {
        int32_t width = 0;
        int32_t height = 0;
    };

    // Loads the dictionary and its font, then builds the textures of every operational
    // device. Raises as described in font.h's neighbours: vadu::GluckBadResource for a
    // document that does not load or an atlas beyond the device's texture size,
    // vadu::Gluck for a font of the wrong kind.
    explicit SymbolAtlasRep(const filesystem::String& path);
    ~SymbolAtlasRep() override;

    void on_add_hardware(hard::Hardware* hardware) override;

    const std::shared_ptr<const TrueText::GlyphTable>& get_main_table() const noexcept { return main_table_; }
    const std::shared_ptr<const TrueText::GlyphTable>& get_outline_table() const noexcept { return outline_table_; }
    bool has_outline() const noexcept { return outline_table_ != nullptr; }
    Size get_main_size() const noexcept { return main_size_; }
    Size get_outline_size() const noexcept { return outline_size_; }
    hard::Texture* get_main_texture(const hard::Hardware& hardware) const;
    hard::Texture* get_outline_texture(const hard::Hardware& hardware) const;
    float get_start_size() const noexcept { return start_size_; }
    const filesystem::String& get_path() const noexcept { return path_; }

    int32_t uses = 0;

private:
    std::unique_ptr<SymbolAtlasTextures> build(hard::Hardware& hardware);
    std::unique_ptr<hard::Texture> build_one(hard::Hardware& hardware, TrueText::TextObject& object, Size& size);

    filesystem::String path_;
    font::FontUse font_use_;
    font::TrueType* font_ = nullptr;
    WString dictionary_;
    float start_size_ = 0.0f;
    std::shared_ptr<const TrueText::GlyphTable> main_table_;
    std::shared_ptr<const TrueText::GlyphTable> outline_table_;
    Size main_size_;
    Size outline_size_;
};

// One use of the atlas of a path, shared through a process-wide table.
class SymbolAtlas : public font::FontRep {
public:
    explicit SymbolAtlas(const filesystem::String& path);
    SymbolAtlas(const SymbolAtlas& other);
    SymbolAtlas& operator=(const SymbolAtlas&) = delete;
    ~SymbolAtlas() override;

    void accept(font::Visitor& visitor) override { visitor.Visit(*this); }
    std::unique_ptr<font::FontRep> clone() const override { return std::make_unique<SymbolAtlas>(*this); }

    SymbolAtlasRep& get_rep() const noexcept { return *rep_; }

private:
    SymbolAtlasRep* rep_;
};

// Atlases loaded and the uses of one path (0 when absent); for checks.
size_t get_symbol_atlas_count();
int32_t get_symbol_atlas_use_count(const String& path);

} // namespace vadu::lib3d::node::text
