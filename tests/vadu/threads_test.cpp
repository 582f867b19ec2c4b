#include "vadu/threads.h"

#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using vadu::threads::Mutex;
using vadu::threads::ScopedLock;
using vadu::threads::Thread;

constexpr uint32_t kLongWait = 5000; // only reached when something is broken

TEST(Interlocked, ReturnsTheNewValue)
{
    int32_t count = 1;
    EXPECT_EQ(vadu::threads::interlocked_increment(&count), 2);
    EXPECT_EQ(vadu::threads::interlocked_decrement(&count), 1);
    EXPECT_EQ(vadu::threads::interlocked_decrement(&count), 0);
    EXPECT_EQ(vadu::threads::interlocked_decrement(&count), -1);
    EXPECT_EQ(count, -1);
}

TEST(Interlocked, ConcurrentChangesAreNotLost)
{
    int32_t count = 0;
    constexpr int kThreads = 4;
    constexpr int kTurns = 10000;
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&count] {
            for (int i = 0; i < kTurns; ++i) {
                vadu::threads::interlocked_increment(&count);
                vadu::threads::interlocked_increment(&count);
                vadu::threads::interlocked_decrement(&count);
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_EQ(count, kThreads * kTurns);
}

// Another thread that tries to take a lock and reports when it holds it.
class Contender {
public:
    explicit Contender(vadu::threads::Lockable& lockable)
        : thread_([this, &lockable] {
              ScopedLock lock(lockable);
              acquired_.set();
          })
    {
    }
    ~Contender() { thread_.join(); }

    bool acquired_within(uint32_t milliseconds) { return acquired_.wait_for(milliseconds); }

private:
    platform::Event acquired_;
    std::thread thread_;
};

TEST(Mutex, IsRecursiveAndExcludesOtherThreadsUntilFullyUnlocked)
{
    Mutex mutex;
    mutex.lock();
    mutex.lock();
    Contender other(mutex);
    EXPECT_FALSE(other.acquired_within(30));
    mutex.unlock();
    EXPECT_FALSE(other.acquired_within(30));
    mutex.unlock();
    EXPECT_TRUE(other.acquired_within(kLongWait));
}

TEST(Mutex, ScopedLockReleasesAtScopeEnd)
{
    Mutex mutex;
    {
        ScopedLock outer(mutex);
        ScopedLock inner(mutex);
    }
    Contender other(mutex);
    EXPECT_TRUE(other.acquired_within(kLongWait));
}

// Counts turns until told to stop; signals once its body is running.
class Worker : public Thread {
public:
    ~Worker() override
    {
        stop();
        join();
    }

    platform::Event started;
    std::atomic<int> turns{0};

protected:
    void run() override
    {
        started.set();
        while (!is_stopping()) {
            turns.fetch_add(1);
            vadu::threads::sleep(1);
        }
    }
};

TEST(Thread, JoinOnNeverStartedThreadReturnsAtOnce)
{
    Worker worker;
    EXPECT_EQ(worker.get_id(), 0u);
    EXPECT_FALSE(worker.is_stopping());
    worker.join();
    EXPECT_EQ(worker.turns.load(), 0);
}

TEST(Thread, RunsUntilStoppedAndJoined)
{
    Worker worker;
    ASSERT_TRUE(worker.start());
    EXPECT_NE(worker.get_id(), 0u);
    ASSERT_TRUE(worker.started.wait_for(kLongWait));
    EXPECT_FALSE(worker.is_stopping());

    worker.stop();
    EXPECT_TRUE(worker.is_stopping());
    worker.join();
    const int turns = worker.turns.load();
    vadu::threads::sleep(5);
    EXPECT_EQ(worker.turns.load(), turns); // the body has ended
}

TEST(Thread, SecondStartWhileRunningReturnsFalseAndStartsNothing)
{
    Worker worker;
    ASSERT_TRUE(worker.start());
    const uint32_t id = worker.get_id();
    ASSERT_TRUE(worker.started.wait_for(kLongWait));
    EXPECT_FALSE(worker.start());
    EXPECT_EQ(worker.get_id(), id);
    EXPECT_FALSE(worker.started.wait_for(20)); // no second body began
    worker.stop();
    worker.join();
}

TEST(Thread, DistinctThreadsGetDistinctIds)
{
    Worker first;
    Worker second;
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(second.start());
    EXPECT_NE(first.get_id(), second.get_id());
}

// A body that touches only the base and state outside the object; its class
// does not stop or join, so the base destructor must.
struct Witness {
    platform::Event started;
    std::atomic<bool> ended{false};
};

class UnjoinedWorker : public Thread {
public:
    explicit UnjoinedWorker(Witness& witness) : witness_(witness) {}

protected:
    void run() override
    {
        Witness& witness = witness_;
        witness.started.set();
        while (!is_stopping())
            vadu::threads::sleep(1);
        witness.ended.store(true);
    }

private:
    Witness& witness_;
};

TEST(Thread, DestroyedWhileRunningStopsAndJoins)
{
    Witness witness;
    auto worker = std::make_unique<UnjoinedWorker>(witness);
    ASSERT_TRUE(worker->start());
    ASSERT_TRUE(witness.started.wait_for(kLongWait));
    worker.reset();
    EXPECT_TRUE(witness.ended.load());
}

class SelfDeletingWorker : public Thread {
public:
    explicit SelfDeletingWorker(platform::Event& done) : done_(done) {}

protected:
    void run() override
    {
        platform::Event& done = done_;
        delete this;
        done.set();
    }

private:
    platform::Event& done_;
};

TEST(Thread, BodyMayDeleteItsOwnObject)
{
    platform::Event done;
    auto* worker = new SelfDeletingWorker(done);
    ASSERT_TRUE(worker->start());
    EXPECT_TRUE(done.wait_for(kLongWait));
}

} // namespace
