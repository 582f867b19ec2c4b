#include "vadu/input.h"

#include "vadu/exception.h"
#include "vadu/threads.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

namespace vadu::input {
namespace {

// Guards the queue pointer and the queue. It outlives every creator, so that a device
// on another thread may push while the manager comes and goes.
threads::Mutex& queue_mutex()
{
    static threads::Mutex mutex;
    return mutex;
}

std::deque<Event>* queue = nullptr;
std::vector<Listener*>* listeners = nullptr;
uint64_t next_listener_serial = 1;

std::optional<Event> pop_front()
{
    threads::ScopedLock lock(queue_mutex());
    if (!queue || queue->empty())
        return std::nullopt;
    std::optional<Event> event(std::move(queue->front()));
    queue->pop_front();
    return event;
}

} // namespace

// --- Event ---------------------------------------------------------------------------

Event::Event(const String& device_name, const String& control_name, bool is_pressed, double second)
    : device(device_name), kind(is_pressed ? pressed : released), control(control_name), second_value(second)
{
}

Event::Event(const String& device_name, const WString& typed, double second)
    : device(device_name), kind(character), text(typed), second_value(second)
{
}

// --- Listener ------------------------------------------------------------------------

Listener::Listener() : serial_(next_listener_serial++)
{
    if (!listeners)
        throw Gluck("vadu::input::Listener::Listener", "listeners don't exist");
    listeners->push_back(this);
}

Listener::~Listener()
{
    if (listeners)
        std::erase(*listeners, this);
}

// --- Hardware --------------------------------------------------------------------------

hard::Hardware::Hardware()
{
    vadu::HardwareManager<Hardware>::add_hardware(this);
}

hard::Hardware::~Hardware()
{
    vadu::HardwareManager<Hardware>::notify_remove_hardware(this);
}

// --- Manager ---------------------------------------------------------------------------

Manager::Creator::Creator()
{
    threads::ScopedLock lock(queue_mutex());
    if (queue || listeners)
        throw Gluck("vadu::input::Manager::Creator::Creator", "queue or listeners already exist");
    queue = new std::deque<Event>;
    listeners = new std::vector<Listener*>;
}

Manager::Creator::~Creator()
{
    threads::ScopedLock lock(queue_mutex());
    delete queue;
    queue = nullptr;
    delete listeners;
    listeners = nullptr;
}

void Manager::push_event(const Event& event)
{
    threads::ScopedLock lock(queue_mutex());
    if (queue)
        queue->push_back(event);
}

void Manager::dispatch()
{
    for (;;) {
        std::optional<Event> event = pop_front();
        if (!event)
            return;
        if (!listeners)
            continue;

        std::vector<std::pair<Listener*, uint64_t>> pass;
        pass.reserve(listeners->size());
        for (Listener* listener : *listeners)
            pass.emplace_back(listener, listener->serial_);

        for (const auto& [listener, serial] : pass) {
            // A listener may destroy others (or the manager) while it handles the event.
            if (!listeners)
                break;
            const bool live = std::find(listeners->begin(), listeners->end(), listener) != listeners->end();
            if (!live || listener->serial_ != serial)
                continue;
            listener->on_event(*event);
            if (event->handled != 0)
                break;
        }
    }
}

double Manager::get_value(const String& device, const String& control)
{
    const hard::Hardware* hardware = find_device(device);
    return hardware ? hardware->get_value(control) : 0.0;
}

hard::Hardware* Manager::find_device(const String& name)
{
    for (hard::Hardware* hardware : vadu::HardwareManager<hard::Hardware>::get_hardwares()) {
        if (hardware->get_name() == name)
            return hardware;
    }
    return nullptr;
}

} // namespace vadu::input
