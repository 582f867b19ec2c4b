#include "platform/headless/script.h"
#include "platform/sdl/translate.h"
#include "platform/window.h"

#include <SDL2/SDL_keycode.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace platform;

std::vector<Message> received;
MessageResult answer_for_default = 0;

MessageResult recording_procedure(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    received.push_back({window, message, wparam, lparam});
    if (answer_for_default)
        return answer_for_default;
    return default_window_procedure(window, message, wparam, lparam);
}

class HeadlessWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        headless::reset();
        headless::set_frame_limit(0);
        received.clear();
        answer_for_default = 0;
        ASSERT_TRUE(register_window_class("test window", recording_procedure));
        window = create_window("test window", "Title", ws::OVERLAPPEDWINDOW, 10, 20, 200, 150);
        ASSERT_NE(window, nullptr);
    }

    void TearDown() override
    {
        destroy_window(window);
        headless::reset();
    }

    // Takes every queued message and dispatches it; returns them in order.
    std::vector<Message> drain()
    {
        std::vector<Message> taken;
        Message message;
        while (peek_message(&message)) {
            get_message(&message);
            taken.push_back(message);
            translate_message(message);
            dispatch_message(message);
        }
        return taken;
    }

    WindowHandle window = nullptr;
};

TEST(WindowFrames, AdjustedRectangleGivesExactlyTheRequestedClientArea)
{
    headless::reset();
    ASSERT_TRUE(register_window_class("frames", recording_procedure));
    struct Case {
        uint32_t style;
        int32_t grow_x;
        int32_t grow_y;
    } const cases[] = {
        {ws::OVERLAPPEDWINDOW, 16, 40},                          // sizing frame and caption
        {ws::CAPTION | ws::SYSMENU | ws::MINIMIZEBOX, 6, 30},    // thin frame and caption
        {ws::POPUP, 0, 0},                                       // nothing around it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        for (const bool menu : {false, true}) {
            const Rect outer = adjust_window_rect({0, 0, 512, 512}, c.style, menu);
            EXPECT_EQ(outer.right - outer.left, 512 + c.grow_x);
            EXPECT_EQ(outer.bottom - outer.top, 512 + c.grow_y);
            const WindowHandle w = create_window("frames", "", c.style, 0, 0, outer.right - outer.left,
                                                 outer.bottom - outer.top);
            const Rect client = get_client_rect(w);
            EXPECT_EQ(client.right, 512);
            EXPECT_EQ(client.bottom, 512);
            destroy_window(w);
        }
    }
}

TEST_F(HeadlessWindow, CreationFailsForUnknownClassAndOnceWhenScripted)
{
    EXPECT_EQ(create_window("no such class", "", ws::POPUP, 0, 0, 10, 10), nullptr);
    headless::fail_next_window_creation();
    EXPECT_EQ(create_window("test window", "", ws::POPUP, 0, 0, 10, 10), nullptr);
    const WindowHandle second = create_window("test window", "", ws::POPUP, 0, 0, 10, 10);
    EXPECT_NE(second, nullptr);
    EXPECT_NE(second, window);
    destroy_window(second);
}

TEST_F(HeadlessWindow, WindowKeepsItsAttributes)
{
    EXPECT_EQ(get_window_text(window), "Title");
    set_window_text(window, "Other");
    EXPECT_EQ(get_window_text(window), "Other");

    int anchor = 0;
    EXPECT_EQ(get_window_user_data(window), nullptr);
    set_window_user_data(window, &anchor);
    EXPECT_EQ(get_window_user_data(window), &anchor);

    EXPECT_EQ(get_window_style(window), ws::OVERLAPPEDWINDOW);
    EXPECT_EQ(get_window_ex_style(window), 0u);
    const Rect client_before = get_client_rect(window);
    set_window_style(window, ws::POPUP);
    set_window_ex_style(window, ws::EX_TOPMOST);
    EXPECT_EQ(get_window_style(window), ws::POPUP);
    EXPECT_EQ(get_window_ex_style(window), ws::EX_TOPMOST);
    // The client area keeps its size; the outer rectangle loses the frame.
    const Rect client_after = get_client_rect(window);
    EXPECT_EQ(client_after.right, client_before.right);
    EXPECT_EQ(client_after.bottom, client_before.bottom);
    const Rect outer = get_window_rect(window);
    EXPECT_EQ(outer.right - outer.left, client_after.right);
    EXPECT_TRUE(drain().empty());
}

TEST_F(HeadlessWindow, DestroySendsDestroyAndForgetsTheWindow)
{
    ASSERT_TRUE(post_message(window, wm::USER, 0, 0));
    received.clear();
    EXPECT_TRUE(destroy_window(window));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, wm::DESTROY);

    EXPECT_FALSE(is_window(window));
    EXPECT_FALSE(destroy_window(window));
    EXPECT_FALSE(post_message(window, wm::USER, 0, 0));
    // What was queued before is dropped at dispatch.
    received.clear();
    EXPECT_EQ(drain().size(), 1u);
    EXPECT_TRUE(received.empty());
}

TEST_F(HeadlessWindow, MoveSendsSizeOnlyWhenTheClientSizeChanges)
{
    const Rect outer = get_window_rect(window);
    const int32_t width = outer.right - outer.left;
    const int32_t height = outer.bottom - outer.top;
    struct Case {
        int32_t x, y, width, height;
        bool sends_size;
    } const cases[] = {
        {outer.left, outer.top, width, height, false}, // same placement
        {300, 400, width, height, false},              // moved only
        {300, 400, width + 10, height + 20, true},     // resized
        {0, 0, width + 10, height + 20, false},        // moved back, size kept
    };
    for (const Case& c : cases) {
        received.clear();
        move_window(window, c.x, c.y, c.width, c.height);
        const Rect moved = get_window_rect(window);
        EXPECT_EQ(moved.left, c.x);
        EXPECT_EQ(moved.top, c.y);
        if (c.sends_size) {
            ASSERT_EQ(received.size(), 1u);
            EXPECT_EQ(received[0].message, wm::SIZE);
            EXPECT_EQ(received[0].wparam, SIZE_RESTORED);
            EXPECT_EQ(received[0].lparam, make_lparam(200 - 16 + 10, 150 - 40 + 20));
        } else {
            EXPECT_TRUE(received.empty());
        }
    }
    EXPECT_TRUE(drain().empty());
}

TEST_F(HeadlessWindow, ShowActivatesAndPaintsOnceUntilShownAgain)
{
    update_window(window); // hidden: nothing to paint
    EXPECT_TRUE(received.empty());

    EXPECT_FALSE(show_window(window, sw::SHOWNORMAL));
    update_window(window);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, wm::PAINT);
    update_window(window); // the default procedure validated it
    EXPECT_EQ(received.size(), 1u);

    const std::vector<Message> queued = drain();
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].message, wm::ACTIVATE);
    EXPECT_EQ(queued[0].wparam, WA_ACTIVE);

    EXPECT_TRUE(show_window(window, sw::SHOWNORMAL));
    EXPECT_TRUE(drain().empty()); // already active
}

TEST_F(HeadlessWindow, PeekLeavesGetTakesAndQuitEndsGet)
{
    post_message(window, wm::USER + 7, 1, 2);
    post_message(nullptr, wm::QUIT, 0, 0);
    Message message;
    ASSERT_TRUE(peek_message(&message));
    EXPECT_EQ(message.message, wm::USER + 7);
    ASSERT_TRUE(peek_message(&message));
    EXPECT_EQ(message.message, wm::USER + 7);

    ASSERT_TRUE(get_message(&message));
    EXPECT_EQ(message.window, window);
    EXPECT_EQ(message.message, wm::USER + 7);
    EXPECT_EQ(message.wparam, 1u);
    EXPECT_EQ(message.lparam, 2);
    EXPECT_FALSE(get_message(&message));
    EXPECT_EQ(message.message, wm::QUIT);
}

TEST_F(HeadlessWindow, FilteredPeekRemovesOnlyWhatMatches)
{
    post_message(window, wm::USER + 1, 0, 0);
    post_message(window, wm::USER + 2, 0, 0);
    post_message(window, wm::USER + 1, 0, 0);
    Message message;
    int removed = 0;
    while (peek_message(&message, window, wm::USER + 1, wm::USER + 1, true))
        ++removed;
    EXPECT_EQ(removed, 2);
    const std::vector<Message> rest = drain();
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0].message, wm::USER + 2);
    EXPECT_EQ(headless::idle_turns(), 1); // filtered peeks are no idle turns
}

TEST_F(HeadlessWindow, TranslateAddsTheCharacterOfControlKeysFirst)
{
    struct Case {
        int key;
        bool gives_char;
    } const cases[] = {
        {vk::RETURN, true}, {vk::BACK, true}, {vk::TAB, true}, {vk::ESCAPE, true},
        {'A', false},       {vk::LEFT, false}, {vk::SHIFT, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        headless::push_key(window, c.key, true);
        headless::push_key(window, c.key, false);
        const std::vector<Message> taken = drain();
        ASSERT_EQ(taken.size(), c.gives_char ? 3u : 2u);
        EXPECT_EQ(taken[0].message, wm::KEYDOWN);
        if (c.gives_char) {
            EXPECT_EQ(taken[1].message, wm::CHAR);
            EXPECT_EQ(taken[1].wparam, static_cast<uintptr_t>(c.key));
        }
        EXPECT_EQ(taken.back().message, wm::KEYUP);
    }
}

TEST_F(HeadlessWindow, PostFromAnotherThreadWakesAWaitingGet)
{
    const auto start = std::chrono::steady_clock::now();
    std::thread poster([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        post_message(window, wm::USER + 3, 0, 0);
    });
    Message message;
    EXPECT_TRUE(get_message(&message));
    const auto waited = std::chrono::steady_clock::now() - start;
    poster.join();
    EXPECT_EQ(message.message, wm::USER + 3);
    EXPECT_LT(waited, std::chrono::milliseconds(200));
}

TEST_F(HeadlessWindow, GetOnARunOutScriptClosesThenQuits)
{
    Message message;
    ASSERT_TRUE(get_message(&message));
    EXPECT_EQ(message.window, window);
    EXPECT_EQ(message.message, wm::CLOSE);
    // The close was not acted on: the next wait ends the run outright.
    EXPECT_FALSE(get_message(&message));
    EXPECT_EQ(message.message, wm::QUIT);
}

TEST_F(HeadlessWindow, FrameLimitClosesTheWindowOnTheNthIdleTurn)
{
    headless::set_frame_limit(3);
    Message message;
    EXPECT_FALSE(peek_message(&message));
    EXPECT_FALSE(peek_message(&message));
    EXPECT_FALSE(peek_message(&message)); // the third idle turn posts the close
    ASSERT_TRUE(peek_message(&message));
    EXPECT_EQ(message.message, wm::CLOSE);
    EXPECT_EQ(message.window, window);
    get_message(&message);
    for (int i = 0; i < 10; ++i)
        EXPECT_FALSE(peek_message(&message)); // only once
    EXPECT_EQ(headless::idle_turns(), 13);

    headless::set_frame_limit(0);
    for (int i = 0; i < 400; ++i)
        EXPECT_FALSE(peek_message(&message));
}

// QUILLO_FRAMES and QUILLO_DESKTOP: a good value is taken as it is; a bad one falls back
// to the default and says so on stderr, in one line naming the value and what is used.
TEST(HeadlessEnvironment, GoodValuesAreTakenAndBadOnesSayWhatIsUsedInstead)
{
    struct Case {
        const char* variable;
        const char* value; // null: unset
        int expected;      // frames, or the desktop's width
        const char* said;  // null: nothing on stderr
    } const cases[] = {
        {"QUILLO_FRAMES", nullptr, 300, nullptr},
        {"QUILLO_FRAMES", "50", 50, nullptr},
        {"QUILLO_FRAMES", "0", 0, nullptr},
        {"QUILLO_FRAMES", "", 300, nullptr},
        {"QUILLO_FRAMES", "12x", 300, "QUILLO_FRAMES=\"12x\" is not a frame count (0 or more); closing after 300 frames\n"},
        {"QUILLO_FRAMES", "-4", 300, "QUILLO_FRAMES=\"-4\""},
        {"QUILLO_DESKTOP", nullptr, 1920, nullptr},
        {"QUILLO_DESKTOP", "960x640", 960, nullptr},
        {"QUILLO_DESKTOP", "960", 1920, "QUILLO_DESKTOP=\"960\" is not WIDTHxHEIGHT with sizes from 64 to 16384; using 1920x1080\n"},
        {"QUILLO_DESKTOP", "32x32", 1920, "QUILLO_DESKTOP=\"32x32\""},
        {"QUILLO_DESKTOP", "960x640x2", 1920, "QUILLO_DESKTOP=\"960x640x2\""},
    };
    for (const Case& c : cases) {
        const std::string label = std::string(c.variable) + "=" + (c.value ? c.value : "(unset)");
        if (c.value)
            setenv(c.variable, c.value, 1);
        else
            unsetenv(c.variable);
        testing::internal::CaptureStderr();
        headless::reset();
        const std::string said = testing::internal::GetCapturedStderr();
        const bool frames = std::string(c.variable) == "QUILLO_FRAMES";
        EXPECT_EQ(frames ? headless::frame_limit() : get_desktop_size().width, c.expected) << label;
        if (c.said) {
            EXPECT_NE(said.find(c.said), std::string::npos) << label << " said: " << said;
            EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << label << " said: " << said;
        } else {
            EXPECT_EQ(said, "") << label;
        }
        unsetenv(c.variable);
    }
    headless::reset();
}

TEST_F(HeadlessWindow, DefaultProcedure)
{
    set_cursor(Cursor::none);
    EXPECT_EQ(default_window_procedure(window, wm::SETCURSOR, 0, make_lparam(HTCLIENT, wm::MOUSEMOVE)), 1);
    EXPECT_EQ(get_cursor(), Cursor::arrow);
    EXPECT_EQ(default_window_procedure(window, wm::KEYDOWN, 'A', 0), 0);
    EXPECT_EQ(default_window_procedure(window, wm::CLOSE, 0, 0), 0);
    EXPECT_FALSE(is_window(window));
}

TEST_F(HeadlessWindow, SendCallsTheProcedureAtOnce)
{
    answer_for_default = 42;
    EXPECT_EQ(send_message(window, wm::USER, 5, 6), 42);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].wparam, 5u);
    EXPECT_EQ(send_message(nullptr, wm::USER, 0, 0), 0);
}

TEST_F(HeadlessWindow, PointerOverTheClientAreaAsksForTheCursor)
{
    show_window(window, sw::SHOWNORMAL);
    drain();
    // Client origin: window at 10,20 plus an 8-pixel frame and a 24-pixel caption.
    EXPECT_EQ(screen_to_client(window, {18, 52}).x, 0);
    EXPECT_EQ(screen_to_client(window, {18, 52}).y, 0);

    set_cursor_pos({18 + 5, 52 + 7});
    EXPECT_EQ(get_cursor_pos().x, 23);
    std::vector<Message> taken = drain();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].message, wm::SETCURSOR);
    EXPECT_EQ(taken[0].lparam & 0xFFFF, HTCLIENT);
    EXPECT_EQ(taken[1].message, wm::MOUSEMOVE);
    EXPECT_EQ(taken[1].lparam, make_lparam(5, 7));

    set_cursor_pos({12, 25}); // on the frame
    EXPECT_TRUE(drain().empty());

    EXPECT_EQ(set_cursor(Cursor::none), Cursor::arrow);
    EXPECT_EQ(get_cursor(), Cursor::none);
    set_cursor(Cursor::arrow);
}

TEST_F(HeadlessWindow, ScriptedInputKeepsTheKeyAndPointerState)
{
    EXPECT_EQ(get_async_key_state('A'), 0);
    headless::push_key(window, 'A', true);
    EXPECT_EQ(get_async_key_state('A'), 0x8000);
    headless::push_key(window, 'A', false);
    EXPECT_EQ(get_async_key_state('A'), 0);
    EXPECT_EQ(drain().size(), 2u);

    headless::push_mouse_button(window, 0, true, 3, 4);
    headless::push_mouse_button(window, 1, true, 3, 4);
    EXPECT_EQ(get_async_key_state(vk::LBUTTON), 0x8000);
    EXPECT_EQ(get_async_key_state(vk::RBUTTON), 0x8000);
    headless::set_key_state(vk::RBUTTON, false);
    EXPECT_EQ(get_async_key_state(vk::RBUTTON), 0);
    EXPECT_EQ(get_async_key_state(-1), 0);
    EXPECT_EQ(get_async_key_state(256), 0);

    // Halves above 32767 keep their bits.
    headless::push_mouse_move(window, 40000, 65535);
    const std::vector<Message> taken = drain();
    ASSERT_EQ(taken.size(), 4u);
    EXPECT_EQ(taken[0].message, wm::LBUTTONDOWN);
    EXPECT_EQ(taken[0].lparam, make_lparam(3, 4));
    EXPECT_EQ(taken[1].message, wm::RBUTTONDOWN);
    EXPECT_EQ(taken[2].message, wm::SETCURSOR);
    EXPECT_EQ(taken[3].message, wm::MOUSEMOVE);
    EXPECT_EQ(static_cast<uintptr_t>(taken[3].lparam) & 0xFFFF, 40000u);
    EXPECT_EQ((static_cast<uintptr_t>(taken[3].lparam) >> 16) & 0xFFFF, 65535u);
    EXPECT_EQ(get_cursor_pos().x, 18 + 40000);
}

TEST_F(HeadlessWindow, MinimiseEmptiesTheClientAreaUntilRestored)
{
    headless::push_minimize(window);
    EXPECT_EQ(get_client_rect(window).right, 0);
    EXPECT_EQ(get_client_rect(window).bottom, 0);
    headless::push_minimize(window); // already minimised
    std::vector<Message> taken = drain();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].message, wm::SYSCOMMAND);
    EXPECT_EQ(taken[0].wparam, SC_MINIMIZE);
    EXPECT_EQ(taken[1].message, wm::SIZE);
    EXPECT_EQ(taken[1].wparam, SIZE_MINIMIZED);

    // Restoring at the same size still reports it.
    headless::push_size(window, 184, 110);
    taken = drain();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].wparam, SIZE_RESTORED);
    EXPECT_EQ(taken[0].lparam, make_lparam(184, 110));
    EXPECT_EQ(get_client_rect(window).right, 184);

    headless::push_size(window, 184, 110); // nothing changed
    EXPECT_TRUE(drain().empty());
    headless::push_size(window, 300, 200);
    taken = drain();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].lparam, make_lparam(300, 200));
    EXPECT_EQ(get_window_rect(window).right - get_window_rect(window).left, 316);
}

TEST_F(HeadlessWindow, ScriptedActivationCharactersAndClose)
{
    headless::push_activate(nullptr, false); // null: the oldest window
    headless::push_char(window, 0xE9);
    headless::push_close(window);
    const std::vector<Message> taken = drain();
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[0].message, wm::ACTIVATE);
    EXPECT_EQ(taken[0].wparam, WA_INACTIVE);
    EXPECT_EQ(taken[1].message, wm::CHAR);
    EXPECT_EQ(taken[1].wparam, 0xE9u);
    EXPECT_EQ(taken[2].message, wm::CLOSE);
    EXPECT_FALSE(is_window(window));
    EXPECT_FALSE(headless::push_close(window));
}

TEST_F(HeadlessWindow, DesktopAndMessageBoxAreScripted)
{
    EXPECT_EQ(get_desktop_size().width, 1920);
    EXPECT_EQ(get_desktop_size().height, 1080);
    headless::set_desktop_size({1280, 1024});
    EXPECT_EQ(get_desktop_size().width, 1280);

    EXPECT_FALSE(message_box_yes_no(u"Dump?", u"Fatal Error", MessageBoxIcon::error));
    headless::set_message_box_answer(true);
    EXPECT_TRUE(message_box_yes_no(u"Quit?", u"", MessageBoxIcon::question));
    EXPECT_EQ(headless::message_boxes_shown(), 2);
    EXPECT_EQ(headless::last_message_box_text(), u"Quit?");
    EXPECT_TRUE(is_headless());
}

TEST(SdlTranslation, KeyCodesBecomeVirtualKeys)
{
    struct Case {
        SDL_Keycode keycode;
        int virtual_key;
    } const cases[] = {
        {SDLK_a, 'A'},           {SDLK_z, 'Z'},           {SDLK_0, '0'},           {SDLK_9, '9'},
        {SDLK_F1, 0x70},         {SDLK_F12, 0x7B},        {SDLK_F13, 0x7C},        {SDLK_F24, 0x87},
        {SDLK_LEFT, 0x25},       {SDLK_UP, 0x26},         {SDLK_RIGHT, 0x27},      {SDLK_DOWN, 0x28},
        {SDLK_ESCAPE, 0x1B},     {SDLK_RETURN, 0x0D},     {SDLK_KP_ENTER, 0x0D},   {SDLK_SPACE, 0x20},
        {SDLK_DELETE, 0x2E},     {SDLK_BACKSPACE, 0x08},  {SDLK_TAB, 0x09},        {SDLK_INSERT, 0x2D},
        {SDLK_HOME, 0x24},       {SDLK_END, 0x23},        {SDLK_PAGEUP, 0x21},     {SDLK_PAGEDOWN, 0x22},
        {SDLK_LSHIFT, 0x10},     {SDLK_RSHIFT, 0x10},     {SDLK_LCTRL, 0x11},      {SDLK_RCTRL, 0x11},
        {SDLK_LALT, 0x12},       {SDLK_RALT, 0x12},       {SDLK_CAPSLOCK, 0x14},   {SDLK_PAUSE, 0x13},
        {SDLK_KP_0, 0x60},       {SDLK_KP_9, 0x69},       {SDLK_KP_MULTIPLY, 0x6A}, {SDLK_KP_PLUS, 0x6B},
        {SDLK_KP_MINUS, 0x6D},   {SDLK_KP_PERIOD, 0x6E},  {SDLK_KP_DIVIDE, 0x6F},  {SDLK_NUMLOCKCLEAR, 0x90},
        {SDLK_SCROLLLOCK, 0x91}, {SDLK_PRINTSCREEN, 0x2C}, {SDLK_LGUI, 0x5B},      {SDLK_APPLICATION, 0x5D},
        {SDLK_SEMICOLON, 0xBA},  {SDLK_EQUALS, 0xBB},     {SDLK_COMMA, 0xBC},      {SDLK_MINUS, 0xBD},
        {SDLK_PERIOD, 0xBE},     {SDLK_SLASH, 0xBF},      {SDLK_BACKQUOTE, 0xC0},  {SDLK_LEFTBRACKET, 0xDB},
        {SDLK_BACKSLASH, 0xDC},  {SDLK_RIGHTBRACKET, 0xDD}, {SDLK_QUOTE, 0xDE},    {SDLK_LESS, 0xE2},
        {SDLK_VOLUMEUP, 0xAF},   {SDLK_AUDIOPLAY, 0xB3},
        // Keys with no virtual-key code.
        {SDLK_UNKNOWN, 0},       {SDLK_KP_EQUALS, 0},     {SDLK_MODE, 0},          {SDLK_BRIGHTNESSUP, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keycode);
        EXPECT_EQ(sdl::virtual_key_from_keycode(c.keycode), c.virtual_key);
    }
}

// Read the other way, every virtual-key code that names a key on a keyboard has one,
// and that key's code leads back to it (the left/right variants of Shift, Ctrl and Alt
// lead back to the generic code their messages carry).
TEST(SdlTranslation, EveryVirtualKeyHasAKeyThatLeadsBack)
{
    std::vector<int> expected;
    const auto range = [&expected](int first, int last) {
        for (int code = first; code <= last; ++code)
            expected.push_back(code);
    };
    range(0x08, 0x09), range(0x0C, 0x0D), range(0x10, 0x14), range(0x1B, 0x1B), range(0x20, 0x29);
    range(0x2B, 0x39), range(0x41, 0x5A), range(0x5B, 0x5D), range(0x5F, 0x87), range(0x90, 0x91);
    range(0xA0, 0xB7), range(0xBA, 0xC0), range(0xDB, 0xDE), range(0xE2, 0xE2), range(0xF7, 0xF8);
    range(0xFE, 0xFE);

    std::vector<int> mapped;
    for (int code = 0; code < 256; ++code) {
        const int32_t keycode = sdl::keycode_from_virtual_key(code);
        if (keycode == 0)
            continue;
        mapped.push_back(code);
        const int generic = code >= 0xA0 && code <= 0xA5 ? 0x10 + (code - 0xA0) / 2 : code;
        EXPECT_EQ(sdl::virtual_key_from_keycode(keycode), generic) << "virtual key " << code;
    }
    EXPECT_EQ(mapped, expected);

    EXPECT_EQ(sdl::keycode_from_virtual_key(vk::SHIFT), SDLK_LSHIFT);
    EXPECT_EQ(sdl::keycode_from_virtual_key(0xA1), SDLK_RSHIFT);
    // A key's state is read from every key that sends it.
    int32_t keycodes[sdl::max_keys_per_virtual_key];
    ASSERT_EQ(sdl::keycodes_from_virtual_key(vk::SHIFT, keycodes), 2);
    EXPECT_EQ(keycodes[0], SDLK_LSHIFT);
    EXPECT_EQ(keycodes[1], SDLK_RSHIFT);
    ASSERT_EQ(sdl::keycodes_from_virtual_key(vk::RETURN, keycodes), 3);
    EXPECT_EQ(keycodes[1], SDLK_KP_ENTER);
    ASSERT_EQ(sdl::keycodes_from_virtual_key('Q', keycodes), 1);
    EXPECT_EQ(keycodes[0], SDLK_q);
    EXPECT_EQ(sdl::keycodes_from_virtual_key(0x07, keycodes), 0);
}

TEST(SdlTranslation, TextInputBecomesAnsiBytes)
{
    struct Case {
        const char* utf8;
        const char* ansi;
    } const cases[] = {
        {"abc", "abc"},
        {"\xC3\xA9", "\xE9"},           // é
        {"\xE2\x82\xAC", "\x80"},       // €
        {"\xE4\xB8\xAD", "?"},          // a character 1252 lacks
        {"\xF0\x9F\x98\x80", "?"},      // beyond 16 bits
        {"\xC3", "?"},                  // cut short
        {"\xC3" "A", "?A"},             // bad continuation
        {"\xC0\xAF", "??"},             // overlong
        {"\xED\xA0\x80", "???"},        // encoded surrogate
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(sdl::utf8_to_ansi(c.utf8), c.ansi);
    }
    EXPECT_EQ(sdl::ansi_to_utf8("Caf\xE9 \x80"), "Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(sdl::utf16_to_utf8(u"\u00e9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80");
    const char16_t lone[] = {0xD800, u'a', 0};
    EXPECT_EQ(sdl::utf16_to_utf8(lone), "\xEF\xBF\xBD" "a");
    EXPECT_EQ(sdl::utf16_to_utf8(nullptr), "");
}

} // namespace
