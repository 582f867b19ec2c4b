#include "vadu/pictureformat/decompressor_ppm.h"

#include <algorithm>

#include "vadu/exception.h"
#include "vadu/pictureformat/decoding.h"

namespace vadu::pictureformat {

namespace {

bool is_space(uint8_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads the header fields of one picture.
class HeaderReader {
public:
    HeaderReader(const uint8_t* data, size_t size, size_t position) : data_(data), size_(size), position_(position) {}

    // Whitespace and comments; false when there is none before the next field.
    bool separator()
    {
        const size_t start = position_;
        while (position_ < size_) {
            if (is_space(data_[position_])) {
                ++position_;
            } else if (data_[position_] == '#') {
                while (position_ < size_ && data_[position_] != '\n' && data_[position_] != '\r')
                    ++position_;
            } else {
                break;
            }
        }
        return position_ > start;
    }

    // A decimal field of at most 9 digits.
    bool number(uint32_t& value)
    {
        value = 0;
        size_t digits = 0;
        while (position_ < size_ && data_[position_] >= '0' && data_[position_] <= '9') {
            if (++digits > 9)
                return false;
            value = value * 10 + (data_[position_] - '0');
            ++position_;
        }
        return digits > 0;
    }

    bool single_space()
    {
        if (position_ >= size_ || !is_space(data_[position_]))
            return false;
        ++position_;
        return true;
    }

    size_t position() const { return position_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_;
};

} // namespace

DecompressorPPM::DecompressorPPM(const uint8_t* data, size_t size) : data_(data)
{
    size_t offset = 0;
    while (frames_.size() < static_cast<size_t>(max_frames)) {
        const char* problem = nullptr;
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t max_value = 0;
        HeaderReader reader(data, size, offset + 2);
        if (size - offset < 2 || data[offset] != 'P' || data[offset + 1] != '6') {
            problem = "not a binary PPM picture";
        } else if (!reader.separator() || !reader.number(width) || !reader.separator() || !reader.number(height) ||
                   !reader.separator() || !reader.number(max_value) || !reader.single_space()) {
            problem = "damaged header";
        } else if (max_value == 0 || max_value > 255) {
            problem = "maximum value must be 1 to 255";
        } else if (!detail::is_size_acceptable(width, height)) {
            problem = "picture size refused";
        } else {
            const size_t start = reader.position();
            const size_t bytes = static_cast<size_t>(width) * height * 3;
            if (bytes > size - start) {
                problem = "pixel data truncated";
            } else {
                frames_.push_back(Frame{start, static_cast<int32_t>(width), static_cast<int32_t>(height), max_value});
                offset = start + bytes;
            }
        }
        if (problem) {
            // Bytes after the last picture only end the list.
            if (frames_.empty())
                detail::report("PPM", problem);
            break;
        }
        if (offset == size)
            break;
    }
}

int32_t DecompressorPPM::get_width(int32_t frame) const
{
    return frame >= 0 && frame < get_frame_count() ? frames_[static_cast<size_t>(frame)].width : 0;
}

int32_t DecompressorPPM::get_height(int32_t frame) const
{
    return frame >= 0 && frame < get_frame_count() ? frames_[static_cast<size_t>(frame)].height : 0;
}

void DecompressorPPM::check_frame(int32_t frame) const
{
    if (frame < 0 || frame >= get_frame_count())
        throw Gluck("vadu::pictureformat::DecompressorPPM::reset", "frame does not exist");
}

void DecompressorPPM::read_row(int32_t frame, int32_t row, uint8_t* pixels) const
{
    const Frame& f = frames_[static_cast<size_t>(frame)];
    const size_t stride = static_cast<size_t>(f.width) * 3;
    const uint8_t* s = data_ + f.pixels + stride * static_cast<size_t>(f.height - 1 - row);
    uint8_t* d = pixels;
    const uint32_t max = f.max_value;
    for (int32_t x = 0; x < f.width; ++x, s += 3, d += 4) {
        for (int c = 0; c < 3; ++c) {
            uint32_t value = s[2 - c];
            if (max != 255)
                value = (std::min(value, max) * 255 + max / 2) / max;
            d[c] = static_cast<uint8_t>(value);
        }
        d[3] = 255;
    }
}

} // namespace vadu::pictureformat
