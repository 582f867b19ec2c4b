#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vadu/pictureformat/decompressor.h"

namespace vadu::pictureformat {

// Binary "P6" pictures: width, height and maximum value (1 to 255) separated by
// whitespace or "#" comments, one whitespace byte, then R, G, B bytes top row first.
// Up to 20 pictures may follow one another. Values are scaled to 0-255 when the
// maximum is lower. Rows are handed out from the last stored row up.
class DecompressorPPM : public RowDecompressor {
public:
    static constexpr int32_t max_frames = 20;

    // Reads the headers now, the pixels on demand; data must outlive the decoder.
    DecompressorPPM(const uint8_t* data, size_t size);

    int32_t get_width(int32_t frame) const override;
    int32_t get_height(int32_t frame) const override;
    Format get_best_format() const override { return format_bgr; }
    int32_t get_frame_count() const override { return static_cast<int32_t>(frames_.size()); }

protected:
    void check_frame(int32_t frame) const override;
    const char* get_function_name() const override { return "vadu::pictureformat::DecompressorPPM::reset"; }
    void read_row(int32_t frame, int32_t row, uint8_t* pixels) const override;

private:
    struct Frame {
        size_t pixels;  // offset of the first stored (top) row
        int32_t width;
        int32_t height;
        uint32_t max_value;
    };

    const uint8_t* data_;
    std::vector<Frame> frames_;
};

} // namespace vadu::pictureformat
