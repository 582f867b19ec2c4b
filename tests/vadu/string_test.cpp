#include "vadu/string.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <map>
#include <new>
#include <ostream>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace vadu {

// Readable failure messages.
void PrintTo(const String& s, std::ostream* os)
{
    *os << '"' << std::string(s.data(), s.size()) << '"';
}

void PrintTo(const WString& s, std::ostream* os)
{
    *os << "u\"";
    for (char16_t c : std::u16string(s.data(), s.size())) {
        if (c < 0x80)
            *os << static_cast<char>(c);
        else
            *os << "\\u" << std::hex << int(c) << std::dec;
    }
    *os << '"';
}

} // namespace vadu

namespace {

using vadu::String;
using vadu::WString;

std::string text(const String& s)
{
    return std::string(s.data(), s.size());
}

std::u16string text(const WString& s)
{
    return std::u16string(s.data(), s.size());
}

TEST(StringLayout, ThreeWordsOverAnEightByteHeader)
{
    EXPECT_EQ(sizeof(String), 3 * sizeof(void*));
    EXPECT_EQ(sizeof(WString), 3 * sizeof(void*));
    EXPECT_EQ(sizeof(String::Rep), 8u);
    EXPECT_EQ(String::npos, 0x3FFFFFFFu);
    EXPECT_EQ(WString::npos, 0x3FFFFFFFu);
}

TEST(StringEmpty, AllEmptyStringsShareOneRepresentationThatIsNeverFreed)
{
    const String first;
    const int32_t before = first.ref_count();
    EXPECT_GE(before, 2); // its own count plus the one it starts with
    EXPECT_EQ(first.size(), 0u);
    EXPECT_TRUE(first.empty());
    EXPECT_EQ(first.capacity_words(), 1u);
    EXPECT_STREQ(first.c_str(), "");
    {
        const String narrow;
        const WString wide;
        EXPECT_EQ(narrow.representation(), first.representation());
        EXPECT_EQ(wide.representation(), first.representation());
        EXPECT_EQ(first.ref_count(), before + 2);
    }
    EXPECT_EQ(first.ref_count(), before);

    // Releasing every other holder may bring it down to the starting count, never to zero.
    for (int i = 0; i < 3; ++i) {
        String s("x");
        s.clear();
        EXPECT_EQ(s.representation(), first.representation());
    }
    EXPECT_EQ(first.ref_count(), before);
}

TEST(StringCapacity, FreshRepresentationsFollowTheWordRule)
{
    const struct {
        const char* narrow;
        uint32_t words;
    } narrow_cases[] = {{"a", 1}, {"abc", 2}, {"abcd", 2}, {"abcdefg", 3}, {"abcdefgh", 3}, {"abcdefghijk", 4}};
    for (const auto& c : narrow_cases) {
        SCOPED_TRACE(c.narrow);
        const String s(c.narrow);
        EXPECT_EQ(s.capacity_words(), c.words);
        EXPECT_EQ(s.ref_count(), 1);
        EXPECT_STREQ(s.c_str(), c.narrow);
    }

    const struct {
        const char16_t* wide;
        uint32_t words;
    } wide_cases[] = {{u"a", 2}, {u"ab", 2}, {u"abc", 3}, {u"abcde", 4}, {u"abcdef", 4}};
    for (const auto& c : wide_cases) {
        SCOPED_TRACE(std::u16string(c.wide).size());
        const WString s(c.wide);
        EXPECT_EQ(s.capacity_words(), c.words);
        EXPECT_EQ(text(s), c.wide);
    }
}

TEST(StringCapacity, AppendingFillsTheRoomThenGrowsByHalf)
{
    String s("abc");
    ASSERT_EQ(s.capacity_words(), 2u);
    const auto* rep = s.representation();

    s += "defg"; // seven characters and the terminator fit in eight bytes
    EXPECT_EQ(s.representation(), rep);
    EXPECT_EQ(text(s), "abcdefg");

    String t("abc");
    t += "defgh"; // reserve(8): grows to max(8, 12) characters
    EXPECT_EQ(t.capacity_words(), 4u);
    EXPECT_EQ(text(t), "abcdefgh");
    EXPECT_EQ(t.ref_count(), 1);

    WString w(u"abc"); // 3 words = 6 units
    w.reserve(6);      // grows to max(6, 9) units
    EXPECT_EQ(w.capacity_words(), 6u);
    EXPECT_EQ(text(w), u"abc");
}

TEST(StringCapacity, ReserveCountsTheRoomFromAFormerSubstringsBegin)
{
    String s;
    {
        const String whole("abcdefghij"); // 3 words = 12 bytes
        s = whole.substr(8);              // "ij", begin 8 bytes into the area
    }
    ASSERT_EQ(s.ref_count(), 1);
    const auto* rep = s.representation();
    s.reserve(3); // 8 + 3 + terminator still fit the 12 bytes
    EXPECT_EQ(s.representation(), rep);
    s.reserve(4); // 8 + 4 + terminator would pass the end of the area
    EXPECT_NE(s.representation(), rep);
    EXPECT_EQ(text(s), "ij");
    s += "klm";
    EXPECT_EQ(text(s), "ijklm");
}

TEST(StringCapacity, ImpossibleSizesThrowAndKeepTheContent)
{
    for (size_t n : {size_t(0x3FFFFFFE) * 4, size_t(0x3FFFFFFE) * 4 - 1, size_t(-1) / 2}) {
        String s("keep");
        const String other(s);
        EXPECT_THROW(s.reserve(n), std::bad_alloc);
        EXPECT_THROW(s.resize(n, 'x'), std::bad_alloc);
        EXPECT_EQ(text(s), "keep");
        EXPECT_TRUE(s.shares_with(other));

        WString w(u"keep");
        EXPECT_THROW(w.reserve(n), std::bad_alloc);
        EXPECT_EQ(text(w), u"keep");
    }
}

// Every writer applied to a copy must leave the original alone.
TEST(StringCopyOnWrite, WritingACopyLeavesTheOriginalUnchanged)
{
    const struct {
        const char* name;
        std::function<void(String&)> write;
        const char* expected;
    } cases[] = {
        {"+=", [](String& s) { s += "!"; }, "hello!"},
        {"append", [](String& s) { s.append(String("?")); }, "hello?"},
        {"assign text", [](String& s) { s = "hi"; }, "hi"},
        {"erase", [](String& s) { s.erase(1, 3); }, "ho"},
        {"insert", [](String& s) { const char x[] = "XY"; s.insert(2, x, x + 2); }, "heXYllo"},
        {"resize longer", [](String& s) { s.resize(7, '.'); }, "hello.."},
        {"append_number", [](String& s) { s.append_number(7); }, "hello7"},
        {"end", [](String& s) { s.end()[-1] = 'O'; }, "hellO"},
        {"reserve", [](String& s) { s.reserve(5)[0] = 'J'; }, "Jello"},
        {"assign_from_wide", [](String& s) { const char16_t w[] = u"hi"; s.assign_from_wide(w, w + 2); }, "hi"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const String original("hello");
        String copy(original);
        EXPECT_TRUE(copy.shares_with(original));
        EXPECT_EQ(original.ref_count(), 2);
        c.write(copy);
        EXPECT_EQ(text(original), "hello");
        EXPECT_EQ(text(copy), c.expected);
        EXPECT_STREQ(copy.c_str(), c.expected);
        EXPECT_FALSE(copy.shares_with(original));
        EXPECT_EQ(original.ref_count(), 1);
        EXPECT_EQ(copy.ref_count(), 1);
    }
}

TEST(StringCopyOnWrite, AssignmentSharesAndReleases)
{
    String a("first");
    String b("second");
    const auto* old_rep = a.representation();
    a = b;
    EXPECT_TRUE(a.shares_with(b));
    EXPECT_EQ(b.ref_count(), 2);
    EXPECT_NE(a.representation(), old_rep);
    a = a;
    EXPECT_EQ(b.ref_count(), 2);
    a = "third";
    EXPECT_EQ(text(b), "second");
    EXPECT_EQ(text(a), "third");
}

TEST(StringSubstr, SharesUntilWritten)
{
    const String original("abcde");
    String tail = original.substr(1, 10);
    EXPECT_EQ(text(tail), "bcde");
    EXPECT_TRUE(tail.shares_with(original));
    EXPECT_EQ(original.ref_count(), 2);

    tail += "X";
    EXPECT_EQ(text(tail), "bcdeX");
    EXPECT_FALSE(tail.shares_with(original));
    EXPECT_EQ(text(original), "abcde");
    EXPECT_EQ(original.ref_count(), 1);

    EXPECT_TRUE(original.substr(5).empty());
    EXPECT_TRUE(original.substr(99, 3).empty()); // a start past the end is clamped
    EXPECT_EQ(text(original.substr(0, 0)), "");
}

TEST(StringSubstr, CStrTerminatesWithoutTouchingTheSharedCharacters)
{
    const String original("abcde");
    const String middle = original.substr(1, 2);
    EXPECT_STREQ(middle.c_str(), "bc");
    EXPECT_FALSE(middle.shares_with(original));
    EXPECT_STREQ(original.c_str(), "abcde");

    // A unique string shortened in place is terminated in place.
    String shortened("abcdef");
    const auto* rep = shortened.representation();
    shortened.resize(2);
    EXPECT_STREQ(shortened.c_str(), "ab");
    EXPECT_EQ(shortened.representation(), rep);
}

TEST(StringResize, ShorterOnlyMovesTheEnd)
{
    String s("abcdef");
    const String copy(s);
    s.resize(3, 'x');
    EXPECT_EQ(text(s), "abc");
    EXPECT_TRUE(s.shares_with(copy));
    EXPECT_EQ(s.data(), copy.data());
    EXPECT_EQ(text(copy), "abcdef");

    s.resize(5, 'x');
    EXPECT_EQ(text(s), "abcxx");
    EXPECT_EQ(text(copy), "abcdef");
}

TEST(StringFind, PositionsAndTheNotFoundValue)
{
    const String s("abcabcab");
    const struct {
        const char* needle;
        size_t pos;
        size_t forward;
        size_t backward;
    } cases[] = {
        {"abc", 0, 0, 0},
        {"abc", 1, 3, 0},
        {"ab", 7, String::npos, 6},
        {"cab", 3, 5, 2},
        {"zz", 0, String::npos, String::npos},
        {"abcabcabc", 0, String::npos, String::npos}, // longer than the string
        {"b", 8, String::npos, 7},
        {"", 4, 4, 4},
        {"", 8, 8, 8},
        {"", 9, String::npos, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.needle << "\" from " << c.pos);
        EXPECT_EQ(s.find(c.needle, c.pos), c.forward);
        EXPECT_EQ(s.rfind(c.needle, c.pos), c.backward);
    }
    EXPECT_EQ(s.find('c'), 2u);
    EXPECT_EQ(s.rfind('c'), 5u);
    EXPECT_EQ(s.rfind("ab"), 6u);
    EXPECT_EQ(s.find(String("ca"), 3), 5u);
    EXPECT_EQ(s.substr(3).find("ab"), 0u); // relative to the substring's own begin
    EXPECT_EQ(String("a\xE9z").find("\xE9"), 1u);

    const WString w(u"path/to/file");
    EXPECT_EQ(w.find(u"/"), 4u);
    EXPECT_EQ(w.find(u"/", 5), 7u);
    EXPECT_EQ(w.find(u"x"), WString::npos);
}

TEST(StringErase, RemovesAClampedStretch)
{
    const struct {
        size_t pos;
        size_t count;
        const char* expected;
    } cases[] = {
        {0, 2, "cdef"}, {2, 2, "abef"}, {4, 99, "abcd"}, {6, 1, "abcdef"}, {9, 1, "abcdef"}, {0, String::to_end, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pos << ", " << c.count);
        String s("abcdef");
        s.erase(c.pos, c.count);
        EXPECT_STREQ(s.c_str(), c.expected);
        EXPECT_EQ(s.size(), std::string(c.expected).size());
    }
}

TEST(StringAppend, ConcatenationAndSelfReferences)
{
    const String left("left");
    const String right("right");
    EXPECT_EQ(text(left + right), "leftright");
    EXPECT_EQ(text(left + "!"), "left!");
    EXPECT_EQ(text("<" + right), "<right");
    EXPECT_EQ(text(String() + String()), "");
    EXPECT_EQ(left.ref_count(), 1); // the temporaries released their share

    String doubled("abcde"); // the doubled text no longer fits: append reallocates
    const auto* rep = doubled.representation();
    doubled.append(doubled);
    EXPECT_NE(doubled.representation(), rep);
    EXPECT_EQ(text(doubled), "abcdeabcde");

    // Pointers into the string's own characters stay valid while it reallocates.
    String self("0123456789");
    self += self.c_str() + 2;
    EXPECT_EQ(text(self), "012345678923456789");
    String assigned("0123456789");
    assigned = assigned.c_str() + 4;
    EXPECT_EQ(text(assigned), "456789");
    String inserted("abcdefgh");
    inserted.insert(0, inserted.data() + 4, inserted.data_end());
    EXPECT_EQ(text(inserted), "efghabcdefgh");
}

TEST(StringAppend, GrowthIsGeometric)
{
    String s;
    int reallocations = 0;
    const void* rep = s.representation();
    for (int i = 0; i < 10000; ++i) {
        s += "x";
        if (s.representation() != rep) {
            ++reallocations;
            rep = s.representation();
        }
    }
    EXPECT_EQ(s.size(), 10000u);
    EXPECT_LT(reallocations, 30);
}

TEST(StringAppend, Numbers)
{
    const struct {
        long long value;
        const char* expected;
    } cases[] = {
        {0, "n=0"}, {-1, "n=-1"}, {INT_MAX, "n=2147483647"}, {INT_MIN, "n=-2147483648"},
        {LLONG_MIN, "n=-9223372036854775808"},
    };
    for (const auto& c : cases) {
        String s("n=");
        s.append_number(c.value);
        EXPECT_STREQ(s.c_str(), c.expected);
    }
}

TEST(StringCompare, UnsignedBytesThenLength)
{
    const struct {
        const char* a;
        const char* b;
        bool less;
    } cases[] = {
        {"abc", "abd", true}, {"abd", "abc", false}, {"ab", "abc", true}, {"abc", "ab", false},
        {"abc", "abc", false}, {"", "a", true}, {"z", "\xE9", true}, {"\xE9", "z", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " < " << c.b);
        EXPECT_EQ(String(c.a).less(String(c.b)), c.less);
        EXPECT_EQ(String(c.a) < String(c.b), c.less);
        EXPECT_EQ(String(c.a) == String(c.b), std::string(c.a) == c.b);
        EXPECT_EQ(String(c.a) == c.b, std::string(c.a) == c.b);
    }
    EXPECT_TRUE(String("abcdef").substr(1, 2) == "bc");
    EXPECT_TRUE(String("abcdef").substr(1, 2) != String("bcd"));
    EXPECT_TRUE("abc" == String("abc"));
}

TEST(StringCompare, WideCompareDecidesByUnitThenLength)
{
    const WString s(u"hello world");
    const struct {
        size_t pos;
        size_t count;
        const char16_t* array;
        int expected;
    } cases[] = {
        {0, 5, u"hello", 0},  {6, 5, u"world", 0},   {6, 99, u"world", 0}, {0, 5, u"help", -1},
        {0, 5, u"hell", 1},   {0, 4, u"hello", -1},  {0, 5, u"hellp", -1}, {0, 5, u"hellm", 1},
        {99, 5, u"", 0},      {0, 1, u"\xE9", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pos << ", " << c.count);
        const size_t n = std::u16string(c.array).size();
        EXPECT_EQ(s.compare(c.pos, c.count, c.array, n), c.expected);
    }
    EXPECT_EQ(s.compare(0, 2, u"hello", 5), -3);
    EXPECT_TRUE(s == u"hello world");
    EXPECT_FALSE(s == u"hello");
    EXPECT_TRUE(WString(u"\xE9") < WString(u"\xFFFF"));
}

TEST(StringCompare, ServesAsMapAndHashKey)
{
    std::map<String, int> ordered;
    std::unordered_set<String> hashed;
    for (const char* name : {"beta", "alpha", "gamma", "alpha"}) {
        ++ordered[String(name)];
        hashed.insert(String(name));
    }
    ASSERT_EQ(ordered.size(), 3u);
    EXPECT_EQ(text(ordered.begin()->first), "alpha");
    EXPECT_EQ(ordered.begin()->second, 2);
    EXPECT_EQ(hashed.size(), 3u);
    EXPECT_TRUE(hashed.count(String("gammas").substr(0, 5)));
    EXPECT_EQ(std::hash<WString>{}(WString(u"ab")), std::hash<WString>{}(WString(u"xab").substr(1)));
}

TEST(StringWide, InsertAppendAndEnd)
{
    WString w(u"ac");
    const char16_t b[] = u"b";
    w.insert(1, b, b + 1);
    EXPECT_EQ(text(w), u"abc");
    w.insert(99, b, b + 1);
    EXPECT_EQ(text(w), u"abcb");
    w.append(WString(u"!"));
    EXPECT_EQ(text(w), u"abcb!");

    const WString copy(w);
    char16_t* end = w.end();
    EXPECT_FALSE(w.shares_with(copy));
    EXPECT_EQ(end, w.data_end());
    EXPECT_EQ(*end, u'\0');

    WString fresh;
    const char16_t source[] = u"abcdef";
    fresh.allocate(3, source, source + 6);
    EXPECT_EQ(text(fresh), u"abc");
    EXPECT_EQ(fresh.capacity_words(), 3u);
    EXPECT_EQ(fresh.ref_count(), 1);
}

struct ConversionCase {
    const char* narrow;
    const char16_t* wide;
};

// Each wide text converts to the narrow one; the reverse holds where the text maps.
const ConversionCase kConversions[] = {
    {"", u""},
    {"plain ASCII", u"plain ASCII"},
    {"caf\xE9", u"caf\u00E9"},
    {"\x80 5", u"\u20AC 5"},
    {"\x93quoted\x94", u"\u201Cquoted\u201D"},
};

TEST(StringConversion, WideToNarrowAndBack)
{
    for (const ConversionCase& c : kConversions) {
        SCOPED_TRACE(c.narrow);
        const WString wide(c.wide);
        String narrow("old content");
        EXPECT_TRUE(narrow.assign_from_wide(wide.data(), wide.data_end()));
        EXPECT_STREQ(narrow.c_str(), c.narrow);

        WString back(u"> ");
        EXPECT_TRUE(back.append_narrow(String(c.narrow)));
        EXPECT_EQ(text(back), u"> " + std::u16string(c.wide));

        String appended("> ");
        EXPECT_TRUE(appended.append_wide(wide));
        EXPECT_EQ(text(appended), "> " + std::string(c.narrow));
    }

    const WString chinese(u"\u4E2D!");
    String narrow;
    EXPECT_TRUE(narrow.assign_from_wide(chinese.data(), chinese.data_end()));
    EXPECT_EQ(text(narrow), "?!");
}

TEST(StringConversion, FailureLeavesTheTargetEmpty)
{
    const WString wide(u"abc");
    String narrow("old content");
    const String other(narrow);
    EXPECT_FALSE(narrow.assign_from_wide(wide.data_end(), wide.data())); // reversed range
    EXPECT_TRUE(narrow.empty());
    EXPECT_EQ(narrow.representation(), String().representation());
    EXPECT_EQ(text(other), "old content");
}

TEST(StringFormat, FormatsAndCutsAt511Characters)
{
    EXPECT_EQ(text(vadu::format("%d/100", 42)), "42/100");
    EXPECT_EQ(text(vadu::format("data/decorations/cloud%d", 3)), "data/decorations/cloud3");
    EXPECT_EQ(text(vadu::format("%s", "")), "");

    const std::string long_text(700, 'q');
    const String cut = vadu::format("<%s>", long_text.c_str());
    ASSERT_EQ(cut.size(), 511u);
    EXPECT_EQ(text(cut), "<" + long_text.substr(0, 510));
    EXPECT_EQ(vadu::format("%s", std::string(511, 'a').c_str()).size(), 511u);
}

TEST(StringThreads, CopiesAndReleasesOnManyThreadsKeepTheCount)
{
    const String shared("shared between threads");
    const WString wide_shared(u"wide and shared");
    constexpr int kThreads = 6;
    constexpr int kTurns = 20000;
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&shared, &wide_shared, t] {
            for (int i = 0; i < kTurns; ++i) {
                String copy(shared);
                String part = copy.substr(7);
                WString wide(wide_shared);
                String other;
                other = copy;
                if (i % 1000 == t) {
                    part += "!"; // a write unshares only this thread's object
                    if (text(part) != "between threads!")
                        ADD_FAILURE() << "unexpected text";
                }
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(shared.ref_count(), 1);
    EXPECT_EQ(wide_shared.ref_count(), 1);
    EXPECT_EQ(text(shared), "shared between threads");
}

TEST(StringConstruction, RangesAndNulls)
{
    const char source[] = "a\0b";
    const String with_zero(source, source + 3);
    EXPECT_EQ(with_zero.size(), 3u);
    EXPECT_EQ(text(with_zero), std::string("a\0b", 3));

    EXPECT_TRUE(String(static_cast<const char*>(nullptr)).empty());
    EXPECT_TRUE(String(nullptr, nullptr).empty());
    EXPECT_THROW(String(source + 2, source), std::invalid_argument);
}

} // namespace
