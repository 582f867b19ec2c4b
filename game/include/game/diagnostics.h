#pragma once

// The framework's diagnostic checks: a failed check writes its message, source and line to
// the engine log and returns; the operation then goes on with a null or no-op result.

#include <functional>

namespace game {

// Receives every failed check (tests watch which ones fired).
using DiagnosticObserver = std::function<void(const char* message, const char* file, int line)>;

// Logs the message and tells the observer, if any.
void diagnostic(const char* message, const char* file, int line);
// Installs the observer and returns the previous one; an empty one removes it.
DiagnosticObserver set_diagnostic_observer(DiagnosticObserver observer);

} // namespace game

#define GAME_CHECK(condition, message)                                                                                 \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            ::game::diagnostic(message, __FILE__, __LINE__);                                                           \
    } while (0)
#define GAME_FAIL(message) ::game::diagnostic(message, __FILE__, __LINE__)
