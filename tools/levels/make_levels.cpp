// Writes the generated levels of data/levels/ and the level list: levels 6 and up and the
// Zen levels from zen03 on, from the table below and a fixed seed, so that the same table
// always gives the same files. Levels 1 to 5 and zen01, zen02 are written by hand (level 1's
// tutorial hints are tied to its layout); the list names them too.
//
//   make_levels <data/levels folder>
//
// Coordinates are the level editor's: 960 x 640, y down; the cannons sit above the field.

#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "level_writer.h"

namespace {

using level_writer::Item;
using level_writer::LevelText;
using level_writer::Rect;

enum class Scenery { Day, Night, Underwater };

struct Water {
    int top = 0; // editor y of the water line; 0: no water on the field
    int raise = 0;
    float up = 0.0f, down = 0.0f, transition = 0.0f;
};

struct Spec {
    const char* file = "";
    int number = 0;
    bool zen = false;
    Scenery scenery = Scenery::Day;
    const char* note = "";
    int maxShapes = 30;
    int goal = 3;
    int energy = -1; // -1: the property is left out (100)
    bool threeColours = false;
    int bonusColour = 0;
    float bonusGrow = 0.0f;
    int bubbles = 0;
    int rocks = 0;
    float rockGrow = 0.0f;
    int fish = -1;
    int gravity = 10;
    bool disableLightning = false;
    Water water;
    // Shapes in place at the start.
    int starred = 0;
    int ice = 0;
    int doubleIce = 0;
    int stones = 0;
    int bombs = 0;
    int bottles = 0;
    // Where the cannons aim: the editor rectangle the shapes fly toward.
    int aimTop = 340, aimHeight = 260;
};

Spec Make(const char* file, int number, bool zen, Scenery scenery, const char* note)
{
    Spec spec;
    spec.file = file;
    spec.number = number;
    spec.zen = zen;
    spec.scenery = scenery;
    spec.note = note;
    return spec;
}

const char* SceneryName(Scenery scenery)
{
    switch (scenery) {
    case Scenery::Day:
        return "Day";
    case Scenery::Night:
        return "Night";
    case Scenery::Underwater:
        return "Underwater";
    }
    return "Day";
}

const char* BackgroundName(Scenery scenery)
{
    switch (scenery) {
    case Scenery::Day:
        return "BackgroundDay";
    case Scenery::Night:
        return "BackgroundNight";
    case Scenery::Underwater:
        return "BackgroundUnderwater";
    }
    return "BackgroundDay";
}

// The generated levels, in list order. Difficulty rises along the table: more colours and
// the bonus colour, less mana, then rocks, bubbles, ice, stones, water that rises and falls,
// lightning power-ups, and goals of more starred monsters.
std::vector<Spec> Table()
{
    std::vector<Spec> specs;
    auto add = [&specs](Spec spec) { specs.push_back(spec); };
    // clang-format off
    { Spec s = Make("level06", 6, false, Scenery::Day, "three colours and a pair of frozen monsters");
      s.threeColours = true; s.goal = 3; s.ice = 2; add(s); }
    { Spec s = Make("level07", 7, false, Scenery::Underwater, "slow shapes, three colours, a few rocks");
      s.threeColours = true; s.goal = 3; s.rocks = 4; s.fish = 5; s.gravity = 6; add(s); }
    { Spec s = Make("level08", 8, false, Scenery::Night, "five starred monsters wait on the floor; the tide must not take them");
      s.starred = 5; s.goal = 5; s.rocks = 3; s.water = {615, 70, 8.0f, 30.0f, 1.0f}; add(s); }
    { Spec s = Make("level09", 9, false, Scenery::Day, "four colours");
      s.goal = 3; add(s); }
    { Spec s = Make("level10", 10, false, Scenery::Day, "the water rises and falls; the bonus colour appears");
      s.threeColours = true; s.goal = 3; s.bonusColour = 3; s.fish = 4; s.water = {615, 60, 4.0f, 14.0f, 1.0f}; add(s); }
    { Spec s = Make("level11", 11, false, Scenery::Underwater, "soap bubbles among four colours");
      s.goal = 3; s.bubbles = 6; s.fish = 5; s.gravity = 6; add(s); }
    { Spec s = Make("level12", 12, false, Scenery::Day, "less mana, and rocks that come more often");
      s.threeColours = true; s.goal = 3; s.energy = 85; s.rocks = 3; s.rockGrow = 0.2f; add(s); }
    { Spec s = Make("level13", 13, false, Scenery::Night, "a rising tide at night: rocks sink, monsters must not");
      s.starred = 5; s.goal = 5; s.rocks = 8; s.water = {615, 70, 8.0f, 28.0f, 1.0f}; add(s); }
    { Spec s = Make("level14", 14, false, Scenery::Day, "the wind lifts the monsters away");
      s.threeColours = true; s.goal = 3; s.gravity = -3; s.maxShapes = 26; s.aimTop = 420; s.aimHeight = 200; add(s); }
    { Spec s = Make("level15", 15, false, Scenery::Underwater, "frozen monsters and rocks on the sea floor");
      s.threeColours = true; s.goal = 3; s.ice = 3; s.doubleIce = 1; s.rocks = 3; s.fish = 5; s.gravity = 6; add(s); }
    { Spec s = Make("level16", 16, false, Scenery::Day, "a lightning power-up waits among four colours and the bonus colour");
      s.goal = 3; s.bombs = 1; s.bonusColour = 4; s.energy = 80; add(s); }
    { Spec s = Make("level17", 17, false, Scenery::Night, "six starred monsters, rocks and a slow tide under the moon");
      s.starred = 6; s.goal = 6; s.rocks = 6; s.water = {615, 70, 8.0f, 35.0f, 1.0f}; add(s); }
    { Spec s = Make("level18", 18, false, Scenery::Day, "stones split the field; bubbles and rocks");
      s.threeColours = true; s.goal = 4; s.stones = 3; s.bubbles = 5; s.rocks = 4; s.energy = 80; add(s); }
    { Spec s = Make("level19", 19, false, Scenery::Underwater, "the bonus colour among soap bubbles in slow water");
      s.threeColours = true; s.goal = 3; s.bonusColour = 5; s.bubbles = 6; s.energy = 80; s.gravity = 6; s.fish = 5; add(s); }
    { Spec s = Make("level20", 20, false, Scenery::Day, "high water, rocks and frozen monsters");
      s.threeColours = true; s.goal = 4; s.energy = 75; s.ice = 3; s.rocks = 5; s.water = {615, 110, 6.0f, 8.0f, 1.0f};
      s.fish = 4; add(s); }
    { Spec s = Make("level21", 21, false, Scenery::Day, "a long level: six starred monsters to bring home");
      s.threeColours = true; s.goal = 6; s.energy = 90; s.bonusColour = 2; s.rocks = 3; s.bombs = 1; add(s); }
    { Spec s = Make("level22", 22, false, Scenery::Night, "the tide and the rocks at night");
      s.starred = 5; s.goal = 5; s.rocks = 4; s.water = {615, 70, 8.0f, 25.0f, 1.0f}; add(s); }
    { Spec s = Make("level23", 23, false, Scenery::Underwater, "rocks, ice and bubbles on the sea floor");
      s.threeColours = true; s.goal = 3; s.energy = 85; s.ice = 3; s.rocks = 3; s.bubbles = 3; s.gravity = 6; s.fish = 5; add(s); }
    { Spec s = Make("level24", 24, false, Scenery::Day, "everything at once: water, stones, lightning, bonus colour");
      s.threeColours = true; s.goal = 4; s.energy = 80; s.stones = 2; s.bombs = 1; s.bonusColour = 5; s.bonusGrow = 0.3f; s.rocks = 4; s.rockGrow = 0.3f; s.water = {615, 100, 6.0f, 8.0f, 1.0f}; s.fish = 4; add(s); }
    { Spec s = Make("level25", 25, false, Scenery::Night, "the last night: seven starred monsters before the tide");
      s.starred = 7; s.goal = 7; s.rocks = 6; s.rockGrow = 0.5f; s.water = {615, 70, 8.0f, 30.0f, 1.0f}; add(s); }
    { Spec s = Make("level26", 26, false, Scenery::Underwater, "the deepest sea: little mana, rocks, ice and the bonus colour");
      s.threeColours = true; s.goal = 3; s.energy = 80; s.ice = 2; s.rocks = 3; s.rockGrow = 0.3f; s.bonusColour = 3; s.bubbles = 4; s.gravity = 6; s.fish = 5; add(s); }

    { Spec s = Make("zen03", 3, true, Scenery::Night, "no goal under the moon; nothing may fall into the water or out of the field");
      s.goal = 0; s.rocks = 4; s.water = {615, 0, 0.0f, 0.0f, 0.0f}; add(s); }
    { Spec s = Make("zen04", 4, true, Scenery::Day, "no goal; the water rises and falls");
      s.goal = 0; s.fish = 6; s.water = {615, 90, 6.0f, 10.0f, 1.0f}; s.rocks = 4; s.bonusColour = 5; add(s); }
    { Spec s = Make("zen05", 5, true, Scenery::Day, "no goal; a crowd of starred monsters, frozen monsters and bubbles");
      s.goal = 0; s.starred = 12; s.ice = 2; s.bubbles = 6; add(s); }
    { Spec s = Make("zen06", 6, true, Scenery::Underwater, "no goal; rocks and the bonus colour in slow water");
      s.goal = 0; s.rocks = 6; s.bonusColour = 5; s.gravity = 6; s.fish = 5; add(s); }
    // clang-format on
    return specs;
}

struct Placed {
    float x, y;
};

class Writer {
public:
    explicit Writer(unsigned seed) : random_(seed) {}

    std::string Level(const Spec& spec)
    {
        std::ostringstream out;
        out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
        out << "<!-- " << (spec.zen ? "Zen " : "Level ") << spec.number << ", " << Lower(SceneryName(spec.scenery)) << ": "
            << spec.note << ". Written by tools/levels/make_levels. -->\n";
        LevelText level;
        level.Layer("Boundaries", Item("BoundariesRectangle", Rect(0, 0, 960, 640)));
        level.Layer("Shapes", Shapes(spec));
        level.Layer("Cannons", Cannons(spec));
        if (spec.scenery == Scenery::Underwater)
            level.Layer("Water", Item("WaterRectangle", Rect(0, 640, 960, 40)));
        else if (spec.water.top > 0)
            level.Layer("Water", Item("WaterRectangle", Rect(0, spec.water.top, 960, 640 - spec.water.top)));
        Decorations(level, spec);
        level.Property("maxShapeCount", spec.maxShapes);
        level.Property("starCountGoal", spec.goal);
        if (spec.energy >= 0)
            level.Property("levelEnergy", spec.energy);
        if (spec.threeColours)
            level.Property("threeColors", 1);
        if (spec.bonusColour > 0)
            level.Property("probabilityBonusColor", spec.bonusColour);
        if (spec.bonusGrow > 0.0f)
            level.Property("probabilityBonusColorGrowSpeed", spec.bonusGrow);
        if (spec.bubbles > 0)
            level.Property("probabilitySoapBubblePowerup", spec.bubbles);
        if (spec.rocks > 0)
            level.Property("probabilityRock", spec.rocks);
        if (spec.rockGrow > 0.0f)
            level.Property("probabilityRockGrowSpeed", spec.rockGrow);
        if (spec.fish > 0)
            level.Property("probabilityFishSpawn", spec.fish);
        if (spec.gravity != 10)
            level.Property("gravity", spec.gravity);
        if (spec.disableLightning)
            level.Property("disableLightning", 1);
        if (spec.water.raise > 0 && spec.scenery != Scenery::Underwater) {
            level.Property("waterLevelRaise", spec.water.raise);
            level.Property("waterUpTime", spec.water.up);
            level.Property("waterDownTime", spec.water.down);
            level.Property("waterUpTransitionTime", spec.water.transition);
        }
        level.Property("backgroundType", BackgroundName(spec.scenery));
        out << level.Text();
        return out.str();
    }

private:
    static std::string Lower(const char* text)
    {
        std::string lower(text);
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return lower;
    }

    int Colours(const Spec& spec) const { return spec.threeColours ? 3 : 4; }

    // A free spot on the lower field, apart from the shapes placed so far.
    Placed Spot(std::vector<Placed>& taken, float top)
    {
        std::uniform_real_distribution<float> x(90.0f, 870.0f);
        std::uniform_real_distribution<float> y(top, 600.0f);
        Placed best{480.0f, 600.0f};
        for (int attempt = 0; attempt < 200; ++attempt) {
            const Placed p{std::round(x(random_)), std::round(y(random_))};
            bool apart = true;
            for (const Placed& q : taken)
                apart = apart && (p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) >= 95.0f * 95.0f;
            if (apart) {
                best = p;
                break;
            }
        }
        taken.push_back(best);
        return best;
    }

    std::string Shape(std::vector<Placed>& taken, const std::string& name, const std::string& asset, float top)
    {
        const Placed p = Spot(taken, top);
        std::ostringstream inner;
        inner << "\t\t\t\t\t<Position><X>" << p.x << "</X><Y>" << p.y << "</Y></Position>\n\t\t\t\t\t<asset_name>"
              << asset << "</asset_name>\n";
        return Item(name, inner.str());
    }

    std::string Shapes(const Spec& spec)
    {
        std::vector<Placed> taken;
        std::string items;
        std::uniform_int_distribution<int> colour(0, Colours(spec) - 1);
        const float top = spec.scenery == Scenery::Night ? 470.0f : 330.0f;
        auto many = [&](int count, const char* prefix, const std::string& kind, bool coloured) {
            for (int i = 1; i <= count; ++i) {
                const std::string name = std::string(prefix) + std::to_string(i);
                std::string lower = Lower(name.c_str());
                const int number = coloured ? colour(random_) : 0;
                items += Shape(taken, name, "shapes/monsters/" + lower + "/" + kind + "/" + std::to_string(number), top);
            }
        };
        // The stones first: they take their spots before the monsters do.
        for (int i = 1; i <= spec.stones; ++i) {
            std::uniform_int_distribution<int> picture(0, 11);
            const std::string name = "Stone" + std::to_string(i);
            items += Shape(taken, name,
                           "shapes/monsters/" + Lower(name.c_str()) + "/Normal/" + std::to_string(picture(random_)) + "/land",
                           top);
        }
        many(spec.starred, "Star", "Starred", true);
        many(spec.ice, "Ice", "IceCubePowerup", true);
        many(spec.doubleIce, "DoubleIce", "DoubleIceCubePowerup", true);
        many(spec.bombs, "Lightning", "LightningPowerup", true);
        many(spec.bottles, "Bottle", "LifePowerup", false);
        return items;
    }

    std::string Cannons(const Spec& spec)
    {
        std::string items = Item("DefaultDestination", Rect(80, spec.aimTop, 800, spec.aimHeight));
        std::uniform_int_distribution<int> weight(1, 3);
        const int xs[] = {120, 430, 740};
        for (int i = 0; i < 3; ++i) {
            std::ostringstream inner;
            inner << Rect(xs[i], -120, 100, 40) << "\t\t\t\t\t<CustomProperties><Property Name=\"weight\"><string>"
                  << weight(random_) << "</string></Property></CustomProperties>\n";
            items += Item("Cannon" + std::to_string(i + 1), inner.str());
        }
        return items;
    }

    // The sea floor of an underwater level: a few seaweeds and corals standing on the sand
    // (the picture's sand runs along y 600 to 640), spread across the width, each level its
    // own choice of kinds, pictures, places and sizes.
    void SeaFloor(LevelText& level)
    {
        std::uniform_int_distribution<int> count(3, 5);
        std::uniform_int_distribution<int> variant(1, 3);
        std::uniform_int_distribution<int> kind(0, 1);
        std::uniform_int_distribution<int> side(0, 1);
        std::uniform_int_distribution<int> nudge(-40, 40);
        std::uniform_int_distribution<int> size(80, 115);
        const int items = count(random_);
        std::string layer;
        for (int i = 0; i < items; ++i) {
            // One slot of the width each, nudged, so the plants never bunch up.
            const int x = 960 * (2 * i + 1) / (2 * items) + nudge(random_);
            const bool weed = kind(random_) == 1;
            const float scale = static_cast<float>(size(random_)) / 100.0f;
            // Rooted on the sand: the picture's middle stands half its height above the root.
            const int root = 628;
            const int y = root - static_cast<int>(std::lround((weed ? 80.0f : 50.0f) * scale));
            std::ostringstream inner;
            inner << "\t\t\t\t\t<Position><X>" << x << "</X><Y>" << y << "</Y></Position>\n"
                  << "\t\t\t\t\t<asset_name>decorations/symbols/" << (weed ? "SeaweedSymbol" : "CoralSymbol")
                  << variant(random_) << "</asset_name>\n"
                  << "\t\t\t\t\t<Scale><X>" << (side(random_) ? scale : -scale) << "</X><Y>" << scale
                  << "</Y></Scale>\n";
            layer += Item(std::string(weed ? "Seaweed" : "Coral") + std::to_string(i + 1), inner.str());
        }
        level.Layer("LandDecorations", layer);
    }

    void Decorations(LevelText& level, const Spec& spec)
    {
        if (spec.scenery == Scenery::Underwater) {
            SeaFloor(level);
            return;
        }
        std::uniform_int_distribution<int> variant(1, 3);
        // A tree leans a little: hundredths of a radian, at most about six degrees either way.
        std::uniform_int_distribution<int> tilt(-10, 10);
        std::uniform_int_distribution<int> side(0, 1);
        const int land = spec.water.top > 0 ? spec.water.top : 560;
        if (spec.scenery == Scenery::Day) {
            std::ostringstream inner;
            const int islandX = side(random_) ? 180 : 780;
            inner << "\t\t\t\t\t<Position><X>" << islandX << "</X><Y>" << land << "</Y></Position>\n"
                  << "\t\t\t\t\t<asset_name>decorations/symbols/IslandSymbol" << variant(random_) << "</asset_name>\n";
            std::ostringstream tree;
            tree << "\t\t\t\t\t<Position><X>" << (960 - islandX) << "</X><Y>" << (land - 40) << "</Y></Position>\n"
                 << "\t\t\t\t\t<asset_name>decorations/symbols/TreeSymbol" << variant(random_) << "</asset_name>\n"
                 << "\t\t\t\t\t<Rotation>" << tilt(random_) / 100.0 << "</Rotation>\n";
            level.Layer("LandDecorations", Item("Island1", inner.str()) + Item("Tree1", tree.str()));
        }
        std::ostringstream sky;
        if (spec.scenery == Scenery::Night) {
            sky << "\t\t\t\t\t<Position><X>" << (side(random_) ? 160 : 800) << "</X><Y>100</Y></Position>\n"
                << "\t\t\t\t\t<asset_name>decorations/symbols/Moon</asset_name>\n";
            level.Layer("SkyDecorations", Item("Moon", sky.str()));
        } else {
            sky << "\t\t\t\t\t<Position><X>" << (side(random_) ? 150 : 810) << "</X><Y>90</Y></Position>\n"
                << "\t\t\t\t\t<asset_name>decorations/symbols/Sun</asset_name>\n";
            std::ostringstream island;
            island << "\t\t\t\t\t<Position><X>" << (300 + 40 * variant(random_)) << "</X><Y>150</Y></Position>\n"
                   << "\t\t\t\t\t<asset_name>decorations/symbols/SkyIslandSymbol" << (1 + side(random_))
                   << "</asset_name>\n";
            level.Layer("SkyDecorations", Item("Sun", sky.str()) + Item("SkyIsland1", island.str()));
        }
    }

    std::mt19937 random_;
};

std::string List(const std::vector<Spec>& specs)
{
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<!-- Every child is one level, in map order; a name beginning with \"Zen\" makes a Zen level.\n"
           "     Levels 6 and up and zen03 and up are written by tools/levels/make_levels. -->\n<Levels>\n";
    const char* handStandard[][2] = {
        {"level01", "Day"}, {"level02", "Day"}, {"level03", "Night"}, {"level04", "Underwater"}, {"level05", "Day"}};
    // The first three are open to a new player; the list marks them free.
    for (int i = 0; i < 5; ++i)
        out << "\t<Level Number=\"" << i + 1 << "\" FileName=\"" << handStandard[i][0] << "\" Type=\""
            << handStandard[i][1] << (i < 3 ? "\" Free=\"true\"/>\n" : "\"/>\n");
    for (const Spec& spec : specs)
        if (!spec.zen)
            out << "\t<Level Number=\"" << spec.number << "\" FileName=\"" << spec.file << "\" Type=\""
                << SceneryName(spec.scenery) << "\"/>\n";
    out << "\t<ZenLevel Number=\"1\" FileName=\"zen01\" Type=\"Day\"/>\n"
           "\t<ZenLevel Number=\"2\" FileName=\"zen02\" Type=\"Underwater\"/>\n";
    for (const Spec& spec : specs)
        if (spec.zen)
            out << "\t<ZenLevel Number=\"" << spec.number << "\" FileName=\"" << spec.file << "\" Type=\""
                << SceneryName(spec.scenery) << "\"/>\n";
    out << "</Levels>\n";
    return out.str();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: make_levels <data/levels folder>\n";
        return 2;
    }
    const std::string folder = argv[1];
    const std::vector<Spec> specs = Table();
    for (const Spec& spec : specs) {
        // Fish swim in the water or leap out of it; a dry field has none to come from.
        if (spec.fish > 0 && spec.scenery != Scenery::Underwater && spec.water.top <= 0) {
            std::cerr << "make_levels: " << spec.file << " has fish but no water\n";
            return 1;
        }
    }
    for (const Spec& spec : specs) {
        // One stream per level: a change to one row of the table leaves the other levels be.
        Writer writer(20261211u + static_cast<unsigned>(spec.number) * 7919u + (spec.zen ? 104729u : 0u));
        std::ofstream out(folder + "/" + spec.file + ".xml", std::ios::binary);
        out << writer.Level(spec);
        if (!out) {
            std::cerr << "make_levels: cannot write " << folder << "/" << spec.file << ".xml\n";
            return 1;
        }
    }
    std::ofstream list(folder + "/levels.list", std::ios::binary);
    list << List(specs);
    if (!list) {
        std::cerr << "make_levels: cannot write " << folder << "/levels.list\n";
        return 1;
    }
    return 0;
}
