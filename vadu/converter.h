#pragma once

#include <cstdint>

#include "vadu/atom.h"
#include "vadu/math.h"
#include "vadu/path.h"
#include "vadu/string.h"

namespace vadu::converter {

// Number parsers over [first, last). Leading blanks are skipped and an optional
// sign is read; parsing stops at the first character that does not belong to
// the number and the returned position lies one past that character (or at
// `last`), so numbers in a sequence are separated by exactly one character.
// Trailing text is not checked. Null means failure: *value is then 0 when no
// digit was found and untouched for an empty or blank text, a lone sign or a
// bad exponent.
//
// Integers accumulate in unsigned 32-bit (16-bit for parse_short) arithmetic
// and wrap on overflow without failing, as data files have always been read.
// Floats accumulate digit by digit in the result's own precision, with the
// fraction step 0.1 scaled in that precision too.
const char* parse_short(const char* first, const char* last, int16_t* value);
const char* parse_int(const char* first, const char* last, int32_t* value);
const char* parse_unsigned(const char* first, const char* last, uint32_t* value);
const char* parse_float(const char* first, const char* last, float* value);
const char* parse_double(const char* first, const char* last, double* value);
const char16_t* parse_int_w(const char16_t* first, const char16_t* last, int32_t* value);
const char16_t* parse_float_w(const char16_t* first, const char16_t* last, float* value);
const char16_t* parse_double_w(const char16_t* first, const char16_t* last, double* value);

// x to the power n by repeated squaring; a negative n gives 1 / x^-n.
double int_power(double x, int32_t n);

// Text to value. Each returns whether the whole conversion succeeded and
// writes *value only then; on failure *value is left as it was.
bool convert(const String& text, int32_t* value);
bool convert(const String& text, uint32_t* value);
bool convert(const WString& text, int32_t* value);
bool convert(const String& text, float* value);
bool convert(const String& text, double* value);
bool convert(const WString& text, float* value);
bool convert(const WString& text, double* value);
// Two numbers in a row; both must parse.
bool convert(const String& text, math::Vector2<float>* value);
// One of the words false, true, 0, 1, False, True, FALSE, TRUE; the whole text
// must be the word.
bool convert(const String& text, bool* value);
bool convert(const WString& text, bool* value);
// Interns the text; always succeeds.
bool convert(const String& text, Atom* value);
// Through the ANSI code page, then interned.
bool convert(const WString& text, Atom* value);
// Through the ANSI code page.
bool convert(const WString& text, String* value);
bool convert(const String& text, WString* value);
// Copies; always succeed.
bool convert(const String& text, String* value);
bool convert(const WString& text, WString* value);
// Replaces the path's text and normalises it with the path's own lower-case flag.
bool convert(const String& text, filesystem::String* value);
// The atom's name.
bool convert(const Atom& atom, String* value);

// A rectangle as four floats x, y, width, height into rect[0..3]. The first
// three must parse; a missing or unreadable fourth is 0.
bool to_rect(const String& text, float* rect);

// Decodes UTF-8 into UTF-16 and replaces *value. Invalid UTF-8 raises
// vadu::Gluck and leaves *value unchanged.
bool convert_utf8(const String& text, WString* value);

// Printers: zero-terminated text, "%d", "%u" and "%g" (floats widened to
// double). The narrow buffer must hold the longest such text (24 chars do).
// All return the number of characters written, without the terminator.
int print_int(char* buffer, int32_t value);
int print_unsigned(char* buffer, uint32_t value);
int print_float(char* buffer, float value);
int print_double(char* buffer, double value);

// Wide printers: the buffer must hold 56 characters.
constexpr int wide_print_capacity = 56;
int print_int_w(char16_t* buffer, int32_t value);
int print_double_w(char16_t* buffer, double value);

} // namespace vadu::converter
