#include "platform/registry.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace platform {
namespace {

constexpr uintptr_t root_classes_root = 0x80000000u;
constexpr uintptr_t root_current_user = 0x80000001u;
constexpr uintptr_t root_local_machine = 0x80000002u;
constexpr uintptr_t root_users = 0x80000003u;
constexpr uintptr_t root_current_config = 0x80000005u;

constexpr const char* processor_key = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";

struct Value {
    uint32_t type = reg::type_none;
    std::string bytes;
};

// An open key keeps the values as they were when it was opened.
struct OpenKey {
    std::map<std::string, Value> values; // by lower-case name
};

struct State {
    std::mutex mutex;
    std::map<uintptr_t, std::unique_ptr<OpenKey>> open; // by handle
    uintptr_t next_handle = 1;
    std::string cpuinfo_path;
};

State& state()
{
    static State instance;
    return instance;
}

std::string lower(const char* text)
{
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

std::string trim(const std::string& text)
{
    const char* space = " \t\r\n";
    const size_t first = text.find_first_not_of(space);
    if (first == std::string::npos)
        return std::string();
    const size_t last = text.find_last_not_of(space);
    return text.substr(first, last - first + 1);
}

bool is_root(uintptr_t key)
{
    return key == root_classes_root || key == root_current_user || key == root_local_machine || key == root_users ||
           key == root_current_config;
}

// The values of the processor key from "name : value" lines; the first occurrence of
// each field (processor 0) wins.
std::map<std::string, Value> processor_values(const std::string& source)
{
    std::map<std::string, Value> values;
    std::ifstream in(source.empty() ? std::string("/proc/cpuinfo") : source);
    std::optional<std::string> model;
    std::optional<std::string> mhz;
    std::string line;
    while (std::getline(in, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string field = trim(line.substr(0, colon));
        const std::string text = trim(line.substr(colon + 1));
        if (field == "model name" && !model)
            model = text;
        else if (field == "cpu MHz" && !mhz)
            mhz = text;
    }

    if (model) {
        Value value{reg::type_sz, *model};
        value.bytes.push_back('\0');
        values[lower("ProcessorNameString")] = value;
    }
    if (mhz) {
        char* end = nullptr;
        const double number = std::strtod(mhz->c_str(), &end);
        if (end != mhz->c_str() && *end == '\0' && std::isfinite(number) && number >= 0.0 &&
            number < static_cast<double>(std::numeric_limits<uint32_t>::max())) {
            const uint32_t whole = static_cast<uint32_t>(number);
            Value value{reg::type_dword, std::string(sizeof whole, '\0')};
            std::memcpy(value.bytes.data(), &whole, sizeof whole);
            values[lower("~MHz")] = value;
        }
    }
    return values;
}

RegistryKey handle_of(uintptr_t value)
{
    return reinterpret_cast<RegistryKey>(value);
}

} // namespace

RegistryKey hkey_classes_root() { return handle_of(root_classes_root); }
RegistryKey hkey_current_user() { return handle_of(root_current_user); }
RegistryKey hkey_local_machine() { return handle_of(root_local_machine); }
RegistryKey hkey_users() { return handle_of(root_users); }
RegistryKey hkey_current_config() { return handle_of(root_current_config); }

int32_t registry_open_key(RegistryKey root, const char* sub_key, uint32_t access, RegistryKey* result)
{
    if (result == nullptr)
        return reg::invalid_parameter;
    *result = nullptr;
    const uintptr_t root_value = reinterpret_cast<uintptr_t>(root);
    if (!is_root(root_value))
        return reg::invalid_handle;
    if ((access & ~reg::key_read) != 0)
        return reg::access_denied;
    if (sub_key == nullptr || root_value != root_local_machine || lower(sub_key) != lower(processor_key))
        return reg::file_not_found;

    State& s = state();
    std::string source;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        source = s.cpuinfo_path;
    }
    auto key = std::make_unique<OpenKey>();
    key->values = processor_values(source);

    std::lock_guard<std::mutex> lock(s.mutex);
    // Handles count up from 1 and never reach the roots' values.
    const uintptr_t handle = s.next_handle++;
    s.open[handle] = std::move(key);
    *result = handle_of(handle);
    return reg::success;
}

int32_t registry_query_value(RegistryKey key, const char* value_name, uint32_t* type, uint8_t* data,
                             uint32_t* size)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto open = s.open.find(reinterpret_cast<uintptr_t>(key));
    if (open == s.open.end())
        return reg::invalid_handle;
    if (data != nullptr && size == nullptr)
        return reg::invalid_parameter;

    const auto found = open->second->values.find(lower(value_name ? value_name : ""));
    if (found == open->second->values.end())
        return reg::file_not_found;
    const Value& value = found->second;
    if (type != nullptr)
        *type = value.type;
    if (size == nullptr)
        return reg::success;
    const uint32_t needed = static_cast<uint32_t>(value.bytes.size());
    if (data == nullptr) {
        *size = needed;
        return reg::success;
    }
    if (*size < needed) {
        *size = needed;
        return reg::more_data;
    }
    std::memcpy(data, value.bytes.data(), needed);
    *size = needed;
    return reg::success;
}

int32_t registry_close_key(RegistryKey key)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.open.erase(reinterpret_cast<uintptr_t>(key)) == 1 ? reg::success : reg::invalid_handle;
}

int registry_open_key_count()
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return static_cast<int>(s.open.size());
}

void set_registry_cpuinfo_source(const std::string& path)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.cpuinfo_path = path;
}

} // namespace platform
