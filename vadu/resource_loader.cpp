#include "vadu/resource_loader.h"

#include <algorithm>

#include "vadu/exception.h"

namespace vadu::resource {

ActiveMultithreadedLoader* ActiveMultithreadedLoader::loader = nullptr;

// Creator

ActiveMultithreaded::Creator::Creator()
{
    if (ActiveMultithreadedLoader::loader != nullptr)
        throw Gluck("vadu::resource::ActiveMultithreaded::Creator::Creator",
                    "ActiveMultithreadedLoader::loader already exist");
    ActiveMultithreadedLoader::loader = new ActiveMultithreadedLoader();
}

ActiveMultithreaded::Creator::~Creator()
{
    delete ActiveMultithreadedLoader::loader;
    ActiveMultithreadedLoader::loader = nullptr;
}

// Request

ActiveMultithreaded::ActiveMultithreaded(const filesystem::String& path) : path_(path)
{
    ActiveMultithreadedLoader* loader = ActiveMultithreadedLoader::get();
    if (loader == nullptr)
        throw Gluck("vadu::resource::ActiveMultithreaded::ActiveMultithreaded",
                    "ActiveMultithreadedLoader::loader doesn't exist");
    loader->enqueue(this);
}

ActiveMultithreaded::~ActiveMultithreaded()
{
    if (!is_loaded()) {
        if (ActiveMultithreadedLoader* loader = ActiveMultithreadedLoader::get())
            loader->cancel(this);
    }
}

uint32_t ActiveMultithreaded::left() const
{
    return position_ < size_ ? size_ - position_ : 0;
}

uint32_t ActiveMultithreaded::read(void* buffer, uint32_t count)
{
    uint32_t n = std::min(count, left());
    if (n > 0) {
        std::copy_n(data_.data() + position_, n, static_cast<uint8_t*>(buffer));
        position_ += n;
    }
    return n;
}

uint32_t ActiveMultithreaded::skip(uint32_t count)
{
    uint32_t n = std::min(count, left());
    position_ += n;
    return n;
}

void ActiveMultithreaded::load()
{
    // Nothing may escape the loader thread: any failure ends the request as not good.
    try {
        source_ = filesystem::open(path_);
        if (source_) {
            uint32_t size = source_->get_size();
            data_.assign(size, 0);
            uint32_t got = size > 0 ? source_->read(data_.data(), size) : 0;
            if (got != size) {
                good_ = false;
                data_.resize(std::min(got, size));
            }
            size_ = static_cast<uint32_t>(data_.size());
        } else {
            good_ = false;
        }
    } catch (...) {
        good_ = false;
        data_.clear();
        size_ = 0;
    }
    source_.reset();
    loaded_.store(true, std::memory_order_release);
}

// Loader

ActiveMultithreadedLoader::ActiveMultithreadedLoader()
{
    if (!start())
        throw Gluck("vadu::resource::ActiveMultithreadedLoader::ActiveMultithreadedLoader",
                    "the loading thread did not start");
}

ActiveMultithreadedLoader::~ActiveMultithreadedLoader()
{
    stop();
    join();
}

void ActiveMultithreadedLoader::enqueue(ActiveMultithreaded* request)
{
    threads::ScopedLock lock(list_mutex_);
    queue_.push_back(request);
}

bool ActiveMultithreadedLoader::is_idle()
{
    // The thread takes a request off the queue and makes it current under this lock.
    threads::ScopedLock lock(list_mutex_);
    return queue_.empty() && current_.load() == nullptr;
}

void ActiveMultithreadedLoader::cancel(ActiveMultithreaded* request)
{
    threads::ScopedLock list_lock(list_mutex_);
    // Removed from the queue even when it looks current: a new request may reuse the
    // address of one whose load just ended, before the thread has cleared it.
    queue_.remove(request);
    if (current_.load() != request)
        return;
    threads::ScopedLock work_lock(work_mutex_);
    current_.store(nullptr);
}

void ActiveMultithreadedLoader::run()
{
    while (!is_stopping()) {
        {
            threads::ScopedLock lock(list_mutex_);
            if (!queue_.empty()) {
                current_.store(queue_.front());
                queue_.pop_front();
            }
        }
        threads::ScopedLock lock(work_mutex_);
        if (ActiveMultithreaded* request = current_.load()) {
            request->load();
            current_.store(nullptr);
        } else {
            threads::sleep(100);
        }
    }
}

} // namespace vadu::resource
