#include "vadu/shared_ref.h"

#include <map>

namespace {

std::map<const void*, int32_t>& counts()
{
    static std::map<const void*, int32_t> map;
    return map;
}

} // namespace

int32_t& SharedRefCounts::count_of(const void* address)
{
    return counts()[address];
}

void SharedRefCounts::add(const void* address)
{
    ++counts()[address];
}

bool SharedRefCounts::drop(const void* address)
{
    return --counts()[address] < 1;
}
