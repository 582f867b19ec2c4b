#pragma once

// Non-owning pointers that notice the death of what they point at. Nothing is counted
// or allocated: the weak pointers to one object form a doubly linked list threaded
// through the pointers themselves, and the object's destructor empties them all.
// Main thread only; nothing here is locked.

namespace vadu {

class WeakPtr;

// Base of every object that weak pointers may point at.
class Trackable {
public:
    Trackable() noexcept = default;
    // A copy is a new object: the weak pointers to the source keep pointing at the source.
    Trackable(const Trackable&) noexcept {}
    Trackable& operator=(const Trackable&) noexcept { return *this; }
    // Resets every weak pointer that points here, newest first.
    virtual ~Trackable();

    // Points the weak pointer here, at the head of this object's list (taking it out of
    // any list it was in).
    void add_weak_ptr(WeakPtr& pointer) noexcept;

private:
    friend class WeakPtr;
    WeakPtr* head_ = nullptr;
};

class WeakPtr {
public:
    WeakPtr() noexcept = default;
    // A copy points at the same target and is linked separately.
    WeakPtr(const WeakPtr& other) noexcept;
    WeakPtr& operator=(const WeakPtr& other) noexcept;
    virtual ~WeakPtr();

    // Empties the pointer and unlinks it. An override must call this one: the target's
    // destructor relies on it to unlink the pointer.
    virtual void reset() noexcept;
    // Points at the target (null empties the pointer); the pointer moves to the head of
    // the target's list, also when the target is the current one.
    void assign(Trackable* target) noexcept;

    Trackable* get() const noexcept { return target_; }

private:
    friend class Trackable;
    void unlink() noexcept;

    WeakPtr* next_ = nullptr;       // the next pointer on the same target
    WeakPtr** previous_ = nullptr;  // the field that points at this one; null when unlinked
    Trackable* target_ = nullptr;
};

} // namespace vadu
