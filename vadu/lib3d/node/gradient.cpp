#include "vadu/lib3d/node/gradient.h"

#include <iterator>

#include "vadu/converter.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/node/image.h"

namespace vadu::lib3d::node {

namespace {

const char* const direction_words[] = {"LEFT", "RIGHT", "UP", "DOWN"};

bool direction_from_word(const String& word, int32_t* value)
{
    for (int32_t i = 0; i < static_cast<int32_t>(std::size(direction_words)); ++i) {
        if (word == direction_words[i]) {
            *value = i;
            return true;
        }
    }
    return false;
}

} // namespace

Gradient::Gradient(const Atom& name, Node* parent) : Node(name, parent), align_x_(ALIGN_LEFT), align_y_(ALIGN_TOP)
{
    element_name_ = get_type_name();
}

Gradient::Gradient(const Gradient& other)
    : xml::Object(other),
      animate::Soul(other),
      Node(other),
      buffers_(other.buffers_),
      rebuild_(1),
      start_color_(other.start_color_),
      end_color_(other.end_color_),
      start_transparency_(other.start_transparency_),
      end_transparency_(other.end_transparency_),
      width_(other.width_),
      height_(other.height_),
      align_x_(other.align_x_),
      align_y_(other.align_y_),
      direction_(other.direction_)
{
}

Gradient::~Gradient() = default;

Atom Gradient::get_type_name() const
{
    static const Atom type("Gradient");
    return type;
}

Node* Gradient::clone() const
{
    return new Gradient(*this);
}

bool Gradient::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    bool read = true;
    if (name == "Width")
        read = converter::convert(value, &width_);
    else if (name == "Height")
        read = converter::convert(value, &height_);
    else if (name == "AlignX")
        read = alignment_from_word(value, &align_x_);
    else if (name == "AlignY")
        read = alignment_from_word(value, &align_y_);
    else if (name == "Direction")
        read = direction_from_word(value, &direction_);
    else if (name == "StartColor")
        read = read_vector3(value, &start_color_);
    else if (name == "EndColor")
        read = read_vector3(value, &end_color_);
    else if (name == "StartTransparency")
        read = converter::convert(value, &start_transparency_);
    else if (name == "EndTransparency")
        read = converter::convert(value, &end_transparency_);
    else
        return Node::OnAttribute(provider, name, value);
    rebuild_ = 1;
    return read;
}

void Gradient::set_colors(const math::Vector3& start, const math::Vector3& end)
{
    start_color_ = start;
    end_color_ = end;
    rebuild_ = 1;
}

void Gradient::set_transparencies(float start, float end)
{
    start_transparency_ = start;
    end_transparency_ = end;
    rebuild_ = 1;
}

void Gradient::set_size(float width, float height)
{
    width_ = width;
    height_ = height;
    rebuild_ = 1;
}

void Gradient::set_direction(int32_t direction)
{
    direction_ = direction;
    rebuild_ = 1;
}

void Gradient::rebuild_gradient_plane()
{
    rebuild_ = 0;
    const float w = width_;
    const float h = height_;
    const math::Vector2<float> offset = alignment_offset(align_x_, align_y_, w, h);
    const float x0 = offset.x;
    const float y0 = offset.y;
    const float start[4] = {start_color_.x, start_color_.y, start_color_.z, 1.0f - start_transparency_};
    const float end[4] = {end_color_.x, end_color_.y, end_color_.z, 1.0f - end_transparency_};
    // Corners: 0 lower left, 1 upper left, 2 lower right, 3 upper right.
    const float corner_x[4] = {x0, x0, x0 + w, x0 + w};
    const float corner_y[4] = {y0, y0 + h, y0, y0 + h};
    const auto starts_at = [this](int corner) {
        const bool left = corner < 2;
        const bool bottom = corner % 2 == 0;
        switch (direction_) {
        case RIGHT:
            return left;
        case UP:
            return bottom;
        case DOWN:
            return !bottom;
        default:
            return !left;
        }
    };
    // Both triangles once each way round, so the plane shows from behind too.
    static const int order[12] = {0, 1, 2, 2, 1, 3, 0, 2, 1, 2, 3, 1};
    hard::FloatArray positions;
    hard::FloatArray colours;
    positions.reserve(36);
    colours.reserve(48);
    for (int corner : order) {
        positions.insert(positions.end(), {corner_x[corner], corner_y[corner], 0.0f});
        const float* colour = starts_at(corner) ? start : end;
        colours.insert(colours.end(), colour, colour + 4);
    }
    buffers_.fill_all(positions, colours, "vadu::lib3d::node::Gradient::rebuild_gradient_plane");
}

void Gradient::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    hard::VertexBuffer* buffer = buffers_.buffer_for(hardware);
    if (!buffer)
        return;
    if (!buffers_.is_filled(buffer) || rebuild_)
        rebuild_gradient_plane();
    hard::RenderRecord record;
    record.world = get_cached_global_matrix();
    // Always sorted with the blended records.
    record.transparency = 0.001f;
    record.vertex_buffer = buffer;
    record.first_primitive = 0;
    record.primitive_count = 4;
    record.first_vertex = 0;
    record.vertex_count = 12;
    list.add_record(record);
}

} // namespace vadu::lib3d::node
