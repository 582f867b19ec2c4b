#include "sources/gameplay/shape_factory.h"

#include <string>
#include <vector>

#include "sources/gameplay/kinds.h"
#include "sources/gameplay/lightning.h"
#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/log.h"

namespace gameplay {

namespace {

std::vector<std::string> split(const vadu::String& asset)
{
    std::vector<std::string> parts(1);
    const char* text = asset.c_str();
    for (size_t i = 0; i < asset.size(); ++i) {
        const char c = text[i];
        if (c == '/' || c == '-' || c == '\\')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

int read_number(const std::string& part, const vadu::String& asset)
{
    int32_t number = 0;
    if (!vadu::converter::convert(vadu::String(part.c_str()), &number)) {
        number = 0;
        try {
            vadu::logs::log() << "ShapeFactory: no number in \"" << asset << "\", 0 is used\n";
        } catch (const vadu::Gluck&) {
            // No log in this program: the 0 stands all the same.
        }
    }
    return number;
}

} // namespace

std::unique_ptr<Shape> ShapeFactory::Create(physics::World* world, const ShapeItem& item)
{
    const std::vector<std::string> parts = split(item.asset);
    if (parts.size() < 5 || world == nullptr)
        return nullptr;
    const std::string& kind = parts[3];
    const int number = read_number(parts[4], item.asset);
    const std::string obstacle = parts.size() == 6 ? parts[5] : std::string();

    std::unique_ptr<Shape> shape;
    if (!obstacle.empty()) {
        if (obstacle == "land")
            shape = std::make_unique<Stone>(world, item.name, number);
        else if (obstacle == "indestructible")
            shape = std::make_unique<Indestructible>(world, item.name);
        else if (obstacle == "rock")
            shape = std::make_unique<Rock>(world, item.name);
    } else if (kind == "Normal") {
        shape = std::make_unique<Monster>(world, item.name, number);
    } else if (kind == "Starred") {
        shape = std::make_unique<StarredMonster>(world, item.name, number);
    } else if (kind == "IceCubePowerup") {
        shape = std::make_unique<FrozenMonster>(world, item.name, number, 1);
    } else if (kind == "DoubleIceCubePowerup") {
        shape = std::make_unique<FrozenMonster>(world, item.name, number, 2);
    } else if (kind == "SoapBubblePowerup") {
        shape = std::make_unique<SoapBubble>(world, item.name, number, 1.0f);
    } else if (kind == "DoubleSoapBubblePowerup") {
        shape = std::make_unique<SoapBubble>(world, item.name, number, 2.0f);
    } else if (kind == "LifePowerup") {
        shape = std::make_unique<Bottle>(world, item.name);
    } else if (kind == "LightningPowerup") {
        shape = std::make_unique<Bomb>(world, item.name, number);
    }
    if (shape)
        shape->SetPosition(item.position);
    return shape;
}

} // namespace gameplay
