#include "vadu/lib3d/node/plane.h"

#include "vadu/exception.h"
#include "vadu/lib3d/hard/render_list.h"

namespace vadu::lib3d::node {

// --- buffers ------------------------------------------------------------------------------

PlaneBuffers::PlaneBuffers()
{
    register_once();
}

PlaneBuffers::PlaneBuffers(const PlaneBuffers&) : HardwareDependentObject()
{
    register_once();
}

// The base leaves the manager.
PlaneBuffers::~PlaneBuffers() = default;

void PlaneBuffers::register_once()
{
    if (registered_ || !hard::Manager::exists())
        return;
    hard::Manager::add_dependent(this);
    registered_ = true;
}

void PlaneBuffers::on_add_hardware(hard::Hardware* hardware)
{
    add_data(hardware, hardware->create_vertex_buffer(false));
}

hard::VertexBuffer* PlaneBuffers::buffer_for(hard::Hardware& hardware)
{
    // A plane made before the device manager existed joins it now.
    register_once();
    if (!registered_)
        return nullptr;
    return find_data(&hardware);
}

// --- plane --------------------------------------------------------------------------------

Plane::Plane(const Atom& name, Node* parent) : Node(name, parent)
{
    element_name_ = get_type_name();
}

Plane::Plane(const Plane& other)
    : xml::Object(other), animate::Soul(other), Node(other), buffers_(other.buffers_), material_(other.material_)
{
}

Plane::~Plane() = default;

Atom Plane::get_type_name() const
{
    static const Atom type("Plane");
    return type;
}

Node* Plane::clone() const
{
    return new Plane(*this);
}

bool Plane::OnNode(xml::Provider& provider, const String& name)
{
    if (name == "Shader")
        return provider.ParseObject(material_);
    return Node::OnNode(provider, name);
}

void Plane::fillVb(hard::VertexBuffer& buffer)
{
    // Front triangles facing +z, then the same two wound the other way facing −z.
    static const hard::FloatArray positions = {
        0, 0, 0, 0, 1, 0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0,
        0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0,
    };
    static const hard::FloatArray normals = {
        0, 0, 1,  0, 0, 1,  0, 0, 1,  0, 0, 1,  0, 0, 1,  0, 0, 1,
        0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1,
    };
    if (!buffer.update(positions, normals, hard::FloatArray{}, hard::FloatArray{}, hard::FloatArray{}))
        throw Gluck("vadu::lib3d::node::Plane::fillVb", "vb->update() failed");
}

void Plane::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    hard::VertexBuffer* buffer = buffers_.buffer_for(hardware);
    if (!buffer)
        return;
    if (!filled_ || !buffer->is_operational()) {
        fillVb(*buffer);
        filled_ = true;
    }
    hard::RenderRecord record;
    material_.fill_render_material(hardware, record);
    record.world = get_cached_global_matrix();
    record.vertex_buffer = buffer;
    record.first_primitive = 0;
    record.primitive_count = triangle_count;
    record.first_vertex = 0;
    record.vertex_count = vertex_count;
    list.add_record(record);
}

} // namespace vadu::lib3d::node
