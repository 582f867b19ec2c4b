#include "vadu/font/text.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <utf8.h>

#include "platform/codepage.h"
#include "text/WordSplitter.h"
#include "vadu/converter.h"
#include "vadu/dictionary.h"
#include "vadu/exception.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/log.h"
#include "vadu/xml_writer.h"

namespace vadu {
template <>
inline constexpr const char* declared_as<lib3d::node::TrueTypeTextData> = "struct";
template <>
inline constexpr const char* declared_as<lib3d::node::SymbolAtlasVertexBuffers> = "struct";
}

namespace vadu::lib3d::node {

namespace {

struct NameRow {
    const char* name;
    int32_t value;
};

const NameRow alignment_names[] = {{"LEFT", LEFT}, {"CENTER", CENTER}, {"RIGHT", RIGHT}};
const NameRow valignment_names[] = {
    {"TOP", TOP},
    {"VA_TOP", TOP},
    {"MIDDLE", MIDDLE},
    {"VA_MIDDLE", MIDDLE},
    {"BOTTOM_BASELINE", BOTTOM_BASELINE},
    {"VA_BOTTOM_BASELINE", BOTTOM_BASELINE},
    {"BOTTOM_BLOCK", BOTTOM_BLOCK},
    {"VA_BOTTOM_BLOCK", BOTTOM_BLOCK},
};
const NameRow layout_rules_names[] = {
    {"LR_DEFAULT", LR_DEFAULT}, {"DEFAULT", LR_DEFAULT}, {"LR_JAPANESE", LR_JAPANESE}, {"JAPANESE", LR_JAPANESE}};

// Exact, case-sensitive; the first row wins.
template <size_t N>
bool find_value(const NameRow (&rows)[N], const WString& name, int32_t* value)
{
    for (const NameRow& row : rows) {
        const size_t length = std::strlen(row.name);
        if (name.size() != length)
            continue;
        bool same = true;
        for (size_t i = 0; i < length && same; ++i)
            same = name[i] == static_cast<char16_t>(static_cast<unsigned char>(row.name[i]));
        if (same) {
            *value = row.value;
            return true;
        }
    }
    return false;
}

template <size_t N>
const char* find_name(const NameRow (&rows)[N], int32_t value)
{
    for (const NameRow& row : rows) {
        if (row.value == value)
            return row.name;
    }
    return nullptr;
}

std::u16string to_u16(const WString& text)
{
    // Up to the first NUL.
    const char16_t* end = std::find(text.data(), text.data_end(), u'\0');
    return std::u16string(text.data(), end);
}

uint32_t next_power_of_two(uint32_t value)
{
    uint32_t result = 1;
    while (result < value)
        result <<= 1;
    return result;
}

// Six vertices per quad: lower-left corner (x0, y0), upper-right (x1, y1).
void add_quad(std::vector<float>& positions, std::vector<float>& uv, float x0, float y0, float x1, float y1,
              float u0, float u1, float vb, float vt)
{
    const float corners[6][4] = {{x0, y0, u0, vb}, {x0, y1, u0, vt}, {x1, y0, u1, vb},
                                 {x1, y0, u1, vb}, {x0, y1, u0, vt}, {x1, y1, u1, vt}};
    for (const auto& c : corners) {
        positions.insert(positions.end(), {c[0], c[1], 0.0f});
        uv.insert(uv.end(), {c[2], c[3]});
    }
}

WString widen(const String& text)
{
    if (text.empty())
        return WString();
    std::vector<char16_t> units(text.size());
    platform::multibyte_to_wide(text.data(), static_cast<int>(text.size()), units.data(),
                                static_cast<int>(units.size()));
    return WString(units.data(), units.data() + units.size());
}

WString unescape(const WString& text)
{
    std::vector<char16_t> out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size() && (text[i + 1] == u'n' || text[i + 1] == u't')) {
            out.push_back(text[i + 1] == u'n' ? u'\n' : u'\t');
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out.empty() ? WString() : WString(out.data(), out.data() + out.size());
}

} // namespace

// --- TrueType ---

TrueTypeTextImpl::TrueTypeTextImpl(const font::TrueType& font) : font_(font)
{
    if (hard::Manager::exists())
        hard::Manager::add_dependent(this);
}

TrueTypeTextImpl::TrueTypeTextImpl(const TrueTypeTextImpl& other)
    : TextImpl(other), HardwareDependentObject(), font_(other.font_)
{
    if (hard::Manager::exists())
        hard::Manager::add_dependent(this);
}

TrueTypeTextImpl::~TrueTypeTextImpl() { hard::Manager::remove_dependent(this); }

void TrueTypeTextImpl::on_add_hardware(hard::Hardware* hardware)
{
    auto data = std::make_unique<TrueTypeTextData>();
    data->buffer = hardware->create_vertex_buffer(false);
    add_data(hardware, std::move(data));
}

std::unique_ptr<TextImpl> TrueTypeTextImpl::clone() const { return std::make_unique<TrueTypeTextImpl>(*this); }

void TrueTypeTextImpl::rebuild_sprite()
{
    auto sprite = std::make_unique<TrueText::TextSprite>(*font_.get_text_font());
    if (params_) {
        if (params_->layout_rules == LR_JAPANESE)
            sprite->SetWordSplitter(TrueText::JapaneseWordSplitter::Instance());
        sprite->SetAlignment(params_->alignment);
        valignment_ = params_->valignment;
        sprite->SetText(to_u16(params_->text));
        if (params_->max_width != 0)
            sprite->SetMaxWidth(params_->max_width);
    }
    sprite_ = std::move(sprite);
    changed_ = false;
}

void TrueTypeTextImpl::on_change_text()
{
    changed_ = true;
    for (auto& pair : pairs_) {
        if (pair.second)
            pair.second->stale = true;
    }
}

void TrueTypeTextImpl::set_valignment(int32_t valignment)
{
    valignment_ = valignment;
    changed_ = true;
}

float TrueTypeTextImpl::get_width(const WString&)
{
    if (changed_)
        rebuild_sprite();
    return static_cast<float>(sprite_->GetMetrics().width);
}

float TrueTypeTextImpl::get_height()
{
    if (changed_)
        rebuild_sprite();
    return static_cast<float>(sprite_->GetMetrics().height);
}

void TrueTypeTextImpl::draw(hard::Hardware& hardware, TrueTypeTextData& data)
{
    if (changed_)
        rebuild_sprite();
    const TrueText::TextSpriteMetrics metrics = sprite_->GetMetrics();
    const int32_t extra = std::max(0, static_cast<int32_t>(font_.get_size() - static_cast<float>(metrics.first_baseline)));
    const int32_t block_w = metrics.width;
    const int32_t block_h = metrics.height + extra;
    const uint32_t texture_w = next_power_of_two(static_cast<uint32_t>(std::max(block_w, 1)));
    const uint32_t texture_h = next_power_of_two(static_cast<uint32_t>(std::max(block_h, 1)));

    ++draw_count_;
    // The device's largest texture, from its capability table (4096 when it has none).
    auto max_side = [&hardware](const char* name) {
        int32_t value = 0;
        return converter::convert(hardware.get_attribute_value(name), &value) && value > 0 ? value : 4096;
    };
    std::unique_ptr<hard::Texture> texture;
    if (texture_w <= static_cast<uint32_t>(max_side("device_caps.MaxTextureWidth")) &&
        texture_h <= static_cast<uint32_t>(max_side("device_caps.MaxTextureHeight")))
        texture = hardware.create_texture(1, pictureformat::format_bgra, static_cast<int>(texture_w),
                                          static_cast<int>(texture_h));
    int32_t pitch = 0;
    void* bits = texture ? texture->lock(0, pitch) : nullptr;
    if (!bits) {
        // Beyond the device's texture size: nothing to draw, said once.
        if (!size_logged_) {
            size_logged_ = true;
            logs::log() << "Text block of " << static_cast<int32_t>(texture_w) << " x "
                        << static_cast<int32_t>(texture_h) << " pixels does not fit a texture\n";
        }
        data.texture.reset();
        data.stale = false;
        return;
    }
    for (uint32_t row = 0; row < texture_h; ++row)
        std::memset(static_cast<uint8_t*>(bits) + static_cast<size_t>(row) * pitch, 0, texture_w * 4u);
    TrueText::PixelBuffer buffer;
    buffer.bits = static_cast<uint8_t*>(bits);
    buffer.pitch = pitch;
    buffer.width = block_w;
    buffer.height = block_h;
    sprite_->Draw(buffer, 0, extra);
    texture->unlock(0);

    Camera* camera = get_current_camera();
    camera_ = camera;
    const bool parallel = camera && camera->is_parallel();
    const float scale = parallel ? 1.0f : 72.0f;
    const float m = parallel ? -1.0f : 1.0f;
    const float w = static_cast<float>(block_w) / scale;
    const float h = static_cast<float>(block_h) / scale;
    float y0 = 0.0f;
    switch (valignment_) {
    case TOP: y0 = -h; break;
    case MIDDLE: y0 = -h * 0.5f; break;
    case BOTTOM_BASELINE: y0 = -static_cast<float>(metrics.bottom_gap) / scale; break;
    default: break;
    }
    const int32_t alignment = params_ ? params_->alignment : LEFT;
    const float x0 = alignment == CENTER ? w * 0.5f * m : alignment == RIGHT ? w * m : 0.0f;
    const float x1 = x0 - w * m;
    std::vector<float> positions;
    std::vector<float> uv;
    const float u1 = static_cast<float>(block_w) / static_cast<float>(texture_w);
    const float vb = static_cast<float>(block_h) / static_cast<float>(texture_h);
    // The picture's left edge stays at x0 whichever way the quad runs.
    add_quad(positions, uv, x0, y0, x1, y0 + h, 0.0f, u1, vb, 0.0f);
    if (data.buffer)
        data.buffer->update(positions, hard::FloatArray{}, hard::FloatArray{}, uv);
    data.texture = std::move(texture);
    data.stale = false;
}

void TrueTypeTextImpl::render_to_list(hard::Hardware& hardware, material::Material& material,
                                      const math::Matrix4& world, hard::RenderList& list)
{
    TrueTypeTextData* data = find_data(&hardware);
    if (!data || !data->buffer)
        return;
    if (!data->buffer->is_operational() || !data->texture || data->stale || camera_ != get_current_camera())
        draw(hardware, *data);
    if (!data->texture)
        return;
    hard::RenderRecord record;
    material.fill_render_material(hardware, record);
    record.world = world;
    record.vertex_buffer = data->buffer.get();
    record.primitive_count = 2;
    record.vertex_count = 6;
    record.transparency = transparency;
    record.stages[0].texture = data->texture.get();
    record.stages[0].alpha = 1;
    list.add_record(record);
}

// --- Proportional ---

ProportionalTextImpl::ProportionalTextImpl(const font::Proportional& font) : font_(font)
{
    if (hard::Manager::exists())
        hard::Manager::add_dependent(this);
}

ProportionalTextImpl::ProportionalTextImpl(const ProportionalTextImpl& other)
    : TextImpl(other), HardwareDependentObject(), font_(other.font_)
{
    if (hard::Manager::exists())
        hard::Manager::add_dependent(this);
}

ProportionalTextImpl::~ProportionalTextImpl() { hard::Manager::remove_dependent(this); }

void ProportionalTextImpl::on_add_hardware(hard::Hardware* hardware)
{
    add_data(hardware, hardware->create_vertex_buffer(false));
}

std::unique_ptr<TextImpl> ProportionalTextImpl::clone() const { return std::make_unique<ProportionalTextImpl>(*this); }

float ProportionalTextImpl::get_width(const WString& text)
{
    const double s = params_ && params_->normalize
                         ? 1.0 / (font_.get_size() / font_.get_height() * font_.get_width())
                         : 1.0;
    double total = 0.0;
    for (size_t i = 0; i < text.size(); ++i)
        total += font_.get_letter(text[i]).base_width * s;
    return static_cast<float>(total);
}

float ProportionalTextImpl::get_height()
{
    int32_t feeds = 0;
    if (params_)
        feeds = static_cast<int32_t>(std::count(params_->text.data(), params_->text.data_end(), u'\n'));
    return static_cast<float>(font_.get_height()) * static_cast<float>(1 + feeds);
}

void ProportionalTextImpl::fill(hard::VertexBuffer& buffer)
{
    static const char function[] = "vadu::lib3d::node::ProportionalTextImpl::on_change_text";
    const WString text = params_ ? params_->text : WString();
    const bool normalize = params_ && params_->normalize;
    const double s = normalize ? 1.0 / (font_.get_size() / font_.get_height() * font_.get_width()) : 1.0;
    const double b = normalize ? font_.get_base() / font_.get_size() : font_.get_base();
    const double total = get_width(text);
    const int32_t alignment = params_ ? params_->alignment : LEFT;
    double pen = alignment == LEFT ? total : alignment == CENTER ? total * 0.5 : 0.0;
    const int32_t valignment = params_ ? params_->valignment : BOTTOM_BASELINE;
    const double height = get_height();
    const double vy = valignment == TOP ? -height : valignment == MIDDLE ? -height * 0.5 : 0.0;
    const double yb = vy * s - (b + 1.0);
    const double fw = font_.get_width();
    const double fh = font_.get_height();
    std::vector<float> positions;
    std::vector<float> uv;
    for (size_t i = 0; i < text.size(); ++i) {
        const font::Proportional::Letter& letter = font_.get_letter(text[i]);
        const double x = letter.base_skip * s + pen - total;
        const double u0 = (letter.x + 0.5) / fw;
        const double u1 = u0 + (letter.width - 1) / fw;
        const double vt = 1.0 - (letter.y + 0.5) / fh;
        const double vb = vt - (letter.height - 1) / fh;
        add_quad(positions, uv, static_cast<float>(x), static_cast<float>(yb), static_cast<float>(x + letter.width * s),
                 static_cast<float>(yb + letter.height * s), static_cast<float>(u0), static_cast<float>(u1),
                 static_cast<float>(vb), static_cast<float>(vt));
        pen += letter.base_width * s;
    }
    characters_ = static_cast<uint32_t>(text.size());
    if (!buffer.update(positions, hard::FloatArray{}, hard::FloatArray{}, uv))
        throw Gluck(function, "it->second->update() failed");
}

void ProportionalTextImpl::on_change_text()
{
    for (auto& pair : pairs_) {
        if (pair.second)
            fill(*pair.second);
    }
}

void ProportionalTextImpl::render_to_list(hard::Hardware& hardware, material::Material& material,
                                          const math::Matrix4& world, hard::RenderList& list)
{
    hard::VertexBuffer* buffer = find_data(&hardware);
    if (!buffer)
        return;
    if (!buffer->is_operational())
        fill(*buffer);
    if (characters_ == 0)
        return;
    hard::RenderRecord record;
    material.fill_render_material(hardware, record);
    record.world = world;
    record.vertex_buffer = buffer;
    record.primitive_count = 2 * characters_;
    record.vertex_count = 6 * characters_;
    record.transparency = transparency;
    list.add_record(record);
}

// --- Symbol atlas ---

SymbolAtlasTextImpl::SymbolAtlasTextImpl(const text::SymbolAtlas& atlas) : atlas_(atlas)
{
    if (hard::Manager::exists())
        hard::Manager::add_dependent(this);
}

SymbolAtlasTextImpl::SymbolAtlasTextImpl(const SymbolAtlasTextImpl& other)
    : TextImpl(other), HardwareDependentObject(), atlas_(other.atlas_)
{
    if (hard::Manager::exists())
        hard::Manager::add_dependent(this);
}

SymbolAtlasTextImpl::~SymbolAtlasTextImpl() { hard::Manager::remove_dependent(this); }

void SymbolAtlasTextImpl::on_add_hardware(hard::Hardware* hardware)
{
    auto buffers = std::make_unique<SymbolAtlasVertexBuffers>();
    buffers->main = hardware->create_vertex_buffer(false);
    buffers->outline = hardware->create_vertex_buffer(false);
    add_data(hardware, std::move(buffers));
    buffers_valid_ = false;
}

std::unique_ptr<TextImpl> SymbolAtlasTextImpl::clone() const { return std::make_unique<SymbolAtlasTextImpl>(*this); }

void SymbolAtlasTextImpl::layout()
{
    const text::SymbolAtlasRep& rep = atlas_.get_rep();
    glyphs_ = TrueText::GlyphString();
    glyphs_.SetMainTable(rep.get_main_table());
    if (rep.has_outline())
        glyphs_.SetOutlineTable(rep.get_outline_table());
    glyphs_.SetText(params_ ? to_u16(params_->text) : std::u16string());
    glyphs_.SetOptionFlag(true);
    layout_valid_ = true;
}

void SymbolAtlasTextImpl::on_change_text()
{
    layout_valid_ = false;
    buffers_valid_ = false;
}

float SymbolAtlasTextImpl::get_width(const WString&)
{
    if (!layout_valid_)
        layout();
    return static_cast<float>(glyphs_.GetExtent().first);
}

float SymbolAtlasTextImpl::get_height()
{
    if (!layout_valid_)
        layout();
    return static_cast<float>(glyphs_.GetExtent().second);
}

void SymbolAtlasTextImpl::fill(SymbolAtlasVertexBuffers& buffers)
{
    if (!layout_valid_)
        layout();
    const text::SymbolAtlasRep& rep = atlas_.get_rep();
    const std::vector<TrueText::GlyphEntry> main = glyphs_.GetMainEntries();
    const std::vector<TrueText::GlyphEntry> outline = glyphs_.GetOutlineEntries();
    const float width = get_width(WString());
    const float height = get_height();
    const int32_t alignment = params_ ? params_->alignment : LEFT;
    const float hx = alignment == CENTER ? -width * 0.5f : alignment == RIGHT ? -width : 0.0f;
    int32_t depth = 0;
    for (const TrueText::GlyphEntry& entry : main)
        depth = std::max(depth, entry.depth);
    const int32_t valignment = params_ ? params_->valignment : BOTTOM_BASELINE;
    const float vy = valignment == TOP               ? -height
                     : valignment == MIDDLE          ? -height * 0.5f
                     : valignment == BOTTOM_BASELINE ? -static_cast<float>(depth)
                                                     : 0.0f;
    auto build = [hx, vy](const std::vector<TrueText::GlyphEntry>& entries, text::SymbolAtlasRep::Size size,
                          std::vector<float>& positions, std::vector<float>& uv) {
        const float tw_total = static_cast<float>(std::max(size.width, 1));
        const float th_total = static_cast<float>(std::max(size.height, 1));
        for (const TrueText::GlyphEntry& e : entries) {
            const float w = static_cast<float>(e.right - e.left + 1);
            const float h = static_cast<float>(e.bottom - e.top + 1);
            const float x = static_cast<float>(e.x) + hx;
            const float y = static_cast<float>(e.y) + vy;
            const float u0 = static_cast<float>(e.left) / tw_total;
            const float u1 = u0 + w / tw_total;
            const float vb = (static_cast<float>(e.top) + h) / th_total;
            const float vt = static_cast<float>(e.top) / th_total;
            add_quad(positions, uv, x, y, x + w, y + h, u0, u1, vb, vt);
        }
    };
    std::vector<float> positions;
    std::vector<float> uv;
    outline_triangles_ = outline_vertices_ = 0;
    if (rep.has_outline() && !outline.empty()) {
        build(outline, rep.get_outline_size(), positions, uv);
        if (buffers.outline && buffers.outline->update(positions, hard::FloatArray{}, hard::FloatArray{}, uv)) {
            outline_triangles_ = static_cast<uint32_t>(2 * outline.size());
            outline_vertices_ = static_cast<uint32_t>(6 * outline.size());
        }
    }
    positions.clear();
    uv.clear();
    main_triangles_ = main_vertices_ = 0;
    build(main, rep.get_main_size(), positions, uv);
    if (!main.empty() && buffers.main && buffers.main->update(positions, hard::FloatArray{}, hard::FloatArray{}, uv)) {
        main_triangles_ = static_cast<uint32_t>(2 * main.size());
        main_vertices_ = static_cast<uint32_t>(6 * main.size());
    }
    ++fill_count_;
}

void SymbolAtlasTextImpl::render_to_list(hard::Hardware& hardware, material::Material& material,
                                         const math::Matrix4& world, hard::RenderList& list)
{
    SymbolAtlasVertexBuffers* buffers = find_data(&hardware);
    if (!buffers)
        return;
    if (!buffers_valid_) {
        // Every device's buffers follow the one layout.
        for (auto& pair : pairs_) {
            if (pair.second)
                fill(*pair.second);
        }
        buffers_valid_ = true;
    }
    const text::SymbolAtlasRep& rep = atlas_.get_rep();
    math::Matrix4 moved = world;
    moved[3] += 0.5f;
    moved[7] += 0.5f;
    if (hard::Texture* texture = rep.get_outline_texture(hardware); texture && outline_vertices_ > 0) {
        hard::RenderRecord record;
        record.world = moved;
        // Just behind the glyphs: a step along the camera's view, which is its own -z
        // (a mirrored camera looks toward +z).
        record.world[11] -= std::copysign(0.05f, list.camera_matrix[10]);
        record.vertex_buffer = buffers->outline.get();
        record.primitive_count = outline_triangles_;
        record.vertex_count = outline_vertices_;
        record.transparency = transparency;
        record.stages[0].texture = texture;
        record.stages[0].alpha = 1;
        list.add_record(record);
    }
    hard::Texture* texture = rep.get_main_texture(hardware);
    if (!texture || main_vertices_ == 0)
        return;
    hard::RenderRecord record;
    material.fill_render_material(hardware, record);
    record.world = moved;
    record.vertex_buffer = buffers->main.get();
    record.primitive_count = main_triangles_;
    record.vertex_count = main_vertices_;
    record.transparency = transparency;
    record.stages[0].texture = texture;
    record.stages[0].alpha = 1;
    list.add_record(record);
}

// --- Factory ---

void TextImplFactory::Visit(text::SymbolAtlas& atlas) { result = std::make_unique<SymbolAtlasTextImpl>(atlas); }
void TextImplFactory::Visit(font::TrueType& font) { result = std::make_unique<TrueTypeTextImpl>(font); }
void TextImplFactory::Visit(font::Proportional& font) { result = std::make_unique<ProportionalTextImpl>(font); }

// --- Text node ---

Text::Text(const Atom& name, Node* parent) : Node(name, parent), material_(Atom("Shader"))
{
    element_name_ = get_type_name();
}

Text::Text(const Text& other)
    : Object(other), Soul(other), Node(other), ObjectUnicode(other), params_(other.params_),
      material_(other.material_)
{
    // The copy works on its own copy of the font; it holds no use of the table's.
    if (other.impl_) {
        impl_ = other.impl_->clone();
        impl_->bind(&params_);
        impl_->on_change_text();
    }
}

Text::~Text()
{
    impl_.reset();
    font_.reset();
}

Atom Text::get_type_name() const { return Atom("Text"); }

Node* Text::clone() const { return new Text(*this); }

void Text::accept(NodeVisitor& visitor) { visitor.visit_text(*this); }

bool Text::change_attribute(const Atom& name, double value)
{
    if (name == Atom("Transparency")) {
        if (!impl_)
            return false;
        impl_->transparency = static_cast<float>(value);
        return true;
    }
    return Node::change_attribute(name, value);
}

bool Text::change_attribute(const Atom& name, const math::Vector3& value)
{
    if (name == Atom("Color")) {
        material_.change_attribute(Atom("Diffuse"), value);
        material_.change_attribute(Atom("Emissive"), value);
        return true;
    }
    return Node::change_attribute(name, value);
}

bool Text::change_attribute(const Atom& name, const WString& value)
{
    if (name == Atom("Text")) {
        set_text(value, false);
        return true;
    }
    if (name == Atom("Font")) {
        String path;
        converter::convert(value, &path);
        set_font(path);
        return true;
    }
    return name == Atom("CheckLetters");
}

bool Text::get_attribute(const Atom& name, double& value)
{
    if (name == Atom("Transparency") && impl_) {
        value = impl_->transparency;
        return true;
    }
    return Node::get_attribute(name, value);
}

bool Text::get_attribute(const Atom& name, WString& value)
{
    if (name == Atom("Text")) {
        value = params_.text;
        return true;
    }
    return false;
}

animate::Animatable* Text::find_object(const Atom& name, bool recursive)
{
    if (name == material_.get_name())
        return &material_;
    return Node::find_object(name, recursive);
}

void Text::make_impl()
{
    impl_.reset();
    if (!font_)
        return;
    TextImplFactory factory;
    font_.get()->accept(factory);
    impl_ = std::move(factory.result);
    if (impl_)
        impl_->bind(&params_);
}

void Text::set_font(const String& path)
{
    font::FontUse use(path);
    font_ = use;
    make_impl();
    if (impl_)
        impl_->on_change_text();
}

void Text::set_text(const WString& text, bool escapes)
{
    params_.text = escapes ? unescape(text) : text;
    if (impl_)
        impl_->on_change_text();
}

void Text::set_text(const String& text, bool escapes) { set_text(widen(text), escapes); }

void Text::set_text_utf8(const String& text, bool escapes)
{
    std::string fixed;
    utf8::replace_invalid(text.data(), text.data_end(), std::back_inserter(fixed), 0xFFFDu);
    std::u16string units = utf8::utf8to16(fixed);
    set_text(units.empty() ? WString() : WString(units.data(), units.data() + units.size()), escapes);
}

void Text::set_max_width(int32_t width)
{
    params_.max_width = width;
    update_layout();
}

void Text::set_alignment(int32_t alignment)
{
    params_.alignment = alignment;
    update_layout();
}

void Text::set_valignment(int32_t valignment)
{
    params_.valignment = valignment;
    update_layout();
}

void Text::update_layout()
{
    if (impl_)
        impl_->on_change_text();
}

float Text::get_width(const WString& text) const { return impl_ ? impl_->get_width(text) : 0.0f; }

float Text::get_height() const { return impl_ ? impl_->get_height() : 0.0f; }

void Text::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    if (!impl_)
        return;
    if (impl_->transparency < 0.998f)
        impl_->render_to_list(hardware, material_, get_cached_global_matrix(), list);
    Node::render_to_list(hardware, list);
}

bool Text::OnAttribute(xml::Provider&, const WString& name, const WString& value)
{
    String narrow;
    converter::convert(name, &narrow);
    if (narrow == "Font") {
        String path;
        converter::convert(value, &path);
        font_ = font::FontUse(path);
        return true;
    }
    if (narrow == "Text") {
        set_text(value, true);
        return true;
    }
    if (narrow == "TextId") {
        String id;
        converter::convert(value, &id);
        set_text(lookup_text(id), true);
        return true;
    }
    if (narrow == "Alignment")
        return find_value(alignment_names, value, &params_.alignment);
    if (narrow == "VAlignment")
        return find_value(valignment_names, value, &params_.valignment);
    if (narrow == "LayoutRules")
        return find_value(layout_rules_names, value, &params_.layout_rules);
    if (narrow == "Normalize") {
        if (value == WString(u"true"))
            params_.normalize = 1;
        else if (value == WString(u"false"))
            params_.normalize = 0;
        else
            return false;
        return true;
    }
    if (narrow == "MaxWidth")
        return converter::convert(value, &params_.max_width);
    if (narrow == "Transparency")
        return converter::convert(value, &pending_transparency_);
    // The node base's attributes arrive through the narrow interface.
    return false;
}

bool Text::OnNode(xml::Provider& provider, const String& name)
{
    if (name == "Shader")
        return provider.ParseObject(material_);
    return Node::OnNode(provider, name);
}

bool Text::OnEndNode(xml::Provider&)
{
    make_impl();
    if (impl_) {
        impl_->transparency = static_cast<float>(pending_transparency_);
        impl_->on_change_text();
    }
    return true;
}

void Text::OnSaveAttributes(xml::Saver& saver)
{
    if (font_)
        saver.write_attribute("Font", font_.get_path().get_text());
    if (!params_.text.empty())
        xml::write_attribute_value(saver, WString(u"Text"), params_.text);
    if (params_.alignment != LEFT) {
        if (const char* name = find_name(alignment_names, params_.alignment))
            saver.write_attribute("Alignment", name);
    }
    if (!params_.normalize)
        saver.write_attribute("Normalize", "false");
    Node::OnSaveAttributes(saver);
}

void Text::OnSaveNodes(xml::Saver& saver)
{
    saver.save_element(String("Shader"), material_);
    Node::OnSaveNodes(saver);
}

} // namespace vadu::lib3d::node
