#pragma once

// Drives the headless window back end: what a user would do to the window, and the
// machine state the engine reads back. Calling any of these before the first window
// exists makes the process headless.
//
// A headless run ends by itself: when the Nth unfiltered peek_message finds nothing
// waiting (N = QUILLO_FRAMES, default 300, 0 = never) WM_CLOSE is posted to the
// oldest window, and the next question box (message_box_question) that close brings
// up is answered yes. A get_message that finds nothing for a quarter second posts
// WM_CLOSE to the oldest window once, and WM_QUIT after that, so it never waits
// forever; a post from another thread still wakes it at once.
//
// The push functions queue the messages a real window would receive; a null window
// means the oldest window. They return false when there is no such window.

#include "platform/window.h"

#include <functional>
#include <string>
#include <vector>

namespace platform::headless {

// Back to the defaults: empty queue, desktop 1920x1080, pointer at 0,0, no keys
// down, message boxes answered "no", frame limit from QUILLO_FRAMES, counters 0.
void reset();

// 0 turns the automatic close off.
void set_frame_limit(int frames);
int frame_limit();
// Unfiltered peeks that found nothing, since the start or the last reset.
int idle_turns();

void set_desktop_size(Size size);
// Screen coordinates.
void set_pointer_position(Point point);
void set_key_state(int virtual_key, bool down);
// The next create_window is refused.
void fail_next_window_creation();

void set_message_box_answer(bool yes);
// The scripted answer, read without taking any lock: the crash handler uses it in
// place of a message box.
bool scripted_message_box_answer();
int message_boxes_shown();
std::u16string last_message_box_text();
std::u16string last_message_box_caption();

// Answers for the following question boxes, in order; once used up, the scripted
// answer again.
void push_message_box_answer(bool yes);
// Runs once, while the next question box is open (before it is answered).
void while_next_question_open(std::function<void()> call);
// The following boxes of every kind cannot be shown (question boxes give `failed`).
void fail_message_boxes(bool fail);

// Every box shown since the start or the last reset: question, yes/no and report boxes.
struct MessageBoxRecord {
    enum class Kind { yes_no, question, ok } kind = Kind::ok;
    std::u16string text;
    std::u16string caption;
    std::u16string yes_label;
    std::u16string no_label;
    bool answer_yes = false;
};
std::vector<MessageBoxRecord> message_box_records();

// Windows brought to the front by set_foreground_window.
int windows_raised();

// Client coordinates; moves the pointer and sends WM_SETCURSOR (HTCLIENT) first.
bool push_mouse_move(WindowHandle window, int32_t x, int32_t y);
// Button 0 is the left one, 1 the right one; also sets its key state.
bool push_mouse_button(WindowHandle window, int button, bool down, int32_t x, int32_t y);
// Also sets the key state.
bool push_key(WindowHandle window, int virtual_key, bool down);
bool push_char(WindowHandle window, unsigned char ansi);
// The user resized the client area (or restored the window): WM_SIZE SIZE_RESTORED,
// unless the size stays the same on a window that is not minimised.
bool push_size(WindowHandle window, int32_t width, int32_t height);
// WM_SYSCOMMAND SC_MINIMIZE, then WM_SIZE SIZE_MINIMIZED; the client rectangle is
// 0x0 until restored.
bool push_minimize(WindowHandle window);
bool push_activate(WindowHandle window, bool active);
bool push_close(WindowHandle window);

} // namespace platform::headless
