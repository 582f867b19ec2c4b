#include "platform/folders.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include <unistd.h>

namespace platform {

namespace {

struct OverrideTable {
    std::mutex mutex;
    std::map<int, std::string> values;
};

// Function-local so that paths built during static initialisation can already ask.
OverrideTable& overrides()
{
    static OverrideTable table;
    return table;
}

std::optional<std::string> find_override(int key)
{
    OverrideTable& table = overrides();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.values.find(key);
    if (it == table.values.end())
        return std::nullopt;
    return it->second;
}

// An environment value that names an absolute folder, else "".
std::string absolute_env(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/')
        return std::string();
    return value;
}

std::string data_home()
{
    std::string folder = absolute_env("XDG_DATA_HOME");
    if (!folder.empty())
        return folder;
    std::string home = absolute_env("HOME");
    if (home.empty())
        return std::string();
    return home + "/.local/share";
}

std::string desktop()
{
    std::string folder = absolute_env("XDG_DESKTOP_DIR");
    if (!folder.empty())
        return folder;
    std::string home = absolute_env("HOME");
    if (home.empty())
        return std::string();
    return home + "/Desktop";
}

std::string read_module_file_name()
{
    std::vector<char> buffer(256);
    for (;;) {
        ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return std::string();
        if (static_cast<size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace

uint32_t module_file_name(char* buffer, uint32_t size)
{
    if (buffer == nullptr || size == 0)
        return 0;
    std::optional<std::string> forced = find_override(folder_key_module_file);
    std::string name = forced ? *forced : read_module_file_name();
    if (name.empty())
        return 0;
    if (name.size() >= size) {
        std::memcpy(buffer, name.data(), size - 1);
        buffer[size - 1] = '\0';
        return size;
    }
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    return static_cast<uint32_t>(name.size());
}

std::string system_directory()
{
    if (std::optional<std::string> forced = find_override(folder_key_system))
        return *forced;
    return "/usr/lib";
}

std::string windows_directory()
{
    if (std::optional<std::string> forced = find_override(folder_key_windows))
        return *forced;
    return "/usr";
}

std::string special_folder(int id)
{
    if (std::optional<std::string> forced = find_override(id))
        return *forced;
    switch (id) {
    case folder_appdata:
        return data_home();
    case folder_desktop:
        return desktop();
    case folder_fonts:
        return "/usr/share/fonts";
    case folder_start_menu:
    case folder_programs: {
        std::string home = data_home();
        return home.empty() ? std::string() : home + "/applications";
    }
    case folder_common_desktop:
    case folder_common_start_menu:
    case folder_common_programs:
        return "/usr/share/applications";
    default:
        return std::string();
    }
}

std::string fallback_folder()
{
    std::string home = absolute_env("HOME");
    // A HOME of "/" would put the folder straight under the root; use the temp folder.
    if (!home.empty() && home.find_first_not_of('/') != std::string::npos)
        return home + "/.local/share";
    std::string temp = absolute_env("TMPDIR");
    if (temp.empty() || temp.find_first_not_of('/') == std::string::npos)
        temp = "/tmp";
    while (temp.size() > 1 && temp.back() == '/')
        temp.pop_back();
    return temp + "/quillo-tovra-" + std::to_string(static_cast<unsigned long>(::getuid()));
}

void set_folder_override(int key, const std::string& value)
{
    OverrideTable& table = overrides();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.values[key] = value;
}

void clear_folder_override(int key)
{
    OverrideTable& table = overrides();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.values.erase(key);
}

void clear_folder_overrides()
{
    OverrideTable& table = overrides();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.values.clear();
}

} // namespace platform
