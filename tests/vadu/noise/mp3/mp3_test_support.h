#pragma once

// Decoding whole MP3 byte strings with our decoder and with the reference library.

#include <mpg123.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "vadu/filesystem.h"
#include "vadu/noise/mp3/frame_reader.h"
#include "vadu/noise/mp3/layer3.h"
#include "vadu/noise/mp3/synthesis.h"

namespace mp3_test {

struct Pcm {
    bool opened = false;
    int channels = 0;
    int rate = 0;
    std::vector<int16_t> samples;  // interleaved
    std::vector<size_t> frame_sizes; // samples each frame gave (ours only)
    std::array<uint32_t, 34> table_uses{};
};

inline std::string fixture_path(const std::string& name)
{
    return std::string(QUILLO_MP3_FIXTURES) + "/" + name + ".mp3";
}

inline std::vector<uint8_t> read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Frame by frame, as the data source drives the decoder: decode, then read the next header.
inline Pcm decode_ours(const std::vector<uint8_t>& bytes, size_t frame_limit = SIZE_MAX)
{
    using namespace vadu::noise::mp3;
    Pcm pcm;
    vadu::filesystem::MemoryStream stream(bytes);
    BitReader reader(&stream);
    Header header;
    if (!header.read(reader))
        return pcm;
    pcm.opened = true;
    pcm.channels = header.channels();
    pcm.rate = header.sample_rate();
    SynthesisFilter left(0);
    SynthesisFilter right(1);
    OutputBuffer out(pcm.channels);
    LayerIIIDecoder decoder(reader, header, &left, pcm.channels == 2 ? &right : nullptr);
    std::vector<int16_t> window(1152 * 2);
    for (size_t frame = 0; frame < frame_limit; ++frame) {
        out.start(window.data(), static_cast<uint32_t>(window.size()));
        decoder.decode_frame(out);
        pcm.samples.insert(pcm.samples.end(), window.begin(), window.begin() + out.written());
        pcm.frame_sizes.push_back(out.written());
        if (!header.read(reader))
            break;
    }
    std::copy(decoder.table_uses(), decoder.table_uses() + 34, pcm.table_uses.begin());
    return pcm;
}

// The reference: gapless trimming off, 16-bit output at the stream's own format.
inline Pcm decode_reference(const std::vector<uint8_t>& bytes)
{
    Pcm pcm;
    static const bool initialised = [] {
#if MPG123_API_VERSION < 46
        mpg123_init();
#endif
        return true;
    }();
    (void)initialised;
    int error = 0;
    mpg123_handle* handle = mpg123_new(nullptr, &error);
    if (handle == nullptr)
        return pcm;
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_param(handle, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
    mpg123_format_none(handle);
    for (long rate : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L})
        mpg123_format(handle, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    mpg123_open_feed(handle);
    mpg123_feed(handle, bytes.data(), bytes.size());
    for (;;) {
        off_t number;
        unsigned char* audio;
        size_t size;
        int result = mpg123_decode_frame(handle, &number, &audio, &size);
        if (result == MPG123_NEW_FORMAT) {
            long rate;
            int channels, encoding;
            mpg123_getformat(handle, &rate, &channels, &encoding);
            pcm.rate = static_cast<int>(rate);
            pcm.channels = channels;
            pcm.opened = true;
            continue;
        }
        if (result != MPG123_OK)
            break;
        const int16_t* samples = reinterpret_cast<const int16_t*>(audio);
        pcm.samples.insert(pcm.samples.end(), samples, samples + size / 2);
    }
    mpg123_delete(handle);
    return pcm;
}

} // namespace mp3_test
