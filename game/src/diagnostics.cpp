#include "game/diagnostics.h"

#include "vadu/exception.h"
#include "vadu/log.h"

namespace game {

namespace {
DiagnosticObserver& observer()
{
    static DiagnosticObserver instance;
    return instance;
}
} // namespace

void diagnostic(const char* message, const char* file, int line)
{
    try {
        vadu::logs::Stream& log = vadu::logs::log();
        log << "Check failed: " << message << " (" << file << ":" << line << ")\n";
    } catch (const vadu::Gluck&) {
        // No log yet: the check stays silent.
    }
    if (observer())
        observer()(message, file, line);
}

DiagnosticObserver set_diagnostic_observer(DiagnosticObserver next)
{
    DiagnosticObserver previous = std::move(observer());
    observer() = std::move(next);
    return previous;
}

} // namespace game
