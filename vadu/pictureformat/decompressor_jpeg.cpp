#include "vadu/pictureformat/decompressor_jpeg.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

#include "vadu/pictureformat/decoding.h"

namespace vadu::pictureformat {

namespace {

constexpr const char* decoder_name = "JPEG";

// A progressive file may hold any number of scans, each one a pass over the whole
// picture; a few dozen is plenty for real pictures, thousands only stall the caller.
constexpr int max_scans = 500;

// libjpeg's fatal errors come back here instead of ending the program.
struct ErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

struct ProgressMonitor {
    jpeg_progress_mgr manager;
    ErrorManager* errors;
};

void report_message(j_common_ptr info)
{
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    detail::report(decoder_name, text);
}

[[noreturn]] void on_error(j_common_ptr info)
{
    report_message(info);
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Called between passes; refuses the picture once the scans exceed the cap.
void on_progress(j_common_ptr info)
{
    if (!info->is_decompressor)
        return;
    const auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number <= max_scans)
        return;
    char text[64];
    std::snprintf(text, sizeof text, "more than %d scans, picture refused", max_scans);
    detail::report(decoder_name, text);
    std::longjmp(reinterpret_cast<ProgressMonitor*>(info->progress)->errors->jump, 1);
}

void init_source(j_decompress_ptr) {}

// All bytes are handed over at once, so asking for more means the stream is cut short.
boolean fill_input_buffer(j_decompress_ptr info)
{
    ERREXIT(info, JERR_INPUT_EOF);
    return FALSE;
}

void skip_input_data(j_decompress_ptr info, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr* source = info->src;
    if (static_cast<unsigned long>(count) > source->bytes_in_buffer) {
        source->next_input_byte += source->bytes_in_buffer;
        source->bytes_in_buffer = 0;
        ERREXIT(info, JERR_INPUT_EOF);
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<size_t>(count);
}

void term_source(j_decompress_ptr) {}

} // namespace

DecompressorJpeg::DecompressorJpeg(const uint8_t* data, size_t size) : BufferDecompressor(format_bgr, true)
{
    if (!decode(data, size))
        clear();
}

bool DecompressorJpeg::decode(const uint8_t* data, size_t size)
{
    // Nothing with a destructor lives in this frame: a libjpeg error jumps back into it.
    jpeg_decompress_struct info;
    ErrorManager errors;
    jpeg_source_mgr source;
    ProgressMonitor progress;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = on_error;
    errors.manager.output_message = report_message;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    source.next_input_byte = data;
    source.bytes_in_buffer = size;
    source.init_source = init_source;
    source.fill_input_buffer = fill_input_buffer;
    source.skip_input_data = skip_input_data;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = term_source;
    info.src = &source;
    progress.manager.progress_monitor = on_progress;
    progress.errors = &errors;
    info.progress = &progress.manager;

    jpeg_read_header(&info, TRUE);
    info.out_color_space = info.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_RGB;
    if (!allocate(info.image_width, info.image_height, decoder_name)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_start_decompress(&info);
    const int components = info.output_components;
    if (info.output_width != info.image_width || info.output_height != info.image_height ||
        (components != 1 && components != 3)) {
        detail::report(decoder_name, "unexpected output layout");
        jpeg_destroy_decompress(&info);
        return false;
    }
    const uint32_t width = info.output_width;
    while (info.output_scanline < info.output_height) {
        // The scanline lands at the start of its row and is spread out in place, from
        // the last pixel back, into 4 bytes per pixel.
        uint8_t* row = row_pointer(info.output_scanline);
        JSAMPROW rows[1] = {row};
        if (jpeg_read_scanlines(&info, rows, 1) != 1) {
            detail::report(decoder_name, "no scanline");
            jpeg_destroy_decompress(&info);
            return false;
        }
        for (uint32_t i = width; i-- > 0;) {
            uint8_t r, g, b;
            if (components == 3) {
                r = row[i * 3];
                g = row[i * 3 + 1];
                b = row[i * 3 + 2];
            } else {
                r = g = b = row[i];
            }
            uint8_t* p = row + i * 4;
            p[0] = b;
            p[1] = g;
            p[2] = r;
            p[3] = 255;
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace vadu::pictureformat
