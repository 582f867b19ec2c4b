#pragma once

// The registry of one kind of hardware (input devices, render devices): the devices in
// the order they were added, and the objects that keep data per device (dependents),
// in the order they registered. Both lists exist only while the manager's creator
// lives. Main thread only; the lists are not locked.

#include "vadu/exception.h"

#include <algorithm>
#include <vector>

namespace vadu {

template <class T>
class HardwareManager {
public:
    // Told of every device that joins or leaves. Kept by pointer, not owned.
    class Dependent {
    public:
        virtual void on_add_hardware(T* hardware) = 0;
        virtual void on_remove_hardware(T* hardware) = 0;

    protected:
        ~Dependent() = default;
    };

    // Makes both lists empty; throws Gluck when they exist already, leaving them alone.
    // Its destructor frees the lists; the devices and dependents themselves stay.
    class Creator {
    public:
        Creator()
        {
            if (hardwares_ || dependents_)
                throw Gluck("vadu::HardwareManager::Creator::Creator", "hardwares already exist");
            hardwares_ = new std::vector<T*>;
            dependents_ = new std::vector<Dependent*>;
        }
        virtual ~Creator()
        {
            delete hardwares_;
            hardwares_ = nullptr;
            delete dependents_;
            dependents_ = nullptr;
        }
        Creator(const Creator&) = delete;
        Creator& operator=(const Creator&) = delete;
    };

    HardwareManager() = delete;

    static bool exists() { return hardwares_ != nullptr; }

    // Appends the device, then tells every dependent. Throws Gluck without a manager.
    static void add_hardware(T* hardware)
    {
        if (!hardwares_)
            throw Gluck("vadu::HardwareManager::add_hardware", "hardwares don't exist");
        hardwares_->push_back(hardware);
        for_each_dependent([hardware](Dependent* dependent) { dependent->on_add_hardware(hardware); });
    }

    // Tells every dependent, then unlinks every occurrence of the device; it is not
    // deleted. Does nothing without a manager.
    static void notify_remove_hardware(T* hardware)
    {
        if (!hardwares_)
            return;
        for_each_dependent([hardware](Dependent* dependent) { dependent->on_remove_hardware(hardware); });
        if (hardwares_)
            std::erase(*hardwares_, hardware);
    }

    // Tells the dependent of every existing device, then appends it, so that it has data
    // for every device at once. Throws Gluck without a manager.
    static void add_dependent(Dependent* dependent)
    {
        if (!dependents_)
            throw Gluck("vadu::HardwareManager::add_dependent", "hardwares don't exist");
        const std::vector<T*> hardwares = *hardwares_;
        for (T* hardware : hardwares)
            dependent->on_add_hardware(hardware);
        dependents_->push_back(dependent);
    }

    // Tells the dependent of the removal of every device, then unlinks every occurrence
    // of it. Does nothing without a manager.
    static void remove_dependent(Dependent* dependent)
    {
        if (!dependents_)
            return;
        const std::vector<T*> hardwares = *hardwares_;
        for (T* hardware : hardwares)
            dependent->on_remove_hardware(hardware);
        if (dependents_)
            std::erase(*dependents_, dependent);
    }

    // Empty without a manager.
    static const std::vector<T*>& get_hardwares()
    {
        static const std::vector<T*> none;
        return hardwares_ ? *hardwares_ : none;
    }
    static const std::vector<Dependent*>& get_dependents()
    {
        static const std::vector<Dependent*> none;
        return dependents_ ? *dependents_ : none;
    }

private:
    // Over a copy, so that a dependent may register or leave while it is told; one that
    // left meanwhile is not told any more.
    template <class Call>
    static void for_each_dependent(Call call)
    {
        const std::vector<Dependent*> dependents = *dependents_;
        for (Dependent* dependent : dependents) {
            if (!dependents_)
                return;
            if (std::find(dependents_->begin(), dependents_->end(), dependent) != dependents_->end())
                call(dependent);
        }
    }

    static inline std::vector<T*>* hardwares_ = nullptr;
    static inline std::vector<Dependent*>* dependents_ = nullptr;
};

} // namespace vadu
