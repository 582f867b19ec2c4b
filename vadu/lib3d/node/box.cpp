#include "vadu/lib3d/node/box.h"

#include <memory>

#include "vadu/lib3d/hard/render_list.h"

namespace vadu::lib3d::node {

namespace {

// Materials this transparent or more are not drawn at all.
constexpr double invisible_transparency = 0.99;

constexpr float corners[8][3] = {
    {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {1, 1, 1}, {1, -1, 1},
};

struct Face {
    float normal[3];
    int corners[4];
};

constexpr Face faces[6] = {
    {{0, 0, -1}, {0, 1, 2, 3}}, {{-1, 0, 0}, {4, 5, 1, 0}}, {{0, 0, 1}, {7, 6, 5, 4}},
    {{1, 0, 0}, {3, 2, 6, 7}},  {{0, 1, 0}, {1, 5, 6, 2}},  {{0, -1, 0}, {4, 0, 3, 7}},
};

constexpr float face_coordinates[4][2] = {{1, 1}, {1, 0}, {0, 0}, {0, 1}};

constexpr uint32_t box_triangles = 12;
constexpr uint32_t box_vertices = 24;

} // namespace

Box::Box(const Atom& name, Node* parent) : Node(name, parent)
{
    element_name_ = get_type_name();
}

Box::Box(const Box& other)
    : xml::Object(other), animate::Soul(other), Node(other), objects_(other.objects_), shaders_(other.shaders_)
{
}

Box::~Box() = default;

Atom Box::get_type_name() const
{
    static const Atom type("Box");
    return type;
}

Node* Box::clone() const
{
    return new Box(*this);
}

bool Box::OnNode(xml::Provider& provider, const String& name)
{
    if (name == "Shaders")
        return provider.ParseObject(shaders_);
    if (name == "Shader") {
        auto shader = std::make_unique<material::Material>();
        if (!provider.ParseObject(*shader))
            return false;
        shaders_.add_material(std::move(shader));
        return true;
    }
    return Node::OnNode(provider, name);
}

PrimitiveMesh Box::build_mesh()
{
    PrimitiveMesh mesh;
    mesh.positions.reserve(box_vertices * 3);
    mesh.normals.reserve(box_vertices * 3);
    mesh.texture_coordinates.reserve(box_vertices * 2);
    mesh.indices.reserve(box_triangles * 3);
    for (uint32_t f = 0; f < 6; ++f) {
        const Face& face = faces[f];
        for (int k = 0; k < 4; ++k) {
            const float* corner = corners[face.corners[k]];
            mesh.positions.insert(mesh.positions.end(), corner, corner + 3);
            mesh.normals.insert(mesh.normals.end(), face.normal, face.normal + 3);
            mesh.texture_coordinates.insert(mesh.texture_coordinates.end(), face_coordinates[k],
                                            face_coordinates[k] + 2);
        }
        const uint32_t v = 4 * f;
        mesh.indices.insert(mesh.indices.end(), {v, v + 1, v + 2, v + 2, v + 3, v});
    }
    return mesh;
}

void Box::create()
{
    objects_.fill_all(build_mesh(), "vadu::lib3d::node::Box::create");
}

void Box::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    PrimitiveObject* object = objects_.object_for(hardware);
    if (!object)
        return;
    if (!object->is_operational())
        create();
    for (const auto& shader : shaders_.get_materials()) {
        if (shader->get_colors().transparency > invisible_transparency)
            continue;
        hard::RenderRecord record;
        shader->fill_render_material(hardware, record);
        record.world = get_cached_global_matrix();
        record.vertex_buffer = object->vertex_buffer.get();
        record.index_buffer = object->index_buffer.get();
        record.first_primitive = 0;
        record.primitive_count = box_triangles;
        record.first_vertex = 0;
        record.vertex_count = box_vertices;
        list.add_record(record);
    }
}

} // namespace vadu::lib3d::node
