#pragma once

// Fixed tables of the MPEG audio layer III format, and the ones computed from formulas.

#include <cstdint>

namespace vadu::noise::mp3 {

// One Huffman code book as the format publishes it: codes and lengths in x-major order
// (x * width + y), or (v, w, x, y) bits for the quadruple books.
struct HuffmanCodeBook {
    int width;               // values per row; 0 for the quadruple books
    int count;               // number of codes
    const uint16_t* codes;
    const uint8_t* lengths;
};

// Books 1..15 by table number (0, 4 and 14 hold nothing), 16 and 24 for the linbits
// families, and the two quadruple books A and B.
const HuffmanCodeBook& big_value_book(int book);   // book 1..24
const HuffmanCodeBook& quad_book(int which);       // 0 = A, 1 = B

// Which published book and how many linbits each table select 0..31 uses (book 0 = none).
struct TableSelect {
    uint8_t book;
    uint8_t linbits;
};
extern const TableSelect table_selects[32];

// Scale-factor band edges by rate table index (0..2 MPEG-2 22.05/24/16 kHz,
// 3..5 MPEG-1 44.1/48/32 kHz).
extern const uint16_t long_band_edges[6][23];
extern const uint16_t short_band_edges[6][14];
extern const uint8_t pretab[22];

// The synthesis window of the standard, 512 coefficients.
const float* synthesis_window();

// Tables that follow from formulas, filled once at start-up.
struct ComputedTables {
    float pow43[8192];            // |q|^(4/3)
    float gain[256];              // 2^(0.25 * (g - 210))
    float scale[128];             // 2^(-m / 2)
    float window36[4][36];        // IMDCT windows of block types 0..3 (2 uses window12)
    float window12[12];
    float imdct36_even[9][9];     // 36-point IMDCT as an 18-point DCT-IV: DCT-III cosines
    float imdct36_odd[9][9];
    float imdct36_post[18];       // 1 / (2 cos((2n + 1) pi / 72))
    float imdct12[6][6];
    float cs[8], ca[8];           // alias butterflies
    float is_ratio_mpeg1[7][2];   // left, right factors for positions 0..6
    float is_ratio_mpeg2[2][32][2];  // by intensity scale and position
};
const ComputedTables& computed_tables();

} // namespace vadu::noise::mp3
