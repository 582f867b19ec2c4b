#pragma once

// How many processors this process may keep busy: not the machine's count, but the ones
// it may run on (its affinity, which taskset narrows) and, in a container, the processor
// time its control group allows.

#include <cstdint>
#include <filesystem>

namespace platform {

// The processors the calling thread may run on, fewer when a control group's processor
// quota allows less time than they have (the quota divided by its period, rounded up;
// the smallest along the group and its ancestors); at least 1.
uint32_t usable_processors();

// The same from a count of processors to run on and a file-system root under which
// "proc/self/cgroup" and "sys/fs/cgroup" are read (the quota files of version 2,
// "cpu.max", and of version 1, "cpu.cfs_quota_us" with "cpu.cfs_period_us"); files that
// are missing or unreadable limit nothing.
uint32_t usable_processors(uint32_t runnable, const std::filesystem::path& root);

} // namespace platform
