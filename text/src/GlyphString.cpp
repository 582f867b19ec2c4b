#include "text/GlyphString.h"

#include <algorithm>
#include <climits>

namespace TrueText {

struct GlyphString::Impl {
    std::vector<GlyphEntry> main;
    std::vector<GlyphEntry> outline;
    std::u16string text;
    std::shared_ptr<const GlyphTable> main_table;
    std::shared_ptr<const GlyphTable> outline_table;
    int32_t width = 0;
    int32_t height = 0;
    bool dirty = true;
    bool option = false;
};

GlyphString::GlyphString() : impl_(std::make_shared<Impl>()) {}

void GlyphString::SetMainTable(std::shared_ptr<const GlyphTable> table)
{
    impl_->main_table = std::move(table);
    impl_->dirty = true;
}

void GlyphString::SetOutlineTable(std::shared_ptr<const GlyphTable> table)
{
    impl_->outline_table = std::move(table);
    impl_->dirty = true;
}

void GlyphString::SetText(const std::u16string& text)
{
    impl_->text = text;
    impl_->dirty = true;
}

void GlyphString::SetOptionFlag(bool flag)
{
    impl_->option = flag;
    impl_->dirty = true;
}

const std::vector<GlyphEntry>& GlyphString::GetMainEntries()
{
    Rebuild();
    return impl_->main;
}

const std::vector<GlyphEntry>& GlyphString::GetOutlineEntries()
{
    Rebuild();
    return impl_->outline;
}

std::pair<int32_t, int32_t> GlyphString::GetExtent()
{
    Rebuild();
    return {impl_->width, impl_->height};
}

namespace {

GlyphEntry MakeEntry(const GlyphRecord& record, const GlyphTable& table, bool option, int64_t pen_x, int64_t pen_y)
{
    GlyphEntry entry;
    entry.left = record.left + table.origin_x;
    entry.top = record.top + table.origin_y;
    entry.right = record.right + table.origin_x;
    entry.bottom = record.bottom + table.origin_y;
    entry.x = static_cast<int32_t>(record.h_ref - record.left + pen_x / 64);
    if (!option)
        entry.y = static_cast<int32_t>(record.top - record.v_ref + pen_y / 64);
    else
        entry.y = static_cast<int32_t>(record.v_ref - record.bottom - table.line_height + pen_y / 64);
    entry.depth = record.depth;
    return entry;
}

} // namespace

void GlyphString::Rebuild()
{
    Impl& s = *impl_;
    if (!s.dirty || !s.main_table)
        return;
    s.main.clear();
    s.outline.clear();
    int64_t pen_x = 0;
    const int64_t pen_y = static_cast<int64_t>(s.main_table->line_height) * 64;
    for (const char16_t c : s.text) {
        if (c == 0)
            break;
        const GlyphRecord* record = s.main_table->Find(c);
        if (!record)
            continue;
        s.main.push_back(MakeEntry(*record, *s.main_table, s.option, pen_x, pen_y));
        if (s.outline_table) {
            if (const GlyphRecord* outline = s.outline_table->Find(c))
                s.outline.push_back(MakeEntry(*outline, *s.outline_table, s.option, pen_x, pen_y));
        }
        pen_x += record->advance;
    }

    int64_t min_x = INT64_MAX, min_y = INT64_MAX, max_x = INT64_MIN, max_y = INT64_MIN;
    for (const auto* entries : {&s.main, &s.outline}) {
        for (const GlyphEntry& e : *entries) {
            min_x = std::min<int64_t>(min_x, e.x);
            min_y = std::min<int64_t>(min_y, e.y);
            max_x = std::max<int64_t>(max_x, int64_t{e.x} + e.right - e.left + 1);
            max_y = std::max<int64_t>(max_y, int64_t{e.y} + e.bottom - e.top + 1);
        }
    }
    if (s.main.empty() && s.outline.empty()) {
        s.width = s.height = 0; // nothing placed: an empty block
    } else {
        for (auto* entries : {&s.main, &s.outline}) {
            for (GlyphEntry& e : *entries) {
                e.x = static_cast<int32_t>(e.x - min_x);
                e.y = static_cast<int32_t>(e.y - min_y);
            }
        }
        s.width = static_cast<int32_t>(max_x - min_x);
        s.height = static_cast<int32_t>(max_y - min_y);
    }
    s.dirty = false;
}

} // namespace TrueText
