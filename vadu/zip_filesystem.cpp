// The archive file system: members of a zip archive, read whole into memory.
//
// libzip reads the members. Before it opens the archive, the central directory is read
// here as well, for what libzip does not check: members whose data overlap (one
// compressed stream named by many records inflates once per record), and an archive
// behind a self-extractor stub whose offsets were never moved by the stub's length.

#include "vadu/filesystem.h"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "vadu/exception.h"
#include "vadu/threads.h"

namespace vadu::filesystem {

namespace {

// Nothing the engine loads comes near this; a directory that claims more is damaged or
// hostile, and inflating it would cost gigabytes.
constexpr uint64_t max_member_size = uint64_t(256) << 20;

std::string native(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

// One line in the engine log; without a log it is dropped.
void report(const std::string& archive, const std::string& text)
{
    try {
        logs::Stream& log = logs::log();
        threads::ScopedLock lock(log);
        log << "filesystem: archive \"" << archive.c_str() << "\": " << text.c_str() << "\n";
    } catch (const Gluck&) {
    }
}

// A member name as matched: "\" as "/", no leading "/" or "./".
std::string normalise(std::string_view name)
{
    std::string out(name);
    std::replace(out.begin(), out.end(), '\\', '/');
    size_t start = 0;
    for (;;) {
        if (out.compare(start, 1, "/") == 0)
            start += 1;
        else if (out.compare(start, 2, "./") == 0)
            start += 2;
        else
            break;
    }
    return out.substr(start);
}

uint16_t get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t get32(const uint8_t* p)
{
    return static_cast<uint32_t>(get16(p)) | static_cast<uint32_t>(get16(p + 2)) << 16;
}

uint64_t get64(const uint8_t* p)
{
    return static_cast<uint64_t>(get32(p)) | static_cast<uint64_t>(get32(p + 4)) << 32;
}

// A central directory record, as far as overlaps need it.
struct Record {
    std::string raw_name;
    uint64_t local_offset = 0;  // as stated, before any stub correction
    uint64_t compressed = 0;
};

struct Directory {
    uint64_t stub = 0;  // bytes in front of the archive that its offsets do not count
    std::vector<Record> records;
    bool read = false;  // false: the directory could not be made out
};

class Reader {
public:
    explicit Reader(std::FILE* file) : file_(file)
    {
        if (std::fseek(file_, 0, SEEK_END) == 0) {
            const long end = std::ftell(file_);
            size_ = end > 0 ? static_cast<uint64_t>(end) : 0;
        }
    }

    uint64_t size() const { return size_; }

    bool read(uint64_t offset, size_t count, std::vector<uint8_t>& out)
    {
        if (offset > size_ || count > size_ - offset)
            return false;
        out.resize(count);
        if (offset > static_cast<uint64_t>(std::numeric_limits<long>::max()) ||
            std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0)
            return false;
        return std::fread(out.data(), 1, count, file_) == count;
    }

    bool has_signature(uint64_t offset, const char* signature)
    {
        std::vector<uint8_t> bytes;
        return read(offset, 4, bytes) && std::memcmp(bytes.data(), signature, 4) == 0;
    }

private:
    std::FILE* file_;
    uint64_t size_ = 0;
};

// Finds the end records and walks the central directory. The directory is where the
// end record says, or, when the offsets leave out a stub in front, right before the
// end records (where unzip finds it too).
Directory read_directory(std::FILE* file)
{
    Directory directory;
    Reader reader(file);
    constexpr size_t end_size = 22;
    if (reader.size() < end_size)
        return directory;
    const uint64_t tail_start = reader.size() > 0xFFFF + end_size ? reader.size() - 0xFFFF - end_size : 0;
    std::vector<uint8_t> tail;
    if (!reader.read(tail_start, static_cast<size_t>(reader.size() - tail_start), tail))
        return directory;
    size_t found = tail.size();
    for (size_t i = tail.size() - end_size + 1; i-- > 0;) {
        if (std::memcmp(&tail[i], "PK\5\6", 4) == 0 && i + end_size + get16(&tail[i + 20]) <= tail.size()) {
            found = i;
            break;
        }
    }
    if (found == tail.size())
        return directory;
    const uint8_t* end = &tail[found];
    uint64_t end_offset = tail_start + found;  // where the directory's end records begin
    uint64_t count = get16(end + 10);
    uint64_t size = get32(end + 12);
    uint64_t offset = get32(end + 16);
    if (end_offset >= 20 && reader.has_signature(end_offset - 20, "PK\6\7")) {
        std::vector<uint8_t> locator;
        std::vector<uint8_t> record;
        if (!reader.read(end_offset - 20, 20, locator))
            return directory;
        // The 64-bit end record: where the locator says, else right before it.
        uint64_t at = get64(&locator[8]);
        if (!reader.has_signature(at, "PK\6\6") && end_offset >= 76)
            at = end_offset - 76;
        if (!reader.read(at, 56, record) || std::memcmp(record.data(), "PK\6\6", 4) != 0)
            return directory;
        count = get64(&record[32]);
        size = get64(&record[40]);
        offset = get64(&record[48]);
        end_offset = at;
    }
    if (size > end_offset)
        return directory;
    const uint64_t actual = end_offset - size;
    if (count > 0 && !reader.has_signature(offset, "PK\1\2") && actual > offset &&
        reader.has_signature(actual, "PK\1\2"))
        directory.stub = actual - offset;
    std::vector<uint8_t> bytes;
    if (!reader.read(offset + directory.stub, static_cast<size_t>(size), bytes))
        return directory;

    constexpr size_t record_size = 46;
    size_t at = 0;
    for (uint64_t n = 0; n < count; ++n) {
        if (bytes.size() - at < record_size || std::memcmp(&bytes[at], "PK\1\2", 4) != 0)
            return directory;
        const uint8_t* p = &bytes[at];
        const size_t name_length = get16(p + 28);
        const size_t extra_length = get16(p + 30);
        const size_t comment_length = get16(p + 32);
        if (bytes.size() - at - record_size < name_length + extra_length + comment_length)
            return directory;
        Record entry;
        entry.raw_name.assign(reinterpret_cast<const char*>(p + record_size), name_length);
        entry.compressed = get32(p + 20);
        uint64_t uncompressed = get32(p + 24);
        entry.local_offset = get32(p + 42);
        // The 64-bit extra field holds, in order, each value the record marks as too large.
        const uint8_t* extra = p + record_size + name_length;
        for (size_t e = 0; e + 4 <= extra_length;) {
            const uint16_t id = get16(extra + e);
            const size_t length = get16(extra + e + 2);
            if (e + 4 + length > extra_length)
                break;
            if (id == 1) {
                const uint8_t* field = extra + e + 4;
                const uint8_t* last = field + length;
                auto take = [&](uint64_t& value) {
                    if (value == 0xFFFFFFFFu && last - field >= 8) {
                        value = get64(field);
                        field += 8;
                    }
                };
                take(uncompressed);
                take(entry.compressed);
                take(entry.local_offset);
            }
            e += 4 + length;
        }
        directory.records.push_back(std::move(entry));
        at += record_size + name_length + extra_length + comment_length;
    }
    directory.read = true;
    return directory;
}

// Marks every record whose local header and data share bytes with another record's.
// A record spans at least its local header (30 bytes and the name) and its data.
std::vector<bool> find_overlaps(const std::vector<Record>& records)
{
    struct Span {
        uint64_t start;
        uint64_t end;
        size_t index;
    };
    std::vector<Span> spans;
    for (size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        const uint64_t length = 30 + r.raw_name.size();
        const uint64_t end = r.compressed > std::numeric_limits<uint64_t>::max() - length - r.local_offset
                                 ? std::numeric_limits<uint64_t>::max()
                                 : r.local_offset + length + r.compressed;
        spans.push_back({r.local_offset, end, i});
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.start < b.start; });
    std::vector<bool> overlapping(records.size(), false);
    uint64_t reach = 0;
    size_t reacher = 0;
    for (size_t i = 0; i < spans.size(); ++i) {
        if (i > 0 && spans[i].start < reach) {
            overlapping[spans[i].index] = true;
            overlapping[reacher] = true;
        }
        if (i == 0 || spans[i].end > reach) {
            reach = spans[i].end;
            reacher = spans[i].index;
        }
    }
    return overlapping;
}

// Whether the packed data can hold the stated size, which the buffer is sized from:
// stored data are the member itself, and deflate expands at most 1032 times.
bool holds_stated_size(const zip_stat_t& info)
{
    const zip_uint64_t needed = ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD;
    if ((info.valid & needed) != needed || info.encryption_method != ZIP_EM_NONE)
        return true;
    if (info.comp_method == ZIP_CM_STORE)
        return info.size == info.comp_size;
    if (info.comp_method == ZIP_CM_DEFLATE)
        return info.size <= info.comp_size * 1032 + 1024;
    return true;
}

// Reads the member whole into a buffer sized once from its stated size. A read that
// ends early (0 or -1) fails the member instead of looping; a last read past the end
// lets the library check the member's checksum.
bool read_member(zip_file_t* file, zip_uint64_t size, std::vector<uint8_t>& data)
{
    data.resize(static_cast<size_t>(size));
    zip_uint64_t fill = 0;
    while (fill < size) {
        const zip_int64_t got = zip_fread(file, data.data() + fill, size - fill);
        if (got <= 0)
            return false;
        fill += static_cast<zip_uint64_t>(got);
    }
    uint8_t beyond = 0;
    return zip_fread(file, &beyond, 1) == 0;
}

} // namespace

struct ZipFileSystem::Archive {
    zip_t* handle = nullptr;
    threads::Mutex mutex;
    std::string path;  // as given, for log lines

    struct Member {
        std::string name;  // as libzip gives it (UTF-8)
        bool overlapping = false;
        bool reported = false;  // its refusal is in the log already
    };
    std::vector<Member> members;  // by libzip index
    // Normalised names, exactly and case-folded; SIZE_MAX marks a folded name that
    // several members share (then only an exact match finds one of them).
    std::unordered_map<std::string, size_t> exact;
    std::unordered_map<std::string, size_t> folded;

    void open(const std::string& resolved);
    void index();
    // The member for a requested name; null when there is none.
    Member* find(const std::string& name, zip_uint64_t& index);
    void refuse(Member& member, const std::string& why)
    {
        if (!member.reported)
            report(path, "member \"" + member.name + "\" refused: " + why);
        member.reported = true;
    }
};

static_assert(ZIP_FL_UNCHANGED == 8);

void ZipFileSystem::Archive::open(const std::string& resolved)
{
    std::FILE* file = platform::open_file(resolved, "rb");
    if (file == nullptr)
        return;  // no archive: nothing to say, the folder serves alone
    const Directory directory = read_directory(file);
    std::fclose(file);

    zip_error_t error;
    zip_error_init(&error);
    if (directory.stub == 0) {
        int code = 0;
        handle = zip_open(resolved.c_str(), ZIP_RDONLY, &code);
        zip_error_init_with_code(&error, code);
    } else if (zip_source_t* source = zip_source_file_create(resolved.c_str(), directory.stub, -1, &error)) {
        // The archive read from past the stub, so that its own offsets are right.
        handle = zip_open_from_source(source, ZIP_RDONLY, &error);
        if (handle == nullptr)
            zip_source_free(source);
    }
    if (handle == nullptr) {
        report(path, std::string("refused: ") + zip_error_strerror(&error));
        zip_error_fini(&error);
        return;
    }
    zip_error_fini(&error);

    const zip_int64_t count = zip_get_num_entries(handle, ZIP_FL_UNCHANGED);
    bool matches = directory.read && count >= 0 && directory.records.size() == static_cast<uint64_t>(count);
    for (zip_int64_t i = 0; matches && i < count; ++i) {
        const char* raw = zip_get_name(handle, static_cast<zip_uint64_t>(i), ZIP_FL_UNCHANGED | ZIP_FL_ENC_RAW);
        matches = raw != nullptr && directory.records[static_cast<size_t>(i)].raw_name == raw;
    }
    if (!matches) {
        // Without the directory the members' extents are unknown, and so are overlaps.
        report(path, "refused: its central directory cannot be read");
        zip_discard(handle);
        handle = nullptr;
        return;
    }
    const std::vector<bool> overlapping = find_overlaps(directory.records);
    members.resize(static_cast<size_t>(count));
    for (zip_int64_t i = 0; i < count; ++i) {
        Member& member = members[static_cast<size_t>(i)];
        const char* name = zip_get_name(handle, static_cast<zip_uint64_t>(i), ZIP_FL_UNCHANGED);
        member.name = name != nullptr ? name : directory.records[static_cast<size_t>(i)].raw_name;
        member.overlapping = overlapping[static_cast<size_t>(i)];
    }
    index();
}

void ZipFileSystem::Archive::index()
{
    for (size_t i = 0; i < members.size(); ++i) {
        const std::string name = normalise(members[i].name);
        if (name.empty() || name.back() == '/')
            continue;  // folders hold no data
        exact.emplace(name, i);
        auto [slot, added] = folded.emplace(platform::fold_case_utf8(name), i);
        if (!added && slot->second != i)
            slot->second = SIZE_MAX;
    }
}

ZipFileSystem::Archive::Member* ZipFileSystem::Archive::find(const std::string& name, zip_uint64_t& index)
{
    const std::string wanted = normalise(name);
    auto found = exact.find(wanted);
    if (found == exact.end()) {
        found = folded.find(platform::fold_case_utf8(wanted));
        if (found == folded.end() || found->second == SIZE_MAX)
            return nullptr;
    }
    index = found->second;
    return &members[found->second];
}

ZipFileSystem::ZipFileSystem(const String& archive_path) : archive_(std::make_unique<Archive>())
{
    threads::ScopedLock lock(archive_->mutex);
    archive_->path = native(archive_path.get_text());
    archive_->open(platform::resolve_path(archive_->path));
}

ZipFileSystem::~ZipFileSystem()
{
    if (archive_->handle != nullptr)
        zip_discard(archive_->handle);
}

std::unique_ptr<Stream> ZipFileSystem::open(const String& path)
{
    if (archive_->handle == nullptr)
        return nullptr;
    threads::ScopedLock lock(archive_->mutex);
    zip_uint64_t index = 0;
    Archive::Member* member = archive_->find(native(path.get_text()), index);
    if (member == nullptr)
        return nullptr;
    if (member->overlapping) {
        archive_->refuse(*member, "its data overlap another member's");
        return nullptr;
    }
    zip_stat_t info;
    zip_stat_init(&info);
    if (zip_stat_index(archive_->handle, index, ZIP_FL_UNCHANGED, &info) != 0 || (info.valid & ZIP_STAT_SIZE) == 0) {
        archive_->refuse(*member, zip_strerror(archive_->handle));
        return nullptr;
    }
    if (info.size > max_member_size) {
        archive_->refuse(*member, "larger than 256 MiB (" + std::to_string(info.size) + " bytes)");
        return nullptr;
    }
    if (!holds_stated_size(info)) {
        archive_->refuse(*member, "damaged: it claims more bytes than its data can hold");
        return nullptr;
    }
    zip_file_t* file = zip_fopen_index(archive_->handle, index, ZIP_FL_UNCHANGED);
    if (file == nullptr) {
        archive_->refuse(*member, zip_strerror(archive_->handle));
        return nullptr;
    }
    std::vector<uint8_t> data;
    const bool whole = read_member(file, info.size, data);
    std::string why;
    if (!whole) {
        zip_error_t* error = zip_file_get_error(file);
        why = zip_error_code_zip(error) != ZIP_ER_OK ? zip_error_strerror(error) : "its data end early";
    }
    zip_fclose(file);
    if (!whole) {
        archive_->refuse(*member, "damaged: " + why);
        return nullptr;
    }
    return std::make_unique<MemoryStream>(std::move(data));
}

} // namespace vadu::filesystem
