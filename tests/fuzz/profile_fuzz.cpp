// Player profile files and the settings file as the game reads them at start-up: any bytes
// must load without a crash, a profile that reads as sound must write back to bytes that
// read as intact and the same again, and the manager must always come up with a current
// profile. Every file lives in a memory folder: nothing is written to the disk or synced,
// and nothing is left behind.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/folders.h"
#include "platform/memory_folder.h"
#include "sources/profile_manager.h"
#include "vadu/filesystem.h"
#include "vadu/log.h"

namespace {

struct Engine : public virtual vadu::logs::Creator, public virtual vadu::filesystem::Creator {
    explicit Engine(vadu::filesystem::Factory factory) : vadu::filesystem::Creator(std::move(factory)) {}
};

// The game's files below one folder and nowhere else: a name that is not there is not
// looked for in the working folder, which would make the runs depend on where they start.
class GameFiles : public vadu::filesystem::FileSystem {
public:
    explicit GameFiles(std::string folder) : folder_(std::move(folder)) {}
    std::unique_ptr<vadu::Stream> open(const vadu::filesystem::String& path) override
    {
        const std::string full = folder_ + path.get_text().c_str();
        return native_.open(vadu::filesystem::String(full.c_str(), false));
    }

private:
    std::string folder_;
    vadu::filesystem::NativeFileSystem native_;
};

// A folder that is never on the disk: the file layer keeps it in memory.
const std::string root = "/quillo-profile-fuzz";
platform::MemoryFolder memory;
std::map<std::string, std::vector<char>> game_files;
std::string profile_file;
std::string settings_file;
Engine* engine = nullptr;
PlayerProfile* blank = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    memory.folder = root;
    platform::set_memory_folder(&memory);
    const std::string list = R"(<Levels><Level Number="1" FileName="a" Type="Day"/>
        <Level Number="2" FileName="b" Type="Day"/><Level Number="4" FileName="d" Type="Night"/>
        <ZenLevel FileName="z" Type="Day"/></Levels>)";
    game_files[platform::memory_key(root + "/game/data/levels/levels.list")].assign(list.begin(), list.end());
    memory.files = game_files;
    platform::set_folder_override(platform::folder_appdata, root + "/user");
    const std::string user = root + "/user/Kembra Entertainment/Quillo Tovra/";
    profile_file = platform::memory_key(user + "profile0.dat");
    settings_file = platform::memory_key(user + "settings.dat");
    const std::string game = root + "/game/";
    engine = new Engine([game] { return std::make_unique<GameFiles>(game); });
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
    memory.files = game_files;
    const char* bytes = reinterpret_cast<const char*>(data);
    memory.files[profile_file].assign(bytes, bytes + size);
    memory.files[settings_file].assign(bytes, bytes + (size < 4 ? size : 4));
    {
        ProfileManager manager;
        if (manager.GetProfileCount() != 1 || manager.current == nullptr)
            std::abort();
    }
    return 0;
}
