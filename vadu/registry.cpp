#include "vadu/registry.h"

#include <cstring>
#include <vector>

namespace vadu::registry {
namespace {

struct Root {
    const char* name;
    platform::RegistryKey (*key)();
};

// The order matters: every name is tested as a prefix, the first match wins.
const Root roots[] = {
    {"HKEY_CLASSES_ROOT", platform::hkey_classes_root},
    {"HKEY_CURRENT_CONFIG", platform::hkey_current_config},
    {"HKEY_LOCAL_MACHINE", platform::hkey_local_machine},
    {"HKEY_USERS", platform::hkey_users},
    {"HKEY_CURRENT_USER", platform::hkey_current_user},
};

// Closes the key on every way out.
class OpenKey {
public:
    explicit OpenKey(const vadu::String& key_path)
    {
        platform::RegistryKey root = nullptr;
        const vadu::String sub_key = parse_key_path(key_path, root);
        if (platform::registry_open_key(root, sub_key.c_str(), platform::reg::key_read, &key_) != platform::reg::success)
            key_ = nullptr;
    }
    ~OpenKey()
    {
        if (key_ != nullptr)
            platform::registry_close_key(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    platform::RegistryKey get() const { return key_; }

private:
    platform::RegistryKey key_ = nullptr;
};

// A text from string data: up to the first terminator, which may be missing.
vadu::String text_of(const uint8_t* data, uint32_t size)
{
    const char* first = reinterpret_cast<const char*>(data);
    const void* terminator = std::memchr(first, '\0', size);
    const char* last = terminator ? static_cast<const char*>(terminator) : first + size;
    return vadu::String(first, last);
}

} // namespace

vadu::String parse_key_path(const vadu::String& path, platform::RegistryKey& root)
{
    for (const Root& candidate : roots) {
        const size_t length = std::strlen(candidate.name);
        if (path.compare(0, length, candidate.name, length) == 0) {
            root = candidate.key();
            return path.substr(length + 1);
        }
    }
    return vadu::String();
}

bool read_string(const vadu::String& key_path, const vadu::String& value_name, vadu::String& text)
{
    OpenKey key(key_path);
    if (key.get() == nullptr)
        return false;

    uint8_t probe = 0;
    uint32_t size = sizeof probe;
    uint32_t type = platform::reg::type_none;
    const int32_t result = platform::registry_query_value(key.get(), value_name.c_str(), &type, &probe, &size);
    if (type != platform::reg::type_sz)
        return false;
    // A value that fits the probe is the empty string (or a single unterminated unit).
    if (result == platform::reg::success) {
        text = text_of(&probe, size);
        return true;
    }
    if (result != platform::reg::more_data)
        return false;

    std::vector<uint8_t> data(size);
    if (platform::registry_query_value(key.get(), value_name.c_str(), &type, data.data(), &size) !=
            platform::reg::success ||
        type != platform::reg::type_sz)
        return false;
    text = text_of(data.data(), size);
    return true;
}

bool read_dword(const vadu::String& key_path, const vadu::String& value_name, uint32_t& value)
{
    OpenKey key(key_path);
    if (key.get() == nullptr)
        return false;

    uint8_t probe = 0;
    uint32_t size = sizeof probe;
    uint32_t type = platform::reg::type_none;
    if (platform::registry_query_value(key.get(), value_name.c_str(), &type, &probe, &size) !=
            platform::reg::more_data ||
        type != platform::reg::type_dword)
        return false;

    uint32_t number = 0;
    size = sizeof number;
    if (platform::registry_query_value(key.get(), value_name.c_str(), &type, reinterpret_cast<uint8_t*>(&number),
                                       &size) != platform::reg::success ||
        type != platform::reg::type_dword || size != sizeof number)
        return false;
    value = number;
    return true;
}

} // namespace vadu::registry
