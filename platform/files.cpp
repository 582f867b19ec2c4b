#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

char ascii_lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equal_ignoring_case(const std::string& a, const char* b)
{
    size_t i = 0;
    for (; i < a.size(); ++i) {
        if (b[i] == '\0' || ascii_lower(a[i]) != ascii_lower(b[i]))
            return false;
    }
    return b[i] == '\0';
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
    std::string match;
    int matches = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (equal_ignoring_case(name, entry->d_name)) {
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

FILE* open_file(const std::string& path, const char* mode)
{
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
    while (const dirent* entry = ::readdir(dir)) {
        if (::fnmatch(pattern.c_str(), entry->d_name, FNM_CASEFOLD) == 0)
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
