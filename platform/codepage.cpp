#include "platform/codepage.h"

#include <array>

namespace platform {

namespace {

// Code points of the bytes 0x80-0x9F; the rest of the byte range maps to itself.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t byte_to_unit(unsigned char b)
{
    return (b >= 0x80 && b < 0xA0) ? kHighControls[b - 0x80] : char16_t(b);
}

// Reverse look-up for the few code points above 0xFF (and the five kept controls);
// a linear scan over 32 entries is cheaper than anything cleverer here.
char unit_to_byte(char16_t u)
{
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return static_cast<char>(u);
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == u)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

constexpr std::array<unsigned char, 256> make_lower_table()
{
    std::array<unsigned char, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<unsigned char>(i);
    for (int c = 'A'; c <= 'Z'; ++c)
        table[c] = static_cast<unsigned char>(c + 0x20);
    for (int c = 0xC0; c <= 0xDE; ++c) {
        if (c != 0xD7)
            table[c] = static_cast<unsigned char>(c + 0x20);
    }
    table[0x8A] = 0x9A;
    table[0x8C] = 0x9C;
    table[0x8E] = 0x9E;
    table[0x9F] = 0xFF;
    return table;
}

constexpr std::array<unsigned char, 256> kLower = make_lower_table();

bool arguments_fit(const void* src, int src_len, const void* dst, int dst_len)
{
    return src != nullptr && dst != nullptr && src_len > 0 && dst_len >= src_len;
}

} // namespace

int multibyte_to_wide(const char* src, int src_len, char16_t* dst, int dst_len)
{
    if (!arguments_fit(src, src_len, dst, dst_len))
        return 0;
    for (int i = 0; i < src_len; ++i)
        dst[i] = byte_to_unit(static_cast<unsigned char>(src[i]));
    return src_len;
}

int wide_to_multibyte(const char16_t* src, int src_len, char* dst, int dst_len)
{
    if (!arguments_fit(src, src_len, dst, dst_len))
        return 0;
    for (int i = 0; i < src_len; ++i)
        dst[i] = unit_to_byte(src[i]);
    return src_len;
}

char char_lower(char c)
{
    return static_cast<char>(kLower[static_cast<unsigned char>(c)]);
}

void char_lower(char* text)
{
    if (text == nullptr)
        return;
    for (; *text != '\0'; ++text)
        *text = char_lower(*text);
}

} // namespace platform
