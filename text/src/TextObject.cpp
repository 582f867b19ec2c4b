#include "text/TextSprite.h"

#include <algorithm>
#include <climits>

namespace TrueText {

struct TextObject::Impl {
    int32_t width = -1;
    std::u16string text;
    std::shared_ptr<AtlasLayoutResult> result;
    TextObjectLayout block;
    std::shared_ptr<AtlasLayoutStrategy> strategy;
    int32_t kind = 0;
};

TextObject::TextObject(std::shared_ptr<AtlasLayoutStrategy> strategy, int32_t kind) : impl_(std::make_shared<Impl>())
{
    impl_->strategy = std::move(strategy);
    impl_->kind = kind;
}

void TextObject::SetText(const std::u16string& text)
{
    if (!impl_)
        return;
    impl_->text = text;
    impl_->result.reset();
}

void TextObject::SetWidth(int32_t width)
{
    if (!impl_)
        return;
    impl_->width = width;
    impl_->result.reset();
}

void TextObject::Layout()
{
    Impl& s = *impl_;
    std::shared_ptr<AtlasLayoutResult> result = s.strategy->Layout(s.width, s.text);
    int64_t min_x = 0, min_y = 0, max_x = 0, max_y = 0;
    if (!result->placements.empty()) { // nothing packed: an empty block at 0, 0
        min_x = min_y = INT64_MAX;
        max_x = max_y = INT64_MIN;
        for (const AtlasRect& r : result->placements) {
            min_x = std::min<int64_t>(min_x, r.left);
            min_y = std::min<int64_t>(min_y, r.top);
            max_x = std::max<int64_t>(max_x, r.right);
            max_y = std::max<int64_t>(max_y, r.bottom);
        }
    }
    result->table->origin_x = static_cast<int32_t>(-min_x);
    result->table->origin_y = static_cast<int32_t>(-min_y);
    s.block.width = static_cast<int32_t>(max_x - min_x + 1);
    s.block.height = static_cast<int32_t>(max_y - min_y + 1);
    const double size = s.strategy->Font()->GetSize();
    s.block.bottom_gap =
        s.block.height - static_cast<int32_t>(size * 72.0 / 72.0 * static_cast<double>(result->layout.LineCount()));
    s.result = std::move(result);
}

TextObjectLayout TextObject::GetLayout()
{
    if (!impl_)
        return {};
    if (!impl_->result)
        Layout();
    return impl_->block;
}

std::vector<AtlasRect> TextObject::GetPlacements() const
{
    if (!impl_ || !impl_->result)
        return {};
    return impl_->result->placements;
}

std::shared_ptr<AtlasLayoutResult> TextObject::GetResult() const
{
    return impl_ ? impl_->result : nullptr;
}

void TextObject::Draw(const PixelBuffer& buffer)
{
    if (!impl_)
        return;
    if (!impl_->result)
        Layout();
    Impl& s = *impl_;
    const std::shared_ptr<FontImpl>& font = s.strategy->Font();
    std::shared_ptr<SpanImage> image;
    if (s.kind == 0) {
        image = TextDrawer(font).Render(s.result->layout);
    } else if (s.kind == 1) {
        if (!font->Outline().enabled)
            return;
        image = OutlineDrawer(font, font->Outline().width, font->Outline().color).Render(s.result->layout);
    } else {
        return;
    }
    image->offset_x = s.result->table->origin_x;
    image->offset_y = s.result->table->origin_y;
    image->Blit(buffer);
}

AtlasTextObjects::AtlasTextObjects(const TextFont& font) : font_(font.Impl()) {}

TextObject& AtlasTextObjects::GetPlainObject()
{
    if (!plain_) {
        plain_strategy_ = std::make_shared<PlainAtlasStrategy>(font_);
        plain_ = TextObject(plain_strategy_, 0);
    }
    return plain_;
}

TextObject& AtlasTextObjects::GetOutlineObject()
{
    if (!outline_ && font_->Outline().enabled) {
        outline_strategy_ = std::make_shared<OutlineAtlasStrategy>(font_);
        outline_ = TextObject(outline_strategy_, 1);
    }
    return outline_;
}

} // namespace TrueText
