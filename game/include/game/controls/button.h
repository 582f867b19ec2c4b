#pragma once

// The control type "Button": visual states "normal", "up" and "disable", and signals for
// press, release and click.

#include "game/controls/control.h"
#include "game/signal.h"

namespace game::controls {

class Button;

class ButtonImpl : public ControlImpl {
public:
    explicit ButtonImpl(Control& owner);
    ~ButtonImpl() override;

    // "States", then the base's children.
    bool OnNode(vadu::xml::Provider& provider, const vadu::String& name) override;
    // Plays the current state's animation once to its end, then the base update.
    void Update(double seconds) override;
    ControlStatesImpl* GetStates() override;
    // Binds, then makes the named node the states' animation root. Throws vadu::Gluck
    // "Failed to find node \"X\"" when it does not exist.
    void OnNodeNameChanged() override;
    // "disable" or "normal", then the owner's flag.
    void SetEnabled(bool enabled) override;
    ButtonImpl* Self() { return this; }

    void OnPress(const input::Point& point) override;
    void OnRelease(const input::Point& point) override;
    void OnEnter() override;
    void OnLeave() override;
    void OnClick(const input::Point& point) override;

    Signal<void(Control*)>& GetClickSignal() noexcept { return click_; }
    Signal<void()>& GetPressSignal() noexcept { return press_; }
    Signal<void()>& GetReleaseSignal() noexcept { return release_; }
    Signal<void(Control*, const input::Point&)>& GetClickAtSignal() noexcept { return click_at_; }
    // A click counts only inside x, y, width, height (edges included).
    void SetClickRectangle(float x, float y, float width, float height) { click_rect_ = {x, y, width, height}; }

private:
    std::unique_ptr<ControlStatesImpl> states_;
    Signal<void(Control*)> click_;
    Signal<void()> press_;
    Signal<void()> release_;
    Signal<void(Control*, const input::Point&)> click_at_;
    std::array<float, 4> click_rect_{-44444.0f, -44444.0f, 99999.0f, 99999.0f};
};

class Button : public Control {
public:
    Button();
    ~Button() override;
    ControlImpl* GetImpl() override { return impl_.get(); }
    ButtonImpl* GetButtonImpl() const noexcept { return impl_.get(); }
    vadu::Atom GetTypeName() const override;

private:
    std::unique_ptr<ButtonImpl> impl_;
};

// The control as a button when its type name is "Button"; else null.
ButtonImpl* as_button(Control* control);

} // namespace game::controls
