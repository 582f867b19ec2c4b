#include "vadu/lib3d/node/primitive_object.h"

#include "vadu/exception.h"

namespace vadu::lib3d::node {

bool PrimitiveObject::is_operational() const
{
    return vertex_buffer && index_buffer && vertex_buffer->is_operational() && index_buffer->is_operational();
}

PrimitiveObjects::PrimitiveObjects()
{
    register_once();
}

PrimitiveObjects::PrimitiveObjects(const PrimitiveObjects&) : HardwareDependentObject()
{
    register_once();
}

// The base leaves the manager.
PrimitiveObjects::~PrimitiveObjects() = default;

void PrimitiveObjects::register_once()
{
    if (registered_ || !hard::Manager::exists())
        return;
    hard::Manager::add_dependent(this);
    registered_ = true;
}

void PrimitiveObjects::on_add_hardware(hard::Hardware* hardware)
{
    auto object = std::make_unique<PrimitiveObject>();
    object->vertex_buffer = hardware->create_vertex_buffer(false);
    object->index_buffer = hardware->create_index_buffer();
    add_data(hardware, std::move(object));
}

PrimitiveObject* PrimitiveObjects::object_for(hard::Hardware& hardware)
{
    // A node made before the device manager existed joins it now.
    register_once();
    if (!registered_)
        return nullptr;
    return find_data(&hardware);
}

void PrimitiveObjects::fill_all(const PrimitiveMesh& mesh, const char* function)
{
    for (const Pair& pair : pairs_) {
        PrimitiveObject* object = pair.second.get();
        if (!object || !object->vertex_buffer || !object->index_buffer)
            continue;
        if (!object->vertex_buffer->update(mesh.positions, mesh.normals, hard::FloatArray{}, mesh.texture_coordinates,
                                           mesh.texture_coordinates))
            throw Gluck(function, "vb->update() failed");
        if (!object->index_buffer->update(mesh.indices.data(), static_cast<uint32_t>(mesh.indices.size())))
            throw Gluck(function, "vb->update() failed");
    }
}

} // namespace vadu::lib3d::node
