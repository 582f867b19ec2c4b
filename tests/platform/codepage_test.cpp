#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

using platform::char_lower;
using platform::multibyte_to_wide;
using platform::wide_to_multibyte;

struct Pair {
    unsigned char byte;
    char16_t unit;
};

// Pairs that must convert to each other in both directions.
constexpr Pair kPairs[] = {
    {0x00, 0x0000}, {'A', u'A'},    {0x7F, 0x007F}, {0xE9, 0x00E9}, // é
    {0x80, 0x20AC},                                                  // €
    {0x8A, 0x0160}, {0x92, 0x2019}, {0x99, 0x2122}, {0x9F, 0x0178},
    {0x81, 0x0081}, {0x8D, 0x008D}, {0x8F, 0x008F}, {0x90, 0x0090}, {0x9D, 0x009D},
    {0xA0, 0x00A0}, {0xD7, 0x00D7}, {0xFF, 0x00FF},
};

TEST(CodePage, KnownPairsConvertBothWays)
{
    for (const Pair& pair : kPairs) {
        SCOPED_TRACE(testing::Message() << "byte 0x" << std::hex << int(pair.byte));
        const char narrow = static_cast<char>(pair.byte);
        char16_t wide = 0xBEEF;
        ASSERT_EQ(multibyte_to_wide(&narrow, 1, &wide, 1), 1);
        EXPECT_EQ(wide, pair.unit);

        char back = 'x';
        ASSERT_EQ(wide_to_multibyte(&pair.unit, 1, &back, 1), 1);
        EXPECT_EQ(static_cast<unsigned char>(back), pair.byte);
    }
}

TEST(CodePage, EveryByteRoundTripsThroughADistinctUnit)
{
    char bytes[256];
    for (int i = 0; i < 256; ++i)
        bytes[i] = static_cast<char>(i);
    char16_t wide[256];
    ASSERT_EQ(multibyte_to_wide(bytes, 256, wide, 256), 256);
    EXPECT_EQ(std::set<char16_t>(wide, wide + 256).size(), 256u);

    char back[256];
    ASSERT_EQ(wide_to_multibyte(wide, 256, back, 256), 256);
    EXPECT_EQ(std::memcmp(bytes, back, 256), 0);
}

TEST(CodePage, UnmappableUnitsBecomeQuestionMarks)
{
    // CJK, an unused C1 control, Latin Extended without a 1252 byte, a lone surrogate,
    // a noncharacter; the ASCII around them must survive.
    const char16_t wide[] = {u'a', 0x4E2D, 0x0080, 0x009F, 0x0100, 0xD800, 0xFFFF, u'z'};
    char narrow[8];
    ASSERT_EQ(wide_to_multibyte(wide, 8, narrow, 8), 8);
    EXPECT_EQ(std::string(narrow, 8), "a??????z");
}

TEST(CodePage, BadArgumentsFailAndWriteNothing)
{
    const char narrow[] = "abc";
    const char16_t wide[] = u"abc";
    struct Case {
        const char* name;
        bool to_wide;
        bool null_source;
        int src_len;
        bool null_target;
        int dst_len;
    };
    const Case cases[] = {
        {"target too small", true, false, 3, false, 2},
        {"target too small", false, false, 3, false, 2},
        {"empty source", true, false, 0, false, 4},
        {"empty source", false, false, 0, false, 4},
        {"negative length", true, false, -1, false, 4},
        {"negative length", false, false, -1, false, 4},
        {"null source", true, true, 3, false, 4},
        {"null source", false, true, 3, false, 4},
        {"null target", true, false, 3, true, 4},
        {"null target", false, false, 3, true, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << (c.to_wide ? " to wide" : " to narrow"));
        char16_t wide_out[4] = {u'#', u'#', u'#', u'#'};
        char narrow_out[4] = {'#', '#', '#', '#'};
        const int result = c.to_wide
            ? multibyte_to_wide(c.null_source ? nullptr : narrow, c.src_len,
                                c.null_target ? nullptr : wide_out, c.dst_len)
            : wide_to_multibyte(c.null_source ? nullptr : wide, c.src_len,
                                c.null_target ? nullptr : narrow_out, c.dst_len);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(wide_out[0], u'#');
        EXPECT_EQ(narrow_out[0], '#');
    }
}

TEST(CodePage, CharLowerFollowsTheAnsiLetters)
{
    const struct {
        unsigned char in;
        unsigned char out;
    } cases[] = {
        {'A', 'a'}, {'Z', 'z'}, {'a', 'a'}, {'@', '@'}, {'[', '['},
        {0xC0, 0xE0}, {0xC9, 0xE9}, {0xDE, 0xFE}, {0xD7, 0xD7}, // × is no letter
        {0xDF, 0xDF}, {0xE9, 0xE9}, {0xF7, 0xF7},
        {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8E, 0x9E}, {0x9F, 0xFF},
        {0x80, 0x80}, {0x00, 0x00},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "byte 0x" << std::hex << int(c.in));
        EXPECT_EQ(static_cast<unsigned char>(char_lower(static_cast<char>(c.in))), c.out);
    }

    char text[] = "Data/\xC9T\xC9/\x8A.PNG";
    char_lower(text);
    EXPECT_STREQ(text, "data/\xE9t\xE9/\x9A.png");
    char_lower(static_cast<char*>(nullptr));
}

// The Cyrillic code page beside it: the pairs the two tables disagree on, the letters'
// block edges (Ё and ё live outside it), and the byte 1251 leaves undefined.
TEST(CodePage1251, KnownPairsConvertBothWays)
{
    constexpr Pair pairs[] = {
        {'A', u'A'},    {0x7F, 0x007F}, {0xC0, 0x0410}, {0xDF, 0x042F}, {0xE0, 0x0430},
        {0xFF, 0x044F}, {0xA8, 0x0401}, {0xB8, 0x0451}, {0x80, 0x0402}, {0x88, 0x20AC},
        {0xB9, 0x2116}, {0xA5, 0x0490}, {0xB4, 0x0491}, {0xA0, 0x00A0}, {0x98, 0x0098},
    };
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(testing::Message() << "byte 0x" << std::hex << int(pair.byte));
        const char narrow = static_cast<char>(pair.byte);
        char16_t wide = 0xBEEF;
        ASSERT_EQ(platform::multibyte_to_wide_1251(&narrow, 1, &wide, 1), 1);
        EXPECT_EQ(wide, pair.unit);

        char back = 'x';
        ASSERT_EQ(platform::wide_to_multibyte_1251(&pair.unit, 1, &back, 1), 1);
        EXPECT_EQ(static_cast<unsigned char>(back), pair.byte);
    }
}

TEST(CodePage1251, EveryByteRoundTripsAndForeignUnitsBecomeQuestionMarks)
{
    char bytes[256];
    for (int i = 0; i < 256; ++i)
        bytes[i] = static_cast<char>(i);
    char16_t wide[256];
    ASSERT_EQ(platform::multibyte_to_wide_1251(bytes, 256, wide, 256), 256);
    EXPECT_EQ(std::set<char16_t>(wide, wide + 256).size(), 256u);
    char back[256];
    ASSERT_EQ(platform::wide_to_multibyte_1251(wide, 256, back, 256), 256);
    EXPECT_EQ(std::memcmp(bytes, back, 256), 0);

    // Latin-1 letters, a 1252-only sign and CJK have no 1251 byte.
    const char16_t foreign[] = {u'a', 0x00E9, 0x0160, 0x4E2D, 0x0450, u'z'};
    char narrow[6];
    ASSERT_EQ(platform::wide_to_multibyte_1251(foreign, 6, narrow, 6), 6);
    EXPECT_EQ(std::string(narrow, 6), "a????z");

    char16_t untouched = u'#';
    EXPECT_EQ(platform::multibyte_to_wide_1251(bytes, 2, &untouched, 1), 0);
    EXPECT_EQ(untouched, u'#');
    EXPECT_EQ(platform::wide_to_multibyte_1251(nullptr, 1, narrow, 6), 0);
}

} // namespace
