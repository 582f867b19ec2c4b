// The entry point of every test program: the tests run with a per-user world of their
// own (HOME and the XDG folders in a fresh temporary folder, removed at the end), so
// that nothing a test or the engine under test writes per user reaches the real home.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace {

// The engine lower-cases the paths it builds, and some tests read such a path back
// with std::filesystem, which does not fold case: the folder's name is all lower case.
std::filesystem::path make_home()
{
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "quillo-test-home-%ld-%08x", static_cast<long>(::getpid()),
                      static_cast<unsigned>(random()));
        const std::filesystem::path home = std::filesystem::temp_directory_path() / name;
        if (::mkdir(home.c_str(), 0700) == 0)
            return home;
    }
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);

    const std::filesystem::path home = make_home();
    if (home.empty()) {
        std::fprintf(stderr, "cannot make a temporary home folder\n");
        return 1;
    }
    const struct {
        const char* variable;
        const char* folder;
    } folders[] = {
        {"HOME", "home"},
        {"XDG_DATA_HOME", "home/.local/share"},
        {"XDG_CONFIG_HOME", "home/.config"},
        {"XDG_CACHE_HOME", "home/.cache"},
    };
    for (const auto& entry : folders) {
        std::error_code error;
        const std::filesystem::path folder = home / entry.folder;
        std::filesystem::create_directories(folder, error);
        if (error || ::setenv(entry.variable, folder.c_str(), 1) != 0) {
            std::fprintf(stderr, "cannot prepare %s\n", entry.variable);
            std::filesystem::remove_all(home, error);
            return 1;
        }
    }
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return result;
}
