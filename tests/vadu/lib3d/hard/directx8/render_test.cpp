// The draw of render lists: lights, clears, the two passes, texture stages, blend
// modes and point items.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "hardware_fixture.h"
#include "vadu/lib3d/hard/directx8/buffers.h"
#include "vadu/lib3d/hard/directx8/hardware_detail.h"
#include "vadu/lib3d/hard/directx8/textures.h"
#include "vadu/lib3d/hard/sprite_batch.h"

namespace directx8_test {
namespace render_test_file {

namespace dx = vadu::lib3d::hard::directx8;
using hard::PointItem;
using hard::RenderList;
using hard::RenderRecord;
using vadu::math::Matrix4;
using RenderDevices = vadu::HardwareManager<vadu::lib3d::hard::Hardware>;

Matrix4 at_depth(float z)
{
    Matrix4 m = Matrix4::identity();
    m.m[11] = z;
    return m;
}

class RenderTest : public HardwareFixture {
protected:
    void open_hardware()
    {
        make_open_hardware();
        probe = std::make_unique<ProbeBuffer>(*hardware, drawn);
        points = std::make_unique<ProbePoints>(*hardware, drawn);
        list.viewport[0] = -1;
        list.viewport[1] = 1;
        list.viewport[2] = 1;
        list.viewport[3] = -1;
    }

    // Opaque unless transparent; drawn from its world position.
    RenderRecord record(uint32_t blend_mode = hard::BM_ALPHA, double transparency = 0.0, float z = 0.0f)
    {
        RenderRecord r;
        r.world = at_depth(z);
        r.vertex_buffer = probe.get();
        r.primitive_count = 2;
        r.blend_mode = blend_mode;
        r.transparency = transparency;
        return r;
    }

    void draw_list()
    {
        ASSERT_TRUE(hardware->start_frame());
        hardware->render(list, *hardware);
        EXPECT_FALSE(device().in_scene());
    }

    RenderList list;
    std::vector<Drawn> drawn;
    std::unique_ptr<ProbeBuffer> probe;
    std::unique_ptr<ProbePoints> points;
};

TEST_F(RenderTest, WithoutLightsLightingIsOff)
{
    open_hardware();
    list.add_record(record());
    draw_list();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(render_state(drawn[0].state, gfx::RenderState::lighting), 0u);
    for (uint32_t i = 0; i < 8; ++i) {
        const auto slot = drawn[0].state.lights.find(i);
        EXPECT_TRUE(slot == drawn[0].state.lights.end() || !slot->second.enabled) << i;
    }
    EXPECT_FALSE(hardware->has_lights()); // only while a list is drawn
}

TEST_F(RenderTest, TheFirstEightLightsAreGivenToTheDevice)
{
    open_hardware();
    hard::LightEntry point;
    point.kind = 0;
    point.diffuse = {1.0f, 0.5f, 0.25f};
    point.position = {1.0f, 2.0f, 3.0f};
    point.intensity = 2.0;
    point.attenuation = 1; // linear
    point.range = 10.0f;
    hard::LightEntry directional;
    directional.kind = 1;
    directional.diffuse = {1.0f, 0.5f, 0.25f};
    directional.direction = {0.0f, 1.0f, 1.0f};
    directional.intensity = 2.0;
    hard::LightEntry faded = point;
    faded.intensity = 0.0;
    list.lights = {point, directional, faded};
    for (int i = 0; i < 6; ++i)
        list.lights.push_back(directional);
    list.add_record(record());
    draw_list();
    ASSERT_EQ(drawn.size(), 1u);
    const gfx::DeviceState& state = drawn[0].state;
    EXPECT_EQ(render_state(state, gfx::RenderState::lighting), 1u);
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_TRUE(state.lights.at(i).enabled) << i;
    EXPECT_FALSE(state.lights.count(8) && state.lights.at(8).enabled);

    const gfx::Light& p = state.lights.at(0).light;
    EXPECT_EQ(p.type, gfx::LightType::point);
    EXPECT_EQ(p.diffuse, (gfx::ColorValue{1.0f, 0.5f, 0.25f, 0.0f}));
    EXPECT_EQ(p.position, (gfx::Vector{1.0f, 2.0f, 3.0f}));
    EXPECT_FLOAT_EQ(p.range, 60.0f);
    EXPECT_FLOAT_EQ(p.attenuation0, 0.0f);
    EXPECT_FLOAT_EQ(p.attenuation1, 0.5f);
    EXPECT_FLOAT_EQ(p.attenuation2, 0.0f);

    const gfx::Light& d = state.lights.at(1).light;
    EXPECT_EQ(d.type, gfx::LightType::directional);
    EXPECT_EQ(d.diffuse, (gfx::ColorValue{2.0f, 1.0f, 0.5f, 0.0f}));
    // In world space, like the point light's position.
    EXPECT_EQ(d.direction, (gfx::Vector{0.0f, 1.0f, 1.0f}));

    // A point light faded to intensity 0 gives no light instead of infinite attenuation.
    const gfx::Light& f = state.lights.at(2).light;
    EXPECT_EQ(f.diffuse, (gfx::ColorValue{}));
    EXPECT_TRUE(std::isfinite(f.attenuation1));
}

TEST_F(RenderTest, TheListsAmbientColourLightsTheFrameEvenWithoutLights)
{
    open_hardware();
    // Summed ambient lights may pass 1; the device takes each channel up to 255.
    list.ambient = {0.2f, 0.4f, 1.5f};
    list.add_record(record());
    draw_list();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(render_state(drawn[0].state, gfx::RenderState::lighting), 1u);
    EXPECT_EQ(render_state(drawn[0].state, gfx::RenderState::ambient), 0xFF3366FFu);
    for (uint32_t i = 0; i < 8; ++i) {
        const auto slot = drawn[0].state.lights.find(i);
        EXPECT_TRUE(slot == drawn[0].state.lights.end() || !slot->second.enabled) << i;
    }
}

TEST_F(RenderTest, OnlyTheFirstListOfAFrameClearsTheColour)
{
    open_hardware();
    list.camera_value = 1.0; // fog: the camera vector is the clear colour
    list.camera_vector = {1.0f, 0.0f, 0.0f};
    draw_list();
    const gfx::Surface& back = *device().back_buffer();
    EXPECT_EQ(pixel(back, 10, 10), 0xFFFF0000u);

    // The cursor pass: a fresh list, its flag set, drawn over the screen.
    RenderList cursor;
    cursor.viewport[0] = -1;
    cursor.viewport[1] = 1;
    cursor.viewport[2] = 1;
    cursor.viewport[3] = -1;
    cursor.camera_value = 1.0;
    cursor.camera_vector = {0.0f, 1.0f, 0.0f};
    ASSERT_EQ(cursor.flag, 1u);
    hardware->render(cursor, *hardware);
    EXPECT_EQ(pixel(back, 10, 10), 0xFFFF0000u);
    hardware->finish_frame();

    // A new frame clears again; without fog the colour is black.
    list.camera_value = 0.0;
    draw_list();
    EXPECT_EQ(pixel(*device().back_buffer(), 10, 10), 0xFF000000u);
    list.flag = 0;
    list.camera_value = 1.0;
    hardware->finish_frame();
    draw_list();
    EXPECT_EQ(pixel(*device().back_buffer(), 10, 10), 0xFF000000u);
}

TEST_F(RenderTest, EachTargetsFirstListClearsItsColour)
{
    open_hardware();
    auto target = hardware->create_render_target(vadu::Atom("target"), 16, 16);
    list.camera_value = 1.0;
    list.camera_vector = {0.0f, 0.0f, 1.0f};
    draw_list();
    hardware->render(list, *target);
    const gfx::Texture* texture = dynamic_cast<dx::RenderTarget&>(*target).get_device_texture();
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(pixel(*texture->level_surface(0, 0), 3, 3) & 0xFFFFFFu, 0x0000FFu);
    EXPECT_EQ(pixel(*device().back_buffer(), 3, 3), 0xFF0000FFu);
}

TEST_F(RenderTest, OpaqueRecordsComeFirstWithZWritesAndTheFullAlphaTest)
{
    open_hardware();
    list.projection = Matrix4::identity();
    list.projection.m[3] = 0.5f;
    RenderRecord blended = record(hard::BM_ALPHA, 0.5, 5.0f);
    blended.diffuse = {1.0f, 0.5f, 0.0f};
    list.add_record(blended);
    RenderRecord opaque = record(hard::BM_ALPHA, 0.0, 2.0f);
    opaque.diffuse = {1.0f, 0.5f, 0.0f};
    list.add_record(opaque);
    draw_list();
    ASSERT_EQ(drawn.size(), 2u);

    const gfx::DeviceState& first = drawn[0].state;
    EXPECT_EQ(first.transforms.at(static_cast<uint32_t>(gfx::TransformState::world)).m[3][2], 2.0f);
    EXPECT_EQ(first.transforms.at(static_cast<uint32_t>(gfx::TransformState::projection)).m[3][0], 0.5f);
    EXPECT_EQ(first.fvf, dx::vertex_format::normal_texture);
    // No ambient light in the list: no ambient term.
    EXPECT_EQ(render_state(first, gfx::RenderState::ambient), 0xFF000000u);
    EXPECT_EQ(render_state(first, gfx::RenderState::cull_mode), gfx::cull::counter_clockwise);
    EXPECT_EQ(render_state(first, gfx::RenderState::zfunc), gfx::compare::less);
    EXPECT_EQ(render_state(first, gfx::RenderState::zwrite_enable), 1u);
    EXPECT_EQ(render_state(first, gfx::RenderState::alpha_test_enable), 1u);
    EXPECT_EQ(render_state(first, gfx::RenderState::alpha_func), gfx::compare::equal);
    EXPECT_EQ(render_state(first, gfx::RenderState::alpha_ref), 255u);
    EXPECT_EQ(first.material.diffuse, (gfx::ColorValue{0.5f, 0.25f, 0.0f, 1.0f}));
    EXPECT_EQ(first.material.ambient, (gfx::ColorValue{0.5f, 0.25f, 0.0f, 0.0f}));

    const gfx::DeviceState& second = drawn[1].state;
    EXPECT_EQ(second.transforms.at(static_cast<uint32_t>(gfx::TransformState::world)).m[3][2], 5.0f);
    EXPECT_EQ(render_state(second, gfx::RenderState::alpha_test_enable), 0u);
    EXPECT_EQ(render_state(second, gfx::RenderState::zfunc), gfx::compare::less_equal);
    EXPECT_EQ(render_state(second, gfx::RenderState::zwrite_enable), 0u);
    // Half the colour and half the remaining opacity.
    EXPECT_EQ(second.material.diffuse, (gfx::ColorValue{0.25f, 0.125f, 0.0f, 0.25f}));
}

TEST_F(RenderTest, RecordsDrawThroughTheirIndicesWhenTheyHaveSome)
{
    open_hardware();
    auto indices = hardware->create_index_buffer();
    RenderRecord indexed = record();
    indexed.index_buffer = indices.get();
    indexed.first_primitive = 3;
    indexed.primitive_count = 4;
    list.add_record(indexed);
    RenderRecord plain = record();
    plain.first_vertex = 6;
    list.add_record(plain);
    RenderRecord empty = record();
    empty.vertex_buffer = nullptr;
    list.add_record(empty);
    draw_list();
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_TRUE(drawn[0].indexed);
    EXPECT_EQ(drawn[0].first, 3u);
    EXPECT_EQ(drawn[0].count, 4u);
    EXPECT_FALSE(drawn[1].indexed);
    EXPECT_EQ(drawn[1].first, 6u);
}

TEST_F(RenderTest, TwoTextureCardsBlendTheStagesWithTheFactorLast)
{
    open_hardware();
    ProbeTexture second;
    RenderRecord r = record(hard::BM_ALPHA, 0.25, 3.0f);
    r.emissive = {1.0f, 0.5f, 0.0f};
    r.stages[1].texture = &second;
    r.specular_power = 0.25;
    list.add_record(r);
    RenderRecord dull = record(hard::BM_ALPHA, 0.25, 1.0f);
    dull.specular_power = 0.0005;
    list.add_record(dull);
    draw_list();
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(second.stages, (std::vector<uint32_t>{1}));

    const gfx::DeviceState& state = drawn[0].state;
    EXPECT_EQ(render_state(state, gfx::RenderState::texture_factor), 0xBFFF7F00u);
    EXPECT_EQ(state.textures[0], hardware->get_default_texture());
    EXPECT_EQ(state.textures[2], hardware->get_default_texture());
    EXPECT_NE(hardware->get_default_texture(), nullptr);
    EXPECT_EQ(stage_state(state, 1, gfx::TextureStageState::texcoord_index), 0u);
    for (uint32_t stage = 0; stage < 3; ++stage) {
        EXPECT_EQ(stage_state(state, stage, gfx::TextureStageState::alpha_op), gfx::texture_op::modulate);
        EXPECT_EQ(stage_state(state, stage, gfx::TextureStageState::alpha_arg2), gfx::texture_arg::current);
    }
    EXPECT_EQ(stage_state(state, 1, gfx::TextureStageState::color_arg1), gfx::texture_arg::texture);
    EXPECT_EQ(stage_state(state, 2, gfx::TextureStageState::color_arg1), gfx::texture_arg::texture_factor);
    // Specular power 0.25: stage 1 mixes its texture in by (1 − 0.25) × 255.
    EXPECT_EQ(stage_state(state, 1, gfx::TextureStageState::color_op), gfx::texture_op::lerp);
    EXPECT_EQ(stage_state(state, 1, gfx::TextureStageState::color_arg0), gfx::texture_arg::constant);
    EXPECT_EQ(stage_state(state, 1, gfx::TextureStageState::constant), 0xBFBFBFBFu);
    // Below 0.001 it modulates.
    EXPECT_EQ(stage_state(drawn[1].state, 1, gfx::TextureStageState::color_op), gfx::texture_op::modulate);
}

TEST_F(RenderTest, BlendModesReachTheDevice)
{
    open_hardware();
    for (uint32_t mode : {uint32_t{hard::BM_ADD}, uint32_t{hard::BM_ALPHA}, uint32_t{hard::BM_ADD_ALPHA}, 7u})
        list.add_record(record(mode));
    draw_list();
    ASSERT_EQ(drawn.size(), 4u);
    const std::pair<uint32_t, uint32_t> expected[] = {
        {gfx::blend::one, gfx::blend::one},
        {gfx::blend::src_alpha, gfx::blend::inv_src_alpha},
        {gfx::blend::src_alpha, gfx::blend::one},
        {gfx::blend::src_alpha, gfx::blend::one}, // an unknown mode changes nothing
    };
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(render_state(drawn[i].state, gfx::RenderState::src_blend), expected[i].first) << i;
        EXPECT_EQ(render_state(drawn[i].state, gfx::RenderState::dest_blend), expected[i].second) << i;
    }
    EXPECT_EQ(hardware->get_blend_mode(), 7);
}

TEST_F(RenderTest, TheFilterByteSwitchesLinearFiltering)
{
    open_hardware();
    RenderRecord sharp = record();
    sharp.filter = 0;
    list.add_record(sharp);
    list.add_record(record());
    draw_list();
    ASSERT_EQ(drawn.size(), 2u);
    for (uint32_t sampler = 0; sampler < 2; ++sampler) {
        for (auto which : {gfx::SamplerState::min_filter, gfx::SamplerState::mag_filter, gfx::SamplerState::mip_filter}) {
            EXPECT_EQ(sampler_state(drawn[0].state, sampler, which), gfx::texture_filter::none);
            EXPECT_EQ(sampler_state(drawn[1].state, sampler, which), gfx::texture_filter::linear);
        }
    }
}

class OldCardRenderTest : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        adapter().caps = old_card_caps();
    }
};

TEST_F(OldCardRenderTest, OneTextureStageAndTheFactor)
{
    open_hardware();
    ASSERT_EQ(hardware->get_capabilities().driver_class, 0u);
    // Equal depths draw in the order the textures were made: the stage-1 one first.
    ProbeTexture second;
    ProbeTexture first;
    RenderRecord untextured = record(hard::BM_ADD);
    untextured.stages[1].texture = &second;
    untextured.emissive = {1.0f, 0.5f, 0.0f};
    list.add_record(untextured);
    RenderRecord textured = record(hard::BM_ADD_ALPHA);
    textured.stages[0].texture = &first;
    list.add_record(textured);
    draw_list();
    ASSERT_EQ(drawn.size(), 2u);

    // Without a stage-0 texture, stage 1's is shown and the colour comes from emission.
    EXPECT_EQ(second.stages, (std::vector<uint32_t>{0}));
    const gfx::DeviceState& a = drawn[0].state;
    EXPECT_EQ(a.material.diffuse, (gfx::ColorValue{0.0f, 0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(a.material.emissive, (gfx::ColorValue{0.5f, 0.25f, 0.0f, 0.0f}));
    EXPECT_EQ(render_state(a, gfx::RenderState::src_blend), gfx::blend::one);
    EXPECT_EQ(stage_state(a, 1, gfx::TextureStageState::color_arg1), gfx::texture_arg::texture_factor);
    EXPECT_EQ(stage_state(a, 2, gfx::TextureStageState::color_op), gfx::texture_op::disable);

    // A textured record gives its own blend mode too, not the previous record's.
    EXPECT_EQ(first.stages, (std::vector<uint32_t>{0}));
    const gfx::DeviceState& b = drawn[1].state;
    EXPECT_EQ(render_state(b, gfx::RenderState::src_blend), gfx::blend::src_alpha);
    EXPECT_EQ(render_state(b, gfx::RenderState::dest_blend), gfx::blend::one);
    EXPECT_EQ(b.material.diffuse, (gfx::ColorValue{0.5f, 0.5f, 0.5f, 1.0f}));
}

TEST_F(RenderTest, PointItemsSwitchStagesAndCullingInTheBlendedPass)
{
    open_hardware();
    list.add_record(record(hard::BM_ADD, 0.5, 30.0f));
    PointItem point;
    point.position = {0.0f, 0.0f, 20.0f};
    point.world = at_depth(20.0f);
    point.emissive = {0.0f, 1.0f, 0.0f};
    point.transparency = 0.5;
    point.point_buffer = points.get();
    point.first_point = 4;
    point.point_count = 9;
    list.point_items.push_back(point);
    RenderRecord sharp = record(hard::BM_ADD, 0.5, 10.0f);
    sharp.filter = 0;
    list.add_record(sharp);
    draw_list();
    ASSERT_EQ(drawn.size(), 3u);

    const Drawn& dots = drawn[1];
    EXPECT_EQ(dots.first, 4u);
    EXPECT_EQ(dots.count, 9u);
    EXPECT_EQ(render_state(dots.state, gfx::RenderState::cull_mode), gfx::cull::none);
    EXPECT_EQ(stage_state(dots.state, 1, gfx::TextureStageState::color_arg1), gfx::texture_arg::texture_factor);
    EXPECT_EQ(render_state(dots.state, gfx::RenderState::src_blend), gfx::blend::src_alpha);
    EXPECT_EQ(render_state(dots.state, gfx::RenderState::dest_blend), gfx::blend::inv_src_alpha);
    EXPECT_EQ(sampler_state(dots.state, 0, gfx::SamplerState::min_filter), gfx::texture_filter::linear);
    EXPECT_EQ(dots.state.material.emissive, (gfx::ColorValue{0.0f, 1.0f, 0.0f, 0.0f}));
    EXPECT_EQ(dots.state.material.diffuse.a, 0.25f);
    EXPECT_EQ(dots.state.textures[0], hardware->get_default_texture());

    // The record after the points gets the record stages, culling and its own blend.
    const gfx::DeviceState& after = drawn[2].state;
    EXPECT_EQ(render_state(after, gfx::RenderState::cull_mode), gfx::cull::counter_clockwise);
    EXPECT_EQ(stage_state(after, 1, gfx::TextureStageState::color_arg1), gfx::texture_arg::texture);
    EXPECT_EQ(render_state(after, gfx::RenderState::src_blend), gfx::blend::one);
    EXPECT_EQ(render_state(after, gfx::RenderState::dest_blend), gfx::blend::one);
    EXPECT_EQ(sampler_state(after, 0, gfx::SamplerState::min_filter), gfx::texture_filter::none);
}

TEST_F(RenderTest, SpritesDrawThroughTheirBatchBuffers)
{
    open_hardware();
    RenderDevices::Creator manager;
    RenderDevices::add_hardware(hardware.get());
    {
        auto texture = hardware->create_texture(1, vadu::pictureformat::format_bgra, 4, 4);
        RenderList sprites;
        sprites.viewport[0] = sprites.viewport[3] = -1;
        sprites.viewport[1] = sprites.viewport[2] = 1;
        hard::SpriteItem item;
        // A, B along the top, C, D along the bottom: clockwise on the screen.
        item.corners[1][0] = item.corners[3][0] = 4.0f;
        item.corners[0][1] = item.corners[1][1] = 4.0f;
        item.stage.texture = texture.get();
        sprites.add_sprite(item);
        sprites.add_sprite(item);
        ASSERT_TRUE(hardware->start_frame());
        hardware->render(sprites, *hardware);

        std::vector<gfx::DrawCall> draws;
        for (const gfx::DrawCall& call : device().draw_calls()) {
            if (call.kind == gfx::DrawKind::primitive)
                draws.push_back(call);
        }
        ASSERT_EQ(draws.size(), 1u);
        EXPECT_EQ(draws[0].fvf, dx::vertex_format::colour_texture);
        EXPECT_EQ(draws[0].primitive_count, 4u);
        EXPECT_EQ(device().state().fvf, dx::vertex_format::normal_texture);
        EXPECT_EQ(device().state().textures[1], dynamic_cast<dx::Texture&>(*texture).get_device_texture());
    }
    RenderDevices::notify_remove_hardware(hardware.get());
}

TEST_F(RenderTest, NothingIsDrawnWithoutAScene)
{
    make_hardware();
    probe = std::make_unique<ProbeBuffer>(*hardware, drawn);
    list.add_record(record());
    hardware->render(list, *hardware); // no mode: sorted, not drawn
    EXPECT_EQ(list.sorted_items.size(), 1u);
    EXPECT_TRUE(drawn.empty());

    ASSERT_TRUE(open());
    ASSERT_TRUE(hardware->start_frame());
    gfx::script_failure(gfx::Call::begin_scene, {0, 1});
    hardware->render(list, *hardware);
    EXPECT_TRUE(drawn.empty());
    EXPECT_FALSE(device().in_scene());
}

} // namespace
} // namespace directx8_test
