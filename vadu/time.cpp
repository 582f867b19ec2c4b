#include "vadu/time.h"

#include "platform/clock.h"

namespace vadu::time {

namespace {

// Both readings are asked for every time, so ticks and period always agree on
// whether the high-resolution counter or the millisecond count is in use.
bool read_high_resolution(int64_t* ticks, int64_t* per_second)
{
    return platform::query_performance_frequency(per_second) && *per_second > 0 &&
           platform::query_performance_counter(ticks);
}

} // namespace

int64_t get_ticks()
{
    int64_t ticks = 0;
    int64_t frequency = 0;
    if (read_high_resolution(&ticks, &frequency))
        return ticks;
    return static_cast<int64_t>(static_cast<uint64_t>(platform::get_tick_count()));
}

double get_tick_period()
{
    int64_t ticks = 0;
    int64_t frequency = 0;
    if (read_high_resolution(&ticks, &frequency))
        return 1.0 / static_cast<double>(frequency);
    return 0.001;
}

} // namespace vadu::time
