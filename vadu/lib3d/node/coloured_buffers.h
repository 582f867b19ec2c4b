#pragma once

// One vertex buffer per render device for the untextured, vertex-coloured shapes
// (gradients, plumes): positions and colours only, rebuilt by their owner.

#include <cstdint>
#include <set>

#include "vadu/lib3d/hard/hardware.h"
#include "vadu/lib3d/hard/hardware_dependent.h"
#include "vadu/lib3d/hard/resources.h"
#include "vadu/math.h"
#include "vadu/string.h"

namespace vadu::lib3d::node {

class ColouredBuffers : public HardwareDependentObject<hard::Manager, hard::VertexBuffer> {
public:
    ColouredBuffers();
    ColouredBuffers(const ColouredBuffers&);
    ColouredBuffers& operator=(const ColouredBuffers&) = delete;
    ~ColouredBuffers() override;

    void on_add_hardware(hard::Hardware* hardware) override;
    void on_remove_hardware(hard::Hardware* hardware) override;

    // The device's buffer; null (not registered yet) or vadu::Gluck "Data not found".
    hard::VertexBuffer* buffer_for(hard::Hardware& hardware);
    // Whether the buffer has been filled since it was made.
    bool is_filled(const hard::VertexBuffer* buffer) const { return filled_.count(buffer) != 0; }
    // Hands positions (3 per vertex) and colours (4 per vertex) to every device's buffer;
    // throws vadu::Gluck "vb->update() failed" from `function` when one refuses.
    void fill_all(const hard::FloatArray& positions, const hard::FloatArray& colours, const char* function);
    // The same with texture coordinates (2 per vertex) and the given failure text.
    void fill_all(const hard::FloatArray& positions, const hard::FloatArray& colours,
                  const hard::FloatArray& texture_coordinates, const char* function, const char* failure);

private:
    void register_once();

    std::set<const hard::VertexBuffer*> filled_;
    bool registered_ = false;
};

} // namespace vadu::lib3d::node
