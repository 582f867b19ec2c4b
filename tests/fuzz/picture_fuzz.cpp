// libFuzzer target: every picture decoder over the same bytes, then the rows of what
// they decoded in two formats. Built only with QUILLO_FUZZ (clang); run by `make fuzz`.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "vadu/exception.h"
#include "vadu/log.h"
#include "vadu/pictureformat/decompressor_bmp.h"
#include "vadu/pictureformat/decompressor_gif.h"
#include "vadu/pictureformat/decompressor_jpeg.h"
#include "vadu/pictureformat/decompressor_png.h"
#include "vadu/pictureformat/decompressor_ppm.h"
#include "vadu/pictureformat/decompressor_pvr.h"

namespace {

using namespace vadu::pictureformat;

// Rows of a frame: the first ones, then past the end. Big pictures are not read whole
// so that the fuzzer keeps its pace; every row goes through the same code.
void read_rows(Decompressor& decoder, Format format, int32_t frame)
{
    decoder.reset(format, frame);
    const size_t row = static_cast<size_t>(decoder.get_width(frame)) * get_pixel_size(format);
    const int32_t height = decoder.get_height(frame);
    // Exactly one row, so that an overrun shows.
    std::vector<uint8_t> buffer(row);
    for (int32_t y = 0; y < height && y < 64; ++y)
        decoder.unpack(buffer.data());
    decoder.skip(height);
    decoder.unpack(buffer.data());
}

void exercise(Decompressor& decoder, Format format)
{
    const int32_t frames = decoder.get_frame_count();
    for (int32_t frame = 0; frame < frames && frame < 4; ++frame) {
        read_rows(decoder, format_bgra, frame);
        read_rows(decoder, format, frame);
    }
    try {
        decoder.reset(format, frames);
    } catch (const vadu::Gluck&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Decoders log why a picture is refused; the lines go nowhere here.
    vadu::logs::set_log(std::make_unique<vadu::logs::Stream>(nullptr));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Format format = static_cast<Format>(size % format_count);
    {
        DecompressorBmp decoder(data, size);
        exercise(decoder, format);
    }
    {
        DecompressorPPM decoder(data, size);
        exercise(decoder, format);
    }
    {
        DecompressorGif decoder(data, size);
        exercise(decoder, format);
    }
    {
        DecompressorJpeg decoder(data, size);
        exercise(decoder, format);
    }
    {
        DecompressorPng decoder(data, size);
        exercise(decoder, format);
    }
    {
        DecompressorPvr decoder(data, size);
        exercise(decoder, format);
    }
    return 0;
}
