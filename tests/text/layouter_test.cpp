#include "text_fixture.h"

#include "text/Error.h"
#include "text/Layouter.h"

#include <ft2build.h>
#include FT_FREETYPE_H

namespace {

using TrueText::Layouter;
using TrueText::WordMetrics;
using text_test::TextTest;

class LayouterTest : public TextTest {
protected:
    static std::shared_ptr<TrueText::Layout> Lay(const TrueText::TextFont& font, const std::u16string& text,
                                                 int32_t max_width = -1, int32_t align = 0)
    {
        return Layouter(TrueText::DefaultWordSplitterSource(), font.Impl()).Layout(text, max_width, align);
    }
    static WordMetrics Measure(const TrueText::TextFont& font, const std::u16string& word)
    {
        return Layouter(TrueText::DefaultWordSplitterSource(), font.Impl()).MeasureWord(word.data(), word.size());
    }
    static int32_t Space(const TrueText::TextFont& font)
    {
        return Layouter(TrueText::DefaultWordSplitterSource(), font.Impl()).SpaceMetrics().first;
    }
    // The advance of a character straight from FreeType, in whole pixels.
    static int32_t Advance(const char* path, float size, char32_t c)
    {
        FT_Library library;
        FT_Init_FreeType(&library);
        FT_Face face;
        EXPECT_EQ(FT_New_Face(library, path, 0, &face), 0);
        FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(size * 64), 72, 72);
        FT_Load_Char(face, c, FT_LOAD_NO_BITMAP);
        const auto advance = static_cast<int32_t>(face->glyph->advance.x / 64);
        FT_Done_Face(face);
        FT_Done_FreeType(library);
        return advance;
    }
    static std::vector<std::u16string> LineTexts(const TrueText::Layout& layout)
    {
        std::vector<std::u16string> out;
        for (const auto& line : layout.token_lines) {
            std::u16string text;
            for (const auto& token : line)
                text += token.hard_break ? u"\n" : std::u16string(token.start, token.count);
            out.push_back(text);
        }
        return out;
    }
};

TEST_F(LayouterTest, KerningOnlyWithAKerningTableAndInsideAWord)
{
    const TrueText::TextFont sans = Sans(32);
    const TrueText::TextFont mono = Mono(32);
    const WordMetrics sans_av = Measure(sans, u"AV");
    ASSERT_EQ(sans_av.positions.size(), 2u);
    EXPECT_EQ(sans_av.positions[0], 0);
    EXPECT_LT(sans_av.positions[1], Advance(DEJAVU_SANS, 32, U'A')) << "AV is kerned in DejaVu Sans";
    EXPECT_EQ(Measure(mono, u"AV").positions[1], Advance(DEJAVU_SANS_MONO, 32, U'A')) << "Sans Mono has no kerning";

    // Across words the pen restarts: the second word's first glyph sits at its own start.
    auto layout = Lay(sans, u"A V");
    ASSERT_EQ(layout->lines.size(), 1u);
    ASSERT_EQ(layout->lines[0].words.size(), 3u);
    EXPECT_EQ(layout->lines[0].words[2].positions, std::vector<int32_t>{0});
    EXPECT_EQ(layout->lines[0].width,
              Measure(sans, u"A").width + Space(sans) + Measure(sans, u"V").width);
}

TEST_F(LayouterTest, WordMetricsComeFromGridFittedBoxes)
{
    const TrueText::TextFont sans = Sans(20);
    const WordMetrics g = Measure(sans, u"g");
    EXPECT_GT(g.descent, 0);
    EXPECT_EQ(g.height, g.ascent + g.descent);
    const WordMetrics x = Measure(sans, u"x");
    EXPECT_EQ(x.descent, 0);
    // CR and LF inside a word are skipped: no position, no ink.
    EXPECT_EQ(Measure(sans, u"x\r\nx").positions, Measure(sans, u"xx").positions);
    // A word without glyphs is all zero.
    const WordMetrics none = Measure(sans, u"\r");
    EXPECT_EQ(none.width, 0);
    EXPECT_EQ(none.ascent, 0);
    EXPECT_TRUE(none.positions.empty());
}

TEST_F(LayouterTest, LinesAndBreaks)
{
    const TrueText::TextFont sans = Sans(20);
    const int32_t aa = Measure(sans, u"aa").width;
    const int32_t space = Space(sans);
    const int32_t wide = Measure(sans, u"WWWWWWWW").width;

    auto empty = Lay(sans, u"");
    EXPECT_EQ(LineTexts(*empty), std::vector<std::u16string>{u""});
    EXPECT_EQ(empty->lines[0].width, 0);
    EXPECT_EQ(empty->line_height, 20);

    EXPECT_EQ(LineTexts(*Lay(sans, u"a\r\nb")), (std::vector<std::u16string>{u"a", u"b"}));
    EXPECT_EQ(LineTexts(*Lay(sans, u"a\n\nb")), (std::vector<std::u16string>{u"a", u"", u"b"}));

    // Placing is strict: a line that would reach the maximum exactly breaks.
    EXPECT_EQ(LineTexts(*Lay(sans, u"aa aa", 2 * aa + space)), (std::vector<std::u16string>{u"aa ", u"aa"}));
    EXPECT_EQ(LineTexts(*Lay(sans, u"aa aa", 2 * aa + space + 1)), std::vector<std::u16string>{u"aa aa"});
    // The space at a break is dropped, and spaces inside a line count in full.
    auto broken = Lay(sans, u"aa  aa", aa + 1);
    EXPECT_EQ(LineTexts(*broken), (std::vector<std::u16string>{u"aa", u"aa"}));
    EXPECT_EQ(Lay(sans, u"aa  aa")->lines[0].width, 2 * aa + 2 * space);

    // An over-wide word stands alone, unsplit, and what follows starts a new line.
    auto over = Lay(sans, u"aa WWWWWWWW aa", wide / 2);
    EXPECT_EQ(LineTexts(*over), (std::vector<std::u16string>{u"aa ", u"WWWWWWWW", u" aa"}));
    EXPECT_EQ(over->lines[1].width, wide);

    // Width 0: every token, spaces included, on a line of its own.
    auto zero = Lay(sans, u"a b", 0);
    ASSERT_GE(zero->token_lines.size(), 3u);
    EXPECT_EQ(LineTexts(*zero)[0], u"a");
    EXPECT_EQ(LineTexts(*zero)[1], u" ");
    EXPECT_EQ(LineTexts(*zero)[2], u"b");
    for (const auto& line : zero->token_lines)
        EXPECT_LE(line.size(), 1u);

    // A soft hyphen has no width.
    auto hyphen = Lay(sans, u"aa\u00ADaa");
    ASSERT_EQ(hyphen->lines[0].words.size(), 3u);
    EXPECT_EQ(hyphen->lines[0].words[1].width, 0);
    EXPECT_EQ(hyphen->lines[0].width, 2 * aa);
}

TEST_F(LayouterTest, AlignmentMovesEveryLinesPositions)
{
    const TrueText::TextFont sans = Sans(20);
    // Find a pair of lines whose widths differ by an odd number, so centring must drop
    // a half pixel.
    std::u16string text;
    for (const char16_t* second : {u"i", u"l", u"ii", u"r", u"t", u"f", u"j"}) {
        auto probe = Lay(sans, std::u16string(u"Wag\n") + second);
        if ((probe->lines[0].width - probe->lines[1].width) % 2 != 0) {
            text = std::u16string(u"Wag\n") + second;
            break;
        }
    }
    ASSERT_FALSE(text.empty());
    auto left = Lay(sans, text, -1, 0);
    auto centre = Lay(sans, text, -1, 1);
    auto right = Lay(sans, text, -1, 2);
    const int32_t widest = std::max(left->lines[0].width, left->lines[1].width);
    for (size_t l = 0; l < 2; ++l) {
        const int32_t w = left->lines[l].width;
        for (size_t p = 0; p < left->lines[l].words[0].positions.size(); ++p) {
            const int32_t base = left->lines[l].words[0].positions[p];
            EXPECT_EQ(centre->lines[l].words[0].positions[p], base + (widest - w) / 2);
            EXPECT_EQ(right->lines[l].words[0].positions[p], base + widest - w);
        }
    }
}

TEST_F(LayouterTest, ANewFontMeasuresTenPixelsAndLayoutNeedsAFont)
{
    TrueText::TextFont fresh(Face(DEJAVU_SANS));
    EXPECT_EQ(fresh.GetSize(), 10.0f);
    const TrueText::TextFont ten = Sans(10);
    EXPECT_EQ(Lay(fresh, u"x")->line_height, 10);
    EXPECT_EQ(Measure(fresh, u"Hello").positions, Measure(ten, u"Hello").positions);
    EXPECT_EQ(Measure(fresh, u"Hello").width, Measure(ten, u"Hello").width);
    EXPECT_NE(Measure(Sans(20), u"Hello").width, Measure(ten, u"Hello").width);

    Layouter none(TrueText::DefaultWordSplitterSource(), nullptr);
    try {
        none.Layout(u"text", -1, 0);
        FAIL() << "laid out without a font";
    } catch (const TrueText::Error& error) {
        EXPECT_EQ(error.Message(), u"Assertion failed. Unable to layout text without a font.");
    }
}

} // namespace
