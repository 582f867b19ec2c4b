#include "vadu/noise/module/module_data_source.h"

#include <algorithm>

namespace vadu::noise {

ModuleDataSource::ModuleDataSource(const filesystem::String& name)
{
    if (std::unique_ptr<Stream> stream = filesystem::open(name + vadu::String(".xm")))
        module_ = module::Module::load(*stream, module::OutputFormat{rate, 2, 16}, true);
}

ModuleDataSource::~ModuleDataSource() = default;

uint32_t ModuleDataSource::decode(uint32_t frames)
{
    rendered_ = 0;
    if (!is_loaded())
        return 0;
    block_.assign(static_cast<size_t>(frames) * 2, 0);
    rendered_ = module_->render(block_.data(), frames);
    if (rendered_ == 0)
        module_->rewind();
    return rendered_;
}

void ModuleDataSource::get_data(uint32_t id, void* destination, uint32_t stride, uint32_t bits)
{
    if (rendered_ == 0)
        return;
    const int16_t* source = block_.data() + (layout::takes_second_channel(id) ? 1 : 0);
    convert_samples(source, 4, 16, 2, destination, stride, bits, (bits + 7) / 8, rendered_);
}

void ModuleDataSource::rewind()
{
    rendered_ = 0;
    if (is_loaded())
        module_->rewind();
}

} // namespace vadu::noise
