#include "zip_samples.h"

#include <zlib.h>

#include <cstdio>
#include <stdexcept>

namespace zip_samples {

namespace {

void put16(Bytes& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void put32(Bytes& out, uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void set32(Bytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t get32(const Bytes& bytes, size_t at)
{
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

Bytes deflate_raw(const std::string& data)
{
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    Bytes out(deflateBound(&stream, data.size()) + 16);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate");
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

bool is_ascii(const std::string& text)
{
    for (unsigned char c : text) {
        if (c >= 0x80)
            return false;
    }
    return true;
}

} // namespace

Archive make(const std::vector<Member>& members)
{
    Archive archive;
    Bytes& out = archive.bytes;
    struct Written {
        uint32_t crc;
        uint32_t packed;
        uint16_t flags;
        uint16_t method;
    };
    std::vector<Written> written;
    for (const Member& m : members) {
        const Bytes packed = m.stored ? Bytes(m.data.begin(), m.data.end()) : deflate_raw(m.data);
        const Written w{static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(m.data.data()),
                                                    static_cast<uInt>(m.data.size()))),
                        static_cast<uint32_t>(packed.size()), static_cast<uint16_t>(is_ascii(m.name) ? 0 : 0x800),
                        static_cast<uint16_t>(m.stored ? 0 : 8)};
        archive.local.push_back(out.size());
        put32(out, 0x04034B50);
        put16(out, 20);
        put16(out, w.flags);
        put16(out, w.method);
        put32(out, 0);  // time and date
        put32(out, w.crc);
        put32(out, w.packed);
        put32(out, static_cast<uint32_t>(m.data.size()));
        put16(out, static_cast<uint32_t>(m.name.size()));
        put16(out, 0);
        out.insert(out.end(), m.name.begin(), m.name.end());
        out.insert(out.end(), packed.begin(), packed.end());
        written.push_back(w);
    }
    const size_t directory = out.size();
    for (size_t i = 0; i < members.size(); ++i) {
        const Member& m = members[i];
        const Written& w = written[i];
        archive.central.push_back(out.size());
        put32(out, 0x02014B50);
        put16(out, 20);
        put16(out, 20);
        put16(out, w.flags);
        put16(out, w.method);
        put32(out, 0);
        put32(out, w.crc);
        put32(out, w.packed);
        put32(out, static_cast<uint32_t>(m.data.size()));
        put16(out, static_cast<uint32_t>(m.name.size()));
        put16(out, 0);  // extra
        put16(out, 0);  // comment
        put16(out, 0);  // disk
        put16(out, 0);  // internal attributes
        put32(out, 0);  // external attributes
        put32(out, static_cast<uint32_t>(archive.local[i]));
        out.insert(out.end(), m.name.begin(), m.name.end());
    }
    archive.end = out.size();
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<uint32_t>(members.size()));
    put16(out, static_cast<uint32_t>(members.size()));
    put32(out, static_cast<uint32_t>(archive.end - directory));
    put32(out, static_cast<uint32_t>(directory));
    put16(out, 0);
    return archive;
}

void claim_size(Archive& archive, size_t member, uint32_t size)
{
    set32(archive.bytes, archive.central[member] + 24, size);
    set32(archive.bytes, archive.local[member] + 22, size);
}

void share_data(Archive& archive, size_t member, size_t with)
{
    set32(archive.bytes, archive.central[member] + 42, static_cast<uint32_t>(archive.local[with]));
}

Bytes behind_stub(const Archive& archive, size_t length, bool fix_offsets)
{
    Bytes out(length, 0);
    // Something like a program: a header and code-ish bytes, no zip signatures.
    for (size_t i = 0; i < length; ++i)
        out[i] = static_cast<uint8_t>(i < 2 ? "MZ"[i] : (i * 37 + 11) % 251);
    Bytes zip = archive.bytes;
    if (fix_offsets) {
        for (size_t at : archive.central)
            set32(zip, at + 42, get32(zip, at + 42) + static_cast<uint32_t>(length));
        set32(zip, archive.end + 16, get32(zip, archive.end + 16) + static_cast<uint32_t>(length));
    }
    out.insert(out.end(), zip.begin(), zip.end());
    return out;
}

void write_file(const std::string& path, const Bytes& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        throw std::runtime_error("cannot write " + path);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

} // namespace zip_samples
