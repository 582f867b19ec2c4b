#include "vadu/pictureformat/decompressor.h"

#include <algorithm>

#include "vadu/exception.h"
#include "vadu/log.h"
#include "vadu/pictureformat/decoding.h"

namespace vadu::pictureformat {

namespace detail {

bool is_size_acceptable(uint64_t width, uint64_t height)
{
    return width > 0 && height > 0 && width <= max_side && height <= max_side && width * height <= max_area;
}

void report_line(const char* text)
{
    try {
        logs::log() << text;
    } catch (const Gluck&) {
        // No log: a picture that does not decode is still no reason to fail.
    }
}

void report(const char* decoder, const char* text)
{
    try {
        logs::Stream& log = logs::log();
        threads::ScopedLock lock(log);
        log << "pictureformat: " << decoder << ": " << text << "\n";
    } catch (const Gluck&) {
    }
}

} // namespace detail

Decompressor::~Decompressor() = default;

void RowDecompressor::reset(Format format, int32_t frame)
{
    if (get_pixel_size(format) == 0)
        throw Gluck(get_function_name(), "Unknown picture format");
    check_frame(frame);
    format_ = format;
    frame_ = frame;
    row_ = 0;
}

void RowDecompressor::unpack(uint8_t* destination)
{
    const int32_t width = get_width(frame_);
    if (width <= 0)
        return;
    const uint32_t count = static_cast<uint32_t>(width);
    if (row_ >= get_height(frame_)) {
        std::fill_n(destination, static_cast<size_t>(count) * get_pixel_size(format_), uint8_t(0));
        return;
    }
    if (format_ == format_bgra) {
        read_row(frame_, row_, destination);
    } else {
        scratch_.resize(static_cast<size_t>(count) * 4);
        read_row(frame_, row_, scratch_.data());
        convert_row(format_, scratch_.data(), destination, count);
    }
    ++row_;
}

void RowDecompressor::skip(int32_t rows)
{
    if (rows <= 0)
        return;
    const int32_t height = get_height(frame_);
    row_ = rows >= height - row_ ? height : row_ + rows;
}

void BufferDecompressor::check_frame(int32_t frame) const
{
    if (frame != 0)
        throw Gluck(get_function_name(), "Frame is out of range");
}

void BufferDecompressor::read_row(int32_t, int32_t row, uint8_t* pixels) const
{
    const int32_t stored = bottom_first_ ? height_ - 1 - row : row;
    const uint8_t* source = pixels_.data() + static_cast<size_t>(stored) * width_ * 4;
    std::copy_n(source, static_cast<size_t>(width_) * 4, pixels);
}

bool BufferDecompressor::allocate(uint32_t width, uint32_t height, const char* decoder)
{
    clear();
    if (!detail::is_size_acceptable(width, height)) {
        detail::report(decoder, "picture size refused");
        return false;
    }
    const size_t count = static_cast<size_t>(width) * height;
    pixels_.resize(count * 4);
    for (size_t i = 0; i < count; ++i) {
        uint8_t* p = pixels_.data() + i * 4;
        p[0] = p[1] = p[2] = 0;
        p[3] = 255;
    }
    width_ = static_cast<int32_t>(width);
    height_ = static_cast<int32_t>(height);
    return true;
}

void BufferDecompressor::clear()
{
    pixels_.clear();
    pixels_.shrink_to_fit();
    width_ = 0;
    height_ = 0;
}

} // namespace vadu::pictureformat
