#include "text/Error.h"

#include <ft2build.h>

#include <cstdio>
#include <string>

namespace TrueText {

namespace {

// FreeType's list of error texts, expanded from its own definitions file.
struct ErrorText {
    int code;
    const char* text;
};

#undef FTERRORS_H_
#undef __FTERRORS_H__
#define FT_ERRORDEF(e, v, s) {v, s},
#define FT_ERROR_START_LIST const ErrorText kErrorTexts[] = {
#define FT_ERROR_END_LIST };
#include FT_ERRORS_H

constexpr size_t kMaxMessage = 499;

std::u16string widen(std::string_view ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

std::string to_utf8(const std::u16string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace

Error::Error(std::u16string message) : message_(std::move(message)), utf8_(to_utf8(message_)) {}

Error::Error(std::string_view ascii) : Error(widen(ascii)) {}

std::u16string FreeTypeErrorMessage(int code)
{
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code == code)
            return widen(entry.text);
    }
    return u"Unknown error";
}

std::u16string FormatFreeTypeError(int code, std::string_view unit, int line)
{
    char head[32];
    std::snprintf(head, sizeof head, "FreeType error: 0x%02X - ", static_cast<unsigned>(code));
    std::u16string message = widen(head) + FreeTypeErrorMessage(code) + u" at src\\" + widen(unit) + u".cpp:" +
                             widen(std::to_string(line));
    if (message.size() > kMaxMessage)
        message.resize(kMaxMessage);
    return message;
}

void ThrowFreeTypeError(int code, std::string_view unit, int line)
{
    throw Error(FormatFreeTypeError(code, unit, line));
}

} // namespace TrueText
