#include "platform/sdl/translate.h"

#include "platform/codepage.h"
#include "platform/window.h"

#include <SDL_keycode.h>

namespace platform::sdl {
namespace {

struct KeyPair {
    SDL_Keycode keycode;
    int virtual_key;
};

// Keys whose code is not simply the ASCII letter or digit. The first entry of a
// virtual key is the one its state is read through.
constexpr KeyPair key_table[] = {
    {SDLK_ESCAPE, vk::ESCAPE},    {SDLK_RETURN, vk::RETURN},     {SDLK_KP_ENTER, vk::RETURN},
    {SDLK_LEFT, vk::LEFT},        {SDLK_UP, vk::UP},             {SDLK_RIGHT, vk::RIGHT},
    {SDLK_DOWN, vk::DOWN},        {SDLK_SPACE, vk::SPACE},       {SDLK_DELETE, vk::DELETE_KEY},
    {SDLK_BACKSPACE, vk::BACK},   {SDLK_LSHIFT, vk::SHIFT},      {SDLK_RSHIFT, vk::SHIFT},
    {SDLK_LCTRL, vk::CONTROL},    {SDLK_RCTRL, vk::CONTROL},     {SDLK_KP_PLUS, vk::ADD},
    {SDLK_KP_MINUS, vk::SUBTRACT}, {SDLK_TAB, vk::TAB},
    {SDLK_F1, 112},  {SDLK_F2, 113},  {SDLK_F3, 114},  {SDLK_F4, 115},  {SDLK_F5, 116},  {SDLK_F6, 117},
    {SDLK_F7, 118},  {SDLK_F8, 119},  {SDLK_F9, 120},  {SDLK_F10, 121}, {SDLK_F11, 122}, {SDLK_F12, 123},
};

void append_utf8(std::string& out, uint32_t code_point)
{
    if (code_point < 0x80) {
        out += static_cast<char>(code_point);
    } else if (code_point < 0x800) {
        out += static_cast<char>(0xC0 | (code_point >> 6));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else if (code_point < 0x10000) {
        out += static_cast<char>(0xE0 | (code_point >> 12));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code_point >> 18));
        out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    }
}

// Decodes one code point at `pos`, advancing it; -1 for a malformed sequence (pos
// then moves past its first byte only).
int32_t decode_utf8(std::string_view text, size_t& pos)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    size_t extra;
    uint32_t code_point;
    uint32_t smallest;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, code_point = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, code_point = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, code_point = lead & 0x07, smallest = 0x10000;
    } else {
        ++pos;
        return -1;
    }
    if (pos + extra >= text.size()) {
        ++pos;
        return -1;
    }
    for (size_t i = 1; i <= extra; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return -1;
        }
        code_point = (code_point << 6) | (next & 0x3F);
    }
    if (code_point < smallest || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) {
        ++pos;
        return -1;
    }
    pos += extra + 1;
    return static_cast<int32_t>(code_point);
}

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

std::string utf8_to_ansi(std::string_view utf8)
{
    std::string out;
    size_t pos = 0;
    while (pos < utf8.size()) {
        const int32_t code_point = decode_utf8(utf8, pos);
        if (code_point < 0 || code_point > 0xFFFF) {
            out += '?';
            continue;
        }
        const char16_t unit = static_cast<char16_t>(code_point);
        char byte = '?';
        wide_to_multibyte(&unit, 1, &byte, 1);
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
        append_utf8(out, unit);
    }
    return out;
}

std::string utf16_to_utf8(const char16_t* text)
{
    std::string out;
    if (!text)
        return out;
    for (; *text; ++text) {
        uint32_t code_point = *text;
        if (code_point >= 0xD800 && code_point <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
            code_point = 0x10000 + ((code_point - 0xD800) << 10) + (text[1] - 0xDC00);
            ++text;
        } else if (code_point >= 0xD800 && code_point <= 0xDFFF) {
            code_point = 0xFFFD;
        }
        append_utf8(out, code_point);
    }
    return out;
}

} // namespace platform::sdl
