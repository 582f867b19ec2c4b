#include "text/AtlasLayouter.h"

#include "drawing.h"
#include "ftcache.h"

#include <cmath>

namespace TrueText {

namespace {

constexpr ErrorSite kAtlasSite{"AtlasLayouter", 54};

// Packs the glyphs; `stroker` is null for plain glyphs. line_height is 26.6.
std::shared_ptr<AtlasLayoutResult> Pack(const FontImpl& font, const std::u16string& text, int32_t width,
                                        FT_Pos line_height, ftcache::LazyStroker* stroker)
{
    auto result = std::make_shared<AtlasLayoutResult>();
    result->table = std::make_shared<GlyphTable>();
    result->table->line_height = static_cast<int32_t>(line_height / 64);
    result->layout.lines.emplace_back();

    // The atlas scaler rounds size × 64 to the nearest value.
    const auto height = static_cast<unsigned long>(std::lround(static_cast<double>(font.GetSize()) * 64.0));
    result->layout.face_id = font.FaceId();
    result->layout.height = height;
    result->layout.load_flags = kDrawLoadFlags;
    ftcache::Strike& strike = ftcache::GetStrike(font.FaceId(), height, kDrawLoadFlags);

    FT_Pos pen = 0;
    FT_Pos baseline = line_height;
    for (const char16_t c : text) {
        if (c == 0)
            break;
        const FT_UInt index = ftcache::CharIndex(font.FaceId(), c);
        FT_BBox box;
        FT_Pos advance;
        if (stroker) {
            box = strike.Stroked(index, *stroker, kAtlasSite).cbox;
            advance = strike.Glyph(index, kAtlasSite).advance_x >> 10;
        } else {
            const ftcache::CachedGlyph& glyph = strike.Glyph(index, kAtlasSite);
            box = glyph.cbox;
            advance = glyph.advance_x >> 10;
        }
        const FT_Pos x_min = ftcache::Floor64(box.xMin), y_min = ftcache::Floor64(box.yMin);
        const FT_Pos x_max = ftcache::Ceil64(box.xMax), y_max = ftcache::Ceil64(box.yMax);
        if (width > 0 && (x_max - x_min + pen) >> 6 >= width) {
            result->layout.lines.emplace_back();
            baseline += line_height;
            pen = 0;
        }
        GlyphRecord record;
        record.h_ref = static_cast<int32_t>((pen + x_min) >> 6);
        record.v_ref = static_cast<int32_t>(baseline >> 6);
        record.advance = static_cast<int32_t>(advance);
        record.depth = static_cast<int32_t>(-y_min >> 6);
        record.left = static_cast<int32_t>(pen >> 6);
        record.top = static_cast<int32_t>((baseline - y_max) >> 6);
        record.right = static_cast<int32_t>(((pen + x_max - x_min) >> 6) - 1);
        record.bottom = static_cast<int32_t>((baseline - y_min) >> 6);
        result->table->glyphs[c] = record;
        result->placements.push_back({record.left, record.top, record.right, record.bottom});
        result->layout.lines.back().push_back(
            {index, static_cast<int32_t>((pen - x_min) >> 6), static_cast<int32_t>(baseline >> 6)});
        pen += (x_max - x_min) + 64;
    }
    return result;
}

} // namespace

std::shared_ptr<AtlasLayoutResult> PlainAtlasStrategy::Layout(int32_t width, const std::u16string& text)
{
    const auto line_height = static_cast<FT_Pos>(font_->GetSize() * 64.0f);
    return Pack(*font_, text, width, line_height, nullptr);
}

std::shared_ptr<AtlasLayoutResult> OutlineAtlasStrategy::Layout(int32_t width, const std::u16string& text)
{
    const OutlineSettings& outline = font_->Outline();
    ftcache::LazyStroker stroker(StrokeRadius(outline.width), kAtlasSite);
    const auto line_height = static_cast<FT_Pos>(std::ceil(font_->GetSize()) * 64.0f +
                                                 std::ceil(static_cast<double>(outline.width)) * 64.0);
    return Pack(*font_, text, width, line_height, &stroker);
}

} // namespace TrueText
