#include "platform/random.h"

#include <cstdint>

namespace platform {

namespace {

thread_local uint32_t state = 1;

} // namespace

int random()
{
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
}

void seed_random(unsigned seed)
{
    state = seed;
}

} // namespace platform
