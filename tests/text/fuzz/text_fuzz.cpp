// libFuzzer entry point for the text library. The first byte chooses the setting: face
// bytes from the input (through FreeTypeEngineStream) or DejaVu Sans, the alignment, the
// splitter, outline and shadow, and the maximum width (-1, 0 or small); the second the
// size. The rest is the face file, or UTF-16 text. Each input is laid out and drawn by
// every drawer into a small buffer, partly outside it, in both pixel formats, and packed
// by both atlas strategies. TrueText::Error is an expected outcome; anything else that
// escapes, and every sanitizer report, is a finding.
//
// A first byte of 0xFE instead loads the rest as a font document ("TrueTypeFont", "Font"
// or "SymbolAtlas") from memory through the engine's font table, with DejaVu Sans as the
// only face and the document itself as the only other file; a loaded font is measured
// through a text node. vadu::Gluck (the refusals) is an expected outcome too.

#include "text/Error.h"
#include "text/GlyphString.h"
#include "text/TextLibrary.h"
#include "text/TextSprite.h"
#include "vadu/animate/soul.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/font/font.h"
#include "vadu/font/text.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::vector<char>& SansBytes()
{
    static const std::vector<char> bytes = [] {
        std::ifstream in(DEJAVU_SANS, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    return bytes;
}

void Exercise(const uint8_t* data, size_t size)
{
    const uint8_t flags = data[0];
    const uint8_t second = data[1];
    const bool own_face = flags & 1;
    const int32_t alignment = (flags >> 1 & 3) % 3;
    const bool japanese = flags & 8;
    const int32_t widths[] = {-1, 0, 1 + second % 48, 2 * second};
    const int32_t width = widths[flags >> 6];
    const float font_size = 4.0f + static_cast<float>(second % 41);

    TrueText::TextLibrary::Creator library;
    std::shared_ptr<TrueText::FaceImpl> face;
    std::u16string text;
    if (own_face) {
        const std::string bytes(reinterpret_cast<const char*>(data + 2), size - 2);
        face = TrueText::MakeFace("input", [bytes] {
            return std::make_shared<TrueText::FreeTypeEngineStream>(bytes.data(), bytes.size());
        });
        text = u"Fuzz AV\u00ADtext\r\n12";
    } else {
        const std::vector<char>& sans = SansBytes();
        face = TrueText::MakeFace("sans", [&sans] {
            return std::make_shared<TrueText::FreeTypeEngineStream>(sans.data(), sans.size());
        });
        for (size_t i = 2; i + 1 < size; i += 2)
            text += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    }

    TrueText::TextFont font(face);
    font.SetSize(font_size);
    font.SetColor(flags & 0x80 ? 128 : 255, second, 255 - second, 7);
    font.GetOutline().SetEnabled(flags & 16);
    font.GetOutline().Set(0.5f + static_cast<float>(second % 5), {255, 0, 0, 0});
    font.GetShadow().SetEnabled(flags & 32);
    font.GetShadow().Set(second % 7 - 3, second % 5 - 2, {127, 0, 0, 0});

    std::vector<uint32_t> pixels(48 * 24);
    TrueText::TextSprite sprite(font);
    sprite.SetText(text);
    sprite.SetMaxWidth(width);
    sprite.SetAlignment(alignment);
    if (japanese)
        sprite.SetWordSplitter(TrueText::JapaneseWordSplitter::Instance());
    const TrueText::TextSpriteMetrics metrics = sprite.GetMetrics();
    for (int32_t format : {0, 1}) {
        const TrueText::PixelBuffer buffer{reinterpret_cast<uint8_t*>(pixels.data()), format, 48 * 4, 48, 24};
        sprite.Draw(buffer, -metrics.width / 3, second % 9 - 4);
    }

    TrueText::AtlasTextObjects objects(font);
    for (TrueText::TextObject* object : {&objects.GetPlainObject(), &objects.GetOutlineObject()}) {
        if (!*object)
            continue;
        object->SetText(text.substr(0, 64));
        object->SetWidth(width);
        (void)object->GetLayout();
        object->Draw({reinterpret_cast<uint8_t*>(pixels.data()), 0, 48 * 4, 48, 24});
        TrueText::GlyphString string;
        string.SetMainTable(object->GetResult()->table);
        string.SetText(text);
        (void)string.GetExtent();
    }
}

// Serves "doc.font" (the input) and "sans.ttf"; nothing else exists.
class DocumentFiles : public vadu::filesystem::FileSystem {
public:
    explicit DocumentFiles(std::vector<uint8_t> document) : document_(std::move(document)) {}
    std::unique_ptr<vadu::Stream> open(const vadu::filesystem::String& path) override
    {
        const std::string name(path.get_text().data(), path.get_text().size());
        if (name == "doc.font")
            return std::make_unique<vadu::filesystem::MemoryStream>(document_);
        if (name == "sans.ttf") {
            const std::vector<char>& sans = SansBytes();
            return std::make_unique<vadu::filesystem::MemoryStream>(std::vector<uint8_t>(sans.begin(), sans.end()));
        }
        return nullptr;
    }

private:
    std::vector<uint8_t> document_;
};

void LoadDocument(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> document(data + 1, data + size);
    vadu::filesystem::Creator files([document] { return std::make_unique<DocumentFiles>(document); });
    vadu::animate::Soul::Creator souls;
    TrueText::TextLibrary::Creator library;
    try {
        vadu::lib3d::node::Text text(vadu::Atom("Fuzz"), nullptr);
        text.set_font("doc.font");
        text.set_text(vadu::WString(u"12,345 Fuzz\nAV"), true);
        (void)text.get_width(text.get_text());
        (void)text.get_height();
        std::unique_ptr<vadu::lib3d::node::Node> copy(text.clone());
    } catch (const vadu::Gluck&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    try {
        if (data[0] == 0xFE) {
            LoadDocument(data, size);
            return 0;
        }
        Exercise(data, size);
    } catch (const TrueText::Error&) {
    }
    return 0;
}
