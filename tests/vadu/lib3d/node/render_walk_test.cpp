#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "scene_test_support.h"
#include "vadu/xml_reader.h"

namespace {

using namespace scene_test;

Vector3 translation(const Matrix4& m)
{
    return Vector3{m[3], m[7], m[11]};
}

// A loaded scene under a LoadingRoot; the recorders note the walk and add a record each.
class RenderWalkTest : public SceneTest {
protected:
    RenderWalkTest()
    {
        write("walk.scene", R"(<Scene Name="World">
  <Recorder Name="A" Position="10 0 0" Scale="2 2 2">
    <Recorder Name="A1" Position="1 0 0"/>
    <Recorder Name="A2" Position="0 1 0" Rotation="0 0 1.5707964">
      <Recorder Name="A2a" Position="1 0 0"/>
    </Recorder>
  </Recorder>
  <Node Name="Plain" Position="0 0 5">
    <Recorder Name="B" Position="0 0 1"/>
  </Node>
</Scene>)");
        root = std::make_unique<LoadingRoot>("Root");
        world = load("walk.scene", "World", root.get()).release();
    }

    void walk()
    {
        journal.clear();
        list.clear();
        root->render_to_list(hardware, list);
    }

    Node& node(const char* name) { return *root->find_child(name, true); }

    std::unique_ptr<LoadingRoot> root;
    Node* world = nullptr;
    render_fakes::FakeHardware hardware;
    vadu::lib3d::hard::RenderList list;
};

TEST_F(RenderWalkTest, WalkOfALoadedSceneFillsTheRenderList)
{
    walk();
    EXPECT_EQ(journal, (std::vector<std::string>{"A", "A1", "A2", "A2a", "B"}));
    ASSERT_EQ(list.records.size(), 5u);
    const Vector3 expected[] = {{10, 0, 0}, {12, 0, 0}, {10, 2, 0}, {10, 4, 0}, {0, 0, 6}};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_TRUE(vectors_near(translation(list.records[i].world), expected[i])) << journal[i];
    // The records carry the whole matrix: A2a is A's scale and A2's quarter turn.
    EXPECT_TRUE(matrices_near(list.records[3].world, compose({10, 4, 0}, {0, 0, 1.5707964f}, {2, 2, 2})));
    for (const char* name : {"World", "A", "A2a", "Plain", "B"})
        EXPECT_TRUE(matrices_near(node(name).get_cached_global_matrix(), node(name).get_global_matrix(true))) << name;
    EXPECT_TRUE(matrices_near(root->get_cached_global_matrix(), Matrix4::identity(), 0));
    EXPECT_FALSE(node("A2a").is_global_changed());
}

TEST_F(RenderWalkTest, RootPlacesItsChildrenInWorldSpaceWhateverItsOwnTransform)
{
    root->set_position({100, 100, 100});
    walk();
    ASSERT_EQ(list.records.size(), 5u);
    EXPECT_TRUE(vectors_near(translation(list.records[0].world), {10, 0, 0}));
}

TEST_F(RenderWalkTest, HiddenSubtreeIsNeitherDrawnNorUpdated)
{
    walk();
    const Matrix4 a2a_before = node("A2a").get_cached_global_matrix();
    node("A2").change_attribute(Atom("Visibility"), 0.0);
    node("A").set_position({20, 0, 0});
    walk();
    EXPECT_EQ(journal, (std::vector<std::string>{"A", "A1", "B"}));
    EXPECT_TRUE(vectors_near(translation(list.records[0].world), {20, 0, 0}));
    EXPECT_TRUE(matrices_near(node("A2a").get_cached_global_matrix(), a2a_before, 0));

    node("A2").change_attribute(Atom("Visibility"), 1.0);
    walk();
    EXPECT_EQ(journal, (std::vector<std::string>{"A", "A1", "A2", "A2a", "B"}));
    EXPECT_TRUE(vectors_near(translation(list.records[3].world), {20, 4, 0}));
}

TEST_F(RenderWalkTest, OnlyChangedBranchesAreRecomputed)
{
    walk();
    // Cached matrices that nothing marked changed are trusted as they are.
    Matrix4 marker = Matrix4::identity();
    marker[3] = -77;
    node("A1").set_cached_global_matrix(marker);
    node("B").set_position({0, 0, 2});
    walk();
    EXPECT_TRUE(vectors_near(translation(list.records[1].world), {-77, 0, 0}));
    EXPECT_TRUE(vectors_near(translation(list.records[4].world), {0, 0, 7}));

    // A change of the parent reaches every child below it.
    node("A").set_scale({1, 1, 1});
    walk();
    EXPECT_TRUE(vectors_near(translation(list.records[1].world), {11, 0, 0}));
    EXPECT_TRUE(vectors_near(translation(list.records[3].world), {10, 2, 0}));
}

TEST_F(RenderWalkTest, AbsoluteChildIgnoresItsParent)
{
    node("A1").set_absolute(true);
    walk();
    EXPECT_TRUE(vectors_near(translation(list.records[1].world), {1, 0, 0}));
    EXPECT_TRUE(matrices_near(node("A1").get_global_matrix(true), node("A1").get_cached_global_matrix()));
}

// The application reads its loading scene straight into its root.
TEST_F(RenderWalkTest, SceneParsedIntoALoadingRootIsPlacedFromTheIdentity)
{
    LoadingRoot loading("LoadingRoot");
    auto stream = vadu::filesystem::open(path("walk.scene"));
    ASSERT_NE(stream, nullptr);
    vadu::xml::StreamResource resource(stream.get(), path("walk.scene"));
    vadu::xml::Root scene(loading, "Scene");
    ASSERT_TRUE(resource.load(scene));
    EXPECT_EQ(name_of(loading), "World");
    EXPECT_EQ(loading.get_child_count(), 2u);
    EXPECT_EQ(loading.find_child("A2a", true)->get_root(), &loading);

    journal.clear();
    list.clear();
    loading.render_to_list(hardware, list);
    ASSERT_EQ(list.records.size(), 5u);
    EXPECT_TRUE(vectors_near(translation(list.records[3].world), {10, 4, 0}));
}

} // namespace
