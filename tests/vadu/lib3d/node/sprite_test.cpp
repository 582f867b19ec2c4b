#include "vadu/lib3d/node/sprite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "quad_test_support.h"
#include "vadu/animate/primitive_animation.h"
#include "vadu/exception.h"
#include "vadu/lib3d/node/bounds.h"

namespace {

using namespace quad_test;
using vadu::lib3d::node::BoundsQuery;
using vadu::lib3d::node::BoundsRect;

struct Corner {
    float x, y;
};

::testing::AssertionResult corners_are(const hard::SpriteItem& item, const Corner (&expected)[4])
{
    for (int i = 0; i < 4; ++i) {
        if (!near(item.corners[i][0], expected[i].x) || !near(item.corners[i][1], expected[i].y) ||
            item.corners[i][2] != 0.0f) {
            return ::testing::AssertionFailure()
                   << "corner " << i << " is (" << item.corners[i][0] << ", " << item.corners[i][1] << ", "
                   << item.corners[i][2] << ") instead of (" << expected[i].x << ", " << expected[i].y << ", 0)";
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult uvs_are(const hard::SpriteItem& item, const Corner (&expected)[4])
{
    for (int i = 0; i < 4; ++i) {
        if (!near(item.uv[i][0], expected[i].x, 1e-5f) || !near(item.uv[i][1], expected[i].y, 1e-5f)) {
            return ::testing::AssertionFailure() << "uv " << i << " is (" << item.uv[i][0] << ", " << item.uv[i][1]
                                                 << ") instead of (" << expected[i].x << ", " << expected[i].y << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

class SpriteTest : public QuadTest {
protected:
    Sprite* load_sprite(const std::string& attributes)
    {
        root = std::make_unique<LoadingRoot>("Root");
        return dynamic_cast<Sprite*>(load("<Sprite Name=\"S\" " + attributes + "/>", "S"));
    }

    // The one sprite the last render drew, or null.
    const hard::SpriteItem* drawn()
    {
        const auto items = sprites();
        return items.size() == 1 ? items.front() : nullptr;
    }
};

TEST_F(SpriteTest, SizeComesFromThePictureUnlessSetAndTheAnchorPlacesIt)
{
    const struct {
        const char* attributes;
        int32_t width, height;
        Corner corners[4];
        float depth;
    } cases[] = {
        {R"(Src="pics/ball")", 64, 32, {{-32, -16}, {-32, 16}, {32, -16}, {32, 16}}, 0},
        {R"(Src="Pics\Ball" Anchor="0 0" Position="10 20 7")", 64, 32, {{10, 20}, {10, 52}, {74, 20}, {74, 52}}, 7},
        {R"(Src="pics/ball" Anchor="1 0.5" Width="100" Height="50")", 100, 50,
         {{-100, -25}, {-100, 25}, {0, -25}, {0, 25}}, 0},
        {R"(Src="pics/ball" Width="100")", 100, 32, {{-50, -16}, {-50, 16}, {50, -16}, {50, 16}}, 0},
        {R"(Atlas="pics/ui.atlas" Frame="b" Anchor="0 1")", 16, 16, {{0, -16}, {0, 0}, {16, -16}, {16, 0}}, 0},
    };
    preload({"pics/ball"}, true);
    for (const auto& c : cases) {
        Sprite* sprite = load_sprite(c.attributes);
        ASSERT_NE(sprite, nullptr) << c.attributes;
        render();
        const hard::SpriteItem* item = drawn();
        ASSERT_NE(item, nullptr) << c.attributes;
        EXPECT_EQ(sprite->get_width(), c.width) << c.attributes;
        EXPECT_EQ(sprite->get_height(), c.height) << c.attributes;
        EXPECT_TRUE(corners_are(*item, c.corners)) << c.attributes;
        EXPECT_EQ(item->depth, c.depth) << c.attributes;
        EXPECT_EQ(item, &sprite->get_item());
    }
}

TEST_F(SpriteTest, NothingIsDrawnBeforeThePictureIsReady)
{
    load(R"(<Sprite Name="A" Src="pics/ball"/><Sprite Name="B" Src="pics/ball" Width="100"/>
            <Sprite Name="C" Atlas="pics/ui.atlas" Frame="a"/>)",
         "A");
    const struct {
        const char* name;
        int32_t width_before, width;
    } cases[] = {{"A", 0, 64}, {"B", 100, 100}, {"C", 0, 32}};
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<Sprite*>(root->find_child(c.name, true))->get_width(), c.width_before) << c.name;
    render();
    EXPECT_TRUE(sprites().empty());

    ASSERT_TRUE(pump());
    render();
    EXPECT_EQ(sprites().size(), 3u);
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<Sprite*>(root->find_child(c.name, true))->get_width(), c.width) << c.name;
}

TEST_F(SpriteTest, TransparencyIsClampedAndNearlyInvisibleSpritesAreNotDrawn)
{
    const struct {
        double set;
        double stored;
        bool drawn;
    } cases[] = {
        {0.0, 0.0001, true},    {-0.5, 0.0001, true},   {0.5, 0.5, true},      {0.9979, 0.9979, true},
        {0.998, 0.998, false}, {1.0, 0.9999, false},   {3.0, 0.9999, false},
    };
    Sprite* sprite = load_sprite(R"(Src="pics/ball")");
    ASSERT_NE(sprite, nullptr);
    // A child is drawn whatever its parent's transparency.
    auto* child = new Sprite("Child", sprite);
    child->set_texture("pics/box", false);
    ASSERT_TRUE(pump());
    hard::StageTexture* ball = device_texture("pics/ball");
    ASSERT_NE(ball, nullptr);
    for (const auto& c : cases) {
        ASSERT_TRUE(sprite->change_attribute(Atom("Transparency"), c.set));
        render();
        EXPECT_EQ(sprite->get_transparency(), c.stored) << c.set;
        const auto items = sprites();
        EXPECT_EQ(items.size(), c.drawn ? 2u : 1u) << c.set;
        const bool parent_drawn =
            std::any_of(items.begin(), items.end(), [&](const hard::SpriteItem* item) { return item->stage.texture == ball; });
        EXPECT_EQ(parent_drawn, c.drawn) << c.set;
        if (c.drawn) {
            EXPECT_EQ(sprite->get_item().transparency, c.stored) << c.set;
        }
    }
}

TEST_F(SpriteTest, MissingPictureDrawsNothingButItsChildren)
{
    Sprite* sprite = load_sprite(R"(Src="pics/none")");
    ASSERT_NE(sprite, nullptr);
    auto* child = new Sprite("Child", sprite);
    child->set_texture("pics/box", false);
    auto* bare = new Sprite("Bare", root.get());
    new Sprite("BareChild", bare);
    static_cast<Sprite*>(bare->get_children().front())->set_atlas_texture("pics/ui.atlas", Atom("nope"));
    ASSERT_TRUE(pump());
    render();
    ASSERT_EQ(sprites().size(), 1u);
    EXPECT_EQ(sprites().front(), &child->get_item());
    EXPECT_EQ(sprite->get_width(), 0);
    EXPECT_NE(log_text().find("pics/none"), std::string::npos) << log_text();
}

TEST_F(SpriteTest, FragmentsTilesAndAtlasFramesChooseTextureCoordinates)
{
    preload({"pics/ball"}, true);
    const float u0 = 32.5f / 64, u1 = 47.5f / 64, v0 = 16.5f / 32, v1 = 31.5f / 32;
    const struct {
        const char* attributes;
        Corner corners[4];
        Corner uv[4];
    } cases[] = {
        {R"(Src="pics/ball")", {{0, 0}, {0, 32}, {64, 0}, {64, 32}}, {{0, 0}, {0, 1}, {1, 0}, {1, 1}}},
        {R"(Src="pics/ball" Fragment="0 0 0.5 0.5")",
         {{0, 0}, {0, 16}, {32, 0}, {32, 16}},
         {{0, 0}, {0, 0.5f}, {0.5f, 0}, {0.5f, 0.5f}}},
        {R"(Src="pics/ball" Fragment="0 0 0.5 0.5" AbsoluteFragment="true")",
         {{0, 0}, {0, 0.5f}, {0.5f, 0}, {0.5f, 0.5f}},
         {{0, 0}, {0, 0.5f / 32}, {0.5f / 64, 0}, {0.5f / 64, 0.5f / 32}}},
        {R"(Src="pics/ball" Fragment="16 8 32 16" AbsoluteFragment="1")",
         {{16, 8}, {16, 24}, {48, 8}, {48, 24}},
         {{0.25f, 0.25f}, {0.25f, 0.75f}, {0.75f, 0.25f}, {0.75f, 0.75f}}},
        {R"(Src="pics/ball" Fragment="0.5 0.5 0.5 0.5")",
         {{32, 16}, {32, 32}, {64, 16}, {64, 32}},
         {{0.5f, 0.5f}, {0.5f, 1}, {1, 0.5f}, {1, 1}}},
        {R"(Src="pics/ball" Tile="2 3" TileOffset="0.5 0")",
         {{0, 0}, {0, 32}, {64, 0}, {64, 32}},
         {{0.5f, 0}, {0.5f, 3}, {2, 0}, {2, 3}}},
        {R"(Atlas="pics/ui.atlas" Frame="b")", {{0, 0}, {0, 16}, {16, 0}, {16, 16}}, {{u0, v0}, {u0, v1}, {u1, v0}, {u1, v1}}},
        {R"(Atlas="pics/ui.atlas" Frame="b" Fragment="0 0 0.5 0.5")",
         {{0, 0}, {0, 8}, {8, 0}, {8, 8}},
         {{u0, v0}, {u0, (16.5f + 7.5f) / 32}, {40.0f / 64, v0}, {40.0f / 64, (16.5f + 7.5f) / 32}}},
    };
    for (const auto& c : cases) {
        Sprite* sprite = load_sprite(std::string(c.attributes) + R"( Anchor="0 0")");
        ASSERT_NE(sprite, nullptr) << c.attributes;
        ASSERT_TRUE(pump());
        render();
        const hard::SpriteItem* item = drawn();
        ASSERT_NE(item, nullptr) << c.attributes;
        EXPECT_TRUE(corners_are(*item, c.corners)) << c.attributes;
        EXPECT_TRUE(uvs_are(*item, c.uv)) << c.attributes;
    }

    // A fragment set later changes both the quad and its coordinates.
    Sprite* sprite = load_sprite(R"(Src="pics/ball" Anchor="0 0")");
    ASSERT_TRUE(pump());
    render();
    sprite->set_fragment(0.5f, 0, 0.5f, 1);
    render();
    ASSERT_NE(drawn(), nullptr);
    EXPECT_TRUE(corners_are(*drawn(), {{32, 0}, {32, 32}, {64, 0}, {64, 32}}));
    EXPECT_TRUE(uvs_are(*drawn(), {{0.5f, 0}, {0.5f, 1}, {1, 0}, {1, 1}}));
}

TEST_F(SpriteTest, FramesByIndexAndByName)
{
    // Frames a 32 x 16, b 16 x 16, c 16 x 8, d 8 x 8.
    const struct {
        double index;
        int32_t width, height;
    } cases[] = {
        {0.5, 32, 16}, {1, 16, 16}, {2.9, 16, 8}, {2.9999999, 8, 8}, {1.0000001, 16, 16}, {3, 8, 8},
    };
    Sprite* sprite = load_sprite(R"(Atlas="pics/ui.atlas" Frame="a" Anchor="0 0")");
    ASSERT_NE(sprite, nullptr);
    ASSERT_TRUE(pump());
    for (const auto& c : cases) {
        ASSERT_TRUE(sprite->change_attribute(Atom("FrameIndex"), c.index));
        render();
        EXPECT_EQ(sprite->get_width(), c.width) << c.index;
        EXPECT_EQ(sprite->get_height(), c.height) << c.index;
        ASSERT_NE(drawn(), nullptr) << c.index;
        EXPECT_EQ(drawn()->corners[3][0], static_cast<float>(c.width)) << c.index;
        EXPECT_EQ(drawn()->corners[3][1], static_cast<float>(c.height)) << c.index;
    }
    ASSERT_TRUE(sprite->change_attribute(Atom("Frame"), vadu::WString(u"c")));
    render();
    EXPECT_EQ(sprite->get_width(), 16);
    EXPECT_EQ(sprite->get_height(), 8);
    sprite->set_frame(Atom("a"));
    render();
    EXPECT_EQ(sprite->get_width(), 32);
    // An index no frame has is logged and the sprite simply stops drawing.
    ASSERT_TRUE(sprite->change_attribute(Atom("FrameIndex"), 9.0));
    ASSERT_TRUE(sprite->change_attribute(Atom("FrameIndex"), 1e12));
    render();
    EXPECT_EQ(drawn(), nullptr);
    EXPECT_NE(log_text().find("out of range"), std::string::npos) << log_text();
}

TEST_F(SpriteTest, MirroredPlacementKeepsTheWindingAndTheCoordinatesWithTheirCorners)
{
    const auto winding = [](const hard::SpriteItem& item) {
        const float* a = item.corners[0];
        const float* b = item.corners[1];
        const float* c = item.corners[2];
        return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
    };
    preload({"pics/ball"});
    const Vector3 scales[] = {{1, 1, 1}, {-1, 1, 1}, {1, -1, 1}, {-1, -1, 1}, {-2, 0.5f, 1}};
    float reference = 0.0f;
    for (const Vector3& scale : scales) {
        Sprite* sprite = load_sprite(R"(Src="pics/ball" Anchor="0 0")");
        ASSERT_NE(sprite, nullptr);
        sprite->set_scale(scale);
        ASSERT_TRUE(pump());
        render();
        const hard::SpriteItem* item = drawn();
        ASSERT_NE(item, nullptr) << scale.x << " " << scale.y;
        if (reference == 0.0f)
            reference = winding(*item);
        EXPECT_GT(winding(*item) * reference, 0.0f) << scale.x << " " << scale.y;
        // Each corner keeps the coordinates of the picture point it shows.
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(near(item->uv[i][0], item->corners[i][0] / scale.x / 64)) << scale.x << " " << scale.y << " " << i;
            EXPECT_TRUE(near(item->uv[i][1], item->corners[i][1] / scale.y / 32)) << scale.x << " " << scale.y << " " << i;
        }
    }
}

TEST_F(SpriteTest, AutomaticFilteringOnlyOnceScaledOrRotated)
{
    const struct {
        const char* attributes;
        uint32_t filter;
    } cases[] = {
        {"", 0},
        {R"(Scale="1.005 1 1")", 0},
        {R"(Scale="1.02 1 1")", 1},
        {R"(Scale="1 0.98 1")", 1},
        {R"(Rotation="0 0 0.005")", 0},
        {R"(Rotation="0 0 0.02")", 1},
        {R"(Position="13.5 -7 3")", 0},
        {R"(FilterTexture="true")", 1},
        {R"(TextureFilter="false" Scale="2 2 1")", 0},
        {R"(FilterTexture="true" AutoFilter="true")", 0},
        {R"(AutoFiltration="false" Scale="2 2 1")", 0},
    };
    preload({"pics/ball"});
    for (const auto& c : cases) {
        Sprite* sprite = load_sprite(std::string(R"(Src="pics/ball" )") + c.attributes);
        ASSERT_NE(sprite, nullptr) << c.attributes;
        ASSERT_TRUE(pump());
        render();
        ASSERT_NE(drawn(), nullptr) << c.attributes;
        EXPECT_EQ(drawn()->filter, c.filter) << c.attributes;
    }
    Sprite* sprite = load_sprite(R"(Src="pics/ball" Scale="2 2 1")");
    ASSERT_TRUE(pump());
    sprite->set_filter_texture(false);
    EXPECT_FALSE(sprite->is_auto_filter());
    render();
    ASSERT_NE(drawn(), nullptr);
    EXPECT_EQ(drawn()->filter, 0u);
}

TEST_F(SpriteTest, ReplacedPictureStaysOnScreenUntilTheNewOneIsReady)
{
    Sprite* sprite = load_sprite(R"(Src="pics/ball" Anchor="0 0")");
    ASSERT_NE(sprite, nullptr);
    ASSERT_TRUE(pump());
    render();
    hard::StageTexture* ball = device_texture("pics/ball");
    ASSERT_NE(drawn(), nullptr);
    ASSERT_EQ(drawn()->stage.texture, ball);

    ASSERT_TRUE(sprite->change_attribute(Atom("Src"), vadu::filesystem::String("pics/box", true)));
    render();
    ASSERT_NE(drawn(), nullptr);
    EXPECT_EQ(drawn()->stage.texture, ball);
    EXPECT_TRUE(corners_are(*drawn(), {{0, 0}, {0, 32}, {64, 0}, {64, 32}}));
    EXPECT_NE(sprite->get_previous_texture(), nullptr);
    // A second change before the first has loaded still keeps the picture on screen.
    ASSERT_TRUE(sprite->change_attribute(Atom("Src"), vadu::filesystem::String("pics/ui", true)));
    render();
    ASSERT_NE(drawn(), nullptr);
    EXPECT_EQ(drawn()->stage.texture, ball);

    ASSERT_TRUE(pump());
    render();
    ASSERT_NE(drawn(), nullptr);
    EXPECT_EQ(drawn()->stage.texture, device_texture("pics/ui"));
    EXPECT_EQ(sprite->get_previous_texture(), nullptr);

    // The setters replace the picture at once.
    sprite->set_texture("Pics/Box", false);
    render();
    EXPECT_EQ(drawn(), nullptr);
    ASSERT_TRUE(pump());
    render();
    ASSERT_NE(drawn(), nullptr);
    EXPECT_EQ(drawn()->stage.texture, device_texture("pics/box"));
    EXPECT_TRUE(corners_are(*drawn(), {{0, 0}, {0, 32}, {32, 0}, {32, 32}}));
}

// A query that records what the node did with it.
class RecordingQuery : public BoundsQuery {
public:
    bool begin() override
    {
        ++begun;
        return begin_result;
    }
    BoundsRect& rect() override { return bounds; }
    bool finish() override
    {
        ++finished;
        return finish_result;
    }

    bool begin_result = true;
    bool finish_result = true;
    int begun = 0;
    int finished = 0;
    BoundsRect bounds{1, 2, 3, 4, 0};
};

TEST_F(SpriteTest, BoundsAndGlobalRectangle)
{
    Sprite* sprite = load_sprite(R"(Src="pics/ball" Position="100 50 0")");
    ASSERT_NE(sprite, nullptr);
    RecordingQuery unsized;
    unsized.finish_result = false;
    EXPECT_FALSE(vadu::lib3d::node::query_node_bounds(*sprite, unsized));
    EXPECT_TRUE(std::isnan(unsized.bounds.min_x) && std::isnan(unsized.bounds.max_y));
    EXPECT_EQ(unsized.bounds.empty, 1);

    ASSERT_TRUE(pump());
    const struct {
        float anchor_x, anchor_y;
        Vector3 scale;
        BoundsRect bounds;
        std::array<float, 4> rect;
    } cases[] = {
        {0.5f, 0.5f, {1, 1, 1}, {68, 34, 132, 66, 0}, {68, 34, 64, 32}},
        {0, 0, {1, 1, 1}, {100, 50, 164, 82, 0}, {100, 50, 64, 32}},
        {1, 1, {1, 1, 1}, {36, 18, 100, 50, 0}, {36, 18, 64, 32}},
        {0, 0, {-1, 2, 1}, {36, 50, 100, 114, 0}, {100, 50, 64, 32}},
    };
    for (const auto& c : cases) {
        sprite->set_anchor(c.anchor_x, c.anchor_y);
        sprite->set_scale(c.scale);
        RecordingQuery query;
        EXPECT_TRUE(sprite->query_bounds(query));
        EXPECT_EQ(query.finished, 1);
        EXPECT_EQ(query.bounds.empty, 0) << c.anchor_x << " " << c.anchor_y;
        EXPECT_TRUE(near(query.bounds.min_x, c.bounds.min_x) && near(query.bounds.min_y, c.bounds.min_y) &&
                    near(query.bounds.max_x, c.bounds.max_x) && near(query.bounds.max_y, c.bounds.max_y))
            << c.anchor_x << " " << c.anchor_y << ": " << query.bounds.min_x << " " << query.bounds.min_y << " " << query.bounds.max_x << " "
            << query.bounds.max_y;
        // The rectangle that hit tests use: left and bottom of the quad, unscaled.
        EXPECT_EQ(sprite->get_global_rect(), c.rect) << c.anchor_x << " " << c.anchor_y;
    }

    RecordingQuery refused;
    refused.begin_result = false;
    EXPECT_FALSE(sprite->query_bounds(refused));
    EXPECT_EQ(refused.finished, 0);
    EXPECT_EQ(refused.bounds.min_x, 1.0f);

    Node plain("Plain", nullptr);
    RecordingQuery ignored;
    EXPECT_FALSE(vadu::lib3d::node::query_node_bounds(plain, ignored));
    EXPECT_EQ(ignored.begun, 0);
}

TEST_F(SpriteTest, SceneAttributesReachTheDrawnItem)
{
    preload({"pics/ball"});
    texture_test::write_text(folder_ / "fade.anim", R"(<Animation>
  <double>
    <PrimitiveAnimation Target="" Param="Transparency">
      <Envelope><Keys><Key Time="0" Value="0" Linear="1"/><Key Time="1" Value="1"/></Keys></Envelope>
    </PrimitiveAnimation>
  </double>
</Animation>)");
    Sprite* sprite = load_sprite(
        R"(Src="pics/ball" Color="0.25 0.5 0.75" SpecularLevel="3" Transparency="0.25" Wrap="false")");
    ASSERT_NE(sprite, nullptr);
    ASSERT_TRUE(pump());
    render();
    ASSERT_NE(drawn(), nullptr);
    EXPECT_EQ(drawn()->colour, (Vector3{0.25f, 0.5f, 0.75f}));
    EXPECT_EQ(drawn()->specular_level, 3.0);
    EXPECT_EQ(drawn()->transparency, 0.25);
    EXPECT_EQ(drawn()->stage.alpha, 1);
    EXPECT_EQ(drawn()->stage.wrap, 0);

    // An animation attached to a sprite drives the sprite.
    sprite = load_sprite(R"(Src="pics/ball" Animation="fade.anim")");
    ASSERT_NE(sprite, nullptr);
    ASSERT_NE(sprite->get_animation(), nullptr);
    sprite->get_animation()->set_time(0.5);
    ASSERT_TRUE(pump());
    render();
    ASSERT_NE(drawn(), nullptr);
    EXPECT_NEAR(drawn()->transparency, 0.5, 1e-6);

    for (const char* attributes : {R"(Src="pics/ball" Colour="1 1 1")", R"(Src="pics/ball" Color="1 1")",
                                   R"(Src="pics/ball" Width="wide")", R"(Src="pics/ball" AutoFilter="yes")",
                                   R"(Src="pics/ball" Fragment="0 0")", R"(Src="pics/ball" Anchor="0.5")"}) {
        root = std::make_unique<LoadingRoot>("Root");
        EXPECT_THROW(load(std::string("<Sprite ") + attributes + "/>", "S"), vadu::GluckBadResource) << attributes;
    }
}

TEST_F(SpriteTest, CopiesDrawTheSamePicture)
{
    Sprite* sprite = load_sprite(R"(Src="pics/ball" Anchor="0 0" Color="0.5 0.5 0.5" Width="40")");
    ASSERT_NE(sprite, nullptr);
    ASSERT_TRUE(pump());
    Node* copy = sprite->clone();
    EXPECT_EQ(copy->get_type_name(), Atom("Sprite"));
    EXPECT_EQ(copy->get_parent(), nullptr);
    root->add_child(copy, true);
    copy->set_position({100, 0, 0});
    render();
    const auto items = sprites();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->stage.texture, items[1]->stage.texture);
    const auto& copied = static_cast<Sprite*>(copy)->get_item();
    EXPECT_TRUE(corners_are(copied, {{100, 0}, {100, 32}, {140, 0}, {140, 32}}));
    EXPECT_EQ(copied.colour, (Vector3{0.5f, 0.5f, 0.5f}));
}

TEST_F(SpriteTest, SizeSettersRoundAndRebuildTheQuad)
{
    Sprite* sprite = load_sprite(R"(Src="pics/ball" Anchor="0 0")");
    ASSERT_NE(sprite, nullptr);
    ASSERT_TRUE(pump());
    render();
    sprite->set_width(100.5f);
    sprite->set_height(2.4f);
    EXPECT_EQ(sprite->get_width(), 101);
    EXPECT_EQ(sprite->get_height(), 2);
    render();
    ASSERT_NE(drawn(), nullptr);
    EXPECT_TRUE(corners_are(*drawn(), {{0, 0}, {0, 2}, {101, 0}, {101, 2}}));
    sprite->set_anchor(1, 1);
    render();
    EXPECT_TRUE(corners_are(*drawn(), {{-101, -2}, {-101, 0}, {0, -2}, {0, 0}}));
    const auto offset = sprite->get_anchor_offset();
    EXPECT_EQ(offset.x, -101.0f);
    EXPECT_EQ(offset.y, -2.0f);
}

} // namespace
