#include "sources/profile_stream.h"

#include <algorithm>
#include <cstring>

namespace {

// The file format is little-endian whatever the machine.
template <class T>
void put(ProfileStream& stream, T value)
{
    uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    if constexpr (std::endian::native == std::endian::big)
        std::reverse(bytes, bytes + sizeof(T));
    stream.write(bytes, sizeof(T));
}

template <class T>
bool get(ProfileStream& stream, T& value)
{
    uint8_t bytes[sizeof(T)];
    if (stream.left() < sizeof(T) || stream.read(bytes, sizeof(T)) != sizeof(T))
        return false;
    if constexpr (std::endian::native == std::endian::big)
        std::reverse(bytes, bytes + sizeof(T));
    std::memcpy(&value, bytes, sizeof(T));
    return true;
}

} // namespace

void ProfileStream::WriteU8(uint8_t value) { put(*this, value); }
void ProfileStream::WriteI32(int32_t value) { put(*this, value); }
void ProfileStream::WriteU32(uint32_t value) { put(*this, value); }
void ProfileStream::WriteF32(float value) { put(*this, value); }

void ProfileStream::WriteString(const vadu::String& text)
{
    WriteU32(static_cast<uint32_t>(text.size()));
    if (!text.empty())
        write(text.data(), static_cast<uint32_t>(text.size()));
}

bool ProfileStream::ReadU8(uint8_t& value) { return get(*this, value); }
bool ProfileStream::ReadI32(int32_t& value) { return get(*this, value); }
bool ProfileStream::ReadU32(uint32_t& value) { return get(*this, value); }
bool ProfileStream::ReadF32(float& value) { return get(*this, value); }

ProfileFileStream::ProfileFileStream(const vadu::filesystem::String& path, int mode)
{
    if (file_.open(path, mode) && mode == vadu::filesystem::File::read_mode)
        size_ = file_.get_size();
}

uint32_t ProfileFileStream::read(void* bytes, uint32_t count)
{
    const uint32_t got = file_.read(bytes, std::min(count, left()));
    position_ += got;
    return got;
}

uint32_t ProfileFileStream::skip(uint32_t count)
{
    const uint32_t moved = file_.skip(std::min(count, left()));
    position_ += moved;
    return moved;
}

uint32_t ProfileMemoryStream::write(const void* bytes, uint32_t count)
{
    const uint8_t* first = static_cast<const uint8_t*>(bytes);
    bytes_.insert(bytes_.end(), first, first + count);
    return count;
}

uint32_t ProfileMemoryStream::read(void* bytes, uint32_t count)
{
    const uint32_t taken = std::min(count, left());
    if (taken > 0)
        std::memcpy(bytes, bytes_.data() + position_, taken);
    position_ += taken;
    return taken;
}

uint32_t ProfileMemoryStream::skip(uint32_t count)
{
    const uint32_t taken = std::min(count, left());
    position_ += taken;
    return taken;
}
