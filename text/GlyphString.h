#pragma once

// Places the glyphs of a text from one or two symbol-atlas glyph tables (main, and
// optionally outline), without line breaking.

#include "text/AtlasLayouter.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace TrueText {

struct GlyphEntry {
    int32_t left = 0, top = 0, right = 0, bottom = 0; // in the atlas picture, inclusive
    int32_t x = 0, y = 0;                             // top-left in the string's block
    int32_t depth = 0;
    bool operator==(const GlyphEntry&) const = default;
};

// A handle: copies share one string.
class GlyphString {
public:
    GlyphString();

    void SetMainTable(std::shared_ptr<const GlyphTable> table);
    void SetOutlineTable(std::shared_ptr<const GlyphTable> table);
    void SetText(const std::u16string& text);
    // Set: a glyph's top is placed from its rectangle's bottom and the table's line height
    // instead of from its top.
    void SetOptionFlag(bool flag);

    const std::vector<GlyphEntry>& GetMainEntries();
    const std::vector<GlyphEntry>& GetOutlineEntries();
    // Width and height of the placed glyphs.
    std::pair<int32_t, int32_t> GetExtent();

private:
    struct Impl;
    void Rebuild();
    std::shared_ptr<Impl> impl_;
};

} // namespace TrueText
