#pragma once

// Writes XM modules from a plain description: the tests' fixtures, the fuzz seeds, the
// bench's module and the demo's music all come from here. Raw fields stay reachable
// (ByteWriter, and every count in the description may be overridden), so that tests can
// make files with bad counts or cut them short.

#include <cstdint>
#include <string>
#include <vector>

namespace xm_writer {

class ByteWriter {
public:
    void u8(uint32_t v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void u16(uint32_t v) { u8(v); u8(v >> 8); }
    void u32(uint32_t v) { u16(v); u16(v >> 16); }
    // Exactly size bytes: the text, then zeros.
    void text(const std::string& s, size_t size)
    {
        for (size_t i = 0; i < size; ++i)
            u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
    }
    void append(const std::vector<uint8_t>& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }
    std::vector<uint8_t> bytes;
};

struct Cell {
    uint8_t note = 0, instrument = 0, volume = 0, effect = 0, parameter = 0;
};

struct Pattern {
    uint32_t rows = 64;
    std::vector<std::vector<Cell>> cells; // rows x channels; missing rows are empty
    bool empty_packed = false;             // write packed size 0 and no cell data
};

struct Envelope {
    std::vector<std::pair<uint16_t, uint16_t>> points;
    uint8_t sustain = 0, loop_start = 0, loop_end = 0;
    uint8_t type = 0; // bit 0 on, 1 sustain, 2 loop
    int count_override = -1;
};

struct Sample {
    std::vector<int16_t> frames; // values in the sample's width
    bool sixteen_bit = false;
    uint8_t loop = 0; // 0 none, 1 forward, 2 ping-pong
    uint32_t loop_start = 0, loop_length = 0; // frames
    uint8_t volume = 64, panning = 128;
    int8_t finetune = 0, relative_note = 0;
    std::string name;
    int64_t length_override = -1; // bytes as written in the header
};

struct Instrument {
    std::string name;
    std::vector<Sample> samples;
    std::vector<uint8_t> map = std::vector<uint8_t>(96, 0);
    Envelope volume, panning;
    uint16_t fadeout = 0;
    uint32_t header_size = 263; // S
};

struct Module {
    std::string id = "Extended Module: ";
    std::string name = "fixture";
    uint16_t channels = 1;
    uint16_t speed = 6, bpm = 125;
    bool linear = true;
    uint16_t restart = 0;
    std::vector<uint8_t> order = {0};
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
    int song_length_override = -1;
    int channel_override = -1, pattern_override = -1, instrument_override = -1;
};

std::vector<uint8_t> write(const Module& module);

// Generated waveforms: sine, square, saw, triangle, noise, pluck; period in frames.
std::vector<int16_t> waveform(const std::string& kind, uint32_t length, uint32_t period, bool sixteen_bit);

// A description in text (see tools/xm/README of make_module's format in make_module.cpp);
// throws std::runtime_error with the line number on a bad line.
Module parse(const std::string& text);

// "C-4" -> 49, "===" or "off" -> 97, "..." -> 0.
uint8_t parse_note(const std::string& text);

} // namespace xm_writer
