#include "picture_samples.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <utility>

#include <jpeglib.h>
#include <png.h>

namespace samples {

namespace {

void put16(Bytes& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void put32(Bytes& out, uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void put_text(Bytes& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

uint8_t widen(uint8_t value)
{
    const uint8_t top = value >> 3;
    return static_cast<uint8_t>((top << 3) | (top >> 2));
}

} // namespace

Picture pattern(int width, int height, int seed, bool with_alpha)
{
    Picture p{width, height, Bytes(static_cast<size_t>(width) * height * 4)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* px = p.at(x, y);
            px[0] = static_cast<uint8_t>(x * 41 + y * 7 + seed * 13 + 3);
            px[1] = static_cast<uint8_t>(x * 17 + y * 59 + seed * 5 + 100);
            px[2] = static_cast<uint8_t>(x * 3 + y * 29 + seed * 31 + 200);
            px[3] = with_alpha ? static_cast<uint8_t>(x * 23 + y * 67 + seed) : 255;
        }
    }
    return p;
}

Picture few_colours(int width, int height, int colours, int seed)
{
    Picture p{width, height, Bytes(static_cast<size_t>(width) * height * 4)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // Runs of equal pixels, so that LZW strings grow long.
            const int index = ((x / 3) + (y / 2) * 5 + seed) % colours;
            uint8_t* px = p.at(x, y);
            px[0] = static_cast<uint8_t>(index * 97 + 11);
            px[1] = static_cast<uint8_t>(index * 53 + 7);
            px[2] = static_cast<uint8_t>(index * 29 + 250 - seed);
            px[3] = 255;
        }
    }
    return p;
}

Picture grey(int width, int height, int seed)
{
    Picture p = pattern(width, height, seed);
    for (size_t i = 0; i < p.bgra.size(); i += 4)
        p.bgra[i] = p.bgra[i + 2] = p.bgra[i + 1];
    return p;
}

Bytes bottom_first(const Picture& picture)
{
    Bytes out;
    for (int y = picture.height - 1; y >= 0; --y)
        out.insert(out.end(), picture.at(0, y), picture.at(0, y) + picture.width * 4);
    return out;
}

Bytes top_first(const Picture& picture)
{
    return picture.bgra;
}

Bytes bmp(const Picture& picture, int bits, int gap)
{
    const int stride = (picture.width * bits / 8 + 3) & ~3;
    Bytes out;
    put_text(out, "BM");
    put32(out, 54 + gap + stride * picture.height);
    put32(out, 0);
    put32(out, 54 + gap);
    put32(out, 40);
    put32(out, picture.width);
    put32(out, picture.height);
    put16(out, 1);
    put16(out, bits);
    put32(out, 0);
    put32(out, stride * picture.height);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    out.insert(out.end(), static_cast<size_t>(gap), 0x5A);
    for (int y = picture.height - 1; y >= 0; --y) {
        size_t start = out.size();
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* px = picture.at(x, y);
            if (bits == 16) {
                put16(out, ((px[2] >> 3) << 10) | ((px[1] >> 3) << 5) | (px[0] >> 3));
            } else {
                out.insert(out.end(), px, px + bits / 8);
            }
        }
        out.resize(start + stride, 0);
    }
    return out;
}

Bytes bmp16(const Picture& picture)
{
    return bmp(picture, 16);
}

Picture widen5(const Picture& picture)
{
    Picture p = picture;
    for (size_t i = 0; i < p.bgra.size(); i += 4) {
        for (int c = 0; c < 3; ++c)
            p.bgra[i + c] = widen(p.bgra[i + c]);
        p.bgra[i + 3] = 255;
    }
    return p;
}

Bytes ppm(const Picture& picture, int max_value, bool comments)
{
    Bytes out;
    const std::string gap = comments ? " # a comment\n\t" : " ";
    put_text(out, "P6" + gap + std::to_string(picture.width) + gap + std::to_string(picture.height) + gap +
                      std::to_string(max_value) + "\n");
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* px = picture.at(x, y);
            for (int c = 2; c >= 0; --c)
                out.push_back(static_cast<uint8_t>(px[c] * max_value / 255));
        }
    }
    return out;
}

Bytes lzw(const std::vector<uint8_t>& indices, int minimum_code_size)
{
    // The classic encoder: the code width grows right after the code that makes the
    // next free entry exceed it; a full table is cleared.
    const int clear = 1 << minimum_code_size;
    const int end = clear + 1;
    Bytes out;
    uint32_t bits = 0;
    int count = 0;
    int width = minimum_code_size + 1;
    auto emit = [&](int code) {
        bits |= static_cast<uint32_t>(code) << count;
        count += width;
        while (count >= 8) {
            out.push_back(static_cast<uint8_t>(bits));
            bits >>= 8;
            count -= 8;
        }
    };
    std::map<std::pair<int, int>, int> table;
    int next = clear + 2;
    emit(clear);
    if (indices.empty()) {
        emit(end);
    } else {
        int current = indices[0];
        for (size_t i = 1; i < indices.size(); ++i) {
            const int c = indices[i];
            auto found = table.find({current, c});
            if (found != table.end()) {
                current = found->second;
                continue;
            }
            emit(current);
            if (next > (1 << width) - 1 && width < 12)
                ++width;
            if (next < 4096) {
                table[{current, c}] = next++;
            } else {
                emit(clear);
                table.clear();
                next = clear + 2;
                width = minimum_code_size + 1;
            }
            current = c;
        }
        emit(current);
        if (next > (1 << width) - 1 && width < 12)
            ++width;
        emit(end);
    }
    if (count > 0)
        out.push_back(static_cast<uint8_t>(bits));
    return out;
}

Bytes gif_file(const GifLayout& layout, const std::vector<uint8_t>& palette_rgb, int minimum_code_size,
               const Bytes& lzw_data)
{
    int table_bits = 1;
    while ((1u << table_bits) * 3 < palette_rgb.size())
        ++table_bits;
    Bytes out;
    put_text(out, "GIF89a");
    put16(out, layout.screen_width);
    put16(out, layout.screen_height);
    out.push_back(static_cast<uint8_t>(0x80 | 0x70 | (table_bits - 1)));
    out.push_back(0);
    out.push_back(0);
    Bytes palette = palette_rgb;
    palette.resize((size_t(1) << table_bits) * 3, 0);
    out.insert(out.end(), palette.begin(), palette.end());
    // A graphic control extension naming a transparent index (to be ignored).
    const uint8_t control[] = {0x21, 0xF9, 4, 0x01, 0, 0, 0, 0};
    out.insert(out.end(), std::begin(control), std::end(control));
    out.push_back(0x2C);
    put16(out, layout.left);
    put16(out, layout.top);
    put16(out, layout.image_width);
    put16(out, layout.image_height);
    out.push_back(layout.interlaced ? 0x40 : 0);
    out.push_back(static_cast<uint8_t>(minimum_code_size));
    for (size_t i = 0; i < lzw_data.size(); i += 255) {
        const size_t n = std::min<size_t>(255, lzw_data.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), lzw_data.begin() + static_cast<long>(i), lzw_data.begin() + static_cast<long>(i + n));
    }
    out.push_back(0);
    out.push_back(0x3B);
    return out;
}

Bytes gif_around(int width, int height, const std::vector<uint8_t>& palette_rgb, int minimum_code_size,
                 const Bytes& lzw_data)
{
    return gif_file(GifLayout{width, height, 0, 0, width, height, false}, palette_rgb, minimum_code_size, lzw_data);
}

Bytes gif(const Picture& picture, int logical_width, int logical_height)
{
    return gif_placed(picture, logical_width ? logical_width : picture.width,
                      logical_height ? logical_height : picture.height, 0, 0, false);
}

Bytes gif_placed(const Picture& picture, int screen_width, int screen_height, int left, int top, bool interlaced)
{
    std::vector<int> rows;
    if (interlaced) {
        for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
            for (int y = start; y < picture.height; y += step)
                rows.push_back(y);
    } else {
        for (int y = 0; y < picture.height; ++y)
            rows.push_back(y);
    }
    std::map<uint32_t, uint8_t> colours;
    std::vector<uint8_t> palette;
    std::vector<uint8_t> indices;
    for (int y : rows) {
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* px = picture.at(x, y);
            const uint32_t key = px[2] << 16 | px[1] << 8 | px[0];
            auto found = colours.find(key);
            if (found == colours.end()) {
                if (colours.size() == 256)
                    throw std::runtime_error("more than 256 colours");
                found = colours.emplace(key, static_cast<uint8_t>(colours.size())).first;
                palette.insert(palette.end(), {px[2], px[1], px[0]});
            }
            indices.push_back(found->second);
        }
    }
    int code_size = 2;
    while ((1u << code_size) < colours.size())
        ++code_size;
    const GifLayout layout{screen_width, screen_height, left, top, picture.width, picture.height, interlaced};
    return gif_file(layout, palette, code_size, lzw(indices, code_size));
}

namespace {

void png_write_bytes(png_structp png, png_bytep data, size_t size)
{
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

void png_flush(png_structp) {}

} // namespace

Picture png_reference(const Picture& picture, PngKind kind)
{
    Picture p = picture;
    for (size_t i = 0; i < p.bgra.size(); i += 4) {
        uint8_t* px = p.bgra.data() + i;
        switch (kind) {
        case PngKind::grey8:
            px[0] = px[2] = px[1];
            px[3] = 255;
            break;
        case PngKind::grey1:
            px[0] = px[1] = px[2] = px[1] >= 128 ? 255 : 0;
            px[3] = 255;
            break;
        case PngKind::grey_alpha8:
            px[0] = px[2] = px[1];
            break;
        case PngKind::rgb8:
        case PngKind::rgb16:
        case PngKind::palette:
            px[3] = 255;
            break;
        case PngKind::palette_trns:
            // The written palette gives every colour alpha 255 except a dark green's.
            px[3] = px[1] < 128 ? 255 : 60;
            break;
        default:
            break;
        }
    }
    return p;
}

Bytes png(const Picture& picture, PngKind kind, bool interlaced)
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    // No jump buffer: a libpng error while writing a sample aborts the test program.
    png_set_write_fn(png, &out, png_write_bytes, png_flush);
    int colour_type = PNG_COLOR_TYPE_RGB;
    int depth = 8;
    int channels = 3;
    switch (kind) {
    case PngKind::rgb8: break;
    case PngKind::rgba8: colour_type = PNG_COLOR_TYPE_RGB_ALPHA; channels = 4; break;
    case PngKind::grey8: colour_type = PNG_COLOR_TYPE_GRAY; channels = 1; break;
    case PngKind::grey1: colour_type = PNG_COLOR_TYPE_GRAY; depth = 1; channels = 1; break;
    case PngKind::grey_alpha8: colour_type = PNG_COLOR_TYPE_GRAY_ALPHA; channels = 2; break;
    case PngKind::palette:
    case PngKind::palette_trns: colour_type = PNG_COLOR_TYPE_PALETTE; channels = 1; break;
    case PngKind::rgb16: depth = 16; break;
    case PngKind::rgba16: colour_type = PNG_COLOR_TYPE_RGB_ALPHA; channels = 4; depth = 16; break;
    }
    png_set_IHDR(png, info, picture.width, picture.height, depth, colour_type,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);

    // Palette pictures: index of each distinct colour.
    std::map<uint32_t, uint8_t> colours;
    std::vector<png_color> palette;
    std::vector<png_byte> alphas;
    if (colour_type == PNG_COLOR_TYPE_PALETTE) {
        for (size_t i = 0; i < picture.bgra.size(); i += 4) {
            const uint8_t* px = picture.bgra.data() + i;
            const uint32_t key = px[2] << 16 | px[1] << 8 | px[0];
            if (colours.emplace(key, static_cast<uint8_t>(colours.size())).second) {
                palette.push_back(png_color{px[2], px[1], px[0]});
                alphas.push_back(px[1] < 128 ? 255 : 60);
            }
        }
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
        if (kind == PngKind::palette_trns)
            png_set_tRNS(png, info, alphas.data(), static_cast<int>(alphas.size()), nullptr);
    }
    png_write_info(png, info);
    if (depth < 8)
        png_set_packing(png);

    const size_t sample_bytes = depth / 8 ? depth / 8 : 1;
    std::vector<Bytes> rows(picture.height, Bytes(picture.width * channels * sample_bytes));
    std::vector<png_bytep> pointers;
    for (int y = 0; y < picture.height; ++y) {
        Bytes& row = rows[y];
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* px = picture.at(x, y);
            uint8_t samples[4];
            int n = 0;
            switch (kind) {
            case PngKind::grey8:
            case PngKind::grey1: samples[n++] = depth == 1 ? (px[1] >= 128 ? 1 : 0) : px[1]; break;
            case PngKind::grey_alpha8: samples[n++] = px[1]; samples[n++] = px[3]; break;
            case PngKind::palette:
            case PngKind::palette_trns: samples[n++] = colours[px[2] << 16 | px[1] << 8 | px[0]]; break;
            default:
                samples[n++] = px[2];
                samples[n++] = px[1];
                samples[n++] = px[0];
                if (channels == 4)
                    samples[n++] = px[3];
            }
            for (int i = 0; i < n; ++i) {
                if (depth == 16) {
                    // The low byte differs from the high one, so a decoder that kept it would show.
                    row[(x * channels + i) * 2] = samples[i];
                    row[(x * channels + i) * 2 + 1] = static_cast<uint8_t>(samples[i] ^ 0x5A);
                } else {
                    row[x * channels + i] = samples[i];
                }
            }
        }
        pointers.push_back(row.data());
    }
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes jpeg(const Picture& picture, int quality, bool grey, bool progressive)
{
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = picture.width;
    info.image_height = picture.height;
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    Bytes row(picture.width * 3);
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* px = picture.at(x, y);
            if (grey) {
                row[x] = px[1];
            } else {
                row[x * 3] = px[2];
                row[x * 3 + 1] = px[1];
                row[x * 3 + 2] = px[0];
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

Bytes jpeg_with_scans(const Bytes& progressive, int scans)
{
    // Walks the marker segments to the scans; each scan runs from its SOS marker to the
    // next marker that is not a stuffed byte or a restart.
    std::vector<size_t> starts;
    size_t end = 0;
    size_t i = 2;
    while (i + 2 <= progressive.size()) {
        if (progressive[i] != 0xFF)
            throw std::runtime_error("jpeg: marker expected");
        const uint8_t marker = progressive[i + 1];
        if (marker == 0xD9) {
            end = i;
            break;
        }
        if (i + 4 > progressive.size())
            break;
        const size_t length = static_cast<size_t>(progressive[i + 2]) << 8 | progressive[i + 3];
        if (marker != 0xDA) {
            i += 2 + length;
            continue;
        }
        starts.push_back(i);
        i += 2 + length;
        while (i + 1 < progressive.size() &&
               !(progressive[i] == 0xFF && progressive[i + 1] != 0 && (progressive[i + 1] & 0xF8) != 0xD0))
            ++i;
    }
    if (starts.empty() || end == 0 || scans < static_cast<int>(starts.size()))
        throw std::runtime_error("jpeg: not a progressive file with fewer scans");
    Bytes out(progressive.begin(), progressive.begin() + static_cast<long>(end));
    const Bytes last(progressive.begin() + static_cast<long>(starts.back()), progressive.begin() + static_cast<long>(end));
    for (int n = static_cast<int>(starts.size()); n < scans; ++n)
        out.insert(out.end(), last.begin(), last.end());
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

Bytes gif_flood(int screen_width, int screen_height, int repeats)
{
    // Code size 2: clear 4, end 5, entries from 6. Codes 0, 6, 7, ... 4095 each name the
    // entry being defined, one zero longer than the last; then the longest string again
    // and again. The code width follows the decoder's rule.
    Bytes out;
    uint32_t bits = 0;
    int count = 0;
    int width = 3;
    auto emit = [&](int code) {
        bits |= static_cast<uint32_t>(code) << count;
        count += width;
        while (count >= 8) {
            out.push_back(static_cast<uint8_t>(bits));
            bits >>= 8;
            count -= 8;
        }
    };
    emit(4);
    emit(0);
    int next = 6;
    while (next < 4096) {
        emit(next);
        ++next;
        if (next == (1 << width) && width < 12)
            ++width;
    }
    for (int r = 0; r < repeats; ++r)
        emit(4095);
    emit(5);
    if (count > 0)
        out.push_back(static_cast<uint8_t>(bits));
    return gif_around(screen_width, screen_height, {9, 8, 7, 0, 0, 0}, 2, out);
}

Picture jpeg_reference(const Bytes& file)
{
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), file.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    Picture p{static_cast<int>(info.output_width), static_cast<int>(info.output_height),
              Bytes(static_cast<size_t>(info.output_width) * info.output_height * 4)};
    Bytes row(info.output_width * 3);
    while (info.output_scanline < info.output_height) {
        const int y = static_cast<int>(info.output_scanline);
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&info, rows, 1);
        for (int x = 0; x < p.width; ++x) {
            uint8_t* px = p.at(x, y);
            px[0] = row[x * 3 + 2];
            px[1] = row[x * 3 + 1];
            px[2] = row[x * 3];
            px[3] = 255;
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return p;
}

namespace {

// Morton index with y in the lower bit of each pair, for square power-of-two grids
// and for the oblong ones, whose extra high bits of the longer side come last.
size_t morton(int x, int y, int columns, int rows)
{
    const int side = std::min(columns, rows);
    size_t index = 0;
    int pairs = 0;
    while ((1 << pairs) < side)
        ++pairs;
    for (int bit = 0; bit < pairs; ++bit) {
        index |= static_cast<size_t>((y >> bit) & 1) << (2 * bit);
        index |= static_cast<size_t>((x >> bit) & 1) << (2 * bit + 1);
    }
    const int longer = columns > rows ? x : y;
    return index + (static_cast<size_t>(longer >> pairs) << (2 * pairs));
}

} // namespace

uint32_t pvr_opaque(int ra, int ga, int ba4, int rb, int gb, int bb, bool mode_flag)
{
    const uint32_t a = 0x8000u | (ra << 10) | (ga << 5) | (ba4 << 1) | (mode_flag ? 1 : 0);
    const uint32_t b = 0x8000u | (rb << 10) | (gb << 5) | bb;
    return a | (b << 16);
}

Bytes pvr(int width, int height, int type, const std::vector<PvrBlock>& grid, int columns, int rows)
{
    std::vector<PvrBlock> stored(grid.size());
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < columns; ++x)
            stored[morton(x, y, columns, rows)] = grid[static_cast<size_t>(y) * columns + x];
    }
    return pvr_stored(width, height, type, stored);
}

Bytes pvr_stored(int width, int height, int type, const std::vector<PvrBlock>& stored)
{
    Bytes out;
    put32(out, 52);
    put32(out, height);
    put32(out, width);
    put32(out, 0);                   // mip levels below the top
    put32(out, 0x8000 | type);       // pixel type in the low byte, flags above
    put32(out, static_cast<uint32_t>(stored.size() * 8));
    put32(out, type == 24 ? 2 : 4);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put_text(out, "PVR!");
    put32(out, 1);
    for (const PvrBlock& block : stored) {
        put32(out, block.modulation);
        put32(out, block.colours);
    }
    return out;
}

void write_file(const std::string& path, const Bytes& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        throw std::runtime_error("cannot write " + path);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

} // namespace samples
