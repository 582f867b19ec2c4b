#include "vadu/pictureformat/decompressor_gif.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "vadu/pictureformat/decoding.h"

namespace vadu::pictureformat {

namespace {

constexpr const char* decoder_name = "GIF";

struct Colour {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
};

using Palette = std::array<Colour, 256>;

uint8_t raise(uint8_t component)
{
    return component > 250 ? 255 : component;
}

// Reads a colour table of `entries` entries; false when the file ends inside it.
bool read_palette(const uint8_t* data, size_t size, size_t& position, uint32_t entries, Palette& palette)
{
    if (static_cast<size_t>(entries) * 3 > size - position)
        return false;
    palette = Palette{};
    for (uint32_t i = 0; i < entries; ++i) {
        const uint8_t* p = data + position + i * 3;
        palette[i] = Colour{raise(p[0]), raise(p[1]), raise(p[2])};
    }
    position += static_cast<size_t>(entries) * 3;
    return true;
}

// The bytes of a chain of data sub-blocks, one at a time.
class SubBlocks {
public:
    SubBlocks(const uint8_t* data, size_t size, size_t position) : data_(data), size_(size), position_(position) {}

    // The next byte, or -1 at the terminator or at the end of the file.
    int next()
    {
        if (left_ == 0) {
            if (ended_ || position_ >= size_) {
                ended_ = true;
                return -1;
            }
            left_ = data_[position_++];
            if (left_ == 0) {
                ended_ = true;
                return -1;
            }
        }
        if (position_ >= size_) {
            ended_ = true;
            left_ = 0;
            return -1;
        }
        --left_;
        return data_[position_++];
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_;
    size_t left_ = 0;
    bool ended_ = false;
};

// Codes of a variable width, least significant bit first.
class CodeReader {
public:
    explicit CodeReader(SubBlocks& blocks) : blocks_(blocks) {}

    // -1 when the data ends first.
    int32_t read(uint32_t width)
    {
        while (count_ < width) {
            const int byte = blocks_.next();
            if (byte < 0)
                return -1;
            bits_ |= static_cast<uint32_t>(byte) << count_;
            count_ += 8;
        }
        const int32_t code = static_cast<int32_t>(bits_ & ((1u << width) - 1));
        bits_ >>= width;
        count_ -= width;
        return code;
    }

private:
    SubBlocks& blocks_;
    uint32_t bits_ = 0;
    uint32_t count_ = 0;
};

} // namespace

DecompressorGif::DecompressorGif(const uint8_t* data, size_t size) : BufferDecompressor(format_bgr, true)
{
    if (!decode(data, size))
        clear();
}

bool DecompressorGif::decode(const uint8_t* data, size_t size)
{
    if (size < 13 || (std::memcmp(data, "GIF87a", 6) != 0 && std::memcmp(data, "GIF89a", 6) != 0)) {
        detail::report(decoder_name, "not a GIF picture");
        return false;
    }
    const uint32_t width = detail::read_u16(data + 6);
    const uint32_t height = detail::read_u16(data + 8);
    const uint8_t flags = data[10];
    size_t position = 13;
    Palette palette{};
    if ((flags & 0x80) && !read_palette(data, size, position, 2u << (flags & 7), palette)) {
        detail::report(decoder_name, "file ends inside the colour table");
        return false;
    }

    // Extensions before the first image are skipped.
    for (;;) {
        if (position >= size) {
            detail::report(decoder_name, "file ends before the first image");
            return false;
        }
        const uint8_t introducer = data[position++];
        if (introducer == 0x2C)
            break;
        if (introducer != 0x21) {
            detail::report(decoder_name, "no image in the file");
            return false;
        }
        if (position >= size) {
            detail::report(decoder_name, "file ends inside an extension");
            return false;
        }
        ++position; // label
        for (;;) {
            if (position >= size) {
                detail::report(decoder_name, "file ends inside an extension");
                return false;
            }
            const size_t length = data[position++];
            if (length == 0)
                break;
            if (length > size - position) {
                detail::report(decoder_name, "file ends inside an extension");
                return false;
            }
            position += length;
        }
    }

    // The image descriptor: the image's place and size on the logical screen.
    if (size - position < 10) {
        detail::report(decoder_name, "file ends inside the image header");
        return false;
    }
    const uint32_t left = detail::read_u16(data + position);
    const uint32_t top = detail::read_u16(data + position + 2);
    const uint32_t image_width = detail::read_u16(data + position + 4);
    const uint32_t image_height = detail::read_u16(data + position + 6);
    const uint8_t image_flags = data[position + 8];
    const bool interlaced = (image_flags & 0x40) != 0;
    position += 9;
    if ((image_flags & 0x80) && !read_palette(data, size, position, 2u << (image_flags & 7), palette)) {
        detail::report(decoder_name, "file ends inside the colour table");
        return false;
    }
    if (position >= size) {
        detail::report(decoder_name, "file ends before the image data");
        return false;
    }
    const uint32_t minimum = data[position++];
    if (minimum < 1 || minimum > 8) {
        detail::report(decoder_name, "bad code size");
        return false;
    }
    // The image bounds the work: LZW data that repeats past it is never expanded.
    if (!detail::is_size_acceptable(image_width, image_height)) {
        detail::report(decoder_name, "image size refused");
        return false;
    }
    if (!allocate(width, height, decoder_name))
        return false;
    if (left + image_width > width || top + image_height > height)
        detail::report(decoder_name, "image larger than its logical screen, extra pixels dropped");

    // Stream row -> image row; interlaced images come in four passes.
    std::vector<uint32_t> image_row(image_height);
    {
        uint32_t stream_row = 0;
        const uint32_t starts[4] = {0, 4, 2, 1};
        const uint32_t steps[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < (interlaced ? 4 : 1); ++pass) {
            for (uint32_t y = interlaced ? starts[pass] : 0; y < image_height; y += interlaced ? steps[pass] : 1)
                image_row[stream_row++] = y;
        }
    }
    // Decoding stops after the last pixel that lands on the screen.
    const uint32_t shown_columns = left < width ? std::min(image_width, width - left) : 0;
    size_t limit = 0;
    if (shown_columns > 0) {
        for (uint32_t r = 0; r < image_height; ++r) {
            if (top + image_row[r] < height)
                limit = static_cast<size_t>(r) * image_width + shown_columns;
        }
    }

    const uint32_t clear_code = 1u << minimum;
    const uint32_t end_code = clear_code + 1;
    constexpr uint32_t table_size = 4096;
    std::vector<uint16_t> prefix(table_size);
    std::vector<uint8_t> suffix(table_size);
    std::vector<uint8_t> stack(table_size);
    for (uint32_t i = 0; i < clear_code; ++i)
        suffix[i] = static_cast<uint8_t>(i);

    size_t written = 0;
    uint32_t column = 0;
    uint32_t stream_row = 0;
    uint8_t* row = nullptr;  // the screen row of the current image row, null when off screen
    auto start_row = [&]() {
        const uint32_t y = top + image_row[stream_row];
        row = y < height ? row_pointer(y) + static_cast<size_t>(left) * 4 : nullptr;
    };
    if (limit > 0)
        start_row();
    auto put = [&](uint8_t index) {
        if (written >= limit)
            return;
        if (row != nullptr && column < shown_columns) {
            const Colour& c = palette[index];
            uint8_t* p = row + static_cast<size_t>(column) * 4;
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
            p[3] = 255;
        }
        ++written;
        if (++column == image_width) {
            column = 0;
            if (++stream_row < image_height)
                start_row();
        }
    };

    // Writes the string of a code, first byte first; returns that first byte.
    auto output = [&](uint32_t code) {
        size_t depth = 0;
        while (code >= clear_code) {
            stack[depth++] = suffix[code];
            code = prefix[code];
        }
        const uint8_t first = static_cast<uint8_t>(code);
        put(first);
        while (depth > 0)
            put(stack[--depth]);
        return first;
    };

    SubBlocks blocks(data, size, position);
    CodeReader reader(blocks);
    uint32_t code_width = minimum + 1;
    uint32_t next = clear_code + 2;
    int32_t previous = -1;
    while (written < limit) {
        const int32_t read = reader.read(code_width);
        if (read < 0) {
            // A file cut short before its last shown pixel: no half picture.
            detail::report(decoder_name, "image data truncated");
            return false;
        }
        const uint32_t code = static_cast<uint32_t>(read);
        if (code == clear_code) {
            code_width = minimum + 1;
            next = clear_code + 2;
            previous = -1;
            continue;
        }
        if (code == end_code)
            break;
        if (previous < 0) {
            if (code > clear_code) {
                detail::report(decoder_name, "damaged image data");
                return false;
            }
            output(code);
        } else if (code < next) {
            const uint8_t first = output(code);
            if (next < table_size) {
                prefix[next] = static_cast<uint16_t>(previous);
                suffix[next] = first;
                ++next;
            }
        } else if (code == next && next < table_size) {
            // The code being defined: the previous string plus its own first byte.
            uint32_t head = static_cast<uint32_t>(previous);
            while (head >= clear_code)
                head = prefix[head];
            prefix[next] = static_cast<uint16_t>(previous);
            suffix[next] = static_cast<uint8_t>(head);
            ++next;
            output(code);
        } else {
            detail::report(decoder_name, "damaged image data");
            return false;
        }
        if (next == (1u << code_width) && code_width < 12)
            ++code_width;
        previous = static_cast<int32_t>(code);
    }
    return true;
}

} // namespace vadu::pictureformat
