#pragma once

// Helpers shared by the decoder tests.

#include <cstdio>
#include <memory>
#include <string>

#include "picture_samples.h"
#include "vadu/exception.h"
#include "vadu/log.h"
#include "vadu/pictureformat/decompressor.h"
#include "vadu/pictureformat/format.h"
#include "support/log_capture.h"

namespace samples {

using test_support::LogCapture;

// Every row of a frame as the decoder hands them out, one after the other.
inline Bytes unpack_all(vadu::pictureformat::Decompressor& decoder, vadu::pictureformat::Format format,
                        int32_t frame = 0)
{
    decoder.reset(format, frame);
    const size_t row = static_cast<size_t>(decoder.get_width(frame)) * vadu::pictureformat::get_pixel_size(format);
    const int32_t height = decoder.get_height(frame);
    Bytes out(row * static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y)
        decoder.unpack(out.data() + row * static_cast<size_t>(y));
    return out;
}

// The pixels of a picture in delivery order, converted into a format.
inline Bytes expected_rows(const Picture& picture, bool bottom_row_first, vadu::pictureformat::Format format)
{
    const Bytes canonical = bottom_row_first ? bottom_first(picture) : top_first(picture);
    const uint32_t count = static_cast<uint32_t>(picture.width) * static_cast<uint32_t>(picture.height);
    Bytes out(count * vadu::pictureformat::get_pixel_size(format));
    vadu::pictureformat::convert_row(format, canonical.data(), out.data(), count);
    return out;
}

inline std::string text_of(const vadu::BasicString<char>& text)
{
    return std::string(text.data(), text.size());
}

} // namespace samples
