#pragma once

#include <cstddef>
#include <cstdint>

#include "vadu/pictureformat/decompressor.h"

namespace vadu::pictureformat {

// JPEG pictures (colour or grey), decoded whole when built. A damaged or truncated
// stream leaves the decoder without frames and libjpeg's message in the log. Rows
// are handed out bottom row first.
class DecompressorJpeg : public BufferDecompressor {
public:
    DecompressorJpeg(const uint8_t* data, size_t size);

protected:
    const char* get_function_name() const override { return "vadu::pictureformat::DecompressorJpeg::reset"; }

private:
    bool decode(const uint8_t* data, size_t size);
};

} // namespace vadu::pictureformat
