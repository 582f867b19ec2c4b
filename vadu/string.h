#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace vadu {

// Header of every string representation, narrow and wide alike; the character area
// (capacity x 4 bytes) follows it directly.
struct StringRep {
    uint32_t capacity;  // character area in 32-bit words
    int32_t ref_count;  // changed only through interlocked increment and decrement
};

// Copy-on-write string over `char` (1252 bytes) or `char16_t` (UTF-16 units).
//
// Copies, assignments and substrings share one reference-counted representation;
// every write first goes through reserve(), which makes the representation unique.
// Separate string objects that share a representation may live on different threads;
// one string object must not be used by two threads at once (c_str() counts as a
// write when the string is not terminated, e.g. after substr or a shortening resize).
template <class T>
class BasicString {
public:
    using Rep = StringRep;
    using value_type = T;

    // What find and rfind return when nothing is found.
    static constexpr size_t npos = 0x3FFFFFFF;
    // Default count and position meaning "up to the end".
    static constexpr size_t to_end = static_cast<size_t>(-1);

    BasicString() noexcept;
    BasicString(const BasicString& other) noexcept;
    // A null text gives the empty string.
    BasicString(const T* text);
    // Throws std::invalid_argument for a reversed range or a null first with a last.
    BasicString(const T* first, const T* last);
    ~BasicString();

    BasicString& operator=(const BasicString& other) noexcept;
    BasicString& operator=(const T* text);

    size_t size() const noexcept { return static_cast<size_t>(end_ - begin_); }
    bool empty() const noexcept { return begin_ == end_; }
    const T* data() const noexcept { return begin_; }
    const T* data_end() const noexcept { return end_; }
    const T* cbegin() const noexcept { return begin_; }
    const T* cend() const noexcept { return end_; }
    const T& operator[](size_t index) const noexcept { return begin_[index]; }
    // Always zero-terminated; an unterminated string is made unique and terminated.
    const T* c_str() const;

    // Makes the string writable for n characters plus a terminator and returns begin.
    // Grows to max(n, 1.5 x capacity) when the room from begin is too small, copies
    // when shared (keeping at most n characters), else changes nothing.
    // Throws std::bad_alloc, leaving the string as it was.
    T* reserve(size_t n);
    // Shortening only moves the end; lengthening fills and terminates.
    void resize(size_t n, T fill = T());
    // Makes the string unique at its current length and returns its end.
    T* end();
    // Replaces the content with a new unique representation that has room for n
    // characters and holds at most n characters of [first, last).
    void allocate(size_t n, const T* first, const T* last);
    // Back to the shared empty representation.
    void clear() noexcept;

    BasicString substr(size_t pos, size_t count = to_end) const;

    size_t find(const T* sequence, size_t pos, size_t n) const;
    size_t find(const T* text, size_t pos = 0) const;
    size_t find(const BasicString& other, size_t pos = 0) const;
    size_t find(T c, size_t pos = 0) const;
    size_t rfind(const T* sequence, size_t pos, size_t n) const;
    size_t rfind(const T* text, size_t pos = to_end) const;
    size_t rfind(const BasicString& other, size_t pos = to_end) const;
    size_t rfind(T c, size_t pos = to_end) const;

    void erase(size_t pos, size_t count = to_end);
    void insert(size_t pos, const T* first, const T* last);
    BasicString& append(const BasicString& other);
    BasicString& append(const T* first, const T* last);
    BasicString& operator+=(const T* text);
    BasicString& operator+=(const BasicString& other) { return append(other); }

    // The count units at pos (both clamped) against n units of an array: the first
    // differing unit decides (-1 or 1), else the difference of the lengths.
    int compare(size_t pos, size_t count, const T* array, size_t n) const;
    // Lexicographic by unsigned units, the shorter first on a common prefix.
    bool less(const BasicString& other) const noexcept;
    bool operator==(const BasicString& other) const noexcept;
    bool operator==(const T* text) const noexcept;
    bool operator<(const BasicString& other) const noexcept { return less(other); }

    BasicString& append_number(long long value)
        requires std::same_as<T, char>;
    // Converts through the ANSI code page. On failure the string is left empty.
    bool assign_from_wide(const char16_t* first, const char16_t* last)
        requires std::same_as<T, char>;
    // Appends nothing when the conversion fails.
    bool append_wide(const BasicString<char16_t>& wide)
        requires std::same_as<T, char>;
    bool append_narrow(const BasicString<char>& narrow)
        requires std::same_as<T, char16_t>;

    // Read-only views of the representation, for diagnostics and tests.
    uint32_t capacity_words() const noexcept { return rep_->capacity; }
    int32_t ref_count() const noexcept;
    bool shares_with(const BasicString& other) const noexcept { return rep_ == other.rep_; }
    const Rep* representation() const noexcept { return rep_; }

    friend BasicString operator+(const BasicString& left, const BasicString& right)
    {
        BasicString result(left);
        result.append(right);
        return result;
    }
    friend BasicString operator+(const BasicString& left, const T* right)
    {
        BasicString result(left);
        result += right;
        return result;
    }
    friend BasicString operator+(const T* left, const BasicString& right)
    {
        BasicString result(left);
        result.append(right);
        return result;
    }

private:
    static constexpr size_t units_per_word = 4 / sizeof(T);

    static Rep* allocate_rep(size_t n);
    static T* area(const Rep* rep) noexcept;
    static Rep* shared_empty() noexcept;

    void release() noexcept;
    void copy_to_new(size_t n);
    bool points_inside(const T* p) const noexcept;
    void append_units(const T* first, size_t n);

    // Mutable so that c_str() on a const string can terminate a private copy.
    mutable Rep* rep_;
    mutable T* begin_;
    mutable T* end_;
};

extern template class BasicString<char>;
extern template class BasicString<char16_t>;

using String = BasicString<char>;
using WString = BasicString<char16_t>;

// printf-style formatting; the text is cut to its first 511 characters.
String format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

} // namespace vadu

template <class T>
struct std::hash<vadu::BasicString<T>> {
    size_t operator()(const vadu::BasicString<T>& s) const noexcept
    {
        return std::hash<std::basic_string_view<T>>{}(std::basic_string_view<T>(s.data(), s.size()));
    }
};
