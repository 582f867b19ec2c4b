#include "game/controls/control.h"

#include <algorithm>

#include "game/diagnostics.h"
#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/lib3d/node/sprite.h"

namespace game::input {

void PointingDeviceHandler::OnClick(const Point&) {}
void PointingDeviceHandler::OnPress(const Point&) {}
void PointingDeviceHandler::OnRelease(const Point&) {}
void PointingDeviceHandler::OnDrag(const Point&) {}
void PointingDeviceHandler::OnSecondPress(const Point&) {}
void PointingDeviceHandler::OnSecondRelease(const Point&) {}
void PointingDeviceHandler::OnSecondDrag(const Point&) {}
void PointingDeviceHandler::OnEnter() {}
void PointingDeviceHandler::OnLeave() {}

} // namespace game::input

namespace game::controls {

using vadu::lib3d::node::Node;

void RectangleHitArea::SetCorners(float x1, float y1, float x2, float y2)
{
    left = x1;
    right = x2;
    top = std::max(y1, y2);
    bottom = std::min(y1, y2);
}

void RectangleHitArea::SetRectangle(float x, float y, float width, float height)
{
    SetCorners(x, y + height, x + width, y);
}

bool RectangleHitArea::Contains(double x, double y) const
{
    return left <= x && x <= right && bottom <= y && y <= top;
}

bool RectangleHitArea::AcceptBy(HitTester& tester) const
{
    return tester.Visit(*this);
}

bool HitTester::Visit(const RectangleHitArea& area)
{
    left_ = area.left;
    top_ = area.top;
    right_ = area.right;
    bottom_ = area.bottom;
    valid_ = true;
    return true;
}

bool HitTester::Test(double x, double y) const
{
    return valid_ && left_ <= x && x <= right_ && bottom_ <= y && y <= top_;
}

Control::~Control() = default;

const vadu::String& Control::GetNodeName()
{
    static const vadu::String empty;
    ControlImpl* impl = GetImpl();
    return impl ? impl->GetNodeName() : empty;
}

vadu::xml::PropertyList& Control::GetProperties()
{
    if (ControlImpl* impl = GetImpl())
        return impl->GetProperties();
    GAME_FAIL("Control doesn't have an impl");
    static vadu::xml::PropertyList empty;
    return empty;
}

void Control::SetEnabled(bool enabled)
{
    if (ControlImpl* impl = GetImpl())
        impl->SetEnabled(enabled);
    else
        SetEnabledFlag(enabled);
}

ControlImpl::ControlImpl(Control& owner) : owner_(owner), properties_(std::make_unique<vadu::xml::PropertyList>()) {}

ControlImpl::~ControlImpl() = default;

namespace {

// "Rectangle Value": x, y, width, height.
class RectangleElement : public vadu::xml::ObjectANSI {
public:
    bool OnAttribute(vadu::xml::Provider&, const vadu::String& name, const vadu::String& value) override
    {
        if (!(name == "Value"))
            return false;
        has_value = vadu::converter::to_rect(value, rect);
        return true;
    }
    float rect[4] = {};
    bool has_value = false;
};

class HitTestElement : public vadu::xml::ObjectANSI {
public:
    explicit HitTestElement(ControlImpl& control) : control_(control) {}
    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override
    {
        if (!(name == "Rectangle"))
            return false;
        RectangleElement element;
        if (!provider.ParseObject(element))
            return false;
        control_.SetRectangle(element.rect[0], element.rect[1], element.rect[2], element.rect[3]);
        return true;
    }

private:
    ControlImpl& control_;
};

} // namespace

bool ControlImpl::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (name == "HitTest") {
        HitTestElement element(*this);
        return provider.ParseObject(element);
    }
    if (name == "Properties")
        return provider.ParseObject(*properties_);
    return false;
}

namespace {

// A control whose sprite has no picture is invisible and cannot be hit: the screen cannot
// be used, so the failure ends the game with the file named, as any missing resource does.
void RequirePicture(vadu::lib3d::node::Sprite& sprite, const Control& owner)
{
    vadu::lib3d::material::TextureHandle* texture = sprite.get_texture();
    if (!texture)
        return;
    if (const vadu::filesystem::String* file = texture->get_failed_file())
        throw vadu::GluckBadResource("game::controls::ControlImpl::Update",
                                     "The picture of the control \"" + owner.GetName().get_name() +
                                         "\" did not load (the log says why)",
                                     *file);
}

} // namespace

void ControlImpl::Update(double)
{
    Node* node = bound_node_.get();
    if (!node)
        return;
    GetHitArea();
    if (vadu::lib3d::node::Sprite* sprite = vadu::lib3d::node::sprite_cast(node)) {
        RequirePicture(*sprite, owner_);
        const auto rect = sprite->get_global_rect();
        hit_area_->SetRectangle(rect[0], rect[1], rect[2], rect[3]);
        return;
    }
    for (Node* child : node->get_children()) {
        if (!child->is_visible())
            continue;
        if (vadu::lib3d::node::Sprite* sprite = vadu::lib3d::node::sprite_cast(child)) {
            RequirePicture(*sprite, owner_);
            const auto rect = sprite->get_global_rect();
            hit_area_->SetRectangle(rect[0], rect[1], rect[2], rect[3]);
            return;
        }
        break;
    }
    const vadu::math::Vector3 position = node->get_global_position();
    const vadu::math::Vector3 offset{position.x - bound_position_.x, position.y - bound_position_.y,
                                     position.z - bound_position_.z};
    if (!(position == bound_position_)) {
        MoveRectangle(offset);
        moved_ = 1;
    } else if (moved_) {
        MoveRectangle(offset);
        moved_ = 0;
    }
}

void ControlImpl::MoveRectangle(const vadu::math::Vector3& offset)
{
    GetHitArea()->SetRectangle(base_rectangle_[0] + offset.x, base_rectangle_[1] + offset.y, base_rectangle_[2],
                               base_rectangle_[3]);
    rectangle_ = {base_rectangle_[0] + offset.x, base_rectangle_[1] + offset.y, base_rectangle_[2], base_rectangle_[3]};
    if (marker_) {
        const vadu::math::Vector3 place{rectangle_[0], rectangle_[1], 0.8f};
        if (!(marker_->get_position() == place))
            marker_->set_position(place);
    }
}

RectangleHitArea* ControlImpl::GetHitArea()
{
    if (!hit_area_) {
        hit_area_ = std::make_unique<RectangleHitArea>();
        hit_area_->SetRectangle(0.0f, 0.0f, 0.0f, 0.0f);
    }
    return hit_area_.get();
}

void ControlImpl::BindNode()
{
    if (!linked_)
        return;
    Node* root = owner_.GetSceneRoot();
    Node* node = root ? root->find_child(vadu::Atom(node_name_), true) : nullptr;
    bound_node_.reset(node);
    if (node)
        bound_position_ = node->get_global_position();
}

vadu::xml::PropertyList& ControlImpl::GetProperties()
{
    return *properties_;
}

Node* ControlImpl::GetNode()
{
    return bound_node_.get();
}

ControlStatesImpl* ControlImpl::GetStates()
{
    return nullptr;
}

void ControlImpl::OnNodeNameChanged()
{
    BindNode();
}

void ControlImpl::SetEnabled(bool enabled)
{
    owner_.SetEnabledFlag(enabled);
}

void ControlImpl::SetNodeName(const vadu::String& name)
{
    if (&name != &node_name_)
        node_name_ = name;
    OnNodeNameChanged();
}

void ControlImpl::SetRectangle(float x, float y, float width, float height)
{
    GetHitArea()->SetRectangle(x, y, width, height);
    rectangle_ = {x, y, width, height};
    base_rectangle_ = rectangle_;
}

void ControlImpl::SetMarker(std::unique_ptr<Node> marker)
{
    marker_ = std::move(marker);
}

ControlStatesImpl::~ControlStatesImpl()
{
    ReleaseStates();
}

bool ControlStatesImpl::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (!(name == "State"))
        return false;
    ControlStateLoader loader(root_);
    if (!provider.ParseObject(loader))
        return false;
    if (loader.animation)
        states_.emplace_back(loader.name, std::move(loader.animation));
    return true;
}

bool ControlStatesImpl::OnEndNode(vadu::xml::Provider&)
{
    MakeFirstCurrent();
    return true;
}

void ControlStatesImpl::MakeFirstCurrent()
{
    if (states_.empty())
        return;
    current_ = 0;
    vadu::animate::PrimitiveAnimation& animation = *states_.front().second;
    animation.set_time(animation.get_length());
}

void ControlStatesImpl::AddState(const vadu::Atom& name, const vadu::animate::PrimitiveAnimation& animation)
{
    auto copy = std::make_unique<vadu::animate::PrimitiveAnimation>(animation);
    if (!root_ || !copy->bind(root_, true))
        throw vadu::Gluck("game::controls::ControlStatesImpl::AddState", "Failed to bind animation to a node");
    states_.emplace_back(name, std::move(copy));
}

void ControlStatesImpl::SetStates(const ControlStatesImpl& other, Node* root)
{
    if (&other == this)
        return;
    ReleaseStates();
    root_ = root;
    for (const auto& [name, animation] : other.states_)
        AddState(name, *animation);
    MakeFirstCurrent();
}

void ControlStatesImpl::SwitchState(const vadu::Atom& name)
{
    if (current_ >= 0 && states_[current_].first == name)
        return;
    for (size_t i = 0; i < states_.size(); ++i) {
        if (states_[i].first == name) {
            current_ = static_cast<int>(i);
            vadu::animate::PrimitiveAnimation& animation = *states_[i].second;
            animation.set_time(-0.001 * animation.get_length());
            return;
        }
    }
}

void ControlStatesImpl::ReleaseStates()
{
    states_.clear();
    current_ = -1;
}

vadu::animate::PrimitiveAnimation* ControlStatesImpl::GetCurrentAnimation() const
{
    return current_ >= 0 ? states_[current_].second.get() : nullptr;
}

vadu::Atom ControlStatesImpl::GetCurrentName() const
{
    return current_ >= 0 ? states_[current_].first : vadu::Atom();
}

ControlStateLoader::ControlStateLoader(Node* root) : root_(root)
{
    if (!root)
        throw vadu::Gluck("game::controls::ControlStateLoader::ControlStateLoader",
                          "AnimationRoot must not be null in ControlStateLoader constructor");
}

bool ControlStateLoader::OnAttribute(vadu::xml::Provider&, const vadu::String& attribute, const vadu::String& value)
{
    if (!(attribute == "Name"))
        return false;
    name = vadu::Atom(value);
    return true;
}

bool ControlStateLoader::OnNode(vadu::xml::Provider& provider, const vadu::String& element)
{
    if (!(element == "Animation"))
        return false;
    if (animation)
        throw vadu::Gluck("game::controls::ControlStateLoader::OnNode",
                          "Failed to load state animation because there already exists one");
    auto loaded = std::make_unique<vadu::animate::PrimitiveAnimation>();
    if (!provider.ParseObject(*loaded))
        return false;
    if (!loaded->bind(root_, true))
        throw vadu::Gluck("game::controls::ControlStateLoader::OnNode", "Failed to bind animation to a node");
    animation = std::move(loaded);
    return true;
}

} // namespace game::controls
