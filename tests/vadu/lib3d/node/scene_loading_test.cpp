#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scene_test_support.h"
#include "vadu/animate/primitive_animation.h"
#include "vadu/exception.h"

namespace {

using namespace scene_test;
using vadu::lib3d::node::create_node;
using vadu::lib3d::node::create_node_of_type;
using vadu::lib3d::node::register_node_type;
using vadu::lib3d::node::unregister_node_type;

std::vector<std::string> child_names(const Node& node)
{
    std::vector<std::string> names;
    for (const Node* child : node.get_children())
        names.push_back(name_of(*child));
    return names;
}

Node* make_recorder_for_any_type(Node* parent, const Atom& name)
{
    return new RecordingNode(name, parent);
}

using RegistryTest = SceneTest;

TEST_F(RegistryTest, CreateNodeBuildsOnlyRegisteredTypes)
{
    Node parent("Parent", nullptr);
    Node* recorder = create_node(&parent, "Recorder", "R");
    ASSERT_NE(recorder, nullptr);
    EXPECT_EQ(recorder->get_type_name(), Atom("Recorder"));
    EXPECT_EQ(recorder->get_parent(), &parent);
    EXPECT_EQ(name_of(*recorder), "R");

    EXPECT_EQ(create_node(&parent, "Sprite", "S"), nullptr);
    EXPECT_EQ(child_names(parent), (std::vector<std::string>{"R"}));

    std::unique_ptr<Node> loose(create_node(nullptr, "Node", "Loose"));
    ASSERT_NE(loose, nullptr);
    EXPECT_EQ(loose->get_parent(), nullptr);
    EXPECT_EQ(loose->get_type_name(), Atom("Node"));
}

TEST_F(RegistryTest, RegisteringAgainReplacesTheCreator)
{
    register_node_type("Node", &make_recorder_for_any_type);
    std::unique_ptr<Node> node(create_node(nullptr, "Node", "N"));
    EXPECT_EQ(node->get_type_name(), Atom("Recorder"));
    register_node_type("Node", &create_node_of_type<Node>);
    node.reset(create_node(nullptr, "Node", "N"));
    EXPECT_EQ(node->get_type_name(), Atom("Node"));
    EXPECT_THROW(register_node_type("Null", nullptr), vadu::Gluck);
    EXPECT_EQ(create_node(nullptr, "Null", "N"), nullptr);
}

TEST_F(RegistryTest, RegistryGoesWithItsLastType)
{
    unregister_node_type("Recorder");
    EXPECT_EQ(create_node(nullptr, "Recorder", "R"), nullptr);
    std::unique_ptr<Node> node(create_node(nullptr, "Node", "N"));
    EXPECT_NE(node, nullptr);
    unregister_node_type("Node");
    EXPECT_EQ(create_node(nullptr, "Node", "N"), nullptr);
    unregister_node_type("Node");  // nothing left: harmless
    EXPECT_THROW(load("missing.scene"), vadu::GluckBadResource);

    register_node_type("Recorder", &create_node_of_type<RecordingNode>);
    node.reset(create_node(nullptr, "Recorder", "R"));
    EXPECT_NE(node, nullptr);
}

TEST_F(RegistryTest, EngineTypeTableBuildsItsTypes)
{
    const auto types = vadu::lib3d::node::get_engine_node_types();
    ASSERT_FALSE(types.empty());
    for (const auto& entry : types) {
        std::unique_ptr<Node> node(entry.creator(nullptr, "Made"));
        ASSERT_NE(node, nullptr) << entry.type_name;
        // The emitter is registered under its element name, "ParticlesEmitter".
        EXPECT_TRUE(node->get_type_name() == Atom(entry.type_name) || node->get_element_name() == Atom(entry.type_name))
            << entry.type_name;
        EXPECT_EQ(name_of(*node), "Made");
    }
}

class SceneLoadingTest : public SceneTest {
protected:
    SceneLoadingTest()
    {
        write("move.anim", R"(<Animation>
  <MathVector3f>
    <PrimitiveAnimation Target="" Param="Position">
      <Envelope><Keys><Key Time="0" Value="0 0 0" Linear="1 0 0"/><Key Time="2" Value="2 0 0"/></Keys></Envelope>
    </PrimitiveAnimation>
  </MathVector3f>
</Animation>)");
        write("long.anim", R"(<Animation>
  <double>
    <PrimitiveAnimation Target="" Param="Visibility">
      <Envelope><Keys><Key Time="0" Value="1"/><Key Time="10" Value="1"/></Keys></Envelope>
    </PrimitiveAnimation>
  </double>
</Animation>)");
    }
};

TEST_F(SceneLoadingTest, RootElementIsTheNodeOrItsOnlyChild)
{
    write("named.scene", R"(<Scene Name="FromFile" Position="1 2 3"><Node Name="Inner"/></Scene>)");
    write("single.scene", R"(<Recorder Name="Only" Tag="blue"/>)");
    write("unnamed.scene", R"(<Scene/>)");

    Node parent("Parent", nullptr);
    std::unique_ptr<Node> named = load("named.scene", "Given", &parent);
    EXPECT_EQ(name_of(*named), "FromFile");
    EXPECT_EQ(named->get_parent(), &parent);
    EXPECT_EQ(named->get_type_name(), Atom("Node"));
    EXPECT_TRUE(vectors_near(named->get_position(), {1, 2, 3}, 0));
    EXPECT_EQ(child_names(*named), (std::vector<std::string>{"Inner"}));

    std::unique_ptr<Node> single = load("single.scene", "Holder");
    EXPECT_EQ(name_of(*single), "Holder");
    ASSERT_EQ(single->get_child_count(), 1u);
    const Node* only = single->get_children().front();
    EXPECT_EQ(only->get_type_name(), Atom("Recorder"));
    EXPECT_EQ(name_of(*only), "Only");
    EXPECT_EQ(static_cast<const RecordingNode*>(only)->tag, "blue");

    std::unique_ptr<Node> unnamed = load("unnamed.scene", "Kept");
    EXPECT_EQ(name_of(*unnamed), "Kept");
    EXPECT_EQ(unnamed->get_child_count(), 0u);
}

TEST_F(SceneLoadingTest, FailedLoadRaisesAndLeavesTheParentAsItWas)
{
    struct Case {
        const char* label;
        std::optional<std::string> document;  // none: the file is missing
    };
    const Case cases[] = {
        {"missing file", std::nullopt},
        {"unknown root", R"(<Level Name="X"/>)"},
        {"not well-formed", R"(<Scene><Node></Scene>)"},
        {"unknown attribute", R"(<Scene Colour="red"/>)"},
        {"unknown child type", R"(<Scene><Node Name="ok"/><Sprite Name="S"/></Scene>)"},
        {"two numbers for three", R"(<Scene><Node Position="1 2"/></Scene>)"},
        {"no number", R"(<Scene Scale="a b c"/>)"},
        {"bad visibility word", R"(<Scene Visibility="yes"/>)"},
        {"bad looped word", R"(<Scene AnimationLooped="sometimes"/>)"},
        {"bad opacity", R"(<Scene Opacity="half"/>)"},
        {"missing children file", R"(<Scene><Node Children="nowhere.scene"/></Scene>)"},
        {"children file without Scene root", R"(<Scene Children="single.scene"/>)"},
        {"missing animation file", R"(<Scene Animation="nowhere.anim"/>)"},
        {"animation file with another root", R"(<Scene Animation="single.scene"/>)"},
        {"empty file", ""},
    };
    write("single.scene", R"(<Recorder Name="Only"/>)");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove(temp_.root() / "case.scene");
        if (c.document)
            write("case.scene", *c.document);
        Node parent("Parent", nullptr);
        new Node("Existing", &parent);
        try {
            load("case.scene", "New", &parent);
            ADD_FAILURE() << "loaded";
        } catch (const vadu::GluckBadResource& error) {
            EXPECT_EQ(to_std(error.get_description()), "error parsing resource");
            EXPECT_EQ(to_std(error.get_function()), "vadu::lib3d::node::create_from_resource");
            EXPECT_EQ(to_std(error.get_resource().get_text()), "case.scene");
        }
        EXPECT_EQ(child_names(parent), (std::vector<std::string>{"Existing"}));
    }
}

TEST_F(SceneLoadingTest, AttributesOfEveryLayerAreRead)
{
    write("full.scene", R"(<Scene Name="World" Visibility="false" Target="Cam" TopVector="0 1 0"
        AnimationLooped="False" Position="1 2.5 -3" Rotation=" 0  0 0.5" Scale="2,2,2">
      <Recorder Name="R" Tag="t"><Node Name="Leaf"/></Recorder>
      <Node/>
    </Scene>)");
    std::unique_ptr<Node> node = load("full.scene");
    EXPECT_EQ(name_of(*node), "World");
    EXPECT_FALSE(node->is_visible());
    EXPECT_EQ(to_std(node->get_target_name()), "Cam");
    EXPECT_TRUE(vectors_near(node->get_top_vector(), {0, 1, 0}, 0));
    EXPECT_FALSE(node->is_animation_looped());
    EXPECT_TRUE(vectors_near(node->get_position(), {1, 2.5f, -3}, 0));
    EXPECT_TRUE(vectors_near(node->get_rotation(), {0, 0, 0.5f}, 0));
    EXPECT_TRUE(vectors_near(node->get_scale(), {2, 2, 2}, 0));
    EXPECT_TRUE(matrices_near(node->get_local_matrix(), compose({1, 2.5f, -3}, {0, 0, 0.5f}, {2, 2, 2})));
    EXPECT_EQ(child_names(*node), (std::vector<std::string>{"R", ""}));
    const auto* recorder = static_cast<const RecordingNode*>(node->get_children().front());
    EXPECT_EQ(recorder->tag, "t");
    EXPECT_EQ(child_names(*recorder), (std::vector<std::string>{"Leaf"}));
}

TEST_F(SceneLoadingTest, OpacityInAFileSwitchesVisibilityAtOneHalf)
{
    struct Case {
        const char* opacity;
        bool visible;
    };
    const Case cases[] = {{"0", false}, {"0.5", false}, {"0.51", true}, {"1", true}, {"-2", false}};
    for (const Case& c : cases) {
        write("opacity.scene", std::string("<Scene Opacity=\"") + c.opacity + "\"/>");
        EXPECT_EQ(load("opacity.scene")->is_visible(), c.visible) << c.opacity;
    }
}

TEST_F(SceneLoadingTest, NestedSceneElementAppliesToItsOwnNode)
{
    write("nested.scene", R"(<Scene Name="Top">
  <Recorder Name="R">
    <Node Name="First"/>
    <Scene Position="0 0 9"><Node Name="Second"/></Scene>
  </Recorder>
  <Scene Scale="3 3 3"><Node Name="Late"/></Scene>
</Scene>)");
    std::unique_ptr<Node> top = load("nested.scene");
    EXPECT_EQ(child_names(*top), (std::vector<std::string>{"R", "Late"}));
    EXPECT_TRUE(vectors_near(top->get_scale(), {3, 3, 3}, 0));
    Node* recorder = top->find_child("R", false);
    EXPECT_EQ(child_names(*recorder), (std::vector<std::string>{"First", "Second"}));
    EXPECT_TRUE(vectors_near(recorder->get_position(), {0, 0, 9}, 0));
}

TEST_F(SceneLoadingTest, ChildrenComeFromTheirOwnSceneFile)
{
    write("parts/arm.scene", R"(<Scene Position="0 1 0"><Node Name="Hand"/><Node Name="Thumb"/></Scene>)");
    write("body.scene", R"(<Scene Name="Body"><Node Name="Arm" Children="Parts/Arm.scene"><Node Name="Extra"/></Node></Scene>)");
    std::unique_ptr<Node> body = load("body.scene");
    Node* arm = body->find_child("Arm", false);
    ASSERT_NE(arm, nullptr);
    EXPECT_EQ(child_names(*arm), (std::vector<std::string>{"Hand", "Thumb", "Extra"}));
    EXPECT_TRUE(vectors_near(arm->get_position(), {0, 1, 0}, 0));
    EXPECT_EQ(to_std(arm->get_children_path()), "Parts/Arm.scene");
    // The children belong to the file: only the reference is written.
    EXPECT_EQ(save(*body), "<?xml version=\"1.0\"?>\n\n"
                           "<Scene Name=\"Body\">\n"
                           "\t<Node Children=\"Parts/Arm.scene\" Name=\"Arm\" Position=\"0 1 0\"/>\n"
                           "</Scene>\n");
}

TEST_F(SceneLoadingTest, SceneThatIncludesItselfFailsInsteadOfRecursing)
{
    write("loop.scene", R"(<Scene><Node Name="Again" Children="loop2.scene"/></Scene>)");
    write("loop2.scene", R"(<Scene><Node Children="LOOP.scene"/></Scene>)");
    EXPECT_THROW(load("loop.scene"), vadu::GluckBadResource);
    EXPECT_NE(log_.text().find("includes itself"), std::string::npos) << log_.text();

    // The same file twice side by side is no loop.
    write("leaf.scene", R"(<Scene><Node Name="Leaf"/></Scene>)");
    write("twice.scene", R"(<Scene><Node Children="leaf.scene"/><Node Children="leaf.scene"/></Scene>)");
    EXPECT_EQ(load("twice.scene")->find_child("Leaf", true)->get_name(), Atom("Leaf"));
}

TEST_F(SceneLoadingTest, SavingWritesOnlyWhatDiffersFromTheDefaults)
{
    Node plain("Plain", nullptr);
    EXPECT_EQ(save(plain), "<?xml version=\"1.0\"?>\n\n<Scene Name=\"Plain\"/>\n");
    plain.set_visible(false);
    EXPECT_EQ(save(plain), "<?xml version=\"1.0\"?>\n\n<Scene Visibility=\"false\" Name=\"Plain\"/>\n");

    // Opacity, Animation and AnimationLooped are never written.
    write("full.scene", R"(<Scene Name="World" Opacity="0.9" Animation="move.anim" AnimationLooped="false"
        Target="Cam" TopVector="0 1 0" Position="1 2.5 -3" Rotation="0 0 0.5" Scale="2 2 2">
      <Recorder Name="R" Tag="t"><Node Name="Leaf" Position="0 0 0" Scale="1 1 1"/></Recorder>
      <Node/>
    </Scene>)");
    const std::string expected = "<?xml version=\"1.0\"?>\n\n"
                                 "<Scene Target=\"Cam\" TopVector=\"0 1 0\" Name=\"World\" "
                                 "Rotation=\"0 0 0.5\" Scale=\"2 2 2\">\n"
                                 "\t<Recorder Name=\"R\" Tag=\"t\">\n"
                                 "\t\t<Node Name=\"Leaf\"/>\n"
                                 "\t</Recorder>\n"
                                 "\t<Node Name=\"\"/>\n"
                                 "</Scene>\n";
    std::unique_ptr<Node> world = load("full.scene");
    // The bound animation put the position back to 0 0 0, so it is not written.
    EXPECT_EQ(save(*world), expected);
    write("again.scene", save(*world));
    EXPECT_EQ(save(*load("again.scene")), expected);
}

TEST_F(SceneLoadingTest, AnimationDrivesItsNodeWhileVisible)
{
    struct Case {
        const char* looped;
        std::vector<double> steps;
        float x;
    };
    const Case cases[] = {
        {"true", {0.5}, 0.5f},
        {"true", {0.5, 2.0}, 0.5f},      // 2.5 wraps to 0.5
        {"true", {1.5, 1.5, 1.5}, 0.5f},  // 4.5 wraps twice
        {"false", {0.5}, 0.5f},
        {"false", {0.5, 5.0}, 2.0f},  // held at the end
        {"false", {1.0, -3.0}, 0.0f}, // held at the start
    };
    for (const Case& c : cases) {
        write("animated.scene",
              std::string(R"(<Scene Animation="move.anim" Position="7 7 7" AnimationLooped=")") + c.looped + "\"/>");
        std::unique_ptr<Node> node = load("animated.scene");
        ASSERT_NE(node->get_animation(), nullptr);
        EXPECT_TRUE(node->get_animation()->is_bound());
        // Binding rewinds to 0, which places the node.
        EXPECT_TRUE(vectors_near(node->get_position(), {0, 0, 0}));
        for (const double dt : c.steps)
            vadu::animate::Soul::update_all(dt);
        EXPECT_TRUE(vectors_near(node->get_position(), {c.x, 0, 0})) << c.looped << " after " << c.steps.size();
    }
}

TEST_F(SceneLoadingTest, HiddenNodesAnimationStandsStill)
{
    write("hidden.scene", R"(<Scene Animation="move.anim" Visibility="false"/>)");
    std::unique_ptr<Node> node = load("hidden.scene");
    vadu::animate::Soul::update_all(0.5);
    EXPECT_EQ(node->get_animation()->get_time(), 0.0);
    node->set_visible(true);
    vadu::animate::Soul::update_all(0.5);
    EXPECT_EQ(node->get_animation()->get_time(), 0.5);
}

TEST_F(SceneLoadingTest, SecondAnimationReplacesTheFirst)
{
    write("two.scene", R"(<Scene Animation="move.anim"><Scene Animation="long.anim"/></Scene>)");
    std::unique_ptr<Node> node = load("two.scene");
    ASSERT_NE(node->get_animation(), nullptr);
    EXPECT_EQ(node->get_animation()->get_length(), 10.0);
    EXPECT_EQ(node->get_animation()->get_number_tracks().size(), 1u);
    EXPECT_TRUE(node->get_animation()->get_vector_tracks().empty());
}

TEST_F(SceneLoadingTest, CloneGetsACopyOfTheAnimationBoundToTheCopy)
{
    write("arm.anim", R"(<Animation>
  <MathVector3f>
    <PrimitiveAnimation Target="Hand" Param="Position">
      <Envelope><Keys><Key Time="0" Value="0 0 0" Linear="1 0 0"/><Key Time="2" Value="2 0 0"/></Keys></Envelope>
    </PrimitiveAnimation>
  </MathVector3f>
</Animation>)");
    write("arm.scene", R"(<Scene Name="Arm" Animation="arm.anim"><Node Name="Hand"/></Scene>)");
    std::unique_ptr<Node> source = load("arm.scene");
    Node* source_hand = source->find_child("Hand", false);
    vadu::animate::Soul::update_all(0.5);
    EXPECT_TRUE(vectors_near(source_hand->get_position(), {0.5f, 0, 0}));

    std::unique_ptr<Node> copy(source->clone());
    Node* copy_hand = copy->find_child("Hand", false);
    ASSERT_NE(copy->get_animation(), nullptr);
    EXPECT_NE(copy->get_animation(), source->get_animation());
    EXPECT_TRUE(vectors_near(copy_hand->get_position(), {0, 0, 0}));
    EXPECT_TRUE(vectors_near(source_hand->get_position(), {0.5f, 0, 0}));

    vadu::animate::Soul::update_all(0.25);
    EXPECT_TRUE(vectors_near(source_hand->get_position(), {0.75f, 0, 0}));
    EXPECT_TRUE(vectors_near(copy_hand->get_position(), {0.25f, 0, 0}));
    source.reset();
    vadu::animate::Soul::update_all(0.25);
    EXPECT_TRUE(vectors_near(copy_hand->get_position(), {0.5f, 0, 0}));
}

TEST_F(SceneLoadingTest, FailuresAreNamedInTheLog)
{
    write("broken.scene", R"(<Scene><Node></Scene>)");
    write("refused.scene", R"(<Scene><Node Children="absent.scene"/></Scene>)");
    EXPECT_THROW(load("broken.scene"), vadu::GluckBadResource);
    EXPECT_THROW(load("refused.scene"), vadu::GluckBadResource);
    const std::string log = log_.text();
    EXPECT_NE(log.find("Failed to load \"broken.scene\""), std::string::npos) << log;
    EXPECT_NE(log.find("\"absent.scene\" not found"), std::string::npos) << log;
    EXPECT_NE(log.find("refused attribute \"Children\" (line 1) in refused.scene\n"), std::string::npos) << log;
}

} // namespace
