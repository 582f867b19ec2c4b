#pragma once

// The byte streams player profiles are read from and written to: little-endian values,
// strings as a u32 byte count followed by the bytes.

#include <cstdint>
#include <vector>

#include "vadu/filesystem.h"
#include "vadu/path.h"
#include "vadu/string.h"

class ProfileStream {
public:
    virtual ~ProfileStream() = default;

    // Each returns how many bytes it wrote, read or skipped.
    virtual uint32_t write(const void* bytes, uint32_t count) = 0;
    virtual uint32_t read(void* bytes, uint32_t count) = 0;
    virtual uint32_t skip(uint32_t count) = 0;
    // Bytes left to read.
    virtual uint32_t left() = 0;

    void WriteU8(uint8_t value);
    void WriteI32(int32_t value);
    void WriteU32(uint32_t value);
    void WriteF32(float value);
    void WriteString(const vadu::String& text);

    // False when the stream ends first; the value is then left as it was.
    bool ReadU8(uint8_t& value);
    bool ReadI32(int32_t& value);
    bool ReadU32(uint32_t& value);
    bool ReadF32(float& value);
};

// An engine file opened for reading or for writing. Its size is taken once, at the
// opening: what is left is counted, not asked of the file for every value.
class ProfileFileStream : public ProfileStream {
public:
    ProfileFileStream(const vadu::filesystem::String& path, int mode);
    bool is_open() const { return file_.is_open(); }

    uint32_t write(const void* bytes, uint32_t count) override { return file_.write(bytes, count); }
    uint32_t read(void* bytes, uint32_t count) override;
    uint32_t skip(uint32_t count) override;
    uint32_t left() override { return size_ - position_; }

private:
    vadu::filesystem::File file_;
    uint32_t size_ = 0;
    uint32_t position_ = 0;
};

// A growing byte buffer with a read position: write appends; read and skip take at most
// what is left.
class ProfileMemoryStream : public ProfileStream {
public:
    ProfileMemoryStream() = default;
    explicit ProfileMemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    uint32_t write(const void* bytes, uint32_t count) override;
    uint32_t read(void* bytes, uint32_t count) override;
    uint32_t skip(uint32_t count) override;
    uint32_t left() override { return static_cast<uint32_t>(bytes_.size() - position_); }

    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    size_t position_ = 0;
};
