#pragma once

// The remaining control types: the scroll area ("Scroll") and the five one-object controls
// ("Slider", "MoveButton", "TagButton", "MouseEventForward", "PanArea"). Every pointer
// operation of the one-object controls does nothing while the control is disabled.

#include <deque>
#include <functional>
#include <list>

#include "game/controls/control.h"
#include "game/signal.h"
#include "vadu/lib3d/node/sprite.h"

namespace game::input {
class PointingDeviceInputManager;
}

namespace game::controls {

class ScrollImpl : public ControlImpl {
public:
    using Page = std::pair<int32_t, int32_t>;

    explicit ScrollImpl(Control& owner) : ControlImpl(owner) {}
    ~ScrollImpl() override;

    // "ContentSize" and "PageSize" ("Value": width and height), then the base's children.
    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;
    void Update(double seconds) override;
    ScrollImpl* Self() { return this; }

    void OnPress(const input::Point& point) override;
    void OnRelease(const input::Point& point) override;
    void OnDrag(const input::Point& point) override;

    // A content node; a rectangle other than all zeros lets it hide when scrolled out.
    void AddNode(vadu::lib3d::node::Node* node, const std::array<float, 4>& rectangle = {});
    // A content control: its press is cancelled when a drag starts.
    void AddControl(Control* control, const std::array<float, 4>& rectangle = {});
    // Clamped to the content minus the hit area's size, and to 0.
    void SetValue(const input::Point& offset);
    // Paged areas only; the page is held within 0 and the page count.
    void ScrollToPage(const Page& page, bool animated);
    void SetOnScroll(std::function<void(const Page&)> callback) { on_scroll_ = std::move(callback); }

    const input::Point& GetValue() const noexcept { return value_; }
    const input::Point& GetTarget() const noexcept { return target_; }
    const Page& GetPage() const noexcept { return page_; }
    bool IsPaged() const noexcept { return paged_; }
    bool IsAnimating() const noexcept { return animating_; }
    void SetContentSize(float width, float height) { content_ = {width, height}; }
    void SetPageSize(float width, float height);

private:
    struct Entry {
        vadu::lib3d::node::NodeRef node;
        input::Point base;
        bool has_rectangle;
        std::array<float, 4> rectangle;
    };
    struct Sample {
        float clock;
        input::Point point;
    };
    input::Point Clamp(input::Point value);
    void RememberInputManager();

    std::function<void(const Page&)> on_scroll_;
    std::vector<Control*> content_controls_;
    input::Point content_{0.0f, 0.0f};
    input::Point value_{0.0f, 0.0f};
    bool pressed_once_ = false;
    bool dragged_once_ = false;
    bool paged_ = false;
    input::Point page_size_{0.0f, 0.0f};
    Page page_{0, 0};
    vadu::WeakPtr input_manager_;
    std::list<Entry> entries_;
    input::Point press_point_{0.0f, 0.0f};
    input::Point press_value_{0.0f, 0.0f};
    bool dragging_ = false;
    bool animating_ = false;
    input::Point target_{0.0f, 0.0f};
    float clock_ = 0.0f;
    std::deque<Sample> history_;
};

class Scroll : public Control {
public:
    Scroll() : impl_(std::make_unique<ScrollImpl>(*this)) {}
    ControlImpl* GetImpl() override { return impl_.get(); }
    ScrollImpl* GetScrollImpl() const noexcept { return impl_.get(); }
    vadu::Atom GetTypeName() const override;

private:
    std::unique_ptr<ScrollImpl> impl_;
};

// The common part of the one-object controls: handle and implementation at once.
class SimpleControl : public Control, public ControlImpl {
public:
    SimpleControl() : ControlImpl(static_cast<Control&>(*this)) {}
    ControlImpl* GetImpl() override { return this; }
    using Control::IsEnabled;
    using ControlImpl::GetNodeName;
    using ControlImpl::GetProperties;
    using ControlImpl::SetEnabled;
    // Also stores the rectangle as the loaded and the placed one.
    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;

protected:
    input::Point last_{0.0f, 0.0f};
    std::array<float, 4> loaded_{};
    std::array<float, 4> placed_{};
};

class Slider : public SimpleControl {
public:
    vadu::Atom GetTypeName() const override;
    void Update(double seconds) override;
    void OnClick(const input::Point& point) override;
    void OnPress(const input::Point& point) override;
    void OnRelease(const input::Point& point) override;
    void OnDrag(const input::Point& point) override;

    void SetFillSprite(vadu::lib3d::node::Sprite* sprite) { fill_ = sprite; }
    float GetValue() const noexcept { return value_; }
    const input::Point& GetThumb() const noexcept { return thumb_; }

    Signal<void(Control*, float)> value_changed;
    Signal<void(Control*)> pressed;
    Signal<void(Control*)> dragged;
    Signal<void(Control*)> let_go;
    Signal<void(Control*)> released;

private:
    void UpdateTrack();
    // False when a handler of value changed removed the slider.
    bool MoveThumb(const input::Point& point);

    float track_left_ = 0.0f, track_bottom_ = 0.0f, track_width_ = 0.0f, track_height_ = 0.0f;
    input::Point thumb_{0.0f, 0.0f};
    float value_ = 0.0f;
    vadu::lib3d::node::Sprite* fill_ = nullptr;
};

class MoveButton : public SimpleControl {
public:
    vadu::Atom GetTypeName() const override;
    void Update(double seconds) override;
    void OnPress(const input::Point& point) override;
    void OnRelease(const input::Point& point) override;
    void OnDrag(const input::Point& point) override;

    float GetDepth() const noexcept { return depth_; }
    Signal<void(Control*)> grabbed_or_moved;
    Signal<void(Control*)> released;

private:
    void Recentre(const input::Point& point);

    input::Point point_{0.0f, 0.0f};
    float depth_ = 8.0f;
    bool restore_ = true;
};

class TagButton;

// The grid a tag button swaps in.
class TagGrid {
public:
    virtual ~TagGrid() = default;
    virtual TagButton* GetTag(int32_t column, int32_t row) = 0;
    virtual void Swap(int32_t column, int32_t row, int32_t new_column, int32_t new_row) = 0;
};

class TagButton : public SimpleControl {
public:
    vadu::Atom GetTypeName() const override;
    void Update(double seconds) override;
    void OnPress(const input::Point& point) override;
    void OnRelease(const input::Point& point) override;
    void OnDrag(const input::Point& point) override;

    void SetGrid(TagGrid* grid, int32_t column, int32_t row)
    {
        grid_ = grid;
        column_ = column;
        row_ = row;
    }
    void SetThreshold(int32_t threshold) { threshold_ = threshold; }
    void SetSpeed(int32_t speed) { speed_ = speed; }
    int32_t GetDirection() const noexcept { return direction_; }
    bool IsAnimating() const noexcept { return animating_; }

    Signal<void(Control*)> drag_started;
    Signal<void(Control*)> swapped;
    Signal<void(Control*)> finished;

private:
    float CellSize(int32_t direction) const;
    static input::Point Step(int32_t direction, float distance);
    void Place();

    int32_t column_ = 0, row_ = 0;
    int32_t threshold_ = 0;
    int32_t speed_ = 0;
    TagGrid* grid_ = nullptr;
    int32_t direction_ = -1;
    int32_t first_direction_ = -1;
    TagButton* neighbour_ = nullptr;
    input::Point start_{0.0f, 0.0f}, current_{0.0f, 0.0f}, destination_{0.0f, 0.0f};
    input::Point neighbour_start_{0.0f, 0.0f};
    input::Point press_{0.0f, 0.0f};
    bool animating_ = false;
    bool being_swapped_ = false;
};

class MouseEventForward : public SimpleControl {
public:
    vadu::Atom GetTypeName() const override;
    void OnPress(const input::Point& point) override;
    void OnRelease(const input::Point& point) override;
    void OnDrag(const input::Point& point) override;
    const input::Point& GetLastPoint() const noexcept { return last_; }

    Signal<void(Control*)> pressed;
    Signal<void(Control*)> released;
    Signal<void(Control*)> dragged;
};

class PanArea : public SimpleControl {
public:
    vadu::Atom GetTypeName() const override;
    void Update(double) override {}
    void OnPress(const input::Point& point) override;
    void OnRelease(const input::Point& point) override;
    void OnDrag(const input::Point& point) override;

    void SetPanned(vadu::lib3d::node::Node* node, float minimum, float maximum)
    {
        panned_.reset(node);
        minimum_ = minimum;
        maximum_ = maximum;
    }
    float GetPan() const noexcept { return pan_; }
    bool IsPanning() const noexcept { return panning_; }
    Signal<void()> panned;

private:
    vadu::lib3d::node::NodeRef panned_;
    float maximum_ = 0.0f, minimum_ = 0.0f;
    float pan_ = 0.0f;
    int32_t saved_layer_ = 0;
    bool panning_ = false;
};

} // namespace game::controls
