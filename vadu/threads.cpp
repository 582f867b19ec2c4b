#include "vadu/threads.h"

#include <chrono>
#include <new>
#include <system_error>

namespace vadu::threads {

Mutex::Mutex() : section_(new (std::nothrow) std::recursive_mutex) {}

Mutex::~Mutex() = default;

void Mutex::lock()
{
    if (!section_)
        throw std::bad_alloc();
    section_->lock();
}

void Mutex::unlock()
{
    if (section_)
        section_->unlock();
}

namespace {

std::atomic<uint32_t> next_thread_id{1};

} // namespace

Thread::Thread() = default;

Thread::~Thread()
{
    if (!handle_)
        return;
    stop();
    // A body that deletes its own object cannot wait for itself.
    if (handle_->get_id() == std::this_thread::get_id())
        handle_->detach();
    else if (handle_->joinable())
        handle_->join();
}

bool Thread::start()
{
    // The body waits at this gate until the handle is stored, so a body that
    // joins or deletes its own object sees its own handle.
    std::lock_guard<std::mutex> gate(start_gate_);
    if (handle_)
        return false;
    const uint32_t previous_id = id_;
    // Stored before the thread exists, so its body may read it.
    id_ = next_thread_id.fetch_add(1);
    if (id_ == 0) // 0 means "never started"; skip it on wrap-around
        id_ = next_thread_id.fetch_add(1);
    try {
        handle_ = std::make_unique<std::thread>([this] {
            { std::lock_guard<std::mutex> wait_for_start(start_gate_); }
            entry(this);
        });
    } catch (const std::system_error&) {
        id_ = previous_id;
        return false;
    } catch (const std::bad_alloc&) {
        id_ = previous_id;
        return false;
    }
    return true;
}

uint32_t Thread::entry(void* parameter)
{
    static_cast<Thread*>(parameter)->run();
    return 0;
}

void Thread::stop()
{
    stop_.store(true);
}

bool Thread::is_stopping() const
{
    return stop_.load();
}

void Thread::join()
{
    if (!handle_)
        return;
    // Joining from the body itself would deadlock; leave the thread held.
    if (handle_->get_id() == std::this_thread::get_id())
        return;
    if (handle_->joinable())
        handle_->join();
    handle_.reset();
}

void sleep(uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int32_t interlocked_increment(int32_t* value)
{
    return std::atomic_ref<int32_t>(*value).fetch_add(1, std::memory_order_seq_cst) + 1;
}

int32_t interlocked_decrement(int32_t* value)
{
    return std::atomic_ref<int32_t>(*value).fetch_sub(1, std::memory_order_seq_cst) - 1;
}

} // namespace vadu::threads
