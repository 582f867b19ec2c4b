#include "vadu/pictureformat/decompressor_pvr.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "decoder_test_support.h"
#include "picture_samples.h"

namespace {

using namespace vadu::pictureformat;
using samples::Bytes;
using samples::PvrBlock;

using Pixel = std::array<int, 4>;  // B, G, R, A

// A decoded PVR picture, top row first.
class Decoded {
public:
    explicit Decoded(const Bytes& file) : decoder_(file.data(), file.size())
    {
        width_ = decoder_.get_width(0);
        rows_ = samples::unpack_all(decoder_, format_bgra);
    }
    int width() const { return width_; }
    Pixel at(int x, int y) const
    {
        const uint8_t* p = rows_.data() + (static_cast<size_t>(y) * width_ + x) * 4;
        return {p[0], p[1], p[2], p[3]};
    }
    // Blue of each pixel of a row (the tests use grey or a single channel).
    std::vector<int> blue_row(int y) const
    {
        std::vector<int> row;
        for (int x = 0; x < width_; ++x)
            row.push_back(at(x, y)[0]);
        return row;
    }
    std::vector<int> alpha_row(int y) const
    {
        std::vector<int> row;
        for (int x = 0; x < width_; ++x)
            row.push_back(at(x, y)[3]);
        return row;
    }

private:
    DecompressorPvr decoder_;
    int width_ = 0;
    Bytes rows_;
};

const uint32_t black_to_white = samples::pvr_opaque(0, 0, 0, 31, 31, 31);
const uint32_t black_to_white_flagged = samples::pvr_opaque(0, 0, 0, 31, 31, 31, true);
const uint32_t all_white = samples::pvr_opaque(31, 31, 15, 31, 31, 31);
const uint32_t all_black = samples::pvr_opaque(0, 0, 0, 0, 0, 0);

// 2 x 2 equal 4 x 4 blocks (an 8 x 8 picture).
Bytes four_bits_uniform(uint32_t modulation, uint32_t colours)
{
    return samples::pvr(8, 8, 25, std::vector<PvrBlock>(4, {modulation, colours}), 2, 2);
}

TEST(PvrDecoding, FourBitModulationWeights)
{
    // Every row's pixels take the values 0, 1, 2, 3: weights 0, 3, 5 and 8 of 8.
    const Decoded plain(four_bits_uniform(0xE4E4E4E4, black_to_white));
    EXPECT_EQ(plain.blue_row(0), (std::vector<int>{0, 95, 159, 255, 0, 95, 159, 255}));
    EXPECT_EQ(plain.at(1, 5), (Pixel{95, 95, 95, 255}));
    EXPECT_EQ(plain.alpha_row(7), std::vector<int>(8, 255));

    // With the mode flag: weights 0, 4, 4, 8, and value 2 is see-through.
    const Decoded punch(four_bits_uniform(0xE4E4E4E4, black_to_white_flagged));
    EXPECT_EQ(punch.blue_row(3), (std::vector<int>{0, 127, 127, 255, 0, 127, 127, 255}));
    EXPECT_EQ(punch.alpha_row(3), (std::vector<int>{255, 255, 0, 255, 255, 255, 0, 255}));
}

TEST(PvrDecoding, TranslucentColours)
{
    // A: alpha 5 of 3 bits, red 9, green 3 of 4 bits, blue 6 of 3 bits;
    // B: alpha 2, red 15, green 0, blue 8 of 4 bits.
    const uint32_t colours = 0x2F08593Cu;
    struct Case {
        uint32_t modulation;
        Pixel expected;
    };
    const Case cases[] = {
        {0x00000000, {222, 49, 156, 170}},   // colour A
        {0xFFFFFFFF, {140, 0, 255, 68}},     // colour B
        {0x55555555, {191, 30, 193, 131}},   // 5/8 A + 3/8 B
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.modulation);
        const Decoded picture(four_bits_uniform(c.modulation, colours));
        EXPECT_EQ(picture.at(0, 0), c.expected);
        EXPECT_EQ(picture.at(7, 6), c.expected);
    }
}

TEST(PvrDecoding, BlockColoursBlendBetweenBlockCentresAndWrap)
{
    // Only block (0, 0) is white; its centre is pixel (2, 2).
    const Decoded picture(samples::pvr(8, 8, 25, {{0, all_white}, {0, all_black}, {0, all_black}, {0, all_black}}, 2, 2));
    // Row 2 passes through the centres of blocks (0, 0) and (1, 0); pixel 0 lies half
    // way between the centre of block (1, 0) and, wrapped, that of block (0, 0).
    EXPECT_EQ(picture.blue_row(2), (std::vector<int>{127, 191, 255, 191, 127, 63, 0, 63}));
    // Column 2, downwards: row 0 half way from the wrapped row of blocks below.
    std::vector<int> column;
    for (int y = 0; y < 8; ++y)
        column.push_back(picture.at(2, y)[1]);
    EXPECT_EQ(column, (std::vector<int>{127, 191, 255, 191, 127, 63, 0, 63}));
    EXPECT_EQ(picture.at(0, 0), (Pixel{63, 63, 63, 255}));
}

TEST(PvrDecoding, BlocksAreStoredInMortonOrder)
{
    struct Case {
        const char* name;
        int width;
        int height;
        int blocks;
        size_t stored;  // the white block's place in the file
        int x;          // its place in the grid
        int y;
    };
    const Case cases[] = {
        {"wide, index 1", 16, 8, 8, 1, 0, 1},  {"wide, index 2", 16, 8, 8, 2, 1, 0},
        {"wide, index 4", 16, 8, 8, 4, 2, 0},  {"wide, index 7", 16, 8, 8, 7, 3, 1},
        {"square, index 6", 16, 16, 16, 6, 1, 2}, {"tall, index 5", 8, 32, 16, 5, 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<PvrBlock> stored(c.blocks, {0, all_black});
        stored[c.stored] = {0, all_white};
        const Decoded picture(samples::pvr_stored(c.width, c.height, 25, stored));
        ASSERT_EQ(picture.width(), c.width);
        for (int by = 0; by < c.height / 4; ++by) {
            for (int bx = 0; bx < c.width / 4; ++bx) {
                const int expected = bx == c.x && by == c.y ? 255 : 0;
                EXPECT_EQ(picture.at(bx * 4 + 2, by * 4 + 2)[2], expected) << "block " << bx << "," << by;
            }
        }
    }
}

// 2 x 2 equal 8 x 4 blocks (a 16 x 8 picture) at 2 bits per pixel.
Bytes two_bits_uniform(uint32_t modulation, uint32_t colours)
{
    return samples::pvr(16, 8, 24, std::vector<PvrBlock>(4, {modulation, colours}), 2, 2);
}

std::vector<int> twice(std::vector<int> row)
{
    row.insert(row.end(), row.begin(), row.end());
    return row;
}

TEST(PvrDecoding, TwoBitModulation)
{
    // Without the flag: one bit per pixel, weight 0 or 8.
    const Decoded direct(two_bits_uniform(0xAAAAAAAA, black_to_white));
    EXPECT_EQ(direct.blue_row(1), twice({0, 255, 0, 255, 0, 255, 0, 255}));

    // With the flag: two bits for the pixels where x + y is even, here 3 (weight 8)
    // left of x = 4 and 0 right of it; the others come from their neighbours.
    struct Case {
        const char* name;
        uint32_t modulation;
        std::vector<int> row0;
    };
    const Case cases[] = {
        // First pixel's low bit 0: all four neighbours (it keeps value 3 from its high bit).
        {"average", 0x0F0F0F0E, {255, 255, 255, 191, 0, 0, 0, 63}},
        // Low bit 1, pixel (4, 2)'s low bit 0: left and right.
        {"horizontal", 0x0F0F0F0F, {255, 255, 255, 127, 0, 0, 0, 127}},
        // Low bit 1, pixel (4, 2)'s low bit 1: above and below.
        {"vertical", 0x0F1F0F0F, {255, 255, 255, 255, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded picture(two_bits_uniform(c.modulation, black_to_white_flagged));
        EXPECT_EQ(picture.blue_row(0), twice(c.row0));
        // The flag pixels keep only their high bit: (0, 0) shows 3, (4, 2) shows 0.
        EXPECT_EQ(picture.at(0, 0)[0], 255);
        EXPECT_EQ(picture.at(4, 2)[0], 0);
        EXPECT_EQ(picture.alpha_row(0), std::vector<int>(16, 255));
    }
}

TEST(PvrDecoding, PicturesSmallerThanTwoBlocksUseTheirCorner)
{
    // A 2 x 2 picture still stores 2 x 2 blocks; only its top left pixels are shown.
    std::vector<PvrBlock> grid(4, {0xE4E4E4E4, black_to_white});
    const Decoded picture(samples::pvr(2, 2, 25, grid, 2, 2));
    ASSERT_EQ(picture.width(), 2);
    EXPECT_EQ(picture.blue_row(0), (std::vector<int>{0, 95}));
    EXPECT_EQ(picture.blue_row(1), (std::vector<int>{0, 95}));
}

} // namespace
