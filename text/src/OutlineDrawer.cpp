#include "text/AtlasLayouter.h"
#include "text/GlyphDrawer.h"

#include "drawing.h"

namespace TrueText {

namespace {

constexpr ErrorSite kOutlineSite{"OutlineDrawer", 103};

} // namespace

OutlineDrawer::OutlineDrawer(std::shared_ptr<FontImpl> font, float width, const Color& color)
    : GlyphDrawer(kBlendReplace), font_(std::move(font)), width_(width), color_(color)
{
}

Bounds OutlineDrawer::GetBounds(const Layout& layout)
{
    BoundsCollector bounds;
    font_->LookupSize();
    ftcache::LazyStroker stroker(StrokeRadius(width_), kOutlineSite);
    WalkLayout(*font_, layout, [&](ftcache::Strike& strike, FT_UInt index, int32_t x, int32_t baseline) {
        bounds.Add(strike.Stroked(index, stroker, kOutlineSite).spans, x, baseline);
    });
    return bounds.Result();
}

std::shared_ptr<SpanImage> OutlineDrawer::Render(const Layout& layout)
{
    auto image = std::make_shared<SpanImage>();
    ImageBuilder builder(*image);
    font_->LookupSize();
    ftcache::LazyStroker stroker(StrokeRadius(width_), kOutlineSite);
    WalkLayout(*font_, layout, [&](ftcache::Strike& strike, FT_UInt index, int32_t x, int32_t baseline) {
        builder.Add(strike, strike.Stroked(index, stroker, kOutlineSite).spans, x, baseline);
    });
    image->color = color_;
    image->blend_mode = blend_mode_;
    return image;
}

std::shared_ptr<SpanImage> OutlineDrawer::Render(const AtlasLayout& layout)
{
    auto image = std::make_shared<SpanImage>();
    ImageBuilder builder(*image);
    ftcache::LazyStroker stroker(StrokeRadius(width_), kOutlineSite);
    ftcache::Strike& strike = ftcache::GetStrike(layout.face_id, layout.height, layout.load_flags);
    for (const auto& line : layout.lines) {
        for (const AtlasDrawItem& item : line)
            builder.Add(strike, strike.Stroked(item.glyph_index, stroker, kOutlineSite).spans, item.origin_x,
                        item.origin_y);
    }
    image->color = color_;
    image->blend_mode = blend_mode_;
    return image;
}

ShadowDrawer::ShadowDrawer(GlyphDrawer* inner, int32_t offset_x, int32_t offset_y, const Color& color)
    : GlyphDrawer(kBlendMaximum), inner_(inner), offset_x_(offset_x), offset_y_(offset_y), color_(color)
{
}

Bounds ShadowDrawer::GetBounds(const Layout& layout)
{
    Bounds bounds = inner_->GetBounds(layout);
    bounds.min_x += offset_x_;
    bounds.max_x += offset_x_;
    bounds.min_y += offset_y_;
    bounds.max_y += offset_y_;
    return bounds;
}

std::shared_ptr<SpanImage> ShadowDrawer::Render(const Layout& layout)
{
    std::shared_ptr<SpanImage> image = inner_->Render(layout);
    image->blend_mode = blend_mode_;
    image->color = color_;
    image->offset_x = offset_x_;
    image->offset_y = offset_y_;
    return image;
}

} // namespace TrueText
