#include "vadu/noise/mp3/layer3.h"

#include <algorithm>
#include <cstring>

#include "vadu/noise/mp3/huffman.h"
#include "vadu/noise/mp3/tables.h"

namespace vadu::noise::mp3 {
namespace {

const uint8_t slen_table[2][16] = {{0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4},
                                   {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3}};

// Lower-rate scale-factor groups: [table][long, short, mixed][group].
const uint8_t lsf_band_counts[6][3][4] = {
    {{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}},
    {{6, 5, 7, 3}, {9, 9, 12, 6}, {6, 9, 12, 6}},
    {{11, 10, 0, 0}, {18, 18, 0, 0}, {15, 18, 0, 0}},
    {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}},
    {{6, 6, 6, 3}, {12, 9, 9, 6}, {6, 12, 9, 6}},
    {{8, 8, 5, 0}, {15, 12, 9, 0}, {6, 18, 9, 0}}};

constexpr uint32_t reservoir_keep = 4096;
constexpr uint32_t reservoir_capacity = reservoir_keep + BitReader::capacity;
// Room past the data so that reads of corrupt granules stay inside the buffer.
constexpr uint32_t reservoir_slack = 8192;

} // namespace

// The bit reservoir: main data of the recent frames in stream order, read bit by bit.
struct LayerIIIDecoder::MainData {
    uint8_t bytes[reservoir_capacity + reservoir_slack] = {};
    uint32_t length = 0;     // valid bytes
    uint64_t base = 0;       // stream offset (in main-data bytes) of bytes[0]
    uint64_t appended = 0;   // main-data bytes received so far
    uint64_t bit = 0;        // read position in bits from bytes[0]

    void append(const uint8_t* data, uint32_t count)
    {
        if (length + count > reservoir_capacity) {
            uint32_t drop = length + count - reservoir_keep;
            drop = std::min(drop, length);
            std::memmove(bytes, bytes + drop, length - drop);
            length -= drop;
            base += drop;
            bit = bit >= uint64_t(drop) * 8 ? bit - uint64_t(drop) * 8 : 0;
        }
        std::memcpy(bytes + length, data, count);
        length += count;
        appended += count;
    }

    uint32_t peek32() const
    {
        uint64_t byte = bit >> 3;
        if (byte + 8 > sizeof(bytes))
            return 0;
        uint64_t word;
        std::memcpy(&word, bytes + byte, 8);
        word = __builtin_bswap64(word);
        return static_cast<uint32_t>((word << (bit & 7)) >> 32);
    }

    uint32_t get(int n)
    {
        if (n == 0)
            return 0;
        uint32_t value = peek32() >> (32 - n);
        bit += n;
        return value;
    }
};

LayerIIIDecoder::LayerIIIDecoder(BitReader& reader, Header& header, SynthesisFilter* left, SynthesisFilter* right)
    : reader_(reader), header_(header), filters_{left, right}, main_(new MainData)
{
    std::memset(quantized_, 0, sizeof(quantized_));
    std::memset(xr_, 0, sizeof(xr_));
    std::memset(overlap_, 0, sizeof(overlap_));
    computed_tables();
    HuffmanTree::for_book(1);
    HuffmanTree::for_quad(0);
}

LayerIIIDecoder::~LayerIIIDecoder() { delete main_; }

bool LayerIIIDecoder::read_side_info()
{
    side_ = SideInfo{};
    const bool mpeg1 = header_.version == 1;
    if (mpeg1) {
        side_.main_data_begin = reader_.get_bits(9);
        side_.private_bits = reader_.get_bits(channels_ == 1 ? 5 : 3);
        for (int ch = 0; ch < channels_; ++ch)
            for (int band = 0; band < 4; ++band)
                side_.scfsi[ch][band] = reader_.get_bits(1);
    } else {
        side_.main_data_begin = reader_.get_bits(8);
        side_.private_bits = reader_.get_bits(channels_ == 1 ? 1 : 2);
    }
    const int granules = mpeg1 ? 2 : 1;
    for (int gr = 0; gr < granules; ++gr) {
        for (int ch = 0; ch < channels_; ++ch) {
            GranuleInfo& gi = side_.granule[gr][ch];
            gi.part2_3_length = reader_.get_bits(12);
            gi.big_values = reader_.get_bits(9);
            gi.global_gain = reader_.get_bits(8);
            gi.scalefac_compress = reader_.get_bits(mpeg1 ? 4 : 9);
            gi.window_switching = reader_.get_bits(1);
            if (gi.window_switching) {
                gi.block_type = reader_.get_bits(2);
                gi.mixed_block = reader_.get_bits(1);
                gi.table_select[0] = reader_.get_bits(5);
                gi.table_select[1] = reader_.get_bits(5);
                for (int w = 0; w < 3; ++w)
                    gi.subblock_gain[w] = reader_.get_bits(3);
                // A switched window must say which; this one is damaged, and so is what
                // follows it in the side information.
                if (gi.block_type == 0)
                    return false;
                gi.region0_count = (gi.block_type == 2 && !gi.mixed_block) ? 8 : 7;
                gi.region1_count = 20 - gi.region0_count;
            } else {
                for (int r = 0; r < 3; ++r)
                    gi.table_select[r] = reader_.get_bits(5);
                gi.region0_count = reader_.get_bits(4);
                gi.region1_count = reader_.get_bits(3);
                gi.block_type = 0;
            }
            gi.preflag = mpeg1 ? reader_.get_bits(1) : 0;
            gi.scalefac_scale = reader_.get_bits(1);
            gi.count1_table = reader_.get_bits(1);
        }
    }
    return true;
}

void LayerIIIDecoder::read_scale_factors(int gr, int ch)
{
    const GranuleInfo& gi = side_.granule[gr][ch];
    ScaleFactors& sf = factors_[ch];
    const int slen1 = slen_table[0][gi.scalefac_compress & 15];
    const int slen2 = slen_table[1][gi.scalefac_compress & 15];
    MainData& md = *main_;
    if (gi.short_blocks()) {
        int band = 0;
        if (gi.mixed_block) {
            for (; band < 8; ++band)
                sf.l[band] = static_cast<uint8_t>(md.get(slen1));
            band = 3;
        }
        for (; band < 12; ++band) {
            int bits = band < 6 ? slen1 : slen2;
            for (int w = 0; w < 3; ++w)
                sf.s[band][w] = static_cast<uint8_t>(md.get(bits));
        }
        for (int w = 0; w < 3; ++w)
            sf.s[12][w] = 0;
        return;
    }
    static const int group_edges[5] = {0, 6, 11, 16, 21};
    for (int g = 0; g < 4; ++g) {
        if (gr == 1 && side_.scfsi[ch][g])
            continue;
        int bits = g < 2 ? slen1 : slen2;
        for (int band = group_edges[g]; band < group_edges[g + 1]; ++band)
            sf.l[band] = static_cast<uint8_t>(md.get(bits));
    }
    sf.l[21] = sf.l[22] = 0;
}

void LayerIIIDecoder::read_scale_factors_lsf(int ch)
{
    GranuleInfo& gi = side_.granule[0][ch];
    ScaleFactors& sf = factors_[ch];
    const int form = gi.short_blocks() ? (gi.mixed_block ? 2 : 1) : 0;
    int slen[4] = {0, 0, 0, 0};
    int table = 0;
    int compress = gi.scalefac_compress;
    const bool intensity_right = ch == 1 && (header_.mode == 1) && (header_.mode_extension & 1);
    if (!intensity_right) {
        if (compress < 400) {
            slen[0] = (compress >> 4) / 5;
            slen[1] = (compress >> 4) % 5;
            slen[2] = (compress & 15) >> 2;
            slen[3] = compress & 3;
            table = 0;
        } else if (compress < 500) {
            compress -= 400;
            slen[0] = (compress >> 2) / 5;
            slen[1] = (compress >> 2) % 5;
            slen[2] = compress & 3;
            table = 1;
        } else {
            compress -= 500;
            slen[0] = compress / 3;
            slen[1] = compress % 3;
            gi.preflag = 1;
            table = 2;
        }
    } else {
        compress >>= 1;
        if (compress < 180) {
            slen[0] = compress / 36;
            slen[1] = (compress % 36) / 6;
            slen[2] = (compress % 36) % 6;
            table = 3;
        } else if (compress < 244) {
            compress -= 180;
            slen[0] = (compress & 63) >> 4;
            slen[1] = (compress & 15) >> 2;
            slen[2] = compress & 3;
            table = 4;
        } else {
            compress -= 244;
            slen[0] = compress / 3;
            slen[1] = compress % 3;
            table = 5;
        }
    }
    sf = ScaleFactors{};
    MainData& md = *main_;
    int long_band = 0;
    int short_index = form == 0 ? 0 : 9;  // mixed and short both count short bands from 3 windows
    if (form == 1)
        short_index = 0;
    for (int group = 0; group < 4; ++group) {
        int count = lsf_band_counts[table][form][group];
        int bits = std::min(slen[group], 8);
        uint8_t largest = static_cast<uint8_t>((1 << bits) - 1);
        for (int i = 0; i < count; ++i) {
            uint8_t value = static_cast<uint8_t>(md.get(bits));
            if (form == 0 || (form == 2 && group == 0)) {
                if (long_band < 22) {
                    sf.l[long_band] = value;
                    sf.l_max[long_band] = largest;
                }
                ++long_band;
            } else {
                int band = short_index / 3;
                if (band < 13) {
                    sf.s[band][short_index % 3] = value;
                    sf.s_max[band] = largest;
                }
                ++short_index;
            }
        }
    }
    // The last band of each kind repeats the one before for the intensity test.
    sf.l_max[21] = sf.l_max[20];
    sf.s_max[12] = sf.s_max[11];
}

void LayerIIIDecoder::huffman_decode(int gr, int ch, uint64_t end_bit)
{
    const GranuleInfo& gi = side_.granule[gr][ch];
    int* q = quantized_[ch];
    MainData& md = *main_;

    int big_end = std::min(gi.big_values, 288) * 2;
    int region1, region2;
    const uint16_t* edges = long_band_edges[rate_table_];
    if (gi.window_switching) {
        // Short blocks split after three short bands; start and stop blocks after eight
        // long bands (both 36 lines at the MPEG-1 rates, not at the lower ones).
        region1 = gi.block_type == 2 ? short_band_edges[rate_table_][3] * 3 : edges[8];
        region2 = 576;
    } else {
        region1 = edges[std::min(gi.region0_count + 1, 22)];
        region2 = edges[std::min(gi.region0_count + gi.region1_count + 2, 22)];
    }
    region1 = std::min(region1, big_end);
    region2 = std::min(std::max(region2, region1), big_end);

    int line = 0;
    const int bounds[3] = {region1, region2, big_end};
    for (int region = 0; region < 3; ++region) {
        const int select = gi.table_select[region] & 31;
        const TableSelect& ts = table_selects[select];
        const int stop = bounds[region];
        if (line >= stop)
            continue;
        if (ts.book == 0) {
            // No table (0, 4, 14): every value in the region is zero.
            for (; line < stop; ++line)
                q[line] = 0;
            continue;
        }
        ++table_uses_[select];
        const HuffmanTree& tree = HuffmanTree::for_book(ts.book);
        const int linbits = ts.linbits;
        for (; line < stop; line += 2) {
            int length;
            uint32_t value = tree.decode(md.peek32(), length);
            md.bit += length;
            int x = static_cast<int>(value >> 4);
            int y = static_cast<int>(value & 15);
            if (x | y) {
                // Linbits and signs of one pair fit in 28 bits: one look at the stream.
                uint32_t rest = md.peek32();
                int used = 0;
                auto take = [&](int n) {
                    uint32_t bits = (rest << used) >> (32 - n);
                    used += n;
                    return static_cast<int>(bits);
                };
                if (x == 15 && linbits)
                    x += take(linbits);
                if (x && take(1))
                    x = -x;
                if (y == 15 && linbits)
                    y += take(linbits);
                if (y && take(1))
                    y = -y;
                md.bit += used;
            }
            q[line] = x;
            q[line + 1] = y;
        }
    }

    // Quadruples of -1, 0, 1 until the granule's bits run out.
    const HuffmanTree& quads = HuffmanTree::for_quad(gi.count1_table);
    const int quad_select = 32 + (gi.count1_table & 1);
    bool used_quads = false;
    while (line + 4 <= 576 && md.bit < end_bit) {
        int length;
        uint32_t value = quads.decode(md.peek32(), length);
        md.bit += length;
        int v[4] = {int(value >> 3) & 1, int(value >> 2) & 1, int(value >> 1) & 1, int(value) & 1};
        for (int i = 0; i < 4; ++i)
            if (v[i] && md.get(1))
                v[i] = -1;
        if (md.bit > end_bit) {
            // The last quadruple ran past the granule: it was padding, not data.
            md.bit = end_bit;
            break;
        }
        used_quads = true;
        for (int i = 0; i < 4; ++i)
            q[line + i] = v[i];
        line += 4;
    }
    if (used_quads)
        ++table_uses_[quad_select];
    nonzero_[ch] = line;
    for (int i = line; i < 576; ++i)
        q[i] = 0;
    md.bit = end_bit;
}

void LayerIIIDecoder::requantize(int gr, int ch)
{
    const GranuleInfo& gi = side_.granule[gr][ch];
    const ScaleFactors& sf = factors_[ch];
    const ComputedTables& t = computed_tables();
    const int* q = quantized_[ch];
    float* xr = xr_[ch];
    const int nonzero = nonzero_[ch];
    const float gain = t.gain[gi.global_gain & 255];
    const int shift = gi.scalefac_scale;

    auto line_value = [&](int i, float factor) {
        int value = q[i];
        int magnitude = value < 0 ? -value : value;
        float v = t.pow43[magnitude < 8192 ? magnitude : 8191] * factor;
        xr[i] = value < 0 ? -v : v;
    };

    int i = 0;
    const uint16_t* long_edges = long_band_edges[rate_table_];
    const uint16_t* short_edges = short_band_edges[rate_table_];
    if (!gi.short_blocks() || gi.mixed_block) {
        const int long_end = gi.short_blocks() ? 36 : 576;
        for (int band = 0; band < 22 && i < nonzero && i < long_end; ++band) {
            int m = (sf.l[band] + gi.preflag * pretab[band]) << shift;
            float factor = gain * t.scale[std::min(m, 127)];
            int end = std::min<int>({long_edges[band + 1], nonzero, long_end});
            for (; i < end; ++i)
                line_value(i, factor);
        }
    }
    if (gi.short_blocks()) {
        for (int band = gi.mixed_block ? 3 : 0; band < 13 && i < nonzero; ++band) {
            const int width = short_edges[band + 1] - short_edges[band];
            for (int w = 0; w < 3 && i < nonzero; ++w) {
                int m = (sf.s[band][w] << shift) + 4 * gi.subblock_gain[w];
                float factor = gain * t.scale[std::min(m, 127)];
                int end = std::min(i + width, nonzero);
                for (; i < end; ++i)
                    line_value(i, factor);
            }
        }
    }
    for (; i < 576; ++i)
        xr[i] = 0.0f;
}

void LayerIIIDecoder::decode_frame(OutputBuffer& out)
{
    channels_ = header_.channels();
    rate_table_ = header_.rate_index + (header_.version == 1 ? 3 : 0);
    if (rate_table_ < 0 || rate_table_ > 5)
        return;
    const bool valid = read_side_info();
    if (header_.main_data_size <= 0)
        return;

    MainData& md = *main_;
    const uint32_t offset = (header_.protection == 0 ? 2 : 0) + header_.side_info_size();
    if (offset + header_.main_data_size > reader_.frame_size())
        return;
    const int64_t frame_start = static_cast<int64_t>(md.appended);
    md.append(reader_.frame_bytes() + offset, static_cast<uint32_t>(header_.main_data_size));

    // The main data begins main_data_begin bytes before this frame's own; it must lie past
    // what earlier frames used and inside what the reservoir still holds.
    const int64_t begin = frame_start - side_.main_data_begin;
    const int64_t consumed = static_cast<int64_t>(md.base) + static_cast<int64_t>((md.bit + 7) >> 3);
    if (begin < consumed || begin < static_cast<int64_t>(md.base))
        return;
    md.bit = static_cast<uint64_t>(begin - static_cast<int64_t>(md.base)) * 8;
    // Side information cut short by a damaged granule keeps what was read; the rest is
    // zero, so those granules decode as silence.
    (void)valid;

    const bool mpeg1 = header_.version == 1;
    const int granules = mpeg1 ? 2 : 1;
    for (int gr = 0; gr < granules; ++gr) {
        for (int ch = 0; ch < channels_; ++ch) {
            const uint64_t part2_start = md.bit;
            if (mpeg1)
                read_scale_factors(gr, ch);
            else
                read_scale_factors_lsf(ch);
            huffman_decode(gr, ch, part2_start + side_.granule[gr][ch].part2_3_length);
            requantize(gr, ch);
        }

        if (channels_ == 2) {
            layer3::StereoSetting setting;
            setting.mpeg1 = mpeg1;
            setting.mode_extension = header_.mode == 1 ? header_.mode_extension : 0;
            setting.rate_table = rate_table_;
            setting.intensity_scale = side_.granule[gr][1].scalefac_compress & 1;
            layer3::process_stereo(setting, side_.granule[gr][1], factors_[1], xr_, nonzero_);
        }

        for (int ch = 0; ch < channels_; ++ch) {
            const GranuleInfo& gi = side_.granule[gr][ch];
            // Alias butterflies reach 8 lines into the next subband; regrouped short
            // blocks spread over the whole spectrum.
            int subbands = gi.short_blocks() ? 32 : std::min(32, (nonzero_[ch] + 17) / 18 + 1);
            if (gi.short_blocks())
                layer3::reorder(gi, rate_table_, xr_[ch], scratch_);
            layer3::alias_reduce(gi, xr_[ch], subbands);
            layer3::hybrid(gi, xr_[ch], overlap_[ch], slots_, subbands);
            SynthesisFilter* filter = filters_[ch];
            if (filter == nullptr)
                continue;
            for (int slot = 0; slot < 18; ++slot) {
                filter->input_all(slots_[slot]);
                filter->compute(out);
            }
        }
    }
    out.end_frame();
}

namespace layer3 {

void imdct36(const float* in, float* out)
{
    // The independent half is an 18-point DCT-IV y of the input: with v[k] = in[k] +
    // in[k - 1], y[n] = w[n] / (2 cos((2n + 1) pi / 72)) where w is the DCT-III of v, whose
    // even and odd input halves give w[n] and w[17 - n] together.
    const ComputedTables& t = computed_tables();
    float even[9], odd[9];
    even[0] = in[0];
    for (int m = 1; m < 9; ++m)
        even[m] = in[2 * m] + in[2 * m - 1];
    for (int m = 0; m < 9; ++m)
        odd[m] = in[2 * m + 1] + in[2 * m];
    float y[18];
    for (int n = 0; n < 9; ++n) {
        float e = 0.0f, o = 0.0f;
        for (int m = 0; m < 9; ++m) {
            e += t.imdct36_even[n][m] * even[m];
            o += t.imdct36_odd[n][m] * odd[m];
        }
        y[n] = (e + o) * t.imdct36_post[n];
        y[17 - n] = (e - o) * t.imdct36_post[17 - n];
    }
    for (int j = 0; j < 9; ++j) {
        out[j] = y[9 + j];
        out[17 - j] = -y[9 + j];
        out[18 + j] = -y[8 - j];
        out[35 - j] = -y[8 - j];
    }
}

void imdct12(const float* in, float* out)
{
    const ComputedTables& t = computed_tables();
    float half[6];
    for (int r = 0; r < 6; ++r) {
        float sum = 0.0f;
        for (int k = 0; k < 6; ++k)
            sum += t.imdct12[r][k] * in[k];
        half[r] = sum;
    }
    for (int i = 0; i < 3; ++i) {
        out[i] = half[i];
        out[5 - i] = -half[i];
        out[6 + i] = half[3 + i];
        out[11 - i] = half[3 + i];
    }
}

namespace {

// The highest line of xr[from, to) that is not zero, or from - 1.
int last_nonzero(const float* xr, int from, int to)
{
    for (int i = to - 1; i >= from; --i)
        if (xr[i] != 0.0f)
            return i;
    return from - 1;
}

struct IntensityPair {
    bool valid;
    float left, right;
};

IntensityPair intensity_factors(const StereoSetting& s, int position, int largest)
{
    const ComputedTables& t = computed_tables();
    if (s.mpeg1) {
        if (position < 0 || position >= 7)
            return {false, 0, 0};
        return {true, t.is_ratio_mpeg1[position][0], t.is_ratio_mpeg1[position][1]};
    }
    if (position == largest || position < 0 || position >= 32)
        return {false, 0, 0};
    return {true, t.is_ratio_mpeg2[s.intensity_scale & 1][position][0],
            t.is_ratio_mpeg2[s.intensity_scale & 1][position][1]};
}

} // namespace

void process_stereo(const StereoSetting& s, const GranuleInfo& right, const ScaleFactors& sf,
                    float (&xr)[2][576], int (&nonzero)[2])
{
    const bool mid_side = (s.mode_extension & 2) != 0;
    const bool intensity = (s.mode_extension & 1) != 0;
    const int top = std::max(nonzero[0], nonzero[1]);
    // Lines that take intensity positions; all others are mid-side or plain.
    bool is_line[576];
    float is_left[576], is_right[576];
    int is_top = 0;
    if (intensity) {
        std::memset(is_line, 0, sizeof(is_line));
        const uint16_t* long_edges = long_band_edges[s.rate_table];
        const uint16_t* short_edges = short_band_edges[s.rate_table];
        auto mark = [&](int from, int to, int position, int largest) {
            IntensityPair f = intensity_factors(s, position, largest);
            if (!f.valid)
                return;
            for (int i = from; i < to; ++i) {
                is_line[i] = true;
                is_left[i] = f.left;
                is_right[i] = f.right;
            }
            is_top = std::max(is_top, to);
        };
        if (!right.short_blocks()) {
            int last = last_nonzero(xr[1], 0, 576);
            for (int band = 0; band < 22; ++band) {
                if (long_edges[band] <= last)
                    continue;
                int b = band == 21 ? 20 : band;
                mark(long_edges[band], long_edges[band + 1], sf.l[b], sf.l_max[b]);
            }
        } else {
            const int first_short = right.mixed_block ? 3 : 0;
            bool short_part_zero = true;
            for (int w = 0; w < 3; ++w) {
                int highest = -1;  // highest short band with a nonzero line in this window
                for (int band = first_short; band < 13; ++band) {
                    int width = short_edges[band + 1] - short_edges[band];
                    int start = short_edges[band] * 3 + w * width;
                    if (last_nonzero(xr[1], start, start + width) >= start)
                        highest = band;
                }
                if (highest >= 0)
                    short_part_zero = false;
                for (int band = std::max(first_short, highest + 1); band < 13; ++band) {
                    int width = short_edges[band + 1] - short_edges[band];
                    int start = short_edges[band] * 3 + w * width;
                    int b = band == 12 ? 11 : band;
                    mark(start, start + width, sf.s[b][w], sf.s_max[b]);
                }
            }
            if (right.mixed_block && short_part_zero) {
                // The long part of a mixed block continues the intensity region downwards.
                int last = last_nonzero(xr[1], 0, 36);
                for (int band = 0; band < 22 && long_edges[band + 1] <= 36; ++band)
                    if (long_edges[band] > last)
                        mark(long_edges[band], long_edges[band + 1], sf.l[band], sf.l_max[band]);
            }
        }
    }

    const float root_half = 0.70710678118654752f;
    const int limit = std::max(top, is_top);
    for (int i = 0; i < limit; ++i) {
        float a = xr[0][i];
        if (intensity && is_line[i]) {
            xr[0][i] = a * is_left[i];
            xr[1][i] = a * is_right[i];
        } else if (mid_side) {
            float b = xr[1][i];
            xr[0][i] = (a + b) * root_half;
            xr[1][i] = (a - b) * root_half;
        }
    }
    nonzero[0] = nonzero[1] = limit;
}

void reorder(const GranuleInfo& gi, int rate_table, float* xr, float* scratch)
{
    if (!gi.short_blocks())
        return;
    const uint16_t* edges = short_band_edges[rate_table];
    const int first = gi.mixed_block ? 3 : 0;
    const int from = edges[first] * 3;
    for (int band = first; band < 13; ++band) {
        const int start = edges[band];
        const int width = edges[band + 1] - start;
        for (int w = 0; w < 3; ++w)
            for (int j = 0; j < width; ++j)
                scratch[3 * (start + j) + w] = xr[3 * start + w * width + j];
    }
    std::memcpy(xr + from, scratch + from, (576 - from) * sizeof(float));
}

void alias_reduce(const GranuleInfo& gi, float* xr, int subbands)
{
    if (gi.short_blocks() && !gi.mixed_block)
        return;
    const ComputedTables& t = computed_tables();
    const int last = gi.short_blocks() ? 2 : std::min(subbands, 32);
    for (int sb = 1; sb < last; ++sb) {
        float* lower = xr + 18 * sb - 1;
        float* upper = xr + 18 * sb;
        for (int i = 0; i < 8; ++i) {
            float a = lower[-i];
            float b = upper[i];
            lower[-i] = a * t.cs[i] - b * t.ca[i];
            upper[i] = b * t.cs[i] + a * t.ca[i];
        }
    }
}

void hybrid(const GranuleInfo& gi, const float* xr, float* overlap, float (&out)[18][32], int subbands)
{
    const ComputedTables& t = computed_tables();
    subbands = std::min(std::max(subbands, 0), 32);
    for (int sb = 0; sb < 32; ++sb) {
        float* keep = overlap + 18 * sb;
        if (sb >= subbands) {
            // Nothing new in this subband: only the tail of the last granule sounds.
            for (int i = 0; i < 18; ++i) {
                out[i][sb] = (sb & 1) && (i & 1) ? -keep[i] : keep[i];
                keep[i] = 0.0f;
            }
            continue;
        }
        const int type = (gi.window_switching && gi.mixed_block && sb < 2) ? 0 : gi.block_type;
        float z[36];
        if (type != 2) {
            imdct36(xr + 18 * sb, z);
            const float* window = t.window36[type & 3];
            for (int i = 0; i < 36; ++i)
                z[i] *= window[i];
        } else {
            std::memset(z, 0, sizeof(z));
            for (int w = 0; w < 3; ++w) {
                float in[6], y[12];
                for (int k = 0; k < 6; ++k)
                    in[k] = xr[18 * sb + 3 * k + w];
                imdct12(in, y);
                for (int i = 0; i < 12; ++i)
                    z[6 + 6 * w + i] += y[i] * t.window12[i];
            }
        }
        for (int i = 0; i < 18; ++i) {
            float value = z[i] + keep[i];
            keep[i] = z[18 + i];
            out[i][sb] = (sb & 1) && (i & 1) ? -value : value;
        }
    }
}

} // namespace layer3
} // namespace vadu::noise::mp3
