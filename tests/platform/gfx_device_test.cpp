#include "gfx_test_support.h"

#include <bit>
#include <cstring>
#include <functional>

namespace {

using namespace gfx_test;

Matrix translation(float x, float y, float z)
{
    Matrix m;
    m.m[3][0] = x;
    m.m[3][1] = y;
    m.m[3][2] = z;
    return m;
}

Matrix scaling(float s)
{
    Matrix m;
    m.m[0][0] = m.m[1][1] = m.m[2][2] = s;
    return m;
}

TEST_F(DeviceTest, StatesStartAtTheirDefaults)
{
    const struct {
        RenderState state;
        uint32_t value;
    } render_states[] = {
        {RenderState::zenable, zbuffer_type::enabled}, // an automatic depth buffer exists
        {RenderState::zwrite_enable, 1},
        {RenderState::zfunc, compare::less_equal},
        {RenderState::cull_mode, cull::counter_clockwise},
        {RenderState::lighting, 1},
        {RenderState::alpha_blend_enable, 0},
        {RenderState::alpha_test_enable, 0},
        {RenderState::alpha_func, compare::always},
        {RenderState::src_blend, blend::one},
        {RenderState::dest_blend, blend::zero},
        {RenderState::texture_factor, 0xFFFFFFFFu},
        {RenderState::ambient, 0},
        {RenderState::normalize_normals, 0},
        {RenderState::point_sprite_enable, 0},
        {RenderState::point_size_max, std::bit_cast<uint32_t>(64.0f)},
        {RenderState::color_write_enable, 0xF},
        {RenderState::diffuse_material_source, material_source::color1},
    };
    for (const auto& expected : render_states) {
        uint32_t value = 12345;
        ASSERT_EQ(device->get_render_state(expected.state, &value), ok);
        EXPECT_EQ(value, expected.value) << "render state " << static_cast<int>(expected.state);
    }

    const struct {
        uint32_t stage;
        TextureStageState state;
        uint32_t value;
    } stage_states[] = {
        {0, TextureStageState::color_op, texture_op::modulate},
        {1, TextureStageState::color_op, texture_op::disable},
        {0, TextureStageState::alpha_op, texture_op::select_arg1},
        {2, TextureStageState::alpha_op, texture_op::disable},
        {3, TextureStageState::color_arg1, texture_arg::texture},
        {3, TextureStageState::color_arg2, texture_arg::current},
        {5, TextureStageState::texcoord_index, 5},
        {0, TextureStageState::texture_transform_flags, texture_transform_flags::disable},
        {1, TextureStageState::constant, 0},
    };
    for (const auto& expected : stage_states) {
        uint32_t value = 12345;
        ASSERT_EQ(device->get_texture_stage_state(expected.stage, expected.state, &value), ok);
        EXPECT_EQ(value, expected.value) << "stage " << expected.stage << " state " << static_cast<int>(expected.state);
    }

    // Every sampler wraps: edge texels must bleed under bilinear filtering.
    for (uint32_t sampler = 0; sampler < max_samplers; ++sampler) {
        for (SamplerState state : {SamplerState::address_u, SamplerState::address_v, SamplerState::address_w}) {
            uint32_t value = 0;
            ASSERT_EQ(device->get_sampler_state(sampler, state, &value), ok);
            EXPECT_EQ(value, texture_address::wrap) << "sampler " << sampler;
        }
        EXPECT_EQ(device->state().sampler_states[sampler][static_cast<uint32_t>(SamplerState::min_filter)],
                  texture_filter::point);
        EXPECT_EQ(device->state().sampler_states[sampler][static_cast<uint32_t>(SamplerState::mip_filter)],
                  texture_filter::none);
    }

    const Viewport& viewport = device->state().viewport;
    EXPECT_EQ(viewport.width, 640u);
    EXPECT_EQ(viewport.height, 480u);
    EXPECT_EQ(device->state().fvf, 0u);
}

TEST_F(DeviceTest, StateSettersRejectNumbersOutOfRange)
{
    EXPECT_EQ(device->set_render_state(static_cast<RenderState>(render_state_count), 1), error::invalid_call);
    EXPECT_EQ(device->set_texture_stage_state(max_texture_stages, TextureStageState::color_op, 1), error::invalid_call);
    EXPECT_EQ(device->set_texture_stage_state(0, static_cast<TextureStageState>(0), 1), error::invalid_call);
    EXPECT_EQ(device->set_sampler_state(max_samplers, SamplerState::min_filter, 1), error::invalid_call);
    EXPECT_EQ(device->set_transform(static_cast<TransformState>(4), Matrix{}), error::invalid_call);

    ASSERT_EQ(device->set_sampler_state(1, SamplerState::mag_filter, texture_filter::anisotropic), ok);
    uint32_t value = 0;
    ASSERT_EQ(device->get_sampler_state(1, SamplerState::mag_filter, &value), ok);
    EXPECT_EQ(value, texture_filter::anisotropic);
    ASSERT_EQ(device->set_texture_stage_state(1, TextureStageState::constant, 0xBFBFBFBF), ok);
    EXPECT_EQ(device->state().stage_states[1][static_cast<uint32_t>(TextureStageState::constant)], 0xBFBFBFBFu);
}

TEST_F(DeviceTest, MultiplyTransformPutsTheNewMatrixFirst)
{
    Matrix world;
    ASSERT_EQ(device->get_transform(TransformState::world, &world), ok);
    EXPECT_EQ(world, Matrix{}) << "identity until set";

    ASSERT_EQ(device->set_transform(TransformState::world, translation(10, 0, 0)), ok);
    ASSERT_EQ(device->multiply_transform(TransformState::world, scaling(2)), ok);
    ASSERT_EQ(device->get_transform(TransformState::world, &world), ok);
    // Row vectors: a point is scaled first, then moved.
    EXPECT_EQ(world, multiply(scaling(2), translation(10, 0, 0)));
    EXPECT_FLOAT_EQ(world.m[3][0], 10.0f);
    EXPECT_FLOAT_EQ(world.m[0][0], 2.0f);

    ASSERT_EQ(device->set_transform(texture_transform(3), scaling(0.5f)), ok);
    Matrix texture;
    ASSERT_EQ(device->get_transform(texture_transform(3), &texture), ok);
    EXPECT_EQ(texture, scaling(0.5f));
    ASSERT_EQ(device->get_transform(TransformState::view, &texture), ok);
    EXPECT_EQ(texture, Matrix{});
}

TEST_F(DeviceTest, ViewportMustLieInsideTheTarget)
{
    EXPECT_EQ(device->set_viewport({10, 20, 100, 50, 0.0f, 1.0f}), ok);
    EXPECT_EQ(device->state().viewport.x, 10u);
    EXPECT_EQ(device->set_viewport({600, 0, 41, 10, 0.0f, 1.0f}), error::invalid_call);
    EXPECT_EQ(device->set_viewport({0, 0, 640, 481, 0.0f, 1.0f}), error::invalid_call);
    EXPECT_EQ(device->set_viewport({0, 0, 640, 480, 0.5f, 0.25f}), error::invalid_call);
    EXPECT_EQ(device->state().viewport.width, 100u) << "a refused viewport changes nothing";
}

TEST_F(DeviceTest, LightsAndMaterial)
{
    ASSERT_EQ(device->light_enable(3, true), ok);
    Light light;
    ASSERT_EQ(device->get_light(3, &light), ok);
    EXPECT_EQ(light.type, LightType::directional) << "an enabled light that was never set";
    EXPECT_EQ(light.diffuse, (ColorValue{1, 1, 1, 0}));
    EXPECT_EQ(light.direction, (Vector{0, 0, 1}));
    EXPECT_TRUE(device->state().lights.at(3).enabled);

    Light point;
    point.type = LightType::point;
    point.diffuse = {1, 0.5f, 0.25f, 0};
    point.position = {1, 2, 3};
    point.range = 60;
    point.attenuation1 = 0.5f;
    ASSERT_EQ(device->set_light(0, point), ok);
    ASSERT_EQ(device->get_light(0, &light), ok);
    EXPECT_EQ(light, point);
    EXPECT_FALSE(device->state().lights.at(0).enabled) << "setting a light does not enable it";
    ASSERT_EQ(device->light_enable(3, false), ok);
    EXPECT_FALSE(device->state().lights.at(3).enabled);

    Light bad = point;
    bad.range = -1;
    EXPECT_EQ(device->set_light(1, bad), error::invalid_call);
    Light no_direction;
    no_direction.type = LightType::directional;
    EXPECT_EQ(device->set_light(1, no_direction), error::invalid_call);
    EXPECT_EQ(device->get_light(1, &light), error::invalid_call);

    Material material;
    material.diffuse = {0.5f, 0.5f, 0.5f, 0.25f};
    material.ambient = {0.5f, 0.5f, 0.5f, 0};
    ASSERT_EQ(device->set_material(material), ok);
    EXPECT_EQ(device->state().material, material);
}

class DrawTest : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        set_draw_log(true);
        // Six vertices of position + normal + texture pair (stride 32).
        ASSERT_EQ(device->create_vertex_buffer(6 * 32, usage::write_only, 0x112, Pool::managed, &vertices, nullptr),
                  ok);
        ASSERT_EQ(device->create_index_buffer(6 * 2, usage::write_only, Format::index16, Pool::managed, &indices,
                                              nullptr),
                  ok);
        void* data = nullptr;
        ASSERT_EQ(indices->lock(0, 0, &data, 0), ok);
        const uint16_t values[6] = {0, 1, 2, 2, 1, 3};
        std::memcpy(data, values, sizeof values);
        ASSERT_EQ(indices->unlock(), ok);
    }

    void TearDown() override
    {
        vertices->release();
        indices->release();
        DeviceTest::TearDown();
    }

    void bind_all()
    {
        ASSERT_EQ(device->set_fvf(0x112), ok);
        ASSERT_EQ(device->set_stream_source(0, vertices, 0, 32), ok);
        ASSERT_EQ(device->set_indices(indices), ok);
    }

    VertexBuffer* vertices = nullptr;
    IndexBuffer* indices = nullptr;
};

TEST_F(DrawTest, DrawsAreRecordedInsideAScene)
{
    bind_all();
    EXPECT_EQ(device->draw_primitive(PrimitiveType::triangle_list, 0, 1), error::invalid_call) << "outside a scene";
    ASSERT_EQ(device->begin_scene(), ok);
    EXPECT_EQ(device->begin_scene(), error::invalid_call) << "scenes do not nest";
    ASSERT_EQ(device->draw_primitive(PrimitiveType::triangle_list, 3, 1), ok);
    ASSERT_EQ(device->draw_indexed_primitive(PrimitiveType::triangle_list, 0, 0, 4, 0, 2), ok);
    EXPECT_EQ(device->present(), error::invalid_call) << "present inside a scene";
    ASSERT_EQ(device->end_scene(), ok);
    EXPECT_EQ(device->end_scene(), error::invalid_call);

    const std::vector<DrawCall>& draws = device->draw_calls();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].kind, DrawKind::primitive);
    EXPECT_EQ(draws[0].start_vertex, 3u);
    EXPECT_EQ(draws[0].stride, 32u);
    EXPECT_EQ(draws[0].fvf, 0x112u);
    EXPECT_EQ(draws[1].kind, DrawKind::indexed_primitive);
    EXPECT_EQ(draws[1].vertex_count, 4u);
    EXPECT_EQ(draws[1].primitive_count, 2u);

    ASSERT_EQ(device->present(), ok);
    EXPECT_TRUE(device->draw_calls().empty()) << "a present starts the next frame's record";
    EXPECT_EQ(device->present_count(), 1u);
}

// The log of draws is for tests alone: reset hooks leave it off, and then a draw of any
// kind keeps nothing of itself (not even a copy of user vertices).
TEST_F(DrawTest, WithTheDrawLogOffNothingOfADrawIsKept)
{
    reset_hooks();
    EXPECT_FALSE(draw_log());
    bind_all();
    ASSERT_EQ(device->begin_scene(), ok);
    ASSERT_EQ(device->draw_primitive(PrimitiveType::triangle_list, 3, 1), ok);
    ASSERT_EQ(device->draw_indexed_primitive(PrimitiveType::triangle_list, 0, 0, 4, 0, 2), ok);
    ASSERT_EQ(device->set_fvf(fvf::xyz), ok);
    const float triangle[9] = {0, 0, 0, 1, 1, 1, 1, 0, 1};
    ASSERT_EQ(device->draw_primitive_up(PrimitiveType::triangle_list, 1, triangle, 12), ok);
    EXPECT_EQ(device->state().streams[0].buffer, nullptr);
    ASSERT_EQ(device->end_scene(), ok);
    EXPECT_TRUE(device->draw_calls().empty());
}

TEST_F(DrawTest, DrawsOutsideTheBoundDataAreRefused)
{
    ASSERT_EQ(device->begin_scene(), ok);
    EXPECT_EQ(device->draw_primitive(PrimitiveType::triangle_list, 0, 1), error::invalid_call) << "nothing bound";
    bind_all();
    const struct {
        const char* name;
        std::function<Result()> draw;
    } cases[] = {
        {"past the vertex buffer", [&] { return device->draw_primitive(PrimitiveType::triangle_list, 4, 1); }},
        {"no primitives", [&] { return device->draw_primitive(PrimitiveType::triangle_list, 0, 0); }},
        {"bad primitive type", [&] { return device->draw_primitive(static_cast<PrimitiveType>(9), 0, 1); }},
        {"past the index buffer",
         [&] { return device->draw_indexed_primitive(PrimitiveType::triangle_list, 0, 0, 4, 3, 2); }},
        {"an index above the declared range",
         [&] { return device->draw_indexed_primitive(PrimitiveType::triangle_list, 0, 0, 3, 0, 2); }},
        {"an index below the declared range",
         [&] { return device->draw_indexed_primitive(PrimitiveType::triangle_list, 0, 1, 3, 0, 1); }},
        {"vertex range past the buffer",
         [&] { return device->draw_indexed_primitive(PrimitiveType::triangle_list, 3, 0, 4, 0, 2); }},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.draw(), error::invalid_call) << c.name;

    void* data = nullptr;
    ASSERT_EQ(vertices->lock(0, 0, &data, 0), ok);
    EXPECT_EQ(device->draw_primitive(PrimitiveType::triangle_list, 0, 1), error::invalid_call)
        << "a locked buffer cannot be drawn";
    ASSERT_EQ(vertices->unlock(), ok);
    ASSERT_EQ(device->set_fvf(0), ok);
    EXPECT_EQ(device->draw_primitive(PrimitiveType::triangle_list, 0, 1), error::invalid_call) << "no vertex format";
    ASSERT_EQ(device->end_scene(), ok);
    EXPECT_TRUE(device->draw_calls().empty());
}

TEST_F(DrawTest, UserPrimitivesAreCopiedAndUnbindStreamZero)
{
    bind_all();
    ASSERT_EQ(device->set_fvf(fvf::xyz), ok);
    float triangle[9] = {0, 0, 0, 1, 1, 1, 1, 0, 1};
    ASSERT_EQ(device->begin_scene(), ok);
    ASSERT_EQ(device->draw_primitive_up(PrimitiveType::triangle_list, 1, triangle, 12), ok);
    ASSERT_EQ(device->end_scene(), ok);
    triangle[0] = 99;
    ASSERT_EQ(device->draw_calls().size(), 1u);
    const DrawCall& call = device->draw_calls()[0];
    EXPECT_EQ(call.kind, DrawKind::user_primitive);
    ASSERT_EQ(call.user_vertices.size(), 36u);
    float first = 1;
    std::memcpy(&first, call.user_vertices.data(), 4);
    EXPECT_EQ(first, 0.0f);
    EXPECT_EQ(device->state().streams[0].buffer, nullptr);
}

TEST_F(DeviceTest, ClearFillsTheViewportInTheTargetFormat)
{
    ASSERT_EQ(device->set_viewport({2, 1, 3, 2, 0, 1}), ok);
    ASSERT_EQ(device->clear(0, nullptr, clear_flags::target | clear_flags::zbuffer, 0x80FF4020u, 0.25f, 0), ok);
    const Surface* target = device->back_buffer();
    auto pixel = [&](uint32_t x, uint32_t y) { return target->pixels() + y * target->pitch() + x * 4; };
    const uint8_t cleared[4] = {0x20, 0x40, 0xFF, 0xFF}; // B, G, R, X written as ones
    EXPECT_EQ(std::memcmp(pixel(2, 1), cleared, 4), 0);
    EXPECT_EQ(std::memcmp(pixel(4, 2), cleared, 4), 0);
    const uint8_t untouched[4] = {0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(pixel(1, 1), untouched, 4), 0);
    EXPECT_EQ(std::memcmp(pixel(5, 1), untouched, 4), 0);
    EXPECT_EQ(std::memcmp(pixel(2, 3), untouched, 4), 0);

    const Surface* depth = device->state().depth_stencil;
    ASSERT_NE(depth, nullptr);
    EXPECT_EQ(depth->depth()[1 * 640 + 2], 0.25f);
    EXPECT_EQ(depth->depth()[0], 1.0f);

    const platform::Rect rect{0, 0, 640, 480};
    ASSERT_EQ(device->clear(1, &rect, clear_flags::target, 0xFF0000FFu, 1.0f, 0), ok);
    EXPECT_EQ(std::memcmp(pixel(1, 1), untouched, 4), 0) << "rects are clipped to the viewport";
    EXPECT_EQ(pixel(3, 2)[0], 0xFF);

    EXPECT_EQ(device->clear(0, nullptr, clear_flags::stencil, 0, 1.0f, 0), error::invalid_call)
        << "D24X8 has no stencil";
    EXPECT_EQ(device->clear(0, nullptr, clear_flags::zbuffer, 0, 1.5f, 0), error::invalid_call);
    ASSERT_EQ(device->set_depth_stencil_surface(nullptr), ok);
    EXPECT_EQ(device->clear(0, nullptr, clear_flags::zbuffer, 0, 1.0f, 0), error::invalid_call);
}

TEST_F(FactoryTest, ClearWritesSixteenBitTargets)
{
    PresentParameters parameters = windowed_parameters(Format::r5g6b5, Format::d16);
    configuration().adapters[0].display_mode.format = Format::r5g6b5;
    Device* device = nullptr;
    ASSERT_EQ(factory->create_device(0, DeviceType::hal, window, create_flags::software_vertex_processing, &parameters,
                                     &device),
              ok);
    ASSERT_EQ(device->clear(0, nullptr, clear_flags::target, 0xFFFF0000u, 1.0f, 0), ok);
    const Surface* target = device->back_buffer();
    EXPECT_EQ(target->pitch(), 1280u);
    EXPECT_EQ(target->pixels()[0], 0x00);
    EXPECT_EQ(target->pixels()[1], 0xF8);
    EXPECT_EQ(target->pixels()[479 * 1280 + 639 * 2 + 1], 0xF8);
    device->release();
}

TEST_F(DeviceTest, PresentHandsTheBackBufferToTheHandler)
{
    int calls = 0;
    set_present_handler([&](Device& presenting, const Surface& back_buffer) {
        ++calls;
        EXPECT_EQ(&presenting, device);
        EXPECT_EQ(&back_buffer, device->back_buffer());
        return calls == 2 ? error::fail : ok;
    });
    EXPECT_EQ(device->present(), ok);
    EXPECT_EQ(device->present(), error::fail) << "the handler's result";
    script_failure(Call::present);
    EXPECT_EQ(device->present(), error::invalid_call);
    EXPECT_EQ(calls, 2);
    script_failure(Call::begin_scene);
    EXPECT_EQ(device->begin_scene(), error::invalid_call);
    EXPECT_FALSE(device->in_scene());
    EXPECT_EQ(device->begin_scene(), ok);
    EXPECT_EQ(device->end_scene(), ok);
}

TEST_F(DeviceTest, TargetsAreReferenceCounted)
{
    Surface* target = nullptr;
    ASSERT_EQ(device->get_render_target(0, &target), ok);
    EXPECT_EQ(target, device->back_buffer());
    EXPECT_EQ(device->get_render_target(1, &target), error::invalid_call);
    EXPECT_EQ(target, nullptr);
    target = device->back_buffer();
    EXPECT_EQ(target->release(), 0u) << "the caller held one reference";

    Surface* depth = nullptr;
    ASSERT_EQ(device->get_depth_stencil_surface(&depth), ok);
    ASSERT_EQ(device->set_depth_stencil_surface(nullptr), ok);
    Surface* none = depth;
    EXPECT_EQ(device->get_depth_stencil_surface(&none), error::not_found);
    EXPECT_EQ(none, nullptr);
    ASSERT_EQ(device->set_depth_stencil_surface(depth), ok);
    depth->release();

    Surface* small = nullptr;
    ASSERT_EQ(device->create_render_target(2, 2, Format::x8r8g8b8, multisample::none, 0, true, &small, nullptr), ok);
    ASSERT_EQ(device->set_viewport({10, 10, 20, 20, 0, 1}), ok);
    ASSERT_EQ(device->set_render_target(0, small), ok);
    EXPECT_EQ(device->state().viewport.width, 2u) << "a new target resets the viewport";
    EXPECT_EQ(device->set_render_target(0, nullptr), error::invalid_call);
    EXPECT_EQ(device->set_render_target(0, depth), error::invalid_call) << "not a render target";
    EXPECT_EQ(device->set_render_target(1, small), error::invalid_call);

    // Bound, the target outlives the caller's reference.
    const uint32_t live = live_object_count();
    EXPECT_EQ(small->release(), 0u);
    EXPECT_EQ(live_object_count(), live);
    ASSERT_EQ(device->set_render_target(0, device->back_buffer()), ok);
    EXPECT_EQ(live_object_count(), live - 1);
}

class DeviceLossTest : public DeviceTest {};

TEST_F(DeviceLossTest, LostThenNotResetThenOperational)
{
    EXPECT_EQ(device->test_cooperative_level(), ok);
    lose_devices();
    EXPECT_EQ(device->test_cooperative_level(), error::device_lost);
    EXPECT_EQ(device->present(), error::device_lost);
    PresentParameters parameters = windowed_parameters();
    EXPECT_EQ(device->reset(&parameters), error::device_lost) << "a lost device cannot be reset yet";
    EXPECT_EQ(device->begin_scene(), ok) << "drawing goes on unseen";
    EXPECT_EQ(device->end_scene(), ok);

    make_devices_resettable();
    EXPECT_EQ(device->test_cooperative_level(), error::device_not_reset);
    EXPECT_EQ(device->present(), error::device_lost);
    ASSERT_EQ(device->reset(&parameters), ok);
    EXPECT_EQ(device->test_cooperative_level(), ok);
    EXPECT_EQ(device->present(), ok);
}

TEST_F(DeviceLossTest, ResetFailsWhileDefaultPoolResourcesAreHeld)
{
    VertexBuffer* dynamic = nullptr;
    ASSERT_EQ(device->create_vertex_buffer(64, usage::write_only | usage::dynamic, 0x142, Pool::default_pool, &dynamic,
                                           nullptr),
              ok);
    Texture* target_texture = nullptr;
    ASSERT_EQ(device->create_texture(64, 64, 1, usage::render_target, Format::x8r8g8b8, Pool::default_pool,
                                     &target_texture, nullptr),
              ok);
    Texture* managed = nullptr;
    ASSERT_EQ(device->create_texture(4, 4, 0, 0, Format::a8r8g8b8, Pool::managed, &managed, nullptr), ok);
    LockedRect locked;
    ASSERT_EQ(managed->lock_rect(0, &locked, nullptr, 0), ok);
    static_cast<uint8_t*>(locked.bits)[0] = 0x5A;
    ASSERT_EQ(managed->unlock_rect(0), ok);
    Surface* back_buffer = nullptr;
    ASSERT_EQ(device->get_render_target(0, &back_buffer), ok);

    lose_devices();
    make_devices_resettable();
    PresentParameters parameters = windowed_parameters();
    EXPECT_EQ(device->default_resources_held(), 3u);
    EXPECT_EQ(device->reset(&parameters), error::invalid_call);
    EXPECT_EQ(device->test_cooperative_level(), error::device_not_reset);

    // Released one by one, the last holder still blocks the reset.
    dynamic->release();
    target_texture->release();
    EXPECT_EQ(device->reset(&parameters), error::invalid_call) << "the back buffer reference";
    back_buffer->release();
    EXPECT_EQ(device->default_resources_held(), 0u);
    ASSERT_EQ(device->reset(&parameters), ok);

    ASSERT_EQ(managed->lock_rect(0, &locked, nullptr, 0), ok);
    EXPECT_EQ(static_cast<uint8_t*>(locked.bits)[0], 0x5A) << "managed contents survive";
    ASSERT_EQ(managed->unlock_rect(0), ok);
    managed->release();
}

TEST_F(DeviceLossTest, ResetRestoresDefaultsAndDropsBindings)
{
    Texture* texture = nullptr;
    ASSERT_EQ(device->create_texture(4, 4, 1, 0, Format::a8r8g8b8, Pool::managed, &texture, nullptr), ok);
    ASSERT_EQ(device->set_texture(0, texture), ok);
    ASSERT_EQ(device->set_render_state(RenderState::lighting, 0), ok);
    ASSERT_EQ(device->set_sampler_state(0, SamplerState::min_filter, texture_filter::linear), ok);
    ASSERT_EQ(device->set_transform(TransformState::world, scaling(3)), ok);
    ASSERT_EQ(device->light_enable(0, true), ok);
    ASSERT_EQ(device->begin_scene(), ok);

    // The window grew: a reset with size 0 follows the client area.
    platform::move_window(window, 0, 0, 800, 600);
    PresentParameters parameters = windowed_parameters();
    ASSERT_EQ(device->reset(&parameters), ok);
    EXPECT_EQ(parameters.back_buffer_width, 800u);
    EXPECT_EQ(device->back_buffer()->height(), 600u);
    EXPECT_EQ(device->state().viewport.width, 800u);
    EXPECT_FALSE(device->in_scene());
    EXPECT_EQ(device->state().textures[0], nullptr);
    EXPECT_EQ(device->state().render_states[static_cast<uint32_t>(RenderState::lighting)], 1u);
    EXPECT_EQ(device->state().sampler_states[0][static_cast<uint32_t>(SamplerState::min_filter)],
              texture_filter::point);
    EXPECT_TRUE(device->state().lights.empty());
    Matrix world;
    ASSERT_EQ(device->get_transform(TransformState::world, &world), ok);
    EXPECT_EQ(world, Matrix{});
    texture->release();
}

TEST_F(DeviceLossTest, AMinimisedWindowKeepsAOnePixelBackBuffer)
{
    platform::show_window(window, platform::sw::MINIMIZE);
    PresentParameters parameters = windowed_parameters();
    ASSERT_EQ(device->reset(&parameters), ok);
    EXPECT_EQ(device->back_buffer()->width(), 1u);
    EXPECT_EQ(device->back_buffer()->height(), 1u);
    EXPECT_EQ(device->clear(0, nullptr, clear_flags::target | clear_flags::zbuffer, 0, 1.0f, 0), ok);
}

TEST_F(DeviceLossTest, AScriptedResetFailureLeavesTheDeviceWaitingForReset)
{
    script_failure(Call::reset, {.result = error::device_lost});
    PresentParameters parameters = windowed_parameters();
    EXPECT_EQ(device->reset(&parameters), error::device_lost);
    EXPECT_EQ(device->test_cooperative_level(), error::device_not_reset);
    ASSERT_EQ(device->reset(&parameters), ok) << "the next frame's retry";
    EXPECT_EQ(device->test_cooperative_level(), ok);

    PresentParameters bad = windowed_parameters(Format::r8g8b8);
    EXPECT_EQ(device->reset(&bad), error::invalid_call);
    EXPECT_EQ(device->back_buffer()->format(), Format::x8r8g8b8) << "a refused reset keeps the old buffers";
}

TEST_F(DeviceLossTest, ReleasingTheDeviceBeforeItsResourcesIsSafe)
{
    Texture* texture = nullptr;
    ASSERT_EQ(device->create_texture(8, 8, 0, 0, Format::a8r8g8b8, Pool::managed, &texture, nullptr), ok);
    ASSERT_EQ(device->set_texture(1, texture), ok);
    EXPECT_EQ(device->release(), 0u);
    device = nullptr;
    LockedRect locked;
    ASSERT_EQ(texture->lock_rect(1, &locked, nullptr, 0), ok);
    ASSERT_EQ(texture->unlock_rect(1), ok);
    EXPECT_EQ(texture->release(), 0u);
}

TEST_F(DeviceTest, AvailableTextureMemoryCountsDefaultPoolResources)
{
    const uint32_t before = device->get_available_texture_mem();
    EXPECT_GT(before, 0u);
    Texture* managed = nullptr;
    ASSERT_EQ(device->create_texture(256, 256, 1, 0, Format::a8r8g8b8, Pool::managed, &managed, nullptr), ok);
    EXPECT_EQ(device->get_available_texture_mem(), before);
    Texture* target = nullptr;
    ASSERT_EQ(device->create_texture(256, 256, 1, usage::render_target, Format::x8r8g8b8, Pool::default_pool, &target,
                                     nullptr),
              ok);
    EXPECT_EQ(device->get_available_texture_mem(), before - 256u * 256u * 4u);
    target->release();
    EXPECT_EQ(device->get_available_texture_mem(), before);
    managed->release();
}

} // namespace
