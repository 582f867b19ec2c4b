// Decodes one MP3 file in memory with our decoder and with libmpg123 (its default decoder),
// best of 5 runs each in CPU time, and prints both realtime factors and their ratio, then
// the summary line: ours against libmpg123 measured in the same run (target >= 0.5 x).
// Usage: mp3_bench [file.mp3]

#include <mpg123.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../support/figures.h"
#include "vadu/filesystem.h"
#include "vadu/noise/mp3/frame_reader.h"
#include "vadu/noise/mp3/layer3.h"
#include "vadu/noise/mp3/synthesis.h"

namespace {

// CPU time of this thread: on a shared machine, wall time mostly measures the neighbours.
double cpu_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Returns the sample frames decoded and the rate.
size_t decode_ours(const std::vector<uint8_t>& bytes, int& rate)
{
    using namespace vadu::noise::mp3;
    vadu::filesystem::MemoryStream stream(bytes);
    BitReader reader(&stream);
    Header header;
    if (!header.read(reader))
        return 0;
    rate = header.sample_rate();
    const int channels = header.channels();
    SynthesisFilter left(0), right(1);
    OutputBuffer out(channels);
    LayerIIIDecoder decoder(reader, header, &left, channels == 2 ? &right : nullptr);
    std::vector<int16_t> window(2304);
    size_t samples = 0;
    do {
        out.start(window.data(), static_cast<uint32_t>(window.size()));
        decoder.decode_frame(out);
        samples += out.written();
    } while (header.read(reader));
    return samples / channels;
}

size_t decode_reference(const std::vector<uint8_t>& bytes, int& rate)
{
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    if (handle == nullptr)
        return 0;
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_param(handle, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
    mpg123_open_feed(handle);
    mpg123_feed(handle, bytes.data(), bytes.size());
    size_t bytes_out = 0;
    int channels = 2;
    for (;;) {
        off_t number;
        unsigned char* audio;
        size_t size;
        int result = mpg123_decode_frame(handle, &number, &audio, &size);
        if (result == MPG123_NEW_FORMAT) {
            long r;
            int encoding;
            mpg123_getformat(handle, &r, &channels, &encoding);
            rate = static_cast<int>(r);
            continue;
        }
        if (result != MPG123_OK)
            break;
        bytes_out += size;
    }
    mpg123_delete(handle);
    return bytes_out / (2 * channels);
}

template <typename Decode>
double realtime(const std::vector<uint8_t>& bytes, Decode decode)
{
    int rate = 0;
    const double start = cpu_seconds();
    size_t frames = decode(bytes, rate);
    const double seconds = cpu_seconds() - start;
    return rate > 0 && seconds > 0 ? (double(frames) / rate) / seconds : 0.0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string path = argc > 1 ? argv[1] : MP3_BENCH_FILE;
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) {
        std::fprintf(stderr, "mp3_bench: cannot read %s\n", path.c_str());
        return 1;
    }
#if MPG123_API_VERSION < 46
    mpg123_init();
#endif
    // Best of 5 each, the runs alternating so that both meet the same machine load.
    double ours = 0.0, reference = 0.0;
    for (int run = 0; run < 5; ++run) {
        ours = std::max(ours, realtime(bytes, decode_ours));
        reference = std::max(reference, realtime(bytes, decode_reference));
    }
    std::printf("%s (%zu bytes)\n", path.c_str(), bytes.size());
    std::printf("ours:      %8.0fx realtime\n", ours);
    std::printf("libmpg123: %8.0fx realtime (its default decoder)\n", reference);
    const double ratio = reference > 0 ? ours / reference : 0.0;
    std::printf("ratio:     %8.2f (ours / libmpg123)\n", ratio);
    bench_support::print_figure("mp3 decoding, ours / libmpg123", ratio, "x", ">= 0.5 x", ratio >= 0.5);
    return ours > 0 && reference > 0 ? 0 : 1;
}
