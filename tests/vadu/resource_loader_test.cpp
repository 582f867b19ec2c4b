#include "vadu/resource_loader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "vadu/exception.h"

namespace resource_loader_test_file {

using namespace std::chrono_literals;
using vadu::filesystem::String;
using vadu::resource::ActiveMultithreaded;

// A one-shot signal between threads.
class Gate {
public:
    void open()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    bool wait(std::chrono::milliseconds limit = 5000ms)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

// What the fake file system serves and what it saw; shared by every file system the
// factory builds.
struct Disk {
    std::map<std::string, std::string> files;
    std::mutex mutex;
    std::vector<std::string> opened;
    std::thread::id opener;
    Gate slow_started;
    Gate slow_release;
};

Disk* disk = nullptr;

// Holds "slow" back inside read until the test releases it.
class SlowStream : public vadu::filesystem::MemoryStream {
public:
    using MemoryStream::MemoryStream;
    uint32_t read(void* buffer, uint32_t count) override
    {
        disk->slow_started.open();
        disk->slow_release.wait();
        return MemoryStream::read(buffer, count);
    }
};

// Claims more bytes than it gives.
class ShortStream : public vadu::filesystem::MemoryStream {
public:
    using MemoryStream::MemoryStream;
    uint32_t get_size() override { return MemoryStream::get_size() + 10; }
};

class FakeFileSystem : public vadu::filesystem::FileSystem {
public:
    std::unique_ptr<vadu::Stream> open(const String& path) override
    {
        std::string name(path.get_text().data(), path.size());
        std::lock_guard<std::mutex> lock(disk->mutex);
        disk->opened.push_back(name);
        disk->opener = std::this_thread::get_id();
        auto found = disk->files.find(name);
        if (found == disk->files.end())
            return nullptr;
        std::vector<uint8_t> bytes(found->second.begin(), found->second.end());
        if (name == "slow")
            return std::make_unique<SlowStream>(std::move(bytes));
        if (name == "short")
            return std::make_unique<ShortStream>(std::move(bytes));
        return std::make_unique<vadu::filesystem::MemoryStream>(std::move(bytes));
    }
};

std::unique_ptr<vadu::filesystem::FileSystem> make_fake()
{
    return std::make_unique<FakeFileSystem>();
}

// The engine as the loader needs it: as the most-derived object it builds the log and
// the file system (over the fake) before the loader.
struct Engine : ActiveMultithreaded::Creator {
    Engine() : vadu::filesystem::Creator(make_fake) {}
};

bool wait_loaded(const ActiveMultithreaded& request, std::chrono::milliseconds limit = 5000ms)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!request.is_loaded()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        disk_.files = {{"a.txt", "alpha"}, {"b.txt", "beta"}, {"empty", ""}, {"short", "12345"}, {"slow", "slow data"}};
        disk = &disk_;
    }
    void TearDown() override
    {
        disk_.slow_release.open();
        disk = nullptr;
    }

    std::vector<std::string> opened()
    {
        std::lock_guard<std::mutex> lock(disk_.mutex);
        return disk_.opened;
    }

    Disk disk_;
};

TEST_F(LoaderTest, LoadsOnTheLoaderThreadWhileTheMainThreadPolls)
{
    Engine engine;
    ActiveMultithreaded request(String("A.TXT", true));
    ASSERT_TRUE(wait_loaded(request));
    EXPECT_NE(disk_.opener, std::this_thread::get_id());

    EXPECT_TRUE(request.is_good());
    ASSERT_EQ(request.get_size(), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(request.get_data()), 5), "alpha");
    char buffer[8] = {};
    EXPECT_EQ(request.skip(1), 1u);
    EXPECT_EQ(request.read(buffer, 8), 4u);
    EXPECT_EQ(std::string(buffer, 4), "lpha");
    EXPECT_EQ(request.skip(1), 0u);
    request.set_position(7);
    EXPECT_EQ(request.read(buffer, 1), 0u);
}

TEST_F(LoaderTest, FailedLoadsEndLoadedButNotGood)
{
    struct Case {
        const char* name;
        bool good;
        uint32_t size;
    };
    const Case cases[] = {
        {"missing.txt", false, 0},
        {"short", false, 5}, // keeps what it could read
        {"empty", true, 0},
    };
    Engine engine;
    for (const Case& c : cases) {
        ActiveMultithreaded request(String(c.name, true));
        ASSERT_TRUE(wait_loaded(request)) << c.name;
        EXPECT_EQ(request.is_good(), c.good) << c.name;
        EXPECT_EQ(request.get_size(), c.size) << c.name;
    }
}

TEST_F(LoaderTest, RequestsLoadInTheOrderMade)
{
    Engine engine;
    ActiveMultithreaded first(String("b.txt", true));
    ActiveMultithreaded second(String("a.txt", true));
    ActiveMultithreaded third(String("missing.txt", true));
    ASSERT_TRUE(wait_loaded(third));
    EXPECT_TRUE(first.is_loaded());
    EXPECT_TRUE(second.is_loaded());
    EXPECT_EQ(opened(), (std::vector<std::string>{"b.txt", "a.txt", "missing.txt"}));
}

TEST_F(LoaderTest, CancellingAQueuedRequestDoesNotWait)
{
    Engine engine;
    ActiveMultithreaded busy(String("slow", true));
    ASSERT_TRUE(disk_.slow_started.wait());

    auto* queued = new ActiveMultithreaded(String("a.txt", true));
    auto cancelled = std::async(std::launch::async, [queued] { delete queued; });
    bool quick = cancelled.wait_for(2s) == std::future_status::ready;
    disk_.slow_release.open();
    cancelled.wait();
    EXPECT_TRUE(quick);

    ASSERT_TRUE(wait_loaded(busy));
    EXPECT_TRUE(busy.is_good());
    // Give the thread a turn: the cancelled request must not be opened.
    ActiveMultithreaded after(String("b.txt", true));
    ASSERT_TRUE(wait_loaded(after));
    EXPECT_EQ(opened(), (std::vector<std::string>{"slow", "b.txt"}));
}

TEST_F(LoaderTest, DestroyingTheRequestBeingLoadedWaitsForTheLoad)
{
    Engine engine;
    auto* request = new ActiveMultithreaded(String("slow", true));
    ASSERT_TRUE(disk_.slow_started.wait());

    auto destroyed = std::async(std::launch::async, [request] { delete request; });
    EXPECT_EQ(destroyed.wait_for(50ms), std::future_status::timeout);
    disk_.slow_release.open();
    destroyed.wait();

    // The loader goes on with the next request.
    ActiveMultithreaded next(String("a.txt", true));
    ASSERT_TRUE(wait_loaded(next));
    EXPECT_TRUE(next.is_good());
}

TEST_F(LoaderTest, DestroyingTheLoaderJoinsItsThreadAfterTheRunningLoad)
{
    auto engine = std::make_unique<Engine>();
    auto* loader = vadu::resource::ActiveMultithreadedLoader::get();
    ASSERT_NE(loader, nullptr);
    EXPECT_NE(loader->get_id(), 0u);

    ActiveMultithreaded request(String("slow", true));
    ASSERT_TRUE(disk_.slow_started.wait());
    auto stopped = std::async(std::launch::async, [&engine] { engine.reset(); });
    EXPECT_EQ(stopped.wait_for(50ms), std::future_status::timeout);
    disk_.slow_release.open();
    stopped.wait();

    EXPECT_EQ(vadu::resource::ActiveMultithreadedLoader::get(), nullptr);
    EXPECT_TRUE(request.is_loaded());
    EXPECT_TRUE(request.is_good());
}

TEST_F(LoaderTest, SecondLoaderIsRefusedAndTheFirstKeepsWorking)
{
    Engine engine;
    auto* loader = vadu::resource::ActiveMultithreadedLoader::get();
    try {
        Engine second;
        FAIL() << "a second loader was built";
    } catch (const vadu::Gluck& error) {
        EXPECT_TRUE(error.get_function() == "vadu::resource::ActiveMultithreaded::Creator::Creator");
        EXPECT_TRUE(error.get_description() == "ActiveMultithreadedLoader::loader already exist");
    }
    EXPECT_EQ(vadu::resource::ActiveMultithreadedLoader::get(), loader);

    // The refused creator's file-system base went with it, but the first loader still
    // reads through a file system.
    ActiveMultithreaded request(String("a.txt", true));
    ASSERT_TRUE(wait_loaded(request));
    EXPECT_TRUE(request.is_good());
}

TEST_F(LoaderTest, RequestWithoutLoaderIsAnError)
{
    EXPECT_THROW(ActiveMultithreaded(String("a.txt", true)), vadu::Gluck);
}

} // namespace
