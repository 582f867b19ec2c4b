#pragma once

// Controls: pieces of user interface beside the scene graph. A small handle (Control) that
// the screen keeps and callers find by name, and an implementation (ControlImpl) that is
// at once the reader of its definition element and the receiver of pointer events.

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "game/input/pointing_device_handler.h"
#include "game/node_ref.h"
#include "vadu/animate/primitive_animation.h"
#include "vadu/atom.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/math.h"
#include "vadu/property_list.h"
#include "vadu/string.h"
#include "vadu/xml_object.h"

namespace game::controls {

class HitTester;
class ControlImpl;
class ControlStatesImpl;

// A hit area in scene coordinates; the rectangle is the one kind the controls use.
class HitArea {
public:
    virtual ~HitArea() = default;
    // Double dispatch: the tester takes the area by its kind; false when it cannot.
    virtual bool AcceptBy(HitTester& tester) const = 0;
};

// Left, top, right, bottom with y upwards: top is always the larger y. Every edge is
// inside.
class RectangleHitArea : public HitArea {
public:
    RectangleHitArea() = default;
    // From two corners, in any order.
    void SetCorners(float x1, float y1, float x2, float y2);
    // x, y, width, height: left x, top y + height, right x + width, bottom y.
    void SetRectangle(float x, float y, float width, float height);
    bool Contains(double x, double y) const;
    bool AcceptBy(HitTester& tester) const override;

    float left = 0.0f;
    float top = 0.0f;
    float right = 0.0f;
    float bottom = 0.0f;
};

// Answers point queries for the area it accepted, in double precision; false while it
// accepted none.
class HitTester {
public:
    bool Accept(const HitArea& area) { return area.AcceptBy(*this); }
    bool Visit(const RectangleHitArea& area);
    bool Test(double x, double y) const;
    bool IsValid() const noexcept { return valid_; }

private:
    bool valid_ = false;
    double left_ = 0.0, top_ = 0.0, right_ = 0.0, bottom_ = 0.0;
};

// The handle. Enabled controls on the highest layer present are hit-tested.
class Control {
public:
    Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control();

    virtual ControlImpl* GetImpl() = 0;
    virtual vadu::Atom GetTypeName() const = 0;

    // The implementation's node name; empty without an implementation.
    const vadu::String& GetNodeName();
    // The implementation's properties; without one a shared empty set (with the check
    // "Control doesn't have an impl").
    vadu::xml::PropertyList& GetProperties();

    bool IsEnabled() const noexcept { return enabled_ != 0; }
    void SetEnabledFlag(bool enabled) noexcept { enabled_ = enabled ? 1 : 0; }
    // The implementation's SetEnabled (buttons change their look too).
    void SetEnabled(bool enabled);
    int32_t GetLayer() const noexcept { return layer_; }
    void SetLayer(int32_t layer) noexcept { layer_ = layer; }
    const vadu::Atom& GetName() const noexcept { return name_; }
    void SetName(const vadu::Atom& name) { name_ = name; }
    vadu::lib3d::node::Node* GetSceneRoot() const noexcept { return scene_root_; }
    void SetSceneRoot(vadu::lib3d::node::Node* root) noexcept { scene_root_ = root; }

private:
    uint8_t enabled_ = 1;
    int32_t layer_ = 0;
    vadu::Atom name_;
    vadu::lib3d::node::Node* scene_root_ = nullptr;
};

class ControlImpl : public vadu::xml::ObjectANSI, public input::PointingDeviceHandler {
public:
    explicit ControlImpl(Control& owner);
    ControlImpl(const ControlImpl&) = delete;
    ControlImpl& operator=(const ControlImpl&) = delete;
    ~ControlImpl() override;

    // "HitTest" (one "Rectangle Value") and "Properties"; nothing else.
    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;

    // A linked control's hit area follows its node (see the source).
    virtual void Update(double seconds);
    // Made from the zero rectangle when missing.
    virtual RectangleHitArea* GetHitArea();
    // Binds a linked control to its node under the owner's scene root.
    virtual void BindNode();
    virtual vadu::xml::PropertyList& GetProperties();
    virtual vadu::lib3d::node::Node* GetNode();
    virtual ControlStatesImpl* GetStates();
    virtual void OnNodeNameChanged();
    // Sets the owner's enabled flag.
    virtual void SetEnabled(bool enabled);

    void SetNodeName(const vadu::String& name);
    const vadu::String& GetNodeName() const noexcept { return node_name_; }
    // x, y, width, height; also becomes the base the rectangle moves from.
    void SetRectangle(float x, float y, float width, float height);
    const std::array<float, 4>& GetRectangle() const noexcept { return rectangle_; }
    const std::array<float, 4>& GetBaseRectangle() const noexcept { return base_rectangle_; }

    Control& GetOwner() const noexcept { return owner_; }
    bool IsLinked() const noexcept { return linked_ != 0; }
    void SetLinked(bool linked) noexcept { linked_ = linked ? 1 : 0; }
    bool ConsumesClick() const noexcept { return consumes_click_ != 0; }
    void SetConsumesClick(bool consumes) noexcept { consumes_click_ = consumes ? 1 : 0; }
    // Moved with the hit rectangle when set; owned.
    void SetMarker(std::unique_ptr<vadu::lib3d::node::Node> marker);
    bool IsMoved() const noexcept { return moved_ != 0; }
    // Expires when the control is freed.
    std::weak_ptr<const void> Liveness() const noexcept { return alive_; }

protected:
    // Fires the signal; false when one of its handlers took the control off its screen,
    // which frees it: the caller then returns without touching anything of it.
    template <typename AnySignal, typename... Args>
    bool Fire(const AnySignal& signal, Args&&... args)
    {
        const std::weak_ptr<const void> alive = alive_;
        signal.Emit(std::forward<Args>(args)...);
        return !alive.expired();
    }
    // The enabled flag of the owner.
    bool IsEnabled() const noexcept { return owner_.IsEnabled(); }
    // Moves the hit rectangle by the node's move since binding.
    void MoveRectangle(const vadu::math::Vector3& offset);

    Control& owner_;
    uint8_t linked_ = 0;
    uint8_t consumes_click_ = 0;
    vadu::String node_name_;
    std::unique_ptr<RectangleHitArea> hit_area_;
    vadu::lib3d::node::NodeRef bound_node_;
    vadu::math::Vector3 bound_position_;
    uint8_t moved_ = 0;
    std::unique_ptr<vadu::lib3d::node::Node> marker_;
    std::unique_ptr<vadu::xml::PropertyList> properties_;
    std::array<float, 4> rectangle_{};
    std::array<float, 4> base_rectangle_{};

private:
    std::shared_ptr<const void> alive_ = std::make_shared<const char>(0);
};

// Named visual states: one animation each, bound under the animation root.
class ControlStatesImpl : public vadu::xml::ObjectANSI {
public:
    ControlStatesImpl() = default;
    ControlStatesImpl(const ControlStatesImpl&) = delete;
    ControlStatesImpl& operator=(const ControlStatesImpl&) = delete;
    ~ControlStatesImpl() override;

    // "State" children, each through a ControlStateLoader.
    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;
    // The first state becomes current, at its end.
    bool OnEndNode(vadu::xml::Provider& provider) override;

    // Copies the animation, binds the copy under the root and appends it. Throws
    // vadu::Gluck "Failed to bind animation to a node".
    void AddState(const vadu::Atom& name, const vadu::animate::PrimitiveAnimation& animation);
    void SetStates(const ControlStatesImpl& other, vadu::lib3d::node::Node* root);
    // Restarts the named state from its start; nothing when it is current already or
    // unknown.
    void SwitchState(const vadu::Atom& name);
    void ReleaseStates();

    void SetAnimationRoot(vadu::lib3d::node::Node* root) noexcept { root_ = root; }
    vadu::lib3d::node::Node* GetAnimationRoot() const noexcept { return root_; }
    // Null before a state was chosen.
    vadu::animate::PrimitiveAnimation* GetCurrentAnimation() const;
    vadu::Atom GetCurrentName() const;
    size_t GetStateCount() const noexcept { return states_.size(); }

private:
    void MakeFirstCurrent();

    vadu::lib3d::node::Node* root_ = nullptr;
    std::vector<std::pair<vadu::Atom, std::unique_ptr<vadu::animate::PrimitiveAnimation>>> states_;
    int current_ = -1;
};

// Reads one "State": "Name" and exactly one "Animation".
class ControlStateLoader : public vadu::xml::ObjectANSI {
public:
    // Throws vadu::Gluck without an animation root.
    explicit ControlStateLoader(vadu::lib3d::node::Node* root);
    bool OnAttribute(vadu::xml::Provider& provider, const vadu::String& name, const vadu::String& value) override;
    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;

    vadu::Atom name;
    std::unique_ptr<vadu::animate::PrimitiveAnimation> animation;

private:
    vadu::lib3d::node::Node* root_;
};

} // namespace game::controls
