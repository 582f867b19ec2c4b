#include "text/TextSprite.h"

#include <algorithm>
#include <climits>

namespace TrueText {

struct TextSprite::Impl {
    int32_t max_width = -1;
    std::u16string text;
    std::shared_ptr<const Layout> layout;
    std::shared_ptr<FontImpl> font;
    std::vector<std::shared_ptr<GlyphDrawer>> drawers;
    TextSpriteMetrics metrics;
    int32_t alignment = kAlignLeft;
    const WordSplitterSource* splitter = &DefaultWordSplitterSource();
};

TextSprite::TextSprite(const TextFont& font) : impl_(std::make_shared<Impl>())
{
    impl_->font = font.Impl();
    impl_->drawers = MakeDrawers(impl_->font);
}

void TextSprite::SetText(const std::u16string& text)
{
    impl_->text = text;
    impl_->layout.reset();
}

void TextSprite::SetMaxWidth(int32_t width)
{
    impl_->max_width = width;
    impl_->layout.reset();
}

void TextSprite::SetAlignment(int32_t alignment)
{
    impl_->alignment = alignment;
    impl_->layout.reset();
}

void TextSprite::SetWordSplitter(const WordSplitterSource& source)
{
    impl_->splitter = &source;
    impl_->layout.reset();
}

const std::u16string& TextSprite::GetText() const
{
    return impl_->text;
}

void TextSprite::Update()
{
    Impl& s = *impl_;
    Layouter layouter(*s.splitter, s.font);
    std::shared_ptr<const Layout> layout = layouter.Layout(s.text, s.max_width, s.alignment);

    int64_t min_x = INT32_MAX, min_y = INT32_MAX, max_x = INT32_MIN, max_y = INT32_MIN;
    for (const auto& drawer : s.drawers) {
        const Bounds b = drawer->GetBounds(*layout);
        min_x = std::min<int64_t>(min_x, b.min_x);
        min_y = std::min<int64_t>(min_y, b.min_y);
        max_x = std::max<int64_t>(max_x, b.max_x);
        max_y = std::max<int64_t>(max_y, b.max_y);
    }
    const double size = s.font->GetSize();
    TextSpriteMetrics m;
    m.width = static_cast<int32_t>(max_x - min_x + 2);
    m.height = static_cast<int32_t>(max_y - min_y + 2);
    m.origin_x = static_cast<int32_t>(-min_x);
    m.origin_y = static_cast<int32_t>(-min_y);
    m.first_baseline = static_cast<int32_t>(size * 72.0 / 72.0 + m.origin_y);
    const auto lines = static_cast<uint32_t>(layout->lines.size());
    m.bottom_gap = m.height - m.origin_y - static_cast<int32_t>(size * 72.0 / 72.0 * lines);
    s.metrics = m;
    s.layout = std::move(layout);
}

const TextSpriteMetrics& TextSprite::GetMetrics()
{
    if (!impl_->layout)
        Update();
    return impl_->metrics;
}

std::shared_ptr<const Layout> TextSprite::GetLayout()
{
    if (!impl_->layout)
        Update();
    return impl_->layout;
}

void TextSprite::Draw(const PixelBuffer& buffer, int32_t x, int32_t y)
{
    if (!impl_->layout)
        Update();
    Impl& s = *impl_;
    for (const auto& drawer : s.drawers) {
        std::shared_ptr<SpanImage> image = drawer->Render(*s.layout);
        image->offset_x += x + s.metrics.origin_x;
        image->offset_y += y + s.metrics.origin_y;
        image->Blit(buffer);
    }
}

} // namespace TrueText
