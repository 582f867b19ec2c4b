#include "vadu/font/font.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "text/Error.h"
#include "text/Face.h"
#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/font/symbol_atlas.h"
#include "vadu/xml_object.h"
#include "vadu/xml_reader.h"

namespace vadu::font {

TrueText::Color to_color(const float rgb[3])
{
    auto channel = [](float value) {
        // NaN and values outside 0..1 end at the nearest bound.
        if (!(value > 0.0f))
            return 0;
        if (value >= 1.0f)
            return 255;
        return static_cast<int32_t>(value * 255.0f);
    };
    return TrueText::Color{255, channel(rgb[0]), channel(rgb[1]), channel(rgb[2])};
}

namespace {

// Three blank-separated numbers, nothing else.
bool parse_rgb(const String& text, float* rgb)
{
    const char* first = text.data();
    const char* last = text.data_end();
    for (int i = 0; i < 3; ++i) {
        while (first != last && (*first == ' ' || *first == '\t'))
            ++first;
        const char* end = converter::parse_float(first, last, &rgb[i]);
        if (!end || end == first)
            return false;
        first = end;
    }
    while (first != last && (*first == ' ' || *first == '\t'))
        ++first;
    return first == last;
}

// Two numbers, each truncated toward zero.
bool parse_offset(const String& text, int32_t* offset)
{
    math::Vector2<float> value;
    if (!converter::convert(text, &value))
        return false;
    offset[0] = static_cast<int32_t>(value.x);
    offset[1] = static_cast<int32_t>(value.y);
    return true;
}

// Accepts every attribute and child without reading them: only the root name counts.
struct Probe : xml::ObjectANSI {
    bool OnAttribute(xml::Provider&, const String&, const String&) override { return true; }
    bool OnNode(xml::Provider& provider, const String&) override
    {
        Probe child;
        return provider.ParseObject(child);
    }
};

// Records the root element's name, accepting the whole document unread, so that probing
// for the kind refuses nothing (and logs no refusal).
struct RootProbe : xml::ObjectANSI {
    bool OnNode(xml::Provider& provider, const String& name) override
    {
        root = name;
        Probe child;
        return provider.ParseObject(child);
    }
    String root;
};

bool load_root(Stream& stream, const filesystem::String& path, xml::Object& target, const char* root_name)
{
    stream.set_position(0);
    xml::Root root(target, String(root_name));
    try {
        xml::StreamResource resource(&stream, path);
        return resource.load(root);
    } catch (const Gluck&) {
        return false;
    }
}

std::shared_ptr<TrueText::Stream> read_face(const String& name)
{
    static const char function[] = "vadu::font::`anonymous-namespace'::faceReader";
    const filesystem::String path(name, true);
    std::unique_ptr<Stream> stream = filesystem::open(path);
    if (!stream || !stream->is_good())
        throw GluckBadResource(function, "Failed to load TrueType font face.", path);
    std::vector<unsigned char> bytes(stream->get_size());
    uint32_t done = 0;
    while (done < bytes.size()) {
        const uint32_t got = stream->read(bytes.data() + done, static_cast<uint32_t>(bytes.size() - done));
        if (got == 0)
            break;
        done += got;
    }
    if (done != bytes.size())
        throw GluckBadResource(function, "Failed to load TrueType font face.", path);
    return std::make_shared<TrueText::FreeTypeEngineStream>(bytes.data(), bytes.size());
}

} // namespace

struct TrueTypeLoader : xml::ObjectANSI {
    explicit TrueTypeLoader(TrueType& font) : font(font) {}

    bool OnAttribute(xml::Provider&, const String& name, const String& value) override
    {
        TrueType::Settings& s = font.settings_;
        if (name == "Face") {
            s.face = value;
            return true;
        }
        if (name == "Size")
            return converter::convert(value, &s.size);
        if (name == "Color")
            return parse_rgb(value, s.color);
        if (name == "Outline")
            return converter::convert(value, &s.outline);
        if (name == "OutlineWidth")
            return converter::convert(value, &s.outline_width);
        if (name == "OutlineColor")
            return parse_rgb(value, s.outline_color);
        if (name == "Shadow")
            return converter::convert(value, &s.shadow);
        if (name == "ShadowOffset")
            return parse_offset(value, s.shadow_offset);
        if (name == "ShadowColor")
            return parse_rgb(value, s.shadow_color);
        return false;
    }
    bool OnNode(xml::Provider&, const String&) override { return false; }
    bool OnEndNode(xml::Provider&) override
    {
        const TrueType::Settings& s = font.settings_;
        String face = s.face;
        const char* nul = std::find(face.data(), face.data_end(), '\0');
        if (nul != face.data_end())
            face = String(face.data(), nul);
        const std::string name(face.data(), face.data_end());
        std::shared_ptr<TrueText::TextFont> text_font;
        try {
            text_font = std::make_shared<TrueText::TextFont>(
                TrueText::MakeFace(name, [face] { return read_face(face); }));
        } catch (const GluckBadResource& error) {
            // Reported as it is once the document is read: it names the face file.
            face_error = std::make_unique<GluckBadResource>(error);
            return false;
        } catch (const TrueText::Error& error) {
            // The face file is there but FreeType cannot read it: that file is the one to
            // name, not this description.
            face_error = std::make_unique<GluckBadResource>(
                "vadu::font::TrueType::TrueType", String("The TrueType face cannot be read: ") + error.what(),
                filesystem::String(face, true));
            return false;
        }
        text_font->SetSize(s.size);
        const TrueText::Color color = to_color(s.color);
        text_font->SetColor(color.alpha, color.red, color.green, color.blue);
        if (s.outline) {
            text_font->GetOutline().SetEnabled(true);
            text_font->GetOutline().Set(s.outline_width, to_color(s.outline_color));
        }
        if (s.shadow) {
            text_font->GetShadow().SetEnabled(true);
            text_font->GetShadow().Set(s.shadow_offset[0], s.shadow_offset[1], to_color(s.shadow_color));
        }
        font.text_font_ = std::move(text_font);
        return true;
    }

    TrueType& font;
    std::unique_ptr<GluckBadResource> face_error;
};

TrueType::TrueType(Stream& stream, const filesystem::String& path)
{
    TrueTypeLoader loader(*this);
    bool loaded = false;
    try {
        loaded = load_root(stream, path, loader, "TrueTypeFont");
    } catch (const TrueText::Error&) {
        loaded = false;
    }
    if (loader.face_error)
        throw *loader.face_error;
    if (!loaded || !text_font_)
        throw GluckBadResource("vadu::font::TrueType::TrueType", "load() failed", path);
}

struct LetterLoader : xml::ObjectANSI {
    bool OnAttribute(xml::Provider&, const String& name, const String& value) override
    {
        if (name == "Code") {
            int32_t code = 0;
            if (!converter::convert(value, &code))
                return false;
            letter.code = static_cast<uint16_t>(code);
            return true;
        }
        if (name == "Symbol") {
            WString wide;
            try {
                converter::convert_utf8(value, &wide);
            } catch (const Gluck&) {
                return false;
            }
            if (wide.size() != 1)
                return false;
            letter.code = static_cast<uint16_t>(wide[0]);
            return true;
        }
        if (name == "X")
            return converter::convert(value, &letter.x);
        if (name == "Y")
            return converter::convert(value, &letter.y);
        if (name == "Width")
            return converter::convert(value, &letter.width);
        if (name == "Height")
            return converter::convert(value, &letter.height);
        if (name == "BaseSkip")
            return converter::convert(value, &letter.base_skip);
        if (name == "BaseWidth")
            return converter::convert(value, &letter.base_width);
        return false;
    }
    bool OnNode(xml::Provider&, const String&) override { return false; }

    Proportional::Letter letter;
};

struct ProportionalLoader : xml::ObjectANSI {
    explicit ProportionalLoader(Proportional& font) : font(font) {}

    bool OnAttribute(xml::Provider&, const String& name, const String& value) override
    {
        if (name == "Height")
            return converter::convert(value, &font.height_);
        if (name == "Width")
            return converter::convert(value, &font.width_);
        if (name == "Base")
            return converter::convert(value, &font.base_);
        if (name == "Size")
            return converter::convert(value, &font.size_);
        return false;
    }
    bool OnNode(xml::Provider& provider, const String& name) override
    {
        if (name != "Letter")
            return false;
        LetterLoader loader;
        if (!provider.ParseObject(loader))
            return false;
        Proportional::Letter& letter = loader.letter;
        if (letter.height == 0)
            letter.height = font.height_;
        if (letter.base_width == 0)
            letter.base_width = letter.width;
        font.letters_[letter.code] = letter;
        return true;
    }

    Proportional& font;
};

Proportional::Proportional(Stream& stream, const filesystem::String& path)
{
    ProportionalLoader loader(*this);
    const bool loaded = load_root(stream, path, loader, "Font");
    // Texture coordinates divide by the width and height, normalisation by the size.
    if (!loaded || width_ <= 0 || height_ <= 0 || !(size_ > 0.0))
        throw GluckBadResource("vadu::font::Proportional::Proportional", "load() failed", path);
}

const Proportional::Letter& Proportional::get_letter(char16_t code) const
{
    static const Letter none;
    auto found = letters_.find(static_cast<uint16_t>(code));
    if (found != letters_.end())
        return found->second;
    found = letters_.find(0);
    return found != letters_.end() ? found->second : none;
}

GenericFontRep::GenericFontRep(const filesystem::String& path)
{
    static const char function[] = "vadu::font::GenericFontRep::GenericFontRep";
    std::unique_ptr<Stream> stream = filesystem::open(path);
    if (!stream || !stream->is_good())
        throw GluckBadResource(function, "load() failed", path);
    RootProbe probe;
    try {
        xml::StreamResource resource(stream.get(), path);
        if (!resource.load(probe))
            probe.root = String();
    } catch (const Gluck&) {
        probe.root = String();
    }
    if (probe.root == "Font") {
        font_ = std::make_unique<Proportional>(*stream, path);
    } else if (probe.root == "TrueTypeFont") {
        font_ = std::make_unique<TrueType>(*stream, path);
    } else if (probe.root == "SymbolAtlas") {
        font_ = std::make_unique<lib3d::node::text::SymbolAtlas>(path);
    } else {
        throw GluckBadResource(function, "load() failed", path);
    }
}

namespace {

struct Entry {
    std::unique_ptr<GenericFontRep> rep;
    int32_t uses = 0;
};
using Table = std::map<filesystem::String, Entry>;

// Exists only while it has entries.
std::unique_ptr<Table>& table()
{
    static std::unique_ptr<Table> instance;
    return instance;
}

} // namespace

FontUse::FontUse(const String& path) : path_(path, true)
{
    if (table()) {
        auto found = table()->find(path_);
        if (found != table()->end()) {
            ++found->second.uses;
            rep_ = found->second.rep.get();
            return;
        }
    }
    auto rep = std::make_unique<GenericFontRep>(path_);
    if (!table())
        table() = std::make_unique<Table>();
    Entry& entry = (*table())[path_];
    entry.rep = std::move(rep);
    entry.uses = 1;
    rep_ = entry.rep.get();
}

FontUse::FontUse(const FontUse& other) : path_(other.path_), rep_(other.rep_)
{
    if (rep_)
        ++(*table())[path_].uses;
}

FontUse& FontUse::operator=(const FontUse& other)
{
    if (this != &other) {
        FontUse copy(other);
        reset();
        path_ = copy.path_;
        rep_ = copy.rep_;
        copy.rep_ = nullptr;
    }
    return *this;
}

FontUse::~FontUse() { reset(); }

void FontUse::reset()
{
    if (!rep_)
        return;
    rep_ = nullptr;
    auto found = table()->find(path_);
    path_ = filesystem::String();
    if (--found->second.uses > 0)
        return;
    // The font may release other fonts (a symbol atlas holds its TrueType font).
    std::unique_ptr<GenericFontRep> rep = std::move(found->second.rep);
    table()->erase(found);
    rep.reset();
    if (table() && table()->empty())
        table().reset();
}

size_t get_font_table_size() { return table() ? table()->size() : 0; }

int32_t get_font_use_count(const String& path)
{
    if (!table())
        return 0;
    auto found = table()->find(filesystem::String(path, true));
    return found == table()->end() ? 0 : found->second.uses;
}

} // namespace vadu::font
