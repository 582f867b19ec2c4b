#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>

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

// Counts of fixed_step_frequency; read from any thread, moved by the frame's thread.
class FixedStepSource final : public TickSource {
public:
    bool query_performance_counter(int64_t* ticks) override
    {
        if (!ticks)
            return false;
        *ticks = count.load(std::memory_order_acquire);
        return true;
    }

    bool query_performance_frequency(int64_t* per_second) override
    {
        if (!per_second)
            return false;
        *per_second = fixed_step_frequency;
        return true;
    }

    uint32_t get_tick_count() override
    {
        return static_cast<uint32_t>(static_cast<uint64_t>(count.load(std::memory_order_acquire) * 1000
                                                           / fixed_step_frequency));
    }

    std::atomic<int64_t> count{fixed_step_frequency};
};

SystemTickSource system_source;
FixedStepSource fixed_source;
std::atomic<TickSource*> installed_source{nullptr};
std::atomic<bool> fixed_step{false};

TickSource& current()
{
    TickSource* source = installed_source.load();
    if (source)
        return *source;
    if (fixed_step.load(std::memory_order_acquire))
        return fixed_source;
    return system_source;
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

void set_fixed_step(bool on)
{
    if (on)
        fixed_source.count.store(fixed_step_frequency, std::memory_order_release);
    fixed_step.store(on, std::memory_order_release);
}

bool is_fixed_step()
{
    return fixed_step.load(std::memory_order_acquire);
}

void advance_fixed_step()
{
    if (is_fixed_step())
        fixed_source.count.fetch_add(fixed_step_ticks, std::memory_order_acq_rel);
}

bool fixed_step_wanted(bool headless)
{
    const char* value = std::getenv("QUILLO_FIXED_STEP");
    return headless && !(value && std::string(value) == "0");
}

} // namespace platform
