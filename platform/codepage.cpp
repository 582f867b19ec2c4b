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

// Code points of the 1251 bytes 0x80-0xBF; 0xC0-0xFF are the 64 letters from U+0410 on,
// and the bytes below 0x80 are ASCII.
constexpr char16_t kCyrillicHigh[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

char16_t byte_to_unit_1251(unsigned char b)
{
    if (b < 0x80)
        return b;
    if (b >= 0xC0)
        return static_cast<char16_t>(0x0410 + (b - 0xC0));
    return kCyrillicHigh[b - 0x80];
}

char unit_to_byte_1251(char16_t u)
{
    if (u < 0x80)
        return static_cast<char>(u);
    if (u >= 0x0410 && u <= 0x044F)
        return static_cast<char>(0xC0 + (u - 0x0410));
    for (int i = 0; i < 64; ++i) {
        if (kCyrillicHigh[i] == u)
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

int multibyte_to_wide_1251(const char* src, int src_len, char16_t* dst, int dst_len)
{
    if (!arguments_fit(src, src_len, dst, dst_len))
        return 0;
    for (int i = 0; i < src_len; ++i)
        dst[i] = byte_to_unit_1251(static_cast<unsigned char>(src[i]));
    return src_len;
}

int wide_to_multibyte_1251(const char16_t* src, int src_len, char* dst, int dst_len)
{
    if (!arguments_fit(src, src_len, dst, dst_len))
        return 0;
    for (int i = 0; i < src_len; ++i)
        dst[i] = unit_to_byte_1251(src[i]);
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
