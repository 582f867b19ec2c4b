#include "vadu/lib3d/node/image.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/xml_writer.h"

namespace vadu::lib3d::node {

namespace {

struct Names {
    Atom transparency{"Transparency"};
    Atom color{"Color"};
    Atom src{"Src"};
};

const Names& names()
{
    static const Names table;
    return table;
}

const char* const alignment_words[] = {"CENTER", "LEFT", "RIGHT", "TOP", "BOTTOM"};

math::Vector3 apply(const math::Matrix4& m, float x, float y)
{
    return math::Vector3{m[0] * x + m[1] * y + m[3], m[4] * x + m[5] * y + m[7], m[8] * x + m[9] * y + m[11]};
}

std::unique_ptr<material::TextureSimple> make_texture(const filesystem::String& path)
{
    return std::make_unique<material::TextureSimple>(Atom(), material::TextureSimpleLoader(path, true));
}

} // namespace

bool alignment_from_word(const String& word, int32_t* value)
{
    for (int32_t i = 0; i < static_cast<int32_t>(std::size(alignment_words)); ++i) {
        if (word == alignment_words[i]) {
            *value = i;
            return true;
        }
    }
    return false;
}

const char* alignment_word(int32_t value)
{
    if (value < 0 || value >= static_cast<int32_t>(std::size(alignment_words)))
        return nullptr;
    return alignment_words[value];
}

math::Vector2<float> alignment_offset(int32_t align_x, int32_t align_y, float w, float h)
{
    math::Vector2<float> offset;
    if (align_x == ALIGN_LEFT)
        offset.x = 0.0f;
    else if (align_x == ALIGN_RIGHT)
        offset.x = -w;
    else
        offset.x = -w / 2.0f;
    if (align_y == ALIGN_TOP)
        offset.y = -h;
    else if (align_y == ALIGN_BOTTOM)
        offset.y = 0.0f;
    else
        offset.y = -h / 2.0f;
    return offset;
}

// ImageImpl

ImageImpl::ImageImpl(Image& owner) : owner_(owner)
{
    register_once();
}

ImageImpl::ImageImpl(Image& owner, const ImageImpl& other)
    : align_x(other.align_x),
      align_y(other.align_y),
      width(other.width),
      height(other.height),
      transparency(other.transparency),
      colour(other.colour),
      alpha_test(other.alpha_test),
      alpha_reference(other.alpha_reference),
      owner_(owner),
      picture_name_(other.picture_name_)
{
    if (other.texture_)
        texture_ = std::make_unique<material::TextureSimple>(*other.texture_);
    register_once();
}

ImageImpl::~ImageImpl()
{
    if (registered_)
        hard::Manager::remove_dependent(this);
}

void ImageImpl::register_once()
{
    if (registered_ || !hard::Manager::exists())
        return;
    hard::Manager::add_dependent(this);
    registered_ = true;
}

void ImageImpl::on_add_hardware(hard::Hardware* hardware)
{
    add_data(hardware, hardware->create_vertex_buffer(false));
    // The new device's buffer has to be filled before the image is drawn again.
    dirty_ = 1;
}

void ImageImpl::read_picture(const String& name)
{
    picture_name_ = name;
    texture_ = make_texture(filesystem::String(name, true));
    dirty_ = 1;
}

void ImageImpl::change_picture(const filesystem::String& path)
{
    // Only a picture that is on screen is kept; one that never was is simply replaced.
    if (!previous_ && filled_ && !dirty_)
        previous_ = std::move(texture_);
    texture_ = make_texture(path);
    picture_name_ = path.get_text();
    dirty_ = 1;
}

void ImageImpl::OnSaveAttributes(xml::Saver& saver)
{
    char buffer[32];
    if (transparency > 0.0001) {
        converter::print_double(buffer, transparency);
        saver.write_attribute("Transparency", buffer);
    }
    constexpr float tolerance = 1.1920929e-7f;
    if (std::fabs(colour.x - 1.0f) > tolerance || std::fabs(colour.y - 1.0f) > tolerance ||
        std::fabs(colour.z - 1.0f) > tolerance) {
        String text;
        for (float component : {colour.x, colour.y, colour.z}) {
            if (!text.empty())
                text += " ";
            converter::print_float(buffer, component);
            text += buffer;
        }
        saver.write_attribute("Color", text);
    }
    if (width != -1) {
        converter::print_int(buffer, width);
        saver.write_attribute("Width", buffer);
    }
    if (height != -1) {
        converter::print_int(buffer, height);
        saver.write_attribute("Height", buffer);
    }
    if (align_x != ALIGN_LEFT && alignment_word(align_x))
        saver.write_attribute("AlignX", alignment_word(align_x));
    if (align_y != ALIGN_TOP && alignment_word(align_y))
        saver.write_attribute("AlignY", alignment_word(align_y));
    // Written whether or not the picture has loaded yet: a scene saved early must not
    // lose it.
    if (texture_ && !picture_name_.empty())
        saver.write_attribute("Src", picture_name_);
}

bool ImageImpl::is_picture_loaded(const hard::Hardware* hardware) const
{
    if (!texture_ || !texture_->get_rep())
        return false;
    const material::TextureSimpleRep& rep = *texture_->get_rep();
    if (!rep.is_loaded() || !rep.has_picture())
        return false;
    for (const auto& pair : rep.get_pairs()) {
        if ((hardware == nullptr || pair.first == hardware) && pair.second)
            return true;
    }
    return false;
}

int32_t ImageImpl::get_picture_width() const
{
    return texture_ && texture_->get_rep() ? material::texture_width(*texture_->get_rep(), false) : 0;
}

int32_t ImageImpl::get_picture_height() const
{
    return texture_ && texture_->get_rep() ? material::texture_height(*texture_->get_rep(), false) : 0;
}

float ImageImpl::effective_width() const
{
    return static_cast<float>(width < 0 ? get_picture_width() : width);
}

float ImageImpl::effective_height() const
{
    return static_cast<float>(height < 0 ? get_picture_height() : height);
}

void ImageImpl::fill_vb(hard::VertexBuffer& buffer)
{
    const float w = effective_width();
    const float h = effective_height();
    const math::Vector2<float> offset = alignment_offset(align_x, align_y, w, h);
    const float x0 = offset.x;
    const float y0 = offset.y;
    struct Corner {
        float x, y, u, v;
    };
    const Corner corners[4] = {{x0, y0, 0.0f, 0.0f}, {x0, y0 + h, 0.0f, 1.0f}, {x0 + w, y0, 1.0f, 0.0f},
                               {x0 + w, y0 + h, 1.0f, 1.0f}};
    // Both triangles once each way round, so the picture shows from behind too.
    static const int order[12] = {0, 1, 2, 2, 1, 3, 0, 2, 1, 2, 3, 1};
    hard::FloatArray positions;
    hard::FloatArray uvs;
    positions.reserve(36);
    uvs.reserve(24);
    for (int index : order) {
        const Corner& corner = corners[index];
        positions.insert(positions.end(), {corner.x, corner.y, 0.0f});
        uvs.insert(uvs.end(), {corner.u, corner.v});
    }
    if (!buffer.update(positions, uvs))
        throw Gluck("vadu::lib3d::node::ImageImpl::fill_vb", "vb->update() failed");
    rect_[0] = x0;
    rect_[1] = y0;
    rect_[2] = w;
    rect_[3] = h;
}

void ImageImpl::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    // An image made before the device manager existed joins it now.
    register_once();
    hard::VertexBuffer* buffer = find_data(&hardware);
    if (!buffer)
        return;
    if ((!filled_ || dirty_) && is_picture_loaded(&hardware) && get_picture_width() != 0 &&
        get_picture_height() != 0) {
        fill_vb(*buffer);
        filled_ = 1;
        dirty_ = 0;
        previous_.reset();
    }
    // A buffer that was never filled holds nothing to draw, dirty or not.
    if (!filled_)
        return;
    transparency = std::clamp(transparency, 0.0001, 0.9999);
    if (transparency >= 0.998)
        return;
    hard::RenderRecord record;
    record.diffuse = colour;
    record.emissive = colour;
    record.specular_power = 0.0;
    record.transparency = transparency;
    // The device decides what the alpha test means.
    record.flag = alpha_test;
    record.factor = alpha_reference;
    record.world = owner_.get_cached_global_matrix();
    record.vertex_buffer = buffer;
    record.first_primitive = 0;
    record.primitive_count = 4;
    record.first_vertex = 0;
    record.vertex_count = 12;
    record.filter = 1;
    material::TextureSimple* shown = previous_ ? previous_.get() : texture_.get();
    if (shown)
        shown->apply(hardware, record.stages[0]);
    // A device texture that lost its contents is reloaded; until then nothing is drawn.
    if (record.stages[0].texture)
        list.add_record(record);
}

bool ImageImpl::query_bounds(BoundsQuery& query)
{
    if (!query.begin())
        return false;
    BoundsRect& rect = query.rect();
    const float w = effective_width();
    const float h = effective_height();
    if (is_picture_loaded(nullptr) && w != 0.0f && h != 0.0f) {
        const math::Matrix4 global = owner_.get_global_matrix(false);
        const math::Vector2<float> offset = alignment_offset(align_x, align_y, w, h);
        const math::Vector3 a = apply(global, offset.x, offset.y);
        const math::Vector3 b = apply(global, offset.x + w, offset.y + h);
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

// Image

Image::Image(const Atom& name, Node* parent) : Node(name, parent), impl_(std::make_unique<ImageImpl>(*this))
{
    element_name_ = get_type_name();
}

Image::Image(const Image& other)
    : xml::Object(other),
      animate::Soul(other),
      Node(other),
      BoundsSource(other),
      impl_(std::make_unique<ImageImpl>(*this, *other.impl_))
{
}

Image::~Image() = default;

bool Image::change_attribute(const Atom& name, double value)
{
    if (name != names().transparency)
        return Node::change_attribute(name, value);
    impl_->transparency = value;
    return true;
}

bool Image::change_attribute(const Atom& name, const math::Vector3& value)
{
    if (name != names().color)
        return Node::change_attribute(name, value);
    impl_->colour = value;
    return true;
}

bool Image::change_attribute(const Atom& name, const filesystem::String& value)
{
    if (name != names().src)
        return Node::change_attribute(name, value);
    impl_->change_picture(value);
    return true;
}

bool Image::get_attribute(const Atom& name, double& value)
{
    if (name != names().transparency)
        return Node::get_attribute(name, value);
    value = impl_->transparency;
    return true;
}

bool Image::get_attribute(const Atom& name, math::Vector3& value)
{
    if (name != names().color)
        return Node::get_attribute(name, value);
    value = impl_->colour;
    return true;
}

Atom Image::get_type_name() const
{
    static const Atom type("Image");
    return type;
}

Node* Image::clone() const
{
    return new Image(*this);
}

void Image::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    impl_->render_to_list(hardware, list);
    Node::render_to_list(hardware, list);
}

void Image::accept(NodeVisitor& visitor)
{
    visitor.visit_image(*this);
}

bool Image::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    ImageImpl& impl = *impl_;
    if (name == "Transparency")
        return converter::convert(value, &impl.transparency);
    if (name == "Color")
        return read_vector3(value, &impl.colour);
    if (name == "AlignX")
        return alignment_from_word(value, &impl.align_x);
    if (name == "AlignY")
        return alignment_from_word(value, &impl.align_y);
    if (name == "Width")
        return converter::convert(value, &impl.width);
    if (name == "Height")
        return converter::convert(value, &impl.height);
    if (name == "AlphaTest") {
        bool flag = false;
        if (!converter::convert(value, &flag))
            return false;
        impl.alpha_test = flag ? 1 : 0;
        return true;
    }
    if (name == "AlphaReference")
        return converter::convert(value, &impl.alpha_reference);
    if (name == "Src") {
        impl.read_picture(value);
        return true;
    }
    return Node::OnAttribute(provider, name, value);
}

void Image::OnSaveAttributes(xml::Saver& saver)
{
    impl_->OnSaveAttributes(saver);
    Node::OnSaveAttributes(saver);
}

bool Image::query_bounds(BoundsQuery& query)
{
    return impl_->query_bounds(query);
}

} // namespace vadu::lib3d::node
