#include "game/controls/more_controls.h"

#include <algorithm>
#include <cmath>

#include "game/input/pointing_device_input.h"
#include "vadu/converter.h"

namespace game::controls {

using input::Point;
using vadu::lib3d::node::Node;

namespace {

// An element whose "Value" holds two numbers; unreadable text leaves 0, 0.
class SizeElement : public vadu::xml::ObjectANSI {
public:
    bool OnAttribute(vadu::xml::Provider&, const vadu::String& name, const vadu::String& value) override
    {
        if (!(name == "Value"))
            return false;
        vadu::math::Vector2<float> size;
        if (vadu::converter::convert(value, &size))
            this->size = size;
        return true;
    }
    vadu::math::Vector2<float> size{0.0f, 0.0f};
};

float squared(float x, float y)
{
    return x * x + y * y;
}

} // namespace

// Scroll areas.

ScrollImpl::~ScrollImpl()
{
    entries_.clear();
    content_controls_.clear();
}

bool ScrollImpl::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (name == "ContentSize" || name == "PageSize") {
        SizeElement element;
        if (!provider.ParseObject(element))
            return false;
        if (name == "ContentSize")
            content_ = element.size;
        else
            SetPageSize(element.size.x, element.size.y);
        return true;
    }
    return ControlImpl::OnNode(provider, name);
}

void ScrollImpl::SetPageSize(float width, float height)
{
    page_size_ = {width, height};
    // A page narrower than one unit would divide by zero: such an area is not paged.
    paged_ = std::trunc(width) >= 1.0f;
}

void ScrollImpl::RememberInputManager()
{
    input_manager_.assign(input::PointingDeviceInputManagerImpl::GetMostRecent());
}

void ScrollImpl::AddNode(Node* node, const std::array<float, 4>& rectangle)
{
    RememberInputManager();
    if (!node)
        return;
    const vadu::math::Vector3 position = node->get_position();
    const bool has_rectangle = rectangle[0] != 0.0f || rectangle[1] != 0.0f || rectangle[2] != 0.0f || rectangle[3] != 0.0f;
    entries_.push_back(Entry{vadu::lib3d::node::NodeRef(node), Point{position.x + value_.x, position.y + value_.y},
                             has_rectangle, rectangle});
}

void ScrollImpl::AddControl(Control* control, const std::array<float, 4>& rectangle)
{
    RememberInputManager();
    if (!control || std::find(content_controls_.begin(), content_controls_.end(), control) != content_controls_.end())
        return;
    content_controls_.push_back(control);
    if (ControlImpl* impl = control->GetImpl()) {
        if (Node* node = impl->GetNode())
            AddNode(node, rectangle);
    }
}

Point ScrollImpl::Clamp(Point value)
{
    const RectangleHitArea* area = GetHitArea();
    const float visible_width = area->right - area->left;
    const float visible_height = area->top - area->bottom;
    value.x = std::min(value.x, content_.x - visible_width);
    value.y = std::min(value.y, content_.y - visible_height);
    value.x = std::max(value.x, 0.0f);
    value.y = std::max(value.y, 0.0f);
    return value;
}

void ScrollImpl::SetValue(const Point& offset)
{
    value_ = Clamp(offset);
    const RectangleHitArea* area = GetHitArea();
    for (Entry& entry : entries_) {
        Node* node = entry.node.get();
        if (!node)
            continue;
        const vadu::math::Vector3 old = node->get_position();
        const vadu::math::Vector3 place{entry.base.x - value_.x, entry.base.y - value_.y, old.z};
        if (!(old == place))
            node->set_position(place);
        if (pressed_once_ && entry.has_rectangle) {
            const float left = place.x + entry.rectangle[0];
            const float bottom = place.y + entry.rectangle[1];
            const float right = left + entry.rectangle[2];
            const float top = bottom + entry.rectangle[3];
            const bool outside = left > area->right || bottom > area->top || right < area->left || top < area->bottom;
            if (node->is_visible() == outside)
                node->set_visible(!outside);
        }
    }
}

void ScrollImpl::ScrollToPage(const Page& page, bool animated)
{
    if (!paged_)
        return;
    const int32_t count = static_cast<int32_t>(std::trunc(content_.x)) / static_cast<int32_t>(std::trunc(page_size_.x));
    page_ = {std::clamp(page.first, 0, std::max(count, 0)), page.second};
    if (!animated) {
        SetValue(Point{page_.first * page_size_.x, value_.y});
        target_ = value_;
    } else {
        target_.x = page_.first * page_size_.x;
        animating_ = true;
    }
    // Without a callback there is nobody to tell. The callback may remove the area, and
    // with it the callback (and the page, when it was the area's own).
    if (on_scroll_) {
        const auto callback = on_scroll_;
        const Page told = page;
        callback(told);
    }
}

void ScrollImpl::OnPress(const Point& point)
{
    press_point_ = point;
    press_value_ = value_;
    dragging_ = false;
    animating_ = false;
    pressed_once_ = true;
}

void ScrollImpl::OnDrag(const Point& point)
{
    if (!dragging_) {
        if (squared(point.x - press_point_.x, point.y - press_point_.y) > 400.0f) {
            dragging_ = true;
            dragged_once_ = true;
            if (auto* manager = static_cast<input::PointingDeviceInputManagerImpl*>(input_manager_.get())) {
                for (Control* control : content_controls_)
                    manager->CancelPress(control);
            }
        }
        if (!dragging_)
            return;
    }
    history_.push_front(Sample{clock_, point});
    if (history_.size() > 50)
        history_.pop_back();
    SetValue(Point{press_value_.x - (point.x - press_point_.x), press_value_.y - (point.y - press_point_.y)});
}

void ScrollImpl::OnRelease(const Point& point)
{
    if (!dragged_once_)
        return;
    if (dragging_ && !history_.empty() && history_.back().clock <= clock_ - 0.01f) {
        const Sample* sample = nullptr;
        float span = 0.2f;
        for (const Sample& candidate : history_) {
            if (candidate.clock <= clock_ - 0.2f) {
                sample = &candidate;
                break;
            }
        }
        if (!sample) {
            sample = &history_.back();
            span = clock_ - sample->clock;
        }
        target_ = Clamp(Point{value_.x - (point.x - sample->point.x) * 0.6f / span,
                              value_.y - (point.y - sample->point.y) * 0.6f / span});
        history_.clear();
    }
    dragging_ = false;
    animating_ = true;
    if (paged_) {
        const int32_t width = static_cast<int32_t>(std::trunc(page_size_.x));
        int32_t n = static_cast<int32_t>(std::trunc(page_size_.x * 0.5f + target_.x)) / width;
        n = std::clamp(n, page_.first - 1, page_.first + 1);
        const bool changed = n != page_.first;
        page_.first = n;
        target_.x = n * page_size_.x;
        if (changed && on_scroll_) {
            // The callback may remove the area, and with it the callback and the page.
            const auto callback = on_scroll_;
            const Page page = page_;
            callback(page);
        }
    }
}

void ScrollImpl::Update(double seconds)
{
    clock_ += static_cast<float>(seconds);
    if (animating_) {
        const float step = static_cast<float>(4.0 * seconds);
        SetValue(Point{value_.x + (target_.x - value_.x) * step, value_.y + (target_.y - value_.y) * step});
        if (squared(value_.x - target_.x, value_.y - target_.y) < 1.0f) {
            animating_ = false;
            SetValue(target_);
        }
    }
    ControlImpl::Update(seconds);
}

vadu::Atom Scroll::GetTypeName() const
{
    static const vadu::Atom type("Scroll");
    return type;
}

// The one-object controls.

bool SimpleControl::OnNode(vadu::xml::Provider& provider, const vadu::String& name)
{
    if (!ControlImpl::OnNode(provider, name))
        return false;
    loaded_ = GetBaseRectangle();
    placed_ = loaded_;
    return true;
}

vadu::Atom Slider::GetTypeName() const
{
    static const vadu::Atom type("Slider");
    return type;
}

void Slider::UpdateTrack()
{
    const RectangleHitArea* area = GetHitArea();
    track_left_ = area->left;
    track_bottom_ = area->bottom;
    track_width_ = area->right - area->left;
    track_height_ = area->top - area->bottom;
}

bool Slider::MoveThumb(const Point& point)
{
    UpdateTrack();
    if (point.x >= track_left_ + track_width_) {
        thumb_ = {track_left_ + track_width_, point.y};
        value_ = 1.0f;
    } else {
        thumb_ = point;
        // A track without width has no position along it.
        value_ = track_width_ > 0.0f ? (point.x - track_left_) / track_width_ : 0.0f;
    }
    if (!Fire(value_changed, this, value_))
        return false;
    if (point.x < track_left_) {
        thumb_ = {track_left_, point.y};
        value_ = 0.0f;
        return Fire(value_changed, this, value_);
    }
    return true;
}

void Slider::Update(double seconds)
{
    UpdateTrack();
    if (IsEnabled() && thumb_.x != 0.0f && thumb_.y != 0.0f && fill_)
        fill_->set_fragment(0.01f, 0.01f, value_, 1.0f);
    ControlImpl::Update(seconds);
}

void Slider::OnClick(const Point& point)
{
    if (IsEnabled())
        thumb_ = point;
}

void Slider::OnPress(const Point& point)
{
    if (IsEnabled()) {
        UpdateTrack();
        thumb_ = point;
        value_ = track_width_ > 0.0f ? (point.x - track_left_) / track_width_ : 0.0f;
        if (!Fire(value_changed, this, value_))
            return;
    }
    pressed.Emit(this);
}

void Slider::OnRelease(const Point& point)
{
    if (IsEnabled() && (!MoveThumb(point) || !Fire(let_go, this)))
        return;
    released.Emit(this);
}

void Slider::OnDrag(const Point& point)
{
    if (IsEnabled() && MoveThumb(point))
        dragged.Emit(this);
}

vadu::Atom MoveButton::GetTypeName() const
{
    static const vadu::Atom type("MoveButton");
    return type;
}

void MoveButton::Recentre(const Point& point)
{
    const float width = loaded_[2];
    const float height = loaded_[3];
    SetRectangle(point.x - width / 2.0f, point.y - height / 2.0f, width, height);
}

void MoveButton::OnPress(const Point& point)
{
    if (!IsEnabled())
        return;
    if (restore_) {
        SetRectangle(loaded_[0], loaded_[1], loaded_[2], loaded_[3]);
        restore_ = false;
    }
    point_ = point;
    depth_ = 5.0f;
    Recentre(point);
    grabbed_or_moved.Emit(this);
}

void MoveButton::OnRelease(const Point& point)
{
    if (!IsEnabled())
        return;
    point_ = point;
    depth_ = 8.0f;
    Recentre(point);
    released.Emit(this);
}

void MoveButton::OnDrag(const Point& point)
{
    if (!IsEnabled())
        return;
    point_ = point;
    Recentre(point);
    grabbed_or_moved.Emit(this);
}

void MoveButton::Update(double seconds)
{
    if (IsEnabled() && point_.x != 0.0f && point_.y != 0.0f) {
        if (Node* node = GetNode())
            node->set_position(vadu::math::Vector3{point_.x, point_.y, depth_});
        placed_ = GetRectangle();
    }
    ControlImpl::Update(seconds);
}

vadu::Atom TagButton::GetTypeName() const
{
    static const vadu::Atom type("TagButton");
    return type;
}

float TagButton::CellSize(int32_t direction) const
{
    const auto& rectangle = GetRectangle();
    return direction >= 2 ? rectangle[2] : rectangle[3];
}

Point TagButton::Step(int32_t direction, float distance)
{
    switch (direction) {
    case 0: // up: row − 1, drawn higher
        return {0.0f, distance};
    case 1:
        return {0.0f, -distance};
    case 2:
        return {distance, 0.0f};
    case 3:
        return {-distance, 0.0f};
    default:
        return {0.0f, 0.0f};
    }
}

void TagButton::Place()
{
    if (Node* node = GetNode()) {
        const vadu::math::Vector3 old = node->get_position();
        node->set_position(vadu::math::Vector3{current_.x, current_.y, old.z});
    }
    if (neighbour_) {
        const Point offset{current_.x - start_.x, current_.y - start_.y};
        if (Node* node = neighbour_->GetNode()) {
            const vadu::math::Vector3 old = node->get_position();
            node->set_position(vadu::math::Vector3{neighbour_start_.x - offset.x, neighbour_start_.y - offset.y, old.z});
        }
    }
}

void TagButton::OnPress(const Point& point)
{
    if (!IsEnabled())
        return;
    direction_ = -1;
    first_direction_ = -1;
    destination_ = {-1.0f, -1.0f};
    animating_ = false;
    if (Node* node = GetNode()) {
        const vadu::math::Vector3 position = node->get_position();
        start_ = current_ = {position.x, position.y};
    }
    press_ = point;
}

void TagButton::OnDrag(const Point& point)
{
    if (!IsEnabled() || animating_ || !grid_)
        return;
    const float dx = press_.x - point.x;
    const float dy = press_.y - point.y;
    const float distance = std::sqrt(dx * dx + dy * dy);
    if (distance <= static_cast<float>(threshold_)) {
        if (direction_ >= 0) {
            current_ = start_;
            Place();
            if (neighbour_) {
                neighbour_->SetEnabled(true);
                neighbour_->being_swapped_ = false;
            }
            neighbour_ = nullptr;
            direction_ = -1;
        }
        return;
    }
    if (direction_ < 0) {
        int32_t direction;
        TagButton* tag;
        if (std::fabs(dx) <= std::fabs(dy)) {
            direction = dy >= 0.0f ? 1 : 0;
            tag = grid_->GetTag(column_, dy >= 0.0f ? row_ + 1 : row_ - 1);
        } else {
            direction = dx >= 0.0f ? 3 : 2;
            tag = grid_->GetTag(dx >= 0.0f ? column_ - 1 : column_ + 1, row_);
        }
        if (!tag || tag == this)
            return;
        direction_ = direction;
        first_direction_ = direction;
        neighbour_ = tag;
        if (Node* node = tag->GetNode()) {
            const vadu::math::Vector3 position = node->get_position();
            neighbour_start_ = {position.x, position.y};
        }
        tag->SetEnabled(false);
        tag->being_swapped_ = true;
        if (!Fire(drag_started, this))
            return;
    }
    const float moved = std::clamp(distance - static_cast<float>(threshold_), 0.0f, CellSize(direction_));
    const Point step = Step(direction_, moved);
    current_ = {start_.x + step.x, start_.y + step.y};
    Place();
}

void TagButton::OnRelease(const Point&)
{
    if (!IsEnabled())
        return;
    if (direction_ < 0) {
        finished.Emit(this);
        return;
    }
    const float cell = CellSize(direction_);
    const float moved = std::fabs(current_.x - start_.x) + std::fabs(current_.y - start_.y);
    if (moved > 0.25f * cell) {
        const Point step = Step(direction_, cell);
        destination_ = {start_.x + step.x, start_.y + step.y};
    } else {
        destination_ = start_;
        direction_ = direction_ ^ 1; // the opposite direction: 0↔1, 2↔3
    }
    SetEnabled(false);
    animating_ = true;
}

void TagButton::Update(double seconds)
{
    if (direction_ >= 0 && !Control::IsEnabled()) {
        const Point step = Step(direction_, static_cast<float>(speed_ * seconds));
        current_ = {current_.x + step.x, current_.y + step.y};
        const Point left{destination_.x - current_.x, destination_.y - current_.y};
        const Point unit = Step(direction_, 1.0f);
        const bool arrived = left.x * unit.x + left.y * unit.y <= 0.0f;
        if (arrived)
            current_ = destination_;
        Place();
        if (arrived) {
            TagButton* neighbour = neighbour_;
            const std::weak_ptr<const void> neighbour_alive =
                neighbour ? neighbour->Liveness() : std::weak_ptr<const void>();
            bool alive = true;
            if (direction_ == first_direction_ && neighbour && grid_) {
                int32_t column = column_, row = row_;
                if (direction_ == 0)
                    --row;
                else if (direction_ == 1)
                    ++row;
                else if (direction_ == 2)
                    ++column;
                else
                    --column;
                grid_->Swap(column_, row_, column, row);
                const std::array<float, 4> mine = GetRectangle();
                const std::array<float, 4> theirs = neighbour->GetRectangle();
                SetRectangle(theirs[0], theirs[1], theirs[2], theirs[3]);
                neighbour->SetRectangle(mine[0], mine[1], mine[2], mine[3]);
                alive = Fire(swapped, this);
            }
            // The neighbour is given back also when a handler removed this tag.
            if (neighbour && !neighbour_alive.expired()) {
                neighbour->SetEnabled(true);
                neighbour->being_swapped_ = false;
            }
            if (!alive)
                return;
            neighbour_ = nullptr;
            SetEnabled(true);
            direction_ = -1;
            animating_ = false;
            const auto& rectangle = GetRectangle();
            last_ = {rectangle[0] + rectangle[2] / 2.0f, rectangle[1] + rectangle[3] / 2.0f};
            if (!Fire(finished, this))
                return;
        }
    }
    ControlImpl::Update(seconds);
}

vadu::Atom MouseEventForward::GetTypeName() const
{
    static const vadu::Atom type("MouseEventForward");
    return type;
}

void MouseEventForward::OnPress(const Point& point)
{
    if (!IsEnabled())
        return;
    last_ = point;
    pressed.Emit(this);
}

void MouseEventForward::OnRelease(const Point& point)
{
    if (!IsEnabled())
        return;
    last_ = point;
    released.Emit(this);
}

void MouseEventForward::OnDrag(const Point& point)
{
    if (!IsEnabled())
        return;
    last_ = point;
    dragged.Emit(this);
}

vadu::Atom PanArea::GetTypeName() const
{
    static const vadu::Atom type("PanArea");
    return type;
}

void PanArea::OnPress(const Point& point)
{
    if (IsEnabled())
        last_ = point;
}

void PanArea::OnRelease(const Point&)
{
    if (!IsEnabled() || !panning_)
        return;
    SetLayer(saved_layer_);
    panning_ = false;
}

void PanArea::OnDrag(const Point& point)
{
    if (!IsEnabled())
        return;
    if (!panning_) {
        saved_layer_ = GetLayer();
        SetLayer(100);
        panning_ = true;
    }
    const float wanted = std::clamp(pan_ + (point.y - last_.y), minimum_, maximum_);
    const float move = wanted - pan_;
    pan_ = wanted;
    if (Node* node = panned_.get()) {
        vadu::math::Vector3 position = node->get_position();
        position.y += move;
        node->set_position(position);
    }
    last_ = point;
    panned.Emit();
}

} // namespace game::controls
