#pragma once

// What the SDL back end translates, kept apart from SDL itself so that it can be
// checked without a display.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::sdl {

// Virtual-key code of an SDL key code; 0 for keys the engine has no code for.
int virtual_key_from_keycode(int32_t keycode);
// SDL key code of a virtual-key code (the left key of Shift, Ctrl and Alt); 0 when none.
int32_t keycode_from_virtual_key(int virtual_key);
// Every SDL key code that stands for a virtual key (both Shift keys for Shift, both
// Enter keys for Return); returns how many were written.
constexpr int max_keys_per_virtual_key = 4;
int keycodes_from_virtual_key(int virtual_key, int32_t (&keycodes)[max_keys_per_virtual_key]);

// Text input (UTF-8) as 1252 bytes, one per character; characters that 1252 lacks
// and malformed sequences become '?'.
std::string utf8_to_ansi(std::string_view utf8);
// 1252 text as UTF-8.
std::string ansi_to_utf8(std::string_view ansi);
// Zero-terminated UTF-16 as UTF-8; unpaired surrogates become U+FFFD.
std::string utf16_to_utf8(const char16_t* text);

} // namespace platform::sdl
