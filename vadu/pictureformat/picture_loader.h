#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "vadu/path.h"
#include "vadu/pictureformat/decompressor.h"
#include "vadu/pictureformat/format.h"
#include "vadu/resource_loader.h"

namespace vadu::pictureformat {

// A picture named without its extension. It reads every variant of the name in the
// background, picks the colour picture by extension (".bmp", ".ppm", ".jpg", ".gif",
// ".png", ".pvr", the first one found) and an alpha picture ("_a.bmp", "_a.ppm",
// "_a.gif") whose alpha replaces the colour picture's when frames and sizes match.
// Main thread only; needs the background loader (vadu::resource::ActiveMultithreaded).
class PictureLoader {
public:
    static constexpr size_t variant_count = 9;
    // The file name endings, in the order the loads are queued.
    static const std::array<const char*, variant_count> suffixes;

    // Queues the nine loads; throws vadu::Gluck when no background loader exists.
    explicit PictureLoader(const filesystem::String& base);
    ~PictureLoader();
    PictureLoader(const PictureLoader&) = delete;
    PictureLoader& operator=(const PictureLoader&) = delete;

    // False while a load is still running; then chooses the decoders and answers true
    // from then on. Poll it once per frame. A picture that was found but cannot be
    // read is logged and has no frames.
    bool decode();

    // Those of the colour picture; 0 before decode() has answered true and when
    // nothing was found.
    int32_t get_width(int32_t frame = 0) const;
    int32_t get_height(int32_t frame = 0) const;
    int32_t get_frame_count() const;
    bool has_frames() const { return get_frame_count() > 0; }
    // format_bgra when an alpha picture is merged, else the colour picture's.
    Format get_best_format() const;
    bool has_alpha_picture() const { return alpha_ != nullptr; }

    // Selects frame and format and rewinds (see Decompressor::reset, whose errors it
    // passes on). Does nothing before decode() has answered true.
    void reset(Format format, int32_t frame);
    // Writes the next row (width x pixel size bytes) of the selected frame, bottom row
    // first except for PVR pictures.
    void unpack(uint8_t* destination);

private:
    filesystem::String base_;
    // The decoders read the loads' bytes, so they are declared (and destroyed) after them.
    std::array<std::unique_ptr<resource::ActiveMultithreaded>, variant_count> loads_;
    std::unique_ptr<Decompressor> colour_;
    std::unique_ptr<Decompressor> alpha_;
    Format format_ = format_bgra;
    int32_t frame_ = 0;
    std::vector<uint8_t> colour_row_;
    std::vector<uint8_t> alpha_row_;
};

} // namespace vadu::pictureformat
