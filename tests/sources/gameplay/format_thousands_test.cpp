#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "sources/gameplay/format_thousands.h"

namespace {

TEST(FormatThousands, SeparatesEveryGroupOfThreeDigitsFromTheRight)
{
    const struct {
        int value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {7, "7"},
        {999, "999"},
        {1000, "1,000"},
        {12345, "12,345"},
        {100000, "100,000"},
        {1234567, "1,234,567"},
        {INT_MAX, "2,147,483,647"},
        // The sign is no digit: it never gets a separator of its own.
        {-123, "-123"},
        {-1234, "-1,234"},
        {-123456, "-123,456"},
        {INT_MIN, "-2,147,483,648"},
    };
    for (const auto& c : cases) {
        const vadu::String text = gameplay::FormatThousands(c.value);
        EXPECT_EQ(std::string(text.data(), text.size()), c.text) << c.value;
    }
}

} // namespace
