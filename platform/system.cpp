#include "platform/system.h"

#include <sys/utsname.h>
#include <unistd.h>

namespace platform {

std::string machine_architecture()
{
    utsname system{};
    return uname(&system) == 0 ? std::string(system.machine) : std::string();
}

std::string system_release()
{
    utsname system{};
    return uname(&system) == 0 ? std::string(system.release) : std::string();
}

uint64_t physical_memory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && page_size > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size) : 0;
}

std::string host_name()
{
    char name[1024] = {};
    // gethostname need not terminate a name it had to cut.
    if (gethostname(name, sizeof(name) - 1) != 0)
        return {};
    return name;
}

bool local_time(std::time_t moment, std::tm& out)
{
    out = std::tm{};
    return localtime_r(&moment, &out) != nullptr;
}

} // namespace platform
