// Writes the seed corpus for text_fuzz: texts in several settings, and the start of a
// real face file. Usage: text_seeds <folder>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string Utf16(const std::u16string& text)
{
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    std::ifstream in(DEJAVU_SANS, std::ios::binary);
    const std::string face((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<std::pair<std::string, std::string>> seeds = {
        {"plain", std::string("\x00\x10", 2) + Utf16(u"Hello AV world\r\nsecond line")},
        {"centred_narrow", std::string("\x82\x14", 2) + Utf16(u"a few words to wrap, then more")},
        {"right_zero", std::string("\x44\x08", 2) + Utf16(u"x  y\u00ADz\tw")},
        {"japanese", std::string("\x08\x20", 2) + Utf16(u"\u65E5\u672C\u3002\u3002\uFF01abc")},
        {"outline_shadow", std::string("\x30\x18", 2) + Utf16(u"Outlined, shadowed 0123")},
        {"face_start", std::string("\x01\x0C", 2) + face.substr(0, 4000)},
        {"face_garbage", std::string("\x01\x0C", 2) + "not a face at all"},
    };
    for (const auto& [name, bytes] : seeds) {
        std::ofstream out(folder + "/" + name, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s/%s\n", folder.c_str(), name.c_str());
            return 1;
        }
    }
    return 0;
}
