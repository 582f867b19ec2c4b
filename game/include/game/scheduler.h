#pragma once

// Calls posted for later, run by the root at the start of each update.

#include <functional>
#include <vector>

#include "game/service_provider.h"

namespace game {

class SchedulerService : public Service {
public:
    using Callback = std::function<void()>;

    // Pending calls are dropped without being called.
    ~SchedulerService() override;
    // Runs at the next Advance, whatever its elapsed time.
    virtual void Schedule(Callback callback);
    // Appends the call; it runs at the first Advance that brings its delay to 0 or below.
    virtual void ScheduleAfter(double delay, Callback callback);

    // Takes every call's delay down by the elapsed seconds, then runs the due ones, last
    // posted first. A call posted with no delay while this runs is taken next, within this
    // same advance; the calls still waiting are stored back in reverse order. An exception
    // from a call passes out, and the calls not yet taken stay pending.
    void Advance(double seconds);

    size_t GetPendingCount() const noexcept { return entries_.size(); }

private:
    struct Entry {
        double due;
        Callback callback;
    };
    std::vector<Entry> entries_;
};

} // namespace game
