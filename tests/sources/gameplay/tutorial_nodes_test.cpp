// The spotlight and the hint bubble node types, read from small scene files with the
// bubble skin of tutorial_test_support.h (corners 10 x 10, arrow 30 x 40). No font is
// given, so the text takes no room and the bubble is its padding and corners, or its
// minimum size.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sources/gameplay/tutorial.h"
#include "sources/gameplay/tutorial_nodes.h"
#include "tutorial_test_support.h"
#include "vadu/exception.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/node/sprite.h"

namespace gameplay_test {
namespace {

using gameplay::TutorialCircle;
using gameplay::TutorialNode;
using vadu::lib3d::node::Sprite;
using vadu::math::Vector3;

class TutorialNodesTest : public TutorialFixture {
protected:
    // The scene's first node, built from the element.
    Node* load(const std::string& element)
    {
        write("data/tutorials/test.scene", "<Scene>" + element + "</Scene>");
        scene.reset(vadu::lib3d::node::create_from_resource(vadu::Atom("Test"), nullptr,
                                                            vadu::filesystem::String("data/tutorials/test.scene", true)));
        return scene->get_children().front();
    }

    static Sprite* piece(Node& node, const char* name)
    {
        return dynamic_cast<Sprite*>(node.find_child(vadu::Atom(name), false));
    }

    std::unique_ptr<Node> scene;
};

void expect_at(Node* node, float x, float y, float z = 0.0f)
{
    ASSERT_NE(node, nullptr);
    const Vector3& at = node->get_position();
    EXPECT_FLOAT_EQ(at.x, x) << to_std(node->get_name().get_name());
    EXPECT_FLOAT_EQ(at.y, y) << to_std(node->get_name().get_name());
    EXPECT_FLOAT_EQ(at.z, z) << to_std(node->get_name().get_name());
}

// --- The spotlight -----------------------------------------------------------------------

TEST_F(TutorialNodesTest, TheSpotlightSurroundsItsCircleWithFourStrips)
{
    auto* spot = dynamic_cast<TutorialCircle*>(load(R"(<TutorialCircle Name="Spot" Width="200" Height="100"/>)"));
    ASSERT_NE(spot, nullptr);
    EXPECT_EQ(spot->get_type_name(), vadu::Atom("TutorialCircle"));
    ASSERT_EQ(spot->get_child_count(), 5u);
    std::vector<std::string> names;
    for (Node* child : spot->get_children())
        names.push_back(to_std(child->get_name().get_name()));
    EXPECT_EQ(names, (std::vector<std::string>{"Circle", "Left", "Right", "Right", "Right"}));

    EXPECT_TRUE(spot->circle->is_filter_texture());
    EXPECT_EQ(spot->circle->get_width(), 200);
    EXPECT_EQ(spot->circle->get_height(), 100);
    struct Strip {
        Sprite* sprite;
        float x, y, width, height, anchorX, anchorY;
    };
    const Strip strips[] = {
        {spot->left, -100.0f, 0.0f, 2000.0f, 100.0f, 1.0f, 0.5f},
        {spot->right, 100.0f, 0.0f, 2000.0f, 100.0f, 0.0f, 0.5f},
        {spot->top, 0.0f, 50.0f, 4000.0f, 2000.0f, 0.5f, 0.0f},
        {spot->bottom, 0.0f, -50.0f, 4000.0f, 2000.0f, 0.5f, 1.0f},
    };
    for (const Strip& strip : strips) {
        ASSERT_NE(strip.sprite, nullptr);
        expect_at(strip.sprite, strip.x, strip.y);
        EXPECT_EQ(strip.sprite->get_width(), strip.width);
        EXPECT_EQ(strip.sprite->get_height(), strip.height);
        EXPECT_EQ(strip.sprite->get_anchor().x, strip.anchorX);
        EXPECT_EQ(strip.sprite->get_anchor().y, strip.anchorY);
    }
    // The left strip's right edge and the top strip's lower edge touch the circle's box.
    const auto left = spot->left->get_global_rect();
    EXPECT_FLOAT_EQ(left[0] + left[2], -100.0f);
    EXPECT_FLOAT_EQ(spot->top->get_global_rect()[1], 50.0f);
}

TEST_F(TutorialNodesTest, WithoutASizeThePicturesKeepTheirsAndTheStripsTouchTheOrigin)
{
    auto* spot = dynamic_cast<TutorialCircle*>(load(R"(<TutorialCircle/>)"));
    ASSERT_NE(spot, nullptr);
    // No picture is loaded here, so a size that was not set reads 0.
    EXPECT_EQ(spot->circle->get_width(), 0);
    EXPECT_EQ(spot->circle->get_height(), 0);
    EXPECT_EQ(spot->left->get_width(), 2000);
    EXPECT_EQ(spot->left->get_height(), 0);
    for (Sprite* strip : {spot->left, spot->right, spot->top, spot->bottom})
        expect_at(strip, 0.0f, 0.0f);
}

TEST_F(TutorialNodesTest, ASpotlightWithItsOwnPiecesLaysOutThoseItHas)
{
    auto* spot = dynamic_cast<TutorialCircle*>(
        load(R"(<TutorialCircle Width="60" Height="40"><Sprite Name="Circle"/><Sprite Name="Left"/></TutorialCircle>)"));
    ASSERT_NE(spot, nullptr);
    EXPECT_EQ(spot->get_child_count(), 2u);
    EXPECT_EQ(spot->circle->get_width(), 60);
    expect_at(spot->left, -30.0f, 0.0f);
    EXPECT_EQ(spot->right, nullptr);
    EXPECT_EQ(spot->top, nullptr);
    EXPECT_EQ(spot->bottom, nullptr);
}

TEST_F(TutorialNodesTest, ASpotlightCloneStartsWithoutASizeAndFindsItsOwnPieces)
{
    auto* spot = dynamic_cast<TutorialCircle*>(load(R"(<TutorialCircle Width="200" Height="100"/>)"));
    ASSERT_NE(spot, nullptr);
    std::unique_ptr<Node> copy(spot->clone());
    auto* clone = dynamic_cast<TutorialCircle*>(copy.get());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->width, 0.0f);
    EXPECT_EQ(clone->height, 0.0f);
    EXPECT_EQ(clone->get_child_count(), 5u);
    for (Sprite* own : {clone->circle, clone->left, clone->right, clone->top, clone->bottom}) {
        ASSERT_NE(own, nullptr);
        EXPECT_EQ(own->get_parent(), clone);
    }
    EXPECT_NE(clone->top, clone->right);
    expect_at(clone->top, 0.0f, 50.0f);
    clone->width = 20.0f;
    clone->height = 10.0f;
    clone->Build();
    EXPECT_EQ(clone->get_child_count(), 5u);
    expect_at(clone->top, 0.0f, 5.0f);
    expect_at(spot->top, 0.0f, 50.0f);
}

// --- The bubble --------------------------------------------------------------------------

TEST_F(TutorialNodesTest, TheBubbleLaysItselfOutAroundItsTextAndArrow)
{
    struct Case {
        const char* name;
        const char* children;
        float width, height;
        float cornerX, cornerY;
        float textX, textY;
        bool arrow;
        float arrowScaleX, arrowScaleY;
    };
    const Case cases[] = {
        {"defaults", "", 40.0f, 40.0f, 0.0f, 0.0f, 20.0f, 20.0f, false, 0, 0},
        {"minimum size", R"(<MinimumSize Value="200 100"/>)", 200.0f, 100.0f, 0.0f, 0.0f, 20.0f, 20.0f, false, 0, 0},
        {"centred", R"(<MinimumSize Value="200 100"/><Alignment Value="0.5 0.5"/>)", 200.0f, 100.0f, -100.0f, -50.0f,
         -80.0f, -30.0f, false, 0, 0},
        {"padding", R"(<Padding Value="5 10 15 20"/>)", 40.0f, 50.0f, 0.0f, 0.0f, 15.0f, 20.0f, false, 0, 0},
        {"arrow", R"(<MinimumSize Value="200 100"/><Arrow Type="arrow"/>)", 200.0f, 100.0f, -70.0f, 30.0f, -50.0f,
         50.0f, true, -1.0f, 1.0f},
        {"arrow, alignment y 0.5", R"(<MinimumSize Value="200 100"/><Alignment Value="0 0.5"/><Arrow Type="arrow"/>)",
         200.0f, 100.0f, -70.0f, -80.0f, -50.0f, -60.0f, true, -1.0f, 1.0f},
        {"arrow, right and above", R"(<MinimumSize Value="200 100"/><Alignment Value="1 1"/><Arrow Type="arrow"/>)",
         200.0f, 100.0f, -200.0f + 180.0f - 90.0f - 20.0f, -100.0f - 30.0f, 0, 0, true, 1.0f, -1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* frame = gameplay::AsTutorialNode(load(std::string(R"(<TutorialNode Name="Frame" TextId="hint">)") + c.children +
                                           "</TutorialNode>"));
        ASSERT_NE(frame, nullptr);
        EXPECT_FLOAT_EQ(frame->GetWidth(), c.width);
        EXPECT_FLOAT_EQ(frame->GetHeight(), c.height);
        expect_at(frame->CornerLB(), c.cornerX, c.cornerY);
        expect_at(frame->cornerRT, c.cornerX + c.width - 10.0f, c.cornerY + c.height - 10.0f);
        expect_at(frame->fill, c.cornerX + 10.0f, c.cornerY + 10.0f);
        EXPECT_EQ(frame->fill->get_width(), c.width - 20.0f);
        EXPECT_EQ(frame->fill->get_height(), c.height - 20.0f);
        EXPECT_EQ(frame->sideL->get_height(), c.height - 20.0f);
        EXPECT_EQ(frame->sideB->get_width(), c.width - 20.0f);
        if (c.textX != 0.0f || c.textY != 0.0f)
            expect_at(frame->text, c.textX, c.textY, -0.1f);
        EXPECT_EQ(frame->text->get_params().max_width, 400 - frame->padLeft - frame->padRight - 20);
        EXPECT_EQ(frame->text->get_params().valignment, vadu::lib3d::node::BOTTOM_BLOCK);
        ASSERT_EQ(frame->arrowPiece != nullptr, c.arrow);
        if (c.arrow) {
            expect_at(frame->arrowPiece, 0.0f, 0.0f, -0.1f);
            EXPECT_EQ(frame->arrowPiece->get_scale(), (Vector3{c.arrowScaleX, c.arrowScaleY, 1.0f}));
            EXPECT_EQ(frame->arrowPiece->get_anchor().x, 1.0f);
            EXPECT_EQ(frame->arrowPiece->get_anchor().y, 0.0f);
            EXPECT_FALSE(frame->arrowPiece->is_filter_texture());
        }
    }
}

TEST_F(TutorialNodesTest, PaddingIsReadLeftBottomRightTop)
{
    auto* frame = gameplay::AsTutorialNode(load(R"(<TutorialNode><Padding Value="5 10 15 20"/></TutorialNode>)"));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->padLeft, 5);
    EXPECT_EQ(frame->padBottom, 10);
    EXPECT_EQ(frame->padRight, 15);
    EXPECT_EQ(frame->padTop, 20);
    EXPECT_EQ(frame->text->get_params().max_width, 400 - 5 - 15 - 20);
}

TEST_F(TutorialNodesTest, AContentAnchoredAtOneZeroSitsAFullWidthAlong)
{
    auto* frame = gameplay::AsTutorialNode(load(R"(<TutorialNode><MinimumSize Value="200 100"/><Alignment Value="0.5 0.5"/>
                                            <Content Anchor="1 0" Position="3 4 0"><Node Name="Inside"/></Content>
                                          </TutorialNode>)"));
    ASSERT_NE(frame, nullptr);
    ASSERT_NE(frame->content, nullptr);
    EXPECT_EQ(frame->content->get_name(), vadu::Atom("Content"));
    EXPECT_EQ(frame->content->get_type_name(), vadu::Atom("Node"));
    EXPECT_NE(frame->content->find_child(vadu::Atom("Inside"), false), nullptr);
    expect_at(frame->content, 3.0f - 100.0f + 200.0f, 4.0f - 50.0f);
    expect_at(frame->CornerLB(), -100.0f, -50.0f);
}

TEST_F(TutorialNodesTest, BadValuesFailTheScene)
{
    for (const char* children : {R"(<MinimumSize Value="12"/>)", R"(<Alignment Value="a b"/>)",
                                 R"(<Padding Value="1 2 3"/>)", R"(<MinimumSize Size="1 2"/>)"}) {
        SCOPED_TRACE(children);
        write("data/tutorials/bad.scene", std::string("<Scene><TutorialNode>") + children + "</TutorialNode></Scene>");
        EXPECT_THROW(vadu::lib3d::node::create_from_resource(vadu::Atom("Bad"), nullptr,
                                                             vadu::filesystem::String("data/tutorials/bad.scene", true)),
                     vadu::GluckBadResource);
    }
}

TEST_F(TutorialNodesTest, WithoutItsSkinTheBubbleHasNoCornersAndSaysSoOnce)
{
    write("data/tutorials/frame.atlas", "<Atlas><Frame");
    gameplay::TutorialFrameSkin::Reset();
    auto* frame = gameplay::AsTutorialNode(load(R"(<TutorialNode/><TutorialNode/>)"));
    ASSERT_NE(frame, nullptr);
    EXPECT_FLOAT_EQ(frame->GetWidth(), 20.0f);
    EXPECT_FLOAT_EQ(frame->GetHeight(), 20.0f);
    const std::string text = logged_.text();
    const size_t first = text.find("frame.atlas");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(text.find("frame.atlas", first + 1), std::string::npos);
}

TEST_F(TutorialNodesTest, TheSkinReadsFrameSizesByName)
{
    gameplay::TutorialFrameSkin& skin = gameplay::TutorialFrameSkin::Instance();
    EXPECT_FLOAT_EQ(skin.cornerWidth, 10.0f);
    EXPECT_FLOAT_EQ(skin.cornerHeight, 10.0f);
    EXPECT_EQ(skin.GetFrameSize("arrow").x, 30.0f);
    EXPECT_EQ(skin.GetFrameSize("arrow").y, 40.0f);
    EXPECT_EQ(skin.GetFrameSize("Arrow").x, 0.0f);
    EXPECT_EQ(skin.GetFrameSize("nothing").y, 0.0f);
}

TEST_F(TutorialNodesTest, ABubbleWithItsOwnPiecesOrACloneFindsThemByName)
{
    auto* own = gameplay::AsTutorialNode(load(R"(<TutorialNode><MinimumSize Value="50 30"/><Sprite Name="Fill"/>
                                          <Sprite Name="CornerLB"/></TutorialNode>)"));
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->get_child_count(), 2u);
    ASSERT_NE(own->CornerLB(), nullptr);
    EXPECT_EQ(own->text, nullptr);
    EXPECT_EQ(own->fill->get_width(), 30);

    auto* frame = gameplay::AsTutorialNode(load(R"(<TutorialNode Name="Frame"><MinimumSize Value="200 100"/><Arrow Type="arrow"/></TutorialNode>)"));
    ASSERT_NE(frame, nullptr);
    std::unique_ptr<Node> copy(frame->clone());
    auto* clone = gameplay::AsTutorialNode(copy.get());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->get_child_count(), frame->get_child_count());
    for (Node* own_piece : std::initializer_list<Node*>{clone->CornerLB(), clone->fill, clone->sideR, clone->text,
                                                        clone->arrowPiece}) {
        ASSERT_NE(own_piece, nullptr);
        EXPECT_EQ(own_piece->get_parent(), clone);
    }
    expect_at(clone->CornerLB(), -70.0f, 30.0f);
}

} // namespace
} // namespace gameplay_test
