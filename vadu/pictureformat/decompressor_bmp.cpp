#include "vadu/pictureformat/decompressor_bmp.h"

#include <algorithm>

#include "vadu/exception.h"
#include "vadu/pictureformat/decoding.h"

namespace vadu::pictureformat {

namespace {

constexpr size_t header_size = 54;

// 5-bit channel to 8 bits, so that 31 gives 255.
uint8_t expand5(uint32_t value)
{
    return static_cast<uint8_t>((value << 3) | (value >> 2));
}

} // namespace

DecompressorBmp::DecompressorBmp(const uint8_t* data, size_t size) : data_(data)
{
    size_t offset = 0;
    while (frames_.size() < static_cast<size_t>(max_frames)) {
        const bool first = frames_.empty();
        const char* problem = nullptr;
        if (size - offset < header_size) {
            problem = "file too short for a header";
        } else {
            const uint8_t* header = data + offset;
            const uint32_t info_size = detail::read_u32(header + 14);
            const int32_t width = static_cast<int32_t>(detail::read_u32(header + 18));
            const int32_t height = static_cast<int32_t>(detail::read_u32(header + 22));
            const uint32_t bits = detail::read_u16(header + 28);
            const uint32_t compression = detail::read_u32(header + 30);
            // Writers may leave a gap (a colour table, padding) before the pixels. An
            // offset inside the header cannot be right: the pixels then follow it.
            const size_t data_offset = std::max<size_t>(detail::read_u32(header + 10), header_size);
            if (header[0] != 'B' || header[1] != 'M' || info_size != 40) {
                problem = "not a BMP picture with a 54-byte header";
            } else if (bits != 16 && bits != 24 && bits != 32) {
                problem = "only 16, 24 and 32 bits per pixel are read";
            } else if (compression != 0) {
                problem = "compressed pictures are not read";
            } else if (!first && bits != bits_) {
                problem = "bit depth differs from the first picture";
            } else if (width <= 0 || height <= 0 || !detail::is_size_acceptable(uint32_t(width), uint32_t(height))) {
                // Top-down pictures (negative height) are refused with the rest.
                problem = "picture size refused";
            } else {
                const size_t stride = ((static_cast<size_t>(width) * bits / 8) + 3) & ~size_t(3);
                const size_t bytes = stride * static_cast<size_t>(height);
                if (data_offset > size - offset || bytes > size - offset - data_offset) {
                    problem = "pixel data truncated";
                } else {
                    bits_ = bits;
                    frames_.push_back(Frame{offset + data_offset, stride, width, height});
                    offset += data_offset + bytes;
                }
            }
        }
        if (problem) {
            // Bytes after the last picture only end the list.
            if (first)
                detail::report("BMP", problem);
            break;
        }
        if (offset == size)
            break;
    }
}

int32_t DecompressorBmp::get_width(int32_t frame) const
{
    return frame >= 0 && frame < get_frame_count() ? frames_[static_cast<size_t>(frame)].width : 0;
}

int32_t DecompressorBmp::get_height(int32_t frame) const
{
    return frame >= 0 && frame < get_frame_count() ? frames_[static_cast<size_t>(frame)].height : 0;
}

void DecompressorBmp::check_frame(int32_t frame) const
{
    if (frame < 0 || frame >= get_frame_count())
        throw Gluck("vadu::pictureformat::DecompressorBmp::reset", "frame does not exist");
}

void DecompressorBmp::read_row(int32_t frame, int32_t row, uint8_t* pixels) const
{
    const Frame& f = frames_[static_cast<size_t>(frame)];
    const uint8_t* s = data_ + f.pixels + f.stride * static_cast<size_t>(row);
    uint8_t* d = pixels;
    for (int32_t x = 0; x < f.width; ++x, d += 4) {
        if (bits_ == 16) {
            const uint32_t word = detail::read_u16(s);
            d[0] = expand5(word & 31);
            d[1] = expand5((word >> 5) & 31);
            d[2] = expand5((word >> 10) & 31);
            d[3] = 255;
            s += 2;
        } else if (bits_ == 24) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = 255;
            s += 3;
        } else {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = s[3];
            s += 4;
        }
    }
}

} // namespace vadu::pictureformat
