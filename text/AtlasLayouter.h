#pragma once

// The atlas layouter: packs the glyph images of a set of characters into rows of a fixed
// width, one pixel apart, and records where each lies and how it sits on its baseline.

#include "text/TextFont.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace TrueText {

// Pixels; the rectangle is inclusive.
struct GlyphRecord {
    int32_t h_ref = 0;   // (pen x + xMin), the box's left
    int32_t v_ref = 0;   // the row's baseline
    int32_t advance = 0; // 26.6
    int32_t depth = 0;   // -yMin
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool operator==(const GlyphRecord&) const = default;
};

struct GlyphTable {
    int32_t line_height = 0;
    // Added by readers to every stored rectangle; the text object sets it.
    int32_t origin_x = 0;
    int32_t origin_y = 0;
    std::unordered_map<char16_t, GlyphRecord> glyphs;

    const GlyphRecord* Find(char16_t c) const
    {
        auto found = glyphs.find(c);
        return found == glyphs.end() ? nullptr : &found->second;
    }
};

struct AtlasRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool operator==(const AtlasRect&) const = default;
};

// One packed glyph: its index and where its origin lands (its box's top-left then sits
// at the rectangle's top-left); raster row y lands on pixel row origin_y - y.
struct AtlasDrawItem {
    uint32_t glyph_index = 0;
    int32_t origin_x = 0;
    int32_t origin_y = 0;
};

// The packed glyphs row by row, with the scaler they were looked up with.
struct AtlasLayout {
    void* face_id = nullptr;
    unsigned long height = 0; // 26.6
    int32_t load_flags = 0;
    std::vector<std::vector<AtlasDrawItem>> lines;
    size_t LineCount() const { return lines.size(); }
};

struct AtlasLayoutResult {
    std::shared_ptr<GlyphTable> table;
    AtlasLayout layout;
    std::vector<AtlasRect> placements;
};

class AtlasLayoutStrategy {
public:
    virtual ~AtlasLayoutStrategy() = default;
    // width <= 0: one row. Raises TrueText::Error on FreeType errors.
    virtual std::shared_ptr<AtlasLayoutResult> Layout(int32_t width, const std::u16string& text) = 0;
    virtual const std::shared_ptr<FontImpl>& Font() const = 0;
};

class PlainAtlasStrategy : public AtlasLayoutStrategy {
public:
    explicit PlainAtlasStrategy(std::shared_ptr<FontImpl> font) : font_(std::move(font)) {}
    std::shared_ptr<AtlasLayoutResult> Layout(int32_t width, const std::u16string& text) override;
    const std::shared_ptr<FontImpl>& Font() const override { return font_; }

private:
    std::shared_ptr<FontImpl> font_;
};

// Packs the glyphs as stroked with the font's outline width.
class OutlineAtlasStrategy : public AtlasLayoutStrategy {
public:
    explicit OutlineAtlasStrategy(std::shared_ptr<FontImpl> font) : font_(std::move(font)) {}
    std::shared_ptr<AtlasLayoutResult> Layout(int32_t width, const std::u16string& text) override;
    const std::shared_ptr<FontImpl>& Font() const override { return font_; }

private:
    std::shared_ptr<FontImpl> font_;
};

} // namespace TrueText
