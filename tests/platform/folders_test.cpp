#include "platform/folders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// Saves the variables the folder lookups read and puts them back afterwards, together
// with the override table.
class FoldersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : names_) {
            const char* value = std::getenv(name);
            saved_.push_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
        }
        platform::clear_folder_overrides();
    }

    void TearDown() override
    {
        for (size_t i = 0; i < names_.size(); ++i) {
            if (saved_[i])
                ::setenv(names_[i], saved_[i]->c_str(), 1);
            else
                ::unsetenv(names_[i]);
        }
        platform::clear_folder_overrides();
    }

    static void set(const char* name, const char* value)
    {
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }

    std::vector<const char*> names_{"HOME", "XDG_DATA_HOME", "XDG_DESKTOP_DIR", "TMPDIR"};
    std::vector<std::optional<std::string>> saved_;
};

std::string uid_text()
{
    return std::to_string(static_cast<unsigned long>(::getuid()));
}

TEST_F(FoldersTest, ModuleFileNameIsThisProgram)
{
    char buffer[4096];
    uint32_t length = platform::module_file_name(buffer, sizeof buffer);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof buffer);
    std::string name(buffer, length);
    EXPECT_EQ(name[0], '/');
    EXPECT_EQ(name.substr(name.rfind('/') + 1), "platform_tests");
    EXPECT_EQ(buffer[length], '\0');
}

TEST_F(FoldersTest, ModuleFileNameTruncatesAndReportsTheBufferSize)
{
    platform::set_folder_override(platform::folder_key_module_file, "/opt/game/quillo");  // 16 chars
    struct Case {
        uint32_t size;
        uint32_t result;
        const char* text;
    };
    const Case cases[] = {
        {64, 16, "/opt/game/quillo"},
        {17, 16, "/opt/game/quillo"},  // exactly room for the terminator
        {16, 16, "/opt/game/quill"},   // one short: cut, terminated, result = size
        {5, 5, "/opt"},
        {1, 1, ""},
    };
    for (const Case& c : cases) {
        std::vector<char> buffer(c.size + 1, 'x');
        EXPECT_EQ(platform::module_file_name(buffer.data(), c.size), c.result) << c.size;
        EXPECT_STREQ(buffer.data(), c.text) << c.size;
        EXPECT_EQ(buffer[c.size], 'x') << "wrote past the buffer, size " << c.size;
    }
}

TEST_F(FoldersTest, ModuleFileNameFailsWithZero)
{
    char buffer[16];
    EXPECT_EQ(platform::module_file_name(buffer, 0), 0u);
    EXPECT_EQ(platform::module_file_name(nullptr, 16), 0u);
    platform::set_folder_override(platform::folder_key_module_file, "");
    EXPECT_EQ(platform::module_file_name(buffer, sizeof buffer), 0u);
}

TEST_F(FoldersTest, SpecialFoldersFollowTheEnvironment)
{
    struct Case {
        const char* home;
        const char* data_home;
        const char* desktop;
        int id;
        std::string expected;
    };
    const Case cases[] = {
        {"/home/ann", "/data/ann", nullptr, platform::folder_appdata, "/data/ann"},
        {"/home/ann", nullptr, nullptr, platform::folder_appdata, "/home/ann/.local/share"},
        // A relative XDG value is ignored, as the XDG rules ask.
        {"/home/ann", "relative/share", nullptr, platform::folder_appdata, "/home/ann/.local/share"},
        {"/home/ann", "", nullptr, platform::folder_appdata, "/home/ann/.local/share"},
        {nullptr, nullptr, nullptr, platform::folder_appdata, ""},
        {nullptr, "/data/ann", nullptr, platform::folder_appdata, "/data/ann"},
        {"/home/ann", nullptr, "/home/ann/Bureau", platform::folder_desktop, "/home/ann/Bureau"},
        {"/home/ann", nullptr, nullptr, platform::folder_desktop, "/home/ann/Desktop"},
        {nullptr, nullptr, nullptr, platform::folder_desktop, ""},
        {"/home/ann", nullptr, nullptr, platform::folder_start_menu, "/home/ann/.local/share/applications"},
        {"/home/ann", "/data/ann", nullptr, platform::folder_programs, "/data/ann/applications"},
        {nullptr, nullptr, nullptr, platform::folder_programs, ""},
        {nullptr, nullptr, nullptr, platform::folder_fonts, "/usr/share/fonts"},
        {nullptr, nullptr, nullptr, platform::folder_common_desktop, "/usr/share/applications"},
        {nullptr, nullptr, nullptr, platform::folder_common_start_menu, "/usr/share/applications"},
        {nullptr, nullptr, nullptr, platform::folder_common_programs, "/usr/share/applications"},
        {"/home/ann", nullptr, nullptr, 0x05, ""},  // an id we do not know
        {"/home/ann", nullptr, nullptr, 0x1C, ""},
    };
    for (const Case& c : cases) {
        set("HOME", c.home);
        set("XDG_DATA_HOME", c.data_home);
        set("XDG_DESKTOP_DIR", c.desktop);
        EXPECT_EQ(platform::special_folder(c.id), c.expected)
            << "id " << c.id << " home " << (c.home ? c.home : "(unset)") << " data "
            << (c.data_home ? c.data_home : "(unset)");
    }
}

TEST_F(FoldersTest, SystemFoldersAreStable)
{
    EXPECT_EQ(platform::system_directory(), "/usr/lib");
    EXPECT_EQ(platform::windows_directory(), "/usr");
}

TEST_F(FoldersTest, FallbackFolderIsNeverEmptyNorTheRoot)
{
    struct Case {
        const char* home;
        const char* temp;
        std::string expected;
    };
    const Case cases[] = {
        {"/home/ann", nullptr, "/home/ann/.local/share"},
        {nullptr, nullptr, "/tmp/quillo-tovra-" + uid_text()},
        {"", nullptr, "/tmp/quillo-tovra-" + uid_text()},
        {"/", nullptr, "/tmp/quillo-tovra-" + uid_text()},
        {"relative", nullptr, "/tmp/quillo-tovra-" + uid_text()},
        {nullptr, "/var/tmp/", "/var/tmp/quillo-tovra-" + uid_text()},
        {nullptr, "/", "/tmp/quillo-tovra-" + uid_text()},
    };
    for (const Case& c : cases) {
        set("HOME", c.home);
        set("TMPDIR", c.temp);
        EXPECT_EQ(platform::fallback_folder(), c.expected)
            << "home " << (c.home ? c.home : "(unset)") << " temp " << (c.temp ? c.temp : "(unset)");
    }
}

TEST_F(FoldersTest, OverridesReplaceAndClearPerKey)
{
    set("HOME", "/home/ann");
    set("XDG_DATA_HOME", nullptr);
    platform::set_folder_override(platform::folder_appdata, "/fake/appdata");
    platform::set_folder_override(platform::folder_fonts, "");
    platform::set_folder_override(platform::folder_key_system, "/fake/system");
    platform::set_folder_override(platform::folder_key_windows, "/fake/windows");
    EXPECT_EQ(platform::special_folder(platform::folder_appdata), "/fake/appdata");
    EXPECT_EQ(platform::special_folder(platform::folder_fonts), "");
    EXPECT_EQ(platform::system_directory(), "/fake/system");
    EXPECT_EQ(platform::windows_directory(), "/fake/windows");
    // Other ids still answer from the system.
    EXPECT_EQ(platform::special_folder(platform::folder_desktop), "/home/ann/Desktop");

    platform::clear_folder_override(platform::folder_appdata);
    EXPECT_EQ(platform::special_folder(platform::folder_appdata), "/home/ann/.local/share");
    EXPECT_EQ(platform::special_folder(platform::folder_fonts), "");

    platform::clear_folder_overrides();
    EXPECT_EQ(platform::special_folder(platform::folder_fonts), "/usr/share/fonts");
    EXPECT_EQ(platform::system_directory(), "/usr/lib");
}

} // namespace
