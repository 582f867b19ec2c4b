#include "vadu/lib3d/hard/sprite_batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "render_fakes.h"

namespace {

using namespace vadu::lib3d::hard;
using render_fakes::FakeHardware;
using render_fakes::FakeStageTexture;
using render_fakes::FakeVertexBuffer;

std::string text(const vadu::String& value)
{
    return std::string(value.data(), value.size());
}

class SpriteBatchTest : public ::testing::Test {
protected:
    // A 10 x 10 sprite at (x, y); items live in a deque so that their addresses stay put.
    SpriteItem& sprite(const StageTexture* texture, float x = 0, float y = 0)
    {
        SpriteItem& item = items.emplace_back();
        const float corners[4][2] = {{x, y}, {x + 10, y}, {x, y + 10}, {x + 10, y + 10}};
        for (int c = 0; c < 4; ++c) {
            item.corners[c][0] = corners[c][0];
            item.corners[c][1] = corners[c][1];
            item.corners[c][2] = 0.25f;
            item.uv[c][0] = static_cast<float>(c % 2);
            item.uv[c][1] = static_cast<float>(c / 2);
        }
        item.stage.texture = const_cast<StageTexture*>(texture);
        return item;
    }

    RenderSpriteBatch& batch_of(const StageTexture* texture)
    {
        return *list.get_sprite_batches().at(texture);
    }

    FakeVertexBuffer& buffer(size_t index = 0) { return *managed.hardware.vertex_buffers.at(index); }
    FakeVertexBuffer& buffer_of(const StageTexture* texture)
    {
        return static_cast<FakeVertexBuffer&>(*batch_of(texture).find_data(&hardware()));
    }
    FakeHardware& hardware() { return managed.hardware; }

    render_fakes::ManagerWithHardware managed;
    FakeStageTexture texture;
    FakeStageTexture other_texture;
    std::deque<SpriteItem> items;
    RenderList list;
};

TEST_F(SpriteBatchTest, BatchesPerTextureWithADynamicBufferPerHardware)
{
    list.add_sprite(sprite(&texture));
    list.add_sprite(sprite(&other_texture));
    list.add_sprite(sprite(&texture));
    ASSERT_EQ(list.get_sprite_batches().size(), 2u);
    EXPECT_EQ(batch_of(&texture).get_sprites().size(), 2u);
    EXPECT_EQ(batch_of(&texture).get_texture(), &texture);
    EXPECT_EQ(batch_of(&other_texture).get_sprites().size(), 1u);
    ASSERT_EQ(hardware().vertex_buffers.size(), 2u);
    EXPECT_TRUE(buffer(0).dynamic);
    EXPECT_EQ(batch_of(&texture).find_data(&hardware()), &buffer(0));
}

TEST_F(SpriteBatchTest, SpritesAlikeInEveryParameterShareAGroup)
{
    struct Case {
        const char* what;
        void (*change)(SpriteItem&);
        bool same_group;
    } const cases[] = {
        {"identical", [](SpriteItem&) {}, true},
        {"other corners and uv", [](SpriteItem& s) { s.corners[0][0] = 99; s.uv[3][1] = 0.5f; }, true},
        {"depth", [](SpriteItem& s) { s.depth = 1; }, false},
        {"transparency", [](SpriteItem& s) { s.transparency = 0.5; }, false},
        {"red", [](SpriteItem& s) { s.colour.x = 0.5f; }, false},
        {"green", [](SpriteItem& s) { s.colour.y = 0.5f; }, false},
        {"blue", [](SpriteItem& s) { s.colour.z = 0.5f; }, false},
        {"specular level", [](SpriteItem& s) { s.specular_level = 0.5; }, false},
        {"filter", [](SpriteItem& s) { s.filter = 0; }, false},
        {"wrap", [](SpriteItem& s) { s.stage.wrap = 0; }, false},
        {"alpha", [](SpriteItem& s) { s.stage.alpha = 1; }, false},
    };
    for (const Case& c : cases) {
        list.clear();
        list.add_sprite(sprite(&texture));
        SpriteItem& second = sprite(&texture);
        c.change(second);
        list.add_sprite(second);
        EXPECT_EQ(batch_of(&texture).get_groups().size(), c.same_group ? 1u : 2u) << c.what;
    }
}

TEST_F(SpriteBatchTest, AGroupTakesItsSpritesInReverseOrderAndStaysTogether)
{
    SpriteItem& a1 = sprite(&texture, 1);
    SpriteItem& b1 = sprite(&texture, 2);
    b1.transparency = 0.5;
    SpriteItem& a2 = sprite(&texture, 3);
    SpriteItem& b2 = sprite(&texture, 4);
    b2.transparency = 0.5;
    SpriteItem& a3 = sprite(&texture, 5);
    for (SpriteItem* item : {&a1, &b1, &a2, &b2, &a3})
        list.add_sprite(*item);

    const RenderSpriteBatch& batch = batch_of(&texture);
    const std::vector<const SpriteItem*> order(batch.get_sprites().begin(), batch.get_sprites().end());
    EXPECT_EQ(order, (std::vector<const SpriteItem*>{&a3, &a2, &a1, &b2, &b1}));
    ASSERT_EQ(batch.get_groups().size(), 2u);
    EXPECT_EQ(*batch.get_groups().front().first, &a3);
    EXPECT_EQ(batch.get_groups().front().count, 3u);
    EXPECT_EQ(*batch.get_groups().back().first, &b2);
    EXPECT_EQ(batch.get_groups().back().count, 2u);

    // Written in that order: the first vertex of each sprite is its corner A.
    list.render_sprite_batches(hardware());
    const std::vector<float>& positions = buffer().positions;
    ASSERT_EQ(positions.size(), 5u * 18u);
    const float expected_x[5] = {4.5f, 2.5f, 0.5f, 3.5f, 1.5f};
    for (size_t s = 0; s < 5; ++s)
        EXPECT_EQ(positions[18 * s], expected_x[s]) << "sprite " << s;
}

TEST_F(SpriteBatchTest, WritesTwoTrianglesPerSpriteSnappedToPixelCentres)
{
    SpriteItem& item = sprite(&texture);
    // Corners A, B, C, D with their texture coordinates.
    const float corners[4][3] = {{10.2f, 10.2f, 0.5f}, {-10.2f, -10.2f, 0.5f}, {0.49f, 0.5f, -2}, {-0.2f, 7, 3}};
    const float uv[4][2] = {{0.1f, 0.2f}, {0.3f, 0.4f}, {0.5f, 0.6f}, {0.7f, 0.8f}};
    std::copy(&corners[0][0], &corners[0][0] + 12, &item.corners[0][0]);
    std::copy(&uv[0][0], &uv[0][0] + 8, &item.uv[0][0]);
    // x: trunc(x + 0.5) − 0.5, y: trunc(y + 0.5) + 0.5, both toward zero; z as it is.
    const float snapped[4][3] = {{9.5f, 10.5f, 0.5f}, {-9.5f, -8.5f, 0.5f}, {-0.5f, 1.5f, -2}, {-0.5f, 7.5f, 3}};
    list.add_sprite(item);
    list.render_sprite_batches(hardware());

    const FakeVertexBuffer& vb = buffer();
    ASSERT_EQ(vb.updates, 1);
    ASSERT_EQ(vb.positions.size(), 18u);
    ASSERT_EQ(vb.texture_coordinates.size(), 12u);
    const int order[6] = {0, 1, 2, 2, 1, 3};
    for (int v = 0; v < 6; ++v) {
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(vb.positions[3 * v + k], snapped[order[v]][k]) << "vertex " << v << " axis " << k;
        for (int k = 0; k < 2; ++k)
            EXPECT_EQ(vb.texture_coordinates[2 * v + k], uv[order[v]][k]) << "vertex " << v << " uv " << k;
    }
}

TEST_F(SpriteBatchTest, AppendsOneRecordPerGroupWithConsecutiveVertexRanges)
{
    SpriteItem& first = sprite(&texture);
    first.depth = 3;
    first.colour = {0.25f, 0.5f, 0.75f};
    first.transparency = 0.25;
    first.specular_level = 0.125;
    first.filter = 0;
    first.stage.wrap = 0;
    first.stage.alpha = 1;
    SpriteItem& second = sprite(&texture);
    second.transparency = 0.5;
    SpriteItem& third = sprite(&texture);
    third.transparency = 0.5;
    list.add_sprite(first);
    list.add_sprite(second);
    list.add_sprite(third);
    list.render_sprite_batches(hardware());

    ASSERT_EQ(list.records.size(), 2u);
    const RenderRecord& a = list.records[0];
    const RenderRecord& b = list.records[1];
    const struct {
        const RenderRecord& record;
        uint32_t first_primitive, primitive_count, first_vertex, vertex_count;
    } ranges[] = {{a, 0, 2, 0, 6}, {b, 2, 4, 6, 12}};
    for (const auto& r : ranges) {
        EXPECT_EQ(r.record.first_primitive, r.first_primitive);
        EXPECT_EQ(r.record.primitive_count, r.primitive_count);
        EXPECT_EQ(r.record.first_vertex, r.first_vertex);
        EXPECT_EQ(r.record.vertex_count, r.vertex_count);
        EXPECT_EQ(r.record.vertex_buffer, &buffer());
        EXPECT_EQ(r.record.stages[1].texture, &texture);
        EXPECT_EQ(r.record.stages[0].texture, nullptr);
        EXPECT_EQ(r.record.bounding_sphere.radius, 0.0f);
    }

    vadu::math::Matrix4 world = vadu::math::Matrix4::identity();
    world.m[11] = 3;
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(a.world.m[i], world.m[i]) << "element " << i;
    EXPECT_EQ(a.diffuse, first.colour);
    EXPECT_EQ(a.emissive, first.colour);
    EXPECT_EQ(a.specular, (vadu::math::Vector3{1, 1, 1}));
    EXPECT_EQ(a.transparency, 0.25);
    EXPECT_EQ(a.specular_power, 0.125);
    EXPECT_EQ(a.filter, 0);
    EXPECT_EQ(a.stages[1].wrap, 0);
    EXPECT_EQ(a.stages[1].alpha, 1);
    EXPECT_EQ(b.transparency, 0.5);
    EXPECT_EQ(b.filter, 1);
    EXPECT_EQ(b.world.m[11], 0.0f);
}

TEST_F(SpriteBatchTest, ARefusedUpdateRaisesAndAppendsNothing)
{
    list.add_sprite(sprite(&texture));
    buffer().refuse = true;
    try {
        list.render_sprite_batches(hardware());
        FAIL() << "no Gluck";
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(text(error.get_description()), "vb->update() failed");
        EXPECT_EQ(text(error.get_function()), "vadu::lib3d::hard::RenderSpriteBatch::PrepareVB");
    }
    EXPECT_TRUE(list.records.empty());
}

TEST_F(SpriteBatchTest, ClearKeepsTheBatchesButEmptyOnesAddNoRecord)
{
    list.add_sprite(sprite(&texture));
    list.add_sprite(sprite(&other_texture));
    list.clear();
    ASSERT_EQ(list.get_sprite_batches().size(), 2u);
    EXPECT_TRUE(batch_of(&texture).empty());
    EXPECT_TRUE(batch_of(&texture).get_groups().empty());

    // Only the batch that got a sprite this frame touches its buffer.
    list.add_sprite(sprite(&other_texture));
    list.render_sprite_batches(hardware());
    ASSERT_EQ(list.records.size(), 1u);
    EXPECT_EQ(list.records[0].stages[1].texture, &other_texture);
    EXPECT_EQ(buffer_of(&texture).updates, 0);
    EXPECT_EQ(buffer_of(&other_texture).updates, 1);
}

TEST_F(SpriteBatchTest, BuffersFollowTheHardwaresComingAndGoing)
{
    list.add_sprite(sprite(&texture));
    FakeHardware second;
    Manager::add_hardware(&second);
    {
        // Gone again before it is destroyed, whatever fails here.
        struct Leave {
            FakeHardware* hardware;
            ~Leave() { Manager::notify_remove_hardware(hardware); }
        } leave{&second};
        ASSERT_EQ(second.vertex_buffers.size(), 1u);
        EXPECT_TRUE(second.vertex_buffers[0]->dynamic);
        EXPECT_EQ(batch_of(&texture).find_data(&second), second.vertex_buffers[0]);

        list.render_sprite_batches(second);
        EXPECT_EQ(second.vertex_buffers[0]->updates, 1);
        EXPECT_EQ(buffer().updates, 0);
    }
    EXPECT_EQ(second.buffers.destroyed, 1);
    EXPECT_EQ(batch_of(&texture).get_pairs().size(), 1u);
    try {
        list.render_sprite_batches(second);
        FAIL() << "no Gluck";
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(text(error.get_description()), "Data not found");
    }
}

TEST(SpriteBatchLifetime, TheListDeletesItsBatchesAndTheirBuffers)
{
    render_fakes::ManagerWithHardware managed;
    FakeStageTexture texture;
    SpriteItem item;
    item.stage.texture = &texture;
    {
        RenderList list;
        list.add_sprite(item);
        EXPECT_EQ(Manager::get_dependents().size(), 1u);
    }
    EXPECT_TRUE(Manager::get_dependents().empty());
    EXPECT_EQ(managed.hardware.buffers.created, 1);
    EXPECT_EQ(managed.hardware.buffers.destroyed, 1);
}

} // namespace
