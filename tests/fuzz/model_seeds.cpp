// Writes the model fuzz target's seed corpus into the folder given: the writer's meshes,
// indexed and plain, and an empty model.

#include <string>

#include "model_writer.h"

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    const std::string folder = argv[1];
    const struct {
        const char* name;
        model_writer::Mesh mesh;
    } seeds[] = {
        {"cube.model", model_writer::unit_cube()},
        {"sphere.model", model_writer::sphere(3, 4)},
        {"lobed.model", model_writer::lobed_sphere(2, 3, 0.3f, 2)},
        {"strip.model", model_writer::strip(1)},
        {"empty.model", model_writer::Mesh{}},
    };
    for (const auto& seed : seeds) {
        if (!model_writer::write_file(folder + "/" + seed.name, seed.mesh))
            return 1;
    }
    return 0;
}
