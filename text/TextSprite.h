#pragma once

// The text library's drawing objects: a TextSprite is a block of wrapped text in one
// font; a TextObject packs glyphs for a symbol atlas. Both are handles: copies share the
// text, the layout and the drawers. They lay out lazily, after every setter.

#include "text/AtlasLayouter.h"
#include "text/GlyphDrawer.h"
#include "text/Layouter.h"
#include "text/TextFont.h"
#include "text/WordSplitter.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace TrueText {

struct TextSpriteMetrics {
    int32_t width = 0;
    int32_t height = 0;
    int32_t first_baseline = 0; // from the block's top to the first line's baseline
    int32_t bottom_gap = 0;     // the block's pixels below the last line's band
    int32_t origin_x = 0;       // moves layout coordinates into the block
    int32_t origin_y = 0;
    bool operator==(const TextSpriteMetrics&) const = default;
};

class TextSprite {
public:
    // The drawers, and the outline's and shadow's settings, are taken from the font now;
    // its size and colour are read at every layout and draw.
    explicit TextSprite(const TextFont& font);

    void SetText(const std::u16string& text);
    void SetMaxWidth(int32_t width); // -1: no limit
    void SetAlignment(int32_t alignment);
    void SetWordSplitter(const WordSplitterSource& source);
    const std::u16string& GetText() const;

    const TextSpriteMetrics& GetMetrics();
    // The current layout (laid out when needed).
    std::shared_ptr<const Layout> GetLayout();
    // Draws the block with its top-left corner at (x, y).
    void Draw(const PixelBuffer& buffer, int32_t x, int32_t y);

private:
    struct Impl;
    void Update();
    std::shared_ptr<Impl> impl_;
};

struct TextObjectLayout {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bottom_gap = 0;
};

class TextObject {
public:
    // An empty handle: draws nothing, lays out to nothing.
    TextObject() = default;
    // kind 0 draws the glyph interiors, kind 1 their outlines.
    TextObject(std::shared_ptr<AtlasLayoutStrategy> strategy, int32_t kind);

    explicit operator bool() const { return impl_ != nullptr; }

    void SetText(const std::u16string& text);
    void SetWidth(int32_t width);
    TextObjectLayout GetLayout();
    // The placements of the current layout; empty when not laid out.
    std::vector<AtlasRect> GetPlacements() const;
    // The current layout result, or null when not laid out.
    std::shared_ptr<AtlasLayoutResult> GetResult() const;
    void Draw(const PixelBuffer& buffer);

private:
    struct Impl;
    void Layout();
    std::shared_ptr<Impl> impl_;
};

// The plain and outline text objects of one font used by a symbol atlas.
class AtlasTextObjects {
public:
    explicit AtlasTextObjects(const TextFont& font);

    TextObject& GetPlainObject();
    // An empty handle when the font's outline is off.
    TextObject& GetOutlineObject();

private:
    std::shared_ptr<FontImpl> font_;
    std::shared_ptr<AtlasLayoutStrategy> plain_strategy_;
    TextObject plain_;
    std::shared_ptr<AtlasLayoutStrategy> outline_strategy_;
    TextObject outline_;
};

} // namespace TrueText
