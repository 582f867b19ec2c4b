#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <zlib.h>

#include "decoder_test_support.h"
#include "picture_samples.h"
#include "vadu/pictureformat/decompressor_bmp.h"
#include "vadu/pictureformat/decompressor_gif.h"
#include "vadu/pictureformat/decompressor_jpeg.h"
#include "vadu/pictureformat/decompressor_png.h"
#include "vadu/pictureformat/decompressor_ppm.h"
#include "vadu/pictureformat/decompressor_pvr.h"

namespace {

using namespace vadu::pictureformat;
using samples::Bytes;
using samples::Picture;

enum class Kind { bmp, ppm, gif, jpeg, png, pvr };

const char* name_of(Kind kind)
{
    switch (kind) {
    case Kind::bmp: return "BMP";
    case Kind::ppm: return "PPM";
    case Kind::gif: return "GIF";
    case Kind::jpeg: return "JPEG";
    case Kind::png: return "PNG";
    case Kind::pvr: return "PVR";
    }
    return "";
}

std::unique_ptr<Decompressor> make(Kind kind, const Bytes& file)
{
    switch (kind) {
    case Kind::bmp: return std::make_unique<DecompressorBmp>(file.data(), file.size());
    case Kind::ppm: return std::make_unique<DecompressorPPM>(file.data(), file.size());
    case Kind::gif: return std::make_unique<DecompressorGif>(file.data(), file.size());
    case Kind::jpeg: return std::make_unique<DecompressorJpeg>(file.data(), file.size());
    case Kind::png: return std::make_unique<DecompressorPng>(file.data(), file.size());
    case Kind::pvr: return std::make_unique<DecompressorPvr>(file.data(), file.size());
    }
    return nullptr;
}

Bytes uniform_pvr(int width, int height, int type)
{
    const bool two = type == 24;
    const int columns = std::max(width / (two ? 8 : 4), 2);
    const int rows = std::max(height / 4, 2);
    // Colour A (20, 10, 6 of 4 bits) equals colour B (20, 10, 12): every pixel shows it.
    std::vector<samples::PvrBlock> grid(columns * rows, {0x1B1B1B1Bu, samples::pvr_opaque(20, 10, 6, 20, 10, 12)});
    return samples::pvr(width, height, type, grid, columns, rows);
}

Picture filled(int width, int height, uint8_t b, uint8_t g, uint8_t r, uint8_t a = 255)
{
    Picture p{width, height, Bytes(static_cast<size_t>(width) * height * 4)};
    for (size_t i = 0; i < p.bgra.size(); i += 4) {
        p.bgra[i] = b;
        p.bgra[i + 1] = g;
        p.bgra[i + 2] = r;
        p.bgra[i + 3] = a;
    }
    return p;
}

// Pseudo-random indices over all 256 colours: long enough to fill the code table
// several times.
Picture noise_256(int width, int height)
{
    Picture p{width, height, Bytes(static_cast<size_t>(width) * height * 4)};
    uint32_t state = 12345;
    for (size_t i = 0; i < p.bgra.size(); i += 4) {
        state = state * 1103515245u + 12345u;
        const uint32_t index = (state >> 16) & 255;
        // Components stay at or below 250, which the decoder would raise.
        p.bgra[i] = static_cast<uint8_t>(index * 3 % 251);
        p.bgra[i + 1] = static_cast<uint8_t>(index * 7 % 251);
        p.bgra[i + 2] = static_cast<uint8_t>(index % 200);
        p.bgra[i + 3] = 255;
    }
    return p;
}

struct ReferenceCase {
    std::string name;
    Kind kind;
    Bytes file;
    Picture reference;
    bool bottom_first;
    Format best;
};

std::vector<ReferenceCase> reference_cases()
{
    std::vector<ReferenceCase> cases;
    const Picture odd = samples::pattern(5, 3, 1);
    const Picture alpha = samples::pattern(4, 3, 2, true);
    cases.push_back({"bmp 24-bit, padded rows", Kind::bmp, samples::bmp(odd, 24), odd, true, format_bgr});
    cases.push_back({"bmp 32-bit with alpha", Kind::bmp, samples::bmp(alpha, 32), alpha, true, format_bgra});
    cases.push_back({"bmp 16-bit", Kind::bmp, samples::bmp16(odd), samples::widen5(odd), true, format_bgr});
    // Pixels after a gap (a colour table, padding) named by the header's data offset.
    cases.push_back({"bmp 24-bit, 3-byte gap", Kind::bmp, samples::bmp(odd, 24, 3), odd, true, format_bgr});
    cases.push_back({"bmp 32-bit, 1 KiB gap", Kind::bmp, samples::bmp(alpha, 32, 1024), alpha, true, format_bgra});
    Bytes inside_header = samples::bmp(odd, 24);
    inside_header[10] = 0;  // an offset inside the header: the pixels follow it
    cases.push_back({"bmp 24-bit, offset 0", Kind::bmp, inside_header, odd, true, format_bgr});
    const Picture ppm_picture = samples::pattern(3, 4, 3);
    cases.push_back({"ppm", Kind::ppm, samples::ppm(ppm_picture), ppm_picture, true, format_bgr});
    cases.push_back({"ppm with comments", Kind::ppm, samples::ppm(ppm_picture, 255, true), ppm_picture, true, format_bgr});
    const Picture palette = samples::few_colours(7, 5, 6, 0);
    cases.push_back({"gif with runs", Kind::gif, samples::gif(palette), palette, true, format_bgr});
    const Picture noise = noise_256(96, 80);
    cases.push_back({"gif, 256 colours, table refilled", Kind::gif, samples::gif(noise), noise, true, format_bgr});
    const Picture two = samples::few_colours(9, 4, 2, 1);
    cases.push_back({"gif, two colours", Kind::gif, samples::gif(two), two, true, format_bgr});

    const Picture colour = samples::pattern(6, 5, 4, true);
    const Picture small_palette = samples::few_colours(6, 5, 5, 2);
    struct PngKindCase {
        const char* name;
        samples::PngKind kind;
        const Picture& picture;
        bool interlaced;
        Format best;
    };
    const PngKindCase png_kinds[] = {
        {"png rgb", samples::PngKind::rgb8, colour, false, format_bgr},
        {"png rgba", samples::PngKind::rgba8, colour, false, format_bgra},
        {"png rgba interlaced", samples::PngKind::rgba8, colour, true, format_bgra},
        {"png grey", samples::PngKind::grey8, colour, false, format_bgr},
        {"png grey 1-bit", samples::PngKind::grey1, colour, false, format_bgr},
        {"png grey alpha", samples::PngKind::grey_alpha8, colour, false, format_bgra},
        {"png palette", samples::PngKind::palette, small_palette, false, format_bgr},
        {"png palette transparency", samples::PngKind::palette_trns, small_palette, false, format_bgra},
        {"png rgb 16-bit", samples::PngKind::rgb16, colour, false, format_bgr},
        {"png rgba 16-bit", samples::PngKind::rgba16, colour, false, format_bgra},
    };
    for (const PngKindCase& k : png_kinds) {
        cases.push_back({k.name, Kind::png, samples::png(k.picture, k.kind, k.interlaced),
                         samples::png_reference(k.picture, k.kind), true, k.best});
    }

    const Bytes jpeg_colour = samples::jpeg(samples::pattern(19, 11, 5), 90);
    cases.push_back({"jpeg colour", Kind::jpeg, jpeg_colour, samples::jpeg_reference(jpeg_colour), true, format_bgr});
    const Bytes jpeg_progressive = samples::jpeg(samples::pattern(21, 13, 7), 75, false, true);
    cases.push_back({"jpeg progressive", Kind::jpeg, jpeg_progressive, samples::jpeg_reference(jpeg_progressive),
                     true, format_bgr});
    const Bytes jpeg_grey = samples::jpeg(samples::pattern(8, 9, 6), 90, true);
    cases.push_back({"jpeg grey", Kind::jpeg, jpeg_grey, samples::jpeg_reference(jpeg_grey), true, format_bgr});

    // 20, 10, 12 widened from 5 bits: 165, 82, 99.
    cases.push_back({"pvr 4 bpp", Kind::pvr, uniform_pvr(8, 16, 25), filled(8, 16, 99, 82, 165), false, format_bgra});
    cases.push_back({"pvr 4 bpp, type 13", Kind::pvr, uniform_pvr(4, 4, 13), filled(4, 4, 99, 82, 165), false,
                     format_bgra});
    cases.push_back({"pvr 2 bpp", Kind::pvr, uniform_pvr(16, 8, 24), filled(16, 8, 99, 82, 165), false, format_bgra});
    return cases;
}

TEST(Decoders, EveryFormatShowsTheReferencePixels)
{
    for (const ReferenceCase& c : reference_cases()) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<Decompressor> decoder = make(c.kind, c.file);
        ASSERT_EQ(decoder->get_frame_count(), 1);
        ASSERT_EQ(decoder->get_width(0), c.reference.width);
        ASSERT_EQ(decoder->get_height(0), c.reference.height);
        EXPECT_EQ(decoder->get_best_format(), c.best);
        for (int32_t f = 0; f < format_count; ++f) {
            const Format format = static_cast<Format>(f);
            EXPECT_EQ(samples::unpack_all(*decoder, format), samples::expected_rows(c.reference, c.bottom_first, format))
                << "format " << f;
        }
    }
}

TEST(Decoders, JpegKeepsColoursCloseToTheSource)
{
    const Picture source = filled(16, 16, 40, 160, 220);
    const Bytes file = samples::jpeg(source, 95);
    DecompressorJpeg jpeg(file.data(), file.size());
    const Bytes rows = samples::unpack_all(jpeg, format_bgra);
    ASSERT_EQ(rows.size(), source.bgra.size());
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_NEAR(rows[i], source.bgra[i], 2) << "byte " << i;
}

TEST(Decoders, PpmScalesValuesBelowTheMaximumOf255)
{
    const Picture source = samples::pattern(4, 2, 7);
    const Bytes file = samples::ppm(source, 15);
    Picture reference = source;
    for (size_t i = 0; i < reference.bgra.size(); ++i) {
        if (i % 4 != 3)
            reference.bgra[i] = static_cast<uint8_t>((source.bgra[i] * 15 / 255 * 255 + 7) / 15);
    }
    DecompressorPPM decoder(file.data(), file.size());
    EXPECT_EQ(samples::unpack_all(decoder, format_bgra), samples::expected_rows(reference, true, format_bgra));
}

TEST(Decoders, GifRaisesComponentsAbove250To255)
{
    // Palette: (251, 250, 0) and (255, 1, 252); pixels 0 1 0 1 as one LZW stream.
    const std::vector<uint8_t> palette = {251, 250, 0, 255, 1, 252};
    const Bytes file = samples::gif_around(4, 1, palette, 2, samples::lzw({0, 1, 0, 1}, 2));
    DecompressorGif decoder(file.data(), file.size());
    const Bytes expected = {0, 250, 255, 255, 255, 1, 255, 255, 0, 250, 255, 255, 255, 1, 255, 255};
    EXPECT_EQ(samples::unpack_all(decoder, format_bgra), expected);
}

TEST(Decoders, GifDecodesAHandMadeLzwStream)
{
    // Codes clear, 1, 6 (the entry being defined), 6, end: five pixels of colour 1.
    // The third code makes entry 8 free, so the end code is 4 bits wide.
    const std::vector<uint8_t> palette = {0, 0, 0, 10, 20, 30, 0, 0, 0, 0, 0, 0};
    const Bytes file = samples::gif_around(5, 1, palette, 2, {0x8C, 0x5D});
    DecompressorGif decoder(file.data(), file.size());
    ASSERT_EQ(decoder.get_frame_count(), 1);
    Bytes expected;
    for (int i = 0; i < 5; ++i)
        expected.insert(expected.end(), {30, 20, 10, 255});
    EXPECT_EQ(samples::unpack_all(decoder, format_bgra), expected);
}

TEST(Decoders, GifPlacesItsImageOnTheLogicalScreen)
{
    // 11 rows: every interlace pass has rows.
    const Picture image = samples::few_colours(5, 11, 6, 3);
    struct Case {
        int screen_width;
        int screen_height;
        int left;
        int top;
        bool interlaced;
        bool cut;
    };
    const Case cases[] = {
        {5, 11, 0, 0, false, false},
        {5, 11, 0, 0, true, false},
        {9, 14, 3, 2, false, false},
        {9, 14, 4, 3, true, false},
        {4, 6, 0, 0, false, true},
        {7, 9, 3, 4, true, true},
        {4, 11, 4, 0, false, true},  // wholly beside the screen
        {5, 11, 0, 11, true, true},  // wholly below it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "screen " << c.screen_width << "x" << c.screen_height << ", image at "
                                        << c.left << "," << c.top << (c.interlaced ? ", interlaced" : ""));
        samples::LogCapture log;
        const Bytes file = samples::gif_placed(image, c.screen_width, c.screen_height, c.left, c.top, c.interlaced);
        DecompressorGif decoder(file.data(), file.size());
        ASSERT_EQ(decoder.get_width(0), c.screen_width);
        ASSERT_EQ(decoder.get_height(0), c.screen_height);
        // The image at its place; the rest of the screen stays opaque black.
        Picture expected = filled(c.screen_width, c.screen_height, 0, 0, 0);
        for (int y = 0; y < image.height && c.top + y < c.screen_height; ++y) {
            for (int x = 0; x < image.width && c.left + x < c.screen_width; ++x)
                std::copy_n(image.at(x, y), 4, expected.at(c.left + x, c.top + y));
        }
        EXPECT_EQ(samples::unpack_all(decoder, format_bgra), samples::expected_rows(expected, true, format_bgra));
        EXPECT_EQ(log.text().find("larger than its logical screen") != std::string::npos, c.cut);
    }
}

TEST(Decoders, GifStopsOnceTheScreenIsFull)
{
    // 400 million pixels in 160 KB for a 16-pixel screen: seconds of work when the
    // decoder expanded all of them (minutes for a larger file).
    const Bytes file = samples::gif_flood(4, 4, 100000);
    ASSERT_LT(file.size(), 160000u);
    const auto start = std::chrono::steady_clock::now();
    DecompressorGif decoder(file.data(), file.size());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 1.0);
    ASSERT_EQ(decoder.get_frame_count(), 1);
    EXPECT_EQ(samples::unpack_all(decoder, format_bgra), samples::expected_rows(filled(4, 4, 7, 8, 9), true, format_bgra));
}

TEST(Decoders, JpegRefusesMoreThan500Scans)
{
    const Bytes progressive = samples::jpeg(samples::pattern(24, 16, 8), 80, false, true);
    struct Case {
        int scans;
        bool decodes;
    };
    for (const Case& c : {Case{12, true}, Case{500, true}, Case{501, false}, Case{20000, false}}) {
        SCOPED_TRACE(testing::Message() << c.scans << " scans");
        samples::LogCapture log;
        const Bytes file = samples::jpeg_with_scans(progressive, c.scans);
        DecompressorJpeg decoder(file.data(), file.size());
        EXPECT_EQ(decoder.get_frame_count(), c.decodes ? 1 : 0);
        EXPECT_EQ(log.text().find("pictureformat: JPEG: more than 500 scans, picture refused") != std::string::npos,
                  !c.decodes)
            << log.text();
    }
}

TEST(Decoders, BmpReadsConcatenatedPicturesAsFrames)
{
    const Picture levels[] = {samples::pattern(4, 4, 1), samples::pattern(2, 2, 2), samples::pattern(1, 1, 3)};
    Bytes file;
    int gap = 0;
    for (const Picture& level : levels) {
        // Each picture's pixels come after its own gap; the next header follows them.
        const Bytes one = samples::bmp(level, 24, gap);
        file.insert(file.end(), one.begin(), one.end());
        gap += 5;
    }
    file.insert(file.end(), {'j', 'u', 'n', 'k'});
    DecompressorBmp decoder(file.data(), file.size());
    ASSERT_EQ(decoder.get_frame_count(), 3);
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(decoder.get_width(i), levels[i].width);
        EXPECT_EQ(decoder.get_height(i), levels[i].height);
        EXPECT_EQ(samples::unpack_all(decoder, format_rgb, i), samples::expected_rows(levels[i], true, format_rgb));
    }
    EXPECT_EQ(decoder.get_width(3), 0);
    EXPECT_EQ(decoder.get_height(-1), 0);
}

TEST(Decoders, BmpAndPpmKeepAtMostTwentyFrames)
{
    const Picture picture = samples::pattern(2, 1, 0);
    for (Kind kind : {Kind::bmp, Kind::ppm}) {
        SCOPED_TRACE(name_of(kind));
        const Bytes one = kind == Kind::bmp ? samples::bmp(picture, 24) : samples::ppm(picture);
        Bytes file;
        for (int i = 0; i < 21; ++i)
            file.insert(file.end(), one.begin(), one.end());
        EXPECT_EQ(make(kind, file)->get_frame_count(), 20);
    }
}

TEST(Decoders, FramesAfterTheFirstMustMatchItsDepthAndBeWhole)
{
    const Picture picture = samples::pattern(3, 2, 0);
    struct Case {
        const char* name;
        Kind kind;
        Bytes first;
        Bytes second;
        int32_t frames;
    };
    Bytes cut_ppm = samples::ppm(picture);
    cut_ppm.pop_back();
    const Case cases[] = {
        {"bmp 24 then 32", Kind::bmp, samples::bmp(picture, 24), samples::bmp(picture, 32), 1},
        {"bmp 32 then 32", Kind::bmp, samples::bmp(picture, 32), samples::bmp(picture, 32), 2},
        {"ppm then trailing text", Kind::ppm, samples::ppm(picture), {'\n', 'e', 'n', 'd'}, 1},
        {"ppm then a cut ppm", Kind::ppm, samples::ppm(picture), cut_ppm, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = c.first;
        file.insert(file.end(), c.second.begin(), c.second.end());
        EXPECT_EQ(make(c.kind, file)->get_frame_count(), c.frames);
    }
}

TEST(Decoders, RefuseFramesTheyDoNotHave)
{
    struct Case {
        Kind kind;
        Bytes file;
        int32_t frame;
        const char* function;
        const char* description;
    };
    const Picture picture = samples::pattern(4, 4, 0);
    const Case cases[] = {
        {Kind::bmp, samples::bmp(picture, 24), 1, "vadu::pictureformat::DecompressorBmp::reset", "frame does not exist"},
        {Kind::bmp, samples::bmp(picture, 24), -1, "vadu::pictureformat::DecompressorBmp::reset", "frame does not exist"},
        {Kind::ppm, samples::ppm(picture), 1, "vadu::pictureformat::DecompressorPPM::reset", "frame does not exist"},
        {Kind::gif, samples::gif(picture), 1, "vadu::pictureformat::DecompressorGif::reset", "Frame is out of range"},
        {Kind::jpeg, samples::jpeg(picture, 80), 1, "vadu::pictureformat::DecompressorJpeg::reset",
         "Frame is out of range"},
        {Kind::png, samples::png(picture, samples::PngKind::rgb8), 1, "vadu::pictureformat::DecompressorPng::reset",
         "Frame is out of range"},
        {Kind::pvr, uniform_pvr(8, 8, 25), 2, "vadu::pictureformat::DecompressorPvr::reset", "Frame is out of range"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << name_of(c.kind) << " frame " << c.frame);
        std::unique_ptr<Decompressor> decoder = make(c.kind, c.file);
        ASSERT_EQ(decoder->get_frame_count(), 1);
        try {
            decoder->reset(format_bgra, c.frame);
            ADD_FAILURE() << "no exception";
        } catch (const vadu::Gluck& error) {
            EXPECT_EQ(samples::text_of(error.get_function()), c.function);
            EXPECT_EQ(samples::text_of(error.get_description()), c.description);
        }
        try {
            decoder->reset(static_cast<Format>(9), 0);
            ADD_FAILURE() << "no exception for a bad format";
        } catch (const vadu::Gluck& error) {
            EXPECT_EQ(samples::text_of(error.get_description()), "Unknown picture format");
        }
    }
}

TEST(Decoders, RowCursorSkipsRewindsAndEndsInZeros)
{
    const Picture picture = samples::pattern(3, 4, 9);
    const Bytes file = samples::bmp(picture, 24);
    DecompressorBmp decoder(file.data(), file.size());
    const Bytes all = samples::expected_rows(picture, true, format_bgr);
    const size_t row = 9;
    auto next = [&] {
        Bytes out(row, 0xEE);
        decoder.unpack(out.data());
        return out;
    };
    auto stored = [&](size_t index) { return Bytes(all.begin() + index * row, all.begin() + (index + 1) * row); };

    decoder.reset(format_bgr, 0);
    EXPECT_EQ(next(), stored(0));
    decoder.skip(1);
    EXPECT_EQ(next(), stored(2));
    decoder.skip(0);
    decoder.skip(-3);
    EXPECT_EQ(next(), stored(3));
    EXPECT_EQ(next(), Bytes(row, 0)) << "past the last row";
    decoder.reset(format_bgr, 0);
    EXPECT_EQ(next(), stored(0)) << "reset rewinds";
    decoder.skip(1000);
    EXPECT_EQ(next(), Bytes(row, 0));
}

TEST(Decoders, RowsBeforeTheFirstResetAreFrameZeroInFormatZero)
{
    const Picture picture = samples::pattern(2, 2, 4, true);
    const Bytes file = samples::bmp(picture, 32);
    DecompressorBmp decoder(file.data(), file.size());
    Bytes out(8);
    decoder.unpack(out.data());
    const Bytes expected = samples::expected_rows(picture, true, format_bgra);
    EXPECT_EQ(out, Bytes(expected.begin(), expected.begin() + 8));
}

TEST(Decoders, EmptyDecoderHasNoPicture)
{
    DecompressorEmpty empty;
    EXPECT_EQ(empty.get_frame_count(), 0);
    EXPECT_EQ(empty.get_width(0), 0);
    EXPECT_EQ(empty.get_height(0), 0);
    EXPECT_EQ(empty.get_best_format(), format_bgr);
    Bytes guard(4, 0xEE);
    empty.reset(format_bgra, 0);
    empty.unpack(guard.data());
    empty.skip(3);
    EXPECT_EQ(guard, Bytes(4, 0xEE));
}

// --- Damaged files -------------------------------------------------------------------

Bytes cut(const Bytes& file, size_t size)
{
    return Bytes(file.begin(), file.begin() + static_cast<long>(std::min(size, file.size())));
}

Bytes patched(Bytes file, size_t offset, std::initializer_list<uint8_t> bytes)
{
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<long>(offset));
    return file;
}

size_t find(const Bytes& file, std::initializer_list<uint8_t> needle)
{
    auto found = std::search(file.begin(), file.end(), needle.begin(), needle.end());
    if (found == file.end())
        throw std::runtime_error("marker not found");
    return static_cast<size_t>(found - file.begin());
}

// Rewrites a PNG chunk's CRC after its data changed.
Bytes fix_png_crc(Bytes file, size_t chunk)
{
    const uint32_t length = (file[chunk] << 24) | (file[chunk + 1] << 16) | (file[chunk + 2] << 8) | file[chunk + 3];
    const uLong crc = crc32(0, file.data() + chunk + 4, length + 4);
    const size_t at = chunk + 8 + length;
    file[at] = static_cast<uint8_t>(crc >> 24);
    file[at + 1] = static_cast<uint8_t>(crc >> 16);
    file[at + 2] = static_cast<uint8_t>(crc >> 8);
    file[at + 3] = static_cast<uint8_t>(crc);
    return file;
}

struct DamageCase {
    std::string name;
    Kind kind;
    Bytes file;
    std::string log;  // expected in the log
};

std::vector<DamageCase> damage_cases()
{
    std::vector<DamageCase> cases;
    const Picture picture = samples::pattern(5, 3, 1);
    auto add_cuts = [&](Kind kind, const Bytes& file, std::initializer_list<size_t> sizes, const std::string& log) {
        for (size_t size : sizes)
            cases.push_back({"cut to " + std::to_string(size), kind, cut(file, size), log});
    };

    const Bytes bmp = samples::bmp(picture, 24);
    add_cuts(Kind::bmp, bmp, {0, 1, 2, 30, 53, 54, 60, bmp.size() - 1}, "pictureformat: BMP:");
    cases.push_back({"magic", Kind::bmp, patched(bmp, 0, {'B', 'N'}), "not a BMP"});
    cases.push_back({"small info header", Kind::bmp, patched(bmp, 14, {12}), "not a BMP"});
    cases.push_back({"8 bits", Kind::bmp, patched(bmp, 28, {8}), "16, 24 and 32"});
    cases.push_back({"1 bit", Kind::bmp, patched(bmp, 28, {1}), "16, 24 and 32"});
    cases.push_back({"run-length coded", Kind::bmp, patched(bmp, 30, {1}), "compressed"});
    cases.push_back({"bit fields", Kind::bmp, patched(bmp, 30, {3}), "compressed"});
    cases.push_back({"width 0", Kind::bmp, patched(bmp, 18, {0, 0, 0, 0}), "size refused"});
    cases.push_back({"top-down", Kind::bmp, patched(bmp, 22, {0xFD, 0xFF, 0xFF, 0xFF}), "size refused"});
    cases.push_back({"huge width", Kind::bmp, patched(bmp, 18, {0xFF, 0xFF, 0xFF, 0x7F}), "size refused"});
    cases.push_back({"height beyond the data", Kind::bmp, patched(bmp, 22, {0x00, 0x10}), "truncated"});
    cases.push_back({"data offset beyond the file", Kind::bmp, patched(bmp, 10, {0x00, 0x01}), "truncated"});
    cases.push_back({"data offset 4 GiB", Kind::bmp, patched(bmp, 10, {0xFF, 0xFF, 0xFF, 0xFF}), "truncated"});
    const Bytes bmp16 = samples::bmp16(picture);
    add_cuts(Kind::bmp, bmp16, {54, bmp16.size() - 2}, "truncated");

    const Bytes ppm = samples::ppm(picture, 255, true);
    add_cuts(Kind::ppm, ppm, {0, 1, 2, 5, 20, ppm.size() - 46, ppm.size() - 1}, "pictureformat: PPM:");
    const Bytes plain = samples::ppm(picture);  // "P6 5 3 255\n"
    cases.push_back({"ascii P3", Kind::ppm, patched(plain, 1, {'3'}), "not a binary PPM"});
    cases.push_back({"maximum 0", Kind::ppm, patched(plain, 7, {'0', '0', '0'}), "maximum value"});
    cases.push_back({"maximum 256", Kind::ppm, patched(plain, 7, {'2', '5', '6'}), "maximum value"});
    cases.push_back({"width 0", Kind::ppm, patched(plain, 3, {'0'}), "size refused"});
    cases.push_back({"letter for a number", Kind::ppm, patched(plain, 5, {'x'}), "damaged header"});
    cases.push_back({"no gap before the data", Kind::ppm, patched(plain, 10, {'7'}), "damaged header"});
    Bytes wide = samples::ppm(picture);
    wide.insert(wide.begin() + 3, {'9', '9', '9', '9', '9', '9', '9', '9'});
    cases.push_back({"width too large", Kind::ppm, wide, "size refused"});
    Bytes digits = samples::ppm(picture);
    digits.insert(digits.begin() + 3, {'0', '0', '0', '0', '0', '0', '0', '0', '0'});
    cases.push_back({"ten digits", Kind::ppm, digits, "damaged header"});

    const Bytes gif = samples::gif(samples::few_colours(12, 10, 7, 0));
    const size_t image = find(gif, {0x2C, 0, 0, 0, 0});
    add_cuts(Kind::gif, gif, {0, 5, 12, 20, image - 3, image + 5, image + 11, image + 14, image + 20},
             "pictureformat: GIF:");
    cases.push_back({"signature", Kind::gif, patched(gif, 3, {'8', '8'}), "not a GIF"});
    cases.push_back({"code size 0", Kind::gif, patched(gif, image + 10, {0}), "bad code size"});
    cases.push_back({"code size 9", Kind::gif, patched(gif, image + 10, {9}), "bad code size"});
    cases.push_back({"unknown block", Kind::gif, patched(gif, image, {0x77}), "no image"});
    cases.push_back({"trailer before the image", Kind::gif, patched(gif, image, {0x3B}), "no image"});
    cases.push_back({"screen 0 x 0", Kind::gif, patched(gif, 6, {0, 0, 0, 0}), "size refused"});
    cases.push_back({"screen 65535 x 65535", Kind::gif, patched(gif, 6, {0xFF, 0xFF, 0xFF, 0xFF}), "size refused"});
    cases.push_back({"image 0 wide", Kind::gif, patched(gif, image + 5, {0, 0}), "image size refused"});
    cases.push_back({"image 65535 x 65535", Kind::gif, patched(gif, image + 5, {0xFF, 0xFF, 0xFF, 0xFF}),
                     "image size refused"});
    const std::vector<uint8_t> palette = {0, 0, 0, 255, 255, 255};
    // clear, 1, then code 7 while 6 is the next free entry.
    cases.push_back({"code beyond the table", Kind::gif, samples::gif_around(5, 1, palette, 2, {0xCC, 0x01}),
                     "damaged image data"});
    // clear, then the table code 6 first.
    cases.push_back({"table code first", Kind::gif, samples::gif_around(5, 1, palette, 2, {0x34}), "damaged image data"});
    // clear, 1, end: one pixel for a 5-pixel screen, then the blocks end.
    cases.push_back({"no end code", Kind::gif, samples::gif_around(5, 1, palette, 2, {0x0C}), "truncated"});

    const Bytes jpeg = samples::jpeg(samples::pattern(16, 16, 2), 85);
    add_cuts(Kind::jpeg, jpeg, {0, 1, 2, 100, jpeg.size() / 2, jpeg.size() - 2, jpeg.size() - 1},
             "pictureformat: JPEG:");
    const size_t frame = find(jpeg, {0xFF, 0xC0});
    cases.push_back({"not a jpeg", Kind::jpeg, patched(jpeg, 0, {0x00, 0x00}), "pictureformat: JPEG:"});
    cases.push_back({"12-bit samples", Kind::jpeg, patched(jpeg, frame + 4, {12}), "pictureformat: JPEG:"});
    cases.push_back({"no components", Kind::jpeg, patched(jpeg, frame + 9, {0}), "pictureformat: JPEG:"});
    cases.push_back({"height 0", Kind::jpeg, patched(jpeg, frame + 5, {0, 0}), "pictureformat: JPEG:"});
    cases.push_back({"too large", Kind::jpeg, patched(jpeg, frame + 5, {0x70, 0x00, 0x70, 0x00}), "size refused"});
    const size_t huffman = find(jpeg, {0xFF, 0xC4});
    cases.push_back({"bad huffman table", Kind::jpeg, patched(jpeg, huffman + 5, {0xFF, 0xFF, 0xFF, 0xFF}),
                     "pictureformat: JPEG:"});

    const Bytes png = samples::png(samples::pattern(9, 7, 3, true), samples::PngKind::rgba8);
    add_cuts(Kind::png, png, {0, 4, 8, 20, 33, png.size() / 2, png.size() - 12, png.size() - 1}, "libpng error");
    cases.push_back({"signature", Kind::png, patched(png, 1, {'Q'}), "libpng error: specified file is not a PNG file."});
    cases.push_back({"header checksum", Kind::png, patched(png, 29, {0}), "libpng error: unable to read PNG file."});
    const size_t data = find(png, {'I', 'D', 'A', 'T'}) - 4;
    cases.push_back({"image data checksum", Kind::png, patched(png, data + 10, {0x55}),
                     "libpng error: unable to read PNG file."});
    cases.push_back({"image data", Kind::png, fix_png_crc(patched(png, data + 10, {0x55, 0x55, 0x55}), data),
                     "libpng error: unable to read PNG file."});
    cases.push_back({"too large", Kind::png, fix_png_crc(patched(png, 16, {0, 0, 0x40, 0, 0, 0, 0x40, 0}), 8),
                     "size refused"});
    cases.push_back({"bad depth", Kind::png, fix_png_crc(patched(png, 24, {3}), 8), "libpng error: unable to read"});

    const Bytes pvr = uniform_pvr(8, 8, 25);
    add_cuts(Kind::pvr, pvr, {0, 10, 51, 52, 60, pvr.size() - 1}, "pictureformat: PVR:");
    cases.push_back({"magic", Kind::pvr, patched(pvr, 47, {'?'}), "not a PVR"});
    cases.push_back({"type 12", Kind::pvr, patched(pvr, 16, {12}), "PVRTC 2 and 4"});
    cases.push_back({"type 0", Kind::pvr, patched(pvr, 16, {0}), "PVRTC 2 and 4"});
    cases.push_back({"width 12", Kind::pvr, patched(pvr, 8, {12}), "size refused"});
    cases.push_back({"width 0", Kind::pvr, patched(pvr, 8, {0}), "size refused"});
    cases.push_back({"4096 x 4096 claimed", Kind::pvr, patched(pvr, 4, {0, 0x10, 0, 0, 0, 0x10, 0, 0}), "truncated"});
    cases.push_back({"2 bpp needs twice the blocks", Kind::pvr, patched(uniform_pvr(16, 8, 24), 8, {32}), "truncated"});
    cases.push_back({"huge height", Kind::pvr, patched(pvr, 4, {0, 0, 0, 0x80}), "size refused"});
    return cases;
}

TEST(Decoders, DamagedFilesGiveNoPictureAndALogLine)
{
    for (const DamageCase& c : damage_cases()) {
        SCOPED_TRACE(std::string(name_of(c.kind)) + ": " + c.name);
        samples::LogCapture log;
        std::unique_ptr<Decompressor> decoder = make(c.kind, c.file);
        EXPECT_EQ(decoder->get_frame_count(), 0);
        EXPECT_EQ(decoder->get_width(0), 0);
        EXPECT_EQ(decoder->get_height(0), 0);
        EXPECT_NE(log.text().find(c.log), std::string::npos) << "log: " << log.text();
        Bytes guard(8, 0xEE);
        decoder->unpack(guard.data());
        EXPECT_EQ(guard, Bytes(8, 0xEE));
    }
}

TEST(Decoders, DecodeWithoutAnyLog)
{
    vadu::logs::set_log(nullptr);
    const Bytes bad = {'B', 'M', 1, 2, 3};
    for (Kind kind : {Kind::bmp, Kind::ppm, Kind::gif, Kind::jpeg, Kind::png, Kind::pvr})
        EXPECT_EQ(make(kind, bad)->get_frame_count(), 0) << name_of(kind);
}

} // namespace
