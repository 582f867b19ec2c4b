#pragma once

// The line layouter: text broken into lines at a maximum width, measured with the font's
// glyph metrics and kerning, and aligned.

#include "text/TextFont.h"
#include "text/WordSplitter.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace TrueText {

struct WordMetrics {
    int32_t width = 0;   // ink width, pixels
    int32_t height = 0;  // ink height
    int32_t descent = 0; // lowest ink below the baseline (0 or more)
    int32_t ascent = 0;  // highest ink above the baseline
    int32_t left = 0;    // leftmost ink from the word's pen start
    // Pen x of each measured character from the word's pen start, plus the line's
    // alignment offset once laid out.
    std::vector<int32_t> positions;
};

struct LayoutLine {
    int32_t width = 0;
    std::vector<WordMetrics> words; // parallel to the line's tokens
};

enum Alignment : int32_t { kAlignLeft = 0, kAlignCenter = 1, kAlignRight = 2 };

// The tokens point into `text`, so a layout is never copied.
struct Layout {
    Layout() = default;
    Layout(const Layout&) = delete;
    Layout& operator=(const Layout&) = delete;

    std::u16string text;
    std::vector<std::vector<Token>> token_lines;
    std::vector<LayoutLine> lines;
    int32_t line_height = 0;
};

class Layouter {
public:
    Layouter(const WordSplitterSource& source, std::shared_ptr<FontImpl> font);

    // maxWidth < 0: no limit. Raises TrueText::Error without a font or on FreeType errors.
    std::shared_ptr<TrueText::Layout> Layout(const std::u16string& text, int32_t max_width, int32_t alignment);
    WordMetrics MeasureWord(const char16_t* text, size_t count);
    // The space's advance and the line height, in pixels.
    std::pair<int32_t, int32_t> SpaceMetrics();

private:
    const WordSplitterSource& source_;
    std::shared_ptr<FontImpl> font_;
};

} // namespace TrueText
