#include "vadu/noise/mp3/synthesis.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "vadu/noise/mp3/tables.h"

namespace vadu::noise::mp3 {

OutputBuffer::OutputBuffer(int channels, uint32_t overflow_bytes)
    : channels_(channels < 1 ? 1 : channels > 2 ? 2 : channels), overflow_(overflow_bytes / 2)
{
}

void OutputBuffer::clear()
{
    leftover_ = 0;
    frame_base_ = 0;
    requested_ = 0;
    channel_count_[0] = channel_count_[1] = 0;
}

uint32_t OutputBuffer::start(int16_t* dest, uint32_t samples)
{
    dest_ = dest;
    requested_ = samples;
    channel_count_[0] = channel_count_[1] = 0;
    uint32_t copied = std::min(leftover_, samples);
    if (copied > 0)
        std::memcpy(dest, overflow_.data(), copied * sizeof(int16_t));
    // Leftovers beyond this request move to the front of the store, still in order.
    if (leftover_ > copied)
        std::memmove(overflow_.data(), overflow_.data() + copied, (leftover_ - copied) * sizeof(int16_t));
    frame_base_ = leftover_;
    leftover_ = leftover_ - copied;
    return copied;
}

void OutputBuffer::append(int channel, const int16_t* samples, int count)
{
    if (channel < 0 || channel >= channels_)
        return;
    uint32_t index = frame_base_ + channel_count_[channel] * channels_ + channel;
    channel_count_[channel] += count;
    if (count > 0 && index + uint32_t(count - 1) * channels_ < requested_) {
        int16_t* to = dest_ + index;
        for (int i = 0; i < count; ++i)
            to[i * channels_] = samples[i];
        return;
    }
    for (int i = 0; i < count; ++i, index += channels_) {
        if (index < requested_)
            dest_[index] = samples[i];
        else if (index - requested_ < overflow_.size())
            overflow_[index - requested_] = samples[i];
    }
}

void OutputBuffer::end_frame()
{
    uint32_t longest = std::max(channel_count_[0], channel_count_[1]);
    frame_base_ += longest * channels_;
    channel_count_[0] = channel_count_[1] = 0;
    uint32_t surplus = frame_base_ > requested_ ? frame_base_ - requested_ : 0;
    leftover_ = std::min<uint32_t>(surplus, static_cast<uint32_t>(overflow_.size()));
}

SynthesisFilter::SynthesisFilter(int channel, float scale) : channel_(channel), scale_(scale)
{
    reset();
}

void SynthesisFilter::reset()
{
    std::memset(v_, 0, sizeof(v_));
    std::memset(samples_, 0, sizeof(samples_));
    offset_ = 0;
}

void SynthesisFilter::input_all(const float* subbands)
{
    std::memcpy(samples_, subbands, sizeof(samples_));
}

void SynthesisFilter::compute(OutputBuffer& out)
{
    int16_t pcm[32];
    compute(pcm);
    out.append(channel_, pcm, 32);
}

namespace {

// Reciprocals 1 / (2 cos((2i + 1) pi / 2n)) of each halving step, n = 32, 16, 8, 4, 2.
struct DctFactors {
    float values[5][16];
    DctFactors()
    {
        const double pi = 3.14159265358979323846;
        for (int level = 0, n = 32; n >= 2; ++level, n /= 2)
            for (int i = 0; i < n / 2; ++i)
                values[level][i] = static_cast<float>(0.5 / std::cos((2 * i + 1) * pi / (2 * n)));
    }
};
const DctFactors dct_factors;

// out[k] = sum of in[i] cos((2i + 1) k pi / 2N): split into the sums and the scaled
// differences, transform both halves, and interleave them.
template <int N>
__attribute__((always_inline)) inline void fast_dct(const float* in, float* out, int level)
{
    if constexpr (N == 1) {
        out[0] = in[0];
    } else {
        float even[N / 2], odd[N / 2], even_out[N / 2], odd_out[N / 2];
        const float* factor = dct_factors.values[level];
        for (int i = 0; i < N / 2; ++i) {
            even[i] = in[i] + in[N - 1 - i];
            odd[i] = (in[i] - in[N - 1 - i]) * factor[i];
        }
        fast_dct<N / 2>(even, even_out, level + 1);
        fast_dct<N / 2>(odd, odd_out, level + 1);
        for (int k = 0; k < N / 2 - 1; ++k) {
            out[2 * k] = even_out[k];
            out[2 * k + 1] = odd_out[k] + odd_out[k + 1];
        }
        out[N - 2] = even_out[N / 2 - 1];
        out[N - 1] = odd_out[N / 2 - 1];
    }
}

} // namespace

// Each lane's sums keep their order, so every clone gives the same samples.
QUILLO_VECTOR_CLONES void SynthesisFilter::compute(int16_t* out)
{
    // c[n] = sum of S[k] cos(n (2k + 1) pi / 64); V needs n = 0..32 up to sign.
    float c[33];
    fast_dct<32>(samples_, c, 0);
    c[32] = 0.0f;

    // The newest V sits first; the buffer is kept twice so that 1024 values read straight.
    offset_ = (offset_ - 64) & 1023;
    float* v = v_ + offset_;
    float* mirror = v_ + ((offset_ + 1024) & 2047);
    for (int i = 0; i < 64; ++i) {
        float value = i <= 16 ? c[16 + i] : i < 48 ? -c[48 - i] : -c[i - 48];
        v[i] = value;
        mirror[i] = value;
    }

    const float* d = synthesis_window();
    float sum[32] = {};
    for (int m = 0; m < 8; ++m) {
        const float* va = v + 128 * m;
        const float* vb = v + 128 * m + 96;
        const float* da = d + 64 * m;
        const float* db = d + 64 * m + 32;
        for (int j = 0; j < 32; ++j)
            sum[j] += va[j] * da[j] + vb[j] * db[j];
    }
    for (int j = 0; j < 32; ++j) {
        float s = sum[j] * scale_;
        int16_t value;
        if (s > 32767.0f)
            value = 32767;
        else if (s < -32768.0f)
            value = -32768;
        else
            value = static_cast<int16_t>(s);  // truncates toward zero
        out[j] = value;
    }
    std::memset(samples_, 0, sizeof(samples_));
}

} // namespace vadu::noise::mp3
