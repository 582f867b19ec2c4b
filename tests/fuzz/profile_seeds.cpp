// Writes the fuzz seed corpus for profile_fuzz: a new player's file, a player with
// progress, one with achievements, files cut short at interesting places and a
// settings-sized file.
// Usage: profile_seeds <folder>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void U32(Bytes& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void Text(Bytes& out, const std::string& text)
{
    U32(out, static_cast<uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

Bytes Profile(const std::string& name, uint32_t levels, uint8_t locked, uint32_t best)
{
    Bytes out;
    Text(out, "v3");
    Text(out, name);
    out.push_back(0);                        // game complete shown
    U32(out, 0x3F800000);                    // sound volume 1.0
    U32(out, 0x3F000000);                    // music volume 0.5
    out.insert(out.end(), {0, 1, 1});        // cursor, sound, music
    for (uint32_t value : {1200u, 30u, 100000u, 2u, 0u, 1u})
        U32(out, value);
    out.insert(out.end(), {1, 0, 0, 0});     // Zen unlocked, three flags
    U32(out, 0);                             // extra value
    U32(out, levels);
    for (uint32_t i = 0; i < levels; ++i) {
        out.push_back(locked);
        U32(out, best + i);
    }
    out.push_back(1);                        // fullscreen
    return out;
}

// An achievements block behind the profile: a few entries by name, one with a data tag.
Bytes WithAchievements(Bytes out)
{
    U32(out, 3);
    for (const auto& [name, tag] : {std::pair<const char*, uint32_t>{"Titanic", 0}, {"GlobalWarming", 100}, {"Nerd", 0}}) {
        Text(out, name);
        out.push_back(1);
        U32(out, tag);
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    const Bytes full = Profile("Ann", 4, 0, 500);
    const std::vector<std::pair<std::string, Bytes>> seeds = {
        {"new", Profile("Player", 0, 0, 0)},
        {"progress", full},
        {"more_levels", Profile("Bob", 9, 1, 10)},
        {"after_name", Bytes(full.begin(), full.begin() + 13)},
        {"inside_levels", Bytes(full.begin(), full.end() - 8)},
        {"settings", Bytes{1, 0, 0, 0}},
        {"achievements", WithAchievements(full)},
        {"inside_achievements", [&] { Bytes b = WithAchievements(full); b.resize(b.size() - 6); return b; }()},
    };
    for (const auto& [name, bytes] : seeds) {
        std::ofstream out(folder / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    return 0;
}
