#pragma once

// Time-driven objects: everything that advances with the game clock once per frame.

namespace vadu::animate {

// A soul joins the global update list when built and is advanced by update_all once per
// frame, in list order. The lists live from the construction of Soul::Creator to its
// destruction. Main thread only; nothing here is locked.
class Soul {
public:
    // Makes the update list and the deferred-delete list. Throws vadu::Gluck
    // "Souls already created" when they exist. Its destructor drops both lists without
    // deleting the souls named in them.
    class Creator {
    public:
        Creator();
        virtual ~Creator();
        Creator(const Creator&) = delete;
        Creator& operator=(const Creator&) = delete;
    };

    // Registered at the end of the update list. Throws vadu::Gluck when no
    // Soul::Creator exists.
    Soul();
    // Always registered, whatever the state of the source.
    Soul(const Soul& other);
    // Keeps this soul's own place in the lists.
    Soul& operator=(const Soul&) noexcept { return *this; }
    // Leaves the update list and drops out of the deferred-delete list.
    virtual ~Soul();

    // Advances the soul by dt seconds.
    virtual void update(double dt) = 0;

    // True joins the end of the update list (so reactivation changes the update order),
    // false leaves it; repeating the current state changes nothing.
    void set_active(bool active);
    // Queues the soul for deletion at the end of the current or next update_all; it keeps
    // being updated until then. Queuing it again, or deleting it in between, is harmless.
    void delete_later();

    // Updates every registered soul with dt, in list order (souls that join during the
    // walk are updated in the same pass, souls that leave are skipped), then deletes the
    // queued souls in the order they were queued. Does nothing without a Soul::Creator.
    static void update_all(double dt);

private:
    bool registered_ = false;
};

} // namespace vadu::animate
