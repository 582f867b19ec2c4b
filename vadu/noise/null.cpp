#include "vadu/noise/null.h"

#include "vadu/exception.h"
#include "vadu/noise/data_source.h"

namespace vadu::noise::hard::null {

namespace {
Hardware* null_hardware = nullptr;
} // namespace

noise::Channel* Hardware::create_static_channel(const Atom& /*type*/, const filesystem::String& /*name*/)
{
    return new Channel;
}

noise::Channel* Hardware::create_stream_channel(const Atom& /*type*/)
{
    return new Channel;
}

void Channel::play(DataSource* source)
{
    delete source;
}

Creator::Creator()
{
    if (null_hardware)
        throw Gluck("vadu::noise::hard::null::Creator::Creator", "hardware already exists");
    null_hardware = new Hardware;
}

Creator::~Creator()
{
    delete null_hardware;
    null_hardware = nullptr;
}

Hardware* Creator::get()
{
    return null_hardware;
}

} // namespace vadu::noise::hard::null
