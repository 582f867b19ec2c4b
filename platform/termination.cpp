#include "platform/termination.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace platform {
namespace {

constexpr int ending_signals[] = {SIGTERM, SIGINT, SIGHUP};

// Written by the signal handler: only lock-free atomics and a pipe.
static_assert(std::atomic<bool>::is_always_lock_free);
std::atomic<bool> requested{false};
std::atomic<bool> pending{false};
int wake_pipe[2] = {-1, -1};

struct Boxes {
    std::mutex mutex;
    int open = 0;
    std::set<pid_t> before; // the children this process had when the outermost box opened
};

Boxes& boxes()
{
    static Boxes instance;
    return instance;
}

void on_signal(int)
{
    const int saved = errno;
    requested.store(true);
    pending.store(true);
    if (wake_pipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(wake_pipe[1], &byte, 1);
    }
    errno = saved;
}

// The processes whose parent is this one.
std::set<pid_t> children()
{
    std::set<pid_t> found;
    const pid_t self = getpid();
    DIR* proc = opendir("/proc");
    if (!proc)
        return found;
    while (const dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        const std::string path = std::string("/proc/") + entry->d_name + "/stat";
        FILE* file = std::fopen(path.c_str(), "r");
        if (!file)
            continue;
        char line[512];
        const bool read = std::fgets(line, sizeof line, file) != nullptr;
        std::fclose(file);
        if (!read)
            continue;
        // "pid (name) state ppid ...": the name may hold blanks and parentheses.
        const std::string text(line);
        const size_t close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        long parent = 0;
        if (std::sscanf(text.c_str() + close + 1, " %c %ld", &state, &parent) == 2 && parent == self)
            found.insert(static_cast<pid_t>(pid));
    }
    closedir(proc);
    return found;
}

// The box's own processes go; what ran before the box stays.
void end_box_processes()
{
    Boxes& b = boxes();
    std::lock_guard<std::mutex> lock(b.mutex);
    if (b.open == 0)
        return;
    for (const pid_t child : children())
        if (!b.before.count(child))
            kill(child, SIGKILL);
}

bool box_open()
{
    Boxes& b = boxes();
    std::lock_guard<std::mutex> lock(b.mutex);
    return b.open > 0;
}

// Waits for the signal handler's byte. While an end is requested and a box is open it
// looks again every tenth of a second: the box's process may start after the signal.
class Watcher {
public:
    Watcher()
    {
        if (pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            wake_pipe[0] = wake_pipe[1] = -1;
            return;
        }
        thread_ = std::thread([this] { run(); });
    }

    ~Watcher()
    {
        if (thread_.joinable()) {
            stopping_.store(true);
            const char byte = 0;
            [[maybe_unused]] const ssize_t written = write(wake_pipe[1], &byte, 1);
            thread_.join();
        }
        for (int& end : wake_pipe) {
            if (end >= 0)
                close(end);
            end = -1;
        }
    }

private:
    void run()
    {
        while (!stopping_.load()) {
            pollfd wait{wake_pipe[0], POLLIN, 0};
            const bool looking = requested.load() && box_open();
            poll(&wait, 1, looking ? 100 : -1);
            char bytes[16];
            while (read(wake_pipe[0], bytes, sizeof bytes) > 0) {
            }
            if (!stopping_.load() && requested.load())
                end_box_processes();
        }
    }

    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

struct Installed {
    struct sigaction previous[std::size(ending_signals)];
    Watcher* watcher = nullptr;
};

Installed installed;
std::mutex install_mutex;

// A child forked to show a box (or for anything else) is not the game: the signals end it
// as they would have.
void child_defaults()
{
    for (const int signal : ending_signals)
        ::signal(signal, SIG_DFL);
}

} // namespace

EndOnSignals::EndOnSignals()
{
    std::lock_guard<std::mutex> lock(install_mutex);
    static const bool fork_handler = pthread_atfork(nullptr, nullptr, &child_defaults) == 0;
    (void)fork_handler;
    requested.store(false);
    pending.store(false);
    installed.watcher = new Watcher();
    struct sigaction action {};
    action.sa_handler = &on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(ending_signals); ++i)
        sigaction(ending_signals[i], &action, &installed.previous[i]);
}

EndOnSignals::~EndOnSignals()
{
    std::lock_guard<std::mutex> lock(install_mutex);
    for (size_t i = 0; i < std::size(ending_signals); ++i)
        sigaction(ending_signals[i], &installed.previous[i], nullptr);
    delete installed.watcher;
    installed.watcher = nullptr;
}

bool end_requested()
{
    return requested.load();
}

namespace detail {

bool take_end_request()
{
    return pending.exchange(false);
}

OpenBox::OpenBox()
{
    {
        Boxes& b = boxes();
        std::lock_guard<std::mutex> lock(b.mutex);
        if (b.open++ == 0)
            b.before = children();
    }
    // A request that came just before the box: the watcher looks again now.
    if (requested.load() && wake_pipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(wake_pipe[1], &byte, 1);
    }
}

OpenBox::~OpenBox()
{
    Boxes& b = boxes();
    std::lock_guard<std::mutex> lock(b.mutex);
    --b.open;
}

} // namespace detail
} // namespace platform
