#include "platform/sdl/translate.h"

#include "platform/codepage.h"
#include "platform/window.h"

#include <SDL_keycode.h>
#include <iterator>
#include <utf8.h>

namespace platform::sdl {
namespace {

struct KeyPair {
    SDL_Keycode keycode;
    int virtual_key;
};

// Every key that has a virtual-key code, besides the letters and digits (whose codes
// are their ASCII capitals). Read from the key code to the virtual key, the first
// entry of a key code wins; read the other way, the first entry of a virtual key is
// the key its messages and state come from. Left and right variants therefore come
// after the generic Shift, Ctrl and Alt entries.
constexpr KeyPair key_table[] = {
    {SDLK_BACKSPACE, 0x08},    {SDLK_TAB, 0x09},          {SDLK_CLEAR, 0x0C},        {SDLK_KP_CLEAR, 0x0C},
    {SDLK_RETURN, 0x0D},       {SDLK_KP_ENTER, 0x0D},     {SDLK_RETURN2, 0x0D},      {SDLK_LSHIFT, 0x10},
    {SDLK_RSHIFT, 0x10},       {SDLK_LCTRL, 0x11},        {SDLK_RCTRL, 0x11},        {SDLK_LALT, 0x12},
    {SDLK_RALT, 0x12},         {SDLK_PAUSE, 0x13},        {SDLK_CAPSLOCK, 0x14},     {SDLK_ESCAPE, 0x1B},
    {SDLK_SPACE, 0x20},        {SDLK_PAGEUP, 0x21},       {SDLK_PAGEDOWN, 0x22},     {SDLK_END, 0x23},
    {SDLK_HOME, 0x24},         {SDLK_LEFT, 0x25},         {SDLK_UP, 0x26},           {SDLK_RIGHT, 0x27},
    {SDLK_DOWN, 0x28},         {SDLK_SELECT, 0x29},       {SDLK_EXECUTE, 0x2B},      {SDLK_PRINTSCREEN, 0x2C},
    {SDLK_INSERT, 0x2D},       {SDLK_DELETE, 0x2E},       {SDLK_HELP, 0x2F},         {SDLK_LGUI, 0x5B},
    {SDLK_RGUI, 0x5C},         {SDLK_APPLICATION, 0x5D},  {SDLK_SLEEP, 0x5F},
    // Numeric keypad.
    {SDLK_KP_0, 0x60},         {SDLK_KP_1, 0x61},         {SDLK_KP_2, 0x62},         {SDLK_KP_3, 0x63},
    {SDLK_KP_4, 0x64},         {SDLK_KP_5, 0x65},         {SDLK_KP_6, 0x66},         {SDLK_KP_7, 0x67},
    {SDLK_KP_8, 0x68},         {SDLK_KP_9, 0x69},         {SDLK_KP_MULTIPLY, 0x6A},  {SDLK_KP_PLUS, 0x6B},
    {SDLK_SEPARATOR, 0x6C},    {SDLK_KP_MINUS, 0x6D},     {SDLK_KP_PERIOD, 0x6E},    {SDLK_KP_DECIMAL, 0x6E},
    {SDLK_KP_DIVIDE, 0x6F},
    // Function keys.
    {SDLK_F1, 0x70},           {SDLK_F2, 0x71},           {SDLK_F3, 0x72},           {SDLK_F4, 0x73},
    {SDLK_F5, 0x74},           {SDLK_F6, 0x75},           {SDLK_F7, 0x76},           {SDLK_F8, 0x77},
    {SDLK_F9, 0x78},           {SDLK_F10, 0x79},          {SDLK_F11, 0x7A},          {SDLK_F12, 0x7B},
    {SDLK_F13, 0x7C},          {SDLK_F14, 0x7D},          {SDLK_F15, 0x7E},          {SDLK_F16, 0x7F},
    {SDLK_F17, 0x80},          {SDLK_F18, 0x81},          {SDLK_F19, 0x82},          {SDLK_F20, 0x83},
    {SDLK_F21, 0x84},          {SDLK_F22, 0x85},          {SDLK_F23, 0x86},          {SDLK_F24, 0x87},
    {SDLK_NUMLOCKCLEAR, 0x90}, {SDLK_SCROLLLOCK, 0x91},
    // Left and right variants, reached only from the virtual key.
    {SDLK_LSHIFT, 0xA0},       {SDLK_RSHIFT, 0xA1},       {SDLK_LCTRL, 0xA2},        {SDLK_RCTRL, 0xA3},
    {SDLK_LALT, 0xA4},         {SDLK_RALT, 0xA5},
    // Browser, media and launch keys.
    {SDLK_AC_BACK, 0xA6},      {SDLK_AC_FORWARD, 0xA7},   {SDLK_AC_REFRESH, 0xA8},   {SDLK_AC_STOP, 0xA9},
    {SDLK_AC_SEARCH, 0xAA},    {SDLK_AC_BOOKMARKS, 0xAB}, {SDLK_AC_HOME, 0xAC},      {SDLK_AUDIOMUTE, 0xAD},
    {SDLK_MUTE, 0xAD},         {SDLK_VOLUMEDOWN, 0xAE},   {SDLK_VOLUMEUP, 0xAF},     {SDLK_AUDIONEXT, 0xB0},
    {SDLK_AUDIOPREV, 0xB1},    {SDLK_AUDIOSTOP, 0xB2},    {SDLK_AUDIOPLAY, 0xB3},    {SDLK_MAIL, 0xB4},
    {SDLK_MEDIASELECT, 0xB5},  {SDLK_COMPUTER, 0xB6},     {SDLK_CALCULATOR, 0xB7},
    // Punctuation ("OEM") keys, by the character they type on a US layout.
    {SDLK_SEMICOLON, 0xBA},    {SDLK_EQUALS, 0xBB},       {SDLK_COMMA, 0xBC},        {SDLK_MINUS, 0xBD},
    {SDLK_PERIOD, 0xBE},       {SDLK_SLASH, 0xBF},        {SDLK_BACKQUOTE, 0xC0},    {SDLK_LEFTBRACKET, 0xDB},
    {SDLK_BACKSLASH, 0xDC},    {SDLK_RIGHTBRACKET, 0xDD}, {SDLK_QUOTE, 0xDE},        {SDLK_LESS, 0xE2},
    {SDLK_CRSEL, 0xF7},        {SDLK_EXSEL, 0xF8},        {SDLK_CLEARAGAIN, 0xFE},
};

} // namespace

int virtual_key_from_keycode(int32_t keycode)
{
    if (keycode >= SDLK_a && keycode <= SDLK_z)
        return keycode - SDLK_a + 'A';
    if (keycode >= SDLK_0 && keycode <= SDLK_9)
        return keycode;
    for (const KeyPair& pair : key_table)
        if (pair.keycode == keycode)
            return pair.virtual_key;
    return 0;
}

int32_t keycode_from_virtual_key(int virtual_key)
{
    if (virtual_key >= 'A' && virtual_key <= 'Z')
        return SDLK_a + (virtual_key - 'A');
    if (virtual_key >= '0' && virtual_key <= '9')
        return virtual_key;
    for (const KeyPair& pair : key_table)
        if (pair.virtual_key == virtual_key)
            return pair.keycode;
    return 0;
}

int keycodes_from_virtual_key(int virtual_key, int32_t (&keycodes)[max_keys_per_virtual_key])
{
    int count = 0;
    if ((virtual_key >= 'A' && virtual_key <= 'Z') || (virtual_key >= '0' && virtual_key <= '9')) {
        keycodes[count++] = keycode_from_virtual_key(virtual_key);
        return count;
    }
    for (const KeyPair& pair : key_table) {
        if (pair.virtual_key == virtual_key && count < max_keys_per_virtual_key)
            keycodes[count++] = pair.keycode;
    }
    return count;
}

std::string utf8_to_ansi(std::string_view utf8)
{
    std::string out;
    const char* it = utf8.data();
    const char* const end = utf8.data() + utf8.size();
    while (it != end) {
        uint32_t code_point = 0;
        try {
            code_point = utf8::next(it, end);
        } catch (const utf8::exception&) {
            // One '?' per byte that starts no valid character.
            ++it;
            out += '?';
            continue;
        }
        char byte = '?';
        if (code_point <= 0xFFFF) {
            const char16_t unit = static_cast<char16_t>(code_point);
            wide_to_multibyte(&unit, 1, &byte, 1);
        }
        out += byte;
    }
    return out;
}

std::string ansi_to_utf8(std::string_view ansi)
{
    std::string out;
    for (const char byte : ansi) {
        char16_t unit = u'?';
        multibyte_to_wide(&byte, 1, &unit, 1);
        utf8::append(unit, std::back_inserter(out));
    }
    return out;
}

std::string utf16_to_utf8(const char16_t* text)
{
    std::string out;
    if (!text)
        return out;
    std::u16string units(text);
    // utfcpp refuses unpaired surrogates; they become the replacement character.
    for (size_t i = 0; i < units.size(); ++i) {
        if (utf8::internal::is_lead_surrogate(units[i]) && i + 1 < units.size() &&
            utf8::internal::is_trail_surrogate(units[i + 1]))
            ++i;
        else if (utf8::internal::is_surrogate(units[i]))
            units[i] = 0xFFFD;
    }
    utf8::utf16to8(units.begin(), units.end(), std::back_inserter(out));
    return out;
}

} // namespace platform::sdl
