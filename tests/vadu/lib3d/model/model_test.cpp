// The model record, its device copy, the caches and the passes that load them; the
// file reader against damaged files; the smallest enclosing sphere.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "model_test_support.h"
#include "vadu/exception.h"
#include "vadu/lib3d/node/model_nodes.h"

namespace model_test {
namespace {

using model_writer::Mesh;

std::vector<uint8_t> words(std::initializer_list<uint32_t> values)
{
    std::vector<uint8_t> out;
    for (uint32_t value : values) {
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<uint8_t>(value >> shift));
    }
    return out;
}

uint32_t bits(float value)
{
    uint32_t word = 0;
    std::memcpy(&word, &value, 4);
    return word;
}

Mesh triangle()
{
    Mesh mesh;
    mesh.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    mesh.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1};
    mesh.uv0 = {0, 0, 1, 0, 0, 1};
    return mesh;
}

TEST(ModelFile, DamagedFilesAreRefusedNamingTheFile)
{
    std::vector<uint8_t> cube = model_writer::encode(model_writer::unit_cube());
    std::vector<uint8_t> truncated(cube.begin(), cube.end() - 5);
    std::vector<uint8_t> trailing = cube;
    trailing.push_back(0);
    std::mt19937 random(15);
    std::vector<uint8_t> garbage(300);
    for (uint8_t& byte : garbage)
        byte = static_cast<uint8_t>(random());
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty file", {}},
        {"count cut short", {1, 0}},
        {"truncated cube", truncated},
        {"oversized count", words({0xFFFFFFFFu, 0, 0})},
        {"count one past the data", words({4, bits(1), bits(2), bits(3)})},
        {"four sections only", words({0, 0, 0, 0})},
        {"bytes after the last section", trailing},
        {"garbage", garbage},
        {"positions not three per vertex", words({2, bits(0), bits(0), 0, 0, 0, 0})},
        {"not a number as position", words({3, bits(NAN), bits(0), bits(0), 0, 0, 0, 0})},
        {"indices not three per triangle", words({3, 0, 0, 0, 0, 0, 0, 2, 0, 0})},
        {"index past the last vertex", words({3, 0, 0, 0, 0, 0, 0, 3, 0, 0, 1})},
    };
    const vadu::filesystem::String path("models/damaged.model", true);
    for (const auto& c : cases) {
        try {
            model::parse_model_file(c.bytes.data(), c.bytes.size(), path);
            ADD_FAILURE() << c.what << " was accepted";
        } catch (const vadu::GluckBadResource& error) {
            EXPECT_EQ(error.get_resource().get_text(), path.get_text()) << c.what;
        }
    }
}

TEST(ModelFile, WrittenMeshReadsBackSectionBySection)
{
    Mesh mesh = model_writer::unit_cube();
    const std::vector<uint8_t> bytes = model_writer::encode(mesh);
    const model::ModelFileArrays arrays =
        model::parse_model_file(bytes.data(), bytes.size(), vadu::filesystem::String("cube", true));
    EXPECT_EQ(arrays.positions, mesh.positions);
    EXPECT_EQ(arrays.normals, mesh.normals);
    EXPECT_EQ(arrays.uv0, mesh.uv0);
    EXPECT_EQ(arrays.diffuses, mesh.diffuses);
    EXPECT_EQ(arrays.indices, mesh.indices);
    EXPECT_EQ(arrays.positions.size(), 72u);
    EXPECT_EQ(arrays.indices.size(), 36u);
}

// Every point inside (within rounding), and no smaller sphere about the same points: at
// least two of them lie on the boundary.
void expect_tight(const hard::Sphere& sphere, const std::vector<float>& xyz, const char* what)
{
    int on_boundary = 0;
    for (size_t i = 0; i < xyz.size(); i += 3) {
        const double dx = xyz[i] - sphere.x, dy = xyz[i + 1] - sphere.y, dz = xyz[i + 2] - sphere.z;
        const double distance = std::sqrt(dx * dx + dy * dy + dz * dz);
        EXPECT_LE(distance, sphere.radius + 1e-5) << what;
        if (distance > sphere.radius - 1e-5)
            ++on_boundary;
    }
    if (xyz.size() > 3) {
        EXPECT_GE(on_boundary, 2) << what;
    }
}

TEST(BoundingSphere, SmallestSphereOfPointSets)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coordinate(-3.0f, 5.0f);
    std::vector<float> cloud;
    for (int i = 0; i < 3 * 500; ++i)
        cloud.push_back(coordinate(random));
    const float h = std::sqrt(2.0f);
    const struct {
        const char* what;
        std::vector<float> xyz;
        float x, y, z, radius; // radius < 0: only tightness is checked
    } cases[] = {
        {"no points", {}, 0, 0, 0, 0},
        {"one point", {2, -1, 4}, 2, -1, 4, 0},
        {"the same point twice", {1, 1, 1, 1, 1, 1}, 1, 1, 1, 0},
        {"two points", {-1, 0, 0, 3, 0, 0}, 1, 0, 0, 2},
        {"unit cube corners", {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0, 1, 1, 0, 1, 0, 1, 1, 1, 1, 1}, 0.5f, 0.5f,
         0.5f, std::sqrt(0.75f)},
        // An obtuse triangle: the longest side is the diameter, not the circumcircle.
        {"obtuse triangle", {-2, 0, 0, 2, 0, 0, 0, 0.5f, 0}, 0, 0, 0, 2},
        {"regular tetrahedron", {1, 1, 1, 1, -1, -1, -1, 1, -1, -1, -1, 1}, 0, 0, 0, std::sqrt(3.0f)},
        {"octahedron with inner points", {h, 0, 0, -h, 0, 0, 0, h, 0, 0, -h, 0, 0, 0, h, 0, 0, -h, 0.1f, 0.2f, 0.3f},
         0, 0, 0, h},
        {"cloud", cloud, 0, 0, 0, -1},
    };
    for (const auto& c : cases) {
        const hard::Sphere sphere = model::smallest_enclosing_sphere(c.xyz.data(), c.xyz.size() / 3);
        EXPECT_FALSE(std::isnan(sphere.radius)) << c.what;
        if (c.radius >= 0) {
            EXPECT_NEAR(sphere.x, c.x, 1e-5) << c.what;
            EXPECT_NEAR(sphere.y, c.y, 1e-5) << c.what;
            EXPECT_NEAR(sphere.z, c.z, 1e-5) << c.what;
            EXPECT_NEAR(sphere.radius, c.radius, 1e-5) << c.what;
        }
        expect_tight(sphere, c.xyz, c.what);
    }
}

using ModelLoading = ModelFixture;

TEST_F(ModelLoading, FileModelIsParsedBoundedAndUploaded)
{
    write_model("cube.model", model_writer::unit_cube());
    model::ModelInHardwareHandle copy(path("cube.model"));
    EXPECT_FALSE(copy->is_loaded());
    ASSERT_TRUE(load_all());
    const model::Model& record = copy->get_model();
    ASSERT_TRUE(record.is_loaded());
    EXPECT_EQ(record.get_array("Positions").size(), 72u);
    EXPECT_EQ(record.get_int_array("Indices").size(), 36u);
    EXPECT_TRUE(record.get_array("Weights0").empty());
    const hard::Sphere& sphere = copy->get_bounding_sphere();
    EXPECT_NEAR(sphere.x, 0.5f, 1e-6);
    EXPECT_NEAR(sphere.y, 0.5f, 1e-6);
    EXPECT_NEAR(sphere.z, 0.5f, 1e-6);
    EXPECT_NEAR(sphere.radius, std::sqrt(0.75f), 1e-6);
    ASSERT_TRUE(copy->is_loaded());
    EXPECT_EQ(copy->get_vertex_count(), 24u);
    EXPECT_EQ(copy->get_triangle_count(), 12u);
    ASSERT_EQ(hardware.meshes.size(), 1u);
    EXPECT_EQ(hardware.meshes[0]->positions, record.get_array("Positions"));
    EXPECT_EQ(hardware.meshes[0]->normals, record.get_array("Normals"));
    ASSERT_EQ(hardware.index_buffers.size(), 1u);
    EXPECT_EQ(hardware.index_buffers[0]->indices, record.get_int_array("Indices"));
}

TEST_F(ModelLoading, EmptyModelAndModelWithoutIndices)
{
    write_model("empty.model", Mesh{});
    write_model("triangle.model", triangle());
    model::ModelInHardwareHandle empty(path("empty.model"));
    model::ModelInHardwareHandle plain(path("triangle.model"));
    ASSERT_TRUE(load_all());
    ASSERT_TRUE(empty->is_loaded());
    EXPECT_EQ(empty->get_vertex_count(), 0u);
    EXPECT_EQ(empty->get_triangle_count(), 0u);
    EXPECT_EQ(empty->get_bounding_sphere().radius, 0.0f);
    ASSERT_TRUE(plain->is_loaded());
    EXPECT_EQ(plain->get_vertex_count(), 3u);
    EXPECT_EQ(plain->get_triangle_count(), 1u);
    // Neither has indices, so no device got an index buffer.
    EXPECT_TRUE(hardware.index_buffers.empty());
}

TEST_F(ModelLoading, UnreadableFilesFailTheirRecordWithTheFileInTheLog)
{
    write_bytes(temp_.root() / "short.model", words({9, 0}));
    model::ModelInHardwareHandle missing(path("missing.model"));
    model::ModelInHardwareHandle damaged(path("short.model"));
    ASSERT_TRUE(load_all());
    for (const auto* copy : {missing.get(), damaged.get()}) {
        EXPECT_TRUE(copy->get_model().has_failed());
        EXPECT_FALSE(copy->get_model().is_loaded());
        EXPECT_FALSE(copy->is_loaded());
    }
    const std::string text = log_.text();
    EXPECT_NE(text.find("Failed to load \"missing.model\""), std::string::npos) << text;
    EXPECT_NE(text.find("Failed to load \"short.model\""), std::string::npos) << text;
}

TEST_F(ModelLoading, RefusedBuffersFailTheCopy)
{
    write_model("cube.model", model_writer::unit_cube());
    const struct {
        bool vertices, indices;
        const char* message;
    } cases[] = {
        {true, false, "object->vb->update() failed"},
        {false, true, "object->ib->update() failed"},
    };
    for (const auto& c : cases) {
        hardware.refuse_vertices = c.vertices;
        hardware.refuse_indices = c.indices;
        {
            model::ModelInHardwareHandle copy(path("cube.model"));
            ASSERT_TRUE(load_all());
            EXPECT_TRUE(copy->has_failed()) << c.message;
            EXPECT_FALSE(copy->is_loaded()) << c.message;
        }
        EXPECT_EQ(log_.count(std::string("Failed to load \"cube.model\": ") + c.message), 1u) << log_.text();
    }
}

TEST_F(ModelLoading, ShaderRangesSkipTransparentShadersButRunOn)
{
    write_model("cube.model", model_writer::unit_cube());
    write_text("fixed.scene", R"(<Scene><ModelFixed Name="M" Source="cube.model" Position="7 0 0"><Shaders>
        <Shader TrianglesCount="4" VertexCount="8"/>
        <Shader TrianglesCount="2" VertexCount="6"><Material Transparency="1"/></Shader>
        <Shader TrianglesCount="6" VertexCount="10"><Material Diffuse="1 0 0"/></Shader>
    </Shaders></ModelFixed></Scene>)");
    std::unique_ptr<vadu::lib3d::node::Node> scene(
        vadu::lib3d::node::create_from_resource("Scene", nullptr, path("fixed.scene")));
    ASSERT_NE(scene, nullptr);
    scene->set_cached_global_matrix(vadu::math::Matrix4::identity());
    auto* node = dynamic_cast<vadu::lib3d::node::ModelFixed*>(scene->find_child("M", true));
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(node->get_shaders().get_materials().size(), 3u);
    hard::RenderList list;
    // Not loaded yet: nothing.
    scene->render_to_list(hardware, list);
    EXPECT_TRUE(list.records.empty());
    ASSERT_TRUE(load_all());
    scene->render_to_list(hardware, list);
    ASSERT_EQ(list.records.size(), 2u);
    const hard::RenderRecord& first = list.records[0];
    const hard::RenderRecord& third = list.records[1];
    EXPECT_EQ(first.first_primitive, 0u);
    EXPECT_EQ(first.primitive_count, 4u);
    EXPECT_EQ(first.first_vertex, 0u);
    EXPECT_EQ(first.vertex_count, 8u);
    EXPECT_EQ(third.first_primitive, 18u);
    EXPECT_EQ(third.primitive_count, 6u);
    EXPECT_EQ(third.first_vertex, 14u);
    EXPECT_EQ(third.vertex_count, 10u);
    EXPECT_EQ(third.diffuse.y, 0.0f);
    EXPECT_EQ(third.world.m[3], 7.0f);
    EXPECT_EQ(third.index_buffer, hardware.index_buffers[0]);
    EXPECT_EQ(third.vertex_buffer, hardware.meshes[0]);
    EXPECT_NEAR(third.bounding_sphere.radius, std::sqrt(0.75f), 1e-6);

    // A device that lost the buffer's contents: nothing is drawn until a pass refills it.
    hardware.meshes[0]->lose();
    list.clear();
    scene->render_to_list(hardware, list);
    EXPECT_TRUE(list.records.empty());
    EXPECT_FALSE(node->get_source()->is_loaded());
    ASSERT_TRUE(load_all());
    EXPECT_TRUE(hardware.meshes[0]->filled);
    scene->render_to_list(hardware, list);
    EXPECT_EQ(list.records.size(), 2u);
}

TEST_F(ModelLoading, CachesShareOnePerPathAndGoWithTheLastHandle)
{
    write_model("cube.model", model_writer::unit_cube());
    {
        model::ModelInHardwareHandle first(path("cube.model"));
        {
            model::ModelInHardwareHandle second(path("Cube.model"));
            const model::ModelInHardwareHandle copied(second);
            EXPECT_EQ(second.get(), first.get());
            EXPECT_EQ(copied.get(), first.get());
            EXPECT_EQ(first->get_reference_count(), 3);
            model::ModelHandle record(path("cube.model"));
            EXPECT_EQ(record.get(), &first->get_model());
        }
        ASSERT_NE(model::get_model_cache(), nullptr);
        EXPECT_EQ(model::get_model_cache()->size(), 1u);
        EXPECT_EQ(model::get_model_in_hardware_cache()->size(), 1u);
        EXPECT_EQ(first->get_reference_count(), 1);
    }
    EXPECT_EQ(model::get_model_cache(), nullptr);
    EXPECT_EQ(model::get_model_in_hardware_cache(), nullptr);
}

} // namespace
} // namespace model_test
