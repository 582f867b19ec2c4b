#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

constexpr const char* processor_key = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";

// Serves a processor-information file of the test's choosing.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = ::testing::TempDir() + "registry_cpuinfo_" + std::to_string(::getpid());
        write_cpuinfo("processor\t: 0\n"
                      "model name\t: Test CPU @ 2.90GHz  \n"
                      "cpu MHz\t\t: 2899.998\n"
                      "\n"
                      "processor\t: 1\n"
                      "model name\t: Second CPU\n"
                      "cpu MHz\t\t: 1200.000\n");
        platform::set_registry_cpuinfo_source(path_);
    }

    void TearDown() override
    {
        platform::set_registry_cpuinfo_source("");
        std::remove(path_.c_str());
        EXPECT_EQ(platform::registry_open_key_count(), 0);
    }

    void write_cpuinfo(const std::string& text)
    {
        std::ofstream(path_, std::ios::trunc) << text;
    }

    platform::RegistryKey open_processor()
    {
        platform::RegistryKey key = nullptr;
        EXPECT_EQ(platform::registry_open_key(platform::hkey_local_machine(), processor_key, platform::reg::key_read,
                                              &key),
                  platform::reg::success);
        return key;
    }

    std::string path_;
};

TEST_F(RegistryTest, ProcessorNameReadsWithSizeProbe)
{
    platform::RegistryKey key = open_processor();
    ASSERT_NE(key, nullptr);
    const std::string expected = "Test CPU @ 2.90GHz";
    const uint32_t expected_size = static_cast<uint32_t>(expected.size() + 1);

    uint32_t type = 0;
    uint32_t size = 0;
    EXPECT_EQ(platform::registry_query_value(key, "ProcessorNameString", &type, nullptr, &size),
              platform::reg::success);
    EXPECT_EQ(type, platform::reg::type_sz);
    EXPECT_EQ(size, expected_size);

    uint8_t probe = 0x55;
    size = 1;
    type = 0;
    EXPECT_EQ(platform::registry_query_value(key, "ProcessorNameString", &type, &probe, &size),
              platform::reg::more_data);
    EXPECT_EQ(type, platform::reg::type_sz);
    EXPECT_EQ(size, expected_size);

    std::string buffer(size, 'x');
    EXPECT_EQ(platform::registry_query_value(key, "processornamestring", &type,
                                             reinterpret_cast<uint8_t*>(buffer.data()), &size),
              platform::reg::success);
    EXPECT_EQ(size, expected_size);
    EXPECT_EQ(buffer, expected + '\0');
    EXPECT_EQ(platform::registry_close_key(key), platform::reg::success);
}

TEST_F(RegistryTest, SpeedIsTruncatedMegahertzOfTheFirstProcessor)
{
    platform::RegistryKey key = open_processor();
    uint32_t type = 0;
    uint8_t probe = 0;
    uint32_t size = 1;
    EXPECT_EQ(platform::registry_query_value(key, "~MHz", &type, &probe, &size), platform::reg::more_data);
    EXPECT_EQ(type, platform::reg::type_dword);
    EXPECT_EQ(size, 4u);

    uint32_t mhz = 0;
    EXPECT_EQ(platform::registry_query_value(key, "~mhz", &type, reinterpret_cast<uint8_t*>(&mhz), &size),
              platform::reg::success);
    EXPECT_EQ(mhz, 2899u);
    platform::registry_close_key(key);
}

TEST_F(RegistryTest, EveryOtherKeyIsAbsentAndNothingIsCreated)
{
    struct Case {
        platform::RegistryKey root;
        const char* sub_key;
    };
    const Case cases[] = {
        {platform::hkey_current_user(), processor_key},
        {platform::hkey_classes_root(), processor_key},
        {platform::hkey_users(), processor_key},
        {platform::hkey_current_config(), processor_key},
        {platform::hkey_local_machine(), "HARDWARE\\DESCRIPTION\\System\\CentralProcessor"},
        {platform::hkey_local_machine(), "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\1"},
        {platform::hkey_local_machine(), "SOFTWARE\\Quillo"},
        {platform::hkey_local_machine(), ""},
        {platform::hkey_local_machine(), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sub_key ? c.sub_key : "(null)");
        for (int attempt = 0; attempt < 2; ++attempt) {
            platform::RegistryKey key = reinterpret_cast<platform::RegistryKey>(1);
            EXPECT_EQ(platform::registry_open_key(c.root, c.sub_key, platform::reg::key_read, &key),
                      platform::reg::file_not_found);
            EXPECT_EQ(key, nullptr);
        }
    }
    EXPECT_EQ(platform::registry_open_key_count(), 0);
}

TEST_F(RegistryTest, KeyNamesIgnoreCase)
{
    platform::RegistryKey key = nullptr;
    EXPECT_EQ(platform::registry_open_key(platform::hkey_local_machine(),
                                          "hardware\\description\\SYSTEM\\centralprocessor\\0", platform::reg::key_read,
                                          &key),
              platform::reg::success);
    EXPECT_EQ(platform::registry_close_key(key), platform::reg::success);
}

TEST_F(RegistryTest, RefusesWritingAccessBadRootsAndStaleKeys)
{
    platform::RegistryKey key = nullptr;
    // Write rights (set value 0x2, create sub-key 0x4) on a key that exists.
    EXPECT_EQ(platform::registry_open_key(platform::hkey_local_machine(), processor_key, 0x20006, &key),
              platform::reg::access_denied);
    EXPECT_EQ(platform::registry_open_key(reinterpret_cast<platform::RegistryKey>(0x1234), processor_key,
                                          platform::reg::key_read, &key),
              platform::reg::invalid_handle);
    EXPECT_EQ(platform::registry_open_key(platform::hkey_local_machine(), processor_key, platform::reg::key_read,
                                          nullptr),
              platform::reg::invalid_parameter);

    key = open_processor();
    EXPECT_EQ(platform::registry_close_key(key), platform::reg::success);
    uint32_t size = 0;
    EXPECT_EQ(platform::registry_query_value(key, "~MHz", nullptr, nullptr, &size), platform::reg::invalid_handle);
    EXPECT_EQ(platform::registry_close_key(key), platform::reg::invalid_handle);
    EXPECT_EQ(platform::registry_close_key(platform::hkey_local_machine()), platform::reg::invalid_handle);

    key = open_processor();
    EXPECT_EQ(platform::registry_query_value(key, "Identifier", nullptr, nullptr, &size),
              platform::reg::file_not_found);
    platform::registry_close_key(key);
}

TEST_F(RegistryTest, ValuesFollowTheProcessorInformation)
{
    struct Case {
        const char* cpuinfo;
        bool has_name;
        const char* name;
        bool has_mhz;
        uint32_t mhz;
    };
    const Case cases[] = {
        {"model name : Only Name\n", true, "Only Name", false, 0},
        {"cpu MHz : 800\n", false, "", true, 800},
        {"model name :\ncpu MHz : 0.9\n", true, "", true, 0},
        {"cpu MHz : fast\n", false, "", false, 0},
        {"cpu MHz : -5\n", false, "", false, 0},
        {"cpu MHz : 1e12\n", false, "", false, 0},
        {"", false, "", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cpuinfo);
        write_cpuinfo(c.cpuinfo);
        // The key exists on every machine, whatever it can tell about its processor.
        platform::RegistryKey key = open_processor();
        ASSERT_NE(key, nullptr);

        char name[64] = {};
        uint32_t size = sizeof name;
        uint32_t type = 0;
        const int32_t name_result =
            platform::registry_query_value(key, "ProcessorNameString", &type, reinterpret_cast<uint8_t*>(name), &size);
        EXPECT_EQ(name_result, c.has_name ? platform::reg::success : platform::reg::file_not_found);
        if (c.has_name) {
            EXPECT_STREQ(name, c.name);
            EXPECT_EQ(size, std::strlen(c.name) + 1);
        }

        uint32_t mhz = 0;
        size = sizeof mhz;
        const int32_t mhz_result =
            platform::registry_query_value(key, "~MHz", &type, reinterpret_cast<uint8_t*>(&mhz), &size);
        EXPECT_EQ(mhz_result, c.has_mhz ? platform::reg::success : platform::reg::file_not_found);
        if (c.has_mhz) {
            EXPECT_EQ(mhz, c.mhz);
        }
        platform::registry_close_key(key);
    }
}

TEST_F(RegistryTest, AnOpenKeyKeepsWhatItRead)
{
    platform::RegistryKey key = open_processor();
    write_cpuinfo("cpu MHz : 100\n");
    uint32_t mhz = 0;
    uint32_t size = sizeof mhz;
    EXPECT_EQ(platform::registry_query_value(key, "~MHz", nullptr, reinterpret_cast<uint8_t*>(&mhz), &size),
              platform::reg::success);
    EXPECT_EQ(mhz, 2899u);
    platform::registry_close_key(key);
}

TEST_F(RegistryTest, HostProcessorKeyOpens)
{
    platform::set_registry_cpuinfo_source("");
    platform::RegistryKey key = open_processor();
    ASSERT_NE(key, nullptr);
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    bool has_model = false;
    while (std::getline(cpuinfo, line))
        has_model = has_model || line.rfind("model name", 0) == 0;
    uint32_t size = 0;
    EXPECT_EQ(platform::registry_query_value(key, "ProcessorNameString", nullptr, nullptr, &size),
              has_model ? platform::reg::success : platform::reg::file_not_found);
    platform::registry_close_key(key);
}

} // namespace
