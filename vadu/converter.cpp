#include "vadu/converter.h"

#include <cctype>
#include <cstdio>
#include <cwctype>
#include <iterator>
#include <string_view>
#include <vector>

#include <utf8.h>

#include "vadu/exception.h"

namespace vadu::converter {

namespace {

bool is_blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool is_blank(char16_t c) { return std::iswspace(static_cast<wint_t>(c)) != 0; }

template <class Char>
bool is_digit(Char c) { return c >= Char('0') && c <= Char('9'); }

template <class Char>
unsigned digit_value(Char c) { return static_cast<unsigned>(c - Char('0')); }

// Steps shared by every number: blanks, then an optional sign. Returns the first
// character after them, or null when nothing but blanks (or a lone sign) is left.
template <class Char>
const Char* skip_blanks_and_sign(const Char* first, const Char* last, bool allow_minus, bool* negative)
{
    *negative = false;
    if (first == nullptr || first == last)
        return nullptr;
    while (first != last && is_blank(*first))
        ++first;
    if (first == last)
        return nullptr;
    if (*first == Char('+') || (allow_minus && *first == Char('-'))) {
        *negative = *first == Char('-');
        ++first;
        if (first == last)
            return nullptr;
    }
    return first;
}

// Accumulator is the unsigned type whose width the result has; overflow wraps.
template <class Accumulator, class Result, class Char>
const Char* parse_integer(const Char* first, const Char* last, Result* value, bool allow_minus)
{
    bool negative = false;
    const Char* p = skip_blanks_and_sign(first, last, allow_minus, &negative);
    if (p == nullptr)
        return nullptr;
    if (!is_digit(*p)) {
        *value = 0;
        return nullptr;
    }
    Accumulator accumulated = 0;
    while (p != last && is_digit(*p)) {
        accumulated = static_cast<Accumulator>(accumulated * 10u + digit_value(*p));
        ++p;
    }
    if (p != last)
        ++p;
    if (negative)
        accumulated = static_cast<Accumulator>(0u - accumulated);
    *value = static_cast<Result>(accumulated);
    return p;
}

template <class Real, class Char>
const Char* parse_real(const Char* first, const Char* last, Real* value)
{
    bool negative = false;
    const Char* p = skip_blanks_and_sign(first, last, true, &negative);
    if (p == nullptr)
        return nullptr;

    bool any_digit = false;
    Real accumulated = 0;
    while (p != last && is_digit(*p)) {
        accumulated = static_cast<Real>(digit_value(*p)) + accumulated * Real(10);
        any_digit = true;
        ++p;
    }

    bool ended_at_point = false;
    if (p != last && *p == Char('.')) {
        ++p;
        if (p == last) {
            ended_at_point = true;
        } else {
            Real factor = Real(0.1);
            while (p != last && is_digit(*p)) {
                accumulated += static_cast<Real>(digit_value(*p)) * factor;
                factor *= Real(0.1);
                any_digit = true;
                ++p;
            }
        }
    }

    if (!ended_at_point && p != last && (*p == Char('e') || *p == Char('E'))) {
        int32_t exponent = 0;
        p = parse_integer<uint32_t>(p + 1, last, &exponent, true);
        if (p == nullptr)
            return nullptr;
        accumulated *= static_cast<Real>(int_power(10.0, exponent));
    } else if (p != last) {
        ++p;
    }

    if (!any_digit) {
        *value = 0;
        return nullptr;
    }
    *value = negative ? -accumulated : accumulated;
    return p;
}

// Runs a parser over a whole text into a scratch value and commits it only on
// success, so a failed conversion leaves the caller's value alone.
template <class Char, class Value, class Parser>
bool convert_with(const BasicString<Char>& text, Value* value, Parser parser)
{
    Value parsed{};
    if (parser(text.data(), text.data_end(), &parsed) == nullptr)
        return false;
    *value = parsed;
    return true;
}

template <class Char>
struct BoolWord {
    std::basic_string_view<Char> text;
    bool value;
};

const BoolWord<char> narrow_bool_words[] = {
    {"false", false}, {"true", true}, {"0", false}, {"1", true},
    {"False", false}, {"True", true}, {"FALSE", false}, {"TRUE", true},
};

const BoolWord<char16_t> wide_bool_words[] = {
    {u"false", false}, {u"true", true}, {u"0", false}, {u"1", true},
    {u"False", false}, {u"True", true}, {u"FALSE", false}, {u"TRUE", true},
};

template <class Char, size_t N>
bool look_up_bool(const BasicString<Char>& text, const BoolWord<Char> (&words)[N], bool* value)
{
    const std::basic_string_view<Char> whole(text.data(), text.size());
    for (const BoolWord<Char>& word : words) {
        if (word.text == whole) {
            *value = word.value;
            return true;
        }
    }
    return false;
}

int widen(const char* narrow, int count, char16_t* buffer)
{
    for (int i = 0; i < count; ++i)
        buffer[i] = static_cast<char16_t>(static_cast<unsigned char>(narrow[i]));
    buffer[count] = u'\0';
    return count;
}

template <class Value>
int print_wide(char16_t* buffer, const char* pattern, Value value)
{
    char narrow[wide_print_capacity];
    int count = std::snprintf(narrow, sizeof narrow, pattern, value);
    if (count < 0)
        count = 0;
    if (count > wide_print_capacity - 1)
        count = wide_print_capacity - 1;
    return widen(narrow, count, buffer);
}

} // namespace

const char* parse_short(const char* first, const char* last, int16_t* value)
{
    return parse_integer<uint16_t>(first, last, value, true);
}

const char* parse_int(const char* first, const char* last, int32_t* value)
{
    return parse_integer<uint32_t>(first, last, value, true);
}

const char* parse_unsigned(const char* first, const char* last, uint32_t* value)
{
    return parse_integer<uint32_t>(first, last, value, false);
}

const char* parse_float(const char* first, const char* last, float* value)
{
    return parse_real(first, last, value);
}

const char* parse_double(const char* first, const char* last, double* value)
{
    return parse_real(first, last, value);
}

const char16_t* parse_int_w(const char16_t* first, const char16_t* last, int32_t* value)
{
    return parse_integer<uint32_t>(first, last, value, true);
}

const char16_t* parse_float_w(const char16_t* first, const char16_t* last, float* value)
{
    return parse_real(first, last, value);
}

const char16_t* parse_double_w(const char16_t* first, const char16_t* last, double* value)
{
    return parse_real(first, last, value);
}

double int_power(double x, int32_t n)
{
    // Unsigned magnitude: -n overflows for the most negative exponent.
    uint32_t remaining = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
    double result = 1.0;
    while (remaining != 0) {
        if (remaining & 1u)
            result *= x;
        remaining >>= 1;
        if (remaining != 0)
            x *= x;
    }
    return n < 0 ? 1.0 / result : result;
}

bool convert(const String& text, int32_t* value) { return convert_with(text, value, parse_int); }
bool convert(const String& text, uint32_t* value) { return convert_with(text, value, parse_unsigned); }
bool convert(const WString& text, int32_t* value) { return convert_with(text, value, parse_int_w); }
bool convert(const String& text, float* value) { return convert_with(text, value, parse_float); }
bool convert(const String& text, double* value) { return convert_with(text, value, parse_double); }
bool convert(const WString& text, float* value) { return convert_with(text, value, parse_float_w); }
bool convert(const WString& text, double* value) { return convert_with(text, value, parse_double_w); }

bool convert(const String& text, math::Vector2<float>* value)
{
    math::Vector2<float> parsed;
    const char* p = parse_float(text.data(), text.data_end(), &parsed.x);
    if (p == nullptr || parse_float(p, text.data_end(), &parsed.y) == nullptr)
        return false;
    *value = parsed;
    return true;
}

bool to_rect(const String& text, float* rect)
{
    float parsed[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    const char* p = text.data();
    for (int i = 0; i < 3; ++i) {
        p = parse_float(p, text.data_end(), &parsed[i]);
        if (p == nullptr)
            return false;
    }
    if (parse_float(p, text.data_end(), &parsed[3]) == nullptr)
        parsed[3] = 0.0f;
    for (int i = 0; i < 4; ++i)
        rect[i] = parsed[i];
    return true;
}

bool convert(const String& text, bool* value) { return look_up_bool(text, narrow_bool_words, value); }
bool convert(const WString& text, bool* value) { return look_up_bool(text, wide_bool_words, value); }

bool convert(const String& text, Atom* value)
{
    *value = Atom(text);
    return true;
}

bool convert(const WString& text, Atom* value)
{
    String narrow;
    if (!narrow.assign_from_wide(text.data(), text.data_end()))
        return false;
    *value = Atom(narrow);
    return true;
}

bool convert(const WString& text, String* value)
{
    String narrow;
    if (!narrow.assign_from_wide(text.data(), text.data_end()))
        return false;
    *value = narrow;
    return true;
}

bool convert(const String& text, WString* value)
{
    WString wide;
    if (!wide.append_narrow(text))
        return false;
    *value = wide;
    return true;
}

bool convert(const String& text, String* value)
{
    *value = text;
    return true;
}

bool convert(const WString& text, WString* value)
{
    *value = text;
    return true;
}

bool convert(const String& text, filesystem::String* value)
{
    *value = filesystem::String(text, value->is_lower_case());
    return true;
}

bool convert(const Atom& atom, String* value)
{
    *value = atom.get_name();
    return true;
}

bool convert_utf8(const String& text, WString* value)
{
    std::vector<char16_t> units;
    try {
        utf8::utf8to16(text.data(), text.data_end(), std::back_inserter(units));
    } catch (const utf8::exception&) {
        // Data files reach this; an engine exception lets the loaders report the
        // file instead of letting a foreign exception type through.
        throw Gluck("vadu::converter::convert_utf8", "Invalid UTF-8 text");
    }
    *value = units.empty() ? WString() : WString(units.data(), units.data() + units.size());
    return true;
}

int print_int(char* buffer, int32_t value) { return std::sprintf(buffer, "%d", value); }
int print_unsigned(char* buffer, uint32_t value) { return std::sprintf(buffer, "%u", value); }
int print_float(char* buffer, float value) { return std::sprintf(buffer, "%g", static_cast<double>(value)); }
int print_double(char* buffer, double value) { return std::sprintf(buffer, "%g", value); }

int print_int_w(char16_t* buffer, int32_t value) { return print_wide(buffer, "%d", value); }
int print_double_w(char16_t* buffer, double value) { return print_wide(buffer, "%g", value); }

} // namespace vadu::converter
