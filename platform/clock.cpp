#include "platform/clock.h"

#include <atomic>
#include <chrono>

namespace platform {

namespace {

class SystemTickSource final : public TickSource {
public:
    bool query_performance_counter(int64_t* ticks) override
    {
        if (!ticks)
            return false;
        *ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(
                     std::chrono::steady_clock::now().time_since_epoch())
                     .count();
        return true;
    }

    bool query_performance_frequency(int64_t* per_second) override
    {
        if (!per_second)
            return false;
        *per_second = 1'000'000'000;
        return true;
    }

    uint32_t get_tick_count() override
    {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        return static_cast<uint32_t>(static_cast<uint64_t>(ms.count()));
    }
};

SystemTickSource system_source;
std::atomic<TickSource*> installed_source{nullptr};

TickSource& current()
{
    TickSource* source = installed_source.load();
    return source ? *source : system_source;
}

} // namespace

void set_tick_source(TickSource* source)
{
    installed_source.store(source);
}

bool query_performance_counter(int64_t* ticks)
{
    return current().query_performance_counter(ticks);
}

bool query_performance_frequency(int64_t* per_second)
{
    return current().query_performance_frequency(per_second);
}

uint32_t get_tick_count()
{
    return current().get_tick_count();
}

} // namespace platform
