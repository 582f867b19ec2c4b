#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "scene_test_support.h"
#include "vadu/exception.h"
#include "vadu/weak_ptr.h"

namespace node_test_file {

using namespace scene_test;

// Names the operation that a node's accept reached.
class NamingVisitor : public vadu::lib3d::node::NodeVisitor {
public:
    void visit_node(Node& node) override { seen = "Node " + name_of(node); }
    void visit_loading_root(LoadingRoot& root) override { seen = "LoadingRoot " + name_of(root); }
    void visit_camera(vadu::lib3d::node::Camera&) override { seen = "Camera"; }
    void visit_animation_2d(vadu::lib3d::node::Animation2D&) override { seen = "Animation2D"; }
    void visit_image(vadu::lib3d::node::Image&) override { seen = "Image"; }
    void visit_text(vadu::lib3d::node::Text&) override { seen = "Text"; }
    std::string seen;
};

std::vector<std::string> child_names(const Node& node)
{
    std::vector<std::string> names;
    for (const Node* child : node.get_children())
        names.push_back(name_of(*child));
    return names;
}

using NodeTest = SceneTest;

TEST_F(NodeTest, NewNodeHasTheDefaults)
{
    Node node("Plain", nullptr);
    EXPECT_TRUE(node.is_visible());
    EXPECT_TRUE(vectors_near(node.get_position(), {0, 0, 0}, 0));
    EXPECT_TRUE(vectors_near(node.get_rotation(), {0, 0, 0}, 0));
    EXPECT_TRUE(vectors_near(node.get_scale(), {1, 1, 1}, 0));
    EXPECT_TRUE(vectors_near(node.get_top_vector(), {0, 0, 1}, 0));
    EXPECT_TRUE(node.is_animation_looped());
    EXPECT_FALSE(node.is_absolute());
    EXPECT_EQ(node.get_element_name(), Atom("Node"));
    EXPECT_EQ(node.get_type_name(), Atom("Node"));
    EXPECT_EQ(node.get_parent(), nullptr);
    EXPECT_EQ(node.get_animation(), nullptr);
    EXPECT_TRUE(node.get_target_name().empty());
    EXPECT_TRUE(node.get_children_path().empty());
    EXPECT_TRUE(matrices_near(node.get_cached_global_matrix(), Matrix4{}, 0));
    EXPECT_FALSE(node.play_sequence("Walk"));
}

TEST_F(NodeTest, ParentOwnsItsChildrenInOrder)
{
    auto root = std::make_unique<Node>("Root", nullptr);
    Node* a = new Node("A", root.get());
    Node* b = new RecordingNode("B", root.get());
    new Node("C", root.get());
    Node* grandchild = new Node("A1", a);
    EXPECT_EQ(child_names(*root), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(grandchild->get_parent(), a);

    delete b;  // leaves its parent's list
    EXPECT_EQ(child_names(*root), (std::vector<std::string>{"A", "C"}));

    vadu::WeakPtr watch_a;
    vadu::WeakPtr watch_grandchild;
    watch_a.assign(a);
    watch_grandchild.assign(grandchild);
    root->delete_children();
    EXPECT_EQ(root->get_child_count(), 0u);
    EXPECT_EQ(watch_a.get(), nullptr);
    EXPECT_EQ(watch_grandchild.get(), nullptr);

    new Node("D", root.get());
    vadu::WeakPtr watch_d;
    watch_d.assign(root->find_child("D", false));
    root.reset();
    EXPECT_EQ(watch_d.get(), nullptr);
}

TEST_F(NodeTest, VisibilityAndOpacitySwitchAtOneHalf)
{
    struct Case {
        const char* attribute;
        double value;
        bool known;
        bool visible;
    };
    const Case cases[] = {
        {"Visibility", 0.0, true, false}, {"Visibility", 0.5, true, false}, {"Visibility", 0.51, true, true},
        {"Visibility", 1.0, true, true},  {"Opacity", 0.5, false, false},   {"Opacity", 0.51, false, true},
        {"Opacity", 0.2, false, false},   {"Opacity", 1.0, false, true},
    };
    for (const Case& c : cases) {
        Node node("N", nullptr);
        EXPECT_EQ(node.change_attribute(Atom(c.attribute), c.value), c.known) << c.attribute << " " << c.value;
        EXPECT_EQ(node.is_visible(), c.visible) << c.attribute << " " << c.value;
        double read = -1.0;
        EXPECT_TRUE(node.get_attribute(Atom("Visibility"), read));
        EXPECT_EQ(read, c.visible ? 1.0 : 0.0);
    }
    Node node("N", nullptr);
    double unknown = 7.0;
    EXPECT_FALSE(node.change_attribute(Atom("Transparency"), 0.0));
    EXPECT_FALSE(node.get_attribute(Atom("Opacity"), unknown));
    EXPECT_EQ(unknown, 7.0);
}

TEST_F(NodeTest, OnlyRealChangesMarkTheTransformChanged)
{
    auto root = std::make_unique<LoadingRoot>("Root");
    Node* node = new Node("N", root.get());
    render_fakes::FakeHardware hardware;
    vadu::lib3d::hard::RenderList list;

    struct Case {
        const char* what;
        void (*change)(Node&);
        bool marks;
    };
    const Case cases[] = {
        {"same position", [](Node& n) { n.change_attribute(Atom("Position"), Vector3{0, 0, 0}); }, false},
        {"position within epsilon", [](Node& n) { n.set_position({1e-8f, 0, 0}); }, false},
        {"new position", [](Node& n) { n.change_attribute(Atom("Position"), Vector3{1, 0, 0}); }, true},
        {"new rotation", [](Node& n) { n.change_attribute(Atom("Rotation"), Vector3{0, 0, 1}); }, true},
        {"same scale", [](Node& n) { n.change_attribute(Atom("Scale"), Vector3{1, 1, 1}); }, false},
        {"new scale", [](Node& n) { n.change_attribute(Atom("Scale"), Vector3{2, 2, 2}); }, true},
        {"already visible", [](Node& n) { n.change_attribute(Atom("Opacity"), 1.0); }, false},
        // Last: the walk skips a hidden node, so nothing clears its mark afterwards.
        {"hide", [](Node& n) { n.change_attribute(Atom("Visibility"), 0.0); }, true},
    };
    for (const Case& c : cases) {
        root->render_to_list(hardware, list);
        ASSERT_FALSE(node->is_global_changed()) << c.what;
        c.change(*node);
        EXPECT_EQ(node->is_global_changed(), c.marks) << c.what;
    }
    Vector3 value;
    EXPECT_TRUE(node->get_attribute(Atom("Scale"), value));
    EXPECT_TRUE(vectors_near(value, {2, 2, 2}, 0));
    EXPECT_TRUE(node->get_attribute(Atom("Rotation"), value));
    EXPECT_TRUE(vectors_near(value, {0, 0, 1}, 0));
    EXPECT_FALSE(node->change_attribute(Atom("TopVector"), Vector3{1, 0, 0}));
    EXPECT_FALSE(node->get_attribute(Atom("TopVector"), value));
}

// Root
//  +- A
//  |   +- Shared
//  |   +- A1
//  |       +- Deep
//  +- Shared
class SearchTest : public SceneTest {
protected:
    SearchTest()
    {
        root = std::make_unique<Node>("Root", nullptr);
        a = new Node("A", root.get());
        a_shared = new Node("Shared", a);
        a1 = new Node("A1", a);
        deep = new Node("Deep", a1);
        shared = new Node("Shared", root.get());
    }

    std::unique_ptr<Node> root;
    Node* a;
    Node* a_shared;
    Node* a1;
    Node* deep;
    Node* shared;
};

TEST_F(SearchTest, FindObjectAndFindChildWalkDepthFirst)
{
    struct Case {
        const char* name;
        bool recursive;
        Node* object;  // find_object
        Node* child;   // find_child
    };
    const Case cases[] = {
        {"#AnyNode#", false, root.get(), nullptr},
        {"Root", true, nullptr, root.get()},  // only find_child compares the node's own name
        {"A", false, a, a},
        {"Shared", false, shared, shared},    // not recursive: the root's own child
        {"Shared", true, a_shared, a_shared}, // recursive: A's subtree comes before the later sibling
        {"Deep", false, nullptr, nullptr},
        {"Deep", true, deep, deep},
        {"Missing", true, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(root->find_object(c.name, c.recursive), c.object) << c.name << " " << c.recursive;
        EXPECT_EQ(root->find_child(c.name, c.recursive), c.child) << c.name << " " << c.recursive;
    }
    EXPECT_EQ(a1->find_object("#AnyNode#", true), a1);
}

TEST_F(SearchTest, GetRootEndsAtARootTypeOrAnswersNull)
{
    EXPECT_EQ(deep->get_root(), nullptr);
    EXPECT_EQ(root->get_root(), nullptr);

    LoadingRoot top("Top");
    top.add_child(root.release(), true);
    EXPECT_EQ(deep->get_root(), &top);
    EXPECT_EQ(a->get_root(), &top);
    EXPECT_EQ(top.get_root(), &top);
    EXPECT_EQ(top.get_type_name(), Atom("LoadingRoot"));
    EXPECT_TRUE(top.get_cameras().empty());
}

TEST_F(SearchTest, AddChildRefusesToMakeACycle)
{
    EXPECT_THROW(deep->add_child(a, true), vadu::Gluck);
    EXPECT_THROW(a->add_child(a, false), vadu::Gluck);
    EXPECT_EQ(a->get_parent(), root.get());
    EXPECT_EQ(deep->get_parent(), a1);

    a->add_child(deep, true);  // moving down the tree is fine
    EXPECT_EQ(deep->get_parent(), a);
    EXPECT_EQ(child_names(*a), (std::vector<std::string>{"Shared", "A1", "Deep"}));
    EXPECT_EQ(a1->get_child_count(), 0u);
    a->add_child(deep, true);  // already there: the order stays
    EXPECT_EQ(child_names(*a), (std::vector<std::string>{"Shared", "A1", "Deep"}));
    a->add_child(nullptr, true);
    EXPECT_EQ(a->get_child_count(), 3u);
}

TEST_F(SearchTest, DetachedNodeBelongsToTheCaller)
{
    std::unique_ptr<Node> taken(a1);
    a1->detach(true);
    EXPECT_EQ(a1->get_parent(), nullptr);
    EXPECT_EQ(child_names(*a), (std::vector<std::string>{"Shared"}));
    EXPECT_EQ(root->find_child("Deep", true), nullptr);
    a1->detach(false);  // no parent: nothing happens
    EXPECT_EQ(a1->get_child_count(), 1u);
}

TEST_F(NodeTest, CloneCopiesTheSubtreeButNotTheLinks)
{
    auto root = std::make_unique<Node>("Root", nullptr);
    auto* source = new RecordingNode("Source", root.get());
    source->set_position({1, 2, 3});
    source->set_rotation({0.1f, 0.2f, 0.3f});
    source->set_scale({2, 2, 2});
    source->set_absolute(true);
    source->set_visible(false);
    source->set_top_vector({0, 1, 0});
    source->set_target_name("Somewhere");
    source->tag = "red";
    new Node("Child", source);
    new RecordingNode("Other", source);

    std::unique_ptr<Node> copy(source->clone());
    EXPECT_EQ(copy->get_parent(), nullptr);
    EXPECT_EQ(name_of(*copy), "Source");
    EXPECT_EQ(copy->get_type_name(), Atom("Recorder"));
    EXPECT_EQ(copy->get_element_name(), Atom("Recorder"));
    EXPECT_EQ(static_cast<RecordingNode&>(*copy).tag, "red");
    EXPECT_TRUE(vectors_near(copy->get_position(), {1, 2, 3}, 0));
    EXPECT_TRUE(vectors_near(copy->get_rotation(), {0.1f, 0.2f, 0.3f}, 0));
    EXPECT_TRUE(vectors_near(copy->get_scale(), {2, 2, 2}, 0));
    EXPECT_TRUE(copy->is_absolute());
    EXPECT_FALSE(copy->is_visible());
    EXPECT_TRUE(vectors_near(copy->get_top_vector(), {0, 1, 0}, 0));
    EXPECT_TRUE(copy->get_target_name().empty());
    EXPECT_EQ(child_names(*copy), (std::vector<std::string>{"Child", "Other"}));
    EXPECT_EQ(copy->get_children().back()->get_type_name(), Atom("Recorder"));
    EXPECT_EQ(copy->get_children().front()->get_parent(), copy.get());
    EXPECT_NE(copy->get_children().front(), source->get_children().front());
    EXPECT_EQ(child_names(*root), (std::vector<std::string>{"Source"}));
}

TEST_F(NodeTest, DuplicateStandsWhereTheOriginalStands)
{
    auto root = std::make_unique<LoadingRoot>("Root");
    auto* parent = new Node("Parent", root.get());
    parent->set_position({10, 0, 0});
    parent->set_rotation({0, 0, 1.5707964f});
    parent->set_scale({2, 2, 2});
    auto* original = new Node("Original", parent);
    original->set_position({1, 2, 0});
    new Node("Inner", original);

    Node* copy = original->duplicate();
    EXPECT_EQ(copy->get_parent(), parent);
    EXPECT_EQ(child_names(*parent), (std::vector<std::string>{"Original", "Original"}));
    EXPECT_EQ(child_names(*copy), (std::vector<std::string>{"Inner"}));
    EXPECT_TRUE(matrices_near(copy->get_global_matrix(true), original->get_global_matrix(true)));
    EXPECT_TRUE(vectors_near(copy->get_position(), {1, 2, 0}));

    std::unique_ptr<Node> loose(new Node("Loose", nullptr));
    std::unique_ptr<Node> loose_copy(loose->duplicate());
    EXPECT_EQ(loose_copy->get_parent(), nullptr);
}

TEST_F(NodeTest, AcceptCallsTheOperationOfTheClass)
{
    NamingVisitor visitor;
    Node node("Plain", nullptr);
    node.accept(visitor);
    EXPECT_EQ(visitor.seen, "Node Plain");
    RecordingNode recorder("Rec", nullptr);
    recorder.accept(visitor);
    EXPECT_EQ(visitor.seen, "Node Rec");
    LoadingRoot root("Top");
    root.accept(visitor);
    EXPECT_EQ(visitor.seen, "LoadingRoot Top");
}

TEST_F(NodeTest, TargetReferenceEmptiesWhenTheTargetGoes)
{
    Node node("Camera", nullptr);
    auto target = std::make_unique<Node>("Target", nullptr);
    node.set_target(target.get());
    EXPECT_EQ(node.get_target(), target.get());
    target.reset();
    EXPECT_EQ(node.get_target(), nullptr);
}

} // namespace
