#include "vadu/lib3d/node/sphere.h"

#include <algorithm>
#include <cmath>

#include "vadu/converter.h"
#include "vadu/lib3d/hard/render_list.h"

namespace vadu::lib3d::node {

namespace {

// Materials this transparent or more are not drawn at all.
constexpr double invisible_transparency = 0.99;

} // namespace

Sphere::Sphere(const Atom& name, Node* parent) : Node(name, parent)
{
    element_name_ = get_type_name();
}

Sphere::Sphere(const Sphere& other)
    : xml::Object(other),
      animate::Soul(other),
      Node(other),
      objects_(other.objects_),
      shaders_(other.shaders_),
      tessellation_(other.tessellation_)
{
}

Sphere::~Sphere() = default;

Atom Sphere::get_type_name() const
{
    static const Atom type("Sphere");
    return type;
}

Node* Sphere::clone() const
{
    return new Sphere(*this);
}

bool Sphere::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "Tesselation")
        return converter::convert(value, &tessellation_);
    return Node::OnAttribute(provider, name, value);
}

bool Sphere::OnNode(xml::Provider& provider, const String& name)
{
    if (name == "Shaders")
        return provider.ParseObject(shaders_);
    return Node::OnNode(provider, name);
}

PrimitiveMesh Sphere::build_mesh(int32_t tessellation)
{
    const int32_t t = std::clamp(tessellation, min_tessellation, max_tessellation);
    const int32_t n = 2 * t;
    const double step = 6.28318530716 / n;
    PrimitiveMesh mesh;
    const size_t vertices = size_t(2 * n) + size_t(t - 1) * size_t(n + 1);
    mesh.positions.reserve(vertices * 3);
    mesh.normals.reserve(vertices * 3);
    mesh.texture_coordinates.reserve(vertices * 2);
    const auto add = [&mesh](double x, double y, double z, double u, double v) {
        for (hard::FloatArray* array : {&mesh.positions, &mesh.normals})
            array->insert(array->end(), {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)});
        mesh.texture_coordinates.insert(mesh.texture_coordinates.end(), {static_cast<float>(u), static_cast<float>(v)});
    };
    // One pole vertex per segment, each with the u of the segment's middle.
    for (const double y : {1.0, -1.0}) {
        for (int32_t i = 0; i < n; ++i)
            add(0.0, y, 0.0, 1.0 - (double(n - i) / n - 0.5 / n), y > 0.0 ? 0.0 : 1.0);
    }
    for (int32_t r = 1; r < t; ++r) {
        const double theta = r * step;
        for (int32_t j = 0; j <= n; ++j) {
            const double phi = j == n ? 0.0 : j * step;
            add(std::sin(theta) * std::sin(phi), std::cos(theta), std::sin(theta) * std::cos(phi), double(j) / n,
                double(r) / t);
        }
    }

    const auto u = [](int32_t value) { return static_cast<uint32_t>(value); };
    mesh.indices.reserve(size_t(2 * n) * size_t(t - 1) * 3);
    for (int32_t r = 1; r < t; ++r) {
        const int32_t s = 2 * n + (r - 1) * (n + 1);
        for (int32_t j = 0; j < n; ++j) {
            const int32_t a = s + j;
            if (r == 1)
                mesh.indices.insert(mesh.indices.end(), {u(a + 1), u(j), u(a)});
            if (r == t - 1)
                mesh.indices.insert(mesh.indices.end(), {u(j + n), u(a + 1), u(a)});
            if (r > 1) {
                const int32_t p = a - (n + 1);
                mesh.indices.insert(mesh.indices.end(), {u(a + 1), u(p + 1), u(p), u(a), u(a + 1), u(p)});
            }
        }
    }
    return mesh;
}

void Sphere::create(int32_t tessellation)
{
    tessellation_ = std::clamp(tessellation, min_tessellation, max_tessellation);
    objects_.fill_all(build_mesh(tessellation_), "vadu::lib3d::node::Sphere::create");
}

void Sphere::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    PrimitiveObject* object = objects_.object_for(hardware);
    if (!object)
        return;
    if (!object->is_operational())
        create(tessellation_);
    uint32_t first_index = 0;
    uint32_t first_vertex = 0;
    for (const auto& shader : shaders_.get_materials()) {
        const uint32_t triangles = shader->get_triangles_count();
        const uint32_t vertices = shader->get_vertex_count();
        if (shader->get_colors().transparency <= invisible_transparency) {
            hard::RenderRecord record;
            shader->fill_render_material(hardware, record);
            record.world = get_cached_global_matrix();
            record.vertex_buffer = object->vertex_buffer.get();
            record.index_buffer = object->index_buffer.get();
            record.first_primitive = first_index;
            record.primitive_count = triangles;
            record.first_vertex = first_vertex;
            record.vertex_count = vertices;
            list.add_record(record);
        }
        first_index += 3 * triangles;
        first_vertex += vertices;
    }
}

} // namespace vadu::lib3d::node
