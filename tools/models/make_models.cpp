// Writes the demo's model files into a data folder: make_models <data folder>.

#include <cstdio>
#include <filesystem>

#include "model_writer.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_models <data folder>\n");
        return 2;
    }
    const std::filesystem::path folder = std::filesystem::path(argv[1]) / "demo" / "models";
    const struct {
        const char* name;
        model_writer::Mesh mesh;
    } files[] = {
        {"cube.model", model_writer::unit_cube()},
        {"ball.model", model_writer::sphere(12, 24)},
        {"blob_round.model", model_writer::lobed_sphere(12, 24, 0.0f, 5)},
        {"blob_star.model", model_writer::lobed_sphere(12, 24, 0.45f, 5)},
        {"strip.model", model_writer::strip(4)},
    };
    for (const auto& file : files) {
        if (!model_writer::write_file(folder / file.name, file.mesh)) {
            std::fprintf(stderr, "make_models: cannot write %s\n", (folder / file.name).c_str());
            return 1;
        }
    }
    return 0;
}
