#pragma once

#include <cstdint>

namespace platform {

// Where the clock functions take their readings. The default reads the system's
// monotonic clock; tests install their own to choose counts or to simulate a
// machine without a high-resolution counter.
class TickSource {
public:
    virtual ~TickSource() = default;
    virtual bool query_performance_counter(int64_t* ticks) = 0;
    virtual bool query_performance_frequency(int64_t* per_second) = 0;
    virtual uint32_t get_tick_count() = 0;
};

// Installs a source (not owned); nullptr restores the system clock.
void set_tick_source(TickSource* source);

// High-resolution monotonic count; false when there is none.
bool query_performance_counter(int64_t* ticks);
// Counts per second of query_performance_counter; false when there is no counter.
bool query_performance_frequency(int64_t* per_second);
// Milliseconds of the monotonic clock, wrapping at 32 bits.
uint32_t get_tick_count();

// Frame time instead of wall time, so that unattended runs repeat exactly: while on,
// the clock stands still except that every advance_fixed_step() moves it by exactly
// 1/60 s (an installed tick source still comes first). It starts one second after its
// zero. Turning it on again starts it afresh.
constexpr int64_t fixed_step_frequency = 60'000'000; // counts per second: a frame is a whole number
constexpr int64_t fixed_step_ticks = fixed_step_frequency / 60;
void set_fixed_step(bool on);
bool is_fixed_step();
void advance_fixed_step();
// On for headless runs unless QUILLO_FIXED_STEP=0; off with a display.
bool fixed_step_wanted(bool headless);

} // namespace platform
