#pragma once

// Polyphase synthesis of 32 subbands into 16-bit samples, and where those samples go.

#include "platform/vector_clones.h"

#include <cstdint>
#include <vector>

namespace vadu::noise::mp3 {

// Spreads each channel's samples into one interleaved request; what a frame gives beyond the
// request waits in the overflow store for the next one.
class OutputBuffer {
public:
    OutputBuffer(int channels, uint32_t overflow_bytes = 16384);

    // Starts a request for `samples` interleaved samples at dest and copies the leftovers
    // first. Returns how many of the request they filled.
    uint32_t start(int16_t* dest, uint32_t samples);
    void append(int channel, const int16_t* samples, int count);
    // Closes a frame: later samples follow the longest channel of this one.
    void end_frame();

    uint32_t written() const { return frame_base_ < requested_ ? frame_base_ : requested_; }
    bool full() const { return frame_base_ >= requested_; }
    int channels() const { return channels_; }
    // Forgets the leftovers.
    void clear();

private:
    int channels_;
    std::vector<int16_t> overflow_;
    uint32_t leftover_ = 0;
    int16_t* dest_ = nullptr;
    uint32_t requested_ = 0;
    uint32_t frame_base_ = 0;
    uint32_t channel_count_[2] = {0, 0};
};

class SynthesisFilter {
public:
    explicit SynthesisFilter(int channel, float scale = 32768.0f);
    void reset();

    // Sets subband k's sample of the coming time slot.
    void input(int k, float value) { samples_[k] = value; }
    void input_all(const float* subbands);
    // Turns the 32 subband samples into 32 output samples for this filter's channel.
    void compute(OutputBuffer& out);
    // The same, into 32 plain samples (no output buffer).
    void compute(int16_t* out);

    int channel() const { return channel_; }

private:
    alignas(32) float v_[2048];
    alignas(32) float samples_[32];
    int offset_ = 0;
    int channel_;
    float scale_;
};

} // namespace vadu::noise::mp3
