#pragma once

// Services by type: every framework object finds what it needs by asking the provider for
// a service type. Type ids are drawn from one process-wide counter on a type's first use.

#include <cstdint>
#include <map>
#include <memory>

#include "game/diagnostics.h"

namespace game {

// Base of everything registered in a provider.
class Service {
public:
    virtual ~Service() = default;
};

namespace detail {
int32_t draw_service_id();
} // namespace detail

template <class T>
int32_t service_id()
{
    static const int32_t id = detail::draw_service_id();
    return id;
}

class ServiceProvider {
public:
    ServiceProvider() = default;
    ServiceProvider(const ServiceProvider&) = delete;
    ServiceProvider& operator=(const ServiceProvider&) = delete;
    // Deletes the services in increasing id order.
    virtual ~ServiceProvider();

    // Null, with the diagnostic "Couldn't find requested service", when T was never
    // registered.
    template <class T>
    T* Get()
    {
        const auto found = services_.find(service_id<T>());
        if (found == services_.end()) {
            GAME_FAIL("Couldn't find requested service");
            return nullptr;
        }
        return static_cast<T*>(found->second);
    }

    // Takes ownership. A type that holds a service already keeps the first one; the new one
    // is deleted. Returns whether it was stored.
    template <class T>
    bool Register(std::unique_ptr<T> service)
    {
        return Adopt(service_id<T>(), std::unique_ptr<Service>(service.release()));
    }

    // The same, by id (services moved from another provider keep their ids).
    bool Adopt(int32_t id, std::unique_ptr<Service> service);
    // Gives up every service without deleting it; the map is empty afterwards.
    std::map<int32_t, Service*> ReleaseAll();
    size_t GetServiceCount() const noexcept { return services_.size(); }

protected:
    // Deletes the services in increasing id order and empties the map.
    void DeleteServices();

private:
    std::map<int32_t, Service*> services_;
};

} // namespace game
