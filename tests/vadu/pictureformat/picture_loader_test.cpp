#include "vadu/pictureformat/picture_loader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "decoder_test_support.h"
#include "picture_samples.h"

namespace {

using namespace std::chrono_literals;
using namespace vadu::pictureformat;
using samples::Bytes;
using samples::Picture;

// What the fake file system serves, and the order it was asked in.
struct Disk {
    std::mutex mutex;
    std::map<std::string, Bytes> files;
    std::vector<std::string> opened;
    // A read of `held` waits until the test lets it go.
    std::string held;
    std::condition_variable changed;
    bool released = false;
};

Disk* disk = nullptr;

class HeldStream : public vadu::filesystem::MemoryStream {
public:
    using MemoryStream::MemoryStream;
    uint32_t read(void* buffer, uint32_t count) override
    {
        {
            std::unique_lock<std::mutex> lock(disk->mutex);
            disk->changed.wait_for(lock, 5s, [] { return disk->released; });
        }
        return MemoryStream::read(buffer, count);
    }
};

class FakeFileSystem : public vadu::filesystem::FileSystem {
public:
    std::unique_ptr<vadu::Stream> open(const vadu::filesystem::String& path) override
    {
        const std::string name(path.get_text().data(), path.size());
        std::lock_guard<std::mutex> lock(disk->mutex);
        disk->opened.push_back(name);
        auto found = disk->files.find(name);
        if (found == disk->files.end())
            return nullptr;
        if (name == disk->held)
            return std::make_unique<HeldStream>(found->second);
        return std::make_unique<vadu::filesystem::MemoryStream>(found->second);
    }
};

// The background loader over the fake disk, with the log it needs.
struct Engine : vadu::resource::ActiveMultithreaded::Creator {
    Engine() : vadu::filesystem::Creator([] { return std::make_unique<FakeFileSystem>(); }) {}
};

class PictureLoaderTest : public ::testing::Test {
protected:
    PictureLoaderTest()
    {
        disk = &disk_;
        engine_ = std::make_unique<Engine>();
    }
    ~PictureLoaderTest() override
    {
        release();
        engine_.reset();
        disk = nullptr;
    }

    void put(const std::string& name, const Bytes& bytes) { disk_.files[name] = bytes; }

    void release()
    {
        std::lock_guard<std::mutex> lock(disk_.mutex);
        disk_.released = true;
        disk_.changed.notify_all();
    }

    std::unique_ptr<PictureLoader> load(const char* base = "pics/ball")
    {
        return std::make_unique<PictureLoader>(vadu::filesystem::String(base, true));
    }

    static bool decoded(PictureLoader& loader)
    {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!loader.decode()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }

    // Every row of a frame in a format.
    static Bytes rows(PictureLoader& loader, Format format, int32_t frame = 0)
    {
        loader.reset(format, frame);
        const size_t row = static_cast<size_t>(loader.get_width(frame)) * get_pixel_size(format);
        Bytes out(row * static_cast<size_t>(loader.get_height(frame)));
        for (int32_t y = 0; y < loader.get_height(frame); ++y)
            loader.unpack(out.data() + row * static_cast<size_t>(y));
        return out;
    }

    Disk disk_;
    std::unique_ptr<Engine> engine_;
};

TEST_F(PictureLoaderTest, ReadsTheNineVariantsInOrder)
{
    auto loader = load();
    ASSERT_TRUE(decoded(*loader));
    std::lock_guard<std::mutex> lock(disk_.mutex);
    EXPECT_EQ(disk_.opened, (std::vector<std::string>{"pics/ball.bmp", "pics/ball_a.bmp", "pics/ball.ppm",
                                                      "pics/ball_a.ppm", "pics/ball.jpg", "pics/ball.gif",
                                                      "pics/ball_a.gif", "pics/ball.png", "pics/ball.pvr"}));
}

TEST_F(PictureLoaderTest, ColourPictureIsTheFirstVariantFound)
{
    // Each variant holds a picture of its own width.
    const std::map<std::string, std::pair<Bytes, int>> variants = {
        {".bmp", {samples::bmp(samples::pattern(1, 2, 0), 24), 1}},
        {".ppm", {samples::ppm(samples::pattern(2, 2, 0)), 2}},
        {".jpg", {samples::jpeg(samples::pattern(3, 2, 0), 90), 3}},
        {".gif", {samples::gif(samples::few_colours(5, 2, 3, 0)), 5}},
        {".png", {samples::png(samples::pattern(6, 2, 0), samples::PngKind::rgb8), 6}},
        {".pvr", {samples::pvr(8, 4, 25, std::vector<samples::PvrBlock>(4), 2, 2), 8}},
        {"_a.bmp", {samples::bmp(samples::pattern(7, 2, 0), 24), 7}},
    };
    struct Case {
        std::set<std::string> present;
        int width;  // 0: no picture
    };
    const Case cases[] = {
        {{".bmp", ".ppm", ".jpg", ".gif", ".png", ".pvr"}, 1},
        {{".png", ".bmp"}, 1},
        {{".ppm", ".jpg", ".gif", ".png", ".pvr"}, 2},
        {{".pvr", ".gif", ".jpg"}, 3},
        {{".gif", ".png"}, 5},
        {{".pvr", ".png"}, 6},
        {{".pvr"}, 8},
        {{"_a.bmp"}, 0},
        {{}, 0},
    };
    for (const Case& c : cases) {
        std::string names;
        for (const std::string& suffix : c.present)
            names += suffix + " ";
        SCOPED_TRACE(names);
        disk_.files.clear();
        for (const std::string& suffix : c.present)
            put("pics/ball" + suffix, variants.at(suffix).first);
        auto loader = load();
        ASSERT_TRUE(decoded(*loader));
        EXPECT_EQ(loader->get_width(), c.width);
        EXPECT_EQ(loader->get_height(), c.width ? (c.width == 8 ? 4 : 2) : 0);
        EXPECT_EQ(loader->get_frame_count(), c.width ? 1 : 0);
        EXPECT_EQ(loader->has_frames(), c.width != 0);
    }
}

TEST_F(PictureLoaderTest, NothingFoundGivesAnEmptyPicture)
{
    auto loader = load();
    EXPECT_EQ(loader->get_width(), 0) << "before decoding";
    loader->reset(format_bgra, 0);
    ASSERT_TRUE(decoded(*loader));
    EXPECT_TRUE(loader->decode());
    EXPECT_EQ(loader->get_width(), 0);
    EXPECT_EQ(loader->get_height(), 0);
    EXPECT_EQ(loader->get_frame_count(), 0);
    EXPECT_FALSE(loader->has_frames());
    EXPECT_EQ(loader->get_best_format(), format_bgr);
    Bytes guard(4, 0xEE);
    loader->reset(format_bgra, 0);
    loader->unpack(guard.data());
    EXPECT_EQ(guard, Bytes(4, 0xEE));
}

// The colour picture with its alpha taken from the first byte of the alpha picture's pixels.
Picture merged(const Picture& colour, const Picture& alpha)
{
    Picture out = colour;
    for (size_t i = 0; i < out.bgra.size(); i += 4)
        out.bgra[i + 3] = alpha.bgra[i];
    return out;
}

TEST_F(PictureLoaderTest, MergesTheAlphaPicture)
{
    const Picture colour = samples::pattern(5, 3, 1);
    const Picture alpha = samples::grey(5, 3, 2);
    const Picture other_alpha = samples::grey(5, 3, 3);
    const Picture gif_alpha = samples::few_colours(5, 3, 4, 1);
    struct Case {
        const char* name;
        std::map<std::string, Bytes> files;
        Picture expected;
    };
    const Case cases[] = {
        {"bmp with _a.bmp",
         {{".bmp", samples::bmp(colour, 24)}, {"_a.bmp", samples::bmp(alpha, 24)}, {"_a.ppm", samples::ppm(other_alpha)}},
         merged(colour, alpha)},
        {"png with _a.ppm", {{".png", samples::png(colour, samples::PngKind::rgb8)}, {"_a.ppm", samples::ppm(alpha)},
                             {"_a.gif", samples::gif(gif_alpha)}},
         merged(colour, alpha)},
        // A colour picture's own alpha is replaced too.
        {"png with alpha and _a.gif",
         {{".png", samples::png(samples::pattern(5, 3, 1, true), samples::PngKind::rgba8)},
          {"_a.gif", samples::gif(gif_alpha)}},
         merged(colour, gif_alpha)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        disk_.files.clear();
        for (const auto& [suffix, bytes] : c.files)
            put("pics/ball" + suffix, bytes);
        auto loader = load();
        ASSERT_TRUE(decoded(*loader));
        EXPECT_TRUE(loader->has_alpha_picture());
        EXPECT_EQ(loader->get_best_format(), format_bgra);
        for (int32_t f = 0; f < format_count; ++f) {
            const Format format = static_cast<Format>(f);
            EXPECT_EQ(rows(*loader, format), samples::expected_rows(c.expected, true, format)) << "format " << f;
        }
    }
}

TEST_F(PictureLoaderTest, MergesEveryFrame)
{
    const Picture colours[] = {samples::pattern(4, 4, 1), samples::pattern(2, 2, 2)};
    const Picture alphas[] = {samples::grey(4, 4, 3), samples::grey(2, 2, 4)};
    Bytes colour_file = samples::bmp(colours[0], 24);
    Bytes alpha_file = samples::bmp(alphas[0], 32);
    for (const Bytes& more : {samples::bmp(colours[1], 24)})
        colour_file.insert(colour_file.end(), more.begin(), more.end());
    for (const Bytes& more : {samples::bmp(alphas[1], 32)})
        alpha_file.insert(alpha_file.end(), more.begin(), more.end());
    put("pics/ball.bmp", colour_file);
    put("pics/ball_a.bmp", alpha_file);
    auto loader = load();
    ASSERT_TRUE(decoded(*loader));
    ASSERT_EQ(loader->get_frame_count(), 2);
    EXPECT_EQ(rows(*loader, format_rgba, 1), samples::expected_rows(merged(colours[1], alphas[1]), true, format_rgba));
    EXPECT_EQ(rows(*loader, format_bgra, 0), samples::expected_rows(merged(colours[0], alphas[0]), true, format_bgra));
}

TEST_F(PictureLoaderTest, IgnoresAnAlphaPictureThatDoesNotMatch)
{
    const Picture colour = samples::pattern(4, 3, 1);
    Bytes two_frames = samples::bmp(samples::grey(4, 3, 0), 24);
    const Bytes second = samples::bmp(samples::grey(2, 1, 0), 24);
    two_frames.insert(two_frames.end(), second.begin(), second.end());
    struct Case {
        const char* name;
        Bytes alpha;
    };
    const Case cases[] = {
        {"wider", samples::bmp(samples::grey(5, 3, 0), 24)},
        {"lower", samples::ppm(samples::grey(4, 2, 0))},
        {"more frames", two_frames},
        {"unreadable", {'B', 'M', 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        samples::LogCapture log;
        disk_.files.clear();
        put("pics/ball.png", samples::png(colour, samples::PngKind::rgb8));
        put(std::string("pics/ball") + (c.alpha[0] == 'P' ? "_a.ppm" : "_a.bmp"), c.alpha);
        auto loader = load();
        ASSERT_TRUE(decoded(*loader));
        EXPECT_FALSE(loader->has_alpha_picture());
        EXPECT_EQ(loader->get_best_format(), format_bgr);
        EXPECT_EQ(rows(*loader, format_bgra), samples::expected_rows(colour, true, format_bgra));
        EXPECT_NE(log.text().find("alpha picture ignored"), std::string::npos) << log.text();
    }
}

TEST_F(PictureLoaderTest, UnreadableColourPictureIsLoggedWithItsPath)
{
    samples::LogCapture log;
    Bytes cut = samples::bmp(samples::pattern(4, 4, 0), 24);
    cut.resize(cut.size() - 5);
    put("pics/ball.bmp", cut);
    put("pics/ball.png", samples::png(samples::pattern(4, 4, 0), samples::PngKind::rgb8));
    auto loader = load();
    ASSERT_TRUE(decoded(*loader));
    EXPECT_EQ(loader->get_frame_count(), 0) << "the first variant found is the picture, readable or not";
    EXPECT_NE(log.text().find("PictureLoader: pics/ball.bmp: the picture could not be read"), std::string::npos)
        << log.text();
}

// An empty file is named as empty, not reported as missing; a picture with no file at all
// is the one reported as missing.
TEST_F(PictureLoaderTest, AnEmptyPictureIsNamedAsEmptyNotMissing)
{
    samples::LogCapture log;
    put("pics/ball.png", Bytes());
    auto loader = load();
    ASSERT_TRUE(decoded(*loader));
    EXPECT_EQ(loader->get_frame_count(), 0);
    EXPECT_NE(log.text().find("PictureLoader: pics/ball.png: the file is empty"), std::string::npos) << log.text();
    EXPECT_EQ(log.text().find("no picture file is there"), std::string::npos) << log.text();
}

TEST_F(PictureLoaderTest, DecodeWaitsForEveryLoad)
{
    put("pics/ball.pvr", samples::pvr(8, 4, 25, std::vector<samples::PvrBlock>(4), 2, 2));
    put("pics/ball.gif", samples::gif(samples::few_colours(3, 3, 2, 0)));
    disk_.held = "pics/ball.pvr";
    auto loader = load();
    // The loads before the held one finish; the last one does not.
    for (int i = 0; i < 20; ++i) {
        EXPECT_FALSE(loader->decode());
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(loader->get_width(), 0);
    release();
    ASSERT_TRUE(decoded(*loader));
    EXPECT_EQ(loader->get_width(), 3) << "the gif comes before the pvr";
}

} // namespace
