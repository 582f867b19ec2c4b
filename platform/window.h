#pragma once

// Windows and their messages, shaped after what the engine was written against:
// numbered messages with a pointer-sized word and long parameter, one queue that any
// thread may post to, and a procedure per window class. Two back ends stand behind
// it: SDL2 for a real window, and a headless one (no display) that tests and
// unattended runs script through platform/headless/script.h.
//
// The headless back end is chosen when QUILLO_HEADLESS=1, when neither DISPLAY nor
// WAYLAND_DISPLAY is set, or when SDL's video fails to start.
//
// Threading: a window belongs to the thread that created it, and so does the queue;
// only post_message may be called from other threads.

#include <cstdint>
#include <string>

namespace platform {

// Opaque; null means "no window". Handles are never reused.
using WindowHandle = struct WindowHandleTag*;

// Result of a window procedure.
using MessageResult = intptr_t;
using WindowProcedure = MessageResult (*)(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

struct Message {
    WindowHandle window = nullptr;
    uint32_t message = 0;
    uintptr_t wparam = 0;
    intptr_t lparam = 0;
};

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

struct Point {
    int32_t x = 0;
    int32_t y = 0;
};

struct Size {
    int32_t width = 0;
    int32_t height = 0;
};

namespace wm {
constexpr uint32_t DESTROY = 2;
constexpr uint32_t SIZE = 5;
constexpr uint32_t ACTIVATE = 6;
constexpr uint32_t PAINT = 15;
constexpr uint32_t CLOSE = 16;
constexpr uint32_t QUIT = 18;
constexpr uint32_t SETCURSOR = 32;
constexpr uint32_t DISPLAYCHANGE = 0x007E;
constexpr uint32_t KEYDOWN = 256;
constexpr uint32_t KEYUP = 257;
constexpr uint32_t CHAR = 258;
constexpr uint32_t INITDIALOG = 0x0110;
constexpr uint32_t COMMAND = 0x0111;
constexpr uint32_t SYSCOMMAND = 0x0112;
constexpr uint32_t MOUSEMOVE = 512;
constexpr uint32_t LBUTTONDOWN = 513;
constexpr uint32_t LBUTTONUP = 514;
constexpr uint32_t RBUTTONDOWN = 516;
constexpr uint32_t RBUTTONUP = 517;
constexpr uint32_t USER = 1024;
} // namespace wm

// Window styles.
namespace ws {
constexpr uint32_t BORDER = 0x00800000;
constexpr uint32_t DLGFRAME = 0x00400000;
constexpr uint32_t CAPTION = 0x00C00000; // BORDER | DLGFRAME
constexpr uint32_t SYSMENU = 0x00080000;
constexpr uint32_t THICKFRAME = 0x00040000;
constexpr uint32_t MINIMIZEBOX = 0x00020000;
constexpr uint32_t MAXIMIZEBOX = 0x00010000;
constexpr uint32_t OVERLAPPEDWINDOW = 0x00CF0000;
constexpr uint32_t POPUP = 0x80000000;
constexpr uint32_t EX_TOPMOST = 0x00000008;
} // namespace ws

// show_window commands.
namespace sw {
constexpr int HIDE = 0;
constexpr int SHOWNORMAL = 1;
constexpr int SHOW = 5;
constexpr int MINIMIZE = 6;
constexpr int RESTORE = 9;
constexpr int SHOWDEFAULT = 10;
} // namespace sw

// WM_SIZE wparam.
constexpr uintptr_t SIZE_RESTORED = 0;
constexpr uintptr_t SIZE_MINIMIZED = 1;
// Low word of WM_ACTIVATE's wparam.
constexpr uintptr_t WA_INACTIVE = 0;
constexpr uintptr_t WA_ACTIVE = 1;
constexpr uintptr_t WA_CLICKACTIVE = 2;
// WM_SYSCOMMAND wparam.
constexpr uintptr_t SC_MINIMIZE = 0xF020;
// Hit-test codes (low word of WM_SETCURSOR's lparam).
constexpr int HTCAPTION = 2;
constexpr int HTCLIENT = 1;
constexpr int HTBORDER = 18;

// Virtual-key codes; letters and digits are their upper-case ASCII codes.
namespace vk {
constexpr int LBUTTON = 1;
constexpr int RBUTTON = 2;
constexpr int BACK = 8;
constexpr int TAB = 9;
constexpr int RETURN = 13;
constexpr int SHIFT = 16;
constexpr int CONTROL = 17;
constexpr int ESCAPE = 27;
constexpr int SPACE = 32;
constexpr int LEFT = 37;
constexpr int UP = 38;
constexpr int RIGHT = 39;
constexpr int DOWN = 40;
constexpr int DELETE_KEY = 46;
constexpr int ADD = 107;
constexpr int SUBTRACT = 109;
constexpr int F1 = 112;
constexpr int F12 = 123;
} // namespace vk

// Packs two 16-bit halves as mouse and size messages carry them.
constexpr intptr_t make_lparam(uint32_t low, uint32_t high)
{
    return static_cast<intptr_t>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}

// --- windows ---------------------------------------------------------------------

// Registers (or re-registers) a class name with its procedure; false for a null
// procedure or an empty name. Windows of the class show the arrow cursor.
bool register_window_class(const char* class_name, WindowProcedure procedure);

// Creates a hidden window of a registered class at the given outer placement.
// Null when the class is unknown or the back end refuses.
WindowHandle create_window(const char* class_name, const char* title, uint32_t style, int32_t x, int32_t y,
                           int32_t width, int32_t height);
// Sends WM_DESTROY, then removes the window; its queued messages are dropped at
// dispatch. False for an unknown window.
bool destroy_window(WindowHandle window);
bool is_window(WindowHandle window);

// One pointer-sized slot per window, null at creation.
void set_window_user_data(WindowHandle window, void* data);
void* get_window_user_data(WindowHandle window);

// A style change keeps the client size (the outer size follows) and sends nothing.
uint32_t get_window_style(WindowHandle window);
void set_window_style(WindowHandle window, uint32_t style);
uint32_t get_window_ex_style(WindowHandle window);
void set_window_ex_style(WindowHandle window, uint32_t ex_style);

// Titles are 1252 text.
void set_window_text(WindowHandle window, const char* text);
std::string get_window_text(WindowHandle window);
// A title in wide text, shown as it is (characters that 1252 lacks included);
// get_window_text then gives its 1252 form.
void set_window_text_w(WindowHandle window, const char16_t* text);
std::u16string get_window_text_w(WindowHandle window);
// Brings the window to the front, restoring it when minimised.
void set_foreground_window(WindowHandle window);

// Returns whether the window was visible before. Showing marks it for painting.
bool show_window(WindowHandle window, int command);
// Sends WM_PAINT when the window is visible and needs painting.
void update_window(WindowHandle window);
// Outer placement. Sends WM_SIZE (SIZE_RESTORED) only when the client size changes.
void move_window(WindowHandle window, int32_t x, int32_t y, int32_t width, int32_t height);
// Outer placement in screen coordinates.
Rect get_window_rect(WindowHandle window);
// {0, 0, width, height}; 0x0 while minimised or for an unknown window.
Rect get_client_rect(WindowHandle window);
// False for an unknown window.
bool is_minimized(WindowHandle window);
Point screen_to_client(WindowHandle window, Point point);

// Grows a client rectangle to the outer rectangle for a style. The frames are this
// layer's own: a caption bar (ws::CAPTION) adds 24 pixels on top; a sizing frame
// (ws::THICKFRAME) adds 8 pixels on every side, else a thin frame (ws::BORDER or
// ws::DLGFRAME) adds 3; a bare popup adds nothing. Windows here never carry a menu
// bar, so has_menu adds nothing and a window asked for a client size gets exactly it.
Rect adjust_window_rect(Rect client, uint32_t style, bool has_menu);

Size get_desktop_size();

// Validates the window (no drawing).
void begin_paint(WindowHandle window);
void end_paint(WindowHandle window);

// --- messages --------------------------------------------------------------------

// Looks for a waiting message, leaving it queued. Only this call gathers native
// events when nothing is queued. A null window and first = last = 0 accept
// anything; otherwise only messages of that window and in [first, last].
bool peek_message(Message* message);
bool peek_message(Message* message, WindowHandle window, uint32_t first, uint32_t last, bool remove);
// Takes the next message, waiting for one; returns false for WM_QUIT.
bool get_message(Message* message);
// Adds the WM_CHAR that a key press implies and the native text input does not
// deliver itself (Backspace 8, Tab 9, Enter 13, Esc 27); it is handled next.
void translate_message(const Message& message);
// Calls the window's procedure; 0 for a window that no longer exists.
MessageResult dispatch_message(const Message& message);
// Calls the procedure directly, on the calling (window) thread.
MessageResult send_message(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam);
// Queues a message; safe from any thread and wakes a waiting get_message. A null
// window posts to the queue itself (WM_QUIT). False for a window that does not exist.
bool post_message(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Procedure for everything a window does not handle: WM_CLOSE destroys the window,
// WM_SETCURSOR shows the arrow cursor (result 1); everything else gives 0.
MessageResult default_window_procedure(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// --- pointer, keys, message boxes --------------------------------------------------

enum class Cursor { none, arrow };

// Pointer position in screen coordinates.
Point get_cursor_pos();
// Moves the pointer; over a client area the window gets WM_SETCURSOR (HTCLIENT) again.
void set_cursor_pos(Point point);
// Cursor::none hides the pointer; returns the previous cursor.
Cursor set_cursor(Cursor cursor);
Cursor get_cursor();

// 0x8000 while the key or mouse button (vk::LBUTTON, vk::RBUTTON) is down, else 0.
uint16_t get_async_key_state(int virtual_key);

enum class MessageBoxIcon { error, question };
// Modal yes/no box; true for yes. Headless: the scripted answer (default no).
bool message_box_yes_no(const char16_t* text, const char16_t* caption, MessageBoxIcon icon);

enum class MessageBoxAnswer { yes, no, failed };
// Modal question with the two buttons labelled as given (empty: "Yes" / "No"). While it
// is open nothing else runs; the focus changes the box itself causes are dropped, and
// only a change of the final focus state reaches the window. `failed` when no box could
// be shown. Headless: the next queued answer, else the scripted one.
// Every box is in front of the game's window and has the focus. Once a termination signal
// asked the program to end (termination.h) no box is shown (`failed`, or false), and one
// that is open then is closed as cancelled.
MessageBoxAnswer message_box_question(const char16_t* text, const char16_t* caption, const char16_t* yes_label,
                                      const char16_t* no_label);
// Modal report with one OK button (1252 text); false when it could not be shown.
bool message_box_ok(const char* text, const char* caption);

// True when the headless back end serves this process.
bool is_headless();

// --- window placement ------------------------------------------------------------

// The client size a window asking for `wanted` gets on the desktop: too wide, it becomes
// the desktop's width less 100 with the height following the aspect ratio (truncated);
// then too high, the desktop's height less 100 with the width following. A size that
// is not positive is kept.
Size fit_client_size_to_desktop(Size wanted, Size desktop);

// The placement helpers work on a window record with the fields window, full_screen,
// saved_style, window_width, window_height (outer size), client_width and client_height
// (the wanted client size), as vadu::Window has them.

// Stores the wanted client size, fits it to the desktop and resizes the window at its
// place so that its client area gets the fitted size; the outer size is stored.
template <class Record>
void FitWindowSizeToDesktop(Record& record, int32_t client_width, int32_t client_height)
{
    record.client_width = client_width;
    record.client_height = client_height;
    const Size fitted = fit_client_size_to_desktop({client_width, client_height}, get_desktop_size());
    const Rect outer = adjust_window_rect({0, 0, fitted.width, fitted.height}, get_window_style(record.window), false);
    record.window_width = outer.right - outer.left;
    record.window_height = outer.bottom - outer.top;
    const Rect at = get_window_rect(record.window);
    move_window(record.window, at.left, at.top, record.window_width, record.window_height);
}

// Once only: a borderless topmost popup over the whole desktop; the windowed style is
// saved in the record.
template <class Record>
void EnterFullscreen(Record& record)
{
    if (record.full_screen)
        return;
    record.full_screen = true;
    record.saved_style = get_window_style(record.window);
    set_window_style(record.window, ws::POPUP);
    set_window_ex_style(record.window, ws::EX_TOPMOST);
    show_window(record.window, sw::SHOW);
    const Size desktop = get_desktop_size();
    move_window(record.window, 0, 0, desktop.width, desktop.height);
}

// Leaves full screen for the saved windowed style, centred; enters it when windowed.
template <class Record>
void ToggleFullscreen(Record& record);

// A windowed window only: its stored outer size, centred on the desktop.
template <class Record>
void CenterWindow(Record& record)
{
    if (record.full_screen)
        return;
    const Size desktop = get_desktop_size();
    move_window(record.window, desktop.width / 2 - record.window_width / 2,
                desktop.height / 2 - record.window_height / 2, record.window_width, record.window_height);
    update_window(record.window);
}

template <class Record>
void ToggleFullscreen(Record& record)
{
    if (!record.full_screen) {
        EnterFullscreen(record);
        return;
    }
    record.changing_placement = true;
    record.full_screen = false;
    set_window_style(record.window, record.saved_style);
    set_window_ex_style(record.window, 0);
    show_window(record.window, sw::SHOWDEFAULT);
    CenterWindow(record);
    record.changing_placement = false;
}

} // namespace platform
