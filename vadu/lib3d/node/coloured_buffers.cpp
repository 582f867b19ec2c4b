#include "vadu/lib3d/node/coloured_buffers.h"

#include "vadu/converter.h"
#include "vadu/exception.h"

namespace vadu::lib3d::node {

ColouredBuffers::ColouredBuffers()
{
    register_once();
}

ColouredBuffers::ColouredBuffers(const ColouredBuffers&) : HardwareDependentObject()
{
    register_once();
}

// The base leaves the manager.
ColouredBuffers::~ColouredBuffers() = default;

void ColouredBuffers::register_once()
{
    if (registered_ || !hard::Manager::exists())
        return;
    hard::Manager::add_dependent(this);
    registered_ = true;
}

void ColouredBuffers::on_add_hardware(hard::Hardware* hardware)
{
    add_data(hardware, hardware->create_vertex_buffer(false));
}

void ColouredBuffers::on_remove_hardware(hard::Hardware* hardware)
{
    for (const Pair& pair : pairs_) {
        if (pair.first == hardware)
            filled_.erase(pair.second.get());
    }
    HardwareDependentObject::on_remove_hardware(hardware);
}

hard::VertexBuffer* ColouredBuffers::buffer_for(hard::Hardware& hardware)
{
    // A shape made before the device manager existed joins it now.
    register_once();
    if (!registered_)
        return nullptr;
    return find_data(&hardware);
}

void ColouredBuffers::fill_all(const hard::FloatArray& positions, const hard::FloatArray& colours,
                               const char* function)
{
    fill_all(positions, colours, hard::FloatArray{}, function, "vb->update() failed");
}

void ColouredBuffers::fill_all(const hard::FloatArray& positions, const hard::FloatArray& colours,
                               const hard::FloatArray& texture_coordinates, const char* function, const char* failure)
{
    for (const Pair& pair : pairs_) {
        hard::VertexBuffer* buffer = pair.second.get();
        if (!buffer)
            continue;
        if (!buffer->update(positions, hard::FloatArray{}, colours, texture_coordinates))
            throw Gluck(function, failure);
        filled_.insert(buffer);
    }
}

} // namespace vadu::lib3d::node
