#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vadu/pictureformat/decompressor.h"

namespace vadu::pictureformat {

// Uncompressed 16-, 24- and 32-bit "BM" pictures with the 54-byte header, pixel data
// from the header's pixel-data offset (right after the header in standard files). Up to
// 20 such pictures may follow one another (mip levels, frames), each after the previous
// one's pixels; all take the first one's bit depth. 16-bit pixels are X1R5G5B5; in
// 32-bit pixels the fourth byte is alpha. Rows come in file order, bottom row first.
class DecompressorBmp : public RowDecompressor {
public:
    static constexpr int32_t max_frames = 20;

    // Reads the headers now, the pixels on demand; data must outlive the decoder.
    DecompressorBmp(const uint8_t* data, size_t size);

    int32_t get_width(int32_t frame) const override;
    int32_t get_height(int32_t frame) const override;
    Format get_best_format() const override { return bits_ == 32 ? format_bgra : format_bgr; }
    int32_t get_frame_count() const override { return static_cast<int32_t>(frames_.size()); }

protected:
    void check_frame(int32_t frame) const override;
    const char* get_function_name() const override { return "vadu::pictureformat::DecompressorBmp::reset"; }
    void read_row(int32_t frame, int32_t row, uint8_t* pixels) const override;

private:
    struct Frame {
        size_t pixels;  // offset of the first stored row
        size_t stride;  // bytes per stored row, padded to 4
        int32_t width;
        int32_t height;
    };

    const uint8_t* data_;
    uint32_t bits_ = 0;
    std::vector<Frame> frames_;
};

} // namespace vadu::pictureformat
