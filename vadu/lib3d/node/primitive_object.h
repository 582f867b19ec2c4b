#pragma once

// The device side of the built-in indexed meshes (sphere, box): one vertex buffer and one
// index buffer per render device, made when the device is added and filled by the
// owning node whenever they are not operational.

#include <cstdint>
#include <memory>
#include <vector>

#include "vadu/lib3d/hard/hardware.h"
#include "vadu/lib3d/hard/hardware_dependent.h"
#include "vadu/lib3d/hard/resources.h"

namespace vadu::lib3d::node {

struct PrimitiveObject {
    std::unique_ptr<hard::VertexBuffer> vertex_buffer;
    std::unique_ptr<hard::IndexBuffer> index_buffer;

    // Both buffers hold their data (a lost or never filled one does not).
    bool is_operational() const;
};

// A mesh as the primitives build it on the processor: three position and normal floats
// and two texture coordinates per vertex, three indices per triangle.
struct PrimitiveMesh {
    hard::FloatArray positions;
    hard::FloatArray normals;
    hard::FloatArray texture_coordinates;
    std::vector<uint32_t> indices;

    uint32_t vertex_count() const { return static_cast<uint32_t>(positions.size() / 3); }
    uint32_t triangle_count() const { return static_cast<uint32_t>(indices.size() / 3); }
};

class PrimitiveObjects : public HardwareDependentObject<hard::Manager, PrimitiveObject> {
public:
    PrimitiveObjects();
    // A copy starts with buffers of its own.
    PrimitiveObjects(const PrimitiveObjects&);
    PrimitiveObjects& operator=(const PrimitiveObjects&) = delete;
    ~PrimitiveObjects() override;

    void on_add_hardware(hard::Hardware* hardware) override;

    // The device's object; null while no device manager exists, vadu::Gluck "Data not
    // found" for a device the manager does not know.
    PrimitiveObject* object_for(hard::Hardware& hardware);
    // The mesh into every device's buffers, both texture pairs from its coordinates and
    // no colours. Throws vadu::Gluck "vb->update() failed" from `function` when a buffer
    // refuses it.
    void fill_all(const PrimitiveMesh& mesh, const char* function);

private:
    void register_once();

    bool registered_ = false;
};

} // namespace vadu::lib3d::node

namespace vadu {
template <>
inline constexpr const char* declared_as<lib3d::node::PrimitiveObject> = "struct";
}
