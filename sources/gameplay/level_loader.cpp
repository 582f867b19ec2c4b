#include "sources/gameplay/level_loader.h"

#include <vector>

#include "sources/gameplay/decorations.h"
#include "sources/gameplay/level.h"
#include "sources/gameplay/level_profile.h"
#include "sources/gameplay/shape_factory.h"
#include "sources/gameplay/shell_services.h"
#include "sources/gameplay/underwater_level.h"
#include "sources/gameplay/value_reader.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/stream.h"

namespace gameplay {

namespace {

constexpr const char* Where = "LevelLoader::LevelLoader";
constexpr const char* LevelFile = "level file";
constexpr const char* DecorationsFile = "decorations file";

std::vector<char> ReadWhole(const vadu::filesystem::String& path, const char* what)
{
    std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(path);
    if (!stream)
        throw vadu::GluckBadResource(Where, vadu::String("Unable to open the ") + what, path);
    std::vector<char> buffer(stream->get_size());
    const uint32_t read = buffer.empty() ? 0 : stream->read(buffer.data(), static_cast<uint32_t>(buffer.size()));
    buffer.resize(read);
    return buffer;
}

bool NameIs(const vadu::xml::parser::Node& element, const char* name)
{
    return element.get_attribute("Name") == name;
}

float Percent(const vadu::xml::parser::Node& root, const char* name)
{
    return static_cast<float>(ValueReader::ReadInt(root, name)) / 100.0f;
}

} // namespace

LevelLoader::LevelLoader(const vadu::filesystem::String& path) : LevelLoader(path, LevelFile) {}

LevelLoader::LevelLoader(const vadu::filesystem::String& path, const char* what)
{
    const std::vector<char> text = ReadWhole(path, what);
    // Every failure below names the file, so that the report says which one is broken.
    try {
        Read(text.data(), text.size(), what);
    } catch (const vadu::GluckBadResource&) {
        throw;
    } catch (const vadu::Gluck& failure) {
        throw vadu::GluckBadResource(failure.get_function(), failure.get_description(), path);
    }
}

LevelLoader::LevelLoader(const void* text, size_t size)
{
    Read(text, size, LevelFile);
}

LevelLoader::~LevelLoader() = default;

vadu::filesystem::String LevelLoader::PathOf(const vadu::String& fileName)
{
    return vadu::filesystem::String(vadu::String("data/levels/") + fileName + ".xml", true);
}

void LevelLoader::Read(const void* text, size_t size, const char* what)
{
    const char* where = Where;
    settings_ = LevelSettings();
    background_ = std::make_unique<BackgroundDescription>();

    const vadu::xml::parser::Document document(text, size);
    const Element root = document.get_root();
    if (root.is_null())
        throw vadu::Gluck(where, vadu::String("The ") + what + " does not parse: " + document.get_error());
    const Element layers = root.find_child("Layers");
    if (layers.is_null())
        throw vadu::Gluck(where, "Layers not found");

    const std::vector<Element> layerList = layers.get_children("Layer");
    for (const Element& layer : layerList) {
        const Element items = layer.find_child("Items");
        if (!items.is_null() && NameIs(layer, "Boundaries"))
            ReadBoundaries(items);
    }
    // Every coordinate is divided by the boundaries' scale; without them there is none.
    if (!has_boundaries_ || !(scale_ > 0.0f))
        throw vadu::Gluck(where, "Boundaries not found");

    for (const Element& layer : layerList) {
        const Element items = layer.find_child("Items");
        if (items.is_null())
            continue;
        if (NameIs(layer, "Shapes"))
            ReadShapes(items);
        else if (NameIs(layer, "Cannons"))
            ReadCannons(items);
        else if (NameIs(layer, "Water"))
            ReadWater(items);
        else if (NameIs(layer, "LandDecorations") || NameIs(layer, "SkyDecorations"))
            ReadDecorations(items);
    }

    ReadProperties(root);
    background_->backgroundType = settings_.backgroundType;
    background_->ShareWater(settings_);
}

vadu::math::Vector2<float> LevelLoader::ToPlayArea(const vadu::math::Vector2<float>& point) const
{
    return {(point.x - boundaries_.x) / scale_, (boundaries_.height - (point.y - boundaries_.y)) / scale_};
}

PlayArea LevelLoader::ToPlayArea(const PlayArea& rectangle) const
{
    const auto corner = ToPlayArea(vadu::math::Vector2<float>{rectangle.x, rectangle.y + rectangle.height});
    const auto opposite = ToPlayArea(vadu::math::Vector2<float>{rectangle.x + rectangle.width, rectangle.y});
    return {corner.x, corner.y, opposite.x - corner.x, opposite.y - corner.y};
}

PlayArea LevelLoader::ReadRectangle(const Element& item) const
{
    const auto position = ValueReader::ReadVector2(item, "Position");
    return {position.x, position.y, ValueReader::ReadNumber(item, "Width"), ValueReader::ReadNumber(item, "Height")};
}

void LevelLoader::ReadBoundaries(const Element& items)
{
    for (const Element& item : items.get_children("Item")) {
        if (NameIs(item, "BoundariesRectangle")) {
            boundaries_ = ReadRectangle(item);
            const auto field = ShellServices::Get().GetFieldSize();
            scale_ = field.x > 0.0f ? boundaries_.width / field.x : 0.0f;
            has_boundaries_ = true;
            settings_.playArea = {0.0f, 0.0f, field.x, field.y};
        }
    }
    // The gravity point is converted, so it waits for the last boundaries rectangle.
    for (const Element& item : items.get_children("Item")) {
        if (NameIs(item, "GravityPoint") && has_boundaries_ && scale_ > 0.0f) {
            const auto point = ToPlayArea(ValueReader::ReadVector2(item, "Position"));
            settings_.gravityPointX = point.x;
            settings_.gravityPointY = point.y;
            settings_.gravityPointStrength = ValueReader::ReadFloat(item, "gravity");
        }
    }
}

void LevelLoader::ReadShapes(const Element& items)
{
    for (const Element& item : items.get_children("Item")) {
        ShapeItem shape;
        shape.name = vadu::Atom(item.get_attribute("Name"));
        shape.asset = ValueReader::ReadString(item, "asset_name");
        shape.position = ToPlayArea(ValueReader::ReadVector2(item, "Position"));
        shapes_.push_back(shape);
    }
}

void LevelLoader::ReadCannons(const Element& items)
{
    const std::vector<Element> list = items.get_children("Item");
    for (const Element& item : list) {
        if (NameIs(item, "DefaultDestination")) {
            default_destination_ = ToPlayArea(ReadRectangle(item));
            break;
        }
    }
    for (const Element& item : list) {
        const vadu::String name = item.get_attribute("Name");
        if (name.find("Cannon") == vadu::String::npos)
            continue;
        CannonItem cannon;
        cannon.name = vadu::Atom(name);
        cannon.weight = ValueReader::ReadFloat(item, "weight");
        if (cannon.weight == 0.0f)
            throw vadu::Gluck("LevelLoader::ReadCannons", vadu::String("Weight is not defined for cannon ") + name);
        cannon.rectangle = ToPlayArea(ReadRectangle(item));
        cannon.destination = default_destination_;
        const vadu::String destination = ValueReader::ReadCustomProperty(item, "destination");
        if (!destination.empty()) {
            for (const Element& other : list) {
                if (other.get_attribute("Name") == destination) {
                    cannon.destination = ToPlayArea(ReadRectangle(other));
                    break;
                }
            }
        }
        cannons_.push_back(cannon);
    }
}

void LevelLoader::ReadWater(const Element& items)
{
    for (const Element& item : items.get_children("Item")) {
        if (NameIs(item, "WaterRectangle")) {
            const PlayArea water = ToPlayArea(ReadRectangle(item));
            settings_.SetWaterLevel(water.y + water.height);
            return;
        }
    }
}

void LevelLoader::ReadDecorations(const Element& items)
{
    for (const Element& item : items.get_children("Item")) {
        DecorationItem decoration;
        const auto position = ToPlayArea(ValueReader::ReadVector2(item, "Position"));
        decoration.x = position.x;
        decoration.y = position.y;
        if (item.has_child("Rotation"))
            decoration.rotation = -ValueReader::ReadNumber(item, "Rotation");
        if (item.has_child("Scale")) {
            const auto scale = ValueReader::ReadVector2(item, "Scale");
            decoration.scaleX = scale.x;
            decoration.scaleY = scale.y;
        }
        decoration.asset_name = ValueReader::ReadString(item, "asset_name");
        background_->items.push_back(decoration);
    }
}

void LevelLoader::ReadProperties(const Element& root)
{
    LevelSettings& s = settings_;
    s.maxShapeCount = ValueReader::ReadInt(root, "maxShapeCount");
    s.linearDumping = ValueReader::ReadInt(root, "linearDumping");
    s.initialDropCount = ValueReader::ReadInt(root, "initialDropCount");
    s.parallelStarCount = ValueReader::ReadInt(root, "parallelStarCount");
    s.starCountGoal = ValueReader::ReadInt(root, "starCountGoal");
    s.levelEnergy = ValueReader::IsCustomPropertyExist(root, "levelEnergy") ? ValueReader::ReadInt(root, "levelEnergy") : 100;
    s.gravity = ValueReader::IsCustomPropertyExist(root, "gravity")
                    ? static_cast<float>(ValueReader::ReadInt(root, "gravity"))
                    : 10.0f;
    s.probabilitySoapBubblePowerup = Percent(root, "probabilitySoapBubblePowerup");
    s.probabilityRock = Percent(root, "probabilityRock");
    s.threeColors = ValueReader::ReadInt(root, "threeColors") != 0;
    s.waterLevelRaise = ValueReader::ReadFloat(root, "waterLevelRaise") / scale_;
    s.waterUpTime = ValueReader::ReadFloat(root, "waterUpTime");
    s.waterDownTime = ValueReader::ReadFloat(root, "waterDownTime");
    s.waterUpTransitionTime = ValueReader::ReadFloat(root, "waterUpTransitionTime");
    s.disableLightning = ValueReader::ReadInt(root, "disableLightning") != 0;
    s.disableAchievements = ValueReader::ReadInt(root, "disableAchievements") != 0;
    s.probabilityRockGrowSpeed = ValueReader::ReadFloat(root, "probabilityRockGrowSpeed");
    s.probabilityBonusColorGrowSpeed = ValueReader::ReadFloat(root, "probabilityBonusColorGrowSpeed");
    s.probabilityFishSpawn = ValueReader::IsCustomPropertyExist(root, "probabilityFishSpawn")
                                 ? static_cast<float>(ValueReader::ReadInt(root, "probabilityFishSpawn"))
                                 : -1.0f;
    s.probabilityBonusColor = ValueReader::IsCustomPropertyExist(root, "probabilityBonusColor")
                                  ? Percent(root, "probabilityBonusColor")
                                  : Percent(root, "probabilityBonusColorPowerup");
    if (ValueReader::IsCustomPropertyExist(root, "backgroundType")) {
        const vadu::String type = ValueReader::ReadCustomProperty(root, "backgroundType");
        if (type == "BackgroundNight") {
            s.backgroundType = 1;
            s.starChain = 100;
        } else if (type == "BackgroundUnderwater") {
            s.backgroundType = 2;
        }
    }
}

std::unique_ptr<Level> LevelLoader::CreateLevel()
{
    std::unique_ptr<Level> level;
    if (settings_.backgroundType == 2)
        level = std::make_unique<UnderwaterLevel>();
    else
        level = std::make_unique<Level>();
    level->SetDecorations(std::make_unique<Decorations>(std::move(background_)));
    level->settings = settings_;
    for (const ShapeItem& item : shapes_) {
        std::unique_ptr<Shape> shape = ShapeFactory::Create(level->World(), item);
        if (shape)
            level->shapes.push_back(shape.release());
    }
    for (const CannonItem& item : cannons_)
        level->cannons.push_back(std::make_unique<Cannon>(item, level->World(), &level->settings));
    level->ApplyGravity();
    return level;
}

std::unique_ptr<Decorations> LevelLoader::LoadDecorationsOnly(const vadu::filesystem::String& path)
{
    LevelLoader loader(path, DecorationsFile);
    return std::make_unique<Decorations>(std::move(loader.background_));
}

std::unique_ptr<Level> LoadLevel(LevelProfile* record)
{
    if (record == nullptr)
        throw vadu::Gluck("LoadLevel", "No level chosen");
    std::unique_ptr<Level> level;
    {
        LevelLoader loader(LevelLoader::PathOf(record->fileName));
        level = loader.CreateLevel();
    }
    level->SetRecord(record);
    return level;
}

} // namespace gameplay
