#include "vadu/pictureformat/decompressor_pvr.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "vadu/pictureformat/decoding.h"

namespace vadu::pictureformat {

namespace {

constexpr const char* decoder_name = "PVR";

// A block colour with 5-bit red, green and blue and 4-bit alpha.
struct Colour {
    int32_t r, g, b, a;
};

int32_t expand4to5(uint32_t value)
{
    return static_cast<int32_t>((value << 1) | (value >> 3));
}

int32_t expand3to5(uint32_t value)
{
    return static_cast<int32_t>((value << 2) | (value >> 1));
}

// Colour A: the low half of the colour word, whose bit 0 is the mode flag.
Colour unpack_colour_a(uint32_t word)
{
    const uint32_t c = word & 0xFFFF;
    if (c & 0x8000)
        return Colour{int32_t((c >> 10) & 31), int32_t((c >> 5) & 31), expand4to5((c >> 1) & 15), 15};
    return Colour{expand4to5((c >> 8) & 15), expand4to5((c >> 4) & 15), expand3to5((c >> 1) & 7),
                  int32_t(((c >> 12) & 7) << 1)};
}

// Colour B: the high half of the colour word.
Colour unpack_colour_b(uint32_t word)
{
    const uint32_t c = word >> 16;
    if (c & 0x8000)
        return Colour{int32_t((c >> 10) & 31), int32_t((c >> 5) & 31), int32_t(c & 31), 15};
    return Colour{expand4to5((c >> 8) & 15), expand4to5((c >> 4) & 15), expand4to5(c & 15),
                  int32_t(((c >> 12) & 7) << 1)};
}

bool is_power_of_two(uint32_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

// Blocks are stored in Morton order, y taking the lower bit of each pair; past the
// smaller side the larger coordinate's remaining bits follow in order.
size_t twiddle(uint32_t x, uint32_t y, uint32_t columns, uint32_t rows)
{
    const uint32_t smaller = std::min(columns, rows);
    size_t index = 0;
    uint32_t shift = 0;
    for (uint32_t bit = 1; bit < smaller; bit <<= 1, ++shift) {
        if (y & bit)
            index |= size_t(1) << (2 * shift);
        if (x & bit)
            index |= size_t(1) << (2 * shift + 1);
    }
    const uint32_t rest = rows < columns ? x : y;
    return index | (static_cast<size_t>(rest >> shift) << (2 * shift));
}

// Modulation modes of a block.
enum Mode : uint8_t {
    mode_plain = 0,         // 4 bpp: weights 0, 3, 5, 8; 2 bpp: one bit per pixel
    mode_punch_through = 1, // 4 bpp: weights 0, 4, 4 (transparent), 8
    mode_average = 2,       // 2 bpp: missing pixels average all four neighbours
    mode_horizontal = 3,    // 2 bpp: ... their left and right neighbours
    mode_vertical = 4,      // 2 bpp: ... their upper and lower neighbours
};

constexpr int32_t plain_weights[4] = {0, 3, 5, 8};
constexpr int32_t punch_through_weights[4] = {0, 4, 4, 8};

class Image {
public:
    Image(const uint8_t* blocks, uint32_t columns, uint32_t rows, bool two_bits)
        : columns_(columns), rows_(rows), block_width_(two_bits ? 8 : 4), two_bits_(two_bits),
          full_width_(columns * block_width_), full_height_(rows * 4)
    {
        const size_t count = static_cast<size_t>(columns) * rows;
        colour_a_.resize(count);
        colour_b_.resize(count);
        modes_.resize(count);
        values_.assign(static_cast<size_t>(full_width_) * full_height_, 0);
        for (uint32_t by = 0; by < rows; ++by) {
            for (uint32_t bx = 0; bx < columns; ++bx) {
                const uint8_t* block = blocks + twiddle(bx, by, columns, rows) * 8;
                const size_t index = static_cast<size_t>(by) * columns + bx;
                const uint32_t colours = detail::read_u32(block + 4);
                colour_a_[index] = unpack_colour_a(colours);
                colour_b_[index] = unpack_colour_b(colours);
                read_modulation(bx, by, detail::read_u32(block), (colours & 1) != 0);
            }
        }
    }

    // Writes the decoded pixels as B, G, R, A; `width` pixels per row, `height` rows.
    void write(uint8_t* target, uint32_t width, uint32_t height) const
    {
        const int32_t half_width = int32_t(block_width_ / 2);
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                // The four blocks whose centres surround the pixel, and its place
                // between those centres.
                const int32_t fx = int32_t(x) - half_width + int32_t(full_width_);
                const int32_t fy = int32_t(y) - 2 + int32_t(full_height_);
                const uint32_t left = uint32_t(fx / int32_t(block_width_)) % columns_;
                const uint32_t top = uint32_t(fy / 4) % rows_;
                const uint32_t right = (left + 1) % columns_;
                const uint32_t bottom = (top + 1) % rows_;
                const int32_t u = fx % int32_t(block_width_);
                const int32_t v = fy % 4;
                const size_t p = static_cast<size_t>(top) * columns_ + left;
                const size_t q = static_cast<size_t>(top) * columns_ + right;
                const size_t r = static_cast<size_t>(bottom) * columns_ + left;
                const size_t s = static_cast<size_t>(bottom) * columns_ + right;
                int32_t a[4];
                int32_t b[4];
                blend(colour_a_[p], colour_a_[q], colour_a_[r], colour_a_[s], u, v, a);
                blend(colour_b_[p], colour_b_[q], colour_b_[r], colour_b_[s], u, v, b);

                bool transparent = false;
                const int32_t weight = modulation(x, y, transparent);
                uint8_t* out = target + (static_cast<size_t>(y) * width + x) * 4;
                // a and b hold red, green, blue, alpha; out is blue, green, red, alpha.
                out[2] = static_cast<uint8_t>((a[0] * (8 - weight) + b[0] * weight) / 8);
                out[1] = static_cast<uint8_t>((a[1] * (8 - weight) + b[1] * weight) / 8);
                out[0] = static_cast<uint8_t>((a[2] * (8 - weight) + b[2] * weight) / 8);
                out[3] = transparent ? 0 : static_cast<uint8_t>((a[3] * (8 - weight) + b[3] * weight) / 8);
            }
        }
    }

private:
    void read_modulation(uint32_t bx, uint32_t by, uint32_t bits, bool flag)
    {
        const size_t block = static_cast<size_t>(by) * columns_ + bx;
        const uint32_t x0 = bx * block_width_;
        const uint32_t y0 = by * 4;
        auto value = [&](uint32_t x, uint32_t y) -> uint8_t& {
            return values_[static_cast<size_t>(y0 + y) * full_width_ + x0 + x];
        };
        if (!two_bits_) {
            modes_[block] = flag ? mode_punch_through : mode_plain;
            for (uint32_t i = 0; i < 16; ++i)
                value(i % 4, i / 4) = static_cast<uint8_t>((bits >> (2 * i)) & 3);
            return;
        }
        if (!flag) {
            modes_[block] = mode_plain;
            for (uint32_t i = 0; i < 32; ++i)
                value(i % 8, i / 8) = (bits >> i) & 1 ? 3 : 0;
            return;
        }
        // Two bits for every other pixel, checkerboard-wise. The low bit of the first
        // pixel chooses averaging all neighbours (0) or a direction, which the low bit
        // of pixel (4, 2) gives (1: vertical). A low bit used so keeps no value of its
        // own: it repeats its pixel's high bit.
        if (bits & 1) {
            modes_[block] = (bits & (1u << 20)) ? mode_vertical : mode_horizontal;
            bits = (bits & ~(1u << 20)) | (((bits >> 21) & 1) << 20);
        } else {
            modes_[block] = mode_average;
        }
        bits = (bits & ~1u) | ((bits >> 1) & 1);
        for (uint32_t y = 0; y < 4; ++y) {
            for (uint32_t x = (y & 1); x < 8; x += 2) {
                value(x, y) = static_cast<uint8_t>(bits & 3);
                bits >>= 2;
            }
        }
    }

    // The mixing weight of B (0-8) for a pixel.
    int32_t modulation(uint32_t x, uint32_t y, bool& transparent) const
    {
        const size_t block = static_cast<size_t>(y / 4) * columns_ + x / block_width_;
        const uint8_t stored = values_[static_cast<size_t>(y) * full_width_ + x];
        const Mode mode = static_cast<Mode>(modes_[block]);
        if (mode == mode_plain)
            return plain_weights[stored];
        if (mode == mode_punch_through) {
            transparent = stored == 2;
            return punch_through_weights[stored];
        }
        if (((x ^ y) & 1) == 0)
            return plain_weights[stored];
        const uint32_t left = (x + full_width_ - 1) % full_width_;
        const uint32_t right = (x + 1) % full_width_;
        const uint32_t up = (y + full_height_ - 1) % full_height_;
        const uint32_t down = (y + 1) % full_height_;
        auto weight = [&](uint32_t px, uint32_t py) {
            return plain_weights[values_[static_cast<size_t>(py) * full_width_ + px]];
        };
        if (mode == mode_horizontal)
            return (weight(left, y) + weight(right, y) + 1) / 2;
        if (mode == mode_vertical)
            return (weight(x, up) + weight(x, down) + 1) / 2;
        return (weight(left, y) + weight(right, y) + weight(x, up) + weight(x, down) + 2) / 4;
    }

    // Bilinear mix of four block colours at (u, v) between their centres, widened to
    // 8 bits per channel (red, green, blue, alpha).
    void blend(const Colour& p, const Colour& q, const Colour& r, const Colour& s, int32_t u, int32_t v,
               int32_t out[4]) const
    {
        const int32_t w = int32_t(block_width_);
        const int32_t pw = (w - u) * (4 - v);
        const int32_t qw = u * (4 - v);
        const int32_t rw = (w - u) * v;
        const int32_t sw = u * v;
        const int32_t channels[4] = {p.r * pw + q.r * qw + r.r * rw + s.r * sw, p.g * pw + q.g * qw + r.g * rw + s.g * sw,
                                     p.b * pw + q.b * qw + r.b * rw + s.b * sw, p.a * pw + q.a * qw + r.a * rw + s.a * sw};
        // The sums carry 4 (4 bpp) or 5 (2 bpp) extra bits; bits are repeated so that
        // the largest value becomes 255.
        if (two_bits_) {
            for (int i = 0; i < 3; ++i)
                out[i] = (channels[i] >> 2) + (channels[i] >> 7);
            out[3] = (channels[3] >> 1) + (channels[3] >> 5);
        } else {
            for (int i = 0; i < 3; ++i)
                out[i] = (channels[i] >> 1) + (channels[i] >> 6);
            out[3] = channels[3] + (channels[3] >> 4);
        }
    }

    uint32_t columns_;
    uint32_t rows_;
    uint32_t block_width_;
    bool two_bits_;
    uint32_t full_width_;
    uint32_t full_height_;
    std::vector<Colour> colour_a_;
    std::vector<Colour> colour_b_;
    std::vector<uint8_t> modes_;
    std::vector<uint8_t> values_;  // 2-bit modulation value per pixel
};

} // namespace

DecompressorPvr::DecompressorPvr(const uint8_t* data, size_t size) : BufferDecompressor(format_bgra, false)
{
    if (!decode(data, size))
        clear();
}

bool DecompressorPvr::decode(const uint8_t* data, size_t size)
{
    if (size < header_size || std::memcmp(data + 44, "PVR!", 4) != 0) {
        detail::report(decoder_name, "not a PVR picture");
        return false;
    }
    const uint32_t height = detail::read_u32(data + 4);
    const uint32_t width = detail::read_u32(data + 8);
    const uint8_t type = data[16];
    if (type != 13 && type != 25 && type != 24) {
        detail::report(decoder_name, "only PVRTC 2 and 4 bits per pixel are read");
        return false;
    }
    if (!detail::is_size_acceptable(width, height) || !is_power_of_two(width) || !is_power_of_two(height)) {
        detail::report(decoder_name, "picture size refused");
        return false;
    }
    const bool two_bits = type == 24;
    const uint32_t columns = std::max(width / (two_bits ? 8u : 4u), 2u);
    const uint32_t rows = std::max(height / 4, 2u);
    const size_t bytes = static_cast<size_t>(columns) * rows * 8;
    if (bytes > size - header_size) {
        detail::report(decoder_name, "pixel data truncated");
        return false;
    }
    if (!allocate(width, height, decoder_name))
        return false;
    Image image(data + header_size, columns, rows, two_bits);
    image.write(row_pointer(0), width, height);
    return true;
}

} // namespace vadu::pictureformat
