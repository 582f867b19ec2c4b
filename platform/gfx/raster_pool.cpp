// The rasterizer's worker threads (see RenderPool in raster_internal.h).

#include "platform/gfx/raster.h"

#include "platform/gfx/raster_internal.h"

#include "platform/processors.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
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

// QUILLO_RENDER_THREADS when it is a whole number from 1 to 256, else one per processor
// the process may use.
uint32_t configured_threads()
{
    const char* value = std::getenv("QUILLO_RENDER_THREADS");
    if (value && *value) {
        char* end = nullptr;
        const unsigned long count = std::strtoul(value, &end, 10);
        if (*end == '\0' && count >= 1 && count <= 256)
            return static_cast<uint32_t>(count);
    }
    return processors();
}

} // namespace

struct RenderPool::State {
    std::mutex turn; // one run at a time
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable done;
    std::vector<std::thread> workers;
    uint32_t threads = 1;
    // The workers' process: a child made by fork has no workers and draws alone.
    pid_t owner = 0;
    bool stopping = false;
    uint64_t generation = 0;
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

    // `seen` is the generation current when the worker started: a worker started after
    // earlier runs (a new thread count) must not take the last run for a new one, or it
    // would count itself finished twice and let a run end while a band is still drawn.
    void worker(uint64_t seen)
    {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return stopping || generation != seen; });
            if (stopping)
                return;
            seen = generation;
            lock.unlock();
            work();
            lock.lock();
            if (++finished == workers.size())
                done.notify_one();
        }
    }

    void stop()
    {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        for (std::thread& thread : workers)
            thread.join();
        workers.clear();
        stopping = false;
    }

    // Threads of the parent after a fork: they do not exist here, and joining or
    // destroying their handles would end the process.
    void abandon()
    {
        if (!workers.empty())
            new std::vector<std::thread>(std::move(workers)); // left alone on purpose
        workers.clear();
    }

    // Workers start on the first run that needs them.
    void start()
    {
        owner = getpid();
        const uint64_t current = generation;
        for (uint32_t i = 1; i < threads; ++i)
            workers.emplace_back([this, current] { worker(current); });
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

void RenderPool::run(uint32_t tasks, void (*task)(void*, uint32_t), void* context)
{
    State& s = own_state();
    std::lock_guard turn(s.turn);
    if (s.owner == 0)
        s.start();
    if (s.workers.empty()) {
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
        ++s.generation;
    }
    s.wake.notify_all();
    s.work();
    std::unique_lock lock(s.mutex);
    s.done.wait(lock, [&] { return s.finished == s.workers.size(); });
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
