#pragma once

// The desktop's way of ending a program: SIGTERM (a session ending, a service manager),
// SIGINT (Ctrl+C in a terminal) or SIGHUP (the terminal gone). The game takes each as a
// close the player already agreed to: no question, the normal exit.

namespace platform {

// While one lives, the three signals ask the program to end instead of killing it
// (what they did before is put back afterwards). The window layer turns a request into
// one WM_CLOSE for the oldest window, and a box open at that moment (a question, a
// report, a dialog) is closed as if cancelled. A new one starts with no request.
class EndOnSignals {
public:
    EndOnSignals();
    ~EndOnSignals();
    EndOnSignals(const EndOnSignals&) = delete;
    EndOnSignals& operator=(const EndOnSignals&) = delete;
};

// True once one of the signals came while an EndOnSignals lived (and until the next one
// is made): whoever would ask whether to close closes instead.
bool end_requested();

namespace detail {

// True once per request: the window layer then posts the close.
bool take_end_request();

// Marks a box of another process's making as open (a system box may run in a child of
// this process): an end request while it is open ends the processes this one started
// since, which closes the box as cancelled.
class OpenBox {
public:
    OpenBox();
    ~OpenBox();
    OpenBox(const OpenBox&) = delete;
    OpenBox& operator=(const OpenBox&) = delete;
};

} // namespace detail
} // namespace platform
