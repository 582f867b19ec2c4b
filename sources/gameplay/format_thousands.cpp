#include "sources/gameplay/format_thousands.h"

#include <cstdio>
#include <string>

namespace gameplay {

vadu::String FormatThousands(int value)
{
    char digits[16];
    std::snprintf(digits, sizeof(digits), "%d", value);
    std::string text(digits);
    // The sign is no digit: grouping counts the digits alone, so -123 never reads "-,123".
    const size_t first = text[0] == '-' ? 1 : 0;
    std::string result = text.substr(0, first);
    const size_t count = text.size() - first;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0 && (count - i) % 3 == 0)
            result += ',';
        result += text[first + i];
    }
    return vadu::String(result.c_str());
}

} // namespace gameplay
