#include "game/service_provider.h"

namespace game {

namespace detail {
int32_t draw_service_id()
{
    static int32_t counter = 0;
    return counter++;
}
} // namespace detail

ServiceProvider::~ServiceProvider()
{
    DeleteServices();
}

bool ServiceProvider::Adopt(int32_t id, std::unique_ptr<Service> service)
{
    if (!service)
        return false;
    if (services_.count(id) != 0)
        return false; // the refused service dies with the unique_ptr
    services_[id] = service.release();
    return true;
}

std::map<int32_t, Service*> ServiceProvider::ReleaseAll()
{
    std::map<int32_t, Service*> all;
    all.swap(services_);
    return all;
}

void ServiceProvider::DeleteServices()
{
    while (!services_.empty()) {
        auto first = services_.begin();
        Service* service = first->second;
        services_.erase(first);
        delete service;
    }
}

} // namespace game
