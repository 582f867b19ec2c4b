#pragma once

// The scene-node types of tutorial hint scenes: "TutorialCircle", a spotlight that dims
// everything around a circle, and "TutorialNode", the hint's speech bubble: a nine-slice
// frame from "data/tutorials/frame.atlas" sized around a localized text, with an arrow
// from the bubble to the node's origin.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "vadu/atom.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/math.h"
#include "vadu/string.h"

namespace vadu::lib3d::node {
class Sprite;
class Text;
} // namespace vadu::lib3d::node

namespace gameplay {

// Registers "TutorialCircle" and "TutorialNode" with the node-type registry.
void RegisterTutorialNodes();
// Takes both out again (tests).
void UnregisterTutorialNodes();

class TutorialCircle : public vadu::lib3d::node::Node {
public:
    TutorialCircle(const vadu::Atom& name, vadu::lib3d::node::Node* parent);
    // The base node's copy: the size starts at 0 again and the pieces are found by name.
    TutorialCircle(const TutorialCircle& other);
    ~TutorialCircle() override;

    static const vadu::Atom& TypeName();
    vadu::Atom get_type_name() const override;
    vadu::lib3d::node::Node* clone() const override;

    using vadu::lib3d::node::Node::OnAttribute;
    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override;
    // Builds the pieces; the base node's animation binding does not run.
    bool OnEndNode(vadu::xml::Provider& provider) override;

    // Makes the pieces when there is no "Circle" child, finds them by name, and lays them
    // out for the size.
    void Build();

    float width = 0.0f;
    float height = 0.0f;
    vadu::lib3d::node::Sprite* left = nullptr;
    vadu::lib3d::node::Sprite* right = nullptr;
    vadu::lib3d::node::Sprite* top = nullptr;
    vadu::lib3d::node::Sprite* bottom = nullptr;
    vadu::lib3d::node::Sprite* circle = nullptr;
};

// The frame sizes of "data/tutorials/frame.atlas", shared by every bubble.
class TutorialFrameSkin {
public:
    struct Frame {
        std::string name;
        float width = 0.0f;
        float height = 0.0f;
    };

    // Loaded by the first call; a missing or broken file leaves it empty (one log line).
    static TutorialFrameSkin& Instance();
    // Forgets the loaded skin, so the next Instance() reads the file again (tests).
    static void Reset();

    // Reads the atlas description; false (and empty) when it cannot be read.
    bool Load(const vadu::String& path);
    // The first frame of that name; (0, 0) when there is none.
    vadu::math::Vector2<float> GetFrameSize(const std::string& name) const;

    std::vector<Frame> frames;
    float cornerWidth = 0.0f;
    float cornerHeight = 0.0f;
};

struct TutorialArrow {
    // The arrow's atlas frame; empty: no arrow.
    std::string type;
    float sideWidth = 0.0f;
    float x = 0.5f;
    vadu::math::Vector2<float> anchor{1.0f, 0.0f};
};

// What a bubble carries beside its text ("Content"): a plain node with an anchor on the
// bubble, as fractions of its size.
class TutorialContentNode : public vadu::lib3d::node::Node {
public:
    TutorialContentNode(const vadu::Atom& name, vadu::lib3d::node::Node* parent);

    using vadu::lib3d::node::Node::OnAttribute;
    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override;

    vadu::math::Vector2<float> anchor{0.0f, 0.0f};
};

class TutorialNode : public vadu::lib3d::node::Node {
public:
    TutorialNode(const vadu::Atom& name, vadu::lib3d::node::Node* parent);
    // The base node's copy with default settings; the pieces are found by name.
    TutorialNode(const TutorialNode& other);
    ~TutorialNode() override;

    static const vadu::Atom& TypeName();
    vadu::Atom get_type_name() const override;
    vadu::lib3d::node::Node* clone() const override;

    using vadu::lib3d::node::Node::OnAttribute;
    using vadu::lib3d::node::Node::OnNode;
    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override;
    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;
    // Lays the bubble out; the base node's animation binding does not run.
    bool OnEndNode(vadu::xml::Provider& provider) override;

    void Build();

    // The bubble's lower-left corner piece; null when the bubble has none.
    vadu::lib3d::node::Sprite* CornerLB() const { return cornerLB; }
    float GetWidth() const { return width; }
    float GetHeight() const { return height; }

    vadu::String textId;
    vadu::String font;
    vadu::math::Vector2<float> alignment{0.0f, 0.0f};
    vadu::math::Vector2<float> minimumSize{0.0f, 0.0f};
    float width = 400.0f;
    float height = 0.0f;
    int padLeft = 10;
    int padRight = 10;
    int padTop = 10;
    int padBottom = 10;
    TutorialArrow arrow;
    vadu::lib3d::node::Sprite* fill = nullptr;
    vadu::lib3d::node::Sprite* cornerLT = nullptr;
    vadu::lib3d::node::Sprite* cornerLB = nullptr;
    vadu::lib3d::node::Sprite* cornerRT = nullptr;
    vadu::lib3d::node::Sprite* cornerRB = nullptr;
    vadu::lib3d::node::Sprite* sideL = nullptr;
    vadu::lib3d::node::Sprite* sideR = nullptr;
    vadu::lib3d::node::Sprite* sideB = nullptr;
    vadu::lib3d::node::Sprite* sideT = nullptr;
    vadu::lib3d::node::Sprite* arrowPiece = nullptr;
    vadu::lib3d::node::Text* text = nullptr;
    TutorialContentNode* content = nullptr;
    std::vector<vadu::lib3d::node::Node*> pieces;

private:
    vadu::lib3d::node::Sprite* CreatePiece(const char* name, const std::string& frame);
    void FindPieces();
};

} // namespace gameplay
