// libFuzzer target: the MP3 frame reader and layer III decoder over any bytes, through a
// memory stream, driven as the data source drives them. Built only with QUILLO_FUZZ (clang);
// run by `make fuzz`.
//
// Only the first frames are decoded: a frame can reach back into at most the two before it
// (the bit reservoir holds 511 bytes), so later frames go through the same paths again and
// only slow the search down.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vadu/filesystem.h"
#include "vadu/noise/mp3/frame_reader.h"
#include "vadu/noise/mp3/layer3.h"
#include "vadu/noise/mp3/synthesis.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vadu::noise::mp3;
    vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(data, data + size));
    BitReader reader(&stream);
    Header header;
    if (!header.read(reader))
        return 0;
    // The encoder's frame count, read from the first frame as the data source reads it.
    (void)info_frame_count(header, reader);
    const int channels = header.channels();
    SynthesisFilter left(0), right(1);
    OutputBuffer out(channels);
    LayerIIIDecoder decoder(reader, header, &left, channels == 2 ? &right : nullptr);
    // A request smaller than a frame, so that the overflow store is used too.
    std::vector<int16_t> window(1000);
    constexpr int frames = 6;
    for (int frame = 0; frame < frames; ++frame) {
        out.start(window.data(), static_cast<uint32_t>(window.size()));
        if (out.full())
            continue;
        decoder.decode_frame(out);
        if (!header.read(reader))
            break;
    }
    return 0;
}
