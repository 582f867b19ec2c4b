#pragma once

// Small modules made by our XM writer, loaded from memory, and a way to stop the player
// after a chosen tick.

#include "vadu/filesystem.h"
#include "vadu/noise/module/module.h"
#include "xm_writer.h"

#include <memory>
#include <string>
#include <vector>

namespace module_test {

using vadu::noise::module::Module;

constexpr uint32_t tick_frames = 441; // 22050 Hz, 125 BPM

inline std::unique_ptr<Module> load_bytes(const std::vector<uint8_t>& bytes,
                                          vadu::noise::module::OutputFormat format = {})
{
    vadu::filesystem::MemoryStream stream(bytes);
    return Module::load(stream, format, true);
}

// One instrument, one looped sample of 2048 frames (16-bit sine unless said otherwise).
inline xm_writer::Instrument plain_instrument(bool sixteen_bit = true)
{
    xm_writer::Instrument instrument;
    instrument.name = "lead";
    xm_writer::Sample sample;
    sample.name = "sine";
    sample.sixteen_bit = sixteen_bit;
    sample.frames = xm_writer::waveform("sine", 2048, 64, sixteen_bit);
    sample.loop = 1;
    sample.loop_start = 0;
    sample.loop_length = 2048;
    instrument.samples.push_back(sample);
    return instrument;
}

// One channel per cell of a row; each text row is "C-4 01 40 A0F | ..." as the writer reads it.
inline xm_writer::Module rows_module(const std::vector<std::string>& rows, bool linear = true)
{
    std::string text = "channels 1\n";
    text += linear ? "table linear\n" : "table amiga\n";
    text += "pattern " + std::to_string(rows.size()) + "\n";
    size_t channels = 1;
    for (const std::string& row : rows) {
        text += "row " + row + "\n";
        channels = std::max<size_t>(channels, std::count(row.begin(), row.end(), '|') + 1);
    }
    text += "order 0\n";
    xm_writer::Module m = xm_writer::parse(text);
    m.channels = static_cast<uint16_t>(channels);
    m.instruments.push_back(plain_instrument());
    return m;
}

// Renders from the start so that the player stands just after tick `tick` (counted from
// 0 over the whole song) has been processed.
class Player {
public:
    explicit Player(const xm_writer::Module& description) : module(load_bytes(xm_writer::write(description))) {}

    bool to_tick(uint32_t tick)
    {
        const uint64_t target = 1 + uint64_t(tick) * tick_frames;
        while (rendered_ < target) {
            const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(target - rendered_, buffer_.size() / 2));
            std::fill(buffer_.begin(), buffer_.end(), 0);
            const uint32_t got = module->render(buffer_.data(), n);
            rendered_ += got;
            if (got < n)
                return false;
        }
        return true;
    }
    vadu::noise::module::Voice& voice(size_t channel = 0) { return *module->voices[channel]; }

    std::unique_ptr<Module> module;

private:
    std::vector<int16_t> buffer_ = std::vector<int16_t>(8192);
    uint64_t rendered_ = 0;
};

} // namespace module_test
