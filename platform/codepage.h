#pragma once

// The ANSI code page of the engine: Windows-1252, as a fixed table both ways; and
// Windows-1251, the Cyrillic code page, for the texts that are stored as its bytes.

namespace platform {

// Both conversions map one unit to one unit and return the number written; 0 means
// failure (null pointers, negative or zero lengths, or a target shorter than the
// source), in which case nothing is written. A wide unit with no 1252 byte becomes '?'
// and the call still succeeds. The five bytes 1252 leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) stand for the control code points of the same value, both ways.
int multibyte_to_wide(const char* src, int src_len, char16_t* dst, int dst_len);
int wide_to_multibyte(const char16_t* src, int src_len, char* dst, int dst_len);

// The same contract over Windows-1251: 0xC0-0xFF are U+0410-U+044F, 0x80-0xBF the
// Cyrillic letters of the other Slavic alphabets and the 1252 punctuation; the one byte
// 1251 leaves undefined (0x98) stands for U+0098, both ways.
int multibyte_to_wide_1251(const char* src, int src_len, char16_t* dst, int dst_len);
int wide_to_multibyte_1251(const char16_t* src, int src_len, char* dst, int dst_len);

// Lower-cases a zero-terminated text in place: ASCII letters and the 1252 capitals
// (0x8A, 0x8C, 0x8E, 0x9F, 0xC0-0xDE except 0xD7). A null text is left alone.
void char_lower(char* text);
char char_lower(char c);

} // namespace platform
