// Writes the seed corpus for level_file_fuzz: the shipped level files.
// Usage: level_file_seeds <folder>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const fs::path folder = argv[1];
    std::error_code error;
    fs::create_directories(folder, error);
    for (const auto& entry : fs::directory_iterator(fs::path(QUILLO_DATA_SOURCE) / "levels")) {
        if (entry.path().extension() == ".xml")
            fs::copy_file(entry.path(), folder / entry.path().filename(), fs::copy_options::overwrite_existing, error);
    }
    return 0;
}
