// libFuzzer entry point: any bytes as a level file. Reading must end in the level or in
// vadu::Gluck, never a crash or a hang; the shapes a file names are built in a bare world.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "physics/world.h"
#include "sources/gameplay/level_loader.h"
#include "sources/gameplay/link_graph.h"
#include "sources/gameplay/shape_factory.h"
#include "vadu/exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        gameplay::LevelLoader loader(data, size);
        physics::World world;
        std::vector<std::unique_ptr<gameplay::Shape>> shapes;
        for (const gameplay::ShapeItem& item : loader.GetShapes())
            shapes.push_back(gameplay::ShapeFactory::Create(&world, item));
        gameplay::LevelSettings settings = loader.GetSettings();
        for (const gameplay::CannonItem& item : loader.GetCannons())
            gameplay::Cannon(item, &world, &settings).Fire(nullptr);
        shapes.clear();
    } catch (const vadu::Gluck&) {
        // A broken file is reported, not crashed on.
    }
    return 0;
}
