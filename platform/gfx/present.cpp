#include "platform/gfx/present.h"

#include "platform/gfx/raster.h"

#include "platform/clock.h"

#include "platform/window.h"

#include <png.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace platform::gfx {
namespace {

struct SnapshotSettings {
    std::string directory; // empty: no snapshots
    uint64_t every = 1;
};

struct HeadlessState {
    std::optional<SnapshotSettings> settings; // read at the first present
    PresentedFrame frame;
    uint64_t frames = 0;
    bool directory_ready = false;
    bool failure_logged = false;
};

HeadlessState& headless_state()
{
    static HeadlessState state;
    return state;
}

SnapshotSettings read_settings()
{
    SnapshotSettings settings;
    if (const char* directory = std::getenv("QUILLO_SNAPSHOTS"))
        settings.directory = directory;
    const char* every = std::getenv("QUILLO_SNAPSHOT_EVERY");
    if (!settings.directory.empty() && every && *every) {
        const char* end = every + std::strlen(every);
        uint64_t value = 0;
        const auto [stop, error] = std::from_chars(every, end, value);
        if (error == std::errc{} && stop == end && value > 0)
            settings.every = value;
        else
            std::fprintf(stderr,
                         "quillo: QUILLO_SNAPSHOT_EVERY=%s is not a positive whole number; every frame is written\n",
                         every);
    }
    return settings;
}

} // namespace

void read_back_buffer(const Surface& back_buffer, PresentedFrame& frame)
{
    const uint32_t width = back_buffer.width();
    const uint32_t height = back_buffer.height();
    frame.width = width;
    frame.height = height;
    frame.pixels.resize(size_t{width} * height * 4);
    const Format format = back_buffer.format();
    const uint32_t bytes = bytes_per_pixel(format);
    const uint8_t* pixels = back_buffer.pixels();
    uint32_t pitch = back_buffer.pitch();
    if (back_buffer.samples() > 1) {
        // The samples are averaged first, into the frame itself when it has the layout.
        const raster::ColorView from{const_cast<uint8_t*>(pixels), static_cast<int32_t>(pitch), width, height, format,
                                     back_buffer.samples()};
        raster::ColorView to{frame.pixels.data(), static_cast<int32_t>(width * 4), width, height, format};
        thread_local std::vector<uint8_t> resolved;
        if (bytes != 4) {
            resolved.resize(size_t{width} * height * bytes);
            to.pixels = resolved.data();
            to.pitch = static_cast<int32_t>(width * bytes);
        }
        raster::resolve(from, to);
        pixels = to.pixels;
        pitch = static_cast<uint32_t>(to.pitch);
    }
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* source = pixels + size_t{y} * pitch;
        uint8_t* target = frame.pixels.data() + size_t{y} * width * 4;
        if (format == Format::a8r8g8b8) {
            if (source != target)
                std::memcpy(target, source, size_t{width} * 4);
        } else if (format == Format::x8r8g8b8) {
            if (source != target)
                std::memcpy(target, source, size_t{width} * 4);
            for (uint32_t x = 0; x < width; ++x)
                target[x * 4 + 3] = 0xFF;
        } else {
            for (uint32_t x = 0; x < width; ++x) {
                const uint32_t argb = decode_color(format, source + size_t{x} * bytes);
                target[x * 4 + 0] = static_cast<uint8_t>(argb);
                target[x * 4 + 1] = static_cast<uint8_t>(argb >> 8);
                target[x * 4 + 2] = static_cast<uint8_t>(argb >> 16);
                target[x * 4 + 3] = static_cast<uint8_t>(argb >> 24);
            }
        }
    }
}

namespace {

void on_png_error(png_structp png, png_const_charp message)
{
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    *error = message ? message : "libpng error";
    png_longjmp(png, 1);
}

void on_png_warning(png_structp, png_const_charp) {}

// libpng reports errors by a long jump: nothing with a destructor may live in this
// frame. `rows` points at each row of the frame.
bool write_png_rows(FILE* file, uint32_t width, uint32_t height, png_bytepp rows, std::string* error)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, on_png_error, on_png_warning);
    if (!png) {
        *error = "out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        *error = "out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    // Snapshots may be written every frame: speed over size.
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // The rows hold B,G,R,A.
    png_set_bgr(png);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

void take_snapshot(HeadlessState& state)
{
    const SnapshotSettings& settings = *state.settings;
    if (settings.directory.empty() || state.frame.number % settings.every != 0)
        return;
    const std::filesystem::path directory = settings.directory;
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05llu.png", static_cast<unsigned long long>(state.frame.number));
    std::string error;
    if (!state.directory_ready) {
        std::error_code code;
        std::filesystem::create_directories(directory, code);
        if (code)
            error = code.message();
        else if (!std::filesystem::is_directory(directory, code))
            error = "not a folder";
        state.directory_ready = error.empty();
    }
    if (error.empty())
        error = write_snapshot(directory / name, state.frame);
    if (error.empty())
        return;
    // The folder may have gone away: make it again next time.
    state.directory_ready = false;
    if (!state.failure_logged) {
        state.failure_logged = true;
        std::fprintf(stderr, "quillo: cannot write the snapshot %s in \"%s\" (%s); later failures are not reported\n",
                     name, settings.directory.c_str(), error.c_str());
    }
}

} // namespace

const PresentedFrame& last_presented_frame()
{
    return headless_state().frame;
}

Result present_headless(Device&, const Surface& back_buffer)
{
    HeadlessState& state = headless_state();
    if (!state.settings)
        state.settings = read_settings();
    read_back_buffer(back_buffer, state.frame);
    // A window shows the back buffer opaque whatever its alpha holds; so do snapshots.
    for (size_t i = 3; i < state.frame.pixels.size(); i += 4)
        state.frame.pixels[i] = 0xFF;
    state.frame.number = ++state.frames;
    take_snapshot(state);
    // The frame is over: a clock in frame time moves on by one frame.
    platform::advance_fixed_step();
    return ok;
}

namespace {

PresentHandler& window_present()
{
    static PresentHandler handler;
    return handler;
}

} // namespace

void set_window_present(PresentHandler handler)
{
    window_present() = std::move(handler);
}

Result present_default(Device& device, const Surface& back_buffer)
{
    if (platform::is_headless())
        return present_headless(device, back_buffer);
    const PresentHandler& handler = window_present();
    return handler ? handler(device, back_buffer) : ok;
}

void reset_presentation()
{
    headless_state() = HeadlessState{};
}

std::string write_snapshot(const std::filesystem::path& path, const PresentedFrame& frame)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return std::strerror(errno);
    std::vector<png_bytep> rows(frame.height);
    for (uint32_t y = 0; y < frame.height; ++y)
        rows[y] = const_cast<png_bytep>(frame.pixels.data() + size_t{y} * frame.width * 4);
    std::string error;
    bool written = write_png_rows(file, frame.width, frame.height, rows.data(), &error);
    if (std::fclose(file) != 0 && written) {
        error = std::strerror(errno);
        written = false;
    }
    // No half-written file is left behind.
    if (!written) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    return written ? std::string{} : error;
}


bool read_snapshot(const std::filesystem::path& path, PresentedFrame& frame)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_BGRA;
    frame.width = image.width;
    frame.height = image.height;
    frame.pixels.assign(PNG_IMAGE_SIZE(image), 0);
    return png_image_finish_read(&image, nullptr, frame.pixels.data(), 0, nullptr) != 0;
}

} // namespace platform::gfx
