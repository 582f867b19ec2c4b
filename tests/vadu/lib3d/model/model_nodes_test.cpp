// The model node types read from scenes: shader lists, shadows, morphs and skeletons.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "model_test_support.h"
#include "vadu/exception.h"
#include "vadu/lib3d/node/model_nodes.h"
#include "vadu/lib3d/node/model_skeleton.h"

namespace model_test {
namespace {

using model_writer::Mesh;
using vadu::lib3d::node::Joint;
using vadu::lib3d::node::ModelFixed;
using vadu::lib3d::node::ModelMorph;
using vadu::lib3d::node::ModelNode;
using vadu::lib3d::node::ModelSkeleton;
using vadu::lib3d::node::Node;
using vadu::math::Vector3;

class ModelNodes : public ModelFixture {
protected:
    // The scene text (children of the root "Scene") loaded, or null.
    std::unique_ptr<Node> load_scene(const std::string& children)
    {
        write_text("nodes.scene", "<Scene>" + children + "</Scene>");
        std::unique_ptr<Node> scene(vadu::lib3d::node::create_from_resource("Scene", nullptr, path("nodes.scene")));
        if (scene)
            scene->set_cached_global_matrix(vadu::math::Matrix4::identity());
        return scene;
    }

    template <class T>
    static T* child(Node& scene, const char* name)
    {
        return dynamic_cast<T*>(scene.find_child(name, true));
    }

    void render(Node& scene)
    {
        list.clear();
        scene.render_to_list(hardware, list);
    }

    hard::RenderList list;
};

// Two triangles, the second shape the first moved by (2, 4, 6) with other texture
// coordinates and the same normals.
Mesh shape(float offset)
{
    Mesh mesh;
    for (int i = 0; i < 6; ++i) {
        mesh.positions.insert(mesh.positions.end(), {float(i) + offset, 2.0f * offset, 3.0f * offset});
        mesh.normals.insert(mesh.normals.end(), {0.0f, 0.0f, 1.0f});
        mesh.uv0.insert(mesh.uv0.end(), {offset, float(i)});
    }
    return mesh;
}

TEST_F(ModelNodes, ShadersAreFoundOnEveryModelNode)
{
    const std::string shaders = R"(<Shaders><Shader Name="Skin" TrianglesCount="1"/></Shaders>)";
    auto scene = load_scene(R"(<ModelFixed Name="F">)" + shaders + R"(</ModelFixed><ModelMorph Name="M">)" + shaders +
                            R"(</ModelMorph><ModelSkeleton Name="S">)" + shaders + "</ModelSkeleton>");
    ASSERT_NE(scene, nullptr);
    for (const char* name : {"F", "M", "S"}) {
        auto* node = child<ModelNode>(*scene, name);
        ASSERT_NE(node, nullptr) << name;
        EXPECT_EQ(node->find_object("Shaders", true), &node->get_shaders()) << name;
        // Materials are reached through the list, not from the node itself.
        EXPECT_EQ(node->get_shaders().find_object("Skin", false), node->get_shaders().get_materials()[0].get());
        EXPECT_EQ(node->find_object("Skin", true), nullptr) << name;
    }
}

TEST_F(ModelNodes, ShadowSourceKeepsReplacesOrDropsTheShadow)
{
    write_model("a.model", shape(0));
    write_model("b.model", shape(1));
    auto scene = load_scene(R"(<ModelFixed Name="F" Source="a.model" Shadow="A.model">
        <Shaders><Shader TrianglesCount="2"/></Shaders></ModelFixed>)");
    ASSERT_NE(scene, nullptr);
    auto* node = child<ModelFixed>(*scene, "F");
    ASSERT_NE(node, nullptr);
    // The mesh and its shadow name one file: one shared copy.
    EXPECT_EQ(node->get_shadow(), node->get_source());
    ASSERT_TRUE(load_all());
    render(*scene);
    EXPECT_EQ(list.records.size(), 1u);
    ASSERT_EQ(list.secondary_records.size(), 1u);
    EXPECT_EQ(list.secondary_records[0].primitive_count, 2u);

    auto* held = node->get_shadow();
    EXPECT_TRUE(node->change_attribute("ShadowSource", path("a.model")));
    EXPECT_EQ(node->get_shadow(), held);
    EXPECT_TRUE(node->change_attribute("ShadowSource", path("b.model")));
    ASSERT_NE(node->get_shadow(), nullptr);
    EXPECT_EQ(node->get_shadow()->get_path().get_text(), "b.model");
    EXPECT_TRUE(node->change_attribute("ShadowSource", path("")));
    EXPECT_EQ(node->get_shadow(), nullptr);
    EXPECT_FALSE(node->change_attribute("Source", path("b.model")));
    ASSERT_TRUE(load_all());
    render(*scene);
    EXPECT_EQ(list.records.size(), 1u);
    EXPECT_TRUE(list.secondary_records.empty());
}

TEST_F(ModelNodes, NodesShareRecordsAndCopiesKeepThem)
{
    write_model("a.model", shape(0));
    auto scene = load_scene(R"(<ModelFixed Name="F" Source="a.model"/><ModelMorph Name="M" Source="a.model"
        Source2="a.model"/>)");
    ASSERT_NE(scene, nullptr);
    auto* fixed = child<ModelFixed>(*scene, "F");
    auto* morph = child<ModelMorph>(*scene, "M");
    ASSERT_TRUE(fixed && morph);
    EXPECT_EQ(&fixed->get_source()->get_model(), morph->get_source());
    EXPECT_EQ(morph->get_source(), morph->get_source2());
    std::unique_ptr<Node> copy(fixed->clone());
    ASSERT_NE(dynamic_cast<ModelFixed*>(copy.get()), nullptr);
    EXPECT_EQ(static_cast<ModelFixed&>(*copy).get_source(), fixed->get_source());
    EXPECT_EQ(fixed->get_source()->get_reference_count(), 2);
    delete fixed;
    EXPECT_EQ(model::get_model_in_hardware_cache()->size(), 1u);
    EXPECT_EQ(model::get_model_cache()->size(), 1u);
    copy.reset();
    EXPECT_EQ(model::get_model_in_hardware_cache(), nullptr);
    EXPECT_EQ(model::get_model_cache()->size(), 1u);
    scene.reset();
    EXPECT_EQ(model::get_model_cache(), nullptr);
}

TEST_F(ModelNodes, MorphBlendsPositionsAndUploadsOnlyOnChange)
{
    write_model("a.model", shape(0));
    write_model("b.model", shape(1));
    auto scene = load_scene(R"(<ModelMorph Name="M" Source="a.model" Source2="b.model" MorphWeight="0">
        <Shaders><Shader TrianglesCount="1"/><Shader TrianglesCount="1"><Material Transparency="1"/></Shader></Shaders>
        <Light Name="Child" Type="POINT" Intensity="1"/></ModelMorph>)");
    ASSERT_NE(scene, nullptr);
    auto* morph = child<ModelMorph>(*scene, "M");
    ASSERT_NE(morph, nullptr);
    // Nothing, children included, until both models are there.
    render(*scene);
    EXPECT_TRUE(list.records.empty());
    EXPECT_TRUE(list.lights.empty());
    ASSERT_TRUE(load_all());
    const Mesh a = shape(0);
    const struct {
        double weight;
        float x0, y0, u0;
    } cases[] = {{0.0, 0.0f, 0.0f, 0.0f}, {1.0, 1.0f, 2.0f, 1.0f}, {0.25, 0.25f, 0.5f, 0.25f}};
    for (const auto& c : cases) {
        ASSERT_TRUE(morph->change_attribute("MorphWeight", c.weight));
        render(*scene);
        // Both shaders are drawn, the second after the first's triangle; then the child.
        ASSERT_EQ(list.records.size(), 2u) << c.weight;
        EXPECT_EQ(list.lights.size(), 1u);
        EXPECT_EQ(list.records[1].first_primitive, 3u);
        EXPECT_EQ(list.records[1].first_vertex, 3u);
        EXPECT_EQ(list.records[0].index_buffer, nullptr);
        MeshBuffer& buffer = *hardware.meshes.back();
        EXPECT_TRUE(buffer.dynamic);
        ASSERT_EQ(buffer.positions.size(), a.positions.size());
        EXPECT_FLOAT_EQ(buffer.positions[0], c.x0) << c.weight;
        EXPECT_FLOAT_EQ(buffer.positions[1], c.y0) << c.weight;
        EXPECT_FLOAT_EQ(buffer.positions[15], 5.0f + c.x0) << c.weight;
        EXPECT_FLOAT_EQ(buffer.texture_coordinates[0], c.u0) << c.weight;
        EXPECT_EQ(buffer.normals, a.normals);
    }
    EXPECT_EQ(morph->get_upload_count(), 3u);
    render(*scene);
    EXPECT_EQ(morph->get_upload_count(), 3u);
    hardware.meshes.back()->lose();
    render(*scene);
    EXPECT_EQ(morph->get_upload_count(), 4u);
    EXPECT_TRUE(morph->blends_positions());
    EXPECT_TRUE(morph->blends_uv());
    EXPECT_FALSE(morph->blends_normals());
}

TEST_F(ModelNodes, MorphWeightFollowsAnAttachedAnimation)
{
    write_text("weight.anim", R"(<Animation><double><PrimitiveAnimation Target="#AnyNode#" Param="MorphWeight">
        <Envelope><Keys><Key Time="0" Value="0" Linear="0.5"/><Key Time="2" Value="1" Linear="0.5"/></Keys></Envelope>
        </PrimitiveAnimation></double></Animation>)");
    auto scene = load_scene(R"(<ModelMorph Name="M" Animation="weight.anim"/>)");
    ASSERT_NE(scene, nullptr);
    auto* morph = child<ModelMorph>(*scene, "M");
    ASSERT_NE(morph, nullptr);
    morph->update(0.5);
    EXPECT_NEAR(morph->get_weight(), 0.25, 1e-6);
}

TEST_F(ModelNodes, MorphOfModelsWithDifferentVertexCountsThrows)
{
    write_model("a.model", shape(0));
    Mesh longer = shape(1);
    longer.positions.insert(longer.positions.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0});
    write_model("b.model", longer);
    auto scene = load_scene(R"(<ModelMorph Name="M" Source="a.model" Source2="b.model" MorphWeight="0.5"/>)");
    ASSERT_NE(scene, nullptr);
    ASSERT_TRUE(load_all());
    try {
        render(*scene);
        ADD_FAILURE() << "no error";
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(error.get_description(), "Morph: models not match");
        EXPECT_EQ(error.get_function(), "vadu::lib3d::node::ModelMorph::render_to_list");
    }
}

// The cube of the model writer is indexed (24 vertices, 36 indices), as are its spheres:
// the nodes that build their vertices on the processor draw them through those indices,
// each shader over its own range of indices and of vertices.
TEST_F(ModelNodes, IndexedModelsAreDrawnThroughTheirIndices)
{
    const Mesh cube = model_writer::unit_cube();
    Mesh larger = cube;
    for (float& value : larger.positions)
        value *= 2.0f;
    write_model("cube.model", cube);
    write_model("large.model", larger);
    const std::string shaders = R"(<Shaders><Shader TrianglesCount="6" VertexCount="12"/>
        <Shader TrianglesCount="6" VertexCount="12"/></Shaders>)";
    const struct {
        const char* kind;
        std::string scene;
        bool shadow;
    } cases[] = {
        {"morph", R"(<ModelMorph Name="N" Source="cube.model" Source2="large.model" MorphWeight="0.5">)" + shaders +
                      "</ModelMorph>",
         false},
        {"skeleton", R"(<ModelSkeleton Name="N" Source="cube.model" Shadow="cube.model">)" + shaders +
                         "</ModelSkeleton>",
         true},
    };
    for (const auto& c : cases) {
        auto scene = load_scene(c.scene);
        ASSERT_NE(scene, nullptr) << c.kind;
        ASSERT_TRUE(load_all());
        render(*scene);
        ASSERT_EQ(list.records.size(), 2u) << c.kind;
        for (size_t i = 0; i < 2; ++i) {
            const hard::RenderRecord& record = list.records[i];
            ASSERT_NE(record.index_buffer, nullptr) << c.kind;
            EXPECT_EQ(static_cast<MeshIndexBuffer*>(record.index_buffer)->indices, cube.indices) << c.kind;
            EXPECT_EQ(record.first_primitive, 18u * i) << c.kind;
            EXPECT_EQ(record.primitive_count, 6u) << c.kind;
            EXPECT_EQ(record.first_vertex, 12u * i) << c.kind;
            EXPECT_EQ(record.vertex_count, 12u) << c.kind;
        }
        // The vertices themselves stay one per corner of the file, not one per index.
        EXPECT_EQ(static_cast<MeshBuffer*>(list.records[0].vertex_buffer)->positions.size(), cube.positions.size());
        if (c.shadow) {
            ASSERT_EQ(list.secondary_records.size(), 1u);
            const hard::RenderRecord& shadow = list.secondary_records[0];
            ASSERT_NE(shadow.index_buffer, nullptr);
            EXPECT_EQ(static_cast<MeshIndexBuffer*>(shadow.index_buffer)->indices, cube.indices);
            EXPECT_EQ(shadow.primitive_count, 12u);
            EXPECT_EQ(shadow.first_vertex, 0u);
            EXPECT_EQ(shadow.vertex_count, 24u);
        }
        // Indices lost with the device are given again on the next frame.
        auto* indices = static_cast<MeshIndexBuffer*>(list.records[0].index_buffer);
        indices->filled = false;
        render(*scene);
        EXPECT_TRUE(indices->filled) << c.kind;
        scene.reset();
    }
}

TEST_F(ModelNodes, IndicesTheDeviceRefusesAreAnError)
{
    write_model("cube.model", model_writer::unit_cube());
    auto scene = load_scene(R"(<ModelMorph Name="M" Source="cube.model" Source2="cube.model">
        <Shaders><Shader TrianglesCount="12" VertexCount="24"/></Shaders></ModelMorph>)");
    ASSERT_NE(scene, nullptr);
    ASSERT_TRUE(load_all());
    hardware.refuse_indices = true;
    try {
        render(*scene);
        ADD_FAILURE() << "no error";
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(error.get_description(), "object->ib->update() failed");
        EXPECT_EQ(error.get_function(), "vadu::lib3d::node::ModelMorph::render_to_list");
    }
}

class Skeletons : public ModelNodes {
protected:
    // The strip of two units along x, two joints: the root at the origin, "Tip" at x = 1.
    ModelSkeleton* load_skeleton(const char* tip_index = "1")
    {
        write_model("strip.model", model_writer::strip(1));
        scene_ = load_scene(std::string(R"(<ModelSkeleton Name="S" Source="strip.model" Shadow="strip.model">
            <Shaders><Shader TrianglesCount="2"/><Shader TrianglesCount="2"/></Shaders>
            <Joint Name="Tip" Index=")") + tip_index + R"(" Position="1 0 0"/></ModelSkeleton>)");
        if (!scene_ || !load_all())
            return nullptr;
        return child<ModelSkeleton>(*scene_, "S");
    }

    // Every vertex of the first cell on the root (index 0), of the second on the tip (1).
    static void add_skin(model::Model& record)
    {
        const model::FloatArray& positions = record.get_array("Positions");
        const size_t vertices = positions.size() / 3;
        model::FloatArray weights(vertices, 1.0f);
        model::IntArray first(vertices, 0);
        for (size_t v = 0; v < vertices; ++v)
            first[v] = positions[v * 3] > 1.0f || (positions[v * 3] == 1.0f && v % 6 != 1 && v % 6 != 4) ? 1 : 0;
        record.set_array("Weights0", weights);
        record.set_array("Weights1", model::FloatArray(vertices, 0.0f));
        record.set_array("Weights2", model::FloatArray(vertices, 0.0f));
        record.set_int_array("Indices0", first);
        for (const char* name : {"Indices1", "Indices2", "Indices3"})
            record.set_int_array(name, model::IntArray(vertices, 0));
    }

    // The skinned mesh's buffer of the skeleton made last (its shadow's comes after it).
    MeshBuffer& skin_buffer() const { return *hardware.meshes[hardware.meshes.size() - 2]; }

    std::unique_ptr<Node> scene_;
};

TEST_F(Skeletons, JointWithFullWeightCarriesItsVertices)
{
    ModelSkeleton* skeleton = load_skeleton();
    ASSERT_NE(skeleton, nullptr);
    EXPECT_EQ(skeleton->get_joint_count(), 1u);
    ASSERT_EQ(skeleton->get_joints().size(), 2u);
    add_skin(*skeleton->get_source());
    auto* tip = dynamic_cast<Joint*>(skeleton->find_object("Tip", true));
    ASSERT_NE(tip, nullptr);
    // A quarter turn about z at the tip: the second unit now points up.
    tip->set_rotation(Vector3{0.0f, 0.0f, float(M_PI / 2)});
    render(*scene_);
    ASSERT_EQ(list.records.size(), 2u);
    EXPECT_EQ(list.records[1].first_primitive, 6u);
    const MeshBuffer& buffer = skin_buffer();
    const model::FloatArray& rest = skeleton->get_source()->get_array("Positions");
    ASSERT_EQ(buffer.positions.size(), rest.size());
    for (size_t v = 0; v * 3 < rest.size(); ++v) {
        const float x = rest[v * 3], y = rest[v * 3 + 1];
        const bool on_tip = skeleton->get_source()->get_int_array("Indices0")[v] == 1;
        // Rotated about (1, 0): (x, y) -> (1 - y, x - 1).
        const float ex = on_tip ? 1.0f - y : x;
        const float ey = on_tip ? x - 1.0f : y;
        EXPECT_NEAR(buffer.positions[v * 3], ex, 1e-5) << v;
        EXPECT_NEAR(buffer.positions[v * 3 + 1], ey, 1e-5) << v;
    }
    // The shadow, the same file, is skinned alike into its own buffer.
    ASSERT_EQ(list.secondary_records.size(), 1u);
    EXPECT_EQ(list.secondary_records[0].primitive_count, 4u);
    EXPECT_EQ(hardware.meshes.back()->positions, buffer.positions);
    // The counts and timings are logged on the first frame only.
    render(*scene_);
    EXPECT_EQ(log_.count("Primitive Count for Normal: 2\n"), 2u);
    EXPECT_EQ(log_.count("Skeleton: calc positions "), 1u);
    EXPECT_EQ(log_.count("drawn unskinned"), 0u);
}

TEST_F(Skeletons, WithoutSkinArraysOrWithABadJointIndexTheModelIsDrawnAsItIs)
{
    const struct {
        bool skin;
        const char* tip_index;
    } cases[] = {{false, "1"}, {true, "0"}};
    for (const auto& c : cases) {
        ModelSkeleton* skeleton = load_skeleton(c.tip_index);
        ASSERT_NE(skeleton, nullptr);
        if (c.skin)
            add_skin(*skeleton->get_source());
        auto* tip = dynamic_cast<Joint*>(skeleton->find_object("Tip", true));
        ASSERT_NE(tip, nullptr);
        tip->set_rotation(Vector3{0.0f, 0.0f, 1.0f});
        render(*scene_);
        render(*scene_);
        EXPECT_EQ(list.records.size(), 2u);
        EXPECT_EQ(skin_buffer().positions, skeleton->get_source()->get_array("Positions"));
        EXPECT_EQ(log_.count("drawn unskinned"), 1u) << log_.text();
        log_.take();
        scene_.reset();
    }
}

TEST_F(Skeletons, CloneIsASkeletonWithItsJoints)
{
    ModelSkeleton* skeleton = load_skeleton();
    ASSERT_NE(skeleton, nullptr);
    add_skin(*skeleton->get_source());
    std::unique_ptr<Node> copy(skeleton->clone());
    auto* clone = dynamic_cast<ModelSkeleton*>(copy.get());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->get_type_name(), "ModelSkeleton");
    EXPECT_EQ(clone->get_source(), skeleton->get_source());
    EXPECT_EQ(clone->get_joint_count(), 1u);
    ASSERT_EQ(clone->get_joints().size(), 2u);
    auto* tip = dynamic_cast<Joint*>(clone->find_object("Tip", true));
    ASSERT_NE(tip, nullptr);
    EXPECT_NE(tip, skeleton->find_object("Tip", true));
    EXPECT_EQ(tip->get_parent(), &clone->get_root_joint());
    // Posed alike, the copy skins alike.
    tip->set_rotation(Vector3{0.0f, 0.0f, 0.5f});
    static_cast<Joint*>(skeleton->find_object("Tip", true))->set_rotation(Vector3{0.0f, 0.0f, 0.5f});
    clone->set_cached_global_matrix(vadu::math::Matrix4::identity());
    render(*scene_);
    const model::FloatArray original = hardware.meshes[hardware.meshes.size() - 4]->positions;
    list.clear();
    clone->render_to_list(hardware, list);
    EXPECT_EQ(list.records.size(), 2u);
    EXPECT_EQ(skin_buffer().positions, original);
}

} // namespace
} // namespace model_test
