#include "vadu/exception.h"
#include "vadu/noise/data_source.h"
#include "vadu/noise/noise.h"

namespace vadu::noise {

namespace atoms {
const Atom Volume("Volume");
const Atom Pitch("Pitch");
const Atom Pan("Pan");
const Atom Loop("Loop");
const Atom Position("Position");
const Atom Speed("Speed");
const Atom MinDistance("MinDistance");
const Atom MaxDistance("MaxDistance");
const Atom GlobalVolume("GlobalVolume");
const Atom Environment("Environment");
const Atom Up("Up");
const Atom Front("Front");
const Atom Type2D("2D");
const Atom Type3D("3D");
const Atom Surround("Surround");
} // namespace atoms

namespace {
std::list<Channel*>* immortal_channels = nullptr;
} // namespace

namespace hard {

Hardware::Hardware()
{
    HardwareRegistry::add_hardware(this);
}

Hardware::~Hardware()
{
    HardwareRegistry::notify_remove_hardware(this);
}

} // namespace hard

Manager::Creator::Creator()
{
    if (immortal_channels)
        throw Gluck("vadu::noise::Manager::Creator::Creator", "immortal_channels already exists");
    immortal_channels = new std::list<Channel*>;
}

Manager::Creator::~Creator()
{
    std::list<Channel*>* channels = immortal_channels;
    immortal_channels = nullptr;
    for (Channel* channel : *channels)
        delete channel;
    delete channels;
}

hard::Hardware* Manager::get_hardware()
{
    const auto& hardwares = HardwareRegistry::get_hardwares();
    if (hardwares.empty())
        throw Gluck("vadu::noise::Manager::get_hardware", "get_hardwares().empty()");
    return hardwares.back();
}

Channel* Manager::create_immortal_static_channel(const Atom& type, const filesystem::String& name)
{
    if (HardwareRegistry::get_hardwares().empty())
        throw Gluck("vadu::noise::Manager::create_immortal_static_channel", "get_hardwares().empty()");
    Channel* channel = get_hardware()->create_static_channel(type, name);
    return new ImmortalChannel(channel);
}

void Manager::update(double /*seconds*/)
{
    remove_finished_channels();
}

void Manager::remove_finished_channels()
{
    if (!immortal_channels)
        return;
    for (auto it = immortal_channels->begin(); it != immortal_channels->end();) {
        if ((*it)->is_finished()) {
            delete *it;
            it = immortal_channels->erase(it);
        } else {
            ++it;
        }
    }
}

void Manager::keep_channel(Channel* channel)
{
    if (!immortal_channels) {
        delete channel;
        return;
    }
    immortal_channels->push_back(channel);
}

size_t Manager::kept_channel_count()
{
    return immortal_channels ? immortal_channels->size() : 0;
}

ImmortalChannel::~ImmortalChannel()
{
    Channel* channel = channel_;
    channel_ = nullptr;
    if (!channel->is_finished()) {
        channel->change_attribute(atoms::Loop, 0.0);
        Manager::keep_channel(channel);
    } else {
        delete channel;
    }
}

} // namespace vadu::noise
