#pragma once

// Shared pieces of the sound suites: WAV bytes built in memory, files in a temporary
// folder served as the engine's file system, and a sound rig that builds the engine's
// sound creators over the software-mixed device, run by hand.

#include "platform/sound/hooks.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "vadu/filesystem.h"
#include "vadu/noise/directx8.h"
#include "vadu/noise/noise.h"
#include "vadu/noise/null.h"

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace sound_test {

inline void put16(std::string& out, uint32_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

inline void put32(std::string& out, uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

struct WavSpec {
    uint32_t channels = 2;
    uint32_t rate = 22050;
    uint32_t bits = 16;
    uint32_t block_align = 0;       // 0: channels * bits / 8
    uint32_t format_extra = 0;      // bytes after the 16 of the format chunk
    uint32_t format_tag = 1;        // 1: integer PCM
    std::string extension;          // the first format_extra bytes after the 16; zeros past its end
    std::string chunks_before_data; // whole chunks between "fmt " and "data"
    std::string data;
    int64_t declared_data = -1;     // the "data" size written; -1: data.size()
    std::string riff = "RIFF", wave = "WAVE", fmt = "fmt ";
};

inline std::string chunk(const std::string& tag, const std::string& body, bool pad)
{
    std::string out = tag;
    put32(out, static_cast<uint32_t>(body.size()));
    out += body;
    if (pad && body.size() % 2)
        out += '\0';
    return out;
}

inline std::string wav_bytes(const WavSpec& spec)
{
    const uint32_t align = spec.block_align ? spec.block_align : spec.channels * spec.bits / 8;
    std::string body = spec.wave + spec.fmt;
    put32(body, 16 + spec.format_extra);
    put16(body, spec.format_tag);
    put16(body, spec.channels);
    put32(body, spec.rate);
    put32(body, spec.rate * align);
    put16(body, align);
    put16(body, spec.bits);
    std::string extra = spec.extension.substr(0, spec.format_extra);
    extra.resize(spec.format_extra, '\0');
    body += extra;
    if (spec.format_extra % 2)
        body += '\0';
    body += spec.chunks_before_data;
    body += "data";
    put32(body, spec.declared_data < 0 ? static_cast<uint32_t>(spec.data.size())
                                       : static_cast<uint32_t>(spec.declared_data));
    body += spec.data;
    std::string out = spec.riff;
    put32(out, static_cast<uint32_t>(body.size()));
    return out + body;
}

// Interleaved 16-bit samples as bytes.
inline std::string pcm16(const std::vector<int16_t>& samples)
{
    std::string out;
    for (int16_t s : samples)
        put16(out, static_cast<uint16_t>(s));
    return out;
}

inline void write_file(const std::string& path, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A file system over a folder: names resolve below it.
inline vadu::filesystem::Factory folder_files(const std::string& root)
{
    return [root] {
        return std::unique_ptr<vadu::filesystem::FileSystem>(
            new vadu::filesystem::PathFileSystem(vadu::filesystem::String((root + "/").c_str(), false),
                                                 std::make_unique<vadu::filesystem::NativeFileSystem>()));
    };
}

inline vadu::filesystem::String path(const char* text)
{
    return vadu::filesystem::String(text, false);
}

struct LogHolder {
    test_support::LogCapture log;
};

// The creators in the application's order over a temporary folder, the device mixed by
// hand (set before it is made).
struct ManualMixing {
    // Failures scripted before the rig is built stay.
    ManualMixing() { platform::sound::set_manual_mixing(true); }
    ~ManualMixing() { platform::sound::reset_hooks(); }
};

class Rig : public virtual ManualMixing,
            public virtual vadu::noise::HardwareRegistry::Creator,
            public virtual vadu::logs::Creator,
            public virtual vadu::filesystem::Creator,
            public virtual vadu::WindowCreator,
            public virtual LogHolder,
            public virtual vadu::noise::Manager::Creator,
            public virtual vadu::noise::hard::null::Creator,
            public vadu::noise::hard::directx8::Creator {
public:
    explicit Rig(const std::string& root)
        : vadu::logs::Creator("sound"), vadu::filesystem::Creator(folder_files(root)),
          vadu::WindowCreator(64, 64, false)
    {
    }

    std::string log_text() const { return log.text(); }
    static vadu::noise::hard::directx8::Hardware* hardware() { return vadu::noise::hard::directx8::Creator::get(); }
};

} // namespace sound_test
