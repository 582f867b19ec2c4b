// The backgrounds of levels and menus, and the water: which pictures a background is made
// of and where, the night tint, the drifting clouds, the symbols of the level file, and the
// water's level cycle, steady rise, bubbles and scrolling waves.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "gameplay_test_support.h"
#include "platform/random.h"
#include "sources/gameplay/decorations.h"
#include "sources/gameplay/water_decoration.h"
#include "support/fake_gameplay.h"
#include "vadu/exception.h"
#include "vadu/lib3d/material/texture_handle.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/resource_loader.h"

namespace {

using gameplay::BackgroundDescription;
using gameplay::Decorations;
using gameplay::DecorationItem;
using gameplay::WaterDecoration;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;
using vadu::math::Vector3;

// Waves 1, 2 and 4 of known widths (one inside a group), no wave 3, and the bubbles.
const char* const WaterScene = R"(<Scene>
    <Node Name="Group"><Sprite Name="Water1" Width="200" Height="10"/></Node>
    <Sprite Name="Water2" Width="100" Height="10" Scale="2 1 1"/>
    <Sprite Name="Water4" Width="50" Height="10" Position="0 -20 3"/>
    <Node Name="Bubbles"/>
</Scene>)";

const char* const UnderwaterScene = R"(<Scene><Node Name="Surface"/></Scene>)";

// The default sizes, with the ones decorations read adjustable.
class SizedShell : public gameplay_fakes::FakeShell {
public:
    float GetExtraHeight() const override { return extraHeight; }
    float GetBackgroundCoefficient() const override { return coefficient; }
    float GetFieldOffsetX() const override { return fieldOffsetX; }

    float extraHeight = 0.0f;
    float coefficient = 1.0f;
    float fieldOffsetX = 0.0f;
};

std::string texture_of(Sprite& sprite)
{
    vadu::lib3d::material::TextureHandle* handle = sprite.get_texture();
    if (handle == nullptr || handle->get_texture() == nullptr || handle->get_texture()->get_rep() == nullptr)
        return "";
    const vadu::String& text = handle->get_texture()->get_rep()->get_path().get_text();
    return std::string(text.data(), text.size());
}

// The picture loader the sprites' textures need, over the test's folder.
struct PictureLoader : vadu::resource::ActiveMultithreaded::Creator {
    explicit PictureLoader(const std::string& folder)
        : vadu::filesystem::Creator([folder] {
              return std::make_unique<vadu::filesystem::PathFileSystem>(
                  vadu::filesystem::String((folder + "/").c_str(), false),
                  std::make_unique<vadu::filesystem::NativeFileSystem>());
          })
    {
    }
};

class DecorationsTest : public gameplay_test::GameplayTest {
protected:
    DecorationsTest()
    {
        vadu::lib3d::node::register_node_type("Node", &vadu::lib3d::node::create_node_of_type<Node>);
        vadu::lib3d::node::register_node_type("Sprite", &vadu::lib3d::node::create_node_of_type<Sprite>);
        write("data/decorations/water.scene", WaterScene);
        write("data/decorations/underwater.scene", UnderwaterScene);
    }
    ~DecorationsTest() override
    {
        root_.delete_children();
        vadu::lib3d::node::unregister_node_type("Sprite");
        vadu::lib3d::node::unregister_node_type("Node");
    }

    // A description sharing the settings' water line.
    std::unique_ptr<BackgroundDescription> background(int type, float water, std::vector<DecorationItem> items = {})
    {
        settings_.SetWaterLevel(water);
        auto description = std::make_unique<BackgroundDescription>();
        description->ShareWater(settings_);
        description->backgroundType = type;
        description->items = std::move(items);
        return description;
    }

    static DecorationItem item(const char* name, float x = 100.0f, float y = 200.0f)
    {
        DecorationItem made;
        made.asset_name = name;
        made.x = x;
        made.y = y;
        return made;
    }

    // The sprites made under the root, in order.
    std::vector<Sprite*> sprites()
    {
        std::vector<Sprite*> found;
        for (Node* child : root_.get_children()) {
            if (auto* sprite = dynamic_cast<Sprite*>(child))
                found.push_back(sprite);
        }
        return found;
    }

    Sprite* find_texture(const std::string& path)
    {
        for (Sprite* sprite : sprites()) {
            if (texture_of(*sprite) == path)
                return sprite;
        }
        return nullptr;
    }

    PictureLoader loader_{temp_.root().string()};
    // The loader brings a log of its own; this one catches what the decorations report.
    test_support::LogCapture capture_;
    SizedShell shell_;
    gameplay::LevelSettings settings_;
    Node root_{"Root", nullptr};
};

TEST_F(DecorationsTest, TheBackgroundPictureFollowsTheTypeAtTheBackOfTheScreen)
{
    struct Case {
        int type;
        const char* texture;
        Vector3 tint;
    };
    const Case cases[] = {{0, "data/decorations/main_bg", {1.0f, 1.0f, 1.0f}},
                          {1, "data/decorations/main_bg_night", {0.2f, 0.2f, 0.4f}},
                          {2, "data/decorations/main_bg_underwater", {1.0f, 1.0f, 1.0f}}};
    shell_.scale = 1.5f;
    shell_.extraHeight = 40.0f;
    shell_.coefficient = 1.25f;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        Decorations decorations;
        decorations.Create(*background(c.type, 0.0f), &root_);
        Sprite* back = decorations.GetBackgroundSprite();
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(texture_of(*back), c.texture);
        EXPECT_EQ(back->get_position(), (Vector3{720.0f, 480.0f + 20.0f, 50.0f}));
        EXPECT_EQ(back->get_scale(), (Vector3{1.25f, 1.25f, 1.0f}));
        EXPECT_TRUE(back->is_filter_texture());
        // The background itself is never tinted.
        EXPECT_EQ(back->get_colour(), (Vector3{1.0f, 1.0f, 1.0f}));
        EXPECT_EQ(decorations.GetTint(), c.tint);
        EXPECT_EQ(decorations.GetClouds().size(), c.type == 0 ? 4u : 0u);
        root_.delete_children();
    }
}

TEST_F(DecorationsTest, NightTintsEverySymbolButTheMoon)
{
    for (const int type : {0, 1}) {
        SCOPED_TRACE(type);
        Decorations decorations;
        decorations.Create(*background(type, 0.0f,
                                       {item("Decorations/Land/IslandSymbol1"), item("Decorations/Land/TreeSymbol3"),
                                        item("Decorations/Sky/SkyIslandSymbol2"), item("Decorations/Sky/Sun"),
                                        item("Decorations/Sky/Moon")}),
                           &root_);
        const Vector3 tint = type == 1 ? Vector3{0.2f, 0.2f, 0.4f} : Vector3{1.0f, 1.0f, 1.0f};
        for (const char* name : {"island1", "tree3", "sky_island2", "sun"}) {
            Sprite* sprite = find_texture(std::string("data/decorations/") + name);
            ASSERT_NE(sprite, nullptr) << name;
            EXPECT_EQ(sprite->get_colour(), tint) << name;
        }
        Sprite* moon = find_texture("data/decorations/moon");
        ASSERT_NE(moon, nullptr);
        EXPECT_EQ(moon->get_colour(), (Vector3{1.0f, 1.0f, 1.0f}));
        EXPECT_EQ(moon->get_position().z, 49.5f);
        root_.delete_children();
    }
}

TEST_F(DecorationsTest, SymbolsStackTheirDepthsAndNeedThreePiecesAndANumber)
{
    DecorationItem turned = item("Decorations/Land/TreeSymbol2", 300.0f, 120.0f);
    turned.rotation = 0.25f;
    turned.scaleX = -1.0f;
    turned.scaleY = 1.5f;
    Decorations decorations;
    decorations.Create(*background(1, 0.0f,
                                   {turned, item("Decorations/Land/IslandSymbol3"), item("Sky/Islands/SkyIslandSymbol1"),
                                    item("Sky\\Islands\\SkyIslandSymbol2"), item("TreeSymbol1"),
                                    item("Decorations/Land/TreeSymbol"), item("A/B/C/TreeSymbol1"),
                                    item("Decorations//IslandSymbol1"), item("Decorations/Land/Bush1"),
                                    item("Decorations/Sea/SeaweedSymbol2"), item("Decorations/Sea/CoralSymbol3"),
                                    item("Decorations/Sea/SeaweedSymbol")}),
                       &root_);
    struct Expected {
        const char* texture;
        float depth;
    };
    // In file order after the background; the empty middle piece still counts.
    const Expected expected[] = {{"data/decorations/tree2", 29.8f},
                                 {"data/decorations/island3", 29.6f},
                                 {"data/decorations/sky_island1", 39.99f},
                                 {"data/decorations/sky_island2", 39.98f},
                                 {"data/decorations/island1", 29.4f},
                                 // The sea floor's plants stand in the islands' and trees' row.
                                 {"data/decorations/seaweed2", 29.2f},
                                 {"data/decorations/coral3", 29.0f}};
    const std::vector<Sprite*> made = sprites();
    ASSERT_EQ(made.size(), 1u + std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].texture);
        EXPECT_EQ(texture_of(*made[i + 1]), expected[i].texture);
        EXPECT_FLOAT_EQ(made[i + 1]->get_position().z, expected[i].depth);
        EXPECT_TRUE(made[i + 1]->is_filter_texture());
    }
    EXPECT_EQ(made[1]->get_position(), (Vector3{300.0f, 120.0f, made[1]->get_position().z}));
    EXPECT_EQ(made[1]->get_rotation(), (Vector3{0.0f, 0.0f, 0.25f}));
    EXPECT_EQ(made[1]->get_scale(), (Vector3{-1.0f, 1.5f, 1.0f}));
    // The name without a number is reported, not guessed.
    EXPECT_NE(capture_.text().find("Decorations/Land/TreeSymbol\""), std::string::npos);
    EXPECT_NE(capture_.text().find("Decorations/Sea/SeaweedSymbol\""), std::string::npos);
}

TEST_F(DecorationsTest, CloudsDriftOnlyByDayWithinTheirBand)
{
    struct Case {
        float water;
        float scale;
        float low;
        float high;
    };
    const Case cases[] = {{100.0f, 1.0f, 300.0f, 550.0f}, {-50.0f, 1.0f, 110.0f, 550.0f}, {-50.0f, 2.0f, 220.0f, 1100.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.water) + " at " + std::to_string(c.scale));
        shell_.scale = c.scale;
        for (unsigned seed = 1; seed <= 25; ++seed) {
            platform::seed_random(seed);
            Decorations decorations;
            decorations.Create(*background(0, c.water), &root_);
            EXPECT_EQ(decorations.GetWater() != nullptr, c.water > 0.0f);
            ASSERT_EQ(decorations.GetClouds().size(), 4u);
            int index = 1;
            for (const auto& [cloud, speed] : decorations.GetClouds()) {
                const Vector3& p = cloud->get_position();
                EXPECT_GE(p.y, c.low);
                EXPECT_LE(p.y, c.high);
                EXPECT_EQ(p.y, std::trunc(p.y));
                EXPECT_GE(p.x, 0.0f);
                EXPECT_LE(p.x, 960.0f);
                EXPECT_GE(p.z, 47.0f);
                EXPECT_LE(p.z, 49.0f);
                EXPECT_GE(speed, 25.0f * c.scale);
                EXPECT_LE(speed, 50.0f * c.scale);
                EXPECT_FALSE(cloud->is_filter_texture());
                EXPECT_EQ(texture_of(*cloud), "data/decorations/cloud" + std::to_string(index++));
            }
            root_.delete_children();
        }
    }
}

TEST_F(DecorationsTest, ACloudPastTheLeftEdgeComesBackAtTheRight)
{
    shell_.fieldOffsetX = 20.0f;
    Decorations decorations;
    decorations.Create(*background(0, -50.0f), &root_);
    auto [cloud, speed] = decorations.GetClouds()[0];
    cloud->set_width(160);
    struct Case {
        float x;
        float expected;
    };
    // Out past -160 - 20: back at 160 + 960, then on its way.
    const Case cases[] = {{-181.0f, 1120.0f - speed * 0.5f}, {-179.0f, -179.0f - speed * 0.5f},
                          {500.0f, 500.0f - speed * 0.5f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        cloud->set_position({c.x, 400.0f, 48.0f});
        decorations.Update(0.5f);
        EXPECT_FLOAT_EQ(cloud->get_position().x, c.expected);
        EXPECT_EQ(cloud->get_position().y, 400.0f);
        EXPECT_EQ(cloud->get_position().z, 48.0f);
    }
}

TEST_F(DecorationsTest, WaterComesWithAWaterLineOrUnderwater)
{
    struct Case {
        int type;
        float water;
        bool made;
        bool underwater;
    };
    const Case cases[] = {{0, 0.0f, false, false}, {0, 10.0f, true, false}, {1, 10.0f, true, false},
                          {2, 0.0f, true, true},   {2, -50.0f, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.water));
        Decorations decorations;
        decorations.Create(*background(c.type, c.water), &root_);
        ASSERT_EQ(decorations.GetWater() != nullptr, c.made);
        if (c.made) {
            Node* water = decorations.GetWater()->GetRoot();
            ASSERT_NE(water, nullptr);
            EXPECT_EQ(water->get_name(), vadu::Atom("WaterNode"));
            EXPECT_EQ(water->get_parent(), &root_);
            EXPECT_EQ(water->find_child(vadu::Atom("Surface"), true) != nullptr, c.underwater);
            EXPECT_EQ(decorations.GetWater()->GetWaves().empty(), c.underwater);
        }
        root_.delete_children();
    }
}

TEST_F(DecorationsTest, ADecorationsNeedsAParent)
{
    Decorations decorations;
    EXPECT_THROW(decorations.Create(*background(0, 0.0f), nullptr), vadu::Gluck);
}

// --- Water ------------------------------------------------------------------------------

class WaterTest : public DecorationsTest {
protected:
    WaterDecoration& load(float level)
    {
        description_ = background(0, level);
        water_ = std::make_unique<WaterDecoration>();
        water_->Load(*description_, &root_);
        return *water_;
    }

    std::unique_ptr<BackgroundDescription> description_;
    std::unique_ptr<WaterDecoration> water_;
};

TEST_F(WaterTest, LoadingFindsTheWavesAndPlacesTheWaterAndBubbles)
{
    struct Case {
        float level;
        float scale;
        bool bubbles;
        float bubblesY;
    };
    const Case cases[] = {{100.7f, 1.0f, true, -100.7f}, {50.0f, 1.0f, true, -72.0f}, {24.9f, 1.0f, false, 0.0f},
                          {40.0f, 2.0f, false, 0.0f},     {60.0f, 2.0f, true, -144.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.level) + " at " + std::to_string(c.scale));
        shell_.scale = c.scale;
        WaterDecoration& water = load(c.level);
        ASSERT_NE(water.GetRoot(), nullptr);
        EXPECT_EQ(water.GetRoot()->get_position(), (Vector3{0.0f, std::trunc(c.level) + 0.5f, 0.0f}));
        const std::vector<Node*>& waves = water.GetWaves();
        ASSERT_EQ(waves.size(), 3u);
        EXPECT_EQ(waves[0]->get_name(), vadu::Atom("Water1"));
        EXPECT_EQ(waves[1]->get_name(), vadu::Atom("Water2"));
        EXPECT_EQ(waves[2]->get_name(), vadu::Atom("Water4"));
        ASSERT_NE(water.GetBubbles(), nullptr);
        EXPECT_EQ(water.GetBubbles()->is_visible(), c.bubbles);
        if (c.bubbles) {
            EXPECT_EQ(water.GetBubbles()->get_position(), (Vector3{0.0f, c.bubblesY, 1.5f}));
        }
        water_.reset();
        root_.delete_children();
    }
}

TEST_F(WaterTest, TheWaterCyclesLowRisingHighFalling)
{
    WaterDecoration& water = load(100.0f);
    water.SetTimings(50.0f, 5.0f, 3.0f, 0.0f);
    struct Sample {
        float time;
        float level;
    };
    // Low for 3 s, up over 2 s, high for 5 s, down over 2 s: 12 s a cycle.
    const Sample samples[] = {{1.0f, 100.0f}, {4.0f, 125.0f}, {7.0f, 150.0f}, {11.0f, 125.0f}, {13.0f, 100.0f}};
    float clock = 0.0f;
    for (const Sample& sample : samples) {
        while (clock < sample.time - 1e-4f) {
            water.Update(0.5f);
            clock += 0.5f;
        }
        SCOPED_TRACE(sample.time);
        // The level is the level's own: the settings see it.
        EXPECT_NEAR(settings_.GetWaterLevel(), sample.level, 1e-3f);
        EXPECT_EQ(water.GetRoot()->get_position().y, std::trunc(settings_.GetWaterLevel()) + 0.5f);
    }
}

TEST_F(WaterTest, ASteadyRiseStopsAtItsCeiling)
{
    for (const float scale : {1.0f, 2.0f}) {
        SCOPED_TRACE(scale);
        shell_.scale = scale;
        WaterDecoration& water = load(100.0f);
        water.SetTimings(300.0f, 0.0f, 0.0f, 10.0f);
        water.Update(2.0f);
        EXPECT_FLOAT_EQ(settings_.GetWaterLevel(), 160.0f);
        for (int i = 0; i < 8; ++i)
            water.Update(1.0f);
        EXPECT_FLOAT_EQ(settings_.GetWaterLevel(), std::min(400.0f, 230.0f * scale));
        water_.reset();
        root_.delete_children();
    }
}

TEST_F(WaterTest, WithoutARaiseOnlyTheWavesMove)
{
    for (const float raise : {0.0f, 1.0f}) {
        SCOPED_TRACE(raise);
        WaterDecoration& water = load(100.0f);
        water.SetTimings(raise, 5.0f, 3.0f, 0.0f);
        for (int i = 0; i < 8; ++i)
            water.Update(1.0f);
        EXPECT_EQ(settings_.GetWaterLevel(), 100.0f);
        EXPECT_EQ(water.GetTimer(), 0.0f);
        EXPECT_EQ(water.GetRoot()->get_position().y, 100.5f);
        water_.reset();
        root_.delete_children();
    }
    // Never given its times, the water keeps still.
    WaterDecoration& water = load(80.0f);
    water.Update(1.0f);
    EXPECT_EQ(settings_.GetWaterLevel(), 80.0f);
}

TEST_F(WaterTest, WavesScrollAtTheirOwnSpeedsAndWrapByTheirWidth)
{
    shell_.scale = 1.5f;
    WaterDecoration& water = load(100.0f);
    const std::vector<Node*>& waves = water.GetWaves();
    struct Case {
        size_t wave;
        float start;
        float expected;
    };
    // Speeds by place among the strips found: trunc(30 x 1.5) = 45, trunc(52 x 1.5) = 78 and
    // trunc(74 x 1.5) = 111 px/s; widths 200, 100 x 2 and 50.
    const Case cases[] = {{0, 0.0f, -22.5f}, {0, -190.0f, -12.5f}, {1, -150.0f, -189.0f}, {1, -180.0f, -19.0f},
                          {2, -10.0f, -65.5f + 50.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.wave) + " from " + std::to_string(c.start));
        const float y = waves[c.wave]->get_position().y;
        const float z = waves[c.wave]->get_position().z;
        waves[c.wave]->set_position({c.start, y, z});
        water.Update(0.5f);
        EXPECT_FLOAT_EQ(waves[c.wave]->get_position().x, c.expected);
        EXPECT_EQ(waves[c.wave]->get_position().y, y);
        EXPECT_EQ(waves[c.wave]->get_position().z, z);
    }
}

} // namespace
