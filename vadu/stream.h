#pragma once

#include <cstdint>

namespace vadu {

// A readable byte source, owned by whoever opened it.
class Stream {
public:
    virtual ~Stream() = default;
    // Copies up to count bytes; returns the number copied.
    virtual uint32_t read(void* buffer, uint32_t count) = 0;
    // Moves the read position forward; returns the distance moved.
    virtual uint32_t skip(uint32_t count) = 0;
    virtual bool is_good() = 0;
    // Total size in bytes.
    virtual uint32_t get_size() = 0;
    virtual uint32_t get_position() = 0;
    virtual void set_position(uint32_t position) = 0;
};

} // namespace vadu
