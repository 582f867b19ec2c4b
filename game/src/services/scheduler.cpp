#include "game/scheduler.h"

#include <utility>

namespace game {

SchedulerService::~SchedulerService() = default;

void SchedulerService::Schedule(Callback callback)
{
    ScheduleAfter(0.0, std::move(callback));
}

void SchedulerService::ScheduleAfter(double delay, Callback callback)
{
    entries_.push_back(Entry{delay, std::move(callback)});
}

void SchedulerService::Advance(double seconds)
{
    for (Entry& entry : entries_)
        entry.due -= seconds;
    std::vector<Entry> waiting;
    try {
        while (!entries_.empty()) {
            Entry entry = std::move(entries_.back());
            entries_.pop_back();
            if (entry.due > 0.0)
                waiting.push_back(std::move(entry));
            else
                entry.callback();
        }
    } catch (...) {
        // Nothing posted may be lost to a failing call: what waits goes back behind the rest.
        for (auto it = waiting.rbegin(); it != waiting.rend(); ++it)
            entries_.insert(entries_.begin(), std::move(*it));
        throw;
    }
    entries_ = std::move(waiting);
}

} // namespace game
