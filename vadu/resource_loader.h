#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "vadu/filesystem.h"
#include "vadu/log.h"
#include "vadu/path.h"
#include "vadu/stream.h"
#include "vadu/threads.h"

namespace vadu::resource {

// A file read on the loader thread. Made on the main thread, which polls is_loaded()
// and then reads it like any stream; until then only is_loaded() may be asked.
class ActiveMultithreaded : public Stream {
public:
    // Builds the loader and its thread; destruction stops and joins it. Needs the log
    // and the file system; a most-derived creator builds them (default factory).
    class Creator : public virtual logs::Creator, public virtual filesystem::Creator {
    public:
        Creator();
        ~Creator() override;
    };

    // Queues the file at the loader. Throws vadu::Gluck when no loader exists.
    explicit ActiveMultithreaded(const filesystem::String& path);
    // A request not loaded yet is withdrawn first: at once when still queued, after the
    // running load when the loader is reading it.
    ~ActiveMultithreaded() override;
    ActiveMultithreaded(const ActiveMultithreaded&) = delete;
    ActiveMultithreaded& operator=(const ActiveMultithreaded&) = delete;

    uint32_t read(void* buffer, uint32_t count) override;
    uint32_t skip(uint32_t count) override;
    // False when the file could not be opened or read whole.
    bool is_good() override { return good_; }
    // The number of bytes loaded.
    uint32_t get_size() override { return size_; }
    uint32_t get_position() override { return position_; }
    // A position at or beyond the end reads and skips nothing.
    void set_position(uint32_t position) override { position_ = position; }

    const uint8_t* get_data() const { return data_.data(); }
    // True once the loader is done with the request, whether it succeeded or not.
    bool is_loaded() const { return loaded_.load(std::memory_order_acquire); }

    const filesystem::String& get_path() const { return path_; }

private:
    friend class ActiveMultithreadedLoader;

    // Runs on the loader thread.
    void load();
    uint32_t left() const;

    std::unique_ptr<Stream> source_;
    uint32_t position_ = 0;
    uint32_t size_ = 0;
    filesystem::String path_;
    bool good_ = true;
    std::vector<uint8_t> data_;
    std::atomic<bool> loaded_{false};
};

// The loader thread and its queue; one instance, made by ActiveMultithreaded::Creator.
class ActiveMultithreadedLoader : public threads::Thread {
public:
    // Starts the thread; throws vadu::Gluck when it cannot.
    ActiveMultithreadedLoader();
    // Stops and joins the thread (a running load or idle pause ends first). Requests
    // still queued are forgotten, not touched.
    ~ActiveMultithreadedLoader() override;

    void enqueue(ActiveMultithreaded* request);
    // Withdraws a request: a queued one leaves the queue at once; for the one being
    // loaded this waits until its load has ended.
    void cancel(ActiveMultithreaded* request);

    // Nothing queued and nothing being read.
    bool is_idle();

    // The loader, or null when none exists.
    static ActiveMultithreadedLoader* get() { return loader; }

protected:
    void run() override;

private:
    friend class ActiveMultithreaded::Creator;
    static ActiveMultithreadedLoader* loader;

    std::list<ActiveMultithreaded*> queue_;
    // Lock order: list_mutex_ before work_mutex_; the thread never holds both.
    threads::Mutex list_mutex_;
    threads::Mutex work_mutex_;
    std::atomic<ActiveMultithreaded*> current_{nullptr};
};

} // namespace vadu::resource
