// Text drawing benchmark. Lays out, measures and draws a 1,000-character English
// paragraph (DejaVu Sans, width 600, glyphs already cached) into an ARGB buffer through
// the text library, and renders each of its glyphs from scratch with FreeType
// (FT_Load_Char with FT_LOAD_NO_BITMAP, then FT_Render_Glyph; same face and size). Times
// are the best of many runs in thread processor time; the buffer is cleared before each
// run, outside the timing. The 20 px plain case is the one that counts (target ≥ 10×);
// the others are printed for information.
//
// It then prints figures without a target for a 7-digit score that changes every frame,
// drawn by a text node through a symbol atlas (quads rebuilt) and through TrueType
// (rasterised again into a texture), over a stand-in render device.
//
// Usage: text_bench [runs]      (default 200)

#include "../support/figures.h"

#include "text/Face.h"
#include "text/TextLibrary.h"
#include "text/TextSprite.h"
#include "vadu/animate/soul.h"
#include "vadu/filesystem.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/hard/render_fakes.h"
#include "vadu/lib3d/hard/render_list.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <time.h>
#include <vector>

namespace {

double Now()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <class Fn>
double Best(int runs, Fn&& fn)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, fn());
    return best;
}

std::u16string Paragraph()
{
    const std::string source =
        "When the first cannon fired, the monsters tumbled into the field and rolled toward the water. "
        "Linking three of the same colour made them vanish in a burst of light, and every chain filled the "
        "mana bar a little more. The fish waited below, hungry and patient, while clouds drifted over the "
        "hills. A careful player could plan several moves ahead, sending a lightning bolt along the links "
        "or dropping a bomb where the stones were thickest. Nobody said it would be easy: stones do not "
        "break, rocks only crack, and the tide rises when you least expect it. Still, with a little luck and "
        "quick fingers, the level ends in fireworks, the score counts up, and the next island appears on the "
        "map. Take a breath, look at the field again, and try to find the longest chain you can before the "
        "water reaches the top. Zen mode keeps the pressure away, so you may simply enjoy the colours, the "
        "music and the soft sounds of popping monsters for as long as you like, without any timer at all. "
        "Good luck and have fun!";
    std::u16string text(source.begin(), source.end());
    while (text.size() < 1000)
        text += text;
    text.resize(1000);
    return text;
}

struct Result {
    double ours;
    double freetype;
};

Result Measure(const std::vector<char>& file, const std::u16string& text, float size, int style, int runs)
{
    TrueText::TextLibrary::Creator library;
    auto face = TrueText::MakeFace("DejaVuSans", [&file] {
        return std::make_shared<TrueText::FreeTypeEngineStream>(file.data(), file.size());
    });
    TrueText::TextFont font(face);
    font.SetSize(size);
    if (style == 1)
        font.GetOutline().SetEnabled(true);
    if (style == 2)
        font.GetShadow().SetEnabled(true);
    TrueText::TextSprite sprite(font);
    sprite.SetMaxWidth(600);
    sprite.SetText(text);
    const TrueText::TextSpriteMetrics m = sprite.GetMetrics();
    std::vector<uint32_t> pixels(static_cast<size_t>(m.width) * m.height);
    const TrueText::PixelBuffer buffer{reinterpret_cast<uint8_t*>(pixels.data()), TrueText::kPixelFormatArgb,
                                       m.width * 4, m.width, m.height};
    sprite.Draw(buffer, 0, 0); // every glyph is cached from here on
    Result result{};
    result.ours = Best(runs, [&] {
        std::memset(pixels.data(), 0, pixels.size() * 4);
        const double start = Now();
        sprite.SetText(text);
        (void)sprite.GetMetrics();
        sprite.Draw(buffer, 0, 0);
        return Now() - start;
    });

    FT_Library library_ft;
    FT_Init_FreeType(&library_ft);
    FT_Face face_ft;
    FT_New_Memory_Face(library_ft, reinterpret_cast<const FT_Byte*>(file.data()), static_cast<FT_Long>(file.size()),
                       0, &face_ft);
    FT_Set_Char_Size(face_ft, 0, static_cast<FT_F26Dot6>(size * 64), 72, 72);
    unsigned long checksum = 0;
    result.freetype = Best(runs, [&] {
        const double start = Now();
        for (char16_t c : text) {
            if (FT_Load_Char(face_ft, c, FT_LOAD_NO_BITMAP) == 0 &&
                FT_Render_Glyph(face_ft->glyph, FT_RENDER_MODE_NORMAL) == 0)
                checksum += face_ft->glyph->bitmap.rows;
        }
        return Now() - start;
    });
    FT_Done_Face(face_ft);
    FT_Done_FreeType(library_ft);
    if (checksum == 0)
        std::printf("(FreeType rendered nothing)\n");
    return result;
}

namespace hard = vadu::lib3d::hard;

class ScoreBuffer : public render_fakes::FakeVertexBuffer {
public:
    using FakeVertexBuffer::FakeVertexBuffer;
    using FakeVertexBuffer::update;
    bool update(const hard::FloatArray& p, const hard::FloatArray&, const hard::FloatArray&,
                const hard::FloatArray& t) override
    {
        positions = p;
        texture_coordinates = t;
        return true;
    }
};

class ScoreTexture : public render_fakes::FakeTexture {
public:
    ScoreTexture(int width, int height) : width_(width), pixels_(size_t(width) * height * 4) {}
    void* lock(uint32_t, int32_t& pitch) override
    {
        pitch = width_ * 4;
        return pixels_.data();
    }

private:
    int width_;
    std::vector<uint8_t> pixels_;
};

class ScoreHardware : public render_fakes::FakeHardware {
public:
    std::unique_ptr<hard::Texture> create_texture(int, vadu::pictureformat::Format, int w, int h) override
    {
        return std::make_unique<ScoreTexture>(w, h);
    }
    std::unique_ptr<hard::VertexBuffer> create_vertex_buffer(bool dynamic) override
    {
        return std::make_unique<ScoreBuffer>(buffers, dynamic);
    }
};

// Serves the face and the two font documents from memory.
class ScoreFiles : public vadu::filesystem::FileSystem {
public:
    explicit ScoreFiles(const std::vector<char>& face) : face_(face.begin(), face.end()) {}
    std::unique_ptr<vadu::Stream> open(const vadu::filesystem::String& path) override
    {
        const std::string name(path.get_text().data(), path.get_text().size());
        std::string text;
        if (name == "sans.ttf")
            return std::make_unique<vadu::filesystem::MemoryStream>(face_);
        if (name == "score.font")
            text = "<TrueTypeFont Face=\"sans.ttf\" Size=\"28\" Color=\"1 1 1\" Outline=\"true\" "
                   "OutlineWidth=\"2\"/>";
        else if (name == "score.symdict")
            text = "<SymbolAtlas><Font Name=\"score.font\"/><Dictionary Value=\"0123456789,\"/></SymbolAtlas>";
        else
            return nullptr;
        return std::make_unique<vadu::filesystem::MemoryStream>(std::vector<uint8_t>(text.begin(), text.end()));
    }

private:
    std::vector<uint8_t> face_;
};

// Microseconds per frame of a score going up by 7 every frame.
double ScoreFrame(const char* font, int frames)
{
    vadu::lib3d::node::Text text(vadu::Atom("Score"), nullptr);
    text.set_font(font);
    ScoreHardware* hardware = static_cast<ScoreHardware*>(hard::Manager::get_hardwares().front());
    const double start = Now();
    for (int frame = 0; frame < frames; ++frame) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%07d", 1000000 + frame * 7);
        text.set_text(vadu::String(digits), false);
        hard::RenderList list;
        text.render_to_list(*hardware, list);
    }
    return (Now() - start) / frames * 1e6;
}

void ScoreFigures(const std::vector<char>& face, int runs)
{
    vadu::filesystem::Creator files([&face] { return std::make_unique<ScoreFiles>(face); });
    vadu::animate::Soul::Creator souls;
    TrueText::TextLibrary::Creator library;
    hard::Manager::Creator devices;
    ScoreHardware hardware;
    hard::Manager::add_hardware(&hardware);
    const int frames = std::max(10, runs * 5);
    std::printf("\n7-digit score changing every frame, DejaVu Sans 28 px outlined, %d frames (no target)\n", frames);
    std::printf("  symbol atlas: %8.2f us per frame\n", ScoreFrame("score.symdict", frames));
    std::printf("  TrueType:     %8.2f us per frame\n", ScoreFrame("score.font", frames));
    hard::Manager::notify_remove_hardware(&hardware);
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    std::ifstream in(DEJAVU_SANS, std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.empty()) {
        std::fprintf(stderr, "cannot read %s\n", DEJAVU_SANS);
        return 1;
    }
    const std::u16string text = Paragraph();
    const char* styles[] = {"plain", "outlined", "shadowed"};
    std::printf("1,000-character paragraph, DejaVu Sans, width 600: layout + metrics + drawing (glyphs cached)\n"
                "against FreeType loading and rendering every glyph from scratch; best of %d runs\n\n", runs);
    std::printf("%-6s %-9s %12s %14s %8s\n", "size", "style", "ours (ms)", "FreeType (ms)", "ratio");
    double counted = 0.0;
    for (float size : {20.0f, 12.0f, 32.0f}) {
        for (int style = 0; style < 3; ++style) {
            const Result r = Measure(file, text, size, style, runs);
            const double ratio = r.freetype / r.ours;
            std::printf("%-6.0f %-9s %12.3f %14.3f %7.1fx", size, styles[style], r.ours * 1e3, r.freetype * 1e3,
                        ratio);
            if (size == 20.0f && style == 0) {
                std::printf("   target >= 10x: %s", ratio >= 10.0 ? "met" : "MISSED");
                counted = ratio;
            }
            std::printf("\n");
        }
    }
    ScoreFigures(file, runs);
    std::printf("\n");
    bench_support::print_figure("text 20 px plain paragraph, FreeType from scratch / ours", counted, "x", ">= 10 x",
                                counted >= 10.0);
    return 0;
}
