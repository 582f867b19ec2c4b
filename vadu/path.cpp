#include "vadu/path.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/folders.h"

namespace vadu::filesystem {

namespace {

// Counting and building/destroying the table happen under one lock, so a path made on
// the loading thread while the main thread drops its last one never sees a half-built
// or freed table. Readers go through the atomic pointer; a reader holding a path keeps
// it alive.
std::mutex lifetime_mutex;
int32_t live_paths = 0;
std::atomic<PathMacros*> macro_table{nullptr};

constexpr size_t not_found = vadu::String::npos;

size_t last_of(const vadu::String& text, char c)
{
    for (size_t i = text.size(); i > 0; --i) {
        if (text[i - 1] == c)
            return i - 1;
    }
    return not_found;
}

// Empty or nothing but separators: expanding it would put files at the root.
bool is_unusable_folder(const vadu::String& folder)
{
    for (size_t i = 0; i < folder.size(); ++i) {
        if (folder[i] != '/' && folder[i] != '\\')
            return false;
    }
    return true;
}

vadu::String from_std(const std::string& text)
{
    return vadu::String(text.data(), text.data() + text.size());
}

} // namespace

struct PathMacrosLifetime {
    static void acquire()
    {
        std::lock_guard<std::mutex> lock(lifetime_mutex);
        ++live_paths;
        if (macro_table.load(std::memory_order_relaxed) != nullptr)
            return;
        try {
            macro_table.store(new PathMacros(), std::memory_order_release);
        } catch (...) {
            --live_paths;
            throw;
        }
    }

    static void release() noexcept
    {
        std::lock_guard<std::mutex> lock(lifetime_mutex);
        if (--live_paths > 0)
            return;
        delete macro_table.exchange(nullptr, std::memory_order_acq_rel);
    }
};

// ---- PathMacros ----

PathMacros::PathMacros()
{
    auto add = [this](const char* name, const vadu::String& value) {
        macros_[vadu::String(name)] = expand_with(&macros_, value, true);
    };
    auto add_special = [&add](const char* name, int id) {
        vadu::String folder = get_special_folder(id);
        if (is_unusable_folder(folder))
            folder = from_std(platform::fallback_folder());
        add(name, folder);
    };

    vadu::String module = get_module_file_name();
    add("%app_path%", folder_part(module));
    // Programs here usually have no extension: then the whole file name is the name.
    vadu::String file_name = file_name_part(module);
    add("%app_name%", last_of(file_name, '.') == not_found ? file_name : strip_extension(file_name));
    add("%system_path%", get_system_directory());
    add("%windows_path%", get_windows_directory());
    add_special("%desktop_path%", platform::folder_desktop);
    add_special("%fonts_path%", platform::folder_fonts);
    add_special("%start_menu_path%", platform::folder_start_menu);
    add_special("%start_menu_programs_path%", platform::folder_programs);
    add_special("%common_desktop_path%", platform::folder_common_desktop);
    add_special("%common_start_menu_path%", platform::folder_common_start_menu);
    add_special("%common_start_menu_programs_path%", platform::folder_common_programs);
    add_special("%local_appdata%", platform::folder_appdata);
}

const PathMacros* PathMacros::get()
{
    return macro_table.load(std::memory_order_acquire);
}

vadu::String PathMacros::expand(const vadu::String& text, bool lower_case)
{
    const PathMacros* table = get();
    return expand_with(table != nullptr ? &table->macros_ : nullptr, text, lower_case);
}

vadu::String PathMacros::expand_with(const Map* macros, const vadu::String& text, bool lower_case)
{
    std::string path(text.data(), text.size());
    for (char& c : path) {
        if (c == '\\')
            c = '/';
    }
    // Native paths are UTF-8: lower-casing them byte by byte with the 1252 table
    // would turn an accented folder name into a different, garbled one.
    if (lower_case)
        path = platform::fold_case_utf8(path);

    if (macros != nullptr) {
        for (const auto& [name, value] : *macros) {
            if (path.size() >= name.size() && std::memcmp(path.data(), name.data(), name.size()) == 0) {
                path = std::string(value.data(), value.size()) + path.substr(name.size());
                break;
            }
        }
    }

    // The first character never starts a pair, so a leading "//" survives.
    if (path.size() > 2) {
        std::string collapsed;
        collapsed.reserve(path.size());
        collapsed.push_back(path[0]);
        for (size_t i = 1; i < path.size(); ++i) {
            if (path[i] == '/' && collapsed.size() >= 2 && collapsed.back() == '/')
                continue;
            collapsed.push_back(path[i]);
        }
        path.swap(collapsed);
    }
    return from_std(path);
}

// ---- String ----

String::String()
{
    PathMacrosLifetime::acquire();
}

String::String(const vadu::String& text, bool lower_case) : lower_case_(lower_case)
{
    PathMacrosLifetime::acquire();
    try {
        text_ = text;
        normalize();
    } catch (...) {
        PathMacrosLifetime::release();
        throw;
    }
}

String::String(const char* text, bool lower_case) : lower_case_(lower_case)
{
    PathMacrosLifetime::acquire();
    try {
        text_ = vadu::String(text);
        normalize();
    } catch (...) {
        PathMacrosLifetime::release();
        throw;
    }
}

String::String(const String& other) : text_(other.text_), lower_case_(other.lower_case_)
{
    PathMacrosLifetime::acquire();
}

String& String::operator=(const String& other)
{
    text_ = other.text_;
    lower_case_ = other.lower_case_;
    return *this;
}

String::~String()
{
    PathMacrosLifetime::release();
}

void String::normalize()
{
    text_ = PathMacros::expand(text_, lower_case_);
}

String operator+(const String& path, const vadu::String& text)
{
    return String(path.get_text() + text, path.is_lower_case());
}

String operator+(const String& path, const char* text)
{
    return String(path.get_text() + vadu::String(text), path.is_lower_case());
}

String operator+(const String& path, const String& text)
{
    return path + text.get_text();
}

int32_t get_live_path_count()
{
    std::lock_guard<std::mutex> lock(lifetime_mutex);
    return live_paths;
}

// ---- parts of a path ----

vadu::String folder_part(const vadu::String& text)
{
    size_t slash = last_of(text, '/');
    return slash == not_found ? vadu::String() : text.substr(0, slash + 1);
}

vadu::String file_name_part(const vadu::String& text)
{
    size_t slash = last_of(text, '/');
    return slash == not_found ? text : text.substr(slash + 1);
}

vadu::String strip_extension(const vadu::String& text)
{
    size_t dot = last_of(text, '.');
    return dot == not_found ? vadu::String() : text.substr(0, dot);
}

// ---- Components ----

Components::Iterator::Iterator(const vadu::String* text) : text_(text)
{
    size_t size = text->size();
    if (size == 0 || (size == 1 && (*text)[0] == '/'))
        return;
    done_ = false;
    start_ = (*text)[0] == '/' ? 1 : 0;
    find_stop();
}

void Components::Iterator::find_stop()
{
    size_t size = text_->size();
    for (size_t i = start_ + 1; i < size; ++i) {
        if ((*text_)[i] == '/') {
            stop_ = i;
            return;
        }
    }
    stop_ = (*text_)[size - 1] == '/' ? size - 1 : size;
}

Components::Iterator& Components::Iterator::operator++()
{
    if (done_)
        return *this;
    if (stop_ + 1 >= text_->size()) {
        done_ = true;
        return *this;
    }
    start_ = stop_ + 1;
    find_stop();
    return *this;
}

// ---- system folders ----

vadu::String get_special_folder(int id)
{
    return from_std(platform::special_folder(id));
}

vadu::String get_module_file_name()
{
    std::vector<char> buffer(1024);
    for (;;) {
        uint32_t size = static_cast<uint32_t>(buffer.size());
        uint32_t length = platform::module_file_name(buffer.data(), size);
        if (length == 0)
            return vadu::String();
        if (length < size)
            return vadu::String(buffer.data(), buffer.data() + length);
        buffer.resize(buffer.size() * 2);
    }
}

vadu::String get_system_directory()
{
    return from_std(platform::system_directory());
}

vadu::String get_windows_directory()
{
    return from_std(platform::windows_directory());
}

} // namespace vadu::filesystem
