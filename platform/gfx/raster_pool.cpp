// The rasterizer's worker threads (see RenderPool in raster_internal.h).

#include "platform/gfx/raster.h"

#include "platform/gfx/raster_internal.h"

#include "platform/processors.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform::gfx::raster {

namespace detail {

namespace {

// The processors the game may keep busy, not the machine's: more threads than those only
// take turns on them.
uint32_t processors()
{
    return std::min(platform::usable_processors(), 256u);
}

} // namespace

// QUILLO_RENDER_THREADS when it is a whole number from 1 to 256, else one per processor
// the process may use.
uint32_t configured_threads()
{
    const char* value = std::getenv("QUILLO_RENDER_THREADS");
    if (value && *value) {
        char* end = nullptr;
        const unsigned long count = std::strtoul(value, &end, 10);
        if (*end == '\0' && value[0] != '-' && count >= 1 && count <= 256)
            return static_cast<uint32_t>(count);
        std::fprintf(stderr,
                     "quillo: QUILLO_RENDER_THREADS=\"%s\" is not a thread count from 1 to 256; drawing with %u "
                     "(one per processor it may use)\n",
                     value, processors());
    }
    return processors();
}

struct RenderPool::State {
    // Each worker waits on a signal of its own: a run wakes exactly the workers it takes.
    // (With one condition variable shared by all and signalled once per worker wanted, a
    // run was seen waiting for ever for a worker that never woke.)
    struct Slot {
        std::condition_variable wake;
        uint64_t assigned = 0; // the last run given to the worker
    };

    std::mutex turn; // one run at a time
    std::mutex mutex;
    std::condition_variable done;
    std::vector<std::thread> workers;
    std::vector<std::unique_ptr<Slot>> slots; // one per worker
    uint32_t threads = 1;
    // The workers' process: a child made by fork has no workers and draws alone.
    pid_t owner = 0;
    bool stopping = false;
    uint64_t generation = 0;
    // Workers taking part in the current run (the first ones), and those done with it.
    uint32_t helping = 0;
    uint32_t finished = 0;
    void (*task)(void*, uint32_t) = nullptr;
    void* context = nullptr;
    uint32_t tasks = 0;
    std::atomic<uint32_t> next{0};

    void work()
    {
        for (;;) {
            const uint32_t index = next.fetch_add(1, std::memory_order_relaxed);
            if (index >= tasks)
                return;
            task(context, index);
        }
    }

    void worker(Slot& slot)
    {
        std::unique_lock lock(mutex);
        // Slots start unassigned (0): a run given before the thread got here is still taken.
        uint64_t seen = 0;
        for (;;) {
            slot.wake.wait(lock, [&] { return stopping || slot.assigned != seen; });
            if (stopping)
                return;
            seen = slot.assigned;
            lock.unlock();
            work();
            lock.lock();
            if (++finished == helping)
                done.notify_one();
        }
    }

    void stop()
    {
        {
            std::lock_guard lock(mutex);
            stopping = true;
            for (auto& slot : slots)
                slot->wake.notify_all();
        }
        for (std::thread& thread : workers)
            thread.join();
        workers.clear();
        slots.clear();
        stopping = false;
    }

    // Threads of the parent after a fork: they do not exist here, and joining or
    // destroying their handles would end the process.
    void abandon()
    {
        if (!workers.empty())
            new std::vector<std::thread>(std::move(workers)); // left alone on purpose
        workers.clear();
        if (!slots.empty())
            new std::vector<std::unique_ptr<Slot>>(std::move(slots)); // their waits, too
        slots.clear();
    }

    // Workers start on the first run that needs them.
    void start()
    {
        owner = getpid();
        for (uint32_t i = 1; i < threads; ++i) {
            slots.push_back(std::make_unique<Slot>());
            Slot* slot = slots.back().get();
            workers.emplace_back([this, slot] { worker(*slot); });
        }
    }
};

RenderPool& RenderPool::instance()
{
    static RenderPool pool;
    return pool;
}

RenderPool::RenderPool() : state_(new State)
{
    state_->threads = configured_threads();
}

RenderPool::~RenderPool()
{
    // A child made by fork leaves the parent's state alone (see own_state).
    if (state_->owner == 0 || state_->owner == getpid()) {
        state_->stop();
        delete state_;
    }
}

RenderPool::State& RenderPool::own_state()
{
    if (state_->owner != 0 && state_->owner != getpid()) {
        auto* fresh = new State;
        fresh->threads = state_->threads;
        state_->abandon();
        state_ = fresh; // the old one is left as it is, on purpose
    }
    return *state_;
}

uint32_t RenderPool::threads() const
{
    return state_->threads;
}

void RenderPool::set_threads(uint32_t count)
{
    State& s = own_state();
    std::lock_guard turn(s.turn);
    s.stop();
    s.owner = 0;
    s.threads = count == 0 ? processors() : std::min(count, 256u);
}

void RenderPool::run(uint32_t tasks, void (*task)(void*, uint32_t), void* context, uint32_t helpers)
{
    State& s = own_state();
    std::lock_guard turn(s.turn);
    if (s.owner == 0)
        s.start();
    const uint32_t helping =
        std::min({static_cast<uint32_t>(s.workers.size()), helpers, tasks > 0 ? tasks - 1 : 0u});
    if (helping == 0) {
        for (uint32_t i = 0; i < tasks; ++i)
            task(context, i);
        return;
    }
    {
        std::lock_guard lock(s.mutex);
        s.task = task;
        s.context = context;
        s.tasks = tasks;
        s.next.store(0, std::memory_order_relaxed);
        s.finished = 0;
        s.helping = helping;
        ++s.generation;
        for (uint32_t i = 0; i < helping; ++i)
            s.slots[i]->assigned = s.generation;
    }
    for (uint32_t i = 0; i < helping; ++i)
        s.slots[i]->wake.notify_one();
    s.work();
    std::unique_lock lock(s.mutex);
    s.done.wait(lock, [&] { return s.finished == s.helping; });
}

} // namespace detail

uint32_t thread_count()
{
    return detail::RenderPool::instance().threads();
}

void set_thread_count(uint32_t count)
{
    detail::RenderPool::instance().set_threads(count);
}

} // namespace platform::gfx::raster
