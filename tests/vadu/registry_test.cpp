#include "vadu/registry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

constexpr const char* processor_path = "HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";

TEST(RegistryParseKeyPath, RootsAreTriedAsPrefixesInOrder)
{
    const platform::RegistryKey untouched = reinterpret_cast<platform::RegistryKey>(0x42);
    struct Case {
        const char* path;
        platform::RegistryKey root;
        const char* sub_key;
    };
    const Case cases[] = {
        {"HKEY_CLASSES_ROOT\\.scene", platform::hkey_classes_root(), ".scene"},
        {"HKEY_CURRENT_CONFIG\\Software", platform::hkey_current_config(), "Software"},
        {"HKEY_LOCAL_MACHINE\\HARDWARE\\A\\B", platform::hkey_local_machine(), "HARDWARE\\A\\B"},
        {"HKEY_USERS\\.DEFAULT", platform::hkey_users(), ".DEFAULT"},
        {"HKEY_CURRENT_USER\\Software\\Quillo", platform::hkey_current_user(), "Software\\Quillo"},
        // Any one character separates; only the root name itself must match.
        {"HKEY_USERS/x", platform::hkey_users(), "x"},
        {"HKEY_USERSX\\y", platform::hkey_users(), "\\y"},
        {"HKEY_LOCAL_MACHINE\\", platform::hkey_local_machine(), ""},
        {"HKEY_LOCAL_MACHINE", platform::hkey_local_machine(), ""},
        // No match: empty result, root as it was.
        {"HKLM\\HARDWARE", untouched, ""},
        {"hkey_local_machine\\HARDWARE", untouched, ""},
        {"\\HKEY_USERS\\x", untouched, ""},
        {"", untouched, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        platform::RegistryKey root = untouched;
        const vadu::String sub_key = vadu::registry::parse_key_path(c.path, root);
        EXPECT_EQ(root, c.root);
        EXPECT_EQ(std::string(sub_key.data(), sub_key.size()), c.sub_key);
    }
}

// Serves a processor-information file of the test's choosing and checks that every
// read closed its key.
class RegistryRead : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = ::testing::TempDir() + "vadu_registry_cpuinfo_" + std::to_string(::getpid());
        write_cpuinfo("model name\t: Test CPU @ 3.60GHz\ncpu MHz\t\t: 3599.999\n");
        platform::set_registry_cpuinfo_source(path_);
    }

    void TearDown() override
    {
        EXPECT_EQ(platform::registry_open_key_count(), 0);
        platform::set_registry_cpuinfo_source("");
        std::remove(path_.c_str());
    }

    void write_cpuinfo(const std::string& text)
    {
        std::ofstream(path_, std::ios::trunc) << text;
    }

    std::string path_;
};

TEST_F(RegistryRead, ReadsTheProcessorValues)
{
    vadu::String name;
    ASSERT_TRUE(vadu::registry::read_string(processor_path, "ProcessorNameString", name));
    EXPECT_EQ(std::string(name.c_str()), "Test CPU @ 3.60GHz");

    uint32_t mhz = 0;
    ASSERT_TRUE(vadu::registry::read_dword(processor_path, "~MHz", mhz));
    EXPECT_EQ(mhz, 3599u);
}

TEST_F(RegistryRead, FailuresAreFalseAndLeaveTheOutputAlone)
{
    struct Case {
        const char* path;
        const char* value;
    };
    const Case cases[] = {
        {processor_path, "Identifier"},                                  // missing value
        {"HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System", "~MHz"},   // missing key
        {"HKEY_CURRENT_USER\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "~MHz"},
        {"HKLM\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "~MHz"}, // unknown root
        {"", "~MHz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " / " + c.value);
        vadu::String text("before");
        uint32_t number = 77;
        EXPECT_FALSE(vadu::registry::read_string(c.path, c.value, text));
        EXPECT_FALSE(vadu::registry::read_dword(c.path, c.value, number));
        EXPECT_EQ(std::string(text.c_str()), "before");
        EXPECT_EQ(number, 77u);
    }
}

TEST_F(RegistryRead, WrongTypeIsAFailure)
{
    vadu::String text("before");
    uint32_t number = 77;
    EXPECT_FALSE(vadu::registry::read_string(processor_path, "~MHz", text));
    EXPECT_FALSE(vadu::registry::read_dword(processor_path, "ProcessorNameString", number));
    EXPECT_EQ(std::string(text.c_str()), "before");
    EXPECT_EQ(number, 77u);
}

TEST_F(RegistryRead, ShortStringsReadWhole)
{
    // The empty string fits the one-byte probe: it is a value like any other.
    for (const char* name : {"", "X", "AB"}) {
        SCOPED_TRACE(name);
        write_cpuinfo(std::string("model name : ") + name + "\n");
        vadu::String text("before");
        ASSERT_TRUE(vadu::registry::read_string(processor_path, "ProcessorNameString", text));
        EXPECT_EQ(std::string(text.c_str()), name);
    }
}

TEST_F(RegistryRead, ValueNamesIgnoreCase)
{
    uint32_t mhz = 0;
    EXPECT_TRUE(vadu::registry::read_dword(processor_path, "~mhz", mhz));
    EXPECT_EQ(mhz, 3599u);
}

} // namespace
