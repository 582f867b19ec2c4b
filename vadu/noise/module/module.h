#pragma once

// The XM module: its loader (file order, never seeking) and its integer player.

#include "vadu/stream.h"
#include "vadu/string.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vadu::noise::module {

class Module;

struct Cell {
    uint8_t note = 0; // 0 none, 1..96, 97 key off
    uint8_t instrument = 0;
    uint8_t volume = 255; // 255: none given
    uint8_t effect = 0;
    uint8_t parameter = 0;
};

using Row = std::vector<Cell>;
using Pattern = std::vector<Row>;

class Envelope {
public:
    void set_sustain(int32_t index) { sustain = index; }
    void set_loop_start(int32_t index) { loop_start = index; }
    void set_loop_end(int32_t index) { loop_end = index; }
    // Bit 0 on; only when on, bit 1 sustain and bit 2 loop.
    void set_flags(uint8_t type);
    void set_points(std::vector<std::pair<int32_t, int32_t>> list) { points = std::move(list); }
    // Indices past the list are brought to the last point, so that cursors stay inside it.
    void clamp_indices();

    int32_t sustain = 0;
    int32_t loop_start = 0;
    int32_t loop_end = 0;
    bool on = false;
    bool sustain_on = false;
    bool loop_on = false;
    std::vector<std::pair<int32_t, int32_t>> points;
};

struct Sample {
    int32_t length = 0; // bytes while reading, frames once loaded
    int32_t loop_start = 0;
    int32_t loop_length = 0;
    uint8_t volume = 0;
    int8_t finetune = 0;
    uint8_t type = 0; // bits 0-1: 1 forward, 2 ping-pong; bit 4: 16-bit
    uint8_t panning = 0;
    int8_t relative_note = 0;
    std::string name;
    std::string instrument_name;
    // Signed 8- or 16-bit values, one more than the length (equal to the last).
    std::vector<int16_t> data;

    bool is_16_bit() const { return (type & 0x10) != 0; }
};

struct Instrument {
    std::string name;
    std::vector<std::unique_ptr<Sample>> samples;
    uint8_t map[96] = {};
    Envelope volume_envelope;
    Envelope panning_envelope;
    uint8_t vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
    uint16_t fadeout = 0;
};

// Walks an instrument envelope tick by tick.
class EnvelopeCursor {
public:
    // Fresh, on the envelope when it has at least two points.
    void reset(const Envelope* envelope);
    void release();
    void advance();
    int32_t value() const;
    void set_position(int32_t x);

    const Envelope* envelope = nullptr;
    int32_t position = -1;
    int32_t next = 1;
    int32_t previous = 0;
    bool released = false;

private:
    int32_t x(int32_t index) const;
    int32_t y(int32_t index) const;
};

struct OutputFormat {
    uint32_t rate = 22050;
    uint32_t channels = 2;
    uint32_t bits = 16;
};

class Voice {
public:
    Voice(Module* module, int channel) : module_(module), channel_(channel) {}

    void process_cell(const Cell& cell);
    void start_note(bool names_instrument);
    void tick();
    void update_output_volume();
    void key_off();
    void mix(uint8_t* buffer, uint32_t frames, const OutputFormat& format);
    void restart();

    Module* module_;
    int channel_;
    int32_t instrument = 0; // last instrument number
    const Instrument* current_instrument = nullptr;

    const int16_t* data = nullptr;
    uint8_t type = 0;
    int32_t end = 0, loop_start = 0, step = 0;
    // 64 bits: the last frame of a stretch may step well past a long sample's end.
    int64_t position = 0, saved_position = 0;

    int32_t volume = 0, working_volume = 0, fade = 65536, fadeout = 0;
    int32_t pan = 128, right_gain = 128, left_gain = 127;
    int32_t out_right = 0, out_left = 0, out_mono = 0;
    EnvelopeCursor volume_cursor, panning_cursor;
    bool key_is_off = false;

    int32_t period = 0, previous_period = 0, period_slide = 0, period_memory = 0;
    int32_t target = 0, porta_speed = 0;
    int32_t volume_slide = 0, volume_memory = 0;
    int32_t global_slide = 0, global_memory = 0;
    int32_t pan_slide = 0, pan_memory = 0;
    int32_t vibrato_phase = 0, vibrato_param = 0, vibrato_wave = 0;
    int32_t tremolo_phase = 0, tremolo_param = 0, tremolo_wave = 0;
    int32_t note_delay = 0, retrigger = 0, retrigger_interval = 0;
    int32_t step1 = 0, step1_period = 0, step2 = 0, step2_period = 0;
    bool porta_on = false, vibrato_on = false, tremolo_on = false;
    bool volume_slide_started = false, pan_slide_started = false, period_slide_started = false;

private:
    void compute_step();
};

class Module {
public:
    // Reads the whole stream; is_loaded() tells whether the file was whole and valid.
    static std::unique_ptr<Module> load(Stream& stream, const OutputFormat& format, bool option);
    ~Module();

    bool is_loaded() const { return loaded; }
    // Mixes (adds) up to frames frames; fewer at the song's end, then 0.
    uint32_t render(void* buffer, uint32_t frames);
    bool next_row();
    void rewind();

    // Periods and steps, shared with the voices.
    int32_t note_period(int32_t note, const Sample& sample) const;
    int32_t period_step(int32_t period) const;

    std::string module_name, tracker_name;
    uint16_t version = 0, song_length = 0, restart_position = 0;
    bool linear = false;
    uint16_t default_speed = 6, default_bpm = 125;
    std::vector<int32_t> order = std::vector<int32_t>(256, 0);
    std::vector<Pattern> patterns;
    std::vector<std::unique_ptr<Instrument>> instruments;
    std::vector<std::unique_ptr<Voice>> voices;

    int32_t global_volume = 128, speed = 6, bpm = 125;
    int32_t current_pattern = 0, order_position = 0, next_order_position = 0;
    int32_t pattern_delay = 0, ticks_left = 0, samples_left = 0, row = -1;

    OutputFormat format;
    bool option = false;
    bool loaded = false;

private:
    Module() = default;
    bool read(Stream& stream);
    bool load_instrument(Stream& stream);
    bool enter_order(); // current pattern from the order position, passing over 254s
};

// Tables, for the tests.
extern const std::array<uint32_t, 768> linear_table;
extern const std::array<uint16_t, 112> amiga_table;
extern const std::array<std::array<int32_t, 64>, 4> waveforms;

} // namespace vadu::noise::module
