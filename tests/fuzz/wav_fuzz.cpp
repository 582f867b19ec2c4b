// libFuzzer target: the WAV reader over arbitrary bytes, then the source's window copied
// out at every destination width. Built only with QUILLO_FUZZ (clang); run by `make fuzz`.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vadu/filesystem.h"
#include "vadu/noise/data_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(data, data + size));
    const std::unique_ptr<vadu::noise::WavData> wav = vadu::noise::WavData::read_stream(stream);
    if (!wav->loaded || wav->block_align == 0)
        return 0;
    // The same walk the source makes: windows of up to 256 frames, each channel copied.
    const uint32_t frames = static_cast<uint32_t>(wav->samples.size() / wav->block_align);
    std::vector<uint8_t> out(256 * 4);
    for (uint32_t start = 0; start < frames && start < 4096; start += 256) {
        const uint32_t count = frames - start < 256 ? frames - start : 256;
        for (uint32_t channel = 0; channel < wav->channels && channel < 2; ++channel) {
            const char* source = wav->samples.data() + static_cast<size_t>(start) * wav->block_align +
                                 channel * wav->bytes_per_sample;
            for (uint32_t bytes = 1; bytes <= 4; ++bytes)
                vadu::noise::convert_samples(source, wav->block_align, wav->bits_per_sample, wav->bytes_per_sample,
                                             out.data(), bytes, bytes * 8, bytes, count);
        }
    }
    return 0;
}
