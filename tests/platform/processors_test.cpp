#include "platform/processors.h"

#include "platform/gfx/raster.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_folder.h"

namespace processors_test_file {

namespace fs = std::filesystem;

constexpr const char* kUnified = "30 23 0:26 / /sys/fs/cgroup rw,nosuid shared:4 - cgroup2 cgroup2 rw,nsdelegate\n";
constexpr const char* kVersion1Cpu =
    "35 30 0:30 / /sys/fs/cgroup/cpu,cpuacct rw,nosuid shared:10 - cgroup cgroup rw,cpu,cpuacct\n"
    "36 30 0:31 / /sys/fs/cgroup/memory rw,nosuid shared:11 - cgroup cgroup rw,memory\n";
// A container's own group mounted as the hierarchy's root.
constexpr const char* kVersion1Container =
    "35 30 0:30 /docker/c0ffee /sys/fs/cgroup/cpu,cpuacct ro,nosuid master:10 - cgroup cgroup rw,cpu,cpuacct\n";

void write(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

struct QuotaCase {
    const char* name;
    uint32_t runnable;
    const char* mountinfo;
    const char* cgroup;
    std::vector<std::pair<const char*, const char*>> files; // under the root
    uint32_t expected;
};

TEST(Processors, TheControlGroupQuotaLimitsTheProcessorsToRunOn)
{
    const std::vector<QuotaCase> cases = {
        {"no control groups", 8, "", "", {}, 8},
        {"version 2, a quota of one and a half processors", 8, kUnified, "0::/user.slice/game.scope\n",
         {{"sys/fs/cgroup/user.slice/game.scope/cpu.max", "150000 100000\n"}}, 2},
        {"version 2, half a processor", 8, kUnified, "0::/game\n", {{"sys/fs/cgroup/game/cpu.max", "50000 100000\n"}},
         1},
        {"version 2, no limit", 8, kUnified, "0::/game\n", {{"sys/fs/cgroup/game/cpu.max", "max 100000\n"}}, 8},
        {"version 2, an ancestor's quota is smaller", 8, kUnified, "0::/outer/inner\n",
         {{"sys/fs/cgroup/outer/inner/cpu.max", "400000 100000\n"},
          {"sys/fs/cgroup/outer/cpu.max", "100000 100000\n"}},
         1},
        {"version 2, a container sees its group as the root", 8, kUnified, "0::/\n",
         {{"sys/fs/cgroup/cpu.max", "250000 100000\n"}}, 3},
        {"a quota above the processors to run on", 4, kUnified, "0::/game\n",
         {{"sys/fs/cgroup/game/cpu.max", "1600000 100000\n"}}, 4},
        {"an unreadable quota", 8, kUnified, "0::/game\n", {{"sys/fs/cgroup/game/cpu.max", "lots\n"}}, 8},
        {"version 1, a quota of two processors", 8, kVersion1Cpu,
         "5:memory:/game\n4:cpu,cpuacct:/game\n0::/game\n",
         {{"sys/fs/cgroup/cpu,cpuacct/game/cpu.cfs_quota_us", "200000\n"},
          {"sys/fs/cgroup/cpu,cpuacct/game/cpu.cfs_period_us", "100000\n"}},
         2},
        {"version 1, no limit", 8, kVersion1Cpu, "4:cpu,cpuacct:/game\n",
         {{"sys/fs/cgroup/cpu,cpuacct/game/cpu.cfs_quota_us", "-1\n"},
          {"sys/fs/cgroup/cpu,cpuacct/game/cpu.cfs_period_us", "100000\n"}},
         8},
        {"version 1, a container's group mounted as the root", 8, kVersion1Container, "4:cpu,cpuacct:/docker/c0ffee\n",
         {{"sys/fs/cgroup/cpu,cpuacct/cpu.cfs_quota_us", "300000\n"},
          {"sys/fs/cgroup/cpu,cpuacct/cpu.cfs_period_us", "100000\n"}},
         3},
        {"a quota file of a hierarchy without the processor controller", 8, kVersion1Cpu, "5:memory:/game\n",
         {{"sys/fs/cgroup/memory/game/cpu.cfs_quota_us", "100000\n"},
          {"sys/fs/cgroup/memory/game/cpu.cfs_period_us", "100000\n"}},
         8},
    };
    for (const QuotaCase& c : cases) {
        SCOPED_TRACE(c.name);
        test_support::TempFolder root("quillo-processors");
        ASSERT_FALSE(root.root().empty());
        if (*c.mountinfo)
            write(root.root() / "proc/self/mountinfo", c.mountinfo);
        if (*c.cgroup)
            write(root.root() / "proc/self/cgroup", c.cgroup);
        for (const auto& [path, text] : c.files)
            write(root.root() / path, text);
        EXPECT_EQ(platform::usable_processors(c.runnable, root.root()), c.expected);
    }
}

// Narrows this thread to one processor for the test's length.
class OneProcessor {
public:
    OneProcessor()
    {
        CPU_ZERO(&saved_);
        sched_getaffinity(0, sizeof saved_, &saved_);
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &saved_)) {
                CPU_SET(cpu, &one);
                break;
            }
        }
        narrowed_ = sched_setaffinity(0, sizeof one, &one) == 0;
    }
    ~OneProcessor() { sched_setaffinity(0, sizeof saved_, &saved_); }
    bool narrowed() const { return narrowed_; }

private:
    cpu_set_t saved_;
    bool narrowed_ = false;
};

TEST(Processors, TheRasterizerDrawsWithTheProcessorsTheProcessMayRunOn)
{
    {
        OneProcessor one;
        ASSERT_TRUE(one.narrowed());
        EXPECT_EQ(platform::usable_processors(), 1u);
        platform::gfx::raster::set_thread_count(0);
        EXPECT_EQ(platform::gfx::raster::thread_count(), 1u);
    }
    cpu_set_t all;
    CPU_ZERO(&all);
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    platform::gfx::raster::set_thread_count(0);
    EXPECT_LE(platform::gfx::raster::thread_count(), static_cast<uint32_t>(CPU_COUNT(&all)));
    EXPECT_EQ(platform::gfx::raster::thread_count(), platform::usable_processors());
}

} // namespace processors_test_file
