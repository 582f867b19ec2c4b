#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>

#include "vadu/string.h"

namespace vadu::filesystem {

// The table of path macros ("%app_path%", "%local_appdata%", ...). It exists while any
// path object exists: the first path builds it, the last one destroys it, and its
// values are computed once when it is built.
class PathMacros {
public:
    using Map = std::map<vadu::String, vadu::String>;

    // Normalises a text: "\" becomes "/", the text is lower-cased (UTF-8 aware, platform::fold_case_utf8) when
    // asked, one macro name at the very start is replaced by its value (names match
    // case-sensitively, the first in name order wins), and doubled "/" are collapsed
    // from the second character on, in texts longer than two characters.
    // Without a live table no macro is replaced.
    static vadu::String expand(const vadu::String& text, bool lower_case);

    // The live table, or null when no path object exists.
    static const PathMacros* get();

    const Map& get_macros() const { return macros_; }

private:
    friend struct PathMacrosLifetime;
    PathMacros();
    static vadu::String expand_with(const Map* macros, const vadu::String& text, bool lower_case);

    Map macros_;
};

// A file path: a narrow text plus a lower-case flag, normalised when it is built.
// Every live path (and every exception that carries one) holds the macro table alive.
class String {
public:
    String();
    String(const vadu::String& text, bool lower_case);
    String(const char* text, bool lower_case);
    // Shares the text and copies the flag; no normalisation.
    String(const String& other);
    String& operator=(const String& other);
    ~String();

    // Replaces the text by its expansion with this path's own flag.
    void normalize();

    const vadu::String& get_text() const { return text_; }
    bool is_lower_case() const { return lower_case_; }
    const char* c_str() const { return text_.c_str(); }
    size_t size() const { return text_.size(); }
    bool empty() const { return text_.empty(); }

    // Equal lengths and bytes; the flag does not take part.
    bool operator==(const String& other) const { return text_ == other.text_; }
    bool operator<(const String& other) const { return text_.less(other.text_); }

private:
    vadu::String text_;
    bool lower_case_ = false;
};

// Joining: the path's text followed by the text, normalised again with the path's flag.
String operator+(const String& path, const vadu::String& text);
String operator+(const String& path, const char* text);
String operator+(const String& path, const String& text);

// The number of live path objects (the macro table exists while it is above zero).
int32_t get_live_path_count();

// The part up to and including the last "/"; empty when there is none.
vadu::String folder_part(const vadu::String& text);
// The part after the last "/"; the whole text when there is none.
vadu::String file_name_part(const vadu::String& text);
// The part before the last "."; empty when there is none.
vadu::String strip_extension(const vadu::String& text);

// The components of a path, in order, as substrings of it: a leading "/" and a trailing
// "/" belong to no component; "" and "/" have none.
//   for (const vadu::String& piece : Components(path)) ...
class Components {
public:
    class Iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = vadu::String;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = vadu::String;

        Iterator() = default;
        // The component [start, stop) of the text.
        vadu::String operator*() const { return text_->substr(start_, stop_ - start_); }
        size_t start() const { return start_; }
        size_t stop() const { return stop_; }
        Iterator& operator++();
        Iterator operator++(int)
        {
            Iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const Iterator& other) const { return done_ == other.done_ && (done_ || start_ == other.start_); }

    private:
        friend class Components;
        explicit Iterator(const vadu::String* text);
        void find_stop();

        const vadu::String* text_ = nullptr;
        size_t start_ = 0;
        size_t stop_ = 0;
        bool done_ = true;
    };

    // Keeps a copy of the text (sharing it), so a temporary may be passed.
    explicit Components(const vadu::String& text) : text_(text) {}
    explicit Components(const String& path) : text_(path.get_text()) {}
    Iterator begin() const { return Iterator(&text_); }
    Iterator end() const { return Iterator(); }

private:
    vadu::String text_;
};

// The folder for a special-folder id (see platform/folders.h); "" when it cannot be found.
vadu::String get_special_folder(int id);
// The program's own full file name; "" when it cannot be found.
vadu::String get_module_file_name();
vadu::String get_system_directory();
vadu::String get_windows_directory();

} // namespace vadu::filesystem
