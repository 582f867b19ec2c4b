#include "vadu/pictureformat/format.h"

namespace vadu::pictureformat {

namespace {

void put_word(uint8_t* destination, uint32_t word)
{
    destination[0] = static_cast<uint8_t>(word);
    destination[1] = static_cast<uint8_t>(word >> 8);
}

uint32_t to_r5g6b5(const uint8_t* s)
{
    return (static_cast<uint32_t>(s[2] >> 3) << 11) | (static_cast<uint32_t>(s[1] >> 2) << 5) | (s[0] >> 3);
}

} // namespace

uint32_t get_pixel_size(Format format)
{
    switch (format) {
    case format_bgra:
    case format_rgba:
        return 4;
    case format_bgr:
    case format_bgr_key:
    case format_rgb:
        return 3;
    case format_r5g6b5:
    case format_a1r5g5b5:
    case format_a4r4g4b4:
    case format_r5g6b5_key:
        return 2;
    }
    return 0;
}

bool has_alpha(Format format)
{
    switch (format) {
    case format_bgra:
    case format_rgba:
    case format_bgr_key:
    case format_a1r5g5b5:
    case format_a4r4g4b4:
    case format_r5g6b5_key:
        return true;
    default:
        return false;
    }
}

void convert_row(Format format, const uint8_t* source, uint8_t* destination, uint32_t count)
{
    const uint8_t* s = source;
    uint8_t* d = destination;
    switch (format) {
    case format_bgra:
        for (uint32_t i = 0; i < count; ++i, s += 4, d += 4) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = s[3];
        }
        break;
    case format_rgba:
        for (uint32_t i = 0; i < count; ++i, s += 4, d += 4) {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = s[3];
        }
        break;
    case format_bgr:
        for (uint32_t i = 0; i < count; ++i, s += 4, d += 3) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
        break;
    case format_bgr_key:
        for (uint32_t i = 0; i < count; ++i, s += 4, d += 3) {
            if (s[3] == 0) {
                d[0] = d[1] = d[2] = 0;
            } else if (s[0] == 0 && s[1] == 0 && s[2] == 0) {
                d[0] = 0;
                d[1] = 0;
                d[2] = 1;
            } else {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            }
        }
        break;
    case format_rgb:
        for (uint32_t i = 0; i < count; ++i, s += 4, d += 3) {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
        }
        break;
    case format_r5g6b5:
        for (uint32_t i = 0; i < count; ++i, s += 4, d += 2)
            put_word(d, to_r5g6b5(s));
        break;
    case format_a1r5g5b5:
        for (uint32_t i = 0; i < count; ++i, s += 4, d += 2) {
            uint32_t word = (static_cast<uint32_t>(s[2] >> 3) << 10) | (static_cast<uint32_t>(s[1] >> 3) << 5) | (s[0] >> 3);
            // The top bit is the alpha bit: set means visible.
            if (s[3] != 0)
                word |= 0x8000;
            put_word(d, word);
        }
        break;
    case format_a4r4g4b4:
        for (uint32_t i = 0; i < count; ++i, s += 4, d += 2) {
            uint32_t word = (static_cast<uint32_t>(s[3] >> 4) << 12) | (static_cast<uint32_t>(s[2] >> 4) << 8) |
                            (static_cast<uint32_t>(s[1] >> 4) << 4) | (s[0] >> 4);
            put_word(d, word);
        }
        break;
    case format_r5g6b5_key:
        for (uint32_t i = 0; i < count; ++i, s += 4, d += 2) {
            uint32_t word = 0;
            if (s[3] != 0) {
                word = to_r5g6b5(s);
                if (word == 0)
                    word = 1;
            }
            put_word(d, word);
        }
        break;
    }
}

} // namespace vadu::pictureformat
