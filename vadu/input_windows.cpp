#include "vadu/input_windows.h"

#include "platform/window.h"
#include "vadu/exception.h"
#include "vadu/view_fit.h"

#include <cmath>
#include <memory>

namespace vadu::input::hard::windows {
namespace {

Keyboard* keyboard = nullptr;
Mouse* mouse = nullptr;

// Rather than a coordinate, a move only tells that the pointer moved.
constexpr double move_threshold = 0.001;

bool is_held(int virtual_key)
{
    return (platform::get_async_key_state(virtual_key) & 0x8000) != 0;
}

const char* button_name(int index)
{
    return index == 0 ? "Left Button" : "Right Button";
}

// A coordinate over the client size, mapped to -1..1. A side of 0 (a minimised window)
// has no position on it.
double axis_position(int32_t position, double size)
{
    if (!(size > 0.0))
        return 0.0;
    return static_cast<double>(position) / size * 2.0 - 1.0;
}

} // namespace

// --- Mouse ---------------------------------------------------------------------------

Mouse::Mouse() = default;
Mouse::~Mouse() = default;

String Mouse::get_name() const
{
    return "Mouse";
}

Atom Mouse::get_name_atom() const
{
    return Atom("Mouse");
}

double Mouse::get_value(const String& control) const
{
    // In the frame's view of the scene: past ±1 where a frame wider or taller than the
    // layout shows more than the camera's own view.
    if (control == "Axis_X")
        return axis_position(x_, client_width_) * view::frame_extent(client_width_, client_height_).x;
    if (control == "Axis_Y")
        return axis_position(y_, client_height_) * view::frame_extent(client_width_, client_height_).y;
    if (control == "Left Button")
        return is_held(platform::vk::LBUTTON) ? 1.0 : 0.0;
    if (control == "Right Button")
        return is_held(platform::vk::RBUTTON) ? 1.0 : 0.0;
    return 0.0;
}

int32_t Mouse::get_control_kind(const String& control) const
{
    if (control == "Axis_X" || control == "Axis_Y")
        return axis;
    if (control == "Left Button" || control == "Right Button")
        return button;
    return no_control;
}

void Mouse::on_button_down(int index)
{
    Manager::push_event(Event("Mouse", button_name(index), true, 0.0));
}

void Mouse::on_button_up(int index)
{
    Manager::push_event(Event("Mouse", button_name(index), false, 0.0));
}

void Mouse::on_move(int32_t x, int32_t y)
{
    x_ = x;
    y_ = y;
    // In double: the difference of two extreme coordinates does not fit 32 bits.
    if (std::abs(static_cast<double>(x_) - previous_x_) > move_threshold)
        Manager::push_event(Event("Mouse", "Axis_X", true, 0.0));
    if (std::abs(static_cast<double>(y_) - previous_y_) > move_threshold)
        Manager::push_event(Event("Mouse", "Axis_Y", true, 0.0));
    previous_x_ = x_;
    previous_y_ = y_;
}

void Mouse::set_client_size(double height, double width)
{
    client_height_ = height;
    client_width_ = width;
}

// --- Keyboard --------------------------------------------------------------------------

Keyboard::Keyboard() : fallback_{0, "KeyNone"}
{
    namespace vk = platform::vk;
    const Entry named[] = {
        {vk::ESCAPE, "Esc"},     {vk::RETURN, "Enter"},     {vk::LEFT, "Left"},    {vk::UP, "Up"},
        {vk::RIGHT, "Right"},    {vk::DOWN, "Down"},        {vk::SPACE, "Space"},  {vk::DELETE_KEY, "Delete"},
        {vk::BACK, "BackSpace"}, {vk::SHIFT, "Shift"},      {vk::CONTROL, "Ctrl"}, {vk::ADD, "Plus"},
        {vk::SUBTRACT, "Minus"}, {vk::TAB, "Tab"},
    };
    table_.reserve(256);
    table_.assign(std::begin(named), std::end(named));
    for (int32_t number = 1; number <= 12; ++number)
        table_.push_back({vk::F1 + number - 1, String("F").append_number(number)});
    for (char digit = '0'; digit <= '9'; ++digit)
        table_.push_back({digit, String(&digit, &digit + 1)});
    for (char letter = 'A'; letter <= 'Z'; ++letter)
        table_.push_back({letter, String(&letter, &letter + 1)});

    bool named_code[256] = {};
    for (const Entry& entry : table_)
        named_code[entry.code] = true;
    for (int32_t code = 0; code < 256; ++code) {
        if (!named_code[code])
            table_.push_back({code, String("Key#").append_number(code)});
    }
}

Keyboard::~Keyboard() = default;

String Keyboard::get_name() const
{
    return "Keyboard";
}

Atom Keyboard::get_name_atom() const
{
    return Atom("Keyboard");
}

const String& Keyboard::get_key_name(uint32_t code) const
{
    for (const Entry& entry : table_) {
        if (static_cast<uint32_t>(entry.code) == code)
            return entry.name;
    }
    return fallback_.name;
}

double Keyboard::get_value(const String& control) const
{
    int32_t code = fallback_.code;
    for (const Entry& entry : table_) {
        if (entry.name == control) {
            code = entry.code;
            break;
        }
    }
    return is_held(code) ? 1.0 : 0.0;
}

int32_t Keyboard::get_control_kind(const String& control) const
{
    for (const Entry& entry : table_) {
        if (entry.name == control)
            return button;
    }
    return no_control;
}

void Keyboard::on_key_down(uint32_t code)
{
    Manager::push_event(Event("Keyboard", get_key_name(code), true, 0.0));
}

void Keyboard::on_key_up(uint32_t code)
{
    Manager::push_event(Event("Keyboard", get_key_name(code), false, 0.0));
}

void Keyboard::on_char(char16_t unit)
{
    Manager::push_event(Event("Keyboard", WString(&unit, &unit + 1), 0.0));
}

// --- Creator ---------------------------------------------------------------------------

Creator::Creator(bool with_keyboard, bool with_mouse) : WindowCreator(512, 384, true)
{
    if (keyboard || mouse)
        throw Gluck("vadu::input::hard::windows::Creator::Creator", "keyboard or mouse already exist");
    std::unique_ptr<Keyboard> new_keyboard(with_keyboard ? new Keyboard : nullptr);
    std::unique_ptr<Mouse> new_mouse(with_mouse ? new Mouse : nullptr);
    if (new_mouse) {
        const platform::Rect client = platform::get_client_rect(get_window().window);
        new_mouse->set_client_size(client.bottom - client.top, client.right - client.left);
    }
    keyboard = new_keyboard.release();
    mouse = new_mouse.release();
}

Creator::~Creator()
{
    delete mouse;
    mouse = nullptr;
    delete keyboard;
    keyboard = nullptr;
}

// --- forwarders ------------------------------------------------------------------------

void mouse_button_down(int index)
{
    if (mouse)
        mouse->on_button_down(index);
}

void mouse_button_up(int index)
{
    if (mouse)
        mouse->on_button_up(index);
}

void mouse_move(int32_t x, int32_t y)
{
    if (mouse)
        mouse->on_move(x, y);
}

void mouse_set_client_size(int32_t height, int32_t width)
{
    if (mouse)
        mouse->set_client_size(height, width);
}

void key_down(uint32_t code)
{
    if (keyboard)
        keyboard->on_key_down(code);
}

void key_up(uint32_t code)
{
    if (keyboard)
        keyboard->on_key_up(code);
}

void key_char(char16_t unit)
{
    if (keyboard)
        keyboard->on_char(unit);
}

} // namespace vadu::input::hard::windows
