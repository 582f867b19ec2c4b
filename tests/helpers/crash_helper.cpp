// Faults on purpose with the crash handler installed, for the death tests.
//
//   crash_helper <fault> [--yes] [--no-library | --no-entry-point]
//
// fault: segv, stack-overflow, bus, fpe, ill, abort, terminate.
// --yes answers the full-dump question with yes (headless answer).
// --no-library / --no-entry-point make the dump writer unavailable.
//
// Before faulting it prints "<fault address> <pid>" (the address for segv, else 0) and
// keeps a "stack-marker-<pid>" text on its stack for the full dump to show.

#include "platform/headless/script.h"
#include "platform/modules.h"
#include "vadu/crash.h"

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace {

volatile long recursion_limit = LONG_MAX;

int recurse(volatile char* previous, long depth)
{
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    if (previous != nullptr)
        frame[1] = previous[0];
    if (depth >= recursion_limit)
        return frame[0];
    return recurse(frame, depth + 1) + frame[1];
}

volatile int zero = 0;

__attribute__((no_sanitize("undefined"))) int divide(int a)
{
    return a / zero;
}

void report(const void* address)
{
    std::printf("%p %ld\n", address, static_cast<long>(getpid()));
    std::fflush(stdout);
}

int fault(const std::string& kind)
{
    if (kind == "segv") {
        void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (page == MAP_FAILED)
            return 2;
        report(page);
        *static_cast<volatile int*>(page) = 1;
        return 3;
    }
    report(nullptr);
    if (kind == "stack-overflow")
        return recurse(nullptr, 0);
    if (kind == "bus") {
        // Touching a mapping past the end of its (empty) file.
        std::FILE* file = std::tmpfile();
        if (file == nullptr)
            return 2;
        void* mapped = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fileno(file), 0);
        if (mapped == MAP_FAILED)
            return 2;
        return *static_cast<volatile const char*>(mapped);
    }
    if (kind == "fpe")
        return divide(1);
    if (kind == "ill") {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_trap();
#else
        std::raise(SIGILL);
#endif
    }
    if (kind == "abort")
        std::abort();
    if (kind == "terminate")
        throw std::runtime_error("nobody catches this");
    return 4;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: crash_helper <fault> [--yes] [--no-library | --no-entry-point]\n");
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--yes")
            platform::headless::set_message_box_answer(true);
        else if (option == "--no-library")
            platform::set_module_failure("dbghelp.dll", platform::ModuleFailure::library_missing);
        else if (option == "--no-entry-point")
            platform::set_module_failure("dbghelp.dll", platform::ModuleFailure::entry_point_missing);
    }

    char marker[64];
    std::snprintf(marker, sizeof marker, "stack-marker-%ld", static_cast<long>(getpid()));
    // Keeps the marker in memory, on the stack, up to the fault.
    asm volatile("" : : "r"(marker) : "memory");
    vadu::crash::install("CrashHelper");
    const int result = fault(argv[1]);
    return result + static_cast<int>(std::strlen(marker));
}
