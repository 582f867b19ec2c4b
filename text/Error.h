#pragma once

// The text library's one exception. Its message is UTF-16 (at most 499 characters);
// what() gives the same text in UTF-8, so a caller that only knows std::exception still
// reports it.

#include <exception>
#include <string>
#include <string_view>

namespace TrueText {

class Error : public std::exception {
public:
    explicit Error(std::u16string message);
    explicit Error(std::string_view ascii);

    const std::u16string& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    std::u16string message_;
    std::string utf8_;
};

// FreeType's own text for an error code, or "Unknown error" for a code it does not list.
std::u16string FreeTypeErrorMessage(int code);

// "FreeType error: 0x%02X - <text> at src\<unit>.cpp:<line>", cut at 499 characters.
std::u16string FormatFreeTypeError(int code, std::string_view unit, int line);

[[noreturn]] void ThrowFreeTypeError(int code, std::string_view unit, int line);

} // namespace TrueText
