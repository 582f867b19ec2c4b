#include "text_fixture.h"

#include "text/AtlasLayouter.h"
#include "text/TextSprite.h"

namespace {

using TrueText::AtlasRect;
using text_test::Canvas;
using text_test::TextTest;

class AtlasTest : public TextTest {
protected:
    static std::shared_ptr<TrueText::AtlasLayoutResult> Plain(const TrueText::TextFont& font, const std::u16string& text,
                                                              int32_t width)
    {
        return TrueText::PlainAtlasStrategy(font.Impl()).Layout(width, text);
    }
    static int32_t BoxWidth(const TrueText::TextFont& font, char16_t c)
    {
        const AtlasRect r = Plain(font, std::u16string(1, c), -1)->placements.at(0);
        return r.right - r.left + 1;
    }
};

TEST_F(AtlasTest, PacksCellsOnePixelApartAndWrapsAtTheWidth)
{
    // Two glyphs whose grid-fitted boxes are 10 and 12 pixels wide.
    const TrueText::TextFont font = Sans(16);
    char16_t ten = 0, twelve = 0;
    for (char16_t c = u'!'; c <= u'~'; ++c) {
        const int32_t w = BoxWidth(font, c);
        if (w == 10 && !ten)
            ten = c;
        if (w == 12 && !twelve)
            twelve = c;
    }
    ASSERT_TRUE(ten && twelve);
    const std::u16string pair{ten, twelve};

    auto one_row = Plain(font, pair, 0);
    ASSERT_EQ(one_row->placements.size(), 2u);
    EXPECT_EQ(one_row->placements[0].left, 0);
    EXPECT_EQ(one_row->placements[0].right, 9);
    EXPECT_EQ(one_row->placements[1].left, 11);
    EXPECT_EQ(one_row->placements[1].right, 22);
    EXPECT_EQ(one_row->layout.LineCount(), 1u);

    // The second box would reach column 23: width 23 wraps it, 24 does not.
    auto wrapped = Plain(font, pair, 23);
    EXPECT_EQ(wrapped->layout.LineCount(), 2u);
    EXPECT_EQ(wrapped->placements[1].left, 0);
    EXPECT_EQ(wrapped->placements[1].top - one_row->placements[1].top, 16);
    EXPECT_EQ(wrapped->table->Find(twelve)->v_ref, 32);
    EXPECT_EQ(Plain(font, pair, 24)->layout.LineCount(), 1u);

    // A glyph wider than the width still goes to the start of a new row.
    auto narrow = Plain(font, pair, 5);
    EXPECT_EQ(narrow->layout.LineCount(), 3u);
    EXPECT_TRUE(narrow->layout.lines[0].empty());
    EXPECT_EQ(narrow->placements[1].left, 0);

    // Width 0 or less never wraps.
    const std::u16string many(40, u'W');
    for (int32_t width : {0, -1, -100})
        EXPECT_EQ(Plain(font, many, width)->layout.LineCount(), 1u);
}

TEST_F(AtlasTest, RecordsSitOnTheRowBaseline)
{
    const TrueText::TextFont font = Sans(20);
    auto result = Plain(font, u"gAg", -1);
    EXPECT_EQ(result->table->line_height, 20);
    EXPECT_EQ(result->table->glyphs.size(), 2u);
    const TrueText::GlyphRecord& g = *result->table->Find(u'g');
    EXPECT_EQ(g.left, result->placements[2].left) << "a later duplicate wins";
    EXPECT_EQ(g.v_ref, 20);
    EXPECT_GT(g.depth, 0);
    EXPECT_EQ(g.bottom, g.v_ref + g.depth);
    EXPECT_GT(g.advance, 0);
    EXPECT_EQ(g.advance % 64, 0) << "hinted advances are whole pixels";
    const TrueText::GlyphRecord& a = *result->table->Find(u'A');
    EXPECT_EQ(a.depth, 0);
    EXPECT_LT(a.top, a.v_ref);
}

TEST_F(AtlasTest, OutlineStrategyAddsTheStrokeToBoxesAndLineHeight)
{
    TrueText::TextFont font = Sans(20.5f);
    font.GetOutline().SetEnabled(true);
    font.GetOutline().Set(1.5f, {255, 0, 0, 0});
    auto plain = TrueText::PlainAtlasStrategy(font.Impl()).Layout(-1, u"O");
    auto outline = TrueText::OutlineAtlasStrategy(font.Impl()).Layout(-1, u"O");
    EXPECT_EQ(plain->table->line_height, 20);
    EXPECT_EQ(outline->table->line_height, 21 + 2);
    const AtlasRect p = plain->placements[0], o = outline->placements[0];
    EXPECT_GT(o.right - o.left, p.right - p.left);
    EXPECT_GT(o.bottom - o.top, p.bottom - p.top);
}

TEST_F(AtlasTest, TextObjectsSizeAndDrawTheirBlock)
{
    TrueText::TextFont font = Sans(18);
    TrueText::AtlasTextObjects objects(font);
    EXPECT_FALSE(objects.GetOutlineObject()) << "the outline is off";
    TrueText::TextObject& plain = objects.GetPlainObject();
    EXPECT_TRUE(plain.GetPlacements().empty());
    plain.SetText(u"0123456789+-");
    plain.SetWidth(64);
    const TrueText::TextObjectLayout block = plain.GetLayout();
    const auto result = plain.GetResult();
    ASSERT_TRUE(result);
    int32_t min_x = INT32_MAX, min_y = INT32_MAX, max_x = INT32_MIN, max_y = INT32_MIN;
    for (const AtlasRect& r : result->placements) {
        min_x = std::min(min_x, r.left);
        min_y = std::min(min_y, r.top);
        max_x = std::max(max_x, r.right);
        max_y = std::max(max_y, r.bottom);
    }
    EXPECT_GT(result->layout.LineCount(), 1u);
    EXPECT_EQ(block.width, max_x - min_x + 1);
    EXPECT_EQ(block.height, max_y - min_y + 1);
    EXPECT_EQ(result->table->origin_x, -min_x);
    EXPECT_EQ(result->table->origin_y, -min_y);
    EXPECT_EQ(block.bottom_gap, block.height - 18 * static_cast<int32_t>(result->layout.LineCount()));

    // Every drawn pixel lies inside some placement, moved by the origin.
    Canvas canvas(block.width, block.height);
    plain.Draw(canvas.Buffer());
    int drawn = 0;
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            if (canvas.At(x, y) == 0)
                continue;
            ++drawn;
            bool inside = false;
            for (const AtlasRect& r : result->placements)
                inside |= x >= r.left + result->table->origin_x && x <= r.right + result->table->origin_x &&
                          y >= r.top + result->table->origin_y && y <= r.bottom + result->table->origin_y;
            ASSERT_TRUE(inside) << x << "," << y;
        }
    }
    EXPECT_GT(drawn, 100);

    // An empty text packs nothing and measures an empty block.
    plain.SetText(u"");
    const TrueText::TextObjectLayout none = plain.GetLayout();
    EXPECT_EQ(none.width, 1);
    EXPECT_EQ(none.height, 1);
}

TEST_F(AtlasTest, OutlineObjectDrawsStrokedGlyphsInsideItsCells)
{
    TrueText::TextFont font = Sans(18);
    font.GetOutline().SetEnabled(true);
    font.GetOutline().Set(2.0f, {255, 255, 0, 0});
    TrueText::AtlasTextObjects objects(font);
    TrueText::TextObject& outline = objects.GetOutlineObject();
    ASSERT_TRUE(outline);
    outline.SetText(u"AB");
    const TrueText::TextObjectLayout block = outline.GetLayout();
    Canvas canvas(block.width, block.height);
    outline.Draw(canvas.Buffer());
    int drawn = 0;
    for (uint32_t p : canvas.pixels)
        drawn += p != 0;
    EXPECT_GT(drawn, 50);
    // An outline object over a font whose outline went off draws nothing.
    font.GetOutline().SetEnabled(false);
    Canvas none(block.width, block.height);
    outline.Draw(none.Buffer());
    for (uint32_t p : none.pixels)
        ASSERT_EQ(p, 0u);
}

} // namespace
