#pragma once

// Level files: "data/levels/<name>.xml", edited in the level editor's units with y growing
// downwards. The loader reads one file whole (boundaries first, then shapes, cannons, water,
// decorations and the level properties), converts every position into play-area pixels and
// builds the running level from it. A broken file raises vadu::Gluck (vadu::GluckBadResource
// naming the file when it was read from one); no level is made then.

#include <memory>
#include <vector>

#include "sources/gameplay/cannon.h"
#include "sources/gameplay/level_settings.h"
#include "sources/gameplay/shape.h"
#include "vadu/path.h"
#include "vadu/xml_document.h"

namespace gameplay {

class Decorations;
class Level;
struct LevelProfile;

class LevelLoader {
public:
    // Reads the file; raises on every failure.
    explicit LevelLoader(const vadu::filesystem::String& path);
    // Reads a level from text already in memory (the fuzz target, tests).
    LevelLoader(const void* text, size_t size);
    ~LevelLoader();
    LevelLoader(const LevelLoader&) = delete;
    LevelLoader& operator=(const LevelLoader&) = delete;

    // A new Level, or an UnderwaterLevel for an underwater background; the background
    // description passes to the level.
    std::unique_ptr<Level> CreateLevel();

    // The file's background only, for the level map.
    static std::unique_ptr<Decorations> LoadDecorationsOnly(const vadu::filesystem::String& path);
    // "data/levels/" + name + ".xml", lower-cased.
    static vadu::filesystem::String PathOf(const vadu::String& fileName);

    // Editor units to play-area pixels (y up) through the boundaries rectangle.
    vadu::math::Vector2<float> ToPlayArea(const vadu::math::Vector2<float>& point) const;
    // A rectangle by its top-left corner in the file to (left, bottom, width, height).
    PlayArea ToPlayArea(const PlayArea& rectangle) const;

    const LevelSettings& GetSettings() const noexcept { return settings_; }
    const std::vector<ShapeItem>& GetShapes() const noexcept { return shapes_; }
    const std::vector<CannonItem>& GetCannons() const noexcept { return cannons_; }
    // In file units.
    const PlayArea& GetBoundaries() const noexcept { return boundaries_; }
    const PlayArea& GetDefaultDestination() const noexcept { return default_destination_; }
    // Null once a level took it.
    BackgroundDescription* GetBackground() const noexcept { return background_.get(); }

private:
    using Element = vadu::xml::parser::Node;

    // `what` names the file in messages: "level file" or "decorations file".
    LevelLoader(const vadu::filesystem::String& path, const char* what);
    void Read(const void* text, size_t size, const char* what);
    void ReadBoundaries(const Element& items);
    void ReadShapes(const Element& items);
    void ReadCannons(const Element& items);
    void ReadWater(const Element& items);
    void ReadDecorations(const Element& items);
    void ReadProperties(const Element& root);
    PlayArea ReadRectangle(const Element& item) const;

    LevelSettings settings_;
    bool has_boundaries_ = false;
    PlayArea boundaries_;
    float scale_ = 0.0f;
    PlayArea default_destination_;
    std::unique_ptr<BackgroundDescription> background_;
    std::vector<ShapeItem> shapes_;
    std::vector<CannonItem> cannons_;
};

// The level of a level record ("data/levels/<file>.xml"), with the record stored in it.
std::unique_ptr<Level> LoadLevel(LevelProfile* record);

} // namespace gameplay
