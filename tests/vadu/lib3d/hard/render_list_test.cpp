#include "vadu/lib3d/hard/render_list.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

#include "render_fakes.h"

namespace {

using namespace vadu::lib3d::hard;
using vadu::math::Matrix4;
using render_fakes::FakeHardware;
using render_fakes::FakeStageTexture;

bool parallel_camera = false;
bool is_parallel_camera()
{
    return parallel_camera;
}

Matrix4 translation(float x, float y, float z)
{
    Matrix4 m = Matrix4::identity();
    m.m[3] = x;
    m.m[7] = y;
    m.m[11] = z;
    return m;
}

RenderRecord record_at(float x, float y, float z, double transparency = 0.5)
{
    RenderRecord record;
    record.world = translation(x, y, z);
    record.transparency = transparency;
    return record;
}

std::vector<uint32_t> sorted_indices(const RenderList& list)
{
    std::vector<uint32_t> indices;
    for (const SortItem& item : list.sorted_items)
        indices.push_back(item.index);
    return indices;
}

class RenderListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        parallel_camera = false;
        RenderList::set_parallel_camera_query(&is_parallel_camera);
    }
    void TearDown() override { RenderList::set_parallel_camera_query(nullptr); }

    void expect_identity(const Matrix4& m)
    {
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(m.m[i], Matrix4::identity().m[i]) << "element " << i;
    }

    FakeHardware hardware;
    RenderList list;
};

TEST_F(RenderListTest, NewRecordsAndCameraBlocksHoldTheirDefaults)
{
    const RenderRecord record;
    EXPECT_EQ(record.diffuse, (vadu::math::Vector3{1, 1, 1}));
    EXPECT_EQ(record.emissive, (vadu::math::Vector3{1, 1, 1}));
    EXPECT_EQ(record.specular, (vadu::math::Vector3{1, 1, 1}));
    EXPECT_EQ(record.reflection, (vadu::math::Vector3{1, 1, 1}));
    EXPECT_EQ(record.specular_power, 0.0);
    EXPECT_EQ(record.transparency, 0.0);
    EXPECT_EQ(record.factor, 1.0f);
    for (const TextureStage& stage : record.stages) {
        EXPECT_EQ(stage.texture, nullptr);
        EXPECT_EQ(stage.wrap, 1);
        EXPECT_EQ(stage.alpha, 0);
    }
    for (float element : record.world.m)
        EXPECT_EQ(element, 0.0f);
    EXPECT_EQ(record.bounding_sphere.radius, 0.0f);
    EXPECT_EQ(record.vertex_buffer, nullptr);
    EXPECT_EQ(record.index_buffer, nullptr);
    EXPECT_EQ(record.filter, 1);
    EXPECT_EQ(record.blend_mode, static_cast<uint32_t>(BM_ALPHA));

    const RenderList::CameraParams params;
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(params.projection.m[i], 0.0f);
        EXPECT_EQ(params.camera_matrix.m[i], 0.0f);
        EXPECT_EQ(params.further.m[i], 0.0f);
    }
    const double doubles[6] = {params.near_plane,    params.far_plane,     params.viewport_left,
                               params.viewport_right, params.viewport_top, params.viewport_bottom};
    const double expected[6] = {0, 0, -1, 1, 1, -1};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(doubles[i], expected[i]) << "double " << i;
    for (const auto& plane : params.frustum.planes)
        EXPECT_EQ(plane.normal[2], 1.0f);
    EXPECT_EQ(params.fog_colour[0], 1.0f);
    EXPECT_EQ(params.fog_range, 0.0);
}

TEST_F(RenderListTest, ClearStartsAFreshFrame)
{
    list.camera_matrix = translation(1, 2, 3);
    list.projection.m[0] = 7;
    list.ambient = {0.5f, 0.5f, 0.5f};
    list.camera_value = 4;
    list.culling = 0;
    list.flag = 9;
    list.viewport[2] = 0.25;
    list.lights.emplace_back();
    list.second_lights.emplace_back();
    list.add_record(RenderRecord{});
    list.secondary_records.emplace_back();
    list.point_items.emplace_back();
    list.render(hardware);
    ASSERT_FALSE(list.sorted_items.empty());

    list.clear();
    expect_identity(list.camera_matrix);
    expect_identity(list.projection);
    expect_identity(list.view);
    for (double side : list.viewport)
        EXPECT_EQ(side, -1.0);
    EXPECT_EQ(list.ambient, (vadu::math::Vector3{0, 0, 0}));
    EXPECT_EQ(list.camera_value, 0.0);
    EXPECT_EQ(list.flag, 1u);
    EXPECT_EQ(list.culling, 1);
    EXPECT_TRUE(list.lights.empty());
    EXPECT_TRUE(list.second_lights.empty());
    EXPECT_TRUE(list.records.empty());
    EXPECT_TRUE(list.secondary_records.empty());
    EXPECT_TRUE(list.point_items.empty());
    EXPECT_TRUE(list.sorted_items.empty());
    EXPECT_EQ(list.opaque_count, 0u);
    // A frame of ordinary size appends without reallocating.
    EXPECT_GE(list.records.capacity(), 1000u);
    EXPECT_GE(list.lights.capacity(), 10u);
}

TEST_F(RenderListTest, AppendingAnElementOfTheListItselfSurvivesReallocation)
{
    RenderRecord first = record_at(1, 2, 3);
    first.arrays[0] = {1.0f, 2.0f, 3.0f};
    list.add_record(first);
    while (list.records.size() < list.records.capacity())
        list.add_record(RenderRecord{});
    list.add_record(list.records[0]);
    const RenderRecord& copy = list.records.back();
    EXPECT_EQ(copy.world.m[11], 3.0f);
    EXPECT_EQ(copy.arrays[0], (std::vector<float>{1.0f, 2.0f, 3.0f}));
}

TEST_F(RenderListTest, ComputeViewMovesTheCentreAndTakesTheLongestScaledAxis)
{
    // Scale x by 2, y by 3 (through a rotation by 90 degrees about z), z by 0.5, then move.
    Matrix4 m;
    m.m[1] = -3;
    m.m[4] = 2;
    m.m[10] = 0.5f;
    m.m[15] = 1;
    m.m[3] = 10;
    m.m[7] = 20;
    m.m[11] = 30;
    const Sphere view = RenderList::compute_view(Sphere{1, 1, 4, 2}, m);
    EXPECT_FLOAT_EQ(view.x, 10 - 3);
    EXPECT_FLOAT_EQ(view.y, 20 + 2);
    EXPECT_FLOAT_EQ(view.z, 30 + 2);
    EXPECT_FLOAT_EQ(view.radius, 6);
}

TEST_F(RenderListTest, CullsRecordsWhollyOutsideTheFrustum)
{
    // A 10 x 10 box from z = 1 to z = 100 in front of a camera standing at z = -50.
    list.frustum.build_orthographic(1, 100, -5, 5, -5, 5);
    list.camera_matrix = translation(0, 0, -50);
    struct Case {
        const char* what;
        float x, z, radius;
        bool drawn;
    } const cases[] = {
        {"inside", 0, 0, 1, true},
        {"crossing the x maximum side", 5, 0, 1, true},
        {"right of the box", 7, 0, 1, false},
        {"behind the camera", 0, -60, 1, false},
        {"behind the camera, radius 0", 0, -60, 0, true},
        {"far right, radius 0", 1000, 0, 0, true},
    };
    for (const Case& c : cases) {
        RenderRecord record = record_at(c.x, 0, c.z);
        record.bounding_sphere.radius = c.radius;
        list.add_record(record);
    }
    list.render(hardware);
    std::vector<bool> drawn(std::size(cases), false);
    for (const SortItem& item : list.sorted_items)
        drawn[item.index] = true;
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(drawn[i], cases[i].drawn) << cases[i].what;

    // The same records with culling off are all drawn.
    list.culling = 0;
    list.render(hardware);
    EXPECT_EQ(list.sorted_items.size(), std::size(cases));
}

TEST_F(RenderListTest, CullingScalesTheSphereByTheWorldMatrix)
{
    list.frustum.build_orthographic(1, 100, -5, 5, -5, 5);
    list.camera_matrix = translation(0, 0, -50);
    // A sphere of radius 1 at x = 7 reaches the box only when its node is scaled by 3.
    RenderRecord small = record_at(7, 0, 0);
    small.bounding_sphere.radius = 1;
    RenderRecord scaled = small;
    scaled.world.m[0] = scaled.world.m[5] = scaled.world.m[10] = 3;
    scaled.world.m[3] = 0;
    scaled.bounding_sphere.x = 7.0f / 3.0f;
    list.add_record(small);
    list.add_record(scaled);
    list.render(hardware);
    EXPECT_EQ(sorted_indices(list), (std::vector<uint32_t>{1}));
}

TEST_F(RenderListTest, OpaqueRecordsComeFirstAndAlphaPicturesAreBlended)
{
    FakeStageTexture texture;
    struct Case {
        const char* what;
        double transparency;
        int alpha_stage; // -1: none
        bool opaque;
    } const cases[] = {
        {"transparency 0 without alpha", 0.0, -1, true},
        {"transparency 0 with an alpha picture on stage 0", 0.0, 0, false},
        {"transparency 0 with an alpha picture on stage 1", 0.0, 1, false},
        {"alpha on stage 2 does not count", 0.0, 2, true},
        {"a little transparency", 0.0001, -1, false},
    };
    for (const Case& c : cases) {
        RenderRecord record = record_at(0, 0, 10, c.transparency);
        if (c.alpha_stage >= 0) {
            record.stages[c.alpha_stage].texture = &texture;
            record.stages[c.alpha_stage].alpha = 1;
        }
        list.add_record(record);
    }
    list.render(hardware);
    ASSERT_EQ(list.sorted_items.size(), std::size(cases));
    for (size_t i = 0; i < list.sorted_items.size(); ++i) {
        const SortItem& item = list.sorted_items[i];
        const Case& c = cases[item.index];
        EXPECT_EQ(i < list.opaque_count, c.opaque) << c.what;
        EXPECT_EQ(list.records[item.index].sort_key, c.opaque ? -1.0 : 1.0 / 11.0) << c.what;
        EXPECT_FLOAT_EQ(item.key, c.opaque ? -1.0f : 1.0f / 11.0f) << c.what;
    }
    EXPECT_EQ(list.opaque_count, 2u);
}

TEST_F(RenderListTest, BlendedRecordsGoFromFarToNear)
{
    list.camera_matrix = translation(0, 0, -10);
    list.add_record(record_at(0, 0, 0));    // 10 away
    list.add_record(record_at(0, 0, 20));   // 30 away
    list.add_record(record_at(40, 0, -10)); // 40 away, level with the camera
    list.add_record(record_at(0, 3, -6));   // 5 away
    list.render(hardware);
    EXPECT_EQ(sorted_indices(list), (std::vector<uint32_t>{2, 1, 0, 3}));
    EXPECT_DOUBLE_EQ(list.records[3].sort_key, 1.0 / 6.0);

    // A parallel camera measures depth along z only: the record level with it is nearest.
    parallel_camera = true;
    list.render(hardware);
    EXPECT_EQ(sorted_indices(list), (std::vector<uint32_t>{1, 0, 3, 2}));
    EXPECT_DOUBLE_EQ(list.records[2].sort_key, 1.0);
}

TEST_F(RenderListTest, EqualDistancesGroupByTextureCreationThenKeepTheOrderOfAppending)
{
    // The order of creation counts, not the addresses: the two are made so that the
    // newer one lies lower in memory, where ordering by address would put it first.
    std::optional<FakeStageTexture> textures[2];
    textures[1].emplace();
    textures[0].emplace();
    StageTexture* first = &*textures[1];
    StageTexture* second = &*textures[0];
    ASSERT_LT(first->get_serial(), second->get_serial());
    render_fakes::BufferLog log;
    render_fakes::FakeVertexBuffer buffers[2] = {{log, false}, {log, false}};

    auto add = [&](StageTexture* texture, int stage, VertexBuffer* buffer, double transparency) {
        RenderRecord record = record_at(0, 0, 5, transparency);
        record.stages[stage].texture = texture;
        record.vertex_buffer = buffer;
        list.add_record(record);
    };
    for (double transparency : {0.0, 0.5}) {
        list.clear();
        add(second, 0, &buffers[1], transparency); // 0
        add(first, 0, &buffers[0], transparency);  // 1
        add(second, 0, &buffers[0], transparency); // 2
        add(first, 1, &buffers[1], transparency);  // 3: stage 1 stands in for an empty stage 0
        add(nullptr, 0, &buffers[1], transparency); // 4
        list.render(hardware);
        EXPECT_EQ(sorted_indices(list), (std::vector<uint32_t>{4, 1, 3, 0, 2})) << "transparency " << transparency;
        EXPECT_EQ(list.sorted_items[1].texture, reinterpret_cast<uintptr_t>(first));
        EXPECT_EQ(list.sorted_items[1].texture_serial, first->get_serial());
    }
}

TEST_F(RenderListTest, ExactTiesKeepTheOrderOfAppending)
{
    FakeStageTexture texture;
    // Enough records for an unstable sort to shuffle them; opaque and blended alike.
    for (double transparency : {0.0, 0.5}) {
        list.clear();
        std::vector<uint32_t> expected;
        for (uint32_t i = 0; i < 100; ++i) {
            RenderRecord record = record_at(static_cast<float>(i % 2 ? 3 : -3), 4, 0, transparency);
            record.stages[0].texture = &texture;
            record.first_vertex = i;
            list.add_record(record);
            expected.push_back(i);
        }
        list.render(hardware);
        EXPECT_EQ(sorted_indices(list), expected) << "transparency " << transparency;
    }
}

TEST_F(RenderListTest, PointItemsAreSortedWithTheBlendedRecords)
{
    FakeStageTexture first, second;
    list.add_record(record_at(0, 0, 20));
    list.add_record(record_at(0, 0, 5, 0.0));
    PointItem far_points;
    far_points.position = {0, 0, 30};
    far_points.stages[1].texture = &second;
    PointItem near_points;
    near_points.position = {0, 10, 0};
    near_points.stages[0].texture = &first;
    near_points.stages[1].texture = &second;
    list.point_items.push_back(far_points);
    list.point_items.push_back(near_points);
    list.render(hardware);

    ASSERT_EQ(list.sorted_items.size(), 4u);
    EXPECT_EQ(list.opaque_count, 1u);
    const struct {
        uint8_t kind;
        uint32_t index;
        const StageTexture* texture;
    } expected[] = {
        {SortItem::RECORD, 1, nullptr}, {SortItem::POINT, 0, &second},
        {SortItem::RECORD, 0, nullptr}, {SortItem::POINT, 1, &first}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(list.sorted_items[i].kind, expected[i].kind) << i;
        EXPECT_EQ(list.sorted_items[i].index, expected[i].index) << i;
        EXPECT_EQ(list.sorted_items[i].texture, reinterpret_cast<uintptr_t>(expected[i].texture)) << i;
        if (expected[i].kind == SortItem::POINT) {
            EXPECT_EQ(list.sorted_items[i].vertex_buffer, 0u) << i;
        }
    }
    EXPECT_FLOAT_EQ(list.sorted_items[3].key, 1.0f / 11.0f);
}

TEST_F(RenderListTest, SortPreparesTheLightsByAttenuation)
{
    const struct {
        int32_t attenuation;
        float range;
        float coefficients[3];
        float prepared_range;
    } cases[] = {
        {0, 9, {1, 0, 0}, 1},
        {1, 9, {0, 1, 0}, 9},
        {2, 9, {0, 0, 1}, 3},
        {5, 9, {1, 0, 0}, 1},
    };
    for (const auto& c : cases) {
        LightEntry light;
        light.attenuation = c.attenuation;
        light.range = c.range;
        list.lights.push_back(light);
    }
    list.render(hardware);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const LightEntry& light = list.lights[i];
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(light.coefficients[k], cases[i].coefficients[k]) << "attenuation " << cases[i].attenuation;
        EXPECT_FLOAT_EQ(light.range, cases[i].prepared_range) << "attenuation " << cases[i].attenuation;
    }
}

TEST_F(RenderListTest, ViewIsTheInverseOfTheCameraMatrix)
{
    list.camera_matrix = translation(1, 2, 3);
    list.camera_matrix.m[0] = 2;
    list.render(hardware);
    Matrix4 product = list.view;
    product *= list.camera_matrix;
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(product.m[i], Matrix4::identity().m[i], 1e-6) << "element " << i;
}

} // namespace
