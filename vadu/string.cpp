#include "vadu/string.h"

#include "platform/codepage.h"
#include "vadu/threads.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

namespace vadu {

namespace {

// The one representation every empty string refers to. Its count starts at 1, so no
// release ever brings it to zero; its characters are never written, because any write
// finds it shared and copies first. Constant-initialised, so strings built by other
// static initialisers can use it.
struct EmptyRep {
    StringRep header;
    uint32_t area;
};
alignas(8) constinit EmptyRep empty_rep = {{1, 1}, 0};

// Past this the byte size of a representation no longer fits in 32 bits.
constexpr size_t kMaxCapacityWords = 0x3FFFFFFE;

template <class T>
int compare_units(const T* a, const T* b, size_t n) noexcept
{
    using U = std::make_unsigned_t<T>;
    for (size_t i = 0; i < n; ++i) {
        const U x = static_cast<U>(a[i]);
        const U y = static_cast<U>(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

template <class T>
size_t length_of(const T* text) noexcept
{
    return text == nullptr ? 0 : std::char_traits<T>::length(text);
}

} // namespace

template <class T>
StringRep* BasicString<T>::shared_empty() noexcept
{
    return &empty_rep.header;
}

template <class T>
T* BasicString<T>::area(const Rep* rep) noexcept
{
    return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(const_cast<Rep*>(rep)) + sizeof(Rep));
}

template <class T>
StringRep* BasicString<T>::allocate_rep(size_t n)
{
    // Bytes for n characters and the terminator, cut to whole words, plus one word.
    if (n >= kMaxCapacityWords * units_per_word)
        throw std::bad_alloc();
    const size_t words = ((n + 1) * sizeof(T)) / 4 + 1;
    if (words >= kMaxCapacityWords)
        throw std::bad_alloc();
    void* memory = ::operator new((words + 2) * 4);
    Rep* rep = static_cast<Rep*>(memory);
    rep->capacity = static_cast<uint32_t>(words);
    rep->ref_count = 1;
    return rep;
}

template <class T>
BasicString<T>::BasicString() noexcept
    : rep_(shared_empty()), begin_(area(rep_)), end_(begin_)
{
    threads::interlocked_increment(&rep_->ref_count);
}

template <class T>
BasicString<T>::BasicString(const BasicString& other) noexcept
    : rep_(other.rep_), begin_(other.begin_), end_(other.end_)
{
    threads::interlocked_increment(&rep_->ref_count);
}

template <class T>
BasicString<T>::BasicString(const T* text)
    : BasicString()
{
    if (text != nullptr) {
        const size_t n = length_of(text);
        allocate(n, text, text + n);
    }
}

template <class T>
BasicString<T>::BasicString(const T* first, const T* last)
    : BasicString()
{
    if (last < first || (first == nullptr && last != nullptr))
        throw std::invalid_argument("vadu::BasicString: bad character range");
    if (first != nullptr)
        allocate(static_cast<size_t>(last - first), first, last);
}

template <class T>
BasicString<T>::~BasicString()
{
    release();
}

template <class T>
void BasicString<T>::release() noexcept
{
    if (threads::interlocked_decrement(&rep_->ref_count) == 0 && rep_ != shared_empty())
        ::operator delete(rep_);
}

template <class T>
BasicString<T>& BasicString<T>::operator=(const BasicString& other) noexcept
{
    if (this != &other) {
        threads::interlocked_increment(&other.rep_->ref_count);
        release();
        rep_ = other.rep_;
        begin_ = other.begin_;
        end_ = other.end_;
    }
    return *this;
}

template <class T>
BasicString<T>& BasicString<T>::operator=(const T* text)
{
    // A text that lies in our own representation must outlive the reserve below.
    const BasicString keep = points_inside(text) ? *this : BasicString();
    const size_t n = length_of(text);
    reserve(n);
    std::memmove(begin_, text, n * sizeof(T));
    end_ = begin_ + n;
    *end_ = T();
    return *this;
}

template <class T>
int32_t BasicString<T>::ref_count() const noexcept
{
    return std::atomic_ref<int32_t>(rep_->ref_count).load();
}

template <class T>
bool BasicString<T>::points_inside(const T* p) const noexcept
{
    const auto address = reinterpret_cast<uintptr_t>(p);
    const auto first = reinterpret_cast<uintptr_t>(area(rep_));
    return address >= first && address < first + size_t(rep_->capacity) * 4;
}

template <class T>
void BasicString<T>::copy_to_new(size_t n)
{
    Rep* rep = allocate_rep(n);
    const size_t keep = std::min(size(), n);
    T* first = area(rep);
    std::memcpy(first, begin_, keep * sizeof(T));
    first[keep] = T();
    release();
    rep_ = rep;
    begin_ = first;
    end_ = first + keep;
}

template <class T>
T* BasicString<T>::reserve(size_t n)
{
    const size_t capacity = size_t(rep_->capacity) * units_per_word;
    // Counted from our own begin: a former substring may start well inside the area.
    const size_t room = capacity - static_cast<size_t>(begin_ - area(rep_));
    if (room <= n)
        copy_to_new(std::max(n, capacity + capacity / 2));
    else if (ref_count() != 1)
        copy_to_new(n);
    return begin_;
}

template <class T>
void BasicString<T>::resize(size_t n, T fill)
{
    const size_t length = size();
    if (length >= n) {
        end_ = begin_ + n;
        return;
    }
    reserve(n);
    std::fill(begin_ + length, begin_ + n, fill);
    end_ = begin_ + n;
    *end_ = T();
}

template <class T>
T* BasicString<T>::end()
{
    reserve(size());
    return end_;
}

template <class T>
void BasicString<T>::allocate(size_t n, const T* first, const T* last)
{
    if (last < first)
        throw std::invalid_argument("vadu::BasicString::allocate: reversed character range");
    Rep* rep = allocate_rep(n);
    const size_t count = first == nullptr ? 0 : std::min(n, static_cast<size_t>(last - first));
    T* chars = area(rep);
    if (count > 0)
        std::memcpy(chars, first, count * sizeof(T));
    chars[count] = T();
    release();
    rep_ = rep;
    begin_ = chars;
    end_ = chars + count;
}

template <class T>
void BasicString<T>::clear() noexcept
{
    Rep* empty = shared_empty();
    if (rep_ == empty) {
        end_ = begin_ = area(empty);
        return;
    }
    threads::interlocked_increment(&empty->ref_count);
    release();
    rep_ = empty;
    begin_ = end_ = area(empty);
}

template <class T>
const T* BasicString<T>::c_str() const
{
    // end_ never passes the terminator its representation was written with, so the
    // read stays inside the area; a shared representation is never written here.
    if (*end_ != T()) {
        auto* self = const_cast<BasicString*>(this);
        self->reserve(size());
        *end_ = T();
    }
    return begin_;
}

template <class T>
BasicString<T> BasicString<T>::substr(size_t pos, size_t count) const
{
    BasicString result(*this);
    const size_t length = size();
    pos = std::min(pos, length);
    count = std::min(count, length - pos);
    result.begin_ = begin_ + pos;
    result.end_ = result.begin_ + count;
    return result;
}

template <class T>
size_t BasicString<T>::find(const T* sequence, size_t pos, size_t n) const
{
    const size_t length = size();
    if (pos > length || n > length - pos)
        return npos;
    if (n == 0)
        return pos;
    for (size_t i = pos; i + n <= length; ++i) {
        if (begin_[i] == sequence[0] && compare_units(begin_ + i, sequence, n) == 0)
            return i;
    }
    return npos;
}

template <class T>
size_t BasicString<T>::find(const T* text, size_t pos) const
{
    return find(text, pos, length_of(text));
}

template <class T>
size_t BasicString<T>::find(const BasicString& other, size_t pos) const
{
    return find(other.begin_, pos, other.size());
}

template <class T>
size_t BasicString<T>::find(T c, size_t pos) const
{
    return find(&c, pos, 1);
}

template <class T>
size_t BasicString<T>::rfind(const T* sequence, size_t pos, size_t n) const
{
    const size_t length = size();
    if (n > length)
        return npos;
    for (size_t i = std::min(pos, length - n) + 1; i-- > 0;) {
        if (compare_units(begin_ + i, sequence, n) == 0)
            return i;
    }
    return npos;
}

template <class T>
size_t BasicString<T>::rfind(const T* text, size_t pos) const
{
    return rfind(text, pos, length_of(text));
}

template <class T>
size_t BasicString<T>::rfind(const BasicString& other, size_t pos) const
{
    return rfind(other.begin_, pos, other.size());
}

template <class T>
size_t BasicString<T>::rfind(T c, size_t pos) const
{
    return rfind(&c, pos, 1);
}

template <class T>
void BasicString<T>::erase(size_t pos, size_t count)
{
    const size_t length = size();
    pos = std::min(pos, length);
    count = std::min(count, length - pos);
    reserve(length);
    std::memmove(begin_ + pos, begin_ + pos + count, (length - pos - count) * sizeof(T));
    end_ = begin_ + (length - count);
    *end_ = T();
}

template <class T>
void BasicString<T>::insert(size_t pos, const T* first, const T* last)
{
    if (last < first)
        throw std::invalid_argument("vadu::BasicString::insert: reversed character range");
    const BasicString keep = points_inside(first) ? *this : BasicString();
    const size_t n = static_cast<size_t>(last - first);
    const size_t length = size();
    pos = std::min(pos, length);
    reserve(length + n);
    std::memmove(begin_ + pos + n, begin_ + pos, (length - pos) * sizeof(T));
    if (n > 0)
        std::memcpy(begin_ + pos, first, n * sizeof(T));
    end_ = begin_ + length + n;
    *end_ = T();
}

template <class T>
void BasicString<T>::append_units(const T* first, size_t n)
{
    const size_t length = size();
    reserve(length + n);
    if (n > 0)
        std::memcpy(begin_ + length, first, n * sizeof(T));
    end_ = begin_ + length + n;
    *end_ = T();
}

template <class T>
BasicString<T>& BasicString<T>::append(const BasicString& other)
{
    // The copy keeps the other characters alive, even when other is this string.
    const BasicString keep(other);
    append_units(keep.begin_, keep.size());
    return *this;
}

template <class T>
BasicString<T>& BasicString<T>::append(const T* first, const T* last)
{
    if (last < first)
        throw std::invalid_argument("vadu::BasicString::append: reversed character range");
    const BasicString keep = points_inside(first) ? *this : BasicString();
    append_units(first, static_cast<size_t>(last - first));
    return *this;
}

template <class T>
BasicString<T>& BasicString<T>::operator+=(const T* text)
{
    const BasicString keep = points_inside(text) ? *this : BasicString();
    append_units(text, length_of(text));
    return *this;
}

template <class T>
int BasicString<T>::compare(size_t pos, size_t count, const T* array, size_t n) const
{
    const size_t length = size();
    pos = std::min(pos, length);
    count = std::min(count, length - pos);
    const int units = compare_units(begin_ + pos, array, std::min(count, n));
    if (units != 0)
        return units;
    const long long difference = static_cast<long long>(count) - static_cast<long long>(n);
    return static_cast<int>(std::clamp<long long>(difference, INT_MIN, INT_MAX));
}

template <class T>
bool BasicString<T>::less(const BasicString& other) const noexcept
{
    const int units = compare_units(begin_, other.begin_, std::min(size(), other.size()));
    return units != 0 ? units < 0 : size() < other.size();
}

template <class T>
bool BasicString<T>::operator==(const BasicString& other) const noexcept
{
    return size() == other.size() && compare_units(begin_, other.begin_, size()) == 0;
}

template <class T>
bool BasicString<T>::operator==(const T* text) const noexcept
{
    const size_t n = length_of(text);
    return size() == n && compare_units(begin_, text, n) == 0;
}

template <class T>
BasicString<T>& BasicString<T>::append_number(long long value)
    requires std::same_as<T, char>
{
    // The constraint keeps callers right; the branch keeps compilers that instantiate
    // every member of an explicitly instantiated class (the conversions below too)
    // from compiling the body for the other character type.
    if constexpr (std::same_as<T, char>) {
        char digits[24];
        const auto result = std::to_chars(digits, digits + sizeof(digits), value);
        append_units(digits, static_cast<size_t>(result.ptr - digits));
        return *this;
    } else {
        return *this;
    }
}

template <class T>
bool BasicString<T>::assign_from_wide(const char16_t* first, const char16_t* last)
    requires std::same_as<T, char>
{
    if constexpr (std::same_as<T, char>) {
        if (first == last) {
            clear();
            return true;
        }
        if (first == nullptr || last < first || last - first > INT_MAX) {
            clear();
            return false;
        }
        const int n = static_cast<int>(last - first);
        reserve(static_cast<size_t>(n));
        const int written = platform::wide_to_multibyte(first, n, begin_, n);
        if (written == 0) {
            // Report the failure without leaving half-converted characters behind.
            clear();
            return false;
        }
        end_ = begin_ + written;
        *end_ = '\0';
        return true;
    } else {
        return false;
    }
}

template <class T>
bool BasicString<T>::append_wide(const BasicString<char16_t>& wide)
    requires std::same_as<T, char>
{
    if constexpr (std::same_as<T, char>) {
        BasicString converted;
        if (!converted.assign_from_wide(wide.data(), wide.data_end()))
            return false;
        append(converted);
        return true;
    } else {
        return false;
    }
}

template <class T>
bool BasicString<T>::append_narrow(const BasicString<char>& narrow)
    requires std::same_as<T, char16_t>
{
    if constexpr (std::same_as<T, char16_t>) {
        if (narrow.empty())
            return true;
        if (narrow.size() > INT_MAX)
            return false;
        const int n = static_cast<int>(narrow.size());
        BasicString converted;
        char16_t* target = converted.reserve(static_cast<size_t>(n));
        const int written = platform::multibyte_to_wide(narrow.data(), n, target, n);
        if (written == 0)
            return false;
        converted.end_ = target + written;
        *converted.end_ = u'\0';
        append(converted);
        return true;
    } else {
        return false;
    }
}

template class BasicString<char>;
template class BasicString<char16_t>;

String format(const char* pattern, ...)
{
    if (pattern == nullptr)
        return String();
    // Bounded write: a longer result is cut to the buffer, never past it.
    char buffer[512];
    va_list arguments;
    va_start(arguments, pattern);
    const int result = std::vsnprintf(buffer, sizeof(buffer), pattern, arguments);
    va_end(arguments);
    if (result < 0)
        buffer[0] = '\0';
    return String(buffer);
}

} // namespace vadu
