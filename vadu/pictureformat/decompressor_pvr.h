#pragma once

#include <cstddef>
#include <cstdint>

#include "vadu/pictureformat/decompressor.h"

namespace vadu::pictureformat {

// PVRTC-compressed pictures behind the 52-byte PVR header (height at byte 4, width at
// byte 8, pixel type at byte 16, "PVR!" at byte 44, data from byte 52). Pixel types 13
// and 25 are 4 bits per pixel, 24 is 2 bits per pixel. Sides must be powers of two
// and the file must hold every block of the top level. Decoded whole when built;
// rows are handed out in stored order (top row first).
class DecompressorPvr : public BufferDecompressor {
public:
    static constexpr size_t header_size = 52;

    DecompressorPvr(const uint8_t* data, size_t size);

protected:
    const char* get_function_name() const override { return "vadu::pictureformat::DecompressorPvr::reset"; }

private:
    bool decode(const uint8_t* data, size_t size);
};

} // namespace vadu::pictureformat
