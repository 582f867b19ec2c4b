#pragma once

// What the texture, atlas and sequence tests share: pictures written through libpng into
// a temporary folder that the engine's file system serves, the background loader, a
// captured log, and a render device whose textures keep their pixels in memory.

#include <gtest/gtest.h>
#include <png.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "vadu/animate/soul.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/hard/hardware.h"
#include "vadu/lib3d/hard/resources.h"
#include "vadu/log.h"
#include "vadu/pictureformat/format.h"
#include "vadu/resource_loader.h"
#include "vadu/time.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace texture_test {

using namespace std::chrono_literals;
namespace hard = vadu::lib3d::hard;
using vadu::pictureformat::Format;

inline std::string to_std(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

// RGBA pixels, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;

    Picture(int w, int h) : width(w), height(h), rgba(static_cast<size_t>(w) * h * 4, 255) {}
    uint8_t* at(int x, int y) { return rgba.data() + (static_cast<size_t>(y) * width + x) * 4; }
    const uint8_t* at(int x, int y) const { return rgba.data() + (static_cast<size_t>(y) * width + x) * 4; }
};

// Every pixel different: red from x, green from y, blue and alpha fixed per picture.
inline Picture gradient(int width, int height, uint8_t blue = 7, uint8_t alpha = 200)
{
    Picture picture(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = picture.at(x, y);
            p[0] = static_cast<uint8_t>(10 + x * 9);
            p[1] = static_cast<uint8_t>(20 + y * 11);
            p[2] = blue;
            p[3] = alpha;
        }
    }
    return picture;
}

// Writes a PNG with (RGBA) or without (RGB) an alpha channel.
inline void write_png(const std::filesystem::path& path, const Picture& picture, bool with_alpha)
{
    std::filesystem::create_directories(path.parent_path());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<uint8_t> rows;
    const int channels = with_alpha ? 4 : 3;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x)
            rows.insert(rows.end(), picture.at(x, y), picture.at(x, y) + channels);
    }
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
                     with_alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < picture.height; ++y)
            png_write_row(png, rows.data() + static_cast<size_t>(y) * picture.width * channels);
        png_write_end(png, nullptr);
    } else {
        ADD_FAILURE() << "libpng could not write " << path;
    }
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

inline void write_text(const std::filesystem::path& path, const std::string& text)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A texture that keeps every level in memory. Rows are a little wider than the level so
// that writers must step by the pitch.
class MemoryTexture : public hard::Texture {
public:
    MemoryTexture(int levels, Format format, int width, int height)
        : levels(levels), format(format), width(width), height(height)
    {
        for (int level = 0; level < levels; ++level) {
            const int w = std::max(1, width >> level);
            const int h = std::max(1, height >> level);
            pitches.push_back(static_cast<int32_t>(w * vadu::pictureformat::get_pixel_size(format) + 8));
            memory.emplace_back(static_cast<size_t>(pitches.back()) * h, 0xEE);
        }
    }

    bool is_operational() const override { return operational; }
    bool set(uint32_t) override { return true; }
    void* lock(uint32_t level, int32_t& pitch) override
    {
        if (level >= memory.size())
            return nullptr;
        ++locks;
        pitch = pitches[level];
        return memory[level].data();
    }
    void unlock(uint32_t) override { operational = true; }
    void set_point_sampling(bool) override {}
    void set_wrap(bool on) override { wrap = on; }
    Format get_format() const override { return format; }
    uint32_t get_width() const override { return static_cast<uint32_t>(width); }
    uint32_t get_height() const override { return static_cast<uint32_t>(height); }

    // The bytes of pixel (x, row) of a level, rows in the order they were stored.
    const uint8_t* pixel(int level, int x, int row) const
    {
        return memory[level].data() + static_cast<size_t>(row) * pitches[level] +
               static_cast<size_t>(x) * vadu::pictureformat::get_pixel_size(format);
    }

    int levels;
    Format format;
    int width;
    int height;
    bool operational = false;
    bool wrap = true;
    int locks = 0;
    std::vector<int32_t> pitches;
    std::vector<std::vector<uint8_t>> memory;
};

class MemoryCubeTexture : public hard::TextureCubic {
public:
    MemoryCubeTexture(int levels, Format format, int width, int height)
        : levels(levels), format(format), width(width), height(height)
    {
        pitch = static_cast<int32_t>(width * vadu::pictureformat::get_pixel_size(format));
        for (auto& face : faces)
            face.assign(static_cast<size_t>(pitch) * height, 0);
    }

    bool is_operational() const override { return operational; }
    bool set(uint32_t) override { return true; }
    void* lock(uint32_t level, uint32_t face, int32_t& out_pitch) override
    {
        if (level > 0 || face >= 6)
            return nullptr;
        out_pitch = pitch;
        return faces[face].data();
    }
    void unlock(uint32_t, uint32_t) override { operational = true; }
    Format get_format() const override { return format; }
    uint32_t get_width() const override { return static_cast<uint32_t>(width); }
    uint32_t get_height() const override { return static_cast<uint32_t>(height); }

    int levels;
    Format format;
    int width;
    int height;
    int32_t pitch;
    bool operational = false;
    std::vector<uint8_t> faces[6];
};

class MemoryRenderTarget : public hard::RenderTarget {
public:
    using RenderTarget::RenderTarget;
    int get_width() const override { return 16; }
    int get_height() const override { return 16; }
    bool start_scene(double, double, double, double) override { return true; }
    bool is_operational() const override { return true; }
    bool set(uint32_t) override { return true; }
};

struct TextureRequest {
    int levels;
    Format format;
    int width;
    int height;
};

// A hardware whose textures live in memory; it remembers every texture it made.
class MemoryHardware : public hard::Hardware {
public:
    int get_width() const override { return 640; }
    int get_height() const override { return 480; }
    bool start_scene(double, double, double, double) override { return true; }
    bool set_mode_internal(platform::WindowHandle, const Row&) override { return true; }
    vadu::String get_description() const override { return "Memory"; }
    vadu::String get_name() const override { return "Memory"; }
    void stop_mode() override {}
    bool is_operational() const override { return operational; }
    void render(hard::RenderList&, hard::RenderTargetBase&) override {}
    std::unique_ptr<hard::Texture> create_texture(int levels, Format format, int width, int height) override
    {
        requests.push_back({levels, format, width, height});
        auto texture = std::make_unique<MemoryTexture>(levels, store_as.value_or(format), width, height);
        textures.push_back(texture.get());
        return texture;
    }
    std::unique_ptr<hard::TextureCubic> create_texture_cubic(int levels, Format format, int width,
                                                             int height) override
    {
        auto texture = std::make_unique<MemoryCubeTexture>(levels, store_as.value_or(format), width, height);
        cube_textures.push_back(texture.get());
        return texture;
    }
    std::unique_ptr<hard::VertexBuffer> create_vertex_buffer(bool) override { return nullptr; }
    std::unique_ptr<hard::IndexBuffer> create_index_buffer() override { return nullptr; }
    std::unique_ptr<hard::PointBuffer> create_point_buffer() override { return nullptr; }
    std::unique_ptr<hard::RenderTarget> create_render_target(const vadu::Atom&, int, int) override
    {
        return nullptr;
    }
    hard::RenderTarget* find_render_target(const vadu::Atom& name) override
    {
        for (auto& target : targets) {
            if (target->get_name_atom() == name)
                return target.get();
        }
        return nullptr;
    }
    bool start_frame() override { return true; }
    void finish_frame() override {}

    bool operational = true;
    // When set, textures keep their pixels in this format whatever was asked for, as a
    // device without the requested layout does.
    std::optional<Format> store_as;
    std::vector<TextureRequest> requests;
    // Made so far; each belongs to the rep that asked for it.
    std::vector<MemoryTexture*> textures;
    std::vector<MemoryCubeTexture*> cube_textures;
    std::vector<std::unique_ptr<MemoryRenderTarget>> targets;
};

// The engine services behind the textures, serving a temporary folder.
struct Engine : vadu::resource::ActiveMultithreaded::Creator, vadu::animate::Soul::Creator {
    explicit Engine(const std::string& folder)
        : vadu::filesystem::Creator([folder] {
              return std::make_unique<vadu::filesystem::PathFileSystem>(
                  vadu::filesystem::String((folder + "/").c_str(), false),
                  std::make_unique<vadu::filesystem::NativeFileSystem>());
          })
    {
    }
};

// Runs the passes until `done`; false after a few seconds.
inline bool pump_until(const std::function<void()>& passes, const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    for (;;) {
        passes();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
}

// A temporary folder with the engine over it, a captured log and one memory hardware.
class TextureFixture : public ::testing::Test {
protected:
    TextureFixture()
    {
        engine_ = std::make_unique<Engine>(folder_.string());
        // The engine installs a log of its own; the capture replaces it.
        log_.emplace();
        manager_ = std::make_unique<hard::Manager::Creator>();
        hard::Manager::add_hardware(&hardware);
    }

    ~TextureFixture() override
    {
        if (manager_) {
            hard::Manager::notify_remove_hardware(&hardware);
            manager_.reset();
        }
        engine_.reset();
    }

    std::filesystem::path file(const std::string& name) const { return folder_ / name; }

    // Everything logged so far.
    std::string log_text() const { return log_->text(); }

    static size_t count_of(const std::string& text, const std::string& part)
    {
        size_t count = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++count;
        return count;
    }

    // Runs the pass with an ample budget until it reports nothing pending; false after
    // a few seconds.
    static bool pump(const std::function<int32_t(int64_t, double)>& pass)
    {
        int32_t pending = 0;
        return pump_until([&] { pending = pass(vadu::time::get_ticks(), 10.0); }, [&] { return pending == 0; });
    }

    test_support::TempFolder temp_{"quillo_textures"};
    std::filesystem::path folder_ = temp_.root();
    std::optional<test_support::LogCapture> log_;
    std::unique_ptr<Engine> engine_;
    std::unique_ptr<hard::Manager::Creator> manager_;
    MemoryHardware hardware;
};

} // namespace texture_test
