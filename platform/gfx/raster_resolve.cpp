// The rasterizer's resolve: multisampled pictures averaged into one sample per pixel.

#include "platform/gfx/raster.h"

#include "platform/gfx/raster_draw.h"

#include <algorithm>

namespace platform::gfx::raster {

using namespace detail;

namespace {

struct ResolveJob {
    const ColorView* from;
    const ColorView* to;
};

// The average of n 32-bit samples, channel by channel, rounded.
template <uint32_t N>
uint32_t average_words(const uint8_t* p)
{
    uint64_t sum = 0;
    for (uint32_t i = 0; i < N; ++i) {
        uint32_t word;
        std::memcpy(&word, p + 4 * i, 4);
        // Channels in 16-bit lanes: B, R, G, A.
        sum += (word & 0x00FF00FFu) | (static_cast<uint64_t>(word & 0xFF00FF00u) << 24);
    }
    constexpr int shift = N == 4 ? 2 : 1;
    sum = ((sum + (N / 2) * 0x0001000100010001ull) >> shift) & 0x00FF00FF00FF00FFull;
    return static_cast<uint32_t>(sum & 0x00FF00FFu) | static_cast<uint32_t>((sum >> 24) & 0xFF00FF00u);
}

void resolve_rows(const ColorView& from, const ColorView& to, uint32_t y0, uint32_t y1)
{
    const uint32_t samples = from.samples;
    const uint32_t bytes = bytes_per_pixel(from.format);
    for (uint32_t y = y0; y < y1; ++y) {
        const uint8_t* in = from.pixels + static_cast<ptrdiff_t>(y) * from.pitch;
        uint8_t* out = to.pixels + static_cast<ptrdiff_t>(y) * to.pitch;
        if (bytes == 4 && samples == 4) {
            for (uint32_t x = 0; x < from.width; ++x) {
                const uint32_t word = average_words<4>(in + 16 * x);
                std::memcpy(out + 4 * x, &word, 4);
            }
        } else if (bytes == 4 && samples == 2) {
            for (uint32_t x = 0; x < from.width; ++x) {
                const uint32_t word = average_words<2>(in + 8 * x);
                std::memcpy(out + 4 * x, &word, 4);
            }
        } else {
            for (uint32_t x = 0; x < from.width; ++x) {
                uint32_t sums[4] = {};
                for (uint32_t i = 0; i < samples; ++i) {
                    const uint32_t argb = decode_color(from.format, in + (size_t{x} * samples + i) * bytes);
                    for (int c = 0; c < 4; ++c)
                        sums[c] += (argb >> (8 * c)) & 0xFFu;
                }
                uint32_t argb = 0;
                for (int c = 0; c < 4; ++c)
                    argb |= ((sums[c] + samples / 2) / samples) << (8 * c);
                encode_color(from.format, argb, out + size_t{x} * bytes);
            }
        }
    }
}

void resolve_strip(void* context, uint32_t y0, uint32_t y1)
{
    const ResolveJob& job = *static_cast<const ResolveJob*>(context);
    resolve_rows(*job.from, *job.to, y0, y1);
}

} // namespace

bool resolve(const ColorView& from, const ColorView& to)
{
    const uint32_t bytes = bytes_per_pixel(from.format);
    if (from.pixels == nullptr || to.pixels == nullptr || !is_color_format(from.format) || to.format != from.format
        || !valid_samples(from.samples) || to.samples != 1 || from.width != to.width || from.height != to.height
        || std::abs(static_cast<int64_t>(from.pitch)) < int64_t{from.width} * from.samples * bytes
        || std::abs(static_cast<int64_t>(to.pitch)) < int64_t{to.width} * bytes)
        return false;
    flush();
    if (from.samples == 1) {
        for (uint32_t y = 0; y < from.height; ++y)
            std::memcpy(to.pixels + static_cast<ptrdiff_t>(y) * to.pitch,
                        from.pixels + static_cast<ptrdiff_t>(y) * from.pitch, size_t{from.width} * bytes);
        return true;
    }
    // Large pictures are shared out in strips of rows, as draws are.
    if (RenderPool::instance().threads() <= 1 || uint64_t{from.width} * from.height < 65536) {
        resolve_rows(from, to, 0, from.height);
        return true;
    }
    ResolveJob job{&from, &to};
    for_each_strip(from.height, 0, resolve_strip, &job);
    return true;
}

} // namespace platform::gfx::raster
