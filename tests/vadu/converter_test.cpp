#include "vadu/converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "vadu/exception.h"

namespace converter_test_file {

namespace conv = vadu::converter;

vadu::String narrow(std::string_view text) { return vadu::String(text.data(), text.data() + text.size()); }
vadu::WString wide(std::u16string_view text) { return vadu::WString(text.data(), text.data() + text.size()); }
std::string to_std(const vadu::String& text) { return std::string(text.data(), text.size()); }
std::u16string to_std(const vadu::WString& text) { return std::u16string(text.data(), text.size()); }

// Value every output starts from, so a failed conversion can be seen to leave it alone.
constexpr int32_t untouched = 99;

struct IntCase {
    std::string_view text;
    bool ok;
    int32_t value;
};

const IntCase int_cases[] = {
    {"42", true, 42},
    {"  42", true, 42},
    {"\t\n 8", true, 8},
    {"+7", true, 7},
    {"-13", true, -13},
    {"12abc", true, 12},
    {"0x10", true, 0},  // stops at the x
    {"-", false, untouched},
    {"+", false, untouched},
    {"", false, untouched},
    {"   ", false, untouched},
    {"abc", false, untouched},
    {"- 5", false, untouched},
    // Overflow wraps and still succeeds; existing data relies on these values.
    {"2147483648", true, std::numeric_limits<int32_t>::min()},
    {"-2147483648", true, std::numeric_limits<int32_t>::min()},
    {"4294967297", true, 1},
};

TEST(ConverterInt, NarrowAndWideTextGiveTheSameResults)
{
    for (const IntCase& c : int_cases) {
        SCOPED_TRACE(std::string(c.text));
        int32_t from_narrow = untouched;
        EXPECT_EQ(conv::convert(narrow(c.text), &from_narrow), c.ok);
        EXPECT_EQ(from_narrow, c.value);

        const std::u16string units(c.text.begin(), c.text.end());
        int32_t from_wide = untouched;
        EXPECT_EQ(conv::convert(wide(units), &from_wide), c.ok);
        EXPECT_EQ(from_wide, c.value);
    }
}

TEST(ConverterInt, UnsignedAcceptsOnlyAPlusSign)
{
    struct Case {
        std::string_view text;
        bool ok;
        uint32_t value;
    };
    const Case cases[] = {
        {"+5", true, 5},
        {" 4294967295", true, 4294967295u},
        {"4294967296", true, 0},  // wraps
        {"-5", false, untouched},
        {"-0", false, untouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        uint32_t value = untouched;
        EXPECT_EQ(conv::convert(narrow(c.text), &value), c.ok);
        EXPECT_EQ(value, c.value);
    }
}

// The parsers themselves: where they stop and what they leave in the value.
TEST(ConverterParse, IntegerParserConsumesOneCharacterAfterTheDigits)
{
    struct Case {
        std::string_view text;
        int consumed;  // -1: failure
        int32_t value;
    };
    const Case cases[] = {
        {"12 34", 3, 12},
        {"12", 2, 12},
        {"12,", 3, 12},
        {"  -9;x", 5, -9},
        {"0x10", 2, 0},
        {"abc", -1, 0},  // no digit: the parser reports 0
        {"", -1, untouched},
        {"  ", -1, untouched},
        {"-", -1, untouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        int32_t value = untouched;
        const char* first = c.text.data();
        const char* end = conv::parse_int(first, first + c.text.size(), &value);
        EXPECT_EQ(end == nullptr ? -1 : static_cast<int>(end - first), c.consumed);
        EXPECT_EQ(value, c.value);
    }
}

TEST(ConverterParse, ShortParserWrapsInSixteenBits)
{
    struct Case {
        std::string_view text;
        int16_t value;
    };
    const Case cases[] = {{"-7", -7}, {"32767", 32767}, {"40000", -25536}, {"70000", 4464}};
    for (const Case& c : cases) {
        int16_t value = 0;
        ASSERT_NE(conv::parse_short(c.text.data(), c.text.data() + c.text.size(), &value), nullptr) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

struct FloatCase {
    std::string_view text;
    bool ok;
    float value;
};

const FloatCase float_cases[] = {
    {"150", true, 150.0f},
    {"1.5e2", true, 150.0f},
    {"2.5E+1", true, 25.0f},
    {"1.", true, 1.0f},
    {".5", true, 0.5f},
    {"-.5", true, -0.5f},
    {"  -2.25", true, -2.25f},
    {"12abc", true, 12.0f},
    {"1.5.5", true, 1.5f},
    {"1e5x", true, 100000.0f},
    {"1.e1", true, 10.0f},
    {"1e", false, untouched},
    {"e5", false, untouched},
    {".", false, untouched},
    {"-", false, untouched},
    {"", false, untouched},
    {"   ", false, untouched},
    {"abc", false, untouched},
    {"1e+", false, untouched},
};

TEST(ConverterFloat, NarrowAndWideFormsAcceptTheSameTexts)
{
    for (const FloatCase& c : float_cases) {
        SCOPED_TRACE(std::string(c.text));
        const std::u16string units(c.text.begin(), c.text.end());

        float narrow_float = untouched;
        EXPECT_EQ(conv::convert(narrow(c.text), &narrow_float), c.ok);
        EXPECT_EQ(narrow_float, c.value);

        double narrow_double = untouched;
        EXPECT_EQ(conv::convert(narrow(c.text), &narrow_double), c.ok);
        EXPECT_EQ(narrow_double, static_cast<double>(c.value));

        float wide_float = untouched;
        EXPECT_EQ(conv::convert(wide(units), &wide_float), c.ok);
        EXPECT_EQ(wide_float, c.value);

        double wide_double = untouched;
        EXPECT_EQ(conv::convert(wide(units), &wide_double), c.ok);
        EXPECT_EQ(wide_double, static_cast<double>(c.value));
    }
}

TEST(ConverterFloat, ParserReportsZeroWhenThereIsNoDigit)
{
    float value = untouched;
    const std::string_view text = "x1";
    EXPECT_EQ(conv::parse_float(text.data(), text.data() + text.size(), &value), nullptr);
    EXPECT_EQ(value, 0.0f);
}

// Numbers are built digit by digit in the target precision, with a fraction
// factor that is 0.1 multiplied by 0.1 in that precision, and a power of ten
// rounded to the target precision. That differs from correctly rounded parsing,
// and data files depend on the exact values.
TEST(ConverterFloat, AccumulatesDigitsInItsOwnPrecision)
{
    const float f1 = 0.1f;
    const float f2 = f1 * 0.1f;
    const float f3 = f2 * 0.1f;
    const float f4 = f3 * 0.1f;
    struct Case {
        std::string_view text;
        float expected;
    };
    const Case cases[] = {
        {"0.05", 0.0f + 5.0f * f2},
        {"1234.5678", 1234.0f + 5.0f * f1 + 6.0f * f2 + 7.0f * f3 + 8.0f * f4},
        {"7.1e-2", (7.0f + 1.0f * f1) * static_cast<float>(1.0 / 100.0)},
        {"-9.87654", -(9.0f + 8.0f * f1 + 7.0f * f2 + 6.0f * f3 + 5.0f * f4 + 4.0f * (f4 * 0.1f))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        float value = 0;
        ASSERT_TRUE(conv::convert(narrow(c.text), &value));
        EXPECT_EQ(value, c.expected);
        // Each case is one where the result differs from correctly rounded parsing.
        EXPECT_NE(value, std::strtof(std::string(c.text).c_str(), nullptr));
    }

    double value = 0;
    ASSERT_TRUE(conv::convert(wide(u"0.3"), &value));
    EXPECT_EQ(value, 0.0 + 3.0 * 0.1);
    EXPECT_NE(value, 0.3);
}

TEST(ConverterFloat, IntPowerSquaresRepeatedly)
{
    EXPECT_EQ(conv::int_power(10.0, 0), 1.0);
    EXPECT_EQ(conv::int_power(10.0, 3), 1000.0);
    EXPECT_EQ(conv::int_power(3.0, 5), 243.0);
    EXPECT_EQ(conv::int_power(2.0, -2), 0.25);
    EXPECT_EQ(conv::int_power(10.0, -2), 1.0 / 100.0);
    EXPECT_EQ(conv::int_power(2.0, std::numeric_limits<int32_t>::min()), 0.0);
}

TEST(ConverterSequence, NumbersAreSeparatedByExactlyOneCharacter)
{
    using Vector = vadu::math::Vector2<float>;
    struct Case {
        std::string_view text;
        bool ok;
        float x, y;
    };
    const Case cases[] = {
        {"3 4", true, 3, 4},
        {"3, 4", true, 3, 4},
        {"3,4", true, 3, 4},
        {" 3\t 4 trailing", true, 3, 4},
        {"1.5e1;-2", true, 15, -2},
        {"3,,4", false, untouched, untouched},
        {"3", false, untouched, untouched},
        {"3 x", false, untouched, untouched},
        {"", false, untouched, untouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        Vector value{untouched, untouched};
        EXPECT_EQ(conv::convert(narrow(c.text), &value), c.ok);
        EXPECT_EQ(value.x, c.x);
        EXPECT_EQ(value.y, c.y);
    }
}

TEST(ConverterSequence, RectangleNeedsThreeNumbersAndDefaultsTheFourthToZero)
{
    struct Case {
        std::string_view text;
        bool ok;
        float rect[4];
    };
    const Case cases[] = {
        {"1 2 3 4", true, {1, 2, 3, 4}},
        {"1,2,3,4", true, {1, 2, 3, 4}},
        {"1 2 3", true, {1, 2, 3, 0}},
        {"1 2 3 ", true, {1, 2, 3, 0}},
        {"1 2 3 x", true, {1, 2, 3, 0}},
        {"1 2", false, {untouched, untouched, untouched, untouched}},
        {"1 2 x 4", false, {untouched, untouched, untouched, untouched}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        float rect[4] = {untouched, untouched, untouched, untouched};
        EXPECT_EQ(conv::to_rect(narrow(c.text), rect), c.ok);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(rect[i], c.rect[i]) << "element " << i;
    }
}

TEST(ConverterBool, OnlyTheWholeWordsOfTheTableConvert)
{
    struct Case {
        std::string_view text;
        bool ok;
        bool value;
    };
    const Case cases[] = {
        {"false", true, false}, {"true", true, true},   {"0", true, false},     {"1", true, true},
        {"False", true, false}, {"True", true, true},   {"FALSE", true, false}, {"TRUE", true, true},
        {"yes", false, false},  {"true ", false, false}, {" true", false, false}, {"tRue", false, false},
        {"", false, false},     {"2", false, false},    {"01", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        const std::u16string units(c.text.begin(), c.text.end());
        // Start from the opposite of the expected value so that a write shows.
        const bool start = c.ok ? !c.value : true;
        bool from_narrow = start;
        EXPECT_EQ(conv::convert(narrow(c.text), &from_narrow), c.ok);
        EXPECT_EQ(from_narrow, c.ok ? c.value : start);
        bool from_wide = start;
        EXPECT_EQ(conv::convert(wide(units), &from_wide), c.ok);
        EXPECT_EQ(from_wide, c.ok ? c.value : start);
    }
}

TEST(ConverterText, StringsConvertThroughTheAnsiCodePage)
{
    vadu::String narrow_text = "old";
    EXPECT_TRUE(conv::convert(wide(u"\u20ac 5 caf\u00e9"), &narrow_text));
    EXPECT_EQ(to_std(narrow_text), "\x80 5 caf\xe9");

    vadu::WString wide_text = u"old";
    EXPECT_TRUE(conv::convert(narrow("\x80 5 caf\xe9"), &wide_text));
    EXPECT_EQ(to_std(wide_text), u"\u20ac 5 caf\u00e9");

    EXPECT_TRUE(conv::convert(narrow(""), &wide_text));
    EXPECT_TRUE(wide_text.empty());
    EXPECT_TRUE(conv::convert(wide(u""), &narrow_text));
    EXPECT_TRUE(narrow_text.empty());

    vadu::String copy;
    EXPECT_TRUE(conv::convert(narrow("as is"), &copy));
    EXPECT_EQ(to_std(copy), "as is");
    vadu::WString wide_copy;
    EXPECT_TRUE(conv::convert(wide(u"as is"), &wide_copy));
    EXPECT_EQ(to_std(wide_copy), u"as is");
}

TEST(ConverterText, AtomsInternTheTextAndGiveBackTheirName)
{
    vadu::Atom atom;
    EXPECT_TRUE(conv::convert(narrow("Position"), &atom));
    EXPECT_EQ(atom, vadu::Atom("Position"));

    EXPECT_TRUE(conv::convert(wide(u"Caf\u00e9"), &atom));
    EXPECT_EQ(atom, vadu::Atom("Caf\xe9"));

    vadu::String name;
    EXPECT_TRUE(conv::convert(vadu::Atom("Scale"), &name));
    EXPECT_EQ(to_std(name), "Scale");
}

TEST(ConverterText, PathsKeepTheirLowerCaseFlag)
{
    vadu::filesystem::String lowered("", true);
    EXPECT_TRUE(conv::convert(narrow("Data\\Levels\\One.XML"), &lowered));
    EXPECT_EQ(to_std(lowered.get_text()), "data/levels/one.xml");
    EXPECT_TRUE(lowered.is_lower_case());

    vadu::filesystem::String kept("", false);
    EXPECT_TRUE(conv::convert(narrow("Data\\Levels\\One.XML"), &kept));
    EXPECT_EQ(to_std(kept.get_text()), "Data/Levels/One.XML");
    EXPECT_FALSE(kept.is_lower_case());
}

TEST(ConverterUtf8, DecodesToUtf16)
{
    vadu::WString text = u"old";
    EXPECT_TRUE(conv::convert_utf8(narrow("h\xc3\xa9llo \xe2\x82\xac \xf0\x9f\x98\x80"), &text));
    EXPECT_EQ(to_std(text), u"h\u00e9llo \u20ac \U0001F600");

    EXPECT_TRUE(conv::convert_utf8(narrow(""), &text));
    EXPECT_TRUE(text.empty());
}

TEST(ConverterUtf8, InvalidTextRaisesTheEngineExceptionAndKeepsTheValue)
{
    const std::string_view invalid[] = {"\xff", "abc\xc3", "\xc3\x28", "\xed\xa0\x80"};
    for (std::string_view bytes : invalid) {
        vadu::WString text = u"kept";
        EXPECT_THROW(conv::convert_utf8(narrow(bytes), &text), vadu::Gluck);
        EXPECT_EQ(to_std(text), u"kept");
    }
}

TEST(ConverterPrint, NarrowPrintersUsePrintfConversions)
{
    char buffer[32];
    EXPECT_EQ(conv::print_int(buffer, -42), 3);
    EXPECT_STREQ(buffer, "-42");
    conv::print_unsigned(buffer, 4294967295u);
    EXPECT_STREQ(buffer, "4294967295");
    conv::print_float(buffer, 0.1f);
    EXPECT_STREQ(buffer, "0.1");
    conv::print_double(buffer, 1e20);
    EXPECT_STREQ(buffer, "1e+20");
    conv::print_double(buffer, 150.0);
    EXPECT_STREQ(buffer, "150");
}

TEST(ConverterPrint, WidePrintersReturnTheCount)
{
    char16_t buffer[conv::wide_print_capacity];
    EXPECT_EQ(conv::print_int_w(buffer, 200), 3);
    EXPECT_EQ(std::u16string(buffer), u"200");
    EXPECT_EQ(conv::print_double_w(buffer, -0.5), 4);
    EXPECT_EQ(std::u16string(buffer), u"-0.5");
    EXPECT_EQ(conv::print_double_w(buffer, -1.7976931348623157e308), 13);
    EXPECT_EQ(std::u16string(buffer), u"-1.79769e+308");
}

// Printing and reading back agree for what the printers produce.
TEST(ConverterPrint, PrintedDoublesReadBack)
{
    for (double value : {0.0, -2.5, 150.0, 1e20, 3.25e-5}) {
        char16_t buffer[conv::wide_print_capacity];
        const int count = conv::print_double_w(buffer, value);
        double parsed = 0;
        ASSERT_TRUE(conv::convert(vadu::WString(buffer, buffer + count), &parsed)) << value;
        EXPECT_NEAR(parsed, value, std::fabs(value) * 1e-5) << value;
    }
}

} // namespace
