// libFuzzer target: the model-file reader over any bytes, and the bounding sphere of what
// it accepts. Built only with QUILLO_FUZZ (clang); run by `make fuzz`.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "vadu/exception.h"
#include "vadu/lib3d/model/model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vadu::lib3d;
    static const vadu::filesystem::String path("fuzz.model", true);
    try {
        const model::ModelFileArrays arrays = model::parse_model_file(data, size, path);
        const hard::Sphere sphere =
            model::smallest_enclosing_sphere(arrays.positions.data(), arrays.positions.size() / 3);
        if (std::isnan(sphere.radius) || sphere.radius < 0.0f)
            std::abort();
    } catch (const vadu::GluckBadResource& error) {
        // Refusals must name the file.
        if (error.get_resource().get_text() != path.get_text())
            std::abort();
    }
    return 0;
}
