#include "platform/crash.h"
#include "platform/modules.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class ModuleTable : public ::testing::Test {
protected:
    void TearDown() override { platform::clear_module_failures(); }
};

TEST_F(ModuleTable, DumpWriterLoadsByNameAndCountsLoads)
{
    platform::ModuleHandle first = platform::load_library("dbghelp.dll");
    platform::ModuleHandle second = platform::load_library("DBGHELP.DLL");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(second, first);
    EXPECT_EQ(platform::module_load_count("dbghelp.dll"), 2);

    EXPECT_EQ(platform::get_proc_address(first, "MiniDumpWriteDump"),
              reinterpret_cast<platform::ModuleProc>(&platform::write_dump));
    // Entry-point names are exact.
    EXPECT_EQ(platform::get_proc_address(first, "minidumpwritedump"), nullptr);
    EXPECT_EQ(platform::get_proc_address(first, "Direct3DCreate9"), nullptr);

    EXPECT_TRUE(platform::free_library(first));
    EXPECT_TRUE(platform::free_library(second));
    EXPECT_EQ(platform::module_load_count("dbghelp.dll"), 0);
    // Freed once too often, or never loaded: refused, and nothing can be looked up.
    EXPECT_FALSE(platform::free_library(first));
    EXPECT_EQ(platform::get_proc_address(first, "MiniDumpWriteDump"), nullptr);
    EXPECT_FALSE(platform::free_library(nullptr));
    EXPECT_EQ(platform::load_library("nosuch.dll"), nullptr);
    EXPECT_EQ(platform::load_library(nullptr), nullptr);
}

TEST_F(ModuleTable, FailuresCanBeSimulated)
{
    platform::set_module_failure("dbghelp.dll", platform::ModuleFailure::library_missing);
    EXPECT_EQ(platform::load_library("dbghelp.dll"), nullptr);
    EXPECT_EQ(platform::module_load_count("dbghelp.dll"), 0);

    platform::set_module_failure("dbghelp.dll", platform::ModuleFailure::entry_point_missing);
    platform::ModuleHandle module = platform::load_library("dbghelp.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(platform::get_proc_address(module, "MiniDumpWriteDump"), nullptr);

    platform::clear_module_failures();
    EXPECT_NE(platform::get_proc_address(module, "MiniDumpWriteDump"), nullptr);
    EXPECT_TRUE(platform::free_library(module));
}

void entry_for_test() {}

TEST_F(ModuleTable, BackEndsRegisterTheirOwnEntryPoints)
{
    platform::register_module_entry("TEST_MODULE.DLL", "TestEntry", &entry_for_test);
    platform::ModuleHandle module = platform::load_library("test_module.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(platform::get_proc_address(module, "TestEntry"), &entry_for_test);
    EXPECT_TRUE(platform::free_library(module));
}

// A small dump written in this process, outside any fault.
TEST(DumpWriter, WritesTheSmallFormatAndRefusesBadArguments)
{
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    const int descriptor = fileno(file);
    ASSERT_TRUE(platform::write_dump(platform::current_process_id(), descriptor, platform::dump_normal, nullptr));

    std::string dump;
    std::rewind(file);
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        dump.append(chunk, got);
    std::fclose(file);

    const std::string pid = std::to_string(::getpid());
    const std::string head = "Quillo Tovra crash dump 1\ndump type: normal\nprocess id: " + pid +
                             "\nthread id: " + std::to_string(platform::current_thread_id()) +
                             "\nsignal: unknown\nsignal code: none\nfault address: none\nregisters: unavailable\n"
                             "backtrace:\n";
    EXPECT_EQ(dump.substr(0, head.size()), head);
    EXPECT_NE(dump.find("\nmodule map:\n"), std::string::npos);
    EXPECT_NE(dump.find("[stack]"), std::string::npos);
    EXPECT_EQ(dump.substr(dump.size() - 12), "end of dump\n");

    EXPECT_FALSE(platform::write_dump(platform::current_process_id(), -1, platform::dump_normal, nullptr));
    EXPECT_FALSE(platform::write_dump(platform::current_process_id(), STDOUT_FILENO, 1, nullptr));
    int pipe_ends[2];
    ASSERT_EQ(::pipe(pipe_ends), 0);
    ::close(pipe_ends[0]);
    ::close(pipe_ends[1]);
    // A closed file fails the write instead of reporting success.
    EXPECT_FALSE(platform::write_dump(platform::current_process_id(), pipe_ends[1], platform::dump_normal, nullptr));
}

TEST(DumpWriter, DumpFilesAreOwnerOnlyAndStartEmpty)
{
    const std::string path = ::testing::TempDir() + "dump_file_" + std::to_string(::getpid());
    std::remove(path.c_str());
    int file = platform::create_dump_file(path.c_str());
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, "an older dump", 13), 13);
    platform::close_dump_file(file);
    struct stat info = {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    file = platform::create_dump_file(path.c_str());
    ASSERT_GE(file, 0);
    platform::close_dump_file(file);
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 0);
    std::remove(path.c_str());

    EXPECT_EQ(platform::create_dump_file((::testing::TempDir() + "no/such/folder/x.dmp").c_str()), -1);
    EXPECT_EQ(platform::create_dump_file(nullptr), -1);
}

} // namespace
