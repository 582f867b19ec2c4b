#include "text/Layouter.h"

#include "ftcache.h"

#include <algorithm>
#include <climits>

namespace TrueText {

namespace {

constexpr FT_Int32 kLoadFlags = FT_LOAD_NO_BITMAP;

int32_t LineHeight(float size)
{
    return static_cast<int32_t>(size * 72.0f / 72.0f);
}

} // namespace

Layouter::Layouter(const WordSplitterSource& source, std::shared_ptr<FontImpl> font)
    : source_(source), font_(std::move(font))
{
}

WordMetrics Layouter::MeasureWord(const char16_t* text, size_t count)
{
    WordMetrics metrics;
    const FT_Size size = font_->LookupSize();
    const bool kerning = FT_HAS_KERNING(size->face);
    void* face = font_->FaceId();
    ftcache::Strike& strike = ftcache::GetStrike(face, font_->ScalerHeight(), kLoadFlags);

    FT_Pos pen_x = 0;
    FT_Pos pen_y = 0;
    FT_UInt previous = 0;
    FT_Pos min_x = INT32_MAX, min_y = INT32_MAX, max_x = INT32_MIN, max_y = INT32_MIN;
    FT_Pos descent = 0;
    metrics.positions.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const char16_t c = text[i];
        if (c == u'\r' || c == u'\n')
            continue;
        const FT_UInt index = ftcache::CharIndex(face, c);
        if (kerning && previous != 0 && index != 0)
            pen_x += strike.Kerning(previous, index, {"Layouter", 72});
        metrics.positions.push_back(static_cast<int32_t>(pen_x / 64));
        const ftcache::CachedGlyph& glyph = strike.Glyph(index, {"Layouter", 80});
        const FT_Pos box_min_x = ftcache::Floor64(glyph.cbox.xMin) + pen_x;
        const FT_Pos box_min_y = ftcache::Floor64(glyph.cbox.yMin) + pen_y;
        const FT_Pos box_max_x = ftcache::Ceil64(glyph.cbox.xMax) + pen_x;
        const FT_Pos box_max_y = ftcache::Ceil64(glyph.cbox.yMax) + pen_y;
        descent = std::max(descent, -box_min_y);
        min_x = std::min(min_x, box_min_x);
        min_y = std::min(min_y, box_min_y);
        max_x = std::max(max_x, box_max_x);
        max_y = std::max(max_y, box_max_y);
        pen_x += glyph.advance_x >> 10;
        pen_y += glyph.advance_y >> 10;
        previous = index;
    }
    if (min_x > max_x)
        min_x = min_y = max_x = max_y = 0;
    metrics.width = static_cast<int32_t>((max_x - min_x) / 64);
    metrics.height = static_cast<int32_t>((max_y - min_y) / 64);
    metrics.descent = static_cast<int32_t>(descent / 64);
    metrics.ascent = static_cast<int32_t>(max_y / 64);
    metrics.left = static_cast<int32_t>(min_x / 64);
    return metrics;
}

std::pair<int32_t, int32_t> Layouter::SpaceMetrics()
{
    ftcache::Strike& strike = ftcache::GetStrike(font_->FaceId(), font_->ScalerHeight(), kLoadFlags);
    const FT_UInt index = ftcache::CharIndex(font_->FaceId(), 0x20);
    const ftcache::CachedGlyph& glyph = strike.Glyph(index, {"Layouter", 30});
    const auto advance = static_cast<int32_t>(static_cast<double>(glyph.advance_x) / 1024.0 / 64.0);
    return {advance, LineHeight(font_->GetSize())};
}

std::shared_ptr<Layout> Layouter::Layout(const std::u16string& text, int32_t max_width, int32_t alignment)
{
    if (!font_)
        throw Error(std::string_view("Assertion failed. Unable to layout text without a font."));
    auto layout = std::make_shared<TrueText::Layout>();
    layout->text = text;
    layout->line_height = LineHeight(font_->GetSize());
    const std::vector<Token> tokens = source_.GetSplitter().Split(layout->text.c_str());

    layout->token_lines.emplace_back();
    layout->lines.emplace_back();
    auto open_line = [&] {
        layout->token_lines.emplace_back();
        layout->lines.emplace_back();
    };
    bool have_space = false;
    int32_t space_advance = 0;

    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        if (token.hard_break) {
            open_line();
            continue;
        }
        WordMetrics metrics;
        if (!token.space) {
            metrics = MeasureWord(token.start, token.count);
        } else if (token.start[0] != 0x00AD) {
            if (!have_space) {
                space_advance = SpaceMetrics().first;
                have_space = true;
            }
            metrics.width = static_cast<int32_t>(token.count) * space_advance;
        }
        LayoutLine& line = layout->lines.back();
        const auto place = [&] {
            layout->token_lines.back().push_back(token);
            line.width += metrics.width;
            line.words.push_back(std::move(metrics));
        };
        if (max_width < 0 || static_cast<int64_t>(line.width) + metrics.width < max_width) {
            place();
        } else if (line.width == 0) {
            place();
            open_line();
        } else {
            open_line();
            if (!token.space)
                --i; // the word is taken again, on the new line
        }
    }

    int32_t widest = 0;
    for (const LayoutLine& line : layout->lines)
        widest = std::max(widest, line.width);
    for (LayoutLine& line : layout->lines) {
        int32_t offset = 0;
        if (alignment == kAlignCenter)
            offset = (widest - line.width) / 2;
        else if (alignment == kAlignRight)
            offset = widest - line.width;
        if (offset == 0)
            continue;
        for (WordMetrics& word : line.words) {
            for (int32_t& position : word.positions)
                position += offset;
        }
    }
    return layout;
}

} // namespace TrueText
