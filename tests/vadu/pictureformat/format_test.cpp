#include "vadu/pictureformat/format.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using vadu::pictureformat::Format;
using Bytes = std::vector<uint8_t>;

// Source pixels as B, G, R, A.
const Bytes colour = {0x12, 0x34, 0x56, 0x78};
const Bytes opaque_black = {0, 0, 0, 255};
const Bytes transparent_grey = {0x80, 0x80, 0x80, 0};
const Bytes opaque_white = {255, 255, 255, 255};

struct ConvertCase {
    Format format;
    Bytes source;
    Bytes expected;
};

TEST(ConvertRow, WritesEachFormatsLayout)
{
    const ConvertCase cases[] = {
        {vadu::pictureformat::format_bgra, colour, {0x12, 0x34, 0x56, 0x78}},
        {vadu::pictureformat::format_rgba, colour, {0x56, 0x34, 0x12, 0x78}},
        {vadu::pictureformat::format_bgr, colour, {0x12, 0x34, 0x56}},
        {vadu::pictureformat::format_rgb, colour, {0x56, 0x34, 0x12}},
        // Colour key: transparent is all zero, so opaque black moves to 0, 0, 1.
        {vadu::pictureformat::format_bgr_key, colour, {0x12, 0x34, 0x56}},
        {vadu::pictureformat::format_bgr_key, opaque_black, {0, 0, 1}},
        {vadu::pictureformat::format_bgr_key, transparent_grey, {0, 0, 0}},
        // 0x56 >> 3 = 10, 0x34 >> 2 = 13, 0x12 >> 3 = 2: 0x51A2.
        {vadu::pictureformat::format_r5g6b5, colour, {0xA2, 0x51}},
        {vadu::pictureformat::format_r5g6b5, opaque_white, {0xFF, 0xFF}},
        // 10 << 10 | 6 << 5 | 2, with the top bit set for a visible pixel.
        {vadu::pictureformat::format_a1r5g5b5, colour, {0xC2, 0xA8}},
        {vadu::pictureformat::format_a1r5g5b5, transparent_grey, {0x10, 0x42}},
        {vadu::pictureformat::format_a1r5g5b5, opaque_white, {0xFF, 0xFF}},
        {vadu::pictureformat::format_a4r4g4b4, colour, {0x31, 0x75}},
        {vadu::pictureformat::format_a4r4g4b4, opaque_white, {0xFF, 0xFF}},
        {vadu::pictureformat::format_r5g6b5_key, colour, {0xA2, 0x51}},
        {vadu::pictureformat::format_r5g6b5_key, opaque_black, {0x01, 0x00}},
        {vadu::pictureformat::format_r5g6b5_key, transparent_grey, {0x00, 0x00}},
    };
    for (const ConvertCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << " from " << int(c.source[0]) << ","
                                        << int(c.source[1]) << "," << int(c.source[2]) << "," << int(c.source[3]));
        ASSERT_EQ(vadu::pictureformat::get_pixel_size(c.format), c.expected.size());
        Bytes out(c.expected.size(), 0xEE);
        vadu::pictureformat::convert_row(c.format, c.source.data(), out.data(), 1);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(ConvertRow, WritesExactlyCountPixels)
{
    Bytes source;
    for (int i = 0; i < 5; ++i)
        source.insert(source.end(), {uint8_t(i), uint8_t(i + 10), uint8_t(i + 20), 255});
    for (int32_t f = 0; f < vadu::pictureformat::format_count; ++f) {
        const Format format = static_cast<Format>(f);
        const size_t size = vadu::pictureformat::get_pixel_size(format);
        SCOPED_TRACE(testing::Message() << "format " << f);
        Bytes out(size * 5 + 4, 0xEE);
        vadu::pictureformat::convert_row(format, source.data(), out.data(), 4);
        // Pixel by pixel as single conversions, and nothing beyond the fourth.
        for (size_t i = 0; i < 4; ++i) {
            Bytes one(size);
            vadu::pictureformat::convert_row(format, source.data() + i * 4, one.data(), 1);
            EXPECT_EQ(Bytes(out.begin() + i * size, out.begin() + (i + 1) * size), one) << "pixel " << i;
        }
        for (size_t i = size * 4; i < out.size(); ++i)
            EXPECT_EQ(out[i], 0xEE) << "byte " << i;
    }
}

TEST(ConvertRow, IgnoresValuesThatAreNotFormats)
{
    for (int32_t value : {-1, 9, 1000}) {
        const Format format = static_cast<Format>(value);
        EXPECT_EQ(vadu::pictureformat::get_pixel_size(format), 0u);
        Bytes out(8, 0xEE);
        vadu::pictureformat::convert_row(format, colour.data(), out.data(), 1);
        EXPECT_EQ(out, Bytes(8, 0xEE));
    }
}

TEST(PictureFormat, AlphaBelongsToTheFormatsThatKeepTransparency)
{
    const bool expected[] = {true, true, false, true, false, false, true, true, true};
    for (int32_t f = 0; f < vadu::pictureformat::format_count; ++f)
        EXPECT_EQ(vadu::pictureformat::has_alpha(static_cast<Format>(f)), expected[f]) << "format " << f;
}

} // namespace
