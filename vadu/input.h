#pragma once

// Input events, their listeners and the devices that make them. Devices push events
// onto one global queue (from any thread); once per frame the main thread's dispatch
// hands each event to the listeners. Positions and key states are read on demand with
// Manager::get_value.

#include "vadu/atom.h"
#include "vadu/hardware_manager.h"
#include "vadu/string.h"

#include <cstdint>

namespace vadu::input {

struct Event {
    static constexpr int32_t released = 0;
    static constexpr int32_t pressed = 1; // also an axis that moved
    static constexpr int32_t character = 2;

    // A button, key or axis: kind pressed or released, no text.
    Event(const String& device, const String& control, bool is_pressed, double second_value);
    // A typed character: no control.
    Event(const String& device, const WString& text, double second_value);

    String device;
    int32_t kind;
    String control;
    WString text;
    double value = 0.0;
    double second_value;
    // Non-zero keeps the event from the listeners after the one that set it.
    int32_t handled = 0;
};

// Receives every dispatched event while it lives. Main thread only.
class Listener {
public:
    // Joins the listener list; throws Gluck when the input manager does not exist.
    Listener();
    virtual ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    virtual void on_event(Event& event) = 0;

private:
    friend class Manager;
    // Tells a listener apart from an earlier one that lived at the same address.
    uint64_t serial_;
};

namespace hard {

// An input device. It registers with the input hardware manager for its lifetime.
// Dependents are told from this base's constructor and destructor, while the device's
// own part does not exist yet or any more: they may keep the pointer but must not call
// the device then.
class Hardware {
public:
    // Throws Gluck when the input hardware manager does not exist.
    Hardware();
    virtual ~Hardware();
    Hardware(const Hardware&) = delete;
    Hardware& operator=(const Hardware&) = delete;

    virtual String get_name() const = 0;
    virtual Atom get_name_atom() const = 0;
    virtual double get_value(const String& control) const = 0;
    virtual int32_t get_control_kind(const String& control) const = 0;
    virtual int32_t reserved() const { return 0; }

    static constexpr int32_t no_control = 0;
    static constexpr int32_t button = 1;
    static constexpr int32_t axis = 2;
};

} // namespace hard

class Manager {
public:
    // The event queue and the listener list. A most-derived creator builds the input
    // hardware manager first.
    class Creator : public virtual HardwareManager<hard::Hardware>::Creator {
    public:
        // Throws Gluck when the queue or the listener list exists already.
        Creator();
        // Drops the events still queued.
        ~Creator() override;
    };

    Manager() = delete;

    // Any thread. Dropped when there is no queue: nobody could receive it.
    static void push_event(const Event& event);
    // Main thread. Hands every queued event, in push order, to the listeners in the order
    // they registered, until the queue is empty; events pushed meanwhile come in the
    // same call. A listener destroyed meanwhile is skipped, one added meanwhile sees only
    // the following events, and a handled event goes to no further listener.
    static void dispatch();
    // The device's value of the control; 0.0 when there is no such device.
    static double get_value(const String& device, const String& control);
    // The first device with exactly this name (case-sensitive); null when none.
    static hard::Hardware* find_device(const String& name);
};

} // namespace vadu::input
