#include "vadu/lib3d/node/plume2d.h"

#include <utility>

#include "vadu/converter.h"
#include "vadu/lib3d/hard/render_list.h"

namespace vadu::lib3d::node {

namespace {

using Point = math::Vector2<float>;

// The side of a direction: the direction turned by -1.57 rad about z.
Point side_of(const math::Matrix4& turn, Point direction)
{
    return Point{turn[0] * direction.x + turn[1] * direction.y, turn[4] * direction.x + turn[5] * direction.y};
}

} // namespace

Plume2D::Plume2D(const Atom& name, Node* parent) : Node(name, parent)
{
    element_name_ = get_type_name();
}

Plume2D::Plume2D(const Plume2D& other)
    : xml::Object(other),
      animate::Soul(other),
      Node(other),
      buffers_(other.buffers_),
      transparency_(other.transparency_),
      colour_(other.colour_),
      built_(other.built_),
      width_(other.width_),
      points_(other.points_)
{
}

Plume2D::~Plume2D() = default;

Atom Plume2D::get_type_name() const
{
    static const Atom type("Plume2D");
    return type;
}

Node* Plume2D::clone() const
{
    return new Plume2D(*this);
}

bool Plume2D::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "Width")
        return converter::convert(value, &width_);
    if (name == "Transparency")
        return converter::convert(value, &transparency_);
    if (name == "Color")
        return read_vector3(value, &colour_);
    return Node::OnAttribute(provider, name, value);
}

void Plume2D::set_points(std::vector<math::Vector2<float>> points)
{
    points_ = std::move(points);
    built_ = 1;
}

void Plume2D::rebuildPlume()
{
    if (points_.size() < 2)
        return;
    built_ = 1;
    const math::Matrix4 turn = math::Matrix4::rotation(0.0f, 0.0f, -1.57f);
    const float h = width_ * 0.5f;
    const float colour[4] = {colour_.x, colour_.y, colour_.z, 1.0f - transparency_};
    Point start_side = side_of(turn, Point{points_[1].x - points_[0].x, points_[1].y - points_[0].y}.normalized());
    hard::FloatArray positions;
    hard::FloatArray colours;
    positions.reserve((points_.size() - 1) * 18);
    colours.reserve((points_.size() - 1) * 24);
    for (size_t i = 0; i + 1 < points_.size(); ++i) {
        const Point a = points_[i];
        const Point b = points_[i + 1];
        const Point side = side_of(turn, Point{b.x - a.x, b.y - a.y}.normalized());
        // The start of each segment keeps the side of the one before, so the band has no gaps.
        const Point corners[6] = {
            {a.x - h * start_side.x, a.y - h * start_side.y}, {b.x - h * side.x, b.y - h * side.y},
            {b.x + h * side.x, b.y + h * side.y},             {b.x + h * side.x, b.y + h * side.y},
            {a.x + h * start_side.x, a.y + h * start_side.y}, {a.x - h * start_side.x, a.y - h * start_side.y},
        };
        for (const Point& corner : corners) {
            positions.insert(positions.end(), {corner.x, corner.y, 0.0f});
            colours.insert(colours.end(), colour, colour + 4);
        }
        start_side = side;
    }
    buffers_.fill_all(positions, colours, "vadu::lib3d::node::Plume2D::rebuildPlume");
}

void Plume2D::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    if (points_.size() < 2)
        return;
    hard::VertexBuffer* buffer = buffers_.buffer_for(hardware);
    if (!buffer)
        return;
    if (!buffers_.is_filled(buffer) || built_)
        rebuildPlume();
    const uint32_t segments = static_cast<uint32_t>(points_.size() - 1);
    hard::RenderRecord record;
    record.world = math::Matrix4::identity();
    record.world[11] = get_global_position().z;
    // Always sorted with the blended records.
    record.transparency = 0.001f;
    record.vertex_buffer = buffer;
    record.first_primitive = 0;
    record.primitive_count = 2 * segments;
    record.first_vertex = 0;
    record.vertex_count = 6 * segments;
    list.add_record(record);
}

} // namespace vadu::lib3d::node
