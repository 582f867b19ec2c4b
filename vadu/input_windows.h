#pragma once

// The window's mouse and keyboard. The base window-message handler feeds them through
// the forwarders below; both devices push events that carry the value 0, and
// positions and key states are read back with get_value.

#include "vadu/input.h"
#include "vadu/window.h"

#include <cstdint>
#include <vector>

namespace vadu::input::hard::windows {

// "Mouse": "Left Button", "Right Button" (buttons), "Axis_X", "Axis_Y" (axes).
class Mouse : public Hardware {
public:
    Mouse();
    ~Mouse() override;

    String get_name() const override;
    Atom get_name_atom() const override;
    // The axes span the client area from -1 to 1, y growing downwards; 0 while that
    // side of the client area is 0 (a minimised window). Buttons: 1.0 while held.
    double get_value(const String& control) const override;
    int32_t get_control_kind(const String& control) const override;

    // Index 0 is the left button; every other index counts as the right one.
    void on_button_down(int index);
    void on_button_up(int index);
    // Client pixels; pushes an axis event for each coordinate that changed.
    void on_move(int32_t x, int32_t y);
    void set_client_size(double height, double width);

private:
    int32_t x_ = 0;
    int32_t y_ = 0;
    int32_t previous_x_ = 0;
    int32_t previous_y_ = 0;
    double client_height_ = 0.0;
    double client_width_ = 0.0;
};

// "Keyboard": a control per virtual-key code 0 to 255, named "Esc", "A", "F1", ...,
// or "Key#" and the code.
class Keyboard : public Hardware {
public:
    Keyboard();
    ~Keyboard() override;

    String get_name() const override;
    Atom get_name_atom() const override;
    // 1.0 while the named key is held; a name outside the table asks for code 0.
    double get_value(const String& control) const override;
    int32_t get_control_kind(const String& control) const override;

    void on_key_down(uint32_t code);
    void on_key_up(uint32_t code);
    // One UTF-16 unit.
    void on_char(char16_t unit);

    // "KeyNone" for a code outside the table (above 255).
    const String& get_key_name(uint32_t code) const;

private:
    struct Entry {
        int32_t code;
        String name;
    };
    Entry fallback_;
    std::vector<Entry> table_;
};

// Makes the keyboard and the mouse it is asked for (at most one of each at a time)
// and gives the mouse the window's client size. Built most-derived, it makes a 512 by
// 384 resizable window and the input managers first.
class Creator : public virtual WindowCreator,
                public virtual vadu::HardwareManager<Hardware>::Creator,
                public virtual Manager::Creator {
public:
    // Throws Gluck when a keyboard or a mouse exists already.
    Creator(bool keyboard, bool mouse);
    ~Creator() override;
};

// Forwarders for the window-message handler; each does nothing while its device does
// not exist. Window thread only.
void mouse_button_down(int index);
void mouse_button_up(int index);
void mouse_move(int32_t x, int32_t y);
void mouse_set_client_size(int32_t height, int32_t width);
void key_down(uint32_t code);
void key_up(uint32_t code);
void key_char(char16_t unit);

} // namespace vadu::input::hard::windows
