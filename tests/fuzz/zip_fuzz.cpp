// libFuzzer target: the archive file system over any bytes. The bytes become an
// archive file; every member that libzip lists is opened by its name, in upper case
// and with a leading "./", and read whole, and a few names no archive lists are asked
// for. Built only with QUILLO_FUZZ (clang); run by `make fuzz`.

#include <zip.h>

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "vadu/filesystem.h"
#include "vadu/log.h"

namespace {

using vadu::filesystem::String;

std::string archive_path;

// At most this many members are opened per input, so that the fuzzer keeps its pace.
constexpr zip_int64_t max_members = 32;

void read_whole(vadu::filesystem::ZipFileSystem& archive, const std::string& name)
{
    std::unique_ptr<vadu::Stream> stream = archive.open(String(name.c_str(), false));
    if (!stream)
        return;
    std::vector<uint8_t> buffer(4096);
    while (stream->read(buffer.data(), static_cast<uint32_t>(buffer.size())) > 0) {
    }
    stream->set_position(stream->get_size() / 2);
    stream->skip(100);
}

std::vector<std::string> listed_names()
{
    std::vector<std::string> names;
    int error = 0;
    zip_t* archive = zip_open(archive_path.c_str(), ZIP_RDONLY, &error);
    if (archive == nullptr)
        return names;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count && i < max_members; ++i) {
        if (const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0))
            names.emplace_back(name);
    }
    zip_discard(archive);
    return names;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Refusals are logged; the lines go nowhere here.
    vadu::logs::set_log(std::make_unique<vadu::logs::Stream>(nullptr));
    archive_path = "/tmp/quillo-zip-fuzz-" + std::to_string(::getpid()) + ".pak";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        std::FILE* file = std::fopen(archive_path.c_str(), "wb");
        if (file == nullptr)
            return 0;
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    {
        vadu::filesystem::ZipFileSystem archive(String(archive_path.c_str(), false));
        for (const std::string& name : listed_names()) {
            read_whole(archive, name);
            std::string upper = name;
            for (char& c : upper)
                c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
            read_whole(archive, upper);
            read_whole(archive, "./" + name);
        }
        for (const char* name : {"", "/", "./", "data/a.txt", "DATA\\A.TXT", "\xC3"})
            read_whole(archive, name);
    }
    std::remove(archive_path.c_str());
    return 0;
}
