#include "vadu/input.h"

#include "vadu/exception.h"
#include "vadu/hardware_manager.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace input_test_file {

using vadu::input::Event;
using vadu::input::Manager;
using vadu::input::hard::Hardware;
using Devices = vadu::HardwareManager<Hardware>;

std::string to_std(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

// Notes "<name>:<control>" for every event it receives; `action` runs afterwards.
class RecordingListener : public vadu::input::Listener {
public:
    RecordingListener(std::vector<std::string>& journal, std::string name) : journal_(journal), name_(std::move(name))
    {
    }

    void on_event(Event& event) override
    {
        journal_.push_back(name_ + ":" + to_std(event.control));
        if (action)
            action(event);
    }

    std::function<void(Event&)> action;

private:
    std::vector<std::string>& journal_;
    std::string name_;
};

Event press(const char* control)
{
    return Event("Test", control, true, 0.0);
}

class InputManager : public ::testing::Test {
protected:
    // Most-derived: builds the input hardware manager too.
    std::unique_ptr<Manager::Creator> creator = std::make_unique<Manager::Creator>();
    std::vector<std::string> journal;
};

TEST(InputEvent, ConstructorsSetKindControlAndText)
{
    const Event pressed("Mouse", "Left Button", true, 2.5);
    EXPECT_EQ(to_std(pressed.device), "Mouse");
    EXPECT_EQ(pressed.kind, Event::pressed);
    EXPECT_EQ(to_std(pressed.control), "Left Button");
    EXPECT_TRUE(pressed.text.empty());
    EXPECT_EQ(pressed.value, 0.0);
    EXPECT_EQ(pressed.second_value, 2.5);
    EXPECT_EQ(pressed.handled, 0);

    EXPECT_EQ(Event("Keyboard", "A", false, 0.0).kind, Event::released);

    const Event typed("Keyboard", vadu::WString(u"\u00e9"), 0.0);
    EXPECT_EQ(typed.kind, Event::character);
    EXPECT_TRUE(typed.control.empty());
    ASSERT_EQ(typed.text.size(), 1u);
    EXPECT_EQ(typed.text[0], u'\u00e9');
    EXPECT_EQ(typed.handled, 0);
}

TEST_F(InputManager, EventsWaitForDispatchAndArriveInPushAndRegistrationOrder)
{
    RecordingListener first(journal, "first");
    RecordingListener second(journal, "second");
    Manager::push_event(press("a"));
    Manager::push_event(press("b"));
    EXPECT_TRUE(journal.empty());

    Manager::dispatch();
    EXPECT_EQ(journal, (std::vector<std::string>{"first:a", "second:a", "first:b", "second:b"}));

    journal.clear();
    Manager::dispatch();
    EXPECT_TRUE(journal.empty()) << "the queue was emptied";
}

TEST_F(InputManager, HandledEventReachesNoLaterListener)
{
    RecordingListener before(journal, "before");
    RecordingListener handler(journal, "handler");
    RecordingListener after(journal, "after");
    handler.action = [](Event& event) {
        if (event.control == "mine")
            event.handled = 1;
    };
    Manager::push_event(press("mine"));
    Manager::push_event(press("other"));
    Manager::dispatch();
    EXPECT_EQ(journal, (std::vector<std::string>{"before:mine", "handler:mine", "before:other", "handler:other",
                                                 "after:other"}));
}

TEST_F(InputManager, ListenerDestroyedDuringDispatchIsSkipped)
{
    RecordingListener killer(journal, "killer");
    auto victim = std::make_unique<RecordingListener>(journal, "victim");
    RecordingListener last(journal, "last");
    killer.action = [&victim](Event&) { victim.reset(); };
    Manager::push_event(press("a"));
    Manager::dispatch();
    EXPECT_EQ(journal, (std::vector<std::string>{"killer:a", "last:a"}));
}

TEST_F(InputManager, ListenerThatDestroysItselfStopsOnlyItself)
{
    auto self = std::make_unique<RecordingListener>(journal, "self");
    RecordingListener other(journal, "other");
    self->action = [&self](Event&) { self.reset(); };
    Manager::push_event(press("a"));
    Manager::push_event(press("b"));
    Manager::dispatch();
    EXPECT_EQ(journal, (std::vector<std::string>{"self:a", "other:a", "other:b"}));
}

TEST_F(InputManager, ListenerAddedDuringDispatchSeesOnlyLaterEvents)
{
    RecordingListener adder(journal, "adder");
    std::unique_ptr<RecordingListener> added;
    adder.action = [&](Event&) {
        if (!added)
            added = std::make_unique<RecordingListener>(journal, "added");
    };
    Manager::push_event(press("a"));
    Manager::push_event(press("b"));
    Manager::dispatch();
    EXPECT_EQ(journal, (std::vector<std::string>{"adder:a", "adder:b", "added:b"}));
}

// A listener made in the storage of one destroyed during the same pass is new: it
// must not be taken for the old one.
TEST_F(InputManager, ListenerRebornAtTheSameAddressWaitsForTheNextEvent)
{
    RecordingListener replacer(journal, "replacer");
    alignas(RecordingListener) unsigned char storage[sizeof(RecordingListener)];
    auto* slot = new (storage) RecordingListener(journal, "old");
    replacer.action = [&](Event& event) {
        if (event.control == "a") {
            slot->~RecordingListener();
            slot = new (storage) RecordingListener(journal, "new");
        }
    };
    Manager::push_event(press("a"));
    Manager::push_event(press("b"));
    Manager::dispatch();
    EXPECT_EQ(journal, (std::vector<std::string>{"replacer:a", "replacer:b", "new:b"}));
    slot->~RecordingListener();
}

TEST_F(InputManager, EventPushedDuringDispatchIsDeliveredInTheSameCall)
{
    RecordingListener pusher(journal, "pusher");
    RecordingListener other(journal, "other");
    pusher.action = [](Event& event) {
        if (event.control == "first")
            Manager::push_event(press("echo"));
    };
    Manager::push_event(press("first"));
    Manager::push_event(press("second"));
    Manager::dispatch();
    EXPECT_EQ(journal, (std::vector<std::string>{"pusher:first", "other:first", "pusher:second", "other:second",
                                                 "pusher:echo", "other:echo"}));
}

TEST_F(InputManager, PushesFromSeveralThreadsKeepEachThreadsOrder)
{
    constexpr int threads = 4;
    constexpr int per_thread = 500;
    std::vector<std::vector<int>> seen(threads);
    class Collector : public vadu::input::Listener {
    public:
        explicit Collector(std::vector<std::vector<int>>& seen) : seen_(seen) {}
        void on_event(Event& event) override
        {
            seen_[static_cast<size_t>(event.second_value)].push_back(static_cast<int>(event.kind));
        }

    private:
        std::vector<std::vector<int>>& seen_;
    } collector(seen);

    std::vector<std::thread> pushers;
    for (int t = 0; t < threads; ++t) {
        pushers.emplace_back([t] {
            for (int i = 0; i < per_thread; ++i) {
                Event event("Test", "x", true, t);
                event.kind = i; // numbers the events of one thread
                Manager::push_event(event);
            }
        });
    }
    for (std::thread& pusher : pushers)
        pusher.join();
    Manager::dispatch();

    for (int t = 0; t < threads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<size_t>(per_thread)) << "thread " << t;
        for (int i = 0; i < per_thread; ++i)
            ASSERT_EQ(seen[t][i], i) << "thread " << t;
    }
}

// A device with a fixed name that answers its control "level".
class FakeDevice : public Hardware {
public:
    FakeDevice(const char* name, double level) : name_(name), level_(level) {}
    vadu::String get_name() const override { return name_; }
    vadu::Atom get_name_atom() const override { return vadu::Atom(name_); }
    double get_value(const vadu::String& control) const override { return control == "level" ? level_ : 0.0; }
    int32_t get_control_kind(const vadu::String& control) const override
    {
        return control == "level" ? axis : no_control;
    }

private:
    vadu::String name_;
    double level_;
};

TEST_F(InputManager, DevicesAreFoundByExactName)
{
    FakeDevice mouse("Mouse", 0.25);
    FakeDevice twin("Mouse", 0.75);
    FakeDevice pad("Pad", 0.5);
    EXPECT_EQ(Manager::find_device("Mouse"), &mouse) << "the first of two namesakes";
    EXPECT_EQ(Manager::find_device("Pad"), &pad);
    struct Case {
        const char* device;
        const char* control;
        double value;
    } const cases[] = {
        {"Mouse", "level", 0.25}, {"Pad", "level", 0.5}, {"Pad", "other", 0.0},
        {"mouse", "level", 0.0},  {"Mous", "level", 0.0}, {"Mouse ", "level", 0.0}, {"", "level", 0.0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Manager::get_value(c.device, c.control), c.value) << c.device << "/" << c.control;
        if (c.value == 0.0 && std::string(c.control) == "level") {
            EXPECT_EQ(Manager::find_device(c.device), nullptr) << c.device;
        }
    }
}

TEST_F(InputManager, DestroyedDeviceLeavesTheList)
{
    auto pad = std::make_unique<FakeDevice>("Pad", 0.5);
    ASSERT_EQ(Devices::get_hardwares().size(), 1u);
    pad.reset();
    EXPECT_TRUE(Devices::get_hardwares().empty());
    EXPECT_EQ(Manager::find_device("Pad"), nullptr);
    EXPECT_EQ(Manager::get_value("Pad", "level"), 0.0);
}

TEST_F(InputManager, SecondCreatorFailsAndLeavesTheFirstWorking)
{
    RecordingListener listener(journal, "listener");
    Manager::push_event(press("queued"));
    try {
        Manager::Creator second;
        FAIL() << "a second manager was created";
    } catch (const vadu::Gluck& error) {
        // Built most-derived, it fails on the device list it would make first.
        EXPECT_EQ(to_std(error.get_function()), "vadu::HardwareManager::Creator::Creator");
        EXPECT_EQ(to_std(error.get_description()), "hardwares already exist");
    }
    FakeDevice pad("Pad", 0.5);
    EXPECT_EQ(Manager::get_value("Pad", "level"), 0.5);
    Manager::dispatch();
    EXPECT_EQ(journal, std::vector<std::string>{"listener:queued"});
}

TEST_F(InputManager, DestroyedManagerDropsItsQueue)
{
    Manager::push_event(press("stale"));
    Manager::push_event(Event("Keyboard", vadu::WString(u"x"), 0.0));
    creator.reset();
    creator = std::make_unique<Manager::Creator>();
    RecordingListener listener(journal, "listener");
    Manager::dispatch();
    EXPECT_TRUE(journal.empty());
}

TEST(InputWithoutManager, ListenersAndDevicesFailAndTheRestDoesNothing)
{
    std::vector<std::string> journal;
    try {
        RecordingListener listener(journal, "listener");
        FAIL() << "a listener joined a list that does not exist";
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(to_std(error.get_function()), "vadu::input::Listener::Listener");
    }
    try {
        FakeDevice pad("Pad", 0.5);
        FAIL() << "a device joined a list that does not exist";
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(to_std(error.get_function()), "vadu::HardwareManager::add_hardware");
    }
    Manager::push_event(press("lost"));
    Manager::dispatch();
    EXPECT_EQ(Manager::find_device("Pad"), nullptr);
    EXPECT_EQ(Manager::get_value("Pad", "level"), 0.0);

    // A listener or device that outlives the manager leaves quietly.
    auto creator = std::make_unique<Manager::Creator>();
    auto listener = std::make_unique<RecordingListener>(journal, "listener");
    auto pad = std::make_unique<FakeDevice>("Pad", 0.5);
    creator.reset();
    listener.reset();
    pad.reset();
    creator = std::make_unique<Manager::Creator>();
    Manager::push_event(press("later"));
    Manager::dispatch();
    EXPECT_TRUE(journal.empty());
}

// --- the generic hardware manager ---------------------------------------------------

struct Gpu {
    std::string name;
};
using Gpus = vadu::HardwareManager<Gpu>;

class RecordingDependent : public Gpus::Dependent {
public:
    RecordingDependent(std::vector<std::string>& journal, std::string name) : journal_(journal), name_(std::move(name))
    {
    }
    void on_add_hardware(Gpu* gpu) override
    {
        journal_.push_back(name_ + " add " + gpu->name);
        if (on_add)
            on_add();
    }
    void on_remove_hardware(Gpu* gpu) override { journal_.push_back(name_ + " remove " + gpu->name); }

    std::function<void()> on_add;

private:
    std::vector<std::string>& journal_;
    std::string name_;
};

class HardwareRegistry : public ::testing::Test {
protected:
    Gpus::Creator creator;
    std::vector<std::string> journal;
    Gpu first{"first"};
    Gpu second{"second"};
};

TEST_F(HardwareRegistry, DependentsHearOfDevicesInRegistrationOrder)
{
    RecordingDependent a(journal, "A");
    RecordingDependent b(journal, "B");
    Gpus::add_hardware(&first);
    Gpus::add_dependent(&a); // told of the device that exists
    Gpus::add_dependent(&b);
    Gpus::add_hardware(&second);
    Gpus::notify_remove_hardware(&first);
    EXPECT_EQ(journal, (std::vector<std::string>{"A add first", "B add first", "A add second", "B add second",
                                                 "A remove first", "B remove first"}));
    EXPECT_EQ(Gpus::get_hardwares(), std::vector<Gpu*>{&second});
    EXPECT_EQ(first.name, "first") << "removal does not delete the device";

    journal.clear();
    Gpus::remove_dependent(&a);
    Gpus::add_hardware(&first);
    EXPECT_EQ(journal, (std::vector<std::string>{"A remove second", "B add first"}));
    EXPECT_EQ(Gpus::get_dependents(), std::vector<Gpus::Dependent*>{&b});
}

TEST_F(HardwareRegistry, RemovalUnlinksEveryOccurrence)
{
    RecordingDependent a(journal, "A");
    Gpus::add_hardware(&first);
    Gpus::add_hardware(&second);
    Gpus::add_hardware(&first);
    Gpus::add_dependent(&a);
    Gpus::add_dependent(&a);
    Gpus::notify_remove_hardware(&first);
    EXPECT_EQ(Gpus::get_hardwares(), std::vector<Gpu*>{&second});
    Gpus::remove_dependent(&a);
    EXPECT_TRUE(Gpus::get_dependents().empty());
}

TEST_F(HardwareRegistry, DependentRemovedWhileOthersAreToldIsNotToldAnyMore)
{
    RecordingDependent a(journal, "A");
    auto b = std::make_unique<RecordingDependent>(journal, "B");
    Gpus::add_dependent(&a);
    Gpus::add_dependent(b.get());
    a.on_add = [&b] {
        Gpus::remove_dependent(b.get());
        b.reset();
    };
    Gpus::add_hardware(&first);
    // B hears of the removal when it leaves, and of nothing after it.
    EXPECT_EQ(journal, (std::vector<std::string>{"A add first", "B remove first"}));
}

TEST_F(HardwareRegistry, SecondCreatorFailsAndLeavesTheListsAlone)
{
    Gpus::add_hardware(&first);
    EXPECT_THROW(Gpus::Creator(), vadu::Gluck);
    EXPECT_EQ(Gpus::get_hardwares(), std::vector<Gpu*>{&first});
}

TEST(HardwareRegistryWithoutCreator, AddingFailsAndRemovingDoesNothing)
{
    Gpu lone{"lone"};
    EXPECT_FALSE(Gpus::exists());
    EXPECT_THROW(Gpus::add_hardware(&lone), vadu::Gluck);
    std::vector<std::string> journal;
    RecordingDependent a(journal, "A");
    EXPECT_THROW(Gpus::add_dependent(&a), vadu::Gluck);
    Gpus::notify_remove_hardware(&lone);
    Gpus::remove_dependent(&a);
    EXPECT_TRUE(Gpus::get_hardwares().empty());
    EXPECT_TRUE(journal.empty());
}

} // namespace
