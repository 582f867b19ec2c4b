#include "platform/system.h"

#include "platform/window.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>

namespace platform {

std::string machine_architecture()
{
    utsname system{};
    return uname(&system) == 0 ? std::string(system.machine) : std::string();
}

std::string system_release()
{
    utsname system{};
    return uname(&system) == 0 ? std::string(system.release) : std::string();
}

uint64_t physical_memory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && page_size > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size) : 0;
}

std::string host_name()
{
    char name[1024] = {};
    // gethostname need not terminate a name it had to cut.
    if (gethostname(name, sizeof(name) - 1) != 0)
        return {};
    return name;
}

bool local_time(std::time_t moment, std::tm& out)
{
    out = std::tm{};
    return localtime_r(&moment, &out) != nullptr;
}

// --- shell open ----------------------------------------------------------------------

namespace {

std::mutex& recorded_mutex()
{
    static std::mutex instance;
    return instance;
}

std::vector<std::string>& recorded()
{
    static std::vector<std::string> instance;
    return instance;
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool ends_with_url_extension(const std::string& path)
{
    return path.size() >= 4 && lower(path.substr(path.size() - 4)) == ".url";
}

// Starts xdg-open on the address in a grandchild of its own session, so that nobody
// has to wait for it and it outlives us; stdin and both outputs go to /dev/null.
bool spawn_xdg_open(const std::string& url)
{
    // Everything the children need is made before fork: after it only async-signal-safe
    // calls are allowed in a threaded process.
    const char* program = "xdg-open";
    std::string argument = url;
    char* const argv[] = {const_cast<char*>(program), argument.data(), nullptr};
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild != 0)
            _exit(grandchild < 0 ? 1 : 0);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        execvp(program, argv);
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

std::string url_of_internet_shortcut(const std::string& text)
{
    std::istringstream lines(text);
    std::string line;
    bool in_section = false;
    while (std::getline(lines, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            in_section = lower(line) == "[internetshortcut]";
            continue;
        }
        if (!in_section)
            continue;
        const size_t equals = line.find('=');
        if (equals == std::string::npos || lower(trimmed(line.substr(0, equals))) != "url")
            continue;
        const std::string url = trimmed(line.substr(equals + 1));
        const std::string scheme = lower(url.substr(0, url.find(':') == std::string::npos ? 0 : url.find(':') + 3));
        if ((scheme != "http://" && scheme != "https://") || url.size() <= scheme.size())
            return {};
        // One argument of one line: nothing that a shell or the opener could read as more.
        for (const unsigned char c : url) {
            if (c < 0x21 || c == 0x7F)
                return {};
        }
        return url;
    }
    return {};
}

ShellOpenResult shell_open(const std::string& path, std::string* detail)
{
    auto say = [detail](const std::string& text) {
        if (detail)
            *detail = text;
    };
    if (is_headless()) {
        std::lock_guard<std::mutex> lock(recorded_mutex());
        recorded().push_back(path);
        say("recorded");
        return ShellOpenResult::recorded;
    }
    if (!ends_with_url_extension(path)) {
        say("only Internet shortcuts are opened");
        return ShellOpenResult::refused;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        say("cannot be read");
        return ShellOpenResult::unreadable;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.size() > 65536) {
        say("too large for a shortcut");
        return ShellOpenResult::refused;
    }
    const std::string url = url_of_internet_shortcut(text);
    if (url.empty()) {
        say("no http or https address");
        return ShellOpenResult::refused;
    }
    say(url);
    return spawn_xdg_open(url) ? ShellOpenResult::opened : ShellOpenResult::failed;
}

std::vector<std::string> recorded_shell_opens()
{
    std::lock_guard<std::mutex> lock(recorded_mutex());
    return recorded();
}

void clear_recorded_shell_opens()
{
    std::lock_guard<std::mutex> lock(recorded_mutex());
    recorded().clear();
}

// --- instance lock ---------------------------------------------------------------------

struct InstanceLock::State {
    int socket = -1;
    int stop[2] = {-1, -1};
    std::thread listener;
    std::function<void()> on_raise;
    std::string error;
    bool tried = false;
};

namespace {

constexpr char raise_message[] = "raise";

// The abstract name: a leading zero byte, then the text (no file is made).
socklen_t abstract_address(const std::string& key, sockaddr_un& address)
{
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    std::string name = "quillo-instance/" + std::to_string(getuid()) + "/" + key;
    if (name.size() > sizeof(address.sun_path) - 1) {
        // Too long for the address: the end becomes a hash of the whole name.
        const size_t hash = std::hash<std::string>{}(name);
        name = name.substr(0, sizeof(address.sun_path) - 1 - 17) + "#" + std::to_string(hash).substr(0, 16);
    }
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

// Non-blocking, and given up after a second: a first copy that hangs or no longer accepts
// (its backlog full) must not hang the second one, which only wanted to wave at it.
void send_raise(const sockaddr_un& address, socklen_t length)
{
    const int client = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (client < 0)
        return;
    bool connected = false;
    for (int attempt = 0; attempt < 20 && !connected; ++attempt) {
        if (connect(client, reinterpret_cast<const sockaddr*>(&address), length) == 0 || errno == EISCONN) {
            connected = true;
            break;
        }
        if (errno != EAGAIN && errno != EINPROGRESS && errno != EALREADY && errno != EINTR)
            break;
        pollfd wanted{client, POLLOUT, 0};
        (void)poll(&wanted, 1, 50);
        (void)poll(nullptr, 0, 50);
    }
    if (connected)
        (void)!write(client, raise_message, sizeof(raise_message) - 1);
    close(client);
}

// Reads what a caller sends (at most a few bytes, at most half a second).
std::string read_request(int connection)
{
    std::string text;
    char buffer[16];
    for (;;) {
        pollfd wanted{connection, POLLIN, 0};
        if (poll(&wanted, 1, 500) <= 0)
            break;
        const ssize_t count = read(connection, buffer, sizeof(buffer));
        if (count <= 0)
            break;
        text.append(buffer, static_cast<size_t>(count));
        if (text.size() > sizeof(raise_message))
            break;
    }
    return text;
}

} // namespace

InstanceLock::InstanceLock() : state_(std::make_unique<State>()) {}

InstanceLock::~InstanceLock()
{
    if (state_->listener.joinable()) {
        (void)!write(state_->stop[1], "x", 1);
        state_->listener.join();
    }
    for (const int fd : {state_->socket, state_->stop[0], state_->stop[1]}) {
        if (fd >= 0)
            close(fd);
    }
}

InstanceLock::Result InstanceLock::acquire(const std::string& key, std::function<void()> on_raise)
{
    State& s = *state_;
    if (s.tried) {
        s.error = "acquire was called twice";
        return Result::failed;
    }
    s.tried = true;
    sockaddr_un address;
    const socklen_t length = abstract_address(key, address);
    s.socket = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s.socket < 0) {
        s.error = std::string("socket: ") + std::strerror(errno);
        return Result::failed;
    }
    if (bind(s.socket, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        const int code = errno;
        close(s.socket);
        s.socket = -1;
        if (code == EADDRINUSE) {
            send_raise(address, length);
            return Result::held_elsewhere;
        }
        s.error = std::string("bind: ") + std::strerror(code);
        return Result::failed;
    }
    if (listen(s.socket, 4) != 0 || pipe2(s.stop, O_CLOEXEC) != 0) {
        s.error = std::string("listen: ") + std::strerror(errno);
        return Result::acquired; // the name is ours: the lock holds, only "raise" is lost
    }
    s.on_raise = std::move(on_raise);
    s.listener = std::thread([&s] {
        for (;;) {
            pollfd wanted[2] = {{s.socket, POLLIN, 0}, {s.stop[0], POLLIN, 0}};
            if (poll(wanted, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (wanted[1].revents != 0)
                return;
            const int connection = accept4(s.socket, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                continue;
            const std::string request = read_request(connection);
            close(connection);
            if (request == raise_message && s.on_raise)
                s.on_raise();
        }
    });
    return Result::acquired;
}

bool InstanceLock::held() const
{
    return state_->socket >= 0;
}

const std::string& InstanceLock::error() const
{
    return state_->error;
}

} // namespace platform
