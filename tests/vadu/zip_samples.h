#pragma once

// Zip archives written byte by byte (deflate through zlib), so that tests and the fuzz
// seed writer can damage them exactly where they mean to. Shared by the archive tests
// and zip_seeds.

#include <cstdint>
#include <string>
#include <vector>

namespace zip_samples {

using Bytes = std::vector<uint8_t>;

struct Member {
    std::string name;  // UTF-8; flagged as such when it is not plain ASCII
    std::string data;
    bool stored = false;  // else deflated
};

struct Archive {
    Bytes bytes;
    std::vector<size_t> local;    // offset of each member's local header
    std::vector<size_t> central;  // offset of each member's central record
    size_t end = 0;               // offset of the end record
};

Archive make(const std::vector<Member>& members);

// Claims another uncompressed size for member i, in both of its headers.
void claim_size(Archive& archive, size_t member, uint32_t size);
// Points member i's central record at member j's local header and data.
void share_data(Archive& archive, size_t member, size_t with);
// The archive behind a stub of `length` bytes; with fix_offsets the offsets count the
// stub, as a careful self-extractor writes them, else they are left as they were.
Bytes behind_stub(const Archive& archive, size_t length, bool fix_offsets);

void write_file(const std::string& path, const Bytes& bytes);

} // namespace zip_samples
