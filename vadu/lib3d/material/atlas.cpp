#include "vadu/lib3d/material/atlas.h"

#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/material/texture_load_pass.h"
#include "vadu/xml_reader.h"

namespace vadu::lib3d::material {

namespace {

const char* const load_function = "vadu::lib3d::material::TextureAtlasRep::load";
const char* const frame_function = "vadu::lib3d::material::TextureAtlasRep::GetFrame";

TextureAtlasCache* atlas_cache = nullptr;

// The attributes of one "Frame" element.
class FrameLoader : public xml::ObjectANSI {
public:
    bool OnAttribute(xml::Provider&, const String& name, const String& value) override
    {
        if (name == "Name")
            return converter::convert(value, &frame.name);
        if (name == "X")
            return converter::convert(value, &frame.x);
        if (name == "Y")
            return converter::convert(value, &frame.y);
        if (name == "Width")
            return converter::convert(value, &frame.width);
        if (name == "Height")
            return converter::convert(value, &frame.height);
        if (name == "Rect")
            return read_rect(value);
        return false;
    }

    AtlasFrame frame;

private:
    // x y width height; the first three must be there, a missing height stays 0.
    bool read_rect(const String& value)
    {
        const char* position = value.data();
        const char* const end = value.data() + value.size();
        int32_t numbers[4] = {0, 0, 0, 0};
        for (int i = 0; i < 3; ++i) {
            position = converter::parse_int(position, end, &numbers[i]);
            if (!position)
                return false;
        }
        if (!converter::parse_int(position, end, &numbers[3]))
            numbers[3] = 0;
        frame.x = numbers[0];
        frame.y = numbers[1];
        frame.width = numbers[2];
        frame.height = numbers[3];
        return true;
    }
};

} // namespace

// --- AtlasDefinition ---

AtlasDefinition::AtlasDefinition() : texture_source(String(), true) {}

bool AtlasDefinition::OnAttribute(xml::Provider&, const String& name, const String& value)
{
    if (name == "TextureSrc")
        return converter::convert(value, &texture_source);
    return false;
}

bool AtlasDefinition::OnNode(xml::Provider& provider, const String& name)
{
    if (name != "Frame")
        return false;
    FrameLoader loader;
    if (!provider.ParseObject(loader))
        return false;
    if (loader.frame.width == 0 || loader.frame.height == 0)
        throw Gluck("vadu::lib3d::material::AtlasDefinition::OnNode",
                    "Atlas width and height should be greater then 0");
    frames.push_back(loader.frame);
    return true;
}

// --- TextureAtlasRep ---

TextureAtlasRep::TextureAtlasRep(const filesystem::String& path) : path_(path) {}

TextureAtlasRep::~TextureAtlasRep() = default;

void TextureAtlasRep::load()
{
    AtlasDefinition definition;
    {
        std::unique_ptr<Stream> stream = filesystem::open(path_);
        xml::StreamResource resource(stream.get(), path_);
        xml::Root root(definition, "Atlas");
        bool parsed = false;
        try {
            parsed = resource.load(root);
        } catch (const GluckBadResource&) {
            parsed = false;
        }
        if (!parsed)
            throw GluckBadResource(load_function, "Failed to load atlas definition resource", path_);
    }
    picture_ = std::make_unique<TextureSimple>(Atom(), TextureSimpleLoader(definition.texture_source, false));
    frames_ = std::move(definition.frames);
    loaded_ = true;
}

const AtlasFrame& TextureAtlasRep::GetFrame(int32_t index) const
{
    if (index < 0 || static_cast<size_t>(index) >= frames_.size()) {
        String description("Frame index ");
        description.append_number(index);
        description += " is out of range";
        throw Gluck(frame_function, description);
    }
    return frames_[static_cast<size_t>(index)];
}

const AtlasFrame& TextureAtlasRep::GetFrame(const Atom& name) const
{
    for (const AtlasFrame& frame : frames_) {
        if (frame.name == name)
            return frame;
    }
    throw Gluck(frame_function, "Can't found frame \"" + name.get_name() + "\"");
}

int32_t TextureAtlasRep::get_width() const
{
    if (frames_.empty() || !picture_ || !picture_->get_rep())
        return 0;
    return texture_width(*picture_->get_rep(), false);
}

int32_t TextureAtlasRep::get_height() const
{
    if (frames_.empty() || !picture_ || !picture_->get_rep())
        return 0;
    return texture_height(*picture_->get_rep(), false);
}

bool TextureAtlasRep::has_picture() const
{
    return picture_ && picture_->get_rep() && picture_->get_rep()->has_picture();
}

void TextureAtlasRep::apply(hard::Hardware& hardware, hard::TextureStage& stage)
{
    if (picture_ && picture_->get_rep())
        picture_->get_rep()->apply(hardware, stage);
}

// --- cache ---

TextureAtlasRep* find_or_create_atlas_rep(const filesystem::String& path)
{
    if (!atlas_cache)
        atlas_cache = new TextureAtlasCache;
    auto found = atlas_cache->find(path);
    if (found == atlas_cache->end())
        found = atlas_cache->emplace(path, std::make_unique<TextureAtlasRep>(path)).first;
    found->second->add_reference();
    return found->second.get();
}

void release_atlas_rep(TextureAtlasRep* rep)
{
    if (!rep || !atlas_cache || rep->drop_reference() > 0)
        return;
    auto found = atlas_cache->find(rep->get_path());
    if (found != atlas_cache->end() && found->second.get() == rep)
        atlas_cache->erase(found);
    if (atlas_cache->empty()) {
        delete atlas_cache;
        atlas_cache = nullptr;
    }
}

const TextureAtlasCache* get_texture_atlas_cache()
{
    return atlas_cache;
}

int32_t load_texture_atlas_reps(int64_t start_ticks, double budget)
{
    return detail::run_load_pass(atlas_cache, start_ticks, budget, [](TextureAtlasRep& rep) { rep.load(); });
}

// --- TextureAtlas ---

TextureAtlas::TextureAtlas(const filesystem::String& path) : rep_(find_or_create_atlas_rep(path)) {}

TextureAtlas::TextureAtlas(const TextureAtlas& other) : rep_(find_or_create_atlas_rep(other.rep_->get_path())) {}

TextureAtlas::~TextureAtlas()
{
    release_atlas_rep(rep_);
}

} // namespace vadu::lib3d::material
