#pragma once

// The lines every benchmark ends with, one per figure it measures against a target:
//   name: value unit (target …) ok|short
// and, for a figure that could not be measured here, "name: skipped (why)".

#include <sched.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

namespace bench_support {

// `target` as it reads after "target", e.g. "<= 6 ms" or ">= 5 x".
inline void print_figure(const std::string& name, double value, const char* unit, const char* target, bool met)
{
    std::printf("%s: %.2f %s (target %s) %s\n", name.c_str(), value, unit, target, met ? "ok" : "short");
}

inline void print_skipped(const std::string& name, const std::string& why)
{
    std::printf("%s: skipped (%s)\n", name.c_str(), why.c_str());
}

// The processors this process may run on (taskset narrows them): "all cores".
inline uint32_t usable_processors()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    return static_cast<uint32_t>(std::max(1, CPU_COUNT(&set)));
}

} // namespace bench_support
