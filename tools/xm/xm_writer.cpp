#include "xm_writer.h"

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace xm_writer {

namespace {

void write_pattern(ByteWriter& out, const Pattern& pattern, uint32_t channels)
{
    ByteWriter data;
    if (!pattern.empty_packed) {
        for (uint32_t r = 0; r < pattern.rows; ++r) {
            for (uint32_t c = 0; c < channels; ++c) {
                Cell cell;
                if (r < pattern.cells.size() && c < pattern.cells[r].size())
                    cell = pattern.cells[r][c];
                const uint8_t fields[5] = {cell.note, cell.instrument, cell.volume, cell.effect, cell.parameter};
                uint8_t mask = 0x80;
                for (int i = 0; i < 5; ++i)
                    if (fields[i])
                        mask |= static_cast<uint8_t>(1 << i);
                data.u8(mask);
                for (int i = 0; i < 5; ++i)
                    if (fields[i])
                        data.u8(fields[i]);
            }
        }
    }
    out.u32(9);
    out.u8(0);
    out.u16(pattern.rows);
    out.u16(static_cast<uint32_t>(data.bytes.size()));
    out.append(data.bytes);
}

void write_envelope_points(ByteWriter& out, const Envelope& envelope)
{
    for (size_t i = 0; i < 12; ++i) {
        out.u16(i < envelope.points.size() ? envelope.points[i].first : 0);
        out.u16(i < envelope.points.size() ? envelope.points[i].second : 0);
    }
}

void write_instrument(ByteWriter& out, const Instrument& instrument)
{
    const size_t start = out.bytes.size();
    out.u32(instrument.header_size);
    out.text(instrument.name, 22);
    out.u8(0);
    out.u16(static_cast<uint32_t>(instrument.samples.size()));
    if (instrument.samples.empty()) {
        while (out.bytes.size() - start < instrument.header_size)
            out.u8(0);
        return;
    }
    out.u32(40);
    for (size_t i = 0; i < 96; ++i)
        out.u8(i < instrument.map.size() ? instrument.map[i] : 0);
    write_envelope_points(out, instrument.volume);
    write_envelope_points(out, instrument.panning);
    auto count = [](const Envelope& e) {
        return e.count_override >= 0 ? static_cast<uint32_t>(e.count_override) : static_cast<uint32_t>(e.points.size());
    };
    out.u8(count(instrument.volume));
    out.u8(count(instrument.panning));
    for (const Envelope* e : {&instrument.volume, &instrument.panning}) {
        out.u8(e->sustain);
        out.u8(e->loop_start);
        out.u8(e->loop_end);
    }
    out.u8(instrument.volume.type);
    out.u8(instrument.panning.type);
    out.u32(0); // vibrato
    out.u16(instrument.fadeout);
    while (out.bytes.size() - start < instrument.header_size)
        out.u8(0);
    for (const Sample& s : instrument.samples) {
        const uint32_t width = s.sixteen_bit ? 2 : 1;
        const uint32_t length = s.length_override >= 0 ? static_cast<uint32_t>(s.length_override)
                                                       : static_cast<uint32_t>(s.frames.size()) * width;
        out.u32(length);
        out.u32(s.loop_start * width);
        out.u32(s.loop_length * width);
        out.u8(s.volume);
        out.u8(static_cast<uint8_t>(s.finetune));
        out.u8(s.loop | (s.sixteen_bit ? 0x10 : 0));
        out.u8(s.panning);
        out.u8(static_cast<uint8_t>(s.relative_note));
        out.u8(0);
        out.text(s.name, 22);
    }
    for (const Sample& s : instrument.samples) {
        int32_t previous = 0;
        for (int16_t value : s.frames) {
            if (s.sixteen_bit)
                out.u16(static_cast<uint16_t>(value - previous));
            else
                out.u8(static_cast<uint8_t>(value - previous));
            previous = value;
        }
    }
}

} // namespace

std::vector<uint8_t> write(const Module& m)
{
    ByteWriter out;
    out.text(m.id, 17);
    out.text(m.name, 20);
    out.u8(0x1A);
    out.text("quillo make_module", 20);
    out.u16(0x0104);
    out.u32(276);
    out.u16(m.song_length_override >= 0 ? m.song_length_override : static_cast<uint32_t>(m.order.size()));
    out.u16(m.restart);
    out.u16(m.channel_override >= 0 ? m.channel_override : m.channels);
    out.u16(m.pattern_override >= 0 ? m.pattern_override : static_cast<uint32_t>(m.patterns.size()));
    out.u16(m.instrument_override >= 0 ? m.instrument_override : static_cast<uint32_t>(m.instruments.size()));
    out.u16(m.linear ? 1 : 0);
    out.u16(m.speed);
    out.u16(m.bpm);
    for (size_t i = 0; i < 256; ++i)
        out.u8(i < m.order.size() ? m.order[i] : 0);
    for (const Pattern& p : m.patterns)
        write_pattern(out, p, m.channels);
    for (const Instrument& i : m.instruments)
        write_instrument(out, i);
    return out.bytes;
}

std::vector<int16_t> waveform(const std::string& kind, uint32_t length, uint32_t period, bool sixteen_bit)
{
    const double peak = sixteen_bit ? 24000.0 : 96.0;
    std::vector<int16_t> frames(length);
    uint32_t seed = 12345;
    double pluck = 1.0;
    for (uint32_t i = 0; i < length; ++i) {
        const double phase = period ? static_cast<double>(i % period) / period : 0.0;
        double v = 0;
        if (kind == "sine")
            v = std::sin(2 * M_PI * phase);
        else if (kind == "square")
            v = phase < 0.5 ? 1 : -1;
        else if (kind == "saw")
            v = 2 * phase - 1;
        else if (kind == "triangle")
            v = phase < 0.5 ? 4 * phase - 1 : 3 - 4 * phase;
        else if (kind == "noise") {
            seed = seed * 1103515245u + 12345u;
            v = static_cast<double>((seed >> 16) & 0x7FFF) / 16383.5 - 1;
        } else if (kind == "pluck") {
            v = std::sin(2 * M_PI * phase) * pluck;
            pluck *= 0.9995;
        } else
            throw std::runtime_error("unknown waveform \"" + kind + "\"");
        frames[i] = static_cast<int16_t>(std::lround(v * peak));
    }
    return frames;
}

uint8_t parse_note(const std::string& t)
{
    if (t == "..." || t == "---")
        return 0;
    if (t == "===" || t == "off")
        return 97;
    static const char* names[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};
    if (t.size() == 3 && t[2] >= '0' && t[2] <= '7')
        for (int i = 0; i < 12; ++i)
            if (t.compare(0, 2, names[i]) == 0)
                return static_cast<uint8_t>((t[2] - '0') * 12 + i + 1);
    throw std::runtime_error("bad note \"" + t + "\"");
}

namespace {

uint32_t hex(const std::string& t)
{
    char* end = nullptr;
    const unsigned long v = std::strtoul(t.c_str(), &end, 16);
    if (t.empty() || *end)
        throw std::runtime_error("bad number \"" + t + "\"");
    return static_cast<uint32_t>(v);
}

// "C-4 01 40 A0F": note, instrument (hex), volume column (hex 00-40), effect letter + parameter.
Cell parse_cell(const std::string& text)
{
    std::istringstream in(text);
    std::string note, instrument, volume, effect;
    in >> note >> instrument >> volume >> effect;
    Cell cell;
    cell.note = parse_note(note.empty() ? "..." : note);
    if (!instrument.empty() && instrument != "..")
        cell.instrument = static_cast<uint8_t>(hex(instrument));
    if (!volume.empty() && volume != "..")
        cell.volume = static_cast<uint8_t>(0x10 + std::min<uint32_t>(hex(volume), 0x40));
    if (!effect.empty() && effect != "...") {
        if (effect.size() != 3)
            throw std::runtime_error("bad effect \"" + effect + "\"");
        const char e = effect[0];
        cell.effect = static_cast<uint8_t>(e >= '0' && e <= '9' ? e - '0' : e - 'A' + 10);
        cell.parameter = static_cast<uint8_t>(hex(effect.substr(1)));
    }
    return cell;
}

std::vector<std::pair<uint16_t, uint16_t>> parse_points(std::istringstream& in, Envelope& e)
{
    std::vector<std::pair<uint16_t, uint16_t>> points;
    std::string word;
    e.type = 1;
    while (in >> word) {
        if (word.rfind("sustain=", 0) == 0) {
            e.sustain = static_cast<uint8_t>(std::stoi(word.substr(8)));
            e.type |= 2;
        } else if (word.rfind("loop=", 0) == 0) {
            const size_t dash = word.find('-');
            e.loop_start = static_cast<uint8_t>(std::stoi(word.substr(5, dash - 5)));
            e.loop_end = static_cast<uint8_t>(std::stoi(word.substr(dash + 1)));
            e.type |= 4;
        } else {
            const size_t colon = word.find(':');
            points.emplace_back(std::stoi(word.substr(0, colon)), std::stoi(word.substr(colon + 1)));
        }
    }
    return points;
}

} // namespace

Module parse(const std::string& text)
{
    Module m;
    m.order.clear();
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    try {
        while (std::getline(lines, line)) {
            ++number;
            // Comments are whole lines: '#' also spells sharps ("C#4").
            const size_t first = line.find_first_not_of(" \t");
            if (first != std::string::npos && line[first] == '#')
                continue;
            std::istringstream in(line);
            std::string key;
            if (!(in >> key))
                continue;
            if (key == "module")
                in >> m.name;
            else if (key == "channels")
                in >> m.channels;
            else if (key == "speed")
                in >> m.speed;
            else if (key == "bpm")
                in >> m.bpm;
            else if (key == "table") {
                std::string t;
                in >> t;
                m.linear = t == "linear";
            } else if (key == "restart")
                in >> m.restart;
            else if (key == "order") {
                int v;
                while (in >> v)
                    m.order.push_back(static_cast<uint8_t>(v));
            } else if (key == "instrument") {
                m.instruments.emplace_back();
                in >> m.instruments.back().name;
                std::string word;
                while (in >> word)
                    if (word.rfind("fadeout=", 0) == 0)
                        m.instruments.back().fadeout = static_cast<uint16_t>(std::stoi(word.substr(8)));
            } else if (key == "sample") {
                if (m.instruments.empty())
                    throw std::runtime_error("sample outside an instrument");
                Sample s;
                std::string wave = "sine", word;
                uint32_t length = 1024, period = 64;
                in >> s.name;
                while (in >> word) {
                    const size_t eq = word.find('=');
                    const std::string k = word.substr(0, eq), v = eq == std::string::npos ? "" : word.substr(eq + 1);
                    if (k == "wave") wave = v;
                    else if (k == "length") length = std::stoul(v);
                    else if (k == "period") period = std::stoul(v);
                    else if (k == "bits") s.sixteen_bit = v == "16";
                    else if (k == "loop") s.loop = v == "forward" ? 1 : v == "pingpong" ? 2 : 0;
                    else if (k == "loopstart") s.loop_start = std::stoul(v);
                    else if (k == "looplength") s.loop_length = std::stoul(v);
                    else if (k == "volume") s.volume = static_cast<uint8_t>(std::stoi(v));
                    else if (k == "finetune") s.finetune = static_cast<int8_t>(std::stoi(v));
                    else if (k == "pan") s.panning = static_cast<uint8_t>(std::stoi(v));
                    else if (k == "relnote") s.relative_note = static_cast<int8_t>(std::stoi(v));
                    else throw std::runtime_error("unknown sample field \"" + k + "\"");
                }
                s.frames = waveform(wave, length, period, s.sixteen_bit);
                m.instruments.back().samples.push_back(std::move(s));
            } else if (key == "volenv" || key == "panenv") {
                if (m.instruments.empty())
                    throw std::runtime_error("envelope outside an instrument");
                Envelope& e = key == "volenv" ? m.instruments.back().volume : m.instruments.back().panning;
                e.points = parse_points(in, e);
            } else if (key == "pattern") {
                m.patterns.emplace_back();
                in >> m.patterns.back().rows;
            } else if (key == "row") {
                if (m.patterns.empty())
                    throw std::runtime_error("row outside a pattern");
                std::string rest;
                std::getline(in, rest);
                std::vector<Cell> cells;
                size_t start = 0;
                for (;;) {
                    const size_t bar = rest.find('|', start);
                    cells.push_back(parse_cell(rest.substr(start, bar - start)));
                    if (bar == std::string::npos)
                        break;
                    start = bar + 1;
                }
                m.patterns.back().cells.push_back(std::move(cells));
            } else
                throw std::runtime_error("unknown key \"" + key + "\"");
        }
    } catch (const std::exception& e) {
        throw std::runtime_error("line " + std::to_string(number) + ": " + e.what());
    }
    if (m.order.empty())
        m.order.push_back(0);
    return m;
}

} // namespace xm_writer
