#include "platform/files.h"
#include "platform/memory_folder.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utf8.h>

namespace platform {

namespace {

// Simple (one to one) lower-casing of the scripts players' names are likeliest
// to use. Letters whose lower case is more than one code point (İ, ß's capital)
// are left alone: matching must never turn one name into two.
uint32_t fold_code_point(uint32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) // Latin-1 capitals, not the sign ×
        return c + 0x20;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        if (c == 0x178) // Ÿ pairs with ÿ in Latin-1
            return 0xFF;
        // Pairs start on an even code point, except in the two runs Ĺ..ň and Ź..ž.
        const bool odd_pairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        const bool upper = odd_pairs ? (c % 2 == 1) : (c % 2 == 0);
        return upper ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) // Greek capitals
        return c + 0x20;
    switch (c) {
    case 0x386: return 0x3AC;
    case 0x388: case 0x389: case 0x38A: return c + 0x25;
    case 0x38C: return 0x3CC;
    case 0x38E: case 0x38F: return c + 0x3F;
    case 0x3C2: return 0x3C3; // final sigma matches sigma
    default: break;
    }
    if (c >= 0x410 && c <= 0x42F) // Cyrillic capitals
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    return c;
}

bool equal_ignoring_case(const std::string& folded_name, const char* entry)
{
    return folded_name == fold_case_utf8(entry);
}

bool name_exists(const std::string& path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

// The single entry of `folder` equal to `name` ignoring case; "" when there is
// none or more than one (then nothing tells which one is meant).
std::string unique_case_match(const std::string& folder, const std::string& name)
{
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
        return {};
    const std::string folded = fold_case_utf8(name);
    std::string match;
    int matches = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (equal_ignoring_case(folded, entry->d_name)) {
            match = entry->d_name;
            ++matches;
        }
    }
    ::closedir(dir);
    return matches == 1 ? match : std::string();
}

bool is_folder_entry(const std::string& folder, const dirent* entry)
{
    if (entry->d_type == DT_DIR)
        return true;
    if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK)
        return false;
    std::string full = folder + "/" + entry->d_name;
    struct stat info;
    return ::stat(full.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::string fold_case_utf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    const char* it = text.data();
    const char* const end = text.data() + text.size();
    while (it != end) {
        // Valid stretches are folded; a stray byte is kept, so a name that is not
        // UTF-8 still matches itself.
        const char* bad = utf8::find_invalid(it, end);
        while (it != bad)
            utf8::unchecked::append(fold_code_point(utf8::unchecked::next(it)), std::back_inserter(out));
        if (it != end)
            out += *it++;
    }
    return out;
}

std::string resolve_path(const std::string& path)
{
    if (path.empty() || name_exists(path))
        return path;

    std::string result;
    size_t start = 0;
    if (path[0] == '/') {
        result = "/";
        start = 1;
    }
    bool resolving = true;
    while (true) {
        size_t end = path.find('/', start);
        std::string component = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (resolving && !component.empty() && component != "." && component != "..") {
            if (!name_exists(result + component)) {
                std::string match = unique_case_match(result, component);
                if (match.empty())
                    resolving = false;
                else
                    component = match;
            }
        }
        result += component;
        if (end == std::string::npos)
            break;
        result += '/';
        start = end + 1;
    }
    return result;
}

namespace {

MemoryFolder* memory_folder = nullptr;
// The folder's name folded once, for the prefix test every file call makes.
std::string memory_folder_folded;

} // namespace

void set_memory_folder(MemoryFolder* folder)
{
    memory_folder = folder;
    memory_folder_folded = folder ? fold_case_utf8(folder->folder) : std::string();
}

MemoryFolder* memory_folder_holding(const std::string& path)
{
    if (!memory_folder)
        return nullptr;
    const std::string& folder = memory_folder_folded;
    // Folding maps each code point to one of the same length, so only the prefix needs it.
    if (path.size() < folder.size())
        return nullptr;
    const std::string head = fold_case_utf8(std::string_view(path).substr(0, folder.size()));
    const bool below = head == folder && (path.size() == folder.size() || path[folder.size()] == '/');
    return below ? memory_folder : nullptr;
}

std::string memory_key(const std::string& path)
{
    return fold_case_utf8(path);
}

FILE* open_file(const std::string& path, const char* mode)
{
    if (MemoryFolder* memory = memory_folder_holding(path)) {
        const auto found = memory->files.find(memory_key(path));
        if (mode[0] != 'r' || found == memory->files.end()) {
            errno = mode[0] != 'r' ? EROFS : ENOENT;
            return nullptr;
        }
        // The stream reads the stored bytes in place; an empty file reads as one.
        if (found->second.empty())
            return std::fopen("/dev/null", "rb");
        return ::fmemopen(found->second.data(), found->second.size(), "rb");
    }
    FILE* file = std::fopen(resolve_path(path).c_str(), mode);
    if (file == nullptr)
        return nullptr;
    // The C runtime here opens a folder for reading; the engine expects that to fail.
    struct stat info;
    if (::fstat(::fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(file);
        errno = EISDIR;
        return nullptr;
    }
    return file;
}

bool create_directory(const std::string& path)
{
    return ::mkdir(resolve_path(path).c_str(), 0777) == 0;
}

bool is_directory(const std::string& path)
{
    struct stat info;
    return ::stat(resolve_path(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool delete_file(const std::string& path)
{
    std::string resolved = resolve_path(path);
    struct stat info;
    if (::lstat(resolved.c_str(), &info) != 0 || S_ISDIR(info.st_mode))
        return false;
    return ::unlink(resolved.c_str()) == 0;
}

bool find_files(const std::string& folder, const std::string& pattern, std::vector<FoundEntry>& found)
{
    found.clear();
    std::string resolved = folder.empty() ? std::string(".") : resolve_path(folder);
    DIR* dir = ::opendir(resolved.c_str());
    if (dir == nullptr)
        return false;
    // fnmatch folds ASCII only; folding both sides first matches accented names too.
    const std::string folded_pattern = fold_case_utf8(pattern);
    while (const dirent* entry = ::readdir(dir)) {
        if (::fnmatch(folded_pattern.c_str(), fold_case_utf8(entry->d_name).c_str(), 0) == 0)
            found.push_back({entry->d_name, is_folder_entry(resolved, entry)});
    }
    ::closedir(dir);

    // The directory's own order is arbitrary; keep "." and ".." first, then by name.
    auto rank = [](const std::string& name) { return name == "." ? 0 : name == ".." ? 1 : 2; };
    std::sort(found.begin(), found.end(), [&](const FoundEntry& a, const FoundEntry& b) {
        int ra = rank(a.name), rb = rank(b.name);
        return ra != rb ? ra < rb : a.name < b.name;
    });
    return !found.empty();
}

} // namespace platform
