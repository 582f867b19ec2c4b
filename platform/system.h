#pragma once

// Facts about the machine and the clock that the engine reports in its logs and dump
// names, from the operating system.

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// The processor architecture ("x86_64"); "" when unknown.
std::string machine_architecture();

// The kernel's release text ("6.1.0-18-amd64"); "" when unknown.
std::string system_release();

// Installed memory in bytes; 0 when unknown.
uint64_t physical_memory();

// The computer's network name; "" when unknown.
std::string host_name();

// The local calendar time of a moment; false (and `out` zeroed) when it cannot be had.
bool local_time(std::time_t moment, std::tm& out);

// --- opening files through the desktop -------------------------------------------

enum class ShellOpenResult {
    opened,     // handed to xdg-open
    recorded,   // headless: only noted (see recorded_shell_opens)
    refused,    // not an Internet shortcut with an http or https address: nothing runs
    unreadable, // the file could not be read
    failed,     // xdg-open could not be started
};

// Opens a file as the desktop would, limited to what is safe here: an Internet shortcut
// (".url", any case) has the "URL=" line of its "[InternetShortcut]" section opened
// with xdg-open, spawned without a shell, detached, its output discarded. Nothing else
// is ever run. `detail` (when given) receives the address or why nothing was opened.
ShellOpenResult shell_open(const std::string& path, std::string* detail = nullptr);

// The http or https address of an Internet shortcut's text; empty when it has none.
std::string url_of_internet_shortcut(const std::string& text);

// Paths handed to shell_open in headless runs, oldest first.
std::vector<std::string> recorded_shell_opens();
void clear_recorded_shell_opens();

// --- one copy per user -------------------------------------------------------------

// A lock that the kernel releases when the process ends, however it ends: an abstract
// Unix socket named after the user and the key. It is also the channel through which a
// second start asks the holder to come to the front: the one message "raise"
// (anything else is ignored).
class InstanceLock {
public:
    enum class Result {
        acquired,       // this process holds the lock
        held_elsewhere, // another process does; it was sent "raise"
        failed,         // no lock could be made (the caller runs without one)
    };

    InstanceLock();
    // Releases the lock and stops listening.
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Once only. While held, each "raise" calls on_raise on a listening thread of its own.
    Result acquire(const std::string& key, std::function<void()> on_raise);
    bool held() const;
    // Why acquire failed.
    const std::string& error() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace platform
