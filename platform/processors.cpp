#include "platform/processors.h"

#include <sched.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace platform {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> first_line(const fs::path& path)
{
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::nullopt;
    return line;
}

std::optional<long long> whole_number(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0')
        return std::nullopt;
    return value;
}

// Processors' worth of time that a quota of `quota` per `period` allows, rounded up.
std::optional<uint32_t> processors_of(long long quota, long long period)
{
    if (quota <= 0 || period <= 0)
        return std::nullopt;
    const double processors = std::ceil(static_cast<double>(quota) / static_cast<double>(period));
    return static_cast<uint32_t>(std::clamp(processors, 1.0, 65536.0));
}

// "max 100000" (no limit) or "150000 100000".
std::optional<uint32_t> quota_v2(const fs::path& group)
{
    const auto line = first_line(group / "cpu.max");
    if (!line)
        return std::nullopt;
    std::istringstream words(*line);
    std::string quota, period;
    words >> quota >> period;
    const auto q = whole_number(quota);
    const auto p = whole_number(period);
    if (!q || !p)
        return std::nullopt;
    return processors_of(*q, *p);
}

// A quota of -1 is no limit.
std::optional<uint32_t> quota_v1(const fs::path& group)
{
    const auto quota = first_line(group / "cpu.cfs_quota_us");
    const auto period = first_line(group / "cpu.cfs_period_us");
    if (!quota || !period)
        return std::nullopt;
    const auto q = whole_number(*quota);
    const auto p = whole_number(*period);
    if (!q || !p)
        return std::nullopt;
    return processors_of(*q, *p);
}

struct Mount {
    std::string root;  // the folder of the hierarchy mounted
    std::string point; // where
    bool v2 = false;
};

// The control-group mounts that can limit processor time: the unified hierarchy, and
// version-1 hierarchies holding the "cpu" controller.
std::vector<Mount> processor_mounts(const fs::path& root)
{
    std::vector<Mount> mounts;
    std::ifstream in(root / "proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        // id parent major:minor root point options [optional fields] - type source super-options
        std::istringstream fields(line);
        std::string id, parent, device, mount_root, point, word;
        fields >> id >> parent >> device >> mount_root >> point;
        while (fields >> word && word != "-") {
        }
        std::string type, source, options;
        fields >> type >> source >> options;
        bool cpu = false;
        std::istringstream list(options);
        for (std::string option; std::getline(list, option, ',');)
            cpu = cpu || option == "cpu";
        if (type == "cgroup2" || (type == "cgroup" && cpu))
            mounts.push_back({mount_root, point, type == "cgroup2"});
    }
    return mounts;
}

// The group of this process in the hierarchy a mount shows ("0::/path" for version 2,
// "N:cpu,cpuacct:/path" for version 1).
std::optional<std::string> group_of(const fs::path& root, bool v2)
{
    std::ifstream in(root / "proc/self/cgroup");
    std::string line;
    while (std::getline(in, line)) {
        const size_t first = line.find(':');
        const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos)
            continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        bool cpu = false;
        std::istringstream list(controllers);
        for (std::string controller; std::getline(list, controller, ',');)
            cpu = cpu || controller == "cpu";
        if (v2 ? (line.compare(0, first, "0") == 0 && controllers.empty()) : cpu)
            return line.substr(second + 1);
    }
    return std::nullopt;
}

// The smallest quota along the group's folder and its ancestors up to the mount point.
// A group outside what the mount shows (a container's own hierarchy mounted as its
// root) is read from the mount point.
std::optional<uint32_t> quota_of(const fs::path& root, const Mount& mount)
{
    const auto group = group_of(root, mount.v2);
    if (!group)
        return std::nullopt;
    const fs::path top = root / fs::path(mount.point).relative_path();
    const fs::path relative = fs::path(*group).lexically_relative(mount.root);
    fs::path folder = top;
    if (!relative.empty() && relative != "." && *relative.begin() != "..")
        folder = (top / relative).lexically_normal();
    std::optional<uint32_t> smallest;
    for (;;) {
        const auto quota = mount.v2 ? quota_v2(folder) : quota_v1(folder);
        if (quota)
            smallest = std::min(smallest.value_or(*quota), *quota);
        if (folder == top || !folder.has_relative_path() || folder.parent_path() == folder)
            break;
        folder = folder.parent_path();
        if (folder.native().size() < top.native().size())
            break;
    }
    return smallest;
}

} // namespace

uint32_t usable_processors(uint32_t runnable, const fs::path& root)
{
    uint32_t count = std::max(1u, runnable);
    for (const Mount& mount : processor_mounts(root)) {
        if (const auto quota = quota_of(root, mount))
            count = std::min(count, *quota);
    }
    return std::max(1u, count);
}

uint32_t usable_processors()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    uint32_t runnable = 1;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        runnable = static_cast<uint32_t>(std::max(1, CPU_COUNT(&set)));
    return usable_processors(runnable, "/");
}

} // namespace platform
