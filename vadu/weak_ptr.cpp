#include "vadu/weak_ptr.h"

namespace vadu {

Trackable::~Trackable()
{
    while (WeakPtr* pointer = head_) {
        pointer->reset();
        // An override of reset that forgot to unlink would keep us here for ever.
        if (head_ == pointer)
            pointer->WeakPtr::reset();
    }
}

void Trackable::add_weak_ptr(WeakPtr& pointer) noexcept
{
    pointer.unlink();
    pointer.target_ = this;
    pointer.next_ = head_;
    if (head_)
        head_->previous_ = &pointer.next_;
    pointer.previous_ = &head_;
    head_ = &pointer;
}

WeakPtr::WeakPtr(const WeakPtr& other) noexcept
{
    assign(other.target_);
}

WeakPtr& WeakPtr::operator=(const WeakPtr& other) noexcept
{
    if (this != &other)
        assign(other.target_);
    return *this;
}

WeakPtr::~WeakPtr()
{
    unlink();
}

void WeakPtr::reset() noexcept
{
    target_ = nullptr;
    unlink();
}

void WeakPtr::assign(Trackable* target) noexcept
{
    if (target) {
        target->add_weak_ptr(*this);
    } else {
        unlink();
        target_ = nullptr;
    }
}

void WeakPtr::unlink() noexcept
{
    if (previous_) {
        *previous_ = next_;
        if (next_)
            next_->previous_ = previous_;
    }
    next_ = nullptr;
    previous_ = nullptr;
}

} // namespace vadu
