#include "vadu/pictureformat/decompressor_png.h"

#include <csetjmp>
#include <cstring>

#include <png.h>

#include "vadu/pictureformat/decoding.h"

namespace vadu::pictureformat {

namespace {

constexpr const char* decoder_name = "PNG";

struct Source {
    const uint8_t* data;
    size_t size;
    size_t position;
};

void read_bytes(png_structp png, png_bytep target, size_t count)
{
    Source* source = static_cast<Source*>(png_get_io_ptr(png));
    if (count > source->size - source->position)
        png_error(png, "file ends too early");
    std::memcpy(target, source->data + source->position, count);
    source->position += count;
}

[[noreturn]] void on_error(png_structp png, png_const_charp message)
{
    detail::report(decoder_name, message);
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

} // namespace

DecompressorPng::DecompressorPng(const uint8_t* data, size_t size) : BufferDecompressor(format_bgr, true)
{
    if (!decode(data, size))
        clear();
}

bool DecompressorPng::decode(const uint8_t* data, size_t size)
{
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0) {
        detail::report_line("libpng error: specified file is not a PNG file.\n");
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
    if (!png) {
        detail::report_line("libpng error: unable to create PNG image reader.\n");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        detail::report_line("libpng error: unable to create image info object.\n");
        return false;
    }
    // Nothing with a destructor lives in this frame: a libpng error jumps back into it.
    Source source{data, size, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        detail::report_line("libpng error: unable to read PNG file.\n");
        return false;
    }
    png_set_read_fn(png, &source, read_bytes);
    png_set_user_limits(png, detail::max_side, detail::max_side);
    png_read_info(png, info);

    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int colour_type = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    const bool alpha = (colour_type & PNG_COLOR_MASK_ALPHA) != 0 || transparency;

    if (colour_type == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colour_type == PNG_COLOR_TYPE_GRAY && depth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (transparency)
        png_set_tRNS_to_alpha(png);
    if (depth == 16)
        png_set_strip_16(png);
    if ((colour_type & PNG_COLOR_MASK_COLOR) == 0)
        png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (!alpha)
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4) {
        png_destroy_read_struct(&png, &info, nullptr);
        detail::report(decoder_name, "unexpected row layout");
        return false;
    }
    if (!allocate(width, height, decoder_name)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y)
            png_read_row(png, row_pointer(y), nullptr);
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    best_format_ = alpha ? format_bgra : format_bgr;
    return true;
}

} // namespace vadu::pictureformat
