#pragma once

#include <cstddef>
#include <cstdint>

#include "vadu/pictureformat/decompressor.h"

namespace vadu::pictureformat {

// PNG pictures of every colour type and depth, decoded whole when built: palettes and
// grey become colour, transparency becomes alpha, 16-bit channels keep their high
// byte. Best format: format_bgra with alpha, else format_bgr. A damaged or truncated
// file leaves the decoder without frames and a "libpng error: ..." line in the log.
// Rows are handed out bottom row first.
class DecompressorPng : public BufferDecompressor {
public:
    DecompressorPng(const uint8_t* data, size_t size);

protected:
    const char* get_function_name() const override { return "vadu::pictureformat::DecompressorPng::reset"; }

private:
    bool decode(const uint8_t* data, size_t size);
};

} // namespace vadu::pictureformat
