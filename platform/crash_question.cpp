#include "platform/crash.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utf8.h>

#include "platform/headless/script.h"
#include "platform/window.h"

namespace platform {
namespace {

enum class Asker { none, scripted, fresh_process };

constexpr size_t text_capacity = 1024;
constexpr size_t program_capacity = 4096;

// Everything the handler needs, filled in before it can run.
std::atomic<Asker> asker{Asker::none};
char program[program_capacity];
char question_text[text_capacity];
char question_caption[text_capacity];
char option_text[sizeof crash_question_option];
char* question_argv[5];

std::atomic<bool> main_answers{false};
std::atomic<bool> always_fresh{false};

// Cut to the buffer on a code point boundary; false for text that is not UTF-16.
bool copy_utf8(const char16_t* text, char (&target)[text_capacity])
{
    std::string utf8;
    try {
        const char16_t* end = text;
        while (*end)
            ++end;
        utf8::utf16to8(text, end, std::back_inserter(utf8));
    } catch (const utf8::exception&) {
        return false;
    }
    size_t size = utf8.size() < text_capacity - 1 ? utf8.size() : text_capacity - 1;
    while (size > 0 && size < utf8.size() && (static_cast<unsigned char>(utf8[size]) & 0xC0) == 0x80)
        --size;
    std::memcpy(target, utf8.data(), size);
    target[size] = '\0';
    return true;
}

std::u16string to_utf16(const char* text)
{
    std::u16string wide;
    const char* end = text + std::strlen(text);
    try {
        utf8::utf8to16(text, end, std::back_inserter(wide));
    } catch (const utf8::exception&) {
        wide.clear();
        utf8::replace_invalid(text, end, std::back_inserter(wide), u'?');
    }
    return wide;
}

bool ask_fresh_process()
{
    // A bare clone: fork() would run the program's fork handlers, which may lock.
    const long child = syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0);
    if (child < 0)
        return false;
    if (child == 0) {
        execve(program, question_argv, environ);
        _exit(1);
    }
    int status = 0;
    while (waitpid(static_cast<pid_t>(child), &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

void prepare_crash_question(const char16_t* text, const char16_t* caption)
{
    asker.store(Asker::none);
    if (is_headless() && !always_fresh.load()) {
        asker.store(Asker::scripted);
        return;
    }
    if (!main_answers.load() || text == nullptr || caption == nullptr)
        return;
    const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof program - 1)
        return;
    program[length] = '\0';
    if (!copy_utf8(text, question_text) || !copy_utf8(caption, question_caption))
        return;
    std::memcpy(option_text, crash_question_option, sizeof option_text);
    question_argv[0] = program;
    question_argv[1] = option_text;
    question_argv[2] = question_text;
    question_argv[3] = question_caption;
    question_argv[4] = nullptr;
    asker.store(Asker::fresh_process);
}

bool ask_crash_question()
{
    switch (asker.load()) {
    case Asker::scripted:
        return headless::scripted_message_box_answer();
    case Asker::fresh_process:
        return ask_fresh_process();
    case Asker::none:
        break;
    }
    return false;
}

int answer_crash_question(int argc, char** argv)
{
    main_answers.store(true);
    if (argc != 4 || std::strcmp(argv[1], crash_question_option) != 0)
        return -1;
    const std::u16string text = to_utf16(argv[2]);
    const std::u16string caption = to_utf16(argv[3]);
    return message_box_yes_no(text.c_str(), caption.c_str(), MessageBoxIcon::error) ? 0 : 1;
}

void set_crash_question_in_fresh_process(bool always)
{
    always_fresh.store(always);
}

} // namespace platform
