// Writes the source signals the MP3 fixtures are encoded from, as 16-bit WAV files, into
// the folder given as the only argument. Every signal is deterministic.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const double pi = 3.14159265358979323846;
const int rate = 44100;

struct Generator {
    uint32_t state = 12345;
    double noise()
    {
        state = state * 1664525u + 1013904223u;
        return (static_cast<int32_t>(state >> 8) / double(1 << 23)) - 1.0;
    }
};

void put16(std::FILE* f, int v) { std::fputc(v & 255, f), std::fputc((v >> 8) & 255, f); }
void put32(std::FILE* f, uint32_t v) { put16(f, v & 0xFFFF), put16(f, v >> 16); }

bool write_wav(const std::string& path, int channels, const std::vector<double>& interleaved)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    uint32_t bytes = static_cast<uint32_t>(interleaved.size() * 2);
    std::fwrite("RIFF", 1, 4, f);
    put32(f, 36 + bytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);
    put16(f, 1);
    put16(f, channels);
    put32(f, rate);
    put32(f, rate * channels * 2);
    put16(f, channels * 2);
    put16(f, 16);
    std::fwrite("data", 1, 4, f);
    put32(f, bytes);
    for (double s : interleaved) {
        double scaled = std::round(s * 32767.0);
        put16(f, static_cast<int>(scaled > 32767 ? 32767 : scaled < -32768 ? -32768 : scaled));
    }
    return std::fclose(f) == 0;
}

// Chords, a sweep and noise bursts: what music throws at the encoder.
std::vector<double> music(double seconds)
{
    Generator g;
    int n = static_cast<int>(seconds * rate);
    std::vector<double> out(2 * n);
    double phase = 0.0;
    for (int i = 0; i < n; ++i) {
        double t = double(i) / rate;
        double sweep_hz = 40.0 * std::pow(16000.0 / 40.0, t / seconds);
        phase += 2 * pi * sweep_hz / rate;
        double chord = 0.18 * std::sin(2 * pi * 220.0 * t) + 0.12 * std::sin(2 * pi * 277.18 * t) +
                       0.1 * std::sin(2 * pi * 329.63 * t) + 0.05 * std::sin(2 * pi * 1760.0 * t);
        double burst = (static_cast<int>(t * 4) % 3 == 1) ? 0.25 * g.noise() : 0.02 * g.noise();
        double sweep = 0.3 * std::sin(phase);
        out[2 * i] = chord + sweep + burst;
        out[2 * i + 1] = 0.7 * chord - 0.5 * sweep + 0.6 * burst + 0.1 * std::sin(2 * pi * 5000.0 * t);
    }
    return out;
}

// Sharp clicks in silence make the encoder switch to short blocks.
std::vector<double> clicks(double seconds)
{
    Generator g;
    int n = static_cast<int>(seconds * rate);
    std::vector<double> out(2 * n, 0.0);
    for (int start = rate / 10; start + 400 < n; start += rate / 7) {
        for (int j = 0; j < 400; ++j) {
            double decay = std::exp(-j / 60.0);
            double v = 0.8 * decay * (j < 3 ? 1.0 : g.noise());
            out[2 * (start + j)] = v;
            out[2 * (start + j) + 1] = -0.6 * v;
        }
    }
    return out;
}

// A full-scale square on the left and full-scale noise on the right: clipping, and values
// large enough for the linbits tables.
std::vector<double> loud(double seconds)
{
    Generator g;
    int n = static_cast<int>(seconds * rate);
    std::vector<double> out(2 * n);
    for (int i = 0; i < n; ++i) {
        out[2 * i] = ((i / 50) % 2) ? 1.0 : -1.0;
        out[2 * i + 1] = g.noise() > 0 ? 1.0 : -1.0;
    }
    return out;
}

// A tone 60 dB below full scale, mono.
std::vector<double> quiet(double seconds)
{
    int n = static_cast<int>(seconds * rate);
    std::vector<double> out(n);
    for (int i = 0; i < n; ++i)
        out[i] = 0.001 * std::sin(2 * pi * 1000.0 * i / rate);
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s folder\n", argv[0]);
        return 2;
    }
    std::string folder = argv[1];
    bool ok = write_wav(folder + "/music.wav", 2, music(3.0)) && write_wav(folder + "/clicks.wav", 2, clicks(3.0)) &&
              write_wav(folder + "/loud.wav", 2, loud(2.0)) && write_wav(folder + "/quiet.wav", 1, quiet(2.0));
    return ok ? 0 : 1;
}
