#pragma once

// MPEG audio layer III decoding of one frame at a time.

#include <cstdint>

#include "vadu/noise/mp3/frame_reader.h"
#include "vadu/noise/mp3/synthesis.h"

namespace vadu::noise::mp3 {

struct GranuleInfo {
    int part2_3_length = 0;
    int big_values = 0;
    int global_gain = 0;
    int scalefac_compress = 0;
    int window_switching = 0;
    int block_type = 0;
    int mixed_block = 0;
    int table_select[3] = {0, 0, 0};
    int subblock_gain[3] = {0, 0, 0};
    int region0_count = 0;
    int region1_count = 0;
    int preflag = 0;
    int scalefac_scale = 0;
    int count1_table = 0;

    bool short_blocks() const { return window_switching && block_type == 2; }
};

struct SideInfo {
    int main_data_begin = 0;
    int private_bits = 0;
    int scfsi[2][4] = {};
    GranuleInfo granule[2][2];
};

struct ScaleFactors {
    uint8_t l[23] = {};
    uint8_t s[13][3] = {};
    // The largest value each band's field could hold (lower-rate intensity: that value
    // means "no intensity" for the band).
    uint8_t l_max[23] = {};
    uint8_t s_max[13] = {};
};

// The stages of one granule, usable on their own.
namespace layer3 {

// Raw inverse MDCTs by their definitions' symmetric halves (no window).
void imdct36(const float* in18, float* out36);
void imdct12(const float* in6, float* out12);

struct StereoSetting {
    bool mpeg1 = true;
    int mode_extension = 0;  // bit 1 mid-side, bit 0 intensity
    int rate_table = 3;      // 0..2 lower rates, 3..5 MPEG-1
    int intensity_scale = 0; // lower rates: the right channel's scalefac_compress & 1
};
// Joint-stereo processing of one granule; nonzero counts grow to cover what it fills.
void process_stereo(const StereoSetting& setting, const GranuleInfo& right, const ScaleFactors& right_factors,
                    float (&xr)[2][576], int (&nonzero)[2]);

// Short-block regrouping (in place), alias butterflies, IMDCT with overlap-add and frequency
// inversion. Output: 18 time slots of 32 subband samples. nonzero bounds the work.
void reorder(const GranuleInfo& gi, int rate_table, float* xr, float* scratch);
void alias_reduce(const GranuleInfo& gi, float* xr, int subbands);
void hybrid(const GranuleInfo& gi, const float* xr, float* overlap, float (&out)[18][32], int subbands);

} // namespace layer3

class LayerIIIDecoder {
public:
    // Filters may be null for channels the stream does not have.
    LayerIIIDecoder(BitReader& reader, Header& header, SynthesisFilter* left, SynthesisFilter* right);

    // Decodes the frame the reader holds into the output buffer; a frame whose main data
    // is not all in the reservoir gives nothing.
    void decode_frame(OutputBuffer& out);

    // How often each table select 0..31 and the two quadruple tables (32, 33) decoded values.
    const uint32_t* table_uses() const { return table_uses_; }

private:
    struct MainData;

    bool read_side_info();
    void read_scale_factors(int gr, int ch);
    void read_scale_factors_lsf(int ch);
    void huffman_decode(int gr, int ch, uint64_t end_bit);
    void requantize(int gr, int ch);

    BitReader& reader_;
    Header& header_;
    SynthesisFilter* filters_[2];
    SideInfo side_;
    ScaleFactors factors_[2];
    int quantized_[2][576];
    int nonzero_[2] = {0, 0};
    alignas(32) float xr_[2][576];
    alignas(32) float scratch_[576];
    alignas(32) float overlap_[2][576];
    alignas(32) float slots_[18][32];
    MainData* main_;
    uint32_t table_uses_[34] = {};
    int channels_ = 2;
    int rate_table_ = 3;

public:
    ~LayerIIIDecoder();
    LayerIIIDecoder(const LayerIIIDecoder&) = delete;
    LayerIIIDecoder& operator=(const LayerIIIDecoder&) = delete;
};

} // namespace vadu::noise::mp3
