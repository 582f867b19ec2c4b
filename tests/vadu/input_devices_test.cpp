#include "vadu/input_windows.h"

#include "platform/headless/script.h"
#include "platform/window.h"
#include "vadu/exception.h"
#include "vadu/view_fit.h"
#include "vadu/window.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace input_devices_test_file {

namespace windows = vadu::input::hard::windows;
namespace vk = platform::vk;
namespace view = vadu::view;
using vadu::input::Event;
using vadu::input::Manager;

std::string to_std(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

// "Device control kind" for buttons, keys and axes; "Device char <unit>" for characters.
std::string describe(const Event& event)
{
    if (event.kind == Event::character) {
        std::string text = to_std(event.device) + " char";
        for (size_t i = 0; i < event.text.size(); ++i)
            text += " " + std::to_string(static_cast<unsigned>(event.text[i]));
        return event.control.empty() ? text : text + " with control " + to_std(event.control);
    }
    return to_std(event.device) + " " + to_std(event.control) + " " + std::to_string(event.kind);
}

class RecordingListener : public vadu::input::Listener {
public:
    void on_event(Event& event) override
    {
        EXPECT_EQ(event.value, 0.0);
        EXPECT_EQ(event.second_value, 0.0);
        events.push_back(describe(event));
    }
    std::vector<std::string> events;
};

// Headless state is reset around each test, so that scripted keys do not leak.
class WindowsInput : public ::testing::Test {
protected:
    void SetUp() override { platform::headless::reset(); }
    void TearDown() override { platform::headless::reset(); }
};

// The most-derived creator: a 512 by 384 window and both devices.
class WindowsDevices : public WindowsInput {
protected:
    void SetUp() override
    {
        WindowsInput::SetUp();
        creator = std::make_unique<windows::Creator>(true, true);
        listener = std::make_unique<RecordingListener>();
    }
    void TearDown() override
    {
        listener.reset();
        creator.reset();
        WindowsInput::TearDown();
    }

    // What the listener hears in the next dispatch.
    std::vector<std::string> dispatched()
    {
        listener->events.clear();
        Manager::dispatch();
        return listener->events;
    }

    static double axis_x() { return Manager::get_value("Mouse", "Axis_X"); }
    static double axis_y() { return Manager::get_value("Mouse", "Axis_Y"); }

    std::unique_ptr<windows::Creator> creator;
    std::unique_ptr<RecordingListener> listener;
};

TEST_F(WindowsDevices, MoveReportsEachCoordinateThatChanged)
{
    struct Step {
        int32_t x, y;
        std::vector<std::string> events;
    } const steps[] = {
        {1, 0, {"Mouse Axis_X 1"}}, // one pixel from the start
        {1, 0, {}},                 // the same position
        {1, 7, {"Mouse Axis_Y 1"}}, // only y
        {2, 7, {"Mouse Axis_X 1"}},
        {40, 30, {"Mouse Axis_X 1", "Mouse Axis_Y 1"}},
        {0, 0, {"Mouse Axis_X 1", "Mouse Axis_Y 1"}},
        {65535, 65535, {"Mouse Axis_X 1", "Mouse Axis_Y 1"}},
        {65535, 65535, {}},
    };
    for (const Step& step : steps) {
        windows::mouse_move(step.x, step.y);
        EXPECT_EQ(dispatched(), step.events) << "move to " << step.x << "," << step.y;
    }
}

TEST_F(WindowsDevices, AxesSpanTheClientAreaWithYDownwards)
{
    EXPECT_EQ(axis_x(), -1.0) << "before any move";
    EXPECT_EQ(axis_y(), -1.0) << "before any move";
    struct Case {
        int32_t x, y;
        double axis_x, axis_y;
    } const cases[] = {
        {0, 0, -1.0, -1.0}, {256, 192, 0.0, 0.0}, {512, 384, 1.0, 1.0},
        {128, 288, -0.5, 0.5}, {0, 384, -1.0, 1.0}, {1024, 0, 3.0, -1.0}, // outside while captured
    };
    for (const Case& c : cases) {
        windows::mouse_move(c.x, c.y);
        EXPECT_DOUBLE_EQ(axis_x(), c.axis_x) << c.x << "," << c.y;
        EXPECT_DOUBLE_EQ(axis_y(), c.axis_y) << c.x << "," << c.y;
    }
}

// A minimised window has a client area of 0: the pointer has no position on it.
TEST_F(WindowsDevices, ZeroClientSideGivesZeroForItsAxis)
{
    windows::mouse_move(100, 75);
    struct Case {
        int32_t height, width;
        double axis_x, axis_y;
    } const cases[] = {
        {0, 0, 0.0, 0.0},
        {100, 0, 0.0, 0.5},
        {0, 400, -0.5, 0.0},
        {384, 512, 100.0 / 512 * 2 - 1, 75.0 / 384 * 2 - 1}, // restored
    };
    for (const Case& c : cases) {
        windows::mouse_set_client_size(c.height, c.width);
        EXPECT_DOUBLE_EQ(axis_x(), c.axis_x) << c.height << "x" << c.width;
        EXPECT_DOUBLE_EQ(axis_y(), c.axis_y) << c.height << "x" << c.width;
    }
}

// With scenes laid out for a 960 × 640 window, a client of another shape shows them at one
// scale both ways, centred: the axes reach past ±1 on the sides that show more, and a 3:2
// client (of any size) keeps them at ±1.
TEST_F(WindowsDevices, AxesReachAsFarAsAClientOfAnotherShapeShowsOfTheLayout)
{
    view::set_layout_size(960, 640);
    struct Case {
        int32_t width, height;
        int32_t x, y;
        double axis_x, axis_y;
    } const cases[] = {
        {960, 640, 960, 0, 1.0, -1.0},
        {1440, 960, 360, 720, -0.5, 0.5},
        {1280, 800, 1280, 800, 1280.0 / 800 / 1.5, 1.0},   // 16:10, wider
        {1920, 1080, 0, 540, -1920.0 / 1080 / 1.5, 0.0},   // 16:9
        {1280, 800, 640 + 600, 400 - 200, 0.9375 * 1280.0 / 800 / 1.5, -0.5},
        {1024, 768, 512, 768, 0.0, 1.5 / (1024.0 / 768)},  // 4:3, taller
        {0, 0, 10, 10, 0.0, 0.0},                           // minimised
    };
    for (const Case& c : cases) {
        windows::mouse_set_client_size(c.height, c.width);
        windows::mouse_move(c.x, c.y);
        EXPECT_NEAR(axis_x(), c.axis_x, 1e-12) << c.width << "x" << c.height << " at " << c.x << "," << c.y;
        EXPECT_NEAR(axis_y(), c.axis_y, 1e-12) << c.width << "x" << c.height << " at " << c.x << "," << c.y;
    }
    view::set_layout_size(0, 0);
    windows::mouse_set_client_size(800, 1280);
    windows::mouse_move(1280, 800);
    EXPECT_EQ(axis_x(), 1.0) << "without a layout the client stretches the view";
    EXPECT_EQ(axis_y(), 1.0);
}

TEST_F(WindowsDevices, ButtonIndexZeroIsLeftAndEveryOtherIsRight)
{
    struct Case {
        int index;
        const char* control;
    } const cases[] = {{0, "Left Button"}, {1, "Right Button"}, {2, "Right Button"}, {-1, "Right Button"}};
    for (const Case& c : cases) {
        windows::mouse_button_down(c.index);
        windows::mouse_button_up(c.index);
        const std::string name = std::string("Mouse ") + c.control;
        EXPECT_EQ(dispatched(), (std::vector<std::string>{name + " 1", name + " 0"})) << "index " << c.index;
    }
}

TEST_F(WindowsDevices, ButtonValuesFollowTheHeldState)
{
    struct Case {
        bool left, right;
    } const cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    for (const Case& c : cases) {
        platform::headless::set_key_state(vk::LBUTTON, c.left);
        platform::headless::set_key_state(vk::RBUTTON, c.right);
        EXPECT_EQ(Manager::get_value("Mouse", "Left Button"), c.left ? 1.0 : 0.0);
        EXPECT_EQ(Manager::get_value("Mouse", "Right Button"), c.right ? 1.0 : 0.0);
        EXPECT_EQ(Manager::get_value("Mouse", "Middle Button"), 0.0);
    }
}

TEST_F(WindowsDevices, ControlKinds)
{
    struct Case {
        const char* device;
        const char* control;
        int32_t kind;
    } const cases[] = {
        {"Mouse", "Axis_X", 2},       {"Mouse", "Axis_Y", 2}, {"Mouse", "Left Button", 1},
        {"Mouse", "Right Button", 1}, {"Mouse", "axis_x", 0}, {"Mouse", "A", 0},
        {"Keyboard", "A", 1},         {"Keyboard", "Key#0", 1}, {"Keyboard", "F12", 1},
        {"Keyboard", "KeyNone", 0},   {"Keyboard", "a", 0},   {"Keyboard", "Axis_X", 0},
    };
    for (const Case& c : cases) {
        const vadu::input::hard::Hardware* device = Manager::find_device(c.device);
        ASSERT_NE(device, nullptr) << c.device;
        EXPECT_EQ(device->get_control_kind(c.control), c.kind) << c.device << " " << c.control;
        EXPECT_EQ(to_std(device->get_name()), c.device);
        EXPECT_EQ(device->get_name_atom(), vadu::Atom(c.device));
    }
}

TEST_F(WindowsDevices, KeyEventsCarryTheKeyName)
{
    struct Case {
        uint32_t code;
        const char* name;
    } const cases[] = {
        {27, "Esc"},      {13, "Enter"},     {37, "Left"},  {38, "Up"},       {39, "Right"},
        {40, "Down"},     {32, "Space"},     {46, "Delete"}, {8, "BackSpace"}, {16, "Shift"},
        {17, "Ctrl"},     {107, "Plus"},     {109, "Minus"}, {9, "Tab"},       {112, "F1"},
        {117, "F6"},      {123, "F12"},      {48, "0"},      {57, "9"},        {65, "A"},
        {90, "Z"},        {0, "Key#0"},      {1, "Key#1"},   {97, "Key#97"},   {124, "Key#124"},
        {255, "Key#255"}, {256, "KeyNone"},  {0xFFFFFFFF, "KeyNone"},
    };
    for (const Case& c : cases) {
        windows::key_down(c.code);
        windows::key_up(c.code);
        const std::string name = std::string("Keyboard ") + c.name;
        EXPECT_EQ(dispatched(), (std::vector<std::string>{name + " 1", name + " 0"})) << "code " << c.code;
    }
}

TEST_F(WindowsDevices, EveryCodeUpTo255HasItsOwnName)
{
    const auto* keyboard = dynamic_cast<const windows::Keyboard*>(Manager::find_device("Keyboard"));
    ASSERT_NE(keyboard, nullptr);
    std::set<std::string> names;
    for (uint32_t code = 0; code < 256; ++code) {
        const vadu::String& name = keyboard->get_key_name(code);
        EXPECT_EQ(keyboard->get_control_kind(name), 1) << code;
        names.insert(to_std(name));
    }
    EXPECT_EQ(names.size(), 256u);
    EXPECT_EQ(names.count("KeyNone"), 0u);
}

TEST_F(WindowsDevices, KeyValueFollowsTheHeldStateOfItsCode)
{
    platform::headless::set_key_state('A', true);
    platform::headless::set_key_state(vk::F1, true);
    struct Case {
        const char* control;
        double value;
    } const cases[] = {
        {"A", 1.0}, {"F1", 1.0}, {"B", 0.0}, {"F2", 0.0}, {"Key#0", 0.0},
        // Not a key name: asks for code 0, which is up.
        {"KeyNone", 0.0}, {"a", 0.0}, {"", 0.0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Manager::get_value("Keyboard", c.control), c.value) << c.control;
}

TEST_F(WindowsDevices, CharactersArriveAsOneUnitWithoutControl)
{
    windows::key_char(u'a');
    windows::key_char(u'\u20ac');
    windows::key_char(u'\0');
    EXPECT_EQ(dispatched(),
              (std::vector<std::string>{"Keyboard char 97", "Keyboard char 8364", "Keyboard char 0"}));
}

TEST_F(WindowsDevices, SecondCreatorFailsAndLeavesTheDevicesWorking)
{
    EXPECT_THROW(windows::Creator(true, true), vadu::Gluck);
    windows::mouse_button_down(0);
    windows::key_down(65);
    EXPECT_EQ(dispatched(), (std::vector<std::string>{"Mouse Left Button 1", "Keyboard A 1"}));
}

TEST_F(WindowsInput, CreatorMakesOnlyTheDevicesAskedFor)
{
    struct Case {
        bool keyboard, mouse;
    } const cases[] = {{true, false}, {false, true}, {false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("keyboard ") + (c.keyboard ? "yes" : "no") + ", mouse " + (c.mouse ? "yes" : "no"));
        windows::Creator creator(c.keyboard, c.mouse);
        RecordingListener listener;
        EXPECT_EQ(Manager::find_device("Keyboard") != nullptr, c.keyboard);
        EXPECT_EQ(Manager::find_device("Mouse") != nullptr, c.mouse);
        windows::key_down(65);
        windows::key_char(u'a');
        windows::mouse_move(5, 5);
        windows::mouse_set_client_size(10, 10);
        windows::mouse_button_down(0);
        Manager::dispatch();
        EXPECT_EQ(listener.events.size(), (c.keyboard ? 2u : 0u) + (c.mouse ? 3u : 0u));
    }
    // No devices at all: the forwarders do nothing.
    windows::key_down(65);
    windows::key_up(65);
    windows::key_char(u'a');
    windows::mouse_move(5, 5);
    windows::mouse_set_client_size(10, 10);
    windows::mouse_button_down(0);
    windows::mouse_button_up(0);
}

// Not most-derived: the window comes from the class that builds it.
class GameWindow : public virtual vadu::WindowCreator, public windows::Creator {
public:
    GameWindow() : vadu::WindowCreator(320, 200, false), windows::Creator(false, true) {}
};

TEST_F(WindowsInput, CreatorGivesTheMouseTheWindowsClientSize)
{
    GameWindow game;
    const platform::Rect client = platform::get_client_rect(game.get_window().window);
    ASSERT_EQ(client.right - client.left, 320);
    ASSERT_EQ(client.bottom - client.top, 200);
    windows::mouse_move(320, 200);
    EXPECT_DOUBLE_EQ(Manager::get_value("Mouse", "Axis_X"), 1.0);
    EXPECT_DOUBLE_EQ(Manager::get_value("Mouse", "Axis_Y"), 1.0);
    windows::mouse_move(80, 150);
    EXPECT_DOUBLE_EQ(Manager::get_value("Mouse", "Axis_X"), -0.5);
    EXPECT_DOUBLE_EQ(Manager::get_value("Mouse", "Axis_Y"), 0.5);
}

// The whole road: window messages, the devices, the queue, and the next frame's dispatch.
class InputApplication : public vadu::Application, public virtual windows::Creator {
public:
    InputApplication() : vadu::WindowCreator(400, 200, true), windows::Creator(true, true), vadu::Application("Input")
    {
    }

    bool Update(double seconds) override
    {
        ++frame;
        Manager::dispatch();
        if (on_frame)
            on_frame(frame);
        vadu::Application::Update(seconds);
        return frame < last_frame;
    }

    int frame = 0;
    int last_frame = 1;
    std::function<void(int frame)> on_frame;
};

class FrameListener : public vadu::input::Listener {
public:
    explicit FrameListener(const InputApplication& application) : application_(application) {}
    void on_event(Event& event) override
    {
        events.push_back("frame " + std::to_string(application_.frame) + ": " + describe(event));
    }
    std::vector<std::string> events;

private:
    const InputApplication& application_;
};

TEST_F(WindowsInput, WindowInputReachesListenersInTheNextFramesDispatch)
{
    platform::headless::set_frame_limit(1000);
    InputApplication application;
    FrameListener listener(application);
    const platform::WindowHandle window = application.get_window().window;
    std::vector<std::pair<double, double>> axes;
    auto read_axes = [&axes] {
        axes.emplace_back(Manager::get_value("Mouse", "Axis_X"), Manager::get_value("Mouse", "Axis_Y"));
    };

    platform::headless::push_mouse_move(window, 300, 50);
    platform::headless::push_mouse_button(window, 1, true, 300, 50);
    platform::headless::push_key(window, 'A', true);
    platform::headless::push_char(window, 'a');
    application.last_frame = 3;
    application.on_frame = [&](int frame) {
        read_axes();
        if (frame == 1)
            platform::headless::push_minimize(window);
        else if (frame == 2)
            platform::headless::push_size(window, 400, 200);
    };
    application.run_main_loop();

    EXPECT_EQ(listener.events, (std::vector<std::string>{"frame 1: Mouse Axis_X 1", "frame 1: Mouse Axis_Y 1",
                                                         "frame 1: Mouse Right Button 1", "frame 1: Keyboard A 1",
                                                         "frame 1: Keyboard char 97"}));
    EXPECT_EQ(Manager::get_value("Mouse", "Right Button"), 1.0);
    EXPECT_EQ(Manager::get_value("Keyboard", "A"), 1.0);
    ASSERT_EQ(axes.size(), 3u);
    EXPECT_DOUBLE_EQ(axes[0].first, 0.5);
    EXPECT_DOUBLE_EQ(axes[0].second, -0.5);
    EXPECT_EQ(axes[1], std::make_pair(0.0, 0.0)) << "minimised";
    EXPECT_DOUBLE_EQ(axes[2].first, 0.5) << "restored";
    EXPECT_DOUBLE_EQ(axes[2].second, -0.5) << "restored";
}

} // namespace
