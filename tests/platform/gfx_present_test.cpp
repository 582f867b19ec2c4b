#include "platform/gfx/present.h"

#include "gfx_test_support.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace gfx_test;
namespace fs = std::filesystem;

using Rgba = std::array<uint8_t, 4>;

// Odd sizes, so that a row's pitch and its width differ for some formats.
constexpr uint32_t kWidth = 37;
constexpr uint32_t kHeight = 23;

// A back-buffer format, how a test pixel is stored in it and what it must read as.
struct FormatCase {
    const char* name;
    Format format;
    void (*store)(uint8_t* pixel, uint32_t x, uint32_t y, uint32_t seed);
    Rgba (*expected)(uint32_t x, uint32_t y, uint32_t seed);
};

const FormatCase kA8R8G8B8{
    "A8R8G8B8 is shown opaque, as a window shows it",
    Format::a8r8g8b8,
    [](uint8_t* p, uint32_t x, uint32_t y, uint32_t seed) {
        p[0] = static_cast<uint8_t>(x * 5);
        p[1] = static_cast<uint8_t>(y * 11);
        p[2] = static_cast<uint8_t>(seed * 40 + x);
        p[3] = static_cast<uint8_t>(x * 3 + y * 7);
    },
    [](uint32_t x, uint32_t y, uint32_t seed) {
        return Rgba{static_cast<uint8_t>(seed * 40 + x), static_cast<uint8_t>(y * 11), static_cast<uint8_t>(x * 5), 0xFF};
    },
};

const FormatCase kFormats[] = {
    kA8R8G8B8,
    {
        "X8R8G8B8 is opaque whatever its padding byte holds",
        Format::x8r8g8b8,
        [](uint8_t* p, uint32_t x, uint32_t y, uint32_t seed) {
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(y);
            p[2] = static_cast<uint8_t>(seed);
            p[3] = static_cast<uint8_t>(x + y);
        },
        [](uint32_t x, uint32_t y, uint32_t seed) {
            return Rgba{static_cast<uint8_t>(seed), static_cast<uint8_t>(y), static_cast<uint8_t>(x), 255};
        },
    },
    {
        "R5G6B5 widens full channels to 255",
        Format::r5g6b5,
        [](uint8_t* p, uint32_t x, uint32_t y, uint32_t seed) {
            const uint16_t word = static_cast<uint16_t>(((x & 1) ? 0xF800 : 0) | ((y & 1) ? 0x07E0 : 0)
                                                        | (((x + seed) & 1) ? 0x001F : 0));
            p[0] = static_cast<uint8_t>(word);
            p[1] = static_cast<uint8_t>(word >> 8);
        },
        [](uint32_t x, uint32_t y, uint32_t seed) {
            return Rgba{static_cast<uint8_t>((x & 1) ? 255 : 0), static_cast<uint8_t>((y & 1) ? 255 : 0),
                        static_cast<uint8_t>(((x + seed) & 1) ? 255 : 0), 255};
        },
    },
};

std::vector<uint8_t> expected_rgba(const FormatCase& format, uint32_t seed)
{
    std::vector<uint8_t> pixels;
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x)
            for (uint8_t channel : format.expected(x, y, seed))
                pixels.push_back(channel);
    return pixels;
}

std::vector<uint8_t> rgba_to_bgra(std::vector<uint8_t> pixels)
{
    for (size_t i = 0; i + 3 < pixels.size(); i += 4)
        std::swap(pixels[i], pixels[i + 2]);
    return pixels;
}

struct Png {
    uint32_t width = 0;
    uint32_t height = 0;
    bool rgba8 = false; // stored as 8-bit RGBA
    std::vector<uint8_t> rgba;
};

Png read_png(const fs::path& path)
{
    Png result;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        ADD_FAILURE() << path << ": " << image.message;
        return result;
    }
    result.rgba8 = image.format == PNG_FORMAT_RGBA;
    image.format = PNG_FORMAT_RGBA;
    result.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, result.rgba.data(), 0, nullptr)) {
        ADD_FAILURE() << path << ": " << image.message;
        return result;
    }
    result.width = image.width;
    result.height = image.height;
    return result;
}

std::vector<std::string> files_in(const fs::path& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.is_regular_file())
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string frame_name(uint32_t number)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05u.png", number);
    return name;
}

class PresentTest : public DeviceTest {
protected:
    void SetUp() override
    {
        ::unsetenv("QUILLO_SNAPSHOTS");
        ::unsetenv("QUILLO_SNAPSHOT_EVERY");
        reset_presentation();
        folder = fs::temp_directory_path() / ("quillo-present-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        DeviceTest::SetUp();
        // A 16-bit back buffer on the 32-bit desktop, as a real adapter allows.
        configuration().adapters[0].device_types.emplace_back(Format::x8r8g8b8, Format::r5g6b5);
        use_format(kA8R8G8B8);
    }

    void TearDown() override
    {
        DeviceTest::TearDown();
        ::unsetenv("QUILLO_SNAPSHOTS");
        ::unsetenv("QUILLO_SNAPSHOT_EVERY");
        reset_presentation();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    void use_format(const FormatCase& format)
    {
        current = &format;
        PresentParameters parameters = windowed_parameters(format.format);
        parameters.back_buffer_width = kWidth;
        parameters.back_buffer_height = kHeight;
        ASSERT_EQ(device->reset(&parameters), ok);
    }

    // Snapshots go to `directory`; counting starts again.
    void snapshot_to(const fs::path& directory, const char* every = nullptr)
    {
        ::setenv("QUILLO_SNAPSHOTS", directory.c_str(), 1);
        if (every)
            ::setenv("QUILLO_SNAPSHOT_EVERY", every, 1);
        else
            ::unsetenv("QUILLO_SNAPSHOT_EVERY");
        reset_presentation();
    }

    // Paints the back buffer with the current format's pattern for `seed` and presents.
    void present_frame(uint32_t seed)
    {
        Surface* back = device->back_buffer();
        const uint32_t bytes = bytes_per_pixel(back->format());
        for (uint32_t y = 0; y < back->height(); ++y)
            for (uint32_t x = 0; x < back->width(); ++x)
                current->store(back->pixels() + size_t{y} * back->pitch() + size_t{x} * bytes, x, y, seed);
        ASSERT_EQ(device->present(), ok);
    }

    void expect_snapshot(const fs::path& path, uint32_t seed)
    {
        SCOPED_TRACE(path.string());
        const Png png = read_png(path);
        EXPECT_EQ(png.width, kWidth);
        EXPECT_EQ(png.height, kHeight);
        EXPECT_TRUE(png.rgba8) << "8-bit RGBA file";
        EXPECT_TRUE(png.rgba == expected_rgba(*current, seed)) << "pixels of frame " << seed;
    }

    fs::path folder;
    const FormatCase* current = nullptr;
};

TEST_F(PresentTest, SnapshotsHoldEachFrameExactly)
{
    for (const FormatCase& format : kFormats) {
        SCOPED_TRACE(format.name);
        fs::remove_all(folder);
        ASSERT_NO_FATAL_FAILURE(use_format(format));
        snapshot_to(folder);
        present_frame(1);
        present_frame(2);
        EXPECT_EQ(files_in(folder), (std::vector<std::string>{"frame-00001.png", "frame-00002.png"}));
        expect_snapshot(folder / "frame-00001.png", 1);
        expect_snapshot(folder / "frame-00002.png", 2);

        const PresentedFrame& frame = last_presented_frame();
        EXPECT_EQ(frame.number, 2u);
        EXPECT_EQ(frame.width, kWidth);
        EXPECT_EQ(frame.height, kHeight);
        EXPECT_TRUE(frame.pixels == rgba_to_bgra(expected_rgba(format, 2))) << "the last frame in memory, B,G,R,A";
    }
}

TEST_F(PresentTest, EveryNthFrameIsWrittenUnderItsNumber)
{
    struct Case {
        const char* every;
        std::vector<uint32_t> written;
        bool complains = false;
    };
    const std::vector<uint32_t> all = {1, 2, 3, 4, 5, 6, 7};
    const Case cases[] = {
        {nullptr, all},
        {"1", all},
        {"3", {3, 6}},
        {"7", {7}},
        {"8", {}},
        // Not a positive number: every frame, with a word on stderr.
        {"0", all, true},
        {"-2", all, true},
        {"3x", all, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.every ? c.every : "unset");
        fs::remove_all(folder);
        snapshot_to(folder, c.every);
        testing::internal::CaptureStderr();
        for (uint32_t seed = 1; seed <= 7; ++seed)
            present_frame(seed);
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(log.find("QUILLO_SNAPSHOT_EVERY") != std::string::npos, c.complains) << log;

        std::vector<std::string> expected;
        for (uint32_t number : c.written)
            expected.push_back(frame_name(number));
        EXPECT_EQ(files_in(folder), expected);
        for (uint32_t number : c.written)
            expect_snapshot(folder / frame_name(number), number);
    }
}

TEST_F(PresentTest, MissingFoldersAreCreated)
{
    const fs::path nested = folder / "shots" / "today";
    snapshot_to(nested);
    present_frame(1);
    EXPECT_EQ(files_in(nested), std::vector<std::string>{"frame-00001.png"});
    expect_snapshot(nested / "frame-00001.png", 1);
}

TEST_F(PresentTest, AnUnusableFolderIsReportedOnceAndTriedAgain)
{
    const fs::path blocker = folder / "blocker";
    std::ofstream(blocker) << "a file where a folder should be";
    const fs::path shots = blocker / "shots";
    snapshot_to(shots);

    testing::internal::CaptureStderr();
    for (uint32_t seed = 1; seed <= 3; ++seed)
        present_frame(seed); // present still succeeds
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("cannot write the snapshot frame-00001.png"), std::string::npos) << log;
    EXPECT_EQ(log.find("quillo:"), log.rfind("quillo:")) << "reported once: " << log;
    EXPECT_EQ(last_presented_frame().number, 3u) << "frames go on being kept";

    // Once the way is clear, the next frame lands.
    fs::remove(blocker);
    present_frame(4);
    EXPECT_EQ(files_in(shots), std::vector<std::string>{"frame-00004.png"});
    expect_snapshot(shots / "frame-00004.png", 4);
}

TEST_F(PresentTest, AFileThatCannotBeWrittenLeavesTheOthers)
{
    snapshot_to(folder);
    fs::create_directory(folder / "frame-00002.png");

    testing::internal::CaptureStderr();
    for (uint32_t seed = 1; seed <= 3; ++seed)
        present_frame(seed);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("cannot write the snapshot frame-00002.png"), std::string::npos) << log;
    EXPECT_EQ(files_in(folder), (std::vector<std::string>{"frame-00001.png", "frame-00003.png"}));
    EXPECT_TRUE(fs::is_directory(folder / "frame-00002.png")) << "what was in the way is left alone";
    expect_snapshot(folder / "frame-00003.png", 3);
}

TEST_F(PresentTest, AHandlerSetByTheCallerReplacesThePlatformsOwn)
{
    ASSERT_TRUE(platform::is_headless()) << "the tests run headless";
    snapshot_to(folder);
    int calls = 0;
    set_present_handler([&](Device&, const Surface&) {
        ++calls;
        return ok;
    });
    present_frame(1);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(last_presented_frame().number, 0u);
    EXPECT_TRUE(files_in(folder).empty());

    set_present_handler(nullptr);
    present_frame(2);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(last_presented_frame().number, 1u);
    EXPECT_EQ(files_in(folder), std::vector<std::string>{"frame-00001.png"});
    expect_snapshot(folder / "frame-00001.png", 2);
}

TEST_F(PresentTest, HeadlessFramesAreNeverHeldForADisplaysRefresh)
{
    ASSERT_TRUE(platform::is_headless()) << "the tests run headless";
    // The device asks for a present that waits for the refresh, as the engine's does.
    ASSERT_EQ(device->present_parameters().presentation_interval, present_interval::default_interval);
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t frame = 1; frame <= 60; ++frame)
        ASSERT_EQ(device->present(), ok);
    // Paced to 60 Hz these would take a second; unpaced, a few milliseconds.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(last_presented_frame().number, 60u);
}

} // namespace
