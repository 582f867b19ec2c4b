// Draws the game's pictures into a data folder, so that the repository holds these
// programs instead of binary pictures.
//
//   make_pictures <data folder>
//
// Each set (a .cpp file beside this one) lists its pictures. The output depends on nothing
// but these files: every run writes the same bytes. The folder's ".pictures" lists what was
// written, so the data assembly keeps those files.

#include "canvas.h"

#include <png.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

namespace pictures {

std::vector<Picture>& all_pictures()
{
    static std::vector<Picture> list;
    return list;
}

} // namespace pictures

namespace {

namespace fs = std::filesystem;
using namespace pictures;

// Each pixel averages 4 × 4 samples (premultiplied), which smooths the shapes' edges.
bool write_picture(const fs::path& path, uint32_t width, uint32_t height, const Shader& shader)
{
    constexpr int samples = 4;
    std::vector<uint8_t> rgba(size_t{width} * height * 4);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const Colour c = shader(static_cast<float>(x) + (sx + 0.5f) / samples,
                                            static_cast<float>(y) + (sy + 0.5f) / samples);
                    r += c.r * c.a;
                    g += c.g * c.a;
                    b += c.b * c.a;
                    a += c.a;
                }
            }
            uint8_t* out = &rgba[(size_t{y} * width + x) * 4];
            auto byte = [](float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
            if (a > 0.0f) {
                out[0] = byte(r / a);
                out[1] = byte(g / a);
                out[2] = byte(b / a);
            }
            out[3] = byte(a / (samples * samples));
        }
    }

    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr)) {
        std::fprintf(stderr, "make_pictures: cannot write %s: %s\n", path.c_str(), image.message);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pictures <data folder>\n");
        return 2;
    }
    const fs::path data(argv[1]);
    const std::vector<Picture>& list = all_pictures();
    std::set<std::string> seen;
    for (const Picture& picture : list) {
        if (!seen.insert(picture.path).second) {
            std::fprintf(stderr, "make_pictures: %s is listed twice\n", picture.path.c_str());
            return 2;
        }
    }
    // Pictures are independent: draw them on every core.
    std::atomic<size_t> next{0};
    std::atomic<bool> ok{true};
    auto work = [&] {
        for (size_t i = next++; i < list.size(); i = next++) {
            if (!write_picture(data / list[i].path, list[i].width, list[i].height, list[i].shader))
                ok = false;
        }
    };
    std::vector<std::thread> workers;
    const unsigned count = std::max(1u, std::min(16u, std::thread::hardware_concurrency()));
    for (unsigned i = 0; i < count; ++i)
        workers.emplace_back(work);
    for (std::thread& worker : workers)
        worker.join();
    std::ofstream manifest(data / ".pictures", std::ios::trunc);
    for (const Picture& picture : list)
        manifest << picture.path << '\n';
    return ok && manifest.good() ? 0 : 1;
}
