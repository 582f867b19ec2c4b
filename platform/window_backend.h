#pragma once

// Inside the window layer: the window records and queue that both back ends share,
// and the interface each back end implements. Not for use outside platform/.

#include "platform/window.h"

#include <chrono>
#include <memory>
#include <string>

namespace platform::detail {

struct WindowRecord {
    WindowHandle handle = nullptr;
    WindowProcedure procedure = nullptr;
    std::string title;
    std::u16string wide_title;  // what is shown; the 1252 title follows it
    uint32_t style = 0;
    uint32_t ex_style = 0;
    Rect outer;              // screen coordinates
    Size client;             // size while not minimised
    bool visible = false;
    bool minimized = false;
    bool needs_paint = false;
    bool destroying = false;
    void* user_data = nullptr;
    void* native = nullptr;  // back end's own object
};

// Frame thickness per side for a style (see adjust_window_rect).
Rect frame_insets(uint32_t style);

// The record of a live window; window thread only.
WindowRecord* find_window(WindowHandle window);
// The oldest live window, or null.
WindowRecord* first_window();
// Finds the window whose back-end object is `native`.
WindowRecord* find_window_by_native(const void* native);

// Sets a new client size, keeping the outer top-left; false when it is unchanged.
bool set_client_size(WindowRecord& record, Size client);

// True when anything is queued.
bool queue_has_messages();
// Waits until something is queued or the time is up; true when something is.
bool wait_for_queue(std::chrono::milliseconds timeout);
// Posts to the front of the queue.
void post_front(const Message& message);
// Drops every queued message (headless reset).
void clear_queue();

class Backend {
public:
    virtual ~Backend() = default;

    // The record is filled in; false refuses the window.
    virtual bool create_window(WindowRecord& record) = 0;
    virtual void destroy_window(WindowRecord& record) = 0;
    virtual void show_window(WindowRecord& record, int command) = 0;
    // Outer placement or client size changed by the caller.
    virtual void placement_changed(WindowRecord& record) = 0;
    virtual void style_changed(WindowRecord& record) = 0;
    virtual void title_changed(WindowRecord& record) = 0;
    virtual Size desktop_size() = 0;
    // Top-left of the client area in screen coordinates.
    virtual Point client_origin(const WindowRecord& record) = 0;

    // Turns native events into posted messages (window thread).
    virtual void pump() = 0;
    // An unfiltered peek found nothing waiting.
    virtual void idle_turn() = 0;
    // get_message found the queue empty after a pump: wait for native events or posts.
    virtual void wait() = 0;
    // A message was posted, possibly from another thread.
    virtual void wake() = 0;

    virtual Point cursor_pos() = 0;
    virtual void set_cursor_pos(Point point) = 0;
    virtual void show_cursor(bool shown) = 0;
    virtual bool key_down(int virtual_key) = 0;
    virtual bool message_box_yes_no(const char16_t* text, const char16_t* caption, MessageBoxIcon icon) = 0;
    virtual MessageBoxAnswer message_box_question(const char16_t* text, const char16_t* caption,
                                                  const char16_t* yes_label, const char16_t* no_label) = 0;
    virtual bool message_box_ok(const char* text, const char* caption) = 0;
    virtual void raise_window(WindowRecord& record) = 0;
    virtual bool headless() const = 0;
};

Backend& backend();
// Chooses the headless back end unless one is chosen already.
void choose_headless();

std::unique_ptr<Backend> make_headless_backend();
// Null when SDL's video does not start; `error` then says why.
std::unique_ptr<Backend> make_sdl_backend(std::string* error);

// Posts WM_SETCURSOR (HTCLIENT) and WM_MOUSEMOVE for a pointer over a client area,
// as a real pointer move does.
void post_pointer_move(WindowHandle window, Point client_point);

} // namespace platform::detail
