#include "vadu/lib3d/node/sprite.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "vadu/converter.h"

namespace vadu::lib3d::node {

namespace {

struct Names {
    Atom transparency{"Transparency"};
    Atom specular_level{"SpecularLevel"};
    Atom frame_index{"FrameIndex"};
    Atom src{"Src"};
    Atom frame{"Frame"};
};

const Names& names()
{
    static const Names table;
    return table;
}

constexpr float no_fragment = std::numeric_limits<float>::quiet_NaN();

bool read_flag(const String& text, uint8_t* flag)
{
    bool value = false;
    if (!converter::convert(text, &value))
        return false;
    *flag = value ? 1 : 0;
    return true;
}

// Node matrices are affine: no projective division (an unset, all-zero matrix gives the
// origin rather than NaN).
math::Vector3 apply(const math::Matrix4& m, float x, float y)
{
    return math::Vector3{m[0] * x + m[1] * y + m[3], m[4] * x + m[5] * y + m[7], m[8] * x + m[9] * y + m[11]};
}

bool ready(material::TextureHandle* texture)
{
    return texture != nullptr && texture->is_ready();
}

} // namespace

Sprite::Sprite(const Atom& name, Node* parent) : Node(name, parent)
{
    std::fill(std::begin(fragment_), std::end(fragment_), no_fragment);
}

Sprite::Sprite(const Sprite& other)
    : xml::Object(other),
      animate::Soul(other),
      Node(other),
      BoundsSource(other),
      anchor_(other.anchor_),
      absolute_fragment_(other.absolute_fragment_),
      auto_filter_(other.auto_filter_),
      filter_(other.filter_),
      transparency_(other.transparency_),
      specular_level_(other.specular_level_),
      colour_(other.colour_),
      width_(other.width_),
      height_(other.height_),
      tile_(other.tile_),
      tile_offset_(other.tile_offset_),
      atlas_path_(other.atlas_path_),
      frame_name_(other.frame_name_),
      picture_path_(other.picture_path_),
      wrap_(other.wrap_)
{
    std::copy(std::begin(other.fragment_), std::end(other.fragment_), std::begin(fragment_));
    if (other.texture_)
        texture_ = std::make_unique<material::TextureHandle>(*other.texture_);
    if (other.previous_)
        previous_ = std::make_unique<material::TextureHandle>(*other.previous_);
}

Sprite::~Sprite() = default;

bool Sprite::change_attribute(const Atom& name, double value)
{
    if (name == names().transparency) {
        transparency_ = value;
        return true;
    }
    if (name == names().specular_level) {
        specular_level_ = value;
        return true;
    }
    if (name == names().frame_index) {
        // Through "%g" text, as animation tracks have always delivered frame numbers: a
        // value a hair below a whole number reads back as that number.
        char buffer[32];
        converter::print_double(buffer, value);
        double read_back = 0.0;
        converter::convert(String(buffer), &read_back);
        // Beyond the integer range (or NaN) there is no frame to select.
        if (read_back > -2147483648.0 && read_back < 2147483648.0)
            select_frame_index(static_cast<int32_t>(std::trunc(read_back)));
        return true;
    }
    return Node::change_attribute(name, value);
}

bool Sprite::change_attribute(const Atom& name, const filesystem::String& value)
{
    if (name != names().src)
        return Node::change_attribute(name, value);
    replace_texture_keeping_shown(std::make_unique<material::TextureHandle>(value, false));
    return true;
}

bool Sprite::change_attribute(const Atom& name, const WString& value)
{
    if (name != names().frame)
        return Node::change_attribute(name, value);
    Atom frame;
    converter::convert(value, &frame);
    set_frame(frame);
    return true;
}

Atom Sprite::get_type_name() const
{
    static const Atom type("Sprite");
    return type;
}

Node* Sprite::clone() const
{
    return new Sprite(*this);
}

void Sprite::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    if (global_changed_)
        geometry_dirty_ = 1;
    if (geometry_dirty_ && ready(texture_.get())) {
        build_quad();
        previous_.reset();
        geometry_dirty_ = 0;
    }
    if (ready(texture_.get()) || ready(previous_.get())) {
        transparency_ = std::clamp(transparency_, 0.0001, 0.9999);
        if (transparency_ < 0.998 && quad_built_) {
            item_.transparency = transparency_;
            item_.specular_level = specular_level_;
            item_.colour = colour_;
            if (auto_filter_) {
                const math::Matrix4& m = global_matrix_;
                item_.filter = (std::fabs(m[0] - 1.0f) >= 0.01f || std::fabs(m[5] - 1.0f) >= 0.01f ||
                                std::fabs(m[1]) >= 0.01f || std::fabs(m[4]) >= 0.01f)
                                   ? 1
                                   : 0;
            } else {
                item_.filter = filter_;
            }
            material::TextureHandle& shown = previous_ ? *previous_ : *texture_;
            item_.stage = hard::TextureStage{};
            shown.apply(hardware, item_.stage);
            // A device texture that lost its contents is reloaded; until then the sprite
            // is left out rather than drawn as a blank quad.
            if (item_.stage.texture)
                list.add_sprite(item_);
        }
    }
    Node::render_to_list(hardware, list);
}

bool Sprite::update_quad()
{
    if (ready(texture_.get())) {
        build_quad();
        previous_.reset();
        geometry_dirty_ = 0;
    }
    return quad_built_;
}

bool Sprite::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "Transparency")
        return converter::convert(value, &transparency_);
    if (name == "SpecularLevel")
        return converter::convert(value, &specular_level_);
    if (name == "Color")
        return read_vector3(value, &colour_);
    if (name == "Anchor")
        return converter::convert(value, &anchor_);
    if (name == "Tile")
        return converter::convert(value, &tile_);
    if (name == "TileOffset")
        return converter::convert(value, &tile_offset_);
    if (name == "Fragment") {
        float rect[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        if (!converter::to_rect(value, rect))
            return false;
        std::copy(std::begin(rect), std::end(rect), std::begin(fragment_));
        return true;
    }
    if (name == "AbsoluteFragment")
        return read_flag(value, &absolute_fragment_);
    if (name == "Wrap")
        return read_flag(value, &wrap_);
    if (name == "Src") {
        picture_path_ = value;
        return true;
    }
    if (name == "Atlas") {
        atlas_path_ = value;
        return true;
    }
    if (name == "Frame") {
        frame_name_ = value;
        return true;
    }
    if (name == "Width")
        return converter::convert(value, &width_);
    if (name == "Height")
        return converter::convert(value, &height_);
    if (name == "FilterTexture" || name == "TextureFilter") {
        if (!read_flag(value, &filter_))
            return false;
        auto_filter_ = 0;
        return true;
    }
    if (name == "AutoFiltration" || name == "AutoFilter")
        return read_flag(value, &auto_filter_);
    return Node::OnAttribute(provider, name, value);
}

bool Sprite::OnEndNode(xml::Provider& provider)
{
    if (!atlas_path_.empty()) {
        replace_texture(
            std::make_unique<material::TextureHandle>(filesystem::String(atlas_path_, true), Atom(frame_name_)));
    } else if (!picture_path_.empty()) {
        replace_texture(
            std::make_unique<material::TextureHandle>(filesystem::String(picture_path_, true), wrap_ != 0));
    }
    // Unlike the scene files of old, an "Animation" on a sprite drives the sprite.
    return Node::OnEndNode(provider);
}

bool Sprite::query_bounds(BoundsQuery& query)
{
    if (!query.begin())
        return false;
    BoundsRect& rect = query.rect();
    const auto w = static_cast<float>(get_width());
    const auto h = static_cast<float>(get_height());
    if (w != 0.0f && h != 0.0f) {
        const math::Matrix4 global = get_global_matrix(false);
        const float x0 = -anchor_.x * w;
        const float y0 = -anchor_.y * h;
        const math::Vector3 a = apply(global, x0, y0);
        const math::Vector3 b = apply(global, x0 + w, y0 + h);
        rect.min_x = std::min(a.x, b.x);
        rect.min_y = std::min(a.y, b.y);
        rect.max_x = std::max(a.x, b.x);
        rect.max_y = std::max(a.y, b.y);
        rect.empty = 0;
    } else {
        rect.min_x = rect.min_y = rect.max_x = rect.max_y = std::numeric_limits<float>::quiet_NaN();
        rect.empty = 1;
    }
    return query.finish();
}

void Sprite::set_anchor(float x, float y)
{
    anchor_ = math::Vector2<float>{x, y};
    geometry_dirty_ = 1;
}

void Sprite::set_filter_texture(bool filter)
{
    filter_ = filter ? 1 : 0;
    auto_filter_ = 0;
}

void Sprite::set_width(float width)
{
    width_ = static_cast<int32_t>(std::lround(width));
    geometry_dirty_ = 1;
}

void Sprite::set_height(float height)
{
    height_ = static_cast<int32_t>(std::lround(height));
    geometry_dirty_ = 1;
}

void Sprite::set_fragment(float x, float y, float width, float height)
{
    fragment_[0] = x;
    fragment_[1] = y;
    fragment_[2] = width;
    fragment_[3] = height;
    geometry_dirty_ = 1;
    uv_dirty_ = 1;
}

void Sprite::set_frame(const Atom& frame_name)
{
    if (texture_)
        texture_->set_frame_by_name(frame_name);
    geometry_dirty_ = 1;
    uv_dirty_ = 1;
}

void Sprite::set_texture(const String& path, bool wrap)
{
    replace_texture(std::make_unique<material::TextureHandle>(filesystem::String(path, true), wrap));
}

void Sprite::set_atlas_texture(const String& atlas_path, const Atom& frame_name)
{
    replace_texture(std::make_unique<material::TextureHandle>(filesystem::String(atlas_path, true), frame_name));
}

void Sprite::set_atlas_texture_index(const String& atlas_path, int32_t frame_index)
{
    replace_texture(std::make_unique<material::TextureHandle>(filesystem::String(atlas_path, true), frame_index));
}

int32_t Sprite::get_width()
{
    if (width_ != 0)
        return width_;
    return ready(texture_.get()) ? texture_->get_width() : 0;
}

int32_t Sprite::get_height()
{
    if (height_ != 0)
        return height_;
    return ready(texture_.get()) ? texture_->get_height() : 0;
}

math::Vector2<float> Sprite::get_anchor_offset()
{
    return math::Vector2<float>{-anchor_.x * static_cast<float>(get_width()),
                                -anchor_.y * static_cast<float>(get_height())};
}

std::array<float, 4> Sprite::get_global_rect()
{
    // The anchor offset points from the anchor to the lower-left corner, so it is added.
    const math::Vector3 position = get_global_position();
    const math::Vector2<float> offset = get_anchor_offset();
    return {position.x + offset.x, position.y + offset.y, static_cast<float>(get_width()),
            static_cast<float>(get_height())};
}

void Sprite::replace_texture_keeping_shown(std::unique_ptr<material::TextureHandle> texture)
{
    if (!previous_ && texture_ && quad_built_)
        previous_ = std::move(texture_);
    replace_texture(std::move(texture));
}

void Sprite::replace_texture(std::unique_ptr<material::TextureHandle> texture)
{
    texture_ = std::move(texture);
    // The quad belongs to the previous texture while there is one.
    if (!previous_)
        quad_built_ = false;
    geometry_dirty_ = 1;
    uv_dirty_ = 1;
}

void Sprite::select_frame_index(int32_t index)
{
    if (texture_)
        texture_->set_frame_by_index(index);
    geometry_dirty_ = 1;
    uv_dirty_ = 1;
}

void Sprite::build_quad()
{
    const auto w = static_cast<float>(get_width());
    const auto h = static_cast<float>(get_height());
    float x0 = -anchor_.x * w;
    float y0 = -anchor_.y * h;
    float width = w;
    float height = h;
    if (!std::isnan(fragment_[0])) {
        if (absolute_fragment_) {
            x0 += fragment_[0];
            y0 += fragment_[1];
            width = fragment_[2];
            height = fragment_[3];
        } else {
            x0 += fragment_[0] * w;
            y0 += fragment_[1] * h;
            width = w * fragment_[2];
            height = h * fragment_[3];
        }
    }
    const math::Matrix4& m = global_matrix_;
    const math::Vector3 corners[4] = {apply(m, x0, y0), apply(m, x0, y0 + height), apply(m, x0 + width, y0),
                                      apply(m, x0 + width, y0 + height)};
    if (uv_dirty_) {
        compute_uv();
        uv_dirty_ = 0;
    }
    // A mirroring matrix would turn the quad's triangles around; swapping the two middle
    // corners keeps their winding.
    const bool mirrored = m[0] * m[5] < 0.0f;
    for (int i = 0; i < 4; ++i) {
        const int source = mirrored && (i == 1 || i == 2) ? 3 - i : i;
        item_.corners[i][0] = corners[source].x;
        item_.corners[i][1] = corners[source].y;
        item_.corners[i][2] = 0.0f;
        item_.uv[i][0] = uv_[source][0];
        item_.uv[i][1] = uv_[source][1];
    }
    item_.depth = corners[0].z;
    quad_built_ = true;
}

void Sprite::compute_uv()
{
    material::TextureHandle& texture = *texture_;
    float u0 = tile_offset_.x;
    float u1 = tile_.x;
    float v0 = tile_offset_.y;
    float v1 = tile_.y;
    if (!std::isnan(fragment_[0])) {
        float fx = fragment_[0];
        float fy = fragment_[1];
        float fw = fragment_[2];
        float fh = fragment_[3];
        if (absolute_fragment_) {
            const auto w = static_cast<float>(get_width());
            const auto h = static_cast<float>(get_height());
            if (w != 0.0f) {
                fx /= w;
                fw /= w;
            }
            if (h != 0.0f) {
                fy /= h;
                fh /= h;
            }
        }
        u0 = fx;
        u1 = fx + fw;
        v0 = fy;
        v1 = fy + fh;
    }
    const float us = texture.map_u(u0);
    const float ue = texture.map_u(u1);
    const float vs = texture.map_v(v0);
    const float ve = texture.map_v(v1);
    const float uv[4][2] = {{us, vs}, {us, ve}, {ue, vs}, {ue, ve}};
    std::copy(&uv[0][0], &uv[0][0] + 8, &uv_[0][0]);
}

} // namespace vadu::lib3d::node
