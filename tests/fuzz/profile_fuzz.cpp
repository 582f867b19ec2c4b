// Player profile files and the settings file as the game reads them at start-up: any bytes
// must load without a crash, a profile that reads as sound must write back to bytes that
// read as intact and the same again, and the manager must always come up with a current
// profile.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/folders.h"
#include "sources/profile_manager.h"
#include "vadu/filesystem.h"
#include "vadu/log.h"

namespace {

namespace fs = std::filesystem;

struct Engine : public virtual vadu::logs::Creator, public virtual vadu::filesystem::Creator {
    explicit Engine(vadu::filesystem::Factory factory) : vadu::filesystem::Creator(std::move(factory)) {}
};

fs::path root;
fs::path userFolder;
Engine* engine = nullptr;
PlayerProfile* blank = nullptr;

void WriteFile(const fs::path& path, const uint8_t* data, size_t size)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string pattern = (fs::temp_directory_path() / "quillo-profile-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        std::abort();
    root = pattern;
    const std::string list = R"(<Levels><Level Number="1" FileName="a" Type="Day"/>
        <Level Number="2" FileName="b" Type="Day"/><Level Number="4" FileName="d" Type="Night"/>
        <ZenLevel FileName="z" Type="Day"/></Levels>)";
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(list.data());
    WriteFile(root / "game/data/levels/levels.list", bytes, list.size());
    platform::set_folder_override(platform::folder_appdata, (root / "user").string());
    userFolder = root / "user" / "Kembra Entertainment" / "Quillo Tovra";
    const std::string game = (root / "game").string() + "/";
    engine = new Engine([game] {
        return std::make_unique<vadu::filesystem::PathFileSystem>(vadu::filesystem::String(game.c_str(), false),
                                                                  std::make_unique<vadu::filesystem::NativeFileSystem>());
    });
    // The set-aside lines would flood the fuzzer's output.
    vadu::logs::set_log(std::make_unique<vadu::logs::Stream>(std::fopen("/dev/null", "w")));
    blank = new PlayerProfile(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The format alone, in memory.
    {
        PlayerProfile profile(*blank);
        ProfileMemoryStream stream(std::vector<uint8_t>(data, data + size));
        // Damage confined to the achievements leaves a sound profile, which round-trips too.
        if (profile.Read(stream) != PlayerProfile::ReadResult::Damaged) {
            ProfileMemoryStream written;
            profile.Write(written);
            PlayerProfile again(*blank);
            ProfileMemoryStream reread(written.bytes());
            if (again.Read(reread) != PlayerProfile::ReadResult::Intact)
                std::abort();
            ProfileMemoryStream rewritten;
            again.Write(rewritten);
            if (rewritten.bytes() != written.bytes())
                std::abort();
        }
    }
    // The manager at start-up over the bytes as both files.
    WriteFile(userFolder / "profile0.dat", data, size);
    WriteFile(userFolder / "settings.dat", data, size < 4 ? size : 4);
    {
        ProfileManager manager;
        if (manager.GetProfileCount() != 1 || manager.current == nullptr)
            std::abort();
    }
    std::error_code ignored;
    fs::remove_all(userFolder, ignored);
    return 0;
}
