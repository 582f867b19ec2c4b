// The built-in solids (sphere, box, plane): their meshes, the records their materials give
// and the rebuild of lost buffers, over a device whose buffers keep what they are given.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vadu/lib3d/hard/render_fakes.h"
#include "vadu/lib3d/node/box.h"
#include "vadu/lib3d/node/plane.h"
#include "vadu/lib3d/node/sphere.h"
#include "scene_test_support.h"

namespace solids_test {
namespace {

namespace hard = vadu::lib3d::hard;
using vadu::lib3d::node::Box;
using vadu::lib3d::node::Plane;
using vadu::lib3d::node::PrimitiveMesh;
using vadu::lib3d::node::Sphere;
using scene_test::Node;
using scene_test::to_std;
using vadu::math::Vector3;

// Keeps the arrays of the two-pair update; its data can be lost on demand.
class MeshBuffer : public render_fakes::FakeVertexBuffer {
public:
    using FakeVertexBuffer::FakeVertexBuffer;
    using FakeVertexBuffer::update;
    bool is_operational() const override { return operational; }
    bool update(const hard::FloatArray& p, const hard::FloatArray& n, const hard::FloatArray& c,
                const hard::FloatArray& t, const hard::FloatArray& t2) override
    {
        ++updates;
        if (refuse)
            return false;
        positions = p;
        normals = n;
        colours = c;
        texture_coordinates = t;
        second_coordinates = t2;
        operational = true;
        return true;
    }
    bool operational = false;
    hard::FloatArray normals, colours, second_coordinates;
};

class MeshIndices : public hard::IndexBuffer {
public:
    bool is_operational() const override { return operational; }
    bool update(const uint32_t* data, uint32_t count) override
    {
        ++updates;
        if (refuse)
            return false;
        indices.assign(data, data + count);
        operational = true;
        return true;
    }
    bool draw(uint32_t, uint32_t, uint32_t, uint32_t) override { return true; }
    bool operational = false;
    bool refuse = false;
    int updates = 0;
    std::vector<uint32_t> indices;
};

class SolidHardware : public render_fakes::FakeHardware {
public:
    std::unique_ptr<hard::VertexBuffer> create_vertex_buffer(bool dynamic) override
    {
        auto buffer = std::make_unique<MeshBuffer>(buffers, dynamic);
        vertex.push_back(buffer.get());
        return buffer;
    }
    std::unique_ptr<hard::IndexBuffer> create_index_buffer() override
    {
        auto buffer = std::make_unique<MeshIndices>();
        index.push_back(buffer.get());
        return buffer;
    }
    std::vector<MeshBuffer*> vertex;
    std::vector<MeshIndices*> index;
};

struct Point {
    double x, y, z;
};

Point at(const hard::FloatArray& values, uint32_t vertex)
{
    return {values[vertex * 3], values[vertex * 3 + 1], values[vertex * 3 + 2]};
}

// Positive when the triangle a, b, c turns counter-clockwise seen from the outside (from
// where its own centroid points, the solids being centred on the origin).
double outward_turn(const Point& a, const Point& b, const Point& c)
{
    const Point u{b.x - a.x, b.y - a.y, b.z - a.z};
    const Point v{c.x - a.x, c.y - a.y, c.z - a.z};
    const Point n{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
    return n.x * (a.x + b.x + c.x) + n.y * (a.y + b.y + c.y) + n.z * (a.z + b.z + c.z);
}

class SolidsTest : public scene_test::SceneTest {
protected:
    SolidsTest()
    {
        hard::Manager::add_hardware(&hardware);
        solids_.emplace(vadu::lib3d::node::get_engine_node_types(), [](std::string_view type) {
            return type == "Sphere" || type == "Box" || type == "Plane" || type == "Light";
        });
    }
    ~SolidsTest() override
    {
        scene.reset();
        solids_.reset();
        hard::Manager::notify_remove_hardware(&hardware);
    }

    // The scene text (children of the root "Scene") loaded; the node of that name.
    template <class T>
    T* load_scene(const std::string& children, const char* name = "S")
    {
        write("solids.scene", "<Scene>" + children + "</Scene>");
        scene = load("solids.scene");
        scene->set_cached_global_matrix(vadu::math::Matrix4::identity());
        return dynamic_cast<T*>(scene->find_child(name, true));
    }

    void render()
    {
        list.clear();
        scene->mark_transform_changed();
        scene->render_to_list(hardware, list);
    }

    hard::Manager::Creator manager_;
    SolidHardware hardware;
    hard::RenderList list;
    std::unique_ptr<Node> scene;
    std::optional<vadu::lib3d::node::NodeTypeRegistration> solids_;
};

// A shader element with the counts and colours given.
std::string shader(const char* name, uint32_t triangles, uint32_t vertices, const char* material = "")
{
    return "<Shader Name=\"" + std::string(name) + "\" TrianglesCount=\"" + std::to_string(triangles) +
           "\" VertexCount=\"" + std::to_string(vertices) + "\"><Material " + material + "/></Shader>";
}

// --- sphere ------------------------------------------------------------------------------

TEST_F(SolidsTest, SphereMeshFollowsItsClampedTessellation)
{
    struct Case {
        const char* attribute; // empty: the default
        int32_t t;
    };
    for (const Case& c : {Case{"", 8}, Case{"Tesselation=\"1\"", 2}, Case{"Tesselation=\"2\"", 2},
                          Case{"Tesselation=\"5\"", 5}, Case{"Tesselation=\"100\"", 32}}) {
        SCOPED_TRACE(c.attribute);
        Sphere* sphere = load_scene<Sphere>(std::string("<Sphere Name=\"S\" ") + c.attribute + "/>");
        ASSERT_NE(sphere, nullptr);
        render();
        EXPECT_EQ(sphere->get_tessellation(), c.t);
        ASSERT_EQ(hardware.vertex.size(), 1u);
        const MeshBuffer& buffer = *hardware.vertex.back();
        const std::vector<uint32_t>& indices = hardware.index.back()->indices;
        hardware.vertex.clear();
        hardware.index.clear();

        const uint32_t n = 2 * c.t;
        const uint32_t vertices = 2 * n + (c.t - 1) * (n + 1);
        ASSERT_EQ(buffer.positions.size(), vertices * 3);
        EXPECT_EQ(buffer.normals, buffer.positions) << "a unit sphere's normals are its positions";
        EXPECT_TRUE(buffer.colours.empty());
        ASSERT_EQ(buffer.texture_coordinates.size(), vertices * 2);
        EXPECT_EQ(buffer.second_coordinates, buffer.texture_coordinates);
        ASSERT_EQ(indices.size(), 3 * 2 * n * (c.t - 1));

        // The poles: one vertex per segment, u at the segment's middle.
        for (uint32_t i = 0; i < 2 * n; ++i) {
            const bool north = i < n;
            const Point p = at(buffer.positions, i);
            EXPECT_EQ(p.y, north ? 1.0 : -1.0) << i;
            EXPECT_EQ(p.x, 0.0);
            EXPECT_NEAR(buffer.texture_coordinates[i * 2], ((i % n) + 0.5) / n, 1e-6) << i;
            EXPECT_EQ(buffer.texture_coordinates[i * 2 + 1], north ? 0.0f : 1.0f) << i;
        }
        // The rings: on the unit sphere at their latitude, the seam vertex at the first's place.
        for (int32_t r = 1; r < c.t; ++r) {
            const uint32_t s = 2 * n + (r - 1) * (n + 1);
            for (uint32_t j = 0; j <= n; ++j) {
                const Point p = at(buffer.positions, s + j);
                EXPECT_NEAR(p.x * p.x + p.y * p.y + p.z * p.z, 1.0, 1e-6);
                EXPECT_NEAR(p.y, std::cos(M_PI * r / c.t), 1e-6);
                EXPECT_NEAR(buffer.texture_coordinates[(s + j) * 2], double(j) / n, 1e-6);
                EXPECT_NEAR(buffer.texture_coordinates[(s + j) * 2 + 1], double(r) / c.t, 1e-6);
            }
            EXPECT_EQ(at(buffer.positions, s + n).x, at(buffer.positions, s).x);
            EXPECT_EQ(at(buffer.positions, s + n).z, at(buffer.positions, s).z);
        }
        // The first triangle joins the first ring to the north pole.
        EXPECT_EQ((std::vector<uint32_t>(indices.begin(), indices.begin() + 3)),
                  (std::vector<uint32_t>{2 * n + 1, 0, 2 * n}));
        // Every triangle is whole and turns the same way seen from outside.
        for (size_t k = 0; k < indices.size(); k += 3) {
            ASSERT_LT(std::max({indices[k], indices[k + 1], indices[k + 2]}), vertices);
            EXPECT_GT(outward_turn(at(buffer.positions, indices[k]), at(buffer.positions, indices[k + 1]),
                                   at(buffer.positions, indices[k + 2])),
                      1e-9)
                << "triangle " << k / 3;
        }
    }
}

TEST_F(SolidsTest, SphereRecordsFollowTheShaderRanges)
{
    // The default sphere: 151 vertices, 224 triangles, cut into three ranges; the middle
    // one is invisible and adds no record, but the last still starts after it.
    Sphere* sphere = load_scene<Sphere>("<Sphere Name=\"S\"><Shaders>" + shader("A", 100, 80, "Diffuse=\"1 0 0\"") +
                                        shader("B", 50, 40, "Transparency=\"0.995\"") +
                                        shader("C", 74, 31, "Diffuse=\"0 0 1\" Transparency=\"0.99\"") +
                                        shader("D", 0, 0) + "</Shaders><Node Name=\"Child\"/></Sphere>");
    ASSERT_NE(sphere, nullptr);
    sphere->set_position(Vector3{3, 4, 5});
    render();
    struct Expected {
        uint32_t first_index, triangles, first_vertex, vertices;
        Vector3 diffuse;
    };
    const Expected expected[] = {
        {0, 100, 0, 80, {1, 0, 0}},
        {450, 74, 120, 31, {0, 0, 1}},
        // Without counts a shader draws nothing, as stored scenes expect.
        {672, 0, 151, 0, {1, 1, 1}},
    };
    ASSERT_EQ(list.records.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const hard::RenderRecord& record = list.records[i];
        EXPECT_EQ(record.first_primitive, expected[i].first_index);
        EXPECT_EQ(record.primitive_count, expected[i].triangles);
        EXPECT_EQ(record.first_vertex, expected[i].first_vertex);
        EXPECT_EQ(record.vertex_count, expected[i].vertices);
        EXPECT_TRUE(scene_test::vectors_near(record.diffuse, expected[i].diffuse));
        EXPECT_EQ(record.vertex_buffer, hardware.vertex[0]);
        EXPECT_EQ(record.index_buffer, hardware.index[0]);
        EXPECT_EQ(record.world[3], 3.0f);
        EXPECT_EQ(record.world[11], 5.0f);
    }
    EXPECT_NE(sphere->find_child("Child", false), nullptr);
    EXPECT_EQ(list.records.size(), 3u) << "children are not drawn";
}

// --- box ---------------------------------------------------------------------------------

TEST_F(SolidsTest, BoxFacesTakeTheirCornersNormalsAndCoordinates)
{
    Box* box = load_scene<Box>("<Box Name=\"S\"/>");
    ASSERT_NE(box, nullptr);
    render();
    ASSERT_EQ(hardware.vertex.size(), 1u);
    const MeshBuffer& buffer = *hardware.vertex[0];
    const std::vector<uint32_t>& indices = hardware.index[0]->indices;
    ASSERT_EQ(buffer.positions.size(), 24u * 3);
    ASSERT_EQ(indices.size(), 36u);
    EXPECT_EQ(buffer.second_coordinates, buffer.texture_coordinates);
    EXPECT_TRUE(buffer.colours.empty());

    const std::array<Point, 8> corners = {{{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1},
                                           {-1, -1, 1}, {-1, 1, 1}, {1, 1, 1}, {1, -1, 1}}};
    struct Face {
        Point normal;
        std::array<int, 4> corners;
    };
    const Face faces[] = {
        {{0, 0, -1}, {0, 1, 2, 3}}, {{-1, 0, 0}, {4, 5, 1, 0}}, {{0, 0, 1}, {7, 6, 5, 4}},
        {{1, 0, 0}, {3, 2, 6, 7}},  {{0, 1, 0}, {1, 5, 6, 2}},  {{0, -1, 0}, {4, 0, 3, 7}},
    };
    const float uv[4][2] = {{1, 1}, {1, 0}, {0, 0}, {0, 1}};
    for (uint32_t f = 0; f < 6; ++f) {
        SCOPED_TRACE(testing::Message() << "face " << f);
        for (uint32_t k = 0; k < 4; ++k) {
            const uint32_t v = 4 * f + k;
            const Point p = at(buffer.positions, v);
            const Point corner = corners[faces[f].corners[k]];
            EXPECT_TRUE(p.x == corner.x && p.y == corner.y && p.z == corner.z) << "vertex " << v;
            const Point n = at(buffer.normals, v);
            EXPECT_TRUE(n.x == faces[f].normal.x && n.y == faces[f].normal.y && n.z == faces[f].normal.z)
                << "vertex " << v;
            EXPECT_EQ(buffer.texture_coordinates[v * 2], uv[k][0]);
            EXPECT_EQ(buffer.texture_coordinates[v * 2 + 1], uv[k][1]);
        }
        const uint32_t v = 4 * f;
        EXPECT_EQ((std::vector<uint32_t>(indices.begin() + 6 * f, indices.begin() + 6 * f + 6)),
                  (std::vector<uint32_t>{v, v + 1, v + 2, v + 2, v + 3, v}));
        // Wound as the sphere's triangles are, seen from outside.
        for (uint32_t k = 6 * f; k < 6 * f + 6; k += 3) {
            EXPECT_GT(outward_turn(at(buffer.positions, indices[k]), at(buffer.positions, indices[k + 1]),
                                   at(buffer.positions, indices[k + 2])),
                      0.0);
        }
    }
}

TEST_F(SolidsTest, BoxDrawsWholeOncePerVisibleShaderOfBothForms)
{
    // "Shaders" gives the list; each "Shader" child appends to it. Counts do not matter.
    Box* box = load_scene<Box>("<Box Name=\"S\"><Shaders>" + shader("A", 0, 0, "Diffuse=\"1 0 0\"") +
                               shader("B", 5, 5, "Transparency=\"1\"") + "</Shaders>" +
                               shader("C", 0, 0, "Diffuse=\"0 1 0\"") + "<Node Name=\"Child\"/></Box>");
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(box->get_shaders().get_materials().size(), 3u);
    EXPECT_EQ(to_std(box->get_shaders().get_materials()[2]->get_name().get_name()), "C");
    render();
    ASSERT_EQ(list.records.size(), 2u);
    const Vector3 colours[] = {{1, 0, 0}, {0, 1, 0}};
    for (size_t i = 0; i < 2; ++i) {
        const hard::RenderRecord& record = list.records[i];
        EXPECT_TRUE(scene_test::vectors_near(record.diffuse, colours[i]));
        EXPECT_EQ(record.first_primitive, 0u);
        EXPECT_EQ(record.primitive_count, 12u);
        EXPECT_EQ(record.first_vertex, 0u);
        EXPECT_EQ(record.vertex_count, 24u);
        EXPECT_EQ(record.index_buffer, hardware.index[0]);
    }

    write("bad.scene", "<Scene><Box Name=\"S\"><Shader><Material Diffuse=\"red\"/></Shader></Box></Scene>");
    EXPECT_THROW(load("bad.scene"), vadu::Gluck) << "a shader that fails to parse fails the load";
}

// --- plane -------------------------------------------------------------------------------

TEST_F(SolidsTest, PlaneIsTwoTrianglesEachWayWithNormalsOnly)
{
    Plane* plane = load_scene<Plane>(R"(<Plane Name="S"><Shader><Material Diffuse="0.5 1 0.25"/></Shader>
        <Node Name="Child"/></Plane>)");
    ASSERT_NE(plane, nullptr);
    render();
    ASSERT_EQ(hardware.vertex.size(), 1u);
    EXPECT_TRUE(hardware.index.empty());
    const MeshBuffer& buffer = *hardware.vertex[0];
    ASSERT_EQ(buffer.positions.size(), 36u);
    ASSERT_EQ(buffer.normals.size(), 36u);
    EXPECT_TRUE(buffer.colours.empty());
    EXPECT_TRUE(buffer.texture_coordinates.empty());
    EXPECT_TRUE(buffer.second_coordinates.empty());
    // Every front triangle (+z) has a back twin (−z) over the same corners, wound the other
    // way, so that one of the two faces whichever side it is seen from.
    const auto turn_about_z = [&](uint32_t first) {
        const Point a = at(buffer.positions, first), b = at(buffer.positions, first + 1),
                    c = at(buffer.positions, first + 2);
        return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    };
    for (uint32_t t = 0; t < 2; ++t) {
        const uint32_t front = 3 * t;
        const uint32_t back = 6 + 3 * t;
        for (uint32_t k = 0; k < 3; ++k) {
            EXPECT_EQ(at(buffer.normals, front + k).z, 1.0);
            EXPECT_EQ(at(buffer.normals, back + k).z, -1.0);
        }
        EXPECT_LT(turn_about_z(front), 0.0);
        EXPECT_GT(turn_about_z(back), 0.0);
        EXPECT_EQ(std::abs(turn_about_z(front)), std::abs(turn_about_z(back)));
    }
    // Together the front pair covers the unit square.
    double area = 0.0;
    for (uint32_t t = 0; t < 2; ++t)
        area += std::abs(turn_about_z(3 * t)) / 2.0;
    EXPECT_EQ(area, 1.0);

    ASSERT_EQ(list.records.size(), 1u) << "children are not drawn";
    const hard::RenderRecord& record = list.records[0];
    EXPECT_EQ(record.vertex_buffer, &buffer);
    EXPECT_EQ(record.index_buffer, nullptr);
    EXPECT_EQ(record.primitive_count, 4u);
    EXPECT_EQ(record.vertex_count, 12u);
    EXPECT_TRUE(scene_test::vectors_near(record.diffuse, Vector3{0.5f, 1, 0.25f}));
}

// --- all three ---------------------------------------------------------------------------

struct SolidCase {
    const char* element;
    const char* function; // of the fill
    bool indexed;
    std::string children; // one shader of 4 triangles
};

std::vector<SolidCase> solid_cases()
{
    return {
        {"Sphere", "vadu::lib3d::node::Sphere::create", true, "<Shaders>" + shader("A", 4, 12) + "</Shaders>"},
        {"Box", "vadu::lib3d::node::Box::create", true, shader("A", 4, 12)},
        {"Plane", "vadu::lib3d::node::Plane::fillVb", false, shader("A", 4, 12)},
    };
}

std::string element_of(const SolidCase& c)
{
    return std::string("<") + c.element + " Name=\"S\">" + c.children + "</" + c.element + ">";
}

TEST_F(SolidsTest, LostBuffersAreFilledAgainAndOnlyThen)
{
    for (const SolidCase& c : solid_cases()) {
        for (const bool lose_indices : {false, true}) {
            if (lose_indices && !c.indexed)
                continue;
            SCOPED_TRACE(testing::Message() << c.element << (lose_indices ? " losing indices" : " losing vertices"));
            hardware.vertex.clear();
            hardware.index.clear();
            ASSERT_NE(load_scene<Node>(element_of(c)), nullptr);
            render();
            render();
            MeshBuffer& buffer = *hardware.vertex.at(0);
            EXPECT_EQ(buffer.updates, 1) << "filled once while it holds its data";
            const hard::FloatArray filled = buffer.positions;
            buffer.positions.clear();
            // As a device loss or a change of mode leaves them.
            (lose_indices ? hardware.index.at(0)->operational : buffer.operational) = false;
            render();
            EXPECT_EQ(buffer.updates, 2);
            EXPECT_EQ(buffer.positions, filled);
            if (c.indexed) {
                EXPECT_EQ(hardware.index[0]->updates, 2);
                EXPECT_TRUE(hardware.index[0]->operational);
            }
            EXPECT_EQ(list.records.size(), 1u);
        }
    }
}

TEST_F(SolidsTest, RefusedBuffersAndUnknownDevicesRaiseGlucks)
{
    const auto expect_gluck = [](const std::function<void()>& action, const std::string& function,
                                 const std::string& description) {
        try {
            action();
            ADD_FAILURE() << "no Gluck";
        } catch (const vadu::Gluck& gluck) {
            EXPECT_EQ(to_std(gluck.get_function()), function);
            EXPECT_EQ(to_std(gluck.get_description()), description);
        }
    };
    for (const SolidCase& c : solid_cases()) {
        for (const bool refuse_indices : {false, true}) {
            if (refuse_indices && !c.indexed)
                continue;
            SCOPED_TRACE(testing::Message() << c.element << (refuse_indices ? ", indices" : ", vertices"));
            hardware.vertex.clear();
            hardware.index.clear();
            ASSERT_NE(load_scene<Node>(element_of(c)), nullptr);
            (refuse_indices ? hardware.index.at(0)->refuse : hardware.vertex.at(0)->refuse) = true;
            expect_gluck([&] { render(); }, c.function, "vb->update() failed");
        }
    }

    // A device the manager never announced has no buffers.
    SolidHardware stranger;
    Sphere* sphere = load_scene<Sphere>("<Sphere Name=\"S\"/>");
    ASSERT_NE(sphere, nullptr);
    expect_gluck([&] { sphere->render_to_list(stranger, list); },
                 "vadu::HardwareDependentObject<class vadu::lib3d::hard::Manager,"
                 "struct vadu::lib3d::node::PrimitiveObject>::find_data",
                 "Data not found");
}

TEST_F(SolidsTest, ClonesKeepShapeAndMaterialsWithBuffersOfTheirOwn)
{
    Sphere* sphere =
        load_scene<Sphere>("<Sphere Name=\"S\" Tesselation=\"3\"><Shaders>" + shader("A", 24, 26) + "</Shaders></Sphere>");
    ASSERT_NE(sphere, nullptr);
    std::unique_ptr<Node> copy(sphere->clone());
    auto* twin = dynamic_cast<Sphere*>(copy.get());
    ASSERT_NE(twin, nullptr);
    EXPECT_EQ(twin->get_tessellation(), 3);
    ASSERT_EQ(twin->get_shaders().get_materials().size(), 1u);
    EXPECT_NE(twin->get_shaders().get_materials()[0].get(), sphere->get_shaders().get_materials()[0].get());
    twin->set_cached_global_matrix(vadu::math::Matrix4::identity());
    list.clear();
    twin->render_to_list(hardware, list);
    sphere->render_to_list(hardware, list);
    ASSERT_EQ(list.records.size(), 2u);
    EXPECT_NE(list.records[0].vertex_buffer, list.records[1].vertex_buffer);
    EXPECT_EQ(list.records[0].primitive_count, 24u);

    for (const char* element : {"Box", "Plane"}) {
        SCOPED_TRACE(element);
        Node* solid = load_scene<Node>(std::string("<") + element + " Name=\"S\"><Shader Name=\"M\"/></" + element + ">");
        ASSERT_NE(solid, nullptr);
        std::unique_ptr<Node> clone(solid->clone());
        EXPECT_EQ(to_std(clone->get_type_name().get_name()), element);
    }
}

} // namespace
} // namespace solids_test
