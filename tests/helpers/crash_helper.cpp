// Faults on purpose with the crash handler installed, for the death tests.
//
//   crash_helper <fault> [--yes] [--fresh] [--no-library | --no-entry-point]
//
// fault: segv, stack-overflow, bus, fpe, ill, abort, terminate, malloc (a fault inside
// the allocator, after which every allocation faults again).
// --yes answers the full-dump question with yes (headless answer).
// --fresh asks the question from a fresh run of the helper even though headless; that
// run answers yes when CRASH_HELPER_ANSWER=yes and prints "asked: <text> | <caption>".
// --no-library / --no-entry-point make the dump writer unavailable.
//
// Before faulting it prints "<fault address> <pid>" (the address for segv, else 0) and
// keeps a "stack-marker-<pid>" text on its stack for the full dump to show.

#include "platform/crash.h"
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

// Set once the allocator is to fault; `no_access` is a page that faults when touched.
volatile bool allocations_fault = false;
void* volatile no_access = nullptr;

void fault_if_armed()
{
    if (allocations_fault)
        *static_cast<volatile int*>(no_access) = 1;
}

void arm_allocator()
{
    allocations_fault = true;
}

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
    if (kind == "malloc") {
        no_access = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (no_access == MAP_FAILED)
            return 2;
        arm_allocator();
        void* volatile block = std::malloc(64);
        return block != nullptr ? 5 : 6;
    }
    return 4;
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator calls this on every allocation.
extern "C" void __sanitizer_malloc_hook(const volatile void*, size_t)
{
    fault_if_armed();
}
#else
// The C library's allocator, with a fault in front once armed.
extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* block, size_t size);
extern "C" void* malloc(size_t size)
{
    fault_if_armed();
    return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size)
{
    fault_if_armed();
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* block, size_t size)
{
    fault_if_armed();
    return __libc_realloc(block, size);
}
#endif

int main(int argc, char** argv)
{
    // The fresh run the handler starts to ask its question.
    if (argc == 4 && std::strcmp(argv[1], platform::crash_question_option) == 0) {
        const char* answer = std::getenv("CRASH_HELPER_ANSWER");
        platform::headless::set_message_box_answer(answer != nullptr && std::strcmp(answer, "yes") == 0);
        const int status = platform::answer_crash_question(argc, argv);
        std::printf("asked: %s | %s\n", argv[2], argv[3]);
        return status;
    }
    platform::answer_crash_question(argc, argv);

    if (argc < 2) {
        std::fprintf(stderr, "usage: crash_helper <fault> [--yes] [--no-library | --no-entry-point]\n");
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--yes")
            platform::headless::set_message_box_answer(true);
        else if (option == "--fresh")
            platform::set_crash_question_in_fresh_process(true);
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
