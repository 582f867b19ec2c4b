#pragma once

#include <cstddef>
#include <cstdint>

#include "vadu/pictureformat/decompressor.h"

namespace vadu::pictureformat {

// The first image of a GIF87a / GIF89a file, decoded when built into a picture of the
// logical screen's size. Pixels are written in stream order from the top left corner,
// ignoring the image's own position, size and interlacing; pixels beyond the screen
// are dropped. Extensions (and so transparency) are ignored; colour components above
// 250 become 255. Rows are handed out bottom row first.
class DecompressorGif : public BufferDecompressor {
public:
    DecompressorGif(const uint8_t* data, size_t size);

protected:
    const char* get_function_name() const override { return "vadu::pictureformat::DecompressorGif::reset"; }

private:
    bool decode(const uint8_t* data, size_t size);
};

} // namespace vadu::pictureformat
