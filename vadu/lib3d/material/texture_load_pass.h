#pragma once

// The loading pass shared by the texture caches; not part of the public interface.

#include <cstdint>
#include <exception>

#include "vadu/exception.h"
#include "vadu/path.h"
#include "vadu/pictureformat/picture_loader.h"
#include "vadu/time.h"

namespace vadu::lib3d::material::detail {

// One line in the engine log (dropped without a log): what failed and why.
void log_load_failure(const filesystem::String& resource, const String& function, const String& description);

// Seconds since the ticks were taken.
double seconds_since(int64_t start_ticks);

// The picture's mip levels: frame 0, then every following frame that is exactly half the
// size of the one before.
int32_t count_mip_levels(const pictureformat::PictureLoader& picture);

template <class Pointer>
auto& rep_of(Pointer& pointer)
{
    return *pointer;
}

// Walks the cache in key order: every rep that is neither loaded nor failed counts as
// pending, and is loaded while the budget lasts (checked after every load). A load that
// throws is logged and its rep marked failed, which takes it out of the count.
template <class Cache, class Load>
int32_t run_load_pass(Cache* cache, int64_t start_ticks, double budget, Load load)
{
    if (!cache)
        return 0;
    int32_t pending = 0;
    bool in_budget = true;
    for (auto& entry : *cache) {
        auto& rep = rep_of(entry.second);
        if (rep.is_loaded() || rep.has_failed())
            continue;
        ++pending;
        if (!in_budget)
            continue;
        try {
            load(rep);
        } catch (const GluckBadResource& failure) {
            log_load_failure(failure.get_resource(), failure.get_function(), failure.get_description());
            rep.set_failed();
            --pending;
        } catch (const Gluck& failure) {
            log_load_failure(rep.get_path(), failure.get_function(), failure.get_description());
            rep.set_failed();
            --pending;
        } catch (const std::exception& failure) {
            log_load_failure(rep.get_path(), String(), String(failure.what()));
            rep.set_failed();
            --pending;
        }
        in_budget = seconds_since(start_ticks) <= budget;
    }
    return pending;
}

} // namespace vadu::lib3d::material::detail
