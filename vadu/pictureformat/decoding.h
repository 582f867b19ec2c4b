#pragma once

// Helpers shared by the decoders; not part of the public interface.

#include <cstddef>
#include <cstdint>

namespace vadu::pictureformat::detail {

// Largest accepted side and area: a damaged header must not make a decoder allocate
// gigabytes. The area covers a 4096 x 4096 texture.
inline constexpr uint32_t max_side = 32768;
inline constexpr uint64_t max_area = uint64_t(1) << 24;

bool is_size_acceptable(uint64_t width, uint64_t height);

// Writes one line to the engine log; without a log the line is dropped.
void report(const char* decoder, const char* text);
// The line is written exactly as given.
void report_line(const char* text);

inline uint32_t read_u16(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
}

inline uint32_t read_u32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace vadu::pictureformat::detail
