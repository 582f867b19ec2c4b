#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "sources/gameplay/level_loader.h"
#include "sources/gameplay/decorations.h"
#include "support/fake_gameplay.h"
#include "support/temp_folder.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"

namespace {

using gameplay::LevelLoader;

// A level file around the given layers and root properties; the boundaries come first
// unless the layers bring their own.
std::string LevelText(const std::string& layers, const std::string& properties,
                      const std::string& boundaries = R"(<Layer Name="Boundaries"><Items>
        <Item Name="BoundariesRectangle"><Position><X>0</X><Y>0</Y></Position><Width>960</Width><Height>640</Height></Item>
        </Items></Layer>)")
{
    return "<Level><Layers>" + boundaries + layers + "</Layers><CustomProperties>" + properties +
           "</CustomProperties></Level>";
}

std::string Property(const std::string& name, const std::string& value)
{
    return "<Property Name=\"" + name + "\"><string>" + value + "</string></Property>";
}

std::string Item(const std::string& name, float x, float y, float w, float h, const std::string& extra = "")
{
    return "<Item Name=\"" + name + "\"><Position><X>" + std::to_string(x) + "</X><Y>" + std::to_string(y) +
           "</Y></Position><Width>" + std::to_string(w) + "</Width><Height>" + std::to_string(h) + "</Height>" +
           extra + "</Item>";
}

std::unique_ptr<LevelLoader> Load(const std::string& text)
{
    return std::make_unique<LevelLoader>(text.data(), text.size());
}

std::string Std(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

class LevelLoaderTest : public ::testing::Test {
protected:
    gameplay_fakes::FakeShell shell;
};

TEST_F(LevelLoaderTest, EmptyLayersLoadWithDefaults)
{
    const auto loader = Load(LevelText("", ""));
    EXPECT_TRUE(loader->GetShapes().empty());
    EXPECT_TRUE(loader->GetCannons().empty());
    EXPECT_TRUE(loader->GetBackground()->items.empty());
    const gameplay::LevelSettings& s = loader->GetSettings();
    EXPECT_FLOAT_EQ(s.GetWaterLevel(), -50.0f);
    EXPECT_EQ(s.maxShapeCount, 0);
    EXPECT_EQ(s.levelEnergy, 100);
    EXPECT_FLOAT_EQ(s.gravity, 10.0f);
    EXPECT_FLOAT_EQ(s.probabilityFishSpawn, -1.0f);
    EXPECT_EQ(s.backgroundType, 0);
    EXPECT_EQ(s.starChain, 5);
    EXPECT_FLOAT_EQ(s.playArea.width, 960.0f);
    // The description and the settings see one water line.
    EXPECT_EQ(loader->GetBackground()->waterLevel.get(), s.waterLevel.get());
}

TEST_F(LevelLoaderTest, PropertiesReadAsTheTableSays)
{
    struct Case {
        const char* what;
        std::string properties;
        std::function<void(const gameplay::LevelSettings&)> check;
    } cases[] = {
        {"empty levelEnergy reads 0", Property("levelEnergy", ""),
         [](const auto& s) { EXPECT_EQ(s.levelEnergy, 0); }},
        {"percentages", Property("probabilityRock", "20") + Property("probabilitySoapBubblePowerup", "5"),
         [](const auto& s) {
             EXPECT_FLOAT_EQ(s.probabilityRock, 0.2f);
             EXPECT_FLOAT_EQ(s.probabilitySoapBubblePowerup, 0.05f);
         }},
        {"bonus colour 0 wins over the powerup name",
         Property("probabilityBonusColor", "0") + Property("probabilityBonusColorPowerup", "30"),
         [](const auto& s) { EXPECT_FLOAT_EQ(s.probabilityBonusColor, 0.0f); }},
        {"bonus colour falls back to the powerup name", Property("probabilityBonusColorPowerup", "30"),
         [](const auto& s) { EXPECT_FLOAT_EQ(s.probabilityBonusColor, 0.3f); }},
        {"night", Property("backgroundType", "BackgroundNight"),
         [](const auto& s) {
             EXPECT_EQ(s.backgroundType, 1);
             EXPECT_EQ(s.starChain, 100);
         }},
        {"underwater", Property("backgroundType", "BackgroundUnderwater"),
         [](const auto& s) { EXPECT_EQ(s.backgroundType, 2); }},
        {"other background text is day", Property("backgroundType", "backgroundnight"),
         [](const auto& s) { EXPECT_EQ(s.backgroundType, 0); }},
        {"flags and counts",
         Property("threeColors", "1") + Property("disableLightning", "2") + Property("maxShapeCount", "42") +
             Property("starCountGoal", "3") + Property("gravity", "7") + Property("probabilityFishSpawn", "4"),
         [](const auto& s) {
             EXPECT_TRUE(s.threeColors);
             EXPECT_TRUE(s.disableLightning);
             EXPECT_FALSE(s.disableAchievements);
             EXPECT_EQ(s.maxShapeCount, 42);
             EXPECT_EQ(s.starCountGoal, 3);
             EXPECT_FLOAT_EQ(s.gravity, 7.0f);
             EXPECT_FLOAT_EQ(s.probabilityFishSpawn, 4.0f);
         }},
        {"the first of two equal names", Property("maxShapeCount", "5") + Property("maxShapeCount", "9"),
         [](const auto& s) { EXPECT_EQ(s.maxShapeCount, 5); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto loader = Load(LevelText("", c.properties));
        c.check(loader->GetSettings());
    }
}

TEST_F(LevelLoaderTest, ConvertsEditorUnitsIntoPlayAreaPixels)
{
    const std::string boundaries = R"(<Layer Name="Boundaries"><Items>)" + Item("BoundariesRectangle", 100, 50, 1920, 1280) +
                                   "</Items></Layer>";
    const std::string layers =
        R"(<Layer Name="Water"><Items>)" + Item("WaterRectangle", 100, 50 + 1080, 1920, 200) +
        R"(</Items></Layer><Layer Name="LandDecorations"><Items><Item Name="Island"><Position><X>1060</X><Y>50</Y></Position>
        <asset_name>decorations/island</asset_name><Rotation>30</Rotation><Scale><X>2</X><Y>0.5</Y></Scale></Item></Items></Layer>
        <Layer Name="SkyDecorations"><Items><Item Name="Moon"><Position><X>100</X><Y>1330</Y></Position>
        <asset_name>decorations/moon</asset_name></Item></Items></Layer>)";
    const auto loader = Load(LevelText(layers, Property("waterLevelRaise", "100"), boundaries));

    const auto origin = loader->ToPlayArea(vadu::math::Vector2<float>{100.0f, 50.0f + 1280.0f});
    EXPECT_FLOAT_EQ(origin.x, 0.0f);
    EXPECT_FLOAT_EQ(origin.y, 0.0f);
    const auto corner = loader->ToPlayArea(vadu::math::Vector2<float>{1060.0f, 50.0f});
    EXPECT_FLOAT_EQ(corner.x, 480.0f);
    EXPECT_FLOAT_EQ(corner.y, 640.0f);

    // The water rectangle's top edge, in pixels, is the line; its raise is scaled too.
    EXPECT_FLOAT_EQ(loader->GetSettings().GetWaterLevel(), 100.0f);
    EXPECT_FLOAT_EQ(loader->GetSettings().waterLevelRaise, 50.0f);

    const auto& items = loader->GetBackground()->items;
    ASSERT_EQ(items.size(), 2u);
    EXPECT_FLOAT_EQ(items[0].x, 480.0f);
    EXPECT_FLOAT_EQ(items[0].y, 640.0f);
    EXPECT_FLOAT_EQ(items[0].rotation, -30.0f);
    EXPECT_FLOAT_EQ(items[0].scaleX, 2.0f);
    EXPECT_FLOAT_EQ(items[0].scaleY, 0.5f);
    EXPECT_EQ(Std(items[1].asset_name), "decorations/moon");
    EXPECT_FLOAT_EQ(items[1].rotation, 0.0f);
    EXPECT_FLOAT_EQ(items[1].scaleX, 1.0f);
}

TEST_F(LevelLoaderTest, ReadsShapesGravityPointAndCannonsSkippingUnknownLayers)
{
    const std::string boundaries = R"(<Layer Name="Boundaries"><Items>)" + Item("BoundariesRectangle", 0, 0, 960, 640) +
                                   R"(<Item Name="GravityPoint"><Position><X>480</X><Y>320</Y></Position>)" +
                                   "<CustomProperties>" + Property("gravity", "12.5") + "</CustomProperties></Item>" +
                                   "</Items></Layer>";
    const std::string layers =
        R"(<Layer Name="Shapes"><Items><Item Name="A"><Position><X>10</X><Y>600</Y></Position>
            <asset_name>shapes/monsters/x/Normal/2</asset_name></Item></Items></Layer>
        <Layer Name="shapes"><Items><Item Name="Ignored"><Position><X>0</X><Y>0</Y></Position>
            <asset_name>shapes/monsters/x/Normal/1</asset_name></Item></Items></Layer>
        <Layer Name="boundaries"><Items>)" +
        Item("BoundariesRectangle", 0, 0, 10, 10) + R"(</Items></Layer>
        <Layer Name="NoItems"/>
        <Layer Name="Cannons"><Items>)" +
        Item("DefaultDestination", 0, 0, 960, 100) + Item("Target", 400, 0, 160, 100) +
        Item("LeftCannon", 0, -100, 100, 50,
             "<CustomProperties>" + Property("weight", "1") + Property("destination", "Target") + "</CustomProperties>") +
        Item("RightCannon2", 860, -100, 100, 50,
             "<CustomProperties>" + Property("weight", "3") + Property("destination", "Nowhere") + "</CustomProperties>") +
        Item("Decoy", 0, 0, 1, 1) + "</Items></Layer>";
    const auto loader = Load(LevelText(layers, "", boundaries));

    ASSERT_EQ(loader->GetShapes().size(), 1u);
    EXPECT_EQ(Std(loader->GetShapes()[0].asset), "shapes/monsters/x/Normal/2");
    EXPECT_FLOAT_EQ(loader->GetShapes()[0].position.x, 10.0f);
    EXPECT_FLOAT_EQ(loader->GetShapes()[0].position.y, 40.0f);
    // The lower-case "boundaries" layer changed no scale.
    EXPECT_FLOAT_EQ(loader->GetBoundaries().width, 960.0f);

    EXPECT_FLOAT_EQ(loader->GetSettings().gravityPointX, 480.0f);
    EXPECT_FLOAT_EQ(loader->GetSettings().gravityPointY, 320.0f);
    EXPECT_FLOAT_EQ(loader->GetSettings().gravityPointStrength, 12.5f);

    const auto& cannons = loader->GetCannons();
    ASSERT_EQ(cannons.size(), 2u);
    EXPECT_FLOAT_EQ(cannons[0].weight, 1.0f);
    EXPECT_FLOAT_EQ(cannons[0].destination.x, 400.0f);
    EXPECT_FLOAT_EQ(cannons[0].destination.width, 160.0f);
    // Rectangles become (left, bottom, width, height) with y up.
    EXPECT_FLOAT_EQ(cannons[0].rectangle.y, 690.0f);
    EXPECT_FLOAT_EQ(cannons[0].rectangle.height, 50.0f);
    // An unknown destination falls back to the default one.
    EXPECT_FLOAT_EQ(cannons[1].destination.x, 0.0f);
    EXPECT_FLOAT_EQ(cannons[1].destination.y, 540.0f);
    EXPECT_FLOAT_EQ(cannons[1].destination.width, 960.0f);
}

TEST_F(LevelLoaderTest, BrokenFilesRaiseNamedErrors)
{
    const std::string noCustom = R"(<Layer Name="Cannons"><Items>)" + Item("Cannon", 0, 0, 1, 1) + "</Items></Layer>";
    struct Case {
        const char* what;
        std::string text;
        const char* function;
        const char* description;
    } cases[] = {
        {"no layers", "<Level><CustomProperties/></Level>", "LevelLoader::LevelLoader", "Layers not found"},
        {"no boundaries", "<Level><Layers/><CustomProperties/></Level>", "LevelLoader::LevelLoader", "Boundaries not found"},
        {"missing position",
         LevelText(R"(<Layer Name="Shapes"><Items><Item Name="A"><asset_name>a/b/c/Normal/1</asset_name></Item></Items></Layer>)", ""),
         "ValueReader::CheckNodeForNull", "Unable to find node Position"},
        {"missing asset name",
         LevelText(R"(<Layer Name="Shapes"><Items><Item Name="A"><Position><X>1</X><Y>1</Y></Position></Item></Items></Layer>)", ""),
         "ValueReader::CheckNodeForNull", "Unable to find node asset_name"},
        {"missing width", LevelText(R"(<Layer Name="Water"><Items><Item Name="WaterRectangle"><Position><X>1</X><Y>1</Y></Position>
            <Height>3</Height></Item></Items></Layer>)", ""),
         "ValueReader::CheckNodeForNull", "Unable to find node Width"},
        {"no root properties", "<Level><Layers>" + std::string(R"(<Layer Name="Boundaries"><Items>)") +
                                   Item("BoundariesRectangle", 0, 0, 960, 640) + "</Items></Layer></Layers></Level>",
         "ValueReader::ReadCustomProperty", "Unable to find CustomProperties"},
        {"cannon without properties", LevelText(noCustom, ""), "ValueReader::ReadCustomProperty",
         "Unable to find CustomProperties"},
        {"cannon with weight 0",
         LevelText(R"(<Layer Name="Cannons"><Items>)" +
                       Item("TopCannon", 0, 0, 1, 1, "<CustomProperties>" + Property("weight", "0") + "</CustomProperties>") +
                       "</Items></Layer>",
                   ""),
         "LevelLoader::ReadCannons", "Weight is not defined for cannon TopCannon"},
        {"cannon with empty weight",
         LevelText(R"(<Layer Name="Cannons"><Items>)" +
                       Item("TopCannon", 0, 0, 1, 1, "<CustomProperties>" + Property("weight", "") + "</CustomProperties>") +
                       "</Items></Layer>",
                   ""),
         "LevelLoader::ReadCannons", "Weight is not defined for cannon TopCannon"},
        {"a property that is not a number", LevelText("", Property("maxShapeCount", "many")), "ValueReader::ReadInt",
         "Property maxShapeCount is not a number: many"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            Load(c.text);
            ADD_FAILURE() << "no exception";
        } catch (const vadu::Gluck& gluck) {
            EXPECT_EQ(Std(gluck.get_function()), c.function);
            EXPECT_EQ(Std(gluck.get_description()), c.description);
        }
    }
    // Text that is not XML at all fails cleanly too.
    EXPECT_THROW(Load("<Level><Layers>"), vadu::Gluck);
}

// Read from a file, every failure names the file and says what kind of file it is: a
// level's or the decorations a menu screen shows.
TEST_F(LevelLoaderTest, FailuresOfAFileNameItAndWhatItIs)
{
    test_support::TempFolder folder("quillo-level-files");
    ASSERT_FALSE(folder.root().empty());
    const std::string root = folder.root().string() + "/";
    vadu::filesystem::Creator files([root] {
        return std::make_unique<vadu::filesystem::PathFileSystem>(vadu::filesystem::String(root.c_str(), false),
                                                                  std::make_unique<vadu::filesystem::NativeFileSystem>());
    });
    std::filesystem::create_directories(folder.at("data/levels"));
    std::filesystem::create_directories(folder.at("data/decorations"));
    std::ofstream(folder.at("data/levels/cut.xml")) << "<Level><Layers>";
    std::ofstream(folder.at("data/levels/bare.xml")) << "<Level><CustomProperties/></Level>";
    std::ofstream(folder.at("data/decorations/cut.xml")) << "<Level><Layers>";
    std::ofstream(folder.at("data/decorations/bare.xml")) << "<Level><CustomProperties/></Level>";

    struct Case {
        const char* path;
        bool decorations;
        const char* description; // its start
    } const cases[] = {
        {"data/levels/cut.xml", false, "The level file does not parse: "},
        {"data/levels/bare.xml", false, "Layers not found"},
        {"data/levels/missing.xml", false, "Unable to open the level file"},
        {"data/decorations/cut.xml", true, "The decorations file does not parse: "},
        {"data/decorations/bare.xml", true, "Layers not found"},
        {"data/decorations/missing.xml", true, "Unable to open the decorations file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const vadu::filesystem::String path(c.path, true);
        try {
            if (c.decorations)
                LevelLoader::LoadDecorationsOnly(path);
            else
                LevelLoader loader(path);
            ADD_FAILURE() << "no exception";
        } catch (const vadu::GluckBadResource& gluck) {
            EXPECT_EQ(Std(gluck.get_description()).rfind(c.description, 0), 0u) << Std(gluck.get_description());
            EXPECT_EQ(std::string(gluck.get_resource().get_text().c_str()), c.path);
        } catch (const vadu::Gluck& gluck) {
            ADD_FAILURE() << "no file named: " << Std(gluck.get_description());
        }
    }
}

} // namespace
