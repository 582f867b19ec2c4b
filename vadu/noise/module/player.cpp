// The integer player: rows and ticks, effects, envelopes and the eight mixers.

#include "vadu/noise/module/module.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vadu::noise::module {

const std::array<uint32_t, 768> linear_table = [] {
    std::array<uint32_t, 768> table{};
    for (int i = 0; i < 768; ++i)
        table[i] = static_cast<uint32_t>(std::floor(535232.0 * std::pow(2.0, -i / 768.0)));
    return table;
}();

const std::array<uint16_t, 112> amiga_table = [] {
    constexpr uint16_t base[112] = {
        963, 956, 949, 942, 935, 928, 921, 914, 907, 900, 894, 887, 881, 875, 868, 862, 856, 850, 844, 838, 832, 826, 820,
        814, 808, 802, 796, 791, 785, 779, 774, 768, 762, 757, 752, 746, 741, 736, 730, 725, 720, 715, 709, 704, 699, 694,
        689, 684, 678, 675, 670, 665, 660, 655, 651, 646, 640, 636, 632, 628, 623, 619, 614, 610, 604, 601, 597, 592, 588,
        584, 580, 575, 570, 567, 563, 559, 555, 551, 547, 543, 538, 535, 532, 528, 524, 520, 516, 513, 508, 505, 502, 498,
        494, 491, 487, 484, 480, 477, 474, 470, 467, 463, 460, 457, 453, 450, 447, 443, 440, 437, 434, 431};
    std::array<uint16_t, 112> table{};
    for (int i = 0; i < 112; ++i)
        table[i] = static_cast<uint16_t>(base[i] * 32);
    return table;
}();

const std::array<std::array<int32_t, 64>, 4> waveforms = [] {
    constexpr int32_t noise[64] = {98,  -127, -43, 88,  102, 41,  -65, -94,  125, 20,  -71, -86, -70, -32, -16, -96,
                                   17,  72,   107, -5,  116, -69, -62, -40,  10,  -61, 65,  109, -18, -38, -13, -76,
                                   -23, 88,   21,  -94, 8,   106, 21,  -112, 6,   109, 20,  -88, -30, 9,   -127, 118,
                                   42,  -34,  89,  -4,  -51, -72, 21,  -29,  112, 123, 84,  -101, -92, 98, -54, -95};
    std::array<std::array<int32_t, 64>, 4> table{};
    for (int i = 0; i < 64; ++i) {
        table[0][i] = static_cast<int32_t>(std::lround(127.0 * std::sin(2.0 * M_PI * i / 64.0)));
        table[1][i] = i < 32 ? -4 * i : 127 - 4 * (i - 32);
        table[2][i] = i < 32 ? 127 : -127;
        table[3][i] = noise[i];
    }
    return table;
}();

namespace {

constexpr int32_t not_a_pattern = std::numeric_limits<int32_t>::max();

// A slide parameter: 0 takes the memory, else the high nibble up or the low one down.
int32_t slide_value(uint8_t p, int32_t& memory)
{
    if (p != 0)
        memory = (p >> 4) ? (p >> 4) : -(p & 15);
    return memory;
}

template <typename T> T saturate(int32_t value)
{
    return static_cast<T>(std::clamp<int32_t>(value, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

// One stretch of frames without a boundary: interpolate, scale, add with saturation.
template <typename In, typename Out, int Channels, int Shift>
int64_t mix_stretch(const In* d, int64_t position, int32_t step, uint32_t n, Out* out, int32_t left, int32_t right,
                    int32_t mono)
{
    for (uint32_t k = 0; k < n; ++k) {
        const int32_t i = static_cast<int32_t>(position >> 10), f = static_cast<int32_t>(position & 1023);
        const int32_t s = d[i] + (((d[i + 1] - d[i]) * f) >> 10);
        if constexpr (Channels == 2) {
            out[0] = saturate<Out>(out[0] + ((s * left) >> Shift));
            out[1] = saturate<Out>(out[1] + ((s * right) >> Shift));
            out += 2;
        } else {
            out[0] = saturate<Out>(out[0] + ((s * mono) >> Shift));
            out += 1;
        }
        position += step;
    }
    return position;
}

} // namespace

// ---- the envelope cursor ----

void EnvelopeCursor::reset(const Envelope* list)
{
    envelope = list && list->points.size() >= 2 ? list : nullptr;
    position = -1;
    next = 1;
    previous = 0;
    released = false;
}

void EnvelopeCursor::release()
{
    if (envelope && envelope->sustain_on)
        released = true;
}

int32_t EnvelopeCursor::x(int32_t index) const
{
    return index >= 0 && static_cast<size_t>(index) < envelope->points.size() ? envelope->points[index].first : 0;
}

int32_t EnvelopeCursor::y(int32_t index) const
{
    return index >= 0 && static_cast<size_t>(index) < envelope->points.size() ? envelope->points[index].second : 0;
}

void EnvelopeCursor::advance()
{
    if (!envelope)
        return;
    const int32_t count = static_cast<int32_t>(envelope->points.size());
    position += 1;
    if (!released && envelope->sustain_on)
        position = std::min(position, x(envelope->sustain));
    // Bounded, so that x values that do not rise cannot walk forever.
    for (int32_t steps = 0; steps < 2 * count && position >= x(next); ++steps) {
        previous += 1;
        next += 1;
        if (!released && envelope->loop_on && next > envelope->loop_end) {
            previous = envelope->loop_start;
            next = envelope->loop_start + 1;
            position = x(envelope->loop_start);
        }
        if (next >= count) {
            // Held on the last point itself, so that an envelope ending at 0 ends silent.
            next = count - 1;
            previous = count - 2;
            position = x(next);
            break;
        }
    }
}

int32_t EnvelopeCursor::value() const
{
    if (!envelope)
        return 0;
    const int64_t x0 = x(previous), x1 = x(next), y0 = y(previous), y1 = y(next);
    if (x0 == x1)
        return static_cast<int16_t>(y0);
    return static_cast<int16_t>(y0 + (position - x0) * (y1 - y0) / (x1 - x0));
}

void EnvelopeCursor::set_position(int32_t p)
{
    if (!envelope || p < x(0) || p > x(static_cast<int32_t>(envelope->points.size()) - 1))
        return;
    next = 0;
    previous = -1;
}

// ---- periods ----

int32_t Module::note_period(int32_t note, const Sample& sample) const
{
    const int32_t n = std::clamp(note + sample.relative_note, 0, 119);
    if (linear)
        return std::max(7744 - 64 * n - sample.finetune / 2, 1);
    const int32_t octave = n / 12, semitone = n - 12 * octave;
    const int32_t floor16 = sample.finetune >= 0 ? sample.finetune / 16 : -((-sample.finetune + 15) / 16);
    const int32_t i = 8 + 8 * semitone + floor16, q = sample.finetune / 16;
    const int32_t a = amiga_table[i], b = amiga_table[i + 1];
    return std::max((a + q * (b - a) / 15) >> octave, 1);
}

int32_t Module::period_step(int32_t period) const
{
    period = std::max(period, 1);
    if (linear) {
        const uint32_t shift = static_cast<uint32_t>(period) / 768;
        if (shift >= 32)
            return 0;
        const uint64_t frequency = linear_table[static_cast<uint32_t>(period) % 768] >> shift;
        return static_cast<int32_t>(frequency * 1024 / format.rate);
    }
    const int64_t frequency = 14317456 / period;
    return static_cast<int32_t>(std::min<int64_t>(frequency * 1024 / format.rate, std::numeric_limits<int32_t>::max()));
}

// ---- the voice ----

void Voice::restart()
{
    position = 0;
    volume_cursor.reset(current_instrument ? &current_instrument->volume_envelope : nullptr);
    panning_cursor.reset(current_instrument ? &current_instrument->panning_envelope : nullptr);
}

void Voice::key_off()
{
    key_is_off = true;
    volume_cursor.release();
    panning_cursor.release();
}

void Voice::start_note(bool /*names_instrument*/)
{
    // The caller has set current_instrument and picked the sample through its map.
    step = 0;
    position = 0;
    data = nullptr;
    key_is_off = false;
    restart();
    fade = 65536;
    fadeout = current_instrument ? static_cast<int16_t>(current_instrument->fadeout) : 0;
}

void Voice::process_cell(const Cell& cell)
{
    Module& m = *module_;
    bool names = false;
    if (cell.instrument != 0 && cell.instrument <= m.instruments.size()) {
        instrument = cell.instrument;
        names = true;
    }
    const Instrument* inst = instrument > 0 ? m.instruments[instrument - 1].get() : nullptr;
    const bool had_vibrato = vibrato_on, had_tremolo = tremolo_on;

    int32_t new_period = 0;
    const Sample* sample = nullptr;
    if (cell.note == 97) {
        key_off();
    } else if (cell.note >= 1 && cell.note <= 96 && inst) {
        const uint8_t index = inst->map[cell.note - 1];
        if (index < inst->samples.size())
            sample = inst->samples[index].get();
        if (sample)
            new_period = m.note_period(cell.note, *sample);
    }

    saved_position = position;
    previous_period = period;
    period_slide = volume_slide = global_slide = pan_slide = 0;
    porta_on = vibrato_on = tremolo_on = false;
    volume_slide_started = pan_slide_started = period_slide_started = false;
    note_delay = retrigger = retrigger_interval = 0;
    step1 = step1_period = step2 = step2_period = 0;

    if (new_period) {
        current_instrument = inst;
        start_note(names);
        if (sample->length != 0) {
            type = sample->type;
            end = (sample->loop_start + sample->loop_length != 0 ? sample->loop_start + sample->loop_length
                                                                  : sample->length) *
                  1024;
            loop_start = sample->loop_start * 1024;
            data = sample->data.data();
            pan = sample->panning;
            if (names)
                volume = sample->volume;
        }
        period = target = new_period;
    } else if (names) {
        volume = 64;
        target = period;
    }

    if (cell.volume >= 0x10 && cell.volume <= 0x50)
        volume = cell.volume - 0x10;

    const uint8_t p = cell.parameter;
    const int32_t hi = p >> 4, lo = p & 15;
    switch (cell.effect) {
    case 0:
        if (p && period) {
            const int32_t base = period;
            period = base + (p & 0xF0);
            step1 = 2;
            step1_period = base + 16 * lo;
            step2 = 3;
            step2_period = base;
        }
        break;
    case 1:
    case 2:
        if (p)
            period_memory = p;
        period_slide = (cell.effect == 1 ? -4 : 4) * period_memory;
        break;
    case 3:
        if (p)
            porta_speed = 4 * p;
        porta_on = true;
        period = previous_period;
        position = saved_position;
        break;
    case 4:
    case 6:
        if (!had_vibrato)
            vibrato_phase = 0;
        if (cell.effect == 4 && p)
            vibrato_param = p;
        vibrato_on = true;
        if (cell.effect == 6)
            volume_slide = slide_value(p, volume_memory);
        break;
    case 5:
        if (new_period) {
            target = new_period;
            if (previous_period)
                period = previous_period;
        }
        porta_on = true;
        volume_slide = slide_value(p, volume_memory);
        break;
    case 7:
        if (!had_tremolo)
            tremolo_phase = 0;
        if (p)
            tremolo_param = p;
        tremolo_on = true;
        break;
    case 8:
        pan = p;
        break;
    case 9:
        if (p > 0 && static_cast<int64_t>(p) * 256 * 1024 < end)
            position = int64_t(p) * 256 * 1024;
        break;
    case 10:
        volume_slide = slide_value(p, volume_memory);
        break;
    case 11:
        m.next_order_position = p;
        m.row = 0xFFFFF;
        break;
    case 12:
        volume = std::min<int32_t>(p, 64);
        break;
    case 13:
        if (p == 0) {
            m.row = 0xFFFF;
        } else {
            m.order_position = m.next_order_position;
            m.next_order_position += 1;
            m.current_pattern = m.order_position < 256 ? m.order[m.order_position] : not_a_pattern;
            m.row = 10 * hi + lo - 1;
        }
        break;
    case 14:
        switch (hi) {
        case 1:
            if (period)
                period = std::max(period - 4 * lo, 1);
            break;
        case 2:
            if (period)
                period = std::min(period + 4 * lo, 1 << 24);
            break;
        case 4:
            vibrato_wave = lo & 3;
            break;
        case 7:
            tremolo_wave = lo & 3;
            break;
        case 9:
            retrigger = retrigger_interval = lo + 1;
            break;
        case 10:
            volume += lo;
            break;
        case 11:
            volume -= lo;
            break;
        case 12:
            step1 = lo + 1;
            step1_period = 0;
            break;
        case 13:
            note_delay = lo + 1;
            position = saved_position;
            break;
        case 14:
            m.pattern_delay = lo;
            break;
        default:
            break;
        }
        break;
    case 15:
        if (p != 0 && p < 32)
            m.speed = p;
        else if (p >= 32)
            m.bpm = p;
        break;
    case 16:
        m.global_volume = 2 * std::min<int32_t>(p, 64);
        break;
    case 17:
        global_slide = slide_value(p, global_memory);
        break;
    case 20:
        key_off();
        break;
    case 21:
        volume_cursor.set_position(p);
        panning_cursor.set_position(p);
        break;
    case 25:
        pan_slide = slide_value(p, pan_memory);
        break;
    case 27:
        // The low nibble is the interval; the high one (a volume change) is not used.
        retrigger = retrigger_interval = lo;
        break;
    case 29:
        step1 = hi + 1;
        step1_period = 0;
        step2 = lo;
        step2_period = period;
        break;
    default:
        break;
    }
}

void Voice::tick()
{
    Module& m = *module_;
    if (volume_slide || global_slide) {
        if (volume_slide_started) {
            volume += volume_slide;
            m.global_volume = std::clamp(m.global_volume + 2 * global_slide, 0, 128);
        } else {
            volume_slide_started = true;
        }
    }
    volume = std::clamp(volume, 0, 64);
    if (pan_slide) {
        if (pan_slide_started)
            pan += pan_slide;
        else
            pan_slide_started = true;
    }
    pan = std::clamp(pan, 0, 255);
    right_gain = pan;
    left_gain = 255 - pan;
    working_volume = volume;

    if (step1 && --step1 == 0) {
        if (step1_period) {
            period = step1_period;
            restart();
        } else {
            volume = 0;
        }
    }
    if (step2 && --step2 == 0) {
        if (step2_period) {
            period = step2_period;
            restart();
        } else {
            volume = 0;
        }
    }
    if (retrigger && --retrigger == 0) {
        restart();
        retrigger = retrigger_interval;
    }
    if (note_delay) {
        if (--note_delay > 0)
            return;
        restart();
    }
    if (period == 0)
        return;

    if (tremolo_on) {
        working_volume = std::clamp(working_volume + (tremolo_param & 15) * waveforms[tremolo_wave][tremolo_phase] / 127,
                                    0, 64);
        volume = working_volume;
        tremolo_phase = (tremolo_phase + (tremolo_param >> 4)) & 63;
    }
    if (porta_on && target) {
        if (period < target)
            period = std::min(period + porta_speed, target);
        else
            period = std::max(period - porta_speed, target);
    }
    if (period_slide) {
        if (period_slide_started)
            period += period_slide;
        else
            period_slide_started = true;
    }
    // Bounded, so that a slide held for hours cannot overflow.
    period = std::clamp(period, 1, 1 << 24);
    if (vibrato_on) {
        period = std::max(period + (vibrato_param & 15) * waveforms[vibrato_wave][vibrato_phase] / 127, 1);
        vibrato_phase = (vibrato_phase + (vibrato_param >> 4)) & 63;
    }

    const bool volume_envelope = volume_cursor.envelope && volume_cursor.envelope->on;
    if (key_is_off && !volume_envelope) {
        end = loop_start = step = 0;
        position = 0;
    } else {
        if (volume_envelope) {
            volume_cursor.advance();
            if (key_is_off)
                fade = std::clamp(fade - fadeout, 0, 65536);
            const int64_t enveloped = (static_cast<int64_t>(volume_cursor.value()) * working_volume) >> 6;
            working_volume = static_cast<int32_t>(std::clamp<int64_t>((enveloped * fade) >> 16, 0, 64));
        }
        if (panning_cursor.envelope && panning_cursor.envelope->on && !pan_slide_started) {
            panning_cursor.advance();
            right_gain = std::clamp(right_gain + 4 * panning_cursor.value() - 128, 0, 255);
            left_gain = 255 - right_gain;
        }
    }
    compute_step();
}

void Voice::compute_step()
{
    const int32_t s = module_->period_step(period);
    step = step < 0 ? -s : s;
}

void Voice::update_output_volume()
{
    const int32_t v = module_->global_volume * working_volume;
    out_right = (right_gain * v) >> 12;
    out_left = (left_gain * v) >> 12;
    out_mono = (v * 128) >> 12;
}

void Voice::mix(uint8_t* buffer, uint32_t frames, const OutputFormat& format)
{
    if ((out_left == 0 && out_right == 0) || !data || !end || !step)
        return;
    const bool stereo = format.channels == 2, wide_out = format.bits == 16, wide_in = (type & 0x10) != 0;
    const uint32_t frame_bytes = format.channels * format.bits / 8;
    while (frames > 0 && end != 0) {
        // Boundaries first, so that every stretch below mixes at least one frame.
        if (step > 0 && position >= end) {
            if (type & 1) {
                position = (position & 1023) + loop_start;
            } else if (type & 2) {
                position -= step;
                step = -step;
            } else {
                end = 0;
                break;
            }
        } else if (step < 0 && position <= loop_start) {
            position -= step;
            step = -step;
        }
        // A step longer than the loop would bounce between its two ends without mixing.
        const int64_t lowest = step < 0 ? loop_start + 1 : 0;
        if (lowest <= end - 1)
            position = std::clamp<int64_t>(position, lowest, end - 1);
        int64_t n = step > 0 ? (end - position - 1) / step + 1 : 1 - (position - loop_start - 1) / step;
        const uint32_t count = static_cast<uint32_t>(std::clamp<int64_t>(n, 1, frames));
        if (wide_in) {
            auto* d = data;
            if (wide_out)
                position = stereo ? mix_stretch<int16_t, int16_t, 2, 10>(d, position, step, count, reinterpret_cast<int16_t*>(buffer), out_left, out_right, out_mono)
                                  : mix_stretch<int16_t, int16_t, 1, 10>(d, position, step, count, reinterpret_cast<int16_t*>(buffer), out_left, out_right, out_mono);
            else
                position = stereo ? mix_stretch<int16_t, int8_t, 2, 18>(d, position, step, count, reinterpret_cast<int8_t*>(buffer), out_left, out_right, out_mono)
                                  : mix_stretch<int16_t, int8_t, 1, 18>(d, position, step, count, reinterpret_cast<int8_t*>(buffer), out_left, out_right, out_mono);
        } else {
            auto* d = reinterpret_cast<const int8_t*>(data);
            if (wide_out)
                position = stereo ? mix_stretch<int8_t, int16_t, 2, 2>(d, position, step, count, reinterpret_cast<int16_t*>(buffer), out_left, out_right, out_mono)
                                  : mix_stretch<int8_t, int16_t, 1, 2>(d, position, step, count, reinterpret_cast<int16_t*>(buffer), out_left, out_right, out_mono);
            else
                position = stereo ? mix_stretch<int8_t, int8_t, 2, 10>(d, position, step, count, reinterpret_cast<int8_t*>(buffer), out_left, out_right, out_mono)
                                  : mix_stretch<int8_t, int8_t, 1, 10>(d, position, step, count, reinterpret_cast<int8_t*>(buffer), out_left, out_right, out_mono);
        }
        buffer += count * frame_bytes;
        frames -= count;
    }
}

// ---- the module ----

bool Module::next_row()
{
    if (current_pattern < 0 || static_cast<size_t>(current_pattern) >= patterns.size() || order_position >= song_length)
        return false;
    row += 1;
    if (row >= static_cast<int32_t>(patterns[current_pattern].size()))
        row = 0;
    if (row != 0)
        return true;
    order_position = next_order_position;
    next_order_position += 1;
    return enter_order();
}

bool Module::enter_order()
{
    for (;;) {
        if (order_position < 0 || order_position >= 256) {
            current_pattern = not_a_pattern;
            return false;
        }
        current_pattern = order[order_position];
        if (current_pattern != 254)
            break;
        order_position = next_order_position;
        next_order_position += 1;
    }
    return static_cast<size_t>(current_pattern) < patterns.size() && order_position < song_length;
}

void Module::rewind()
{
    speed = default_speed;
    bpm = default_bpm;
    const int32_t start = restart_position < song_length ? restart_position : 0;
    order_position = next_order_position = start;
    current_pattern = order[start];
    row = -1;
    ticks_left = samples_left = pattern_delay = 0;
}

uint32_t Module::render(void* out, uint32_t frames)
{
    if (!loaded || !out || frames == 0)
        return 0;
    auto* buffer = static_cast<uint8_t*>(out);
    const uint32_t frame_bytes = format.channels * format.bits / 8;
    uint32_t done = 0;
    while (done < frames) {
        if (samples_left == 0) {
            if (ticks_left == 0) {
                if (!next_row())
                    break;
                const Row& cells = patterns[current_pattern][row];
                for (size_t c = 0; c < voices.size(); ++c)
                    voices[c]->process_cell(cells[c]);
                ticks_left = speed * (pattern_delay + 1);
                pattern_delay = 0;
            }
            for (auto& voice : voices)
                voice->tick();
            for (auto& voice : voices)
                voice->update_output_volume();
            samples_left = std::max<int32_t>(static_cast<int32_t>(format.rate * 5 / (bpm * 2)), 1);
            ticks_left -= 1;
        }
        const uint32_t n = std::min<uint32_t>(samples_left, frames - done);
        for (auto& voice : voices)
            voice->mix(buffer, n, format);
        buffer += n * frame_bytes;
        samples_left -= n;
        done += n;
    }
    return done;
}

} // namespace vadu::noise::module
