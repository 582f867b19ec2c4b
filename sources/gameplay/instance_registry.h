#pragma once

// One slot per type for the gameplay objects others find by type while they run: the
// running level, its HUD, the fish. An object registers itself while it lives and
// unregisters in its destructor; a slot holds one object at a time.

#include <map>
#include <typeindex>

namespace gameplay {

class InstanceRegistry {
public:
    template <typename T>
    static void Register(T* instance)
    {
        Slots()[std::type_index(typeid(T))] = instance;
    }

    // Empties the slot only when it still holds this instance.
    template <typename T>
    static void Unregister(T* instance)
    {
        auto& slots = Slots();
        const auto it = slots.find(std::type_index(typeid(T)));
        if (it != slots.end() && it->second == instance)
            slots.erase(it);
    }

    // Null when nothing is registered under the type.
    template <typename T>
    static T* Get()
    {
        auto& slots = Slots();
        const auto it = slots.find(std::type_index(typeid(T)));
        return it == slots.end() ? nullptr : static_cast<T*>(it->second);
    }

    static void ResetForTests() { Slots().clear(); }

private:
    static std::map<std::type_index, void*>& Slots()
    {
        static std::map<std::type_index, void*> slots;
        return slots;
    }
};

} // namespace gameplay
