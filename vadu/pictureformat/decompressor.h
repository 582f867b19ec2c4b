#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vadu/pictureformat/format.h"

namespace vadu::pictureformat {

// A decoded picture: one or more frames handed out row by row in a chosen format.
// Decoders read bytes that belong to the caller and must outlive them; a decoder that
// cannot read its bytes has no frames and has said why in the log.
class Decompressor {
public:
    Decompressor() = default;
    virtual ~Decompressor();
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    // 0 for a frame that does not exist.
    virtual int32_t get_width(int32_t frame) const = 0;
    virtual int32_t get_height(int32_t frame) const = 0;
    virtual Format get_best_format() const = 0;
    virtual int32_t get_frame_count() const = 0;
    // Selects the frame and the output format and rewinds to the frame's first row.
    // Throws vadu::Gluck for a frame the decoder does not have or a value that is not a
    // format. Until the first reset rows come from frame 0 as format_bgra.
    virtual void reset(Format format, int32_t frame) = 0;
    // Writes the next row (width x pixel size bytes) and advances. Past the last row
    // the row is written as zero bytes.
    virtual void unpack(uint8_t* destination) = 0;
    // Advances without writing; a count below 1 does nothing.
    virtual void skip(int32_t rows) = 0;
};

// What the loader hands out when no picture was found: no frames, 0 x 0.
class DecompressorEmpty : public Decompressor {
public:
    int32_t get_width(int32_t) const override { return 0; }
    int32_t get_height(int32_t) const override { return 0; }
    Format get_best_format() const override { return format_bgr; }
    int32_t get_frame_count() const override { return 0; }
    void reset(Format, int32_t) override {}
    void unpack(uint8_t*) override {}
    void skip(int32_t) override {}
};

// The row cursor shared by the decoders: each decoder only fills a format_bgra row
// at a time, which is then converted into the selected format.
class RowDecompressor : public Decompressor {
public:
    void reset(Format format, int32_t frame) override;
    void unpack(uint8_t* destination) override;
    void skip(int32_t rows) override;

protected:
    // Throws vadu::Gluck when the frame cannot be selected.
    virtual void check_frame(int32_t frame) const = 0;
    // The qualified name reported with a bad format.
    virtual const char* get_function_name() const = 0;
    // Writes row `row` in delivery order (0 = first handed out) of an existing frame,
    // as get_width(frame) format_bgra pixels.
    virtual void read_row(int32_t frame, int32_t row, uint8_t* pixels) const = 0;

private:
    Format format_ = format_bgra;
    int32_t frame_ = 0;
    int32_t row_ = 0;
    std::vector<uint8_t> scratch_;
};

// A decoder that decodes its single frame whole when built, into format_bgra pixels
// stored top row first.
class BufferDecompressor : public RowDecompressor {
public:
    int32_t get_width(int32_t frame) const override { return frame == 0 ? width_ : 0; }
    int32_t get_height(int32_t frame) const override { return frame == 0 ? height_ : 0; }
    Format get_best_format() const override { return best_format_; }
    int32_t get_frame_count() const override { return width_ > 0 ? 1 : 0; }

protected:
    // bottom_first: rows are handed out from the last stored row up.
    BufferDecompressor(Format best_format, bool bottom_first) : best_format_(best_format), bottom_first_(bottom_first) {}

    // Throws "Frame is out of range" for any frame but 0.
    void check_frame(int32_t frame) const override;
    void read_row(int32_t frame, int32_t row, uint8_t* pixels) const override;

    // Sizes the buffer (opaque black); false, with a log line, when the size is refused.
    bool allocate(uint32_t width, uint32_t height, const char* decoder);
    // Back to no frames.
    void clear();
    uint8_t* row_pointer(uint32_t row) { return pixels_.data() + static_cast<size_t>(row) * width_ * 4; }

    Format best_format_;

private:
    bool bottom_first_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    std::vector<uint8_t> pixels_;
};

} // namespace vadu::pictureformat
