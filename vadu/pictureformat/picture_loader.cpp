#include "vadu/pictureformat/picture_loader.h"

#include "vadu/exception.h"
#include "vadu/log.h"
#include "vadu/pictureformat/decompressor_bmp.h"
#include "vadu/pictureformat/decompressor_gif.h"
#include "vadu/pictureformat/decompressor_jpeg.h"
#include "vadu/pictureformat/decompressor_png.h"
#include "vadu/pictureformat/decompressor_ppm.h"
#include "vadu/pictureformat/decompressor_pvr.h"

namespace vadu::pictureformat {

namespace {

enum Variant : size_t { bmp, alpha_bmp, ppm, alpha_ppm, jpg, gif, alpha_gif, png, pvr };

constexpr Variant colour_variants[] = {bmp, ppm, jpg, gif, png, pvr};
constexpr Variant alpha_variants[] = {alpha_bmp, alpha_ppm, alpha_gif};

std::unique_ptr<Decompressor> create_decompressor(size_t variant, const uint8_t* data, size_t size)
{
    switch (variant) {
    case bmp:
    case alpha_bmp:
        return std::make_unique<DecompressorBmp>(data, size);
    case ppm:
    case alpha_ppm:
        return std::make_unique<DecompressorPPM>(data, size);
    case jpg:
        return std::make_unique<DecompressorJpeg>(data, size);
    case gif:
    case alpha_gif:
        return std::make_unique<DecompressorGif>(data, size);
    case png:
        return std::make_unique<DecompressorPng>(data, size);
    case pvr:
        return std::make_unique<DecompressorPvr>(data, size);
    }
    return std::make_unique<DecompressorEmpty>();
}

void report(const filesystem::String& path, const char* text)
{
    try {
        logs::Stream& log = logs::log();
        threads::ScopedLock lock(log);
        log << "PictureLoader: " << path.get_text() << ": " << text << "\n";
    } catch (const Gluck&) {
    }
}

bool same_shape(const Decompressor& colour, const Decompressor& alpha)
{
    const int32_t frames = colour.get_frame_count();
    if (frames == 0 || alpha.get_frame_count() != frames)
        return false;
    for (int32_t i = 0; i < frames; ++i) {
        if (colour.get_width(i) != alpha.get_width(i) || colour.get_height(i) != alpha.get_height(i))
            return false;
    }
    return true;
}

} // namespace

const std::array<const char*, PictureLoader::variant_count> PictureLoader::suffixes = {
    ".bmp", "_a.bmp", ".ppm", "_a.ppm", ".jpg", ".gif", "_a.gif", ".png", ".pvr"};

PictureLoader::PictureLoader(const filesystem::String& base) : base_(base)
{
    for (size_t i = 0; i < variant_count; ++i)
        loads_[i] = std::make_unique<resource::ActiveMultithreaded>(base_ + suffixes[i]);
}

PictureLoader::~PictureLoader()
{
    // Decoders first: they point into the loads.
    alpha_.reset();
    colour_.reset();
}

bool PictureLoader::decode()
{
    if (colour_)
        return true;
    for (const auto& load : loads_) {
        if (!load->is_loaded())
            return false;
    }
    for (Variant variant : colour_variants) {
        resource::ActiveMultithreaded& load = *loads_[variant];
        if (load.get_size() > 0) {
            colour_ = create_decompressor(variant, load.get_data(), load.get_size());
            if (colour_->get_frame_count() == 0)
                report(load.get_path(), "the picture could not be read");
            break;
        }
    }
    if (!colour_) {
        // Otherwise the only trace of a missing picture is the texture's "not valid". A file
        // that is there but empty is named as such: it is not missing.
        const resource::ActiveMultithreaded* empty = nullptr;
        for (Variant variant : colour_variants) {
            if (loads_[variant]->is_good()) {
                empty = loads_[variant].get();
                break;
            }
        }
        if (empty)
            report(empty->get_path(), "the file is empty");
        else if (!base_.empty())
            report(base_, "no picture file is there (.bmp, .ppm, .jpg, .gif, .png or .pvr)");
        colour_ = std::make_unique<DecompressorEmpty>();
    }
    for (Variant variant : alpha_variants) {
        resource::ActiveMultithreaded& load = *loads_[variant];
        if (load.get_size() > 0 && colour_->get_frame_count() > 0) {
            alpha_ = create_decompressor(variant, load.get_data(), load.get_size());
            if (same_shape(*colour_, *alpha_)) {
                reset(format_bgra, 0);
            } else {
                report(load.get_path(), "alpha picture ignored: its frames do not match the colour picture");
                alpha_.reset();
            }
            break;
        }
    }
    return true;
}

int32_t PictureLoader::get_width(int32_t frame) const
{
    return colour_ ? colour_->get_width(frame) : 0;
}

int32_t PictureLoader::get_height(int32_t frame) const
{
    return colour_ ? colour_->get_height(frame) : 0;
}

int32_t PictureLoader::get_frame_count() const
{
    return colour_ ? colour_->get_frame_count() : 0;
}

Format PictureLoader::get_best_format() const
{
    if (alpha_)
        return format_bgra;
    return colour_ ? colour_->get_best_format() : format_bgr;
}

void PictureLoader::reset(Format format, int32_t frame)
{
    if (!colour_)
        return;
    if (!alpha_) {
        colour_->reset(format, frame);
        return;
    }
    if (get_pixel_size(format) == 0)
        throw Gluck("vadu::pictureformat::PictureLoader::reset", "Unknown picture format");
    colour_->reset(format_bgra, frame);
    alpha_->reset(format_bgr, frame);
    format_ = format;
    frame_ = frame;
}

void PictureLoader::unpack(uint8_t* destination)
{
    if (!colour_)
        return;
    if (!alpha_) {
        colour_->unpack(destination);
        return;
    }
    const int32_t width = colour_->get_width(frame_);
    if (width <= 0)
        return;
    const size_t count = static_cast<size_t>(width);
    colour_row_.resize(count * 4);
    alpha_row_.resize(count * 3);
    colour_->unpack(colour_row_.data());
    alpha_->unpack(alpha_row_.data());
    for (size_t i = 0; i < count; ++i)
        colour_row_[i * 4 + 3] = alpha_row_[i * 3];
    convert_row(format_, colour_row_.data(), destination, static_cast<uint32_t>(count));
}

} // namespace vadu::pictureformat
