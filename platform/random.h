#pragma once

// The engine's random numbers: the classic linear congruential generator, so a seed
// replays the same sequence on every machine.

namespace platform {

constexpr int random_max = 32767;

// Next value in 0..random_max. The state is per thread and starts at seed 1.
int random();
void seed_random(unsigned seed);

} // namespace platform
