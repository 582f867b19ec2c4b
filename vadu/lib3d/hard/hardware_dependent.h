#pragma once

// Per-device data of an object that owns device resources: one (hardware, data) pair per
// registered hardware, kept up to date by the hardware manager.

#include <algorithm>
#include <memory>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "vadu/exception.h"
#include "vadu/hardware_manager.h"
#include "vadu/string.h"

namespace vadu {

namespace detail {

template <class Hardware>
Hardware* hardware_of(HardwareManager<Hardware>*);

// The qualified name of T as the compiler spells it.
template <class T>
std::string_view type_name()
{
    std::string_view text = __PRETTY_FUNCTION__;
    const size_t start = text.find("T = ");
    if (start == std::string_view::npos)
        return "?";
    text.remove_prefix(start + 4);
    return text.substr(0, text.find_first_of(";]"));
}

} // namespace detail

// The word a type is declared with, as it appears in the function names of errors.
// Specialise it as "struct" right after a data type declared with struct.
template <class T>
inline constexpr const char* declared_as = "class";

// Manager: the hardware manager class (a HardwareManager<Hardware> or derived from one);
// T: the data kept per hardware, owned by the pairs.
//
// The object registers itself (Manager::add_dependent(this)) once it is constructed and
// unregisters (Manager::remove_dependent(this)) first thing in its destructor, so that its
// own overrides see every hardware come and go. Should it forget, this destructor
// unregisters it, dropping the data without calling those overrides.
template <class Manager, class T>
class HardwareDependentObject : public Manager::Dependent {
public:
    using Hardware = std::remove_pointer_t<decltype(detail::hardware_of(static_cast<Manager*>(nullptr)))>;
    using Pair = std::pair<Hardware*, std::unique_ptr<T>>;

    HardwareDependentObject() = default;
    virtual ~HardwareDependentObject()
    {
        const auto& dependents = Manager::get_dependents();
        typename Manager::Dependent* self = this;
        if (std::find(dependents.begin(), dependents.end(), self) != dependents.end())
            Manager::remove_dependent(this);
    }
    HardwareDependentObject(const HardwareDependentObject&) = delete;
    HardwareDependentObject& operator=(const HardwareDependentObject&) = delete;

    // Adds a pair with no data yet.
    void on_add_hardware(Hardware* hardware) override { add_data(hardware, nullptr); }
    // Destroys the data of every pair of the hardware and removes those pairs, keeping
    // the order of the others.
    void on_remove_hardware(Hardware* hardware) override
    {
        std::erase_if(pairs_, [hardware](const Pair& pair) { return pair.first == hardware; });
    }

    // The data of the hardware's first pair (null when its pair has none yet). Throws
    // Gluck "Data not found" when the hardware has no pair.
    T* find_data(const Hardware* hardware) const
    {
        for (const Pair& pair : pairs_) {
            if (pair.first == hardware)
                return pair.second.get();
        }
        throw Gluck(function_name("find_data"), "Data not found");
    }

    const std::vector<Pair>& get_pairs() const noexcept { return pairs_; }

    // "vadu::HardwareDependentObject<class Manager,class T>::" followed by the operation.
    static String function_name(const char* operation)
    {
        String name("vadu::HardwareDependentObject<");
        append_type<Manager>(name);
        name += ",";
        append_type<T>(name);
        name += ">::";
        name += operation;
        return name;
    }

protected:
    T* add_data(Hardware* hardware, std::unique_ptr<T> data)
    {
        pairs_.emplace_back(hardware, std::move(data));
        return pairs_.back().second.get();
    }

    std::vector<Pair> pairs_;

private:
    template <class U>
    static void append_type(String& name)
    {
        const std::string_view type = detail::type_name<U>();
        name += declared_as<U>;
        name += " ";
        name.append(type.data(), type.data() + type.size());
    }
};

} // namespace vadu
