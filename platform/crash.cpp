#include "platform/crash.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <exception>
#include <iterator>

#include <execinfo.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int handled_signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr size_t signal_count = std::size(handled_signals);
// Generous: sanitizer builds use much larger frames.
constexpr size_t alternate_stack_size = 256 * 1024;
constexpr int max_frames = 128;
constexpr size_t memory_chunk = 1024 * 1024;

struct Installed {
    bool active = false;
    struct sigaction previous[signal_count] = {};
    stack_t previous_stack = {};
    std::terminate_handler previous_terminate = nullptr;
};

Installed installed;
// Mapped once and kept: a thread may still have it as its alternate stack.
void* alternate_stack = nullptr;
std::atomic<ExceptionFilter> current_filter{nullptr};
// The thread that is handling a fault, 0 while none is.
std::atomic<long> handling_thread{0};

long raw_gettid()
{
    return syscall(SYS_gettid);
}

// Straight to the kernel: library wrappers may be intercepted by checkers that would
// object to reading arbitrary process memory, and the kernel reports unreadable
// memory as EFAULT instead of faulting.
ssize_t raw_write(int file, const void* data, size_t size)
{
    return syscall(SYS_write, file, data, size);
}

bool write_all(int file, const void* data, size_t size)
{
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = raw_write(file, next, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        next += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Buffered text output with no allocation.
class Out {
public:
    explicit Out(int file) : file_(file) {}

    void text(const char* text)
    {
        while (*text)
            character(*text++);
    }

    void character(char c)
    {
        if (used_ == sizeof buffer_)
            flush();
        buffer_[used_++] = c;
    }

    void decimal(int64_t value)
    {
        uint64_t magnitude = static_cast<uint64_t>(value);
        if (value < 0) {
            character('-');
            magnitude = 0 - magnitude;
        }
        char digits[20];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        while (count > 0)
            character(digits[--count]);
    }

    // Always 16 digits, so a length can be patched in place later.
    void hex(uint64_t value)
    {
        char digits[16];
        format_hex(value, digits);
        for (char c : digits)
            character(c);
    }

    static void format_hex(uint64_t value, char (&digits)[16])
    {
        for (int i = 15; i >= 0; --i) {
            digits[i] = "0123456789abcdef"[value & 0xF];
            value >>= 4;
        }
    }

    bool flush()
    {
        if (used_ > 0 && !write_all(file_, buffer_, used_))
            ok_ = false;
        used_ = 0;
        return ok_;
    }

    bool ok() const { return ok_; }
    void fail() { ok_ = false; }
    int file() const { return file_; }

private:
    int file_;
    char buffer_[1024];
    size_t used_ = 0;
    bool ok_ = true;
};

const char* signal_name(int signal)
{
    switch (signal) {
    case 0:
        return "terminate";
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    case SIGABRT:
        return "SIGABRT";
    default:
        return "other";
    }
}

bool has_fault_address(int signal)
{
    return signal == SIGSEGV || signal == SIGBUS || signal == SIGFPE || signal == SIGILL;
}

void write_registers(Out& out, const ucontext_t* context)
{
    out.text("registers:");
    if (context == nullptr) {
        out.text(" unavailable\n");
        return;
    }
    out.character('\n');
#if defined(__x86_64__)
    struct Register {
        const char* name;
        int index;
    };
    static constexpr Register registers[] = {
        {"rip", REG_RIP}, {"rsp", REG_RSP}, {"rbp", REG_RBP}, {"eflags", REG_EFL}, {"rax", REG_RAX},
        {"rbx", REG_RBX}, {"rcx", REG_RCX}, {"rdx", REG_RDX}, {"rsi", REG_RSI},    {"rdi", REG_RDI},
        {"r8", REG_R8},   {"r9", REG_R9},   {"r10", REG_R10}, {"r11", REG_R11},    {"r12", REG_R12},
        {"r13", REG_R13}, {"r14", REG_R14}, {"r15", REG_R15},
    };
    for (const Register& reg : registers) {
        out.text(reg.name);
        out.text(" 0x");
        out.hex(static_cast<uint64_t>(context->uc_mcontext.gregs[reg.index]));
        out.character('\n');
    }
#elif defined(__aarch64__)
    out.text("pc 0x");
    out.hex(context->uc_mcontext.pc);
    out.text("\nsp 0x");
    out.hex(context->uc_mcontext.sp);
    out.text("\npstate 0x");
    out.hex(context->uc_mcontext.pstate);
    out.character('\n');
    for (int i = 0; i < 31; ++i) {
        out.character('x');
        out.decimal(i);
        out.text(" 0x");
        out.hex(context->uc_mcontext.regs[i]);
        out.character('\n');
    }
#else
    out.text("unavailable\n");
#endif
}

void write_backtrace(Out& out)
{
    out.text("backtrace:\n");
    if (!out.flush())
        return;
    void* frames[max_frames];
    const int count = backtrace(frames, max_frames);
    backtrace_symbols_fd(frames, count, out.file());
}

void copy_module_map(Out& out)
{
    out.text("module map:\n");
    if (!out.flush())
        return;
    const int maps = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps < 0) {
        out.text("unavailable\n");
        return;
    }
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(maps, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        if (!write_all(out.file(), chunk, static_cast<size_t>(got))) {
            out.fail();
            break;
        }
    }
    close(maps);
}

struct Region {
    uintptr_t start = 0;
    uintptr_t end = 0;
    bool readable = false;
    const char* path = "";
};

bool parse_hex(const char*& p, const char* end, uintptr_t& value)
{
    const char* first = p;
    value = 0;
    while (p < end) {
        const char c = *p;
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            break;
        value = value * 16 + static_cast<uintptr_t>(digit);
        ++p;
    }
    return p != first;
}

void skip_field(const char*& p, const char* end)
{
    while (p < end && *p == ' ')
        ++p;
    while (p < end && *p != ' ')
        ++p;
}

// One line of /proc/self/maps: "start-end perms offset dev inode   path". `line` is
// zero-terminated.
bool parse_region(const char* line, size_t length, Region& region)
{
    const char* p = line;
    const char* end = line + length;
    if (!parse_hex(p, end, region.start) || p == end || *p++ != '-')
        return false;
    if (!parse_hex(p, end, region.end) || p == end || *p++ != ' ')
        return false;
    if (end - p < 4)
        return false;
    region.readable = p[0] == 'r';
    p += 4;
    skip_field(p, end); // offset
    skip_field(p, end); // device
    skip_field(p, end); // inode
    while (p < end && *p == ' ')
        ++p;
    region.path = p;
    return region.end > region.start;
}

// Calls visit(region) for every line of /proc/self/maps.
template <class Visit>
void for_each_region(Visit&& visit)
{
    const int maps = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps < 0)
        return;
    char chunk[4096];
    char line[512];
    size_t length = 0;
    for (;;) {
        const ssize_t got = read(maps, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        for (ssize_t i = 0; i < got; ++i) {
            if (chunk[i] != '\n') {
                // Over-long lines only lose the end of their path.
                if (length + 1 < sizeof line)
                    line[length++] = chunk[i];
                continue;
            }
            line[length] = '\0';
            Region region;
            if (parse_region(line, length, region))
                visit(region);
            length = 0;
        }
    }
    close(maps);
}

bool starts_with(const char* text, const char* prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// Pass 0 takes the stack and the heap, pass 1 the other anonymous regions.
bool region_in_pass(const Region& region, int pass)
{
    if (!region.readable)
        return false;
    if (pass == 0)
        return std::strcmp(region.path, "[stack]") == 0 || std::strcmp(region.path, "[heap]") == 0;
    return region.path[0] == '\0' || starts_with(region.path, "[anon:");
}

// "region 0x<start> 0x<length>\n" + the bytes + "\n". The length is corrected in place
// when part of the region cannot be read.
void write_region(Out& out, const Region& region, uint64_t& budget)
{
    uint64_t length = region.end - region.start;
    if (length > budget)
        length = budget;
    out.text("region 0x");
    out.hex(region.start);
    out.text(" 0x");
    if (!out.flush())
        return;
    const off_t length_at = lseek(out.file(), 0, SEEK_CUR);
    out.hex(length);
    out.character('\n');
    if (!out.flush())
        return;

    uint64_t written = 0;
    while (written < length) {
        const uint64_t left = length - written;
        const size_t part = left < memory_chunk ? static_cast<size_t>(left) : memory_chunk;
        const ssize_t n = raw_write(out.file(), reinterpret_cast<const char*>(region.start + written), part);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<uint64_t>(n);
    }
    if (written != length) {
        char digits[16];
        Out::format_hex(written, digits);
        if (length_at < 0 || syscall(SYS_pwrite64, out.file(), digits, sizeof digits, length_at) != 16)
            out.fail();
    }
    budget -= written;
    out.character('\n');
}

void write_memory(Out& out)
{
    out.text("memory:\n");
    uint64_t budget = full_dump_memory_limit;
    for (int pass = 0; pass < 2; ++pass) {
        for_each_region([&](const Region& region) {
            if (out.ok() && budget > 0 && region_in_pass(region, pass))
                write_region(out, region, budget);
        });
    }
}

[[noreturn]] QUILLO_FAULT_PATH void handle(const ExceptionPointers& pointers)
{
    const long self = raw_gettid();
    long expected = 0;
    if (!handling_thread.compare_exchange_strong(expected, self)) {
        // A fault inside the handling itself: nothing more can be trusted.
        if (expected == self)
            terminate_process(-1);
        for (;;)
            pause();
    }
    if (ExceptionFilter filter = current_filter.load())
        filter(&pointers);
    terminate_process(-1);
}

QUILLO_FAULT_PATH void on_signal(int signal, siginfo_t* info, void* context)
{
    ExceptionPointers pointers;
    pointers.signal = signal;
    pointers.info = info;
    pointers.context = static_cast<const ucontext_t*>(context);
    handle(pointers);
}

QUILLO_FAULT_PATH void on_terminate()
{
    ucontext_t context;
    ExceptionPointers pointers;
    if (getcontext(&context) == 0)
        pointers.context = &context;
    handle(pointers);
}

void install_handlers()
{
    // The first backtrace loads the unwinder, which allocates: do it now, not in a handler.
    void* frames[4];
    backtrace(frames, 4);

    if (alternate_stack == nullptr) {
        void* stack = mmap(nullptr, alternate_stack_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK,
                           -1, 0);
        if (stack != MAP_FAILED)
            alternate_stack = stack;
    }
    installed.previous_stack = {};
    installed.previous_stack.ss_flags = SS_DISABLE;
    if (alternate_stack != nullptr) {
        stack_t stack = {};
        stack.ss_sp = alternate_stack;
        stack.ss_size = alternate_stack_size;
        sigaltstack(&stack, &installed.previous_stack);
    }

    struct sigaction action = {};
    action.sa_sigaction = on_signal;
    sigemptyset(&action.sa_mask);
    // NODEFER lets a fault inside the handler reach it again and end the process.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    for (size_t i = 0; i < signal_count; ++i)
        sigaction(handled_signals[i], &action, &installed.previous[i]);
    installed.previous_terminate = std::set_terminate(on_terminate);
    installed.active = true;
}

void remove_handlers()
{
    for (size_t i = 0; i < signal_count; ++i)
        sigaction(handled_signals[i], &installed.previous[i], nullptr);
    std::set_terminate(installed.previous_terminate);
    stack_t current = {};
    if (alternate_stack != nullptr && sigaltstack(nullptr, &current) == 0 && current.ss_sp == alternate_stack)
        sigaltstack(&installed.previous_stack, nullptr);
    installed = Installed();
}

} // namespace

ExceptionFilter set_unhandled_exception_filter(ExceptionFilter filter)
{
    if (filter != nullptr && !installed.active)
        install_handlers();
    const ExceptionFilter previous = current_filter.exchange(filter);
    if (filter == nullptr && installed.active)
        remove_handlers();
    return previous;
}

ExceptionFilter get_unhandled_exception_filter()
{
    return current_filter.load();
}

bool write_dump(int32_t process_id, int file, uint32_t type, const DumpExceptionInformation* exception)
{
    if (file < 0 || (type != dump_normal && type != dump_with_full_memory))
        return false;
    const ExceptionPointers* pointers = exception ? exception->pointers : nullptr;
    const siginfo_t* info = pointers ? pointers->info : nullptr;

    Out out(file);
    out.text("Quillo Tovra crash dump 1\ndump type: ");
    out.text(type == dump_with_full_memory ? "full memory" : "normal");
    out.text("\nprocess id: ");
    out.decimal(process_id);
    out.text("\nthread id: ");
    out.decimal(exception ? exception->thread_id : current_thread_id());
    out.text("\nsignal: ");
    if (pointers) {
        out.decimal(pointers->signal);
        out.character(' ');
        out.text(signal_name(pointers->signal));
    } else {
        out.text("unknown");
    }
    out.text("\nsignal code: ");
    if (info)
        out.decimal(info->si_code);
    else
        out.text("none");
    out.text("\nfault address: ");
    // Only a fault the kernel reports carries an address; a sent signal carries a sender.
    if (info && info->si_code > 0 && has_fault_address(pointers->signal)) {
        out.text("0x");
        out.hex(reinterpret_cast<uintptr_t>(info->si_addr));
    } else {
        out.text("none");
    }
    out.character('\n');
    write_registers(out, pointers ? pointers->context : nullptr);
    write_backtrace(out);
    copy_module_map(out);
    if (type == dump_with_full_memory)
        write_memory(out);
    out.text("end of dump\n");
    return out.flush();
}

int32_t current_process_id()
{
    return static_cast<int32_t>(getpid());
}

uint32_t current_thread_id()
{
    return static_cast<uint32_t>(raw_gettid());
}

int create_dump_file(const char* path)
{
    if (path == nullptr)
        return -1;
    return open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

void close_dump_file(int file)
{
    if (file >= 0)
        close(file);
}

QUILLO_FAULT_PATH void terminate_process(int32_t exit_code)
{
    _exit(exit_code & 0xFF);
}

} // namespace platform
