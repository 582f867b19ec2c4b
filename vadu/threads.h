#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace vadu::threads {

// Anything that can be locked and unlocked; ScopedLock works over it.
class Lockable {
public:
    virtual void lock() = 0;
    virtual void unlock() = 0;
    virtual ~Lockable() = default;
};

// Recursive mutex: the owning thread may lock it again and must unlock it as often.
class Mutex : public Lockable {
public:
    Mutex();
    ~Mutex() override;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    // Throws std::bad_alloc when the underlying mutex could not be allocated,
    // rather than letting the guarded code run unprotected.
    void lock() override;
    // Does nothing when the underlying mutex is missing (lock never succeeded).
    void unlock() override;

private:
    std::unique_ptr<std::recursive_mutex> section_;
};

// Holds a lock for the lifetime of a scope.
class ScopedLock {
public:
    explicit ScopedLock(Lockable& lockable) : lockable_(lockable) { lockable_.lock(); }
    ~ScopedLock() { lockable_.unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    Lockable& lockable_;
};

// A thread object whose body (`run`) polls is_stopping() between units of work.
// Stopping is stop() followed by join().
//
// A derived class must stop() and join() in its own destructor: by the time the
// base destructor runs, the derived part (and its run) is already gone. The base
// destructor still stops and joins a thread that is held, so the thread never
// outlives the object's storage, but it cannot make a derived body safe.
class Thread {
public:
    Thread();
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts the body; false when a thread is already held or could not be created.
    bool start();
    void stop();
    bool is_stopping() const;
    // Waits for the body to end and releases the thread; returns at once when none is held.
    void join();

    // 0 before the first start.
    uint32_t get_id() const { return id_; }

protected:
    virtual void run() = 0;

private:
    static uint32_t entry(void* parameter);

    uint32_t id_ = 0;
    std::atomic<bool> stop_{false};
    std::unique_ptr<std::thread> handle_;
    std::mutex start_gate_;
};

void sleep(uint32_t milliseconds);

// Atomic add of one; returns the new value.
int32_t interlocked_increment(int32_t* value);
// Atomic subtract of one; returns the new value (0 means the last reference went).
int32_t interlocked_decrement(int32_t* value);

} // namespace vadu::threads
