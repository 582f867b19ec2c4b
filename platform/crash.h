#pragma once

// The last line of defence when the program faults: handlers for SIGSEGV, SIGBUS,
// SIGFPE, SIGILL, SIGABRT and std::terminate that hand the fault to one filter, and a
// dump writer of our own.
//
// The handlers run on an alternate stack (so a stack overflow is caught too) and do
// only async-signal-safe work: every buffer they need is prepared when the filter is
// set. A second fault on the thread that is already handling one ends the process at
// once with status 255; a fault on another thread meanwhile waits for that end.
//
// Dump format (text lines, then raw memory for the full dump):
//   Quillo Tovra crash dump 1
//   dump type: normal | full memory
//   process id: <decimal>
//   thread id: <decimal>
//   signal: <number> <name>           (0 terminate for std::terminate)
//   signal code: <decimal>
//   fault address: 0x<hex>
//   registers: ...                    (name 0x<hex> pairs, or "unavailable")
//   backtrace: ...                    (one frame a line)
//   module map: ...                   (/proc/self/maps as it stands)
//   memory:                           (full dump only; readable anonymous regions,
//   region 0x<start> 0x<length>       stack and heap first, at most
//   <length raw bytes>                full_dump_memory_limit bytes in all)
//   end of dump

#include <csignal>
#include <cstdint>

#include <ucontext.h>

// For the functions a fault runs through. The address checker would otherwise call
// its own stack bookkeeping before every call that does not return, and that
// bookkeeping allocates and locks: a fault inside the allocator would hang there.
#if defined(__SANITIZE_ADDRESS__)
#define QUILLO_FAULT_PATH __attribute__((no_sanitize_address))
#else
#define QUILLO_FAULT_PATH
#endif

namespace platform {

// What a fault hands to the filter.
struct ExceptionPointers {
    int signal = 0;                      // 0 for std::terminate
    const siginfo_t* info = nullptr;     // null for std::terminate
    const ucontext_t* context = nullptr; // registers at the fault; may be null
};

// Must not return; if it does, the process ends with status 255.
using ExceptionFilter = void (*)(const ExceptionPointers* pointers);

// Installs the handlers (or only swaps the filter when they are installed already) and
// returns the previous filter. Null removes them and puts back the signal actions, the
// alternate stack and the terminate handler that were there before. Call on the main
// thread; the alternate stack serves the calling thread.
ExceptionFilter set_unhandled_exception_filter(ExceptionFilter filter);
ExceptionFilter get_unhandled_exception_filter();

// Dump types.
constexpr uint32_t dump_normal = 0;
constexpr uint32_t dump_with_full_memory = 2;

constexpr uint64_t full_dump_memory_limit = 64ull * 1024 * 1024;

struct DumpExceptionInformation {
    uint32_t thread_id = 0;
    const ExceptionPointers* pointers = nullptr;
    bool client_pointers = true;
};

// Writes a dump of this process to an open file. The backtrace is the calling thread's.
// Async-signal-safe. False when the file cannot be written or the type is unknown.
bool write_dump(int32_t process_id, int file, uint32_t type, const DumpExceptionInformation* exception);
using WriteDumpProc = bool (*)(int32_t process_id, int file, uint32_t type, const DumpExceptionInformation* exception);

// Async-signal-safe helpers for a filter.
int32_t current_process_id();
uint32_t current_thread_id();
// Creates or empties the file for writing, owner-only; -1 on failure.
int create_dump_file(const char* path);
void close_dump_file(int file);
// Ends the process at once, without running exit handlers; -1 becomes status 255.
[[noreturn]] QUILLO_FAULT_PATH void terminate_process(int32_t exit_code);

// The yes/no question a filter may ask after a fault. Showing a box from inside the
// dying process is not safe (a fault inside the window system or the allocator would
// hang it), so:
// - with a display, the question is asked by a fresh run of this program (its main()
//   must start with answer_crash_question) while the dying process waits for it;
// - headless, no question is shown: the headless back end's scripted answer stands in
//   ("no" unless a test set another);
// - with a display but a main() that cannot answer, the answer is "no".
//
// Prepares the question, outside any handler (vadu::crash::install does it).
void prepare_crash_question(const char16_t* text, const char16_t* caption);
// Async-signal-safe: true when the answer is yes. "No" when nothing was prepared.
bool ask_crash_question();

// The option a fresh run is started with: <program> --quillo-crash-question <text> <caption>.
inline constexpr const char crash_question_option[] = "--quillo-crash-question";

// For the very start of main(): marks this program as able to answer, and when the
// arguments are a crash question, asks it (message box) and returns the exit status
// that carries the answer (0 yes, 1 no). Otherwise -1: run as usual.
int answer_crash_question(int argc, char** argv);

// Tests: ask from a fresh process even when headless (the fresh run then answers with
// its own headless script).
void set_crash_question_in_fresh_process(bool always);

} // namespace platform
