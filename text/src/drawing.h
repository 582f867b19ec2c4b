#pragma once

// What the drawers share (internal): walking a layout's glyphs, and turning cached spans
// into image spans or bounds.

#include "ftcache.h"
#include "text/GlyphDrawer.h"
#include "text/Layouter.h"

#include <algorithm>
#include <climits>

namespace TrueText {

inline constexpr const char* kNoOutline = "Invalid font format - couldn't locate outline for glyph";
inline constexpr FT_Int32 kDrawLoadFlags = FT_LOAD_NO_BITMAP;

// Calls fn(strike, glyph index, origin x, baseline y) for every glyph of the layout's
// words. A word's ink starts at the pen plus its left, and the pen then moves to where its
// ink ends, its start plus its width (spaces have only a width). Glyph positions count from
// the word's pen, not from its ink: adding the left to them as well would move each word by
// its left twice, and the gaps between words would shrink or grow with the bearings of the
// letters around them. A line's baseline is one line height below its top.
template <class Fn>
void WalkLayout(const FontImpl& font, const Layout& layout, Fn&& fn)
{
    void* face = font.FaceId();
    ftcache::Strike& strike = ftcache::GetStrike(face, font.ScalerHeight(), kDrawLoadFlags);
    int32_t line_top = 0;
    const size_t line_count = std::min(layout.lines.size(), layout.token_lines.size());
    for (size_t l = 0; l < line_count; ++l) {
        const std::vector<Token>& tokens = layout.token_lines[l];
        const std::vector<WordMetrics>& words = layout.lines[l].words;
        const int32_t baseline = line_top + layout.line_height;
        int32_t pen = 0;
        for (size_t t = 0; t < tokens.size() && t < words.size(); ++t) {
            const WordMetrics& metrics = words[t];
            const int32_t start = pen + metrics.left;
            const Token& token = tokens[t];
            if (!token.hard_break && !token.space) {
                size_t position = 0;
                for (uint32_t k = 0; k < token.count && position < metrics.positions.size(); ++k) {
                    const char16_t c = token.start[k];
                    if (c == u'\r' || c == u'\n')
                        continue;
                    fn(strike, ftcache::CharIndex(face, c), pen + metrics.positions[position++], baseline);
                }
            }
            pen = start + metrics.width;
        }
        line_top += layout.line_height;
    }
}

// Adds glyphs' spans to an image: by reference to the glyph cache, or copied when the
// cache is off (its entries then last only until the next lookup).
class ImageBuilder {
public:
    explicit ImageBuilder(SpanImage& image) : image_(image), by_reference_(ftcache::Get().cache_enabled) {}

    void Add(ftcache::Strike& strike, const ftcache::SpanSet& set, int32_t x, int32_t baseline)
    {
        if (set.spans.empty())
            return;
        if (by_reference_) {
            if (&strike != kept_) {
                image_.Keep(strike.shared_from_this());
                kept_ = &strike;
            }
            image_.AddGlyph(set, x, baseline);
            return;
        }
        for (const ftcache::GlyphSpan& span : set.spans)
            image_.spans.push_back({span.x + x, baseline - span.y, span.length, span.coverage});
    }

private:
    SpanImage& image_;
    bool by_reference_;
    ftcache::Strike* kept_ = nullptr;
};

class BoundsCollector {
public:
    void Add(const ftcache::SpanSet& set, int32_t x, int32_t baseline)
    {
        if (set.spans.empty())
            return;
        bounds_.min_x = std::min(bounds_.min_x, set.min_x + x);
        bounds_.max_x = std::max(bounds_.max_x, set.max_x + x);
        bounds_.min_y = std::min(bounds_.min_y, baseline - set.max_y);
        bounds_.max_y = std::max(bounds_.max_y, baseline - set.min_y);
        any_ = true;
    }
    Bounds Result() const { return any_ ? bounds_ : Bounds{}; }

private:
    Bounds bounds_{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    bool any_ = false;
};

// The stroke radius of an outline width: width × 64, truncated.
inline FT_Fixed StrokeRadius(float width)
{
    const double radius = static_cast<double>(width) * 64.0;
    if (!(radius > -1e9 && radius < 1e9))
        return 0;
    return static_cast<FT_Fixed>(radius);
}

} // namespace TrueText
