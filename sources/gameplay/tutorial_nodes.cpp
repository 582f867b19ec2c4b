#include "sources/gameplay/tutorial_nodes.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "vadu/converter.h"
#include "vadu/dictionary.h"
#include "vadu/filesystem.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/log.h"
#include "vadu/xml_document.h"
#include "vadu/xml_reader.h"

namespace gameplay {

namespace {

using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;
using vadu::lib3d::node::Text;
using vadu::math::Vector2;
using vadu::math::Vector3;

constexpr float Epsilon = 1.1920929e-7f;
// How far the text and the arrow lie in front of the bubble's pieces (a larger z is
// farther), so they sit above the pieces, not under them.
constexpr float FrontZ = -0.1f;
const char* const FrameAtlas = "data/tutorials/frame.atlas";

bool Differs(const Vector3& a, const Vector3& b)
{
    return std::fabs(a.x - b.x) > Epsilon || std::fabs(a.y - b.y) > Epsilon || std::fabs(a.z - b.z) > Epsilon;
}

// Rewrites the position only when it moved, so unmoved pieces keep their transform cache.
void WritePosition(Node& node, const Vector3& position)
{
    if (Differs(node.get_position(), position))
        node.set_position(position);
}

void MoveBy(Node& node, float dx, float dy)
{
    const Vector3& at = node.get_position();
    WritePosition(node, Vector3{at.x + dx, at.y + dy, at.z});
}

// A size of 0 leaves the sprite its own size in that direction.
void PlacePiece(Sprite* piece, float x, float y, float z, float width, float height)
{
    if (!piece)
        return;
    WritePosition(*piece, Vector3{x, y, z});
    if (width != 0.0f)
        piece->set_width(width);
    if (height != 0.0f)
        piece->set_height(height);
}

// The first direct child of that name (the node's own name does not count).
Node* DirectChild(const Node& node, const vadu::Atom& name, int skip = 0)
{
    for (Node* child : node.get_children()) {
        if (child->get_name() == name && skip-- == 0)
            return child;
    }
    return nullptr;
}

Sprite* DirectSprite(const Node& node, const char* name, int skip = 0)
{
    return dynamic_cast<Sprite*>(DirectChild(node, vadu::Atom(name), skip));
}

// A child element whose only attribute "Value" is converted at the element's end.
class ValueElement : public vadu::xml::ObjectANSI {
public:
    explicit ValueElement(std::function<bool(const vadu::String&)> apply) : apply_(std::move(apply)) {}

    bool OnAttribute(vadu::xml::Provider&, const vadu::String& name, const vadu::String& value) override
    {
        if (!(name == "Value"))
            return false;
        value_ = value;
        seen_ = true;
        return true;
    }
    bool OnEndNode(vadu::xml::Provider&) override { return !seen_ || apply_(value_); }

private:
    std::function<bool(const vadu::String&)> apply_;
    vadu::String value_;
    bool seen_ = false;
};

// The "Arrow" element's attributes.
class ArrowElement : public vadu::xml::ObjectANSI {
public:
    explicit ArrowElement(TutorialArrow& arrow) : arrow_(arrow) {}

    bool OnAttribute(vadu::xml::Provider&, const vadu::String& name, const vadu::String& value) override
    {
        if (name == "Type") {
            arrow_.type.assign(value.data(), value.size());
            return true;
        }
        if (name == "SideWidth")
            return vadu::converter::convert(value, &arrow_.sideWidth);
        if (name == "X")
            return vadu::converter::convert(value, &arrow_.x);
        if (name == "Anchor")
            return vadu::converter::convert(value, &arrow_.anchor);
        return false;
    }

private:
    TutorialArrow& arrow_;
};

// Four integers with one separator each: left, bottom, right, top.
bool ReadPadding(const vadu::String& text, int values[4])
{
    const char* at = text.data();
    const char* const end = at + text.size();
    int read[4] = {};
    for (int& value : read) {
        if (at >= end)
            return false;
        at = vadu::converter::parse_int(at, end, &value);
        if (!at)
            return false;
    }
    for (int i = 0; i < 4; ++i)
        values[i] = read[i];
    return true;
}

std::unique_ptr<TutorialFrameSkin>& SkinSlot()
{
    static std::unique_ptr<TutorialFrameSkin> skin;
    return skin;
}

} // namespace

void RegisterTutorialNodes()
{
    vadu::lib3d::node::register_node_type(TutorialCircle::TypeName(),
                                          &vadu::lib3d::node::create_node_of_type<TutorialCircle>);
    vadu::lib3d::node::register_node_type(TutorialNode::TypeName(),
                                          &vadu::lib3d::node::create_node_of_type<TutorialNode>);
}

void UnregisterTutorialNodes()
{
    vadu::lib3d::node::unregister_node_type(TutorialCircle::TypeName());
    vadu::lib3d::node::unregister_node_type(TutorialNode::TypeName());
}

// --- The spotlight -----------------------------------------------------------------------

TutorialCircle::TutorialCircle(const vadu::Atom& name, Node* parent) : Node(name, parent) {}

TutorialCircle::TutorialCircle(const TutorialCircle& other)
    : vadu::xml::Object(other), vadu::animate::Soul(other), Node(other)
{
    // The copied children are the pieces; the size is the description's, which a copy
    // does not have.
    circle = DirectSprite(*this, "Circle");
    left = DirectSprite(*this, "Left");
    right = DirectSprite(*this, "Right", 0);
    top = DirectSprite(*this, "Right", 1);
    bottom = DirectSprite(*this, "Right", 2);
}

TutorialCircle::~TutorialCircle() = default;

const vadu::Atom& TutorialCircle::TypeName()
{
    static const vadu::Atom name("TutorialCircle");
    return name;
}

vadu::Atom TutorialCircle::get_type_name() const
{
    return TypeName();
}

Node* TutorialCircle::clone() const
{
    return new TutorialCircle(*this);
}

bool TutorialCircle::OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value)
{
    if (name == "Width")
        return vadu::converter::convert(value, &width);
    if (name == "Height")
        return vadu::converter::convert(value, &height);
    return Node::OnAttribute(provider, name, value);
}

bool TutorialCircle::OnEndNode(vadu::xml::Provider&)
{
    Build();
    return true;
}

void TutorialCircle::Build()
{
    if (!DirectChild(*this, vadu::Atom("Circle"))) {
        struct PieceSpec {
            const char* name;
            const char* texture;
            float anchorX;
            float anchorY;
        };
        // Three strips share the name "Right"; they are told apart by their order.
        static const PieceSpec specs[] = {
            {"Circle", "data/tutorials/circle", 0.5f, 0.5f}, {"Left", "data/tutorials/fade", 1.0f, 0.5f},
            {"Right", "data/tutorials/fade", 0.0f, 0.5f},    {"Right", "data/tutorials/fade", 0.5f, 0.0f},
            {"Right", "data/tutorials/fade", 0.5f, 1.0f},
        };
        for (const PieceSpec& spec : specs) {
            auto* piece = new Sprite(vadu::Atom(spec.name), this);
            piece->set_texture(spec.texture, false);
            piece->set_anchor(spec.anchorX, spec.anchorY);
        }
    }
    // A description may bring its own pieces; whatever of them is missing is left out.
    circle = DirectSprite(*this, "Circle");
    left = DirectSprite(*this, "Left");
    right = DirectSprite(*this, "Right", 0);
    top = DirectSprite(*this, "Right", 1);
    bottom = DirectSprite(*this, "Right", 2);

    if (circle)
        circle->set_filter_texture(true);
    PlacePiece(circle, 0.0f, 0.0f, 0.0f, width, height);
    PlacePiece(left, -width * 0.5f, 0.0f, 0.0f, 2000.0f, height);
    PlacePiece(right, width * 0.5f, 0.0f, 0.0f, 2000.0f, height);
    PlacePiece(top, 0.0f, height * 0.5f, 0.0f, 4000.0f, 2000.0f);
    PlacePiece(bottom, 0.0f, -height * 0.5f, 0.0f, 4000.0f, 2000.0f);
}

// --- The bubble's skin -------------------------------------------------------------------

TutorialFrameSkin& TutorialFrameSkin::Instance()
{
    auto& slot = SkinSlot();
    if (!slot) {
        slot = std::make_unique<TutorialFrameSkin>();
        if (!slot->Load(FrameAtlas))
            vadu::logs::log() << "TutorialFrameSkin: " << FrameAtlas
                              << " cannot be read, hint bubbles have no corners\n";
    }
    return *slot;
}

void TutorialFrameSkin::Reset()
{
    SkinSlot().reset();
}

bool TutorialFrameSkin::Load(const vadu::String& path)
{
    frames.clear();
    cornerWidth = cornerHeight = 0.0f;
    std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(vadu::filesystem::String(path, true));
    if (!stream)
        return false;
    std::vector<char> buffer(stream->get_size());
    const uint32_t read = buffer.empty() ? 0 : stream->read(buffer.data(), static_cast<uint32_t>(buffer.size()));
    buffer.resize(read);
    const vadu::xml::parser::Document document(buffer.data(), buffer.size());
    if (document.get_root().is_null())
        return false;
    for (const vadu::xml::parser::Node& element : document.get_root().get_children("Frame")) {
        Frame frame;
        const vadu::String name = element.get_attribute("Name");
        frame.name.assign(name.data(), name.size());
        if (!vadu::converter::convert(element.get_attribute("Width"), &frame.width))
            frame.width = 0.0f;
        if (!vadu::converter::convert(element.get_attribute("Height"), &frame.height))
            frame.height = 0.0f;
        frames.push_back(std::move(frame));
    }
    const Vector2<float> corner = GetFrameSize("cornerLB");
    cornerWidth = corner.x;
    cornerHeight = corner.y;
    return true;
}

Vector2<float> TutorialFrameSkin::GetFrameSize(const std::string& name) const
{
    for (const Frame& frame : frames) {
        if (frame.name == name)
            return {frame.width, frame.height};
    }
    return {0.0f, 0.0f};
}

// --- The bubble --------------------------------------------------------------------------

TutorialContentNode::TutorialContentNode(const vadu::Atom& name, Node* parent) : Node(name, parent) {}

bool TutorialContentNode::OnAttribute(vadu::xml::Provider& provider, const vadu::String& name,
                                      const vadu::String& value)
{
    if (name == "Anchor")
        return vadu::converter::convert(value, &anchor);
    return Node::OnAttribute(provider, name, value);
}

TutorialNode::TutorialNode(const vadu::Atom& name, Node* parent) : Node(name, parent)
{
    TutorialFrameSkin::Instance();
}

TutorialNode::TutorialNode(const TutorialNode& other)
    : vadu::xml::Object(other), vadu::animate::Soul(other), Node(other)
{
    // The settings start over; the copied children are the pieces.
    FindPieces();
}

TutorialNode::~TutorialNode() = default;

const vadu::Atom& TutorialNode::TypeName()
{
    static const vadu::Atom name("TutorialNode");
    return name;
}

vadu::Atom TutorialNode::get_type_name() const
{
    return TypeName();
}

Node* TutorialNode::clone() const
{
    return new TutorialNode(*this);
}

bool TutorialNode::OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value)
{
    if (name == "TextId") {
        textId = value;
        return true;
    }
    if (name == "Font") {
        font = value;
        return true;
    }
    if (name == "Width")
        return vadu::converter::convert(value, &width);
    return Node::OnAttribute(provider, name, value);
}

bool TutorialNode::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (name == "MinimumSize") {
        ValueElement element([this](const vadu::String& value) { return vadu::converter::convert(value, &minimumSize); });
        return provider.ParseObject(element);
    }
    if (name == "Alignment") {
        ValueElement element([this](const vadu::String& value) { return vadu::converter::convert(value, &alignment); });
        return provider.ParseObject(element);
    }
    if (name == "Padding") {
        ValueElement element([this](const vadu::String& value) {
            int values[4];
            if (!ReadPadding(value, values))
                return false;
            padLeft = values[0];
            padBottom = values[1];
            padRight = values[2];
            padTop = values[3];
            return true;
        });
        return provider.ParseObject(element);
    }
    if (name == "Arrow") {
        ArrowElement element(arrow);
        return provider.ParseObject(element);
    }
    if (name == "Content") {
        content = new TutorialContentNode(vadu::Atom("Content"), this);
        return provider.ParseObject(*content);
    }
    return Node::OnNode(provider, name);
}

bool TutorialNode::OnEndNode(vadu::xml::Provider&)
{
    Build();
    return true;
}

Sprite* TutorialNode::CreatePiece(const char* name, const std::string& frame)
{
    auto* piece = new Sprite(vadu::Atom(name), this);
    piece->set_atlas_texture(FrameAtlas, vadu::Atom(frame.c_str()));
    piece->set_anchor(0.0f, 0.0f);
    pieces.push_back(piece);
    return piece;
}

void TutorialNode::FindPieces()
{
    fill = DirectSprite(*this, "Fill");
    cornerLB = DirectSprite(*this, "CornerLB");
    cornerLT = DirectSprite(*this, "CornerLT");
    cornerRB = DirectSprite(*this, "CornerRB");
    cornerRT = DirectSprite(*this, "CornerRT");
    sideB = DirectSprite(*this, "SideB");
    sideT = DirectSprite(*this, "SideT");
    sideR = DirectSprite(*this, "SideR");
    sideL = DirectSprite(*this, "SideL");
    arrowPiece = DirectSprite(*this, "Arrow");
    text = dynamic_cast<Text*>(DirectChild(*this, vadu::Atom("Text")));
    if (!content)
        content = dynamic_cast<TutorialContentNode*>(DirectChild(*this, vadu::Atom("Content")));
}

void TutorialNode::Build()
{
    const TutorialFrameSkin& skin = TutorialFrameSkin::Instance();
    const float cw = skin.cornerWidth;
    const float ch = skin.cornerHeight;

    pieces.clear();
    if (!DirectChild(*this, vadu::Atom("Fill"))) {
        CreatePiece("Fill", "fill");
        CreatePiece("CornerLB", "cornerLB");
        CreatePiece("CornerLT", "cornerLT");
        CreatePiece("CornerRB", "cornerRB");
        CreatePiece("CornerRT", "cornerRT");
        CreatePiece("SideB", "sideB");
        CreatePiece("SideT", "sideT");
        CreatePiece("SideR", "sideR");
        CreatePiece("SideL", "sideL");
        new Text(vadu::Atom("Text"), this);
        FindPieces();
    } else {
        // The description brought its own pieces: lay out whichever of them exist.
        FindPieces();
        for (Sprite* piece : {fill, cornerLB, cornerLT, cornerRB, cornerRT, sideB, sideT, sideR, sideL})
            if (piece)
                pieces.push_back(piece);
    }

    float textWidth = 0.0f;
    float textHeight = 0.0f;
    if (text) {
        if (!font.empty())
            text->set_font(font);
        text->set_text(vadu::lookup_text(textId), false);
        text->set_max_width(static_cast<int32_t>(std::trunc(width - padLeft - padRight - 2.0f * cw)));
        text->set_alignment(vadu::lib3d::node::LEFT);
        text->set_valignment(vadu::lib3d::node::BOTTOM_BLOCK);
        WritePosition(*text, Vector3{padLeft + cw, padBottom + ch, FrontZ});
        textWidth = text->get_width(text->get_text());
        textHeight = text->get_height();
        pieces.push_back(text);
    }
    if (content)
        pieces.push_back(content);

    width = std::max(textWidth + padLeft + padRight + 2.0f * cw, minimumSize.x);
    height = std::max(textHeight + padBottom + padTop + 2.0f * ch, minimumSize.y);

    PlacePiece(cornerLB, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    PlacePiece(cornerLT, 0.0f, height - ch, 0.0f, 0.0f, 0.0f);
    PlacePiece(cornerRB, width - cw, 0.0f, 0.0f, 0.0f, 0.0f);
    PlacePiece(cornerRT, width - cw, height - ch, 0.0f, 0.0f, 0.0f);
    PlacePiece(fill, cw, ch, 0.0f, width - 2.0f * cw, height - 2.0f * ch);
    PlacePiece(sideB, cw, 0.0f, 0.0f, width - 2.0f * cw, 0.0f);
    PlacePiece(sideT, cw, height - ch, 0.0f, width - 2.0f * cw, 0.0f);
    PlacePiece(sideL, 0.0f, ch, 0.0f, 0.0f, height - 2.0f * ch);
    PlacePiece(sideR, width - cw, ch, 0.0f, 0.0f, height - 2.0f * ch);

    for (Node* piece : pieces)
        MoveBy(*piece, -alignment.x * width, -alignment.y * height);
    if (content)
        MoveBy(*content, content->anchor.x * width, content->anchor.y * height);

    if (arrow.type.empty())
        return;
    const float innerWidth = width - 2.0f * cw;
    const float along = (innerWidth - arrow.sideWidth) * arrow.x;
    const Vector2<float> size = skin.GetFrameSize(arrow.type);
    const float edge = alignment.x > 0.5f ? arrow.anchor.x * size.x - cw : arrow.sideWidth - arrow.anchor.x * size.x + cw;
    const float dx = alignment.x * innerWidth - along - edge;
    const float dy = (size.y - ch) * (alignment.y < 0.5f ? 1.0f : -1.0f);
    for (Node* piece : pieces)
        MoveBy(*piece, dx, dy);

    if (!arrowPiece)
        arrowPiece = CreatePiece("Arrow", arrow.type);
    else
        pieces.push_back(arrowPiece);
    WritePosition(*arrowPiece, Vector3{0.0f, 0.0f, FrontZ});
    arrowPiece->set_anchor(arrow.anchor.x, arrow.anchor.y);
    const Vector3 scale{alignment.x >= 0.5f ? 1.0f : -1.0f, alignment.y <= 0.5f ? 1.0f : -1.0f, 1.0f};
    if (Differs(arrowPiece->get_scale(), scale))
        arrowPiece->set_scale(scale);
    arrowPiece->set_filter_texture(false);
}

} // namespace gameplay
