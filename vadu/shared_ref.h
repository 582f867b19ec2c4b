#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Counts of shared values, kept in one map keyed by address (main thread only).
class SharedRefCounts {
public:
    // The count stored for an address; 0 for one that is not held (a freed one too).
    static int32_t count_of(const void* address);
    // Addresses with a count: a value leaves the map when it is freed, so the map does
    // not grow with every value ever shared.
    static size_t tracked();

protected:
    static void add(const void* address);
    // Returns true when the count fell below 1 and the value is to be freed.
    static bool drop(const void* address);
};

// A holder of one pointer to a small heap value (allocated with plain `new`)
// shared by several owners. Holders do not count themselves on copy or
// destruction: every AddRef is paired with an explicit Release. Copying is
// therefore disabled; to share, AddRef the other holder's pointer.
template <typename T>
class SharedRef : public SharedRefCounts {
    // The last Release frees the storage with no destructor call.
    static_assert(std::is_trivially_destructible_v<T>,
                  "SharedRef shares plain values only");

public:
    SharedRef() = default;
    SharedRef(const SharedRef&) = delete;
    SharedRef& operator=(const SharedRef&) = delete;
    SharedRef(SharedRef&& other) noexcept : pointer_(other.pointer_) { other.pointer_ = nullptr; }
    SharedRef& operator=(SharedRef&& other) noexcept
    {
        if (this != &other) {
            pointer_ = other.pointer_;
            other.pointer_ = nullptr;
        }
        return *this;
    }

    // Counts one more owner of `pointer` and makes this holder refer to it. A
    // pointer this holder had before is not released. Null changes nothing.
    void AddRef(T* pointer)
    {
        if (pointer == nullptr)
            return;
        add(pointer);
        pointer_ = pointer;
    }

    // Gives up this holder's reference and frees the value when it was the
    // last. The holder is left empty, so a second Release is harmless rather
    // than a second free.
    void Release()
    {
        if (pointer_ == nullptr)
            return;
        T* pointer = pointer_;
        pointer_ = nullptr;
        if (drop(pointer))
            delete pointer;
    }

    T* get() const { return pointer_; }
    T& operator*() const { return *pointer_; }

private:
    T* pointer_ = nullptr;
};
