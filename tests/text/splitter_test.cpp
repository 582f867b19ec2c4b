#include <gtest/gtest.h>

#include "text/GlyphString.h"
#include "text/WordSplitter.h"

#include <string>
#include <vector>

namespace {

using TrueText::Token;

// A token as the tests write it: kind ('w' word, 's' space, 'b' hard break), the
// characters it starts with and spans, and its count.
struct Expected {
    char kind;
    std::u16string chars;
    uint32_t count;
    bool operator==(const Expected&) const = default;
};

std::vector<Expected> Describe(const std::vector<Token>& tokens)
{
    std::vector<Expected> out;
    for (const Token& t : tokens) {
        const char kind = t.hard_break ? 'b' : t.space ? 's' : 'w';
        out.push_back({kind, t.hard_break ? std::u16string() : std::u16string(t.start, t.count), t.count});
    }
    return out;
}

struct SplitCase {
    const char* name;
    bool japanese;
    std::u16string text;
    std::vector<Expected> tokens;
};

TEST(WordSplitterTest, SplitsIntoWordsSpacesAndBreaks)
{
    const std::vector<SplitCase> cases = {
        {"empty", false, u"", {}},
        {"words and a space run", false, u"ab  cd", {{'w', u"ab", 2}, {'s', u"  ", 2}, {'w', u"cd", 2}}},
        {"CR LF is one break", false, u"a\r\n\nb", {{'w', u"a", 1}, {'b', u"", 1}, {'b', u"", 1}, {'w', u"b", 1}}},
        {"lone CR", false, u"a\rb", {{'w', u"a", 1}, {'b', u"", 1}, {'w', u"b", 1}}},
        {"soft hyphen is a space", false, u"a\u00ADb", {{'w', u"a", 1}, {'s', u"\u00AD", 1}, {'w', u"b", 1}}},
        {"soft hyphen joins spaces", false, u"a \u00AD\tb", {{'w', u"a", 1}, {'s', u" \u00AD\t", 3}, {'w', u"b", 1}}},
        {"stops at NUL", false, std::u16string(u"ab\0cd", 5), {{'w', u"ab", 2}}},
        {"japanese: mark joins", true, u"\u65E5\u672C\u3002", {{'w', u"\u65E5", 1}, {'w', u"\u672C\u3002", 2}}},
        {"japanese: two marks", true, u"\u3002\u3002", {{'w', u"\u3002\u3002", 2}}},
        {"japanese: spaces and breaks", true, u"ab  c\r\nd!",
         {{'w', u"a", 1}, {'w', u"b", 1}, {'s', u"  ", 2}, {'w', u"c", 1}, {'b', u"", 1}, {'w', u"d!", 2}}},
        {"japanese: fullwidth question", true, u"x\uFF1Fy", {{'w', u"x\uFF1F", 2}, {'w', u"y", 1}}},
    };
    for (const SplitCase& c : cases) {
        const TrueText::WordSplitter& splitter =
            c.japanese ? TrueText::JapaneseWordSplitter::Instance().GetSplitter()
                       : TrueText::DefaultWordSplitterSource().GetSplitter();
        EXPECT_EQ(Describe(splitter.Split(c.text.c_str())), c.tokens) << c.name;
    }
}

TEST(WordSplitterTest, NoBreakBeforeMarksAreTheListedOnes)
{
    const std::u16string marks = u"!),-:;?\u201D\u204F\u3001\u3002\u300D\uFF01\uFF02\uFF07\uFF09\uFF0C\uFF0D\uFF0E"
                                 u"\uFF1A\uFF1B\uFF1F";
    ASSERT_EQ(marks.size(), 22u);
    int count = 0;
    for (char32_t c = 0; c <= 0xFFFF; ++c)
        count += TrueText::IsNoBreakBeforePunctuation(static_cast<char16_t>(c));
    EXPECT_EQ(count, 22);
    for (char16_t c : marks)
        EXPECT_TRUE(TrueText::IsNoBreakBeforePunctuation(c)) << int(c);
}

// A table with records of a given advance, as the atlas layouter makes them.
std::shared_ptr<TrueText::GlyphTable> Table(int line_height, int origin_x, int origin_y)
{
    auto table = std::make_shared<TrueText::GlyphTable>();
    table->line_height = line_height;
    table->origin_x = origin_x;
    table->origin_y = origin_y;
    // h_ref, v_ref, advance, depth, left, top, right, bottom
    table->glyphs[u'a'] = {1, 12, 8 * 64, 2, 0, 4, 5, 14};
    table->glyphs[u'b'] = {8, 12, 7 * 64 + 32, 0, 7, 0, 12, 12};
    return table;
}

TEST(GlyphStringTest, PlacesGlyphsFromTheMainTable)
{
    TrueText::GlyphString string;
    string.SetMainTable(Table(16, 100, 200));
    string.SetText(u"abxa");
    // a: x = 1 - 0 + 0, y = 4 - 12 + 16 = 8; b: x = 8 - 7 + 8 = 9, y = 0 - 12 + 16 = 4;
    // x is missing: no entry, no advance; a: pen 15.5 → x = 1 + 15 = 16, y = 8.
    // Bounds: min (1, 4), max (16 + 6, 8 + 11) → moved by (-1, -4), extent 21 × 15.
    const std::vector<TrueText::GlyphEntry> expected = {
        {100, 204, 105, 214, 0, 4, 2},
        {107, 200, 112, 212, 8, 0, 0},
        {100, 204, 105, 214, 15, 4, 2},
    };
    EXPECT_EQ(string.GetMainEntries(), expected);
    EXPECT_TRUE(string.GetOutlineEntries().empty());
    EXPECT_EQ(string.GetExtent(), std::make_pair(21, 15));
}

TEST(GlyphStringTest, OptionFlagPlacesFromTheBottomAndOutlineEntriesFollow)
{
    auto outline = std::make_shared<TrueText::GlyphTable>();
    outline->line_height = 18;
    outline->glyphs[u'b'] = {7, 13, 9 * 64, 1, 0, 0, 7, 14};
    TrueText::GlyphString string;
    string.SetMainTable(Table(16, 0, 0));
    string.SetOutlineTable(outline);
    string.SetOptionFlag(true);
    string.SetText(u"ab");
    // main a: x 1, y = 12 - 14 - 16 + 16 = -2; main b: x 9, y = 12 - 12 - 16 + 16 = 0;
    // outline b (a has none): x = 7 - 0 + 8 = 15, y = 13 - 14 - 18 + 16 = -3.
    // Bounds: min (1, -3), max x = 15 + 8 = 23, max y = 0 + 13 = 13.
    const auto& main = string.GetMainEntries();
    ASSERT_EQ(main.size(), 2u);
    EXPECT_EQ(main[0].x, 0);
    EXPECT_EQ(main[0].y, 1);
    EXPECT_EQ(main[1].x, 8);
    EXPECT_EQ(main[1].y, 3);
    const auto& outlines = string.GetOutlineEntries();
    ASSERT_EQ(outlines.size(), 1u);
    EXPECT_EQ(outlines[0].x, 14);
    EXPECT_EQ(outlines[0].y, 0);
    EXPECT_EQ(string.GetExtent(), std::make_pair(22, 16));
}

TEST(GlyphStringTest, WithoutATableOrGlyphsItIsEmpty)
{
    TrueText::GlyphString string;
    string.SetText(u"ab");
    EXPECT_TRUE(string.GetMainEntries().empty());
    EXPECT_EQ(string.GetExtent(), std::make_pair(0, 0));

    string.SetMainTable(Table(16, 0, 0));
    string.SetText(u"xyz");
    EXPECT_TRUE(string.GetMainEntries().empty());
    EXPECT_EQ(string.GetExtent(), std::make_pair(0, 0));

    // A copy of the handle shares the string.
    TrueText::GlyphString copy = string;
    copy.SetText(u"a");
    EXPECT_EQ(string.GetMainEntries().size(), 1u);
}

} // namespace
