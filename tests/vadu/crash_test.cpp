#include "vadu/crash.h"

#include "platform/modules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int handled_signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int restorer_flag = 0x04000000;

std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::vector<std::string> file_names(const fs::path& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A fresh folder that stands in for the per-user application-data folder.
class CrashFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = ::testing::TempDir() + "crash_test_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        // Two levels that do not exist yet.
        data_ = root_ / "data" / "user";
    }

    void TearDown() override
    {
        std::error_code error;
        fs::remove_all(root_, error);
    }

    fs::path root_;
    fs::path data_;
};

// --- in this process ----------------------------------------------------------------

struct SignalState {
    void* handlers[std::size(handled_signals)];
    int flags[std::size(handled_signals)];
    std::terminate_handler terminate;

    static SignalState now()
    {
        SignalState state{};
        for (size_t i = 0; i < std::size(handled_signals); ++i) {
            struct sigaction action = {};
            sigaction(handled_signals[i], nullptr, &action);
            state.handlers[i] = (action.sa_flags & SA_SIGINFO) ? reinterpret_cast<void*>(action.sa_sigaction)
                                                              : reinterpret_cast<void*>(action.sa_handler);
            // The C library marks every action it sets with its return trampoline.
            state.flags[i] = action.sa_flags & ~restorer_flag;
        }
        state.terminate = std::get_terminate();
        return state;
    }
};

class CrashInstall : public CrashFolder {
protected:
    void SetUp() override
    {
        CrashFolder::SetUp();
        const char* saved = std::getenv("XDG_DATA_HOME");
        saved_ = saved ? std::optional<std::string>(saved) : std::nullopt;
        ::setenv("XDG_DATA_HOME", data_.c_str(), 1);
        platform::clear_module_failures();
        before_ = SignalState::now();
    }

    void TearDown() override
    {
        vadu::crash::unload();
        platform::clear_module_failures();
        if (saved_)
            ::setenv("XDG_DATA_HOME", saved_->c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
        CrashFolder::TearDown();
    }

    std::optional<std::string> saved_;
    SignalState before_;
};

std::string stamp_at(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "-%y%m%d-%H%M%S.dmp", &local);
    return text;
}

TEST_F(CrashInstall, PreparesDatedPathsInACreatedFolderAndUnloadRestores)
{
    const std::time_t start = std::time(nullptr);
    vadu::crash::install("Game Name");
    const std::time_t end = std::time(nullptr);
    ASSERT_TRUE(vadu::crash::is_installed());

    const fs::path folder = data_ / "Game Name";
    EXPECT_TRUE(fs::is_directory(folder));
    const std::string mini = vadu::crash::get_minidump_path();
    const std::string full = vadu::crash::get_fulldump_path();
    const std::string prefix = folder.string() + "/";
    bool matched = false;
    for (std::time_t t = start; t <= end && !matched; ++t)
        matched = mini == prefix + "minidump" + stamp_at(t) && full == prefix + "fulldump" + stamp_at(t);
    EXPECT_TRUE(matched) << mini << "\n" << full;

    const SignalState during = SignalState::now();
    for (size_t i = 0; i < std::size(handled_signals); ++i) {
        SCOPED_TRACE(handled_signals[i]);
        EXPECT_NE(during.handlers[i], before_.handlers[i]);
        EXPECT_TRUE(during.flags[i] & SA_ONSTACK);
    }
    EXPECT_NE(during.terminate, before_.terminate);
    EXPECT_EQ(platform::module_load_count("dbghelp.dll"), 1);

    // Installing again replaces the installation instead of stacking a second one.
    vadu::crash::install("Game Name");
    EXPECT_EQ(platform::module_load_count("dbghelp.dll"), 1);

    vadu::crash::unload();
    EXPECT_FALSE(vadu::crash::is_installed());
    EXPECT_EQ(platform::module_load_count("dbghelp.dll"), 0);
    const SignalState after = SignalState::now();
    for (size_t i = 0; i < std::size(handled_signals); ++i) {
        EXPECT_EQ(after.handlers[i], before_.handlers[i]);
        EXPECT_EQ(after.flags[i], before_.flags[i]);
    }
    EXPECT_EQ(after.terminate, before_.terminate);
}

TEST_F(CrashInstall, UnavailableDumpWriterInstallsNothing)
{
    for (platform::ModuleFailure failure :
         {platform::ModuleFailure::library_missing, platform::ModuleFailure::entry_point_missing}) {
        SCOPED_TRACE(static_cast<int>(failure));
        platform::set_module_failure("dbghelp.dll", failure);
        vadu::crash::install("Game Name");
        EXPECT_FALSE(vadu::crash::is_installed());
        EXPECT_EQ(platform::module_load_count("dbghelp.dll"), 0);
        EXPECT_FALSE(fs::exists(data_));
        const SignalState after = SignalState::now();
        for (size_t i = 0; i < std::size(handled_signals); ++i)
            EXPECT_EQ(after.handlers[i], before_.handlers[i]);
        EXPECT_EQ(after.terminate, before_.terminate);
    }
}

TEST(CrashSpecialFolder, AnswersWideTextOrFalse)
{
    vadu::WString path(u"untouched");
    EXPECT_FALSE(vadu::crash::get_special_folder_w(0x7777, path));
    EXPECT_TRUE(path == u"untouched");
    EXPECT_TRUE(vadu::crash::get_special_folder_w(0x14, path));
    EXPECT_TRUE(path == u"/usr/share/fonts");
}

// --- a child that faults ------------------------------------------------------------

struct ChildResult {
    int status = 0;
    std::string output;
    bool timed_out = false;
};

// Runs the helper with the given arguments, the data folder and the headless back end;
// the sanitizers leave the faults to the handler under test.
ChildResult run_helper(const std::vector<std::string>& arguments, const fs::path& data,
                       const std::vector<std::string>& extra_environment = {})
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (text.rfind("XDG_DATA_HOME=", 0) != 0 && text.rfind("QUILLO_HEADLESS=", 0) != 0 &&
            text.rfind("ASAN_OPTIONS=", 0) != 0)
            environment.push_back(text);
    }
    environment.push_back("XDG_DATA_HOME=" + data.string());
    environment.push_back("QUILLO_HEADLESS=1");
    environment.insert(environment.end(), extra_environment.begin(), extra_environment.end());
    environment.push_back("ASAN_OPTIONS=handle_segv=0:handle_abort=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:"
                          "detect_leaks=0");

    std::vector<std::string> argv_text{QUILLO_CRASH_HELPER};
    argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argv_text)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& text : environment)
        envp.push_back(text.data());
    envp.push_back(nullptr);

    ChildResult result;
    int pipe_ends[2];
    if (::pipe2(pipe_ends, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe";
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_ends[1]);
    if (spawned != 0) {
        ::close(pipe_ends[0]);
        ADD_FAILURE() << "cannot start " << argv[0];
        return result;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool open = true;
    while (open && std::chrono::steady_clock::now() < deadline) {
        pollfd waiting{pipe_ends[0], POLLIN, 0};
        if (::poll(&waiting, 1, 100) <= 0)
            continue;
        char chunk[256];
        const ssize_t got = ::read(pipe_ends[0], chunk, sizeof chunk);
        if (got <= 0)
            open = false;
        else
            result.output.append(chunk, static_cast<size_t>(got));
    }
    ::close(pipe_ends[0]);
    while (::waitpid(child, &result.status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            result.timed_out = true;
            ::kill(child, SIGKILL);
            ::waitpid(child, &result.status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return result;
}

// The section between two headings of a dump.
std::string section(const std::string& dump, const std::string& from, const std::string& to)
{
    const size_t start = dump.find(from);
    if (start == std::string::npos)
        return std::string();
    const size_t stop = dump.find(to, start + from.size());
    return dump.substr(start + from.size(), stop == std::string::npos ? std::string::npos : stop - start - from.size());
}

class CrashChild : public CrashFolder {
protected:
    fs::path dump_folder() const { return data_ / "CrashHelper"; }

    // The helper prints "<fault address> <pid>".
    static void parse_output(const std::string& output, std::string& address, std::string& pid)
    {
        std::istringstream in(output);
        in >> address >> pid;
    }
};

struct FaultCase {
    const char* fault;
    const char* signal_line;
    bool fault_address;
};

void PrintTo(const FaultCase& c, std::ostream* out)
{
    *out << c.fault;
}

class CrashFault : public CrashChild, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(CrashFault, WritesOneSmallDumpAndEndsWithMinusOne)
{
    const FaultCase& c = GetParam();
    const ChildResult result = run_helper({c.fault}, data_);
    ASSERT_FALSE(result.timed_out);
    ASSERT_TRUE(WIFEXITED(result.status)) << "status " << result.status;
    EXPECT_EQ(WEXITSTATUS(result.status), 255);

    // Declining the full dump (the headless default) leaves exactly one file.
    const std::vector<std::string> names = file_names(dump_folder());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(std::regex_match(names[0], std::regex(R"(minidump-\d{6}-\d{6}\.dmp)"))) << names[0];

    const std::string dump = read_file(dump_folder() / names[0]);
    std::string address;
    std::string pid;
    parse_output(result.output, address, pid);
    EXPECT_EQ(dump.rfind("Quillo Tovra crash dump 1\ndump type: normal\n", 0), 0u) << dump.substr(0, 200);
    EXPECT_NE(dump.find("\nprocess id: " + pid + "\n"), std::string::npos);
    EXPECT_NE(dump.find("\nthread id: " + pid + "\n"), std::string::npos);
    EXPECT_NE(dump.find(std::string("\nsignal: ") + c.signal_line + "\n"), std::string::npos);
    if (c.fault_address) {
        EXPECT_NE(dump.find("\nfault address: 0x"), std::string::npos);
    } else {
        EXPECT_NE(dump.find("\nfault address: none\n"), std::string::npos);
    }
#if defined(__x86_64__)
    EXPECT_NE(section(dump, "\nregisters:\n", "\nbacktrace:\n").find("rip 0x"), std::string::npos);
#endif
    EXPECT_NE(section(dump, "\nbacktrace:\n", "\nmodule map:\n").find("crash_helper"), std::string::npos);
    EXPECT_NE(section(dump, "\nmodule map:\n", "end of dump\n").find(QUILLO_CRASH_HELPER), std::string::npos);
    EXPECT_EQ(dump.find("\nmemory:\n"), std::string::npos);
    EXPECT_TRUE(dump.ends_with("\nend of dump\n"));
}

INSTANTIATE_TEST_SUITE_P(Faults, CrashFault,
                         ::testing::Values(FaultCase{"segv", "11 SIGSEGV", true},
                                           FaultCase{"stack-overflow", "11 SIGSEGV", true},
                                           FaultCase{"bus", "7 SIGBUS", true}, FaultCase{"fpe", "8 SIGFPE", true},
                                           FaultCase{"ill", "4 SIGILL", true}, FaultCase{"abort", "6 SIGABRT", false},
                                           FaultCase{"terminate", "0 terminate", false}),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             std::string name = info.param.fault;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST_F(CrashChild, FaultAddressIsTheAddressTouched)
{
    const ChildResult result = run_helper({"segv"}, data_);
    ASSERT_TRUE(WIFEXITED(result.status));
    std::string address;
    std::string pid;
    parse_output(result.output, address, pid);
    ASSERT_EQ(address.rfind("0x", 0), 0u) << result.output;
    const unsigned long long expected = std::stoull(address, nullptr, 16);

    const std::vector<std::string> names = file_names(dump_folder());
    ASSERT_EQ(names.size(), 1u);
    const std::string dump = read_file(dump_folder() / names[0]);
    const std::string line = section(dump, "\nfault address: 0x", "\n");
    ASSERT_EQ(line.size(), 16u);
    EXPECT_EQ(std::stoull(line, nullptr, 16), expected);
}

TEST_F(CrashChild, AnsweringYesAddsAFullDumpWithMemory)
{
    const ChildResult result = run_helper({"segv", "--yes"}, data_);
    ASSERT_FALSE(result.timed_out);
    ASSERT_TRUE(WIFEXITED(result.status));
    EXPECT_EQ(WEXITSTATUS(result.status), 255);
    std::string address;
    std::string pid;
    parse_output(result.output, address, pid);

    const std::vector<std::string> names = file_names(dump_folder());
    ASSERT_EQ(names.size(), 2u);
    ASSERT_EQ(names[0].substr(0, 8), "fulldump");
    ASSERT_EQ(names[1].substr(0, 8), "minidump");
    EXPECT_EQ(names[0].substr(8), names[1].substr(8));

    const std::string dump = read_file(dump_folder() / names[0]);
    EXPECT_EQ(dump.rfind("Quillo Tovra crash dump 1\ndump type: full memory\n", 0), 0u);
    EXPECT_NE(dump.find("\nsignal: 11 SIGSEGV\n"), std::string::npos);
    const size_t memory = dump.find("\nmemory:\n");
    ASSERT_NE(memory, std::string::npos);

    // Walk the regions: each header's length must match the bytes that follow it.
    size_t at = memory + 9;
    uint64_t total = 0;
    int regions = 0;
    const std::string header = "region 0x";
    while (dump.compare(at, header.size(), header) == 0) {
        ASSERT_LE(at + 45, dump.size());
        ASSERT_EQ(dump.substr(at + 25, 3), " 0x");
        ASSERT_EQ(dump[at + 44], '\n');
        const uint64_t length = std::stoull(dump.substr(at + 28, 16), nullptr, 16);
        at += 45 + length;
        ASSERT_LT(at, dump.size());
        ASSERT_EQ(dump[at], '\n');
        ++at;
        total += length;
        ++regions;
    }
    EXPECT_GT(regions, 0);
    EXPECT_LE(total, platform::full_dump_memory_limit);
    EXPECT_EQ(dump.substr(at), "end of dump\n");
    // The stack came along: the helper's marker is only ever on its stack.
    EXPECT_NE(dump.find("stack-marker-" + pid), std::string::npos);
}

// Whatever the answer and wherever it comes from, the dying process itself never shows
// a box nor allocates: a fault inside the allocator (after which every allocation
// faults again) still leaves whole dumps and ends.
TEST_F(CrashChild, QuestionIsAskedSafelyEvenAfterAFaultInTheAllocator)
{
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::vector<std::string> environment;
        bool full_dump;
        bool asked_fresh;
    };
    const std::string question = "asked: Whoops! There's been an error. Do you want to generate a complete "
                                 "memory dump? | Fatal Error\n";
    const Case cases[] = {
        {"malloc, headless default no", {"malloc"}, {}, false, false},
        {"malloc, headless yes", {"malloc", "--yes"}, {}, true, false},
        {"malloc, fresh run says yes", {"malloc", "--fresh"}, {"CRASH_HELPER_ANSWER=yes"}, true, true},
        {"segv, fresh run says no", {"segv", "--fresh"}, {"CRASH_HELPER_ANSWER=no"}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(data_);
        const ChildResult result = run_helper(c.arguments, data_, c.environment);
        ASSERT_FALSE(result.timed_out);
        ASSERT_TRUE(WIFEXITED(result.status)) << "status " << result.status;
        EXPECT_EQ(WEXITSTATUS(result.status), 255);
        EXPECT_EQ(result.output.find(question) != std::string::npos, c.asked_fresh) << result.output;

        const std::vector<std::string> names = file_names(dump_folder());
        ASSERT_EQ(names.size(), c.full_dump ? 2u : 1u);
        for (const std::string& name : names) {
            const std::string dump = read_file(dump_folder() / name);
            EXPECT_NE(dump.find("\nsignal: 11 SIGSEGV\n"), std::string::npos) << name;
            EXPECT_TRUE(dump.ends_with("\nend of dump\n")) << name;
        }
    }
}

TEST_F(CrashChild, UnavailableDumpWriterLeavesTheFaultUnhandled)
{
    for (const char* option : {"--no-library", "--no-entry-point"}) {
        SCOPED_TRACE(option);
        const ChildResult result = run_helper({"segv", option}, data_);
        ASSERT_FALSE(result.timed_out);
        ASSERT_TRUE(WIFSIGNALED(result.status)) << "status " << result.status;
        EXPECT_EQ(WTERMSIG(result.status), SIGSEGV);
        EXPECT_FALSE(fs::exists(data_));
    }
}

} // namespace
