#include "sources/gameplay/balance.h"

#include <memory>

#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/property_list.h"
#include "vadu/xml_reader.h"

namespace gameplay {

namespace {

std::unique_ptr<Balance>& instance_slot()
{
    static std::unique_ptr<Balance> instance;
    return instance;
}

} // namespace

const Balance& Balance::Instance()
{
    auto& slot = instance_slot();
    if (!slot)
        slot = std::make_unique<Balance>(vadu::filesystem::String("data/balance.xml", true));
    return *slot;
}

void Balance::ResetForTests()
{
    instance_slot().reset();
}

Balance::Balance(const vadu::filesystem::String& path)
{
    vadu::xml::PropertyList list;
    bool loaded = false;
    try {
        std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(path);
        if (stream) {
            vadu::xml::StreamResource resource(stream.get(), path);
            vadu::xml::Root root(list, "Balance");
            loaded = resource.load(root);
        }
    } catch (const vadu::Gluck&) {
        // Tuning is optional: a broken file plays with the defaults.
        loaded = false;
    }
    if (!loaded)
        return;
    ManaPerMonsterTap = list.get_int(vadu::Atom("ManaPerMonsterTap"), ManaPerMonsterTap);
    ManaPerMonsterTapInRedZone = list.get_int(vadu::Atom("ManaPerMonsterTapInRedZone"), ManaPerMonsterTapInRedZone);
    ManaPerFishTap = list.get_int(vadu::Atom("ManaPerFishTap"), ManaPerFishTap);
    MoneybagsScore = list.get_int(vadu::Atom("MoneybagsScore"), MoneybagsScore);
    EpicfailScore = list.get_int(vadu::Atom("EpicfailScore"), EpicfailScore);
    ZenPrice = list.get_int(vadu::Atom("ZenPrice"), ZenPrice);
}

} // namespace gameplay
