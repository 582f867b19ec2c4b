// The XM loader and player on any bytes: load, render a bounded stretch, rewind, render
// again. Nothing read may crash, hang or read outside the module's buffers.

#include "vadu/filesystem.h"
#include "vadu/noise/module/module.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(data, data + size));
    vadu::noise::module::OutputFormat format;
    auto module = vadu::noise::module::Module::load(stream, format, true);
    if (!module->is_loaded())
        return 0;
    std::vector<int16_t> buffer(2 * 4096);
    for (int pass = 0; pass < 2; ++pass) {
        for (int block = 0; block < 8; ++block)
            if (module->render(buffer.data(), 4096) < 4096)
                break;
        module->rewind();
    }
    return 0;
}
