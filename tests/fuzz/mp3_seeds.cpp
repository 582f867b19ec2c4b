// Writes the fuzz seed corpus for mp3_fuzz: the start of each MP3 fixture the decoder tests
// use (a few dozen frames keep the fuzzer fast; every decoding path is in them).
// Usage: mp3_seeds <folder>

#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    namespace fs = std::filesystem;
    std::error_code error;
    int copied = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(QUILLO_MP3_FIXTURES, error)) {
        if (entry.path().extension() != ".mp3")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        bytes.resize(std::min<size_t>(bytes.size(), 12000));
        std::ofstream out(fs::path(argv[1]) / entry.path().filename(), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (out)
            ++copied;
    }
    if (copied == 0) {
        std::fprintf(stderr, "mp3_seeds: no fixtures in %s\n", QUILLO_MP3_FIXTURES);
        return 1;
    }
    return 0;
}
