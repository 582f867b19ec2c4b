#pragma once

#include <cstddef>
#include <cstdint>

#include "vadu/pictureformat/decompressor.h"

namespace vadu::pictureformat {

// The first image of a GIF87a / GIF89a file, decoded when built into a picture of the
// logical screen's size: the image is placed at its position (de-interlaced), the rest
// of the screen is opaque black and pixels beyond the screen are dropped. Decoding
// stops at the last pixel that lands on the screen, so LZW data that repeats past the
// image costs nothing. Extensions (and so transparency) are ignored; colour components
// above 250 become 255. Rows are handed out bottom row first.
class DecompressorGif : public BufferDecompressor {
public:
    DecompressorGif(const uint8_t* data, size_t size);

protected:
    const char* get_function_name() const override { return "vadu::pictureformat::DecompressorGif::reset"; }

private:
    bool decode(const uint8_t* data, size_t size);
};

} // namespace vadu::pictureformat
