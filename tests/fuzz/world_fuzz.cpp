// libFuzzer target: the bytes as a world file. A broken file must end in the world's one
// load error; anything else (a crash, a hang, another exception) is a finding. Built only
// with QUILLO_FUZZ (clang); run by `make fuzz`.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "physics/node.h"
#include "physics/world.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"


namespace {

// Serves the current input under every name.
class InputFileSystem : public vadu::filesystem::FileSystem {
public:
    std::unique_ptr<vadu::Stream> open(const vadu::filesystem::String&) override
    {
        return std::make_unique<vadu::filesystem::MemoryStream>(bytes);
    }
    static inline std::vector<uint8_t> bytes;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static vadu::filesystem::Creator files([] { return std::make_unique<InputFileSystem>(); });
    InputFileSystem::bytes.assign(data, data + size);
    try {
        std::unique_ptr<physics::World> world =
            physics::World::CreateFromResource(vadu::filesystem::String("fuzz.world", false));
        // What loads must also step.
        for (int i = 0; i < 3; ++i)
            world->Step(1.0 / 60.0);
        world->Pick({0.0f, 0.0f});
    } catch (const vadu::GluckBadResource&) {
    }
    return 0;
}
