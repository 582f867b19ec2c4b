#pragma once

#include <cstdint>

namespace vadu::time {

// Current tick count: the high-resolution counter, or milliseconds when the
// machine has none. Elapsed seconds are (later - earlier) * get_tick_period().
int64_t get_ticks();

// Seconds per tick; 0.001 when there is no high-resolution counter.
double get_tick_period();

} // namespace vadu::time
