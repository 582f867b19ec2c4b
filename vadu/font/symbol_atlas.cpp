#include "vadu/font/symbol_atlas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "text/TextSprite.h"
#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/xml_object.h"
#include "vadu/xml_reader.h"

namespace vadu {
template <>
inline constexpr const char* declared_as<lib3d::node::text::SymbolAtlasTextures> = "struct";
}

namespace vadu::lib3d::node::text {

namespace {

const char rep_function[] = "vadu::lib3d::node::text::SymbolAtlasRep::SymbolAtlasRep";

struct DictionaryLoader : xml::ObjectANSI {
    struct FontElement : xml::ObjectANSI {
        bool OnAttribute(xml::Provider&, const String& name, const String& value) override
        {
            if (name != "Name")
                return false;
            path = value;
            return true;
        }
        bool OnNode(xml::Provider&, const String&) override { return false; }
        String path;
    };
    struct ValueElement : xml::ObjectANSI {
        bool OnAttribute(xml::Provider&, const String& name, const String& value) override
        {
            if (name != "Value")
                return false;
            try {
                converter::convert_utf8(value, &text);
            } catch (const Gluck&) {
                return false;
            }
            return true;
        }
        bool OnNode(xml::Provider&, const String&) override { return false; }
        WString text;
    };

    bool OnAttribute(xml::Provider&, const String&, const String&) override { return false; }
    bool OnNode(xml::Provider& provider, const String& name) override
    {
        if (name == "Font")
            return provider.ParseObject(font);
        if (name == "Dictionary")
            return provider.ParseObject(dictionary);
        return false;
    }

    FontElement font;
    ValueElement dictionary;
};

struct TrueTypeExtractorVisitor : font::Visitor {
    static constexpr const char* function =
        "vadu::lib3d::node::text::SymbolAtlasRep::{ctor}::TrueTypeExtractorVisitor::Visit";
    void Visit(SymbolAtlas&) override
    {
        throw Gluck(function, "Symbol atlases cannot be generated over another symbol atlas");
    }
    void Visit(font::TrueType& font) override { result = &font; }
    void Visit(font::Proportional&) override
    {
        throw Gluck(function, "Symbol atlases cannot be generated over proportional fonts");
    }
    font::TrueType* result = nullptr;
};

uint32_t next_power_of_two(uint32_t value)
{
    uint32_t result = 1;
    while (result < value)
        result <<= 1;
    return result;
}

int32_t max_texture_side(const hard::Hardware& hardware, const char* name)
{
    int32_t value = 0;
    if (converter::convert(hardware.get_attribute_value(name), &value) && value > 0)
        return value;
    return 4096;
}

using Table = std::map<filesystem::String, SymbolAtlasRep*>;

// Exists only while it has entries.
std::unique_ptr<Table>& table()
{
    static std::unique_ptr<Table> instance;
    return instance;
}

// Paths whose atlas is being loaded: a dictionary that names itself, directly or through
// another, would otherwise load for ever.
std::set<filesystem::String>& loading()
{
    static std::set<filesystem::String> paths;
    return paths;
}

} // namespace

SymbolAtlasRep::SymbolAtlasRep(const filesystem::String& path) : path_(path)
{
    DictionaryLoader loader;
    bool loaded = false;
    if (std::unique_ptr<Stream> stream = filesystem::open(path); stream && stream->is_good()) {
        xml::Root root(loader, String("SymbolAtlas"));
        try {
            xml::StreamResource resource(stream.get(), path);
            loaded = resource.load(root);
        } catch (const Gluck&) {
            loaded = false;
        }
    }
    if (!loaded)
        throw GluckBadResource(rep_function, "Failed to load symbol atlas definition resource", path);

    if (!loader.font.path.empty())
        font_use_ = font::FontUse(loader.font.path);
    TrueTypeExtractorVisitor visitor;
    if (font_use_)
        font_use_.get()->accept(visitor);
    font_ = visitor.result;
    if (!font_ || !font_->get_text_font())
        throw Gluck(rep_function, "Given font isn't a true type one");
    start_size_ = font_->get_text_font()->GetMaxAdvance();
    dictionary_ = loader.dictionary.text;
    if (hard::Manager::exists())
        hard::Manager::add_dependent(this);
}

SymbolAtlasRep::~SymbolAtlasRep() { hard::Manager::remove_dependent(this); }

void SymbolAtlasRep::on_add_hardware(hard::Hardware* hardware)
{
    add_data(hardware, hardware->is_operational() ? build(*hardware) : std::make_unique<SymbolAtlasTextures>());
}

std::unique_ptr<SymbolAtlasTextures> SymbolAtlasRep::build(hard::Hardware& hardware)
{
    auto textures = std::make_unique<SymbolAtlasTextures>();
    TrueText::AtlasTextObjects objects(*font_->get_text_font());
    Size main_size;
    textures->main = build_one(hardware, objects.GetPlainObject(), main_size);
    main_size_ = main_size;
    main_table_ = objects.GetPlainObject().GetResult()->table;
    if (objects.GetOutlineObject()) {
        Size outline_size;
        textures->outline = build_one(hardware, objects.GetOutlineObject(), outline_size);
        outline_size_ = outline_size;
        outline_table_ = objects.GetOutlineObject().GetResult()->table;
    }
    return textures;
}

std::unique_ptr<hard::Texture> SymbolAtlasRep::build_one(hard::Hardware& hardware, TrueText::TextObject& object,
                                                         Size& size)
{
    const int32_t max_w = max_texture_side(hardware, "device_caps.MaxTextureWidth");
    const int32_t max_h = max_texture_side(hardware, "device_caps.MaxTextureHeight");
    // A start size that rounds to 0 would leave nothing to double.
    const float start = std::max(1.0f, std::round(start_size_));
    int64_t w = next_power_of_two(static_cast<uint32_t>(std::min(start, 65536.0f)));
    int64_t h = w;
    const char16_t* text_end = std::find(dictionary_.data(), dictionary_.data_end(), u'\0');
    object.SetWidth(static_cast<int32_t>(w));
    object.SetText(std::u16string(dictionary_.data(), text_end));
    TrueText::TextObjectLayout layout = object.GetLayout();
    for (int pass = 1; h < layout.height; ++pass) {
        if (pass % 2 == 1)
            w *= 2;
        else
            h *= 2;
        if (w > max_w || h > max_h)
            break;
        object.SetWidth(static_cast<int32_t>(w));
        layout = object.GetLayout();
    }
    if (w > max_w || h > max_h)
        throw GluckBadResource(rep_function, "Symbol atlas does not fit the device's largest texture", path_);
    size.width = static_cast<int32_t>(w);
    size.height = static_cast<int32_t>(h);
    std::unique_ptr<hard::Texture> texture =
        hardware.create_texture(1, pictureformat::format_bgra, size.width, size.height);
    int32_t pitch = 0;
    void* bits = texture ? texture->lock(0, pitch) : nullptr;
    if (!bits)
        throw GluckBadResource(rep_function, "Symbol atlas texture cannot be made", path_);
    for (int32_t row = 0; row < size.height; ++row)
        std::memset(static_cast<uint8_t*>(bits) + static_cast<size_t>(row) * pitch, 0, size_t(size.width) * 4u);
    TrueText::PixelBuffer buffer;
    buffer.bits = static_cast<uint8_t*>(bits);
    buffer.pitch = pitch;
    buffer.width = size.width;
    buffer.height = size.height;
    object.Draw(buffer);
    texture->unlock(0);
    return texture;
}

hard::Texture* SymbolAtlasRep::get_main_texture(const hard::Hardware& hardware) const
{
    SymbolAtlasTextures* textures = find_data(&hardware);
    return textures ? textures->main.get() : nullptr;
}

hard::Texture* SymbolAtlasRep::get_outline_texture(const hard::Hardware& hardware) const
{
    SymbolAtlasTextures* textures = find_data(&hardware);
    return textures ? textures->outline.get() : nullptr;
}

SymbolAtlas::SymbolAtlas(const filesystem::String& path)
{
    const filesystem::String key(path.get_text(), true);
    if (table()) {
        auto found = table()->find(key);
        if (found != table()->end()) {
            rep_ = found->second;
            ++rep_->uses;
            return;
        }
    }
    if (loading().count(key))
        throw Gluck("vadu::lib3d::node::text::SymbolAtlasRep::{ctor}::TrueTypeExtractorVisitor::Visit",
                    "Symbol atlases cannot be generated over another symbol atlas");
    loading().insert(key);
    std::unique_ptr<SymbolAtlasRep> rep;
    try {
        rep = std::make_unique<SymbolAtlasRep>(key);
    } catch (...) {
        loading().erase(key);
        throw;
    }
    loading().erase(key);
    if (!table())
        table() = std::make_unique<Table>();
    rep_ = rep.release();
    rep_->uses = 1;
    (*table())[key] = rep_;
}

SymbolAtlas::SymbolAtlas(const SymbolAtlas& other) : FontRep(other), rep_(other.rep_) { ++rep_->uses; }

SymbolAtlas::~SymbolAtlas()
{
    if (--rep_->uses > 0)
        return;
    table()->erase(rep_->get_path());
    if (table()->empty())
        table().reset();
    delete rep_;
}

size_t get_symbol_atlas_count() { return table() ? table()->size() : 0; }

int32_t get_symbol_atlas_use_count(const String& path)
{
    if (!table())
        return 0;
    auto found = table()->find(filesystem::String(path, true));
    return found == table()->end() ? 0 : found->second->uses;
}

} // namespace vadu::lib3d::node::text
