#pragma once

// A small world for the shell's data classes: a game folder served as the engine's file
// system (with a level list), a per-user folder of its own, the silent sound hardware and
// a log that is captured. Everything made on first use is forgotten at the end.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/folders.h"
#include "sources/game_sizes.h"
#include "sources/gameplay/balance.h"
#include "sources/gameplay/shell_services.h"
#include "sources/globals.h"
#include "sources/profile_manager.h"
#include "sources/shell_services_adapter.h"
#include "sources/sound_manager.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "vadu/filesystem.h"
#include "vadu/noise/noise.h"
#include "vadu/noise/null.h"

namespace shell_data_test {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// The engine pieces the shell's data classes stand on.
struct Engine : public virtual vadu::noise::HardwareRegistry::Creator,
                public virtual vadu::logs::Creator,
                public virtual vadu::filesystem::Creator,
                public virtual vadu::noise::Manager::Creator,
                public virtual vadu::noise::hard::null::Creator {
    explicit Engine(vadu::filesystem::Factory factory) : vadu::filesystem::Creator(std::move(factory)) {}
};

inline void WriteText(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline void WriteBytes(const fs::path& path, const Bytes& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Five Standard levels (4 and 5 locked at first) and two Zen levels.
inline const char* const FiveLevels = R"(<Levels>
  <Level Number="1" FileName="level01" Type="Day" Free="true"/>
  <Level Number="2" FileName="level02" Type="Day" Free="true"/>
  <Level Number="3" FileName="level03" Type="Night" Free="true"/>
  <Level Number="4" FileName="level04" Type="Underwater" Free="true"/>
  <Level Number="5" FileName="level05" Type="Day" Free="false"/>
  <ZenLevel FileName="zen01" Type="Day"/>
  <ZenLevel FileName="zen02" Type="Underwater"/>
</Levels>)";

class ShellDataTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The folder macros are read when the first path is made.
        ASSERT_EQ(vadu::filesystem::get_live_path_count(), 0);
        ASSERT_FALSE(temp_.root().empty());
        game_ = temp_.root() / "game";
        user_ = temp_.root() / "user";
        fs::create_directories(game_);
        fs::create_directories(user_);
        platform::set_folder_override(platform::folder_appdata, user_.string());
        WriteGameFile("data/levels/levels.list", FiveLevels);
        const std::string root = game_.string() + "/";
        engine_ = std::make_unique<Engine>([root] {
            return std::make_unique<vadu::filesystem::PathFileSystem>(
                vadu::filesystem::String(root.c_str(), false), std::make_unique<vadu::filesystem::NativeFileSystem>());
        });
        log_ = std::make_unique<test_support::LogCapture>();
    }

    void TearDown() override
    {
        platform::clear_write_fault();
        ProfileManager::SetUnsavedNotice(nullptr);
        UninstallShellServices();
        gameplay::ShellServices::ResetForTests();
        ProfileManager::Instance(false);
        SoundManager::Destroy();
        GameSizes::ResetForTests();
        gameplay::Balance::ResetForTests();
        ResetGlobalsForTests();
        log_.reset();
        engine_.reset();
        platform::clear_folder_override(platform::folder_appdata);
    }

    void WriteGameFile(const std::string& relative, const std::string& text) { WriteText(game_ / relative, text); }

    // The per-user folder as the game spells it.
    fs::path UserFolder() const { return user_ / "Kembra Entertainment" / "Quillo Tovra"; }
    fs::path ProfileFile(int index) const { return UserFolder() / ("profile" + std::to_string(index) + ".dat"); }
    fs::path SettingsFile() const { return UserFolder() / "settings.dat"; }

    std::string LogText() const { return log_->text(); }

    test_support::TempFolder temp_{"quillo-shell-data"};
    fs::path game_;
    fs::path user_;
    std::unique_ptr<Engine> engine_;
    std::unique_ptr<test_support::LogCapture> log_;
};

// Little-endian pieces of a profile file, to spell expected bytes in tests.
inline void PutU32(Bytes& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

inline void PutString(Bytes& out, const std::string& text)
{
    PutU32(out, static_cast<uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

} // namespace shell_data_test
