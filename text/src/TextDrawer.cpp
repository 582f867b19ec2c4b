#include "text/AtlasLayouter.h"
#include "text/GlyphDrawer.h"

#include "drawing.h"

#include <algorithm>
#include <climits>

namespace TrueText {

namespace {

constexpr ErrorSite kTextSite{"TextDrawer", 72};

} // namespace

TextDrawer::TextDrawer(std::shared_ptr<FontImpl> font) : GlyphDrawer(kBlendReplace), font_(std::move(font)) {}

Bounds TextDrawer::GetBounds(const Layout& layout)
{
    BoundsCollector bounds;
    font_->LookupSize();
    WalkLayout(*font_, layout, [&](ftcache::Strike& strike, FT_UInt index, int32_t x, int32_t baseline) {
        const ftcache::CachedGlyph& glyph = strike.Glyph(index, kTextSite);
        if (!glyph.outline)
            throw Error(std::string_view(kNoOutline));
        bounds.Add(glyph.spans, x, baseline);
    });
    return bounds.Result();
}

std::shared_ptr<SpanImage> TextDrawer::Render(const Layout& layout)
{
    auto image = std::make_shared<SpanImage>();
    ImageBuilder builder(*image);
    font_->LookupSize();
    WalkLayout(*font_, layout, [&](ftcache::Strike& strike, FT_UInt index, int32_t x, int32_t baseline) {
        const ftcache::CachedGlyph& glyph = strike.Glyph(index, kTextSite);
        if (!glyph.outline)
            throw Error(std::string_view(kNoOutline));
        builder.Add(strike, glyph.spans, x, baseline);
    });
    image->color = font_->GetColor();
    image->blend_mode = blend_mode_;
    return image;
}

std::shared_ptr<SpanImage> TextDrawer::Render(const AtlasLayout& layout)
{
    auto image = std::make_shared<SpanImage>();
    ImageBuilder builder(*image);
    ftcache::Strike& strike = ftcache::GetStrike(layout.face_id, layout.height, layout.load_flags);
    for (const auto& line : layout.lines) {
        for (const AtlasDrawItem& item : line) {
            const ftcache::CachedGlyph& glyph = strike.Glyph(item.glyph_index, kTextSite);
            if (!glyph.outline)
                throw Error(std::string_view(kNoOutline));
            builder.Add(strike, glyph.spans, item.origin_x, item.origin_y);
        }
    }
    image->color = font_->GetColor();
    image->blend_mode = blend_mode_;
    return image;
}

std::vector<std::shared_ptr<GlyphDrawer>> MakeDrawers(const std::shared_ptr<FontImpl>& font)
{
    std::vector<std::shared_ptr<GlyphDrawer>> drawers;
    auto text = std::make_shared<TextDrawer>(font);
    if (font->Outline().enabled) {
        drawers.push_back(std::make_shared<OutlineDrawer>(font, font->Outline().width, font->Outline().color));
        text->SetBlendMode(kBlendOver);
    } else if (font->Shadow().enabled) {
        const ShadowSettings& shadow = font->Shadow();
        drawers.push_back(std::make_shared<ShadowDrawer>(text.get(), shadow.offset_x, shadow.offset_y, shadow.color));
    }
    drawers.push_back(text);
    return drawers;
}

} // namespace TrueText
