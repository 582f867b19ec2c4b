#include "vadu/lib3d/node/trace.h"

#include <algorithm>
#include <cmath>

#include "vadu/exception.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/log.h"

namespace vadu::lib3d::node {

namespace {

math::Vector3 unit(const math::Vector3& v)
{
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (length == 0.0f)
        return v;
    return math::Vector3{v.x / length, v.y / length, v.z / length};
}

} // namespace

Trace::Trace(const Atom& name, Node* parent) : Node(name, parent)
{
    element_name_ = get_type_name();
}

Trace::~Trace() = default;

Atom Trace::get_type_name() const
{
    static const Atom type("Trace");
    return type;
}

Node* Trace::clone() const
{
    return new Node(*this);
}

animate::Animatable* Trace::find_object(const Atom& name, bool recursive)
{
    if (name == material_.get_name())
        return &material_;
    return Node::find_object(name, recursive);
}

bool Trace::OnNode(xml::Provider& provider, const String& name)
{
    if (name == "Shader")
        return provider.ParseObject(material_);
    if (name == "EnvelopeTCB")
        return provider.ParseObject(curve_);
    return Node::OnNode(provider, name);
}

void Trace::sample(std::vector<math::Vector3>& points, std::vector<math::Vector3>& directions) const
{
    points.clear();
    directions.clear();
    float t = 0.0f;
    float step = 0.1f;
    math::Vector3 p = curve_.evaluate(0.0f);
    points.push_back(p);
    directions.push_back(unit(curve_.derivative(0.0f)));
    int tries = 0;
    while (t < 1.0f) {
        const float next = std::min(t + step, 1.0f);
        const math::Vector3 q = curve_.evaluate(next);
        const bool jump = std::fabs(q.x - p.x) > largest_jump || std::fabs(q.y - p.y) > largest_jump ||
                          std::fabs(q.z - p.z) > largest_jump;
        const bool bounded = step <= smallest_step || ++tries > sample_cap;
        if (jump && !bounded) {
            step *= 0.5f;
            continue;
        }
        if (jump && !warned_) {
            // Only a curve that jumps gets here: say so once instead of sampling for ever.
            warned_ = true;
            try {
                logs::log() << "Trace \"" << get_name().get_name()
                            << "\": the curve jumps (keys out of order?); drawn with coarse samples\n";
            } catch (const Gluck&) {
            }
        }
        step *= 2.0f;
        t = next;
        p = q;
        points.push_back(q);
        directions.push_back(unit(curve_.derivative(next)));
    }
}

uint32_t Trace::update_buffer()
{
    std::vector<math::Vector3> points;
    std::vector<math::Vector3> directions;
    sample(points, directions);
    positions_.clear();
    colours_.clear();
    uvs_.clear();
    const size_t segments = points.size() - 1;
    positions_.reserve(segments * 18);
    colours_.reserve(segments * 24);
    uvs_.reserve(segments * 12);
    float u = 0.0f;
    for (size_t i = 0; i < segments; ++i) {
        const math::Vector3& a = points[i];
        const math::Vector3& b = points[i + 1];
        const math::Vector3 oa{-directions[i].y * half_width, directions[i].x * half_width, 0.0f};
        const math::Vector3 ob{-directions[i + 1].y * half_width, directions[i + 1].x * half_width, 0.0f};
        const float dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
        const float next_u = u + std::sqrt(dx * dx + dy * dy + dz * dz) / texture_length;
        const math::Vector3 corners[6] = {
            {a.x + oa.x, a.y + oa.y, a.z}, {b.x - ob.x, b.y - ob.y, b.z}, {a.x - oa.x, a.y - oa.y, a.z},
            {a.x + oa.x, a.y + oa.y, a.z}, {b.x + ob.x, b.y + ob.y, b.z}, {b.x - ob.x, b.y - ob.y, b.z},
        };
        const float texture[6][2] = {{u, 1.0f}, {next_u, 0.0f}, {u, 0.0f}, {u, 1.0f}, {next_u, 1.0f}, {next_u, 0.0f}};
        for (int k = 0; k < 6; ++k) {
            positions_.insert(positions_.end(), {corners[k].x, corners[k].y, corners[k].z});
            colours_.insert(colours_.end(), {1.0f, 1.0f, 1.0f, 0.5f});
            uvs_.insert(uvs_.end(), {texture[k][0], texture[k][1]});
        }
        u = next_u;
    }
    buffers_.fill_all(positions_, colours_, uvs_, "vadu::lib3d::node::Trace::update_buffer",
                      "it->second->update() failed");
    return static_cast<uint32_t>(2 * segments);
}

void Trace::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    hard::VertexBuffer* buffer = buffers_.buffer_for(hardware);
    if (buffer) {
        hard::RenderRecord record;
        record.world = get_cached_global_matrix();
        record.primitive_count = update_buffer();
        record.first_primitive = 0;
        record.first_vertex = 0;
        record.vertex_count = 0;
        material_.fill_render_material(hardware, record);
        record.vertex_buffer = buffer;
        list.add_record(record);
    }
    Node::render_to_list(hardware, list);
}

} // namespace vadu::lib3d::node
