#include "vadu/shared_ref.h"

#include <map>

namespace {

std::map<const void*, int32_t>& counts()
{
    static std::map<const void*, int32_t> map;
    return map;
}

} // namespace

int32_t SharedRefCounts::count_of(const void* address)
{
    const auto found = counts().find(address);
    return found == counts().end() ? 0 : found->second;
}

size_t SharedRefCounts::tracked()
{
    return counts().size();
}

void SharedRefCounts::add(const void* address)
{
    ++counts()[address];
}

bool SharedRefCounts::drop(const void* address)
{
    const auto found = counts().find(address);
    if (found == counts().end())
        return true;
    if (--found->second >= 1)
        return false;
    counts().erase(found);
    return true;
}
