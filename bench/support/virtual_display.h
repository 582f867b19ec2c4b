#pragma once

// A virtual X display of the benchmark's own (Xvfb), for figures that include showing
// frames in a window: started on a display number the server chooses, exported as DISPLAY,
// and killed with the benchmark (also when the benchmark is killed outright).

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace bench_support {

class VirtualDisplay {
public:
    // `screen` as Xvfb takes it, e.g. "2560x1440x24". On failure `why()` tells what went wrong.
    explicit VirtualDisplay(const std::string& screen)
    {
        int pipe_ends[2];
        if (pipe(pipe_ends) != 0) {
            why_ = "no pipe";
            return;
        }
        const pid_t parent = getpid();
        server_ = fork();
        if (server_ < 0) {
            why_ = "no fork";
            close(pipe_ends[0]);
            close(pipe_ends[1]);
            return;
        }
        if (server_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(1);
            close(pipe_ends[0]);
            const int null = open("/dev/null", O_WRONLY);
            if (null >= 0) {
                dup2(null, STDOUT_FILENO);
                dup2(null, STDERR_FILENO);
            }
            const std::string fd = std::to_string(pipe_ends[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(pipe_ends[1]);
        // The server writes its display number once it accepts connections.
        std::string number;
        char c;
        fcntl(pipe_ends[0], F_SETFL, O_NONBLOCK);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < deadline) {
            const ssize_t got = read(pipe_ends[0], &c, 1);
            if (got == 1) {
                if (c == '\n')
                    break;
                number += c;
            } else if (got == 0) {
                break;
            } else {
                int status = 0;
                if (waitpid(server_, &status, WNOHANG) == server_) {
                    server_ = -1;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        close(pipe_ends[0]);
        if (number.empty()) {
            why_ = "Xvfb did not start (is it installed? scripts/install-deps.sh installs it)";
            stop();
            return;
        }
        setenv("DISPLAY", (":" + number).c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
    }
    ~VirtualDisplay() { stop(); }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool running() const { return why_.empty(); }
    const std::string& why() const { return why_; }

private:
    void stop()
    {
        if (server_ > 0) {
            kill(server_, SIGTERM);
            waitpid(server_, nullptr, 0);
        }
        server_ = -1;
    }
    pid_t server_ = -1;
    std::string why_;
};

} // namespace bench_support
