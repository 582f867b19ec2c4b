#include "vadu/log.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "vadu/exception.h"

namespace vadu::logs {

namespace {

// Never destroyed: exit-time destructors elsewhere may still log.
struct Registry {
    std::atomic<Stream*> current{nullptr};
    std::mutex mutex; // guards `streams`
    std::vector<std::unique_ptr<Stream>> streams;
};

Registry& registry()
{
    static Registry* const instance = new Registry;
    return *instance;
}

} // namespace

Stream::Stream() : target_(stdout) {}

Stream::Stream(std::FILE* target) : target_(target) {}

void Stream::write(const char* first, const char* last)
{
    if (!first || !last || last <= first || !target_)
        return;
    const char* end = std::find(first, last, '\0');
    std::fwrite(first, 1, static_cast<size_t>(end - first), target_);
}

void Stream::flush()
{
    if (target_)
        std::fflush(target_);
}

Stream& log()
{
    Stream* stream = registry().current.load(std::memory_order_acquire);
    if (!stream)
        throw Gluck("vadu::logs::log", "Log char don't exists");
    return *stream;
}

void set_log(std::unique_ptr<Stream> stream)
{
    Registry& state = registry();
    std::lock_guard<std::mutex> guard(state.mutex);
    Stream* raw = stream.get();
    if (stream)
        state.streams.push_back(std::move(stream));
    state.current.store(raw, std::memory_order_release);
}

Creator::Creator(const String&)
{
    set_log(std::make_unique<Stream>());
}

Creator::~Creator() = default;

Stream& operator<<(Stream& stream, const char* text)
{
    if (!text)
        return stream;
    threads::ScopedLock lock(stream);
    stream.write(text, text + std::strlen(text));
    return stream;
}

Stream& operator<<(Stream& stream, const String& text)
{
    threads::ScopedLock lock(stream);
    stream.write(text.data(), text.data_end());
    return stream;
}

} // namespace vadu::logs
